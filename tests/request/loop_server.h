// A transport without a driver process, for tests of the request layer:
// it keeps each request's bytes and answers with scripted bytes or with a
// driver decoder running in this process.
#ifndef ZQL_TESTS_REQUEST_LOOP_SERVER_H
#define ZQL_TESTS_REQUEST_LOOP_SERVER_H

#include <cstring>
#include <string>
#include <vector>

#include "ipclink.h"
#include "objpack.h"
#include "zqldrvkit.h"

namespace zqltest {

constexpr int32_t kLoopAttachValue = 501;

class CLoopServer : public CZqlServer {
 public:
  // handler (borrowed, may be null) answers the requests; without one the
  // reply is `reply`.
  explicit CLoopServer(CZqlDrvRawHandler* handler = nullptr) : handler_(handler) {
    ServerBody()->attach[0] = kLoopAttachValue;
  }
  CZqlObject* duplicate() const override { return nullptr; }

  std::vector<unsigned char> request;  // bytes of the last request
  std::vector<unsigned char> reply;    // the answer when there is no handler
  int sendError = 0;                   // raised by sendData when not 0
  int handlerStatus = 0;               // the handler's last answer

  int Attach() override { return 1; }
  int Detach() override { return 1; }
  unsigned char* openOut(uint32_t size) override {
    SZqlServer* r = record();
    ZqlMemoryNblkFree(r->request);
    r->request = static_cast<unsigned char*>(ZqlMemoryMalloc(size));
    r->size = static_cast<int32_t>(size);
    return r->request;
  }
  void closeOut() override {
    ZqlMemoryNblkFree(record()->request);
    record()->request = nullptr;
  }
  unsigned char* openIn() override {
    if (record()->reply == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
    return record()->reply;
  }
  void closeIn() override {
    ZqlMemoryNblkFree(record()->reply);
    record()->reply = nullptr;
  }
  int addInfo(CZqlObjPack* pack) const override {
    return pack->add(kZqlReqLabelInfo, ServerBody()->attach[0]);
  }
  int sendData() override {
    SZqlServer* r = record();
    request.assign(r->request, r->request + r->size);
    if (sendError != 0) ZQL_RAISE(sendError);
    std::vector<unsigned char> answer = reply;
    if (handler_ != nullptr) {
      answer.clear();
      handlerStatus = handler_->Serve(request.data(), static_cast<uint32_t>(request.size()),
                                      &answer);
      if (handlerStatus != 0) ZQL_RAISE(handlerStatus);
    }
    ZqlMemoryNblkFree(r->reply);
    r->reply = nullptr;
    r->size = static_cast<int32_t>(answer.size());
    if (!answer.empty()) {
      r->reply = static_cast<unsigned char*>(ZqlMemoryMalloc(answer.size()));
      std::memcpy(r->reply, answer.data(), answer.size());
    }
    return 1;
  }
  int waitData() override { return 1; }

 private:
  CZqlDrvRawHandler* handler_;
};

// A packed buffer built by fill (sized, then written).
template <class Fill>
std::vector<unsigned char> Packed(Fill fill) {
  CZqlObjPack sizing;
  fill(&sizing);
  std::vector<unsigned char> bytes(sizing.Size());
  CZqlObjPack out(bytes.data(), static_cast<uint32_t>(bytes.size()));
  fill(&out);
  return bytes;
}

// A request of the given code (none when negative) after the version word.
inline std::vector<unsigned char> Head(int32_t code, int32_t version = kZqlProtocolVersion) {
  return Packed([&](CZqlObjPack* p) {
    p->add(kZqlReqLabelVersion, version);
    if (code >= 0) p->add(kZqlReqLabelCode, code);
  });
}

}  // namespace zqltest

#endif  // ZQL_TESTS_REQUEST_LOOP_SERVER_H
