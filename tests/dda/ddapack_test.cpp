// Packed descriptor areas: exact bytes of each conditional block, the round
// trip between a client's and a driver's area, and refusal of damage.
#include <gtest/gtest.h>

#include <memory>

#include "dda/packbytes.h"
#include "zqlcol.h"
#include "zqldda.h"

namespace {

CZqlInt Int(long v) {
  CZqlInt i;
  i.storeValue(v);
  return i;
}

// A driver's answer to PREPARE of a SELECT: two columns, one parameter.
void DescribeSelect(CZqlDDA* dda) {
  dda->Init(10);
  dda->setCmdStmType(kZqlStmPrepare);
  dda->setStmType(kZqlStmSelect);
  dda->AllocColDsc(2);
  dda->ColDsc(0)->setName(CZqlIdent("ID"));
  const CZqlInt i;
  dda->ColDsc(0)->setDataDsc(&i);
  CZqlChar c(10);
  c.setVarying();
  dda->ColDsc(1)->setName(CZqlIdent("NAME"));
  dda->ColDsc(1)->setDataDsc(&c);
  dda->AllocParDsc(1);
  dda->ParDsc(0)->setDsc(&i);
  dda->ParDsc(0)->setNullable(kZqlFalse);
}

// ---------------------------------------------------------------------------
// Exact bytes
// ---------------------------------------------------------------------------

TEST(DDAPack, AreaWithoutConditionsHasNoConditionBlock) {
  CZqlDDA dda;
  dda.Init(10);
  dda.setCmdStmType(kZqlStmExecute);
  dda.setRowCount(5);
  dda.setNameOfDBMS("not for EXECUTE");
  dda.setStatusOfDBMS(1);
  const Bytes expected =
      CPackBytes().Long(0, 0x101).Long(2, 5).End(0).Buffer();
  EXPECT_EQ(PackObject(dda), expected);
  EXPECT_EQ(dda.packSize(), expected.size());
  CZqlDDA none;
  EXPECT_EQ(none.packSize(), 0u);
}

TEST(DDAPack, ConditionBlockEndsWithTwoTerminators) {
  CZqlDDA dda;
  dda.Init(2);
  dda.setCmdStmType(kZqlStmConnect);
  dda.setStmType(kZqlStmCursor);
  dda.setErrPos(3);
  dda.setCsrState(kZqlTrue);
  dda.setSUTable("T");
  dda.setNameOfDBMS("db");
  dda.setStatusOfDBMS(7);
  dda.pushErr(kZqlErrEOFFound);  // dropped: the stack holds 2
  dda.setErr(kZqlErrExceptionRaisedByDBMSDriver);
  dda.setSQLSTATE("HY000");
  dda.setErrMsg("m1");
  dda.setDiagPar(kZqlDiagTableName, CZqlUcStr("T"));
  dda.PushCond();
  dda.pushErr(kZqlErrEOFFound);
  const Bytes expected = CPackBytes().Long(0, 0x101).Long(1, kZqlStmCursor).Long(3, 3).Long(4, 1)
                             .Uc(6, "T").Uc(7, "db").ULong(8, 7).Long(100, 0).Long(19, 2)
                             .Long(18, 1).Long(0, 0xCF00).Str(1, "HY000").Uc(2, "m1")
                             .Uc(3, "\tTABLE_NAME\tT").End(0).Long(0, 0xA014)
                             .Str(1, "A0020").Uc(2, "EOF found").End(0).End(0)
                             .End(0).Buffer();
  EXPECT_EQ(PackObject(dda), expected);
}

TEST(DDAPack, ColumnsAndParameterDescriptionsFollowAPrepare) {
  CZqlDDA dda;
  DescribeSelect(&dda);
  CPackBytes expected;
  expected.Long(0, 0x101).Long(1, kZqlStmSelect);
  expected.Long(10, 0).Long(0, 2);
  expected.Items(PackObject(*dda.ColDsc(0))).Items(PackObject(*dda.ColDsc(1)));
  expected.Long(11, 0).Long(0, 1).Long(1, 1).Items(PackObject(*dda.ParDsc(0)));
  expected.End(0);
  EXPECT_EQ(PackObject(dda), expected.Buffer());
  // A described statement that is not a query sends no columns.
  dda.setStmType(kZqlStmInsert);
  const Bytes insert = PackObject(dda);
  CZqlDDA back;
  ASSERT_EQ(UnpackInto(&back, insert), 0);
  EXPECT_EQ(back.Columns(), nullptr);
  EXPECT_EQ(back.ParCount(), 1);
}

TEST(DDAPack, ExecuteSendsOnlyTheBoundValues) {
  CZqlDDA dda;
  DescribeSelect(&dda);
  dda.AllocParDsc(2);
  const CZqlInt dsc;
  dda.ParDsc(0)->setDsc(&dsc);
  dda.ParDsc(1)->setDsc(&dsc);
  CZqlInt v1 = Int(11), v2 = Int(-2);
  ASSERT_EQ(dda.ParDsc(0)->setBind(&v1), 1);
  ASSERT_EQ(dda.ParDsc(1)->setBind(&v2), 1);
  dda.setStmType(kZqlStmUndefined);
  dda.setCmdStmType(kZqlStmExecute);
  const Bytes expected = CPackBytes().Long(0, 0x101).Long(11, 0).Long(0, 2).Long(1, 0)
                             .Items(Group(10, v1)).Items(Group(10, v2)).End(0).Buffer();
  EXPECT_EQ(PackObject(dda), expected);
  EXPECT_EQ(dda.Params()->PackFlag(), 0);
}

TEST(DDAPack, FetchSendsTheRowValues) {
  CZqlDDA dda;
  DescribeSelect(&dda);
  ASSERT_EQ(dda.CreateOutput(), 1);
  CZqlData* v = nullptr;
  dda.OutDsc(0)->getBind(&v);
  v->storeValue(99L);
  dda.setCmdStmType(kZqlStmFetch);
  dda.setStmType(kZqlStmCursor);
  dda.AllocParDsc(1);  // no descriptor, nothing bound: not sent for FETCH
  const Bytes expected = CPackBytes().Long(0, 0x101).Long(1, kZqlStmCursor).Long(12, 0).Long(0, 2)
                             .Items(PackObject(*dda.OutDsc(0), true))
                             .Items(PackObject(*dda.OutDsc(1), true)).End(0).Buffer();
  EXPECT_EQ(PackObject(dda), expected);
}

// ---------------------------------------------------------------------------
// Round trips
// ---------------------------------------------------------------------------

// The row count and the updatable table read back: ZQL_ROWQTY in
// tests/lisp/e2e/conn.lsp and the positioned changes in cursor.lsp.
TEST(DDAUnpack, ReplyArrivesInAnAreaWithoutBody) {
  CZqlDDA driver;
  driver.Init(1);
  driver.pushErr(kZqlErrEOFFound);  // dropped below: more conditions
  driver.setCmdStmType(kZqlStmConnect);
  driver.setCsrUpd(kZqlTrue);
  driver.setNameOfDBMS("sqlite");
  driver.setStatusOfDBMS(0);
  driver.setErr(kZqlErrExceptionRaisedByDBMSDriver);
  driver.setDiagPar(kZqlDiagServerName, CZqlUcStr("srv"));
  driver.PushCond();
  CZqlDDA client;
  ASSERT_EQ(UnpackInto(&client, PackObject(driver)), 0);
  EXPECT_EQ(client.CsrUpd(), kZqlTrue);
  EXPECT_EQ(client.CmdStmType(), kZqlStmUndefined);  // never packed
  CZqlUcStr name, server;
  uint32_t status = 9;
  client.getNameOfDBMS(&name);
  client.getStatusOfDBMS(&status);
  EXPECT_EQ(Text(name) + "," + std::to_string(status), "sqlite,0");
  ASSERT_EQ(client.CondCount(), 1);
  EXPECT_EQ(client.isMore(), 1);
  EXPECT_EQ(client.getDiagData()->conds.capacity, 1);
  EXPECT_EQ(client.Err(0), kZqlErrExceptionRaisedByDBMSDriver);
  EXPECT_STREQ(client.SQLSTATE(0), "CF000");
  client.getDiagPar(0, kZqlDiagServerName, &server);
  EXPECT_EQ(Text(server), "srv");
}

TEST(DDAUnpack, ReplyConditionsReplaceTheStack) {
  CZqlDDA driver;
  driver.Init(10);
  driver.pushErr(kZqlErrStackOverflow);
  driver.pushErr(kZqlErrStackUnderflow);
  CZqlDDA client;
  client.Init(10);
  for (int i = 0; i < 12; ++i) client.pushErr(kZqlErrEOFFound);
  client.setErrMsg("left in the working record");
  ASSERT_EQ(UnpackInto(&client, PackObject(driver)), 0);
  ASSERT_EQ(client.CondCount(), 2);
  EXPECT_EQ(client.isMore(), 0);
  EXPECT_EQ(client.getDiagData()->conds.capacity, 2);
  EXPECT_EQ(client.Err(0), kZqlErrStackUnderflow);
  EXPECT_EQ(client.Err(1), kZqlErrStackOverflow);
  EXPECT_EQ(client.getDiagData()->conds.recs[2].msg, nullptr);
}

// EXECUTE between a client and a driver: the client's own value travels,
// the driver owns what it got. The described columns and the fetched row
// arriving at the client: ZQL_COLDSC in tests/lisp/e2e/dsc.lsp and
// ZQL_FETCH in cursor.lsp.
TEST(DDAUnpack, ExecuteValuesBetweenClientAndDriver) {
  CZqlDDA driver;
  DescribeSelect(&driver);
  CZqlDDA client;
  client.Init(10);
  ASSERT_EQ(UnpackInto(&client, PackObject(driver)), 0);
  ASSERT_EQ(client.ParCount(), 1);
  CZqlInt mine = Int(123);
  client.ParDsc(0)->setBind(&mine);
  client.setStmType(kZqlStmUndefined);
  client.setCmdStmType(kZqlStmExecute);
  ASSERT_EQ(UnpackInto(&driver, PackObject(client)), 0);
  EXPECT_EQ(driver.Params()->ValuesReceived(), 1);
  CZqlData* got = nullptr;
  ASSERT_EQ(driver.ParDsc(0)->getBind(&got), 1);
  EXPECT_EQ(Text(*got), "123");
  // Values arriving at the client replace its binding, never free it.
  driver.setStmType(kZqlStmUndefined);
  driver.setCmdStmType(kZqlStmExecute);
  got->storeValue(5L);
  ASSERT_EQ(UnpackInto(&client, PackObject(driver)), 0);
  client.ParDsc(0)->getBind(&got);
  EXPECT_NE(got, &mine);
  EXPECT_EQ(Text(*got), "5");
  EXPECT_EQ(Text(mine), "123");
}

// ---------------------------------------------------------------------------
// Damage
// ---------------------------------------------------------------------------

// A full area: conditions, columns, parameters and a row.
Bytes FullArea(EZqlStatement cmd, EZqlStatement stm) {
  CZqlDDA dda;
  DescribeSelect(&dda);
  dda.CreateOutput();
  CZqlInt v = Int(1);
  dda.ParDsc(0)->setBind(&v);
  dda.pushErr(kZqlErrEOFFound);
  dda.setDiagPar(kZqlDiagCursorName, CZqlUcStr("C1"));
  dda.pushErr(kZqlErrStackOverflow);
  dda.setCmdStmType(cmd);
  dda.setStmType(stm);
  return PackObject(dda);
}

// The client-side area that such a reply is read into.
void ClientArea(CZqlDDA* dda) {
  DescribeSelect(dda);
  dda->setStmType(kZqlStmUndefined);
}

// Damaged areas are refused with 0xA00C and leave no descriptors behind.
TEST(DDAUnpack, DamagedAreasAreRefused) {
  const auto head = [] { return CPackBytes().Long(0, 0x101); };
  const Bytes damaged[] = {
      CPackBytes().Long(0, 0x102).End(0).Buffer(),  // wrong version
      CPackBytes().Long(1, 0x101).Buffer(),
      CPackBytes().Str(0, "x").Buffer(),
      Bytes(),
      head().Long(10, 0).Long(0, -1).Buffer(),  // absurd column counts
      head().Long(10, 0).Long(0, 0).Buffer(),
      head().Long(10, 0).Long(0, 1001).Buffer(),
      head().Long(10, 0).Long(0, 0x7FFFFFFF).Buffer(),
      head().Long(11, 0).Long(0, 5000).Long(1, 1).Buffer(),  // parameters
      head().Long(11, 0).Long(0, 1).Long(1, 7).Buffer(),     // unknown flag
      head().Long(11, 0).Long(0, 1).Long(1, 0).Buffer(),     // values, no parameters
      head().Long(100, 0).Long(18, 1).Buffer(),              // cut condition block
      head().Long(12, 0).Long(0, 1).Buffer(),                // row values, no columns
  };
  for (const Bytes& bytes : damaged) {
    CZqlDDA dda;
    EXPECT_EQ(UnpackInto(&dda, bytes), kZqlErrInternalZQLError) << &bytes - damaged;
    EXPECT_EQ(dda.ColCount(), 0);
  }
  CZqlDDA described;
  ClientArea(&described);
  EXPECT_EQ(UnpackInto(&described, head().Long(12, 0).Long(0, 3).Buffer()), kZqlErrInternalZQLError);
}

TEST(DDAUnpack, ConditionCountsBeyondTheCapacityDropTheOldest) {
  CPackBytes b;
  b.Long(0, 0x101).Long(100, 0).Long(19, 1);
  for (int i = 0; i < 3; ++i) b.Long(0, 0xA009 + i).End(0);
  b.End(0).End(0);
  CZqlDDA dda;
  ASSERT_EQ(UnpackInto(&dda, b.Buffer()), 0);
  EXPECT_EQ(dda.CondCount(), 1);
  EXPECT_EQ(dda.isMore(), 1);
  EXPECT_EQ(dda.Err(0), 0xA00B);
}

// Every cut of a sound reply, and every byte of it spoiled, is read or
// refused with 0xA00C: nothing else, and nothing outside the bytes.
TEST(DDAUnpack, CutAndSpoiledRepliesNeverReadPastTheEnd) {
  const EZqlStatement kinds[][2] = {{kZqlStmPrepare, kZqlStmSelect},
                                    {kZqlStmExecute, kZqlStmUndefined},
                                    {kZqlStmFetch, kZqlStmCursor}};
  for (const auto& kind : kinds) {
    const Bytes full = FullArea(kind[0], kind[1]);
    for (size_t n = 0; n < full.size(); ++n) {
      Bytes cut(full.begin(), full.begin() + long(n));
      CZqlDDA dda;
      ClientArea(&dda);
      const int code = UnpackInto(&dda, cut);
      EXPECT_TRUE(code == 0 || code == kZqlErrInternalZQLError) << n << " " << code;
    }
    for (size_t at = 8; at < full.size(); ++at) {
      Bytes spoiled = full;
      spoiled[at] ^= 0xA5;
      CZqlDDA dda;
      ClientArea(&dda);
      const int code = UnpackInto(&dda, spoiled);
      EXPECT_TRUE(code == 0 || code == kZqlErrInternalZQLError) << at << " " << code;
    }
  }
}

}  // namespace
