// KTX files written by the builder's writer (and damaged copies of them) read into textures.
#include "gfx/ktx.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/log.h"
#include "tests/gfx/gl_test_context.h"
#include "tests/gfx/texture_test_util.h"
#include "tests/support/log_capture.h"
#include "tools/texture_builder/half_float.h"

namespace {

using Owned = std::unique_ptr<Draw::Texture>;

uint32_t ReadU32(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t value;
  std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

void WriteU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  std::memcpy(bytes.data() + offset, &value, 4);
}

// Half-float RGB texels whose value says where they are: red = face * 100 + y,
// green = level * 100 + x, blue = 0.5 (integers up to 2048 are exact in half precision).
Ktx::Image NumberedRGB16F(int width, int height, int faces, int levels) {
  Ktx::Image image;
  image.glInternalFormat = Ktx::kRGB16F;
  image.width = width;
  image.height = height;
  image.faces = faces;
  for (int level = 0; level < levels; ++level) {
    const int w = std::max(1, width >> level), h = std::max(1, height >> level);
    std::vector<uint8_t> bytes;
    for (int face = 0; face < faces; ++face) {
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const uint16_t texel[3] = {FloatToHalf(float(face * 100 + y)),
                                     FloatToHalf(float(level * 100 + x)), FloatToHalf(0.5f)};
          const uint8_t* raw = reinterpret_cast<const uint8_t*>(texel);
          bytes.insert(bytes.end(), raw, raw + 6);
        }
      }
    }
    image.levels.push_back(std::move(bytes));
  }
  return image;
}

TEST(KtxWriterTest, HeaderAndLevelsFollowTheFileLayout) {
  // 3 x 1 texels of 6 bytes: rows of 18 bytes padded to 20; the 1 x 1 level's 6 bytes to 8.
  const std::vector<uint8_t> file = Ktx::Write(NumberedRGB16F(3, 1, 1, 2));
  const uint8_t identifier[12] = {0xAB, 'K', 'T', 'X', ' ', '1', '1', 0xBB, '\r', '\n', 0x1A, '\n'};
  ASSERT_EQ(file.size(), 64u + 4 + 20 + 4 + 8);
  EXPECT_EQ(std::memcmp(file.data(), identifier, 12), 0);
  struct Field {
    size_t offset;
    uint32_t value;
  };
  const Field fields[] = {
      {Ktx::kFieldEndianness, 0x04030201}, {Ktx::kFieldGlType, 0x140B /* GL_HALF_FLOAT */},
      {Ktx::kFieldGlTypeSize, 2},          {Ktx::kFieldGlFormat, 0x1907 /* GL_RGB */},
      {Ktx::kFieldGlInternalFormat, 0x881B}, {Ktx::kFieldGlBaseInternalFormat, 0x1907},
      {Ktx::kFieldPixelWidth, 3},          {Ktx::kFieldPixelHeight, 1},
      {Ktx::kFieldPixelDepth, 0},          {Ktx::kFieldArrayElements, 0},
      {Ktx::kFieldFaces, 1},               {Ktx::kFieldMipLevels, 2},
      {Ktx::kFieldKeyValueBytes, 0},       {64, 20},
      {88, 8},
  };
  for (const Field& field : fields) {
    EXPECT_EQ(ReadU32(file, field.offset), field.value) << "offset " << field.offset;
  }
  // The padding is zero and the last texel of row 0 sits before it.
  uint16_t lastTexelGreen;
  std::memcpy(&lastTexelGreen, file.data() + 68 + 2 * 6 + 2, 2);
  EXPECT_EQ(HalfToFloat(lastTexelGreen), 2.0f);
  EXPECT_EQ(file[68 + 18], 0);
  EXPECT_EQ(file[68 + 19], 0);
}

