// zqlsbit.h - bit strings (BIT, BIT VARYING).
// Reached through zqlsdata.h (and zqlappl.h), whose opening comment says
// what "may raise" means for every value.

#ifndef ZQL_ZQLSBIT_H
#define ZQL_ZQLSBIT_H

#include "zqlsbase.h"

ZQL_PUBLIC_BEGIN

// ---------------------------------------------------------------------------
// Bit strings
// ---------------------------------------------------------------------------

// Longest declared length of a bit string, in bits.
constexpr unsigned int kZqlMaxBitLength = 2048;

// The digit work of the bit strings. Bits are packed most significant
// first: bit i is bit 7 - i % 8 of byte i / 8. None raises.
// Leading hexadecimal / binary digits of text (up to a NUL, at most size).
unsigned int ZqlHexLength(const char* text, unsigned int size);
unsigned int ZqlBinLength(const char* text, unsigned int size);
// Packs the digits that cover bitCount bits into bits ((bitCount + 7) / 8
// bytes, the caller's); the bits after bitCount in the last byte are 0.
// REQUIRES: digits holds that many digits.
void ZqlHexPut(unsigned char* bits, const char* digits, unsigned int bitCount);
void ZqlBinPut(unsigned char* bits, const char* digits, unsigned int bitCount);
// Writes count upper-case hexadecimal digits / count "0" and "1" digits of
// bits into out (count + 1 bytes, the caller's) and terminates it.
void ZqlHexGet(char* out, const unsigned char* bits, unsigned int count);
void ZqlBinGet(char* out, const unsigned char* bits, unsigned int count);
// The bytes the shorter string occupies by memcmp, then the bit counts:
// negative, 0 or positive.
int ZqlBinCompare(const unsigned char* a, unsigned int aBits, const unsigned char* b,
               unsigned int bBits);

// BIT(n) and BIT VARYING(n): up to n bits (n at most 2048) in an owned
// buffer that grows as needed and never shrinks. Text input and output
// are hexadecimal (storeValue, getValue) or binary digits (storeBinValue,
// getBinValue). Truncation and zero-bit padding are warnings.
class CZqlBinary : public CZqlData {
 public:
  // A null fixed value of length bits (0 becomes 1, above 2048 becomes
  // 2048) without buffer.
  explicit CZqlBinary(unsigned int length = 1);
  CZqlBinary(const CZqlBinary& other);  // copies the bits; may raise 0xA008
  ~CZqlBinary() override;
  CZqlBinary* duplicate() const override;  // may raise 0xA008

  void setVarying() { varying_ = 1; }
  int is_varying() const { return varying_ != 0; }
  int Type() const override { return varying_ ? kZqlTypeVarbit : kZqlTypeBit; }
  unsigned int Length() const override { return length_; }
  // The bit count when varying, else the declared length.
  unsigned int ReturnLength() const override;
  unsigned int BitCount() const { return bitCount_; }
  // The bits, (BitCount() + 7) / 8 bytes; null before the first store.
  // Valid until the value changes.
  const unsigned char* Bits() const { return bits_; }
  int is_binary() const override { return 1; }

  // Comparable with and storable from a bit string; castable from a bit or
  // character string. checkCat with a bit string: a value of both lengths
  // together (at most 2048), varying when either is; else null.
  int is_comparable(const CZqlData* other) const override;
  int is_storable(const CZqlData* other) const override;
  int is_castable(const CZqlData* other) const override;
  CZqlData* checkCat(const CZqlData* other) const override;

  // The bytes the bits occupy.
  long read(char* buffer, long start, long count) const override;
  long size() const override { return isNull() ? 0 : static_cast<long>((bitCount_ + 7) / 8); }

  // The leading hexadecimal (binary) digits of text, 4 bits (1 bit) each;
  // beyond the declared length the bits are cut with the truncation
  // warning. *used (when not null) receives the digits stored. Answer 1;
  // 0 for a null text or when memory is exhausted (raises 0xA008).
  int storeHexValue(const char* text, unsigned int size, unsigned int* used);
  int storeHexValue(const CZqlUcStr& text);
  int storeBinValue(const char* text, unsigned int size, unsigned int* used);
  int storeBinValue(const CZqlUcStr& text);
  // Upper-case hexadecimal digits (the last one filled with zero bits) /
  // one digit per bit, at most size - 1 of them (a cut pushes the
  // truncation warning), terminated; *used receives the digits written.
  // 0 and an empty text for a null value.
  int getHexValue(char* text, unsigned int size, unsigned int* used) const;
  int getHexValue(CZqlUcStr* text) const;
  int getBinValue(char* text, unsigned int size, unsigned int* used) const;
  int getBinValue(CZqlUcStr* text) const;

  // Hexadecimal forms.
  int storeValue(const char* text, unsigned int size) override;
  int storeValue(const char* text, unsigned int size, unsigned int* used) override;
  int storeValue(const CZqlUcStr& text) override;
  // Same object: 1. Null source: null. Bit string: its bits, cut to the
  // declared length with the truncation warning. Character value: the
  // 16-bit units of its logical value, cut with the truncation warning;
  // fewer bits than the declared length push "implicit zero-bit padding".
  // Anything else raises "Expression cannot be cast to the specified type".
  int storeValue(const CZqlData& other) override;
  using CZqlData::storeValue;
  int getValue(char* text, unsigned int size) const override;
  int getValue(char* text, unsigned int size, unsigned int* used) const override;
  int getValue(CZqlUcStr* text) const override;
  // target.storeValue(*this).
  int getValue(CZqlData& target) const override;
  using CZqlData::getValue;

  int SQLType(CZqlUcStr* out) const override;  // "BIT", " VARYING", "(n)"
  // X'hex' when the bit count is a multiple of 4, else B'digits', so that
  // the literal names exactly these bits.
  int SQLLiteral(CZqlUcStr* out) const override;

  CZqlBinary& operator=(const CZqlBinary& other);  // storeValue(other)
  // The bits of both, cut to 2048 with the truncation warning; null when
  // either is null. May raise 0xA008.
  CZqlBinary operator+(const CZqlBinary& other) const;
  // Bits start .. start + count - 1 (from 1) as a varying value of this
  // declared length; null for null. May raise 0xA008.
  CZqlBinary Substring(unsigned int start) const;
  CZqlBinary Substring(unsigned int start, unsigned int count) const;

  // ZqlBinCompare; 0 when an operand is null.
  int operator==(const CZqlBinary& b) const;
  int operator!=(const CZqlBinary& b) const;
  int operator<(const CZqlBinary& b) const;
  int operator<=(const CZqlBinary& b) const;
  int operator>(const CZqlBinary& b) const;
  int operator>=(const CZqlBinary& b) const;

  // Reads the packed form, then holds the attributes to their limits and
  // the bit count to the bytes held.
  int unpackFrom(CZqlObjPack* pack) override;

 protected:
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;
  int32_t packEndValue() const override { return kZqlTypeBit; }

 private:
  int reserve(unsigned int bytes);
  int assign(const unsigned char* bits, unsigned int count);
  int storeDigits(const char* digits, unsigned int n, bool hex, unsigned int* used);
  int storeChars(const CZqlData& chars);
  int compare(int op, const CZqlBinary& b) const;

  uint32_t length_;
  uint32_t bitCount_;
  uint32_t bufSize_;
  unsigned char* bits_;  // owned, ZqlMemoryMalloc
  int16_t varying_;
};

ZQL_PUBLIC_END

#endif  // ZQL_ZQLSBIT_H
