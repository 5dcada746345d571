// Shared helpers of the pool tests: the block invariants, and a mapper that
// hands out data areas back to back so that blocks touch each other.
#ifndef NORVO_TESTS_POOLCHECK_H
#define NORVO_TESTS_POOLCHECK_H

#include "memmgr/MemMgrInternal.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

// "" when every block of the pool holds its invariants, else what is wrong.
// The pool's own check (PoolCheckInvariants) first; then, written apart
// from it, what the pool's format promises of the MAT, nodes and
// freeNodes, and that the search finds the runs a substring search of the
// MAT finds.
inline std::string PoolViolation()
{
  if (const char *why = PoolCheckInvariants(); why != nullptr)
    return std::string("pool's own check: ") + why;
  int index = 0;
  const PoolBlock *prev = nullptr;
  for (const PoolBlock *b = pMemB; b != nullptr; prev = b, b = b->next, ++index) {
    std::string at = "block " + std::to_string(index) + ": ";
    if (b->prev != prev)
      return at + "prev link broken";
    if (b->MAT[POOL_BLOCK_NODES] != '\0')
      return at + "MAT not terminated";
    if (b->freeBits[POOL_BLOCK_NODES / 64] != 0)
      return at + "guard word of the bit map not zero";
    if (b->size % POOL_BLOCK_SIZE != 0 || b->size <= 0)
      return at + "size " + std::to_string(b->size);
    for (int i = 0; i < POOL_BLOCK_NODES; ++i) {
      bool bitFree = (b->freeBits[i / 64] >> (i % 64)) & 1;
      if (bitFree != (b->MAT[i] == ' '))
        return at + "bit map disagrees with MAT at " + std::to_string(i);
    }
    for (int w = 0; w < POOL_BLOCK_NODES / 64; ++w) {
      if (((b->summary >> w) & 1) != (b->freeBits[w] != 0))
        return at + "word summary wrong at " + std::to_string(w);
      bool pair = false;
      for (int i = w * 64; i < w * 64 + 64 && i + 1 < POOL_BLOCK_NODES; ++i)
        pair = pair || (b->MAT[i] == ' ' && b->MAT[i + 1] == ' ');
      if (((b->summary >> (32 + w)) & 1) != pair)
        return at + "pair summary wrong at " + std::to_string(w);
    }
    if (b->size > POOL_BLOCK_SIZE) {
      if (std::string(b->MAT, POOL_BLOCK_NODES) != std::string(POOL_BLOCK_NODES, 'U'))
        return at + "dedicated MAT not all used";
      if (b->freeNodes != 0)
        return at + "dedicated freeNodes";
      for (const PoolNode &e : b->nodes)
        if (e.count != 0 || e.addr != nullptr)
          return at + "dedicated block has a node entry";
      if (b->used <= 0 || b->used > b->size || b->used % POOL_NODE_SIZE != 0)
        return at + "dedicated used " + std::to_string(b->used);
      continue;
    }
    int spaces = 0;
    for (int i = 0; i < POOL_BLOCK_NODES; ++i) {
      if (b->MAT[i] == ' ')
        ++spaces;
      else if (b->MAT[i] != 'U')
        return at + "bad MAT character";
    }
    if (spaces != b->freeNodes)
      return at + "freeNodes " + std::to_string(b->freeNodes) + " but " + std::to_string(spaces) +
             " spaces";
    if (spaces == POOL_BLOCK_NODES)
      return at + "empty block kept";
    // The search answers what a substring search of the MAT answers: for
    // short runs, for the longest run and for one node more than that.
    std::string map(b->MAT, POOL_BLOCK_NODES);
    int longest = 0;
    for (int i = 0, run = 0; i < POOL_BLOCK_NODES; ++i) {
      run = b->MAT[i] == ' ' ? run + 1 : 0;
      longest = std::max(longest, run);
    }
    for (int j : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, longest, longest + 1}) {
      if (j < 1)
        continue;
      size_t want = map.find(std::string(static_cast<size_t>(j), ' '));
      int got = PoolFindRun(b, j);
      if (got != (want == std::string::npos ? -1 : static_cast<int>(want)))
        return at + "a run of " + std::to_string(j) + " found at " + std::to_string(got) +
               ", the MAT has its first at " +
               (want == std::string::npos ? std::string("none") : std::to_string(want));
    }
    // Every used node belongs to exactly one allocation, described at its start.
    int i = 0;
    while (i < POOL_BLOCK_NODES) {
      const PoolNode &e = b->nodes[i];
      if (e.count == 0) {
        if (e.addr != nullptr)
          return at + "entry without count at " + std::to_string(i);
        if (b->MAT[i] != ' ')
          return at + "used node outside any allocation at " + std::to_string(i);
        ++i;
        continue;
      }
      if (e.addr != b->data + i * POOL_NODE_SIZE)
        return at + "entry address wrong at " + std::to_string(i);
      if (i + e.count > POOL_BLOCK_NODES)
        return at + "allocation runs past the map";
      for (int j = i; j < i + e.count; ++j) {
        if (b->MAT[j] != 'U')
          return at + "free node inside allocation at " + std::to_string(j);
        if (j > i && (b->nodes[j].count != 0 || b->nodes[j].addr != nullptr))
          return at + "entry inside allocation at " + std::to_string(j);
      }
      i += e.count;
    }
  }
  return "";
}

