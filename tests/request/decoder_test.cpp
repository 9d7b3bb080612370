// The driver kit's request decoder, with the client's request methods on
// the other side of an in-process transport.
#include <gtest/gtest.h>

#include "dispatch_fixture.h"
#include "zqlcol.h"
#include "zqldrvreq.h"

namespace zqltest {
namespace {

// A driver with one kind of statement: one INTEGER parameter, one INTEGER
// column; its cursors deliver the rows 10, 20, 30. Records what it saw.
class CRecorder : public CZqlDriver {
 public:
  int calls = 0;
  long lastValue = -1;       // the parameter value Execute or Open received
  int32_t answer = 0;        // what the next operation answers
  bool raise = false;        // raise the answer instead
  int row = 0;

  int32_t Connect(CZqlDDA*, const CZqlUcStr&, const CZqlUcStr&, const CZqlUcStr&,
                  uint32_t* connection) override {
    *connection = 40;
    return Answer();
  }
  int32_t Disconnect(CZqlDDA*, uint32_t, EZqlBoolean) override { return Answer(); }
  int32_t IExecute(CZqlDDA*, uint32_t, const CZqlUcStr&) override { return Answer(); }
  int32_t Prepare(CZqlDDA* dda, uint32_t, const CZqlUcStr&, uint32_t* statement) override {
    CZqlInt type;
    dda->setStmType(kZqlStmSelect);
    dda->AllocParDsc(1);
    dda->ParDsc(0)->setDsc(&type);
    dda->AllocColDsc(1);
    dda->ColDsc(0)->setName(CZqlIdent("N"));
    dda->ColDsc(0)->setDataDsc(&type);
    *statement = 50;
    return Answer();
  }
  int32_t Execute(CZqlDDA* dda, uint32_t) override { return TakeValue(dda); }
  int32_t DeallocStm(CZqlDDA*, uint32_t) override { return Answer(); }
  int32_t AllocCsr(CZqlDDA*, uint32_t, const CZqlIdent&, EZqlCurScr, EZqlCurSns,
                   uint32_t* cursor) override {
    *cursor = 60;
    return Answer();
  }
  int32_t Open(CZqlDDA* dda, uint32_t) override {
    row = 0;
    return TakeValue(dda);
  }
  int32_t Close(CZqlDDA*, uint32_t) override { return Answer(); }
  int32_t Fetch(CZqlDDA* dda, uint32_t, EZqlDirection, int32_t) override {
    ++calls;
    if (row == 3) return kZqlErrNoData0200;
    CZqlData* out = nullptr;
    if (!dda->OutDsc(0)->getBind(&out)) return kZqlErrInternalZQLError;
    out->storeValue(static_cast<long>(10 * ++row));
    return 0;
  }
  int32_t Status(CZqlDDA*, uint32_t id, EZqlStatInfo info, uint32_t* value) override {
    *value = id * 100 + info;
    return Answer();
  }

 private:
  int32_t Answer() {
    ++calls;
    if (raise) ZQL_RAISE(answer);
    return answer;
  }
  int32_t TakeValue(CZqlDDA* dda) {
    CZqlData* value = nullptr;
    if (dda->ParCount() == 1 && dda->ParDsc(0)->getBind(&value)) value->getValue(&lastValue);
    return Answer();
  }
};

class Decoder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(stm.Init(10));
    ASSERT_TRUE(csr.Init(10));
  }
  // Prepares the statement into stm; answers its id.
  uint32_t Prepared() {
    uint32_t id = 0;
    EXPECT_EQ(Raised([&] { id = server.Prepare(&stm, 40, CZqlUcStr("SELECT N FROM X")); }), 0);
    return id;
  }
  CRecorder driver;
  CZqlDrvDecoder decoder{&driver, 4096};
  CLoopServer server{&decoder};
  CZqlDDA stm, csr;
};

