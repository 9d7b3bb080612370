// Packed forms of the value classes: exact bytes, damaged input, and the
// data descriptor groups with their round trips.

#include <memory>

#include "common.h"

namespace {

Buffer PackValue(const CZqlData& v) {
  EXPECT_EQ(v.packSize(), v.packValueSize());
  Buffer out = Pack([&](CZqlObjPack* p) { v.packTo(p); });
  EXPECT_EQ(out.size(), v.packSize());
  return out;
}

TEST(PackedForm, NumericsWriteOnlyNonDefaultAttributes) {
  CZqlSmallInt s = With(CZqlSmallInt(), static_cast<short>(7));
  CZqlInt i = With(CZqlInt(), -5L);
  CZqlNumeric n = With(CZqlNumeric(10, 2), 12.5);
  CZqlFloat f = With(CZqlFloat(20), 1.5);
  CZqlReal r = With(CZqlReal(), 2.0);
  CZqlDouble d = With(CZqlDouble(), -0.25);
  const CZqlNumeric n12(12, 3);
  const CZqlDecimal dec(20);
  const CZqlSmallInt s0;
  const CZqlNumeric n0;
  const CZqlFloat f0;
  const struct {
    const CZqlData& value;
    CPackBytes bytes;
  } cases[] = {
      // The terminator carries 5 for both integer classes.
      {s, CPackBytes().Short(0, 7).End(5)},
      {s0, CPackBytes().End(5)},
      {i, CPackBytes().Long(0, -5).End(5)},
      {n, CPackBytes().Double(0, 12.5).Long(1, 10).Long(2, 2).End(2)},
      {n0, CPackBytes().End(2)},
      {n12, CPackBytes().Long(2, 3).End(2)},
      {dec, CPackBytes().Long(1, 20).End(3)},
      {f, CPackBytes().Double(0, 1.5).Long(1, 20).End(6)},
      {f0, CPackBytes().End(6)},
      {r, CPackBytes().Double(0, 2.0).End(7)},
      {d, CPackBytes().Double(0, -0.25).End(8)},
  };
  for (const auto& c : cases) EXPECT_EQ(PackValue(c.value), c.bytes.Buffer()) << TypeText(c.value);
}

TEST(PackedForm, ImplDefWithNameAndBytes) {
  CZqlImplDef v;
  v.setType(12);
  v.setName(CZqlUcStr("BLOB"));
  const unsigned char raw[3] = {1, 2, 3};
  ASSERT_EQ(v.setBytes(raw, 3), 1);
  const uint16_t name[5] = {'B', 'L', 'O', 'B', 0};
  EXPECT_EQ(PackValue(v), CPackBytes().Long(0, 0).Long(1, 12).Var(2, kZqlPackUcStr, name, 10)
                              .Var(3, kZqlPackBytes, raw, 3).End(-1).Buffer());
  // From type 4000 on the bytes stay with the driver.
  v.setType(4000);
  EXPECT_EQ(PackValue(v),
            CPackBytes().Long(0, 0).Long(1, 4000).Var(2, kZqlPackUcStr, name, 10).End(-1).Buffer());
  EXPECT_EQ(PackValue(CZqlImplDef()), CPackBytes().Long(1, 0).End(-1).Buffer());
}

TEST(Unpack, StartsNullLeavesAbsentFieldsAloneIgnoresUnknownLabels) {
  CZqlNumeric v = With(CZqlNumeric(10, 2), 5.0);
  Buffer nullDefault = PackValue(CZqlNumeric());
  ASSERT_EQ(UnpackInto(&v, nullDefault), 0);
  EXPECT_TRUE(v.isNull());
  EXPECT_EQ(v.Precision(), 10u);  // no item 1 in the buffer
  EXPECT_EQ(v.Scale(), 2u);
  // Unknown labels are ignored.
  Buffer bytes = Pack([](CZqlObjPack* p) {
    p->add(9, 1.0);
    p->add(0, static_cast<int16_t>(42));
    p->add(7, "stray");
    p->add(kZqlPackEnd, static_cast<int32_t>(5));
  });
  CZqlSmallInt small;
  ASSERT_EQ(UnpackInto(&small, bytes), 0);
  EXPECT_EQ(small.intValue(), 42);
}

TEST(Unpack, WrongWidthsAndCutBuffersAreDamage) {
  // A SMALLINT value sent as a long: reading 2 of its bytes would be wrong.
  CZqlSmallInt v;
  EXPECT_EQ(UnpackInto(&v, CPackBytes().Long(0, 7).End(5).Buffer()), kZqlErrInternalZQLError);
  EXPECT_TRUE(v.isNull());
  // A double value item cut to one byte.
  CZqlDouble d;
  EXPECT_EQ(UnpackInto(&d, Pack([](CZqlObjPack* p) { p->add(0, 'x'); })),
            kZqlErrInternalZQLError);
  d = 3.0;
  Buffer bytes = PackValue(d);
  bytes.resize(bytes.size() - 3);  // the length field now overstates
  EXPECT_EQ(UnpackInto(&d, bytes), kZqlErrInternalZQLError);
}

TEST(Unpack, AttributesOutsideTheLimitsAreClamped) {
  // Scale tables have 33 entries; attributes from the wire must not index
  // past them.
  CZqlNumeric n;
  ASSERT_EQ(UnpackInto(&n, CPackBytes().Double(0, 1.5).Long(1, 1000).Long(2, -1).End(2).Buffer()),
            0);
  EXPECT_EQ(n.Precision(), 32u);
  EXPECT_EQ(n.Scale(), 32u);
  CZqlNumeric other = With(CZqlNumeric(10, 2), 1.5);
  EXPECT_EQ(n == other, 1);  // the comparison reads ZqlNumEpsilon[32]

  CZqlDecimal d;
  ASSERT_EQ(UnpackInto(&d, CPackBytes().Long(1, 4).Long(2, 9).Buffer()), 0);
  EXPECT_EQ(d.Scale(), 4u);
  CZqlFloat f;
  ASSERT_EQ(UnpackInto(&f, CPackBytes().Long(1, 99).Buffer()), 0);
  EXPECT_EQ(f.Precision(), 32u);
}

// ---------------------------------------------------------------------------
// Data descriptor groups
// ---------------------------------------------------------------------------

// Values, nulls and attributes come back whole (the literal compares the
// values).
TEST(DataDescriptor, EveryBuiltClassRoundTrips) {
  CZqlSmallInt s = With(CZqlSmallInt(), static_cast<short>(-32768));
  CZqlInt i = With(CZqlInt(), 99L);
  CZqlNumeric n = With(CZqlNumeric(31, 7), -1234.5678);
  CZqlDecimal d = With(CZqlDecimal(30, 1), -7.5);
  CZqlDecimal d4 = With(CZqlDecimal(20, 4), -12.3456);
  const CZqlDecimal nul(5, 5);
  CZqlFloat f = With(CZqlFloat(3), 1e300);
  CZqlReal r;
  CZqlDouble x = With(CZqlDouble(), 1e-300);
  CZqlImplDef impl;
  impl.setType(3999);
  impl.setName(CZqlUcStr("GEOMETRY"));
  const char raw[] = "\x00\x01\xff";
  ASSERT_EQ(impl.setBytes(raw, 3), 1);
  const CZqlData* values[] = {&s, &i, &n, &d, &d4, &nul, &f, &r, &x};
  for (const CZqlData* v : values) {
    ExpectRoundTrips(*v, [](const CZqlData& a, const CZqlData& b) {
      EXPECT_EQ(b.Type(), a.Type());
      EXPECT_EQ(TypeText(b), TypeText(a));
      EXPECT_EQ(Literal(b), Literal(a));
      EXPECT_EQ(b.Precision(), a.Precision());
      EXPECT_EQ(b.Scale(), a.Scale());
    }, false);
  }
  std::unique_ptr<CZqlData> back = ThroughDescriptor(impl);
  ASSERT_NE(back, nullptr);
  // The implementation-defined value's literal shows nothing of it.
  const auto& other = dynamic_cast<const CZqlImplDef&>(*back);
  EXPECT_EQ(other.ImplDataType(), 3999);
  EXPECT_TRUE(other.Name() == CZqlUcStr("GEOMETRY"));
  char got[8] = {};
  EXPECT_EQ(other.read(got, 0, 8), 3);
  EXPECT_EQ(std::memcmp(got, raw, 3), 0);
}

TEST(DataDescriptor, CodesAndSubcodes) {
  const struct {
    int32_t code, sub;
    bool withSub, valid;
  } cases[] = {
      {1, 0, false, true},   {12, 0, false, true},  {14, 0, false, true}, {15, 0, false, true},
      {9, 1, true, true},    {9, 5, true, true},    {10, 1, true, true},  {10, 13, true, true},
      {0, 0, false, false},  {11, 0, false, false}, {13, 0, false, false},
      {16, 0, false, false}, {-2, 0, false, false}, {9, 0, true, false},  {9, 6, true, false},
      {10, 0, true, false},  {10, 14, true, false},
      {10, 0, false, false},  // an interval code without its subcode item
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.code << "/" << c.sub);
    Buffer bytes = Pack([&](CZqlObjPack* p) {
      p->add(10, c.code);
      if (c.withSub) p->add(11, c.sub);
      p->add(12, static_cast<int32_t>(0));
      p->add(kZqlPackEnd, c.code);
    });
    CZqlObjPack pack(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_EQ(pack.getNext(), 10);
    std::unique_ptr<CZqlData> value;
    const int code = Raised([&] { value.reset(ZqlUnpackDataDescriptor(&pack, 10)); });
    EXPECT_EQ(code, c.valid ? 0 : kZqlErrInternalZQLError);
    ASSERT_EQ(value != nullptr, c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(value->Type(), c.code);
    if (c.code == 9 || c.code == 10) {
      EXPECT_EQ(c.code == 9 ? value->DateTimeType() : static_cast<int>(value->IntervalType()),
                c.sub);
    }
  }
  // No marker before the value; the code as a short.
  for (const Buffer& bad :
       {CPackBytes().Long(10, 5).End(5).Buffer(), CPackBytes().Short(10, 5).Buffer()}) {
    Buffer bytes = bad;
    CZqlObjPack pack(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_EQ(pack.getNext(), 10);
    EXPECT_EQ(Raised([&] { ZqlUnpackDataDescriptor(&pack, 10); }), kZqlErrInternalZQLError);
  }
  // With no frame open the raise returns and the answer is null.
  Buffer bytes = CPackBytes().Long(10, 0).Long(12, 0).End(0).Buffer();
  CZqlObjPack pack(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ASSERT_EQ(pack.getNext(), 10);
  EXPECT_EQ(ZqlUnpackDataDescriptor(&pack, 10), nullptr);
}

}  // namespace
