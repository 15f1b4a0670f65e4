// The texture files the build generates into the data tree, read the way the program reads them.
#include <stb_image.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/math_types.h"
#include "file/file_util.h"
#include "gfx/ktx.h"
#include "gfx/texture_loader.h"
#include "tests/gfx/gl_test_context.h"
#include "tests/gfx/opengl_test_util.h"
#include "tests/gfx/texture_test_util.h"
#include "tools/texture_builder/half_float.h"

namespace {

const std::string kDataDir = LOOMWORK_DATA_DIR;

struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* At(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

Image Decode(const std::string& relative) {
  Image image;
  int channels = 0;
  uint8_t* pixels =
      stbi_load((kDataDir + "/" + relative).c_str(), &image.width, &image.height, &channels, 4);
  if (pixels != nullptr) {
    image.rgba.assign(pixels, pixels + size_t(image.width) * image.height * 4);
    stbi_image_free(pixels);
  }
  return image;
}

// The panel's icon rectangles in the atlas, in pixels.
struct IconRect {
  const char* name;
  int x, y, w, h;
};
constexpr IconRect kIcons[] = {
    {"circle", 0, 0, 64, 64},     {"square", 64, 0, 64, 64},     {"minus", 128, 0, 64, 64},
    {"plus", 192, 0, 64, 64},     {"new", 64, 64, 64, 64},       {"mirror", 192, 64, 64, 64},
    {"paint", 256, 64, 64, 64},   {"dropper", 320, 64, 64, 64},  {"slider", 0, 128, 256, 64},
    {"box", 0, 256, 64, 64},      {"cylinder", 64, 256, 64, 64}, {"sphere", 128, 256, 64, 64},
    {"empty", 0, 512, 0, 64},     {"load", 192, 192, 64, 64},    {"save", 256, 192, 64, 64},
    {"day", 0, 320, 64, 64},      {"night", 64, 320, 64, 64},
};

TEST(TextureBuilderOutputTest, ToolAtlasHasEveryIconInItsRectangleAndTheWhiteTexel) {
  const Image atlas = Decode("textures/tools.png");
  ASSERT_GE(atlas.width, 512);
  ASSERT_GE(atlas.height, 576);

  std::vector<uint8_t> claimed(size_t(atlas.width) * atlas.height, 0);
  auto claim = [&](int x0, int y0, int w, int h) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) claimed[size_t(y) * atlas.width + x] = 1;
  };
  for (const IconRect& icon : kIcons) {
    if (icon.w == 0) continue;
    claim(icon.x, icon.y, icon.w, icon.h);
    int opaque = 0, partial = 0;
    for (int y = icon.y; y < icon.y + icon.h; ++y) {
      for (int x = icon.x; x < icon.x + icon.w; ++x) {
        const uint8_t alpha = atlas.At(x, y)[3];
        opaque += alpha == 255;
        partial += alpha > 0 && alpha < 255;
      }
    }
    // A recognisable shape covers a fair part of its cell and has soft (anti-aliased) edges.
    EXPECT_GT(opaque, icon.w * icon.h / 20) << icon.name;
    EXPECT_GT(partial, 20) << icon.name;
    // Nothing touches the cell's border, where filtering would mix in the neighbour.
    int onBorder = 0;
    for (int i = 0; i < icon.w; ++i) {
      onBorder += atlas.At(icon.x + i, icon.y)[3] + atlas.At(icon.x + i, icon.y + icon.h - 1)[3];
    }
    for (int i = 0; i < icon.h; ++i) {
      onBorder += atlas.At(icon.x, icon.y + i)[3] + atlas.At(icon.x + icon.w - 1, icon.y + i)[3];
    }
    EXPECT_EQ(onBorder, 0) << icon.name;
  }

  // Bilinear filtering at (288, 32) reads the four texels around that corner; the whole cell
  // around it is opaque white so mip levels read white too.
  for (int y = 0; y < 64; ++y) {
    for (int x = 256; x < 320; ++x) {
      const uint8_t* texel = atlas.At(x, y);
      ASSERT_TRUE(texel[0] == 255 && texel[1] == 255 && texel[2] == 255 && texel[3] == 255)
          << x << "," << y;
    }
  }
  claim(256, 0, 64, 64);

  int stray = 0;
  for (int y = 0; y < atlas.height; ++y)
    for (int x = 0; x < atlas.width; ++x)
      stray += !claimed[size_t(y) * atlas.width + x] && atlas.At(x, y)[3] != 0;
  EXPECT_EQ(stray, 0) << "texels outside every icon";
}

