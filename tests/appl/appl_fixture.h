// An application object with its own zql.ini: environment DB1 reaches the
// scripted driver, DB2 the same program under another name (a second driver
// process). The drivers trace every operation and read their scripted
// replies from files of the test's directory.
#ifndef ZQL_TESTS_APPL_FIXTURE_H
#define ZQL_TESTS_APPL_FIXTURE_H

#include <memory>
#include <string>
#include <vector>

#include "ipc_fixture.h"
#include "ipclink.h"
#include "zqlappl.h"
#include "zqldispa.h"

namespace zqltest {

// An application object on the test's zql.ini (made by the subclass's
// SetUp, which enters the test's directory).
class ApplBase : public IpcTest {
 protected:
  void TearDown() override {
    app.reset();  // disconnects what a failed test left connected
    ZqlSetCurrentDDA(nullptr);
    IpcTest::TearDown();
  }

  // A new session of the application, connected to environment.
  std::unique_ptr<CZqlSession> Session(const char* environment = "DB1") {
    std::unique_ptr<CZqlSession> s(new CZqlSession(app.get()));
    EXPECT_EQ(ConnectSession(s.get(), environment), 1) << Text(s->ErrMsg(0));
    return s;
  }

  std::unique_ptr<CZqlAppl> app;
};

class ApplTest : public ApplBase {
 protected:
  void SetUp() override {
    ApplBase::SetUp();
    trace_ = dir_ + "/trace";
    script_ = dir_ + "/script";
    setenv("ZQL_TEST_DRIVER_TRACE", trace_.c_str(), 1);
    setenv("ZQL_TEST_DRIVER_SCRIPT", script_.c_str(), 1);
    Ini();
    EnterDir();
    app.reset(new CZqlAppl);
  }

  void TearDown() override {
    Script("");
    unsetenv("ZQL_TEST_DRIVER_TRACE");
    unsetenv("ZQL_TEST_DRIVER_SCRIPT");
    ApplBase::TearDown();
  }

  // Replaces the drivers' scripted replies.
  void Script(const std::string& text) { std::ofstream(script_) << text; }

  // The drivers' operations since the last ClearTrace, one line each.
  std::vector<std::string> Trace() const { return Lines(trace_); }
  void ClearTrace() { std::ofstream(trace_, std::ios::trunc).flush(); }
  // The SQL texts executed at once since the last ClearTrace.
  std::vector<std::string> Sent() const {
    std::vector<std::string> out;
    for (const std::string& line : Trace())
      if (line.rfind("IExecute ", 0) == 0) out.push_back(line.substr(9));
    return out;
  }
  // 1 when an operation whose trace line starts with op was traced.
  bool Traced(const std::string& op) const {
    for (const std::string& line : Trace())
      if (line.rfind(op, 0) == 0) return true;
    return false;
  }

  int Connect(CZqlSession* session, const char* environment = "DB1") {
    return ConnectSession(session, environment);
  }

  std::string trace_, script_;
};

// The codes of an object's conditions, most recent first.
inline std::vector<int> Codes(const CZqlSQLObject& o) {
  std::vector<int> out;
  for (int i = 0; i < o.CondQty(); ++i) out.push_back(o.Err(i));
  return out;
}

}  // namespace zqltest

#endif  // ZQL_TESTS_APPL_FIXTURE_H
