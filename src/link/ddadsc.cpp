// CZqlDDA: descriptor access and the packed form that travels to and from
// the driver.

#include <cstring>
#include <memory>

#include "objpack.h"
#include "zqlcol.h"
#include "zqldda.h"

namespace {

// Labels of the packed area.
enum : int {
  kLabelVersion = 0,
  kLabelStmType = 1,
  kLabelRowCount = 2,
  kLabelErrPos = 3,
  kLabelCsrState = 4,
  kLabelCsrUpd = 5,
  kLabelSUTable = 6,
  kLabelDbmsName = 7,
  kLabelDbmsStatus = 8,
  kLabelColumns = 10,
  kLabelParams = 11,
  kLabelOutput = 12,
  kLabelMore = 18,
  kLabelCondCount = 19,
  kLabelConditions = 100,
};

// Labels of one condition in the condition block.
enum : int {
  kCondErr = 0,
  kCondSqlstate = 1,
  kCondMsg = 2,
  kCondDiag = 3,
};


// The current item's text into *slot, a string made when there is none.
void ReadText(CZqlObjPack* pack, CZqlUcStr** slot) {
  if (*slot == nullptr) *slot = new CZqlUcStr;
  pack->getPackedValue(*slot);
}

void AddIfSet(CZqlObjPack* pack, int label, int32_t value) {
  if (value != 0) pack->add(label, value);
}

bool HasText(const CZqlUcStr* s) { return s != nullptr && s->Length() > 0; }

void DropRecord(SZqlCondition* c) {
  delete c->msg;
  delete c->params;
  std::memset(c, 0, sizeof *c);
}

}  // namespace

// ---------------------------------------------------------------------------
// Descriptor access
// ---------------------------------------------------------------------------

int CZqlDDA::AllocColDsc(int n) {
  return ZqlEntry<int>(0, [&]() -> int {
    SZqlDiag* b = need();
    std::unique_ptr<CZqlDDAColumns> set(new CZqlDDAColumns(n));
    if (!set->hasBody()) return 0;
    // The outputs point into the columns being replaced.
    delete b->output;
    b->output = nullptr;
    delete b->columns;
    b->columns = set.release();
    return 1;
  });
}

int CZqlDDA::AllocParDsc(int n) {
  return ZqlEntry<int>(0, [&]() -> int {
    SZqlDiag* b = need();
    std::unique_ptr<CZqlDDAParams> set(new CZqlDDAParams(n));
    if (!set->hasBody()) return 0;
    delete b->params;
    b->params = set.release();
    return 1;
  });
}

CZqlColumn* CZqlDDA::ColDsc(int i) const {
  return ZqlEntry<CZqlColumn*>(nullptr, [&]() -> CZqlColumn* {
    SZqlDiag* b = need();
    if (b->columns == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlDDAObject);
    return b->columns->Dsc(i);
  });
}

CZqlParameter* CZqlDDA::ParDsc(int i) const {
  return ZqlEntry<CZqlParameter*>(nullptr, [&]() -> CZqlParameter* {
    SZqlDiag* b = need();
    if (b->params == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlDDAObject);
    return b->params->Dsc(i);
  });
}

CZqlOutput* CZqlDDA::OutDsc(int i) const {
  return ZqlEntry<CZqlOutput*>(nullptr, [&]() -> CZqlOutput* {
    SZqlDiag* b = need();
    if (b->output == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlDDAObject);
    return b->output->Dsc(i);
  });
}

int CZqlDDA::ColCount() const {
  return ZqlEntry<int>(0, [&]() -> int {
    SZqlDiag* b = need();
    return b->columns != nullptr ? b->columns->Count() : 0;
  });
}

int CZqlDDA::ParCount() const {
  return ZqlEntry<int>(0, [&]() -> int {
    SZqlDiag* b = need();
    return b->params != nullptr ? b->params->Count() : 0;
  });
}

int CZqlDDA::CreateOutput() {
  return ZqlEntry<int>(0, [&]() -> int {
    SZqlDiag* b = need();
    if (b->columns == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlDDAObject);
    CZqlDDAOutput* output = b->columns->CreateOutput();
    if (output == nullptr) return 0;
    delete b->output;
    b->output = output;
    return 1;
  });
}

CZqlDDAColumns* CZqlDDA::Columns() const {
  return body_ != nullptr ? body_->columns : nullptr;
}

