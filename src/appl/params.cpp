// Host binding: links between a statement's parameters or columns and the
// caller's storage, and the sets of links a statement holds.

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "zqlcol.h"
#include "zqldda.h"

namespace {

// Transfer values of host links keep everything a host record can carry:
// the widest leading field, microseconds.
constexpr unsigned int kHostLeadPrec = 6;
constexpr unsigned int kHostFracPrec = 6;
// Characters of the text through which a value reaches a character host
// variable.
constexpr unsigned int kHostTextLength = 256;

bool IsHostType(int type) {
  return type >= kZqlHostSmallInt && type <= kZqlHostSecond;
}

// The interval type of an interval host type.
EZqlIType IntervalOf(int type) {
  switch (type) {
    case kZqlHostYear: return kZqlIYear;
    case kZqlHostYearToMonth: return kZqlIYearToMonth;
    case kZqlHostMonth: return kZqlIMonth;
    case kZqlHostDay: return kZqlIDay;
    case kZqlHostDayToHour: return kZqlIDayToHour;
    case kZqlHostDayToMinute: return kZqlIDayToMinute;
    case kZqlHostDayToSecond: return kZqlIDayToSecond;
    case kZqlHostHour: return kZqlIHour;
    case kZqlHostHourToMinute: return kZqlIHourToMinute;
    case kZqlHostHourToSecond: return kZqlIHourToSecond;
    case kZqlHostMinute: return kZqlIMinute;
    case kZqlHostMinuteToSecond: return kZqlIMinuteToSecond;
    case kZqlHostSecond: return kZqlISecond;
    default: return kZqlINone;
  }
}

// A new empty value of the class that holds a host variable of type.
// Raises 0xA00B for an unknown type, 0xA008.
CZqlData* NewHostValue(int type, int32_t length) {
  const unsigned int n = length > 0 ? static_cast<unsigned int>(length) : 1;
  switch (type) {
    case kZqlHostSmallInt:
    case kZqlHostInteger: return new CZqlInt;
    case kZqlHostDouble:
    case kZqlHostReal: return new CZqlDouble;
    case kZqlHostChar:
    case kZqlHostUcChar: {
      std::unique_ptr<CZqlChar> text(new CZqlChar(n));
      text->setVarying();
      return text.release();
    }
    case kZqlHostBit: {
      // A buffer of n hexadecimal digits carries 4 n bits.
      const unsigned int bits = n > kZqlMaxBitLength / 4 ? kZqlMaxBitLength : 4 * n;
      std::unique_ptr<CZqlBinary> bin(new CZqlBinary(bits));
      bin->setVarying();
      return bin.release();
    }
    case kZqlHostDate: return new CZqlDate;
    case kZqlHostTime: return new CZqlTime(kHostFracPrec, kZqlTrue);
    case kZqlHostTimeStamp: return new CZqlTimeStamp(kHostFracPrec, kZqlTrue);
    case kZqlHostYear:
    case kZqlHostYearToMonth:
    case kZqlHostMonth: return new CZqlYM(IntervalOf(type), kHostLeadPrec, 0);
    default:
      if (IntervalOf(type) != kZqlINone) {
        return new CZqlDT(IntervalOf(type), kHostLeadPrec, kHostFracPrec);
      }
      ZQL_RAISE(kZqlErrInvalidFunctionArguments);
  }
}

// Makes dda the current descriptor area for a scope, so the conditions the
// value classes push land in it.
class CCurrentDDA {
 public:
  explicit CCurrentDDA(CZqlDDA* dda)
      : set_(dda != nullptr), previous_(set_ ? ZqlSetCurrentDDA(dda) : nullptr) {}
  ~CCurrentDDA() {
    if (set_) ZqlSetCurrentDDA(previous_);
  }
  CCurrentDDA(const CCurrentDDA&) = delete;
  CCurrentDDA& operator=(const CCurrentDDA&) = delete;

