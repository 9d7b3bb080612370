// ucdefs.h - private layout of the Unicode text subsystem: the string body,
// the character-set table, the character-property tables and the helpers the
// sources of src/unicode share.
#ifndef ZQL_UCDEFS_H
#define ZQL_UCDEFS_H

#include <locale.h>
#include <cstddef>
#include <cstdint>

#include "zqlucode.h"

class CZqlConfig;

class CZqlXmfUtil;

// Loading helpers shared by character sets and collations.
// Case-blind comparison of two names, independent of the process locale.
bool ZqlUcSameName(const char* a, const char* b);
// A copy of name from the library allocator (may raise 0xA008).
char* ZqlUcCopyName(const char* name);
// Whether the message just read (text, length bytes) is the end mark 0xFF.
bool ZqlUcIsEndMark(const CZqlXmfUtil& x, const char* text, int length);

enum EZqlUcDefinition {
  kZqlUcDefinitionFound,     // file holds the name, path the full path
  kZqlUcDefinitionNotNamed,  // no (usable) entry for the name in zql.ini
  kZqlUcDefinitionNotFound,  // file holds the name, not found on the path
  kZqlUcDefinitionFailed,    // another error was raised (when caught)
};
// Looks up the definition file of `name` in `section` of zql.ini (through
// config, or a reader of its own) and finds it along the search path.
// file and path hold kZqlMaxPath bytes each.
EZqlUcDefinition ZqlUcFindDefinition(const char* section, const char* name,
                                     CZqlConfig* config, char* file, char* path);

// The shared body of a CZqlUcStr. Capacity is not stored: the array holds
// ZqlUcRound(length + 1) units (or more after a string shrank in place).
struct SZqlUcStrBody {
  unsigned short* text;  // zero-terminated, never null
  uint32_t refs;         // CZqlUcStr objects sharing this body, 1 when unshared
  int32_t length;        // units without the terminator, never 0
};

