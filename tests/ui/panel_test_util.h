#pragma once
// What the panel tests share: the real font and icon atlas from the data tree, the textured and
// colour-picker pipelines built from the packed shaders with the application's states, the
// constant block those shaders read, and a hand controller placed and triggered by the test the
// way the frame update drives the panel.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "base/math_types.h"
#include "gfx/draw_context.h"
#include "gfx/shader_library.h"
#include "gfx/texture_loader.h"
#include "tests/gfx/gl_test_context.h"
#include "ui/panel_font.h"
#include "ui/panel_ui.h"
#include "ui/tool_icons.h"

namespace paneltest {

inline const std::string kFontPath = LOOMWORK_DATA_DIR "/assets/Comfortaa_Bold.ttf";
inline const std::string kAtlasPath = LOOMWORK_DATA_DIR "/textures/tools.png";
constexpr float kFontPixels = 128.0f;
constexpr float kFontScale = 0.05f;

template <typename T>
using Owned = std::unique_ptr<T>;

// A controller at position whose pointing axis (its local -Z) aims at target.
inline Matrix4x4 PointerPose(Vec3 position, Vec3 target) {
  const Vec3 forward = target - position;
  const Vec3 z = forward * (-1.0f / Length(forward));
  const Vec3 up = std::fabs(z.y) < 0.9f ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
  Vec3 x = Cross(up, z);
  x = x * (1.0f / Length(x));
  const Vec3 y = Cross(z, x);
  Matrix4x4 pose = Matrix4x4::Identity();
  const Vec3 rows[4] = {x, y, z, position};
  for (int r = 0; r < 4; ++r) {
    pose.m[4 * r + 0] = rows[r].x;
    pose.m[4 * r + 1] = rows[r].y;
    pose.m[4 * r + 2] = rows[r].z;
  }
  return pose;
}

// A controller straight in front of the panel point (x, y), pointing at it, for a panel whose
// matrix is the identity.
inline Matrix4x4 PointerAt(float x, float y) { return PointerPose({x, y, 10.0f}, {x, y, 0.0f}); }

// The panel calls the frame update makes for one eye of a VR frame before the script runs, in
// the order it makes them.
inline void BeginVREye(PanelUI& ui, Draw::DrawContext* context, int eye, float trigger,
                       const Matrix4x4& pose, const Matrix4x4& panelMatrix = Matrix4x4::Identity(),
                       bool pointerActive = true) {
  ui.UpdateTrigger(trigger);
  ui.SetPointer(pointerActive, pose);
  ui.SetEye(eye, true);
  ui.SetTransform(context, panelMatrix);
}

// The 384-byte scene constant block at uniform slot 0, with the offsets the panel's shaders read.
struct SceneConstants {
  std::array<uint8_t, 384> bytes{};

  SceneConstants() {
    SetMatrix(64, Matrix4x4::Identity());
    SetMatrix(128, Matrix4x4::Identity());
    SetFloats(304, {1, 1, 1, 1});  // tint
  }
  void SetMatrix(int offset, const Matrix4x4& m) { std::memcpy(&bytes[size_t(offset)], m.m, 64); }
  void SetFloats(int offset, std::initializer_list<float> values) {
    for (float value : values) {
      std::memcpy(&bytes[size_t(offset)], &value, 4);
      offset += 4;
    }
  }
  void SetProjection(const Matrix4x4& m) { SetMatrix(0, m); }
  void SetPickerHsv(Vec3 hsv) { SetFloats(368, {hsv.x, hsv.y, hsv.z}); }
  void Push(Draw::DrawContext* context) const {
    context->PushUniforms(0, bytes.data(), bytes.size());
  }
};

// Maps the panel rectangle (0, 0) to (width, height) onto the whole render target; panel y runs
// down the screen as it does on the page.
inline Matrix4x4 PanelToClip(float width, float height) {
  Matrix4x4 m = Matrix4x4::Identity();
  m.m[0] = 2.0f / width;
  m.m[5] = 2.0f / height;
  m.m[12] = -1.0f;
  m.m[13] = -1.0f;
  return m;
}

// The GPU objects the panel draws with, made as the application makes them: the icon atlas,
// the font baked from the data tree, and the textured and picker pipelines with the simple
// vertex layout, depth test without writes, alpha or premultiplied blending and no culling.
struct PanelResources {
  ShaderLibrary shaders;
  Owned<Draw::VertexLayout> layout;
  Owned<Draw::DepthStencilState> depthTestOnly;
  Owned<Draw::BlendState> blendAlpha, blendPremultiplied;
  Owned<Draw::RasterState> cullNone;
  Owned<Draw::Pipeline> textured, picker;
  Owned<Draw::Sampler> sampler;
  Owned<Draw::Texture> atlas;
  PanelFont font;

