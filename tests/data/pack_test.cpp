// Packed forms of the value classes: exact bytes, round trips through pack
// and unpack, damaged input, and the data descriptor groups.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <memory>
#include <vector>

#include "objpack.h"
#include "zqlsdata.h"

namespace {

using Buffer = std::vector<unsigned char>;

// Builds the expected bytes of a packed buffer in native byte order.
class Expected {
 public:
  Expected& item(uint16_t label, uint16_t type) {
    put(label);
    put(type);
    return *this;
  }
  Expected& shortItem(uint16_t label, int16_t v) { return item(label, kZqlPackShort).put(v); }
  Expected& longItem(uint16_t label, int32_t v) { return item(label, kZqlPackLong).put(v); }
  Expected& doubleItem(uint16_t label, double v) { return item(label, kZqlPackDouble).put(v); }
  Expected& end(int32_t v) { return longItem(0xFFFF, v); }
  Expected& varItem(uint16_t label, uint16_t type, const void* data, uint16_t n) {
    item(label, type).put(n);
    const auto* p = static_cast<const unsigned char*>(data);
    for (uint16_t i = 0; i < n; ++i) items_.push_back(p[i]);
    return *this;
  }
  template <class T>
  Expected& put(T v) {
    unsigned char b[sizeof v];
    std::memcpy(b, &v, sizeof v);
    for (unsigned char c : b) items_.push_back(c);
    return *this;
  }
  Buffer bytes() const {
    Buffer out(8 + items_.size());
    const uint32_t marker = kZqlPackMarker;
    const uint32_t length = static_cast<uint32_t>(out.size());
    std::memcpy(out.data(), &marker, 4);
    std::memcpy(out.data() + 4, &length, 4);
    for (size_t i = 0; i < items_.size(); ++i) out[8 + i] = items_[i];
    return out;
  }

