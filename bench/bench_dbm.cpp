// Typed database lookups in message catalogs held in memory, against the
// floor of any linear scan (memchr over half the image), and a store into a
// 2,000-record database against a plain write of the same bytes.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "dbm/Dbm.h"
#include "dbm/DbmInternal.h"
#include "utils/utils.h"

namespace {

struct Catalog {
  std::string base;
  DbTHandle *h = nullptr;
  std::vector<std::string> keys;
};

// Temporary base directories, removed when the program ends.
struct Bases {
  std::vector<std::string> dirs;
  ~Bases()
  {
    std::error_code ec;
    for (auto &d : dirs)
      std::filesystem::remove_all(d, ec);
  }
};
Bases bases;

std::string MakeBase()
{
  char tmpl[] = "/tmp/benchdbmXXXXXX";
  if (!mkdtemp(tmpl))
    abort();
  bases.dirs.push_back(tmpl);
  return tmpl;
}

// A catalog of n messages "set_number" -> text, built in memory.
Catalog &GetCatalog(int n)
{
  static std::vector<std::pair<int, Catalog *>> made;
  for (auto &[size, c] : made)
    if (size == n)
      return *c;
  auto *c = new Catalog;
  c->base = MakeBase();
  my_name = SaveStr_("bench_dbm");
  c->h = DbTOpen((c->base + "/catalog.ndb").c_str(), DBT_KEEP_IMAGE | DBT_NO_ARCHIVE);
  std::mt19937 rng(5);
  static const char *words[] = {"printer", "queue", "cannot", "open",  "file",  "the", "%s",
                                "job",     "spool", "device", "error", "ready", "%d",  "paper"};
  for (int i = 0; i < n; i++) {
    std::string key = std::to_string(1 + i / 500) + "_" + std::to_string(i % 500);
    std::string value;
    for (int w = 3 + static_cast<int>(rng() % 10); w > 0; w--)
      value += std::string(words[rng() % std::size(words)]) + " ";
    DbmTPutRecord(c->h, key.c_str(), value.data(), static_cast<int>(value.size()));
    c->keys.push_back(key);
  }
  made.emplace_back(n, c);
  return *c;
}

// A byte value that does not occur in the first half of the image, so that
// memchr really scans all of it; -1 when every value occurs.
int AbsentByte(const unsigned char *p, size_t n)
{
  bool seen[256] = {};
  for (size_t i = 0; i < n; i++)
    seen[p[i]] = true;
  for (int b = 255; b >= 0; b--)
    if (!seen[b])
      return b;
  return -1;
}

// Nanoseconds of one memchr over half the image.
double FloorNs(const Catalog &c)
{
  size_t half = static_cast<size_t>(c.h->ImageSize) / 2;
  std::vector<unsigned char> copy(c.h->pImage, c.h->pImage + half);
  int absent = AbsentByte(copy.data(), half);
  if (absent < 0) {
    absent = 0xff;
    for (auto &b : copy)
      if (b == 0xff)
        b = 0xfe;
  }
  const int rounds = 20000;
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; i++) {
    benchmark::DoNotOptimize(copy.data());
    benchmark::DoNotOptimize(memchr(copy.data(), absent, half));
  }
  auto t1 = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(t1 - t0).count() / rounds;
}

void BM_MemchrHalfImage(benchmark::State &state)
{
  Catalog &c = GetCatalog(static_cast<int>(state.range(0)));
  size_t half = static_cast<size_t>(c.h->ImageSize) / 2;
  std::vector<unsigned char> copy(c.h->pImage, c.h->pImage + half);
  int absent = AbsentByte(copy.data(), half);
  if (absent < 0) {
    absent = 0xff;
    for (auto &b : copy)
      if (b == 0xff)
        b = 0xfe;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(copy.data());
    benchmark::DoNotOptimize(memchr(copy.data(), absent, half));
  }
  state.counters["image_bytes"] = static_cast<double>(c.h->ImageSize);
}

void Lookups(benchmark::State &state, int32_t flags)
{
  Catalog &c = GetCatalog(static_cast<int>(state.range(0)));
  int32_t saved = c.h->Flags;
  c.h->Flags = flags;
  std::mt19937 rng(9);
  std::vector<const char *> order;
  for (int i = 0; i < 4096; i++)
    order.push_back(c.keys[rng() % c.keys.size()].c_str());
  char buf[65536];
  DbmTGetRecord(c.h, order[0], buf);  // the index is built on the first lookup
  double floor = FloorNs(c);
  size_t i = 0;
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    int n = DbmTGetRecord(c.h, order[i++ & 4095], buf);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(buf);
  }
  auto t1 = std::chrono::steady_clock::now();
  double perLookup = std::chrono::duration<double, std::nano>(t1 - t0).count() /
                     static_cast<double>(state.iterations());
  state.counters["floor_ns"] = floor;
  state.counters["x_floor"] = perLookup / floor;
  c.h->Flags = saved;
}

// Lookups in an image held in memory (DBT_KEEP_IMAGE: no status query).
void BM_TypedLookup(benchmark::State &state)
{
  Lookups(state, DBT_KEEP_IMAGE | DBT_NO_ARCHIVE);
}
// The same with the default refresh check (one stat of the file per lookup).
void BM_TypedLookupRefreshCheck(benchmark::State &state)
{
  Lookups(state, DBT_NO_ARCHIVE);
}

void BM_TypedStore2000(benchmark::State &state)
{
  Catalog &c = GetCatalog(2000);
  pToolPath = SaveStr_(c.base.c_str());
  if (chdir(c.base.c_str()) != 0)
    abort();
  // A database by name under <base>/db, written back after every store.
  c.h->Flags = DBT_KEEP_IMAGE;
  std::filesystem::create_directories(c.base + "/db");
  UpdateHeader(c.h);
  FILE *f = fopen((c.base + "/db/store.ndb").c_str(), "wb");
  fwrite(c.h->pImage, 1, static_cast<size_t>(c.h->ImageSize), f);
  fclose(f);
  DbTHandle *h = DbTOpen("store", 0);
  int i = 0;
  for (auto _ : state) {
    std::string value = "value number " + std::to_string(i);
    const std::string &key = c.keys[static_cast<size_t>(i++) % c.keys.size()];
    if (!DbmTPutRecord(h, key.c_str(), value.data(), static_cast<int>(value.size())))
      state.SkipWithError("store failed");
  }
  state.counters["file_bytes"] = static_cast<double>(h->ImageSize);
  DbTClose(h);
}

// The floor of a store: one plain write of the same bytes to a new file.
void BM_PlainWrite2000(benchmark::State &state)
{
  Catalog &c = GetCatalog(2000);
  std::string path = c.base + "/plain.out";
  for (auto _ : state) {
    unlink(path.c_str());  // a new file each time, as the store writes one
    FILE *f = fopen(path.c_str(), "wb");
    fwrite(c.h->pImage, 1, static_cast<size_t>(c.h->ImageSize), f);
    fclose(f);
  }
}

}  // namespace

BENCHMARK(BM_MemchrHalfImage)->Arg(2000)->Arg(20000);
BENCHMARK(BM_TypedLookup)->Arg(2000)->Arg(20000);
BENCHMARK(BM_TypedLookupRefreshCheck)->Arg(2000)->Arg(20000);
BENCHMARK(BM_TypedStore2000)->Unit(benchmark::kMicrosecond)->Iterations(200);
BENCHMARK(BM_PlainWrite2000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
