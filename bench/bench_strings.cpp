// Saved strings and keyword lookups against the C library doing the same job.
// Each pair runs in the same process; compare the times of a pair:
//   SaveStr + PutMem          vs  asprintf + free   (goal: at most 1.0x)
//   FindToken, last of 64     vs  strstr of ",word,"  (goal: at most 1.5x)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "utils/utils.h"

namespace {

// A keyword list of 64 words of mixed length, the wanted one last.
std::string MakeKeywordList()
{
  static const char *stems[] = {"dir",     "dirto", "install", "newdir",
                                "checkps", "chmod", "link",    "sed"};
  std::string list = ",";
  for (int i = 0; i < 63; i++)
    list += std::string(stems[i % 8]) + std::to_string(i) + ",";
  list += "lastword,";
  return list;
}

const std::string keywordList = MakeKeywordList();

void BM_SaveStr_PutMem(benchmark::State &state)
{
  // A running program always holds other saved strings; without one the
  // pool would hand its block back to the system on every PutMem.
  char *resident = SaveStr_("resident");
  int i = 0;
  for (auto _ : state) {
    char *s = SaveStr("%s/%s/%s.%d", "/opt", "Norvo/npxx", "pkg_tar", i++ & 7);
    benchmark::DoNotOptimize(s);
    PutMem(s);
  }
  PutMem(resident);
}
BENCHMARK(BM_SaveStr_PutMem);

void BM_asprintf_free(benchmark::State &state)
{
  int i = 0;
  for (auto _ : state) {
    char *s = nullptr;
    if (asprintf(&s, "%s/%s/%s.%d", "/opt", "Norvo/npxx", "pkg_tar", i++ & 7) < 0)
      state.SkipWithError("asprintf failed");
    benchmark::DoNotOptimize(s);
    free(s);
  }
}
BENCHMARK(BM_asprintf_free);

void BM_FindToken_LastOf64(benchmark::State &state)
{
  const char *list = keywordList.c_str();
  for (auto _ : state) {
    int pos = FindToken("lastword", list);
    benchmark::DoNotOptimize(pos);
  }
  if (FindToken("lastword", list) != 64)
    state.SkipWithError("wrong position");
}
BENCHMARK(BM_FindToken_LastOf64);

void BM_strstr_LastOf64(benchmark::State &state)
{
  const char *list = keywordList.c_str();
  char pattern[] = ",lastword,";
  benchmark::DoNotOptimize(pattern);
  for (auto _ : state) {
    const char *hit = strstr(list, pattern);
    benchmark::DoNotOptimize(hit);
  }
}
BENCHMARK(BM_strstr_LastOf64);

}  // namespace

BENCHMARK_MAIN();
