// Descriptor areas: the shared body, plain fields, strings, descriptor
// access and the condition stack.
#include <gtest/gtest.h>

#include <memory>

#include "dda/packbytes.h"
#include "zqlcol.h"
#include "zqldda.h"

namespace {

void Push(CZqlDDA& dda, EZqlError code, int times = 1) {
  for (int i = 0; i < times; ++i) ASSERT_EQ(dda.pushErr(code), 1);
}

// An area of capacity 7 with every name and one condition set.
void Fill(CZqlDDA& a) {
  a.Init(7);
  a.setStmType(kZqlStmCursor);
  a.setNameOfDBMS("dbms");
  a.setSUTable("T1");
  a.setStatusOfDBMS(3);
  Push(a, kZqlErrEOFFound);
}

TEST(DDABody, CapacityIsClampedToOneHundred) {
  for (auto c : {std::pair<int, int>{0, 100}, {500, 100}, {10, 10}}) {
    CZqlDDA dda;
    ASSERT_EQ(dda.Init(c.first), 1);
    EXPECT_EQ(dda.getDiagData()->conds.capacity, c.second) << c.first;
    EXPECT_EQ(dda.getDiagData()->dbmsStatus, kZqlDDANoStatus);
  }
}

TEST(DDABody, WithoutBodyEverythingAnswersEmpty) {
  CZqlDDA dda;
  EXPECT_EQ(dda.setStmType(kZqlStmSelect), 0);
  EXPECT_EQ(dda.StmType(), kZqlStmUndefined);
  EXPECT_EQ(dda.RowCount() + dda.CondCount(), 0);
  EXPECT_EQ(dda.pushErr(kZqlErrEOFFound), 0);
  EXPECT_EQ(dda.Err(0), -1);
  EXPECT_EQ(dda.setNameOfDBMS("x"), 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInvalidCZqlDDAObject);
  EXPECT_EQ(dda.setSUTable("T"), 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(Raised([&] { dda.ColDsc(0); }), kZqlErrInvalidCZqlDDAObject);
  EXPECT_EQ(Raised([&] { dda.AllocParDsc(1); }), kZqlErrInvalidCZqlDDAObject);
  EXPECT_EQ(ZqlTryLevel(), -1);
  dda.Init(1);  // names never set read as empty
  CZqlUcStr s("old");
  ASSERT_EQ(dda.getNameOfDBMS(&s), 1);
  EXPECT_EQ(s.Length(), 0);
  s = "old";
  ASSERT_EQ(dda.getSUTable(&s), 1);
  EXPECT_EQ(s.Length(), 0);
}

TEST(DDABody, CopiesShareTheBodyAndDuplicatesDoNot) {
  CZqlDDA a;
  Fill(a);
  a.setCmdStmType(kZqlStmPrepare);
  a.setErrPos(9);
  a.setCsrState(kZqlTrue);
  int user = 0;
  a.setUserConnectionData(&user);
  {
    CZqlDDA b(a);
    EXPECT_EQ(b.getDiagData(), a.getDiagData());
    b.setRowCount(43);
    EXPECT_EQ(a.RowCount(), 43);
  }
  std::unique_ptr<CZqlDDA> d(a.duplicate());
  ASSERT_TRUE(d);
  EXPECT_NE(d->getDiagData(), a.getDiagData());
  EXPECT_EQ(d->getDiagData()->conds.capacity, 7);
  EXPECT_EQ(d->StmType(), kZqlStmCursor);
  EXPECT_EQ(d->CmdStmType(), kZqlStmPrepare);
  EXPECT_EQ(d->RowCount(), 43);
  EXPECT_EQ(d->ErrPos() + d->CondCount(), 0);  // neither copied
  EXPECT_EQ(d->CsrState(), kZqlTrue);
  EXPECT_EQ(d->getUserConnectionData(), &user);
  CZqlUcStr s, t;
  ASSERT_EQ(d->getNameOfDBMS(&s) + d->getSUTable(&t), 2);
  EXPECT_EQ(Text(s) + "," + Text(t), "dbms,T1");
  uint32_t status = 0;
  ASSERT_EQ(d->getStatusOfDBMS(&status), 1);
  EXPECT_EQ(status, 3u);
  EXPECT_EQ(d->getStatusOfDBMS(nullptr), 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInvalidFunctionArguments);
}

// Renew empties a body it alone holds and keeps it; a shared body or one
// of another capacity is replaced, as by Init.
TEST(DDABody, RenewEmptiesWhatItKeeps) {
  CZqlDDA a;
  Fill(a);
  a.setRowCount(5);
  ASSERT_EQ(a.AllocColDsc(2) + a.AllocParDsc(1), 2);
  Push(a, kZqlErrEOFFound);
  const SZqlDiag* body = a.getDiagData();
  ASSERT_EQ(a.Renew(7), 1);
  EXPECT_EQ(a.getDiagData(), body);
  EXPECT_EQ(a.StmType(), kZqlStmUndefined);
  EXPECT_EQ(a.RowCount() + a.CondCount() + a.ColCount() + a.ParCount(), 0);
  CZqlUcStr s("old"), t("old");
  ASSERT_EQ(a.getNameOfDBMS(&s) + a.getSUTable(&t), 2);
  EXPECT_EQ(s.Length() + t.Length(), 0);
  EXPECT_EQ(a.getDiagData()->dbmsStatus, kZqlDDANoStatus);
  EXPECT_EQ(a.getDiagData()->conds.capacity, 7);
  Push(a, kZqlErrEOFFound);  // the kept records work as new ones
  EXPECT_EQ(a.Err(0), kZqlErrEOFFound);
  {
    CZqlDDA shared(a);
    ASSERT_EQ(a.Renew(7), 1);
    EXPECT_NE(a.getDiagData(), shared.getDiagData());
    EXPECT_EQ(shared.CondCount(), 1);
  }
  ASSERT_EQ(a.Renew(3), 1);
  EXPECT_EQ(a.getDiagData()->conds.capacity, 3);
}

TEST(DDADescriptors, SetsAreSizedOneToOneThousand) {
  CZqlDDA dda;
  dda.Init(10);
  EXPECT_EQ(Raised([&] { dda.AllocColDsc(0); }), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(Raised([&] { dda.AllocColDsc(1001); }), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(dda.ColCount(), 0);
  ASSERT_EQ(dda.AllocColDsc(1000), 1);
  EXPECT_EQ(dda.ColCount(), 1000);
  ASSERT_EQ(dda.AllocParDsc(2), 1);
  EXPECT_NE(dda.ParDsc(1), nullptr);
  EXPECT_EQ(Raised([&] { dda.ParDsc(2); }), kZqlErrIndexInOutOfRange);
  EXPECT_EQ(Raised([&] { dda.ColDsc(-1); }), kZqlErrIndexInOutOfRange);
  EXPECT_EQ(Raised([&] { dda.OutDsc(0); }), kZqlErrInvalidCZqlDDAObject);
}

TEST(DDADescriptors, OutputsBindDuplicatesOfTheColumnValues) {
  std::unique_ptr<CZqlDDA> copy;
  {
    CZqlDDA dda;
    dda.Init(10);
    dda.AllocColDsc(2);
    CZqlInt i;
    i.storeValue(7L);
    dda.ColDsc(0)->setDataDsc(&i);
    EXPECT_EQ(Raised([&] { dda.CreateOutput(); }), kZqlErrInternalZQLError);
    dda.ColDsc(1)->setDataDsc(&i);
    ASSERT_EQ(dda.CreateOutput(), 1);
    CZqlData* v = nullptr;
    ASSERT_EQ(dda.OutDsc(1)->getBind(&v), 1);
    EXPECT_NE(v, dda.ColDsc(1)->getData());
    EXPECT_EQ(v->Type(), kZqlTypeInteger);
    EXPECT_EQ(dda.OutDsc(1)->Column(), dda.ColDsc(1));
    copy.reset(dda.duplicate());
    dda.AllocColDsc(1);  // new columns release the outputs into the old ones
    EXPECT_EQ(dda.Output(), nullptr);
  }
  ASSERT_TRUE(copy);  // the duplicate's outputs point to its own columns
  EXPECT_EQ(copy->OutDsc(1)->Column(), copy->ColDsc(1));
  CZqlData* v = nullptr;
  EXPECT_EQ(copy->OutDsc(0)->getBind(&v), 1);
}

TEST(DDAConditions, FullStackDropsTheOldestAndSetsMore) {
  CZqlDDA dda;
  dda.Init(10);
  for (int i = 0; i < 10; ++i) Push(dda, static_cast<EZqlError>(0x2200 + i));
  EXPECT_EQ(dda.isMore(), 0);
  Push(dda, kZqlErrEOFFound);
  EXPECT_EQ(dda.CondCount(), 10);
  EXPECT_EQ(dda.isMore(), 1);
  EXPECT_EQ(dda.Err(0), kZqlErrEOFFound);
  EXPECT_EQ(dda.Err(9), 0x2201);  // 0x2200 was dropped
  EXPECT_STREQ(dda.SQLSTATE(0), "A0020");
  EXPECT_EQ(Text(dda.ErrMsg(0)), "EOF found");
  // The working record behind the stack is clean again.
  EXPECT_EQ(dda.getDiagData()->conds.recs[10].err, 0);
  EXPECT_EQ(dda.getDiagData()->conds.recs[10].msg, nullptr);
  // Code zero is never pushed, not even onto a full stack.
  EXPECT_EQ(dda.PushCond(), 0);
  EXPECT_EQ(dda.Err(9), 0x2201);
}

TEST(DDAConditions, KeyedItemsKeepTheirFirstValue) {
  CZqlDDA dda;
  dda.Init(3);
  dda.setErr(kZqlErrExceptionRaisedByDBMSDriver);
  dda.setSQLSTATE("42S02");
  dda.setErrMsg("table T not found");
  EXPECT_EQ(dda.setSQLSTATE(nullptr), 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInvalidFunctionArguments);
  ASSERT_EQ(dda.PushCond(), 1);  // given SQLSTATE and message are kept
  EXPECT_STREQ(dda.SQLSTATE(0), "42S02");
  EXPECT_EQ(Text(dda.ErrMsg(0)), "table T not found");
  dda.setErr(kZqlErrEOFFound);
  EXPECT_EQ(dda.setDiagPar(kZqlDiagTableName, CZqlUcStr("T1")), 1);
  EXPECT_EQ(dda.setDiagPar(kZqlDiagTableName, CZqlUcStr("T2")), 1);
  // A tab would end the value and could forge another item.
  dda.setDiagPar(kZqlDiagSchemaName, CZqlUcStr("S\tCOLUMN_NAME\tC"));
  dda.setDiagPar(kZqlDiagReturnedSqlstate, CZqlUcStr("HY000x"));
  dda.setDiagPar(kZqlDiagMessageText, CZqlUcStr("text"));
  EXPECT_EQ(dda.setDiagPar(kZqlDiagMessageLength, CZqlUcStr("x")), 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrIndexInOutOfRange);
  ASSERT_EQ(dda.PushCond(), 1);
  const std::pair<EZqlDiag, const char*> items[] = {
      {kZqlDiagTableName, "T1"},
      {kZqlDiagColumnName, ""},
      {kZqlDiagSchemaName, "S COLUMN_NAME C"},
      {kZqlDiagReturnedSqlstate, "HY000"},
      {kZqlDiagMessageText, "text"},
      {kZqlDiagMessageOctetLength, "4"},  // decimal here, unlike the exception's octal
  };
  for (const auto& item : items) {
    CZqlUcStr s;
    ASSERT_EQ(dda.getDiagPar(0, item.first, &s), 1) << item.second;
    EXPECT_EQ(Text(s), item.second);
  }
  CZqlUcStr s;
  EXPECT_EQ(dda.getDiagPar(0, kZqlDiagUserDefined, &s), 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInvalidFunctionArguments);
}

TEST(DDAConditions, NumberItemsCountFromTheOldest) {
  CZqlDDA dda;
  dda.Init(5);
  Push(dda, kZqlErrEOFFound);
  Push(dda, kZqlErrInsufficientMemory);
  int32_t n = -1, m = -1, len = -1;
  ASSERT_EQ(dda.getDiagPar(0, kZqlDiagConditionNumber, &n), 1);
  ASSERT_EQ(dda.getDiagPar(1, kZqlDiagConditionNumber, &m), 1);
  ASSERT_EQ(dda.getDiagPar(0, kZqlDiagMessageLength, &len), 1);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(m, 0);
  EXPECT_EQ(len, 19);  // "insufficient memory"
  EXPECT_EQ(dda.getDiagPar(0, kZqlDiagTableName, &n), 0);
  EXPECT_EQ(dda.getDiagPar(2, kZqlDiagMessageLength, &n), 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrIndexInOutOfRange);
}

TEST(DDAConditions, PushCondAppendsAnotherAreasConditions) {
  CZqlDDA a, b;
  a.Init(3);
  b.Init(10);
  Push(b, kZqlErrEOFFound);
  Push(b, kZqlErrStackOverflow);
  Push(b, kZqlErrStackUnderflow);
  a.setErr(kZqlErrInsufficientMemory);  // the working record goes first
  ASSERT_EQ(a.PushCond(&b), 1);
  EXPECT_EQ(a.CondCount(), 3);
  EXPECT_EQ(a.isMore(), 1);
  EXPECT_EQ(a.Err(0), kZqlErrStackUnderflow);
  EXPECT_EQ(a.Err(2), kZqlErrEOFFound);
  EXPECT_NE(a.ErrMsg(0), b.ErrMsg(0));  // copies
  EXPECT_EQ(a.PushCond(nullptr), 0);
  // Of itself: the stack doubles.
  ASSERT_EQ(b.PushCond(&b), 1);
  ASSERT_EQ(b.CondCount(), 6);
  EXPECT_EQ(b.Err(0), kZqlErrStackUnderflow);
  EXPECT_EQ(b.Err(2), kZqlErrEOFFound);
  EXPECT_EQ(b.Err(3), kZqlErrStackUnderflow);
}

TEST(DDAConditions, FlushAndSetCondQtyStartAfresh) {
  CZqlDDA dda;
  dda.Init(2);
  Push(dda, kZqlErrEOFFound, 3);
  dda.setErrMsg("pending");
  ASSERT_EQ(dda.FlushCond(), 1);
  EXPECT_EQ(dda.CondCount(), 0);
  EXPECT_EQ(dda.isMore(), 0);
  EXPECT_EQ(dda.getDiagData()->conds.recs[0].msg, nullptr);
  Push(dda, kZqlErrEOFFound);
  ASSERT_EQ(dda.SetCondQty(5), 1);
  EXPECT_EQ(dda.CondCount(), 0);
  EXPECT_EQ(dda.getDiagData()->conds.capacity, 5);
  CZqlDDA empty;
  ASSERT_EQ(empty.Init(), 1);
  EXPECT_EQ(empty.pushErr(kZqlErrEOFFound), 0);  // no records yet
  EXPECT_EQ(empty.FlushCond(), 0);
}

}  // namespace
