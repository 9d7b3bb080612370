// sltformat.h - reading sqllogictest files into records.
//
// A file is a run of records separated by blank lines; '#' starts a comment
// line. Record kinds:
//   statement ok|error             then the SQL (several lines, any ';')
//   query TYPES [SORT] [LABEL]     then the SQL up to "----", then the
//                                  expected values, one per line
//   hash-threshold N
//   halt
// each optionally preceded by "skipif ENGINE" / "onlyif ENGINE" lines.
// CRLF line ends are read as LF; a '#' word on a header line starts a
// trailing comment there. Nothing here touches a database.
#ifndef ZQL_TOOLS_SLTFORMAT_H
#define ZQL_TOOLS_SLTFORMAT_H

#include <cstdint>
#include <string>
#include <vector>

namespace zqlslt {

// Limits on what one file may hold; beyond them a record is malformed.
constexpr size_t kSltMaxLine = 1u << 20;       // bytes of one line
constexpr size_t kSltMaxSql = 1u << 20;        // bytes of one record's SQL
constexpr int64_t kSltMaxValues = 10000000;    // values of one result
constexpr int32_t kSltDefaultThreshold = 8;    // hash-threshold without the record

enum class ESltKind {
  kStatementOk,     // statement ok: the SQL must succeed
  kStatementError,  // statement error: the SQL must fail
  kQuery,           // query: the SQL's result must match
  kHashThreshold,   // hash-threshold N
  kHalt,            // halt: the file ends here (for the engines it applies to)
};

enum class ESltSort {
  kNoSort,     // values in the order the database gave them
  kRowSort,    // rows sorted by their printed values
  kValueSort,  // every value sorted on its own
};

// A skipif (skip = true) or onlyif (skip = false) line.
struct SSltCondition {
  bool skip;
  std::string engine;
};

struct SSltRecord {
  ESltKind kind = ESltKind::kStatementOk;
  int line = 0;  // line of the record's kind word, from 1
  std::vector<SSltCondition> conditions;
  std::string sql;                    // statement and query
  std::string types;                  // query: one letter (I, T, R) per column
  ESltSort sort = ESltSort::kNoSort;  // query
  std::string label;                  // query: empty when none
  // Query: the expected values, or, when hashed, their count and MD5.
  std::vector<std::string> expected;
  bool hashed = false;
  int64_t hashCount = 0;
  std::string hash;  // 32 lower-case hex digits
  int32_t threshold = kSltDefaultThreshold;  // hash-threshold
};

// A record that could not be read: where and why.
struct SSltProblem {
  int line = 0;
  std::string message;
};

// One entry of a file, in file order: a record, or a malformed one.
struct SSltItem {
  bool ok = true;
  SSltRecord record;    // when ok
  SSltProblem problem;  // when not ok
};

// Splits text into its records. A malformed record becomes a problem entry
// and reading goes on after its block. Never throws but std::bad_alloc.
std::vector<SSltItem> SltParse(const std::string& text);

// True when the record's conditions let it run on engine (lower case).
bool SltApplies(const SSltRecord& record, const std::string& engine);

}  // namespace zqlslt

#endif  // ZQL_TOOLS_SLTFORMAT_H
