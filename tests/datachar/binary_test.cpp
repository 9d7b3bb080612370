// Bit strings: hexadecimal and binary-digit texts, truncation and padding
// warnings, comparison, concatenation and SUBSTRING across byte borders,
// conversions with character values, and the packed form.

#include <climits>
#include <memory>
#include <random>

#include "common.h"

namespace {

// Hexadecimal and binary digits into BIT(length) or BIT VARYING(length):
// the bits held, and whether the truncation warning was pushed.
TEST(BitText, InputOddLengthsAndTruncation) {
  const struct {
    unsigned int length;
    bool varying, hex;
    const char* in;
    unsigned int size;
    const char* bits;
    bool warned;
  } cases[] = {
      {8, false, true, "1F", 10, "00011111", false},
      {8, false, true, "1F2", 10, "00011111", true},
      {32, true, true, "ab", 10, "10101011", false},  // lower case
      {32, true, true, "1G5", 10, "0001", false},     // only the leading digits
      {32, true, true, "ABCD", 2, "10101011", false},  // the buffer size ends the text
      {16, true, false, "101", 10, "101", false},
      {6, false, true, "FF", 10, "111111", true},  // a digit past the length is cut
      {3, false, false, "1", 10, "1", false},  // text input keeps the digits given
  };
  for (const auto& c : cases) {
    CDiagScope diag;
    CZqlBinary b = Bits(c.length, nullptr, c.varying);
    unsigned int used = 0;
    ASSERT_EQ(c.hex ? b.storeHexValue(c.in, c.size, &used) : b.storeBinValue(c.in, c.size, &used),
              1);
    EXPECT_EQ(BinText(b), c.bits) << c.in;
    EXPECT_EQ(diag.Has(kZqlErrStringDataRightTruncation0104), c.warned) << c.in;
  }
  // The bits past the count are zero; the hexadecimal text of odd lengths.
  const CZqlBinary six = Bits(6, "111111", false);
  EXPECT_EQ(six.Bits()[0], 0xFC);
  EXPECT_EQ(Value(Bits(16, "101")), "A");
  CZqlBinary v = Bits(32, nullptr);
  v.storeValue(CZqlUcStr("c0"));
  EXPECT_EQ(Value(v), "C0");
}

TEST(BitText, OutputIntoShortBuffers) {
  CDiagScope diag;
  CZqlBinary b = Bits(12, "101010111100");
  char buf[3];
  unsigned int used = 0;
  ASSERT_EQ(b.getHexValue(buf, sizeof buf, &used), 1);
  EXPECT_STREQ(buf, "AB");
  EXPECT_EQ(used, 2u);
  EXPECT_TRUE(diag.Has(kZqlErrStringDataRightTruncation0104));
  diag.Flush();
  char four[4];
  b.getValue(four, sizeof four);
  EXPECT_STREQ(four, "ABC");
  EXPECT_TRUE(diag.None());
  char bin[5];
  b.getBinValue(bin, sizeof bin, &used);
  EXPECT_STREQ(bin, "1010");
  EXPECT_TRUE(diag.Has(kZqlErrStringDataRightTruncation0104));
  // Null: result 0 and an empty text; no bits: an empty text.
  CZqlBinary null(4);
  buf[0] = 'x';
  EXPECT_EQ(null.getHexValue(buf, sizeof buf, &used), 0);
  EXPECT_STREQ(buf, "");
  CZqlBinary empty = Bits(4, "");
  EXPECT_EQ(empty.getHexValue(buf, sizeof buf, &used), 1);
  EXPECT_STREQ(buf, "");
  EXPECT_FALSE(empty.isNull());
}

TEST(BitCompare, BytesThenBitCount) {
  const CZqlBinary n(4);
  const struct {
    int got, want;
  } cases[] = {
      {Bits(8, "1010") == Bits(8, "10100"), 0}, {Bits(8, "1010") != Bits(8, "10100"), 1},
      {Bits(8, "1010") < Bits(8, "10100"), 1},  {Bits(8, "1011") > Bits(8, "10100"), 1},
      {Bits(16, "1") < Bits(16, "000000001"), 0}, {Bits(8, "") < Bits(8, "0"), 1},
      {Bits(8, "0110") == Bits(4, "0110"), 1},  {n == n, 0},
      {n != Bits(4, "1"), 0},                   {Bits(4, "1") >= n, 0},
  };
  for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
    EXPECT_EQ(cases[k].got, cases[k].want) << "case " << k;
  }
  const unsigned char a = 0xA0;
  EXPECT_EQ(ZqlBinCompare(&a, 3, &a, 3), 0);
  EXPECT_LT(ZqlBinCompare(&a, 3, &a, 4), 0);
}

