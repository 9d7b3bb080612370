// Printing, sorting, hashing and comparing query results.
#include "sltresult.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sltmd5.h"

namespace zqlslt {
namespace {

// The leading integer of a text (blanks, sign, digits), clamped to 64 bits;
// 0 when there is none.
int64_t LeadingInteger(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  uint64_t v = 0;
  const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    const unsigned d = static_cast<unsigned>(s[i] - '0');
    v = v > (limit - d) / 10 ? limit : v * 10 + d;
  }
  return negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
}

// The leading decimal number of a text (no hexadecimal, inf or nan); 0 when
// there is none.
double LeadingNumber(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  const size_t from = i;
  auto digits = [&] {
    const size_t at = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    return i > at;
  };
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  bool any = digits();
  if (i < s.size() && s[i] == '.') {
    ++i;
    any = digits() || any;
  }
  if (!any) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t at = i++;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    if (!digits()) i = at;
  }
  return std::strtod(s.substr(from, i - from).c_str(), nullptr);
}

int64_t Truncate(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9223372036854775807.0) return INT64_MAX;
  if (d <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(d);
}

std::string Integer(int64_t v) { return std::to_string(v); }

// "%.3f" as SQLite's printf writes it: at most 16 significant digits, the
// rest of the integer part as zeros; no sign on a zero.
std::string Real(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d < 0 ? "-Inf" : "Inf";
  if (d == 0) return "0.000";
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.15e", std::fabs(d));
  const int exponent = std::atoi(std::strchr(buf, 'e') + 1);
  if (exponent < 13) {
    std::snprintf(buf, sizeof buf, "%.3f", d);
    return buf;
  }
  std::string digits;  // the 16 significant digits
  for (const char* p = buf; *p != 'e'; ++p)
    if (*p != '.') digits.push_back(*p);
  std::string out = d < 0 ? "-" : "";
  const size_t whole = static_cast<size_t>(exponent) + 1;
  if (whole >= digits.size()) return out + digits + std::string(whole - digits.size(), '0') + ".000";
  std::string fraction = digits.substr(whole);
  fraction.resize(3, '0');
  return out + digits.substr(0, whole) + "." + fraction;
}

std::string Printable(const std::string& s) {
  if (s.empty()) return "(empty)";
  std::string out = s;
  for (char& c : out)
    if (c < ' ' || c > '~') c = '@';
  return out;
}

// At most 160 characters of values separated by blanks.
std::string Brief(const std::vector<std::string>& values) {
  if (values.empty()) return "no values";
  std::string out;
  for (const std::string& v : values) {
    if (!out.empty()) out += ' ';
    out += v;
    if (out.size() > 160) return out.substr(0, 157) + "...";
  }
  return out;
}

}  // namespace

std::string SltPrint(const SSltValue& v, char type) {
  if (v.kind == SSltValue::kNull) return "NULL";
  switch (type) {
    case 'I':
      if (v.kind == SSltValue::kInt) return Integer(v.i);
      if (v.kind == SSltValue::kReal) return Integer(Truncate(v.r));
      return Integer(LeadingInteger(v.text));
    case 'R':
      if (v.kind == SSltValue::kInt) return Real(static_cast<double>(v.i));
      if (v.kind == SSltValue::kReal) return Real(v.r);
      return Real(LeadingNumber(v.text));
    default:
      return Printable(v.text);
  }
}

void SltSort(std::vector<std::string>* values, size_t columns, ESltSort sort) {
  if (sort == ESltSort::kValueSort) {
    std::sort(values->begin(), values->end());
  } else if (sort == ESltSort::kRowSort && columns > 0) {
    const size_t rows = values->size() / columns;
    std::vector<size_t> order(rows);
    for (size_t i = 0; i < rows; ++i) order[i] = i;
    const std::vector<std::string>& v = *values;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      for (size_t c = 0; c < columns; ++c) {
        const int cmp = v[a * columns + c].compare(v[b * columns + c]);
        if (cmp != 0) return cmp < 0;
      }
      return false;
    });
    std::vector<std::string> sorted;
    sorted.reserve(values->size());
    for (size_t r : order)
      for (size_t c = 0; c < columns; ++c) sorted.push_back(std::move((*values)[r * columns + c]));
    *values = std::move(sorted);
  }
}

std::string SltHash(const std::vector<std::string>& values) {
  CSltMd5 md5;
  for (const std::string& v : values) {
    md5.Update(v);
    md5.Update("\n", 1);
  }
  return md5.Hex();
}

std::string SltHashText(const std::vector<std::string>& values) {
  return std::to_string(values.size()) + " values hashing to " + SltHash(values);
}

SSltVerdict SltCompare(const SSltRecord& query, const std::vector<std::string>& values) {
  SSltVerdict out;
  if (query.hashed) {
    out.expected = std::to_string(query.hashCount) + " values hashing to " + query.hash;
    out.got = SltHashText(values);
    out.same = out.got == out.expected;
    if (!out.same && static_cast<int64_t>(values.size()) != query.hashCount)
      out.first = "value count " + std::to_string(values.size()) + " instead of " + std::to_string(query.hashCount);
    return out;
  }
  out.same = values == query.expected;
  if (out.same) return out;
  out.expected = Brief(query.expected);
  out.got = Brief(values);
  const size_t columns = query.types.empty() ? 1 : query.types.size();
  for (size_t k = 0; k < std::max(values.size(), query.expected.size()); ++k) {
    const bool haveE = k < query.expected.size(), haveG = k < values.size();
    if (haveE && haveG && values[k] == query.expected[k]) continue;
    out.first = "row " + std::to_string(k / columns + 1) + " column " + std::to_string(k % columns + 1) +
                ": expected " + (haveE ? "'" + query.expected[k] + "'" : "nothing") + ", got " +
                (haveG ? "'" + values[k] + "'" : "nothing");
    break;
  }
  return out;
}

}  // namespace zqlslt
