#include "app/sculpt_app.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstring>

#include <SDL.h>

#include "app/brush_stroke.h"
#include "app/controls.h"
#include "app/surface_pick.h"
#include "audio/audio_streamer.h"
#include "audio/listener_view.h"
#include "audio/mix_audio_callback.h"
#include "base/check.h"
#include "base/log.h"
#include "base/timing.h"
#include "gfx/ktx.h"
#include "gfx/simple_vertex.h"
#include "gfx/tex_util.h"
#include "gfx/texture_loader.h"
#include "sculpt/metal_presets.h"
#include "sculpt/primitive_mesh.h"
#include "sculpt/sculpt_vertex.h"
#include "sculpt/test_scenes.h"
#include "ui/script_globals.h"
#include "ui/tool_icons.h"

namespace {

// Windows virtual-key codes, as the controls store them.
constexpr int kKeyF5 = 116;
constexpr int kKeyShift = 16;
constexpr int kKeyControl = 17;
constexpr int kKeyOpenBracket = 219;
constexpr int kKeyCloseBracket = 221;
// The panel's size slider's range, in metres.
constexpr double kMinDrawSize = 0.005;
constexpr double kMaxDrawSize = 0.15;
// A right-button press that moved less than this (pixels, both axes added) is a click.
constexpr float kClickSlopPixels = 5.0f;
// Where the desktop panel's carrying point sits, metres right of the view's middle at 1 m.
constexpr float kDesktopPanelX = -0.62f;
// The working volume's edges and the mirror plane (RGBA8, red in the lowest byte), and the
// brush preview's colour when it is outside the grid.
constexpr uint32_t kVolumeEdgeColour = 0x50FFFFFFu;
constexpr uint32_t kMirrorColour = 0x30FFB040u;
constexpr Vec4 kOutsideTint = {1.0f, 0.55f, 0.0f, 1.0f};
// The undo history keeps before-images of the blocks strokes wrote within this much memory, and
// grid checkpoints within as much again. LOOMWORK_HISTORY_BUDGET_MB sets another amount (0 to
// 65536; the soak run uses a small one so that memory levels off within a few cycles).
constexpr size_t kHistoryBudgetBytes = size_t(256) << 20;

size_t HistoryBudgetBytes() {
  const char* text = std::getenv("LOOMWORK_HISTORY_BUDGET_MB");
  if (text == nullptr || *text == 0) return kHistoryBudgetBytes;
  char* end = nullptr;
  const unsigned long megabytes = std::strtoul(text, &end, 10);
  if (*end != 0 || text[0] == '-' || megabytes > 65536) {
    Log(LogLevel::Warning, "LOOMWORK_HISTORY_BUDGET_MB='%s' is not 0 to 65536; using 256", text);
    return kHistoryBudgetBytes;
  }
  return size_t(megabytes) << 20;
}

constexpr float kClearColour[4] = {0.12f, 0.27f, 0.27f, 0.0f};
constexpr float kSamplesPerMetre = 96.0f;
constexpr float kCameraStep = 0.1f;  // metres per frame a movement key is held
constexpr float kHalfPi = 1.57079632679489662f;
// A trigger pulled past this strokes; anything below is a resting finger.
constexpr float kStrokeThreshold = 0.05f;
// 1/0.15 with 0.15 taken in single precision: the panel grows or shrinks over 0.15 s.
constexpr double kPanelAnimRate = 1.0 / double(0.15f);

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

bool IsZeroMatrix(const Matrix4x4& m) {
  for (float value : m.m) {
    if (value != 0.0f) return false;
  }
  return true;
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

SculptApplication::SculptApplication(const DataRoots* roots, const DataRoots* sculptureRoots)
    : dataRoots(roots),
      volume(kGridSize, kGridChannels),
      tessellator(&volume, kBlockSize),
      document(&volume, sculptureRoots != nullptr ? sculptureRoots : roots),
      mixer(44100.0f, 2),
      script(ScriptTargets{&panel, &document, &mirrorMatrix, sceneConstants, roots}) {
  volume.listener = &tessellator;
  document.EnableHistory(HistoryBudgetBytes(), HistoryBudgetBytes());
}

SculptApplication::~SculptApplication() = default;

void SculptApplication::Init(Draw::DrawContext* context, AudioStreamer* audio,
                             const FrameInfo* info) {
  audioOut = audio;
  if (audioOut != nullptr) {
    audioOut->SetCallback(MixAudioCallback, &mixer);
  }

  // Meshing runs on this thread from now on: its tessellation team is started here, not by the
  // first meshing after a load.
  tessellator.PrepareThreads();

  // The folder is listed as named, so it is named through the data roots (an installed program
  // run from another folder lists its own data tree's).
  LoadShaderLibrary(shaders, context, dataRoots, FindDataFile(dataRoots, "shaders/"));

  Draw::VertexLayoutDesc simpleDesc;
  simpleDesc.bindings = {{int32_t(sizeof(SimpleVertex)), 0}};
  // Three floats from the texture coordinate on: the shaders read only its first two.
  simpleDesc.attributes = {{0, 0, Draw::R32G32B32_FLOAT, 0},
                           {0, 1, Draw::R32G32B32_FLOAT, 12},
                           {0, 2, Draw::R32G32B32_FLOAT, 24},
                           {0, 3, Draw::R8G8B8A8_UNORM, 32}};
  simpleLayout = context->CreateVertexLayout(simpleDesc);
  Draw::VertexLayoutDesc sculptDesc;
  sculptDesc.bindings = {{int32_t(sizeof(SculptVertex)), 0}};
  sculptDesc.attributes = {{0, 0, Draw::R32G32B32_FLOAT, 0},
                           {0, 1, Draw::R32G32B32_FLOAT, 12},
                           {0, 2, Draw::R8G8B8A8_UNORM, 24},
                           {0, 3, Draw::R8G8B8A8_UNORM, 28}};
  sculptLayout = context->CreateVertexLayout(sculptDesc);

  Draw::BlendStateDesc opaqueDesc;
  opaqueDesc.renderTargets = {Draw::BlendTarget{}};
  blendOpaque = context->CreateBlendState(opaqueDesc);
  Draw::BlendTarget alpha;
  alpha.enabled = true;
  alpha.colorWriteMask = 15;
  alpha.srcColor = Draw::BlendFactor::SRC_ALPHA;
  alpha.dstColor = Draw::BlendFactor::ONE_MINUS_SRC_ALPHA;
  alpha.srcAlpha = Draw::BlendFactor::ZERO;
  alpha.dstAlpha = Draw::BlendFactor::ZERO;
  Draw::BlendStateDesc alphaDesc;
  alphaDesc.renderTargets = {alpha};
  blendAlpha = context->CreateBlendState(alphaDesc);
  Draw::BlendTarget premultiplied = alpha;
  premultiplied.srcColor = Draw::BlendFactor::ONE;
  Draw::BlendStateDesc premultipliedDesc;
  premultipliedDesc.renderTargets = {premultiplied};
  blendPremultiplied = context->CreateBlendState(premultipliedDesc);

  Draw::DepthStencilStateDesc depthDesc;
  depthDesc.depthTestEnabled = true;
  depthDesc.depthWriteEnabled = true;
  depthDesc.depthCompare = Draw::Comparison::LESS_EQUAL;
  depthWrite = context->CreateDepthStencilState(depthDesc);
  depthDesc.depthWriteEnabled = false;
  depthTestOnly = context->CreateDepthStencilState(depthDesc);

  cullBack = context->CreateRasterState({Draw::CullMode::BACK, Draw::Facing::CCW});
  cullFront = context->CreateRasterState({Draw::CullMode::FRONT, Draw::Facing::CCW});
  cullNone = context->CreateRasterState({Draw::CullMode::NONE, Draw::Facing::CCW});

  solidPipeline = MakePipeline(context, GetShaderSet(shaders, "solid"), simpleLayout, depthWrite,
                               blendOpaque, cullBack);
  sculptPipeline = MakePipeline(context, GetShaderSet(shaders, "solidiso"), sculptLayout,
                                depthWrite, blendOpaque, cullBack);
  texturedPipeline = MakePipeline(context, GetShaderSet(shaders, "simpletex"), simpleLayout,
                                  depthTestOnly, blendAlpha, cullNone);
  pickerPipeline = MakePipeline(context, MakeShaderPair(shaders, "simpletex", "colorpicker"),
                                simpleLayout, depthTestOnly, blendPremultiplied, cullNone);
  skyPipeline = MakePipeline(context, GetShaderSet(shaders, "cubesky"), simpleLayout,
                             depthTestOnly, blendOpaque, cullNone);
  proxyFrontPipeline = MakePipeline(context, GetShaderSet(shaders, "simpletex"), simpleLayout,
                                    depthTestOnly, blendPremultiplied, cullBack);
  proxyBackPipeline = MakePipeline(context, GetShaderSet(shaders, "simpletex"), simpleLayout,
                                   depthTestOnly, blendPremultiplied, cullFront);

  Draw::SamplerStateDesc samplerDesc;  // linear, repeat, no anisotropy
  linearSampler = context->CreateSamplerState(samplerDesc);

  toolsTexture = LoadTexture(context, dataRoots, "textures/tools.png", GENERATE_MIPS);
  CHECK(toolsTexture != nullptr);
  blobTexture = LoadTexture(context, dataRoots, "textures/blob.png", 0);
  whiteTexture = CreateSolidColorTexture(context, 4, 4, 0, Draw::R8G8B8A8_UNORM, 0xFFFFFFFFu);
  if (const MetalPreset* gold = FindMetal("Gold")) {
    goldTexture = CreateSolidColorTexture(
        context, 4, 4, 0, Draw::R8G8B8A8_UNORM,
        ColorToRGBA8({gold->f0[0], gold->f0[1], gold->f0[2], 0.0f}));
  }
  floorTexture = CreateTextureFromFunction(
      context, 512, 512, 0, Draw::R8G8_UNORM, [](Vec2 uv) {
        const int i = int(std::floor(512.0f * uv.x));
        const int j = int(std::floor(512.0f * uv.y));
        return Vec4{0.0f, ((i ^ j) & 32) != 0 ? 0.8f : 0.2f, 0.0f, 0.0f};
      });
  proxyTexture = LoadTexture(context, dataRoots, "textures/proxy.png", 0);
  CHECK(proxyTexture != nullptr);
  const char* const skyFiles[kEnvironmentCount] = {"textures/nightskybox_filtered.ktx",
                                                   "textures/swiss_filtered.ktx"};
  for (int e = 0; e < kEnvironmentCount; ++e) {
    std::vector<uint8_t> data;
    if (ReadDataFromFile(dataRoots, skyFiles[e], data)) {
      skyTexture[e] = CreateTextureFromKTX(context, data);
    }
    data.clear();
    if (ReadDataFromFile(dataRoots, skyFiles[e], data)) {
      envTexture[e] = CreateTextureFromKTX(context, data);
    }
  }

  UploadMesh(context, skyCube, [](auto& v, auto& i) { GenerateCube(v, i, 1); }, 100.0f);
  UploadMesh(context, boxProxy, [](auto& v, auto& i) { GenerateCube(v, i, 1); }, 1.0f);
  UploadMesh(context, sphereProxy, [](auto& v, auto& i) { GenerateSphere(v, i, 8); }, 1.0f);
  UploadMesh(context, cylinderProxy, [](auto& v, auto& i) { GenerateCylinder(v, i, 32, 1, true); },
             1.0f);

  std::memset(sceneConstants, 0, sizeof sceneConstants);
  PutFloat(sceneConstants, kFogStart, -70.0f);
  PutFloat(sceneConstants, kFogDensity, 0.03f);

  cameraOffset = {0.0f, 0.0f, 0.0f};
  desktop_ = info == nullptr || !info->isVR;
  if (desktop_) {
    orbit = OrbitCamera{};
    cameraOffset = orbit.Eye();
  }

  // Through the data roots, so an installed program run from another folder finds its font.
  if (!font.Init(context, FindDataFile(dataRoots, "assets/Comfortaa_Bold.ttf"), 128.0f, 0.05f)) {
    Log(LogLevel::Error, "SculptApplication: the panel font did not load; the panel has no text");
  }
  Draw::SamplerStateDesc shadowDesc;
  shadowDesc.wrapU = Draw::TextureAddressMode::CLAMP_TO_BORDER;
  shadowDesc.wrapV = Draw::TextureAddressMode::CLAMP_TO_BORDER;
  shadowDesc.shadowCompareEnabled = true;
  shadowDesc.shadowCompareOp = Draw::Comparison::LESS_EQUAL;
  shadowDesc.borderColor = Draw::BorderColor::OPAQUE_WHITE;
  layerTargets.sampler = context->CreateSamplerState(shadowDesc);
  Draw::RenderPassDesc layerPass;
  layerPass.attachments = {{Draw::D16, Draw::CLEAR}};
  layerTargets.renderPass = context->CreateRenderPass(layerPass);
  Draw::TextureDesc layerDesc;
  layerDesc.format = Draw::D16;
  layerDesc.width = 1024;
  layerDesc.height = 1024;
  layerDesc.depth = 2;
  layerDesc.mipLevels = 1;
  layerDesc.flags = Draw::ARRAY;
  layerTargets.texture = context->CreateTexture(layerDesc);
  if (layerTargets.texture != nullptr && layerTargets.renderPass != nullptr) {
    for (int layer = 0; layer < 2; ++layer) {
      Draw::FramebufferDesc desc;
      desc.attachments = {{layerTargets.texture, layer, 0}};
      desc.width = 1024;
      desc.height = 1024;
      desc.renderPass = layerTargets.renderPass;
      layerTargets.framebuffers[size_t(layer)] = context->CreateFramebuffer(desc);
    }
  }

  script.SetupScript(context);

  panel.font = &font;
  panel.Init(context, toolsTexture, 288.0f, 32.0f, 1.0f, kToolIcons);
  panel.texturedPipeline = texturedPipeline;
  panel.pickerPipeline = pickerPipeline;
  // After the script's init, so the file given wins over anything the script set up; failures
  // are logged by the document and leave the grid as it was.
  if (!sculptureAtStart.empty()) {
    // As given (made absolute by the entry point), not among the slots.
    static const DataRoots kAsGiven = {""};
    document.LoadSculpture(sculptureAtStart, 0, &kAsGiven);
  }
  initialised_ = true;
}

void SculptApplication::Shutdown(Draw::DrawContext* /*context*/) {
  if (!capturePath.empty() && captureFrame == 0 && desktopTarget_.Width() > 0) {
    // The target still holds the last frame drawn.
    desktopTarget_.PresentToWindow();
    if (WriteWindowImagePng(capturePath.c_str(), desktopTarget_.Width(),
                            desktopTarget_.Height())) {
      Log(LogLevel::Info, "Wrote the last frame's image to %s", capturePath.c_str());
    }
  }
  desktopTarget_.Release();
  tessellator.ReleaseBuffers();

  for (Draw::Framebuffer*& framebuffer : layerTargets.framebuffers) DeleteAndClear(framebuffer);
  DeleteAndClear(layerTargets.texture);
  DeleteAndClear(layerTargets.sampler);
  DeleteAndClear(layerTargets.renderPass);

  DeleteAndClear(toolsTexture);
  DeleteAndClear(blobTexture);
  DeleteAndClear(whiteTexture);
  DeleteAndClear(goldTexture);
  DeleteAndClear(floorTexture);
  DeleteAndClear(proxyTexture);
  for (int e = 0; e < kEnvironmentCount; ++e) {
    DeleteAndClear(skyTexture[e]);
    DeleteAndClear(envTexture[e]);
  }
  skyCube.Release();
  sphereProxy.Release();
  boxProxy.Release();
  cylinderProxy.Release();

  DeleteAndClear(simpleLayout);
  DeleteAndClear(sculptLayout);
  DeleteAndClear(blendOpaque);
  DeleteAndClear(blendAlpha);
  DeleteAndClear(blendPremultiplied);
  DeleteAndClear(depthWrite);
  DeleteAndClear(depthTestOnly);
  DeleteAndClear(cullBack);
  DeleteAndClear(cullFront);
  DeleteAndClear(cullNone);
  DeleteAndClear(linearSampler);
  DeleteAndClear(solidPipeline);
  DeleteAndClear(sculptPipeline);
  DeleteAndClear(texturedPipeline);
  DeleteAndClear(pickerPipeline);
  DeleteAndClear(skyPipeline);
  DeleteAndClear(proxyFrontPipeline);
  DeleteAndClear(proxyBackPipeline);
  panel.texturedPipeline = nullptr;
  panel.pickerPipeline = nullptr;
  panel.atlas = nullptr;

  font.Shutdown();
  ClearShaderLibrary(shaders);
  if (audioOut != nullptr) {
    // The mixer outlives this call, but the output is about to go away with the context.
    audioOut->SetCallback(nullptr, nullptr);
  }
  initialised_ = false;
}

void SculptApplication::ProcessSystemKeys(Controls* controls, bool* /*vrInput*/) {
  if (controls != nullptr && controls->keyPressed[kKeyF5] != 0) {
    reloadScript = true;
  }
}

void SculptApplication::ProcessControls(Controls* controls, bool* /*vrInput*/) {
  if (controls == nullptr) {
    return;
  }
  // Per frame, not per second; opposite keys cancel. On the desktop they carry the orbit's
  // target, and the camera with it.
  Vec3& moved = desktop_ ? orbit.target : cameraOffset;
  if (controls->keyDown['W'] != 0) moved.z -= kCameraStep;
  if (controls->keyDown['S'] != 0) moved.z += kCameraStep;
  if (controls->keyDown['Q'] != 0) moved.y -= kCameraStep;
  if (controls->keyDown['E'] != 0) moved.y += kCameraStep;
  if (controls->keyDown['A'] != 0) moved.x -= kCameraStep;
  if (controls->keyDown['D'] != 0) moved.x += kCameraStep;
  if (desktop_) {
    ProcessDesktopMouse(controls);
  } else if ((controls->mousePressed & Controls::kMouseRight) != 0) {
    TogglePanel();
  }
  // The D-pad's tools and the rest of the panel's row on the number keys.
  static constexpr const char* kToolKeys[] = {"Add", "Subtract", "Paint", "Dropper", "Buff",
                                              "Sandpaper"};
  for (int k = 0; k < 6; ++k) {
    if (controls->keyPressed['1' + k] != 0) script.SetString(ScriptGlobals::kTool, kToolKeys[k]);
  }
  // Brush size: [ smaller, ] larger, a fifth at a time within the panel slider's range.
  const bool smaller = controls->keyPressed[kKeyOpenBracket] != 0;
  const bool larger = controls->keyPressed[kKeyCloseBracket] != 0;
  if (smaller != larger) {
    const double size = script.GetNumber(ScriptGlobals::kDrawSize);
    script.SetNumber(ScriptGlobals::kDrawSize,
                     std::clamp(larger ? size * 1.2 : size / 1.2, kMinDrawSize, kMaxDrawSize));
  }
  // Ctrl+Z undoes; Ctrl+Shift+Z and Ctrl+Y redo.
  if (controls->keyDown[kKeyControl] != 0) {
    if (controls->keyPressed['Z'] != 0) {
      if (controls->keyDown[kKeyShift] != 0) {
        document.Redo();
      } else {
        document.Undo();
      }
    }
    if (controls->keyPressed['Y'] != 0) document.Redo();
  }
}

void SculptApplication::ProcessDesktopMouse(Controls* controls) {
  const int32_t dx = mouseX_ >= 0 ? controls->mouseX - mouseX_ : 0;
  const int32_t dy = mouseY_ >= 0 ? controls->mouseY - mouseY_ : 0;
  mouseX_ = controls->mouseX;
  mouseY_ = controls->mouseY;
  mouseInside_ = mouseX_ >= 0 && mouseY_ >= 0;
  const uint32_t held = controls->mouseButtons;
  const bool shift = controls->keyDown[kKeyShift] != 0;
  // Right drag orbits (with Shift it pans); a right click that hardly moved shows or hides the
  // panel, as it always did. The middle button pans.
  if ((controls->mousePressed & Controls::kMouseRight) != 0) rightDrag_ = 0.0f;
  if ((held & Controls::kMouseRight) != 0) {
    rightDrag_ += float(std::abs(dx) + std::abs(dy));
    if (shift) {
      orbit.Pan(float(dx), float(dy), viewHeight_, desktopProjectionScale_[1]);
    } else {
      orbit.Orbit(float(dx), float(dy));
    }
  }
  if ((controls->mouseReleased & Controls::kMouseRight) != 0 && rightDrag_ < kClickSlopPixels) {
    TogglePanel();
  }
  if ((held & Controls::kMouseMiddle) != 0) {
    orbit.Pan(float(dx), float(dy), viewHeight_, desktopProjectionScale_[1]);
  }
  orbit.Zoom(controls->wheel);
  if (controls->keyPressed['F'] != 0) orbit.FrameVolume();
  // The left button strokes unless it went down on the panel, where it clicks.
  if ((controls->mousePressed & Controls::kMouseLeft) != 0) {
    strokeAllowed_ = !panel.pointerOnPanel;
  }
  leftHeld_ = (held & Controls::kMouseLeft) != 0;
  if (!leftHeld_) strokeAllowed_ = false;
}

void SculptApplication::TogglePanel() {
  const bool old = panelVisible;
  panelVisible = !old;
  const double t = TimeNow();
  // From wherever the panel is now, so a second click reverses it without a jump.
  panelAnim.from = panelAnim.ValueAt(t);
  panelAnim.to = old ? 0.0f : 1.0f;
  panelAnim.startTime = t;
  panelAnim.rate = kPanelAnimRate;
  panelAnim.easing = 1;
}

std::array<float, 5> SculptApplication::CurrentMaterial() {
  return {float(script.GetNumber(ScriptGlobals::kMaterialR)),
          float(script.GetNumber(ScriptGlobals::kMaterialG)),
          float(script.GetNumber(ScriptGlobals::kMaterialB)),
          float(script.GetNumber(ScriptGlobals::kMaterialRoughness)),
          float(script.GetNumber(ScriptGlobals::kMaterialMetalness))};
}

bool SculptApplication::WantsQuit() {
  if (quitAfterFrames <= 0 || frameCount_ < quitAfterFrames) {
    return false;
  }
  if (!quitPosted_) {
    // The window's event pump ends only on a quit event, so ask for one as a close would.
    SDL_Event event = {};
    event.type = SDL_QUIT;
    SDL_PushEvent(&event);
    quitPosted_ = true;
  }
  return true;
}

int32_t SculptApplication::EnvironmentIndex(int32_t lightEnv) const {
  // Only two environments exist: anything but night shows the day.
  return lightEnv == 0 ? 0 : 1;
}

void SculptApplication::SetModel(const Matrix4x4& model) {
  PutMatrix(sceneConstants, kModel, model);
}

void SculptApplication::SetMaterial(Vec4 tint, Vec3 f0, float roughness) {
  PutVec4(sceneConstants, kTint, tint);
  PutVec3(sceneConstants, kF0, f0);
  PutFloat(sceneConstants, kRoughness, roughness);
}

void SculptApplication::PushSceneConstants(Draw::DrawContext* context) {
  context->PushUniforms(0, sceneConstants, sizeof sceneConstants);
}

void SculptApplication::UpdateFrameConstants(const FrameInfo* info, int32_t lightEnv) {
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

  Matrix4x4 headView = info != nullptr ? info->headView : Matrix4x4::Identity();
  if (desktop_) {
    // The orbit camera is the desktop's head.
    cameraOffset = orbit.Eye();
    headView = orbit.Rotation();
  }
  frameView_ = Audio::SetListenerFromView(mixer, cameraOffset, headView);
  PutMatrix(sceneConstants, kView, frameView_);
  Matrix4x4 inverseView;
  if (!InvertMatrix(frameView_, inverseView)) inverseView = Matrix4x4::Identity();
  PutVec3(sceneConstants, kEyePosition,
          {inverseView.m[12], inverseView.m[13], inverseView.m[14]});
  const float d = 1.0f / std::sqrt(3.0f);
  PutVec3(sceneConstants, kLightDirection, {d, d, d});

  trackingToWorld_ = Matrix4x4::Translation(cameraOffset);
  gridToWorld_ = Matrix4x4::Scale({1.0f / kSamplesPerMetre, 1.0f / kSamplesPerMetre,
                                   1.0f / kSamplesPerMetre}) *
                 Matrix4x4::Translation({-1.0f, 0.0f, -1.0f});
  if (!InvertMatrix(gridToWorld_, worldToGrid_)) worldToGrid_ = Matrix4x4::Identity();
}

void SculptApplication::UpdateAndRender(Draw::DrawContext* context, const FrameInfo* info) {
  if (context == nullptr || info == nullptr || !initialised_) {
    return;
  }
  ++frameCount_;
  const double frameStart = TimeNow();
  // Frame rate for the panel, smoothed over about a second.
  if (lastFrameStart_ > 0.0 && frameStart > lastFrameStart_) {
    const double rate = 1.0 / (frameStart - lastFrameStart_);
    frameRate_ = frameRate_ > 0.0 ? frameRate_ + (rate - frameRate_) * 0.05 : rate;
  }
  lastFrameStart_ = frameStart;
  script.SetNumber(ScriptGlobals::kFrameRate, frameRate_);
  if (reloadScript) {
    script.SetupScript(context);
    reloadScript = false;
  }

  const int32_t frameLightEnv = int32_t(script.GetInteger(ScriptGlobals::kLightEnv));
  UpdateFrameConstants(info, frameLightEnv);
  context->PushUniforms(1, lightConstants, sizeof lightConstants);

  // The panel's Mirror button switches mirrored strokes. Until a scene sets a mirror, strokes
  // are mirrored across the grid's middle (x -> 192 - x): a zero matrix would squash every
  // mirrored stamp into the grid's corner.
  mirrorEnabled = script.GetInteger(ScriptGlobals::kMirror) != 0;
  if (mirrorEnabled && IsZeroMatrix(mirrorMatrix)) {
    mirrorMatrix = GridMiddleMirror();
  }
  // Hand controllers come from a VR host; without one nothing strokes and no preview is drawn.
  leftPose_ = Matrix4x4{};
  leftValid_ = false;
  rightPose_ = Matrix4x4{};
  rightValid_ = false;
  rightTrigger_ = 0.0f;
  pointerPose_ = Matrix4x4{};
  pointerValid_ = false;
  pointerTrigger_ = 0.0f;
  std::vector<SculptOp> frameOps;
  if (info->vrSystem != nullptr) {
    UpdateControllers(info->vrSystem, frameOps);
    pointerPose_ = rightPose_;
    pointerValid_ = rightValid_;
    pointerTrigger_ = rightTrigger_;
  } else if (desktop_) {
    UpdateDesktopBrush(info, frameOps);
  }
  document.ApplyFrame(frameOps);

  // A frame with a load fully applied and not yet shown (at once, or the end of a replay) is late
  // anyway: it meshes every block, so that the sculpture appears whole instead of after more
  // late frames.
  const bool loadApplied =
      document.LoadStartSeconds() >= 0.0 && document.ReplayQueue().empty();
  const double t0 = TimeNow();
  const int tessellated =
      tessellator.TessellateDirtyBlocks(context, loadApplied ? INFINITY : meshingBudgetSeconds);
  const double t1 = TimeNow();
  if (tessellated > 0) {
    Log(LogLevel::Info, "Tess time (%d blocks): %0.3f ms", tessellated, (t1 - t0) * 1000.0);
    int64_t vertices = 0;
    for (const TessBlock& block : tessellator.records) vertices += block.vertexCount;
    triangles_ = vertices / 3;
  }
  script.SetNumber(ScriptGlobals::kTriangles, double(triangles_));

  const int32_t lightEnv = int32_t(script.GetInteger(ScriptGlobals::kLightEnv));
  FrameInfo viewInfo = *info;
  const bool offscreen = !info->isVR && info->bindTarget != nullptr &&
                         desktopTarget_.Prepare(context, int32_t(info->width),
                                                int32_t(info->height));
  if (offscreen) {
    viewInfo.bindTarget = &DesktopViewTarget::Bind;
    viewInfo.targetUserData = &desktopTarget_;
  }
  for (int view = 0; view < viewInfo.viewCount && view < 2; ++view) {
    DrawView(context, &viewInfo, view, lightEnv);
  }
  const double t2 = TimeNow();
  // What a person waits for after Load: every record applied, every block meshed and drawn.
  if (loadApplied && tessellator.DirtyCount() == 0) {
    Log(LogLevel::Info, "Load shown: %zu records applied, meshed and drawn %0.1f ms after the load",
        document.LoadedRecordCount(), (t2 - document.LoadStartSeconds()) * 1000.0);
    document.ForgetLoadStart();
  }
  frameTimes = {(t0 - frameStart) * 1000.0, (t1 - t0) * 1000.0, (t2 - t1) * 1000.0};
  if (info->vrSystem != nullptr) {
    info->vrSystem->SubmitFrame();
  }
  if (offscreen) {
    desktopTarget_.PresentToWindow();
    if (!capturePath.empty() && frameCount_ == captureFrame) {
      if (WriteWindowImagePng(capturePath.c_str(), desktopTarget_.Width(),
                              desktopTarget_.Height())) {
        Log(LogLevel::Info, "Wrote the frame %d image to %s", frameCount_, capturePath.c_str());
      }
    }
  }
}

void SculptApplication::DrawView(Draw::DrawContext* context, const FrameInfo* info, int view,
                                 int32_t lightEnv) {
  const int32_t env = EnvironmentIndex(lightEnv);
  if (info->bindTarget != nullptr) {
    info->bindTarget(view, info, kClearColour);
  }
  Draw::Viewport viewport;
  viewport.width = float(info->width);
  viewport.height = float(info->height);
  context->SetViewports(0, 1, &viewport);
  context->BindTexture(0, whiteTexture);
  context->BindTexture(1, envTexture[env]);
  context->BindTexture(2, whiteTexture);
  context->BindTexture(3, layerTargets.texture);
  for (int slot = 0; slot < 3; ++slot) context->BindSampler(slot, linearSampler);
  PutMatrix(sceneConstants, kViewProjection, info->eyeProjection[view]);
  context->BindPipeline(solidPipeline);

  // Floor.
  SetModel(Matrix4x4::Identity());
  SetMaterial({1, 1, 1, 1}, {0.04f, 0.04f, 0.04f}, 0.85f);
  PushSceneConstants(context);
  context->BindTexture(2, floorTexture);
  const float s = float(script.GetNumber(ScriptGlobals::kFloorSize));
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
  context->BindTexture(2, whiteTexture);

  // Sculpture.
  context->BindPipeline(sculptPipeline);
  SetModel(gridToWorld_);
  SetMaterial({1, 1, 1, 1}, {0.04f, 0.04f, 0.04f}, 0.3f);
  PutFloat(sceneConstants, kSculptureDrawn, 1.0f);
  PushSceneConstants(context);
  tessellator.DrawBlocks(context);

  context->BindPipeline(solidPipeline);
  if (info->vrSystem != nullptr) {
    DrawDeviceModels(context, info->vrSystem);
  }

  // Sky.
  SetModel(Matrix4x4::Identity());
  context->BindTexture(1, skyTexture[env]);
  PushSceneConstants(context);
  context->BindPipeline(skyPipeline);
  skyCube.Draw(context);
  context->BindTexture(1, envTexture[env]);

  SetModel(Matrix4x4::Identity());
  PushSceneConstants(context);
  context->BindPipeline(texturedPipeline);

  DrawWorkingVolume(context);
  DrawPanel(context, info, view);
  DrawToolPreview(context);

  context->ResetState();
  script.CallFunction("renderEye", int64_t(view));
}

void SculptApplication::DrawPanel(Draw::DrawContext* context, const FrameInfo* info, int view) {
  Matrix4x4 base;
  bool baseValid = false;
  Matrix4x4 orientation = Matrix4x4::Identity();
  if (info->vrSystem != nullptr) {
    // The left hand carries the panel, tilted so that it faces the user over the controller.
    base = leftPose_;
    baseValid = leftValid_;
    const float c = std::cos(kHalfPi);
    const float s = std::sin(kHalfPi);
    orientation.m[5] = c;
    orientation.m[6] = s;
    orientation.m[9] = -s;
    orientation.m[10] = c;
    panel.UpdateTrigger(rightTrigger_);
  } else {
    // Desktop: the panel hangs 1 m in front of the camera, towards the left edge of the view so
    // the sculpture stays in sight, with its y axis (growing downwards) pointing down.
    base = Matrix4x4::Scale({1.0f, -1.0f, -1.0f}) *
           Matrix4x4::Translation({kDesktopPanelX, 0.0f, -1.0f}) * orbit.CameraToWorld();
    baseValid = true;
    panel.UpdateTrigger(pointerTrigger_);
  }
  panelMatrix = base;
  const float v = panelAnim.ValueAt(TimeNow());
  if (v <= 0.0f || !baseValid) {
    // No panel, nothing to point at: a pointer left on the panel before it was hidden must not
    // keep the brush from stroking.
    panel.pointerOnPanel = false;
    return;
  }
  panelMatrix = Matrix4x4::Scale({0.01f * v, 0.01f * v, 0.01f * v}) *
                Matrix4x4::Translation({0.0f, 0.0f, -0.05f}) * orientation * base;
  SetModel(panelMatrix);
  PushSceneConstants(context);
  panel.SetPointer(pointerValid_, pointerPose_);
  // The hand controller points at the panel in VR, the mouse on the desktop.
  panel.SetEye(view, info->vrSystem != nullptr || pointerValid_);
  panel.SetTransform(context, panelMatrix);
  script.CallFunction("processUI");
  panel.DrawPointer(context);
  SetModel(Matrix4x4::Identity());
  PushSceneConstants(context);
}

void SculptApplication::DrawWorkingVolume(Draw::DrawContext* context) {
  // The 2 m cube's twelve edges, faint, so strokes are never aimed at nothing.
  context->BindTexture(0, whiteTexture);
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
  if (!mirrorEnabled) return;
  // The mirror's plane, translucent: the points halfway between a point and its image, facing
  // along the line between them.
  const Vec3 a = {96.0f, 96.0f, 96.0f}, b = {40.0f, 120.0f, 70.0f};
  Vec3 p = a, image = TransformPoint(mirrorMatrix, a);
  if (Length(image - p) < 1.0f) {
    p = b;
    image = TransformPoint(mirrorMatrix, b);
  }
  const Vec3 normalInGrid = image - p;
  if (!(Length(normalInGrid) > 1e-3f)) return;
  const Vec3 middle = TransformPoint(gridToWorld_, (p + image) * 0.5f);
  const Vec3 normal = TransformVector(gridToWorld_, normalInGrid) * (1.0f / Length(TransformVector(gridToWorld_, normalInGrid)));
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
      quad[i] = SimpleVertex{{q.x, q.y, q.z}, {normal.x, normal.y, normal.z}, {0, 0}, kMirrorColour};
    }
    context->DrawImmediate(Draw::Primitive::TRIANGLE_STRIP);
  }
}

