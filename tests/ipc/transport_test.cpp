// The transport seen from one client process: starting, reusing and
// stopping drivers, requests and replies at the segment's limits, drivers
// that misbehave, and the refusals of unsafe input.
#include <fcntl.h>
#include <sched.h>

#include <climits>

#include "ipc_fixture.h"

namespace zqltest {
namespace {

using Transport = IpcTest;

TEST_F(Transport, StartsDriverInHighestFreeSlotEchoesAndSharesIt) {
  Record rec, again, next;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  EXPECT_EQ(rec.r.slot, kZqlIpcSlotCount - 1);
  EXPECT_EQ(rec.r.driverValue, kDriverValue);
  const linkinf& slot = ZqlIpcComBuf()->slots[rec.r.slot];
  EXPECT_EQ(slot.state, kZqlSlotInUse);
  EXPECT_EQ(slot.connections, 1);
  EXPECT_STREQ(slot.path, driver_.c_str());
  EXPECT_EQ(ZqlIpcComBuf()->attached, 1);
  // The buffer, the driver's segment and the semaphores are the owner's only.
  for (const int id : {shmget(key_, 0, 0), shmget(slot.segKey, 0, 0)}) {
    shmid_ds shm{};
    ASSERT_EQ(shmctl(id, IPC_STAT, &shm), 0);
    EXPECT_EQ(shm.shm_perm.mode & 0777, 0600u);
  }
  semid_ds sem{};
  ASSERT_EQ(semctl(semget(key_, 0, 0), 0, IPC_STAT, &sem), 0);
  EXPECT_EQ(sem.sem_perm.mode & 0777, 0600u);

  for (const std::string& payload : {std::string(), std::string("hello"), std::string(5000, 'q')}) {
    std::vector<unsigned char> reply;
    const std::vector<unsigned char> request = Request(payload);
    ASSERT_EQ(Send(&rec, request, &reply), 0);
    EXPECT_EQ(reply, request);
    EXPECT_EQ(slot.status, kZqlSlotReady);
  }
  std::vector<unsigned char> reply{1};
  ASSERT_EQ(Send(&rec, Request("EMPTY"), &reply), 0);
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(rec.r.size, 0);

  // A second connection reuses the slot and its driver.
  const pid_t pid = slot.driverPid;
  ASSERT_EQ(Connect(&again, driver_), 0);
  EXPECT_EQ(again.r.slot, rec.r.slot);
  EXPECT_EQ(slot.driverPid, pid);
  EXPECT_EQ(slot.connections, 2);
  EXPECT_EQ(ZqlIpcComBuf()->attached, 1);  // once per process
  // A client that ended while it stopped a driver leaves its slot stopping;
  // the slot is given to the next driver all the same.
  ZqlIpcComBuf()->slots[rec.r.slot - 1].state = kZqlSlotStopping;
  ASSERT_EQ(Connect(&next, DriverAlias("next")), 0);
  EXPECT_EQ(next.r.slot, rec.r.slot - 1);
  EXPECT_EQ(Disconnect(&next), 0);

  EXPECT_EQ(Disconnect(&rec), 1);
  EXPECT_TRUE(Alive(pid));
  EXPECT_EQ(Send(&again, Request("still there")), 0);
  EXPECT_EQ(Disconnect(&again), 0);  // the last connection stops the driver
  EXPECT_EQ(ZqlIpcComBuf(), nullptr);
  EXPECT_FALSE(SemaphoresExist());
}

TEST_F(Transport, RequestsAtTheSegmentLimit) {
  setenv("ZQL_TEST_DRIVER_SEGMENT", "4096", 1);
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  // A request may fill the segment; a reply may fill all but its length word.
  EXPECT_EQ(Send(&rec, Request("EMPTY", 4096)), 0);
  std::vector<unsigned char> reply;
  EXPECT_EQ(Send(&rec, Request("BIG 4092"), &reply), 0);
  EXPECT_EQ(reply.size(), 4092u);
  // One byte more is refused before anything is written.
  EXPECT_EQ(Send(&rec, Request("EMPTY", 4097)), kZqlErrErrorFoundInDBMSCommunication);
  // A reply one byte too large: the kit answers with the outcome alone.
  EXPECT_EQ(Send(&rec, Request("BIG 4093"), &reply), 0);
  EXPECT_EQ(RetCode(reply), kZqlErrErrorFoundInDBMSCommunication);
  // The driver serves on after both.
  EXPECT_EQ(Send(&rec, Request("BIG 10"), &reply), 0);
  EXPECT_EQ(reply, std::vector<unsigned char>(10, 'x'));
  EXPECT_EQ(Disconnect(&rec), 0);
}

// The misbehaving drivers run against a client in a child process, so that
// a wait that never ends fails the test instead of hanging it.
TEST_F(Transport, MisbehavingDriversFailWithTheirCodes) {
  constexpr int32_t kRunning = 1;  // any driver process
  struct Case {
    const char* mode;
    int32_t connect;
    int32_t pid;  // the slot's driver pid: kRunning, -1 none yet, 0 no slot
    int32_t send;
  };
  const Case cases[] = {
      {"bad-reply", 0, kRunning, kZqlErrInternalZQLError},  // length past the segment
      {"exit-early", kZqlErrErrorFoundDuringDriverInitialization, 0, -1},
      // Counted in the slot all the same; its release frees it.
      {"not-driver", kZqlErrProgramReferencedInZQLINIIsNotAnZQLDriver, -1,
       kZqlErrServerDiedConnectionLost},
      {"die-in-request", 0, kRunning, kZqlErrServerDiedConnectionLost},
  };
  for (const Case& c : cases) {
    setenv("ZQL_TEST_DRIVER_MODE", c.mode, 1);
    const std::vector<int32_t> got = Bounded(6, [&](Pipe* out) {
      Record rec;
      out->Put(Connect(&rec, driver_));
      const bool slot = rec.r.slot >= 0;
      out->Put(slot ? ZqlIpcComBuf()->slots[rec.r.slot].driverPid : 0);
      out->Put(slot ? Send(&rec, Request("x")) : -1);
      out->Put(rec.r.reply == nullptr);
      out->Put(slot ? Disconnect(&rec) : 0);  // the last connection: 0
      out->Put(ZqlIpcComBuf() == nullptr);     // no connection remained
    });
    if (c.pid == kRunning && got[1] > 0) drivers_.insert(got[1]);
    const int32_t pid = c.pid == kRunning && got[1] > 0 ? kRunning : got[1];
    EXPECT_EQ(got, (std::vector<int32_t>{got[0], got[1], got[2], 1, 0, 1})) << c.mode;
    EXPECT_EQ(got[0], c.connect) << c.mode;
    EXPECT_EQ(pid, c.pid) << c.mode;
    EXPECT_EQ(got[2], c.send) << c.mode;
  }
}

// Requests with gaps shorter and longer than the spin window: between a
// spinning client and a spinning driver, between a client and a driver that
// share one CPU (both yield it instead), to a driver that keeps no wake
// words (every request and reply by signal), and with spinning off on both
// sides. Each reply is its request's echo. A driver that dies while the
// client spins or yields for the reply is found dead as one that dies while
// it sleeps.
TEST_F(Transport, SpinningAndSignalledRequestsAllArrive) {
  const struct {
    const char* mode;
    const char* spinUsec;  // of the client and the driver it starts
    bool oneCpu;           // the client, and so its driver, on one CPU
    int32_t code;
  } cases[] = {
      {"", "50", false, 0},
      {"", "50", true, 0},
      {"signals-only", "50", false, 0},
      {"signals-only", "50", true, 0},
      {"", "0", false, 0},
      {"die-in-request", "50", false, kZqlErrServerDiedConnectionLost},
      {"die-in-request", "50", true, kZqlErrServerDiedConnectionLost},
  };
  for (const auto& c : cases) {
    setenv("ZQL_TEST_DRIVER_MODE", c.mode, 1);
    setenv("ZQL_SPIN_USEC", c.spinUsec, 1);
    const std::vector<int32_t> got = Bounded(1, [&](Pipe* out) {
      if (c.oneCpu) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        sched_setaffinity(0, sizeof one, &one);
      }
      Record rec;
      int32_t code = Connect(&rec, driver_);
      const useconds_t gaps[] = {0, 0, 0, 200, 0, 5000, 0};
      for (int round = 0; code == 0 && round < 50; ++round) {
        usleep(gaps[round % 7]);
        std::vector<unsigned char> reply;
        const std::vector<unsigned char> request = Request("r" + std::to_string(round));
        code = Send(&rec, request, &reply);
        if (code == 0 && reply != request) code = -1;
      }
      out->Put(code);
      Disconnect(&rec);
    });
    EXPECT_EQ(got[0], c.code) << c.mode << ", spin " << c.spinUsec << (c.oneCpu ? ", one CPU" : "");
  }
  unsetenv("ZQL_SPIN_USEC");
  unsetenv("ZQL_TEST_DRIVER_MODE");
}

TEST_F(Transport, BadDriverPathsAreRefused) {
  Record rec;
  const std::string tooLong = "/" + std::string(kZqlMaxDriverPath, 'd');
  EXPECT_EQ(Connect(&rec, tooLong), kZqlErrDriverNameIsInvalid);
  EXPECT_FALSE(BufferExists());  // refused before anything was made
  EXPECT_EQ(Connect(&rec, ""), kZqlErrDriverNameIsInvalid);
  EXPECT_EQ(Connect(&rec, dir_ + "/missing"), kZqlErrPathNotFound);

  const std::string plain = dir_ + "/plain";
  std::ofstream(plain) << "no program\n";
  EXPECT_EQ(Connect(&rec, plain), kZqlErrAccessDenied);  // not executable
  chmod(plain.c_str(), 0700);
  EXPECT_EQ(Connect(&rec, plain), kZqlErrInvalidZQLDriverExecutableFormat);
  EXPECT_EQ(rec.r.slot, -1);
  EXPECT_EQ(ZqlIpcComBuf(), nullptr);

  // A path of exactly 130 characters fits its slot.
  std::string fits = dir_ + "/";
  fits += std::string(kZqlMaxDriverPath - fits.size(), 'a');
  ASSERT_EQ(symlink(driver_.c_str(), fits.c_str()), 0);
  ASSERT_EQ(Connect(&rec, fits), 0);
  EXPECT_STREQ(ZqlIpcComBuf()->slots[rec.r.slot].path, fits.c_str());
  EXPECT_EQ(Disconnect(&rec), 0);
}

// The blocked-signal mask of a process, from /proc.
uint64_t BlockedSignals(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("SigBlk:", 0) == 0) return std::stoull(line.substr(7), nullptr, 16);
  return ~0ull;
}