// Random bit strings against the same operations on digit strings.
TEST(BitOperators, ConcatAndSubstringAcrossByteBorders) {
  std::mt19937 rnd(301);
  auto digits = [&](unsigned int n) {
    std::string s;
    for (unsigned int i = 0; i < n; ++i) s += "01"[rnd() % 2];
    return s;
  };
  for (int round = 0; round < 500; ++round) {
    const std::string a = digits(rnd() % 41);
    const std::string b = digits(rnd() % 41);
    const CZqlBinary x = Bits(40, a.c_str());
    const CZqlBinary y = Bits(40, b.c_str(), round % 2 == 0);
    const CZqlBinary joined = x + y;
    EXPECT_EQ(BinText(joined), a + b);
    EXPECT_EQ(joined.Length(), 80u);
    EXPECT_EQ(joined.Type(), kZqlTypeVarbit);
    const unsigned int start = rnd() % 45;
    const unsigned int count = rnd() % 45;
    const size_t from = start == 0 ? 0 : start - 1;
    const size_t take = start == 0 ? (count > 0 ? count - 1 : 0) : count;
    const std::string expect = from < a.size() ? a.substr(from, take) : "";
    EXPECT_EQ(BinText(x.Substring(start, count)), expect) << a << " " << start << " " << count;
  }
  // Edges: past the end, no count, a count beyond the bits, a null.
  const CZqlBinary v = Bits(16, "110010111");
  EXPECT_EQ(BinText(v.Substring(9)), "1");
  EXPECT_EQ(BinText(v.Substring(10)), "");
  EXPECT_FALSE(v.Substring(10).isNull());
  EXPECT_EQ(BinText(v.Substring(3, 0)), "");
  EXPECT_EQ(BinText(v.Substring(7, UINT_MAX)), "111");
  EXPECT_EQ(v.Substring(2).Length(), 16u);
  EXPECT_TRUE(CZqlBinary(4).Substring(1).isNull());
}

TEST(BitOperators, ConcatLimitsAndNull) {
  CDiagScope diag;
  const CZqlBinary big = Bits(2048, std::string(2000, '1').c_str());
  const CZqlBinary more = Bits(100, std::string(100, '0').c_str());
  const CZqlBinary r = big + more;
  EXPECT_EQ(r.BitCount(), 2048u);
  EXPECT_EQ(BinText(r), std::string(2000, '1') + std::string(48, '0'));
  EXPECT_TRUE(diag.Has(kZqlErrStringDataRightTruncation0104));
  const CZqlBinary fixed = CZqlBinary(3) + CZqlBinary(5);
  EXPECT_TRUE(fixed.isNull());
  EXPECT_EQ(fixed.Type(), kZqlTypeBit);
  EXPECT_EQ(fixed.Length(), 8u);
}

