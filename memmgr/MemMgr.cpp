// MemMgr: block-based, zero-filled allocation from mapped memory.
//
// Each block has a printable allocation map (MAT, one character per node)
// and, beside it, the same map as a bit set, which the first-fit search
// scans a 64-bit word at a time. Both always agree; the bit set only makes
// the search faster, the answer is the lowest free run, as a substring
// search of the MAT would give.
#include "memmgr/MemMgr.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

// Pool state: the block list and the /dev/zero descriptor. Touched only by
// this file (tests read them through MemMgr.h).
PoolBlock *pMemB = nullptr;
int MemId = -1;
const char *const OutOfMem = "Unable to allocate memory";

namespace {

constexpr int kWords = POOL_BLOCK_NODES / 64;
// Largest request a block can serve: its size is kept in a 32-bit field and
// is a multiple of 65536.
constexpr size_t kMaxRequest = 0x7fff0000 - POOL_NODE_SIZE;

// Data ranges of the blocks, so that FindBlock scans one small array of
// independent entries instead of chasing next pointers through headers,
// each load waiting for the one before. It covers every block while there
// are at most kIndexSlots of them (the usual case by far); beyond that
// FindBlock walks the list.
struct BlockRange {
  uintptr_t begin; // the block's data
  uintptr_t size;  // its size in bytes
  PoolBlock *block;
};
constexpr int kIndexSlots = 64;
BlockRange blockIndex[kIndexSlots];
int indexedBlocks = 0; // entries of blockIndex in use
int listedBlocks = 0;  // blocks in the list

void IndexBlock(PoolBlock *b) {
  blockIndex[indexedBlocks++] = {reinterpret_cast<uintptr_t>(b->data), static_cast<uintptr_t>(b->size), b};
}

PoolMapFn pMapHook = nullptr;
PoolUnmapFn pUnmapHook = nullptr;

// Smallest multiple of 32 that is at least n + 1.
size_t RoundLen(size_t n) { return (n / POOL_NODE_SIZE + 1) * POOL_NODE_SIZE; }

bool IsDedicated(const PoolBlock *b) { return b->size > POOL_BLOCK_SIZE; }

// Length actually mapped for n bytes: whole pages, always one page more
// than n needs when n is an exact multiple of the page size.
size_t MapLength(size_t n) {
  size_t page = static_cast<size_t>(getpagesize());
  return page * (n / page + 1);
}

void ReportOutOfMem() { fprintf(stderr, "ERROR: %s\n", OutOfMem); }

// Brings the summary bits of word w up to date with freeBits.
[[gnu::always_inline]] inline void Summarize(PoolBlock *b, int w) {
  uint64_t lo = b->freeBits[w], hi = w + 1 < kWords ? b->freeBits[w + 1] : 0;
  uint32_t wordBit = uint32_t{1} << w;
  b->freeWords = (b->freeWords & ~wordBit) | (static_cast<uint32_t>(lo != 0) << w);
  b->pairWords = (b->pairWords & ~wordBit) | (static_cast<uint32_t>((lo & ((lo >> 1) | (hi << 63))) != 0) << w);
}

// The MAT characters of nodes i .. i+7 as the bit map has them, packed
// little-endian in 8 bytes: ' ' for a free node, 'U' for a used one.
[[gnu::always_inline]] inline uint64_t MatChars(const PoolBlock *b, int i) {
  int w = i >> 6, bit = i & 63;
  uint64_t bits = b->freeBits[w] >> bit;
  if (bit > 56) bits |= b->freeBits[w + 1] << (64 - bit); // i + 8 <= 2048: word w + 1 exists
  // Bit t of the low byte to bit 0 of byte t (the multiply does bits 0-6
  // without carries reaching each other; bit 7 goes by itself), then 0/1
  // to 'U'/' '.
  uint64_t spread = ((bits & 0x7f) * 0x0002040810204081u & 0x0101010101010101u) | (bits >> 7 & 1) << 56;
  return 0x5555555555555555u ^ spread * static_cast<unsigned char>('U' ^ ' ');
}

// Sets nodes [i, i + k) used or free in both maps. Inlined with `used`
// known, so that each caller gets only its own half of the work.
template <bool used>
[[gnu::always_inline]] inline void MarkNodes(PoolBlock *b, int i, int k) {
  int first = i >> 6, last = (i + k - 1) >> 6, bit = i & 63;
  if (first == last) {
    // The common case, a run inside one word: one mask, and only the
    // summaries that can see the change. The pair bit of the word before
    // looks at node 0 of this word only.
    uint64_t mask = (k == 64 ? ~uint64_t{0} : (uint64_t{1} << k) - 1) << bit;
    b->freeBits[first] = used ? b->freeBits[first] & ~mask : b->freeBits[first] | mask;
    Summarize(b, first);
    if (bit == 0 && first > 0) Summarize(b, first - 1);
  } else {
    constexpr uint64_t set = used ? 0 : ~uint64_t{0};
    for (int w = first; w <= last; ++w) {
      int from = std::max(i, w * 64) - w * 64, to = std::min(i + k, w * 64 + 64) - w * 64;
      uint64_t mask = (to - from == 64 ? ~uint64_t{0} : (uint64_t{1} << (to - from)) - 1) << from;
      b->freeBits[w] = (b->freeBits[w] & ~mask) | (mask & set);
    }
    // A pair may start in the word before the change and end in it.
    for (int w = std::max(first - 1, 0); w <= last; ++w) Summarize(b, w);
  }
  if (k <= 8 && i + 8 <= POOL_BLOCK_NODES) {
    // Short runs: the 8 characters from i rebuilt from the bit map, which
    // is at hand, and stored at once; reading them from the MAT first
    // would wait for a line that is seldom in the cache.
    uint64_t chars = MatChars(b, i);
    memcpy(b->MAT + i, &chars, 8);
  } else {
    memset(b->MAT + i, used ? 'U' : ' ', static_cast<size_t>(k));
  }
}

// Bit j of the result: nodes j .. j+k-1 are free, for a run that starts in
// word lo and may reach into the next word hi (k up to 64).
uint64_t RunStarts(uint64_t lo, uint64_t hi, int k) {
  if (k <= 4) {
    // The common short requests: three fixed steps, each a no-op past k.
    uint64_t x = lo;
    for (int t = 1; t < 4; ++t) x &= t < k ? (lo >> t) | (hi << (64 - t)) : ~uint64_t{0};
    return x;
  }
  // Longer runs (up to 64): double the length checked each step.
  uint64_t x = lo;
  for (int s = 1; s < k;) {
    int shift = std::min(s, k - s);
    x &= (x >> shift) | (hi << (64 - shift));
    hi &= hi >> shift;
    s += shift;
  }
  return x;
}

// Lowest node index, not below start, that starts k free nodes, or -1.
int FindFreeRun(const PoolBlock *b, int k, int start) {
  int w = start >> 6;
  if (k <= 64) {
    // A run of up to 64 nodes starts in a word that has a free node (two in
    // a row, for two or more) and ends in that word or the next.
    uint32_t words = (k == 1 ? b->freeWords : b->pairWords) & (~uint32_t{0} << w);
    uint64_t below = ~uint64_t{0} << (start & 63); // nodes from start on
    while (words != 0) {
      int at = std::countr_zero(words);
      words &= words - 1;
      uint64_t lo = b->freeBits[at];
      if (at == w) lo &= below;
      uint64_t x = RunStarts(lo, at + 1 < kWords ? b->freeBits[at + 1] : 0, k);
      if (x != 0) return at * 64 + std::countr_zero(x);
    }
    return -1;
  }
  uint64_t lo = b->freeBits[w] & (~uint64_t{0} << (start & 63));
  int carry = 0; // free nodes at the top of the words seen so far
  for (;;) {
    // A run that began in earlier words starts lower than any in this one.
    if (carry > 0 && carry + std::countr_one(lo) >= k) return w * 64 - carry;
    carry = lo == ~uint64_t{0} ? carry + 64 : std::countl_one(lo);
    if (++w == kWords) return -1;
    lo = b->freeBits[w];
  }
}

// Where the search for k free nodes may begin.
int SearchStart(const PoolBlock *b, int k) {
  return b->searchFrom[std::min(k, POOL_TRACKED_RUNS) - 1];
}

// A search for k nodes found its run at `found` (-1: none), so no run of k
// or more nodes starts below it.
void NoteSearch(PoolBlock *b, int k, int found) {
  if (k > POOL_TRACKED_RUNS) return;
  auto at = static_cast<uint16_t>(found < 0 ? POOL_BLOCK_NODES : found);
  for (int j = 0; j < POOL_TRACKED_RUNS; ++j) // fixed length: no guessed exit
    b->searchFrom[j] = j >= k - 1 ? std::max(b->searchFrom[j], at) : b->searchFrom[j];
}

// Nodes [i, i + k) became free. A run of j <= POOL_TRACKED_RUNS free nodes
// that did not exist before holds one of them, so it starts at i - j + 1 or
// later; one bound for all lengths keeps them non-decreasing in j, and is
// cheaper than measuring the free stretch around the nodes. A search that
// finds the bound too low raises it again.
void NoteFreed(PoolBlock *b, int i) {
  auto at = static_cast<uint16_t>(std::max(i - (POOL_TRACKED_RUNS - 1), 0));
  for (uint16_t &bound : b->searchFrom) bound = std::min(bound, at); // fixed length: no guessed exit
}

// Maps n bytes (page-rounded, see MapLength) of zero-filled memory.
// /dev/zero is opened once and kept; when it cannot be opened, anonymous
// mappings serve instead (not the heap: every block is then unmapped the
// same way), and the open is tried again next time.
void *MapBlock(size_t n) {
  size_t len = MapLength(n);
  if (pMapHook != nullptr) return pMapHook(len);
  if (MemId < 0) MemId = open("/dev/zero", O_RDWR | O_CLOEXEC);
  void *p = MemId >= 0 ? mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE, MemId, 0)
                       : mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

// Gives back a region of n bytes that MapBlock(n) made: the whole mapping,
// including the page that rounding added.
void UnmapBlock(void *p, size_t n) {
  size_t len = MapLength(n);
  if (pUnmapHook != nullptr)
    pUnmapHook(p, len);
  else
    munmap(p, len);
}

// Appends b (its data and size set) at the tail, so the list stays in
// creation order.
void PushBlock(PoolBlock *b) {
  ++listedBlocks;
  if (indexedBlocks < kIndexSlots) IndexBlock(b);
  if (pMemB == nullptr) {
    pMemB = b;
    return;
  }
  PoolBlock *last = pMemB;
  while (last->next != nullptr) last = last->next;
  last->next = b;
  b->prev = last;
}

void PopBlock(PoolBlock *b) {
  if (b->prev != nullptr)
    b->prev->next = b->next;
  else
    pMemB = b->next;
  if (b->next != nullptr) b->next->prev = b->prev;
  b->next = b->prev = nullptr;
  --listedBlocks;
  for (int j = 0; j < indexedBlocks; ++j) {
    if (blockIndex[j].block == b) {
      blockIndex[j] = blockIndex[--indexedBlocks];
      break;
    }
  }
  // Back to few enough blocks after an overflow: index them all again.
  if (indexedBlocks < listedBlocks && listedBlocks <= kIndexSlots) {
    indexedBlocks = 0;
    for (PoolBlock *each = pMemB; each != nullptr; each = each->next) IndexBlock(each);
  }
}

void FreeBlock(PoolBlock *b) {
  PopBlock(b);
  UnmapBlock(b->data, static_cast<size_t>(b->size));
  UnmapBlock(b, sizeof(PoolBlock));
}

// A new block of at least 65536 data bytes, all nodes free, at the tail of
// the list; null (after reporting) when memory cannot be had.
PoolBlock *GetNewBlock(size_t n) {
  n = std::max(n, static_cast<size_t>(POOL_BLOCK_SIZE));
  auto *b = static_cast<PoolBlock *>(MapBlock(sizeof(PoolBlock)));
  char *data = b != nullptr ? static_cast<char *>(MapBlock(n)) : nullptr;
  if (data == nullptr) {
    if (b != nullptr) UnmapBlock(b, sizeof(PoolBlock));
    ReportOutOfMem();
    return nullptr;
  }
  memset(b, 0, sizeof(PoolBlock));
  memset(b->MAT, ' ', POOL_BLOCK_NODES);
  memset(b->freeBits, 0xff, sizeof b->freeBits);
  b->freeWords = b->pairWords = ~uint32_t{0};
  b->size = static_cast<int32_t>(n);
  b->data = data;
  PushBlock(b);
  b->freeNodes = POOL_BLOCK_NODES;
  return b;
}

// Takes nodes [i, i + k) of b for one allocation.
void *TakeNodes(PoolBlock *b, int i, int k) {
  char *addr = b->data + i * POOL_NODE_SIZE;
  MarkNodes<true>(b, i, k);
  b->nodes[i] = {static_cast<uint16_t>(k), addr};
  b->starts[i] = static_cast<uint16_t>(k);
  memset(addr, 0, static_cast<size_t>(k) * POOL_NODE_SIZE);
  b->freeNodes -= k;
  return addr;
}

// Index of the node at which an allocation starts at p, or -1. An entry
// with a count always holds its node's own address, so p must be that.
int StartNode(const PoolBlock *b, const void *p) {
  auto offset = static_cast<const char *>(p) - b->data;
  int i = static_cast<int>(offset / POOL_NODE_SIZE);
  return b->starts[i] != 0 && offset % POOL_NODE_SIZE == 0 ? i : -1;
}

// Moves an allocation to fresh memory of n bytes, copying what it holds.
void *Relocate(void *p, size_t n, size_t held) {
  void *q = GetMem(n);
  if (q == nullptr) return nullptr;
  memcpy(q, p, std::min(held, n));
  PutMem(p);
  return q;
}

} // namespace

