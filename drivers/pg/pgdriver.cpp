// The PostgreSQL driver's operations.

#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "pgsql.h"
#include "pgtext.h"
#include "zqlcol.h"
#include "zqlconf.h"
#include "zqlpg.h"
#include "zqlsql.h"

namespace zqlpg {

void SPgConnDeleter::operator()(pg_conn* c) const { PQfinish(c); }
void SPgResultDeleter::operator()(pg_result* r) const { PQclear(r); }

namespace {

// The savepoint every statement inside a transaction runs under.
constexpr char kSavepoint[] = "zql_statement";
// Server types of the hidden columns of an updatable cursor.
constexpr uint32_t kPgTid = 27;
constexpr int kHidden = 2;  // ctid, tableoid

struct SCancelDeleter {
  void operator()(PGcancel* c) const { PQfreeCancel(c); }
};

// Raises code with a condition of the driver's own.
[[noreturn]] void Refuse(CZqlDDA* dda, EZqlError code, const std::string& message) {
  ZqlDrvCondition(dda, code, message);
  ZQL_RAISE(code);
}

// A column name as the client names it: the server's folded lower-case
// name is a regular identifier, any other a delimited one.
CZqlIdent ColumnIdent(const char* name) {
  bool folded = *name != '\0';
  for (const char* p = name; *p != '\0'; ++p) {
    const unsigned char ch = static_cast<unsigned char>(*p);
    folded = folded && (std::islower(ch) || std::isdigit(ch) || ch == '_' || ch >= 0x80);
  }
  CZqlIdent ident;
  if (!folded) ident.setDelimited();
  ident.setBody(Utf16Of(name, static_cast<int>(std::strlen(name))));
  return ident;
}

}  // namespace

// ---------------------------------------------------------------------------
// State
// ---------------------------------------------------------------------------

struct CZqlPgDriver::SConn {
  CPgConn pg;
  std::string modes;    // of SET TRANSACTION, for the next BEGIN
  bool lost = false;    // the server went away: only Disconnect is served
  uint32_t serial = 0;  // counts ended transactions: cursors die with theirs
  std::string dbms;     // "PostgreSQL 15.4"
};

struct CZqlPgDriver::SStm {
  uint32_t connection = 0;
  std::string name;          // the server's prepared statement
  SPgText text;              // as sent, with the map back to the client's
  std::string cursorText;    // the query a cursor declares
  std::vector<uint32_t> paramTypes;
  std::vector<SPgType> columns;  // the client's columns (hidden ones left out)
  EZqlStatement type = kZqlStmUndefined;
  bool rows = false;       // returns rows
  bool updatable = false;  // selects ctid and tableoid last
  bool forUpdate = false;  // the client's query ended in FOR UPDATE
  std::string table;       // the updatable table, as the client wrote it
};

// Where a cursor stands.
enum class ECsrState {
  kClosed,     // not open (also after its transaction ended)
  kOpen,       // declared on the server; onRow tells the position
  kExhausted,  // a non-scroll cursor past its last row
};

struct CZqlPgDriver::SCsr {
  uint32_t statement = 0;
  std::string sqlName;  // the client's name, as SQL (regular names in upper case)
  std::string name;     // the server's cursor
  bool scroll = false;
  bool insensitive = false;
  ECsrState state = ECsrState::kClosed;
  uint32_t serial = 0;  // of the transaction it was declared in
  CPgResult batch;      // non-scroll: the rows fetched ahead
  int next = 0;         // the batch row the next fetch delivers
  bool onRow = false;
  std::string ctid, tableoid;  // of the current row, when updatable
};

CZqlPgDriver::CZqlPgDriver() = default;
CZqlPgDriver::~CZqlPgDriver() = default;

CZqlPgDriver::SConn& CZqlPgDriver::conn(uint32_t id) {
  const auto found = conns_.find(id);
  if (found == conns_.end()) ZQL_RAISE(kZqlErrConnectionDoesNotExist);
  return *found->second;
}

CZqlPgDriver::SStm& CZqlPgDriver::stm(uint32_t id) {
  const auto found = stms_.find(id);
  if (found == stms_.end()) ZQL_RAISE(kZqlErrInvalidSQLStatementName);
  return *found->second;
}

CZqlPgDriver::SCsr& CZqlPgDriver::csr(uint32_t id) {
  const auto found = csrs_.find(id);
  if (found == csrs_.end()) ZQL_RAISE(kZqlErrInvalidCursorName);
  return *found->second;
}

bool CZqlPgDriver::inTransaction(const SConn& c) const {
  if (c.lost) return false;
  const PGTransactionStatusType t = PQtransactionStatus(c.pg.get());
  return t == PQTRANS_INTRANS || t == PQTRANS_INERROR || t == PQTRANS_ACTIVE;
}

// ---------------------------------------------------------------------------
// Talking to the server
// ---------------------------------------------------------------------------

// The server's failure r (null: the connection's) as the condition of dda.
void CZqlPgDriver::fail(SConn& c, CZqlDDA* dda, pg_result* r, const SStm* origin) {
  PGconn* pg = c.pg.get();
  const char* state = r != nullptr ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  if (PQstatus(pg) == CONNECTION_BAD) {
    c.lost = true;
    ++c.serial;
    if (state == nullptr || std::strncmp(state, "08", 2) != 0) state = "08006";
  }
  if (state == nullptr) state = "XX000";
  const EZqlError code = CodeOfSqlstate(state);
  std::string message;
  if (const char* primary = r != nullptr ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr)
    message = primary;
  else
    message = PQerrorMessage(pg);
  while (!message.empty() && message.back() == '\n') message.pop_back();
  if (const char* detail = r != nullptr ? PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL) : nullptr)
    message += std::string("\nDETAIL: ") + detail;
  if (const char* hint = r != nullptr ? PQresultErrorField(r, PG_DIAG_MESSAGE_HINT) : nullptr)
    message += std::string("\nHINT: ") + hint;
  dda->setErr(code);
  dda->setSQLSTATE(state);
  dda->setErrMsg(Utf16Of(message));
  // The driver message of the DBMS name (where the reply carries it).
  const char* table = r != nullptr ? PQresultErrorField(r, PG_DIAG_TABLE_NAME) : nullptr;
  dda->setNameOfDBMS(
      Utf16Of(ZqlDrvDbmsName("zqlpg", c.dbms, state, table != nullptr ? table : "", message)));
  const struct {
    int field;
    EZqlDiag item;
  } items[] = {{PG_DIAG_SCHEMA_NAME, kZqlDiagSchemaName},
               {PG_DIAG_TABLE_NAME, kZqlDiagTableName},
               {PG_DIAG_COLUMN_NAME, kZqlDiagColumnName},
               {PG_DIAG_CONSTRAINT_NAME, kZqlDiagConstraintName}};
  for (const auto& item : items) {
    const char* value = r != nullptr ? PQresultErrorField(r, item.field) : nullptr;
    if (value != nullptr) dda->setDiagPar(item.item, Utf16Of(value, static_cast<int>(std::strlen(value))));
  }
  const char* position = r != nullptr ? PQresultErrorField(r, PG_DIAG_STATEMENT_POSITION) : nullptr;
  if (position != nullptr && origin != nullptr)
    dda->setErrPos(origin->text.ClientPosition(std::atoi(position)));
  else if (position != nullptr)
    dda->setErrPos(std::atoi(position));
  dda->PushCond();
  ZQL_RAISE(code);
}

