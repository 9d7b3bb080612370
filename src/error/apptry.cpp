// Exception handlers at the library's boundary and the helpers that turn
// raised codes and descriptor-area conditions into exceptions.

#include "zqlclass.h"
#include "zqldiag.h"

namespace {

CZqlExceptionHandler* Innermost() {
  return static_cast<CZqlExceptionHandler*>(
      ZqlTaskDataGet(kZqlTaskSlotHandler));
}

void SetInnermost(CZqlExceptionHandler* h) {
  ZqlTaskDataSet(kZqlTaskSlotHandler, h);
}

// Hands e to h and closes h: everything a throw does except the transfer.
void Deliver(CZqlExceptionHandler* h, CZqlException* e) {
  SetInnermost(h->outer);
  if (e != nullptr && e != h->exception) {
    delete h->exception;
    h->exception = e;
  }
  // A later throw without an argument from h's recovery carries the same
  // exception outward.
  if (h->outer != nullptr) h->outer->exception = h->exception;
  h->thrown = 1;
}

// A new exception holding one condition with code; null or partial when
// memory runs out.
CZqlException* OneCondition(int code) {
  CZqlException* e = nullptr;
  ZqlTry([&] {
    e = new CZqlException;
    e->setErr(code);
    e->pushCond();
  });
  return e;
}

}  // namespace

CZqlExceptionHandler::CZqlExceptionHandler()
    : exception(nullptr), outer(Innermost()), context{0}, thrown(0) {
  SetInnermost(this);
}

CZqlExceptionHandler::~CZqlExceptionHandler() {
  if (outer != nullptr) {
    if (outer->thrown == 0)
      outer->exception = nullptr;  // only the copy a throw left there
    else if (outer->exception == exception)
      exception = nullptr;  // passed on: the outer handler owns it now
  }
  // A handler that an exception was thrown to is closed already; reopening
  // its outer here would make a handler in recovery its own target.
  if (Innermost() == this) SetInnermost(outer);
  delete exception;
}

void CZqlExceptionHandler::stray(int code) noexcept {
  zql_detail::TryLanded(levelAtRun_ + 1, false, false);
  CZqlException* e = nullptr;
  try {
    e = OneCondition(code);
  } catch (...) {  // a handler transfer while building: keep what we have
  }
  Deliver(this, e);
}

int ZqlExceptionHandlerReady() { return Innermost() != nullptr ? 1 : 0; }

void ZqlExceptionThrow(CZqlException* e) {
  CZqlExceptionHandler* h = Innermost();
  if (h == nullptr) {
    delete e;
    return;
  }
  Deliver(h, e);
  throw CZqlHandlerJump{h};
}

void ZqlExceptionRecall(int code) {
  if (Innermost() == nullptr) return;
  ZqlExceptionThrow(OneCondition(code));
}

int ZqlExceptionsFromDDA(CZqlDDA* dda) {
  if (Innermost() == nullptr) return 0;
  const SZqlCondition* conds = nullptr;
  int count = 0;
  int capacity = 0;
  if (dda == nullptr || !ZqlDDAConditions(dda, &conds, &count, &capacity)) {
    ZqlExceptionThrow(OneCondition(ZqlTryCode()));
    return 0;
  }
  CZqlException* e = new (std::nothrow) CZqlException;
  if (e == nullptr) return 0;
  if (!ZqlTry([&] { e->copyConditions(conds, count, capacity); })) {
    delete e;
    return 0;
  }
  ZqlExceptionThrow(e);
  return 0;
}

int ZqlExceptionsToCatch(CZqlDDA* dda) {
  if (ZqlTryReady()) return ZqlTryRethrow();
  return ZqlExceptionsFromDDA(dda);
}

void ZqlPushError(EZqlError code) {
  CZqlDDA* dda = ZqlGetCurrentDDA();
  if (dda != nullptr) ZqlDDAPushCondition(dda, code, nullptr);
}

int ZqlPushnThrow(EZqlError code) {
  ZqlPushError(code);
  return ZqlTryThrow(code, 0, 0);
}

void ZqlPushnRaise(EZqlError code, int line, const char* file) {
  ZqlPushError(code);
  ZqlRaise(code, line, file);
}
