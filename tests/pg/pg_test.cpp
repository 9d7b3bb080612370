// The PostgreSQL driver end to end: a program on the client library talks
// to zqlpg, which talks to the private server the test fixture started
// (pgserver.sh). Values both ways, transactions, and the server failing
// under the driver; errors, cursors and positioned changes are in the LISP
// scripts (tests/lisp/e2e), which run on this driver too.
#include <signal.h>
#include <libpq-fe.h>

#include <atomic>
#include <thread>

#include "../appl/appl_fixture.h"
#include "zqlcol.h"
#include "zqlstm.h"

namespace zqltest {
namespace {

int Server(const char* command) {
  const std::string cmd = std::string(ZQL_PG_SERVER) + " " + command + " " + ZQL_PG_STATE;
  return std::system(cmd.c_str());
}

class PgTest : public ApplBase {
 protected:
  void SetUp() override {
    ApplBase::SetUp();
    std::ofstream(ini_) << "[ZQL]\n[ENVIRONMENTS]\nPG = x\nNOWHERE = x\n"
                        << "[PG]\nDriver = zqlpg\nConninfo = host=" << PgSocket()
                        << " dbname=postgres user=zql\n"
                        << "[NOWHERE]\nDriver = zqlpg\nConninfo = host=" << dir_
                        << " dbname=postgres\n[zqlpg]\nPath = " << ZQL_PG_DRIVER << "\n";
    EnterDir();
    app.reset(new CZqlAppl);
    ASSERT_EQ(app->Init(), 1);
    s = Session("PG");
  }

  void TearDown() override {
    if (s != nullptr && s->isConnected()) s->Rollback();
    s.reset();
    ApplBase::TearDown();
  }

  // Executes text at once: 1 or 0, the conditions in *stm.
  int Exec(const std::string& text, CZqlExecStm* stm = nullptr) {
    CZqlExecStm own;
    return (stm != nullptr ? stm : &own)->ImmediateExecute(s.get(), CZqlUcStr(text.c_str()));
  }
  int Native(const std::string& text) {
    CZqlNativeStm n;
    const int answer = n.ImmediateExecute(s.get(), CZqlUcStr(text.c_str()));
    EXPECT_EQ(answer, 1) << text << ": " << Text(n.ErrMsg(0));
    return answer;
  }

  // Every row of a query through a non-scroll cursor, "a|b|NULL".
  std::vector<std::string> Rows(const std::string& query, CZqlSession* on = nullptr) {
    std::vector<std::string> out;
    CZqlExecStm q;
    EXPECT_EQ(q.Prepare(on != nullptr ? on : s.get(), CZqlUcStr(query.c_str())), 1)
        << query << ": " << Text(q.ErrMsg(0));
    CZqlCsr c;
    EXPECT_EQ(c.Allocate(&q, CZqlIdent("R"), kZqlCurNonScroll, kZqlCurSensitivityDefault), 1);
    EXPECT_EQ(c.Open(), 1) << Text(c.ErrMsg(0));
    while (c.Fetch() == 1) out.push_back(RowText(c));
    EXPECT_EQ(c.Err(0), kZqlErrNoData0200) << Text(c.ErrMsg(0));
    c.Close();
    return out;
  }

  static std::string RowText(const CZqlCsr& c) {
    std::unique_ptr<CZqlRow> row(c.getCurrentRow());
    std::string line;
    for (int i = 0; row != nullptr && i < row->ColNum(); ++i) {
      CZqlUcStr v;
      const CZqlData* d = (*row)[i].getData();
      if (d->isNull())
        v = "NULL";
      else
        d->getValue(&v);
      line += (i > 0 ? "|" : "") + Text(v);
    }
    return line;
  }

