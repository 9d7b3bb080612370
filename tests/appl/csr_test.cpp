// Cursors: one cursor's life from creation to close, step by step (each
// operation before Allocate: failure_test.cpp), and the positioned DELETE
// and UPDATE texts with their conditions.
#include <functional>

#include "appl_fixture.h"

namespace zqltest {
namespace {

using Cursors = ApplTest;

long IntOf(const CZqlData& v) {
  long out = -1;
  v.getValue(&out);
  return out;
}

TEST_F(Cursors, LifeCycle) {
  ASSERT_EQ(app->Init(), 1);
  std::unique_ptr<CZqlSession> s = Session();
  CZqlExecStm query;
  ASSERT_EQ(query.Prepare(s.get(), "SELECT * FROM T WHERE ID > ? FOR UPDATE"), 1);
  EXPECT_EQ(query.StmType(), kZqlStmCursor);
  CZqlCsr csr;
  CZqlInt low, id;
  low.storeValue(0L);
  CZqlChar name(10);
  name.setVarying();
  std::unique_ptr<CZqlRow> row;
  struct SStep {
    const char* what;
    std::function<int()> op;
    int answer;
    int code;           // Err(0) afterwards, 0 for no condition at all
    const char* trace;  // the drivers' last operation; "" when none was sent
    long id;            // the bound ID afterwards, -2 not checked
  };
  const SStep steps[] = {
      {"no row before open", [&] { return csr.getCurrentRow() != nullptr; }, 0, 0, "", -2},
      {"allocate on no statement",
       [&] { return csr.Allocate(nullptr, "C", kZqlCurScroll, kZqlCurSensitivityDefault); }, 0,
       kZqlErrInvalidSQLStatementName, "", -2},
      {"allocate", [&] { return csr.Allocate(&query, "C", kZqlCurScroll, kZqlCurSensitivityDefault); },
       1, 0, "AllocCsr C 1 0", -2},
      {"bind its parameter", [&] { return csr.Bind(0, &low); }, 1, 0, "", -2},
      {"outputs partly bound",
       [&] { return csr.Sob(0, &id) ? csr.Open() : -1; }, 0,
       kZqlErrUsingClauseRequiredForResultFields, "", -2},
      {"open", [&] { return csr.Sob(1, &name) ? csr.Open() : -1; }, 1, 0, "Open", -2},
      {"first", [&] { return csr.FetchFirst(); }, 1, 0, "Fetch 3 0", 1},
      {"the fetched values as they stand, once", [&] {
         std::vector<const CZqlData*> v;
         return csr.getFetchedValues(&v) * 10 + csr.getFetchedValues(&v) +
                (v.size() == 2 && IntOf(*v[0]) == 1 ? 100 : 0);
       },
       110, 0, "", 1},
      {"next", [&] { return csr.Fetch(); }, 1, 0, "Fetch 1 0", 2},
      {"the fetched row, with no request", [&] {
         row.reset(csr.getFetchedRow());
         return row != nullptr && IntOf(*(*row)[0].getData()) == 2;
       },
       1, 0, "", 2},
      {"current row", [&] {
         row.reset(csr.getCurrentRow());
         return row != nullptr && row->ColNum() == 2 && IntOf(*(*row)[0].getData()) == 2 &&
                Text((*row)[1].Name().Body()) == "NAME";
       },
       1, 0, "Status 5", 2},
      {"relative back past the start", [&] { return csr.FetchRelative(-2); }, 0, kZqlErrNoData0200,
       "Fetch 6 -2", 2},
      {"no current row off the rows", [&] { return csr.getCurrentRow() != nullptr; }, 0,
       kZqlErrCurorIsNotPositionedOnRow, "Status 5", -2},
      {"no fetched row after a failed fetch", [&] { return csr.getFetchedRow() != nullptr; }, 0,
       kZqlErrCurorIsNotPositionedOnRow, "", -2},
      {"nor fetched values", [&] {
         std::vector<const CZqlData*> v;
         return csr.getFetchedValues(&v);
       },
       0, kZqlErrCurorIsNotPositionedOnRow, "", -2},
      {"last", [&] { return csr.FetchLast(); }, 1, 0, "Fetch 4 0", 3},
      {"prior", [&] { return csr.FetchPrior(); }, 1, 0, "Fetch 2 0", 2},
      {"absolute", [&] { return csr.FetchAbsolute(1); }, 1, 0, "Fetch 5 1", 1},
      {"next past the end",
       [&] { return csr.FetchAbsolute(3) ? csr.Fetch() : -1; }, 0, kZqlErrNoData0200, "Fetch 1 0",
       3},
      {"scrollable, not insensitive, open",
       [&] { return csr.is_scrollable() * 100 + csr.is_insensitive() * 10 + csr.is_open(); }, 101,
       0, "Status 2", -2},
      {"close", [&] { return csr.Close(); }, 1, 0, "Close", -2},
      {"no row once closed", [&] { return csr.getCurrentRow() != nullptr; }, 0, 0, "", -2},
      {"the driver refuses a closed cursor", [&] { return csr.Fetch(); }, 0,
       kZqlErrCursorIsInCloseState, "Fetch 1 0", -2},
      {"open again with another bound value",
       [&] { return low.storeValue(2L) ? csr.Open() & csr.Fetch() : -1; }, 1, 0, "Fetch 1 0", 3},
  };
  for (const SStep& step : steps) {
    SCOPED_TRACE(step.what);
    ClearTrace();
    EXPECT_EQ(step.op(), step.answer);
    EXPECT_EQ(step.code == 0 ? csr.CondQty() : csr.Err(0), step.code);
    const std::vector<std::string> trace = Trace();
    EXPECT_EQ(trace.empty() ? "" : trace.back(), step.trace);
    if (step.id != -2) {
      EXPECT_EQ(IntOf(id), step.id);
    }
  }
  EXPECT_EQ(Text(csr.Name().Body()), "C");

  // A forward cursor's refusal of PRIOR and its status:
  // tests/lisp/e2e/cursor.lsp on both drivers.
}

CZqlColumn Column(const char* name, const CZqlData* value) {
  return CZqlColumn(CZqlIdent(name), value);
}

TEST_F(Cursors, PositionedTexts) {
  ASSERT_EQ(app->Init(), 1);
  std::unique_ptr<CZqlSession> s = Session();
  CZqlInt five, nothing;
  five.storeValue(5L);
  CZqlChar quoted(10);
  quoted.setVarying();
  quoted.storeValue(CZqlUcStr("it's"));
  CZqlRow ab(2), empty(2), text(1);
  ab[0] = Column("A", &five);
  ab[1] = Column("B", &nothing);
  empty[0].setName(CZqlIdent("A"));
  text[0] = Column("NAME", &quoted);
  CZqlIdent delimited("my cur");
  {  // the driver's refusal replaces the cursor's conditions; its columns stay
    CZqlExecStm query;
    ASSERT_EQ(query.Prepare(s.get(), "SELECT * FROM T FOR UPDATE"), 1);
    CZqlCsr csr;
    ASSERT_EQ(csr.Allocate(&query, "C", kZqlCurScroll, kZqlCurSensitivityDefault), 1);
    ASSERT_EQ(csr.Open(), 1);
    EXPECT_EQ(csr.Delete(), 0);  // on no row yet
    EXPECT_EQ(Codes(csr), std::vector<int>{kZqlErrCurorIsNotPositionedOnRow});
    ASSERT_EQ(csr.Fetch(), 1) << Text(csr.ErrMsg(0));
    Script("refuse IExecute 2404");
    EXPECT_EQ(csr.Update(ab), 0);
    EXPECT_EQ(Codes(csr), std::vector<int>{kZqlErrCursorIsReadOnly});
    EXPECT_EQ(Text(csr.ErrMsg(0)), "scripted refusal");
    ASSERT_EQ(csr.ColQty(), 2);
    EXPECT_EQ(Text(csr.ColDsc(0)->Name().Body()), "ID");
    EXPECT_EQ(csr.Update(nullptr), 0);
    EXPECT_EQ(csr.Err(0), kZqlErrInvalidFunctionArguments);
    CZqlImplDef opaque;
    const char bytes[] = "xy";
    opaque.setBytes(bytes, 2);
    CZqlRow raw(1);
    raw[0] = Column("A", &opaque);
    ClearTrace();
    EXPECT_EQ(csr.Update(raw), 0);
    EXPECT_EQ(csr.Err(0), kZqlErrFunctionNotSupported);
    EXPECT_TRUE(Sent().empty());
    Script("");
  }
  struct SCase {
    const char* what;
    const char* script;  // the drivers' replies, "sutable" among them
    const CZqlIdent name;
    std::function<int(CZqlCsr&)> op;
    int answer;
    const char* sent;
  };
  const SCase cases[] = {
      {"update", "sutable T", CZqlIdent("C"), [&](CZqlCsr& c) { return c.Update(ab); }, 1,
       "UPDATE T SET A=5,B=NULL WHERE CURRENT OF C"},
      {"update of a quoted text", "sutable T", CZqlIdent("C"),
       [&](CZqlCsr& c) { return c.Update(&text); }, 1,
       "UPDATE T SET NAME='it''s' WHERE CURRENT OF C"},
      {"update with an empty set list", "sutable T", CZqlIdent("C"),
       [&](CZqlCsr& c) { return c.Update(empty); }, 1, "UPDATE T SET  WHERE CURRENT OF C"},
      {"update without a table", "", CZqlIdent("C"), [&](CZqlCsr& c) { return c.Update(ab); }, 1,
       "UPDATE  SET A=5,B=NULL WHERE CURRENT OF C"},
      {"delete", "sutable T", CZqlIdent("C"), [&](CZqlCsr& c) { return c.Delete(); }, 1,
       "DELETE FROM T WHERE CURRENT OF C"},
      {"delete without a table", "", CZqlIdent("C"), [&](CZqlCsr& c) { return c.Delete(); }, 1,
       "DELETE WHERE CURRENT OF C"},
      {"delete through a delimited name", "sutable T", delimited,
       [&](CZqlCsr& c) { return c.Delete(); }, 1, "DELETE FROM T WHERE CURRENT OF \"my cur\""},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.what);
    Script(c.script);
    CZqlExecStm query;
    ASSERT_EQ(query.Prepare(s.get(), "SELECT * FROM T FOR UPDATE"), 1);
    CZqlCsr csr;
    ASSERT_EQ(csr.Allocate(&query, c.name, kZqlCurScroll, kZqlCurSensitivityDefault), 1);
    ASSERT_EQ(csr.Open(), 1);
    ASSERT_EQ(csr.FetchFirst(), 1) << Text(csr.ErrMsg(0));
    ClearTrace();
    EXPECT_EQ(c.op(csr), c.answer) << Text(csr.ErrMsg(0));
    EXPECT_EQ(Sent(), std::vector<std::string>{c.sent});
    EXPECT_EQ(csr.CondQty(), 0);
  }

}

}  // namespace
}  // namespace zqltest
