// zqlschar.h - character strings (CHARACTER, CHARACTER VARYING) with
// their collations, coercibility and operators.
// Reached through zqlsdata.h (and zqlappl.h), whose opening comment says
// what "may raise" means for every value.

#ifndef ZQL_ZQLSCHAR_H
#define ZQL_ZQLSCHAR_H

#include "zqlsbase.h"

ZQL_PUBLIC_BEGIN

// ---------------------------------------------------------------------------
// Character strings
// ---------------------------------------------------------------------------

// Collating coercibility of a character value: which collation an operator
// takes when its operands name different ones.
enum EZqlCAttr : int32_t {
  kZqlCoercible = 0,    // the default: yields to the other operand
  kZqlImplicit = 1,     // from a column's or character set's definition
  kZqlNoCollating = 2,  // no collating sequence (two implicit ones met)
  kZqlExplicit = 3,     // named by a COLLATE clause
};

// Which ends CZqlChar::Trim trims.
enum EZqlTrimSpec : int32_t {
  kZqlTrimLeading = 0,
  kZqlTrimTrailing = 1,
  kZqlTrimBoth = 2,
};

// Longest declared length of a character value.
constexpr unsigned int kZqlMaxCharLength = 256;

// CHARACTER(n), CHARACTER VARYING(n) and their NATIONAL forms. The text is
// held as Unicode without its trailing blanks; the logical value is that
// text padded with blanks up to the declared length (fixed) or the current
// length (varying). Every value carries a character set (for 8-bit text)
// and a collation with its coercibility; identifier 0 names the default.
//
// Store rules: cutting text or another character value to the declared
// length pushes the warning "string data, right truncation"; a value of
// another type whose text does not fit raises it instead.
class CZqlChar : public CZqlData {
 public:
  // A null fixed value of length (0 becomes 1, above 256 becomes 256) in
  // the default character set and collation, coercible; its current length
  // is the declared length.
  explicit CZqlChar(unsigned int length = 1);
  CZqlChar(const CZqlChar& other) = default;  // may raise 0xA008
  ~CZqlChar() override;
  CZqlChar* duplicate() const override;  // may raise 0xA008

  // Attributes. setCharSet looks name up (the errors of an undefined
  // character set are raised and the value keeps its set), takes the set's
  // identifier and name and makes the coercibility implicit. setDefCharSet
  // returns to the default set, coercible. setCollName and setCollIdent
  // select a collation by name or identifier (a name that is not defined
  // raises its loading error and changes nothing); setCollIdent makes the
  // coercibility explicit. setCharSet, setCollName and setCollIdent answer
  // 1, or 0 when a raise found nothing open.
  void setVarying() { flags_ |= kVarying; }
  void setNational() { flags_ |= kNational; }
  int setCharSet(const CZqlUcStr& name);
  void setDefCharSet();
  int setCollName(const CZqlUcStr& name);
  int setCollIdent(unsigned long id);
  void setCoerc(EZqlCAttr coerc);

  int Type() const override { return is_varying() ? kZqlTypeVarchar : kZqlTypeChar; }
  unsigned int Length() const override { return length_; }
  // The current length when varying, else the declared length.
  unsigned int ReturnLength() const override;
  // Bytes of the text in its character set plus 2 per padding blank.
  unsigned int ByteSize() const;
  const CZqlUcStr& CollName() const { return collName_; }
  const CZqlUcStr& CharSetName() const { return charSetName_; }
  unsigned long CollIdent() const { return collId_; }
  unsigned long CharSetIdent() const { return charSetId_; }
  EZqlCAttr Coercibility() const { return coerc_; }
  int is_national() const { return (flags_ & kNational) != 0; }
  int is_varying() const { return (flags_ & kVarying) != 0; }
  // The text without its padding; valid until the value changes.
  const CZqlUcStr& charValue() const { return text_; }
  int is_character() const override { return 1; }

  // Comparable with and storable from a character value whose collation
  // does not conflict with this one's; castable from every type. checkCat
  // with a character value: a varying-when-either value whose length is
  // the sum of both (at most 256) with the dyadic collation; else null.
  int is_comparable(const CZqlData* other) const override;
  int is_storable(const CZqlData* other) const override;
  int is_castable(const CZqlData* other) const override;
  CZqlData* checkCat(const CZqlData* other) const override;

