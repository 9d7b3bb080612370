// CZqlConfig: the library's configuration file "zql.ini", its platform
// sections and its environments.

#include "confint.h"
#include "zqlconf.h"

namespace {

constexpr const char* kEnvironments = "ENVIRONMENTS";
constexpr const char* kDriverKey = "Driver";

// Runs body as an entry point: a raise inside goes on to the caller's frame
// or handler, or with neither open makes the call answer failure.
template <class Body>
int Guarded(int failure, Body&& body) {
  return ZqlEntry<int>(failure, [&]() -> int { return body(); });
}

CZqlUcStr PlatformName(const CZqlUcStr& name) {
  CZqlUcStr s(name);
  s.Append(".");
  s.Append(ZqlPlatformName());
  return s;
}

// A null argument: raises 0xA00B into the caller's frame or handler, or
// with neither open answers 0.
int NullArguments() {
  return ZqlEntry<int>(0, []() -> int { ZQL_RAISE(kZqlErrInvalidFunctionArguments); });
}

}  // namespace

CZqlConfig::CZqlConfig() : CZqlWinIni("zql.ini") {}

int CZqlConfig::sectionIndex(const CZqlUcStr& name) const {
  const int platform = CZqlWinIni::sectionIndex(PlatformName(name));
  return platform >= 0 ? platform : CZqlWinIni::sectionIndex(name);
}

CZqlUcStr CZqlConfig::newSectionName(const CZqlUcStr& name) const { return PlatformName(name); }

int CZqlConfig::createEnv(const CZqlUcStr& environment, const CZqlUcStr& driver) {
  return Guarded(0, [&] {
    char path[kZqlMaxPath];
    locate(path, true);
    if (openCfgFile(driver) <= 0) return 0;
    CZqlUcStr listed;
    if (!readCfgString(CZqlUcStr(kEnvironments), environment, &listed) &&
        !writeCfgString(CZqlUcStr(kEnvironments), environment, CZqlUcStr(" ")))
      return 0;
    return writeCfgString(environment, CZqlUcStr(kDriverKey), driver);
  });
}

int CZqlConfig::createEnv(const char* environment, const char* driver) {
  if (environment == nullptr || driver == nullptr) return NullArguments();
  return createEnv(CZqlUcStr(environment), CZqlUcStr(driver));
}

int CZqlConfig::dropEnv(const CZqlUcStr& environment) {
  return Guarded(0, [&] {
    char path[kZqlMaxPath];
    locate(path, true);
    if (!writeCfgString(CZqlUcStr(kEnvironments), environment, CZqlUcStr())) return 0;
    if (openCfgFile(environment) <= 0) return 0;
    // The section goes from its header through its last entry; lines after
    // that (comments) stay.
    int dropped = 0;
    const int ok = ZqlTry([&] {
      dropped = rewrite(false, [&](SZqlIniLists& l) {
        const int si = sectionIndex(environment);
        if (si < 0 || l.sections[static_cast<std::size_t>(si)]->entries.empty()) return false;
        const CZqlSection& s = *l.sections[static_cast<std::size_t>(si)];
        const int32_t first = s.line;
        const int32_t last = s.entries.back()->line;
        l.sections.erase(l.sections.begin() + si);
        l.lines.erase(l.lines.begin() + (first - 1), l.lines.begin() + last);
        l.ShiftAfter(last, -(last - first + 1));
        return true;
      });
    });
    // A failing open, lock or rewrite is a refusal, not an error.
    return ok ? dropped : 0;
  });
}

int CZqlConfig::dropEnv(const char* environment) {
  if (environment == nullptr) return NullArguments();
  return dropEnv(CZqlUcStr(environment));
}
