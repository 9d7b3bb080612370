// zqlsqlite.h - the SQLite driver: ZQL's embedded default database, a
// driver process (zqlsqlite) on the driver kit over the system's SQLite 3.
//
// Environments (sections of zql.ini whose Driver is the zqlsqlite section):
//   Database   path of the database file: "~" and $VAR / ${VAR} expanded,
//              relative to the folder of zql.ini; ":memory:" for a private
//              in-memory database per connection. The folder of a file
//              database is created on connect.
//   AutoCommit Yes: SQLite's own autocommit; No (default): ISO transactions,
//              the first statement after a connect, COMMIT or ROLLBACK opens
//              one, COMMIT WORK / ROLLBACK WORK end it.
//   Timeout    milliseconds a statement waits for a lock that another
//              connection holds (default 0: one driver serves every client,
//              so a wait stalls all of them).
//
// Status items (Status request):
//   connection 0   bits: 0x200000 always (item 1 reports transactions),
//                  0x1 AutoCommit = Yes, 0x2 the open transaction is read only,
//                  0x4 in-memory database, 0x8 foreign keys deferred
//   connection 1   1 while a transaction is open, else 0
//   connection 8   cursors open on the connection
//   connection 9   rows changed since the connect (sqlite3_total_changes)
//   connection 10  SQLite's version number (3040001 for 3.40.1)
//   cursor 2..6    open, insensitive, scrollable, position (4 on a row),
//                  updatable (1: positioned UPDATE and DELETE work)
//   statement      0 for every item
// The DBMS status word of the Connect, Prepare and AllocCsr replies is the
// connection's item 0; after a failure it is SQLite's extended result code.
//
// DBMS name text: "zqlsqlite     " (14 characters), then "SQLite 3.x.y",
// "-", SQLite's extended result code (decimal, 0 on success), "-", the
// object (a table, the database path) and "-", SQLite's message.
#ifndef ZQL_DRIVERS_SQLITE_ZQLSQLITE_H
#define ZQL_DRIVERS_SQLITE_ZQLSQLITE_H

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "zqldrvreq.h"
#include "zqldrvsql.h"

// Longest character value, in characters (the client's CHARACTER limit),
// and longest bit string, in bytes; longer values fail with 0x2201.
constexpr unsigned kZqlSqliteMaxChars = 256;
constexpr unsigned kZqlSqliteMaxBlob = 256;
// Bytes of values a scroll cursor may hold in memory; past them its fetch
// fails with 0xA008.
constexpr size_t kZqlSqliteScrollBytes = 64u * 1024 * 1024;

namespace zqlsqlite {

struct SDbClose {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct SStmtFinalize {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using UDb = std::unique_ptr<sqlite3, SDbClose>;
using UStmt = std::unique_ptr<sqlite3_stmt, SStmtFinalize>;

// The settings of one environment.
struct SEnvironment {
  std::string name;
  std::string database;  // expanded path, or ":memory:"
  bool autoCommit = false;
  int32_t timeoutMs = 0;
};

// Finds zql.ini (the library's search, then $ZQL, $KOVA, the current
// folder and $PATH) and keeps the first whose IPC key equals key; key -1
// keeps the first found. Answers false when there is none.
bool FindIni(int32_t key, std::string* path);
// Reads environment name from the zql.ini at ini into *env. Answers 0 or an
// EZqlError code with *message saying what was wrong (naming environment
// and path). May raise the configuration reader's codes.
int32_t ReadEnvironment(const std::string& ini, const std::string& name, SEnvironment* env,
                        std::string* message);
// path with "~" and $VAR / ${VAR} expanded and, when relative, taken from
// folder.
std::string ExpandPath(const std::string& path, const std::string& folder);

// One stored value of a row a scroll cursor keeps.
struct SValue {
  int type = SQLITE_NULL;
  int64_t i = 0;
  double d = 0;
  std::string bytes;  // text (UTF-8) or blob
};
using SRow = std::vector<SValue>;

// The type a declared column type gives (affinity rules); null for no
// declared type. Owned by the caller.
CZqlData* TypeFromDecl(const char* decl);
// The type a value of SQLite type t gives to a column without declared type.
CZqlData* TypeFromValue(int t);
// Binds value (the client's, may be null or a null value) to parameter
// index of s: integers as INTEGER, approximate and non-integral exact
// numerics as REAL, character strings as TEXT, bit strings as BLOB,
// datetimes and intervals as the text of their SQL form. Answers SQLite's
// code, or an EZqlError code (as a negative number) for a value that does
// not convert.
int BindValue(sqlite3_stmt* s, int index, const CZqlData* value);
// Stores value v into out (its type decides the conversion). Answers 0 or an
// EZqlError code with *message saying why (too long, out of range).
int32_t StoreValue(const SValue& v, CZqlData* out, std::string* message);
// The current row of s into *row, reusing its values' storage.
void ReadRow(sqlite3_stmt* s, SRow* row);

// Where a cursor stands.
enum class ECsrPos {
  kClosed,  // not open
  kBefore,  // open, before the first row
  kOnRow,   // open, on a row (the row is the statement's, or rows[pos])
  kGone,    // open, where a row deleted through the cursor was: before the next
  kAfter,   // open, after the last row
};

class CSqliteDriver : public CZqlDriver {
 public:
  // key: the IPC key the driver was started with (-1: any zql.ini).
  explicit CSqliteDriver(int32_t key);
  ~CSqliteDriver() override;

