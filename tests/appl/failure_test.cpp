// Objects that cannot do what is asked: every operation answers its failure
// value with the condition in the object's area, raises the code into a
// caller's frame, and reaches a caller's handler as an exception; no
// exception of another kind leaves.
#include <functional>

#include "appl_fixture.h"

namespace zqltest {
namespace {

using Failures = ApplTest;

TEST_F(Failures, EveryOperationLeavesItsCondition) {
  CZqlAppl idle;
  CZqlSession lone(nullptr);
  CZqlExecStm stm;
  CZqlNativeStm native;
  CZqlCsr csr;
  CZqlInt value;
  CZqlRow row(1);
  uint32_t status = 0;
  char buffer[4];
  struct SCase {
    const char* what;
    const CZqlSQLObject* object;
    std::function<long()> op;
    long failure;  // the answer of a failure
    int code;
    bool raises;  // into a caller's frame
  };
  const SCase cases[] = {
      {"term", &idle, [&] { return idle.Term(); }, 0, kZqlErrZQLWasNotInitialized, true},
      {"abort", &idle, [&] { return idle.Abort(); }, 0, kZqlErrZQLWasNotInitialized, true},
      {"disconnect all", &idle, [&] { return idle.DisconnectAll(); }, 0,
       kZqlErrZQLWasNotInitialized, true},
      {"add a session", &idle, [&] { return idle.addConnection(&lone); }, 0,
       kZqlErrZQLWasNotInitialized, true},
      {"status", &idle, [&] { return idle.GetStatus(kZqlStatConnection0, &status); }, 0,
       kZqlErrZQLWasNotInitialized, true},
      {"connect", &lone, [&] { return lone.Connect("DB1", "", ""); }, 0,
       kZqlErrZQLWasNotInitialized, true},
      {"disconnect", &lone, [&] { return lone.Disconnect(); }, 0, kZqlErrZQLWasNotInitialized,
       true},
      {"disconnect into no area", &lone, [&] { return lone.Disconnect(nullptr); }, 0,
       kZqlErrInvalidFunctionArguments, true},
      {"set catalog", &lone, [&] { return lone.SetCatalog("x"); }, 0,
       kZqlErrInvalidSQLStatementName, true},
      {"set transaction", &lone, [&] { return lone.SetTrans(kZqlReadCommitted, kZqlReadWrite, 1); },
       0, kZqlErrInvalidSQLStatementName, true},
      {"commit", &lone, [&] { return lone.Commit(); }, 0, kZqlErrInvalidSQLStatementName, true},
      {"cancel", &lone, [&] { return lone.Cancel(); }, 0, kZqlErrZQLWasNotInitialized, true},
      {"prepare", &stm, [&] { return stm.Prepare(&lone, "SELECT * FROM T"); }, 0,
       kZqlErrConnectionDoesNotExist, true},
      {"execute", &stm, [&] { return stm.Execute(); }, 0, kZqlErrInvalidSQLStatementName, true},
      {"deallocate", &stm, [&] { return stm.Deallocate(); }, 0, kZqlErrInvalidSQLStatementName,
       true},
      {"immediate", &stm, [&] { return stm.ImmediateExecute(&lone, "COMMIT WORK"); }, 0,
       kZqlErrInvalidSQLStatementName, true},
      {"bind", &stm, [&] { return stm.Bind(0, &value); }, 0, kZqlErrZQLWasNotInitialized, true},
      {"output binding", &stm, [&] { return stm.Sob(0, &value); }, 0, kZqlErrZQLWasNotInitialized,
       true},
      {"parameter", &stm, [&] { return stm.ParamDsc(0) != nullptr ? 1L : 0L; }, 0,
       kZqlErrZQLWasNotInitialized, true},
      {"read", &stm, [&] { return stm.Read(0, buffer, 0, 1); }, 0, kZqlErrInvalidDescriptorIndex,
       true},
      {"native prepare", &native, [&] { return native.Prepare(&lone, "x"); }, 0,
       kZqlErrNativeStatementCannotBePrepared, false},
      {"allocate", &csr, [&] { return csr.Allocate(&stm, "C", kZqlCurScroll, kZqlCurInsensitive); },
       0, kZqlErrInvalidSQLStatementName, true},
      {"open", &csr, [&] { return csr.Open(); }, 0, kZqlErrInvalidCursorName, true},
      {"fetch relative", &csr, [&] { return csr.FetchRelative(-2); }, 0, kZqlErrInvalidCursorName,
       true},
      {"close", &csr, [&] { return csr.Close(); }, 0, kZqlErrInvalidCursorName, true},
      {"delete", &csr, [&] { return csr.Delete(); }, 0, kZqlErrInvalidCursorName, true},
      {"update", &csr, [&] { return csr.Update(row); }, 0, kZqlErrInvalidCursorName, true},
      {"position", &csr, [&] { return csr.position(); }, 1, kZqlErrInvalidCursorName, true},
      {"size", &csr, [&] { return csr.Size(0); }, 0, kZqlErrInvalidDescriptorIndex, true},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.op(), c.failure);
    EXPECT_EQ(c.object->Err(0), c.code);
    EXPECT_EQ(Raised([&] { c.op(); }), c.raises ? c.code : 0);
    if (c.raises) {
      CZqlExceptionHandler handler;
      EXPECT_EQ(handler.Run([&] { c.op(); }), 1);
      ASSERT_NE(handler.exception, nullptr);
      EXPECT_EQ(handler.exception->Err(0), c.code);
    }
    EXPECT_EQ(ZqlTryLevel(), -1);
    EXPECT_EQ(ZqlGetCurrentDDA(), nullptr);
  }
}

}  // namespace
}  // namespace zqltest
