// TIME and TIMESTAMP: rounding of fractional seconds, the text forms with
// the time-zone displacement, arithmetic wrapping at midnight or carrying
// into the date, differences, comparisons and host records.

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

std::string Type(const CZqlData& v) {
  CZqlUcStr s;
  v.SQLType(&s);
  char buf[80];
  return s.getToChar(buf, sizeof buf);
}

CZqlTime Time(const char* text, unsigned int p = 0, EZqlBoolean tz = kZqlFalse) {
  CZqlTime t(p, tz);
  EXPECT_EQ(Raised([&] { t.storeValue(text, 64); }), 0) << text;
  return t;
}

CZqlTimeStamp Stamp(const char* text, unsigned int p = 6) {
  CZqlTimeStamp t(p);
  EXPECT_EQ(Raised([&] { t.storeValue(text, 64); }), 0) << text;
  return t;
}

CZqlDT Interval(EZqlIType type, const char* text, unsigned int lead = 4, unsigned int frac = 0) {
  CZqlDT v(type, lead, frac);
  EXPECT_EQ(Raised([&] { v.storeValue(text, 64); }), 0) << text;
  return v;
}

constexpr int kFormat = kZqlErrInvalidDatetimeFormat;
constexpr int kCast = kZqlErrInvalidCharacterValueForCast;

TEST(TimeRounding, ExactHalfRoundsDown) {
  CZqlTime t(2);
  t.set(10, 20, 30.125);
  EXPECT_DOUBLE_EQ(t.TimeOfDay(), 37230.12);
  t.set(10, 20, 30.126);
  EXPECT_DOUBLE_EQ(t.TimeOfDay(), 37230.13);
  // 30.115 is not exact in binary; it still counts as a half.
  t.set(10, 20, 30.115);
  EXPECT_DOUBLE_EQ(t.TimeOfDay(), 37230.11);
  t.set(10, 20, 30.1151);
  EXPECT_DOUBLE_EQ(t.TimeOfDay(), 37230.12);
  CZqlTime whole;
  whole.set(10, 20, 30.5);
  EXPECT_EQ(Text(whole), "10:20:30");
  whole.set(10, 20, 59.6);
  EXPECT_EQ(Text(whole), "10:21:00");
}

TEST(TimeRounding, NeverRoundsIntoTheNextDay) {
  CZqlTime t;
  t.set(23, 59, 59.9);
  EXPECT_EQ(Text(t), "23:59:59");
  CZqlTime p3(3);
  p3.set(23, 59, 59.9996);
  EXPECT_EQ(Text(p3), "23:59:59.999");
}

TEST(TimeValidation, FieldLimits) {
  CZqlTime t;
  EXPECT_EQ(Raised([&] { t.set(24, 0, 0); }), kFormat);
  EXPECT_EQ(Raised([&] { t.set(0, 60, 0); }), kFormat);
  EXPECT_EQ(Raised([&] { t.set(0, 0, 60.0); }), kFormat);
  EXPECT_EQ(Raised([&] { t.set(0, 0, -0.5); }), kFormat);
  EXPECT_EQ(Raised([&] { t.set(0, 0, __builtin_nan("")); }), kFormat);
  EXPECT_TRUE(t.isNull());
  EXPECT_EQ(Raised([&] { t.set(23, 59, 59.75); }), 0);
  EXPECT_EQ(t.Hour(), 23u);
  EXPECT_EQ(t.Minute(), 59u);
  EXPECT_EQ(t.Second(), 59.0);  // rounded to precision 0
  EXPECT_EQ(Raised([&] { t.setHour(24); }), kFormat);
  EXPECT_EQ(Raised([&] { t.setMinute(5); }), 0);
  EXPECT_EQ(Text(t), "23:05:59");
}

TEST(TimeText, Forms) {
  EXPECT_EQ(Text(Time("10:20:30.500", 3)), "10:20:30.5");
  EXPECT_EQ(Text(Time("10:20:30")), "10:20:30");
  EXPECT_EQ(Text(Time("10:20:30.000", 3)), "10:20:30");
  EXPECT_EQ(Text(Time("1:2:3.25", 2)), "01:02:03.25");
  EXPECT_EQ(Text(Time("  10:20:30.123456  ", 6)), "10:20:30.123456");
  EXPECT_EQ(Text(Time("10:20:30.123456", 3)), "10:20:30.123");
  CZqlTime t;
  for (const char* bad : {"10:20", "123:00:00", "10:200:00", "24:00:00", "10:60:00", "10:20:60",
                          "10:20:30x", "", "ab:cd:ef", "10 20 30"}) {
    EXPECT_EQ(Raised([&] { t.storeValue(bad, 40); }), kCast) << bad;
  }
  EXPECT_TRUE(t.isNull());
}

