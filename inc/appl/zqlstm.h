// zqlstm.h - statements and cursors: the dynamic-SQL life cycle of one
// statement on a session (prepare, describe, bind, execute, deallocate),
// immediate execution, and cursors over a prepared cursor specification
// with fetches in six directions and positioned DELETE and UPDATE.
//
// Operations follow the rules of zqlsql.h: each runs in its own frame and
// answers its failure value with at least one condition in the object's
// area. Parameters and columns are numbered from 0.
#ifndef ZQL_ZQLSTM_H
#define ZQL_ZQLSTM_H

#include <cstdint>
#include <vector>

#include "zqlsql.h"

ZQL_PUBLIC_BEGIN

// Cursor options (EZqlCurScr, EZqlCurSns), fetch directions (EZqlDirection)
// and status items (EZqlStatInfo) come from zqlproto.h; the driver receives
// them unchanged.

// The code of a current-value read into a host variable while output
// bindings exist (SQLSTATE 07011); it has no message of its own.
constexpr EZqlError kZqlErrCvlWithOutputBindings = static_cast<EZqlError>(0x070B);
// Implementation-defined values whose type number is at least this one have
// no raw bytes that Read or Size could give.
constexpr int kZqlImplTypeNoRaw = 4000;

// Moves the conditions of `from` into `to`: when from holds any condition,
// to's conditions are discarded and the two areas exchange their condition
// stores, so that to holds from's conditions and from an empty store. With
// no condition in from nothing changes. 1 when moved, 0 otherwise (also for
// a null area). Never raises.
int ZqlConditionsFromDDA(CZqlDDA* from, CZqlDDA* to);

// ---------------------------------------------------------------------------
// CZqlStm
// ---------------------------------------------------------------------------

// What statements and cursors share: the descriptions in the area and the
// bindings of parameters (inputs) and result columns (outputs). Every
// operation of this class first clears the area's conditions (isInit).
class CZqlStm : public CZqlSQLObject {
 public:
  CZqlStm();  // no bindings
  // Destroys both binding sets (the area's parameters are unbound first).
  ~CZqlStm() override;

  // Number of dynamic parameters (0 on failure) and parameter i's
  // description (owned by the area, valid until the next Prepare, Allocate
  // or Deallocate; null on failure).
  int ParamQty() const;
  CZqlParameter* ParamDsc(int i) const;

  // Binds parameter i to value (borrowed: it must outlive the binding and
  // stay as it is until the executions that use it are done). 1, or 0:
  // 0x709 unless 0 <= i < ParamQty(), 0xA00B for a null value, 0x3707 when
  // the value cannot become the parameter's type.
  virtual int Bind(int i, CZqlData* value);
  // Binds parameter i to a host variable: buffer (length bytes, or units
  // for kZqlHostUcChar) and indicator are borrowed as above and read at
  // each execution. Errors as above.
  virtual int Bind(int i, void* buffer, int16_t* indicator, int32_t length,
                   EZqlHostType type);
  // Binds every parameter named name; 0x709 when none is.
  virtual int Bind(const CZqlIdent& name, CZqlData* value);
  virtual int Bind(const CZqlIdent& name, void* buffer, int16_t* indicator,
                   int32_t length, EZqlHostType type);
  // Raw bytes of result column i's current value: at most count bytes from
  // byte start into buffer; answers the bytes copied. Failures (0x709 for
  // an index, 0x2600 or 0x3400 for an object without its id) are raised
  // again as codes and answer 0.
  virtual long Read(int i, char* buffer, long start, long count) const = 0;
  // Byte size of result column i's current value; failures as Read.
  virtual long Size(int i) const = 0;

  // Number of result columns (-1 on failure) and column i's description
  // (owned by the area, valid as ParamDsc's; null on failure, 0x709 for a
  // bad index).
  int ColQty() const;
  CZqlColumn* ColDsc(int i) const;
  // Sets the output binding of column i: each row the statement or cursor
  // delivers is stored into target (borrowed) or written into the host
  // variable. 1, or 0 (0x709, 0xA00B, 0x3707 as for Bind).
  int Sob(int i, CZqlData* target);
  int Sob(int i, void* buffer, int16_t* indicator, int32_t length,
          EZqlHostType type);
  // Copies the current value of result column i into target: 1, or 0
  // (0x709, 0x0200 when the column holds no value, 0x3707 when it does not
  // convert).
  int Cvl(int i, CZqlData* target);
  // Writes the current value of column i into a host variable: the host
  // link's answer (1 on success), or 0; refused with
  // kZqlErrCvlWithOutputBindings while output bindings exist.
  int Cvl(int i, void* buffer, int16_t* indicator, int32_t length,
          EZqlHostType type);
  // As Cvl(int, CZqlData*) without clearing the conditions; 0 without a
  // value. Failures are raised again as codes (answering 0).
  int CvlInt(int i, CZqlData* target) const;
  // Readies the input bindings for an execution: when any parameter was
  // bound, all must be (0x704) and their values must convert (0x701).
  // 1, or 0 with the failure raised again as its code.
  int pInput();

