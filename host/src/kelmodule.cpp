// kelmodule.cpp - loading modules, calling their functions, and the kel_*
// interface they call back.
//
// Whenever the host calls an entry point it opens a context naming the
// engine, the module and (for message 5) the call in progress; the kel_*
// functions act on the innermost open context. They never raise: anything
// that goes wrong inside them becomes RTERROR.
#include "kelmodule.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "kelengine.h"

namespace kel {

void FreeNodeValue(resbuf* rb) {
  if (rb->restype == RTSTR) std::free(rb->resval.rstring);
  if (rb->restype == RTBINARY || rb->restype == RTBINXD) std::free(rb->resval.rbinary.buf);
}

namespace {

struct Context {
  Context(Engine* e, Module* m) : engine(e), module(m) {}
  Engine* engine;
  Module* module;
  bool inCall = false;     // message 5: a LISP call is in progress
  int16_t code = -1;       // its function code
  resbuf* args = nullptr;  // its arguments
  Value result;            // set by kel_ret*
  bool failed = false;     // kel_fail was called
  std::string failText;
};

Context* gContext = nullptr;

// Makes a context current for the life of the scope.
class ContextScope {
 public:
  explicit ContextScope(Context& c) : saved_(gContext) { gContext = &c; }
  ~ContextScope() { gContext = saved_; }
  ContextScope(const ContextScope&) = delete;
  ContextScope& operator=(const ContextScope&) = delete;

 private:
  Context* saved_;
};

std::string DlError(const char* fallback) {
  const char* e = dlerror();
  return e ? e : fallback;
}

// Why a message failed: the kel_fail text, or a generic one.
std::string Reason(const Context& c, const char* generic) {
  return c.failText.empty() ? generic : c.failText;
}

}  // namespace

Module::~Module() { unload(); }

int Module::send(int msg) { return entry_ ? entry_(msg, this) : kHvRxFail; }

bool Module::open(std::string* error) {
  dlerror();
  lib_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib_) {
    *error = DlError("cannot open the library");
    return false;
  }
  entry_ = reinterpret_cast<HvRxEntryPointFn>(dlsym(lib_, "hvrxEntryPoint"));
  if (entry_) return true;
  *error = "no hvrxEntryPoint in the library";
  close();
  return false;
}

void Module::close() {
  dlclose(lib_);  // runs the module's static destructors when it goes
  lib_ = nullptr;
  entry_ = nullptr;
}

bool Module::load(std::string* error) {
  if (!open(error)) return false;
  HvRxLinkerAddApp(this);
  Context c(&engine_, this);
  ContextScope scope(c);
  if (send(kHvRxInitAppMsg) != kHvRxOk || c.failed) {
    *error = Reason(c, "module initialisation failed");
  } else if (send(kHvRxLoadFuncMsg) != kHvRxOk || c.failed) {
    *error = Reason(c, "module could not define its functions");
    send(kHvRxUnloadFuncMsg);  // undo what it defined before failing
    send(kHvRxUnloadAppMsg);
  } else {
    return true;
  }
  HvRxLinkerRemoveApp(this);
  close();
  return false;
}

void Module::unload() {
  if (!lib_) return;
  Context c(&engine_, this);
  {
    ContextScope scope(c);
    send(kHvRxUnloadFuncMsg);
    send(kHvRxUnloadAppMsg);
  }
  HvRxLinkerRemoveApp(this);
  close();
}

bool Engine::loadModule(const std::string& path, std::string* error) {
  // The record stays even when loading fails: functions the module defined
  // before failing may still name it.
  modules_.push_back(std::make_unique<Module>(*this, path));
  std::string why;
  if (modules_.back()->load(&why)) return true;
  if (error) *error = "cannot load module " + path + ": " + why;
  return false;
}

void Engine::unloadModules() {
  // The records stay: values may still name their functions.
  for (auto it = modules_.rbegin(); it != modules_.rend(); ++it) (*it)->unload();
}

Value Engine::callExternal(const ExsubrCell& fn, const std::vector<Value>& args) {
  if (!fn.module->loaded()) Fail("function unavailable, its module is unloaded: " + fn.name);
  RbChain chain;
  for (const Value& v : args) AppendArgument(*this, chain, v, fn.name);
  Context c(this, fn.module);
  c.inCall = true;
  c.code = fn.code;
  c.args = chain.head();
  int status;
  {
    ContextScope scope(c);
    status = fn.module->send(kHvRxInvokeFuncMsg);
  }
  if (status != kHvRxOk || c.failed) Fail(Reason(c, ("function failed: " + fn.name).c_str()));
  return c.result;
}

