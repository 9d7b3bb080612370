// lispobj.h - the common base of the LISP binding's classes, the class and
// error codes of the binding, and the services a binding object asks of the
// module's root object.
//
// A binding object finds the root through the host's system registry (the
// entry "ZqlLisp_Class", accepted only when its runtime class derives from
// "CZqlLispRoot"). Everything the object reports goes to the root's
// diagnostics, and the temporary C strings it hands out come from the root's
// string cache. With no root registered, reporting does nothing and the
// operations still answer their failure values, so every class here also
// works (and is tested) on its own.
//
// Nothing in the binding raises: operations answer 1/0 (or a pointer/null)
// and push a binding error code onto the diagnostics.
#ifndef ZQL_LISPOBJ_H
#define ZQL_LISPOBJ_H

#include <cstdint>
#include <string>

#include "zqlsys.h"

class CZqlException;
class CZqlSQLObject;
class CZqlLispBuf;
class CZqlLispHandle;
class CZqlLispSQLObj;
class CZqlLispStrCash;

// The class code every binding object reports through lisA(); 0 stands for
// "any class" where a class is expected.
enum EZqlLispClassId : int {
  kZqlLispClsAny = 0,
  kZqlLispClsCollection = 1,
  kZqlLispClsPack = 2,
  kZqlLispClsDsc = 3,
  kZqlLispClsList = 4,
  kZqlLispClsBuf = 5,
  kZqlLispClsXmf = 6,
  kZqlLispClsStrCash = 7,
  kZqlLispClsDiag = 8,
  kZqlLispClsRow = 9,
  kZqlLispClsCol = 10,
  kZqlLispClsParm = 11,
  kZqlLispClsIdent = 12,
  kZqlLispClsSQLObj = 13,
  kZqlLispClsSession = 14,
  kZqlLispClsStm = 15,
  kZqlLispClsCsr = 16,
  kZqlLispClsHandle = 17,
  kZqlLispClsRoot = 18,
};

// The binding's own error codes. Their texts are set 1 of "zqllisp.xmx".
enum EZqlLispErrCodes : int {
  kZqlLispErrInternal = 1,         // an object lacks its data, wrong class
  kZqlLispErrNoMemory = 2,         // a node, page, block or object
  kZqlLispErrArgType = 3,          // argument of the wrong type, or empty
  kZqlLispErrArgInvalid = 4,       // invalid argument
  kZqlLispErrArgMissing = 5,       // too few arguments
  kZqlLispErrArgExtra = 6,         // too many arguments
  kZqlLispErrHandleClass = 7,      // handle of the wrong class
  kZqlLispErrItemType = 8,         // item of the wrong type for an accessor
  kZqlLispErrResultRefused = 9,    // the host refused the result
  kZqlLispErrHandleInvalid = 10,   // malformed or never-issued handle
  kZqlLispErrHandleReleased = 11,  // the handle's object no longer exists
  kZqlLispErrDiagItem = 12,        // unknown diagnostics item name
  kZqlLispErrCondNumber = 13,      // condition number out of range
  kZqlLispErrFeature = 14,         // feature number out of range
  kZqlLispErrCursorOption = 15,    // unknown cursor option
  kZqlLispErrFetchDirection = 16,  // unknown fetch direction
  kZqlLispErrParmNumber = 17,      // parameter/column number or name
  kZqlLispErrColumnName = 18,      // column name not found
  kZqlLispErrNoValues = 19,        // parameters without values
  kZqlLispErrTooManyValues = 20,   // more values than parameters
  kZqlLispErrValueMissing = 21,    // a value to bind is missing
};

// The registry key of the root object and the runtime class it must have.
constexpr const char* kZqlLispRegistryKey = "ZqlLisp_Class";
constexpr const char* kZqlLispRootClassName = "CZqlLispRoot";

// The diagnostics area as binding objects use it (CZqlLispDiag implements
// it). Operations never raise; each answers 0 (null, -1 for errFind) when it
// cannot do its work.
class CZqlLispDiagIf {
 public:
  virtual int errQty() = 0;    // number of conditions
  virtual int errClear() = 0;  // removes every condition; 1 on success
  // Copy the conditions of an exception or of a SQL object; 1 on success.
  // The source is borrowed for the call only.
  virtual int errPush(const CZqlException* e) = 0;
  virtual int errPush(const CZqlSQLObject* o) = 0;
  // Pushes a binding error; text null means the message of the code.
  virtual int errPush(EZqlLispErrCodes code, const char* text) = 0;
  // Set an item of the condition under construction.
  virtual int errSetParm(int item, const char* value) = 0;
  virtual int errSetParm(int item, int32_t value) = 0;
  // The value of an item of a condition as a new string-cache buffer
  // (the caller gives it back with freeBuf), or null.
  virtual char* errGetParm(int condition, int item) = 0;
  // The number of the first condition holding item (with value, when not
  // null), or -1.
  virtual int errFind(int item, const void* value) = 0;

