// binary.cpp - CZqlBinary, the SQL bit string, and the digit functions
// behind its hexadecimal and binary-digit texts.
//
// Bits are packed most significant first; the bits after the bit count in
// the last byte, and every byte after it in the buffer, are kept 0, so
// that comparing whole bytes compares the bits.

#include <cstdio>
#include <cstring>
#include <new>

#include "objpack.h"
#include "zqlsdata.h"

namespace {

constexpr unsigned int kMaxBytes = kZqlMaxBitLength / 8;

enum ECompare { kGt, kGe, kEq, kLe, kLt, kNe };

void Warn(EZqlError code) { ZqlPushError(code); }

unsigned int ClampBits(uint64_t bits) {
  if (bits < 1) return 1;
  return bits > kZqlMaxBitLength ? kZqlMaxBitLength : static_cast<unsigned int>(bits);
}

unsigned int Bytes(unsigned int bits) { return (bits + 7) / 8; }

int Bit(const unsigned char* b, unsigned int i) { return b[i >> 3] >> (7 - (i & 7)) & 1; }

void SetBit(unsigned char* b, unsigned int i) {
  b[i >> 3] = static_cast<unsigned char>(b[i >> 3] | 0x80u >> (i & 7));
}

// Copies count bits of src from bit `from` into dst from bit `to`; the
// bits of dst in that range are 0 beforehand.
void CopyBits(unsigned char* dst, unsigned int to, const unsigned char* src, unsigned int from,
              unsigned int count) {
  for (unsigned int i = 0; i < count; ++i) {
    if (Bit(src, from + i)) SetBit(dst, to + i);
  }
}

int HexDigit(unsigned int c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  return -1;
}

bool IsDigit(unsigned int c, bool hex) { return hex ? HexDigit(c) >= 0 : c == '0' || c == '1'; }

// Leading digits of s: up to a zero unit, at most size.
template <class C>
unsigned int CountDigits(const C* s, unsigned int size, bool hex) {
  unsigned int n = 0;
  while (n < size && s[n] != 0 && IsDigit(static_cast<unsigned int>(s[n]), hex)) ++n;
  return n;
}

int Holds(int op, int r) {
  switch (op) {
    case kGt: return r > 0;
    case kGe: return r >= 0;
    case kEq: return r == 0;
    case kLe: return r <= 0;
    case kLt: return r < 0;
    default: return r != 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Digit functions
// ---------------------------------------------------------------------------

unsigned int ZqlHexLength(const char* text, unsigned int size) {
  return text != nullptr ? CountDigits(text, size, true) : 0;
}

unsigned int ZqlBinLength(const char* text, unsigned int size) {
  return text != nullptr ? CountDigits(text, size, false) : 0;
}

void ZqlHexPut(unsigned char* bits, const char* digits, unsigned int bitCount) {
  std::memset(bits, 0, Bytes(bitCount));
  for (unsigned int i = 0; i < bitCount; ++i) {
    const int v = HexDigit(static_cast<unsigned char>(digits[i / 4]));
    if (v >> (3 - i % 4) & 1) SetBit(bits, i);
  }
}

void ZqlBinPut(unsigned char* bits, const char* digits, unsigned int bitCount) {
  std::memset(bits, 0, Bytes(bitCount));
  for (unsigned int i = 0; i < bitCount; ++i) {
    if (digits[i] == '1') SetBit(bits, i);
  }
}

void ZqlHexGet(char* out, const unsigned char* bits, unsigned int count) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (unsigned int i = 0; i < count; ++i) {
    out[i] = kDigits[bits[i / 2] >> (i % 2 != 0 ? 0 : 4) & 0xF];
  }
  out[count] = '\0';
}

void ZqlBinGet(char* out, const unsigned char* bits, unsigned int count) {
  for (unsigned int i = 0; i < count; ++i) out[i] = Bit(bits, i) ? '1' : '0';
  out[count] = '\0';
}

int ZqlBinCompare(const unsigned char* a, unsigned int aBits, const unsigned char* b,
               unsigned int bBits) {
  const unsigned int n = Bytes(aBits < bBits ? aBits : bBits);
  if (n > 0) {
    const int r = std::memcmp(a, b, n);
    if (r != 0) return r;
  }
  return aBits < bBits ? -1 : aBits > bBits ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Construction and the buffer
// ---------------------------------------------------------------------------

CZqlBinary::CZqlBinary(unsigned int length)
    : length_(ClampBits(length)), bitCount_(0), bufSize_(0), bits_(nullptr), varying_(0) {}

// A copy that cannot get its buffer (the raise returned) is null.
CZqlBinary::CZqlBinary(const CZqlBinary& other)
    : CZqlData(other),
      length_(other.length_),
      bitCount_(0),
      bufSize_(0),
      bits_(nullptr),
      varying_(other.varying_) {
  if (other.bitCount_ == 0) return;
  if (!reserve(Bytes(other.bitCount_))) {
    null_ = 1;
    return;
  }
  std::memcpy(bits_, other.bits_, Bytes(other.bitCount_));
  bitCount_ = other.bitCount_;
}

CZqlBinary::~CZqlBinary() { ZqlMemoryFree(bits_); }

CZqlBinary* CZqlBinary::duplicate() const { return new CZqlBinary(*this); }

// Grows the buffer to exactly bytes (zero-filled, old bits kept). On
// exhaustion the raise leaves the old buffer; answers 0 if it returns.
int CZqlBinary::reserve(unsigned int bytes) {
  if (bytes <= bufSize_) return 1;
  auto* grown = static_cast<unsigned char*>(ZqlMemoryMalloc(bytes));
  if (grown == nullptr) return 0;
  if (bits_ != nullptr) std::memcpy(grown, bits_, bufSize_);
  ZqlMemoryFree(bits_);
  bits_ = grown;
  bufSize_ = bytes;
  return 1;
}

// Makes the value the first count bits of src (byte aligned).
int CZqlBinary::assign(const unsigned char* src, unsigned int count) {
  const unsigned int need = Bytes(count);
  if (need > 0) {
    if (!reserve(need)) return 0;
    std::memmove(bits_, src, need);
    if (count % 8 != 0) bits_[need - 1] = static_cast<unsigned char>(bits_[need - 1] & 0xFF00u >> (count % 8));
  }
  if (bufSize_ > need) std::memset(bits_ + need, 0, bufSize_ - need);
  bitCount_ = count;
  null_ = 0;
  return 1;
}

unsigned int CZqlBinary::ReturnLength() const { return varying_ ? bitCount_ : length_; }

// ---------------------------------------------------------------------------
// Compatibility
// ---------------------------------------------------------------------------

int CZqlBinary::is_comparable(const CZqlData* other) const {
  return other != nullptr && other->is_binary();
}

int CZqlBinary::is_storable(const CZqlData* other) const {
  return other != nullptr && other->is_binary();
}

int CZqlBinary::is_castable(const CZqlData* other) const {
  return other != nullptr && (other->is_binary() || other->is_character());
}

CZqlData* CZqlBinary::checkCat(const CZqlData* other) const {
  if (other == nullptr || !other->is_binary()) return nullptr;
  CZqlBinary* r = new (std::nothrow) CZqlBinary(ClampBits(uint64_t{length_} + other->Length()));
  if (r != nullptr && (varying_ || other->Type() == kZqlTypeVarbit)) r->setVarying();
  return r;
}

long CZqlBinary::read(char* buffer, long start, long count) const {
  if (isNull()) return 0;
  return ReadRaw(bits_, static_cast<long>(Bytes(bitCount_)), buffer, start, count);
}

// ---------------------------------------------------------------------------
// Digit texts
// ---------------------------------------------------------------------------

// n leading digits are in digits (at least as many as the kept bits need).
int CZqlBinary::storeDigits(const char* digits, unsigned int n, bool hex, unsigned int* used) {
  const unsigned int per = hex ? 4 : 1;
  uint64_t bits = uint64_t{n} * per;
  if (bits > length_) {
    Warn(kZqlErrStringDataRightTruncation0104);
    bits = length_;
  }
  unsigned char packed[kMaxBytes];
  const unsigned int count = static_cast<unsigned int>(bits);
  if (hex) {
    ZqlHexPut(packed, digits, count);
  } else {
    ZqlBinPut(packed, digits, count);
  }
  if (!assign(packed, count)) return 0;
  if (used != nullptr) *used = (count + per - 1) / per;
  return 1;
}

int CZqlBinary::storeHexValue(const char* text, unsigned int size, unsigned int* used) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (used != nullptr) *used = 0;
    if (text == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    return storeDigits(text, ZqlHexLength(text, size), true, used);
  });
}

int CZqlBinary::storeBinValue(const char* text, unsigned int size, unsigned int* used) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (used != nullptr) *used = 0;
    if (text == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    return storeDigits(text, ZqlBinLength(text, size), false, used);
  });
}

