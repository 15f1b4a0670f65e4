#include "app/scene_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/grid_placement.h"
#include "base/check.h"
#include "base/log.h"
#include "gfx/ktx.h"
#include "gfx/simple_vertex.h"
#include "gfx/tex_util.h"
#include "gfx/texture_loader.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/metal_presets.h"
#include "sculpt/primitive_mesh.h"
#include "sculpt/sculpt_vertex.h"
#include "sculpt/voxel_grid.h"
#include "ui/panel_ui.h"
#include "ui/script_globals.h"
#include "ui/script_host.h"
#include "ui/tool_icons.h"
#include "vr/vr_system.h"

namespace {

// Where the desktop panel's carrying point sits, metres right of the view's middle at 1 m.
constexpr float kDesktopPanelX = -0.62f;
// The working volume's edges and the mirror plane (RGBA8, red in the lowest byte), and the
// brush preview's colour when it is outside the grid.
constexpr uint32_t kVolumeEdgeColour = 0x50FFFFFFu;
constexpr uint32_t kMirrorColour = 0x30FFB040u;
constexpr Vec4 kOutsideTint = {1.0f, 0.55f, 0.0f, 1.0f};
constexpr float kHalfPi = 1.57079632679489662f;

// Offsets into the 384-byte scene constant block (data/shaders/scene_constants.glsl).
enum SceneOffset : size_t {
  kViewProjection = 0,
  kView = 64,
  kModel = 128,
  kEyePosition = 192,
  kExposure = 204,
  kFogColour = 208,
  kFogStart = 224,
  kFogDensity = 228,
  kLightDirection = 240,
  kAmbient = 272,
  kPointLightMask = 288,
  kTint = 304,
  kF0 = 336,
  kRoughness = 352,
  kDielectricF0 = 356,
  kSculptureDrawn = 360,
};

void PutFloat(uint8_t* block, size_t offset, float value) {
  std::memcpy(block + offset, &value, sizeof value);
}
void PutU32(uint8_t* block, size_t offset, uint32_t value) {
  std::memcpy(block + offset, &value, sizeof value);
}
void PutVec3(uint8_t* block, size_t offset, Vec3 v) {
  const float values[3] = {v.x, v.y, v.z};
  std::memcpy(block + offset, values, sizeof values);
}
void PutVec4(uint8_t* block, size_t offset, Vec4 v) {
  const float values[4] = {v.x, v.y, v.z, v.w};
  std::memcpy(block + offset, values, sizeof values);
}
void PutMatrix(uint8_t* block, size_t offset, const Matrix4x4& m) {
  std::memcpy(block + offset, m.m, sizeof m.m);
}

template <class T>
void DeleteAndClear(T*& object) {
  delete object;
  object = nullptr;
}

Draw::Pipeline* MakePipeline(Draw::DrawContext* context, std::vector<Draw::ShaderModule*> shaders,
                             Draw::VertexLayout* layout, Draw::DepthStencilState* depth,
                             Draw::BlendState* blend, Draw::RasterState* raster) {
  Draw::PipelineDesc desc;
  desc.shaders = std::move(shaders);
  desc.vertexLayout = layout;
  desc.depthStencil = depth;
  desc.blend = blend;
  desc.raster = raster;
  return context->CreatePipeline(desc);
}

void UploadMesh(Draw::DrawContext* context, Mesh& mesh,
                void (*generate)(std::vector<SimpleVertex>&, std::vector<uint32_t>&),
                float positionScale) {
  std::vector<SimpleVertex> vertices;
  std::vector<uint32_t> indices;
  generate(vertices, indices);
  for (SimpleVertex& vertex : vertices) {
    for (float& p : vertex.position) p *= positionScale;
  }
  mesh.Create(context, vertices, indices);
}

}  // namespace

SceneRenderer::SceneRenderer(ScriptHost* script, PanelUI* panel, const BlockTessellator* blocks)
    : script_(script), panel_(panel), blocks_(blocks) {}

