// Collation definition sources from readable collation files (msg/*.col).
//
// A collation file is UTF-8 text, one statement per line, '#' starting a
// comment:
//   name NAME              the collation's name
//   description "TEXT"     free text
//   order TOKEN ...        the tokens of one line weigh the same; the lines
//                          ascend
//   expand TOKEN = TOKEN ...   the first token weighs as the sequence of the
//                          weights of the others
// A token is a character, a sequence of characters (for example "ch"), or
// U+XXXX. Characters of 0x00-0xFF that no line names keep their code order,
// those below the first named one before all lines, the others after; any
// other character that no line names weighs its own value.
//
// Layout of set 1 (as the library loads it): message 1 the name, 2 the
// description, 3 the number k of multi-character entries (first byte), then
// rows of 257 units (row number and 256 weights), the end mark, and, when k
// is not 0, one message of k pairs of zero-terminated unit strings (source,
// weights) followed by another end mark.

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "gen.h"

namespace gen {
namespace {

using Units = std::vector<uint16_t>;

struct SEntry {
  Units source;
  Units weights;
};

bool Fail(const std::string& file, int line, const std::string& message) {
  std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), line, message.c_str());
  return false;
}

// Decodes UTF-8 text (or U+XXXX) into units; false when malformed or
// outside 16 bits.
bool Decode(const std::string& token, Units* out) {
  out->clear();
  if (token.size() == 6 && token[0] == 'U' && token[1] == '+') {
    char* end = nullptr;
    const long v = std::strtol(token.c_str() + 2, &end, 16);
    if (*end != '\0' || v <= 0 || v > 0xFFFF) return false;
    out->push_back(static_cast<uint16_t>(v));
    return true;
  }
  for (std::size_t i = 0; i < token.size();) {
    const unsigned char c = static_cast<unsigned char>(token[i]);
    int n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 0;
    if (n == 0 || i + static_cast<std::size_t>(n) > token.size()) return false;
    uint32_t v = n == 1 ? c : n == 2 ? (c & 0x1Fu) : (c & 0x0Fu);
    for (int k = 1; k < n; ++k) {
      const unsigned char d = static_cast<unsigned char>(token[i + static_cast<std::size_t>(k)]);
      if ((d & 0xC0) != 0x80) return false;
      v = (v << 6) | (d & 0x3Fu);
    }
    if (v == 0) return false;
    out->push_back(static_cast<uint16_t>(v));
    i += static_cast<std::size_t>(n);
  }
  return !out->empty();
}

struct SSource {
  std::string name;
  std::string description;
  std::vector<std::vector<Units>> groups;
  std::vector<std::pair<Units, std::vector<Units>>> expansions;
  std::vector<int> expansionLines;
};

bool ReadSource(const std::string& file, SSource* src) {
  std::ifstream in(file);
  if (!in) return Fail(file, 0, "cannot open the file");
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    const std::size_t quote = line.find('"');
    std::string text = line.substr(0, std::min(line.find('#'), line.size()));
    std::istringstream words(text);
    std::string key;
    if (!(words >> key)) continue;
    std::vector<Units> tokens;
    std::string w;
    if (key == "name") {
      if (!(words >> src->name) || (words >> w)) return Fail(file, n, "name takes one word");
    } else if (key == "description") {
      const std::size_t close = quote == std::string::npos ? quote : line.find('"', quote + 1);
      if (close == std::string::npos) return Fail(file, n, "description needs a quoted text");
      src->description = line.substr(quote + 1, close - quote - 1);
    } else if (key == "order" || key == "expand") {
      bool equals = false;
      while (words >> w) {
        if (key == "expand" && w == "=" && tokens.size() == 1 && !equals) {
          equals = true;
          continue;
        }
        Units u;
        if (!Decode(w, &u)) return Fail(file, n, "'" + w + "' is not a 16-bit character token");
        tokens.push_back(u);
      }
      if (key == "order") {
        if (tokens.empty()) return Fail(file, n, "order needs at least one token");
        src->groups.push_back(tokens);
      } else {
        if (!equals || tokens.size() < 2) return Fail(file, n, "expand needs TOKEN = TOKEN ...");
        src->expansions.push_back({tokens[0], {tokens.begin() + 1, tokens.end()}});
        src->expansionLines.push_back(n);
      }
    } else {
      return Fail(file, n, "unknown statement '" + key + "'");
    }
  }
  if (src->name.empty()) return Fail(file, 0, "no name given");
  return true;
}