namespace {

// The leading digit units of text as 8-bit digits (no more than a value
// can use); answers the number of leading digits.
unsigned int UnitDigits(const CZqlUcStr& text, bool hex, char* out, unsigned int room) {
  const unsigned int n = CountDigits(text.UcStr(), static_cast<unsigned int>(text.Length()), hex);
  for (unsigned int i = 0; i < n && i < room; ++i) out[i] = static_cast<char>(text.UcStr()[i]);
  return n;
}

}  // namespace

int CZqlBinary::storeHexValue(const CZqlUcStr& text) {
  return ZqlEntry<int>(0, [&]() -> int {
    char digits[kZqlMaxBitLength / 4];
    return storeDigits(digits, UnitDigits(text, true, digits, sizeof digits), true, nullptr);
  });
}

int CZqlBinary::storeBinValue(const CZqlUcStr& text) {
  return ZqlEntry<int>(0, [&]() -> int {
    char digits[kZqlMaxBitLength];
    return storeDigits(digits, UnitDigits(text, false, digits, sizeof digits), false, nullptr);
  });
}

int CZqlBinary::getHexValue(char* text, unsigned int size, unsigned int* used) const {
  if (used != nullptr) *used = 0;
  if (text == nullptr || size == 0) return 0;
  text[0] = '\0';
  if (isNull()) return 0;
  unsigned int digits = (bitCount_ + 3) / 4;
  if (uint64_t{size} * 4 - 4 < bitCount_) {
    Warn(kZqlErrStringDataRightTruncation0104);
    digits = size - 1;
  }
  ZqlHexGet(text, bits_, digits);
  if (used != nullptr) *used = digits;
  return 1;
}

