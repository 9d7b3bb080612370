// host_test_util.cpp - temporary files and the zqlsh subprocess.
#include "host_test_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace hosttest {

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

TempDir::TempDir() {
  char tmpl[] = "/tmp/zqlhost-test-XXXXXX";
  const char* dir = mkdtemp(tmpl);
  path_ = dir ? dir : "/tmp";
}

TempDir::~TempDir() {
  std::string cmd = "rm -rf " + ShellQuote(path_);
  if (path_ != "/tmp" && std::system(cmd.c_str()) != 0) {
    ADD_FAILURE() << "cannot remove " << path_;
  }
}

std::string TempDir::Write(const std::string& name, const std::string& text) const {
  std::string file = path_ + "/" + name;
  std::ofstream(file, std::ios::binary) << text;
  return file;
}

ShellRun RunZqlsh(const std::vector<std::string>& args, const std::string& stdinText) {
  TempDir dir;
  std::string in = dir.Write("stdin", stdinText);
  std::string cmd = ShellQuote(HOST_ZQLSH);
  for (const std::string& a : args) cmd += " " + ShellQuote(a);
  cmd += " <" + ShellQuote(in) + " >" + ShellQuote(dir.path() + "/out") + " 2>" +
         ShellQuote(dir.path() + "/err");
  ShellRun r;
  int raw = std::system(cmd.c_str());
  if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  r.out = ReadFile(dir.path() + "/out");
  r.err = ReadFile(dir.path() + "/err");
  return r;
}

}  // namespace hosttest
