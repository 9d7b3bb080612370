// The value model: attribute clamps, compatibility and result types, raw
// reads, the implementation-defined value and its shared bytes,
// and the pad-stripping helper.

#include <memory>

#include "common.h"

namespace {

TEST(Attributes, DefaultsAndClamps) {
  CZqlNumeric big(40, 35);
  const struct {
    unsigned int got, want;
  } cases[] = {
      {big.Precision(), 32},  {big.Scale(), 32},  {CZqlNumeric(10, 12).Scale(), 10},
      {CZqlDecimal().Precision(), 12},  {CZqlDecimal().ReturnLength(), 14},
      {CZqlFloat(33).Precision(), 32},  {CZqlFloat().Precision(), 16},
      {CZqlReal().Precision(), 32},     {CZqlDouble().ReturnLength(), 25},
      {CZqlSmallInt().ReturnLength(), 6}, {CZqlInt().ReturnLength(), 10},
  };
  for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
    EXPECT_EQ(cases[k].got, cases[k].want) << "case " << k;
  }
  // A NUMERIC(32,32) holds only values below 1 in magnitude.
  EXPECT_EQ(ZqlTry([&] { big = 0.5; }), 1);
  EXPECT_EQ(ZqlTry([&] { big = 1.0; }), 0);
}

TEST(Compatibility, NumericsAndResultTypes) {
  const CZqlSmallInt s;
  const CZqlNumeric n(10, 2);
  const CZqlFloat f;
  const CZqlImplDef impl;
  EXPECT_EQ(s.is_comparable(&f) + f.is_storable(&n) + n.is_castable(&s), 3);
  EXPECT_EQ(n.is_comparable(&impl) + n.is_castable(&impl) + n.is_castable(nullptr) +
                impl.is_comparable(&impl),
            0);
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
  CZqlSmallInt s = With(CZqlSmallInt(), static_cast<short>(0x1234));
  char buf[8] = {};
  EXPECT_EQ(s.read(buf, 0, 8), 2);
  int16_t back = 0;
  std::memcpy(&back, buf, 2);
  EXPECT_EQ(back, 0x1234);
  EXPECT_EQ(s.read(buf, 1, 8), 1);
  EXPECT_EQ(s.read(buf, 2, 8), 0);  // at the end
  EXPECT_EQ(s.read(buf, 0, 0), 0);
  EXPECT_EQ(s.read(nullptr, 0, 2), 0);
  EXPECT_EQ(s.read(buf, -1, 2), 0);
}

TEST(ImplDef, BodyLimitsSharingAndClear) {
  std::string big(5000, 'x');
  char buf[16];
  EXPECT_EQ(CZqlImplDefFxd(big.data(), 5000).size(), 0);
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

  CZqlImplDef v;
  v.setType(5);
  EXPECT_EQ(v.setBytes("xy", 0), 0);
  EXPECT_TRUE(v.isNull());
  ASSERT_EQ(v.setBytes("xyz", 3), 1);
  std::unique_ptr<CZqlImplDef> copy(v.duplicate());
  v.Clear();  // releases only this value's holder
  EXPECT_EQ(v.size(), 0);
  std::memset(buf, 0, sizeof buf);
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
  EXPECT_EQ(zql_kill_pad_characters(nullptr, ' '), nullptr);
}

}  // namespace
