// zqlident.h - SQL identifiers: regular (folded to upper case) or delimited
// (written in double quotes and kept exactly), with an optional
// character-set name, and the word tables that decide between the two.
#ifndef ZQL_ZQLIDENT_H
#define ZQL_ZQLIDENT_H

#include "zqlclass.h"
#include "zqlucode.h"

ZQL_PUBLIC_BEGIN

// Codes of the words in the tables below, searched without regard to case.
// Each answers the word's code, or -1 (-3 for ZqlFindKWord) when the text is
// not in its table. Never raise.
int ZqlFindSetFunc(const CZqlUcStr& text);  // AVG 0 .. SUM 4
int ZqlFindNumFunc(const CZqlUcStr& text);  // BIT_LENGTH 0 .. POSITION 4
int ZqlFindStrFunc(const CZqlUcStr& text);  // CONVERT 0 .. UPPER 5
int ZqlFindDTFunc(const CZqlUcStr& text);   // CURRENT_DATE 0 .. 2
// The 212 reserved words: ABSOLUTE 28 counting up; DECIMAL shares DEC's 76.
int ZqlFindKWord(const CZqlUcStr& text);
// Number of reserved words, and the upper-case text of word i (0 .. count-1,
// in ascending order), or null for another i.
int ZqlKWordCount();
const char* ZqlKWordText(int i);

// 1 when text must be written as a delimited identifier: it is empty, does
// not begin with a letter, holds a character other than a letter, a digit or
// "_", or is a reserved word or a built-in function name (any case). 0 when
// it is a valid regular identifier. Never raises.
int ZqlIsDelimited(const CZqlUcStr& text);

// An SQL identifier. Texts are shared copy-on-write; operations that store
// text may raise 0xA008 "insufficient memory".
class CZqlIdent : public CZqlObject {
 public:
  CZqlIdent();  // regular, empty
  // As setBody(text). A null text gives the empty body. Constructors do
  // not raise: one whose text could not be converted or folded (exhausted
  // memory) is marked Lost(), and the operations taking it refuse it.
  CZqlIdent(const char* text);
  CZqlIdent(const unsigned short* text);
  CZqlIdent(const CZqlUcStr& text);
  // Stores both texts unchanged as a regular identifier, without folding.
  CZqlIdent(const CZqlUcStr& charSet, const CZqlUcStr& body);
  CZqlIdent(const CZqlIdent& other);  // copies all three fields
  CZqlIdent& operator=(const CZqlIdent& other);
  CZqlIdent& operator=(const CZqlUcStr& text);  // setBody(text)
  // setBody(text); spares callers the choice between the two above. A null
  // text gives the empty body.
  CZqlIdent& operator=(const char* text);
  ~CZqlIdent() override;

  // setDelimited(delimited), setCharSet(charSet), setBody(body), in order.
  void set(EZqlBoolean delimited, const CZqlUcStr& charSet,
           const CZqlUcStr& body);
  // Sets the flag; making the identifier regular folds the body to upper
  // case.
  void setDelimited(EZqlBoolean delimited);
  void setDelimited();  // the flag becomes 1
  void setCharSet(const CZqlUcStr& charSet);
  // Stores text, folded to upper case unless the identifier is (or, since
  // ZqlIsDelimited(text) holds, becomes) delimited. Never clears the flag.
  void setBody(const CZqlUcStr& text);
  // The text given to a converting constructor or assignment is not in
  // this identifier: memory ran out on the way. Copies keep the mark; a
  // later set, setBody or assignment clears it.
  bool Lost() const { return lost_; }

  EZqlBoolean isDelimited() const { return delimited_; }
  // The fields; the references live as long as this identifier is unchanged.
  const CZqlUcStr& CharSet() const { return charSet_; }
  const CZqlUcStr& Body() const { return body_; }
  // Units of the body plus units of the character-set name.
  int Length() const;
  // Regular, both texts empty. Never raises.
  void Clear() override;

  // 1 when the bodies are equal unit for unit; flags and character sets are
  // not compared. Never raises.
  int operator==(const CZqlIdent& other) const;
  int operator!=(const CZqlIdent& other) const { return !(*this == other); }

  // Appends the SQL form to *out: the body, in double quotes with each quote
  // doubled when delimited; with a character-set name other than the default
  // set's, "_", the name and the quoted body. Answers 1; a null out raises
  // 0xA00B "invalid function arguments" (answers 0 with nothing open to take the raise).
  int ToString(CZqlUcStr* out) const;

  // A new copy owned by the caller.
  CZqlObject* duplicate() const override;

  // Packed form: label 1 the body, label 2 the character-set name (both
  // kZqlPackUcStr), label 3 the flag (long). packSize answers the bytes
  // packTo needs in a fresh pack (header included). packTo answers the
  // pack's Size() afterwards, 0 for a null pack; it raises what the pack
  // raises. unpackFrom reads exactly these three items and answers 1; an
  // item with another label or type raises 0xA00C "internal ZQL error" and
  // leaves this identifier unchanged (answers 0 with nothing open to take the raise).
  unsigned int packSize() const override;
  int packTo(CZqlObjPack* pack) const override;
  int unpackFrom(CZqlObjPack* pack) override;

 private:
  template <class Convert>
  void convert(Convert text);

  EZqlBoolean delimited_;
  CZqlUcStr charSet_;
  CZqlUcStr body_;
  bool lost_ = false;
};

ZQL_PUBLIC_END

#endif  // ZQL_ZQLIDENT_H
