// zqlcol.h - the descriptors a statement's descriptor area carries (result
// columns, dynamic parameters, output slots of the current row) with their
// packed forms, the binding of parameters and columns to data values or host
// variables, and two small containers: the column row and the object list.
//
// Packed forms (see objpack.h for the item format): every descriptor begins
// with label 0 holding the long 0x101 and ends with label 0xFFFF holding 0.
// A data descriptor group at label L is: L the value's type code, L + 1 its
// datetime or interval subtype (types 9 and 10 only), L + 2 a marker (long
// 0) followed by the value's own packed form.
//
// "Raises" means: the code goes to the caller's innermost open try frame or
// exception handler; with neither open the operation takes the raise itself
// (ZqlEntry) and answers its failure value.
#ifndef ZQL_ZQLCOL_H
#define ZQL_ZQLCOL_H

#include <cstdint>

#include "zqlclass.h"
#include "zqlident.h"
#include "zqlsdata.h"

ZQL_PUBLIC_BEGIN

class CZqlDDA;
class CZqlObjPack;

// Kinds of host variable, with the buffer each one points at. The records
// of types 8 to 23 (zql_date ... zql_second) are declared in zqlsdata.h;
// their fields have fixed widths.
enum EZqlHostType : int32_t {
  kZqlHostSmallInt = 1,         // int16_t
  kZqlHostInteger = 2,          // int32_t
  kZqlHostDouble = 3,           // double
  kZqlHostReal = 4,             // double as well (read and written as 3)
  kZqlHostChar = 5,             // char[length], zero-terminated text
  kZqlHostUcChar = 6,           // unsigned short[length], zero-terminated
  kZqlHostBit = 7,              // char[length], hexadecimal digits
  kZqlHostDate = 8,             // zql_date
  kZqlHostTime = 9,             // zql_time
  kZqlHostTimeStamp = 10,       // zql_timestamp
  kZqlHostYear = 11,            // zql_year
  kZqlHostYearToMonth = 12,     // zql_yeartomonth
  kZqlHostMonth = 13,           // zql_month
  kZqlHostDay = 14,             // zql_day
  kZqlHostDayToHour = 15,       // zql_daytohour
  kZqlHostDayToMinute = 16,     // zql_daytominute
  kZqlHostDayToSecond = 17,     // zql_daytosecond
  kZqlHostHour = 18,            // zql_hour
  kZqlHostHourToMinute = 19,    // zql_hourtominute
  kZqlHostHourToSecond = 20,    // zql_hourtosecond
  kZqlHostMinute = 21,          // zql_minute
  kZqlHostMinuteToSecond = 22,  // zql_minuteitosecond
  kZqlHostSecond = 23,          // zql_second
};

// ---------------------------------------------------------------------------
// Descriptors
// ---------------------------------------------------------------------------

// A descriptor that a value can be bound to.
class CZqlHostBuffer : public CZqlObject {
 public:
  CZqlHostBuffer() : bind_(nullptr) {}
  CZqlHostBuffer(const CZqlHostBuffer&) = delete;
  CZqlHostBuffer& operator=(const CZqlHostBuffer&) = delete;

  // Stores the bound value into *out: 1 when there is one, 0 for a null out
  // or no value. The value's ownership is the subclass's (see below).
  int getBind(CZqlData** out) const;
  // Binds value (null unbinds). Answers 1 here.
  virtual int setBind(CZqlData* value);

 protected:
  CZqlData* bind_;
};

// A dynamic parameter: its name, the data descriptor of its type (an empty
// value of that type) and whether it accepts null; bound to the value to be
// sent for it.
class CZqlParameter : public CZqlHostBuffer {
 public:
  CZqlParameter();  // unnamed, nullable, no descriptor, nothing bound
  // Frees the descriptor and a bound value the parameter owns.
  ~CZqlParameter() override;
  // Parameters are copied with assign, never duplicated: null.
  CZqlParameter* duplicate() const override { return nullptr; }
  // Copies name, nullability and a duplicate of the descriptor. A value
  // the source owns is duplicated (and owned); one bound by the caller is
  // bound here too and stays the caller's. Raises 0xA008.
  void assign(const CZqlParameter& other);
  // Destroys the descriptor. The binding stays.
  void Clear() override;

  // Binds a value the caller keeps owning (it must outlive the binding):
  // accepted only when the parameter has a descriptor (else 0). Releases a
  // value the parameter owned.
  int setBind(CZqlData* value) override;
  // As setBind, but the parameter takes ownership of value, also when it
  // refuses it (it is then destroyed). Used for values unpacked from a
  // driver's reply.
  int adoptBind(CZqlData* value);

