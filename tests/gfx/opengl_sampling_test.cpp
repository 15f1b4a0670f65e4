// Textures and samplers as shaders see them, with the real driver: uploads, the alpha-mask
// swizzle, cube faces, compressed blocks, and units left empty.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/log.h"
#include "tests/gfx/opengl_test_util.h"
#include "tests/support/log_capture.h"

namespace {

using gltest::Owned;
using gltest::Rgba;

constexpr float kOpaqueBlack[4] = {0, 0, 0, 1};

// A full-target quad whose texture coordinates run from (0, 0) in the upper-left corner to
// (1, 1) in the lower-right, sampling unit 0 through the sampler binding "image".
constexpr const char* kTexturedVertexShader = R"(#version 450
layout(location = 0) in vec2 position;
layout(location = 0) out vec2 uv;
void main() {
  uv = position * 0.5 + 0.5;
  gl_Position = vec4(position, 0.0, 1.0);
})";

constexpr const char* kTexturedFragmentShader = R"(#version 450
uniform sampler2D image;
layout(location = 0) in vec2 uv;
layout(location = 0) out vec4 fragColor;
void main() { fragColor = texture(image, uv); })";

Draw::VertexLayoutDesc PositionLayout() {
  Draw::VertexLayoutDesc desc;
  desc.bindings = {{8, 0}};
  desc.attributes = {{0, 0, Draw::R32G32_FLOAT, 0}};
  return desc;
}

class OpenGLSamplingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL(gl_);
    context_ = gl_.Context();
    Draw::SamplerStateDesc nearest;
    nearest.magFilter = Draw::TextureFilter::NEAREST;
    nearest.minFilter = Draw::TextureFilter::NEAREST;
    nearest.mipFilter = Draw::TextureFilter::NEAREST;
    nearest.wrapU = nearest.wrapV = nearest.wrapW = Draw::TextureAddressMode::CLAMP_TO_EDGE;
    nearest_.reset(context_->CreateSamplerState(nearest));
  }

  // Draws the textured quad into a fresh size x size target and returns its pixels.
  std::vector<uint32_t> SampleToTarget(Draw::Texture* texture, int size) {
    gltest::TestPipeline pipeline =
        gltest::MakePipeline(context_, kTexturedVertexShader, kTexturedFragmentShader,
                             PositionLayout(), {}, {}, {{"image", 0}});
    EXPECT_NE(pipeline.get(), nullptr);
    if (pipeline.get() == nullptr) return {};
    gltest::OffscreenTarget target(context_, size, size);
    target.Begin(context_, kOpaqueBlack);
    gltest::SetFullViewport(context_, size, size);
    context_->BeginFrame();
    context_->BindPipeline(pipeline.get());
    context_->BindTexture(0, texture);
    context_->BindSampler(0, nearest_.get());
    auto* corners = static_cast<float*>(context_->AllocateImmediateVertices(4, 8));
    const float quad[8] = {-1, -1, 1, -1, -1, 1, 1, 1};
    std::memcpy(corners, quad, sizeof(quad));
    context_->DrawImmediate(Draw::Primitive::TRIANGLE_STRIP);
    std::vector<uint32_t> pixels = gl_.ReadPixels(0, 0, size, size);
    context_->Present();
    return pixels;
  }

  GLTestContext gl_{16, 16};
  Draw::OpenGLContext* context_ = nullptr;
  Owned<Draw::Sampler> nearest_;
};

TEST_F(OpenGLSamplingTest, AlphaMaskSamplesWhiteWithAlphaFromTheFirstChannel) {
  Draw::TextureDesc desc;
  desc.format = Draw::R8_UNORM;
  desc.width = 4;
  desc.height = 4;
  desc.flags = Draw::ALPHA_MASK;
  Owned<Draw::Texture> mask(context_->CreateTexture(desc));
  ASSERT_NE(mask, nullptr);
  // One byte per texel: rows of 4 bytes need no padding. Row 0 is the top of the image.
  uint8_t coverage[16];
  for (int i = 0; i < 16; ++i) coverage[i] = uint8_t(i * 16 + 5);
  context_->UpdateTextureLevel(mask.get(), 0, 0, 0, 0, 4, 4, 1, 4, 16, coverage);

  const std::vector<uint32_t> pixels = SampleToTarget(mask.get(), 4);
  ASSERT_EQ(pixels.size(), 16u);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(pixels[i], Rgba(255, 255, 255, coverage[i])) << "texel " << i;
  }
}