void SculptApplication::DrawToolPreview(Draw::DrawContext* context) {
  if (!rightValid_) {
    return;
  }
  const std::string tool = script.GetString(ScriptGlobals::kTool);
  if (tool == "Dropper") {
    return;
  }
  const std::string shape = script.GetString(ScriptGlobals::kToolShape);
  const Mesh* mesh = shape == "Box" ? &boxProxy : shape == "Cylinder" ? &cylinderProxy : &sphereProxy;
  float size = float(script.GetNumber(ScriptGlobals::kDrawSize)) - 2.5f / kSamplesPerMetre;
  if (!(size > 0.01f)) size = 0.01f;
  Vec4 tint = {1, 1, 1, 1};
  if (tool == "Add") tint = {0.2f, 1.0f, 0.2f, 1.0f};
  if (tool == "Subtract") tint = {1.0f, 0.2f, 0.2f, 1.0f};
  // Outside the grid a stroke changes nothing: say so before the trigger is pulled.
  const Vec3 centre = TransformPoint(worldToGrid_, {rightPose_.m[12], rightPose_.m[13], rightPose_.m[14]});
  const float last = float(kGridSize - 1);
  if (!(centre.x >= 0.0f && centre.x <= last && centre.y >= 0.0f && centre.y <= last &&
        centre.z >= 0.0f && centre.z <= last)) {
    tint = kOutsideTint;
  }
  PutVec4(sceneConstants, kTint, tint);
  SetModel(Matrix4x4::Scale({size, size, size}) * rightPose_);
  PushSceneConstants(context);
  context->BindTexture(0, proxyTexture);
  context->BindPipeline(proxyBackPipeline);
  mesh->Draw(context);
  context->BindPipeline(proxyFrontPipeline);
  mesh->Draw(context);
  PutVec4(sceneConstants, kTint, {1, 1, 1, 1});
}