CZqlDDAParams* CZqlDDA::Params() const {
  return body_ != nullptr ? body_->params : nullptr;
}

CZqlDDAOutput* CZqlDDA::Output() const {
  return body_ != nullptr ? body_->output : nullptr;
}

// ---------------------------------------------------------------------------
// Packing
// ---------------------------------------------------------------------------

unsigned int CZqlDDA::packSize() const {
  CZqlObjPack sizing;
  packTo(&sizing);
  return sizing.Size();
}

int CZqlDDA::packTo(CZqlObjPack* pack) const {
  if (pack == nullptr || body_ == nullptr) return 0;
  const SZqlDiag& b = *body_;
  pack->add(kLabelVersion, kZqlDDAPackVersion);
  AddIfSet(pack, kLabelStmType, b.stmType);
  AddIfSet(pack, kLabelRowCount, b.rowCount);
  AddIfSet(pack, kLabelErrPos, b.errPos);
  AddIfSet(pack, kLabelCsrState, b.csrState);
  AddIfSet(pack, kLabelCsrUpd, b.csrUpd);
  if (HasText(b.suTable)) pack->add(kLabelSUTable, *b.suTable);
  const int cmd = b.cmdStmType;
  if (cmd == kZqlStmConnect || cmd == kZqlStmPrepare ||
      cmd == kZqlStmAllocCursor) {
    if (HasText(b.dbmsName)) pack->add(kLabelDbmsName, *b.dbmsName);
    if (b.dbmsStatus != kZqlDDANoStatus) pack->add(kLabelDbmsStatus, b.dbmsStatus);
  }
  if (b.conds.count > 0) packCondTo(pack);
  packSetsTo(pack);
  pack->add(kZqlPackEnd, int32_t{0});
  return static_cast<int>(pack->Size());
}

void CZqlDDA::packCondTo(CZqlObjPack* pack) const {
  const SZqlDiag& b = *body_;
  pack->add(kLabelConditions, int32_t{0});
  pack->add(kLabelCondCount, b.conds.count);
  AddIfSet(pack, kLabelMore, b.more);
  for (int i = 0; i < b.conds.count; ++i) {
    const SZqlCondition& c = b.conds.recs[i];
    pack->add(kCondErr, c.err);
    if (c.sqlstate[0] != '\0') pack->add(kCondSqlstate, c.sqlstate);
    if (HasText(c.msg)) pack->add(kCondMsg, *c.msg);
    if (HasText(c.params)) pack->add(kCondDiag, *c.params);
    pack->add(kZqlPackEnd, int32_t{0});
  }
  pack->add(kZqlPackEnd, int32_t{0});
}

// The descriptor sets the command calls for: columns with a described
// select, descriptions or values of the parameters, the values of a row.
void CZqlDDA::packSetsTo(CZqlObjPack* pack) const {
  const SZqlDiag& b = *body_;
  const int cmd = b.cmdStmType;
  const int stm = b.stmType;
  const bool describing = cmd == kZqlStmPrepare || cmd == kZqlStmAllocCursor;
  const bool query = stm == kZqlStmSelect || stm == kZqlStmCursor;
  if (describing && query && b.columns != nullptr && b.columns->Count() > 0) {
    pack->add(kLabelColumns, int32_t{0});
    b.columns->packTo(pack);
  }
  if (b.params != nullptr && b.params->Count() > 0) {
    int flag = -1;
    if ((cmd == kZqlStmPrepare && stm != kZqlStmUndefined) ||
        (cmd == kZqlStmAllocCursor && stm == kZqlStmCursor)) {
      flag = 1;
    } else if (stm == kZqlStmUndefined &&
               (cmd == kZqlStmExecute || cmd == kZqlStmOpen)) {
      flag = 0;
    }
    if (flag >= 0) {
      b.params->setPackFlag(flag);
      pack->add(kLabelParams, int32_t{0});
      b.params->packTo(pack);
    }
  }
  const bool row = (cmd == kZqlStmFetch && stm == kZqlStmCursor) ||
                   (cmd == kZqlStmExecute && stm == kZqlStmSelect);
  if (row && b.output != nullptr) {
    pack->add(kLabelOutput, int32_t{0});
    b.output->packValueTo(pack);
  }
}

