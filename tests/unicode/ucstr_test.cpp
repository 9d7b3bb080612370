// CZqlUcStr: sharing, growth, changes, search, comparison and conversions.

#include <clocale>
#include <functional>
#include <iterator>

#include "uctest.h"
#include "zqlsys.h"

namespace {

std::string Text(const CZqlUcStr& s) {
  char buf[256];
  s.getToChar(buf, sizeof buf);
  return buf;
}

TEST(UcStrEmpty, EmptyResultsKeepNoBody) {
  const CZqlUcStr empty;
  const auto none = W("");
  CZqlUcStr s;
  const std::function<void()> copies[] = {
      [&] { s.Copy(""); }, [&] { s.Copy(none.data()); }, [&] { s.Copy(empty); },
      [&] { s.Copy("abc", 0); },
      [&] { s.Copy("\\U+E800"); }};  // an escape that stands for nothing
  for (std::size_t i = 0; i < std::size(copies); ++i) {
    s = "abc";
    ASSERT_NE(s.TEST_Body(), nullptr);
    copies[i]();
    EXPECT_EQ(s.TEST_Body(), nullptr) << i;
  }
  EXPECT_EQ(s.Length(), 0);
  EXPECT_EQ(s.Size(), 0);
  ASSERT_NE(s.UcStr(), nullptr);
  EXPECT_EQ(s.UcStr()[0], 0);
  s.Append("");
  s.Append(static_cast<unsigned short>(0));
  EXPECT_EQ(s.TEST_Body(), nullptr);
}

TEST(UcStrSharing, CopyOnWrite) {
  CZqlUcStr a("abc");
  CZqlUcStr b;
  b = a;
  ASSERT_EQ(a.TEST_Body(), b.TEST_Body());
  EXPECT_EQ(a.TEST_Body()->refs, 2u);
  b.Append('d');
  EXPECT_EQ(Text(a), "abc");
  EXPECT_EQ(Text(b), "abcd");
  EXPECT_NE(a.TEST_Body(), b.TEST_Body());
  EXPECT_EQ(a.TEST_Body()->refs, 1u);
  EXPECT_EQ(b.TEST_Body()->refs, 1u);

  CZqlUcStr c(a);
  c.Update(0, static_cast<unsigned short>('X'));
  c.toUpper();
  EXPECT_EQ(Text(a), "abc");
  EXPECT_EQ(Text(c), "XBC");

  CZqlUcStr d(&a);
  d.Copy("new text");  // a shared body is left, not overwritten
  EXPECT_EQ(Text(a), "abc");
  EXPECT_EQ(a.TEST_Body()->refs, 1u);
  const CZqlUcStr* none = nullptr;
  d.Copy(none);
  EXPECT_EQ(Text(d), "new text");

  // Overwrite writes only into a body of its own that is large enough.
  CZqlUcStr e(a);
  EXPECT_FALSE(e.Overwrite(W("xyz").data(), 3));
  EXPECT_EQ(Text(a), "abc");
  e.Append('!');
  const unsigned short* own = e.TEST_Body()->text;
  EXPECT_TRUE(e.Overwrite(W("xy").data(), -1));
  EXPECT_EQ(Text(e), "xy");
  EXPECT_EQ(e.TEST_Body()->text, own);
  EXPECT_FALSE(e.Overwrite(W("12345678").data(), 8));
  EXPECT_FALSE(e.Overwrite(W("").data(), -1));
  EXPECT_EQ(Text(e), "xy");
}

TEST(UcStrSharing, SelfReferencesAreSafe) {
  CZqlUcStr s("abcdef");
  s = s;
  s.Append(s);
  EXPECT_EQ(Text(s), "abcdefabcdef");
  s.Append(s.UcStr() + 2, 3);  // text inside the string's own array
  EXPECT_EQ(Text(s), "abcdefabcdefcde");
  s.Copy(s.UcStr() + 12);
  EXPECT_EQ(Text(s), "cde");
  s.Copy(s, 2);
  EXPECT_EQ(Text(s), "cd");
}

TEST(UcStrGrowth, ArraysGrowInStepsOfEight) {
  CZqlUcStr s("1234567");  // 7 units + terminator: an array of 8
  const unsigned short* first = s.TEST_Body()->text;
  s.Append('8');  // 9 units needed: a new array of 16
  const unsigned short* second = s.TEST_Body()->text;
  EXPECT_NE(second, first);
  for (char c = 'a'; c < 'h'; ++c) s.Append(c);  // up to 15 units: in place
  EXPECT_EQ(s.TEST_Body()->text, second);
  EXPECT_EQ(s.Length(), 15);
  s.Append('h');
  EXPECT_NE(s.TEST_Body()->text, second);
  EXPECT_EQ(Text(s), "12345678abcdefgh");
}

TEST(UcStrErrors, FailuresRaiseIntoTheFrame) {
  CZqlUcStr s("abc");
  EXPECT_EQ(s[3], 0);
  EXPECT_EQ(Raised([&] { (void)s[4]; }), kZqlErrIndexInOutOfRange);
  EXPECT_EQ(Raised([&] { (void)s[-1]; }), kZqlErrIndexInOutOfRange);
  const CZqlUcStr empty;
  EXPECT_EQ(Raised([&] { EXPECT_EQ(empty[7], 0); }), 0);

  CZqlUcStr e;
  EXPECT_EQ(Raised([&] { e.Update(0, static_cast<unsigned short>('x')); }),
            kZqlErrInvalidCZqlUcStrObject);
  EXPECT_EQ(Raised([&] { s.Update(3, 'x'); }), kZqlErrIndexInOutOfRange);
  EXPECT_EQ(Raised([&] { s.Update(-1, 'x'); }), kZqlErrIndexInOutOfRange);
  const CZqlUcChar* noChar = nullptr;
  EXPECT_EQ(Raised([&] { s.Update(0, noChar); }), kZqlErrInvalidFunctionArguments);
  s.Update(1, 'B');
  EXPECT_EQ(Text(s), "aBc");

  const char* noText = nullptr;
  EXPECT_EQ(Raised([&] { s.Append(noText); }), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(Text(s), "aBc");
  EXPECT_EQ(Raised([&] { s.Append("x", "latin9"); }),
            kZqlErrCharacterSetNameNotDefinedInZQLINIFile);
  EXPECT_EQ(Text(s), "aBc");
  EXPECT_EQ(Raised([&] { s.Copy(noText); }), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(s.TEST_Body(), nullptr);  // Copy leaves the string empty
  s = "abc";
  EXPECT_EQ(Raised([&] { s.Copy("x", "latin9"); }),
            kZqlErrCharacterSetNameNotDefinedInZQLINIFile);
  EXPECT_EQ(s.TEST_Body(), nullptr);
  // Constructors never raise.
  EXPECT_EQ(Raised([&] {
              CZqlUcStr a(noText);
              CZqlUcStr b("x", "no-such-set");
              EXPECT_EQ(a.Length(), 0);
              EXPECT_EQ(b.Length(), 0);
            }),
            0);
}

TEST(UcStrErrors, ExhaustionLeavesAppendUnchangedAndCopyEmpty) {
  ZqlTry([] {});  // the try table exists before allocations start failing
  std::vector<unsigned short> big(40000, 'z');  // beyond a chunk: its own allocation
  big.push_back(0);
  CZqlUcStr s("abc");
  const SZqlUcStrBody* body = s.TEST_Body();
  TEST_ZqlMemoryFailLowAllocAt(1);
  EXPECT_EQ(Raised([&] { s.Append(big.data()); }), kZqlErrInsufficientMemory);
  TEST_ZqlMemoryFailLowAllocAt(0);
  EXPECT_EQ(s.TEST_Body(), body);
  EXPECT_EQ(Text(s), "abc");
  TEST_ZqlMemoryFailLowAllocAt(1);
  EXPECT_EQ(Raised([&] { s.Copy(big.data()); }), kZqlErrInsufficientMemory);
  TEST_ZqlMemoryFailLowAllocAt(0);
  EXPECT_EQ(s.TEST_Body(), nullptr);
}

// Comp on every operand kind; -2 stands for "any value below 0", 2 for above.
TEST(UcStrCompare, EmptyOperandsDifferencesAndCounts) {
  const CZqlUcStr empty, a("a"), s("abc");
  const char* noText = nullptr;
  const auto none = W("");
  const auto abX = W("abX");
  const struct {
    int got, want;
  } rows[] = {{empty.Comp(CZqlUcStr()), 0},     {empty.Comp(noText), 0},
              {empty.Comp(""), -1},             {empty.Comp(none.data()), -1},
              {a.Comp(empty), 1},               {a.Comp(noText), 1},
              {a.Comp("") > 0, 1},              {empty.Comp("a"), -1},
              {s.Comp("abd"), 'c' - 'd'},       {s.Comp("ab"), 'c'},
              {s.Comp("abcd"), -'d'},           {s.Comp("abX", 2), 0},
              {s.Comp(abX.data(), 2), 0},       {s.Comp(CZqlUcStr("abX"), 2), 0},
              {s.Compi("ABC"), 0},              {CZqlUcStr("Hello").Compi(CZqlUcStr("hELLo")), 0},
              {s.Compi("ABD") < 0, 1},          {s.Comp("abc", "ASCII"), 0}};
  for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].got, rows[i].want) << i;
  const CZqlUcStr* noStr = nullptr;
  EXPECT_EQ(Raised([&] { a.Comp(noStr); }), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(Raised([&] { s.Comp("abc", 0); }), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(Raised([&] { s.Compi(W("abc").data(), 0); }), kZqlErrInvalidFunctionArguments);
}

TEST(UcStrCompare, OperatorsMirrorOnTheRight) {
  const CZqlUcStr s("a");
  const CZqlUcStr t("b");
  const auto b16 = W("b");
  EXPECT_TRUE("b" > s);
  EXPECT_FALSE("b" < s);
  EXPECT_TRUE(s < "b");
  EXPECT_TRUE(b16.data() >= s);
  EXPECT_TRUE(s != b16.data());
  EXPECT_TRUE(&t > s);
  EXPECT_TRUE(s <= &t);
  EXPECT_TRUE(s < t && t > s && s != t);
  EXPECT_TRUE(s == "a" && "a" == s && s >= "a" && "a" <= s);
  EXPECT_FALSE(CZqlUcStr() == "");  // an empty string is below an empty text
  EXPECT_TRUE(CZqlUcStr() < "");
}

TEST(UcStrSearch, PatternsAndUnits) {
  const CZqlUcStr s("aaab"), u("abcb"), none;
  const unsigned short nul = 0;
  const struct {
    int got, want;
  } rows[] = {
      {s.FindFirst("aab"), 1},  // the shift never passes a match
      {CZqlUcStr("aaaa").FindLast("aa"), 2},
      {CZqlUcStr("abcabc").FindLast(CZqlUcStr("bc")), 4},
      {CZqlUcStr("abacabad").FindFirst(W("abad").data()), 4},
      {s.FindFirst("x"), -1},
      {s.FindFirst("aaabb"), -1},
      {none.FindFirst(""), 0},
      {CZqlUcStr("abc").FindFirst(""), -1},
      {none.FindFirst("a"), -1},
      // Single units; the terminator is found at the end.
      {u.FindFirst(nul), 4},
      {CZqlUcStr("abc").FindFirst(0), 3},
      {u.FindLast(nul), 4},
      {u.FindFirst('b'), 1},
      {u.FindLast('b'), 3},
      {u.FindFirst(CZqlUcChar('c')), 2},
      {u.FindFirst('z'), -1},
      {none.FindFirst(0), 0},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].got, rows[i].want) << i;
  const char* noText = nullptr;
  EXPECT_EQ(Raised([&] { s.FindFirst(noText); }), kZqlErrInvalidFunctionArguments);
}

TEST(UcStrConvert, EscapesBothWays) {
  CZqlUcStr s("a\\U+00E9b");
  ASSERT_EQ(s.Length(), 3);
  EXPECT_EQ(s[1], 0xE9);
  EXPECT_EQ(Text(s), "a\\U+00E9b");  // 0xE9 is not in ascii
  EXPECT_EQ(s.Chlen(), 9);
  EXPECT_EQ(Raised([&] { s.ChlenChk(); }), kZqlErrCharacterNotInRepertoire);
  char buf[16] = "xxxxxxxx";
  EXPECT_EQ(Raised([&] { s.getToCharChk(buf, sizeof buf); }), kZqlErrCharacterNotInRepertoire);
  EXPECT_STREQ(buf, "a");
  s.Copy("x\\U+E800y\\U+00G1");  // nothing, then a malformed escape as text
  EXPECT_EQ(Text(s), "xy\\U+00G1");
  s.Copy("a\\U+00E9", 5);  // the count cuts the escape: plain bytes
  EXPECT_EQ(Text(s), "a\\U+0");
  s.Copy("\x80");
  EXPECT_EQ(s[0], kZqlUcNoMapping);
}

TEST(UcStrConvert, GetToCharFitsWholeCharactersGetToUcCharTerminatesIfAllFits) {
  char buf[8];
  CZqlUcStr s;
  s.Append(static_cast<unsigned short>(0xE9));
  s.Append("ab");
  EXPECT_STREQ(s.getToChar(buf, 4), "");  // the 7-byte escape does not fit
  EXPECT_STREQ(s.getToChar(buf, 8), "\\U+00E9");
  const CZqlUcStr abc("abc");
  EXPECT_STREQ(abc.getToChar(buf, 3), "ab");  // the last byte terminates
  EXPECT_STREQ(abc.getToChar(buf, 4), "abc");
  EXPECT_STREQ(CZqlUcStr().getToChar(buf, 8), "");
  char* noBuf = nullptr;
  EXPECT_EQ(Raised([&] { abc.getToChar(noBuf, 8); }), kZqlErrInvalidFunctionArguments);
  // 16-bit output is terminated only when all of it fits.
  unsigned short units[6] = {9, 9, 9, 9, 9, 9};
  abc.getToUcChar(units, 2);
  EXPECT_EQ(units[0], 'a');
  EXPECT_EQ(units[1], 'b');
  EXPECT_EQ(units[2], 9);
  abc.getToUcChar(units, 6);
  EXPECT_EQ(units[3], 0);
  CZqlUcStr().getToUcChar(units, 6);
  EXPECT_EQ(units[0], 0);
}

TEST(UcStrNumbers, ConversionsAndEndIndex) {
  // Strtol in base 10 or 16, Strtod (base 0); end is where conversion stopped.
  const struct {
    const char* text;
    int base;
    double value;
    int end;
  } rows[] = {{" 42abc", 10, 42, 3}, {"ff!", 16, 255, 2}, {"x", 10, 0, 0}, {"1.5e3x", 0, 1500, 5}};
  for (const auto& r : rows) {
    int end = -1;
    const CZqlUcStr s(r.text);
    EXPECT_DOUBLE_EQ(r.base ? double(s.Strtol(&end, r.base)) : s.Strtod(&end), r.value) << r.text;
    EXPECT_EQ(end, r.end) << r.text;
  }
  EXPECT_EQ(CZqlUcStr("-17").Atoi(), -17);
  EXPECT_EQ(CZqlUcStr("123456789012").Atol(), 123456789012L);
  EXPECT_DOUBLE_EQ(CZqlUcStr("2.25").Atof(), 2.25);
  // Only the first 63 bytes are seen: the final 7 is cut off.
  std::string digits(63, '0');
  digits += "7";
  EXPECT_EQ(CZqlUcStr(digits.c_str()).Atoi(), 0);
  // Conversion stops at an escaped unit.
  CZqlUcStr escaped("12");
  escaped.Append(static_cast<unsigned short>(0xE9));
  escaped.Append("3");
  int end = -1;
  EXPECT_EQ(escaped.Strtol(&end, 10), 12);
  EXPECT_EQ(end, 2);
}

TEST(UcStrNumbers, DecimalPointIgnoresProcessLocale) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old != nullptr ? old : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr)
    GTEST_SKIP() << "no locale with a decimal comma installed";
  EXPECT_DOUBLE_EQ(CZqlUcStr("1.5").Atof(), 1.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
