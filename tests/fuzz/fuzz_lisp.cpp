// Fuzz target: zqlsh's LISP reader and evaluator on arbitrary source. Each
// input runs in a fresh interpreter with its output discarded, under limits
// so that no input can hang the run or reach outside it: the evaluation is
// cancelled after kMillis, LOAD and GETENV are unbound before the input
// runs (they read files and the environment), and input longer than 4 KiB
// is skipped. Any error the LISP reports is fine; a crash, a hang or a
// sanitizer report is a fault.
#include <signal.h>
#include <sys/time.h>

#include <cstdint>
#include <string_view>

#include "kelinterp.h"

namespace {

constexpr long kMillis = 200;

kel::Interp* volatile gRunning = nullptr;

void OnAlarm(int) {
  kel::Interp* interp = gRunning;
  if (interp != nullptr) interp->requestCancel();
}

void Arm(long millis) {
  itimerval t{};
  t.it_value.tv_sec = millis / 1000;
  t.it_value.tv_usec = (millis % 1000) * 1000;
  t.it_interval = t.it_value;  // again, should the first request be taken early
  setitimer(ITIMER_REAL, &t, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  struct sigaction act{};
  act.sa_handler = OnAlarm;
  sigemptyset(&act.sa_mask);
  sigaction(SIGALRM, &act, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  kel::Interp interp;
  interp.setOutput([](std::string_view) {});
  interp.evalString("(setq load nil getenv nil)");
  gRunning = &interp;
  Arm(kMillis);
  interp.evalString(std::string_view(reinterpret_cast<const char*>(data), size));
  Arm(0);
  gRunning = nullptr;
  return 0;
}
