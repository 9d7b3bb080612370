// Writer of the binary message-file format (see inc/priv/zqlxmf.h for the
// layout the library reads).

#include <cctype>

#include "xmc.h"

namespace xmc {
namespace {

constexpr int kHeaderSize = 200;
constexpr int kAttrBytes = (256 * 3 + 1) * 2;
constexpr uint16_t kFlagRelease = 0x0002;
constexpr uint16_t kFlagLocked = 0x8000;
constexpr int kClear = 7;
constexpr int kUnits = 9;

void Put16(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

void PutText(std::string* out, const std::string& text, std::size_t width) {
  std::string field = text.substr(0, width - 1);
  field.resize(width, '\0');
  out->append(field);
}

// The attribute record of one code in the C locale's ASCII classes.
void AsciiAttribute(int c, uint16_t* flags, uint16_t* partner, uint16_t* eval) {
  *flags = 0;
  *partner = 0;
  *eval = 0;
  if (c >= 0x80) return;
  if (std::isupper(c)) {
    *flags |= 0x1;
    *partner = static_cast<uint16_t>(std::tolower(c));
  }
  if (std::islower(c)) {
    *flags |= 0x2;
    *partner = static_cast<uint16_t>(std::toupper(c));
  }
  if (std::isdigit(c)) {
    *flags |= 0x4;
    *eval = static_cast<uint16_t>(c - '0');
  }
  if (std::isspace(c)) *flags |= 0x8;
  if (std::ispunct(c)) *flags |= 0x10;
  if (std::iscntrl(c)) *flags |= 0x20;
  if (std::isxdigit(c) && !std::isdigit(c)) {
    *flags |= 0x40;
    *eval = static_cast<uint16_t>(std::tolower(c) - 'a' + 10);
  }
  if (c == ' ') *flags |= 0x80;
}

std::string AttributeTable(bool ascii) {
  std::string out;
  for (int c = 0; c < 256; ++c) {
    uint16_t f = 0, p = 0, e = 0;
    if (ascii) AsciiAttribute(c, &f, &p, &e);
    Put16(&out, f);
    Put16(&out, p);
    Put16(&out, e);
  }
  Put16(&out, 1);  // character mode: single bytes
  return out;
}

// One record: header, text (scrambled unless type 7 or 9).
std::string Record(int number, const SMessage& m) {
  const std::size_t n = m.bytes.size();
  const std::size_t len = n + 8;
  std::string r;
  r.push_back(static_cast<char>((number >> 8) & 0x7F));
  r.push_back(static_cast<char>(number & 0xFF));
  r.push_back(static_cast<char>(m.type));
  r.push_back(static_cast<char>((len >> 8) & 0xFF));
  r.push_back(static_cast<char>(len & 0xFF));
  r.append(3, '\0');
  const bool scrambled = m.type != kClear && m.type != kUnits;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char key = scrambled ? static_cast<unsigned char>((n + i) & 0xFF) : 0;
    r.push_back(static_cast<char>(static_cast<unsigned char>(m.bytes[i]) ^ key));
  }
  return r;
}

struct SEntry {
  uint16_t flags = 0;
  uint16_t size = 0;
  uint32_t offset = 0;
};

}  // namespace

bool Build(const SModel& model, std::string* out, SError* error) {
  const int g = model.perBlock;
  const int setCount = model.sets.empty() ? 0 : model.sets.rbegin()->first + 1;
  std::vector<std::pair<uint16_t, uint32_t>> sets(static_cast<std::size_t>(setCount));
  std::vector<SEntry> entries;
  std::string blocks;
  for (const auto& s : model.sets) {
    const int count = s.second.empty() ? 0 : s.second.rbegin()->first;  // <= 32767
    sets[static_cast<std::size_t>(s.first)] = {static_cast<uint16_t>(count),
                                               static_cast<uint32_t>(entries.size())};
    for (int first = 1; first <= count; first += g) {
      std::string block;
      const SMessage* head = nullptr;
      for (auto it = s.second.lower_bound(first); it != s.second.end() && it->first < first + g;
           ++it) {
        if (head == nullptr) head = &it->second;
        block += Record(it->first, it->second);
        if (block.size() & 1) block.push_back('\0');  // the next record starts even
      }
      if (block.size() > static_cast<std::size_t>(kMaxBlock)) {
        error->place = head->place;
        error->message = "the block of messages " + std::to_string(first) + " to " +
                         std::to_string(first + g - 1) + " of set " + std::to_string(s.first) +
                         " takes " + std::to_string(block.size()) +
                         " bytes, more than 65535: lower per-block";
        return false;
      }
      SEntry e;
      if (!block.empty()) {
        e.flags = kFlagRelease;
        if (model.lockedSets.count(s.first)) e.flags |= kFlagLocked;
        e.size = static_cast<uint16_t>(block.size());
        e.offset = static_cast<uint32_t>(blocks.size());  // rebased below
      }
      entries.push_back(e);
      blocks += block;
    }
  }

  const uint32_t attrOffset = kHeaderSize;
  const uint32_t indexOffset = attrOffset + kAttrBytes;
  const uint32_t blocksOffset =
      indexOffset + static_cast<uint32_t>(sets.size() * 6 + entries.size() * 8);
  std::string body;
  PutText(&body, model.title, 83);
  PutText(&body, model.subtitle, 21);
  PutText(&body, model.codePage, 21);
  PutText(&body, model.language, 9);
  Put16(&body, 1);  // version
  const uint32_t values[16] = {0,
                               attrOffset,
                               0,
                               0,
                               0,
                               0,
                               static_cast<uint32_t>(sets.size()),
                               indexOffset,
                               static_cast<uint32_t>(g),
                               static_cast<uint32_t>(entries.size()),
                               0,
                               0,
                               0,
                               0,
                               static_cast<uint32_t>(model.cacheLimit),
                               0};
  for (uint32_t v : values) Put32(&body, v);
  body += AttributeTable(model.asciiAttributes);
  for (const auto& s : sets) {
    Put16(&body, s.first);
    Put32(&body, s.second);
  }
  for (const auto& e : entries) {
    Put16(&body, e.flags);
    Put16(&body, e.size);
    Put32(&body, e.size != 0 ? e.offset + blocksOffset : 0);
  }
  body += blocks;

  out->assign(static_cast<std::size_t>(model.prefix), '\0');
  *out += body;
  Put32(out, static_cast<uint32_t>(body.size()));  // from the header to the trailer
  out->push_back(static_cast<char>('X' ^ 0xAB));
  out->push_back(static_cast<char>('M' ^ 0xCD));
  out->push_back(static_cast<char>('X' ^ 0xEF));
  return true;
}

}  // namespace xmc
