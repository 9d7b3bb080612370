// Fuzzes the client's reading of driver replies: the input is the reply to
// a Status request and to a Fetch request, read into a descriptor area.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ipclink.h"
#include "objpack.h"
#include "zqldda.h"

namespace {

// A transport whose every reply is the fuzz input.
class CReplayServer : public CZqlServer {
 public:
  CReplayServer(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  CZqlObject* duplicate() const override { return nullptr; }
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
    if (record()->reply == nullptr) ZqlTryThrow(kZqlErrInsufficientMemory, 0, 0);
    return record()->reply;
  }
  void closeIn() override {
    ZqlMemoryNblkFree(record()->reply);
    record()->reply = nullptr;
  }
  int addInfo(CZqlObjPack* pack) const override { return pack->add(kZqlReqLabelInfo, int32_t{1}); }
  int sendData() override {
    SZqlServer* r = record();
    ZqlMemoryNblkFree(r->reply);
    r->reply = nullptr;
    r->size = static_cast<int32_t>(size_);
    if (size_ > 0) {
      r->reply = static_cast<unsigned char*>(ZqlMemoryMalloc(size_));
      std::memcpy(r->reply, data_, size_);
    }
    return 1;
  }
  int waitData() override { return 1; }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  CReplayServer server(data, size);
  CZqlDDA dda;
  dda.Init(10);
  ZqlTry([&] { server.Status(&dda, 1, kZqlStatCsrOpen); });
  dda.setCmdStmType(kZqlStmFetch);
  ZqlTry([&] { server.Fetch(&dda, 1, kZqlFetchNext, 0); });
  ZqlTry([&] { server.Status(nullptr, 1, kZqlStatCsrOpen); });
  return 0;
}