bool Engine::defineExternal(const char* name, int16_t code, Module* m) {
  Value sym = intern(name);
  if (SymOf(sym)->constant) return false;
  SymOf(sym)->value = Value(new ExsubrCell(SymOf(sym)->name, code, m));
  return true;
}

bool Engine::undefineExternal(const char* name, int16_t code, Module* m) {
  Value sym = intern(name);
  const Value& v = SymOf(sym)->value;
  if (!v.is(Kind::kExsubr)) return false;
  const auto* fn = static_cast<const ExsubrCell*>(v.get());
  if (fn->code != code || fn->module != m) return false;
  SymOf(sym)->value = nullptr;
  return true;
}

}  // namespace kel

using kel::gContext;

namespace {

// The context of a call in progress, or null.
kel::Context* CallContext() { return gContext && gContext->inCall ? gContext : nullptr; }

int SetResult(kel::Value v) {
  kel::Context* c = CallContext();
  if (!c) return RTERROR;
  c->result = std::move(v);
  return RTNORM;
}

}  // namespace

extern "C" {

int kel_defun(const char* name, int16_t code) {
  if (!gContext || !name || !*name) return RTERROR;
  try {
    return gContext->engine->defineExternal(name, code, gContext->module) ? RTNORM : RTERROR;
  } catch (const std::bad_alloc&) {
    return RTERROR;
  }
}

int kel_undef(const char* name, int16_t code) {
  if (!gContext || !name || !*name) return RTERROR;
  try {
    return gContext->engine->undefineExternal(name, code, gContext->module) ? RTNORM : RTERROR;
  } catch (const std::bad_alloc&) {
    return RTERROR;
  }
}

int kel_getfuncode(void) {
  kel::Context* c = CallContext();
  return c ? c->code : -1;
}

resbuf* kel_getargs(void) {
  kel::Context* c = CallContext();
  return c ? c->args : nullptr;
}

int kel_rett(void) {
  kel::Context* c = CallContext();
  return c ? SetResult(c->engine->symT()) : RTERROR;
}

int kel_retnil(void) { return SetResult(nullptr); }

int kel_retint(int32_t value) {
  try {
    return CallContext() ? SetResult(kel::MakeInt(value)) : RTERROR;
  } catch (const std::bad_alloc&) {
    return RTERROR;
  }
}

int kel_retreal(double value) {
  try {
    return CallContext() ? SetResult(kel::MakeReal(value)) : RTERROR;
  } catch (const std::bad_alloc&) {
    return RTERROR;
  }
}

int kel_retstr(const char* text) {
  if (!text) return RTERROR;
  try {
    return CallContext() ? SetResult(kel::MakeStr(text)) : RTERROR;
  } catch (const std::bad_alloc&) {
    return RTERROR;
  }
}

int kel_retlist(const resbuf* chain) {
  kel::Context* c = CallContext();
  if (!c || !chain) return RTERROR;
  try {
    return SetResult(kel::ChainToValue(*c->engine, chain));
  } catch (const kel::LispError&) {
    return RTERROR;
  } catch (const std::bad_alloc&) {
    return RTERROR;
  }
}

int kel_fail(const char* text) {
  if (!gContext) return RTERROR;
  try {
    gContext->failed = true;
    gContext->failText = text ? text : "";
    return RTNORM;
  } catch (const std::bad_alloc&) {
    return RTNORM;  // the failure stands, without its text
  }
}

resbuf* kel_newrb(int type) {
  auto* rb = static_cast<resbuf*>(std::calloc(1, sizeof(resbuf)));
  if (rb) rb->restype = static_cast<int16_t>(type);
  return rb;
}

int kel_relrb(resbuf* chain) {
  while (chain) {
    resbuf* next = chain->rbnext;
    kel::FreeNodeValue(chain);
    std::free(chain);
    chain = next;
  }
  return RTNORM;
}

const char* kel_agetenv(const char* name, const char* fallback) {
  if (!name) return fallback;
  const char* v = std::getenv(name);
  return v ? v : fallback;
}

}  // extern "C"
