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
constexpr int POOL_MAP_WORDS = POOL_BLOCK_NODES / 64;               // words of a block's bit map
constexpr int POOL_TABLE = 64;  // blocks that the pool reaches without walking the list

// One allocation that starts at a node: its length in nodes and its address.
struct PoolNode {
  uint16_t count;
  void *addr;
};

// Header of one block; it lives in a mapping of its own, apart from the data.
// A block is ordinary when size <= POOL_BLOCK_SIZE, dedicated otherwise (one
// allocation at data, every node used, no entry in nodes). What must hold
// between two calls of the pool is listed once, in MemMgr.cpp above
// PoolCheckInvariants.
struct PoolBlock {
  PoolBlock *next;    // null at the tail
  PoolBlock *prev;    // null at the head
  int32_t size;       // bytes of the data area
  int32_t used;       // dedicated block: bytes in use (the rounded request)
  int32_t freeNodes;  // number of ' ' in MAT
  char *data;
  // MAT as bits (1 = free), which the first-fit search scans a word at a
  // time. The word after the last stays 0, so that a run may always look
  // one word ahead.
  uint64_t freeBits[POOL_MAP_WORDS + 1];
  // Of the words of freeBits: bit w set when word w has a free node, bit
  // 32 + w when two free nodes in a row start in it.
  uint64_t summary;
  int32_t slot;  // place in the pool's table of the first POOL_TABLE blocks; POOL_TABLE past it
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
// Lowest node of b at which k free nodes in a row start, or -1: what a
// substring search of the MAT for k spaces answers.
int PoolFindRun(const PoolBlock *b, int k);
// Null when the whole pool holds its invariants, else what is wrong, in a
// static buffer that the next call overwrites. A pass over every block's
// maps. Builds without NDEBUG check the same after each call of the pool.
const char *PoolCheckInvariants();

// Replaces how blocks get their memory (null, null restores the default).
// map receives a page-rounded length and gives zero-filled memory or null;
// unmap receives the same address and length back. Lets tests place blocks
// at chosen addresses and simulate exhausted memory.
using PoolMapFn = void *(*)(size_t len);
using PoolUnmapFn = void (*)(void *p, size_t len);
void PoolSetMapper(PoolMapFn map, PoolUnmapFn unmap);

#endif