  void setName(const CZqlIdent& name);  // may raise 0xA008
  void setNullable(EZqlBoolean nullable) { nullable_ = nullable; }
  // Replaces the descriptor by a duplicate of dsc (null: none). Raises
  // 0xA008, keeping the old one.
  void setDsc(const CZqlData* dsc);
  const CZqlIdent& Name() const { return name_; }
  EZqlBoolean isNullable() const { return nullable_; }
  CZqlData* Dsc() const { return dsc_; }  // owned by the parameter

  // Packed form: label 0 (0x101); label 2 a marker and the name when it is
  // not empty; label 3 nullable when it is not 1; the descriptor's group at
  // label 10; label 0xFFFF. unpackFrom replaces the fields (nullable 1
  // unless label 3 says otherwise); raises 0xA00C for damage, 0xA008.
  unsigned int packSize() const override;
  int packTo(CZqlObjPack* pack) const override;
  int unpackFrom(CZqlObjPack* pack) override;

 private:
  void unbind();

  CZqlIdent name_;
  CZqlData* dsc_;
  EZqlBoolean nullable_;
  int owned_;  // 1 when bind_ was adopted and is freed here
};

class CZqlColumn;

// An output slot of the current row: the value of one column, which the
// output owns.
class CZqlOutput : public CZqlHostBuffer {
 public:
  CZqlOutput() : column_(nullptr) {}
  ~CZqlOutput() override;  // frees the bound value

  // Attaches the column (borrowed; it must outlive the output).
  void setColumn(CZqlColumn* column) { column_ = column; }
  CZqlColumn* Column() const { return column_; }
  // Takes ownership of value (freeing the previous one) when the output
  // has a column; answers 0 and leaves value with the caller otherwise.
  int setBind(CZqlData* value) override;

  // Full form: label 0 (0x101), the bound value's group at label 10, label
  // 0xFFFF. Value form: label 0 (0x101), label 12 a marker and the bound
  // value's value form, label 0xFFFF. The readers raise 0xA00C for damage;
  // the value reader also when a value arrives for an output without one.
  unsigned int packSize() const override;
  int packTo(CZqlObjPack* pack) const override;
  int unpackFrom(CZqlObjPack* pack) override;
  unsigned int packValueSize() const override;
  int packValueTo(CZqlObjPack* pack) const override;
  int unpackValueFrom(CZqlObjPack* pack) override;

 private:
  CZqlColumn* column_;
};

// A result column: name, data descriptor, nullability, native flag,
// default value, domain and offset. Copies are deep.
class CZqlColumn : public CZqlObject {
 public:
  // Empty name and domain, no descriptor or default, nullable and native 1,
  // offset 0. The constructors with names may raise 0xA008.
  CZqlColumn();
  explicit CZqlColumn(const CZqlIdent& name);
  CZqlColumn(const CZqlIdent& name, const CZqlIdent& domain);
  // With a duplicate of value as descriptor (none for null value). One
  // form serves every value class (CZqlInt, CZqlChar, CZqlDate, ...).
  CZqlColumn(const CZqlIdent& name, const CZqlData* value);
  CZqlColumn(const CZqlIdent& name, const CZqlData& value);
  CZqlColumn(const CZqlColumn& other);
  CZqlColumn& operator=(const CZqlColumn& other);
  ~CZqlColumn() override;

  CZqlColumn* duplicate() const override;  // deep copy; raises 0xA008
  void Clear() override;  // back to the state of CZqlColumn()

  void setName(const CZqlIdent& name);
  void setNullable(EZqlBoolean nullable) { nullable_ = nullable; }
  void setNative(EZqlBoolean native) { native_ = native; }
  void setDomain(const CZqlIdent& domain);
  void setOffset(uint32_t offset) { offset_ = offset; }
  // Replaces the descriptor by a duplicate of value (null: none). Raises
  // 0xA008, keeping the old one.
  void setDataDsc(const CZqlData* value);
  // Replaces the default by a duplicate of value; null changes nothing.
  // Raises 0xA008, keeping the old one.
  void setDefault(const CZqlData* value);
  // The collation name of a character descriptor; nothing for others.
  void setCollation(const CZqlUcStr& name);
  // The collation name of a character descriptor, or null (valid while
  // the descriptor is unchanged).
  const CZqlUcStr* Collation() const;

  const CZqlIdent& Name() const { return name_; }
  EZqlBoolean Nullable() const { return nullable_; }
  EZqlBoolean Native() const { return native_; }
  CZqlData* Default() const { return deflt_; }  // owned by the column
  const CZqlIdent& Domain() const { return domain_; }
  uint32_t Offset() const { return offset_; }
  CZqlData* getData() const { return dataDsc_; }  // owned by the column
  // Stores value into the descriptor (storeValue) when both exist; the
  // store's conversion errors raise.
  CZqlColumn& operator=(const CZqlData* value);

