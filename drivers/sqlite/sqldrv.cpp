// The SQLite driver's operations: connections, statements, cursors and
// transactions over sqlite3. See zqlsqlite.h for what the client sees.

#include <errno.h>
#include <sys/stat.h>

#include <cstring>

#include "zqlcol.h"
#include "zqlsdata.h"
#include "zqlsql.h"
#include "zqlsqlite.h"

namespace zqlsqlite {

namespace {

SZqlSqlDialect Dialect() {
  SZqlSqlDialect d;
  d.brackets = true;
  d.atDollarNames = true;
  return d;
}

const char kLead[] = "zqlsqlite";

std::string DbmsText() { return std::string("SQLite ") + sqlite3_libversion(); }

// SQLite has no typed literals: `DATE '2024-05-01'` (which a positioned
// UPDATE of a datetime value sends) would be a column followed by an alias.
// The type word of DATE, TIME or TIMESTAMP before a string of digits and
// date or time punctuation is blanked out, leaving the text SQLite stores;
// blanking keeps every byte offset, so error positions stay right.
bool UntypeDatetimeLiterals(std::string* sql, const SZqlSqlScan& scan) {
  bool changed = false;
  for (size_t i = 0; i + 1 < scan.tokens.size(); ++i) {
    const SZqlSqlToken& word = scan.tokens[i];
    const SZqlSqlToken& text = scan.tokens[i + 1];
    if (word.kind != EZqlSqlToken::kWord || text.kind != EZqlSqlToken::kString ||
        (*sql)[text.begin] != '\'' || text.end - text.begin < 3)
      continue;
    if (!ZqlDrvIsWord(*sql, word, "DATE") && !ZqlDrvIsWord(*sql, word, "TIME") &&
        !ZqlDrvIsWord(*sql, word, "TIMESTAMP"))
      continue;
    const std::string body = sql->substr(text.begin + 1, text.end - text.begin - 2);
    if (body.find_first_not_of("0123456789-:. ") != std::string::npos) continue;
    sql->replace(word.begin, word.end - word.begin, word.end - word.begin, ' ');
    changed = true;
  }
  return changed;
}

bool IsDml(EZqlStatement t) {
  return t == kZqlStmInsert || t == kZqlStmUpdateWhere || t == kZqlStmDeleteWhere ||
         t == kZqlStmUpdateCursor || t == kZqlStmDeleteCursor;
}

// Creates the folders above a database file. Answers false when one cannot be made.
bool MakeFolders(const std::string& file) {
  for (size_t at = file.find('/', 1); at != std::string::npos; at = file.find('/', at + 1)) {
    const std::string dir = file.substr(0, at);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// name written so that SQL reads it back as the same table.
std::string SqlName(const std::string& name) {
  bool plain = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0]));
  for (unsigned char c : name) plain = plain && (std::isalnum(c) || c == '_');
  if (plain) return name;
  std::string out = "\"";
  for (char c : name) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  return out + "\"";
}

CZqlIdent Ident(const char* utf8) {
  CZqlUcStr text;
  if (utf8 != nullptr) ZqlDrvUtf8ToUcStr(utf8, std::strlen(utf8), &text);
  return CZqlIdent(text);
}

size_t RowBytes(const SRow& row) {
  size_t n = sizeof(SRow);
  for (const SValue& v : row) n += sizeof(SValue) + v.bytes.size();
  return n;
}

// Where a trailing FOR UPDATE [OF ...] or FOR READ ONLY begins (npos: none);
// *update tells which.
size_t ForClause(const std::string& sql, const SZqlSqlScan& scan, bool* update) {
  const auto& t = scan.tokens;
  size_t n = t.size();
  while (n > 0 && t[n - 1].kind == EZqlSqlToken::kSemicolon) --n;
  for (size_t i = n; i-- > 0;) {
    if (!ZqlDrvIsWord(sql, t[i], "FOR")) continue;
    if (i + 1 < n && ZqlDrvIsWord(sql, t[i + 1], "UPDATE")) {
      *update = true;
      return t[i].begin;
    }
    if (i + 3 == n && ZqlDrvIsWord(sql, t[i + 1], "READ") && ZqlDrvIsWord(sql, t[i + 2], "ONLY")) {
      *update = false;
      return t[i].begin;
    }
    return std::string::npos;
  }
  return std::string::npos;
}

// True when the query may be given a rowid column: SELECT, not DISTINCT,
// and no grouping or compound at the top level.
bool SingleRowSource(const std::string& sql, const SZqlSqlScan& scan, size_t* afterSelect) {
  const auto& t = scan.tokens;
  if (t.size() < 2 || !ZqlDrvIsWord(sql, t[0], "SELECT") || ZqlDrvIsWord(sql, t[1], "DISTINCT"))
    return false;
  int depth = 0;
  for (const SZqlSqlToken& k : t) {
    if (k.kind == EZqlSqlToken::kOther && sql[k.begin] == '(') ++depth;
    if (k.kind == EZqlSqlToken::kOther && sql[k.begin] == ')') --depth;
    if (depth != 0) continue;
    for (const char* w : {"GROUP", "UNION", "INTERSECT", "EXCEPT", "HAVING", "WINDOW"})
      if (ZqlDrvIsWord(sql, k, w)) return false;
  }
  *afterSelect = t[0].end;
  return true;
}

// The declared type of a column of table (empty when unknown).
std::string ColumnDecl(sqlite3* db, const std::string& table, const std::string& column) {
  const char* decl = nullptr;
  if (sqlite3_table_column_metadata(db, nullptr, table.c_str(), column.c_str(), &decl, nullptr,
                                    nullptr, nullptr, nullptr) != SQLITE_OK)
    return std::string();
  return decl != nullptr ? decl : "";
}

// The columns of table in their order.
std::vector<std::string> TableColumns(sqlite3* db, const std::string& table) {
  std::vector<std::string> out;
  sqlite3_stmt* s = nullptr;
  const char sql[] = "SELECT name FROM pragma_table_info(?)";
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(s, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(s) == SQLITE_ROW)
      out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  }
  sqlite3_finalize(s);
  return out;
}

// The name a word or delimited identifier token gives SQLite.
std::string NameOf(const std::string& sql, const SZqlSqlToken& t) {
  if (t.kind == EZqlSqlToken::kWord) return ZqlDrvTokenText(sql, t);
  return ZqlDrvIdentBody(sql, t);
}

