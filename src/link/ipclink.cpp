// The IPC system and the server objects: reference-counted handles on a
// driver connection, the transport of one request to a local driver, and
// the requests themselves (packed twice: once to size, once into the
// request buffer; the reply read back into the caller's descriptor area).
//
// Teardown paths (destructors, Detach) use the transport's non-raising
// calls: a raise there would replace the error that is being reported.

#include <algorithm>
#include <cstring>
#include <memory>

#include "ipclink.h"
#include "objpack.h"
#include "uxlink.h"
#include "zqlconf.h"
#include "zqldda.h"
#include "zqlident.h"
#include "zqlio.h"

namespace {

constexpr int kLabelVersion = kZqlReqLabelVersion;
constexpr int kLabelRequest = kZqlReqLabelCode;
constexpr int kLabelInfo = kZqlReqLabelInfo;  // first of the six Attach values (5 to 10)
constexpr int kAttachValues = 6;
constexpr int32_t kZqlRequestAttach = kZqlReqAttach;
constexpr int32_t kZqlRequestDetach = kZqlReqDetach;

int Raise(int code) {
  ZqlTryThrow(code, 0, 0);
  return 0;
}

void PackAttach(CZqlObjPack* pack) {
  pack->add(kLabelVersion, kZqlProtocolVersion);
  pack->add(kLabelRequest, kZqlRequestAttach);
}

// Labels 5 to 7 carry the Attach values of 5 to 7, labels 8 and 9 those of
// 9 and 10.
void PackDetach(CZqlObjPack* pack, const SZqlServer& r) {
  pack->add(kLabelVersion, kZqlProtocolVersion);
  pack->add(kLabelRequest, kZqlRequestDetach);
  pack->add(5, r.attach[0]);
  pack->add(6, r.attach[1]);
  pack->add(7, r.attach[2]);
  pack->add(8, r.attach[4]);
  pack->add(9, r.attach[5]);
}

// The 4-byte value of label in the reply into *value; raises 0xA00C when it
// is missing (answers 0 if that returns).
int ReplyValue(CZqlObjPack* reply, int label, int32_t* value) {
  if (reply->setActive(label) && reply->getPackedValue(value)) return 1;
  return Raise(kZqlErrInternalZQLError);
}

void CopyBaseName(char* out, const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* base = slash != nullptr ? slash + 1 : path;
  const std::size_t n = std::min(std::strlen(base), sizeof(SZqlServer::baseName) - 1);
  std::memcpy(out, base, n);
  out[n] = '\0';
}

}  // namespace

void DeleteSysBody(SZqlIpcSys* body) {
  if (body != nullptr && --body->refCount <= 0) ZqlMemoryFree(body);
}

// ---------------------------------------------------------------------------
// CZqlIpcSystem
// ---------------------------------------------------------------------------

CZqlIpcSystem::CZqlIpcSystem()
    : body_(static_cast<SZqlIpcSys*>(ZqlMemoryMalloc(sizeof(SZqlIpcSys)))) {
  if (body_ != nullptr) body_->refCount = 1;
}

CZqlIpcSystem::CZqlIpcSystem(const CZqlIpcSystem& other) : CZqlObject(other), body_(other.body_) {
  if (body_ != nullptr) ++body_->refCount;
}

CZqlIpcSystem& CZqlIpcSystem::operator=(const CZqlIpcSystem& other) {
  if (other.body_ != nullptr) ++other.body_->refCount;
  DeleteSysBody(body_);
  body_ = other.body_;
  return *this;
}

CZqlIpcSystem::~CZqlIpcSystem() { DeleteSysBody(body_); }

CZqlObject* CZqlIpcSystem::duplicate() const { return new CZqlIpcSystem(); }

// The paths and name of an environment's driver, as zql.ini gives them.
namespace {

struct SZqlDriverPaths {
  char ini[kZqlMaxPath];
  char driver[kZqlMaxPath];
  char baseName[sizeof(SZqlServer::baseName)];
};

// Resolves environment -> Driver -> Path -> full paths. Raises.
void ResolveDriver(const CZqlUcStr& environment, SZqlDriverPaths* out) {
  CZqlConfig config;
  if (config.openCfgFile(environment) < 0) Raise(kZqlErrEnvironmentNameNotSpecifiedInZQLINI);
  CZqlUcStr driver;
  if (!config.readCfgString(environment, CZqlUcStr("Driver"), &driver) || driver.Length() == 0)
    Raise(kZqlErrDriverNotFoundInZQLINI);
  CZqlUcStr path;
  if (!config.readCfgString(driver, CZqlUcStr("Path"), &path) || path.Length() == 0)
    Raise(kZqlErrDriverPathAndNameWasNotSpecified);
  char configured[kZqlMaxPath];
  path.getToChar(configured, sizeof configured);
  CopyBaseName(out->baseName, configured);
  CZqlDirMisc dir;
  if (!dir.Find(configured, out->driver, kZqlMaxPath)) Raise(kZqlErrCannotOpenZQLDriverFile);
  if (!dir.Find("zql.ini", out->ini, kZqlMaxPath)) Raise(kZqlErrCannotOpenZQLDriverFile);
}

}  // namespace

