// The IPC system and the server objects: reference-counted handles on a
// driver connection, the transport of one request to a local driver, and
// the requests themselves (packed once into the request buffer that the
// record keeps across requests, a second time only when it has to grow;
// the reply read back into the caller's descriptor area).
//
// The transport answers status values; the failures are raised here, once.
// Teardown paths (destructors, Detach) raise nothing: a raise there would
// replace the error that is being reported.

#include <algorithm>
#include <cstring>
#include <memory>

#include "ipclink.h"
#include "objpack.h"
#include "zqlconf.h"
#include "zqldda.h"
#include "zqlident.h"
#include "zqlio.h"

namespace {

void PackAttach(CZqlObjPack* pack) {
  pack->add(kZqlReqLabelVersion, kZqlProtocolVersion);
  pack->add(kZqlReqLabelCode, int32_t{kZqlReqAttach});
}

// Labels 5 to 7 carry the Attach values of 5 to 7, labels 8 and 9 those of
// 9 and 10.
void PackDetach(CZqlObjPack* pack, const SZqlServer& r) {
  pack->add(kZqlReqLabelVersion, kZqlProtocolVersion);
  pack->add(kZqlReqLabelCode, int32_t{kZqlReqDetach});
  pack->add(5, r.attach[0]);
  pack->add(6, r.attach[1]);
  pack->add(7, r.attach[2]);
  pack->add(8, r.attach[4]);
  pack->add(9, r.attach[5]);
}

// The 4-byte value of label in the reply; raises kZqlErrInternalZQLError
// when it is missing.
int32_t ReplyValue(CZqlObjPack* reply, int label) {
  int32_t value = 0;
  if (!reply->setActive(label) || !reply->getPackedValue(&value)) ZQL_RAISE(kZqlErrInternalZQLError);
  return value;
}

void CopyBaseName(char* out, const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* base = slash != nullptr ? slash + 1 : path;
  const std::size_t n = std::min(std::strlen(base), sizeof(SZqlServer::baseName) - 1);
  std::memcpy(out, base, n);
  out[n] = '\0';
}

// Releases one reference to body and frees it at count 0. Null is ignored.
void ReleaseSysBody(SZqlIpcSys* body) {
  if (body != nullptr && --body->refCount <= 0) ZqlMemoryNblkFree(body);
}

// The paths and name of an environment's driver, as zql.ini gives them.
struct SZqlDriverPaths {
  char ini[kZqlMaxPath];
  char driver[kZqlMaxPath];
  char baseName[sizeof(SZqlServer::baseName)];
};

// Resolves environment -> Driver -> Path -> full paths. Raises.
void ResolveDriver(const CZqlUcStr& environment, SZqlDriverPaths* out) {
  CZqlConfig config;
  if (config.openCfgFile(environment) < 0) ZQL_RAISE(kZqlErrEnvironmentNameNotSpecifiedInZQLINI);
  // The key names are made first: a converting constructor that ran out of
  // memory would otherwise read as a missing entry.
  const CZqlUcStr driverKey("Driver"), pathKey("Path");
  if (driverKey.Length() == 0 || pathKey.Length() == 0) ZQL_RAISE(kZqlErrInsufficientMemory);
  CZqlUcStr driver;
  if (!config.readCfgString(environment, driverKey, &driver) || driver.Length() == 0)
    ZQL_RAISE(kZqlErrDriverNotFoundInZQLINI);
  CZqlUcStr path;
  if (!config.readCfgString(driver, pathKey, &path) || path.Length() == 0)
    ZQL_RAISE(kZqlErrDriverPathAndNameWasNotSpecified);
  char configured[kZqlMaxPath];
  path.getToChar(configured, sizeof configured);
  CopyBaseName(out->baseName, configured);
  CZqlDirMisc dir;
  if (!dir.Find(configured, out->driver, kZqlMaxPath)) ZQL_RAISE(kZqlErrCannotOpenZQLDriverFile);
  if (!dir.Find("zql.ini", out->ini, kZqlMaxPath)) ZQL_RAISE(kZqlErrCannotOpenZQLDriverFile);
}

}  // namespace

// ---------------------------------------------------------------------------
// CZqlIpcSystem
// ---------------------------------------------------------------------------