TEST_F(Transport, DriverStartsWithoutTheClientsBaggage) {
  // Descriptors without close-on-exec, one of them above 99.
  const int low = open(ini_.c_str(), O_RDONLY);
  const int inherited = fcntl(low, F_DUPFD, 150);
  ASSERT_GE(inherited, 150);
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  const pid_t pid = ZqlIpcComBuf()->slots[rec.r.slot].driverPid;
  // The driver opens files of its own; none of the client's reaches it.
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd/";
  for (const int fd : {low, inherited}) {
    char target[PATH_MAX] = {};
    const ssize_t n = readlink((fds + std::to_string(fd)).c_str(), target, sizeof target - 1);
    EXPECT_TRUE(n < 0 || ini_ != target) << fd;
  }
  // The signals the client blocks while it starts the driver are not
  // blocked in the driver; it runs in a session of its own. The driver
  // blocks every signal for a moment while it starts a thread, so the mask
  // is read until it settles: an inherited mask never does.
  const uint64_t client = (1ull << (SIGALRM - 1)) | (1ull << (SIGCHLD - 1));
  uint64_t blocked = BlockedSignals(pid);
  for (int i = 0; i < 200 && (blocked & client) != 0; ++i) {
    usleep(10 * 1000);
    blocked = BlockedSignals(pid);
  }
  EXPECT_EQ(blocked & client, 0u);
  EXPECT_EQ(getsid(pid), pid);
  close(inherited);
  close(low);
  EXPECT_EQ(Disconnect(&rec), 0);
}

