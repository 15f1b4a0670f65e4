#include "sculpt/extract_block.h"

#include <emmintrin.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "sculpt/block_tessellator.h"
#include "sculpt/marching_cubes_tables.h"
#include "sculpt/voxel_grid.h"

namespace {

struct SurfaceCell {
  int32_t x, y, z;
  int32_t base;  // sample index of corner 0
  int32_t cubeCase;
  int32_t vertexCount;
  int32_t firstVertex;
};

// Cells per x chunk: a chunk's sample rows (cells + 1 samples) fit one 64-bit inside mask.
constexpr int kChunkCells = 32;

void CellRange(int start, int size, int n, int& first, int& end) {
  end = start + size;
  if (end >= n - 1) end = n - 2;
  first = start <= 0 ? 1 : start;
}

// Bit i set when sample i of the row is below the iso level (outside). Loads 16 samples at a
// time; samples past `count` are read (the grid keeps a tail so this stays in the allocation) but
// masked off.
inline uint64_t OutsideMask(const int16_t* row, int count) {
  const __m128i iso = _mm_set1_epi16(kIsoSample);
  uint64_t mask = 0;
  for (int i = 0; i < count; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i + 8));
    __m128i bytes = _mm_packs_epi16(_mm_cmplt_epi16(a, iso), _mm_cmplt_epi16(b, iso));
    mask |= uint64_t(uint32_t(_mm_movemask_epi8(bytes))) << i;
  }
  return count >= 64 ? mask : mask & ((uint64_t(1) << count) - 1);
}

// Everything an edge vertex interpolates from one corner, packed as three 4-lane vectors
// (px py pz gx | gy gz r g | b 0 metal rough) so that an edge vertex is three interpolations and
// its first vector is already the vertex's first 16 bytes.
struct CornerRecord {
  __m128 v[3];
  float value;  // shape sample / 32767
};

// The grid's channels and strides, looked up once per block.
struct GridView {
  const int16_t* channel[kGridChannels] = {};
  int strideY = 0, strideZ = 0;
  GridView() = default;
  explicit GridView(const VoxelGrid& grid) : strideY(grid.strideY), strideZ(grid.strideZ) {
    for (int c = 0; c < kGridChannels; ++c) channel[c] = grid.ChannelData(c);
  }
};

CornerRecord MakeCorner(const GridView& g, int x, int y, int z) {
  const int i = x + y * g.strideY + z * g.strideZ;
  const int sy = g.strideY, sz = g.strideZ;
  const int16_t* s = g.channel[kChannelShape] + i;
  // Gradients by central differences, exact in integers before conversion.
  CornerRecord r;
  r.v[0] = _mm_cvtepi32_ps(_mm_setr_epi32(x, y, z, s[-1] - s[1]));
  r.v[1] = _mm_cvtepi32_ps(_mm_setr_epi32(s[-sy] - s[sy], s[-sz] - s[sz], g.channel[kChannelRed][i],
                                          g.channel[kChannelGreen][i]));
  r.v[2] = _mm_cvtepi32_ps(_mm_setr_epi32(g.channel[kChannelBlue][i], 0,
                                          g.channel[kChannelMetalness][i],
                                          g.channel[kChannelRoughness][i]));
  r.value = float(s[0]) * kSampleToFloat;
  return r;
}

// Corners of case c that an edge vertex reads.
const uint8_t* CaseCorners() {
  static const struct Table {
    uint8_t corners[256];
    Table() {
      for (int c = 0; c < 256; ++c) {
        corners[c] = 0;
        for (int e = 0; e < 12; ++e)
          if (kEdgeTable[c] & (1 << e))
            corners[c] |= uint8_t(1 << kEdgeCorners[e][0] | 1 << kEdgeCorners[e][1]);
      }
    }
  } table;
  return table.corners;
}

