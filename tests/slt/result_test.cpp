// Printing by type letter, sorting, MD5 and the comparison of results.
#include <gtest/gtest.h>

#include "sltmd5.h"
#include "sltresult.h"

namespace zqlslt {
namespace {

SSltValue Int(int64_t i) {
  SSltValue v;
  v.kind = SSltValue::kInt;
  v.i = i;
  v.text = std::to_string(i);
  return v;
}
SSltValue Real(double r, const char* text) {
  SSltValue v;
  v.kind = SSltValue::kReal;
  v.r = r;
  v.text = text;
  return v;
}
SSltValue Text(const std::string& t) {
  SSltValue v;
  v.kind = SSltValue::kText;
  v.text = t;
  return v;
}

TEST(SltResult, PrintsByTypeLetter) {
  const struct {
    SSltValue v;
    const char* i;
    const char* r;
    const char* t;
  } cases[] = {
      {SSltValue(), "NULL", "NULL", "NULL"},
      {Int(-42), "-42", "-42.000", "-42"},
      {Int(INT64_MAX), "9223372036854775807", "9223372036854776000.000", "9223372036854775807"},
      {Real(2.5, "2.5"), "2", "2.500", "2.5"},
      {Real(-2.9999, "-2.9999"), "-2", "-3.000", "-2.9999"},
      {Real(-0.0001, "-0.0001"), "0", "-0.000", "-0.0001"},
      {Real(-0.0, "-0"), "0", "0.000", "-0"},
      // SQLite's printf keeps 16 significant digits.
      {Real(-9223372036854775808.0, "-9.22337203685478E18"), "-9223372036854775808", "-9223372036854776000.000",
       "-9.22337203685478E18"},
      {Real(-18446744073709551616.0, "x"), "-9223372036854775808", "-18446744073709550000.000", "x"},
      {Real(12345678901234.567, "x"), "12345678901234", "12345678901234.570", "x"},
      {Real(1234567890123.4567, "x"), "1234567890123", "1234567890123.457", "x"},
      {Real(1e300, "1E300"), "9223372036854775807", nullptr, "1E300"},
      {Text(""), "0", "0.000", "(empty)"},
      {Text("abc"), "0", "0.000", "abc"},
      {Text(" 12.75xyz"), "12", "12.750", " 12.75xyz"},
      {Text("-7e2"), "-7", "-700.000", "-7e2"},
      {Text("0x1A"), "0", "0.000", "0x1A"},
      {Text("inf"), "0", "0.000", "inf"},
      {Text("99999999999999999999"), "9223372036854775807", "100000000000000000000.000", "99999999999999999999"},
      {Text("tab\there\x7f"), "0", "0.000", "tab@here@"},
      {Text("caf\xc3\xa9"), "0", "0.000", "caf@@"},  // one '@' per UTF-8 byte
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SltPrint(c.v, 'I'), c.i) << c.v.text;
    if (c.r != nullptr) {
      EXPECT_EQ(SltPrint(c.v, 'R'), c.r) << c.v.text;
    }
    EXPECT_EQ(SltPrint(c.v, 'T'), c.t) << c.v.text;
  }
}

TEST(SltResult, SortsRowsAndValuesByText) {
  const std::vector<std::string> v = {"2", "b", "10", "a", "2", "a"};
  std::vector<std::string> s = v;
  SltSort(&s, 2, ESltSort::kNoSort);
  EXPECT_EQ(s, v);
  SltSort(&s, 2, ESltSort::kRowSort);
  EXPECT_EQ(s, (std::vector<std::string>{"10", "a", "2", "a", "2", "b"}));
  s = v;
  SltSort(&s, 2, ESltSort::kValueSort);
  EXPECT_EQ(s, (std::vector<std::string>{"10", "2", "2", "a", "a", "b"}));
}

TEST(SltResult, Md5OfKnownTexts) {
  const struct {
    std::string in;
    const char* md5;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},  // padding spills into a second block
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) {
    CSltMd5 whole;
    whole.Update(c.in);
    EXPECT_EQ(whole.Hex(), c.md5) << c.in;
    CSltMd5 pieces;  // the same bytes in uneven pieces
    for (size_t i = 0; i < c.in.size(); i += 7) pieces.Update(c.in.substr(i, 7));
    EXPECT_EQ(pieces.Hex(), c.md5) << c.in;
  }
  EXPECT_EQ(SltHash({"a", "b"}), []{ CSltMd5 m; m.Update("a\nb\n"); return m.Hex(); }());
}

TEST(SltResult, ComparesListedAndHashedResults) {
  SSltRecord q;
  q.kind = ESltKind::kQuery;
  q.types = "II";
  q.expected = {"1", "2", "3", "4"};
  EXPECT_TRUE(SltCompare(q, {"1", "2", "3", "4"}).same);
  SSltVerdict v = SltCompare(q, {"1", "2", "3", "5"});
  EXPECT_FALSE(v.same);
  EXPECT_EQ(v.first, "row 2 column 2: expected '4', got '5'");
  EXPECT_EQ(v.expected, "1 2 3 4");
  v = SltCompare(q, {"1", "2"});
  EXPECT_EQ(v.first, "row 2 column 1: expected '3', got nothing");

  q.expected.clear();
  q.hashed = true;
  q.hashCount = 4;
  q.hash = SltHash({"1", "2", "3", "4"});
  EXPECT_TRUE(SltCompare(q, {"1", "2", "3", "4"}).same);
  v = SltCompare(q, {"1", "2", "4", "3"});
  EXPECT_FALSE(v.same);
  EXPECT_EQ(v.got, "4 values hashing to " + SltHash({"1", "2", "4", "3"}));
  EXPECT_EQ(SltCompare(q, {"1", "2"}).first, "value count 2 instead of 4");
}

}  // namespace
}  // namespace zqlslt
