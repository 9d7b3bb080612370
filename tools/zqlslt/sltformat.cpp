// Reading sqllogictest files: blocks of lines, header words, bodies.
#include "sltformat.h"

#include <cctype>
#include <cstdlib>
#include <utility>

namespace zqlslt {
namespace {

struct SLine {
  int number;
  std::string text;
};
using Block = std::vector<SLine>;

bool Blank(const std::string& s) {
  for (char c : s)
    if (c != ' ' && c != '\t') return false;
  return true;
}

// The lines of text, CR before LF dropped, grouped into blocks at blank
// lines.
std::vector<Block> Blocks(const std::string& text) {
  std::vector<Block> out;
  Block current;
  int number = 0;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++number;
    if (Blank(line)) {
      if (!current.empty()) out.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back({number, std::move(line)});
    }
    if (end == text.size()) break;
    at = end + 1;
  }
  if (!current.empty()) out.push_back(std::move(current));
  return out;
}

// The words of a header line up to a word that starts a comment.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i == line.size()) break;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    if (line[i] == '#') break;
    out.push_back(line.substr(i, j - i));
    i = j;
  }
  return out;
}

// Decimal digits only, at most max; false otherwise.
bool Number(const std::string& s, int64_t max, int64_t* out) {
  if (s.empty() || s.size() > 19) return false;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    const int d = c - '0';
    if (v > (max - d) / 10) return false;
    v = v * 10 + d;
  }
  *out = v;
  return true;
}

// "N values hashing to H" with 32 lower-case hex digits.
bool HashLine(const std::string& line, int64_t* count, std::string* hash) {
  const std::vector<std::string> w = Words(line);
  if (w.size() != 5 || w[1] != "values" || w[2] != "hashing" || w[3] != "to") return false;
  if (w[4].size() != 32) return false;
  for (char c : w[4])
    if (!std::isxdigit(static_cast<unsigned char>(c)) || std::isupper(static_cast<unsigned char>(c)))
      return false;
  if (!Number(w[0], INT64_MAX, count)) return false;
  *hash = w[4];
  return true;
}

class CReader {
 public:
  explicit CReader(const Block& b) : block_(b) {}

  // Fills item from the block; false when the block holds only comments.
  bool Read(SSltItem* item) {
    size_t i = 0;
    while (i < block_.size() && block_[i].text[0] == '#') ++i;
    if (i == block_.size()) return false;
    for (const SLine& l : block_) {
      if (l.text.size() > kSltMaxLine)
        return Fail(item, l.number, "line longer than " + std::to_string(kSltMaxLine) + " bytes");
      // SQL text and values end at a NUL on their way to the database.
      if (l.text.find('\0') != std::string::npos) return Fail(item, l.number, "NUL byte in the line");
    }
    SSltRecord& r = item->record;
    std::vector<std::string> w = Words(block_[i].text);
    while (!w.empty() && (w[0] == "skipif" || w[0] == "onlyif")) {
      if (w.size() != 2)
        return Fail(item, block_[i].number, "'" + w[0] + "' needs exactly one engine name");
      std::string engine = w[1];
      for (char& c : engine) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      r.conditions.push_back({w[0] == "skipif", engine});
      if (++i == block_.size())
        return Fail(item, block_[i - 1].number, "'" + w[0] + "' is not followed by a record");
      w = Words(block_[i].text);
    }
    r.line = block_[i].number;
    if (w.empty()) return Fail(item, r.line, "record kind missing");
    body_ = i + 1;
    if (w[0] == "statement") return Statement(item, w);
    if (w[0] == "query") return Query(item, w);
    if (w[0] == "hash-threshold") return Threshold(item, w);
    if (w[0] == "halt") {
      r.kind = ESltKind::kHalt;
      return Only(item, w, 1);
    }
    return Fail(item, r.line, "unknown record kind '" + w[0] + "'");
  }

 private:
  bool Fail(SSltItem* item, int line, const std::string& message) {
    item->ok = false;
    item->problem = {line, message};
    return true;
  }

  // No more header words than n, and no body lines.
  bool Only(SSltItem* item, const std::vector<std::string>& w, size_t n) {
    if (w.size() > n) return Fail(item, item->record.line, "unexpected '" + w[n] + "' after '" + w[0] + "'");
    if (body_ < block_.size())
      return Fail(item, block_[body_].number, "'" + w[0] + "' takes no further lines");
    return true;
  }