void SceneRenderer::Create(Draw::DrawContext* context, const DataRoots* roots) {
  // The folder is listed as named, so it is named through the data roots (an installed program
  // run from another folder lists its own data tree's).
  LoadShaderLibrary(shaders_, context, roots, FindDataFile(roots, "shaders/"));

  Draw::VertexLayoutDesc simpleDesc;
  simpleDesc.bindings = {{int32_t(sizeof(SimpleVertex)), 0}};
  // Three floats from the texture coordinate on: the shaders_ read only its first two.
  simpleDesc.attributes = {{0, 0, Draw::R32G32B32_FLOAT, 0},
                           {0, 1, Draw::R32G32B32_FLOAT, 12},
                           {0, 2, Draw::R32G32B32_FLOAT, 24},
                           {0, 3, Draw::R8G8B8A8_UNORM, 32}};
  simpleLayout_ = context->CreateVertexLayout(simpleDesc);
  Draw::VertexLayoutDesc sculptDesc;
  sculptDesc.bindings = {{int32_t(sizeof(SculptVertex)), 0}};
  sculptDesc.attributes = {{0, 0, Draw::R32G32B32_FLOAT, 0},
                           {0, 1, Draw::R32G32B32_FLOAT, 12},
                           {0, 2, Draw::R8G8B8A8_UNORM, 24},
                           {0, 3, Draw::R8G8B8A8_UNORM, 28}};
  sculptLayout_ = context->CreateVertexLayout(sculptDesc);

  Draw::BlendStateDesc opaqueDesc;
  opaqueDesc.renderTargets = {Draw::BlendTarget{}};
  blendOpaque_ = context->CreateBlendState(opaqueDesc);
  Draw::BlendTarget alpha;
  alpha.enabled = true;
  alpha.colorWriteMask = 15;
  alpha.srcColor = Draw::BlendFactor::SRC_ALPHA;
  alpha.dstColor = Draw::BlendFactor::ONE_MINUS_SRC_ALPHA;
  alpha.srcAlpha = Draw::BlendFactor::ZERO;
  alpha.dstAlpha = Draw::BlendFactor::ZERO;
  Draw::BlendStateDesc alphaDesc;
  alphaDesc.renderTargets = {alpha};
  blendAlpha_ = context->CreateBlendState(alphaDesc);
  Draw::BlendTarget premultiplied = alpha;
  premultiplied.srcColor = Draw::BlendFactor::ONE;
  Draw::BlendStateDesc premultipliedDesc;
  premultipliedDesc.renderTargets = {premultiplied};
  blendPremultiplied_ = context->CreateBlendState(premultipliedDesc);

  Draw::DepthStencilStateDesc depthDesc;
  depthDesc.depthTestEnabled = true;
  depthDesc.depthWriteEnabled = true;
  depthDesc.depthCompare = Draw::Comparison::LESS_EQUAL;
  depthWrite_ = context->CreateDepthStencilState(depthDesc);
  depthDesc.depthWriteEnabled = false;
  depthTestOnly_ = context->CreateDepthStencilState(depthDesc);

  cullBack_ = context->CreateRasterState({Draw::CullMode::BACK, Draw::Facing::CCW});
  cullFront_ = context->CreateRasterState({Draw::CullMode::FRONT, Draw::Facing::CCW});
  cullNone_ = context->CreateRasterState({Draw::CullMode::NONE, Draw::Facing::CCW});

  solidPipeline_ = MakePipeline(context, GetShaderSet(shaders_, "solid"), simpleLayout_,
                                depthWrite_, blendOpaque_, cullBack_);
  sculptPipeline_ = MakePipeline(context, GetShaderSet(shaders_, "solidiso"), sculptLayout_,
                                depthWrite_, blendOpaque_, cullBack_);
  texturedPipeline_ = MakePipeline(context, GetShaderSet(shaders_, "simpletex"), simpleLayout_,
                                  depthTestOnly_, blendAlpha_, cullNone_);
  pickerPipeline_ = MakePipeline(context, MakeShaderPair(shaders_, "simpletex", "colorpicker"),
                                simpleLayout_, depthTestOnly_, blendPremultiplied_, cullNone_);
  skyPipeline_ = MakePipeline(context, GetShaderSet(shaders_, "cubesky"), simpleLayout_,
                             depthTestOnly_, blendOpaque_, cullNone_);
  proxyFrontPipeline_ = MakePipeline(context, GetShaderSet(shaders_, "simpletex"), simpleLayout_,
                                    depthTestOnly_, blendPremultiplied_, cullBack_);
  proxyBackPipeline_ = MakePipeline(context, GetShaderSet(shaders_, "simpletex"), simpleLayout_,
                                   depthTestOnly_, blendPremultiplied_, cullFront_);

  Draw::SamplerStateDesc samplerDesc;  // linear, repeat, no anisotropy
  linearSampler_ = context->CreateSamplerState(samplerDesc);

  toolsTexture_ = LoadTexture(context, roots, "textures/tools.png", GENERATE_MIPS);
  CHECK(toolsTexture_ != nullptr);
  blobTexture_ = LoadTexture(context, roots, "textures/blob.png", 0);
  whiteTexture_ = CreateSolidColorTexture(context, 4, 4, 0, Draw::R8G8B8A8_UNORM, 0xFFFFFFFFu);
  if (const MetalPreset* gold = FindMetal("Gold")) {
    goldTexture_ = CreateSolidColorTexture(
        context, 4, 4, 0, Draw::R8G8B8A8_UNORM,
        ColorToRGBA8({gold->f0[0], gold->f0[1], gold->f0[2], 0.0f}));
  }
  floorTexture_ = CreateTextureFromFunction(
      context, 512, 512, 0, Draw::R8G8_UNORM, [](Vec2 uv) {
        const int i = int(std::floor(512.0f * uv.x));
        const int j = int(std::floor(512.0f * uv.y));
        return Vec4{0.0f, ((i ^ j) & 32) != 0 ? 0.8f : 0.2f, 0.0f, 0.0f};
      });
  proxyTexture_ = LoadTexture(context, roots, "textures/proxy.png", 0);
  CHECK(proxyTexture_ != nullptr);
  const char* const skyFiles[kEnvironmentCount] = {"textures/nightskybox_filtered.ktx",
                                                   "textures/swiss_filtered.ktx"};
  for (int e = 0; e < kEnvironmentCount; ++e) {
    std::vector<uint8_t> data;
    if (ReadDataFromFile(roots, skyFiles[e], data)) {
      skyTexture_[e] = CreateTextureFromKTX(context, data);
    }
    data.clear();
    if (ReadDataFromFile(roots, skyFiles[e], data)) {
      envTexture_[e] = CreateTextureFromKTX(context, data);
    }
  }

  UploadMesh(context, skyCube_, [](auto& v, auto& i) { GenerateCube(v, i, 1); }, 100.0f);
  UploadMesh(context, boxProxy_, [](auto& v, auto& i) { GenerateCube(v, i, 1); }, 1.0f);
  UploadMesh(context, sphereProxy_, [](auto& v, auto& i) { GenerateSphere(v, i, 8); }, 1.0f);
  UploadMesh(context, cylinderProxy_, [](auto& v, auto& i) { GenerateCylinder(v, i, 32, 1, true); },
             1.0f);

  std::memset(sceneConstants, 0, sizeof sceneConstants);
  PutFloat(sceneConstants, kFogStart, -70.0f);
  PutFloat(sceneConstants, kFogDensity, 0.03f);

  std::memset(sceneConstants, 0, sizeof sceneConstants);
  PutFloat(sceneConstants, kFogStart, -70.0f);
  PutFloat(sceneConstants, kFogDensity, 0.03f);

  // Through the data roots, so an installed program run from another folder finds its font.
  if (!font_.Init(context, FindDataFile(roots, "assets/Comfortaa_Bold.ttf"), 128.0f, 0.05f)) {
    Log(LogLevel::Error, "SculptApplication: the panel font did not load; the panel has no text");
  }
  Draw::SamplerStateDesc shadowDesc;
  shadowDesc.wrapU = Draw::TextureAddressMode::CLAMP_TO_BORDER;
  shadowDesc.wrapV = Draw::TextureAddressMode::CLAMP_TO_BORDER;
  shadowDesc.shadowCompareEnabled = true;
  shadowDesc.shadowCompareOp = Draw::Comparison::LESS_EQUAL;
  shadowDesc.borderColor = Draw::BorderColor::OPAQUE_WHITE;
  layerTargets_.sampler = context->CreateSamplerState(shadowDesc);
  Draw::RenderPassDesc layerPass;
  layerPass.attachments = {{Draw::D16, Draw::CLEAR}};
  layerTargets_.renderPass = context->CreateRenderPass(layerPass);
  Draw::TextureDesc layerDesc;
  layerDesc.format = Draw::D16;
  layerDesc.width = 1024;
  layerDesc.height = 1024;
  layerDesc.depth = 2;
  layerDesc.mipLevels = 1;
  layerDesc.flags = Draw::ARRAY;
  layerTargets_.texture = context->CreateTexture(layerDesc);
  if (layerTargets_.texture != nullptr && layerTargets_.renderPass != nullptr) {
    for (int layer = 0; layer < 2; ++layer) {
      Draw::FramebufferDesc desc;
      desc.attachments = {{layerTargets_.texture, layer, 0}};
      desc.width = 1024;
      desc.height = 1024;
      desc.renderPass = layerTargets_.renderPass;
      layerTargets_.framebuffers[size_t(layer)] = context->CreateFramebuffer(desc);
    }
  }
}