// A fresh savepoint for the next statement; BEGIN first when no
// transaction is open.
void CZqlPgDriver::guard(SConn& c, CZqlDDA* dda) {
  std::string sql;
  switch (PQtransactionStatus(c.pg.get())) {
    case PQTRANS_IDLE:
      sql = "BEGIN" + c.modes + "; SAVEPOINT " + kSavepoint;
      c.modes.clear();
      break;
    case PQTRANS_INTRANS:
      sql = std::string("RELEASE SAVEPOINT ") + kSavepoint + "; SAVEPOINT " + kSavepoint;
      break;
    case PQTRANS_INERROR:
      sql = std::string("ROLLBACK TO SAVEPOINT ") + kSavepoint;
      break;
    default:  // no connection, or a command still running
      fail(c, dda, nullptr, nullptr);
  }
  CPgResult r(PQexec(c.pg.get(), sql.c_str()));
  if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
    if (PQstatus(c.pg.get()) != CONNECTION_BAD) {
      // The savepoint is gone (native SQL ended it): the transaction is
      // rolled back rather than left half-failed.
      CPgResult(PQexec(c.pg.get(), "ROLLBACK"));
      ++c.serial;
    }
    fail(c, dda, r.get(), nullptr);
  }
}

// Undoes the failed statement: back to its savepoint.
void CZqlPgDriver::undo(SConn& c, CZqlDDA* dda) {
  if (PQstatus(c.pg.get()) == CONNECTION_BAD) return;
  const std::string sql = std::string("ROLLBACK TO SAVEPOINT ") + kSavepoint;
  CPgResult r(PQexec(c.pg.get(), sql.c_str()));
  if (PQresultStatus(r.get()) == PGRES_COMMAND_OK) return;
  CPgResult(PQexec(c.pg.get(), "ROLLBACK"));
  ++c.serial;
  dda->setErr(kZqlErrTransactionRollback);
  dda->setErrMsg(Utf16Of("the transaction was rolled back"));
  dda->PushCond();
}

