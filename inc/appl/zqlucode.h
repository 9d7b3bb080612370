// zqlucode.h - Unicode text: the string CZqlUcStr, the single unit
// CZqlUcChar, free functions over zero-terminated 16-bit unit arrays, the
// character-set conversions and the character properties.
//
// A code unit is an unsigned 16-bit value; text is a zero-terminated array of
// units whose terminator is never counted. 8-bit text is read and written in
// a character set named by the call in one of three ways: not at all (the
// default set), by a name (const char*, null meaning the default set) or by
// an identifier (unsigned long, 0 meaning the default set). Until another is
// made the default, the default set is the built-in "ascii": bytes 0x00-0x7F
// are the units of the same value, bytes 0x80-0xFF have no mapping (0xFFFD).
// A unit that a set cannot represent travels in 8-bit text as the 7-byte
// escape "\U+XXXX" (four upper-case hexadecimal digits); reading 8-bit text
// turns the escape back into its unit, and "\U+E800" produces nothing.
//
// "May raise" below means: the code goes to the caller's innermost open try
// frame or exception handler; with neither open the function, a library
// entry (ZqlEntry, zqltry.h), takes the raise itself and answers the failure
// value named, ZqlTryCode() naming the code.
// Nothing here is thread-safe: a string and the copies sharing its body
// belong to one thread.
#ifndef ZQL_ZQLUCODE_H
#define ZQL_ZQLUCODE_H

#include <cstddef>
#include <new>

#include "zqlsys.h"

ZQL_PUBLIC_BEGIN

struct SZqlUcStrBody;
class CZqlUcChar;

// An identifier is the address of a character-set table.
static_assert(sizeof(unsigned long) == sizeof(void*),
              "character-set identifiers hold table addresses");

// ---------------------------------------------------------------------------
// CZqlUcStr: a string of 16-bit units whose body is shared between copies
// until one of them changes (copy-on-write). The empty string holds no body.
// ---------------------------------------------------------------------------
class CZqlUcStr {
 public:
  // Constructors never raise: an error during conversion leaves the string
  // empty (ZqlTryCode() then names it when a frame was open around it).
  CZqlUcStr();
  CZqlUcStr(const char* text);                       // default set
  CZqlUcStr(const char* text, const char* charset);  // named set
  CZqlUcStr(const char* text, unsigned long charset);
  CZqlUcStr(const unsigned short* text);
  CZqlUcStr(const CZqlUcStr& other);  // shares the body
  // Shares other's body; null gives the empty string.
  explicit CZqlUcStr(const CZqlUcStr* other);
  ~CZqlUcStr();

  // Releases the body; the string becomes empty. Never raises.
  void Clear();

  // Replaces the contents. 8-bit text is converted in the set given (n: at
  // most n source bytes, -1 up to the terminator); 16-bit text is copied (at
  // most n units when n >= 0). From another string the body is shared; with
  // n below its length only the first n units are copied; a null
  // CZqlUcStr* changes nothing. A null text raises "invalid function
  // arguments"; an unknown set name raises its loading error. May raise; on
  // any error the string is left empty.
  void Copy(const char* text);
  void Copy(const char* text, const char* charset);
  void Copy(const char* text, unsigned long charset);
  void Copy(const char* text, int n);
  void Copy(const char* text, int n, const char* charset);
  void Copy(const char* text, int n, unsigned long charset);
  void Copy(const unsigned short* text);
  void Copy(const unsigned short* text, int n);
  void Copy(const CZqlUcStr& other);
  void Copy(const CZqlUcStr* other);
  void Copy(const CZqlUcStr& other, int n);
  void Copy(const CZqlUcStr* other, int n);
  // Copy(text, n) when it needs no allocation: this string is the sole
  // owner of a body that holds the units. Answers false, the string
  // unchanged, otherwise (no body, a shared or too small one, no units).
  // Never raises; text may lie in this string's own body.
  bool Overwrite(const unsigned short* text, int n);

  // Copy with the same argument; answers *this. May raise.
  CZqlUcStr& operator=(const char* text);
  CZqlUcStr& operator=(const unsigned short* text);
  CZqlUcStr& operator=(const CZqlUcStr& other);
  CZqlUcStr& operator=(const CZqlUcStr* other);

