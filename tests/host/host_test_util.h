// host_test_util.h - helpers of the host tests: an interpreter with captured
// output, temporary files, and zqlsh run as a subprocess.
#ifndef ZQLHOST_TESTS_HOST_TEST_UTIL_H
#define ZQLHOST_TESTS_HOST_TEST_UTIL_H

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "kelinterp.h"

namespace hosttest {

// One expression and the result Eval answers for it.
struct EvalCase {
  const char* in;
  const char* want;
};

// An interpreter whose output is collected in out.
class LispTest : public ::testing::Test {
 protected:
  LispTest() { interp.setOutput([this](std::string_view t) { out += t; }); }

  // The prin1 form of the last value, "error: TEXT" after an uncaught
  // error, or "exit: N".
  std::string Eval(std::string_view text) {
    kel::EvalResult r = interp.evalString(text);
    switch (r.status) {
      case kel::EvalResult::Status::kOk: return r.value;
      case kel::EvalResult::Status::kError: return "error: " + r.error;
      case kel::EvalResult::Status::kExit: return "exit: " + std::to_string(r.exitCode);
    }
    return "?";
  }
  // Evaluates the cases in order in this interpreter (state carries over).
  void ExpectAll(std::initializer_list<EvalCase> cases) {
    for (const EvalCase& c : cases) EXPECT_EQ(Eval(c.in), c.want) << c.in;
  }

  kel::Interp interp;
  std::string out;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// A fresh temporary directory, removed with its files.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/zqlhost-test-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    path_ = dir ? dir : "/tmp";
  }
  ~TempDir() {
    std::string cmd = "rm -rf " + ShellQuote(path_);
    if (path_ != "/tmp" && std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << path_;
  }
  // Writes a file below the directory and answers its path.
  std::string Write(const std::string& name, const std::string& text) const {
    std::string file = path_ + "/" + name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct ShellRun {
  int status = -1;  // exit status, or -1 when the process did not exit
  std::string out;
  std::string err;
};

// Runs zqlsh with the arguments (and stdinText on standard input, not a
// terminal).
inline ShellRun RunZqlsh(const std::vector<std::string>& args, const std::string& stdinText = "") {
  TempDir dir;
  std::string cmd = ShellQuote(HOST_ZQLSH);
  for (const std::string& a : args) cmd += " " + ShellQuote(a);
  cmd += " <" + ShellQuote(dir.Write("stdin", stdinText)) + " >" + ShellQuote(dir.path() + "/out") +
         " 2>" + ShellQuote(dir.path() + "/err");
  ShellRun r;
  int raw = std::system(cmd.c_str());
  if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  r.out = ReadFile(dir.path() + "/out");
  r.err = ReadFile(dir.path() + "/err");
  return r;
}

}  // namespace hosttest

#endif  // ZQLHOST_TESTS_HOST_TEST_UTIL_H
