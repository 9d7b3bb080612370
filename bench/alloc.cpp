// Speed of the block allocator against the C library, zero-filling against
// zero-filling (the allocator clears every block it hands out, so its peer
// is calloc), on two scripts that drive both the same way:
//   mix    the library's own allocation mix, recorded in this run from a
//          client that connects to the scripted driver, prepares a query,
//          fetches 10,000 rows one at a time and disconnects;
//   churn  many objects of 16 to 200 bytes, a few of them large, freed in
//          an order that is neither LIFO nor FIFO.
// Each is timed in interleaved rounds, in CPU time of the thread (the
// machine may be shared); the medians are reported as FIGURE lines
// (nanoseconds per step, ZQL against calloc).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <unordered_map>
#include <vector>

#include "benchenv.h"
#include "salloc.h"
#include "zqlappl.h"
#include "zqlstm.h"
#include "zqltry.h"

namespace {

using namespace zqlbench;

constexpr int kRounds = 15;
constexpr int kFetches = 10000;
constexpr int kRows = 10;

// One step of a script: allocate (or reallocate) `size` bytes into slot,
// or free slot.
enum class EOp : uint8_t { kAlloc, kRealloc, kFree };
struct SStep {
  EOp op;
  uint32_t slot;
  uint32_t size;
};

struct SScript {
  std::vector<SStep> steps;
  uint32_t slots = 0;
};

// --- recording the library's mix -------------------------------------------

struct SRecorder {
  std::unordered_map<const void*, uint32_t> live;  // block -> slot
  std::vector<uint32_t> freeSlots;
  SScript script;
};
SRecorder* gRec = nullptr;

uint32_t NewSlot() {
  if (!gRec->freeSlots.empty()) {
    const uint32_t s = gRec->freeSlots.back();
    gRec->freeSlots.pop_back();
    return s;
  }
  return gRec->script.slots++;
}

// The hook sees the block layer's events; blocks live before the recording
// began are not the mix's and are left out.
void Record(EZqlMemTrace op, const void* p, const void* old, std::size_t n) {
  SRecorder& r = *gRec;
  if (op == kZqlMemTraceAlloc) {
    const uint32_t s = NewSlot();
    r.live[p] = s;
    r.script.steps.push_back({EOp::kAlloc, s, static_cast<uint32_t>(n)});
    return;
  }
  const void* gone = op == kZqlMemTraceFree ? p : old;
  const auto it = r.live.find(gone);
  if (it == r.live.end()) {
    if (op == kZqlMemTraceRealloc) Record(kZqlMemTraceAlloc, p, nullptr, n);
    return;
  }
  const uint32_t s = it->second;
  r.live.erase(it);
  if (op == kZqlMemTraceFree) {
    r.script.steps.push_back({EOp::kFree, s, 0});
    r.freeSlots.push_back(s);
  } else {
    r.live[p] = s;
    r.script.steps.push_back({EOp::kRealloc, s, static_cast<uint32_t>(n)});
  }
}

// Connect, insert a few rows, prepare a query, fetch kFetches rows through a
// scroll cursor, disconnect: what a program does, on the real client path.
bool RunClient() {
  CZqlAppl app;
  if (app.Init() != 1) return false;
  CZqlSession session(&app);
  if (session.Connect(CZqlUcStr("BENCH"), CZqlUcStr(), CZqlUcStr()) != 1) return false;
  bool ok = true;
  {
    CZqlExecStm insert;
    ok = insert.Prepare(&session, CZqlUcStr("INSERT INTO T VALUES (?, ?)")) == 1;
    CZqlInt id;
    char name[11] = "row";
    int16_t indicator = 0;
    ok = ok && insert.Bind(0, &id) == 1 &&
         insert.Bind(1, name, &indicator, sizeof name, kZqlHostChar) == 1;
    for (long i = 1; ok && i <= kRows; ++i) ok = id.storeValue(i) && insert.Execute() == 1;
    CZqlExecStm query;
    ok = ok && query.Prepare(&session, CZqlUcStr("SELECT * FROM T")) == 1;
    CZqlCsr csr;
    ok = ok && csr.Allocate(&query, "C", kZqlCurScroll, kZqlCurSensitivityDefault) == 1;
    CZqlInt at;
    CZqlChar atName(10);
    atName.setVarying();
    ok = ok && csr.Sob(0, &at) == 1 && csr.Sob(1, &atName) == 1 && csr.Open() == 1;
    for (int i = 0; ok && i < kFetches; ++i) ok = csr.FetchAbsolute(i % kRows + 1) == 1;
    ok = ok && csr.Close() == 1;
  }
  return session.Disconnect() == 1 && ok;
}

bool RecordMix(SScript* out) {
  SIniDir where;
  SInDir in(where.dir);
  SRecorder rec;
  gRec = &rec;
  TEST_ZqlMemorySetTrace(Record);
  const bool ok = RunClient();
  TEST_ZqlMemorySetTrace(nullptr);
  gRec = nullptr;
  // Blocks the client left allocated are freed at the end of the script.
  for (const auto& [block, slot] : rec.live) rec.script.steps.push_back({EOp::kFree, slot, 0});
  *out = std::move(rec.script);
  return ok;
}

// --- the synthetic churn -----------------------------------------------------

constexpr int kLive = 2000;  // objects live at once in the steady phase

// Fills kLive slots, then churns them (free one, allocate another at random),
// then frees everything in shuffled order.
SScript MakeChurn() {
  std::mt19937 rng(301);
  std::uniform_int_distribution<uint32_t> smallSize(16, 200);
  std::uniform_int_distribution<uint32_t> anySlot(0, kLive - 1);
  auto size = [&]() -> uint32_t { return rng() % 500 == 0 ? 70000 + rng() % 8192 : smallSize(rng); };
  SScript s;
  s.slots = kLive;
  for (uint32_t i = 0; i < kLive; ++i) s.steps.push_back({EOp::kAlloc, i, size()});
  for (int i = 0; i < 4 * kLive; ++i) {
    const uint32_t slot = anySlot(rng);
    s.steps.push_back({EOp::kFree, slot, 0});
    s.steps.push_back({EOp::kAlloc, slot, size()});
  }
  std::vector<uint32_t> order(kLive);
  for (uint32_t i = 0; i < kLive; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), rng);
  for (uint32_t slot : order) s.steps.push_back({EOp::kFree, slot, 0});
  return s;
}

