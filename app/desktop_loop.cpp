#include "app/desktop_loop.h"

#include <cmath>

#include "app/controls.h"
#include "base/log.h"
#include "gfx/opengl_context.h"

namespace {

constexpr float kDesktopNearPlane = 0.1f;
constexpr float kDesktopFarPlane = 800.0f;
constexpr float kDesktopHorizontalFovDegrees = 90.0f;

}  // namespace

Matrix4x4 DesktopProjection(float aspect) {
  // The field of view is horizontal, so the vertical scale grows with the aspect ratio (unlike
  // SetPerspective, whose angle is vertical).
  const float t = std::tan(kDesktopHorizontalFovDegrees * 0.5f * 3.14159265f / 180.0f);
  const float n = kDesktopNearPlane;
  const float f = kDesktopFarPlane;
  Matrix4x4 projection;
  projection.m[0] = 1.0f / t;
  projection.m[5] = aspect / t;
  projection.m[10] = -(f + n) / (f - n);
  projection.m[11] = -1.0f;
  projection.m[14] = -2.0f * f * n / (f - n);
  return projection;
}

void BindDesktopTarget(int /*view*/, const FrameInfo* info, const float clearColour[4]) {
  auto* context = static_cast<Draw::DrawContext*>(info->targetUserData);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  glViewport(0, 0, context->GetBackbufferWidth(), context->GetBackbufferHeight());
}

bool RunDesktopLoop(Application* application, Draw::OpenGLContext* context, AudioStreamer* audio,
                    Controls* controls, std::atomic<bool>* quit) {
  if (!context->Init()) {
    Log(LogLevel::Error, "No OpenGL context for the desktop window; nothing can be drawn");
    context->Shutdown();
    return false;
  }

  FrameInfo info;
  info.isVR = false;
  info.viewCount = 1;
  info.width = static_cast<uint32_t>(context->GetBackbufferWidth());
  info.height = static_cast<uint32_t>(context->GetBackbufferHeight());
  info.vrSystem = nullptr;
  info.targetUserData = static_cast<Draw::DrawContext*>(context);
  info.bindTarget = &BindDesktopTarget;
  application->Init(context, audio, &info);

  // Built once: resizing the window later changes the viewport, not the projection.
  const Matrix4x4 projection = DesktopProjection(context->GetBackbufferAspect());

  while (!quit->load(std::memory_order_relaxed)) {
    controls->Update();
    bool vrInput = false;
    application->ProcessSystemKeys(controls, &vrInput);
    application->ProcessControls(controls, &vrInput);
    context->BeginFrame();
    info.eyeProjection[0] = projection;
    info.width = static_cast<uint32_t>(context->GetBackbufferWidth());
    info.height = static_cast<uint32_t>(context->GetBackbufferHeight());
    application->UpdateAndRender(context, &info);
    const bool presented = context->Present();
    if (!presented || application->WantsQuit()) {
      quit->store(true, std::memory_order_relaxed);
    }
  }

  application->Shutdown(context);
  context->Shutdown();
  return true;
}
