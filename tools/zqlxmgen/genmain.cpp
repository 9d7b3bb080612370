// zqlxmgen: writes generated message sources.
//
//   zqlxmgen errors OUT.xms
//   zqlxmgen charset NAME OUT.xms [ICONV-NAME]
//   zqlxmgen unicode UnicodeData.txt CompositionExclusions.txt OUT.xms
//   zqlxmgen collation SOURCE.col OUT.xms
//
// The output is written to a temporary file and renamed, so that a failing
// run never leaves a partial source behind.

#include <cstdio>
#include <cstring>
#include <string>

#include "gen.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: zqlxmgen errors OUT.xms\n"
               "       zqlxmgen charset NAME OUT.xms [ICONV-NAME]\n"
               "       zqlxmgen unicode UnicodeData.txt CompositionExclusions.txt OUT.xms\n"
               "       zqlxmgen collation SOURCE.col OUT.xms\n");
  return 2;
}

// Runs a generator into path through a temporary file.
template <class F>
int Into(const std::string& path, F&& generate) {
  const std::string temp = path + ".tmp";
  std::FILE* out = std::fopen(temp.c_str(), "w");
  if (out == nullptr) {
    std::perror(temp.c_str());
    return 1;
  }
  int rc = generate(out);
  if (std::fclose(out) != 0 && rc == 0) {
    std::perror(temp.c_str());
    rc = 1;
  }
  if (rc != 0) {
    std::remove(temp.c_str());
    return rc;
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::perror(path.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string what = argv[1];
  if (what == "errors" && argc == 3)
    return Into(argv[2], [](std::FILE* out) { return gen::Errors(out); });
  if (what == "charset" && (argc == 4 || argc == 5)) {
    const std::string name = argv[2];
    const std::string iconvName = argc == 5 ? argv[4] : argv[2];
    return Into(argv[3], [&](std::FILE* out) { return gen::Charset(name, iconvName, out); });
  }
  if (what == "unicode" && argc == 5) {
    const std::string data = argv[2];
    const std::string exclusions = argv[3];
    return Into(argv[4], [&](std::FILE* out) { return gen::Unicode(data, exclusions, out); });
  }
  if (what == "collation" && argc == 4) {
    const std::string source = argv[2];
    return Into(argv[3], [&](std::FILE* out) { return gen::Collation(source, out); });
  }
  return Usage();
}
