// The try table: one per process, in task-data slot 0.
//
// A frame is only a level number here; the transfer itself is a C++
// exception (CZqlTryJump) caught by the ZqlTry template that opened the
// frame. The table keeps the observable state: the level, the current code
// and the place of the first raise.

#include <cstring>

#include "zqltry.h"

namespace {

struct SZqlTryTable {
  int level;         // innermost open frame, -1 when none
  const char* file;  // recorded with the first raise of the current error
  int line;
  int code;  // current error, 0 when none
  SZqlJumpContext frames[kZqlTryMaxLevel + 1];
};

SZqlTryTable* Table() {
  return static_cast<SZqlTryTable*>(ZqlTaskDataGet(kZqlTaskSlotTry));
}

// The table comes from the low layer, never from the tracked allocator,
// which raises its own failures through this table.
SZqlTryTable* TableOrCreate() {
  SZqlTryTable* t = Table();
  if (t != nullptr) return t;
  t = static_cast<SZqlTryTable*>(ZqlMemoryLowAlloc(sizeof(SZqlTryTable)));
  if (t == nullptr) return nullptr;
  t->level = -1;
  ZqlTaskDataSet(kZqlTaskSlotTry, t);
  return t;
}

}  // namespace

int ZqlTryCreate() {
  SZqlTryTable* t = TableOrCreate();
  if (t == nullptr) return 0;
  if (t->level < 0) {  // outermost frame: a new error history begins
    t->code = 0;
    t->line = 0;
    t->file = nullptr;
  }
  if (t->level >= kZqlTryMaxLevel) {
    t->code = kZqlErrInternalTRYCATCHTableOverflow;
    return 0;
  }
  ++t->level;
  t->frames[t->level].level = t->level;
  return 1;
}

SZqlJumpContext* ZqlTryData() {
  SZqlTryTable* t = Table();
  if (t == nullptr || t->level < 0) return nullptr;
  return &t->frames[t->level];
}

int ZqlTryDelete() {
  SZqlTryTable* t = Table();
  if (t == nullptr) return 0;
  if (t->level < 0) {
    t->code = 0;
    return 0;
  }
  --t->level;
  return 1;
}

int ZqlTryThrow(int code, int line, const char* file) {
  SZqlTryTable* t = Table();
  if (t != nullptr && t->level >= 0) {
    if (t->code == 0) {  // first raise of this error keeps its place
      t->line = line;
      t->file = file;
    }
    t->code = code;
    const int target = t->level--;
    throw CZqlTryJump{target};
  }
  ZqlExceptionRecall(code);  // does not return while a handler is open
  return 0;
}

void ZqlRaise(int code, int line, const char* file) {
  ZqlTryThrow(code, line, file);  // leaves whenever a frame or handler is open
  // Nothing open: an entry point forgot its frame. Record the code where a
  // table exists and leave anyway, so that no caller runs on after a raise.
  SZqlTryTable* t = Table();
  if (t != nullptr) {
    if (t->code == 0) {
      t->line = line;
      t->file = file;
    }
    t->code = code;
  }
  throw CZqlTryJump{-1};
}

int ZqlTryReady() {
  SZqlTryTable* t = Table();
  return t != nullptr && t->level >= 0 ? 1 : 0;
}

int ZqlTryCode() {
  SZqlTryTable* t = Table();
  return t != nullptr ? t->code : kZqlErrInternalZQLError;
}

const char* ZqlTryFile() {
  SZqlTryTable* t = Table();
  return t != nullptr && t->file != nullptr ? t->file : "";
}

int ZqlTryLine() {
  SZqlTryTable* t = Table();
  return t != nullptr ? t->line : 0;
}

int ZqlTryLevel() {
  SZqlTryTable* t = Table();
  return t != nullptr ? t->level : -1;
}

namespace zql_detail {

void TryLanded(int level, bool foreign, bool no_memory) noexcept {
  SZqlTryTable* t = Table();
  if (t == nullptr) return;
  // A raise already closed the frame; a foreign exception or a transfer to
  // a handler did not, nor the frames opened without a catching owner.
  if (t->level > level - 1) t->level = level - 1;
  if (foreign) {
    if (t->code == 0) {
      t->line = 0;
      t->file = nullptr;
    }
    t->code = no_memory ? kZqlErrInsufficientMemory : kZqlErrInternalZQLError;
  }
}

}  // namespace zql_detail
