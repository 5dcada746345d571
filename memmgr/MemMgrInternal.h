// MemMgr internals: the block structures, the pool's state and the helpers
// that diagnostics and the pool's tests reach into. Not installed; ordinary
// callers need only memmgr/MemMgr.h.
#ifndef NORVO_MEMMGR_INTERNAL_H
#define NORVO_MEMMGR_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "memmgr/MemMgr.h"

constexpr int POOL_NODE_SIZE = 32;                                  // bytes per node
constexpr int POOL_BLOCK_NODES = 2048;                              // nodes per ordinary block
constexpr int POOL_BLOCK_SIZE = POOL_NODE_SIZE * POOL_BLOCK_NODES;  // 65536
constexpr int POOL_SLOTS = 64;  // blocks the pool keeps in its quick table

// One allocation that starts at a node: its length in nodes and its address.
struct PoolNode {
  uint16_t count;
  void *addr;
};

// Header of one block; it lives in a mapping of its own, apart from the data.
// A block is ordinary when size <= POOL_BLOCK_SIZE, dedicated otherwise (one
// allocation at data, MAT all 'U', freeNodes 0, nodes all empty).
struct PoolBlock {
  PoolBlock *next;    // null at the tail
  PoolBlock *prev;    // null at the head
  int32_t size;       // bytes of the data area
  int32_t used;       // dedicated block: bytes in use (the rounded request)
  int32_t freeNodes;  // number of ' ' in MAT
  char *data;
  // Position of the block in the pool's table of the first POOL_SLOTS
  // blocks in list order; POOL_SLOTS for a block past the table (such
  // blocks are reached by walking the list).
  int32_t slot;
  // No run of free nodes in the block is longer than this (an upper bound,
  // lowered when a search fails, raised when nodes are released).
  int32_t longestRun;
  // The same map as MAT in bits (1 = free), so that first fit is found a
  // word at a time; it always agrees with MAT. The word after the last
  // stays 0, so that a run search may always look one word ahead.
  uint64_t freeBits[POOL_BLOCK_NODES / 64 + 1];
  // Summary of the words: bit w (0-31) set when freeBits[w] has a free
  // node, bit 32 + w when two free nodes in a row start in word w. It lives
  // in the pool's table for a block that has a slot, where a search reads
  // it without waiting for the block, and in ownSummary otherwise; summary
  // points to wherever it is.
  uint64_t *summary;
  uint64_t ownSummary;
  // Bit i set: an allocation starts at node i. It runs up to the next
  // start or free node, so with the free bits this gives its length
  // without a look at nodes, whose line is seldom in the cache. The word
  // after the last has bit 0 set: it closes an allocation at the end.
  uint64_t startBits[POOL_BLOCK_NODES / 64 + 1];
  PoolNode nodes[POOL_BLOCK_NODES];  // entry i: the allocation starting at node i
  char MAT[POOL_BLOCK_NODES + 1];    // ' ' free, 'U' used, NUL-terminated
};

extern PoolBlock *pMemB;            // head of the block list, null when empty
extern int MemId;                   // descriptor of /dev/zero, -1 until opened
extern const char *const OutOfMem;  // "Unable to allocate memory"

// Block whose data area holds p (its end address is outside), or null.
PoolBlock *FindBlock(const void *p);
// True when the n characters at s all equal c.
bool TestMAT(const char *s, char c, int n);
// False only when the pool knows that b holds no run of k free nodes: what
// lets a search pass the block by. For k of 1 and 2 and a block among the
// first POOL_SLOTS the answer is exact; past them it is only a bound.
bool PoolMayHoldRun(const PoolBlock *b, int k);

// Replaces how blocks get their memory (null, null restores the default).
// map receives a page-rounded length and gives zero-filled memory or null;
// unmap receives the same address and length back. Lets tests place blocks
// at chosen addresses and simulate exhausted memory.
using PoolMapFn = void *(*)(size_t len);
using PoolUnmapFn = void (*)(void *p, size_t len);
void PoolSetMapper(PoolMapFn map, PoolUnmapFn unmap);

#endif
