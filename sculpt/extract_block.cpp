#include "sculpt/extract_block.h"

#include <emmintrin.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cstring>
#include <memory>
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
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i + 8));
    __m128i bytes = _mm_packs_epi16(_mm_cmplt_epi16(a, iso), _mm_cmplt_epi16(b, iso));
    mask |= uint64_t(uint32_t(_mm_movemask_epi8(bytes))) << i;
  }
  // A block's rows hold 33 samples: the one left over is not worth another vector.
  for (; i < count; ++i) mask |= uint64_t(row[i] < kIsoSample) << i;
  return mask;
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

// Records of the four corners (x..x+3, y, z) at once, one corner per lane until the transposes.
// Lanes past the block's last corner read samples beyond it (the grid keeps a tail) and are never
// used.
void MakeCornerGroup(const GridView& g, int x, int y, int z, CornerRecord* out) {
  const int i = x + y * g.strideY + z * g.strideZ;
  auto load = [](const int16_t* p) {
    __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
  };
  // Gradients by central differences, exact in integers before conversion.
  auto difference = [&](int d) {
    const int16_t* s = g.channel[kChannelShape] + i;
    return _mm_cvtepi32_ps(_mm_sub_epi32(load(s - d), load(s + d)));
  };
  auto channel = [&](int c) { return _mm_cvtepi32_ps(load(g.channel[c] + i)); };
  __m128 px = _mm_add_ps(_mm_set1_ps(float(x)), _mm_setr_ps(0, 1, 2, 3));
  __m128 py = _mm_set1_ps(float(y)), pz = _mm_set1_ps(float(z));
  __m128 gx = difference(1), gy = difference(g.strideY), gz = difference(g.strideZ);
  __m128 red = channel(kChannelRed), green = channel(kChannelGreen), blue = channel(kChannelBlue);
  __m128 metal = channel(kChannelMetalness), rough = channel(kChannelRoughness);
  __m128 zero = _mm_setzero_ps();
  alignas(16) float value[4];
  _mm_store_ps(value, _mm_mul_ps(channel(kChannelShape), _mm_set1_ps(kSampleToFloat)));
  _MM_TRANSPOSE4_PS(px, py, pz, gx);
  _MM_TRANSPOSE4_PS(gy, gz, red, green);
  _MM_TRANSPOSE4_PS(blue, zero, metal, rough);
  const __m128 rows[3][4] = {{px, py, pz, gx}, {gy, gz, red, green}, {blue, zero, metal, rough}};
  for (int k = 0; k < 4; ++k) {
    out[k].v[0] = rows[0][k];
    out[k].v[1] = rows[1][k];
    out[k].v[2] = rows[2][k];
    out[k].value = value[k];
  }
}

