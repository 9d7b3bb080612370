// ipclink.h - the client side of the driver link as the request layer sees
// it: the IPC system that finds and starts drivers, and the server objects
// that carry one packed request to a driver and bring its reply back.
//
// A CZqlServer is a handle on a shared, reference-counted record
// (SZqlServer, uxlink.h). Copies and duplicate() share the record and thus
// one driver connection; the last holder closes the connection.
// CZqlSrvUxLocal is the transport to a local driver process (uxlink.h),
// whose status values become raises here, once.
//
// Raising: the operations marked "raises" run their work in a frame of
// their own and hand a failure on with ZQL_PASS_ON: into the caller's frame
// or exception handler, or, with neither open, as the failure result named
// in the contract. Constructors never raise.
#ifndef ZQL_IPCLINK_H
#define ZQL_IPCLINK_H

#include <cstdint>

#include "uxlink.h"
#include "zqlclass.h"
#include "zqlproto.h"

class CZqlServer;
class CZqlObjPack;
class CZqlIdent;

// Hands the failure code of a public operation to its caller once the
// operation's own frame has closed: raised into the caller's frame or
// exception handler when one is open, else answered as 0, so that a caller
// outside every frame gets a failure result instead of a crash. Only entry
// points use it; code inside a frame raises with ZQL_RAISE.
#define ZQL_PASS_ON(code) ZqlTryThrow((code), __LINE__, __FILE__)

// Handles one reply item that is not a request's own result: label 2 (the
// request's outcome: one that is not 0 is raised at once), label 4 (the
// driver's descriptor area follows and is unpacked into dda, or read past
// when dda is null); other labels are ignored. REQUIRES: label is the label
// of the pack's current item; a frame is open. Answers 1. Raises the
// outcome, kZqlErrInternalZQLError for an outcome without a 4-byte payload,
// and the unpacking's errors.
int ZqlUnpackDDAandRetCode(int label, CZqlObjPack* pack, CZqlDDA* dda);

// Body of a CZqlIpcSystem, shared by its copies.
struct SZqlIpcSys {
  int32_t refCount;
  int32_t words[2];  // reserved
};

// Finds and starts the driver of an environment. Copies share the body.
class CZqlIpcSystem : public CZqlObject {
 public:
  // A body with count 1; without memory the system has none (then
  // ConnectServer and ConnectDriver fail with kZqlErrInsufficientMemory).
  CZqlIpcSystem();
  CZqlIpcSystem(const CZqlIpcSystem& other);  // shares other's body
  CZqlIpcSystem& operator=(const CZqlIpcSystem& other);
  ~CZqlIpcSystem() override;
  // A new system with a body of its own (null when out of memory).
  CZqlObject* duplicate() const override;
  SZqlIpcSys* SysBody() const { return body_; }

  // Connects to the driver of environment: its "Driver" entry in zql.ini
  // names the driver's section, whose "Path" names the executable (looked
  // up with CZqlDirMisc::Find, as is zql.ini itself). Answers a new server
  // owned by the caller, loaded and attached (ConnectDriver). Raises
  // kZqlErrInsufficientMemory without a body;
  // kZqlErrEnvironmentNameNotSpecifiedInZQLINI for an environment not in
  // zql.ini; kZqlErrDriverNotFoundInZQLINI without a Driver entry;
  // kZqlErrDriverPathAndNameWasNotSpecified without a Path or with an empty
  // one; kZqlErrCannotOpenZQLDriverFile when the executable or zql.ini is
  // not found; errors of the configuration reader and of ConnectDriver
  // (null when handed on to no frame). Blocks while a driver starts.
  CZqlServer* ConnectServer(const CZqlUcStr& environment);

  // Connects to the driver at driverPath for the zql.ini at iniPath (full
  // paths): a new CZqlSrvUxLocal that the caller owns, named baseName (the
  // driver path's file name when null), loaded (ZqlLoadServerOnUnix) and
  // attached (Attach). Raises kZqlErrInsufficientMemory without a body, and
  // every error of loading and attaching; nothing is left behind then
  // (null when handed on to no frame).
  CZqlServer* ConnectDriver(const char* iniPath, const char* driverPath,
                            const char* baseName = nullptr);

 private:
  SZqlIpcSys* body_;
};

// Abstract transport to one driver, with the requests built on it.
class CZqlServer : public CZqlObject {
 public:
  // A record with count 1, slot -1; without memory the server has none
  // (its operations fail with kZqlErrInternalZQLError).
  CZqlServer();
  CZqlServer(const CZqlServer& other);  // shares other's record
  CZqlServer& operator=(const CZqlServer& other);
  // The last holder closes the driver connection (ZqlDisconServerOnUnix,
  // errors ignored) and frees the record.
  ~CZqlServer() override;
  // The record, or null.
  SZqlServer* ServerBody() const { return record_; }
  // The interrupt target of the driver's connection `connection` on this
  // server's slot (slot -1 when the server has no slot).
  SZqlInterrupt InterruptOf(uint32_t connection) const;

