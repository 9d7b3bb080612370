// A dispatcher client started on the test's zql.ini (written before
// StartClient): the set-up the request and SQLite driver tests share.
#ifndef ZQL_TESTS_CLIENT_FIXTURE_H
#define ZQL_TESTS_CLIENT_FIXTURE_H

#include <climits>
#include <memory>

#include "ipc_fixture.h"
#include "zqldispa.h"

namespace zqltest {

class DispClientTest : public IpcTest {
 protected:
  void StartClient() {
    EnterDir();
    ASSERT_TRUE(dda.Init(10));
    ASSERT_EQ(ZqlTaskDataErrGet(), 0) << "the library could not start: set ZQL to the "
                                         "build's share/zql";
    client.reset(new CZqlDispClient);
    ASSERT_EQ(Raised([&] { client->Init(&dda); }), 0);
  }

  void TearDown() override {
    client.reset();  // closes what a failed test left open
    ZqlSetCurrentDDA(nullptr);
    IpcTest::TearDown();
  }

  // Connects to environment as user; answers the raised code or 0 and
  // notes the driver process for the final check.
  int ConnectAs(uint32_t* session, const char* environment, const char* user) {
    const int code = Raised([&] {
      client->Connect(&dda, session, CZqlUcStr(environment), CZqlUcStr(user), CZqlUcStr());
    });
    if (code == 0) NoteDriver(Entry(*session)->server->ServerBody()->slot);
    return code;
  }

  // The session, statement or cursor entry of id, or null.
  SZqlDspEntry* Entry(uint32_t id) const {
    SZqlDispRec* r = client->Record();
    SZqlDspEntry* e = r->sessions->getObji(id);
    if (e == nullptr) e = r->statements->getObji(id);
    if (e == nullptr) e = r->cursors->getObji(id);
    return e;
  }

  uint32_t Status(uint32_t id, EZqlStatInfo info) {
    uint32_t value = UINT32_MAX;
    EXPECT_EQ(Raised([&] { client->Status(&dda, id, info, &value); }), 0);
    return value;
  }

  CZqlDDA dda;
  std::unique_ptr<CZqlDispClient> client;
};

}  // namespace zqltest

#endif  // ZQL_TESTS_CLIENT_FIXTURE_H
