// Vertex lists in the arena: memory handed back and out again never mixes two lists, and meshes
// extracted into recycled memory are the plain definition's, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "reference_sculpt.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/slab_replay.h"
#include "sculpt/stroke_sculpture.h"
#include "sculpt/test_scenes.h"
#include "sculpt/vertex_arena.h"
#include "sculpt/voxel_grid.h"

namespace {

SculptVertex Pattern(uint32_t list, uint32_t i) {
  SculptVertex v;
  std::memset(&v, 0, sizeof(v));
  std::memcpy(v.colour, &list, 4);
  std::memcpy(v.material, &i, 4);
  return v;
}

// Lists grow, shrink, are freed and come back with sizes on both sides of the chunk sizes (4, 5,
// 6, 7 KiB, 8, 10 KiB, ...), each filled with its own pattern; none may change another's.
TEST(VertexArena, ListsNeverShareMemory) {
  std::mt19937 rng(11);
  std::vector<std::unique_ptr<SculptVertexList>> lists(40);
  auto fill = [](SculptVertexList& list, uint32_t id, size_t size) {
    list.resize(size);
    for (size_t i = 0; i < size; ++i) list[i] = Pattern(id, uint32_t(i));
  };
  for (int round = 0; round < 400; ++round) {
    const size_t slot = rng() % lists.size();
    if (rng() % 5 == 0) {
      lists[slot].reset();
    } else {
      if (!lists[slot]) lists[slot] = std::make_unique<SculptVertexList>();
      // Chunk sizes in vertices are 128 << k times 4..7 / 4; sizes land on, just under and just
      // over them.
      const size_t base = size_t(128) << (rng() % 8);
      const size_t size = base * (4 + rng() % 4) / 4 + (rng() % 3) - 1;
      fill(*lists[slot], uint32_t(slot), size);
    }
    for (size_t s = 0; s < lists.size(); ++s) {
      if (!lists[s] || (round % 10 != 9 && s != slot)) continue;
      const SculptVertexList& list = *lists[s];
      for (size_t i = 0; i < list.size(); ++i) {
        const SculptVertex expected = Pattern(uint32_t(s), uint32_t(i));
        ASSERT_EQ(std::memcmp(&list[i], &expected, sizeof(SculptVertex)), 0)
            << "list " << s << " vertex " << i << " round " << round;
      }
    }
  }
}

struct Sculpture {
  VoxelGrid grid{kGridSize, kGridChannels};
  BlockTessellator blocks{&grid, kBlockSize};
  Sculpture() { grid.listener = &blocks; }
  void Replay(const std::vector<SculptOp>& ops) {
    ReplayRecords(grid, ops.data(), ops.size(), ReplayThreadCount());
    blocks.ExtractDirtyBlocks(INFINITY);
  }
};

void ExpectPlainMeshes(const Sculpture& s) {
  for (int bz = 0; bz < 6; ++bz)
    for (int by = 0; by < 6; ++by)
      for (int bx = 0; bx < 6; ++bx) {
        const SculptVertexList& got = s.blocks.Block(s.blocks.BlockIndex(bx, by, bz)).vertices;
        const std::vector<SculptVertex> expected =
            reference::ExtractBlock(s.grid, 32 * bx, 32 * by, 32 * bz, 32);
        ASSERT_EQ(got.size(), expected.size()) << bx << " " << by << " " << bz;
        ASSERT_TRUE(expected.empty() ||
                    std::memcmp(got.data(), expected.data(),
                                expected.size() * sizeof(SculptVertex)) == 0)
            << bx << " " << by << " " << bz;
      }
}

// One sculpture after another in the same blocks, and a second block index beside the first once
// that is gone: block lists shrink, grow and take over memory other blocks and other sculptures
// held, and every mesh is still the plain definition's.
TEST(VertexArena, MeshesInRecycledMemoryAreThePlainOnes) {
  auto first = std::make_unique<Sculpture>();
  first->Replay(StrokeSculptureRecords(2000, 5));
  ExpectPlainMeshes(*first);
  first->Replay(TestSceneRecords("materials"));
  ExpectPlainMeshes(*first);
  first.reset();
  Sculpture second;
  second.Replay(TestSceneRecords("marble"));
  ExpectPlainMeshes(second);
}

}  // namespace