void SceneRenderer::ConnectPanel(Draw::DrawContext* context) {
  panel_->font = &font_;
  panel_->Init(context, toolsTexture_, 288.0f, 32.0f, 1.0f, kToolIcons);
  panel_->texturedPipeline = texturedPipeline_;
  panel_->pickerPipeline = pickerPipeline_;
}

void SceneRenderer::Release() {
  for (Draw::Framebuffer*& framebuffer : layerTargets_.framebuffers) DeleteAndClear(framebuffer);
  DeleteAndClear(layerTargets_.texture);
  DeleteAndClear(layerTargets_.sampler);
  DeleteAndClear(layerTargets_.renderPass);

  DeleteAndClear(toolsTexture_);
  DeleteAndClear(blobTexture_);
  DeleteAndClear(whiteTexture_);
  DeleteAndClear(goldTexture_);
  DeleteAndClear(floorTexture_);
  DeleteAndClear(proxyTexture_);
  for (int e = 0; e < kEnvironmentCount; ++e) {
    DeleteAndClear(skyTexture_[e]);
    DeleteAndClear(envTexture_[e]);
  }
  skyCube_.Release();
  sphereProxy_.Release();
  boxProxy_.Release();
  cylinderProxy_.Release();

  DeleteAndClear(simpleLayout_);
  DeleteAndClear(sculptLayout_);
  DeleteAndClear(blendOpaque_);
  DeleteAndClear(blendAlpha_);
  DeleteAndClear(blendPremultiplied_);
  DeleteAndClear(depthWrite_);
  DeleteAndClear(depthTestOnly_);
  DeleteAndClear(cullBack_);
  DeleteAndClear(cullFront_);
  DeleteAndClear(cullNone_);
  DeleteAndClear(linearSampler_);
  DeleteAndClear(solidPipeline_);
  DeleteAndClear(sculptPipeline_);
  DeleteAndClear(texturedPipeline_);
  DeleteAndClear(pickerPipeline_);
  DeleteAndClear(skyPipeline_);
  DeleteAndClear(proxyFrontPipeline_);
  DeleteAndClear(proxyBackPipeline_);
  panel_->texturedPipeline = nullptr;
  panel_->pickerPipeline = nullptr;
  panel_->atlas = nullptr;

  font_.Shutdown();
  ClearShaderLibrary(shaders_);
}

