#pragma once
// Where the simulated headset's options come from at start: a test's override, else the
// environment.
#include <cstdint>
#include <string>
#include <string_view>

namespace vr::sim {

struct SimulatedHeadsetOptions {
  uint32_t eyeWidth = 864, eyeHeight = 960;  // recommended render target per eye
  bool paced = true;                         // WaitGetPoses waits for the next 1/90 s tick
  std::string timelinePath;                  // empty: mouse and keyboard drive the controllers
  // Faults for tests:
  bool systemVersionInvalid = false;  // VR_IsInterfaceVersionValid("IVRSystem_016") is false
  bool renderModelsMissing = false;   // VR_GetGenericInterface("IVRRenderModels_005") fails (105)
  bool compositorMissing = false;     // ... "IVRCompositor_020" fails (105)
  int32_t loadingPolls = 0;  // LoadRenderModel_Async / LoadTexture_Async answer Loading this
                             // many times per request before delivering
  bool textureFails = false;  // LoadTexture_Async answers VRRenderModelError_InvalidTexture
  int32_t triggerAxis = 1;    // controller axis that is the trigger (axis 0 is the trackpad)
};

// LOOMWORK_VR_TIMELINE=path, LOOMWORK_VR_UNPACED=1, LOOMWORK_VR_EYE_SIZE=WxH (bad values are
// logged and the default kept).
SimulatedHeadsetOptions OptionsFromEnvironment();
// Tests: options for the next VR_InitInternal instead of the environment's; null restores the
// environment.
void SetOptionsOverride(const SimulatedHeadsetOptions* options);

SimulatedHeadsetOptions OptionsForStart();

// "WxH" with both sides in 16..16384; false (out untouched) for anything else.
bool ParseEyeSize(std::string_view text, uint32_t* width, uint32_t* height);

}  // namespace vr::sim
