// CZqlSQLObject: the descriptor area and dispatcher client every SQL object
// owns, and the diagnostic and status questions they all answer.

#include <memory>

#include "zqldispa.h"
#include "zqlsql.h"
#include "zqlstm.h"

namespace {

// Characters of the DBMS name text that are read, and how many of them
// lead the text before the fields split at hyphens.
constexpr int kNameLimit = 127;
constexpr int kNameLead = 14;

enum ENameField { kFieldDbms = 0, kFieldObject = 1, kFieldMessage = 2 };

// Index of the first '-' in u[from, n), or n.
int Hyphen(const unsigned short* u, int from, int n) {
  int i = from;
  while (i < n && u[i] != '-') ++i;
  return i;
}

// Index just after the k-th hyphen (k >= 1) of u[0, n), skipping a hyphen
// that directly follows it; n when there are fewer than k.
int AfterHyphen(const unsigned short* u, int n, int k) {
  int at = -1;
  for (int seen = 0; seen < k; ++seen) {
    at = Hyphen(u, at + 1, n);
    if (at >= n) return n;
  }
  ++at;
  if (at < n && u[at] == '-') ++at;
  return at;
}

bool IsConnectionItem(uint32_t item) {
  return item == kZqlStatConnection0 || item == kZqlStatConnection1 ||
         (item >= kZqlStatConnection8 && item <= kZqlStatConnection10);
}

bool IsCursorItem(uint32_t item) {
  return item >= kZqlStatCsrOpen && item <= kZqlStatCsrUpdatable;
}

}  // namespace

namespace zql_detail {

CZqlCurrentArea::CZqlCurrentArea(CZqlDDA* dda)
    : set_(dda != nullptr), previous_(set_ ? ZqlSetCurrentDDA(dda) : nullptr) {}

CZqlCurrentArea::~CZqlCurrentArea() {
  if (set_) ZqlSetCurrentDDA(previous_);
}

void NoteFailure(CZqlDDA* dda, int code) noexcept {
  if (dda == nullptr || dda->CondCount() > 0 || code == 0) return;
  dda->pushErr(static_cast<EZqlError>(code));
}

void WidenConditions(CZqlDDA* dda) noexcept {
  SZqlDiag* body = dda != nullptr ? dda->getDiagData() : nullptr;
  if (body == nullptr || body->conds.capacity >= kZqlAreaConditions) return;
  ZqlTry([&] {
    if (body->conds.count == 0) {
      dda->SetCondQty(kZqlAreaConditions);
      return;
    }
    // The conditions move aside into a full-size store, which the area then
    // takes back with copies of them.
    CZqlDDA held;
    held.Init(kZqlAreaConditions);
    ZqlConditionsFromDDA(dda, &held);
    dda->PushCond(&held);
  });
}

}  // namespace zql_detail

CZqlSQLObject::CZqlSQLObject()
    : sessionId(0), statementId(0), cursorId(0), dda(nullptr), dispatcher(nullptr) {
  std::unique_ptr<CZqlDDA> area;
  if (ZqlTry([&] {
        area.reset(new CZqlDDA);
        area->Init(kZqlAreaConditions);
      })) {
    dda = area.release();
  }
}

CZqlSQLObject::~CZqlSQLObject() {
  delete dispatcher;
  delete dda;
}

void CZqlSQLObject::NeedArea() const {
  if (dda == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlDDAObject);
}

void CZqlSQLObject::FreshArea() const {
  NeedArea();
  dda->SetCondQty(kZqlAreaConditions);
}

// ---------------------------------------------------------------------------
// Diagnostics
// ---------------------------------------------------------------------------

EZqlStatement CZqlSQLObject::StmType() const {
  EZqlStatement type = kZqlStmUndefined;
  Protect([&] {
    if (dda == nullptr) ZQL_RAISE(kZqlErrZQLWasNotInitialized);
    type = dda->StmType();
  });
  return type;
}

EZqlStatement CZqlSQLObject::CmdStmType() const {
  EZqlStatement type = kZqlStmUndefined;
  Protect([&] {
    if (dda == nullptr) ZQL_RAISE(kZqlErrZQLWasNotInitialized);
    type = dda->CmdStmType();
  });
  return type;
}

int32_t CZqlSQLObject::RowCount() const {
  int32_t count = -1;
  Protect([&] {
    if (dda == nullptr) ZQL_RAISE(kZqlErrZQLWasNotInitialized);
    count = dda->RowCount();
  });
  return count;
}

int32_t CZqlSQLObject::ErrPosition() const {
  int32_t pos = 0;
  Protect([&] {
    if (dda == nullptr) ZQL_RAISE(kZqlErrZQLWasNotInitialized);
    pos = dda->ErrPos();
  });
  return pos;
}

// An object whose area could not be made reads as holding one condition,
// the out-of-memory one that left it without an area: every call on it
// fails, and this is what it can tell without memory.
int CZqlSQLObject::CondQty() const {
  if (dda == nullptr) return 1;
  int n = 0;
  Protect([&] { n = dda->CondCount(); });
  return n;
}

