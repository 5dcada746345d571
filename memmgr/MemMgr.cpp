// MemMgr: block-based, zero-filled allocation from mapped memory.
//
// What the pool keeps, and the one place that keeps each of it:
//   - a block's nodes, free or used: the MAT (one printable character per
//     node), freeBits (the same map as bits, which the search scans a word
//     at a time) and freeNodes; only MarkNodes changes them;
//   - where each allocation starts and how long it is: nodes; only SetStart
//     changes it;
//   - which words of a block's bit map have a free node, or two in a row:
//     the block's summary, and which of the first POOL_TABLE blocks have
//     any: the fit sets; both follow the bit map inside MarkNodes;
//   - the blocks in creation order: the list, and its first POOL_TABLE
//     blocks in the table; Reindex rebuilds the table when the list changes.
// Every request and release, of any size, takes the same steps through
// these helpers; the invariants that tie them together are listed once,
// above PoolCheckInvariants, and builds without NDEBUG check them after
// every call on the blocks it touched.
//
// The helpers on the way of a request or a release are forced inline:
// a request of one or two nodes must not pay for calls, nor branch on its
// size where the size changes from one request to the next.
#include "memmgr/MemMgr.h"
#include "memmgr/MemMgrInternal.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#define POOL_INLINE [[gnu::always_inline]] inline

// Pool state: the block list and the /dev/zero descriptor. Touched only by
// this file (tests read them through MemMgrInternal.h).
PoolBlock *pMemB = nullptr;
int MemId = -1;
const char *const OutOfMem = "Unable to allocate memory";

