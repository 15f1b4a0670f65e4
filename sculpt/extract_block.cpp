#include "sculpt/extract_block.h"

#include <emmintrin.h>
#include <xmmintrin.h>

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

// The eight corner samples of the cell at p, in corner order, as one 8-lane vector.
inline __m128i GatherCorners(const int16_t* p, int strideY, int strideZ) {
  int32_t r0, r1, r2, r3;
  std::memcpy(&r0, p, 4);                      // corners 0, 1
  std::memcpy(&r1, p + strideY, 4);            // corners 3, 2
  std::memcpy(&r2, p + strideZ, 4);            // corners 4, 5
  std::memcpy(&r3, p + strideY + strideZ, 4);  // corners 7, 6
  __m128i v = _mm_set_epi32(r3, r2, r1, r0);
  v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 1, 0));
  return _mm_shufflehi_epi16(v, _MM_SHUFFLE(2, 3, 1, 0));
}

inline __m128i WidenLow(__m128i v) { return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16); }
inline __m128i WidenHigh(__m128i v) { return _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16); }

struct CornerPair {
  __m128 lo, hi;  // corners 0-3 and 4-7
};

inline CornerPair ToFloat(__m128i v) {
  return {_mm_cvtepi32_ps(WidenLow(v)), _mm_cvtepi32_ps(WidenHigh(v))};
}

// Central difference s(-d) - s(+d) at the eight corners, exact in integers before conversion.
inline CornerPair Gradient(const int16_t* p, int d, int strideY, int strideZ) {
  __m128i minus = GatherCorners(p - d, strideY, strideZ);
  __m128i plus = GatherCorners(p + d, strideY, strideZ);
  return {_mm_cvtepi32_ps(_mm_sub_epi32(WidenLow(minus), WidenLow(plus))),
          _mm_cvtepi32_ps(_mm_sub_epi32(WidenHigh(minus), WidenHigh(plus)))};
}

// Writes the vertices of one crossed cell. Each corner is packed as three 4-lane vectors
// (px py pz gx | gy gz r g | b 0 metal rough) so that an edge vertex is three interpolations, and
// its first vector is already the vertex's first 16 bytes.
void EmitCell(const VoxelGrid& grid, const SurfaceCell& cell, SculptVertex* out) {
  const int sy = grid.strideY, sz = grid.strideZ;
  const int16_t* shape = grid.ChannelData(kChannelShape) + cell.base;

  alignas(16) float value[8];
  {
    CornerPair v = ToFloat(GatherCorners(shape, sy, sz));
    const __m128 scale = _mm_set1_ps(kSampleToFloat);
    _mm_store_ps(value, _mm_mul_ps(v.lo, scale));
    _mm_store_ps(value + 4, _mm_mul_ps(v.hi, scale));
  }

  const __m128 fx = _mm_set1_ps(float(cell.x));
  const __m128 fy = _mm_set1_ps(float(cell.y));
  const __m128 fz = _mm_set1_ps(float(cell.z));
  CornerPair px{_mm_add_ps(fx, _mm_setr_ps(0, 1, 1, 0)), _mm_add_ps(fx, _mm_setr_ps(0, 1, 1, 0))};
  CornerPair py{_mm_add_ps(fy, _mm_setr_ps(0, 0, 1, 1)), _mm_add_ps(fy, _mm_setr_ps(0, 0, 1, 1))};
  CornerPair pz{fz, _mm_add_ps(fz, _mm_set1_ps(1.0f))};
  CornerPair gx = Gradient(shape, 1, sy, sz);
  CornerPair gy = Gradient(shape, sy, sy, sz);
  CornerPair gz = Gradient(shape, sz, sy, sz);
  const int32_t offset = cell.base;
  CornerPair red = ToFloat(GatherCorners(grid.ChannelData(kChannelRed) + offset, sy, sz));
  CornerPair green = ToFloat(GatherCorners(grid.ChannelData(kChannelGreen) + offset, sy, sz));
  CornerPair blue = ToFloat(GatherCorners(grid.ChannelData(kChannelBlue) + offset, sy, sz));
  CornerPair metal = ToFloat(GatherCorners(grid.ChannelData(kChannelMetalness) + offset, sy, sz));
  CornerPair rough = ToFloat(GatherCorners(grid.ChannelData(kChannelRoughness) + offset, sy, sz));
  CornerPair zero{_mm_setzero_ps(), _mm_setzero_ps()};

  __m128 corner[8][3];
  auto pack = [&](int slot, CornerPair a, CornerPair b, CornerPair c, CornerPair d) {
    _MM_TRANSPOSE4_PS(a.lo, b.lo, c.lo, d.lo);
    _MM_TRANSPOSE4_PS(a.hi, b.hi, c.hi, d.hi);
    corner[0][slot] = a.lo, corner[1][slot] = b.lo, corner[2][slot] = c.lo, corner[3][slot] = d.lo;
    corner[4][slot] = a.hi, corner[5][slot] = b.hi, corner[6][slot] = c.hi, corner[7][slot] = d.hi;
  };
  pack(0, px, py, pz, gx);
  pack(1, gy, gz, red, green);
  pack(2, blue, zero, metal, rough);

  const __m128 attributeScale = _mm_set1_ps(0.0078125f);
  const __m128i zeroBytes = _mm_setzero_si128();
  __m128i edgeVertex[12][2];
  unsigned edges = kEdgeTable[cell.cubeCase];
  while (edges) {
    const int e = __builtin_ctz(edges);
    edges &= edges - 1;
    const int a = kEdgeCorners[e][0], b = kEdgeCorners[e][1];
    const float t = (kIsoLevel - value[a]) / (value[b] - value[a]);
    const __m128 vt = _mm_set1_ps(t);
    __m128 v0 = _mm_add_ps(corner[a][0], _mm_mul_ps(vt, _mm_sub_ps(corner[b][0], corner[a][0])));
    __m128 v1 = _mm_add_ps(corner[a][1], _mm_mul_ps(vt, _mm_sub_ps(corner[b][1], corner[a][1])));
    __m128 v2 = _mm_add_ps(corner[a][2], _mm_mul_ps(vt, _mm_sub_ps(corner[b][2], corner[a][2])));
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
            const int cubeCase = int((m00 >> i) & 1) | int((m00 >> (i + 1)) & 1) << 1 |
                                 int((m10 >> (i + 1)) & 1) << 2 | int((m10 >> i) & 1) << 3 |
                                 int((m01 >> i) & 1) << 4 | int((m01 >> (i + 1)) & 1) << 5 |
                                 int((m11 >> (i + 1)) & 1) << 6 | int((m11 >> i) & 1) << 7;
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
  SculptVertex* out = block.vertices.data();
  for (const SurfaceCell& cell : cells) EmitCell(grid, cell, out + cell.firstVertex);
  _mm_sfence();

  block.dirty = 0;
  block.uploadPending = 1;
}
