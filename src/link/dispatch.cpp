// The dispatcher client's operations on sessions, statements and cursors:
// each checks its ids, calls the server of the object's entry and keeps the
// lists in step with the driver.

#include <memory>

#include "ipclink.h"
#include "zqldispa.h"
#include "zqlident.h"
#include "zqltry.h"

namespace {

// When an operation flushes the conditions of the caller's area.
enum class EFlush {
  kAlways,
  kUnlessCurrent,  // not when the area is the task's current one already
};

// One dispatcher operation: the checks every operation makes, the area made
// current and set up for command, then body, in a frame. Answers 1, or
// hands the failure on.
template <class Body>
int Dispatch(const SZqlDispRec* rec, CZqlDDA* dda, bool outOk, EZqlStatement command,
             EFlush mode, Body&& body) {
  if (dda == nullptr) return ZQL_PASS_ON(kZqlErrInvalidFunctionArguments);
  const bool flush = mode == EFlush::kAlways || ZqlGetCurrentDDA() != dda;
  CZqlDDA* previous = ZqlSetCurrentDDA(dda);
  const int done = ZqlTry([&] {
    if (!outOk) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    ZqlDispatchSetupDDA(dda, command, flush ? kZqlTrue : kZqlFalse);
    if (rec == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
    if (!rec->initialised) ZQL_RAISE(kZqlErrConnectionFailure);
    body();
  });
  if (!done) return ZqlDispatchFailed(dda, kZqlFalse);
  ZqlSetCurrentDDA(previous);
  return 1;
}

// Runs body; when it raises, runs undo and raises the code again.
template <class Body, class Undo>
void OrUndo(Body&& body, Undo&& undo) {
  if (ZqlTry(body)) return;
  const int code = ZqlTryCode();
  undo();
  ZQL_RAISE(code);
}

// A new server sharing the connection of server. Raises
// kZqlErrInsufficientMemory.
CZqlServer* Share(const CZqlServer* server) {
  auto* copy = static_cast<CZqlServer*>(server->duplicate());
  if (copy == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
  return copy;
}

// The server of an entry; an entry without one cannot be reached.
CZqlServer* ServerOf(const SZqlDspEntry* e) {
  if (e->server == nullptr) ZQL_RAISE(kZqlErrConnectionDoesNotExist);
  return e->server;
}

// Drops the area's descriptor sets (the output first: it points into the
// columns).
void DropSets(CZqlDDA* dda) {
  SZqlDiag* b = dda->getDiagData();
  if (b == nullptr) return;
  delete b->output;
  b->output = nullptr;
  delete b->columns;
  b->columns = nullptr;
  delete b->params;
  b->params = nullptr;
}

}  // namespace

int ZqlDispatchFailed(CZqlDDA* dda, EZqlBoolean keepCurrent) {
  ZQL_ASSERT(dda != nullptr);
  const int code = ZqlTryCode();
  if (keepCurrent == kZqlFalse) ZqlSetCurrentDDA(nullptr);
  if (dda->CondCount() == 0) ZqlTry([&] { dda->pushErr(static_cast<EZqlError>(code)); });
  return ZQL_PASS_ON(code);
}

void ZqlDispatchSetupDDA(CZqlDDA* dda, EZqlStatement command, EZqlBoolean flush) {
  if (dda == nullptr) return;
  dda->setStmType(kZqlStmUndefined);
  dda->setCmdStmType(command);
  if (flush == kZqlTrue) dda->FlushCond();
}

// ---------------------------------------------------------------------------
// Entry lookup
// ---------------------------------------------------------------------------

SZqlDspEntry* CZqlDispClient::session(uint32_t id) const {
  SZqlDspEntry* e = rec_->sessions->getObji(id);
  if (e == nullptr) ZQL_RAISE(kZqlErrConnectionDoesNotExist);
  return e;
}

SZqlDspEntry* CZqlDispClient::statement(uint32_t id) const {
  return rec_->statements->getObj(id);
}

SZqlDspEntry* CZqlDispClient::cursor(uint32_t id) const { return rec_->cursors->getObj(id); }

int CZqlDispClient::isAnyObj(uint32_t id) const {
  return rec_->sessions->isObj(id) || rec_->statements->isObj(id) || rec_->cursors->isObj(id);
}

// ---------------------------------------------------------------------------
// Sessions
// ---------------------------------------------------------------------------

int CZqlDispClient::Connect(CZqlDDA* dda, uint32_t* session, const CZqlUcStr& target,
                            const CZqlUcStr& user, const CZqlUcStr& password) {
  return Dispatch(rec_, dda, session != nullptr, kZqlStmConnect, EFlush::kAlways, [&] {
    if (rec_->sessions->isObj(*session)) ZQL_RAISE(kZqlErrConnectionNameInUse);
    if (isAnyObj(*session)) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    *session = 0;
    CZqlDspObj* list = rec_->sessions;
    const uint32_t id = list->addObj();
    // The server joins the entry only once the driver accepted it.
    std::unique_ptr<CZqlServer> server;
    OrUndo(
        [&] {
          server.reset(rec_->ipc->ConnectServer(target));  // raises rather than null
          const uint32_t driverId = server->Connect(dda, target, user, password);
          SZqlDspEntry* e = list->getObj(id);
          e->driverId = driverId;
          e->server = server.release();
        },
        [&] {
          server.reset();
          list->delObj(id);
        });
    *session = id;
  });
}

int CZqlDispClient::Disconnect(CZqlDDA* dda, uint32_t* session) {
  return Dispatch(rec_, dda, session != nullptr, kZqlStmDisconnect, EFlush::kUnlessCurrent, [&] {
    const SZqlDspEntry* e = this->session(*session);
    ServerOf(e)->Disconnect(dda, e->driverId, kZqlFalse);
    rec_->cursors->delObj(*session, 0);
    rec_->statements->delObj(*session, 0);
    rec_->sessions->delObj(*session);
    *session = 0;
  });
}

void CZqlDispClient::Forget(uint32_t* session) noexcept {
  if (session == nullptr || *session == 0 || rec_ == nullptr || rec_->sessions == nullptr) return;
  const uint32_t id = *session;
  ZqlTry([&] {
    rec_->cursors->delObj(id, 0);
    rec_->statements->delObj(id, 0);
    rec_->sessions->delObj(id);
  });
  *session = 0;
}

int CZqlDispClient::execute(CZqlDDA* dda, uint32_t session, const CZqlUcStr& text, int kind,
                            bool flush) {
  const EFlush mode = flush ? EFlush::kAlways : EFlush::kUnlessCurrent;
  return Dispatch(rec_, dda, true, kZqlStmExecuteImmediate, mode, [&] {
    const SZqlDspEntry* e = this->session(session);
    CZqlServer* server = ServerOf(e);
    if (kind == kZqlReqIExeNative)
      server->IExeNative(dda, e->driverId, text);
    else if (kind == kZqlReqIExeInterDB)
      server->IExeInterDB(dda, e->driverId, text);
    else
      server->IExecute(dda, e->driverId, text);
  });
}

int CZqlDispClient::IExecute(CZqlDDA* dda, uint32_t session, const CZqlUcStr& text) {
  return execute(dda, session, text, kZqlReqIExecute, false);
}

int CZqlDispClient::IExeNative(CZqlDDA* dda, uint32_t session, const CZqlUcStr& text) {
  return execute(dda, session, text, kZqlReqIExeNative, true);
}

int CZqlDispClient::IExeInterDB(CZqlDDA* dda, uint32_t session, const CZqlUcStr& text) {
  return execute(dda, session, text, kZqlReqIExeInterDB, true);
}

SZqlInterrupt CZqlDispClient::InterruptOf(uint32_t session) const {
  if (rec_ == nullptr || rec_->sessions == nullptr) return SZqlInterrupt{};
  const SZqlDspEntry* e = rec_->sessions->getObji(session);
  if (e == nullptr || e->server == nullptr) return SZqlInterrupt{};
  return e->server->InterruptOf(e->driverId);
}

int CZqlDispClient::Cancel(CZqlDDA* dda, uint32_t session) {
  return Dispatch(rec_, dda, true, kZqlStmUndefined, EFlush::kAlways, [&] {
    const SZqlDspEntry* e = this->session(session);
    ServerOf(e)->Cancel(dda, e->driverId);
  });
}

// ---------------------------------------------------------------------------
// Statements
// ---------------------------------------------------------------------------

int CZqlDispClient::prepare(CZqlDDA* dda, uint32_t session, uint32_t* statement,
                            const CZqlUcStr& text, bool interDB) {
  return Dispatch(rec_, dda, statement != nullptr, kZqlStmPrepare, EFlush::kAlways, [&] {
    const SZqlDspEntry* s = this->session(session);
    if (rec_->cursors->isObj(*statement)) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    if (rec_->statements->isObj(*statement)) {
      DeallocStm(dda, statement);  // the area is current: its conditions stay
      ZqlDispatchSetupDDA(dda, kZqlStmPrepare, kZqlFalse);
    }
    *statement = 0;
    CZqlDspObj* list = rec_->statements;
    const uint32_t id = list->addObj();
    SZqlDspEntry* e = list->getObj(id);
    OrUndo(
        [&] {
          e->server = Share(ServerOf(s));
          e->sessionId = session;
          e->driverId = interDB ? e->server->PrepareInterDB(dda, s->driverId, text)
                                : e->server->Prepare(dda, s->driverId, text);
        },
        [&] { list->delObj(id); });
    *statement = id;
  });
}

int CZqlDispClient::Prepare(CZqlDDA* dda, uint32_t session, uint32_t* statement,
                            const CZqlUcStr& text) {
  return prepare(dda, session, statement, text, false);
}

int CZqlDispClient::PrepareInterDB(CZqlDDA* dda, uint32_t session, uint32_t* statement,
                                   const CZqlUcStr& text) {
  return prepare(dda, session, statement, text, true);
}

int CZqlDispClient::Execute(CZqlDDA* dda, uint32_t statement) {
  return Dispatch(rec_, dda, true, kZqlStmExecute, EFlush::kAlways, [&] {
    const SZqlDspEntry* e = this->statement(statement);
    ServerOf(e)->Execute(dda, e->driverId);
  });
}

int CZqlDispClient::DeallocStm(CZqlDDA* dda, uint32_t* statement) {
  return Dispatch(rec_, dda, statement != nullptr, kZqlStmDeallocateStatement,
                  EFlush::kUnlessCurrent, [&] {
                    const SZqlDspEntry* e = this->statement(*statement);
                    ServerOf(e)->DeallocStm(dda, e->driverId);
                    rec_->cursors->delObj(0, *statement);
                    rec_->statements->delObj(*statement);
                    *statement = 0;
                    DropSets(dda);
                  });
}

// ---------------------------------------------------------------------------
// Cursors
// ---------------------------------------------------------------------------

int CZqlDispClient::AllocCsr(CZqlDDA* dda, uint32_t statement, uint32_t* cursor,
                             const CZqlIdent& name, EZqlCurScr scr, EZqlCurSns sns) {
  return Dispatch(rec_, dda, cursor != nullptr, kZqlStmAllocCursor, EFlush::kAlways, [&] {
    const SZqlDspEntry* s = this->statement(statement);
    if (isAnyObj(*cursor)) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    CZqlDspObj* list = rec_->cursors;
    const uint32_t id = list->addObj();
    SZqlDspEntry* e = list->getObj(id);
    OrUndo(
        [&] {
          e->server = Share(ServerOf(s));
          e->sessionId = s->sessionId;
          e->statementId = statement;
          e->driverId = e->server->AllocCsr(dda, s->driverId, name, scr, sns);
        },
        [&] { list->delObj(id); });
    *cursor = id;
  });
}

int CZqlDispClient::Open(CZqlDDA* dda, uint32_t cursor) {
  return Dispatch(rec_, dda, true, kZqlStmOpen, EFlush::kAlways, [&] {
    const SZqlDspEntry* e = this->cursor(cursor);
    ServerOf(e)->Open(dda, e->driverId);
  });
}

int CZqlDispClient::Close(CZqlDDA* dda, uint32_t cursor) {
  return Dispatch(rec_, dda, true, kZqlStmCloseCursor, EFlush::kAlways, [&] {
    const SZqlDspEntry* e = this->cursor(cursor);
    ServerOf(e)->Close(dda, e->driverId);
  });
}

int CZqlDispClient::Fetch(CZqlDDA* dda, uint32_t cursor, EZqlDirection direction,
                          int32_t offset) {
  return Dispatch(rec_, dda, true, kZqlStmFetch, EFlush::kAlways, [&] {
    const SZqlDspEntry* e = this->cursor(cursor);
    ServerOf(e)->Fetch(dda, e->driverId, direction, offset);
  });
}

// ---------------------------------------------------------------------------
// The end of all sessions, and Status
// ---------------------------------------------------------------------------

int CZqlDispClient::terminate(CZqlDDA* dda, EZqlBoolean abort) {
  return Dispatch(rec_, dda, true, kZqlStmDisconnect, EFlush::kAlways, [&] {
    if (disconnectAll(dda, abort) > 0) ZQL_PUSH_RAISE(kZqlErrDisconnectError);
    deleteAll();
  });
}

int CZqlDispClient::Status(CZqlDDA* dda, uint32_t id, EZqlStatInfo info, uint32_t* value) {
  if (dda == nullptr) return ZQL_PASS_ON(kZqlErrInvalidFunctionArguments);
  const int done = ZqlTry([&] {
    if (value == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    if (rec_ == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
    if (!rec_->initialised) ZQL_RAISE(kZqlErrConnectionFailure);
    SZqlDspEntry* e = rec_->sessions->getObji(id);
    if (e == nullptr) e = rec_->statements->getObji(id);
    if (e == nullptr) e = rec_->cursors->getObj(id);
    *value = ServerOf(e)->Status(dda, e->driverId, info);
  });
  return done ? 1 : ZqlDispatchFailed(dda, kZqlTrue);
}