  // The padded text's 16-bit units as bytes, the terminating unit
  // included; size() is the padded text's byte size without it.
  long read(char* buffer, long start, long count) const override;
  long size() const override;

  // 8-bit text (up to a NUL, at most size bytes) in the value's character
  // set; the character count beyond the declared length is cut with the
  // warning. Trailing blanks are dropped and come back as padding.
  int storeValue(const char* text, unsigned int size) override;
  // As above; *used (when not null) receives the bytes read.
  int storeValue(const char* text, unsigned int size, unsigned int* used) override;
  // As above with the character set of identifier charset (0: default).
  int storeValue(const char* text, unsigned int size, unsigned long charset);
  // 16-bit text, by the same rules.
  int storeValue(const CZqlUcStr& text) override;
  // NUL-terminated 16-bit text, by the same rules; into the value's own
  // text without an allocation when it has room.
  int storeValue(const unsigned short* text) override;
  // Numbers in the forms "%E", "%ld" and "%d"; a form longer than the
  // declared length raises "string data, right truncation" (unchanged).
  int storeValue(double value) override;
  int storeValue(long value) override;
  int storeValue(short value) override;
  // Same object: 1. Null source: this becomes null. Character source: the
  // dyadic collation becomes this one's (a conflict of explicit collations
  // raises "not permitted collating sequence"), its logical value is cut
  // with the warning. Bit string: one character per 16 bits (a zero unit
  // raises "invalid character value for cast"); cut with the truncation
  // warning, fewer characters than the declared length push "implicit
  // zero-bit padding". Any other type: its text without trailing blanks in
  // the default set; longer than the declared length raises "string data,
  // right truncation"; a type without text raises "Expression cannot be
  // cast to the specified type".
  int storeValue(const CZqlData& other) override;
  using CZqlData::storeValue;

  // The logical value as 8-bit text in the character set (unmappable
  // characters as escapes), at most size - 1 bytes, always terminated; a
  // cut pushes the truncation warning. *used receives the bytes written.
  int getValue(char* text, unsigned int size) const override;
  int getValue(char* text, unsigned int size, unsigned int* used) const override;
  int getValue(CZqlUcStr* text) const override;  // the logical value
  // The number at the start of the text ("C" locale, at most 31 bytes):
  // 0 when none can be read; a number outside the target's range raises
  // "numeric value out of range".
  int getValue(double* value) const override;
  int getValue(long* value) const override;
  int getValue(short* value) const override;
  // target.storeValue(*this): the target's own rules decide.
  int getValue(CZqlData& target) const override;
  using CZqlData::getValue;

  // "CHARACTER", "NATIONAL CHARACTER", " VARYING", "(n)", " CHARACTER SET x".
  int SQLType(CZqlUcStr* out) const override;
  // The text (varying: the logical value) between single quotes, each
  // quote doubled.
  int SQLLiteral(CZqlUcStr* out) const override;

  // storeValue of the argument; answer *this.
  CZqlChar& operator=(const CZqlChar& other);
  CZqlChar& operator=(const CZqlUcStr& text);

  // Concatenation: the logical values one after the other, cut to 256
  // characters with the truncation warning; null when an operand is null.
  // The dyadic collation rule decides the result's collation (two
  // different explicit ones raise "not permitted collating sequence").
  // May raise 0xA008.
  CZqlChar operator+(const CZqlChar& other) const;
  CZqlChar operator+(const CZqlUcStr& text) const;

  // Comparisons: 0 when an operand is null. Two values compare padded under
  // the collation the coercibility rules choose (a conflict raises "not
  // permitted collating sequence" and answers 0); a CZqlUcStr compares
  // unpadded with the text under this value's collation.
  int operator==(const CZqlChar& b) const;
  int operator!=(const CZqlChar& b) const;
  int operator<(const CZqlChar& b) const;
  int operator<=(const CZqlChar& b) const;
  int operator>(const CZqlChar& b) const;
  int operator>=(const CZqlChar& b) const;
  int operator==(const CZqlUcStr& b) const;
  int operator!=(const CZqlUcStr& b) const;
  int operator<(const CZqlUcStr& b) const;
  int operator<=(const CZqlUcStr& b) const;
  int operator>(const CZqlUcStr& b) const;
  int operator>=(const CZqlUcStr& b) const;