// Declared types of the parameters from their context, by parameter index
// (1-based; empty when the context says nothing): a value of INSERT's
// VALUES list takes its column's type, a parameter compared with or
// assigned to a column of the statement's table takes that column's.
std::vector<std::string> ParamDecls(sqlite3* db, sqlite3_stmt* s, const std::string& sql,
                                    const SZqlSqlScan& scan) {
  const int np = sqlite3_bind_parameter_count(s);
  std::vector<std::string> decl(static_cast<size_t>(np) + 1);
  const auto& t = scan.tokens;
  auto isName = [&](size_t i) {
    return i < t.size() && (t[i].kind == EZqlSqlToken::kWord || t[i].kind == EZqlSqlToken::kQuoted);
  };
  auto punct = [&](size_t i, char c) {
    return i < t.size() && t[i].kind == EZqlSqlToken::kOther && sql[t[i].begin] == c;
  };
  // Parameter index of each placeholder token.
  std::vector<int> index(t.size(), 0);
  int largest = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i].kind != EZqlSqlToken::kPlaceholder) continue;
    const std::string text = ZqlDrvTokenText(sql, t[i]);
    const int at = text == "?" ? largest + 1 : sqlite3_bind_parameter_index(s, text.c_str());
    index[i] = at;
    if (at > largest) largest = at;
  }
  // The table: after INTO, UPDATE or the first FROM.
  std::string table;
  size_t tableAt = 0;
  for (size_t i = 0; i + 1 < t.size() && table.empty(); ++i) {
    if ((ZqlDrvIsWord(sql, t[i], "INTO") || ZqlDrvIsWord(sql, t[i], "UPDATE") ||
         ZqlDrvIsWord(sql, t[i], "FROM")) && isName(i + 1)) {
      table = NameOf(sql, t[i + 1]);
      tableAt = i + 1;
    }
  }
  if (table.empty()) return decl;
  auto set = [&](size_t token, const std::string& column) {
    const int at = index[token];
    if (at > 0 && at <= np && decl[static_cast<size_t>(at)].empty())
      decl[static_cast<size_t>(at)] = ColumnDecl(db, table, column);
  };
  // INSERT INTO table [(columns)] VALUES (values).
  if (!t.empty() && (ZqlDrvIsWord(sql, t[0], "INSERT") || ZqlDrvIsWord(sql, t[0], "REPLACE"))) {
    size_t i = tableAt + 1;
    std::vector<std::string> columns;
    if (punct(i, '(')) {
      for (++i; isName(i); i += 2) {
        columns.push_back(NameOf(sql, t[i]));
        if (!punct(i + 1, ',')) {
          ++i;
          break;
        }
      }
      if (!punct(i, ')')) return decl;
      ++i;
    } else {
      columns = TableColumns(db, table);
    }
    if (i < t.size() && ZqlDrvIsWord(sql, t[i], "VALUES") && punct(i + 1, '(')) {
      size_t k = 0;
      for (i += 2; i < t.size() && k < columns.size(); i += 2, ++k) {
        if (t[i].kind == EZqlSqlToken::kPlaceholder && (punct(i + 1, ',') || punct(i + 1, ')')))
          set(i, columns[k]);
        else
          break;
      }
    }
  }
  // column OP parameter, parameter OP column.
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i].kind != EZqlSqlToken::kPlaceholder) continue;
    size_t op = i;  // the last character of the operator before the parameter
    if (i >= 2 && t[i - 1].kind == EZqlSqlToken::kOther && std::strchr("=<>", sql[t[i - 1].begin])) {
      op = i - 1;
      if (op >= 2 && t[op - 1].kind == EZqlSqlToken::kOther && std::strchr("<>!", sql[t[op - 1].begin]))
        --op;
      if (op >= 1 && isName(op - 1)) set(i, NameOf(sql, t[op - 1]));
    }
    if (i + 2 < t.size() && t[i + 1].kind == EZqlSqlToken::kOther &&
        std::strchr("=<>!", sql[t[i + 1].begin])) {
      size_t after = i + 2;
      if (t[after].kind == EZqlSqlToken::kOther && std::strchr("=<>", sql[t[after].begin])) ++after;
      if (isName(after)) set(i, NameOf(sql, t[after]));
    }
  }
  return decl;
}

}  // namespace

// ---------------------------------------------------------------------------
// Objects
// ---------------------------------------------------------------------------

struct CSqliteDriver::SConnection {
  uint32_t id = 0;
  SEnvironment env;
  UDb db;
  CZqlIsoTx tx{false};
  bool readOnlyTx = false;  // query_only is on for the open transaction
  bool deferFk = false;     // defer_foreign_keys is on
};

struct CSqliteDriver::SStatement {
  uint32_t connection = 0;
  std::string sql;  // as SQLite compiles it (a trailing FOR clause removed)
  UStmt stmt;       // null for texts run as immediate statements at Execute
  EZqlStatement type = kZqlStmUndefined;
  bool rows = false;       // returns rows
  bool readOnly = false;   // FOR READ ONLY was given
};

struct CSqliteDriver::SCursor {
  uint32_t statement = 0;
  uint32_t connection = 0;
  std::string name;  // CZqlIdent body of its name
  bool scroll = false;
  bool insensitive = false;
  UStmt stmt;
  int hidden = 0;     // 1: column 0 is the rowid of table
  std::string table;  // the updatable table; empty when not updatable
  ECsrPos pos = ECsrPos::kClosed;
  bool done = false;              // stmt stepped to its end
  int64_t rowid = 0;              // the current row's rowid (hidden == 1)
  std::vector<SRow> rows;         // scroll: rows read so far
  SRow current;                   // non-scroll: the row fetched last
  size_t bytes = 0;               // scroll: their memory
  int64_t index = -1;             // scroll: the current row in rows
  std::unordered_set<int64_t> changed;  // rowids updated through the cursor
};

CSqliteDriver::CSqliteDriver(int32_t key) : key_(key) {}

CSqliteDriver::~CSqliteDriver() {
  cursors_.clear();
  statements_.clear();
  // Whatever was not committed is rolled back by closing.
  std::lock_guard<std::mutex> hold(connectionsMutex_);
  connections_.clear();
}

CSqliteDriver::SConnection& CSqliteDriver::connection(uint32_t id) {
  const auto it = connections_.find(id);
  if (it == connections_.end()) ZQL_RAISE(kZqlErrConnectionDoesNotExist);
  return *it->second;
}

