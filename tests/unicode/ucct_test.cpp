// Character sets and conversions, character properties, the free functions
// over unit arrays and CZqlUcChar.

#include <cstring>

#include "uctest.h"

namespace {

// A double-byte set: ascii plus lead byte 0x81, where 0x81 0x40 is U+4E00.
// With kind 3 it is a direct set whose lead byte is 0x4E instead.
struct STestSet {
  unsigned short to0[256], to81[256], from0[256], from4E[256];
  SZqlUcTable t{};

  explicit STestSet(int kind) {
    for (int b = 0; b < 256; ++b) {
      to0[b] = from0[b] = b < 0x80 ? static_cast<unsigned short>(b) : kZqlUcNoMapping;
      to81[b] = from4E[b] = kZqlUcNoMapping;
    }
    to81[0x40] = 0x4E00;
    from4E[0x00] = 0x8140;
    from0['~'] = kZqlUcNoMapping;  // an ASCII unit the set does not hold
    t.kind = kind;
    t.name = "test";
    const unsigned lead = kind == kZqlUcKindDirect ? 0x4E : 0x81;
    t.leadBytes[lead >> 4] = static_cast<unsigned short>(0x8000u >> (lead & 15));
    if (kind != kZqlUcKindDirect) {
      t.toUc[0] = to0;
      t.toUc[0x81] = to81;
      t.fromUc[0] = from0;
      t.fromUc[0x4E] = from4E;
    }
    TEST_ZqlUcRegisterCCT(&t);
  }
  ~STestSet() { TEST_ZqlUcUnregisterCCT(&t); }
  unsigned long id() const { return reinterpret_cast<unsigned long>(&t); }
};

TEST(UcCharSet, AsciiIsBuiltInAndDefault) {
  const unsigned long ascii = reinterpret_cast<unsigned long>(ZqlUcAsciiTable());
  EXPECT_EQ(ZqlUcGetIdCCT("ASCII"), ascii);
  EXPECT_EQ(ZqlUcGetIdCCT("ascii"), ascii);
  EXPECT_EQ(ZqlUcGetIdCCT(nullptr), ascii);
  EXPECT_STREQ(ZqlUcGetNmCCT(0), "ascii");
  EXPECT_STREQ(ZqlUcDefaultCCT(), "ascii");
  EXPECT_EQ(Raised([] { ZqlUcGetIdCCT("latin1"); }),
            kZqlErrCharacterSetNameNotDefinedInZQLINIFile);
  char msg[128];
  EXPECT_STREQ(ZqlUcFormatErrMsg(kZqlErrCharacterSetNameNotDefinedInZQLINIFile, 0, "latin1", msg,
                                 sizeof msg),
               "character set name latin1 not defined in ZQL.INI file");
  EXPECT_STREQ(ZqlUcFormatErrMsg(kZqlErrCharacterNotInRepertoire, 0xE9, "ascii", msg, sizeof msg),
               "character U+00E9 not in repertoire ascii");
}

TEST(UcCharSet, AsciiMappings) {
  EXPECT_EQ(ZqlUcMb2UcCCT('A', 0), 'A');
  EXPECT_EQ(ZqlUcMb2UcCCT(0x80, 0), kZqlUcNoMapping);
  EXPECT_EQ(ZqlUcUc2MbCCT('A', 0), 'A');
  EXPECT_EQ(ZqlUcUc2MbCCT(0xE9, 0), -1);
  EXPECT_EQ(ZqlUcIsMb(0x81, 0), 0);
  unsigned short u = 0;
  EXPECT_EQ(ZqlUcReadCIF("U+00e9", &u), 1);
  EXPECT_EQ(u, 0xE9);
  EXPECT_EQ(ZqlUcReadCIF("U+00", &u), 0);
  EXPECT_EQ(ZqlUcReadCIF("u+0041", &u), 0);
  EXPECT_EQ(ZqlUcReadCIF(nullptr, &u), 0);
}

TEST(UcConvert, TargetLimits) {
  unsigned short units[4] = {9, 9, 9, 9};
  EXPECT_EQ(ZqlUcCh2UcCCT(units, 2, "abc", -1, 0), 2);
  EXPECT_EQ(units[2], 9);  // full: not terminated
  EXPECT_EQ(ZqlUcCh2UcCCT(units, 4, "abc", -1, 0), 3);
  EXPECT_EQ(units[3], 0);
  EXPECT_EQ(ZqlUcCh2UcLenCCT("a\\U+00E9b\\U+E800", -1, 0), 3);

  const unsigned short e9[] = {0xE9, 0};
  char bytes[9];
  std::memset(bytes, 'x', sizeof bytes);
  EXPECT_EQ(ZqlUcUc2ChCCT(bytes, 7, e9, -1, 0), 7);
  EXPECT_EQ(std::string(bytes, 8), "\\U+00E9x");  // full: not terminated
  EXPECT_EQ(ZqlUcUc2ChCCT(bytes, 6, e9, -1, 0), 0);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(ZqlUcUc2ChLenCCT(e9, -1, 0), 7);
  EXPECT_EQ(Raised([&] { ZqlUcUc2ChLenChkCCT(e9, -1, 0); }), kZqlErrCharacterNotInRepertoire);
  EXPECT_EQ(Raised([&] { ZqlUcUc2ChChkCCT(bytes, 9, e9, -1, 0); }),
            kZqlErrCharacterNotInRepertoire);
}

TEST(UcConvert, LeadBytesReadPairs) {
  const STestSet set(1);
  const unsigned long id = set.id();
  EXPECT_EQ(ZqlUcIsMb(0x81, id), 1);
  EXPECT_EQ(ZqlUcIsMb('A', id), 0);
  unsigned short units[4];
  ASSERT_EQ(ZqlUcCh2UcCCT(units, 4, "\x81\x40" "a", -1, id), 2);
  EXPECT_EQ(units[0], 0x4E00);
  EXPECT_EQ(units[1], 'a');
  // A lead byte whose second byte is missing reads nothing past the end.
  EXPECT_EQ(ZqlUcCh2UcCCT(units, 4, "\x81", -1, id), 1);
  EXPECT_EQ(units[0], kZqlUcNoMapping);
  EXPECT_EQ(ZqlUcCh2UcLenCCT("\x81\x40", 1, id), 1);
  EXPECT_EQ(ZqlUcMb2UcCCT(0x4081, id), 0x4E00);
  EXPECT_EQ(ZqlUcUc2MbCCT(0x4E00, id), 0x4081);

  const unsigned short text[] = {'a', 0x4E00, 0};
  char bytes[8];
  EXPECT_EQ(ZqlUcUc2ChCCT(bytes, 8, text, -1, id), 3);
  EXPECT_STREQ(bytes, "a\x81\x40");
  EXPECT_EQ(ZqlUcUc2ChCCT(bytes, 2, text, -1, id), 1);  // the pair does not fit
  EXPECT_STREQ(bytes, "a");
  const unsigned short tilde[] = {'a', '~', 0};
  EXPECT_EQ(ZqlUcUc2ChLenCCT(tilde, -1, id), 8);
  char wide[16];
  EXPECT_EQ(ZqlUcUc2ChCCT(wide, 16, tilde, -1, id), 8);
  EXPECT_STREQ(wide, "a\\U+007E");

  const char* p = "\x81\x40z";
  EXPECT_EQ(ZqlUcCh2UcMoveCCT(&p, id), 0x4E00);
  EXPECT_EQ(ZqlUcCh2UcMoveCCT(&p, id), 'z');
  const char* end = p;
  EXPECT_EQ(ZqlUcCh2UcMoveCCT(&p, id), 0);
  EXPECT_EQ(p, end);

  const CZqlUcStr s("\x81\x40", id);
  EXPECT_EQ(s.Length(), 1);
  EXPECT_EQ(s.Comp("\x81\x40", id), 0);
  EXPECT_STREQ(s.getToChar(bytes, 8, id), "\x81\x40");
  EXPECT_EQ(s.Chlen(id), 2);
}

TEST(UcConvert, DirectSetEncodesUnitValues) {
  const STestSet set(kZqlUcKindDirect);
  const unsigned long id = set.id();
  unsigned short units[4];
  ASSERT_EQ(ZqlUcCh2UcCCT(units, 4, "\x4E\x2D" "A", -1, id), 2);
  EXPECT_EQ(units[0], 0x4E2D);
  EXPECT_EQ(units[1], 'A');
  const unsigned short text[] = {0x4E2D, 0x0141, 0};
  char bytes[16];
  // 0x0141 has no lead byte 0x01: escaped rather than cut to one byte.
  EXPECT_EQ(ZqlUcUc2ChCCT(bytes, 16, text, -1, id), 9);
  EXPECT_STREQ(bytes, "\x4E\x2D\\U+0141");
  // 'N' is the lead byte 0x4E: alone it would open a pair.
  const unsigned short n[] = {'N', 0};
  EXPECT_EQ(ZqlUcUc2ChLenCCT(n, -1, id), 7);
  EXPECT_EQ(ZqlUcUc2ChCCT(bytes, 16, n, -1, id), 7);
  EXPECT_STREQ(bytes, "\\U+004E");
}

TEST(UcProperties, CLibraryFallback) {
  EXPECT_TRUE(ZqlUcIsUpper('A') && !ZqlUcIsUpper('a'));
  EXPECT_TRUE(ZqlUcIsLower('a') && ZqlUcIsAlpha('q') && ZqlUcIsAlnum('7'));
  EXPECT_TRUE(ZqlUcIsDigit('7') && ZqlUcIsXdigit('f') && !ZqlUcIsXdigit('g'));
  EXPECT_TRUE(ZqlUcIsSpace(' ') && ZqlUcIsSpace('\t') && ZqlUcIsPunct('!'));
  EXPECT_TRUE(ZqlUcIsGraph('x') && !ZqlUcIsGraph(' ') && ZqlUcIsPrint(' '));
  EXPECT_TRUE(ZqlUcIsCntrl('\n') && !ZqlUcIsCntrl('n'));
  EXPECT_EQ(ZqlUcToUpper('a'), 'A');
  EXPECT_EQ(ZqlUcToLower('Q'), 'q');
  // Units above 0xFF are not judged by their low byte.
  EXPECT_FALSE(ZqlUcIsSpace(0x0120));
  EXPECT_FALSE(ZqlUcIsUpper(0x0141));
  EXPECT_EQ(ZqlUcToUpper(0x0161), 0x0161);
  EXPECT_EQ(ZqlUcToLower(0x0141), 0x0141);
  EXPECT_FALSE(ZqlUcIsNonSpace(0x0301));
  const unsigned short seq[] = {'e', 0x0301};
  EXPECT_EQ(ZqlUcPreCompose(seq, 2), 'e');
  unsigned short out[4];
  EXPECT_EQ(ZqlUcDeCompose(0xE9, out, 4), 1);
  EXPECT_EQ(out[0], 0xE9);
  EXPECT_EQ(ZqlUcNormDigit(0x0663), 0x0663);
}

// Small property tables: a-z/A-Z and U+0101/U+0100 cased, Arabic-Indic
// digits, U+0301 a mark composing with e to U+00E9.
class UcPropertyTables : public ::testing::Test {
 protected:
  void SetUp() override {
    for (unsigned u = 'A'; u <= 'Z'; ++u) Pair(u, u + 32);
    Pair(0x100, 0x101);
    for (unsigned u = '0'; u <= '9'; ++u) Set(kZqlUcClassDigit, u);
    for (unsigned u = 0x660; u <= 0x669; ++u) Set(kZqlUcClassDigit, u);
    Set(kZqlUcClassNonSpace, 0x301);
    for (int c = 0; c < kZqlUcClassCount; ++c) tables_.classes[c] = ptrs_[c];
    tables_.maps[0] = mapPtrs_;
    tables_.composition = comp_;
    ZqlUcInstallCPT(&tables_);
  }
  void TearDown() override { ZqlUcInstallCPT(nullptr); }

