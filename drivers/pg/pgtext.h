// pgtext.h - the driver's text conversions, on the kit's shared helpers.
#ifndef ZQL_DRIVERS_PG_PGTEXT_H
#define ZQL_DRIVERS_PG_PGTEXT_H

#include <cstring>
#include <string>

#include "zqldrvsql.h"
#include "zqltry.h"

namespace zqlpg {

// 16-bit Unicode of UTF-8 text (length bytes); malformed bytes become
// U+FFFD (the server sends UTF-8 only). May raise 0xA008.
inline CZqlUcStr Utf16Of(const char* text, int length) {
  CZqlUcStr out;
  ZqlDrvUtf8ToUcStr(text, static_cast<size_t>(length), &out);
  return out;
}
inline CZqlUcStr Utf16Of(const std::string& text) {
  return Utf16Of(text.data(), static_cast<int>(text.size()));
}
// UTF-8 of s. An unpaired surrogate or a NUL (which the server's texts
// cannot hold) raises 0x2215 "character not in repertoire": the text is
// refused rather than sent cut.
inline std::string Utf8Of(const CZqlUcStr& s) {
  std::string out;
  if (!ZqlDrvToUtf8(s, &out) || out.find('\0') != std::string::npos)
    ZQL_RAISE(kZqlErrCharacterNotInRepertoire);
  return out;
}
// The DBMS name text of the driver's replies.
inline CZqlUcStr DbmsName(const std::string& dbms, const std::string& object,
                          const std::string& message) {
  return Utf16Of(ZqlDrvDbmsName("zqlpg", dbms, "", object, message));
}

}  // namespace zqlpg

#endif  // ZQL_DRIVERS_PG_PGTEXT_H