int CZqlBinary::getBinValue(char* text, unsigned int size, unsigned int* used) const {
  if (used != nullptr) *used = 0;
  if (text == nullptr || size == 0) return 0;
  text[0] = '\0';
  if (isNull()) return 0;
  unsigned int digits = bitCount_;
  if (size - 1 < bitCount_) {
    Warn(kZqlErrStringDataRightTruncation0104);
    digits = size - 1;
  }
  ZqlBinGet(text, bits_, digits);
  if (used != nullptr) *used = digits;
  return 1;
}

int CZqlBinary::getHexValue(CZqlUcStr* text) const {
  if (text == nullptr) return 0;
  text->Clear();
  if (isNull()) return 0;
  char digits[kZqlMaxBitLength / 4 + 1];
  ZqlHexGet(digits, bits_, (bitCount_ + 3) / 4);
  if (digits[0] != '\0') text->Copy(digits);
  return 1;
}

int CZqlBinary::getBinValue(CZqlUcStr* text) const {
  if (text == nullptr) return 0;
  text->Clear();
  if (isNull()) return 0;
  char digits[kZqlMaxBitLength + 1];
  ZqlBinGet(digits, bits_, bitCount_);
  if (digits[0] != '\0') text->Copy(digits);
  return 1;
}

int CZqlBinary::storeValue(const char* text, unsigned int size) {
  return storeHexValue(text, size, nullptr);
}

int CZqlBinary::storeValue(const char* text, unsigned int size, unsigned int* used) {
  return storeHexValue(text, size, used);
}

int CZqlBinary::storeValue(const CZqlUcStr& text) { return storeHexValue(text); }

int CZqlBinary::getValue(char* text, unsigned int size) const {
  return getHexValue(text, size, nullptr);
}

int CZqlBinary::getValue(char* text, unsigned int size, unsigned int* used) const {
  return getHexValue(text, size, used);
}

