// Memory pool: sizes and rounding, block life, every kind of resize, bad
// pointers, running out of memory and the dump format. Each test runs in a
// process of its own, so every test starts with an empty pool.
#include "memmgr/MemMgr.h"
#include "memmgr/MemMgrInternal.h"
#include "PoolCheck.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

bool AllZero(const void *p, size_t n)
{
  const auto *c = static_cast<const unsigned char *>(p);
  for (size_t i = 0; i < n; ++i)
    if (c[i] != 0)
      return false;
  return true;
}

void Fill(void *p, size_t n, unsigned char seed)
{
  auto *c = static_cast<unsigned char *>(p);
  for (size_t i = 0; i < n; ++i)
    c[i] = static_cast<unsigned char>(seed + i * 7 + 1);
}

bool Holds(const void *p, size_t n, unsigned char seed)
{
  const auto *c = static_cast<const unsigned char *>(p);
  for (size_t i = 0; i < n; ++i)
    if (c[i] != static_cast<unsigned char>(seed + i * 7 + 1))
      return false;
  return true;
}

int NodeOf(const void *p)
{
  PoolBlock *b = FindBlock(p);
  return static_cast<int>((static_cast<const char *>(p) - b->data) / POOL_NODE_SIZE);
}

int CountOf(const void *p)
{
  return FindBlock(p)->nodes[NodeOf(p)].count;
}

}  // namespace

TEST(PoolSizes, RequestsRoundToNodesWithOneSpareByte)
{
  EXPECT_EQ(GetMem(0), nullptr);
  EXPECT_EQ(pMemB, nullptr);
  struct {
    size_t n;
    int nodes;
  } cases[] = {{1, 1}, {31, 1}, {32, 2}, {63, 2}, {64, 3}, {1000, 32}};
  int next = 0;
  for (auto c : cases) {
    void *p = GetMem(c.n);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(NodeOf(p), next) << c.n;
    EXPECT_EQ(CountOf(p), c.nodes) << c.n;
    EXPECT_TRUE(AllZero(p, static_cast<size_t>(c.nodes) * POOL_NODE_SIZE));
    next += c.nodes;
  }
  EXPECT_EQ(pMemB->freeNodes, POOL_BLOCK_NODES - next);
  EXPECT_EQ(PoolViolation(), "");
}

TEST(PoolSizes, LargestOrdinaryRequestTakesAWholeBlock)
{
  void *small = GetMem(1);
  void *p = GetMem(65535);
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(PoolBlockCount(), 2);
  EXPECT_EQ(p, pMemB->next->data);
  EXPECT_EQ(CountOf(p), POOL_BLOCK_NODES);
  EXPECT_EQ(pMemB->next->freeNodes, 0);
  EXPECT_EQ(pMemB->next->size, 65536);
  PutMem(small);
  EXPECT_EQ(pMemB->data, p) << "the emptied first block is released";
  EXPECT_EQ(PoolViolation(), "");
}

TEST(PoolSizes, LargeRequestsGetDedicatedBlocks)
{
  void *p = GetMem(65536);
  ASSERT_NE(p, nullptr);
  ASSERT_NE(pMemB, nullptr);
  EXPECT_EQ(pMemB->data, p);
  EXPECT_EQ(pMemB->size, 131072);
  EXPECT_EQ(pMemB->used, 65568);
  EXPECT_TRUE(AllZero(p, 65568));
  void *q = GetMem(200000);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(pMemB->next->size, 262144);
  // Small requests never land in a dedicated block.
  void *s = GetMem(10);
  EXPECT_EQ(PoolBlockCount(), 3);
  EXPECT_EQ(pMemB->next->next->data, s);
  EXPECT_EQ(PoolViolation(), "");
  PutMem(p);
  PutMem(q);
  PutMem(s);
  EXPECT_EQ(pMemB, nullptr);
}