void PoolSetMapper(PoolMapFn map, PoolUnmapFn unmap) {
  pMapHook = map;
  pUnmapHook = unmap;
}

bool TestMAT(const char *s, char c, int n) {
  for (int i = 0; i < n; ++i)
    if (s[i] != c) return false;
  return true;
}

PoolBlock *FindBlock(const void *p) {
  if (p == nullptr) return nullptr;
  auto at = reinterpret_cast<uintptr_t>(p);
  // Blocks never overlap, so at most one matches: the scan goes to the end
  // without a branch on the match, which no processor can predict.
  PoolBlock *found = nullptr;
  if (indexedBlocks == listedBlocks) {
    // The match as a mask, so that the compiler cannot turn it back into a
    // branch.
    uintptr_t match = 0;
    for (int j = 0; j < indexedBlocks; ++j) {
      const BlockRange &r = blockIndex[j];
      match |= -static_cast<uintptr_t>(at - r.begin < r.size) & reinterpret_cast<uintptr_t>(r.block);
    }
    return reinterpret_cast<PoolBlock *>(match);
  }
  for (PoolBlock *b = pMemB; b != nullptr; b = b->next) {
    // The end address belongs to whatever follows the block, which may be
    // another block's data.
    uintptr_t offset = at - reinterpret_cast<uintptr_t>(b->data);
    found = offset < static_cast<uintptr_t>(b->size) ? b : found;
  }
  return found;
}

