// Memory pool against a model: thousands of random GetMem / AdjustMem /
// PutMem steps. The model keeps every block's map as a plain string, finds
// free runs with a substring search (first fit, lowest index) and predicts
// where each allocation lands; the test also keeps a copy of every
// allocation's contents. After each step the real pool must agree with the
// model block for block and hold its invariants.
#include "memmgr/MemMgr.h"
#include "memmgr/MemMgrInternal.h"
#include "PoolCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <random>
#include <string>
#include <vector>

namespace {

struct ModelBlock {
  bool dedicated = false;
  size_t size = 0;
  std::string map = std::string(POOL_BLOCK_NODES, ' ');
  char *data = nullptr;  // learnt from the pool once the block exists
};

// Where the model expects an allocation: a node of a model block.
struct Place {
  ModelBlock *block = nullptr;
  int node = 0;
  char *Addr() const { return block->data + node * POOL_NODE_SIZE; }
};

struct Live {
  char *p = nullptr;
  Place at;
  int nodes = 0;  // ordinary block only
  std::vector<unsigned char> bytes;
};

class PoolModel {
public:
  std::list<ModelBlock> blocks;

  static size_t Len(size_t n) { return (n / POOL_NODE_SIZE + 1) * POOL_NODE_SIZE; }

  Place Get(size_t n, int *nodes)
  {
    size_t len = Len(n);
    if (len > POOL_BLOCK_SIZE) {
      ModelBlock &b = blocks.emplace_back();
      b.dedicated = true;
      b.size = (len + POOL_BLOCK_SIZE - 1) / POOL_BLOCK_SIZE * POOL_BLOCK_SIZE;
      b.map.assign(POOL_BLOCK_NODES, 'U');
      *nodes = 0;
      return {&b, 0};
    }
    int k = static_cast<int>(len / POOL_NODE_SIZE);
    *nodes = k;
    std::string want(static_cast<size_t>(k), ' ');
    for (ModelBlock &b : blocks) {
      if (b.dedicated)
        continue;
      size_t i = b.map.find(want);
      if (i == std::string::npos)
        continue;
      b.map.replace(i, static_cast<size_t>(k), static_cast<size_t>(k), 'U');
      return {&b, static_cast<int>(i)};
    }
    ModelBlock &b = blocks.emplace_back();
    b.size = POOL_BLOCK_SIZE;
    b.map.replace(0, static_cast<size_t>(k), static_cast<size_t>(k), 'U');
    return {&b, 0};
  }

  void Put(const Live &a)
  {
    ModelBlock *b = a.at.block;
    if (!b->dedicated)
      b->map.replace(static_cast<size_t>(a.at.node), static_cast<size_t>(a.nodes),
                     static_cast<size_t>(a.nodes), ' ');
    if (b->dedicated || b->map.find('U') == std::string::npos)
      blocks.remove_if([b](const ModelBlock &x) { return &x == b; });
  }

  // Predicts AdjustMem(a.p, n) for n > 0 and updates the model and a.
  void Adjust(Live &a, size_t n)
  {
    size_t len = Len(n);
    ModelBlock *b = a.at.block;
    if (len > POOL_BLOCK_SIZE || b->dedicated) {
      if (b->size < len)
        return Relocate(a, n);
      return;  // stays where it is
    }
    int i = a.at.node, have = a.nodes, k = static_cast<int>(len / POOL_NODE_SIZE);
    auto freeRun = [b](int from, int count) {
      return from >= 0 && from + count <= POOL_BLOCK_NODES &&
             b->map.compare(static_cast<size_t>(from), static_cast<size_t>(count),
                            std::string(static_cast<size_t>(count), ' ')) == 0;
    };
    auto mark = [b](int from, int count, char c) {
      b->map.replace(static_cast<size_t>(from), static_cast<size_t>(count),
                     static_cast<size_t>(count), c);
    };
    if (k < have) {
      mark(i + k, have - k, ' ');
    } else if (k > have) {
      int m = k - have;
      if (freeRun(i + have, m)) {
        mark(i + have, m, 'U');
      } else if (freeRun(i - m, m)) {
        mark(i - m, m, 'U');
        a.at.node = i - m;
      } else {
        return Relocate(a, n);
      }
    }
    a.nodes = k;
  }

private:
  void Relocate(Live &a, size_t n)
  {
    int nodes = 0;
    Place to = Get(n, &nodes);
    Put(a);
    a.at = to;
    a.nodes = nodes;
  }
};

class PoolRandom : public testing::Test {
protected:
  PoolModel model;
  std::vector<Live> live;
  std::mt19937 rng{12345};