TEST(PoolSizes, OversizedRequestFailsWithMessage)
{
  testing::internal::CaptureStderr();
  EXPECT_EQ(GetMem(SIZE_MAX), nullptr);
  EXPECT_EQ(GetMem(SIZE_MAX - 31), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: Unable to allocate memory\nERROR: Unable to allocate memory\n");
  EXPECT_EQ(pMemB, nullptr);
}

TEST(PoolBlocks, FullBlockLeadsToASecondOne)
{
  void *first = nullptr;
  for (int i = 0; i < POOL_BLOCK_NODES; ++i) {
    void *p = GetMem(31);
    ASSERT_NE(p, nullptr);
    if (i == 0)
      first = p;
    ASSERT_EQ(p, pMemB->data + i * POOL_NODE_SIZE);
  }
  EXPECT_EQ(PoolBlockCount(), 1);
  EXPECT_EQ(pMemB->freeNodes, 0);
  void *p = GetMem(1);
  ASSERT_EQ(PoolBlockCount(), 2);
  EXPECT_EQ(p, pMemB->next->data);
  // First fit prefers the older block as soon as it has room again.
  PutMem(static_cast<char *>(first) + 5 * POOL_NODE_SIZE);
  EXPECT_EQ(GetMem(3), static_cast<char *>(first) + 5 * POOL_NODE_SIZE);
  EXPECT_EQ(PoolViolation(), "");
}

// In a full block, single nodes freed one by one: each release and each
// request changes whether the block has a free node, or two in a row, and
// the search must follow. Pairs that span two words of the map are the
// edge: the first node of a word, freed after the last of the word before,
// makes one.
TEST(PoolBlocks, FitsFollowSingleNodesFreedInAFullBlock)
{
  std::vector<char *> piece;
  for (int i = 0; i < POOL_BLOCK_NODES; ++i)
    piece.push_back(static_cast<char *>(GetMem(20)));
  ASSERT_EQ(PoolBlockCount(), 1);
  char *data = pMemB->data;
  for (int word : {1, 5, 31}) {
    int last = word * 64 - 1;
    PutMem(piece[last]);
    EXPECT_EQ(PoolViolation(), "");
    PutMem(piece[last + 1]);
    EXPECT_EQ(PoolViolation(), "");
    // Two nodes: the pair across the words, not a new block.
    piece[last] = static_cast<char *>(GetMem(40));
    EXPECT_EQ(piece[last], data + last * POOL_NODE_SIZE) << "pair across word " << word;
    EXPECT_EQ(PoolBlockCount(), 1);
    EXPECT_EQ(PoolViolation(), "");
    // The same pair taken by two single nodes, the lower first.
    PutMem(piece[last]);
    piece[last] = static_cast<char *>(GetMem(1));
    piece[last + 1] = static_cast<char *>(GetMem(1));
    EXPECT_EQ(piece[last], data + last * POOL_NODE_SIZE);
    EXPECT_EQ(piece[last + 1], data + (last + 1) * POOL_NODE_SIZE);
    EXPECT_EQ(pMemB->freeNodes, 0);
    EXPECT_EQ(PoolViolation(), "");
  }
  // A pair inside a word, freed from the top down; then a lone node below
  // it, which a single node takes before the pair.
  PutMem(piece[101]);
  PutMem(piece[100]);
  PutMem(piece[70]);
  EXPECT_EQ(PoolViolation(), "");
  EXPECT_EQ(GetMem(1), data + 70 * POOL_NODE_SIZE);
  EXPECT_EQ(GetMem(33), data + 100 * POOL_NODE_SIZE);
  EXPECT_EQ(pMemB->freeNodes, 0);
  EXPECT_EQ(PoolViolation(), "");
}

TEST(PoolBlocks, ReleasingTheOnlyAllocationEmptiesThePool)
{
  char *p = static_cast<char *>(GetMem(100));
  strcpy(p, "left behind");
  PutMem(p);
  EXPECT_EQ(pMemB, nullptr);
  char *q = static_cast<char *>(GetMem(100));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(PoolBlockCount(), 1);
  EXPECT_TRUE(AllZero(q, 128));
  PutMem(q);
  EXPECT_EQ(pMemB, nullptr);
}

TEST(PoolBlocks, MiddleBlockReleasedAndListRelinked)
{
  void *a = GetMem(65535), *b = GetMem(65535), *c = GetMem(65535);
  ASSERT_EQ(PoolBlockCount(), 3);
  PutMem(b);
  ASSERT_EQ(PoolBlockCount(), 2);
  EXPECT_EQ(pMemB->data, a);
  EXPECT_EQ(pMemB->next->data, c);
  EXPECT_EQ(PoolViolation(), "");
  PutMem(a);
  EXPECT_EQ(pMemB->data, c);
  EXPECT_EQ(pMemB->prev, nullptr);
  // A new block goes to the tail, behind the survivor.
  void *d = GetMem(65535);
  EXPECT_EQ(pMemB->next->data, d);
  EXPECT_EQ(PoolViolation(), "");
}

// Lookups stay right with more blocks than the pool keeps in its quick
// range table, while the count rises past it and falls back below it, and
// with blocks of both kinds released in any order.
TEST(PoolBlocks, ManyBlocksAreAllFoundWhileTheyComeAndGo)
{
  std::vector<char *> whole, small;
  for (int i = 0; i < 100; ++i) {
    auto *p = static_cast<char *>(i % 10 == 9 ? GetMem(70000) : GetMem(65535));
    ASSERT_NE(p, nullptr);
    whole.push_back(p);
  }
  ASSERT_EQ(PoolBlockCount(), 100);
  auto checkAll = [&whole]() {
    for (char *p : whole) {
      if (p == nullptr)
        continue;
      PoolBlock *b = FindBlock(p + 1000);
      ASSERT_NE(b, nullptr);
      ASSERT_EQ(b->data, p);
    }
  };
  checkAll();
  // Down to 50 blocks, from both ends and the middle, then back up to 100.
  for (int i = 0; i < 100; i += 2) {
    PutMem(whole[static_cast<size_t>(i)]);
    whole[static_cast<size_t>(i)] = nullptr;
  }
  ASSERT_EQ(PoolBlockCount(), 50);
  checkAll();
  ASSERT_EQ(PoolViolation(), "");
  for (int i = 0; i < 50; ++i) {
    void *p = GetMem(100);
    ASSERT_NE(p, nullptr);
    small.push_back(static_cast<char *>(p));
  }
  // One new block: the survivors are full, the small ones share it.
  ASSERT_EQ(PoolBlockCount(), 51);
  for (int i = 0; i < 49; ++i)
    whole.push_back(static_cast<char *>(GetMem(65535)));
  ASSERT_EQ(PoolBlockCount(), 100);
  checkAll();
  for (char *p : small)
    EXPECT_EQ(FindBlock(p), FindBlock(small[0]));
  for (char *p : small)
    PutMem(p);
  EXPECT_EQ(PoolBlockCount(), 99);
  for (char *&p : whole) {
    PutMem(p);
    p = nullptr;
    checkAll();
  }
  EXPECT_EQ(pMemB, nullptr);
  EXPECT_EQ(FindBlock(small[0]), nullptr);
}

TEST(PoolRelease, PointersThatStartNoAllocationChangeNothing)
{
  char *p = static_cast<char *>(GetMem(90));  // three nodes
  char *q = static_cast<char *>(GetMem(10));
  int local = 0;
  std::string before(pMemB->MAT, POOL_BLOCK_NODES);
  PutMem(nullptr);
  PutMem(&local);
  PutMem(p + 1);
  PutMem(p + POOL_NODE_SIZE);
  PutMem(p + 2 * POOL_NODE_SIZE + 3);
  EXPECT_EQ(std::string(pMemB->MAT, POOL_BLOCK_NODES), before);
  EXPECT_EQ(pMemB->freeNodes, POOL_BLOCK_NODES - 4);
  char *big = static_cast<char *>(GetMem(100000));
  PutMem(big + 64);
  EXPECT_EQ(PoolBlockCount(), 2) << "an inner pointer does not release a dedicated block";
  // Resizing through an inner pointer leaves the allocation alone and gives
  // fresh memory, as for any pointer the pool did not hand out.
  char *fresh = static_cast<char *>(AdjustMem(p + POOL_NODE_SIZE, 100));
  EXPECT_EQ(fresh, pMemB->data + 4 * POOL_NODE_SIZE);
  EXPECT_EQ(std::string(pMemB->MAT, 9), "UUUUUUUU ");
  EXPECT_EQ(CountOf(p), 3);
  PutMem(fresh);
  PutMem(q);
  PutMem(p);
  PutMem(big);
  EXPECT_EQ(pMemB, nullptr);
}

TEST(PoolRelease, EndOfOneBlockIsTheStartOfTheNext)
{
  AdjacentRegion::Install();
  char *a = static_cast<char *>(GetMem(65535));
  char *b = static_cast<char *>(GetMem(10));
  ASSERT_EQ(PoolBlockCount(), 2);
  ASSERT_EQ(b, a + POOL_BLOCK_SIZE) << "the mapper did not place the blocks back to back";
  EXPECT_EQ(FindBlock(b), pMemB->next);
  EXPECT_EQ(FindBlock(a + POOL_BLOCK_SIZE - 1), pMemB);
  strcpy(b, "second");
  b = static_cast<char *>(AdjustMem(b, 200));
  EXPECT_EQ(b, a + POOL_BLOCK_SIZE);
  EXPECT_STREQ(b, "second");
  EXPECT_EQ(pMemB->freeNodes, 0);
  PutMem(b);
  EXPECT_EQ(PoolBlockCount(), 1);
  EXPECT_EQ(pMemB->data, a);
  EXPECT_EQ(pMemB->freeNodes, 0);
  EXPECT_EQ(PoolViolation(), "");
  PutMem(a);
  EXPECT_EQ(pMemB, nullptr);
}

TEST(PoolResize, NullPointerAndZeroLength)
{
  void *p = AdjustMem(nullptr, 10);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p, pMemB->data);
  EXPECT_EQ(CountOf(p), 1);
  int local = 7;
  void *q = AdjustMem(&local, 40);
  EXPECT_EQ(q, pMemB->data + POOL_NODE_SIZE) << "a foreign pointer gets fresh memory";
  EXPECT_EQ(local, 7);
  EXPECT_EQ(AdjustMem(p, 0), nullptr);
  EXPECT_EQ(pMemB->MAT[0], ' ');
  EXPECT_EQ(AdjustMem(q, 0), nullptr);
  EXPECT_EQ(pMemB, nullptr);
  EXPECT_EQ(AdjustMem(nullptr, 0), nullptr);
}

