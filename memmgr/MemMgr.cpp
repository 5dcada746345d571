// MemMgr: block-based, zero-filled allocation from mapped memory.
//
// Each block has a printable allocation map (MAT, one character per node)
// and, beside it, the same map as a bit set, which the first-fit search
// scans a 64-bit word at a time, with two 32-bit summaries of the words
// (has a free node; has two in a row). All of them always agree; the bits
// only make the search faster, the answer is the lowest free run, as a
// substring search of the MAT would give.
//
// Across blocks, the pool keeps the first POOL_SLOTS blocks of the list in
// a table, with two bit sets over it (blocks with a free node; with two in
// a row), so that first fit goes straight to the first block that can
// serve a request of one or two nodes, and a table of the blocks' 64 KiB
// address granules, so that a release finds its block with one lookup.
// Requests of one or two nodes and their release, the pool's everyday
// work, have short paths of their own.
#include "memmgr/MemMgr.h"
#include "memmgr/MemMgrInternal.h"

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

// The first kSlots blocks of the list, in list order. Blocks past them (a
// pool seldom has so many) have slot kSlots and are found by walking the
// list; they come after every block of the table, so a fit found in the
// table is the first fit of the pool.
constexpr int kSlots = POOL_SLOTS;
PoolBlock *slotBlock[kSlots];
int slotCount = 0;     // entries of the table in use
int listedBlocks = 0;  // blocks in the list
// fits[0] bit j: slotBlock[j] has a free node; fits[1] bit j: it has two
// free nodes in a row. Always exact.
uint64_t fits[2];
// slotSummary[j]: the word summary of slotBlock[j] (see PoolBlock::summary).
uint64_t slotSummary[kSlots];

// Blocks of the table sorted by data address, for a binary search; the
// entries from slotCount up to sortedSpan (a power of two) begin at the top
// of the address space and are empty, so the search needs no bounds.
uintptr_t sortedBegin[kSlots];
uintptr_t sortedSize[kSlots];
PoolBlock *sortedBlock[kSlots];
int sortedSpan = 1;

// The ordinary blocks of the table by the 64 KiB granules of the address
// space that their data touches (two at most), hashed into a small table
// of two ways. A granule whose entry is full is simply not entered: its
// lookups fall back to the binary search.
constexpr int kGranuleShift = 16;
constexpr int kGranules = 256;
constexpr uintptr_t kNoBegin = uintptr_t{1} << 63;  // no pointer lies within 64 KiB above it
struct Granule {
  uintptr_t begin[2];
  PoolBlock *block[2];
};
Granule granules[kGranules];

PoolMapFn pMapHook = nullptr;
PoolUnmapFn pUnmapHook = nullptr;

// Smallest multiple of 32 that is at least n + 1.
size_t RoundLen(size_t n)
{
  return (n / POOL_NODE_SIZE + 1) * POOL_NODE_SIZE;
}

bool IsDedicated(const PoolBlock *b)
{
  return b->size > POOL_BLOCK_SIZE;
}

// Length actually mapped for n bytes: whole pages, always one page more
// than n needs when n is an exact multiple of the page size.
size_t MapLength(size_t n)
{
  size_t page = static_cast<size_t>(getpagesize());
  return page * (n / page + 1);
}

void ReportOutOfMem()
{
  fprintf(stderr, "ERROR: %s\n", OutOfMem);
}

// The granule table's ordinary block whose data holds `at`, or null (also
// when the block is not in the table).
// *offset: where `at` lies in its data, taken from the table, so that the
// caller need not wait for the block's header to know it.
[[gnu::always_inline]] inline PoolBlock *LookupGranule(uintptr_t at, uintptr_t *offset)
{
  const Granule &g = granules[(at >> kGranuleShift) % kGranules];
  uintptr_t off0 = at - g.begin[0], off1 = at - g.begin[1];
  // Branches, not masks: the way is nearly always the same, and a
  // predicted branch lets the release go on before the table is read.
  bool in0 = off0 < POOL_BLOCK_SIZE;
  *offset = in0 ? off0 : off1;
  PoolBlock *b = off1 < POOL_BLOCK_SIZE ? g.block[1] : nullptr;
  return in0 ? g.block[0] : b;
}