// UTF-8 text as ASCII, other characters as the library's escape "\U+XXXX"
// (malformed text is kept as it is).
std::string Escaped(const std::string& utf8) {
  Units units;
  if (!Decode(utf8, &units)) return utf8;
  std::string out;
  for (uint16_t u : units) {
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    char esc[8];
    std::snprintf(esc, sizeof esc, "\\U+%04X", u);
    out += esc;
  }
  return out;
}

}  // namespace

int Collation(const std::string& sourceFile, std::FILE* out) {
  SSource src;
  if (!ReadSource(sourceFile, &src)) return 1;
  std::map<uint16_t, uint16_t> listed;  // unit -> weight
  std::vector<SEntry> entries;
  int lowest = 0x100;
  for (const auto& g : src.groups)
    for (const auto& t : g)
      if (t.size() == 1 && t[0] < lowest) lowest = t[0];
  std::vector<uint16_t> row0(256, 0);
  std::map<uint16_t, bool> named;
  for (const auto& g : src.groups)
    for (const auto& t : g)
      if (t.size() == 1) named[t[0]] = true;
  int w = 1;
  for (int u = 1; u < lowest; ++u)
    if (!named.count(static_cast<uint16_t>(u))) row0[static_cast<std::size_t>(u)] = static_cast<uint16_t>(w++);
  for (const auto& g : src.groups) {
    const uint16_t weight = static_cast<uint16_t>(w++);
    for (const auto& t : g) {
      if (t.size() == 1 && listed.count(t[0])) {
        std::fprintf(stderr, "%s:0: character U+%04X is named twice\n", sourceFile.c_str(), t[0]);
        return 1;
      }
      if (t.size() == 1)
        listed[t[0]] = weight;
      else
        entries.push_back({t, Units(1, weight)});
    }
  }
  for (int u = lowest; u < 0x100; ++u)
    if (!named.count(static_cast<uint16_t>(u))) row0[static_cast<std::size_t>(u)] = static_cast<uint16_t>(w++);
  if (w > 0x100) {
    std::fprintf(stderr, "%s:0: too many weights for one row\n", sourceFile.c_str());
    return 1;
  }
  auto weightOf = [&](uint16_t u) -> uint16_t {
    auto it = listed.find(u);
    if (it != listed.end()) return it->second;
    return u < 0x100 ? row0[u] : u;
  };
  for (std::size_t i = 0; i < src.expansions.size(); ++i) {
    const auto& x = src.expansions[i];
    SEntry e{x.first, {}};
    for (const auto& t : x.second) {
      if (t.size() != 1) {
        Fail(sourceFile, src.expansionLines[i], "expand targets must be single characters");
        return 1;
      }
      e.weights.push_back(weightOf(t[0]));
    }
    if (x.first.size() == 1 && listed.count(x.first[0])) {
      Fail(sourceFile, src.expansionLines[i], "an expanded character cannot also be ordered");
      return 1;
    }
    entries.push_back(e);
  }
  if (entries.size() > 255) {
    std::fprintf(stderr, "%s:0: more than 255 multi-character entries\n", sourceFile.c_str());
    return 1;
  }

  std::map<int, Units> rows;
  for (int u = 0; u < 0x100; ++u) rows[0].push_back(weightOf(static_cast<uint16_t>(u)));
  for (const auto& l : listed) {
    const int r = l.first >> 8;
    if (r == 0 || rows.count(r)) continue;
    for (int low = 0; low < 256; ++low) rows[r].push_back(weightOf(static_cast<uint16_t>(r * 256 + low)));
  }

  std::fprintf(out, "# Collation %s, from %s.\n", src.name.c_str(), sourceFile.c_str());
  std::fprintf(out, "codepage ascii\nper-block 8\nset 1\n");
  std::fprintf(out, "1 %s\n2 %s\n", Quote(src.name).c_str(), Quote(Escaped(src.description)).c_str());
  std::fprintf(out, "3 %s\n", Quote(std::string(1, static_cast<char>(entries.size()))).c_str());
  int number = 4;
  for (const auto& r : rows) {
    Units units(1, static_cast<uint16_t>(r.first));
    units.insert(units.end(), r.second.begin(), r.second.end());
    WriteUnits(out, number++, units);
  }
  std::fprintf(out, "%d end\n", number++);
  if (!entries.empty()) {
    Units pairs;
    for (const auto& e : entries) {
      pairs.insert(pairs.end(), e.source.begin(), e.source.end());
      pairs.push_back(0);
      pairs.insert(pairs.end(), e.weights.begin(), e.weights.end());
      pairs.push_back(0);
    }
    WriteUnits(out, number++, pairs);
    std::fprintf(out, "%d end\n", number++);
  }
  return 0;
}

}  // namespace gen
