#include "sculpt/sphere_stamp.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

#include "sculpt/stamp_mode.h"
#include "sculpt/voxel_grid.h"

namespace {

struct SphereRow {
  float cx, radius, r2, core2;
  float dyz;  // (y - cy)^2 + (z - cz)^2 of the row
};

// Squared distance exactly as replay defines it: (x-cx)^2 + ((y-cy)^2 + (z-cz)^2).
inline float DistanceSquared(const SphereRow& r, int x) {
  float dx = float(x) - r.cx;
  return dx * dx + r.dyz;
}

// The samples of a row within the radius form one run, because the float distance grows
// monotonically away from the centre. Finds it exactly: an estimate from the square root, then
// the float test at the ends.
bool InsideRun(const SphereRow& r, int lo, int hi, int& first, int& last) {
  if (!(r.dyz <= r.r2)) return false;
  float half = std::sqrt(r.r2 - r.dyz);
  first = ClampTruncate(std::floor(r.cx - half), lo, hi - 1);
  last = ClampTruncate(std::ceil(r.cx + half), lo, hi - 1);
  while (first > lo && DistanceSquared(r, first - 1) <= r.r2) --first;
  while (first <= last && !(DistanceSquared(r, first) <= r.r2)) ++first;
  while (last < hi - 1 && DistanceSquared(r, last + 1) <= r.r2) ++last;
  while (last >= first && !(DistanceSquared(r, last) <= r.r2)) --last;
  return first <= last;
}

// One sample of the add / subtract ramp (mode 2 or 3), outside the core.
inline int16_t RampSample(const SphereRow& r, int mode, float d2, int16_t s) {
  float l = (r.radius - std::sqrt(d2)) * 0.2f;
  if (!(l > 0.0f)) return s;
  float w = l < 1.0f ? l : 1.0f;
  if (mode == kStampAdd) {
    int16_t m = int16_t(w * 32767.0f);
    return m > s ? m : s;
  }
  int16_t m = int16_t(32767.0f - w * 32767.0f);
  return m < s ? m : s;
}

// Modes 2 and 3 over [first, last], four samples at a time. Lanes compute exactly what
// RampSample computes (no contraction, IEEE square root), so results match the scalar tail.
// A last group of one to three samples is done as a vector too, its other lanes written back as
// they were, when it stays inside the row (rowLength samples): a row belongs to one thread.
void RampRun(const SphereRow& r, int mode, float coreValue, int16_t* row, int first, int last,
             int rowLength) {
  const __m128 cx = _mm_set1_ps(r.cx), dyz = _mm_set1_ps(r.dyz), radius = _mm_set1_ps(r.radius);
  const __m128 core2 = _mm_set1_ps(r.core2);
  const __m128 fifth = _mm_set1_ps(0.2f), one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps();
  const __m128 full = _mm_set1_ps(32767.0f), core = _mm_set1_ps(coreValue);
  const __m128 step = _mm_setr_ps(0, 1, 2, 3);
  const bool add = mode == kStampAdd;
  const __m128i lane = _mm_setr_epi32(0, 1, 2, 3);
  int x = first;
  for (; x <= last && x + 3 < rowLength; x += 4) {
    __m128 dx = _mm_sub_ps(_mm_add_ps(_mm_set1_ps(float(x)), step), cx);
    __m128 d2 = _mm_add_ps(_mm_mul_ps(dx, dx), dyz);
    __m128 l = _mm_mul_ps(_mm_sub_ps(radius, _mm_sqrt_ps(d2)), fifth);
    __m128 w = _mm_min_ps(l, one);
    __m128 m = add ? _mm_mul_ps(w, full) : _mm_sub_ps(full, _mm_mul_ps(w, full));
    __m128i mi = _mm_cvttps_epi32(m);
    __m128i s = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + x));
    __m128i s32 = _mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16);
    __m128i ramp = mi;
    __m128i better = add ? _mm_cmpgt_epi32(ramp, s32) : _mm_cmplt_epi32(ramp, s32);
    __m128i apply = _mm_and_si128(better, _mm_castps_si128(_mm_cmpgt_ps(l, zero)));
    __m128i result = _mm_or_si128(_mm_and_si128(apply, ramp), _mm_andnot_si128(apply, s32));
    __m128i inCore = _mm_castps_si128(_mm_cmplt_ps(d2, core2));
    result = _mm_or_si128(_mm_and_si128(inCore, _mm_cvttps_epi32(core)),
                          _mm_andnot_si128(inCore, result));
    if (x + 3 > last) {
      __m128i inRun = _mm_cmplt_epi32(lane, _mm_set1_epi32(last - x + 1));
      result = _mm_or_si128(_mm_and_si128(inRun, result), _mm_andnot_si128(inRun, s32));
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(row + x), _mm_packs_epi32(result, result));
  }
  for (; x <= last; ++x) {
    float d2 = DistanceSquared(r, x);
    row[x] = d2 < r.core2 ? int16_t(coreValue) : RampSample(r, mode, d2, row[x]);
  }
}

}  // namespace

