// Records through the client library: sessions, immediate statements,
// prepared statements with cursors, and the per-record time limit.
#include "sltrun.h"

#include <algorithm>
#include <pthread.h>
#include <sys/stat.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "zqlappl.h"

namespace zqlslt {
namespace {

using Clock = std::chrono::steady_clock;

// Files larger than this are refused whole.
constexpr std::streamoff kMaxFile = std::streamoff(256) << 20;

// UTF-8 to the library's 16-bit units; a malformed byte becomes U+FFFD.
std::vector<unsigned short> Utf16(const std::string& s) {
  std::vector<unsigned short> out;
  out.reserve(s.size() + 1);
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t n = 1;
    if (c < 0x80) cp = c;
    else if ((c >> 5) == 6) n = 2, cp = c & 0x1F;
    else if ((c >> 4) == 14) n = 3, cp = c & 0x0F;
    else if ((c >> 3) == 30) n = 4, cp = c & 0x07;
    if (n > 1) {
      if (i + n > s.size()) n = 1, cp = 0xFFFD;
      for (size_t k = 1; k < n; ++k) {
        const unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t >> 6) != 2) { n = 1; cp = 0xFFFD; break; }
        cp = (cp << 6) | (t & 0x3F);
      }
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<unsigned short>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<unsigned short>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<unsigned short>(cp));
    }
  }
  out.push_back(0);
  return out;
}

CZqlUcStr Uc(const std::string& s) { return CZqlUcStr(Utf16(s).data()); }

// The library's 16-bit units as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8(const CZqlUcStr& s) {
  std::string out;
  const unsigned short* u = s.UcStr();
  const int n = s.Length();
  for (int i = 0; i < n; ++i) {
    uint32_t cp = u[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n && u[i + 1] >= 0xDC00 && u[i + 1] < 0xE000)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (u[++i] - 0xDC00);
    else if (cp >= 0xD800 && cp < 0xE000)
      cp = 0xFFFD;
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

// A text of sign and decimal digits only, within 64 bits, into *out.
bool PlainInteger(const std::string& t, int64_t* out) {
  size_t i = t[0] == '-' || t[0] == '+' ? 1 : 0;
  if (i == t.size()) return false;
  for (size_t k = i; k < t.size(); ++k)
    if (t[k] < '0' || t[k] > '9') return false;
  errno = 0;
  *out = std::strtoll(t.c_str(), nullptr, 10);
  return errno == 0;
}

// A value of the current row as the printer takes it. Reading a value may
// raise (a number out of range), so it runs in a frame of its own.
bool ValueOf(const CZqlData* d, SSltValue* out, std::string* why) {
  *out = SSltValue();
  if (d == nullptr || d->isNull()) return true;
  const int ok = ZqlTry([&] {
    CZqlUcStr text;
    d->getValue(&text);
    out->text = Utf8(text);
    const int type = d->Type();
    if (type == kZqlTypeInteger || type == kZqlTypeSmallInt) {
      long v = 0;
      d->getValue(&v);
      out->kind = SSltValue::kInt;
      out->i = v;
    } else if (d->is_exactnumeric() && d->Scale() == 0 && PlainInteger(out->text, &out->i)) {
      // NUMERIC(p, 0) may exceed 32 bits: taken from its text, unless that
      // is an approximation (the value is held as a double).
      out->kind = SSltValue::kInt;
    } else if (d->is_numeric()) {
      double v = 0;
      d->getValue(&v);
      out->kind = SSltValue::kReal;
      out->r = v;
    } else {
      out->kind = SSltValue::kText;
    }
  });
  if (!ok) *why = "value does not read (code " + std::to_string(ZqlTryCode()) + ")";
  return ok == 1;
}

// SQL on one line, at most 200 characters, for the failure lines.
std::string OneLine(const std::string& sql) {
  std::string out;
  for (char c : sql) {
    if (c == '\n' || c == '\t') c = ' ';
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out.push_back(c);
  }
  return out.size() > 200 ? out.substr(0, 197) + "..." : out;
}

std::string Hex(int code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04X", static_cast<unsigned>(code));
  return buf;
}

}  // namespace

std::string SltCondition(const CZqlSQLObject& o) {
  if (o.CondQty() == 0) return "failure without a condition";
  std::string out = "error " + Hex(o.Err(0));
  if (const char* state = o.SQLSTATE(0)) out += std::string(" [") + state + "]";
  if (const CZqlUcStr* msg = o.ErrMsg(0)) out += ": " + Utf8(*msg);
  return out;
}