  // Full form: label 0 (0x101); label 1 a marker and the name when not
  // empty; label 2 nullable and label 3 native when not 1; label 5 a marker
  // and the domain when not empty; label 6 the offset when not 0; the
  // descriptor's group at label 10 and the default's at label 20; label
  // 0xFFFF. Value form: label 0 (0x101); label 12 a marker and the
  // descriptor's value form; label 0xFFFF. Readers raise 0xA00C for damage
  // (the value reader also for a value without descriptor), 0xA008.
  unsigned int packSize() const override;
  int packTo(CZqlObjPack* pack) const override;
  int unpackFrom(CZqlObjPack* pack) override;
  unsigned int packValueSize() const override;
  int packValueTo(CZqlObjPack* pack) const override;
  int unpackValueFrom(CZqlObjPack* pack) override;

 private:
  void unpackItem(CZqlObjPack* pack, int label);

  CZqlIdent name_;
  CZqlData* dataDsc_;
  EZqlBoolean nullable_;
  EZqlBoolean native_;
  CZqlData* deflt_;
  CZqlIdent domain_;
  uint32_t offset_;
};

// ---------------------------------------------------------------------------
// Containers
// ---------------------------------------------------------------------------

// A fixed array of columns.
class CZqlRow : public CZqlObject {
 public:
  // n empty columns (n < 0 counts as 0). Raises 0xA008 (the row is then
  // empty).
  explicit CZqlRow(int n);
  CZqlRow(const CZqlRow& other);  // deep copy; raises 0xA008
  CZqlRow& operator=(const CZqlRow&) = delete;
  ~CZqlRow() override;
  CZqlRow* duplicate() const override;  // deep copy; raises 0xA008
  void Clear() override;  // no columns left

  int ColNum() const { return count_; }
  // Column i. Raises 0x709 "invalid descriptor index" unless 0 <= i <
  // ColNum(); with nothing open to take the raise, answers a sentinel column named "Wrong
  // Column Number".
  CZqlColumn& operator[](int i) const;
  // Index of the first column named name, or -1.
  int findCol(const CZqlIdent& name) const;
  // 1 when no two columns have equal names, 0 otherwise, -1 without columns.
  int isDistinct() const;

 private:
  CZqlColumn* cols_;  // count_ columns, or null
  int count_;
  // What operator[] answers for a bad index with nothing open; the
  // caller may write into it like into any column.
  mutable CZqlColumn sentinel_;
};

// A singly linked list that owns its objects: the del operations, replace,
// Clear and the destructor destroy them; the detach operations, overwrite
// and detachAll only unlink. Operations that insert or remove clear the
// cursor. Insertions raise 0xA008 when memory runs out.
class CZqlList : public CZqlObject {
 public:
  CZqlList();
  CZqlList(const CZqlList&) = delete;
  CZqlList& operator=(const CZqlList&) = delete;
  ~CZqlList() override;  // destroys the objects

  // Insert at the front or back and take ownership: 1. When memory runs
  // out with nothing open to take the raise, 0, and object stays the caller's.
  int addFirst(CZqlObject* object);
  int addLast(CZqlObject* object);
  // Remove the first node holding object (or node i): 1, or 0 when there
  // is none (nothing is destroyed then).
  int del(CZqlObject* object);
  int del(int i);
  int detach(CZqlObject* object);
  int detach(int i);
  int delFirst();     // 0 on an empty list
  int delLast();
  int detachFirst();
  int detachLast();
  // Remove nodes i to the end: 1, or 0 when node i does not exist.
  int delTail(int i);
  int detachTail(int i);
  // Store object in node i (replace destroys the old one): 1, or 0 when
  // node i does not exist (object stays the caller's then).
  int replace(int i, CZqlObject* object);
  int overwrite(int i, CZqlObject* object);

  // The cursor: first/last/next/operator[] move it and answer the object
  // there (null when there is none). The answers are owned by the list.
  CZqlObject* first();
  CZqlObject* last();
  CZqlObject* next();
  // An opaque position of the cursor (0 when none); valid until the node
  // is removed.
  uintptr_t position() const;
  // Continues after a saved position (REQUIRES: its node is still in the
  // list); uintptr_t(-1) restarts with first().
  CZqlObject* next(uintptr_t position);
  CZqlObject* getAt(uintptr_t position) const;  // null for 0 and -1
  CZqlObject* getCurrent() const;
  CZqlObject* operator[](int i);
  int qnty() const { return count_; }

  void detachAll();
  void Clear() override;
  // A new list holding a duplicate of each object (null stays null), owned
  // by the caller. Raises 0xA008.
  CZqlList* duplicate() const override;

