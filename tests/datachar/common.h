// common.h - helpers of the character and bit string tests: values built
// from 8-bit texts and digit strings, and their text views.
#ifndef ZQL_TESTS_DATACHAR_COMMON_H
#define ZQL_TESTS_DATACHAR_COMMON_H

#include "../data/common.h"

// The logical value as text ("" for null).
inline std::string Value(const CZqlData& v) {
  CZqlUcStr s;
  v.getValue(&s);
  return Str(s);
}

// A character value of length holding text (8-bit, default set).
inline CZqlChar Chr(unsigned int length, const char* text, bool varying = false) {
  CZqlChar c(length);
  if (varying) c.setVarying();
  if (text != nullptr) c.storeValue(text, 100000u);
  return c;
}

inline CZqlChar Var(unsigned int length, const char* text) { return Chr(length, text, true); }

// A bit string of length holding the binary digits.
inline CZqlBinary Bits(unsigned int length, const char* digits, bool varying = true) {
  CZqlBinary b(length);
  if (varying) b.setVarying();
  if (digits != nullptr) b.storeBinValue(digits, 100000u, nullptr);
  return b;
}

inline std::string BinText(const CZqlBinary& b) {
  CZqlUcStr s;
  b.getBinValue(&s);
  return Str(s);
}

#endif  // ZQL_TESTS_DATACHAR_COMMON_H
