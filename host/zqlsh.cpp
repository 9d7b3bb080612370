// zqlsh - runs ZQL's LISP: script files, expressions, standard input or an
// interactive prompt, with the zqllisp module loaded.
//
// Exit status: 0, the argument of (exit n), or 1 after an uncaught error
// (printed as "; error: TEXT" on standard error) or a usage error.
#include <pthread.h>
#include <signal.h>
#include <sys/select.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#ifndef ZQLSH_NO_READLINE
#include <readline/history.h>
#include <readline/readline.h>
#endif

#include "kelinterp.h"

#ifndef ZQLSH_VERSION
#define ZQLSH_VERSION "0.0"
#endif

namespace {

const char kUsage[] =
    "usage: zqlsh [OPTION]... [FILE]...\n"
    "Runs LISP with the ZQL functions. Loads each FILE in order; with no FILE\n"
    "and no -e, reads an interactive prompt (or standard input when it is not\n"
    "a terminal).\n"
    "\n"
    "  -e EXPR         evaluate EXPR and print its value (may be repeated)\n"
    "  -i              enter the interactive prompt after the files and -e\n"
    "  --module PATH   load the module PATH instead of zqllisp\n"
    "  --no-module     load no module\n"
    "  -h, --help      show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "Exit status: 0; the argument of (exit n); 1 after an uncaught error.\n";

struct Action {
  bool isExpr;       // -e EXPR, else a file
  std::string text;  // the expression or the file name
};

struct Options {
  std::vector<Action> actions;
  std::string module;  // explicit --module, or empty
  bool noModule = false;
  bool interactive = false;
};

// 0 to go on, else 1 + the exit status to end with.
int ParseOptions(int argc, char** argv, Options* o) {
  bool filesOnly = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool needsValue = a == "-e" || a == "--module";
    if (!filesOnly && needsValue && i + 1 >= argc) {
      std::cerr << "zqlsh: " << a << " needs an argument\n" << kUsage;
      return 1 + 1;
    }
    if (filesOnly || a == "-" || a.empty() || a[0] != '-') {
      o->actions.push_back({false, a});
    } else if (a == "--") {
      filesOnly = true;
    } else if (a == "-e") {
      o->actions.push_back({true, argv[++i]});
    } else if (a == "--module") {
      o->module = argv[++i];
    } else if (a == "--no-module") {
      o->noModule = true;
    } else if (a == "-i") {
      o->interactive = true;
    } else if (a == "-h" || a == "--help") {
      std::cout << kUsage;
      return 1 + 0;
    } else if (a == "--version") {
      std::cout << "zqlsh " ZQLSH_VERSION "\n";
      return 1 + 0;
    } else {
      std::cerr << "zqlsh: unknown option " << a << "\n" << kUsage;
      return 1 + 1;
    }
  }
  return 0;
}

// The default module: lib/libzqllisp.so beside the bin/ directory that holds
// this executable. Empty when it does not exist.
std::string DefaultModule() {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return std::string();
  std::string exe(buf.data(), static_cast<size_t>(n));
  std::string dir = exe.substr(0, exe.rfind('/') + 1);
  for (const char* name : {"libzqllisp.so", "zqllisp.so"}) {
    std::string path = dir + "../lib/" + name;
    if (access(path.c_str(), F_OK) == 0) return path;
  }
  return std::string();
}

void PrintError(kel::Interp& interp, const std::string& text) {
  if (isatty(STDOUT_FILENO)) interp.freshLine();
  std::fflush(stdout);
  std::cerr << "; error: " << text << std::endl;
}

// Loads the module the options ask for; false when an explicit one fails.
bool LoadModule(kel::Interp& interp, const Options& o) {
  if (o.noModule) return true;
  std::string path = o.module.empty() ? DefaultModule() : o.module;
  if (path.empty()) return true;  // zqllisp is not built yet: plain LISP
  std::string error;
  if (interp.loadModule(path, &error)) return true;
  if (!o.module.empty()) {
    PrintError(interp, error);
    return false;
  }
  std::fflush(stdout);
  std::cerr << "; warning: " << error << std::endl;
  return true;
}

// What a step answers: nothing to go on, else the exit status to end with.
using Outcome = std::optional<int>;

