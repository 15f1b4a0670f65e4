#pragma once
// Plain, one-sample-at-a-time versions of the stamps and of block extraction, written straight
// from their definitions. The optimised code must reproduce them bit for bit.
#include <cmath>
#include <cstring>
#include <vector>

#include "base/math_types.h"
#include "sculpt/marching_cubes_tables.h"
#include "sculpt/sculpt_vertex.h"
#include "sculpt/voxel_grid.h"

namespace reference {

inline int16_t Quantize(float v) {
  if (v > 1.0f) return 32767;
  if (v < 0.0f) return 0;
  return int16_t(v * 32767.0f);
}

inline void StampSphere(VoxelGrid& g, Vec3 c, float radius, int channel, int mode, float value) {
  const int n = g.size;
  float R = std::max(radius, 3.0f);
  const float cc[3] = {c.x, c.y, c.z};
  int lo[3], hi[3];
  for (int a = 0; a < 3; ++a) {
    lo[a] = std::max(0, int(std::floor(cc[a] - R)));
    hi[a] = std::min(n, int(std::ceil(cc[a] + R)));
  }
  float k = std::min(radius - 5.0f, 0.0f);
  float K = k * k;
  int16_t q = Quantize(value);
  int16_t* d = g.ChannelData(channel);
  for (int z = lo[2]; z < hi[2]; ++z)
    for (int y = lo[1]; y < hi[1]; ++y)
      for (int x = lo[0]; x < hi[0]; ++x) {
        float dx = float(x) - c.x, dy = float(y) - c.y, dz = float(z) - c.z;
        float d2 = dx * dx + (dy * dy + dz * dz);
        int16_t& s = d[g.Index(x, y, z)];
        if (d2 > radius * radius) continue;
        if (d2 < K) {
          s = mode == 1 ? q : mode == 2 ? 32767 : 0;
          continue;
        }
        if (mode == 1) {
          s = q;
        } else if (mode == 2 || mode == 3) {
          float L = (radius - std::sqrt(d2)) * 0.2f;
          if (L > 0) {
            float w = std::min(1.0f, L);
            int16_t M = mode == 2 ? int16_t(w * 32767.0f) : int16_t(32767.0f - w * 32767.0f);
            if (mode == 2 ? M > s : M < s) s = M;
          }
        }
      }
}

inline float ShapeWeight(int type, Vec3 l) {
  if (type == 2) {
    float x = l.x * l.x, y = l.y * l.y, z = l.z * l.z;
    x *= x, y *= y, z *= z;
    x *= x, y *= y, z *= z;
    return 1.0f - std::sqrt(std::sqrt(std::sqrt(x + y + z)));
  }
  return std::min(1.0f - std::fabs(l.y), 1.0f - std::sqrt(l.x * l.x + l.z * l.z));
}

inline void StampShape(VoxelGrid& g, int type, const Matrix4x4& M, int channel, int mode,
                       float value) {
  const int n = g.size;
  Matrix4x4 inv;
  if (!InvertMatrix(M, inv)) inv = Matrix4x4{};
  Vec3 diag = TransformVector(M, {1, 1, 1});
  float f = 0.2f * std::sqrt(diag.x * diag.x + diag.y * diag.y + diag.z * diag.z);
  int16_t q = Quantize(value);
  Bounds3 b;
  b.Reset();
  for (int i = 0; i < 8; ++i)
    b.Extend(TransformPoint(M, {i & 1 ? 1.f : -1.f, i & 2 ? 1.f : -1.f, i & 4 ? 1.f : -1.f}));
  auto clampi = [n](float v) { return std::clamp(int(v), 0, n); };
  int lo[3] = {clampi(b.min.x), clampi(b.min.y), clampi(b.min.z)};
  int hi[3] = {clampi(b.max.x), clampi(b.max.y), clampi(b.max.z)};
  Vec3 sx{inv.m[0], inv.m[1], inv.m[2]}, sy{inv.m[4], inv.m[5], inv.m[6]},
      sz{inv.m[8], inv.m[9], inv.m[10]};
  std::vector<float> row(size_t(n) + 7);
  int16_t* d = g.ChannelData(channel);
  Vec3 pz = TransformPoint(inv, {float(lo[0]), float(lo[1]), float(lo[2])});
  for (int z = lo[2]; z < hi[2]; ++z, pz = pz + sz) {
    Vec3 py = pz;
    for (int y = lo[1]; y < hi[1]; ++y, py = py + sy) {
      Vec3 p = py;
      int first = -1, last = -1;
      for (int x = lo[0]; x < hi[0]; ++x, p = p + sx) {
        float v = ShapeWeight(type, p);
        if (v > 0) {
          row[size_t(x)] = v;
          if (first < 0) first = x;
          last = x;
        }
      }
      if (first < 0) continue;
      for (int x = first; x <= last; ++x) {
        int16_t& s = d[g.Index(x, y, z)];
        float w = std::clamp(f * row[size_t(x)], 0.0f, 1.0f);
        int t = int(w * 32767.0f);
        switch (mode) {
          case 1:
          case 5:
            if (row[size_t(x)] > 0) s = q;
            break;
          case 2:
            if (s < t) s = int16_t(t);
            break;
          case 3:
            t = 32767 - t;
            if (s > t) s = int16_t(t);
            break;
          case 4: {
            float bq = float(q) / 32767.0f;
            if (s < t) s = int16_t((1.0f - bq) * float(s) + bq * float(t));
            break;
          }
        }
      }
    }
  }
}

// Marching cubes over the block's cells, one corner and one edge at a time.
inline std::vector<SculptVertex> ExtractBlock(const VoxelGrid& g, int x0, int y0, int z0, int size) {
  const int n = g.size;
  auto range = [n](int start, int& s, int& e) {
    e = start + 32 > n - 2 ? n - 2 : start + 32;
    s = start <= 0 ? 1 : start;
  };
  int xs, xe, ys, ye, zs, ze;
  range(x0, xs, xe);
  range(y0, ys, ye);
  range(z0, zs, ze);
  (void)size;
  static const int off[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  auto s = [&](int c, int x, int y, int z) { return float(g.ChannelData(c)[g.Index(x, y, z)]); };
  std::vector<SculptVertex> out;
  for (int z = zs; z < ze; ++z)
    for (int y = ys; y < ye; ++y)
      for (int x = xs; x < xe; ++x) {
        int cubeCase = 0;
        float val[8], pos[8][3], grad[8][3], attr[8][8];
        for (int i = 0; i < 8; ++i) {
          int cx = x + off[i][0], cy = y + off[i][1], cz = z + off[i][2];
          int16_t raw = g.ChannelData(0)[g.Index(cx, cy, cz)];
          if (raw < 16383) cubeCase |= 1 << i;
          val[i] = float(raw) * (1.0f / 32767.0f);
          pos[i][0] = float(x) + float(off[i][0]);
          pos[i][1] = float(y) + float(off[i][1]);
          pos[i][2] = float(z) + float(off[i][2]);
          grad[i][0] = s(0, cx - 1, cy, cz) - s(0, cx + 1, cy, cz);
          grad[i][1] = s(0, cx, cy - 1, cz) - s(0, cx, cy + 1, cz);
          grad[i][2] = s(0, cx, cy, cz - 1) - s(0, cx, cy, cz + 1);
          float a[8] = {s(1, cx, cy, cz), s(2, cx, cy, cz), s(3, cx, cy, cz), 0,
                        s(4, cx, cy, cz), s(5, cx, cy, cz), 0, 0};
          std::memcpy(attr[i], a, sizeof(a));
        }
        if (cubeCase == 0 || cubeCase == 255) continue;
        SculptVertex edgeVertex[12];
        for (int e = 0; e < 12; ++e) {
          if (!(kEdgeTable[cubeCase] & (1 << e))) continue;
          int a = kEdgeCorners[e][0], b = kEdgeCorners[e][1];
          float t = (0.5f - val[a]) / (val[b] - val[a]);
          SculptVertex& v = edgeVertex[e];
          for (int k = 0; k < 3; ++k) {
            v.position[k] = pos[a][k] + t * (pos[b][k] - pos[a][k]);
            v.normal[k] = grad[a][k] + t * (grad[b][k] - grad[a][k]);
          }
          for (int k = 0; k < 8; ++k) {
            float at = attr[a][k] + t * (attr[b][k] - attr[a][k]);
            float r = std::nearbyint(at * 0.0078125f);
            uint8_t byte = uint8_t(std::clamp(r, 0.0f, 255.0f));
            (k < 4 ? v.colour[k] : v.material[k - 4]) = byte;
          }
        }
        for (int j = 0; kTriTable[cubeCase][j] >= 0; ++j) out.push_back(edgeVertex[kTriTable[cubeCase][j]]);
      }
  return out;
}

}  // namespace reference
