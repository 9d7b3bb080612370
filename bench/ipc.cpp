// Cost of one request through the driver link against the floor set by the
// operating system, in one run: a Status request through the whole client
// stack (CZqlDispClient::Status: dispatcher, request packing, transport,
// the driver kit's decoder, reply unpacking), a bare transport round trip
// to the scripted driver (locks, signals, data segment, liveness checks),
// and the peer: a bare shared-memory-plus-signal ping-pong between two
// processes, four calls a round trip (kill and sigwaitinfo on each side).
//
// The three are timed in interleaved rounds of wall-clock time (a wake-up
// is what they cost); the medians are reported as FIGURE lines, each
// against the ping-pong. ZQL_BENCH_PINNED runs everything on one CPU.
//
// The scripted driver (tests/ipc) is looked up next to this program, the
// library's resources in ../share/zql from it unless ZQL names them.
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "benchenv.h"
#include "ipclink.h"
#include "uxlink.h"
#include "zqldispa.h"
#include "zqltry.h"

namespace {

using namespace zqlbench;

// Size of the bare requests: that of a Fetch request.
constexpr uint32_t kRequestSize = 56;
constexpr uint32_t kTestMarker = 0x54534554;  // echoed by the scripted driver
constexpr int kRounds = 21;
constexpr int kPerRound = 1000;

void FillRequest(unsigned char* out) {
  std::memset(out, 'r', kRequestSize);
  std::memcpy(out, &kTestMarker, 4);
  std::memcpy(out + 4, &kRequestSize, 4);
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

// The peer: a shared segment and an echoing child.
struct SPingPong {
  unsigned char* seg = nullptr;
  pid_t echo = -1;
  sigset_t old;
  unsigned char request[kRequestSize], reply[kRequestSize];

  SPingPong() {
    const int id = shmget(IPC_PRIVATE, 4096, IPC_CREAT | 0600);
    if (id < 0) return;
    void* at = shmat(id, nullptr, 0);
    shmctl(id, IPC_RMID, nullptr);  // gone once both have detached
    if (at == reinterpret_cast<void*>(-1)) return;
    seg = static_cast<unsigned char*>(at);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGUSR2);
    sigprocmask(SIG_BLOCK, &set, &old);
    const pid_t client = getpid();
    echo = fork();
    if (echo == 0) Echo(seg, client);
    FillRequest(request);
  }
  ~SPingPong() {
    if (echo > 0) {
      kill(echo, SIGUSR2);
      waitpid(echo, nullptr, 0);
    }
    if (seg != nullptr) {
      shmdt(seg);
      sigprocmask(SIG_SETMASK, &old, nullptr);
    }
  }
  SPingPong(const SPingPong&) = delete;
  SPingPong& operator=(const SPingPong&) = delete;
  bool ready() const { return echo > 0; }

  void once() {
    std::memcpy(seg, request, kRequestSize);
    kill(echo, SIGUSR1);
    sigset_t usr1;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    siginfo_t info;
    while (sigwaitinfo(&usr1, &info) != SIGUSR1) {
    }
    uint32_t length;
    std::memcpy(&length, seg, 4);
    std::memcpy(reply, seg + 4, length < kRequestSize ? length : kRequestSize);
  }
};

// Seconds per call of step, over kPerRound calls; negative when it failed.
template <class Step>
double Time(Step step) {
  const double start = Now();
  for (int i = 0; i < kPerRound; ++i)
    if (!step()) return -1;
  return (Now() - start) / kPerRound;
}

}  // namespace

int main(int, char** argv) {
  NeedResources(argv);
  const char* mode = ApplyPinning();
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
    std::fprintf(stderr, "bench_ipc: cannot connect to %s\n", DriverPath().c_str());
    return 1;
  }
  SZqlServer rec{};
  rec.slot = -1;
  const std::string driver = DriverPath();
  if (ZqlLoadServerOnUnix(where.ini.c_str(), driver.c_str(), &rec) != kZqlOk) {
    std::fprintf(stderr, "bench_ipc: cannot start %s\n", driver.c_str());
    return 1;
  }
  rec.request = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(kRequestSize));
  FillRequest(rec.request);
  SPingPong peer;
  if (!peer.ready()) {
    std::fprintf(stderr, "bench_ipc: cannot start the echo process\n");
    return 1;
  }

  auto status = [&] {
    uint32_t value = 0;
    return ZqlTry([&] { client.Status(&dda, session, kZqlStatConnection1, &value); }) != 0;
  };
  auto transport = [&] {
    rec.size = kRequestSize;
    return ZqlSendDataToServer(&rec) == kZqlOk;
  };
  auto bare = [&] {
    peer.once();
    return true;
  };
  std::vector<double> st, tr, pp;
  bool ok = true;
  for (int round = 0; ok && round < kRounds + 1; ++round) {
    const double s = Time(status), t = Time(transport), p = Time(bare);
    ok = s > 0 && t > 0 && p > 0;
    if (round == 0) continue;  // warms up
    st.push_back(s * 1e6);
    tr.push_back(t * 1e6);
    pp.push_back(p * 1e6);
  }
  ZqlMemoryNblkFree(rec.request);
  ZqlMemoryNblkFree(rec.reply);
  ZqlDisconServerOnUnix(rec.slot);
  ZqlTry([&] { client.Term(&dda); });
  if (!ok) {
    std::fprintf(stderr, "bench_ipc: a request failed\n");
    return 1;
  }
  const double floor = Median(&pp);
  Figure("ipc.status", mode, Median(&st), floor, "us", 1.10);
  Figure("ipc.transport", mode, Median(&tr), floor, "us", 1.10);
  return 0;
}
