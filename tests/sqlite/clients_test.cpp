// Clients that go away mid-transaction, with the driver and its decoder in
// this process (the request layer through an in-process transport): a
// Detach rolls its connection back and releases SQLite's locks (a killed
// client process: tests/appl/load_test.cpp); malformed requests never
// reach SQLite.
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <string>

#include "objpack.h"
#include "request/loop_server.h"
#include "zqlcol.h"
#include "zqldrvsql.h"
#include "zqlsdata.h"
#include "zqlsqlite.h"

namespace {

class Clients : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zqlsqlcXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    std::ofstream(dir_ + "/zql.ini") << "[DB]\nDriver = zqlsqlite\nDatabase = shared.db\n";
    ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(cwd_), 0);
    EXPECT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0);
  }

  // An Attach request as the client's transport sends it: the value the
  // decoder numbered the server record with.
  int32_t Attach() {
    const std::vector<unsigned char> reply = Request([](CZqlObjPack* p) {
      p->add(kZqlReqLabelVersion, kZqlProtocolVersion);
      p->add(kZqlReqLabelCode, int32_t{kZqlReqAttach});
    });
    CZqlObjPack in(const_cast<unsigned char*>(reply.data()), static_cast<uint32_t>(reply.size()));
    int32_t value = 0;
    EXPECT_TRUE(in.setActive(kZqlReqLabelInfo) && in.getPackedValue(&value));
    return value;
  }
  // Connects as the client attached with value info (which its requests carry).
  uint32_t Connect(int32_t info) {
    server_.ServerBody()->attach[0] = info;
    CZqlDDA dda;
    dda.Init(10);
    uint32_t id = 0;
    EXPECT_TRUE(ZqlTry([&] { id = server_.Connect(&dda, CZqlUcStr("DB"), CZqlUcStr(), CZqlUcStr()); }));
    return id;
  }
  int Exec(uint32_t connection, const char* sql) {
    CZqlDDA dda;
    dda.Init(10);
    return ZqlTry([&] { server_.IExecute(&dda, connection, CZqlUcStr(sql)); }) ? 0 : ZqlTryCode();
  }
  // The single value of a one-row query.
  std::string Value(uint32_t connection, const char* sql) {
    CZqlDDA dda;
    dda.Init(10);
    std::string out = "ERROR";
    ZqlTry([&] {
      const uint32_t st = server_.Prepare(&dda, connection, CZqlUcStr(sql));
      server_.Execute(&dda, st);
      CZqlData* v = nullptr;
      CZqlUcStr text;
      if (dda.OutDsc(0)->getBind(&v)) v->getValue(&text);
      ZqlDrvToUtf8(text, &out);
    });
    return out;
  }
  // A Detach request as the client's transport sends it.
  void Detach(int32_t info) {
    Request([&](CZqlObjPack* p) {
      p->add(kZqlReqLabelVersion, kZqlProtocolVersion);
      p->add(kZqlReqLabelCode, int32_t{kZqlReqDetach});
      for (int label = 5; label <= 9; ++label) p->add(label, label == 5 ? info : int32_t{0});
    });
  }
  // Serves the request that pack writes; answers the reply.
  template <class Pack>
  std::vector<unsigned char> Request(Pack pack) {
    std::vector<unsigned char> bytes = zqltest::Packed(pack), reply;
    EXPECT_EQ(decoder_.Serve(bytes.data(), static_cast<uint32_t>(bytes.size()), &reply), 0);
    return reply;
  }

  std::string dir_;
  char cwd_[PATH_MAX];
  zqlsqlite::CSqliteDriver driver_{-1};
  CZqlDrvDecoder decoder_{&driver_, 1024 * 1024};
  zqltest::CLoopServer server_{&decoder_};
};

TEST_F(Clients, DetachedClientIsRolledBack) {
  const int32_t staying = Attach(), going = Attach();
  ASSERT_NE(staying, going);
  const uint32_t setup = Connect(staying);
  ASSERT_EQ(Exec(setup, "CREATE TABLE t (x INT)"), 0);
  ASSERT_EQ(Exec(setup, "COMMIT WORK"), 0);
  // Detach: the client's record went away with a transaction open.
  const uint32_t leaving = Connect(going);
  ASSERT_EQ(Exec(leaving, "INSERT INTO t VALUES (1)"), 0);
  EXPECT_EQ(Value(leaving, "SELECT count(*) FROM t"), "1");  // a statement kept
  EXPECT_EQ(Exec(setup, "INSERT INTO t VALUES (2)"), kZqlErrTableIsLockedByAnotherCursor);
  const int kept = decoder_.StatementCount();
  Detach(going);
  EXPECT_EQ(driver_.ConnectionCount(), 1);
  EXPECT_EQ(decoder_.StatementCount(), kept - 1);  // its areas went with it
  ASSERT_EQ(Exec(setup, "INSERT INTO t VALUES (2)"), 0);
  ASSERT_EQ(Exec(setup, "COMMIT WORK"), 0);
  EXPECT_EQ(Value(setup, "SELECT group_concat(x) FROM t"), "2");
  ASSERT_EQ(Exec(setup, "ROLLBACK WORK"), 0);
}

TEST_F(Clients, RequestsForUnknownObjectsAreRefused) {
  const uint32_t c = Connect(1);
  CZqlDDA dda;
  dda.Init(10);
  const struct {
    std::function<void()> call;
    int code;
  } cases[] = {
      {[&] { server_.IExecute(&dda, c + 100, CZqlUcStr("SELECT 1")); }, kZqlErrConnectionDoesNotExist},
      {[&] { server_.Prepare(&dda, c + 100, CZqlUcStr("SELECT 1")); }, kZqlErrConnectionDoesNotExist},
      {[&] { server_.Execute(&dda, 999); }, kZqlErrInvalidSQLStatementName},
      {[&] { server_.Fetch(&dda, 999, kZqlFetchNext, 0); }, kZqlErrInvalidCursorName},
      {[&] { server_.Status(&dda, 999, kZqlStatCsrOpen); }, kZqlErrInvalidFunctionArguments},
      {[&] { server_.Disconnect(&dda, 999, kZqlTrue); }, kZqlErrConnectionDoesNotExist},
  };
  for (const auto& cs : cases) {
    EXPECT_FALSE(ZqlTry(cs.call));
    EXPECT_EQ(ZqlTryCode(), cs.code);
  }
  // Cancel reaches an idle connection harmlessly.
  EXPECT_TRUE(ZqlTry([&] { server_.Cancel(&dda, c); }));
}

}  // namespace
