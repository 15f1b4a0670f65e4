#include "tools/texture_builder/cubemap_filter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <numbers>
#include <thread>

#include "tools/texture_builder/half_float.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

Vec3 Normalize(Vec3 v) { return v * (1.0f / Length(v)); }

// Runs body(row) for every row on all cores; rows are handed out one at a time because their
// cost varies (sky features are not spread evenly).
void ParallelForRows(int rowCount, const std::function<void(int)>& body) {
  std::atomic<int> next{0};
  auto worker = [&] {
    for (int row = next++; row < rowCount; row = next++) body(row);
  };
  const int threadCount = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> threads;
  for (int i = 1; i < threadCount; ++i) threads.emplace_back(worker);
  worker();
  for (std::thread& thread : threads) thread.join();
}

// Face and in-face coordinates (s, t in [0, 1]) of a direction, as OpenGL selects them.
void DirectionToFace(Vec3 d, int& face, float& s, float& t) {
  const float ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
  float sc, tc, ma;
  if (ax >= ay && ax >= az) {
    face = d.x >= 0 ? 0 : 1;
    sc = d.x >= 0 ? -d.z : d.z;
    tc = -d.y;
    ma = ax;
  } else if (ay >= az) {
    face = d.y >= 0 ? 2 : 3;
    sc = d.x;
    tc = d.y >= 0 ? d.z : -d.z;
    ma = ay;
  } else {
    face = d.z >= 0 ? 4 : 5;
    sc = d.z >= 0 ? d.x : -d.x;
    tc = -d.y;
    ma = az;
  }
  s = 0.5f * (sc / ma + 1.0f);
  t = 0.5f * (tc / ma + 1.0f);
}

CubeLevel Downsample(const CubeLevel& source) {
  CubeLevel out;
  out.size = std::max(1, source.size / 2);
  out.texels.resize(static_cast<size_t>(6) * out.size * out.size);
  for (int face = 0; face < 6; ++face) {
    for (int y = 0; y < out.size; ++y) {
      for (int x = 0; x < out.size; ++x) {
        const Vec3 sum = source.At(face, 2 * x, 2 * y) + source.At(face, 2 * x + 1, 2 * y) +
                         source.At(face, 2 * x, 2 * y + 1) + source.At(face, 2 * x + 1, 2 * y + 1);
        out.At(face, x, y) = sum * 0.25f;
      }
    }
  }
  return out;
}

Vec3 Mix(Vec3 a, Vec3 b, float t) { return a + (b - a) * t; }

Vec3 SampleChain(const std::vector<CubeLevel>& chain, Vec3 direction, float lod) {
  lod = std::clamp(lod, 0.0f, static_cast<float>(chain.size() - 1));
  const int lower = static_cast<int>(lod);
  const int upper = std::min(lower + 1, static_cast<int>(chain.size()) - 1);
  const Vec3 a = SampleCube(chain[lower], direction);
  if (upper == lower) return a;
  return Mix(a, SampleCube(chain[upper], direction), lod - lower);
}

struct LobeSample {
  Vec3 direction;  // around +Z, the texel's own direction
  float weight;    // cosine to the texel's direction
  float lod;       // source level whose texels match the sample's share of the lobe
};

float RadicalInverse(uint32_t bits) {
  bits = (bits << 16u) | (bits >> 16u);
  bits = ((bits & 0x55555555u) << 1u) | ((bits & 0xAAAAAAAAu) >> 1u);
  bits = ((bits & 0x33333333u) << 2u) | ((bits & 0xCCCCCCCCu) >> 2u);
  bits = ((bits & 0x0F0F0F0Fu) << 4u) | ((bits & 0xF0F0F0F0u) >> 4u);
  bits = ((bits & 0x00FF00FFu) << 8u) | ((bits & 0xFF00FF00u) >> 8u);
  return static_cast<float>(bits) * 2.3283064365386963e-10f;
}

// GGX importance samples with the view along the normal, as split-sum pre-filtering assumes.
// Each sample reads the source at the level whose texel solid angle matches the solid angle the
// sample stands for, which keeps a few dozen samples free of fireflies from small bright sources.
std::vector<LobeSample> GGXLobe(float roughness, int sampleCount, int baseSize) {
  const float alpha = roughness * roughness;
  const float alpha2 = alpha * alpha;
  const float texelSolidAngle = 4.0f * kPi / (6.0f * baseSize * baseSize);
  std::vector<LobeSample> samples;
  for (int i = 0; i < sampleCount; ++i) {
    const float u1 = (i + 0.5f) / sampleCount, u2 = RadicalInverse(static_cast<uint32_t>(i));
    const float phi = 2.0f * kPi * u2;
    const float cosTheta = std::sqrt((1.0f - u1) / (1.0f + (alpha2 - 1.0f) * u1));
    const float sinTheta = std::sqrt(std::max(0.0f, 1.0f - cosTheta * cosTheta));
    const Vec3 h = {sinTheta * std::cos(phi), sinTheta * std::sin(phi), cosTheta};
    const Vec3 l = h * (2.0f * cosTheta) - Vec3{0, 0, 1};
    if (l.z <= 0.0f) continue;
    const float denominator = cosTheta * cosTheta * (alpha2 - 1.0f) + 1.0f;
    const float distribution = alpha2 / (kPi * denominator * denominator);
    const float pdf = distribution / 4.0f;  // D (n.h) / (4 v.h) with v = n
    const float sampleSolidAngle = 1.0f / (sampleCount * pdf + 1e-6f);
    const float lod = std::max(0.0f, 0.5f * std::log2(sampleSolidAngle / texelSolidAngle) + 1.0f);
    samples.push_back({l, l.z, lod});
  }
  return samples;
}

}  // namespace