CSqliteDriver::SStatement& CSqliteDriver::statement(uint32_t id) {
  const auto it = statements_.find(id);
  if (it == statements_.end()) ZQL_RAISE(kZqlErrInvalidSQLStatementName);
  return *it->second;
}

CSqliteDriver::SCursor& CSqliteDriver::cursor(uint32_t id) {
  const auto it = cursors_.find(id);
  if (it == cursors_.end()) ZQL_RAISE(kZqlErrInvalidCursorName);
  return *it->second;
}

// Removes a connection with its statements and cursors; an open transaction
// is rolled back. A client process that ends without disconnecting reaches
// here through the kit's take-back of its connections (the decoder's
// ClientGone disconnects each with abort set).
void CSqliteDriver::drop(uint32_t id) {
  const auto it = connections_.find(id);
  if (it == connections_.end()) return;
  for (auto k = cursors_.begin(); k != cursors_.end();)
    k = k->second->connection == id ? cursors_.erase(k) : std::next(k);
  for (auto s = statements_.begin(); s != statements_.end();)
    s = s->second->connection == id ? statements_.erase(s) : std::next(s);
  if (!sqlite3_get_autocommit(it->second->db.get()))
    sqlite3_exec(it->second->db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  std::lock_guard<std::mutex> hold(connectionsMutex_);
  connections_.erase(it);
}

// ---------------------------------------------------------------------------
// Diagnostics and transactions
// ---------------------------------------------------------------------------

void CSqliteDriver::name(CZqlDDA* dda, const SConnection& c, int rc, const std::string& object,
                         const std::string& message) {
  const std::string text = ZqlDrvDbmsName(kLead, DbmsText(), std::to_string(rc), object, message);
  CZqlUcStr name;
  ZqlDrvUtf8ToUcStr(text.data(), text.size(), &name);
  dda->setNameOfDBMS(name);
  dda->setStatusOfDBMS(rc != 0 ? static_cast<uint32_t>(rc) : connectionItem0(c));
}

int32_t CSqliteDriver::fail(CZqlDDA* dda, SConnection& c, int rc, const std::string& sql,
                            const std::string& object, bool preparing) {
  sqlite3* db = c.db.get();
  const std::string message = sqlite3_errmsg(db);
  const int primary = rc & 0xFF;
  int32_t code = kZqlErrExceptionRaisedByDBMSDriver;
  switch (primary) {
    case SQLITE_CONSTRAINT: code = kZqlErrIntegrityConstraintViolation2300; break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: code = kZqlErrTableIsLockedByAnotherCursor; break;
    case SQLITE_READONLY:
      code = c.readOnlyTx ? kZqlErrTransactionIsReadOnly : kZqlErrTableIsReadOnly;
      break;
    case SQLITE_NOMEM: code = kZqlErrInsufficientMemory; break;
    case SQLITE_ERROR:
      if (preparing) code = kZqlErrSyntaxErrorOrAccessRuleViolation;
      break;
    default: break;
  }
  if (preparing) {
    const int offset = sqlite3_error_offset(db);
    if (offset >= 0) dda->setErrPos(ZqlDrvUnitsBefore(sql, static_cast<size_t>(offset)) + 1);
  }
  name(dda, c, rc, object, message);
  ZqlDrvCondition(dda, code, message, object);
  // After these SQLite may have rolled back a part or all of the work:
  // nothing half done stays, the whole transaction goes.
  // An interrupted change inside a transaction may have made SQLite roll
  // the transaction back: then say so, as for the faults below.
  const bool lost = primary == SQLITE_INTERRUPT && c.tx.Open() && sqlite3_get_autocommit(db);
  if (lost || primary == SQLITE_FULL || primary == SQLITE_IOERR || primary == SQLITE_NOMEM ||
      primary == SQLITE_CORRUPT) {
    closeCursors(c);
    if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    ZqlDrvCondition(dda, kZqlErrTransactionRollback, "the transaction was rolled back");
    code = kZqlErrTransactionRollback;
  }
  afterStatement(c);
  return code;
}

// Opens the ISO transaction before a statement when none is open.
int32_t CSqliteDriver::begin(CZqlDDA* dda, SConnection& c) {
  if (!c.tx.On(EZqlTxEvent::kStatement)) return 0;
  sqlite3* db = c.db.get();
  if (sqlite3_get_autocommit(db)) {
    const int rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(dda, c, rc, "BEGIN", c.env.database, false);
  }
  c.tx.On(EZqlTxEvent::kBegun);
  return 0;
}

// Follows a transaction that SQLite ended by itself (an error that rolled
// back, or END sent as a statement).
void CSqliteDriver::afterStatement(SConnection& c) {
  if (!c.tx.Open() || !sqlite3_get_autocommit(c.db.get())) return;
  closeCursors(c);
  if (c.readOnlyTx) sqlite3_exec(c.db.get(), "PRAGMA query_only = 0", nullptr, nullptr, nullptr);
  c.readOnlyTx = false;
  c.deferFk = false;
  c.tx.On(EZqlTxEvent::kEnded);
}

void CSqliteDriver::closeCursors(SConnection& c) {
  for (auto& k : cursors_) {
    SCursor& cur = *k.second;
    if (cur.connection != c.id || cur.pos == ECsrPos::kClosed) continue;
    sqlite3_reset(cur.stmt.get());
    cur.pos = ECsrPos::kClosed;
    cur.rows.clear();
    cur.rows.shrink_to_fit();
    cur.bytes = 0;
  }
}

int32_t CSqliteDriver::endTransaction(CZqlDDA* dda, SConnection& c, bool commit) {
  // Cursors end with the transaction; a reset statement no longer holds
  // SQLite's locks either.
  closeCursors(c);
  sqlite3* db = c.db.get();
  if (!sqlite3_get_autocommit(db)) {
    const char* sql = commit ? "COMMIT" : "ROLLBACK";
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    // A refused COMMIT (a deferred constraint, a lock) leaves the
    // transaction open: the client may repair and commit again or roll back.
    if (rc != SQLITE_OK) return fail(dda, c, rc, sql, c.env.database, false);
  }
  if (c.readOnlyTx) sqlite3_exec(db, "PRAGMA query_only = 0", nullptr, nullptr, nullptr);
  c.readOnlyTx = false;
  c.deferFk = false;
  if (c.tx.State() == EZqlTxState::kOpen) c.tx.On(EZqlTxEvent::kEnded);
  return 0;
}

uint32_t CSqliteDriver::connectionItem0(const SConnection& c) const {
  uint32_t v = kZqlStatReportsTransaction;
  if (c.env.autoCommit) v |= 0x1;
  if (c.readOnlyTx) v |= 0x2;
  if (c.env.database == ":memory:") v |= 0x4;
  if (c.deferFk) v |= 0x8;
  return v;
}

// ---------------------------------------------------------------------------
// Connections
// ---------------------------------------------------------------------------

int32_t CSqliteDriver::Connect(CZqlDDA* dda, const CZqlUcStr& target, const CZqlUcStr&,
                               const CZqlUcStr&, uint32_t* id) {
  std::string envName;
  ZqlDrvToUtf8(target, &envName);
  std::string ini;
  if (!FindIni(key_, &ini))
    return ZqlDrvCondition(dda, kZqlErrCannotOpenZQLINIFile, "no zql.ini with this driver's key");
  auto c = std::make_unique<SConnection>();
  std::string message;
  if (const int32_t code = ReadEnvironment(ini, envName, &c->env, &message))
    return ZqlDrvCondition(dda, code, message);
  const std::string& path = c->env.database;
  const std::string where = "environment " + envName + ", database " + path + ": ";
  if (path != ":memory:" && !MakeFolders(path))
    return ZqlDrvCondition(dda, kZqlErrSQLServerRejectedEstablishmentOfSQLConnection,
                           where + "its folder cannot be created: " + std::strerror(errno));
  sqlite3* raw = nullptr;
  // Only the serving thread uses a connection (Interrupt's
  // sqlite3_interrupt is safe from any thread), so SQLite's own per-call
  // locking is not needed.
  const int rc = sqlite3_open_v2(path.c_str(), &raw,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
  c->db.reset(raw);
  if (rc != SQLITE_OK)
    return ZqlDrvCondition(dda, kZqlErrSQLServerRejectedEstablishmentOfSQLConnection,
                           where + (raw != nullptr ? sqlite3_errmsg(raw) : "cannot be opened"));
  sqlite3* db = c->db.get();
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, c->env.timeoutMs);
  // Reading the schema proves the file is a database. A database another
  // connection holds locked (a commit under way, a killed writer's journal
  // to roll back) is one too: the connection is made, and its statements
  // meet the lock as they would later.
  const int check = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  const int primary = check & 0xff;
  if (check != SQLITE_OK && primary != SQLITE_BUSY && primary != SQLITE_LOCKED)
    return ZqlDrvCondition(dda, kZqlErrSQLServerRejectedEstablishmentOfSQLConnection,
                           where + sqlite3_errmsg(db));
  if (sqlite3_db_readonly(db, "main") == 1)
    return ZqlDrvCondition(dda, kZqlErrSQLServerRejectedEstablishmentOfSQLConnection, where + "not writable");
  sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
  c->tx = CZqlIsoTx(c->env.autoCommit);
  *id = nextId_++;
  c->id = *id;
  name(dda, *c, 0, path, "connected");
  std::lock_guard<std::mutex> hold(connectionsMutex_);
  connections_[*id] = std::move(c);
  return 0;
}

int32_t CSqliteDriver::Disconnect(CZqlDDA* dda, uint32_t id, EZqlBoolean abort) {
  SConnection& c = connection(id);
  const bool open = !sqlite3_get_autocommit(c.db.get());
  if (open && abort != kZqlTrue)
    return ZqlDrvCondition(dda, kZqlErrDisconnectWhileTransactionIsActive,
                           "a transaction is open on " + c.env.name + ": commit or roll back first");
  drop(id);
  return 0;
}

int32_t CSqliteDriver::Cancel(CZqlDDA*, uint32_t id) {
  sqlite3_interrupt(connection(id).db.get());
  return 0;
}

// SQLite allows sqlite3_interrupt from any thread while the database is
// open; the mutex keeps it open. With no statement running it does nothing.
void CSqliteDriver::Interrupt(uint32_t id) {
  std::lock_guard<std::mutex> hold(connectionsMutex_);
  const auto it = connections_.find(id);
  if (it != connections_.end()) sqlite3_interrupt(it->second->db.get());
}

// ---------------------------------------------------------------------------
// Statement texts
// ---------------------------------------------------------------------------

int32_t CSqliteDriver::checkText(CZqlDDA* dda, const CZqlUcStr& text, std::string* sql,
                                 SZqlSqlScan* scan) {
  const unsigned short* u = text.UcStr();
  for (int i = 0; i < text.Length(); ++i) {
    if (u[i] != 0) continue;
    dda->setErrPos(i + 1);
    return ZqlDrvCondition(dda, kZqlErrSyntaxErrorOrAccessRuleViolation,
                           "the statement text holds a NUL character");
  }
  if (!ZqlDrvToUtf8(text, sql))
    return ZqlDrvCondition(dda, kZqlErrCharacterNotInRepertoire,
                           "the statement text holds an unpaired surrogate");
  *scan = ZqlDrvScan(*sql, Dialect());
  if (UntypeDatetimeLiterals(sql, *scan)) *scan = ZqlDrvScan(*sql, Dialect());
  if (scan->statements == 0)
    return ZqlDrvCondition(dda, kZqlErrSyntaxErrorOrAccessRuleViolation, "the statement text is empty");
  // Several statements are refused where they are compiled: only SQLite's
  // parser knows that the semicolons of a trigger body do not end the text.
  return 0;
}

int32_t CSqliteDriver::compile(CZqlDDA* dda, SConnection& c, const std::string& sql, UStmt* out) {
  sqlite3_stmt* s = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v2(c.db.get(), sql.data(), static_cast<int>(sql.size()), &s, &tail);
  out->reset(s);
  if (rc != SQLITE_OK) return fail(dda, c, rc, sql, std::string(), true);
  if (s == nullptr)
    return ZqlDrvCondition(dda, kZqlErrSyntaxErrorOrAccessRuleViolation, "the statement text is empty");
  // What follows the first statement may only be blanks, comments and
  // semicolons; a second statement is refused before anything runs.
  const size_t used = tail != nullptr ? static_cast<size_t>(tail - sql.data()) : sql.size();
  const SZqlSqlScan rest = ZqlDrvScan(sql.substr(used), Dialect());
  for (const SZqlSqlToken& t : rest.tokens) {
    if (t.kind == EZqlSqlToken::kSemicolon) continue;
    out->reset();
    dda->setErrPos(ZqlDrvUnitsBefore(sql, used + t.begin) + 1);
    return ZqlDrvCondition(dda, kZqlErrSyntaxErrorOrAccessRuleViolation,
                           "the text holds several statements: send one at a time");
  }
  return 0;
}

int32_t CSqliteDriver::run(CZqlDDA* dda, SConnection& c, sqlite3_stmt* s, const std::string& sql) {
  int rc;
  do {
    rc = sqlite3_step(s);
  } while (rc == SQLITE_ROW);
  if (rc != SQLITE_DONE) {
    // The statement's error, not the reset's.
    sqlite3_reset(s);
    return fail(dda, c, rc, sql, std::string(), false);
  }
  sqlite3_reset(s);
  afterStatement(c);
  return 0;
}

int32_t CSqliteDriver::session(CZqlDDA* dda, SConnection& c, const SZqlSessionText& s) {
  sqlite3* db = c.db.get();
  auto warn = [&](const std::string& what) {
    ZqlDrvCondition(dda, kZqlDrvWarning, "SQLite has " + what + ": the statement has no effect");
    return 0;
  };
  switch (s.kind) {
    case EZqlSessionStm::kCommit: return endTransaction(dda, c, true);
    case EZqlSessionStm::kRollback: return endTransaction(dda, c, false);
    case EZqlSessionStm::kSetTransaction: {
      if (!sqlite3_get_autocommit(db))
        return ZqlDrvCondition(dda, kZqlErrInvalidTransactionState,
                               "a transaction is open: SET TRANSACTION must come before its first statement");
      int rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
      if (rc == SQLITE_OK && s.readOnly) rc = sqlite3_exec(db, "PRAGMA query_only = 1", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) return fail(dda, c, rc, "BEGIN", c.env.database, false);
      c.readOnlyTx = s.readOnly;
      if (c.tx.State() == EZqlTxState::kIdle) c.tx.On(EZqlTxEvent::kBegun);
      return 0;
    }
    case EZqlSessionStm::kSetConstraints: {
      if (!s.allConstraints) return warn("no named deferrable constraints");
      const char* sql = s.deferred ? "PRAGMA defer_foreign_keys = 1" : "PRAGMA defer_foreign_keys = 0";
      const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) return fail(dda, c, rc, sql, std::string(), false);
      c.deferFk = s.deferred;
      return 0;
    }
    case EZqlSessionStm::kSetCatalog: return warn("no catalogs");
    case EZqlSessionStm::kSetSchema: return warn("no schema to choose");
    case EZqlSessionStm::kSetNames: return warn("only UTF-8 text (the driver converts)");
    case EZqlSessionStm::kSetTimeZone: return warn("no session time zone");
    case EZqlSessionStm::kSetAuthorization: return warn("no users");
    case EZqlSessionStm::kMalformed:
      return ZqlDrvCondition(dda, kZqlErrSyntaxErrorOrAccessRuleViolation, "malformed SET statement");
    case EZqlSessionStm::kNone: break;
  }
  return ZqlDrvCondition(dda, kZqlErrInternalZQLError, "not a session statement");
}

