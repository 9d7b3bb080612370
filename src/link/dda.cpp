// CZqlDDA: the shared body, plain fields, strings and the condition stack.

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "zqlcol.h"
#include "zqldda.h"

namespace {

int ClampCapacity(int n) {
  return n <= 0 || n > kZqlDDAMaxConditions ? kZqlDDAMaxConditions : n;
}

// Replaces *slot by a copy of text (null text: no string).
void ReplaceString(CZqlUcStr** slot, const CZqlUcStr* text) {
  CZqlUcStr* copy = text != nullptr ? new CZqlUcStr(*text) : nullptr;
  delete *slot;
  *slot = copy;
}

// Owns deep copies of conditions until they are handed on.
struct SRecordCopies {
  std::vector<SZqlCondition> recs;
  ~SRecordCopies() {
    for (SZqlCondition& c : recs) ZqlConditionClear(&c);
  }
};

}  // namespace

// ---------------------------------------------------------------------------
// Life cycle
// ---------------------------------------------------------------------------

CZqlDDA::CZqlDDA() : body_(nullptr) {}

CZqlDDA::CZqlDDA(const CZqlDDA& other) : CZqlObject(other), body_(other.body_) {
  if (body_ != nullptr) ++body_->refCount;
}

CZqlDDA& CZqlDDA::operator=(const CZqlDDA& other) {
  if (other.body_ == body_) return *this;
  SZqlDiag* keep = other.body_;
  if (keep != nullptr) ++keep->refCount;
  release();
  body_ = keep;
  return *this;
}

CZqlDDA::~CZqlDDA() { release(); }

void CZqlDDA::release() noexcept {
  SZqlDiag* b = body_;
  body_ = nullptr;
  if (b == nullptr || --b->refCount > 0) return;
  b->conds.Release();
  delete b->suTable;
  delete b->dbmsName;
  delete b->output;  // before the columns it points into
  delete b->columns;
  delete b->params;
  ZqlMemoryFree(b);
}

int CZqlDDA::Init(int capacity) {
  return ZqlEntry<int>(0, [&]() -> int {
    const int n = ClampCapacity(capacity);
    SZqlCondStack conds{};
    conds.Reserve(n);
    SZqlDiag* b = static_cast<SZqlDiag*>(ZqlMemoryNblkCalloc(1, sizeof(SZqlDiag)));
    if (b == nullptr) {
      conds.Release();
      ZQL_RAISE(kZqlErrInsufficientMemory);
    }
    b->conds = conds;
    b->refCount = 1;
    b->dbmsStatus = kZqlDDANoStatus;
    release();
    body_ = b;
    return 1;
  });
}

int CZqlDDA::Renew(int capacity) {
  SZqlDiag* b = body_;
  if (b == nullptr || b->refCount != 1 || b->conds.recs == nullptr ||
      b->conds.capacity != ClampCapacity(capacity))
    return Init(capacity);
  FlushCond();
  delete b->suTable;
  delete b->dbmsName;
  delete b->output;  // before the columns it points into
  delete b->columns;
  delete b->params;
  const SZqlCondStack conds = b->conds;
  *b = SZqlDiag{};
  b->conds = conds;
  b->refCount = 1;
  b->dbmsStatus = kZqlDDANoStatus;
  return 1;
}

int CZqlDDA::Init() {
  SZqlDiag* b = static_cast<SZqlDiag*>(ZqlMemoryCalloc(1, sizeof(SZqlDiag)));
  if (b == nullptr) return 0;
  b->refCount = 1;
  b->dbmsStatus = kZqlDDANoStatus;
  release();
  body_ = b;
  return 1;
}

int CZqlDDA::SetCondQty(int n) {
  if (body_ == nullptr) return 0;
  // Old conditions go first, so the count never exceeds the new capacity
  // even when the new array cannot be had.
  FlushCond();
  const int capacity = ClampCapacity(n);
  body_->more = 0;
  if (capacity == body_->conds.capacity && body_->conds.recs != nullptr) return 1;
  body_->conds.Reserve(capacity);
  return 1;
}

CZqlDDA* CZqlDDA::duplicate() const {
  std::unique_ptr<CZqlDDA> copy(new CZqlDDA);
  if (body_ == nullptr) return copy.release();
  if (!copy->Init(body_->conds.capacity)) return nullptr;
  SZqlDiag* to = copy->body_;
  to->stmType = body_->stmType;
  to->cmdStmType = body_->cmdStmType;
  to->rowCount = body_->rowCount;
  to->csrState = body_->csrState;
  to->csrUpd = body_->csrUpd;
  to->dbmsStatus = body_->dbmsStatus;
  to->userData = body_->userData;
  ReplaceString(&to->suTable, body_->suTable);
  ReplaceString(&to->dbmsName, body_->dbmsName);
  if (body_->columns != nullptr) to->columns = body_->columns->duplicate();
  if (body_->params != nullptr) to->params = body_->params->duplicate();
  if (body_->output != nullptr) {
    to->output = body_->output->duplicate();
    // The copied outputs must point at the copied columns, not at ours.
    const int n = to->output->Count();
    const bool paired = to->columns != nullptr && to->columns->Count() == n;
    for (int i = 0; i < n; ++i) {
      to->output->Dsc(i)->setColumn(paired ? to->columns->Dsc(i) : nullptr);
    }
  }
  return copy.release();
}

