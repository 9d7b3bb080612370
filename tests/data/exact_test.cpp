// Exact numerics: store ranges from every source, truncation, NUMERIC
// against DECIMAL, text input, arithmetic and compound assignment,
// increments, comparisons and null handling.

#include <climits>

#include "common.h"

namespace {

constexpr int kRange = kZqlErrNumericValueOutOfRange;
constexpr int kCast = kZqlErrInvalidCharacterValueForCast;
constexpr int kZero = kZqlErrDivisionByZero;

CZqlSmallInt Small(short v) { return With(CZqlSmallInt(), v); }
CZqlInt Int(long v) { return With(CZqlInt(), v); }

TEST(Range, LimitsFromEverySource) {
  CZqlSmallInt s;
  CZqlInt i;
  const struct {
    CZqlData* target;
    double dbl;    // stored as a double
    long lng;      // stored as a long
    const char* text;
    int code;
  } cases[] = {
      {&s, 32767.0, 32767, "32767", 0},       {&s, -32767.0, -32767, "-32767", 0},
      {&s, 32768.0, 32768, "32768", kRange},  {&s, -32768.0, -32768, "-32768", kRange},
      {&i, 2147483647.0, 2147483647L, "2147483647", 0},
      {&i, -2147483647.0, -2147483647L, "-2147483647", 0},
      {&i, 2147483648.0, 0, "2147483648", kRange},
      {&i, -2147483648.0, 0, "-2147483648", kRange},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Raised([&] { c.target->storeValue(c.dbl); }), c.code);
    if (c.lng != 0) {
      EXPECT_EQ(Raised([&] { c.target->storeValue(c.lng); }), c.code);
    }
    EXPECT_EQ(Raised([&] { c.target->storeValue(c.text, 20); }), c.code);
  }
  EXPECT_EQ(s.intValue(), -32767);  // a failed store leaves the value
  EXPECT_EQ(i.intValue(), -2147483647);
  EXPECT_EQ(Raised([&] { s = 40000; }), kRange);
  for (double bad : {__builtin_nan(""), __builtin_inf()}) {
    CZqlSmallInt fresh;
    EXPECT_EQ(Raised([&] { fresh.storeValue(bad); }), kRange);
    EXPECT_TRUE(fresh.isNull());
  }
  // The lowest values come from host integers only.
  short sh = 0;
  EXPECT_EQ(Raised([&] { s.storeValue(static_cast<short>(-32768)); }), 0);
  EXPECT_EQ(s.getValue(&sh), 1);
  EXPECT_EQ(sh, -32768);
  long l = 0;
  EXPECT_EQ(Raised([&] { i.storeValue(static_cast<long>(INT32_MIN)); }), 0);
  EXPECT_EQ(i.getValue(&l), 1);
  EXPECT_EQ(l, INT32_MIN);
  if (sizeof(long) > 4) {
    // A 64-bit long beyond 32 bits must not wrap into the field.
    EXPECT_EQ(Raised([&] { i.storeValue(static_cast<long>(INT32_MAX) + 1); }), kRange);
    EXPECT_EQ(i.intValue(), INT32_MIN);
  }
}

TEST(Range, IncrementDecrementAndNegation) {
  CZqlInt i = Int(INT32_MAX);
  EXPECT_EQ(Raised([&] { ++i; }), kRange);
  EXPECT_EQ(i.intValue(), INT32_MAX);
  i = static_cast<long>(INT32_MIN);
  EXPECT_EQ(Raised([&] { --i; }), kRange);
  EXPECT_EQ(Raised([&] { -i; }), kRange);
  EXPECT_EQ(i.intValue(), INT32_MIN);
  CZqlSmallInt s = Small(-32768);
  EXPECT_EQ(Raised([&] { -s; }), kRange);
  EXPECT_EQ(Raised([&] { --s; }), kRange);
  s = static_cast<short>(32767);
  EXPECT_EQ(Raised([&] { ++s; }), kRange);
  -s;
  EXPECT_EQ(s.intValue(), -32767);
}

