// Round trips over generated tables of values of every datetime and
// interval class (text form back to an equal value; packed form back to an
// equal value and attributes), the exact packed bytes, damaged packed
// input, and the compatibility and result-type rules.

#include <memory>
#include <random>

#include "../data/common.h"

namespace {

using Values = std::vector<std::unique_ptr<CZqlData>>;

// ---------------------------------------------------------------------------
// Generated tables
// ---------------------------------------------------------------------------

class CTable {
 public:
  explicit CTable(unsigned int seed) : rnd_(seed) {}

  unsigned int Below(unsigned int n) { return n == 0 ? 0 : static_cast<unsigned int>(rnd_() % n); }

  // Seconds with at most `digits` decimals.
  double Seconds(unsigned int whole, unsigned int digits) {
    const unsigned int scale = static_cast<unsigned int>(ZqlNumScale[digits]);
    return whole + static_cast<double>(Below(scale)) / scale;
  }

  CZqlDate Date() {
    CZqlDate d;
    const unsigned short y = static_cast<unsigned short>(1 + Below(9999));
    const unsigned short m = static_cast<unsigned short>(1 + Below(12));
    const unsigned short day = static_cast<unsigned short>(1 + Below(CZqlDate::DaysInMonth(y, m)));
    EXPECT_EQ(d.set(y, m, day), 1);
    return d;
  }

  CZqlTime Time(unsigned int p, EZqlBoolean tz) {
    CZqlTime t(p, tz);
    EXPECT_EQ(t.set(static_cast<unsigned short>(Below(24)), static_cast<unsigned short>(Below(60)),
                    Seconds(Below(60), p)),
              1);
    if (tz && Below(4) != 0) {
      CZqlDT zone(kZqlIHourToMinute, 2);
      zone.set(Below(2) ? kZqlTrue : kZqlFalse, 0, Below(15), Below(60), 0);
      EXPECT_EQ(t.setTimeZone(zone), 1);
    }
    return t;
  }

  std::unique_ptr<CZqlTimeStamp> Stamp(unsigned int p, EZqlBoolean tz) {
    auto ts = std::make_unique<CZqlTimeStamp>(p, tz);
    const CZqlDate d = Date();
    const CZqlTime t = Time(p, tz);
    EXPECT_EQ(ts->set(static_cast<unsigned short>(d.Year()), static_cast<unsigned short>(d.Month()),
                      static_cast<unsigned short>(d.Day()), static_cast<unsigned short>(t.Hour()),
                      static_cast<unsigned short>(t.Minute()), t.Second()),
              1);
    ts->setTimeZone(t.TimeZone());
    return ts;
  }

  // A leading field count below 10^lead, small ones more often.
  unsigned int Leading(unsigned int lead) {
    const unsigned int digits = 1 + Below(lead);
    return Below(static_cast<unsigned int>(ZqlNumScale[digits]));
  }

  std::unique_ptr<CZqlYM> YM(EZqlIType type, unsigned int lead) {
    auto v = std::make_unique<CZqlYM>(type, lead);
    const unsigned int n = Leading(lead);
    const EZqlBoolean sign = Below(2) ? kZqlTrue : kZqlFalse;
    switch (type) {
      case kZqlIYear: EXPECT_EQ(v->set(sign, n, 0), 1); break;
      case kZqlIMonth: EXPECT_EQ(v->set(sign, 0, n), 1); break;
      default: EXPECT_EQ(v->set(sign, n, Below(12)), 1);
    }
    return v;
  }

  std::unique_ptr<CZqlDT> DT(EZqlIType type, unsigned int lead, unsigned int frac) {
    auto v = std::make_unique<CZqlDT>(type, lead, frac);
    const int first = CZqlIQualifier::FirstField(type);
    const int last = CZqlIQualifier::LastField(type);
    unsigned int f[4] = {0, 0, 0, 0};  // day, hour, minute, whole seconds
    const unsigned int limit[4] = {0, 24, 60, 60};
    for (int i = first; i <= last; ++i) {
      f[i - kZqlFieldDay] = i == first ? Leading(lead) : Below(limit[i - kZqlFieldDay]);
    }
    const double s = last == kZqlFieldSecond ? Seconds(f[3], frac) : 0.0;
    EXPECT_EQ(v->set(Below(2) ? kZqlTrue : kZqlFalse, f[0], f[1], f[2], s), 1)
        << type << " " << f[0] << " " << f[1] << " " << f[2] << " " << s;
    return v;
  }