constexpr int kCornerOffset[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                     {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};

// An edge vertex is interpolated from its first corner towards its second, so the same physical
// edge gives bit-identical vertices in every cell that walks it in the same direction. Edges
// along x and y are walked forwards by some edges of the table and backwards by others; edges
// along z always forwards. Each direction of an edge is therefore computed once and reused by the
// other cells, kept in a slot named by the edge's lower sample:
//   planes: 0 = the cells' lower sample plane, 1 = the upper one, 2 = the z edges between them;
//   slots within planes 0 and 1: 0 = +x, 1 = -x, 2 = +y, 3 = -y.
struct EdgeSlot {
  uint8_t plane, slot, dx, dy;
};
constexpr EdgeSlot kEdgeSlot[12] = {
    {0, 0, 0, 0}, {0, 2, 1, 0}, {0, 1, 0, 1}, {0, 3, 0, 0},  // edges 0-3: (0,1) (1,2) (2,3) (3,0)
    {1, 0, 0, 0}, {1, 2, 1, 0}, {1, 1, 0, 1}, {1, 3, 0, 0},  // edges 4-7: the same one plane up
    {2, 0, 0, 0}, {2, 0, 1, 0}, {2, 0, 1, 1}, {2, 0, 0, 1},  // edges 8-11: along z
};

struct EdgeVertex {
  __m128i v[2];  // the vertex's two 16-byte halves
};

// Per-thread memo of corner records and edge vertices for the cells of one block. Cells arrive z
// slab by z slab, so the records of two sample planes and the z edges between them are enough;
// moving up one slab keeps the upper plane as the new lower one. An entry is valid when its stamp
// equals its plane's current generation, so forgetting a plane is one counter increment.
class SurfaceCache {
 public:
  void Begin(const VoxelGrid& grid, int xs, int xe, int ys, int ye) {
    view_ = GridView(grid);
    xs_ = xs, ys_ = ys;
    // Rows padded to whole groups of four corners, which are built together.
    rowLength_ = (xe - xs + 1 + 3) & ~3;
    const size_t planeSize = size_t(rowLength_) * size_t(ye - ys + 1);
    if (planeSize > capacity_) {
      capacity_ = planeSize;
      // All zeroed, so that the pages are in place before the first block (this runs once per
      // thread, when its tessellation team is prepared).
      for (int k = 0; k < 2; ++k) {
        cornerStorage_[k].reset(new CornerRecord[planeSize]());
        cornerStampStorage_[k].reset(new uint32_t[planeSize]());
        edgeStorage_[k].reset(new EdgeVertex[planeSize * 4]());
        edgeStampStorage_[k].reset(new uint32_t[planeSize * 4]());
      }
      edgeStorage_[2].reset(new EdgeVertex[planeSize]());
      edgeStampStorage_[2].reset(new uint32_t[planeSize]());
      generation_ = 0;
    }
    for (int k = 0; k < 2; ++k) {
      corners_[k] = cornerStorage_[k].get();
      cornerStamps_[k] = cornerStampStorage_[k].get();
    }
    for (int k = 0; k < 3; ++k) {
      edges_[k] = edgeStorage_[k].get();
      edgeStamps_[k] = edgeStampStorage_[k].get();
    }
    for (int c = 0; c < 8; ++c)
      cornerOffset_[c] = kCornerOffset[c][0] + kCornerOffset[c][1] * rowLength_;
    z_ = -2;
  }

  // Moves to the cells of slab z (sample planes z and z + 1).
  void SetZ(int z) {
    if (z == z_) return;
    if (z == z_ + 1) {
      std::swap(corners_[0], corners_[1]);
      std::swap(cornerStamps_[0], cornerStamps_[1]);
      std::swap(edges_[0], edges_[1]);
      std::swap(edgeStamps_[0], edgeStamps_[1]);
      std::swap(planeGeneration_[0], planeGeneration_[1]);
    } else {
      planeGeneration_[0] = NextGeneration();
    }
    planeGeneration_[1] = NextGeneration();
    planeGeneration_[2] = NextGeneration();
    z_ = z;
  }

  // The vertex of edge e of the cell (x, y) of the current slab.
  const EdgeVertex& Edge(int e, int x, int y, int cellIndex) {
    const EdgeSlot slot = kEdgeSlot[e];
    const size_t index = size_t(cellIndex + slot.dx + slot.dy * rowLength_);
    const size_t entry = slot.plane == 2 ? index : index * 4 + slot.slot;
    EdgeVertex& vertex = edges_[slot.plane][entry];
    uint32_t& stamp = edgeStamps_[slot.plane][entry];
    if (stamp != planeGeneration_[slot.plane]) {
      const int a = kEdgeCorners[e][0], b = kEdgeCorners[e][1];
      vertex = Interpolate(Corner(a, x, y, cellIndex), Corner(b, x, y, cellIndex));
      stamp = planeGeneration_[slot.plane];
    }
    return vertex;
  }

  int CellIndex(int x, int y) const { return (y - ys_) * rowLength_ + (x - xs_); }

 private:
  const CornerRecord& Corner(int c, int x, int y, int cellIndex) {
    const int plane = kCornerOffset[c][2];
    const size_t index = size_t(cellIndex + cornerOffset_[c]);
    const size_t group = index >> 2;
    if (cornerStamps_[plane][group] != planeGeneration_[plane]) {
      const int cx = x + kCornerOffset[c][0];
      MakeCornerGroup(view_, cx - int(index & 3), y + kCornerOffset[c][1], z_ + plane,
                      corners_[plane] + group * 4);
      cornerStamps_[plane][group] = planeGeneration_[plane];
    }
    return corners_[plane][index];
  }

  static EdgeVertex Interpolate(const CornerRecord& a, const CornerRecord& b) {
    const float t = (kIsoLevel - a.value) / (b.value - a.value);
    const __m128 vt = _mm_set1_ps(t);
    __m128 v0 = _mm_add_ps(a.v[0], _mm_mul_ps(vt, _mm_sub_ps(b.v[0], a.v[0])));
    __m128 v1 = _mm_add_ps(a.v[1], _mm_mul_ps(vt, _mm_sub_ps(b.v[1], a.v[1])));
    __m128 v2 = _mm_add_ps(a.v[2], _mm_mul_ps(vt, _mm_sub_ps(b.v[2], a.v[2])));
    // Attributes: x/128 rounded to nearest even, clamped to 0..255 by the saturating packs.
    const __m128 attributeScale = _mm_set1_ps(0.0078125f);
    __m128i i1 = _mm_cvtps_epi32(_mm_mul_ps(v1, attributeScale));
    __m128i i2 = _mm_cvtps_epi32(_mm_mul_ps(v2, attributeScale));
    __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(i1, i2), _mm_setzero_si128());
    // bytes 2..9 are r g b 0 metal rough 0 0: the colour and material words.
    __m128i words = _mm_srli_si128(bytes, 2);
    return {{_mm_castps_si128(v0), _mm_unpacklo_epi64(_mm_castps_si128(v1), words)}};
  }

  uint32_t NextGeneration() {
    if (++generation_ == 0) {  // wrapped: old stamps could match again, so wipe them
      for (int k = 0; k < 2; ++k) {
        std::fill_n(cornerStampStorage_[k].get(), capacity_, 0u);
        std::fill_n(edgeStampStorage_[k].get(), capacity_ * 4, 0u);
      }
      std::fill_n(edgeStampStorage_[2].get(), capacity_, 0u);
      // Every plane gets a generation no stamp holds: all entries are forgotten.
      planeGeneration_[0] = 1, planeGeneration_[1] = 2, planeGeneration_[2] = 3;
      generation_ = 4;
    }
    return generation_;
  }

  GridView view_;
  int xs_ = 0, ys_ = 0, rowLength_ = 0, z_ = -2;
  int cornerOffset_[8] = {};
  size_t capacity_ = 0;
  uint32_t generation_ = 0;
  uint32_t planeGeneration_[3] = {};
  // Plain pointers into the storage below: the hot path indexes them without reloading
  // container internals after every store.
  CornerRecord* corners_[2] = {};
  uint32_t* cornerStamps_[2] = {};
  EdgeVertex* edges_[3] = {};
  uint32_t* edgeStamps_[3] = {};
  std::unique_ptr<CornerRecord[]> cornerStorage_[2];
  std::unique_ptr<uint32_t[]> cornerStampStorage_[2];
  std::unique_ptr<EdgeVertex[]> edgeStorage_[3];
  std::unique_ptr<uint32_t[]> edgeStampStorage_[3];
};

