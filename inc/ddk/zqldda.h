// zqldda.h - the dynamic descriptor area: the structure that travels between
// the client and a driver with every request and reply. It carries the kind
// of the operation, row count, error position, cursor state, the DBMS's name
// and status, a stack of conditions, and three descriptor sets (result
// columns, dynamic parameters, output values of the current row).
//
// A CZqlDDA is a handle to a shared, reference-counted body (SZqlDiag):
// copies share it, duplicate() makes a deep copy. The descriptor sets are
// handles to shared bodies in the same way.
//
// "Raises" below means: the code goes to the caller's innermost open try
// frame or exception handler; with neither open the operation takes the raise
// itself (ZqlEntry) and answers its failure value. Unpacking reads driver input: every damage
// (a wrong version, a missing or mistyped item, an absurd count) raises
// 0xA00C "internal ZQL error", and nothing is read outside the packed buffer.
#ifndef ZQL_ZQLDDA_H
#define ZQL_ZQLDDA_H

#include <cstdint>

#include "zqlclass.h"

ZQL_PUBLIC_BEGIN

class CZqlObjPack;
class CZqlColumn;
class CZqlParameter;
class CZqlOutput;
class CZqlData;
class CZqlDDAColumns;
class CZqlDDAParams;
class CZqlDDAOutput;

// Statement and command types recorded in a descriptor area.
enum EZqlStatement : int32_t {
  kZqlStmUndefined = 0,
  kZqlStmAllocCursor = 1,
  kZqlStmAllocStatement = 2,
  kZqlStmAlterDomain = 3,
  kZqlStmAlterTable = 4,
  kZqlStmCreateAssertion = 5,
  kZqlStmCreateCatalog = 6,
  kZqlStmCreateCharacterSet = 7,
  kZqlStmCreateCollation = 8,
  kZqlStmCreateDomain = 9,
  kZqlStmCloseCursor = 10,
  kZqlStmCommit = 11,
  kZqlStmConnect = 12,
  kZqlStmCreateSchema = 13,
  kZqlStmCreateTable = 14,
  kZqlStmCreateView = 15,
  kZqlStmCreateIndex = 16,
  kZqlStmCreateTranslation = 17,
  kZqlStmCursor = 18,
  kZqlStmDeleteCursor = 19,
  kZqlStmDeleteWhere = 20,
  kZqlStmDeallocateStatement = 21,
  kZqlStmDisconnect = 22,
  kZqlStmDropAssertion = 23,
  kZqlStmDropCatalog = 24,
  kZqlStmDropCharacterSet = 25,
  kZqlStmDropCollation = 26,
  kZqlStmDropDomain = 27,
  kZqlStmDropSchema = 28,
  kZqlStmDropTable = 29,
  kZqlStmDropTranslation = 30,
  kZqlStmDropView = 31,
  kZqlStmDropIndex = 32,
  kZqlStmExecuteImmediate = 33,
  kZqlStmExecute = 34,
  kZqlStmFetch = 35,
  kZqlStmGrant = 36,
  kZqlStmInsert = 37,
  kZqlStmOpen = 38,
  kZqlStmPrepare = 39,
  kZqlStmRevoke = 40,
  kZqlStmRollback = 41,
  kZqlStmSelect = 42,
  kZqlStmSetCatalog = 43,
  kZqlStmSetSchema = 44,
  kZqlStmSetTimeZone = 45,
  kZqlStmSetNames = 46,
  kZqlStmSetTransaction = 47,
  kZqlStmSetConstraint = 48,
  kZqlStmSetAuthorization = 49,
  kZqlStmUpdateCursor = 50,
  kZqlStmUpdateWhere = 51,
};

