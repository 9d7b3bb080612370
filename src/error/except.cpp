// CZqlException: a list of conditions that leaves the library.

#include <cstdio>
#include <cstring>

#include "zqlclass.h"

namespace {

constexpr int kGrowBy = 10;

// Item names of the parameter items 22..33, as their keys spell them.
const char* const kItemNames[] = {
    "CLASS_ORIGIN",       "SUBCLASS_ORIGIN",   "SERVER_NAME",
    "CONNECTION_NAME",    "CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA",
    "CONSTRAINT_NAME",    "CATALOG_NAME",      "SCHEMA_NAME",
    "TABLE_NAME",         "COLUMN_NAME",       "CURSOR_NAME",
};

bool IsParamItem(int item) {
  return (item >= kZqlDiagClassOrigin && item <= kZqlDiagCursorName) ||
         item >= kZqlDiagUserDefined;
}

// The key of a parameter item: TAB, name, TAB. REQUIRES: IsParamItem(item).
void ParamKey(int item, char* key, std::size_t size) {
  if (item >= kZqlDiagUserDefined)
    std::snprintf(key, size, "\tUSER_DEFINED%d\t", item);
  else
    std::snprintf(key, size, "\t%s\t", kItemNames[item - kZqlDiagClassOrigin]);
}

}  // namespace

// Allocating the record failed: this says so without needing memory.
const SZqlCondition kZqlOutOfMemoryCondition = {kZqlErrInsufficientMemory, "A0008", nullptr,
                                                nullptr};

SZqlCondition* ZqlConditionsNew(int n) {
  return static_cast<SZqlCondition*>(
      ZqlMemoryCalloc(static_cast<std::size_t>(n), sizeof(SZqlCondition)));
}

void ZqlConditionClear(SZqlCondition* c) {
  delete c->msg;
  delete c->params;
  std::memset(c, 0, sizeof *c);
}

void ZqlConditionCopy(SZqlCondition* to, const SZqlCondition& from) {
  to->err = from.err;
  std::memcpy(to->sqlstate, from.sqlstate, sizeof to->sqlstate);
  to->sqlstate[sizeof to->sqlstate - 1] = '\0';
  if (from.msg != nullptr) to->msg = new CZqlUcStr(*from.msg);
  if (from.params != nullptr) to->params = new CZqlUcStr(*from.params);
}

CZqlException::CZqlException() : diag_(nullptr) {
  SZqlDiagRecord* d = nullptr;
  const int ok = ZqlTry([&] {
    d = static_cast<SZqlDiagRecord*>(ZqlMemoryCalloc(1, sizeof *d));
    d->condCapacity = kGrowBy;
    d->refCount = 1;
    d->conds = ZqlConditionsNew(kGrowBy + 1);
  });
  if (ok) {
    diag_ = d;
  } else if (d != nullptr) {  // the array failed: no record at all
    ZqlMemoryFree(d);
  }
}

CZqlException::CZqlException(const CZqlException& e)
    : CZqlObject(e), diag_(e.diag_) {
  if (diag_ != nullptr) ++diag_->refCount;
}

CZqlException::~CZqlException() { release(); }

void CZqlException::release() noexcept {
  if (diag_ == nullptr) return;
  if (--diag_->refCount == 0) {
    flushCond();
    ZqlMemoryFree(diag_->conds);
    ZqlMemoryFree(diag_);
  }
  diag_ = nullptr;
}

CZqlObject* CZqlException::duplicate() const {
  CZqlException* e = new (std::nothrow) CZqlException;
  if (e == nullptr) return nullptr;
  if (diag_ == nullptr || e->diag_ == nullptr) return e;
  if (!ZqlTry([&] {
        e->copyConditions(diag_->conds, diag_->condCount, diag_->condCapacity);
      })) {
    delete e;
    return nullptr;
  }
  return e;
}

