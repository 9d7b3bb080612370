// hosttestmod - a small module for the host tests. It registers itself the
// way zqllisp does (registry entry, runtime class, service, dynamic linker)
// and defines TM_* functions that exercise the kel_* interface.
//
// Every message received is appended ("N ") to the file named by the
// environment variable HOST_TESTMOD_LOG, if set. HOST_TESTMOD_FAIL=1 makes
// message 1 fail, HOST_TESTMOD_FAIL=3 makes message 3 fail.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hvrx.h"
#include "kel.h"

namespace {

constexpr const char* kRegistryKey = "HostTestMod_Class";
constexpr const char* kClassName = "CHostTestRoot";

const char* const kFunctions[] = {
    "TM_ECHO", "TM_TYPES", "TM_FAIL", "TM_FAIL3", "TM_ADD",  "TM_PAIRS",
    "TM_LOG",  "TM_HALF",  "TM_T",    "TM_BAD",   "tm_code", "TM_ROOTP",
};
constexpr int16_t kFunctionCount = sizeof kFunctions / sizeof kFunctions[0];

std::string gLog;  // messages received by this load, "1 3 5 ..."
HvRxClass* gDesc = nullptr;

class HostTestRoot : public HvRxObject {
 public:
  HvRxClass* isA() const override { return gDesc; }
};

HvRxObject* MakeRoot() { return new HostTestRoot(); }

void LogMessage(int msg) {
  gLog += std::to_string(msg) + " ";
  const char* path = std::getenv("HOST_TESTMOD_LOG");
  if (!path) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%d ", msg);
    std::fclose(f);
  }
}

bool FailureWanted(const char* which) {
  const char* v = std::getenv("HOST_TESTMOD_FAIL");
  return v && std::strcmp(v, which) == 0;
}

int InitModule(void* appHandle) {
  if (!appHandle || FailureWanted("1")) {
    kel_fail("test module refuses to load");
    return kHvRxFail;
  }
  HvRxDictionary* reg = hvrxSysRegistry();
  if (reg->at(kRegistryKey)) {
    kel_fail("HostTestMod already exists in the Rx dictionary");
    return kHvRxFail;
  }
  HvRxObject* linker = reg->at(kHvRxDynamicLinker);
  if (!linker || !linker->isKindOf(HvRxDynamicLinker::desc()) ||
      !static_cast<HvRxDynamicLinker*>(linker)->registerApp(appHandle)) {
    kel_fail("no dynamic linker");
    return kHvRxFail;
  }
  gDesc = newHvRxClass(kClassName, kHvRxObjectClassName, 0, MakeRoot, 0, 0);
  hvrxBuildClassHierarchy();
  hvrxRegisterService("HostTestMod_Services");
  uint32_t id = 0;
  reg->atPut(kRegistryKey, gDesc->create(), id);
  return kHvRxOk;
}

int TermModule() {
  delete hvrxSysRegistry()->remove(kRegistryKey);
  deleteHvRxClass(gDesc);
  gDesc = nullptr;
  return kHvRxOk;
}

int LoadFunctions() {
  if (FailureWanted("3")) return kHvRxFail;
  for (int16_t i = kFunctionCount - 1; i >= 0; --i) {
    if (kel_defun(kFunctions[i], i) != RTNORM) {
      kel_fail("can't define test functions");
      return kHvRxFail;
    }
  }
  return kHvRxOk;
}

int UnloadFunctions() {
  for (int16_t i = kFunctionCount - 1; i >= 0; --i) kel_undef(kFunctions[i], i);
  return kHvRxOk;
}

// --- the functions ----------------------------------------------------------

resbuf* CopyNode(const resbuf* rb) {
  resbuf* copy = kel_newrb(rb->restype);
  copy->resval = rb->resval;
  if (rb->restype == RTSTR) copy->resval.rstring = strdup(rb->resval.rstring);
  return copy;
}

// TM_ECHO: the arguments back, as a copy released after kel_retlist.
int Echo() {
  resbuf* head = nullptr;
  resbuf** tail = &head;
  for (const resbuf* rb = kel_getargs(); rb; rb = rb->rbnext) {
    *tail = CopyNode(rb);
    tail = &(*tail)->rbnext;
  }
  if (!head) return kel_retnil() == RTNORM ? kHvRxOk : kHvRxFail;
  int status = kel_retlist(head);
  kel_relrb(head);
  return status == RTNORM ? kHvRxOk : kHvRxFail;
}