// Stores cut toward zero; NUMERIC cuts the decimal value, not its binary
// noise (0.29 * 100 is 28.999999999999996).
TEST(Truncation, TowardZero) {
  CZqlSmallInt s;
  CZqlInt i;
  CZqlNumeric n(12, 2);
  const struct {
    CZqlNum& target;
    double in, kept;
  } cases[] = {
      {s, 3.99, 3},       {s, -3.99, -3},     {i, -2147483646.9, -2147483646},
      {n, -1.239, -1.23}, {n, 0.29, 0.29},    {n, 0.57, 0.57},
      {n, 1.15, 1.15},    {n, 4.35, 4.35},    {n, 0.1 + 0.2, 0.30},
      {n, 2.675, 2.67},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Raised([&] { c.target.storeValue(c.in); }), 0) << c.in;
    EXPECT_EQ(c.target.realValue(), c.kept) << c.in;
  }
  CZqlDouble d = With(CZqlDouble(), -2.7);
  long l = 0;
  EXPECT_EQ(d.getValue(&l), 1);
  EXPECT_EQ(l, -2);
  n = -0.001;
  EXPECT_EQ(Text(n), "0");  // no negative zero
  CZqlDecimal big = With(CZqlDecimal(32, 30), 1.0 / 3.0);
  EXPECT_EQ(big.realValue(), 1.0 / 3.0);  // no digit beyond the scale to cut
}

TEST(NumericAgainstDecimal, MagnitudeLimitOnlyForNumeric) {
  CZqlNumeric n = With(CZqlNumeric(5, 2), 999.999);
  EXPECT_EQ(n.realValue(), 999.99);
  EXPECT_EQ(Raised([&] { n = 1000.0; }), kRange);
  EXPECT_TRUE(n.isNull());  // NUMERIC marks itself null before raising
  EXPECT_EQ(Raised([&] { n = -1000L; }), kRange);
  CZqlDecimal d(5, 2);
  EXPECT_EQ(Raised([&] { d = 1000.0; }), 0);
  d = 123456.789;
  EXPECT_EQ(d.realValue(), 123456.78);
  EXPECT_EQ(Raised([&] { d = __builtin_inf(); }), kRange);
  EXPECT_EQ(d.realValue(), 123456.78);
}

TEST(TextInput, TextAnd16BitTextBlanksNumbersAndErrors) {
  const struct {
    const char* text;
    unsigned int size;
    int value;
  } good[] = {{"12   ", 6, 12}, {"  -7", 5, -7}, {"   ", 4, 0}, {"1e3", 4, 1000},
              {"123", 2, 12}};  // the buffer size bounds the text
  CZqlSmallInt s;
  for (const auto& g : good) {
    EXPECT_EQ(Raised([&] { s.storeValue(g.text, g.size); }), 0) << g.text;
    EXPECT_EQ(s.intValue(), g.value) << g.text;
  }
  for (const char* bad : {"12x", "", "x12", "1 2", "0x10", "inf", "nan", "\t", "--1"}) {
    EXPECT_EQ(Raised([&] { s.storeValue(bad, 64); }), kCast) << bad;
  }
  EXPECT_EQ(s.intValue(), 12);
  EXPECT_EQ(Raised([&] { s.storeValue(static_cast<const char*>(nullptr), 4); }),
            kZqlErrInvalidFunctionArguments);
  // Long texts are not cut silently.
  CZqlDouble d;
  const std::string digits = "1" + std::string(69, '0');  // 1e69 in 70 characters
  EXPECT_EQ(Raised([&] { d.storeValue(digits.c_str(), 100); }), kCast);
  const std::string padded = "42" + std::string(80, ' ');
  EXPECT_EQ(Raised([&] { d.storeValue(padded.c_str(), 100); }), 0);
  const std::string hidden = std::string(70, ' ') + "5";
  EXPECT_EQ(Raised([&] { d.storeValue(hidden.c_str(), 100); }), kCast);
  EXPECT_EQ(Raised([&] { d.storeValue("1e400", 6); }), kRange);
  EXPECT_EQ(d.realValue(), 42.0);
  // 16-bit text.
  CZqlNumeric n(10, 2);
  EXPECT_EQ(Raised([&] { n.storeValue(CZqlUcStr("  12.345 ")); }), 0);
  EXPECT_EQ(n.realValue(), 12.34);
  for (const char* bad : {"12x", "", "nan"}) {
    EXPECT_EQ(Raised([&] { n.storeValue(CZqlUcStr(bad)); }), kCast) << bad;
  }
  const unsigned short units[] = {'7', ' ', 0};
  CZqlInt fresh;  // 16-bit text is stored into a null value too
  EXPECT_EQ(fresh.storeValue(units), 1);
  EXPECT_EQ(fresh.intValue(), 7);
}

