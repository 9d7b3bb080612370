// lisproot.cpp - the root object: what it owns, handles, the dispatcher,
// and the information and configuration functions.
#include "lisproot.h"

#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "kel.h"
#include "lispbuf.h"
#include "lispcsr.h"
#include "lispdiag.h"
#include "lispdsc.h"
#include "lispident.h"
#include "lisplist.h"
#include "lispsession.h"
#include "lispstm.h"
#include "lispstrcash.h"
#include "lispxmf.h"
#include "zqlappl.h"
#include "zqlconf.h"

HvRxClass* CZqlLispRoot::gpDesc = nullptr;

const char* const ZqlLispFunNames[kZqlLispFunCount] = {
    "ZQL_CONNECT",  "ZQL_DISCONNECT", "ZQL_PREPARE",     "ZQL_EXECUTE",
    "ZQL_IEXECUTE", "ZQL_NEXECUTE",   "ZQL_DEALLOCSTM",  "ZQL_PARDSC",
    "ZQL_COLDSC",   "ZQL_ALLOC",      "ZQL_OPEN",        "ZQL_CLOSE",
    "ZQL_FETCH",    "ZQL_UPDATE",     "ZQL_DELETE",      "ZQL_STATECSR",
    "ZQL_STMTYPE",  "ZQL_CMDTYPE",    "ZQL_ROWQTY",      "ZQL_DIAG",
    "ZQL_ERRQTY",   "ZQL_LISPVERSION", "ZQL_VERSION",    "ZQL_DBMS",
    "ZQL_MSG",      "ZQL_SQL",        "ZQL_FEATURE",     "ZQL_CMPIDENT",
    "ZQL_OBJLIST",  "ZQL_OBJNAME",    "ZQL_OBJP",        "ZQL_GETCFG",
    "ZQL_SETCFG"};

const CZqlLispRoot::Handler CZqlLispRoot::kHandlers[kZqlLispFunCount] = {
    &CZqlLispRoot::zqll_connect,     &CZqlLispRoot::zqll_disconnect,
    &CZqlLispRoot::zqll_prepare,     &CZqlLispRoot::zqll_execute,
    &CZqlLispRoot::zqll_iexecute,    &CZqlLispRoot::zqll_nexecute,
    &CZqlLispRoot::zqll_deallocstm,  &CZqlLispRoot::zqll_pardsc,
    &CZqlLispRoot::zqll_coldsc,      &CZqlLispRoot::zqll_alloc,
    &CZqlLispRoot::zqll_open,        &CZqlLispRoot::zqll_close,
    &CZqlLispRoot::zqll_fetch,       &CZqlLispRoot::zqll_update,
    &CZqlLispRoot::zqll_delete,      &CZqlLispRoot::zqll_statecsr,
    &CZqlLispRoot::zqll_stmtype,     &CZqlLispRoot::zqll_cmdtype,
    &CZqlLispRoot::zqll_rowqty,      &CZqlLispRoot::zqll_diag,
    &CZqlLispRoot::zqll_errqty,      &CZqlLispRoot::zqll_lispversion,
    &CZqlLispRoot::zqll_version,     &CZqlLispRoot::zqll_dbms,
    &CZqlLispRoot::zqll_msg,         &CZqlLispRoot::zqll_sql,
    &CZqlLispRoot::zqll_feature,     &CZqlLispRoot::zqll_cmpident,
    &CZqlLispRoot::zqll_objlist,     &CZqlLispRoot::zqll_objname,
    &CZqlLispRoot::zqll_objp,        &CZqlLispRoot::zqll_getcfg,
    &CZqlLispRoot::zqll_setcfg};

namespace {

constexpr int kFunDiag = 19;
constexpr int kFunErrQty = 20;
constexpr int kFunObjP = 30;
constexpr const char kLispVersion[] = "ZqlLisp 2.0";

}  // namespace

CZqlLispRoot::~CZqlLispRoot() {
  delete sessions_;  // sessions, statements and cursors; each leaves table_
  sessions_ = nullptr;
  delete scratch_;
  delete args_;
  delete result_;
  CZqlLispStrCash* cash = strCash_;
  delete config_;
  delete diag_;
  delete xmf_;
  delete table_;
  table_ = nullptr;
  delete appl_;
  // Objects above give their strings back to the cache; it goes last.
  strCash_ = nullptr;
  delete cash;
}

