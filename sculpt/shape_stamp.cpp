#include "sculpt/shape_stamp.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

#include "sculpt/op_type.h"
#include "sculpt/stamp_mode.h"
#include "sculpt/voxel_grid.h"

namespace {

struct PreparedWrite {
  int16_t* data;
  int mode;
  int16_t q;
  float b;  // q as a fraction, for sandpaper
};

// Weights of four rows at once, one row per lane. Each lane accumulates its position by the same
// float additions a row-at-a-time loop would make, so the weights are bit-identical to it.
template <int Shape>
inline __m128 Weight(__m128 lx, __m128 ly, __m128 lz) {
  const __m128 one = _mm_set1_ps(1.0f);
  if constexpr (Shape == kOpBox) {
    __m128 x2 = _mm_mul_ps(lx, lx), y2 = _mm_mul_ps(ly, ly), z2 = _mm_mul_ps(lz, lz);
    __m128 x4 = _mm_mul_ps(x2, x2), y4 = _mm_mul_ps(y2, y2), z4 = _mm_mul_ps(z2, z2);
    __m128 x8 = _mm_mul_ps(x4, x4), y8 = _mm_mul_ps(y4, y4), z8 = _mm_mul_ps(z4, z4);
    __m128 sum = _mm_add_ps(_mm_add_ps(x8, y8), z8);
    return _mm_sub_ps(one, _mm_sqrt_ps(_mm_sqrt_ps(_mm_sqrt_ps(sum))));
  } else {
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    __m128 cap = _mm_sub_ps(one, _mm_and_ps(ly, absMask));
    __m128 side = _mm_sub_ps(one, _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(lx, lx), _mm_mul_ps(lz, lz))));
    return _mm_min_ps(side, cap);  // min(cap, side), keeping cap when equal
  }
}

template <int Shape>
void WeighRows(Vec3 start[kScratchRows], Vec3 stepX, int count, float* rows, int stride) {
  __m128 lx = _mm_setr_ps(start[0].x, start[1].x, start[2].x, start[3].x);
  __m128 ly = _mm_setr_ps(start[0].y, start[1].y, start[2].y, start[3].y);
  __m128 lz = _mm_setr_ps(start[0].z, start[1].z, start[2].z, start[3].z);
  const __m128 sx = _mm_set1_ps(stepX.x), sy = _mm_set1_ps(stepX.y), sz = _mm_set1_ps(stepX.z);
  int x = 0;
  for (; x + 4 <= count; x += 4) {
    __m128 w[4];
    for (int k = 0; k < 4; ++k) {
      w[k] = Weight<Shape>(lx, ly, lz);
      lx = _mm_add_ps(lx, sx), ly = _mm_add_ps(ly, sy), lz = _mm_add_ps(lz, sz);
    }
    _MM_TRANSPOSE4_PS(w[0], w[1], w[2], w[3]);
    for (int k = 0; k < 4; ++k) _mm_storeu_ps(rows + k * stride + x, w[k]);
  }
  for (; x < count; ++x) {
    alignas(16) float w[4];
    _mm_store_ps(w, Weight<Shape>(lx, ly, lz));
    for (int k = 0; k < 4; ++k) rows[k * stride + x] = w[k];
    lx = _mm_add_ps(lx, sx), ly = _mm_add_ps(ly, sy), lz = _mm_add_ps(lz, sz);
  }
}

// One sample, as the block loop below computes it four at a time.
inline int16_t WriteSample(const PreparedWrite& pw, float f, float v, int16_t s) {
  if (pw.mode == kStampSet || pw.mode == kStampBuff) return v > 0.0f ? pw.q : s;
  float fv = f * v;
  float w = fv < 1.0f ? fv : 1.0f;
  w = w > 0.0f ? w : 0.0f;
  int t = int(w * 32767.0f);
  switch (pw.mode) {
    case kStampAdd:
      return s < t ? int16_t(t) : s;
    case kStampSubtract:
      t = 32767 - t;
      return s > t ? int16_t(t) : s;
    case kStampSandpaper:
      return s < t ? int16_t((1.0f - pw.b) * float(s) + pw.b * float(t)) : s;
    default:
      return s;
  }
}

