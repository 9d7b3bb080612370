// Helpers of the configuration tests: a scratch directory, whole-file reads
// and writes, and text conversion for assertions.
#ifndef ZQL_TESTS_CFGTEST_H
#define ZQL_TESTS_CFGTEST_H

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "zqlclass.h"
#include "zqlio.h"

namespace cfgtest {

inline std::string Text(const CZqlUcStr& s) {
  std::string out(static_cast<std::size_t>(s.Chlen()) + 1, '\0');
  s.getToChar(&out[0], static_cast<int>(out.size()));
  out.resize(std::char_traits<char>::length(out.c_str()));
  return out;
}

// The value of key in section, "<none>" when it has none.
template <class Cfg>
std::string Read(Cfg& cfg, const char* section, const char* key) {
  CZqlUcStr v;
  return cfg.readCfgString(section, key, &v) ? Text(v) : "<none>";
}

// The code a call raised, or 0.
template <class F>
int Raised(F&& f) {
  return ZqlTry(f) ? 0 : ZqlTryCode();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// Sets or clears one environment variable for the life of the object.
class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~EnvVar() { Set(old_ ? old_->c_str() : nullptr); }

 private:
  void Set(const char* value) {
    if (value != nullptr)
      setenv(name_.c_str(), value, 1);
    else
      unsetenv(name_.c_str());
  }
  std::string name_;
  std::optional<std::string> old_;
};

// A fresh directory below TMPDIR (or /tmp), removed with its files at the
// end. The environment variables the file search reads are cleared, and
// the working directory is the scratch directory while the object lives.
class ScratchDir {
 public:
  ScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base != nullptr && *base ? base : "/tmp") + "/zqlcfgXXXXXX";
    char* made = mkdtemp(&tmpl[0]);
    EXPECT_NE(made, nullptr);
    path_ = tmpl;
    char cwd[4096];
    old_cwd_ = getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
    EXPECT_EQ(chdir(path_.c_str()), 0);
    path_env_ = std::make_unique<EnvVar>("PATH", (path_ + "/nothing-here").c_str());
  }
  ~ScratchDir() {
    if (chdir(old_cwd_.c_str()) != 0) std::perror("chdir");
    path_env_.reset();  // rm is looked up on the caller's PATH
    const std::string cmd = "rm -rf '" + path_ + "'";
    if (std::system(cmd.c_str()) != 0) std::perror("rm");
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  EnvVar zql_{"ZQL", nullptr};
  EnvVar kova_{"KOVA", nullptr};
  std::unique_ptr<EnvVar> path_env_;
  std::string path_;
  std::string old_cwd_;
};

// A child process that locks a range of path and holds it until told, or
// for hold_ms milliseconds when that is not 0.
class LockHolder {
 public:
  LockHolder(const std::string& path, uint32_t offset, uint32_t length, int hold_ms = 0) {
    int ready[2];
    EXPECT_EQ(pipe(ready), 0);
    EXPECT_EQ(pipe(release_), 0);
    pid_ = fork();
    if (pid_ == 0) {
      CZqlFile f;
      f.Open(path.c_str(), kZqlFileReadWrite | kZqlFileCreateKeep);
      f.Lock(offset, length);
      char c = 'r';
      if (write(ready[1], &c, 1) != 1) _exit(2);
      if (hold_ms > 0) {
        usleep(static_cast<useconds_t>(hold_ms) * 1000);
        _exit(0);
      }
      if (read(release_[0], &c, 1) < 0) _exit(3);
      _exit(0);
    }
    char c;
    EXPECT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    close(ready[1]);
  }
  void Release() {
    if (pid_ <= 0) return;
    char c = 'x';
    EXPECT_EQ(write(release_[1], &c, 1), 1);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  ~LockHolder() {
    Release();
    close(release_[0]);
    close(release_[1]);
  }

 private:
  pid_t pid_ = -1;
  int release_[2] = {-1, -1};
};

}  // namespace cfgtest

#endif  // ZQL_TESTS_CFGTEST_H
