// apidata.cpp - CZqlData, the value base class: null indicator, attached
// object, base conversions, packing frame; the numeric tables; the data
// descriptor groups of the wire format.

#include <cstring>
#include <memory>

#include "objpack.h"
#include "zqlsdata.h"

const double ZqlNumScale[33] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10,
    1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21,
    1e22, 1e23, 1e24, 1e25, 1e26, 1e27, 1e28, 1e29, 1e30, 1e31, 1e32};

const double ZqlNumEpsilon[33] = {
    5e-1,  5e-2,  5e-3,  5e-4,  5e-5,  5e-6,  5e-7,  5e-8,  5e-9,  5e-10, 5e-11,
    5e-12, 5e-13, 5e-14, 5e-15, 5e-16, 5e-17, 5e-18, 5e-19, 5e-20, 5e-21, 5e-22,
    5e-23, 5e-24, 5e-25, 5e-26, 5e-27, 5e-28, 5e-29, 5e-30, 5e-31, 5e-32, 5e-33};

// Size of the text buffer through which values of different types meet.
static constexpr unsigned int kExchangeSize = 260;

char* zql_kill_pad_characters(char* text, char pad) {
  if (text == nullptr) return nullptr;
  while (*text == pad && *text != '\0') ++text;
  size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == pad) text[--n] = '\0';
  return text;
}

// ---------------------------------------------------------------------------
// Construction, copy, attached object
// ---------------------------------------------------------------------------

CZqlData::CZqlData() : null_(1), attached_(nullptr) {}

CZqlData::CZqlData(const CZqlData& other)
    : CZqlObject(other), null_(other.null_), attached_(nullptr) {
  if (other.attached_ != nullptr) attached_ = other.attached_->duplicate();
}

CZqlData& CZqlData::operator=(const CZqlData& other) {
  if (this == &other) return *this;
  CZqlObject* copy = other.attached_ != nullptr ? other.attached_->duplicate() : nullptr;
  Clear();
  attached_ = copy;
  null_ = other.null_;
  return *this;
}

CZqlData::~CZqlData() {
  delete attached_;
}

void CZqlData::Clear() {
  delete attached_;
  attached_ = nullptr;
}

// ---------------------------------------------------------------------------
// Packing frame
// ---------------------------------------------------------------------------

unsigned int CZqlData::packSize() const {
  CZqlObjPack sizing;
  packTo(&sizing);
  return sizing.Size();
}

int CZqlData::packTo(CZqlObjPack* pack) const {
  if (pack == nullptr) return 0;
  packItems(pack);
  pack->add(kZqlPackEnd, packEndValue());
  return static_cast<int>(pack->Size());
}

int CZqlData::unpackFrom(CZqlObjPack* pack) {
  if (pack == nullptr) return 0;
  null_ = 1;
  for (int label = pack->getNext(); label != kZqlPackEnd; label = pack->getNext()) {
    unpackItem(pack, label);
  }
  return 1;
}

unsigned int CZqlData::packValueSize() const { return packSize(); }
int CZqlData::packValueTo(CZqlObjPack* pack) const { return packTo(pack); }
int CZqlData::unpackValueFrom(CZqlObjPack* pack) { return unpackFrom(pack); }

void CZqlData::packItems(CZqlObjPack*) const {}
void CZqlData::unpackItem(CZqlObjPack*, int) {}
int32_t CZqlData::packEndValue() const { return Type(); }

// A known item whose payload width is wrong can only come from a damaged
// buffer; reading its bytes as the expected type would be meaningless.
template <class T>
static int ReadFixed(CZqlObjPack* pack, T* out) {
  if (pack->getSize() != sizeof(T) || !pack->getPackedValue(out)) {
    ZQL_PUSH_RAISE(kZqlErrInternalZQLError);
  }
  return 1;
}

int CZqlData::ReadItem(CZqlObjPack* pack, int16_t* out) {
  return ZqlEntry<int>(0, [&]() -> int {
    return ReadFixed(pack, out);
  });
}
int CZqlData::ReadItem(CZqlObjPack* pack, int32_t* out) {
  return ZqlEntry<int>(0, [&]() -> int {
    return ReadFixed(pack, out);
  });
}
int CZqlData::ReadItem(CZqlObjPack* pack, double* out) {
  return ZqlEntry<int>(0, [&]() -> int {
    return ReadFixed(pack, out);
  });
}

// ---------------------------------------------------------------------------
// Subcodes, attributes, families, compatibility: the base answers 0/null
// ---------------------------------------------------------------------------

int CZqlData::DateTimeType() const { return 0; }
EZqlIType CZqlData::IntervalType() const { return kZqlINone; }
int CZqlData::ImplDataType() const { return 0; }
unsigned int CZqlData::Length() const { return 0; }
unsigned int CZqlData::Precision() const { return 0; }
unsigned int CZqlData::Scale() const { return 0; }
unsigned int CZqlData::TimePrec() const { return 0; }
unsigned int CZqlData::TimeStampPrec() const { return 0; }
unsigned int CZqlData::LeadFieldPrec() const { return 0; }
unsigned int CZqlData::FracSecPrec() const { return 0; }
unsigned int CZqlData::ReturnLength() const { return 0; }