 private:
  bool set_;
  CZqlDDA* previous_;
};

// Pushes code onto the current descriptor area and raises it.
// Reads a host record of type R from the buffer and stores it into the
// value of class V. 0 when the value is not of that class.
template <class V, class R>
int SetRecord(CZqlData* value, const void* buffer) {
  V* v = dynamic_cast<V*>(value);
  if (v == nullptr) return 0;
  R record;
  std::memcpy(&record, buffer, sizeof record);
  return v->set(record);
}

// Writes the value of class V into a host record of type R in the buffer.
// 0 when the source is not of that class or does not convert.
template <class V, class R>
int GetRecord(const CZqlData& source, void* buffer) {
  const V* v = dynamic_cast<const V*>(&source);
  if (v == nullptr) return 0;
  R record{};
  if (!v->get(&record)) return 0;
  std::memcpy(buffer, &record, sizeof record);
  return 1;
}

// A numeric source written to a single-field interval host variable: the
// sign and the integer magnitude (all five records share that layout).
int GetSignMagnitude(const CZqlData& source, void* buffer) {
  long value = 0;
  if (!source.getValue(&value)) return 0;
  const unsigned long magnitude =
      value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
  if (magnitude > UINT32_MAX) ZQL_PUSH_RAISE(kZqlErrIntervalFieldOverflow);
  zql_year record{value < 0 ? kZqlTrue : kZqlFalse, static_cast<uint32_t>(magnitude)};
  std::memcpy(buffer, &record, sizeof record);
  return 1;
}

// A numeric source written to a SECOND host variable.
int GetSecondsMagnitude(const CZqlData& source, void* buffer) {
  double value = 0;
  if (!source.getValue(&value)) return 0;
  zql_second record{value < 0 ? -value : value, value < 0 ? kZqlTrue : kZqlFalse};
  std::memcpy(buffer, &record, sizeof record);
  return 1;
}

int IsDateTimeOf(const CZqlData& source, int a, int b) {
  if (source.Type() != kZqlTypeDatetime) return 0;
  return source.DateTimeType() == a || source.DateTimeType() == b;
}

}  // namespace

// ---------------------------------------------------------------------------
// CZqlHostLink: set-up
// ---------------------------------------------------------------------------

CZqlHostLink::CZqlHostLink()
    : type_(static_cast<EZqlHostType>(0)),
      buffer_(nullptr),
      indicator_(nullptr),
      length_(0),
      data_(nullptr),
      isHost_(0) {}

CZqlHostLink::~CZqlHostLink() { reset(); }

void CZqlHostLink::reset() {
  if (isHost_) delete data_;
  data_ = nullptr;
  isHost_ = 0;
  type_ = static_cast<EZqlHostType>(0);
  buffer_ = nullptr;
  indicator_ = nullptr;
  length_ = 0;
}

void CZqlHostLink::initData(EZqlHostType type, void* buffer, int16_t* indicator,
                            int32_t length) {
  reset();
  if (!IsHostType(type)) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
  CZqlData* value = NewHostValue(type, length);
  if (value == nullptr) return;
  type_ = type;
  buffer_ = buffer;
  indicator_ = indicator;
  length_ = length;
  data_ = value;
  isHost_ = 1;
}

int CZqlHostLink::init(EZqlHostType type, void* buffer, int16_t* indicator,
                       int32_t length) {
  initData(type, buffer, indicator, length);
  return isSet();
}

int CZqlHostLink::init(EZqlHostType type, void* buffer, int16_t* indicator,
                       int32_t length, CZqlParameter* p) {
  if (!init(type, buffer, indicator, length)) return 0;
  if (p == nullptr || p->Dsc() == nullptr || !p->Dsc()->is_castable(data_) ||
      !p->setBind(data_)) {
    reset();
    return 0;
  }
  return 1;
}

