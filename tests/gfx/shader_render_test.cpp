// The packed shaders of the data tree drawing on the real driver, fed exactly as the application
// feeds them: its vertex layouts, its constant blocks at their byte offsets, its texture units.
// Pixels are checked for what a person would see (lit, the right hue, the right place), not for
// exact values, so the shading can be tuned without rewriting the tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "gfx/shader_library.h"
#include "tests/gfx/gl_test_context.h"
#include "tests/gfx/shader_test_util.h"

namespace {

using shadertest::ConstantBlock;

constexpr int kSize = 64;

struct Rgb {
  int r, g, b;
};

Rgb Channels(uint32_t pixel) {
  return {int(pixel & 0xFF), int((pixel >> 8) & 0xFF), int((pixel >> 16) & 0xFF)};
}

float HueDegrees(const Rgb& c) {
  const int high = std::max({c.r, c.g, c.b}), low = std::min({c.r, c.g, c.b});
  if (high == low) return 0.0f;
  const float range = float(high - low);
  float hue;
  if (high == c.r) {
    hue = 60.0f * float(c.g - c.b) / range;
  } else if (high == c.g) {
    hue = 120.0f + 60.0f * float(c.b - c.r) / range;
  } else {
    hue = 240.0f + 60.0f * float(c.r - c.g) / range;
  }
  return hue < 0.0f ? hue + 360.0f : hue;
}

// Lit, clearly coloured, and of the painted hue (within 30 degrees: lights and sky tint it).
::testing::AssertionResult LitWithHue(uint32_t pixel, const uint8_t painted[3]) {
  const Rgb c = Channels(pixel);
  const Rgb p = {painted[0], painted[1], painted[2]};
  const int high = std::max({c.r, c.g, c.b}), low = std::min({c.r, c.g, c.b});
  float difference = std::fabs(HueDegrees(c) - HueDegrees(p));
  difference = std::min(difference, 360.0f - difference);
  if (high >= 50 && high - low >= high * 35 / 100 && difference <= 30.0f) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "pixel (" << c.r << ", " << c.g << ", " << c.b
                                       << ") is dark, grey or not of the hue of (" << p.r << ", "
                                       << p.g << ", " << p.b << ")";
}

class ShaderRenderTest : public ::testing::Test {
 protected:
  explicit ShaderRenderTest(int size = kSize) : size_(size), gl_(size, size) {}

  void SetUp() override {
    REQUIRE_GL(gl_);
    context_ = gl_.Context();
    ASSERT_TRUE(LoadShaderLibrary(library_, context_, nullptr, LOOMWORK_DATA_DIR "/shaders"));
    sampler_.reset(context_->CreateSamplerState({}));
    white_.reset(SolidTexture(0xFFFFFFFFu));
    Draw::DepthStencilStateDesc depthWrite;
    depthWrite.depthTestEnabled = true;
    depthWrite.depthWriteEnabled = true;
    depthWrite.depthCompare = Draw::Comparison::LESS_EQUAL;
    depthWrite_.reset(context_->CreateDepthStencilState(depthWrite));
    Draw::DepthStencilStateDesc depthTestOnly = depthWrite;
    depthTestOnly.depthWriteEnabled = false;
    depthTestOnly_.reset(context_->CreateDepthStencilState(depthTestOnly));
    opaque_.reset(context_->CreateBlendState({{Draw::BlendTarget{}}}));
    cullBack_.reset(context_->CreateRasterState({Draw::CullMode::BACK, Draw::Facing::CCW}));
    cullNone_.reset(context_->CreateRasterState({Draw::CullMode::NONE, Draw::Facing::CW}));
    simpleLayout_.reset(context_->CreateVertexLayout(shadertest::LayoutDesc(false)));
    sculptLayout_.reset(context_->CreateVertexLayout(shadertest::LayoutDesc(true)));
    scene_ = shadertest::SceneConstants(1.0f, true);
    lights_ = shadertest::LightConstants();
  }