int CZqlSQLObject::Err(int i) const {
  if (dda == nullptr) return i == 0 ? kZqlOutOfMemoryCondition.err : -1;
  int code = -1;
  Protect([&] { code = dda->Err(i); });
  return code;
}

const CZqlUcStr* CZqlSQLObject::ErrMsg(int i) const {
  const CZqlUcStr* msg = nullptr;
  Protect([&] {
    if (dda == nullptr) ZQL_RAISE(kZqlErrZQLWasNotInitialized);
    msg = dda->ErrMsg(i);
  });
  return msg;
}

const char* CZqlSQLObject::SQLSTATE(int i) const {
  if (dda == nullptr) return i == 0 ? kZqlOutOfMemoryCondition.sqlstate : nullptr;
  const char* state = nullptr;
  Protect([&] {
    if (i >= 0 && i < dda->CondCount()) state = dda->SQLSTATE(i);
  });
  return state;
}

int CZqlSQLObject::getDiagPar(int i, EZqlDiag item, int32_t* value) const {
  int ok = 0;
  Protect([&] {
    if (dda == nullptr) ZQL_RAISE(kZqlErrZQLWasNotInitialized);
    ok = dda->getDiagPar(i, item, value);
  });
  return ok;
}

int CZqlSQLObject::getDiagPar(int i, EZqlDiag item, CZqlUcStr* value) const {
  int ok = 0;
  Protect([&] {
    if (dda == nullptr) ZQL_RAISE(kZqlErrZQLWasNotInitialized);
    ok = dda->getDiagPar(i, item, value);
  });
  return ok;
}

// ---------------------------------------------------------------------------
// DBMS name and status
// ---------------------------------------------------------------------------

int CZqlSQLObject::splitName(CZqlUcStr* out, int field) const {
  return Protect([&] {
    if (dda == nullptr) ZQL_RAISE(kZqlErrZQLWasNotInitialized);
    if (out == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    out->Clear();
    CZqlUcStr text;
    if (!dda->getNameOfDBMS(&text)) ZQL_PUSH_RAISE(kZqlErrInvalidCZqlDDAObject);
    const int length = text.Length() < kNameLimit ? text.Length() : kNameLimit;
    if (length <= kNameLead) return;
    const unsigned short* rest = text.UcStr() + kNameLead;
    const int n = length - kNameLead;
    int from = 0;
    int to = n;
    switch (field) {
      case kFieldDbms: to = Hyphen(rest, 0, n); break;
      case kFieldObject:
        from = AfterHyphen(rest, n, 2);
        to = Hyphen(rest, from, n);
        if (to >= n) from = n;  // no hyphen closes the field
        break;
      default: from = AfterHyphen(rest, n, 3); break;
    }
    if (to > from) out->Append(rest + from, to - from);
  });
}

int CZqlSQLObject::DBMS(CZqlUcStr* out) const { return splitName(out, kFieldDbms); }

int CZqlSQLObject::SQLObject(CZqlUcStr* out) const { return splitName(out, kFieldObject); }

int CZqlSQLObject::DrvMessage(CZqlUcStr* out) const { return splitName(out, kFieldMessage); }

int CZqlSQLObject::CheckOp(uint32_t mask) {
  int has = 0;
  Protect([&] {
    if (dda == nullptr) ZQL_RAISE(kZqlErrZQLWasNotInitialized);
    uint32_t status = kZqlDDANoStatus;
    dda->getStatusOfDBMS(&status);
    // A driver that never set its status word supports nothing known.
    has = status != kZqlDDANoStatus && (status & mask) != 0 ? 1 : 0;
  });
  return has;
}

int CZqlSQLObject::GetStatus(EZqlStatInfo item, uint32_t* value) {
  return Protect([&] {
    NeedArea();
    if (dispatcher == nullptr) ZQL_PUSH_RAISE(kZqlErrZQLWasNotInitialized);
    if (value == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    uint32_t id = 0;
    if (IsConnectionItem(item)) {
      id = sessionId;
    } else if (IsCursorItem(item)) {
      id = cursorId;
    } else {
      ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    }
    dispatcher->Status(dda, id, item, value);
  });
}

// ---------------------------------------------------------------------------
// Version and readiness
// ---------------------------------------------------------------------------

EZqlBoolean CZqlSQLObject::Version(CZqlUcStr* out) const {
  const int done = Protect([&] {
    if (out == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    out->Copy(kZqlVersionText);
  });
  return done ? kZqlTrue : kZqlFalse;
}

const char* CZqlSQLObject::Version() const { return kZqlVersionText; }

int CZqlSQLObject::isInit() const {
  return Protect([&] {
    FreshArea();
    if (dispatcher == nullptr) ZQL_PUSH_RAISE(kZqlErrZQLWasNotInitialized);
  });
}
