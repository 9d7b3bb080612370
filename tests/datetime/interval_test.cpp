// Intervals: the text of every one of the 13 types (valid and invalid), the
// output templates, leading and trailing field limits, setters and getters,
// arithmetic and result types, numeric conversions, literals and records.

#include <gtest/gtest.h>

#include <string>

#include "zqlsdata.h"

namespace {

template <class F>
int Raised(F&& body) {
  return ZqlTry(body) ? 0 : ZqlTryCode();
}

std::string Text(const CZqlData& v) {
  char buf[80];
  v.getValue(buf, sizeof buf);
  return buf;
}

std::string Ucs(const CZqlUcStr& s) {
  char buf[120];
  return s.getToChar(buf, sizeof buf);
}

std::string Type(const CZqlData& v) {
  CZqlUcStr s;
  v.SQLType(&s);
  return Ucs(s);
}

std::string Literal(const CZqlData& v) {
  CZqlUcStr s;
  v.SQLLiteral(&s);
  return Ucs(s);
}

// A new interval of type with the given precisions, of the right class.
std::unique_ptr<CZqlInterval> Make(EZqlIType type, unsigned int lead = 4, unsigned int frac = 0) {
  if (CZqlIQualifier::IsYMType(type)) return std::make_unique<CZqlYM>(type, lead, frac);
  return std::make_unique<CZqlDT>(type, lead, frac);
}

// Stores text into a new interval; answers the code raised (0 = stored).
int Store(CZqlInterval* v, const char* text) {
  return Raised([&] { v->storeValue(text, 64); });
}

constexpr int kCast = kZqlErrInvalidCharacterValueForCast;
constexpr int kWrong = kZqlErrWrongIntervalString;
constexpr int kOverflow = kZqlErrIntervalFieldOverflow;
constexpr int kFormat = kZqlErrInvalidIntervalFormat;
constexpr int kArgs = kZqlErrInvalidFunctionArguments;

struct STextCase {
  EZqlIType type;
  unsigned int lead, frac;
  const char* in;
  int code;           // raised, or 0
  bool negative;      // when stored
  double magnitude;   // months or seconds, when stored
  const char* out;    // the text written back, when stored
};

const STextCase kTexts[] = {
    // YEAR
    {kZqlIYear, 2, 0, "99", 0, false, 1188, "99"},
    {kZqlIYear, 2, 0, "100", kOverflow, false, 0, nullptr},
    {kZqlIYear, 4, 0, " -5 ", 0, true, 60, "-0005"},
    {kZqlIYear, 4, 0, "+7", 0, false, 84, "0007"},
    {kZqlIYear, 4, 0, "1-6", kCast, false, 0, nullptr},
    {kZqlIYear, 4, 0, "", kCast, false, 0, nullptr},
    {kZqlIYear, 4, 0, "1x", kCast, false, 0, nullptr},
    // MONTH
    {kZqlIMonth, 4, 0, "14", 0, false, 14, "0014"},
    {kZqlIMonth, 6, 0, "999999", 0, false, 999999, "999999"},
    {kZqlIMonth, 4, 0, "10000", kOverflow, false, 0, nullptr},
    {kZqlIMonth, 4, 0, "1-2", kCast, false, 0, nullptr},
    // YEAR TO MONTH
    {kZqlIYearToMonth, 4, 0, "1-11", 0, false, 23, "0001-11"},
    {kZqlIYearToMonth, 4, 0, "-0-06", 0, true, 6, "-0000-06"},
    {kZqlIYearToMonth, 4, 0, "9999-11", 0, false, 119999, "9999-11"},
    {kZqlIYearToMonth, 4, 0, "10000-00", kOverflow, false, 0, nullptr},
    {kZqlIYearToMonth, 4, 0, "1", kCast, false, 0, nullptr},
    {kZqlIYearToMonth, 4, 0, "1--2", kCast, false, 0, nullptr},
    {kZqlIYearToMonth, 4, 0, "1-12", kFormat, false, 0, nullptr},
    {kZqlIYearToMonth, 4, 0, "1-", kCast, false, 0, nullptr},
    // DAY
    {kZqlIDay, 4, 0, "5", 0, false, 432000, "0005"},
    {kZqlIDay, 2, 0, "-99", 0, true, 99 * 86400.0, "-99"},
    {kZqlIDay, 2, 0, "100", kOverflow, false, 0, nullptr},
    {kZqlIDay, 4, 0, "5 10", kWrong, false, 0, nullptr},
    {kZqlIDay, 4, 0, "five", kCast, false, 0, nullptr},
    // HOUR
    {kZqlIHour, 4, 0, "25", 0, false, 90000, "0025"},
    {kZqlIHour, 4, 0, "5:30", kWrong, false, 0, nullptr},
    {kZqlIHour, 1, 0, "10", kOverflow, false, 0, nullptr},
    // MINUTE
    {kZqlIMinute, 4, 0, "90", 0, false, 5400, "0090"},
    {kZqlIMinute, 4, 0, "-", kCast, false, 0, nullptr},
    // SECOND
    {kZqlISecond, 4, 1, "5.5", 0, false, 5.5, "0005.5"},
    {kZqlISecond, 2, 3, "12.345", 0, false, 12.345, "12.345"},
    {kZqlISecond, 4, 2, ".25", 0, false, 0.25, "0000.25"},
    {kZqlISecond, 2, 0, "100", kOverflow, false, 0, nullptr},
    {kZqlISecond, 4, 0, "5:00", kWrong, false, 0, nullptr},
    {kZqlISecond, 4, 0, "abc", kCast, false, 0, nullptr},
    // DAY TO HOUR
    {kZqlIDayToHour, 4, 0, "1 05", 0, false, 104400, "0001 05"},
    {kZqlIDayToHour, 4, 0, "1 24", kFormat, false, 0, nullptr},
    {kZqlIDayToHour, 4, 0, "1", kWrong, false, 0, nullptr},
    {kZqlIDayToHour, 4, 0, "1 -5", kWrong, false, 0, nullptr},
    {kZqlIDayToHour, 4, 0, "1:05", kWrong, false, 0, nullptr},
    // DAY TO MINUTE
    {kZqlIDayToMinute, 4, 0, "1 02:03", 0, false, 93780, "0001 02:03"},
    {kZqlIDayToMinute, 4, 0, "1 02", kWrong, false, 0, nullptr},
    {kZqlIDayToMinute, 4, 0, "1 02:60", kFormat, false, 0, nullptr},
    // DAY TO SECOND
    {kZqlIDayToSecond, 4, 1, "1 02:03:04.5", 0, false, 93784.5, "0001 02:03:04.5"},
    {kZqlIDayToSecond, 2, 3, "-0 00:00:01.25", 0, true, 1.25, "-00 00:00:01.250"},
    {kZqlIDayToSecond, 4, 0, "1 02:03", kWrong, false, 0, nullptr},
    {kZqlIDayToSecond, 4, 0, "1 02:03:60", kFormat, false, 0, nullptr},
    {kZqlIDayToSecond, 4, 0, "1 02:03:04 x", kWrong, false, 0, nullptr},
    {kZqlIDayToSecond, 4, 0, "1 02:03:-4", kWrong, false, 0, nullptr},
    // HOUR TO MINUTE
    {kZqlIHourToMinute, 2, 0, "-05:30", 0, true, 19800, "-05:30"},
    {kZqlIHourToMinute, 4, 0, "05", kWrong, false, 0, nullptr},
    {kZqlIHourToMinute, 4, 0, "05:30:00", kWrong, false, 0, nullptr},
    // HOUR TO SECOND
    {kZqlIHourToSecond, 4, 0, "100:00:00", 0, false, 360000, "0100:00:00"},
    {kZqlIHourToSecond, 4, 0, "10000:00:00", kOverflow, false, 0, nullptr},
    {kZqlIHourToSecond, 4, 0, "1:00:60", kFormat, false, 0, nullptr},
    // MINUTE TO SECOND
    {kZqlIMinuteToSecond, 4, 3, "59:59.999", 0, false, 3599.999, "0059:59.999"},
    {kZqlIMinuteToSecond, 4, 0, "59", kWrong, false, 0, nullptr},
    {kZqlIMinuteToSecond, 4, 0, "1:60", kFormat, false, 0, nullptr},
};

TEST(IntervalText, EveryTypeValidAndInvalid) {
  for (const STextCase& c : kTexts) {
    auto v = Make(c.type, c.lead, c.frac);
    SCOPED_TRACE(std::string(Type(*v)) + " <- '" + c.in + "'");
    EXPECT_EQ(Store(v.get(), c.in), c.code);
    if (c.code != 0) {
      EXPECT_TRUE(v->isNull());
      continue;
    }
    EXPECT_EQ(v->Sign(), c.negative ? kZqlTrue : kZqlFalse);
    if (v->is_yminterval()) {
      EXPECT_EQ(static_cast<CZqlYM&>(*v).Months(), static_cast<uint32_t>(c.magnitude));
    } else {
      EXPECT_DOUBLE_EQ(static_cast<CZqlDT&>(*v).Seconds(), c.magnitude);
    }
    EXPECT_EQ(Text(*v), c.out);
  }
}

TEST(IntervalText, FailedStoreKeepsTheValue) {
  CZqlDT v(kZqlIDayToSecond);
  ASSERT_EQ(Store(&v, "1 02:03:04"), 0);
  EXPECT_EQ(Store(&v, "1 02:03"), kWrong);
  EXPECT_EQ(Text(v), "0001 02:03:04");
  // Texts beyond 64 characters are refused unless only blanks follow.
  std::string longText = "1 02:03:04" + std::string(70, ' ');
  EXPECT_EQ(Raised([&] { v.storeValue(longText.c_str(), 200); }), 0);
  longText += "5";
  EXPECT_EQ(Raised([&] { v.storeValue(longText.c_str(), 200); }), kCast);
}

TEST(IntervalText, OutputNeverShowsSixtySeconds) {
  CZqlDT v(kZqlIMinuteToSecond, 2, 2);
  v.setMinutes(1);
  v.setSeconds(59.999);
  EXPECT_EQ(Text(v), "01:59.99");
  CZqlDT w(kZqlIDayToSecond, 2, 0);
  w.set(kZqlFalse, 0, 23, 59, 59.9);
  EXPECT_EQ(Text(w), "00 23:59:59");
}

TEST(IntervalText, LargestValuesKeepTheirFields) {
  CZqlDT v(kZqlIDayToSecond, 6, 2);
  ASSERT_EQ(Store(&v, "999999 23:59:00"), 0);
  EXPECT_EQ(Text(v), "999999 23:59:00.00");
  unsigned int d = 0, h = 0;
  EXPECT_EQ(v.getDays(&d), 1);
  EXPECT_EQ(d, 999999u);
  EXPECT_EQ(v.getHours(&h), 1);
  EXPECT_EQ(h, 23u);
  CZqlDT day(kZqlIDay, 6);
  EXPECT_EQ(day.storeValue(static_cast<const CZqlData&>(v)), 1);
  EXPECT_EQ(Text(day), "999999");
  ASSERT_EQ(Store(&v, "999999 23:59:59.99"), 0);
  EXPECT_EQ(Text(v), "999999 23:59:59.99");
}

TEST(IntervalText, ShortBufferAnswersZero) {
  CZqlYM v(kZqlIYearToMonth);
  v.set(kZqlTrue, 1, 2);
  char buf[8];
  EXPECT_EQ(v.getValue(buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");
  char fits[9];
  EXPECT_EQ(v.getValue(fits, sizeof fits), 1);
  EXPECT_STREQ(fits, "-0001-02");
  EXPECT_EQ(v.ReturnLength(), 8u);
}

TEST(IntervalAttributes, TypeTextsAndLengths) {
  struct {
    EZqlIType type;
    unsigned int lead, frac;
    const char* text;
    unsigned int length;
  } cases[] = {
      {kZqlIYear, 4, 0, "INTERVAL YEAR", 5},
      {kZqlIYear, 2, 0, "INTERVAL YEAR(2)", 3},
      {kZqlIMonth, 6, 0, "INTERVAL MONTH(6)", 7},
      {kZqlIYearToMonth, 4, 0, "INTERVAL YEAR TO MONTH", 8},
      {kZqlIDay, 4, 0, "INTERVAL DAY", 5},
      {kZqlIHour, 4, 0, "INTERVAL HOUR", 5},
      {kZqlIMinute, 3, 0, "INTERVAL MINUTE(3)", 4},
      {kZqlISecond, 4, 0, "INTERVAL SECOND", 6},
      {kZqlISecond, 2, 0, "INTERVAL SECOND(2)", 4},
      {kZqlISecond, 4, 3, "INTERVAL SECOND(4,3)", 9},
      {kZqlIDayToHour, 2, 0, "INTERVAL DAY(2) TO HOUR", 6},
      {kZqlIDayToMinute, 4, 0, "INTERVAL DAY TO MINUTE", 11},
      {kZqlIDayToSecond, 4, 6, "INTERVAL DAY TO SECOND(6)", 21},
      {kZqlIDayToSecond, 4, 0, "INTERVAL DAY TO SECOND", 14},
      {kZqlIHourToMinute, 2, 0, "INTERVAL HOUR(2) TO MINUTE", 6},
      {kZqlIHourToSecond, 5, 2, "INTERVAL HOUR(5) TO SECOND(2)", 15},
      {kZqlIMinuteToSecond, 4, 0, "INTERVAL MINUTE TO SECOND", 8},
  };
  for (const auto& c : cases) {
    auto v = Make(c.type, c.lead, c.frac);
    EXPECT_EQ(Type(*v), c.text);
    EXPECT_EQ(v->ReturnLength(), c.length) << c.text;
    EXPECT_EQ(v->Type(), kZqlTypeInterval);
    EXPECT_EQ(v->IntervalType(), c.type);
  }
  EXPECT_EQ(CZqlDT(kZqlISecond, 7, 9).LeadFieldPrec(), 4u);
  EXPECT_EQ(CZqlDT(kZqlISecond, 7, 9).FracSecPrec(), 0u);
  EXPECT_EQ(CZqlYM().IntervalType(), kZqlIYear);
  EXPECT_EQ(CZqlDT().IntervalType(), kZqlIDay);
}

TEST(IntervalAttributes, ConstructorsRefuseTheOtherKind) {
  EXPECT_EQ(Raised([] { CZqlDT v(kZqlIYear); }), kArgs);
  EXPECT_EQ(Raised([] { CZqlYM v(kZqlIHour); }), kArgs);
  // Without a frame the raise returns and the type is 0.
  EXPECT_EQ(CZqlDT(kZqlIYearToMonth).IntervalType(), kZqlINone);
  CZqlYM ym;
  EXPECT_EQ(Raised([&] { ym.setIType(kZqlIDay); }), kArgs);
  EXPECT_EQ(ym.setIType(kZqlIYearToMonth), 1);
  EXPECT_EQ(ym.IntervalType(), kZqlIYearToMonth);
}

TEST(IntervalLiteral, SignOutsideTheQuotes) {
  CZqlDT v(kZqlIHourToMinute, 2);
  Store(&v, "-05:30");
  EXPECT_EQ(Literal(v), "INTERVAL -'05:30' HOUR(2) TO MINUTE");
  CZqlYM y(kZqlIYear);
  Store(&y, "3");
  EXPECT_EQ(Literal(y), "INTERVAL '0003' YEAR");
  CZqlUcStr s;
  EXPECT_EQ(CZqlYM().SQLLiteral(&s), 0);
  EXPECT_EQ(Ucs(s), "null");
}

TEST(YearMonthFields, SettersAndGetters) {
  CZqlYM ym(kZqlIYearToMonth);
  EXPECT_EQ(Raised([&] { ym.setMonths(12); }), kFormat);
  EXPECT_EQ(ym.setMonths(5), 1);
  EXPECT_EQ(ym.setYears(2), 1);  // keeps the months
  EXPECT_EQ(ym.Months(), 29u);
  EXPECT_EQ(Raised([&] { ym.setYears(10000); }), kOverflow);
  unsigned int y = 0, m = 0;
  EZqlBoolean n = kZqlTrue;
  EXPECT_EQ(ym.get(&n, &y, &m), 1);
  EXPECT_EQ(n, kZqlFalse);
  EXPECT_EQ(y, 2u);
  EXPECT_EQ(m, 5u);
  CZqlYM month(kZqlIMonth);
  EXPECT_EQ(Raised([&] { month.setYears(1); }), kArgs);
  EXPECT_EQ(month.setMonths(14), 1);
  EXPECT_EQ(month.getYears(&y), 1);
  EXPECT_EQ(y, 0u);
  EXPECT_EQ(month.getMonths(&m), 1);
  EXPECT_EQ(m, 14u);
  CZqlYM year(kZqlIYear);
  EXPECT_EQ(Raised([&] { year.setMonths(1); }), kArgs);
  EXPECT_EQ(Raised([&] { year.set(kZqlFalse, 1, 1); }), kArgs);
  EXPECT_EQ(year.getYears(&y), 0);  // null
}

TEST(DayTimeFields, SettersAndGetters) {
  CZqlDT dh(kZqlIDayToHour);
  EXPECT_EQ(Raised([&] { dh.setHours(24); }), kFormat);
  EXPECT_EQ(Raised([&] { dh.setMinutes(1); }), kArgs);
  EXPECT_EQ(Raised([&] { dh.setDays(10000); }), kOverflow);
  EXPECT_EQ(dh.setHours(23), 1);
  EXPECT_EQ(dh.setDays(2), 1);
  EXPECT_EQ(Text(dh), "0002 23");
  CZqlDT hm(kZqlIHourToMinute);
  EXPECT_EQ(hm.set(kZqlTrue, 0, 26, 30, 0), 1);
  unsigned int d = 9, h = 0, m = 0;
  double s = -1;
  EXPECT_EQ(hm.getDays(&d), 1);
  EXPECT_EQ(d, 0u);
  EXPECT_EQ(hm.getHours(&h), 1);
  EXPECT_EQ(h, 26u);
  EXPECT_EQ(hm.getMinutes(&m), 1);
  EXPECT_EQ(m, 30u);
  EXPECT_EQ(hm.getSeconds(&s), 1);
  EXPECT_EQ(s, 0.0);
  EXPECT_EQ(Raised([&] { hm.set(kZqlFalse, 1, 0, 0, 0); }), kArgs);
  EXPECT_EQ(Raised([&] { hm.set(kZqlFalse, 0, 1, 60, 0); }), kFormat);
  CZqlDT ms(kZqlIMinuteToSecond, 4, 3);
  EXPECT_EQ(Raised([&] { ms.setSeconds(60.0); }), kFormat);
  EXPECT_EQ(Raised([&] { ms.setSeconds(-1.0); }), kFormat);
  EXPECT_EQ(ms.setSeconds(59.5), 1);
  EXPECT_EQ(Text(ms), "0000:59.500");
  CZqlDT sec(kZqlISecond, 2);
  EXPECT_EQ(Raised([&] { sec.setSeconds(100.0); }), kOverflow);
  EXPECT_EQ(sec.setSeconds(99.5), 1);
}

TEST(IntervalArithmetic, YearMonthResults) {
  CZqlYM a(kZqlIYear), b(kZqlIYearToMonth);
  a.setYears(1);
  Store(&b, "-0-5");
  CZqlYM r = a + b;
  EXPECT_EQ(r.IntervalType(), kZqlIMonth);
  EXPECT_EQ(r.LeadFieldPrec(), 6u);
  EXPECT_EQ(Text(r), "000007");
  EXPECT_EQ(Text(b - a), "-000017");
  EXPECT_EQ(Text(r * 3L), "000021");
  EXPECT_EQ(Text(3L * r), "000021");
  EXPECT_EQ(Text(r / 2L), "000003");
  EXPECT_EQ(Text(-r), "-000007");  // in place
  EXPECT_EQ(Text(r / 2L), "-000003");
  CZqlNumeric half(5, 1);
  half = 0.5;
  EXPECT_EQ(Text(r * half), "-000003");
  EXPECT_EQ(Text(half * r), "-000003");
  EXPECT_EQ(Raised([&] { r = a / 0L; }), kZqlErrDivisionByZero);
  CZqlYM big(kZqlIYear, 6);
  big.setYears(999999);
  EXPECT_EQ(Raised([&] { r = big + a; }), kOverflow);
  EXPECT_EQ(Raised([&] { r = big * 1000000L; }), kOverflow);
  EXPECT_TRUE((a + CZqlYM()).isNull());
  EXPECT_TRUE((a * CZqlInt()).isNull());
}

TEST(IntervalArithmetic, DayTimeResults) {
  CZqlDT a(kZqlIHour), b(kZqlIMinuteToSecond, 2, 1);
  a.setHours(1);
  Store(&b, "-01:30.5");
  CZqlDT r = a + b;
  EXPECT_EQ(r.IntervalType(), kZqlIDayToSecond);
  EXPECT_EQ(r.LeadFieldPrec(), 6u);
  EXPECT_EQ(r.FracSecPrec(), 8u);
  EXPECT_EQ(Text(r), "000000 00:58:29.50000000");
  EXPECT_EQ(Text(b - a), "-000000 01:01:30.50000000");
  CZqlNumeric k(5, 1);
  k = 2.5;
  EXPECT_EQ(Text(a * k), "000000 02:30:00.00000000");
  EXPECT_EQ(Text(a / 4L), "000000 00:15:00.00000000");
  EXPECT_EQ(Raised([&] { r = a / CZqlInt(); }), 0);  // null divisor: null
  CZqlInt zero;
  zero = 0L;
  EXPECT_EQ(Raised([&] { r = a / zero; }), kZqlErrDivisionByZero);
  CZqlDT days(kZqlIDay, 6);
  days.setDays(999999);
  EXPECT_EQ(Raised([&] { r = days + a; }), 0);  // still 999999 days
  EXPECT_EQ(Raised([&] { r = days + a * 24L; }), kOverflow);
}

TEST(IntervalComparison, SignedMagnitudesAcrossTypes) {
  CZqlYM year(kZqlIYear), months(kZqlIMonth);
  year.setYears(1);
  months.setMonths(12);
  EXPECT_TRUE(year == months);
  months.setSign(kZqlTrue);
  EXPECT_TRUE(months < year);
  EXPECT_TRUE(year != months);
  CZqlDT hour(kZqlIHour), minutes(kZqlIMinute);
  hour.setHours(1);
  minutes.setMinutes(60);
  EXPECT_TRUE(hour == minutes);
  EXPECT_TRUE(hour >= minutes);
  // Sums of fractions compare equal despite binary noise.
  CZqlDT a(kZqlISecond, 4, 2), b(kZqlISecond, 4, 2), c(kZqlISecond, 4, 2);
  a.setSeconds(0.1);
  b.setSeconds(0.2);
  c.setSeconds(0.3);
  EXPECT_TRUE(a + b == c);
  EXPECT_FALSE(hour == CZqlDT(kZqlIHour));
  EXPECT_FALSE(hour != CZqlDT(kZqlIHour));
}

TEST(IntervalConversion, ExactNumericsIntoSingleFields) {
  CZqlInt i;
  i = -3L;
  CZqlDT day(kZqlIDay);
  EXPECT_EQ(day.storeValue(static_cast<const CZqlData&>(i)), 1);
  EXPECT_EQ(Text(day), "-0003");
  CZqlNumeric n(6, 2);
  n = 2.75;
  EXPECT_EQ(day.storeValue(static_cast<const CZqlData&>(n)), 1);
  EXPECT_EQ(Text(day), "0002");  // whole days
  CZqlDT sec(kZqlISecond, 4, 2);
  EXPECT_EQ(sec.storeValue(static_cast<const CZqlData&>(n)), 1);
  EXPECT_EQ(Text(sec), "0002.75");
  CZqlYM year(kZqlIYear, 2);
  i = 100L;
  EXPECT_EQ(Raised([&] { year.storeValue(static_cast<const CZqlData&>(i)); }), kOverflow);
  constexpr int kNoCast = kZqlErrExpressionCannotBeCastToTheSpecifiedType;
  CZqlDT multi(kZqlIDayToHour);
  EXPECT_EQ(Raised([&] { multi.storeValue(static_cast<const CZqlData&>(n)); }), kNoCast);
  CZqlDouble d;
  d = 1.0;
  EXPECT_EQ(Raised([&] { day.storeValue(static_cast<const CZqlData&>(d)); }), kNoCast);
  CZqlDate date;
  date.set(2000, 1, 1);
  EXPECT_EQ(Raised([&] { day.storeValue(static_cast<const CZqlData&>(date)); }), kNoCast);
  EXPECT_EQ(Raised([&] { year.storeValue(static_cast<const CZqlData&>(day)); }), kNoCast);
  // Host numbers go to single fields only.
  EXPECT_EQ(day.storeValue(7L), 1);
  EXPECT_EQ(Text(day), "0007");
  EXPECT_EQ(multi.storeValue(7L), 0);
}

TEST(IntervalConversion, SingleFieldsIntoExactNumerics) {
  CZqlDT day(kZqlIDay);
  Store(&day, "-12");
  CZqlSmallInt s;
  EXPECT_EQ(s.storeValue(static_cast<const CZqlData&>(day)), 1);
  EXPECT_EQ(s.intValue(), -12);
  long l = 0;
  EXPECT_EQ(day.getValue(&l), 1);
  EXPECT_EQ(l, -12);
  CZqlDT sec(kZqlISecond, 6, 2);
  Store(&sec, "40000.25");
  CZqlNumeric n(10, 2);
  EXPECT_EQ(n.storeValue(static_cast<const CZqlData&>(sec)), 1);
  EXPECT_DOUBLE_EQ(n.realValue(), 40000.25);
  EXPECT_EQ(Raised([&] { s.storeValue(static_cast<const CZqlData&>(sec)); }),
            kZqlErrNumericValueOutOfRange);
  short sh = 0;
  EXPECT_EQ(Raised([&] { sec.getValue(&sh); }), kZqlErrNumericValueOutOfRange);
  // Seconds keep the fraction their text would not show.
  CZqlDT whole(kZqlISecond);
  whole.setSeconds(2.5);
  EXPECT_EQ(Text(whole), "0002");
  CZqlDecimal dec(6, 1);
  EXPECT_EQ(dec.storeValue(static_cast<const CZqlData&>(whole)), 1);
  EXPECT_DOUBLE_EQ(dec.realValue(), 2.5);
  CZqlYM ym(kZqlIYearToMonth);
  Store(&ym, "1-1");
  EXPECT_EQ(Raised([&] { n.storeValue(static_cast<const CZqlData&>(ym)); }),
            kZqlErrExpressionCannotBeCastToTheSpecifiedType);
  double dv = 0;
  EXPECT_EQ(ym.getValue(&dv), 0);
}

TEST(IntervalConversion, IntervalsCutToTheTargetType) {
  CZqlDT ds(kZqlIDayToSecond);
  Store(&ds, "1 12:00:00");
  CZqlDT day(kZqlIDay);
  EXPECT_EQ(day.storeValue(static_cast<const CZqlData&>(ds)), 1);
  EXPECT_EQ(Text(day), "0001");
  CZqlDT hours(kZqlIHour, 2);
  EXPECT_EQ(hours.storeValue(static_cast<const CZqlData&>(ds)), 1);
  EXPECT_EQ(Text(hours), "36");
  Store(&ds, "5 00:00:00");
  EXPECT_EQ(Raised([&] { hours.storeValue(static_cast<const CZqlData&>(ds)); }), kOverflow);
  EXPECT_EQ(Text(hours), "36");
  CZqlYM months(kZqlIMonth), year(kZqlIYear);
  Store(&months, "-14");
  EXPECT_EQ(year.storeValue(static_cast<const CZqlData&>(months)), 1);
  EXPECT_EQ(Text(year), "-0001");
  EXPECT_EQ(year.storeValue(static_cast<const CZqlData&>(CZqlYM(kZqlIMonth))), 1);
  EXPECT_TRUE(year.isNull());
}

TEST(IntervalConversion, CharacterTextBothWays) {
  CZqlChar c(30);
  c.setVarying();
  ASSERT_EQ(c.storeValue("-1 02:03:04.5", 14), 1);
  CZqlDT ds(kZqlIDayToSecond, 2, 1);
  EXPECT_EQ(ds.storeValue(static_cast<const CZqlData&>(c)), 1);
  EXPECT_EQ(Text(ds), "-01 02:03:04.5");
  CZqlChar back(30);
  back.setVarying();
  EXPECT_EQ(back.storeValue(static_cast<const CZqlData&>(ds)), 1);
  EXPECT_EQ(Text(back), "-01 02:03:04.5");
  EXPECT_EQ(ds.storeValue(CZqlUcStr("02 00:00:00")), 1);
  EXPECT_EQ(Text(ds), "02 00:00:00.0");
}

TEST(IntervalRecords, EachRecordSetsAndGets) {
  CZqlYM ym(kZqlIYearToMonth);
  EXPECT_EQ(ym.set(zql_yeartomonth{kZqlTrue, 3, 4}), 1);
  EXPECT_EQ(Text(ym), "-0003-04");
  zql_year y = {};
  EXPECT_EQ(ym.get(&y), 1);
  EXPECT_EQ(y.years, 3u);
  EXPECT_EQ(y.sign, kZqlTrue);
  zql_month mo = {};
  EXPECT_EQ(ym.get(&mo), 1);
  EXPECT_EQ(mo.months, 40u);
  EXPECT_EQ(Raised([&] { ym.set(zql_yeartomonth{kZqlFalse, 1, 12}); }), kFormat);
  EXPECT_EQ(Text(ym), "-0003-04");
  CZqlYM year(kZqlIYear);
  EXPECT_EQ(year.set(zql_year{kZqlFalse, 9}), 1);
  EXPECT_EQ(Raised([&] { year.set(zql_month{kZqlFalse, 9}); }), kArgs);

  CZqlDT ds(kZqlIDayToSecond, 4, 2);
  EXPECT_EQ(ds.set(zql_daytosecond{4.25, kZqlFalse, 1, 2, 3}), 1);
  EXPECT_EQ(Text(ds), "0001 02:03:04.25");
  zql_hourtosecond hs = {};
  EXPECT_EQ(ds.get(&hs), 1);
  EXPECT_EQ(hs.hours, 26u);
  EXPECT_EQ(hs.minutes, 3u);
  EXPECT_DOUBLE_EQ(hs.seconds, 4.25);
  zql_second s = {};
  EXPECT_EQ(ds.get(&s), 1);
  EXPECT_DOUBLE_EQ(s.seconds, 93784.25);
  zql_day d = {};
  EXPECT_EQ(ds.get(&d), 1);
  EXPECT_EQ(d.days, 1u);
  zql_minute mi = {};
  EXPECT_EQ(ds.get(&mi), 1);
  EXPECT_EQ(mi.minutes, 1563u);
  zql_daytohour dh = {};
  zql_daytominute dm = {};
  zql_hour h = {};
  zql_hourtominute hm = {};
  zql_minuteitosecond ms = {};
  EXPECT_TRUE(ds.get(&dh) && ds.get(&dm) && ds.get(&h) && ds.get(&hm) && ds.get(&ms));
  EXPECT_EQ(dh.hours, 2u);
  EXPECT_EQ(dm.minutes, 3u);
  EXPECT_EQ(h.hours, 26u);
  EXPECT_EQ(hm.minutes, 3u);
  EXPECT_EQ(ms.minutes, 1563u);
  EXPECT_DOUBLE_EQ(ms.seconds, 4.25);
  EXPECT_EQ(Raised([&] { ds.set(zql_daytosecond{60.0, kZqlFalse, 1, 2, 3}); }), kFormat);
  EXPECT_EQ(Text(ds), "0001 02:03:04.25");
  // Each record into a value of its own type.
  struct {
    EZqlIType type;
    int (*store)(CZqlDT*);
    const char* text;
  } cases[] = {
      {kZqlIDay, [](CZqlDT* v) { return v->set(zql_day{kZqlTrue, 7}); }, "-0007"},
      {kZqlIHour, [](CZqlDT* v) { return v->set(zql_hour{kZqlFalse, 30}); }, "0030"},
      {kZqlIMinute, [](CZqlDT* v) { return v->set(zql_minute{kZqlFalse, 61}); }, "0061"},
      {kZqlISecond, [](CZqlDT* v) { return v->set(zql_second{1.5, kZqlTrue}); }, "-0001"},
      {kZqlIDayToHour, [](CZqlDT* v) { return v->set(zql_daytohour{kZqlFalse, 1, 2}); },
       "0001 02"},
      {kZqlIDayToMinute,
       [](CZqlDT* v) { return v->set(zql_daytominute{kZqlFalse, 1, 2, 3}); }, "0001 02:03"},
      {kZqlIHourToMinute, [](CZqlDT* v) { return v->set(zql_hourtominute{kZqlFalse, 99, 59}); },
       "0099:59"},
      {kZqlIHourToSecond,
       [](CZqlDT* v) { return v->set(zql_hourtosecond{9.0, kZqlFalse, 1, 2}); }, "0001:02:09"},
      {kZqlIMinuteToSecond,
       [](CZqlDT* v) { return v->set(zql_minuteitosecond{9.0, kZqlFalse, 75}); }, "0075:09"},
  };
  for (const auto& c : cases) {
    CZqlDT v(c.type);
    EXPECT_EQ(c.store(&v), 1) << c.text;
    EXPECT_EQ(Text(v), c.text);
  }
}

}  // namespace