TEST(TextureBuilderOutputTest, BrushImagesAreWhiteWithShapeInAlpha) {
  const Image blob = Decode("textures/blob.png");
  ASSERT_GT(blob.width, 0);
  const int cx = blob.width / 2, cy = blob.height / 2;
  EXPECT_GT(blob.At(cx, cy)[3], 250);
  EXPECT_EQ(blob.At(0, 0)[3], 0);
  EXPECT_EQ(blob.At(0, cy)[3], 0);
  // Alpha falls steadily from the centre to the rim.
  for (int x = cx + 1; x < blob.width; ++x) {
    EXPECT_LE(blob.At(x, cy)[3], blob.At(x - 1, cy)[3]) << x;
  }

  const Image proxy = Decode("textures/proxy.png");
  ASSERT_GT(proxy.width, 0);
  uint8_t least = 255, most = 0;
  for (size_t i = 0; i < proxy.rgba.size(); i += 4) {
    EXPECT_EQ(proxy.rgba[i], 255);
    least = std::min(least, proxy.rgba[i + 3]);
    most = std::max(most, proxy.rgba[i + 3]);
  }
  // Translucent everywhere, with a visible pattern.
  EXPECT_GT(least, 0);
  EXPECT_LT(most, 255);
  EXPECT_GT(most - least, 64);
  // The pattern tiles: the row and column just past each edge continue the opposite edge.
  for (int i = 0; i < proxy.width; ++i) {
    EXPECT_EQ(proxy.At(i, 0)[3], proxy.At(i, proxy.height - 1)[3]) << i;
    EXPECT_EQ(proxy.At(0, i)[3], proxy.At(proxy.width - 1, i)[3]) << i;
  }
}

TEST(TextureBuilderOutputTest, PanelFontIsCopied) {
  std::vector<uint8_t> copy, original;
  ASSERT_TRUE(ReadFile(kDataDir + "/assets/Comfortaa_Bold.ttf", copy));
  ASSERT_TRUE(ReadFile("/usr/share/fonts/truetype/comfortaa/Comfortaa-Bold.ttf", original));
  EXPECT_EQ(copy, original);
}

class SkyTextureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL(gl_);
    context_ = gl_.Context();
  }

  // Samples a level of the cube map through the driver (so with OpenGL's own face selection) in
  // the given directions, scaled, one pixel per direction.
  std::vector<Vec4> SampleSky(Draw::Texture* sky, const std::vector<Vec3>& directions, float lod,
                              float scale) {
    std::string fragment = "#version 450\nlayout(binding = 1) uniform samplerCube sky;\n"
                           "layout(location = 0) out vec4 fragColor;\nconst vec3 directions[" +
                           std::to_string(directions.size()) + "] = vec3[](";
    for (size_t i = 0; i < directions.size(); ++i) {
      fragment += (i ? ", vec3(" : "vec3(") + std::to_string(directions[i].x) + ", " +
                  std::to_string(directions[i].y) + ", " + std::to_string(directions[i].z) + ")";
    }
    fragment += ");\nvoid main() { fragColor = vec4(textureLod(sky, directions[int(gl_FragCoord.x)], " +
                std::to_string(lod) + ").rgb * " + std::to_string(scale) + ", 1.0); }\n";
    gltest::TestPipeline pipeline = gltest::MakePipeline(
        context_, gltest::kColorVertexShader, fragment, gltest::ColorVertexLayout());
    if (pipeline.get() == nullptr) {
      ADD_FAILURE() << "sampling pipeline";
      return {};
    }
    const int width = int(directions.size());
    gltest::OffscreenTarget target(context_, width, 1);
    constexpr float kClear[4] = {0, 0, 0, 0};
    context_->BeginFrame();
    target.Begin(context_, kClear);
    gltest::SetFullViewport(context_, width, 1);
    context_->BindPipeline(pipeline.get());
    context_->BindTexture(1, sky);
    auto* quad = static_cast<gltest::ColorVertex*>(
        context_->AllocateImmediateVertices(4, sizeof(gltest::ColorVertex)));
    quad[0] = {-1, -1, 0};
    quad[1] = {1, -1, 0};
    quad[2] = {-1, 1, 0};
    quad[3] = {1, 1, 0};
    context_->DrawImmediate(Draw::Primitive::TRIANGLE_STRIP);
    std::vector<Vec4> samples;
    for (uint32_t pixel : gl_.ReadPixels(0, 0, width, 1)) {
      samples.push_back({(pixel & 0xFF) / 255.0f, ((pixel >> 8) & 0xFF) / 255.0f,
                         ((pixel >> 16) & 0xFF) / 255.0f, 1.0f});
    }
    context_->BindTexture(1, nullptr);
    return samples;
  }

  std::unique_ptr<Draw::Texture> LoadSky(const char* name) {
    std::vector<uint8_t> file;
    if (!ReadFile(kDataDir + "/textures/" + name, file)) {
      ADD_FAILURE() << name << " missing";
      return nullptr;
    }
    return std::unique_ptr<Draw::Texture>(CreateTextureFromKTX(context_, file));
  }

  GLTestContext gl_;
  Draw::OpenGLContext* context_ = nullptr;
};

