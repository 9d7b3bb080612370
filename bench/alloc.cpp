// Speed of the block allocator against the C library on a library-like mix:
// many objects of 16 to 200 bytes, a few of them large, freed in an order
// that is neither LIFO nor FIFO. The same fixed-seed script drives both.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "zqlsys.h"

namespace {

constexpr int kLive = 2000;  // objects live at once in the steady phase

// One step of the script: allocate `size` bytes into slot, or free slot.
struct SStep {
  bool alloc;
  int slot;
  std::size_t size;
};

// Fills kLive slots, then churns them (free one, allocate another at random),
// then frees everything in shuffled order.
std::vector<SStep> MakeScript() {
  std::mt19937 rng(301);
  std::uniform_int_distribution<std::size_t> smallSize(16, 200);
  std::uniform_int_distribution<int> anySlot(0, kLive - 1);
  auto size = [&] { return rng() % 500 == 0 ? 70000 + rng() % 8192 : smallSize(rng); };
  std::vector<SStep> steps;
  for (int i = 0; i < kLive; ++i) steps.push_back({true, i, size()});
  for (int i = 0; i < 4 * kLive; ++i) {
    const int slot = anySlot(rng);
    steps.push_back({false, slot, 0});
    steps.push_back({true, slot, size()});
  }
  std::vector<int> order(kLive);
  for (int i = 0; i < kLive; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), rng);
  for (int slot : order) steps.push_back({false, slot, 0});
  return steps;
}

const std::vector<SStep>& Script() {
  static const std::vector<SStep> script = MakeScript();
  return script;
}

template <void* (*Alloc)(std::size_t), void (*Free)(void*)>
void RunScript(benchmark::State& state) {
  std::vector<void*> slots(kLive, nullptr);
  for (auto _ : state) {
    for (const SStep& s : Script()) {
      if (s.alloc) {
        slots[s.slot] = Alloc(s.size);
        static_cast<char*>(slots[s.slot])[0] = 1;  // touch it, as a user would
      } else {
        Free(slots[s.slot]);
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Script().size()));
}

void* CMalloc(std::size_t n) { return std::malloc(n); }
void CFree(void* p) { std::free(p); }

void BM_ZqlMemory(benchmark::State& state) { RunScript<ZqlMemoryMalloc, ZqlMemoryFree>(state); }
void BM_CLibrary(benchmark::State& state) { RunScript<CMalloc, CFree>(state); }
BENCHMARK(BM_ZqlMemory);
BENCHMARK(BM_CLibrary);

// Keeps each run's real time per iteration, to report the ratio at the end.
class CRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration) times_.push_back({r.benchmark_name(), r.GetAdjustedRealTime()});
    ConsoleReporter::ReportRuns(runs);
  }
  double TimeOf(const std::string& prefix) const {
    for (const auto& [name, t] : times_)
      if (name.rfind(prefix, 0) == 0) return t;
    return 0;
  }

 private:
  std::vector<std::pair<std::string, double>> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  CRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double zql = reporter.TimeOf("BM_ZqlMemory"), c = reporter.TimeOf("BM_CLibrary");
  if (zql > 0 && c > 0)
    std::printf("ZqlMemory / C library time ratio: %.2f (%zu steps per run)\n", zql / c,
                Script().size());
  return 0;
}
