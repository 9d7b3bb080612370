// The descriptor sets of a descriptor area: result columns, dynamic
// parameters and the output values of the current row.

#include <memory>

#include "objpack.h"
#include "zqlcol.h"
#include "zqldda.h"
#include "zqlsdata.h"

namespace {

// Labels inside a packed set.
enum : int {
  kLabelCount = 0,
  kLabelFlag = 1,
  kLabelValue = 10,  // a parameter value's data descriptor group
};


// Reads the count item that opens a packed set. -1 after damage.
int ReadCount(CZqlObjPack* pack) {
  if (pack->getNext() != kLabelCount) ZQL_RAISE(kZqlErrInternalZQLError);
  const int32_t n = pack->getInt32();
  if (n < 0 || n > kZqlDDAMaxDescriptors) ZQL_RAISE(kZqlErrInternalZQLError);
  return n;
}

}  // namespace

// ---------------------------------------------------------------------------
// The shared life cycle
// ---------------------------------------------------------------------------

template <class T>
CZqlDscSetBase<T>::CZqlDscSetBase() : body_(nullptr) {}

template <class T>
CZqlDscSetBase<T>::CZqlDscSetBase(int n) : body_(nullptr) {
  Create(n);
}

template <class T>
CZqlDscSetBase<T>::CZqlDscSetBase(const CZqlDscSetBase& other)
    : CZqlObject(other), body_(other.body_) {
  if (body_ != nullptr) ++body_->refCount;
}

template <class T>
CZqlDscSetBase<T>& CZqlDscSetBase<T>::operator=(const CZqlDscSetBase& other) {
  if (other.body_ == body_) return *this;
  SZqlDscSet<T>* keep = other.body_;
  if (keep != nullptr) ++keep->refCount;
  Clear();
  body_ = keep;
  return *this;
}

template <class T>
CZqlDscSetBase<T>::~CZqlDscSetBase() {
  Clear();
}

template <class T>
void CZqlDscSetBase<T>::Clear() {
  SZqlDscSet<T>* b = body_;
  body_ = nullptr;
  if (b == nullptr || --b->refCount > 0) return;
  delete[] b->elems;
  ZqlMemoryFree(b);
}

template <class T>
void CZqlDscSetBase<T>::Create(int n) {
  ZqlEntryVoid([&] {
    if (n < 1 || n > kZqlDDAMaxDescriptors) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    std::unique_ptr<T[]> elems(new T[n]);
    auto* b = static_cast<SZqlDscSet<T>*>(ZqlMemoryCalloc(1, sizeof(SZqlDscSet<T>)));
    if (b == nullptr) return;
    b->refCount = 1;
    b->count = n;
    b->elems = elems.release();
    b->packFlag = 1;
    Clear();
    body_ = b;
  });
}

template <class T>
T* CZqlDscSetBase<T>::Dsc(int i) const {
  return ZqlEntry<T*>(nullptr, [&]() -> T* {
    if (body_ == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlDDAObject);
    if (i < 0 || i >= body_->count) ZQL_RAISE(kZqlErrIndexInOutOfRange);
    return &body_->elems[i];
  });
}

template <class T>
int CZqlDscSetBase<T>::Count() const {
  return body_ != nullptr ? body_->count : 0;
}

template class CZqlDscSetBase<CZqlColumn>;
template class CZqlDscSetBase<CZqlParameter>;
template class CZqlDscSetBase<CZqlOutput>;

// ---------------------------------------------------------------------------
// Columns
// ---------------------------------------------------------------------------

CZqlDDAColumns* CZqlDDAColumns::duplicate() const {
  if (body_ == nullptr) return new CZqlDDAColumns;
  std::unique_ptr<CZqlDDAColumns> copy(new CZqlDDAColumns(body_->count));
  if (!copy->hasBody()) return nullptr;
  for (int i = 0; i < body_->count; ++i) copy->body_->elems[i] = body_->elems[i];
  return copy.release();
}

CZqlDDAOutput* CZqlDDAColumns::CreateOutput() const {
  return ZqlEntry<CZqlDDAOutput*>(nullptr, [&]() -> CZqlDDAOutput* {
    if (body_ == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlDDAObject);
    std::unique_ptr<CZqlDDAOutput> output(new CZqlDDAOutput(body_->count));
    if (!output->hasBody()) return nullptr;
    for (int i = 0; i < body_->count; ++i) {
      CZqlColumn& column = body_->elems[i];
      if (column.getData() == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
      CZqlOutput* out = output->Dsc(i);
      out->setColumn(&column);
      out->setBind(column.getData()->duplicate());
    }
    return output.release();
  });
}

unsigned int CZqlDDAColumns::packSize() const {
  CZqlObjPack sizing;
  packTo(&sizing);
  return sizing.Size();
}

int CZqlDDAColumns::packTo(CZqlObjPack* pack) const {
  if (pack == nullptr) return 0;
  pack->add(kLabelCount, static_cast<int32_t>(Count()));
  for (int i = 0; i < Count(); ++i) body_->elems[i].packTo(pack);
  return static_cast<int>(pack->Size());
}

int CZqlDDAColumns::unpackFrom(CZqlObjPack* pack) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (pack == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    Clear();
    const int n = ReadCount(pack);
    if (n == 0) ZQL_RAISE(kZqlErrInternalZQLError);
    if (n < 0) return 0;
    // Built aside, so a damaged column leaves the set without body rather
    // than half read.
    CZqlDDAColumns fresh(n);
    if (!fresh.hasBody()) return 0;
    for (int i = 0; i < n; ++i) {
      if (!fresh.body_->elems[i].unpackFrom(pack)) return 0;
    }
    *this = fresh;
    return 1;
  });
}