// R(n): n rounded up to the next multiple of 8 (R(8) = 8, R(9) = 16).
inline std::size_t ZqlUcRound(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

// Longest text a string may hold; longer results raise "insufficient memory"
// so that unit counts, byte sizes and 8-bit lengths (7 bytes per escape) stay
// within int.
constexpr int32_t kZqlUcMaxLength = 0x0FFFFFFF;

// Marks "no mapping" in both directions of a character-set table.
constexpr unsigned short kZqlUcNoMapping = 0xFFFD;
// The escape "\U+E800" stands for nothing and produces no unit.
constexpr unsigned short kZqlUcEscapeNothing = 0xE800;
// Bytes of the escape "\U+XXXX".
constexpr int kZqlUcEscapeBytes = 7;

// Kinds of character set.
constexpr int kZqlUcKindDirect = 3;  // a character's code is its Unicode value
constexpr int kZqlUcKindNoRows = 4;  // loads no rows either

// One character-set table. Its address is the character set's identifier.
struct _SZqlUcTable {
  _SZqlUcTable* next;  // next loaded table
  // Indexed by the lead byte (row 0: single bytes), then by the second byte:
  // the Unicode value, kZqlUcNoMapping for none; a null row maps nothing.
  unsigned short* toUc[256];
  // Indexed by the high byte of a unit, then by its low byte: the code, below
  // 0x100 one byte, else two bytes high first; kZqlUcNoMapping for none.
  unsigned short* fromUc[256];
  // Bit 0x8000 >> (b & 15) of word b >> 4 marks b as a lead byte.
  unsigned short leadBytes[16];
  int kind;        // kZqlUcKindDirect, kZqlUcKindNoRows or a table kind
  int attribute;   // second attribute of the definition file, kept
  const char* name;  // as asked for; compared without regard to case
};
typedef _SZqlUcTable SZqlUcTable;

// Test hooks: make a table built by hand a valid identifier, and forget it
// again (its storage stays the caller's).
void TEST_ZqlUcRegisterCCT(SZqlUcTable* table);
void TEST_ZqlUcUnregisterCCT(SZqlUcTable* table);

// The table of an identifier; 0 selects the default character set. An
// identifier that is not a loaded table raises "invalid function arguments".
const SZqlUcTable* ZqlUcTableOf(unsigned long id);
// The built-in "ascii" table.
const SZqlUcTable* ZqlUcAsciiTable();
// Resolves a character-set name: null is the default set, "ascii" in any
// case the built-in one, then a loaded set of that name (any case). Another
// name is loaded from the definition file that the section "Character Sets"
// of zql.ini names for it, reading zql.ini with config (or a configuration
// reader of its own when config is null). Loading errors raise "Character
// set name not defined in ZQL.INI file", "Character set definition file not
// found" or "Invalid format of the character set definition file" (the
// filled-in message pushed onto the current descriptor area) and leave the
// loaded sets unchanged. Answers null only when a raise found no frame and
// no handler to take it.
const SZqlUcTable* ZqlUcLoadCCT(const char* name, CZqlConfig* config = nullptr);
// Loads name and makes it the default character set; answers its table, or
// null after a raise.
const SZqlUcTable* ZqlUcLoadDefaultCCT(const char* name, CZqlConfig* config);
// Frees every loaded set; the default becomes "ascii" again. Identifiers of
// the freed sets are invalid afterwards.
void ZqlUcTermCCT();
// Enters one pair in both directions: code (the first byte in the high byte
// for a double-byte code, else the byte) and unit; kZqlUcNoMapping enters
// only the code's direction. Answers 1; a null table, the built-in table or
// a code above 0xFFFF raise "invalid function arguments".
int ZqlUcNewConvCode(SZqlUcTable* table, int code, unsigned short unit);
// Frees a table (unlinking it when loaded); null and the built-in table are
// ignored.
void ZqlUcFreeCCT(SZqlUcTable* table);
// ZqlUcLoadCCT for the string classes: stores the identifier in *id and
// answers true; when no table results, raises "invalid function arguments"
// and answers false.
bool ZqlUcResolveCCT(const char* name, unsigned long* id);

// Encodes one unit in table t into out; answers 1 or 2 bytes, or 0 when the
// unit has no mapping.
int ZqlUcEncodeUnit(const SZqlUcTable* t, unsigned short u, unsigned char out[2]);

// Formats the message of a character-set error into buf (size bytes, always
// terminated when size > 0), from set 7 of zqlloc.xmx (messages 1 to 4) or
// the built-in texts: "character U+%04X not in repertoire %s" for
// "character not in repertoire", "character set name %s not defined in
// ZQL.INI file" for the undefined name, and the file messages for the two
// file errors (name then names the file). A text from the file whose
// conversions differ from the built-in one is not used. Any other code gives
// "". Answers buf.
char* ZqlUcFormatErrMsg(int code, unsigned short unit, const char* name, char* buf,
                        std::size_t size);
// Pushes code with its message (see ZqlUcFormatErrMsg) onto the current
// descriptor area, when there is one, and raises code. Answers 0 when the
// raise found no frame and no handler.
int ZqlUcGenErrMsg(int code, unsigned short unit, const char* name);

// The locale "C" for the C library's number conversions and classification,
// whatever the process locale is; (locale_t)0 if it cannot be created.
locale_t ZqlUcCLocale();

// The substring search of CZqlUcStr: index of the first (last) occurrence of
// p (m units) in s (L units), -1 when none. An empty pattern is found at 0 in
// an empty text only. REQUIRES: s[L] == 0 and p holds no zero unit.
int ZqlUcSearch(const unsigned short* s, int L, const unsigned short* p, int m, bool last);

// Walks a and b together: the difference a[i] - b[i] at the first position
// where they differ, 0 when a ends without difference or n units compared
// equal (n < 0: unlimited). With upper, both units go through ZqlUcToUpper.
int ZqlUcCompareUnits(const unsigned short* a, const unsigned short* b, int n, bool upper);

// The comparison loop of both: units of a against those next(i) gives for
// i = 0, 1, ... (0 at b's end), case-blind when upper; stops after n units
// (n < 0: at a's end).
template <class Next>
int ZqlUcCompareWith(const unsigned short* a, int n, bool upper, Next next) {
  for (int i = 0; n < 0 || i < n; ++i) {
    unsigned short x = a[i];
    unsigned short y = next(i);
    // Equal units are equal in either case: only a difference is looked up.
    if (upper && x != y) {
      x = ZqlUcToUpper(x);
      y = ZqlUcToUpper(y);
    }
    if (x != y) return static_cast<int>(x) - static_cast<int>(y);
    if (a[i] == 0) return 0;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Character-property tables
// ---------------------------------------------------------------------------

// The nine classes, in the order of the property tables.
enum EZqlUcClass : int {
  kZqlUcClassUpper = 0,
  kZqlUcClassLower = 1,
  kZqlUcClassAlpha = 2,  // letters without case
  kZqlUcClassDigit = 3,
  kZqlUcClassXdigit = 4,
  kZqlUcClassSpace = 5,
  kZqlUcClassPunct = 6,
  kZqlUcClassCntrl = 7,
  kZqlUcClassNonSpace = 8,  // non-spacing (combining) marks
  kZqlUcClassCount = 9
};

// One class table: 256 row pointers (by the unit's high byte) to 16 words;
// unit u is in the class when bit 0x8000 >> (u & 15) of word (u >> 4) & 15
// of its row is set. A null row holds no unit.
typedef const unsigned short* const* ZqlUcClassTable;

// The loaded property tables. Null members hold nothing.
struct SZqlUcPropTables {
  ZqlUcClassTable classes[kZqlUcClassCount];
  // Two maps of 256 rows of 256 units; maps[0] is the case map (for each
  // cased unit its counterpart), maps[1] is kept unused.
  const unsigned short* const* maps[2];
  // Composition entries one after another: n, the n units of the sequence
  // (base unit first, then its marks), the precomposed unit; ended by n = 0.
  const unsigned short* composition;
};

// Makes tables the property tables (borrowed: they must stay alive until
// replaced); null restores the C-library fallback on the unit's low byte.
void ZqlUcInstallCPT(const SZqlUcPropTables* tables);
// Loads the property tables from set 2 of the library's message file
// (ZqlGetXmxObj) and installs them. Answers 1; without a message file, or
// with a malformed run of tables, raises "internal ZQL error" and keeps the
// tables installed before.
int ZqlUcLoadCPT();
// Uninstalls and frees the loaded property tables.
void ZqlUcTermCPT();
// 1 when unit u is in class c of table (null table: 0).
int ZqlUcClassBit(ZqlUcClassTable table, unsigned short u);

#endif  // ZQL_UCDEFS_H
