// A program's whole conversation through the client library: two sessions,
// a transaction mode, a prepared INSERT with parameters, a SELECT into
// output bindings, a scroll cursor in all six directions with positioned
// UPDATE and DELETE, a commit, a refused and then a clean shutdown.
#include "appl_fixture.h"

namespace zqltest {
namespace {

using Program = ApplTest;

long IdOf(const CZqlInt& v) {
  long out = -1;
  v.getValue(&out);
  return out;
}

TEST_F(Program, FromInitToTerm) {
  const long objects = ZqlObjectsInUse();
  {
    ASSERT_EQ(app->Init(), 1);
    CZqlSession first(app.get()), second(app.get());
    ASSERT_EQ(Connect(&first, "DB1"), 1) << Text(first.ErrMsg(0));
    ASSERT_EQ(Connect(&second, "DB2"), 1) << Text(second.ErrMsg(0));
    EXPECT_EQ(app->SessionCount(), 2);
    ClearTrace();
    ASSERT_EQ(first.SetTrans(kZqlReadCommitted, kZqlReadWrite, 5), 1);
    EXPECT_EQ(Sent(), std::vector<std::string>{
                          "SET TRANSACTION READ WRITE,ISOLATION LEVEL READ COMMITTED,DIAGNOSTICS SIZE 5"});

    // A prepared INSERT, its parameters bound to a value and a host variable.
    CZqlExecStm insert;
    ASSERT_EQ(insert.Prepare(&first, "INSERT INTO T VALUES (?, ?)"), 1);
    EXPECT_EQ(insert.StmType(), kZqlStmInsert);
    ASSERT_EQ(insert.ParamQty(), 2);
    CZqlInt four;
    four.storeValue(4L);
    char name[11] = "four";
    int16_t indicator = 0;
    ASSERT_EQ(insert.Bind(0, &four), 1);
    ASSERT_EQ(insert.Bind(1, name, &indicator, sizeof name, kZqlHostChar), 1);
    ASSERT_EQ(insert.Execute(), 1) << Text(insert.ErrMsg(0));
    EXPECT_EQ(insert.RowCount(), 1);

    // A single-row SELECT into output bindings.
    CZqlExecStm select;
    ASSERT_EQ(select.Prepare(&first, "SELECT * FROM T WHERE ID = ?"), 1);
    CZqlInt want, id;
    want.storeValue(4L);
    char got[11] = {};
    int16_t gotIndicator = -1;
    ASSERT_EQ(select.Bind(0, &want), 1);
    ASSERT_EQ(select.Sob(0, &id), 1);
    ASSERT_EQ(select.Sob(1, got, &gotIndicator, sizeof got, kZqlHostChar), 1);
    ASSERT_EQ(select.Execute(), 1) << Text(select.ErrMsg(0));
    EXPECT_EQ(IdOf(id), 4);
    EXPECT_STREQ(got, "four");

    // A scroll cursor over rows 1 to 4 in all six directions.
    Script("sutable T");
    CZqlExecStm query;
    ASSERT_EQ(query.Prepare(&first, "SELECT * FROM T FOR UPDATE"), 1);
    CZqlCsr csr;
    ASSERT_EQ(csr.Allocate(&query, "C", kZqlCurScroll, kZqlCurSensitivityDefault), 1);
    CZqlInt at;
    CZqlChar atName(10);
    atName.setVarying();
    ASSERT_EQ(csr.Sob(0, &at), 1);
    ASSERT_EQ(csr.Sob(1, &atName), 1);
    ASSERT_EQ(csr.Open(), 1);
    const struct {
      int (CZqlCsr::*plain)();
      int (CZqlCsr::*offset)(int32_t);
      int32_t n;
      long id;
    } moves[] = {
        {&CZqlCsr::FetchFirst, nullptr, 0, 1},     {&CZqlCsr::Fetch, nullptr, 0, 2},
        {&CZqlCsr::FetchLast, nullptr, 0, 4},      {&CZqlCsr::FetchPrior, nullptr, 0, 3},
        {nullptr, &CZqlCsr::FetchAbsolute, 1, 1}, {nullptr, &CZqlCsr::FetchRelative, 2, 3},
    };
    for (const auto& m : moves) {
      const int answer = m.plain != nullptr ? (csr.*m.plain)() : (csr.*m.offset)(m.n);
      EXPECT_EQ(answer, 1) << Text(csr.ErrMsg(0));
      EXPECT_EQ(IdOf(at), m.id);
    }
    std::unique_ptr<CZqlRow> row(csr.getCurrentRow());
    ASSERT_NE(row, nullptr) << Text(csr.ErrMsg(0));
    ASSERT_EQ(row->ColNum(), 2);
    CZqlUcStr text;
    (*row)[1].getData()->getValue(&text);
    EXPECT_EQ(Text(text), "three");

    // Positioned UPDATE with the row changed, then DELETE.
    (*row)[1].getData()->storeValue(CZqlUcStr("THREE"));
    ClearTrace();
    EXPECT_EQ(csr.Update(*row), 1) << Text(csr.ErrMsg(0));
    EXPECT_EQ(csr.Delete(), 1) << Text(csr.ErrMsg(0));
    EXPECT_EQ(Sent(), (std::vector<std::string>{"UPDATE T SET ID=3,NAME='THREE' WHERE CURRENT OF C",
                                                "DELETE FROM T WHERE CURRENT OF C"}));
    EXPECT_EQ(first.Commit(), 1);

    // The drivers report open transactions: DisconnectAll refuses.
    Script("status 0 2097152\nstatus 1 1\n");
    ClearTrace();
    EXPECT_EQ(app->DisconnectAll(), 0);
    EXPECT_EQ(Codes(*app), std::vector<int>(2, kZqlErrDisconnectWhileTransactionIsActive));
    EXPECT_FALSE(Traced("Disconnect"));
    EXPECT_TRUE(first.isConnected() && second.isConnected());

    // Once they report none, Term ends both connections.
    Script("");
    EXPECT_EQ(app->Term(), 1) << Text(app->ErrMsg(0));
    EXPECT_FALSE(first.isConnected() || second.isConnected());
    EXPECT_EQ(first.Appl(), nullptr);
  }
  EXPECT_EQ(ZqlObjectsInUse(), objects);
}

}  // namespace
}  // namespace zqltest