  void TearDown() override {
    pipelines_.clear();
    ClearShaderLibrary(library_);
  }

  Draw::Texture* SolidTexture(uint32_t rgba) {
    Draw::TextureDesc desc;
    desc.format = Draw::R8G8B8A8_UNORM;
    desc.width = desc.height = 4;
    Draw::Texture* texture = context_->CreateTexture(desc);
    const std::vector<uint32_t> texels(16, rgba);
    context_->UpdateTextureLevel(texture, 0, 0, 0, 0, 4, 4, 1, 16, 64, texels.data());
    return texture;
  }

  // A cube map with one colour per face (+x, -x, +y, -y, +z, -z) on every level, as pre-filtered
  // environment maps of a uniform sky per face would be.
  std::unique_ptr<Draw::Texture> CubeTexture(const uint32_t faces[6]) {
    Draw::TextureDesc desc;
    desc.format = Draw::R8G8B8A8_UNORM;
    desc.width = desc.height = 16;
    desc.depth = 6;
    desc.mipLevels = 5;
    desc.flags = Draw::CUBE;
    std::unique_ptr<Draw::Texture> texture(context_->CreateTexture(desc));
    for (int level = 0; level < desc.mipLevels; ++level) {
      const int size = 16 >> level;
      for (int face = 0; face < 6; ++face) {
        const std::vector<uint32_t> texels(size_t(size * size), faces[face]);
        context_->UpdateTextureLevel(texture.get(), level, 0, 0, face, size, size, 1, size * 4,
                                     size * size * 4, texels.data());
      }
    }
    return texture;
  }

  Draw::Pipeline* Pipeline(const char* vertexSet, const char* fragmentSet, bool sculpt,
                           bool writeDepth, bool cullBack) {
    Draw::PipelineDesc desc;
    desc.shaders = MakeShaderPair(library_, vertexSet, fragmentSet);
    if (desc.shaders[0] == nullptr || desc.shaders[1] == nullptr) return nullptr;
    desc.vertexLayout = sculpt ? sculptLayout_.get() : simpleLayout_.get();
    desc.depthStencil = writeDepth ? depthWrite_.get() : depthTestOnly_.get();
    desc.blend = opaque_.get();
    desc.raster = cullBack ? cullBack_.get() : cullNone_.get();
    pipelines_.emplace_back(context_->CreatePipeline(desc));
    return pipelines_.back().get();
  }

  // Clears the window as a view begins and binds the view's textures: white on units 0 and 2,
  // the environment on unit 1.
  void BeginView(Draw::Texture* environment) {
    context_->BeginFrame();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDepthMask(GL_TRUE);
    glClearColor(0.12f, 0.27f, 0.27f, 0.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Draw::Viewport viewport;
    viewport.width = viewport.height = float(size_);
    context_->SetViewports(0, 1, &viewport);
    for (int unit = 0; unit < 3; ++unit) context_->BindSampler(unit, sampler_.get());
    context_->BindTexture(0, white_.get());
    context_->BindTexture(1, environment);
    context_->BindTexture(2, white_.get());
    context_->PushUniforms(1, lights_.bytes.data(), lights_.bytes.size());
  }

  // A square of the sculpture in grid coordinates at depth z = 96 (the grid's centre, straight
  // ahead of the camera), facing the camera; wound counter-clockwise as seen from outside the
  // material, as extraction winds it, unless reversed.
  void DrawSculptSquare(Draw::Pipeline* pipeline, float x0, float y0, float x1, float y1,
                        const uint8_t color[3], const uint8_t material[2], float gradient = 1.0f,
                        bool reversed = false) {
    context_->BindPipeline(pipeline);
    context_->PushUniforms(0, scene_.bytes.data(), scene_.bytes.size());
    auto* v = static_cast<SculptVertex*>(context_->AllocateImmediateVertices(6, 32));
    ASSERT_NE(v, nullptr);
    const float corners[6][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y0}, {x1, y1}, {x0, y1}};
    for (int i = 0; i < 6; ++i) {
      const int corner = reversed ? 5 - i : i;
      v[i] = {{corners[corner][0], corners[corner][1], 96.0f},
              {0.0f, 0.0f, gradient},
              {color[0], color[1], color[2], 0},
              {material[0], material[1], 0, 0}};
    }
    context_->DrawImmediate(Draw::Primitive::TRIANGLE_LIST);
  }

