// zqlsqlite: the SQLite driver process. Started by a client with the IPC
// key of its zql.ini as the only argument; serves requests until stopped.

#include <cstdlib>

#include "zqldrvkit.h"
#include "zqlsqlite.h"

int main(int argc, char** argv) {
  CZqlDrvKit kit;
  SZqlDrvOptions options;
  options.segmentSize = 1024 * 1024;  // rows of many long columns fit
  if (kit.Start(argc, argv, options) != 0) return 1;
  const int32_t key = static_cast<int32_t>(std::strtol(argv[1], nullptr, 10));
  zqlsqlite::CSqliteDriver driver(key);
  CZqlDrvDecoder decoder(&driver, kit.ReplyCapacity());
  return kit.Run(&decoder);
}
