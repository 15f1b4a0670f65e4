#pragma once
// A small float RGBA canvas for drawing anti-aliased shapes from signed distances, and the
// distance functions the generated images are made of. Distances are in pixels, negative inside;
// a pixel is covered by the part of a one-pixel ramp around the edge that lies inside, measured
// at its centre, which gives clean edges without supersampling.
#include <cstdint>
#include <functional>
#include <vector>

#include "base/math_types.h"

namespace Sdf {

Vec2 Sub(Vec2 a, Vec2 b);
float Length(Vec2 v);

float Circle(Vec2 p, Vec2 centre, float radius);
// Axis-aligned box with rounded corners; halfSize includes the rounding.
float Box(Vec2 p, Vec2 centre, Vec2 halfSize, float cornerRadius);
// A line from a to b with round caps of the given half width.
float Segment(Vec2 p, Vec2 a, Vec2 b, float halfWidth);
// A capsule from a (radius ra) to b (radius rb): a cone with round ends (brush tips, drops).
float TaperedSegment(Vec2 p, Vec2 a, Vec2 b, float ra, float rb);
// Any simple polygon, vertices in order.
float Polygon(Vec2 p, const std::vector<Vec2>& points);
// Approximate (exact on the axes); fine for edges a few pixels wide.
float Ellipse(Vec2 p, Vec2 centre, Vec2 radii);

inline float Union(float a, float b) { return a < b ? a : b; }
inline float Intersect(float a, float b) { return a > b ? a : b; }
inline float Subtract(float a, float b) { return a > -b ? a : -b; }
// The outline of a shape, halfWidth to either side of its edge.
float Stroke(float distance, float halfWidth);

}  // namespace Sdf

using DistanceFunction = std::function<float(Vec2 p)>;
using ColorFunction = std::function<Vec4(Vec2 p)>;  // straight (not premultiplied) RGBA

struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
};

class Canvas {
 public:
  Canvas(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }

  // Paints the shape over what is there. Work and drawing are limited to clip; p is given in
  // pixels relative to the clip's corner, y down.
  void Fill(PixelRect clip, const DistanceFunction& shape, const ColorFunction& color);
  void Fill(PixelRect clip, const DistanceFunction& shape, Vec4 color);
  // Removes what lies under the shape (for cut-outs that keep shapes apart).
  void Erase(PixelRect clip, const DistanceFunction& shape);

  // Straight-alpha RGBA8 rows. Fully transparent pixels take the colour of their nearest
  // coloured neighbours (white where there are none), so that filtering the image with straight
  // alpha does not pull dark fringes into the edges.
  std::vector<uint8_t> ToRGBA8() const;

 private:
  int width_;
  int height_;
  std::vector<Vec4> pixels_;  // premultiplied
};
