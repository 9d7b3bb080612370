// The character-property tables of set 2 of zqlloc.xmx, from the Unicode
// Character Database (UnicodeData.txt and CompositionExclusions.txt).
//
// From message 3 on: nine class tables (upper, lower, letters without case,
// decimal digits, hexadecimal digits, white space, punctuation and symbols,
// controls, non-spacing marks), each a run of 17-unit rows (the row number,
// then 16 words with bit 0x8000 >> (u & 15) of word (u >> 4) & 15 set for a
// unit u of the class) ended by an end mark; then the case map (for every
// cased unit its counterpart of the other case) and the decimal-digit map
// (every decimal digit to '0'..'9'), each a run of 257-unit rows ended by an
// end mark; then the composition table: entries of n, the n units of a
// base character and its marks, and the precomposed unit, over messages of
// units ended by an end mark. Only the Basic Multilingual Plane is held.

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "gen.h"

namespace gen {
namespace {

constexpr int kClasses = 9;
enum { kUpper, kLower, kAlpha, kDigit, kXdigit, kSpace, kPunct, kCntrl, kNonSpace };
constexpr std::size_t kCompositionChunk = 1024;  // units per message

struct SChar {
  std::string category;
  int combining = 0;
  std::vector<uint16_t> decomposition;  // canonical only; empty otherwise
  int digit = -1;
  int upper = -1;
  int lower = -1;
  bool known = false;
};

using Table = std::vector<SChar>;  // indexed by unit, 0x10000 entries

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> f;
  std::stringstream ss(line);
  std::string item;
  while (std::getline(ss, item, ';')) f.push_back(item);
  if (!line.empty() && line.back() == ';') f.emplace_back();
  return f;
}

long Hex(const std::string& s) { return s.empty() ? -1 : std::strtol(s.c_str(), nullptr, 16); }

bool Fail(const std::string& file, int line, const std::string& message) {
  std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), line, message.c_str());
  return false;
}

SChar Parse(const std::vector<std::string>& f) {
  SChar c;
  c.known = true;
  c.category = f[2];
  c.combining = std::atoi(f[3].c_str());
  if (!f[5].empty() && f[5][0] != '<') {
    std::stringstream ds(f[5]);
    std::string part;
    while (ds >> part) c.decomposition.push_back(static_cast<uint16_t>(Hex(part)));
  }
  if (!f[6].empty()) c.digit = std::atoi(f[6].c_str());
  const long up = Hex(f[12]);
  const long low = Hex(f[13]);
  c.upper = up >= 0 && up <= 0xFFFF ? static_cast<int>(up) : -1;
  c.lower = low >= 0 && low <= 0xFFFF ? static_cast<int>(low) : -1;
  return c;
}

// Reads UnicodeData.txt, with its "First>"/"Last>" ranges filled in.
bool ReadData(const std::string& file, Table* t) {
  std::ifstream in(file);
  if (!in) return Fail(file, 0, "cannot open the file");
  std::string line;
  int n = 0;
  long rangeStart = -1;
  while (std::getline(in, line)) {
    ++n;
    if (line.empty()) continue;
    const auto f = Fields(line);
    if (f.size() < 15) return Fail(file, n, "expected 15 fields");
    const long cp = Hex(f[0]);
    if (cp < 0) return Fail(file, n, "bad code point");
    if (cp > 0xFFFF) continue;
    const SChar c = Parse(f);
    if (f[1].find(", First>") != std::string::npos) {
      rangeStart = cp;
      continue;
    }
    const long from = f[1].find(", Last>") != std::string::npos && rangeStart >= 0 ? rangeStart : cp;
    for (long u = from; u <= cp; ++u) (*t)[static_cast<std::size_t>(u)] = c;
    rangeStart = -1;
  }
  return true;
}

bool ReadExclusions(const std::string& file, std::set<long>* out) {
  std::ifstream in(file);
  if (!in) return Fail(file, 0, "cannot open the file");
  std::string line;
  while (std::getline(in, line)) {
    const std::string code = line.substr(0, line.find('#'));
    const long cp = Hex(code.substr(0, code.find_first_of(" \t")));
    if (cp >= 0) out->insert(cp);
  }
  return true;
}

int ClassOf(const SChar& c, int u, int k) {
  const std::string& g = c.category;
  switch (k) {
    case kUpper: return g == "Lu" || g == "Lt";
    case kLower: return g == "Ll";
    case kAlpha: return g == "Lo" || g == "Lm";
    case kDigit: return g == "Nd";
    case kXdigit:
      return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f') ||
             (u >= 0xFF10 && u <= 0xFF19) || (u >= 0xFF21 && u <= 0xFF26) ||
             (u >= 0xFF41 && u <= 0xFF46);
    case kSpace: return g == "Zs" || g == "Zl" || g == "Zp" || (u >= 9 && u <= 13) || u == 0x85;
    case kPunct: return !g.empty() && (g[0] == 'P' || g[0] == 'S');
    case kCntrl: return g == "Cc";
    default: return g == "Mn" || g == "Me";
  }
}

