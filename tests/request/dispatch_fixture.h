// A dispatcher client with its own zql.ini: environment DB1 reaches the
// scripted driver, DB2 the same program under another name (a second
// driver process).
#ifndef ZQL_TESTS_REQUEST_DISPATCH_FIXTURE_H
#define ZQL_TESTS_REQUEST_DISPATCH_FIXTURE_H


#include "client_fixture.h"
#include "loop_server.h"
#include "zqlcol.h"
#include "zqlident.h"

namespace zqltest {

class DispatchTest : public DispClientTest {
 protected:
  void SetUp() override {
    DispClientTest::SetUp();
    log_ = dir_ + "/driver.log";
    setenv("ZQL_TEST_DRIVER_LOG", log_.c_str(), 1);
    Ini();
    StartClient();
  }

  int Connect(uint32_t* session, const char* environment = "DB1", const char* user = "") {
    return ConnectAs(session, environment, user);
  }

  int Count(CZqlDspObj* SZqlDispRec::*list) const {
    return (client->Record()->*list)->cntObj();
  }

  // The driver's log: one "code=..." line per packed request.
  std::vector<std::string> Log() const { return Lines(log_); }
  // The request codes of the log, in order.
  std::vector<int> Codes() const {
    std::vector<int> out;
    for (const std::string& line : Log()) out.push_back(std::atoi(line.c_str() + 5));
    return out;
  }

  std::string log_;
};

// The integer value of output i of area, or INT32_MIN.
inline long OutInt(const CZqlDDA& area, int i) {
  CZqlData* v = nullptr;
  long out = INT32_MIN;
  if (area.OutDsc(i)->getBind(&v)) v->getValue(&out);
  return out;
}

}  // namespace zqltest

#endif  // ZQL_TESTS_REQUEST_DISPATCH_FIXTURE_H