 protected:
  ~CZqlLispDiagIf() = default;
};

// The binding's message file as binding objects use it (CZqlLispXmf).
class CZqlLispXmfIf {
 public:
  // Message `message` of set `set` (-1: set 1) as a new string-cache buffer
  // owned by the caller (freeBuf), or null. Never raises.
  virtual char* errMsg(int message, int set) = 0;

 protected:
  ~CZqlLispXmfIf() = default;
};

// What binding objects ask of the module's root object. CZqlLispRoot
// implements it (besides HvRxObject and CZqlLispObj); the pointers answered
// are owned by the root and live as long as it.
class CZqlLispRootIf {
 public:
  virtual CZqlLispDiagIf* getDiag() const = 0;
  virtual CZqlLispXmfIf* getXmf() const = 0;
  virtual CZqlLispStrCash* getStrCash() const = 0;
  // Issues the next handle for obj and enters the pair in the handle table.
  // Answers the new handle, or the null handle (0.0) when the table refused
  // the entry. The reference lives as long as the root.
  virtual CZqlLispHandle& newID(CZqlLispSQLObj* obj) = 0;
  // Removes handle from the handle table (nothing when it is not there).
  // Answers 1.
  virtual int delID(const CZqlLispHandle& handle) = 0;

 protected:
  // A root that goes is no longer answered by ZqlLispFindRoot unchecked.
  ~CZqlLispRootIf();
};

// Base of every binding class. Holds the root, found through the registry
// when the object is constructed and, while not found, looked up again at
// each use (objects the root creates during its own start-up exist before
// it is registered).
class CZqlLispObj {
 public:
  CZqlLispObj();
  CZqlLispObj(const CZqlLispObj& other);
  CZqlLispObj& operator=(const CZqlLispObj&) { return *this; }
  virtual ~CZqlLispObj();

  // The object's EZqlLispClassId.
  virtual EZqlLispClassId lisA() const = 0;
  // A new copy owned by the caller, or null (the base cannot copy).
  virtual CZqlLispObj* lclone() const;
  // Copies other's contents into this object; 1 on success. The base
  // answers 0.
  virtual int lcopyFrom(const CZqlLispObj* other);
  // The base compares identity: 1 for the same object, else 0.
  virtual int operator==(const CZqlLispObj& other) const;
  // Negative, zero or positive; the base orders by address.
  virtual int cmp(const CZqlLispObj* other) const;
  // Appends the object's LISP form to buf; 1 on success. The base answers 0.
  virtual int writeBuf(CZqlLispBuf* buf) const;
  // Append the dotted pair (key . value) as list begin, key, dot, value,
  // list end; 1 on success, 0 when buf is null or a node cannot be made.
  virtual int writeBufPair(CZqlLispBuf* buf, const char* key,
                           const char* value) const;
  virtual int writeBufPair(CZqlLispBuf* buf, int16_t code,
                           const char* value) const;
  virtual int writeBufPair(CZqlLispBuf* buf, int16_t code,
                           int16_t value) const;
  // Reads the object from buf's position and moves the position past it;
  // 1 on success. The base answers 0.
  virtual int readBuf(CZqlLispBuf* buf);

  // Forwards to the root's diagnostics; with no root each answers 0 (null,
  // -1 for errFind). Never raise.
  virtual int errQty() const;
  virtual int errClear() const;
  virtual int errPush(const CZqlException* e) const;
  virtual int errPush(const CZqlSQLObject* o) const;
  virtual int errPush(EZqlLispErrCodes code,
                      const char* text = nullptr) const;
  virtual int errSetParm(int item, const char* value) const;
  virtual int errSetParm(int item, int32_t value) const;
  virtual char* errGetParm(int condition, int item) const;
  virtual int errFind(int item, const void* value) const;
  // Forwards to the root's message file.
  virtual char* errMsg(int message, int set) const;

  // Forward to the root's string cache (see CZqlLispStrCash); with no root
  // allocBuf answers null and freeBuf only nulls *buf.
  virtual char* allocBuf(int32_t length) const;
  virtual void freeBuf(char** buf) const;

  // The root and its members, or null. Owned by the root.
  virtual CZqlLispRootIf* getRoot() const;
  virtual CZqlLispDiagIf* getDiag() const;
  virtual CZqlLispXmfIf* getXmf() const;
  virtual CZqlLispStrCash* getStrCash() const;

 private:
  mutable CZqlLispRootIf* root_;  // resolved lazily; null while unknown
};

// Looks up the registered root: the object stored under "ZqlLisp_Class"
// whose runtime class derives from "CZqlLispRoot". Null when there is none.
// Never raises.
CZqlLispRootIf* ZqlLispFindRoot();

// Converts a Unicode string to 8-bit text of the default character set,
// whatever its length. 1, or 0 when the conversion raised (out empty).
// Never raises.
class CZqlUcStr;
int ZqlLispText(const CZqlUcStr& text, std::string* out);

#endif  // ZQL_LISPOBJ_H
