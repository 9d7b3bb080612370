// Task data: the four process-wide pointer slots and the library's start
// and end in this process.

#include <cstring>
#include <ctime>

#include "zqlsys.h"
#include "zqlxmf.h"

namespace {

struct SZqlTaskData {
  void* slots[4];
  int error;  // start-up error, raised later by the dispatcher
};

SZqlTaskData gStatic;
SZqlTaskData* gCurrent = &gStatic;

constexpr int kSlotCount = 4;

}  // namespace

int ZqlTaskDataInit() {
  std::memset(&gStatic, 0, sizeof gStatic);
  gCurrent = &gStatic;
  return ZqlInitResource();
}

void ZqlTaskDataTerm() {
  ZqlTermResource();
  if (ZqlSysDump() != nullptr) {
    std::time_t now = std::time(nullptr);
    char title[64] = "\nFinish: at ";
    std::strncat(title, std::ctime(&now), sizeof title - std::strlen(title) - 1);
    ZqlMemoryDump(title);
  }
  // The try table lives as long as the library in this process.
  ZqlMemoryLowFree(gStatic.slots[kZqlTaskSlotTry]);
  std::memset(&gStatic, 0, sizeof gStatic);
}

void* ZqlTaskDataMng(void* p) {
  if (p == reinterpret_cast<void*>(-1)) {
    return ZqlMemoryLowAlloc(sizeof(SZqlTaskData));
  }
  gCurrent = p != nullptr ? static_cast<SZqlTaskData*>(p) : &gStatic;
  return gCurrent;
}

int ZqlTaskDataSet(int slot, void* value) {
  if (slot < 0 || slot >= kSlotCount) return 0;
  gCurrent->slots[slot] = value;
  return 1;
}

void* ZqlTaskDataGet(int slot) {
  if (slot < 0 || slot >= kSlotCount) return nullptr;
  return gCurrent->slots[slot];
}

int ZqlTaskDataFree(void*) { return 1; }
void ZqlTaskDataEnterCritical() {}
void ZqlTaskDataLeaveCritical() {}
void ZqlTaskDataErrSet(int code) { gCurrent->error = code; }
int ZqlTaskDataErrGet() { return gCurrent->error; }

CZqlDDA* ZqlGetCurrentDDA() {
  return static_cast<CZqlDDA*>(ZqlTaskDataGet(kZqlTaskSlotDDA));
}

CZqlDDA* ZqlSetCurrentDDA(CZqlDDA* dda) {
  CZqlDDA* previous = ZqlGetCurrentDDA();
  ZqlTaskDataSet(kZqlTaskSlotDDA, dda);
  return previous;
}

const char* ZqlPlatformName() { return "Unix"; }

CZqlTaskGlobalData::CZqlTaskGlobalData() : init_(ZqlTaskDataInit()) {}
CZqlTaskGlobalData::~CZqlTaskGlobalData() { ZqlTaskDataTerm(); }
int CZqlTaskGlobalData::Error() const { return gStatic.error; }

// Starts the library when it is loaded and ends it when it is unloaded.
static CZqlTaskGlobalData gTaskGlobalData;
