#include "tools/texture_builder/sky_models.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

Vec3 Normalize(Vec3 v) { return v * (1.0f / Length(v)); }
Vec3 Mix(Vec3 a, Vec3 b, float t) { return a + (b - a) * t; }

float SmoothStep(float edge0, float edge1, float x) {
  const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
  return t * t * (3.0f - 2.0f * t);
}

uint32_t Hash(int32_t x, int32_t y, int32_t z, uint32_t seed) {
  uint32_t h = seed ^ 0x9E3779B9u;
  h ^= static_cast<uint32_t>(x) * 0x85EBCA6Bu;
  h = (h << 13) | (h >> 19);
  h ^= static_cast<uint32_t>(y) * 0xC2B2AE35u;
  h = (h << 13) | (h >> 19);
  h ^= static_cast<uint32_t>(z) * 0x27D4EB2Fu;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}

float HashUnit(int32_t x, int32_t y, int32_t z, uint32_t seed) {
  return (Hash(x, y, z, seed) >> 8) * (1.0f / 16777216.0f);
}

// Value noise in [0, 1] with smooth interpolation between lattice values.
float ValueNoise(Vec3 p, uint32_t seed) {
  const float fx = std::floor(p.x), fy = std::floor(p.y), fz = std::floor(p.z);
  const int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy),
                iz = static_cast<int32_t>(fz);
  auto fade = [](float t) { return t * t * (3.0f - 2.0f * t); };
  const float tx = fade(p.x - fx), ty = fade(p.y - fy), tz = fade(p.z - fz);
  float corners[2][2][2];
  for (int k = 0; k < 2; ++k)
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < 2; ++i) corners[k][j][i] = HashUnit(ix + i, iy + j, iz + k, seed);
  auto lerp = [](float a, float b, float t) { return a + (b - a) * t; };
  const float y0 = lerp(lerp(corners[0][0][0], corners[0][0][1], tx),
                        lerp(corners[0][1][0], corners[0][1][1], tx), ty);
  const float y1 = lerp(lerp(corners[1][0][0], corners[1][0][1], tx),
                        lerp(corners[1][1][0], corners[1][1][1], tx), ty);
  return lerp(y0, y1, tz);
}

// Fractal sum of octaves, normalised to [0, 1].
float Fbm(Vec3 p, int octaves, uint32_t seed) {
  float sum = 0.0f, amplitude = 0.5f, total = 0.0f;
  for (int i = 0; i < octaves; ++i) {
    sum += amplitude * ValueNoise(p, seed + static_cast<uint32_t>(i) * 101u);
    total += amplitude;
    amplitude *= 0.5f;
    p = p * 2.03f;
  }
  return sum / total;
}

// ---------------------------------------------------------------- night

// Stars live in the cells of a 3D lattice that straddle a sphere of kStarShell cells radius;
// a cell holds a star only if its random point lies within half a cell of the sphere, which
// spreads stars evenly over directions. Each star is a small Gaussian about half a texel wide at
// the base cube size of 256, so that it survives filtering as a point rather than a pixel.
constexpr float kStarShell = 64.0f;
constexpr float kStarChance = 0.14f;
constexpr float kStarSigma = 0.0032f;  // radians

Vec3 Stars(Vec3 d) {
  const Vec3 p = d * kStarShell;
  const int32_t cx = static_cast<int32_t>(std::floor(p.x)), cy = static_cast<int32_t>(std::floor(p.y)),
                cz = static_cast<int32_t>(std::floor(p.z));
  Vec3 light;
  for (int32_t z = cz - 1; z <= cz + 1; ++z) {
    for (int32_t y = cy - 1; y <= cy + 1; ++y) {
      for (int32_t x = cx - 1; x <= cx + 1; ++x) {
        if (HashUnit(x, y, z, 11) >= kStarChance) continue;
        const Vec3 point = {x + HashUnit(x, y, z, 12), y + HashUnit(x, y, z, 13),
                            z + HashUnit(x, y, z, 14)};
        const float radius = Length(point);
        if (std::fabs(radius - kStarShell) > 0.5f) continue;
        const Vec3 star = point * (1.0f / radius);
        const Vec3 offset = d - star;
        const float distance2 = Dot(offset, offset);
        if (distance2 > 16.0f * kStarSigma * kStarSigma) continue;
        // Many faint stars, few bright ones.
        const float magnitude = HashUnit(x, y, z, 15);
        const float brightness = 0.02f + 0.35f * std::pow(magnitude, 5.0f) +
                                 5.0f * std::pow(magnitude, 40.0f);
        const float temperature = HashUnit(x, y, z, 16);
        const Vec3 tint = temperature < 0.5f
                              ? Mix(Vec3{1.0f, 0.72f, 0.5f}, Vec3{1.0f, 0.97f, 0.92f}, temperature * 2)
                              : Mix(Vec3{1.0f, 0.97f, 0.92f}, Vec3{0.72f, 0.82f, 1.0f},
                                    temperature * 2 - 1);
        const float profile = std::exp(-distance2 / (2.0f * kStarSigma * kStarSigma));
        light = light + tint * (brightness * profile);
      }
    }
  }
  return light;
}