TEST(TimeText, TimeZoneDisplacement) {
  const CZqlTime a = Time("10:20:30+05:30", 0, kZqlTrue);
  EXPECT_EQ(Text(a), "10:20:30+05:30");
  EXPECT_EQ(a.DateTimeType(), kZqlDtTimeTz);
  EXPECT_EQ(Text(a.TimeZone()), "05:30");
  const CZqlTime b = Time("10:20:30.25 -00:30", 2, kZqlTrue);
  EXPECT_EQ(Text(b), "10:20:30.25-00:30");
  EXPECT_EQ(b.TimeZone().Sign(), kZqlTrue);
  // Without the flag the displacement is held but not written.
  const CZqlTime c = Time("10:20:30+01:00");
  EXPECT_EQ(Text(c), "10:20:30");
  EXPECT_FALSE(c.TimeZone().isNull());
  CZqlTime t(0, kZqlTrue);
  EXPECT_EQ(Raised([&] { t.storeValue("10:20:30+5", 20); }), kZqlErrWrongIntervalString);
  EXPECT_EQ(Raised([&] { t.storeValue("10:20:30+05:60", 20); }), kZqlErrInvalidIntervalFormat);
  EXPECT_EQ(Raised([&] { t.storeValue("10:20:30+100:00", 20); }), kZqlErrIntervalFieldOverflow);
  EXPECT_EQ(Raised([&] { t.storeValue("10:20+05:00", 20); }), kCast);
  EXPECT_TRUE(t.isNull());
  CZqlUcStr lit;
  a.SQLLiteral(&lit);
  char buf[64];
  EXPECT_STREQ(lit.getToChar(buf, sizeof buf), "TIME '10:20:30+05:30'");
}

TEST(TimeZone, OnlyHourAndMinuteIntervals) {
  CZqlTime t(0, kZqlTrue);
  t.set(8, 0, 0);
  EXPECT_EQ(t.setTimeZone(Interval(kZqlIHour, "-5")), 1);
  EXPECT_EQ(Text(t), "08:00:00-05:00");
  EXPECT_EQ(t.setTimeZone(Interval(kZqlIMinute, "90")), 1);
  EXPECT_EQ(Text(t), "08:00:00+01:30");
  EXPECT_EQ(Raised([&] { t.setTimeZone(Interval(kZqlIDay, "1")); }),
            kZqlErrNotATimeZoneInterval);
  EXPECT_EQ(t.setTimeZone(CZqlDT(kZqlIHourToMinute)), 1);
  EXPECT_EQ(Text(t), "08:00:00");
}

TEST(TimeAttributes, LengthsAndTypeTexts) {
  EXPECT_EQ(CZqlTime().ReturnLength(), 8u);
  EXPECT_EQ(CZqlTime(3).ReturnLength(), 12u);
  EXPECT_EQ(CZqlTime(3, kZqlTrue).ReturnLength(), 18u);
  EXPECT_EQ(CZqlTime(40).TimePrec(), 9u);
  EXPECT_EQ(Type(CZqlTime()), "TIME");
  EXPECT_EQ(Type(CZqlTime(3, kZqlTrue)), "TIME(3) WITH TIME ZONE");
  EXPECT_EQ(CZqlTimeStamp().ReturnLength(), 26u);
  EXPECT_EQ(CZqlTimeStamp(0).ReturnLength(), 19u);
  EXPECT_EQ(CZqlTimeStamp(6, kZqlTrue).ReturnLength(), 32u);
  EXPECT_EQ(CZqlTimeStamp().TimeStampPrec(), 6u);
  EXPECT_EQ(Type(CZqlTimeStamp()), "TIMESTAMP");
  EXPECT_EQ(Type(CZqlTimeStamp(0, kZqlTrue)), "TIMESTAMP(0) WITH TIME ZONE");
  EXPECT_EQ(CZqlTimeStamp(6, kZqlTrue).DateTimeType(), kZqlDtTimeStampTz);
  EXPECT_EQ(CZqlTimeStamp().DateTimeType(), kZqlDtTimeStamp);
}