Outcome Finish(kel::Interp& interp, const kel::EvalResult& r) {
  switch (r.status) {
    case kel::EvalResult::Status::kOk: return std::nullopt;
    case kel::EvalResult::Status::kExit: return r.exitCode;
    case kel::EvalResult::Status::kError: PrintError(interp, r.error); return 1;
  }
  return 1;
}

Outcome RunExpression(kel::Interp& interp, const std::string& expr) {
  kel::EvalResult r = interp.evalString(expr);
  if (r.ok() && !r.value.empty()) {
    interp.freshLine();
    interp.write(r.value + "\n");
  }
  interp.freshLine();
  return Finish(interp, r);
}

// Standard input as a script, evaluated as soon as each form is complete,
// so that a program feeding zqlsh through a pipe sees every answer in time.
Outcome RunStdin(kel::Interp& interp) {
  std::string text, line;
  while (std::getline(std::cin, line)) {
    text += line + "\n";
    if (interp.completeness(text) == kel::Completeness::kIncomplete) continue;
    Outcome status = Finish(interp, interp.evalString(text));
    std::fflush(stdout);
    if (status) return status;
    text.clear();
  }
  return Finish(interp, interp.evalString(text));  // an unfinished form fails
}

// --- interactive prompt -----------------------------------------------------

kel::Interp* gInterp = nullptr;
volatile sig_atomic_t gInterrupted = 0;  // Ctrl-C while reading
volatile sig_atomic_t gEvaluating = 0;

// Ctrl-C cancels the evaluation in progress, or the line being typed.
void OnInterrupt(int) {
  if (gEvaluating && gInterp) {
    gInterp->requestCancel();
  } else {
    gInterrupted = 1;
  }
}

#ifndef ZQLSH_NO_READLINE
std::string HistoryFile() {
  const char* home = std::getenv("HOME");
  return home ? std::string(home) + "/.zqlsh_history" : std::string();
}

// The line readline's callback interface delivered.
struct LineState {
  bool done = false;
  bool eof = false;
  std::string text;
};
LineState gLine;

void OnLine(char* text) {
  gLine.done = true;
  gLine.eof = text == nullptr;
  if (text) gLine.text = text;
  std::free(text);
  rl_callback_handler_remove();
}

// Abandons the line being typed after a Ctrl-C.
void AbandonLine() {
  rl_free_line_state();
  rl_callback_sigcleanup();
  rl_callback_handler_remove();
  std::cout << "^C" << std::endl;
}

// One line with editing and history, or false at end of input. The
// callback interface lets a Ctrl-C interrupt the wait for input (then
// gInterrupted is set and the line is empty).
bool ReadLine(const char* prompt, std::string* line) {
  gLine = LineState();
  rl_callback_handler_install(prompt, OnLine);
  while (!gLine.done) {
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(STDIN_FILENO, &fds);
    if (select(STDIN_FILENO + 1, &fds, nullptr, nullptr, nullptr) >= 0) {
      rl_callback_read_char();
    } else if (errno != EINTR) {
      rl_callback_handler_remove();
      return false;
    } else if (gInterrupted) {
      AbandonLine();
      line->clear();
      return true;
    }
  }
  *line = gLine.text;
  return !gLine.eof;
}
#else
bool ReadLine(const char* prompt, std::string* line) {
  std::fputs(prompt, stdout);
  std::fflush(stdout);
  if (std::getline(std::cin, *line)) return true;
  std::cout << std::endl;  // leave the prompt's line
  return false;
}
#endif

void RememberEntry(const std::string& entry) {
#ifndef ZQLSH_NO_READLINE
  std::string trimmed = entry.substr(0, entry.find_last_not_of(" \t\n") + 1);
  if (!trimmed.empty()) add_history(trimmed.c_str());
#else
  (void)entry;
#endif
}

// Evaluates one complete entry, printing each value.
Outcome EvalEntry(kel::Interp& interp, const std::string& entry) {
  RememberEntry(entry);
  gEvaluating = 1;
  kel::EvalResult r = interp.evalString(entry, [&](const std::string& value) {
    interp.freshLine();
    interp.write(value + "\n");
  });
  gEvaluating = 0;
  interp.freshLine();
  std::fflush(stdout);
  if (r.status == kel::EvalResult::Status::kExit) return r.exitCode;
  if (r.status == kel::EvalResult::Status::kError) PrintError(interp, r.error);
  return std::nullopt;
}

