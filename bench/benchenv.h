// benchenv.h - what the benchmarks share: a private zql.ini naming the
// scripted driver (tests/ipc, built next to the benchmarks) as environment
// BENCH, the working directory that finds it, the library's resources, and
// the report of a figure against its peer.
#ifndef ZQL_BENCH_BENCHENV_H
#define ZQL_BENCH_BENCHENV_H

#include <limits.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

namespace zqlbench {

// The folder of this program, with its '/'.
inline std::string BinDir() {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "";
  self[n] = '\0';
  const std::string path(self);
  return path.substr(0, path.rfind('/') + 1);
}

inline std::string DriverPath() { return BinDir() + "zql_test_driver"; }

// The library starts its resources when it is loaded: without ZQL they are
// not found, so the program starts again with ZQL set next to it.
inline void NeedResources(char** argv) {
  if (std::getenv("ZQL") != nullptr || BinDir().empty()) return;
  setenv("ZQL", (BinDir() + "../share/zql").c_str(), 1);
  execv("/proc/self/exe", argv);
}

// A private zql.ini in a folder of its own, so that the run meets no other
// client; removed with the object. Environment BENCH is the scripted
// driver; `more` names further environments (each "NAME = x" line of
// [ENVIRONMENTS]) and `sections` their sections.
struct SIniDir {
  std::string dir, ini;
  explicit SIniDir(const std::string& more = "", const std::string& sections = "") {
    char tmpl[] = "/tmp/zqlbenchXXXXXX";
    if (mkdtemp(tmpl) != nullptr) dir = tmpl;
    ini = dir + "/zql.ini";
    std::ofstream(ini) << "[ZQL]\n[ENVIRONMENTS]\nBENCH = x\n" << more
                       << "[BENCH]\nDriver = SCRIPT\n[SCRIPT]\nPath = " << DriverPath() << "\n"
                       << sections;
  }
  ~SIniDir() {
    std::remove(ini.c_str());
    rmdir(dir.c_str());
  }
  SIniDir(const SIniDir&) = delete;
  SIniDir& operator=(const SIniDir&) = delete;
};

// The working directory, for the lifetime of the object: where the client
// looks for zql.ini.
struct SInDir {
  char saved[PATH_MAX] = {};
  explicit SInDir(const std::string& dir) {
    if (getcwd(saved, sizeof saved) == nullptr || chdir(dir.c_str()) != 0) saved[0] = '\0';
  }
  ~SInDir() {
    if (saved[0] != '\0' && chdir(saved) != 0) std::perror("chdir");
  }
  SInDir(const SInDir&) = delete;
  SInDir& operator=(const SInDir&) = delete;
};

// Runs this process (and the processes it starts) on the CPU it is on when
// ZQL_BENCH_PINNED is set; answers the mode for the report.
inline const char* ApplyPinning() {
  if (std::getenv("ZQL_BENCH_PINNED") == nullptr) return "unpinned";
  const int cpu = sched_getcpu();
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(cpu < 0 ? 0 : cpu, &one);
  return sched_setaffinity(0, sizeof one, &one) == 0 ? "pinned" : "unpinned";
}

// One figure line: ZQL's cost beside its peer's, measured in the same run.
// The ratio is always ZQL's cost over the peer's, so that every goal reads
// the same way: the largest ratio that meets it.
inline void Figure(const char* name, const char* mode, double zql, double peer,
                   const char* unit, double goal) {
  const double ratio = peer > 0 ? zql / peer : 0;
  std::printf("FIGURE %s %s zql=%.3f%s peer=%.3f%s ratio=%.2f goal=%.2f %s\n", name, mode, zql,
              unit, peer, unit, ratio, goal, ratio > 0 && ratio <= goal ? "ok" : "short");
}

// A figure whose goal is a limit on ZQL's own value (a time), printed with
// its unit; the ratio beside it is only what the peer makes of it.
inline void FigureLimit(const char* name, const char* mode, double zql, double peer,
                        const char* unit, double limit) {
  std::printf("FIGURE %s %s zql=%.3f%s peer=%.3f%s ratio=%.2f goal=%.0f%s %s\n", name, mode, zql,
              unit, peer, unit, peer > 0 ? zql / peer : 0, limit, unit,
              zql > 0 && zql <= limit ? "ok" : "short");
}

// Seconds of CPU this thread has used: on a shared machine, time spent
// waiting for the CPU does not count.
inline double CpuNow() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Seconds since an arbitrary start.
inline double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The median of values (which it sorts).
inline double Median(std::vector<double>* values) {
  if (values->empty()) return 0;
  std::sort(values->begin(), values->end());
  return (*values)[values->size() / 2];
}

}  // namespace zqlbench

#endif  // ZQL_BENCH_BENCHENV_H
