// Submitted eye images written as PNG from a real GL texture and read back with stb_image.
#include <glad/gl.h>
#include <gtest/gtest.h>
#include <stb_image.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/gfx/gl_test_context.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_directory.h"
#include "tests/vr/runtime_test_util.h"

namespace vr::sim::testing {
namespace {

constexpr uint32_t kRed = 0xff0000ffu, kGreen = 0xff00ff00u, kBlue = 0xffff0000u;  // RGBA8 LE

struct Image {
  int width = 0, height = 0;
  std::vector<uint32_t> texels;
  uint32_t At(int x, int y) const { return texels[size_t(y) * size_t(width) + size_t(x)]; }
};

Image ReadPng(const std::string& path) {
  Image image;
  int channels = 0;
  std::unique_ptr<stbi_uc, void (*)(void*)> data(
      stbi_load(path.c_str(), &image.width, &image.height, &channels, 4), &stbi_image_free);
  if (data == nullptr) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  image.texels.resize(size_t(image.width) * size_t(image.height));
  std::memcpy(image.texels.data(), data.get(), image.texels.size() * 4);
  return image;
}

// Row 0 red, the last row blue, green between; the first column of row 0 white so a mirrored
// image shows too.
GLuint MakeMarkedTexture(int width, int height) {
  std::vector<uint32_t> texels(size_t(width) * size_t(height), kGreen);
  for (int x = 0; x < width; ++x) {
    texels[size_t(x)] = kRed;
    texels[size_t(height - 1) * size_t(width) + size_t(x)] = kBlue;
  }
  texels[0] = 0xffffffffu;
  GLuint texture = 0;
  glCreateTextures(GL_TEXTURE_2D, 1, &texture);
  glTextureStorage2D(texture, 1, GL_RGBA8, width, height);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTextureSubImage2D(texture, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  return texture;
}

Texture_t GLTexture(GLuint name) {
  return {reinterpret_cast<void*>(uintptr_t(name)), TextureType_OpenGL, ColorSpace_Gamma};
}

TEST(SimulatedEyeCapture, CaptureWritesTheSubmittedTextureTopRowFirst) {
  GLTestContext gl(64, 64);
  REQUIRE_GL(gl);
  const GLuint texture = MakeMarkedTexture(37, 21);
  // State an application may leave behind: with 8-byte row packing, 37 RGBA texels per row would
  // be padded.
  glPixelStorei(GL_PACK_ALIGNMENT, 8);
  TempDirectory dir;
  const std::string left = dir.File("left.png"), right = dir.File("right.png");
  const std::string unwritable = dir.File("no/such/folder/left.png");
  dir.WriteFile("capture.txt", "at 1\ncapture left " + left + "\ncapture right " + right +
                                   "\nat 2\ncapture left " + unwritable +
                                   "\nat 3\ncapture left /dev/full\n");
  SimulatedHeadsetOptions options = Unpaced();
  options.timelinePath = dir.File("capture.txt");
  SimulatedSession session(options);
  ASSERT_EQ(session.error, VRInitError_None);
  IVRCompositor* compositor = session.Compositor();
  SimulatedHeadset* headset = session.Headset();
  LogCapture log;

  // Frame 0 has no capture: submitting writes nothing.
  const Texture_t submitted = GLTexture(texture);
  ASSERT_EQ(compositor->Submit(Eye_Left, &submitted), VRCompositorError_None);
  EXPECT_FALSE(log.Contains("Captured"));

  TrackedDevicePose_t poses[k_unMaxTrackedDeviceCount];
  session.NextFrame(poses);  // frame 1: capture both eyes; only the left one is submitted
  const VRTextureBounds_t bounds{0, 0, 1, 1};
  ASSERT_EQ(compositor->Submit(Eye_Left, &submitted, &bounds), VRCompositorError_None);
  EXPECT_TRUE(log.Contains("Captured left eye to " + left));
  const Image image = ReadPng(left);
  ASSERT_EQ(image.width, 37);
  ASSERT_EQ(image.height, 21);
  EXPECT_EQ(image.At(0, 0), 0xffffffffu);
  EXPECT_EQ(image.At(36, 0), kRed);
  EXPECT_EQ(image.At(18, 10), kGreen);
  EXPECT_EQ(image.At(0, 20), kBlue);
  GLint packAlignment = 0;
  glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
  EXPECT_EQ(packAlignment, 8);  // restored

  session.NextFrame(poses);  // frame 2: the right eye's request lapsed; the left path fails
  EXPECT_TRUE(log.Contains("No right eye capture to " + right));
  EXPECT_FALSE(std::ifstream(right).good());
  ASSERT_EQ(compositor->Submit(Eye_Left, &submitted), VRCompositorError_None);
  EXPECT_TRUE(log.Contains("Could not write the left eye capture to " + unwritable));
  // A full device fails the write itself: said as a failure, not as a capture.
  session.NextFrame(poses);  // frame 3
  ASSERT_EQ(compositor->Submit(Eye_Left, &submitted), VRCompositorError_None);
  EXPECT_TRUE(log.Contains("Could not write the left eye capture to /dev/full")) << log.Text();
  EXPECT_FALSE(log.Contains("Captured left eye to /dev/full")) << log.Text();

  // A name that is no texture is reported, not read.
  headset->RequestCapture(Eye_Right, dir.File("stranger.png"));
  const Texture_t stranger = GLTexture(texture + 1000);
  ASSERT_EQ(compositor->Submit(Eye_Right, &stranger), VRCompositorError_None);
  EXPECT_TRUE(log.Contains("is not an OpenGL texture"));
  EXPECT_FALSE(std::ifstream(dir.File("stranger.png")).good());

  EXPECT_EQ(headset->SubmitCount(Eye_Left), 4u);
  EXPECT_EQ(headset->SubmitCount(Eye_Right), 1u);
  EXPECT_EQ(headset->LastSubmittedTexture(Eye_Left), texture);
  EXPECT_EQ(headset->LastSubmittedTexture(Eye_Right), texture + 1000);
  glDeleteTextures(1, &texture);
}

TEST(SimulatedEyeCapture, SubmitRefusesWhatIsNoOpenGLTexture) {
  SimulatedSession session;
  IVRCompositor* compositor = session.Compositor();
  const Texture_t good = GLTexture(7);
  const Texture_t directX{reinterpret_cast<void*>(uintptr_t(7)), TextureType_DirectX,
                          ColorSpace_Auto};
  const Texture_t zero = GLTexture(0);
  const Texture_t huge{reinterpret_cast<void*>(uintptr_t(1) << 40), TextureType_OpenGL,
                       ColorSpace_Auto};
  struct Case {
    EVREye eye;
    const Texture_t* texture;
    EVRCompositorError expected;
  };
  const Case cases[] = {
      {Eye_Left, nullptr, VRCompositorError_InvalidTexture},
      {Eye_Left, &directX, VRCompositorError_InvalidTexture},
      {Eye_Right, &zero, VRCompositorError_InvalidTexture},
      {Eye_Right, &huge, VRCompositorError_InvalidTexture},
      {EVREye(2), &good, VRCompositorError_IndexOutOfRange},
      {EVREye(-1), &good, VRCompositorError_IndexOutOfRange},
      {Eye_Right, &good, VRCompositorError_None},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compositor->Submit(c.eye, c.texture), c.expected);
  }
  EXPECT_EQ(session.Headset()->SubmitCount(Eye_Left), 0u);
  EXPECT_EQ(session.Headset()->SubmitCount(Eye_Right), 1u);
  EXPECT_EQ(session.Headset()->LastSubmittedTexture(Eye_Right), 7u);

  // Without a current GL context a capture is reported and skipped.
  TempDirectory dir;
  LogCapture log;
  session.Headset()->RequestCapture(Eye_Right, dir.File("eye.png"));
  EXPECT_EQ(compositor->Submit(Eye_Right, &good), VRCompositorError_None);
  EXPECT_TRUE(log.Contains("no OpenGL 4.5 context is current"));
  EXPECT_TRUE(log.Contains("Could not capture the right eye to " + dir.File("eye.png")));
}

}  // namespace
}  // namespace vr::sim::testing
