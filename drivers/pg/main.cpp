// zqlpg: the PostgreSQL driver program, started by the client library with
// the IPC key as its argument.
#include <csignal>

#include "zqlpg.h"

int main(int argc, char** argv) {
  // A server that goes away under a write must fail that request, not end
  // the driver of every client.
  std::signal(SIGPIPE, SIG_IGN);
  CZqlDrvKit kit;
  if (kit.Start(argc, argv, SZqlDrvOptions()) != 0) return 1;
  zqlpg::CZqlPgDriver driver;
  CZqlDrvDecoder decoder(&driver, kit.ReplyCapacity());
  return kit.Run(&decoder);
}
