// zqldispa.h - the dispatcher: what the SQL objects call to reach drivers.
//
// CZqlDispClient hands out the client-side identifiers of sessions,
// statements and cursors, maps each to the identifier its driver gave it and
// to the CZqlServer that reaches that driver, prepares the caller's
// descriptor area for the operation and records failures in it as
// conditions. Copies made with duplicate() share one record (and so one set
// of sessions); the last copy releases it.
//
// Identifiers: client-side ids come from one process-wide counter starting
// at 1, shared by every list of every dispatcher, so an id names at most one
// session, statement or cursor. 0 names nothing.
//
// Raising: the operations run their work in a frame of their own and hand
// a failure on with ZQL_PASS_ON (ipclink.h): into the caller's frame or
// exception handler, or, with neither open, as the answer 0. Constructors
// never raise.
#ifndef ZQL_ZQLDISPA_H
#define ZQL_ZQLDISPA_H

#include <cstdint>

#include "zqlclass.h"
#include "zqldda.h"
#include "zqlproto.h"
#include "uxlink.h"

class CZqlIdent;
class CZqlIpcSystem;
class CZqlServer;

// ---------------------------------------------------------------------------
// Object lists
// ---------------------------------------------------------------------------

// One session, statement or cursor of a dispatcher.
struct SZqlDspEntry {
  SZqlDspEntry* next;
  CZqlServer* server;    // owned: deleted with the entry; null until set
  uint32_t id;           // client-side id
  uint32_t sessionId;    // the session it belongs to (0 for a session)
  uint32_t statementId;  // the statement a cursor belongs to, else 0
  uint32_t driverId;     // the driver's id of the object
};

// A list of entries, newest first. Entries are owned by the list.
class CZqlDspObj : public CZqlObject {
 public:
  CZqlDspObj();
  CZqlDspObj(const CZqlDspObj&) = delete;
  CZqlDspObj& operator=(const CZqlDspObj&) = delete;
  // Removes every entry (deleting their servers).
  ~CZqlDspObj() override;

  // Adds an entry with the next id of the process-wide counter (its other
  // fields zero) and answers the id. Raises kZqlErrInsufficientMemory.
  // REQUIRES: a frame is open.
  uint32_t addObj();
  // Removes the entry with id and deletes its server: 1, or 0 when there is
  // none. Id 0 does nothing and answers 1.
  int delObj(uint32_t id);
  // Removes every entry whose session id is session or whose statement id
  // is statement; 0 matches nothing. Answers the number removed.
  int delObj(uint32_t session, uint32_t statement);
  // The entry with id, or (index form) the entry at index counted from the
  // newest. Raises kZqlErrInvalidFunctionArguments when there is none.
  // REQUIRES: a frame is open. Mind the overloads: an int argument selects
  // the index form.
  SZqlDspEntry* getObj(uint32_t id) const;
  SZqlDspEntry* getObj(int index) const;
  // The entry with id, or null. Never raises.
  SZqlDspEntry* getObji(uint32_t id) const;
  int isObj(uint32_t id) const { return getObji(id) != nullptr ? 1 : 0; }
  int cntObj() const;
  // The id the next addObj of any list will hand out.
  static uint32_t getObjId();

 private:
  SZqlDspEntry* head_;
};

// ---------------------------------------------------------------------------
// Dispatcher
// ---------------------------------------------------------------------------

// Sets the area's statement type to 0 and its command type to command;
// flushes its conditions when flush is 1. Null dda: nothing. Never raises.
void ZqlDispatchSetupDDA(CZqlDDA* dda, EZqlStatement command, EZqlBoolean flush);
// Records the failure of a dispatcher operation whose frame has just closed
// (its code is ZqlTryCode()): the task has no current area any more unless
// keepCurrent, and dda, if it holds no condition, receives one. Hands the
// code on (ZQL_PASS_ON): answers 0 when no frame or handler takes it.
// REQUIRES: dda is not null.
int ZqlDispatchFailed(CZqlDDA* dda, EZqlBoolean keepCurrent);

