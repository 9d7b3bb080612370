// zqlslt: runs sqllogictest files through the ZQL client library.
//   zqlslt [--env NAME] [--engine sqlite|postgresql] [--verbose]
//          [--timeout SECONDS] FILE...
// Exit status: 0 when every record passed or was skipped, 1 when any
// failed, 2 for a usage error.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sltrun.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: zqlslt [--env NAME] [--engine sqlite|postgresql] [--verbose] "
               "[--timeout SECONDS] FILE...\n"
               "  --env      environment of zql.ini (default MEMORY for sqlite, POSTGRESQL otherwise)\n"
               "  --engine   the name skipif/onlyif lines are matched against (default sqlite)\n"
               "  --verbose  a line for every record\n"
               "  --timeout  seconds one record may take (default 60)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  zqlslt::SSltOptions options;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--env") {
      if (!value(&options.env)) return Usage();
    } else if (a == "--engine") {
      if (!value(&options.engine) || (options.engine != "sqlite" && options.engine != "postgresql"))
        return Usage();
    } else if (a == "--verbose") {
      options.verbose = true;
    } else if (a == "--timeout") {
      if (!value(&v)) return Usage();
      char* end = nullptr;
      const long t = std::strtol(v.c_str(), &end, 10);
      if (*end != '\0' || t < 1 || t > 86400) return Usage();
      options.timeout = static_cast<int>(t);
    } else if (a == "--help" || a == "-h") {
      Usage();
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) return Usage();
  if (options.env.empty()) options.env = options.engine == "sqlite" ? "MEMORY" : "POSTGRESQL";

  const auto began = std::chrono::steady_clock::now();
  zqlslt::SSltCounts total;
  {
    zqlslt::CSltRunner runner(options, stdout);
    if (!runner.Start()) return 1;
    for (const std::string& f : files) total += runner.RunFile(f);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  const long long run = static_cast<long long>(total.passed + total.failed);
  std::printf("total: %lld passed, %lld failed, %lld skipped (%s, %lld records in %.2f s, %.0f records/s)\n",
              static_cast<long long>(total.passed), static_cast<long long>(total.failed),
              static_cast<long long>(total.skipped), options.engine.c_str(), run, seconds,
              seconds > 0 ? static_cast<double>(run) / seconds : 0.0);
  return total.failed > 0 ? 1 : 0;
}
