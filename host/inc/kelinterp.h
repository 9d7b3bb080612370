// kelinterp.h - the host's LISP interpreter, as zqlsh and the tests drive it.
//
// The LISP is that of CAD applications' embedded interpreters: symbols are
// case-insensitive, integers are 32-bit and wrap around, variables are
// dynamically scoped, and functions are symbol values. Modules (hvrx.h) add
// functions through kel.h.
//
// An Interp is single-threaded. Several may exist one after another; while
// one calls into a module, kel_* requests go to it.
#ifndef ZQLHOST_KELINTERP_H
#define ZQLHOST_KELINTERP_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kel {

class Engine;

// How an evaluation ended.
struct EvalResult {
  enum class Status {
    kOk,     // every form was evaluated
    kError,  // an uncaught LISP error stopped the evaluation
    kExit,   // (exit [n]) was evaluated
  };
  Status status = Status::kOk;
  std::string value;      // kOk: prin1 form of the last value ("nil" if none)
  std::string error;      // kError: the message, without any "; error: "
  int32_t exitCode = 0;   // kExit: the argument of exit, 0 without one
  bool ok() const { return status == Status::kOk; }
};

// Whether a text holds complete forms (see Interp::completeness).
enum class Completeness {
  kComplete,    // every form is closed (or the text is blank)
  kIncomplete,  // a list or string is still open
  kError,       // reading fails whatever follows (an extra ")")
};

class Interp {
 public:
  // Writes output text (princ, print ...); it must not raise.
  using OutputSink = std::function<void(std::string_view)>;
  // Receives the prin1 form of each top-level value (see evalString).
  using ValueSink = std::function<void(const std::string&)>;

  // A fresh interpreter with every built-in defined; output goes to stdout.
  // May raise std::bad_alloc.
  Interp();
  // Unloads the modules (messages 4 and 2, then the library), then frees
  // every value.
  ~Interp();
  Interp(const Interp&) = delete;
  Interp& operator=(const Interp&) = delete;

  // Reads and evaluates every form of text in order. source names the text
  // in relative (load) paths: a file path, or anything else. onValue, if
  // set, receives the prin1 form of each form's value, except for the empty
  // symbol (the value of (princ)), whose form is empty. Never raises.
  EvalResult evalString(std::string_view text, const ValueSink& onValue = {});
  // Loads a file as the LISP function load does (without its ".lsp"
  // default). A file that cannot be read is a kError result.
  EvalResult loadFile(const std::string& path);
  // Tells whether text, read to its end, holds only complete forms.
  Completeness completeness(std::string_view text) const;

  // Loads a module library: messages 1 and 3. On failure answers false and
  // describes why in *error (if error is not null); the module is gone.
  bool loadModule(const std::string& path, std::string* error);
  // Unloads every module, the latest first (messages 4 and 2, then the
  // library). Calls of their functions fail afterwards.
  void unloadModules();

  // Redirects output; a null sink restores stdout.
  void setOutput(OutputSink sink);
  // Writes text to the output.
  void write(std::string_view text);
  // Starts a new output line unless the output is at the start of one.
  void freshLine();
  // Asks the evaluation in progress to stop with the error "Function
  // cancelled", which catch-error does not catch. Async-signal-safe: meant
  // for a SIGINT handler. A request made while nothing runs stops the next
  // evaluation at once.
  void requestCancel();

 private:
  std::unique_ptr<Engine> engine_;
};

}  // namespace kel

#endif  // ZQLHOST_KELINTERP_H
