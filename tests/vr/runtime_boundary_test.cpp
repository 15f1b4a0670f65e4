// The entry points: which runtime starts, init tokens, interface lookup and the fault options.
#include <gtest/gtest.h>

#include <cstring>

#include "sim_headset/sim_options.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_directory.h"
#include "tests/vr/runtime_test_util.h"

namespace vr::sim::testing {
namespace {

TEST(RuntimeBoundary, WithoutAnInstalledRuntimeInitFailsAsNotInstalled) {
  // Unset and "openxr" mean the installed OpenXR runtime; here the loader is pointed at a
  // manifest that is missing, or names a library that is missing, so none is found.
  TempDirectory dir;
  dir.WriteFile("broken.json",
                "{\"file_format_version\": \"1.0.0\", \"runtime\": {\"library_path\": "
                "\"./no_such_runtime.so\"}}");
  const std::string missing = dir.File("missing.json"), broken = dir.File("broken.json");
  struct Case {
    const char* value;  // LOOMWORK_VR_RUNTIME, null: unset
    const std::string* manifest;
    const char* logged;
  };
  const Case cases[] = {{nullptr, &missing, "No OpenXR runtime found"},
                        {"", &missing, "No OpenXR runtime found"},
                        {"openxr", &broken, "No OpenXR runtime found"},
                        {"steamvr", &missing, "'steamvr'"},
                        {"Simulated", &missing, "'Simulated'"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
    ScopedEnvironment runtime("LOOMWORK_VR_RUNTIME", c.value);
    ScopedEnvironment manifest("XR_RUNTIME_JSON", c.manifest->c_str());
    LogCapture log;
    EVRInitError error = VRInitError_None;
    EXPECT_EQ(VR_InitInternal(&error, VRApplication_Scene), 0u);
    EXPECT_EQ(error, VRInitError_Init_InstallationNotFound);
    EXPECT_STREQ(VR_GetVRInitErrorAsEnglishDescription(error), "Installation Not Found (100)");
    EXPECT_EQ(ActiveHeadset(), nullptr);
    EXPECT_TRUE(log.Contains(c.logged));
    EXPECT_EQ(VR_GetGenericInterface(IVRSystem_Version, &error), nullptr);
    EXPECT_EQ(error, VRInitError_Init_NotInitialized);
    EXPECT_FALSE(VR_IsInterfaceVersionValid(IVRSystem_Version));
  }
}

TEST(RuntimeBoundary, ErrorDescriptions) {
  const std::pair<int32_t, const char*> cases[] = {
      {0, "No Error (0)"},
      {100, "Installation Not Found (100)"},
      {101, "Installation Corrupt (101)"},
      {103, "File Not Found (103)"},
      {105, "Interface Not Found (105)"},
      {108, "Hmd Not Found (108)"},
      {109, "Not Initialized (109)"},
      {4242, "Unknown error (4242)"},
      {-3, "Unknown error (-3)"},
  };
  for (const auto& [code, text] : cases) {
    EXPECT_STREQ(VR_GetVRInitErrorAsEnglishDescription(EVRInitError(code)), text);
  }
}

TEST(RuntimeBoundary, SimulatedRuntimeCountsInitsAndReplacesARunningOne) {
  const uint32_t before = VR_GetInitToken();
  SimulatedSession session;
  ASSERT_EQ(session.error, VRInitError_None);
  EXPECT_EQ(session.token, before + 1);
  EXPECT_EQ(VR_GetInitToken(), before + 1);
  ASSERT_NE(session.Headset(), nullptr);
  session.Compositor()->WaitGetPoses(nullptr, 0, nullptr, 0);
  EXPECT_EQ(session.Headset()->FrameIndex(), 1u);

  // Init while running starts a fresh headset.
  EVRInitError error = VRInitError_Unknown;
  EXPECT_EQ(VR_InitInternal(&error, VRApplication_Scene), before + 2);
  EXPECT_EQ(error, VRInitError_None);
  ASSERT_NE(ActiveHeadset(), nullptr);
  EXPECT_EQ(ActiveHeadset()->FrameIndex(), 0u);

  VR_ShutdownInternal();
  VR_ShutdownInternal();  // twice is harmless
  EXPECT_EQ(ActiveHeadset(), nullptr);
  EXPECT_EQ(VR_GetGenericInterface(IVRSystem_Version, &error), nullptr);
  EXPECT_EQ(error, VRInitError_Init_NotInitialized);
  EXPECT_EQ(VR_GetInitToken(), before + 2);  // tokens only change with a successful init
}

TEST(RuntimeBoundary, InterfacesAreTheRunningHeadsetsOwn) {
  SimulatedSession session;
  ASSERT_EQ(session.error, VRInitError_None);
  SimulatedHeadset* headset = session.Headset();
  struct Case {
    const char* version;
    void* expected;
  };
  const Case cases[] = {
      {IVRSystem_Version, static_cast<IVRSystem*>(headset)},
      {IVRChaperone_Version, static_cast<IVRChaperone*>(headset)},
      {IVRCompositor_Version, static_cast<IVRCompositor*>(headset)},
      {IVRRenderModels_Version, static_cast<IVRRenderModels*>(headset)},
      {"IVRSystem_015", nullptr},
      {"IVRCompositor_021", nullptr},
      {"", nullptr},
      {nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version != nullptr ? c.version : "(null)");
    EVRInitError error = VRInitError_Unknown;
    EXPECT_EQ(VR_GetGenericInterface(c.version, &error), c.expected);
    EXPECT_EQ(error, c.expected != nullptr ? VRInitError_None : VRInitError_Init_InterfaceNotFound);
    EXPECT_EQ(VR_IsInterfaceVersionValid(c.version), c.expected != nullptr);
  }
  // The pointers work through the exact interface types the host casts them back to.
  float x = 0, z = 0;
  auto* chaperone =
      static_cast<IVRChaperone*>(VR_GetGenericInterface(IVRChaperone_Version, nullptr));
  ASSERT_TRUE(chaperone->GetPlayAreaSize(&x, &z));
  EXPECT_EQ(x, 3.0f);
  EXPECT_EQ(z, 3.0f);
  EXPECT_FALSE(chaperone->GetPlayAreaSize(nullptr, &z));
  uint32_t w = 0, h = 0;
  session.System()->GetRecommendedRenderTargetSize(&w, &h);
  EXPECT_EQ(w, 864u);
  EXPECT_EQ(h, 960u);
}

TEST(RuntimeBoundary, FaultOptionsTakeAwayInterfaces) {
  struct Case {
    const char* name;
    void (*apply)(SimulatedHeadsetOptions&);
    const char* brokenVersion;
    bool versionStillValid;
  };
  const Case cases[] = {
      {"system version", [](SimulatedHeadsetOptions& o) { o.systemVersionInvalid = true; },
       IVRSystem_Version, false},
      {"render models", [](SimulatedHeadsetOptions& o) { o.renderModelsMissing = true; },
       IVRRenderModels_Version, true},
      {"compositor", [](SimulatedHeadsetOptions& o) { o.compositorMissing = true; },
       IVRCompositor_Version, true},
  };
  const char* versions[] = {IVRSystem_Version, IVRChaperone_Version, IVRCompositor_Version,
                            IVRRenderModels_Version};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedHeadsetOptions options = Unpaced();
    c.apply(options);
    SimulatedSession session(options);
    ASSERT_EQ(session.error, VRInitError_None);
    for (const char* version : versions) {
      SCOPED_TRACE(version);
      const bool broken = std::strcmp(version, c.brokenVersion) == 0;
      EVRInitError error = VRInitError_Unknown;
      EXPECT_EQ(VR_GetGenericInterface(version, &error) == nullptr, broken);
      EXPECT_EQ(error, broken ? VRInitError_Init_InterfaceNotFound : VRInitError_None);
      EXPECT_EQ(VR_IsInterfaceVersionValid(version), !broken || c.versionStillValid);
    }
  }
}

TEST(RuntimeBoundary, EnvironmentOptions) {
  struct Case {
    const char* timeline;
    const char* unpaced;
    const char* eyeSize;
    bool paced;
    uint32_t width, height;
    const char* warning;  // null: none expected
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, true, 864, 960, nullptr},
      {"run.txt", "1", "1024x768", false, 1024, 768, nullptr},
      {nullptr, "0", "640X480", true, 640, 480, nullptr},
      {nullptr, "yes", nullptr, true, 864, 960, "LOOMWORK_VR_UNPACED='yes'"},
      {nullptr, nullptr, "1024", true, 864, 960, "LOOMWORK_VR_EYE_SIZE='1024'"},
      {nullptr, nullptr, "0x5", true, 864, 960, "LOOMWORK_VR_EYE_SIZE"},
      {nullptr, nullptr, "100x", true, 864, 960, "LOOMWORK_VR_EYE_SIZE"},
      {nullptr, nullptr, "-100x200", true, 864, 960, "LOOMWORK_VR_EYE_SIZE"},
      {nullptr, nullptr, "99999999999x200", true, 864, 960, "LOOMWORK_VR_EYE_SIZE"},
      {nullptr, nullptr, "800x600junk", true, 864, 960, "LOOMWORK_VR_EYE_SIZE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.unpaced ? c.unpaced : "-") + " " + (c.eyeSize ? c.eyeSize : "-"));
    ScopedEnvironment timeline("LOOMWORK_VR_TIMELINE", c.timeline);
    ScopedEnvironment unpaced("LOOMWORK_VR_UNPACED", c.unpaced);
    ScopedEnvironment eyeSize("LOOMWORK_VR_EYE_SIZE", c.eyeSize);
    LogCapture log;
    const SimulatedHeadsetOptions options = OptionsFromEnvironment();
    EXPECT_EQ(options.timelinePath, c.timeline ? c.timeline : "");
    EXPECT_EQ(options.paced, c.paced);
    EXPECT_EQ(options.eyeWidth, c.width);
    EXPECT_EQ(options.eyeHeight, c.height);
    if (c.warning != nullptr) {
      EXPECT_TRUE(log.Contains(c.warning));
    } else {
      EXPECT_TRUE(log.Messages().empty());
    }
  }
}

TEST(RuntimeBoundary, WithoutOverrideTheEnvironmentConfiguresTheHeadset) {
  TempDirectory dir;
  ScopedEnvironment runtime("LOOMWORK_VR_RUNTIME", "simulated");
  ScopedEnvironment eyeSize("LOOMWORK_VR_EYE_SIZE", "500x400");
  ScopedEnvironment unpaced("LOOMWORK_VR_UNPACED", "1");
  SetOptionsOverride(nullptr);
  EVRInitError error = VRInitError_Unknown;
  {
    ScopedEnvironment timeline("LOOMWORK_VR_TIMELINE", dir.File("missing.txt").c_str());
    EXPECT_EQ(VR_InitInternal(&error, VRApplication_Scene), 0u);
    EXPECT_EQ(error, VRInitError_Init_FileNotFound);
  }
  ASSERT_NE(VR_InitInternal(&error, VRApplication_Scene), 0u);
  EXPECT_FALSE(ActiveHeadset()->Options().paced);
  EXPECT_FALSE(ActiveHeadset()->TimelineActive());
  uint32_t w = 0, h = 0;
  ActiveHeadset()->GetRecommendedRenderTargetSize(&w, &h);
  EXPECT_EQ(w, 500u);
  EXPECT_EQ(h, 400u);
  VR_ShutdownInternal();
}

}  // namespace
}  // namespace vr::sim::testing