HvRxClass* CZqlLispRoot::isA() const {
  return gpDesc ? gpDesc : HvRxObject::isA();
}

CZqlLispDiagIf* CZqlLispRoot::getDiag() const { return diag_; }
CZqlLispXmfIf* CZqlLispRoot::getXmf() const { return xmf_; }

int CZqlLispRoot::writeBuf(CZqlLispBuf* buf) const {
  if (!sessions_ || !buf) return 0;
  int written = 0;
  for (int i = 0; i < sessions_->Qty(); ++i) {
    CZqlLispObj* obj = nullptr;
    if (!sessions_->getItem(i, &obj) || !obj) return 0;
    if (!static_cast<CZqlLispSession*>(obj)->writeHandle(buf)) return 0;
    ++written;
  }
  return written > 0;
}

int CZqlLispRoot::init() {
  auto fail = [](const char* text) {
    kel_fail(text);
    return 0;
  };
  // The string cache comes first here: the objects made below take their
  // strings from it.
  if (!strCash_) strCash_ = new (std::nothrow) CZqlLispStrCash;
  if (!strCash_) return fail("no memory");
  if (!appl_) {
    if (!ZqlTry([&] { appl_ = new CZqlAppl; }) || !appl_)
      return fail("no memory");
    if (appl_->Init() != 1) return fail("can't initialize ZQL");
  }
  if (!xmf_) xmf_ = new (std::nothrow) CZqlLispXmf;
  if (!xmf_) return fail("no memory");
  if (xmf_->init() != 1) return fail("can't initialize zqllisp.xmx file");
  if (!diag_) diag_ = new (std::nothrow) CZqlLispDiag;
  if (!diag_) return fail("no memory");
  if (diag_->init() != 1) return fail("can't allocate the diagnostic area");
  if (!config_ && (!ZqlTry([&] { config_ = new CZqlConfig; }) || !config_))
    return fail("no memory");
  if (!table_) table_ = new (std::nothrow) CZqlLispDsc;
  if (!table_) return fail("no memory");
  if (!sessions_) sessions_ = new (std::nothrow) CZqlLispList;
  if (!sessions_) return fail("no memory");
  if (!args_) args_ = new (std::nothrow) CZqlLispBuf(kZqlTrue);
  if (!args_) return fail("no memory");
  if (!result_) result_ = new (std::nothrow) CZqlLispBuf(kZqlTrue);
  if (!result_) return fail("no memory");
  if (!scratch_) scratch_ = new (std::nothrow) CZqlLispSQLObj;
  if (!scratch_) return fail("no memory");
  return 1;
}

CZqlLispHandle& CZqlLispRoot::newID(CZqlLispSQLObj* obj) {
  if (!table_) return null_;
  ++last_;
  if (!table_->addItem(last_, obj, table_->Qty())) return null_;
  return last_;
}

int CZqlLispRoot::delID(const CZqlLispHandle& handle) {
  return table_ ? table_->delItem(handle) : 1;
}

CZqlLispSQLObj* CZqlLispRoot::readDsc(EZqlLispClassId cls) {
  if (!scratch_ || !table_ || !args_) {
    errPush(kZqlLispErrInternal);
    return nullptr;
  }
  if (!scratch_->readBuf(args_)) return nullptr;
  const double value = scratch_->ID().Value();
  // Handles are whole numbers from 1 up: anything else was never issued
  // and must not reach the table.
  if (!(value >= 1.0) || value != std::floor(value) || value > last_.Value()) {
    errPush(kZqlLispErrHandleInvalid);
    return nullptr;
  }
  CZqlLispSQLObj* obj = nullptr;
  table_->setPos(0);
  if (table_->Qty() > 0 && table_->findItem(scratch_->ID(), &obj) && obj) {
    // ("SQLCURSOR" 1.0) when 1.0 is a session names no object that was
    // issued: the number alone must not reach the session.
    if (obj->getObjType() != scratch_->getObjType()) {
      errPush(kZqlLispErrHandleInvalid);
      return nullptr;
    }
    if (cls == kZqlLispClsAny || obj->lisA() == cls) return obj;
    errPush(kZqlLispErrHandleClass);
    return nullptr;
  }
  errPush(kZqlLispErrHandleReleased);
  return nullptr;
}

