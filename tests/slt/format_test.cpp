// The reader of sqllogictest files: every record kind, the header words,
// CRLF, comments, and one malformed record of each kind between good ones.
#include <gtest/gtest.h>

#include "sltformat.h"

namespace zqlslt {
namespace {

TEST(SltFormat, ReadsEveryRecordKind) {
  const std::string text =
      "# a comment\n"
      "hash-threshold 4\n"
      "\n"
      "statement ok\n"
      "CREATE TRIGGER r UPDATE ON t BEGIN SELECT 1;\n"
      "  END;\n"
      "\n"
      "skipif mysql # trailing comment\n"
      "onlyif SQLite\n"
      "statement error\n"
      "DROP TABLE nosuch\n"
      "\n\n"
      "query ITR rowsort label-7\n"
      "SELECT 1, 'a', 2.5\n"
      "----\n"
      "1\n"
      "a\n"
      "2.500\n"
      "\n"
      "query I\n"
      "SELECT x FROM t\n"
      "----\n"
      "30 values hashing to 3c13dee48d9356ae19af2515e05e6b54\n"
      "\n"
      "query T valuesort\n"
      "SELECT y FROM t\n"
      "----\n"
      "\n"
      "halt\n";
  const std::vector<SSltItem> items = SltParse(text);
  ASSERT_EQ(items.size(), 7u);
  for (const SSltItem& i : items) ASSERT_TRUE(i.ok) << i.problem.line << ": " << i.problem.message;
  EXPECT_EQ(items[0].record.kind, ESltKind::kHashThreshold);
  EXPECT_EQ(items[0].record.threshold, 4);
  EXPECT_EQ(items[1].record.kind, ESltKind::kStatementOk);
  EXPECT_EQ(items[1].record.sql, "CREATE TRIGGER r UPDATE ON t BEGIN SELECT 1;\n  END;");
  EXPECT_EQ(items[1].record.line, 4);
  const SSltRecord& err = items[2].record;
  EXPECT_EQ(err.kind, ESltKind::kStatementError);
  ASSERT_EQ(err.conditions.size(), 2u);
  EXPECT_TRUE(err.conditions[0].skip);
  EXPECT_EQ(err.conditions[0].engine, "mysql");
  EXPECT_EQ(err.conditions[1].engine, "sqlite");
  EXPECT_EQ(err.line, 10);
  const SSltRecord& q = items[3].record;
  EXPECT_EQ(q.types, "ITR");
  EXPECT_EQ(q.sort, ESltSort::kRowSort);
  EXPECT_EQ(q.label, "label-7");
  EXPECT_EQ(q.expected, (std::vector<std::string>{"1", "a", "2.500"}));
  const SSltRecord& h = items[4].record;
  EXPECT_EQ(h.sort, ESltSort::kNoSort);
  EXPECT_TRUE(h.hashed);
  EXPECT_EQ(h.hashCount, 30);
  EXPECT_EQ(h.hash, "3c13dee48d9356ae19af2515e05e6b54");
  EXPECT_TRUE(items[5].record.expected.empty());  // "----" then a blank line: no rows
  EXPECT_EQ(items[5].record.sort, ESltSort::kValueSort);
  EXPECT_EQ(items[6].record.kind, ESltKind::kHalt);
}

TEST(SltFormat, CrLfLinesReadAsLf) {
  const std::vector<SSltItem> items =
      SltParse("statement ok\r\nCREATE TABLE t(x)\r\n\r\nquery I nosort\r\nSELECT 1\r\n----\r\n1\r\n");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].record.sql, "CREATE TABLE t(x)");
  EXPECT_EQ(items[1].record.expected, std::vector<std::string>{"1"});
}

TEST(SltFormat, ConditionsSelectEngines) {
  SSltRecord r;
  EXPECT_TRUE(SltApplies(r, "sqlite"));
  r.conditions = {{true, "mysql"}, {true, "mssql"}};
  EXPECT_TRUE(SltApplies(r, "sqlite"));
  EXPECT_FALSE(SltApplies(r, "mysql"));
  r.conditions = {{false, "sqlite"}};
  EXPECT_TRUE(SltApplies(r, "sqlite"));
  EXPECT_FALSE(SltApplies(r, "postgresql"));
}

// Each malformed record gives its line and message; the good record after
// it is still read.
TEST(SltFormat, MalformedRecordsNameTheirLine) {
  const struct {
    const char* block;
    const char* message;
  } cases[] = {
      {"selectx ok\nSELECT 1", "unknown record kind 'selectx'"},
      {"query I nosort\nSELECT 1\n1", "query without a '----' line"},
      {"query IX nosort\nSELECT 1\n----\n1", "unknown type letter 'X' in 'IX' (I, T or R)"},
      {"query II nosort\nSELECT 1, 2\n----\n1\n2\n3", "3 values do not make rows of 2 columns ('II')"},
      {"query I upsidedown\nSELECT 1\n----\n1", "unknown sort mode 'upsidedown' (nosort, rowsort or valuesort)"},
      {"query\nSELECT 1\n----", "'query' needs a type string"},
      {"query I nosort\n----\n1", "query without SQL"},
      {"statement maybe\nSELECT 1", "'statement' must be followed by 'ok' or 'error'"},
      {"statement ok", "statement without SQL"},
      {"skipif\nstatement ok\nSELECT 1", "'skipif' needs exactly one engine name"},
      {"onlyif sqlite", "'onlyif' is not followed by a record"},
      {"hash-threshold 99999999999", "'hash-threshold' needs a number from 0 to 2147483647"},
      {"hash-threshold -1", "'hash-threshold' needs a number from 0 to 2147483647"},
      {"halt now", "unexpected 'now' after 'halt'"},
      {"query I nosort\nSELECT 1\n----\n99999999999 values hashing to 3c13dee48d9356ae19af2515e05e6b54",
       "result of 99999999999 values is too large"},
  };
  for (const auto& c : cases) {
    const std::string text = std::string("statement ok\nSELECT 0\n\n") + c.block + "\n\nstatement ok\nSELECT 2\n";
    const std::vector<SSltItem> items = SltParse(text);
    ASSERT_EQ(items.size(), 3u) << c.block;
    EXPECT_TRUE(items[0].ok);
    EXPECT_FALSE(items[1].ok) << c.block;
    EXPECT_EQ(items[1].problem.message, c.message);
    EXPECT_GE(items[1].problem.line, 4) << c.block;
    ASSERT_TRUE(items[2].ok) << c.block;
    EXPECT_EQ(items[2].record.sql, "SELECT 2");
  }
}

TEST(SltFormat, HugeLinesAreRefused) {
  const std::string big(kSltMaxLine + 1, 'x');
  const std::vector<SSltItem> items = SltParse("query T nosort\nSELECT 1\n----\n" + big + "\n");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_FALSE(items[0].ok);
  EXPECT_EQ(items[0].problem.line, 4);
  EXPECT_EQ(SltParse("statement ok\n" + big).front().problem.message, "line longer than 1048576 bytes");
  EXPECT_EQ(SltParse(std::string("statement ok\nSELECT '\0'", 22)).front().problem.message, "NUL byte in the line");
}

}  // namespace
}  // namespace zqlslt