TEST(TimeArithmetic, WrapsAt86400) {
  const CZqlTime late = Time("23:00:00");
  CZqlTime r = late + Interval(kZqlIHour, "2");
  EXPECT_EQ(Text(r), "01:00:00");
  EXPECT_EQ(r.TimePrec(), 6u);
  EXPECT_EQ(Text(Time("01:00:00") - Interval(kZqlIHour, "2")), "23:00:00");
  EXPECT_EQ(Text(late + Interval(kZqlIHour, "48")), "23:00:00");
  EXPECT_EQ(Text(late + Interval(kZqlIHour, "-49")), "22:00:00");
  EXPECT_EQ(Text(Interval(kZqlIMinuteToSecond, "59:59.5", 4, 1) + Time("00:00:00")),
            "00:59:59.5");
  EXPECT_EQ(Text(Time("00:00:00") - Interval(kZqlISecond, "0.000001", 4, 6)), "23:59:59.999999");
  EXPECT_EQ(Raised([&] { r = late + Interval(kZqlIDayToHour, "0 01"); }),
            kZqlErrInvalidFunctionArguments);
  EXPECT_TRUE((CZqlTime() + Interval(kZqlIHour, "1")).isNull());
  EXPECT_TRUE((late + CZqlDT(kZqlIHour)).isNull());
  // The zone goes with the result.
  const CZqlTime zoned = Time("10:00:00+02:00", 0, kZqlTrue) + Interval(kZqlIMinute, "30");
  EXPECT_EQ(Text(zoned), "10:30:00+02:00");
  EXPECT_EQ(zoned.DateTimeType(), kZqlDtTimeTz);
  // Assignment keeps the target's attributes: no flag, no zone shown.
  r = zoned;
  EXPECT_EQ(Text(r), "10:30:00");
}

TEST(TimeArithmetic, DifferencesAndComparison) {
  const CZqlDT minutes(kZqlIMinute);
  EXPECT_EQ(Text(Time("10:00:00").DTDiff(Time("09:30:00"), minutes)), "0030");
  EXPECT_EQ(Text(Time("09:30:00").DTDiff(Time("10:00:00"), minutes)), "-0030");
  EXPECT_TRUE(Time("09:30:00").DTDiff(CZqlTime(), minutes).isNull());
  const CZqlTime a = Time("10:00:00.25", 2);
  const CZqlTime b = Time("10:00:00.26", 2);
  EXPECT_TRUE(a < b);
  EXPECT_TRUE(a != b);
  EXPECT_TRUE(a == Time("10:00:00.250", 3));
  // The finer precision decides the tolerance.
  EXPECT_TRUE(Time("10:00:00") != Time("10:00:00.0001", 6));
  EXPECT_TRUE(Time("10:00:00") == Time("10:00:00.0000004", 6));
  EXPECT_FALSE(a == CZqlTime(2));
  EXPECT_FALSE(a != CZqlTime(2));
}

TEST(TimeRecord, SetAndGetWithZone) {
  CZqlTime t(2, kZqlTrue);
  const zql_time in = {30.25, kZqlTrue, 3, 30, 10, 20};
  EXPECT_EQ(t.set(in), 1);
  EXPECT_EQ(Text(t), "10:20:30.25-03:30");
  zql_time out = {};
  EXPECT_EQ(t.get(&out), 1);
  EXPECT_EQ(out.hour, 10);
  EXPECT_EQ(out.minute, 20);
  EXPECT_DOUBLE_EQ(out.seconds, 30.25);
  EXPECT_EQ(out.tz_sign, kZqlTrue);
  EXPECT_EQ(out.tz_hours, 3u);
  EXPECT_EQ(out.tz_minutes, 30u);
  zql_time bad = in;
  bad.tz_minutes = 60;
  EXPECT_EQ(Raised([&] { t.set(bad); }), kZqlErrInvalidIntervalFormat);
  bad = in;
  bad.hour = 24;
  EXPECT_EQ(Raised([&] { t.set(bad); }), kFormat);
  EXPECT_EQ(Text(t), "10:20:30.25-03:30");
}

