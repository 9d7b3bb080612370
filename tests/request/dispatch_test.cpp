// The dispatcher client's bookkeeping against the scripted driver: ids,
// sessions sharing drivers, statements and cursors owned by sessions, the
// checks of every operation and how failures reach the caller's area.
#include <functional>

#include "dispatch_fixture.h"

namespace zqltest {
namespace {

using Dispatch = DispatchTest;

// Prepares text on session into *statement; answers the raised code or 0.
int Prepare(CZqlDispClient* c, CZqlDDA* area, uint32_t session, uint32_t* statement,
            const char* text = "SELECT * FROM T") {
  return Raised([&] { c->Prepare(area, session, statement, CZqlUcStr(text)); });
}

int Cursor(CZqlDispClient* c, CZqlDDA* area, uint32_t statement, uint32_t* cursor,
           EZqlCurScr scr = kZqlCurNonScroll) {
  return Raised([&] {
    c->AllocCsr(area, statement, cursor, CZqlIdent("C"), scr, kZqlCurSensitivityDefault);
  });
}

TEST_F(Dispatch, FailedConnectsLeaveNothingOpen) {
  uint32_t s1 = 0;
  EXPECT_EQ(Connect(&s1, "DB1", "nobody"), kZqlErrSQLServerRejectedEstablishmentOfSQLConnection);
  EXPECT_EQ(s1, 0u);
  EXPECT_EQ(Count(&SZqlDispRec::sessions), 0);
  EXPECT_EQ(ZqlIpcComBuf(), nullptr);  // the driver was told to stop
  ASSERT_EQ(dda.CondCount(), 1);
  EXPECT_EQ(Text(dda.ErrMsg(0)), "user refused");
  EXPECT_EQ(Connect(&s1, "NO_SUCH_ENV"), kZqlErrEnvironmentNameNotSpecifiedInZQLINI);
  EXPECT_EQ(dda.Err(0), kZqlErrEnvironmentNameNotSpecifiedInZQLINI);

  // An id in use creates nothing.
  ASSERT_EQ(Connect(&s1), 0);
  EXPECT_NE(s1, 0u);
  EXPECT_EQ(ZqlIpcConnections(), 1);
  uint32_t again = s1;
  EXPECT_EQ(Connect(&again), kZqlErrConnectionNameInUse);
  EXPECT_EQ(again, s1);
  EXPECT_EQ(Count(&SZqlDispRec::sessions), 1);
  EXPECT_EQ(ZqlIpcConnections(), 1);  // no server was made
  ASSERT_GE(dda.CondCount(), 1);
  EXPECT_EQ(dda.Err(0), kZqlErrConnectionNameInUse);
  uint32_t stm = 0;
  ASSERT_EQ(Prepare(client.get(), &dda, s1, &stm), 0);
  uint32_t taken = stm;
  EXPECT_EQ(Connect(&taken), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(Count(&SZqlDispRec::sessions), 1);
}

TEST_F(Dispatch, IdsComeFromOneCounterStatusFindsThemDuplicatesShareThem) {
  uint32_t s = 0, stm = 0, csr = 0;
  ASSERT_EQ(Connect(&s), 0);
  ASSERT_EQ(Prepare(client.get(), &dda, s, &stm), 0);
  const uint32_t next = CZqlDspObj::getObjId();
  ASSERT_EQ(Cursor(client.get(), &dda, stm, &csr, kZqlCurScroll), 0);
  EXPECT_LT(s, stm);
  EXPECT_EQ(csr, next);
  // Status finds sessions, statements and cursors by their ids.
  EXPECT_EQ(Status(s, kZqlStatConnection0), 1u);   // one statement
  EXPECT_EQ(Status(s, kZqlStatConnection1), 3u);   // rows of T
  EXPECT_EQ(Status(stm, kZqlStatConnection0), 1u);  // a SELECT
  EXPECT_EQ(Status(csr, kZqlStatCsrScrollable), 1u);
  EXPECT_EQ(Status(csr, kZqlStatCsrOpen), 0u);
  uint32_t value = 0;
  EXPECT_EQ(Raised([&] { client->Status(&dda, 0, kZqlStatCsrOpen, &value); }),
            kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(Raised([&] { client->Status(&dda, s, kZqlStatCsrOpen, nullptr); }),
            kZqlErrInvalidFunctionArguments);
  // Another client draws from the same counter.
  CZqlDispClient other;
  CZqlDDA area;
  ASSERT_TRUE(area.Init(10));
  ASSERT_EQ(Raised([&] { other.Init(&area); }), 0);
  uint32_t s2 = 0;
  ASSERT_EQ(Raised([&] {
    other.Connect(&area, &s2, CZqlUcStr("DB1"), CZqlUcStr(), CZqlUcStr());
  }), 0);
  EXPECT_EQ(s2, csr + 1);
  ASSERT_EQ(Raised([&] { other.Term(&area); }), 0);
  // Duplicates share one record: the copy keeps the sessions.
  std::unique_ptr<CZqlDispClient> copy(client->duplicate());
  EXPECT_EQ(copy->Record(), client->Record());
  client.reset();
  EXPECT_EQ(ZqlIpcConnections(), 1);
  ASSERT_EQ(Raised([&] { copy->Status(&dda, s, kZqlStatConnection1, &value); }), 0);
  EXPECT_EQ(value, 3u);
  client = std::move(copy);
}

TEST_F(Dispatch, PreparingIntoAStatementAndDeallocStmDropItsCursors) {
  uint32_t s = 0, stm = 0, csr = 0;
  ASSERT_EQ(Connect(&s), 0);
  ASSERT_EQ(Prepare(client.get(), &dda, s, &stm), 0);
  ASSERT_EQ(Cursor(client.get(), &dda, stm, &csr), 0);
  const uint32_t old = stm;
  ASSERT_EQ(Prepare(client.get(), &dda, s, &stm, "SELECT * FROM T WHERE ID > ?"), 0);
  EXPECT_NE(stm, old);
  EXPECT_EQ(Count(&SZqlDispRec::statements), 1);
  EXPECT_EQ(Count(&SZqlDispRec::cursors), 0);  // went with the old statement
  EXPECT_EQ(dda.ParCount(), 1);                // the new statement's description
  const std::vector<int> codes = Codes();
  const std::vector<int> tail(codes.end() - 3, codes.end());
  EXPECT_EQ(tail, (std::vector<int>{kZqlReqAllocCsr, kZqlReqDeallocStm, kZqlReqPrepare}));
  EXPECT_EQ(Raised([&] { client->Execute(&dda, old); }), kZqlErrInvalidFunctionArguments);
  // A cursor id is no statement to prepare into.
  ASSERT_EQ(Cursor(client.get(), &dda, stm, &csr), 0);
  uint32_t into = csr;
  EXPECT_EQ(Prepare(client.get(), &dda, s, &into), kZqlErrInvalidFunctionArguments);
  // DeallocStm removes the statement's cursors and the area's sets.
  EXPECT_EQ(dda.ColCount(), 2);
  ASSERT_EQ(Raised([&] { client->DeallocStm(&dda, &stm); }), 0);
  EXPECT_EQ(stm, 0u);
  EXPECT_EQ(Count(&SZqlDispRec::statements), 0);
  EXPECT_EQ(Count(&SZqlDispRec::cursors), 0);
  EXPECT_EQ(dda.Columns(), nullptr);
  EXPECT_EQ(dda.Params(), nullptr);
  EXPECT_EQ(ZqlIpcConnections(), 1);
}

TEST_F(Dispatch, DisconnectingOneSessionLeavesTheOthersObjectsUsable) {
  CZqlDDA csrArea;
  ASSERT_TRUE(csrArea.Init(10));
  uint32_t s1 = 0, s2 = 0, stm1 = 0, stm2 = 0, csr1 = 0, csr2 = 0;
  ASSERT_EQ(Connect(&s1), 0);
  ASSERT_EQ(Connect(&s2), 0);
  EXPECT_EQ(Entry(s1)->server->ServerBody()->slot, Entry(s2)->server->ServerBody()->slot);
  ASSERT_EQ(Prepare(client.get(), &dda, s1, &stm1), 0);
  ASSERT_EQ(Prepare(client.get(), &dda, s2, &stm2), 0);
  ASSERT_EQ(Cursor(client.get(), &csrArea, stm1, &csr1), 0);
  ASSERT_EQ(Cursor(client.get(), &csrArea, stm2, &csr2), 0);
  // Statements and cursors share their session's connection.
  EXPECT_EQ(Entry(csr2)->server->ServerBody(), Entry(s2)->server->ServerBody());
  EXPECT_EQ(ZqlIpcConnections(), 2);

  ASSERT_EQ(Raised([&] { client->Disconnect(&dda, &s1); }), 0);
  EXPECT_EQ(s1, 0u);
  EXPECT_EQ(ZqlIpcConnections(), 1);
  EXPECT_EQ(Count(&SZqlDispRec::statements), 1);
  EXPECT_EQ(Count(&SZqlDispRec::cursors), 1);
  uint32_t value = 0;
  EXPECT_EQ(Raised([&] { client->Status(&dda, csr1, kZqlStatCsrOpen, &value); }),
            kZqlErrInvalidFunctionArguments);
  ASSERT_EQ(Raised([&] { client->Open(&csrArea, csr2); }), 0);
  ASSERT_EQ(Raised([&] { client->Fetch(&csrArea, csr2, kZqlFetchNext, 0); }), 0);
  EXPECT_EQ(OutInt(csrArea, 0), 1);
  EXPECT_EQ(Raised([&] { client->Disconnect(&dda, &s1); }), kZqlErrConnectionDoesNotExist);
  uint32_t gone = 12345;
  EXPECT_EQ(Raised([&] { client->Disconnect(&dda, &gone); }), kZqlErrConnectionDoesNotExist);
}

// The area is set up for the operation and made current for it: the
// previous current area comes back after success, none after a failure.
// (The checks' codes: OperationsOutsideEveryFrameFailCleanly.)
TEST_F(Dispatch, OperationsSetUpTheAreaAndMakeItCurrent) {
  CZqlDispClient fresh;
  EXPECT_EQ(Raised([&] { fresh.Execute(&dda, 1); }), kZqlErrConnectionFailure);
  ASSERT_EQ(dda.CondCount(), 1);
  EXPECT_EQ(dda.CmdStmType(), kZqlStmExecute);
  EXPECT_EQ(ZqlGetCurrentDDA(), nullptr);
  EXPECT_EQ(Raised([&] { client->Fetch(&dda, 999, kZqlFetchNext, 0); }),
            kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(dda.CmdStmType(), kZqlStmFetch);

  CZqlDDA mine;
  ASSERT_TRUE(mine.Init(10));
  ZqlSetCurrentDDA(&mine);
  uint32_t s = 0;
  ASSERT_EQ(Connect(&s), 0);
  EXPECT_EQ(ZqlGetCurrentDDA(), &mine);
  EXPECT_EQ(dda.CmdStmType(), kZqlStmConnect);
  ASSERT_EQ(Raised([&] { client->Cancel(&dda, s); }), 0);
  EXPECT_EQ(dda.CmdStmType(), kZqlStmUndefined);
  ZqlSetCurrentDDA(nullptr);
}

TEST_F(Dispatch, DriverConditionsAndCodeReachTheCallersArea) {
  setenv("ZQL_TEST_DRIVER_SEGMENT", "4096", 1);
  uint32_t s = 0;
  ASSERT_EQ(Connect(&s), 0);
  EXPECT_EQ(Raised([&] { client->IExecute(&dda, s, CZqlUcStr("FAIL 2300")); }),
            kZqlErrIntegrityConstraintViolation2300);
  ASSERT_EQ(dda.CondCount(), 2);
  EXPECT_EQ(dda.Err(0), kZqlErrIntegrityConstraintViolation2300);
  EXPECT_EQ(Text(dda.ErrMsg(0)), "scripted failure");
  CZqlUcStr table;
  EXPECT_TRUE(dda.getDiagPar(0, kZqlDiagTableName, &table));
  EXPECT_EQ(Text(table), "T");
  EXPECT_EQ(dda.Err(1), kZqlErrNullValueEliminatedInSetFunction);
  EXPECT_STREQ(dda.SQLSTATE(0), "23000");

  uint32_t stm = 0;
  EXPECT_EQ(Prepare(client.get(), &dda, s, &stm, "SELEKT"),
            kZqlErrSyntaxErrorOrAccessRuleViolationInDynamicSQLStatement);
  EXPECT_EQ(dda.ErrPos(), 1);
  EXPECT_EQ(stm, 0u);
  EXPECT_EQ(Count(&SZqlDispRec::statements), 0);
  EXPECT_EQ(ZqlIpcConnections(), 1);  // the duplicated server went with the entry

  // A reply too large for the segment is an error, not an overflow (through
  // the kit's decoder in the driver; the decoder makes the same check in
  // process).
  EXPECT_EQ(Raised([&] { client->IExecute(&dda, s, CZqlUcStr("BIG 5000")); }),
            kZqlErrErrorFoundInDBMSCommunication);
  ASSERT_EQ(dda.CondCount(), 1);
  EXPECT_EQ(dda.Err(0), kZqlErrErrorFoundInDBMSCommunication);
  ASSERT_EQ(Raised([&] { client->IExecute(&dda, s, CZqlUcStr("BIG 1000")); }), 0);
  EXPECT_EQ(Text(dda.ErrMsg(0)).size(), 1000u);
}

TEST_F(Dispatch, TermEndsEverySessionAndAbortSaysSo) {
  uint32_t s1 = 0, s2 = 0, stm = 0;
  ASSERT_EQ(Connect(&s1), 0);
  ASSERT_EQ(Connect(&s2, "DB2"), 0);  // a second driver process
  ASSERT_EQ(Prepare(client.get(), &dda, s2, &stm), 0);
  EXPECT_EQ(ZqlIpcConnections(), 2);
  ASSERT_EQ(Raised([&] { client->Abort(&dda); }), 0);
  EXPECT_EQ(client->Record()->initialised, 0);
  EXPECT_EQ(client->Record()->sessions, nullptr);
  EXPECT_EQ(ZqlIpcComBuf(), nullptr);
  int aborts = 0;
  for (const std::string& line : Log())
    if (line.rfind("code=3 ", 0) == 0 && line.find(" 12:1") != std::string::npos) ++aborts;
  EXPECT_EQ(aborts, 2);
  EXPECT_EQ(Raised([&] { client->Term(&dda); }), kZqlErrConnectionFailure);
  // Init again: usable once more.
  ASSERT_EQ(Raised([&] { client->Init(&dda); }), 0);
  ASSERT_EQ(Connect(&s1), 0);
  ASSERT_EQ(Raised([&] { client->Term(&dda); }), 0);
}

TEST_F(Dispatch, TermKeepsSessionsItCannotEndAndRaises102) {
  uint32_t lost = 0, fine = 0;
  ASSERT_EQ(Connect(&lost), 0);
  ASSERT_EQ(Connect(&fine, "DB2"), 0);
  const pid_t pid = ZqlIpcComBuf()->slots[Entry(lost)->server->ServerBody()->slot].driverPid;
  kill(pid, SIGTERM);
  ASSERT_TRUE(Eventually([&] { return !Alive(pid); }));
  EXPECT_EQ(Raised([&] { client->Term(&dda); }), kZqlErrDisconnectError);
  ASSERT_EQ(dda.CondCount(), 2);
  EXPECT_EQ(dda.Err(0), kZqlErrDisconnectError);
  EXPECT_EQ(dda.Err(1), kZqlErrServerDiedConnectionLost);
  EXPECT_EQ(Count(&SZqlDispRec::sessions), 1);
  EXPECT_NE(Entry(lost), nullptr);
  EXPECT_EQ(Entry(fine), nullptr);
  EXPECT_EQ(client->Record()->initialised, 1);
}

// With no frame and no handler open, each operation that meets a fault
// answers 0 and leaves the fault as a condition in the caller's area.
TEST_F(Dispatch, OperationsOutsideEveryFrameFailCleanly) {
  uint32_t id = 999;  // names nothing
  const CZqlUcStr text("DELETE FROM T");
  struct Case {
    const char* name;
    std::function<int(CZqlDispClient*, CZqlDDA*)> call;
    int initialised;  // the fault with an initialised client (0: none)
    int fresh = kZqlErrConnectionFailure;  // and with one before Init
  };
  uint32_t none = 0, value = 0;
#define OP(call, ...) {#call, [&](CZqlDispClient* c, CZqlDDA* a) { return c->call; }, __VA_ARGS__}
  const Case cases[] = {
      OP(Term(a), 0),
      OP(Abort(a), 0),
      OP(Connect(a, &(none = 0), CZqlUcStr("NO_SUCH_ENV"), CZqlUcStr(), CZqlUcStr()),
         kZqlErrEnvironmentNameNotSpecifiedInZQLINI),
      OP(Disconnect(a, &id), kZqlErrConnectionDoesNotExist),
      OP(Disconnect(a, nullptr), kZqlErrInvalidFunctionArguments, kZqlErrInvalidFunctionArguments),
      OP(IExecute(a, id, text), kZqlErrConnectionDoesNotExist),
      OP(IExeNative(a, id, text), kZqlErrConnectionDoesNotExist),
      OP(IExeInterDB(a, id, text), kZqlErrConnectionDoesNotExist),
      OP(Prepare(a, id, &id, text), kZqlErrConnectionDoesNotExist),
      OP(PrepareInterDB(a, id, &id, text), kZqlErrConnectionDoesNotExist),
      OP(Execute(a, id), kZqlErrInvalidFunctionArguments),
      OP(DeallocStm(a, &id), kZqlErrInvalidFunctionArguments),
      OP(AllocCsr(a, id, &id, CZqlIdent(), kZqlCurNonScroll, kZqlCurSensitivityDefault),
         kZqlErrInvalidFunctionArguments),
      OP(Open(a, id), kZqlErrInvalidFunctionArguments),
      OP(Close(a, id), kZqlErrInvalidFunctionArguments),
      OP(Fetch(a, id, kZqlFetchNext, 0), kZqlErrInvalidFunctionArguments),
      OP(Cancel(a, id), kZqlErrConnectionDoesNotExist),
      OP(Status(a, id, kZqlStatCsrOpen, &value), kZqlErrInvalidFunctionArguments),
  };
#undef OP
  CZqlDispClient fresh;  // before Init
  for (const Case& c : cases) {
    for (CZqlDispClient* on : {&fresh, client.get()}) {
      const int expected = on == &fresh ? c.fresh : c.initialised;
      if (expected == 0) continue;
      dda.FlushCond();
      EXPECT_EQ(c.call(on, &dda), 0) << c.name;
      ASSERT_GE(dda.CondCount(), 1) << c.name;
      EXPECT_EQ(dda.Err(0), expected) << c.name;
      EXPECT_EQ(c.call(on, nullptr), 0) << c.name;  // no area at all
    }
  }
  // A transport fault: the driver is gone.
  uint32_t s = 0;
  ASSERT_EQ(Connect(&s), 0);
  const pid_t pid = ZqlIpcComBuf()->slots[Entry(s)->server->ServerBody()->slot].driverPid;
  kill(pid, SIGTERM);
  ASSERT_TRUE(Eventually([&] { return !Alive(pid); }));
  EXPECT_EQ(client->IExecute(&dda, s, text), 0);
  EXPECT_EQ(dda.Err(0), kZqlErrServerDiedConnectionLost);
  EXPECT_EQ(ZqlTryLevel(), -1);
  EXPECT_EQ(ZqlGetCurrentDDA(), nullptr);
}

TEST_F(Dispatch, InitHandsBackTheFailedStartOfTheLibrary) {
  CZqlDispClient other;
  CZqlDDA area;
  ASSERT_TRUE(area.Init(10));
  ZqlTaskDataErrSet(kZqlErrCannotOpenZQLINIFile);
  EXPECT_EQ(Raised([&] { other.Init(&area); }), kZqlErrCannotOpenZQLINIFile);
  EXPECT_EQ(other.Init(&area), 0);  // outside every frame: the failure result
  ZqlTaskDataErrSet(0);
  EXPECT_EQ(area.Err(0), kZqlErrCannotOpenZQLINIFile);
  EXPECT_EQ(other.Record()->initialised, 0);
  EXPECT_EQ(other.Record()->sessions, nullptr);  // nothing was made
  ASSERT_EQ(Raised([&] { other.Init(&area); }), 0);
  EXPECT_EQ(other.Record()->initialised, 1);
}

}  // namespace
}  // namespace zqltest