void *GetMem(size_t n) {
  if (n == 0) return nullptr;
  if (n > kMaxRequest) {
    ReportOutOfMem();
    return nullptr;
  }
  size_t len = RoundLen(n);
  if (len > POOL_BLOCK_SIZE) {
    size_t size = (len + POOL_BLOCK_SIZE - 1) / POOL_BLOCK_SIZE * POOL_BLOCK_SIZE;
    PoolBlock *b = GetNewBlock(size);
    if (b == nullptr) return nullptr;
    memset(b->data, 0, len);
    memset(b->MAT, 'U', POOL_BLOCK_NODES);
    memset(b->freeBits, 0, sizeof b->freeBits);
    b->freeWords = b->pairWords = 0;
    for (uint16_t &bound : b->searchFrom) bound = POOL_BLOCK_NODES;
    b->freeNodes = 0;
    b->used = static_cast<int32_t>(len);
    return b->data;
  }
  int k = static_cast<int>(len / POOL_NODE_SIZE);
  if (pMemB == nullptr && GetNewBlock(POOL_BLOCK_SIZE) == nullptr) return nullptr;
  for (PoolBlock *b = pMemB; b != nullptr; b = b->next) {
    int start = SearchStart(b, k);
    if (b->freeNodes < k || start + k > POOL_BLOCK_NODES) continue;
    int i = FindFreeRun(b, k, start);
    NoteSearch(b, k, i);
    if (i >= 0) return TakeNodes(b, i, k);
  }
  PoolBlock *b = GetNewBlock(POOL_BLOCK_SIZE);
  if (b == nullptr) return nullptr;
  return TakeNodes(b, 0, k);
}