int CZqlException::copyConditions(const SZqlCondition* conds, int count,
                                  int capacity) {
  if (diag_ == nullptr) return 0;
  if (capacity < count) capacity = count;
  flushCond();
  if (capacity != diag_->condCapacity) {
    SZqlCondition* fresh = ZqlConditionsNew(capacity + 1);
    ZqlMemoryFree(diag_->conds);
    diag_->conds = fresh;
    diag_->condCapacity = capacity;
  }
  for (int i = 0; i < count; ++i) {
    ZqlConditionCopy(&diag_->conds[i], conds[i]);
    diag_->condCount = i + 1;  // owned from here on, whatever comes next
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

SZqlCondition* ZqlConditionAt(SZqlCondition* conds, int count, int i) {
  return ZqlEntry<SZqlCondition*>(nullptr, [&]() -> SZqlCondition* {
    if (conds == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlDDAObject);
    if (i < 0 || i >= count) ZQL_RAISE(kZqlErrIndexInOutOfRange);
    return &conds[count - 1 - i];
  });
}

const SZqlCondition* CZqlException::reading(int i) const {
  if (diag_ == nullptr) {
    if (i != 0) ZQL_RAISE(kZqlErrIndexInOutOfRange);
    return &kZqlOutOfMemoryCondition;
  }
  return ZqlConditionAt(diag_->conds, diag_->condCount, i);
}

int CZqlException::CondQty() const {
  return diag_ != nullptr ? diag_->condCount : 1;
}

int CZqlException::Err(int i) const {
  int err = -1;
  ZqlTry([&] { err = reading(i)->err; });
  return err;
}

const CZqlUcStr* CZqlException::ErrMsg(int i) const {
  const CZqlUcStr* msg = nullptr;
  ZqlTry([&] { msg = reading(i)->msg; });
  return msg;
}

const char* CZqlException::SQLSTATE(int i) const {
  const char* state = "";
  ZqlTry([&] { state = reading(i)->sqlstate; });
  return state;
}

int CZqlException::getDiagPar(int i, EZqlDiag item, int32_t* value) const {
  int ok = 0;
  ZqlTry([&] {
    if (value == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    const SZqlCondition* c = reading(i);
    switch (item) {
      case kZqlDiagConditionNumber:
        *value = CondQty() - 1 - i;
        break;
      case kZqlDiagMessageLength:
      case kZqlDiagMessageOctetLength:
        *value = c->msg != nullptr ? c->msg->Length() : 0;
        break;
      default: {
        if (item < kZqlDiagUserDefined)
          ZQL_RAISE(kZqlErrInvalidFunctionArguments);
        CZqlUcStr text;
        char key[40];
        ParamKey(item, key, sizeof key);
        if (!ZqlCondioGetParam(&text, c->params, key))
          ZQL_RAISE(kZqlErrInvalidFunctionArguments);
        *value = static_cast<int32_t>(text.Strtol(nullptr, 10));
      }
    }
    ok = 1;
  });
  return ok;
}

int CZqlException::getDiagPar(int i, EZqlDiag item, CZqlUcStr* value) const {
  int ok = 0;
  ZqlTry([&] {
    if (value == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    const SZqlCondition* c = reading(i);
    const int length = c->msg != nullptr ? c->msg->Length() : 0;
    char text[40];
    ok = 1;
    if (item == kZqlDiagConditionNumber) {
      std::snprintf(text, sizeof text, "%d", CondQty() - 1 - i);
      value->Copy(text);
    } else if (item == kZqlDiagMessageLength) {
      std::snprintf(text, sizeof text, "%d", length);
      value->Copy(text);
    } else if (item == kZqlDiagMessageOctetLength) {
      std::snprintf(text, sizeof text, "%o", length);  // octal, as it always was
      value->Copy(text);
    } else if (item == kZqlDiagReturnedSqlstate) {
      value->Copy(c->sqlstate);
    } else if (item == kZqlDiagMessageText) {
      if (c->msg != nullptr) value->Copy(*c->msg);
    } else if (IsParamItem(item)) {
      CZqlUcStr found;
      ParamKey(item, text, sizeof text);
      if (ZqlCondioGetParam(&found, c->params, text))
        value->Copy(found);
      else if (item == kZqlDiagClassOrigin || item == kZqlDiagSubclassOrigin)
        value->Copy("ISO 9075");
      else
        ok = 0;
    } else {
      ok = 0;
      ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    }
  });
  return ok;
}

// ---------------------------------------------------------------------------
// Building
// ---------------------------------------------------------------------------

SZqlCondition* CZqlException::building() const {
  if (diag_ == nullptr || diag_->conds == nullptr) return nullptr;
  return &diag_->conds[diag_->condCount];
}

int CZqlException::setErr(int code) {
  SZqlCondition* c = building();
  if (c == nullptr) return 0;
  c->err = code;
  return 1;
}

int CZqlException::setErrMsg(const CZqlUcStr& msg) {
  SZqlCondition* c = building();
  if (c == nullptr) return 0;
  return ZqlTry([&] {
    CZqlUcStr* copy = new CZqlUcStr(msg);
    delete c->msg;
    c->msg = copy;
  });
}

int CZqlException::setSQLSTATE(const char* state) {
  SZqlCondition* c = building();
  if (c == nullptr) return 0;
  return ZqlTry([&] {
    if (state == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    std::memset(c->sqlstate, 0, sizeof c->sqlstate);
    std::strncpy(c->sqlstate, state, 5);
  });
}

int CZqlException::setDiagPar(EZqlDiag item, int32_t value) {
  if (item < kZqlDiagUserDefined) return 1;
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  int ok = 0;
  ZqlTry([&] { ok = setDiagPar(item, CZqlUcStr(text)); });
  return ok;
}

int CZqlException::setDiagPar(EZqlDiag item, const CZqlUcStr& value) {
  SZqlCondition* c = building();
  if (c == nullptr) return 0;
  return ZqlTry([&] {
    if (item < kZqlDiagReturnedSqlstate)
      ZQL_RAISE(kZqlErrIndexInOutOfRange);
    if (item == kZqlDiagReturnedSqlstate) {
      char state[8] = {0};
      value.getToChar(state, 6);
      std::memcpy(c->sqlstate, state, sizeof state);
    } else if (item == kZqlDiagMessageText) {
      CZqlUcStr* copy = new CZqlUcStr(value);
      delete c->msg;
      c->msg = copy;
    } else if (IsParamItem(item)) {
      char key[40];
      ParamKey(item, key, sizeof key);
      if (c->params == nullptr) c->params = new CZqlUcStr;
      if (c->params->FindFirst(key) < 0) {  // the first value stays
        c->params->Append(key);
        c->params->Append(value);
      }
    }
  });
}

int CZqlException::pushCond() {
  if (diag_ == nullptr || diag_->conds == nullptr) return 0;
  SZqlDiagRecord& d = *diag_;
  if (d.condCount >= kZqlMaxConditions) return 1;
  if (d.condCount == d.condCapacity) {
    SZqlCondition* grown = nullptr;
    if (!ZqlTry([&] { grown = ZqlConditionsNew(d.condCapacity + kGrowBy + 1); }))
      return 0;
    std::memcpy(grown, d.conds, sizeof(SZqlCondition) * (d.condCapacity + 1));
    ZqlMemoryFree(d.conds);
    d.conds = grown;
    d.condCapacity += kGrowBy;
  }
  SZqlCondition& c = d.conds[d.condCount];
  if (c.err == 0) return 0;
  if (c.sqlstate[0] == '\0') ZqlMakeSQLSTATE(c.err, c.sqlstate);
  if (c.msg == nullptr) {
    c.msg = new (std::nothrow) CZqlUcStr;
    if (c.msg != nullptr) ZqlTry([&] { ZqlMakeErrorMessage(c.err, c.msg); });
  }
  ++d.condCount;
  return 1;
}

int CZqlException::flushCond() {
  if (diag_ == nullptr || diag_->conds == nullptr) return 0;
  for (int i = 0; i <= diag_->condCount; ++i) ZqlConditionClear(&diag_->conds[i]);
  diag_->condCount = 0;
  return 1;
}
