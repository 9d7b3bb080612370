// ucload.cpp - what loading a character set and loading a collation share:
// names, the definition file named in zql.ini, and the end mark.

#include <cstring>

#include "ucdefs.h"
#include "zqlconf.h"
#include "zqlxmf.h"

bool ZqlUcSameName(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a);
    unsigned char y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
    if (x == 0) return true;
  }
}

char* ZqlUcCopyName(const char* name) {
  const std::size_t n = std::strlen(name);
  char* copy = static_cast<char*>(ZqlMemoryMalloc(n + 1));
  if (copy != nullptr) std::memcpy(copy, name, n + 1);
  return copy;
}

bool ZqlUcIsEndMark(const CZqlXmfUtil& x, const char* text, int length) {
  return x.XmfLastType() != kZqlXmfTypeUnits && length == 1 &&
         static_cast<unsigned char>(text[0]) == 0xFF;
}

EZqlUcDefinition ZqlUcFindDefinition(const char* section, const char* name,
                                     CZqlConfig* config, char* file, char* path) {
  return ZqlEntry<EZqlUcDefinition>(kZqlUcDefinitionFailed, [&]() -> EZqlUcDefinition {
    CZqlConfig own;
    CZqlConfig* cfg = config != nullptr ? config : &own;
    CZqlUcStr value;
    int found = 0;
    // Without zql.ini no name is defined: that is the error to report.
    if (!ZqlTry([&] { found = cfg->readCfgString(section, name, &value); }) &&
        ZqlTryCode() != kZqlErrCannotOpenZQLINIFile) {
      ZQL_RERAISE();
    }
    if (!found || value.Length() == 0 || value.Chlen() >= kZqlMaxPath)
      return kZqlUcDefinitionNotNamed;
    value.getToChar(file, kZqlMaxPath);
    CZqlDirMisc dir;
    if (!dir.Find(file, path, kZqlMaxPath)) return kZqlUcDefinitionNotFound;
    return kZqlUcDefinitionFound;
  });
}
