// Fuzz target: the message-file reader. The input is a whole message file;
// the reader may refuse it, but every lookup must stay inside the file.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "zqlxmf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/zql_fuzz_xmf_" + std::to_string(getpid()) + ".xmx";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  CZqlXmfUtil xmf;
  if (xmf.Init(path.c_str())) {
    CZqlUcStr text;
    for (int set = 0; set < 9; ++set)
      for (int m = 0; m < 40; ++m) xmf.Xmsg(set, m, &text);
    xmf.XmfXmsgReset(kZqlTrue);
    for (int m = 1; m < 40; ++m) xmf.Xmsg(1, m, &text);
  }
  xmf.Term();
  std::remove(path.c_str());
  return 0;
}
