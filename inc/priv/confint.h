// confint.h - the records of a parsed initialization file: its sections,
// their entries and the file's lines, as CZqlWinIni keeps them in memory.
#ifndef ZQL_CONFINT_H
#define ZQL_CONFINT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zqlclass.h"

// One line of the file, kept to write the file back. A line read from the
// file keeps its bytes, so that rewriting never alters a line nobody
// changed, whatever the character set; a line made by the library has none
// and is written from its text.
class CZqlStringINI : public CZqlObject {
 public:
  CZqlStringINI() = default;
  explicit CZqlStringINI(const CZqlUcStr& text) : text_(text) {}
  CZqlStringINI(const char* bytes, int length);
  CZqlObject* duplicate() const override;

  const CZqlUcStr& Text() const { return text_; }
  // Replaces the text and forgets the bytes read from the file.
  void SetText(const CZqlUcStr& text);
  // Appends the line as written to the file, without its '\n'. Raises
  // 0xA008 on exhaustion.
  void AppendBytes(std::string* out) const;

 private:
  CZqlUcStr text_;
  std::string bytes_;  // as read; empty for a line the library made
  bool fromFile_ = false;
};

// One "key = value" entry; line is the position of its line in the line
// list, counted from 1.
class CZqlEntry : public CZqlObject {
 public:
  CZqlEntry() = default;
  CZqlEntry(int32_t at, const CZqlUcStr& key, const CZqlUcStr& text)
      : line(at), name(key), value(text) {}
  CZqlObject* duplicate() const override { return new CZqlEntry(line, name, value); }

  int32_t line = 0;
  CZqlUcStr name;
  CZqlUcStr value;
};

// One section; line is the position of its header line, counted from 1.
class CZqlSection : public CZqlObject {
 public:
  CZqlSection() = default;
  CZqlSection(int32_t at, const CZqlUcStr& title) : line(at), name(title) {}
  // Copies the entries too.
  CZqlSection(const CZqlSection& other);
  CZqlSection& operator=(const CZqlSection&) = delete;
  CZqlObject* duplicate() const override { return new CZqlSection(*this); }

  // Index of the first entry named key (without regard to case), or -1.
  int FindEntry(const CZqlUcStr& key) const;

  int32_t line = 0;
  std::vector<std::unique_ptr<CZqlEntry>> entries;
  CZqlUcStr name;
};

// The parsed file: its sections and its lines in file order.
struct SZqlIniLists {
  std::vector<std::unique_ptr<CZqlSection>> sections;
  std::vector<std::unique_ptr<CZqlStringINI>> lines;

  // Moves every section and entry whose line comes after `after` by delta
  // lines.
  void ShiftAfter(int32_t after, int32_t delta);
};

#endif  // ZQL_CONFINT_H
