// zqlsql.h - the SQL objects that reach drivers: their common base, the
// application object and sessions.
//
// Every operation of these classes (and of the statements and cursors of
// zqlstm.h) runs inside its own try frame with the object's descriptor area
// as the task's current area. It answers its success value, or its failure
// value with at least one condition left in the object's descriptor area.
// A failure also travels on when the caller asked for that: into the
// caller's open try frame (ZqlTry), or, with none but an exception handler
// open, to that handler as a CZqlException carrying the area's conditions.
// A caller with neither open reads the conditions from the object. Calls
// that reach a driver block until its reply arrives.
#ifndef ZQL_ZQLSQL_H
#define ZQL_ZQLSQL_H

#include <cstdint>
#include <utility>

#include "zqlclass.h"
#include "zqlcol.h"
#include "zqldda.h"
#include "zqlident.h"
#include "zqlproto.h"
#include "zqlsdata.h"

ZQL_PUBLIC_BEGIN

class CZqlDispClient;

// The version text of the client library.
inline constexpr char kZqlVersionText[] = "ZQL v2.0.093";

// Isolation levels of SET TRANSACTION; any other value means SERIALIZABLE.
enum EZqlTILevel : int32_t {
  kZqlReadUncommitted = 1,
  kZqlReadCommitted = 2,
  kZqlRepeatableRead = 3,
  kZqlSerializable = 4,
};

// Access modes of SET TRANSACTION; any value but 1 means READ WRITE.
enum EZqlTMode : int32_t {
  kZqlReadWrite = 0,
  kZqlReadOnly = 1,
};

// Conditions every SQL object's area has room for.
constexpr int kZqlAreaConditions = 10;

// Bit of status item 0: the connection can report an open transaction
// (through item 1, which then answers 1 while one is open).
constexpr uint32_t kZqlStatReportsTransaction = 0x200000;

namespace zql_detail {
// Makes an area the task's current descriptor area for a scope (null: the
// current area stays) and restores the previous one at its end.
class CZqlCurrentArea {
 public:
  explicit CZqlCurrentArea(CZqlDDA* dda);
  ~CZqlCurrentArea();
  CZqlCurrentArea(const CZqlCurrentArea&) = delete;
  CZqlCurrentArea& operator=(const CZqlCurrentArea&) = delete;

 private:
  bool set_;
  CZqlDDA* previous_;
};
// Pushes code onto dda unless dda is null or holds a condition already.
void NoteFailure(CZqlDDA* dda, int code) noexcept;
// Gives dda room for kZqlAreaConditions conditions again, keeping the ones
// it holds: a reply's condition block leaves the area room for no more than
// the reply's own conditions, so later pushes would drop them.
void WidenConditions(CZqlDDA* dda) noexcept;
}  // namespace zql_detail

// ---------------------------------------------------------------------------
// CZqlSQLObject
// ---------------------------------------------------------------------------

// The common base of the application, sessions, statements and cursors: an
// owned descriptor area in which every operation leaves its diagnostics, an
// owned dispatcher client that reaches the drivers, and the dispatcher's ids
// of the object's connection, statement and cursor.
class CZqlSQLObject : public CZqlObject {
 public:
  // Ids 0, no dispatcher client, a new area with room for 10 conditions;
  // when that area cannot be made, none (every operation then fails, with
  // nowhere to leave a condition). Never raises.
  CZqlSQLObject();
  CZqlSQLObject(const CZqlSQLObject&) = delete;
  CZqlSQLObject& operator=(const CZqlSQLObject&) = delete;
  // Destroys the dispatcher client and the area.
  ~CZqlSQLObject() override;