  // this LIKE pattern ESCAPE escape, on the logical values: 1 match, 0 no
  // match, -1 when an operand is null. The escape must be one character
  // ("invalid escape character") and may only precede %, _ or itself
  // ("invalid escape sequence"). Without escape: the form of one argument.
  // Answers 0 when a raise found nothing open.
  int Like(const CZqlChar& pattern, const CZqlChar& escape) const;
  int Like(const CZqlChar& pattern) const;
  // SUBSTRING(this FROM start [FOR count]), positions from 1: a varying
  // value with this value's attributes; null for null. May raise 0xA008.
  CZqlChar Substring(unsigned int start) const;
  CZqlChar Substring(unsigned int start, unsigned int count) const;
  // A copy with every unit mapped to upper / lower case.
  CZqlChar Upper() const;
  CZqlChar Lower() const;
  // TRIM(side trim FROM this): a varying copy; null when either is null.
  // A trim value not of one character raises "trim error" (null answer).
  CZqlChar Trim(EZqlTrimSpec side, const CZqlChar& trim) const;
  // POSITION(search IN this) as NUMERIC(4): 1 for an empty search, the
  // 1-based position of its text in the logical value, else 0; null when
  // either is null.
  CZqlNumeric Position(const CZqlChar& search) const;

  // The collation of a comparison with other: CompColSet answers its
  // identifier, isCompColSet 1; a conflict raises "not permitted collating
  // sequence" (answer 0). The dyadic forms answer collation 0 and
  // coercibility "no collating sequence" for a conflict, except for two
  // different explicit collations, which raise. *coerc, when not null,
  // receives the result's coercibility.
  int isCompColSet(const CZqlChar& other) const;
  unsigned long CompColSet(const CZqlChar& other) const;
  int isDyadicOpColSet(const CZqlChar& other) const;
  unsigned long DyadicOpColSet(const CZqlChar& other, EZqlCAttr* coerc = nullptr) const;

  // Reads the packed form, then holds the attributes to their limits and
  // looks the character-set and collation names up again (a failed lookup
  // keeps the identifier).
  int unpackFrom(CZqlObjPack* pack) override;

 protected:
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;
  int32_t packEndValue() const override { return kZqlTypeChar; }

 private:
  static constexpr uint16_t kVarying = 1;
  static constexpr uint16_t kNational = 2;
  struct SColl;
  class CUnits;

  unsigned int padLength() const { return ReturnLength(); }
  void padded(CUnits* out) const;
  int pickColl(const CZqlChar& other, bool dyadic, SColl* out) const;
  void takeColl(const SColl& c);
  int storeUnits(const unsigned short* units, unsigned int n);
  int setText(const unsigned short* units, unsigned int n, unsigned int current);
  // setText with the first n units of from, sharing from's text when they
  // are all of it.
  int setText(const CZqlUcStr& from, unsigned int n, unsigned int current);
  int storeOtherText(const char* text);
  int storeBits(const CZqlData& bits);
  int compare(int op, const CZqlChar& b) const;
  int compareText(int op, const CZqlUcStr& b) const;
  int match(const CZqlChar& pattern, const CZqlChar* escape) const;
  CZqlChar derived() const;
  void lookUpNames();

  uint32_t length_;
  uint32_t current_;
  CZqlUcStr text_;
  uint16_t flags_;
  unsigned long charSetId_;
  CZqlUcStr charSetName_;
  unsigned long collId_;
  CZqlUcStr collName_;
  EZqlCAttr coerc_;

  friend int operator==(const CZqlUcStr& a, const CZqlChar& b);
  friend int operator!=(const CZqlUcStr& a, const CZqlChar& b);
  friend int operator<(const CZqlUcStr& a, const CZqlChar& b);
  friend int operator<=(const CZqlUcStr& a, const CZqlChar& b);
  friend int operator>(const CZqlUcStr& a, const CZqlChar& b);
  friend int operator>=(const CZqlUcStr& a, const CZqlChar& b);
};

// A CZqlUcStr against a character value: the relation in that order,
// unpadded, under the value's collation; 0 for a null value.
int operator==(const CZqlUcStr& a, const CZqlChar& b);
int operator!=(const CZqlUcStr& a, const CZqlChar& b);
int operator<(const CZqlUcStr& a, const CZqlChar& b);
int operator<=(const CZqlUcStr& a, const CZqlChar& b);
int operator>(const CZqlUcStr& a, const CZqlChar& b);
int operator>=(const CZqlUcStr& a, const CZqlChar& b);

ZQL_PUBLIC_END

#endif  // ZQL_ZQLSCHAR_H
