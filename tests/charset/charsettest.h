// Helpers of the character-set tests: a scratch directory with a zql.ini
// that names the shipped definition files (and a test's own), the library's
// resources started from it, and message files compiled from sources.
#ifndef ZQL_TESTS_CHARSETTEST_H
#define ZQL_TESTS_CHARSETTEST_H

#include <gtest/gtest.h>

#include <string>

#include "config/cfgtest.h"
#include "ucdefs.h"
#include "xmc.h"
#include "zqlxmf.h"

namespace charsettest {

using cfgtest::Raised;

// Compiles a message source into a file.
inline void WriteXmx(const std::string& path, const std::string& source) {
  xmc::SModel model;
  xmc::SError error;
  ASSERT_TRUE(xmc::ParseText(path, source, &model, &error)) << error.message;
  std::string bytes;
  ASSERT_TRUE(xmc::Build(model, &bytes, &error)) << error.message;
  cfgtest::WriteFile(path, bytes);
}

// The resources started from a zql.ini in a scratch directory that names
// the shipped character sets and collations; a test adds lines to the
// sections through the Extra... hooks. Everything is ended afterwards.
class Started : public ::testing::Test {
 protected:
  void SetUp() override {
    ZqlTermResource();
    const std::string share = ZQL_TEST_SHARE_DIR;
    cfgtest::WriteFile(dir_.File("zql.ini"),
                       "[ZQL]\nPath = " + share + "\n" + ExtraZql() +
                           "[Character Sets]\n"
                           "ISO-8859-1 = iso-8859-1.xmx\n"
                           "ISO-8859-15 = iso-8859-15.xmx\n"
                           "CP1252 = cp1252.xmx\n"
                           "KOI8-R = koi8-r.xmx\n"
                           "SHIFT_JIS = shift_jis.xmx\n" +
                           Extra() +
                           "[Collations]\n"
                           "german-phonebook = german-phonebook.xmx\n"
                           "spanish-traditional = spanish-traditional.xmx\n" +
                           ExtraCollations());
    Prepare();
    ASSERT_EQ(ZqlInitResource(), 1);
  }
  void TearDown() override { ZqlTermResource(); }

  virtual std::string ExtraZql() { return ""; }
  virtual std::string Extra() { return ""; }
  virtual std::string ExtraCollations() { return ""; }
  // Runs before the resources start (files the zql.ini names).
  virtual void Prepare() {}

  cfgtest::ScratchDir dir_;
};

}  // namespace charsettest

#endif  // ZQL_TESTS_CHARSETTEST_H
