// CZqlWinIni: reading, selecting and rewriting a sectioned initialization
// file, and the records of the parsed file.

#include <cstring>

#include "confint.h"
#include "zqlconf.h"

namespace {

// Runs body as an entry point: a raise inside goes on to the caller's frame
// or handler, or with neither open makes the call answer failure.
template <class Body>
int Guarded(int failure, Body&& body) {
  return ZqlEntry<int>(failure, [&]() -> int { return body(); });
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// [*begin, *end) without leading and trailing white space.
void Trim(const char** begin, const char** end) {
  while (*begin < *end && IsBlank(**begin)) ++*begin;
  while (*end > *begin && IsBlank((*end)[-1])) --*end;
}

CZqlUcStr FromBytes(const char* begin, const char* end) {
  CZqlUcStr s;
  if (end > begin) s.Copy(begin, static_cast<int>(end - begin));
  return s;
}

// A value between a pair of single or double quotes loses them.
void Unquote(const char** begin, const char** end) {
  if (*end - *begin < 2) return;
  const char q = **begin;
  if ((q == '\'' || q == '"') && (*end)[-1] == q) {
    ++*begin;
    --*end;
  }
}

CZqlUcStr EntryLine(const CZqlUcStr& key, const CZqlUcStr& value) {
  CZqlUcStr line(key);
  line.Append(" = ");
  line.Append(value);
  return line;
}

CZqlUcStr HeaderLine(const CZqlUcStr& name) {
  CZqlUcStr line("[");
  line.Append(name);
  line.Append("]");
  return line;
}

bool HasUnit(const CZqlUcStr& s, unsigned short u) { return s.FindFirst(u) >= 0; }

bool HasLineBreak(const CZqlUcStr& s) {
  return HasUnit(s, static_cast<unsigned short>('\n')) ||
         HasUnit(s, static_cast<unsigned short>('\r'));
}

bool IsBlankUnit(unsigned short u) { return u == ' ' || u == '\t' || u == '\v' || u == '\f'; }

// Whether the file could hold the entry: the lines written must read back as
// the same section and key, and must not break into further lines.
bool Writable(const CZqlUcStr& section, const CZqlUcStr& key, const CZqlUcStr& value) {
  const int n = key.Length();
  if (n == 0 || HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  if (HasUnit(section, ']') || HasUnit(key, '=') || HasUnit(key, '[')) return false;
  return key[0] != ';' && !IsBlankUnit(key[0]) && !IsBlankUnit(key[n - 1]);
}

// Parses one line of the file into the lists; cur is the current section.
void ParseLine(const char* text, int length, SZqlIniLists& l, CZqlSection** cur) {
  const char* end = text + length;
  const char* p = text;
  while (p < end && IsBlank(*p)) ++p;
  if (p == end) return;  // white space only: dropped
  if (text[0] == ';') {  // a comment only in the first column
    l.lines.emplace_back(new CZqlStringINI(text, length));
    return;
  }
  if (*p == '[') {
    const char* close = static_cast<const char*>(std::memchr(p + 1, ']', end - p - 1));
    if (close == nullptr) ZQL_RAISE(kZqlErrInitializationFileHasErrorsOrIsCorrupted);
    const char* b = p + 1;
    const char* e = close;
    Trim(&b, &e);
    CZqlUcStr gap;
    gap.Copy(" ");  // raises where the converting constructor would not
    l.lines.emplace_back(new CZqlStringINI(gap));
    l.lines.emplace_back(new CZqlStringINI(text, length));
    l.sections.emplace_back(
        new CZqlSection(static_cast<int32_t>(l.lines.size()), FromBytes(b, e)));
    *cur = l.sections.back().get();
    return;
  }
  const char* eq = static_cast<const char*>(std::memchr(text, '=', length));
  const char* keyEnd = eq != nullptr ? eq : end;
  const bool bracket = std::memchr(text, '[', keyEnd - text) != nullptr;
  const char* kb = text;
  const char* ke = keyEnd;
  Trim(&kb, &ke);
  if (eq == nullptr || bracket || kb == ke || *cur == nullptr) {
    ZQL_RAISE(kZqlErrInitializationFileHasErrorsOrIsCorrupted);
  }
  const char* vb = eq + 1;
  const char* ve = end;
  Trim(&vb, &ve);
  Unquote(&vb, &ve);
  l.lines.emplace_back(new CZqlStringINI(text, length));
  (*cur)->entries.emplace_back(
      new CZqlEntry(static_cast<int32_t>(l.lines.size()), FromBytes(kb, ke), FromBytes(vb, ve)));
}

}  // namespace

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

CZqlStringINI::CZqlStringINI(const char* bytes, int length)
    : text_(FromBytes(bytes, bytes + length)), bytes_(bytes, static_cast<std::size_t>(length)),
      fromFile_(true) {}

CZqlObject* CZqlStringINI::duplicate() const { return new CZqlStringINI(*this); }

void CZqlStringINI::SetText(const CZqlUcStr& text) {
  text_ = text;
  bytes_.clear();
  fromFile_ = false;
}

void CZqlStringINI::AppendBytes(std::string* out) const {
  if (fromFile_) {
    out->append(bytes_);
    return;
  }
  const int n = text_.Chlen();
  const std::size_t at = out->size();
  out->resize(at + static_cast<std::size_t>(n) + 1);
  text_.getToChar(&(*out)[at], n + 1);
  out->resize(at + std::strlen(out->c_str() + at));
}

CZqlSection::CZqlSection(const CZqlSection& other)
    : CZqlObject(other), line(other.line), name(other.name) {
  for (const auto& e : other.entries)
    entries.emplace_back(new CZqlEntry(e->line, e->name, e->value));
}

int CZqlSection::FindEntry(const CZqlUcStr& key) const {
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i]->name.Compi(key) == 0) return static_cast<int>(i);
  return -1;
}

