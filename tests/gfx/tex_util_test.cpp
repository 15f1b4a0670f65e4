// Textures computed on the CPU, uploaded to the real driver and read back.
#include "gfx/tex_util.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/gfx/gl_test_context.h"
#include "tests/gfx/texture_test_util.h"
#include "tests/support/log_capture.h"

namespace {

using textest::Rgba;

class TexUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL(gl_);
    context_ = gl_.Context();
  }

  GLTestContext gl_;
  Draw::OpenGLContext* context_ = nullptr;
};

TEST_F(TexUtilTest, SolidColorFillsEveryTexel) {
  const uint32_t color = Rgba(10, 20, 30, 40);
  std::unique_ptr<Draw::Texture> texture(
      CreateSolidColorTexture(context_, 4, 3, 0, Draw::R8G8B8A8_UNORM, color));
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(textest::TextureParameter(texture.get(), GL_TEXTURE_IMMUTABLE_LEVELS), 1);
  const std::vector<uint32_t> texels = textest::ReadRGBA8(texture.get());
  EXPECT_EQ(texels, std::vector<uint32_t>(12, color));
}

TEST_F(TexUtilTest, GeneratorIsSampledAtTexelCornersAndItsResultLandsAtThatTexel) {
  std::vector<Vec2> calls;
  std::unique_ptr<Draw::Texture> texture(CreateTextureFromFunction(
      context_, 4, 4, 0, Draw::R8G8B8A8_UNORM, [&](Vec2 uv) {
        calls.push_back(uv);
        return Vec4{uv.x, uv.y, 0.5f, 1.0f};
      }));
  ASSERT_NE(texture, nullptr);
  ASSERT_EQ(calls.size(), 16u);
  const std::vector<uint32_t> texels = textest::ReadRGBA8(texture.get());
  const float corners[4] = {0.0f, 0.25f, 0.5f, 0.75f};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const Vec2 uv = calls[y * 4 + x];
      EXPECT_EQ(uv.x, corners[x]) << x << "," << y;
      EXPECT_EQ(uv.y, corners[y]) << x << "," << y;
      // Packing truncates: 0.25 -> 63, 0.5 -> 127, 0.75 -> 191.
      EXPECT_EQ(texels[y * 4 + x], ColorToRGBA8({corners[x], corners[y], 0.5f, 1.0f}))
          << x << "," << y;
    }
  }
}

TEST_F(TexUtilTest, EachGeneratedFormatStoresWhatItSays) {
  // An odd width, so that two-byte texels need padded rows to arrive in place.
  constexpr int kWidth = 3, kHeight = 2;
  auto generator = [](Vec2 uv) { return Vec4{uv.x + 0.1f, uv.y + 0.2f, 0.3f, 0.9f}; };
  struct Case {
    Draw::DataFormat format;
    GLenum internalFormat;
  };
  const Case cases[] = {{Draw::R8G8B8A8_UNORM, GL_RGBA8},
                        {Draw::R8G8_UNORM, GL_RG8},
                        {Draw::R32G32B32A32_FLOAT, GL_RGBA8},
                        {Draw::R32_FLOAT, GL_R32F}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.format));
    std::unique_ptr<Draw::Texture> texture(
        CreateTextureFromFunction(context_, kWidth, kHeight, 0, c.format, generator));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(textest::LevelParameter(texture.get(), 0, GL_TEXTURE_INTERNAL_FORMAT),
              GLint(c.internalFormat));
    const std::vector<float> texels =
        textest::ReadTexels<float>(texture.get(), 0, 0, GL_RGBA, GL_FLOAT, 4);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const Vec4 expected = generator({float(x) / kWidth, float(y) / kHeight});
        const float* texel = &texels[(y * kWidth + x) * 4];
        // 8-bit formats hold the truncated packing (or the driver's rounding for float input).
        const float tolerance = c.format == Draw::R32_FLOAT ? 0.0f : 1.0f / 255.0f;
        EXPECT_NEAR(texel[0], expected.x, tolerance) << x << "," << y;
        if (c.format == Draw::R32_FLOAT) continue;
        EXPECT_NEAR(texel[1], expected.y, tolerance) << x << "," << y;
        if (c.format == Draw::R8G8_UNORM) continue;
        EXPECT_NEAR(texel[2], expected.z, tolerance) << x << "," << y;
        EXPECT_NEAR(texel[3], expected.w, tolerance) << x << "," << y;
      }
    }
  }
}