// ---------------------------------------------------------------------------
// Parameters
// ---------------------------------------------------------------------------

CZqlDDAParams* CZqlDDAParams::duplicate() const {
  if (body_ == nullptr) return new CZqlDDAParams;
  std::unique_ptr<CZqlDDAParams> copy(new CZqlDDAParams(body_->count));
  if (!copy->hasBody()) return nullptr;
  copy->body_->packFlag = body_->packFlag;
  copy->body_->received = body_->received;
  for (int i = 0; i < body_->count; ++i) {
    copy->body_->elems[i].assign(body_->elems[i]);
  }
  return copy.release();
}

void CZqlDDAParams::setPackFlag(int flag) const {
  if (body_ != nullptr) body_->packFlag = flag != 0 ? 1 : 0;
}

int CZqlDDAParams::PackFlag() const {
  return body_ != nullptr ? body_->packFlag : 0;
}

int CZqlDDAParams::ValuesReceived() const {
  return body_ != nullptr ? body_->received : 0;
}

unsigned int CZqlDDAParams::packSize() const {
  CZqlObjPack sizing;
  packTo(&sizing);
  return sizing.Size();
}

int CZqlDDAParams::packTo(CZqlObjPack* pack) const {
  if (pack == nullptr) return 0;
  const int flag = PackFlag();
  pack->add(kLabelCount, static_cast<int32_t>(Count()));
  pack->add(kLabelFlag, static_cast<int32_t>(flag));
  for (int i = 0; i < Count(); ++i) {
    const CZqlParameter& p = body_->elems[i];
    CZqlData* value = nullptr;
    if (flag == 1) {
      p.packTo(pack);
    } else if (p.getBind(&value)) {
      ZqlPackDataDescriptor(pack, kLabelValue, *value);
    }
  }
  return static_cast<int>(pack->Size());
}

int CZqlDDAParams::unpackFrom(CZqlObjPack* pack) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (pack == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    const int n = ReadCount(pack);
    if (n < 0) return 0;
    if (pack->getNext() != kLabelFlag) ZQL_RAISE(kZqlErrInternalZQLError);
    const int32_t flag = pack->getInt32();
    if (flag == 1) {
      Clear();
      if (n == 0) return 1;
      CZqlDDAParams fresh(n);
      if (!fresh.hasBody()) return 0;
      for (int i = 0; i < n; ++i) {
        if (!fresh.body_->elems[i].unpackFrom(pack)) return 0;
      }
      *this = fresh;
      return 1;
    }
    if (flag != 0) ZQL_RAISE(kZqlErrInternalZQLError);
    if (body_ == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlDDAObject);
    if (n != body_->count) ZQL_RAISE(kZqlErrInternalZQLError);
    body_->received = 1;
    for (int i = 0; i < n; ++i) {
      CZqlParameter& p = body_->elems[i];
      p.setBind(nullptr);  // frees a value received before
      if (pack->getNext() != kLabelValue) ZQL_RAISE(kZqlErrInternalZQLError);
      CZqlData* value = ZqlUnpackDataDescriptor(pack, kLabelValue);
      if (value == nullptr) return 0;
      p.adoptBind(value);
    }
    return 1;
  });
}

// ---------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------

CZqlDDAOutput* CZqlDDAOutput::duplicate() const {
  if (body_ == nullptr) return new CZqlDDAOutput;
  std::unique_ptr<CZqlDDAOutput> copy(new CZqlDDAOutput(body_->count));
  if (!copy->hasBody()) return nullptr;
  for (int i = 0; i < body_->count; ++i) {
    const CZqlOutput& from = body_->elems[i];
    CZqlOutput& to = copy->body_->elems[i];
    to.setColumn(from.Column());
    CZqlData* value = nullptr;
    if (from.getBind(&value) && from.Column() != nullptr) {
      to.setBind(value->duplicate());
    }
  }
  return copy.release();
}

unsigned int CZqlDDAOutput::packSize() const {
  CZqlObjPack sizing;
  packTo(&sizing);
  return sizing.Size();
}

int CZqlDDAOutput::packTo(CZqlObjPack* pack) const {
  if (pack == nullptr) return 0;
  pack->add(kLabelCount, static_cast<int32_t>(Count()));
  for (int i = 0; i < Count(); ++i) body_->elems[i].packTo(pack);
  return static_cast<int>(pack->Size());
}

unsigned int CZqlDDAOutput::packValueSize() const {
  CZqlObjPack sizing;
  packValueTo(&sizing);
  return sizing.Size();
}

int CZqlDDAOutput::packValueTo(CZqlObjPack* pack) const {
  if (pack == nullptr) return 0;
  pack->add(kLabelCount, static_cast<int32_t>(Count()));
  for (int i = 0; i < Count(); ++i) body_->elems[i].packValueTo(pack);
  return static_cast<int>(pack->Size());
}

int CZqlDDAOutput::unpackFrom(CZqlObjPack* pack) { return unpackAll(pack, 0); }

int CZqlDDAOutput::unpackValueFrom(CZqlObjPack* pack) {
  return unpackAll(pack, 1);
}

int CZqlDDAOutput::unpackAll(CZqlObjPack* pack, int values) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (pack == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    const int n = ReadCount(pack);
    if (n < 0) return 0;
    if (n != Count()) ZQL_RAISE(kZqlErrInternalZQLError);
    for (int i = 0; i < n; ++i) {
      CZqlOutput& out = body_->elems[i];
      if (!(values ? out.unpackValueFrom(pack) : out.unpackFrom(pack))) return 0;
    }
    return 1;
  });
}
