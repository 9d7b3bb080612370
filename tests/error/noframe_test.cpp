// Library entries called with no try frame and no exception handler open.
// A fault inside (a bad argument, an exhausted allocator) must come back as
// the entry's failure value with the code recorded, never as a crash or as a
// transfer escaping into the caller.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "objpack.h"
#include "salloc.h"
#include "zqlappl.h"
#include "zqlconf.h"
#include "zqldda.h"
#include "zqlio.h"
#include "zqlxmf.h"

namespace {

constexpr int kAnyCode = -1;  // some code must be recorded, whichever

struct SCase {
  const char* name;
  int code;                     // expected ZqlTryCode() after the call
  std::function<bool()> fails;  // the call; true when it answered failure
};

const unsigned short kHan[] = {0x4E00, 0};  // not in "ascii"

const SCase kBadArguments[] = {
    {"string copy of null text", kZqlErrInvalidFunctionArguments,
     [] { CZqlUcStr s("abc"); s.Copy(static_cast<const char*>(nullptr)); return s.Length() == 0; }},
    {"string index past the end", kZqlErrIndexInOutOfRange,
     [] { CZqlUcStr s("abc"); return s[7] == 0; }},
    {"string update of the empty string", kZqlErrInvalidCZqlUcStrObject,
     [] { CZqlUcStr s; s.Update(0, static_cast<unsigned short>('x')); return s.Length() == 0; }},
    {"string search for null", kZqlErrInvalidFunctionArguments,
     [] { return CZqlUcStr("abc").FindFirst(static_cast<const char*>(nullptr)) == -1; }},
    {"string copy in an unknown set", kAnyCode,
     [] { CZqlUcStr s("abc"); s.Copy("x", "no-such-set"); return s.Length() == 0; }},
    {"unknown character set", kAnyCode, [] { return ZqlUcGetIdCCT("no-such-set") == 0; }},
    {"checked conversion of an unmappable unit", kZqlErrCharacterNotInRepertoire,
     [] {
       char buf[16];
       return ZqlUcUc2ChChkCCT(buf, sizeof buf, kHan, -1, 0) == -1 && buf[0] == 0;
     }},
    {"unknown collation", kAnyCode, [] { return ZqlUcGetIdCLT("no-such-collation") == 0; }},
    {"collation compare of null", kZqlErrInvalidFunctionArguments,
     [] { return ZqlUcCiStrcmp(0, nullptr, kHan) == 0; }},
    {"INTEGER out of range", kZqlErrNumericValueOutOfRange,
     [] { CZqlInt v; return v.storeValue(1e12) == 0 && v.isNull(); }},
    {"SMALLINT increment at its maximum", kZqlErrNumericValueOutOfRange,
     [] {
       CZqlSmallInt v;
       v.storeValue(static_cast<short>(32767));
       ++v;
       return v.intValue() == 32767;
     }},
    {"division by zero", kZqlErrDivisionByZero,
     [] {
       CZqlInt a;
       CZqlInt zero;
       a.storeValue(7L);
       zero.storeValue(0L);
       return (a / zero).isNull() && a.intValue() == 7;
     }},
    {"DATE from a bad text", kAnyCode,
     [] { CZqlDate d; return d.storeValue("2020-13-45", 11) == 0 && d.isNull(); }},
    {"day-time interval of a year-month type", kZqlErrInvalidFunctionArguments,
     [] { return CZqlDT(kZqlIYear).IntervalType() == kZqlINone; }},
    {"TRIM by two characters", kZqlErrTrimError,
     [] {
       CZqlChar text(5);
       CZqlChar trim(2);
       text.storeValue("ab", 2);
       trim.storeValue("xy", 2);
       return text.Trim(kZqlTrimBoth, trim).isNull();
     }},
    {"row column past the end", kZqlErrInvalidDescriptorIndex,
     [] {
       CZqlRow row(2);
       const CZqlColumn* first = &row[0];
       const CZqlColumn* second = &row[1];
       const CZqlColumn* wrong = &row[5];  // the sentinel
       return wrong != first && wrong != second;
     }},
    {"descriptor area without body", kZqlErrInvalidCZqlDDAObject,
     [] { CZqlDDA dda; return dda.ColCount() == 0 && dda.ColDsc(0) == nullptr; }},
    {"damaged pack", kZqlErrInternalZQLError,
     [] {
       std::vector<unsigned char> bad(5, 0);
       CZqlObjPack pack(bad.data(), static_cast<uint32_t>(bad.size()));
       return pack.getNext() == kZqlPackEnd;
     }},
    {"data descriptor from no pack", kZqlErrInvalidFunctionArguments,
     [] { return ZqlUnpackDataDescriptor(nullptr, 10) == nullptr; }},
    {"read from a closed file", kZqlErrInternalZQLError,
     [] { CZqlFile f; char buf[4]; return f.Read(buf, sizeof buf) == -1; }},
    {"open of a missing file", kZqlErrOperatingSystemError,
     [] { CZqlFile f; return f.Open("/no-such-dir/no-such-file", 0) == 0; }},
    {"configuration read of a null section", kZqlErrInvalidFunctionArguments,
     [] {
       CZqlConfig config;
       CZqlUcStr value;
       return config.readCfgString(nullptr, "Key", &value) == 0;
     }},
    {"message file that is not there", kAnyCode,
     [] { CZqlXmfUtil reader; return reader.Init("/no-such-dir/none.xmx") == 0; }},
};

bool NothingOpen() { return ZqlTryLevel() == -1 && ZqlExceptionHandlerReady() == 0; }

TEST(NoFrame, BadArgumentsAnswerFailure) {
  for (const SCase& c : kBadArguments) {
    ASSERT_TRUE(NothingOpen()) << c.name;
    bool failed = false;
    EXPECT_NO_THROW(failed = c.fails()) << c.name;
    EXPECT_TRUE(failed) << c.name;
    if (c.code == kAnyCode)
      EXPECT_NE(ZqlTryCode(), 0) << c.name;
    else
      EXPECT_EQ(ZqlTryCode(), c.code) << c.name;
    EXPECT_TRUE(NothingOpen()) << c.name;
  }
}

// Work that allocates along several roads; each must survive the failure of
// any one of its requests. Answers whether the work came through whole.
const std::pair<const char*, std::function<bool()>> kAllocating[] = {
    {"string copy and append",
     [] {
       CZqlUcStr s(std::string(300, 'a').c_str());
       s.Append(std::string(300, 'b').c_str());
       s.toUpper();
       return s.Length() == 600;
     }},
    {"CHARACTER store and concatenation",
     [] {
       CZqlChar a(40);
       CZqlChar b(40);
       a.storeValue("left", 4);
       b.storeValue("right", 5);
       CZqlUcStr text;
       return (a + b).getValue(&text) == 1 && text.Length() == 80;
     }},
    {"interval text and literal",
     [] {
       CZqlDT v(kZqlIDayToSecond, 2, 3);
       CZqlUcStr literal;
       return v.storeValue("1 02:03:04.5", 12) == 1 && v.SQLLiteral(&literal) == 1;
     }},
    {"descriptor area with columns",
     [] {
       CZqlDDA dda;
       return dda.Init(4) == 1 && dda.AllocColDsc(3) == 1 && dda.ColCount() == 3;
     }},
    {"row, its copy and its sentinel",
     [] {
       CZqlRow row(6);
       CZqlRow copy(row);
       return copy.ColNum() == 6 && copy[6].Name().Length() > 0;
     }},
};

TEST(NoFrame, EveryAllocationMayFail) {
  for (const auto& [name, work] : kAllocating) {
    for (long n = 1;; ++n) {
      bool whole = false;
      TEST_ZqlMemoryFailAt(n);
      EXPECT_NO_THROW(whole = work()) << name << ", request " << n;
      const long calls = TEST_ZqlMemoryCalls();
      TEST_ZqlMemoryFailAt(0);
      ASSERT_TRUE(NothingOpen()) << name << ", request " << n;
      if (calls < n) {  // no request failed: the work must be whole
        EXPECT_TRUE(whole) << name;
        EXPECT_GT(n, 1) << name;  // the work allocates at all
        break;
      }
      ASSERT_LT(n, 500) << name;
    }
  }
}

}  // namespace