CZqlIpcSystem::CZqlIpcSystem()
    : body_(static_cast<SZqlIpcSys*>(ZqlMemoryNblkMalloc(sizeof(SZqlIpcSys)))) {
  if (body_ != nullptr) body_->refCount = 1;
}

CZqlIpcSystem::CZqlIpcSystem(const CZqlIpcSystem& other) : CZqlObject(other), body_(other.body_) {
  if (body_ != nullptr) ++body_->refCount;
}

CZqlIpcSystem& CZqlIpcSystem::operator=(const CZqlIpcSystem& other) {
  if (other.body_ != nullptr) ++other.body_->refCount;
  ReleaseSysBody(body_);
  body_ = other.body_;
  return *this;
}

CZqlIpcSystem::~CZqlIpcSystem() { ReleaseSysBody(body_); }

CZqlObject* CZqlIpcSystem::duplicate() const { return new (std::nothrow) CZqlIpcSystem(); }

CZqlServer* CZqlIpcSystem::ConnectServer(const CZqlUcStr& environment) {
  CZqlServer* server = nullptr;
  const int done = ZqlTry([&] {
    if (body_ == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
    SZqlDriverPaths paths{};
    ResolveDriver(environment, &paths);
    server = ConnectDriver(paths.ini, paths.driver, paths.baseName);
  });
  if (!done) return ZQL_PASS_ON(ZqlTryCode()), nullptr;
  return server;
}

CZqlServer* CZqlIpcSystem::ConnectDriver(const char* iniPath, const char* driverPath,
                                         const char* baseName) {
  std::unique_ptr<CZqlSrvUxLocal> server;
  const int done = ZqlTry([&] {
    if (body_ == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
    server.reset(new CZqlSrvUxLocal());
    SZqlServer* r = server->ServerBody();
    if (r == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
    CopyBaseName(r->baseName, baseName != nullptr ? baseName : driverPath != nullptr ? driverPath : "");
    r->ipcSys = body_;
    ++body_->refCount;
    const EZqlError code = ZqlLoadServerOnUnix(iniPath, driverPath, r);
    if (code != kZqlOk) ZQL_RAISE(code);
    server->Attach();
  });
  if (!done) {
    const int code = ZqlTryCode();
    server.reset();  // detaches and closes what was opened
    return ZQL_PASS_ON(code), nullptr;
  }
  return server.release();
}

// ---------------------------------------------------------------------------
// CZqlServer
// ---------------------------------------------------------------------------

CZqlServer::CZqlServer()
    : record_(static_cast<SZqlServer*>(ZqlMemoryNblkMalloc(sizeof(SZqlServer)))) {
  if (record_ == nullptr) return;
  record_->refCount = 1;
  record_->slot = -1;
}

CZqlServer::CZqlServer(const CZqlServer& other) : CZqlObject(other), record_(other.record_) {
  if (record_ != nullptr) ++record_->refCount;
}

CZqlServer& CZqlServer::operator=(const CZqlServer& other) {
  if (other.record_ != nullptr) ++other.record_->refCount;
  release();
  record_ = other.record_;
  return *this;
}

CZqlServer::~CZqlServer() { release(); }

SZqlServer* CZqlServer::record() const {
  ZQL_ASSERT(ZqlTryReady() || ZqlExceptionHandlerReady());
  if (record_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
  return record_;
}

void CZqlServer::release() noexcept {
  SZqlServer* r = record_;
  record_ = nullptr;
  if (r == nullptr || --r->refCount > 0) return;
  if (r->slot >= 0) ZqlDisconServerOnUnix(r->slot);  // errors ignored
  ZqlMemoryNblkFree(r->request);
  ZqlMemoryNblkFree(r->reply);
  ReleaseSysBody(r->ipcSys);
  ZqlMemoryNblkFree(r);
}

// ---------------------------------------------------------------------------
// CZqlSrvUxLocal
// ---------------------------------------------------------------------------

CZqlSrvUxLocal::~CZqlSrvUxLocal() {
  if (!lastHolder()) return;
  SZqlServer* r = ServerBody();
  if (r->slot >= 0) Detach();
  ZqlMemoryNblkFree(r->request);
  ZqlMemoryNblkFree(r->reply);
  r->request = r->reply = nullptr;
  r->requestRoom = r->replyRoom = 0;
}

CZqlObject* CZqlSrvUxLocal::duplicate() const { return new (std::nothrow) CZqlSrvUxLocal(*this); }

int CZqlSrvUxLocal::Attach() {
  SZqlServer* r = record();
  CZqlObjPack pack;
  PackAttach(&pack);
  const uint32_t size = pack.Size();
  pack.setBuffer(openOut(size), size);
  PackAttach(&pack);
  sendData();
  closeOut();
  waitData();
  CZqlObjPack reply(openIn(), static_cast<uint32_t>(r->size));
  if (ReplyValue(&reply, kZqlReqLabelVersion) != kZqlProtocolVersion)
    ZQL_RAISE(kZqlErrIncompatibleEnvironment);
  int32_t values[kZqlAttachValueCount];
  for (int i = 0; i < kZqlAttachValueCount; ++i)
    values[i] = ReplyValue(&reply, kZqlReqLabelInfo + i);
  std::memcpy(r->attach, values, sizeof values);
  closeIn();
  return 1;
}

// Builds and sends the request without raising: it runs in teardown.
int CZqlSrvUxLocal::Detach() {
  SZqlServer* r = ServerBody();
  if (r == nullptr) return 0;
  EZqlError code = kZqlErrInsufficientMemory;
  ZqlTry([&] {
    CZqlObjPack pack;
    PackDetach(&pack, *r);
    const uint32_t size = pack.Size();
    r->size = 0;
    if (r->request == nullptr || size > r->requestRoom) {
      ZqlMemoryNblkFree(r->request);
      r->requestRoom = 0;
      r->request = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(size));
      if (r->request == nullptr) return;
      r->requestRoom = size;
    }
    r->size = static_cast<int32_t>(size);
    pack.setBuffer(r->request, size);
    PackDetach(&pack, *r);
    code = ZqlSendDataToServer(r);
  });
  return code == kZqlOk ? 1 : 0;
}

unsigned char* CZqlSrvUxLocal::openOut(uint32_t size) {
  SZqlServer* r = record();
  if (size > static_cast<uint32_t>(INT32_MAX)) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
  r->size = 0;
  if (r->request == nullptr || size > r->requestRoom) {
    // Grown to the largest request so far; what it held is not kept.
    const uint32_t room = size > 0 ? size : 1;
    auto* grown = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(room));
    if (grown == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
    ZqlMemoryNblkFree(r->request);
    r->request = grown;
    r->requestRoom = room;
  }
  r->size = static_cast<int32_t>(size);
  return r->request;
}

void CZqlSrvUxLocal::closeOut() { record(); }

unsigned char* CZqlSrvUxLocal::keptOut(uint32_t* room) {
  SZqlServer* r = record();
  *room = r->request != nullptr ? r->requestRoom : 0;
  return r->request;
}

unsigned char* CZqlSrvUxLocal::openIn() {
  SZqlServer* r = record();
  if (r->reply == nullptr || r->size <= 0) ZQL_RAISE(kZqlErrInsufficientMemory);
  return r->reply;
}

void CZqlSrvUxLocal::closeIn() { record(); }

int CZqlSrvUxLocal::addInfo(CZqlObjPack* pack) const {
  return pack->add(kZqlReqLabelInfo, record()->attach[0]);
}

int CZqlSrvUxLocal::sendData() {
  const EZqlError code = ZqlSendDataToServer(record());
  if (code != kZqlOk) ZQL_RAISE(code);
  return 1;
}

int CZqlSrvUxLocal::waitData() {
  record();
  return 1;
}

// ---------------------------------------------------------------------------
// Requests
// ---------------------------------------------------------------------------

int ZqlUnpackDDAandRetCode(int label, CZqlObjPack* pack, CZqlDDA* dda) {
  ZQL_ASSERT(ZqlTryReady() || ZqlExceptionHandlerReady());
  if (pack == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
  if (label == kZqlReqLabelRetCode) {
    int32_t code = 0;
    if (!pack->getPackedValue(&code)) ZQL_RAISE(kZqlErrInternalZQLError);
    if (code != 0) ZQL_RAISE(code);
    return 1;
  }
  if (label != kZqlReqLabelArea) return 1;
  if (dda != nullptr) return dda->unpackFrom(pack);
  // The area's items must be read past all the same: its own labels (row
  // count at 2, for one) would otherwise be taken for the reply's.
  CZqlDDA scratch;
  return scratch.unpackFrom(pack);
}

namespace {

// The common header of every request but Attach and Detach, then fields.
template <class Fields>
void PackRequest(const CZqlServer* server, CZqlObjPack* pack, int32_t code,
                 const Fields& fields) {
  pack->add(kZqlReqLabelVersion, kZqlProtocolVersion);
  server->addInfo(pack);
  pack->add(kZqlReqLabelCode, code);
  fields(pack);
}

// Reads the reply: label 11 into *result when the request reads it, every
// other item through ZqlUnpackDDAandRetCode. An empty reply holds no item.
void ReadReply(CZqlServer* server, CZqlDDA* dda, uint32_t* result) {
  const SZqlServer* r = server->ServerBody();
  if (r->size <= 0) return;
  CZqlObjPack reply(server->openIn(), static_cast<uint32_t>(r->size));
  for (int label = reply.getNext(); label != kZqlPackEnd; label = reply.getNext()) {
    if (label == kZqlReqLabelArg1 && result != nullptr) {
      if (!reply.getPackedValue(result)) ZQL_RAISE(kZqlErrInternalZQLError);
    } else {
      ZqlUnpackDDAandRetCode(label, &reply, dda);
    }
  }
}

// One request: packed into the transport's kept buffer (sized first, and
// packed again, only when there is none or it proves too small), the
// exchange, the reply. Answers the reply's label 11 (0 when absent) when
// reads is set, else 1. On any error both buffers are closed and the error
// handed on (answering 0 to a caller outside every frame).
template <class Fields>
uint32_t RunRequest(CZqlServer* server, CZqlDDA* dda, int32_t code, bool reads,
                    const Fields& fields) {
  uint32_t result = 0;
  const int done = ZqlTry([&] {
    uint32_t room = 0;
    unsigned char* kept = server->keptOut(&room);
    CZqlObjPack pack;
    pack.setRoom(kept, room);
    PackRequest(server, &pack, code, fields);
    const uint32_t size = pack.Size();
    unsigned char* out = server->openOut(size);
    if (kept == nullptr || pack.Overflowed() || out != kept) {
      pack.setBuffer(out, size);
      PackRequest(server, &pack, code, fields);
    }
    server->sendData();
    server->closeOut();
    server->waitData();
    ReadReply(server, dda, reads ? &result : nullptr);
    server->closeIn();
  });
  if (done) return reads ? result : 1;
  const int error = ZqlTryCode();
  ZqlTry([&] { server->closeOut(); });
  ZqlTry([&] { server->closeIn(); });
  return static_cast<uint32_t>(ZQL_PASS_ON(error));
}

// A text field, only when the string has storage.
void AddText(CZqlObjPack* pack, int label, const CZqlUcStr& text) {
  if (text.Size() != 0) pack->add(label, text);
}

// The area that Execute and Open send after label 4; one without body
// cannot be packed.
void AddArea(CZqlObjPack* pack, const CZqlDDA* dda) {
  if (dda == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
  if (dda->getDiagData() == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlDDAObject);
  pack->add(kZqlReqLabelArea, int32_t{0});
  dda->packTo(pack);
}

}  // namespace

uint32_t CZqlServer::Connect(CZqlDDA* dda, const CZqlUcStr& target, const CZqlUcStr& user,
                             const CZqlUcStr& password) {
  return RunRequest(this, dda, kZqlReqConnect, true, [&](CZqlObjPack* p) {
    AddText(p, kZqlReqLabelArg1, target);
    AddText(p, kZqlReqLabelArg2, user);
    AddText(p, kZqlReqLabelArg3, password);
  });
}

int CZqlServer::Disconnect(CZqlDDA* dda, uint32_t connection, EZqlBoolean abort) {
  return static_cast<int>(RunRequest(this, dda, kZqlReqDisconnect, false, [&](CZqlObjPack* p) {
    p->add(kZqlReqLabelArg1, connection);
    p->add(kZqlReqLabelArg2, static_cast<int32_t>(abort));
  }));
}

namespace {

// Immediate execution and preparation: the connection, then the text.
uint32_t TextRequest(CZqlServer* server, CZqlDDA* dda, int32_t code, bool reads,
                     uint32_t connection, const CZqlUcStr& text) {
  return RunRequest(server, dda, code, reads, [&](CZqlObjPack* p) {
    p->add(kZqlReqLabelArg1, connection);
    AddText(p, kZqlReqLabelArg2, text);
  });
}

// Requests whose only field is an id.
uint32_t IdRequest(CZqlServer* server, CZqlDDA* dda, int32_t code, uint32_t id) {
  return RunRequest(server, dda, code, false,
                    [&](CZqlObjPack* p) { p->add(kZqlReqLabelArg1, id); });
}

// Execute and Open: the id, then the caller's area.
uint32_t AreaRequest(CZqlServer* server, CZqlDDA* dda, int32_t code, uint32_t id) {
  return RunRequest(server, dda, code, false, [&](CZqlObjPack* p) {
    p->add(kZqlReqLabelArg1, id);
    AddArea(p, dda);
  });
}

}  // namespace

int CZqlServer::IExecute(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text) {
  return static_cast<int>(TextRequest(this, dda, kZqlReqIExecute, false, connection, text));
}

int CZqlServer::IExeNative(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text) {
  return static_cast<int>(TextRequest(this, dda, kZqlReqIExeNative, false, connection, text));
}

int CZqlServer::IExeInterDB(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text) {
  return static_cast<int>(TextRequest(this, dda, kZqlReqIExeInterDB, false, connection, text));
}

uint32_t CZqlServer::Prepare(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text) {
  return TextRequest(this, dda, kZqlReqPrepare, true, connection, text);
}

uint32_t CZqlServer::PrepareInterDB(CZqlDDA* dda, uint32_t connection, const CZqlUcStr& text) {
  return TextRequest(this, dda, kZqlReqPrepareInterDB, true, connection, text);
}

int CZqlServer::Execute(CZqlDDA* dda, uint32_t statement) {
  return static_cast<int>(AreaRequest(this, dda, kZqlReqExecute, statement));
}

int CZqlServer::DeallocStm(CZqlDDA* dda, uint32_t statement) {
  return static_cast<int>(IdRequest(this, dda, kZqlReqDeallocStm, statement));
}

uint32_t CZqlServer::AllocCsr(CZqlDDA* dda, uint32_t statement, const CZqlIdent& name,
                              EZqlCurScr scr, EZqlCurSns sns) {
  return RunRequest(this, dda, kZqlReqAllocCsr, true, [&](CZqlObjPack* p) {
    p->add(kZqlReqLabelArg1, statement);
    p->add(kZqlReqLabelArg2, static_cast<uint32_t>(scr));
    p->add(kZqlReqLabelArg3, static_cast<uint32_t>(sns));
    if (name.Length() > 0) {
      p->add(kZqlReqLabelName, int32_t{0});
      name.packTo(p);
    }
  });
}

int CZqlServer::Open(CZqlDDA* dda, uint32_t cursor) {
  return static_cast<int>(AreaRequest(this, dda, kZqlReqOpen, cursor));
}

int CZqlServer::Close(CZqlDDA* dda, uint32_t cursor) {
  return static_cast<int>(IdRequest(this, dda, kZqlReqClose, cursor));
}

int CZqlServer::Fetch(CZqlDDA* dda, uint32_t cursor, EZqlDirection direction, int32_t offset) {
  return static_cast<int>(RunRequest(this, dda, kZqlReqFetch, false, [&](CZqlObjPack* p) {
    p->add(kZqlReqLabelArg1, cursor);
    p->add(kZqlReqLabelArg2, static_cast<uint32_t>(direction));
    p->add(kZqlReqLabelArg3, offset);
  }));
}

SZqlInterrupt CZqlServer::InterruptOf(uint32_t connection) const {
  SZqlInterrupt target;
  if (record_ != nullptr && record_->slot >= 0) {
    target.slot = record_->slot;
    target.connection = connection;
  }
  return target;
}

int CZqlServer::Cancel(CZqlDDA* dda, uint32_t connection) {
  return static_cast<int>(IdRequest(this, dda, kZqlReqCancel, connection));
}

uint32_t CZqlServer::Status(CZqlDDA* dda, uint32_t id, EZqlStatInfo info) {
  return RunRequest(this, dda, kZqlReqStatus, true, [&](CZqlObjPack* p) {
    p->add(kZqlReqLabelArg1, id);
    p->add(kZqlReqLabelArg2, static_cast<uint32_t>(info));
  });
}