int CZqlLispRoot::retList() {
  resbuf* head = result_ ? result_->getHead() : nullptr;
  if (!head) return 0;
  if (kel_retlist(head) != RTNORM) {
    errPush(kZqlLispErrResultRefused);
    return 0;
  }
  return 1;
}

int CZqlLispRoot::retItems() {
  if (!result_ || !result_->getHead()) return 0;
  // The host gives a chain that is exactly one list as that list: without
  // the outer list one element would come back unwrapped.
  result_->getFirstItem();
  if (!result_->insertItemType(RTLB)) return 0;
  result_->setPos(result_->Qty());
  if (!result_->addEList()) return 0;
  return retList();
}

CZqlLispSession* CZqlLispRoot::allocSession(const char* name) {
  if (!sessions_) {
    errPush(kZqlLispErrInternal);
    return nullptr;
  }
  CZqlLispSession* session = nullptr;
  if (!ZqlLispGuard(this,
                    [&] { session = new CZqlLispSession(name, appl_); }) ||
      !session)
    return nullptr;
  if (!session->init() || !sessions_->addItem(session, sessions_->Qty())) {
    delete session;
    return nullptr;
  }
  return session;
}

void CZqlLispRoot::freeSession(CZqlLispSession** session) {
  if (!session || !*session || !sessions_) return;
  CZqlLispObj* obj = *session;
  sessions_->delItem(&obj);
  *session = nullptr;
}

int CZqlLispRoot::errIsCritical() {
  return diag_ && diag_->errFind(kZqlLispItemErrCode, nullptr) >= 0 ? 1 : 0;
}

int CZqlLispRoot::argsDone() {
  if (args_->isNone()) return 1;
  errPush(kZqlLispErrArgExtra);
  return 0;
}

int CZqlLispRoot::retStr(const char* text) {
  if (kel_retstr(text ? text : "") != RTNORM) {
    errPush(kZqlLispErrResultRefused);
    return 0;
  }
  return -1;
}

CZqlLispSQLObj* CZqlLispRoot::firstHandle(EZqlLispClassId cls) {
  if (args_->isNone()) {
    errPush(kZqlLispErrArgMissing);
    return nullptr;
  }
  return readDsc(cls);
}

int CZqlLispRoot::execFun() {
  if (!args_ || !result_ || !diag_) return kHvRxFail;
  args_->lclear();
  result_->lclear();
  if (resbuf* given = kel_getargs()) {
    args_->addItemList(given);
    args_->getFirstItem();
  }
  const int code = kel_getfuncode();
  // ZQL_DIAG and ZQL_ERRQTY keep the conditions of the call before; only
  // the ones a call adds (the most recent, from 0 on) are its own.
  const bool keeps = code == kFunDiag || code == kFunErrQty;
  if (!keeps) errClear();
  const int kept = keeps ? errQty() : 0;
  int answer = 0;
  if (code >= 0 && code < kZqlLispFunCount) {
    // No C++ exception may reach the host; the library's own travel as
    // CZqlException to the handlers' guards, anything else ends here.
    try {
      answer = (this->*kHandlers[code])();
    } catch (const std::bad_alloc&) {
      errPush(kZqlLispErrNoMemory);
      answer = 0;
    } catch (...) {
      errPush(kZqlLispErrInternal);
      answer = 0;
    }
  } else {
    char* text = errMsg(4, -1);
    if (text) kel_fail(text);
    freeBuf(&text);
    answer = 0;
  }
  if (answer == 1) {
    kel_rett();
    return kHvRxOk;
  }
  if (answer == 0) {
    kel_retnil();
    const int own = errQty() - kept;
    const int critical = diag_->errFind(kZqlLispItemErrCode, nullptr);
    if (code != kFunObjP && critical >= 0 && critical < own) {
      char* text = errGetParm(critical, kZqlDiagMessageText);
      if (!text) return kHvRxFail;
      kel_fail(text);
      freeBuf(&text);
      return kHvRxFail;
    }
  }
  return kHvRxOk;
}

