// The descriptors of a descriptor area: parameters, output slots and result
// columns, with their packed forms.

#include <memory>

#include "objpack.h"
#include "zqlcol.h"
#include "zqldda.h"

namespace {

// Labels shared by the descriptors' packed forms.
enum : int {
  kLabelVersion = 0,
  kLabelValue = 10,   // the value's data descriptor group
  kLabelMarker = 12,  // before a value form
};

// Labels of a parameter.
enum : int {
  kParName = 2,
  kParNullable = 3,
};

// Labels of a column.
enum : int {
  kColName = 1,
  kColNullable = 2,
  kColNative = 3,
  kColDomain = 5,
  kColOffset = 6,
  kColDefault = 20,
};


// Reads the version item that opens every descriptor: 1, or 0 after
// raising 0xA00C.
int ReadVersion(CZqlObjPack* pack) {
  if (pack == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
  if (pack->getNext() != kLabelVersion || pack->getInt32() != kZqlDDAPackVersion) {
    ZQL_RAISE(kZqlErrInternalZQLError);
  }
  return 1;
}

// Replaces *slot by the value of the group at the current item.
void ReadValue(CZqlObjPack* pack, int label, CZqlData** slot) {
  CZqlData* value = ZqlUnpackDataDescriptor(pack, label);
  if (value == nullptr) return;
  delete *slot;
  *slot = value;
}

void PackName(CZqlObjPack* pack, int label, const CZqlIdent& name) {
  if (name.Length() == 0) return;
  pack->add(label, int32_t{0});
  name.packTo(pack);
}

void PackFlag(CZqlObjPack* pack, int label, EZqlBoolean flag) {
  if (flag != kZqlTrue) pack->add(label, static_cast<int32_t>(flag));
}

void PackValue(CZqlObjPack* pack, int label, const CZqlData* value) {
  if (value != nullptr) ZqlPackDataDescriptor(pack, label, *value);
}

EZqlBoolean AsFlag(int32_t v) { return v != 0 ? kZqlTrue : kZqlFalse; }

// A duplicate of value, or null for null.
CZqlData* Copy(const CZqlData* value) {
  return value != nullptr ? value->duplicate() : nullptr;
}

unsigned int Sized(const CZqlObject& object, bool values) {
  CZqlObjPack sizing;
  if (values) object.packValueTo(&sizing);
  else object.packTo(&sizing);
  return sizing.Size();
}

}  // namespace

// ---------------------------------------------------------------------------
// CZqlHostBuffer
// ---------------------------------------------------------------------------

int CZqlHostBuffer::getBind(CZqlData** out) const {
  if (out == nullptr) return 0;
  *out = bind_;
  return bind_ != nullptr ? 1 : 0;
}

int CZqlHostBuffer::setBind(CZqlData* value) {
  bind_ = value;
  return 1;
}

// ---------------------------------------------------------------------------
// CZqlParameter
// ---------------------------------------------------------------------------

CZqlParameter::CZqlParameter() : dsc_(nullptr), nullable_(kZqlTrue), owned_(0) {}

CZqlParameter::~CZqlParameter() {
  unbind();
  delete dsc_;
}

void CZqlParameter::unbind() {
  if (owned_) delete bind_;
  bind_ = nullptr;
  owned_ = 0;
}

void CZqlParameter::Clear() {
  delete dsc_;
  dsc_ = nullptr;
}

int CZqlParameter::setBind(CZqlData* value) {
  if (value == nullptr) {
    unbind();
    return 1;
  }
  if (dsc_ == nullptr) return 0;
  if (value != bind_) {
    unbind();
    bind_ = value;
  }
  return 1;
}

int CZqlParameter::adoptBind(CZqlData* value) {
  if (value == nullptr || dsc_ == nullptr) {
    delete value;
    return 0;
  }
  if (value != bind_) unbind();
  bind_ = value;
  owned_ = 1;
  return 1;
}

void CZqlParameter::assign(const CZqlParameter& other) {
  if (&other == this) return;
  setName(other.name_);
  setDsc(other.dsc_);
  nullable_ = other.nullable_;
  unbind();
  if (other.owned_ && other.bind_ != nullptr) {
    adoptBind(other.bind_->duplicate());
  } else {
    bind_ = other.bind_;
  }
}

void CZqlParameter::setName(const CZqlIdent& name) { name_ = name; }

void CZqlParameter::setDsc(const CZqlData* dsc) {
  CZqlData* copy = Copy(dsc);
  delete dsc_;
  dsc_ = copy;
}

unsigned int CZqlParameter::packSize() const { return Sized(*this, false); }

int CZqlParameter::packTo(CZqlObjPack* pack) const {
  if (pack == nullptr) return 0;
  pack->add(kLabelVersion, kZqlDDAPackVersion);
  PackName(pack, kParName, name_);
  PackFlag(pack, kParNullable, nullable_);
  PackValue(pack, kLabelValue, dsc_);
  pack->add(kZqlPackEnd, int32_t{0});
  return static_cast<int>(pack->Size());
}

int CZqlParameter::unpackFrom(CZqlObjPack* pack) {
  if (!ReadVersion(pack)) return 0;
  name_.Clear();
  Clear();
  nullable_ = kZqlTrue;
  for (int label = pack->getNext(); label != kZqlPackEnd; label = pack->getNext()) {
    switch (label) {
      case kParName: name_.unpackFrom(pack); break;
      case kParNullable: nullable_ = AsFlag(pack->getInt32()); break;
      case kLabelValue: ReadValue(pack, label, &dsc_); break;
      default: break;
    }
  }
  return 1;
}

// ---------------------------------------------------------------------------
// CZqlOutput
// ---------------------------------------------------------------------------

CZqlOutput::~CZqlOutput() { delete bind_; }

int CZqlOutput::setBind(CZqlData* value) {
  if (column_ == nullptr) return 0;
  if (value != bind_) {
    delete bind_;
    bind_ = value;
  }
  return 1;
}

unsigned int CZqlOutput::packSize() const { return Sized(*this, false); }

int CZqlOutput::packTo(CZqlObjPack* pack) const {
  if (pack == nullptr) return 0;
  pack->add(kLabelVersion, kZqlDDAPackVersion);
  PackValue(pack, kLabelValue, bind_);
  pack->add(kZqlPackEnd, int32_t{0});
  return static_cast<int>(pack->Size());
}

int CZqlOutput::unpackFrom(CZqlObjPack* pack) {
  if (!ReadVersion(pack)) return 0;
  for (int label = pack->getNext(); label != kZqlPackEnd; label = pack->getNext()) {
    if (label == kLabelValue) ReadValue(pack, label, &bind_);
  }
  return 1;
}

unsigned int CZqlOutput::packValueSize() const { return Sized(*this, true); }

int CZqlOutput::packValueTo(CZqlObjPack* pack) const {
  if (pack == nullptr) return 0;
  pack->add(kLabelVersion, kZqlDDAPackVersion);
  if (bind_ != nullptr) {
    pack->add(kLabelMarker, int32_t{0});
    bind_->packValueTo(pack);
  }
  pack->add(kZqlPackEnd, int32_t{0});
  return static_cast<int>(pack->Size());
}

int CZqlOutput::unpackValueFrom(CZqlObjPack* pack) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (!ReadVersion(pack)) return 0;
    for (int label = pack->getNext(); label != kZqlPackEnd; label = pack->getNext()) {
      if (label != kLabelMarker) continue;
      // Without a value there is nothing to read the value's items into.
      if (bind_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
      if (!bind_->unpackValueFrom(pack)) return 0;
    }
    return 1;
  });
}

