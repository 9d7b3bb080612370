// zqlsys.h - process-level services of the ZQL library: basic types, the
// block allocator and the per-process task data.
//
// Everything here is process-wide and unlocked: the library runs on one
// thread per process (the host's LISP thread), and processes meet only
// through the driver link.
#ifndef ZQL_ZQLSYS_H
#define ZQL_ZQLSYS_H

#include <cstddef>
#include <cstdint>

// libzql is built with hidden symbols: only what a public header declares
// between these two marks is exported from the shared library. Every header
// of the client and driver interfaces wraps its declarations in them.
#define ZQL_PUBLIC_BEGIN _Pragma("GCC visibility push(default)")
#define ZQL_PUBLIC_END _Pragma("GCC visibility pop")

ZQL_PUBLIC_BEGIN

// The library's two-valued flag, used for every flag of every interface.
enum EZqlBoolean : int { kZqlFalse = 0, kZqlTrue = 1 };

class CZqlDDA;

// ---------------------------------------------------------------------------
// Block allocator.
//
// Small requests are carved next-fit out of 61440-byte chunks; requests that
// do not fit a chunk go to the C library as separately listed large blocks.
// Every block carries a header (kZqlMemHeaderSize bytes) just before the
// address handed out, and all memory handed out is zero-filled.
// ---------------------------------------------------------------------------

// Size of the block header: three pointers, the usable size, a flag byte and
// the state byte ('A' allocated small, 'F' free small, 'O' large).
constexpr std::size_t kZqlMemHeaderSize = 32;
// Usable bytes of a chunk's block layer, and the large-path threshold.
constexpr std::size_t kZqlMemLowBlockSize = 61440;

// Low layer: the C library. ZqlMemoryLowAlloc answers zero-filled memory or
// null; ZqlMemoryLowFree(null) does nothing.
void* ZqlMemoryLowAlloc(std::size_t n);
void ZqlMemoryLowFree(void* p);
unsigned ZqlMemoryLowBlockSize();  // 61440
int ZqlMemoryLowFlag();            // 1: next-fit from the rover, chunks returned

// Block layer: answers null when memory is exhausted, never raises.
void* ZqlMemoryNblkMalloc(std::size_t n);
// Answers null also when count * size overflows 32 bits.
void* ZqlMemoryNblkCalloc(std::size_t count, std::size_t size);
// On failure answers null and leaves p untouched; null p acts as malloc.
void* ZqlMemoryNblkRealloc(void* p, std::size_t n);
void ZqlMemoryNblkFree(void* p);  // null is ignored; a damaged header too
void ZqlMemoryNblkFreeAll();      // every block becomes invalid
// Tags the block with text (not copied: it must outlive the block).
void ZqlMemoryNblkAddMsg(void* p, const char* text);
void ZqlMemoryNblkDump(const char* title);
int ZqlMemBlkNblkInUse();
// Walks both lists; answers 1 when intact, else prints the first bad header
// on standard output and answers 0.
int ZqlMemoryCheck(const char* title);

// Public layer: as the block layer, but exhaustion raises 0xA008
// "insufficient memory" through ZqlTryThrow. Null is answered only when no
// try frame and no exception handler is open to take the raise.
void* ZqlMemoryMalloc(std::size_t n);
void* ZqlMemoryCalloc(std::size_t count, std::size_t size);
void* ZqlMemoryRealloc(void* p, std::size_t n);
void ZqlMemoryFree(void* p);
void ZqlMemoryFreeAll();
void ZqlMemoryAddMsg(void* p, const char* text);
// Appends a report of all live blocks to the memory log named by ZqlSysDump();
// does nothing when none is configured or it cannot be opened.
void ZqlMemoryDump(const char* title);
int ZqlMemBlkInUse();

// Test hook: the Nth call of the low layer's allocation from now on fails
// (1 = the next one); 0 turns failing off. Used to test exhaustion paths.
void TEST_ZqlMemoryFailLowAllocAt(long n);

// Settings of the section ZQL of zql.ini that the lower layers read, set up
// when the library starts: the memory log file for dumps (null when none is
// configured) and the search path for the library's files ("Path", "" when
// unset).
const char* ZqlSysDump();
const char* ZqlSysPath();

// ---------------------------------------------------------------------------
// Task data: four process-wide pointer slots.
//   slot 0  the try table
//   slot 1  the current descriptor area (ZqlGetCurrentDDA)
//   slot 2  the innermost exception handler
//   slot 3  free
// ---------------------------------------------------------------------------
constexpr int kZqlTaskSlotTry = 0;
constexpr int kZqlTaskSlotDDA = 1;
constexpr int kZqlTaskSlotHandler = 2;
constexpr int kZqlTaskSlotFree = 3;

// Clears the static block and starts the message resources; 1 on success.
int ZqlTaskDataInit();
// Ends the resources, writes the memory dump when one is configured, clears
// the block.
void ZqlTaskDataTerm();
// null selects the static block; (void*)-1 allocates and answers a new
// zeroed block without selecting it; any other pointer selects that block.
void* ZqlTaskDataMng(void* p);
int ZqlTaskDataSet(int slot, void* value);  // 0 for a slot outside 0..3
void* ZqlTaskDataGet(int slot);             // null for a slot outside 0..3
int ZqlTaskDataFree(void* p);               // does nothing, answers 1
void ZqlTaskDataEnterCritical();
void ZqlTaskDataLeaveCritical();
void ZqlTaskDataErrSet(int code);  // start-up error for CZqlTaskGlobalData
int ZqlTaskDataErrGet();           // the start-up error recorded, or 0
CZqlDDA* ZqlGetCurrentDDA();
// Makes dda the current descriptor area; answers the previous one.
CZqlDDA* ZqlSetCurrentDDA(CZqlDDA* dda);
const char* ZqlPlatformName();  // "Unix"

// One static instance starts the library's resources when the library is
// loaded and ends them when it is unloaded.
class CZqlTaskGlobalData {
 public:
  CZqlTaskGlobalData();
  ~CZqlTaskGlobalData();
  CZqlTaskGlobalData(const CZqlTaskGlobalData&) = delete;
  CZqlTaskGlobalData& operator=(const CZqlTaskGlobalData&) = delete;
  int isInit() const { return init_; }
  int Error() const;  // the code recorded with ZqlTaskDataErrSet, or 0

 private:
  int init_;
};

ZQL_PUBLIC_END

#endif  // ZQL_ZQLSYS_H