  uint32_t Pixel(int x, int y) { return gl_.Pixel(x, y); }

  int size_;
  GLTestContext gl_;
  Draw::OpenGLContext* context_ = nullptr;
  ShaderLibrary library_;
  std::unique_ptr<Draw::Sampler> sampler_;
  std::unique_ptr<Draw::Texture> white_;
  std::unique_ptr<Draw::DepthStencilState> depthWrite_, depthTestOnly_;
  std::unique_ptr<Draw::BlendState> opaque_;
  std::unique_ptr<Draw::RasterState> cullBack_, cullNone_;
  std::unique_ptr<Draw::VertexLayout> simpleLayout_, sculptLayout_;
  std::vector<std::unique_ptr<Draw::Pipeline>> pipelines_;
  ConstantBlock scene_, lights_;
};

const uint32_t kNightSky[6] = {0xFF201010u, 0xFF201010u, 0xFF301818u, 0xFF080404u,
                               0xFF201010u, 0xFF201010u};
const uint32_t kDaySky[6] = {0xFFE0C0A0u, 0xFFE0C0A0u, 0xFFFFE0C0u, 0xFF406070u,
                             0xFFE0C0A0u, 0xFFE0C0A0u};
const uint32_t kBlackSky[6] = {0xFF000000u, 0xFF000000u, 0xFF000000u,
                               0xFF000000u, 0xFF000000u, 0xFF000000u};

TEST_F(ShaderRenderTest, SculptureShowsItsPaintedHueUnderEachLighting) {
  Draw::Pipeline* sculpt = Pipeline("solidiso", "solidiso", true, true, true);
  ASSERT_NE(sculpt, nullptr);
  std::unique_ptr<Draw::Texture> night = CubeTexture(kNightSky);
  std::unique_ptr<Draw::Texture> day = CubeTexture(kDaySky);
  struct Case {
    const char* what;
    uint8_t color[3];
    uint8_t material[2];  // metalness, roughness
    bool nightLights;
    Draw::Texture* environment;
  };
  const Case cases[] = {
      {"red plastic at night", {230, 20, 20}, {0, 100}, true, night.get()},
      {"green clay by day", {30, 200, 40}, {0, 255}, false, day.get()},
      {"blue metal by day", {40, 60, 240}, {255, 80}, false, day.get()},
      {"gold by day", {255, 200, 90}, {255, 60}, false, day.get()},
      {"smooth blue glaze at night", {20, 40, 220}, {0, 0}, true, night.get()},
      {"orange, half metal, by day", {240, 120, 20}, {128, 128}, false, day.get()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    scene_ = shadertest::SceneConstants(1.0f, c.nightLights);
    BeginView(c.environment);
    DrawSculptSquare(sculpt, 48, 48, 144, 144, c.color, c.material);
    EXPECT_TRUE(LitWithHue(Pixel(32, 32), c.color));
    // Outside the square the clear colour is untouched.
    EXPECT_EQ(Pixel(4, 32) & 0xFFFFFFu, 0x45451Fu);
    context_->Present();
  }
}

TEST_F(ShaderRenderTest, SculptureIsLitOnlyByItsLights) {
  Draw::Pipeline* sculpt = Pipeline("solidiso", "solidiso", true, true, true);
  ASSERT_NE(sculpt, nullptr);
  std::unique_ptr<Draw::Texture> black = CubeTexture(kBlackSky);
  const uint8_t white[3] = {255, 255, 255};
  const uint8_t rough[2] = {0, 200};

  // No point light, no sun, a black environment: black.
  scene_.Uint(288, 0xFFFFFFFFu);
  scene_.Floats(240, {0, 0, 0});
  BeginView(black.get());
  DrawSculptSquare(sculpt, 48, 48, 144, 144, white, rough);
  const Rgb dark = Channels(Pixel(32, 32));
  EXPECT_LE(dark.r + dark.g + dark.b, 6);
  context_->Present();

  // The four point lights alone light a white surface to a bright, near-neutral grey.
  scene_.Uint(288, 0x00010203u);
  scene_.Floats(272, {0, 0, 0, 0});
  BeginView(black.get());
  DrawSculptSquare(sculpt, 48, 48, 144, 144, white, rough);
  const Rgb lit = Channels(Pixel(32, 32));
  EXPECT_GE(lit.r, 120);
  EXPECT_NEAR(lit.r, lit.g, 3);
  EXPECT_NEAR(lit.r, lit.b, 3);
  context_->Present();
}

TEST_F(ShaderRenderTest, GradientLengthDoesNotChangeTheShading) {
  Draw::Pipeline* sculpt = Pipeline("solidiso", "solidiso", true, true, true);
  ASSERT_NE(sculpt, nullptr);
  std::unique_ptr<Draw::Texture> day = CubeTexture(kDaySky);
  const uint8_t color[3] = {200, 120, 60};
  const uint8_t material[2] = {80, 120};
  std::vector<uint32_t> pixels;
  // Extraction's gradients are raw sample differences: anything from a fraction to tens of
  // thousands.
  for (float gradient : {1.0f, 0.01f, 40000.0f}) {
    scene_ = shadertest::SceneConstants(1.0f, false);
    BeginView(day.get());
    DrawSculptSquare(sculpt, 48, 48, 144, 144, color, material, gradient);
    pixels.push_back(Pixel(32, 32));
    context_->Present();
  }
  for (uint32_t pixel : pixels) {
    const Rgb a = Channels(pixel), b = Channels(pixels[0]);
    EXPECT_NEAR(a.r, b.r, 1);
    EXPECT_NEAR(a.g, b.g, 1);
    EXPECT_NEAR(a.b, b.b, 1);
  }
}

// Clip-space y up is drawn to the context's first rows (its upper-left origin), and surfaces
// extraction winds counter-clockwise from outside stay front faces: the shaders do not flip y,
// which would make the sculpture's back-face culling remove its visible side.
TEST_F(ShaderRenderTest, SculptureKeepsItsOrientationAndFacing) {
  Draw::Pipeline* sculpt = Pipeline("solidiso", "solidiso", true, true, true);
  ASSERT_NE(sculpt, nullptr);
  std::unique_ptr<Draw::Texture> night = CubeTexture(kNightSky);
  const uint8_t red[3] = {230, 20, 20};
  const uint8_t material[2] = {0, 100};

  // Above eye level (grid y 96 is the camera's height).
  BeginView(night.get());
  DrawSculptSquare(sculpt, 48, 106, 144, 144, red, material);
  EXPECT_TRUE(LitWithHue(Pixel(32, 36), red));
  EXPECT_EQ(Pixel(32, 28) & 0xFFFFFFu, 0x45451Fu);
  context_->Present();

  BeginView(night.get());
  DrawSculptSquare(sculpt, 48, 48, 144, 144, red, material, 1.0f, true);
  EXPECT_EQ(Pixel(32, 32) & 0xFFFFFFu, 0x45451Fu);
  context_->Present();
}

TEST_F(ShaderRenderTest, SkyShowsTheFaceAheadAndStaysBehindTheScene) {
  Draw::Pipeline* sculpt = Pipeline("solidiso", "solidiso", true, true, true);
  Draw::Pipeline* sky = Pipeline("cubesky", "cubesky", false, false, false);
  ASSERT_NE(sculpt, nullptr);
  ASSERT_NE(sky, nullptr);
  // +x red, -x cyan, +y green, -y magenta, +z blue, -z yellow.
  const uint32_t faces[6] = {0xFF0000FFu, 0xFFFFFF00u, 0xFF00FF00u,
                             0xFFFF00FFu, 0xFFFF0000u, 0xFF00FFFFu};
  std::unique_ptr<Draw::Texture> cube = CubeTexture(faces);
  const uint8_t blue[3] = {20, 40, 230};
  const uint8_t material[2] = {0, 150};

  BeginView(cube.get());
  DrawSculptSquare(sculpt, 80, 80, 112, 112, blue, material);
  const uint32_t sculpture = Pixel(32, 32);

  // The sky cube as the application makes it: a unit cube scaled by 100, model identity.
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  scene_.Matrix(128, identity);
  context_->BindPipeline(sky);
  context_->PushUniforms(0, scene_.bytes.data(), scene_.bytes.size());
  const int triangles[12][3] = {{0, 1, 3}, {0, 3, 2}, {4, 6, 7}, {4, 7, 5}, {0, 4, 5}, {0, 5, 1},
                                {2, 3, 7}, {2, 7, 6}, {0, 2, 6}, {0, 6, 4}, {1, 5, 7}, {1, 7, 3}};
  auto* v = static_cast<SimpleVertex*>(context_->AllocateImmediateVertices(36, 36));
  ASSERT_NE(v, nullptr);
  for (int t = 0; t < 12; ++t) {
    for (int k = 0; k < 3; ++k) {
      const int corner = triangles[t][k];
      const float x = corner & 1 ? 100.0f : -100.0f;
      const float y = corner & 2 ? 100.0f : -100.0f;
      const float z = corner & 4 ? 100.0f : -100.0f;
      v[t * 3 + k] = {{x, y, z}, {0, 0, 0}, {0, 0}, 0xFFFFFFFFu};
    }
  }
  context_->DrawImmediate(Draw::Primitive::TRIANGLE_LIST);

  EXPECT_EQ(Pixel(32, 32), sculpture);
  EXPECT_TRUE(LitWithHue(sculpture, blue));
  // Ahead is -z: yellow, everywhere the sculpture does not cover.
  for (const auto& [x, y] : {std::pair{4, 4}, {60, 32}, {32, 60}}) {
    const Rgb sky = Channels(Pixel(x, y));
    EXPECT_GE(sky.r, 200) << x << ", " << y;
    EXPECT_GE(sky.g, 200) << x << ", " << y;
    EXPECT_LE(sky.b, 40) << x << ", " << y;
  }
  context_->Present();
}

TEST_F(ShaderRenderTest, FloorShowsItsPatternAndSimpleTextureTakesTheTint) {
  Draw::Pipeline* solid = Pipeline("solid", "solid", false, true, true);
  Draw::Pipeline* textured = Pipeline("simpletex", "simpletex", false, false, false);
  ASSERT_NE(solid, nullptr);
  ASSERT_NE(textured, nullptr);
  std::unique_ptr<Draw::Texture> night = CubeTexture(kNightSky);
  // The floor pattern: two channels, the second 0.8 on every other 8 x 8 square, else 0.2.
  Draw::TextureDesc desc;
  desc.format = Draw::R8G8_UNORM;
  desc.width = desc.height = 64;
  std::unique_ptr<Draw::Texture> pattern(context_->CreateTexture(desc));
  std::vector<uint8_t> texels(64 * 64 * 2);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) texels[size_t(y * 64 + x) * 2 + 1] = ((x ^ y) & 8) ? 204 : 51;
  }
  context_->UpdateTextureLevel(pattern.get(), 0, 0, 0, 0, 64, 64, 1, 128, 8192, texels.data());

  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  scene_.Matrix(128, identity);
  scene_.Floats(352, {0.85f});
  BeginView(night.get());
  context_->BindTexture(2, pattern.get());
  context_->BindPipeline(solid);
  context_->PushUniforms(0, scene_.bytes.data(), scene_.bytes.size());
  const float s = 4.0f;
  auto* v = static_cast<SimpleVertex*>(context_->AllocateImmediateVertices(4, 36));
  ASSERT_NE(v, nullptr);
  v[0] = {{-s, 0, -s}, {0, 1, 0}, {0, 0}, 0xFF202020u};
  v[1] = {{-s, 0, s}, {0, 1, 0}, {0, 1}, 0xFF202020u};
  v[2] = {{s, 0, -s}, {0, 1, 0}, {1, 0}, 0xFF202020u};
  v[3] = {{s, 0, s}, {0, 1, 0}, {1, 1}, 0xFF202020u};
  context_->DrawImmediate(Draw::Primitive::TRIANGLE_STRIP);

