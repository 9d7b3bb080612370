// Conditions on the current descriptor area: cut text output is a warning
// only, data exceptions are pushed before they are raised.

#include "../data/common.h"

namespace {

TEST(Diagnostics, CutDatetimeTextIsAWarning) {
  CDiagScope area;
  CZqlTimeStamp ts;
  ts.storeValue("2000-01-01 10:00:00", 20);
  char buf[11];
  EXPECT_EQ(ZqlTry([&] { EXPECT_EQ(ts.getValue(buf, sizeof buf), 1); }), 1);
  EXPECT_STREQ(buf, "2000-01-01");
  EXPECT_EQ(area.Codes(), std::vector<int>{kZqlErrStringDataRightTruncation0104});
}

TEST(Diagnostics, CutIntervalTextIsRefusedWithoutCondition) {
  CDiagScope area;
  CZqlYM ym(kZqlIYearToMonth);
  ym.storeValue("1-2", 4);
  char buf[5];
  EXPECT_EQ(ym.getValue(buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_TRUE(area.None());
}

TEST(Diagnostics, ErrorsArePushedThenRaised) {
  CDiagScope area;
  CZqlDate d;
  d.set(2000, 1, 31);
  CZqlYM month(kZqlIMonth);
  month.setMonths(1);
  EXPECT_EQ(ZqlTry([&] { d = d + month; }), 0);
  CZqlDT dt(kZqlIDayToSecond);
  EXPECT_EQ(ZqlTry([&] { dt.storeValue("1 02:03", 8); }), 0);
  // Without a frame the raise returns; the condition is still there.
  EXPECT_EQ(dt.storeValue("x", 2), 0);
  EXPECT_EQ(area.Codes(), (std::vector<int>{kZqlErrDatetimeFieldOverflow,
                                            kZqlErrWrongIntervalString,
                                            kZqlErrInvalidCharacterValueForCast}));
  EXPECT_EQ(d.Day(), 31u);
  EXPECT_TRUE(dt.isNull());
}

}  // namespace