  size_t Pick(size_t lo, size_t hi) { return std::uniform_int_distribution<size_t>(lo, hi)(rng); }

  // Pieces of a third to most of a block, so that many blocks are made.
  bool bigPieces = false;
  // The block invariants are checked after every checkEvery-th step (the
  // model is compared after each). The pool itself checks the block that
  // each call touches: the test program's pool is built with its asserts.
  int checkEvery = 1;
  int steps = 0;

  size_t RandomSize(int smallPercent)
  {
    size_t r = Pick(0, 99);
    if (bigPieces)
      return r < static_cast<size_t>(smallPercent) ? Pick(1, 200) : Pick(20000, 60000);
    if (r < static_cast<size_t>(smallPercent))
      return Pick(1, 200);
    if (r < 94)
      return Pick(200, 3000);
    if (r < 98)
      return Pick(3000, 65535);
    return Pick(65536, 200000);
  }

  void Scribble(Live &a, size_t from)
  {
    for (size_t j = from; j < a.bytes.size(); ++j)
      a.bytes[j] = static_cast<unsigned char>(rng());
    memcpy(a.p + from, a.bytes.data() + from, a.bytes.size() - from);
  }

  // The pool must match the model block by block; new model blocks learn
  // their data address here.
  void Sync()
  {
    if (++steps % checkEvery == 0) {
      ASSERT_EQ(PoolViolation(), "");
    }
    ASSERT_EQ(static_cast<size_t>(PoolBlockCount()), model.blocks.size());
    const PoolBlock *b = pMemB;
    for (ModelBlock &m : model.blocks) {
      if (m.data == nullptr)
        m.data = b->data;
      ASSERT_EQ(m.data, b->data);
      ASSERT_EQ(m.dedicated, b->size > POOL_BLOCK_SIZE);
      ASSERT_EQ(static_cast<size_t>(b->size), m.size);
      ASSERT_EQ(std::string(b->MAT, POOL_BLOCK_NODES), m.map);
      b = b->next;
    }
  }

  void CheckContents(const Live &a)
  {
    ASSERT_EQ(memcmp(a.p, a.bytes.data(), a.bytes.size()), 0)
        << "contents of a live allocation changed";
    ASSERT_EQ(a.p[a.bytes.size()], 0) << "the spare byte after the allocation is not zero";
  }

  void DoGet(size_t n)
  {
    Live a;
    a.at = model.Get(n, &a.nodes);
    a.p = static_cast<char *>(Pick(0, 9) == 0 ? AdjustMem(nullptr, n) : GetMem(n));
    ASSERT_NE(a.p, nullptr);
    ASSERT_NO_FATAL_FAILURE(Sync());
    ASSERT_EQ(a.p, a.at.Addr()) << "not the first fit for " << n << " bytes";
    a.bytes.assign(n, 0);
    ASSERT_NO_FATAL_FAILURE(CheckContents(a));
    Scribble(a, 0);
    live.push_back(std::move(a));
  }

  void DoPut(size_t which)
  {
    Live a = std::move(live[which]);
    live.erase(live.begin() + static_cast<long>(which));
    ASSERT_NO_FATAL_FAILURE(CheckContents(a));
    model.Put(a);
    if (Pick(0, 1) == 0)
      PutMem(a.p);
    else
      EXPECT_EQ(AdjustMem(a.p, 0), nullptr);
    ASSERT_NO_FATAL_FAILURE(Sync());
  }

