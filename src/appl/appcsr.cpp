// CZqlCsr: cursors over prepared cursor specifications - allocation,
// opening, the six fetch directions, the current row, the driver's status
// items, and positioned DELETE and UPDATE written as SQL text.

#include <memory>
#include <typeinfo>
#include <utility>

#include "zqldispa.h"
#include "zqlstm.h"

int ZqlConditionsFromDDA(CZqlDDA* from, CZqlDDA* to) {
  if (from == nullptr || to == nullptr) return 0;
  SZqlDiag* a = from->getDiagData();
  SZqlDiag* b = to->getDiagData();
  if (a == nullptr || b == nullptr || a == b || a->conds.count == 0) return 0;
  to->FlushCond();
  std::swap(a->more, b->more);
  std::swap(a->conds, b->conds);
  return 1;
}

CZqlCsr::CZqlCsr()
    : open(0),
      scrollability(static_cast<EZqlCurScr>(kZqlCurNonScroll)),
      sensitivity(static_cast<EZqlCurSns>(kZqlCurSensitivityDefault)) {}

CZqlCsr::~CZqlCsr() {
  if (open) ZqlTry([&] { Close(); });
}

void CZqlCsr::needCursor() const {
  NeedArea();
  if (cursorId == 0 || dispatcher == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidCursorName);
}

uint32_t CZqlCsr::status(EZqlStatInfo item) const {
  uint32_t value = 0;
  dispatcher->Status(dda, cursorId, item, &value);
  return value;
}

// ---------------------------------------------------------------------------
// Life cycle
// ---------------------------------------------------------------------------

int CZqlCsr::Allocate(CZqlExecStm* stm, const CZqlIdent& cursorName, EZqlCurScr scr,
                      EZqlCurSns sns) {
  return Protect([&] {
    fetched_ = false;
    FreshArea();
    if (stm == nullptr || stm->Dispatcher() == nullptr)
      ZQL_PUSH_RAISE(kZqlErrInvalidSQLStatementName);
    // A name that memory did not hold would allocate the cursor unnamed.
    if (cursorName.Lost()) ZQL_PUSH_RAISE(kZqlErrInsufficientMemory);
    // The cursor's own client exists before the driver holds the cursor.
    std::unique_ptr<CZqlDispClient> own;
    if (dispatcher == nullptr) {
      own.reset(stm->Dispatcher()->duplicate());
      if (own == nullptr) ZQL_PUSH_RAISE(kZqlErrInsufficientMemory);
    }
    stm->Dispatcher()->AllocCsr(dda, stm->StatementId(), &cursorId, cursorName, scr, sns);
    if (statementId != stm->StatementId()) dropOutputs();
    sessionId = stm->SessionId();
    statementId = stm->StatementId();
    if (own != nullptr) dispatcher = own.release();
    name = cursorName;
    scrollability = scr;
    sensitivity = sns;
    open = 0;  // a cursor is allocated closed
    // The reply described the parameters anew: the input links must reach
    // the new descriptions, or they would send nothing.
    rebindInputs();
  });
}

int CZqlCsr::Open() {
  return Protect([&] {
    fetched_ = false;
    FreshArea();
    needCursor();
    if (!pInput()) return;
    if (outputs != nullptr && !outputs->isAllBound())
      ZQL_PUSH_RAISE(kZqlErrUsingClauseRequiredForResultFields);
    dispatcher->Open(dda, cursorId);
    open = 1;
  });
}

int CZqlCsr::Close() {
  return Protect([&] {
    fetched_ = false;
    FreshArea();
    needCursor();
    dispatcher->Close(dda, cursorId);
    open = 0;
  });
}

// ---------------------------------------------------------------------------
// Fetching
// ---------------------------------------------------------------------------

// The driver decides what the cursor allows: no check of the open flag or
// the scrollability here.
int CZqlCsr::fetch(EZqlDirection direction, int32_t offset) {
  return Protect([&] {
    FreshArea();
    needCursor();
    fetched_ = false;
    dispatcher->Fetch(dda, cursorId, direction, offset);
    deliverRow();
    fetched_ = true;
  });
}

