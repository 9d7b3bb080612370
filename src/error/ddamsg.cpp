// Error codes to SQLSTATEs and message texts.

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "zqlclass.h"
#include "zqlxmf.h"

namespace {

struct SZqlErrorEntry {
  int code;
  int msgno;
  const char* text;
};

// Ascending by code, as the table file lists them.
constexpr SZqlErrorEntry kErrors[] = {
#define ZQL_ERROR(name, code, msgno, text) {code, msgno, text},
#include "zqlerr.def"
#undef ZQL_ERROR
};

constexpr int kUndefinedMsgNo = 279;
constexpr const char* kUndefinedText = "undefined error code";
constexpr int kMessageSet = 1;

const SZqlErrorEntry* Find(int code) {
  const auto* end = std::end(kErrors);
  const auto* it = std::lower_bound(
      std::begin(kErrors), end, code,
      [](const SZqlErrorEntry& e, int c) { return e.code < c; });
  return it != end && it->code == code ? it : nullptr;
}

}  // namespace

const char* ZqlErrorDefaultText(int code) {
  const SZqlErrorEntry* e = Find(code);
  return e != nullptr ? e->text : nullptr;
}

int ZqlErrorMessageNumber(int code) {
  const SZqlErrorEntry* e = Find(code);
  return e != nullptr ? e->msgno : 0;
}

int ZqlErrorCodeCount() { return static_cast<int>(std::size(kErrors)); }

int ZqlErrorCodeAt(int i) {
  return i >= 0 && i < ZqlErrorCodeCount() ? kErrors[i].code : 0;
}

int ZqlMakeSQLSTATE(int code, char* out) {
  if (out == nullptr) return 0;
  char text[32];
  const unsigned u = static_cast<unsigned>(code);
  if (code == -1) {
    std::snprintf(text, sizeof text, "FFFFF");
  } else if (code == 0) {
    std::snprintf(text, sizeof text, "00000");
  } else if (u < 0xA000 || u == 0xCF00) {
    std::snprintf(text, sizeof text, "%2X%3u", (u >> 8) & 0xFF, u & 0xFF);
  } else {
    std::snprintf(text, sizeof text, "%1X%4u", (u >> 12) & 0xF, u & 0xFFF);
  }
  for (int i = 0; i < 5; ++i) out[i] = text[i] == ' ' ? '0' : text[i];
  return 1;
}

int ZqlMakeErrorMessage(int code, CZqlUcStr* out) {
  if (out == nullptr) return 0;
  if (code == 0) {
    out->Clear();
    return 1;
  }
  const SZqlErrorEntry* e = Find(code);
  if (e != nullptr)
    ZqlGetResStrObj(kMessageSet, e->msgno, e->text, out);
  else
    ZqlGetResStrObj(kMessageSet, kUndefinedMsgNo, kUndefinedText, out);
  return 1;
}