 private:
  Buffer items_;
};

// Packs in the two passes every writer uses.
Buffer Pack(const std::function<void(CZqlObjPack*)>& write) {
  CZqlObjPack sizing;
  write(&sizing);
  Buffer out(sizing.Size());
  CZqlObjPack pack(out.data(), static_cast<uint32_t>(out.size()));
  write(&pack);
  EXPECT_EQ(pack.Size(), out.size());
  return out;
}

Buffer PackValue(const CZqlData& v) {
  EXPECT_EQ(v.packSize(), v.packValueSize());
  Buffer out = Pack([&](CZqlObjPack* p) { v.packTo(p); });
  EXPECT_EQ(out.size(), v.packSize());
  return out;
}

// Unpacks into v; answers the code raised, or 0.
int Unpack(CZqlData* v, Buffer& bytes) {
  CZqlObjPack pack(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return ZqlTry([&] { v->unpackFrom(&pack); }) ? 0 : ZqlTryCode();
}

template <class T>
std::unique_ptr<T> RoundTrip(const T& v) {
  Buffer bytes = PackValue(v);
  auto back = std::make_unique<T>();
  EXPECT_EQ(Unpack(back.get(), bytes), 0);
  return back;
}

TEST(PackedForm, SmallIntIsValueItemAndTerminatorFive) {
  CZqlSmallInt v;
  v = static_cast<short>(7);
  EXPECT_EQ(PackValue(v), Expected().shortItem(0, 7).end(5).bytes());
  v.setNull();
  EXPECT_EQ(PackValue(v), Expected().end(5).bytes());
}

TEST(PackedForm, IntegerTerminatorCarriesFiveNotItsTypeCode) {
  CZqlInt v;
  v = -5L;
  EXPECT_EQ(PackValue(v), Expected().longItem(0, -5).end(5).bytes());
}

TEST(PackedForm, NumericWritesOnlyNonDefaultAttributes) {
  CZqlNumeric v(10, 2);
  v = 12.5;
  EXPECT_EQ(PackValue(v),
            Expected().doubleItem(0, 12.5).longItem(1, 10).longItem(2, 2).end(2).bytes());
  EXPECT_EQ(PackValue(CZqlNumeric()), Expected().end(2).bytes());
  EXPECT_EQ(PackValue(CZqlNumeric(12, 3)), Expected().longItem(2, 3).end(2).bytes());
  EXPECT_EQ(PackValue(CZqlDecimal(20)), Expected().longItem(1, 20).end(3).bytes());
}

TEST(PackedForm, ApproximateClasses) {
  CZqlFloat f(20);
  f = 1.5;
  EXPECT_EQ(PackValue(f), Expected().doubleItem(0, 1.5).longItem(1, 20).end(6).bytes());
  EXPECT_EQ(PackValue(CZqlFloat()), Expected().end(6).bytes());
  CZqlReal r;
  r = 2.0;
  EXPECT_EQ(PackValue(r), Expected().doubleItem(0, 2.0).end(7).bytes());
  CZqlDouble d;
  d = -0.25;
  EXPECT_EQ(PackValue(d), Expected().doubleItem(0, -0.25).end(8).bytes());
}

TEST(PackedForm, ImplDefWithNameAndBytes) {
  CZqlImplDef v;
  v.setType(12);
  v.setName(CZqlUcStr("BLOB"));
  const unsigned char raw[3] = {1, 2, 3};
  ASSERT_EQ(v.setBytes(raw, 3), 1);
  const uint16_t name[5] = {'B', 'L', 'O', 'B', 0};
  EXPECT_EQ(PackValue(v), Expected()
                              .longItem(0, 0)
                              .longItem(1, 12)
                              .varItem(2, kZqlPackUcStr, name, 10)
                              .varItem(3, kZqlPackBytes, raw, 3)
                              .end(-1)
                              .bytes());
  // From type 4000 on the bytes stay with the driver.
  v.setType(4000);
  EXPECT_EQ(PackValue(v), Expected()
                              .longItem(0, 0)
                              .longItem(1, 4000)
                              .varItem(2, kZqlPackUcStr, name, 10)
                              .end(-1)
                              .bytes());
  EXPECT_EQ(PackValue(CZqlImplDef()), Expected().longItem(1, 0).end(-1).bytes());
}

TEST(RoundTrip, ValuesNullsAndAttributesSurvive) {
  CZqlSmallInt s;
  s = static_cast<short>(-32768);
  EXPECT_EQ(RoundTrip(s)->intValue(), -32768);
  CZqlInt i;
  i = static_cast<long>(INT32_MIN);
  EXPECT_EQ(RoundTrip(i)->intValue(), INT32_MIN);

  CZqlNumeric n(31, 7);
  n = -1234.5678;
  auto n2 = RoundTrip(n);
  EXPECT_EQ(n2->Precision(), 31u);
  EXPECT_EQ(n2->Scale(), 7u);
  EXPECT_EQ(n2->realValue(), n.realValue());

  CZqlDecimal nullDecimal(5, 5);
  auto d2 = RoundTrip(nullDecimal);
  EXPECT_TRUE(d2->isNull());
  EXPECT_EQ(d2->Precision(), 5u);
  EXPECT_EQ(d2->Scale(), 5u);

  CZqlFloat f(3);
  f = 1e300;
  auto f2 = RoundTrip(f);
  EXPECT_EQ(f2->Precision(), 3u);
  EXPECT_EQ(f2->realValue(), 1e300);
  EXPECT_TRUE(RoundTrip(CZqlReal())->isNull());
}

TEST(RoundTrip, ImplDefKeepsTypeNameAndBytes) {
  CZqlImplDef v;
  v.setType(3999);
  v.setName(CZqlUcStr("GEOMETRY"));
  const char raw[] = "\x00\x01\xff";
  ASSERT_EQ(v.setBytes(raw, 3), 1);
  auto back = RoundTrip(v);
  EXPECT_FALSE(back->isNull());
  EXPECT_EQ(back->ImplDataType(), 3999);
  EXPECT_TRUE(back->Name() == CZqlUcStr("GEOMETRY"));
  char got[8] = {};
  EXPECT_EQ(back->read(got, 0, 8), 3);
  EXPECT_EQ(std::memcmp(got, raw, 3), 0);
}

TEST(Unpack, StartsNullAndLeavesAbsentFieldsAlone) {
  CZqlNumeric v(10, 2);
  v = 5.0;
  Buffer nullDefault = PackValue(CZqlNumeric());
  ASSERT_EQ(Unpack(&v, nullDefault), 0);
  EXPECT_TRUE(v.isNull());
  EXPECT_EQ(v.Precision(), 10u);  // no item 1 in the buffer
  EXPECT_EQ(v.Scale(), 2u);
}

TEST(Unpack, IgnoresUnknownLabels) {
  Buffer bytes = Pack([](CZqlObjPack* p) {
    p->add(9, 1.0);
    p->add(0, static_cast<int16_t>(42));
    p->add(7, "stray");
    p->add(kZqlPackEnd, static_cast<int32_t>(5));
  });
  CZqlSmallInt v;
  ASSERT_EQ(Unpack(&v, bytes), 0);
  EXPECT_EQ(v.intValue(), 42);
}

TEST(Unpack, KnownItemOfWrongWidthIsDamage) {
  // A SMALLINT value sent as a long: reading 2 of its bytes would be wrong.
  Buffer bytes = Pack([](CZqlObjPack* p) {
    p->add(0, static_cast<int32_t>(7));
    p->add(kZqlPackEnd, static_cast<int32_t>(5));
  });
  CZqlSmallInt v;
  EXPECT_EQ(Unpack(&v, bytes), kZqlErrInternalZQLError);
  EXPECT_TRUE(v.isNull());
  // A double value item cut to one byte.
  Buffer shortDouble = Pack([](CZqlObjPack* p) { p->add(0, 'x'); });
  CZqlDouble d;
  EXPECT_EQ(Unpack(&d, shortDouble), kZqlErrInternalZQLError);
}

TEST(Unpack, TruncatedBufferIsDamage) {
  CZqlDouble d;
  d = 3.0;
  Buffer bytes = PackValue(d);
  bytes.resize(bytes.size() - 3);  // the length field now overstates
  CZqlDouble back;
  EXPECT_EQ(Unpack(&back, bytes), kZqlErrInternalZQLError);
}

TEST(Unpack, AttributesOutsideTheLimitsAreClamped) {
  // Scale tables have 33 entries; attributes from the wire must not index
  // past them.
  Buffer bytes = Pack([](CZqlObjPack* p) {
    p->add(0, 1.5);
    p->add(1, static_cast<int32_t>(1000));
    p->add(2, static_cast<int32_t>(-1));
    p->add(kZqlPackEnd, static_cast<int32_t>(2));
  });
  CZqlNumeric n;
  ASSERT_EQ(Unpack(&n, bytes), 0);
  EXPECT_EQ(n.Precision(), 32u);
  EXPECT_EQ(n.Scale(), 32u);
  CZqlNumeric other(10, 2);
  other = 1.5;
  EXPECT_EQ(n == other, 1);  // the comparison reads NumEpsilon[32]

  Buffer scaleAbovePrecision = Pack([](CZqlObjPack* p) {
    p->add(1, static_cast<int32_t>(4));
    p->add(2, static_cast<int32_t>(9));
  });
  CZqlDecimal d;
  ASSERT_EQ(Unpack(&d, scaleAbovePrecision), 0);
  EXPECT_EQ(d.Scale(), 4u);

  Buffer floatPrecision = Pack([](CZqlObjPack* p) { p->add(1, static_cast<int32_t>(99)); });
  CZqlFloat f;
  ASSERT_EQ(Unpack(&f, floatPrecision), 0);
  EXPECT_EQ(f.Precision(), 32u);
}

// ---------------------------------------------------------------------------
// Data descriptor groups
// ---------------------------------------------------------------------------

// Reads a group whose first item is the current one; answers the value or
// null with *code set to the code raised.
std::unique_ptr<CZqlData> ReadGroup(Buffer& bytes, int label, int* code) {
  CZqlObjPack pack(bytes.data(), static_cast<uint32_t>(bytes.size()));
  CZqlData* value = nullptr;
  *code = 0;
  if (!ZqlTry([&] {
        EXPECT_EQ(pack.getNext(), label);
        value = ZqlUnpackDataDescriptor(&pack, label);
      })) {
    *code = ZqlTryCode();
  }
  return std::unique_ptr<CZqlData>(value);
}

// The group for a code (and subcode) followed by an empty value form.
Buffer Group(int label, int32_t code, int32_t sub, bool withSub = true) {
  return Pack([&](CZqlObjPack* p) {
    p->add(label, code);
    if (withSub) p->add(label + 1, sub);
    p->add(label + 2, static_cast<int32_t>(0));
    p->add(kZqlPackEnd, code);
  });
}

TEST(DataDescriptor, EveryBuiltClassRoundTrips) {
  CZqlSmallInt s;
  s = static_cast<short>(9);
  CZqlInt i;
  i = 99L;
  CZqlNumeric n(8, 3);
  n = 1.25;
  CZqlDecimal d(30, 1);
  d = -7.5;
  CZqlFloat f(8);
  f = 0.5;
  CZqlReal r;
  CZqlDouble x;
  x = 1e-300;
  CZqlImplDef impl;
  impl.setType(7);
  const CZqlData* values[] = {&s, &i, &n, &d, &f, &r, &x, &impl};
  for (const CZqlData* v : values) {
    Buffer bytes = Pack([&](CZqlObjPack* p) {
      ZqlPackDataDescriptor(p, 10, *v);
      p->add(99, static_cast<int32_t>(1));  // the container's next item
    });
    CZqlObjPack pack(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_EQ(pack.getNext(), 10);
    std::unique_ptr<CZqlData> back(ZqlUnpackDataDescriptor(&pack, 10));
    ASSERT_NE(back, nullptr) << v->Type();
    EXPECT_EQ(back->Type(), v->Type());
    EXPECT_EQ(back->isNull(), v->isNull());
    EXPECT_EQ(back->Precision(), v->Precision());
    EXPECT_EQ(back->Scale(), v->Scale());
    CZqlUcStr a, b;
    v->SQLLiteral(&a);
    back->SQLLiteral(&b);
    EXPECT_TRUE(a == b);
    EXPECT_EQ(pack.getNext(), 99);  // the group and the value were consumed
  }
}

TEST(DataDescriptor, EveryValidTypeBuildsItsClass) {
  for (int32_t code : {1, 12, 14, 15}) {
    Buffer bytes = Group(20, code, 0, false);
    int raised = 0;
    std::unique_ptr<CZqlData> value = ReadGroup(bytes, 20, &raised);
    ASSERT_NE(value, nullptr) << code;
    EXPECT_EQ(raised, 0);
    EXPECT_EQ(value->Type(), code);
  }
  for (int32_t sub = 1; sub <= 5; ++sub) {
    Buffer bytes = Group(10, 9, sub);
    int raised = 0;
    std::unique_ptr<CZqlData> value = ReadGroup(bytes, 10, &raised);
    ASSERT_NE(value, nullptr) << sub;
    EXPECT_EQ(value->Type(), 9);
    EXPECT_EQ(value->DateTimeType(), sub);
  }
  for (int32_t sub = 1; sub <= 13; ++sub) {
    Buffer bytes = Group(10, 10, sub);
    int raised = 0;
    std::unique_ptr<CZqlData> value = ReadGroup(bytes, 10, &raised);
    ASSERT_NE(value, nullptr) << sub;
    EXPECT_EQ(value->Type(), 10);
    EXPECT_EQ(static_cast<int>(value->IntervalType()), sub);
  }
}

TEST(DataDescriptor, UnknownCodesAndSubcodesAreDamage) {
  const struct {
    int32_t code, sub;
  } bad[] = {{0, 0}, {11, 0}, {13, 0}, {16, 0}, {-2, 0}, {9, 0}, {9, 6}, {10, 0}, {10, 14}};
  for (const auto& b : bad) {
    Buffer bytes = Group(10, b.code, b.sub, b.code == 9 || b.code == 10);
    int raised = 0;
    EXPECT_EQ(ReadGroup(bytes, 10, &raised), nullptr);
    EXPECT_EQ(raised, kZqlErrInternalZQLError) << b.code << "/" << b.sub;
  }
}

TEST(DataDescriptor, MissingItemsAreDamage) {
  int raised = 0;
  // Interval code without its subcode item.
  Buffer noSub = Group(10, 10, 0, false);
  EXPECT_EQ(ReadGroup(noSub, 10, &raised), nullptr);
  EXPECT_EQ(raised, kZqlErrInternalZQLError);
  // No marker before the value.
  Buffer noMarker = Pack([](CZqlObjPack* p) {
    p->add(10, static_cast<int32_t>(5));
    p->add(kZqlPackEnd, static_cast<int32_t>(5));
  });
  EXPECT_EQ(ReadGroup(noMarker, 10, &raised), nullptr);
  EXPECT_EQ(raised, kZqlErrInternalZQLError);
  // The code as a short.
  Buffer shortCode = Pack([](CZqlObjPack* p) { p->add(10, static_cast<int16_t>(5)); });
  EXPECT_EQ(ReadGroup(shortCode, 10, &raised), nullptr);
  EXPECT_EQ(raised, kZqlErrInternalZQLError);
}

TEST(DataDescriptor, NoFrameOpenAnswersNull) {
  Buffer bytes = Group(10, 0, 0, false);  // code 0 names no type
  CZqlObjPack pack(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ASSERT_EQ(pack.getNext(), 10);
  EXPECT_EQ(ZqlUnpackDataDescriptor(&pack, 10), nullptr);
  EXPECT_EQ(ZqlUnpackDataDescriptor(nullptr, 10), nullptr);
}

// A reply is input: whatever bytes arrive, reading a descriptor group
// either succeeds or raises 0xA00C (damage); the sanitizer builds catch
// any stray access.
TEST(DataDescriptor, ArbitraryStreamsFailCleanly) {
  std::mt19937 rnd(301);
  int built = 0;  // values that came out whole, so the test reaches them
  for (int round = 0; round < 3000; ++round) {
    Buffer items;
    auto item = [&](uint16_t label, uint16_t type, uint16_t n, const void* data) {
      unsigned char head[6];
      std::memcpy(head, &label, 2);
      std::memcpy(head + 2, &type, 2);
      std::memcpy(head + 4, &n, 2);
      const int headLen = type >= 10 && type <= 13 ? 6 : 4;
      for (int i = 0; i < headLen; ++i) items.push_back(head[i]);
      for (int i = 0; i < n; ++i) {
        items.push_back(data != nullptr ? static_cast<const unsigned char*>(data)[i]
                                        : static_cast<unsigned char>(rnd()));
      }
    };
    // Half the streams open with a plausible group: a type code near the
    // valid ones, a subcode, the marker.
    if (rnd() % 2 == 0) {
      const int32_t code = static_cast<int32_t>(rnd() % 18) - 2;
      const int32_t sub = static_cast<int32_t>(rnd() % 15);
      const int32_t zero = 0;
      item(10, kZqlPackLong, 4, &code);
      if (rnd() % 4 != 0) item(11, kZqlPackLong, 4, &sub);
      item(12, kZqlPackLong, 4, &zero);
    }
    // Then items with mostly valid headers and random contents.
    const uint16_t labels[] = {0, 1, 2, 3, 0xFFFF, 7, 10, 11, 12};
    const uint16_t widths[] = {0, 1, 1, 2, 2, 4, 4, 4, 4, 8};
    const int count = static_cast<int>(rnd() % 6);
    for (int k = 0; k < count; ++k) {
      const uint16_t type = static_cast<uint16_t>(rnd() % 10 == 0 ? rnd() % 20 : 1 + rnd() % 13);
      const uint16_t n = type >= 10 && type <= 13 ? static_cast<uint16_t>(rnd() % 12)
                         : type < 10              ? widths[type]
                                                  : static_cast<uint16_t>(rnd() % 8);
      item(labels[rnd() % 9], type, n, nullptr);
    }
    Buffer bytes(8 + items.size());
    for (size_t i = 0; i < items.size(); ++i) bytes[8 + i] = items[i];
    uint32_t length = static_cast<uint32_t>(bytes.size());
    if (rnd() % 8 == 0) length = static_cast<uint32_t>(rnd() % 64);
    std::memcpy(bytes.data(), &kZqlPackMarker, 4);
    std::memcpy(bytes.data() + 4, &length, 4);
    if (rnd() % 8 == 0) bytes.resize(rnd() % (bytes.size() + 1));

    CZqlObjPack pack(bytes.empty() ? nullptr : bytes.data(), static_cast<uint32_t>(bytes.size()));
    const int ok = ZqlTry([&] {
      for (int label = pack.getNext(); label != kZqlPackEnd; label = pack.getNext()) {
        std::unique_ptr<CZqlData> value(ZqlUnpackDataDescriptor(&pack, label));
        built += value != nullptr;
      }
    });
    if (!ok) {
      const int code = ZqlTryCode();
      EXPECT_EQ(code, kZqlErrInternalZQLError) << std::hex << code;
    }
  }
  EXPECT_GT(built, 20);
}

}  // namespace