// TM_TYPES: the type codes of the argument chain, "5003 5016 ...".
int Types() {
  std::string s;
  for (const resbuf* rb = kel_getargs(); rb; rb = rb->rbnext) {
    s += (s.empty() ? "" : " ") + std::to_string(rb->restype);
  }
  kel_retstr(s.c_str());
  return kHvRxOk;
}

int FailWithText() {
  const resbuf* rb = kel_getargs();
  kel_fail(rb && rb->restype == RTSTR ? rb->resval.rstring : "TM_FAIL failed");
  return kHvRxFail;
}

int32_t IntArg(const resbuf* rb) { return rb->restype == RTSHORT ? rb->resval.rint : rb->resval.rlong; }

int Add() {
  const resbuf* a = kel_getargs();
  if (!a || !a->rbnext) {
    kel_fail("TM_ADD: two integers expected");
    return kHvRxFail;
  }
  kel_retint(IntArg(a) + IntArg(a->rbnext));
  return kHvRxOk;
}

resbuf* Node(resbuf*** tail, int type) {
  resbuf* rb = kel_newrb(type);
  **tail = rb;
  *tail = &rb->rbnext;
  return rb;
}

// TM_PAIRS: ((1 . "one") (2 . "two")), built as two top-level items.
int Pairs() {
  resbuf* head = nullptr;
  resbuf** tail = &head;
  const char* names[] = {"one", "two"};
  for (int i = 0; i < 2; ++i) {
    Node(&tail, RTLB);
    Node(&tail, RTSHORT)->resval.rint = static_cast<int16_t>(i + 1);
    Node(&tail, RTDOTE);
    Node(&tail, RTSTR)->resval.rstring = strdup(names[i]);
    Node(&tail, RTLE);
  }
  int status = kel_retlist(head);
  kel_relrb(head);
  return status == RTNORM ? kHvRxOk : kHvRxFail;
}

int Half() {
  const resbuf* a = kel_getargs();
  kel_retreal((a && a->restype == RTREAL ? a->resval.rreal : IntArg(a)) / 2);
  return kHvRxOk;
}

// TM_BAD: kel_retlist on an unbalanced chain; answers its status.
int Bad() {
  resbuf* head = kel_newrb(RTLB);
  head->rbnext = kel_newrb(RTSHORT);
  int status = kel_retlist(head);
  kel_relrb(head);
  kel_retint(status);
  return kHvRxOk;
}

int RootP() {
  HvRxObject* root = hvrxSysRegistry()->at(kRegistryKey);
  HvRxClass* cls = static_cast<HvRxClass*>(
      static_cast<HvRxDictionary*>(hvrxSysRegistry()->at(kHvRxClassDictionary))->at(kClassName));
  bool ok = root && cls && root->isKindOf(cls) && root->isKindOf(HvRxObject::desc());
  return (ok ? kel_rett() : kel_retnil()) == RTNORM ? kHvRxOk : kHvRxFail;
}

int Invoke() {
  switch (kel_getfuncode()) {
    case 0: return Echo();
    case 1: return Types();
    case 2: return FailWithText();
    case 3: return kHvRxFail;
    case 4: return Add();
    case 5: return Pairs();
    case 6: return kel_retstr(gLog.c_str()) == RTNORM ? kHvRxOk : kHvRxFail;
    case 7: return Half();
    case 8: return kel_rett() == RTNORM ? kHvRxOk : kHvRxFail;
    case 9: return Bad();
    case 10: return kel_retint(kel_getfuncode()) == RTNORM ? kHvRxOk : kHvRxFail;
    case 11: return RootP();
    default: return kHvRxFail;
  }
}

}  // namespace

extern "C" int hvrxEntryPoint(int msg, void* appHandle) {
  LogMessage(msg);
  switch (msg) {
    case kHvRxInitAppMsg: return InitModule(appHandle);
    case kHvRxUnloadAppMsg: return TermModule();
    case kHvRxLoadFuncMsg: return LoadFunctions();
    case kHvRxUnloadFuncMsg: return UnloadFunctions();
    case kHvRxInvokeFuncMsg: return Invoke();
    default: return kHvRxOk;
  }
}
