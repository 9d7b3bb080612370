// The dispatcher client's life: its shared record, Init, and the end of
// all sessions with Term and Abort (terminate: dispatch.cpp).

#include <memory>
#include <vector>

#include "ipclink.h"
#include "zqldispa.h"
#include "zqltry.h"

namespace {

// Records a failure of one session's end in the area, unless the newest
// condition already tells it (the driver's reply may have brought it).
void NoteFailure(CZqlDDA* dda, int code) {
  if (dda->CondCount() > 0 && dda->Err(0) == code) return;
  dda->pushErr(static_cast<EZqlError>(code));
}

}  // namespace

CZqlDispClient::CZqlDispClient()
    : rec_(static_cast<SZqlDispRec*>(ZqlMemoryNblkCalloc(1, sizeof(SZqlDispRec)))) {
  if (rec_ != nullptr) rec_->refCount = 1;
}

CZqlDispClient::CZqlDispClient(SZqlDispRec* shared) : rec_(shared) { ++rec_->refCount; }

CZqlDispClient::~CZqlDispClient() { release(); }

void CZqlDispClient::release() noexcept {
  SZqlDispRec* r = rec_;
  rec_ = nullptr;
  if (r == nullptr || --r->refCount > 0) return;
  rec_ = r;
  deleteAll();
  rec_ = nullptr;
  ZqlMemoryNblkFree(r);
}

CZqlDispClient* CZqlDispClient::duplicate() const {
  CZqlDispClient* copy = rec_ != nullptr ? new (std::nothrow) CZqlDispClient(rec_) : nullptr;
  if (copy == nullptr) return ZQL_PASS_ON(kZqlErrInsufficientMemory), nullptr;
  return copy;
}

// Cursors before statements before sessions: each list's servers share
// the connections of the next one's.
void CZqlDispClient::deleteAll() noexcept {
  delete rec_->cursors;
  rec_->cursors = nullptr;
  delete rec_->statements;
  rec_->statements = nullptr;
  delete rec_->sessions;
  rec_->sessions = nullptr;
  delete rec_->ipc;
  rec_->ipc = nullptr;
  rec_->initialised = 0;
}

int CZqlDispClient::Init(CZqlDDA* dda) {
  if (dda == nullptr) return ZQL_PASS_ON(kZqlErrInvalidFunctionArguments);
  if (rec_ != nullptr && rec_->initialised) return 1;
  std::unique_ptr<CZqlDspObj> sessions, statements, cursors;
  std::unique_ptr<CZqlIpcSystem> ipc;
  const int done = ZqlTry([&] {
    if (rec_ == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
    // The library could not start its resources when it was loaded.
    const int startError = ZqlTaskDataErrGet();
    if (startError != 0) ZQL_RAISE(startError);
    sessions.reset(new CZqlDspObj);
    statements.reset(new CZqlDspObj);
    cursors.reset(new CZqlDspObj);
    ipc.reset(new CZqlIpcSystem);
    if (ipc->SysBody() == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
  });
  if (!done) return ZqlDispatchFailed(dda, kZqlTrue);
  rec_->sessions = sessions.release();
  rec_->statements = statements.release();
  rec_->cursors = cursors.release();
  rec_->ipc = ipc.release();
  rec_->initialised = 1;
  return 1;
}

// Ends every session; answers how many could not be ended (they stay).
int CZqlDispClient::disconnectAll(CZqlDDA* dda, EZqlBoolean abort) {
  std::vector<uint32_t> ended;
  int failed = 0;
  const int n = rec_->sessions->cntObj();
  for (int i = 0; i < n; ++i) {
    const SZqlDspEntry* e = rec_->sessions->getObj(i);
    const uint32_t id = e->id;
    const int done = ZqlTry([&] {
      if (e->server != nullptr) e->server->Disconnect(dda, e->driverId, abort);
      rec_->cursors->delObj(id, 0);
      rec_->statements->delObj(id, 0);
    });
    if (done) {
      ended.push_back(id);
    } else {
      NoteFailure(dda, ZqlTryCode());
      ++failed;
    }
  }
  for (const uint32_t id : ended) rec_->sessions->delObj(id);
  return failed;
}

int CZqlDispClient::Term(CZqlDDA* dda) { return terminate(dda, kZqlFalse); }

int CZqlDispClient::Abort(CZqlDDA* dda) { return terminate(dda, kZqlTrue); }