CZqlServer* CZqlIpcSystem::ConnectServer(const CZqlUcStr& environment) {
  if (body_ == nullptr) return Raise(kZqlErrInsufficientMemory), nullptr;
  SZqlDriverPaths paths{};
  if (!ZqlTry([&] { ResolveDriver(environment, &paths); })) return ZqlTryRethrow(), nullptr;
  return ConnectDriver(paths.ini, paths.driver, paths.baseName);
}

CZqlServer* CZqlIpcSystem::ConnectDriver(const char* iniPath, const char* driverPath,
                                         const char* baseName) {
  if (body_ == nullptr) return Raise(kZqlErrInsufficientMemory), nullptr;
  std::unique_ptr<CZqlSrvUxLocal> server;
  const int done = ZqlTry([&] {
    server.reset(new CZqlSrvUxLocal());
    SZqlServer* r = server->ServerBody();
    if (r == nullptr) Raise(kZqlErrInsufficientMemory);
    if (baseName != nullptr)
      CopyBaseName(r->baseName, baseName);
    else
      CopyBaseName(r->baseName, driverPath != nullptr ? driverPath : "");
    r->ipcSys = body_;
    ++body_->refCount;
    LoadServerOnUnix(iniPath, driverPath, r);
    server->Attach();
  });
  if (!done) {
    const int code = ZqlTryCode();
    server.reset();  // detaches and closes what was opened
    return Raise(code), nullptr;
  }
  return server.release();
}

// ---------------------------------------------------------------------------
// CZqlServer
// ---------------------------------------------------------------------------

CZqlServer::CZqlServer()
    : record_(static_cast<SZqlServer*>(ZqlMemoryMalloc(sizeof(SZqlServer)))) {
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
  if (record_ == nullptr) Raise(kZqlErrInternalZQLError);
  return record_;
}

void CZqlServer::release() noexcept {
  SZqlServer* r = record_;
  record_ = nullptr;
  if (r == nullptr || --r->refCount > 0) return;
  if (r->slot >= 0) ZqlIpcCloseConnection(r->slot, nullptr);  // errors ignored
  ZqlMemoryNblkFree(r->request);
  ZqlMemoryNblkFree(r->reply);
  DeleteSysBody(r->ipcSys);
  ZqlMemoryNblkFree(r);
}

// ---------------------------------------------------------------------------
// CZqlSrvUxLocal
// ---------------------------------------------------------------------------

CZqlSrvUxLocal::~CZqlSrvUxLocal() {
  if (!lastHolder()) return;
  SZqlServer* r = ServerBody();
  ZqlMemoryNblkFree(r->request);
  ZqlMemoryNblkFree(r->reply);
  r->request = r->reply = nullptr;
  if (r->slot >= 0) Detach();
  ZqlMemoryNblkFree(r->reply);
  r->reply = nullptr;
}

CZqlObject* CZqlSrvUxLocal::duplicate() const { return new CZqlSrvUxLocal(*this); }

int CZqlSrvUxLocal::Attach() {
  SZqlServer* r = record();
  if (r == nullptr) return 0;
  CZqlObjPack pack;
  PackAttach(&pack);
  const uint32_t size = pack.Size();
  unsigned char* out = openOut(size);
  if (out == nullptr) return 0;
  pack.setBuffer(out, size);
  PackAttach(&pack);
  const int sent = sendData();
  closeOut();
  if (!sent || !waitData()) return 0;
  unsigned char* in = openIn();
  if (in == nullptr) return 0;
  CZqlObjPack reply(in, static_cast<uint32_t>(r->size));
  int32_t version = 0;
  if (!ReplyValue(&reply, kLabelVersion, &version)) return 0;
  if (version != kZqlProtocolVersion) return Raise(kZqlErrIncompatibleEnvironment);
  int32_t values[kAttachValues];
  for (int i = 0; i < kAttachValues; ++i)
    if (!ReplyValue(&reply, kLabelInfo + i, &values[i])) return 0;
  std::memcpy(r->attach, values, sizeof values);
  closeIn();
  return 1;
}

// Builds and sends the request without raising: it runs in teardown.
int CZqlSrvUxLocal::Detach() {
  SZqlServer* r = ServerBody();
  if (r == nullptr) return 0;
  CZqlObjPack pack;
  PackDetach(&pack, *r);
  const uint32_t size = pack.Size();
  ZqlMemoryNblkFree(r->request);
  r->request = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(size));
  r->size = 0;
  if (r->request == nullptr) return 0;
  r->size = static_cast<int32_t>(size);
  pack.setBuffer(r->request, size);
  PackDetach(&pack, *r);
  const int code = ZqlIpcSendRequest(r);
  ZqlMemoryNblkFree(r->request);
  r->request = nullptr;
  return code == 0 ? 1 : 0;
}