int32_t CSqliteDriver::positioned(CZqlDDA* dda, SConnection& c, const std::string& sql,
                                  const SZqlSqlScan& scan, const SZqlCurrentOf& at) {
  SCursor* k = nullptr;
  for (auto& e : cursors_)
    if (e.second->connection == c.id && e.second->name == at.name)
      k = e.second.get();
  if (k == nullptr) return ZqlDrvCondition(dda, kZqlErrInvalidCursorName, "no cursor named " + at.name);
  if (k->pos == ECsrPos::kClosed) return kZqlErrCursorIsInCloseState;
  if (k->pos != ECsrPos::kOnRow) return kZqlErrCurorIsNotPositionedOnRow;
  if (k->table.empty())
    return ZqlDrvCondition(dda, kZqlErrCursorIsReadOnly, "cursor " + at.name + " is not updatable");
  const std::string rewritten = sql.substr(0, at.whereBegin) + "WHERE rowid = ?" + sql.substr(at.nameEnd);
  UStmt s;
  if (const int32_t r = compile(dda, c, rewritten, &s)) return r;
  if (sqlite3_bind_parameter_count(s.get()) != 1)
    return ZqlDrvCondition(dda, kZqlErrSyntaxErrorOrAccessRuleViolation,
                           "a positioned statement takes no parameters");
  sqlite3_bind_int64(s.get(), 1, k->rowid);
  if (const int32_t r = begin(dda, c)) return r;
  const int64_t rowid = k->rowid;
  if (const int32_t r = run(dda, c, s.get(), rewritten)) return r;
  dda->setRowCount(sqlite3_changes(c.db.get()));
  const EZqlStatement type = ZqlDrvStatementType(sql, scan);
  if (type == kZqlStmUpdateCursor) k->changed.insert(rowid);
  // The deleted row is no longer one to update or delete again.
  if (type == kZqlStmDeleteCursor) k->pos = ECsrPos::kGone;
  return 0;
}

