// Statements: the binding checks and what each refusal keeps from the
// driver, a single-row SELECT into output bindings, the statement kinds,
// and a driver's refusal reaching a caller's handler (every operation's
// failure in a frame or handler: failure_test.cpp).
#include <functional>

#include "appl_fixture.h"

namespace zqltest {
namespace {

using Statements = ApplTest;

const char kInsert[] = "INSERT INTO T VALUES (?, ?)";
const char kSelectOne[] = "SELECT * FROM T WHERE ID = ?";
const char kCursorWhere[] = "SELECT * FROM T WHERE ID > ? FOR UPDATE";

TEST_F(Statements, BindingChecks) {
  ASSERT_EQ(app->Init(), 1);
  std::unique_ptr<CZqlSession> s = Session();
  CZqlInt four;
  four.storeValue(4L);
  CZqlInt out;
  CZqlDate date;
  char name[11] = "five";
  int16_t indicator = 0;
  int32_t host = 0;
  CZqlSession* session = s.get();
  struct SCase {
    const char* what;
    const char* sql;
    std::function<int(CZqlExecStm&)> act;
    int answer;
    int code;            // Err(0) afterwards, 0 for none
    bool sendsExecute;   // whether the driver saw an Execute
  };
  const SCase cases[] = {
      {"index past the parameters", kInsert, [&](CZqlExecStm& x) { return x.Bind(x.ParamQty(), &four); },
       0, kZqlErrInvalidDescriptorIndex, false},
      {"negative index", kInsert, [&](CZqlExecStm& x) { return x.Bind(-1, &four); }, 0,
       kZqlErrInvalidDescriptorIndex, false},
      {"null value", kInsert, [&](CZqlExecStm& x) { return x.Bind(0, nullptr); }, 0,
       kZqlErrInvalidFunctionArguments, false},
      {"unknown name", kSelectOne, [&](CZqlExecStm& x) { return x.Bind(CZqlIdent("NOPE"), &four); },
       0, kZqlErrInvalidDescriptorIndex, false},
      {"value of another type", kInsert, [&](CZqlExecStm& x) { return x.Bind(0, &date); }, 0,
       kZqlErrDataTypesMismatch, false},
      {"one parameter left unbound", kInsert,
       [&](CZqlExecStm& x) { return x.Bind(0, &four) == 1 ? x.Execute() : -1; }, 0,
       kZqlErrUsingClauseRequiredForDynamicParameter, false},
      // Unchecked here: the driver's side cannot read values that are missing.
      {"nothing bound", kInsert, [&](CZqlExecStm& x) { return x.Execute(); }, 0,
       kZqlErrInternalZQLError, false},
      {"all bound", kInsert,
       [&](CZqlExecStm& x) {
         return x.Bind(0, &four) & x.Bind(1, name, &indicator, sizeof name, kZqlHostChar) &
                x.Execute();
       },
       1, 0, true},
      {"cursor specification", kCursorWhere, [&](CZqlExecStm& x) { return x.Bind(0, &four); }, 0,
       kZqlErrUsingClauseDoesNotMatchDynamicParameterSpecification, false},
      {"cursor specification by name", kCursorWhere,
       [&](CZqlExecStm& x) {
         return x.Bind(CZqlIdent("LOW"), &host, &indicator, 4, kZqlHostInteger);
       },
       0, kZqlErrUsingClauseDoesNotMatchDynamicParameterSpecification, false},
      {"select with a column unbound", kSelectOne,
       [&](CZqlExecStm& x) { return x.Bind(0, &four) & x.Sob(0, &out) ? x.Execute() : -1; }, 0,
       kZqlErrUsingClauseRequiredForResultFields, false},
      {"select with no column bound", kSelectOne,
       [&](CZqlExecStm& x) { return x.Bind(0, &four) ? x.Execute() : -1; }, 0,
       kZqlErrUsingClauseRequiredForResultFields, false},
      {"column index", kSelectOne,
       [&](CZqlExecStm& x) { return x.ColDsc(x.ColQty()) != nullptr ? 1 : 0; }, 0,
       kZqlErrInvalidDescriptorIndex, false},
      {"output index", kSelectOne, [&](CZqlExecStm& x) { return x.Sob(x.ColQty(), &out); }, 0,
       kZqlErrInvalidDescriptorIndex, false},
      {"host current value while outputs are bound", kSelectOne,
       [&](CZqlExecStm& x) {
         return x.Sob(0, &out) ? x.Cvl(0, &host, &indicator, 4, kZqlHostInteger) : -1;
       },
       0, kZqlErrCvlWithOutputBindings, false},
      {"current value before any row", kSelectOne, [&](CZqlExecStm& x) { return x.Cvl(0, &out); },
       0, kZqlErrNoData0200, false},
      {"deallocate twice", kInsert,
       [&](CZqlExecStm& x) { return x.Deallocate() == 1 ? x.Deallocate() : -1; }, 0,
       kZqlErrInvalidSQLStatementName, false},
      {"execute after deallocate", kInsert,
       [&](CZqlExecStm& x) { return x.Deallocate() == 1 ? x.Execute() : -1; }, 0,
       kZqlErrInvalidSQLStatementName, false},
      {"a second prepare drops the bindings", kInsert,
       [&](CZqlExecStm& x) {
         if (!(x.Bind(0, &four) & x.Prepare(session, kInsert))) return -1;
         return x.Bind(1, name, &indicator, sizeof name, kZqlHostChar) ? x.Execute() : -1;
       },
       0, kZqlErrUsingClauseRequiredForDynamicParameter, false},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.what);
    CZqlExecStm stm;
    ASSERT_EQ(stm.Prepare(s.get(), c.sql), 1) << Text(stm.ErrMsg(0));
    ClearTrace();
    EXPECT_EQ(c.act(stm), c.answer);
    EXPECT_EQ(c.code == 0 ? stm.CondQty() : stm.Err(0), c.code);
    EXPECT_EQ(Traced("Execute"), c.sendsExecute);
  }

