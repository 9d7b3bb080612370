// CZqlException: a list of conditions that leaves the library.

#include <algorithm>
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

int ZqlConditionParam(const SZqlCondition& c, int item, CZqlUcStr* out) {
  out->Clear();
  if (!IsParamItem(item)) return 0;
  char key[40];
  ParamKey(item, key, sizeof key);
  return ZqlCondioGetParam(out, c.params, key);
}

// ---------------------------------------------------------------------------
// The condition stack
// ---------------------------------------------------------------------------

namespace {

SZqlCondition* NewRecords(int n) {
  return static_cast<SZqlCondition*>(
      ZqlMemoryCalloc(static_cast<std::size_t>(n), sizeof(SZqlCondition)));
}

// Replaces *slot by a copy of text.
void ReplaceString(CZqlUcStr** slot, const CZqlUcStr& text) {
  CZqlUcStr* copy = new CZqlUcStr(text);
  delete *slot;
  *slot = copy;
}

// The value with every tab made a blank: a tab would end the value early
// and could make the rest read as another item.
CZqlUcStr WithoutTabs(const CZqlUcStr& value) {
  CZqlUcStr out(value);
  for (int i = 0; i < out.Length(); ++i) {
    if (out[i] == '\t') out.Update(i, static_cast<unsigned short>(' '));
  }
  return out;
}

}  // namespace

void SZqlCondStack::Reserve(int n) {
  SZqlCondition* fresh = NewRecords(n + 1);
  Release();
  recs = fresh;
  capacity = n;
}

void SZqlCondStack::Grow(int n) {
  SZqlCondition* grown = NewRecords(capacity + n + 1);
  if (recs != nullptr) {
    // Records move bitwise: their strings change owner, not place.
    std::memcpy(grown, recs, sizeof(SZqlCondition) * static_cast<std::size_t>(capacity + 1));
    ZqlMemoryFree(recs);
  }
  recs = grown;
  capacity += n;
}

void SZqlCondStack::Release() noexcept {
  Flush();
  ZqlMemoryFree(recs);
  *this = SZqlCondStack{};
}

int SZqlCondStack::Flush() noexcept {
  if (recs == nullptr) return 0;
  for (int i = 0; i <= count; ++i) ZqlConditionClear(&recs[i]);
  count = 0;
  return 1;
}

void SZqlCondStack::CopyFrom(const SZqlCondition* from, int n, int room) {
  if (room < n) room = n;
  if (recs == nullptr || room != capacity) Reserve(room);
  Flush();
  for (int i = 0; i < n; ++i) {
    ZqlConditionCopy(&recs[i], from[i]);
    count = i + 1;  // owned from here on, whatever comes next
  }
}

SZqlCondition* SZqlCondStack::Working() const {
  return recs != nullptr ? &recs[count] : nullptr;
}

const SZqlCondition* SZqlCondStack::At(int i) const {
  if (recs == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlDDAObject);
  if (i < 0 || i >= count) ZQL_RAISE(kZqlErrIndexInOutOfRange);
  return &recs[count - 1 - i];
}

int SZqlCondStack::SetErr(int code) {
  SZqlCondition* c = Working();
  if (c == nullptr) return 0;
  c->err = code;
  return 1;
}

int SZqlCondStack::SetMsg(const CZqlUcStr& msg) { return SetText(&SZqlCondition::msg, msg); }