namespace {

// Largest request a block can serve: its size is kept in a 32-bit field and
// is a multiple of 65536.
constexpr size_t kMaxRequest = 0x7fff0000 - POOL_NODE_SIZE;

// How blocks get their memory when a test says otherwise (PoolSetMapper).
PoolMapFn pMapHook = nullptr;
PoolUnmapFn pUnmapHook = nullptr;

// The first POOL_TABLE blocks of the list, in list order, so that a search
// and a release need not walk the list. Blocks past them (a pool seldom has
// so many) are reached by walking on from the last one.
PoolBlock *table[POOL_TABLE];
int blockCount = 0;  // blocks in the list
// The fit sets. Bit j of fits[0]: table[j] has a free node; of fits[1]: it
// has two free nodes in a row. A request of one or two nodes is served by
// the first block of its set.
uint64_t fits[2];

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

// Bits 0 .. n-1 set, for n from 1 to 64.
POOL_INLINE uint64_t LowBits(int n)
{
  return (uint64_t{2} << (n - 1)) - 1;
}

bool IsFree(const PoolBlock *b, int i)
{
  return (b->freeBits[i / 64] >> (i % 64) & 1) != 0;
}

// Bit j set: nodes j and j + 1 of word lo are free, the second possibly
// node 0 of the next word hi.
POOL_INLINE uint64_t PairStarts(uint64_t lo, uint64_t hi)
{
  return lo & (lo >> 1 | hi << 63);
}

// A word's two bits in the summary, from the word lo and the word after
// it, hi, as the bit map has them: bit 0, lo has a free node; bit 32, two
// free nodes in a row start in lo. Placed at word w: shifted left by w.
POOL_INLINE uint64_t WordBits(uint64_t lo, uint64_t hi)
{
  return uint64_t{lo != 0} | uint64_t{PairStarts(lo, hi) != 0} << 32;
}

POOL_INLINE uint64_t WithWord(uint64_t summary, int w, uint64_t bits)
{
  return (summary & ~(uint64_t{0x100000001} << w)) | bits << w;
}

// Of a summary, the words with a free node (c = 0) or with two free nodes
// in a row (c = 1), one bit per word. A block of the table belongs to fit
// set c exactly when its summary has any.
POOL_INLINE uint32_t SummaryWords(uint64_t summary, int c)
{
  return static_cast<uint32_t>(summary >> 32 * c);
}

// The summary of b's bit map as WordBits gives it, word by word.
uint64_t Summary(const PoolBlock *b)
{
  uint64_t s = 0;
  for (int w = 0; w < POOL_MAP_WORDS; ++w)
    s = WithWord(s, w, WordBits(b->freeBits[w], b->freeBits[w + 1]));
  return s;
}

// Fills k units of `unit` bytes at p with c: the first and the last unit
// (the same one when k is 1) with stores of a fixed size, and only a run
// of three or more with a memset of the middle.
template <size_t unit>
POOL_INLINE void FillUnits(char *p, int c, int k)
{
  memset(p, c, unit);
  memset(p + static_cast<size_t>(k - 1) * unit, c, unit);
  if (k > 2) [[unlikely]]
    memset(p + unit, c, static_cast<size_t>(k - 2) * unit);
}

// Nodes [i, i + k) of b, k >= 1, become used (or free): the only code that
// changes a node's state. The bit map, the summary, the fit sets, the MAT
// and freeNodes follow here and nowhere else.
template <bool used>
POOL_INLINE void MarkNodes(PoolBlock *b, int i, int k)
{
  int first = i / 64, last = (i + k - 1) / 64;
  // Each changed word's summary bits need the word after it as it now is:
  // words go from the last down, the one just changed being `after` for
  // the next. `seen` collects the new bits of all of them.
  uint64_t s = b->summary, after = b->freeBits[last + 1], seen = 0;
  auto mark = [&](int w, uint64_t mask) {
    uint64_t lo = used ? b->freeBits[w] & ~mask : b->freeBits[w] | mask;
    b->freeBits[w] = lo;
    uint64_t bits = WordBits(lo, after);
    seen |= bits;
    s = WithWord(s, w, bits);
    after = lo;
  };
  if (first == last) [[likely]] {
    mark(first, LowBits(k) << (i % 64));
  } else {
    for (int w = last; w >= first; --w) {
      int from = std::max(i - w * 64, 0), to = std::min(i + k - w * 64, 64);
      mark(w, LowBits(to - from) << from);
    }
  }
  // A pair may start in the last node of the word before and end at node i.
  if (i % 64 == 0 && first > 0) [[unlikely]] {
    uint64_t bits = WordBits(b->freeBits[first - 1], after);
    seen |= bits;
    s = WithWord(s, first - 1, bits);
  }
  b->summary = s;
  if (b->slot < POOL_TABLE) {
    // Taking nodes can empty the block's summary halves; releasing them
    // only adds, and whatever it adds lies in the words just changed, so a
    // release sets bits without waiting for the rest of the summary.
    uint64_t bit = uint64_t{1} << b->slot;
    if (used) {
      if (SummaryWords(s, 0) == 0) [[unlikely]]
        fits[0] &= ~bit;
      fits[1] &= ~(uint64_t{SummaryWords(s, 1) == 0} << b->slot);
    } else {
      if ((fits[0] & bit) == 0) [[unlikely]]
        fits[0] |= bit;
      fits[1] |= uint64_t{SummaryWords(seen, 1) != 0} << b->slot;
    }
  }
  FillUnits<1>(b->MAT + i, used ? 'U' : ' ', k);
  b->freeNodes += used ? -k : k;
}

// Node i starts an allocation of count nodes (0: no allocation starts
// there): the only code that changes nodes. The entry's address is always
// its own node's.
POOL_INLINE void SetStart(PoolBlock *b, int i, int count)
{
  b->nodes[i] = count > 0 ? PoolNode{static_cast<uint16_t>(count), b->data + i * POOL_NODE_SIZE}
                          : PoolNode{0, nullptr};
}

// Index of the node at which an allocation of ordinary block b starts at p,
// or -1 (p inside an allocation or on a free node).
POOL_INLINE int StartNode(const PoolBlock *b, const void *p)
{
  auto offset = static_cast<size_t>(static_cast<const char *>(p) - b->data);
  int i = static_cast<int>(offset / POOL_NODE_SIZE);
  return offset % POOL_NODE_SIZE == 0 && b->nodes[i].count != 0 ? i : -1;
}

// Bit j of the result: nodes j .. j+k-1 are free, for a run that starts in
// word lo and may reach into the next word hi (k from 1 to 64). One and two
// nodes take the same step, masked off for one; longer runs double the
// length checked each further step.
POOL_INLINE uint64_t RunStarts(uint64_t lo, uint64_t hi, int k)
{
  uint64_t x = lo & ((lo >> 1 | hi << 63) | (uint64_t{0} - uint64_t{k == 1}));
  if (k > 2) [[unlikely]] {
    hi &= hi >> 1;
    for (int have = 2; have < k;) {
      int shift = std::min(have, k - have);
      x &= x >> shift | hi << (64 - shift);
      hi &= hi >> shift;
      have += shift;
    }
  }
  return x;
}

// Lowest node of b at which k free nodes in a row start, or -1.
POOL_INLINE int FindRun(const PoolBlock *b, int k)
{
  if (k <= 64) {
    // Such a run starts in a word that the summary names (one with a free
    // node, or with a pair for two nodes or more) and ends in it or the
    // next (the guard word lets the last word look there too).
    for (uint32_t words = SummaryWords(b->summary, k > 1); words != 0; words &= words - 1) {
      int w = std::countr_zero(words);
      uint64_t x = RunStarts(b->freeBits[w], b->freeBits[w + 1], k);
      if (x != 0)
        return w * 64 + std::countr_zero(x);
    }
    return -1;
  }
  if (b->freeNodes < k)
    return -1;
  int carry = 0;  // free nodes at the top of the words seen so far
  for (int w = 0; w < POOL_MAP_WORDS; ++w) {
    uint64_t lo = b->freeBits[w];
    // A run that began in earlier words starts lower than any in this one.
    if (carry + std::countr_one(lo) >= k)
      return w * 64 - carry;
    carry = lo == ~uint64_t{0} ? carry + 64 : std::countl_one(lo);
  }
  return -1;
}

// The first block in list order with k free nodes in a row, and in *at the
// lowest node where they start; null when no block has them. For one or
// two nodes the first block of the fit set is the answer; for more, each
// block of the set of pairs is searched in turn. Blocks past the table come
// after all of it.
POOL_INLINE PoolBlock *FirstFit(int k, int *at)
{
  for (uint64_t maybe = fits[std::min(k, 2) - 1]; maybe != 0; maybe &= maybe - 1) {
    PoolBlock *b = table[std::countr_zero(maybe)];
    if ((*at = FindRun(b, k)) >= 0)
      return b;
  }
  if (blockCount > POOL_TABLE)
    for (PoolBlock *b = table[POOL_TABLE - 1]->next; b != nullptr; b = b->next)
      if ((*at = FindRun(b, k)) >= 0)
        return b;
  return nullptr;
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

// Rebuilds the table, the blocks' slots, the block count and the fit sets
// from the list. Blocks come and go seldom (only when their last
// allocation does), so a rebuild costs little.
void Reindex()
{
  int j = 0;
  fits[0] = fits[1] = 0;
  for (PoolBlock *b = pMemB; b != nullptr; b = b->next, ++j) {
    b->slot = std::min(j, POOL_TABLE);
    if (j >= POOL_TABLE)
      continue;
    table[j] = b;
    for (int c = 0; c < 2; ++c)
      fits[c] |= uint64_t{SummaryWords(b->summary, c) != 0} << j;
  }
  blockCount = j;
}

// Appends b at the tail, so that the list stays in creation order and a
// search prefers older blocks.
void PushBlock(PoolBlock *b)
{
  PoolBlock *last = blockCount > 0 ? table[std::min(blockCount, POOL_TABLE) - 1] : nullptr;
  while (last != nullptr && last->next != nullptr)
    last = last->next;
  b->prev = last;
  if (last == nullptr)
    pMemB = b;
  else
    last->next = b;
  Reindex();
}

// Unlinks b; the blocks after it move up a place.
void PopBlock(PoolBlock *b)
{
  if (b->prev != nullptr)
    b->prev->next = b->next;
  else
    pMemB = b->next;
  if (b->next != nullptr)
    b->next->prev = b->prev;
  b->next = b->prev = nullptr;
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
  memset(b, 0, sizeof(PoolBlock));  // also the MAT's terminator and the guard word
  b->size = static_cast<int32_t>(n);
  b->data = data;
  PushBlock(b);
  MarkNodes<false>(b, 0, POOL_BLOCK_NODES);
  return b;
}

// Takes nodes [i, i + k) of b, all free, for one zero-filled allocation.
POOL_INLINE void *TakeNodes(PoolBlock *b, int i, int k)
{
  MarkNodes<true>(b, i, k);
  SetStart(b, i, k);
  char *addr = b->data + i * POOL_NODE_SIZE;
  FillUnits<POOL_NODE_SIZE>(addr, 0, k);
  return addr;
}

// A dedicated block for a request of len bytes (already rounded): all its
// nodes used, none an allocation start, its first len bytes zero.
PoolBlock *GetDedicated(size_t len)
{
  size_t size = (len + POOL_BLOCK_SIZE - 1) / POOL_BLOCK_SIZE * POOL_BLOCK_SIZE;
  PoolBlock *b = GetNewBlock(size);
  if (b == nullptr)
    return nullptr;
  MarkNodes<true>(b, 0, POOL_BLOCK_NODES);
  b->used = static_cast<int32_t>(len);
  memset(b->data, 0, len);
  return b;
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

// What holds for the pool between two of its calls. PoolCheckInvariants
// checks each, and names the one that fails by its number.
//  1. The list is linked both ways: the head's prev is null, and the block
//     after b has b as its prev. blockCount is its length, table[j] its
//     j-th block (from 0) for j < POOL_TABLE, and a block's slot its place
//     in the list, POOL_TABLE past the table.
//  2. size is a positive multiple of 65536; the MAT ends in a NUL; the bit
//     map's guard word is 0.
//  3. Every MAT character is ' ' or 'U', and bit i of freeBits is set
//     exactly when MAT[i] is ' '.
//  4. freeNodes is the number of ' ' in the MAT.
//  5. summary is what WordBits gives for each word of the bit map.
//  6. Bit j of fits[0] is set exactly when table[j] has a free node, bit j
//     of fits[1] exactly when it has two in a row (by its summary).
//  7. A dedicated block has no free node and no entry in nodes, and its
//     used is a multiple of 32 in (0, size].
//  8. In an ordinary block, the used nodes are exactly its allocations: an
//     entry with a count n at node i has the address data + 32 × i, nodes
//     i .. i+n-1 lie in the map and are 'U', and no other entry starts
//     among them; a node outside every allocation is ' ' with entry
//     {0, null}.
//  9. An ordinary block has a used node: an empty one is released at once.
// Null when b holds 2 to 5 and 7 to 9, else the one that fails; *node:
// where, or -1.
const char *BlockViolation(const PoolBlock *b, int *node)
{
  *node = -1;
  if (b->size <= 0 || b->size % POOL_BLOCK_SIZE != 0)
    return "2 (size not a positive multiple of 65536)";
  if (b->MAT[POOL_BLOCK_NODES] != '\0')
    return "2 (MAT not terminated)";
  if (b->freeBits[POOL_MAP_WORDS] != 0)
    return "2 (guard word of the bit map not 0)";
  int spaces = 0;
  for (int i = 0; i < POOL_BLOCK_NODES; ++i) {
    *node = i;
    char c = b->MAT[i];
    if (c != ' ' && c != 'U')
      return "3 (MAT character neither ' ' nor 'U')";
    if (IsFree(b, i) != (c == ' '))
      return "3 (bit map and MAT disagree)";
    spaces += c == ' ' ? 1 : 0;
  }
  *node = -1;
  if (b->freeNodes != spaces)
    return "4 (freeNodes is not the number of free nodes)";
  if (b->summary != Summary(b))
    return "5 (summary does not follow the bit map)";
  if (IsDedicated(b)) {
    if (b->freeNodes != 0)
      return "7 (dedicated block with a free node)";
    for (int i = 0; i < POOL_BLOCK_NODES; ++i) {
      *node = i;
      if (b->nodes[i].count != 0 || b->nodes[i].addr != nullptr)
        return "7 (dedicated block with an entry in nodes)";
    }
    *node = -1;
    if (b->used <= 0 || b->used > b->size || b->used % POOL_NODE_SIZE != 0)
      return "7 (used out of range)";
    return nullptr;
  }
  for (int i = 0; i < POOL_BLOCK_NODES;) {
    *node = i;
    const PoolNode &e = b->nodes[i];
    if (e.count == 0) {
      if (e.addr != nullptr)
        return "8 (entry with an address but no count)";
      if (b->MAT[i] != ' ')
        return "8 (used node outside every allocation)";
      ++i;
      continue;
    }
    if (e.addr != b->data + i * POOL_NODE_SIZE)
      return "8 (entry address not its node's)";
    if (i + e.count > POOL_BLOCK_NODES)
      return "8 (allocation runs past the map)";
    for (int j = i; j < i + e.count; ++j) {
      *node = j;
      if (b->MAT[j] != 'U')
        return "8 (free node inside an allocation)";
      if (j > i && (b->nodes[j].count != 0 || b->nodes[j].addr != nullptr))
        return "8 (entry inside an allocation)";
    }
    i += e.count;
  }
  *node = -1;
  if (spaces == POOL_BLOCK_NODES)
    return "9 (empty block kept)";
  return nullptr;
}

// Null when the list, the table and the fit sets hold invariants 1 and 6,
// else the one that fails; *at: the block's place in the list, or -1 for
// the fit sets.
const char *ListViolation(int *at)
{
  *at = 0;
  if (pMemB != nullptr && pMemB->prev != nullptr)
    return "1 (head has a prev)";
  uint64_t want[2] = {0, 0};
  for (const PoolBlock *b = pMemB; b != nullptr; b = b->next, ++*at) {
    if (b->next != nullptr && b->next->prev != b)
      return "1 (next block's prev is not this one)";
    if (b->slot != std::min(*at, POOL_TABLE))
      return "1 (slot is not the block's place)";
    if (*at < POOL_TABLE) {
      if (table[*at] != b)
        return "1 (table does not follow the list)";
      for (int c = 0; c < 2; ++c)
        want[c] |= uint64_t{SummaryWords(b->summary, c) != 0} << *at;
    }
  }
  if (blockCount != *at)
    return "1 (blockCount is not the length of the list)";
  *at = -1;
  if (fits[0] != want[0] || fits[1] != want[1])
    return "6 (fit sets do not follow the summaries)";
  return nullptr;
}

// Builds with asserts: after a call, the list, the table, the fit sets and
// the block the call touched (if it is still there) must hold the
// invariants, else the process stops and says which. Costs a pass over one
// block's maps per call.
#ifdef NDEBUG
POOL_INLINE void AssertPool(const PoolBlock *) {}
#else
void AssertPool(const PoolBlock *touched)
{
  int at = -1;
  const char *why = ListViolation(&at);
  if (why == nullptr && touched != nullptr)
    why = BlockViolation(touched, &at);
  if (why != nullptr) {
    fprintf(stderr, "MemMgr: pool invariant %s broken (block %p, at %d)\n", why,
            static_cast<const void *>(touched), at);
    abort();
  }
}
#endif

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

int PoolFindRun(const PoolBlock *b, int k)
{
  return FindRun(b, k);
}

const char *PoolCheckInvariants()
{
  static char text[160];
  int at = 0;
  if (const char *why = ListViolation(&at); why != nullptr) {
    if (at < 0)
      snprintf(text, sizeof text, "invariant %s", why);
    else
      snprintf(text, sizeof text, "block %d: invariant %s", at, why);
    return text;
  }
  at = 0;
  for (const PoolBlock *b = pMemB; b != nullptr; b = b->next, ++at) {
    int node;
    if (const char *why = BlockViolation(b, &node); why != nullptr) {
      snprintf(text, sizeof text, "block %d, node %d: invariant %s", at, node, why);
      return text;
    }
  }
  return nullptr;
}

PoolBlock *FindBlock(const void *p)
{
  if (p == nullptr)
    return nullptr;
  // Blocks never overlap, so at most one matches. The end address belongs
  // to whatever follows the block, which may be another block's data. The
  // table is read through without a branch on the comparisons, which no
  // processor could predict.
  auto at = reinterpret_cast<uintptr_t>(p);
  auto holds = [at](const PoolBlock *b) {
    return at - reinterpret_cast<uintptr_t>(b->data) < static_cast<uintptr_t>(b->size);
  };
  PoolBlock *found = nullptr;
  for (int j = 0; j < std::min(blockCount, POOL_TABLE); ++j)
    found = holds(table[j]) ? table[j] : found;
  if (found == nullptr && blockCount > POOL_TABLE)
    for (PoolBlock *b = table[POOL_TABLE - 1]->next; b != nullptr; b = b->next)
      if (holds(b))
        return b;
  return found;
}

void *GetMem(size_t n)
{
  // One test lets the everyday sizes through; 0 and the sizes that need a
  // dedicated block (or more than a block can hold) are sorted out behind it.
  if (n - 1 >= POOL_BLOCK_SIZE - 1) [[unlikely]] {
    if (n == 0)
      return nullptr;
    if (n > kMaxRequest) {
      ReportOutOfMem();
      return nullptr;
    }
  }
  size_t len = RoundLen(n);
  if (len > POOL_BLOCK_SIZE) [[unlikely]] {
    PoolBlock *b = GetDedicated(len);
    AssertPool(b);
    return b != nullptr ? b->data : nullptr;
  }
  int k = static_cast<int>(len / POOL_NODE_SIZE), i = 0;
  PoolBlock *b = FirstFit(k, &i);
  if (b == nullptr) [[unlikely]] {
    b = GetNewBlock(POOL_BLOCK_SIZE);
    if (b == nullptr)
      return nullptr;
    i = 0;
  }
  void *p = TakeNodes(b, i, k);
  AssertPool(b);
  return p;
}

void PutMem(void *p)
{
  PoolBlock *b = FindBlock(p);
  if (b == nullptr)
    return;
  if (IsDedicated(b)) [[unlikely]] {
    if (p == b->data) {
      FreeBlock(b);
      b = nullptr;
    }
    AssertPool(b);
    return;
  }
  if (int i = StartNode(b, p); i >= 0) {
    MarkNodes<false>(b, i, b->nodes[i].count);
    SetStart(b, i, 0);
  }
  if (b->freeNodes == POOL_BLOCK_NODES) [[unlikely]] {
    FreeBlock(b);
    b = nullptr;
  }
  AssertPool(b);
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
    AssertPool(b);
    return p;
  }

  int i = StartNode(b, p);
  if (i < 0)
    return GetMem(n);
  int a = b->nodes[i].count;
  if (len > POOL_BLOCK_SIZE)
    return Relocate(p, n, static_cast<size_t>(a) * POOL_NODE_SIZE);
  int k = static_cast<int>(len / POOL_NODE_SIZE);

  if (k < a) {
    MarkNodes<false>(b, i + k, a - k);
    SetStart(b, i, k);
    memset(cp + k * POOL_NODE_SIZE, 0, static_cast<size_t>(a - k) * POOL_NODE_SIZE);
  } else if (k > a) {
    int m = k - a;
    if (i + k <= POOL_BLOCK_NODES && TestMAT(b->MAT + i + a, ' ', m)) {
      MarkNodes<true>(b, i + a, m);
      SetStart(b, i, k);
      memset(cp + a * POOL_NODE_SIZE, 0, static_cast<size_t>(m) * POOL_NODE_SIZE);
    } else if (i - m >= 0 && TestMAT(b->MAT + i - m, ' ', m)) {
      MarkNodes<true>(b, i - m, m);
      SetStart(b, i, 0);
      SetStart(b, i - m, k);
      char *to = b->data + (i - m) * POOL_NODE_SIZE;
      memmove(to, cp, static_cast<size_t>(a) * POOL_NODE_SIZE);
      memset(to + a * POOL_NODE_SIZE, 0, static_cast<size_t>(m) * POOL_NODE_SIZE);
      cp = to;
    } else {
      return Relocate(p, n, static_cast<size_t>(a) * POOL_NODE_SIZE);
    }
  }
  // Clear past the new length inside the kept nodes: a shrink that stays
  // within the same node count must not leave old bytes for a later growth.
  memset(cp + n, 0, static_cast<size_t>(k) * POOL_NODE_SIZE - n);
  AssertPool(b);
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
