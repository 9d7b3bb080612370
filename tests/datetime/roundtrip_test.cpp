// Round trips over generated tables of values of every datetime and
// interval class (text form back to an equal value; packed form back to an
// equal value and attributes), the exact packed bytes, damaged packed
// input, descriptor groups, and the compatibility and result-type rules.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "objpack.h"
#include "zqlsdata.h"

namespace {

using Buffer = std::vector<unsigned char>;
using Values = std::vector<std::unique_ptr<CZqlData>>;

template <class F>
int Raised(F&& body) {
  return ZqlTry(body) ? 0 : ZqlTryCode();
}

std::string Text(const CZqlData& v) {
  char buf[120];
  v.getValue(buf, sizeof buf);
  return buf;
}

std::string Literal(const CZqlData& v) {
  CZqlUcStr s;
  v.SQLLiteral(&s);
  char buf[160];
  return s.getToChar(buf, sizeof buf);
}

Buffer Pack(const std::function<void(CZqlObjPack*)>& write) {
  CZqlObjPack sizing;
  write(&sizing);
  Buffer out(sizing.Size());
  CZqlObjPack pack(out.data(), static_cast<uint32_t>(out.size()));
  write(&pack);
  EXPECT_EQ(pack.Size(), out.size());
  return out;
}

// Value equality by class, with the classes' own comparisons.
bool Equal(const CZqlData& a, const CZqlData& b) {
  if (a.isNull() || b.isNull()) return a.isNull() && b.isNull();
  if (auto x = dynamic_cast<const CZqlDate*>(&a)) return *x == dynamic_cast<const CZqlDate&>(b);
  if (auto x = dynamic_cast<const CZqlTime*>(&a)) return *x == dynamic_cast<const CZqlTime&>(b);
  if (auto x = dynamic_cast<const CZqlTimeStamp*>(&a)) {
    return *x == dynamic_cast<const CZqlTimeStamp&>(b);
  }
  if (auto x = dynamic_cast<const CZqlYM*>(&a)) return *x == dynamic_cast<const CZqlYM&>(b);
  return dynamic_cast<const CZqlDT&>(a) == dynamic_cast<const CZqlDT&>(b);
}

// ---------------------------------------------------------------------------
// Generated tables
// ---------------------------------------------------------------------------

class CTable {
 public:
  explicit CTable(unsigned int seed) : rnd_(seed) {}

  unsigned int Below(unsigned int n) { return n == 0 ? 0 : static_cast<unsigned int>(rnd_() % n); }

