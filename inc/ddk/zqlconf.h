// zqlconf.h - sectioned initialization files (CZqlWinIni) and the library's
// configuration file "zql.ini" (CZqlConfig).
//
// A file holds section headers ("[NAME]") and entries ("key = value");
// section names and keys compare without regard to letter case and the first
// match wins. The reader parses lazily and parses again only when the file's
// modification time changed. Parsing holds a shared lock on byte 1000000 of
// the file; a rewrite holds an exclusive lock on bytes 1000000 and 1000001
// and parses the file afresh under that lock, so that processes sharing one
// file never lose each other's writes.
//
// Raising follows zqlio.h. Errors: 0xB013 "Cannot open ZQL.INI file" when
// "zql.ini" cannot be found; 0xA005 "initialization file has errors or is
// corrupted" for a malformed file; 0xA017 when the lock is not had within the
// time-out; 0xA00B for a null argument or a section, key or value that the
// file could not hold; file errors of zqlio.h pass through.
#ifndef ZQL_ZQLCONF_H
#define ZQL_ZQLCONF_H

#include <cstdint>
#include <functional>

#include "zqlclass.h"
#include "zqlio.h"

ZQL_PUBLIC_BEGIN

struct SZqlIniLists;

// Byte range of the file's lock: parsing locks 1 byte, rewriting 2.
constexpr uint32_t kZqlIniLockOffset = 1000000;

class CZqlWinIni : public CZqlObject {
 public:
  // name as given, with ".INI" appended unless it holds a '.' followed by a
  // character that is not white space.
  explicit CZqlWinIni(const CZqlUcStr& name);
  explicit CZqlWinIni(const char* name);
  ~CZqlWinIni() override;
  CZqlWinIni(const CZqlWinIni&) = delete;
  CZqlWinIni& operator=(const CZqlWinIni&) = delete;

  // Parses the file when needed and selects section. Answers the number of
  // its entries, or -1 when there is no such section or (except for
  // "zql.ini", which raises 0xB013) no such file. May raise.
  virtual int openCfgFile(const CZqlUcStr& section);
  virtual int openCfgFile(const char* section);
  // The value of key in section into value (when not null). Answers 1 when
  // found, else 0. May raise as openCfgFile.
  virtual int readCfgString(const CZqlUcStr& section, const CZqlUcStr& key, CZqlUcStr* value);
  virtual int readCfgString(const char* section, const char* key, CZqlUcStr* value);
  // Entry index (from 0, file order) of the section selected by the last
  // openCfgFile; key and value may be null. Answers 1, or 0 for an index out
  // of range or with no section selected. Never raises.
  virtual int getEntry(int index, CZqlUcStr* key, CZqlUcStr* value);
  // Sets key in section to value, adds it, or with an empty value removes it
  // (and the section with its last entry), then rewrites the file; a missing
  // file is created when there is something to write. Answers 1 when the
  // file was rewritten, 0 when nothing changed or the file could not be
  // opened for writing. May raise (0xA017 after the time-out).
  virtual int writeCfgString(const CZqlUcStr& section, const CZqlUcStr& key,
                             const CZqlUcStr& value);
  virtual int writeCfgString(const char* section, const char* key, const char* value);

  // The lock time-out of this reader's file operations, clamped to 1..600
  // seconds (30 by default).
  void SetTimeOut(int seconds);
  // The file name as constructed.
  const CZqlUcStr& FileName() const { return fileName_; }

 protected:
  // Index of the section that lookups of name use, or -1. REQUIRES: parsed.
  virtual int sectionIndex(const CZqlUcStr& name) const;
  // The name under which a missing section name is created.
  virtual CZqlUcStr newSectionName(const CZqlUcStr& name) const;

  // The file's full path into path (kZqlMaxPath bytes): 1 when found, 0
  // when not; with configRaises, "zql.ini" not found raises 0xB013.
  int locate(char* path, bool configRaises);
  // Parses the file when its path or time changed. Answers 1 when the file
  // was found, 0 when not. Raises.
  int refresh();
  // Opens the file for rewriting (creating it when missing and create is
  // set), locks it exclusively, parses it afresh and hands the lists to
  // edit, which answers whether it changed them; a change is written back.
  // Answers 1 when written, 0 when not or when the file could not be opened.
  // Raises.
  int rewrite(bool create, const std::function<bool(SZqlIniLists&)>& edit);
  SZqlIniLists* lists() const { return lists_; }

 private:
  void parseFile(const char* path);
  void parseFrom(CZqlFile& file, SZqlIniLists& into);
  void writeLines(CZqlFile& file, const SZqlIniLists& l);
  int select(const CZqlUcStr& section);
  bool editEntry(SZqlIniLists& l, const CZqlUcStr& section, const CZqlUcStr& key,
                 const CZqlUcStr& value);
  bool isConfigFile() const;
  void setLists(SZqlIniLists* l);

  CZqlUcStr fileName_;
  SZqlFileTime time_;         // of the file when last parsed; 0 before
  SZqlIniLists* lists_;       // owned; null until the first parse
  int current_;               // selected section, -1 when none
  int timeOut_;               // lock time-out in seconds
  char path_[kZqlMaxPath];    // the file parsed last
  bool nameLost_ = false;     // the name given did not convert
};

// The configuration file "zql.ini". Wherever a section is looked up, the
// section of the same name followed by "." and ZqlPlatformName() ("Unix")
// takes precedence, and new sections are created under that name. The file
// is located anew by every operation (CZqlDirMisc::Find).
class CZqlConfig : public CZqlWinIni {
 public:
  CZqlConfig();

  // Makes environment an environment served by driver: adds it to
  // ENVIRONMENTS when missing and writes Driver = driver into its section.
  // Answers 1, or 0 when the driver has no section (or an empty one) or a
  // write failed. May raise as writeCfgString.
  int createEnv(const CZqlUcStr& environment, const CZqlUcStr& driver);
  int createEnv(const char* environment, const char* driver);
  // Removes environment from ENVIRONMENTS and drops its section (the lines
  // from its header through its last entry). Answers 1, or 0 when it was
  // not listed, has no entries, or the file could not be rewritten. May
  // raise as writeCfgString.
  int dropEnv(const CZqlUcStr& environment);
  int dropEnv(const char* environment);

 protected:
  int sectionIndex(const CZqlUcStr& name) const override;
  CZqlUcStr newSectionName(const CZqlUcStr& name) const override;
};

ZQL_PUBLIC_END

#endif  // ZQL_ZQLCONF_H