  // Along one row below the horizon, the floor point under each pixel decides its square:
  // the brighter squares must come out brighter.
  const int row = 8;  // the first rows show clip-space y down, so the floor
  const float ndcY = (row + 0.5f) / size_ * 2.0f - 1.0f;
  int brightSum = 0, brightCount = 0, darkSum = 0, darkCount = 0;
  for (int x = 0; x < size_; ++x) {
    const float ndcX = (x + 0.5f) / size_ * 2.0f - 1.0f;
    const float distance = 1.0f / -ndcY;  // eye 1 above the floor, looking along -z
    const float u = (ndcX * distance + s) / (2 * s) * 64.0f;
    const float w = ((2.0f - distance) + s) / (2 * s) * 64.0f;
    const float inU = u - 8.0f * std::floor(u / 8.0f), inW = w - 8.0f * std::floor(w / 8.0f);
    if (inU < 2.5f || inU > 5.5f || inW < 2.0f || inW > 6.0f) continue;  // near a square's edge
    const Rgb c = Channels(Pixel(x, row));
    if ((int(u) ^ int(w)) & 8) {
      brightSum += c.g;
      ++brightCount;
    } else {
      darkSum += c.g;
      ++darkCount;
    }
  }
  ASSERT_GT(brightCount, 0);
  ASSERT_GT(darkCount, 0);
  EXPECT_GT(brightSum / brightCount, darkSum / darkCount + 15);

