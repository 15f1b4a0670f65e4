#include "tools/texture_builder/tool_icons.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tools/texture_builder/canvas.h"
#include "ui/tool_icons.h"

namespace {

// Icons keep inside a 6-pixel margin of their 64 x 64 cell so that filtering down the mip chain
// does not mix neighbouring icons.
constexpr Vec4 kWhite = {1, 1, 1, 1};

Vec4 Grey(float level) { return {level, level, level, 1}; }

// Shapes drawn white are tinted by the panel; the shaded solids use greys so the tint still
// colours them.

void DrawCircle(Canvas& canvas, PixelRect cell) {
  canvas.Fill(cell, [](Vec2 p) { return Sdf::Circle(p, {32, 32}, 21); }, kWhite);
}

void DrawSquare(Canvas& canvas, PixelRect cell) {
  canvas.Fill(cell, [](Vec2 p) { return Sdf::Box(p, {32, 32}, {19, 19}, 4); }, kWhite);
}

void DrawMinus(Canvas& canvas, PixelRect cell) {
  canvas.Fill(cell, [](Vec2 p) { return Sdf::Box(p, {32, 32}, {21, 4.5f}, 4.5f); }, kWhite);
}

void DrawPlus(Canvas& canvas, PixelRect cell) {
  canvas.Fill(cell,
              [](Vec2 p) {
                return Sdf::Union(Sdf::Box(p, {32, 32}, {21, 4.5f}, 4.5f),
                                  Sdf::Box(p, {32, 32}, {4.5f, 21}, 4.5f));
              },
              kWhite);
}

// A blank sheet with a folded corner.
void DrawNew(Canvas& canvas, PixelRect cell) {
  const std::vector<Vec2> sheet = {{17, 9}, {37, 9}, {48, 20}, {48, 55}, {17, 55}};
  const std::vector<Vec2> fold = {{37, 9}, {37, 20}, {48, 20}};
  canvas.Fill(cell, [&](Vec2 p) { return Sdf::Stroke(Sdf::Polygon(p, sheet), 2.0f); }, kWhite);
  canvas.Fill(cell,
              [&](Vec2 p) {
                return Sdf::Union(Sdf::Polygon(p, fold) - 1.0f,
                                  Sdf::Stroke(Sdf::Polygon(p, fold), 1.0f));
              },
              kWhite);
}

// A solid shape and its outlined reflection across a dashed axis.
void DrawMirror(Canvas& canvas, PixelRect cell) {
  const std::vector<Vec2> left = {{27, 15}, {27, 49}, {8, 49}};
  const std::vector<Vec2> right = {{37, 15}, {37, 49}, {56, 49}};
  canvas.Fill(cell, [&](Vec2 p) { return Sdf::Polygon(p, left) - 1.0f; }, kWhite);
  canvas.Fill(cell, [&](Vec2 p) { return Sdf::Stroke(Sdf::Polygon(p, right), 1.8f); }, kWhite);
  canvas.Fill(cell,
              [](Vec2 p) {
                float d = 1e9f;
                for (float y = 8; y < 58; y += 10) {
                  d = Sdf::Union(d, Sdf::Segment(p, {32, y}, {32, y + 5}, 1.5f));
                }
                return d;
              },
              kWhite);
}

// Maps a point into the frame of a diagonal tool running from tip to end: x along, y across.
Vec2 AlongAxis(Vec2 p, Vec2 tip, Vec2 end) {
  const Vec2 axis = Sdf::Sub(end, tip);
  const float length = Sdf::Length(axis);
  const Vec2 dir = {axis.x / length, axis.y / length};
  const Vec2 q = Sdf::Sub(p, tip);
  return {q.x * dir.x + q.y * dir.y, q.y * dir.x - q.x * dir.y};
}

// A round brush: pointed bristles, a metal ferrule, a tapering handle.
void DrawPaint(Canvas& canvas, PixelRect cell) {
  const Vec2 tip = {10, 54}, end = {54, 10};
  auto bristles = [=](Vec2 p) {
    const Vec2 q = AlongAxis(p, tip, end);
    return Sdf::TaperedSegment(q, {1.5f, 0}, {15, 0}, 1.2f, 6.5f);
  };
  auto ferrule = [=](Vec2 p) {
    const Vec2 q = AlongAxis(p, tip, end);
    return Sdf::Box(q, {25, 0}, {4.5f, 6.0f}, 1.5f);
  };
  auto handle = [=](Vec2 p) {
    const Vec2 q = AlongAxis(p, tip, end);
    return Sdf::TaperedSegment(q, {33, 0}, {58, 0}, 4.2f, 3.0f);
  };
  canvas.Fill(cell, bristles, kWhite);
  canvas.Fill(cell, ferrule, Grey(0.8f));
  canvas.Fill(cell, handle, kWhite);
  // Ridges pressed into the ferrule.
  canvas.Erase(cell, [=](Vec2 p) {
    const Vec2 q = AlongAxis(p, tip, end);
    return Sdf::Intersect(std::fabs(q.x - 25) - 0.7f, std::fabs(q.y) - 4.5f);
  });
}

// An eyedropper: a glass tube holding a little colour, a collar and a rubber bulb.
void DrawDropper(Canvas& canvas, PixelRect cell) {
  const Vec2 tip = {9, 55}, end = {55, 9};
  auto tube = [=](Vec2 p) {
    const Vec2 q = AlongAxis(p, tip, end);
    return Sdf::TaperedSegment(q, {2, 0}, {31, 0}, 1.4f, 5.0f);
  };
  canvas.Fill(cell, [=](Vec2 p) { return Sdf::Stroke(tube(p), 1.3f); }, kWhite);
  canvas.Fill(cell,
              [=](Vec2 p) {
                const Vec2 q = AlongAxis(p, tip, end);
                return Sdf::Intersect(tube(p) + 2.2f, q.x - 17);
              },
              kWhite);
  canvas.Fill(cell,
              [=](Vec2 p) {
                const Vec2 q = AlongAxis(p, tip, end);
                return Sdf::Box(q, {34, 0}, {2.5f, 9}, 1.5f);
              },
              kWhite);
  canvas.Fill(cell,
              [=](Vec2 p) {
                const Vec2 q = AlongAxis(p, tip, end);
                return Sdf::TaperedSegment(q, {41, 0}, {56, 0}, 5.5f, 7.0f);
              },
              kWhite);
}

// A long track with ticks; the panel tints it grey and draws the knob itself. It spans nearly the
// whole width because the knob's position is measured across the whole rectangle.
void DrawSlider(Canvas& canvas, PixelRect cell) {
  canvas.Fill(cell, [](Vec2 p) { return Sdf::Box(p, {128, 32}, {123, 5}, 5); }, kWhite);
  canvas.Fill(cell,
              [](Vec2 p) {
                float d = 1e9f;
                for (int i = 0; i <= 10; ++i) {
                  const float x = 10 + i * 23.6f;
                  const float half = (i % 5 == 0) ? 5.0f : 3.0f;
                  d = Sdf::Union(d, Sdf::Segment(p, {x, 44}, {x, 44 + half * 2}, 1.1f));
                }
                return d;
              },
              Vec4{1, 1, 1, 0.7f});
}

// An isometric cube with a light top, a mid-grey left and a darker right face.
void DrawBox(Canvas& canvas, PixelRect cell) {
  const Vec2 top = {32, 7}, upperRight = {54, 19.5f}, lowerRight = {54, 44.5f};
  const Vec2 bottom = {32, 57}, lowerLeft = {10, 44.5f}, upperLeft = {10, 19.5f};
  const Vec2 centre = {32, 32};
  const std::vector<Vec2> topFace = {top, upperRight, centre, upperLeft};
  const std::vector<Vec2> leftFace = {upperLeft, centre, bottom, lowerLeft};
  const std::vector<Vec2> rightFace = {centre, upperRight, lowerRight, bottom};
  // Each face is inset by a pixel, leaving clean seams between them.
  canvas.Fill(cell, [&](Vec2 p) { return Sdf::Polygon(p, topFace) + 0.9f; }, kWhite);
  canvas.Fill(cell, [&](Vec2 p) { return Sdf::Polygon(p, leftFace) + 0.9f; }, Grey(0.72f));
  canvas.Fill(cell, [&](Vec2 p) { return Sdf::Polygon(p, rightFace) + 0.9f; }, Grey(0.5f));
}

// A cylinder lit from the left with its top face separated by a thin seam.
void DrawCylinder(Canvas& canvas, PixelRect cell) {
  const float top = 17, bottom = 47, rx = 18, ry = 6.5f;
  auto body = [=](Vec2 p) {
    return Sdf::Union(Sdf::Box(p, {32, (top + bottom) / 2}, {rx, (bottom - top) / 2}, 0),
                      Sdf::Ellipse(p, {32, bottom}, {rx, ry}));
  };
  canvas.Fill(cell, body, [=](Vec2 p) {
    const float s = std::clamp((p.x - 32) / rx, -1.0f, 1.0f);
    // Lambert shading of the round side for light from the front left.
    const float nx = s, nz = std::sqrt(1 - s * s);
    const float lambert = std::max(0.0f, -0.55f * nx + 0.83f * nz);
    return Grey(0.32f + 0.6f * lambert);
  });
  canvas.Erase(cell, [=](Vec2 p) { return Sdf::Ellipse(p, {32, top}, {rx + 1.2f, ry + 1.2f}); });
  canvas.Fill(cell, [=](Vec2 p) { return Sdf::Ellipse(p, {32, top}, {rx - 0.8f, ry - 0.8f}); },
              kWhite);
}

// A sphere lit from the upper left with a soft highlight.
void DrawSphere(Canvas& canvas, PixelRect cell) {
  const Vec2 centre = {32, 32};
  const float radius = 23;
  canvas.Fill(cell, [=](Vec2 p) { return Sdf::Circle(p, centre, radius); }, [=](Vec2 p) {
    const float nx = std::clamp((p.x - centre.x) / radius, -1.0f, 1.0f);
    const float ny = std::clamp((p.y - centre.y) / radius, -1.0f, 1.0f);
    const float nz = std::sqrt(std::max(0.0f, 1 - nx * nx - ny * ny));
    const float lx = -0.48f, ly = -0.56f, lz = 0.675f;  // towards the light, y down
    const float lambert = std::max(0.0f, nx * lx + ny * ly + nz * lz);
    // Blinn-Phong highlight with the viewer straight ahead.
    const float hx = lx, hy = ly, hz = lz + 1, hl = std::sqrt(hx * hx + hy * hy + hz * hz);
    const float specular = std::pow(std::max(0.0f, (nx * hx + ny * hy + nz * hz) / hl), 40.0f);
    const float level = std::min(1.0f, 0.22f + 0.68f * lambert + 0.5f * specular);
    return Grey(level);
  });
}

// An open folder with an arrow going into it.
void DrawLoad(Canvas& canvas, PixelRect cell) {
  auto back = [](Vec2 p) {
    return Sdf::Union(Sdf::Box(p, {32, 38}, {23, 16}, 3), Sdf::Box(p, {19, 21}, {10, 5}, 3));
  };
  // The front flap leans forward, so the folder reads as open.
  const std::vector<Vec2> flap = {{14, 33}, {58, 33}, {52, 54}, {8, 54}};
  auto front = [&](Vec2 p) { return Sdf::Polygon(p, flap) - 1.0f; };
  auto arrow = [](Vec2 p) {
    const std::vector<Vec2> head = {{22, 27}, {42, 27}, {32, 39}};
    return Sdf::Union(Sdf::Segment(p, {32, 5}, {32, 30}, 3.2f), Sdf::Polygon(p, head) - 1.0f);
  };
  canvas.Fill(cell, back, Grey(0.7f));
  canvas.Erase(cell, [&](Vec2 p) { return front(p) - 2.0f; });
  canvas.Fill(cell, front, kWhite);
  canvas.Erase(cell, [&](Vec2 p) { return arrow(p) - 3.0f; });
  canvas.Fill(cell, arrow, kWhite);
}

// A floppy disk: shutter at the top, label at the bottom.
void DrawSave(Canvas& canvas, PixelRect cell) {
  const std::vector<Vec2> body = {{11, 11}, {45, 11}, {53, 19}, {53, 53}, {11, 53}};
  canvas.Fill(cell, [&](Vec2 p) { return Sdf::Polygon(p, body) - 2.0f; }, kWhite);
  canvas.Erase(cell, [](Vec2 p) { return Sdf::Box(p, {31, 17.5f}, {12, 8.5f}, 1.5f); });
  canvas.Fill(cell, [](Vec2 p) { return Sdf::Box(p, {36, 17.5f}, {3.5f, 5.5f}, 1); }, kWhite);
  canvas.Erase(cell, [](Vec2 p) { return Sdf::Box(p, {32, 43}, {15, 10}, 2); });
  canvas.Fill(cell,
              [](Vec2 p) {
                return Sdf::Union(Sdf::Segment(p, {22, 40}, {42, 40}, 1.1f),
                                  Sdf::Segment(p, {22, 46}, {36, 46}, 1.1f));
              },
              Vec4{1, 1, 1, 0.85f});
}

// The sun: a disc and eight rays.
void DrawDay(Canvas& canvas, PixelRect cell) {
  canvas.Fill(cell,
              [](Vec2 p) {
                float d = Sdf::Circle(p, {32, 32}, 11);
                for (int i = 0; i < 8; ++i) {
                  const float angle = i * std::numbers::pi_v<float> / 4;
                  const float c = std::cos(angle), s = std::sin(angle);
                  d = Sdf::Union(d, Sdf::Segment(p, {32 + 17 * c, 32 + 17 * s},
                                                 {32 + 23 * c, 32 + 23 * s}, 2.6f));
                }
                return d;
              },
              kWhite);
}

float Sparkle(Vec2 p, Vec2 centre, float size) {
  std::vector<Vec2> points;
  for (int i = 0; i < 8; ++i) {
    const float angle = i * std::numbers::pi_v<float> / 4;
    const float r = (i % 2 == 0) ? size : size * 0.3f;
    points.push_back({centre.x + r * std::cos(angle), centre.y + r * std::sin(angle)});
  }
  return Sdf::Polygon(p, points);
}

// A crescent moon with two small stars.
void DrawNight(Canvas& canvas, PixelRect cell) {
  canvas.Fill(cell,
              [](Vec2 p) {
                return Sdf::Subtract(Sdf::Circle(p, {29, 35}, 21), Sdf::Circle(p, {40, 26}, 17));
              },
              kWhite);
  canvas.Fill(cell,
              [](Vec2 p) {
                return Sdf::Union(Sparkle(p, {47, 15}, 7.5f), Sparkle(p, {54, 33}, 4.5f));
              },
              kWhite);
}

void DrawIcon(Canvas& canvas, const char* name, void (*draw)(Canvas&, PixelRect)) {
  for (const IconRect& icon : kToolIcons) {
    if (icon.name == name) {
      draw(canvas, {int(icon.x), int(icon.y), int(icon.w), int(icon.h)});
      return;
    }
  }
}

}  // namespace

