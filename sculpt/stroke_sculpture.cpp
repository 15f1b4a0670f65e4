#include "sculpt/stroke_sculpture.h"

#include <algorithm>

#include "sculpt/stamp_mode.h"
#include "sculpt/voxel_grid.h"

namespace {

// xorshift32: the same sequence on every machine, no library generator whose output may vary.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  // Uniform in [lo, hi).
  float Range(float lo, float hi) {
    return lo + (hi - lo) * float(Next() >> 8) * (1.0f / 16777216.0f);
  }

 private:
  uint32_t state_;
};

struct Tool {
  int mode;
  uint32_t mask;
};
// Add, subtract, paint and buff, about as often as a person picks them.
constexpr Tool kTools[] = {{kStampAdd, kAllChannels}, {kStampAdd, kAllChannels},
                           {kStampAdd, kAllChannels}, {kStampSubtract, 1},
                           {kStampSubtract, 1},       {kStampSet, 62},
                           {kStampSet, 62},           {kStampBuff, kAllChannels}};

SculptOp Clear(uint32_t mask) {
  SculptOp op;
  op.type = kOpClear;
  op.channelMask = mask;
  return op;
}

}  // namespace

std::vector<SculptOp> StrokeSculptureRecords(size_t count, uint32_t seed) {
  std::vector<SculptOp> ops;
  ops.reserve(count);
  if (count == 0) return ops;
  ops.push_back(Clear(kAllChannels));
  Random random(seed);
  // A few clears: starting over early on, later the colours and then the surface values.
  const size_t restart = count / 10, recolour = count / 2, resurface = count * 3 / 4;
  while (ops.size() < count) {
    const Tool tool = kTools[random.Next() % 8];
    const float radius = random.Range(3.0f, 12.0f);
    const float red = random.Range(0.0f, 1.0f), green = random.Range(0.0f, 1.0f);
    const float blue = random.Range(0.0f, 1.0f), roughness = random.Range(0.0f, 1.0f);
    const float metalness = random.Next() % 4 == 0 ? 1.0f : 0.0f;
    // A stroke lasts one to four seconds at 90 records a second; the hand moves 0.2 to 1.2
    // samples a frame and turns smoothly.
    const int length = 90 + int(random.Next() % 270);
    Vec3 p{random.Range(56.0f, 136.0f), random.Range(40.0f, 150.0f), random.Range(56.0f, 136.0f)};
    Vec3 v{random.Range(-1.0f, 1.0f), random.Range(-1.0f, 1.0f), random.Range(-1.0f, 1.0f)};
    const float speed = random.Range(0.2f, 1.2f);
    for (int i = 0; i < length && ops.size() < count; ++i) {
      const size_t at = ops.size();
      if (at == restart) ops.push_back(Clear(kAllChannels));
      if (at == recolour) ops.push_back(Clear(62));
      if (at == resurface) ops.push_back(Clear(0x30));
      if (ops.size() >= count) break;
      v = v * 0.95f + Vec3{random.Range(-0.3f, 0.3f), random.Range(-0.3f, 0.3f),
                           random.Range(-0.3f, 0.3f)};
      const float length2 = v.x * v.x + v.y * v.y + v.z * v.z;
      if (length2 > 1.0f) v = v * (1.0f / (1.0f + 0.5f * (length2 - 1.0f)));
      p = p + v * speed;
      // Keep the hand over the middle of the grid, as a person works on one piece.
      p.x = std::clamp(p.x, 32.0f, 160.0f);
      p.y = std::clamp(p.y, 16.0f, 176.0f);
      p.z = std::clamp(p.z, 32.0f, 160.0f);
      SculptOp op;
      op.type = kOpSphere;
      op.matrix = Matrix4x4::Translation(p);
      op.mode = tool.mode;
      op.radius = radius;
      op.red = red, op.green = green, op.blue = blue;
      op.roughness = roughness, op.metalness = metalness;
      op.channelMask = tool.mask;
      ops.push_back(op);
    }
  }
  return ops;
}