TEST_F(OpenGLSamplingTest, RowsOfThreeByteTexelsArePaddedToFourBytes) {
  Draw::TextureDesc desc;
  desc.format = Draw::R8G8B8_UNORM;
  desc.width = 3;
  desc.height = 3;
  Owned<Draw::Texture> texture(context_->CreateTexture(desc));
  // 9 bytes of texels per row, padded to 12.
  uint8_t rows[3][12] = {};
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      rows[y][x * 3 + 0] = uint8_t(40 * x + 10);
      rows[y][x * 3 + 1] = uint8_t(40 * y + 20);
      rows[y][x * 3 + 2] = 200;
    }
    rows[y][9] = rows[y][10] = rows[y][11] = 0xEE;
  }
  context_->UpdateTextureLevel(texture.get(), 0, 0, 0, 0, 3, 3, 1, 12, 36, rows);
  const std::vector<uint32_t> pixels = SampleToTarget(texture.get(), 3);
  ASSERT_EQ(pixels.size(), 9u);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(pixels[y * 3 + x], Rgba(40 * x + 10, 40 * y + 20, 200)) << x << ", " << y;
    }
  }
}

TEST_F(OpenGLSamplingTest, CompressedBlocksUploadWhole) {
  Draw::TextureDesc desc;
  desc.format = Draw::BC1_RGB_UNORM;
  desc.width = 4;
  desc.height = 4;
  Owned<Draw::Texture> texture(context_->CreateTexture(desc));
  // One BC1 block: both end points pure red in 5:6:5, every index 0.
  const uint8_t block[8] = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
  LogCapture log;
  context_->UpdateTextureLevel(texture.get(), 0, 0, 0, 0, 4, 4, 1, 0, 0, block);
  EXPECT_TRUE(log.Messages().empty());
  const std::vector<uint32_t> pixels = SampleToTarget(texture.get(), 4);
  ASSERT_EQ(pixels.size(), 16u);
  for (uint32_t pixel : pixels) {
    EXPECT_EQ(pixel, Rgba(255, 0, 0));
  }
}

TEST_F(OpenGLSamplingTest, CubeFacesAreUploadedByIndexAndSampledByDirection) {
  Draw::TextureDesc desc;
  desc.format = Draw::R8G8B8A8_UNORM;
  desc.width = 2;
  desc.height = 2;
  desc.depth = 6;
  desc.flags = Draw::CUBE;
  Owned<Draw::Texture> cube(context_->CreateTexture(desc));
  ASSERT_NE(cube, nullptr);
  int32_t width = 0, height = 0, depth = 0;
  context_->GetTextureDimensions(cube.get(), &width, &height, &depth);
  EXPECT_EQ(width, 2);
  EXPECT_EQ(height, 2);
  EXPECT_EQ(depth, 1) << "a single cube records depth 1";

  const uint32_t faceColors[6] = {Rgba(255, 0, 0),   Rgba(0, 255, 0),   Rgba(0, 0, 255),
                                  Rgba(255, 255, 0), Rgba(0, 255, 255), Rgba(255, 0, 255)};
  for (int face = 0; face < 6; ++face) {
    const uint32_t texels[4] = {faceColors[face], faceColors[face], faceColors[face],
                                faceColors[face]};
    context_->UpdateTextureLevel(cube.get(), 0, 0, 0, face, 2, 2, 1, 8, 16, texels);
  }

  // Pixel column i of a 6 x 1 target looks along the axis of face i (+X, -X, +Y, -Y, +Z, -Z).
  constexpr const char* kCubeFragment = R"(#version 450
uniform samplerCube sky;
layout(location = 0) out vec4 fragColor;
const vec3 kAxes[6] = vec3[6](vec3(1, 0, 0), vec3(-1, 0, 0), vec3(0, 1, 0),
                              vec3(0, -1, 0), vec3(0, 0, 1), vec3(0, 0, -1));
void main() { fragColor = texture(sky, kAxes[int(gl_FragCoord.x)]); })";
  gltest::TestPipeline pipeline =
      gltest::MakePipeline(context_, kTexturedVertexShader, kCubeFragment, PositionLayout(), {},
                           {}, {{"sky", 3}});
  ASSERT_NE(pipeline.get(), nullptr);
  gltest::OffscreenTarget target(context_, 6, 1);
  target.Begin(context_, kOpaqueBlack);
  gltest::SetFullViewport(context_, 6, 1);
  context_->BeginFrame();
  context_->BindPipeline(pipeline.get());
  context_->BindTexture(3, cube.get());
  context_->BindSampler(3, nearest_.get());
  auto* corners = static_cast<float*>(context_->AllocateImmediateVertices(4, 8));
  const float quad[8] = {-1, -1, 1, -1, -1, 1, 1, 1};
  std::memcpy(corners, quad, sizeof(quad));
  context_->DrawImmediate(Draw::Primitive::TRIANGLE_STRIP);
  const std::vector<uint32_t> pixels = gl_.ReadPixels(0, 0, 6, 1);
  ASSERT_EQ(pixels.size(), 6u);
  for (int face = 0; face < 6; ++face) {
    EXPECT_EQ(pixels[face], faceColors[face]) << "face " << face;
  }
}

