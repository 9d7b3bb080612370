// The error layer and descriptor areas: pushes land in the current area,
// and an area's conditions leave the library as an exception.
#include <gtest/gtest.h>

#include "data/common.h"
#include "zqldiag.h"

namespace {

// A warning of a value class, a raised condition and an operating-system
// error all land in the current area.
TEST(DDAErrors, PushesLandInTheCurrentArea) {
  CDiagScope current;
  CZqlDDA& dda = current.Area();
  CZqlInt value;
  value.storeValue(123456L);
  char text[4];
  ASSERT_EQ(value.getValue(text, sizeof text), 1);  // cut: a warning only
  EXPECT_STREQ(text, "123");
  ASSERT_EQ(dda.CondCount(), 1);
  EXPECT_EQ(dda.Err(0), kZqlErrStringDataRightTruncation0104);
  EXPECT_STREQ(dda.SQLSTATE(0), "01004");
  EXPECT_EQ(Text(dda.ErrMsg(0)), "string data, right truncation");
  EXPECT_EQ(Raised([] { ZqlPushnThrow(kZqlErrStackOverflow); }), kZqlErrStackOverflow);
  ASSERT_EQ(dda.CondCount(), 2);
  EXPECT_EQ(dda.Err(0), kZqlErrStackOverflow);
  ZqlGenOsError(2);  // its text is the message
  ASSERT_EQ(dda.CondCount(), 3);
  EXPECT_EQ(dda.Err(0), kZqlErrOperatingSystemError);
  CZqlUcStr expected;
  ZqlOsErrorText(2, &expected);
  EXPECT_EQ(Text(dda.ErrMsg(0)), Text(expected));
}

TEST(DDAErrors, ConditionsViewForTheErrorLayer) {
  CZqlDDA dda;
  const SZqlCondition* conds = nullptr;
  int count = -1, capacity = -1;
  EXPECT_EQ(ZqlDDAConditions(&dda, &conds, &count, &capacity), 0);
  EXPECT_EQ(ZqlDDAPushCondition(&dda, kZqlErrEOFFound, nullptr), 0);
  dda.Init(4);
  const CZqlUcStr msg("own text");
  ASSERT_EQ(ZqlDDAPushCondition(&dda, kZqlErrEOFFound, &msg), 1);
  EXPECT_EQ(ZqlDDAPushCondition(&dda, 0, nullptr), 0);
  ASSERT_EQ(ZqlDDAConditions(&dda, &conds, &count, &capacity), 1);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(capacity, 4);
  EXPECT_EQ(Text(conds[0].msg), "own text");
}

TEST(DDAErrors, ExceptionCarriesTheAreasConditionsNewestFirst) {
  CZqlDDA dda;
  dda.Init(10);
  dda.pushErr(kZqlErrEOFFound);
  dda.setErr(kZqlErrExceptionRaisedByDBMSDriver);
  dda.setDiagPar(kZqlDiagTableName, CZqlUcStr("EMP"));
  dda.PushCond();
  CZqlDDA* previous = ZqlSetCurrentDDA(&dda);
  ZqlPushError(kZqlErrStackOverflow);
  ZqlSetCurrentDDA(previous);
  CZqlExceptionHandler handler;
  const int thrown = handler.Run([&] { ZqlExceptionsFromDDA(&dda); });
  ASSERT_EQ(thrown, 1);
  ASSERT_NE(handler.exception, nullptr);
  const CZqlException& e = *handler.exception;
  ASSERT_EQ(e.CondQty(), 3);
  EXPECT_EQ(e.Err(0), kZqlErrStackOverflow);
  EXPECT_EQ(e.Err(1), kZqlErrExceptionRaisedByDBMSDriver);
  EXPECT_EQ(e.Err(2), kZqlErrEOFFound);
  CZqlUcStr s;
  ASSERT_EQ(e.getDiagPar(1, kZqlDiagTableName, &s), 1);
  EXPECT_EQ(Text(s), "EMP");
  EXPECT_EQ(Text(e.ErrMsg(2)), "EOF found");
  // Copies: the area keeps its own conditions.
  EXPECT_EQ(dda.CondCount(), 3);
  EXPECT_NE(e.ErrMsg(0), dda.ErrMsg(0));
}

TEST(DDAErrors, ExceptionFromAnAreaWithoutRecordsCarriesTheTryCode) {
  CZqlDDA dda;
  dda.Init();
  EXPECT_EQ(Raised([] { ZqlTryThrow(kZqlErrStackUnderflow, 0, 0); }), kZqlErrStackUnderflow);
  CZqlExceptionHandler handler;
  ASSERT_EQ(handler.Run([&] { ZqlExceptionsFromDDA(&dda); }), 1);
  ASSERT_TRUE(handler.exception && handler.exception->CondQty() == 1);
  EXPECT_EQ(handler.exception->Err(0), kZqlErrStackUnderflow);
}

}  // namespace
