// Packed buffers: exact bytes of items and buffers, two-pass sizing, reading
// back, and the refusal of damaged or oversized input.
#include <algorithm>

#include "../data/common.h"
#include "zqlucode.h"

namespace {

void SetU32(std::vector<unsigned char>* b, size_t at, uint32_t v) {
  std::memcpy(b->data() + at, &v, 4);
}

// A buffer with one item of every kind, ended by a terminator.
void FillAll(CZqlObjPack* p) {
  p->add(1, 'x');
  p->add(2, static_cast<unsigned char>(0xFE));
  p->add(3, int16_t{-2});
  p->add(4, uint16_t{65000});
  p->add(5, int32_t{-70000});
  p->add(6, uint32_t{4000000000u});
  p->add(7, 2.5);
  p->add(8, "hello");
  p->add(9, reinterpret_cast<const unsigned char*>("\xC3\xA9"));
  p->add(10, CZqlUcStr("abc"));
  const unsigned char raw[3] = {0, 1, 2};
  p->add(11, raw, 3);
  p->add(kZqlPackEnd, int32_t{0});
}

// Items byte for byte: the marker and total length, then per item its label,
// type, a length for the variable types, and the payload, with no padding.
TEST(PackWrite, ItemsByteForByte) {
  EXPECT_EQ(CZqlObjPack().Size(), 0u);
  const struct {
    const char* what;
    std::function<void(CZqlObjPack*)> write;
    Bytes want;
  } cases[] = {
      {"one long", [](CZqlObjPack* p) { p->add(0x1234, int32_t{1}); },
       CPackBytes().Long(0x1234, 1).Buffer()},
      {"plain integers go out as longs", [](CZqlObjPack* p) { p->add(1, 7); p->add(2, 7u); },
       CPackBytes().Long(1, 7).ULong(2, 7).Buffer()},
      {"a null string has no payload", [](CZqlObjPack* p) {
         p->add(1, static_cast<const char*>(nullptr));
         p->add(2, "ab");
       },
       CPackBytes().Var(1, kZqlPackString, nullptr, 0).Str(2, "ab").Buffer()},
      {"code units end with a zero unit", [](CZqlObjPack* p) {
         p->add(1, CZqlUcStr());
         p->add(2, CZqlUcStr("abc"));
       },
       CPackBytes().Uc(1, "").Uc(2, "abc").Buffer()},
      {"a double at an odd offset", [](CZqlObjPack* p) { p->add(1, 'a'); p->add(2, 1.0); },
       CPackBytes().Char(1, 'a').Double(2, 1.0).Buffer()},
  };
  for (const auto& c : cases) EXPECT_EQ(Pack(c.write), c.want) << c.what;
}

TEST(PackWrite, PayloadBuiltInPlaceThroughGetBind) {
  auto buf = Pack([](CZqlObjPack* p) {
    p->add(1, 'a');
    if (void* at = p->getBind(4)) std::memcpy(at, "wxyz", 4);
    p->add(2, nullptr, 4);
  });
  CZqlObjPack r(buf.data(), uint32_t(buf.size()));
  ASSERT_EQ(r.setActive(2), 1);
  ASSERT_EQ(r.getSize(), 4u);
  EXPECT_EQ(std::memcmp(r.getPtr(), "wxyz", 4), 0);
  // Without room there is no place to bind.
  CZqlObjPack sizing;
  EXPECT_EQ(sizing.getBind(), nullptr);
  unsigned char mem[16];
  CZqlObjPack p(mem, sizeof mem);
  EXPECT_NE(p.getBind(2), nullptr);  // 8 + 6 + 2 fits
  EXPECT_EQ(p.getBind(3), nullptr);
}

// A variable-length payload must fit its 16-bit length field.
TEST(PackWrite, OversizedPayloadsAreRefusedBeforePacking) {
  std::vector<unsigned char> big(65536, 'x');
  for (bool sizing : {true, false}) {
    std::vector<unsigned char> buf(70000);
    CZqlObjPack p;
    if (!sizing) p.setBuffer(buf.data(), uint32_t(buf.size()));
    p.add(1, 'a');
    EXPECT_EQ(Raised([&] { p.add(2, big.data(), 65536); }),
              kZqlErrInvalidFunctionArguments);
    std::string text(65535, 'y');  // 65536 bytes with its NUL
    EXPECT_EQ(Raised([&] { p.add(3, text.c_str()); }),
              kZqlErrInvalidFunctionArguments);
    CZqlUcStr units(std::string(32767, 'z').c_str());  // 65536 bytes
    ASSERT_EQ(units.Length(), 32767);
    EXPECT_EQ(Raised([&] { p.add(4, units); }),
              kZqlErrInvalidFunctionArguments);
    EXPECT_EQ(Raised([&] { p.add(5, big.data(), -1); }),
              kZqlErrInvalidFunctionArguments);
    EXPECT_EQ(p.Size(), 13u);  // nothing of the refused items was written
    EXPECT_EQ(Raised([&] { p.add(6, big.data(), 65535); }), 0);
    EXPECT_EQ(p.Size(), 13u + 6 + 65535);
  }
}

TEST(PackWrite, PutRefusesSizesThatDisagreeWithTheType) {
  CZqlObjPack p;
  int32_t v = 0;
  EXPECT_EQ(Raised([&] { p.put(1, kZqlPackLong, 8, &v); }),
            kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(Raised([&] { p.put(1, static_cast<EZqlPackObjType>(14), 4, &v); }),
            kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(Raised([&] { p.put(0x10000, kZqlPackLong, 4, &v); }),
            kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(p.Size(), 0u);
  // Numbers added to a started buffer take the same checks of the label.
  unsigned char mem[64];
  CZqlObjPack w(mem, sizeof mem);
  w.add(1, int32_t{5});
  EXPECT_EQ(Raised([&] { w.add(0x10000, int32_t{1}); }), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(Raised([&] { w.add(-1, 2.0); }), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(w.Size(), 16u);
}

// A second pass that packs more than the first sized must not write past
// the buffer.
TEST(PackWrite, WritingPastTheSizedBufferRaisesInsteadOfOverrunning) {
  std::vector<unsigned char> mem(40, 0xAA);
  CZqlObjPack p(mem.data(), 16);
  EXPECT_EQ(Raised([&] { p.add(1, int32_t{5}); }), 0);
  EXPECT_EQ(Raised([&] { p.add(2, 'b'); }), kZqlErrInternalZQLError);
  for (size_t i = 16; i < mem.size(); ++i) ASSERT_EQ(mem[i], 0xAA) << i;
  EXPECT_EQ(p.Size(), 16u);
}

// A kept buffer (setRoom): packed once when it has the room, byte for byte
// as two passes would; too small, it is written only up to the item that
// does not fit, and Size() still counts every item.
TEST(PackWrite, RoomPacksOnceOrCountsWhatItLacks) {
  auto fill = [](CZqlObjPack* p) {
    p->add(1, int32_t{5});
    p->add(2, "text");
    p->add(3, 2.5);
  };
  const std::vector<unsigned char> want = Pack(fill);
  for (const size_t room : {want.size(), want.size() + 9, size_t{20}, size_t{0}}) {
    std::vector<unsigned char> mem(want.size() + 16, 0xAA);
    CZqlObjPack p;
    p.setRoom(room > 0 ? mem.data() : nullptr, static_cast<uint32_t>(room));
    ASSERT_EQ(Raised([&] { fill(&p); }), 0) << room;
    EXPECT_EQ(p.Size(), want.size()) << room;
    const bool fits = room >= want.size();
    EXPECT_EQ(p.Overflowed(), !fits && room > 0) << room;
    if (fits) {
      EXPECT_TRUE(std::equal(want.begin(), want.end(), mem.begin())) << room;
    }
    for (size_t i = std::max(room, fits ? want.size() : size_t{0}); i < mem.size(); ++i)
      ASSERT_EQ(mem[i], 0xAA) << room << " " << i;
  }
}

TEST(PackRead, EveryKindRoundTrips) {
  auto buf = Pack(FillAll);
  CZqlObjPack r(buf.data(), uint32_t(buf.size()));
  char c = 0;
  unsigned char uc = 0;
  int16_t s = 0;
  uint16_t us = 0;
  int32_t l = 0;
  uint32_t ul = 0;
  double d = 0;
  CZqlUcStr text;
  // The next item is label's and reads into *v.
  auto next = [&r](int label, auto* v) { return r.getNext() == label && r.getPackedValue(v) != 0; };
  EXPECT_TRUE(next(1, &c) && c == 'x');
  EXPECT_TRUE(next(2, &uc) && uc == 0xFE);
  EXPECT_TRUE(next(3, &s) && s == -2);
  EXPECT_TRUE(next(4, &us) && us == 65000);
  EXPECT_TRUE(next(5, &l) && l == -70000);
  EXPECT_TRUE(next(6, &ul) && ul == 4000000000u);
  EXPECT_TRUE(next(7, &d) && d == 2.5);
  ASSERT_EQ(r.getNext(), 8);
  EXPECT_EQ(r.getType(), kZqlPackString);
  EXPECT_STREQ(static_cast<const char*>(r.getPtr()), "hello");
  ASSERT_EQ(r.getNext(), 9);
  EXPECT_EQ(r.getType(), kZqlPackUString);
  EXPECT_EQ(r.getSize(), 3u);
  EXPECT_TRUE(next(10, &text) && text == "abc");
  ASSERT_EQ(r.getNext(), 11);
  EXPECT_EQ(r.getType(), kZqlPackBytes);
  EXPECT_EQ(r.getSize(), 3u);
  EXPECT_EQ(r.getNext(), kZqlPackEnd);  // the terminator item
  EXPECT_EQ(r.getType(), kZqlPackLong);
  EXPECT_EQ(r.getNext(), kZqlPackEnd);  // the end of the buffer
  EXPECT_EQ(r.getType(), kZqlPackNone);
  EXPECT_EQ(r.getPtr(), nullptr);
}

// A null string has no payload; a short payload fills no wider target.
// Either way the target keeps its value.
TEST(PackRead, NullStringAndShortPayloadFillNoTarget) {
  auto buf = Pack([](CZqlObjPack* p) {
    p->add(1, static_cast<const char*>(nullptr));
    p->add(2, 'q');
  });
  CZqlObjPack r(buf.data(), uint32_t(buf.size()));
  ASSERT_EQ(r.getNext(), 1);
  EXPECT_EQ(r.getSize(), 0u);
  EXPECT_EQ(r.getPtr(), nullptr);
  int32_t v = 42;
  EXPECT_EQ(r.getPackedValue(&v), 0);
  EXPECT_EQ(v, 42);
  ASSERT_EQ(r.getNext(), 2);
  double d = 3.0;
  int16_t s = 4;
  EXPECT_EQ(r.getPackedValue(&d), 0);
  EXPECT_EQ(r.getPackedValue(&s), 0);
  EXPECT_EQ(d, 3.0);
  EXPECT_EQ(s, 4);
}

TEST(PackRead, TerminatorOnlyBuffer) {
  auto buf = Pack([](CZqlObjPack* p) { p->add(kZqlPackEnd, int32_t{9}); });
  CZqlObjPack r(buf.data(), uint32_t(buf.size()));
  EXPECT_EQ(r.getNext(), kZqlPackEnd);
  int32_t v = 0;
  EXPECT_TRUE(r.getPackedValue(&v) && v == 9);
  EXPECT_EQ(r.getNext(), kZqlPackEnd);
  EXPECT_EQ(r.getPackedValue(&v), 0);
}

TEST(PackRead, SetActiveFindsTheFirstOccurrence) {
  auto buf = Pack([](CZqlObjPack* p) {
    p->add(5, int32_t{1});
    p->add(kZqlPackEnd, int32_t{0});  // setActive does not stop here
    p->add(6, int32_t{2});
    p->add(6, int32_t{3});
  });
  CZqlObjPack r(buf.data(), uint32_t(buf.size()));
  int32_t v = 0;
  ASSERT_EQ(r.setActive(6), 1);
  EXPECT_TRUE(r.getPackedValue(&v) && v == 2);
  EXPECT_EQ(r.getNext(), 6);  // reading goes on behind the found item
  ASSERT_EQ(r.setActive(5), 1);
  EXPECT_EQ(r.setActive(7), 0);
  EXPECT_EQ(r.getPtr(), nullptr);
  EXPECT_EQ(r.getType(), kZqlPackNone);
}

TEST(PackRead, UcStrAtAnOddAddress) {
  const std::string long_text(300, 'k');  // more than one copying piece
  auto buf = Pack([&](CZqlObjPack* p) {
    p->add(1, 'a');
    p->add(2, CZqlUcStr(long_text.c_str()));
  });
  CZqlObjPack r(buf.data(), uint32_t(buf.size()));
  ASSERT_EQ(r.setActive(2), 1);
  ASSERT_NE(reinterpret_cast<uintptr_t>(r.getPtr()) % 2, 0u);
  CZqlUcStr text("old");
  ASSERT_EQ(r.getPackedValue(&text), 1);
  EXPECT_EQ(text.Length(), 300);
  EXPECT_TRUE(text == long_text.c_str());
}

TEST(PackRead, NoBufferAndEmptyBufferReadAsEnd) {
  CZqlObjPack r;
  EXPECT_EQ(r.getNext(), kZqlPackEnd);
  EXPECT_EQ(r.setActive(1), 0);
  unsigned char b[1] = {0};
  r.setBuffer(b, 0);
  EXPECT_EQ(Raised([&] { EXPECT_EQ(r.getNext(), kZqlPackEnd); }), 0);
}

TEST(PackRead, UnknownTypeStopsReadingWithoutError) {
  auto buf = Pack([](CZqlObjPack* p) {
    p->add(1, int32_t{1});
    p->add(2, int32_t{2});
  });
  uint16_t bad = 99;
  std::memcpy(buf.data() + 8 + 8 + 2, &bad, 2);
  CZqlObjPack r(buf.data(), uint32_t(buf.size()));
  EXPECT_EQ(Raised([&] {
              EXPECT_EQ(r.getNext(), 1);
              EXPECT_EQ(r.getNext(), kZqlPackEnd);
              EXPECT_EQ(r.getNext(), kZqlPackEnd);  // stays stopped
            }),
            0);
}

// ---------------------------------------------------------------------------
// Damaged buffers: each read below runs on a heap block of exactly the size
// the reader is given, so a read past it is caught by the sanitizer build.
// ---------------------------------------------------------------------------

// Reads all of buf (size bytes given to the reader) and answers the code
// raised, or 0 when reading ended cleanly.
int ReadAll(const std::vector<unsigned char>& bytes) {
  std::vector<unsigned char> buf(bytes);
  CZqlObjPack r(buf.data(), uint32_t(buf.size()));
  CZqlUcStr text;
  return Raised([&] {
    for (int i = 0; i < 100 && r.getNext() != kZqlPackEnd; ++i) {
      r.getPackedValue(&text);
    }
  });
}

TEST(PackDamage, TruncatedRepliesRaiseInternalError) {
  const auto whole = Pack(FillAll);
  ASSERT_EQ(ReadAll(whole), 0);
  for (size_t n = 1; n < whole.size(); ++n) {
    std::vector<unsigned char> cut(whole.begin(), whole.begin() + n);
    EXPECT_EQ(ReadAll(cut), kZqlErrInternalZQLError) << "cut at " << n;
  }
}

TEST(PackDamage, ItemsCutBehindAConsistentHeader) {
  const auto whole = Pack(FillAll);
  // Item boundaries: a cut there is a shorter, sound buffer.
  std::vector<size_t> ends;
  {
    std::vector<unsigned char> buf(whole);
    CZqlObjPack r(buf.data(), uint32_t(buf.size()));
    for (;;) {
      r.getNext();
      if (r.getType() == kZqlPackNone) break;
      ends.push_back(r.Size());
    }
  }
  for (size_t n = 8; n < whole.size(); ++n) {
    std::vector<unsigned char> cut(whole.begin(), whole.begin() + n);
    SetU32(&cut, 4, uint32_t(n));
    const bool boundary =
        n == 8 || std::find(ends.begin(), ends.end(), n) != ends.end();
    EXPECT_EQ(ReadAll(cut), boundary ? 0 : kZqlErrInternalZQLError)
        << "cut at " << n;
  }
}

TEST(PackDamage, LengthFieldOutsideTheBuffer) {
  auto buf = Pack(FillAll);
  for (uint32_t len : {0u, 7u, uint32_t(buf.size() + 1), 0xFFFFFFFFu}) {
    SetU32(&buf, 4, len);
    EXPECT_EQ(ReadAll(buf), kZqlErrInternalZQLError) << len;
  }
  // A reader's buffer may be larger than the packed content.
  SetU32(&buf, 4, uint32_t(buf.size()));
  buf.resize(buf.size() + 100, 0xEE);
  EXPECT_EQ(ReadAll(buf), 0);
}

TEST(PackDamage, ItemLengthPastTheEnd) {
  auto buf = Pack([](CZqlObjPack* p) { p->add(1, "abc"); });
  uint16_t len = 0xFFFF;
  std::memcpy(buf.data() + 12, &len, 2);
  EXPECT_EQ(ReadAll(buf), kZqlErrInternalZQLError);
  std::vector<unsigned char> b2(buf);
  CZqlObjPack r(b2.data(), uint32_t(b2.size()));
  EXPECT_EQ(Raised([&] { r.setActive(2); }), kZqlErrInternalZQLError);
}

TEST(PackDamage, WithoutATryFrameTheReaderStopsAtTheEnd) {
  auto buf = Pack(FillAll);
  buf.resize(buf.size() - 1);
  CZqlObjPack r(buf.data(), uint32_t(buf.size()));  // length field too big
  EXPECT_EQ(r.getNext(), kZqlPackEnd);
  EXPECT_EQ(r.getPtr(), nullptr);
  EXPECT_EQ(r.setActive(1), 0);
  // The damage is forgotten when a new buffer is attached.
  std::vector<unsigned char> bad(5, 0);
  auto good = Pack([](CZqlObjPack* p) { p->add(3, int32_t{1}); });
  r.setBuffer(bad.data(), uint32_t(bad.size()));
  EXPECT_EQ(Raised([&] { r.getNext(); }), kZqlErrInternalZQLError);
  r.setBuffer(good.data(), uint32_t(good.size()));
  EXPECT_EQ(r.getNext(), 3);
}

// ---------------------------------------------------------------------------
// Byte order
// ---------------------------------------------------------------------------

TEST(CpuByteOrder, MatchesTheMarkerBytesAndPortReverses) {
  const uint32_t marker = kZqlPackMarker;
  unsigned char first;
  std::memcpy(&first, &marker, 1);
  EXPECT_EQ(ZqlCpuByteOrder(), first == 1 ? 1 : 0);
  EXPECT_EQ(ZqlCpuAlignFlag(), ZqlCpuByteOrder());
  // Porting reverses the bytes.
  EXPECT_EQ(ZqlCpuPortShort(0x0102), 0x0201);
  EXPECT_EQ(ZqlCpuPortShort(int16_t(0x80FF)), int16_t(0xFF80));
  EXPECT_EQ(ZqlCpuPortLong(0x01020304), 0x04030201);
  EXPECT_EQ(ZqlCpuPortLong(int32_t(0xFF000080)), int32_t(0x800000FF));
  const double d = -1234.5678;
  const double pd = ZqlCpuPortDouble(d);
  unsigned char a[8], b[8];
  std::memcpy(a, &d, 8);
  std::memcpy(b, &pd, 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(a[i], b[7 - i]);
  EXPECT_EQ(ZqlCpuPortDouble(pd), d);
  const float f = 3.25f;
  EXPECT_EQ(ZqlCpuPortFloat(ZqlCpuPortFloat(f)), f);
  uint32_t fb, pfb;
  const float pf = ZqlCpuPortFloat(f);
  std::memcpy(&fb, &f, 4);
  std::memcpy(&pfb, &pf, 4);
  EXPECT_EQ(uint32_t(ZqlCpuPortLong(int32_t(fb))), pfb);
}

}  // namespace
