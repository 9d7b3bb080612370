// lispsession.cpp - sessions; ZQL_CONNECT, ZQL_DISCONNECT, ZQL_IEXECUTE,
// ZQL_NEXECUTE.
#include "lispsession.h"

#include <new>

#include "lispbuf.h"
#include "lisplist.h"
#include "lisproot.h"
#include "lispstm.h"

CZqlLispSession::CZqlLispSession(const char* name, CZqlAppl* appl)
    : CZqlLispSQLObj(name), CZqlSession(appl) {
  setObjType(kZqlLispTypeSession);
}

CZqlLispSession::~CZqlLispSession() {
  delete stms_;  // each statement deletes its cursors
  delete nativeStm_;
  delete immStm_;
}

int CZqlLispSession::init() {
  if (!stms_) stms_ = new (std::nothrow) CZqlLispList;
  if (!stms_) {
    errPush(kZqlLispErrNoMemory);
    return 0;
  }
  return CZqlLispSQLObj::init();
}

int CZqlLispSession::writeBuf(CZqlLispBuf* buf) const {
  if (!stms_ || !buf) return 0;
  int written = 0;
  for (int i = 0; i < stms_->Qty(); ++i) {
    CZqlLispObj* obj = nullptr;
    if (!stms_->getItem(i, &obj) || !obj) return 0;
    if (!static_cast<CZqlLispStm*>(obj)->writeHandle(buf)) return 0;
    ++written;
  }
  return written > 0;
}

CZqlLispStm* CZqlLispSession::allocStm(const char* name) {
  if (!stms_) {
    errPush(kZqlLispErrInternal);
    return nullptr;
  }
  CZqlLispStm* stm = nullptr;
  if (!ZqlLispGuard(this, [&] { stm = new CZqlLispStm(name); }) || !stm) {
    if (!stm && errQty() == 0) errPush(kZqlLispErrNoMemory);
    return nullptr;
  }
  if (!stm->init() || !stms_->addItem(stm, stms_->Qty())) {
    delete stm;  // not in the list: withdraws its handle
    return nullptr;
  }
  stm->setSession(this);
  return stm;
}

void CZqlLispSession::freeStm(CZqlLispStm** stm) {
  if (!stm || !*stm || !stms_) return;
  CZqlLispObj* obj = *stm;
  stms_->delItem(&obj);  // deletes it
  *stm = nullptr;
}

int CZqlLispSession::immediate(const char* sql, bool native) {
  CZqlExecStm* stm = nullptr;
  CZqlUcStr* text = nullptr;
  const int made = ZqlLispGuard(this, [&] {
    if (native) {
      if (!nativeStm_) nativeStm_ = new CZqlNativeStm;
      stm = nativeStm_;
    } else {
      if (!immStm_) immStm_ = new CZqlExecStm;
      stm = immStm_;
    }
    text = new CZqlUcStr(sql);
  });
  if (!made || !stm || !text) {
    delete text;
    return 0;
  }
  const int ok = stm->ImmediateExecute(this, *text);
  errPush(static_cast<const CZqlSQLObject*>(stm));
  lastStmType_ = stm->StmType();
  lastCmdType_ = stm->CmdStmType();
  lastRowCount_ = stm->RowCount();
  stm->Deallocate();
  delete text;
  return ok;
}

int CZqlLispSession::iExecute(const char* sql) { return immediate(sql, false); }
int CZqlLispSession::nExecute(const char* sql) { return immediate(sql, true); }

// ---------------------------------------------------------------------------
// Handlers
// ---------------------------------------------------------------------------

int CZqlLispRoot::zqll_connect() {
  CZqlLispBuf* a = args_;
  if (a->isNone()) {
    errPush(kZqlLispErrArgMissing);
    return 0;
  }
  if (!a->isChar() || !a->C()) {
    errPush(kZqlLispErrArgType);
    return 0;
  }
  const char* environment = a->C();
  a->getNextItem();
  const char* user = "";
  const char* password = "";
  for (const char** field : {&user, &password}) {
    if (a->isNone()) break;
    if (!a->isNil()) {
      if (!a->isChar() || !a->C()) {
        errPush(kZqlLispErrArgType);
        return 0;
      }
      *field = a->C();
    }
    a->getNextItem();
  }
  if (!argsDone()) return 0;
  CZqlUcStr* server = nullptr;
  CZqlUcStr* userText = nullptr;
  CZqlUcStr* passText = nullptr;
  auto release = [&] {
    delete server;
    delete userText;
    delete passText;
  };
  if (!ZqlLispGuard(this, [&] {
        server = new CZqlUcStr(environment);
        userText = new CZqlUcStr(user);
        passText = new CZqlUcStr(password);
      })) {
    release();
    return 0;
  }
  CZqlLispSession* session = allocSession(environment);
  if (!session) {
    release();
    return 0;
  }
  const int ok = session->Connect(*server, *userText, *passText);
  errPush(static_cast<const CZqlSQLObject*>(session));
  release();
  if (ok == 1 && session->writeHandle(result_) && retList()) return -1;
  freeSession(&session);
  return 0;
}

int CZqlLispRoot::zqll_disconnect() {
  auto* session =
      static_cast<CZqlLispSession*>(firstHandle(kZqlLispClsSession));
  if (!session || !argsDone()) return 0;
  const int ok = session->Disconnect();
  errPush(static_cast<const CZqlSQLObject*>(session));
  if (ok == 1) freeSession(&session);
  return ok == 1 ? 1 : 0;
}

namespace {

int Immediate(CZqlLispRoot* root, bool native) {
  auto* session =
      static_cast<CZqlLispSession*>(root->firstHandle(kZqlLispClsSession));
  if (!session) return 0;
  CZqlLispBuf* a = root->args();
  if (a->isNone()) {
    root->errPush(kZqlLispErrArgMissing);
    return 0;
  }
  if (!a->isChar() || !a->C()) {
    root->errPush(kZqlLispErrArgType);
    return 0;
  }
  const char* sql = a->C();
  a->getNextItem();
  if (!root->argsDone()) return 0;
  return (native ? session->nExecute(sql) : session->iExecute(sql)) == 1;
}

}  // namespace

int CZqlLispRoot::zqll_iexecute() { return Immediate(this, false); }
int CZqlLispRoot::zqll_nexecute() { return Immediate(this, true); }