int CZqlBinary::getValue(CZqlUcStr* text) const { return getHexValue(text); }

// ---------------------------------------------------------------------------
// Storing other values
// ---------------------------------------------------------------------------

// 16 bits per unit of the logical value, high byte first.
int CZqlBinary::storeChars(const CZqlData& chars) {
  CZqlUcStr units;
  chars.getValue(&units);
  uint64_t bits = uint64_t{16} * static_cast<unsigned int>(units.Length());
  if (bits > length_) {
    Warn(kZqlErrStringDataRightTruncation0104);
    bits = length_;
  } else if (bits < length_) {
    Warn(kZqlErrImplicitZeroBitPadding);
  }
  unsigned char packed[kMaxBytes];
  const unsigned int count = static_cast<unsigned int>(bits);
  for (unsigned int i = 0; i < (count + 15) / 16; ++i) {
    packed[2 * i] = static_cast<unsigned char>(units.UcStr()[i] >> 8);
    packed[2 * i + 1] = static_cast<unsigned char>(units.UcStr()[i] & 0xFF);
  }
  return assign(packed, count);
}

// A longer bit string is cut to the declared length, as text is.
int CZqlBinary::storeValue(const CZqlData& other) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (&other == this) return 1;
    if (other.isNull()) {
      setNull();
      return 1;
    }
    const CZqlBinary* b = dynamic_cast<const CZqlBinary*>(&other);
    if (b != nullptr) {
      unsigned int count = b->bitCount_;
      if (count > length_) {
        Warn(kZqlErrStringDataRightTruncation0104);
        count = length_;
      }
      return assign(b->bits_, count);
    }
    if (other.is_character()) return storeChars(other);
    ZQL_PUSH_RAISE(kZqlErrExpressionCannotBeCastToTheSpecifiedType);
  });
}

int CZqlBinary::getValue(CZqlData& target) const {
  if (&target == this) return 1;
  if (isNull()) {
    target.setNull();
    return 0;
  }
  return target.storeValue(*this);
}

CZqlBinary& CZqlBinary::operator=(const CZqlBinary& other) {
  storeValue(static_cast<const CZqlData&>(other));
  return *this;
}

// ---------------------------------------------------------------------------
// Type text, literal, operators
// ---------------------------------------------------------------------------

int CZqlBinary::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  out->Copy(varying_ ? "BIT VARYING" : "BIT");
  if (length_ != 1) {
    char n[16];
    std::snprintf(n, sizeof n, "(%u)", length_);
    out->Append(n);
  }
  return 1;
}

// Hexadecimal digits stand for 4 bits each: a count that is not a multiple
// of 4 is written in binary digits, which name exactly these bits.
int CZqlBinary::SQLLiteral(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  if (isNull()) {
    out->Copy("null");
    return 0;
  }
  char text[kZqlMaxBitLength + 4];
  const bool hex = bitCount_ % 4 == 0;
  text[0] = hex ? 'X' : 'B';
  text[1] = '\'';
  if (hex) {
    ZqlHexGet(text + 2, bits_, bitCount_ / 4);
  } else {
    ZqlBinGet(text + 2, bits_, bitCount_);
  }
  std::strcat(text, "'");
  out->Copy(text);
  return 1;
}

CZqlBinary CZqlBinary::operator+(const CZqlBinary& other) const {
  CZqlBinary r(ClampBits(uint64_t{length_} + other.length_));
  if (varying_ || other.varying_) r.varying_ = 1;
  if (isNull() || other.isNull()) return r;
  unsigned int total = bitCount_ + other.bitCount_;
  if (total > kZqlMaxBitLength) {
    Warn(kZqlErrStringDataRightTruncation0104);
    total = kZqlMaxBitLength;
  }
  unsigned char joined[kMaxBytes] = {0};
  if (bitCount_ > 0) CopyBits(joined, 0, bits_, 0, bitCount_);
  if (total > bitCount_) CopyBits(joined, bitCount_, other.bits_, 0, total - bitCount_);
  r.assign(joined, total);
  return r;
}

