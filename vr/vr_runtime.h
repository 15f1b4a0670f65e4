#pragma once
// The VR runtime boundary: the entry points of the OpenVR API that the VR host uses, over the
// types and interfaces of vr_api/openvr_api.h. The runtime behind this boundary is chosen by the
// environment:
//
//   LOOMWORK_VR_RUNTIME unset, empty     the installed OpenXR runtime through the Khronos loader
//     or openxr                          (vr/openxr/openxr_headset.h); none installed: error 100
//   LOOMWORK_VR_RUNTIME=simulated        the built-in simulated headset
//                                        (vr/simulated/simulated_headset.h)
//   anything else                        init fails with error 100 (logged)
//
// Everything here runs on the thread that owns the OpenGL context.
#include <cstdint>

#include "vr_api/openvr_api.h"

namespace vr {

// ---------------------------------------------------------------- entry points

// Starts the runtime chosen by the environment; returns the init token (changes with every
// successful start) and writes VRInitError_None, or an error and returns 0.
uint32_t VR_InitInternal(EVRInitError* error, EVRApplicationType applicationType);
void VR_ShutdownInternal();
uint32_t VR_GetInitToken();
bool VR_IsInterfaceVersionValid(const char* interfaceVersion);
// The interface of that version from the running runtime, or null with an error.
void* VR_GetGenericInterface(const char* interfaceVersion, EVRInitError* error);
const char* VR_GetVRInitErrorAsEnglishDescription(EVRInitError error);

}  // namespace vr