void SceneRenderer::SetModel(const Matrix4x4& model) { PutMatrix(sceneConstants, kModel, model); }

void SceneRenderer::SetMaterial(Vec4 tint, Vec3 f0, float roughness) {
  PutVec4(sceneConstants, kTint, tint);
  PutVec3(sceneConstants, kF0, f0);
  PutFloat(sceneConstants, kRoughness, roughness);
}

void SceneRenderer::PushSceneConstants(Draw::DrawContext* context) {
  context->PushUniforms(0, sceneConstants, sizeof sceneConstants);
}

void SceneRenderer::BeginFrame(Draw::DrawContext* context, const Matrix4x4& view,
                               int32_t lightEnv) {
  std::memset(lightConstants, 0, sizeof lightConstants);
  const Vec3 lightPositions[4] = {{10, 10, 10}, {-10, 10, 10}, {10, 10, -10}, {-10, 10, -10}};
  for (size_t i = 0; i < 4; ++i) {
    PutVec3(lightConstants, i * 32, lightPositions[i]);
    PutFloat(lightConstants, i * 32 + 12, 100.0f);
    PutVec3(lightConstants, i * 32 + 16, {0.5f, 0.5f, 0.5f});
  }
  PutU32(sceneConstants, kPointLightMask, lightEnv == 0 ? 0x00010203u : 0xFFFFFFFFu);

  PutFloat(sceneConstants, kExposure, 0.8f);
  PutVec4(sceneConstants, kFogColour,
          {kClearColour[0], kClearColour[1], kClearColour[2], kClearColour[3]});
  PutVec4(sceneConstants, kAmbient, {0.03f, 0.009f, 0.12f, 0.0f});
  SetMaterial({1, 1, 1, 1}, {0.04f, 0.04f, 0.04f}, 1.0f);
  PutFloat(sceneConstants, kDielectricF0, 0.04f);

  PutMatrix(sceneConstants, kView, view);
  Matrix4x4 inverseView;
  if (!InvertMatrix(view, inverseView)) inverseView = Matrix4x4::Identity();
  PutVec3(sceneConstants, kEyePosition,
          {inverseView.m[12], inverseView.m[13], inverseView.m[14]});
  const float d = 1.0f / std::sqrt(3.0f);
  PutVec3(sceneConstants, kLightDirection, {d, d, d});
  context->PushUniforms(1, lightConstants, sizeof lightConstants);
}