void SetUpPrompt(kel::Interp& interp) {
  gInterp = &interp;
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);  // no SA_RESTART: a blocked read returns
#ifndef ZQLSH_NO_READLINE
  rl_catch_signals = 0;
  stifle_history(1000);
  std::string file = HistoryFile();
  if (!file.empty()) read_history(file.c_str());
#endif
  std::cout << "zqlsh " ZQLSH_VERSION " - ZQL LISP. (exit) or Ctrl-D leaves.\n";
}

void TearDownPrompt() {
#ifndef ZQLSH_NO_READLINE
  std::string file = HistoryFile();
  if (!file.empty()) write_history(file.c_str());
#endif
  signal(SIGINT, SIG_DFL);
  gInterp = nullptr;
}

int RunPrompt(kel::Interp& interp) {
  SetUpPrompt(interp);
  std::string entry, line;
  Outcome status;
  while (!status) {
    bool more = !entry.empty();
    gInterrupted = 0;
    if (!ReadLine(more ? "...> " : "zql> ", &line)) break;
    if (gInterrupted) {  // Ctrl-C: drop the unfinished entry
      entry.clear();
      continue;
    }
    entry += line + "\n";
    if (interp.completeness(entry) == kel::Completeness::kIncomplete) continue;
    status = EvalEntry(interp, entry);
    entry.clear();
  }
  TearDownPrompt();
  return status.value_or(0);
}

// Runs the files and expressions in order.
Outcome RunActions(kel::Interp& interp, const Options& o) {
  for (const Action& a : o.actions) {
    Outcome status = a.isExpr ? RunExpression(interp, a.text)
                     : a.text == "-" ? RunStdin(interp)
                                     : Finish(interp, interp.loadFile(a.text));
    if (status) return status;
  }
  return std::nullopt;
}

int Run(const Options& o) {
  kel::Interp interp;
  if (!LoadModule(interp, o)) return 1;
  Outcome status = RunActions(interp, o);
  if (!status && (o.interactive || o.actions.empty())) {
    bool prompt = o.interactive || isatty(STDIN_FILENO);
    status = prompt ? Outcome(RunPrompt(interp)) : RunStdin(interp);
  }
  if (isatty(STDOUT_FILENO)) interp.freshLine();
  std::fflush(stdout);
  return status.value_or(0);
}

// Deep LISP recursion needs a deep C++ stack: the interpreter runs on a
// thread with this much (reserved, not committed) so that its nesting limit,
// not the stack, is what ends runaway recursion.
constexpr size_t kInterpreterStack = size_t(256) << 20;

struct Job {
  const Options* options;
  int status;
};

void* RunJob(void* arg) {
  // Signals such as Ctrl-C's must reach this thread, which reads the
  // terminal and evaluates, not the waiting main thread.
  sigset_t sigint;
  sigemptyset(&sigint);
  sigaddset(&sigint, SIGINT);
  pthread_sigmask(SIG_UNBLOCK, &sigint, nullptr);
  auto* job = static_cast<Job*>(arg);
  job->status = Run(*job->options);
  return nullptr;
}

// Runs the options on the big-stack thread, or here when it cannot start.
int RunOnBigStack(const Options& options) {
  Job job{&options, 0};
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return Run(options);
  // The driver link takes its reply signals (SIGUSR1, SIGCHLD) with a
  // wait on the interpreter's thread; this thread, which only waits for
  // the other, must never be the one they are delivered to (SIGUSR1 would
  // end the process). The interpreter thread inherits them blocked, which
  // the link's waits expect.
  sigset_t sigint, saved;
  sigemptyset(&sigint);
  sigaddset(&sigint, SIGINT);
  sigaddset(&sigint, SIGUSR1);
  sigaddset(&sigint, SIGCHLD);
  pthread_sigmask(SIG_BLOCK, &sigint, &saved);
  pthread_t thread;
  bool started = pthread_attr_setstacksize(&attr, kInterpreterStack) == 0 &&
                 pthread_create(&thread, &attr, RunJob, &job) == 0;
  pthread_attr_destroy(&attr);
  if (!started) {
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    return Run(options);
  }
  pthread_join(thread, nullptr);
  return job.status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (int done = ParseOptions(argc, argv, &options)) return done - 1;
  return RunOnBigStack(options);
}
