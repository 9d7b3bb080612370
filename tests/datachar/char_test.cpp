// Character strings: attributes, store rules (warnings versus exceptions),
// padded comparisons and the collation table, and the string operators.

#include <algorithm>
#include <climits>
#include <memory>
#include <random>

#include "common.h"
#include "ucdefs.h"

namespace {

// Lengths held to their limits, text lengths, type texts and literals of
// character and bit strings.
TEST(CharAttributes, LengthsTypesAndLiterals) {
  CZqlChar national(10);
  national.setNational();
  national.setVarying();
  national.storeValue("ab", 3);
  const struct {
    const CZqlData& value;
    unsigned int length, returned;
    const char* type;
    const char* literal;
  } cases[] = {
      {CZqlChar(300), 256, 256, "CHARACTER(256)", "null"},
      {CZqlChar(0), 1, 1, "CHARACTER", "null"},
      {Chr(5, "it's"), 5, 5, "CHARACTER(5)", "'it''s'"},
      {national, 10, 2, "NATIONAL CHARACTER VARYING(10)", "'ab'"},
      {Var(6, "ab  "), 6, 4, "CHARACTER VARYING(6)", "'ab  '"},
      {CZqlBinary(5000), 2048, 2048, "BIT(2048)", "null"},
      {CZqlBinary(0), 1, 1, "BIT", "null"},
      {Bits(16, nullptr), 16, 0, "BIT VARYING(16)", "null"},
      {Bits(16, "00011111"), 16, 8, "BIT VARYING(16)", "X'1F'"},
      {Bits(8, "101"), 8, 3, "BIT VARYING(8)", "B'101'"},
      {Bits(8, ""), 8, 0, "BIT VARYING(8)", "X''"},
      {Bits(8, "1", false), 8, 8, "BIT(8)", "B'1'"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value.Length(), c.length) << c.type;
    EXPECT_EQ(c.value.ReturnLength(), c.returned) << c.type;
    EXPECT_EQ(TypeText(c.value), c.type);
    EXPECT_EQ(Literal(c.value), c.literal) << c.type;
  }
  EXPECT_EQ(national.Type(), kZqlTypeVarchar);
  // The default set is not named; "ascii" is the default here.
  CZqlChar a(2);
  ASSERT_EQ(a.setCharSet(CZqlUcStr("ASCII")), 1);
  EXPECT_EQ(a.Coercibility(), kZqlImplicit);
  EXPECT_EQ(TypeText(a), "CHARACTER(2)");
  // An undefined set keeps the old one.
  CZqlChar c(3);
  EXPECT_NE(Raised([&] { c.setCharSet(CZqlUcStr("no-such-set")); }), 0);
  EXPECT_EQ(c.CharSetIdent(), 0u);
  EXPECT_EQ(c.Coercibility(), kZqlCoercible);
}

TEST(CharStore, PaddingTrailingBlanksAndTextEnds) {
  CDiagScope diag;
  CZqlChar c = Chr(5, "ab");
  EXPECT_EQ(Str(c.charValue()), "ab");
  char buf[10];
  ASSERT_EQ(c.getValue(buf, sizeof buf), 1);
  EXPECT_STREQ(buf, "ab   ");  // a fixed value is padded to its length
  CZqlChar v = Var(5, "ab  ");
  EXPECT_EQ(v.ReturnLength(), 4u);  // a varying one keeps its blanks
  EXPECT_EQ(Value(v), "ab  ");
  v.storeValue("abcdef", 2u);  // the text ends at its buffer size
  EXPECT_EQ(Value(v), "ab");
  unsigned int used = 0;
  v.storeValue("xyz", 10u, &used);
  EXPECT_EQ(used, 3u);
  v.storeValue(CZqlUcStr("a\t\n"));  // only blanks are dropped at the end
  EXPECT_EQ(Value(v), "a\t\n");
  // 16-bit text goes into the value's own text, never into a copy's.
  const CZqlChar copy = v;
  const unsigned short xyz[] = {'x', 'y', 'z', 0}, b[] = {'b', ' ', 0};
  v.storeValue(xyz);
  v.storeValue(b);
  EXPECT_EQ(Value(v), "b ");
  EXPECT_EQ(Value(copy), "a\t\n");
  EXPECT_TRUE(diag.None());
}

// Cut text is a warning pushed onto the current area; a number or a value
// too long for the target is an exception, and the old value stays.
TEST(CharStore, TruncationWarningsAgainstErrors) {
  CDiagScope diag;
  CZqlChar c(3);
  EXPECT_EQ(Raised([&] { EXPECT_EQ(c.storeValue("abcdef", 100u), 1); }), 0);
  EXPECT_EQ(Value(c), "abc");
  EXPECT_EQ(diag.Codes(), std::vector<int>{kZqlErrStringDataRightTruncation0104});
  // Cutting blanks is reported the same way; the value keeps what fits.
  CZqlChar v = Var(3, nullptr);
  EXPECT_EQ(Raised([&] { v.storeValue(CZqlUcStr("ab    ")); }), 0);
  EXPECT_EQ(Value(v), "ab ");
  EXPECT_EQ(Raised([&] { v.storeValue(static_cast<const CZqlData&>(Var(10, "abcdef"))); }), 0);
  EXPECT_EQ(Value(v), "abc");
  char buf[3];
  unsigned int used = 0;
  ASSERT_EQ(Chr(5, "abcde").getValue(buf, sizeof buf, &used), 1);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(used, 2u);
  EXPECT_EQ(diag.Codes().size(), 4u);
  diag.Flush();
  c = Chr(3, "old");
  EXPECT_EQ(Raised([&] { c.storeValue(12345L); }), kZqlErrStringDataRightTruncation2201);
  CZqlInt i = With(CZqlInt(), 12345L);
  EXPECT_EQ(Raised([&] { c.storeValue(static_cast<const CZqlData&>(i)); }),
            kZqlErrStringDataRightTruncation2201);
  EXPECT_EQ(Value(c), "old");
  EXPECT_EQ(diag.Codes(), (std::vector<int>{kZqlErrStringDataRightTruncation2201,
                                            kZqlErrStringDataRightTruncation2201}));
  EXPECT_EQ(c.storeValue(static_cast<short>(-12)), 1);  // what fits is stored
  EXPECT_EQ(Value(c), "-12");
}

TEST(CharStore, OtherValuesConvertThroughText) {
  CZqlNumeric n = With(CZqlNumeric(8, 2), 12.5);
  CZqlChar c = Var(20, nullptr);
  ASSERT_EQ(c.storeValue(static_cast<const CZqlData&>(n)), 1);
  EXPECT_EQ(Value(c), "12.5");
  c.storeValue(1.5);
  EXPECT_EQ(Value(c), "1.500000E+00");
  ASSERT_EQ(c.storeValue(static_cast<const CZqlData&>(Chr(4, "ab"))), 1);
  EXPECT_EQ(Value(c), "ab  ");  // the logical value of the source
  c.storeValue(static_cast<const CZqlData&>(CZqlChar(3)));
  EXPECT_TRUE(c.isNull());
  CZqlDouble d;
  ASSERT_EQ(d.storeValue(static_cast<const CZqlData&>(Chr(8, " -3.25"))), 1);
  EXPECT_EQ(d.realValue(), -3.25);
  CZqlInt i;
  EXPECT_EQ(Raised([&] { i.storeValue(static_cast<const CZqlData&>(Chr(3, "abc"))); }),
            kZqlErrInvalidCharacterValueForCast);
  CZqlImplDef impl;
  impl.setType(3);
  impl.setBytes("ab", 2);
  EXPECT_EQ(Raised([&] { c.storeValue(static_cast<const CZqlData&>(impl)); }),
            kZqlErrExpressionCannotBeCastToTheSpecifiedType);
  char buf[4] = "x";
  EXPECT_EQ(CZqlChar(2).getValue(buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");
}

TEST(CharGet, Numbers) {
  long l = 0;
  EXPECT_EQ(Chr(12, " 12abc").getValue(&l), 1);  // the leading number
  EXPECT_EQ(l, 12);
  EXPECT_EQ(Chr(3, "abc").getValue(&l), 0);
  double d = 0;
  EXPECT_EQ(Chr(6, "2.5E1").getValue(&d), 1);
  EXPECT_EQ(d, 25.0);
  short s = 0;
  EXPECT_EQ(Raised([&] { Chr(12, "99999999999").getValue(&l); }), kZqlErrNumericValueOutOfRange);
  EXPECT_EQ(Raised([&] { Chr(5, "40000").getValue(&s); }), kZqlErrNumericValueOutOfRange);
  EXPECT_EQ(Chr(6, "-32768").getValue(&s), 1);
}

TEST(CharGet, RawUnitsIncludePaddingAndTerminator) {
  CZqlChar c = Chr(3, "ab");
  EXPECT_EQ(c.size(), 6);
  const unsigned short expect[] = {'a', 'b', ' ', 0};
  char raw[16];
  ASSERT_EQ(c.read(raw, 0, sizeof raw), 8);
  EXPECT_EQ(std::memcmp(raw, expect, 8), 0);
  EXPECT_EQ(c.read(raw, 8, 4), 0);
  EXPECT_EQ(CZqlChar(3).read(raw, 0, 4), 0);
}

// ---------------------------------------------------------------------------
// Comparisons and collations
// ---------------------------------------------------------------------------

TEST(CharCompare, PaddedForTwoValuesUnpaddedAgainstAString) {
  const int truths[] = {
      Chr(5, "ab") == Var(10, "ab  "), Var(2, "ab") == Var(10, "ab    "),
      Var(5, "ab") < Var(5, "abc"),
      Var(5, "ab") > Var(5, "ab\t"),  // the shorter goes on as blanks; a tab sorts below
      Var(5, "b") >= Var(5, "abc"),    Chr(5, "ab") == CZqlUcStr("ab"),
      Chr(5, "ab") < CZqlUcStr("ab "), CZqlUcStr("ab") == Chr(5, "ab"),
      CZqlUcStr("aa") < Chr(5, "ab"),  CZqlUcStr("b") > Chr(5, "ab"),
  };
  for (size_t k = 0; k < sizeof truths / sizeof truths[0]; ++k) EXPECT_EQ(truths[k], 1) << k;
  // Nothing is true of a null.
  const CZqlChar n(3);
  const CZqlChar a = Chr(3, "a");
  const int falsehoods[] = {Var(5, "b") != Var(5, "b"), Chr(5, "ab") == CZqlUcStr("ab "),
                            CZqlUcStr("b") <= Chr(5, "ab"), n == n, n != a, a != n, a < n,
                            n >= a, n == CZqlUcStr(""), CZqlUcStr("") != n};
  for (size_t k = 0; k < sizeof falsehoods / sizeof falsehoods[0]; ++k) {
    EXPECT_EQ(falsehoods[k], 0) << k;
  }
}

// A value with a named collation and coercibility, as it arrives from a
// driver (the name need not be loadable here).
CZqlChar WithCollation(const char* text, const char* collation, int32_t coerc) {
  const CZqlUcStr value(text);
  const CZqlUcStr name(collation);
  CZqlChar c;
  c.setVarying();
  UnpackInto(&c, Pack([&](CZqlObjPack* p) {
               p->add(0, value);
               p->add(2, int32_t{10});
               p->add(3, coerc);
               p->add(4, static_cast<int32_t>(value.Length()));
               if (*collation != '\0') p->add(6, name);
               p->add(kZqlPackEnd, int32_t{1});
             }));
  return c;
}

// A value that arrives in another character set takes that set's
// identifier; the name is looked up again only when it changes.
TEST(CharCollation, UnpackedCharacterSetNamesAreLookedUp) {
  SZqlUcTable set{};
  set.kind = kZqlUcKindDirect;
  set.name = "unpack-test";
  TEST_ZqlUcRegisterCCT(&set);
  const auto in = [](const char* name) {
    return Pack([&](CZqlObjPack* p) {
      p->add(0, CZqlUcStr("a"));
      p->add(2, int32_t{10});
      p->add(3, int32_t{1});
      p->add(5, CZqlUcStr(name));
      p->add(kZqlPackEnd, int32_t{1});
    });
  };
  CZqlChar c;
  c.setVarying();
  const unsigned long id = reinterpret_cast<unsigned long>(&set);
  for (const char* name : {"unpack-test", "unpack-test", "ascii", "UNPACK-TEST"}) {
    UnpackInto(&c, in(name));
    EXPECT_EQ(c.CharSetIdent(), std::string(name) == "ascii" ? 0 : id) << name;
  }
  TEST_ZqlUcUnregisterCCT(&set);
}

TEST(CharCollation, ComparisonTable) {
  // Rows: this coercibility; columns: the other's. 'T' this, 'O' other,
  // 'E' error, '=' this when both collations are the same, else error.
  const char* table[4] = {"OOEO", "T=EO", "EEEO", "TTT="};
  for (int32_t a = 0; a < 4; ++a) {
    for (int32_t b = 0; b < 4; ++b) {
      for (bool same : {true, false}) {
        const CZqlChar x = WithCollation("a", "alpha", a);
        const CZqlChar y = WithCollation("a", same ? "alpha" : "beta", b);
        const char cell = table[a][b];
        const bool error = cell == 'E' || (cell == '=' && !same);
        int ok = 0;
        const int code = Raised([&] { ok = x.isCompColSet(y); });
        SCOPED_TRACE(testing::Message() << a << "/" << b << " same " << same);
        EXPECT_EQ(code, error ? kZqlErrNotPermittedCollatingSequence : 0);
        EXPECT_EQ(ok, error ? 0 : 1);
        EXPECT_EQ(x.is_comparable(&y), error ? 0 : 1);
        // Comparing under a conflict raises too.
        EXPECT_EQ(Raised([&] { (void)(x == y); }), code);
      }
    }
  }
}

TEST(CharCollation, DyadicOperatorsReportCoercibility) {
  const CZqlChar coercible = WithCollation("a", "", kZqlCoercible);
  const CZqlChar implicitA = WithCollation("a", "alpha", kZqlImplicit);
  const CZqlChar implicitB = WithCollation("a", "beta", kZqlImplicit);
  const CZqlChar none = WithCollation("a", "", kZqlNoCollating);
  const CZqlChar explicitA = WithCollation("a", "alpha", kZqlExplicit);
  const CZqlChar explicitB = WithCollation("a", "beta", kZqlExplicit);
  EZqlCAttr c = kZqlCoercible;
  coercible.DyadicOpColSet(implicitA, &c);
  EXPECT_EQ(c, kZqlImplicit);
  coercible.DyadicOpColSet(coercible, &c);
  EXPECT_EQ(c, kZqlCoercible);
  EXPECT_EQ(implicitA.DyadicOpColSet(implicitB, &c), 0u);
  EXPECT_EQ(c, kZqlNoCollating);
  implicitA.DyadicOpColSet(none, &c);
  EXPECT_EQ(c, kZqlNoCollating);
  none.DyadicOpColSet(explicitB, &c);
  EXPECT_EQ(c, kZqlExplicit);
  explicitA.DyadicOpColSet(implicitB, &c);
  EXPECT_EQ(c, kZqlExplicit);
  EXPECT_EQ(implicitA.isDyadicOpColSet(implicitB), 1);
  EXPECT_EQ(Raised([&] { explicitA.isDyadicOpColSet(explicitB); }),
            kZqlErrNotPermittedCollatingSequence);
  EXPECT_EQ(explicitA.is_storable(&explicitB), 0);
  EXPECT_EQ(implicitA.is_storable(&implicitB), 1);
  // Concatenation and storing take the dyadic result.
  const CZqlChar joined = implicitA + implicitB;
  EXPECT_EQ(joined.Coercibility(), kZqlNoCollating);
  EXPECT_EQ(Raised([&] { (void)(explicitA + explicitB); }), kZqlErrNotPermittedCollatingSequence);
  CZqlChar target = WithCollation("x", "", kZqlCoercible);
  target.storeValue(static_cast<const CZqlData&>(explicitA));
  EXPECT_EQ(target.Coercibility(), kZqlExplicit);
  EXPECT_EQ(Str(target.CollName()), "alpha");
}

// Character and bit strings: the compatibility rules, and the result type
// of a concatenation ("none": refused).
TEST(CharCompatibility, RulesAndResultTypes) {
  const CZqlChar fixed(200), c(3);
  const CZqlChar varying = Var(100, nullptr);
  const CZqlBinary b(8), v = Bits(16, nullptr);
  const CZqlInt i;
  const int allowed[] = {fixed.is_castable(&i), b.is_comparable(&v), b.is_storable(&v),
                         b.is_castable(&c), c.is_castable(&b)};
  for (size_t k = 0; k < sizeof allowed / sizeof allowed[0]; ++k) EXPECT_EQ(allowed[k], 1) << k;
  const int refused[] = {fixed.is_comparable(&i), fixed.is_storable(&i), fixed.is_castable(nullptr),
                         b.is_comparable(&c),     b.is_castable(&i),     b.is_castable(nullptr),
                         c.is_storable(&b)};
  for (size_t k = 0; k < sizeof refused / sizeof refused[0]; ++k) EXPECT_EQ(refused[k], 0) << k;
  const struct {
    const CZqlData& a;
    const CZqlData* b;
    const char* type;
  } cats[] = {{fixed, &varying, "CHARACTER VARYING(256)"}, {b, &v, "BIT VARYING(24)"},
              {fixed, &i, "none"}, {b, &c, "none"}, {c, &b, "none"}};
  for (const auto& k : cats) {
    std::unique_ptr<CZqlData> cat(k.a.checkCat(k.b));
    EXPECT_EQ(cat ? TypeText(*cat) : "none", k.type);
    if (cat) {
      EXPECT_TRUE(cat->isNull()) << k.type;
    }
  }
  EXPECT_EQ(fixed.checkAdd(&varying), nullptr);
}

// ---------------------------------------------------------------------------
// Concatenation
// ---------------------------------------------------------------------------

TEST(CharConcat, PaddingLimitsAndNull) {
  CDiagScope diag;
  const CZqlChar r = Chr(3, "ab") + Var(5, "cd ");
  EXPECT_EQ(Value(r), "ab cd ");  // the left operand keeps its padding
  EXPECT_EQ(r.Type(), kZqlTypeVarchar);
  const CZqlChar f = Chr(2, "a") + Chr(3, "b");
  EXPECT_EQ(f.Type(), kZqlTypeChar);
  EXPECT_EQ(Value(f), "a b  ");
  EXPECT_EQ(Value(Var(4, "ab") + CZqlUcStr("cd")), "abcd");
  EXPECT_TRUE(diag.None());
  // An overlong result is cut with a warning.
  const CZqlChar big = Chr(200, "x") + Chr(100, "y");
  EXPECT_EQ(big.Length(), 256u);
  EXPECT_EQ(big.ReturnLength(), 256u);
  const CZqlChar s = Chr(250, "x") + CZqlUcStr(std::string(300, 'z').c_str());
  EXPECT_EQ(s.ReturnLength(), 256u);
  EXPECT_EQ(diag.Codes().size(), 2u);
  const CZqlChar n = Chr(3, "ab") + CZqlChar(4);
  EXPECT_TRUE(n.isNull());
  EXPECT_EQ(n.Length(), 7u);
  EXPECT_TRUE((CZqlChar(2) + CZqlUcStr("x")).isNull());
}

// ---------------------------------------------------------------------------
// SUBSTRING, UPPER, LOWER, TRIM, POSITION
// ---------------------------------------------------------------------------

TEST(CharSubstring, EdgeCases) {
  const CZqlChar v = Var(10, "abcdef");
  EXPECT_EQ(Value(v.Substring(2, 3)), "bcd");
  EXPECT_EQ(Value(v.Substring(5)), "ef");
  EXPECT_EQ(Value(v.Substring(1)), "abcdef");
  EXPECT_EQ(Value(v.Substring(0, 3)), "ab");  // position 0 lies before the text
  EXPECT_EQ(Value(v.Substring(7)), "");
  EXPECT_EQ(v.Substring(7).ReturnLength(), 0u);
  EXPECT_FALSE(v.Substring(7).isNull());
  EXPECT_EQ(Value(v.Substring(3, 0)), "");
  EXPECT_EQ(Value(v.Substring(4, UINT_MAX)), "def");
  EXPECT_EQ(Value(v.Substring(UINT_MAX, UINT_MAX)), "");
  const CZqlChar sub = v.Substring(2, 2);
  EXPECT_EQ(sub.Type(), kZqlTypeVarchar);
  EXPECT_EQ(sub.Length(), 10u);
  // A fixed value's padding belongs to it.
  EXPECT_EQ(Value(Chr(5, "ab").Substring(2, 3)), "b  ");
  EXPECT_EQ(Value(Chr(5, "ab").Substring(4)), "  ");
  EXPECT_TRUE(CZqlChar(3).Substring(1).isNull());
}

TEST(CharCase, UpperAndLower) {
  EXPECT_EQ(Value(Var(5, "aBc1").Upper()), "ABC1");
  EXPECT_EQ(Value(Chr(5, "aBc").Lower()), "abc  ");
  EXPECT_TRUE(CZqlChar(2).Upper().isNull());
}

TEST(CharTrim, Specifications) {
  const CZqlChar x = Chr(1, "x");
  const CZqlChar v = Chr(6, "xxabx");  // padded: "xxabx "
  EXPECT_EQ(Value(v.Trim(kZqlTrimLeading, x)), "abx ");
  EXPECT_EQ(Value(v.Trim(kZqlTrimTrailing, x)), "xxabx ");
  EXPECT_EQ(Value(Var(6, "xxabxx").Trim(kZqlTrimBoth, x)), "ab");
  EXPECT_EQ(Value(Var(6, " ab  ").Trim(kZqlTrimBoth, Chr(1, " "))), "ab");
  const CZqlChar all = Var(4, "xxx").Trim(kZqlTrimBoth, x);
  EXPECT_EQ(Value(all), "");
  EXPECT_EQ(all.ReturnLength(), 0u);
  EXPECT_EQ(all.Type(), kZqlTypeVarchar);
  EXPECT_TRUE(v.Trim(kZqlTrimBoth, CZqlChar(1)).isNull());
  EXPECT_TRUE(CZqlChar(3).Trim(kZqlTrimBoth, x).isNull());
  EXPECT_EQ(Raised([&] { v.Trim(kZqlTrimBoth, Var(5, "")); }), kZqlErrTrimError);
}

TEST(CharPosition, FoundMissingEmptyNull) {
  const CZqlChar v = Chr(6, "abcde");
  EXPECT_EQ(v.Position(Var(3, "cd")).intValue(), 3);
  EXPECT_EQ(v.Position(Var(3, "zz")).intValue(), 0);
  EXPECT_EQ(v.Position(Var(3, "")).intValue(), 1);
  EXPECT_EQ(v.Position(Chr(4, "b")).intValue(), 2);  // without its padding
  EXPECT_EQ(v.Position(Var(3, "e ")).intValue(), 5);  // the search without its blank
  EXPECT_EQ(v.Position(Var(3, "")).Precision(), 4u);
  EXPECT_TRUE(v.Position(CZqlChar(2)).isNull());
  EXPECT_TRUE(CZqlChar(2).Position(v).isNull());
}

// ---------------------------------------------------------------------------
// LIKE
// ---------------------------------------------------------------------------

struct LikeCase {
  const char* value;
  const char* pattern;
  int expect;
  const char* escape = nullptr;
};

// Wildcards and backtracking: CharLike.AgreesWithTheDefinition.
TEST(CharLike, Escapes) {
  const LikeCase cases[] = {
      {"a%b", "a!%b", 1, "!"},    {"axb", "a!%b", 0, "!"},   {"a_b", "a!_b", 1, "!"},
      {"axb", "a!_b", 0, "!"},    {"a!b", "a!!b", 1, "!"},   {"50% off", "%!%%", 1, "!"},
      {"a!xb", "a!%b", 1},  // without escape: a wildcard and a plain unit
  };
  for (const LikeCase& c : cases) {
    const CZqlChar v = Var(20, c.value), p = Var(20, c.pattern);
    EXPECT_EQ(c.escape ? v.Like(p, Chr(1, c.escape)) : v.Like(p), c.expect)
        << c.value << " LIKE " << c.pattern << " ESCAPE " << (c.escape ? c.escape : "-");
  }
  const CZqlChar bang = Chr(1, "!");
  EXPECT_EQ(Raised([&] { Var(5, "ab").Like(Var(5, "a!b"), bang); }), kZqlErrInvalidEscapeSequence);
  EXPECT_EQ(Raised([&] { Var(5, "a").Like(Var(5, "a!"), bang); }), kZqlErrInvalidEscapeSequence);
  EXPECT_EQ(Raised([&] { Var(5, "a").Like(Var(5, "a"), Var(2, "!!")); }),
            kZqlErrInvalidEscapeCharacter);
  EXPECT_EQ(Raised([&] { Var(5, "a").Like(Var(5, "a"), Chr(2, "!")); }),
            kZqlErrInvalidEscapeCharacter);
}

TEST(CharLike, PaddedFormsAndNulls) {
  EXPECT_EQ(Chr(5, "abc").Like(Var(5, "abc")), 0);  // "abc  "
  EXPECT_EQ(Chr(5, "abc").Like(Var(5, "abc%")), 1);
  EXPECT_EQ(Var(5, "abc").Like(Chr(5, "abc")), 0);  // pattern "abc  "
  // Both padded: "ab   " LIKE "a%   ", but "abc  " ends in two blanks only.
  EXPECT_EQ(Chr(5, "ab").Like(Chr(5, "a%")), 1);
  EXPECT_EQ(Chr(5, "abc").Like(Chr(5, "a%")), 0);
  EXPECT_EQ(CZqlChar(3).Like(Var(3, "%")), -1);
  EXPECT_EQ(Var(3, "a").Like(CZqlChar(3)), -1);
  EXPECT_EQ(Var(3, "a").Like(Var(3, "%"), CZqlChar(1)), -1);
}

TEST(CharLike, ManyPercentsStayCheap) {
  const std::string as(255, 'a');
  std::string pattern;
  for (int i = 0; i < 40; ++i) pattern += "%a";
  pattern += "%b";
  EXPECT_EQ(Var(256, as.c_str()).Like(Var(256, pattern.c_str())), 0);
  EXPECT_EQ(Var(256, (as + "b").c_str()).Like(Var(256, pattern.c_str())), 1);
}

// The plain recursive definition: exponential, but the texts here are short.
bool ReferenceLike(const char* s, const char* p) {
  if (*p == '\0') return *s == '\0';
  if (*p == '%') return ReferenceLike(s, p + 1) || (*s != '\0' && ReferenceLike(s + 1, p));
  if (*s == '\0') return false;
  return (*p == '_' || *p == *s) && ReferenceLike(s + 1, p + 1);
}

// The matcher against the definition on random texts and patterns.
TEST(CharLike, AgreesWithTheDefinition) {
  std::mt19937 rnd(301);
  for (int round = 0; round < 5000; ++round) {
    std::string value, pattern;
    const int n = static_cast<int>(rnd() % 10);
    for (int i = 0; i < n; ++i) value += "ab"[rnd() % 2];
    const int m = static_cast<int>(rnd() % 8);
    for (int i = 0; i < m; ++i) pattern += "ab%_"[rnd() % 4];
    const int expect = ReferenceLike(value.c_str(), pattern.c_str()) ? 1 : 0;
    EXPECT_EQ(Var(10, value.c_str()).Like(Var(10, pattern.c_str())), expect)
        << value << " LIKE " << pattern;
  }
}

// ---------------------------------------------------------------------------
// Packed form
// ---------------------------------------------------------------------------

std::vector<int> PackedLabels(const CZqlData& v) {
  Buffer buf = Pack([&](CZqlObjPack* p) { v.packTo(p); });
  CZqlObjPack pack(buf.data(), static_cast<uint32_t>(buf.size()));
  std::vector<int> labels;
  for (int l = pack.getNext(); l != kZqlPackEnd; l = pack.getNext()) labels.push_back(l);
  return labels;
}

TEST(CharPack, DefaultsAreLeftOutDamagedAttributesAreHeldToTheirLimits) {
  EXPECT_EQ(PackedLabels(Chr(1, "x")), (std::vector<int>{0, 3}));
  EXPECT_EQ(PackedLabels(CZqlChar()), (std::vector<int>{3}));
  EXPECT_EQ(PackedLabels(Var(9, "ab")), (std::vector<int>{0, 1, 2, 3, 4}));
  const CZqlUcStr text(std::string(300, 'q').c_str());
  CZqlChar c;
  EXPECT_EQ(UnpackInto(&c, Pack([&](CZqlObjPack* p) {
              p->add(0, text);
              p->add(1, int16_t{0x7F});
              p->add(2, int32_t{1000});
              p->add(3, int32_t{9});
              p->add(4, int32_t{-5});
              p->add(5, CZqlUcStr("no-such-set"));
              p->add(kZqlPackEnd, int32_t{1});
            })),
            0);
  EXPECT_EQ(c.Length(), 256u);
  EXPECT_EQ(c.ReturnLength(), 256u);
  EXPECT_EQ(c.charValue().Length(), 256);
  EXPECT_EQ(c.Coercibility(), kZqlCoercible);
  EXPECT_EQ(c.is_varying() + c.is_national(), 2);
  EXPECT_EQ(c.CharSetIdent(), 0u);  // the unknown name kept the identifier
  EXPECT_EQ(Str(c.CharSetName()), "no-such-set");
}

// A set name is the default's in any case, and only when whole: the packed
// form then leaves it out.
TEST(CharPack, TheDefaultSetsNameInAnyCaseIsLeftOut) {
  const struct {
    const char* name;
    bool packed;
  } cases[] = {{"ascii", false}, {"ASCII", false}, {"aScIi", false}, {"asci", true},
               {"asciix", true}, {"ascii ", true}};
  for (const auto& k : cases) {
    CZqlChar c;
    ASSERT_EQ(UnpackInto(&c, Pack([&](CZqlObjPack* p) {
                p->add(3, int32_t{1});
                p->add(5, CZqlUcStr(k.name));
                p->add(kZqlPackEnd, int32_t{1});
              })),
              0);
    const std::vector<int> labels = PackedLabels(c);
    EXPECT_EQ(std::count(labels.begin(), labels.end(), 5) == 1, k.packed) << k.name;
  }
}

}  // namespace