// Stores between bit strings and character values (the logical value,
// padding included; a partial last character is filled with zero bits):
// the target's text afterwards and the warnings pushed.
TEST(BitConvert, WithCharacterValues) {
  const CZqlChar ab = Var(2, "AB");
  CZqlBinary b(32);
  b.storeHexValue("00410042", 20u, nullptr);
  const auto store = [](CZqlData&& to, const CZqlData& from, std::string (*show)(CZqlData&)) {
    CDiagScope diag;
    EXPECT_EQ(Raised([&] { to.storeValue(from); }), 0);
    std::string out = to.isNull() ? "null" : show(to);
    for (int code : diag.Codes()) out += " !" + std::to_string(code);
    return out;
  };
  const auto value = [](CZqlData& v) { return Value(v); };
  const auto bits = [](CZqlData& v) { return BinText(static_cast<CZqlBinary&>(v)); };
  const auto count = [](CZqlData& v) {
    return std::to_string(static_cast<CZqlBinary&>(v).BitCount());
  };
  const auto unit = [](CZqlData& v) {
    return std::to_string(static_cast<CZqlChar&>(v).charValue().UcStr()[0]);
  };
  const std::string pad = " !" + std::to_string(kZqlErrImplicitZeroBitPadding);
  const std::string cut = " !" + std::to_string(kZqlErrStringDataRightTruncation0104);
  EXPECT_EQ(store(CZqlBinary(32), ab, value), "00410042");
  EXPECT_EQ(store(CZqlBinary(40), ab, count), "32" + pad);
  EXPECT_EQ(store(CZqlBinary(20), ab, bits), "00000000010000010000" + cut);
  EXPECT_EQ(store(CZqlBinary(64), Chr(3, "A"), value), "004100200020" + pad);
  EXPECT_EQ(store(Bits(20, "1"), CZqlChar(2), value), "null");
  EXPECT_EQ(store(Var(5, nullptr), b, value), "AB" + pad);
  EXPECT_EQ(store(CZqlChar(1), b, value), "A" + cut);
  EXPECT_EQ(store(CZqlChar(1), Bits(8, "01000001"), unit), std::to_string(0x4100));
  // A zero unit cannot be a character.
  CZqlChar z = Chr(2, "ok");
  EXPECT_EQ(Raised([&] { z.storeValue(static_cast<const CZqlData&>(Bits(16, "0000"))); }),
            kZqlErrInvalidCharacterValueForCast);
  EXPECT_EQ(Value(z), "ok");
}

TEST(BitConvert, OtherTypesCannotBeCast) {
  CZqlInt i = With(CZqlInt(), 5L);
  CZqlBinary b(8);
  EXPECT_EQ(Raised([&] { b.storeValue(static_cast<const CZqlData&>(i)); }),
            kZqlErrExpressionCannotBeCastToTheSpecifiedType);
  EXPECT_TRUE(b.isNull());
  EXPECT_EQ(Raised([&] { i.storeValue(static_cast<const CZqlData&>(Bits(8, "1"))); }),
            kZqlErrExpressionCannotBeCastToTheSpecifiedType);
  EXPECT_EQ(b.storeValue(2.0), 0);
}

TEST(BitCopy, CopiesOwnTheirBits) {
  CZqlBinary a = Bits(16, "1100");
  CZqlBinary b(a);
  std::unique_ptr<CZqlBinary> c(a.duplicate());
  a.storeBinValue("0011", 10u, nullptr);
  EXPECT_EQ(BinText(b), "1100");
  EXPECT_EQ(BinText(*c), "1100");
  char raw[4];
  EXPECT_EQ(b.read(raw, 0, 4), 1);
  EXPECT_EQ(static_cast<unsigned char>(raw[0]), 0xC0);
}

TEST(BitPack, EmptyValueStaysNotNullDamagedCountsAreHeld) {
  const CZqlBinary empty = Bits(8, "");
  CZqlBinary back;
  ASSERT_EQ(UnpackInto(&back, Pack([&](CZqlObjPack* p) { empty.packTo(p); })), 0);
  EXPECT_FALSE(back.isNull());
  EXPECT_EQ(back.BitCount(), 0u);
  EXPECT_EQ(back.Type(), kZqlTypeVarbit);
  // Damaged counts are held to the bytes.
  const unsigned char one = 0xFF;
  ASSERT_EQ(UnpackInto(&back, CPackBytes().Long(0, 12).Long(2, 5000).Long(3, 1)
                                  .Var(4, kZqlPackBytes, &one, 1).End(14).Buffer()),
            0);
  EXPECT_EQ(back.Length(), 12u);
  EXPECT_EQ(back.BitCount(), 12u);
  EXPECT_EQ(BinText(back), "111111110000");
  // A wrong payload width is damage.
  EXPECT_EQ(UnpackInto(&back, CPackBytes().Short(2, 3).End(14).Buffer()), kZqlErrInternalZQLError);
}

}  // namespace