const Vec3 kMoonDirection = Normalize({-0.55f, 0.42f, -0.72f});
constexpr float kMoonRadius = 0.03f;  // radians, about three times the real moon

Vec3 Moon(Vec3 d) {
  const float cosAngle = std::clamp(Dot(d, kMoonDirection), -1.0f, 1.0f);
  const float angle = std::acos(cosAngle);
  // Halo: a tight glow and a wide, faint one scattered by the air.
  Vec3 light = Vec3{0.05f, 0.06f, 0.085f} * std::exp(-angle / 0.06f) +
               Vec3{0.012f, 0.016f, 0.028f} * std::exp(-angle / 0.45f);
  if (angle < kMoonRadius + 0.004f) {
    const float disc = 1.0f - SmoothStep(kMoonRadius - 0.0015f, kMoonRadius + 0.0015f, angle);
    // Maria: darker patches from noise over the disc.
    const float maria = Fbm(d * 90.0f, 4, 21);
    const float shade = 0.7f + 0.3f * SmoothStep(0.35f, 0.6f, maria);
    const float limb = 0.85f + 0.15f * std::sqrt(std::max(0.0f, 1.0f - (angle / kMoonRadius) *
                                                                         (angle / kMoonRadius)));
    light = light + Vec3{2.2f, 2.15f, 2.0f} * (disc * shade * limb);
  }
  return light;
}

Vec3 MilkyWay(Vec3 d) {
  const Vec3 axis = Normalize({0.3f, 0.55f, 0.78f});  // normal of the band's great circle
  const float across = Dot(d, axis);
  const float band = std::exp(-across * across / (2.0f * 0.16f * 0.16f));
  if (band < 1e-3f) return {};
  const float clouds = Fbm(d * 5.0f, 5, 31);
  // A dark dust lane runs along the middle, broken up by the same kind of noise.
  const float lane = std::exp(-across * across / (2.0f * 0.03f * 0.03f)) *
                     SmoothStep(0.4f, 0.65f, Fbm(d * 9.0f, 4, 37));
  const float glow = band * SmoothStep(0.25f, 0.8f, clouds) * (1.0f - 0.75f * lane);
  return Vec3{0.05f, 0.052f, 0.066f} * glow;
}

// ---------------------------------------------------------------- day

const Vec3 kSunDirection = Normalize({1, 1, 1});
constexpr float kSunRadius = 0.02f;  // radians

// Height of the mountain ridge above the horizon (as the sine of the elevation) by azimuth.
// Noise is read on a circle so the ridge closes on itself all the way round.
float RidgeHeight(Vec3 d) {
  const float horizontal = std::sqrt(d.x * d.x + d.z * d.z);
  if (horizontal < 1e-6f) return 0.0f;
  const Vec3 ring = {d.x / horizontal * 2.6f, 0.0f, d.z / horizontal * 2.6f};
  float ridged = 0.0f, amplitude = 0.55f;
  Vec3 p = ring;
  for (int i = 0; i < 5; ++i) {
    const float n = ValueNoise(p, 51 + i);
    ridged += amplitude * (1.0f - std::fabs(2.0f * n - 1.0f));  // sharp crests
    amplitude *= 0.5f;
    p = p * 2.1f;
  }
  // Ranges rise and fall around the horizon.
  const float range = SmoothStep(0.3f, 0.7f, ValueNoise(ring * 0.7f, 61));
  return 0.006f + range * 0.16f * std::pow(ridged, 2.2f) + 0.014f * ridged;
}

Vec3 SkyGradient(float elevation) {
  const Vec3 zenith = {0.13f, 0.3f, 0.75f};
  const Vec3 horizon = {0.72f, 0.82f, 0.95f};
  return Mix(horizon, zenith, std::pow(std::max(elevation, 0.0f), 0.45f));
}

