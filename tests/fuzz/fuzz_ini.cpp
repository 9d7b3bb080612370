// Fuzz target: the initialization-file parser and its rewrite. The input is
// the file's contents; every section is read entry by entry, and one entry
// is written and read back.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "zqlconf.h"

namespace {

std::string ScratchFile() {
  return "/tmp/zql_fuzz_ini_" + std::to_string(getpid()) + ".ini";
}

void Exercise(const std::string& path) {
  CZqlWinIni ini(path.c_str());
  ini.SetTimeOut(1);
  const int n = ini.openCfgFile("S");
  CZqlUcStr key, value;
  for (int i = 0; i < n + 2; ++i) ini.getEntry(i, &key, &value);
  ini.readCfgString("S", "k", &value);
  ini.writeCfgString("S", "k", "fuzz");
  ini.writeCfgString("S", "k", "");
  ini.writeCfgString("New", "x", "1");
  ini.openCfgFile("New");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFile();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  ZqlTry([&] { Exercise(path); });  // malformed files raise; that is fine
  std::remove(path.c_str());
  return 0;
}
