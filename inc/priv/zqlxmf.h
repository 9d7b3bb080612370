// zqlxmf.h - message files (CZqlXmfUtil) and the library's resources:
// message texts and the settings of the section "ZQL" of zql.ini.
//
// A message file ends in a 7-byte trailer (the distance L from the header to
// the trailer, then "XMX" XORed with 0xAB 0xCD 0xEF) that locates a 200-byte
// header. The header names the code page of the texts, the character
// attribute table, and the index tables: per set its message count and first
// block entry, per block entry its flags, size and offset. A block holds up
// to g records (g messages per block) of the form
//   byte 0      bit 7 "text in clear" (0 in the file), bits 0-6 the high 7
//               bits of the message number
//   byte 1      low 8 bits of the message number
//   byte 2      record type: 1 and 7 bytes, 9 16-bit units, 10 and 11
//               32-bit and 64-bit units, other NUL-terminated bytes
//   bytes 3-4   record length, header included, high byte first
//   bytes 5-7   not used
//   bytes 8...  the text; every type but 7 and 9 is scrambled: byte i of n
//               is XORed with (n + i) & 0xFF
// and a record that ends at an odd offset of the block is followed by one
// pad byte. Integers of the header, the tables and unit texts are
// little-endian. Sets count from 0, messages from 1.
#ifndef ZQL_ZQLXMF_H
#define ZQL_ZQLXMF_H

#include <cstdint>

#include "zqlclass.h"
#include "zqlio.h"

// Exported from libzql although private: the LISP module reads its own
// message file with CZqlXmfUtil.
ZQL_PUBLIC_BEGIN

// Block-entry flags.
constexpr uint16_t kZqlXmfFlagRelease = 0x0002;  // a cache reset may release it
constexpr uint16_t kZqlXmfFlagLocked = 0x8000;   // stays in memory once loaded

// Record types.
constexpr int kZqlXmfTypeBytes = 1;     // bytes without terminator, scrambled
constexpr int kZqlXmfTypeClear = 7;     // bytes without terminator, in clear
constexpr int kZqlXmfTypeUnits = 9;     // 16-bit units, in clear
constexpr int kZqlXmfTypeUnits32 = 10;  // 32-bit units, scrambled
constexpr int kZqlXmfTypeUnits64 = 11;  // 64-bit units, scrambled
constexpr int kZqlXmfTypeText = 0;      // NUL-terminated bytes, scrambled

// Sizes of the file's parts.
constexpr int kZqlXmfTrailerSize = 7;
constexpr int kZqlXmfHeaderSize = 200;
constexpr int kZqlXmfRecordHeader = 8;
constexpr int kZqlXmfAttrRecords = 256;
constexpr int kZqlXmfCodePageMax = 20;
constexpr int kZqlXmfLanguageMax = 8;
constexpr int kZqlXmfVersion = 1;

// Character attribute class flags.
constexpr int kZqlXmfUpper = 0x1;
constexpr int kZqlXmfLower = 0x2;
constexpr int kZqlXmfDigit = 0x4;
constexpr int kZqlXmfSpace = 0x8;
constexpr int kZqlXmfPunct = 0x10;
constexpr int kZqlXmfCntrl = 0x20;
constexpr int kZqlXmfHexLetter = 0x40;
constexpr int kZqlXmfBlank = 0x80;
constexpr int kZqlXmfLeadByte = 0x100;
constexpr int kZqlXmfHalfFirst = 0x200;
constexpr int kZqlXmfHalfSecond = 0x400;
constexpr int kZqlXmfHalfWidth = 0x800;

// The header as read.
struct SZqlXmfHeader {
  char title[83];     // not used by the reader
  char subtitle[21];  // not used by the reader
  char codePage[21];  // code page of the texts, NUL-terminated
  char language[9];   // language code, NUL-terminated
  uint16_t version;   // 1
  // The sixteen 32-bit values at offsets 136 to 196; see the k...Value
  // indexes below.
  int32_t values[16];
};

constexpr int kZqlXmfValueAttrOffset = 1;   // offset 140
constexpr int kZqlXmfValueSets = 6;         // offset 160
constexpr int kZqlXmfValueIndexOffset = 7;  // offset 164
constexpr int kZqlXmfValuePerBlock = 8;     // offset 168
constexpr int kZqlXmfValueEntries = 9;      // offset 172
constexpr int kZqlXmfValueCacheLimit = 14;  // offset 192, -1: no limit

struct SZqlXmfSet;
struct SZqlXmfEntry;

// Runs once per process: picks the byte-order converters (none on a
// little-endian host, byte reversal on a big-endian one).
void ZqlXmfIoInit();
// Converts count units of unit bytes read from a message file to the host's
// order, in place.
void ZqlXmfConvert(void* units, int count, int unit);

// Reader of one message file. Raising follows zqlio.h; a damaged file
// raises 0xA00C "internal ZQL error", an invalid set or message number
// 0xA00B "invalid function arguments".
class CZqlXmfUtil : public CZqlObject {
 public:
  CZqlXmfUtil();
  ~CZqlXmfUtil() override;  // Term()
  CZqlXmfUtil(const CZqlXmfUtil&) = delete;
  CZqlXmfUtil& operator=(const CZqlXmfUtil&) = delete;

  // Opens and validates the file at path and loads its header, character
  // attribute table (process-wide: the last file opened sets it) and index
  // tables. Answers 1 (at once when already alive), or 0 with the file
  // closed; ZqlTryCode() then names the failure (not raised further).
  int Init(const char* path);
  // Releases the cache, the lock list and the tables and closes the file.
  // Answers 1.
  int Term();