TEST_F(Transport, AllSlotsInUseGivesB018) {
  std::vector<Record> recs(kZqlIpcSlotCount);
  for (int i = 0; i < kZqlIpcSlotCount; ++i)
    ASSERT_EQ(Connect(&recs[i], DriverAlias("d" + std::to_string(i))), 0) << i;
  Record extra;
  EXPECT_EQ(Connect(&extra, DriverAlias("one-too-many")), kZqlErrTooManyDriverLoaded);
  EXPECT_EQ(extra.r.slot, -1);
  // Existing drivers are still reachable by their paths.
  Record again;
  EXPECT_EQ(Connect(&again, dir_ + "/d7"), 0);
  EXPECT_EQ(again.r.slot, recs[7].r.slot);
  EXPECT_EQ(Disconnect(&again), 1);
  for (Record& rec : recs) Disconnect(&rec);
  EXPECT_EQ(ZqlIpcComBuf(), nullptr);
}

// Another user on the machine (a client run as uid nobody; only root can
// start one) can neither connect to this user's driver nor attach its
// buffer or data segment.
TEST_F(Transport, AnotherUserCannotAttach) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a client as another uid";
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  // The file and its folder readable, so that only the IPC modes refuse.
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  ASSERT_EQ(chmod(ini_.c_str(), 0644), 0);
  const int buffer = shmget(key_, 0, 0);
  const int segment = shmget(ZqlIpcComBuf()->slots[rec.r.slot].segKey, 0, 0);
  const std::vector<int32_t> got = Bounded(4, [&](Pipe* out) {
    TEST_ZqlIpcReset();
    if (setgid(65534) != 0 || setuid(65534) != 0) return;
    Record other;
    out->Put(ZqlLoadServerOnUnix(ini_.c_str(), driver_.c_str(), &other.r));
    out->Put(shmat(buffer, nullptr, 0) == reinterpret_cast<void*>(-1) ? errno : 0);
    out->Put(shmat(segment, nullptr, 0) == reinterpret_cast<void*>(-1) ? errno : 0);
    out->Put(semctl(semget(key_, 0, 0), kZqlIpcSemComBuf, GETVAL) < 0 ? errno : 0);
  });
  EXPECT_EQ(got, (std::vector<int32_t>{kZqlErrCannotCreateCommunicationBuffer, EACCES, EACCES,
                                       EACCES}));
  EXPECT_EQ(ZqlIpcComBuf()->attached, 1);
  EXPECT_EQ(Disconnect(&rec), 0);
}

