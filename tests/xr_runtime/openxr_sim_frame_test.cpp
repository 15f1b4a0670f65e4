// Frames on the simulated headset's runtime, through the real Khronos loader and on a real OpenGL
// context: frame calls out of order, swapchain images, the views of the timeline's head and the
// captures of the submitted images.
#include <cmath>

#include "tests/support/png_image.h"
#include "tests/xr_runtime/openxr_sim_client_fixture.h"

namespace {

using vr::xrsim::testing::XrClient;

constexpr float kPi = 3.14159265f;

TEST_F(XrClient, FrameAndSessionCallsOutOfOrderAreRefused) {
  CreateInstance();
  CreateSession();
  XrFrameState state{XR_TYPE_FRAME_STATE};
  XrFrameEndInfo end{XR_TYPE_FRAME_END_INFO};
  end.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
  XrSessionBeginInfo begin{XR_TYPE_SESSION_BEGIN_INFO};
  begin.primaryViewConfigurationType = XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO;
  const auto wait = [&] {
    const XrResult r = xrWaitFrame(session_, nullptr, &state);
    end.displayTime = state.predictedDisplayTime;
    return r;
  };
  const auto beginFrame = [&] { return xrBeginFrame(session_, nullptr); };
  const auto endFrame = [&] { return xrEndFrame(session_, &end); };
  const std::pair<const char*, std::function<XrResult()>> steps[] = {
      {"wait before the session runs", wait},  // -> SESSION_NOT_RUNNING
      {"begin frame before the session runs", beginFrame},
      {"end session before it runs", [&] { return xrEndSession(session_); }},
      {"begin session", [&] { return xrBeginSession(session_, &begin); }},
      {"begin session twice", [&] { return xrBeginSession(session_, &begin); }},
      {"begin frame without wait", beginFrame},
      {"end frame without begin", endFrame},
      {"wait", wait},
      {"begin", beginFrame},
      {"wait again", wait},
      {"begin again: the open frame is discarded", beginFrame},
      {"end", endFrame},
      {"end twice", endFrame},
      {"end session while running and not stopping", [&] { return xrEndSession(session_); }},
  };
  const XrResult expected[] = {
      XR_ERROR_SESSION_NOT_RUNNING, XR_ERROR_SESSION_NOT_RUNNING, XR_ERROR_SESSION_NOT_RUNNING,
      XR_SUCCESS, XR_ERROR_SESSION_RUNNING, XR_ERROR_CALL_ORDER_INVALID,
      XR_ERROR_CALL_ORDER_INVALID, XR_SUCCESS, XR_SUCCESS, XR_SUCCESS, XR_FRAME_DISCARDED,
      XR_SUCCESS, XR_ERROR_CALL_ORDER_INVALID, XR_ERROR_SESSION_NOT_STOPPING};
  static_assert(std::size(steps) == std::size(expected));
  for (size_t i = 0; i < std::size(steps); ++i) {
    EXPECT_EQ(steps[i].second(), expected[i]) << steps[i].first;
  }
}

TEST_F(XrClient, SwapchainImagesFollowAcquireWaitRelease) {
  CreateInstance();
  CreateSession();
  const XrSpace stage = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  const XrSwapchain swapchain = Swapchain();
  XrSwapchainImageWaitInfo waitInfo{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO};
  uint32_t index = 0;
  EXPECT_EQ(xrWaitSwapchainImage(swapchain, &waitInfo), XR_ERROR_CALL_ORDER_INVALID);
  EXPECT_EQ(xrReleaseSwapchainImage(swapchain, nullptr), XR_ERROR_CALL_ORDER_INVALID);
  for (uint32_t i = 0; i < 3; ++i) {
    ASSERT_EQ(xrAcquireSwapchainImage(swapchain, nullptr, &index), XR_SUCCESS);
    EXPECT_EQ(index, i);
  }
  EXPECT_EQ(xrAcquireSwapchainImage(swapchain, nullptr, &index), XR_ERROR_CALL_ORDER_INVALID)
      << "all three images are out";
  EXPECT_EQ(xrReleaseSwapchainImage(swapchain, nullptr), XR_ERROR_CALL_ORDER_INVALID)
      << "release before wait";
  EXPECT_EQ(xrWaitSwapchainImage(swapchain, &waitInfo), XR_SUCCESS);
  EXPECT_EQ(xrWaitSwapchainImage(swapchain, &waitInfo), XR_ERROR_CALL_ORDER_INVALID);

  XrSwapchainCreateInfo bad{XR_TYPE_SWAPCHAIN_CREATE_INFO};
  bad.format = GL_RGBA8;
  bad.sampleCount = bad.faceCount = bad.arraySize = bad.mipCount = 1;
  bad.width = bad.height = 16;
  XrSwapchain unused = XR_NULL_HANDLE;
  const std::pair<std::function<void(XrSwapchainCreateInfo*)>, XrResult> creates[] = {
      {[](XrSwapchainCreateInfo* i) { i->format = GL_RGB565; }, XR_ERROR_SWAPCHAIN_FORMAT_UNSUPPORTED},
      {[](XrSwapchainCreateInfo* i) { i->arraySize = 2; }, XR_ERROR_FEATURE_UNSUPPORTED},
      {[](XrSwapchainCreateInfo* i) { i->width = 0; }, XR_ERROR_VALIDATION_FAILURE},
      {[](XrSwapchainCreateInfo* i) { i->mipCount = 6; }, XR_ERROR_VALIDATION_FAILURE},
  };
  for (const auto& [spoil, expected] : creates) {
    XrSwapchainCreateInfo info = bad;
    spoil(&info);
    EXPECT_EQ(xrCreateSwapchain(session_, &info, &unused), expected);
  }

  // A layer may only show released images, inside their bounds.
  Begin();
  const XrSwapchain fresh = Swapchain();
  XrCompositionLayerProjectionView views[2] = {{XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW},
                                               {XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW}};
  for (auto& v : views) {
    v.pose.orientation.w = 1.0f;
    v.subImage.swapchain = fresh;
    v.subImage.imageRect.extent = {64, 48};
  }
  XrCompositionLayerProjection layer{XR_TYPE_COMPOSITION_LAYER_PROJECTION};
  layer.space = stage;
  layer.viewCount = 2;
  layer.views = views;
  const std::vector<const XrCompositionLayerBaseHeader*> layers = {
      reinterpret_cast<const XrCompositionLayerBaseHeader*>(&layer)};
  EXPECT_EQ(Frame(layers), XR_ERROR_LAYER_INVALID) << "never released";
  XrFrameEndInfo end{XR_TYPE_FRAME_END_INFO};
  end.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
  end.displayTime = lastDisplayTime_;
  RenderImage(fresh, [] {});
  views[1].subImage.imageRect.offset = {1, 0};
  end.layerCount = 1;
  end.layers = layers.data();
  EXPECT_EQ(xrEndFrame(session_, &end), XR_ERROR_SWAPCHAIN_RECT_INVALID);
  views[1].subImage.imageRect.offset = {0, 0};
  layer.viewCount = 1;
  EXPECT_EQ(xrEndFrame(session_, &end), XR_ERROR_VALIDATION_FAILURE) << "one view for two eyes";
  layer.viewCount = 2;
  end.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_ADDITIVE;
  EXPECT_EQ(xrEndFrame(session_, &end), XR_ERROR_ENVIRONMENT_BLEND_MODE_UNSUPPORTED);
  end.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
  EXPECT_EQ(xrEndFrame(session_, &end), XR_SUCCESS);
}

TEST_F(XrClient, ViewsAreTheEyesOfTheTimelinesHead) {
  CreateInstance("at 1\npose head 1 1.6 0 90 0 0\n");  // turned to face -x
  CreateSession();
  const XrSpace stage = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  const XrSpace view = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_VIEW);
  Begin();
  Frame();
  XrViewLocateInfo info{XR_TYPE_VIEW_LOCATE_INFO};
  info.viewConfigurationType = XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO;
  info.displayTime = lastDisplayTime_;
  XrViewState state{XR_TYPE_VIEW_STATE};
  XrView views[2] = {{XR_TYPE_VIEW}, {XR_TYPE_VIEW}};
  uint32_t count = 0;
  info.space = view;
  ASSERT_EQ(xrLocateViews(session_, &info, &state, 2, &count, views), XR_SUCCESS);
  EXPECT_NEAR(views[0].pose.position.x, -0.032f, 1e-6f);
  EXPECT_NEAR(views[1].pose.position.x, 0.032f, 1e-6f);
  EXPECT_NEAR(views[1].fov.angleRight, 50.0f * kPi / 180.0f, 1e-5f);
  EXPECT_NEAR(views[1].fov.angleUp, std::atan(std::tan(50.0f * kPi / 180.0f) * 48.0f / 64.0f),
              1e-5f);
  info.space = stage;
  ASSERT_EQ(xrLocateViews(session_, &info, &state, 2, &count, views), XR_SUCCESS);
  EXPECT_TRUE(state.viewStateFlags & XR_VIEW_STATE_POSITION_TRACKED_BIT);
  // Facing -x, the left eye sits towards +z.
  EXPECT_NEAR(views[0].pose.position.x, 1.0f, 1e-5f);
  EXPECT_NEAR(views[0].pose.position.y, 1.6f, 1e-5f);
  EXPECT_NEAR(views[0].pose.position.z, 0.032f, 1e-5f);
  info.viewConfigurationType = XR_VIEW_CONFIGURATION_TYPE_PRIMARY_MONO;
  EXPECT_EQ(xrLocateViews(session_, &info, &state, 2, &count, views),
            XR_ERROR_VIEW_CONFIGURATION_TYPE_UNSUPPORTED);
}