TEST(HalfFloatTest, ConvertsAndRoundsLikeIEEE) {
  struct Case {
    float value;
    uint16_t half;
    bool exact;  // whether the half holds the value itself
  };
  const Case cases[] = {
      {0.0f, 0x0000, true},
      {-0.0f, 0x8000, true},
      {1.0f, 0x3C00, true},
      {-2.0f, 0xC000, true},
      {0.5f, 0x3800, true},
      {65504.0f, 0x7BFF, true},
      {1e9f, 0x7BFF, false},  // beyond the range: the largest finite half, never infinity
      {-1e9f, 0xFBFF, false},
      {6.103515625e-05f, 0x0400, true},  // smallest normal
      {5.9604645e-08f, 0x0001, true},    // smallest subnormal
      {2.9802322e-08f, 0x0000, false},   // half of it: a tie, to even
      {1.0f + 1.0f / 2048, 0x3C00, false},  // tie between 1 and the next half: to even
      {1.0f + 3.0f / 2048, 0x3C02, false},  // tie: to even, upwards
      {1.0f + 1.6f / 1024, 0x3C02, false},  // nearer the upper neighbour
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FloatToHalf(c.value), c.half) << c.value;
    if (c.exact) {
      EXPECT_EQ(HalfToFloat(c.half), c.value) << c.value;
    }
  }
}

class KtxTextureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL(gl_);
    context_ = gl_.Context();
  }

  GLTestContext gl_;
  Draw::OpenGLContext* context_ = nullptr;
};

TEST_F(KtxTextureTest, RGB16FCubeMapBecomesRGBA16FWithAlphaZero) {
  const std::vector<uint8_t> file = Ktx::Write(NumberedRGB16F(64, 64, 6, 2));
  Owned texture(CreateTextureFromKTX(context_, file));
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(textest::AsGL(texture.get())->target, GLenum(GL_TEXTURE_CUBE_MAP));
  EXPECT_EQ(textest::AsGL(texture.get())->format, Draw::R16G16B16A16_FLOAT);
  EXPECT_EQ(textest::LevelParameter(texture.get(), 0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA16F);
  EXPECT_EQ(textest::TextureParameter(texture.get(), GL_TEXTURE_IMMUTABLE_LEVELS), 2);
  for (int level = 0; level < 2; ++level) {
    const int size = 64 >> level;
    for (int face = 0; face < 6; ++face) {
      const std::vector<uint16_t> texels =
          textest::ReadTexels<uint16_t>(texture.get(), level, face, GL_RGBA, GL_HALF_FLOAT, 4);
      ASSERT_EQ(texels.size(), size_t(size * size * 4));
      int mismatches = 0;
      for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
          const uint16_t* t = &texels[(y * size + x) * 4];
          mismatches += HalfToFloat(t[0]) != float(face * 100 + y) ||
                        HalfToFloat(t[1]) != float(level * 100 + x) || HalfToFloat(t[2]) != 0.5f ||
                        t[3] != 0;
        }
      }
      EXPECT_EQ(mismatches, 0) << "level " << level << " face " << face;
    }
  }
}