void SculptApplication::UpdateControllers(VRSystem* system, std::vector<SculptOp>& frameOps) {
  const uint32_t count = std::min(system->GetDeviceCount(), VRSystem::kDeviceCount);
  for (uint32_t index = 0; index < count; ++index) {
    if (system->GetDeviceKind(index) != DeviceKind::Controller) {
      continue;
    }
    const ControllerState* state = system->GetControllerState(index);
    Matrix4x4 pose;
    const bool valid = system->GetDevicePose(index, &pose);
    const Matrix4x4 worldPose = pose * trackingToWorld_;
    const float trigger = state->triggerAxis >= 0 && state->triggerAxis <= 4
                              ? state->axes[state->triggerAxis].x
                              : 0.0f;
    if (state->role == kRoleLeftHand) {
      leftPose_ = worldPose;
      leftValid_ = valid;
      if ((state->buttonsPressedNow & kButtonApplicationMenu) != 0) {
        TogglePanel();
      }
      // The left trackpad or thumbstick: left undoes, right redoes.
      if ((state->buttonsPressedNow & kButtonDPadLeft) != 0) document.Undo();
      if ((state->buttonsPressedNow & kButtonDPadRight) != 0) document.Redo();
      continue;
    }
    if (state->role != kRoleRightHand) {
      continue;
    }
    // A later one wins when several are held.
    const uint64_t held = state->buttonsPressed;
    if ((held & kButtonDPadLeft) != 0) script.SetString(ScriptGlobals::kTool, "Add");
    if ((held & kButtonDPadRight) != 0) script.SetString(ScriptGlobals::kTool, "Subtract");
    if ((held & kButtonDPadDown) != 0) script.SetString(ScriptGlobals::kTool, "Paint");
    if ((held & kButtonDPadUp) != 0) script.SetString(ScriptGlobals::kTool, "Dropper");
    StrokeWithRightHand(worldPose, valid, trigger, frameOps);
  }
}