void SZqlIniLists::ShiftAfter(int32_t after, int32_t delta) {
  for (auto& s : sections) {
    if (s->line > after) s->line += delta;
    for (auto& e : s->entries)
      if (e->line > after) e->line += delta;
  }
}

// ---------------------------------------------------------------------------
// CZqlWinIni
// ---------------------------------------------------------------------------

// name with ".INI" appended unless it holds a '.' followed by a character
// that is not white space.
static void NameWithExtension(CZqlUcStr* name) {
  const unsigned short* u = name->UcStr();
  for (int i = 0; u[i] != 0; ++i)
    if (u[i] == '.' && u[i + 1] != 0 && !IsBlankUnit(u[i + 1]) && u[i + 1] != '\n' &&
        u[i + 1] != '\r')
      return;
  name->Append(".INI");
}

CZqlWinIni::CZqlWinIni(const CZqlUcStr& name)
    : fileName_(name), time_{{0, 0}}, lists_(nullptr), current_(-1),
      timeOut_(kZqlLockTimeOutDefault), path_{} {
  NameWithExtension(&fileName_);
}

// The converting constructor would leave an empty name when memory runs
// out: the name is made here instead, and such a reader finds no file
// (locate raises 0xA008) rather than another one.
CZqlWinIni::CZqlWinIni(const char* name)
    : time_{{0, 0}}, lists_(nullptr), current_(-1), timeOut_(kZqlLockTimeOutDefault), path_{} {
  nameLost_ = !ZqlTry([&] {
    if (name != nullptr) fileName_.Copy(name);
    NameWithExtension(&fileName_);
  });
}

CZqlWinIni::~CZqlWinIni() { setLists(nullptr); }

void CZqlWinIni::setLists(SZqlIniLists* l) {
  delete lists_;
  lists_ = l;
}

void CZqlWinIni::SetTimeOut(int seconds) {
  if (seconds < kZqlLockTimeOutMin) seconds = kZqlLockTimeOutMin;
  if (seconds > kZqlLockTimeOutMax) seconds = kZqlLockTimeOutMax;
  timeOut_ = seconds;
}

bool CZqlWinIni::isConfigFile() const { return fileName_.Compi("zql.ini") == 0; }

int CZqlWinIni::sectionIndex(const CZqlUcStr& name) const {
  if (lists_ == nullptr) return -1;
  for (std::size_t i = 0; i < lists_->sections.size(); ++i)
    if (lists_->sections[i]->name.Compi(name) == 0) return static_cast<int>(i);
  return -1;
}

CZqlUcStr CZqlWinIni::newSectionName(const CZqlUcStr& name) const { return name; }

int CZqlWinIni::locate(char* path, bool configRaises) {
  if (nameLost_) ZQL_RAISE(kZqlErrInsufficientMemory);
  CZqlDirMisc dir;
  int found = 0;
  const int ok = ZqlTry([&] {
    char name[kZqlMaxPath];
    if (fileName_.Chlen() < kZqlMaxPath) {
      fileName_.getToChar(name, kZqlMaxPath);
      found = dir.Find(name, path, kZqlMaxPath);
    }
  });
  if (!ok && ZqlTryCode() != kZqlErrPathNotFound) ZQL_RERAISE();
  if (found) return 1;
  if (configRaises && isConfigFile()) ZQL_RAISE(kZqlErrCannotOpenZQLINIFile);
  return 0;
}

