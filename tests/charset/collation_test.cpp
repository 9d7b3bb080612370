// Collations: the shipped German phone-book and traditional Spanish orders
// with their multi-character entries, blank padding, identifiers, and the
// loading errors.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "charsettest.h"

namespace {

using charsettest::Raised;
using charsettest::Started;

using W = std::u16string;

// Test text as the library's units, ended by 0.
std::vector<unsigned short> U(const W& s) {
  std::vector<unsigned short> out(s.begin(), s.end());
  out.push_back(0);
  return out;
}

int Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

int Cmp(unsigned long id, const W& a, const W& b) {
  return Sign(ZqlUcCiStrcmp(id, U(a).data(), U(b).data()));
}

std::vector<W> Sorted(unsigned long id, std::vector<W> words) {
  std::stable_sort(words.begin(), words.end(),
                   [&](const W& a, const W& b) { return Cmp(id, a, b) < 0; });
  return words;
}

class Collations : public Started {};

// German phone-book order expands umlauts (other accents sort as the
// letter); traditional Spanish has the letters ch, ll and ñ. Collation 0
// orders by code units.
TEST_F(Collations, GermanPhoneBookAndSpanishTraditional) {
  const unsigned long de = ZqlUcGetIdCLT("german-phonebook");
  const unsigned long es = ZqlUcGetIdCLT("Spanish-Traditional");
  ASSERT_NE(de, 0u);
  ASSERT_NE(es, 0u);
  const struct {
    unsigned long id;
    const char16_t *a, *b;
    int want;
  } rows[] = {
      {de, u"Müller", u"Mueller", 0},  {de, u"Müller", u"MUELLER", 0},
      {de, u"Straße", u"Strasse", 0},
      {de, u"Mukke", u"Müller", 1},    // k after e: "Mue..." first
      {de, u"Müde", u"Mudel", 1},      // "Muede" after "Mudel"
      {de, u"Göbel", u"Goethe", -1},   // "Goebel" < "Goethe"
      {de, u"Éclair", u"eclair", 0},   {0, u"Müller", u"Mukke", 1},
      {es, u"chico", u"cuna", 1},      // ch after every c...
      {es, u"chico", u"dado", -1},     // ...and before d
      {es, u"llama", u"luz", 1},       {es, u"ñu", u"nube", 1},
      {es, u"CHICO", u"chico", 0},
  };
  for (const auto& r : rows) EXPECT_EQ(Cmp(r.id, r.a, r.b), r.want) << "row " << &r - rows;
  EXPECT_EQ(Sorted(de, {u"Mukke", u"Mueller", u"Mann", u"Müller", u"Maier", u"Möller"}),
            (std::vector<W>{u"Maier", u"Mann", u"Möller", u"Mueller", u"Müller", u"Mukke"}));
  EXPECT_EQ(Sorted(es, {u"dama", u"chico", u"cosa", u"llave", u"lobo", u"ñandú", u"nadie"}),
            (std::vector<W>{u"cosa", u"chico", u"dama", u"lobo", u"llave", u"nadie", u"ñandú"}));
  unsigned short w[16];
  EXPECT_EQ(ZqlUcCiStrweight(de, U(u"ä").data(), w, 16), 2);
  EXPECT_EQ(w[0], ZqlUcCiChToWeight(de, 'a'));
  EXPECT_EQ(w[1], ZqlUcCiChToWeight(de, 'E'));
  EXPECT_EQ(w[2], 0);
  EXPECT_EQ(ZqlUcCiStrweight(es, U(u"lla").data(), w, 16), 2);  // ll is one weight
}

TEST_F(Collations, BlankPaddedComparison) {
  const unsigned long de = ZqlUcGetIdCLT("german-phonebook");
  EXPECT_EQ(ZqlUcCiStrcmpB(de, U(u"ab").data(), U(u"ab  ").data()), 0);
  EXPECT_LT(ZqlUcCiStrcmp(de, U(u"ab").data(), U(u"ab  ").data()), 0);
  EXPECT_GT(ZqlUcCiStrcmpB(de, U(u"ab ").data(), U(u"ab\t").data()), 0);  // tab before blank
  EXPECT_LT(ZqlUcCiStrcmpB(de, U(u"ab").data(), U(u"abc").data()), 0);
  EXPECT_EQ(ZqlUcCiStrcmpB(0, U(u"x ").data(), U(u"x").data()), 0);
  EXPECT_EQ(ZqlUcSpaceWeight(de), ZqlUcCiChToWeight(de, ' '));
  EXPECT_EQ(ZqlUcCiStrncmp(de, U(u"Müllerin").data(), U(u"Muellerei").data(), 7), 0);
}

TEST_F(Collations, NamesIdentifiersAndEightBitForms) {
  const unsigned long uni = ZqlUcGetIdCLT("UNICODE");
  EXPECT_STREQ(ZqlUcGetNmCLT(uni), "unicode");
  EXPECT_STREQ(ZqlUcDefaultCLT(), "unicode");
  EXPECT_STREQ(ZqlUcGetNmCLT(0), "unicode");
  EXPECT_EQ(ZqlUcGetIdCLT("german-phonebook"), ZqlUcGetIdCLT("GERMAN-PHONEBOOK"));
  const unsigned long de = ZqlUcGetIdCLT("german-phonebook");
  const unsigned long latin1 = ZqlUcGetIdCCT("ISO-8859-1");
  EXPECT_EQ(ZqlUcCiStrStrcmp(de, "M\xfcller", "Mueller", latin1), 0);
  EXPECT_EQ(ZqlUcCiStrStrIcmp(de, "abc", "ABC", latin1), 0);
  EXPECT_EQ(ZqlUcCiUcChStrcmp(de, U(u"Mueller").data(), "MUELLER"), 0);
  EXPECT_EQ(ZqlUcCnStrcmp("german-phonebook", U(u"ß").data(), U(u"ss").data()), 0);
  EXPECT_EQ(Sign(ZqlUcCnChcmp("spanish-traditional", 0xF1, 'o')), -1);
  EXPECT_EQ(Raised([&] { ZqlUcCiStrcmp(de, nullptr, U(u"a").data()); }),
            kZqlErrInvalidFunctionArguments);
  // Identifiers end with the collations.
  ZqlUcTermCLT();
  EXPECT_EQ(Raised([&] { ZqlUcCiStrcmp(de, U(u"a").data(), U(u"b").data()); }),
            kZqlErrInvalidFunctionArguments);
}

class DefaultCollation : public Started {
 protected:
  std::string ExtraZql() override { return "Collation = german-phonebook\n"; }
};

TEST_F(DefaultCollation, ComesFromTheZqlSection) {
  EXPECT_STREQ(ZqlUcDefaultCLT(), "german-phonebook");
  EXPECT_EQ(ZqlUcGetIdCLT(nullptr), ZqlUcGetIdCLT("german-phonebook"));
  EXPECT_EQ(ZqlUcCnStrcmp(nullptr, U(u"Müller").data(), U(u"Mueller").data()), 0);
  ZqlTermResource();
  EXPECT_STREQ(ZqlUcDefaultCLT(), "unicode");
}

class CollationErrors : public Started {
 protected:
  std::string ExtraCollations() override {
    return "missing = absent.xmx\n"
           "short row = " + dir_.File("shortrow.xmx") + "\n"
           "few entries = " + dir_.File("few.xmx") + "\n"
           "good = " + dir_.File("good.xmx") + "\n";
  }
  void Prepare() override {
    std::string row = "4 units 0";
    for (int i = 0; i < 256; ++i) {
      char hex[8];
      std::snprintf(hex, sizeof hex, " %X", i == 'b' ? 'a' : i);
      row += hex;
    }
    charsettest::WriteXmx(dir_.File("shortrow.xmx"),
                          "set 1\n1 \"x\"\n2 \"x\"\n3 \"\\x00\"\n4 units 0 1 2\n5 end\n");
    charsettest::WriteXmx(dir_.File("few.xmx"),
                          "set 1\n1 \"x\"\n2 \"x\"\n3 \"\\x02\"\n" + row +
                              "\n5 end\n6 units 78 0 61 0\n7 end\n");
    charsettest::WriteXmx(dir_.File("good.xmx"),
                          "set 1\n1 \"x\"\n2 \"x\"\n3 \"\\x01\"\n" + row +
                              "\n5 end\n6 units 78 0 61 63 0\n7 end\n");
  }
};

TEST_F(CollationErrors, LoadingErrorsAndAHandMadeCollation) {
  const std::pair<const char*, int> cases[] = {
      {"nothing", kZqlErrCollationNameNotDefinedInZQLINIFile},
      {"missing", kZqlErrCollationDefinitionFileNotFound},
      {"short row", kZqlErrInvalidFormatOfTheCollationDefinitionFile},
      {"few entries", kZqlErrInvalidFormatOfTheCollationDefinitionFile}};
  for (const auto& c : cases)
    EXPECT_EQ(Raised([&] { ZqlUcGetIdCLT(c.first); }), c.second) << c.first;
  const unsigned long good = ZqlUcGetIdCLT("good");
  ASSERT_NE(good, 0u);
  // b weighs as a, and x as the two weights of "ac".
  EXPECT_EQ(Cmp(good, u"b", u"a"), 0);
  EXPECT_EQ(Cmp(good, u"x", u"ac"), 0);
  EXPECT_EQ(Cmp(good, u"xd", u"bcd"), 0);
  EXPECT_EQ(Cmp(good, u"x", u"ab"), 1);
}

}  // namespace