  // Body lines [from, to) joined with LF; false when too long.
  bool Join(size_t from, size_t to, std::string* out) {
    for (size_t k = from; k < to; ++k) {
      if (k > from) out->push_back('\n');
      *out += block_[k].text;
      if (out->size() > kSltMaxSql) return false;
    }
    return true;
  }

  bool Statement(SSltItem* item, const std::vector<std::string>& w) {
    SSltRecord& r = item->record;
    if (w.size() < 2 || (w[1] != "ok" && w[1] != "error"))
      return Fail(item, r.line, "'statement' must be followed by 'ok' or 'error'");
    if (w.size() > 2) return Fail(item, r.line, "unexpected '" + w[2] + "' after 'statement " + w[1] + "'");
    r.kind = w[1] == "ok" ? ESltKind::kStatementOk : ESltKind::kStatementError;
    if (body_ == block_.size()) return Fail(item, r.line, "statement without SQL");
    if (!Join(body_, block_.size(), &r.sql)) return Fail(item, r.line, "SQL longer than " + std::to_string(kSltMaxSql) + " bytes");
    return true;
  }

  bool Query(SSltItem* item, const std::vector<std::string>& w) {
    SSltRecord& r = item->record;
    r.kind = ESltKind::kQuery;
    if (w.size() < 2) return Fail(item, r.line, "'query' needs a type string");
    if (w.size() > 4) return Fail(item, r.line, "unexpected '" + w[4] + "' after the query label");
    for (char c : w[1])
      if (c != 'I' && c != 'T' && c != 'R')
        return Fail(item, r.line, std::string("unknown type letter '") + c + "' in '" + w[1] + "' (I, T or R)");
    r.types = w[1];
    if (w.size() > 2) {
      if (w[2] == "nosort") r.sort = ESltSort::kNoSort;
      else if (w[2] == "rowsort") r.sort = ESltSort::kRowSort;
      else if (w[2] == "valuesort") r.sort = ESltSort::kValueSort;
      else return Fail(item, r.line, "unknown sort mode '" + w[2] + "' (nosort, rowsort or valuesort)");
    }
    if (w.size() > 3) r.label = w[3];
    size_t sep = body_;
    while (sep < block_.size() && block_[sep].text != "----") ++sep;
    if (sep == block_.size()) return Fail(item, r.line, "query without a '----' line");
    if (sep == body_) return Fail(item, r.line, "query without SQL");
    if (!Join(body_, sep, &r.sql)) return Fail(item, r.line, "SQL longer than " + std::to_string(kSltMaxSql) + " bytes");
    const size_t first = sep + 1;
    const size_t columns = r.types.size();
    if (block_.size() - first == 1 && HashLine(block_[first].text, &r.hashCount, &r.hash)) {
      r.hashed = true;
      if (r.hashCount > kSltMaxValues)
        return Fail(item, block_[first].number, "result of " + std::to_string(r.hashCount) + " values is too large");
      if (r.hashCount % static_cast<int64_t>(columns) != 0)
        return Fail(item, block_[first].number, std::to_string(r.hashCount) + " values do not make rows of " +
                                                    std::to_string(columns) + " columns ('" + r.types + "')");
      return true;
    }
    for (size_t k = first; k < block_.size(); ++k) r.expected.push_back(block_[k].text);
    if (r.expected.size() % columns != 0)
      return Fail(item, block_[first].number, std::to_string(r.expected.size()) + " values do not make rows of " +
                                                  std::to_string(columns) + " columns ('" + r.types + "')");
    return true;
  }

  bool Threshold(SSltItem* item, const std::vector<std::string>& w) {
    SSltRecord& r = item->record;
    r.kind = ESltKind::kHashThreshold;
    int64_t n = 0;
    if (w.size() < 2 || !Number(w[1], INT32_MAX, &n))
      return Fail(item, r.line, "'hash-threshold' needs a number from 0 to " + std::to_string(INT32_MAX));
    r.threshold = static_cast<int32_t>(n);
    return Only(item, w, 2);
  }

  const Block& block_;
  size_t body_ = 0;  // first line after the kind line
};

}  // namespace

std::vector<SSltItem> SltParse(const std::string& text) {
  std::vector<SSltItem> out;
  for (const Block& b : Blocks(text)) {
    SSltItem item;
    if (CReader(b).Read(&item)) out.push_back(std::move(item));
  }
  return out;
}

bool SltApplies(const SSltRecord& record, const std::string& engine) {
  for (const SSltCondition& c : record.conditions)
    if (c.skip == (c.engine == engine)) return false;
  return true;
}

}  // namespace zqlslt