int CZqlHostLink::init(EZqlHostType type, void* buffer, int16_t* indicator,
                       int32_t length, CZqlColumn* c) {
  if (!init(type, buffer, indicator, length)) return 0;
  if (c != nullptr && c->getData() != nullptr &&
      data_->is_castable(c->getData()) != 1) {
    reset();
    return 0;
  }
  return 1;
}

int CZqlHostLink::init(CZqlData* value) {
  reset();
  if (value == nullptr) return 0;
  data_ = value;
  return 1;
}

int CZqlHostLink::init(CZqlData* value, CZqlParameter* p) {
  reset();
  if (value == nullptr || p == nullptr || p->Dsc() == nullptr) return 0;
  if (!p->Dsc()->is_castable(value) || !p->setBind(value)) return 0;
  data_ = value;
  return 1;
}

int CZqlHostLink::init(CZqlData* value, CZqlColumn* c) {
  reset();
  if (value == nullptr || c == nullptr) return 0;
  if (c->getData() != nullptr && value->is_castable(c->getData()) != 1) return 0;
  data_ = value;
  return 1;
}

// ---------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------

int CZqlHostLink::prepInput() {
  if (!isHost_) return 1;
  if (indicator_ != nullptr && *indicator_ < 0) {
    data_->setNull();
    return 1;
  }
  if (buffer_ == nullptr) return 0;
  hostToValue();
  return 1;
}