// One statement from Prepare to Disconnect: its description, its parameter
// value handed to the driver, a cursor's rows into the outputs, and what
// DeallocStm and Disconnect drop.
TEST_F(Decoder, StatementAndCursorFromPrepareToDisconnect) {
  const uint32_t statement = Prepared();
  EXPECT_EQ(statement, 50u);
  EXPECT_EQ(stm.StmType(), kZqlStmSelect);
  ASSERT_EQ(stm.ParCount(), 1);
  ASSERT_EQ(stm.ColCount(), 1);
  EXPECT_EQ(Text(stm.ColDsc(0)->Name().Body()), "N");
  EXPECT_EQ(decoder.StatementCount(), 1);
  CZqlInt value;
  value.storeValue(42L);
  ASSERT_TRUE(stm.ParDsc(0)->setBind(&value));
  stm.setStmType(kZqlStmUndefined);  // as the dispatcher sets it up
  stm.setCmdStmType(kZqlStmExecute);
  ASSERT_EQ(Raised([&] { server.Execute(&stm, statement); }), 0);
  EXPECT_EQ(driver.lastValue, 42);
  // The reply sent no values back: the caller's binding is untouched.
  CZqlData* bound = nullptr;
  ASSERT_TRUE(stm.ParDsc(0)->getBind(&bound));
  EXPECT_EQ(bound, &value);

  uint32_t cursor = 0;
  ASSERT_EQ(Raised([&] {
    cursor = server.AllocCsr(&csr, statement, CZqlIdent("C"), kZqlCurNonScroll,
                             kZqlCurSensitivityDefault);
  }), 0);
  EXPECT_EQ(cursor, 60u);
  EXPECT_EQ(csr.StmType(), kZqlStmCursor);
  ASSERT_EQ(csr.ColCount(), 1);
  ASSERT_EQ(csr.ParCount(), 1);
  value.storeValue(7L);
  ASSERT_TRUE(csr.ParDsc(0)->setBind(&value));
  csr.setStmType(kZqlStmUndefined);
  csr.setCmdStmType(kZqlStmOpen);
  ASSERT_EQ(Raised([&] { server.Open(&csr, cursor); }), 0);
  EXPECT_EQ(driver.lastValue, 7);
  for (long expected : {10L, 20L, 30L}) {
    ASSERT_EQ(Raised([&] { server.Fetch(&csr, cursor, kZqlFetchNext, 0); }), 0);
    EXPECT_EQ(OutInt(csr, 0), expected);
  }
  EXPECT_EQ(Raised([&] { server.Fetch(&csr, cursor, kZqlFetchNext, 0); }), kZqlErrNoData0200);
  ASSERT_EQ(csr.CondCount(), 1);
  EXPECT_EQ(csr.Err(0), kZqlErrNoData0200);
  EXPECT_EQ(OutInt(csr, 0), 30);  // the last row stays

  // Deallocating the statement drops its cursor's area too.
  EXPECT_EQ(decoder.CursorCount(), 1);
  ASSERT_EQ(Raised([&] { server.DeallocStm(&stm, statement); }), 0);
  EXPECT_EQ(decoder.StatementCount(), 0);
  EXPECT_EQ(decoder.CursorCount(), 0);
  const int calls = driver.calls;
  EXPECT_EQ(Raised([&] { server.Fetch(&csr, cursor, kZqlFetchNext, 0); }),
            kZqlErrInvalidCursorName);
  EXPECT_EQ(driver.calls, calls);  // the driver was not asked
  // Disconnecting drops what the connection prepared.
  Prepared();
  EXPECT_EQ(decoder.StatementCount(), 1);
  ASSERT_EQ(Raised([&] { server.Disconnect(&stm, 40, kZqlFalse); }), 0);
  EXPECT_EQ(decoder.StatementCount(), 0);
}

TEST_F(Decoder, FailuresReachTheClientWithACondition) {
  driver.answer = kZqlErrInvalidAuthorizationSpecification;
  uint32_t id = 1;
  EXPECT_EQ(Raised([&] { id = server.Connect(&stm, CZqlUcStr("db"), CZqlUcStr(), CZqlUcStr()); }),
            kZqlErrInvalidAuthorizationSpecification);
  ASSERT_EQ(stm.CondCount(), 1);
  EXPECT_EQ(stm.Err(0), kZqlErrInvalidAuthorizationSpecification);

  driver.raise = true;  // raised instead of answered: the same for the client
  driver.answer = kZqlErrDivisionByZero;
  EXPECT_EQ(Raised([&] { server.Status(&stm, 3, kZqlStatCsrOpen); }), kZqlErrDivisionByZero);
  EXPECT_EQ(stm.Err(0), kZqlErrDivisionByZero);

  driver.raise = false;
  driver.answer = kZqlErrDivisionByZero;
  EXPECT_EQ(Raised([&] { server.Prepare(&stm, 40, CZqlUcStr("SELECT")); }),
            kZqlErrDivisionByZero);
  EXPECT_EQ(decoder.StatementCount(), 0);  // a failed statement is not kept
  EXPECT_EQ(Raised([&] { server.Execute(&stm, 77); }), kZqlErrInvalidSQLStatementName);
}

// A reply's return code and the area's first condition.
std::pair<int32_t, int32_t> Outcome(const std::vector<unsigned char>& reply) {
  CZqlObjPack in(const_cast<unsigned char*>(reply.data()), static_cast<uint32_t>(reply.size()));
  CZqlDDA area;
  int32_t code = -1;
  for (int label = in.getNext(); label != kZqlPackEnd; label = in.getNext()) {
    if (label == kZqlReqLabelArea) area.unpackFrom(&in);
    if (label == kZqlReqLabelRetCode) in.getPackedValue(&code);
  }
  return {code, area.CondCount() > 0 ? area.Err(0) : 0};
}

TEST_F(Decoder, MalformedRequestsAreAnsweredNotCrashedOn) {
  const std::pair<std::vector<unsigned char>, int32_t> cases[] = {
      {std::vector<unsigned char>(40, 0xEE), kZqlErrInternalZQLError},
      {Head(-1), kZqlErrInternalZQLError},  // no request code
      {Head(kZqlReqStatus, 0x10000), kZqlErrIncompatibleEnvironment},  // an older version
      {Head(16), kZqlErrFunctionNotSupported},                         // no such request
  };
  for (const auto& c : cases) {
    std::vector<unsigned char> reply;
    EXPECT_EQ(decoder.Serve(c.first.data(), static_cast<uint32_t>(c.first.size()), &reply), 0);
    EXPECT_EQ(Outcome(reply), std::make_pair(c.second, c.second));  // with its condition
  }
  EXPECT_EQ(driver.calls, 0);
}

}  // namespace
}  // namespace zqltest
