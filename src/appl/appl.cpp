// CZqlAppl: the application object. It starts and stops the dispatcher and
// lists the sessions, which it never owns.

#include <memory>

#include "zqldispa.h"
#include "zqlsql.h"

CZqlAppl::CZqlAppl() : sessions(nullptr) {}

CZqlAppl::~CZqlAppl() {
  // In a frame: a refusal must not travel on to a caller's handler from here.
  if (sessions != nullptr) ZqlTry([&] { Abort(); });
  // Abort may have been refused: the sessions still listed must not keep a
  // pointer to this object, and the list must not destroy them.
  detachAll();
}

void CZqlAppl::detachAll() noexcept {
  if (sessions == nullptr) return;
  for (CZqlObject* o = sessions->first(); o != nullptr; o = sessions->next())
    static_cast<CZqlSession*>(o)->appl = nullptr;
  sessions->detachAll();
  delete sessions;
  sessions = nullptr;
}

int CZqlAppl::Init() {
  return Protect([&] {
    FreshArea();
    if (dispatcher != nullptr) ZQL_PUSH_RAISE(kZqlErrZQLWasAlreadyInitialized);
    // Nothing half-made survives a failure: the owners below let go of it.
    std::unique_ptr<CZqlDispClient> client(new CZqlDispClient);
    client->Init(dda);
    std::unique_ptr<CZqlList> list(new CZqlList);
    dispatcher = client.release();
    sessions = list.release();
  });
}

int CZqlAppl::Term() {
  return Protect([&] {
    FreshArea();
    if (dispatcher == nullptr || sessions == nullptr)
      ZQL_PUSH_RAISE(kZqlErrZQLWasNotInitialized);
    DisconnectAll();  // a refusal raises into this frame: nothing changes
    detachAll();
    // The client goes even when its Term fails: its destructor closes what
    // is left, and the application can be initialised again.
    std::unique_ptr<CZqlDispClient> client(dispatcher);
    dispatcher = nullptr;
    client->Term(dda);
  });
}

int CZqlAppl::Abort() {
  int done = 0;
  Protect([&] {
    FreshArea();
    if (dispatcher == nullptr || sessions == nullptr)
      ZQL_PUSH_RAISE(kZqlErrZQLWasNotInitialized);
    rollbackAll();
    done = Term();
  });
  return done;
}

int CZqlAppl::DisconnectAll() {
  return Protect([&] {
    FreshArea();
    if (dispatcher == nullptr || sessions == nullptr)
      ZQL_PUSH_RAISE(kZqlErrZQLWasNotInitialized);
    disconnectAll();
  });
}

// The two passes of DisconnectAll: first every connection is asked whether
// a transaction is open (any is a refusal), then every one is disconnected.
int CZqlAppl::disconnectAll() {
  int active = 0;
  for (CZqlObject* o = sessions->first(); o != nullptr; o = sessions->next()) {
    const CZqlSession* s = static_cast<CZqlSession*>(o);
    if (s->SessionId() == 0) continue;
    uint32_t value = 0;
    dispatcher->Status(dda, s->SessionId(), kZqlStatConnection0, &value);
    if ((value & kZqlStatReportsTransaction) == 0) continue;
    dispatcher->Status(dda, s->SessionId(), kZqlStatConnection1, &value);
    if (value != 1) continue;
    dda->setErr(kZqlErrDisconnectWhileTransactionIsActive);
    dda->setDiagPar(kZqlDiagServerName, s->name);
    dda->setDiagPar(kZqlDiagConnectionName, s->name);
    dda->PushCond();
    ++active;
  }
  if (active > 0) ZQL_RAISE(kZqlErrDisconnectWhileTransactionIsActive);
  for (CZqlObject* o = sessions->first(); o != nullptr; o = sessions->next()) {
    CZqlSession* s = static_cast<CZqlSession*>(o);
    if (s->SessionId() != 0) s->Disconnect(dda);  // a failure raises: the pass ends
  }
  return 1;
}

int CZqlAppl::addConnection(CZqlSession* session) {
  return Protect([&] {
    if (sessions == nullptr) ZQL_PUSH_RAISE(kZqlErrZQLWasNotInitialized);
    if (session == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    sessions->addLast(session);
  });
}

int CZqlAppl::removeConnection(CZqlSession* session) {
  return Protect([&] {
    if (sessions == nullptr) ZQL_PUSH_RAISE(kZqlErrZQLWasNotInitialized);
    if (session == nullptr || !sessions->detach(session))
      ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    session->appl = nullptr;
  });
}

int CZqlAppl::deleteConnection(CZqlSession* session) {
  if (!removeConnection(session)) return 0;
  delete session;
  return 1;
}

int CZqlAppl::rollbackAll() {
  if (sessions == nullptr) return 1;
  for (CZqlObject* o = sessions->first(); o != nullptr; o = sessions->next()) {
    CZqlSession* s = static_cast<CZqlSession*>(o);
    if (s->SessionId() != 0) ZqlTry([&] { s->Rollback(); });
  }
  return 1;
}

int CZqlAppl::SessionCount() const { return sessions != nullptr ? sessions->qnty() : 0; }