// ---------------------------------------------------------------------------
// Time limit
// ---------------------------------------------------------------------------

// Watches the record under way from a thread of its own. At its limit the
// record's session is cancelled (the session's Cancel goes to the driver
// out of band, while the main thread waits for it), so the running
// statement fails; a record that overran its limit is counted failed when
// it returns. One that has not returned after twice its limit ends the run,
// so it never hangs.
class CSltWatchdog {
 public:
  // The thread starts with every signal blocked: the driver's replies
  // (SIGUSR1) are sent to the process and must reach the main thread's
  // wait, never this one.
  explicit CSltWatchdog(int seconds) : limit_(seconds) {
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    thread_ = std::thread([this] { watch(); });
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
  }
  ~CSltWatchdog() {
    {
      std::lock_guard<std::mutex> lock(m_);
      stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

  void Arm(const std::string& where, CZqlSession* session) {
    std::lock_guard<std::mutex> lock(m_);
    where_ = where;
    session_ = session;
    start_ = Clock::now();
    armed_ = true;
    cv_.notify_all();
  }
  // Disarms; true when the record overran its limit.
  bool Disarm() {
    std::lock_guard<std::mutex> lock(m_);
    armed_ = false;
    cv_.notify_all();
    return Clock::now() - start_ > std::chrono::seconds(limit_);
  }
  int Limit() const { return limit_; }

 private:
  void watch() {
    std::unique_lock<std::mutex> lock(m_);
    while (!stop_) {
      if (!armed_) {
        cv_.wait(lock);
        continue;
      }
      const Clock::time_point began = start_;
      auto over = [&] { return stop_ || !armed_ || start_ != began; };
      if (cv_.wait_until(lock, began + std::chrono::seconds(limit_), over)) continue;
      // Again and again: a record makes several requests, and each may run.
      const Clock::time_point hard = began + std::chrono::seconds(2 * limit_);
      bool ended = false;
      while (!ended && Clock::now() < hard) {
        if (session_ != nullptr) session_->Cancel();
        ended = cv_.wait_until(lock, std::min(hard, Clock::now() + std::chrono::milliseconds(100)), over);
      }
      if (ended) continue;
      std::fprintf(stderr, "%s: no answer after %d s (limit %d s); ending the run\n", where_.c_str(),
                   2 * limit_, limit_);
      std::fflush(nullptr);
      _exit(1);
    }
  }

  const int limit_;
  std::mutex m_;
  std::condition_variable cv_;
  bool stop_ = false;
  bool armed_ = false;
  Clock::time_point start_;
  std::string where_;
  CZqlSession* session_ = nullptr;  // of the record under way
  std::thread thread_;
};

// ---------------------------------------------------------------------------
// Runner
// ---------------------------------------------------------------------------

struct CSltRunner::SFile {
  std::string path;
  CZqlSession* session = nullptr;
  SSltCounts counts;
  int32_t threshold = kSltDefaultThreshold;
  // Label -> the hashed result of its first query, and that query's line.
  std::map<std::string, std::pair<std::string, int>> labels;
};

CSltRunner::CSltRunner(const SSltOptions& options, FILE* out) : options_(options), out_(out) {}

CSltRunner::~CSltRunner() {
  watchdog_.reset();
  if (app_) app_->Term();
}

bool CSltRunner::Start() {
  app_.reset(new CZqlAppl);
  if (app_->Init() != 1) {
    std::fprintf(out_, "zqlslt: the client library does not start: %s\n", SltCondition(*app_).c_str());
    return false;
  }
  watchdog_.reset(new CSltWatchdog(options_.timeout));
  return true;
}

void CSltRunner::fail(SFile* f, const SSltRecord& r, const std::string& why) {
  ++f->counts.failed;
  std::string text = why;  // one line, whatever the database's message holds
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  std::fprintf(out_, "%s:%d: FAIL %s | %s\n", f->path.c_str(), r.line, OneLine(r.sql).c_str(), text.c_str());
}

SSltCounts CSltRunner::RunFile(const std::string& path) {
  SFile f;
  f.path = path;
  struct stat st;
  const char* refusal = nullptr;
  if (stat(path.c_str(), &st) != 0) refusal = "cannot read the file";
  else if (!S_ISREG(st.st_mode)) refusal = "not a regular file";
  else if (st.st_size > kMaxFile) refusal = "file larger than 256 MiB";
  std::ifstream in(path, std::ios::binary);
  if (refusal == nullptr && !in) refusal = "cannot read the file";
  const std::streamoff size = refusal == nullptr ? static_cast<std::streamoff>(st.st_size) : 0;
  if (refusal != nullptr) {
    std::fprintf(out_, "%s: %s\n", path.c_str(), refusal);
    f.counts.failed = 1;
    return f.counts;
  }
  std::string text(static_cast<size_t>(size), '\0');
  in.read(&text[0], size);
  text.resize(static_cast<size_t>(in.gcount()));
  const std::vector<SSltItem> items = SltParse(text);

  CZqlSession session(app_.get());
  std::string why;
  if (session.Connect(Uc(options_.env), CZqlUcStr(), CZqlUcStr()) != 1) {
    std::fprintf(out_, "%s: cannot connect to %s: %s\n", path.c_str(), options_.env.c_str(),
                 SltCondition(session).c_str());
    f.counts.failed = 1;
    return f.counts;
  }
  f.session = &session;
  if (!freshDatabase(&session, &why)) {
    std::fprintf(out_, "%s: no fresh database: %s\n", path.c_str(), why.c_str());
    f.counts.failed = 1;
  } else {
    bool halted = false;
    for (const SSltItem& item : items) {
      if (!item.ok) {
        ++f.counts.failed;
        std::fprintf(out_, "%s:%d: malformed record: %s\n", path.c_str(), item.problem.line,
                     item.problem.message.c_str());
        continue;
      }
      const SSltRecord& r = item.record;
      const bool runs = r.kind != ESltKind::kHashThreshold && r.kind != ESltKind::kHalt;
      if (halted || !SltApplies(r, options_.engine)) {
        if (runs) ++f.counts.skipped;
        if (runs && options_.verbose)
          std::fprintf(out_, "%s:%d: skip %s\n", path.c_str(), r.line, OneLine(r.sql).c_str());
        continue;
      }
      if (r.kind == ESltKind::kHashThreshold) f.threshold = r.threshold;
      else if (r.kind == ESltKind::kHalt) halted = true;
      else record(&f, r);
    }
  }
  session.Rollback();
  session.Disconnect();
  std::fprintf(out_, "%s: %lld passed, %lld failed, %lld skipped\n", path.c_str(),
               static_cast<long long>(f.counts.passed), static_cast<long long>(f.counts.failed),
               static_cast<long long>(f.counts.skipped));
  return f.counts;
}

void CSltRunner::record(SFile* f, const SSltRecord& r) {
  std::string why;
  bool accepted = true;  // the database ran the SQL
  watchdog_->Arm(f->path + ":" + std::to_string(r.line), f->session);
  bool ok = r.kind == ESltKind::kQuery ? query(f, r, &why, &accepted) : statement(f, r, &why, &accepted);
  // Every record is a transaction of its own, as if the database committed
  // each statement it ran; one it refused leaves nothing.
  if (accepted && r.kind != ESltKind::kQuery && f->session->Commit() != 1) {
    ok = accepted = false;
    why = "COMMIT WORK fails: " + SltCondition(*f->session);
  }
  if (!accepted) f->session->Rollback();
  if (watchdog_->Disarm() && ok) {
    ok = false;
    why = "took longer than the limit of " + std::to_string(watchdog_->Limit()) + " s";
  }
  if (!ok) {
    fail(f, r, why);
    return;
  }
  ++f->counts.passed;
  if (options_.verbose) std::fprintf(out_, "%s:%d: ok %s\n", f->path.c_str(), r.line, OneLine(r.sql).c_str());
}

bool CSltRunner::statement(SFile* f, const SSltRecord& r, std::string* why, bool* accepted) {
  CZqlExecStm stm;
  const int answer = stm.ImmediateExecute(f->session, Uc(r.sql));
  *accepted = answer == 1;
  if (r.kind == ESltKind::kStatementOk && answer != 1) {
    *why = "expected success, got " + SltCondition(stm);
    return false;
  }
  if (r.kind == ESltKind::kStatementError && answer == 1) {
    *why = "expected an error, got success";
    return false;
  }
  return true;
}

bool CSltRunner::rows(CZqlSession* s, const std::string& sql, const std::string& types,
                      std::vector<std::string>* out, std::string* why) {
  CZqlExecStm stm;
  if (stm.Prepare(s, Uc(sql)) != 1) {
    *why = "prepare: " + SltCondition(stm);
    return false;
  }
  CZqlCsr csr;
  const std::string name = "ZQLSLT" + std::to_string(++cursors_);
  if (csr.Allocate(&stm, CZqlIdent(name.c_str()), kZqlCurNonScroll, kZqlCurSensitivityDefault) != 1) {
    *why = "cursor: " + SltCondition(csr);
    return false;
  }
  const int columns = csr.ColQty();
  if (columns != static_cast<int>(types.size())) {
    *why = "the query gives " + std::to_string(columns) + " columns, its type string '" + types + "' names " +
           std::to_string(types.size());
    return false;
  }
  if (csr.Open() != 1) {
    *why = "open: " + SltCondition(csr);
    return false;
  }
  while (csr.Fetch() == 1) {
    if (static_cast<int64_t>(out->size()) + columns > kSltMaxValues) {
      *why = "result larger than " + std::to_string(kSltMaxValues) + " values";
      return false;
    }
    for (int i = 0; i < columns; ++i) {
      CZqlData* value = nullptr;
      CZqlOutput* slot = csr.DDA()->OutDsc(i);
      if (slot != nullptr) slot->getBind(&value);
      SSltValue v;
      if (!ValueOf(value, &v, why)) {
        *why = "row " + std::to_string(out->size() / columns + 1) + " column " + std::to_string(i + 1) + ": " + *why;
        return false;
      }
      out->push_back(SltPrint(v, types[i]));
    }
  }
  if (csr.Err(0) != kZqlErrNoData0200) {
    *why = "fetch: " + SltCondition(csr);
    return false;
  }
  if (csr.Close() != 1) {
    *why = "close: " + SltCondition(csr);
    return false;
  }
  return true;
}

bool CSltRunner::query(SFile* f, const SSltRecord& r, std::string* why, bool* accepted) {
  std::vector<std::string> values;
  if (!rows(f->session, r.sql, r.types, &values, why)) return *accepted = false;
  SltSort(&values, r.types.size(), r.sort);
  const SSltVerdict v = SltCompare(r, values);
  if (!v.same) {
    const bool hash = f->threshold > 0 && static_cast<int64_t>(values.size()) > f->threshold;
    *why = "expected " + v.expected + " | got " + (hash && !r.hashed ? SltHashText(values) + " = " : "") + v.got;
    if (!v.first.empty()) *why += " | first difference: " + v.first;
    return false;
  }
  if (!r.label.empty()) {
    const std::string result = SltHashText(values);
    auto at = f->labels.find(r.label);
    if (at == f->labels.end()) {
      f->labels[r.label] = {result, r.line};
    } else if (at->second.first != result) {
      *why = "label " + r.label + ": result " + result + " differs from " + at->second.first + " at line " +
             std::to_string(at->second.second);
      return false;
    }
  }
  return true;
}

bool CSltRunner::freshDatabase(CZqlSession* s, std::string* why) {
  std::vector<std::string> found;
  if (options_.engine == "postgresql") {
    for (const char* sql : {"DROP SCHEMA IF EXISTS zqlslt CASCADE", "CREATE SCHEMA zqlslt",
                            "SET search_path TO zqlslt"}) {
      CZqlExecStm stm;
      if (stm.ImmediateExecute(s, CZqlUcStr(sql)) != 1) {
        *why = std::string(sql) + ": " + SltCondition(stm);
        return false;
      }
    }
  } else if (options_.engine == "sqlite") {
    // A file database keeps what an earlier run left: its tables and views go.
    if (!rows(s, "SELECT type, name FROM sqlite_master WHERE type IN ('table', 'view') "
                 "AND name NOT LIKE 'sqlite_%'", "TT", &found, why))
      return false;
    for (size_t i = 0; i + 1 < found.size(); i += 2) {
      std::string name;
      for (char c : found[i + 1]) name += c == '"' ? std::string("\"\"") : std::string(1, c);
      CZqlExecStm stm;
      const std::string sql = (found[i] == "view" ? "DROP VIEW IF EXISTS \"" : "DROP TABLE IF EXISTS \"") + name + "\"";
      if (stm.ImmediateExecute(s, Uc(sql)) != 1) {
        *why = sql + ": " + SltCondition(stm);
        return false;
      }
    }
  }
  if (s->Commit() != 1) {
    *why = "COMMIT WORK: " + SltCondition(*s);
    return false;
  }
  return true;
}

}  // namespace zqlslt
