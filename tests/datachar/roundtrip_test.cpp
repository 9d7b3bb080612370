// Round trips over generated tables of values: each value stores its own
// text forms back to an equal value, and packs and unpacks (alone and as a
// data descriptor group) to an equal value.

#include <memory>
#include <random>

#include "common.h"

namespace {

constexpr int kRounds = 400;

// ---------------------------------------------------------------------------
// Character values
// ---------------------------------------------------------------------------

// Printable characters, blanks (trailing ones too), quotes and units the
// default character set cannot represent.
CZqlChar RandomChar(std::mt19937& rnd) {
  CZqlChar c(1 + rnd() % 256);
  if (rnd() % 2 == 0) c.setVarying();
  if (rnd() % 3 == 0) c.setNational();
  if (rnd() % 10 == 0) return c;  // null
  static const unsigned short kWide[] = {0x00E9, 0x4E2D, 0x3000, 0x20AC};
  std::vector<unsigned short> units;
  const unsigned int n = rnd() % (c.Length() + 1);
  for (unsigned int i = 0; i < n; ++i) {
    const unsigned int kind = rnd() % 10;
    units.push_back(kind < 6    ? static_cast<unsigned short>(0x21 + rnd() % 94)
                    : kind < 8  ? 0x20
                    : kind == 8 ? 0x27
                                : kWide[rnd() % 4]);
  }
  units.push_back(0);
  c.storeValue(CZqlUcStr(units.data()));
  return c;
}

void ExpectSame(const CZqlChar& a, const CZqlChar& b) {
  EXPECT_EQ(a.isNull(), b.isNull());
  EXPECT_EQ(a.Type(), b.Type());
  EXPECT_EQ(a.Length(), b.Length());
  EXPECT_EQ(a.ReturnLength(), b.ReturnLength());
  EXPECT_EQ(a.is_national(), b.is_national());
  EXPECT_EQ(a.Coercibility(), b.Coercibility());
  EXPECT_EQ(Str(a.charValue()), Str(b.charValue()));
  // Values without collating sequence cannot be compared at all.
  if (!a.isNull() && a.Coercibility() != kZqlNoCollating) {
    EXPECT_EQ(a == b, 1);
  }
}

// ---------------------------------------------------------------------------
// Bit strings
// ---------------------------------------------------------------------------

// A fixed value holds its declared length of bits; a varying one any count
// up to it.
CZqlBinary RandomBits(std::mt19937& rnd) {
  CZqlBinary b(1 + rnd() % 2048);
  const bool varying = rnd() % 2 == 0;
  if (varying) b.setVarying();
  if (rnd() % 10 == 0) return b;  // null
  const unsigned int n = varying ? rnd() % (b.Length() + 1) : b.Length();
  std::string digits;
  for (unsigned int i = 0; i < n; ++i) digits += "01"[rnd() % 2];
  b.storeBinValue(digits.c_str(), n, nullptr);
  return b;
}

void ExpectSame(const CZqlBinary& a, const CZqlBinary& b) {
  EXPECT_EQ(a.isNull(), b.isNull());
  EXPECT_EQ(a.Type(), b.Type());
  EXPECT_EQ(a.Length(), b.Length());
  EXPECT_EQ(a.BitCount(), b.BitCount());
  EXPECT_EQ(BinText(a), BinText(b));
  if (!a.isNull()) {
    EXPECT_EQ(a == b, 1);
  }
}

// Through binary digits always; through hexadecimal digits (the generic
// texts) where they carry whole nibbles, and for fixed values, whose
// declared length cuts the extra bits again.
void ExpectBitTextsKeepTheValue(const CZqlBinary& v) {
  auto fromBin = Empty(v);
  CZqlUcStr bin;
  ASSERT_EQ(v.getBinValue(&bin), 1);
  ASSERT_EQ(fromBin->storeBinValue(bin), 1);
  ExpectSame(v, *fromBin);
  if (v.BitCount() % 4 != 0 && !v.is_varying()) {
    char hex[2048 / 4 + 1];
    ASSERT_EQ(v.getValue(hex, sizeof hex), 1);
    auto fromHex = Empty(v);
    ASSERT_EQ(fromHex->storeValue(hex, sizeof hex), 1);
    ExpectSame(v, *fromHex);
  }
}

TEST(CharRoundTrip, TextAndPackedForms) {
  std::mt19937 rnd(302);
  for (int round = 0; round < kRounds; ++round) {
    CZqlChar v = RandomChar(rnd);
    if (round % 5 == 0) v.setCoerc(static_cast<EZqlCAttr>(rnd() % 4));
    ExpectRoundTrips(v, [](const CZqlChar& a, const CZqlChar& b) { ExpectSame(a, b); },
                     !v.isNull());
  }
}

TEST(BitRoundTrip, TextAndPackedForms) {
  std::mt19937 rnd(304);
  for (int round = 0; round < kRounds; ++round) {
    const CZqlBinary v = RandomBits(rnd);
    SCOPED_TRACE(Literal(v));
    ExpectRoundTrips(v, [](const CZqlBinary& a, const CZqlBinary& b) { ExpectSame(a, b); },
                     !v.isNull() && v.BitCount() % 4 == 0);
    if (!v.isNull()) ExpectBitTextsKeepTheValue(v);
  }
}

// ---------------------------------------------------------------------------
// Numbers through character values
// ---------------------------------------------------------------------------

TEST(NumberRoundTrip, ThroughCharacterText) {
  std::mt19937 rnd(305);
  for (int round = 0; round < kRounds; ++round) {
    CZqlInt i = With(CZqlInt(), static_cast<long>(static_cast<int32_t>(rnd())));
    CZqlNumeric n(12, 3);
    n = static_cast<double>(static_cast<int32_t>(rnd() % 2000000000)) / 1000.0;
    CZqlDouble d = With(CZqlDouble(), static_cast<double>(static_cast<int32_t>(rnd())) / 8.0);
    const CZqlNum* values[] = {&i, &n, &d};
    for (const CZqlNum* v : values) {
      CZqlChar text(40);
      text.setVarying();
      ASSERT_EQ(text.storeValue(static_cast<const CZqlData&>(*v)), 1);
      std::unique_ptr<CZqlData> back(v->duplicate());
      back->setNull();
      ASSERT_EQ(Raised([&] { back->storeValue(static_cast<const CZqlData&>(text)); }), 0)
          << Value(text);
      CZqlDouble a;
      CZqlDouble b;
      a.storeValue(static_cast<const CZqlData&>(*v));
      b.storeValue(*back);
      EXPECT_EQ(a.realValue(), b.realValue()) << Value(text);
    }
  }
}

}  // namespace