// Keys of the diagnostic items in a condition's diagnostic text: each entry
// is a key followed directly by its value, which ends at the next tab.
inline constexpr char kZqlKeyClassOrigin[] = "\tCLASS_ORIGIN\t";
inline constexpr char kZqlKeySubClassOrigin[] = "\tSUBCLASS_ORIGIN\t";
inline constexpr char kZqlKeyServerName[] = "\tSERVER_NAME\t";
inline constexpr char kZqlKeyConnectionName[] = "\tCONNECTION_NAME\t";
inline constexpr char kZqlKeyConstraintCatalog[] = "\tCONSTRAINT_CATALOG\t";
inline constexpr char kZqlKeyConstraintSchema[] = "\tCONSTRAINT_SCHEMA\t";
inline constexpr char kZqlKeyConstraintName[] = "\tCONSTRAINT_NAME\t";
inline constexpr char kZqlKeyCatalogName[] = "\tCATALOG_NAME\t";
inline constexpr char kZqlKeySchemaName[] = "\tSCHEMA_NAME\t";
inline constexpr char kZqlKeyTableName[] = "\tTABLE_NAME\t";
inline constexpr char kZqlKeyColumnName[] = "\tCOLUMN_NAME\t";
inline constexpr char kZqlKeyCursorName[] = "\tCURSOR_NAME\t";
// printf format of the key of user item n (an integer argument).
inline constexpr char kZqlKeyUserDefined[] = "\tUSER_DEFINED%ld\t";

// Largest condition capacity of an area; also what Init makes of a request
// outside 1..kZqlDDAMaxConditions.
constexpr int kZqlDDAMaxConditions = 100;
// Largest element count of a descriptor set.
constexpr int kZqlDDAMaxDescriptors = 1000;
// Format version that opens every packed area and descriptor.
constexpr int32_t kZqlDDAPackVersion = 0x101;
// DBMS status meaning "not set".
constexpr uint32_t kZqlDDANoStatus = 0xFFFFFFFFu;

// The shared body of a descriptor area.
struct SZqlDiag {
  int32_t stmType;          // EZqlStatement of the statement concerned
  int32_t cmdStmType;       // EZqlStatement of the operation performed
  int32_t rowCount;
  int32_t errPos;           // position in the statement text of an error
  int32_t csrState;         // EZqlBoolean
  int32_t csrUpd;           // EZqlBoolean
  int32_t more;             // 1 when conditions were dropped (stack full)
  CZqlUcStr* suTable;       // owned; null when not set
  CZqlUcStr* dbmsName;      // owned; null when not set
  uint32_t dbmsStatus;      // kZqlDDANoStatus when not set
  CZqlDDAColumns* columns;  // owned; null when none
  CZqlDDAParams* params;    // owned; null when none
  CZqlDDAOutput* output;    // owned; null when none
  void* userData;           // the caller's; never packed or freed
  int32_t refCount;         // handles sharing this body
  // Capacity 0 (no records) or 1..kZqlDDAMaxConditions; when full, a push
  // drops the oldest condition and sets more.
  SZqlCondStack conds;
};

// ---------------------------------------------------------------------------
// Descriptor sets
// ---------------------------------------------------------------------------

// The shared body of a descriptor set.
template <class T>
struct SZqlDscSet {
  int refCount;
  int count;     // elements, 1..kZqlDDAMaxDescriptors
  T* elems;      // owned array of count elements
  int packFlag;  // parameters: 1 packs descriptions, 0 values only
  int received;  // parameters: 1 once values were unpacked into the set
};

// What the three descriptor sets share: a handle to a counted body of n
// elements of T. Copies share the body; Clear releases this handle's share.
template <class T>
class CZqlDscSetBase : public CZqlObject {
 public:
  // Without body: Count() answers 0, Dsc raises 0xA013.
  CZqlDscSetBase();
  // n new elements. Raises 0xA00B unless 1 <= n <= 1000, 0xA008 when memory
  // runs out (nothing is kept then).
  explicit CZqlDscSetBase(int n);
  CZqlDscSetBase(const CZqlDscSetBase& other);  // shares other's body
  CZqlDscSetBase& operator=(const CZqlDscSetBase& other);
  ~CZqlDscSetBase() override;