  // Values of every class, type and a spread of attributes, nulls among
  // them.
  Values All() {
    Values out;
    for (int i = 0; i < 40; ++i) {
      out.push_back(std::make_unique<CZqlDate>(Date()));
      for (unsigned int p : {0u, 2u, 6u, 9u}) {
        for (EZqlBoolean tz : {kZqlFalse, kZqlTrue}) {
          out.push_back(std::make_unique<CZqlTime>(Time(p, tz)));
          out.push_back(Stamp(p, tz));
        }
      }
      for (int t = kZqlIYear; t <= kZqlIMinuteToSecond; ++t) {
        const EZqlIType type = static_cast<EZqlIType>(t);
        for (unsigned int lead : {1u, 2u, 4u, 6u}) {
          if (CZqlIQualifier::IsYMType(type)) {
            out.push_back(YM(type, lead));
          } else {
            out.push_back(DT(type, lead, Below(9)));
          }
        }
      }
    }
    out.push_back(std::make_unique<CZqlDate>());
    out.push_back(std::make_unique<CZqlTime>(3, kZqlTrue));
    out.push_back(std::make_unique<CZqlTimeStamp>());
    out.push_back(std::make_unique<CZqlYM>(kZqlIYearToMonth, 2));
    out.push_back(std::make_unique<CZqlDT>(kZqlIHourToSecond, 5, 3));
    return out;
  }