  // What the area records of the last operation; without an area (it could
  // not be allocated): 0xA004 and kZqlStmUndefined, -1 for RowCount, 0 for
  // ErrPosition, and one condition, 0xA008 with SQLSTATE "A0008" and no
  // message. None of them clears the conditions.
  EZqlStatement StmType() const;
  EZqlStatement CmdStmType() const;
  int32_t RowCount() const;
  int32_t ErrPosition() const;
  int CondQty() const;
  // Condition i, counted from the most recent (0 = pushed last): its code
  // (-1 when there is none), its message (valid until the conditions
  // change; null when there is none) and its SQLSTATE (five characters,
  // valid as the message; null when there is no condition i).
  int Err(int i) const;
  const CZqlUcStr* ErrMsg(int i) const;
  const char* SQLSTATE(int i) const;
  // Item of condition i as CZqlDDA::getDiagPar gives it: 1, or 0 when the
  // item is not there (no condition is added for that).
  int getDiagPar(int i, EZqlDiag item, int32_t* value) const;
  int getDiagPar(int i, EZqlDiag item, CZqlUcStr* value) const;

  // Fields of the DBMS name text that the driver's last Connect, Prepare or
  // AllocCsr reply set, into *out (emptied first). After its first 14
  // characters the text is split at hyphens: DBMS is the part up to the
  // first hyphen, SQLObject the part between the second and the next
  // hyphen, DrvMessage everything after the third; a field that is not
  // there leaves *out empty. Answer 1 whenever the name could be read
  // (also when the field is empty); a null out is 0xA00B.
  int DBMS(CZqlUcStr* out) const;
  int SQLObject(CZqlUcStr* out) const;
  int DrvMessage(CZqlUcStr* out) const;

  // 1 when the DBMS status word of the area has any bit of mask; 0 when it
  // has none or the driver never set one.
  int CheckOp(uint32_t mask);
  // The driver's answer to status item `item` about this object's
  // connection (items 0, 1, 8, 9, 10) or cursor (items 2 to 6) into *value.
  // 1, or 0: 0xA00B for another item or a null value, 0xA004 without a
  // dispatcher client, the dispatcher's and driver's codes otherwise.
  int GetStatus(EZqlStatInfo item, uint32_t* value);

  // The library's version text, kZqlVersionText: copied into *out (kZqlTrue),
  // or kZqlFalse for a null out; the static text itself.
  EZqlBoolean Version(CZqlUcStr* out) const;
  const char* Version() const;

  // Clears the area's conditions; 1 when the object has both its area and a
  // dispatcher client, else 0 with 0xA004 (0xA013 without an area).
  int isInit() const;

  // The object's parts, for the classes built on it. The area and the
  // client are owned by the object and live as long as it (the client until
  // a Deallocate or Term replaces it); either may be null.
  CZqlDDA* DDA() const { return dda; }
  CZqlDispClient* Dispatcher() const { return dispatcher; }
  uint32_t SessionId() const { return sessionId; }
  uint32_t StatementId() const { return statementId; }
  uint32_t CursorId() const { return cursorId; }

 protected:
  // Runs body() inside a try frame with this object's area current. Answers
  // 1 when body ran to its end. After a raise: leaves the raised code as a
  // condition in the area when nothing was pushed, restores the previous
  // current area, and ends with ZqlExceptionsToCatch(dda) (into the
  // caller's frame, to its handler, or else an answer of 0).
  template <class Body>
  int Protect(Body&& body) const;
  // As Protect, but the failure is raised again as its code (into the
  // caller's frame; with none, to its handler as a one-condition
  // exception; with neither, an answer of 0).
  template <class Body>
  int ProtectRaising(Body&& body) const;
  // Raises 0xA013 when the object has no area (nowhere to push it).
  void NeedArea() const;
  // After NeedArea(): discards the area's conditions, with room for
  // kZqlAreaConditions new ones.
  void FreshArea() const;

  uint32_t sessionId;           // the dispatcher's id of the connection; 0: none
  uint32_t statementId;         // of the prepared statement; 0: none
  uint32_t cursorId;            // of the cursor; 0: none
  CZqlDDA* dda;                 // owned; null when it could not be made
  CZqlDispClient* dispatcher;   // owned; null until attached to an application

 private:
  template <class Body, class Fail>
  int run(Body&& body, Fail&& fail) const;
  int splitName(CZqlUcStr* out, int field) const;
};