// Runs one statement of the client inside the transaction (opened first
// when none is): text with values of types (both null for none), or the
// prepared statement origin when sql is empty.
CPgResult CZqlPgDriver::run(SConn& c, CZqlDDA* dda, const std::string& sql,
                            const std::vector<std::string>* values,
                            const std::vector<uint32_t>* types, const SStm* origin) {
  if (c.lost) Refuse(dda, kZqlErrConnectionDoesNotExist, "the connection to the server was lost");
  guard(c, dda);
  std::vector<const char*> pointers;
  if (values != nullptr)
    for (const std::string& v : *values) pointers.push_back(v.c_str());
  const int n = static_cast<int>(pointers.size());
  PGresult* raw;
  if (sql.empty()) {
    raw = PQexecPrepared(c.pg.get(), origin->name.c_str(), n, pointers.data(), nullptr, nullptr, 0);
  } else {
    raw = PQexecParams(c.pg.get(), sql.c_str(), n, types != nullptr ? types->data() : nullptr,
                       pointers.data(), nullptr, nullptr, 0);
  }
  CPgResult r(raw);
  const ExecStatusType status = PQresultStatus(r.get());
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return r;
  undo(c, dda);
  fail(c, dda, r.get(), origin);
}

// A statement outside the savepoints (session texts, transaction ends).
CPgResult CZqlPgDriver::plain(SConn& c, CZqlDDA* dda, const std::string& sql, const SStm* origin) {
  if (c.lost) Refuse(dda, kZqlErrConnectionDoesNotExist, "the connection to the server was lost");
  CPgResult r(PQexec(c.pg.get(), sql.c_str()));
  const ExecStatusType status = PQresultStatus(r.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(c, dda, r.get(), origin);
  return r;
}

void CZqlPgDriver::endTransaction(SConn& c, CZqlDDA* dda, bool commit) {
  c.modes.clear();
  if (!inTransaction(c)) {
    if (c.lost) Refuse(dda, kZqlErrConnectionDoesNotExist, "the connection to the server was lost");
    return;
  }
  const bool failed = PQtransactionStatus(c.pg.get()) == PQTRANS_INERROR;
  ++c.serial;  // the transaction's cursors end with it
  CPgResult r = plain(c, dda, commit ? "COMMIT" : "ROLLBACK", nullptr);
  if (commit && failed)
    Refuse(dda, kZqlErrTransactionRollback, "the failed transaction was rolled back");
}

// ---------------------------------------------------------------------------
// Connections
// ---------------------------------------------------------------------------

int32_t CZqlPgDriver::Connect(CZqlDDA* dda, const CZqlUcStr& target, const CZqlUcStr& user,
                              const CZqlUcStr& password, uint32_t* connection) {
  CZqlConfig config;
  CZqlUcStr conninfo;
  if (target.Length() == 0 || !config.readCfgString(target, CZqlUcStr("Conninfo"), &conninfo))
    Refuse(dda, kZqlErrSQLClientUnableToEstablishSQLConnection,
           "environment " + Utf8Of(target) + " has no Conninfo in zql.ini");
  const std::string info = Utf8Of(conninfo), name = Utf8Of(user), secret = Utf8Of(password);
  // The string's own keys first; the client's user and password and the
  // driver's encoding override them.
  std::vector<const char*> keys = {"dbname", "client_encoding", "fallback_application_name"};
  std::vector<const char*> values = {info.c_str(), "UTF8", "zqlpg"};
  if (!name.empty()) {
    keys.push_back("user");
    values.push_back(name.c_str());
  }
  if (!secret.empty()) {
    keys.push_back("password");
    values.push_back(secret.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  std::unique_ptr<SConn> c(new SConn);
  c->pg.reset(PQconnectdbParams(keys.data(), values.data(), 1));
  if (c->pg == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
  if (PQstatus(c->pg.get()) != CONNECTION_OK) {
    std::string message = PQerrorMessage(c->pg.get());
    while (!message.empty() && message.back() == '\n') message.pop_back();
    dda->setErr(kZqlErrSQLClientUnableToEstablishSQLConnection);
    dda->setSQLSTATE("08001");
    dda->setErrMsg(Utf16Of(message));
    dda->PushCond();
    ZQL_RAISE(kZqlErrSQLClientUnableToEstablishSQLConnection);
  }
  // The server's notices are not the client's business.
  PQsetNoticeProcessor(c->pg.get(), [](void*, const char*) {}, nullptr);
  // The text forms the conversions read.
  plain(*c, dda, "SET DateStyle TO ISO; SET IntervalStyle TO sql_standard; "
                 "SET extra_float_digits TO 3",
        nullptr);
  const int version = PQserverVersion(c->pg.get());
  char dbms[64];
  std::snprintf(dbms, sizeof dbms, "PostgreSQL %d.%d", version / 10000, version % 10000);
  c->dbms = dbms;
  dda->setNameOfDBMS(DbmsName(dbms, "", ""));
  dda->setStatusOfDBMS(static_cast<uint32_t>(version));
  *connection = nextId_++;
  {
    std::lock_guard<std::mutex> hold(cancelsMutex_);
    cancels_[*connection].reset(PQgetCancel(c->pg.get()));
  }
  conns_[*connection] = std::move(c);
  return 0;
}

int32_t CZqlPgDriver::Disconnect(CZqlDDA* dda, uint32_t connection, EZqlBoolean abort) {
  SConn& c = conn(connection);
  if (inTransaction(c)) {
    if (abort != kZqlTrue)
      Refuse(dda, kZqlErrDisconnectWhileTransactionIsActive,
             "a transaction is open: commit or roll it back first");
    CPgResult(PQexec(c.pg.get(), "ROLLBACK"));
  }
  for (auto it = stms_.begin(); it != stms_.end();) {
    if (it->second->connection != connection) {
      ++it;
      continue;
    }
    const uint32_t id = it->first;
    ++it;
    for (auto k = csrs_.begin(); k != csrs_.end();)
      k = k->second->statement == id ? csrs_.erase(k) : std::next(k);
    stms_.erase(id);
  }
  {
    std::lock_guard<std::mutex> hold(cancelsMutex_);
    cancels_.erase(connection);
  }
  conns_.erase(connection);
  return 0;
}

void CZqlPgDriver::SCancelFree::operator()(pg_cancel* c) const { PQfreeCancel(c); }

// The server ignores a cancel while the connection runs nothing; a running
// query fails with 57014 and its statement savepoint is rolled back.
void CZqlPgDriver::Interrupt(uint32_t connection) {
  std::lock_guard<std::mutex> hold(cancelsMutex_);
  const auto it = cancels_.find(connection);
  if (it == cancels_.end() || it->second == nullptr) return;
  char message[256];
  PQcancel(it->second.get(), message, sizeof message);
}

int32_t CZqlPgDriver::Cancel(CZqlDDA* dda, uint32_t connection) {
  SConn& c = conn(connection);
  if (c.lost) return 0;
  std::unique_ptr<PGcancel, SCancelDeleter> cancel(PQgetCancel(c.pg.get()));
  char message[256] = {};
  if (cancel == nullptr || PQcancel(cancel.get(), message, sizeof message) == 0)
    Refuse(dda, kZqlErrConnectionFailure, std::string("cancel failed: ") + message);
  return 0;
}

// ---------------------------------------------------------------------------
// Statements executed at once
// ---------------------------------------------------------------------------

// The session texts of the client: transaction ends and modes,
// constraints and the session's settings.
int32_t CZqlPgDriver::session(SConn& c, CZqlDDA* dda, const std::string& sql,
                              const SZqlSessionText& t) {
  switch (t.kind) {
    case EZqlSessionStm::kCommit:
    case EZqlSessionStm::kRollback:
      endTransaction(c, dda, t.kind == EZqlSessionStm::kCommit);
      return 0;
    case EZqlSessionStm::kSetTransaction: {
      // DIAGNOSTICS SIZE is the client's business; the rest shapes BEGIN.
      static const char* const kLevels[] = {"", " ISOLATION LEVEL READ UNCOMMITTED",
                                            " ISOLATION LEVEL READ COMMITTED",
                                            " ISOLATION LEVEL REPEATABLE READ",
                                            " ISOLATION LEVEL SERIALIZABLE"};
      std::string modes = t.isolation >= 1 && t.isolation <= 4 ? kLevels[t.isolation] : "";
      if (t.readOnly || t.readWrite)
        modes += std::string(modes.empty() ? "" : ",") + (t.readOnly ? " READ ONLY" : " READ WRITE");
      if (inTransaction(c)) {
        if (!modes.empty()) run(c, dda, "SET TRANSACTION" + modes, nullptr, nullptr, nullptr);
      } else {
        c.modes = modes;
      }
      return 0;
    }
    case EZqlSessionStm::kSetConstraints:
      run(c, dda, sql, nullptr, nullptr, nullptr);
      return 0;
    case EZqlSessionStm::kSetCatalog:
      ZqlDrvCondition(dda, kZqlDrvWarning, "PostgreSQL has no catalogs: SET CATALOG has no effect");
      return 0;
    case EZqlSessionStm::kSetNames:
      // The driver's text is Unicode both ways: the connection stays UTF8.
      ZqlDrvCondition(dda, kZqlDrvWarning, "SET NAMES has no effect: text travels as Unicode");
      return 0;
    default:  // SET SCHEMA, SET TIME ZONE, SET SESSION AUTHORIZATION, malformed
      if (inTransaction(c))
        run(c, dda, sql, nullptr, nullptr, nullptr);
      else
        plain(c, dda, sql, nullptr);
      return 0;
  }
}

int32_t CZqlPgDriver::IExecute(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text) {
  SConn& c = conn(connection);
  const std::string sql = Utf8Of(text);
  if (IsBlank(sql)) Refuse(dda, kZqlErrSyntaxErrorOrAccessRuleViolation, "empty statement");
  const SZqlSessionText t = SessionTextOf(sql);
  if (t.kind != EZqlSessionStm::kNone) return session(c, dda, sql, t);
  std::string cursorName;
  const size_t clause = FindCurrentOf(sql, &cursorName);
  if (clause != std::string::npos) return positioned(c, connection, dda, sql, clause, cursorName);
  dda->setStmType(StatementTypeOf(sql));
  CPgResult r = run(c, dda, sql, nullptr, nullptr, nullptr);
  dda->setRowCount(std::atoi(PQcmdTuples(r.get())));
  return 0;
}

int32_t CZqlPgDriver::IExeNative(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text) {
  SConn& c = conn(connection);
  const std::string sql = Utf8Of(text);
  if (c.lost) Refuse(dda, kZqlErrConnectionDoesNotExist, "the connection to the server was lost");
  const bool open = inTransaction(c);
  if (open) guard(c, dda);
  CPgResult r(PQexec(c.pg.get(), sql.c_str()));
  const ExecStatusType status = PQresultStatus(r.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY) {
    if (PQtransactionStatus(c.pg.get()) == PQTRANS_INERROR) undo(c, dda);
    fail(c, dda, r.get(), nullptr);
  }
  dda->setRowCount(std::atoi(PQcmdTuples(r.get())));
  return 0;
}

// A positioned UPDATE or DELETE: WHERE CURRENT OF becomes the current row's
// ctid and table OID.
int32_t CZqlPgDriver::positioned(SConn& c, uint32_t connection, CZqlDDA* dda,
                                 const std::string& sql, size_t clause,
                                 const std::string& cursorName) {
  SCsr* found = nullptr;
  for (auto& entry : csrs_) {
    SCsr& k = *entry.second;
    if (k.sqlName == cursorName && stms_.at(k.statement)->connection == connection) found = &k;
  }
  if (found == nullptr) Refuse(dda, kZqlErrInvalidCursorName, "no cursor " + cursorName);
  SCsr& k = *found;
  const SStm& s = *stms_.at(k.statement);
  if (k.state == ECsrState::kClosed || k.serial != c.serial)
    Refuse(dda, kZqlErrCursorIsInCloseState, "cursor " + cursorName + " is not open");
  if (!s.updatable) Refuse(dda, kZqlErrCursorIsReadOnly, "cursor " + cursorName + " is read only");
  if (!k.onRow)
    Refuse(dda, kZqlErrCurorIsNotPositionedOnRow, "cursor " + cursorName + " is not on a row");
  const bool update = StatementTypeOf(sql) == kZqlStmUpdateCursor;
  const std::string head = update ? WithByteaLiterals(sql.substr(0, clause)) : sql.substr(0, clause);
  const std::string text = head + " WHERE ctid = $1 AND tableoid = $2" +
                           (update ? " RETURNING ctid" : "");
  const std::vector<std::string> values = {k.ctid, k.tableoid};
  const std::vector<uint32_t> types = {kPgTid, kPgOid};
  CPgResult r = run(c, dda, text, &values, &types, nullptr);
  if (std::atoi(PQcmdTuples(r.get())) == 0)
    Refuse(dda, kZqlErrCurorIsNotPositionedOnRow,
           "the current row of cursor " + cursorName + " was changed or deleted meanwhile");
  if (update)
    k.ctid = PQgetvalue(r.get(), 0, 0);
  else
    k.onRow = false;
  dda->setStmType(update ? kZqlStmUpdateCursor : kZqlStmDeleteCursor);
  dda->setRowCount(1);
  return 0;
}

// ---------------------------------------------------------------------------
// Prepared statements
// ---------------------------------------------------------------------------

int32_t CZqlPgDriver::Prepare(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text,
                              uint32_t* statement) {
  SConn& c = conn(connection);
  if (c.lost) Refuse(dda, kZqlErrConnectionDoesNotExist, "the connection to the server was lost");
  std::unique_ptr<SStm> s(new SStm);
  s->connection = connection;
  const std::string sql = Utf8Of(text);
  if (IsBlank(sql)) Refuse(dda, kZqlErrSyntaxErrorOrAccessRuleViolation, "empty statement");
  s->type = StatementTypeOf(sql);
  s->text = WithNumberedPlaceholders(sql);
  // A query of one table is updatable: it selects the row's ctid and
  // table OID last (hidden), so that WHERE CURRENT OF can name the row.
  // PostgreSQL refuses SCROLL ... FOR UPDATE, so the ISO clause is taken
  // off; non-scroll cursors lock their rows with PostgreSQL's own.
  std::string base = s->text.sent;
  if (s->type == kZqlStmSelect) {
    const size_t forUpdate = FindForUpdate(base);
    if (forUpdate != std::string::npos) {
      base = base.substr(0, forUpdate);
      s->forUpdate = true;
    }
  }
  std::string hidden;
  if (s->type == kZqlStmSelect && SingleTable(base, &s->table))
    hidden = WithHiddenColumns(base, ", ctid, tableoid");
  const uint32_t id = nextId_++;
  s->name = "zql_s" + std::to_string(id);
  const bool open = inTransaction(c);
  auto prepare = [&](const std::string& sqlText) {
    if (open) guard(c, dda);
    CPgResult r(PQprepare(c.pg.get(), s->name.c_str(), sqlText.c_str(), 0, nullptr));
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK && open) undo(c, dda);
    return r;
  };
  CPgResult r;
  if (!hidden.empty()) {
    // An aggregate or a view the ctid cannot reach refuses the hidden
    // columns: such a query is prepared as it is, read only.
    r = prepare(hidden);
    s->updatable = PQresultStatus(r.get()) == PGRES_COMMAND_OK;
  }
  if (s->updatable) {
    s->cursorText = hidden;
  } else {
    dda->FlushCond();
    s->table.clear();
    s->cursorText = base;
    r = prepare(base);
  }
  if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) fail(c, dda, r.get(), s.get());
  CPgResult d(PQdescribePrepared(c.pg.get(), s->name.c_str()));
  if (PQresultStatus(d.get()) != PGRES_COMMAND_OK) fail(c, dda, d.get(), nullptr);
  const int params = PQnparams(d.get());
  const int columns = PQnfields(d.get()) - (s->updatable ? kHidden : 0);
  s->rows = PQnfields(d.get()) > 0;
  if (s->rows && s->type == kZqlStmUndefined) s->type = kZqlStmSelect;
  if (params > 0) dda->AllocParDsc(params);
  for (int i = 0; i < params; ++i) {
    s->paramTypes.push_back(PQparamtype(d.get(), i));
    dda->ParDsc(i)->setDsc(NewValue(PgTypeOf(PQparamtype(d.get(), i), -1)).get());
  }
  if (columns > 0) dda->AllocColDsc(columns);
  std::vector<std::pair<uint32_t, int>> tableColumns;
  for (int i = 0; i < columns; ++i) {
    const int f = i;
    const SPgType t = PgTypeOf(PQftype(d.get(), f), PQfmod(d.get(), f));
    s->columns.push_back(t);
    CZqlColumn* col = dda->ColDsc(i);
    col->setName(ColumnIdent(PQfname(d.get(), f)));
    col->setDataDsc(NewValue(t).get());
    tableColumns.emplace_back(PQftable(d.get(), f), PQftablecol(d.get(), f));
  }
  // Nullability from the catalog, for the columns of tables.
  std::string pairs;
  for (const auto& tc : tableColumns) {
    if (tc.first == 0) continue;
    pairs += (pairs.empty() ? "" : ",") + std::string("(") + std::to_string(tc.first) + "," +
             std::to_string(tc.second) + ")";
  }
  if (!pairs.empty()) {
    const std::string q =
        "SELECT attrelid::int8, attnum FROM pg_attribute WHERE attnotnull AND "
        "(attrelid::int8, attnum) IN (" + pairs + ")";
    if (open) guard(c, dda);
    CPgResult n(PQexec(c.pg.get(), q.c_str()));
    if (PQresultStatus(n.get()) != PGRES_TUPLES_OK) {
      if (open) undo(c, dda);
      fail(c, dda, n.get(), nullptr);
    }
    std::set<std::pair<uint32_t, int>> notNull;
    for (int i = 0; i < PQntuples(n.get()); ++i)
      notNull.emplace(static_cast<uint32_t>(std::strtoul(PQgetvalue(n.get(), i, 0), nullptr, 10)),
                      std::atoi(PQgetvalue(n.get(), i, 1)));
    for (int i = 0; i < columns; ++i)
      if (notNull.count(tableColumns[static_cast<size_t>(i)]) != 0)
        dda->ColDsc(i)->setNullable(kZqlFalse);
  }
  dda->setStmType(s->type);
  dda->setNameOfDBMS(DbmsName(c.dbms, s->table, ""));
  *statement = id;
  stms_[id] = std::move(s);
  return 0;
}

// The client's parameter values as the server's texts (null for NULL).
void CZqlPgDriver::bind(const SStm& s, CZqlDDA* dda, std::vector<std::string>* values,
                        std::vector<const char*>* pointers) const {
  const int n = static_cast<int>(s.paramTypes.size());
  values->assign(static_cast<size_t>(n), std::string());
  pointers->assign(static_cast<size_t>(n), nullptr);
  for (int i = 0; i < n; ++i) {
    CZqlData* v = nullptr;
    if (i >= dda->ParCount() || !dda->ParDsc(i)->getBind(&v))
      Refuse(dda, kZqlErrUsingClauseRequiredForDynamicParameter,
             "parameter " + std::to_string(i + 1) + " has no value");
    if (v->isNull()) continue;
    (*values)[static_cast<size_t>(i)] = ParamText(*v, s.paramTypes[static_cast<size_t>(i)]);
    (*pointers)[static_cast<size_t>(i)] = (*values)[static_cast<size_t>(i)].c_str();
  }
}

// Row `row` of r into the outputs of dda.
void CZqlPgDriver::store(const SStm& s, CZqlDDA* dda, pg_result* r, int row) const {
  if (dda->Output() == nullptr) dda->CreateOutput();
  for (int i = 0; i < static_cast<int>(s.columns.size()); ++i) {
    CZqlData* out = nullptr;
    if (!dda->OutDsc(i)->getBind(&out)) ZQL_RAISE(kZqlErrInternalZQLError);
    const int f = i;
    if (PQgetisnull(r, row, f)) {
      out->setNull();
      continue;
    }
    CZqlUcStr name;
    dda->ColDsc(i)->Name().ToString(&name);
    StoreText(dda, name, s.columns[static_cast<size_t>(i)], PQgetvalue(r, row, f),
              PQgetlength(r, row, f), out);
  }
}

int32_t CZqlPgDriver::Execute(CZqlDDA* dda, uint32_t statement) {
  SStm& s = stm(statement);
  SConn& c = conn(s.connection);
  std::vector<std::string> values;
  std::vector<const char*> pointers;
  bind(s, dda, &values, &pointers);
  if (c.lost) Refuse(dda, kZqlErrConnectionDoesNotExist, "the connection to the server was lost");
  guard(c, dda);
  CPgResult r(PQexecPrepared(c.pg.get(), s.name.c_str(), static_cast<int>(pointers.size()),
                             pointers.data(), nullptr, nullptr, 0));
  const ExecStatusType status = PQresultStatus(r.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    undo(c, dda);
    fail(c, dda, r.get(), &s);
  }
  if (status == PGRES_TUPLES_OK) {
    const int rows = PQntuples(r.get());
    if (rows == 0) return kZqlErrNoData0200;
    if (rows > 1)
      Refuse(dda, kZqlErrCardinalityViolation,
             "the query returned " + std::to_string(rows) + " rows, not one");
    store(s, dda, r.get(), 0);
    dda->setRowCount(1);
    return 0;
  }
  dda->setRowCount(std::atoi(PQcmdTuples(r.get())));
  return 0;
}

int32_t CZqlPgDriver::DeallocStm(CZqlDDA* dda, uint32_t statement) {
  SStm& s = stm(statement);
  SConn& c = conn(s.connection);
  for (auto k = csrs_.begin(); k != csrs_.end();) {
    if (k->second->statement != statement) {
      ++k;
      continue;
    }
    // A cursor its transaction's end closed is not closed again (Close
    // would refuse it, and the statement would stay).
    if (k->second->state != ECsrState::kClosed && k->second->serial == c.serial && !c.lost)
      Close(dda, k->first);
    k = csrs_.erase(k);
  }
  if (!c.lost) {
    const bool open = inTransaction(c);
    if (open) guard(c, dda);
    const std::string sql = "DEALLOCATE " + s.name;
    CPgResult r(PQexec(c.pg.get(), sql.c_str()));
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK && open) undo(c, dda);
  }
  stms_.erase(statement);
  return 0;
}

// ---------------------------------------------------------------------------
// Cursors
// ---------------------------------------------------------------------------

int32_t CZqlPgDriver::AllocCsr(CZqlDDA* dda, uint32_t statement, const CZqlIdent& name,
                               EZqlCurScr scr, EZqlCurSns sns, uint32_t* cursor) {
  const SStm& s = stm(statement);
  if (!s.rows)
    Refuse(dda, kZqlErrPreparedStatementNotACursorSpecification,
           "the statement returns no rows");
  std::unique_ptr<SCsr> k(new SCsr);
  const uint32_t id = nextId_++;
  k->statement = statement;
  k->name = "zql_c" + std::to_string(id);
  k->sqlName = name.Length() != 0 ? Utf8Of(name.Body()) : "ZQL_C" + std::to_string(id);
  // WHERE CURRENT OF must find one cursor by its name.
  for (const auto& e : csrs_)
    if (e.second->sqlName == k->sqlName && stms_.at(e.second->statement)->connection == s.connection)
      Refuse(dda, kZqlErrAmbiguousCursorName, "a cursor named " + k->sqlName + " exists");
  k->scroll = scr == kZqlCurScroll;
  k->insensitive = sns == kZqlCurInsensitive;
  if (s.updatable) {
    dda->setSUTable(Utf16Of(s.table));
    dda->setCsrUpd(kZqlTrue);
  }
  dda->setNameOfDBMS(DbmsName(conn(s.connection).dbms, s.table, ""));
  *cursor = id;
  csrs_[id] = std::move(k);
  return 0;
}

int32_t CZqlPgDriver::Open(CZqlDDA* dda, uint32_t cursor) {
  SCsr& k = csr(cursor);
  const SStm& s = stm(k.statement);
  SConn& c = conn(s.connection);
  if (k.state != ECsrState::kClosed && k.serial == c.serial)
    Refuse(dda, kZqlErrCurorIsInOpenState, "cursor " + k.sqlName + " is open");
  std::vector<std::string> values;
  std::vector<const char*> pointers;
  bind(s, dda, &values, &pointers);
  const std::string sql = "DECLARE " + k.name + (k.scroll ? " SCROLL" : " NO SCROLL") +
                          " CURSOR FOR " + s.cursorText +
                          (s.updatable && s.forUpdate && !k.scroll ? " FOR UPDATE" : "");
  if (c.lost) Refuse(dda, kZqlErrConnectionDoesNotExist, "the connection to the server was lost");
  guard(c, dda);
  CPgResult r(PQexecParams(c.pg.get(), sql.c_str(), static_cast<int>(pointers.size()),
                           s.paramTypes.data(), pointers.data(), nullptr, nullptr, 0));
  if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
    undo(c, dda);
    fail(c, dda, r.get(), nullptr);
  }
  k.state = ECsrState::kOpen;
  k.serial = c.serial;
  k.batch.reset();
  k.next = 0;
  k.onRow = false;
  dda->setCsrState(kZqlTrue);
  return 0;
}

