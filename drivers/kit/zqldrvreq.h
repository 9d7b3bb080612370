// zqldrvreq.h - the request layer of a driver: CZqlDrvDecoder takes each
// packed request from the kit (CZqlDrvRawHandler), calls the matching
// operation of the driver's CZqlDriver and packs the reply the client
// expects: label 4 and the descriptor area, the request's result at label
// 11, then the return code at label 2 (so that the area's conditions reach
// the client together with an error).
//
// Descriptor areas. The decoder owns them and hands one to each call
// (borrowed for the call):
//   - Connect, Disconnect, the immediate executions, DeallocStm, Close,
//     Cancel and Status get a fresh area with the request's command type;
//   - Prepare gets a fresh area with statement type 0: the driver sets the
//     statement type and describes the parameters and result columns
//     (AllocParDsc, AllocColDsc); after success the decoder keeps it as the
//     statement's area;
//   - Execute gets the statement's area with the client's parameter values
//     bound to its parameters (ParDsc(i)->getBind);
//   - AllocCsr gets a copy of the statement's area with statement type
//     CURSOR, kept as the cursor's area after success;
//   - Open gets the cursor's area with the client's parameter values;
//   - Fetch gets the cursor's area with an output set made from its columns:
//     the driver stores the row into each output's bound value (OutDsc(i)->
//     getBind) and answers 0, or an error such as kZqlErrNoData0200.
// Kept areas have their conditions flushed before each call. After an
// error the reply carries the area's fields and conditions but none of its
// descriptor sets. An area is
// dropped with its statement (DeallocStm), its cursors, and on Disconnect
// with everything prepared on the connection.
//
// Errors. An operation answers 0 or an EZqlError code, or raises one
// (ZQL_RAISE); either way the reply carries the code at label 2 and the
// area with at least one condition. A malformed request is answered with
// kZqlErrInternalZQLError, a request for a statement or cursor the decoder
// does not know with kZqlErrInvalidSQLStatementName or
// kZqlErrInvalidCursorName (the driver is not called), a wrong protocol
// version with kZqlErrIncompatibleEnvironment. A reply that does not fit
// the data segment is replaced by one carrying condition and code
// kZqlErrErrorFoundInDBMSCommunication.
#ifndef ZQL_ZQLDRVREQ_H
#define ZQL_ZQLDRVREQ_H

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "zqldda.h"
#include "zqldrvkit.h"
#include "zqlident.h"
#include "zqlproto.h"

// What the client's Attach receives. values[0] comes back at label 5 of
// every later request.
struct SZqlDrvAttach {
  int32_t version = kZqlProtocolVersion;
  int32_t values[kZqlAttachValueCount] = {};  // labels 5 to 10
};

// The operations a driver implements. Areas and strings are borrowed for
// the call. Each answers 0 or an EZqlError code and may raise instead.
class CZqlDriver {
 public:
  virtual ~CZqlDriver() = default;

  // A client process attaches (once per connection) and detaches; *info
  // arrives with the defaults (protocol version, zero values).
  virtual void Attach(SZqlDrvAttach* info) { (void)info; }
  // values: labels 5 to 9 of the Detach request.
  virtual void Detach(const int32_t values[5]) { (void)values; }

  // Texts are empty when the client sent none. *connection receives the
  // driver's id of the new connection.
  virtual int32_t Connect(CZqlDDA* dda, const CZqlUcStr& target, const CZqlUcStr& user,
                          const CZqlUcStr& password, uint32_t* connection) = 0;
  // abort: end without committing.
  virtual int32_t Disconnect(CZqlDDA* dda, uint32_t connection, EZqlBoolean abort) = 0;
  virtual int32_t IExecute(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text) = 0;
  // A statement in the DBMS's own language; not supported unless overridden.
  virtual int32_t IExeNative(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text);
  virtual int32_t IExeInterDB(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text);
  // *statement receives the driver's id of the prepared statement.
  virtual int32_t Prepare(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text,
                          uint32_t* statement) = 0;
  virtual int32_t PrepareInterDB(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text,
                                 uint32_t* statement);
  virtual int32_t Execute(CZqlDDA* dda, uint32_t statement) = 0;
  virtual int32_t DeallocStm(CZqlDDA* dda, uint32_t statement) = 0;
  // name is empty when the client sent none. *cursor receives the driver's
  // id of the new cursor.
  virtual int32_t AllocCsr(CZqlDDA* dda, uint32_t statement, const CZqlIdent& name,
                           EZqlCurScr scr, EZqlCurSns sns, uint32_t* cursor) = 0;
  virtual int32_t Open(CZqlDDA* dda, uint32_t cursor) = 0;
  virtual int32_t Close(CZqlDDA* dda, uint32_t cursor) = 0;
  // offset accompanies the absolute and relative directions.
  virtual int32_t Fetch(CZqlDDA* dda, uint32_t cursor, EZqlDirection direction,
                        int32_t offset) = 0;
  virtual int32_t Cancel(CZqlDDA* dda, uint32_t connection);
  // Out of band: stop the request running for connection, if one is (the
  // request then fails with the driver's condition). Called on the kit's
  // interrupt thread while Serve may run on the main one: it must be
  // thread-safe, touch no area, not throw, and ignore unknown connections.
  // Does nothing by default.
  virtual void Interrupt(uint32_t connection) { (void)connection; }
  // id names a connection, statement or cursor of this driver (0 when the
  // client sent none); *value receives the answer.
  virtual int32_t Status(CZqlDDA* dda, uint32_t id, EZqlStatInfo info, uint32_t* value) = 0;
};

