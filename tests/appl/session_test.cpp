// The application object and sessions: the exact SQL texts of the session
// statements, the connect-time defaults, the DBMS name fields, and the
// application's life with its DisconnectAll refusal.
#include <functional>

#include "appl_fixture.h"

namespace zqltest {
namespace {

using Sessions = ApplTest;

CZqlDT Zone(EZqlIType type, bool null) {
  CZqlDT zone(type, 2, 0);
  if (!null) zone.set(kZqlFalse, 0, 5, 30, 0);
  return zone;
}

TEST_F(Sessions, StatementTextsAndArgumentChecks) {
  ASSERT_EQ(app->Init(), 1);
  std::unique_ptr<CZqlSession> s = Session();
  const CZqlIdent c1("c1");
  const CZqlIdent none;
  struct SCase {
    const char* what;
    std::function<int(CZqlSession&)> op;
    const char* script;  // the drivers' replies meanwhile
    int answer;
    std::vector<std::string> sent;
    int code;  // Err(0) afterwards, 0 for no condition
  };
  const SCase cases[] = {
      {"catalog with a quote", [](CZqlSession& x) { return x.SetCatalog("a'b"); }, "", 1,
       {"SET CATALOG 'a''b'"}, 0},
      {"catalog that tries to end the literal",
       [](CZqlSession& x) { return x.SetCatalog("x'; DROP TABLE T; --"); }, "", 1,
       {"SET CATALOG 'x''; DROP TABLE T; --'"}, 0},
      {"empty catalog", [](CZqlSession& x) { return x.SetCatalog(""); }, "", 0, {},
       kZqlErrInvalidCatalogName},
      {"schema", [](CZqlSession& x) { return x.SetSchema("''"); }, "", 1,
       {"SET SCHEMA ''''''"}, 0},
      {"empty schema", [](CZqlSession& x) { return x.SetSchema(CZqlUcStr()); }, "", 0, {},
       kZqlErrInvalidSchemaName},
      {"names", [](CZqlSession& x) { return x.SetNames("LATIN1"); }, "", 1,
       {"SET NAMES 'LATIN1'"}, 0},
      {"empty names", [](CZqlSession& x) { return x.SetNames(""); }, "", 0, {},
       kZqlErrInvalidCharacterSetName},
      {"authorization", [](CZqlSession& x) { return x.SetAuthor("o'neil"); }, "", 1,
       {"SET SESSION AUTHORIZATION 'o''neil'"}, 0},
      {"empty authorization", [](CZqlSession& x) { return x.SetAuthor(""); }, "", 0, {},
       kZqlErrInvalidAuthorizationSpecification},
      {"time zone", [](CZqlSession& x) { return x.SetTimeZone(Zone(kZqlIHourToMinute, false)); },
       "", 1, {"SET TIME ZONE INTERVAL '05:30' HOUR(2) TO MINUTE"}, 0},
      {"time zone of another type",
       [](CZqlSession& x) { return x.SetTimeZone(Zone(kZqlIHourToSecond, false)); }, "", 0, {},
       kZqlErrInvalidFunctionArguments},
      {"null time zone", [](CZqlSession& x) { return x.SetTimeZone(Zone(kZqlIHourToMinute, true)); },
       "", 0, {}, kZqlErrInvalidFunctionArguments},
      {"local time zone", [](CZqlSession& x) { return x.SetTimeZone(); }, "", 1,
       {"SET TIME ZONE LOCAL"}, 0},
      {"transaction", [](CZqlSession& x) { return x.SetTrans(kZqlReadCommitted, kZqlReadWrite, 5); },
       "", 1, {"SET TRANSACTION READ WRITE,ISOLATION LEVEL READ COMMITTED,DIAGNOSTICS SIZE 5"}, 0},
      {"read-only transaction, unknown level",
       [](CZqlSession& x) { return x.SetTrans(static_cast<EZqlTILevel>(7), kZqlReadOnly, 0); }, "",
       1, {"SET TRANSACTION READ ONLY,ISOLATION LEVEL SERIALIZABLE,DIAGNOSTICS SIZE 0"}, 0},
      {"uncommitted and repeatable",
       [](CZqlSession& x) {
         return x.SetTrans(kZqlReadUncommitted, kZqlReadWrite, 1) &
                x.SetTrans(kZqlRepeatableRead, kZqlReadWrite, 4000000000u);
       },
       "", 1,
       {"SET TRANSACTION READ WRITE,ISOLATION LEVEL READ UNCOMMITTED,DIAGNOSTICS SIZE 1",
        "SET TRANSACTION READ WRITE,ISOLATION LEVEL REPEATABLE READ,DIAGNOSTICS SIZE 4000000000"},
       0},
      {"all constraints deferred", [](CZqlSession& x) { return x.DeferrConstr(nullptr); }, "", 1,
       {"SET CONSTRAINTS ALL DEFERRED"}, 0},
      {"empty constraint name",
       [&](CZqlSession& x) { return x.ImmConstr(&none); }, "", 1,
       {"SET CONSTRAINTS ALL IMMEDIATE"}, 0},
      {"named constraint", [&](CZqlSession& x) { return x.ImmConstr(&c1); }, "", 1,
       {"SET CONSTRAINTS C1 IMMEDIATE"}, 0},
      {"commit and rollback", [](CZqlSession& x) { return x.Commit() & x.Rollback(); }, "", 1,
       {"COMMIT WORK", "ROLLBACK WORK"}, 0},
      {"refused commit", [](CZqlSession& x) { return x.Commit(); }, "refuse IExecute 2D00", 0,
       {"COMMIT WORK"}, kZqlErrInvalidTransactionTermination},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.what);
    Script(c.script);
    ClearTrace();
    EXPECT_EQ(c.op(*s), c.answer);
    EXPECT_EQ(Sent(), c.sent);
    EXPECT_EQ(c.code == 0 ? s->CondQty() : s->Err(0), c.code);
  }
  Script("");