  // The zero-terminated units; a static zero unit for the empty string.
  // Valid until the next change of this object.
  const unsigned short* UcStr() const;
  int Length() const;  // units, 0 when empty
  int Size() const;    // (Length() + 1) * 2 bytes, 0 when empty

  // Bytes the text takes as 8-bit text in the set, without terminator; an
  // unmappable unit counts as its 7-byte escape. May raise for a set name
  // (answers 0).
  int Chlen() const;
  int Chlen(const char* charset) const;
  int Chlen(unsigned long charset) const;
  // As Chlen, but an unmappable unit raises "character not in repertoire"
  // (answers -1 with nothing open to take it).
  int ChlenChk() const;
  int ChlenChk(const char* charset) const;
  int ChlenChk(unsigned long charset) const;

  // Unit i for 0 <= i <= Length() (the last is the terminator); any other
  // index raises "index in [] out of range" (answers a static zero unit when
  // nothing is open to take the raise). On the empty string every index yields a zero unit.
  const unsigned short& operator[](int i) const;

  // Converts into buf (size bytes) and answers buf. Units are converted one
  // by one; an unmappable unit becomes its 7-byte escape; conversion stops
  // before a character whose bytes do not fit. buf is always terminated when
  // size > 0 (the last byte is kept for the terminator). A null buf raises
  // "invalid function arguments" (answers null). May raise for a set name.
  char* getToChar(char* buf, int size) const;
  char* getToChar(char* buf, int size, const char* charset) const;
  char* getToChar(char* buf, int size, unsigned long charset) const;
  // As getToChar, but the first unmappable unit raises "character not in
  // repertoire" (buf then holds the terminated text before it).
  char* getToCharChk(char* buf, int size) const;
  char* getToCharChk(char* buf, int size, const char* charset) const;
  char* getToCharChk(char* buf, int size, unsigned long charset) const;
  // When buf is not null and n > 0: sets buf[0] to 0 and copies
  // min(2n, Size()) bytes of the units; the copy is terminated only when the
  // whole text fits. Answers buf. Never raises.
  unsigned short* getToUcChar(unsigned short* buf, int n) const;

  // Appends text converted or copied as Copy does (n: at most n source bytes
  // or units, -1 unlimited); on the empty string this is Copy. A null text
  // or CZqlUcStr* raises "invalid function arguments". May raise; on any
  // error the string is unchanged.
  void Append(const char* text);
  void Append(const char* text, const char* charset);
  void Append(const char* text, unsigned long charset);
  void Append(const char* text, int n);
  void Append(const char* text, int n, const char* charset);
  void Append(const char* text, int n, unsigned long charset);
  void Append(const unsigned short* text);
  void Append(const unsigned short* text, int n);
  void Append(const CZqlUcStr& other);
  void Append(const CZqlUcStr* other);
  void Append(const CZqlUcStr& other, int n);
  void Append(const CZqlUcStr* other, int n);
  // Appends one unit; c is an 8-bit or double-byte code (ZqlUcMb2UcCCT) in
  // the set given. The unit 0 and a null CZqlUcChar* append nothing. May
  // raise; on any error the string is unchanged.
  void Append(int c);
  void Append(int c, const char* charset);
  void Append(int c, unsigned long charset);
  void Append(unsigned short u);
  void Append(const CZqlUcChar& ch);
  void Append(const CZqlUcChar* ch);

  // Replaces unit i (c is a code mapped as in Append). On the empty string
  // raises "invalid CZqlUcStr object"; i outside 0..Length()-1 raises "index
  // in [] out of range"; a null CZqlUcChar* raises "invalid function
  // arguments". May raise; on any error the string is unchanged.
  void Update(int i, unsigned short u);
  void Update(int i, int c);
  void Update(int i, int c, const char* charset);
  void Update(int i, int c, unsigned long charset);
  void Update(int i, const CZqlUcChar& ch);
  void Update(int i, const CZqlUcChar* ch);

