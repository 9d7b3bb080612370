// CZqlXmfUtil on message files built by the compiler's core: record types,
// block boundaries, the cache with its limit and locked blocks, and damaged
// files, which must fail with 0xA00C and never read outside the file.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "config/cfgtest.h"
#include "xmc.h"
#include "zqlxmf.h"

namespace {

using namespace cfgtest;

std::string Compile(const std::string& source) {
  xmc::SModel model;
  xmc::SError error;
  EXPECT_TRUE(xmc::ParseText("test.xms", source, &model, &error)) << error.message;
  std::string out;
  EXPECT_TRUE(xmc::Build(model, &out, &error)) << error.message;
  return out;
}

void Put32(std::string* bytes, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t Get32(const std::string& bytes, std::size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

const char* kSample = R"(
per-block 10
set 0
set 1
1 "plain text"
2 bytes 41 42 43
3 clear "CLEAR"
4 units 0041 00E9 20AC
5 "caf\\U+00E9"
6 ""
10 "ten"
11 "eleven"
25 "twenty-five"
set 2
lock 2
1 "locked one"
set 3
1 "three"
)";

class XmfFile : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = Compile(kSample);
    path_ = dir_.File("sample.xmx");
    WriteFile(path_, bytes_);
  }
  // Writes bytes to the file and answers Init's result.
  int Reopen(const std::string& bytes) {
    xmf_.Term();
    WriteFile(path_, bytes);
    return xmf_.Init(path_.c_str());
  }
  std::string Message(int set, int number) {
    CZqlUcStr out;
    return xmf_.Xmsg(set, number, &out) ? Text(out) : "<failed>";
  }
  int LookupCode(int set, int number) {
    int length = 0;
    return ZqlTry([&] { xmf_.XmsgIntr(set, number, &length); }) ? 0 : ZqlTryCode();
  }

  ScratchDir dir_;
  std::string bytes_;
  std::string path_;
  CZqlXmfUtil xmf_;
};

TEST_F(XmfFile, RecordTypesReportTheirLengths) {
  ASSERT_EQ(xmf_.Init(path_.c_str()), 1);
  EXPECT_STREQ(xmf_.XmfInfoCop(), "ascii");
  EXPECT_STREQ(xmf_.XmfInfoLan(), "en");
  EXPECT_EQ(xmf_.XmfLanguage(), 'e' * 128 + 'n');
  int n = -1;
  EXPECT_STREQ(xmf_.XmsgIntr(1, 1, &n), "plain text");
  EXPECT_EQ(n, 10);
  const char* t = xmf_.XmsgIntr(1, 2, &n);
  EXPECT_EQ(n, 3);  // type 1: length - 8, unscrambled
  EXPECT_EQ(std::string(t, 3), "ABC");
  EXPECT_EQ(xmf_.XmfLastType(), 1);
  t = xmf_.XmsgIntr(1, 3, &n);
  EXPECT_EQ(n, 5);  // type 7: stored in clear
  EXPECT_EQ(std::string(t, 5), "CLEAR");
  t = xmf_.XmsgIntr(1, 4, &n);
  EXPECT_EQ(n, 3);  // type 9: units
  uint16_t units[3];
  std::memcpy(units, t, sizeof units);
  EXPECT_EQ(units[1], 0x00E9);
  EXPECT_EQ(units[2], 0x20AC);
  CZqlUcStr s;
  ASSERT_EQ(xmf_.Xmsg(1, 4, &s), 1);
  EXPECT_EQ(s.Length(), 3);
  EXPECT_EQ(s[2], 0x20AC);
  ASSERT_EQ(xmf_.Xmsg(1, 5, &s), 1);  // the code page's escape gives one unit
  EXPECT_EQ(s.Length(), 4);
  EXPECT_EQ(s[3], 0x00E9);
  EXPECT_EQ(Message(1, 6), "");
  EXPECT_EQ(xmf_.XmsgCharGet(1, 10), 't');
}

// Numbers outside the file are invalid arguments; a number a loaded range
// covers but no record holds is an internal error.
TEST_F(XmfFile, LookupFailures) {
  ASSERT_EQ(xmf_.Init(path_.c_str()), 1);
  constexpr int kArgs = kZqlErrInvalidFunctionArguments, kMissing = kZqlErrInternalZQLError;
  const struct {
    int set, number, code;
  } rows[] = {{1, 0, kArgs},  {1, 26, kArgs},    {4, 1, kArgs},     {-1, 1, kArgs},
              {0, 1, kArgs} /* an empty set */,   {1, 12, kMissing}, {1, 21, kMissing}};
  for (const auto& r : rows) {
    EXPECT_EQ(LookupCode(r.set, r.number), r.code) << r.set << "/" << r.number;
    EXPECT_EQ(Message(r.set, r.number), "<failed>") << r.set << "/" << r.number;
  }
  EXPECT_EQ(Message(1, 25), "twenty-five");
  EXPECT_EQ(xmf_.Xmsg(1, 1, nullptr), 0);
  EXPECT_EQ(ZqlTryCode(), kArgs);
  CZqlXmfUtil closed;
  EXPECT_EQ(ZqlTry([&] { closed.XmsgIntr(1, 1, nullptr); }), 0);
  EXPECT_EQ(ZqlTryCode(), kArgs);
}