TEST(TimeStampText, DateBlankTime) {
  CZqlTimeStamp ts = Stamp("2000-01-01 10:00:00");
  EXPECT_EQ(Text(ts), "2000-01-01 10:00:00");
  EXPECT_EQ(ts.Year(), 2000u);
  EXPECT_EQ(ts.Hour(), 10u);
  EXPECT_EQ(Text(Stamp("2000-02-29   23:59:59.123456")), "2000-02-29 23:59:59.123456");
  EXPECT_EQ(Raised([&] { ts.storeValue("2000-01-01T10:00:00", 30); }), kCast);
  EXPECT_EQ(Raised([&] { ts.storeValue("2000-02-30 10:00:00", 30); }), kCast);
  EXPECT_EQ(Raised([&] { ts.storeValue("2000-01-01 10:00", 30); }), kCast);
  EXPECT_EQ(Raised([&] { ts.storeValue("2000-01-01", 30); }), kCast);
  EXPECT_EQ(Text(ts), "2000-01-01 10:00:00");  // failures left the value
  CZqlTimeStamp tz(0, kZqlTrue);
  EXPECT_EQ(Raised([&] { tz.storeValue("1999-12-31 23:59:59-08:00", 40); }), 0);
  EXPECT_EQ(Text(tz), "1999-12-31 23:59:59-08:00");
  CZqlUcStr lit;
  tz.SQLLiteral(&lit);
  char buf[64];
  EXPECT_STREQ(lit.getToChar(buf, sizeof buf), "TIMESTAMP '1999-12-31 23:59:59-08:00'");
}

TEST(TimeStampNull, NullUnlessBothParts) {
  CZqlTimeStamp ts;
  EXPECT_TRUE(ts.isNull());
  EXPECT_EQ(ts.setYear(2000), 1);
  EXPECT_TRUE(ts.isNull());
  EXPECT_EQ(ts.Year(), 0u);
  EXPECT_EQ(ts.setHour(5), 1);
  EXPECT_FALSE(ts.isNull());
  EXPECT_EQ(Text(ts), "2000-01-01 05:00:00");
  ts.setNull();
  EXPECT_TRUE(ts.isNull());
  EXPECT_EQ(Text(ts), "");
}

TEST(TimeStampArithmetic, DaysCarryIntoTheDate) {
  const CZqlTimeStamp ts = Stamp("2000-12-31 23:30:00");
  CZqlTimeStamp r = ts + Interval(kZqlIHour, "1");
  EXPECT_EQ(Text(r), "2001-01-01 00:30:00");
  EXPECT_EQ(r.TimeStampPrec(), 6u);
  EXPECT_EQ(Text(ts - Interval(kZqlIDayToSecond, "365 23:30:00")), "2000-01-01 00:00:00");
  EXPECT_EQ(Text(Interval(kZqlIDay, "60") + Stamp("2000-01-01 12:00:00")), "2000-03-01 12:00:00");
  EXPECT_EQ(Text(Stamp("2000-03-01 00:00:00") - Interval(kZqlISecond, "0.5", 4, 1)),
            "2000-02-29 23:59:59.5");
  EXPECT_EQ(Raised([&] { r = Stamp("9999-12-31 23:00:00") + Interval(kZqlIHour, "1"); }),
            kZqlErrDatetimeFieldOverflow);
  EXPECT_EQ(Raised([&] { r = Stamp("0001-01-01 00:00:00") - Interval(kZqlISecond, "1"); }),
            kZqlErrDatetimeFieldUnderflow);
}

TEST(TimeStampArithmetic, MonthsMoveTheDatePart) {
  CZqlYM month(kZqlIMonth);
  month.setMonths(1);
  const CZqlTimeStamp ts = Stamp("2000-01-30 08:15:00", 0);
  CZqlTimeStamp r;
  EXPECT_EQ(Raised([&] { r = ts + month; }), kZqlErrDatetimeFieldOverflow);
  EXPECT_EQ(Text(ts - month), "1999-12-30 08:15:00");
  EXPECT_EQ(Text(month + Stamp("2000-01-29 08:15:00")), "2000-02-29 08:15:00");
  EXPECT_TRUE((ts + CZqlYM(kZqlIMonth)).isNull());
}