  // Seconds with at most `digits` decimals.
  double Seconds(unsigned int whole, unsigned int digits) {
    const unsigned int scale = static_cast<unsigned int>(NumScale[digits]);
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
    return Below(static_cast<unsigned int>(NumScale[digits]));
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

// A null value of the same class and attributes.
std::unique_ptr<CZqlData> Empty(const CZqlData& v) {
  std::unique_ptr<CZqlData> e(v.duplicate());
  e->setNull();
  return e;
}

TEST(RoundTrip, TextFormStoresBackToAnEqualValue) {
  CTable table(301);
  const Values values = table.All();
  int checked = 0;
  for (const auto& v : values) {
    if (v->isNull()) continue;
    const std::string text = Text(*v);
    auto back = Empty(*v);
    ASSERT_EQ(Raised([&] { back->storeValue(text.c_str(), static_cast<unsigned int>(text.size() + 1)); }), 0)
        << text;
    EXPECT_TRUE(Equal(*v, *back)) << text << " -> " << Text(*back);
    EXPECT_EQ(Text(*back), text);
    EXPECT_LE(text.size(), v->ReturnLength()) << text;
    // The same through 16-bit text.
    CZqlUcStr uc;
    ASSERT_EQ(v->getValue(&uc), 1);
    auto viaUc = Empty(*v);
    ASSERT_EQ(viaUc->storeValue(uc), 1);
    EXPECT_TRUE(Equal(*v, *viaUc)) << text;
    ++checked;
  }
  EXPECT_GT(checked, 1500);
}

TEST(RoundTrip, PackedFormUnpacksToAnEqualValue) {
  CTable table(302);
  const Values values = table.All();
  for (const auto& v : values) {
    Buffer bytes = Pack([&](CZqlObjPack* p) {
      ZqlPackDataDescriptor(p, 20, *v);
      p->add(99, static_cast<int32_t>(1));  // whatever follows in a container
    });
    // Three group items and the container's item around the value's form.
    EXPECT_EQ(bytes.size(), v->packSize() + 4 * 8) << Text(*v);
    CZqlObjPack pack(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_EQ(pack.getNext(), 20);
    std::unique_ptr<CZqlData> back;
    ASSERT_EQ(Raised([&] { back.reset(ZqlUnpackDataDescriptor(&pack, 20)); }), 0) << Text(*v);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(pack.getNext(), 99);  // the group and the value were consumed
    EXPECT_EQ(back->Type(), v->Type());
    EXPECT_EQ(back->DateTimeType(), v->DateTimeType());
    EXPECT_EQ(back->IntervalType(), v->IntervalType());
    EXPECT_EQ(back->TimePrec(), v->TimePrec());
    EXPECT_EQ(back->TimeStampPrec(), v->TimeStampPrec());
    EXPECT_EQ(back->LeadFieldPrec(), v->LeadFieldPrec());
    EXPECT_EQ(back->FracSecPrec(), v->FracSecPrec());
    EXPECT_TRUE(Equal(*v, *back)) << Text(*v);
    EXPECT_EQ(Literal(*back), Literal(*v));
  }
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

class CExpected {
 public:
  template <class T>
  CExpected& item(uint16_t label, uint16_t type, T v) {
    put(label);
    put(type);
    put(v);
    return *this;
  }
  CExpected& l(uint16_t label, int32_t v) { return item(label, kZqlPackLong, v); }
  CExpected& s(uint16_t label, int16_t v) { return item(label, kZqlPackShort, v); }
  CExpected& d(uint16_t label, double v) { return item(label, kZqlPackDouble, v); }
  CExpected& end(int32_t v) { return l(0xFFFF, v); }
  Buffer bytes() const {
    Buffer out(8 + items_.size());
    const uint32_t marker = kZqlPackMarker;
    const uint32_t length = static_cast<uint32_t>(out.size());
    std::memcpy(out.data(), &marker, 4);
    std::memcpy(out.data() + 4, &length, 4);
    std::memcpy(out.data() + 8, items_.data(), items_.size());
    return out;
  }

 private:
  template <class T>
  void put(T v) {
    unsigned char b[sizeof v];
    std::memcpy(b, &v, sizeof v);
    items_.insert(items_.end(), b, b + sizeof v);
  }
  Buffer items_;
};

Buffer Packed(const CZqlData& v) {
  return Pack([&](CZqlObjPack* p) { v.packTo(p); });
}

TEST(PackedForm, DateTimeAndTimeStamp) {
  CZqlDate d;
  d.set(2000, 2, 29);
  EXPECT_EQ(Packed(d), CExpected().l(0, 2000 * 12 + 1).l(1, 29).end(1).bytes());
  EXPECT_EQ(Packed(CZqlDate()), CExpected().end(1).bytes());

  CZqlTime t(2, kZqlTrue);
  t.storeValue("10:20:30.25-05:30", 20);
  const CExpected zone = CExpected().l(0, kZqlIHourToMinute).l(1, 2).l(3, 1).l(4, 0);
  EXPECT_EQ(Packed(t), CExpected()
                           .s(0, 2)
                           .s(1, 1)
                           .d(2, 37230.25)
                           .l(0, kZqlIHourToMinute)
                           .l(1, 2)
                           .l(3, 1)
                           .item(4, kZqlPackDouble, 19800.0)
                           .end(10)
                           .end(2)
                           .bytes());
  EXPECT_EQ(Packed(CZqlTime()), CExpected().end(2).bytes());

  CZqlTimeStamp ts(0);
  ts.storeValue("2000-02-29 00:00:01", 20);
  EXPECT_EQ(Packed(ts), CExpected()
                            .l(0, 2000 * 12 + 1)
                            .l(1, 29)
                            .end(1)
                            .d(2, 1.0)
                            .l(0, kZqlIHourToMinute)
                            .l(1, 2)
                            .end(10)
                            .end(2)
                            .end(3)
                            .bytes());
  EXPECT_EQ(Packed(CZqlTimeStamp()), CExpected().end(1).s(0, 6).end(2).end(3).bytes());
}

TEST(PackedForm, Intervals) {
  CZqlYM y(kZqlIYearToMonth, 6);
  y.storeValue("-1-2", 5);
  EXPECT_EQ(Packed(y), CExpected().l(0, 7).l(1, 6).l(3, 1).l(4, 14).end(10).bytes());
  EXPECT_EQ(Packed(CZqlYM()), CExpected().l(0, 1).end(10).bytes());
  CZqlDT s(kZqlISecond, 4, 2);
  s.storeValue("1.5", 4);
  EXPECT_EQ(Packed(s), CExpected().l(0, 6).l(2, 2).d(4, 1.5).end(10).bytes());
}

// ---------------------------------------------------------------------------
// Damaged packed input
// ---------------------------------------------------------------------------

int UnpackInto(CZqlData* v, Buffer bytes) {
  CZqlObjPack pack(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return Raised([&] { v->unpackFrom(&pack); });
}

TEST(Unpack, ImpossibleValuesAreDamage) {
  constexpr int kDamage = kZqlErrInternalZQLError;
  CZqlDate d;
  EXPECT_EQ(UnpackInto(&d, CExpected().l(0, 1900 * 12 + 1).l(1, 29).end(1).bytes()), kDamage);
  EXPECT_TRUE(d.isNull());
  EXPECT_EQ(UnpackInto(&d, CExpected().l(0, 11).l(1, 1).end(1).bytes()), kDamage);
  EXPECT_EQ(UnpackInto(&d, CExpected().l(0, 24000).l(1, 65537).end(1).bytes()), kDamage);
  CZqlTime t;
  EXPECT_EQ(UnpackInto(&t, CExpected().d(2, 86400.0).end(10).end(2).bytes()), kDamage);
  EXPECT_EQ(UnpackInto(&t, CExpected().d(2, -1.0).end(10).end(2).bytes()), kDamage);
  EXPECT_EQ(UnpackInto(&t, CExpected().d(2, 1.0).l(0, kZqlIDay).end(10).end(2).bytes()), kDamage);
  EXPECT_EQ(UnpackInto(&t, CExpected().s(0, 100).d(2, 1.0).end(10).end(2).bytes()), 0);
  EXPECT_EQ(t.TimePrec(), 9u);
  CZqlYM y;
  EXPECT_EQ(UnpackInto(&y, CExpected().l(0, kZqlIDay).end(10).bytes()), kDamage);
  EXPECT_EQ(UnpackInto(&y, CExpected().l(0, 2).l(4, 2000000).end(10).bytes()), kDamage);
  CZqlDT dt;
  EXPECT_EQ(UnpackInto(&dt, CExpected().l(0, kZqlIYear).end(10).bytes()), kDamage);
  EXPECT_EQ(UnpackInto(&dt, CExpected().d(4, __builtin_nan("")).end(10).bytes()), kDamage);
  EXPECT_EQ(UnpackInto(&dt, CExpected().d(4, -5.0).end(10).bytes()), kDamage);
  CZqlDT fresh;
  EXPECT_EQ(UnpackInto(&fresh, CExpected().l(1, 99).l(2, 99).d(4, 5.0).end(10).bytes()), 0);
  EXPECT_EQ(fresh.LeadFieldPrec(), 4u);
  EXPECT_EQ(fresh.FracSecPrec(), 0u);
}

// Whatever items follow a sound group head, reading either succeeds with a
// value that packs and reads back the same, or raises 0xA00C.
TEST(Unpack, ArbitraryItemsFailCleanly) {
  std::mt19937 rnd(7);
  int built = 0;
  for (int round = 0; round < 4000; ++round) {
    const bool interval = rnd() % 2 == 0;
    const int32_t sub = interval ? static_cast<int32_t>(1 + rnd() % 13)
                                 : static_cast<int32_t>(1 + rnd() % 5);
    // Items drawn once, written in both packing passes.
    struct SItem {
      int label, kind;
      uint32_t n;
    };
    std::vector<SItem> items(rnd() % 8);
    for (SItem& it : items) {
      it.label = static_cast<int>(rnd() % 6);
      it.kind = static_cast<int>(rnd() % 4);
      it.n = static_cast<uint32_t>(rnd() % 3 == 0 ? rnd() : rnd() % 30);
    }
    Buffer bytes = Pack([&](CZqlObjPack* p) {
      p->add(10, static_cast<int32_t>(interval ? kZqlTypeInterval : kZqlTypeDatetime));
      p->add(11, sub);
      p->add(12, static_cast<int32_t>(0));
      for (const SItem& it : items) {
        switch (it.kind) {
          case 0: p->add(it.label, static_cast<int32_t>(it.n)); break;
          case 1: p->add(it.label, static_cast<int16_t>(it.n % 12)); break;
          case 2: p->add(it.label, static_cast<double>(it.n % 200000) / 2.0); break;
          default: p->add(kZqlPackEnd, static_cast<int32_t>(0));
        }
      }
    });
    CZqlObjPack pack(bytes.data(), static_cast<uint32_t>(bytes.size()));
    std::unique_ptr<CZqlData> value;
    const int code = Raised([&] {
      pack.getNext();
      value.reset(ZqlUnpackDataDescriptor(&pack, 10));
    });
    if (code != 0) {
      EXPECT_EQ(code, kZqlErrInternalZQLError);
      continue;
    }
    ASSERT_NE(value, nullptr);
    ++built;
    Buffer again = Pack([&](CZqlObjPack* p) { ZqlPackDataDescriptor(p, 10, *value); });
    CZqlObjPack reread(again.data(), static_cast<uint32_t>(again.size()));
    std::unique_ptr<CZqlData> back;
    ASSERT_EQ(Raised([&] {
                reread.getNext();
                back.reset(ZqlUnpackDataDescriptor(&reread, 10));
              }),
              0);
    EXPECT_TRUE(Equal(*value, *back));
    EXPECT_EQ(Text(*value), Text(*back));
  }
  EXPECT_GT(built, 500);
}

TEST(DataDescriptor, DateDefaultAndDayToSecondGroups) {
  CZqlDate d;
  d.set(1999, 12, 31);
  Buffer bytes = Pack([&](CZqlObjPack* p) { ZqlPackDataDescriptor(p, 20, d); });
  const Buffer head = CExpected().l(20, 9).l(21, 1).l(22, 0).bytes();
  ASSERT_GT(bytes.size(), head.size());
  EXPECT_TRUE(std::equal(head.begin() + 8, head.end(), bytes.begin() + 8));
  const CZqlDT ds(kZqlIDayToSecond);
  bytes = Pack([&](CZqlObjPack* p) { ZqlPackDataDescriptor(p, 10, ds); });
  const Buffer dsHead = CExpected().l(10, 10).l(11, 10).bytes();
  EXPECT_TRUE(std::equal(dsHead.begin() + 8, dsHead.end(), bytes.begin() + 8));
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
  EXPECT_TRUE(o.date.is_comparable(&o.date));
  EXPECT_FALSE(o.date.is_comparable(&o.stamp));
  EXPECT_TRUE(o.time.is_comparable(&o.timeTz));
  EXPECT_TRUE(o.stampTz.is_storable(&o.stamp));
  EXPECT_FALSE(o.time.is_storable(&o.stamp));
  EXPECT_TRUE(o.date.is_castable(&o.chars));
  EXPECT_TRUE(o.date.is_castable(&o.stampTz));
  EXPECT_FALSE(o.date.is_castable(&o.time));
  EXPECT_TRUE(o.time.is_castable(&o.stamp));
  EXPECT_TRUE(o.stamp.is_castable(&o.date));
  EXPECT_FALSE(o.stamp.is_castable(&o.time));
  EXPECT_FALSE(o.date.is_castable(&o.integer));
  EXPECT_FALSE(o.date.is_comparable(nullptr));

  EXPECT_TRUE(o.year.is_comparable(&o.ym));
  EXPECT_FALSE(o.year.is_comparable(&o.day));
  EXPECT_TRUE(o.hour.is_storable(&o.dayHour));
  EXPECT_TRUE(o.day.is_castable(&o.integer));
  EXPECT_TRUE(o.day.is_castable(&o.numeric));
  EXPECT_FALSE(o.day.is_castable(&o.dbl));
  EXPECT_FALSE(o.dayHour.is_castable(&o.integer));
  EXPECT_TRUE(o.dayHour.is_castable(&o.chars));
  EXPECT_FALSE(o.ym.is_castable(&o.date));
  EXPECT_TRUE(o.integer.is_castable(&o.day));
  EXPECT_FALSE(o.integer.is_castable(&o.dayHour));
  EXPECT_FALSE(o.hour.is_castable(nullptr));
}

// The type code, subcode and attributes of a result type, "none" for null.
std::string Result(CZqlData* r) {
  std::unique_ptr<CZqlData> owned(r);
  if (!r) return "none";
  EXPECT_TRUE(r->isNull());
  CZqlUcStr s;
  r->SQLType(&s);
  char buf[80];
  return s.getToChar(buf, sizeof buf);
}

TEST(Compatibility, ResultTypes) {
  const SOperands o;
  EXPECT_EQ(Result(o.date.checkAdd(&o.ym)), "DATE");
  EXPECT_EQ(Result(o.date.checkSub(&o.day)), "DATE");
  EXPECT_EQ(Result(o.date.checkAdd(&o.hour)), "none");
  EXPECT_EQ(Result(o.date.checkAdd(&o.date)), "none");
  EXPECT_EQ(Result(o.time.checkAdd(&o.hour)), "TIME(6)");
  EXPECT_EQ(Result(o.timeTz.checkSub(&o.hour)), "TIME(6) WITH TIME ZONE");
  EXPECT_EQ(Result(o.time.checkAdd(&o.day)), "none");
  EXPECT_EQ(Result(o.time.checkAdd(&o.ym)), "none");
  EXPECT_EQ(Result(o.stamp.checkAdd(&o.ym)), "TIMESTAMP");
  EXPECT_EQ(Result(o.stampTz.checkSub(&o.dayHour)), "TIMESTAMP WITH TIME ZONE");
  EXPECT_EQ(Result(o.stamp.checkMul(&o.integer)), "none");
  EXPECT_EQ(Result(o.date.checkCat(&o.date)), "none");

  EXPECT_EQ(Result(o.ym.checkAdd(&o.year)), "INTERVAL MONTH(6)");
  EXPECT_EQ(Result(o.day.checkSub(&o.hour)), "INTERVAL DAY(6) TO SECOND(8)");
  EXPECT_EQ(Result(o.day.checkAdd(&o.year)), "none");
  EXPECT_EQ(Result(o.ym.checkAdd(&o.date)), "DATE");
  EXPECT_EQ(Result(o.hour.checkAdd(&o.timeTz)), "TIME(6) WITH TIME ZONE");
  EXPECT_EQ(Result(o.day.checkAdd(&o.time)), "none");
  EXPECT_EQ(Result(o.ym.checkSub(&o.date)), "none");
  EXPECT_EQ(Result(o.hour.checkMul(&o.integer)), "INTERVAL DAY(6) TO SECOND(8)");
  EXPECT_EQ(Result(o.year.checkDiv(&o.numeric)), "INTERVAL MONTH(6)");
  EXPECT_EQ(Result(o.year.checkMul(&o.dbl)), "none");
  EXPECT_EQ(Result(o.year.checkMul(&o.year)), "none");
  EXPECT_EQ(Result(o.integer.checkMul(&o.ym)), "INTERVAL MONTH(6)");
  EXPECT_EQ(Result(o.numeric.checkDiv(&o.dayHour)), "INTERVAL DAY(6) TO SECOND(8)");
  EXPECT_EQ(Result(o.dbl.checkMul(&o.day)), "none");
  EXPECT_EQ(Result(o.integer.checkAdd(&o.day)), "none");
  EXPECT_EQ(Result(o.hour.checkAdd(nullptr)), "none");
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
