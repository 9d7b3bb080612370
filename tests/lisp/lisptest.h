// lisptest.h - a stand-in root object for the binding tests: registered in
// the host registry the way the module's root is, with a diagnostics area
// that records the binding error codes pushed, a string cache and a handle
// table.
#ifndef ZQL_TESTS_LISPTEST_H
#define ZQL_TESTS_LISPTEST_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hvrx.h"
#include "lispdsc.h"
#include "lispobj.h"
#include "lispstrcash.h"

// Records the codes of errPush(code, text); the rest is not used here.
class TestDiag : public CZqlLispDiagIf {
 public:
  int errQty() override { return static_cast<int>(codes.size()); }
  int errClear() override {
    codes.clear();
    return 1;
  }
  int errPush(const CZqlException*) override {
    codes.push_back(-1);
    return 1;
  }
  int errPush(const CZqlSQLObject*) override { return 0; }
  int errPush(EZqlLispErrCodes code, const char*) override {
    codes.push_back(code);
    return 1;
  }
  int errSetParm(int, const char*) override { return 0; }
  int errSetParm(int, int32_t) override { return 0; }
  char* errGetParm(int, int) override { return nullptr; }
  int errFind(int, const void*) override { return -1; }

  std::vector<int> codes;
};

class TestRoot : public HvRxObject, public CZqlLispObj, public CZqlLispRootIf {
 public:
  explicit TestRoot(HvRxClass* cls) : cls_(cls) {}
  HvRxClass* isA() const override { return cls_; }
  EZqlLispClassId lisA() const override { return kZqlLispClsRoot; }
  CZqlLispRootIf* getRoot() const override {
    return const_cast<TestRoot*>(this);
  }
  CZqlLispDiagIf* getDiag() const override { return &diag_; }
  CZqlLispXmfIf* getXmf() const override { return nullptr; }
  CZqlLispStrCash* getStrCash() const override { return &cash_; }
  CZqlLispHandle& newID(CZqlLispSQLObj* obj) override {
    ++last_;
    if (!table_.addItem(last_, obj, table_.Qty())) return null_;
    return last_;
  }
  int delID(const CZqlLispHandle& handle) override {
    return table_.delItem(handle);
  }

  TestDiag& diag() { return diag_; }
  CZqlLispStrCash& cash() { return cash_; }
  CZqlLispDsc& table() { return table_; }

 private:
  HvRxClass* cls_;
  CZqlLispHandle null_;
  CZqlLispHandle last_;
  mutable TestDiag diag_;
  mutable CZqlLispStrCash cash_;
  CZqlLispDsc table_;
};

// Registers a TestRoot under "ZqlLisp_Class" for the length of a test.
class RootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HvRxClass* cls = newHvRxClass(kZqlLispRootClassName, kHvRxObjectClassName,
                                  0, nullptr, nullptr, nullptr);
    hvrxBuildClassHierarchy();
    root_ = new TestRoot(cls);
    uint32_t id = 0;
    hvrxSysRegistry()->atPut(kZqlLispRegistryKey, root_, id);
  }
  void TearDown() override {
    delete hvrxSysRegistry()->remove(kZqlLispRegistryKey);
  }

  std::vector<int>& codes() { return root_->diag().codes; }
  // The codes pushed since the last call, cleared.
  std::vector<int> taken() {
    std::vector<int> out;
    out.swap(root_->diag().codes);
    return out;
  }

  TestRoot* root_ = nullptr;
};

#endif  // ZQL_TESTS_LISPTEST_H