// ---------------------------------------------------------------------------
// Plain fields
// ---------------------------------------------------------------------------

#define ZQL_DDA_FIELD(SETTER, GETTER, TYPE, FIELD)                    \
  int CZqlDDA::SETTER(TYPE value) {                                   \
    if (body_ == nullptr) return 0;                                   \
    body_->FIELD = static_cast<int32_t>(value);                       \
    return 1;                                                         \
  }                                                                   \
  TYPE CZqlDDA::GETTER() const {                                      \
    return body_ != nullptr ? static_cast<TYPE>(body_->FIELD) : TYPE(0); \
  }

ZQL_DDA_FIELD(setStmType, StmType, EZqlStatement, stmType)
ZQL_DDA_FIELD(setCmdStmType, CmdStmType, EZqlStatement, cmdStmType)
ZQL_DDA_FIELD(setRowCount, RowCount, int32_t, rowCount)
ZQL_DDA_FIELD(setErrPos, ErrPos, int32_t, errPos)
ZQL_DDA_FIELD(setCsrState, CsrState, EZqlBoolean, csrState)
ZQL_DDA_FIELD(setCsrUpd, CsrUpd, EZqlBoolean, csrUpd)
#undef ZQL_DDA_FIELD

int CZqlDDA::isMore() const { return body_ != nullptr ? body_->more : 0; }

int CZqlDDA::setUserConnectionData(void* data) {
  if (body_ == nullptr) return 0;
  body_->userData = data;
  return 1;
}

void* CZqlDDA::getUserConnectionData() const {
  return body_ != nullptr ? body_->userData : nullptr;
}

SZqlDiag* CZqlDDA::need() const {
  if (body_ == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlDDAObject);
  return body_;
}

// ---------------------------------------------------------------------------
// Strings and status
// ---------------------------------------------------------------------------

int CZqlDDA::setNameOfDBMS(const CZqlUcStr& name) {
  return ZqlTry([&] {
    ReplaceString(&need()->dbmsName, &name);
  });
}