// A buffer or semaphore set handed over to another user (its creator may
// still remove it) is refused, and the other one made on the way removed.
TEST_F(Transport, BufferOfAnotherUserIsRefused) {
  for (const bool sem : {false, true}) {
    SCOPED_TRACE(sem);
    const int id = sem ? semget(key_, kZqlIpcSemCount, IPC_CREAT | IPC_EXCL | 0600)
                       : shmget(key_, kZqlComBufSize, IPC_CREAT | IPC_EXCL | 0600);
    ASSERT_GE(id, 0);
    shmid_ds shm{};
    semid_ds sds{};
    ASSERT_EQ(sem ? semctl(id, 0, IPC_STAT, &sds) : shmctl(id, IPC_STAT, &shm), 0);
    shm.shm_perm.uid = sds.sem_perm.uid = geteuid() + 1;
    ASSERT_EQ(sem ? semctl(id, 0, IPC_SET, &sds) : shmctl(id, IPC_SET, &shm), 0);
    Record rec;
    EXPECT_EQ(Connect(&rec, driver_), kZqlErrCannotCreateCommunicationBuffer);
    EXPECT_FALSE(sem ? BufferExists() : SemaphoresExist());
    EXPECT_EQ(sem ? semctl(id, 0, IPC_RMID) : shmctl(id, IPC_RMID, nullptr), 0);
  }
}

// A driver that ends by a stop signal takes its data segment along; one
// killed leaves it to the client that restarts the slot. Either way the next
// connection restarts the driver in its slot, and the old connection
// reaches the new driver.
TEST_F(Transport, DeadDriverIsRestartedInItsSlot) {
  for (const int sig : {SIGTERM, SIGSEGV, SIGKILL}) {
    SCOPED_TRACE(sig);
    Record a, b;
    ASSERT_EQ(Connect(&a, driver_), 0);
    const pid_t first = ZqlIpcComBuf()->slots[a.r.slot].driverPid;
    ASSERT_TRUE(SegmentOf(first));
    // Attached here, a removed segment would stay listed: only the killed
    // driver's is.
    if (sig == SIGKILL) {
      ASSERT_EQ(Send(&a, Request("x")), 0);
    }
    kill(first, sig);
    EXPECT_TRUE(Eventually([&] { return !Alive(first); }));
    if (sig != SIGKILL) {
      EXPECT_TRUE(Eventually([&] { return !SegmentOf(first); }));
    }
    EXPECT_EQ(Send(&a, Request("x")), kZqlErrServerDiedConnectionLost);
    ASSERT_EQ(Connect(&b, driver_), 0);
    const linkinf& slot = ZqlIpcComBuf()->slots[a.r.slot];
    EXPECT_EQ(b.r.slot, a.r.slot);
    EXPECT_NE(slot.driverPid, first);
    EXPECT_EQ(slot.connections, 2);
    EXPECT_FALSE(SegmentOf(first)) << "orphan segment kept";
    EXPECT_EQ(Send(&a, Request("x")), 0);
    EXPECT_EQ(Send(&b, Request("y")), 0);
    EXPECT_EQ(Disconnect(&a), 1);
    EXPECT_EQ(Disconnect(&b), 0);
  }
}