int CZqlCsr::Fetch() { return fetch(kZqlFetchNext, 0); }
int CZqlCsr::FetchPrior() { return fetch(kZqlFetchPrior, 0); }
int CZqlCsr::FetchFirst() { return fetch(kZqlFetchFirst, 0); }
int CZqlCsr::FetchLast() { return fetch(kZqlFetchLast, 0); }
int CZqlCsr::FetchAbsolute(int32_t n) { return fetch(kZqlFetchAbsolute, n); }
int CZqlCsr::FetchRelative(int32_t n) { return fetch(kZqlFetchRelative, n); }

// A copy of the result columns with the values the area holds. Runs in
// its caller's protected scope, so it opens none of its own per column.
CZqlRow* CZqlCsr::copyRow() const {
  const int n = dda->ColCount();
  std::unique_ptr<CZqlRow> row(new CZqlRow(n));
  for (int i = 0; i < n; ++i) {
    CZqlColumn& column = (*row)[i];
    column = *dda->ColDsc(i);
    if (CZqlData* target = column.getData()) storeCurrent(i, target);
  }
  return row.release();
}

namespace {

// Whether storing value into a copy of type would keep it as it is: of one
// class and the same size attributes, a store neither converts, rounds
// nor cuts.
bool SameShape(const CZqlData& value, const CZqlData& type) {
  if (typeid(value) != typeid(type) || value.Length() != type.Length() ||
      value.Precision() != type.Precision() || value.Scale() != type.Scale())
    return false;
  switch (value.Type()) {
    case kZqlTypeDatetime:
      return value.TimePrec() == type.TimePrec() && value.TimeStampPrec() == type.TimeStampPrec();
    case kZqlTypeInterval:
      return value.IntervalType() == type.IntervalType() &&
             value.LeadFieldPrec() == type.LeadFieldPrec() &&
             value.FracSecPrec() == type.FracSecPrec();
    default:
      return true;
  }
}

}  // namespace

int CZqlCsr::getFetchedValues(std::vector<const CZqlData*>* out) const {
  if (out == nullptr || !fetched_ || dda == nullptr) return 0;
  bool asIs = true;
  if (!ZqlTry([&] {
        const int n = dda->ColCount();
        out->clear();
        for (int i = 0; asIs && i < n; ++i) {
          const CZqlData* value = currentValue(i);
          const CZqlData* type = dda->ColDsc(i)->getData();
          asIs = value && type && (value->isNull() || SameShape(*value, *type));
          if (asIs) out->push_back(value);
        }
      }) ||
      !asIs)
    return 0;
  fetched_ = false;  // as getFetchedRow leaves it
  return 1;
}

CZqlRow* CZqlCsr::getCurrentRow() const {
  if (!open) return nullptr;
  CZqlRow* result = nullptr;
  Protect([&] {
    FreshArea();
    needCursor();
    if (status(kZqlStatCsrOpen) == 0) ZQL_PUSH_RAISE(kZqlErrCursorIsInCloseState);
    if (status(kZqlStatCsrPosition) != kZqlCsrOnRow)
      ZQL_PUSH_RAISE(kZqlErrCurorIsNotPositionedOnRow);
    fetched_ = false;
    result = copyRow();
  });
  return result;
}

CZqlRow* CZqlCsr::getFetchedRow() const {
  CZqlRow* result = nullptr;
  Protect([&] {
    FreshArea();
    if (!fetched_) ZQL_PUSH_RAISE(kZqlErrCurorIsNotPositionedOnRow);
    fetched_ = false;
    result = copyRow();
  });
  return result;
}

// ---------------------------------------------------------------------------
// Positioned DELETE and UPDATE
// ---------------------------------------------------------------------------

void CZqlCsr::tableOf(CZqlUcStr* out) const { dda->getSUTable(out); }