// ---------------------------------------------------------------------------
// CZqlColumn
// ---------------------------------------------------------------------------

CZqlColumn::CZqlColumn()
    : dataDsc_(nullptr),
      nullable_(kZqlTrue),
      native_(kZqlTrue),
      deflt_(nullptr),
      offset_(0) {}

CZqlColumn::CZqlColumn(const CZqlIdent& name) : CZqlColumn() { name_ = name; }

CZqlColumn::CZqlColumn(const CZqlIdent& name, const CZqlIdent& domain)
    : CZqlColumn() {
  name_ = name;
  domain_ = domain;
}

CZqlColumn::CZqlColumn(const CZqlIdent& name, const CZqlData* value)
    : CZqlColumn() {
  name_ = name;
  dataDsc_ = Copy(value);
}

CZqlColumn::CZqlColumn(const CZqlIdent& name, const CZqlData& value)
    : CZqlColumn(name, &value) {}

CZqlColumn::CZqlColumn(const CZqlColumn& other) : CZqlColumn() { *this = other; }

CZqlColumn& CZqlColumn::operator=(const CZqlColumn& other) {
  if (&other == this) return *this;
  // Both copies first, so a failure leaves this column as it was.
  std::unique_ptr<CZqlData> data(Copy(other.dataDsc_));
  std::unique_ptr<CZqlData> deflt(Copy(other.deflt_));
  name_ = other.name_;
  domain_ = other.domain_;
  delete dataDsc_;
  dataDsc_ = data.release();
  delete deflt_;
  deflt_ = deflt.release();
  nullable_ = other.nullable_;
  native_ = other.native_;
  offset_ = other.offset_;
  return *this;
}