  // Releases this handle's share of the body; the set has no body then.
  void Clear() override;
  // Element i (valid while the body lives). Raises 0xA013 without body and
  // 0xA011 unless 0 <= i < Count(); answers null with nothing open to take the raise.
  T* Dsc(int i) const;
  int Count() const;  // elements, 0 without body
  int hasBody() const { return body_ != nullptr ? 1 : 0; }

 protected:
  // Replaces the body by a fresh one of n elements (raises as the sized
  // constructor, keeping the old body then).
  void Create(int n);
  SZqlDscSet<T>* body_;
};

// The result columns of a prepared statement.
class CZqlDDAColumns : public CZqlDscSetBase<CZqlColumn> {
 public:
  CZqlDDAColumns() = default;
  explicit CZqlDDAColumns(int n) : CZqlDscSetBase(n) {}
  // A new set of deep copies of the columns, owned by the caller (a set
  // without body for one without). Raises 0xA008.
  CZqlDDAColumns* duplicate() const override;
  // A new output set, owned by the caller: one output per column, attached
  // to it and bound to a duplicate of its data value. Raises 0xA013 without
  // body, 0xA00C for a column without data value, 0xA008.
  CZqlDDAOutput* CreateOutput() const;

  // Packed form: label 0 the count, then each column's packed form. packTo
  // answers the pack's Size(). unpackFrom replaces the body: it requires
  // label 0 with a count of 1..1000 and that many well-formed columns, else
  // raises 0xA00C (the set is then left without body). Answers 1.
  unsigned int packSize() const override;
  int packTo(CZqlObjPack* pack) const override;
  int unpackFrom(CZqlObjPack* pack) override;
};

// The dynamic parameters of a prepared statement, or their values.
class CZqlDDAParams : public CZqlDscSetBase<CZqlParameter> {
 public:
  CZqlDDAParams() = default;
  explicit CZqlDDAParams(int n) : CZqlDscSetBase(n) {}
  // A new set copying each parameter's name, nullability and descriptor;
  // values the set received are duplicated, values bound by the caller are
  // bound to the copy too (they stay the caller's). Raises 0xA008.
  CZqlDDAParams* duplicate() const override;

  // 1 packs full descriptions, 0 only the bound values. Without body the
  // setter does nothing.
  void setPackFlag(int flag) const;
  int PackFlag() const;
  int ValuesReceived() const;  // 1 once values were unpacked

  // Packed form: label 0 the count, label 1 the pack flag, then each
  // parameter's description (flag 1) or, per parameter with a bound value,
  // the value's data descriptor group at label 10 (flag 0). packTo answers
  // the pack's Size().
  unsigned int packSize() const override;
  int packTo(CZqlObjPack* pack) const override;
  // Flag 1 replaces the body by count (0..1000) described parameters. Flag
  // 0 requires a body (else 0xA013) of the same count and replaces each
  // parameter's bound value by the value read, which the set then owns.
  // Damage raises 0xA00C. Answers 1.
  int unpackFrom(CZqlObjPack* pack) override;
};

// The values of the current row, one output per result column.
class CZqlDDAOutput : public CZqlDscSetBase<CZqlOutput> {
 public:
  CZqlDDAOutput() = default;
  explicit CZqlDDAOutput(int n) : CZqlDscSetBase(n) {}
  // A new set with duplicates of the bound values, attached to the same
  // columns as this one. Raises 0xA008.
  CZqlDDAOutput* duplicate() const override;

  // Packed forms: label 0 the count, then each output's full form (packTo)
  // or value form (packValueTo). The readers require label 0 with this
  // set's own count (a set without body has count 0), else raise 0xA00C.
  unsigned int packSize() const override;
  int packTo(CZqlObjPack* pack) const override;
  int unpackFrom(CZqlObjPack* pack) override;
  unsigned int packValueSize() const override;
  int packValueTo(CZqlObjPack* pack) const override;
  int unpackValueFrom(CZqlObjPack* pack) override;