  // A quad of the textured pipeline, white texture, tinted like the "Add" tool preview.
  scene_.Floats(304, {0.2f, 1.0f, 0.2f, 1.0f});
  context_->BindPipeline(textured);
  context_->PushUniforms(0, scene_.bytes.data(), scene_.bytes.size());
  context_->BindTexture(0, white_.get());
  v = static_cast<SimpleVertex*>(context_->AllocateImmediateVertices(4, 36));
  ASSERT_NE(v, nullptr);
  v[0] = {{-0.2f, 0.9f, 1.5f}, {0, 0, 1}, {0, 0}, 0xFFFFFFFFu};
  v[1] = {{0.2f, 0.9f, 1.5f}, {0, 0, 1}, {1, 0}, 0xFFFFFFFFu};
  v[2] = {{-0.2f, 1.1f, 1.5f}, {0, 0, 1}, {0, 1}, 0xFFFFFFFFu};
  v[3] = {{0.2f, 1.1f, 1.5f}, {0, 0, 1}, {1, 1}, 0xFFFFFFFFu};
  context_->DrawImmediate(Draw::Primitive::TRIANGLE_STRIP);
  const Rgb tinted = Channels(Pixel(32, 32));
  EXPECT_NEAR(tinted.r, 51, 2);
  EXPECT_NEAR(tinted.g, 255, 1);
  EXPECT_NEAR(tinted.b, 51, 2);
  context_->Present();
}