// Decodes requests for one driver. Single-threaded, like the kit.
class CZqlDrvDecoder : public CZqlDrvRawHandler {
 public:
  // driver is borrowed and must outlive the decoder; replies longer than
  // replyCapacity bytes (the kit's ReplyCapacity()) are refused.
  CZqlDrvDecoder(CZqlDriver* driver, uint32_t replyCapacity);
  ~CZqlDrvDecoder() override;
  CZqlDrvDecoder(const CZqlDrvDecoder&) = delete;
  CZqlDrvDecoder& operator=(const CZqlDrvDecoder&) = delete;

  // Serves one packed request. Answers 0 with the reply in *reply, or
  // kZqlErrErrorFoundInDBMSCommunication without one only when not even
  // the refusal of a too-large reply fits the segment. Never throws.
  int32_t Serve(const unsigned char* request, uint32_t size,
                std::vector<unsigned char>* reply) override;
  // Connections are noted with the client process and the Attach value
  // they were opened under. When that process is gone (ClientGone), or the
  // client's server record detaches without disconnecting them (Detach),
  // each is disconnected with abort set (its open transaction rolled back)
  // and dropped with its statements and cursors. Detach does that only
  // when the decoder numbers the server records: for a driver whose Attach
  // leaves values[0] at 0, it puts a number of its own there. A driver that
  // sets values[0] itself handles Detach itself.
  void Serving(int32_t clientPid) override { client_ = clientPid; }
  void ClientGone(int32_t pid) override;
  // Handed to the driver as it is (any thread).
  void Interrupt(uint32_t connection) override { driver_->Interrupt(connection); }

  // Label 5 of the request being served: the first value its client's
  // Attach received (0 for Attach itself and outside Serve).
  int32_t RequestInfo() const { return info_; }

  // Areas the decoder keeps (for tests of a driver).
  int StatementCount() const { return static_cast<int>(statements_.size()); }
  int CursorCount() const { return static_cast<int>(cursors_.size()); }

 private:
  struct SKept {
    std::unique_ptr<CZqlDDA> area;
    uint32_t owner;  // a statement's connection, a cursor's statement
  };
  struct SRequest;
  struct SReply;

  void decode(CZqlObjPack* in, SReply* out);
  void dispatch(const SRequest& req, CZqlObjPack* in, SReply* out);
  void connect(const SRequest& req, SReply* out);
  void prepare(const SRequest& req, SReply* out);
  void execute(const SRequest& req, CZqlObjPack* in, SReply* out);
  void allocCursor(const SRequest& req, SReply* out);
  void openCursor(const SRequest& req, CZqlObjPack* in, SReply* out);
  void fetch(const SRequest& req, SReply* out);
  void status(const SRequest& req, SReply* out);
  void simple(const SRequest& req, SReply* out);
  CZqlDDA* fresh(EZqlStatement command);
  CZqlDDA* kept(std::map<uint32_t, SKept>* from, uint32_t id, EZqlStatement command);
  void dropStatement(uint32_t statement);
  void dropConnection(uint32_t connection);
  template <class Pred>
  void abandon(Pred owned);
  bool emit(const SReply& r, std::vector<unsigned char>* reply);

  CZqlDriver* driver_;
  uint32_t capacity_;
  std::unique_ptr<unsigned char[]> room_;  // capacity_ bytes: replies are packed here
  int32_t info_ = 0;  // label 5 of the request being served
  CZqlDDA scratch_;  // the fresh area of the request being served
  std::unique_ptr<CZqlDDA> failed_;  // the area of a failed Prepare or AllocCsr
  std::map<uint32_t, SKept> statements_;
  std::map<uint32_t, SKept> cursors_;
  struct SOwner {
    int32_t pid;     // client process; 0 when unknown
    int32_t attach;  // Attach value of its server record; 0 when unknown
  };
  std::map<uint32_t, SOwner> owners_;  // by connection
  int32_t client_ = 0;                 // client of the request being served
  int32_t nextAttach_ = 1;             // for drivers that give none
  bool numbering_ = false;             // nextAttach_ is in use
};

#endif  // ZQL_ZQLDRVREQ_H