// Finishes text with the WHERE CURRENT OF clause and executes it in a
// duplicate of the area, so that the cursor's descriptions stay; the
// statement's conditions then replace the cursor's, also after a failure.
int CZqlCsr::positioned(const CZqlUcStr& head) {
  fetched_ = false;
  CZqlUcStr text(head);
  text.Append(" WHERE CURRENT OF ");
  name.ToString(&text);
  std::unique_ptr<CZqlDDA> scratch(dda->duplicate());
  int answer = 0;
  const int done = ZqlTry([&] { answer = dispatcher->IExecute(scratch.get(), sessionId, text); });
  const int code = ZqlTryCode();
  ZqlConditionsFromDDA(scratch.get(), dda);
  if (!done) ZQL_RAISE(code);
  return answer;
}

int CZqlCsr::Delete() {
  int answer = 0;
  Protect([&] {
    FreshArea();
    needCursor();
    CZqlUcStr table;
    tableOf(&table);
    CZqlUcStr text("DELETE");
    if (table.Length() != 0) {
      text.Append(" FROM ");
      text.Append(table);
    }
    answer = positioned(text);
  });
  return answer;
}

int CZqlCsr::Update(const CZqlRow& row) { return Update(&row); }

int CZqlCsr::Update(const CZqlRow* row) {
  int answer = 0;
  Protect([&] {
    FreshArea();
    if (row == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    needCursor();
    CZqlUcStr table;
    tableOf(&table);
    CZqlUcStr text("UPDATE ");
    text.Append(table);
    text.Append(" SET ");
    int assigned = 0;
    for (int i = 0; i < row->ColNum(); ++i) {
      const CZqlColumn& column = (*row)[i];
      const CZqlData* value = column.getData();
      if (value == nullptr) continue;  // columns without a value stay as they are
      if (assigned++ > 0) text.Append(",");
      column.Name().ToString(&text);
      text.Append("=");
      if (value->isNull()) {
        text.Append("NULL");
        continue;
      }
      CZqlUcStr literal;
      value->SQLLiteral(&literal);
      // A value that has no SQL form (implementation-defined) would leave
      // the assignment without its value.
      if (literal.Length() == 0) ZQL_PUSH_RAISE(kZqlErrFunctionNotSupported);
      text.Append(literal);
    }
    answer = positioned(text);
  });
  return answer;
}

// ---------------------------------------------------------------------------
// Status items
// ---------------------------------------------------------------------------

int CZqlCsr::is_updatable() {
  uint32_t value = 0;
  Protect([&] {
    FreshArea();
    needCursor();
    value = status(kZqlStatCsrUpdatable);
  });
  return static_cast<int>(value);
}

int CZqlCsr::is_scrollable() {
  int yes = 0;
  Protect([&] {
    FreshArea();
    needCursor();
    yes = status(kZqlStatCsrScrollable) == 1 ? 1 : 0;
  });
  return yes;
}

int CZqlCsr::is_insensitive() {
  int yes = 0;
  Protect([&] {
    FreshArea();
    needCursor();
    yes = status(kZqlStatCsrInsensitive) == 1 ? 1 : 0;
  });
  return yes;
}

int CZqlCsr::is_open() {
  uint32_t value = 0;
  Protect([&] {
    FreshArea();
    needCursor();
    value = status(kZqlStatCsrOpen);
  });
  return static_cast<int>(value);
}

int CZqlCsr::position() {
  uint32_t value = 1;
  Protect([&] {
    FreshArea();
    needCursor();
    value = status(kZqlStatCsrPosition);
  });
  return static_cast<int>(value);
}

// ---------------------------------------------------------------------------
// Raw reads of the current row
// ---------------------------------------------------------------------------

long CZqlCsr::Read(int i, char* buffer, long start, long count) const {
  long copied = 0;
  ProtectRaising([&] {
    const CZqlData* value = rawValue(i, cursorId, kZqlErrInvalidCursorName);
    if (value != nullptr) copied = value->read(buffer, start, count);
  });
  return copied;
}

long CZqlCsr::Size(int i) const {
  long size = 0;
  ProtectRaising([&] {
    const CZqlData* value = rawValue(i, cursorId, kZqlErrInvalidCursorName);
    if (value != nullptr) size = value->size();
  });
  return size;
}
