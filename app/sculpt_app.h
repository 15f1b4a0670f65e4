#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/animated_value.h"
#include "app/desktop_view_target.h"
#include "app/orbit_camera.h"
#include "app/stroke_spacing.h"
#include "application/application.h"
#include "audio/mixer3d.h"
#include "base/math_types.h"
#include "file/file_util.h"
#include "gfx/draw_context.h"
#include "gfx/mesh.h"
#include "gfx/shader_library.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/voxel_grid.h"
#include "ui/panel_font.h"
#include "ui/panel_ui.h"
#include "ui/script_host.h"
#include "vr/vr_system.h"

// The depth-only two-layer array texture the eyes bind at texture slot 3.
struct LayerTargets {
  Draw::Sampler* sampler = nullptr;
  Draw::RenderPass* renderPass = nullptr;
  Draw::Texture* texture = nullptr;
  std::array<Draw::Framebuffer*, 2> framebuffers = {};
};

// The sculpting application: grid, tessellator, document, panel script, mixer and every GPU
// object it draws with.
class SculptApplication : public Application {
 public:
  static constexpr size_t kConstantsSize = 384;
  static constexpr int32_t kEnvironmentCount = 2;

  // Data files are looked up through dataRoots; the panel's slots through sculptureRoots (the
  // data roots when null). Both lists must outlive the application.
  explicit SculptApplication(const DataRoots* dataRoots,
                             const DataRoots* sculptureRoots = nullptr);
  ~SculptApplication() override;
  SculptApplication(const SculptApplication&) = delete;
  SculptApplication& operator=(const SculptApplication&) = delete;

  RunMode GetRunMode() override { return RunMode::ClientOnly; }
  void Init(Draw::DrawContext* context, AudioStreamer* audio, const FrameInfo* info) override;
  void Shutdown(Draw::DrawContext* context) override;
  void ProcessSystemKeys(Controls* controls, bool* vrInput) override;
  void ProcessControls(Controls* controls, bool* vrInput) override;
  void UpdateAndRender(Draw::DrawContext* context, const FrameInfo* info) override;
  bool WantsQuit() override;

  void TogglePanel();
  // (red, green, blue, roughness, metalness) from the script globals.
  std::array<float, 5> CurrentMaterial();

  // Test and capture switches, set before the run: quit after this many frames (0: never);
  // write the presented image of frame captureFrame (1-based; 0: the last frame, at Shutdown)
  // to capturePath when not empty.
  int32_t quitAfterFrames = 0;
  int32_t captureFrame = 0;
  std::string capturePath;
  // A sculpture file loaded at the end of Init as the panel's Load button does, at once (rate
  // 0), through the data roots; empty: none.
  std::string sculptureAtStart;

  // Where the last frame's time went on this thread, in milliseconds: the update (script reload,
  // constants, controllers, records applied), the tessellation, and the views' draw submission.
  struct FrameTimes {
    double update = 0, tessellate = 0, draw = 0;
  } frameTimes;

  const DataRoots* dataRoots;
  VoxelGrid volume;
  BlockTessellator tessellator;
  SculptDocument document;
  PanelUI panel;
  PanelFont font;
  Audio::Mixer3D mixer;
  AudioStreamer* audioOut = nullptr;
  ShaderLibrary shaders;
  LayerTargets layerTargets;

  Vec3 cameraOffset;
  // The desktop window's camera; the keyboard moves its target.
  OrbitCamera orbit;
  bool panelVisible = true;
  AnimatedValue panelAnim;
  Matrix4x4 panelMatrix;
  bool mirrorEnabled = false;
  Matrix4x4 mirrorMatrix;
  bool reloadScript = false;
  // How long a frame may spend meshing dirty blocks (blocks left over stay dirty).
  float meshingBudgetSeconds = 1.0f / 90.0f;

  alignas(16) uint8_t sceneConstants[kConstantsSize] = {};
  alignas(16) uint8_t lightConstants[kConstantsSize] = {};