constexpr int kCornerOffset[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                     {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};

// A corner sample is shared by up to eight cells, and near a surface by about four crossed ones:
// each corner's record is built once and reused. Cells arrive z slab by z slab, so two planes of
// records (the cells' lower and upper corner planes) are enough.
class CornerCache {
 public:
  void Begin(const VoxelGrid& grid, int xs, int xe, int ys, int ye) {
    view_ = GridView(grid);
    xs_ = xs, ys_ = ys;
    rowLength_ = xe - xs + 1;
    planeSize_ = rowLength_ * (ye - ys + 1);
    for (int k = 0; k < 2; ++k) {
      records_[k].resize(size_t(planeSize_));
      valid_[k].assign(size_t(planeSize_), 0);
    }
    // Plane offsets of corners 0..7 from corner 0.
    for (int c = 0; c < 8; ++c)
      cornerOffset_[c] = kCornerOffset[c][0] + kCornerOffset[c][1] * rowLength_;
    z_ = -2;
  }

  // Moves to the cell plane z: the lower corner plane is z, the upper z + 1.
  void SetZ(int z) {
    if (z == z_) return;
    if (z == z_ + 1) {
      std::swap(records_[0], records_[1]);
      std::swap(valid_[0], valid_[1]);
      std::fill(valid_[1].begin(), valid_[1].end(), 0);
    } else {
      std::fill(valid_[0].begin(), valid_[0].end(), 0);
      std::fill(valid_[1].begin(), valid_[1].end(), 0);
    }
    z_ = z;
  }

  // Points corner[c] at the record of every corner c in `used` of the cell (x, y, z_).
  void Gather(int x, int y, unsigned used, const CornerRecord* corner[8]) {
    const int base = (y - ys_) * rowLength_ + (x - xs_);
    CornerRecord* records[2] = {records_[0].data(), records_[1].data()};
    uint8_t* valid[2] = {valid_[0].data(), valid_[1].data()};
    while (used) {
      const int c = __builtin_ctz(used);
      used &= used - 1;
      const int plane = kCornerOffset[c][2];
      const int index = base + cornerOffset_[c];
      if (!valid[plane][index]) {
        records[plane][index] =
            MakeCorner(view_, x + kCornerOffset[c][0], y + kCornerOffset[c][1], z_ + plane);
        valid[plane][index] = 1;
      }
      corner[c] = &records[plane][index];
    }
  }

 private:
  GridView view_;
  int xs_ = 0, ys_ = 0, rowLength_ = 0, planeSize_ = 0, z_ = -2;
  int cornerOffset_[8] = {};
  std::vector<CornerRecord> records_[2];
  std::vector<uint8_t> valid_[2];
};

// Writes the vertices of one crossed cell.
void EmitCell(CornerCache& cache, const SurfaceCell& cell, SculptVertex* out) {
  const CornerRecord* corner[8];
  cache.Gather(cell.x, cell.y, CaseCorners()[cell.cubeCase], corner);

  const __m128 attributeScale = _mm_set1_ps(0.0078125f);
  const __m128i zeroBytes = _mm_setzero_si128();
  __m128i edgeVertex[12][2];
  unsigned edges = kEdgeTable[cell.cubeCase];
  while (edges) {
    const int e = __builtin_ctz(edges);
    edges &= edges - 1;
    const CornerRecord& a = *corner[kEdgeCorners[e][0]];
    const CornerRecord& b = *corner[kEdgeCorners[e][1]];
    const float t = (kIsoLevel - a.value) / (b.value - a.value);
    const __m128 vt = _mm_set1_ps(t);
    __m128 v0 = _mm_add_ps(a.v[0], _mm_mul_ps(vt, _mm_sub_ps(b.v[0], a.v[0])));
    __m128 v1 = _mm_add_ps(a.v[1], _mm_mul_ps(vt, _mm_sub_ps(b.v[1], a.v[1])));
    __m128 v2 = _mm_add_ps(a.v[2], _mm_mul_ps(vt, _mm_sub_ps(b.v[2], a.v[2])));
    // Attributes: x/128 rounded to nearest even, clamped to 0..255 by the saturating packs.
    __m128i i1 = _mm_cvtps_epi32(_mm_mul_ps(v1, attributeScale));
    __m128i i2 = _mm_cvtps_epi32(_mm_mul_ps(v2, attributeScale));
    __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(i1, i2), zeroBytes);
    // bytes 2..9 are r g b 0 metal rough 0 0: the colour and material words.
    __m128i words = _mm_srli_si128(bytes, 2);
    edgeVertex[e][0] = _mm_castps_si128(v0);
    edgeVertex[e][1] = _mm_unpacklo_epi64(_mm_castps_si128(v1), words);
  }

  // The vertex lists run to tens of megabytes and are next read by the upload: streaming stores
  // skip reading every destination line into the cache first.
  const int8_t* row = kTriTable[cell.cubeCase];
  for (int j = 0; j < cell.vertexCount; ++j) {
    __m128i* dst = reinterpret_cast<__m128i*>(out + j);
    _mm_stream_si128(dst, edgeVertex[row[j]][0]);
    _mm_stream_si128(dst + 1, edgeVertex[row[j]][1]);
  }
}

}  // namespace