  // Maps every unit with ZqlUcToLower / ZqlUcToUpper. May raise "insufficient
  // memory" when the body is shared; the string is then unchanged.
  void toLower();
  void toUpper();

  // Formats nothing: answers 0 and leaves the string unchanged.
  int Sprintf(const unsigned short* format, ...);

  // Index of the first / last occurrence of the text (8-bit text converted
  // first), -1 when none. An empty pattern is found at 0 in an empty string
  // only. A null pointer raises "invalid function arguments" (answers -1).
  int FindFirst(const char* text) const;
  int FindFirst(const char* text, const char* charset) const;
  int FindFirst(const char* text, unsigned long charset) const;
  int FindFirst(const unsigned short* text) const;
  int FindFirst(const CZqlUcStr& other) const;
  int FindFirst(const CZqlUcStr* other) const;
  int FindLast(const char* text) const;
  int FindLast(const char* text, const char* charset) const;
  int FindLast(const char* text, unsigned long charset) const;
  int FindLast(const unsigned short* text) const;
  int FindLast(const CZqlUcStr& other) const;
  int FindLast(const CZqlUcStr* other) const;
  // Index of the first / last unit equal to the character (a code c is
  // mapped with ZqlUcMb2UcCCT), -1 when none; the unit 0 is found at
  // Length(). A null CZqlUcChar* answers -1.
  int FindFirst(int c) const;
  int FindFirst(int c, const char* charset) const;
  int FindFirst(int c, unsigned long charset) const;
  int FindFirst(unsigned short u) const;
  int FindFirst(const CZqlUcChar& ch) const;
  int FindFirst(const CZqlUcChar* ch) const;
  int FindLast(int c) const;
  int FindLast(int c, const char* charset) const;
  int FindLast(int c, unsigned long charset) const;
  int FindLast(unsigned short u) const;
  int FindLast(const CZqlUcChar& ch) const;
  int FindLast(const CZqlUcChar* ch) const;

  // Three-way comparison by unit value. A null text or an empty CZqlUcStr on
  // the other side gives 0 when this string is empty, else 1; otherwise an
  // empty string gives -1 (so "" compared with a pointer to "" is -1).
  // Otherwise the difference of the first differing units (this minus
  // other), 0 when this string ends or n units compared equal (n < 0:
  // unlimited). 8-bit text is converted character by character. n = 0 and a
  // null CZqlUcStr* raise "invalid function arguments" (answer 0).
  int Comp(const char* text) const;
  int Comp(const char* text, const char* charset) const;
  int Comp(const char* text, unsigned long charset) const;
  int Comp(const char* text, int n) const;
  int Comp(const char* text, int n, const char* charset) const;
  int Comp(const char* text, int n, unsigned long charset) const;
  int Comp(const unsigned short* text) const;
  int Comp(const unsigned short* text, int n) const;
  int Comp(const CZqlUcStr& other) const;
  int Comp(const CZqlUcStr* other) const;
  int Comp(const CZqlUcStr& other, int n) const;
  int Comp(const CZqlUcStr* other, int n) const;
  // As Comp, on the upper-case mapping (ZqlUcToUpper) of both sides.
  int Compi(const char* text) const;
  int Compi(const char* text, const char* charset) const;
  int Compi(const char* text, unsigned long charset) const;
  int Compi(const char* text, int n) const;
  int Compi(const char* text, int n, const char* charset) const;
  int Compi(const char* text, int n, unsigned long charset) const;
  int Compi(const unsigned short* text) const;
  int Compi(const unsigned short* text, int n) const;
  int Compi(const CZqlUcStr& other) const;
  int Compi(const CZqlUcStr* other) const;
  int Compi(const CZqlUcStr& other, int n) const;
  int Compi(const CZqlUcStr* other, int n) const;

  // The C library's atof/atoi/atol/strtod/strtol (in the "C" locale) on at
  // most 63 bytes of the text converted to the default set. end, when not
  // null, receives the unit index at which conversion stopped. Never raise.
  double Atof() const;
  int Atoi() const;
  long Atol() const;
  double Strtod(int* end) const;
  long Strtol(int* end, int base) const;