  // Without a connection nothing is sent.
  ASSERT_EQ(s->Disconnect(), 1);
  ClearTrace();
  EXPECT_EQ(s->Commit(), 0);
  EXPECT_EQ(s->Err(0), kZqlErrInvalidSQLStatementName);
  EXPECT_TRUE(Trace().empty());
}

TEST_F(Sessions, ConnectAppliesTheEnvironmentsDefaults) {
  ASSERT_EQ(app->Init(), 1);
  struct SCase {
    const char* ini;     // more lines of DB1's section
    const char* script;  // the drivers' replies while connecting
    std::vector<std::string> sent;
    std::vector<int> codes;  // the session's conditions, most recent first
  };
  const SCase cases[] = {
      {"CATALOG = C1\nSCHEMA = S1\nTIMEZONE = local\nNAMES = UTF8\n", "",
       {"SET CATALOG 'C1'", "SET SCHEMA 'S1'", "SET TIME ZONE LOCAL", "SET NAMES 'UTF8'"}, {}},
      {"CATALOG = it's\nTIMEZONE = LoCaL\n", "", {"SET CATALOG 'it''s'", "SET TIME ZONE LOCAL"},
       {}},
      {"TIMEZONE = 05:30\n", "", {"SET TIME ZONE INTERVAL '05:30' HOUR(2) TO MINUTE"}, {}},
      {"TIMEZONE = not a zone\nNAMES = X\n", "", {"SET NAMES 'X'"}, {}},
      {"", "", {}, {}},
      // Every failed default stays reported, though later ones sent more.
      {"CATALOG = C1\nSCHEMA = S1\nNAMES = N\n", "refuse IExecute 2D00",
       {"SET CATALOG 'C1'", "SET SCHEMA 'S1'", "SET NAMES 'N'"},
       {kZqlErrInvalidCharacterSetName, kZqlErrInvalidSchemaName, kZqlErrInvalidCatalogName,
        kZqlErrInvalidTransactionTermination}},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.ini);
    Ini(c.ini);
    Script(c.script);
    ClearTrace();
    CZqlSession s(app.get());
    EXPECT_EQ(Connect(&s), 1);
    EXPECT_EQ(Sent(), c.sent);
    EXPECT_EQ(Codes(s), c.codes);
    EXPECT_EQ(Text(s.Name()), "DB1");
    Script("");
  }
}

TEST_F(Sessions, DbmsNameFieldsAndStatusWord) {
  ASSERT_EQ(app->Init(), 1);
  std::unique_ptr<CZqlSession> s = Session();
  struct SCase {
    const char* name;  // DBMS name text of the Prepare reply
    const char* dbms;
    const char* object;
    const char* message;
  };
  const SCase cases[] = {
      {"SCRIPTED", "", "", ""},
      {"0123456789ABCD", "", "", ""},
      {"0123456789ABCDPG", "PG", "", ""},
      {"0123456789ABCDORACLE-7.3-TABLE-message text", "ORACLE", "TABLE", "message text"},
      {"0123456789ABCDPG-1-OBJ", "PG", "", ""},
      {"0123456789ABCDA-B--C-D", "A", "C", "C-D"},
      {"0123456789ABCDA-B-C--D", "A", "C", "D"},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.name);
    Script(std::string("dbms ") + c.name);
    CZqlExecStm stm;
    ASSERT_EQ(stm.Prepare(s.get(), "SELECT * FROM T"), 1);
    CZqlUcStr out("stale");
    EXPECT_EQ(stm.DBMS(&out), 1);
    EXPECT_EQ(Text(out), c.dbms);
    EXPECT_EQ(stm.SQLObject(&out), 1);
    EXPECT_EQ(Text(out), c.object);
    EXPECT_EQ(stm.DrvMessage(&out), 1);
    EXPECT_EQ(Text(out), c.message);
  }
  EXPECT_EQ(s->DBMS(nullptr), 0);
  EXPECT_EQ(s->Err(0), kZqlErrInvalidFunctionArguments);

  // The status word: a driver that never set one supports nothing.
  CZqlExecStm stm;
  ASSERT_EQ(stm.Prepare(s.get(), "SELECT * FROM T"), 1);
  EXPECT_EQ(stm.CheckOp(0xFFFFFFFFu), 0);
  Script("dbmsstatus 6");
  ASSERT_EQ(stm.Prepare(s.get(), "SELECT * FROM T"), 1);
  EXPECT_EQ(stm.CheckOp(4), 1);
  EXPECT_EQ(stm.CheckOp(8), 0);

  uint32_t value = 0;
  Script("status 9 77");
  EXPECT_EQ(s->GetStatus(kZqlStatConnection9, &value), 1);
  EXPECT_EQ(value, 77u);
  EXPECT_EQ(s->GetStatus(static_cast<EZqlStatInfo>(7), &value), 0);
  EXPECT_EQ(s->Err(0), kZqlErrInvalidFunctionArguments);
  CZqlUcStr version;
  EXPECT_EQ(s->Version(&version), kZqlTrue);
  EXPECT_EQ(Text(version), "ZQL v2.0.093");
}

