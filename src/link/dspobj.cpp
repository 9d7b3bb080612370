// CZqlDspObj: the lists of sessions, statements and cursors of a
// dispatcher, and the process-wide counter of their client-side ids.

#include "ipclink.h"
#include "zqldispa.h"

namespace {

// The next client-side id of any list. 0 names nothing, so the counter
// skips it should it ever wrap.
uint32_t gNextId = 1;

uint32_t TakeId() {
  const uint32_t id = gNextId++;
  if (gNextId == 0) gNextId = 1;
  return id;
}

void DeleteEntry(SZqlDspEntry* e) noexcept {
  delete e->server;
  ZqlMemoryNblkFree(e);
}

}  // namespace

CZqlDspObj::CZqlDspObj() : head_(nullptr) {}

CZqlDspObj::~CZqlDspObj() {
  while (head_ != nullptr) {
    SZqlDspEntry* e = head_;
    head_ = e->next;
    DeleteEntry(e);
  }
}

uint32_t CZqlDspObj::addObj() {
  ZQL_ASSERT(ZqlTryReady() || ZqlExceptionHandlerReady());
  auto* e = static_cast<SZqlDspEntry*>(ZqlMemoryNblkCalloc(1, sizeof(SZqlDspEntry)));
  if (e == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
  e->id = TakeId();
  e->next = head_;
  head_ = e;
  return e->id;
}

int CZqlDspObj::delObj(uint32_t id) {
  if (id == 0) return 1;
  for (SZqlDspEntry** link = &head_; *link != nullptr; link = &(*link)->next) {
    SZqlDspEntry* e = *link;
    if (e->id != id) continue;
    *link = e->next;
    DeleteEntry(e);
    return 1;
  }
  return 0;
}

int CZqlDspObj::delObj(uint32_t session, uint32_t statement) {
  int removed = 0;
  SZqlDspEntry** link = &head_;
  while (*link != nullptr) {
    SZqlDspEntry* e = *link;
    const bool match = (session != 0 && e->sessionId == session) ||
                       (statement != 0 && e->statementId == statement);
    if (!match) {
      link = &e->next;
      continue;
    }
    *link = e->next;
    DeleteEntry(e);
    ++removed;
  }
  return removed;
}

SZqlDspEntry* CZqlDspObj::getObj(uint32_t id) const {
  ZQL_ASSERT(ZqlTryReady() || ZqlExceptionHandlerReady());
  SZqlDspEntry* e = getObji(id);
  if (e == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
  return e;
}

SZqlDspEntry* CZqlDspObj::getObj(int index) const {
  ZQL_ASSERT(ZqlTryReady() || ZqlExceptionHandlerReady());
  SZqlDspEntry* e = index >= 0 ? head_ : nullptr;
  for (int i = 0; e != nullptr && i < index; ++i) e = e->next;
  if (e == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
  return e;
}

SZqlDspEntry* CZqlDspObj::getObji(uint32_t id) const {
  if (id == 0) return nullptr;
  for (SZqlDspEntry* e = head_; e != nullptr; e = e->next)
    if (e->id == id) return e;
  return nullptr;
}

int CZqlDspObj::cntObj() const {
  int n = 0;
  for (const SZqlDspEntry* e = head_; e != nullptr; e = e->next) ++n;
  return n;
}

uint32_t CZqlDspObj::getObjId() { return gNextId; }