inline int PoolBlockCount()
{
  int n = 0;
  for (const PoolBlock *b = pMemB; b != nullptr; b = b->next)
    ++n;
  return n;
}

// Data areas come from one reserved region, each starting exactly where the
// previous block's data ends; headers are ordinary mappings.
struct AdjacentRegion {
  static inline char *base = nullptr;
  static inline size_t used = 0;
  static constexpr size_t kSize = 1024 * static_cast<size_t>(POOL_BLOCK_SIZE);

  static void *Map(size_t len)
  {
    if (len < POOL_BLOCK_SIZE) {
      void *p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      return p == MAP_FAILED ? nullptr : p;
    }
    // The mapping length carries one page of slack; the next area starts
    // where the usable data ends.
    size_t data = len / POOL_BLOCK_SIZE * POOL_BLOCK_SIZE;
    if (used + len > kSize)
      return nullptr;
    char *p = base + used;
    used += data;
    return p;
  }
  static void Unmap(void *p, size_t len)
  {
    char *c = static_cast<char *>(p);
    if (c >= base && c < base + kSize)
      return;  // never handed out again
    munmap(p, len);
  }
  static void Install()
  {
    void *p = mmap(nullptr, kSize + 4096, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    base = static_cast<char *>(p);
    used = 0;
    PoolSetMapper(Map, Unmap);
  }
};

// Data areas 16 MiB apart, a page past a 64 KiB boundary, so that every
// block straddles a 64 KiB boundary and all share the same low address
// bits. Headers are ordinary mappings.
struct SpreadRegion {
  static inline char *base = nullptr;
  static constexpr size_t kStride = size_t{16} << 20;
  static constexpr size_t kBlocks = 128;
  static inline bool taken[kBlocks];

  static void *Map(size_t len)
  {
    if (len < POOL_BLOCK_SIZE) {
      void *p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      return p == MAP_FAILED ? nullptr : p;
    }
    if (len + 4096 > kStride)
      return nullptr;
    for (size_t m = 0; m < kBlocks; ++m) {
      if (taken[m])
        continue;
      taken[m] = true;
      return base + m * kStride + 4096;
    }
    return nullptr;
  }
  static void Unmap(void *p, size_t len)
  {
    char *c = static_cast<char *>(p);
    if (c < base || c >= base + kStride * kBlocks) {
      munmap(p, len);
      return;
    }
    // Given back as fresh zero pages for the next block that lands here.
    madvise(c, len, MADV_DONTNEED);
    taken[static_cast<size_t>(c - base) / kStride] = false;
  }
  static void Install()
  {
    // 16 MiB aligned, so that the low address bits are the same for all.
    size_t span = kStride * (kBlocks + 1);
    auto *p = static_cast<char *>(mmap(nullptr, span, PROT_READ | PROT_WRITE,
                                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
    base = reinterpret_cast<char *>((reinterpret_cast<uintptr_t>(p) + kStride - 1) / kStride *
                                    kStride);
    for (bool &t : taken)
      t = false;
    PoolSetMapper(Map, Unmap);
  }
};

#endif