int32_t CSqliteDriver::immediate(CZqlDDA* dda, uint32_t id, const std::string& sql) {
  SConnection& c = connection(id);
  const SZqlSqlScan scan = ZqlDrvScan(sql, Dialect());
  dda->setStmType(ZqlDrvStatementType(sql, scan));
  const SZqlSessionText s = ZqlDrvParseSession(sql, scan);
  if (s.kind != EZqlSessionStm::kNone) return session(dda, c, s);
  SZqlCurrentOf at;
  if (ZqlDrvFindCurrentOf(sql, scan, &at)) return positioned(dda, c, sql, scan, at);
  UStmt st;
  if (const int32_t r = compile(dda, c, sql, &st)) return r;
  if (sqlite3_bind_parameter_count(st.get()) > 0)
    return ZqlDrvCondition(dda, kZqlErrUsingClauseRequiredForDynamicParameter,
                           "an immediate statement takes no parameters: prepare it");
  if (const int32_t r = begin(dda, c)) return r;
  if (const int32_t r = run(dda, c, st.get(), sql)) return r;
  if (IsDml(ZqlDrvStatementType(sql, scan))) dda->setRowCount(sqlite3_changes(c.db.get()));
  return 0;
}

int32_t CSqliteDriver::IExecute(CZqlDDA* dda, uint32_t id, const CZqlUcStr& text) {
  connection(id);
  std::string sql;
  SZqlSqlScan scan;
  if (const int32_t r = checkText(dda, text, &sql, &scan)) return r;
  return immediate(dda, id, sql);
}