template <class Body, class Fail>
int CZqlSQLObject::run(Body&& body, Fail&& fail) const {
  {
    zql_detail::CZqlCurrentArea current(dda);
    if (ZqlTry(std::forward<Body>(body))) return 1;
    zql_detail::NoteFailure(dda, ZqlTryCode());
  }
  fail();
  return 0;
}

template <class Body>
int CZqlSQLObject::Protect(Body&& body) const {
  return run(std::forward<Body>(body), [this] { ZqlExceptionsToCatch(dda); });
}

template <class Body>
int CZqlSQLObject::ProtectRaising(Body&& body) const {
  return run(std::forward<Body>(body), [] { ZqlTryThrow(ZqlTryCode(), __LINE__, __FILE__); });
}

// ---------------------------------------------------------------------------
// CZqlAppl
// ---------------------------------------------------------------------------

class CZqlSession;

// The application object: starts and stops the dispatcher and keeps the
// list of its sessions (which it does not own: a session belongs to whoever
// created it and leaves the list when destroyed).
class CZqlAppl : public CZqlSQLObject {
 public:
  CZqlAppl();  // not initialised: no dispatcher client, no session list
  // Abort() when initialised; the sessions still listed are detached, never
  // destroyed.
  ~CZqlAppl() override;

  // Starts the dispatcher (which reports a failure of the library's start-
  // up) and creates the empty session list. 1, or 0: 0xA003 when already
  // initialised (everything stays as it was), the dispatcher's codes
  // (nothing is kept then).
  int Init();
  // DisconnectAll(); then detaches every session (they survive, each with
  // its own dispatcher client), stops the dispatcher and becomes not
  // initialised. 1, or 0 (0xA004 when not initialised; DisconnectAll's
  // refusal leaves everything as it was; a dispatcher that fails to stop
  // still leaves the application not initialised, its code in the area).
  int Term();
  // Rolls back every session (ignoring failures), then Term(). 1 or 0.
  int Abort();
  // Disconnects every connected session. While any connection reports an
  // open transaction nothing is disconnected and the answer is 0 with one
  // 0x2501 condition per such session (SERVER_NAME and CONNECTION_NAME its
  // name). The first session that fails to disconnect ends the pass (0x2500
  // and the cause in this object's area); the rest stay connected. 0xA004
  // when not initialised.
  int DisconnectAll();
  // Appends session (borrowed) to the list: 1, or 0 without a list.
  int addConnection(CZqlSession* session);
  // Clears the session's link to this application and takes it off the
  // list without destroying it: 1, or 0 without a list or when it was not
  // listed.
  int removeConnection(CZqlSession* session);
  // As removeConnection, then destroys the session.
  int deleteConnection(CZqlSession* session);
  // Rollback() on every connected session, each failure ignored. 1.
  int rollbackAll();

  // Number of listed sessions (0 when not initialised).
  int SessionCount() const;

 protected:
  CZqlList* sessions;  // owned list of borrowed sessions; null when not initialised

 private:
  int disconnectAll();
  void detachAll() noexcept;
};

// ---------------------------------------------------------------------------
// CZqlSession
// ---------------------------------------------------------------------------

// One connection to a database environment of "zql.ini", and the session
// statements (SET ..., COMMIT WORK, ROLLBACK WORK) sent for it as SQL text.
class CZqlSession : public CZqlSQLObject {
 public:
  // Attaches to appl (borrowed; it must outlive the session or Term it
  // first) with a duplicate of its dispatcher client. Without an
  // initialised appl the session is unusable: 0xA004 stays in its area.
  explicit CZqlSession(CZqlAppl* appl);
  // When connected, rolls back and disconnects (each failure ignored);
  // leaves the application's list.
  ~CZqlSession() override;
  CZqlObject* duplicate() const override { return nullptr; }

