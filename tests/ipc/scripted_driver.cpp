// A driver for the link tests. It serves an in-memory table T (ID INTEGER,
// NAME VARCHAR(10)) through the driver kit's request layer, echoes test
// requests, and misbehaves on demand.
//
// Environment (inherited from the client that starts it):
//   ZQL_TEST_DRIVER_MODE     exit-early   ends before reporting ready
//                            not-driver   signals the client, changes nothing
//                            die-in-request  ends while serving a request
//                            bad-reply    answers with a length word larger
//                                         than the segment
//                            bad-version  answers Attach with another version
//                            signals-only  keeps no wake words: every request
//                                         and reply goes by signal
//   ZQL_TEST_DRIVER_SEGMENT  size of the data segment in bytes
//   ZQL_TEST_DRIVER_LOG      file that receives one line per packed request
//   ZQL_TEST_DRIVER_TRACE    file that receives one line per driver operation
//                            with its arguments, SQL texts exactly as sent
//   ZQL_TEST_DRIVER_SCRIPT   file of scripted replies, read again at every
//                            operation, one directive a line:
//                              status <item> <value>  a connection's answer
//                              dbms <text>            DBMS name of the Connect,
//                                                     Prepare, AllocCsr replies
//                              dbmsstatus <value>     DBMS status word of them
//                              sutable <name>         updatable table of the
//                                                     AllocCsr replies
//                              refuse <operation> <code>  the operation (as
//                                                     traced) fails with that
//                                                     code (hexadecimal)
//
// Test requests start with the marker "TEST" instead of the packed buffer's
// marker; their payload (after the 8-byte header) is a command:
//   EMPTY                 empty reply
//   BIG <n>               a reply of n bytes
//   SLEEP <ms> <path>     creates path, sleeps, then echoes
//   anything else         echoes the whole request
//
// SQL it understands (case matters not, blanks around do not):
//   prepared:  SELECT * FROM T
//              SELECT * FROM T WHERE ID > ?
//              INSERT INTO T VALUES (?, ?)
//              SELECT * FROM T WHERE ID = ?   a single-row select: Execute
//                                 delivers the row (no data when none)
//              SELECT * FROM T FOR UPDATE, SELECT * FROM T WHERE ID > ? FOR
//                                 UPDATE: cursor specifications
//   immediate: DELETE FROM T
//              SET ..., COMMIT WORK, ROLLBACK WORK   accepted
//              DELETE ... WHERE CURRENT OF <c>, UPDATE ... WHERE CURRENT OF
//                                 <c>: accepted on the open cursor named <c>
//                                 (as SQL) that is on a row; DELETE removes
//                                 the row from T
//              FAIL <code>        fails with that code (hexadecimal) after
//                                 a warning, both as conditions
//              BIG <n>            a condition message of n characters
//   anything else is a syntax error (0x3700, error position 1).
// Connecting as user "nobody" is refused (0x0804).

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "objpack.h"
#include "zqlcol.h"
#include "zqldrvkit.h"
#include "zqldrvreq.h"