void WriteRun(const PreparedWrite& pw, float f, const float* weights, int16_t* row, int first,
              int last) {
  const __m128 vf = _mm_set1_ps(f), one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps();
  const __m128 full = _mm_set1_ps(32767.0f);
  const __m128i full32 = _mm_set1_epi32(32767), q32 = _mm_set1_epi32(pw.q);
  const __m128 b = _mm_set1_ps(pw.b), oneMinusB = _mm_set1_ps(1.0f - pw.b);
  int x = first;
  for (; x + 3 <= last; x += 4) {
    __m128 v = _mm_loadu_ps(weights + x);
    __m128i s = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + x));
    __m128i s32 = _mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16);
    __m128i result;
    if (pw.mode == kStampSet || pw.mode == kStampBuff) {
      __m128i inside = _mm_castps_si128(_mm_cmpgt_ps(v, zero));
      result = _mm_or_si128(_mm_and_si128(inside, q32), _mm_andnot_si128(inside, s32));
    } else {
      __m128 w = _mm_max_ps(_mm_min_ps(_mm_mul_ps(vf, v), one), zero);
      __m128i t = _mm_cvttps_epi32(_mm_mul_ps(w, full));
      if (pw.mode == kStampAdd) {
        __m128i raise = _mm_cmplt_epi32(s32, t);
        result = _mm_or_si128(_mm_and_si128(raise, t), _mm_andnot_si128(raise, s32));
      } else if (pw.mode == kStampSubtract) {
        t = _mm_sub_epi32(full32, t);
        __m128i lower = _mm_cmpgt_epi32(s32, t);
        result = _mm_or_si128(_mm_and_si128(lower, t), _mm_andnot_si128(lower, s32));
      } else {  // sandpaper
        __m128i raise = _mm_cmplt_epi32(s32, t);
        __m128 blend = _mm_add_ps(_mm_mul_ps(oneMinusB, _mm_cvtepi32_ps(s32)),
                                  _mm_mul_ps(b, _mm_cvtepi32_ps(t)));
        __m128i bt = _mm_cvttps_epi32(blend);
        result = _mm_or_si128(_mm_and_si128(raise, bt), _mm_andnot_si128(raise, s32));
      }
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(row + x), _mm_packs_epi32(result, result));
  }
  for (; x <= last; ++x) row[x] = WriteSample(pw, f, weights[x], row[x]);
}