  // Connects to environment as user with password, then applies the
  // environment's "CATALOG", "SCHEMA", "TIMEZONE" and "NAMES" defaults of
  // "zql.ini". A default that fails does not fail the connection; its
  // condition (0x3D00, 0x3F00, 0x2209, 0x2C00) is left in the area, after
  // the statements of the later defaults. 1, or 0 with the dispatcher's or
  // driver's conditions (0x802 when already connected).
  int Connect(const CZqlUcStr& environment, const CZqlUcStr& user,
              const CZqlUcStr& password);
  // Ends the connection: 1, or 0 (the session then stays connected).
  int Disconnect();
  // As Disconnect(), with the dispatcher's conditions in area (a CZqlDDA,
  // else 0xA00B), to which a failure adds 0x2500 with SERVER_NAME and
  // CONNECTION_NAME set to Name().
  int Disconnect(CZqlObject* area);

  // The session statements: each builds its text and executes it on the
  // connection. Names are sent as one SQL literal (quotes doubled). 1, or 0.
  // "SET CATALOG 'name'"; an empty name is 0x3D00 and sends nothing.
  int SetCatalog(const CZqlUcStr& name);
  // "SET SCHEMA 'name'"; empty: 0x3F00.
  int SetSchema(const CZqlUcStr& name);
  // "SET NAMES 'name'"; empty: 0x2C00.
  int SetNames(const CZqlUcStr& name);
  // "SET TIME ZONE " and the literal of a non-null HOUR TO MINUTE interval;
  // any other value is 0xA00B.
  int SetTimeZone(const CZqlDT& displacement);
  int SetTimeZone();  // "SET TIME ZONE LOCAL"
  // "SET SESSION AUTHORIZATION 'user'"; empty: 0x2800.
  int SetAuthor(const CZqlUcStr& user);
  // "SET TRANSACTION READ ONLY," (mode 1) or "READ WRITE,", then
  // "ISOLATION LEVEL " and the level followed by ",", then
  // "DIAGNOSTICS SIZE n".
  int SetTrans(EZqlTILevel level, EZqlTMode mode, uint32_t diagnosticsSize);
  // "SET CONSTRAINTS name DEFERRED" / "... IMMEDIATE"; a null or empty name
  // (borrowed for the call) means ALL.
  int DeferrConstr(const CZqlIdent* name);
  int ImmConstr(const CZqlIdent* name);
  // "COMMIT WORK"; a refusal reaches a caller's handler with all the
  // area's conditions (the driver's among them), like every statement here.
  int Commit();
  int Rollback();  // "ROLLBACK WORK"
  // Asks the driver, out of band, to stop the request this session's
  // connection is running (a long query fails with the driver's condition,
  // and the connection stays usable): 1 when the driver was told, 0 when
  // not connected or the driver cannot be reached. Uses no area, opens no
  // frame and does not block beyond about 100 ms, so another thread may
  // call it while a request of this session runs; the session must stay
  // connected meanwhile. With nothing running it has no effect. Not
  // connected, it fails as the other calls do (conditions in the area).
  // The calling thread should block SIGUSR1, the drivers' reply signal,
  // which belongs to the thread that waits for the reply.
  int Cancel();

  // The environment name given to the last successful Connect; valid while
  // the session lives and does not connect again.
  const CZqlUcStr& Name() const { return name; }
  int isConnected() const { return connected; }
  CZqlAppl* Appl() const { return appl; }  // null when detached

  // Executes text on the connection: 1, or 0 (0x2600 when not connected).
  int iexecute(const CZqlUcStr& text);

 protected:
  int connected;   // 1 between a successful Connect and Disconnect
  CZqlAppl* appl;  // the application listing this session; null when detached
  CZqlUcStr name;  // environment name of the connection

 private:
  friend class CZqlAppl;
  // Where Cancel's interrupt goes, taken at Connect (slot -1: nowhere).
  int32_t interruptSlot = -1;
  uint32_t interruptConnection = 0;
  int named(const char* head, const CZqlUcStr& value, EZqlError empty);
  int statement(const char* text);
  int constraints(const CZqlIdent* name, const char* mode);
  bool applyDefaults(const CZqlUcStr& environment);
};

ZQL_PUBLIC_END

#endif  // ZQL_ZQLSQL_H
