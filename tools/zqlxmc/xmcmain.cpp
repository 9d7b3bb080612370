// zqlxmc: compiles message sources into one binary message file.
//
//   zqlxmc -o OUT.xmx SOURCE.xms [SOURCE.xms ...]
//
// All sources add to one file. A fault is reported as "FILE:LINE: message"
// on standard error and the program exits with status 1 without writing
// the output.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "xmc.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: zqlxmc -o OUTPUT.xmx SOURCE.xms [SOURCE.xms ...]\n");
  return 2;
}

int Report(const xmc::SError& e) {
  std::fprintf(stderr, "%s:%d: %s\n", e.place.file.c_str(), e.place.line, e.message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string output;
  std::vector<std::string> sources;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc)
      output = argv[++i];
    else if (argv[i][0] == '-')
      return Usage();
    else
      sources.push_back(argv[i]);
  }
  if (output.empty() || sources.empty()) return Usage();

  xmc::SModel model;
  xmc::SError error;
  for (const auto& s : sources)
    if (!xmc::ParseFile(s, &model, &error)) return Report(error);
  std::string bytes;
  if (!xmc::Build(model, &bytes, &error)) return Report(error);

  // Written beside the target and renamed, so a failed run leaves no
  // half-written file that a build would take as up to date.
  const std::string temp = output + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "%s: cannot write\n", temp.c_str());
      return 1;
    }
  }
  if (std::rename(temp.c_str(), output.c_str()) != 0) {
    std::perror(output.c_str());
    return 1;
  }
  return 0;
}
