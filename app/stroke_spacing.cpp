#include "app/stroke_spacing.h"

#include <cmath>

void StrokeSpacing::Stamp(const SculptOp& op, std::vector<SculptOp>* out) {
  if (stroking_) {
    const float dx = op.matrix.m[12] - last_.matrix.m[12];
    const float dy = op.matrix.m[13] - last_.matrix.m[13];
    const float dz = op.matrix.m[14] - last_.matrix.m[14];
    const float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    const float spacing = op.radius / 3.0f;
    if (spacing > 0.0f && distance > spacing && std::isfinite(distance)) {
      const float steps = std::ceil(distance / spacing);
      if (steps - 1.0f <= float(kMaxAdded)) {
        const int count = int(steps);
        for (int i = 1; i < count; ++i) {
          const float t = float(i) / float(count);
          SculptOp between = op;
          between.matrix.m[12] = last_.matrix.m[12] + dx * t;
          between.matrix.m[13] = last_.matrix.m[13] + dy * t;
          between.matrix.m[14] = last_.matrix.m[14] + dz * t;
          out->push_back(between);
        }
      }
    }
  }
  out->push_back(op);
  last_ = op;
  stroking_ = true;
}
