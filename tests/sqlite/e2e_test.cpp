// A program's whole conversation with the SQLite driver through the client
// library: connect, DDL and a prepared INSERT with parameters, a single-row
// SELECT into bindings, a scroll cursor with positioned UPDATE and DELETE,
// a refused DisconnectAll while a transaction is open, commit, and a new
// session that sees the committed rows. The same program runs on the
// PostgreSQL driver when the build has it (environment PG on the tests'
// private server, tests/pg/pgserver.sh).
#include "sqlite_fixture.h"
#include "zqlappl.h"
#include "zqlsql.h"
#include "zqlstm.h"

namespace zqltest {
namespace {

// One driver the program runs on: its environment and DBMS name.
struct SDriverCase {
  const char* environment;
  const char* dbms;
};

class Program : public SqliteTest, public ::testing::WithParamInterface<SDriverCase> {
 protected:
  void SetUp() override {
    SqliteTest::SetUp();
#ifdef ZQL_PG_DRIVER
    AddPgEnvironment("PG");
#endif
    client.reset();  // the application brings its own dispatcher
    app.reset(new CZqlAppl);
  }
  void TearDown() override {
    app.reset();
    SqliteTest::TearDown();
  }
  static std::string Msg(const CZqlSQLObject& o) {
    return o.CondQty() > 0 && o.ErrMsg(0) != nullptr ? Text(*o.ErrMsg(0)) : "";
  }
  std::unique_ptr<CZqlAppl> app;
};

long IntOf(const CZqlData& v) {
  long out = -1;
  v.getValue(&out);
  return out;
}

TEST_P(Program, FromInitToTerm) {
  const char* environment = GetParam().environment;
  ASSERT_EQ(app->Init(), 1);
  {
    CZqlSession s(app.get());
    ASSERT_EQ(ConnectSession(&s, environment), 1) << Msg(s);
    CZqlUcStr dbms;
    ASSERT_EQ(s.DBMS(&dbms), 1);
    EXPECT_EQ(Text(dbms).rfind(GetParam().dbms, 0), 0u) << Text(dbms);

    CZqlExecStm ddl;
    ASSERT_EQ(ddl.ImmediateExecute(&s, "DROP TABLE IF EXISTS T"), 1) << Msg(ddl);
    ASSERT_EQ(
        ddl.ImmediateExecute(&s, "CREATE TABLE T (ID INTEGER, NAME VARCHAR(10), X DOUBLE PRECISION)"), 1)
        << Msg(ddl);

    CZqlExecStm insert;
    ASSERT_EQ(insert.Prepare(&s, "INSERT INTO T VALUES (?, ?, ?)"), 1) << Msg(insert);
    EXPECT_EQ(insert.StmType(), kZqlStmInsert);
    ASSERT_EQ(insert.ParamQty(), 3);
    const char* names[] = {"one", "two", "three", "four"};
    for (long i = 1; i <= 4; ++i) {
      CZqlInt id;
      CZqlChar name(10);
      name.setVarying();
      CZqlDouble x;
      id.storeValue(i);
      name.storeValue(CZqlUcStr(names[i - 1]));
      x.storeValue(i * 0.5);
      ASSERT_EQ(insert.Bind(0, &id), 1);
      ASSERT_EQ(insert.Bind(1, &name), 1);
      ASSERT_EQ(insert.Bind(2, &x), 1);
      ASSERT_EQ(insert.Execute(), 1) << Msg(insert);
      EXPECT_EQ(insert.RowCount(), 1);
    }

    CZqlExecStm one;
    ASSERT_EQ(one.Prepare(&s, "SELECT NAME, X FROM T WHERE ID = ?"), 1) << Msg(one);
    CZqlInt want;
    want.storeValue(3L);
    CZqlChar gotName(10);
    gotName.setVarying();
    CZqlDouble gotX;
    ASSERT_EQ(one.Bind(0, &want), 1);
    ASSERT_EQ(one.Sob(0, &gotName), 1);
    ASSERT_EQ(one.Sob(1, &gotX), 1);
    ASSERT_EQ(one.Execute(), 1) << Msg(one);
    CZqlUcStr text;
    gotName.getValue(&text);
    EXPECT_EQ(Text(text), "three");
    double x = 0;
    gotX.getValue(&x);
    EXPECT_EQ(x, 1.5);

    // A scroll cursor: all six directions, then positioned UPDATE and DELETE.
    CZqlExecStm query;
    ASSERT_EQ(query.Prepare(&s, "SELECT ID, NAME FROM T ORDER BY ID"), 1) << Msg(query);
    CZqlCsr csr;
    ASSERT_EQ(csr.Allocate(&query, "C", kZqlCurScroll, kZqlCurSensitivityDefault), 1) << Msg(csr);
    CZqlInt at;
    CZqlChar atName(10);
    atName.setVarying();
    ASSERT_EQ(csr.Sob(0, &at), 1);
    ASSERT_EQ(csr.Sob(1, &atName), 1);
    ASSERT_EQ(csr.Open(), 1) << Msg(csr);
    EXPECT_EQ(csr.is_scrollable(), 1);
    EXPECT_EQ(csr.is_updatable(), 1);
    const struct {
      int (CZqlCsr::*plain)();
      int (CZqlCsr::*offset)(int32_t);
      int32_t n;
      long id;
    } moves[] = {
        {&CZqlCsr::FetchFirst, nullptr, 0, 1},    {&CZqlCsr::Fetch, nullptr, 0, 2},
        {&CZqlCsr::FetchLast, nullptr, 0, 4},     {&CZqlCsr::FetchPrior, nullptr, 0, 3},
        {nullptr, &CZqlCsr::FetchAbsolute, 1, 1}, {nullptr, &CZqlCsr::FetchRelative, 2, 3},
    };
    for (const auto& m : moves) {
      const int answer = m.plain != nullptr ? (csr.*m.plain)() : (csr.*m.offset)(m.n);
      EXPECT_EQ(answer, 1) << Msg(csr);
      EXPECT_EQ(IntOf(at), m.id);
    }
    EXPECT_EQ(csr.position(), 4);
    std::unique_ptr<CZqlRow> row(csr.getCurrentRow());
    ASSERT_NE(row, nullptr) << Msg(csr);
    ASSERT_EQ(row->ColNum(), 2);
    (*row)[1].getData()->storeValue(CZqlUcStr("THREE"));
    EXPECT_EQ(csr.Update(*row), 1) << Msg(csr);
    EXPECT_EQ(csr.FetchFirst(), 1) << Msg(csr);
    EXPECT_EQ(csr.Delete(), 1) << Msg(csr);
    EXPECT_EQ(csr.Close(), 1);

    // An open transaction: DisconnectAll refuses, nothing is lost.
    EXPECT_EQ(app->DisconnectAll(), 0);
    EXPECT_EQ(app->Err(0), kZqlErrDisconnectWhileTransactionIsActive);
    EXPECT_TRUE(s.isConnected());
    ASSERT_EQ(s.Commit(), 1) << Msg(s);

    // A second session sees the committed rows.
    CZqlSession other(app.get());
    ASSERT_EQ(ConnectSession(&other, environment), 1) << Msg(other);
    CZqlExecStm names2;
    ASSERT_EQ(names2.Prepare(&other, "SELECT NAME FROM T ORDER BY ID"), 1) << Msg(names2);
    CZqlCsr all;
    ASSERT_EQ(all.Allocate(&names2, "ALLROWS", kZqlCurNonScroll, kZqlCurSensitivityDefault), 1);
    CZqlChar n(10);
    n.setVarying();
    ASSERT_EQ(all.Sob(0, &n), 1);
    ASSERT_EQ(all.Open(), 1) << Msg(all);
    std::vector<std::string> seen;
    while (all.Fetch() == 1) {
      n.getValue(&text);
      seen.push_back(Text(text));
    }
    EXPECT_EQ(all.Err(0), kZqlErrNoData0200);
    EXPECT_EQ(seen, (std::vector<std::string>{"two", "THREE", "four"}));
    EXPECT_EQ(all.FetchPrior(), 0);
    EXPECT_EQ(all.Err(0), kZqlErrCanOnlyFetchNextInNonScrollCursor);
    EXPECT_EQ(all.Close(), 1);
    ASSERT_EQ(other.Rollback(), 1);
    EXPECT_EQ(app->Term(), 1) << Msg(*app);
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, Program,
                         ::testing::Values(SDriverCase{"FILE", "SQLite 3."}
#ifdef ZQL_PG_DRIVER
                                           ,
                                           SDriverCase{"PG", "PostgreSQL "}
#endif
                                           ),
                         [](const ::testing::TestParamInfo<SDriverCase>& info) {
                           return std::string(info.param.environment);
                         });

}  // namespace
}  // namespace zqltest