void EnterGranules(PoolBlock *b)
{
  if (IsDedicated(b))
    return;
  auto begin = reinterpret_cast<uintptr_t>(b->data);
  for (uintptr_t g = begin >> kGranuleShift; g <= (begin + POOL_BLOCK_SIZE - 1) >> kGranuleShift;
       ++g) {
    Granule &entry = granules[g % kGranules];
    int way = entry.block[0] == nullptr ? 0 : entry.block[1] == nullptr ? 1 : -1;
    if (way < 0)
      continue;
    entry.begin[way] = begin;
    entry.block[way] = b;
  }
}

// Bit j set: nodes j and j + 1 of word lo are free, the second possibly
// node 0 of the next word hi.
[[gnu::always_inline]] inline uint64_t PairStarts(uint64_t lo, uint64_t hi)
{
  return lo & ((lo >> 1) | (hi << 63));
}

// The summary's bits of word w: has a free node; has a pair starting in it.
constexpr uint64_t FreeWordBit(uint64_t w)
{
  return uint64_t{1} << w;
}
constexpr uint64_t PairWordBit(uint64_t w)
{
  return uint64_t{1} << (32 + w);
}
// The summary's words with a free node (k = 1) or a pair (k > 1).
[[gnu::always_inline]] inline uint32_t SummaryWords(uint64_t summary, int k)
{
  return static_cast<uint32_t>(k == 1 ? summary : summary >> 32);
}

// Brings the summary bits of word w up to date with freeBits.
[[gnu::always_inline]] inline void Summarize(PoolBlock *b, int w)
{
  uint64_t lo = b->freeBits[w], hi = b->freeBits[w + 1];
  uint64_t s = *b->summary & ~(FreeWordBit(w) | PairWordBit(w));
  *b->summary = s | (lo != 0 ? FreeWordBit(w) : 0) | (PairStarts(lo, hi) != 0 ? PairWordBit(w) : 0);
}

// The MAT characters of nodes i .. i+7 as the bit map has them, packed
// little-endian in 8 bytes: ' ' for a free node, 'U' for a used one.
[[gnu::always_inline]] inline uint64_t MatChars(const PoolBlock *b, int i)
{
  int w = i >> 6, bit = i & 63;
  uint64_t bits = b->freeBits[w] >> bit;
  if (bit > 56)
    bits |= b->freeBits[w + 1] << (64 - bit);  // i + 8 <= 2048: word w + 1 exists
  // Bit t of the low byte to bit 0 of byte t (the multiply does bits 0-6
  // without carries reaching each other; bit 7 goes by itself), then 0/1
  // to 'U'/' '.
  uint64_t spread = ((bits & 0x7f) * 0x0002040810204081u & 0x0101010101010101u) | (bits >> 7 & 1)
                                                                                      << 56;
  return 0x5555555555555555u ^ spread * static_cast<unsigned char>('U' ^ ' ');
}

