// ucload.h - the part of loading a character set and a collation from its
// definition file that both share (the rest is in ucload.cpp).

#ifndef ZQL_UCLOAD_H
#define ZQL_UCLOAD_H

#include "ucdefs.h"
#include "zqlconf.h"
#include "zqltry.h"
#include "zqlxmf.h"

// The codes a kind of definition reports its loading errors with.
struct SZqlUcLoadCodes {
  int notNamed;   // no entry for the name in zql.ini
  int notFound;   // the file it names is not on the search path
  int badFormat;  // the file is not a definition of this kind
};

// Loads definition `name` of `section`: finds its file, makes a zeroed
// table, names it, and has read fill it from the opened file. Answers the
// table (the caller's, freed with free), or null after report(code, text)
// with the error and text the name or the file. Exhausted memory frees the
// table and raises on (0xA008).
template <class T, class Read, class Free, class Report>
T* ZqlUcLoadDefinition(const char* section, const char* name, CZqlConfig* config,
                       const SZqlUcLoadCodes& codes, Read read, Free free, Report report) {
  char file[kZqlMaxPath];
  char path[kZqlMaxPath];
  switch (ZqlUcFindDefinition(section, name, config, file, path)) {
    case kZqlUcDefinitionFound:
      break;
    case kZqlUcDefinitionNotNamed:
      report(codes.notNamed, name);
      return nullptr;
    case kZqlUcDefinitionNotFound:
      report(codes.notFound, file);
      return nullptr;
    case kZqlUcDefinitionFailed:
      return nullptr;
  }
  auto* t = static_cast<T*>(ZqlMemoryCalloc(1, sizeof(T)));
  if (t == nullptr) return nullptr;
  CZqlXmfUtil x;
  bool ok = false;
  const int done = ZqlTry([&] {
    t->name = ZqlUcCopyName(name);
    ok = x.Init(path) && read(x, t);
  });
  if (!done && ZqlTryCode() == kZqlErrInsufficientMemory) {
    free(t);
    ZQL_RERAISE();
  }
  if (!done || !ok) {
    free(t);
    report(codes.badFormat, file);
    return nullptr;
  }
  return t;
}

#endif  // ZQL_UCLOAD_H