unsigned char* CZqlSrvUxLocal::openOut(uint32_t size) {
  SZqlServer* r = record();
  if (r == nullptr) return nullptr;
  if (size > static_cast<uint32_t>(INT32_MAX))
    return Raise(kZqlErrInvalidFunctionArguments), nullptr;
  ZqlMemoryNblkFree(r->request);
  r->request = nullptr;
  r->size = 0;
  r->request = static_cast<unsigned char*>(ZqlMemoryMalloc(size > 0 ? size : 1));
  if (r->request != nullptr) r->size = static_cast<int32_t>(size);
  return r->request;
}

void CZqlSrvUxLocal::closeOut() {
  SZqlServer* r = record();
  if (r == nullptr) return;
  ZqlMemoryNblkFree(r->request);
  r->request = nullptr;
}

unsigned char* CZqlSrvUxLocal::openIn() {
  SZqlServer* r = record();
  if (r == nullptr) return nullptr;
  if (r->reply == nullptr) return Raise(kZqlErrInsufficientMemory), nullptr;
  return r->reply;
}

void CZqlSrvUxLocal::closeIn() {
  SZqlServer* r = record();
  if (r == nullptr) return;
  ZqlMemoryNblkFree(r->reply);
  r->reply = nullptr;
}

int CZqlSrvUxLocal::addInfo(CZqlObjPack* pack) const {
  SZqlServer* r = record();
  if (r == nullptr || pack == nullptr) return 0;
  return pack->add(kLabelInfo, r->attach[0]);
}

int CZqlSrvUxLocal::sendData() {
  SZqlServer* r = record();
  if (r == nullptr) return 0;
  return SendDataToServer(r);
}

int CZqlSrvUxLocal::waitData() {
  return record() != nullptr ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Requests
// ---------------------------------------------------------------------------

int ZqlUnpackDDAandRetCode(int label, CZqlObjPack* pack, CZqlDDA* dda) {
  if (pack == nullptr) return Raise(kZqlErrInvalidFunctionArguments);
  if (label == kZqlReqLabelRetCode) {
    int32_t code = 0;
    if (!pack->getPackedValue(&code)) return Raise(kZqlErrInternalZQLError);
    return code != 0 ? Raise(code) : 1;
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
  if (r == nullptr || r->size <= 0) return;
  CZqlObjPack reply(server->openIn(), static_cast<uint32_t>(r->size));
  for (int label = reply.getNext(); label != kZqlPackEnd; label = reply.getNext()) {
    if (label == kZqlReqLabelArg1 && result != nullptr) {
      if (!reply.getPackedValue(result)) Raise(kZqlErrInternalZQLError);
    } else {
      ZqlUnpackDDAandRetCode(label, &reply, dda);
    }
  }
}

// One request: sizing pass, the same items into the request buffer, the
// exchange, the reply. Answers the reply's label 11 (0 when absent) when
// reads is set, else 1. On any error both buffers are released and the
// error raised again (answers 0 if that returns).
template <class Fields>
uint32_t RunRequest(CZqlServer* server, CZqlDDA* dda, int32_t code, bool reads,
                    const Fields& fields) {
  uint32_t result = 0;
  const int done = ZqlTry([&] {
    CZqlObjPack pack;
    PackRequest(server, &pack, code, fields);
    const uint32_t size = pack.Size();
    unsigned char* out = server->openOut(size);
    if (out == nullptr) Raise(kZqlErrInsufficientMemory);
    pack.setBuffer(out, size);
    PackRequest(server, &pack, code, fields);
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
  return static_cast<uint32_t>(Raise(error));
}

// A text field, only when the string has storage.
void AddText(CZqlObjPack* pack, int label, const CZqlUcStr& text) {
  if (text.Size() != 0) pack->add(label, text);
}

// The area that Execute and Open send after label 4; one without body
// cannot be packed.
void AddArea(CZqlObjPack* pack, const CZqlDDA* dda) {
  if (dda == nullptr) Raise(kZqlErrInvalidFunctionArguments);
  if (dda->getDiagData() == nullptr) Raise(kZqlErrInvalidCZqlDDAObject);
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

int CZqlServer::Cancel(CZqlDDA* dda, uint32_t connection) {
  return static_cast<int>(IdRequest(this, dda, kZqlReqCancel, connection));
}

uint32_t CZqlServer::Status(CZqlDDA* dda, uint32_t id, EZqlStatInfo info) {
  return RunRequest(this, dda, kZqlReqStatus, true, [&](CZqlObjPack* p) {
    p->add(kZqlReqLabelArg1, id);
    p->add(kZqlReqLabelArg2, static_cast<uint32_t>(info));
  });
}
