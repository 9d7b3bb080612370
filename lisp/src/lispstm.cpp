// lispstm.cpp - prepared statements; ZQL_PREPARE, ZQL_EXECUTE,
// ZQL_DEALLOCSTM, ZQL_STMTYPE, ZQL_CMDTYPE, ZQL_ROWQTY.
#include "lispstm.h"

#include <new>

#include "kel.h"
#include "lispbuf.h"
#include "lispcsr.h"
#include "lisplist.h"
#include "lisproot.h"
#include "lisprow.h"
#include "lispsession.h"

CZqlLispStm::CZqlLispStm(const char* name) : CZqlLispStmObj(name) {
  setObjType(kZqlLispTypeStatement);
}

CZqlLispStm::~CZqlLispStm() { delete csrs_; }

int CZqlLispStm::init() {
  if (!csrs_) csrs_ = new (std::nothrow) CZqlLispList;
  if (!csrs_) {
    errPush(kZqlLispErrNoMemory);
    return 0;
  }
  return CZqlLispSQLObj::init();
}

int CZqlLispStm::sobParms(CZqlLispRow* row) {
  CZqlRow* r = row ? row->getRow() : nullptr;
  if (!r) {
    errPush(kZqlLispErrValueMissing);
    return 0;
  }
  for (int i = 0; i < r->ColNum(); ++i) {
    CZqlData* target = row->getData(i);
    if (!target) {
      errPush(kZqlLispErrValueMissing);
      return 0;
    }
    const int ok = Sob(i, target);
    errPush(static_cast<const CZqlSQLObject*>(this));
    if (!ok) return 0;
  }
  return 1;
}

int CZqlLispStm::writeBuf(CZqlLispBuf* buf) const {
  if (!csrs_ || !buf) return 0;
  int written = 0;
  for (int i = 0; i < csrs_->Qty(); ++i) {
    CZqlLispObj* obj = nullptr;
    if (!csrs_->getItem(i, &obj) || !obj) return 0;
    if (!static_cast<CZqlLispCsr*>(obj)->CZqlLispSQLObj::writeBuf(buf))
      return 0;
    ++written;
  }
  return written > 0;
}

CZqlLispCsr* CZqlLispStm::allocCsr(const char* name) {
  if (!csrs_) {
    errPush(kZqlLispErrInternal);
    return nullptr;
  }
  CZqlLispCsr* csr = nullptr;
  if (!ZqlLispGuard(this, [&] { csr = new CZqlLispCsr(name); }) || !csr)
    return nullptr;
  if (!csr->init() || !csrs_->addItem(csr, csrs_->Qty())) {
    delete csr;
    return nullptr;
  }
  return csr;
}

void CZqlLispStm::freeCsr(CZqlLispCsr** csr) {
  if (!csr || !*csr || !csrs_) return;
  CZqlLispObj* obj = *csr;
  csrs_->delItem(&obj);
  *csr = nullptr;
}

// ---------------------------------------------------------------------------
// Handlers
// ---------------------------------------------------------------------------

int CZqlLispRoot::zqll_prepare() {
  auto* session =
      static_cast<CZqlLispSession*>(firstHandle(kZqlLispClsSession));
  if (!session) return 0;
  CZqlLispBuf* a = args_;
  if (a->isNone()) {
    errPush(kZqlLispErrArgMissing);
    return 0;
  }
  const char* sql = a->C();
  if (!sql) {
    if (!a->isChar()) return 0;  // C() pushed the item-type error
    errPush(kZqlLispErrArgType);
    return 0;
  }
  a->getNextItem();
  const char* name = nullptr;
  if (!a->isNone()) {
    if (!a->isNil()) {
      name = a->C();
      if (!name) return 0;
    }
    a->getNextItem();
  }
  if (!argsDone()) return 0;
  CZqlLispStm* stm = session->allocStm(name);
  if (!stm) return 0;
  CZqlUcStr* text = nullptr;
  if (!ZqlLispGuard(this, [&] { text = new CZqlUcStr(sql); })) {
    session->freeStm(&stm);
    return 0;
  }
  const int ok = stm->Prepare(session, *text);
  delete text;
  errPush(static_cast<const CZqlSQLObject*>(stm));
  if (ok == 1 && stm->writeHandle(result_) && retList()) return -1;
  session->freeStm(&stm);
  return 0;
}

