// DATE: validation around leap years and month ends, the text form, month
// and day arithmetic with their overflow and underflow errors, differences,
// comparisons and the host record.

#include <gtest/gtest.h>

#include <string>

#include "zqlsdata.h"

namespace {

// The code a body raised, or 0 when it ran to its end.
template <class F>
int Raised(F&& body) {
  return ZqlTry(body) ? 0 : ZqlTryCode();
}

std::string Text(const CZqlData& v) {
  char buf[80];
  v.getValue(buf, sizeof buf);
  return buf;
}

CZqlDate Date(unsigned short y, unsigned short m, unsigned short d) {
  CZqlDate v;
  EXPECT_EQ(Raised([&] { v.set(y, m, d); }), 0) << y << "-" << m << "-" << d;
  return v;
}

CZqlYM Months(long n) {
  CZqlYM v(kZqlIMonth, 6);
  EXPECT_EQ(v.set(n < 0 ? kZqlTrue : kZqlFalse, 0, static_cast<unsigned int>(n < 0 ? -n : n)), 1);
  return v;
}

CZqlYM Years(long n) {
  CZqlYM v(kZqlIYear);
  v.setSign(n < 0 ? kZqlTrue : kZqlFalse);
  EXPECT_EQ(v.setYears(static_cast<unsigned int>(n < 0 ? -n : n)), 1);
  return v;
}

CZqlDT Days(long n) {
  CZqlDT v(kZqlIDay, 6);
  v.setSign(n < 0 ? kZqlTrue : kZqlFalse);
  EXPECT_EQ(v.setDays(static_cast<unsigned int>(n < 0 ? -n : n)), 1);
  return v;
}

constexpr int kFormat = kZqlErrInvalidDatetimeFormat;
constexpr int kCast = kZqlErrInvalidCharacterValueForCast;
constexpr int kOverflow = kZqlErrDatetimeFieldOverflow;
constexpr int kUnderflow = kZqlErrDatetimeFieldUnderflow;

TEST(DateValidation, LeapYearsByTheCenturyRules) {
  EXPECT_TRUE(CZqlDate::IsLeapYear(2000));
  EXPECT_TRUE(CZqlDate::IsLeapYear(2024));
  EXPECT_FALSE(CZqlDate::IsLeapYear(1900));
  EXPECT_FALSE(CZqlDate::IsLeapYear(2100));
  EXPECT_FALSE(CZqlDate::IsLeapYear(2023));
  CZqlDate d;
  EXPECT_EQ(Raised([&] { d.set(2000, 2, 29); }), 0);
  EXPECT_EQ(Raised([&] { d.set(2024, 2, 29); }), 0);
  EXPECT_EQ(Raised([&] { d.set(1900, 2, 29); }), kFormat);
  EXPECT_EQ(Raised([&] { d.set(2023, 2, 29); }), kFormat);
  EXPECT_EQ(Raised([&] { d.set(2100, 2, 29); }), kFormat);
  EXPECT_EQ(Text(d), "2024-02-29");  // failures left the last good value
}

TEST(DateValidation, FieldLimits) {
  CZqlDate d;
  EXPECT_EQ(Raised([&] { d.set(0, 1, 1); }), kFormat);
  EXPECT_EQ(Raised([&] { d.set(10000, 1, 1); }), kFormat);
  EXPECT_EQ(Raised([&] { d.set(2000, 0, 1); }), kFormat);
  EXPECT_EQ(Raised([&] { d.set(2000, 13, 1); }), kFormat);
  EXPECT_EQ(Raised([&] { d.set(2000, 1, 0); }), kFormat);
  EXPECT_EQ(Raised([&] { d.set(2000, 4, 31); }), kFormat);
  EXPECT_TRUE(d.isNull());
  EXPECT_EQ(Raised([&] { d.set(1, 1, 1); }), 0);
  EXPECT_EQ(Raised([&] { d.set(9999, 12, 31); }), 0);
  EXPECT_EQ(d.Year(), 9999u);
  EXPECT_EQ(d.Month(), 12u);
  EXPECT_EQ(d.Day(), 31u);
  EXPECT_EQ(d.Hour(), 0u);
  d.setNull();
  EXPECT_EQ(d.Year(), 0u);
  EXPECT_EQ(d.Day(), 0u);
}

TEST(DateValidation, FieldSettersCheckWithTheOtherFields) {
  CZqlDate d = Date(2000, 2, 29);
  EXPECT_EQ(Raised([&] { d.setYear(2001); }), kFormat);
  EXPECT_EQ(Raised([&] { d.setYear(2004); }), 0);
  EXPECT_EQ(Raised([&] { d.setMonth(4); }), 0);
  EXPECT_EQ(Raised([&] { d.setDay(31); }), kFormat);
  EXPECT_EQ(Text(d), "2004-04-29");
  // On a null date the missing fields start at January 1st.
  CZqlDate n;
  EXPECT_EQ(Raised([&] { n.setDay(31); }), 0);
  EXPECT_EQ(Text(n), "0001-01-31");
}

TEST(DateText, ReadAndWritten) {
  CZqlDate d;
  EXPECT_EQ(Raised([&] { d.storeValue("2000-02-29", 11); }), 0);
  EXPECT_EQ(Text(d), "2000-02-29");
  EXPECT_EQ(Raised([&] { d.storeValue("  1-2-3  ", 10); }), 0);
  EXPECT_EQ(Text(d), "0001-02-03");
  EXPECT_EQ(d.ReturnLength(), 10u);
  for (const char* bad : {"1900-02-29", "0000-01-01", "10000-01-01", "2000-01", "2000/01/01",
                          "2000-01-01x", "", "x", "-2000-01-01", "2000-01-01T10:00:00"}) {
    EXPECT_EQ(Raised([&] { d.storeValue(bad, 40); }), kCast) << bad;
  }
  EXPECT_EQ(Text(d), "0001-02-03");
  CZqlUcStr lit;
  EXPECT_EQ(d.SQLLiteral(&lit), 1);
  char buf[40];
  EXPECT_STREQ(lit.getToChar(buf, sizeof buf), "DATE '0001-02-03'");
  d.setNull();
  EXPECT_EQ(d.SQLLiteral(&lit), 0);
  EXPECT_STREQ(lit.getToChar(buf, sizeof buf), "null");
}

TEST(DateText, ShortBufferIsCutWithWarningOnly) {
  const CZqlDate d = Date(2000, 1, 2);
  char buf[5];
  EXPECT_EQ(Raised([&] { EXPECT_EQ(d.getValue(buf, sizeof buf), 1); }), 0);
  EXPECT_STREQ(buf, "2000");
}

TEST(DateArithmetic, MonthsKeepTheDay) {
  EXPECT_EQ(Text(Date(2000, 1, 31) + Months(2)), "2000-03-31");
  EXPECT_EQ(Text(Date(2000, 1, 29) + Months(1)), "2000-02-29");
  EXPECT_EQ(Text(Date(2000, 11, 15) + Months(3)), "2001-02-15");
  EXPECT_EQ(Text(Date(2000, 1, 15) - Months(1)), "1999-12-15");
  EXPECT_EQ(Text(Date(2000, 1, 15) + Months(-13)), "1998-12-15");
  EXPECT_EQ(Text(Years(2) + Date(2000, 2, 28)), "2002-02-28");
}

TEST(DateArithmetic, MissingDayOverflowsAndEarlyYearUnderflows) {
  CZqlDate r;
  EXPECT_EQ(Raised([&] { r = Date(2000, 1, 31) + Months(1); }), kOverflow);
  EXPECT_EQ(Raised([&] { r = Date(2000, 3, 31) - Months(1); }), kOverflow);
  EXPECT_EQ(Raised([&] { r = Date(2000, 2, 29) + Years(1); }), kOverflow);
  EXPECT_EQ(Raised([&] { r = Date(1, 1, 15) - Years(2); }), kUnderflow);
  // The year 0 does not exist: one year back from the year 1 underflows.
  EXPECT_EQ(Raised([&] { r = Date(1, 1, 15) - Years(1); }), kUnderflow);
  EXPECT_EQ(Raised([&] { r = Date(9999, 6, 1) + Years(1); }), kOverflow);
  EXPECT_EQ(Raised([&] { r = Date(9999, 6, 1) + Months(7); }), kOverflow);
  EXPECT_EQ(Raised([&] { r = Date(9999, 6, 1) + Months(6); }), 0);
  r.setNull();
  EXPECT_TRUE(r.isNull());
  // Without a frame the raise returns and the result is null.
  EXPECT_TRUE((Date(2000, 1, 31) + Months(1)).isNull());
}

TEST(DateArithmetic, DaysCrossMonthsAndYears) {
  EXPECT_EQ(Text(Date(2000, 2, 28) + Days(1)), "2000-02-29");
  EXPECT_EQ(Text(Date(1900, 2, 28) + Days(1)), "1900-03-01");
  EXPECT_EQ(Text(Date(1999, 12, 31) + Days(1)), "2000-01-01");
  EXPECT_EQ(Text(Date(2000, 3, 1) - Days(1)), "2000-02-29");
  EXPECT_EQ(Text(Date(2000, 1, 1) + Days(-366)), "1998-12-31");
  EXPECT_EQ(Text(Date(2000, 1, 1) + Days(366)), "2001-01-01");
  EXPECT_EQ(Text(Days(400 * 365 + 97) + Date(1600, 1, 1)), "2000-01-01");
  CZqlDate r;
  EXPECT_EQ(Raised([&] { r = Date(1, 1, 1) - Days(1); }), kUnderflow);
  EXPECT_EQ(Raised([&] { r = Date(9999, 12, 31) + Days(1); }), kOverflow);
  CZqlDT hours(kZqlIHour);
  hours.setHours(24);
  EXPECT_EQ(Raised([&] { r = Date(2000, 1, 1) + hours; }), kZqlErrInvalidFunctionArguments);
}

TEST(DateArithmetic, NullOperandsGiveNull) {
  const CZqlDate null;
  EXPECT_TRUE((null + Months(1)).isNull());
  EXPECT_TRUE((Date(2000, 1, 1) + CZqlYM(kZqlIMonth)).isNull());
  EXPECT_TRUE((null - Days(1)).isNull());
  EXPECT_TRUE((Date(2000, 1, 1) + CZqlDT(kZqlIDay)).isNull());
}

TEST(DateArithmetic, Differences) {
  const CZqlYM ym(kZqlIYearToMonth);
  CZqlYM diff = Date(2001, 3, 1).YMDiff(Date(2000, 1, 31), ym);
  EXPECT_EQ(diff.IntervalType(), kZqlIYearToMonth);
  EXPECT_EQ(Text(diff), "0001-02");
  diff = Date(2000, 1, 31).YMDiff(Date(2001, 3, 1), ym);
  EXPECT_EQ(Text(diff), "-0001-02");
  EXPECT_TRUE(Date(2000, 1, 1).YMDiff(CZqlDate(), ym).isNull());
  const CZqlDT days(kZqlIDay, 6);
  EXPECT_EQ(Text(Date(2000, 3, 1).DTDiff(Date(2000, 2, 1), days)), "000029");
  EXPECT_EQ(Text(Date(1999, 1, 1).DTDiff(Date(2000, 1, 1), days)), "-000365");
  CZqlDT small(kZqlIDay, 1);
  EXPECT_EQ(Raised([&] { Date(2000, 1, 1).DTDiff(Date(1999, 1, 1), small); }),
            kZqlErrIntervalFieldOverflow);
}

TEST(DateComparison, ByMonthThenDayAndNeverWithNull) {
  const CZqlDate a = Date(2000, 1, 31);
  const CZqlDate b = Date(2000, 2, 1);
  EXPECT_TRUE(a < b);
  EXPECT_TRUE(a <= b);
  EXPECT_TRUE(a != b);
  EXPECT_FALSE(a == b);
  EXPECT_TRUE(b > a);
  EXPECT_TRUE(b >= a);
  EXPECT_TRUE(a == Date(2000, 1, 31));
  const CZqlDate n;
  EXPECT_FALSE(a == n);
  EXPECT_FALSE(a != n);
  EXPECT_FALSE(n < a);
  EXPECT_FALSE(n >= a);
}

TEST(DateRecord, SetAndGet) {
  CZqlDate d;
  zql_date r = {2024, 2, 29};
  EXPECT_EQ(d.set(r), 1);
  zql_date out = {0, 0, 0};
  EXPECT_EQ(d.get(&out), 1);
  EXPECT_EQ(out.year, 2024);
  EXPECT_EQ(out.month, 2);
  EXPECT_EQ(out.day, 29);
  r.year = 2023;
  EXPECT_EQ(Raised([&] { d.set(r); }), kFormat);
  EXPECT_EQ(CZqlDate().get(&out), 0);
}

}  // namespace
