// zqlclass.h - the root of the library's classes and the exception that
// carries conditions out of the library.
#ifndef ZQL_ZQLCLASS_H
#define ZQL_ZQLCLASS_H

#include <cstddef>
#include <cstdint>
#include <new>

#include "zqlsys.h"
#include "zqltry.h"
#include "zqlucode.h"

ZQL_PUBLIC_BEGIN

class CZqlObjPack;

// Root of every library class. Its objects live in the block allocator and
// are counted while alive (ZqlObjectsInUse).
class CZqlObject {
 public:
  CZqlObject();
  CZqlObject(const CZqlObject&);
  CZqlObject& operator=(const CZqlObject&) { return *this; }
  virtual ~CZqlObject();

  // A new deep copy owned by the caller, or null when the class cannot copy.
  virtual CZqlObject* duplicate() const;
  virtual void Clear();
  // Packing: the root packs nothing. packTo answers 0 (failure) here, the
  // size of the pack afterwards in classes that pack; unpackFrom answers 1.
  virtual unsigned int packSize() const;
  virtual int packTo(CZqlObjPack* pack) const;
  virtual int unpackFrom(CZqlObjPack* pack);
  virtual unsigned int packValueSize() const;
  virtual int packValueTo(CZqlObjPack* pack) const;
  virtual int unpackValueFrom(CZqlObjPack* pack);

  // Memory from ZqlMemoryMalloc. Exhaustion raises 0xA008 into the open try
  // frame or handler; with neither open, std::bad_alloc is thrown, which the
  // entry point's protected wrapper turns into 0xA008.
  static void* operator new(std::size_t n);
  // As above but answers null instead of throwing when nothing catches.
  static void* operator new(std::size_t n, const std::nothrow_t&) noexcept;
  static void operator delete(void* p) noexcept;
  static void operator delete(void* p, const std::nothrow_t&) noexcept;
};

// Number of library objects alive in this process.
long ZqlObjectsInUse();

// One condition: an error with its SQLSTATE, message and diagnostic
// parameters ("\tITEM\tvalue" entries).
struct SZqlCondition {
  int32_t err;          // 0 in an unused entry
  char sqlstate[8];     // five characters and NUL; "" when not set
  CZqlUcStr* msg;       // owned; null when not set
  CZqlUcStr* params;    // owned; null when there are none
};

// A stack of conditions, oldest first, below the working record that the
// setters fill and Push moves onto it. All zero, it is empty and has no
// records. The exception and the descriptor area each keep one; they differ
// only in what they do when it is full (grow, or drop the oldest).
struct SZqlCondStack {
  int32_t count;        // completed conditions
  int32_t capacity;     // completed conditions recs can hold
  SZqlCondition* recs;  // owned; capacity + 1 records ([count] is the
                        // working record), null when capacity is 0

  // Room for capacity conditions, the stack emptied first. Raises 0xA008,
  // keeping the old records then.
  void Reserve(int capacity);
  // Room for n more conditions, keeping them all. Raises 0xA008.
  void Grow(int n);
  // Frees every record; the stack is all zero again.
  void Release() noexcept;
  // Empties the stack and the working record; 0 without records.
  int Flush() noexcept;
  // Replaces the conditions by deep copies of the count conditions in from
  // (push order), with room for at least capacity. Raises 0xA008, keeping
  // what was copied.
  void CopyFrom(const SZqlCondition* from, int count, int capacity);

  // The working record; null without records.
  SZqlCondition* Working() const;
  // Condition i counted from the most recent (0 = pushed last); valid until
  // the stack changes. Raises 0xA013 without records, 0xA011 out of range.
  const SZqlCondition* At(int i) const;

  // Setters of the working record: 1 when set, 0 without records. They raise
  // 0xA00B for a null SQLSTATE, 0xA011 for an item below
  // kZqlDiagReturnedSqlstate and 0xA008 on exhaustion; other items than the
  // SQLSTATE, the message text and the parameter items are ignored.
  int SetErr(int code);
  int SetMsg(const CZqlUcStr& msg);
  int SetSQLSTATE(const char* state);
  int SetItem(EZqlDiag item, const CZqlUcStr& value);
  int SetParams(const CZqlUcStr& text);  // the whole diagnostic text