 protected:
  // Drop the binding sets; the area's parameters are unbound first, so
  // that none keeps a value the input links owned.
  void dropBindings() noexcept;
  void dropInputs() noexcept;
  void dropOutputs() noexcept;
  // After the area's parameters were described anew: binds them to the
  // values of the input links again, or drops links that no longer fit.
  void rebindInputs();
  // The current value of column i for Read and Size: raises 0x709 for a
  // bad index and `missing` when id is 0 or there is no dispatcher client;
  // null when there is no value or it has no raw bytes.
  const CZqlData* rawValue(int i, uint32_t id, EZqlError missing) const;
  // The value the area holds for column i (borrowed: valid until the
  // area changes), or null when it holds none. Raises 0x709 for a bad index.
  CZqlData* currentValue(int i) const;
  // Stores column i's current value into target; false when the area holds
  // none. REQUIRES: inside a protected scope; raises 0x709 for a bad index
  // and kZqlErrDataTypesMismatch when target refuses the value.
  bool storeCurrent(int i, CZqlData* target) const;
  // The delivered row into the output bindings (when there are any).
  // Raises when a value is missing or a binding refused its value.
  void deliverRow() const;

  CZqlHostBind* inputs;   // owned; null until the first Bind
  CZqlHostBind* outputs;  // owned; null until the first Sob

 private:
  template <class Link>
  int bindAt(int i, Link&& link);
  template <class Link>
  int bindNamed(const CZqlIdent& name, Link&& link);
  template <class Link>
  int sobAt(int i, Link&& link);
};

// ---------------------------------------------------------------------------
// CZqlExecStm and its kinds
// ---------------------------------------------------------------------------

// An ordinary statement.
class CZqlExecStm : public CZqlStm {
 public:
  CZqlExecStm();  // unprepared
  // Deallocates a prepared statement (failures ignored).
  ~CZqlExecStm() override;
  CZqlObject* duplicate() const override { return nullptr; }

  // Prepares text on session's connection (session borrowed for the call);
  // the area then describes the statement (type, parameters, columns) and
  // the old bindings are gone. 1, or 0: 0x803 without a connected session,
  // the driver's conditions otherwise.
  virtual int Prepare(CZqlSession* session, const CZqlUcStr& text);
  // Ends the prepared statement and its cursors on the driver. The
  // bindings stay until the next Prepare. 1, or 0 (0x2600 when none).
  virtual int Deallocate();
  // Executes the prepared statement with its input bindings. A SELECT must
  // have every column bound (0x707, nothing sent); its row goes into the
  // output bindings. The dispatcher's answer (1), or 0: 0x2600 when not
  // prepared, 0x704 or 0x701 from the inputs.
  virtual int Execute();
  // Executes text at once on session's connection; leaves the prepared
  // statement and its bindings alone. 1, or 0 (0x2600 without a session).
  virtual int ImmediateExecute(CZqlSession* session, const CZqlUcStr& text);

  // The CZqlStm forms; a cursor specification (statement type 18) takes no
  // parameters here (0x701): its cursor binds them.
  int Bind(int i, CZqlData* value) override;
  int Bind(int i, void* buffer, int16_t* indicator, int32_t length,
           EZqlHostType type) override;
  int Bind(const CZqlIdent& name, CZqlData* value) override;
  int Bind(const CZqlIdent& name, void* buffer, int16_t* indicator, int32_t length,
           EZqlHostType type) override;
  long Read(int i, char* buffer, long start, long count) const override;
  long Size(int i) const override;

  // The statement type the driver gave the last successful Prepare
  // (kZqlStmUndefined when nothing is prepared). Unlike StmType(), later
  // operations on the object (an ImmediateExecute, a reply without a type)
  // leave it alone; Execute and Bind decide by it.
  EZqlStatement PreparedType() const { return prepared_; }

 protected:
  int prepare(CZqlSession* session, const CZqlUcStr& text, bool interDB);
  int immediate(CZqlSession* session, const CZqlUcStr& text, int kind);

 private:
  template <class Call>
  int bindChecked(Call&& call);

  EZqlStatement prepared_;  // type of the prepared statement
};

// A statement in the DBMS's own language: it can only be executed at once.
class CZqlNativeStm : public CZqlExecStm {
 public:
  // 0 with 0xA018 left in the area; nothing is sent.
  int Prepare(CZqlSession* session, const CZqlUcStr& text) override;
  // 0 with 0xA019 left in the area; nothing is sent.
  int Execute() override;
  // Sends text as a native statement: 1, or 0.
  int ImmediateExecute(CZqlSession* session, const CZqlUcStr& text) override;
};