 private:
  int unpackAll(CZqlObjPack* pack, int values);
};

// ---------------------------------------------------------------------------
// The descriptor area
// ---------------------------------------------------------------------------

class CZqlDDA : public CZqlObject {
 public:
  // No body: getters answer 0 or empty; condition and descriptor
  // operations fail (0xA013 where they raise).
  CZqlDDA();
  CZqlDDA(const CZqlDDA& other);  // shares other's body
  CZqlDDA& operator=(const CZqlDDA& other);
  // Releases the body; the last handle discards conditions, strings and
  // descriptor sets.
  ~CZqlDDA() override;

  // Replaces the body by a new one with room for `capacity` conditions (a
  // value <= 0 or > 100 becomes 100). Answers 1; raises 0xA008 (the area
  // keeps its old body then).
  int Init(int capacity);
  // As Init(capacity), but a body that this handle alone holds, with that
  // capacity, is emptied and kept instead of replaced: for an area reused
  // request after request. Answers 1; raises as Init.
  int Renew(int capacity);
  // As above, but without condition records (capacity 0): the form an
  // unpacked reply gets when it arrives in an area without body.
  int Init();
  // Discards every condition (stack and working record) and makes room for
  // n (clamped as by Init). Answers 1, 0 without body; raises 0xA008 (the
  // area then keeps its old, flushed records).
  int SetCondQty(int n);
  // A new area, owned by the caller, with this one's capacity, plain fields
  // (not the error position), strings and duplicates of the descriptor
  // sets, but no conditions. Raises 0xA008.
  CZqlDDA* duplicate() const override;

  // Plain fields: setters answer 1, or 0 without body; getters answer the
  // field, or 0 without body.
  int setStmType(EZqlStatement type);
  EZqlStatement StmType() const;
  int setCmdStmType(EZqlStatement type);
  EZqlStatement CmdStmType() const;
  int setRowCount(int32_t count);
  int32_t RowCount() const;
  int setErrPos(int32_t pos);
  int32_t ErrPos() const;
  int setCsrState(EZqlBoolean state);
  EZqlBoolean CsrState() const;
  int setCsrUpd(EZqlBoolean updatable);
  EZqlBoolean CsrUpd() const;
  int isMore() const;            // 1 when conditions were dropped
  SZqlDiag* getDiagData() const { return body_; }
  // The caller's opaque pointer (not owned, not packed). The setter answers
  // 0 without body; the getter answers null then.
  int setUserConnectionData(void* data);
  void* getUserConnectionData() const;

  // Strings and status. Each answers 1, or 0 after an error it keeps to
  // itself (ZqlTryCode() names it): 0xA013 without body (setSUTable:
  // 0xA00B), 0xA00B for a null target, 0xA008. The getters give an empty
  // string for a name that is not set.
  int setNameOfDBMS(const CZqlUcStr& name);
  int getNameOfDBMS(CZqlUcStr* out) const;
  int setStatusOfDBMS(uint32_t status);
  int getStatusOfDBMS(uint32_t* out) const;  // kZqlDDANoStatus: not set
  int setSUTable(const CZqlUcStr& table);
  int getSUTable(CZqlUcStr* out) const;

  // Descriptor sets. These raise: 0xA013 without body (or, for the element
  // accessors, without the set), the sets' own codes otherwise. Elements
  // are valid until their set is replaced or the body released.
  // A new column set of n elements; the old one and the output set (which
  // points into the old columns) are released.
  int AllocColDsc(int n);
  // A new parameter set of n elements; the old one is released.
  int AllocParDsc(int n);
  CZqlColumn* ColDsc(int i) const;
  CZqlParameter* ParDsc(int i) const;
  CZqlOutput* OutDsc(int i) const;
  int ColCount() const;  // 0 when there is no column set
  int ParCount() const;  // 0 when there is no parameter set
  // Replaces the output set by one built from the columns. Answers 1.
  int CreateOutput();
  // The sets themselves, or null (no body or no set). Owned by the area.
  CZqlDDAColumns* Columns() const;
  CZqlDDAParams* Params() const;
  CZqlDDAOutput* Output() const;

