// kelmodule.h - loaded modules and the conversion between LISP values and
// resbuf chains.
#ifndef ZQLHOST_KELMODULE_H
#define ZQLHOST_KELMODULE_H

#include <string>
#include <vector>

#include "hvrx.h"
#include "kel.h"
#include "kelvalue.h"

namespace kel {

// Frees what a node owns besides itself: the text of an RTSTR node, the
// bytes of a byte node (see kel.h's memory note). The node keeps its type.
void FreeNodeValue(resbuf* rb);

// Owns a resbuf chain. Its nodes are released as kel_relrb would, but up to
// a few dozen are kept for the next chain: every module call builds one for
// its arguments. Used on the interpreter's thread only.
class RbChain {
 public:
  RbChain() = default;
  ~RbChain();
  RbChain(const RbChain&) = delete;
  RbChain& operator=(const RbChain&) = delete;

  resbuf* head() const { return head_; }
  // Appends a node of the given type; raises std::bad_alloc on failure.
  resbuf* append(int16_t type);

 private:
  resbuf* head_ = nullptr;
  resbuf* tail_ = nullptr;
};

// Appends one argument to a chain: integers as RTSHORT when they fit 16
// bits, else RTLONG; a list of two or three reals as a point; other lists as
// RTLB ... RTLE with RTDOTE before a dotted tail. Raises LispError for
// values with no chain form (symbols other than T, functions).
void AppendArgument(Engine& e, RbChain& chain, const Value& v, const std::string& fnName);

// The LISP value of a result chain (see kel_retlist). Raises LispError for
// a malformed chain.
Value ChainToValue(Engine& e, const resbuf* chain);

// One module library and its entry point.
class Module {
 public:
  Module(Engine& e, std::string path) : engine_(e), path_(std::move(path)) {}
  // Unloads the module if it is still loaded.
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Opens the library and sends messages 1 and 3. On failure the library is
  // closed again and *error says why; answers whether it is loaded.
  bool load(std::string* error);
  // Messages 4 and 2, then closes the library. Nothing when not loaded.
  void unload();
  bool loaded() const { return lib_ != nullptr; }
  const std::string& path() const { return path_; }
  // Sends a message within the kel_* context set up by the caller.
  int send(int msg);

 private:
  // Opens the library and finds its entry point; closes it on failure.
  bool open(std::string* error);
  void close();

  Engine& engine_;
  std::string path_;
  void* lib_ = nullptr;
  HvRxEntryPointFn entry_ = nullptr;
};

}  // namespace kel

// Host-internal side of the dynamic linker: the loader tells it which
// application handles are valid.
void HvRxLinkerAddApp(void* appHandle);
void HvRxLinkerRemoveApp(void* appHandle);

#endif  // ZQLHOST_KELMODULE_H
