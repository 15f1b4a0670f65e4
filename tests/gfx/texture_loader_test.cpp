// Image files written by a real PNG encoder, loaded through the data roots into real textures.
#include "gfx/texture_loader.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/log.h"
#include "tests/gfx/gl_test_context.h"
#include "tests/gfx/texture_test_util.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_directory.h"

namespace {

using textest::Rgba;
using Owned = std::unique_ptr<Draw::Texture>;

TEST(TextureMipLevelsTest, OneLevelShortOfACompleteChainAndNeverNone) {
  struct Case {
    int width, height;
    uint32_t flags;
    int levels;
  };
  const Case cases[] = {
      {512, 512, GENERATE_MIPS, 9}, {512, 512, 0, 1},      {64, 8, GENERATE_MIPS, 3},
      {100, 300, GENERATE_MIPS, 6}, {2, 2, GENERATE_MIPS, 1}, {1, 256, GENERATE_MIPS, 1},
      {1, 1, GENERATE_MIPS | SRGB, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadedTextureMipLevels(c.width, c.height, c.flags), c.levels)
        << c.width << " x " << c.height << " flags " << c.flags;
  }
}

class TextureLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL(gl_);
    context_ = gl_.Context();
    dir_.MakeDirectory("first");
    dir_.MakeDirectory("second");
    AddDataRoot(roots_, dir_.File("first"));
    AddDataRoot(roots_, dir_.File("second"));
  }

  GLTestContext gl_;
  Draw::OpenGLContext* context_ = nullptr;
  TempDirectory dir_;
  DataRoots roots_;
};

TEST_F(TextureLoaderTest, FlagsChooseLevelsAndFormat) {
  textest::WritePng(dir_.File("second/big.png"), 512, 512,
                    std::vector<uint32_t>(512 * 512, Rgba(1, 2, 3, 4)));
  struct Case {
    uint32_t flags;
    GLint levels;
    GLenum internalFormat;
  };
  const Case cases[] = {{0, 1, GL_RGBA8},
                        {GENERATE_MIPS, 9, GL_RGBA8},
                        {SRGB, 1, GL_SRGB8_ALPHA8},
                        {GENERATE_MIPS | SRGB, 9, GL_SRGB8_ALPHA8}};
  for (const Case& c : cases) {
    Owned texture(LoadTexture(context_, &roots_, "big.png", c.flags));
    ASSERT_NE(texture, nullptr) << c.flags;
    EXPECT_EQ(textest::TextureParameter(texture.get(), GL_TEXTURE_IMMUTABLE_LEVELS), c.levels)
        << c.flags;
    EXPECT_EQ(textest::LevelParameter(texture.get(), 0, GL_TEXTURE_INTERNAL_FORMAT),
              GLint(c.internalFormat))
        << c.flags;
    EXPECT_EQ(textest::AsGL(texture.get())->target, GLenum(GL_TEXTURE_2D));
    EXPECT_EQ(textest::ReadRGBA8(texture.get())[0], Rgba(1, 2, 3, 4)) << c.flags;
  }
  // The generated levels really are filled from level 0.
  Owned mipmapped(LoadTexture(context_, &roots_, "big.png", GENERATE_MIPS));
  ASSERT_NE(mipmapped, nullptr);
  EXPECT_EQ(textest::ReadRGBA8(mipmapped.get(), 8), std::vector<uint32_t>(4, Rgba(1, 2, 3, 4)));
}

TEST_F(TextureLoaderTest, TexelsArriveInPlaceAndPremultiplyOnlyWhenAsked) {
  // Top row first in the file, top row first in the texture.
  const std::vector<uint32_t> image = {Rgba(200, 100, 50, 128), Rgba(255, 255, 255, 0),
                                       Rgba(255, 255, 255, 255), Rgba(9, 8, 7, 1),
                                       Rgba(0, 0, 0, 255), Rgba(30, 60, 90, 200)};
  textest::WritePng(dir_.File("first/texels.png"), 3, 2, image);
  Owned plain(LoadTexture(context_, &roots_, "texels.png", 0));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(textest::ReadRGBA8(plain.get()), image);

  // ((c + 1) * a) >> 8: (200, 100, 50, 128) -> (100, 50, 25, 128); opaque white stays white.
  Owned premultiplied(LoadTexture(context_, &roots_, "texels.png", PREMULTIPLY_ALPHA));
  ASSERT_NE(premultiplied, nullptr);
  const std::vector<uint32_t> expected = {Rgba(100, 50, 25, 128), Rgba(0, 0, 0, 0),
                                          Rgba(255, 255, 255, 255), Rgba(0, 0, 0, 1),
                                          Rgba(0, 0, 0, 255), Rgba(24, 47, 71, 200)};
  EXPECT_EQ(textest::ReadRGBA8(premultiplied.get()), expected);
}