  // Preparing needs a connected session.
  CZqlExecStm stm;
  CZqlSession idle(app.get());
  EXPECT_EQ(stm.Prepare(&idle, kInsert), 0);
  EXPECT_EQ(stm.Err(0), kZqlErrConnectionDoesNotExist);
  EXPECT_EQ(stm.Prepare(nullptr, kInsert), 0);
  EXPECT_EQ(stm.Err(0), kZqlErrConnectionDoesNotExist);
}

TEST_F(Statements, SingleRowSelectIntoOutputBindings) {
  ASSERT_EQ(app->Init(), 1);
  std::unique_ptr<CZqlSession> s = Session();
  CZqlExecStm sel;
  ASSERT_EQ(sel.Prepare(s.get(), kSelectOne), 1);
  EXPECT_EQ(sel.ParamQty(), 1);
  ASSERT_EQ(sel.ColQty(), 2);
  EXPECT_EQ(Text(sel.ColDsc(1)->Name().Body()), "NAME");
  EXPECT_EQ(Text(sel.ParamDsc(0)->Name().Body()), "ID");

  int32_t want = 2, id = 0;
  int16_t wantInd = 0, idInd = -1, nameInd = -1;
  char name[11] = {};
  ASSERT_EQ(sel.Bind(CZqlIdent("ID"), &want, &wantInd, 4, kZqlHostInteger), 1);
  ASSERT_EQ(sel.Sob(0, &id, &idInd, 4, kZqlHostInteger), 1);
  ASSERT_EQ(sel.Sob(1, name, &nameInd, sizeof name, kZqlHostChar), 1);
  ASSERT_EQ(sel.Execute(), 1) << Text(sel.ErrMsg(0));
  EXPECT_EQ(id, 2);
  EXPECT_STREQ(name, "two");
  EXPECT_GE(idInd, 0);
  EXPECT_GE(nameInd, 0);
  EXPECT_EQ(sel.Size(0), 4);
  int32_t raw = 0;
  EXPECT_EQ(sel.Read(0, reinterpret_cast<char*>(&raw), 0, 4), 4);
  EXPECT_EQ(raw, 2);
  CZqlInt current;
  EXPECT_EQ(sel.Cvl(0, &current), 1);
  long value = 0;
  current.getValue(&value);
  EXPECT_EQ(value, 2);

  // Host variables are read again at each execution.
  want = 3;
  ASSERT_EQ(sel.Execute(), 1);
  EXPECT_EQ(id, 3);
  EXPECT_STREQ(name, "three");
  want = 9;
  EXPECT_EQ(sel.Execute(), 0);
  EXPECT_EQ(sel.Err(0), kZqlErrNoData0200);
  EXPECT_EQ(sel.Read(5, reinterpret_cast<char*>(&raw), 0, 1), 0);
  EXPECT_EQ(sel.Err(0), kZqlErrInvalidDescriptorIndex);

  // Immediate execution leaves the prepared statement alone: it stays a
  // SELECT whose row reaches the bindings.
  EXPECT_EQ(sel.ImmediateExecute(s.get(), "COMMIT WORK"), 1);
  want = 1;
  ASSERT_EQ(sel.Execute(), 1) << Text(sel.ErrMsg(0));
  EXPECT_EQ(id, 1);
  EXPECT_STREQ(name, "one");
  ClearTrace();
  EXPECT_EQ(sel.ImmediateExecute(s.get(), "DELETE FROM T"), 1);
  EXPECT_EQ(sel.RowCount(), 3);
  EXPECT_EQ(Sent(), std::vector<std::string>{"DELETE FROM T"});
  want = 2;
  EXPECT_EQ(sel.Execute(), 0);
  EXPECT_EQ(sel.Err(0), kZqlErrNoData0200);
  EXPECT_EQ(sel.ImmediateExecute(nullptr, "DELETE FROM T"), 0);
  EXPECT_EQ(sel.Err(0), kZqlErrInvalidSQLStatementName);
}

TEST_F(Statements, KindsAndWhereFailuresGo) {
  ASSERT_EQ(app->Init(), 1);
  std::unique_ptr<CZqlSession> s = Session();
  ClearTrace();
  CZqlNativeStm native;
  EXPECT_EQ(native.Prepare(s.get(), "anything"), 0);
  EXPECT_EQ(native.Err(0), kZqlErrNativeStatementCannotBePrepared);
  EXPECT_EQ(native.Execute(), 0);
  EXPECT_EQ(native.Err(0), kZqlErrNativeStatementCannotBeExecuted);
  EXPECT_TRUE(Trace().empty());
  CZqlInterDBStm inter;
  EXPECT_EQ(inter.Prepare(s.get(), kInsert), 0);  // this driver has none
  EXPECT_GT(inter.CondQty(), 0);

  // A refused commit reaches the handler with the driver's own condition.
  Script("refuse IExecute 2D00");
  CZqlExceptionHandler committing;
  EXPECT_EQ(committing.Run([&] { s->Commit(); }), 1);
  Script("");
  ASSERT_NE(committing.exception, nullptr);
  EXPECT_EQ(committing.exception->Err(0), kZqlErrInvalidTransactionTermination);
  EXPECT_EQ(Text(committing.exception->ErrMsg(0)), "scripted refusal");
}

}  // namespace
}  // namespace zqltest