int SZqlCondStack::SetSQLSTATE(const char* state) {
  SZqlCondition* c = Working();
  if (c == nullptr) return 0;
  if (state == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
  std::memset(c->sqlstate, 0, sizeof c->sqlstate);
  std::strncpy(c->sqlstate, state, 5);
  return 1;
}

int SZqlCondStack::SetItem(EZqlDiag item, const CZqlUcStr& value) {
  SZqlCondition* c = Working();
  if (c == nullptr) return 0;
  if (item < kZqlDiagReturnedSqlstate) ZQL_RAISE(kZqlErrIndexInOutOfRange);
  if (item == kZqlDiagReturnedSqlstate) {
    char state[8] = {0};
    value.getToChar(state, 6);
    std::memcpy(c->sqlstate, state, sizeof state);
  } else if (item == kZqlDiagMessageText) {
    ReplaceString(&c->msg, value);
  } else if (IsParamItem(item)) {
    char key[40];
    ParamKey(item, key, sizeof key);
    if (c->params == nullptr) c->params = new CZqlUcStr;
    if (c->params->FindFirst(key) < 0) {  // the first value stays
      c->params->Append(key);
      c->params->Append(WithoutTabs(value));
    }
  }
  return 1;
}

int SZqlCondStack::SetParams(const CZqlUcStr& text) {
  return SetText(&SZqlCondition::params, text);
}

int SZqlCondStack::SetText(CZqlUcStr* SZqlCondition::*field, const CZqlUcStr& text) {
  SZqlCondition* c = Working();
  if (c == nullptr) return 0;
  ReplaceString(&(c->*field), text);
  return 1;
}

SZqlCondStack::EPush SZqlCondStack::Push() noexcept {
  SZqlCondition* c = Working();
  if (c == nullptr || c->err == 0) return kRefused;
  if (count == capacity) return kFull;
  if (c->sqlstate[0] == '\0') ZqlMakeSQLSTATE(c->err, c->sqlstate);
  if (c->msg == nullptr) {
    c->msg = new (std::nothrow) CZqlUcStr;
    if (c->msg != nullptr) ZqlTry([&] { ZqlMakeErrorMessage(c->err, c->msg); });
  }
  ++count;
  return kPushed;
}

void SZqlCondStack::DropOldest() noexcept {
  ZQL_ASSERT(count == capacity && capacity > 0);
  ZqlConditionClear(&recs[0]);
  // The working record moves down with the stack.
  std::memmove(&recs[0], &recs[1], sizeof(SZqlCondition) * static_cast<std::size_t>(capacity));
  std::memset(&recs[capacity], 0, sizeof(SZqlCondition));
  --count;
}

// ---------------------------------------------------------------------------
// The exception
// ---------------------------------------------------------------------------

CZqlException::CZqlException() : diag_(nullptr) {
  SZqlDiagRecord* d = nullptr;
  const int ok = ZqlTry([&] {
    d = static_cast<SZqlDiagRecord*>(ZqlMemoryCalloc(1, sizeof *d));
    d->refCount = 1;
    d->conds.Reserve(kGrowBy);
  });
  if (ok) {
    diag_ = d;
  } else if (d != nullptr) {  // the records failed: no record at all
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
    diag_->conds.Release();
    ZqlMemoryFree(diag_);
  }
  diag_ = nullptr;
}

CZqlObject* CZqlException::duplicate() const {
  CZqlException* e = new (std::nothrow) CZqlException;
  if (e == nullptr) return nullptr;
  if (diag_ == nullptr || e->diag_ == nullptr) return e;
  const SZqlCondStack& s = diag_->conds;
  if (!ZqlTry([&] { e->copyConditions(s.recs, s.count, s.capacity); })) {
    delete e;
    return nullptr;
  }
  return e;
}

int CZqlException::copyConditions(const SZqlCondition* conds, int count,
                                  int capacity) {
  if (diag_ == nullptr) return 0;
  diag_->conds.CopyFrom(conds, count, capacity);
  return 1;
}

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

const SZqlCondition* CZqlException::reading(int i) const {
  if (diag_ != nullptr) return diag_->conds.At(i);
  if (i != 0) ZQL_RAISE(kZqlErrIndexInOutOfRange);
  return &kZqlOutOfMemoryCondition;
}

int CZqlException::CondQty() const {
  return diag_ != nullptr ? diag_->conds.count : 1;
}

int CZqlException::Err(int i) const {
  return ZqlCondQuiet<int>(-1, [&] { return reading(i)->err; });
}

const CZqlUcStr* CZqlException::ErrMsg(int i) const {
  return ZqlCondQuiet<const CZqlUcStr*>(nullptr, [&] { return reading(i)->msg; });
}

const char* CZqlException::SQLSTATE(int i) const {
  return ZqlCondQuiet<const char*>("", [&] { return reading(i)->sqlstate; });
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
        if (!ZqlConditionParam(*c, item, &text))
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
      if (ZqlConditionParam(*c, item, &found))
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

// The building operations answer 0 without a record and when the stack's
// setter raised.
int CZqlException::setErr(int code) {
  return diag_ != nullptr ? diag_->conds.SetErr(code) : 0;
}

int CZqlException::setErrMsg(const CZqlUcStr& msg) {
  return diag_ != nullptr ? ZqlCondQuiet(0, [&] { return diag_->conds.SetMsg(msg); }) : 0;
}

int CZqlException::setSQLSTATE(const char* state) {
  return diag_ != nullptr ? ZqlCondQuiet(0, [&] { return diag_->conds.SetSQLSTATE(state); }) : 0;
}

int CZqlException::setDiagPar(EZqlDiag item, int32_t value) {
  if (item < kZqlDiagUserDefined) return 1;
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return diag_ != nullptr
             ? ZqlCondQuiet(0, [&] { return diag_->conds.SetItem(item, CZqlUcStr(text)); })
             : 0;
}

int CZqlException::setDiagPar(EZqlDiag item, const CZqlUcStr& value) {
  return diag_ != nullptr ? ZqlCondQuiet(0, [&] { return diag_->conds.SetItem(item, value); }) : 0;
}

int CZqlException::pushCond() {
  if (diag_ == nullptr) return 0;
  SZqlCondStack& s = diag_->conds;
  if (s.count >= kZqlMaxConditions) {  // swallowed: the next one starts clean
    ZqlConditionClear(s.Working());
    return 1;
  }
  SZqlCondStack::EPush pushed = s.Push();
  if (pushed == SZqlCondStack::kFull) {
    if (!ZqlTry([&] { s.Grow(std::min(kGrowBy, kZqlMaxConditions - s.capacity)); })) return 0;
    pushed = s.Push();
  }
  return pushed == SZqlCondStack::kPushed ? 1 : 0;
}

int CZqlException::flushCond() {
  return diag_ != nullptr ? diag_->conds.Flush() : 0;
}