std::vector<uint8_t> DrawToolIconAtlas() {
  Canvas canvas(kIconAtlasWidth, kIconAtlasHeight);
  DrawIcon(canvas, "circle", DrawCircle);
  DrawIcon(canvas, "square", DrawSquare);
  DrawIcon(canvas, "minus", DrawMinus);
  DrawIcon(canvas, "plus", DrawPlus);
  DrawIcon(canvas, "new", DrawNew);
  DrawIcon(canvas, "mirror", DrawMirror);
  DrawIcon(canvas, "paint", DrawPaint);
  DrawIcon(canvas, "dropper", DrawDropper);
  DrawIcon(canvas, "slider", DrawSlider);
  DrawIcon(canvas, "box", DrawBox);
  DrawIcon(canvas, "cylinder", DrawCylinder);
  DrawIcon(canvas, "sphere", DrawSphere);
  DrawIcon(canvas, "load", DrawLoad);
  DrawIcon(canvas, "save", DrawSave);
  DrawIcon(canvas, "day", DrawDay);
  DrawIcon(canvas, "night", DrawNight);
  const PixelRect white = {kWhiteCellX, kWhiteCellY, kWhiteCellSize, kWhiteCellSize};
  canvas.Fill(white, [](Vec2) { return -1.0f; }, kWhite);
  return canvas.ToRGBA8();
}
