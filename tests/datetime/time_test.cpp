// TIME and TIMESTAMP: rounding of fractional seconds, the text forms with
// the time-zone displacement, arithmetic wrapping at midnight or carrying
// into the date, differences, comparisons, host records and the conditions
// pushed on the current descriptor area.

#include <memory>

#include "../data/common.h"

namespace {

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

TEST(TimeRounding, ExactHalfRoundsDownNeverIntoTheNextDay) {
  const struct {
    unsigned int prec;
    unsigned short h, m;
    double sec;
    const char* text;
  } cases[] = {
      {2, 10, 20, 30.125, "10:20:30.12"},  {2, 10, 20, 30.126, "10:20:30.13"},
      // 30.115 is not exact in binary; it still counts as a half.
      {2, 10, 20, 30.115, "10:20:30.11"},  {2, 10, 20, 30.1151, "10:20:30.12"},
      {0, 10, 20, 30.5, "10:20:30"},       {0, 10, 20, 59.6, "10:21:00"},
      {0, 23, 59, 59.9, "23:59:59"},       {3, 23, 59, 59.9996, "23:59:59.999"},
  };
  for (const auto& c : cases) {
    CZqlTime t(c.prec);
    t.set(c.h, c.m, c.sec);
    EXPECT_EQ(Text(t), c.text) << c.sec;
  }
}

TEST(TimeValidation, FieldLimits) {
  CZqlTime t;
  for (double sec : {60.0, -0.5, __builtin_nan("")}) {
    EXPECT_EQ(Raised([&] { t.set(0, 0, sec); }), kFormat) << sec;
  }
  EXPECT_TRUE(t.isNull());
  EXPECT_EQ(Raised([&] { t.set(23, 59, 59.75); }), 0);
  EXPECT_EQ(t.Second(), 59.0);  // rounded to precision 0
  EXPECT_EQ(Raised([&] { t.setHour(24); }), kFormat);
  EXPECT_EQ(Raised([&] { t.setMinute(5); }), 0);
  EXPECT_EQ(Text(t), "23:05:59");
}

// Texts read into TIME(prec) or TIMESTAMP(prec), with or without the zone
// flag: the text written back, or the code raised.
TEST(TimeText, FormsZonesAndErrors) {
  const struct {
    bool stamp;
    unsigned int prec;
    EZqlBoolean tz;
    const char* in;
    const char* out;  // nullptr: refused with code
    int code;
  } cases[] = {
      {false, 3, kZqlFalse, "10:20:30.500", "10:20:30.5", 0},
      {false, 3, kZqlFalse, "10:20:30.000", "10:20:30", 0},
      {false, 2, kZqlFalse, "1:2:3.25", "01:02:03.25", 0},
      {false, 6, kZqlFalse, "  10:20:30.123456  ", "10:20:30.123456", 0},
      {false, 3, kZqlFalse, "10:20:30.123456", "10:20:30.123", 0},
      {false, 0, kZqlTrue, "10:20:30+05:30", "10:20:30+05:30", 0},
      {false, 2, kZqlTrue, "10:20:30.25 -00:30", "10:20:30.25-00:30", 0},
      {false, 0, kZqlFalse, "10:20:30+01:00", "10:20:30", 0},  // zone held, not written
      {false, 0, kZqlTrue, "10:20:30+5", nullptr, kZqlErrWrongIntervalString},
      {false, 0, kZqlTrue, "10:20:30+05:60", nullptr, kZqlErrInvalidIntervalFormat},
      {false, 0, kZqlTrue, "10:20:30+100:00", nullptr, kZqlErrIntervalFieldOverflow},
      {false, 0, kZqlTrue, "10:20+05:00", nullptr, kCast},
      {true, 6, kZqlFalse, "2000-02-29   23:59:59.123456", "2000-02-29 23:59:59.123456", 0},
      {true, 0, kZqlTrue, "1999-12-31 23:59:59-08:00", "1999-12-31 23:59:59-08:00", 0},
      {true, 6, kZqlFalse, "2000-01-01T10:00:00", nullptr, kCast},
      {true, 6, kZqlFalse, "2000-02-30 10:00:00", nullptr, kCast},
      {true, 6, kZqlFalse, "2000-01-01 10:00", nullptr, kCast},
      {true, 6, kZqlFalse, "2000-01-01", nullptr, kCast},
  };
  for (const auto& c : cases) {
    std::unique_ptr<CZqlData> v;
    if (c.stamp) {
      v = std::make_unique<CZqlTimeStamp>(c.prec, c.tz);
    } else {
      v = std::make_unique<CZqlTime>(c.prec, c.tz);
    }
    EXPECT_EQ(Raised([&] { v->storeValue(c.in, 40); }), c.code) << c.in;
    EXPECT_EQ(Text(*v), c.out ? c.out : "") << c.in;
  }
  CZqlTime t;
  for (const char* bad : {"10:20", "123:00:00", "10:200:00", "24:00:00", "10:60:00", "10:20:60",
                          "10:20:30x", "", "ab:cd:ef", "10 20 30"}) {
    EXPECT_EQ(Raised([&] { t.storeValue(bad, 40); }), kCast) << bad;
  }
  EXPECT_TRUE(t.isNull());
  const CZqlTime a = Time("10:20:30-05:30", 0, kZqlTrue);
  EXPECT_EQ(a.DateTimeType(), kZqlDtTimeTz);
  EXPECT_EQ(Text(a.TimeZone()), "-05:30");
  EXPECT_EQ(Literal(a), "TIME '10:20:30-05:30'");
  EXPECT_EQ(Literal(Stamp("1999-12-31 23:59:59", 0)), "TIMESTAMP '1999-12-31 23:59:59'");
  CZqlTimeStamp ts = Stamp("2000-01-01 10:00:00");
  EXPECT_EQ(Raised([&] { ts.storeValue("2000-01-01", 30); }), kCast);
  EXPECT_EQ(Text(ts), "2000-01-01 10:00:00");  // a failure leaves the value
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

// Times wrap at midnight, keep their zone and take the finer precision;
// timestamps carry days and months into the date; differences carry the
// sign. Each row: the result's text, or the code raised.
TEST(TimeArithmetic, WrapsCarriesAndDifferences) {
  auto T = [](const CZqlData& v) { return Text(v); };
  const CZqlTime late = Time("23:00:00");
  const CZqlDT hour = Interval(kZqlIHour, "1");
  CZqlYM month(kZqlIMonth);
  month.setMonths(1);
  const CZqlDT minutes(kZqlIMinute);
  const CZqlTimeStamp a = Stamp("2000-03-01 01:00:00");
  const CZqlTimeStamp b = Stamp("2000-02-28 23:30:00");
  const CZqlTimeStamp ts = Stamp("2000-12-31 23:30:00");
  const CZqlTimeStamp jan30 = Stamp("2000-01-30 08:15:00", 0);
  ExpectOps({
      {[&] {
         const CZqlTime r = late + Interval(kZqlIHour, "2");
         return r.TimePrec() == 6u ? T(r) : "precision";
       }, "01:00:00", 0},
      {[&] { return T(Time("01:00:00") - Interval(kZqlIHour, "2")); }, "23:00:00", 0},
      {[&] { return T(late + Interval(kZqlIHour, "48")); }, "23:00:00", 0},
      {[&] { return T(late + Interval(kZqlIHour, "-49")); }, "22:00:00", 0},
      {[&] { return T(Interval(kZqlIMinuteToSecond, "59:59.5", 4, 1) + Time("00:00:00")); },
       "00:59:59.5", 0},
      {[&] { return T(Time("00:00:00") - Interval(kZqlISecond, "0.000001", 4, 6)); },
       "23:59:59.999999", 0},
      {[&] { return T(late + Interval(kZqlIDayToHour, "0 01")); }, "",
       kZqlErrInvalidFunctionArguments},
      {[&] { return T(CZqlTime() + hour); }, "", 0},
      {[&] { return T(late + CZqlDT(kZqlIHour)); }, "", 0},
      {[&] {
         const CZqlTime z = Time("10:00:00+02:00", 0, kZqlTrue) + Interval(kZqlIMinute, "30");
         CZqlTime plain;
         plain = z;  // assignment keeps the target's attributes: no zone shown
         return z.DateTimeType() == kZqlDtTimeTz ? T(z) + " " + T(plain) : "type";
       }, "10:30:00+02:00 10:30:00", 0},
      {[&] { return T(Time("10:00:00").DTDiff(Time("09:30:00"), minutes)); }, "0030", 0},
      {[&] { return T(Time("09:30:00").DTDiff(Time("10:00:00"), minutes)); }, "-0030", 0},
      {[&] { return T(Time("09:30:00").DTDiff(CZqlTime(), minutes)); }, "", 0},
      {[&] { return T(a.DTDiff(b, CZqlDT(kZqlIDayToMinute, 2))); }, "01 01:30", 0},
      {[&] { return T(b.DTDiff(a, CZqlDT(kZqlIHour, 3))); }, "-025", 0},
      {[&] { return T(a.YMDiff(Stamp("1999-01-31 00:00:00"), CZqlYM(kZqlIYearToMonth))); },
       "0001-02", 0},
      {[&] {
         const CZqlTimeStamp r = ts + hour;
         return r.TimeStampPrec() == 6u ? T(r) : "precision";
       }, "2001-01-01 00:30:00", 0},
      {[&] { return T(ts - Interval(kZqlIDayToSecond, "365 23:30:00")); }, "2000-01-01 00:00:00",
       0},
      {[&] { return T(Interval(kZqlIDay, "60") + Stamp("2000-01-01 12:00:00")); },
       "2000-03-01 12:00:00", 0},
      {[&] { return T(Stamp("2000-03-01 00:00:00") - Interval(kZqlISecond, "0.5", 4, 1)); },
       "2000-02-29 23:59:59.5", 0},
      {[&] { return T(Stamp("9999-12-31 23:00:00") + hour); }, "", kZqlErrDatetimeFieldOverflow},
      {[&] { return T(Stamp("0001-01-01 00:00:00") - Interval(kZqlISecond, "1")); }, "",
       kZqlErrDatetimeFieldUnderflow},
      {[&] { return T(jan30 + month); }, "", kZqlErrDatetimeFieldOverflow},
      {[&] { return T(jan30 - month); }, "1999-12-30 08:15:00", 0},
      {[&] { return T(month + Stamp("2000-01-29 08:15:00")); }, "2000-02-29 08:15:00", 0},
      {[&] { return T(jan30 + CZqlYM(kZqlIMonth)); }, "", 0},
  });
}

// The finer precision decides the tolerance; intervals compare their signed
// magnitudes across types; nothing is true of a null.
TEST(DatetimeComparison, TimesStampsAndIntervals) {
  auto ym = [](EZqlIType type, const char* text) {
    CZqlYM v(type);
    EXPECT_EQ(Raised([&] { v.storeValue(text, 64); }), 0) << text;
    return v;
  };
  const CZqlTime a = Time("10:00:00.25", 2);
  const CZqlTimeStamp sa = Stamp("2000-03-01 01:00:00");
  const CZqlDT hour = Interval(kZqlIHour, "1");
  const CZqlDT cent = Interval(kZqlISecond, "0.1", 4, 2) + Interval(kZqlISecond, "0.2", 4, 2);
  const int truths[] = {
      a < Time("10:00:00.26", 2), a != Time("10:00:00.26", 2), a == Time("10:00:00.250", 3),
      Time("10:00:00") != Time("10:00:00.0001", 6), Time("10:00:00") == Time("10:00:00.0000004", 6),
      Stamp("2000-02-28 23:30:00") < sa, sa > Stamp("2000-02-28 23:30:00"),
      sa == Stamp("2000-03-01 01:00:00.0000001", 6),
      Stamp("2000-03-01 01:00:00") < Stamp("2000-03-01 01:00:00.001"),
      ym(kZqlIYear, "1") == ym(kZqlIMonth, "12"), ym(kZqlIMonth, "-12") < ym(kZqlIYear, "1"),
      ym(kZqlIYear, "1") != ym(kZqlIMonth, "-12"), hour == Interval(kZqlIMinute, "60"),
      hour >= Interval(kZqlIMinute, "60"),
      cent == Interval(kZqlISecond, "0.3", 4, 2),  // despite binary noise
  };
  for (size_t k = 0; k < sizeof truths / sizeof truths[0]; ++k) EXPECT_EQ(truths[k], 1) << k;
  const int falsehoods[] = {a == CZqlTime(2), a != CZqlTime(2), sa == CZqlTimeStamp(),
                            hour == CZqlDT(kZqlIHour), hour != CZqlDT(kZqlIHour)};
  for (size_t k = 0; k < sizeof falsehoods / sizeof falsehoods[0]; ++k) {
    EXPECT_EQ(falsehoods[k], 0) << k;
  }
}

// Records read back: the host link tests.
TEST(DatetimeRecord, BadRecordsAreRefused) {
  zql_date date = {2023, 2, 29};
  EXPECT_EQ(Raised([&] { CZqlDate().set(date); }), kFormat);
  EXPECT_EQ(CZqlDate().get(&date), 0);
  CZqlTime t(2, kZqlTrue);
  const zql_time in = {30.25, kZqlTrue, 3, 30, 10, 20};
  EXPECT_EQ(t.set(in), 1);
  zql_time bad = in;
  bad.tz_minutes = 60;
  EXPECT_EQ(Raised([&] { t.set(bad); }), kZqlErrInvalidIntervalFormat);
  bad = in;
  bad.hour = 24;
  EXPECT_EQ(Raised([&] { t.set(bad); }), kFormat);
  EXPECT_EQ(Text(t), "10:20:30.25-03:30");
  CZqlTimeStamp ts(3, kZqlTrue);
  zql_timestamp stamp = {{5.125, kZqlFalse, 1, 0, 23, 59}, {2024, 2, 29}};
  EXPECT_EQ(ts.set(stamp), 1);
  stamp.date.year = 2023;
  EXPECT_EQ(Raised([&] { ts.set(stamp); }), kFormat);
  EXPECT_EQ(Text(ts), "2024-02-29 23:59:05.125+01:00");
  // A timestamp is null until both parts are set.
  CZqlTimeStamp parts;
  EXPECT_EQ(parts.setYear(2000), 1);
  EXPECT_TRUE(parts.isNull());
  EXPECT_EQ(parts.Year(), 0u);
  EXPECT_EQ(parts.setHour(5), 1);
  EXPECT_EQ(Text(parts), "2000-01-01 05:00:00");
}

TEST(DatetimeStore, FromOtherValues) {
  const CZqlTimeStamp ts = Stamp("2000-02-29 12:34:56.789");
  CZqlDate d;
  EXPECT_EQ(d.storeValue(static_cast<const CZqlData&>(ts)), 1);
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
  CZqlInt i = With(CZqlInt(), 5L);
  EXPECT_EQ(Raised([&] { t.storeValue(static_cast<const CZqlData&>(i)); }), kNoCast);
  EXPECT_EQ(Raised([&] { d.storeValue(static_cast<const CZqlData&>(Interval(kZqlIDay, "1"))); }),
            kNoCast);
  EXPECT_EQ(Text(d), "2000-02-29");
  // 16-bit text outside the narrow set.
  const unsigned short bad[] = {'2', '0', '0', '1', 0x4E00, 0};
  EXPECT_EQ(Raised([&] { d.storeValue(CZqlUcStr(bad)); }), kCast);
}

// Cut datetime text is a warning only, cut interval text is refused; data
// exceptions are pushed before they are raised.
TEST(Diagnostics, CutTextsAndPushedErrors) {
  CDiagScope area;
  CZqlTimeStamp ts;
  ts.storeValue("2000-01-01 10:00:00", 20);
  char buf[11];
  EXPECT_EQ(ZqlTry([&] { EXPECT_EQ(ts.getValue(buf, sizeof buf), 1); }), 1);
  EXPECT_STREQ(buf, "2000-01-01");
  EXPECT_EQ(area.Codes(), std::vector<int>{kZqlErrStringDataRightTruncation0104});
  // Cut interval text is refused without condition.
  area.Flush();
  CZqlYM ym(kZqlIYearToMonth);
  ym.storeValue("1-2", 4);
  char cut[5];
  EXPECT_EQ(ym.getValue(cut, sizeof cut), 0);
  EXPECT_STREQ(cut, "");
  EXPECT_TRUE(area.None());
  // Data exceptions are pushed, then raised.
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
