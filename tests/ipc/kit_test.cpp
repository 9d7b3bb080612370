// The driver kit's own guarantees: it starts only for a client that is
// starting it, and it leaves a stray signal unanswered. (Its data segment on
// stop signals: Transport.DeadDriverIsRestartedInItsSlot.)
#include "ipc_fixture.h"

namespace zqltest {
namespace {

using DriverKit = IpcTest;

// Runs the scripted driver by hand with args; answers its wait status.
int RunDriver(const std::string& driver, const std::vector<std::string>& args) {
  const pid_t pid = Child([&] {
    std::vector<char*> argv{const_cast<char*>(driver.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(driver.c_str(), argv.data());
    return 127;
  });
  return WaitChild(pid);
}

TEST_F(DriverKit, StartsOnlyForAClientStartingIt) {
  EXPECT_TRUE(ExitedWith(RunDriver(driver_, {}), 2));
  EXPECT_TRUE(ExitedWith(RunDriver(driver_, {"12x"}), 2));
  EXPECT_TRUE(ExitedWith(RunDriver(driver_, {std::to_string(key_)}), 2));  // no buffer
  Record rec;
  ASSERT_EQ(Connect(&rec, driver_), 0);
  const linkinf before = ZqlIpcComBuf()->slots[rec.r.slot];
  // Header word 0 still names the running driver's slot: not being started.
  EXPECT_TRUE(ExitedWith(RunDriver(driver_, {std::to_string(key_)}), 2));
  const linkinf& after = ZqlIpcComBuf()->slots[rec.r.slot];
  EXPECT_EQ(after.driverPid, before.driverPid);
  EXPECT_EQ(after.segKey, before.segKey);
  EXPECT_EQ(Send(&rec, Request("x")), 0);
  EXPECT_EQ(Disconnect(&rec), 0);
}

// A SIGUSR1 that reaches the driver while no request is pending is not
// answered: the answer would reach the last client outside its wait, where
// SIGUSR1's default action ends it.
TEST_F(DriverKit, StraySignalIsNotAnswered) {
  const std::vector<int32_t> got = Bounded(3, [&](Pipe* out) {
    Record rec;
    out->Put(Connect(&rec, driver_));
    const pid_t pid = ZqlIpcComBuf()->slots[rec.r.slot].driverPid;
    out->Put(pid);
    Send(&rec, Request("x"));
    kill(pid, SIGUSR1);
    usleep(200000);
    out->Put(Send(&rec, Request("y")) == 0 && Disconnect(&rec) == 0);
  });
  drivers_.insert(got[1]);
  EXPECT_EQ(got, (std::vector<int32_t>{0, got[1], 1}));
}

}  // namespace
}  // namespace zqltest