void PutMem(void *p) {
  PoolBlock *b = FindBlock(p);
  if (b == nullptr) return;
  if (IsDedicated(b)) {
    if (p == b->data) FreeBlock(b);
    return;
  }
  int i = StartNode(b, p);
  if (i >= 0) {
    int count = b->starts[i];
    b->freeNodes += count;
    MarkNodes<false>(b, i, count);
    NoteFreed(b, i);
    b->nodes[i] = {0, nullptr};
    b->starts[i] = 0;
  }
  if (b->freeNodes == POOL_BLOCK_NODES) FreeBlock(b);
}

void *AdjustMem(void *p, size_t n) {
  if (n == 0) {
    PutMem(p);
    return nullptr;
  }
  PoolBlock *b = FindBlock(p);
  if (b == nullptr) return GetMem(n);
  if (n > kMaxRequest) {
    ReportOutOfMem();
    return nullptr;
  }
  size_t len = RoundLen(n);
  char *cp = static_cast<char *>(p);

  if (IsDedicated(b)) {
    if (cp != b->data) return GetMem(n);
    if (static_cast<size_t>(b->size) < len) return Relocate(p, n, static_cast<size_t>(b->used));
    // In place, also when len is the block's whole size. Everything past the
    // new length is cleared (what a shrink cut off, and the rounding slack),
    // so a later growth finds zeros; nothing below n is touched.
    size_t end = std::max(static_cast<size_t>(b->used), len);
    memset(cp + n, 0, end - n);
    b->used = static_cast<int32_t>(len);
    return p;
  }

  int i = StartNode(b, p);
  if (i < 0) return GetMem(n);
  int a = b->starts[i];
  if (len > POOL_BLOCK_SIZE) return Relocate(p, n, static_cast<size_t>(a) * POOL_NODE_SIZE);
  int k = static_cast<int>(len / POOL_NODE_SIZE);

  if (k < a) {
    MarkNodes<false>(b, i + k, a - k);
    NoteFreed(b, i + k);
    memset(cp + k * POOL_NODE_SIZE, 0, static_cast<size_t>(a - k) * POOL_NODE_SIZE);
    b->nodes[i].count = b->starts[i] = static_cast<uint16_t>(k);
    b->freeNodes += a - k;
  } else if (k > a) {
    int m = k - a;
    if (i + k <= POOL_BLOCK_NODES && TestMAT(b->MAT + i + a, ' ', m)) {
      MarkNodes<true>(b, i + a, m);
      memset(cp + a * POOL_NODE_SIZE, 0, static_cast<size_t>(m) * POOL_NODE_SIZE);
      b->nodes[i].count = b->starts[i] = static_cast<uint16_t>(k);
    } else if (i - m >= 0 && TestMAT(b->MAT + i - m, ' ', m)) {
      char *to = b->data + (i - m) * POOL_NODE_SIZE;
      MarkNodes<true>(b, i - m, m);
      memmove(to, cp, static_cast<size_t>(a) * POOL_NODE_SIZE);
      memset(to + a * POOL_NODE_SIZE, 0, static_cast<size_t>(m) * POOL_NODE_SIZE);
      b->nodes[i - m] = {static_cast<uint16_t>(k), to};
      b->starts[i - m] = static_cast<uint16_t>(k);
      b->nodes[i] = {0, nullptr};
      b->starts[i] = 0;
      cp = to;
    } else {
      return Relocate(p, n, static_cast<size_t>(a) * POOL_NODE_SIZE);
    }
    b->freeNodes -= m;
  }
  // Clear past the new length inside the kept nodes: a shrink that stays
  // within the same node count must not leave old bytes for a later growth.
  memset(cp + n, 0, static_cast<size_t>(k) * POOL_NODE_SIZE - n);
  return cp;
}

