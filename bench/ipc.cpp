// Cost of one request through the driver link against the floor set by the
// operating system, in one run: a Status request through the whole client
// stack (CZqlDispClient::Status: dispatcher, request packing, transport,
// the driver kit's decoder, reply unpacking), a bare transport round trip
// to the scripted driver (locks, signals, data segment, liveness checks),
// and a bare shared-memory-plus-signal ping-pong between two processes.
// Prints them and the ratios to the ping-pong.
//
// The scripted driver (tests/ipc) is looked up next to this program, the
// library's resources in ../share/zql from it unless ZQL names them.
#include <benchmark/benchmark.h>
#include <sched.h>
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
#include "zqldispa.h"
#include "zqltry.h"

namespace {

// Size of the request of both benchmarks: that of a Fetch request.
constexpr uint32_t kRequestSize = 56;
constexpr uint32_t kTestMarker = 0x54534554;  // echoed by the scripted driver
constexpr char kStatusName[] = "BM_StatusThroughDispatcher";
constexpr char kTransportName[] = "BM_TransportRoundTrip";
constexpr char kBareName[] = "BM_BarePingPong";

// The folder of this program, with its '/'.
std::string BinDir() {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "";
  self[n] = '\0';
  const std::string path(self);
  return path.substr(0, path.rfind('/') + 1);
}

std::string DriverPath() { return BinDir() + "zql_test_driver"; }

void FillRequest(unsigned char* out) {
  std::memset(out, 'r', kRequestSize);
  std::memcpy(out, &kTestMarker, 4);
  std::memcpy(out + 4, &kRequestSize, 4);
}

// A private zql.ini, so that the run meets no other client. It names the
// scripted driver as environment BENCH.
struct SIniDir {
  std::string dir, ini;
  SIniDir() {
    char tmpl[] = "/tmp/zqlbenchXXXXXX";
    if (mkdtemp(tmpl) != nullptr) dir = tmpl;
    ini = dir + "/zql.ini";
    std::ofstream(ini) << "[ZQL]\n[ENVIRONMENTS]\nBENCH = x\n[BENCH]\nDriver = SCRIPT\n"
                       << "[SCRIPT]\nPath = " << DriverPath() << "\n";
  }
  ~SIniDir() {
    std::remove(ini.c_str());
    rmdir(dir.c_str());
  }
};

// The working directory, for the lifetime of the object: where the client
// looks for zql.ini.
struct SInDir {
  char saved[PATH_MAX] = {};
  explicit SInDir(const std::string& dir) {
    if (getcwd(saved, sizeof saved) == nullptr || chdir(dir.c_str()) != 0) saved[0] = '\0';
  }
  ~SInDir() {
    if (saved[0] != '\0' && chdir(saved) != 0) std::perror("chdir");
  }
};

void BM_StatusThroughDispatcher(benchmark::State& state) {
  SIniDir where;
  SInDir in(where.dir);
  CZqlDispClient client;
  CZqlDDA dda;
  uint32_t session = 0;
  if (!ZqlTry([&] {
        dda.Init(10);
        client.Init(&dda);
        client.Connect(&dda, &session, CZqlUcStr("BENCH"), CZqlUcStr(), CZqlUcStr());
      })) {
    state.SkipWithError("cannot connect to the scripted driver");
    return;
  }
  for (auto _ : state) {
    uint32_t value = 0;
    if (!ZqlTry([&] { client.Status(&dda, session, kZqlStatConnection1, &value); })) {
      state.SkipWithError("status request failed");
      break;
    }
    benchmark::DoNotOptimize(value);
  }
  ZqlTry([&] { client.Term(&dda); });
}

void BM_TransportRoundTrip(benchmark::State& state) {
  SIniDir where;
  SZqlServer rec{};
  rec.slot = -1;
  const std::string driver = DriverPath();
  if (ZqlLoadServerOnUnix(where.ini.c_str(), driver.c_str(), &rec) != kZqlOk) {
    state.SkipWithError(("cannot start " + driver).c_str());
    return;
  }
  rec.request = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(kRequestSize));
  FillRequest(rec.request);
  for (auto _ : state) {
    rec.size = kRequestSize;
    if (ZqlSendDataToServer(&rec) != kZqlOk) {
      state.SkipWithError("request failed");
      break;
    }
  }
  ZqlMemoryNblkFree(rec.request);
  ZqlMemoryNblkFree(rec.reply);
  ZqlDisconServerOnUnix(rec.slot);
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

BENCHMARK(BM_StatusThroughDispatcher)->Unit(benchmark::kMicrosecond);
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

// Runs this process, and so the drivers and the echo it starts, on one CPU
// (the one it is on), unless ZQL_BENCH_UNPINNED is set: with processes
// free to meet on one CPU or on two, a signal's wake-up costs one of two
// very different amounts from run to run and the ratios mean little.
void PinToOneCpu() {
  if (std::getenv("ZQL_BENCH_UNPINNED") != nullptr) return;
  const int cpu = sched_getcpu();
  if (cpu < 0) return;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(cpu, &one);
  if (sched_setaffinity(0, sizeof one, &one) == 0) std::printf("pinned to CPU %d\n", cpu);
}

int main(int argc, char** argv) {
  // The library starts when it is loaded: without its resources the
  // dispatcher refuses to start, so the run begins again with them.
  if (std::getenv("ZQL") == nullptr && !BinDir().empty()) {
    setenv("ZQL", (BinDir() + "../share/zql").c_str(), 1);
    execv("/proc/self/exe", argv);
  }
  benchmark::Initialize(&argc, argv);
  PinToOneCpu();
  CRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto find = [&](const char* name) {
    const auto it = reporter.times.find(name);
    return it != reporter.times.end() ? it->second : 0.0;
  };
  const double status = find(kStatusName);
  const double transport = find(kTransportName);
  const double bare = find(kBareName);
  if (bare > 0) {
    std::printf("bare ping-pong %.2f us\n", bare);
    if (status > 0)
      std::printf("status request through the dispatcher %.2f us, ratio %.2f\n", status,
                  status / bare);
    if (transport > 0)
      std::printf("transport round trip %.2f us, ratio %.2f\n", transport, transport / bare);
  }
  return 0;
}