void SceneRenderer::DrawView(Draw::DrawContext* context, const FrameInfo* info, int view,
                             const SceneFrame& frame) {
  // Only two environments exist: anything but night shows the day.
  const int32_t env = frame.lightEnv == 0 ? 0 : 1;
  if (info->bindTarget != nullptr) {
    info->bindTarget(view, info, kClearColour);
  }
  Draw::Viewport viewport;
  viewport.width = float(info->width);
  viewport.height = float(info->height);
  context->SetViewports(0, 1, &viewport);
  context->BindTexture(0, whiteTexture_);
  context->BindTexture(1, envTexture_[env]);
  context->BindTexture(2, whiteTexture_);
  context->BindTexture(3, layerTargets_.texture);
  for (int slot = 0; slot < 3; ++slot) context->BindSampler(slot, linearSampler_);
  PutMatrix(sceneConstants, kViewProjection, info->eyeProjection[view]);
  context->BindPipeline(solidPipeline_);

  // Floor.
  SetModel(Matrix4x4::Identity());
  SetMaterial({1, 1, 1, 1}, {0.04f, 0.04f, 0.04f}, 0.85f);
  PushSceneConstants(context);
  context->BindTexture(2, floorTexture_);
  const float s = float(script_->GetNumber(ScriptGlobals::kFloorSize));
  auto* floor = static_cast<SimpleVertex*>(context->AllocateImmediateVertices(4, 36));
  if (floor != nullptr) {
    const float corners[4][4] = {{-s, -s, 0, 0}, {-s, s, 0, 1}, {s, -s, 1, 0}, {s, s, 1, 1}};
    for (int i = 0; i < 4; ++i) {
      floor[i] = SimpleVertex{{corners[i][0], 0.0f, corners[i][1]},
                              {0.0f, 1.0f, 0.0f},
                              {corners[i][2], corners[i][3]},
                              0xFF202020u};
    }
    context->DrawImmediate(Draw::Primitive::TRIANGLE_STRIP);
  }
  context->BindTexture(2, whiteTexture_);

  // Sculpture.
  context->BindPipeline(sculptPipeline_);
  SetModel(frame.gridToWorld);
  SetMaterial({1, 1, 1, 1}, {0.04f, 0.04f, 0.04f}, 0.3f);
  PutFloat(sceneConstants, kSculptureDrawn, 1.0f);
  PushSceneConstants(context);
  blocks_->DrawBlocks(context);

  context->BindPipeline(solidPipeline_);
  if (info->vrSystem != nullptr) {
    DrawDeviceModels(context, info->vrSystem, frame.cameraOffset);
  }

  // Sky.
  SetModel(Matrix4x4::Identity());
  context->BindTexture(1, skyTexture_[env]);
  PushSceneConstants(context);
  context->BindPipeline(skyPipeline_);
  skyCube_.Draw(context);
  context->BindTexture(1, envTexture_[env]);

  SetModel(Matrix4x4::Identity());
  PushSceneConstants(context);
  context->BindPipeline(texturedPipeline_);

  DrawWorkingVolume(context, frame);
  DrawPanel(context, info, view, frame);
  DrawToolPreview(context, frame);

  context->ResetState();
  script_->CallFunction("renderEye", int64_t(view));
}