  enum EPush {
    kRefused,  // no records, or the working record's code is 0
    kPushed,   // completed and moved onto the stack
    kFull,     // no room: nothing was done
  };
  // Completes the working record (SQLSTATE and standard message from its
  // code when it has none; a message that cannot be made stays empty) and
  // moves it onto the stack. Never raises.
  EPush Push() noexcept;
  // Drops the oldest condition to make room. REQUIRES: count == capacity > 0.
  void DropOldest() noexcept;

 private:
  // Replaces the working record's string field by a copy of text.
  int SetText(CZqlUcStr* SZqlCondition::*field, const CZqlUcStr& text);
};

// Runs f in a try frame of its own and answers what it answers, or fail when
// it raised (the code then stays the try table's current one): how the
// condition readers and setters of the exception and the descriptor area
// keep their promise never to raise.
template <class R, class F>
R ZqlCondQuiet(R fail, F&& f) {
  R result = fail;
  ZqlTry([&] { result = f(); });
  return result;
}

// Reads parameter item `item` (22..33 or user-defined) of c into out
// (emptied first). Answers 1 when out is then non-empty, else 0.
int ZqlConditionParam(const SZqlCondition& c, int item, CZqlUcStr* out);

// The conditions of an exception, shared by its copies.
struct SZqlDiagRecord {
  int refCount;         // exceptions sharing the record
  SZqlCondStack conds;  // kZqlMaxConditions at most
};

// Most conditions one exception keeps; further ones are dropped.
constexpr int kZqlMaxConditions = 1000;

// The exception that carries conditions out of the library. Reading
// operations count i from the most recent condition (0 = pushed last) and
// never raise: an error inside gives their failure value and stays the try
// table's current code.
class CZqlException : public CZqlObject {
 public:
  // Builds an empty record; on exhaustion the exception has no record:
  // it then reads as one condition, 0xA008 "insufficient memory" (SQLSTATE
  // "A0008", no message), and every building operation fails.
  CZqlException();
  // Shares e's record.
  CZqlException(const CZqlException& e);
  CZqlException& operator=(const CZqlException&) = delete;
  ~CZqlException() override;
  // A new exception with a deep copy of the completed conditions, or null.
  CZqlObject* duplicate() const override;

  int CondQty() const;                 // completed conditions; 1 without a record
  int Err(int i) const;                // -1 on failure
  const CZqlUcStr* ErrMsg(int i) const;  // null on failure or no message
  const char* SQLSTATE(int i) const;   // "" on failure
  // Number form: items 1, 2, 3 and user-defined items.
  int getDiagPar(int i, EZqlDiag item, int32_t* value) const;
  // Text form: items 1-3 (3 in octal), 21-34 and user-defined items.
  int getDiagPar(int i, EZqlDiag item, CZqlUcStr* value) const;

  // Setters work on the condition under construction.
  int setErr(int code);
  int setErrMsg(const CZqlUcStr& msg);
  int setSQLSTATE(const char* state);
  int setDiagPar(EZqlDiag item, int32_t value);
  int setDiagPar(EZqlDiag item, const CZqlUcStr& value);
  // Completes the condition under construction: 1 when completed (or the
  // 1000-condition ceiling swallowed it), 0 when there is no record, growing
  // failed or its code is 0.
  int pushCond();
  int flushCond();  // removes every condition; 0 without a record
  SZqlDiagRecord* getDiagData() const { return diag_; }

  // Replaces the conditions by deep copies of the `count` completed
  // conditions in conds (push order), sized for `capacity`. Raises on
  // exhaustion, keeping what was copied. 0 without a record.
  int copyConditions(const SZqlCondition* conds, int count, int capacity);

 private:
  const SZqlCondition* reading(int i) const;  // raises 0xA011
  void release() noexcept;

  SZqlDiagRecord* diag_;
};

// The condition an object reports when memory for its own conditions could
// not be had: 0xA008, SQLSTATE "A0008", no message. Static, never freed.
extern const SZqlCondition kZqlOutOfMemoryCondition;

// Condition records: a record's strings freed and the record zeroed; a
// deep copy of from into the zeroed record to (raises 0xA008, leaving what
// was copied owned by to).
void ZqlConditionClear(SZqlCondition* c);
void ZqlConditionCopy(SZqlCondition* to, const SZqlCondition& from);

// Reads the value stored under key in a parameters text into out (emptied
// first). Answers 1 when out is then non-empty, else 0.
int ZqlCondioGetParam(CZqlUcStr* out, const CZqlUcStr* text, const char* key);

ZQL_PUBLIC_END

#endif  // ZQL_ZQLCLASS_H