  // Allocated from the library allocator. operator new raises "insufficient
  // memory" into an open frame or handler, else throws std::bad_alloc; the
  // nothrow form answers null instead.
  static void* operator new(std::size_t n);
  static void* operator new(std::size_t n, const std::nothrow_t&) noexcept;
  static void operator delete(void* p) noexcept;
  static void operator delete(void* p, const std::nothrow_t&) noexcept;

  // Test hook: the body, null for the empty string.
  const SZqlUcStrBody* TEST_Body() const { return body_; }

 private:
  class CEdit;
  void release() noexcept;
  void share(SZqlUcStrBody* body) noexcept;
  void copyUnits(const unsigned short* text, int n);
  void appendUnits(const unsigned short* text, int n);
  void copyChars(const char* text, int n, unsigned long table);
  void appendChars(const char* text, int n, unsigned long table);
  void appendUnit(unsigned short u);
  void updateUnit(int i, unsigned short u);
  void mapUnits(unsigned short (*map)(unsigned short));
  int find(const CZqlUcStr& pattern, bool last) const;
  int findChars(const char* text, unsigned long table, bool last) const;
  int findUnit(unsigned short u, bool last) const;
  int compUnits(const unsigned short* text, int n, bool upper) const;
  int compChars(const char* text, int n, unsigned long table, bool upper) const;
  char* toChar(char* buf, int size, unsigned long table, bool check) const;

  SZqlUcStrBody* body_;  // null for the empty string
};

// Relational operators: Comp of the two operands compared with 0. With the
// CZqlUcStr on the right, a op b is decided as b.Comp(a) with the mirrored
// relation. May raise as Comp does.
#define ZQL_UCSTR_RELOPS(OP)                                                              \
  inline bool operator OP(const CZqlUcStr& a, const CZqlUcStr& b) { return a.Comp(b) OP 0; } \
  inline bool operator OP(const CZqlUcStr& a, const char* b) { return a.Comp(b) OP 0; }      \
  inline bool operator OP(const CZqlUcStr& a, const unsigned short* b) {                    \
    return a.Comp(b) OP 0;                                                                 \
  }                                                                                        \
  inline bool operator OP(const CZqlUcStr& a, const CZqlUcStr* b) { return a.Comp(b) OP 0; } \
  inline bool operator OP(const char* a, const CZqlUcStr& b) { return 0 OP b.Comp(a); }      \
  inline bool operator OP(const unsigned short* a, const CZqlUcStr& b) {                    \
    return 0 OP b.Comp(a);                                                                 \
  }                                                                                        \
  inline bool operator OP(const CZqlUcStr* a, const CZqlUcStr& b) { return 0 OP b.Comp(a); }
ZQL_UCSTR_RELOPS(==)
ZQL_UCSTR_RELOPS(!=)
ZQL_UCSTR_RELOPS(<)
ZQL_UCSTR_RELOPS(>)
ZQL_UCSTR_RELOPS(<=)
ZQL_UCSTR_RELOPS(>=)
#undef ZQL_UCSTR_RELOPS

// ---------------------------------------------------------------------------
// CZqlUcChar: one code unit. 8-bit codes are mapped in the set named by the
// call, or the default set.
// ---------------------------------------------------------------------------
class CZqlUcChar {
 public:
  CZqlUcChar() : unit_(0) {}
  explicit CZqlUcChar(unsigned short u) : unit_(u) {}

  // Sets the unit; a code is mapped with ZqlUcMb2UcCCT. The named form may
  // raise the set's loading error (the unit is then unchanged).
  void setChar(unsigned short u) { unit_ = u; }
  void setChar(int c, const char* charset);
  CZqlUcChar& operator=(char c);  // default set
  CZqlUcChar& operator=(unsigned short u) {
    unit_ = u;
    return *this;
  }
  CZqlUcChar(const CZqlUcChar&) = default;
  CZqlUcChar& operator=(const CZqlUcChar&) = default;

  unsigned short getUcChar() const { return unit_; }
  // The code of the unit in the set (ZqlUcUc2MbCCT), -1 when it has none.
  // The named form may raise the set's loading error (answers -1).
  int getChar() const;
  int getChar(unsigned long charset) const;
  int getChar(const char* charset) const;