 private:
  std::mt19937 rnd_;
};

// Every value survives the round trips of its packed and text forms with
// its text and type text (which names every precision and the zone flag).
TEST(RoundTrip, TextAndPackedForms) {
  CTable table(301);
  const Values values = table.All();
  for (const auto& v : values) {
    std::size_t size = 0;
    ThroughDescriptor(*v, &size);
    // Three group items and the container's item around the value's form.
    EXPECT_EQ(size, v->packSize() + 4 * 8) << Text(*v);
    EXPECT_LE(Text(*v).size(), v->ReturnLength()) << Text(*v);
    ExpectRoundTrips(*v, [](const CZqlData& a, const CZqlData& b) {
      EXPECT_EQ(TypeText(b), TypeText(a));
      EXPECT_EQ(Text(b), Text(a));
    }, !v->isNull());
  }
  EXPECT_GT(values.size(), 1500u);
}

TEST(RoundTrip, UnpackOverAnOldValueKeepsNothingOfIt) {
  CZqlDT old(kZqlIHourToMinute);
  old.storeValue("-10:00", 7);
  CZqlDT positive(kZqlIHourToMinute);
  positive.storeValue("03:30", 6);
  Buffer bytes = Pack([&](CZqlObjPack* p) { positive.packTo(p); });
  CZqlObjPack pack(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ASSERT_EQ(Raised([&] { old.unpackFrom(&pack); }), 0);
  EXPECT_EQ(Text(old), "0003:30");
  EXPECT_TRUE(old == positive);
}

// ---------------------------------------------------------------------------
// Exact packed bytes
// ---------------------------------------------------------------------------

// Each value's packed form, item by item.
TEST(PackedForm, DatetimesAndIntervals) {
  CZqlDate d;
  d.set(2000, 2, 29);
  CZqlTime t(2, kZqlTrue);
  t.storeValue("10:20:30.25-05:30", 20);
  CZqlTimeStamp ts(0);
  ts.storeValue("2000-02-29 00:00:01", 20);
  CZqlYM y(kZqlIYearToMonth, 6);
  y.storeValue("-1-2", 5);
  CZqlDT s(kZqlISecond, 4, 2);
  s.storeValue("1.5", 4);
  const CZqlDate nd;
  const CZqlTime nt;
  const CZqlTimeStamp nts;
  const CZqlYM ny;
  const std::pair<const CZqlData*, CPackBytes> cases[] = {
      {&d, CPackBytes().Long(0, 2000 * 12 + 1).Long(1, 29).End(1)},
      {&nd, CPackBytes().End(1)},
      // Precision, zone flag, seconds of the day, then the zone's own form.
      {&t, CPackBytes().Short(0, 2).Short(1, 1).Double(2, 37230.25).Long(0, kZqlIHourToMinute)
               .Long(1, 2).Long(3, 1).Double(4, 19800.0).End(10).End(2)},
      {&nt, CPackBytes().End(2)},
      {&ts, CPackBytes().Long(0, 2000 * 12 + 1).Long(1, 29).End(1).Double(2, 1.0)
                .Long(0, kZqlIHourToMinute).Long(1, 2).End(10).End(2).End(3)},
      {&nts, CPackBytes().End(1).Short(0, 6).End(2).End(3)},
      {&y, CPackBytes().Long(0, 7).Long(1, 6).Long(3, 1).Long(4, 14).End(10)},
      {&ny, CPackBytes().Long(0, 1).End(10)},
      {&s, CPackBytes().Long(0, 6).Long(2, 2).Double(4, 1.5).End(10)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Pack([&](CZqlObjPack* p) { c.first->packTo(p); }), c.second.Buffer())
        << TypeText(*c.first);
  }
}

TEST(Unpack, ImpossibleValuesAreDamage) {
  CZqlDate d;
  CZqlTime t;
  CZqlYM y;
  CZqlDT dt;
  const std::pair<CZqlData*, CPackBytes> cases[] = {
      {&d, CPackBytes().Long(0, 1900 * 12 + 1).Long(1, 29).End(1)},
      {&d, CPackBytes().Long(0, 11).Long(1, 1).End(1)},
      {&d, CPackBytes().Long(0, 24000).Long(1, 65537).End(1)},
      {&t, CPackBytes().Double(2, 86400.0).End(10).End(2)},
      {&t, CPackBytes().Double(2, -1.0).End(10).End(2)},
      {&t, CPackBytes().Double(2, 1.0).Long(0, kZqlIDay).End(10).End(2)},
      {&y, CPackBytes().Long(0, kZqlIDay).End(10)},
      {&y, CPackBytes().Long(0, 2).Long(4, 2000000).End(10)},
      {&dt, CPackBytes().Long(0, kZqlIYear).End(10)},
      {&dt, CPackBytes().Double(4, __builtin_nan("")).End(10)},
      {&dt, CPackBytes().Double(4, -5.0).End(10)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnpackInto(c.first, c.second.Buffer()), kZqlErrInternalZQLError) << &c - cases;
  }
  EXPECT_TRUE(d.isNull());
  // Precisions out of range are held to their limits or defaults.
  EXPECT_EQ(UnpackInto(&t, CPackBytes().Short(0, 100).Double(2, 1.0).End(10).End(2).Buffer()), 0);
  EXPECT_EQ(t.TimePrec(), 9u);
  CZqlDT fresh;
  EXPECT_EQ(UnpackInto(&fresh, CPackBytes().Long(1, 99).Long(2, 99).Double(4, 5).End(10).Buffer()),
            0);
  EXPECT_EQ(fresh.LeadFieldPrec(), 4u);
  EXPECT_EQ(fresh.FracSecPrec(), 0u);
}

// ---------------------------------------------------------------------------
// Compatibility and result types
// ---------------------------------------------------------------------------

struct SOperands {
  CZqlDate date;
  CZqlTime time{0, kZqlFalse};
  CZqlTime timeTz{0, kZqlTrue};
  CZqlTimeStamp stamp{6, kZqlFalse};
  CZqlTimeStamp stampTz{6, kZqlTrue};
  CZqlYM year{kZqlIYear};
  CZqlYM ym{kZqlIYearToMonth};
  CZqlDT day{kZqlIDay};
  CZqlDT hour{kZqlIHour};
  CZqlDT dayHour{kZqlIDayToHour};
  CZqlInt integer;
  CZqlNumeric numeric;
  CZqlDouble dbl;
  CZqlChar chars{10};
};

TEST(Compatibility, ComparableStorableCastable) {
  const SOperands o;
  using Rule = int (CZqlData::*)(const CZqlData*) const;
  const Rule cmp = &CZqlData::is_comparable, sto = &CZqlData::is_storable,
             cast = &CZqlData::is_castable;
  const struct {
    const CZqlData& a;
    Rule rule;
    const CZqlData* b;
    int expect;
  } cases[] = {
      {o.date, cmp, &o.date, 1},      {o.date, cmp, &o.stamp, 0},     {o.time, cmp, &o.timeTz, 1},
      {o.stampTz, sto, &o.stamp, 1},  {o.time, sto, &o.stamp, 0},     {o.date, cast, &o.chars, 1},
      {o.date, cast, &o.stampTz, 1},  {o.date, cast, &o.time, 0},     {o.time, cast, &o.stamp, 1},
      {o.stamp, cast, &o.date, 1},    {o.stamp, cast, &o.time, 0},    {o.date, cast, &o.integer, 0},
      {o.date, cmp, nullptr, 0},      {o.year, cmp, &o.ym, 1},        {o.year, cmp, &o.day, 0},
      {o.hour, sto, &o.dayHour, 1},   {o.day, cast, &o.integer, 1},   {o.day, cast, &o.numeric, 1},
      {o.day, cast, &o.dbl, 0},       {o.dayHour, cast, &o.integer, 0},
      {o.dayHour, cast, &o.chars, 1}, {o.ym, cast, &o.date, 0},       {o.integer, cast, &o.day, 1},
      {o.integer, cast, &o.dayHour, 0}, {o.hour, cast, nullptr, 0},
  };
  for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
    const auto& c = cases[k];
    EXPECT_EQ((c.a.*c.rule)(c.b) != 0, c.expect != 0) << "case " << k;
  }
}

// The type code, subcode and attributes of a result type, "none" for null.
std::string Result(CZqlData* r) {
  std::unique_ptr<CZqlData> owned(r);
  if (!r) return "none";
  EXPECT_TRUE(r->isNull());
  return TypeText(*r);
}

TEST(Compatibility, ResultTypes) {
  const SOperands o;
  using Check = CZqlData* (CZqlData::*)(const CZqlData*) const;
  const Check add = &CZqlData::checkAdd, sub = &CZqlData::checkSub, mul = &CZqlData::checkMul,
              div = &CZqlData::checkDiv, cat = &CZqlData::checkCat;
  const char* const kDT = "INTERVAL DAY(6) TO SECOND(8)";
  const struct {
    const CZqlData& a;
    Check check;
    const CZqlData* b;
    const char* type;
  } cases[] = {
      {o.date, add, &o.ym, "DATE"},         {o.date, sub, &o.day, "DATE"},
      {o.date, add, &o.hour, "none"},       {o.date, add, &o.date, "none"},
      {o.time, add, &o.hour, "TIME(6)"},    {o.timeTz, sub, &o.hour, "TIME(6) WITH TIME ZONE"},
      {o.time, add, &o.day, "none"},        {o.time, add, &o.ym, "none"},
      {o.stamp, add, &o.ym, "TIMESTAMP"},   {o.stampTz, sub, &o.dayHour, "TIMESTAMP WITH TIME ZONE"},
      {o.stamp, mul, &o.integer, "none"},   {o.date, cat, &o.date, "none"},
      {o.ym, add, &o.year, "INTERVAL MONTH(6)"}, {o.day, sub, &o.hour, kDT},
      {o.day, add, &o.year, "none"},        {o.ym, add, &o.date, "DATE"},
      {o.hour, add, &o.timeTz, "TIME(6) WITH TIME ZONE"}, {o.day, add, &o.time, "none"},
      {o.ym, sub, &o.date, "none"},         {o.hour, mul, &o.integer, kDT},
      {o.year, div, &o.numeric, "INTERVAL MONTH(6)"}, {o.year, mul, &o.dbl, "none"},
      {o.year, mul, &o.year, "none"},       {o.integer, mul, &o.ym, "INTERVAL MONTH(6)"},
      {o.numeric, div, &o.dayHour, kDT},    {o.dbl, mul, &o.day, "none"},
      {o.integer, add, &o.day, "none"},     {o.hour, add, nullptr, "none"},
  };
  for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
    const auto& c = cases[k];
    EXPECT_EQ(Result((c.a.*c.check)(c.b)), c.type) << "case " << k;
  }
}

TEST(Compatibility, CharacterValuesConvertThroughText) {
  SOperands o;
  ASSERT_EQ(o.chars.storeValue("2000-02-29", 11), 1);
  EXPECT_EQ(o.date.storeValue(static_cast<const CZqlData&>(o.chars)), 1);
  EXPECT_EQ(Text(o.date), "2000-02-29");
  ASSERT_EQ(o.chars.storeValue("2000-02-30", 11), 1);
  EXPECT_EQ(Raised([&] { o.date.storeValue(static_cast<const CZqlData&>(o.chars)); }),
            kZqlErrInvalidCharacterValueForCast);
  CZqlChar wide(40);
  wide.setVarying();
  o.stampTz.storeValue("2000-01-01 10:00:00.5+01:00", 40);
  EXPECT_EQ(wide.storeValue(static_cast<const CZqlData&>(o.stampTz)), 1);
  EXPECT_EQ(Text(wide), "2000-01-01 10:00:00.5+01:00");
}

}  // namespace