  void DoAdjust(size_t which, size_t n)
  {
    Live &a = live[which];
    size_t old = a.bytes.size();
    model.Adjust(a, n);
    char *p = static_cast<char *>(AdjustMem(a.p, n));
    ASSERT_NE(p, nullptr);
    ASSERT_NO_FATAL_FAILURE(Sync());
    ASSERT_EQ(p, a.at.Addr()) << "resize " << old << " -> " << n << " landed elsewhere";
    a.p = p;
    a.bytes.resize(n, 0);  // kept up to the smaller size, growth zero
    ASSERT_NO_FATAL_FAILURE(CheckContents(a));
    Scribble(a, std::min(old, n) / 2);
  }

  // A pointer inside an allocation but not at its start changes nothing.
  void DoStrayPut(size_t which)
  {
    const Live &a = live[which];
    if (a.bytes.size() < 2)
      return;
    PutMem(a.p + Pick(1, a.bytes.size() - 1));
    ASSERT_NO_FATAL_FAILURE(Sync());
  }

  int mostBlocks = 0;

  void Run(unsigned seed, int steps, int smallPercent, size_t maxLive)
  {
    rng.seed(seed);
    for (int step = 0; step < steps; ++step) {
      SCOPED_TRACE("step " + std::to_string(step));
      size_t r = Pick(0, 99);
      if (live.empty() || (r < 40 && live.size() < maxLive)) {
        ASSERT_NO_FATAL_FAILURE(DoGet(RandomSize(smallPercent)));
      } else if (r < 70) {
        ASSERT_NO_FATAL_FAILURE(DoPut(Pick(0, live.size() - 1)));
      } else if (r < 97) {
        size_t which = Pick(0, live.size() - 1);
        size_t cur = live[which].bytes.size();
        size_t near = cur + Pick(0, 200);  // mostly small steps up or down
        size_t n = Pick(0, 3) == 0 ? RandomSize(smallPercent) : near > 100 ? near - 100 : 1;
        ASSERT_NO_FATAL_FAILURE(DoAdjust(which, n));
      } else {
        ASSERT_NO_FATAL_FAILURE(DoStrayPut(Pick(0, live.size() - 1)));
      }
      mostBlocks = std::max(mostBlocks, PoolBlockCount());
      if (step % 64 == 0) {
        for (const Live &a : live)
          ASSERT_NO_FATAL_FAILURE(CheckContents(a));
      }
    }
    while (!live.empty())
      ASSERT_NO_FATAL_FAILURE(DoPut(Pick(0, live.size() - 1)));
    EXPECT_EQ(pMemB, nullptr);
  }
};

TEST_F(PoolRandom, MixedSizesAgreeWithModel)
{
  Run(1, 4000, 70, 200);
}

TEST_F(PoolRandom, SmallPiecesFragmentSeveralBlocks)
{
  Run(2, 6000, 97, 1500);
}

TEST_F(PoolRandom, AdjacentBlocksAgreeWithModel)
{
  AdjacentRegion::Install();
  Run(3, 1500, 90, 400);
}

// More blocks than the pool's quick table holds, their number rising past
// it and falling back below it again and again.
TEST_F(PoolRandom, ManyBlocksAgreeWithModel)
{
  bigPieces = true;
  checkEvery = 25;
  Run(4, 3000, 10, 170);
  EXPECT_GT(mostBlocks, POOL_TABLE + 20);
}

// Blocks far apart whose addresses share their low bits, each straddling a
// 64 KiB boundary.
TEST_F(PoolRandom, BlocksFarApartAgreeWithModel)
{
  SpreadRegion::Install();
  bigPieces = true;
  Run(5, 1500, 40, 30);
  EXPECT_GT(mostBlocks, 8);
}

}  // namespace
