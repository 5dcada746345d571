// The pool as the fuzz targets see it: every GetMem, PutMem and AdjustMem of
// the libraries is routed here (the link wraps them) and served by the
// sanitizer's allocator, so a read or write past an allocation, a use after
// PutMem or a leak is reported where the pool's 32-byte nodes would hide it.
// The pool's promises stay: zero-filled memory, one zero byte after the
// bytes asked for, PutMem ignoring what is not an allocation, AdjustMem
// keeping the contents and zeroing growth.
#include <sanitizer/allocator_interface.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "fuzz/FuzzUtil.h"

namespace {
constexpr size_t MaxRequest = 0x7fff0000 - 32;

// While a run is scoped (FuzzPoolScope), the allocations it has not
// released, so that memory a reader keeps for the life of the process can be
// given back after each input.
bool flScoped;
std::unordered_set<void *> &Live()
{
  static auto *live = new std::unordered_set<void *>;
  return *live;
}

// Bytes asked for by the allocation p (its malloc size less the extra zero).
size_t Asked(const void *p)
{
  return __sanitizer_get_allocated_size(p) - 1;
}
}  // namespace

extern "C" {

void *__wrap__Z6GetMemm(size_t n)
{
  if (n == 0)
    return nullptr;
  if (n > MaxRequest) {
    fprintf(stderr, "ERROR: out of memory\n");
    return nullptr;
  }
  void *p = calloc(n + 1, 1);
  if (p && flScoped)
    Live().insert(p);
  return p;
}

void __wrap__Z6PutMemPv(void *p)
{
  if (p && __sanitizer_get_ownership(p)) {
    if (flScoped)
      Live().erase(p);
    free(p);
  }
}

void *__wrap__Z9AdjustMemPvm(void *p, size_t n)
{
  if (n == 0) {
    __wrap__Z6PutMemPv(p);
    return nullptr;
  }
  if (!p || !__sanitizer_get_ownership(p))
    return __wrap__Z6GetMemm(n);
  void *q = __wrap__Z6GetMemm(n);
  if (!q)
    return nullptr;
  size_t held = Asked(p);
  memcpy(q, p, held < n ? held : n);
  __wrap__Z6PutMemPv(p);
  return q;
}
}

void FuzzPoolScope(bool on)
{
  if (!on) {
    for (void *p : Live())
      free(p);
    Live().clear();
  }
  flScoped = on;
}