int CZqlData::is_numeric() const { return 0; }
int CZqlData::is_exactnumeric() const { return 0; }
int CZqlData::is_approxnumeric() const { return 0; }
int CZqlData::is_character() const { return 0; }
int CZqlData::is_binary() const { return 0; }
int CZqlData::is_datetime() const { return 0; }
int CZqlData::is_interval() const { return 0; }
int CZqlData::is_yminterval() const { return 0; }
int CZqlData::is_dtinterval() const { return 0; }
int CZqlData::is_implement() const { return 0; }

int CZqlData::is_comparable(const CZqlData*) const { return 0; }
int CZqlData::is_storable(const CZqlData*) const { return 0; }
int CZqlData::is_castable(const CZqlData*) const { return 0; }

CZqlData* CZqlData::checkAdd(const CZqlData*) const { return nullptr; }
CZqlData* CZqlData::checkSub(const CZqlData*) const { return nullptr; }
CZqlData* CZqlData::checkMul(const CZqlData*) const { return nullptr; }
CZqlData* CZqlData::checkDiv(const CZqlData*) const { return nullptr; }
CZqlData* CZqlData::checkCat(const CZqlData*) const { return nullptr; }

long CZqlData::read(char*, long, long) const { return 0; }
long CZqlData::size() const { return 0; }

long CZqlData::ReadRaw(const void* raw, long rawSize, char* buffer, long start, long count) {
  if (buffer == nullptr || raw == nullptr || count < 1 || start < 0 || start >= rawSize) return 0;
  const long n = count < rawSize - start ? count : rawSize - start;
  std::memcpy(buffer, static_cast<const char*>(raw) + start, static_cast<size_t>(n));
  return n;
}

void CZqlData::setNull() { null_ = 1; }
int CZqlData::isNull() const { return null_; }

// ---------------------------------------------------------------------------
// Base conversions
// ---------------------------------------------------------------------------

int CZqlData::storeValue(double) { return 0; }
int CZqlData::storeValue(long) { return 0; }
int CZqlData::storeValue(short) { return 0; }
int CZqlData::storeValue(const char*, unsigned int) { return 0; }
int CZqlData::storeValue(const CZqlUcStr&) { return 0; }
int CZqlData::storeValue(const char*, unsigned int, unsigned int*) { return 0; }

int CZqlData::storeValue(const CZqlData& other) {
  if (&other == this) return 1;
  if (other.isNull()) {
    setNull();
    return 1;
  }
  char text[kExchangeSize];
  if (!other.getValue(text, kExchangeSize)) return 0;
  return storeValue(text, kExchangeSize);
}

// The value's null state does not decide whether 16-bit text can be stored:
// a new (null) value must accept it like any other source.
int CZqlData::storeValue(const unsigned short* text) {
  if (text == nullptr) return 0;
  const CZqlUcStr str(text);
  return storeValue(str);
}

int CZqlData::getValue(double*) const { return 0; }
int CZqlData::getValue(long*) const { return 0; }
int CZqlData::getValue(short*) const { return 0; }
int CZqlData::getValue(char*, unsigned int) const { return 0; }
int CZqlData::getValue(CZqlUcStr*) const { return 0; }
int CZqlData::getValue(char*, unsigned int, unsigned int*) const { return 0; }

int CZqlData::getValue(unsigned short* text, unsigned int size) const {
  if (text == nullptr || size == 0) return 0;
  CZqlUcStr str;
  const int ok = getValue(&str);
  str.getToUcChar(text, static_cast<int>(size));
  return ok;
}

// An empty text would not convert in most targets; a null value makes the
// target null instead.
int CZqlData::getValue(CZqlData& target) const {
  if (&target == this) return 1;
  if (isNull()) {
    target.setNull();
    return 0;
  }
  char text[kExchangeSize];
  if (!getValue(text, kExchangeSize)) return 0;
  return target.storeValue(text, kExchangeSize);
}

int CZqlData::CopyText(const char* text, char* buffer, unsigned int size) {
  if (buffer == nullptr || size == 0) return 0;
  const size_t n = std::strlen(text);
  if (n < size) {
    std::memcpy(buffer, text, n + 1);
    return 1;
  }
  std::memcpy(buffer, text, size - 1);
  buffer[size - 1] = '\0';
  ZqlPushError(kZqlErrStringDataRightTruncation0104);
  return 1;
}

// ---------------------------------------------------------------------------
// Data descriptor groups
// ---------------------------------------------------------------------------

// What a type code and subcode name: a value class of this build, a valid
// type whose class is not built here (none at present), or nothing.
enum class ECodeKind { kBuilt, kAbsent, kInvalid };

