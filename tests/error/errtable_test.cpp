// The error code table, SQLSTATEs and message texts.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "data/common.h"
#include "zqlclass.h"

namespace {

std::string State(int code) {
  char out[6] = "#####";
  EXPECT_EQ(ZqlMakeSQLSTATE(code, out), 1);
  return std::string(out, 5);
}

struct Row {
  int code;
  int msgno;
  const char* text;
};

// A sample of the published table, written out independently of the table
// file the library is built from.
const Row kSample[] = {
    {0x0101, 1, "cursor operation conflict"},
    {0x0704, 16, "using clause required for dynamic parameter"},
    {0x0708, 20, "invalid descriptor count"}, {0x0709, 21, "invalid descriptor index"},
    {0x070A, 294, "statement was not prepared"}, {0x0803, 25, "connection does not exist"},
    {0x0804, 26, "SQL-server rejected establishment of SQL-connection"},
    {0x0805, 27, "connection error"}, {0x0806, 28, "connection failure"},
    {0x0A00, 31, "feature not supported"}, {0x2100, 33, "cardinality violation"},
    {0x2206, 40, "invalid fetch sequence"}, {0x2208, 42, "datetime field overflow"},
    {0x220A, 44, "undefined"}, {0x220B, 45, "substring error"},
    {0x220E, 48, "invalid interval format"}, {0x2216, 56, "indicator overflow"},
    {0x2219, 59, "invalid escape sequence"}, {0x2400, 63, "invalid cursor state"},
    {0x2405, 309, "curor is not positioned on row"}, {0x2502, 303, "transaction is in-active"},
    {0x3700, 75, "syntax error or access rule violation in dynamic SQL statement"},
    {0x3704, 79, "wrong hexadecimal digit"}, {0x370D, 88, "expression expected"},
    {0x3711, 92, "misleading star symbol"}, {0x3715, 96, "expected USING keyword"},
    {0x3716, 97, "form-of-use or translation name expected"}, {0x371F, 106, "NULL expected"},
    {0x3738, 131, "wrong overlaps operand degree"}, {0x3741, 140, "wrong scale"},
    {0x3744, 143, "ORDER BY expected"}, {0x3749, 148, "wrong table name"},
    {0x375F, 170, "missing ROWS keyword"}, {0x3762, 173, "keyword DEFERRABLE expected"},
    {0x376E, 185, "no column definitions"}, {0x376F, 186, "missing alter action"},
    {0x377A, 197, "collation expected"}, {0x377D, 200, "missing ON keyword"},
    {0x377E, 201, "GRANT OPTION expected"}, {0x3782, 205, "ALL PRIVILEGES expected"},
    {0x37A2, 328, "Missing LEVEL keyword"}, {0x37A7, 337, "misleading character set name"},
    {0x4200, 216, "syntax error or access rule violation"}, {0x8000, 218, "Remote Database Access"},
    {0xA001, 220, "unable to initialize ZQL"},
    {0xA005, 224, "initialization file has errors or is corrupted"},
    {0xA007, 226, "invalid environment parameter in ZQL.INI"}, {0xA00A, 229, "stack underflow"},
    {0xA00B, 230, "invalid function arguments"}, {0xA00D, 232, "function not supported"},
    {0xA00E, 233, "internal TRY/CATCH table overflow"}, {0xA011, 236, "index in [] out of range"},
    {0xA014, 239, "EOF found"}, {0xA016, 325, "Record is locked by another cursor"},
    {0xA017, 326, "Table is locked by another cursor"},
    {0xA018, 333, "Native statement cannot be prepared"}, {0xB006, 248, "invalid file handle"},
    {0xB00B, 253, "these parameters not supported in protected mode driver: -NOPAGE and -REALBREAK or -OFFSET"},
    {0xB00C, 254, "out of physical memory"},
    {0xB011, 259, "insufficient conventional memory space"},
    {0xB017, 265, "server died, connection lost"}, {0xCF00, 278, "Exception raised by DBMS driver"},
};

TEST(ErrorTable, SampleMatchesPublishedCodesNumbersAndTexts) {
  for (const Row& r : kSample) {
    SCOPED_TRACE(r.code);
    EXPECT_EQ(ZqlErrorMessageNumber(r.code), r.msgno);
    ASSERT_NE(ZqlErrorDefaultText(r.code), nullptr);
    EXPECT_STREQ(ZqlErrorDefaultText(r.code), r.text);
    CZqlUcStr msg;
    EXPECT_EQ(ZqlMakeErrorMessage(r.code, &msg), 1);
    EXPECT_EQ(Str(msg), r.text);
  }
}

TEST(ErrorTable, HasEveryCodeOnceInAscendingOrderWithDistinctNumbers) {
  ASSERT_EQ(ZqlErrorCodeCount(), 347);
  bool seen[400] = {};
  for (int i = 0; i < ZqlErrorCodeCount(); ++i) {
    if (i > 0) {
      EXPECT_LT(ZqlErrorCodeAt(i - 1), ZqlErrorCodeAt(i));
    }
    const int no = ZqlErrorMessageNumber(ZqlErrorCodeAt(i));
    ASSERT_GT(no, 0);
    ASSERT_LT(no, 400);
    EXPECT_FALSE(seen[no]) << "message number used twice: " << no;
    seen[no] = true;
  }
  // 1..349 are used except 241 (unused) and 279 (unknown codes).
  for (int no = 1; no <= 349; ++no)
    EXPECT_EQ(seen[no], no != 241 && no != 279) << no;
}

TEST(Sqlstate, FollowsTheClassAndDecimalSubclassRule) {
  // The subclass is decimal: 0x3719 -> 37025. The enumerators' rows pin
  // their codes too (0xA008, 0xA00E, 0xB022, 0xCF00).
  const std::pair<int, const char*> cases[] = {
      {0x0101, "01001"}, {0x2402, "24002"}, {0x3719, "37025"}, {0x3C00, "3C000"},
      {0xB023, "B0035"}, {0, "00000"},      {-1, "FFFFF"},     {0x37AC, "37172"},
      {0x8000, "80000"}, {kZqlErrInsufficientMemory, "A0008"},
      {kZqlErrInternalTRYCATCHTableOverflow, "A0014"}, {kZqlErrOperatingSystemError, "B0034"},
      {kZqlErrExceptionRaisedByDBMSDriver, "CF000"}};
  for (const auto& [code, state] : cases) EXPECT_EQ(State(code), state) << code;
}

TEST(Sqlstate, WritesExactlyFiveCharactersAndRejectsNull) {
  char out[8];
  std::memset(out, '#', sizeof out);
  ZqlMakeSQLSTATE(0x2402, out);
  EXPECT_EQ(std::string(out, 6), "24002#");
  EXPECT_EQ(ZqlMakeSQLSTATE(0x2402, nullptr), 0);
}

TEST(Message, ZeroIsEmptyUnknownIsUndefinedNullOutFails) {
  CZqlUcStr msg("old text");
  EXPECT_EQ(ZqlMakeErrorMessage(0, &msg), 1);
  EXPECT_EQ(msg.Length(), 0);
  EXPECT_EQ(ZqlMakeErrorMessage(0x070B, &msg), 1);
  EXPECT_EQ(Str(msg), "undefined error code");
  EXPECT_EQ(ZqlMakeErrorMessage(0xA008, nullptr), 0);
}

}  // namespace