void CZqlWinIni::parseFrom(CZqlFile& file, SZqlIniLists& into) {
  CZqlSection* cur = nullptr;
  for (;;) {
    const char* text = nullptr;
    int length = 0;
    if (!ZqlTry([&] { file.ReadLine(&text, &length); })) {
      if (ZqlTryCode() != kZqlErrEOFFound) ZQL_RERAISE();
      return;
    }
    ParseLine(text, length, into, &cur);
  }
}

void CZqlWinIni::parseFile(const char* path) {
  CZqlFile file;
  file.Open(path, 0);
  file.SetTimeOut(timeOut_);
  file.Lock(kZqlIniLockOffset, 1);
  SZqlFileTime t{{0, 0}};
  file.LastAccess(&t);
  setLists(nullptr);
  current_ = -1;
  auto* fresh = new SZqlIniLists;
  if (!ZqlTry([&] { parseFrom(file, *fresh); })) {
    // Nothing of a parse that stopped (a malformed file, exhausted memory)
    // is kept: the next call reads the file again instead of answering
    // from a part of it.
    const int code = ZqlTryCode();
    delete fresh;
    time_ = SZqlFileTime{{0, 0}};
    file.Unlock(kZqlIniLockOffset, 1);
    ZQL_RAISE(code);
  }
  file.Unlock(kZqlIniLockOffset, 1);
  setLists(fresh);
  time_ = t;
  std::strcpy(path_, path);
}

int CZqlWinIni::refresh() {
  char path[kZqlMaxPath];
  if (!locate(path, true)) return 0;
  SZqlFileTime t;
  CZqlDirMisc dir;
  if (!dir.LastAccess(path, &t)) return 1;
  if (lists_ != nullptr && t == time_ && std::strcmp(path, path_) == 0) return 1;
  parseFile(path);
  return 1;
}

int CZqlWinIni::select(const CZqlUcStr& section) {
  current_ = sectionIndex(section);
  if (current_ < 0) return -1;
  return static_cast<int>(lists_->sections[static_cast<std::size_t>(current_)]->entries.size());
}

int CZqlWinIni::openCfgFile(const CZqlUcStr& section) {
  return Guarded(-1, [&] {
    if (!refresh()) {
      current_ = -1;
      return -1;
    }
    return select(section);
  });
}

int CZqlWinIni::openCfgFile(const char* section) {
  return ZqlEntry<int>(-1, [&]() -> int {
    if (section == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    return openCfgFile(CZqlUcStr(section));
  });
}

int CZqlWinIni::readCfgString(const CZqlUcStr& section, const CZqlUcStr& key, CZqlUcStr* value) {
  if (openCfgFile(section) <= 0) return 0;
  const CZqlSection& s = *lists_->sections[static_cast<std::size_t>(current_)];
  const int i = s.FindEntry(key);
  if (i < 0) return 0;
  if (value != nullptr) *value = s.entries[static_cast<std::size_t>(i)]->value;
  return 1;
}

int CZqlWinIni::readCfgString(const char* section, const char* key, CZqlUcStr* value) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (section == nullptr || key == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    return readCfgString(CZqlUcStr(section), CZqlUcStr(key), value);
  });
}

int CZqlWinIni::getEntry(int index, CZqlUcStr* key, CZqlUcStr* value) {
  if (lists_ == nullptr || current_ < 0 ||
      current_ >= static_cast<int>(lists_->sections.size()))
    return 0;
  const CZqlSection& s = *lists_->sections[static_cast<std::size_t>(current_)];
  if (index < 0 || index >= static_cast<int>(s.entries.size())) return 0;
  const CZqlEntry& e = *s.entries[static_cast<std::size_t>(index)];
  return ZqlTry([&] {
    if (key != nullptr) *key = e.name;
    if (value != nullptr) *value = e.value;
  });
}

void CZqlWinIni::writeLines(CZqlFile& file, const SZqlIniLists& l) {
  std::string out;
  for (const auto& line : l.lines) {
    line->AppendBytes(&out);
    out.push_back('\n');
  }
  // The new text goes over the old one before the rest is cut off, so the
  // file is never left empty halfway.
  file.SetSeek(0);
  file.Write(out.data(), static_cast<unsigned int>(out.size()));
  file.Truncate(static_cast<int64_t>(out.size()));
}

