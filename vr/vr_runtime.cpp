// The entry points of the VR boundary: finds the runtime named by LOOMWORK_VR_RUNTIME and hands
// out its interfaces: the installed OpenXR runtime, or the simulated headset.
#include "vr/vr_runtime.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "sim_headset/sim_options.h"
#include "vr/openxr/openxr_headset.h"
#include "vr/simulated/simulated_headset.h"

namespace vr {
namespace {

// Not a smart pointer on purpose: a headset the application never shut down is left alone at
// exit instead of being torn down after the log has gone.
sim::SimulatedHeadset* g_headset = nullptr;
openxr::OpenXRHeadset* g_openxr = nullptr;
uint32_t g_initToken = 0;

enum class Interface { System, Chaperone, Compositor, RenderModels, None };

Interface InterfaceFromVersion(const char* version) {
  if (version == nullptr) return Interface::None;
  if (std::strcmp(version, IVRSystem_Version) == 0) return Interface::System;
  if (std::strcmp(version, IVRChaperone_Version) == 0) return Interface::Chaperone;
  if (std::strcmp(version, IVRCompositor_Version) == 0) return Interface::Compositor;
  if (std::strcmp(version, IVRRenderModels_Version) == 0) return Interface::RenderModels;
  return Interface::None;
}

// The interface the running headset offers for that version, honouring the simulated headset's
// fault options.
void* OfferedInterface(const char* version) {
  if (g_openxr != nullptr) {
    switch (InterfaceFromVersion(version)) {
      case Interface::System: return static_cast<IVRSystem*>(g_openxr);
      case Interface::Chaperone: return static_cast<IVRChaperone*>(g_openxr);
      case Interface::Compositor: return static_cast<IVRCompositor*>(g_openxr);
      case Interface::RenderModels: return static_cast<IVRRenderModels*>(g_openxr);
      case Interface::None: break;
    }
    return nullptr;
  }
  const sim::SimulatedHeadsetOptions& options = g_headset->Options();
  switch (InterfaceFromVersion(version)) {
    case Interface::System:
      return options.systemVersionInvalid ? nullptr
                                          : static_cast<void*>(static_cast<IVRSystem*>(g_headset));
    case Interface::Chaperone: return static_cast<void*>(static_cast<IVRChaperone*>(g_headset));
    case Interface::Compositor:
      return options.compositorMissing
                 ? nullptr
                 : static_cast<void*>(static_cast<IVRCompositor*>(g_headset));
    case Interface::RenderModels:
      return options.renderModelsMissing
                 ? nullptr
                 : static_cast<void*>(static_cast<IVRRenderModels*>(g_headset));
    case Interface::None: break;
  }
  return nullptr;
}

}  // namespace

namespace sim {
SimulatedHeadset* ActiveHeadset() { return g_headset; }
}  // namespace sim

uint32_t VR_InitInternal(EVRInitError* error, EVRApplicationType applicationType) {
  EVRInitError ignored = VRInitError_None;
  EVRInitError& result = error != nullptr ? *error : ignored;
  VR_ShutdownInternal();  // a second init replaces the running runtime

  const char* runtime = std::getenv("LOOMWORK_VR_RUNTIME");
  const bool simulated = runtime != nullptr && std::strcmp(runtime, "simulated") == 0;
  if (runtime != nullptr && runtime[0] != '\0' && !simulated &&
      std::strcmp(runtime, "openxr") != 0) {
    Log(LogLevel::Warning,
        "LOOMWORK_VR_RUNTIME='%.64s' names no VR runtime (known: openxr, simulated)", runtime);
    result = VRInitError_Init_InstallationNotFound;
    return 0;
  }
  if (!simulated) {
    // Unset means the platform's own: the installed OpenXR runtime.
    auto* headset = new openxr::OpenXRHeadset();
    const EVRInitError started = headset->Start();
    if (started != VRInitError_None) {
      delete headset;
      result = started;
      return 0;
    }
    g_openxr = headset;
    result = VRInitError_None;
    return ++g_initToken;
  }
  auto* headset = new sim::SimulatedHeadset(sim::OptionsForStart());
  const EVRInitError started = headset->Start();
  if (started != VRInitError_None) {
    delete headset;
    result = started;
    return 0;
  }
  g_headset = headset;
  result = VRInitError_None;
  return ++g_initToken;
}

void VR_ShutdownInternal() {
  delete g_headset;
  g_headset = nullptr;
  delete g_openxr;
  g_openxr = nullptr;
}

uint32_t VR_GetInitToken() { return g_initToken; }

bool VR_IsInterfaceVersionValid(const char* interfaceVersion) {
  if (g_openxr != nullptr) {
    return InterfaceFromVersion(interfaceVersion) != Interface::None;
  }
  if (g_headset == nullptr) {
    return false;
  }
  const Interface offered = InterfaceFromVersion(interfaceVersion);
  // A missing compositor or render model interface is a broken installation: the version is
  // still one the runtime claims, only fetching it fails.
  return offered != Interface::None &&
         !(offered == Interface::System && g_headset->Options().systemVersionInvalid);
}

void* VR_GetGenericInterface(const char* interfaceVersion, EVRInitError* error) {
  EVRInitError ignored = VRInitError_None;
  EVRInitError& result = error != nullptr ? *error : ignored;
  if (g_headset == nullptr && g_openxr == nullptr) {
    result = VRInitError_Init_NotInitialized;
    return nullptr;
  }
  void* offered = OfferedInterface(interfaceVersion);
  if (offered == nullptr) {
    Log(LogLevel::Warning, "The VR runtime offers no interface '%.64s'",
        interfaceVersion != nullptr ? interfaceVersion : "(null)");
    result = VRInitError_Init_InterfaceNotFound;
    return nullptr;
  }
  result = VRInitError_None;
  return offered;
}

const char* VR_GetVRInitErrorAsEnglishDescription(EVRInitError error) {
  switch (error) {
    case VRInitError_None: return "No Error (0)";
    case VRInitError_Unknown: return "Unknown (1)";
    case VRInitError_Init_InstallationNotFound: return "Installation Not Found (100)";
    case VRInitError_Init_InstallationCorrupt: return "Installation Corrupt (101)";
    case VRInitError_Init_VRClientDLLNotFound: return "VR Client DLL Not Found (102)";
    case VRInitError_Init_FileNotFound: return "File Not Found (103)";
    case VRInitError_Init_FactoryNotFound: return "Factory Not Found (104)";
    case VRInitError_Init_InterfaceNotFound: return "Interface Not Found (105)";
    case VRInitError_Init_InvalidInterface: return "Invalid Interface (106)";
    case VRInitError_Init_UserConfigDirectoryInvalid: return "User Config Directory Invalid (107)";
    case VRInitError_Init_HmdNotFound: return "Hmd Not Found (108)";
    case VRInitError_Init_NotInitialized: return "Not Initialized (109)";
  }
  // Valid until the next call for another unknown code on this thread.
  thread_local char unknown[40];
  std::snprintf(unknown, sizeof(unknown), "Unknown error (%d)", int(error));
  return unknown;
}

}  // namespace vr
