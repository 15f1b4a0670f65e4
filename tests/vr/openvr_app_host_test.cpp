// OpenVRAppHost and its render models over the simulated headset, with the real OpenGL driver:
// start-up and its failures, controller input, poses, the eye targets, submission and the
// companion window.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "application/application.h"
#include "tests/gfx/gl_test_context.h"
#include "tests/support/log_capture.h"
#include "tests/vr/runtime_test_util.h"
#include "vr/openvr_app_host.h"
#include "vr/simulated/simulated_headset.h"

namespace {

using vr::sim::ActiveHeadset;
using vr::sim::SetOptionsOverride;
using vr::sim::SimulatedHeadsetOptions;
using vr::sim::testing::ScopedEnvironment;

constexpr uint32_t kLeftHand = 1;
constexpr uint32_t kRightHand = 2;

// Clears each eye to its own colour (left red, right blue) and submits, as the sculpting
// application does at the end of a VR frame.
class RecordingApplication : public Application {
 public:
  int inits = 0;
  int shutdowns = 0;
  int frames = 0;
  FrameInfo initInfo;
  FrameInfo lastFrame;

  RunMode GetRunMode() override { return RunMode::ClientOnly; }
  void Init(Draw::DrawContext*, AudioStreamer*, const FrameInfo* info) override {
    ++inits;
    initInfo = *info;
  }
  void Shutdown(Draw::DrawContext*) override { ++shutdowns; }
  void ProcessSystemKeys(Controls*, bool*) override {}
  void ProcessControls(Controls*, bool*) override {}
  void UpdateAndRender(Draw::DrawContext*, const FrameInfo* info) override {
    ++frames;
    lastFrame = *info;
    const float colours[2][4] = {{1, 0, 0, 1}, {0, 0, 1, 1}};
    for (int view = 0; view < info->viewCount; ++view) {
      info->bindTarget(view, info, colours[view]);
    }
    info->vrSystem->SubmitFrame();
  }
};

class OpenVRAppHostTest : public ::testing::Test {
 protected:
  explicit OpenVRAppHostTest(int width = 1280, int height = 720) : gl_(width, height) {}

  void SetUp() override {
    REQUIRE_GL(gl_);
    options_.paced = false;
    options_.eyeWidth = 32;
    options_.eyeHeight = 40;
    SetOptionsOverride(&options_);
  }
  void TearDown() override {
    if (host_ != nullptr && started_) host_->Shutdown();
    host_.reset();
    vr::VR_ShutdownInternal();
    SetOptionsOverride(nullptr);
  }

  bool Start(bool monoView = false) {
    host_ = std::make_unique<OpenVRAppHost>(gl_.Context(), nullptr, &app_);
    started_ = host_->Init(monoView);
    return started_;
  }
  // One frame as the run loop drives it.
  void Frame() {
    bool vrInput = false;
    host_->PollInput(nullptr, &vrInput);
    EXPECT_TRUE(vrInput);
    gl_.Context()->BeginFrame();
    host_->RenderFrame();
    host_->EndFrame();
  }

