// The SQLite driver through the dispatcher client and the request layer,
// against real database files: what a LISP script cannot reach of
// connecting, transactions, parameter values, cursors and interrupts (the
// statements, errors, types, cursors and positioned changes a program
// sees: tests/lisp/e2e, on both drivers).
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "sqlite_fixture.h"
#ifdef ZQL_SQLITE_DRIVER
#include <sqlite3.h>
#endif

namespace zqltest {
namespace {

using Sqlite = SqliteTest;

// The cases that hold for both drivers run on each: MEMORY (SQLite) and,
// when the build has the PostgreSQL driver, PGD on the tests' private
// server, in a schema emptied for each test.
class Drivers : public SqliteTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    SqliteTest::SetUp();
#ifdef ZQL_PG_DRIVER
    AddPgEnvironment("PGD", " options=-csearch_path=zqldrv");
#endif
  }
  bool Pg() const { return std::string(GetParam()) == "PGD"; }
  // Connects to the case's database, empty.
  int Open(uint32_t* s) {
    const int code = Connect(s, GetParam());
    if (code != 0 || !Pg()) return code;
    CZqlUcStr text;
    Units("DROP SCHEMA IF EXISTS zqldrv CASCADE; CREATE SCHEMA zqldrv", &text);
    return Raised([&] { client->IExeNative(&dda, *s, text); });
  }
};

