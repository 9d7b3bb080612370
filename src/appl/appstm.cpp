// CZqlStm: what statements and cursors share - the descriptions their area
// holds and the bindings of parameters and result columns.

#include <cstring>

#include "zqldispa.h"
#include "zqlstm.h"

namespace {

// The binding set *set, made anew with n links when it has another size;
// drop() releases the old one first.
template <class Drop>
CZqlHostBind* Links(CZqlHostBind** set, int n, Drop&& drop) {
  if (*set != nullptr && (*set)->Count() != n) drop();
  if (*set == nullptr) *set = new CZqlHostBind(n);
  return *set;
}

// 1 when the SQLSTATE of condition i is not a warning or success.
bool IsError(const CZqlDDA* dda, int i) {
  const char* state = dda->SQLSTATE(i);
  return state != nullptr && std::strncmp(state, "01", 2) != 0 &&
         std::strncmp(state, "00", 2) != 0;
}

}  // namespace

CZqlStm::CZqlStm() : inputs(nullptr), outputs(nullptr) {}

CZqlStm::~CZqlStm() { dropBindings(); }

void CZqlStm::dropBindings() noexcept {
  dropInputs();
  dropOutputs();
}

void CZqlStm::dropInputs() noexcept {
  // The parameters may point at values the input links own.
  if (dda != nullptr && inputs != nullptr) {
    ZqlTry([&] {
      CZqlDDAParams* params = dda->Params();
      const int n = params != nullptr ? params->Count() : 0;
      for (int i = 0; i < n; ++i) params->Dsc(i)->setBind(nullptr);
    });
  }
  delete inputs;
  inputs = nullptr;
}

void CZqlStm::rebindInputs() {
  if (inputs == nullptr) return;
  if (inputs->Count() != dda->ParCount()) {
    dropInputs();
    return;
  }
  for (int i = 0; i < inputs->Count(); ++i) {
    CZqlData* value = (*inputs)[i]->getData();
    if (value != nullptr) dda->ParDsc(i)->setBind(value);
  }
}

void CZqlStm::dropOutputs() noexcept {
  delete outputs;
  outputs = nullptr;
}

// ---------------------------------------------------------------------------
// Parameters
// ---------------------------------------------------------------------------

int CZqlStm::ParamQty() const {
  int n = 0;
  Protect([&] {
    if (isInit()) n = dda->ParCount();
  });
  return n;
}

CZqlParameter* CZqlStm::ParamDsc(int i) const {
  CZqlParameter* p = nullptr;
  Protect([&] {
    if (!isInit()) return;
    if (i < 0 || i >= dda->ParCount()) ZQL_PUSH_RAISE(kZqlErrInvalidDescriptorIndex);
    p = dda->ParDsc(i);
  });
  return p;
}

template <class Link>
int CZqlStm::bindAt(int i, Link&& link) {
  return Protect([&] {
    if (!isInit()) return;
    const int n = dda->ParCount();
    if (i < 0 || i >= n) ZQL_PUSH_RAISE(kZqlErrInvalidDescriptorIndex);
    CZqlHostBind* set = Links(&inputs, n, [&] { dropInputs(); });
    if (!link((*set)[i], dda->ParDsc(i))) ZQL_PUSH_RAISE(kZqlErrDataTypesMismatch);
  });
}

template <class Link>
int CZqlStm::bindNamed(const CZqlIdent& name, Link&& link) {
  return Protect([&] {
    if (!isInit()) return;
    const int n = dda->ParCount();
    int matched = 0;
    for (int i = 0; i < n; ++i) {
      CZqlParameter* p = dda->ParDsc(i);
      if (!(p->Name() == name)) continue;
      CZqlHostBind* set = Links(&inputs, n, [&] { dropInputs(); });
      if (!link((*set)[i], p)) ZQL_PUSH_RAISE(kZqlErrDataTypesMismatch);
      ++matched;
    }
    if (matched == 0) ZQL_PUSH_RAISE(kZqlErrInvalidDescriptorIndex);
  });
}