// Term before Init: failure_test.cpp.
TEST_F(Sessions, ApplicationLifeAndDisconnectAll) {
  CZqlSession early(app.get());
  EXPECT_EQ(early.Err(0), kZqlErrZQLWasNotInitialized);
  EXPECT_EQ(Connect(&early), 0);
  EXPECT_EQ(early.Err(0), kZqlErrZQLWasNotInitialized);

  // A library that could not start refuses Init and keeps nothing.
  ZqlTaskDataErrSet(kZqlErrCannotOpenZQLINIFile);
  EXPECT_EQ(app->Init(), 0);
  ZqlTaskDataErrSet(0);
  EXPECT_EQ(app->Err(0), kZqlErrCannotOpenZQLINIFile);
  EXPECT_EQ(app->Dispatcher(), nullptr);
  EXPECT_EQ(app->DisconnectAll(), 0);
  EXPECT_EQ(app->Err(0), kZqlErrZQLWasNotInitialized);

  ASSERT_EQ(app->Init(), 1);
  EXPECT_EQ(app->Init(), 0);
  EXPECT_EQ(app->Err(0), kZqlErrZQLWasAlreadyInitialized);
  std::unique_ptr<CZqlSession> a = Session("DB1");
  std::unique_ptr<CZqlSession> b = Session("DB2");
  EXPECT_EQ(app->SessionCount(), 2);

  // Both connections report an open transaction: nothing is disconnected.
  Script("status 0 2097152\nstatus 1 1\n");
  ClearTrace();
  EXPECT_EQ(app->DisconnectAll(), 0);
  ASSERT_EQ(Codes(*app), std::vector<int>(2, kZqlErrDisconnectWhileTransactionIsActive));
  CZqlUcStr server, connection;
  EXPECT_EQ(app->getDiagPar(0, kZqlDiagServerName, &server), 1);
  EXPECT_EQ(app->getDiagPar(1, kZqlDiagConnectionName, &connection), 1);
  EXPECT_EQ(Text(server) + Text(connection), "DB2DB1");
  EXPECT_FALSE(Traced("Disconnect"));
  EXPECT_TRUE(a->isConnected() && b->isConnected());

  // A connection that cannot end keeps its session and stops the pass.
  Script("refuse Disconnect 0806\n");
  EXPECT_EQ(app->DisconnectAll(), 0);
  EXPECT_EQ(Codes(*app), (std::vector<int>{kZqlErrInvalidTransactionState, kZqlErrConnectionFailure}));
  EXPECT_EQ(app->getDiagPar(0, kZqlDiagServerName, &server), 1);
  EXPECT_EQ(Text(server), "DB1");
  EXPECT_TRUE(a->isConnected() && b->isConnected());

  // Reporting no transaction, both go; Term detaches the sessions.
  Script("status 0 2097152\nstatus 1 0\n");
  ClearTrace();
  EXPECT_EQ(app->Term(), 1) << Text(app->ErrMsg(0));
  EXPECT_EQ(Trace(), (std::vector<std::string>{"Status 0", "Status 1", "Status 0", "Status 1",
                                               "Disconnect", "Disconnect"}));
  EXPECT_FALSE(a->isConnected() || b->isConnected());
  EXPECT_EQ(a->Appl(), nullptr);
  EXPECT_EQ(app->SessionCount(), 0);
  EXPECT_EQ(app->DisconnectAll(), 0);
  EXPECT_EQ(app->Err(0), kZqlErrZQLWasNotInitialized);
}

TEST_F(Sessions, DestroyingAConnectedSessionRollsBackAndDisconnects) {
  ASSERT_EQ(app->Init(), 1);
  std::unique_ptr<CZqlSession> s = Session();
  Script("refuse IExecute 2D00");  // a refused rollback still disconnects
  ClearTrace();
  s.reset();
  EXPECT_EQ(Trace(), (std::vector<std::string>{"IExecute ROLLBACK WORK", "Disconnect"}));
  EXPECT_EQ(app->SessionCount(), 0);
}

}  // namespace
}  // namespace zqltest