INSTANTIATE_TEST_SUITE_P(Both, Drivers,
                         ::testing::Values("MEMORY"
#ifdef ZQL_PG_DRIVER
                                           ,
                                           "PGD"
#endif
                                           ),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

TEST_F(Sqlite, ConnectOutcomes) {
  chmod((dir_ + "/ro.db").c_str(), 0600);
  {
    std::ofstream touch(dir_ + "/ro.db");
  }
  chmod((dir_ + "/ro.db").c_str(), 0400);
  const struct {
    const char* env;
    int code;
    const char* said;  // in the message
  } cases[] = {
      {"FILE", 0, ""},
      {"MEMORY", 0, ""},
      {"AUTO", 0, ""},
      {"GARBAGE", kZqlErrSQLServerRejectedEstablishmentOfSQLConnection, "garbage.db"},
      {"NODB", kZqlErrSQLServerRejectedEstablishmentOfSQLConnection, "NODB"},
      {"BADTIME", kZqlErrInvalidEnvironmentParameterInZQLINI, "BADTIME"},
      {"NOFOLDER", kZqlErrSQLServerRejectedEstablishmentOfSQLConnection, "NOFOLDER"},
      {"RO", geteuid() == 0 ? 0 : kZqlErrSQLServerRejectedEstablishmentOfSQLConnection, "ro.db"},
  };
  for (const auto& c : cases) {
    uint32_t s = 0;
    EXPECT_EQ(Connect(&s, c.env), c.code) << c.env;
    if (c.code != 0) {
      ASSERT_GT(dda.CondCount(), 0);
      EXPECT_NE(Text(*dda.ErrMsg(0)).find(c.said), std::string::npos) << Text(*dda.ErrMsg(0));
      continue;
    }
    CZqlUcStr dbms;
    dda.getNameOfDBMS(&dbms);
    EXPECT_EQ(Text(dbms).substr(0, 21), "zqlsqlite     SQLite ") << c.env;
    EXPECT_EQ(Status(s, kZqlStatConnection1), 0u);
    EXPECT_EQ(Raised([&] { client->Disconnect(&dda, &s); }), 0);
  }
  struct stat st;
  EXPECT_EQ(stat((dir_ + "/data/sub/test.db").c_str(), &st), 0) << "folder and file created";
#ifdef ZQL_SQLITE_DRIVER
  // A database another program holds locked is still connected to; its
  // statements meet the lock until it is released.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((dir_ + "/data/sub/test.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  uint32_t s = 0;
  EXPECT_EQ(Connect(&s), 0) << (dda.CondCount() ? Text(*dda.ErrMsg(0)) : "");
  EXPECT_EQ(Exec(s, "CREATE TABLE t (x INT)"), kZqlErrTableIsLockedByAnotherCursor);
  EXPECT_EQ(Exec(s, "ROLLBACK WORK"), 0);
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(Exec(s, "CREATE TABLE t (x INT)"), 0);
  EXPECT_EQ(Exec(s, "ROLLBACK WORK"), 0);
  EXPECT_EQ(Raised([&] { client->Disconnect(&dda, &s); }), 0);
#endif
}

// What one session has not committed another does not see, and the
// other's write lock: tests/lisp/e2e/conn.lsp. Here the transaction state
// the connection reports, and Abort.
TEST_F(Sqlite, IsoTransactions) {
  uint32_t a = 0;
  ASSERT_EQ(Connect(&a), 0);
  EXPECT_NE(Status(a, kZqlStatConnection0) & 0x200000u, 0u);
  ASSERT_EQ(Exec(a, "CREATE TABLE t (x INT)"), 0);
  EXPECT_EQ(Status(a, kZqlStatConnection1), 1u) << "the first statement opened a transaction";
  EXPECT_EQ(Raised([&] { client->Disconnect(&dda, &a); }), kZqlErrDisconnectWhileTransactionIsActive);
  ASSERT_EQ(Exec(a, "COMMIT WORK"), 0);
  EXPECT_EQ(Status(a, kZqlStatConnection1), 0u);
  ASSERT_EQ(Exec(a, "INSERT INTO t VALUES (2)"), 0);
  ASSERT_EQ(Exec(a, "COMMIT WORK"), 0);
  ASSERT_EQ(Exec(a, "INSERT INTO t VALUES (3)"), 0);
  // Abort rolls back.
  EXPECT_EQ(Raised([&] { client->Abort(&dda); }), 0);
  ASSERT_EQ(Raised([&] { client->Init(&dda); }), 0);
  ASSERT_EQ(Connect(&a), 0);
  EXPECT_EQ(Rows(a, "SELECT x FROM t"), std::vector<std::string>{"2"});
  ASSERT_EQ(Exec(a, "ROLLBACK WORK"), 0);
}

TEST_F(Sqlite, AutoCommitEnvironment) {
  uint32_t a = 0, b = 0;
  ASSERT_EQ(Connect(&a, "AUTO"), 0);
  ASSERT_EQ(Connect(&b, "AUTO"), 0);
  EXPECT_EQ(Status(a, kZqlStatConnection0) & 0x1u, 1u);
  ASSERT_EQ(Exec(a, "CREATE TABLE t (x INT)"), 0);
  ASSERT_EQ(Exec(a, "INSERT INTO t VALUES (1)"), 0);
  EXPECT_EQ(Status(a, kZqlStatConnection1), 0u);
  EXPECT_EQ(Rows(b, "SELECT x FROM t"), std::vector<std::string>{"1"});
  // SET TRANSACTION opens one that COMMIT WORK ends.
  ASSERT_EQ(Exec(a, "SET TRANSACTION READ WRITE,ISOLATION LEVEL SERIALIZABLE,DIAGNOSTICS SIZE 5"), 0);
  EXPECT_EQ(Status(a, kZqlStatConnection1), 1u);
  ASSERT_EQ(Exec(a, "INSERT INTO t VALUES (2)"), 0);
  ASSERT_EQ(Exec(a, "ROLLBACK WORK"), 0);
  EXPECT_EQ(Rows(b, "SELECT x FROM t"), std::vector<std::string>{"1"});
}

// The session statements' warnings, READ ONLY, deferred foreign keys and
// the SQLSTATEs and positions of refused texts: tests/lisp/e2e/conn.lsp.
// Here what a script cannot see: the read-only bit of the connection's
// status, and an empty text (zqlsh refuses it before the driver).
TEST_F(Sqlite, ReadOnlyStatusAndEmptyText) {
  uint32_t s = 0;
  ASSERT_EQ(Connect(&s, "MEMORY"), 0);
  ASSERT_EQ(Exec(s, "SET TRANSACTION READ ONLY,ISOLATION LEVEL SERIALIZABLE,DIAGNOSTICS SIZE 0"), 0);
  EXPECT_EQ(Status(s, kZqlStatConnection0) & 0x2u, 0x2u);
  ASSERT_EQ(Exec(s, "COMMIT WORK"), 0);
  EXPECT_EQ(Status(s, kZqlStatConnection0) & 0x2u, 0u);
  EXPECT_EQ(Exec(s, ""), kZqlErrSyntaxErrorOrAccessRuleViolation);
}

TEST_F(Sqlite, ParametersReachSqliteWithTheirTypes) {
  uint32_t s = 0;
  ASSERT_EQ(Connect(&s, "MEMORY"), 0);
  ASSERT_EQ(Exec(s, "CREATE TABLE t (k INT, v)"), 0);
  SStm ins;
  ASSERT_EQ(Prepare(s, "INSERT INTO t VALUES (?1, ?2)", &ins), 0);
  ASSERT_EQ(ins.area.ParCount(), 2);
  CZqlInt k, i;
  CZqlDouble d;
  CZqlReal r;
  CZqlChar c(20);
  c.setVarying();
  CZqlNumeric whole(10, 0), frac(10, 2);
  CZqlChar null(5);
  null.setNull();
  i.storeValue(42L);
  d.storeValue(2.5);
  r.storeValue(0.25);
  c.storeValue(CZqlUcStr("hello"));
  whole.storeValue(7.0);
  frac.storeValue(7.25);
  const struct {
    CZqlData* value;
    const char* typeOf;
    const char* text;
  } cases[] = {{&i, "integer", "42"},     {&d, "real", "2.5"},         {&r, "real", "0.25"},
               {&c, "text", "hello"},     {&whole, "integer", "7"},    {&frac, "real", "7.25"},
               {&null, "null", "NULL"}};
  long n = 0;
  for (const auto& cs : cases) {
    k.storeValue(++n);
    ins.area.ParDsc(0)->setBind(&k);
    ins.area.ParDsc(1)->setBind(cs.value);
    ASSERT_EQ(Execute(&ins), 0) << cs.typeOf << ": " << Text(*ins.area.ErrMsg(0));
  }
  const std::vector<std::string> rows = Rows(s, "SELECT typeof(v), CAST(coalesce(v, 'NULL') AS TEXT) FROM t ORDER BY k");
  ASSERT_EQ(rows.size(), std::size(cases)) << rows[0];
  for (size_t j = 0; j < rows.size(); ++j)
    EXPECT_EQ(rows[j], std::string(cases[j].typeOf) + "|" + cases[j].text);
}

// What tests/lisp/e2e/cursor.lsp cannot see of its cursor moves and
// positioned changes on both drivers: the position and open status the
// driver reports, and the row count of a positioned change.
TEST_P(Drivers, CursorStatusAndPositionedRowCount) {
  uint32_t s = 0;
  ASSERT_EQ(Open(&s), 0);
  ASSERT_EQ(Exec(s, "CREATE TABLE t (id INT)"), 0);
  ASSERT_EQ(Exec(s, "INSERT INTO t VALUES (1), (2), (3)"), 0);
  SStm st;
  ASSERT_EQ(Prepare(s, "SELECT id FROM t ORDER BY id", &st), 0);
  CZqlDDA area;
  area.Init(10);
  uint32_t k = 0;
  ASSERT_EQ(Raised([&] {
    client->AllocCsr(&area, st.id, &k, CZqlIdent("K"), kZqlCurScroll, kZqlCurInsensitive);
    client->Open(&area, k);
  }), 0);
  EXPECT_EQ(Status(k, kZqlStatCsrPosition), 0u);
  const struct {
    EZqlDirection dir;
    int32_t offset;
    int code;
  } moves[] = {{kZqlFetchPrior, 0, kZqlErrNoData0200}, {kZqlFetchNext, 0, 0},
               {kZqlFetchLast, 0, 0},                  {kZqlFetchNext, 0, kZqlErrNoData0200},
               {kZqlFetchAbsolute, 2, 0},              {kZqlFetchAbsolute, 0, kZqlErrNoData0200},
               {kZqlFetchFirst, 0, 0}};
  for (const auto& m : moves) {
    EXPECT_EQ(Raised([&] { client->Fetch(&area, k, m.dir, m.offset); }), m.code) << m.dir << " " << m.offset;
    EXPECT_EQ(Status(k, kZqlStatCsrPosition), m.code == 0 ? kZqlCsrOnRow : 0u) << m.dir << " " << m.offset;
  }
  EXPECT_EQ(Exec(s, "UPDATE t SET id=id+10 WHERE CURRENT OF K"), 0) << Text(*dda.ErrMsg(0));
  EXPECT_EQ(dda.RowCount(), 1);
  ASSERT_EQ(Raised([&] { client->Fetch(&area, k, kZqlFetchNext, 0); }), 0);
  EXPECT_EQ(Exec(s, "DELETE FROM t WHERE CURRENT OF K"), 0);
  EXPECT_EQ(dda.RowCount(), 1);
  EXPECT_EQ(Rows(s, "SELECT id FROM t ORDER BY id"), (std::vector<std::string>{"3", "11"}));
  // COMMIT closes the cursor.
  ASSERT_EQ(Exec(s, "COMMIT WORK"), 0);
  EXPECT_EQ(Status(k, kZqlStatCsrOpen), 0u);
}

// Another thread stops a running statement out of band while this one
// waits for the driver: the statement fails, the connection stays usable,
// and what the transaction keeps is what it reports.
TEST_P(Drivers, InterruptStopsARunningStatement) {
  uint32_t s = 0;
  ASSERT_EQ(Open(&s), 0);
  ASSERT_EQ(Exec(s, "CREATE TABLE t (x INT)"), 0);
  ASSERT_EQ(Exec(s, "COMMIT WORK"), 0);
  const SZqlInterrupt target = client->InterruptOf(s);
  ASSERT_GE(target.slot, 0);
  EXPECT_EQ(ZqlInterruptServerOnUnix(target), kZqlOk) << "nothing running: harmless";
  EXPECT_EQ(client->InterruptOf(s + 1000).slot, -1);
  const char* endless =
      " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000000000)";
  const std::string query = std::string(endless) + " SELECT count(*) FROM n";
  const struct {
    std::string sql;
    bool stopped;  // the driver is held stopped (SIGSTOP) when interrupted
  } cases[] = {{query, false},
               {std::string("INSERT INTO t") + endless + " SELECT i FROM n", false},
               {query, true}};
  const pid_t driver = ZqlIpcComBuf()->slots[target.slot].driverPid;
  for (const auto& c : cases) {
    const std::string& sql = c.sql;
    ASSERT_EQ(Exec(s, "INSERT INTO t VALUES (1)"), 0) << Text(*dda.ErrMsg(0));
    std::atomic<bool> done{false};
    std::thread interrupter([&] {
      // The reply signal is the waiting thread's.
      sigset_t all;
      sigfillset(&all);
      pthread_sigmask(SIG_BLOCK, &all, nullptr);
      // Again, rarely, should the first come before the statement runs: a
      // PostgreSQL cancel that lands late stops whatever runs then.
      for (int waited = 0; !done; waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (waited % 2000 != 300) continue;
        // A stopped driver takes the interrupt once it runs again.
        if (c.stopped) kill(driver, SIGSTOP);
        EXPECT_EQ(ZqlInterruptServerOnUnix(target), kZqlOk);
        if (c.stopped) kill(driver, SIGCONT);
      }
    });
    const int code = Exec(s, sql);
    done = true;
    interrupter.join();
    ASSERT_NE(code, 0) << sql;
    const std::vector<std::string> kept = Rows(s, "SELECT count(*) FROM t");
    if (code == kZqlErrTransactionRollback) {
      EXPECT_EQ(kept, std::vector<std::string>{"0"}) << sql;
    } else {
      EXPECT_EQ(code, kZqlErrExceptionRaisedByDBMSDriver) << sql;
      EXPECT_EQ(kept, std::vector<std::string>{"1"}) << sql;
    }
    ASSERT_EQ(Exec(s, "ROLLBACK WORK"), 0);
  }
}

}  // namespace
}  // namespace zqltest
