// The generated render models and their asynchronous delivery.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/math_types.h"
#include "tests/support/log_capture.h"
#include "tests/vr/runtime_test_util.h"
#include "vr/simulated/sim_render_model_server.h"
#include "vr/simulated/sim_render_models.h"

namespace vr::sim::testing {
namespace {

Vec3 Load(const HmdVector3_t& v) { return {v.v[0], v.v[1], v.v[2]}; }

struct Rgba {
  int r, g, b, a;
};

Rgba Sample(const RenderModel_TextureMap_t& texture, const float uv[2]) {
  const int x = std::min(int(uv[0] * texture.unWidth), texture.unWidth - 1);
  const int y = std::min(int(uv[1] * texture.unHeight), texture.unHeight - 1);
  const uint8_t* p = texture.rubTextureMapData + (size_t(y) * texture.unWidth + size_t(x)) * 4;
  return {p[0], p[1], p[2], p[3]};
}

// Loads through the boundary, answering Loading as often as the server says.
template <typename Load>
EVRRenderModelError LoadUntilReady(Load load, int* loadingAnswers) {
  EVRRenderModelError error = VRRenderModelError_Loading;
  for (*loadingAnswers = 0; *loadingAnswers < 100; ++*loadingAnswers) {
    error = load();
    if (error != VRRenderModelError_Loading) {
      break;
    }
  }
  return error;
}

TEST(SimulatedRenderModels, MeshesAreClosedWellFormedAndSized) {
  struct Case {
    const char* name;
    TextureID_t texture;
    Vec3 minSize, maxSize;  // bounding box extents in metres
  };
  const Case cases[] = {
      {"loomwork_controller", 1, {0.05f, 0.04f, 0.15f}, {0.08f, 0.07f, 0.19f}},
      {"loomwork_basestation", 2, {0.08f, 0.08f, 0.06f}, {0.08f, 0.08f, 0.06f}},
      {"loomwork_headset", 3, {0.15f, 0.08f, 0.08f}, {0.22f, 0.14f, 0.12f}},
  };
  SimulatedSession session;
  IVRRenderModels* models = session.RenderModels();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RenderModel_t* model = nullptr;
    ASSERT_EQ(models->LoadRenderModel_Async(c.name, &model), VRRenderModelError_None);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->diffuseTextureId, c.texture);
    ASSERT_GT(model->unTriangleCount, 10u);
    ASSERT_LE(model->unVertexCount, 65536u);
    Bounds3 bounds;
    bounds.Reset();
    for (uint32_t v = 0; v < model->unVertexCount; ++v) {
      const RenderModel_Vertex_t& vertex = model->rVertexData[v];
      bounds.Extend(Load(vertex.vPosition));
      EXPECT_NEAR(Length(Load(vertex.vNormal)), 1.0f, 1e-4f);
      EXPECT_TRUE(vertex.rfTextureCoord[0] >= 0.0f && vertex.rfTextureCoord[0] <= 1.0f);
      EXPECT_TRUE(vertex.rfTextureCoord[1] >= 0.0f && vertex.rfTextureCoord[1] <= 1.0f);
    }
    const Vec3 size = bounds.max - bounds.min;
    EXPECT_TRUE(size.x >= c.minSize.x - 1e-4f && size.x <= c.maxSize.x + 1e-4f) << size.x;
    EXPECT_TRUE(size.y >= c.minSize.y - 1e-4f && size.y <= c.maxSize.y + 1e-4f) << size.y;
    EXPECT_TRUE(size.z >= c.minSize.z - 1e-4f && size.z <= c.maxSize.z + 1e-4f) << size.z;
    for (uint32_t t = 0; t < model->unTriangleCount; ++t) {
      const uint16_t* tri = &model->rIndexData[3 * t];
      ASSERT_LT(tri[0], model->unVertexCount);
      ASSERT_LT(tri[1], model->unVertexCount);
      ASSERT_LT(tri[2], model->unVertexCount);
      const Vec3 a = Load(model->rVertexData[tri[0]].vPosition);
      const Vec3 face = Cross(Load(model->rVertexData[tri[1]].vPosition) - a,
                              Load(model->rVertexData[tri[2]].vPosition) - a);
      const Vec3 normals = Load(model->rVertexData[tri[0]].vNormal) +
                           Load(model->rVertexData[tri[1]].vNormal) +
                           Load(model->rVertexData[tri[2]].vNormal);
      EXPECT_GT(Length(face), 0.0f);
      // Counter-clockwise seen from outside: the winding's normal agrees with the normals.
      ASSERT_GT(Dot(face, normals), 0.0f) << "triangle " << t;
    }
    models->FreeRenderModel(model);
  }
  EXPECT_EQ(session.Headset()->LiveRenderModels(), 0u);
}

