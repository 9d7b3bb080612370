// Character sets loaded from the definition files the build makes: every
// code of every shipped set survives a round trip, double-byte text with
// lead bytes, escapes, and the loading errors with their messages.

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "charsettest.h"

namespace {

using charsettest::Raised;
using charsettest::Started;
using cfgtest::Text;

struct SShipped {
  const char* name;
  int minCodes;  // codes with a mapping, at least
};

const SShipped kShipped[] = {
    {"ISO-8859-1", 255}, {"ISO-8859-15", 255}, {"CP1252", 250},
    {"KOI8-R", 255},     {"SHIFT_JIS", 7000},
};

// Packs a code as ZqlUcMb2UcCCT takes it: the first byte lowest.
int Packed(int first, int second) { return first | second << 8; }

class ShippedSets : public Started {};

TEST_F(ShippedSets, EveryCodeRoundTrips) {
  for (const SShipped& s : kShipped) {
    const unsigned long id = ZqlUcGetIdCCT(s.name);
    ASSERT_NE(id, 0u) << s.name;
    int mapped = 0;
    for (int first = 1; first < 256; ++first) {
      const bool lead = ZqlUcIsMb(first, id);
      for (int second = 0; second < (lead ? 256 : 1); ++second) {
        const int code = lead ? Packed(first, second) : first;
        const unsigned short u = ZqlUcMb2UcCCT(code, id);
        if (u == 0xFFFD) continue;
        ++mapped;
        EXPECT_EQ(ZqlUcUc2MbCCT(u, id), code) << s.name << " code " << std::hex << code;
      }
    }
    EXPECT_GE(mapped, s.minCodes) << s.name;
  }
}

// Known characters of each set; that lead bytes start two-byte codes and
// other bytes do not is pinned by the round trip's counts above.
TEST_F(ShippedSets, KnownCharactersAndDoubleByteText) {
  const struct {
    const char* set;
    int code;
    unsigned short unit;
  } rows[] = {{"iso-8859-15", 0xA4, 0x20AC}, {"ISO-8859-1", 0xA4, 0x00A4},
              {"CP1252", 0x80, 0x20AC},      {"KOI8-R", 0xC1, 0x0430},
              {"SHIFT_JIS", Packed(0x82, 0xA0), 0x3042},
              {"SHIFT_JIS", 0xB1, 0xFF71}};  // half-width katakana, one byte
  for (const auto& r : rows)
    EXPECT_EQ(ZqlUcMb2UcCCT(r.code, ZqlUcGetIdCCT(r.set)), r.unit) << r.set << " " << r.code;
  const unsigned long sjis = ZqlUcGetIdCCT("SHIFT_JIS");
  const char text[] = "A\x82\xA0\xB1Z";
  unsigned short units[8];
  ASSERT_EQ(ZqlUcCh2UcCCT(units, 8, text, -1, sjis), 4);
  EXPECT_EQ(units[1], 0x3042);
  EXPECT_EQ(units[2], 0xFF71);
  char back[16];
  ASSERT_EQ(ZqlUcUc2ChCCT(back, sizeof back, units, 4, sjis), 5);
  EXPECT_STREQ(back, text);
  CZqlUcStr s;
  s.Copy("\x82\xA0\x82\xA2", "SHIFT_JIS");
  EXPECT_EQ(s.Length(), 2);
  EXPECT_EQ(s[1], 0x3044);
}

// A set's file is read once; its identifier ends with the sets.
TEST_F(ShippedSets, LoadedOnceNamesCompareWithoutCaseAndStaleIdsAreRefused) {
  const unsigned long a = ZqlUcGetIdCCT("koi8-r");
  EXPECT_STREQ(ZqlUcGetNmCCT(a), "koi8-r");  // the name as first asked for
  // With the file gone, the loaded set still answers.
  const std::string file = std::string(ZQL_TEST_SHARE_DIR) + "/koi8-r.xmx";
  const std::string moved = dir_.File("koi8-r.moved");
  ASSERT_EQ(std::rename(file.c_str(), moved.c_str()), 0);
  EXPECT_EQ(ZqlUcGetIdCCT("KOI8-R"), a);
  ASSERT_EQ(std::rename(moved.c_str(), file.c_str()), 0);
  ZqlUcTermCCT();
  const char* name = nullptr;
  EXPECT_EQ(ZqlTry([&] { name = ZqlUcGetNmCCT(a); }), 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(name, nullptr);
}

TEST(CharsetNames, AsciiNeedsNoZqlIni) {
  cfgtest::ScratchDir dir;  // no zql.ini anywhere on the search path
  ZqlTermResource();
  EXPECT_EQ(ZqlInitResource(), 0);  // and forgets the Path an earlier start read
  ZqlTermResource();
  const unsigned long ascii = ZqlUcGetIdCCT("ASCII");
  EXPECT_NE(ascii, 0u);
  EXPECT_STREQ(ZqlUcGetNmCCT(ascii), "ascii");
  EXPECT_EQ(Raised([] { ZqlUcGetIdCCT("ISO-8859-1"); }),
            kZqlErrCharacterSetNameNotDefinedInZQLINIFile);
}

class LoadErrors : public Started {
 protected:
  std::string Extra() override {
    return "Missing File = absent.xmx\n"
           "Bad Lead = " + dir_.File("badlead.xmx") + "\n"
           "No End = " + dir_.File("noend.xmx") + "\n"
           "Not Xmx = " + dir_.File("notxmx.xmx") + "\n"
           "Empty =\n";
  }
};

TEST_F(LoadErrors, EachErrorWithItsCodeAndMessage) {
  charsettest::WriteXmx(dir_.File("badlead.xmx"),
                        "set 1\n1 \"Bad\"\n2 \"x\"\n3 \"\\x01\"\n4 \"\\x00\"\n5 units 0 0 0\n6 end\n");
  charsettest::WriteXmx(dir_.File("noend.xmx"),
                        "set 1\n1 \"NoEnd\"\n2 \"x\"\n3 \"\\x01\"\n4 \"\\x00\"\n"
                        "5 units 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n");
  cfgtest::WriteFile(dir_.File("notxmx.xmx"), "plain text, not a message file");
  const struct {
    const char* name;
    int code;
  } cases[] = {
      {"undefined", kZqlErrCharacterSetNameNotDefinedInZQLINIFile},
      {"Empty", kZqlErrCharacterSetNameNotDefinedInZQLINIFile},
      {"Missing File", kZqlErrCharacterSetDefinitionFileNotFound},
      {"Bad Lead", kZqlErrInvalidFormatOfTheCharacterSetDefinitionFile},
      {"No End", kZqlErrInvalidFormatOfTheCharacterSetDefinitionFile},
      {"Not Xmx", kZqlErrInvalidFormatOfTheCharacterSetDefinitionFile},
  };
  for (const auto& c : cases) EXPECT_EQ(Raised([&] { ZqlUcGetIdCCT(c.name); }), c.code) << c.name;
  char msg[256];
  ZqlUcFormatErrMsg(kZqlErrCharacterSetDefinitionFileNotFound, 0, "absent.xmx", msg, sizeof msg);
  EXPECT_STREQ(msg, "character set definition file absent.xmx not found");
  // A failed load leaves nothing behind; good sets still load.
  EXPECT_NE(ZqlUcGetIdCCT("CP1252"), 0u);
}

}  // namespace
