// The runtime's share of a VR frame, as the host drives it: WaitGetPoses (OpenXR: wait, begin,
// sync the actions, locate the views and devices), both controller states and both eyes'
// Submit (OpenXR: acquire, copy, release, and end the frame after the right eye). arg 0: 0 the
// in-process simulated headset, 1 the same headset through the Khronos loader as an OpenXR
// runtime. Both unpaced, so only the calls' own cost is measured (CPU time of this thread).
#include <benchmark/benchmark.h>
#include <glad/gl.h>

#include <unistd.h>

#include <cstdlib>

#include "bench/bench_window.h"
#include "sim_headset/sim_options.h"
#include "vr/simulated/simulated_headset.h"
#include "vr/vr_runtime.h"

namespace {

void BM_RuntimeFrame(benchmark::State& state) {
  BenchWindow w(64, 64);
  if (w.context == nullptr) {
    state.SkipWithError("no OpenGL context (no display?)");
    return;
  }
  const bool openxr = state.range(0) == 1;
  setenv("LOOMWORK_VR_RUNTIME", openxr ? "openxr" : "simulated", 1);
  setenv("XR_RUNTIME_JSON", LOOMWORK_XR_SIM_MANIFEST, 1);
  setenv("LOOMWORK_VR_UNPACED", "1", 1);
  setenv("LOOMWORK_VR_EYE_SIZE", "864x960", 1);
  // A timeline that leaves the devices where they start: without one, the OpenXR runtime would
  // open its mouse-driven window and draw the eyes there, which is not the frame path's cost.
  char timeline[] = "/tmp/loomwork-vr-bench-XXXXXX";
  const int fd = mkstemp(timeline);
  if (fd < 0 || write(fd, "at 0\n", 5) != 5) {
    state.SkipWithError("no temporary timeline");
    return;
  }
  close(fd);
  setenv("LOOMWORK_VR_TIMELINE", timeline, 1);
  vr::EVRInitError error = vr::VRInitError_None;
  vr::VR_InitInternal(&error, vr::VRApplication_Scene);
  auto* system = static_cast<vr::IVRSystem*>(vr::VR_GetGenericInterface(vr::IVRSystem_Version, &error));
  auto* compositor =
      static_cast<vr::IVRCompositor*>(vr::VR_GetGenericInterface(vr::IVRCompositor_Version, &error));
  if (system == nullptr || compositor == nullptr) {
    state.SkipWithError("the runtime did not start");
    vr::VR_ShutdownInternal();
    unlink(timeline);
    return;
  }
  uint32_t width = 0, height = 0;
  system->GetRecommendedRenderTargetSize(&width, &height);
  GLuint eyes[2];
  glCreateTextures(GL_TEXTURE_2D, 2, eyes);
  for (GLuint eye : eyes) glTextureStorage2D(eye, 1, GL_RGBA8, GLsizei(width), GLsizei(height));

  vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
  const auto frame = [&] {
    compositor->WaitGetPoses(poses, vr::k_unMaxTrackedDeviceCount, nullptr, 0);
    vr::VRControllerState_t controller;
    for (vr::TrackedDeviceIndex_t hand = 1; hand <= 2; ++hand) {
      system->GetControllerState(hand, &controller, sizeof controller);
    }
    for (int eye = 0; eye < 2; ++eye) {
      const vr::Texture_t texture = {reinterpret_cast<void*>(uintptr_t(eyes[eye])),
                                     vr::TextureType_OpenGL, vr::ColorSpace_Gamma};
      compositor->Submit(vr::EVREye(eye), &texture);
    }
  };
  for (int i = 0; i < 10; ++i) frame();  // the session reaches FOCUSED
  for (auto _ : state) {
    frame();
    // The copies run on the rasteriser's threads; keep them from piling up between frames.
    state.PauseTiming();
    glFinish();
    state.ResumeTiming();
  }
  glDeleteTextures(2, eyes);
  vr::VR_ShutdownInternal();
  unlink(timeline);
}
BENCHMARK(BM_RuntimeFrame)->Arg(0)->Arg(1)->ArgName("openxr")->Unit(benchmark::kMicrosecond);

}  // namespace