  std::unique_ptr<CZqlSession> s;
};

// Each server type: the client type it describes as, a value sent as a
// parameter of that type and read back, exactly.
TEST_F(PgTest, ValuesBothWaysExactly) {
  Native("DROP TABLE IF EXISTS v; CREATE TABLE v (k int4 NOT NULL, i2 int2, i8 int8, "
         "n numeric(10,2), big numeric, f8 float8, vc varchar(5), t text, b bytea, ok bool, "
         "d date, tm time(3), ts timestamp, tz timestamptz, dt interval, ym interval year to month)");
  const struct {
    const char* column;
    const char* sqlType;
    const char* value;  // the parameter's text, read back unchanged
  } cases[] = {
      {"i2", "SMALLINT", "-32767"},
      {"i8", "DECIMAL(19)", "9007199254740992"},
      {"n", "NUMERIC(10,2)", "12345678.91"},
      {"big", "CHARACTER VARYING(256)", "123456789012345678901234567890.000000000000000000001"},
      {"f8", "DOUBLE PRECISION", "0.1"},
      {"vc", "CHARACTER VARYING(5)", "hello"},
      {"b", "BIT VARYING(2048)", "DEADBEEF00"},
      {"ok", "SMALLINT", "1"},
      {"d", "DATE", "2024-02-29"},
      {"tm", "TIME(3)", "23:59:58.125"},
      {"ts", "TIMESTAMP", "1999-12-31 23:59:59.999999"},
  };
  int k = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.column);
    CZqlExecStm ins;
    const std::string sql = std::string("INSERT INTO v (k, ") + c.column + ") VALUES (?, ?)";
    ASSERT_EQ(ins.Prepare(s.get(), CZqlUcStr(sql.c_str())), 1) << Text(ins.ErrMsg(0));
    ASSERT_EQ(ins.ParamQty(), 2);
    CZqlInt key;
    key.storeValue(static_cast<long>(++k));
    std::unique_ptr<CZqlData> v(ins.ParamDsc(1)->Dsc()->duplicate());
    ASSERT_EQ(v->storeValue(CZqlUcStr(c.value)), 1);
    ASSERT_EQ(ins.Bind(0, &key), 1);
    ASSERT_EQ(ins.Bind(1, v.get()), 1);
    ASSERT_EQ(ins.Execute(), 1) << Text(ins.ErrMsg(0));
    EXPECT_EQ(ins.RowCount(), 1);
    const std::string query =
        std::string("SELECT ") + c.column + " FROM v WHERE k = " + std::to_string(k);
    CZqlExecStm q;
    ASSERT_EQ(q.Prepare(s.get(), CZqlUcStr(query.c_str())), 1);
    CZqlUcStr type;
    q.ColDsc(0)->getData()->SQLType(&type);
    EXPECT_EQ(Text(type), c.sqlType);
    EXPECT_EQ(Rows(query), std::vector<std::string>{c.value});
  }
  // A timestamp with zone, intervals and NULLs come back as the server
  // holds them.
  Native("SET TIME ZONE 'UTC'; INSERT INTO v (k, tz, dt, ym) VALUES (101, "
         "'2024-06-01 12:30:00.5+02', '-3 days 04:05:06.25', '14 months')");
  EXPECT_EQ(Rows("SELECT tz, dt, ym, i2 FROM v WHERE k = 101"),
            std::vector<std::string>{"2024-06-01 10:30:00.5+00:00|-000003 04:05:06.250000|000001-02|NULL"});
  EXPECT_EQ(s->Commit(), 1);
}

// The connection's transaction status: none after COMMIT, one after a
// write (implicit BEGIN), and disconnecting with open work refused. The
// transaction statements themselves: tests/lisp/e2e/conn.lsp.
TEST_F(PgTest, Transactions) {
  Native("DROP TABLE IF EXISTS tx; CREATE TABLE tx (id int PRIMARY KEY)");
  EXPECT_EQ(s->Commit(), 1);
  uint32_t open = 9;
  ASSERT_EQ(s->GetStatus(kZqlStatConnection1, &open), 1);
  EXPECT_EQ(open, 0u);
  ASSERT_EQ(Exec("INSERT INTO tx VALUES (1)"), 1);
  ASSERT_EQ(s->GetStatus(kZqlStatConnection1, &open), 1);
  EXPECT_EQ(open, 1u);
  EXPECT_EQ(app->DisconnectAll(), 0);
  EXPECT_EQ(app->Err(0), kZqlErrDisconnectWhileTransactionIsActive);
  EXPECT_TRUE(s->isConnected());
  EXPECT_EQ(s->Commit(), 1);
  EXPECT_EQ(app->DisconnectAll(), 1) << Text(app->ErrMsg(0));
}