TEST_F(TexUtilTest, CubemapFacesEvaluateTheirDirectionsAndLandOnTheirFaces) {
  constexpr int kSize = 4;
  std::vector<Vec3> calls;
  std::unique_ptr<Draw::Texture> texture(
      CreateCubemapFromFunction(context_, kSize, Draw::R32G32B32A32_FLOAT, [&](Vec3 d) {
        calls.push_back(d);
        // Colour from the direction, to see which face each image was uploaded to.
        return Vec4{d.x * 0.5f + 0.5f, d.y * 0.5f + 0.5f, d.z * 0.5f + 0.5f, 1.0f};
      }));
  ASSERT_NE(texture, nullptr);
  ASSERT_EQ(calls.size(), size_t(6 * kSize * kSize));
  EXPECT_EQ(textest::AsGL(texture.get())->target, GLenum(GL_TEXTURE_CUBE_MAP));

  struct Case {
    int face, x, y;
    Vec3 direction;
  };
  const Case cases[] = {
      {2, 0, 0, {-1, 1, -1}},   {0, 0, 0, {1, -1, -1}},     {1, 2, 1, {-1, 0, -0.5f}},
      {3, 1, 3, {-0.5f, -1, 0.5f}}, {4, 3, 2, {0.5f, 0, 1}}, {5, 1, 1, {-0.5f, -0.5f, -1}},
  };
  for (const Case& c : cases) {
    const Vec3 d = calls[(c.face * kSize + c.y) * kSize + c.x];
    EXPECT_EQ(d.x, c.direction.x) << "face " << c.face;
    EXPECT_EQ(d.y, c.direction.y) << "face " << c.face;
    EXPECT_EQ(d.z, c.direction.z) << "face " << c.face;
    const std::vector<float> texels =
        textest::ReadTexels<float>(texture.get(), 0, c.face, GL_RGBA, GL_FLOAT, 4);
    const float* texel = &texels[(c.y * kSize + c.x) * 4];
    EXPECT_NEAR(texel[0], c.direction.x * 0.5f + 0.5f, 1.0f / 255) << "face " << c.face;
    EXPECT_NEAR(texel[1], c.direction.y * 0.5f + 0.5f, 1.0f / 255) << "face " << c.face;
    EXPECT_NEAR(texel[2], c.direction.z * 0.5f + 0.5f, 1.0f / 255) << "face " << c.face;
  }
}

TEST(TexUtilChecksTest, UnsupportedFormatsAreFailedChecksAndCreateNothing) {
  textest::RecordingContext context;
  CheckCapture checks;
  struct Case {
    const char* function;
    Draw::Texture* (*make)(Draw::DrawContext*);
  };
  const Case cases[] = {
      {"CreateSolidColorTexture",
       [](Draw::DrawContext* c) {
         return CreateSolidColorTexture(c, 4, 4, 0, Draw::R8G8_UNORM, 0xFFFFFFFF);
       }},
      {"CreateTextureFromFunction",
       [](Draw::DrawContext* c) {
         return CreateTextureFromFunction(c, 4, 4, 0, Draw::R16G16B16A16_FLOAT,
                                          [](Vec2) { return Vec4{}; });
       }},
      {"CreateTextureFromFunction",
       [](Draw::DrawContext* c) {
         return CreateTextureFromFunction(c, 4, 4, 0, Draw::R8G8B8A8_UNORM_SRGB,
                                          [](Vec2) { return Vec4{}; });
       }},
      {"CreateCubemapFromFunction",
       [](Draw::DrawContext* c) {
         return CreateCubemapFromFunction(c, 4, Draw::R8G8_UNORM, [](Vec3) { return Vec4{}; });
       }},
      {"CreateCubemapFromFunction",
       [](Draw::DrawContext* c) {
         return CreateCubemapFromFunction(c, 4, Draw::R32_FLOAT, [](Vec3) { return Vec4{}; });
       }},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].make(&context), nullptr) << i;
    ASSERT_EQ(checks.Count(), int(i + 1)) << i;
    EXPECT_NE(checks.Messages()[i].find(cases[i].function), std::string::npos)
        << checks.Messages()[i];
    EXPECT_NE(checks.Messages()[i].find("tex_util.cpp"), std::string::npos)
        << checks.Messages()[i];
  }
  EXPECT_TRUE(context.created.empty());
}

}  // namespace