  // Character properties of the unit (ZqlUcIs...): 1 or 0.
  int isUpper() const;
  int isLower() const;
  int isAlpha() const;
  int isDigit() const;
  int isXdigit() const;
  int isSpace() const;
  int isPunct() const;
  int isAlnum() const;
  int isGraph() const;
  int isPrint() const;
  int isCntrl() const;

  void setUpper();
  void setLower();
  CZqlUcChar Upper() const;
  CZqlUcChar Lower() const;

  // This unit minus the other (codes mapped first); a null pointer compares
  // equal. The named form may raise the set's loading error (answers 0).
  int Comp(int c) const;
  int Comp(int c, unsigned long charset) const;
  int Comp(int c, const char* charset) const;
  int Comp(unsigned short u) const;
  int Comp(const CZqlUcChar& ch) const;
  int Comp(const CZqlUcChar* ch) const;
  // As Comp after ZqlUcToUpper of both units.
  int Compi(int c) const;
  int Compi(int c, unsigned long charset) const;
  int Compi(int c, const char* charset) const;
  int Compi(unsigned short u) const;
  int Compi(const CZqlUcChar& ch) const;
  int Compi(const CZqlUcChar* ch) const;

  // Library allocator, as for CZqlUcStr.
  static void* operator new(std::size_t n);
  static void* operator new(std::size_t n, const std::nothrow_t&) noexcept;
  static void operator delete(void* p) noexcept;
  static void operator delete(void* p, const std::nothrow_t&) noexcept;

 private:
  unsigned short unit_;
};

// Comp compared with 0, mirrored when the CZqlUcChar stands on the right. A
// char is an 8-bit code of the default set.
#define ZQL_UCCHAR_RELOPS(OP)                                                               \
  inline bool operator OP(const CZqlUcChar& a, const CZqlUcChar& b) { return a.Comp(b) OP 0; } \
  inline bool operator OP(const CZqlUcChar& a, char b) {                                      \
    return a.Comp(static_cast<int>(static_cast<unsigned char>(b))) OP 0;                      \
  }                                                                                           \
  inline bool operator OP(const CZqlUcChar& a, unsigned short b) { return a.Comp(b) OP 0; }    \
  inline bool operator OP(char a, const CZqlUcChar& b) {                                      \
    return 0 OP b.Comp(static_cast<int>(static_cast<unsigned char>(a)));                      \
  }                                                                                           \
  inline bool operator OP(unsigned short a, const CZqlUcChar& b) { return 0 OP b.Comp(a); }
ZQL_UCCHAR_RELOPS(==)
ZQL_UCCHAR_RELOPS(!=)
ZQL_UCCHAR_RELOPS(<)
ZQL_UCCHAR_RELOPS(>)
ZQL_UCCHAR_RELOPS(<=)
ZQL_UCCHAR_RELOPS(>=)
#undef ZQL_UCCHAR_RELOPS

// ---------------------------------------------------------------------------
// Free functions over zero-terminated unit arrays
// ---------------------------------------------------------------------------

