// Cost of one request through the driver link against the floor set by the
// operating system: a client-side transport round trip to the scripted
// driver (locks, signal traps, data segment, liveness checks) and a bare
// shared-memory-plus-signal ping-pong between two processes, in one run.
// Prints both and their ratio.
//
// The scripted driver (tests/ipc) is looked up next to this program.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "ipclink.h"
#include "uxlink.h"
#include "zqltry.h"

namespace {

// Size of the request of both benchmarks: that of a Fetch request.
constexpr uint32_t kRequestSize = 56;
constexpr uint32_t kTestMarker = 0x54534554;  // echoed by the scripted driver
constexpr char kTransportName[] = "BM_TransportRoundTrip";
constexpr char kBareName[] = "BM_BarePingPong";

std::string DriverPath() {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "zql_test_driver";
  self[n] = '\0';
  std::string path(self);
  return path.substr(0, path.rfind('/') + 1) + "zql_test_driver";
}

void FillRequest(unsigned char* out) {
  std::memset(out, 'r', kRequestSize);
  std::memcpy(out, &kTestMarker, 4);
  std::memcpy(out + 4, &kRequestSize, 4);
}

// A private zql.ini, so that the run meets no other client.
struct SIniDir {
  std::string dir, ini;
  SIniDir() {
    char tmpl[] = "/tmp/zqlbenchXXXXXX";
    if (mkdtemp(tmpl) != nullptr) dir = tmpl;
    ini = dir + "/zql.ini";
    std::ofstream(ini) << "[ZQL]\n";
  }
  ~SIniDir() {
    std::remove(ini.c_str());
    rmdir(dir.c_str());
  }
};

void BM_TransportRoundTrip(benchmark::State& state) {
  SIniDir where;
  SZqlServer rec{};
  rec.slot = -1;
  const std::string driver = DriverPath();
  if (!ZqlTry([&] { LoadServerOnUnix(where.ini.c_str(), driver.c_str(), &rec); })) {
    state.SkipWithError(("cannot start " + driver).c_str());
    return;
  }
  rec.request = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(kRequestSize));
  FillRequest(rec.request);
  for (auto _ : state) {
    rec.size = kRequestSize;
    if (ZqlIpcSendRequest(&rec) != 0) {
      state.SkipWithError("request failed");
      break;
    }
  }
  ZqlMemoryNblkFree(rec.request);
  ZqlMemoryNblkFree(rec.reply);
  ZqlIpcCloseConnection(rec.slot, nullptr);
}

// The echoing side of the ping-pong: waits for SIGUSR1, copies the request
// into the reply place, answers with SIGUSR1; ends at SIGUSR2.
[[noreturn]] void Echo(unsigned char* seg, pid_t client) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGUSR1);
  sigaddset(&set, SIGUSR2);
  for (;;) {
    siginfo_t info;
    const int sig = sigwaitinfo(&set, &info);
    if (sig == SIGUSR2) _exit(0);
    if (sig != SIGUSR1) continue;
    uint32_t length;
    std::memcpy(&length, seg + 4, 4);
    std::memmove(seg + 4, seg, length);
    std::memcpy(seg, &length, 4);
    kill(client, SIGUSR1);
  }
}

void BM_BarePingPong(benchmark::State& state) {
  const int id = shmget(IPC_PRIVATE, 4096, IPC_CREAT | 0600);
  auto* seg = static_cast<unsigned char*>(shmat(id, nullptr, 0));
  shmctl(id, IPC_RMID, nullptr);  // gone once both have detached
  sigset_t set, old;
  sigemptyset(&set);
  sigaddset(&set, SIGUSR1);
  sigaddset(&set, SIGUSR2);
  sigprocmask(SIG_BLOCK, &set, &old);
  const pid_t client = getpid();
  const pid_t echo = fork();
  if (echo == 0) Echo(seg, client);
  sigset_t usr1;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  unsigned char request[kRequestSize], reply[kRequestSize];
  FillRequest(request);
  for (auto _ : state) {
    std::memcpy(seg, request, kRequestSize);
    kill(echo, SIGUSR1);
    siginfo_t info;
    while (sigwaitinfo(&usr1, &info) != SIGUSR1) {
    }
    uint32_t length;
    std::memcpy(&length, seg, 4);
    std::memcpy(reply, seg + 4, length < kRequestSize ? length : kRequestSize);
    benchmark::DoNotOptimize(reply);
  }
  kill(echo, SIGUSR2);
  waitpid(echo, nullptr, 0);
  shmdt(seg);
  sigprocmask(SIG_SETMASK, &old, nullptr);
}

BENCHMARK(BM_TransportRoundTrip)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BarePingPong)->Unit(benchmark::kMicrosecond);

// Keeps the time per iteration of each benchmark for the ratio: of the
// single run, or the median when runs are repeated.
class CRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool usable = run.run_type == Run::RT_Iteration || run.aggregate_name == "median";
      if (!run.error_occurred && usable)
        times[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  CRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto transport = reporter.times.find(kTransportName);
  const auto bare = reporter.times.find(kBareName);
  if (transport != reporter.times.end() && bare != reporter.times.end() && bare->second > 0) {
    std::printf("transport round trip %.2f us, bare ping-pong %.2f us, ratio %.2f\n",
                transport->second, bare->second, transport->second / bare->second);
  }
  return 0;
}
