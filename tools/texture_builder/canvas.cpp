#include "tools/texture_builder/canvas.h"

#include <algorithm>
#include <cmath>

namespace Sdf {

Vec2 Sub(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
float Length(Vec2 v) { return std::sqrt(v.x * v.x + v.y * v.y); }

namespace {
float Dot2(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
}  // namespace

float Circle(Vec2 p, Vec2 centre, float radius) { return Length(Sub(p, centre)) - radius; }

float Box(Vec2 p, Vec2 centre, Vec2 halfSize, float cornerRadius) {
  const float qx = std::fabs(p.x - centre.x) - halfSize.x + cornerRadius;
  const float qy = std::fabs(p.y - centre.y) - halfSize.y + cornerRadius;
  const float outside = Length({std::max(qx, 0.0f), std::max(qy, 0.0f)});
  return outside + std::min(std::max(qx, qy), 0.0f) - cornerRadius;
}

float Segment(Vec2 p, Vec2 a, Vec2 b, float halfWidth) {
  const Vec2 pa = Sub(p, a), ba = Sub(b, a);
  const float h = std::clamp(Dot2(pa, ba) / Dot2(ba, ba), 0.0f, 1.0f);
  return Length({pa.x - ba.x * h, pa.y - ba.y * h}) - halfWidth;
}

float TaperedSegment(Vec2 p, Vec2 a, Vec2 b, float ra, float rb) {
  // In the frame of the axis: u along it from a, v across it (the shape is symmetric).
  const Vec2 axis = Sub(b, a);
  const float length = Length(axis);
  const Vec2 dir = {axis.x / length, axis.y / length};
  const Vec2 pa = Sub(p, a);
  const float u = Dot2(pa, dir);
  const float v = std::fabs(pa.x * dir.y - pa.y * dir.x);
  // The cone's side touches both end circles; its normal is tilted by the radius difference.
  const float sinTilt = (ra - rb) / length;
  const float cosTilt = std::sqrt(std::max(0.0f, 1.0f - sinTilt * sinTilt));
  const float k = u * cosTilt - v * sinTilt;
  if (k < 0.0f) return Length({u, v}) - ra;
  if (k > cosTilt * length) return Length({u - length, v}) - rb;
  return v * cosTilt + u * sinTilt - ra;
}

float Polygon(Vec2 p, const std::vector<Vec2>& points) {
  const size_t n = points.size();
  float distanceSquared = Dot2(Sub(p, points[0]), Sub(p, points[0]));
  float sign = 1.0f;
  for (size_t i = 0, j = n - 1; i < n; j = i, ++i) {
    const Vec2 e = Sub(points[j], points[i]);
    const Vec2 w = Sub(p, points[i]);
    const float h = std::clamp(Dot2(w, e) / Dot2(e, e), 0.0f, 1.0f);
    const Vec2 b = {w.x - e.x * h, w.y - e.y * h};
    distanceSquared = std::min(distanceSquared, Dot2(b, b));
    // Crossing count for inside / outside.
    const bool c1 = p.y >= points[i].y, c2 = p.y < points[j].y, c3 = e.x * w.y > e.y * w.x;
    if ((c1 && c2 && c3) || (!c1 && !c2 && !c3)) sign = -sign;
  }
  return sign * std::sqrt(distanceSquared);
}

float Ellipse(Vec2 p, Vec2 centre, Vec2 radii) {
  const Vec2 q = {(p.x - centre.x) / radii.x, (p.y - centre.y) / radii.y};
  const float k = Length(q);
  if (k == 0.0f) return -std::min(radii.x, radii.y);
  // First-order distance: the implicit value divided by its gradient length.
  const Vec2 gradient = {q.x / (k * radii.x), q.y / (k * radii.y)};
  return (k - 1.0f) / Length(gradient);
}

float Stroke(float distance, float halfWidth) { return std::fabs(distance) - halfWidth; }

}  // namespace Sdf

Canvas::Canvas(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height) {}

void Canvas::Fill(PixelRect clip, const DistanceFunction& shape, const ColorFunction& color) {
  for (int y = std::max(clip.y, 0); y < std::min(clip.y + clip.height, height_); ++y) {
    for (int x = std::max(clip.x, 0); x < std::min(clip.x + clip.width, width_); ++x) {
      const Vec2 p = {x - clip.x + 0.5f, y - clip.y + 0.5f};
      const float coverage = std::clamp(0.5f - shape(p), 0.0f, 1.0f);
      if (coverage <= 0.0f) continue;
      const Vec4 c = color(p);
      const float a = c.w * coverage;
      Vec4& d = pixels_[static_cast<size_t>(y) * width_ + x];
      d = {c.x * a + d.x * (1 - a), c.y * a + d.y * (1 - a), c.z * a + d.z * (1 - a),
           a + d.w * (1 - a)};
    }
  }
}

void Canvas::Fill(PixelRect clip, const DistanceFunction& shape, Vec4 color) {
  Fill(clip, shape, [color](Vec2) { return color; });
}

void Canvas::Erase(PixelRect clip, const DistanceFunction& shape) {
  for (int y = std::max(clip.y, 0); y < std::min(clip.y + clip.height, height_); ++y) {
    for (int x = std::max(clip.x, 0); x < std::min(clip.x + clip.width, width_); ++x) {
      const Vec2 p = {x - clip.x + 0.5f, y - clip.y + 0.5f};
      const float keep = 1.0f - std::clamp(0.5f - shape(p), 0.0f, 1.0f);
      Vec4& d = pixels_[static_cast<size_t>(y) * width_ + x];
      d = {d.x * keep, d.y * keep, d.z * keep, d.w * keep};
    }
  }
}

std::vector<uint8_t> Canvas::ToRGBA8() const {
  const size_t count = pixels_.size();
  std::vector<Vec4> straight(count);
  std::vector<uint8_t> coloured(count, 0);
  for (size_t i = 0; i < count; ++i) {
    const Vec4& p = pixels_[i];
    if (p.w > 1.0f / 512.0f) {
      straight[i] = {p.x / p.w, p.y / p.w, p.z / p.w, p.w};
      coloured[i] = 1;
    } else {
      straight[i] = {1, 1, 1, 0};
    }
  }
  // A few rings of colour around every shape are all that filtering down the mip chain reaches
  // in practice.
  for (int pass = 0; pass < 8; ++pass) {
    std::vector<uint8_t> next = coloured;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        const size_t i = static_cast<size_t>(y) * width_ + x;
        if (coloured[i]) continue;
        float r = 0, g = 0, b = 0;
        int n = 0;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= width_ || ny >= height_) continue;
            const size_t j = static_cast<size_t>(ny) * width_ + nx;
            if (!coloured[j]) continue;
            r += straight[j].x;
            g += straight[j].y;
            b += straight[j].z;
            ++n;
          }
        }
        if (n > 0) {
          straight[i] = {r / n, g / n, b / n, straight[i].w};
          next[i] = 1;
        }
      }
    }
    coloured.swap(next);
  }
  std::vector<uint8_t> out(count * 4);
  for (size_t i = 0; i < count; ++i) {
    const Vec4& s = straight[i];
    const float channels[4] = {s.x, s.y, s.z, s.w};
    for (int c = 0; c < 4; ++c) {
      out[i * 4 + c] = static_cast<uint8_t>(std::lround(std::clamp(channels[c], 0.0f, 1.0f) * 255));
    }
  }
  return out;
}
