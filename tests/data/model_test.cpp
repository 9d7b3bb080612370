// The value model: attribute clamps, families and compatibility, result
// types, raw reads, duplicates, the implementation-defined value and its
// shared bytes, and the pad-stripping helper.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "zqlsdata.h"

namespace {

TEST(Attributes, DefaultsAndClamps) {
  CZqlNumeric big(40, 35);
  EXPECT_EQ(big.Precision(), 32u);
  EXPECT_EQ(big.Scale(), 32u);
  CZqlNumeric wide(10, 12);
  EXPECT_EQ(wide.Scale(), 10u);
  CZqlDecimal d;
  EXPECT_EQ(d.Precision(), 12u);
  EXPECT_EQ(d.Scale(), 0u);
  EXPECT_EQ(d.ReturnLength(), 14u);
  EXPECT_EQ(CZqlFloat(33).Precision(), 32u);
  EXPECT_EQ(CZqlFloat().Precision(), 16u);
  EXPECT_EQ(CZqlReal().Precision(), 32u);
  EXPECT_EQ(CZqlDouble().Precision(), 64u);
  EXPECT_EQ(CZqlSmallInt().Precision(), 6u);
  EXPECT_EQ(CZqlSmallInt().ReturnLength(), 6u);
  EXPECT_EQ(CZqlInt().ReturnLength(), 10u);
  EXPECT_EQ(CZqlDouble().ReturnLength(), 25u);
  // A NUMERIC(32,32) holds only values below 1 in magnitude.
  EXPECT_EQ(ZqlTry([&] { big = 0.5; }), 1);
  EXPECT_EQ(ZqlTry([&] { big = 1.0; }), 0);
}

TEST(Compatibility, NumericsAndResultTypes) {
  const CZqlSmallInt s;
  const CZqlNumeric n(10, 2);
  const CZqlFloat f;
  const CZqlImplDef impl;
  EXPECT_EQ(s.is_comparable(&f), 1);
  EXPECT_EQ(f.is_storable(&n), 1);
  EXPECT_EQ(n.is_castable(&s), 1);
  EXPECT_EQ(n.is_comparable(&impl), 0);
  EXPECT_EQ(n.is_castable(&impl), 0);
  EXPECT_EQ(n.is_castable(nullptr), 0);
  EXPECT_EQ(impl.is_comparable(&impl), 0);
  const CZqlData* ops[] = {&s, &n, &f};
  for (const CZqlData* a : ops) {
    for (const CZqlData* b : ops) {
      for (auto check : {&CZqlData::checkAdd, &CZqlData::checkSub, &CZqlData::checkMul,
                         &CZqlData::checkDiv}) {
        std::unique_ptr<CZqlData> r((a->*check)(b));
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->Type(), kZqlTypeDouble);
        EXPECT_TRUE(r->isNull());
      }
      EXPECT_EQ(a->checkCat(b), nullptr);
    }
  }
  EXPECT_EQ(n.checkAdd(&impl), nullptr);
  EXPECT_EQ(n.checkMul(nullptr), nullptr);
}

TEST(RawRead, BytesOfTheValueField) {
  CZqlSmallInt s;
  s = static_cast<short>(0x1234);
  char buf[8] = {};
  EXPECT_EQ(s.size(), 2);
  EXPECT_EQ(s.read(buf, 0, 8), 2);
  int16_t back = 0;
  std::memcpy(&back, buf, 2);
  EXPECT_EQ(back, 0x1234);
  EXPECT_EQ(s.read(buf, 1, 8), 1);
  EXPECT_EQ(s.read(buf, 2, 8), 0);  // at the end
  EXPECT_EQ(s.read(buf, 0, 0), 0);
  EXPECT_EQ(s.read(nullptr, 0, 2), 0);
  EXPECT_EQ(s.read(buf, -1, 2), 0);
  CZqlNumeric n(12, 2);
  n = 2.5;
  double d = 0;
  EXPECT_EQ(n.read(reinterpret_cast<char*>(&d), 0, 8), 8);
  EXPECT_EQ(d, 2.5);
}

TEST(Duplicate, SameClassAttributesAndValue) {
  CZqlDecimal d(20, 4);
  d = -12.3456;
  std::unique_ptr<CZqlDecimal> copy(d.duplicate());
  EXPECT_EQ(copy->Precision(), 20u);
  EXPECT_EQ(copy->Scale(), 4u);
  EXPECT_EQ(copy->realValue(), -12.3456);
  const CZqlData& base = d;
  std::unique_ptr<CZqlData> viaBase(base.duplicate());
  EXPECT_EQ(viaBase->Type(), kZqlTypeDecimal);
  std::unique_ptr<CZqlData> nul(CZqlInt().duplicate());
  EXPECT_TRUE(nul->isNull());
}

TEST(ImplDefBytes, BodyLimitsAndSharing) {
  std::string big(5000, 'x');
  CZqlImplDefFxd tooBig(big.data(), 5000);
  char buf[16];
  EXPECT_EQ(tooBig.size(), 0);
  EXPECT_EQ(tooBig.read(buf, 0, 16), 0);
  EXPECT_EQ(CZqlImplDefFxd(big.data(), 0).size(), 0);
  EXPECT_EQ(CZqlImplDefFxd(big.data(), 4096).size(), 4096);

  const long before = ZqlObjectsInUse();
  {
    auto holder = std::make_unique<CZqlImplDefFxd>("abcdef", 6);
    std::unique_ptr<CZqlImplDefFxd> shared(holder->duplicate());
    EXPECT_EQ(shared->data(), holder->data());  // one body
    holder.reset();
    EXPECT_EQ(shared->read(buf, 2, 3), 3);  // still alive in the copy
    EXPECT_EQ(std::string(buf, 3), "cde");
  }
  EXPECT_EQ(ZqlObjectsInUse(), before);
}

TEST(ImplDefValue, BytesDuplicatesAndClear) {
  CZqlImplDef v;
  v.setType(5);
  v.setName(CZqlUcStr("POINT"));
  EXPECT_EQ(v.setBytes("xy", 0), 0);
  EXPECT_TRUE(v.isNull());
  ASSERT_EQ(v.setBytes("xyz", 3), 1);
  EXPECT_FALSE(v.isNull());
  EXPECT_EQ(v.size(), 3);
  std::unique_ptr<CZqlImplDef> copy(v.duplicate());
  v.Clear();  // releases only this value's holder
  EXPECT_EQ(v.size(), 0);
  char buf[4] = {};
  EXPECT_EQ(copy->read(buf, 0, 4), 3);
  EXPECT_STREQ(buf, "xyz");
  EXPECT_EQ(copy->ImplDataType(), 5);
  EXPECT_EQ(copy->storeValue(1.0), 0);  // no host conversions
  EXPECT_EQ(copy->getValue(buf, 4), 0);
}

TEST(KillPad, StripsBothEnds) {
  char text[] = "  12 3  ";
  EXPECT_STREQ(zql_kill_pad_characters(text, ' '), "12 3");
  char pads[] = "***";
  EXPECT_STREQ(zql_kill_pad_characters(pads, '*'), "");
  char none[] = "x";
  EXPECT_EQ(zql_kill_pad_characters(none, ' '), none);
  EXPECT_EQ(zql_kill_pad_characters(nullptr, ' '), nullptr);
}

}  // namespace