void SculptApplication::UpdateDesktopBrush(const FrameInfo* info,
                                           std::vector<SculptOp>& frameOps) {
  desktopProjectionScale_[0] = info->eyeProjection[0].m[0];
  desktopProjectionScale_[1] = info->eyeProjection[0].m[5];
  viewHeight_ = float(info->height);
  if (!mouseInside_ || info->width == 0 || info->height == 0 ||
      !(desktopProjectionScale_[0] > 0.0f) || !(desktopProjectionScale_[1] > 0.0f)) {
    strokeSpacing_.Lift();
    return;
  }
  Vec3 origin, direction;
  orbit.Ray(float(mouseX_), float(mouseY_), float(info->width), float(info->height),
            desktopProjectionScale_[0], desktopProjectionScale_[1], &origin, &direction);
  pointerPose_ = PoseLookingAlong(origin, direction);
  pointerValid_ = true;
  pointerTrigger_ = leftHeld_ ? 1.0f : 0.0f;

  // The brush sits on the surface under the mouse, facing the camera; where the ray meets no
  // surface, at the target's distance. A stroke keeps the distance it started at: following the
  // surface it is raising would pile each stamp onto the last, towards the camera.
  float depth = strokeDepth_;
  if (!(depth > 0.0f)) {
    depth = orbit.distance;
    Vec3 hit;
    const Vec3 gridOrigin = TransformPoint(worldToGrid_, origin);
    const Vec3 gridDirection = direction * kSamplesPerMetre;
    if (FirstSolidAlongRay(volume, gridOrigin, gridDirection, &hit)) {
      depth = Length(TransformPoint(gridToWorld_, hit) - origin);
    }
  }
  strokeDepth_ = strokeAllowed_ ? depth : -1.0f;
  const Vec3 at = origin + direction * depth;
  Matrix4x4 brush = orbit.CameraToWorld();
  brush.m[12] = at.x;
  brush.m[13] = at.y;
  brush.m[14] = at.z;
  rightPose_ = brush;
  rightValid_ = true;
  rightTrigger_ = strokeAllowed_ ? 1.0f : 0.0f;
  StrokeWithRightHand(brush, true, rightTrigger_, frameOps);
}