TEST_F(SkyTextureTest, BothSkiesAreCubeMapsWithPrefilteredLevels) {
  for (const char* name : {"nightskybox_filtered.ktx", "swiss_filtered.ktx"}) {
    std::unique_ptr<Draw::Texture> sky = LoadSky(name);
    ASSERT_NE(sky, nullptr) << name;
    EXPECT_EQ(textest::AsGL(sky.get())->target, GLenum(GL_TEXTURE_CUBE_MAP)) << name;
    const GLint size = textest::LevelParameter(sky.get(), 0, GL_TEXTURE_WIDTH);
    const GLint levels = textest::TextureParameter(sky.get(), GL_TEXTURE_IMMUTABLE_LEVELS);
    EXPECT_GE(size, 64) << name;
    EXPECT_GT(levels, 1) << name;
    // Each level is a blurrier version of the one before: the spread between the brightest and
    // darkest texel of the top face shrinks.
    float previousSpread = 1e30f;
    for (int level = 0; level < levels; ++level) {
      const std::vector<uint16_t> top =
          textest::ReadTexels<uint16_t>(sky.get(), level, 2, GL_RED, GL_HALF_FLOAT, 1);
      float least = 1e30f, most = 0;
      for (uint16_t half : top) {
        const float value = HalfToFloat(half);
        ASSERT_TRUE(std::isfinite(value) && value >= 0) << name << " level " << level;
        least = std::min(least, value);
        most = std::max(most, value);
      }
      EXPECT_LE(most - least, previousSpread * 1.001f) << name << " level " << level;
      previousSpread = most - least;
    }
  }
}

TEST_F(SkyTextureTest, DaySkyIsUprightWithTheSunWhereTheLightComesFrom) {
  std::unique_ptr<Draw::Texture> sky = LoadSky("swiss_filtered.ktx");
  ASSERT_NE(sky, nullptr);
  const float r = 1.0f / std::sqrt(3.0f);
  // The sun, away from it, zenith, nadir, and just above and below the horizon.
  const std::vector<Vec3> directions = {{r, r, r},   {-r, r, -r},          {0, 1, 0},
                                        {0, -1, 0}, {-0.8f, 0.35f, -0.5f}, {-0.8f, -0.35f, -0.5f}};
  const std::vector<Vec4> sharp = SampleSky(sky.get(), directions, 0.0f, 0.02f);
  ASSERT_EQ(sharp.size(), directions.size());
  EXPECT_GT(sharp[0].x, 0.5f) << "the sun is far brighter than anything else";
  for (size_t i = 1; i < directions.size(); ++i) EXPECT_LT(sharp[i].x, 0.05f) << i;
  // Colours from a blurred level, so that a cloud or a mountain in one direction does not decide.
  const std::vector<Vec4> broad = SampleSky(sky.get(), directions, 4.0f, 1.0f);
  ASSERT_EQ(broad.size(), directions.size());
  EXPECT_GT(broad[2].z, broad[2].x + 0.1f) << "blue overhead";
  EXPECT_GT(broad[3].y, broad[3].z) << "green underfoot";
  EXPECT_GT(broad[4].z, broad[4].y) << "sky above the horizon";
  EXPECT_GT(broad[5].y, broad[5].z) << "ground below it";
  EXPECT_GT(broad[2].x + broad[2].y + broad[2].z, broad[3].x + broad[3].y + broad[3].z)
      << "brighter above than below";
}

TEST_F(SkyTextureTest, NightSkyIsDarkAboveAndDarkerBelow) {
  std::unique_ptr<Draw::Texture> sky = LoadSky("nightskybox_filtered.ktx");
  ASSERT_NE(sky, nullptr);
  // Level 0 overhead may hit a star, so compare broad averages of the most blurred level.
  const GLint levels = textest::TextureParameter(sky.get(), GL_TEXTURE_IMMUTABLE_LEVELS);
  auto average = [&](int face) {
    const std::vector<uint16_t> texels =
        textest::ReadTexels<uint16_t>(sky.get(), levels - 3, face, GL_RGBA, GL_HALF_FLOAT, 4);
    Vec3 sum;
    for (size_t i = 0; i < texels.size(); i += 4) {
      sum = sum + Vec3{HalfToFloat(texels[i]), HalfToFloat(texels[i + 1]),
                       HalfToFloat(texels[i + 2])};
    }
    return sum * (4.0f / texels.size());
  };
  const Vec3 up = average(2), down = average(3);
  EXPECT_LT(up.x + up.y + up.z, 0.5f) << "night";
  EXPECT_GT(up.z, up.x) << "blue";
  EXPECT_GT(up.x + up.y + up.z, down.x + down.y + down.z) << "the ground is darker";
}

}  // namespace