static ECodeKind ClassifyCode(int32_t code, int32_t sub) {
  switch (code) {
    case kZqlTypeImplDef:
    case kZqlTypeNumeric:
    case kZqlTypeDecimal:
    case kZqlTypeInteger:
    case kZqlTypeSmallInt:
    case kZqlTypeFloat:
    case kZqlTypeReal:
    case kZqlTypeDouble:
    case kZqlTypeChar:
    case kZqlTypeVarchar:
    case kZqlTypeBit:
    case kZqlTypeVarbit:
      return ECodeKind::kBuilt;
    case kZqlTypeDatetime:
      return sub >= kZqlDtDate && sub <= kZqlDtTimeStampTz ? ECodeKind::kBuilt
                                                          : ECodeKind::kInvalid;
    case kZqlTypeInterval:
      return sub >= kZqlIYear && sub <= kZqlIMinuteToSecond ? ECodeKind::kBuilt
                                                            : ECodeKind::kInvalid;
    default:
      return ECodeKind::kInvalid;
  }
}

// A new varying string value of class T. May raise 0xA008.
template <class T>
static CZqlData* NewVarying() {
  T* value = new T();
  value->setVarying();
  return value;
}

// A new empty datetime or interval value of a valid subcode. May raise
// 0xA008.
static CZqlData* NewTemporalValue(int32_t code, int32_t sub) {
  if (code == kZqlTypeInterval) {
    const EZqlIType type = static_cast<EZqlIType>(sub);
    if (CZqlIQualifier::IsYMType(type)) return new CZqlYM(type);
    return new CZqlDT(type);
  }
  switch (sub) {
    case kZqlDtDate: return new CZqlDate();
    case kZqlDtTime: return new CZqlTime();
    case kZqlDtTimeTz: return new CZqlTime(0, kZqlTrue);
    case kZqlDtTimeStamp: return new CZqlTimeStamp();
    default: return new CZqlTimeStamp(6, kZqlTrue);
  }
}

// A new empty value of a built type. May raise 0xA008.
static CZqlData* NewValueOfType(int32_t code) {
  switch (code) {
    case kZqlTypeChar: return new CZqlChar();
    case kZqlTypeVarchar: return NewVarying<CZqlChar>();
    case kZqlTypeBit: return new CZqlBinary();
    case kZqlTypeVarbit: return NewVarying<CZqlBinary>();
    case kZqlTypeImplDef: return new CZqlImplDef();
    case kZqlTypeNumeric: return new CZqlNumeric();
    case kZqlTypeDecimal: return new CZqlDecimal();
    case kZqlTypeInteger: return new CZqlInt();
    case kZqlTypeSmallInt: return new CZqlSmallInt();
    case kZqlTypeFloat: return new CZqlFloat();
    case kZqlTypeReal: return new CZqlReal();
    default: return new CZqlDouble();
  }
}

// The current item as a 4-byte integer (type codes and subcodes).
static int ReadCode(CZqlObjPack* pack, int32_t* out) {
  return pack->getSize() == sizeof(int32_t) && pack->getPackedValue(out);
}

CZqlData* ZqlUnpackDataDescriptor(CZqlObjPack* pack, int label) {
  return ZqlEntry<CZqlData*>(nullptr, [&]() -> CZqlData* {
    if (pack == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    int32_t code = 0;
    int32_t sub = 0;
    if (!ReadCode(pack, &code)) ZQL_PUSH_RAISE(kZqlErrInternalZQLError);
    if (code == kZqlTypeDatetime || code == kZqlTypeInterval) {
      if (pack->getNext() != label + 1 || !ReadCode(pack, &sub)) {
        ZQL_PUSH_RAISE(kZqlErrInternalZQLError);
      }
    }
    switch (ClassifyCode(code, sub)) {
      case ECodeKind::kInvalid: ZQL_PUSH_RAISE(kZqlErrInternalZQLError);
      case ECodeKind::kAbsent: ZQL_PUSH_RAISE(kZqlErrInternalOperationNotSupported);
      case ECodeKind::kBuilt: break;
    }
    const bool temporal = code == kZqlTypeDatetime || code == kZqlTypeInterval;
    std::unique_ptr<CZqlData> value(temporal ? NewTemporalValue(code, sub) : NewValueOfType(code));
    if (pack->getNext() != label + 2) ZQL_PUSH_RAISE(kZqlErrInternalZQLError);
    value->unpackFrom(pack);
    return value.release();
  });
}

int ZqlPackDataDescriptor(CZqlObjPack* pack, int label, const CZqlData& value) {
  if (pack == nullptr) return 0;
  const int code = value.Type();
  if (code == 0) return 1;
  pack->add(label, static_cast<int32_t>(code));
  if (code == kZqlTypeDatetime) pack->add(label + 1, static_cast<int32_t>(value.DateTimeType()));
  if (code == kZqlTypeInterval) pack->add(label + 1, static_cast<int32_t>(value.IntervalType()));
  pack->add(label + 2, static_cast<int32_t>(0));
  value.packTo(pack);
  return 1;
}