CZqlColumn::~CZqlColumn() {
  delete dataDsc_;
  delete deflt_;
}

CZqlColumn* CZqlColumn::duplicate() const { return new CZqlColumn(*this); }

void CZqlColumn::Clear() {
  name_.Clear();
  domain_.Clear();
  delete dataDsc_;
  dataDsc_ = nullptr;
  delete deflt_;
  deflt_ = nullptr;
  nullable_ = kZqlTrue;
  native_ = kZqlTrue;
  offset_ = 0;
}

void CZqlColumn::setName(const CZqlIdent& name) { name_ = name; }
void CZqlColumn::setDomain(const CZqlIdent& domain) { domain_ = domain; }

void CZqlColumn::setDataDsc(const CZqlData* value) {
  CZqlData* copy = Copy(value);
  delete dataDsc_;
  dataDsc_ = copy;
}

void CZqlColumn::setDefault(const CZqlData* value) {
  if (value == nullptr) return;
  CZqlData* copy = value->duplicate();
  delete deflt_;
  deflt_ = copy;
}

void CZqlColumn::setCollation(const CZqlUcStr& name) {
  if (dataDsc_ != nullptr && dataDsc_->is_character()) {
    static_cast<CZqlChar*>(dataDsc_)->setCollName(name);
  }
}

const CZqlUcStr* CZqlColumn::Collation() const {
  if (dataDsc_ == nullptr || !dataDsc_->is_character()) return nullptr;
  return &static_cast<const CZqlChar*>(dataDsc_)->CollName();
}

CZqlColumn& CZqlColumn::operator=(const CZqlData* value) {
  if (value != nullptr && dataDsc_ != nullptr) dataDsc_->storeValue(*value);
  return *this;
}

unsigned int CZqlColumn::packSize() const { return Sized(*this, false); }

int CZqlColumn::packTo(CZqlObjPack* pack) const {
  if (pack == nullptr) return 0;
  pack->add(kLabelVersion, kZqlDDAPackVersion);
  PackName(pack, kColName, name_);
  PackFlag(pack, kColNullable, nullable_);
  PackFlag(pack, kColNative, native_);
  PackName(pack, kColDomain, domain_);
  if (offset_ != 0) pack->add(kColOffset, static_cast<int32_t>(offset_));
  PackValue(pack, kLabelValue, dataDsc_);
  PackValue(pack, kColDefault, deflt_);
  pack->add(kZqlPackEnd, int32_t{0});
  return static_cast<int>(pack->Size());
}

int CZqlColumn::unpackFrom(CZqlObjPack* pack) {
  if (!ReadVersion(pack)) return 0;
  Clear();
  for (int label = pack->getNext(); label != kZqlPackEnd; label = pack->getNext()) {
    unpackItem(pack, label);
  }
  return 1;
}

void CZqlColumn::unpackItem(CZqlObjPack* pack, int label) {
  switch (label) {
    case kColName: name_.unpackFrom(pack); break;
    case kColNullable: nullable_ = AsFlag(pack->getInt32()); break;
    case kColNative: native_ = AsFlag(pack->getInt32()); break;
    case kColDomain: domain_.unpackFrom(pack); break;
    case kColOffset: offset_ = static_cast<uint32_t>(pack->getInt32()); break;
    case kLabelValue: ReadValue(pack, label, &dataDsc_); break;
    case kColDefault: ReadValue(pack, label, &deflt_); break;
    default: break;
  }
}

unsigned int CZqlColumn::packValueSize() const { return Sized(*this, true); }

int CZqlColumn::packValueTo(CZqlObjPack* pack) const {
  if (pack == nullptr) return 0;
  pack->add(kLabelVersion, kZqlDDAPackVersion);
  if (dataDsc_ != nullptr) {
    pack->add(kLabelMarker, int32_t{0});
    dataDsc_->packValueTo(pack);
  }
  pack->add(kZqlPackEnd, int32_t{0});
  return static_cast<int>(pack->Size());
}

int CZqlColumn::unpackValueFrom(CZqlObjPack* pack) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (!ReadVersion(pack)) return 0;
    for (int label = pack->getNext(); label != kZqlPackEnd; label = pack->getNext()) {
      if (label != kLabelMarker) continue;
      if (dataDsc_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
      if (!dataDsc_->unpackValueFrom(pack)) return 0;
    }
    return 1;
  });
}