  void Set(int c, unsigned u) {
    rows_[c][u >> 8][(u >> 4) & 15] |= static_cast<unsigned short>(0x8000u >> (u & 15));
    ptrs_[c][u >> 8] = rows_[c][u >> 8];
  }
  void Pair(unsigned upper, unsigned lower) {
    Set(kZqlUcClassUpper, upper);
    Set(kZqlUcClassLower, lower);
    map_[upper >> 8][upper & 0xFF] = static_cast<unsigned short>(lower);
    map_[lower >> 8][lower & 0xFF] = static_cast<unsigned short>(upper);
    mapPtrs_[upper >> 8] = map_[upper >> 8];
  }

  unsigned short rows_[kZqlUcClassCount][8][16] = {};
  const unsigned short* ptrs_[kZqlUcClassCount][256] = {};
  unsigned short map_[2][256] = {};
  const unsigned short* mapPtrs_[256] = {};
  const unsigned short comp_[5] = {2, 'e', 0x301, 0xE9, 0};
  SZqlUcPropTables tables_ = {};
};

TEST_F(UcPropertyTables, ClassesAndCaseMap) {
  EXPECT_EQ(ZqlUcToUpper(0x101), 0x100);
  EXPECT_EQ(ZqlUcToLower(0x100), 0x101);
  EXPECT_EQ(ZqlUcToUpper(0x100), 0x100);
  EXPECT_EQ(ZqlUcToUpper('a'), 'A');
  EXPECT_TRUE(ZqlUcIsAlpha(0x101) && ZqlUcIsGraph(0x101) && !ZqlUcIsSpace(0x101));
  EXPECT_EQ(ZqlUcNormDigit(0x663), '3');
  EXPECT_EQ(ZqlUcNormDigit('3'), '3');
  EXPECT_EQ(CZqlUcStr("x").Compi(CZqlUcStr("X")), 0);
}

TEST_F(UcPropertyTables, MarksComposeWithTheirBase) {
  unsigned short units[4];
  ASSERT_EQ(ZqlUcCh2UcCCT(units, 4, "e\\U+0301x", -1, 0), 2);
  EXPECT_EQ(units[0], 0xE9);
  EXPECT_EQ(units[1], 'x');
  EXPECT_EQ(ZqlUcCh2UcLenCCT("e\\U+0301x", -1, 0), 3);  // counted before composing
  EXPECT_EQ(CZqlUcStr("e\\U+0301x").Length(), 2);
  const unsigned short s[] = {'e', 0x301, 'e', 0};
  EXPECT_EQ(ZqlUcStrchr(s, 0xE9), s);
  EXPECT_EQ(ZqlUcStrchr(s, 'e'), s + 2);
  EXPECT_EQ(ZqlUcStrrchr(s, 0xE9), s);
  unsigned short out[4];
  ASSERT_EQ(ZqlUcDeCompose(0xE9, out, 4), 2);
  EXPECT_EQ(out[1], 0x301);
  const unsigned short other[] = {'a', 0x301};
  EXPECT_EQ(ZqlUcPreCompose(other, 2), 'a');
}

TEST(UcArrays, CopyAndConcatenate) {
  EXPECT_EQ(ZqlUcStrlen(nullptr), 0);
  const auto abc = W("abc");
  EXPECT_EQ(ZqlUcStrlen(abc.data()), 3);
  EXPECT_EQ(ZqlUcStrsize(abc.data()), 12);
  unsigned short d[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  ZqlUcStrncpy(d, abc.data(), 2);
  EXPECT_EQ(d[1], 'b');
  EXPECT_EQ(d[2], 9);  // no room left: not terminated
  ZqlUcStrncpy(d, W("ab").data(), 5);
  EXPECT_EQ(d[2], 0);
  EXPECT_EQ(d[3], 9);
  ZqlUcStrncat(d, W("cde").data(), 2);
  EXPECT_EQ(CZqlUcStr(d), "abcd");
  ZqlUcStrcat(d, W("e").data());
  EXPECT_EQ(CZqlUcStr(ZqlUcStrcpy(d + 5, W("xy").data())), "xy");
  EXPECT_EQ(CZqlUcStr(ZqlUcStrUpper(d)), "ABCDEXY");
  EXPECT_EQ(CZqlUcStr(ZqlUcStrLower(d)), "abcdexy");
}

TEST(UcArrays, CompareAndSearch) {
  const auto abc = W("abc");
  const auto abd = W("abd");
  EXPECT_EQ(ZqlUcStrcmp(abc.data(), abd.data()), -1);
  EXPECT_EQ(ZqlUcStrncmp(abc.data(), abd.data(), 2), 0);
  EXPECT_EQ(ZqlUcStricmp(W("ABC").data(), abc.data()), 0);
  EXPECT_LT(ZqlUcStrnicmp(W("ABC").data(), abd.data(), 3), 0);
  EXPECT_EQ(ZqlUcCmpUCandUC(abc.data(), W("ab").data()), 'c');
  EXPECT_EQ(Raised([&] { ZqlUcStrcmp(nullptr, abc.data()); }), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(Raised([&] { ZqlUcStrncmp(abc.data(), abd.data(), 0); }),
            kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(Raised([&] { ZqlUcCmpUCandUC(abc.data(), nullptr); }),
            kZqlErrInvalidFunctionArguments);

  const auto s = W("abcbc");
  EXPECT_EQ(ZqlUcStrstr(s.data(), W("bc").data()), s.data() + 1);
  EXPECT_EQ(ZqlUcStrrstr(s.data(), W("bc").data()), s.data() + 3);
  EXPECT_EQ(ZqlUcStrstr(s.data(), W("").data()), s.data() + 5);
  EXPECT_EQ(ZqlUcStrstr(s.data(), W("x").data()), nullptr);
  EXPECT_EQ(ZqlUcStrstr(nullptr, nullptr), nullptr);
  EXPECT_EQ(ZqlUcStrchr(s.data(), 'c'), s.data() + 2);
  EXPECT_EQ(ZqlUcStrrchr(s.data(), 'c'), s.data() + 4);
  EXPECT_EQ(ZqlUcStrchr(s.data(), 0), s.data() + 5);
  EXPECT_EQ(ZqlUcStrchr(s.data(), 'z'), nullptr);
}

TEST(UcArrays, LengthsAndNumbers) {
  std::vector<unsigned short> s = {'a', 0xE9, 0};
  EXPECT_EQ(ZqlUcStrchln(s.data(), nullptr), 8);
  EXPECT_EQ(ZqlUcStrchlnIdCCT(s.data(), 0), 8);
  EXPECT_EQ(Raised([&] { ZqlUcStrchln(s.data(), "nosuch"); }),
            kZqlErrCharacterSetNameNotDefinedInZQLINIFile);
  const auto n = W("  -12x");
  const unsigned short* end = nullptr;
  EXPECT_EQ(ZqlUcStrtol(n.data(), &end, 10), -12);
  EXPECT_EQ(end, n.data() + 5);
  EXPECT_DOUBLE_EQ(ZqlUcStrtod(W("0.5").data(), nullptr), 0.5);
  EXPECT_EQ(ZqlUcAtoi(nullptr), 0);
  EXPECT_EQ(ZqlUcSprintf(nullptr, n.data(), 1), 0);
  CZqlUcStr str("keep");
  EXPECT_EQ(str.Sprintf(n.data(), 1), 0);
  EXPECT_EQ(str, "keep");
}

TEST(UcChar, ComparisonsMirror) {
  CZqlUcChar ch;
  ch = 'b';
  EXPECT_TRUE('a' < ch && ch > 'a' && 'c' > ch && ch == 'b' && 'b' == ch);
  EXPECT_TRUE(static_cast<unsigned short>('a') < ch && ch >= static_cast<unsigned short>('b'));
  EXPECT_TRUE(CZqlUcChar('a') < ch && ch != CZqlUcChar('a'));
  EXPECT_EQ(ch.Comp('a'), 1);
  EXPECT_EQ(ch.Comp(static_cast<const CZqlUcChar*>(nullptr)), 0);
  EXPECT_EQ(ch.Compi('B'), 0);
  EXPECT_EQ(ch.Comp('b', "ASCII"), 0);
}

TEST(UcChar, MappingsAndProperties) {
  CZqlUcChar ch(static_cast<unsigned short>('q'));
  EXPECT_EQ(ch.getChar(), 'q');
  EXPECT_EQ(ch.getChar("ascii"), 'q');
  EXPECT_EQ(CZqlUcChar(static_cast<unsigned short>(0xE9)).getChar(), -1);
  EXPECT_EQ(Raised([&] { ch.setChar('x', "nosuch"); }),
            kZqlErrCharacterSetNameNotDefinedInZQLINIFile);
  EXPECT_EQ(ch.getUcChar(), 'q');
  ch.setChar('x', nullptr);
  EXPECT_EQ(ch.getUcChar(), 'x');
  EXPECT_EQ(ch.Upper().getUcChar(), 'X');
  ch.setUpper();
  EXPECT_TRUE(ch.isUpper() && ch.isAlpha() && !ch.isDigit());
  EXPECT_EQ(ch.Lower().getUcChar(), 'x');

  CZqlUcChar* heap = new CZqlUcChar(static_cast<unsigned short>('z'));
  CZqlUcStr* str = new CZqlUcStr("z");
  str->Append(heap);
  EXPECT_EQ(*str, "zz");
  delete heap;
  delete str;
  CZqlUcStr* quiet = new (std::nothrow) CZqlUcStr;
  ASSERT_NE(quiet, nullptr);
  delete quiet;
}

}  // namespace