// ---------------------------------------------------------------------------
// Information functions
// ---------------------------------------------------------------------------

int CZqlLispRoot::zqll_lispversion() {
  if (!argsDone()) return 0;
  return retStr(kLispVersion);
}

int CZqlLispRoot::zqll_version() {
  if (!argsDone()) return 0;
  const char* version = appl_ ? appl_->Version() : nullptr;
  if (!version) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  return retStr(version);
}

int CZqlLispRoot::retObjText(int which) {
  CZqlLispSQLObj* obj = firstHandle(kZqlLispClsAny);
  if (!obj || !argsDone()) return 0;
  CZqlSQLObject* sql = obj->sqlObject();
  if (!sql) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  std::string text;
  int ok = 0;
  if (!ZqlLispGuard(this, [&] {
        CZqlUcStr value;
        ok = which == 0   ? sql->DBMS(&value)
             : which == 1 ? sql->DrvMessage(&value)
                          : sql->SQLObject(&value);
        if (ok) ok = ZqlLispText(value, &text);
      }))
    return 0;
  if (!ok) {
    errPush(sql);
    return 0;
  }
  return retStr(text.c_str());
}

int CZqlLispRoot::zqll_dbms() { return retObjText(0); }
int CZqlLispRoot::zqll_msg() { return retObjText(1); }
int CZqlLispRoot::zqll_sql() { return retObjText(2); }

int CZqlLispRoot::zqll_feature() {
  CZqlLispSQLObj* obj = firstHandle(kZqlLispClsAny);
  if (!obj) return 0;
  CZqlLispBuf* a = args_;
  if (a->isNone()) {
    errPush(kZqlLispErrArgMissing);
    return 0;
  }
  double features[64];
  int count = 0;
  const int type = a->ItemType();
  if (type == RTSHORT || type == RTREAL || type == RTLONG) {
    features[count++] = type == RTSHORT  ? a->S()
                        : type == RTLONG ? a->L()
                                         : a->R();
    a->getNextItem();
  } else if (type == RTPOINT || type == RT3DPOINT) {
    features[count++] = a->PX();
    features[count++] = a->PY();
    if (type == RT3DPOINT) features[count++] = a->PZ();
    a->getNextItem();
  } else if (type == RTLB) {
    a->getNextItem();
    if (a->isEList() || a->isNone()) {
      errPush(kZqlLispErrArgMissing);
      return 0;
    }
    while (!a->isEList()) {
      if (a->isNone()) {
        errPush(kZqlLispErrArgType);
        return 0;
      }
      if (count == 64) {
        errPush(kZqlLispErrArgExtra);
        return 0;
      }
      if (a->isShort()) {
        features[count++] = a->S();
      } else if (a->isLong()) {
        features[count++] = a->L();
      } else if (a->isReal()) {
        features[count++] = a->R();
      } else {
        errPush(kZqlLispErrArgType);
        return 0;
      }
      a->getNextItem();
    }
    a->getNextItem();
  } else {
    errPush(kZqlLispErrArgType);
    return 0;
  }
  if (!argsDone()) return 0;
  for (int i = 0; i < count; ++i) {
    const double f = features[i];
    if (!(f >= 1.0 && f < 31.0)) {
      errPush(kZqlLispErrFeature);
      return 0;
    }
  }
  // Feature n is bit n + 1 of the driver's status word (1: 4, 30: the top
  // bit); the first one missing ends the check.
  for (int i = 0; i < count; ++i) {
    const int n = static_cast<int>(features[i]);
    if (!obj->ZqlCheckOp(uint32_t{1} << (n + 1))) return 0;
  }
  return 1;
}

int CZqlLispRoot::zqll_cmpident() {
  CZqlLispBuf* a = args_;
  CZqlLispIdent left, right;
  if (a->isNone()) {
    errPush(kZqlLispErrArgMissing);
    return 0;
  }
  if (!left.readBuf(a)) return 0;
  if (a->isNone()) {
    errPush(kZqlLispErrArgMissing);
    return 0;
  }
  if (!right.readBuf(a) || !argsDone()) return 0;
  int equal = 0;
  if (!ZqlLispGuard(this, [&] { equal = left == right; })) return 0;
  return equal ? 1 : 0;
}