// The operations the SQL objects ask of a dispatcher. Each answers 1 on
// success and hands a failure on (answering 0 to a caller outside every
// frame); dda is the caller's descriptor area (borrowed for the call),
// which receives the driver's reply and, on failure, at least one
// condition. Operations that reach a driver block while it works.
class CZqlDispatcher : public CZqlObject {
 public:
  virtual int Init(CZqlDDA* dda) = 0;
  virtual int Term(CZqlDDA* dda) = 0;
  virtual int Abort(CZqlDDA* dda) = 0;
  virtual int Connect(CZqlDDA* dda, uint32_t* session, const CZqlUcStr& target,
                      const CZqlUcStr& user, const CZqlUcStr& password) = 0;
  virtual int Disconnect(CZqlDDA* dda, uint32_t* session) = 0;
  virtual int IExecute(CZqlDDA* dda, uint32_t session, const CZqlUcStr& text) = 0;
  virtual int IExeNative(CZqlDDA* dda, uint32_t session, const CZqlUcStr& text) = 0;
  virtual int IExeInterDB(CZqlDDA* dda, uint32_t session, const CZqlUcStr& text) = 0;
  virtual int Prepare(CZqlDDA* dda, uint32_t session, uint32_t* statement,
                      const CZqlUcStr& text) = 0;
  virtual int PrepareInterDB(CZqlDDA* dda, uint32_t session, uint32_t* statement,
                             const CZqlUcStr& text) = 0;
  virtual int Execute(CZqlDDA* dda, uint32_t statement) = 0;
  virtual int DeallocStm(CZqlDDA* dda, uint32_t* statement) = 0;
  virtual int AllocCsr(CZqlDDA* dda, uint32_t statement, uint32_t* cursor,
                       const CZqlIdent& name, EZqlCurScr scr, EZqlCurSns sns) = 0;
  virtual int Open(CZqlDDA* dda, uint32_t cursor) = 0;
  virtual int Close(CZqlDDA* dda, uint32_t cursor) = 0;
  virtual int Fetch(CZqlDDA* dda, uint32_t cursor, EZqlDirection direction,
                    int32_t offset) = 0;
  virtual int Cancel(CZqlDDA* dda, uint32_t session) = 0;
  virtual int Status(CZqlDDA* dda, uint32_t id, EZqlStatInfo info, uint32_t* value) = 0;
  // Where an out-of-band interrupt of session's running request goes
  // (ZqlInterruptServerOnUnix); slot -1 for an unknown session. Never raises.
  // Call it on the thread that uses the dispatcher; the answer is a plain
  // value that other threads may use while the session is connected.
  virtual SZqlInterrupt InterruptOf(uint32_t session) const {
    (void)session;
    return SZqlInterrupt{};
  }
};

// The record that copies of a CZqlDispClient share.
struct SZqlDispRec {
  int32_t refCount;
  CZqlIpcSystem* ipc;      // owned; null before Init and after Term
  CZqlDspObj* sessions;    // owned, as the two lists below
  CZqlDspObj* statements;
  CZqlDspObj* cursors;
  int32_t initialised;     // 1 between Init and a successful Term/Abort
};

// The dispatcher client. Operations beyond the interface's contract:
//   - all but Init and Status fail with kZqlErrInvalidFunctionArguments for
//     a null area or a null output pointer, kZqlErrInsufficientMemory
//     without a record, kZqlErrConnectionFailure before Init; they make dda
//     the task's current area for the call (restoring the previous one on
//     success, leaving none after a failure);
//   - ids: kZqlErrConnectionDoesNotExist for a session that does not exist,
//     kZqlErrInvalidFunctionArguments for a statement or cursor that does
//     not; driver and transport errors pass unchanged.
class CZqlDispClient : public CZqlDispatcher {
 public:
  // A zeroed record with count 1; without memory the client has none (its
  // operations fail with kZqlErrInsufficientMemory).
  CZqlDispClient();
  CZqlDispClient(const CZqlDispClient&) = delete;
  CZqlDispClient& operator=(const CZqlDispClient&) = delete;
  // Releases the record; the last holder deletes the lists (their servers
  // close their driver connections, without Disconnect requests) and the
  // IPC system.
  ~CZqlDispClient() override;
  // A new client, owned by the caller, sharing this one's record. Fails
  // with kZqlErrInsufficientMemory (null) when this one has no record or
  // memory is out.
  CZqlDispClient* duplicate() const override;
  SZqlDispRec* Record() const { return rec_; }

