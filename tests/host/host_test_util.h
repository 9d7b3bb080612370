// host_test_util.h - helpers of the host tests: an interpreter with captured
// output, and zqlsh run as a subprocess.
#ifndef ZQLHOST_TESTS_HOST_TEST_UTIL_H
#define ZQLHOST_TESTS_HOST_TEST_UTIL_H

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "kelinterp.h"

namespace hosttest {

// An interpreter whose output is collected in out.
class LispTest : public ::testing::Test {
 protected:
  LispTest() {
    interp.setOutput([this](std::string_view t) { out += t; });
  }

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

  kel::Interp interp;
  std::string out;
};

// A file in a fresh temporary directory, removed with the directory.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  // Writes a file below the directory and answers its path.
  std::string Write(const std::string& name, const std::string& text) const;
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
ShellRun RunZqlsh(const std::vector<std::string>& args, const std::string& stdinText = "");

}  // namespace hosttest

#endif  // ZQLHOST_TESTS_HOST_TEST_UTIL_H