TEST(PoolResize, GrowsInPlaceWhenTheFollowingNodesAreFree)
{
  char *p = static_cast<char *>(GetMem(20));
  strcpy(p, "keep me");
  char *q = static_cast<char *>(AdjustMem(p, 300));  // 10 nodes
  EXPECT_EQ(q, p);
  EXPECT_STREQ(q, "keep me");
  EXPECT_TRUE(AllZero(q + 8, 320 - 8));
  EXPECT_EQ(CountOf(q), 10);
  EXPECT_EQ(pMemB->freeNodes, POOL_BLOCK_NODES - 10);
  EXPECT_EQ(PoolViolation(), "");
}

TEST(PoolResize, BoxedInAfterMovesDownKeepingContents)
{
  void *gap = GetMem(100);                    // nodes 0-3
  char *p = static_cast<char *>(GetMem(60));  // nodes 4-5
  void *wall = GetMem(10);                    // node 6
  Fill(p, 60, 3);
  PutMem(gap);
  char *q = static_cast<char *>(AdjustMem(p, 150));  // 5 nodes: 3 more, taken below
  EXPECT_EQ(q, pMemB->data + POOL_NODE_SIZE);
  EXPECT_TRUE(Holds(q, 60, 3));
  EXPECT_TRUE(AllZero(q + 60, 160 - 60));
  EXPECT_EQ(CountOf(q), 5);
  EXPECT_EQ(pMemB->nodes[4].count, 0);
  EXPECT_EQ(std::string(pMemB->MAT, 8), " UUUUUU ");
  EXPECT_EQ(PoolViolation(), "");
  PutMem(wall);
}

