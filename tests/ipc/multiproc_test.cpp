// Several client processes on one communication buffer: clients that die
// while holding a lock or waiting, fatal signals, drivers restarted for
// another client. (Two clients sharing one driver: tests/request/e2e.)
#include <algorithm>
#include <functional>

#include "ipc_fixture.h"
#include "ipclink.h"
#include "zqldda.h"

namespace zqltest {
namespace {

using MultiProcess = IpcTest;

// 1 when lock is free, 0 when held: the buffer's semaphore
// (kZqlIpcSemComBuf) or the request lock of a driver slot.
int LockFree(key_t key, int lock) {
  if (lock == kZqlIpcSemComBuf) return semctl(semget(key, 0, 0), lock, GETVAL);
  return TEST_ZqlIpcDriverLocked(lock) == 0 ? 1 : 0;
}

// A client killed while it holds the driver's lock, or while it waits for
// a reply, blocks no other client, and its reply goes to no one else.
TEST_F(MultiProcess, KilledClientsDoNotBlockOthers) {
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  const std::string busy = dir_ + "/busy";
  struct Case {
    std::function<int()> victim;
    std::function<bool()> caught;  // the victim is where it is killed
  };
  const Case cases[] = {
      {[&] { return ZqlIpcLockDriver(rec.r.slot) == 0 ? pause() : 1; },
       [&] { return TEST_ZqlIpcDriverLocked(rec.r.slot) == 1; }},
      {[&] { return Send(&rec, Request("SLEEP 300 " + busy)); },
       [&] { return access(busy.c_str(), F_OK) == 0; }},
  };
  for (const Case& c : cases) {
    const pid_t pid = Child(c.victim);
    ASSERT_TRUE(Eventually(c.caught));
    kill(pid, SIGKILL);
    WaitChild(pid);
    ASSERT_EQ(TEST_ZqlIpcDriverLocked(rec.r.slot), 0);  // else the requests below would block
    for (const char* mine : {"mine", "again"}) {
      std::vector<unsigned char> reply;
      EXPECT_EQ(Send(&rec, Request(mine), &reply), 0);
      EXPECT_EQ(reply, Request(mine));
    }
  }
  EXPECT_EQ(Disconnect(&rec), 0);
}

// State of the fatal-signal child: the handler that was installed before
// the library's trap reports what it sees.
int gReportFd = -1;
key_t gKey = -1;
int gLock = -1;

void ReportSemaphore(int) {
  const int32_t value = LockFree(gKey, gLock);
  ssize_t ignored = write(gReportFd, &value, sizeof value);
  (void)ignored;
}

// The fatal traps go in with the process's first connection and chain to
// the disposition found then: a handler installed before connecting runs
// after the locks were released. One installed after connecting replaces
// the trap and runs with the lock held; the lock is released all the same
// when the process ends (SEM_UNDO, or taken over from its dead holder).
TEST_F(MultiProcess, FatalSignalInClientReleasesItsLock) {
  struct sigaction mine{}, saved{};
  mine.sa_handler = ReportSemaphore;
  mine.sa_flags = SA_RESETHAND;  // reports, then the default action
  sigemptyset(&mine.sa_mask);
  sigaction(SIGSEGV, &mine, &saved);
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  struct Case {
    int sem;
    bool later;      // the handler is installed after connecting
    int32_t report;  // what the handler sees: 1 the lock is free
  };
  const Case cases[] = {{kZqlIpcSemComBuf, false, 1}, {rec.r.slot, false, 1}, {rec.r.slot, true, 0}};
  for (const Case& c : cases) {
    Pipe report;
    const pid_t crasher = Child([&] {
      gReportFd = report.fd[1];
      gKey = key_;
      gLock = c.sem;
      if (c.later) sigaction(SIGSEGV, &mine, nullptr);
      const int locked = c.sem == kZqlIpcSemComBuf ? ZqlIpcLockComBuf() : ZqlIpcLockDriver(c.sem);
      if (locked != 0) return 1;
      raise(SIGSEGV);
      raise(SIGSEGV);
      return 2;
    });
    const int status = WaitChild(crasher);
    EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
    EXPECT_EQ(report.Get(), c.report) << "lock " << c.sem << " later " << c.later;
    ASSERT_EQ(LockFree(key_, c.sem), 1);
  }
  EXPECT_EQ(Send(&rec, Request("x")), 0);
  EXPECT_EQ(Disconnect(&rec), 0);
  sigaction(SIGSEGV, &saved, nullptr);
}

int gPassedOn = 0;
void CountSignal(int) { ++gPassedOn; }

TEST_F(MultiProcess, FatalTrapsStayWhileConnected) {
  struct sigaction mine{}, before{};
  mine.sa_handler = CountSignal;
  sigemptyset(&mine.sa_mask);
  sigaction(SIGSYS, &mine, &before);
  Record a, b;
  ASSERT_EQ(Connect(&a, driver_), 0);
  struct sigaction during{};
  sigaction(SIGSYS, nullptr, &during);
  EXPECT_TRUE(during.sa_flags & SA_SIGINFO);
  // No lock held: the signal reaches the handler found at the connection,
  // and the process goes on.
  gPassedOn = 0;
  raise(SIGSYS);
  EXPECT_EQ(gPassedOn, 1);
  ASSERT_EQ(Connect(&b, driver_), 0);
  ASSERT_EQ(ZqlIpcLockDriver(a.r.slot), 0);
  ASSERT_EQ(ZqlIpcUnlockDriver(a.r.slot), 0);
  EXPECT_EQ(Disconnect(&a), 1);
  sigaction(SIGSYS, nullptr, &during);
  EXPECT_TRUE(during.sa_flags & SA_SIGINFO);  // b is still connected
  EXPECT_EQ(Disconnect(&b), 0);
  struct sigaction after{};
  sigaction(SIGSYS, nullptr, &after);
  EXPECT_EQ(after.sa_handler, CountSignal);
  sigaction(SIGSYS, &before, nullptr);
}

TEST_F(MultiProcess, DriverOfAnotherClientIsRestartedWhenDead) {
  Pipe up, down;
  const pid_t other = Child([&] {
    Record rec;
    if (Connect(&rec, driver_) != 0) return 1;
    up.Put(ZqlIpcComBuf()->slots[rec.r.slot].driverPid);
    if (down.Get() != 1) return 2;
    // The restarted driver answers this process's connection too.
    if (Send(&rec, Request("x")) != 0) return 3;
    return Disconnect(&rec) == 1 ? 0 : 4;
  });
  const pid_t first = up.Get();
  ASSERT_GT(first, 0);
  drivers_.insert(first);
  kill(first, SIGKILL);  // stays a zombie: its parent does not reap it now
  ASSERT_TRUE(Eventually([&] { return !Alive(first); }));
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  const linkinf& slot = ZqlIpcComBuf()->slots[rec.r.slot];
  EXPECT_NE(slot.driverPid, first);
  EXPECT_EQ(slot.connections, 2);
  down.Put(1);
  EXPECT_TRUE(ExitedWith(WaitChild(other), 0));
  EXPECT_EQ(Send(&rec, Request("y")), 0);
  EXPECT_EQ(Disconnect(&rec), 0);
}

// The hook of the next test, inside the wait for the first driver's reply:
// kills that driver, has another client restart the slot, and returns once
// the new driver has reported in.
linkinf* gSlot = nullptr;
pid_t gFirst = 0;
Pipe* gGo = nullptr;

void RestartMeanwhile() {
  kill(gFirst, SIGKILL);
  Eventually([] { return !Alive(gFirst); });  // else the other client may reuse it
  gGo->Put(1);
  for (int i = 0; i < 2000; ++i) {
    const int32_t pid = gSlot->driverPid;
    if (pid > 0 && pid != gFirst && __atomic_load_n(&gSlot->status, __ATOMIC_ACQUIRE) == kZqlSlotReady) return;
    usleep(5000);
  }
}

// A client waiting for a driver that dies while another client restarts
// its slot: the new driver's ready status is no answer to it.
TEST_F(MultiProcess, WaitForARestartedDriverFails) {
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  gSlot = &ZqlIpcComBuf()->slots[rec.r.slot];
  gFirst = gSlot->driverPid;
  drivers_.insert(gFirst);
  Pipe go, out, done;
  gGo = &go;
  const pid_t other = Child([&] {
    if (go.Get() != 1) return 1;
    Record again;
    out.Put(Connect(&again, driver_));
    done.Get();
    Disconnect(&again);
    return 0;
  });
  TEST_ZqlIpcSetWaitHook(RestartMeanwhile);
  EXPECT_EQ(Send(&rec, Request("SLEEP 300 " + dir_ + "/busy")), kZqlErrServerDiedConnectionLost);
  TEST_ZqlIpcSetWaitHook(nullptr);
  EXPECT_EQ(out.Get(), 0);
  drivers_.insert(gSlot->driverPid);
  EXPECT_NE(gSlot->driverPid, gFirst);
  done.Put(1);
  EXPECT_TRUE(ExitedWith(WaitChild(other), 0));
  Disconnect(&rec);
}

// A client SIGKILLed with an open connection cannot close it: the driver
// finds it gone at its idle check, rolls its connection back and takes its
// counts off; the last one out removes every IPC object (TearDown checks).
TEST_F(MultiProcess, KilledClientsConnectionsAreTakenBack) {
  const std::string trace = dir_ + "/trace";
  setenv("ZQL_TEST_DRIVER_TRACE", trace.c_str(), 1);
  for (const bool alsoHere : {false, true}) {
    std::remove(trace.c_str());
    Pipe up;
    const pid_t victim = Child([&] {
      CZqlIpcSystem sys;
      CZqlServer* server = sys.ConnectDriver(ini_.c_str(), driver_.c_str());
      CZqlDDA dda;
      dda.Init(10);
      up.Put(server != nullptr ? static_cast<int32_t>(server->Connect(&dda, "", "", "")) : -1);
      pause();
      return 0;
    });
    ASSERT_GT(up.Get(), 0);
    Record rec;
    if (alsoHere) {
      ASSERT_EQ(Connect(&rec, driver_), 0);
    }
    const SZqlComBuf* buf = Peek();
    ASSERT_NE(buf, nullptr);
    const int slot = kZqlIpcSlotCount - 1;  // the highest free slot
    drivers_.insert(buf->slots[slot].driverPid);
    EXPECT_EQ(buf->slots[slot].connections, alsoHere ? 2 : 1);
    kill(victim, SIGKILL);
    WaitChild(victim);
    ASSERT_TRUE(Eventually([&] {
      const std::vector<std::string> lines = Lines(trace);
      return std::find(lines.begin(), lines.end(), "Disconnect") != lines.end();
    }));
    if (alsoHere) {
      ASSERT_TRUE(Eventually([&] { return buf->slots[slot].connections == 1; }));
      EXPECT_EQ(buf->attached, 1);
      EXPECT_EQ(Send(&rec, Request("still served")), 0);
      EXPECT_EQ(Disconnect(&rec), 0);
    }
    ASSERT_TRUE(Eventually([&] { return !BufferExists() && !SemaphoresExist(); }));
    ExpectNoIpcLeft();
    TEST_ZqlIpcReset();
  }
  unsetenv("ZQL_TEST_DRIVER_TRACE");
}

// A driver held stopped in a request: the wait ends with 0xB01D after the
// wait limit, and once the driver runs again the connection serves again.
TEST_F(MultiProcess, StoppedDriverEndsTheWait) {
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  const pid_t driver = ZqlIpcComBuf()->slots[rec.r.slot].driverPid;
  ASSERT_EQ(Send(&rec, Request("x")), 0);
  kill(driver, SIGSTOP);
  const std::vector<int32_t> got = Bounded(1, [&](Pipe* out) { out->Put(Send(&rec, Request("y"))); });
  EXPECT_EQ(got[0], kZqlErrErrorFoundInDBMSCommunication);
  kill(driver, SIGCONT);
  std::vector<unsigned char> reply;
  EXPECT_EQ(Send(&rec, Request("z"), &reply), 0);
  EXPECT_EQ(reply, Request("z"));
  EXPECT_EQ(Disconnect(&rec), 0);
}

}  // namespace
}  // namespace zqltest