int32_t CSqliteDriver::IExeNative(CZqlDDA* dda, uint32_t id, const CZqlUcStr& text) {
  return IExecute(dda, id, text);
}

// ---------------------------------------------------------------------------
// Prepared statements
// ---------------------------------------------------------------------------

int32_t CSqliteDriver::describe(CZqlDDA* dda, SConnection& c, SStatement& st) {
  sqlite3_stmt* s = st.stmt.get();
  const int np = sqlite3_bind_parameter_count(s);
  if (np > 0) {
    dda->AllocParDsc(np);
    const std::vector<std::string> decls = ParamDecls(c.db.get(), s, st.sql, ZqlDrvScan(st.sql, Dialect()));
    for (int i = 0; i < np; ++i) {
      const char* pname = sqlite3_bind_parameter_name(s, i + 1);
      CZqlParameter* p = dda->ParDsc(i);
      if (pname != nullptr) p->setName(Ident(pname[0] == '?' ? pname : pname + 1));
      p->setNullable(kZqlTrue);
      std::unique_ptr<CZqlData> type(TypeFromDecl(decls[static_cast<size_t>(i) + 1].c_str()));
      if (!type) type.reset(TypeFromValue(SQLITE_TEXT));
      p->setDsc(type.get());
    }
  }
  const int n = sqlite3_column_count(s);
  st.rows = n > 0;
  if (st.rows) st.type = kZqlStmSelect;
  dda->setStmType(st.type);
  if (n == 0) return 0;
  // Columns without a declared type are typed from the first row when the
  // statement needs no parameters.
  std::vector<int> peeked(static_cast<size_t>(n), SQLITE_NULL);
  bool untyped = false;
  for (int i = 0; i < n; ++i) untyped = untyped || sqlite3_column_decltype(s, i) == nullptr;
  if (untyped && np == 0 && sqlite3_stmt_readonly(s)) {
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW)
      for (int i = 0; i < n; ++i) peeked[static_cast<size_t>(i)] = sqlite3_column_type(s, i);
    sqlite3_reset(s);
    // Stopped by an interrupt, the Prepare fails like the query would.
    if (rc == SQLITE_INTERRUPT) return fail(dda, c, rc, st.sql, std::string(), false);
  }
  dda->AllocColDsc(n);
  for (int i = 0; i < n; ++i) {
    CZqlColumn* col = dda->ColDsc(i);
    col->setName(Ident(sqlite3_column_name(s, i)));
    std::unique_ptr<CZqlData> type(TypeFromDecl(sqlite3_column_decltype(s, i)));
    if (!type) type.reset(TypeFromValue(peeked[static_cast<size_t>(i)]));
    col->setDataDsc(type.get());
    const char* table = sqlite3_column_table_name(s, i);
    const char* origin = sqlite3_column_origin_name(s, i);
    int notNull = 0;
    if (table != nullptr && origin != nullptr)
      sqlite3_table_column_metadata(c.db.get(), sqlite3_column_database_name(s, i), table, origin,
                                    nullptr, nullptr, &notNull, nullptr, nullptr);
    col->setNullable(notNull ? kZqlFalse : kZqlTrue);
  }
  return 0;
}

int32_t CSqliteDriver::Prepare(CZqlDDA* dda, uint32_t id, const CZqlUcStr& text, uint32_t* out) {
  SConnection& c = connection(id);
  std::string sql;
  SZqlSqlScan scan;
  if (const int32_t r = checkText(dda, text, &sql, &scan)) return r;
  auto st = std::make_unique<SStatement>();
  st->connection = id;
  st->type = ZqlDrvStatementType(sql, scan);
  SZqlCurrentOf at;
  const bool immediateText = ZqlDrvParseSession(sql, scan).kind != EZqlSessionStm::kNone ||
                             ZqlDrvFindCurrentOf(sql, scan, &at);
  if (immediateText) {
    st->sql = sql;
    dda->setStmType(st->type);
  } else {
    bool update = false;
    const size_t cut = ForClause(sql, scan, &update);
    st->sql = cut == std::string::npos ? sql : sql.substr(0, cut);
    st->readOnly = cut != std::string::npos && !update;
    if (const int32_t r = compile(dda, c, st->sql, &st->stmt)) return r;
    if (const int32_t r = describe(dda, c, *st)) return r;
  }
  name(dda, c, 0, std::string(), "prepared");
  *out = nextId_++;
  statements_[*out] = std::move(st);
  return 0;
}

int32_t CSqliteDriver::bindAll(CZqlDDA* dda, sqlite3_stmt* s) {
  sqlite3_clear_bindings(s);
  const int np = sqlite3_bind_parameter_count(s);
  if (dda->ParCount() < np)
    return ZqlDrvCondition(dda, kZqlErrUsingClauseDoesNotMatchDynamicParameterSpecification,
                           "parameters missing");
  for (int i = 0; i < np; ++i) {
    CZqlData* v = nullptr;
    if (!dda->ParDsc(i)->getBind(&v))
      return ZqlDrvCondition(dda, kZqlErrUsingClauseRequiredForDynamicParameter,
                             "no value for parameter " + std::to_string(i + 1));
    const int rc = BindValue(s, i + 1, v);
    if (rc < 0) return ZqlDrvCondition(dda, -rc, "parameter " + std::to_string(i + 1) + " does not convert");
    if (rc != SQLITE_OK)
      return ZqlDrvCondition(dda, kZqlErrExceptionRaisedByDBMSDriver, sqlite3_errstr(rc));
  }
  return 0;
}

int32_t CSqliteDriver::deliver(CZqlDDA* dda, const SRow& row, int hidden) {
  if (dda->Output() == nullptr && dda->ColCount() > 0) dda->CreateOutput();
  const int n = dda->ColCount();
  for (int i = 0; i < n && static_cast<size_t>(i + hidden) < row.size(); ++i) {
    CZqlData* out = nullptr;
    if (!dda->OutDsc(i)->getBind(&out)) return kZqlErrInternalZQLError;
    std::string message;
    if (const int32_t code = StoreValue(row[static_cast<size_t>(i + hidden)], out, &message)) {
      CZqlUcStr col;
      dda->ColDsc(i)->Name().ToString(&col);
      std::string colName;
      ZqlDrvToUtf8(col, &colName);
      return ZqlDrvCondition(dda, code, "column " + colName + ": " + message);
    }
  }
  return 0;
}