void StampSphereChannels(VoxelGrid& grid, Vec3 c, float radius, const ChannelWrite* writes,
                         int writeCount, const StampSlab& slab) {
  if (writeCount <= 0) return;
  const int n = grid.size;
  const float scan = std::max(radius, 3.0f);
  const float centre[3] = {c.x, c.y, c.z};
  int lo[3], hi[3];
  for (int a = 0; a < 3; ++a) {
    lo[a] = ClampTruncate(std::floor(centre[a] - scan), 0, n);
    hi[a] = ClampTruncate(std::ceil(centre[a] + scan), 0, n);
    if (lo[a] >= hi[a]) return;  // nothing of the sphere is inside the grid
  }
  lo[2] = std::max(lo[2], slab.zBegin);
  hi[2] = std::min(hi[2], slab.zEnd);
  if (lo[2] >= hi[2]) return;

  SphereRow r;
  r.cx = c.x;
  r.radius = radius;
  r.r2 = radius * radius;
  float coreRadius = std::min(radius - 5.0f, 0.0f);
  r.core2 = coreRadius * coreRadius;

  struct PreparedWrite {
    int16_t* data;
    int mode;
    int16_t q;
    int16_t coreValue;
  } prepared[kGridChannels];
  int preparedCount = 0;
  for (int i = 0; i < writeCount && preparedCount < kGridChannels; ++i) {
    const ChannelWrite& w = writes[i];
    if (w.channel < 0 || w.channel >= grid.channelCount) continue;
    const int16_t q = QuantizeSample(w.value);
    // Inside the core the write is unconditional: q when setting, full when adding, else empty.
    const int16_t coreValue = w.mode == kStampSet ? q : w.mode == kStampAdd ? kFullSample : 0;
    prepared[preparedCount++] = {grid.ChannelData(w.channel), w.mode, q, coreValue};
  }

  for (int z = lo[2]; z < hi[2]; ++z) {
    float dz = float(z) - c.z;
    for (int y = lo[1]; y < hi[1]; ++y) {
      float dy = float(y) - c.y;
      r.dyz = dy * dy + dz * dz;
      // The run depends only on the sphere, so it is found once for all channels.
      int first, last;
      if (!InsideRun(r, lo[0], hi[0], first, last)) continue;
      const int offset = grid.Index(0, y, z);
      // Each row of a small sphere is a fresh cache line in every channel: ask for the next one
      // while this one is written.
      for (int i = 0; i < preparedCount; ++i)
        _mm_prefetch(reinterpret_cast<const char*>(prepared[i].data + offset + grid.strideY + first),
                     _MM_HINT_T0);
      for (int i = 0; i < preparedCount; ++i) {
        const PreparedWrite& w = prepared[i];
        int16_t* row = w.data + offset;
        if (w.mode == kStampSet) {
          std::fill(row + first, row + last + 1, w.q);
        } else if (w.mode == kStampAdd || w.mode == kStampSubtract) {
          RampRun(r, w.mode, w.coreValue, row, first, last, n);
        } else if (r.core2 > 0.0f) {
          // Every other mode only empties the core.
          for (int x = first; x <= last; ++x)
            if (DistanceSquared(r, x) < r.core2) row[x] = 0;
        }
      }
    }
  }
  ReportStampBox(grid, slab, lo, hi);
}

void StampSphereChannels(VoxelGrid& grid, Vec3 c, float radius, const ChannelWrite* writes,
                         int writeCount) {
  StampSphereChannels(grid, c, radius, writes, writeCount, WholeGrid(grid));
}

void StampSphere(VoxelGrid& grid, Vec3 c, float radius, int channel, int mode, float value) {
  ChannelWrite write{channel, mode, value};
  StampSphereChannels(grid, c, radius, &write, 1);
}