  int32_t Connect(CZqlDDA* dda, const CZqlUcStr& target, const CZqlUcStr& user,
                  const CZqlUcStr& password, uint32_t* connection) override;
  int32_t Disconnect(CZqlDDA* dda, uint32_t connection, EZqlBoolean abort) override;
  int32_t IExecute(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text) override;
  int32_t IExeNative(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text) override;
  int32_t Prepare(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text,
                  uint32_t* statement) override;
  int32_t Execute(CZqlDDA* dda, uint32_t statement) override;
  int32_t DeallocStm(CZqlDDA* dda, uint32_t statement) override;
  int32_t AllocCsr(CZqlDDA* dda, uint32_t statement, const CZqlIdent& name, EZqlCurScr scr,
                   EZqlCurSns sns, uint32_t* cursor) override;
  int32_t Open(CZqlDDA* dda, uint32_t cursor) override;
  int32_t Close(CZqlDDA* dda, uint32_t cursor) override;
  int32_t Fetch(CZqlDDA* dda, uint32_t cursor, EZqlDirection direction,
                int32_t offset) override;
  int32_t Cancel(CZqlDDA* dda, uint32_t connection) override;
  // sqlite3_interrupt of the connection's database (any thread).
  void Interrupt(uint32_t connection) override;
  int32_t Status(CZqlDDA* dda, uint32_t id, EZqlStatInfo info, uint32_t* value) override;

  int ConnectionCount() const { return static_cast<int>(connections_.size()); }

 private:
  struct SConnection;
  struct SStatement;
  struct SCursor;

  SConnection& connection(uint32_t id);
  SStatement& statement(uint32_t id);
  SCursor& cursor(uint32_t id);
  void drop(uint32_t id);
  int32_t fail(CZqlDDA* dda, SConnection& c, int rc, const std::string& sql,
               const std::string& object, bool preparing);
  int32_t begin(CZqlDDA* dda, SConnection& c);
  void afterStatement(SConnection& c);
  int32_t endTransaction(CZqlDDA* dda, SConnection& c, bool commit);
  void closeCursors(SConnection& c);
  int32_t session(CZqlDDA* dda, SConnection& c, const SZqlSessionText& s);
  int32_t positioned(CZqlDDA* dda, SConnection& c, const std::string& sql,
                     const SZqlSqlScan& scan, const SZqlCurrentOf& at);
  int32_t immediate(CZqlDDA* dda, uint32_t connection, const std::string& sql);
  int32_t checkText(CZqlDDA* dda, const CZqlUcStr& text, std::string* sql, SZqlSqlScan* scan);
  int32_t compile(CZqlDDA* dda, SConnection& c, const std::string& sql, UStmt* out);
  int32_t bindAll(CZqlDDA* dda, sqlite3_stmt* s);
  int32_t describe(CZqlDDA* dda, SConnection& c, SStatement& st);
  int32_t run(CZqlDDA* dda, SConnection& c, sqlite3_stmt* s, const std::string& sql);
  int32_t step(CZqlDDA* dda, SCursor& k, SConnection& c);
  int32_t fetchScroll(CZqlDDA* dda, SCursor& k, SConnection& c, int64_t target);
  int32_t deliver(CZqlDDA* dda, const SRow& row, int hidden);
  uint32_t connectionItem0(const SConnection& c) const;
  void name(CZqlDDA* dda, const SConnection& c, int rc, const std::string& object,
            const std::string& message);

  int32_t key_;
  uint32_t nextId_ = 1;  // one counter: every id names one object
  std::map<uint32_t, std::unique_ptr<SConnection>> connections_;
  // Held while connections_ changes (main thread) and while Interrupt reads
  // it (the kit's interrupt thread), so that no database closes under it.
  std::mutex connectionsMutex_;
  std::map<uint32_t, std::unique_ptr<SStatement>> statements_;
  std::map<uint32_t, std::unique_ptr<SCursor>> cursors_;
};

}  // namespace zqlsqlite

#endif  // ZQL_DRIVERS_SQLITE_ZQLSQLITE_H