CZqlBinary CZqlBinary::Substring(unsigned int start, unsigned int count) const {
  CZqlBinary r(length_);
  r.varying_ = 1;
  if (isNull()) return r;
  const uint64_t end = uint64_t{bitCount_} + 1;
  const uint64_t lo = start < 1 ? 1 : start;
  const uint64_t hi = uint64_t{start} + count < end ? uint64_t{start} + count : end;
  unsigned char part[kMaxBytes] = {0};
  const unsigned int n = hi > lo ? static_cast<unsigned int>(hi - lo) : 0;
  if (n > 0) CopyBits(part, 0, bits_, static_cast<unsigned int>(lo - 1), n);
  r.assign(part, n);
  return r;
}

CZqlBinary CZqlBinary::Substring(unsigned int start) const {
  return Substring(start, kZqlMaxBitLength + 1);
}

int CZqlBinary::compare(int op, const CZqlBinary& b) const {
  if (isNull() || b.isNull()) return 0;
  return Holds(op, ZqlBinCompare(bits_, bitCount_, b.bits_, b.bitCount_));
}

int CZqlBinary::operator==(const CZqlBinary& b) const { return compare(kEq, b); }
int CZqlBinary::operator!=(const CZqlBinary& b) const { return compare(kNe, b); }
int CZqlBinary::operator<(const CZqlBinary& b) const { return compare(kLt, b); }
int CZqlBinary::operator<=(const CZqlBinary& b) const { return compare(kLe, b); }
int CZqlBinary::operator>(const CZqlBinary& b) const { return compare(kGt, b); }
int CZqlBinary::operator>=(const CZqlBinary& b) const { return compare(kGe, b); }

// ---------------------------------------------------------------------------
// Packing
// ---------------------------------------------------------------------------

// The bit count goes out for every non-null value, 0 included: an empty
// bit string would otherwise read back as null.
void CZqlBinary::packItems(CZqlObjPack* pack) const {
  if (length_ != 1) pack->add(0, static_cast<int32_t>(length_));
  if (varying_ != 0) pack->add(1, varying_);
  if (isNull()) return;
  pack->add(2, static_cast<int32_t>(bitCount_));
  if (bufSize_ != 0) pack->add(3, static_cast<int32_t>(bufSize_));
  if (bits_ != nullptr) {
    const unsigned int n = bitCount_ / 8 + 1 < bufSize_ ? bitCount_ / 8 + 1 : bufSize_;
    pack->add(4, bits_, static_cast<int>(n));
  }
}

void CZqlBinary::unpackItem(CZqlObjPack* pack, int label) {
  int32_t v = 0;
  int16_t flag = 0;
  switch (label) {
    case 0:
      if (ReadItem(pack, &v)) length_ = ClampBits(v < 0 ? 0 : static_cast<uint64_t>(v));
      break;
    case 1:
      if (ReadItem(pack, &flag)) varying_ = flag != 0 ? 1 : 0;
      break;
    case 2:
      if (ReadItem(pack, &v)) {
        bitCount_ = v < 0 ? 0 : static_cast<uint32_t>(v);
        null_ = 0;
      }
      break;
    case 3:
      if (ReadItem(pack, &v)) null_ = 0;
      break;
    case 4: {
      const unsigned int n = pack->getSize() < kMaxBytes ? pack->getSize() : kMaxBytes;
      if (n > 0 && reserve(n)) {
        std::memcpy(bits_, pack->getPtr(), n);
        std::memset(bits_ + n, 0, bufSize_ - n);
      }
      null_ = 0;
      break;
    }
    default:
      break;
  }
}

// Whatever arrived, the bit count stays within the declared length and
// has zero-filled bytes behind it.
int CZqlBinary::unpackFrom(CZqlObjPack* pack) {
  const int ok = CZqlData::unpackFrom(pack);
  if (bitCount_ > length_) bitCount_ = length_;
  const unsigned int need = Bytes(bitCount_);
  if (need > bufSize_ && !reserve(need)) {
    bitCount_ = 0;
    return ok;
  }
  if (bitCount_ % 8 != 0) {
    bits_[need - 1] = static_cast<unsigned char>(bits_[need - 1] & 0xFF00u >> (bitCount_ % 8));
  }
  if (bufSize_ > need) std::memset(bits_ + need, 0, bufSize_ - need);
  return ok;
}