  // Records a test failure for anything that does not load.
  void Load(Draw::DrawContext* context) {
    EXPECT_TRUE(LoadShaderLibrary(shaders, context, nullptr, LOOMWORK_DATA_DIR "/shaders"));
    Draw::VertexLayoutDesc layoutDesc;
    layoutDesc.bindings = {{36, 0}};
    layoutDesc.attributes = {{0, 0, Draw::R32G32B32_FLOAT, 0},
                             {0, 1, Draw::R32G32B32_FLOAT, 12},
                             {0, 2, Draw::R32G32B32_FLOAT, 24},
                             {0, 3, Draw::R8G8B8A8_UNORM, 32}};
    layout.reset(context->CreateVertexLayout(layoutDesc));
    Draw::DepthStencilStateDesc depthDesc;
    depthDesc.depthTestEnabled = true;
    depthDesc.depthCompare = Draw::Comparison::LESS_EQUAL;
    depthTestOnly.reset(context->CreateDepthStencilState(depthDesc));
    Draw::BlendTarget alpha;
    alpha.enabled = true;
    alpha.srcColor = Draw::BlendFactor::SRC_ALPHA;
    alpha.dstColor = Draw::BlendFactor::ONE_MINUS_SRC_ALPHA;
    alpha.srcAlpha = alpha.dstAlpha = Draw::BlendFactor::ZERO;
    blendAlpha.reset(context->CreateBlendState({{alpha}}));
    Draw::BlendTarget premultiplied = alpha;
    premultiplied.srcColor = Draw::BlendFactor::ONE;
    blendPremultiplied.reset(context->CreateBlendState({{premultiplied}}));
    cullNone.reset(context->CreateRasterState({Draw::CullMode::NONE, Draw::Facing::CCW}));
    textured.reset(MakePipeline(context, "simpletex", blendAlpha.get()));
    picker.reset(MakePipeline(context, "colorpicker", blendPremultiplied.get()));
    EXPECT_NE(textured, nullptr);
    EXPECT_NE(picker, nullptr);
    sampler.reset(context->CreateSamplerState({}));
    atlas.reset(LoadTexture(context, nullptr, kAtlasPath, GENERATE_MIPS));
    EXPECT_NE(atlas, nullptr) << kAtlasPath;
    EXPECT_TRUE(font.Init(context, kFontPath, kFontPixels, kFontScale));
  }

  // A panel as the application sets it up: font, icon table, pipelines.
  void SetUpPanel(PanelUI& ui, Draw::DrawContext* context) {
    ui.font = &font;
    ui.Init(context, atlas.get(), 288, 32, 1.0f, kToolIcons);
    ui.texturedPipeline = textured.get();
    ui.pickerPipeline = picker.get();
  }

  void Release() {
    font.Shutdown();
    textured.reset();
    picker.reset();
    ClearShaderLibrary(shaders);
  }

 private:
  Draw::Pipeline* MakePipeline(Draw::DrawContext* context, const char* fragmentSet,
                               Draw::BlendState* blend) {
    Draw::PipelineDesc desc;
    desc.shaders = MakeShaderPair(shaders, "simpletex", fragmentSet);
    if (desc.shaders[0] == nullptr || desc.shaders[1] == nullptr) {
      return nullptr;
    }
    desc.vertexLayout = layout.get();
    desc.depthStencil = depthTestOnly.get();
    desc.blend = blend;
    desc.raster = cullNone.get();
    return context->CreatePipeline(desc);
  }
};

// One GL context and one set of panel resources for a whole test suite: baking the font and
// building the pipelines once keeps the suite quick.
class PanelTestBase : public ::testing::Test {
 protected:
  static constexpr int kTargetSize = 64;

  static void SetUpTestSuite() {
    gl_ = new GLTestContext(kTargetSize, kTargetSize);
    if (gl_->Ok()) {
      resources_ = new PanelResources;
      resources_->Load(gl_->Context());
    }
  }
  static void TearDownTestSuite() {
    if (resources_ != nullptr) {
      resources_->Release();
      delete resources_;
      resources_ = nullptr;
    }
    delete gl_;
    gl_ = nullptr;
  }

  void SetUp() override {
    REQUIRE_GL(*gl_);
    context_ = gl_->Context();
    context_->BeginFrame();
    resources_->SetUpPanel(ui_, context_);
    scene_.SetProjection(PanelToClip(kTargetSize, kTargetSize));
    scene_.Push(context_);
    context_->BindSampler(0, resources_->sampler.get());
    context_->BindPipeline(resources_->textured.get());
  }

  static inline GLTestContext* gl_ = nullptr;
  static inline PanelResources* resources_ = nullptr;
  Draw::OpenGLContext* context_ = nullptr;
  SceneConstants scene_;
  PanelUI ui_;
};

}  // namespace paneltest
