#pragma once
// Draws the scene, one view at a time: the floor, the sculpture's blocks, the tracked devices'
// models, the sky, the working volume (with the mirror's plane), the panel and the brush preview.
// Owns every GPU object it draws with, the panel's font and the scene and light constant blocks
// the shaders read.
#include <array>
#include <cstdint>

#include "app/hand_poses.h"
#include "application/application.h"
#include "base/math_types.h"
#include "file/file_util.h"
#include "gfx/draw_context.h"
#include "gfx/mesh.h"
#include "gfx/shader_library.h"
#include "ui/panel_font.h"

class BlockTessellator;
class PanelUI;
class ScriptHost;
class VRSystem;

// The depth-only two-layer array texture the eyes bind at texture slot 3.
struct LayerTargets {
  Draw::Sampler* sampler = nullptr;
  Draw::RenderPass* renderPass = nullptr;
  Draw::Texture* texture = nullptr;
  std::array<Draw::Framebuffer*, 2> framebuffers = {};
};

// What the application's state says a frame shows.
struct SceneFrame {
  int32_t lightEnv = 0;  // 0 night; anything else day
  Matrix4x4 gridToWorld;
  Matrix4x4 worldToGrid;
  Vec3 cameraOffset;              // tracking space to world, in a headset
  Matrix4x4 desktopCameraToWorld;  // the desktop camera, which carries the panel there
  bool mirrorEnabled = false;
  Matrix4x4 mirrorMatrix;
  float panelScale = 0.0f;  // 0 hidden, 1 shown, between while it grows or shrinks
  HandPoses hands;
};

class SceneRenderer {
 public:
  static constexpr size_t kConstantsSize = 384;
  static constexpr int32_t kEnvironmentCount = 2;
  // The colour views are cleared to, which the fog also fades into.
  static constexpr float kClearColour[4] = {0.12f, 0.27f, 0.27f, 0.0f};

  // The script answers what the panel's settings are and draws the panel's contents; the blocks
  // are the sculpture. Both must outlive the renderer.
  SceneRenderer(ScriptHost* script, PanelUI* panel, const BlockTessellator* blocks);

  // Makes the GPU objects from the data tree. The panel gets its font, atlas and pipelines.
  void Create(Draw::DrawContext* context, const DataRoots* roots);
  void ConnectPanel(Draw::DrawContext* context);
  void Release();

  // Once a frame before the views: the lights for the light environment, the view (from the
  // listener's head) and the eye, and the light constants pushed.
  void BeginFrame(Draw::DrawContext* context, const Matrix4x4& view, int32_t lightEnv);
  void DrawView(Draw::DrawContext* context, const FrameInfo* info, int view,
                const SceneFrame& frame);

  // Where the panel was drawn last (scaled, in world space).
  const Matrix4x4& PanelMatrix() const { return panelMatrix_; }

  alignas(16) uint8_t sceneConstants[kConstantsSize] = {};
  alignas(16) uint8_t lightConstants[kConstantsSize] = {};

 private:
  void DrawPanel(Draw::DrawContext* context, const FrameInfo* info, int view,
                 const SceneFrame& frame);
  void DrawToolPreview(Draw::DrawContext* context, const SceneFrame& frame);
  // The outline of the grid's 2 m cube and, in mirror mode, the mirror's plane.
  void DrawWorkingVolume(Draw::DrawContext* context, const SceneFrame& frame);
  void DrawDeviceModels(Draw::DrawContext* context, VRSystem* system, Vec3 cameraOffset);
  void SetModel(const Matrix4x4& model);
  void SetMaterial(Vec4 tint, Vec3 f0, float roughness);
  void PushSceneConstants(Draw::DrawContext* context);

  ScriptHost* script_;
  PanelUI* panel_;
  const BlockTessellator* blocks_;
  Matrix4x4 panelMatrix_;

  ShaderLibrary shaders_;
  PanelFont font_;
  LayerTargets layerTargets_;
  Draw::VertexLayout* simpleLayout_ = nullptr;
  Draw::VertexLayout* sculptLayout_ = nullptr;
  Draw::BlendState* blendOpaque_ = nullptr;
  Draw::BlendState* blendAlpha_ = nullptr;
  Draw::BlendState* blendPremultiplied_ = nullptr;
  Draw::DepthStencilState* depthWrite_ = nullptr;
  Draw::DepthStencilState* depthTestOnly_ = nullptr;
  Draw::RasterState* cullBack_ = nullptr;
  Draw::RasterState* cullFront_ = nullptr;
  Draw::RasterState* cullNone_ = nullptr;
  Draw::Pipeline* solidPipeline_ = nullptr;
  Draw::Pipeline* sculptPipeline_ = nullptr;
  Draw::Pipeline* texturedPipeline_ = nullptr;
  Draw::Pipeline* pickerPipeline_ = nullptr;
  Draw::Pipeline* skyPipeline_ = nullptr;
  Draw::Pipeline* proxyFrontPipeline_ = nullptr;
  Draw::Pipeline* proxyBackPipeline_ = nullptr;
  Draw::Sampler* linearSampler_ = nullptr;
  Draw::Texture* toolsTexture_ = nullptr;
  Draw::Texture* blobTexture_ = nullptr;
  Draw::Texture* whiteTexture_ = nullptr;
  Draw::Texture* goldTexture_ = nullptr;
  Draw::Texture* floorTexture_ = nullptr;
  Draw::Texture* proxyTexture_ = nullptr;
  Draw::Texture* skyTexture_[kEnvironmentCount] = {};
  Draw::Texture* envTexture_[kEnvironmentCount] = {};
  Mesh skyCube_;
  Mesh sphereProxy_;
  Mesh boxProxy_;
  Mesh cylinderProxy_;
};
