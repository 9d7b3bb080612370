// Server objects: connecting with Attach, sharing one connection between
// copies, the request buffers, and Detach when the last copy goes.
#include <climits>

#include "ipc_fixture.h"
#include "objpack.h"
#include "zqlucode.h"

namespace zqltest {
namespace {

using Server = IpcTest;

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// A packed request with the common header and request code.
void PackStatus(CZqlServer* server, CZqlObjPack* pack) {
  pack->add(0, static_cast<int32_t>(0x10001));
  server->addInfo(pack);
  pack->add(3, static_cast<int32_t>(18));
}

TEST_F(Server, ConnectSharesAndDetaches) {
  const std::string log = dir_ + "/driver.log";
  setenv("ZQL_TEST_DRIVER_LOG", log.c_str(), 1);
  CZqlIpcSystem ipc;
  CZqlServer* server = nullptr;
  ASSERT_EQ(Raised([&] { server = ipc.ConnectDriver(ini_.c_str(), driver_.c_str()); }), 0);
  ASSERT_NE(server, nullptr);
  SZqlServer* r = server->ServerBody();
  NoteDriver(r->slot);
  EXPECT_STREQ(r->baseName, "zql_test_driver");
  EXPECT_EQ(r->driverValue, kDriverValue);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(r->attach[i], 501 + i);
  EXPECT_EQ(r->ipcSys, ipc.SysBody());
  EXPECT_EQ(ipc.SysBody()->refCount, 2);

  auto* copy = static_cast<CZqlServer*>(server->duplicate());
  EXPECT_EQ(copy->ServerBody(), r);
  EXPECT_EQ(r->refCount, 2);
  delete server;  // the connection lives on in the copy
  EXPECT_EQ(ZqlIpcConnections(), 1);
  EXPECT_EQ(ZqlIpcComBuf()->slots[r->slot].connections, 1);

  ASSERT_EQ(Raised([&] {
    CZqlObjPack pack;
    PackStatus(copy, &pack);
    const uint32_t size = pack.Size();
    pack.setBuffer(copy->openOut(size), size);
    PackStatus(copy, &pack);
    copy->sendData();
    copy->closeOut();
    copy->waitData();
    CZqlObjPack reply(copy->openIn(), static_cast<uint32_t>(r->size));
    int32_t code = -1;
    EXPECT_TRUE(reply.setActive(2) && reply.getPackedValue(&code));
    EXPECT_EQ(code, 0);
    copy->closeIn();
  }), 0);
  delete copy;  // the last one detaches and disconnects
  EXPECT_EQ(ZqlIpcConnections(), 0);
  EXPECT_EQ(ipc.SysBody()->refCount, 1);
  const std::vector<std::string> expected = {
      "code=0", "code=18 5:501", "code=1 5:501 6:502 7:503 8:505 9:506"};
  EXPECT_EQ(Lines(log), expected);
}

TEST_F(Server, IncompatibleDriverLeavesNothingBehind) {
  const std::string log = dir_ + "/driver.log";
  setenv("ZQL_TEST_DRIVER_LOG", log.c_str(), 1);
  setenv("ZQL_TEST_DRIVER_MODE", "bad-version", 1);
  CZqlIpcSystem ipc;
  CZqlServer* server = nullptr;
  EXPECT_EQ(Raised([&] {
    server = ipc.ConnectDriver(ini_.c_str(), driver_.c_str());
  }), kZqlErrIncompatibleEnvironment);
  EXPECT_EQ(server, nullptr);
  EXPECT_EQ(ZqlIpcConnections(), 0);
  EXPECT_EQ(ZqlIpcComBuf(), nullptr);
  EXPECT_EQ(ipc.SysBody()->refCount, 1);
  ASSERT_EQ(Lines(log).size(), 2u);
  EXPECT_EQ(Lines(log)[1].rfind("code=1 ", 0), 0u);  // detached on the way out
}

TEST_F(Server, FailedLoadRaisesItsOwnError) {
  setenv("ZQL_TEST_DRIVER_MODE", "exit-early", 1);
  CZqlIpcSystem ipc;
  EXPECT_EQ(Raised([&] { ipc.ConnectDriver(ini_.c_str(), driver_.c_str()); }),
            kZqlErrErrorFoundDuringDriverInitialization);
  EXPECT_EQ(ipc.SysBody()->refCount, 1);
}

TEST_F(Server, BuffersWithoutConnection) {
  CZqlSrvUxLocal server;
  EXPECT_EQ(Raised([&] { server.openIn(); }), kZqlErrInsufficientMemory);
  EXPECT_EQ(Raised([&] { server.sendData(); }), kZqlErrCannotCreateCommunicationBuffer);
  unsigned char* out = nullptr;
  EXPECT_EQ(Raised([&] { out = server.openOut(16); }), 0);
  EXPECT_NE(out, nullptr);
  EXPECT_EQ(server.ServerBody()->size, 16);
  server.closeOut();
  EXPECT_EQ(server.ServerBody()->request, nullptr);
  EXPECT_EQ(server.Detach(), 0);  // never raises
  EXPECT_EQ(server.waitData(), 1);
}

// Environments resolved through a zql.ini found in the current directory.
class ConnectServerTest : public IpcTest {
 protected:
  void SetUp() override {
    IpcTest::SetUp();
    std::ofstream(ini_) << "[ENVIRONMENTS]\nDB1 = x\n"
                        << "[DB1]\nDriver = SCRIPT\n"
                        << "[SCRIPT]\nPath = " << driver_ << "\n"
                        << "[NODRV]\nCatalog = x\n"
                        << "[NOPATH]\nDriver = EMPTYDRV\n"
                        << "[EMPTYDRV]\nOther = 1\n"
                        << "[MISSING]\nDriver = GONE\n"
                        << "[GONE]\nPath = " << dir_ << "/no-such-driver\n";
    ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(cwd_), 0);
    IpcTest::TearDown();
  }
  int Connect(const char* environment) {
    CZqlIpcSystem ipc;
    return Raised([&] { delete ipc.ConnectServer(CZqlUcStr(environment)); });
  }
  char cwd_[PATH_MAX];
};

TEST_F(ConnectServerTest, ResolvesEnvironmentToDriver) {
  CZqlIpcSystem ipc;
  CZqlServer* server = nullptr;
  ASSERT_EQ(Raised([&] { server = ipc.ConnectServer(CZqlUcStr("DB1")); }), 0);
  ASSERT_NE(server, nullptr);
  NoteDriver(server->ServerBody()->slot);
  EXPECT_STREQ(server->ServerBody()->baseName, "zql_test_driver");
  EXPECT_EQ(server->ServerBody()->attach[0], 501);
  EXPECT_STREQ(ZqlIpcComBuf()->slots[server->ServerBody()->slot].path, driver_.c_str());
  delete server;
  EXPECT_EQ(ZqlIpcComBuf(), nullptr);
}

TEST_F(ConnectServerTest, ConfigurationFaultsHaveTheirCodes) {
  EXPECT_EQ(Connect("UNKNOWN"), kZqlErrEnvironmentNameNotSpecifiedInZQLINI);
  EXPECT_EQ(Connect("NODRV"), kZqlErrDriverNotFoundInZQLINI);
  EXPECT_EQ(Connect("NOPATH"), kZqlErrDriverPathAndNameWasNotSpecified);
  EXPECT_EQ(Connect("MISSING"), kZqlErrCannotOpenZQLDriverFile);
  EXPECT_FALSE(BufferExists());
}

}  // namespace
}  // namespace zqltest
