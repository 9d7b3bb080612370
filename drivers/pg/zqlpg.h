// zqlpg.h - the PostgreSQL driver: CZqlDriver over libpq.
//
// Configuration: the environment's section of the zql.ini the client used
// holds `Driver = zqlpg` and `Conninfo = <libpq connection string>`; the
// user and password of the Connect request override the string's.
//
// Transactions: the first statement after a connect, COMMIT or ROLLBACK
// opens one (BEGIN, with the modes of a preceding SET TRANSACTION); COMMIT
// WORK and ROLLBACK WORK end it. Every statement inside it runs under a
// savepoint: a failed statement is undone alone and the transaction stays
// usable, as the ISO standard has it.
//
// Status items:
//   connection 0   0x200000: the driver reports transactions
//   connection 1   1 while a transaction is open, else 0
//   connection 8-10  0
//   cursor 2       1 open; 3 1 insensitive; 4 1 scrollable
//   cursor 5       4 (kZqlCsrOnRow) on a row, else 0
//   cursor 6       1 updatable (a FOR UPDATE query of one table)
//   id 0           the number of connections
// The DBMS status word of the Connect reply is the server version number
// (PQserverVersion, e.g. 150004).
//
// One thread serves every client: a running statement holds up the others
// (a statement_timeout in Conninfo's options bounds it).
#ifndef ZQL_DRIVERS_PG_ZQLPG_H
#define ZQL_DRIVERS_PG_ZQLPG_H

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "pgvalue.h"
#include "zqldrvsql.h"
#include "zqldrvreq.h"

struct pg_conn;
struct pg_result;
struct pg_cancel;

namespace zqlpg {

struct SPgConnDeleter {
  void operator()(pg_conn* c) const;
};
struct SPgResultDeleter {
  void operator()(pg_result* r) const;
};
using CPgConn = std::unique_ptr<pg_conn, SPgConnDeleter>;
using CPgResult = std::unique_ptr<pg_result, SPgResultDeleter>;

class CZqlPgDriver : public CZqlDriver {
 public:
  CZqlPgDriver();
  ~CZqlPgDriver() override;

  // target names the environment of zql.ini; the connection is made at
  // once (blocking). Failure: 0x0801 with libpq's message (or the server's
  // SQLSTATE), 0x0803 for an environment without Conninfo.
  int32_t Connect(CZqlDDA* dda, const CZqlUcStr& target, const CZqlUcStr& user,
                  const CZqlUcStr& password, uint32_t* connection) override;
  // Refuses with 0x2501 while a transaction is open unless abort is set,
  // which rolls it back.
  int32_t Disconnect(CZqlDDA* dda, uint32_t connection, EZqlBoolean abort) override;
  int32_t IExecute(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text) override;
  // The text goes to the server unchanged (several statements allowed).
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
  // Asks the server to cancel what the connection runs (PQcancel).
  int32_t Cancel(CZqlDDA* dda, uint32_t connection) override;
  // PQcancel of the connection's running query (any thread).
  void Interrupt(uint32_t connection) override;
  int32_t Status(CZqlDDA* dda, uint32_t id, EZqlStatInfo info, uint32_t* value) override;

  // Rows a non-scroll cursor fetches from the server at a time.
  static constexpr int kBatchRows = 1000;

 private:
  struct SConn;
  struct SStm;
  struct SCsr;

  SConn& conn(uint32_t id);
  SStm& stm(uint32_t id);
  SCsr& csr(uint32_t id);
  CPgResult run(SConn& c, CZqlDDA* dda, const std::string& sql,
                const std::vector<std::string>* values, const std::vector<uint32_t>* types,
                const SStm* origin);
  CPgResult plain(SConn& c, CZqlDDA* dda, const std::string& sql, const SStm* origin);
  void guard(SConn& c, CZqlDDA* dda);
  void undo(SConn& c, CZqlDDA* dda);
  [[noreturn]] void fail(SConn& c, CZqlDDA* dda, pg_result* r, const SStm* origin);
  void endTransaction(SConn& c, CZqlDDA* dda, bool commit);
  int32_t session(SConn& c, CZqlDDA* dda, const std::string& sql, const SZqlSessionText& t);
  int32_t positioned(SConn& c, uint32_t connection, CZqlDDA* dda, const std::string& sql,
                     size_t clause, const std::string& cursorName);
  void bind(const SStm& s, CZqlDDA* dda, std::vector<std::string>* values,
            std::vector<const char*>* pointers) const;
  void store(const SStm& s, CZqlDDA* dda, pg_result* r, int row) const;
  bool inTransaction(const SConn& c) const;

  uint32_t nextId_ = 1;  // one counter: every id names one object
  std::map<uint32_t, std::unique_ptr<SConn>> conns_;
  std::map<uint32_t, std::unique_ptr<SStm>> stms_;
  std::map<uint32_t, std::unique_ptr<SCsr>> csrs_;
  // Cancel handles of the connections, for Interrupt on the kit's interrupt
  // thread: PQcancel is thread-safe, the map is not, hence the mutex.
  struct SCancelFree {
    void operator()(pg_cancel* c) const;
  };
  std::map<uint32_t, std::unique_ptr<pg_cancel, SCancelFree>> cancels_;
  std::mutex cancelsMutex_;
};

}  // namespace zqlpg

#endif  // ZQL_DRIVERS_PG_ZQLPG_H