// Full canonical decomposition of u into out.
void Decompose(const Table& t, uint16_t u, std::vector<uint16_t>* out) {
  const SChar& c = t[u];
  if (c.decomposition.empty()) {
    out->push_back(u);
    return;
  }
  for (uint16_t d : c.decomposition) Decompose(t, d, out);
}

class CWriter {
 public:
  explicit CWriter(std::FILE* out) : out_(out) {}
  void Units(const std::vector<uint16_t>& units) { WriteUnits(out_, number_++, units); }
  void End() { std::fprintf(out_, "%d end\n", number_++); }

 private:
  std::FILE* out_;
  int number_ = 3;
};

void WriteClass(const Table& t, int k, CWriter& w) {
  for (int row = 0; row < 256; ++row) {
    std::vector<uint16_t> words(17, 0);
    words[0] = static_cast<uint16_t>(row);
    bool any = false;
    for (int low = 0; low < 256; ++low) {
      const int u = row * 256 + low;
      if (!t[static_cast<std::size_t>(u)].known || !ClassOf(t[static_cast<std::size_t>(u)], u, k))
        continue;
      words[1 + (low >> 4)] |= static_cast<uint16_t>(0x8000 >> (low & 15));
      any = true;
    }
    if (any) w.Units(words);
  }
  w.End();
}

// A map as its rows that change at least one unit; map(u) answers the
// unit's image.
template <class Map>
void WriteMap(Map&& map, CWriter& w) {
  for (int row = 0; row < 256; ++row) {
    std::vector<uint16_t> units(1, static_cast<uint16_t>(row));
    bool any = false;
    for (int low = 0; low < 256; ++low) {
      const int u = row * 256 + low;
      const int image = map(u);
      units.push_back(static_cast<uint16_t>(image));
      any = any || image != u;
    }
    if (any) w.Units(units);
  }
  w.End();
}

void WriteComposition(const Table& t, const std::set<long>& excluded, CWriter& w) {
  std::vector<uint16_t> all;
  std::set<std::vector<uint16_t>> seen;
  for (int u = 0; u < 0x10000; ++u) {
    const SChar& c = t[static_cast<std::size_t>(u)];
    // Singletons, excluded characters and decompositions that start with a
    // mark never come out of a composition.
    if (c.decomposition.size() < 2 || excluded.count(u) ||
        t[c.decomposition[0]].combining != 0)
      continue;
    std::vector<uint16_t> seq;
    Decompose(t, static_cast<uint16_t>(u), &seq);
    bool marks = !ClassOf(t[seq[0]], seq[0], kNonSpace);
    for (std::size_t i = 1; i < seq.size() && marks; ++i)
      marks = ClassOf(t[seq[i]], seq[i], kNonSpace) != 0;
    if (!marks || !seen.insert(seq).second) continue;
    all.push_back(static_cast<uint16_t>(seq.size()));
    all.insert(all.end(), seq.begin(), seq.end());
    all.push_back(static_cast<uint16_t>(u));
  }
  // Messages end between entries.
  std::vector<uint16_t> chunk;
  for (std::size_t i = 0; i < all.size();) {
    const std::size_t len = all[i] + 2u;
    if (!chunk.empty() && chunk.size() + len > kCompositionChunk) {
      w.Units(chunk);
      chunk.clear();
    }
    chunk.insert(chunk.end(), all.begin() + static_cast<long>(i),
                 all.begin() + static_cast<long>(i + len));
    i += len;
  }
  if (!chunk.empty()) w.Units(chunk);
  w.End();
}

}  // namespace

int Unicode(const std::string& dataFile, const std::string& exclusionsFile, std::FILE* out) {
  Table t(0x10000);
  std::set<long> excluded;
  if (!ReadData(dataFile, &t) || !ReadExclusions(exclusionsFile, &excluded)) return 1;
  std::fprintf(out, "# Character properties generated from %s.\n", dataFile.c_str());
  std::fprintf(out, "set 2\n1 \"character properties\"\n");
  std::fprintf(out, "2 \"upper lower alpha digit xdigit space punct cntrl nonspace\"\n");
  CWriter w(out);
  for (int k = 0; k < kClasses; ++k) WriteClass(t, k, w);
  WriteMap(
      [&](int u) {
        const SChar& c = t[static_cast<std::size_t>(u)];
        if (ClassOf(c, u, kUpper) && c.lower >= 0) return c.lower;
        if (ClassOf(c, u, kLower) && c.upper >= 0) return c.upper;
        return u;
      },
      w);
  WriteMap(
      [&](int u) {
        const SChar& c = t[static_cast<std::size_t>(u)];
        return c.category == "Nd" && c.digit >= 0 && c.digit <= 9 ? '0' + c.digit : u;
      },
      w);
  WriteComposition(t, excluded, w);
  return 0;
}

}  // namespace gen