int CZqlWinIni::rewrite(bool create, const std::function<bool(SZqlIniLists&)>& edit) {
  char path[kZqlMaxPath];
  int mode = kZqlFileReadWrite;
  if (!locate(path, false)) {
    char name[kZqlMaxPath];
    if (!create || fileName_.Chlen() >= kZqlMaxPath) return 0;
    fileName_.getToChar(name, kZqlMaxPath);
    ZqlSubstituteInFileName(name);
    if (ZqlExpandFileName(name) == nullptr) return 0;
    std::strcpy(path, name);
    mode |= kZqlFileCreateKeep;
  }
  CZqlFile file;
  if (!ZqlTry([&] { file.Open(path, mode); })) return 0;
  file.SetTimeOut(timeOut_);
  file.Lock(kZqlIniLockOffset, 2);
  // What an earlier parse saw may be stale: another process may have
  // rewritten the file since. Under the exclusive lock the file is current.
  auto* fresh = new SZqlIniLists;
  if (!ZqlTry([&] { parseFrom(file, *fresh); })) {
    delete fresh;
    ZQL_RERAISE();
  }
  setLists(fresh);
  std::strcpy(path_, path);
  time_ = SZqlFileTime{{0, 0}};
  current_ = -1;
  const bool changed = edit(*fresh);
  if (changed) writeLines(file, *fresh);
  file.LastAccess(&time_);
  file.Unlock(kZqlIniLockOffset, 2);
  return changed ? 1 : 0;
}

// Applies one write to the lists; answers whether they changed.
bool CZqlWinIni::editEntry(SZqlIniLists& l, const CZqlUcStr& section, const CZqlUcStr& key,
                           const CZqlUcStr& value) {
  const int si = sectionIndex(section);
  current_ = si;
  if (si < 0) {  // new section at the end
    if (value.Length() == 0) return false;
    CZqlUcStr gap;
    gap.Copy(" ");  // raises where the converting constructor would not
    l.lines.emplace_back(new CZqlStringINI(gap));
    l.lines.emplace_back(new CZqlStringINI(HeaderLine(newSectionName(section))));
    l.sections.emplace_back(
        new CZqlSection(static_cast<int32_t>(l.lines.size()), newSectionName(section)));
    l.lines.emplace_back(new CZqlStringINI(EntryLine(key, value)));
    l.sections.back()->entries.emplace_back(
        new CZqlEntry(static_cast<int32_t>(l.lines.size()), key, value));
    current_ = static_cast<int>(l.sections.size()) - 1;
    return true;
  }
  CZqlSection& s = *l.sections[static_cast<std::size_t>(si)];
  const int ei = s.FindEntry(key);
  if (ei < 0) {  // new key after the section's last entry
    if (value.Length() == 0) return false;
    const int32_t after = s.entries.empty() ? s.line : s.entries.back()->line;
    l.ShiftAfter(after, 1);
    l.lines.emplace(l.lines.begin() + after, new CZqlStringINI(EntryLine(key, value)));
    s.entries.emplace_back(new CZqlEntry(after + 1, key, value));
    return true;
  }
  if (value.Length() > 0) {  // every entry of that key takes the value
    for (auto& e : s.entries) {
      if (e->name.Compi(key) != 0) continue;
      e->value = value;
      l.lines[static_cast<std::size_t>(e->line - 1)]->SetText(EntryLine(e->name, value));
    }
    return true;
  }
  if (s.entries.size() > 1) {  // the entry and its line go
    const int32_t line = s.entries[static_cast<std::size_t>(ei)]->line;
    s.entries.erase(s.entries.begin() + ei);
    l.lines.erase(l.lines.begin() + (line - 1));
    l.ShiftAfter(line, -1);
    return true;
  }
  // The section's only entry: the section goes from its header through that
  // entry; the single-space line before the header stays.
  const int32_t first = s.line;
  const int32_t last = s.entries.front()->line;
  l.sections.erase(l.sections.begin() + si);
  l.lines.erase(l.lines.begin() + (first - 1), l.lines.begin() + last);
  l.ShiftAfter(last, -(last - first + 1));
  current_ = 0;
  return true;
}

int CZqlWinIni::writeCfgString(const CZqlUcStr& section, const CZqlUcStr& key,
                               const CZqlUcStr& value) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (!Writable(section, key, value)) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    return Guarded(0, [&] {
      return rewrite(value.Length() > 0,
                     [&](SZqlIniLists& l) { return editEntry(l, section, key, value); });
    });
  });
}

int CZqlWinIni::writeCfgString(const char* section, const char* key, const char* value) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (section == nullptr || key == nullptr || value == nullptr)
      ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    return writeCfgString(CZqlUcStr(section), CZqlUcStr(key), CZqlUcStr(value));
  });
}