// The picker drawn over the whole view with texture coordinates (0, 0) top left to (1, 1)
// bottom right; n = (uv - 0.5) x 2 as the panel reads clicks.
class ColorPickerRenderTest : public ShaderRenderTest {
 protected:
  ColorPickerRenderTest() : ShaderRenderTest(256) {}
};

TEST_F(ColorPickerRenderTest, PaintsTheRingTheSquareAndTheMarkers) {
  Draw::Pipeline* picker = Pipeline("simpletex", "colorpicker", false, false, false);
  ASSERT_NE(picker, nullptr);
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  scene_.Matrix(0, identity);
  scene_.Matrix(64, identity);
  scene_.Matrix(128, identity);
  const float hue = 2.0f / 3.0f, saturation = 0.2f, value = 0.3f;
  scene_.Floats(368, {hue, saturation, value});
  BeginView(white_.get());
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  context_->BindPipeline(picker);
  context_->PushUniforms(0, scene_.bytes.data(), scene_.bytes.size());
  auto* v = static_cast<SimpleVertex*>(context_->AllocateImmediateVertices(4, 36));
  ASSERT_NE(v, nullptr);
  // Clip-space y -1 is the first row read back, so the texture coordinates run with the rows.
  v[0] = {{-1, -1, 0}, {0, 0, 1}, {0, 0}, 0xFFFFFFFFu};
  v[1] = {{1, -1, 0}, {0, 0, 1}, {1, 0}, 0xFFFFFFFFu};
  v[2] = {{-1, 1, 0}, {0, 0, 1}, {0, 1}, 0xFFFFFFFFu};
  v[3] = {{1, 1, 0}, {0, 0, 1}, {1, 1}, 0xFFFFFFFFu};
  context_->DrawImmediate(Draw::Primitive::TRIANGLE_STRIP);

  auto at = [&](float nx, float ny) {
    const int x = int((nx * 0.5f + 0.5f) * size_), y = int((ny * 0.5f + 0.5f) * size_);
    return Channels(Pixel(std::min(x, size_ - 1), std::min(y, size_ - 1)));
  };
  struct Expected {
    const char* what;
    float nx, ny;
    Rgb color;
    int tolerance;
  };
  const Expected expected[] = {
      // The ring: hue = atan2(ny, nx) in turns.
      {"ring at hue 0", 0.9f, 0.0f, {255, 0, 0}, 6},
      {"ring at hue 1/4", 0.0f, 0.9f, {128, 255, 0}, 12},
      {"ring at hue 1/2", -0.9f, 0.0f, {0, 255, 255}, 6},
      // The square at the current hue: saturation across, value downwards.
      {"square, nearly full saturation and value", 0.45f, -0.45f, {12, 12, 242}, 8},
      {"square, little saturation", -0.45f, -0.45f, {230, 230, 242}, 8},
      {"square, little value", 0.45f, 0.45f, {0, 0, 12}, 8},
      // Between square and ring, and beyond the ring: nothing (premultiplied, so black).
      {"gap", 0.0f, 0.65f, {0, 0, 0}, 0},
      {"corner", 0.97f, 0.97f, {0, 0, 0}, 0},
      // The saturation/value marker at (s - 0.5, 0.5 - v): the current colour inside.
      {"marker centre", saturation - 0.5f, 0.5f - value, {61, 61, 77}, 8},
  };
  for (const Expected& e : expected) {
    const Rgb c = at(e.nx, e.ny);
    EXPECT_NEAR(c.r, e.color.r, e.tolerance) << e.what;
    EXPECT_NEAR(c.g, e.color.g, e.tolerance) << e.what;
    EXPECT_NEAR(c.b, e.color.b, e.tolerance) << e.what;
  }
  // The markers' white rims stand out from the square and from the ring around them.
  const float angle = hue * 6.2831853f;
  for (const auto& [cx, cy] : {std::pair{saturation - 0.5f, 0.5f - value},
                               {0.9f * std::cos(angle), 0.9f * std::sin(angle)}}) {
    int brightest = 0;
    for (int dy = -6; dy <= 6; ++dy) {
      for (int dx = -6; dx <= 6; ++dx) {
        const Rgb c = at(cx + dx * 2.0f / size_, cy + dy * 2.0f / size_);
        brightest = std::max(brightest, std::min({c.r, c.g, c.b}));
      }
    }
    EXPECT_GE(brightest, 200) << "no white rim around (" << cx << ", " << cy << ")";
  }
  context_->Present();
}

}  // namespace