  // Requests. Each packs one request (the common header, then its fields),
  // sends it, waits for the reply and reads the reply into dda (the
  // caller's area, borrowed for the call; may be null). They raise every
  // transport error, a non-zero outcome of the reply, and
  // kZqlErrInternalZQLError for a malformed reply (answering 0 when handed
  // on to no frame); the request and reply buffers are released on every
  // path. Ids and the other numbers travel as 32-bit values. They block
  // while the driver works.
  //
  // Connect: target, user and password each go only when not empty.
  // Answers the driver's connection id (0 when the reply names none).
  virtual uint32_t Connect(CZqlDDA* dda, const CZqlUcStr& target, const CZqlUcStr& user,
                           const CZqlUcStr& password);
  virtual int Disconnect(CZqlDDA* dda, uint32_t connection, EZqlBoolean abort);
  // Immediate execution of text (sent when not empty) on connection.
  virtual int IExecute(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text);
  virtual int IExeNative(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text);
  virtual int IExeInterDB(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text);
  // Answer the driver's statement id (0 when the reply names none).
  virtual uint32_t Prepare(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text);
  virtual uint32_t PrepareInterDB(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text);
  // Sends dda's packed form with the statement id (dda must not be null:
  // kZqlErrInvalidFunctionArguments).
  virtual int Execute(CZqlDDA* dda, uint32_t statement);
  virtual int DeallocStm(CZqlDDA* dda, uint32_t statement);
  // The name goes when it has a length. Answers the driver's cursor id (0
  // when the reply names none).
  virtual uint32_t AllocCsr(CZqlDDA* dda, uint32_t statement, const CZqlIdent& name,
                            EZqlCurScr scr, EZqlCurSns sns);
  // Sends dda's packed form with the cursor id (null dda:
  // kZqlErrInvalidFunctionArguments).
  virtual int Open(CZqlDDA* dda, uint32_t cursor);
  virtual int Close(CZqlDDA* dda, uint32_t cursor);
  virtual int Fetch(CZqlDDA* dda, uint32_t cursor, EZqlDirection direction, int32_t offset);
  virtual int Cancel(CZqlDDA* dda, uint32_t connection);
  // Answers the driver's value (0 when the reply names none).
  virtual uint32_t Status(CZqlDDA* dda, uint32_t id, EZqlStatInfo info);

  // The transport. REQUIRES for all but Detach: a frame is open (the
  // request methods open one).
  //
  // Handshake with the driver (request code 0). Raises on failure.
  virtual int Attach() = 0;
  // Farewell to the driver (request code 1). Answers 1, or 0 on failure;
  // never raises.
  virtual int Detach() = 0;
  // A request buffer of size bytes, owned by the record (replacing an
  // earlier one) and valid until closeOut or the next openOut. Raises.
  virtual unsigned char* openOut(uint32_t size) = 0;
  virtual void closeOut() = 0;
  // The request buffer kept from earlier requests and its room in *room,
  // for packing a request in one pass; openOut of a size within the room
  // then answers the same buffer with its bytes as they are. Null (room 0)
  // for a transport that keeps none: the request is sized first.
  virtual unsigned char* keptOut(uint32_t* room) {
    *room = 0;
    return nullptr;
  }
  // The reply of the last request (ServerBody()->size bytes), valid until
  // closeIn or the next request. Raises kZqlErrInsufficientMemory when
  // there is none.
  virtual unsigned char* openIn() = 0;
  virtual void closeIn() = 0;
  // Adds the items every request carries (label 5). Raises.
  virtual int addInfo(CZqlObjPack* pack) const = 0;
  // Sends the request buffer. Raises.
  virtual int sendData() = 0;
  // Waits for the reply. Raises.
  virtual int waitData() = 0;

 protected:
  // The record; raises kZqlErrInternalZQLError when there is none.
  // REQUIRES: a frame is open.
  SZqlServer* record() const;
  // 1 when this is the record's last holder.
  bool lastHolder() const { return record_ != nullptr && record_->refCount == 1; }

 private:
  void release() noexcept;
  SZqlServer* record_;
};

// The transport to a local driver process.
class CZqlSrvUxLocal : public CZqlServer {
 public:
  CZqlSrvUxLocal() = default;
  CZqlSrvUxLocal(const CZqlSrvUxLocal& other) = default;  // shares the record
  CZqlSrvUxLocal& operator=(const CZqlSrvUxLocal& other) = default;
  // The last holder frees both buffers and detaches from the driver before
  // the connection is closed.
  ~CZqlSrvUxLocal() override;
  // A new server sharing this one's record (the same driver connection);
  // null when out of memory.
  CZqlObject* duplicate() const override;

  // Sends label 0 long kZqlProtocolVersion and label 3 long 0 and stores
  // the reply's labels 5 to 10 in the record. Raises
  // kZqlErrInternalZQLError when label 0 or one of labels 5 to 10 is
  // missing, kZqlErrIncompatibleEnvironment when label 0 is not
  // kZqlProtocolVersion, and every transport error.
  int Attach() override;
  // Sends label 0 long kZqlProtocolVersion, label 3 long 1, labels 5 to 7
  // with the Attach values of labels 5 to 7, label 8 with that of 9 and
  // label 9 with that of 10; does not read the reply. Answers 1, or 0
  // (request buffer freed) on an error, which is not raised.
  int Detach() override;
  // Both buffers are kept by the record across requests and only grow:
  // openOut reuses the request buffer when it has the room, closeOut and
  // closeIn keep theirs, and the record's last holder frees them.
  unsigned char* openOut(uint32_t size) override;
  void closeOut() override;
  unsigned char* keptOut(uint32_t* room) override;
  unsigned char* openIn() override;
  void closeIn() override;
  // Label 5, long: the first Attach value.
  int addInfo(CZqlObjPack* pack) const override;
  // ZqlSendDataToServer, its failure raised: synchronous, the reply is in
  // place when it returns.
  int sendData() override;
  int waitData() override;  // answers 1
};

#endif  // ZQL_IPCLINK_H
