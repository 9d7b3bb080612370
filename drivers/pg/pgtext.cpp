// UTF-8 and 16-bit Unicode.

#include "pgtext.h"

#include <vector>

namespace zqlpg {

CZqlUcStr Utf16Of(const char* text, int length) {
  std::vector<unsigned short> units;
  units.reserve(static_cast<size_t>(length) + 1);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + length;
  while (p < end) {
    uint32_t cp = *p;
    int more = cp < 0x80 ? 0 : (cp & 0xE0) == 0xC0 ? 1 : (cp & 0xF0) == 0xE0 ? 2 : (cp & 0xF8) == 0xF0 ? 3 : -1;
    ++p;
    if (more < 0 || end - p < more) {
      units.push_back(0xFFFD);
      continue;
    }
    cp &= more == 0 ? 0x7F : more == 1 ? 0x1F : more == 2 ? 0x0F : 0x07;
    bool bad = false;
    for (int i = 0; i < more; ++i, ++p) {
      bad = bad || (*p & 0xC0) != 0x80;
      cp = cp << 6 | (*p & 0x3F);
    }
    if (bad || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      units.push_back(static_cast<unsigned short>(0xD800 + (cp >> 10)));
      units.push_back(static_cast<unsigned short>(0xDC00 + (cp & 0x3FF)));
    } else {
      units.push_back(static_cast<unsigned short>(cp));
    }
  }
  CZqlUcStr out;
  if (!units.empty()) out.Copy(units.data(), static_cast<int>(units.size()));
  return out;
}

std::string Utf8Of(const CZqlUcStr& s) {
  std::string out;
  const unsigned short* u = s.UcStr();
  const int n = s.Length();
  for (int i = 0; i < n; ++i) {
    uint32_t cp = u[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (u[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | cp >> 18);
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

CZqlUcStr DbmsName(const std::string& dbms, const std::string& object, const std::string& message) {
  std::string text = "zqlpg         " + dbms + "-" + object + "-" + message;
  return Utf16Of(text);
}

}  // namespace zqlpg