TEST_F(XmfFile, BlocksHoldPerBlockMessages) {
  ASSERT_EQ(xmf_.Init(path_.c_str()), 1);
  // 10 is still in the first block entry, 11 starts the second.
  const std::pair<int, const char*> reads[] = {
      {1, "plain text"}, {10, "ten"}, {11, "eleven"}, {25, "twenty-five"}};
  for (const auto& [number, text] : reads) {
    EXPECT_EQ(Message(1, number), text);
    EXPECT_EQ(xmf_.XmfFromCache(), number == 10) << number;
  }
  // A cached text is unscrambled only once: the second read gives it as is.
  int n = 0;
  const char* t1 = xmf_.XmsgIntr(1, 2, &n);
  const char* t2 = xmf_.XmsgIntr(1, 2, &n);
  EXPECT_EQ(t1, t2);
  EXPECT_EQ(std::string(t2, 3), "ABC");
  EXPECT_EQ(Message(1, 1), "plain text");
  EXPECT_EQ(Message(1, 1), "plain text");

  ASSERT_EQ(Reopen(Compile("per-block 1\nset 1\n1 \"a\"\n2 \"b\"\n3 \"c\"\n")), 1);
  for (int m = 1; m <= 3; ++m) {
    EXPECT_EQ(Message(1, m), std::string(1, static_cast<char>('a' + m - 1)));
    EXPECT_EQ(xmf_.XmfFromCache(), 0);  // entry m - 1, a block of its own
  }
}

TEST_F(XmfFile, CacheLimitResetsButLockedBlocksStay) {
  ASSERT_EQ(Reopen(Compile(std::string("cache-limit 1\n") + kSample)), 1);
  EXPECT_EQ(Message(2, 1), "locked one");
  EXPECT_EQ(Message(1, 1), "plain text");  // the load resets the cache first
  EXPECT_EQ(Message(1, 11), "eleven");
  EXPECT_EQ(Message(1, 1), "plain text");
  EXPECT_EQ(xmf_.XmfFromCache(), 0);  // released by the reset
  EXPECT_EQ(Message(2, 1), "locked one");
  EXPECT_EQ(xmf_.XmfFromCache(), 1);  // survived every reset
  EXPECT_GE(xmf_.XmfCacheTotal(), 1);
  // Texts unscrambled before a reset are read and unscrambled afresh.
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(Message(1, 2), "ABC");
    EXPECT_EQ(Message(3, 1), "three");
    EXPECT_EQ(Message(1, 25), "twenty-five");
  }
  xmf_.XmfXmsgReset(kZqlFalse);
  EXPECT_EQ(Message(2, 1), "locked one");
  EXPECT_EQ(xmf_.XmfFromCache(), 0);
}

TEST_F(XmfFile, HeaderFoundThroughTheTrailerAfterAPrefix) {
  ASSERT_EQ(Reopen(Compile(std::string("prefix 333\n") + kSample)), 1);
  EXPECT_EQ(Message(1, 11), "eleven");
  EXPECT_EQ(xmf_.Init(path_.c_str()), 1);  // already alive
}

// Attribute tests answer 1 or 0, case maps and digit values what they give;
// the two-byte tests count only in mode 2.
TEST_F(XmfFile, CharacterAttributesOfTheFile) {
  using X = CZqlXmfUtil;
  ASSERT_EQ(xmf_.Init(path_.c_str()), 1);
  struct SAttr {
    int (*f)(int);
    int c, want;
  };
  const SAttr rows[] = {
      {X::XmfIsUpper, 'Q', 1},   {X::XmfIsLower, 'Q', 0},   {X::XmfToLower, 'Q', 'q'},
      {X::XmfToUpper, 'q', 'Q'}, {X::XmfToUpper, '1', '1'}, {X::XmfEvalch, '7', 7},
      {X::XmfEvalch, 'c', 12},   {X::XmfIsXdigit, 'F', 1},  {X::XmfIsPrint, ' ', 1},
      {X::XmfIsGraph, ' ', 0},   {X::XmfIsCntrl, '\n', 1}, {X::XmfIsAlnum7bit, '_', 0},
      {X::XmfIsKanji, 0x8140, 0}};  // mode 1: no two-byte tests
  for (const auto& r : rows) EXPECT_EQ(r.f(r.c), r.want) << r.c;
  const int saved = X::XmfAmode();
  ASSERT_EQ(X::XmfSetAmode(2), 1);
  EXPECT_EQ(X::XmfSetAmode(4), 0);
  X::XmfSetAttr(0x81, kZqlXmfLeadByte, 0, 0);
  X::XmfSetAttr(0x8E, kZqlXmfHalfFirst, 0, 0);
  X::XmfSetAttr(0xA1, kZqlXmfHalfSecond, 0, 0);
  const SAttr twoByte[] = {{X::XmfIsKanji, 0x8140, 2},  {X::XmfIsKanji, 0x4081, 1},
                           {X::XmfIs2bcode, 0x8EA1, 3}, {X::XmfIs2bcode, 0x8140, 2},
                           {X::XmfIs2bcode, 0x81, 1},   {X::XmfIs2bcode, 0x41, 0}};
  for (const auto& r : twoByte) EXPECT_EQ(r.f(r.c), r.want) << std::hex << r.c;
  EXPECT_EQ(X::XmfSetAttr(256, 0, 0, 0), 0);
  for (int c : {0x81, 0x8E, 0xA1}) X::XmfSetAttr(c, 0, 0, 0);
  X::XmfSetAmode(saved);
}