// --- replay --------------------------------------------------------------------

void* CCalloc(std::size_t n) { return std::calloc(1, n); }

// Runs the script once; answers seconds. Each block is touched, as its user
// would.
template <void* (*Alloc)(std::size_t), void* (*Realloc)(void*, std::size_t), void (*Free)(void*)>
double Replay(const SScript& s, std::vector<void*>* slots) {
  slots->assign(s.slots, nullptr);
  void** at = slots->data();
  const double start = CpuNow();
  for (const SStep& step : s.steps) {
    switch (step.op) {
      case EOp::kAlloc:
        at[step.slot] = Alloc(step.size);
        static_cast<volatile char*>(at[step.slot])[0] = 1;
        break;
      case EOp::kRealloc:
        at[step.slot] = Realloc(at[step.slot], step.size);
        static_cast<volatile char*>(at[step.slot])[0] = 1;
        break;
      case EOp::kFree: Free(at[step.slot]); break;
    }
  }
  return CpuNow() - start;
}

// Medians of interleaved rounds, nanoseconds per step: ZQL and calloc.
void Measure(const char* name, const SScript& s, const char* mode) {
  std::vector<void*> slots;
  std::vector<double> zql, libc;
  const double steps = static_cast<double>(s.steps.size());
  for (int round = 0; round < kRounds + 1; ++round) {
    const double z = Replay<ZqlMemoryMalloc, ZqlMemoryRealloc, ZqlMemoryFree>(s, &slots);
    const double c = Replay<CCalloc, std::realloc, std::free>(s, &slots);
    if (round == 0) continue;  // warms both up
    zql.push_back(z / steps * 1e9);
    libc.push_back(c / steps * 1e9);
  }
  Figure(name, mode, Median(&zql), Median(&libc), "ns", 1.0);
}

}  // namespace

int main(int, char** argv) {
  NeedResources(argv);
  const char* mode = ApplyPinning();
  SScript mix;
  if (!RecordMix(&mix)) {
    std::fprintf(stderr, "bench_alloc: the client run over %s failed\n", DriverPath().c_str());
    return 1;
  }
  std::size_t allocs = 0, bytes = 0;
  for (const SStep& s : mix.steps)
    if (s.op != EOp::kFree) ++allocs, bytes += s.size;
  std::printf("recorded mix: %zu steps, %zu allocations of %.0f bytes on average, %u slots\n",
              mix.steps.size(), allocs, allocs ? double(bytes) / double(allocs) : 0.0, mix.slots);
  Measure("alloc.mix", mix, mode);
  Measure("alloc.churn", MakeChurn(), mode);
  return 0;
}