TEST_F(OpenGLSamplingTest, NullTextureAndSamplerEmptyTheirUnits) {
  Draw::TextureDesc desc;
  desc.format = Draw::R8G8B8A8_UNORM;
  desc.width = 1;
  desc.height = 1;
  Owned<Draw::Texture> texture(context_->CreateTexture(desc));
  const uint32_t red = Rgba(255, 0, 0);
  context_->UpdateTextureLevel(texture.get(), 0, 0, 0, 0, 1, 1, 1, 4, 4, &red);
  EXPECT_EQ(SampleToTarget(texture.get(), 2)[0], red);

  // An empty unit samples as opaque black.
  EXPECT_EQ(SampleToTarget(nullptr, 2)[0], Rgba(0, 0, 0, 255));

  context_->BindTexture(5, texture.get());
  context_->BindSampler(5, nearest_.get());
  context_->BindTexture(5, nullptr);
  context_->BindSampler(5, nullptr);
  GLint boundTexture = -1, boundSampler = -1;
  glActiveTexture(GL_TEXTURE5);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);
  glGetIntegerv(GL_SAMPLER_BINDING, &boundSampler);
  glActiveTexture(GL_TEXTURE0);
  EXPECT_EQ(boundTexture, 0);
  EXPECT_EQ(boundSampler, 0);
}

TEST_F(OpenGLSamplingTest, TexturesThatCannotExistAreRefused) {
  struct Case {
    const char* name;
    int32_t width, height, depth, mipLevels, flags;
  };
  const Case cases[] = {
      {"zero width", 0, 4, 1, 1, 0},
      {"negative height", 4, -1, 1, 1, 0},
      {"no mip levels", 4, 4, 1, 0, 0},
      {"more mip levels than halvings", 4, 4, 1, 4, 0},
      {"cube with five faces", 4, 4, 5, 1, Draw::CUBE},
      {"cube with two cubes but no array", 4, 4, 12, 1, Draw::CUBE},
      {"cube with oblong faces", 4, 2, 6, 1, Draw::CUBE},
  };
  for (const Case& c : cases) {
    Draw::TextureDesc desc;
    desc.format = Draw::R8G8B8A8_UNORM;
    desc.width = c.width;
    desc.height = c.height;
    desc.depth = c.depth;
    desc.mipLevels = c.mipLevels;
    desc.flags = c.flags;
    LogCapture log;
    Owned<Draw::Texture> texture(context_->CreateTexture(desc));
    EXPECT_EQ(texture, nullptr) << c.name;
    EXPECT_FALSE(log.Messages().empty()) << c.name;
  }
}

TEST_F(OpenGLSamplingTest, UploadsOutsideTheLevelAreRefusedAndLeaveTheTexture) {
  Draw::TextureDesc desc;
  desc.format = Draw::R8G8B8A8_UNORM;
  desc.width = 4;
  desc.height = 4;
  desc.mipLevels = 2;
  Owned<Draw::Texture> texture(context_->CreateTexture(desc));
  std::vector<uint32_t> green(16, Rgba(0, 255, 0));
  context_->UpdateTextureLevel(texture.get(), 0, 0, 0, 0, 4, 4, 1, 16, 64, green.data());

  std::vector<uint32_t> red(64, Rgba(255, 0, 0));
  struct Case {
    const char* name;
    int32_t level, x, y, width, height;
  };
  const Case cases[] = {
      {"wider than the level", 0, 1, 0, 4, 1},
      {"below the level", 0, 0, 3, 1, 2},
      {"negative origin", 0, -1, 0, 1, 1},
      {"level 1 is 2 x 2", 1, 0, 0, 4, 4},
      {"level that does not exist", 2, 0, 0, 1, 1},
      {"negative level", -1, 0, 0, 1, 1},
  };
  for (const Case& c : cases) {
    LogCapture log;
    context_->UpdateTextureLevel(texture.get(), c.level, c.x, c.y, 0, c.width, c.height, 1, 0, 0,
                                 red.data());
    EXPECT_TRUE(log.Contains("does not fit")) << c.name;
  }
  LogCapture log;
  context_->UpdateTextureLevel(texture.get(), 0, 0, 0, 0, 4, 4, 1, 16, 64, nullptr);
  EXPECT_TRUE(log.Contains("without data"));

  std::vector<uint32_t> texels(16, 0);
  glGetTextureImage(static_cast<Draw::OpenGLTexture*>(texture.get())->name, 0, GL_RGBA,
                    GL_UNSIGNED_BYTE, int(texels.size() * 4), texels.data());
  EXPECT_EQ(texels, green);

  // A 2D texture has a single slice: more is a programming error.
  CheckCapture checks;
  context_->UpdateTextureLevel(texture.get(), 0, 0, 0, 0, 2, 2, 2, 8, 16, red.data());
  ASSERT_EQ(checks.Count(), 1);
  EXPECT_NE(checks.Messages()[0].find("Draw::OpenGLContext::UpdateTextureLevel"),
            std::string::npos);
}

}  // namespace