// Damage at a header position; Init must refuse with 0xA00C.
class DamagedFile : public XmfFile {
 protected:
  void ExpectRefused(const std::string& bytes, const char* what) {
    EXPECT_EQ(Reopen(bytes), 0) << what;
    EXPECT_EQ(ZqlTryCode(), kZqlErrInternalZQLError) << what;
    EXPECT_EQ(xmf_.XmfAlive(), 0);
    EXPECT_EQ(Message(1, 1), "<failed>");
  }
};

TEST_F(DamagedFile, HeaderTrailerAndTablesOutsideTheFile) {
  const std::size_t trailer = bytes_.size() - 7;  // distance back to the header
  const struct {
    std::size_t at;
    uint32_t value;
    const char* what;
  } cases[] = {
      {trailer, 0, "distance 0"},
      {trailer, static_cast<uint32_t>(trailer + 1), "distance beyond the file"},
      {trailer, 0xFFFFFFFFu, "negative distance"},
      {140, 0x7FFFFFF0u, "attribute table"},  {164, 0x7FFFFFF0u, "index tables"},
      {160, 0x00FFFFFFu, "set count"},         {172, 0x00FFFFFFu, "entry count"},
      {172, 0x80000000u, "negative entries"},  {168, 0, "no messages per block"},
      {168, 0x80000000u, "negative per block"},
  };
  for (const auto& c : cases) {
    std::string b = bytes_;
    Put32(&b, c.at, c.value);
    ExpectRefused(b, c.what);
  }
  ExpectRefused("short", "tiny file");
  ExpectRefused(std::string(), "empty file");
  const struct {
    std::size_t at, count;
    char byte;
    const char* what;
  } overwrites[] = {{bytes_.size() - 1, 1, static_cast<char>(bytes_.back() ^ 1), "magic"},
                    {134, 1, 2, "version"},
                    {104, 21, 'C', "code page of 21 characters"},
                    {125, 9, 'L', "language of 9 characters"}};
  for (const auto& o : overwrites) {
    std::string b = bytes_;
    std::memset(&b[o.at], o.byte, o.count);
    ExpectRefused(b, o.what);
  }
}

TEST_F(DamagedFile, BadBlocksAndRecordsFailTheLookupOnly) {
  const uint32_t index = Get32(bytes_, 164);
  const uint32_t sets = Get32(bytes_, 160);
  const std::size_t entry0 = index + sets * 6;  // set 1's first block entry
  const uint32_t first = Get32(bytes_, index + 6 + 2);
  const std::size_t e = entry0 + first * 8;
  const uint32_t blockAt = Get32(bytes_, e + 4);

  // Each damage fails the lookup of one message; with a bad block offset
  // the other blocks still serve.
  const struct {
    std::size_t at;
    uint32_t value;  // written as 4 bytes, or as 1 byte when below 0x100
    int number;
  } rows[] = {{e + 4, 0x7FFFFF00u, 1},          // block offset beyond the file
              {blockAt + 4, 3, 2},              // record length below its header
              {blockAt + 3, 0x7F, 1},           // record longer than its block
              {index + 6 + 2, 0x7FFFFFFFu, 1}};  // set's first entry beyond the table
  for (const auto& r : rows) {
    std::string b = bytes_;
    if (r.value < 0x100) {
      b[blockAt + 3] = 0;
      b[r.at] = static_cast<char>(r.value);
    } else {
      Put32(&b, r.at, r.value);
    }
    ASSERT_EQ(Reopen(b), 1);
    EXPECT_EQ(LookupCode(1, r.number), kZqlErrInternalZQLError) << r.at;
    if (r.at == e + 4) {
      EXPECT_EQ(Message(1, 11), "eleven");
    }
  }
}

// Every prefix of the file and many random damages: the reader may refuse,
// but must not crash or read outside its buffers (run under ASan).
TEST_F(DamagedFile, TruncatedAndScrambledFilesNeverCrash) {
  auto exercise = [&](const std::string& b) {
    if (Reopen(b) != 1) return;
    for (int set = -1; set <= 4; ++set)
      for (int m = 0; m <= 26; ++m) Message(set, m);
  };
  for (std::size_t n = 0; n < bytes_.size(); n += 7) exercise(bytes_.substr(0, n));
  std::mt19937 rnd(20240607);
  for (int round = 0; round < 300; ++round) {
    std::string b = bytes_;
    const int flips = 1 + static_cast<int>(rnd() % 8);
    for (int i = 0; i < flips; ++i) b[rnd() % b.size()] = static_cast<char>(rnd());
    exercise(b);
  }
}

}  // namespace
