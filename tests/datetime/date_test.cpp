// DATE: validation around leap years and month ends, the text form, month
// and day arithmetic with their overflow and underflow errors, differences,
// comparisons and the host record.

#include "../data/common.h"

namespace {

CZqlDate Date(unsigned short y, unsigned short m, unsigned short d) {
  CZqlDate v;
  EXPECT_EQ(Raised([&] { v.set(y, m, d); }), 0) << y << "-" << m << "-" << d;
  return v;
}

// Intervals of n months, years or days (negative n: negative sign).
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

TEST(DateValidation, LeapYearsMonthEndsAndFieldLimits) {
  const struct {
    unsigned short y, m, d;
    bool ok;
  } cases[] = {
      {2000, 2, 29, true},  {2024, 2, 29, true},  {1900, 2, 29, false}, {2023, 2, 29, false},
      {2100, 2, 29, false}, {2000, 4, 31, false}, {2000, 4, 30, true},  {0, 1, 1, false},
      {10000, 1, 1, false}, {2000, 0, 1, false},  {2000, 13, 1, false}, {2000, 1, 0, false},
      {1, 1, 1, true},      {9999, 12, 31, true},
  };
  for (const auto& c : cases) {
    CZqlDate d;
    EXPECT_EQ(Raised([&] { d.set(c.y, c.m, c.d); }), c.ok ? 0 : kFormat)
        << c.y << "-" << c.m << "-" << c.d;
    EXPECT_EQ(d.isNull(), !c.ok);
  }
  CZqlDate d = Date(2024, 2, 29);
  EXPECT_EQ(Raised([&] { d.set(2023, 2, 29); }), kFormat);
  EXPECT_EQ(Text(d), "2024-02-29");  // a failure leaves the last good value
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
  EXPECT_EQ(Raised([&] { d.storeValue("  1-2-3  ", 10); }), 0);
  EXPECT_EQ(Text(d), "0001-02-03");
  for (const char* bad : {"1900-02-29", "0000-01-01", "10000-01-01", "2000-01", "2000/01/01",
                          "2000-01-01x", "", "x", "-2000-01-01", "2000-01-01T10:00:00"}) {
    EXPECT_EQ(Raised([&] { d.storeValue(bad, 40); }), kCast) << bad;
  }
  EXPECT_EQ(Literal(d), "DATE '0001-02-03'");
}

// Months keep the day or overflow; days cross months and years; a null
// operand gives null; differences carry the sign. Each row: the result's
// text, or the code raised.
TEST(DateArithmetic, MonthsDaysAndDifferences) {
  CZqlDT hours(kZqlIHour);
  hours.setHours(24);
  auto T = [](const CZqlData& v) { return Text(v); };
  const CZqlYM ym(kZqlIYearToMonth);
  const CZqlDT days(kZqlIDay, 6);
  CZqlDT small(kZqlIDay, 1);
  ExpectOps({
      {[&] { return T(Date(2000, 1, 31) + Months(2)); }, "2000-03-31", 0},
      {[&] { return T(Date(2000, 1, 29) + Months(1)); }, "2000-02-29", 0},
      {[&] { return T(Date(2000, 11, 15) + Months(3)); }, "2001-02-15", 0},
      {[&] { return T(Date(2000, 1, 15) + Months(-13)); }, "1998-12-15", 0},
      {[&] { return T(Years(2) + Date(2000, 2, 28)); }, "2002-02-28", 0},
      {[&] { return T(Date(9999, 6, 1) + Months(6)); }, "9999-12-01", 0},
      {[&] { return T(Date(2000, 1, 31) + Months(1)); }, "", kOverflow},  // no February 31st
      {[&] { return T(Date(2000, 3, 31) - Months(1)); }, "", kOverflow},
      {[&] { return T(Date(2000, 2, 29) + Years(1)); }, "", kOverflow},
      {[&] { return T(Date(1, 1, 15) - Years(2)); }, "", kUnderflow},
      {[&] { return T(Date(1, 1, 15) - Years(1)); }, "", kUnderflow},  // there is no year 0
      {[&] { return T(Date(9999, 6, 1) + Years(1)); }, "", kOverflow},
      {[&] { return T(Date(9999, 6, 1) + Months(7)); }, "", kOverflow},
      {[&] { return T(Date(2000, 2, 28) + Days(1)); }, "2000-02-29", 0},
      {[&] { return T(Date(1900, 2, 28) + Days(1)); }, "1900-03-01", 0},
      {[&] { return T(Date(1999, 12, 31) + Days(1)); }, "2000-01-01", 0},
      {[&] { return T(Date(2000, 3, 1) - Days(1)); }, "2000-02-29", 0},
      {[&] { return T(Date(2000, 1, 1) + Days(-366)); }, "1998-12-31", 0},
      {[&] { return T(Days(400 * 365 + 97) + Date(1600, 1, 1)); }, "2000-01-01", 0},
      {[&] { return T(Date(1, 1, 1) - Days(1)); }, "", kUnderflow},
      {[&] { return T(Date(9999, 12, 31) + Days(1)); }, "", kOverflow},
      {[&] { return T(Date(2000, 1, 1) + hours); }, "", kZqlErrInvalidFunctionArguments},
      {[&] { return T(CZqlDate() + Months(1)); }, "", 0},
      {[&] { return T(Date(2000, 1, 1) + CZqlDT(kZqlIDay)); }, "", 0},
      {[&] {
         const CZqlYM d = Date(2001, 3, 1).YMDiff(Date(2000, 1, 31), ym);
         return d.IntervalType() == kZqlIYearToMonth ? T(d) : "wrong type";
       }, "0001-02", 0},
      {[&] { return T(Date(2000, 1, 31).YMDiff(Date(2001, 3, 1), ym)); }, "-0001-02", 0},
      {[&] { return T(Date(2000, 1, 1).YMDiff(CZqlDate(), ym)); }, "", 0},
      {[&] { return T(Date(2000, 3, 1).DTDiff(Date(2000, 2, 1), days)); }, "000029", 0},
      {[&] { return T(Date(1999, 1, 1).DTDiff(Date(2000, 1, 1), days)); }, "-000365", 0},
      {[&] { return T(Date(2000, 1, 1).DTDiff(Date(1999, 1, 1), small)); }, "",
       kZqlErrIntervalFieldOverflow},
  });
  // Without a frame the raise returns and the result is null.
  EXPECT_TRUE((Date(2000, 1, 31) + Months(1)).isNull());
}

TEST(DateComparison, ByMonthThenDayAndNeverWithNull) {
  const CZqlDate a = Date(2000, 1, 31);
  const CZqlDate b = Date(2000, 2, 1);
  EXPECT_TRUE(a < b && a <= b && a != b && b > a && b >= a);
  EXPECT_FALSE(a == b);
  const CZqlDate n;
  EXPECT_FALSE(a == n || a != n || n < a || n >= a);
}

}  // namespace
