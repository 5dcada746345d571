// MemMgr: the memory pool every module allocates from.
//
// Allocations are zero-filled, come in 32-byte nodes from 64 KiB blocks
// (larger requests get a dedicated block of their own), and have no
// per-allocation header. A block is returned to the system as soon as its
// last allocation is released. Single-threaded.
#ifndef NORVO_MEMMGR_H
#define NORVO_MEMMGR_H

#include <cstddef>

// n zero-filled bytes, or null (n == 0, or the system has no memory left).
// A request of n bytes takes the smallest multiple of 32 that is at least
// n + 1, so the byte after the last one asked for is always there and zero.
void *GetMem(size_t n);
// Releases the allocation that starts at p; anything else is ignored.
void PutMem(void *p);
// realloc-like resize: contents kept up to the smaller size, growth zeroed.
// p null or not an allocation of the pool: same as GetMem(n). n == 0:
// releases p, gives null. Null when memory runs out (p stays valid then).
void *AdjustMem(void *p, size_t n);
// Prints every block of the pool on standard output.
void DumpMem();

#endif