int CZqlDDA::getNameOfDBMS(CZqlUcStr* out) const {
  return ZqlTry([&] {
    SZqlDiag* b = need();
    if (out == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    if (b->dbmsName != nullptr) out->Copy(*b->dbmsName);
    else out->Clear();
  });
}

int CZqlDDA::setStatusOfDBMS(uint32_t status) {
  return ZqlTry([&] { need()->dbmsStatus = status; });
}

int CZqlDDA::getStatusOfDBMS(uint32_t* out) const {
  return ZqlTry([&] {
    SZqlDiag* b = need();
    if (out == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    *out = b->dbmsStatus;
  });
}

int CZqlDDA::setSUTable(const CZqlUcStr& table) {
  return ZqlTry([&] {
    if (body_ == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    ReplaceString(&body_->suTable, &table);
  });
}

int CZqlDDA::getSUTable(CZqlUcStr* out) const {
  return ZqlTry([&] {
    SZqlDiag* b = need();
    if (out == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    if (b->suTable != nullptr) out->Copy(*b->suTable);
    else out->Clear();
  });
}

// ---------------------------------------------------------------------------
// Conditions: the working record
// ---------------------------------------------------------------------------

// The setters answer 0 without body or records and when the stack's setter
// raised.
int CZqlDDA::setErr(EZqlError code) {
  return body_ != nullptr ? body_->conds.SetErr(code) : 0;
}

int CZqlDDA::setErrMsg(const CZqlUcStr& msg) {
  return body_ != nullptr ? ZqlCondQuiet(0, [&] { return body_->conds.SetMsg(msg); }) : 0;
}

int CZqlDDA::setErrMsg(const unsigned short* msg) {
  if (msg == nullptr) return 0;
  if (body_ == nullptr) return 0;
  return ZqlCondQuiet(0, [&] { return body_->conds.SetMsg(CZqlUcStr(msg)); });
}

int CZqlDDA::setSQLSTATE(const char* state) {
  return body_ != nullptr ? ZqlCondQuiet(0, [&] { return body_->conds.SetSQLSTATE(state); }) : 0;
}

int CZqlDDA::setDiagPar(EZqlDiag item, const CZqlUcStr& value) {
  if (item >= kZqlDiagUserDefined) return body_ != nullptr && body_->conds.recs != nullptr;
  return body_ != nullptr ? ZqlCondQuiet(0, [&] { return body_->conds.SetItem(item, value); }) : 0;
}

int CZqlDDA::setDiagPar(EZqlDiag item, const unsigned short* value) {
  if (value == nullptr) return 0;
  int ok = 0;
  ZqlTry([&] { ok = setDiagPar(item, CZqlUcStr(value)); });
  return ok;
}

int CZqlDDA::setDiagPar(EZqlDiag, int32_t) { return 1; }

int CZqlDDA::setDiagMsg(const CZqlUcStr& text) {
  return body_ != nullptr ? ZqlCondQuiet(0, [&] { return body_->conds.SetParams(text); }) : 0;
}

int CZqlDDA::setDiagMsg(const unsigned short* text) {
  if (text == nullptr) return 0;
  if (body_ == nullptr) return 0;
  return ZqlCondQuiet(0, [&] { return body_->conds.SetParams(CZqlUcStr(text)); });
}

// ---------------------------------------------------------------------------
// Conditions: the stack
// ---------------------------------------------------------------------------

int CZqlDDA::PushCond() {
  if (body_ == nullptr) return 0;
  SZqlCondStack& s = body_->conds;
  SZqlCondStack::EPush pushed = s.Push();
  if (pushed == SZqlCondStack::kFull) {  // the oldest makes room
    s.DropOldest();
    body_->more = 1;
    pushed = s.Push();
  }
  return pushed == SZqlCondStack::kPushed ? 1 : 0;
}

int CZqlDDA::pushErr(EZqlError code) {
  setErr(code);
  return PushCond();
}

// Pushes a deep copy of from, which must not live in this area's records.
int CZqlDDA::pushCopy(const SZqlCondition& from) {
  SZqlCondition* c = body_->conds.Working();
  if (c == nullptr) return 0;
  ZqlConditionClear(c);
  if (!ZqlTry([&] { ZqlConditionCopy(c, from); })) {
    ZqlConditionClear(c);
    return 0;
  }
  return PushCond();
}

int CZqlDDA::PushCond(const CZqlDDA* other) {
  if (other == nullptr || body_ == nullptr || other->body_ == nullptr) return 0;
  PushCond();
  const SZqlCondStack& from = other->body_->conds;
  if (from.recs == nullptr) return 1;
  if (other->body_ != body_) {
    for (int i = 0; i < from.count; ++i) pushCopy(from.recs[i]);
    return 1;
  }
  // Our own conditions: copy them aside first, since pushing shifts and
  // drops the very records being copied.
  SRecordCopies copies;
  const int ok = ZqlTry([&] {
    copies.recs.reserve(static_cast<std::size_t>(from.count));
    for (int i = 0; i < from.count; ++i) {
      copies.recs.push_back(SZqlCondition{});
      ZqlConditionCopy(&copies.recs.back(), from.recs[i]);
    }
  });
  if (!ok) return 0;
  for (const SZqlCondition& c : copies.recs) pushCopy(c);
  return 1;
}

int CZqlDDA::FlushCond() {
  if (body_ == nullptr || !body_->conds.Flush()) return 0;
  body_->more = 0;
  return 1;
}

int CZqlDDA::CondCount() const {
  return body_ != nullptr ? body_->conds.count : 0;
}

const SZqlCondition* CZqlDDA::reading(int i) const {
  if (body_ == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlDDAObject);
  return body_->conds.At(i);
}

int CZqlDDA::Err(int i) const {
  return ZqlCondQuiet<int>(-1, [&] { return reading(i)->err; });
}

const CZqlUcStr* CZqlDDA::ErrMsg(int i) const {
  return ZqlCondQuiet<const CZqlUcStr*>(nullptr, [&] { return reading(i)->msg; });
}

const char* CZqlDDA::SQLSTATE(int i) const {
  return ZqlCondQuiet<const char*>("", [&] { return reading(i)->sqlstate; });
}

int CZqlDDA::getDiagPar(int i, EZqlDiag item, int32_t* value) const {
  return ZqlTry([&] {
    const SZqlCondition* c = reading(i);
    if (value == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    const int32_t length = c->msg != nullptr ? c->msg->Length() : 0;
    switch (item) {
      case kZqlDiagConditionNumber:
        *value = body_->conds.count - 1 - i;
        break;
      case kZqlDiagMessageLength:
      case kZqlDiagMessageOctetLength:
        *value = length;
        break;
      default:
        ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    }
  });
}

int CZqlDDA::getDiagPar(int i, EZqlDiag item, CZqlUcStr* value) const {
  return ZqlTry([&] {
    const SZqlCondition* c = reading(i);
    if (value == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    if (item >= kZqlDiagConditionNumber && item <= kZqlDiagMessageOctetLength) {
      int32_t number = 0;
      getDiagPar(i, item, &number);
      char text[16];
      std::snprintf(text, sizeof text, "%d", static_cast<int>(number));
      value->Copy(text);
    } else if (item == kZqlDiagReturnedSqlstate) {
      value->Copy(c->sqlstate);
    } else if (item >= kZqlDiagClassOrigin && item <= kZqlDiagCursorName) {
      ZqlConditionParam(*c, item, value);
    } else if (item == kZqlDiagMessageText) {
      if (c->msg != nullptr) value->Copy(*c->msg);
      else value->Clear();
    } else {
      ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    }
  });
}
