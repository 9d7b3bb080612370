// uctest.h - helpers of the 16-bit text tests.
#ifndef ZQL_TESTS_UNICODE_UCTEST_H
#define ZQL_TESTS_UNICODE_UCTEST_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ucdefs.h"
#include "zqltry.h"
#include "zqlucode.h"

// Zero-terminated 16-bit text from ASCII.
inline std::vector<unsigned short> W(const char* ascii) {
  std::vector<unsigned short> v;
  for (; *ascii != 0; ++ascii) v.push_back(static_cast<unsigned char>(*ascii));
  v.push_back(0);
  return v;
}

// Runs body in a try frame and answers the code it raised, 0 when none.
template <class Body>
int Raised(Body body) {
  return ZqlTry(body) ? 0 : ZqlTryCode();
}

#endif  // ZQL_TESTS_UNICODE_UCTEST_H