  GLTestContext gl_;
  ScopedEnvironment runtime_{"LOOMWORK_VR_RUNTIME", "simulated"};
  SimulatedHeadsetOptions options_;
  RecordingApplication app_;
  std::unique_ptr<OpenVRAppHost> host_;
  bool started_ = false;
};

TEST_F(OpenVRAppHostTest, StartupFailuresAreReportedAndLeaveTheApplicationAsItWas) {
  struct Case {
    const char* name;
    const char* runtime;  // LOOMWORK_VR_RUNTIME, null: unset
    bool systemVersionInvalid, renderModelsMissing, compositorMissing;
    std::vector<const char*> messages;
  };
  const Case cases[] = {
      {"no runtime", nullptr, false, false, false,
       {"Unable to init VR runtime: Installation Not Found (100)"}},
      {"system version", "simulated", true, false, false,
       {"Unable to init VR runtime: Interface Not Found (105)"}},
      {"render models", "simulated", false, true, false,
       {"Unable to get render model interface: Interface Not Found (105)"}},
      {"compositor", "simulated", false, false, true,
       {"Compositor initialization failed. See log file for details",
        "OpenVRAppHost::Init - Failed to initialize VR Compositor!"}},
  };
  // Unset means the installed OpenXR runtime: the loader is pointed at a manifest that is missing.
  ScopedEnvironment noOpenXR("XR_RUNTIME_JSON", "/nonexistent/openxr_runtime.json");
  for (const Case& c : cases) {
    ScopedEnvironment runtime("LOOMWORK_VR_RUNTIME", c.runtime);
    SimulatedHeadsetOptions options = options_;
    options.systemVersionInvalid = c.systemVersionInvalid;
    options.renderModelsMissing = c.renderModelsMissing;
    options.compositorMissing = c.compositorMissing;
    SetOptionsOverride(&options);
    RecordingApplication app;
    LogCapture log;
    {
      OpenVRAppHost host(gl_.Context(), nullptr, &app);
      EXPECT_FALSE(host.Init(false)) << c.name;
    }
    for (const char* message : c.messages) EXPECT_TRUE(log.Contains(message)) << c.name;
    EXPECT_TRUE(log.Contains("Shutdown")) << "the destructor says goodbye";
    // Only the compositor is missed after the application has started; it is shut down again
    // so that the next attempt starts it afresh.
    EXPECT_EQ(app.inits, c.compositorMissing ? 1 : 0) << c.name;
    EXPECT_EQ(app.shutdowns, app.inits) << c.name;
    EXPECT_EQ(ActiveHeadset(), nullptr) << c.name << ": the runtime was left running";
  }
}

TEST_F(OpenVRAppHostTest, StartsTheApplicationOnceWithTheHeadsetsViews) {
  LogCapture log;
  ASSERT_TRUE(Start());
  EXPECT_EQ(app_.inits, 1);
  EXPECT_TRUE(app_.initInfo.isVR);
  EXPECT_EQ(app_.initInfo.viewCount, 2);
  EXPECT_EQ(app_.initInfo.vrSystem, host_.get());
  EXPECT_STREQ(host_->TrackingSystemName(), "loomwork_simulated");
  EXPECT_STREQ(host_->SerialNumber(), "SIM-HMD-0001");
  EXPECT_EQ(host_->RenderWidth(), 32u);
  EXPECT_EQ(host_->RenderHeight(), 40u);
  EXPECT_EQ(host_->CompanionWidth(), 1280);
  EXPECT_TRUE(log.Contains("LProj: "));

  // Both controllers share one model, both base stations another; the headset has none.
  EXPECT_EQ(host_->GetRenderModel(0), nullptr);
  ASSERT_NE(host_->GetRenderModel(kLeftHand), nullptr);
  EXPECT_EQ(host_->GetRenderModel(kLeftHand), host_->GetRenderModel(kRightHand));
  EXPECT_NE(host_->GetRenderModelTexture(kLeftHand), nullptr);
  ASSERT_NE(host_->GetRenderModel(3), nullptr);
  EXPECT_EQ(host_->GetRenderModel(3), host_->GetRenderModel(4));
  EXPECT_EQ(host_->RenderModels().CachedModelCount(), 2u);
  EXPECT_EQ(ActiveHeadset()->RenderModelRequests(), 2u);
  EXPECT_EQ(ActiveHeadset()->LiveRenderModels(), 0u) << "runtime models are handed back";
  EXPECT_EQ(ActiveHeadset()->LiveTextures(), 0u);

  // Until the first poses arrive every pose is invalid and the head view is zero.
  Matrix4x4 pose;
  EXPECT_FALSE(host_->GetDevicePose(0, &pose));
  Frame();
  EXPECT_EQ(app_.frames, 1);
  EXPECT_EQ(app_.lastFrame.headView.m[15], 0.0f);
  EXPECT_TRUE(host_->GetDevicePose(0, &pose));
  EXPECT_EQ(host_->GetDeviceKind(0), DeviceKind::Headset);
  EXPECT_EQ(host_->GetDeviceKind(kRightHand), DeviceKind::Controller);
  EXPECT_EQ(host_->GetDeviceKind(3), DeviceKind::TrackingReference);
  EXPECT_EQ(host_->GetDeviceKind(7), DeviceKind::None);
  Frame();
  EXPECT_EQ(host_->ConnectedDeviceCount(), 4u);
  EXPECT_EQ(app_.lastFrame.width, 32u);
  EXPECT_EQ(app_.lastFrame.eyeFramebuffer[1], host_->Eye(1).renderFramebuffer);
  // The head view inverts the head pose.
  const Matrix4x4 product = pose * app_.lastFrame.headView;
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(product.m[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-5f);

  // The activation events at start found the controllers' and stations' models in the cache;
  // only the headset's own model (never loaded at start) was asked for.
  EXPECT_TRUE(log.Contains("Device 2 attached. Setting up render model."));
  EXPECT_EQ(ActiveHeadset()->RenderModelRequests(), 3u);
  EXPECT_NE(host_->GetRenderModel(0), nullptr);

  host_->Shutdown();
  started_ = false;
  EXPECT_EQ(app_.shutdowns, 1);
  EXPECT_EQ(ActiveHeadset(), nullptr);
}

TEST_F(OpenVRAppHostTest, ButtonsReportPressesAndReleasesForOnePoll) {
  ASSERT_TRUE(Start());
  vr::sim::SimulatedHeadset* headset = ActiveHeadset();
  const uint64_t menu = vr::ButtonMaskFromId(vr::k_EButton_ApplicationMenu);
  const uint64_t left = vr::ButtonMaskFromId(vr::k_EButton_DPad_Left);
  headset->SetButtonsPressed(kRightHand, menu | left);
  Frame();
  const ControllerState* state = host_->GetControllerState(kRightHand);
  EXPECT_EQ(state->role, kRoleRightHand);
  EXPECT_EQ(host_->GetControllerState(kLeftHand)->role, kRoleLeftHand);
  EXPECT_EQ(state->buttonsPressed, menu | left);
  EXPECT_EQ(state->buttonsPressedNow, menu | left);
  Frame();
  EXPECT_EQ(state->buttonsPressedNow, 0u);
  EXPECT_EQ(state->buttonsReleasedNow, 0u);
  headset->SetButtonsPressed(kRightHand, left);
  Frame();
  EXPECT_EQ(state->buttonsReleasedNow, menu);
  EXPECT_EQ(state->buttonsPressedNow, 0u);
  Frame();
  EXPECT_EQ(state->buttonsReleasedNow, 0u);
}

TEST_F(OpenVRAppHostTest, AxesReportTheirTypesAndTheTrigger) {
  for (int triggerAxis : {1, 3}) {
    options_.triggerAxis = triggerAxis;
    SetOptionsOverride(&options_);
    ASSERT_TRUE(Start());
    ActiveHeadset()->SetTrigger(kRightHand, 0.75f);
    Frame();
    const ControllerState* state = host_->GetControllerState(kRightHand);
    EXPECT_EQ(state->triggerAxis, triggerAxis);
    EXPECT_EQ(state->axisTypes[triggerAxis], 0);
    EXPECT_EQ(state->trackpadAxis, 0);
    EXPECT_EQ(state->axisTypes[0], 1);
    EXPECT_EQ(state->axes[triggerAxis].x, 0.75f);
    host_->Shutdown();
    started_ = false;
  }
}

TEST_F(OpenVRAppHostTest, ADeviceWithoutAValidPoseKeepsItsKindAndIsNotPosed) {
  ASSERT_TRUE(Start());
  Frame();
  Matrix4x4 pose;
  ASSERT_TRUE(host_->GetDevicePose(kRightHand, &pose));
  ActiveHeadset()->SetPoseValid(kRightHand, false);
  Frame();
  EXPECT_FALSE(host_->GetDevicePose(kRightHand, &pose));
  EXPECT_EQ(host_->GetDeviceKind(kRightHand), DeviceKind::Controller);
}

TEST_F(OpenVRAppHostTest, SubmitsTheResolvedEyesAndMirrorsBothIntoTheWindow) {
  ASSERT_TRUE(Start());
  Frame();
  vr::sim::SimulatedHeadset* headset = ActiveHeadset();
  EXPECT_EQ(headset->SubmitCount(vr::Eye_Left), 1u);
  EXPECT_EQ(headset->SubmitCount(vr::Eye_Right), 1u);
  EXPECT_EQ(headset->LastSubmittedTexture(vr::Eye_Left), host_->Eye(0).resolveTexture);
  EXPECT_EQ(headset->LastSubmittedTexture(vr::Eye_Right), host_->Eye(1).resolveTexture);

  // Draw the companion view again (EndFrame cleared it) and read the window back.
  gl_.Context()->BeginFrame();
  host_->RenderFrame();
  const int w = gl_.Width();
  const int h = gl_.Height();
  const uint32_t red = 0xFF0000FFu;
  const uint32_t blue = 0xFFFF0000u;
  EXPECT_EQ(gl_.Pixel(w / 4, h / 2), red);
  EXPECT_EQ(gl_.Pixel(3 * w / 4, h / 2), blue);
}

class OpenVRAppHostMonoTest : public OpenVRAppHostTest {
 protected:
  OpenVRAppHostMonoTest() : OpenVRAppHostTest(720, 720) {}
};

TEST_F(OpenVRAppHostMonoTest, MonoViewShowsTheLeftEyeOverTheWholeWindow) {
  ASSERT_TRUE(Start(true));
  EXPECT_EQ(host_->CompanionWidth(), 720);
  EXPECT_EQ(host_->CompanionHeight(), 720);
  Frame();
  gl_.Context()->BeginFrame();
  host_->RenderFrame();
  const uint32_t red = 0xFF0000FFu;
  EXPECT_EQ(gl_.Pixel(gl_.Width() / 8, gl_.Height() / 2), red);
  EXPECT_EQ(gl_.Pixel(gl_.Width() * 7 / 8, gl_.Height() / 2), red);
}

// ---------------------------------------------------------------- render models

class RenderModelManagerTest : public OpenVRAppHostTest {
 protected:
  void Begin(const SimulatedHeadsetOptions& options) {
    SetOptionsOverride(&options);
    vr::EVRInitError error = vr::VRInitError_None;
    vr::VR_InitInternal(&error, vr::VRApplication_Scene);
    ASSERT_EQ(error, vr::VRInitError_None);
    system_ = static_cast<vr::IVRSystem*>(vr::VR_GetGenericInterface(vr::IVRSystem_Version, &error));
    manager_.renderModels = static_cast<vr::IVRRenderModels*>(
        vr::VR_GetGenericInterface(vr::IVRRenderModels_Version, &error));
  }
  void TearDown() override {
    manager_.ReleaseModels(gl_.Context());
    OpenVRAppHostTest::TearDown();
  }

  vr::IVRSystem* system_ = nullptr;
  OpenVRRenderModelManager manager_;
};

TEST_F(RenderModelManagerTest, ModelsLoadThroughSlowAnswersAndAreSharedByName) {
  SimulatedHeadsetOptions options = options_;
  options.loadingPolls = 3;
  Begin(options);
  manager_.LoadConnectedDeviceModels(gl_.Context(), system_);
  ASSERT_NE(manager_.DeviceModel(kLeftHand), nullptr);
  EXPECT_EQ(manager_.DeviceModel(kLeftHand), manager_.DeviceModel(kRightHand));
  EXPECT_EQ(manager_.DeviceModel(0), nullptr);
  const RenderModel* model = manager_.DeviceModel(kLeftHand);
  EXPECT_GT(model->mesh.indexCount, 0u);
  EXPECT_NE(model->texture, nullptr);

  const uint32_t requests = ActiveHeadset()->RenderModelRequests();
  manager_.LoadDeviceModel(gl_.Context(), system_, kRightHand);
  EXPECT_EQ(ActiveHeadset()->RenderModelRequests(), requests) << "the cache answers";
  manager_.LoadDeviceModel(gl_.Context(), system_, 16);
  manager_.LoadDeviceModel(gl_.Context(), system_, 1000);
  EXPECT_EQ(ActiveHeadset()->RenderModelRequests(), requests);
}

TEST_F(RenderModelManagerTest, AModelWithoutTextureIsNotCachedAndAskedForAgain) {
  SimulatedHeadsetOptions options = options_;
  options.textureFails = true;
  Begin(options);
  LogCapture log;
  manager_.LoadDeviceModel(gl_.Context(), system_, kLeftHand);
  EXPECT_EQ(manager_.DeviceModel(kLeftHand), nullptr);
  EXPECT_TRUE(log.Contains("Unable to load render texture id:1 for render model loomwork_controller"));
  EXPECT_TRUE(log.Contains(
      "Unable to load render model for tracked device 1 (loomwork_simulated.loomwork_controller)"));
  EXPECT_EQ(manager_.CachedModelCount(), 0u);
  EXPECT_EQ(ActiveHeadset()->LiveRenderModels(), 0u) << "the runtime's model was freed";
  const uint32_t textureRequests = ActiveHeadset()->TextureRequests();
  manager_.LoadDeviceModel(gl_.Context(), system_, kRightHand);
  EXPECT_GT(ActiveHeadset()->TextureRequests(), textureRequests);

  log.Clear();
  EXPECT_EQ(manager_.FindOrLoadModel(gl_.Context(), "no_such_model"), nullptr);
  EXPECT_TRUE(log.Contains("Unable to load render model no_such_model - VRRenderModelError_InvalidModel"));
}

}  // namespace
