// Server objects: connecting with Attach, sharing one connection between
// copies, the request buffers, and Detach when the last copy goes.
#include <climits>

#include "ipc_fixture.h"
#include "objpack.h"
#include "zqldda.h"
#include "zqlucode.h"

namespace zqltest {
namespace {

using Server = IpcTest;

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
    EXPECT_EQ(RetCode(std::vector<unsigned char>(copy->openIn(), copy->openIn() + r->size)), 0);
    copy->closeIn();
  }), 0);
  delete copy;  // the last one detaches and disconnects
  EXPECT_EQ(ZqlIpcConnections(), 0);
  EXPECT_EQ(ipc.SysBody()->refCount, 1);
  const std::vector<std::string> expected = {
      "code=0", "code=18 5:501", "code=1 5:501 6:502 7:503 8:505 9:506"};
  EXPECT_EQ(Lines(log), expected);
}

TEST_F(Server, FailedConnectionsLeaveNothingBehind) {
  struct Case {
    const char* mode;
    int code;
    size_t requests;  // what the driver logged: Attach, then Detach on the way out
  };
  const Case cases[] = {
      {"bad-version", kZqlErrIncompatibleEnvironment, 2},
      {"exit-early", kZqlErrErrorFoundDuringDriverInitialization, 0},
  };
  for (const Case& c : cases) {
    const std::string log = dir_ + "/" + c.mode + ".log";
    setenv("ZQL_TEST_DRIVER_LOG", log.c_str(), 1);
    setenv("ZQL_TEST_DRIVER_MODE", c.mode, 1);
    CZqlIpcSystem ipc;
    CZqlServer* server = nullptr;
    EXPECT_EQ(Raised([&] { server = ipc.ConnectDriver(ini_.c_str(), driver_.c_str()); }), c.code);
    EXPECT_EQ(server, nullptr);
    EXPECT_EQ(ZqlIpcConnections(), 0);
    EXPECT_EQ(ZqlIpcComBuf(), nullptr);
    EXPECT_EQ(ipc.SysBody()->refCount, 1);
    const std::vector<std::string> lines = Lines(log);
    ASSERT_EQ(lines.size(), c.requests) << c.mode;
    if (c.requests == 2) {
      EXPECT_EQ(lines[1].rfind("code=1 ", 0), 0u);
    }
  }
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
    EnterDir();
  }
};

TEST_F(ConnectServerTest, ResolvesEnvironmentsOrGivesTheFaultsCode) {
  const std::pair<const char*, int> cases[] = {
      {"UNKNOWN", kZqlErrEnvironmentNameNotSpecifiedInZQLINI},
      {"NODRV", kZqlErrDriverNotFoundInZQLINI},
      {"NOPATH", kZqlErrDriverPathAndNameWasNotSpecified},
      {"MISSING", kZqlErrCannotOpenZQLDriverFile},
  };
  for (const auto& c : cases) {
    CZqlIpcSystem ipc;
    EXPECT_EQ(Raised([&] { delete ipc.ConnectServer(CZqlUcStr(c.first)); }), c.second) << c.first;
    // Outside every frame the same fault answers null.
    EXPECT_EQ(ipc.ConnectServer(CZqlUcStr(c.first)), nullptr) << c.first;
  }
  EXPECT_FALSE(BufferExists());
  CZqlIpcSystem ipc;
  CZqlServer* server = nullptr;
  ASSERT_EQ(Raised([&] { server = ipc.ConnectServer(CZqlUcStr("DB1")); }), 0);
  ASSERT_NE(server, nullptr);
  NoteDriver(server->ServerBody()->slot);
  EXPECT_EQ(server->ServerBody()->attach[0], 501);
  EXPECT_STREQ(ZqlIpcComBuf()->slots[server->ServerBody()->slot].path, driver_.c_str());
  delete server;
  EXPECT_EQ(ZqlIpcComBuf(), nullptr);
}

// With no frame and no handler open, a fault in a request of a server
// gives the request's failure result: the transport's failure (no buffer),
// the reply's outcome, and memory running out while the request is built.
TEST_F(Server, RequestsOutsideEveryFrameFailCleanly) {
  CZqlSrvUxLocal unconnected;
  CZqlDDA dda;
  ASSERT_TRUE(dda.Init(10));
  EXPECT_EQ(unconnected.Status(&dda, 1, kZqlStatCsrOpen), 0u);
  EXPECT_EQ(unconnected.Close(&dda, 1), 0);
  // The request buffer is kept for the next request, failed or not.
  const unsigned char* kept = unconnected.ServerBody()->request;
  EXPECT_NE(kept, nullptr);
  EXPECT_EQ(unconnected.Close(&dda, 2), 0);
  EXPECT_EQ(unconnected.ServerBody()->request, kept);
  EXPECT_EQ(unconnected.Execute(nullptr, 1), 0);
  EXPECT_EQ(unconnected.Detach(), 0);

  CZqlIpcSystem ipc;
  CZqlServer* server = ipc.ConnectDriver(ini_.c_str(), driver_.c_str());
  ASSERT_NE(server, nullptr);
  NoteDriver(server->ServerBody()->slot);
  EXPECT_EQ(server->Close(&dda, 99), 0);  // no such cursor: the driver says so
  // A text too long for one item; one that needs a block of its own while
  // the allocator's low layer fails.
  const CZqlUcStr tooLong(std::string(40000, 'x').c_str());
  const CZqlUcStr large(std::string(32000, 'x').c_str());
  EXPECT_EQ(server->IExecute(&dda, 1, tooLong), 0);
  TEST_ZqlMemoryFailLowAllocAt(1);
  EXPECT_EQ(server->IExecute(&dda, 1, large), 0);
  TEST_ZqlMemoryFailLowAllocAt(0);
  EXPECT_EQ(ZqlTryLevel(), -1);
  delete server;
}

}  // namespace
}  // namespace zqltest