Vec3 SunLight(Vec3 d) {
  const float cosAngle = Dot(d, kSunDirection);
  const float c = std::max(cosAngle, 0.0f);
  Vec3 light = Vec3{1.0f, 0.86f, 0.65f} * (0.18f * std::pow(c, 10.0f) + 0.9f * std::pow(c, 500.0f));
  const float angle = std::acos(std::clamp(cosAngle, -1.0f, 1.0f));
  const float disc = 1.0f - SmoothStep(kSunRadius - 0.002f, kSunRadius + 0.002f, angle);
  return light + Vec3{1.0f, 0.96f, 0.88f} * (80.0f * disc);
}

// Soft fair-weather clouds on a plane overhead; zero near the horizon where they would smear.
float CloudCover(Vec3 d) {
  if (d.y <= 0.02f) return 0.0f;
  const float scale = 1.0f / (d.y + 0.12f);
  const Vec3 q = {d.x * scale * 1.6f, 0.0f, d.z * scale * 1.6f};
  const float density = Fbm(q + Vec3{3.1f, 0.0f, 7.4f}, 6, 71);
  return SmoothStep(0.52f, 0.74f, density) * SmoothStep(0.02f, 0.25f, d.y);
}

}  // namespace

Vec3 NightSkyRadiance(Vec3 d) {
  const float elevation = d.y;
  const Vec3 zenith = {0.0035f, 0.006f, 0.02f};
  const Vec3 horizonGlow = {0.028f, 0.04f, 0.075f};
  Vec3 sky = Mix(zenith, horizonGlow, std::exp(-std::max(elevation, 0.0f) * 5.0f));
  // Stars and the Milky Way fade into the haze near the horizon.
  const float clarity = SmoothStep(-0.01f, 0.25f, elevation);
  sky = sky + (Stars(d) + MilkyWay(d)) * clarity + Moon(d);

  // Faintly moonlit ground, lightening into haze towards the horizon.
  const Vec3 ground = Mix(Vec3{0.004f, 0.006f, 0.009f}, horizonGlow * 0.6f,
                          std::exp(std::min(elevation, 0.0f) * 30.0f));
  return Mix(ground, sky, SmoothStep(-0.006f, 0.006f, elevation));
}

Vec3 DaySkyRadiance(Vec3 d) {
  const float elevation = d.y;
  Vec3 sky = SkyGradient(elevation);
  // Clouds: bright where the sun shines through them, greyer underneath.
  const float cover = CloudCover(d);
  if (cover > 0.0f) {
    const float towardsSun = std::max(0.0f, Dot(d, kSunDirection));
    const Vec3 cloud = Vec3{0.95f, 0.96f, 1.0f} * (0.85f + 0.5f * std::pow(towardsSun, 8.0f));
    sky = Mix(sky, cloud, cover * 0.9f);
  }
  sky = sky + SunLight(d);

  const Vec3 haze = {0.7f, 0.78f, 0.88f};
  const float ridge = RidgeHeight(d);
  if (elevation >= 0.0f && elevation < ridge) {
    // Distant rock in blue haze, snow on the upper part of the higher peaks.
    const float heightOnRidge = elevation / ridge;
    const float snowLine = 0.55f + 0.3f * Fbm(d * 40.0f, 3, 81);
    const float snow = SmoothStep(snowLine - 0.08f, snowLine + 0.08f, heightOnRidge) *
                       SmoothStep(0.04f, 0.08f, ridge);
    const Vec3 rock = {0.3f, 0.36f, 0.46f};
    const Vec3 surface = Mix(rock, Vec3{0.93f, 0.95f, 1.0f}, snow);
    // Anti-aliasing of the ridge line comes from supersampling; a little haze softens it more.
    const float edge = SmoothStep(0.0f, 0.002f, ridge - elevation);
    const Vec3 mountain = Mix(haze, surface, 0.6f + 0.25f * heightOnRidge);
    sky = Mix(sky, mountain, edge);
  }

  // Meadows, hazy at the horizon and greener closer in.
  const float depth = std::max(-elevation, 0.0f);
  Vec3 grass = Mix(Vec3{0.2f, 0.3f, 0.1f}, Vec3{0.1f, 0.17f, 0.05f}, SmoothStep(0.0f, 0.6f, depth));
  if (depth > 0.0f) {
    // Patches of meadow and field on the ground plane, shrinking with distance.
    const float scale = 1.0f / (depth + 0.05f);
    const float fields = Fbm(Vec3{d.x * scale * 0.8f, 5.0f, d.z * scale * 0.8f}, 4, 91);
    grass = grass * (0.8f + 0.4f * fields);
  }
  const Vec3 ground = Mix(grass, haze, std::exp(-depth * 18.0f) * 0.8f);
  return Mix(ground, sky, SmoothStep(-0.004f, 0.004f, elevation));
}
