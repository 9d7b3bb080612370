// Intervals: the text of every one of the 13 types (valid and invalid), the
// output templates, leading and trailing field limits, setters and getters,
// arithmetic and result types, numeric conversions, literals and records.

#include <memory>

#include "../data/common.h"

namespace {

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

// Stored texts: the sign, the magnitude (months or seconds) and the text
// written back.
const struct {
  EZqlIType type;
  unsigned int lead, frac;
  const char* in;
  bool negative;
  double magnitude;
  const char* out;
} kGoodTexts[] = {
    {kZqlIYear, 2, 0, "99", false, 1188, "99"},
    {kZqlIYear, 4, 0, " -5 ", true, 60, "-0005"},
    {kZqlIYear, 4, 0, "+7", false, 84, "0007"},
    {kZqlIMonth, 4, 0, "14", false, 14, "0014"},
    {kZqlIMonth, 6, 0, "999999", false, 999999, "999999"},
    {kZqlIYearToMonth, 4, 0, "1-11", false, 23, "0001-11"},
    {kZqlIYearToMonth, 4, 0, "-0-06", true, 6, "-0000-06"},
    {kZqlIYearToMonth, 4, 0, "9999-11", false, 119999, "9999-11"},
    {kZqlIDay, 4, 0, "5", false, 432000, "0005"},
    {kZqlIDay, 2, 0, "-99", true, 99 * 86400.0, "-99"},
    {kZqlIHour, 4, 0, "25", false, 90000, "0025"},
    {kZqlIMinute, 4, 0, "90", false, 5400, "0090"},
    {kZqlISecond, 4, 1, "5.5", false, 5.5, "0005.5"},
    {kZqlISecond, 2, 3, "12.345", false, 12.345, "12.345"},
    {kZqlISecond, 4, 2, ".25", false, 0.25, "0000.25"},
    {kZqlIDayToHour, 4, 0, "1 05", false, 104400, "0001 05"},
    {kZqlIDayToMinute, 4, 0, "1 02:03", false, 93780, "0001 02:03"},
    {kZqlIDayToSecond, 4, 1, "1 02:03:04.5", false, 93784.5, "0001 02:03:04.5"},
    {kZqlIDayToSecond, 2, 3, "-0 00:00:01.25", true, 1.25, "-00 00:00:01.250"},
    {kZqlIHourToMinute, 2, 0, "-05:30", true, 19800, "-05:30"},
    {kZqlIHourToSecond, 4, 0, "100:00:00", false, 360000, "0100:00:00"},
    {kZqlIMinuteToSecond, 4, 3, "59:59.999", false, 3599.999, "0059:59.999"},
};

// Refused texts, for every type: the code raised.
const struct {
  EZqlIType type;
  unsigned int lead;
  const char* in;
  int code;
} kBadTexts[] = {
    {kZqlIYear, 2, "100", kOverflow}, {kZqlIYear, 4, "1-6", kCast}, {kZqlIYear, 4, "", kCast},
    {kZqlIYear, 4, "1x", kCast}, {kZqlIMonth, 4, "10000", kOverflow},
    {kZqlIMonth, 4, "1-2", kCast}, {kZqlIYearToMonth, 4, "10000-00", kOverflow},
    {kZqlIYearToMonth, 4, "1", kCast}, {kZqlIYearToMonth, 4, "1--2", kCast},
    {kZqlIYearToMonth, 4, "1-12", kFormat}, {kZqlIYearToMonth, 4, "1-", kCast},
    {kZqlIDay, 2, "100", kOverflow}, {kZqlIDay, 4, "5 10", kWrong}, {kZqlIDay, 4, "five", kCast},
    {kZqlIHour, 4, "5:30", kWrong}, {kZqlIHour, 1, "10", kOverflow}, {kZqlIMinute, 4, "-", kCast},
    {kZqlISecond, 2, "100", kOverflow}, {kZqlISecond, 4, "5:00", kWrong},
    {kZqlISecond, 4, "abc", kCast}, {kZqlIDayToHour, 4, "1 24", kFormat},
    {kZqlIDayToHour, 4, "1", kWrong}, {kZqlIDayToHour, 4, "1 -5", kWrong},
    {kZqlIDayToHour, 4, "1:05", kWrong}, {kZqlIDayToMinute, 4, "1 02", kWrong},
    {kZqlIDayToMinute, 4, "1 02:60", kFormat}, {kZqlIDayToSecond, 4, "1 02:03", kWrong},
    {kZqlIDayToSecond, 4, "1 02:03:60", kFormat}, {kZqlIDayToSecond, 4, "1 02:03:04 x", kWrong},
    {kZqlIDayToSecond, 4, "1 02:03:-4", kWrong}, {kZqlIHourToMinute, 4, "05", kWrong},
    {kZqlIHourToMinute, 4, "05:30:00", kWrong}, {kZqlIHourToSecond, 4, "10000:00:00", kOverflow},
    {kZqlIHourToSecond, 4, "1:00:60", kFormat}, {kZqlIMinuteToSecond, 4, "59", kWrong},
    {kZqlIMinuteToSecond, 4, "1:60", kFormat},
};

TEST(IntervalText, EveryTypeValidAndInvalid) {
  for (const auto& c : kGoodTexts) {
    auto v = Make(c.type, c.lead, c.frac);
    SCOPED_TRACE(TypeText(*v) + " <- '" + c.in + "'");
    ASSERT_EQ(Store(v.get(), c.in), 0);
    EXPECT_EQ(v->Sign(), c.negative ? kZqlTrue : kZqlFalse);
    if (v->is_yminterval()) {
      EXPECT_EQ(static_cast<CZqlYM&>(*v).Months(), static_cast<uint32_t>(c.magnitude));
    } else {
      EXPECT_DOUBLE_EQ(static_cast<CZqlDT&>(*v).Seconds(), c.magnitude);
    }
    EXPECT_EQ(Text(*v), c.out);
  }
  for (const auto& c : kBadTexts) {
    auto v = Make(c.type, c.lead);
    EXPECT_EQ(Store(v.get(), c.in), c.code) << TypeText(*v) << " <- '" << c.in << "'";
    EXPECT_TRUE(v->isNull());
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

TEST(IntervalText, OutputNeverShowsSixtySecondsNorLosesFields) {
  CZqlDT m(kZqlIMinuteToSecond, 2, 2);
  m.setMinutes(1);
  m.setSeconds(59.999);
  EXPECT_EQ(Text(m), "01:59.99");
  CZqlDT w(kZqlIDayToSecond, 2, 0);
  w.set(kZqlFalse, 0, 23, 59, 59.9);
  EXPECT_EQ(Text(w), "00 23:59:59");
  // The largest values keep their fields.
  CZqlDT v(kZqlIDayToSecond, 6, 2);
  ASSERT_EQ(Store(&v, "999999 23:59:00"), 0);
  EXPECT_EQ(Text(v), "999999 23:59:00.00");
  CZqlDT day(kZqlIDay, 6);
  EXPECT_EQ(day.storeValue(static_cast<const CZqlData&>(v)), 1);
  EXPECT_EQ(Text(day), "999999");
  ASSERT_EQ(Store(&v, "999999 23:59:59.99"), 0);
  EXPECT_EQ(Text(v), "999999 23:59:59.99");
}

// The text lengths and type texts of every datetime and interval type.
TEST(DatetimeAttributes, TypeTextsAndLengths) {
  const struct {
    const CZqlData& value;
    unsigned int length;
    const char* type;
  } cases[] = {
      {CZqlDate(), 10, "DATE"}, {CZqlTime(), 8, "TIME"}, {CZqlTime(3), 12, "TIME(3)"},
      {CZqlTime(3, kZqlTrue), 18, "TIME(3) WITH TIME ZONE"}, {CZqlTime(40), 18, "TIME(9)"},
      {CZqlTimeStamp(), 26, "TIMESTAMP"}, {CZqlTimeStamp(0), 19, "TIMESTAMP(0)"},
      {CZqlTimeStamp(6, kZqlTrue), 32, "TIMESTAMP WITH TIME ZONE"},
      {CZqlTimeStamp(0, kZqlTrue), 25, "TIMESTAMP(0) WITH TIME ZONE"},
      {CZqlYM(kZqlIYear, 4), 5, "INTERVAL YEAR"}, {CZqlYM(kZqlIYear, 2), 3, "INTERVAL YEAR(2)"},
      {CZqlYM(kZqlIMonth, 6), 7, "INTERVAL MONTH(6)"},
      {CZqlYM(kZqlIYearToMonth, 4), 8, "INTERVAL YEAR TO MONTH"},
      {CZqlDT(kZqlIDay, 4), 5, "INTERVAL DAY"}, {CZqlDT(kZqlIHour, 4), 5, "INTERVAL HOUR"},
      {CZqlDT(kZqlIMinute, 3), 4, "INTERVAL MINUTE(3)"},
      {CZqlDT(kZqlISecond, 4), 6, "INTERVAL SECOND"},
      {CZqlDT(kZqlISecond, 2), 4, "INTERVAL SECOND(2)"},
      {CZqlDT(kZqlISecond, 4, 3), 9, "INTERVAL SECOND(4,3)"},
      {CZqlDT(kZqlIDayToHour, 2), 6, "INTERVAL DAY(2) TO HOUR"},
      {CZqlDT(kZqlIDayToMinute, 4), 11, "INTERVAL DAY TO MINUTE"},
      {CZqlDT(kZqlIDayToSecond, 4, 6), 21, "INTERVAL DAY TO SECOND(6)"},
      {CZqlDT(kZqlIDayToSecond, 4), 14, "INTERVAL DAY TO SECOND"},
      {CZqlDT(kZqlIHourToMinute, 2), 6, "INTERVAL HOUR(2) TO MINUTE"},
      {CZqlDT(kZqlIHourToSecond, 5, 2), 15, "INTERVAL HOUR(5) TO SECOND(2)"},
      {CZqlDT(kZqlIMinuteToSecond, 4), 8, "INTERVAL MINUTE TO SECOND"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value.ReturnLength(), c.length) << c.type;
    EXPECT_EQ(TypeText(c.value), c.type);
  }
  EXPECT_EQ(CZqlDT(kZqlISecond, 7, 9).LeadFieldPrec(), 4u);
  EXPECT_EQ(CZqlDT(kZqlISecond, 7, 9).FracSecPrec(), 0u);
}

TEST(IntervalAttributes, ConstructorsRefuseTheOtherKind) {
  EXPECT_EQ(Raised([] { CZqlYM v(kZqlIHour); }), kArgs);
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
}

// The setters keep the field limits of the texts and refuse fields the
// type does not have.
TEST(IntervalFields, SettersCheckTheType) {
  CZqlYM ym(kZqlIYearToMonth);
  EXPECT_EQ(Raised([&] { ym.setMonths(12); }), kFormat);
  EXPECT_EQ(ym.setMonths(5), 1);
  EXPECT_EQ(ym.setYears(2), 1);  // keeps the months
  EXPECT_EQ(ym.Months(), 29u);
  CZqlYM month(kZqlIMonth), year(kZqlIYear);
  EXPECT_EQ(Raised([&] { month.setYears(1); }), kArgs);
  EXPECT_EQ(Raised([&] { year.set(kZqlFalse, 1, 1); }), kArgs);
  CZqlDT dh(kZqlIDayToHour), hm(kZqlIHourToMinute), sec(kZqlISecond, 2);
  EXPECT_EQ(Raised([&] { dh.setMinutes(1); }), kArgs);
  EXPECT_EQ(Raised([&] { dh.setDays(10000); }), kOverflow);
  EXPECT_EQ(hm.set(kZqlTrue, 0, 26, 30, 0), 1);  // the leading field may pass 23
  EXPECT_EQ(Text(hm), "-0026:30");
  EXPECT_EQ(Raised([&] { hm.set(kZqlFalse, 1, 0, 0, 0); }), kArgs);
  EXPECT_EQ(Raised([&] { hm.set(kZqlFalse, 0, 1, 60, 0); }), kFormat);
  EXPECT_EQ(Raised([&] { sec.setSeconds(-1.0); }), kFormat);
  EXPECT_EQ(Raised([&] { sec.setSeconds(100.0); }), kOverflow);
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
  CZqlNumeric half = With(CZqlNumeric(5, 1), 0.5);
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
  CZqlNumeric k = With(CZqlNumeric(5, 1), 2.5);
  EXPECT_EQ(Text(a * k), "000000 02:30:00.00000000");
  EXPECT_EQ(Text(a / 4L), "000000 00:15:00.00000000");
  EXPECT_EQ(Raised([&] { r = a / CZqlInt(); }), 0);  // null divisor: null
  CZqlInt zero = With(CZqlInt(), 0L);
  EXPECT_EQ(Raised([&] { r = a / zero; }), kZqlErrDivisionByZero);
  CZqlDT days(kZqlIDay, 6);
  days.setDays(999999);
  EXPECT_EQ(Raised([&] { r = days + a; }), 0);  // still 999999 days
  EXPECT_EQ(Raised([&] { r = days + a * 24L; }), kOverflow);
}

// Stores between intervals, numerics and character values: only exact
// numerics and single-field intervals meet; fractions go as far as the
// target holds them.
TEST(IntervalConversion, StoreBetweenClasses) {
  auto dt = [](EZqlIType t, unsigned int lead, unsigned int frac, const char* text) {
    CZqlDT v(t, lead, frac);
    EXPECT_EQ(Store(&v, text), 0) << text;
    return v;
  };
  CZqlInt i, hundred;
  i = -3L;
  hundred = 100L;
  CZqlNumeric n = With(CZqlNumeric(6, 2), 2.75);
  CZqlDouble d = With(CZqlDouble(), 1.0);
  CZqlDate date;
  date.set(2000, 1, 1);
  CZqlYM months(kZqlIMonth), ym(kZqlIYearToMonth);
  Store(&months, "-14");
  Store(&ym, "1-1");
  const CZqlDT ds = dt(kZqlIDayToSecond, 4, 0, "1 12:00:00");
  const CZqlDT ds5 = dt(kZqlIDayToSecond, 4, 0, "5 00:00:00");
  const CZqlDT sec = dt(kZqlISecond, 6, 2, "40000.25");
  CZqlDT whole(kZqlISecond);
  whole.setSeconds(2.5);  // the fraction its text does not show
  CZqlChar chars(30);
  chars.setVarying();
  chars.storeValue("-1 02:03:04.5", 14);
  CZqlDT day(kZqlIDay), sec2(kZqlISecond, 4, 2), multi(kZqlIDayToHour), hours(kZqlIHour, 2),
      ds21(kZqlIDayToSecond, 2, 1);
  CZqlYM year2(kZqlIYear, 2), year(kZqlIYear);
  CZqlSmallInt small;
  CZqlNumeric num(10, 2);
  CZqlDecimal dec(6, 1);
  CZqlChar back(30);
  back.setVarying();
  constexpr int kNoCast = kZqlErrExpressionCannotBeCastToTheSpecifiedType;
  const struct {
    CZqlData& to;
    const CZqlData& from;
    int code;
    const char* text;  // of the target afterwards
  } cases[] = {
      {day, i, 0, "-0003"},          {day, n, 0, "0002"},  // whole days
      {sec2, n, 0, "0002.75"},       {year2, hundred, kOverflow, ""},
      {multi, n, kNoCast, ""},       {day, d, kNoCast, "0002"},
      {day, date, kNoCast, "0002"},  {year2, day, kNoCast, ""},
      {day, ds, 0, "0001"},          {hours, ds, 0, "36"},
      {hours, ds5, kOverflow, "36"}, {year, months, 0, "-0001"},
      {small, sec, kZqlErrNumericValueOutOfRange, ""},
      {num, sec, 0, "40000.25"},     {dec, whole, 0, "2.5"},
      {num, ym, kNoCast, "40000.25"}, {ds21, chars, 0, "-01 02:03:04.5"},
      {back, ds21, 0, "-01 02:03:04.5"},
  };
  for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
    const auto& c = cases[k];
    EXPECT_EQ(Raised([&] { c.to.storeValue(c.from); }), c.code) << "case " << k;
    EXPECT_EQ(Text(c.to), c.text) << "case " << k;
  }
  EXPECT_EQ(year.storeValue(static_cast<const CZqlData&>(CZqlYM(kZqlIMonth))), 1);
  EXPECT_TRUE(year.isNull());
  // Host numbers go to and from single fields only.
  EXPECT_EQ(day.storeValue(7L), 1);
  EXPECT_EQ(Text(day), "0007");
  EXPECT_EQ(multi.storeValue(7L), 0);
  short sh = 0;
  EXPECT_EQ(Raised([&] { sec.getValue(&sh); }), kZqlErrNumericValueOutOfRange);
  double dv = 0;
  EXPECT_EQ(ym.getValue(&dv), 0);
}

TEST(IntervalRecords, EachRecordSetsAndGets) {
  CZqlYM ym(kZqlIYearToMonth);
  EXPECT_EQ(ym.set(zql_yeartomonth{kZqlTrue, 3, 4}), 1);
  zql_month mo = {};
  EXPECT_EQ(ym.get(&mo), 1);
  EXPECT_EQ(mo.months, 40u);
  EXPECT_EQ(Raised([&] { ym.set(zql_yeartomonth{kZqlFalse, 1, 12}); }), kFormat);
  EXPECT_EQ(Text(ym), "-0003-04");
  CZqlYM year(kZqlIYear);
  EXPECT_EQ(Raised([&] { year.set(zql_month{kZqlFalse, 9}); }), kArgs);

  // Records of other types read the value in their own fields.
  CZqlDT ds(kZqlIDayToSecond, 4, 2);
  EXPECT_EQ(ds.set(zql_daytosecond{4.25, kZqlFalse, 1, 2, 3}), 1);
  zql_hourtosecond hs = {};
  zql_second s = {};
  zql_minute mi = {};
  zql_minuteitosecond ms = {};
  EXPECT_TRUE(ds.get(&hs) && ds.get(&s) && ds.get(&mi) && ds.get(&ms));
  EXPECT_EQ(hs.hours, 26u);
  EXPECT_DOUBLE_EQ(s.seconds, 93784.25);
  EXPECT_EQ(mi.minutes, 1563u);
  EXPECT_EQ(ms.minutes, 1563u);
  EXPECT_DOUBLE_EQ(ms.seconds, 4.25);
  EXPECT_EQ(Raised([&] { ds.set(zql_daytosecond{60.0, kZqlFalse, 1, 2, 3}); }), kFormat);
  EXPECT_EQ(Text(ds), "0001 02:03:04.25");
  // Each record into a value of its own type (HOUR TO MINUTE and SECOND:
  // HostLink.RecordsRoundTrip).
  struct {
    EZqlIType type;
    int (*store)(CZqlDT*);
    const char* text;
  } cases[] = {
      {kZqlIDay, [](CZqlDT* v) { return v->set(zql_day{kZqlTrue, 7}); }, "-0007"},
      {kZqlIHour, [](CZqlDT* v) { return v->set(zql_hour{kZqlFalse, 30}); }, "0030"},
      {kZqlIMinute, [](CZqlDT* v) { return v->set(zql_minute{kZqlFalse, 61}); }, "0061"},
      {kZqlIDayToHour, [](CZqlDT* v) { return v->set(zql_daytohour{kZqlFalse, 1, 2}); },
       "0001 02"},
      {kZqlIDayToMinute,
       [](CZqlDT* v) { return v->set(zql_daytominute{kZqlFalse, 1, 2, 3}); }, "0001 02:03"},
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