TEST_F(KtxTextureTest, OddWidthsAndOtherFormatsArriveInPlace) {
  // RGB16F rows of odd width are padded in the file and must not shift the following rows.
  {
    const std::vector<uint8_t> file = Ktx::Write(NumberedRGB16F(5, 3, 1, 3));
    Owned texture(CreateTextureFromKTX(context_, file));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(textest::AsGL(texture.get())->target, GLenum(GL_TEXTURE_2D));
    for (int level = 0; level < 3; ++level) {
      const int w = std::max(1, 5 >> level), h = std::max(1, 3 >> level);
      const std::vector<uint16_t> texels =
          textest::ReadTexels<uint16_t>(texture.get(), level, 0, GL_RGBA, GL_HALF_FLOAT, 4);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const uint16_t* t = &texels[(y * w + x) * 4];
          EXPECT_EQ(HalfToFloat(t[0]), float(y)) << level << ": " << x << "," << y;
          EXPECT_EQ(HalfToFloat(t[1]), float(level * 100 + x)) << level << ": " << x << "," << y;
          EXPECT_EQ(HalfToFloat(t[2]), 0.5f) << level << ": " << x << "," << y;
          EXPECT_EQ(t[3], 0) << level << ": " << x << "," << y;
        }
      }
    }
  }
  // RGBA16F and sRGB data are uploaded as they are.
  {
    Ktx::Image image;
    image.glInternalFormat = Ktx::kSRGB8Alpha8;
    image.width = 3;
    image.height = 2;
    image.levels = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                     22, 23, 24}};
    Owned texture(CreateTextureFromKTX(context_, Ktx::Write(image)));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(textest::LevelParameter(texture.get(), 0, GL_TEXTURE_INTERNAL_FORMAT),
              GL_SRGB8_ALPHA8);
    const std::vector<uint8_t> texels =
        textest::ReadTexels<uint8_t>(texture.get(), 0, 0, GL_RGBA, GL_UNSIGNED_BYTE, 4);
    EXPECT_EQ(texels, image.levels[0]);
  }
  {
    Ktx::Image image;
    image.glInternalFormat = Ktx::kRGBA16F;
    image.width = image.height = 2;
    image.faces = 6;
    for (int level = 0; level < 2; ++level) {
      std::vector<uint8_t> bytes;
      const int texels = level == 0 ? 6 * 4 : 6;
      for (int i = 0; i < texels; ++i) {
        const uint16_t texel[4] = {FloatToHalf(float(i)), FloatToHalf(-1.5f), FloatToHalf(100),
                                   FloatToHalf(0.25f)};
        const uint8_t* raw = reinterpret_cast<const uint8_t*>(texel);
        bytes.insert(bytes.end(), raw, raw + 8);
      }
      image.levels.push_back(bytes);
    }
    Owned texture(CreateTextureFromKTX(context_, Ktx::Write(image)));
    ASSERT_NE(texture, nullptr);
    const std::vector<uint16_t> face5 =
        textest::ReadTexels<uint16_t>(texture.get(), 1, 5, GL_RGBA, GL_HALF_FLOAT, 4);
    ASSERT_EQ(face5.size(), 4u);
    EXPECT_EQ(HalfToFloat(face5[0]), 5.0f);
    EXPECT_EQ(HalfToFloat(face5[1]), -1.5f);
    EXPECT_EQ(HalfToFloat(face5[3]), 0.25f);
  }
}

TEST_F(KtxTextureTest, ZeroLevelsMeansTheDriverBuildsTheChain) {
  std::vector<uint8_t> file = Ktx::Write(NumberedRGB16F(8, 8, 6, 1));
  WriteU32(file, Ktx::kFieldMipLevels, 0);
  Owned texture(CreateTextureFromKTX(context_, file));
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(textest::TextureParameter(texture.get(), GL_TEXTURE_IMMUTABLE_LEVELS), 4);
  const std::vector<uint16_t> smallest =
      textest::ReadTexels<uint16_t>(texture.get(), 3, 2, GL_RGBA, GL_HALF_FLOAT, 4);
  ASSERT_EQ(smallest.size(), 4u);
  EXPECT_EQ(HalfToFloat(smallest[1]), 3.5f);  // the average of x = 0..7
  EXPECT_EQ(HalfToFloat(smallest[2]), 0.5f);
}

