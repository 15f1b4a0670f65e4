#include "vr/simulated/sim_render_models.h"

#include <algorithm>
#include <cmath>

#include "sim_headset/sim_devices.h"
#include "vr/simulated/sim_mesh_builder.h"

namespace vr::sim {
namespace {

constexpr int kTextureSize = 256;
// Each texture is split into four quadrants of flat colour; the inset keeps bilinear filtering
// from mixing neighbouring quadrants.
constexpr float kInset = 4.0f / kTextureSize;
constexpr UvRect Quadrant(int column, int row) {
  return {0.5f * float(column) + kInset, 0.5f * float(row) + kInset,
          0.5f * float(column + 1) - kInset, 0.5f * float(row + 1) - kInset};
}

struct Rgb {
  uint8_t r, g, b;
};

class Canvas {
 public:
  explicit Canvas(TextureID_t id) {
    texture_.id = id;
    texture_.width = texture_.height = kTextureSize;
    texture_.rgba.assign(size_t(kTextureSize) * kTextureSize * 4, 255);
  }

  void Fill(int x0, int y0, int x1, int y1, Rgb colour) {
    for (int y = std::max(y0, 0); y < std::min(y1, kTextureSize); ++y) {
      for (int x = std::max(x0, 0); x < std::min(x1, kTextureSize); ++x) {
        Set(x, y, colour);
      }
    }
  }

  // Pixels whose centre lies within inner..outer of (cx, cy).
  void Ring(float cx, float cy, float inner, float outer, Rgb colour) {
    for (int y = 0; y < kTextureSize; ++y) {
      for (int x = 0; x < kTextureSize; ++x) {
        const float d = std::hypot(float(x) + 0.5f - cx, float(y) + 0.5f - cy);
        if (d >= inner && d <= outer) {
          Set(x, y, colour);
        }
      }
    }
  }

  GeneratedTexture Take() { return std::move(texture_); }

 private:
  void Set(int x, int y, Rgb c) {
    uint8_t* p = &texture_.rgba[(size_t(y) * kTextureSize + size_t(x)) * 4];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = 255;
  }
  GeneratedTexture texture_;
};

constexpr int kHalf = kTextureSize / 2;

// Controller quadrants.
constexpr UvRect kBody = Quadrant(0, 0);
constexpr UvRect kTrackpad = Quadrant(1, 0);
constexpr UvRect kAccent = Quadrant(0, 1);
constexpr UvRect kTrigger = Quadrant(1, 1);
constexpr Rgb kBodyColour{34, 36, 42};
constexpr Rgb kGripStripeColour{46, 48, 56};
constexpr Rgb kTrackpadColour{204, 206, 212};
constexpr Rgb kTrackpadLineColour{150, 152, 160};
constexpr Rgb kAccentColour{236, 126, 34};
constexpr Rgb kTriggerColour{96, 98, 108};

// Base station and headset quadrants.
constexpr UvRect kFront = Quadrant(0, 0);
constexpr UvRect kCase = Quadrant(1, 0);

GeneratedModel Finish(const char* name, TextureID_t textureId, MeshBuilder& mesh) {
  GeneratedModel model;
  model.name = name;
  model.textureId = textureId;
  model.vertices = std::move(mesh.vertices);
  model.indices = std::move(mesh.indices);
  return model;
}

}  // namespace

GeneratedModel BuildControllerModel() {
  MeshBuilder mesh;
  // Handle towards the wrist (+z), closed at its end.
  mesh.AddTube({0.0f, -0.006f, 0.0f}, -0.01f, 0.0185f, 0.07f, 0.016f, kBody);
  mesh.AddDisc({0.0f, -0.006f, 0.07f}, {0, 0, 1}, 0.016f, kBody);
  // Rounded head carrying the trackpad.
  mesh.AddEllipsoid({0.0f, 0.002f, -0.028f}, {0.026f, 0.019f, 0.036f}, kBody);
  mesh.AddDisc({0.0f, 0.0215f, -0.03f}, {0, 1, 0}, 0.017f, kTrackpad);
  // Trigger under the head, where the index finger rests.
  mesh.AddBox({-0.007f, -0.032f, -0.05f}, {0.007f, -0.012f, -0.024f}, kTrigger, kTrigger);
  // Tracking ring in front, tilted back like a halo.
  mesh.AddTorus({0.0f, 0.006f, -0.062f}, {0.0f, 0.94f, 0.34f}, 0.03f, 0.0055f, kAccent);
  return Finish(kControllerModelName, kControllerTextureId, mesh);
}

GeneratedModel BuildBaseStationModel() {
  MeshBuilder mesh;
  mesh.AddBox({-0.04f, -0.04f, -0.03f}, {0.04f, 0.04f, 0.03f}, kCase, kFront);
  return Finish(kBaseStationModelName, kBaseStationTextureId, mesh);
}

GeneratedModel BuildHeadsetModel() {
  MeshBuilder mesh;
  mesh.AddEllipsoid({0.0f, 0.0f, -0.045f}, {0.095f, 0.055f, 0.05f}, kCase);
  mesh.AddDisc({0.0f, 0.0f, -0.0955f}, {0, 0, -1}, 0.03f, kFront);
  return Finish(kHeadsetModelName, kHeadsetTextureId, mesh);
}

GeneratedTexture BuildControllerTexture() {
  Canvas canvas(kControllerTextureId);
  canvas.Fill(0, 0, kHalf, kHalf, kBodyColour);
  for (int y = 6; y < kHalf; y += 12) {
    canvas.Fill(0, y, kHalf, y + 3, kGripStripeColour);
  }
  canvas.Fill(kHalf, 0, kTextureSize, kHalf, kBodyColour);
  const float cx = kHalf + kHalf / 2.0f, cy = kHalf / 2.0f;
  const float radius = kHalf / 2.0f - 4.0f;  // the disc's rim lands on the inset edge
  canvas.Ring(cx, cy, 0.0f, radius, kTrackpadColour);
  canvas.Ring(cx, cy, radius * 0.74f, radius * 0.8f, kTrackpadLineColour);
  canvas.Ring(cx, cy, 0.0f, radius * 0.08f, kTrackpadLineColour);
  canvas.Fill(0, kHalf, kHalf, kTextureSize, kAccentColour);
  canvas.Fill(kHalf, kHalf, kTextureSize, kTextureSize, kTriggerColour);
  return canvas.Take();
}

GeneratedTexture BuildBaseStationTexture() {
  Canvas canvas(kBaseStationTextureId);
  canvas.Fill(0, 0, kTextureSize, kTextureSize, {52, 54, 60});
  canvas.Fill(0, 0, kHalf, kHalf, {18, 18, 22});
  const float c = kHalf / 2.0f;
  canvas.Ring(c, c, 0.0f, 40.0f, {40, 52, 74});
  canvas.Ring(c, c, 34.0f, 40.0f, {96, 106, 126});
  canvas.Ring(c - 12.0f, c - 12.0f, 0.0f, 7.0f, {160, 170, 190});
  return canvas.Take();
}

GeneratedTexture BuildHeadsetTexture() {
  Canvas canvas(kHeadsetTextureId);
  canvas.Fill(0, 0, kTextureSize, kTextureSize, {44, 46, 52});
  canvas.Fill(0, 0, kHalf, kHalf, {24, 24, 28});
  canvas.Ring(kHalf / 2.0f, kHalf / 2.0f, 30.0f, 40.0f, kAccentColour);
  return canvas.Take();
}

}  // namespace vr::sim