int ZqlUcStrlen(const unsigned short* s);   // units; 0 for null
int ZqlUcStrsize(const unsigned short* s);  // 4 * ZqlUcStrlen(s)
// Copies s into d (room is the caller's); the bounded form copies at most n
// units and writes the terminator only when fewer than n were copied. Answer
// d; a null argument copies nothing.
unsigned short* ZqlUcStrcpy(unsigned short* d, const unsigned short* s);
unsigned short* ZqlUcStrncpy(unsigned short* d, const unsigned short* s, int n);
// Appends s to d; the bounded form appends at most n units and always
// terminates (d needs room for n + 1 more). Answer d.
unsigned short* ZqlUcStrcat(unsigned short* d, const unsigned short* s);
unsigned short* ZqlUcStrncat(unsigned short* d, const unsigned short* s, int n);
// Difference of the first differing units (a minus b), 0 when equal (the
// bounded forms: within n units). The i-forms compare ZqlUcToUpper of each
// unit. A null argument, or n < 1, raises "invalid function arguments"
// (answers 0).
int ZqlUcStrcmp(const unsigned short* a, const unsigned short* b);
int ZqlUcStrncmp(const unsigned short* a, const unsigned short* b, int n);
int ZqlUcStricmp(const unsigned short* a, const unsigned short* b);
int ZqlUcStrnicmp(const unsigned short* a, const unsigned short* b, int n);
// The comparison of CZqlUcStr::Comp on two arrays, without limit; a null
// argument raises "invalid function arguments" (answers 0).
int ZqlUcCmpUCandUC(const unsigned short* a, const unsigned short* b);
// Pointer into s to the first / last occurrence of t, or null; an empty t
// yields the terminator of s; a null argument yields null.
const unsigned short* ZqlUcStrstr(const unsigned short* s, const unsigned short* t);
const unsigned short* ZqlUcStrrstr(const unsigned short* s, const unsigned short* t);
// Reads s character by character (a base unit with its following
// non-spacing marks is one character, precomposed with ZqlUcPreCompose) and
// answers the start of the first / last character equal to u, or null; u = 0
// yields the terminator, a null s null.
const unsigned short* ZqlUcStrchr(const unsigned short* s, unsigned short u);
const unsigned short* ZqlUcStrrchr(const unsigned short* s, unsigned short u);
// Map s in place with ZqlUcToLower / ZqlUcToUpper; answer s.
unsigned short* ZqlUcStrLower(unsigned short* s);
unsigned short* ZqlUcStrUpper(unsigned short* s);
// Bytes s needs as 8-bit text in the set (null name: the default set),
// escapes counted as 7 bytes. The named form may raise the set's loading
// error (answers 0).
int ZqlUcStrchln(const unsigned short* s, const char* charset);
int ZqlUcStrchlnIdCCT(const unsigned short* s, unsigned long charset);
// As the CZqlUcStr members; end, when not null, receives the position in s
// at which conversion stopped. A null s gives 0. Never raise.
double ZqlUcAtof(const unsigned short* s);
int ZqlUcAtoi(const unsigned short* s);
long ZqlUcAtol(const unsigned short* s);
double ZqlUcStrtod(const unsigned short* s, const unsigned short** end);
long ZqlUcStrtol(const unsigned short* s, const unsigned short** end, int base);
// Formats nothing; answers 0.
int ZqlUcSprintf(unsigned short* buf, const unsigned short* format, ...);

// ---------------------------------------------------------------------------
// Character sets and conversions. A table argument is an identifier; 0 is
// the default set. Counts of -1 are unlimited. The conversions never raise
// except the ...Chk forms.
// ---------------------------------------------------------------------------

// The identifier of the named set (null: the default set; "ascii" in any
// case: the built-in set). Another name raises "character set name not
// defined in ZQL.INI file" (answers 0).
unsigned long ZqlUcGetIdCCT(const char* name);
// The name of the set (0: the default set's). Valid while the set is loaded.
const char* ZqlUcGetNmCCT(unsigned long id);
const char* ZqlUcDefaultCCT();  // the default set's name
// 1 when byte b is the first byte of a double-byte character in the set.
int ZqlUcIsMb(int b, unsigned long table);
// Reads the body of an escape ("U+" and four hexadecimal digits) at text;
// answers 1 and stores the unit in *unit, or 0 (nothing stored) when text
// does not hold one. Reads no byte past a mismatch or a zero byte.
int ZqlUcReadCIF(const char* text, unsigned short* unit);

// 8-bit text (at most srcBytes bytes, a zero byte ends it) to units in target
// (at most targetUnits). Escapes are read; a lead byte takes two bytes; a
// base unit with non-spacing marks is written precomposed. Answers the units
// written; terminates target when room is left.
int ZqlUcCh2UcCCT(unsigned short* target, int targetUnits, const char* src, int srcBytes,
                  unsigned long table);