 private:
  struct SNode;
  SNode* nodeAt(int i) const;
  int insert(SNode* prev, CZqlObject* object);
  CZqlObject* takeAfter(SNode* prev);
  int removeAt(int i, bool destroy);
  int removeObject(const CZqlObject* object, bool destroy);
  int removeTail(int i, bool destroy);
  void removeAll(bool destroy);

  SNode* head_;
  SNode* tail_;
  SNode* current_;
  int count_;
};

// ---------------------------------------------------------------------------
// Host binding
// ---------------------------------------------------------------------------

// Ties one parameter or column to the caller's storage: either to a data
// value the caller owns (a data link) or to a host variable (a host link),
// for which the link owns a value object of the matching class.
class CZqlHostLink : public CZqlObject {
 public:
  CZqlHostLink();
  CZqlHostLink(const CZqlHostLink&) = delete;
  CZqlHostLink& operator=(const CZqlHostLink&) = delete;
  ~CZqlHostLink() override;  // destroys the value of a host link

  // Each init first destroys a value the link owned. The buffer and the
  // indicator are borrowed and must outlive the link; length is the
  // buffer's size in bytes (5, 7) or units (6). An unknown type raises
  // 0xA00B; creating the value raises 0xA008.
  // Host link without descriptor. Answers 1.
  int init(EZqlHostType type, void* buffer, int16_t* indicator,
           int32_t length);
  // Host link for parameter p: the value must be castable to p's
  // descriptor; then p is bound to it and 1 answered, else 0 (and the link
  // has no value). p stays bound to the link's value, which the next init
  // or the link's destruction frees: rebind p before reusing it.
  int init(EZqlHostType type, void* buffer, int16_t* indicator,
           int32_t length, CZqlParameter* p);
  // Host link for column c: when c has a descriptor, the value must be
  // castable to it, else 0 (and the link has no value).
  int init(EZqlHostType type, void* buffer, int16_t* indicator,
           int32_t length, CZqlColumn* c);
  // Data links to the caller's value (borrowed); 0 for null value.
  int init(CZqlData* value);
  // p must accept value; then p is bound to it too.
  int init(CZqlData* value, CZqlParameter* p);
  int init(CZqlData* value, CZqlColumn* c);     // value castable to c's
  // Stores the fields and creates the host link's value (as the first
  // init, without its answer).
  void initData(EZqlHostType type, void* buffer, int16_t* indicator,
                int32_t length);

  // Moves a host variable's content into the value (a negative indicator
  // makes it null). Answers 1, or 0 for a host link without buffer. Data
  // links pass. Conversion errors of the value classes raise.
  int prepInput();
  // Moves source into the link's storage: the caller's value (data link)
  // or the host variable and its indicator (host link). Answers what the
  // conversion answered (1 when it succeeded). Errors are pushed onto dda
  // (when not null) and raised: 0x707 no storage, 0x2202 a null source
  // without indicator, 0x3707 a source that does not convert, 0xA00B a
  // null source pointer, and the conversions' own codes.
  int writeToBuffer(const CZqlData* source, CZqlDDA* dda);

  CZqlData* getData() const { return data_; }
  int isSet() const { return data_ != nullptr ? 1 : 0; }
  EZqlHostType Type() const { return type_; }
  int isHost() const { return isHost_; }

 private:
  void reset();
  int hostToValue();
  int valueToHost(const CZqlData& source);
  int temporalToHost(const CZqlData& source);

  EZqlHostType type_;
  void* buffer_;
  int16_t* indicator_;
  int32_t length_;
  CZqlData* data_;
  int isHost_;
};

// One link per parameter or column of a statement.
class CZqlHostBind : public CZqlObject {
 public:
  // n empty links (n < 0 counts as 0). Raises 0xA008.
  explicit CZqlHostBind(int n);
  CZqlHostBind(const CZqlHostBind&) = delete;
  CZqlHostBind& operator=(const CZqlHostBind&) = delete;
  ~CZqlHostBind() override;

  int Count() const { return count_; }
  // Link i. REQUIRES: 0 <= i < Count() (callers check their own counts).
  CZqlHostLink* operator[](int i) const { return &links_[i]; }
  int isAllBound() const;  // 1 when every link has a value
  // prepInput on every link; 0 at the first that answers 0, else 1.
  int prepare();
  // Writes output i's value of dda into link i, for each link in order. A
  // failing write leaves its condition in dda and goes on. Answers 0 when
  // an output or its value is missing (stopping there), else 1.
  int fetchBuffers(CZqlDDA* dda);

 private:
  CZqlHostLink* links_;
  int count_;
};

ZQL_PUBLIC_END

#endif  // ZQL_ZQLCOL_H
