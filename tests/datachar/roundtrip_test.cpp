// Round trips over generated tables of values: each value stores its own
// text forms back to an equal value, and packs and unpacks (alone and as a
// data descriptor group) to an equal value.

#include <memory>
#include <random>

#include "common.h"

namespace {

constexpr int kRounds = 400;

// The value read back from its own packed form into a new object.
template <class T>
T Unpacked(const T& v) {
  Buffer buf = Pack([&](CZqlObjPack* p) { v.packTo(p); });
  EXPECT_EQ(buf.size(), v.packSize());
  T back;
  EXPECT_EQ(UnpackInto(&back, buf), 0);
  return back;
}

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

// Through 16-bit and 8-bit text, without any condition.
void ExpectTextFormsKeepTheValue(const CZqlChar& v) {
  CDiagScope diag;
  CZqlUcStr wide;
  ASSERT_EQ(v.getValue(&wide), 1);
  auto a = Empty(v);
  ASSERT_EQ(a->storeValue(wide), 1);
  ExpectSame(v, *a);
  char narrow[256 * 7 + 1];
  ASSERT_EQ(v.getValue(narrow, sizeof narrow), 1);
  auto b = Empty(v);
  ASSERT_EQ(b->storeValue(narrow, sizeof narrow), 1);
  ExpectSame(v, *b);
  EXPECT_TRUE(diag.None());
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

// Through binary digits, and hexadecimal digits where they carry whole
// nibbles: exact for counts of 4, and for fixed values the declared length
// cuts the extra bits again.
void ExpectTextFormsKeepTheValue(const CZqlBinary& v) {
  auto fromBin = Empty(v);
  CZqlUcStr bin;
  ASSERT_EQ(v.getBinValue(&bin), 1);
  ASSERT_EQ(fromBin->storeBinValue(bin), 1);
  ExpectSame(v, *fromBin);
  if (v.BitCount() % 4 == 0 || !v.is_varying()) {
    char hex[2048 / 4 + 1];
    ASSERT_EQ(v.getValue(hex, sizeof hex), 1);
    auto fromHex = Empty(v);
    ASSERT_EQ(fromHex->storeValue(hex, sizeof hex), 1);
    ExpectSame(v, *fromHex);
  }
}

// Text forms (not of nulls), packed alone, as a data descriptor group,
// duplicated and stored from itself: the same value and attributes come
// back.
template <class T, class Make>
void ExpectRoundTripsKeepTheValue(uint32_t seed, Make make) {
  std::mt19937 rnd(seed);
  for (int round = 0; round < kRounds; ++round) {
    const T v = make(rnd, round);
    SCOPED_TRACE(Literal(v));
    if (!v.isNull()) ExpectTextFormsKeepTheValue(v);
    ExpectSame(v, Unpacked(v));
    std::unique_ptr<CZqlData> d = ThroughDescriptor(v);
    const T* back = dynamic_cast<const T*>(d.get());
    ASSERT_NE(back, nullptr);
    ExpectSame(v, *back);
    std::unique_ptr<T> copy(v.duplicate());
    ExpectSame(v, *copy);
    auto stored = Empty(v);
    ASSERT_EQ(stored->storeValue(static_cast<const CZqlData&>(v)), 1);
    ExpectSame(v, *stored);
  }
}

TEST(CharRoundTrip, TextAndPackedForms) {
  ExpectRoundTripsKeepTheValue<CZqlChar>(302, [](std::mt19937& rnd, int round) {
    CZqlChar v = RandomChar(rnd);
    if (round % 5 == 0) v.setCoerc(static_cast<EZqlCAttr>(rnd() % 4));
    return v;
  });
}

TEST(BitRoundTrip, TextAndPackedForms) {
  ExpectRoundTripsKeepTheValue<CZqlBinary>(304,
                                           [](std::mt19937& rnd, int) { return RandomBits(rnd); });
}

// ---------------------------------------------------------------------------
// Numbers through character values
// ---------------------------------------------------------------------------

TEST(NumberRoundTrip, ThroughCharacterText) {
  std::mt19937 rnd(305);
  for (int round = 0; round < kRounds; ++round) {
    CZqlInt i;
    i = static_cast<long>(static_cast<int32_t>(rnd()));
    CZqlNumeric n(12, 3);
    n = static_cast<double>(static_cast<int32_t>(rnd() % 2000000000)) / 1000.0;
    CZqlDouble d;
    d = static_cast<double>(static_cast<int32_t>(rnd())) / 8.0;
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