TEST(SimulatedRenderModels, IndexCountMatchesTriangleCount) {
  for (const GeneratedModel& model :
       {BuildControllerModel(), BuildBaseStationModel(), BuildHeadsetModel()}) {
    SCOPED_TRACE(model.name);
    ASSERT_EQ(model.indices.size() % 3, 0u);
    RenderModelServer server(0, false);
    RenderModel_t* loaded = nullptr;
    ASSERT_EQ(server.LoadModel(model.name.c_str(), &loaded), VRRenderModelError_None);
    EXPECT_EQ(loaded->unTriangleCount * 3, model.indices.size());
    EXPECT_EQ(loaded->unVertexCount, model.vertices.size());
    server.FreeModel(loaded);
  }
}

// The controller reads as one: dark body, light trackpad on top, coloured ring at the front.
TEST(SimulatedRenderModels, ControllerPartsHaveTheirColours) {
  SimulatedSession session;
  IVRRenderModels* models = session.RenderModels();
  RenderModel_t* model = nullptr;
  ASSERT_EQ(models->LoadRenderModel_Async("loomwork_controller", &model), VRRenderModelError_None);
  RenderModel_TextureMap_t* texture = nullptr;
  ASSERT_EQ(models->LoadTexture_Async(model->diffuseTextureId, &texture), VRRenderModelError_None);
  ASSERT_EQ(texture->unWidth, 256);
  ASSERT_EQ(texture->unHeight, 256);
  const RenderModel_Vertex_t *top = nullptr, *back = nullptr, *front = nullptr;
  for (uint32_t v = 0; v < model->unVertexCount; ++v) {
    const RenderModel_Vertex_t& vertex = model->rVertexData[v];
    const bool aboveGrip = vertex.vPosition.v[2] > -0.05f && vertex.vPosition.v[2] < 0.0f;
    if (aboveGrip && (top == nullptr || vertex.vPosition.v[1] > top->vPosition.v[1])) {
      top = &vertex;
    }
    if (back == nullptr || vertex.vPosition.v[2] > back->vPosition.v[2]) back = &vertex;
    if (front == nullptr || vertex.vPosition.v[2] < front->vPosition.v[2]) front = &vertex;
  }
  ASSERT_NE(top, nullptr);
  EXPECT_LT(front->vPosition.v[2], -0.08f);  // it points along -z
  const Rgba trackpad = Sample(*texture, top->rfTextureCoord);
  const Rgba body = Sample(*texture, back->rfTextureCoord);
  const Rgba ring = Sample(*texture, front->rfTextureCoord);
  EXPECT_GT(trackpad.r + trackpad.g + trackpad.b, 3 * 150);
  EXPECT_LT(body.r + body.g + body.b, 3 * 70);
  EXPECT_GT(ring.r - ring.b, 100);  // a saturated accent, not grey
  EXPECT_EQ(trackpad.a, 255);
  models->FreeTexture(texture);
  models->FreeRenderModel(model);
}

TEST(SimulatedRenderModels, TexturesMatchTheirSize) {
  SimulatedSession session;
  IVRRenderModels* models = session.RenderModels();
  for (TextureID_t id : {1, 2, 3}) {
    RenderModel_TextureMap_t* texture = nullptr;
    ASSERT_EQ(models->LoadTexture_Async(id, &texture), VRRenderModelError_None);
    ASSERT_GT(texture->unWidth, 0);
    ASSERT_GT(texture->unHeight, 0);
    // The last texel is readable and opaque (the data covers width x height x 4 bytes).
    const size_t last = (size_t(texture->unWidth) * texture->unHeight - 1) * 4;
    EXPECT_EQ(texture->rubTextureMapData[last + 3], 255);
    models->FreeTexture(texture);
  }
}