// The units ZqlUcCh2UcCCT would produce before composition.
int ZqlUcCh2UcLenCCT(const char* src, int srcBytes, unsigned long table);
// Converts the character (one or two bytes; escapes are not read) at *src
// and advances *src past it; 0xFFFD when it has no mapping. At a zero byte
// answers 0 and does not advance.
unsigned short ZqlUcCh2UcMoveCCT(const char** src, unsigned long table);
// Units (at most srcUnits, a zero unit ends them) to 8-bit text in target
// (at most targetBytes). An unmappable unit is written as its escape; a
// character whose bytes do not fit ends the conversion. Answers the bytes
// written; terminates target when room is left.
int ZqlUcUc2ChCCT(char* target, int targetBytes, const unsigned short* src, int srcUnits,
                  unsigned long table);
// As ZqlUcUc2ChCCT, but an unmappable unit raises "character not in
// repertoire" (answers -1; target is terminated after the bytes written).
int ZqlUcUc2ChChkCCT(char* target, int targetBytes, const unsigned short* src, int srcUnits,
                     unsigned long table);
// Bytes needed: 1 or 2 per character, 7 per escape. The Chk form raises
// "character not in repertoire" at an unmappable unit (answers -1).
int ZqlUcUc2ChLenCCT(const unsigned short* src, int srcUnits, unsigned long table);
int ZqlUcUc2ChLenChkCCT(const unsigned short* src, int srcUnits, unsigned long table);
// One character code (first byte in the low byte, the second byte above it)
// to a unit; 0xFFFD when it has no mapping.
unsigned short ZqlUcMb2UcCCT(int code, unsigned long table);
// One unit to a character code packed as above; -1 when it has no mapping.
int ZqlUcUc2MbCCT(unsigned short u, unsigned long table);

// ---------------------------------------------------------------------------
// Character properties. Without loaded property tables they fall back to the
// C library's classification and case mapping (locale "C") of units below
// 0x100; units above are in no class and keep their case.
// ---------------------------------------------------------------------------
int ZqlUcIsUpper(unsigned short u);
int ZqlUcIsLower(unsigned short u);
int ZqlUcIsAlpha(unsigned short u);
int ZqlUcIsDigit(unsigned short u);
int ZqlUcIsXdigit(unsigned short u);
int ZqlUcIsSpace(unsigned short u);
int ZqlUcIsPunct(unsigned short u);
int ZqlUcIsAlnum(unsigned short u);
int ZqlUcIsGraph(unsigned short u);
int ZqlUcIsPrint(unsigned short u);
int ZqlUcIsCntrl(unsigned short u);
int ZqlUcIsNonSpace(unsigned short u);  // a non-spacing mark; 0 without tables
unsigned short ZqlUcToUpper(unsigned short u);
unsigned short ZqlUcToLower(unsigned short u);
// The precomposed unit of seq (n units: a base unit and its marks), or the
// base unit seq[0] when there is none. Answers 0 for n < 1 or a null seq.
unsigned short ZqlUcPreCompose(const unsigned short* seq, int n);
// Writes the sequence u is composed of into out (at most size units, not
// terminated) and answers its length; a unit that is not composed is its own
// sequence of 1. Answers 0 when out is null or size too small.
int ZqlUcDeCompose(unsigned short u, unsigned short* out, int size);
// The decimal digit u normalised to '0'..'9' when it is a digit of another
// script, else u.
unsigned short ZqlUcNormDigit(unsigned short u);

// ---------------------------------------------------------------------------
// Collations. An identifier (unsigned long) is the address of a collation
// table; 0 names the default collation where a name is asked for, and
// makes the comparisons compare code units. Until another is made the
// default, the default is the built-in "unicode" (the order of the code
// units). Collations are named in the section "Collations" of zql.ini and
// loaded on first use from their definition files; an identifier is valid
// until ZqlUcTermCLT. A stale identifier raises "invalid function
// arguments".
// ---------------------------------------------------------------------------
struct SZqlUcCollation;
class CZqlConfig;

