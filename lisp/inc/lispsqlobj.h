// lispsqlobj.h - the base of the binding's SQL objects (sessions,
// statements, cursors) as far as their identity goes: object type, name and
// handle, and the handle's LISP form.
#ifndef ZQL_LISPSQLOBJ_H
#define ZQL_LISPSQLOBJ_H

#include <cstdint>

#include "lisphandle.h"

class CZqlColumn;
class CZqlData;
class CZqlLispIdent;
class CZqlLispList;
class CZqlLispParm;
class CZqlLispCol;
class CZqlLispRow;
class CZqlParameter;
class CZqlSQLObject;
class CZqlStm;

// The object-type names of the handle's LISP form.
constexpr const char* kZqlLispTypeSession = "SQLSESSION";
constexpr const char* kZqlLispTypeStatement = "SQLSTATEMENT";
constexpr const char* kZqlLispTypeCursor = "SQLCURSOR";

// A binding object that LISP code names by a handle, written as the list
// (TYPE VALUE), for example ("SQLSESSION" 3.0).
//
// An object is live from a successful init() (the root has entered its
// handle in the handle table) until its destructor (the handle leaves the
// table). The root's scratch object (of this class itself) reads handle
// lists; readBuf is refused on any other object.
class CZqlLispSQLObj : public CZqlLispObj {
 public:
  // name (null: the empty string) is copied into the string cache.
  explicit CZqlLispSQLObj(const char* name = nullptr);
  CZqlLispSQLObj(const CZqlLispSQLObj&) = delete;
  CZqlLispSQLObj& operator=(const CZqlLispSQLObj&) = delete;
  // Withdraws the handle init() obtained from the root's table (when there
  // is a root) and gives the name back to the cache.
  ~CZqlLispSQLObj() override;

  EZqlLispClassId lisA() const override { return kZqlLispClsSQLObj; }

  // Asks the root for a new handle for this object. 1 on success; 0 with
  // no root or when the root answered the null handle. Call it once.
  int init();

  // Sets the object type: "SQLSESSION", "SQLSTATEMENT" or "SQLCURSOR"
  // (exactly). Anything else, null included, pushes
  // kZqlLispErrHandleInvalid and answers 0 with the type unchanged.
  int setObjType(const char* type);
  // The type (one of the three names, static), or null until set.
  const char* getObjType() const { return type_; }
  // The name given at construction; "" when there is none. Valid as long
  // as the object.
  const char* getName() const { return name_ ? name_ : ""; }
  const CZqlLispHandle& ID() const { return handle_; }

  // Appends the handle list: list begin, the type, the handle value (a
  // real), list end. With no type set, pushes kZqlLispErrInternal and
  // answers 0.
  int writeBuf(CZqlLispBuf* buf) const override;
  // Reads a handle list at buf's position into this object (type and
  // handle) and moves the position past its list end; 1 on success. On an
  // object other than the scratch class: kZqlLispErrInternal. No list
  // begin, or no string after it: kZqlLispErrArgType. An unknown type, a
  // missing, non-numeric or negative value, or anything but the list end
  // after the value: kZqlLispErrHandleInvalid. On failure the type is
  // null.
  int readBuf(CZqlLispBuf* buf) override;

  // ---- The SQL side (sessions, statements, cursors override) --------------
  // The client object this binding object is; null on the scratch class.
  virtual CZqlSQLObject* sqlObject() const { return nullptr; }
  // Statement type, command type and row count of the last operation (the
  // client's EZqlStatement codes); the client's diagnostics are stored. The
  // base pushes kZqlLispErrInternal and answers 0.
  virtual int ZqlStmType();
  virtual int ZqlCmdType();
  virtual int32_t ZqlRowCount();
  // 1 when the driver reports any bit of mask for the object; the base
  // pushes kZqlLispErrInternal and answers 0.
  virtual int ZqlCheckOp(uint32_t mask);
  // Parameter and column counts and descriptors (owned by the client
  // object's area, valid until its next Prepare/Allocate/Deallocate).
  // Sessions and the base push kZqlLispErrInternal (0 / null).
  virtual int parQty();
  virtual int colQty();
  virtual CZqlParameter* getZqlPar(int i);
  virtual CZqlColumn* getZqlCol(int i);
  // Binds value (borrowed, must outlive the execution) to parameter i; a
  // null value pushes kZqlLispErrValueMissing. 1 or 0.
  virtual int bindZql(int i, CZqlData* value);

  // The names of ZqlStmType() / ZqlCmdType() in the type table (static
  // strings); "TYPE_UNDEFINED" for an unknown code or on the scratch class.
  const char* stmType();
  const char* cmdType();
  // New CZqlLispParm / CZqlLispCol (owned by the caller) for parameter or
  // column i (kZqlLispErrParmNumber out of range) or the first named name
  // (kZqlLispErrParmNumber / kZqlLispErrColumnName when none); null on
  // failure.
  CZqlLispParm* getParm(int i);
  CZqlLispParm* getParm(const CZqlLispIdent* name);
  CZqlLispCol* getCol(int i);
  CZqlLispCol* getCol(const CZqlLispIdent* name);
  // A new list (owned by the caller) of every parameter / column, or of
  // the selection at buf's position (a list of numbers and names, or a 2D
  // or 3D point of numbers; the position moves past it). Null on failure,
  // with the condition pushed.
  CZqlLispList* getParms();
  CZqlLispList* getCols();
  CZqlLispList* readParms(CZqlLispBuf* buf);
  CZqlLispList* readCols(CZqlLispBuf* buf);
  // bindZql(i, value i) for each column of row, stopping at the first
  // failure. 1 or 0.
  int bindParms(CZqlLispRow* row);
  // Keeps the rows whose values are bound as inputs and outputs (the
  // client borrows them) until the next keepRows or the object's end,
  // deleting the ones kept before. Either may be null.
  void keepRows(CZqlLispRow* in, CZqlLispRow* out);

 private:
  CZqlLispRow* keptIn_ = nullptr;   // owned
  CZqlLispRow* keptOut_ = nullptr;  // owned
  CZqlLispList* readSelection(CZqlLispBuf* buf, bool columns);

  const char* type_ = nullptr;  // one of the three static names
  char* name_ = nullptr;        // from the string cache
  CZqlLispHandle handle_;
  bool issued_ = false;  // handle_ came from the root's newID
};

// The SQL side shared by prepared statements and cursors: every call goes to
// the client statement stm() and stores its diagnostics.
class CZqlLispStmObj : public CZqlLispSQLObj {
 public:
  using CZqlLispSQLObj::CZqlLispSQLObj;

  // The client statement this object is (the derived class itself).
  virtual CZqlStm* stm() const = 0;

  CZqlSQLObject* sqlObject() const override;
  int ZqlStmType() override;
  int ZqlCmdType() override;
  int32_t ZqlRowCount() override;
  int ZqlCheckOp(uint32_t mask) override;
  int parQty() override;
  int colQty() override;  // 0 when the statement answers none
  CZqlParameter* getZqlPar(int i) override;
  CZqlColumn* getZqlCol(int i) override;
  int bindZql(int i, CZqlData* value) override;
};

#endif  // ZQL_LISPSQLOBJ_H
