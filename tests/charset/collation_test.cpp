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

// UTF-8 test text as units (BMP only).
std::vector<unsigned short> U(const std::string& utf8) {
  std::vector<unsigned short> out;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out.push_back(c);
      i += 1;
    } else if ((c & 0xE0) == 0xC0) {
      out.push_back(static_cast<unsigned short>((c & 0x1F) << 6 | (utf8[i + 1] & 0x3F)));
      i += 2;
    } else {
      out.push_back(static_cast<unsigned short>((c & 0x0F) << 12 | (utf8[i + 1] & 0x3F) << 6 |
                                                (utf8[i + 2] & 0x3F)));
      i += 3;
    }
  }
  out.push_back(0);
  return out;
}

int Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

int Cmp(unsigned long id, const std::string& a, const std::string& b) {
  return Sign(ZqlUcCiStrcmp(id, U(a).data(), U(b).data()));
}

std::vector<std::string> Sorted(unsigned long id, std::vector<std::string> words) {
  std::stable_sort(words.begin(), words.end(),
                   [&](const std::string& a, const std::string& b) { return Cmp(id, a, b) < 0; });
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
    const char *a, *b;
    int want;
  } rows[] = {
      {de, "Müller", "Mueller", 0}, {de, "Müller", "MUELLER", 0}, {de, "Straße", "Strasse", 0},
      {de, "Mukke", "Müller", 1},    // k after e: "Mue..." first
      {de, "Müde", "Mudel", 1},      // "Muede" after "Mudel"
      {de, "Göbel", "Goethe", -1},   // "Goebel" < "Goethe"
      {de, "Éclair", "eclair", 0},   {0, "Müller", "Mukke", 1},
      {es, "chico", "cuna", 1},      // ch after every c...
      {es, "chico", "dado", -1},     // ...and before d
      {es, "llama", "luz", 1},       {es, "ñu", "nube", 1},       {es, "CHICO", "chico", 0},
  };
  for (const auto& r : rows) EXPECT_EQ(Cmp(r.id, r.a, r.b), r.want) << r.a << " : " << r.b;
  EXPECT_EQ(Sorted(de, {"Mukke", "Mueller", "Mann", "Müller", "Maier", "Möller"}),
            (std::vector<std::string>{"Maier", "Mann", "Möller", "Mueller", "Müller",
                                      "Mukke"}));
  EXPECT_EQ(Sorted(es, {"dama", "chico", "cosa", "llave", "lobo", "ñandú", "nadie"}),
            (std::vector<std::string>{"cosa", "chico", "dama", "lobo", "llave", "nadie",
                                      "ñandú"}));
  unsigned short w[16];
  EXPECT_EQ(ZqlUcCiStrweight(de, U("ä").data(), w, 16), 2);
  EXPECT_EQ(w[0], ZqlUcCiChToWeight(de, 'a'));
  EXPECT_EQ(w[1], ZqlUcCiChToWeight(de, 'E'));
  EXPECT_EQ(w[2], 0);
  EXPECT_EQ(ZqlUcCiStrweight(es, U("lla").data(), w, 16), 2);  // ll is one weight
}

TEST_F(Collations, BlankPaddedComparison) {
  const unsigned long de = ZqlUcGetIdCLT("german-phonebook");
  EXPECT_EQ(ZqlUcCiStrcmpB(de, U("ab").data(), U("ab  ").data()), 0);
  EXPECT_LT(ZqlUcCiStrcmp(de, U("ab").data(), U("ab  ").data()), 0);
  EXPECT_GT(ZqlUcCiStrcmpB(de, U("ab ").data(), U("ab\t").data()), 0);  // tab before blank
  EXPECT_LT(ZqlUcCiStrcmpB(de, U("ab").data(), U("abc").data()), 0);
  EXPECT_EQ(ZqlUcCiStrcmpB(0, U("x ").data(), U("x").data()), 0);
  EXPECT_EQ(ZqlUcSpaceWeight(de), ZqlUcCiChToWeight(de, ' '));
  EXPECT_EQ(ZqlUcCiStrncmp(de, U("Müllerin").data(), U("Muellerei").data(), 7), 0);
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
  EXPECT_EQ(ZqlUcCiUcChStrcmp(de, U("Mueller").data(), "MUELLER"), 0);
  EXPECT_EQ(ZqlUcCnStrcmp("german-phonebook", U("ß").data(), U("ss").data()), 0);
  EXPECT_EQ(Sign(ZqlUcCnChcmp("spanish-traditional", 0xF1, 'o')), -1);
  EXPECT_EQ(Raised([&] { ZqlUcCiStrcmp(de, nullptr, U("a").data()); }),
            kZqlErrInvalidFunctionArguments);
  // Identifiers end with the collations.
  ZqlUcTermCLT();
  EXPECT_EQ(Raised([&] { ZqlUcCiStrcmp(de, U("a").data(), U("b").data()); }),
            kZqlErrInvalidFunctionArguments);
}

class DefaultCollation : public Started {
 protected:
  std::string ExtraZql() override { return "Collation = german-phonebook\n"; }
};

TEST_F(DefaultCollation, ComesFromTheZqlSection) {
  EXPECT_STREQ(ZqlUcDefaultCLT(), "german-phonebook");
  EXPECT_EQ(ZqlUcGetIdCLT(nullptr), ZqlUcGetIdCLT("german-phonebook"));
  EXPECT_EQ(ZqlUcCnStrcmp(nullptr, U("Müller").data(), U("Mueller").data()), 0);
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
  EXPECT_EQ(Cmp(good, "b", "a"), 0);
  EXPECT_EQ(Cmp(good, "x", "ac"), 0);
  EXPECT_EQ(Cmp(good, "xd", "bcd"), 0);
  EXPECT_EQ(Cmp(good, "x", "ab"), 1);
}

}  // namespace
