// The error messages of set 1 of zqlloc.xmx, from the error code table
// msg/zqlerr.def (compiled in, so that the file is read exactly as the
// library reads it).

#include <map>

#include "gen.h"

namespace gen {
namespace {

struct SRow {
  int code;
  int msgno;
  const char* text;
};

constexpr SRow kRows[] = {
#define ZQL_ERROR(name, code, msgno, text) {code, msgno, text},
#include "zqlerr.def"
#undef ZQL_ERROR
};

}  // namespace

std::string Quote(const std::string& bytes) {
  std::string q = "\"";
  for (unsigned char c : bytes) {
    if (c == '"' || c == '\\') {
      q.push_back('\\');
      q.push_back(static_cast<char>(c));
    } else if (c >= 0x20 && c < 0x7F) {
      q.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      q += hex;
    }
  }
  return q + "\"";
}

int Errors(std::FILE* out) {
  std::map<int, const SRow*> byNumber;
  for (const SRow& r : kRows) {
    auto it = byNumber.find(r.msgno);
    if (it != byNumber.end() && std::string(it->second->text) != r.text) {
      std::fprintf(stderr, "zqlxmgen: message %d has two texts (codes 0x%04X and 0x%04X)\n",
                   r.msgno, it->second->code, r.code);
      return 1;
    }
    byNumber[r.msgno] = &r;
  }
  std::fprintf(out, "# Generated from msg/zqlerr.def: the message of every error code.\n");
  std::fprintf(out, "set 1\n");
  for (const auto& m : byNumber)
    std::fprintf(out, "%d %s  # 0x%04X\n", m.first, Quote(m.second->text).c_str(),
                 m.second->code);
  return 0;
}

void WriteUnits(std::FILE* out, int number, const std::vector<uint16_t>& units) {
  std::fprintf(out, "%d units", number);
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (i % 16 == 0) std::fprintf(out, " \\\n ");
    std::fprintf(out, " %04X", units[i]);
  }
  std::fprintf(out, "\n");
}

}  // namespace gen
