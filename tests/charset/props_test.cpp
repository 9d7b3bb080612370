// The character-property tables of zqlloc.xmx: classes, case mapping,
// composition of marks during conversion, digits, and a damaged run.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "charsettest.h"

namespace {

using charsettest::Started;

class Properties : public Started {};

// Classes answer 1 or 0; case maps and digits answer the unit they give.
TEST_F(Properties, ClassesCaseMapsAndDigits) {
  const struct {
    std::function<int(unsigned short)> f;
    unsigned short unit;
    int want;
  } rows[] = {
      {ZqlUcIsUpper, 0x0391, 1},    {ZqlUcIsLower, 0x03B1, 1},  // Greek alpha
      {ZqlUcIsAlpha, 0x4E00, 1},    {ZqlUcIsUpper, 0x4E00, 0},  // a letter without case
      {ZqlUcIsDigit, 0x0663, 1},    {ZqlUcIsSpace, 0x3000, 1},  // Arabic-Indic three
      {ZqlUcIsPunct, 0x3001, 1},    {ZqlUcIsCntrl, 0x0085, 1},
      {ZqlUcIsNonSpace, 0x0301, 1}, {ZqlUcIsNonSpace, 'e', 0},
      {ZqlUcIsXdigit, 0xFF21, 1},   {ZqlUcIsUpper, 'A', 1},  // full-width A
      {ZqlUcIsAlpha, '_', 0},       {ZqlUcToLower, 0x0391, 0x03B1},
      {ZqlUcToUpper, 0x03B1, 0x0391}, {ZqlUcToUpper, 0x00E9, 0x00C9},
      {ZqlUcToUpper, 0x00DF, 0x00DF},  // no single upper case
      {ZqlUcToLower, 0x0430, 0x0430},  // already lower
      {ZqlUcToUpper, 'q', 'Q'},     {ZqlUcNormDigit, 0x0663, '3'},
  };
  for (std::size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i)
    EXPECT_EQ(rows[i].f(rows[i].unit), rows[i].want) << i << " U+" << std::hex << rows[i].unit;
}

TEST_F(Properties, MarksComposeDuringConversion) {
  const unsigned short seq[] = {'e', 0x0301};
  EXPECT_EQ(ZqlUcPreCompose(seq, 2), 0x00E9);
  const unsigned short seq3[] = {'u', 0x0308, 0x0304};
  EXPECT_EQ(ZqlUcPreCompose(seq3, 3), 0x01D6);
  unsigned short out[4];
  EXPECT_EQ(ZqlUcDeCompose(0x00E9, out, 4), 2);
  EXPECT_EQ(out[1], 0x0301);
  CZqlUcStr s;
  s.Copy("caf e\\U+0301!");
  ASSERT_EQ(s.Length(), 6);
  EXPECT_EQ(s[4], 0x00E9);
}

// A zqlloc.xmx whose property tables end too early: the start fails.
class DamagedProperties : public ::testing::Test {
 protected:
  void TearDown() override { ZqlTermResource(); }
  cfgtest::ScratchDir dir_;
};

TEST_F(DamagedProperties, StartFailsAndTheDefaultsServe) {
  ZqlTermResource();
  charsettest::WriteXmx(dir_.File("zqlloc.xmx"),
                        "set 1\n2 \"from the file\"\nset 2\n3 units 0 0 0\n4 end\n");
  cfgtest::WriteFile(dir_.File("zql.ini"), "[ZQL]\nPath = " + dir_.path() + "\n");
  EXPECT_EQ(ZqlInitResource(), 0);
  CZqlUcStr msg;
  ZqlGetResStrObj(1, 2, "default", &msg);
  EXPECT_EQ(cfgtest::Text(msg), "default");
  EXPECT_EQ(ZqlUcIsUpper(0x0391), 0);  // no tables installed
}

}  // namespace