int CZqlLispRoot::zqll_objlist() {
  CZqlLispBuf* a = args_;
  const CZqlLispObj* owner = this;
  if (a->isNil()) {
    a->getNextItem();
  } else if (!a->isNone()) {
    owner = readDsc(kZqlLispClsAny);
    if (!owner) return 0;
  }
  if (!argsDone()) return 0;
  if (!owner->writeBuf(result_)) return 0;
  return retItems() ? -1 : 0;
}

int CZqlLispRoot::zqll_objname() {
  CZqlLispSQLObj* obj = firstHandle(kZqlLispClsAny);
  if (!obj || !argsDone()) return 0;
  return retStr(obj->getName());
}

int CZqlLispRoot::zqll_objp() {
  CZqlLispSQLObj* obj = firstHandle(kZqlLispClsAny);
  const int live = obj && argsDone();
  errClear();  // it answers; it never leaves conditions behind
  return live;
}

// ---------------------------------------------------------------------------
// Configuration
// ---------------------------------------------------------------------------

namespace {

// A configuration text is written as one line of the file: a line break
// would start another entry, and a key beginning with '[' or holding '='
// another section or a different key.
bool SafeCfgText(const char* text, bool key) {
  for (const char* p = text; *p; ++p) {
    if (*p == '\n' || *p == '\r') return false;
    if (key && (*p == '[' || *p == ']' || *p == '=')) return false;
  }
  return true;
}

}  // namespace

int CZqlLispRoot::zqll_getcfg() {
  CZqlLispBuf* a = args_;
  if (a->isNone()) {
    errPush(kZqlLispErrArgMissing);
    return 0;
  }
  if (!a->isChar()) {
    errPush(kZqlLispErrArgType);
    return 0;
  }
  const char* environment = a->C();
  a->getNextItem();
  const char* key = nullptr;
  if (!a->isNone()) {
    if (a->isNil()) {
      a->getNextItem();
    } else if (!a->isChar()) {
      errPush(kZqlLispErrArgType);
      return 0;
    } else {
      key = a->C();
      a->getNextItem();
    }
  }
  if (!argsDone()) return 0;
  if (!config_) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  int ok = 1;
  if (!ZqlLispGuard(this, [&] {
        if (key) {
          CZqlUcStr value;
          std::string text;
          if (config_->readCfgString(environment, key, &value) == 1 &&
              ZqlLispText(value, &text))
            ok = writeBufPair(result_, key, text.c_str());
          return;
        }
        const int n = config_->openCfgFile(environment);
        for (int i = 0; ok && i < n; ++i) {
          CZqlUcStr k, v;
          std::string kt, vt;
          if (!config_->getEntry(i, &k, &v)) break;
          ok = ZqlLispText(k, &kt) && ZqlLispText(v, &vt) &&
               writeBufPair(result_, kt.c_str(), vt.c_str());
        }
      }))
    return 0;
  if (!ok) return 0;
  return retItems() ? -1 : 0;
}

int CZqlLispRoot::zqll_setcfg() {
  CZqlLispBuf* a = args_;
  const char* texts[3] = {nullptr, nullptr, ""};
  for (int i = 0; i < 2; ++i) {
    if (a->isNone()) {
      errPush(kZqlLispErrArgMissing);
      return 0;
    }
    if (!a->isChar()) {
      errPush(kZqlLispErrArgType);
      return 0;
    }
    texts[i] = a->C();
    a->getNextItem();
  }
  if (!a->isNone()) {
    if (!a->isNil()) {
      if (!a->isChar()) {
        errPush(kZqlLispErrArgType);
        return 0;
      }
      texts[2] = a->C();
    }
    a->getNextItem();
  }
  if (!argsDone()) return 0;
  if (!SafeCfgText(texts[0], true) || !SafeCfgText(texts[1], true) ||
      !SafeCfgText(texts[2], false) || !*texts[0] || !*texts[1]) {
    errPush(kZqlLispErrArgInvalid);
    return 0;
  }
  if (!config_) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  return ZqlLispGuard(this, [&] {
    config_->writeCfgString(texts[0], texts[1], texts[2]);
  });
}