TEST(PoolResize, BoxedInOnBothSidesMovesToFirstFit)
{
  void *low = GetMem(10);                     // node 0
  char *p = static_cast<char *>(GetMem(40));  // nodes 1-2
  void *wall = GetMem(10);                    // node 3
  Fill(p, 40, 9);
  char *q = static_cast<char *>(AdjustMem(p, 100));  // 4 nodes
  EXPECT_EQ(q, pMemB->data + 4 * POOL_NODE_SIZE);
  EXPECT_TRUE(Holds(q, 40, 9));
  EXPECT_TRUE(AllZero(q + 40, 128 - 40));
  EXPECT_EQ(std::string(pMemB->MAT, 9), "U  UUUUU ");
  EXPECT_EQ(PoolViolation(), "");
  // At node 0 nothing lies below: straight to a new place.
  char *r = static_cast<char *>(AdjustMem(low, 120));
  EXPECT_EQ(r, pMemB->data + 8 * POOL_NODE_SIZE);
  PutMem(wall);
  PutMem(q);
  PutMem(r);
  EXPECT_EQ(pMemB, nullptr);
}

TEST(PoolResize, ShrinkReleasesTailAndLaterGrowthIsZero)
{
  char *p = static_cast<char *>(GetMem(200));  // 7 nodes
  Fill(p, 200, 5);
  char *q = static_cast<char *>(AdjustMem(p, 40));  // 2 nodes
  EXPECT_EQ(q, p);
  EXPECT_TRUE(Holds(q, 40, 5));
  EXPECT_EQ(CountOf(q), 2);
  EXPECT_EQ(pMemB->freeNodes, POOL_BLOCK_NODES - 2);
  EXPECT_TRUE(AllZero(q + 40, 224 - 40)) << "released and cut-off bytes are cleared";
  // Same node count, smaller then larger: the cut bytes come back as zeros.
  q = static_cast<char *>(AdjustMem(q, 50));
  Fill(q, 50, 6);
  EXPECT_EQ(AdjustMem(q, 35), q);
  EXPECT_EQ(AdjustMem(q, 50), q);
  EXPECT_TRUE(Holds(q, 35, 6));
  EXPECT_TRUE(AllZero(q + 35, 64 - 35));
  EXPECT_EQ(PoolViolation(), "");
}

