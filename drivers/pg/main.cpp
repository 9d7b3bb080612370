// zqlpg: the PostgreSQL driver program, started by the client library with
// the IPC key as its argument.
#include "zqlpg.h"

int main(int argc, char** argv) {
  CZqlDrvKit kit;
  if (kit.Start(argc, argv, SZqlDrvOptions()) != 0) return 1;
  zqlpg::CZqlPgDriver driver;
  CZqlDrvDecoder decoder(&driver, kit.ReplyCapacity());
  return kit.Run(&decoder);
}