TEST(Division, OperatorGivesDoubleCompoundKeepsTypeZeroRaises) {
  CZqlSmallInt a = Small(7);
  CZqlDouble q = a / Small(2);
  EXPECT_EQ(q.Type(), kZqlTypeDouble);
  EXPECT_EQ(q.realValue(), 3.5);
  a /= Small(2);
  EXPECT_EQ(a.intValue(), 3);
  a = static_cast<short>(-7);
  a /= 2;
  EXPECT_EQ(a.intValue(), -3);  // toward zero
  CZqlInt i = Int(7);
  i /= 2.0;  // double division, then the store truncates
  EXPECT_EQ(i.intValue(), 3);
  i = static_cast<long>(INT32_MIN);
  EXPECT_EQ(Raised([&] { i /= -1L; }), kRange);
  EXPECT_EQ(i.intValue(), INT32_MIN);
  EXPECT_EQ((7 / Small(2)).realValue(), 3.5);
  EXPECT_EQ((Int(1) / 4.0).realValue(), 0.25);
  // By zero: raises and leaves the value.
  a = static_cast<short>(7);
  CZqlSmallInt zero = Small(0);
  EXPECT_EQ(Raised([&] { (void)(a / zero); }), kZero);
  EXPECT_EQ(Raised([&] { a /= zero; }), kZero);
  EXPECT_EQ(Raised([&] { a /= 0; }), kZero);
  EXPECT_EQ(Raised([&] { a /= 0.0; }), kZero);
  EXPECT_EQ(a.intValue(), 7);
}

TEST(Compound, RangeAndIntegerArithmetic) {
  CZqlSmallInt s = Small(32767);
  EXPECT_EQ(Raised([&] { s += 1; }), kRange);
  EXPECT_EQ(s.intValue(), 32767);
  s = static_cast<short>(2);
  EXPECT_EQ(Raised([&] { s *= LONG_MAX; }), kRange);  // no wrap-around
  EXPECT_EQ(s.intValue(), 2);
  s *= Small(300);
  s -= Int(1000);  // computed in double, stored back
  EXPECT_EQ(s.intValue(), -400);
  CZqlNumeric n = With(CZqlNumeric(5, 2), 500.0);
  EXPECT_EQ(Raised([&] { n *= 2; }), kRange);
  EXPECT_TRUE(n.isNull());
  CZqlDecimal d = With(CZqlDecimal(5, 1), 1.0);
  d /= 3;
  EXPECT_EQ(d.realValue(), 0.3);
}