TEST(PoolResize, DedicatedBlockStaysWhileItFits)
{
  char *p = static_cast<char *>(GetMem(100000));
  Fill(p, 100000, 1);
  char *q = static_cast<char *>(AdjustMem(p, 120000));
  EXPECT_EQ(q, p);
  EXPECT_EQ(pMemB->size, 131072);
  EXPECT_EQ(pMemB->used, 120032);
  EXPECT_TRUE(Holds(q, 100000, 1));
  EXPECT_TRUE(AllZero(q + 100000, 20032));
  // Shrinking below one block still stays in the dedicated block.
  q = static_cast<char *>(AdjustMem(q, 1000));
  EXPECT_EQ(q, p);
  EXPECT_EQ(pMemB->used, 1024);
  EXPECT_TRUE(Holds(q, 1000, 1));
  EXPECT_TRUE(AllZero(q + 1000, 131072 - 1000));
  EXPECT_EQ(PoolViolation(), "");
}

TEST(PoolResize, DedicatedBlockFilledToItsSizeKeepsContentsOnShrink)
{
  char *p = static_cast<char *>(GetMem(100000));
  char *q = static_cast<char *>(AdjustMem(p, 131071));  // len is exactly the block size
  ASSERT_EQ(q, p);
  EXPECT_EQ(pMemB->used, 131072);
  Fill(q, 131071, 4);
  q = static_cast<char *>(AdjustMem(q, 131000));
  ASSERT_EQ(q, p);
  EXPECT_TRUE(Holds(q, 131000, 4)) << "a shrink destroyed bytes the caller had written";
  EXPECT_TRUE(AllZero(q + 131000, 72));
  EXPECT_EQ(PoolViolation(), "");
}

