// pgtext.h - UTF-8 text of the driver's client strings.
#ifndef ZQL_DRIVERS_PG_PGTEXT_H
#define ZQL_DRIVERS_PG_PGTEXT_H

#include <string>

#include "zqlucode.h"

namespace zqlpg {

// 16-bit Unicode of UTF-8 text (length bytes); malformed bytes become
// U+FFFD. Raises 0xA008.
CZqlUcStr Utf16Of(const char* text, int length);
inline CZqlUcStr Utf16Of(const std::string& text) {
  return Utf16Of(text.data(), static_cast<int>(text.size()));
}
// UTF-8 of s, surrogate pairs joined; a lone surrogate becomes U+FFFD.
std::string Utf8Of(const CZqlUcStr& s);
// The DBMS name text: 14 characters of the driver, then DBMS, object and
// message separated by hyphens.
CZqlUcStr DbmsName(const std::string& dbms, const std::string& object, const std::string& message);

}  // namespace zqlpg

#endif  // ZQL_DRIVERS_PG_PGTEXT_H
