// Several client processes on one communication buffer: sharing a driver,
// the last one leaving, and clients that die while holding a lock.
#include "ipc_fixture.h"

namespace zqltest {
namespace {

using MultiProcess = IpcTest;

int SemValue(key_t key, int sem) { return semctl(semget(key, 0, 0), sem, GETVAL); }

TEST_F(MultiProcess, TwoClientProcessesShareOneDriver) {
  Pipe up[2], down[2];
  pid_t pids[2];
  int32_t slot[2], driver[2];
  for (int i = 0; i < 2; ++i) {
    pids[i] = Child([&, i] {
      Record rec;
      if (Connect(&rec, driver_) != 0) return 1;
      up[i].Put(rec.r.slot);
      up[i].Put(ZqlIpcComBuf()->slots[rec.r.slot].driverPid);
      if (down[i].Get() != 1 || Send(&rec, Request("from " + std::to_string(i))) != 0) return 2;
      up[i].Put(0);
      if (down[i].Get() != 2) return 3;
      up[i].Put(Disconnect(&rec));
      return 0;
    });
    slot[i] = up[i].Get();
    driver[i] = up[i].Get();
  }
  drivers_.insert(driver[0]);
  EXPECT_GE(slot[0], 0);
  EXPECT_EQ(slot[1], slot[0]);
  EXPECT_EQ(driver[1], driver[0]);  // one driver process for both
  const SZqlComBuf* buf = Peek();
  ASSERT_NE(buf, nullptr);
  EXPECT_EQ(buf->attached, 2);
  EXPECT_EQ(buf->slots[slot[0]].connections, 2);
  for (int i = 0; i < 2; ++i) {
    down[i].Put(1);
    EXPECT_EQ(up[i].Get(), 0);
  }
  down[0].Put(2);
  EXPECT_EQ(up[0].Get(), 1);  // the other process still uses the driver
  EXPECT_TRUE(ExitedWith(WaitChild(pids[0]), 0));
  EXPECT_EQ(buf->attached, 1);
  EXPECT_EQ(buf->slots[slot[0]].connections, 1);
  EXPECT_TRUE(Alive(driver[0]));
  down[1].Put(2);
  EXPECT_EQ(up[1].Get(), 0);  // the last one stops it
  EXPECT_TRUE(ExitedWith(WaitChild(pids[1]), 0));
  EXPECT_FALSE(SemaphoresExist());
  EXPECT_FALSE(BufferExists());
}

TEST_F(MultiProcess, ClientKilledHoldingDriverLockDoesNotBlockOthers) {
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  Pipe up;
  const pid_t holder = Child([&] {
    if (ZqlIpcLockDriver(rec.r.slot) != 0) return 1;
    up.Put(1);
    pause();
    return 0;
  });
  ASSERT_EQ(up.Get(), 1);
  EXPECT_EQ(SemValue(key_, rec.r.slot), 0);
  kill(holder, SIGKILL);
  WaitChild(holder);
  ASSERT_EQ(SemValue(key_, rec.r.slot), 1);  // else the request below would block
  std::vector<unsigned char> reply;
  EXPECT_EQ(Send(&rec, Request("next"), &reply), 0);
  EXPECT_EQ(reply, Request("next"));
  EXPECT_EQ(Disconnect(&rec), 0);
}

TEST_F(MultiProcess, ClientKilledWaitingForReplyDoesNotBlockOthers) {
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  const std::string busy = dir_ + "/busy";
  const pid_t waiter = Child([&] { return Send(&rec, Request("SLEEP 300 " + busy)); });
  ASSERT_TRUE(Eventually([&] { return access(busy.c_str(), F_OK) == 0; }));
  kill(waiter, SIGKILL);
  WaitChild(waiter);
  // This client's reply is its own, not the one meant for the dead client.
  std::vector<unsigned char> reply;
  EXPECT_EQ(Send(&rec, Request("mine"), &reply), 0);
  EXPECT_EQ(reply, Request("mine"));
  EXPECT_EQ(Send(&rec, Request("again"), &reply), 0);
  EXPECT_EQ(reply, Request("again"));
  EXPECT_EQ(Disconnect(&rec), 0);
}

// State of the fatal-signal child: the handler that was installed before
// the library's trap reports what it sees.
int gReportFd = -1;
int gSemId = -1;
int gSemNum = -1;

void ReportSemaphore(int) {
  const int32_t value = semctl(gSemId, gSemNum, GETVAL);
  ssize_t ignored = write(gReportFd, &value, sizeof value);
  (void)ignored;
}

// The fatal traps go in with the process's first connection and chain to
// the disposition found then: a handler installed before connecting runs
// after the locks were released.
TEST_F(MultiProcess, FatalSignalInClientReleasesItsLock) {
  struct sigaction mine{}, saved{};
  mine.sa_handler = ReportSemaphore;
  sigemptyset(&mine.sa_mask);
  sigaction(SIGSEGV, &mine, &saved);
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  for (const int sem : {kZqlIpcSemComBuf, static_cast<int>(rec.r.slot)}) {
    Pipe report;
    const pid_t crasher = Child([&] {
      gReportFd = report.fd[1];
      gSemId = semget(key_, 0, 0);
      gSemNum = sem;
      const int locked = sem == kZqlIpcSemComBuf ? ZqlIpcLockComBuf() : ZqlIpcLockDriver(sem);
      if (locked != 0) return 1;
      raise(SIGSEGV);
      return 2;
    });
    const int status = WaitChild(crasher);
    EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
    EXPECT_EQ(report.Get(), 1) << "lock " << sem << " still held when the old handler ran";
    ASSERT_EQ(SemValue(key_, sem), 1);
  }
  EXPECT_EQ(Send(&rec, Request("x")), 0);
  EXPECT_EQ(Disconnect(&rec), 0);
  sigaction(SIGSEGV, &saved, nullptr);
}

// A handler installed after connecting replaces the trap; the lock is
// released all the same when the process ends (SEM_UNDO).
TEST_F(MultiProcess, FatalSignalUnderALaterHandlerStillFreesTheLock) {
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  Pipe report;
  const int sem = rec.r.slot;
  const pid_t crasher = Child([&] {
    gReportFd = report.fd[1];
    gSemId = semget(key_, 0, 0);
    gSemNum = sem;
    struct sigaction later{};
    later.sa_handler = ReportSemaphore;
    later.sa_flags = SA_RESETHAND;  // reports, then the default action
    sigemptyset(&later.sa_mask);
    sigaction(SIGSEGV, &later, nullptr);
    if (ZqlIpcLockDriver(sem) != 0) return 1;
    raise(SIGSEGV);
    raise(SIGSEGV);
    return 2;
  });
  const int status = WaitChild(crasher);
  EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
  EXPECT_EQ(report.Get(), 0);  // the handler ran with the lock held
  ASSERT_EQ(SemValue(key_, sem), 1);
  EXPECT_EQ(Send(&rec, Request("x")), 0);
  EXPECT_EQ(Disconnect(&rec), 0);
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

}  // namespace
}  // namespace zqltest