void SceneRenderer::DrawPanel(Draw::DrawContext* context, const FrameInfo* info, int view,
                              const SceneFrame& frame) {
  Matrix4x4 base;
  bool baseValid = false;
  Matrix4x4 orientation = Matrix4x4::Identity();
  if (info->vrSystem != nullptr) {
    // The left hand carries the panel, tilted so that it faces the user over the controller.
    base = frame.hands.left;
    baseValid = frame.hands.leftValid;
    const float c = std::cos(kHalfPi);
    const float s = std::sin(kHalfPi);
    orientation.m[5] = c;
    orientation.m[6] = s;
    orientation.m[9] = -s;
    orientation.m[10] = c;
    panel_->UpdateTrigger(frame.hands.rightTrigger);
  } else {
    // Desktop: the panel hangs 1 m in front of the camera, towards the left edge of the view so
    // the sculpture stays in sight, with its y axis (growing downwards) pointing down.
    base = Matrix4x4::Scale({1.0f, -1.0f, -1.0f}) *
           Matrix4x4::Translation({kDesktopPanelX, 0.0f, -1.0f}) * frame.desktopCameraToWorld;
    baseValid = true;
    panel_->UpdateTrigger(frame.hands.pointerTrigger);
  }
  panelMatrix_ = base;
  const float v = frame.panelScale;
  if (v <= 0.0f || !baseValid) {
    // No panel, nothing to point at: a pointer left on the panel before it was hidden must not
    // keep the brush from stroking.
    panel_->pointerOnPanel = false;
    return;
  }
  panelMatrix_ = Matrix4x4::Scale({0.01f * v, 0.01f * v, 0.01f * v}) *
                Matrix4x4::Translation({0.0f, 0.0f, -0.05f}) * orientation * base;
  SetModel(panelMatrix_);
  PushSceneConstants(context);
  panel_->SetPointer(frame.hands.pointerValid, frame.hands.pointer);
  // The hand controller points at the panel in VR, the mouse on the desktop.
  panel_->SetEye(view, info->vrSystem != nullptr || frame.hands.pointerValid);
  panel_->SetTransform(context, panelMatrix_);
  script_->CallFunction("processUI");
  panel_->DrawPointer(context);
  SetModel(Matrix4x4::Identity());
  PushSceneConstants(context);
}