int32_t CZqlPgDriver::Close(CZqlDDA* dda, uint32_t cursor) {
  SCsr& k = csr(cursor);
  SConn& c = conn(stm(k.statement).connection);
  if (k.state == ECsrState::kClosed || k.serial != c.serial) {
    k.state = ECsrState::kClosed;
    Refuse(dda, kZqlErrCursorIsInCloseState, "cursor " + k.sqlName + " is not open");
  }
  k.state = ECsrState::kClosed;
  k.batch.reset();
  k.onRow = false;
  if (!c.lost) run(c, dda, "CLOSE " + k.name, nullptr, nullptr, nullptr);
  return 0;
}

int32_t CZqlPgDriver::Fetch(CZqlDDA* dda, uint32_t cursor, EZqlDirection direction,
                            int32_t offset) {
  SCsr& k = csr(cursor);
  const SStm& s = stm(k.statement);
  SConn& c = conn(s.connection);
  if (k.state == ECsrState::kClosed || k.serial != c.serial) {
    k.state = ECsrState::kClosed;
    Refuse(dda, kZqlErrCursorIsInCloseState, "cursor " + k.sqlName + " is not open");
  }
  if (!k.scroll && direction != kZqlFetchNext)
    Refuse(dda, kZqlErrCanOnlyFetchNextInNonScrollCursor,
           "cursor " + k.sqlName + " is not scrollable");
  pg_result* rows = nullptr;
  int row = 0;
  CPgResult single;
  if (!k.scroll) {
    if (k.state == ECsrState::kExhausted) return kZqlErrNoData0200;
    if (k.batch == nullptr || k.next >= PQntuples(k.batch.get())) {
      k.batch.reset();
      k.batch = run(c, dda, "FETCH FORWARD " + std::to_string(kBatchRows) + " FROM " + k.name,
                    nullptr, nullptr, nullptr);
      k.next = 0;
    }
    if (PQntuples(k.batch.get()) == 0) {
      k.state = ECsrState::kExhausted;
      k.onRow = false;
      k.batch.reset();
      return kZqlErrNoData0200;
    }
    rows = k.batch.get();
    row = k.next++;
  } else {
    std::string how;
    switch (direction) {
      case kZqlFetchNext: how = "NEXT"; break;
      case kZqlFetchPrior: how = "PRIOR"; break;
      case kZqlFetchFirst: how = "FIRST"; break;
      case kZqlFetchLast: how = "LAST"; break;
      case kZqlFetchAbsolute: how = "ABSOLUTE " + std::to_string(offset); break;
      case kZqlFetchRelative: how = "RELATIVE " + std::to_string(offset); break;
      default: Refuse(dda, kZqlErrInvalidFunctionArguments, "unknown fetch direction");
    }
    single = run(c, dda, "FETCH " + how + " FROM " + k.name, nullptr, nullptr, nullptr);
    if (PQntuples(single.get()) == 0) {
      k.onRow = false;
      return kZqlErrNoData0200;
    }
    rows = single.get();
  }
  k.onRow = false;
  store(s, dda, rows, row);
  if (s.updatable) {
    const int last = static_cast<int>(s.columns.size());
    k.ctid = PQgetvalue(rows, row, last);
    k.tableoid = PQgetvalue(rows, row, last + 1);
  }
  k.onRow = true;
  return 0;
}