// Sets nodes [i, i + k) used or free in both maps. Inlined with `used`
// known, so that each caller gets only its own half of the work.
template <bool used>
[[gnu::always_inline]] inline void MarkNodes(PoolBlock *b, int i, int k)
{
  int first = i >> 6, last = (i + k - 1) >> 6, bit = i & 63;
  if (first == last) {
    // A run inside one word: one mask, and only the summaries that can see
    // the change. The pair bit of the word before looks at node 0 of this
    // word only.
    uint64_t mask = (k == 64 ? ~uint64_t{0} : (uint64_t{1} << k) - 1) << bit;
    b->freeBits[first] = used ? b->freeBits[first] & ~mask : b->freeBits[first] | mask;
    Summarize(b, first);
    if (bit == 0 && first > 0)
      Summarize(b, first - 1);
  } else {
    constexpr uint64_t set = used ? 0 : ~uint64_t{0};
    for (int w = first; w <= last; ++w) {
      int from = std::max(i, w * 64) - w * 64, to = std::min(i + k, w * 64 + 64) - w * 64;
      uint64_t mask = (to - from == 64 ? ~uint64_t{0} : (uint64_t{1} << (to - from)) - 1) << from;
      b->freeBits[w] = (b->freeBits[w] & ~mask) | (mask & set);
    }
    // A pair may start in the word before the change and end in it.
    for (int w = std::max(first - 1, 0); w <= last; ++w)
      Summarize(b, w);
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
uint64_t RunStarts(uint64_t lo, uint64_t hi, int k)
{
  if (k <= 4) {
    // The common short requests: three fixed steps, each a no-op past k.
    uint64_t x = lo;
    for (int t = 1; t < 4; ++t)
      x &= t < k ? (lo >> t) | (hi << (64 - t)) : ~uint64_t{0};
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

// Lowest node index that starts k free nodes in b, or -1.
int FindRun(const PoolBlock *b, int k)
{
  if (k <= 64) {
    // A run of up to 64 nodes starts in a word that has a free node (two in
    // a row, for two or more) and ends in that word or the next (the guard
    // word after the last lets it look there without a test).
    for (uint32_t words = SummaryWords(*b->summary, k); words != 0; words &= words - 1) {
      int at = std::countr_zero(words);
      uint64_t x = RunStarts(b->freeBits[at], b->freeBits[at + 1], k);
      if (x != 0)
        return at * 64 + std::countr_zero(x);
    }
    return -1;
  }
  uint64_t lo = b->freeBits[0];
  int carry = 0;  // free nodes at the top of the words seen so far
  for (int w = 0;;) {
    // A run that began in earlier words starts lower than any in this one.
    if (carry > 0 && carry + std::countr_one(lo) >= k)
      return w * 64 - carry;
    carry = lo == ~uint64_t{0} ? carry + 64 : std::countl_one(lo);
    if (++w == kWords)
      return -1;
    lo = b->freeBits[w];
  }
}

// Bit of b in the fit sets; 0 for a block without a slot.
uint64_t SlotBit(const PoolBlock *b)
{
  return b->slot < kSlots ? uint64_t{1} << b->slot : 0;
}

// Nodes of b were taken or released: its bits in the fit sets follow its
// summaries.
void NoteFits(const PoolBlock *b)
{
  uint64_t s = *b->summary, bit = SlotBit(b);
  fits[0] = (fits[0] & ~bit) | (SummaryWords(s, 1) != 0 ? bit : 0);
  fits[1] = (fits[1] & ~bit) | (SummaryWords(s, 2) != 0 ? bit : 0);
}

// Gives b the slot j of the table (kSlots: none); its summary goes along.
void SetSlot(PoolBlock *b, int j)
{
  uint64_t s = *b->summary;
  b->slot = j;
  b->summary = j < kSlots ? &slotSummary[j] : &b->ownSummary;
  *b->summary = s;
  if (j < kSlots)
    slotBlock[j] = b;
}

// Nodes of b were released: longer runs may have come.
void NoteFreed(PoolBlock *b)
{
  NoteFits(b);
  b->longestRun = POOL_BLOCK_NODES;
}

// Sorts the blocks of the table into the address tables.
void SortSlots()
{
  int n = 0;
  for (auto &g : granules)
    g = {{kNoBegin, kNoBegin}, {nullptr, nullptr}};
  for (int j = 0; j < slotCount; ++j) {
    PoolBlock *b = slotBlock[j];
    EnterGranules(b);
    auto begin = reinterpret_cast<uintptr_t>(b->data);
    int at = n++;
    for (; at > 0 && sortedBegin[at - 1] > begin; --at) {
      sortedBegin[at] = sortedBegin[at - 1];
      sortedSize[at] = sortedSize[at - 1];
      sortedBlock[at] = sortedBlock[at - 1];
    }
    sortedBegin[at] = begin;
    sortedSize[at] = static_cast<uintptr_t>(b->size);
    sortedBlock[at] = b;
  }
  sortedSpan = static_cast<int>(std::bit_ceil(static_cast<unsigned>(std::max(n, 1))));
  for (int j = n; j < kSlots; ++j) {
    sortedBegin[j] = ~uintptr_t{0};
    sortedSize[j] = 0;
    sortedBlock[j] = nullptr;
  }
}

// Rebuilds the table and everything kept over it from the list.
void Reindex()
{
  slotCount = 0;
  fits[0] = fits[1] = 0;
  // Blocks only move up the table, so each summary is read before its old
  // place is taken by another.
  for (PoolBlock *b = pMemB; b != nullptr; b = b->next) {
    SetSlot(b, slotCount < kSlots ? slotCount++ : kSlots);
    NoteFits(b);
  }
  SortSlots();
}

// Maps n bytes (page-rounded, see MapLength) of zero-filled memory.
// /dev/zero is opened once and kept; when it cannot be opened, anonymous
// mappings serve instead (not the heap: every block is then unmapped the
// same way), and the open is tried again next time.
void *MapBlock(size_t n)
{
  size_t len = MapLength(n);
  if (pMapHook != nullptr)
    return pMapHook(len);
  if (MemId < 0)
    MemId = open("/dev/zero", O_RDWR | O_CLOEXEC);
  void *p = MemId >= 0
                ? mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE, MemId, 0)
                : mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

// Gives back a region of n bytes that MapBlock(n) made: the whole mapping,
// including the page that rounding added.
void UnmapBlock(void *p, size_t n)
{
  size_t len = MapLength(n);
  if (pUnmapHook != nullptr)
    pUnmapHook(p, len);
  else
    munmap(p, len);
}

// Appends b (its data, size and maps set) at the tail, so the list stays in
// creation order.
void PushBlock(PoolBlock *b)
{
  PoolBlock *last = slotCount == listedBlocks && slotCount > 0 ? slotBlock[slotCount - 1] : pMemB;
  SetSlot(b, slotCount == listedBlocks && slotCount < kSlots ? slotCount++ : kSlots);
  ++listedBlocks;
  NoteFreed(b);
  if (last == nullptr) {
    pMemB = b;
  } else {
    while (last->next != nullptr)
      last = last->next;
    last->next = b;
    b->prev = last;
  }
  if (b->slot < kSlots)
    SortSlots();
}

// Unlinks b. The table is rebuilt: blocks go seldom (only when their last
// allocation does), and later blocks move up a place.
void PopBlock(PoolBlock *b)
{
  if (b->prev != nullptr)
    b->prev->next = b->next;
  else
    pMemB = b->next;
  if (b->next != nullptr)
    b->next->prev = b->prev;
  b->next = b->prev = nullptr;
  --listedBlocks;
  Reindex();
}

void FreeBlock(PoolBlock *b)
{
  PopBlock(b);
  UnmapBlock(b->data, static_cast<size_t>(b->size));
  UnmapBlock(b, sizeof(PoolBlock));
}

// A new block of at least 65536 data bytes, all nodes free, at the tail of
// the list; null (after reporting) when memory cannot be had.
PoolBlock *GetNewBlock(size_t n)
{
  n = std::max(n, static_cast<size_t>(POOL_BLOCK_SIZE));
  auto *b = static_cast<PoolBlock *>(MapBlock(sizeof(PoolBlock)));
  char *data = b != nullptr ? static_cast<char *>(MapBlock(n)) : nullptr;
  if (data == nullptr) {
    if (b != nullptr)
      UnmapBlock(b, sizeof(PoolBlock));
    ReportOutOfMem();
    return nullptr;
  }
  memset(b, 0, sizeof(PoolBlock));
  memset(b->MAT, ' ', POOL_BLOCK_NODES);
  memset(b->freeBits, 0xff, kWords * sizeof b->freeBits[0]);  // the guard word stays 0
  b->startBits[kWords] = 1;
  b->ownSummary = ~uint64_t{0};
  b->summary = &b->ownSummary;
  b->size = static_cast<int32_t>(n);
  b->data = data;
  b->freeNodes = POOL_BLOCK_NODES;
  PushBlock(b);
  return b;
}

// Takes nodes [i, i + k) of b for one allocation.
void *TakeNodes(PoolBlock *b, int i, int k)
{
  char *addr = b->data + i * POOL_NODE_SIZE;
  MarkNodes<true>(b, i, k);
  NoteFits(b);
  b->nodes[i] = {static_cast<uint16_t>(k), addr};
  b->startBits[i >> 6] |= uint64_t{1} << (i & 63);
  memset(addr, 0, static_cast<size_t>(k) * POOL_NODE_SIZE);
  b->freeNodes -= k;
  return addr;
}

// Index of the node at which an allocation starts at p, or -1. An entry
// with a count always holds its node's own address, so p must be that.
int StartNode(const PoolBlock *b, const void *p)
{
  auto offset = static_cast<size_t>(static_cast<const char *>(p) - b->data);
  int i = static_cast<int>(offset / POOL_NODE_SIZE);
  return (b->startBits[i >> 6] >> (i & 63) & 1) != 0 && offset % POOL_NODE_SIZE == 0 ? i : -1;
}

// Length in nodes of the allocation that starts at node i: up to the next
// start or free node (the guard word closes the last).
int AllocLength(const PoolBlock *b, int i)
{
  int w = i >> 6, bit = i & 63;
  uint64_t x = ((b->startBits[w] | b->freeBits[w]) >> bit) >> 1;
  if (x != 0)
    return 1 + std::countr_zero(x);
  int n = 64 - bit;
  for (++w;; ++w, n += 64) {
    uint64_t y = b->startBits[w] | b->freeBits[w];
    if (y != 0)
      return n + std::countr_zero(y);
  }
}

// Moves an allocation to fresh memory of n bytes, copying what it holds.
void *Relocate(void *p, size_t n, size_t held)
{
  void *q = GetMem(n);
  if (q == nullptr)
    return nullptr;
  memcpy(q, p, std::min(held, n));
  PutMem(p);
  return q;
}

// A dedicated block for a request of len bytes (already rounded).
void *GetDedicated(size_t len)
{
  size_t size = (len + POOL_BLOCK_SIZE - 1) / POOL_BLOCK_SIZE * POOL_BLOCK_SIZE;
  PoolBlock *b = GetNewBlock(size);
  if (b == nullptr)
    return nullptr;
  memset(b->data, 0, len);
  memset(b->MAT, 'U', POOL_BLOCK_NODES);
  memset(b->freeBits, 0, sizeof b->freeBits);
  *b->summary = 0;
  b->longestRun = 0;
  NoteFits(b);
  b->freeNodes = 0;
  b->used = static_cast<int32_t>(len);
  return b->data;
}

// GetMem for any request.
[[gnu::noinline]] void *GetAny(size_t n)
{
  if (n == 0)
    return nullptr;
  if (n > kMaxRequest) {
    ReportOutOfMem();
    return nullptr;
  }
  size_t len = RoundLen(n);
  if (len > POOL_BLOCK_SIZE)
    return GetDedicated(len);
  int k = static_cast<int>(len / POOL_NODE_SIZE);
  // The table first, then the blocks past it. One or two nodes: the first
  // block of the fit set has them. More: the blocks with two free nodes in
  // a row that the longest-run bound does not rule out.
  for (uint64_t maybe = fits[std::min(k, 2) - 1]; maybe != 0; maybe &= maybe - 1) {
    PoolBlock *b = slotBlock[std::countr_zero(maybe)];
    if (b->freeNodes < k || b->longestRun < k)
      continue;
    int i = FindRun(b, k);
    if (i >= 0)
      return TakeNodes(b, i, k);
    b->longestRun = k - 1;
  }
  if (slotCount < listedBlocks) {
    for (PoolBlock *b = slotBlock[kSlots - 1]->next; b != nullptr; b = b->next) {
      if (b->freeNodes < k || b->longestRun < k)
        continue;
      int i = FindRun(b, k);
      if (i >= 0)
        return TakeNodes(b, i, k);
      b->longestRun = k - 1;
    }
  }
  PoolBlock *b = GetNewBlock(POOL_BLOCK_SIZE);
  if (b == nullptr)
    return nullptr;
  return TakeNodes(b, 0, k);
}

// PutMem for any pointer.
[[gnu::noinline]] void PutAny(void *p)
{
  PoolBlock *b = FindBlock(p);
  if (b == nullptr)
    return;
  if (IsDedicated(b)) {
    if (p == b->data)
      FreeBlock(b);
    return;
  }
  int i = StartNode(b, p);
  if (i >= 0) {
    int count = AllocLength(b, i);
    b->freeNodes += count;
    b->startBits[i >> 6] &= ~(uint64_t{1} << (i & 63));
    MarkNodes<false>(b, i, count);
    NoteFreed(b);
    b->nodes[i] = {0, nullptr};
  }
  if (b->freeNodes == POOL_BLOCK_NODES)
    FreeBlock(b);
}

}  // namespace

void PoolSetMapper(PoolMapFn map, PoolUnmapFn unmap)
{
  pMapHook = map;
  pUnmapHook = unmap;
}

bool TestMAT(const char *s, char c, int n)
{
  for (int i = 0; i < n; ++i)
    if (s[i] != c)
      return false;
  return true;
}

bool PoolMayHoldRun(const PoolBlock *b, int k)
{
  if (k > b->longestRun)
    return false;
  if (b->slot == kSlots)
    return true;
  return (fits[std::min(k, 2) - 1] >> b->slot & 1) != 0;
}

PoolBlock *FindBlock(const void *p)
{
  if (p == nullptr)
    return nullptr;
  auto at = reinterpret_cast<uintptr_t>(p);
  uintptr_t offset;
  if (PoolBlock *b = LookupGranule(at, &offset); b != nullptr)
    return b;
  // Blocks never overlap, so at most one matches. The end address belongs
  // to whatever follows the block, which may be another block's data.
  if (slotCount == listedBlocks) {
    // The last block that begins at or below p, without branches on the
    // comparisons, which no processor can predict.
    int j = 0;
    for (int half = sortedSpan / 2; half > 0; half /= 2)
      j += sortedBegin[j + half] <= at ? half : 0;
    return at - sortedBegin[j] < sortedSize[j] ? sortedBlock[j] : nullptr;
  }
  PoolBlock *found = nullptr;
  for (PoolBlock *b = pMemB; b != nullptr; b = b->next) {
    uintptr_t within = at - reinterpret_cast<uintptr_t>(b->data);
    found = within < static_cast<uintptr_t>(b->size) ? b : found;
  }
  return found;
}

// The everyday requests, one or two nodes (up to 62 bytes), and the release
// of up to three nodes inside one word of the bit map, do what the general
// paths do in fewer steps: no loop, no branch on the size, the maps written
// directly. A pair that the search finds across two words is taken by the
// general code.
void *GetMem(size_t n)
{
  if (n - 1 < 2 * POOL_NODE_SIZE - 1) {
    size_t k = n / POOL_NODE_SIZE + 1;
    uint64_t fit = fits[k - 1];
    if (fit != 0) {
      // The first block of the fit set holds the first fit; its summary
      // gives the word, the word the node (neither is empty).
      size_t j = static_cast<unsigned>(__builtin_ctzll(fit));
      PoolBlock *b = slotBlock[j];
      uint64_t s = slotSummary[j];
      size_t w = static_cast<unsigned>(__builtin_ctz(static_cast<uint32_t>(s >> (k - 1) * 32)));
      uint64_t lo = b->freeBits[w], hi = b->freeBits[w + 1];
      uint64_t pairs = PairStarts(lo, hi);
      uint64_t x = k == 1 ? lo : pairs;
      uint64_t low = x & -x;
      // A pair in the word's last node reaches into the next word: the
      // general path takes it.
      if (low << (k - 1) != 0) {
        // Everything the next request depends on (the bit map, the summary,
        // the fit sets) comes from the taken nodes' mask in a few steps,
        // without waiting for their index. The pairs that the taken nodes
        // were part of go with them. No summary bit of an earlier word can
        // change: being the first fit, this word has the first free node
        // and the first pair, so no pair ends in it from the word before.
        uint64_t taken = low | low << (k - 1);
        lo &= ~taken;
        pairs &= ~(taken | taken >> 1);
        b->freeBits[w] = lo;
        uint64_t clear = static_cast<uint64_t>(lo == 0) | static_cast<uint64_t>(pairs == 0) << 32;
        s &= ~(clear << w);
        slotSummary[j] = s;
        // Blocks seldom run out of free nodes, so a branch; pairs come and
        // go at random, so a mask.
        if (static_cast<uint32_t>(s) == 0) [[unlikely]]
          fits[0] &= ~(uint64_t{1} << j);
        fits[1] &= ~(static_cast<uint64_t>((s >> 32) == 0) << j);
        size_t bit = static_cast<unsigned>(__builtin_ctzll(x));
        size_t i = w * 64 + bit;
        b->MAT[i] = 'U';
        b->MAT[i + k - 1] = 'U';
        char *addr = b->data + i * POOL_NODE_SIZE;
        b->nodes[i] = {static_cast<uint16_t>(k), addr};
        b->startBits[w] |= low;
        // The first and the last 32 bytes: the same ones for one node.
        memset(addr, 0, POOL_NODE_SIZE);
        memset(addr + (k - 1) * POOL_NODE_SIZE, 0, POOL_NODE_SIZE);
        b->freeNodes -= static_cast<int32_t>(k);
        return addr;
      }
    }
  }
  return GetAny(n);
}

void PutMem(void *p)
{
  auto at = reinterpret_cast<uintptr_t>(p);
  uintptr_t offset;
  if (PoolBlock *b = LookupGranule(at, &offset); b != nullptr) {
    size_t i = offset / POOL_NODE_SIZE, w = i >> 6, bit = i & 63;
    uint64_t starts = b->startBits[w], lo = b->freeBits[w];
    // The allocation runs up to the next start or free node; when that lies
    // in the word, `end` is its bit (else 0, for the general path), and the
    // nodes to release are the bits from `first` below it.
    uint64_t first = uint64_t{1} << bit;
    uint64_t after = (starts | lo) & ~uint64_t{1} << bit;
    uint64_t end = after & -after;
    size_t count = static_cast<unsigned>(__builtin_ctzll(after | uint64_t{1} << 63)) - bit;
    if (offset % POOL_NODE_SIZE == 0 && (starts & first) != 0 && end != 0 && count <= 3) {
      b->startBits[w] = starts & ~first;
      lo |= end - first;
      uint64_t hi = b->freeBits[w + 1];
      b->freeBits[w] = lo;
      // Blocks in the granule table have a slot. Releases only add to the
      // fit sets, and a block that had a pair already has its bit, so the
      // new pair bits alone decide: the next request, which waits for the
      // fit set of pairs, need not wait for the summary too.
      size_t slot = static_cast<size_t>(b->slot);
      uint64_t pairBits = PairStarts(lo, hi) != 0 ? PairWordBit(w) : 0;
      // A pair may now start in the last node of the word before.
      if (bit == 0 && w > 0)
        pairBits |= (b->freeBits[w - 1] >> 63) << (31 + w);
      slotSummary[slot] |= FreeWordBit(w) | pairBits;
      uint64_t slotBit = uint64_t{1} << slot;
      if ((fits[0] & slotBit) == 0) [[unlikely]]
        fits[0] |= slotBit;
      fits[1] |= pairBits != 0 ? slotBit : 0;
      b->longestRun = POOL_BLOCK_NODES;
      b->MAT[i] = ' ';
      b->MAT[i + count / 2] = ' ';
      b->MAT[i + count - 1] = ' ';
      b->nodes[i] = {0, nullptr};
      b->freeNodes += static_cast<int32_t>(count);
      if (b->freeNodes == POOL_BLOCK_NODES)
        FreeBlock(b);
      return;
    }
  }
  PutAny(p);
}

void *AdjustMem(void *p, size_t n)
{
  if (n == 0) {
    PutMem(p);
    return nullptr;
  }
  PoolBlock *b = FindBlock(p);
  if (b == nullptr)
    return GetMem(n);
  if (n > kMaxRequest) {
    ReportOutOfMem();
    return nullptr;
  }
  size_t len = RoundLen(n);
  char *cp = static_cast<char *>(p);

  if (IsDedicated(b)) {
    if (cp != b->data)
      return GetMem(n);
    if (static_cast<size_t>(b->size) < len)
      return Relocate(p, n, static_cast<size_t>(b->used));
    // In place, also when len is the block's whole size. Everything past the
    // new length is cleared (what a shrink cut off, and the rounding slack),
    // so a later growth finds zeros; nothing below n is touched.
    size_t end = std::max(static_cast<size_t>(b->used), len);
    memset(cp + n, 0, end - n);
    b->used = static_cast<int32_t>(len);
    return p;
  }

  int i = StartNode(b, p);
  if (i < 0)
    return GetMem(n);
  int a = AllocLength(b, i);
  if (len > POOL_BLOCK_SIZE)
    return Relocate(p, n, static_cast<size_t>(a) * POOL_NODE_SIZE);
  int k = static_cast<int>(len / POOL_NODE_SIZE);

  if (k < a) {
    MarkNodes<false>(b, i + k, a - k);
    NoteFreed(b);
    memset(cp + k * POOL_NODE_SIZE, 0, static_cast<size_t>(a - k) * POOL_NODE_SIZE);
    b->nodes[i].count = static_cast<uint16_t>(k);
    b->freeNodes += a - k;
  } else if (k > a) {
    int m = k - a;
    if (i + k <= POOL_BLOCK_NODES && TestMAT(b->MAT + i + a, ' ', m)) {
      MarkNodes<true>(b, i + a, m);
      NoteFits(b);
      memset(cp + a * POOL_NODE_SIZE, 0, static_cast<size_t>(m) * POOL_NODE_SIZE);
      b->nodes[i].count = static_cast<uint16_t>(k);
    } else if (i - m >= 0 && TestMAT(b->MAT + i - m, ' ', m)) {
      char *to = b->data + (i - m) * POOL_NODE_SIZE;
      MarkNodes<true>(b, i - m, m);
      NoteFits(b);
      memmove(to, cp, static_cast<size_t>(a) * POOL_NODE_SIZE);
      memset(to + a * POOL_NODE_SIZE, 0, static_cast<size_t>(m) * POOL_NODE_SIZE);
      b->nodes[i - m] = {static_cast<uint16_t>(k), to};
      b->startBits[(i - m) >> 6] |= uint64_t{1} << ((i - m) & 63);
      b->nodes[i] = {0, nullptr};
      b->startBits[i >> 6] &= ~(uint64_t{1} << (i & 63));
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

void DumpMem()
{
  auto addr = [](const void *p) { return static_cast<long>(reinterpret_cast<intptr_t>(p)); };
  for (const PoolBlock *b = pMemB; b != nullptr; b = b->next) {
    if (IsDedicated(b)) {
      printf("\n============ Dedicated Block(%li) size(%li) FreeNodeCount(%i) <==(%li) (%li)==>",
             addr(b->data), static_cast<long>(b->size), b->freeNodes, addr(b->prev), addr(b->next));
      continue;
    }
    int spaces = static_cast<int>(std::count(b->MAT, b->MAT + POOL_BLOCK_NODES, ' '));
    int counted = 0;
    for (const PoolNode &e : b->nodes)
      counted += e.count;
    printf("\n============ Block(%li) size(%li) Free(%i) Used(%i) FreeNodeCount(%i) SizeCnt(%i)"
           " <==(%li) (%li)==>\n\tBlock MAT:",
           addr(b), static_cast<long>(b->size), spaces, POOL_BLOCK_NODES - spaces, b->freeNodes,
           POOL_BLOCK_NODES - counted, addr(b->prev), addr(b->next));
    for (int row = 0; row < POOL_BLOCK_NODES; row += 64) {
      char shown[65];
      for (int j = 0; j < 64; ++j)
        shown[j] = b->MAT[row + j] == ' ' ? '_' : b->MAT[row + j];
      shown[64] = '\0';
      printf("\n\t%s", shown);
    }
    printf("\n\n\tAllocated Nodes:\n");
    for (int i = 0; i < POOL_BLOCK_NODES; ++i) {
      const PoolNode &e = b->nodes[i];
      if (e.count == 0 || e.addr == nullptr)
        continue;
      // Bounded by the allocation: contents need not hold a terminator.
      printf("\tMAT index(%6i) Memory Addr(%6li) nodes(%5i) size(%5i) Memory(%.*s)\n", i,
             addr(e.addr), e.count, e.count * POOL_NODE_SIZE, e.count * POOL_NODE_SIZE,
             static_cast<const char *>(e.addr));
    }
    printf("\n");
  }
}