void ExtractBlock(const VoxelGrid& grid, int x0, int y0, int z0, int sizeX, int sizeY, int sizeZ,
                  TessBlock& block) {
  const int n = grid.size;
  int xs, xe, ys, ye, zs, ze;
  CellRange(x0, sizeX, n, xs, xe);
  CellRange(y0, sizeY, n, ys, ye);
  CellRange(z0, sizeZ, n, zs, ze);

  thread_local std::vector<SurfaceCell> cells;
  thread_local std::vector<uint64_t> masks;
  cells.clear();
  cells.reserve(100);
  int32_t vertexTotal = 0;

  if (xs < xe && ys < ye && zs < ze) {
    const uint8_t* vertexCounts = VertexCountTable();
    const int16_t* shape = grid.ChannelData(kChannelShape);
    const int rowsY = ye - ys + 1, rowsZ = ze - zs + 1;
    const int chunks = (xe - xs + kChunkCells - 1) / kChunkCells;
    // Classify every sample row the block's cells touch once, as bit masks; each row is then
    // shared by the four cell rows around it, and whole rows of uncrossed cells are skipped.
    masks.resize(size_t(chunks) * rowsY * rowsZ);
    for (int c = 0; c < chunks; ++c) {
      const int cx = xs + c * kChunkCells;
      const int count = std::min(kChunkCells, xe - cx) + 1;
      uint64_t* m = masks.data() + size_t(c) * rowsY * rowsZ;
      for (int z = zs; z <= ze; ++z)
        for (int y = ys; y <= ye; ++y)
          m[(z - zs) * rowsY + (y - ys)] = OutsideMask(shape + grid.Index(cx, y, z), count);
    }

    for (int z = zs; z < ze; ++z) {
      for (int y = ys; y < ye; ++y) {
        for (int c = 0; c < chunks; ++c) {
          const int cx = xs + c * kChunkCells;
          const int cellCount = std::min(kChunkCells, xe - cx);
          const uint64_t* m = masks.data() + size_t(c) * rowsY * rowsZ;
          const uint64_t m00 = m[(z - zs) * rowsY + (y - ys)];
          const uint64_t m10 = m[(z - zs) * rowsY + (y + 1 - ys)];
          const uint64_t m01 = m[(z + 1 - zs) * rowsY + (y - ys)];
          const uint64_t m11 = m[(z + 1 - zs) * rowsY + (y + 1 - ys)];
          const uint64_t allOut =
              m00 & (m00 >> 1) & m10 & (m10 >> 1) & m01 & (m01 >> 1) & m11 & (m11 >> 1);
          const uint64_t allIn =
              ~(m00 | (m00 >> 1) | m10 | (m10 >> 1) | m01 | (m01 >> 1) | m11 | (m11 >> 1));
          uint64_t crossed = ~(allOut | allIn) & ((uint64_t(1) << cellCount) - 1);
          while (crossed) {
            const int i = __builtin_ctzll(crossed);
            crossed &= crossed - 1;
            // Corners 0,1 and 4,5 run along +x, corners 3,2 and 7,6 too but are numbered
            // backwards: swap the two bits of those pairs.
            static constexpr uint8_t kSwap[4] = {0, 2, 1, 3};
            const int cubeCase = int((m00 >> i) & 3) | kSwap[(m10 >> i) & 3] << 2 |
                                 int((m01 >> i) & 3) << 4 | kSwap[(m11 >> i) & 3] << 6;
            const int x = cx + i;
            const int count = vertexCounts[cubeCase];
            cells.push_back({x, y, z, grid.Index(x, y, z), cubeCase, count, vertexTotal});
            vertexTotal += count;
          }
        }
      }
    }
  }

  block.vertices.resize(size_t(vertexTotal));
  if (!cells.empty()) {
    thread_local CornerCache cache;
    cache.Begin(grid, xs, xe, ys, ye);
    SculptVertex* out = block.vertices.data();
    // Classification read only the shape channel; the colour channels of a crossed cell are
    // usually not cached yet. Ask for the lines of a cell a few places ahead, once per line.
    constexpr size_t kLookAhead = 8;
    int lastLine = -1;
    auto prefetch = [&](const SurfaceCell& cell) {
      const int line = cell.base >> 5;
      if (line == lastLine) return;
      lastLine = line;
      const int rows[4] = {0, grid.strideY, grid.strideZ, grid.strideY + grid.strideZ};
      for (int c = 0; c < kGridChannels; ++c)
        for (int r : rows)
          _mm_prefetch(reinterpret_cast<const char*>(grid.ChannelData(c) + cell.base + r),
                       _MM_HINT_T0);
    };
    for (size_t j = 0; j < std::min(kLookAhead, cells.size()); ++j) prefetch(cells[j]);
    for (size_t j = 0; j < cells.size(); ++j) {
      if (j + kLookAhead < cells.size()) prefetch(cells[j + kLookAhead]);
      const SurfaceCell& cell = cells[j];
      cache.SetZ(cell.z);
      EmitCell(cache, cell, out + cell.firstVertex);
    }
    _mm_sfence();
  }

  block.dirty = 0;
  block.uploadPending = 1;
}