TEST(PoolResize, MovesBetweenOrdinaryAndDedicatedBlocks)
{
  char *small = static_cast<char *>(GetMem(100));
  Fill(small, 100, 2);
  char *big = static_cast<char *>(AdjustMem(small, 70000));
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(PoolBlockCount(), 1) << "the emptied ordinary block is released";
  EXPECT_EQ(pMemB->size, 131072);
  EXPECT_TRUE(Holds(big, 100, 2));
  EXPECT_TRUE(AllZero(big + 100, 70000 - 100));
  Fill(big, 70000, 8);
  char *bigger = static_cast<char *>(AdjustMem(big, 300000));
  ASSERT_NE(bigger, nullptr);
  EXPECT_EQ(PoolBlockCount(), 1);
  EXPECT_EQ(pMemB->size, 327680);
  EXPECT_TRUE(Holds(bigger, 70000, 8));
  EXPECT_TRUE(AllZero(bigger + 70000, 300000 - 70000));
  EXPECT_EQ(PoolViolation(), "");
}

namespace {
int gMapCalls = 0, gFailFrom = 0, gUnmapCalls = 0;
void *CountingMap(size_t len)
{
  if (++gMapCalls >= gFailFrom)
    return nullptr;
  void *p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}
void CountingUnmap(void *p, size_t len)
{
  ++gUnmapCalls;
  munmap(p, len);
}
}  // namespace

