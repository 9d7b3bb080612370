// The driver's request layer: decoding packed requests into CZqlDriver
// calls and packing their replies.

#include "zqldrvreq.h"

#include <iterator>
#include <new>

#include "objpack.h"
#include "zqltry.h"

namespace {

// Labels 0 to 15 of a request's fields.
constexpr int kFieldLabels = 16;
// Conditions a fresh or kept area holds.
constexpr int kAreaConditions = 10;

// The command type recorded in the area of each request.
EZqlStatement CommandOf(int32_t code) {
  switch (code) {
    case kZqlReqConnect: return kZqlStmConnect;
    case kZqlReqDisconnect: return kZqlStmDisconnect;
    case kZqlReqIExecute:
    case kZqlReqIExeNative:
    case kZqlReqIExeInterDB: return kZqlStmExecuteImmediate;
    case kZqlReqPrepare:
    case kZqlReqPrepareInterDB: return kZqlStmPrepare;
    case kZqlReqExecute: return kZqlStmExecute;
    case kZqlReqDeallocStm: return kZqlStmDeallocateStatement;
    case kZqlReqAllocCsr: return kZqlStmAllocCursor;
    case kZqlReqOpen: return kZqlStmOpen;
    case kZqlReqClose: return kZqlStmCloseCursor;
    case kZqlReqFetch: return kZqlStmFetch;
    default: return kZqlStmUndefined;
  }
}

// Runs one driver operation: its answer, or the code it raised.
template <class Call>
int32_t Invoke(Call&& call) {
  int32_t code = 0;
  if (!ZqlTry([&] { code = call(); })) code = ZqlTryCode();
  return code;
}

// Hides a descriptor set of an area for the lifetime of the object, so
// that a reply leaves it out.
template <class Set>
class CHiddenSet {
 public:
  CHiddenSet(Set** slot, bool hide) : slot_(hide ? slot : nullptr), saved_(nullptr) {
    if (slot_ == nullptr) return;
    saved_ = *slot_;
    *slot_ = nullptr;
  }
  ~CHiddenSet() {
    if (slot_ != nullptr) *slot_ = saved_;
  }
  CHiddenSet(const CHiddenSet&) = delete;
  CHiddenSet& operator=(const CHiddenSet&) = delete;