// Each thread's scratch, kept from block to block.
std::vector<SurfaceCell>& ThreadCells() {
  thread_local std::vector<SurfaceCell> cells;
  return cells;
}
std::vector<uint64_t>& ThreadMasks() {
  thread_local std::vector<uint64_t> masks;
  return masks;
}
SurfaceCache& ThreadCache() {
  thread_local SurfaceCache cache;
  return cache;
}

// Writes the vertices of one crossed cell.
void EmitCell(SurfaceCache& cache, const SurfaceCell& cell, SculptVertex* out) {
  const EdgeVertex* edgeVertex[12];
  const int cellIndex = cache.CellIndex(cell.x, cell.y);
  unsigned edges = kEdgeTable[cell.cubeCase];
  while (edges) {
    const int e = __builtin_ctz(edges);
    edges &= edges - 1;
    edgeVertex[e] = &cache.Edge(e, cell.x, cell.y, cellIndex);
  }
  // The vertex lists run to tens of megabytes and are next read by the upload: streaming stores
  // skip reading every destination line into the cache first.
  const int8_t* row = kTriTable[cell.cubeCase];
  for (int j = 0; j < cell.vertexCount; ++j) {
    __m128i* dst = reinterpret_cast<__m128i*>(out + j);
    _mm_stream_si128(dst, edgeVertex[row[j]]->v[0]);
    _mm_stream_si128(dst + 1, edgeVertex[row[j]]->v[1]);
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

  std::vector<SurfaceCell>& cells = ThreadCells();
  std::vector<uint64_t>& masks = ThreadMasks();
  cells.clear();
  int32_t vertexTotal = 0;

  if (xs < xe && ys < ye && zs < ze) {
    const uint8_t* vertexCounts = VertexCountTable();
    const int16_t* shape = grid.ChannelData(kChannelShape);
    const int rowsY = ye - ys + 1, rowsZ = ze - zs + 1;
    int chunks = (xe - xs + kChunkCells - 1) / kChunkCells;
    bool anyOutside = false, anyInside = false;
    // Classify every sample row the block's cells touch once, as bit masks; each row is then
    // shared by the four cell rows around it, and whole rows of uncrossed cells are skipped.
    masks.resize(size_t(chunks) * rowsY * rowsZ);
    for (int c = 0; c < chunks; ++c) {
      const int cx = xs + c * kChunkCells;
      const int count = std::min(kChunkCells, xe - cx) + 1;
      uint64_t* m = masks.data() + size_t(c) * rowsY * rowsZ;
      const uint64_t full = count >= 64 ? ~uint64_t(0) : (uint64_t(1) << count) - 1;
      for (int z = zs; z <= ze; ++z)
        for (int y = ys; y <= ye; ++y) {
          const uint64_t mask = OutsideMask(shape + grid.Index(cx, y, z), count);
          m[(z - zs) * rowsY + (y - ys)] = mask;
          anyOutside |= mask != 0;
          anyInside |= mask != full;
        }
    }
    // Cells are crossed only where the block holds samples on both sides of the surface.
    if (!(anyOutside && anyInside)) chunks = 0;

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
    SurfaceCache& cache = ThreadCache();
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

void PrepareExtractionScratch(const VoxelGrid& grid, int blockSize) {
  // Every cell of the block crossed, and the sample rows of one cell more per axis.
  const size_t cells = size_t(blockSize) * size_t(blockSize) * size_t(blockSize);
  const size_t chunks = size_t((blockSize + kChunkCells - 1) / kChunkCells);
  // Sized and cleared, not reserved: the pages are written now, not by the first block.
  ThreadCells().resize(cells);
  ThreadCells().clear();
  ThreadMasks().resize(chunks * size_t(blockSize + 1) * size_t(blockSize + 1));
  if (grid.size > blockSize) ThreadCache().Begin(grid, 0, blockSize, 0, blockSize);
}
