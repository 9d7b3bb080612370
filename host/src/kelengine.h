// kelengine.h - the interpreter's internals: symbols, evaluation, built-ins,
// output and modules.
#ifndef ZQLHOST_KELENGINE_H
#define ZQLHOST_KELENGINE_H

#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kelinterp.h"
#include "kelvalue.h"

namespace kel {

// One built-in. Exactly one of fn (a function: arguments evaluated) and
// special (a special form: the unevaluated argument list) is set.
struct Builtin {
  const char* name;
  int16_t minArgs;
  int16_t maxArgs;  // -1: any number
  Value (*fn)(Engine& e, std::vector<Value>& args);
  Value (*special)(Engine& e, const Value& args);
};

// Built-in tables of the families, defined in kelbi*.cpp.
void RegisterControlBuiltins(Engine& e);
void RegisterMathBuiltins(Engine& e);
void RegisterListBuiltins(Engine& e);
void RegisterStringBuiltins(Engine& e);

class Engine {
 public:
  // Deepest nesting of evaluations (and of reading and converting nested
  // lists) before "stack overflow". A thread whose C++ stack is too small
  // for it gets the error earlier, when the stack runs short.
  static constexpr int32_t kMaxDepth = 30000;

  Engine();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // --- symbols --------------------------------------------------------
  // The symbol of that name, upper-cased, created on first use.
  Value intern(std::string_view name);
  const Value& symT() const { return t_; }
  const Value& symQuote() const { return quote_; }
  const Value& symLambda() const { return lambda_; }
  const Value& symSlash() const { return slash_; }
  // The empty symbol, value of (princ): prints as nothing.
  const Value& symEmpty() const { return empty_; }
  Value boolValue(bool b) const { return b ? t_ : Value(); }
  // Sets a symbol's value; raises for a non-symbol or a constant.
  void setValue(const Value& sym, Value v);
  // Adds a table of built-ins as symbol values.
  void defineBuiltins(const Builtin* table, size_t n);

  // --- evaluation -----------------------------------------------------
  // Everything below may raise LispError (LispCancel included), LispExit
  // and std::bad_alloc; Binding and DepthGuard undo their work on the way
  // out, so the engine stays usable after any of them.

  // The value of a form: symbols give their value, lists are calls, other
  // values stand for themselves.
  Value eval(const Value& form);
  // Evaluates a list of forms; the last value, nil for none.
  Value progn(const Value& forms);
  // Calls a function value with evaluated arguments.
  Value apply(const Value& fn, std::vector<Value>& args);
  // The function a value designates for apply, mapcar ...: a function, a
  // symbol whose value is one, or a (LAMBDA ...) list. Raises otherwise.
  Value toFunction(const Value& designator);
  // A function from (ARGLIST BODY...); raises on a bad argument list.
  Value makeLambda(const Value& definition, std::string name);

  // Counts one level of nesting for the life of the guard, and raises
  // "stack overflow" past kMaxDepth or when the C++ stack runs short.
  class DepthGuard {
   public:
    explicit DepthGuard(Engine& e);
    ~DepthGuard() { --e_.depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

   private:
    Engine& e_;
  };

  // Saves symbol values and restores them when it ends (dynamic scope).
  class Binding {
   public:
    Binding() = default;
    ~Binding();
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;
    void bind(const Value& sym, Value v);

   private:
    std::vector<std::pair<Value, Value>> saved_;  // symbol, previous value
  };

  // --- sources --------------------------------------------------------
  // Reads and evaluates the forms of text; sourcePath (may be empty) is the
  // file the text came from, for relative loads. Each value goes to
  // onValue when set. Answers the last value.
  Value evalSource(std::string_view text, const std::string& sourcePath,
                   const Interp::ValueSink& onValue);
  // The file a (load) name designates: as given, then with ".lsp" when it
  // has no extension; relative names also in the directory of the file
  // being loaded. Empty when none exists.
  std::string findLoadFile(const std::string& name) const;
  // Runs body, turning what it raises into an EvalResult.
  EvalResult run(const std::function<Value()>& body);