void DumpMem() {
  auto addr = [](const void *p) { return static_cast<long>(reinterpret_cast<intptr_t>(p)); };
  for (const PoolBlock *b = pMemB; b != nullptr; b = b->next) {
    if (IsDedicated(b)) {
      printf("\n============ Dedicated Block(%li) size(%li) FreeNodeCount(%i) <==(%li) (%li)==>",
             addr(b->data), static_cast<long>(b->size), b->freeNodes, addr(b->prev), addr(b->next));
      continue;
    }
    int spaces = static_cast<int>(std::count(b->MAT, b->MAT + POOL_BLOCK_NODES, ' '));
    int counted = 0;
    for (const PoolNode &e : b->nodes) counted += e.count;
    printf("\n============ Block(%li) size(%li) Free(%i) Used(%i) FreeNodeCount(%i) SizeCnt(%i)"
           " <==(%li) (%li)==>\n\tBlock MAT:",
           addr(b), static_cast<long>(b->size), spaces, POOL_BLOCK_NODES - spaces, b->freeNodes,
           POOL_BLOCK_NODES - counted, addr(b->prev), addr(b->next));
    for (int row = 0; row < POOL_BLOCK_NODES; row += 64) {
      char shown[65];
      for (int j = 0; j < 64; ++j) shown[j] = b->MAT[row + j] == ' ' ? '_' : b->MAT[row + j];
      shown[64] = '\0';
      printf("\n\t%s", shown);
    }
    printf("\n\n\tAllocated Nodes:\n");
    for (int i = 0; i < POOL_BLOCK_NODES; ++i) {
      const PoolNode &e = b->nodes[i];
      if (e.count == 0 || e.addr == nullptr) continue;
      // Bounded by the allocation: contents need not hold a terminator.
      printf("\tMAT index(%6i) Memory Addr(%6li) nodes(%5i) size(%5i) Memory(%.*s)\n", i, addr(e.addr),
             e.count, e.count * POOL_NODE_SIZE, e.count * POOL_NODE_SIZE, static_cast<const char *>(e.addr));
    }
    printf("\n");
  }
}
