// Character-set definition sources, made with the C library's iconv.
//
// Layout of set 1 (as the library loads it): message 1 the name, 2 a
// description, 3 the kind (first byte), 4 the second attribute, 5 the 16
// words of the lead-byte set, then one message per row (the lead byte, or 0
// for single bytes, followed by the 256 Unicode values of its codes,
// 0xFFFD where a code has none), then the end mark.
//
// A code is kept only when its character converts back to that same code,
// so that every mapping the table holds survives a round trip; a character
// that several codes produce keeps the code iconv itself writes for it.

#include <errno.h>
#include <iconv.h>

#include <array>
#include <cstring>
#include <map>

#include "gen.h"

namespace gen {
namespace {

constexpr int kKindSingle = 1;
constexpr int kKindDouble = 2;

// An iconv conversion descriptor that closes itself.
class CConverter {
 public:
  CConverter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~CConverter() {
    if (ok()) iconv_close(cd_);
  }
  CConverter(const CConverter&) = delete;
  CConverter& operator=(const CConverter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts in (n bytes) completely; answers the bytes written to out, or
  // -1 when the input is invalid, -2 when it is incomplete.
  int Run(const char* in, std::size_t n, char* out, std::size_t room) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* ip = const_cast<char*>(in);
    char* op = out;
    std::size_t il = n;
    std::size_t ol = room;
    if (iconv(cd_, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1))
      return errno == EINVAL ? -2 : -1;
    if (iconv(cd_, nullptr, nullptr, &op, &ol) == static_cast<std::size_t>(-1)) return -1;
    return static_cast<int>(op - out);
  }

 private:
  iconv_t cd_;
};

// The one BMP character a code converts to, or kNoMapping; -2 when the code
// is the incomplete start of a longer one.
int32_t Decode(CConverter& in, const char* code, std::size_t n) {
  char out[32];
  const int got = in.Run(code, n, out, sizeof out);
  if (got == -2) return -2;
  if (got != 4) return kNoMapping;
  const unsigned char* b = reinterpret_cast<const unsigned char*>(out);
  const uint32_t cp = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
  if (cp > 0xFFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp == kNoMapping) return kNoMapping;
  return static_cast<int32_t>(cp);
}

// The code iconv writes for character u (first byte high), or -1.
int Encode(CConverter& out, uint16_t u) {
  const char in[4] = {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8), 0, 0};
  char code[16];
  const int got = out.Run(in, 4, code, sizeof code);
  if (got == 1) return static_cast<unsigned char>(code[0]);
  if (got == 2) return (static_cast<unsigned char>(code[0]) << 8) | static_cast<unsigned char>(code[1]);
  return -1;
}

using Row = std::array<uint16_t, 256>;

}  // namespace

int Charset(const std::string& name, const std::string& iconvName, std::FILE* out) {
  CConverter in("UTF-32LE", iconvName.c_str());
  CConverter back(iconvName.c_str(), "UTF-32LE");
  if (!in.ok() || !back.ok()) {
    std::fprintf(stderr, "zqlxmgen: iconv does not know the character set %s\n",
                 iconvName.c_str());
    return 1;
  }
  std::map<int, Row> rows;
  Row& single = rows[0];
  single.fill(kNoMapping);
  single[0] = 0;
  std::vector<int> leads;
  for (int b = 1; b < 256; ++b) {
    const char code[1] = {static_cast<char>(b)};
    const int32_t u = Decode(in, code, 1);
    if (u == -2)
      leads.push_back(b);
    else
      single[static_cast<std::size_t>(b)] = static_cast<uint16_t>(u);
  }
  for (int lead : leads) {
    Row& row = rows[lead];
    row.fill(kNoMapping);
    for (int s = 0; s < 256; ++s) {
      const char code[2] = {static_cast<char>(lead), static_cast<char>(s)};
      const int32_t u = Decode(in, code, 2);
      if (u >= 0) row[static_cast<std::size_t>(s)] = static_cast<uint16_t>(u);
    }
  }
  // Keep only the codes that come back from their character.
  int dropped = 0;
  for (auto& r : rows) {
    for (int c = 1; c < 256; ++c) {
      uint16_t& u = r.second[static_cast<std::size_t>(c)];
      if (u == kNoMapping) continue;
      const int code = r.first == 0 ? c : (r.first << 8) | c;
      if (Encode(back, u) != code) {
        u = kNoMapping;
        ++dropped;
      }
    }
  }
  uint16_t leadSet[16] = {};
  for (int lead : leads) leadSet[lead >> 4] |= static_cast<uint16_t>(0x8000 >> (lead & 15));

  std::fprintf(out, "# Character set %s, made with iconv (%s).\n", name.c_str(),
               iconvName.c_str());
  if (dropped > 0)
    std::fprintf(out, "# %d codes whose characters convert to other codes are left out.\n",
                 dropped);
  std::fprintf(out, "codepage ascii\nper-block 8\nset 1\n");
  std::fprintf(out, "1 %s\n", Quote(name).c_str());
  std::fprintf(out, "2 %s\n", Quote("character set " + name + " (iconv " + iconvName + ")").c_str());
  std::fprintf(out, "3 %s\n", Quote(std::string(1, leads.empty() ? kKindSingle : kKindDouble)).c_str());
  std::fprintf(out, "4 %s\n", Quote(std::string(1, '\0')).c_str());
  WriteUnits(out, 5, std::vector<uint16_t>(leadSet, leadSet + 16));
  int number = 6;
  for (const auto& r : rows) {
    std::vector<uint16_t> units(1, static_cast<uint16_t>(r.first));
    units.insert(units.end(), r.second.begin(), r.second.end());
    WriteUnits(out, number++, units);
  }
  std::fprintf(out, "%d end\n", number);
  return 0;
}

}  // namespace gen
