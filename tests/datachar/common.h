// common.h - helpers of the character and bit string tests: a descriptor
// area that collects the conditions pushed while it is current, the code a
// call raised, and text views of values.
#ifndef ZQL_TESTS_DATACHAR_COMMON_H
#define ZQL_TESTS_DATACHAR_COMMON_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zqldda.h"
#include "zqlsdata.h"

// Makes a new descriptor area current for its lifetime; Codes() are the
// conditions pushed meanwhile, oldest first.
class CDiagScope {
 public:
  CDiagScope() {
    dda_.Init(100);
    prev_ = ZqlSetCurrentDDA(&dda_);
  }
  ~CDiagScope() { ZqlSetCurrentDDA(prev_); }
  CDiagScope(const CDiagScope&) = delete;
  CDiagScope& operator=(const CDiagScope&) = delete;

  std::vector<int> Codes() const {
    std::vector<int> codes;
    for (int i = dda_.CondCount() - 1; i >= 0; --i) codes.push_back(dda_.Err(i));
    return codes;
  }
  bool Has(int code) const {
    for (int c : Codes())
      if (c == code) return true;
    return false;
  }
  bool None() const { return dda_.CondCount() == 0; }
  void Flush() { dda_.FlushCond(); }

 private:
  CZqlDDA dda_;
  CZqlDDA* prev_;
};

// The code body raised into a try frame, 0 when it ran to its end.
template <class Body>
int Raised(Body&& body) {
  return ZqlTry(body) ? 0 : ZqlTryCode();
}

// Units below 0x80 as characters, others as "<XXXX>".
inline std::string Str(const CZqlUcStr& s) {
  std::string out;
  for (int i = 0; i < s.Length(); ++i) {
    const unsigned short u = s.UcStr()[i];
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "<%04X>", u);
      out += buf;
    }
  }
  return out;
}

// The logical value as text ("" for null).
inline std::string Value(const CZqlData& v) {
  CZqlUcStr s;
  v.getValue(&s);
  return Str(s);
}

inline std::string Literal(const CZqlData& v) {
  CZqlUcStr s;
  v.SQLLiteral(&s);
  return Str(s);
}

inline std::string TypeText(const CZqlData& v) {
  CZqlUcStr s;
  v.SQLType(&s);
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