// The collation of name: null or "" the default, "unicode" (any case) the
// built-in one, else a loaded one or one loaded now (reading zql.ini with
// config, or a configuration reader of its own when config is null).
// Loading errors raise "Collation name not defined in ZQL.INI file",
// "Collation definition file not found" or "Invalid format of the collation
// definition file", with the filled-in message pushed onto the current
// descriptor area; the list of loaded collations is then unchanged. Answers
// null after such a raise.
const SZqlUcCollation* ZqlUcLoadCLT(const char* name, CZqlConfig* config);
// Loads name and makes it the default; answers its identifier, or 0.
unsigned long ZqlUcLoadDefaultCLT(const char* name, CZqlConfig* config);
// Frees every loaded collation; the default becomes "unicode" again.
void ZqlUcTermCLT();
// The identifier of name (loading it on first use; errors as ZqlUcLoadCLT,
// answer 0).
unsigned long ZqlUcGetIdCLT(const char* name);
// The name of a collation (0: the default's). Valid while it is loaded.
const char* ZqlUcGetNmCLT(unsigned long id);
const char* ZqlUcDefaultCLT();
// Enters a row of 256 weights for the units row * 256 + 0..255. Answers 1;
// a null table or weights, a row outside 0..255 or the built-in table raise
// "invalid function arguments".
int ZqlUcNewCollationCode(SZqlUcCollation* table, int row, const unsigned short* weights);
// Frees a table (unlinking it when loaded). The built-in table and null are
// ignored.
void ZqlUcFreeCLT(SZqlUcCollation* table);
// The message of a collation loading error into buf (size bytes, always
// terminated when size > 0): from set 7 of zqlloc.xmx (messages 5 to 7)
// when its text has the one conversion "%s", else the built-in "collation
// name %s not defined in ZQL.INI file", "collation definition file %s not
// found" or "invalid format of the collation definition file %s"; name fills
// it (the collation's name, or the definition file's). Another code gives
// "". Answers buf.
char* ZqlUcCLTFormatErrMsg(int code, const char* name, char* buf, std::size_t size);
// Pushes that message with code onto the current descriptor area, when
// there is one, and raises code. Answers 0 with nothing open to take the raise.
int ZqlUcCLTGenErrMsg(int code, const char* name);
// The weight of the blank, of a unit, of a unit's upper case.
unsigned short ZqlUcSpaceWeight(unsigned long id);
unsigned short ZqlUcCiChToWeight(unsigned long id, unsigned short u);
unsigned short ZqlUcCiChToWeightUpper(unsigned long id, unsigned short u);
// The weights of src (multi-character entries applied) into target (at most
// size - 1 weights, terminated when size > 0); answers the number of
// weights of the whole text. A null src raises "invalid function
// arguments".
int ZqlUcCiStrweight(unsigned long id, const unsigned short* src, unsigned short* target,
                     int size);
// Compare weight by weight: negative, 0 or positive. Id 0 compares code
// units. A text that ends first is smaller unless the other ends too; the
// B form instead compares the rest of the longer text with the blank's
// weight, so trailing blanks do not count. Strncmp compares at most n
// weights. A null text (and n < 1) raises "invalid function arguments"
// (answer 0).
int ZqlUcCiStrcmp(unsigned long id, const unsigned short* a, const unsigned short* b);
int ZqlUcCiStrcmpB(unsigned long id, const unsigned short* a, const unsigned short* b);
int ZqlUcCiStrncmp(unsigned long id, const unsigned short* a, const unsigned short* b, int n);
// Weight of a minus weight of b.
int ZqlUcCiChcmp(unsigned long id, unsigned short a, unsigned short b);
// Units against 8-bit text in the default character set.
int ZqlUcCiUcChStrcmp(unsigned long id, const unsigned short* a, const char* b);
// Two 8-bit texts in a character set (0: the default); the I form compares
// their upper case.
int ZqlUcCiStrStrcmp(unsigned long id, const char* a, const char* b, unsigned long charset);
int ZqlUcCiStrStrIcmp(unsigned long id, const char* a, const char* b, unsigned long charset);
// As the Ci forms with the collation given by name (null: the default).
int ZqlUcCnStrcmp(const char* collation, const unsigned short* a, const unsigned short* b);
int ZqlUcCnStrncmp(const char* collation, const unsigned short* a, const unsigned short* b,
                   int n);
int ZqlUcCnChcmp(const char* collation, unsigned short a, unsigned short b);

ZQL_PUBLIC_END

#endif  // ZQL_ZQLUCODE_H