namespace {

constexpr uint32_t kTestMarker = 0x54534554;  // "TEST"
constexpr int32_t kDriverValue = 4242;
constexpr unsigned kNameLength = 10;

// The log file, or null; read once (the benchmark's requests pass here).
const char* LogPath() {
  static const char* path = std::getenv("ZQL_TEST_DRIVER_LOG");
  return path;
}

// Appends line to the file at path (none: nothing).
void Append(const char* path, const std::string& line) {
  const int fd = path != nullptr ? open(path, O_WRONLY | O_CREAT | O_APPEND, 0600) : -1;
  if (fd < 0) return;
  const std::string text = line + "\n";
  ssize_t ignored = write(fd, text.data(), text.size());
  (void)ignored;
  close(fd);
}
void Log(const std::string& line) { Append(LogPath(), line); }
// One line of the operation trace.
void Trace(const std::string& line) { Append(std::getenv("ZQL_TEST_DRIVER_TRACE"), line); }

// The 8-bit form of s.
std::string Chars(const CZqlUcStr& s) {
  std::vector<char> text(static_cast<size_t>(s.Length()) * 7 + 1);
  s.getToChar(text.data(), static_cast<int>(text.size()));
  return text.data();
}

// The text of s as sent, with line breaks escaped so that it stays one line.
std::string Raw(const CZqlUcStr& s) {
  std::string out;
  for (const char c : Chars(s)) out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

// The scripted replies (see the head of this file).
struct SScript {
  std::map<uint32_t, uint32_t> status;
  std::string dbms;
  bool hasDbmsStatus = false;
  uint32_t dbmsStatus = 0;
  std::string suTable;
  std::map<std::string, int32_t> refuse;
};

SScript ReadScript() {
  SScript script;
  const char* path = std::getenv("ZQL_TEST_DRIVER_SCRIPT");
  std::FILE* f = path != nullptr ? std::fopen(path, "r") : nullptr;
  if (f == nullptr) return script;
  char line[512];
  while (std::fgets(line, sizeof line, f) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const size_t blank = text.find(' ');
    const std::string word = text.substr(0, blank);
    const std::string rest = blank == std::string::npos ? "" : text.substr(blank + 1);
    unsigned long a = 0, b = 0;
    char op[64] = {};
    if (word == "status" && std::sscanf(rest.c_str(), "%lu %lu", &a, &b) == 2) {
      script.status[static_cast<uint32_t>(a)] = static_cast<uint32_t>(b);
    } else if (word == "dbms") {
      script.dbms = rest;
    } else if (word == "dbmsstatus" && std::sscanf(rest.c_str(), "%lu", &a) == 1) {
      script.hasDbmsStatus = true;
      script.dbmsStatus = static_cast<uint32_t>(a);
    } else if (word == "sutable") {
      script.suTable = rest;
    } else if (word == "refuse" && std::sscanf(rest.c_str(), "%63s %lx", op, &a) == 2) {
      script.refuse[op] = static_cast<int32_t>(a);
    }
  }
  std::fclose(f);
  return script;
}

// The text of s in upper case with blanks at either end removed.
std::string Normal(const CZqlUcStr& s) {
  std::string out = Chars(s);
  const size_t first = out.find_first_not_of(' ');
  const size_t last = out.find_last_not_of(' ');
  out = first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// ---------------------------------------------------------------------------
// The table and the driver operations on it
// ---------------------------------------------------------------------------

struct SRow {
  int32_t id;
  std::string name;
};

enum class EKind { kSelectAll, kSelectWhere, kInsert, kSelectOne, kCursorAll, kCursorWhere };

struct SStatement {
  uint32_t connection;
  EKind kind;
};

struct SCursor {
  uint32_t statement;
  std::string name;  // the SQL form, upper case
  bool scroll;
  bool insensitive;
  bool open = false;
  std::vector<SRow> rows;  // the result, taken at Open
  int32_t pos = -1;        // -1 before the first row, rows.size() after the last
};

class CTableDriver : public CZqlDriver {
 public:
  explicit CTableDriver(bool badVersion) : badVersion_(badVersion) {
    table_ = {{1, "one"}, {2, "two"}, {3, "three"}};
  }

  void Attach(SZqlDrvAttach* info) override {
    if (badVersion_) info->version = kZqlProtocolVersion + 1;
    for (int i = 0; i < 6; ++i) info->values[i] = 501 + i;
  }

  int32_t Cancel(CZqlDDA* dda, uint32_t) override { return Begin(dda, "Cancel"); }

  static int32_t Fail(CZqlDDA* dda, int32_t code, const char* message) {
    dda->setErr(static_cast<EZqlError>(code));
    dda->setErrMsg(CZqlUcStr(message));
    dda->setDiagPar(kZqlDiagTableName, CZqlUcStr("T"));
    dda->PushCond();
    return code;
  }

  // Traces the operation; answers the scripted refusal's code (with its
  // condition in dda), or 0.
  static int32_t Begin(CZqlDDA* dda, const std::string& op, const std::string& args = "") {
    Trace(args.empty() ? op : op + " " + args);
    const SScript script = ReadScript();
    const auto refused = script.refuse.find(op);
    if (refused == script.refuse.end()) return 0;
    return Fail(dda, refused->second, "scripted refusal");
  }

  // The scripted DBMS name and status word, when there are any.
  static void Name(CZqlDDA* dda) {
    const SScript script = ReadScript();
    if (!script.dbms.empty()) dda->setNameOfDBMS(CZqlUcStr(script.dbms.c_str()));
    if (script.hasDbmsStatus) dda->setStatusOfDBMS(script.dbmsStatus);
  }

  int32_t Connect(CZqlDDA* dda, const CZqlUcStr& target, const CZqlUcStr& user, const CZqlUcStr&,
                  uint32_t* connection) override {
    if (const int32_t r = Begin(dda, "Connect", Raw(target) + " " + Raw(user))) return r;
    if (Normal(user) == "NOBODY")
      return Fail(dda, kZqlErrSQLServerRejectedEstablishmentOfSQLConnection, "user refused");
    *connection = nextId_++;
    connections_[*connection] = Normal(target);
    dda->setNameOfDBMS(CZqlUcStr("SCRIPTED"));
    Name(dda);
    return 0;
  }

  int32_t Disconnect(CZqlDDA* dda, uint32_t connection, EZqlBoolean) override {
    if (const int32_t r = Begin(dda, "Disconnect")) return r;
    return connections_.erase(connection) == 0 ? kZqlErrConnectionDoesNotExist : 0;
  }

  int32_t IExecute(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text) override {
    if (const int32_t r = Begin(dda, "IExecute", Raw(text))) return r;
    const std::string sql = Normal(text);
    if (sql.find(" WHERE CURRENT OF ") != std::string::npos)
      return Positioned(dda, connection, sql);
    if (sql.rfind("SET ", 0) == 0 || sql == "COMMIT WORK" || sql == "ROLLBACK WORK") return 0;
    if (sql == "DELETE FROM T") {
      dda->setRowCount(static_cast<int32_t>(table_.size()));
      table_.clear();
      return 0;
    }
    if (sql.rfind("FAIL ", 0) == 0) {
      dda->pushErr(kZqlErrNullValueEliminatedInSetFunction);  // a warning first
      return Fail(dda, static_cast<int32_t>(std::strtol(sql.c_str() + 5, nullptr, 16)),
                  "scripted failure");
    }
    if (sql.rfind("BIG ", 0) == 0) {
      const std::string big(std::strtoul(sql.c_str() + 4, nullptr, 10), 'm');
      dda->setErr(kZqlErrNullValueEliminatedInSetFunction);
      dda->setErrMsg(CZqlUcStr(big.c_str()));
      dda->PushCond();
      return 0;
    }
    return SyntaxError(dda);
  }

  // A positioned DELETE or UPDATE of the cursor named at the end of sql.
  int32_t Positioned(CZqlDDA* dda, uint32_t connection, const std::string& sql) {
    const std::string clause = " WHERE CURRENT OF ";
    const std::string name = sql.substr(sql.find(clause) + clause.size());
    for (auto& entry : cursors_) {
      SCursor& c = entry.second;
      if (c.name != name || statements_.at(c.statement).connection != connection) continue;
      if (!c.open) return kZqlErrCursorIsInCloseState;
      if (c.pos < 0 || c.pos >= static_cast<int32_t>(c.rows.size()))
        return kZqlErrCurorIsNotPositionedOnRow;
      if (sql.rfind("DELETE", 0) == 0) {
        const int32_t id = c.rows[static_cast<size_t>(c.pos)].id;
        table_.erase(
            std::remove_if(table_.begin(), table_.end(), [&](const SRow& r) { return r.id == id; }),
            table_.end());
      }
      dda->setRowCount(1);
      return 0;
    }
    return kZqlErrInvalidCursorName;
  }

  static void Describe(CZqlDDA* dda, EKind kind) {
    CZqlInt id;
    CZqlChar name(kNameLength);
    name.setVarying();
    if (kind == EKind::kInsert) {
      dda->setStmType(kZqlStmInsert);
      dda->AllocParDsc(2);
      dda->ParDsc(0)->setDsc(&id);
      dda->ParDsc(1)->setDsc(&name);
      return;
    }
    const bool cursor = kind == EKind::kCursorAll || kind == EKind::kCursorWhere;
    dda->setStmType(cursor ? kZqlStmCursor : kZqlStmSelect);
    dda->AllocColDsc(2);
    dda->ColDsc(0)->setName(CZqlIdent("ID"));
    dda->ColDsc(0)->setDataDsc(&id);
    dda->ColDsc(1)->setName(CZqlIdent("NAME"));
    dda->ColDsc(1)->setDataDsc(&name);
    if (kind == EKind::kSelectWhere || kind == EKind::kCursorWhere || kind == EKind::kSelectOne) {
      dda->AllocParDsc(1);
      dda->ParDsc(0)->setName(CZqlIdent(kind == EKind::kSelectOne ? "ID" : "LOW"));
      dda->ParDsc(0)->setDsc(&id);
    }
  }

  int32_t Prepare(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text,
                  uint32_t* statement) override {
    if (const int32_t r = Begin(dda, "Prepare", Raw(text))) return r;
    static const std::map<std::string, EKind> kKinds = {
        {"SELECT * FROM T", EKind::kSelectAll},
        {"SELECT * FROM T WHERE ID > ?", EKind::kSelectWhere},
        {"INSERT INTO T VALUES (?, ?)", EKind::kInsert},
        {"SELECT * FROM T WHERE ID = ?", EKind::kSelectOne},
        {"SELECT * FROM T FOR UPDATE", EKind::kCursorAll},
        {"SELECT * FROM T WHERE ID > ? FOR UPDATE", EKind::kCursorWhere},
    };
    const auto kind = kKinds.find(Normal(text));
    if (kind == kKinds.end()) return SyntaxError(dda);
    Describe(dda, kind->second);
    Name(dda);
    *statement = nextId_++;
    statements_[*statement] = SStatement{connection, kind->second};
    return 0;
  }

  int32_t Execute(CZqlDDA* dda, uint32_t statement) override {
    if (const int32_t r = Begin(dda, "Execute")) return r;
    const auto s = statements_.find(statement);
    if (s == statements_.end()) return kZqlErrInvalidSQLStatementName;
    if (s->second.kind == EKind::kSelectOne) return SelectOne(dda);
    CZqlData* id = nullptr;
    CZqlData* name = nullptr;
    if (!dda->ParDsc(0)->getBind(&id) || !dda->ParDsc(1)->getBind(&name))
      return kZqlErrUsingClauseRequiredForDynamicParameter;
    long value = 0;
    char text[kNameLength + 1] = {};
    id->getValue(&value);
    name->getValue(text, sizeof text);
    table_.push_back(SRow{static_cast<int32_t>(value), text});
    dda->setRowCount(1);
    return 0;
  }

  // The row whose id the parameter names, into the outputs of dda.
  int32_t SelectOne(CZqlDDA* dda) const {
    CZqlData* want = nullptr;
    long id = 0;
    if (!dda->ParDsc(0)->getBind(&want)) return kZqlErrUsingClauseRequiredForDynamicParameter;
    want->getValue(&id);
    for (const SRow& row : table_) {
      if (row.id != id) continue;
      if (dda->Output() == nullptr) dda->CreateOutput();
      CZqlData* out = nullptr;
      if (dda->OutDsc(0)->getBind(&out)) out->storeValue(static_cast<long>(row.id));
      if (dda->OutDsc(1)->getBind(&out))
        out->storeValue(row.name.c_str(), static_cast<unsigned>(row.name.size()));
      return 0;
    }
    return kZqlErrNoData0200;
  }

  int32_t DeallocStm(CZqlDDA* dda, uint32_t statement) override {
    if (const int32_t r = Begin(dda, "DeallocStm")) return r;
    if (statements_.erase(statement) == 0) return kZqlErrInvalidSQLStatementName;
    for (auto it = cursors_.begin(); it != cursors_.end();)
      it = it->second.statement == statement ? cursors_.erase(it) : std::next(it);
    return 0;
  }

  int32_t AllocCsr(CZqlDDA* dda, uint32_t statement, const CZqlIdent& name, EZqlCurScr scr,
                   EZqlCurSns sns, uint32_t* cursor) override {
    CZqlUcStr sqlName;
    name.ToString(&sqlName);
    const std::string args = Raw(sqlName) + " " + std::to_string(scr) + " " + std::to_string(sns);
    if (const int32_t r = Begin(dda, "AllocCsr", args)) return r;
    const auto s = statements_.find(statement);
    if (s == statements_.end()) return kZqlErrInvalidSQLStatementName;
    *cursor = nextId_++;
    SCursor& c = cursors_[*cursor];
    c.statement = statement;
    c.scroll = scr == kZqlCurScroll;
    c.insensitive = sns == kZqlCurInsensitive;
    c.name = Normal(sqlName);
    const SScript script = ReadScript();
    if (!script.suTable.empty()) dda->setSUTable(CZqlUcStr(script.suTable.c_str()));
    Name(dda);
    return 0;
  }

  // The rows a cursor of s sees, with the parameter value from dda.
  std::vector<SRow> Result(const SStatement& s, CZqlDDA* dda) const {
    if (s.kind != EKind::kSelectWhere && s.kind != EKind::kCursorWhere) return table_;
    CZqlData* low = nullptr;
    long bound = 0;
    if (dda->ParCount() > 0 && dda->ParDsc(0)->getBind(&low)) low->getValue(&bound);
    std::vector<SRow> rows;
    for (const SRow& r : table_)
      if (r.id > bound) rows.push_back(r);
    return rows;
  }

  int32_t Open(CZqlDDA* dda, uint32_t cursor) override {
    if (const int32_t r = Begin(dda, "Open")) return r;
    const auto c = cursors_.find(cursor);
    if (c == cursors_.end()) return kZqlErrInvalidCursorName;
    c->second.rows = Result(statements_.at(c->second.statement), dda);
    c->second.pos = -1;
    c->second.open = true;
    dda->setCsrState(kZqlTrue);
    return 0;
  }

  int32_t Close(CZqlDDA* dda, uint32_t cursor) override {
    if (const int32_t r = Begin(dda, "Close")) return r;
    const auto c = cursors_.find(cursor);
    if (c == cursors_.end()) return kZqlErrInvalidCursorName;
    c->second.open = false;
    c->second.rows.clear();
    return 0;
  }

  int32_t Fetch(CZqlDDA* dda, uint32_t cursor, EZqlDirection direction, int32_t offset) override {
    const std::string args = std::to_string(direction) + " " + std::to_string(offset);
    if (const int32_t r = Begin(dda, "Fetch", args)) return r;
    const auto found = cursors_.find(cursor);
    if (found == cursors_.end()) return kZqlErrInvalidCursorName;
    SCursor& c = found->second;
    if (!c.open) return kZqlErrCursorIsInCloseState;
    const int32_t n = static_cast<int32_t>(c.rows.size());
    int64_t pos;
    switch (direction) {
      case kZqlFetchNext:
        pos = c.pos + 1;
        break;
      case kZqlFetchPrior:
        pos = c.pos - 1;
        break;
      case kZqlFetchFirst:
        pos = 0;
        break;
      case kZqlFetchLast:
        pos = n - 1;
        break;
      case kZqlFetchAbsolute:
        pos = offset > 0 ? offset - 1 : int64_t{n} + offset;
        break;
      case kZqlFetchRelative:
        pos = int64_t{c.pos} + offset;
        break;
      default:
        return kZqlErrInvalidFunctionArguments;
    }
    if (pos < 0 || pos >= n) {
      c.pos = pos < 0 ? -1 : n;
      return kZqlErrNoData0200;
    }
    c.pos = static_cast<int32_t>(pos);
    const SRow& row = c.rows[static_cast<size_t>(pos)];
    CZqlData* id = nullptr;
    CZqlData* name = nullptr;
    if (!dda->OutDsc(0)->getBind(&id) || !dda->OutDsc(1)->getBind(&name))
      return kZqlErrInternalZQLError;
    id->storeValue(static_cast<long>(row.id));
    name->storeValue(row.name.c_str(), static_cast<unsigned>(row.name.size()));
    return 0;
  }

  uint32_t StatusOf(const SCursor& c, EZqlStatInfo info) const {
    switch (info) {
      case kZqlStatCsrOpen:
        return c.open ? 1 : 0;
      case kZqlStatCsrInsensitive:
        return c.insensitive ? 1 : 0;
      case kZqlStatCsrScrollable:
        return c.scroll ? 1 : 0;
      case kZqlStatCsrPosition: {
        const bool onRow = c.open && c.pos >= 0 && c.pos < static_cast<int32_t>(c.rows.size());
        return onRow ? kZqlCsrOnRow : 0;
      }
      default:
        return 0;
    }
  }

  // Connections answer item 0 with their statement count and item 1 with the
  // table's row count; statements answer 1 + their kind; id 0 (the driver)
  // answers its connection count.
  int32_t Status(CZqlDDA* dda, uint32_t id, EZqlStatInfo info, uint32_t* value) override {
    if (const int32_t r = Begin(dda, "Status", std::to_string(info))) return r;
    if (id == 0) {
      *value = static_cast<uint32_t>(connections_.size());
      return 0;
    }
    if (connections_.count(id) != 0) {
      const SScript script = ReadScript();
      const auto scripted = script.status.find(info);
      if (scripted != script.status.end()) {
        *value = scripted->second;
        return 0;
      }
      uint32_t n = 0;
      for (const auto& s : statements_) n += s.second.connection == id ? 1 : 0;
      *value = info == kZqlStatConnection1 ? static_cast<uint32_t>(table_.size()) : n;
      return 0;
    }
    const auto s = statements_.find(id);
    if (s != statements_.end()) {
      *value = 1 + static_cast<uint32_t>(s->second.kind);
      return 0;
    }
    const auto c = cursors_.find(id);
    if (c == cursors_.end()) return kZqlErrInvalidFunctionArguments;
    *value = StatusOf(c->second, info);
    return 0;
  }

 private:
  // A syntax error at position 1.
  static int32_t SyntaxError(CZqlDDA* dda) {
    dda->setErrPos(1);
    return Fail(dda, kZqlErrSyntaxErrorOrAccessRuleViolationInDynamicSQLStatement, "syntax error");
  }

  bool badVersion_;
  std::vector<SRow> table_;
  uint32_t nextId_ = 1;  // one counter: every id names one object
  std::map<uint32_t, std::string> connections_;
  std::map<uint32_t, SStatement> statements_;
  std::map<uint32_t, SCursor> cursors_;
};

// ---------------------------------------------------------------------------
// The raw side: modes, test requests, the log
// ---------------------------------------------------------------------------

class ScriptedDriver : public CZqlDrvRawHandler {
 public:
  ScriptedDriver(CZqlDrvKit* kit, std::string mode)
      : kit_(kit),
        mode_(std::move(mode)),
        table_(mode_ == "bad-version"),
        decoder_(&table_, kit->ReplyCapacity()) {}

  int32_t Serve(const unsigned char* request, uint32_t size,
                std::vector<unsigned char>* reply) override {
    if (mode_ == "die-in-request") std::exit(4);
    if (mode_ == "bad-reply") kit_->TEST_SetRawReplyLength(kit_->SegmentSize());
    uint32_t marker;
    std::memcpy(&marker, request, sizeof marker);
    if (marker == kTestMarker) return Command(request, size, reply);
    LogRequest(request, size);
    return decoder_.Serve(request, size, reply);
  }
  void Serving(int32_t clientPid) override { decoder_.Serving(clientPid); }
  void ClientGone(int32_t pid) override { decoder_.ClientGone(pid); }

 private:
  int32_t Command(const unsigned char* request, uint32_t size, std::vector<unsigned char>* reply) {
    const std::string payload(reinterpret_cast<const char*>(request) + 8, size - 8);
    if (payload.rfind("EMPTY", 0) == 0) return 0;
    if (payload.rfind("BIG ", 0) == 0) {
      reply->assign(std::strtoul(payload.c_str() + 4, nullptr, 10), 'x');
      return 0;
    }
    if (payload.rfind("SLEEP ", 0) == 0) Sleep(payload);
    reply->assign(request, request + size);
    return 0;
  }

  static void Sleep(const std::string& payload) {
    char path[512] = {};
    long ms = 0;
    if (std::sscanf(payload.c_str(), "SLEEP %ld %511s", &ms, path) != 2) return;
    const int fd = open(path, O_WRONLY | O_CREAT, 0600);
    if (fd >= 0) close(fd);
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
  }

  // One line per request: its code and the numbers at labels 4 to 12 that
  // come before any descriptor area.
  static void LogRequest(const unsigned char* request, uint32_t size) {
    if (LogPath() == nullptr) return;
    CZqlObjPack in(const_cast<unsigned char*>(request), size);
    int32_t code = -1;
    std::string fields;
    ZqlTry([&] {
      for (int label = in.getNext(); label != kZqlPackEnd; label = in.getNext()) {
        int32_t value;
        if (label == kZqlReqLabelCode) in.getPackedValue(&code);
        if (label == kZqlReqLabelArea || label == kZqlReqLabelName) break;
        if (label >= 4 && label <= 12 && in.getType() != kZqlPackUcStr &&
            in.getPackedValue(&value))
          fields += " " + std::to_string(label) + ":" + std::to_string(value);
      }
    });
    Log("code=" + std::to_string(code) + fields);
  }

  CZqlDrvKit* kit_;
  std::string mode_;
  CTableDriver table_;
  CZqlDrvDecoder decoder_;
};

}  // namespace

int main(int argc, char** argv) {
  const char* modeVar = std::getenv("ZQL_TEST_DRIVER_MODE");
  const std::string mode = modeVar != nullptr ? modeVar : "";
  if (mode == "exit-early") return 3;
  if (mode == "not-driver") {
    kill(getppid(), SIGUSR1);
    return 0;
  }
  SZqlDrvOptions options;
  options.value = kDriverValue;
  options.signalsOnly = mode == "signals-only";
  if (const char* size = std::getenv("ZQL_TEST_DRIVER_SEGMENT"))
    options.segmentSize = static_cast<uint32_t>(std::strtoul(size, nullptr, 10));
  CZqlDrvKit kit;
  if (kit.Start(argc, argv, options) != 0) return 2;
  ScriptedDriver driver(&kit, mode);
  return kit.Run(&driver);
}
