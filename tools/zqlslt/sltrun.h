// sltrun.h - running sqllogictest records through the ZQL client library.
//
// Every file runs on its own connection of one application object: a
// `statement` through immediate execution, a `query` through a prepared
// statement and a non-scroll cursor, so every value crosses the dispatcher,
// the transport and a driver process. Each record is one transaction, as
// the format's records stand on their own: committed after SQL the
// database ran, rolled back after SQL it refused.
#ifndef ZQL_TOOLS_SLTRUN_H
#define ZQL_TOOLS_SLTRUN_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "sltformat.h"
#include "sltresult.h"

class CZqlAppl;
class CZqlSession;
class CZqlSQLObject;

namespace zqlslt {

struct SSltOptions {
  std::string env;              // environment of "zql.ini"
  std::string engine = "sqlite";  // name the skipif/onlyif lines are matched against
  bool verbose = false;         // a line for every record, not only failures
  int timeout = 60;             // seconds a record may take
};

struct SSltCounts {
  int64_t passed = 0;
  int64_t failed = 0;
  int64_t skipped = 0;
  SSltCounts& operator+=(const SSltCounts& o) {
    passed += o.passed;
    failed += o.failed;
    skipped += o.skipped;
    return *this;
  }
};

class CSltWatchdog;

// Runs files and writes one line per failing record (every record when
// verbose) and a summary line per file to out.
class CSltRunner {
 public:
  CSltRunner(const SSltOptions& options, FILE* out);
  ~CSltRunner();
  CSltRunner(const CSltRunner&) = delete;
  CSltRunner& operator=(const CSltRunner&) = delete;

  // Starts the client library: true, or false with a message on out.
  bool Start();
  // Runs one file on a fresh database: its records' counts. A file that
  // cannot be read or connected counts as one failure.
  SSltCounts RunFile(const std::string& path);

 private:
  struct SFile;
  void record(SFile* f, const SSltRecord& r);
  // Each runs r: true when it passed, else false with why; *accepted
  // false when the database refused the SQL.
  bool statement(SFile* f, const SSltRecord& r, std::string* why, bool* accepted);
  bool query(SFile* f, const SSltRecord& r, std::string* why, bool* accepted);
  // Runs sql as a cursor, every value printed as text; false with why.
  bool rows(CZqlSession* s, const std::string& sql, const std::string& types,
            std::vector<std::string>* out, std::string* why);
  bool freshDatabase(CZqlSession* s, std::string* why);
  void fail(SFile* f, const SSltRecord& r, const std::string& why);

  SSltOptions options_;
  FILE* out_;
  std::unique_ptr<CZqlAppl> app_;
  std::unique_ptr<CSltWatchdog> watchdog_;
  int64_t cursors_ = 0;  // cursor names issued
};

// The code and message of an object's most recent condition, as text.
std::string SltCondition(const CZqlSQLObject& o);

}  // namespace zqlslt

#endif  // ZQL_TOOLS_SLTRUN_H