TEST_F(TextureLoaderTest, FirstRootWithADecodableFileWins) {
  textest::WritePng(dir_.File("first/both.png"), 1, 1, {Rgba(255, 0, 0)});
  textest::WritePng(dir_.File("second/both.png"), 1, 1, {Rgba(0, 255, 0)});
  textest::WritePng(dir_.File("second/later.png"), 1, 1, {Rgba(0, 0, 255)});
  dir_.WriteFile("first/damaged.png", "\x89PNG\r\n\x1a\n not really");
  textest::WritePng(dir_.File("second/damaged.png"), 1, 1, {Rgba(7, 7, 7)});
  struct Case {
    const char* path;
    uint32_t texel;
  };
  const Case cases[] = {
      {"both.png", Rgba(255, 0, 0)}, {"later.png", Rgba(0, 0, 255)}, {"damaged.png", Rgba(7, 7, 7)}};
  for (const Case& c : cases) {
    Owned texture(LoadTexture(context_, &roots_, c.path, 0));
    ASSERT_NE(texture, nullptr) << c.path;
    EXPECT_EQ(textest::ReadRGBA8(texture.get()), std::vector<uint32_t>{c.texel}) << c.path;
  }
}

TEST_F(TextureLoaderTest, FilesThatAreMissingOrNotImagesAreReportedAndGiveNull) {
  dir_.WriteFile("first/text.png", "just some text");
  dir_.WriteFile("first/empty.png", "");
  // A real PNG whose truncated data stops in the middle of the image.
  textest::WritePng(dir_.File("first/whole.png"), 64, 64, std::vector<uint32_t>(64 * 64, 0x12345678));
  const std::string whole = dir_.ReadFile("first/whole.png");
  dir_.WriteFile("first/truncated.png", whole.substr(0, whole.size() / 2));
  // Wider than any texture may be, though it is a valid image.
  textest::WritePng(dir_.File("first/wide.png"), kMaxTextureSide + 1, 1,
                    std::vector<uint32_t>(kMaxTextureSide + 1, 0));
  dir_.MakeDirectory("first/folder.png");

  const char* paths[] = {"missing.png", "text.png", "empty.png", "truncated.png", "wide.png",
                         "folder.png"};
  for (const char* path : paths) {
    LogCapture log;
    EXPECT_EQ(LoadTexture(context_, &roots_, path, GENERATE_MIPS), nullptr) << path;
    const std::string message = std::string("Failed to load '") + path + "'";
    bool reported = false;
    for (const auto& [level, text] : log.Messages()) {
      reported |= level == int(LogLevel::Error) && text == message;
    }
    EXPECT_TRUE(reported) << path;
  }
}

TEST_F(TextureLoaderTest, ArrayTextureHasOneLayerPerFile) {
  textest::WritePng(dir_.File("first/a.png"), 4, 4, std::vector<uint32_t>(16, Rgba(1, 0, 0)));
  textest::WritePng(dir_.File("second/b.png"), 4, 4, std::vector<uint32_t>(16, Rgba(0, 2, 0, 128)));
  textest::WritePng(dir_.File("first/c.png"), 4, 4, std::vector<uint32_t>(16, Rgba(0, 0, 3)));
  for (uint32_t flags : {0u, uint32_t(GENERATE_MIPS | PREMULTIPLY_ALPHA)}) {
    Owned texture(LoadArrayTexture(context_, &roots_, {"a.png", "b.png", "c.png"}, flags));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(textest::AsGL(texture.get())->target, GLenum(GL_TEXTURE_2D_ARRAY));
    EXPECT_EQ(textest::LevelParameter(texture.get(), 0, GL_TEXTURE_DEPTH), 3);
    EXPECT_EQ(textest::TextureParameter(texture.get(), GL_TEXTURE_IMMUTABLE_LEVELS),
              (flags & GENERATE_MIPS) ? 2 : 1);
    // No premultiplication for arrays, even when asked.
    EXPECT_EQ(textest::ReadRGBA8(texture.get(), 0, 0), std::vector<uint32_t>(16, Rgba(1, 0, 0)));
    EXPECT_EQ(textest::ReadRGBA8(texture.get(), 0, 1),
              std::vector<uint32_t>(16, Rgba(0, 2, 0, 128)));
    EXPECT_EQ(textest::ReadRGBA8(texture.get(), 0, 2), std::vector<uint32_t>(16, Rgba(0, 0, 3)));
    if (flags & GENERATE_MIPS) {
      EXPECT_EQ(textest::ReadRGBA8(texture.get(), 1, 2), std::vector<uint32_t>(4, Rgba(0, 0, 3)));
    }
  }
}

TEST_F(TextureLoaderTest, ArrayTextureRefusesMixedSizesAndMissingLayers) {
  textest::WritePng(dir_.File("first/a.png"), 4, 4, std::vector<uint32_t>(16, 0));
  textest::WritePng(dir_.File("first/wide.png"), 8, 4, std::vector<uint32_t>(32, 0));
  struct Case {
    std::vector<std::string> paths;
    const char* message;
  };
  const Case cases[] = {
      {{"a.png", "wide.png"}, "Array texture must have all textures of identical size"},
      {{"a.png", "a.png", "missing.png"}, "Failed to load 'missing.png'"},
      {{"missing.png", "a.png"}, "Failed to load 'missing.png'"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    EXPECT_EQ(LoadArrayTexture(context_, &roots_, c.paths, 0), nullptr) << c.message;
    EXPECT_TRUE(log.Contains(c.message)) << c.message;
  }
}

TEST(TextureLoaderChecksTest, ArrayTextureWithoutPathsIsAFailedCheck) {
  textest::RecordingContext context;
  CheckCapture checks;
  EXPECT_EQ(LoadArrayTexture(&context, nullptr, {}, 0), nullptr);
  EXPECT_EQ(checks.Count(), 1);
  EXPECT_TRUE(context.created.empty());
}

}  // namespace