template <int Shape>
void Stamp(VoxelGrid& grid, const Matrix4x4& M, const ChannelWrite* writes, int writeCount,
           const StampSlab& slab) {
  const int n = grid.size;
  Matrix4x4 inverse;  // zero when M has no inverse: every local position is then the origin
  if (!InvertMatrix(M, inverse)) inverse = Matrix4x4{};

  Vec3 diagonal = TransformVector(M, {1, 1, 1});
  const float f = 0.2f * std::sqrt(diagonal.x * diagonal.x + diagonal.y * diagonal.y +
                                   diagonal.z * diagonal.z);

  Bounds3 bounds;
  bounds.Reset();
  for (int corner = 0; corner < 8; ++corner) {
    Vec3 local{corner & 1 ? 1.0f : -1.0f, corner & 2 ? 1.0f : -1.0f, corner & 4 ? 1.0f : -1.0f};
    bounds.Extend(TransformPoint(M, local));
  }
  int lo[3] = {ClampTruncate(bounds.min.x, 0, n), ClampTruncate(bounds.min.y, 0, n),
               ClampTruncate(bounds.min.z, 0, n)};
  int hi[3] = {ClampTruncate(bounds.max.x, 0, n), ClampTruncate(bounds.max.y, 0, n),
               ClampTruncate(bounds.max.z, 0, n)};
  if (lo[0] >= hi[0] || lo[1] >= hi[1] || lo[2] >= hi[2]) return;
  // Positions are accumulated plane by plane from the box's first plane, whatever the slab, so
  // each plane sees the same float sums as in a whole stamp.
  const int zBegin = std::max(lo[2], slab.zBegin), zEnd = std::min(hi[2], slab.zEnd);
  if (zBegin >= zEnd) return;

  PreparedWrite prepared[kGridChannels];
  int preparedCount = 0;
  for (int i = 0; i < writeCount && preparedCount < kGridChannels; ++i) {
    const ChannelWrite& w = writes[i];
    if (w.channel < 0 || w.channel >= grid.channelCount) continue;
    if (w.mode < kStampSet || w.mode > kStampBuff) continue;  // other modes change nothing
    int16_t q = QuantizeSample(w.value);
    prepared[preparedCount++] = {grid.ChannelData(w.channel), w.mode, q, float(q) / 32767.0f};
  }

  const Vec3 stepX{inverse.m[0], inverse.m[1], inverse.m[2]};
  const Vec3 stepY{inverse.m[4], inverse.m[5], inverse.m[6]};
  const Vec3 stepZ{inverse.m[8], inverse.m[9], inverse.m[10]};
  const int count = hi[0] - lo[0];
  const int stride = n + 8;
  float* rows = slab.scratchRows;

  Vec3 planeStart = TransformPoint(inverse, {float(lo[0]), float(lo[1]), float(lo[2])});
  for (int z = lo[2]; z < zEnd; ++z) {
    if (z < zBegin) {
      planeStart = planeStart + stepZ;
      continue;
    }
    Vec3 rowStart = planeStart;
    for (int y = lo[1]; y < hi[1]; y += kScratchRows) {
      const int rowCount = std::min(kScratchRows, hi[1] - y);
      Vec3 starts[kScratchRows];
      for (int k = 0; k < kScratchRows; ++k) {
        starts[k] = rowStart;
        if (k < rowCount) rowStart = rowStart + stepY;
      }
      WeighRows<Shape>(starts, stepX, count, rows, stride);
      for (int k = 0; k < rowCount; ++k) {
        // Index i of a weight row is sample lo.x + i.
        const float* weights = rows + k * stride;
        int first = 0, last = count - 1;
        while (first <= last && !(weights[first] > 0.0f)) ++first;
        if (first > last) continue;  // the shape misses this row
        while (!(weights[last] > 0.0f)) --last;
        const int offset = grid.Index(lo[0], y + k, z);
        for (int i = 0; i < preparedCount; ++i)
          WriteRun(prepared[i], f, weights, prepared[i].data + offset, first, last);
      }
    }
    planeStart = planeStart + stepZ;
  }
  const int scannedLo[3] = {lo[0], lo[1], zBegin}, scannedHi[3] = {hi[0], hi[1], zEnd};
  ReportStampBox(grid, slab, scannedLo, scannedHi);
}

}  // namespace

void StampShapeChannels(VoxelGrid& grid, int shapeType, const Matrix4x4& M,
                        const ChannelWrite* writes, int writeCount, const StampSlab& slab) {
  if (writeCount <= 0) return;
  if (shapeType == kOpBox)
    Stamp<kOpBox>(grid, M, writes, writeCount, slab);
  else if (shapeType == kOpCylinder)
    Stamp<kOpCylinder>(grid, M, writes, writeCount, slab);
}

void StampShapeChannels(VoxelGrid& grid, int shapeType, const Matrix4x4& M,
                        const ChannelWrite* writes, int writeCount) {
  StampShapeChannels(grid, shapeType, M, writes, writeCount, WholeGrid(grid));
}

void StampShape(VoxelGrid& grid, int shapeType, const Matrix4x4& M, int channel, int mode,
                float value) {
  ChannelWrite write{channel, mode, value};
  StampShapeChannels(grid, shapeType, M, &write, 1);
}
