// The memory pool against the C library doing the same job (zero-filled
// memory): malloc + memset + free. Each pair runs in the same process with
// the same sizes and the same order; the ratios are printed at the end.
//   Churn:   4096 allocations of 16 to 64 bytes, released in random order
//            (goal: pool at most 0.8x the baseline)
//   Replace: 4096 live allocations, one released and one made per step
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "memmgr/MemMgr.h"

namespace {

constexpr int kLive = 4096;

struct Workload {
  std::vector<size_t> sizes;     // size of allocation i
  std::vector<int> releaseOrder; // a permutation of 0 .. kLive-1
  std::vector<int> victims;      // Replace: which slot goes next
  std::vector<size_t> newSizes;  // Replace: size of its successor

  Workload() {
    std::mt19937 rng(42);
    std::uniform_int_distribution<size_t> size(16, 64);
    for (int i = 0; i < kLive; ++i) sizes.push_back(size(rng));
    releaseOrder.resize(kLive);
    std::iota(releaseOrder.begin(), releaseOrder.end(), 0);
    std::shuffle(releaseOrder.begin(), releaseOrder.end(), rng);
    std::uniform_int_distribution<int> slot(0, kLive - 1);
    for (int i = 0; i < 65536; ++i) {
      victims.push_back(slot(rng));
      newSizes.push_back(size(rng));
    }
  }
};

const Workload work;
void *slots[kLive];

void *ZeroedMalloc(size_t n) {
  void *p = malloc(n);
  if (p != nullptr) memset(p, 0, n);
  return p;
}

template <void *(*Get)(size_t), void (*Put)(void *)>
void Churn(benchmark::State &state) {
  for (auto _ : state) {
    for (int i = 0; i < kLive; ++i) slots[i] = Get(work.sizes[static_cast<size_t>(i)]);
    benchmark::ClobberMemory();
    for (int i : work.releaseOrder) Put(slots[i]);
  }
  state.SetItemsProcessed(state.iterations() * kLive);
}

template <void *(*Get)(size_t), void (*Put)(void *)>
void Replace(benchmark::State &state) {
  for (int i = 0; i < kLive; ++i) slots[i] = Get(work.sizes[static_cast<size_t>(i)]);
  size_t step = 0;
  for (auto _ : state) {
    int v = work.victims[step];
    Put(slots[v]);
    slots[v] = Get(work.newSizes[step]);
    benchmark::DoNotOptimize(slots[v]);
    step = (step + 1) & 65535;
  }
  for (void *p : slots) Put(p);
  state.SetItemsProcessed(state.iterations());
}

void BM_Pool_Churn(benchmark::State &state) { Churn<GetMem, PutMem>(state); }
void BM_Malloc_Churn(benchmark::State &state) { Churn<ZeroedMalloc, free>(state); }
void BM_Pool_Replace(benchmark::State &state) { Replace<GetMem, PutMem>(state); }
void BM_Malloc_Replace(benchmark::State &state) { Replace<ZeroedMalloc, free>(state); }

BENCHMARK(BM_Pool_Churn);
BENCHMARK(BM_Malloc_Churn);
BENCHMARK(BM_Pool_Replace);
BENCHMARK(BM_Malloc_Replace);

// Prints as usual and keeps each benchmark's time for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> times;
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs)
      if (r.run_type == Run::RT_Iteration && r.aggregate_name.empty())
        times[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char *what : {"Churn", "Replace"}) {
    auto pool = reporter.times.find(std::string("BM_Pool_") + what);
    auto base = reporter.times.find(std::string("BM_Malloc_") + what);
    if (pool != reporter.times.end() && base != reporter.times.end() && base->second > 0)
      printf("ratio %-8s pool / malloc+memset+free = %.2f\n", what, pool->second / base->second);
  }
  benchmark::Shutdown();
  return 0;
}
