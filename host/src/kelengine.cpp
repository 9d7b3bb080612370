// kelengine.cpp - the engine's life, symbols, sources and output.
#include "kelengine.h"

#include <pthread.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "kelmodule.h"

namespace kel {

namespace {

// The lowest stack address this thread's evaluation may reach: the bottom
// of its stack plus room for the deepest built-in, the error formatting and
// the unwinding. Computed once per thread.
uintptr_t StackLimit() {
  constexpr uintptr_t kMargin = uintptr_t(512) << 10;
  static thread_local uintptr_t limit = 0;
  if (limit != 0) return limit;
  auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  limit = here > (uintptr_t(4) << 20) ? here - (uintptr_t(4) << 20) : 1;  // fallback
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return limit;
  void* low = nullptr;
  size_t size = 0;
  if (pthread_attr_getstack(&attr, &low, &size) == 0 && size > 2 * kMargin) {
    limit = reinterpret_cast<uintptr_t>(low) + kMargin;
  }
  pthread_attr_destroy(&attr);
  return limit;
}

std::string UpperCase(std::string_view name) {
  std::string s(name);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool HasExtension(const std::string& name) {
  size_t slash = name.rfind('/');
  size_t dot = name.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

}  // namespace

Engine::Engine() {
  t_ = intern("T");
  SymOf(t_)->value = t_;
  SymOf(t_)->constant = true;
  quote_ = intern("QUOTE");
  lambda_ = intern("LAMBDA");
  slash_ = intern("/");
  empty_ = intern("");
  SymOf(empty_)->constant = true;
  setValue(intern("PI"), MakeReal(3.14159265358979323846));
  RegisterControlBuiltins(*this);
  RegisterMathBuiltins(*this);
  RegisterListBuiltins(*this);
  RegisterStringBuiltins(*this);
}

Engine::~Engine() {
  unloadModules();
  // Values may refer to their own symbols (T's value is T); clearing every
  // value first breaks those cycles so that the table frees everything.
  for (auto& entry : symbols_) SymOf(entry.second)->value = nullptr;
  t_ = quote_ = lambda_ = slash_ = empty_ = nullptr;
  symbols_.clear();
}

Value Engine::intern(std::string_view name) {
  std::string upper = UpperCase(name);
  auto it = symbols_.find(upper);
  if (it != symbols_.end()) return it->second;
  Value sym(new SymCell(upper));
  symbols_.emplace(std::move(upper), sym);
  return sym;
}

void Engine::setValue(const Value& sym, Value v) {
  NeedSym(sym);
  if (SymOf(sym)->constant) Fail("attempt to set a constant: " + SymOf(sym)->name);
  SymOf(sym)->value = std::move(v);
}

void Engine::defineBuiltins(const Builtin* table, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    SymOf(intern(table[i].name))->value = Value(new SubrCell(&table[i]));
  }
}

Engine::DepthGuard::DepthGuard(Engine& e) : e_(e) {
  auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  if (e_.depth_ == 0) e_.stackLimit_ = StackLimit();
  if (e_.depth_ >= kMaxDepth || here < e_.stackLimit_) Fail("stack overflow");
  e_.poll();
  ++e_.depth_;
}

Engine::Binding::~Binding() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    SymOf(it->first)->value = std::move(it->second);
  }
}

void Engine::Binding::bind(const Value& sym, Value v) {
  if (SymOf(sym)->constant) Fail("attempt to set a constant: " + SymOf(sym)->name);
  saved_.emplace_back(sym, SymOf(sym)->value);
  SymOf(sym)->value = std::move(v);
}

Value Engine::evalSource(std::string_view text, const std::string& sourcePath,
                         const Interp::ValueSink& onValue) {
  loading_.push_back(sourcePath);
  struct Pop {
    std::vector<std::string>& v;
    ~Pop() { v.pop_back(); }
  } pop{loading_};
  Reader reader(*this, text);
  Value form, last;
  while (reader.next(&form)) {
    last = eval(form);
    if (onValue && last != empty_) onValue(PrintForm(last, true));
  }
  return last;
}

std::string Engine::findLoadFile(const std::string& name) const {
  std::vector<std::string> candidates{name};
  if (!HasExtension(name)) candidates.push_back(name + ".lsp");
  if (!name.empty() && name[0] != '/' && !loading_.empty()) {
    std::string dir = DirectoryOf(loading_.back());
    if (!dir.empty()) {
      candidates.push_back(dir + name);
      if (!HasExtension(name)) candidates.push_back(dir + name + ".lsp");
    }
  }
  for (const std::string& c : candidates) {
    if (FileExists(c)) return c;
  }
  return std::string();
}

bool ReadSourceFile(const std::string& path, std::string* text) {
  if (!FileExists(path)) return false;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return false;
  *text = s.str();
  return true;
}

EvalResult Engine::run(const std::function<Value()>& body) {
  EvalResult r;
  try {
    r.value = PrintForm(body(), true);
  } catch (const LispError& e) {
    r.status = EvalResult::Status::kError;
    r.error = e.what();
  } catch (const LispExit& e) {
    r.status = EvalResult::Status::kExit;
    r.exitCode = e.code;
  } catch (const std::bad_alloc&) {
    r.status = EvalResult::Status::kError;
    r.error = "insufficient memory";
  } catch (const std::length_error&) {
    r.status = EvalResult::Status::kError;
    r.error = "insufficient memory";
  }
  return r;
}

void Engine::write(std::string_view text) {
  if (text.empty()) return;
  if (sink_) {
    sink_(text);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  atLineStart_ = text.back() == '\n';
}

void Engine::freshLine() {
  if (!atLineStart_) write("\n");
}

}  // namespace kel