  // Creates the lists and the IPC system. Fails with the error recorded
  // when the library started in this process, if any (ZqlTaskDataErrGet;
  // pushed onto dda), kZqlErrInvalidFunctionArguments for a null area,
  // kZqlErrInsufficientMemory; nothing is created then. A second Init
  // answers 1 and changes nothing.
  int Init(CZqlDDA* dda) override;
  // Disconnects every session (abort flag 0 or 1), each under its own try:
  // a failure is pushed onto dda and the loop goes on. When all went, the
  // lists and the IPC system are deleted and the client is uninitialised;
  // else fails with kZqlErrDisconnectError with the failed sessions kept.
  int Term(CZqlDDA* dda) override;
  int Abort(CZqlDDA* dda) override;
  // Connects to the environment target. *session must name no session
  // (kZqlErrConnectionNameInUse) and no statement or cursor
  // (kZqlErrInvalidFunctionArguments); receives the new id.
  int Connect(CZqlDDA* dda, uint32_t* session, const CZqlUcStr& target,
              const CZqlUcStr& user, const CZqlUcStr& password) override;
  // Ends the session with its statements and cursors; *session becomes 0.
  int Disconnect(CZqlDDA* dda, uint32_t* session) override;
  // Drops the session with its statements and cursors without asking the
  // driver: for a session that goes away after its Disconnect failed (the
  // driver may have ended the connection before the failure). The link
  // connection closes with its last holder. *session becomes 0. Never
  // raises; a session it does not know is ignored.
  void Forget(uint32_t* session) noexcept;
  int IExecute(CZqlDDA* dda, uint32_t session, const CZqlUcStr& text) override;
  int IExeNative(CZqlDDA* dda, uint32_t session, const CZqlUcStr& text) override;
  int IExeInterDB(CZqlDDA* dda, uint32_t session, const CZqlUcStr& text) override;
  // Prepares text; an existing statement *statement is deallocated first.
  // *statement must not name a cursor (kZqlErrInvalidFunctionArguments);
  // receives the new id.
  int Prepare(CZqlDDA* dda, uint32_t session, uint32_t* statement,
              const CZqlUcStr& text) override;
  int PrepareInterDB(CZqlDDA* dda, uint32_t session, uint32_t* statement,
                     const CZqlUcStr& text) override;
  int Execute(CZqlDDA* dda, uint32_t statement) override;
  // Deallocates the statement with its cursors; *statement becomes 0 and
  // dda loses its column, parameter and output sets.
  int DeallocStm(CZqlDDA* dda, uint32_t* statement) override;
  // *cursor must name nothing (kZqlErrInvalidFunctionArguments); receives
  // the new id.
  int AllocCsr(CZqlDDA* dda, uint32_t statement, uint32_t* cursor, const CZqlIdent& name,
               EZqlCurScr scr, EZqlCurSns sns) override;
  int Open(CZqlDDA* dda, uint32_t cursor) override;
  int Close(CZqlDDA* dda, uint32_t cursor) override;
  int Fetch(CZqlDDA* dda, uint32_t cursor, EZqlDirection direction, int32_t offset) override;
  int Cancel(CZqlDDA* dda, uint32_t session) override;
  SZqlInterrupt InterruptOf(uint32_t session) const override;
  // The driver's answer for id (a session, statement or cursor, looked up
  // in that order; kZqlErrInvalidFunctionArguments when none) into *value.
  // Leaves the area's setup
  // and the current area alone; a failure still leaves a condition in dda.
  int Status(CZqlDDA* dda, uint32_t id, EZqlStatInfo info, uint32_t* value) override;

 private:
  explicit CZqlDispClient(SZqlDispRec* shared);
  void release() noexcept;
  // The entries of ids; raise kZqlErrConnectionDoesNotExist (session) or
  // kZqlErrInvalidFunctionArguments.
  SZqlDspEntry* session(uint32_t id) const;
  SZqlDspEntry* statement(uint32_t id) const;
  SZqlDspEntry* cursor(uint32_t id) const;
  int isAnyObj(uint32_t id) const;
  int execute(CZqlDDA* dda, uint32_t session, const CZqlUcStr& text, int kind, bool flush);
  int prepare(CZqlDDA* dda, uint32_t session, uint32_t* statement, const CZqlUcStr& text,
              bool interDB);
  int terminate(CZqlDDA* dda, EZqlBoolean abort);
  int disconnectAll(CZqlDDA* dda, EZqlBoolean abort);
  void deleteAll() noexcept;

  SZqlDispRec* rec_;
};

#endif  // ZQL_ZQLDISPA_H