int32_t CZqlPgDriver::Status(CZqlDDA*, uint32_t id, EZqlStatInfo info, uint32_t* value) {
  *value = 0;
  if (id == 0) {
    *value = static_cast<uint32_t>(conns_.size());
    return 0;
  }
  const auto cn = conns_.find(id);
  if (cn != conns_.end()) {
    if (info == kZqlStatConnection0) *value = kZqlStatReportsTransaction;
    if (info == kZqlStatConnection1) *value = inTransaction(*cn->second) ? 1 : 0;
    return 0;
  }
  if (stms_.count(id) != 0) return 0;
  const SCsr& k = csr(id);
  const bool open = k.state != ECsrState::kClosed &&
                    k.serial == conn(stm(k.statement).connection).serial;
  switch (info) {
    case kZqlStatCsrOpen: *value = open ? 1 : 0; break;
    case kZqlStatCsrInsensitive: *value = k.insensitive ? 1 : 0; break;
    case kZqlStatCsrScrollable: *value = k.scroll ? 1 : 0; break;
    case kZqlStatCsrPosition: *value = open && k.onRow ? kZqlCsrOnRow : 0; break;
    case kZqlStatCsrUpdatable: *value = stm(k.statement).updatable ? 1 : 0; break;
    default: break;
  }
  return 0;
}

}  // namespace zqlpg