TEST_F(XrClient, CaptureWritesTheSubmittedImageUpright) {
  CreateInstance("at 1\ncapture left " + dir_.File("left.png") + "\ncapture right " +
                 dir_.File("right.png") + "\n");
  CreateSession();
  const XrSpace stage = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  const XrSwapchain swapchain = Swapchain(0x8C43 /* GL_SRGB8_ALPHA8 */, 64, 48);
  Begin();
  XrFrameState state{XR_TYPE_FRAME_STATE};
  ASSERT_EQ(xrWaitFrame(session_, nullptr, &state), XR_SUCCESS);
  ASSERT_EQ(xrBeginFrame(session_, nullptr), XR_SUCCESS);
  // OpenGL images start at the bottom: the upper rows (y >= 24) are the top of the picture.
  RenderImage(swapchain, [] {
    glDisable(GL_FRAMEBUFFER_SRGB);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 64, 24);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(0, 24, 64, 24);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(32, 0, 32, 48);  // the right half of the picture is green
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
  });
  XrCompositionLayerProjectionView views[2] = {{XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW},
                                               {XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW}};
  for (auto& v : views) {
    v.pose.orientation.w = 1.0f;
    v.subImage.swapchain = swapchain;
    v.subImage.imageRect.extent = {64, 48};
  }
  views[1].subImage.imageRect = {{32, 0}, {32, 48}};  // the right eye shows the right half
  XrCompositionLayerProjection layer{XR_TYPE_COMPOSITION_LAYER_PROJECTION};
  layer.space = stage;
  layer.viewCount = 2;
  layer.views = views;
  const XrCompositionLayerBaseHeader* layers[] = {
      reinterpret_cast<const XrCompositionLayerBaseHeader*>(&layer)};
  XrFrameEndInfo end{XR_TYPE_FRAME_END_INFO};
  end.displayTime = state.predictedDisplayTime;
  end.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
  end.layerCount = 1;
  end.layers = layers;
  ASSERT_EQ(xrEndFrame(session_, &end), XR_SUCCESS);

  const Image left = LoadPng(dir_.File("left.png"));
  ASSERT_EQ(left.width, 64);
  ASSERT_EQ(left.height, 48);
  const uint8_t* topLeft = left.At(4, 4);
  const uint8_t* bottomLeft = left.At(4, 44);
  const uint8_t* right = left.At(60, 4);
  EXPECT_EQ((std::vector<int>{topLeft[0], topLeft[1], topLeft[2], topLeft[3]}),
            (std::vector<int>{255, 0, 0, 255}));
  EXPECT_EQ((std::vector<int>{bottomLeft[0], bottomLeft[1], bottomLeft[2]}),
            (std::vector<int>{0, 0, 255}));
  EXPECT_EQ((std::vector<int>{right[0], right[1], right[2]}), (std::vector<int>{0, 255, 0}));
  const Image rightEye = LoadPng(dir_.File("right.png"));
  ASSERT_EQ(rightEye.width, 32);
  EXPECT_EQ(rightEye.At(2, 2)[1], 255);
  EXPECT_EQ(rightEye.At(2, 2)[0], 0);
}

}  // namespace