TEST_F(Transport, SignalStateIsRestoredAfterRequests) {
  struct sigaction mine{};
  mine.sa_handler = [](int) {};
  sigemptyset(&mine.sa_mask);
  struct sigaction saved[2];
  const int sigs[] = {SIGUSR1, SIGALRM};
  for (int i = 0; i < 2; ++i) sigaction(sigs[i], &mine, &saved[i]);
  sigset_t before;
  sigprocmask(SIG_SETMASK, nullptr, &before);

  Record rec;
  ASSERT_EQ(alarm(60), 0u);  // the caller's own alarm survives requests
  ASSERT_EQ(Connect(&rec, driver_), 0);
  ASSERT_EQ(Send(&rec, Request("x")), 0);
  for (int sig : sigs) {
    struct sigaction now{};
    sigaction(sig, nullptr, &now);
    EXPECT_EQ(now.sa_handler, mine.sa_handler) << sig;
  }
  sigset_t after;
  sigprocmask(SIG_SETMASK, nullptr, &after);
  for (int sig : {SIGUSR1, SIGALRM, SIGCHLD})
    EXPECT_EQ(sigismember(&after, sig), sigismember(&before, sig)) << sig;
  EXPECT_GT(alarm(0), 0u);
  EXPECT_EQ(Disconnect(&rec), 0);
  for (int i = 0; i < 2; ++i) sigaction(sigs[i], &saved[i], nullptr);
}

// Wait hooks: they run after the request was announced and before the
// client waits, so the reply, or a stray signal, comes in that window.
void Linger() { usleep(100000); }
void StraySignal() { kill(getpid(), SIGUSR1); }
void StraySignalAndLinger() {
  StraySignal();
  Linger();
}

TEST_F(Transport, RepliesAreTakenWhateverComesBeforeTheWait) {
  struct Case {
    void (*hook)();
    const char* payload;
    int alarms;  // liveness periods the wait may take at most
  };
  const std::string slow = "SLEEP 100 " + dir_ + "/slept";
  const Case cases[] = {
      {Linger, "early", 0},            // the reply came first: not lost
      {StraySignal, slow.c_str(), 0},  // a stray before the reply: the wait goes on
      // A stray that may merge with the driver's signal (as scheduling has
      // it): the reply is taken at the latest at the next period.
      {StraySignalAndLinger, "merged", 1},
  };
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  for (const Case& c : cases) {
    const int alarms = TEST_ZqlIpcAlarmCount();
    TEST_ZqlIpcSetWaitHook(c.hook);
    std::vector<unsigned char> reply;
    EXPECT_EQ(Send(&rec, Request(c.payload), &reply), 0) << c.payload;
    EXPECT_EQ(reply, Request(c.payload));
    EXPECT_LE(TEST_ZqlIpcAlarmCount(), alarms + c.alarms) << c.payload;
  }
  TEST_ZqlIpcSetWaitHook(nullptr);
  EXPECT_EQ(Disconnect(&rec), 0);
}

// The transport answers status values: nothing here runs in a frame.
TEST_F(Transport, CallsWithoutBufferOrSlotAnswerTheirStatus) {
  Record rec;
  EXPECT_EQ(Send(&rec, Request("x")), kZqlErrCannotCreateCommunicationBuffer);
  EXPECT_EQ(Disconnect(&rec), -kZqlErrCannotCreateCommunicationBuffer);
  EXPECT_EQ(ZqlIpcDeleteComBuf(), kZqlErrInternalZQLError);
  EXPECT_EQ(ZqlIpcLockComBuf(), kZqlErrCannotCreateCommunicationBuffer);
  EXPECT_EQ(ZqlIpcLockDriver(0), kZqlErrCannotCreateCommunicationBuffer);
  EXPECT_EQ(ZqlLoadServerOnUnix(ini_.c_str(), driver_.c_str(), nullptr), kZqlErrInternalZQLError);

  ASSERT_EQ(Connect(&rec, driver_), 0);
  const int slot = rec.r.slot;
  Record unconnected;
  EXPECT_EQ(Send(&unconnected, Request("x")), kZqlErrInternalZQLError);
  EXPECT_EQ(ZqlDisconServerOnUnix(kZqlIpcSlotCount), kZqlErrInternalZQLError);
  EXPECT_EQ(ZqlDisconServerOnUnix(slot == 0 ? 1 : 0), kZqlErrInternalZQLError);
  EXPECT_EQ(ZqlTryLevel(), -1);
  rec.r.slot = slot;
  EXPECT_EQ(Disconnect(&rec), 0);
}

}  // namespace
}  // namespace zqltest