// An inter-database statement, prepared and executed at once through the
// requests reserved for it.
class CZqlInterDBStm : public CZqlExecStm {
 public:
  int Prepare(CZqlSession* session, const CZqlUcStr& text) override;
  int ImmediateExecute(CZqlSession* session, const CZqlUcStr& text) override;
};

// ---------------------------------------------------------------------------
// CZqlCsr
// ---------------------------------------------------------------------------

// A cursor over a prepared cursor specification. The driver keeps its
// state (open, position); the object keeps its own open flag. Operations
// that need the cursor's id fail with 0x3400 before Allocate.
class CZqlCsr : public CZqlStm {
 public:
  CZqlCsr();  // unnamed, not allocated, not open
  // Closes an open cursor (failures ignored).
  ~CZqlCsr() override;
  CZqlObject* duplicate() const override { return nullptr; }

  // Allocates the cursor name on stm's prepared statement (stm borrowed
  // for the call); the area then describes the cursor's columns. Another
  // statement than before drops the output bindings. 1, or 0: 0x2600 for a
  // null or unprepared stm, the driver's conditions otherwise.
  int Allocate(CZqlExecStm* stm, const CZqlIdent& name, EZqlCurScr scr, EZqlCurSns sns);
  // Opens with the input bindings (see pInput); partly bound outputs are
  // 0x707. 1 or 0.
  int Open();
  int Close();  // 1 or 0
  // Fetch the next, prior, first or last row, the row at absolute position
  // n or n rows on (negative: back). The row lands in the area and the
  // output bindings. 1, or 0 with the driver's conditions (0x0200 "no data"
  // beyond either end, 0x2402 closed, 0x2403 a non-scroll cursor).
  int Fetch();
  int FetchPrior();
  int FetchFirst();
  int FetchLast();
  int FetchAbsolute(int32_t n);
  int FetchRelative(int32_t n);
  // A copy of the result columns holding the current row, owned by the
  // caller; null with no condition when the cursor is not open, null with
  // 0x2402 when the driver has it closed, 0x2405 when it is on no row.
  CZqlRow* getCurrentRow() const;
  // The same copy of the row that the last Fetch delivered, without asking
  // the driver where the cursor is (getCurrentRow asks it twice): for a
  // caller that reads the row at once after a Fetch that answered 1.
  // Null with 0x2405 after any other call; may fail with 0xA008.
  CZqlRow* getFetchedRow() const;
  // The values that the last Fetch delivered, borrowed from the area (valid
  // until the next call on the cursor), in *out, for a caller that reads
  // them at once instead of copying the row: 1 when each value already has
  // its column's described class and size (or is null), so that
  // getFetchedRow's copy would hold the same values. 0, *out unspecified,
  // when one would be converted or after any other call: getFetchedRow
  // then gives the converted copy or the failure. Never raises.
  int getFetchedValues(std::vector<const CZqlData*>* out) const;
  // Positioned DELETE / UPDATE of the current row, sent as SQL text:
  // "DELETE [FROM t] WHERE CURRENT OF c", "UPDATE t SET A=5,B=NULL WHERE
  // CURRENT OF c" with one assignment per column of row (borrowed for the
  // call) that has a value; t is the updatable table the driver named. The
  // statement's conditions replace the cursor's; its column descriptions
  // stay. The driver's answer (1), or 0 (0xA00B for a null row, 0xA00D for
  // a value that has no SQL literal; nothing is sent then).
  int Delete();
  int Update(const CZqlRow& row);
  int Update(const CZqlRow* row);
  // Status items of the cursor as the driver answers them: updatable
  // (item 6), scrollable (item 4 is 1), insensitive (item 3 is 1), open
  // (item 2). 0 on failure. position() answers item 5 (4: on a row), 1 on
  // failure.
  int is_updatable();
  int is_scrollable();
  int is_insensitive();
  int is_open();
  int position();
  long Read(int i, char* buffer, long start, long count) const override;
  long Size(int i) const override;

  const CZqlIdent& Name() const { return name; }
  int isOpen() const { return open; }

 protected:
  CZqlIdent name;             // the cursor name
  int open;                   // 1 between a successful Open and Close
  EZqlCurScr scrollability;   // as given to Allocate
  EZqlCurSns sensitivity;     // as given to Allocate
  // The area holds the row of a Fetch that answered 1 and no call on the
  // cursor came after it (getFetchedRow may copy it, getFetchedValues
  // hand it out).
  mutable bool fetched_ = false;

 private:
  // REQUIRES: inside a protected scope of this cursor; raises.
  CZqlRow* copyRow() const;
  void needCursor() const;
  int fetch(EZqlDirection direction, int32_t offset);
  uint32_t status(EZqlStatInfo item) const;
  int positioned(const CZqlUcStr& text);
  void tableOf(CZqlUcStr* out) const;
};

ZQL_PUBLIC_END

#endif  // ZQL_ZQLSTM_H
