// Fuzzes the client's reading of driver replies: the input is the reply to
// a Status request and to a Fetch request, read into a descriptor area.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "request/loop_server.h"
#include "zqldda.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  // A transport whose every reply is the fuzz input.
  zqltest::CLoopServer server;
  server.reply.assign(data, data + size);
  CZqlDDA dda;
  dda.Init(10);
  ZqlTry([&] { server.Status(&dda, 1, kZqlStatCsrOpen); });
  dda.setCmdStmType(kZqlStmFetch);
  ZqlTry([&] { server.Fetch(&dda, 1, kZqlFetchNext, 0); });
  ZqlTry([&] { server.Status(nullptr, 1, kZqlStatCsrOpen); });
  return 0;
}