int32_t CSqliteDriver::Execute(CZqlDDA* dda, uint32_t id) {
  SStatement& st = statement(id);
  SConnection& c = connection(st.connection);
  if (!st.stmt) return immediate(dda, st.connection, st.sql);
  sqlite3_stmt* s = st.stmt.get();
  sqlite3_reset(s);
  if (const int32_t r = bindAll(dda, s)) return r;
  if (const int32_t r = begin(dda, c)) return r;
  if (!st.rows) {
    if (const int32_t r = run(dda, c, s, st.sql)) return r;
    if (IsDml(st.type)) dda->setRowCount(sqlite3_changes(c.db.get()));
    return 0;
  }
  // A query executed directly delivers its single row.
  int rc = sqlite3_step(s);
  if (rc == SQLITE_DONE) {
    sqlite3_reset(s);
    afterStatement(c);
    return kZqlErrNoData0200;
  }
  if (rc != SQLITE_ROW) {
    sqlite3_reset(s);
    return fail(dda, c, rc, st.sql, std::string(), false);
  }
  SRow row;
  ReadRow(s, &row);
  rc = sqlite3_step(s);
  sqlite3_reset(s);
  afterStatement(c);
  if (rc == SQLITE_ROW)
    return ZqlDrvCondition(dda, kZqlErrCardinalityViolation, "the query returns more than one row");
  if (rc != SQLITE_DONE) return fail(dda, c, rc, st.sql, std::string(), false);
  dda->setRowCount(1);
  return deliver(dda, row, 0);
}

int32_t CSqliteDriver::DeallocStm(CZqlDDA*, uint32_t id) {
  statement(id);
  for (auto k = cursors_.begin(); k != cursors_.end();)
    k = k->second->statement == id ? cursors_.erase(k) : std::next(k);
  statements_.erase(id);
  return 0;
}

// ---------------------------------------------------------------------------
// Cursors
// ---------------------------------------------------------------------------

int32_t CSqliteDriver::AllocCsr(CZqlDDA* dda, uint32_t stm, const CZqlIdent& csrName, EZqlCurScr scr,
                                EZqlCurSns sns, uint32_t* out) {
  SStatement& st = statement(stm);
  SConnection& c = connection(st.connection);
  if (!st.rows)
    return ZqlDrvCondition(dda, kZqlErrPreparedStatementNotACursorSpecification,
                           "the statement returns no rows");
  auto k = std::make_unique<SCursor>();
  k->statement = stm;
  k->connection = st.connection;
  ZqlDrvToUtf8(csrName.Body(), &k->name);
  // WHERE CURRENT OF must find one cursor by its name.
  for (const auto& e : cursors_)
    if (!k->name.empty() && e.second->connection == k->connection && e.second->name == k->name)
      return ZqlDrvCondition(dda, kZqlErrAmbiguousCursorName, "a cursor named " + k->name + " exists");
  k->scroll = scr == kZqlCurScroll;
  k->insensitive = sns == kZqlCurInsensitive || k->scroll;
  // A query over one table gets that table's rowid as a hidden first
  // column: positioned UPDATE and DELETE find the row by it.
  sqlite3_stmt* s = st.stmt.get();
  const int n = sqlite3_column_count(s);
  std::string table;
  bool one = !st.readOnly && n > 0;
  for (int i = 0; i < n && one; ++i) {
    const char* t = sqlite3_column_table_name(s, i);
    const char* d = sqlite3_column_database_name(s, i);
    one = t != nullptr && d != nullptr && std::strcmp(d, "main") == 0 && (i == 0 || table == t);
    if (one) table = t;
  }
  const SZqlSqlScan scan = ZqlDrvScan(st.sql, Dialect());
  size_t afterSelect = 0;
  if (one && SingleRowSource(st.sql, scan, &afterSelect)) {
    const std::string sql = st.sql.substr(0, afterSelect) + " rowid," + st.sql.substr(afterSelect);
    sqlite3_stmt* r = nullptr;
    if (sqlite3_prepare_v2(c.db.get(), sql.data(), static_cast<int>(sql.size()), &r, nullptr) == SQLITE_OK &&
        r != nullptr && sqlite3_column_count(r) == n + 1) {
      k->stmt.reset(r);
      k->hidden = 1;
      k->table = table;
    } else {
      sqlite3_finalize(r);
    }
  }
  if (!k->stmt) {
    sqlite3_stmt* r = nullptr;
    const int rc = sqlite3_prepare_v2(c.db.get(), st.sql.data(), static_cast<int>(st.sql.size()), &r, nullptr);
    k->stmt.reset(r);
    if (rc != SQLITE_OK) return fail(dda, c, rc, st.sql, std::string(), true);
  }
  if (!k->table.empty()) {
    CZqlUcStr su;
    const std::string written = SqlName(k->table);
    ZqlDrvUtf8ToUcStr(written.data(), written.size(), &su);
    dda->setSUTable(su);
    dda->setCsrUpd(kZqlTrue);
  }
  name(dda, c, 0, k->table, "cursor allocated");
  *out = nextId_++;
  cursors_[*out] = std::move(k);
  return 0;
}

int32_t CSqliteDriver::Open(CZqlDDA* dda, uint32_t id) {
  SCursor& k = cursor(id);
  SConnection& c = connection(k.connection);
  if (k.pos != ECsrPos::kClosed) return kZqlErrCurorIsInOpenState;
  sqlite3_reset(k.stmt.get());
  if (const int32_t r = bindAll(dda, k.stmt.get())) return r;
  if (const int32_t r = begin(dda, c)) return r;
  k.pos = ECsrPos::kBefore;
  k.done = false;
  k.rows.clear();
  k.bytes = 0;
  k.index = -1;
  k.changed.clear();
  dda->setCsrState(kZqlTrue);
  return 0;
}

int32_t CSqliteDriver::Close(CZqlDDA*, uint32_t id) {
  SCursor& k = cursor(id);
  if (k.pos == ECsrPos::kClosed) return kZqlErrCursorIsInCloseState;
  sqlite3_reset(k.stmt.get());
  k.pos = ECsrPos::kClosed;
  k.rows.clear();
  k.rows.shrink_to_fit();
  k.bytes = 0;
  k.changed.clear();
  return 0;
}