// Damaged and hostile files: each must give null and a message, read nothing past the data and
// create no texture. The recording context copies every upload in full, so under the address
// sanitizer any over-read of the file shows up here.
TEST(KtxHostileTest, DamagedHeadersAndSizesAreRejected) {
  // A 4 x 4 cube map with 3 levels: header, then levels of 6 x 96, 6 x 24 and 6 x 8 bytes.
  const std::vector<uint8_t> valid = Ktx::Write(NumberedRGB16F(4, 4, 6, 3));
  ASSERT_EQ(valid.size(), 64u + (4 + 6 * 96) + (4 + 6 * 24) + (4 + 6 * 8));
  struct Case {
    const char* name;
    std::vector<uint8_t> (*damage)(std::vector<uint8_t>);
  };
#define SET_FIELD(offset, value) \
  [](std::vector<uint8_t> f) { WriteU32(f, offset, value); return f; }
  const Case cases[] = {
      {"empty", [](std::vector<uint8_t>) { return std::vector<uint8_t>(); }},
      {"header cut short", [](std::vector<uint8_t> f) { f.resize(63); return f; }},
      {"no level size", [](std::vector<uint8_t> f) { f.resize(66); return f; }},
      {"last level cut short", [](std::vector<uint8_t> f) { f.pop_back(); return f; }},
      {"first level cut short", [](std::vector<uint8_t> f) { f.resize(64 + 4 + 500); return f; }},
      {"big-endian marker", SET_FIELD(Ktx::kFieldEndianness, 0x01020304)},
      {"unknown format", SET_FIELD(Ktx::kFieldGlInternalFormat, 0x8058 /* GL_RGBA8 */)},
      {"block-compressed", SET_FIELD(Ktx::kFieldGlInternalFormat, Ktx::kCompressedRGBAS3TCDXT5)},
      {"zero width", SET_FIELD(Ktx::kFieldPixelWidth, 0)},
      {"zero height", SET_FIELD(Ktx::kFieldPixelHeight, 0)},
      {"huge width", SET_FIELD(Ktx::kFieldPixelWidth, 0x80000000u)},
      {"non-square cube", SET_FIELD(Ktx::kFieldPixelHeight, 8)},
      {"3D", SET_FIELD(Ktx::kFieldPixelDepth, 4)},
      {"array", SET_FIELD(Ktx::kFieldArrayElements, 2)},
      {"two faces", SET_FIELD(Ktx::kFieldFaces, 2)},
      {"more levels than the size has", SET_FIELD(Ktx::kFieldMipLevels, 4)},
      {"level count overflow", SET_FIELD(Ktx::kFieldMipLevels, 0xFFFFFFFFu)},
      {"more levels than stored", [](std::vector<uint8_t> f) {
         // Claims the full 16 x 16 chain while holding the data of a 4 x 4 one.
         WriteU32(f, Ktx::kFieldPixelWidth, 16);
         WriteU32(f, Ktx::kFieldPixelHeight, 16);
         WriteU32(f, Ktx::kFieldMipLevels, 5);
         return f;
       }},
      {"key-value data past the end", SET_FIELD(Ktx::kFieldKeyValueBytes, 0xFFFFFFF0u)},
      {"key-value data up to the end", [](std::vector<uint8_t> f) {
         WriteU32(f, Ktx::kFieldKeyValueBytes, uint32_t(f.size() - 64));
         return f;
       }},
      {"image size past the end", SET_FIELD(64, 0x7FFFFFFFu)},
      {"image size smaller than the faces", SET_FIELD(64, 8)},
      {"second image size wrong", SET_FIELD(64 + 4 + 6 * 96, 6 * 24)},
      {"largest size, data of a small file", [](std::vector<uint8_t> f) {
         // Each face would be 16384 x 16384 x 6 bytes, which the level size field agrees with.
         WriteU32(f, Ktx::kFieldPixelWidth, 16384);
         WriteU32(f, Ktx::kFieldPixelHeight, 16384);
         WriteU32(f, Ktx::kFieldMipLevels, 15);
         WriteU32(f, 64, 16384u * 16384u * 6u);
         return f;
       }},
  };
#undef SET_FIELD
  for (const Case& c : cases) {
    // A copy of exactly the damaged size, so that reading past it is an error the sanitizer sees.
    const std::vector<uint8_t> file = c.damage(valid);
    std::unique_ptr<uint8_t[]> exact(new uint8_t[file.size()]);
    if (!file.empty()) std::memcpy(exact.get(), file.data(), file.size());
    textest::RecordingContext context;
    LogCapture log;
    EXPECT_EQ(CreateTextureFromKTX(&context, file.empty() ? nullptr : exact.get(), file.size()),
              nullptr)
        << c.name;
    EXPECT_TRUE(context.created.empty()) << c.name;
    EXPECT_TRUE(context.uploads.empty()) << c.name;
    bool reported = false;
    for (const auto& [level, text] : log.Messages()) {
      reported |= level == int(LogLevel::Error) && text.rfind("KTX: ", 0) == 0;
    }
    EXPECT_TRUE(reported) << c.name;
  }

  // And the undamaged file is read completely.
  textest::RecordingContext context;
  std::unique_ptr<Draw::Texture> texture(CreateTextureFromKTX(&context, valid));
  ASSERT_NE(texture, nullptr);
  ASSERT_EQ(context.created.size(), 1u);
  EXPECT_EQ(context.created[0].flags, Draw::CUBE);
  EXPECT_EQ(context.created[0].depth, 6);
  EXPECT_EQ(context.created[0].mipLevels, 3);
  EXPECT_EQ(context.uploads.size(), 18u);
}

}  // namespace