  // Raises "Function cancelled" (LispCancel) when requestCancel was called
  // since the last poll. Long-running loops call it.
  void poll() {
    if (cancel_) {
      cancel_ = 0;
      throw LispCancel("Function cancelled");
    }
  }
  // Async-signal-safe.
  void requestCancel() { cancel_ = 1; }

  // --- output ---------------------------------------------------------
  void setOutput(Interp::OutputSink sink) { sink_ = std::move(sink); }
  void write(std::string_view text);
  void freshLine();

  // --- modules (kelmodule.cpp) ----------------------------------------
  bool loadModule(const std::string& path, std::string* error);
  void unloadModules();
  // Calls a module function with evaluated arguments.
  Value callExternal(const ExsubrCell& fn, const std::vector<Value>& args);
  // kel_defun / kel_undef on behalf of a module.
  bool defineExternal(const char* name, int16_t code, Module* m);
  bool undefineExternal(const char* name, int16_t code, Module* m);

 private:
  Value evalCall(const Value& form);
  // The argument vector of the innermost call being evaluated, kept from
  // call to call so that a call allocates no vector: one per nesting level,
  // emptied when its call ends (its values released at once).
  class ArgFrame {
   public:
    explicit ArgFrame(Engine& e);
    ~ArgFrame();
    ArgFrame(const ArgFrame&) = delete;
    ArgFrame& operator=(const ArgFrame&) = delete;
    std::vector<Value>& args() { return *args_; }

   private:
    Engine& e_;
    std::vector<Value>* args_;
  };
  Value headFunction(const Value& head);
  Value callUsubr(const UsubrCell& fn, std::vector<Value>& args);

  std::vector<std::unique_ptr<Module>> modules_;
  std::unordered_map<std::string, Value> symbols_;
  Value t_, quote_, lambda_, slash_, empty_;
  int32_t depth_ = 0;
  // Argument vectors by nesting level (ArgFrame); unique_ptr so that growing
  // the stack does not move a vector a call is filling.
  std::vector<std::unique_ptr<std::vector<Value>>> argStack_;
  size_t argTop_ = 0;
  uintptr_t stackLimit_ = 0;  // see DepthGuard
  std::vector<std::string> loading_;  // files being loaded, innermost last
  Interp::OutputSink sink_;
  bool atLineStart_ = true;
  volatile std::sig_atomic_t cancel_ = 0;
};

// Reads forms from a text.
class Reader {
 public:
  // Raised when the text ends inside a form: more text may complete it.
  class Incomplete : public LispError {
   public:
    using LispError::LispError;
  };

  Reader(Engine& e, std::string_view text) : e_(e), text_(text) {}
  // Reads the next form into *out; false when only blanks and comments
  // remain. Raises LispError (Incomplete at the end of the text) on
  // malformed input.
  bool next(Value* out);

 private:
  Value readForm();
  Value readList();
  Value readString();
  Value readAtom();
  void skipBlanks();
  bool atEnd() const { return pos_ >= text_.size(); }

  Engine& e_;
  std::string_view text_;
  size_t pos_ = 0;
};

// Reads a whole regular file into *text; false when it cannot.
bool ReadSourceFile(const std::string& path, std::string* text);

// The length of the longest number at the start of text (0 if none); sets
// *isInt when that number is an integer (which may not fit 32 bits).
size_t ScanNumber(std::string_view text, bool* isInt);

// Built-in helpers shared by the families.
inline void NeedNumber(const Value& v) {
  if (!IsNumber(v)) BadType("numberp", v);
}
inline void NeedInt(const Value& v) {
  if (!v.is(Kind::kInt)) BadType("fixnump", v);
}
inline void NeedStr(const Value& v) {
  if (!v.is(Kind::kStr)) BadType("stringp", v);
}
inline void NeedSym(const Value& v) {
  if (!v.is(Kind::kSym)) BadType("symbolp", v);
}
inline void NeedList(const Value& v) {
  if (!IsList(v)) BadType("listp", v);
}

}  // namespace kel

#endif  // ZQLHOST_KELENGINE_H
