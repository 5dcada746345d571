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

// Sets nodes [i, i + k) used or free in both maps.
void MarkNodes(PoolBlock *b, int i, int k, bool used) {
  char mark = used ? 'U' : ' ';
  if (k <= 8 && i + 8 <= POOL_BLOCK_NODES) {
    // Short runs: merge the marks into 8 characters at once, no loop whose
    // length the processor has to guess.
    uint64_t chars, keep = k == 8 ? 0 : ~uint64_t{0} << (8 * k);
    memcpy(&chars, b->MAT + i, 8);
    chars = (chars & keep) | (0x0101010101010101u * static_cast<unsigned char>(mark) & ~keep);
    memcpy(b->MAT + i, &chars, 8);
  } else {
    memset(b->MAT + i, mark, static_cast<size_t>(k));
  }
  uint64_t set = used ? 0 : ~uint64_t{0};
  int first = i >> 6, last = (i + k - 1) >> 6;
  if (k <= 64) {
    // One or two words, written without a loop: the second mask is empty
    // when the run stays in the first word.
    unsigned __int128 mask = ((static_cast<unsigned __int128>(1) << k) - 1) << (i & 63);
    auto low = static_cast<uint64_t>(mask), high = static_cast<uint64_t>(mask >> 64);
    int next = std::min(first + 1, kWords - 1);
    b->freeBits[first] = (b->freeBits[first] & ~low) | (low & set);
    b->freeBits[next] = (b->freeBits[next] & ~high) | (high & set);
    Summarize(b, std::max(first - 1, 0));
    Summarize(b, first);
    Summarize(b, next);
    return;
  }
  for (int w = first; w <= last; ++w) {
    int from = std::max(i, w * 64) - w * 64, to = std::min(i + k, w * 64 + 64) - w * 64;
    uint64_t mask = (to - from == 64 ? ~uint64_t{0} : (uint64_t{1} << (to - from)) - 1) << from;
    b->freeBits[w] = (b->freeBits[w] & ~mask) | (mask & set);
  }
  // A pair may start in the word before the change and end in it.
  for (int w = std::max(first - 1, 0); w <= last; ++w) Summarize(b, w);
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

// Number of free nodes just below node i (counted over at most two words).
int FreeBelow(const PoolBlock *b, int i) {
  if (i == 0) return 0;
  int w = (i - 1) >> 6, top = (i - 1) & 63;
  int n = std::countl_one(b->freeBits[w] << (63 - top));
  if (n == top + 1 && w > 0) n += std::countl_one(b->freeBits[w - 1]);
  return n;
}

// Number of free nodes from node i on (counted over at most two words).
int FreeFrom(const PoolBlock *b, int i) {
  if (i >= POOL_BLOCK_NODES) return 0;
  int w = i >> 6, low = i & 63;
  int n = std::countr_one(b->freeBits[w] >> low);
  if (n == 64 - low && w + 1 < kWords) n += std::countr_one(b->freeBits[w + 1]);
  return n;
}

// Nodes [i, i + k) became free: runs up to the length of the free stretch
// around them may now start as low as that stretch does.
void NoteFreed(PoolBlock *b, int i, int k) {
  int start = i - std::min(FreeBelow(b, i), POOL_TRACKED_RUNS);
  int end = i + k + std::min(FreeFrom(b, i + k), POOL_TRACKED_RUNS);
  int longest = std::min(end - start, POOL_TRACKED_RUNS);
  auto at = static_cast<uint16_t>(start);
  for (int j = 0; j < POOL_TRACKED_RUNS; ++j) // fixed length: no guessed exit
    b->searchFrom[j] = j < longest ? std::min(b->searchFrom[j], at) : b->searchFrom[j];
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

// Appends b at the tail, so the list stays in creation order.
void PushBlock(PoolBlock *b) {
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
  PushBlock(b);
  b->size = static_cast<int32_t>(n);
  b->data = data;
  b->freeNodes = POOL_BLOCK_NODES;
  return b;
}

// Takes nodes [i, i + k) of b for one allocation.
void *TakeNodes(PoolBlock *b, int i, int k) {
  char *addr = b->data + i * POOL_NODE_SIZE;
  MarkNodes(b, i, k, true);
  b->nodes[i] = {static_cast<uint16_t>(k), addr};
  memset(addr, 0, static_cast<size_t>(k) * POOL_NODE_SIZE);
  b->freeNodes -= k;
  return addr;
}

// Index of the node at which an allocation starts at p, or -1.
int StartNode(const PoolBlock *b, const void *p) {
  int i = static_cast<int>((static_cast<const char *>(p) - b->data) / POOL_NODE_SIZE);
  const PoolNode &e = b->nodes[i];
  return e.count != 0 && e.addr == p ? i : -1;
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
  // Blocks never overlap, so at most one matches: the walk goes to the end
  // without a branch on the match, which no processor can predict.
  PoolBlock *found = nullptr;
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
    PoolNode &e = b->nodes[i];
    b->freeNodes += e.count;
    MarkNodes(b, i, e.count, false);
    NoteFreed(b, i, e.count);
    e = {0, nullptr};
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
  int a = b->nodes[i].count;
  if (len > POOL_BLOCK_SIZE) return Relocate(p, n, static_cast<size_t>(a) * POOL_NODE_SIZE);
  int k = static_cast<int>(len / POOL_NODE_SIZE);

  if (k < a) {
    MarkNodes(b, i + k, a - k, false);
    NoteFreed(b, i + k, a - k);
    memset(cp + k * POOL_NODE_SIZE, 0, static_cast<size_t>(a - k) * POOL_NODE_SIZE);
    b->nodes[i].count = static_cast<uint16_t>(k);
    b->freeNodes += a - k;
  } else if (k > a) {
    int m = k - a;
    if (i + k <= POOL_BLOCK_NODES && TestMAT(b->MAT + i + a, ' ', m)) {
      MarkNodes(b, i + a, m, true);
      memset(cp + a * POOL_NODE_SIZE, 0, static_cast<size_t>(m) * POOL_NODE_SIZE);
      b->nodes[i].count = static_cast<uint16_t>(k);
    } else if (i - m >= 0 && TestMAT(b->MAT + i - m, ' ', m)) {
      char *to = b->data + (i - m) * POOL_NODE_SIZE;
      MarkNodes(b, i - m, m, true);
      memmove(to, cp, static_cast<size_t>(a) * POOL_NODE_SIZE);
      memset(to + a * POOL_NODE_SIZE, 0, static_cast<size_t>(m) * POOL_NODE_SIZE);
      b->nodes[i - m] = {static_cast<uint16_t>(k), to};
      b->nodes[i] = {0, nullptr};
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