// Steps the cursor's statement to its next row, passing over rows it
// updated itself (an update may move a row ahead of the scan). Answers 0
// on a row, kZqlErrNoData0200 at the end, or a failure's code.
int32_t CSqliteDriver::step(CZqlDDA* dda, SCursor& k, SConnection& c) {
  if (k.done) return kZqlErrNoData0200;
  for (;;) {
    const int rc = sqlite3_step(k.stmt.get());
    if (rc == SQLITE_DONE) {
      k.done = true;
      return kZqlErrNoData0200;
    }
    if (rc != SQLITE_ROW) {
      k.done = true;
      return fail(dda, c, rc, std::string(), k.table, false);
    }
    if (k.hidden == 1 && !k.changed.empty() && k.changed.count(sqlite3_column_int64(k.stmt.get(), 0)) != 0)
      continue;
    return 0;
  }
}

int32_t CSqliteDriver::fetchScroll(CZqlDDA* dda, SCursor& k, SConnection& c, int64_t target) {
  // Reads rows up to target (all of them for INT64_MAX).
  while (!k.done && static_cast<int64_t>(k.rows.size()) <= target) {
    const int32_t r = step(dda, k, c);
    if (r == kZqlErrNoData0200) break;
    if (r != 0) return r;
    SRow row;
    ReadRow(k.stmt.get(), &row);
    k.bytes += RowBytes(row);
    if (k.bytes > kZqlSqliteScrollBytes)
      return ZqlDrvCondition(dda, kZqlErrInsufficientMemory,
                             "a scroll cursor holds at most " + std::to_string(kZqlSqliteScrollBytes) +
                                 " bytes of rows");
    k.rows.push_back(std::move(row));
  }
  return 0;
}

int32_t CSqliteDriver::Fetch(CZqlDDA* dda, uint32_t id, EZqlDirection direction, int32_t offset) {
  SCursor& k = cursor(id);
  SConnection& c = connection(k.connection);
  if (k.pos == ECsrPos::kClosed) return kZqlErrCursorIsInCloseState;
  if (!k.scroll) {
    if (direction != kZqlFetchNext) return kZqlErrCanOnlyFetchNextInNonScrollCursor;
    const int32_t r = step(dda, k, c);
    if (r != 0) {
      k.pos = r == kZqlErrNoData0200 ? ECsrPos::kAfter : k.pos;
      return r;
    }
    ReadRow(k.stmt.get(), &k.current);
    k.pos = ECsrPos::kOnRow;
    if (k.hidden == 1) k.rowid = k.current[0].i;
    return deliver(dda, k.current, k.hidden);
  }
  // Scroll cursors keep the rows read so far; positions count from 0.
  constexpr int64_t kAll = INT64_MAX;
  int64_t target = 0;
  auto all = [&]() -> int32_t { return fetchScroll(dda, k, c, kAll); };
  int64_t here = 0;  // the current position; after the end it is the row count, read to the end
  switch (k.pos) {
    case ECsrPos::kBefore: here = -1; break;
    case ECsrPos::kOnRow:
    case ECsrPos::kGone: here = k.index; break;
    case ECsrPos::kAfter:
      if (const int32_t r = all()) return r;
      here = static_cast<int64_t>(k.rows.size());
      break;
    case ECsrPos::kClosed: return kZqlErrInternalZQLError;  // refused above
  }
  switch (direction) {
    case kZqlFetchNext: target = here + 1; break;
    case kZqlFetchPrior: target = here - 1; break;
    case kZqlFetchFirst: target = 0; break;
    case kZqlFetchLast:
      if (const int32_t r = all()) return r;
      target = static_cast<int64_t>(k.rows.size()) - 1;
      break;
    case kZqlFetchAbsolute:
      if (offset >= 0) {
        target = int64_t{offset} - 1;
      } else {
        if (const int32_t r = all()) return r;
        target = static_cast<int64_t>(k.rows.size()) + offset;
      }
      break;
    case kZqlFetchRelative: target = here + offset; break;
    default: return kZqlErrInvalidFunctionArguments;
  }
  if (target < 0) {
    k.pos = ECsrPos::kBefore;
    return kZqlErrNoData0200;
  }
  if (const int32_t r = fetchScroll(dda, k, c, target)) return r;
  if (target >= static_cast<int64_t>(k.rows.size())) {
    k.pos = ECsrPos::kAfter;
    return kZqlErrNoData0200;
  }
  k.index = target;
  k.pos = ECsrPos::kOnRow;
  const SRow& row = k.rows[static_cast<size_t>(target)];
  if (k.hidden == 1) k.rowid = row[0].i;
  return deliver(dda, row, k.hidden);
}

// ---------------------------------------------------------------------------
// Status
// ---------------------------------------------------------------------------

int32_t CSqliteDriver::Status(CZqlDDA*, uint32_t id, EZqlStatInfo info, uint32_t* value) {
  *value = 0;
  if (id == 0) {
    *value = static_cast<uint32_t>(connections_.size());
    return 0;
  }
  const auto c = connections_.find(id);
  if (c != connections_.end()) {
    const SConnection& con = *c->second;
    switch (info) {
      case kZqlStatConnection0: *value = connectionItem0(con); break;
      case kZqlStatConnection1: *value = sqlite3_get_autocommit(con.db.get()) ? 0 : 1; break;
      case kZqlStatConnection8:
        for (const auto& k : cursors_)
          if (k.second->connection == id && k.second->pos != ECsrPos::kClosed) ++*value;
        break;
      case kZqlStatConnection9: *value = static_cast<uint32_t>(sqlite3_total_changes(con.db.get())); break;
      case kZqlStatConnection10: *value = static_cast<uint32_t>(sqlite3_libversion_number()); break;
      default: break;
    }
    return 0;
  }
  if (statements_.count(id) != 0) return 0;
  const auto k = cursors_.find(id);
  if (k == cursors_.end()) return kZqlErrInvalidFunctionArguments;
  const SCursor& cur = *k->second;
  switch (info) {
    case kZqlStatCsrOpen: *value = cur.pos != ECsrPos::kClosed ? 1 : 0; break;
    case kZqlStatCsrInsensitive: *value = cur.insensitive ? 1 : 0; break;
    case kZqlStatCsrScrollable: *value = cur.scroll ? 1 : 0; break;
    case kZqlStatCsrPosition: *value = cur.pos == ECsrPos::kOnRow ? kZqlCsrOnRow : 0; break;
    case kZqlStatCsrUpdatable: *value = cur.table.empty() ? 0 : 1; break;
    default: break;
  }
  return 0;
}

}  // namespace zqlsqlite