TEST(Nulls, ArithmeticAndComparisons) {
  CZqlSmallInt nul;
  CZqlSmallInt one = Small(1);
  EXPECT_TRUE((nul + one).isNull());
  EXPECT_TRUE((one * nul).isNull());
  EXPECT_TRUE((nul / Small(0)).isNull());  // null before division by zero
  EXPECT_TRUE((5 - nul).isNull());
  ++nul;
  EXPECT_TRUE(nul.isNull());
  one += nul;
  EXPECT_TRUE(one.isNull());
  // Every comparison with a null is false.
  const CZqlInt inul;
  const CZqlInt two = Int(2);
  const CZqlDouble dnul;
  const int results[] = {inul == two, inul != two, two != inul, inul < two, inul >= two,
                         inul == 0,   inul != 0,   dnul <= 0.0, dnul != two, two > dnul};
  for (int r : results) EXPECT_EQ(r, 0);
}

TEST(Comparison, ScaleTolerance) {
  CZqlNumeric a = With(CZqlNumeric(10, 2), 1.0);
  CZqlDecimal b = With(CZqlDecimal(10, 3), 1.004);
  // max scale 3: tolerance 0.0005, so 1.00 and 1.004 differ
  EXPECT_EQ(a == b, 0);
  EXPECT_EQ(a < b, 1);
  // against a host number the scale of a (0.005) applies
  EXPECT_EQ(a == 1.004, 1);
  EXPECT_EQ(a < 1.004, 0);
  EXPECT_EQ(a < 1.006, 1);
  // SMALLINT has scale 0: tolerance 0.5
  CZqlSmallInt s = Small(3);
  EXPECT_EQ(s == 3.4, 1);
  EXPECT_EQ(s < 3.6, 1);
  // exact against approximate: plain comparison
  CZqlDouble d = With(CZqlDouble(), 3.4);
  EXPECT_EQ(s == d, 0);
  EXPECT_EQ(s < d, 1);
}

TEST(Conversions, IntoHostIntegers) {
  short sh = 0;
  long l = 0;
  for (long v : {32768L, -32768L}) {
    EXPECT_EQ(Raised([&] { Int(v).getValue(&sh); }), kRange) << v;
  }
  EXPECT_EQ(Int(32767).getValue(&sh), 1);
  EXPECT_EQ(sh, 32767);
  CZqlDouble d = With(CZqlDouble(), 2147483648.0);
  EXPECT_EQ(Raised([&] { d.getValue(&l); }), kRange);
  EXPECT_EQ(Raised([&] { d.intValue(); }), kRange);
  d = __builtin_nan("");
  EXPECT_EQ(Raised([&] { d.getValue(&sh); }), kRange);
  CZqlDecimal big = With(CZqlDecimal(20), 3e9);
  EXPECT_EQ(Raised([&] { big.getValue(&l); }), kRange);
  EXPECT_EQ(CZqlInt().getValue(&l), 0);  // null: 0, no raise
}

TEST(Conversions, FromOtherValuesAndTextOut) {
  CZqlSmallInt s;
  EXPECT_EQ(Raised([&] { s = Int(40000); }), kRange);
  CZqlDouble d = With(CZqlDouble(), 3.99);
  s = d;
  EXPECT_EQ(s.intValue(), 3);
  CZqlNumeric n(6, 1);
  n = CZqlInt();
  EXPECT_TRUE(n.isNull());
  CZqlImplDef other;
  const unsigned char raw[1] = {1};
  other.setBytes(raw, 1);
  EXPECT_EQ(Raised([&] { n.storeValue(other); }),
            kZqlErrExpressionCannotBeCastToTheSpecifiedType);
  // Through the base text exchange
  CZqlNumeric target(8, 3);
  d = 2.5;
  EXPECT_EQ(d.getValue(target), 1);
  EXPECT_EQ(target.realValue(), 2.5);
  EXPECT_EQ(CZqlDouble().getValue(target), 0);
  EXPECT_TRUE(target.isNull());
  // Text out.
  EXPECT_EQ(Text(Int(INT32_MIN)), "-2147483648");
  char buf[4] = "xx";
  EXPECT_EQ(CZqlInt().getValue(buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");
}

}  // namespace