void SceneRenderer::DrawWorkingVolume(Draw::DrawContext* context, const SceneFrame& frame) {
  // The 2 m cube's twelve edges, faint, so strokes are never aimed at nothing.
  context->BindTexture(0, whiteTexture_);
  if (auto* edges = static_cast<SimpleVertex*>(context->AllocateImmediateVertices(24, 36))) {
    int n = 0;
    for (int axis = 0; axis < 3; ++axis) {
      for (int corner = 0; corner < 4; ++corner) {
        for (int end = 0; end < 2; ++end) {
          float p[3];
          p[axis] = end == 0 ? 0.0f : 1.0f;
          p[(axis + 1) % 3] = (corner & 1) ? 1.0f : 0.0f;
          p[(axis + 2) % 3] = (corner & 2) ? 1.0f : 0.0f;
          // Grid corners to world: x and z from -1 to 1, y from 0 to 2.
          edges[n++] = SimpleVertex{{2.0f * p[0] - 1.0f, 2.0f * p[1], 2.0f * p[2] - 1.0f},
                                    {0.0f, 1.0f, 0.0f},
                                    {0.0f, 0.0f},
                                    kVolumeEdgeColour};
        }
      }
    }
    context->DrawImmediate(Draw::Primitive::LINE_LIST);
  }
  if (!frame.mirrorEnabled) return;
  // The mirror's plane, translucent: the points halfway between a point and its image, facing
  // along the line between them.
  const Vec3 a = {96.0f, 96.0f, 96.0f}, b = {40.0f, 120.0f, 70.0f};
  Vec3 p = a, image = TransformPoint(frame.mirrorMatrix, a);
  if (Length(image - p) < 1.0f) {
    p = b;
    image = TransformPoint(frame.mirrorMatrix, b);
  }
  const Vec3 normalInGrid = image - p;
  if (!(Length(normalInGrid) > 1e-3f)) return;
  const Vec3 middle = TransformPoint(frame.gridToWorld, (p + image) * 0.5f);
  const Vec3 normal = TransformVector(frame.gridToWorld, normalInGrid) *
                      (1.0f / Length(TransformVector(frame.gridToWorld, normalInGrid)));
  Vec3 side = Cross(normal, {0.0f, 1.0f, 0.0f});
  if (Length(side) < 1e-3f) side = Cross(normal, {1.0f, 0.0f, 0.0f});
  side = side * (1.0f / Length(side));
  const Vec3 up = Cross(side, normal);
  // Centred on the volume's middle as seen along the normal, the size of the cube's face.
  const Vec3 volumeMiddle = {0.0f, 1.0f, 0.0f};
  const Vec3 centre = volumeMiddle + normal * Dot(middle - volumeMiddle, normal);
  if (auto* quad = static_cast<SimpleVertex*>(context->AllocateImmediateVertices(4, 36))) {
    const float corners[4][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
    for (int i = 0; i < 4; ++i) {
      const Vec3 q = centre + side * corners[i][0] + up * corners[i][1];
      quad[i] =
          SimpleVertex{{q.x, q.y, q.z}, {normal.x, normal.y, normal.z}, {0, 0}, kMirrorColour};
    }
    context->DrawImmediate(Draw::Primitive::TRIANGLE_STRIP);
  }
}

void SceneRenderer::DrawToolPreview(Draw::DrawContext* context, const SceneFrame& frame) {
  if (!frame.hands.rightValid) {
    return;
  }
  const std::string tool = script_->GetString(ScriptGlobals::kTool);
  if (tool == "Dropper") {
    return;
  }
  const std::string shape = script_->GetString(ScriptGlobals::kToolShape);
  const Mesh* mesh = shape == "Box"        ? &boxProxy_
                     : shape == "Cylinder" ? &cylinderProxy_
                                           : &sphereProxy_;
  float size = float(script_->GetNumber(ScriptGlobals::kDrawSize)) - 2.5f / kSamplesPerMetre;
  if (!(size > 0.01f)) size = 0.01f;
  Vec4 tint = {1, 1, 1, 1};
  if (tool == "Add") tint = {0.2f, 1.0f, 0.2f, 1.0f};
  if (tool == "Subtract") tint = {1.0f, 0.2f, 0.2f, 1.0f};
  // Outside the grid a stroke changes nothing: say so before the trigger is pulled.
  const Matrix4x4& brush = frame.hands.right;
  const Vec3 centre = TransformPoint(frame.worldToGrid, {brush.m[12], brush.m[13], brush.m[14]});
  const float last = float(kGridSize - 1);
  if (!(centre.x >= 0.0f && centre.x <= last && centre.y >= 0.0f && centre.y <= last &&
        centre.z >= 0.0f && centre.z <= last)) {
    tint = kOutsideTint;
  }
  PutVec4(sceneConstants, kTint, tint);
  SetModel(Matrix4x4::Scale({size, size, size}) * frame.hands.right);
  PushSceneConstants(context);
  context->BindTexture(0, proxyTexture_);
  context->BindPipeline(proxyBackPipeline_);
  mesh->Draw(context);
  context->BindPipeline(proxyFrontPipeline_);
  mesh->Draw(context);
  PutVec4(sceneConstants, kTint, {1, 1, 1, 1});
}

void SceneRenderer::DrawDeviceModels(Draw::DrawContext* context, VRSystem* system,
                                     Vec3 cameraOffset) {
  SetMaterial({1, 1, 1, 1}, {0.04f, 0.04f, 0.04f}, 0.3f);
  PutFloat(sceneConstants, kSculptureDrawn, 1.0f);
  const uint32_t count = std::min(system->GetDeviceCount(), VRSystem::kDeviceCount);
  for (uint32_t index = 0; index < count; ++index) {
    const DeviceKind kind = system->GetDeviceKind(index);
    if (kind == DeviceKind::Invalid || kind == DeviceKind::Headset ||
        kind == DeviceKind::GenericTracker) {
      continue;
    }
    const Mesh* mesh = system->GetRenderModel(index);
    Draw::Texture* texture = system->GetRenderModelTexture(index);
    Matrix4x4 pose;
    if (mesh == nullptr || texture == nullptr || !system->GetDevicePose(index, &pose)) {
      continue;
    }
    SetModel(pose * Matrix4x4::Translation(cameraOffset));
    PushSceneConstants(context);
    context->BindTexture(0, texture);
    mesh->Draw(context);
  }
}