void SculptApplication::StrokeWithRightHand(const Matrix4x4& worldPose, bool valid,
                                            float trigger, std::vector<SculptOp>& frameOps) {
  rightPose_ = worldPose;
  rightValid_ = valid;
  rightTrigger_ = trigger;
  // The pointer on the panel (as the previous view left it) clicks instead of stroking.
  if (!valid || panel.pointerOnPanel || !(trigger > kStrokeThreshold)) {
    strokeSpacing_.Lift();
    return;
  }
  const std::string tool = script.GetString(ScriptGlobals::kTool);
  const float drawSize = float(script.GetNumber(ScriptGlobals::kDrawSize));
  const Matrix4x4 brushMatrix =
      Matrix4x4::Scale({drawSize, drawSize, drawSize}) * worldPose * worldToGrid_;
  if (ToolIndexFromName(tool) == kToolDropper) {
    strokeSpacing_.Lift();
    PickColour(brushMatrix);
    return;
  }
  const SculptOp op = BrushRecord(tool, script.GetString(ScriptGlobals::kToolShape), brushMatrix,
                                  drawSize * kSamplesPerMetre, CurrentMaterial());
  std::vector<SculptOp> stamps;
  strokeSpacing_.Stamp(op, &stamps);
  for (const SculptOp& stamp : stamps) {
    frameOps.push_back(stamp);
    if (mirrorEnabled) {
      SculptOp mirrored = stamp;
      mirrored.matrix = stamp.matrix * mirrorMatrix;
      frameOps.push_back(mirrored);
    }
  }
}

void SculptApplication::PickColour(const Matrix4x4& brushMatrix) {
  const Vec3 centre = {brushMatrix.m[12], brushMatrix.m[13], brushMatrix.m[14]};
  const float r = float(volume.SampleAt(centre, 1)) / 32767.0f;
  const float g = float(volume.SampleAt(centre, 2)) / 32767.0f;
  const float b = float(volume.SampleAt(centre, 3)) / 32767.0f;
  script.SetNumber(ScriptGlobals::kMaterialR, r);
  script.SetNumber(ScriptGlobals::kMaterialG, g);
  script.SetNumber(ScriptGlobals::kMaterialB, b);
  const std::array<float, 3> hsv = RgbToHsv(r, g, b);
  script.SetNumber(ScriptGlobals::kMaterialH, hsv[0]);
  script.SetNumber(ScriptGlobals::kMaterialS, hsv[1]);
  script.SetNumber(ScriptGlobals::kMaterialV, hsv[2]);
}

void SculptApplication::DrawDeviceModels(Draw::DrawContext* context, VRSystem* system) {
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