int CZqlLispRoot::readValues(CZqlLispSQLObj* obj, CZqlLispRow** row) {
  *row = nullptr;
  CZqlLispBuf* a = args_;
  if (a->isNone()) return 1;
  if (a->isNil()) {
    a->getNextItem();
    return argsDone();
  }
  if (!a->isBList()) {
    errPush(kZqlLispErrArgType);
    return 0;
  }
  a->getNextItem();
  if (a->isNone() || a->isEList()) {
    errPush(kZqlLispErrArgType);
    return 0;
  }
  CZqlLispList* parms = obj->getParms();
  if (!parms) return 0;
  auto* values = new (std::nothrow) CZqlLispRow;
  if (!values) {
    delete parms;
    errPush(kZqlLispErrNoMemory);
    return 0;
  }
  int ok = values->initParms(parms);
  if (ok && !values->readBuf(a)) {
    if (a->isEList()) errPush(kZqlLispErrArgMissing);
    ok = 0;
  }
  if (ok && !a->isEList()) {
    errPush(kZqlLispErrTooManyValues);
    ok = 0;
  }
  delete parms;
  if (ok) {
    a->getNextItem();  // past the value list
    ok = argsDone();
  }
  if (!ok) {
    delete values;
    return 0;
  }
  *row = values;
  return 1;
}

int CZqlLispRoot::zqll_execute() {
  auto* stm = static_cast<CZqlLispStm*>(firstHandle(kZqlLispClsStm));
  if (!stm) return 0;
  CZqlLispRow* values = nullptr;
  if (!readValues(stm, &values)) return 0;
  if (values && !stm->bindParms(values)) {
    stm->keepRows(values, nullptr);  // some may be bound
    return 0;
  }
  if (!values && stm->parQty() > 0) {
    errPush(kZqlLispErrNoValues);
    return 0;
  }
  int answer = 0;
  CZqlLispRow* out = nullptr;
  CZqlLispList* cols = nullptr;
  const bool select = stm->PreparedType() == kZqlStmSelect;
  bool ready = true;
  if (select) {
    out = new (std::nothrow) CZqlLispRow;
    if (!out) errPush(kZqlLispErrNoMemory);
    cols = out ? stm->getCols() : nullptr;
    ready = out && cols && out->initCols(cols) && stm->sobParms(out);
  }
  if (ready) {
    const int ok = stm->Execute();
    errPush(static_cast<const CZqlSQLObject*>(stm));
    if (ok == 1) {
      answer = 1;
      if (select) answer = out->writeBuf(result_) && retList() ? -1 : 0;
    }
  }
  delete cols;
  stm->keepRows(values, out);  // the statement still points at their values
  return answer;
}

int CZqlLispRoot::zqll_deallocstm() {
  auto* stm = static_cast<CZqlLispStm*>(firstHandle(kZqlLispClsStm));
  if (!stm || !argsDone()) return 0;
  CZqlLispSession* session = stm->getSession();
  if (!session) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  const int ok = stm->Deallocate();
  errPush(static_cast<const CZqlSQLObject*>(stm));
  if (ok != 1) return 0;
  session->freeStm(&stm);
  return 1;
}

int CZqlLispRoot::zqll_stmtype() {
  CZqlLispSQLObj* obj = firstHandle(kZqlLispClsAny);
  if (!obj || !argsDone()) return 0;
  return retStr(obj->stmType());
}

int CZqlLispRoot::zqll_cmdtype() {
  CZqlLispSQLObj* obj = firstHandle(kZqlLispClsAny);
  if (!obj || !argsDone()) return 0;
  return retStr(obj->cmdType());
}

int CZqlLispRoot::zqll_rowqty() {
  CZqlLispSQLObj* obj = firstHandle(kZqlLispClsAny);
  if (!obj || !argsDone()) return 0;
  if (kel_retreal(static_cast<double>(obj->ZqlRowCount())) != RTNORM) {
    errPush(kZqlLispErrResultRefused);
    return 0;
  }
  return -1;
}
