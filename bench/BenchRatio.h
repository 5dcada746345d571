// What the ratio benchmarks share: their repetitions run interleaved, and a
// reporter keeps each benchmark's best times so that main can print a ratio
// of two of them.
#ifndef NORVO_BENCH_BENCHRATIO_H
#define NORVO_BENCH_BENCHRATIO_H

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

// Best of a benchmark's repetitions: processor time, wall time and, when
// the reporter is given one, a counter of its own.
struct BestTimes {
  double cpu, wall, counter;
};

// Prints as usual and keeps each benchmark's best times.
class BestTimesReporter : public benchmark::ConsoleReporter {
public:
  explicit BestTimesReporter(const char *counterName = nullptr) : counterName_(counterName) {}
  std::map<std::string, BestTimes> best;
  void ReportRuns(const std::vector<Run> &runs) override
  {
    for (const Run &r : runs) {
      if (r.run_type != Run::RT_Iteration || !r.aggregate_name.empty() || r.error_occurred)
        continue;
      double counter = 0;
      if (counterName_ != nullptr) {
        auto c = r.counters.find(counterName_);
        counter = c != r.counters.end() ? c->second.value : 0;
      }
      BestTimes t{r.GetAdjustedCPUTime(), r.GetAdjustedRealTime(), counter};
      auto [it, fresh] = best.try_emplace(r.run_name.function_name, t);
      if (!fresh) {
        it->second.cpu = std::min(it->second.cpu, t.cpu);
        it->second.wall = std::min(it->second.wall, t.wall);
        it->second.counter = std::min(it->second.counter, t.counter);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

private:
  const char *counterName_;
};

// benchmark::Initialize with the repetitions interleaved (unless the command
// line says otherwise), so that a slow spell of the machine falls on both
// sides of a ratio. args keeps the changed command line; false when it held
// an argument the library does not know.
inline bool InitInterleaved(int &argc, char **&argv, std::vector<char *> &args)
{
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.assign(argv, argv + argc);
  args.insert(args.begin() + 1, interleave);
  argc = static_cast<int>(args.size());
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  return !benchmark::ReportUnrecognizedArguments(argc, argv);
}

#endif
