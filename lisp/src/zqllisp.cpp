// zqllisp.cpp - the module's entry point: loading and unloading in the
// host, the registration of the root object and the LISP function table.
#include <new>
#include <typeinfo>

#include "hvrx.h"
#include "kel.h"
#include "lisproot.h"

namespace {

constexpr const char kServiceName[] = "ZqlLisp_Services";

HvRxObject* NewRoot() { return new (std::nothrow) CZqlLispRoot; }

int initModule() {
  HvRxDictionary* registry = hvrxSysRegistry();
  if (registry->at(kZqlLispRegistryKey)) {
    kel_fail("ZqlLisp already exists in the Rx dictionary");
    return 0;
  }
  if (!CZqlLispRoot::gpDesc)
    CZqlLispRoot::gpDesc = newHvRxClass(kZqlLispRootClassName,
                                        kHvRxObjectClassName, 0, NewRoot,
                                        nullptr, nullptr);
  hvrxBuildClassHierarchy();
  hvrxRegisterService(kServiceName);
  CZqlLispRoot* root = new (std::nothrow) CZqlLispRoot;
  if (!root) {
    kel_fail("no memory");
    return 0;
  }
  if (root->init() != 1) {
    delete root;
    return 0;
  }
  uint32_t id = 0;
  registry->atPut(kZqlLispRegistryKey, root, id);
  return 1;
}

void termModule() {
  HvRxObject* root = hvrxSysRegistry()->remove(kZqlLispRegistryKey);
  delete root;
  if (CZqlLispRoot::gpDesc) {
    deleteHvRxClass(CZqlLispRoot::gpDesc);
    CZqlLispRoot::gpDesc = nullptr;
  }
}

int loadfunc() {
  for (int i = kZqlLispFunCount - 1; i >= 0; --i) {
    if (!ZqlLispFunNames[i]) continue;
    if (kel_defun(ZqlLispFunNames[i], static_cast<int16_t>(i)) != RTNORM) {
      kel_fail("can't define ZQLLISP functions");
      return 0;
    }
  }
  return 1;
}

void unloadfunc() {
  for (int i = kZqlLispFunCount - 1; i >= 0; --i) {
    if (ZqlLispFunNames[i]) kel_undef(ZqlLispFunNames[i], static_cast<int16_t>(i));
  }
}

}  // namespace

CZqlLispRoot* getRoot() {
  CZqlLispRootIf* root = ZqlLispFindRoot();
  // Every call asks: the exact class is one compare, the cast a search.
  auto* found = root && typeid(*root) == typeid(CZqlLispRoot) ? static_cast<CZqlLispRoot*>(root)
                                                              : dynamic_cast<CZqlLispRoot*>(root);
  if (!found) kel_fail("can't get ZqlLisp from the Rx dictionary");
  return found;
}

extern "C" __attribute__((visibility("default"))) int hvrxEntryPoint(
    int msg, void* appHandle) {
  try {
    switch (msg) {
      case kHvRxInitAppMsg: {
        if (appHandle) {
          auto* linker = dynamic_cast<HvRxDynamicLinker*>(
              hvrxSysRegistry()->at(kHvRxDynamicLinker));
          if (linker) linker->registerApp(appHandle);
        }
        if (initModule() != 1) {
          kel_fail("can't initialize ZqlLisp");
          return kHvRxFail;
        }
        return kHvRxOk;
      }
      case kHvRxUnloadAppMsg:
        termModule();
        return kHvRxOk;
      case kHvRxLoadFuncMsg:
        return loadfunc() == 1 ? kHvRxOk : kHvRxFail;
      case kHvRxUnloadFuncMsg:
        unloadfunc();
        return kHvRxOk;
      case kHvRxInvokeFuncMsg: {
        CZqlLispRoot* root = getRoot();
        return root ? root->execFun() : kHvRxFail;
      }
      default:
        return kHvRxOk;
    }
  } catch (...) {
    kel_fail("internal error in the ZQL LISP interface");
    return kHvRxFail;
  }
}
