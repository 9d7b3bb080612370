// The resource layer: the settings of the section "ZQL" of zql.ini, the
// library's message file zqlloc.xmx, and the message texts with their
// fallbacks.
//
// The state is plain static data with constant initial values, because the
// library's static task-data object starts the resources while the library
// is being loaded, before any other static object of this file could have
// been constructed.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "salloc.h"
#include "ucdefs.h"
#include "zqlconf.h"
#include "zqlxmf.h"

namespace {

enum EZqlResState : int {
  kResNotStarted = -1,
  kResStarting = 0,  // also the state after a failed start
  kResStarted = 1,
};

constexpr int kDumpMax = 255;
constexpr int kPathMax = 511;
constexpr int kXmxPathMax = 255;
constexpr int kNameMax = 256;
constexpr const char* kSection = "ZQL";
constexpr const char* kMessageFile = "zqlloc.xmx";
constexpr const char* kNoFileText = "Cannot find zqlloc.xmx and no default message";
constexpr const char* kNoMessageText = "Invalid message index and no default message";

int gState = kResNotStarted;
CZqlXmfUtil* gReader = nullptr;  // owned
long gMaxmem = -1;
int gDebug = 0;
char gDump[kDumpMax + 1] = "";
char gPath[kPathMax + 1] = "";

// The value of key in the section, cut to max characters, into out; ""
// when absent.
void ReadSetting(CZqlConfig& cfg, const char* key, char* out, int max) {
  CZqlUcStr value;
  out[0] = '\0';
  if (cfg.readCfgString(kSection, key, &value)) value.getToChar(out, max + 1);
}

// Reads the section "ZQL". A missing zql.ini raises 0xB013, leaving the
// settings at their defaults.
void ReadSettings(CZqlConfig& cfg) {
  gMaxmem = -1;
  gDebug = 0;
  gDump[0] = '\0';
  gPath[0] = '\0';
  char text[kPathMax + 1];
  ReadSetting(cfg, "Memmax", text, kPathMax);
  gMaxmem = text[0] != '\0' ? std::strtol(text, nullptr, 10) : -1;
  ZqlMemorySetCeiling(gMaxmem);
  ReadSetting(cfg, "Memlog", gDump, kDumpMax);
  ReadSetting(cfg, "Debug", text, kPathMax);
  gDebug = CZqlUcStr(text).Compi("Yes") == 0 ? 1 : 0;
  ReadSetting(cfg, "Path", gPath, kPathMax);
}

// Finds and opens the message file into reader.
void OpenMessages(CZqlXmfUtil& reader) {
  CZqlDirMisc dir;
  char path[kXmxPathMax + 1];
  if (!dir.Find(kMessageFile, path, sizeof path)) ZQL_RAISE(kZqlErrCannotFindZqllocXmx);
  if (!reader.Init(path)) ZQL_RERAISE();
}

// The setting key of the section ZQL as a name of at most 256 characters,
// or fallback when it is absent or empty.
void ReadName(CZqlConfig& cfg, const char* key, const char* fallback, char* out) {
  ReadSetting(cfg, key, out, kNameMax);
  if (out[0] == '\0') std::snprintf(out, kNameMax + 1, "%s", fallback);
}

void Start() {
  CZqlConfig cfg;
  ReadSettings(cfg);
  gReader = new CZqlXmfUtil;
  OpenMessages(*gReader);
  ZqlUcLoadCPT();
  char name[kNameMax + 1];
  ReadName(cfg, "Names", gReader->XmfInfoCop(), name);
  if (ZqlUcLoadDefaultCCT(name, &cfg) == nullptr) ZQL_RERAISE();
  ReadName(cfg, "Collation", "unicode", name);
  if (ZqlUcLoadDefaultCLT(name, &cfg) == 0) ZQL_RERAISE();
}

// Ends the tables the start loads and the message file.
void Stop() {
  ZqlUcTermCCT();
  ZqlUcTermCLT();
  ZqlUcTermCPT();
  delete gReader;
  gReader = nullptr;
}

}  // namespace

int ZqlInitResource() {
  if (gState != kResNotStarted) return gState == kResStarted ? 1 : 0;
  gState = kResStarting;
  if (!ZqlTry([] { Start(); })) {
    ZqlTaskDataErrSet(ZqlTryCode());
    Stop();
    return 0;
  }
  gState = kResStarted;
  return 1;
}

int ZqlTermResource() {
  Stop();
  gState = kResNotStarted;
  return 1;
}

int ZqlGetResStrObj(int set, int number, const char* deflt, CZqlUcStr* out) {
  if (out == nullptr) return 0;
  const bool started = ZqlInitResource() == 1;
  if (started && gReader->Xmsg(set, number, out)) return 1;
  const char* fallback = deflt != nullptr ? deflt : started ? kNoMessageText : kNoFileText;
  if (!ZqlTry([&] { out->Copy(fallback); })) out->Clear();
  return 1;
}

int ZqlGetResString(int set, int number, const char* deflt, int count, unsigned short* buffer) {
  if (buffer == nullptr || count < 1) return 0;
  CZqlUcStr text;
  ZqlGetResStrObj(set, number, deflt, &text);
  text.getToUcChar(buffer, count);
  return 1;
}

CZqlXmfUtil* ZqlGetXmxObj() { return gReader; }
const char* ZqlSysPath() { return gPath; }
long ZqlSysMaxmem() { return gMaxmem; }
int ZqlSysDebug() { return gDebug; }
const char* ZqlSysDump() { return gDump[0] != '\0' ? gDump : nullptr; }