int CZqlDDA::unpackFrom(CZqlObjPack* pack) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (pack == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    if (pack->getNext() != kLabelVersion || pack->getSize() != sizeof(int32_t) ||
        pack->getInt32(true) != kZqlDDAPackVersion) {
      ZQL_RAISE(kZqlErrInternalZQLError);
    }
    if (body_ == nullptr && !Init()) return 0;
    // The row count and error position are the last statement's, and a pack
    // leaves them out when they are 0: without them they are 0 again, not
    // what an earlier statement left.
    body_->rowCount = 0;
    body_->errPos = 0;
    for (int label = pack->getNext(); label != kZqlPackEnd; label = pack->getNext()) {
      unpackItem(pack, label);
    }
    return 1;
  });
}

void CZqlDDA::unpackItem(CZqlObjPack* pack, int label) {
  SZqlDiag& b = *body_;
  switch (label) {
    case kLabelStmType: b.stmType = pack->getInt32(true); break;
    case kLabelRowCount: b.rowCount = pack->getInt32(true); break;
    case kLabelErrPos: b.errPos = pack->getInt32(true); break;
    case kLabelCsrState: b.csrState = pack->getInt32(true); break;
    case kLabelCsrUpd: b.csrUpd = pack->getInt32(true); break;
    case kLabelSUTable: ReadText(pack, &b.suTable); break;
    case kLabelDbmsName: ReadText(pack, &b.dbmsName); break;
    case kLabelDbmsStatus: b.dbmsStatus = static_cast<uint32_t>(pack->getInt32(true)); break;
    case kLabelConditions: unpackCondFrom(pack); break;
    case kLabelColumns:
      // New columns invalidate the outputs that point into the old ones.
      delete b.output;
      b.output = nullptr;
      if (b.columns == nullptr) b.columns = new CZqlDDAColumns;
      b.columns->unpackFrom(pack);
      break;
    case kLabelParams:
      if (b.params == nullptr) b.params = new CZqlDDAParams;
      unpackParams(pack);
      break;
    case kLabelOutput:
      // Values without columns to build their outputs from are malformed.
      if (b.output == nullptr) {
        if (b.columns == nullptr || !b.columns->hasBody()) ZQL_RAISE(kZqlErrInternalZQLError);
        b.output = b.columns->CreateOutput();
        if (b.output == nullptr) return;
      }
      b.output->unpackValueFrom(pack);
      break;
    default:
      break;  // unknown labels are skipped
  }
}

// Values for parameters this area does not have are a malformed reply like
// any other, whatever the set itself calls the mismatch.
void CZqlDDA::unpackParams(CZqlObjPack* pack) {
  if (ZqlTry([&] { body_->params->unpackFrom(pack); })) return;
  const int code = ZqlTryCode();
  ZQL_RAISE(code == kZqlErrInvalidCZqlDDAObject ? kZqlErrInternalZQLError : code);
}

// The condition block replaces the stack: its count sets the capacity, its
// conditions are pushed oldest first, and two terminators in a row end it.
void CZqlDDA::unpackCondFrom(CZqlObjPack* pack) {
  if (pack->getNext() != kLabelCondCount) ZQL_RAISE(kZqlErrInternalZQLError);
  if (!SetCondQty(pack->getInt32(true))) return;
  SZqlDiag& b = *body_;
  int previous = -1;
  for (;;) {
    const int label = pack->getNext();
    if (label == kZqlPackEnd && previous == kZqlPackEnd) return;
    SZqlCondition* c = b.conds.Working();
    switch (label) {
      case kLabelMore: b.more = pack->getInt32(true) != 0 ? 1 : 0; break;
      case kCondErr: c->err = pack->getInt32(true); break;
      case kCondSqlstate: {
        // The payload need not be terminated: copy at most its own bytes.
        const uint32_t n = pack->getSize() < 5 ? pack->getSize() : 5;
        std::memset(c->sqlstate, 0, sizeof c->sqlstate);
        if (n > 0) std::memcpy(c->sqlstate, pack->getPtr(), n);
        break;
      }
      case kCondMsg: ReadText(pack, &c->msg); break;
      case kCondDiag: ReadText(pack, &c->params); break;
      case kZqlPackEnd:
        // A record that cannot join the stack must not leak its strings
        // into the next condition.
        if (!PushCond()) DropRecord(c);
        break;
      default: break;
    }
    previous = label;
  }
}