 private:
  Set** slot_;
  Set* saved_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Defaults of the optional operations
// ---------------------------------------------------------------------------

int32_t CZqlDriver::IExeNative(CZqlDDA*, uint32_t, const CZqlUcStr&) {
  return kZqlErrFeatureNotSupported;
}

int32_t CZqlDriver::IExeInterDB(CZqlDDA*, uint32_t, const CZqlUcStr&) {
  return kZqlErrCanTExecuteInterdatabaseStatement;
}

int32_t CZqlDriver::PrepareInterDB(CZqlDDA*, uint32_t, const CZqlUcStr&, uint32_t*) {
  return kZqlErrCanTExecuteInterdatabaseStatement;
}

int32_t CZqlDriver::Cancel(CZqlDDA*, uint32_t) { return kZqlErrFeatureNotSupported; }

// ---------------------------------------------------------------------------
// Requests and replies
// ---------------------------------------------------------------------------

// The fields of one request, read in order up to the area or the name.
struct CZqlDrvDecoder::SRequest {
  int32_t version = -1;
  int32_t code = -1;
  bool has[kFieldLabels] = {};
  uint32_t number[kFieldLabels] = {};
  CZqlUcStr text[kFieldLabels];
  bool area = false;  // label 4 came: the pack stands before the area
  CZqlIdent name;     // label 14
};

// What goes back: the area (label 4) unless null, the result (label 11)
// when set and the request succeeded, the return code (label 2).
struct CZqlDrvDecoder::SReply {
  CZqlDDA* area = nullptr;  // borrowed from the decoder
  bool hideParams = false;  // parameter values go back to no client
  bool hasResult = false;
  uint32_t result = 0;
  int32_t code = 0;
  bool attach = false;  // an Attach reply: only info below
  SZqlDrvAttach info;
};

CZqlDrvDecoder::CZqlDrvDecoder(CZqlDriver* driver, uint32_t replyCapacity)
    : driver_(driver), capacity_(replyCapacity) {}

CZqlDrvDecoder::~CZqlDrvDecoder() = default;

int32_t CZqlDrvDecoder::Serve(const unsigned char* request, uint32_t size,
                              std::vector<unsigned char>* reply) {
  failed_.reset();
  info_ = 0;
  SReply r;
  CZqlObjPack in(const_cast<unsigned char*>(request), size);
  if (!ZqlTry([&] { decode(&in, &r); })) {
    const int32_t code = ZqlTryCode();
    r = SReply();
    r.code = code;
  }
  if (r.code != 0 && !r.attach) {
    // Every failure reaches the client with a condition in its area.
    if (r.area == nullptr) r.area = fresh(kZqlStmUndefined);
    if (r.area != nullptr && r.area->CondCount() == 0) r.area->pushErr(static_cast<EZqlError>(r.code));
  }
  if (emit(r, reply)) return 0;
  // Too large, or packing failed: a refusal in place of the reply.
  SReply refusal;
  refusal.code = kZqlErrErrorFoundInDBMSCommunication;
  refusal.area = fresh(kZqlStmUndefined);
  if (refusal.area != nullptr) refusal.area->pushErr(kZqlErrErrorFoundInDBMSCommunication);
  if (emit(refusal, reply)) return 0;
  reply->clear();
  return kZqlErrErrorFoundInDBMSCommunication;
}

// Packs r into *reply in one pass, through a buffer of the reply capacity
// kept for the next request; false when it does not fit or packing raised.
bool CZqlDrvDecoder::emit(const SReply& r, std::vector<unsigned char>* reply) {
  // After an error no descriptor set goes back: the client keeps what it
  // had (the row of the last good fetch, the descriptions it knew).
  SZqlDiag* body = r.area != nullptr ? r.area->getDiagData() : nullptr;
  const bool failed = r.code != 0;
  CHiddenSet<CZqlDDAColumns> columns(body != nullptr ? &body->columns : nullptr,
                                     body != nullptr && failed);
  CHiddenSet<CZqlDDAParams> params(body != nullptr ? &body->params : nullptr,
                                   body != nullptr && (failed || r.hideParams));
  CHiddenSet<CZqlDDAOutput> output(body != nullptr ? &body->output : nullptr,
                                   body != nullptr && failed);
  auto pack = [&](CZqlObjPack* p) {
    if (r.attach) {
      p->add(kZqlReqLabelVersion, r.info.version);
      for (int i = 0; i < kZqlAttachValueCount; ++i) p->add(kZqlReqLabelInfo + i, r.info.values[i]);
      return;
    }
    if (r.area != nullptr) {
      p->add(kZqlReqLabelArea, int32_t{0});
      r.area->packTo(p);
    }
    if (r.hasResult && r.code == 0) p->add(kZqlReqLabelArg1, r.result);
    p->add(kZqlReqLabelRetCode, r.code);
  };
  // Left uninitialised: only the bytes a reply writes are touched. Without
  // it, even the refusal cannot be packed; the kit then sends the outcome.
  if (room_ == nullptr) room_.reset(new (std::nothrow) unsigned char[capacity_]);
  if (room_ == nullptr) return false;
  return ZqlTry([&] {
    CZqlObjPack out;
    out.setRoom(room_.get(), capacity_);
    pack(&out);
    if (out.Overflowed()) ZQL_RAISE(kZqlErrErrorFoundInDBMSCommunication);
    reply->assign(room_.get(), room_.get() + out.Size());
  }) != 0;
}

// Reads the header and fields, then serves the request.
void CZqlDrvDecoder::decode(CZqlObjPack* in, SReply* out) {
  SRequest req;
  for (int label = in->getNext(); label != kZqlPackEnd; label = in->getNext()) {
    if (label == kZqlReqLabelArea) {
      req.area = true;
      break;
    }
    if (label == kZqlReqLabelName) {
      req.name.unpackFrom(in);
      continue;
    }
    if (label >= kFieldLabels) continue;
    req.has[label] = true;
    if (in->getType() == kZqlPackUcStr) {
      in->getPackedValue(&req.text[label]);
    } else if (!in->getPackedValue(&req.number[label])) {
      ZQL_RAISE(kZqlErrInternalZQLError);
    }
  }
  req.version = static_cast<int32_t>(req.number[kZqlReqLabelVersion]);
  info_ = static_cast<int32_t>(req.number[kZqlReqLabelInfo]);
  req.code = req.has[kZqlReqLabelCode] ? static_cast<int32_t>(req.number[kZqlReqLabelCode]) : -1;
  if (!req.has[kZqlReqLabelVersion] || req.code < 0) ZQL_RAISE(kZqlErrInternalZQLError);
  if (req.version != kZqlProtocolVersion) ZQL_RAISE(kZqlErrIncompatibleEnvironment);
  dispatch(req, in, out);
}

void CZqlDrvDecoder::dispatch(const SRequest& req, CZqlObjPack* in, SReply* out) {
  switch (req.code) {
    case kZqlReqAttach:
      out->attach = true;
      driver_->Attach(&out->info);
      if (out->info.values[0] == 0) {  // numbered here, so each record is known
        numbering_ = true;
        out->info.values[0] = nextAttach_;
        nextAttach_ = nextAttach_ == INT32_MAX ? 1 : nextAttach_ + 1;
      }
      return;
    case kZqlReqDetach: {
      int32_t values[5];
      for (int i = 0; i < 5; ++i) values[i] = static_cast<int32_t>(req.number[5 + i]);
      driver_->Detach(values);
      if (numbering_ && values[0] != 0) abandon([&](const SOwner& o) { return o.attach == values[0]; });
      return;
    }
    case kZqlReqConnect: return connect(req, out);
    case kZqlReqPrepare:
    case kZqlReqPrepareInterDB: return prepare(req, out);
    case kZqlReqExecute: return execute(req, in, out);
    case kZqlReqAllocCsr: return allocCursor(req, out);
    case kZqlReqOpen: return openCursor(req, in, out);
    case kZqlReqFetch: return fetch(req, out);
    case kZqlReqStatus: return status(req, out);
    case kZqlReqDisconnect:
    case kZqlReqIExecute:
    case kZqlReqIExeNative:
    case kZqlReqIExeInterDB:
    case kZqlReqDeallocStm:
    case kZqlReqClose:
    case kZqlReqCancel: return simple(req, out);
    default: out->code = kZqlErrFunctionNotSupported;
  }
}

// ---------------------------------------------------------------------------
// Areas
// ---------------------------------------------------------------------------

CZqlDDA* CZqlDrvDecoder::fresh(EZqlStatement command) {
  if (!ZqlTry([&] { scratch_.Renew(kAreaConditions); })) return nullptr;
  scratch_.setCmdStmType(command);
  return &scratch_;
}

// The kept area of id, flushed and set up for command; null when unknown.
CZqlDDA* CZqlDrvDecoder::kept(std::map<uint32_t, SKept>* from, uint32_t id,
                              EZqlStatement command) {
  const auto found = from->find(id);
  if (found == from->end()) return nullptr;
  CZqlDDA* area = found->second.area.get();
  area->FlushCond();
  area->setCmdStmType(command);
  return area;
}

void CZqlDrvDecoder::dropStatement(uint32_t statement) {
  statements_.erase(statement);
  for (auto it = cursors_.begin(); it != cursors_.end();)
    it = it->second.owner == statement ? cursors_.erase(it) : std::next(it);
}

void CZqlDrvDecoder::dropConnection(uint32_t connection) {
  for (auto it = statements_.begin(); it != statements_.end();) {
    if (it->second.owner != connection) {
      ++it;
      continue;
    }
    const uint32_t statement = it->first;
    ++it;
    dropStatement(statement);
  }
}

// ---------------------------------------------------------------------------
// The requests
// ---------------------------------------------------------------------------

void CZqlDrvDecoder::connect(const SRequest& req, SReply* out) {
  out->area = fresh(kZqlStmConnect);
  uint32_t id = 0;
  out->code = Invoke([&] {
    return driver_->Connect(out->area, req.text[kZqlReqLabelArg1], req.text[kZqlReqLabelArg2],
                            req.text[kZqlReqLabelArg3], &id);
  });
  out->hasResult = true;
  out->result = id;
  if (out->code == 0) owners_[id] = SOwner{client_, info_};
}

void CZqlDrvDecoder::ClientGone(int32_t pid) {
  if (pid > 0) abandon([&](const SOwner& o) { return o.pid == pid; });
}

// Disconnects (abort set) and drops every connection whose owner answers
// true; a connection the driver dropped already just fails its Disconnect.
template <class Pred>
void CZqlDrvDecoder::abandon(Pred owned) {
  for (auto it = owners_.begin(); it != owners_.end();) {
    if (!owned(it->second)) {
      ++it;
      continue;
    }
    const uint32_t connection = it->first;
    it = owners_.erase(it);
    CZqlDDA* area = fresh(kZqlStmDisconnect);
    Invoke([&] { return driver_->Disconnect(area, connection, kZqlTrue); });
    ZqlTry([&] { dropConnection(connection); });
  }
}

void CZqlDrvDecoder::prepare(const SRequest& req, SReply* out) {
  const uint32_t connection = req.number[kZqlReqLabelArg1];
  const CZqlUcStr& text = req.text[kZqlReqLabelArg2];
  std::unique_ptr<CZqlDDA> area(new CZqlDDA);
  area->Init(kAreaConditions);
  area->setCmdStmType(kZqlStmPrepare);
  uint32_t id = 0;
  out->code = Invoke([&] {
    return req.code == kZqlReqPrepareInterDB
               ? driver_->PrepareInterDB(area.get(), connection, text, &id)
               : driver_->Prepare(area.get(), connection, text, &id);
  });
  out->hasResult = true;
  out->result = id;
  if (out->code != 0) {
    failed_ = std::move(area);  // goes back once, then is dropped
    out->area = failed_.get();
    return;
  }
  dropStatement(id);  // a reused id replaces what it named
  SKept& k = statements_[id];
  k.area = std::move(area);
  k.owner = connection;
  out->area = k.area.get();
}

void CZqlDrvDecoder::execute(const SRequest& req, CZqlObjPack* in, SReply* out) {
  const uint32_t id = req.number[kZqlReqLabelArg1];
  CZqlDDA* area = kept(&statements_, id, kZqlStmExecute);
  if (area == nullptr) {
    out->code = kZqlErrInvalidSQLStatementName;
    return;
  }
  out->area = area;
  out->hideParams = true;
  if (req.area) area->unpackFrom(in);
  area->setCmdStmType(kZqlStmExecute);
  out->code = Invoke([&] { return driver_->Execute(area, id); });
}

void CZqlDrvDecoder::allocCursor(const SRequest& req, SReply* out) {
  const uint32_t statement = req.number[kZqlReqLabelArg1];
  const auto found = statements_.find(statement);
  if (found == statements_.end()) {
    out->code = kZqlErrInvalidSQLStatementName;
    return;
  }
  std::unique_ptr<CZqlDDA> area(found->second.area->duplicate());
  if (area == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
  area->setStmType(kZqlStmCursor);
  area->setCmdStmType(kZqlStmAllocCursor);
  const auto scr = static_cast<EZqlCurScr>(req.number[kZqlReqLabelArg2]);
  const auto sns = static_cast<EZqlCurSns>(req.number[kZqlReqLabelArg3]);
  uint32_t id = 0;
  out->code = Invoke([&] {
    return driver_->AllocCsr(area.get(), statement, req.name, scr, sns, &id);
  });
  out->hasResult = true;
  out->result = id;
  if (out->code != 0) {
    failed_ = std::move(area);
    out->area = failed_.get();
    return;
  }
  SKept& k = cursors_[id];
  k.area = std::move(area);
  k.owner = statement;
  out->area = k.area.get();
}

void CZqlDrvDecoder::openCursor(const SRequest& req, CZqlObjPack* in, SReply* out) {
  const uint32_t id = req.number[kZqlReqLabelArg1];
  CZqlDDA* area = kept(&cursors_, id, kZqlStmOpen);
  if (area == nullptr) {
    out->code = kZqlErrInvalidCursorName;
    return;
  }
  out->area = area;
  out->hideParams = true;
  if (req.area) area->unpackFrom(in);
  area->setCmdStmType(kZqlStmOpen);
  out->code = Invoke([&] { return driver_->Open(area, id); });
}

void CZqlDrvDecoder::fetch(const SRequest& req, SReply* out) {
  const uint32_t id = req.number[kZqlReqLabelArg1];
  CZqlDDA* area = kept(&cursors_, id, kZqlStmFetch);
  if (area == nullptr) {
    out->code = kZqlErrInvalidCursorName;
    return;
  }
  out->area = area;
  area->setStmType(kZqlStmCursor);
  if (area->Output() == nullptr && area->ColCount() > 0) area->CreateOutput();
  const auto direction = static_cast<EZqlDirection>(req.number[kZqlReqLabelArg2]);
  const auto offset = static_cast<int32_t>(req.number[kZqlReqLabelArg3]);
  out->code = Invoke([&] { return driver_->Fetch(area, id, direction, offset); });
}

void CZqlDrvDecoder::status(const SRequest& req, SReply* out) {
  out->area = fresh(kZqlStmUndefined);
  const auto info = static_cast<EZqlStatInfo>(req.number[kZqlReqLabelArg2]);
  uint32_t value = 0;
  out->code = Invoke([&] {
    return driver_->Status(out->area, req.number[kZqlReqLabelArg1], info, &value);
  });
  out->hasResult = true;
  out->result = value;
}

// The requests that need no kept area.
void CZqlDrvDecoder::simple(const SRequest& req, SReply* out) {
  CZqlDDA* area = fresh(CommandOf(req.code));
  out->area = area;
  const uint32_t id = req.number[kZqlReqLabelArg1];
  const CZqlUcStr& text = req.text[kZqlReqLabelArg2];
  out->code = Invoke([&]() -> int32_t {
    switch (req.code) {
      case kZqlReqDisconnect: {
        const EZqlBoolean abort = req.number[kZqlReqLabelArg2] != 0 ? kZqlTrue : kZqlFalse;
        return driver_->Disconnect(area, id, abort);
      }
      case kZqlReqIExecute: return driver_->IExecute(area, id, text);
      case kZqlReqIExeNative: return driver_->IExeNative(area, id, text);
      case kZqlReqIExeInterDB: return driver_->IExeInterDB(area, id, text);
      case kZqlReqDeallocStm: return driver_->DeallocStm(area, id);
      case kZqlReqClose: return driver_->Close(area, id);
      default: return driver_->Cancel(area, id);
    }
  });
  if (out->code != 0) return;
  if (req.code == kZqlReqDisconnect) {
    dropConnection(id);
    owners_.erase(id);
  }
  if (req.code == kZqlReqDeallocStm) dropStatement(id);
}