TEST(TimeStampArithmetic, DifferencesAndComparison) {
  const CZqlTimeStamp a = Stamp("2000-03-01 01:00:00");
  const CZqlTimeStamp b = Stamp("2000-02-28 23:30:00");
  EXPECT_EQ(Text(a.DTDiff(b, CZqlDT(kZqlIDayToMinute, 2))), "01 01:30");
  EXPECT_EQ(Text(b.DTDiff(a, CZqlDT(kZqlIHour, 3))), "-025");
  EXPECT_EQ(Text(a.YMDiff(Stamp("1999-01-31 00:00:00"), CZqlYM(kZqlIYearToMonth))), "0001-02");
  EXPECT_TRUE(b < a);
  EXPECT_TRUE(a > b);
  EXPECT_TRUE(a == Stamp("2000-03-01 01:00:00.0000001", 6));
  EXPECT_TRUE(Stamp("2000-03-01 01:00:00") < Stamp("2000-03-01 01:00:00.001"));
  EXPECT_FALSE(a == CZqlTimeStamp());
}

TEST(TimeStampRecord, SetAndGet) {
  CZqlTimeStamp ts(3, kZqlTrue);
  const zql_timestamp in = {{5.125, kZqlFalse, 1, 0, 23, 59}, {2024, 2, 29}};
  EXPECT_EQ(ts.set(in), 1);
  EXPECT_EQ(Text(ts), "2024-02-29 23:59:05.125+01:00");
  zql_timestamp out = {};
  EXPECT_EQ(ts.get(&out), 1);
  EXPECT_EQ(out.date.day, 29);
  EXPECT_EQ(out.time.minute, 59);
  EXPECT_DOUBLE_EQ(out.time.seconds, 5.125);
  zql_timestamp bad = in;
  bad.date.year = 2023;
  EXPECT_EQ(Raised([&] { ts.set(bad); }), kFormat);
  EXPECT_EQ(Text(ts), "2024-02-29 23:59:05.125+01:00");
}

TEST(DatetimeStore, FromOtherValues) {
  const CZqlTimeStamp ts = Stamp("2000-02-29 12:34:56.789");
  CZqlDate d;
  EXPECT_EQ(d.storeValue(static_cast<const CZqlData&>(ts)), 1);
  EXPECT_EQ(Text(d), "2000-02-29");
  CZqlTime t(1);
  EXPECT_EQ(t.storeValue(static_cast<const CZqlData&>(ts)), 1);
  EXPECT_EQ(Text(t), "12:34:56.8");
  CZqlTimeStamp back(0);
  EXPECT_EQ(back.storeValue(static_cast<const CZqlData&>(d)), 1);
  EXPECT_EQ(Text(back), "2000-02-29 00:00:00");
  EXPECT_EQ(back.storeValue(static_cast<const CZqlData&>(ts)), 1);
  EXPECT_EQ(Text(back), "2000-02-29 12:34:57");
  EXPECT_EQ(back.storeValue(static_cast<const CZqlData&>(CZqlDate())), 1);
  EXPECT_TRUE(back.isNull());
  constexpr int kNoCast = kZqlErrExpressionCannotBeCastToTheSpecifiedType;
  EXPECT_EQ(Raised([&] { d.storeValue(static_cast<const CZqlData&>(t)); }), kNoCast);
  EXPECT_EQ(Raised([&] { back.storeValue(static_cast<const CZqlData&>(t)); }), kNoCast);
  CZqlInt i;
  i = 5L;
  EXPECT_EQ(Raised([&] { t.storeValue(static_cast<const CZqlData&>(i)); }), kNoCast);
  EXPECT_EQ(Raised([&] { d.storeValue(static_cast<const CZqlData&>(Interval(kZqlIDay, "1"))); }),
            kNoCast);
  EXPECT_EQ(Text(d), "2000-02-29");
}

TEST(DatetimeStore, UnicodeText) {
  CZqlTimeStamp ts;
  EXPECT_EQ(ts.storeValue(CZqlUcStr("2001-02-03 04:05:06")), 1);
  EXPECT_EQ(Text(ts), "2001-02-03 04:05:06");
  CZqlUcStr out;
  EXPECT_EQ(ts.getValue(&out), 1);
  EXPECT_EQ(out.Length(), 19);
  const unsigned short bad[] = {'2', '0', '0', '1', 0x4E00, 0};
  CZqlDate d;
  EXPECT_EQ(Raised([&] { d.storeValue(CZqlUcStr(bad)); }), kCast);
}

}  // namespace