  Draw::VertexLayout* simpleLayout = nullptr;
  Draw::VertexLayout* sculptLayout = nullptr;
  Draw::BlendState* blendOpaque = nullptr;
  Draw::BlendState* blendAlpha = nullptr;
  Draw::BlendState* blendPremultiplied = nullptr;
  Draw::DepthStencilState* depthWrite = nullptr;
  Draw::DepthStencilState* depthTestOnly = nullptr;
  Draw::RasterState* cullBack = nullptr;
  Draw::RasterState* cullFront = nullptr;
  Draw::RasterState* cullNone = nullptr;
  Draw::Pipeline* solidPipeline = nullptr;
  Draw::Pipeline* sculptPipeline = nullptr;
  Draw::Pipeline* texturedPipeline = nullptr;
  Draw::Pipeline* pickerPipeline = nullptr;
  Draw::Pipeline* skyPipeline = nullptr;
  Draw::Pipeline* proxyFrontPipeline = nullptr;
  Draw::Pipeline* proxyBackPipeline = nullptr;
  Draw::Sampler* linearSampler = nullptr;
  Draw::Texture* toolsTexture = nullptr;
  Draw::Texture* blobTexture = nullptr;
  Draw::Texture* whiteTexture = nullptr;
  Draw::Texture* goldTexture = nullptr;
  Draw::Texture* floorTexture = nullptr;
  Draw::Texture* proxyTexture = nullptr;
  Draw::Texture* skyTexture[kEnvironmentCount] = {};
  Draw::Texture* envTexture[kEnvironmentCount] = {};
  Mesh skyCube;
  Mesh sphereProxy;
  Mesh boxProxy;
  Mesh cylinderProxy;

  // Declared last: it holds pointers to the panel, document and constants above.
  ScriptHost script;

 private:
  void UpdateFrameConstants(const FrameInfo* info, int32_t lightEnv);
  void DrawView(Draw::DrawContext* context, const FrameInfo* info, int view, int32_t lightEnv);
  void DrawPanel(Draw::DrawContext* context, const FrameInfo* info, int view);
  void DrawToolPreview(Draw::DrawContext* context);
  // The outline of the grid's 2 m cube and, in mirror mode, the mirror's plane.
  void DrawWorkingVolume(Draw::DrawContext* context);
  void DrawDeviceModels(Draw::DrawContext* context, VRSystem* system);
  // Reads the hand controllers of a VR frame: poses, D-pad tool choice, strokes and colour picks.
  void UpdateControllers(VRSystem* system, std::vector<SculptOp>& frameOps);
  // The desktop's hand: the mouse points at the panel along the camera's ray and puts the brush
  // on the surface under it (or at the target's distance where the ray meets none).
  void UpdateDesktopBrush(const FrameInfo* info, std::vector<SculptOp>& frameOps);
  // The right hand's stamp for this frame (or its colour pick with the dropper).
  void StrokeWithRightHand(const Matrix4x4& worldPose, bool valid, float trigger,
                           std::vector<SculptOp>& frameOps);
  void ProcessDesktopMouse(Controls* controls);
  void PickColour(const Matrix4x4& brushMatrix);
  void SetModel(const Matrix4x4& model);
  void SetMaterial(Vec4 tint, Vec3 f0, float roughness);
  void PushSceneConstants(Draw::DrawContext* context);
  int32_t EnvironmentIndex(int32_t lightEnv) const;

  DesktopViewTarget desktopTarget_;
  Matrix4x4 frameView_;
  Matrix4x4 trackingToWorld_;
  Matrix4x4 gridToWorld_;
  Matrix4x4 worldToGrid_;
  Matrix4x4 leftPose_;
  bool leftValid_ = false;
  StrokeSpacing strokeSpacing_;
  Matrix4x4 rightPose_;
  bool rightValid_ = false;
  float rightTrigger_ = 0.0f;
  // What points at the panel: the right hand in VR, the mouse's ray on the desktop.
  Matrix4x4 pointerPose_;
  bool pointerValid_ = false;
  float pointerTrigger_ = 0.0f;
  // The desktop's mouse: position, the left button held for strokes (only when it was pressed
  // off the panel), and the right button's drag so far (a short one is a click).
  bool desktop_ = false;
  int32_t mouseX_ = -1, mouseY_ = -1;
  bool mouseInside_ = false;
  bool leftHeld_ = false;
  bool strokeAllowed_ = false;
  float rightDrag_ = 0.0f;
  float strokeDepth_ = -1.0f;  // metres from the eye while a desktop stroke goes on
  // The desktop projection's horizontal and vertical scales and the view's height, for rays and
  // pans.
  float desktopProjectionScale_[2] = {1.0f, 1.0f};
  float viewHeight_ = 720.0f;
  int32_t frameCount_ = 0;
  double lastFrameStart_ = 0.0;
  double frameRate_ = 0.0;
  int64_t triangles_ = 0;
  bool initialised_ = false;
  bool quitPosted_ = false;
};