  // Message number of set into out, converted from the file's code page (a
  // unit record is copied as it is). Answers 1, or 0 when the lookup fails
  // (a null out too); never raises.
  int Xmsg(int set, int number, CZqlUcStr* out);
  // The lookup itself: the raw text of the record (unscrambled), and its
  // length in *length when not null (units for type 9, bytes for types 1
  // and 7, bytes before the terminator otherwise). The text lives in the
  // block cache: valid until the next lookup, Term or cache reset. Raises
  // (answer null).
  const char* XmsgIntr(int set, int number, int* length);
  // The first byte of the message's text; a failed lookup raises (answer
  // -1 with nothing open to take the raise).
  int XmsgCharGet(int set, int number);

  const char* XmfInfoCop() const { return header_.codePage; }
  const char* XmfInfoLan() const { return header_.language; }
  int XmfAlive() const { return alive_; }
  int XmfLanguage() const { return language_; }
  // The record type of the last message found.
  int XmfLastType() const { return lastType_; }
  // 1 when the last lookup found its block in memory.
  int XmfFromCache() const { return fromCache_; }
  // Bytes of blocks loaded since the file was opened, as the cache limit
  // counts them.
  int64_t XmfCacheTotal() const { return cacheTotal_; }
  // The header as read; zero-filled before Init.
  const SZqlXmfHeader& XmfHeader() const { return header_; }

  // Releases the loaded blocks that a reset may release; with reload the
  // locked ones stay.
  void XmfXmsgReset(EZqlBoolean reload);

  // Character attributes (process-wide), of character c & 0xFF: whether
  // its class flags have any bit of the test's mask.
  static int XmfIsAlpha(int c);
  static int XmfIsUpper(int c);
  static int XmfIsLower(int c);
  static int XmfIsDigit(int c);
  static int XmfIsXdigit(int c);
  static int XmfIsSpace(int c);
  static int XmfIsPunct(int c);
  static int XmfIsAlnum(int c);
  static int XmfIsPrint(int c);
  static int XmfIsGraph(int c);
  static int XmfIsCntrl(int c);
  static int XmfIsLeadingByte(int c);
  static int XmfIsHankak(int c);
  static int XmfIsAscii(int c) { return c >= 0 && c < 0x80 ? 1 : 0; }
  static int XmfIsAlnum7bit(int c);
  static int XmfToAscii(int c) { return c & 0x7F; }
  // The case partner of a lower-case (upper-case) character, else c.
  static int XmfToUpper(int c);
  static int XmfToLower(int c);
  static int XmfEvalch(int c);
  // Two-byte tests; 0 unless the character mode is 2.
  static int XmfIsKanji(int c);
  static int XmfIsHankan(int c);
  static int XmfIs2bcode(int c);
  // Fills the record of c (0..255; else answers 0).
  static int XmfSetAttr(int c, int flags, int partner, int eval);
  // Sets the character mode (1 to 3; else answers 0 and changes nothing).
  static int XmfSetAmode(int mode);
  static int XmfAmode();

  // Reading with byte-order conversion from the open file: 2, 4 and 8
  // bytes; count units of unit bytes each. Answer 1; a short read raises
  // 0xA00C.
  int XmfReadShort(uint16_t* value);
  int XmfReadLong(int32_t* value);
  int XmfReadReal(double* value);
  int XmfMulRead(void* buffer, int count, int unit);

 private:
  void open(const char* path);
  void readHeader();
  void readTables();
  char* loadBlock(int entry);
  char* findRecord(char* block, int size, int number);
  void release();
  void addLock(int entry);

  CZqlFile file_;
  int64_t base_;       // file offset of the header
  int64_t limit_;      // file offset of the trailer
  SZqlXmfHeader header_;
  SZqlXmfSet* sets_;       // header.values[kZqlXmfValueSets] entries
  SZqlXmfEntry* entries_;  // header.values[kZqlXmfValueEntries] entries
  int64_t cacheTotal_;
  int fromCache_;
  int alive_;
  int language_;
  int lastType_;
  int* locks_;  // entry indexes of loaded locked blocks
  int lockCount_;
};

// ---------------------------------------------------------------------------
// Resources. They start on the first message lookup (or explicitly) by
// reading the section "ZQL" of zql.ini and opening "zqlloc.xmx".
// ---------------------------------------------------------------------------

// Starts the resources once; 1 when started. A failed start records its code
// with ZqlTaskDataErrSet and is not retried until ZqlTermResource. Never
// raises.
int ZqlInitResource();
// Ends the resources and returns to the not-started state; the settings read
// stay until the next start. Answers 1.
int ZqlTermResource();
// The text of message `number` of `set` into out: from the message file when
// it has it, else deflt (or a fixed text when deflt is null). 0 for a null
// out, else 1. Never raises for a missing file or message.
int ZqlGetResStrObj(int set, int number, const char* deflt, CZqlUcStr* out);
// The same text into buffer (count units, see CZqlUcStr::getToUcChar).
// Answers 1, or 0 for a null buffer or count < 1.
int ZqlGetResString(int set, int number, const char* deflt, int count, unsigned short* buffer);
// The reader of zqlloc.xmx while the resources are started (or starting),
// else null.
CZqlXmfUtil* ZqlGetXmxObj();
long ZqlSysMaxmem();       // "Memmax", -1 when unset
int ZqlSysDebug();         // 1 when "Debug" is "Yes"

ZQL_PUBLIC_END

#endif  // ZQL_ZQLXMF_H