int CZqlStm::Bind(int i, CZqlData* value) {
  return bindAt(i, [&](CZqlHostLink* link, CZqlParameter* p) {
    if (value == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    return link->init(value, p);
  });
}

int CZqlStm::Bind(int i, void* buffer, int16_t* indicator, int32_t length, EZqlHostType type) {
  return bindAt(i, [&](CZqlHostLink* link, CZqlParameter* p) {
    return link->init(type, buffer, indicator, length, p);
  });
}

int CZqlStm::Bind(const CZqlIdent& name, CZqlData* value) {
  if (value == nullptr) {
    return Protect([&] {
      if (isInit()) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    });
  }
  return bindNamed(name, [&](CZqlHostLink* link, CZqlParameter* p) {
    return link->init(value, p);
  });
}

int CZqlStm::Bind(const CZqlIdent& name, void* buffer, int16_t* indicator, int32_t length,
                  EZqlHostType type) {
  return bindNamed(name, [&](CZqlHostLink* link, CZqlParameter* p) {
    return link->init(type, buffer, indicator, length, p);
  });
}

int CZqlStm::pInput() {
  return ProtectRaising([&] {
    NeedArea();
    if (inputs == nullptr) return;
    // Links made for other parameters than the area describes bind none.
    if (inputs->Count() != dda->ParCount() || !inputs->isAllBound())
      ZQL_PUSH_RAISE(kZqlErrUsingClauseRequiredForDynamicParameter);
    if (!inputs->prepare()) ZQL_PUSH_RAISE(kZqlErrUsingClauseDoesNotMatchDynamicParameterSpecification);
  });
}

// ---------------------------------------------------------------------------
// Result columns
// ---------------------------------------------------------------------------

int CZqlStm::ColQty() const {
  int n = -1;
  Protect([&] {
    if (isInit()) n = dda->ColCount();
  });
  return n;
}

CZqlColumn* CZqlStm::ColDsc(int i) const {
  CZqlColumn* c = nullptr;
  Protect([&] {
    if (!isInit()) return;
    if (i < 0 || i >= dda->ColCount()) ZQL_PUSH_RAISE(kZqlErrInvalidDescriptorIndex);
    c = dda->ColDsc(i);
  });
  return c;
}

template <class Link>
int CZqlStm::sobAt(int i, Link&& link) {
  return Protect([&] {
    if (!isInit()) return;
    const int n = dda->ColCount();
    if (i < 0 || i >= n) ZQL_PUSH_RAISE(kZqlErrInvalidDescriptorIndex);
    CZqlHostBind* set = Links(&outputs, n, [&] { dropOutputs(); });
    if (!link((*set)[i], dda->ColDsc(i))) ZQL_PUSH_RAISE(kZqlErrDataTypesMismatch);
  });
}

int CZqlStm::Sob(int i, CZqlData* target) {
  return sobAt(i, [&](CZqlHostLink* link, CZqlColumn* c) {
    if (target == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    return link->init(target, c);
  });
}

int CZqlStm::Sob(int i, void* buffer, int16_t* indicator, int32_t length, EZqlHostType type) {
  return sobAt(i, [&](CZqlHostLink* link, CZqlColumn* c) {
    return link->init(type, buffer, indicator, length, c);
  });
}

// The value column i holds in the current row, or null (no row yet).
CZqlData* CZqlStm::currentValue(int i) const {
  if (i < 0 || i >= dda->ColCount()) ZQL_PUSH_RAISE(kZqlErrInvalidDescriptorIndex);
  const CZqlDDAOutput* row = dda->Output();
  if (row == nullptr || i >= row->Count()) return nullptr;
  CZqlData* value = nullptr;
  row->Dsc(i)->getBind(&value);
  return value;
}

const CZqlData* CZqlStm::rawValue(int i, uint32_t id, EZqlError missing) const {
  NeedArea();
  if (i < 0 || i >= dda->ColCount()) ZQL_PUSH_RAISE(kZqlErrInvalidDescriptorIndex);
  if (id == 0 || dispatcher == nullptr) ZQL_PUSH_RAISE(missing);
  const CZqlData* value = currentValue(i);
  // Implementation-defined values of the high type numbers have no raw form.
  if (value == nullptr || (value->Type() == kZqlTypeImplDef &&
                           value->ImplDataType() >= kZqlImplTypeNoRaw))
    return nullptr;
  return value;
}

int CZqlStm::Cvl(int i, CZqlData* target) {
  return Protect([&] {
    if (!isInit()) return;
    if (target == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    const CZqlData* value = currentValue(i);
    if (value == nullptr) ZQL_PUSH_RAISE(kZqlErrNoData0200);
    if (!target->storeValue(*value)) ZQL_PUSH_RAISE(kZqlErrDataTypesMismatch);
  });
}

int CZqlStm::Cvl(int i, void* buffer, int16_t* indicator, int32_t length, EZqlHostType type) {
  int answer = 0;
  Protect([&] {
    if (!isInit()) return;
    if (outputs != nullptr) ZQL_PUSH_RAISE(kZqlErrCvlWithOutputBindings);
    const CZqlData* value = currentValue(i);
    if (value == nullptr) ZQL_PUSH_RAISE(kZqlErrNoData0200);
    CZqlHostLink link;
    link.init(type, buffer, indicator, length);
    answer = link.writeToBuffer(value, dda);
  });
  return answer;
}

int CZqlStm::CvlInt(int i, CZqlData* target) const {
  int stored = 0;
  ProtectRaising([&] {
    NeedArea();
    if (target == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    stored = storeCurrent(i, target) ? 1 : 0;
  });
  return stored;
}

bool CZqlStm::storeCurrent(int i, CZqlData* target) const {
  const CZqlData* value = currentValue(i);
  if (value == nullptr) return false;
  if (!target->storeValue(*value)) ZQL_PUSH_RAISE(kZqlErrDataTypesMismatch);
  return true;
}

void CZqlStm::deliverRow() const {
  if (outputs == nullptr) return;
  zql_detail::WidenConditions(dda);
  const int before = dda->CondCount();
  if (!outputs->fetchBuffers(dda)) ZQL_PUSH_RAISE(kZqlErrNoData0200);
  // A binding that refused its value left an error condition; the row did
  // not arrive whole.
  for (int i = dda->CondCount() - before - 1; i >= 0; --i)
    if (IsError(dda, i)) ZQL_RAISE(static_cast<EZqlError>(dda->Err(i)));
}
