// kelinterp.cpp - the interpreter's public face.
#include "kelinterp.h"

#include "kelengine.h"

namespace kel {

Interp::Interp() : engine_(std::make_unique<Engine>()) {}

Interp::~Interp() = default;

EvalResult Interp::evalString(std::string_view text, const ValueSink& onValue) {
  return engine_->run([&] { return engine_->evalSource(text, std::string(), onValue); });
}

EvalResult Interp::loadFile(const std::string& path) {
  std::string source;
  if (!ReadSourceFile(path, &source)) {
    EvalResult r;
    r.status = EvalResult::Status::kError;
    r.error = "LOAD failed: " + PrintForm(MakeStr(path), true);
    return r;
  }
  return engine_->run([&] { return engine_->evalSource(source, path, {}); });
}

Completeness Interp::completeness(std::string_view text) const {
  Reader reader(*engine_, text);
  Value form;
  try {
    while (reader.next(&form)) {
    }
  } catch (const Reader::Incomplete&) {
    return Completeness::kIncomplete;
  } catch (const LispError&) {
    return Completeness::kError;
  } catch (const std::bad_alloc&) {
    return Completeness::kError;
  }
  return Completeness::kComplete;
}

bool Interp::loadModule(const std::string& path, std::string* error) {
  return engine_->loadModule(path, error);
}

void Interp::unloadModules() { engine_->unloadModules(); }

void Interp::setOutput(OutputSink sink) { engine_->setOutput(std::move(sink)); }

void Interp::write(std::string_view text) { engine_->write(text); }

void Interp::freshLine() { engine_->freshLine(); }

void Interp::requestCancel() { engine_->requestCancel(); }

}  // namespace kel