Vec3 CubeFaceDirection(int face, float s, float t) {
  const float sc = 2.0f * s - 1.0f, tc = 2.0f * t - 1.0f;
  switch (face) {
    case 0: return Normalize({1, -tc, -sc});
    case 1: return Normalize({-1, -tc, sc});
    case 2: return Normalize({sc, 1, tc});
    case 3: return Normalize({sc, -1, -tc});
    case 4: return Normalize({sc, -tc, 1});
    default: return Normalize({-sc, -tc, -1});
  }
}

Vec3 SampleCube(const CubeLevel& level, Vec3 direction) {
  int face;
  float s, t;
  DirectionToFace(direction, face, s, t);
  const int n = level.size;
  const float x = std::clamp(s * n - 0.5f, 0.0f, n - 1.0f);
  const float y = std::clamp(t * n - 0.5f, 0.0f, n - 1.0f);
  const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
  const int x1 = std::min(x0 + 1, n - 1), y1 = std::min(y0 + 1, n - 1);
  const float fx = x - x0, fy = y - y0;
  const Vec3 top = Mix(level.At(face, x0, y0), level.At(face, x1, y0), fx);
  const Vec3 bottom = Mix(level.At(face, x0, y1), level.At(face, x1, y1), fx);
  return Mix(top, bottom, fy);
}

CubeLevel RenderCube(const RadianceFunction& radiance, int size, int supersample) {
  CubeLevel level;
  level.size = size;
  level.texels.resize(static_cast<size_t>(6) * size * size);
  const float weight = 1.0f / (supersample * supersample);
  ParallelForRows(6 * size, [&](int row) {
    const int face = row / size, y = row % size;
    for (int x = 0; x < size; ++x) {
      Vec3 sum;
      for (int j = 0; j < supersample; ++j) {
        for (int i = 0; i < supersample; ++i) {
          const float s = (x + (i + 0.5f) / supersample) / size;
          const float t = (y + (j + 0.5f) / supersample) / size;
          sum = sum + radiance(CubeFaceDirection(face, s, t));
        }
      }
      level.At(face, x, y) = sum * weight;
    }
  });
  return level;
}

std::vector<CubeLevel> PrefilterGGX(const CubeLevel& base, int sampleCount) {
  std::vector<CubeLevel> source = {base};
  while (source.back().size > 1) source.push_back(Downsample(source.back()));
  const int levelCount = static_cast<int>(source.size());

  std::vector<CubeLevel> filtered = {base};
  for (int k = 1; k < levelCount; ++k) {
    const float roughness = static_cast<float>(k) / (levelCount - 1);
    const std::vector<LobeSample> lobe = GGXLobe(roughness, sampleCount, base.size);
    CubeLevel level;
    level.size = source[k].size;
    level.texels.resize(source[k].texels.size());
    ParallelForRows(6 * level.size, [&](int row) {
      const int face = row / level.size, y = row % level.size;
      for (int x = 0; x < level.size; ++x) {
        const Vec3 n = CubeFaceDirection(face, (x + 0.5f) / level.size, (y + 0.5f) / level.size);
        const Vec3 up = std::fabs(n.y) < 0.999f ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
        const Vec3 tangent = Normalize(Cross(up, n));
        const Vec3 bitangent = Cross(n, tangent);
        Vec3 sum;
        float total = 0.0f;
        for (const LobeSample& sample : lobe) {
          const Vec3 l = tangent * sample.direction.x + bitangent * sample.direction.y +
                         n * sample.direction.z;
          sum = sum + SampleChain(source, l, sample.lod) * sample.weight;
          total += sample.weight;
        }
        level.At(face, x, y) = total > 0.0f ? sum * (1.0f / total) : source[k].At(face, x, y);
      }
    });
    filtered.push_back(std::move(level));
  }
  return filtered;
}

Ktx::Image ToKtxImage(const std::vector<CubeLevel>& levels) {
  Ktx::Image image;
  image.glInternalFormat = Ktx::kRGB16F;
  image.width = image.height = levels.front().size;
  image.faces = 6;
  for (const CubeLevel& level : levels) {
    std::vector<uint8_t> bytes(level.texels.size() * 6);
    for (size_t i = 0; i < level.texels.size(); ++i) {
      const Vec3& c = level.texels[i];
      const uint16_t half[3] = {FloatToHalf(c.x), FloatToHalf(c.y), FloatToHalf(c.z)};
      std::memcpy(bytes.data() + i * 6, half, 6);
    }
    image.levels.push_back(std::move(bytes));
  }
  return image;
}