TEST(SimulatedRenderModels, RequestsAnswerLoadingAsConfigured) {
  for (int32_t polls : {0, 1, 3}) {
    SCOPED_TRACE(polls);
    SimulatedHeadsetOptions options = Unpaced();
    options.loadingPolls = polls;
    SimulatedSession session(options);
    IVRRenderModels* models = session.RenderModels();
    SimulatedHeadset* headset = session.Headset();
    for (int request = 0; request < 2; ++request) {  // every request waits again
      RenderModel_t* model = nullptr;
      int answers = 0;
      EXPECT_EQ(LoadUntilReady([&] { return models->LoadRenderModel_Async(
                                         "loomwork_controller", &model); },
                               &answers),
                VRRenderModelError_None);
      EXPECT_EQ(answers, polls);
      ASSERT_NE(model, nullptr);
      RenderModel_TextureMap_t* texture = nullptr;
      EXPECT_EQ(LoadUntilReady([&] { return models->LoadTexture_Async(
                                         model->diffuseTextureId, &texture); },
                               &answers),
                VRRenderModelError_None);
      EXPECT_EQ(answers, polls);
      ASSERT_NE(texture, nullptr);
      EXPECT_EQ(headset->LiveRenderModels(), 1u);
      models->FreeTexture(texture);
      models->FreeRenderModel(model);
    }
    EXPECT_EQ(headset->RenderModelRequests(), uint32_t(2 * (polls + 1)));
    EXPECT_EQ(headset->TextureRequests(), uint32_t(2 * (polls + 1)));
    EXPECT_EQ(headset->LiveRenderModels(), 0u);
    EXPECT_EQ(headset->LiveTextures(), 0u);
  }
}

TEST(SimulatedRenderModels, ErrorsAndTheirNames) {
  RenderModel_t* model = nullptr;
  RenderModel_TextureMap_t* texture = nullptr;
  {
    SimulatedHeadsetOptions options = Unpaced();
    options.textureFails = true;
    SimulatedSession session(options);
    IVRRenderModels* models = session.RenderModels();
    EXPECT_EQ(models->LoadRenderModel_Async("loomwork_teapot", &model),
              VRRenderModelError_InvalidModel);
    EXPECT_EQ(models->LoadRenderModel_Async("", &model), VRRenderModelError_InvalidModel);
    EXPECT_EQ(models->LoadRenderModel_Async(nullptr, &model), VRRenderModelError_InvalidArg);
    EXPECT_EQ(models->LoadRenderModel_Async("loomwork_controller", nullptr),
              VRRenderModelError_InvalidArg);
    EXPECT_EQ(models->LoadTexture_Async(1, &texture), VRRenderModelError_InvalidTexture);
    EXPECT_EQ(models->LoadTexture_Async(1, nullptr), VRRenderModelError_InvalidArg);
    EXPECT_EQ(model, nullptr);
    EXPECT_EQ(texture, nullptr);
  }
  SimulatedSession session;
  IVRRenderModels* models = session.RenderModels();
  EXPECT_EQ(models->LoadTexture_Async(99, &texture), VRRenderModelError_InvalidTexture);
  EXPECT_EQ(models->LoadTexture_Async(0, &texture), VRRenderModelError_InvalidTexture);
  // Freeing what was never handed out, or twice, is logged and otherwise ignored.
  ASSERT_EQ(models->LoadRenderModel_Async("loomwork_basestation", &model),
            VRRenderModelError_None);
  {
    LogCapture log;
    models->FreeRenderModel(model);
    models->FreeRenderModel(model);
    models->FreeRenderModel(nullptr);
    RenderModel_TextureMap_t stranger{};
    models->FreeTexture(&stranger);
    EXPECT_TRUE(log.Contains("FreeRenderModel"));
    EXPECT_TRUE(log.Contains("FreeTexture"));
  }
  const std::pair<int32_t, const char*> names[] = {
      {0, "VRRenderModelError_None"},
      {100, "VRRenderModelError_Loading"},
      {300, "VRRenderModelError_InvalidArg"},
      {301, "VRRenderModelError_InvalidModel"},
      {306, "VRRenderModelError_BufferTooSmall"},
      {400, "VRRenderModelError_InvalidTexture"},
      {401, "Unknown render model error"},
      {-1, "Unknown render model error"},
  };
  for (const auto& [code, name] : names) {
    EXPECT_STREQ(models->GetRenderModelErrorNameFromEnum(EVRRenderModelError(code)), name);
  }
}

}  // namespace
}  // namespace vr::sim::testing
