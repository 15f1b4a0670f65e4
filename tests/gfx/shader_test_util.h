#pragma once
// What the shader tests feed the packed shaders: the application's two vertex layouts (over its
// own vertex records) and its two 384-byte constant blocks, written at their byte offsets the way
// the application writes them.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "gfx/draw_context.h"
#include "gfx/simple_vertex.h"
#include "sculpt/sculpt_vertex.h"

namespace shadertest {

inline Draw::VertexLayoutDesc LayoutDesc(bool sculpt) {
  Draw::VertexLayoutDesc desc;
  if (sculpt) {
    desc.bindings = {{32, 0}};
    desc.attributes = {{0, 0, Draw::R32G32B32_FLOAT, 0},
                       {0, 1, Draw::R32G32B32_FLOAT, 12},
                       {0, 2, Draw::R8G8B8A8_UNORM, 24},
                       {0, 3, Draw::R8G8B8A8_UNORM, 28}};
  } else {
    desc.bindings = {{36, 0}};
    desc.attributes = {{0, 0, Draw::R32G32B32_FLOAT, 0},
                       {0, 1, Draw::R32G32B32_FLOAT, 12},
                       {0, 2, Draw::R32G32B32_FLOAT, 24},
                       {0, 3, Draw::R8G8B8A8_UNORM, 32}};
  }
  return desc;
}

struct ConstantBlock {
  std::array<uint8_t, 384> bytes{};

  void Floats(int offset, std::initializer_list<float> values) {
    for (float value : values) {
      std::memcpy(&bytes[size_t(offset)], &value, 4);
      offset += 4;
    }
  }
  void Uint(int offset, uint32_t value) { std::memcpy(&bytes[size_t(offset)], &value, 4); }
  // Row-major, for row vectors: translation in the fourth row.
  void Matrix(int offset, const float m[16]) { std::memcpy(&bytes[size_t(offset)], m, 64); }
};

// Scene constants as the application fills them for a desktop view from cameraOffset (0, 1, 2)
// looking down -z, and a draw of the sculpture (grid coordinates, 96 samples per metre, sample
// 0 at world (-1, 0, -1)). nightLights selects the four point lights (light_env 0) or none.
inline ConstantBlock SceneConstants(float aspect, bool nightLights) {
  ConstantBlock scene;
  const float near = 0.1f, far = 800.0f;
  const float t = std::tan(45.0f * 3.14159265f / 180.0f);
  const float projection[16] = {1 / t, 0, 0, 0,  0, aspect / t, 0, 0,
                                0, 0, -(far + near) / (far - near), -1,
                                0, 0, -2 * far * near / (far - near), 0};
  const float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, -2, 1};
  const float s = 1.0f / 96.0f;
  const float model[16] = {s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, -1, 0, -1, 1};
  scene.Matrix(0, projection);
  scene.Matrix(64, view);
  scene.Matrix(128, model);
  scene.Floats(192, {0, 1, 2, 0.8f});
  scene.Floats(208, {0.12f, 0.27f, 0.27f, 0.0f, -70.0f, 0.03f});
  const float d = 1.0f / std::sqrt(3.0f);
  scene.Floats(240, {d, d, d});
  scene.Floats(272, {0.03f, 0.009f, 0.12f, 0.0f});
  scene.Uint(288, nightLights ? 0x00010203u : 0xFFFFFFFFu);
  scene.Floats(304, {1, 1, 1, 1});
  scene.Floats(336, {0.04f, 0.04f, 0.04f});
  scene.Floats(352, {0.3f, 0.04f, 1.0f});
  return scene;
}

inline ConstantBlock LightConstants() {
  ConstantBlock lights;
  const float positions[4][3] = {{10, 10, 10}, {-10, 10, 10}, {10, 10, -10}, {-10, 10, -10}};
  for (int i = 0; i < 4; ++i) {
    lights.Floats(i * 32, {positions[i][0], positions[i][1], positions[i][2], 100.0f, 0.5f, 0.5f,
                           0.5f, 0.0f});
  }
  return lights;
}

}  // namespace shadertest