  // Conditions. The setters fill the working record and answer 1, or 0
  // without body or records; like the getters they keep their errors to
  // themselves (0 / -1 / null / "" answered, ZqlTryCode() names it).
  int setErr(EZqlError code);
  int setErrMsg(const CZqlUcStr& msg);
  int setErrMsg(const unsigned short* msg);  // null: no effect, answers 0
  int setSQLSTATE(const char* state);        // 0xA00B for null
  // 21: the SQLSTATE; 22..33: appended under the item's key unless the key
  // is present (the first value stays; tabs in the value become blanks);
  // 34: the message; below 21: 0xA011; others: no effect.
  int setDiagPar(EZqlDiag item, const CZqlUcStr& value);
  int setDiagPar(EZqlDiag item, const unsigned short* value);
  int setDiagPar(EZqlDiag item, int32_t value);  // no effect, answers 1
  // Replaces the working record's whole diagnostic text.
  int setDiagMsg(const CZqlUcStr& text);
  int setDiagMsg(const unsigned short* text);
  int pushErr(EZqlError code);  // setErr(code), then PushCond()
  // Moves the working record onto the stack, filling in the SQLSTATE and
  // standard message of its code when missing. A full stack drops its
  // oldest condition and sets isMore. Answers 0 without body or records or
  // when the working record's code is 0.
  int PushCond();
  // PushCond(), then copies of other's conditions, oldest first (other may
  // be this area). Answers 0 for null other or missing bodies.
  int PushCond(const CZqlDDA* other);
  // Discards the stack and the working record; count and isMore become 0.
  // Answers 0 without body or records.
  int FlushCond();
  int CondCount() const;  // 0 without body
  // Condition i, counted from the most recent (0 = pushed last). Failures
  // (0xA013 no records, 0xA011 i out of range) give -1, null or "".
  int Err(int i) const;
  const CZqlUcStr* ErrMsg(int i) const;  // valid until the stack changes
  const char* SQLSTATE(int i) const;
  // Items 1 (position from the oldest), 2 and 3 (message length); others
  // and a null target: 0xA00B. Answers 1 or 0.
  int getDiagPar(int i, EZqlDiag item, int32_t* value) const;
  // Items 1-3 as decimal text, 21 the SQLSTATE, 22-33 the value under the
  // key (empty when absent), 34 the message (empty when none); other items
  // and a null target: 0xA00B. Answers 1 or 0.
  int getDiagPar(int i, EZqlDiag item, CZqlUcStr* value) const;

  // Packed form (nothing without body): version 0x101 at label 0, the
  // plain fields, strings, the condition block and the descriptor sets the
  // command calls for, then label 0xFFFF. packTo answers the pack's Size().
  unsigned int packSize() const override;
  int packTo(CZqlObjPack* pack) const override;
  // Reads a packed area into this one (giving it a body when it has none):
  // the condition block replaces the stack, the sets are replaced or filled.
  // Answers 1; raises 0xA00C for damaged data (fields read before the
  // damage keep their new values), 0xA008.
  int unpackFrom(CZqlObjPack* pack) override;

 private:
  void release() noexcept;
  SZqlDiag* need() const;              // the body, or raises 0xA013
  const SZqlCondition* reading(int i) const;  // raises 0xA013 / 0xA011
  int pushCopy(const SZqlCondition& from);
  void packCondTo(CZqlObjPack* pack) const;
  void packSetsTo(CZqlObjPack* pack) const;
  void unpackCondFrom(CZqlObjPack* pack);
  void unpackParams(CZqlObjPack* pack);
  void unpackItem(CZqlObjPack* pack, int label);

  SZqlDiag* body_;
};

ZQL_PUBLIC_END

#endif  // ZQL_ZQLDDA_H