// The server killed under a running query, a query cancelled by another
// client, a statement timeout: conditions, and the driver stays up.
TEST_F(PgTest, ServerFaults) {
  // A refused statement's driver message (the LISP scripts see its
  // SQLSTATE, position and message text).
  CZqlExecStm bad;
  EXPECT_EQ(bad.Prepare(s.get(), CZqlUcStr("SELECT 1 FORM x")), 0);
  CZqlUcStr message;
  EXPECT_EQ(bad.DrvMessage(&message), 1);
  EXPECT_NE(Text(message).find("syntax error"), std::string::npos) << Text(message);
  // A cancel request while nothing runs is harmless.
  EXPECT_EQ(s->Cancel(), 1) << Text(s->ErrMsg(0));
  // Cancelled from another client: the transaction stays usable.
  ASSERT_EQ(Exec("SELECT 1"), 1);
  std::atomic<bool> done{false};
  std::thread canceller([&] {
    const std::string info = "host=" + PgSocket() + " dbname=postgres user=zql";
    PGconn* other = PQconnectdb(info.c_str());
    while (!done) {
      PGresult* r = PQexec(other, "SELECT pg_cancel_backend(pid) FROM pg_stat_activity "
                                  "WHERE query LIKE 'SELECT pg_sleep(30)%'");
      const bool hit = PQntuples(r) > 0;
      PQclear(r);
      if (hit) break;
      usleep(20000);
    }
    PQfinish(other);
  });
  CZqlExecStm slow;
  EXPECT_EQ(Exec("SELECT pg_sleep(30)", &slow), 0);
  done = true;
  canceller.join();
  EXPECT_STREQ(slow.SQLSTATE(0), "57014") << Text(slow.ErrMsg(0));
  EXPECT_EQ(Rows("SELECT 2"), std::vector<std::string>{"2"});
  // Cancelled through ZQL by another thread while this one waits for the
  // driver (the session's Cancel goes out of band).
  done = false;
  std::thread zqlCanceller([&] {
    sigset_t all;  // the reply signal is the waiting thread's
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    while (!done) {
      usleep(100000);
      s->Cancel();
    }
  });
  EXPECT_EQ(Exec("SELECT pg_sleep(30)", &slow), 0);
  done = true;
  zqlCanceller.join();
  EXPECT_STREQ(slow.SQLSTATE(0), "57014") << Text(slow.ErrMsg(0));
  EXPECT_EQ(Rows("SELECT 3"), std::vector<std::string>{"3"});
  // A statement timeout.
  Native("SET statement_timeout = 200");
  EXPECT_EQ(Exec("SELECT pg_sleep(5)", &slow), 0);
  EXPECT_STREQ(slow.SQLSTATE(0), "57014");
  Native("SET statement_timeout = 0");
  EXPECT_EQ(s->Rollback(), 1);
  // The server stopped at once while a query runs.
  std::thread killer([] {
    usleep(500000);
    Server("crash");
  });
  CZqlExecStm lost;
  EXPECT_EQ(Exec("SELECT pg_sleep(30)", &lost), 0);
  killer.join();
  EXPECT_EQ(std::string(lost.SQLSTATE(0)).substr(0, 2), "08") << Text(lost.ErrMsg(0));
  EXPECT_EQ(Exec("SELECT 1", &lost), 0);
  EXPECT_EQ(lost.Err(0), kZqlErrConnectionDoesNotExist);
  // Connecting while the server is down fails with 08001; once it is back
  // a new connection works through the same driver.
  CZqlSession down(app.get());
  EXPECT_EQ(down.Connect(CZqlUcStr("PG"), CZqlUcStr(), CZqlUcStr()), 0);
  EXPECT_STREQ(down.SQLSTATE(0), "08001");
  ASSERT_EQ(Server("resume"), 0);
  std::unique_ptr<CZqlSession> again = Session("PG");
  EXPECT_EQ(Rows("SELECT 3", again.get()), std::vector<std::string>{"3"});
  EXPECT_EQ(again->Commit(), 1);
  EXPECT_EQ(s->Disconnect(), 1) << Text(s->ErrMsg(0));
  // An environment whose server is not there.
  CZqlSession nowhere(app.get());
  EXPECT_EQ(nowhere.Connect(CZqlUcStr("NOWHERE"), CZqlUcStr(), CZqlUcStr()), 0);
  EXPECT_EQ(nowhere.Err(0), kZqlErrSQLClientUnableToEstablishSQLConnection);
  EXPECT_NE(Text(nowhere.ErrMsg(0)).find(dir_), std::string::npos) << Text(nowhere.ErrMsg(0));
}

}  // namespace
}  // namespace zqltest
