// sltresult.h - the result side of a query record: printing values by the
// type letters, sorting, hashing, and comparing with the expected result.
#ifndef ZQL_TOOLS_SLTRESULT_H
#define ZQL_TOOLS_SLTRESULT_H

#include <cstdint>
#include <string>
#include <vector>

#include "sltformat.h"

namespace zqlslt {

// One value of a result row as the database delivered it.
struct SSltValue {
  enum EKind { kNull, kInt, kReal, kText };
  EKind kind = kNull;
  int64_t i = 0;     // kInt
  double r = 0;      // kReal
  std::string text;  // kText: UTF-8; kInt, kReal: the value's own text form
};

// The printed form of v in a column of type letter I, T or R:
//   NULL for a null; I an integer (reals truncated toward zero, text by its
//   leading integer, 0 when none); R "%.3f" (text by its leading number);
//   T the text with every byte outside ' '..'~' as '@', "(empty)" for an
//   empty text, numbers in their own text form.
std::string SltPrint(const SSltValue& v, char type);

// Sorts printed values (row by row, `columns` per row) as the mode says.
void SltSort(std::vector<std::string>* values, size_t columns, ESltSort sort);

// The MD5 of every value followed by a newline, in order.
std::string SltHash(const std::vector<std::string>& values);

// "N values hashing to H" for values.
std::string SltHashText(const std::vector<std::string>& values);

// The outcome of comparing a query's sorted printed values with its record.
struct SSltVerdict {
  bool same = false;
  std::string expected;  // short forms for the failure line
  std::string got;
  std::string first;     // the first differing value, when known
};

// Compares values (sorted already) with what the query record expects. A
// hashed expectation compares count and MD5; listed values compare one by
// one whatever the threshold.
SSltVerdict SltCompare(const SSltRecord& query, const std::vector<std::string>& values);

}  // namespace zqlslt

#endif  // ZQL_TOOLS_SLTRESULT_H