// Stores the host variable into the value by type. Texts are read no
// further than the buffer's length, terminated or not.
int CZqlHostLink::hostToValue() {
  const unsigned int size = length_ > 0 ? static_cast<unsigned int>(length_) : 0;
  switch (type_) {
    case kZqlHostSmallInt: {
      int16_t v;
      std::memcpy(&v, buffer_, sizeof v);
      return data_->storeValue(static_cast<short>(v));
    }
    case kZqlHostInteger: {
      int32_t v;
      std::memcpy(&v, buffer_, sizeof v);
      return data_->storeValue(static_cast<long>(v));
    }
    case kZqlHostDouble:
    case kZqlHostReal: {
      double v;
      std::memcpy(&v, buffer_, sizeof v);
      return data_->storeValue(v);
    }
    case kZqlHostChar: return data_->storeValue(static_cast<const char*>(buffer_), size);
    case kZqlHostUcChar: {
      const unsigned short* units = static_cast<const unsigned short*>(buffer_);
      int n = 0;
      while (static_cast<unsigned int>(n) < size && units[n] != 0) ++n;
      CZqlUcStr text;
      if (n > 0) text.Copy(units, n);
      return data_->storeValue(text);
    }
    case kZqlHostBit: {
      unsigned int used = 0;
      return data_->storeValue(static_cast<const char*>(buffer_), size, &used);
    }
    case kZqlHostDate: return SetRecord<CZqlDate, zql_date>(data_, buffer_);
    case kZqlHostTime: return SetRecord<CZqlTime, zql_time>(data_, buffer_);
    case kZqlHostTimeStamp: return SetRecord<CZqlTimeStamp, zql_timestamp>(data_, buffer_);
    case kZqlHostYear: return SetRecord<CZqlYM, zql_year>(data_, buffer_);
    case kZqlHostYearToMonth: return SetRecord<CZqlYM, zql_yeartomonth>(data_, buffer_);
    case kZqlHostMonth: return SetRecord<CZqlYM, zql_month>(data_, buffer_);
    case kZqlHostDay: return SetRecord<CZqlDT, zql_day>(data_, buffer_);
    case kZqlHostDayToHour: return SetRecord<CZqlDT, zql_daytohour>(data_, buffer_);
    case kZqlHostDayToMinute: return SetRecord<CZqlDT, zql_daytominute>(data_, buffer_);
    case kZqlHostDayToSecond: return SetRecord<CZqlDT, zql_daytosecond>(data_, buffer_);
    case kZqlHostHour: return SetRecord<CZqlDT, zql_hour>(data_, buffer_);
    case kZqlHostHourToMinute: return SetRecord<CZqlDT, zql_hourtominute>(data_, buffer_);
    case kZqlHostHourToSecond: return SetRecord<CZqlDT, zql_hourtosecond>(data_, buffer_);
    case kZqlHostMinute: return SetRecord<CZqlDT, zql_minute>(data_, buffer_);
    case kZqlHostMinuteToSecond: return SetRecord<CZqlDT, zql_minuteitosecond>(data_, buffer_);
    case kZqlHostSecond: return SetRecord<CZqlDT, zql_second>(data_, buffer_);
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------

int CZqlHostLink::writeToBuffer(const CZqlData* source, CZqlDDA* dda) {
  CCurrentDDA current(dda);
  int result = 0;
  const int ok = ZqlTry([&] {
    if (source == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    if (!isHost_) {
      if (data_ == nullptr) ZQL_PUSH_RAISE(kZqlErrUsingClauseRequiredForResultFields);
      if (!data_->storeValue(*source)) ZQL_PUSH_RAISE(kZqlErrDataTypesMismatch);
      result = 1;
      return;
    }
    if (buffer_ == nullptr) ZQL_PUSH_RAISE(kZqlErrUsingClauseRequiredForResultFields);
    if (source->isNull()) {
      if (indicator_ == nullptr) ZQL_PUSH_RAISE(kZqlErrNullValueNoIndicatorParameter);
      *indicator_ = -1;
      result = 1;
      return;
    }
    if (indicator_ != nullptr) *indicator_ = 0;
    result = valueToHost(*source);
    if (indicator_ != nullptr) {
      const unsigned int n = source->ReturnLength();
      *indicator_ = static_cast<int16_t>(n > INT16_MAX ? INT16_MAX : n);
    }
    if (result == 0) ZQL_PUSH_RAISE(kZqlErrDataTypesMismatch);
  });
  if (!ok) ZQL_RERAISE();
  return result;
}

// Converts source into the host variable by type: the conversion's answer,
// 0 for a combination that does not convert.
int CZqlHostLink::valueToHost(const CZqlData& source) {
  const unsigned int size = length_ > 0 ? static_cast<unsigned int>(length_) : 0;
  switch (type_) {
    case kZqlHostSmallInt: {
      short v = 0;
      if (!source.getValue(&v)) return 0;
      const int16_t out = v;
      std::memcpy(buffer_, &out, sizeof out);
      return 1;
    }
    case kZqlHostInteger: {
      long v = 0;
      if (!source.getValue(&v)) return 0;
      if (v < INT32_MIN || v > INT32_MAX) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
      const int32_t out = static_cast<int32_t>(v);
      std::memcpy(buffer_, &out, sizeof out);
      return 1;
    }
    case kZqlHostDouble:
    case kZqlHostReal: {
      double v = 0;
      if (!source.getValue(&v)) return 0;
      std::memcpy(buffer_, &v, sizeof v);
      return 1;
    }
    case kZqlHostChar: {
      CZqlChar text(kHostTextLength);
      text.setVarying();
      text.storeValue(source);
      return text.getValue(static_cast<char*>(buffer_), size);
    }
    case kZqlHostUcChar:
      return source.getValue(static_cast<unsigned short*>(buffer_), size);
    case kZqlHostBit: {
      unsigned int used = 0;
      return source.getValue(static_cast<char*>(buffer_), size, &used);
    }
    default:
      return temporalToHost(source);
  }
}

// Datetime and interval host variables; a numeric source may go to a
// single-field interval as sign and magnitude.
int CZqlHostLink::temporalToHost(const CZqlData& source) {
  const bool numeric = source.is_numeric() != 0;
  switch (type_) {
    case kZqlHostDate:
      return IsDateTimeOf(source, kZqlDtDate, kZqlDtDate) &&
             GetRecord<CZqlDate, zql_date>(source, buffer_);
    case kZqlHostTime:
      return IsDateTimeOf(source, kZqlDtTime, kZqlDtTimeTz) &&
             GetRecord<CZqlTime, zql_time>(source, buffer_);
    case kZqlHostTimeStamp:
      return IsDateTimeOf(source, kZqlDtTimeStamp, kZqlDtTimeStampTz) &&
             GetRecord<CZqlTimeStamp, zql_timestamp>(source, buffer_);
    case kZqlHostYear:
    case kZqlHostMonth:
    case kZqlHostDay:
    case kZqlHostHour:
    case kZqlHostMinute:
      if (numeric) return GetSignMagnitude(source, buffer_);
      break;
    case kZqlHostSecond:
      if (numeric) return GetSecondsMagnitude(source, buffer_);
      break;
    default:
      break;
  }
  switch (type_) {
    case kZqlHostYear: return GetRecord<CZqlYM, zql_year>(source, buffer_);
    case kZqlHostYearToMonth: return GetRecord<CZqlYM, zql_yeartomonth>(source, buffer_);
    case kZqlHostMonth: return GetRecord<CZqlYM, zql_month>(source, buffer_);
    case kZqlHostDay: return GetRecord<CZqlDT, zql_day>(source, buffer_);
    case kZqlHostDayToHour: return GetRecord<CZqlDT, zql_daytohour>(source, buffer_);
    case kZqlHostDayToMinute: return GetRecord<CZqlDT, zql_daytominute>(source, buffer_);
    case kZqlHostDayToSecond: return GetRecord<CZqlDT, zql_daytosecond>(source, buffer_);
    case kZqlHostHour: return GetRecord<CZqlDT, zql_hour>(source, buffer_);
    case kZqlHostHourToMinute: return GetRecord<CZqlDT, zql_hourtominute>(source, buffer_);
    case kZqlHostHourToSecond: return GetRecord<CZqlDT, zql_hourtosecond>(source, buffer_);
    case kZqlHostMinute: return GetRecord<CZqlDT, zql_minute>(source, buffer_);
    case kZqlHostMinuteToSecond: return GetRecord<CZqlDT, zql_minuteitosecond>(source, buffer_);
    case kZqlHostSecond: return GetRecord<CZqlDT, zql_second>(source, buffer_);
    default: return 0;
  }
}

// ---------------------------------------------------------------------------
// CZqlHostBind
// ---------------------------------------------------------------------------

CZqlHostBind::CZqlHostBind(int n) : links_(nullptr), count_(0) {
  if (n <= 0) return;
  links_ = new CZqlHostLink[static_cast<std::size_t>(n)];
  count_ = n;
}

CZqlHostBind::~CZqlHostBind() { delete[] links_; }

int CZqlHostBind::isAllBound() const {
  for (int i = 0; i < count_; ++i) {
    if (!links_[i].isSet()) return 0;
  }
  return 1;
}

int CZqlHostBind::prepare() {
  for (int i = 0; i < count_; ++i) {
    if (!links_[i].prepInput()) return 0;
  }
  return 1;
}

int CZqlHostBind::fetchBuffers(CZqlDDA* dda) {
  if (dda == nullptr) return 0;
  for (int i = 0; i < count_; ++i) {
    CZqlOutput* out = nullptr;
    CZqlData* value = nullptr;
    ZqlTry([&] { out = dda->OutDsc(i); });
    if (out == nullptr || !out->getBind(&value)) return 0;
    // A value that does not fit its link leaves its condition in dda; the
    // other columns are still delivered. A raise that left none (exhausted
    // memory while storing) gets one: the column did not arrive.
    const int before = dda->CondCount();
    if (!ZqlTry([&] { links_[i].writeToBuffer(value, dda); }) && dda->CondCount() == before) {
      const EZqlError code = static_cast<EZqlError>(ZqlTryCode());
      if (!ZqlTry([&] { dda->pushErr(code); })) return 0;
    }
  }
  return 1;
}