TEST(PoolFailure, FailedMappingReportsAndGivesNull)
{
  PoolSetMapper(CountingMap, CountingUnmap);
  gFailFrom = 1;
  testing::internal::CaptureStderr();
  EXPECT_EQ(GetMem(10), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: Unable to allocate memory\n");
  EXPECT_EQ(pMemB, nullptr);
  // Header mapped, data area refused: the header is given back.
  gMapCalls = 0;
  gFailFrom = 2;
  testing::internal::CaptureStderr();
  EXPECT_EQ(GetMem(100000), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: Unable to allocate memory\n");
  EXPECT_EQ(gUnmapCalls, 1);
  EXPECT_EQ(pMemB, nullptr);
}

namespace {
std::map<void *, size_t> gMapped;
void *RecordingMap(size_t len)
{
  void *p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED)
    return nullptr;
  gMapped[p] = len;
  return p;
}
void RecordingUnmap(void *p, size_t len)
{
  EXPECT_EQ(gMapped[p], len) << "a block was given back partly";
  gMapped.erase(p);
  munmap(p, len);
}
}  // namespace

TEST(PoolBlocks, ReleasedBlocksGiveBackWholeMappings)
{
  PoolSetMapper(RecordingMap, RecordingUnmap);
  void *a = GetMem(10), *b = GetMem(65535), *c = GetMem(300000);
  EXPECT_EQ(gMapped.size(), 6u);
  PutMem(b);
  PutMem(c);
  PutMem(a);
  EXPECT_TRUE(gMapped.empty());
}

TEST(PoolFailure, FailedResizeKeepsTheOldAllocation)
{
  PoolSetMapper(CountingMap, CountingUnmap);
  gFailFrom = 1000;
  char *p = static_cast<char *>(GetMem(65535));
  strcpy(p, "still here");
  gFailFrom = gMapCalls + 1;
  testing::internal::CaptureStderr();
  EXPECT_EQ(AdjustMem(p, 70000), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: Unable to allocate memory\n");
  EXPECT_STREQ(p, "still here");
  EXPECT_EQ(PoolBlockCount(), 1);
  EXPECT_EQ(PoolViolation(), "");
}

namespace {
// Runs in a child: every descriptor is taken, so /dev/zero cannot be opened.
// They are given back before exit (the sanitizers' runtime needs some).
[[noreturn]] void AllocateWithoutDescriptors()
{
  rlimit few{64, 64};
  setrlimit(RLIMIT_NOFILE, &few);
  std::vector<int> taken;
  for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;)
    taken.push_back(fd);
  char *p = static_cast<char *>(GetMem(100));
  bool ok = p != nullptr && AllZero(p, 128) && MemId == -1;
  if (ok)
    strcpy(p, "anonymous");
  ok = ok && strcmp(static_cast<char *>(AdjustMem(p, 5000)), "anonymous") == 0;
  for (int fd : taken)
    close(fd);
  // Once a descriptor is free again, the next block opens /dev/zero.
  ok = ok && GetMem(65535) != nullptr && MemId >= 0;
  exit(ok ? 0 : 1);
}
}  // namespace

TEST(PoolFailure, WorksWithoutDevZero)
{
  EXPECT_EXIT(AllocateWithoutDescriptors(), testing::ExitedWithCode(0), "");
}

// The test program's pool checks its invariants after every call (see
// tests/CMakeLists.txt): a damaged block stops the process at the next call
// that touches it, naming the invariant; PoolCheckInvariants names it too.
TEST(PoolInvariants, DamagedBlockIsCaughtAtTheNextCall)
{
  void *p = GetMem(10);
  ASSERT_EQ(PoolCheckInvariants(), nullptr);
  pMemB->MAT[100] = 'U';  // a used node that the bit map and nodes know nothing of
  EXPECT_STREQ(PoolCheckInvariants(), "block 0, node 100: invariant 3 (bit map and MAT disagree)");
  EXPECT_DEATH(GetMem(10), "pool invariant 3 \\(bit map and MAT disagree\\)");
  pMemB->MAT[100] = ' ';
  pMemB->freeNodes -= 1;
  EXPECT_STREQ(PoolCheckInvariants(),
               "block 0, node -1: invariant 4 (freeNodes is not the number of free nodes)");
  EXPECT_DEATH(PutMem(p), "pool invariant 4");
}

TEST(PoolDump, EmptyPoolPrintsNothing)
{
  testing::internal::CaptureStdout();
  DumpMem();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(PoolDump, ExactFormatOfBothKinds)
{
  char *a = static_cast<char *>(GetMem(5));
  strcpy(a, "abc");
  char *b = static_cast<char *>(GetMem(40));
  strcpy(b, "hello");
  char *c = static_cast<char *>(GetMem(2));
  PutMem(a);
  memset(c, 'x', POOL_NODE_SIZE);  // no terminator: printing stops at the allocation's end
  char *d = static_cast<char *>(GetMem(70000));
  PoolBlock *blk = pMemB;
  PoolBlock *ded = pMemB->next;

  char buf[512];
  std::string want;
  auto num = [](const void *p) { return static_cast<long>(reinterpret_cast<intptr_t>(p)); };
  snprintf(
      buf, sizeof buf,
      "\n============ Block(%li) size(65536) Free(2045) Used(3) FreeNodeCount(2045) SizeCnt(2045)"
      " <==(0) (%li)==>\n\tBlock MAT:",
      num(blk), num(ded));
  want += buf;
  want += "\n\t_UUU" + std::string(60, '_');
  for (int row = 1; row < 32; ++row)
    want += "\n\t" + std::string(64, '_');
  want += "\n\n\tAllocated Nodes:\n";
  snprintf(buf, sizeof buf, "\tMAT index(%6i) Memory Addr(%6li) nodes(%5i) size(%5i) Memory(%s)\n",
           1, num(b), 2, 64, "hello");
  want += buf;
  snprintf(buf, sizeof buf, "\tMAT index(%6i) Memory Addr(%6li) nodes(%5i) size(%5i) Memory(%s)\n",
           3, num(c), 1, 32, std::string(32, 'x').c_str());
  want += buf;
  want += "\n";
  snprintf(buf, sizeof buf,
           "\n============ Dedicated Block(%li) size(131072) FreeNodeCount(0) <==(%li) (0)==>",
           num(d), num(blk));
  want += buf;

  testing::internal::CaptureStdout();
  DumpMem();
  fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), want);
}
