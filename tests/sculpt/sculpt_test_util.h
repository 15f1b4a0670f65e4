#pragma once
// What the document and history tests share: a sphere record and a grid with its block index
// and document under a temporary data root.
#include "file/file_util.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/voxel_grid.h"
#include "tests/support/temp_directory.h"

namespace sculpttest {

inline SculptOp Sphere(Vec3 c, float radius, int mode, uint32_t mask, float value = 0.5f) {
  SculptOp op;
  op.type = kOpSphere;
  op.matrix = Matrix4x4::Translation(c);
  op.radius = radius;
  op.mode = mode;
  op.channelMask = mask;
  op.red = op.green = op.blue = op.roughness = op.metalness = value;
  return op;
}

struct DocumentFixture {
  TempDirectory dir;
  DataRoots roots;
  VoxelGrid grid{kGridSize, kGridChannels};
  BlockTessellator blocks{&grid, kBlockSize};
  SculptDocument doc{&grid, &roots};
  DocumentFixture() {
    AddDataRoot(roots, dir.Path());
    grid.listener = &blocks;
  }
};

}  // namespace sculpttest
