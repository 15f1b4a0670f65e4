#include "vr/simulated/sim_render_model_server.h"

#include <algorithm>
#include <cstring>

#include "base/log.h"

namespace vr::sim {

RenderModelServer::RenderModelServer(int32_t loadingPolls, bool textureFails)
    : loadingPolls_(std::max(loadingPolls, 0)), textureFails_(textureFails) {
  models_.push_back(BuildControllerModel());
  models_.push_back(BuildBaseStationModel());
  models_.push_back(BuildHeadsetModel());
  textures_.push_back(BuildControllerTexture());
  textures_.push_back(BuildBaseStationTexture());
  textures_.push_back(BuildHeadsetTexture());
}

RenderModelServer::~RenderModelServer() {
  if (!liveModels_.empty() || !liveTextures_.empty()) {
    Log(LogLevel::Warning, "Render models: %zu models and %zu textures were never freed",
        liveModels_.size(), liveTextures_.size());
  }
}

bool RenderModelServer::StillLoading(int32_t* answered) {
  if (*answered < loadingPolls_) {
    ++*answered;
    return true;
  }
  return false;
}

EVRRenderModelError RenderModelServer::LoadModel(const char* name, RenderModel_t** model) {
  ++modelRequests_;
  if (name == nullptr || model == nullptr) {
    return VRRenderModelError_InvalidArg;
  }
  const auto found = std::find_if(models_.begin(), models_.end(), [name](const GeneratedModel& m) {
    return std::strcmp(m.name.c_str(), name) == 0;
  });
  if (found == models_.end()) {
    return VRRenderModelError_InvalidModel;
  }
  if (StillLoading(&modelLoadingAnswers_[found->name])) {
    return VRRenderModelError_Loading;
  }
  modelLoadingAnswers_.erase(found->name);  // the next call starts a new request
  auto handed = std::make_unique<RenderModel_t>();
  handed->rVertexData = found->vertices.data();
  handed->unVertexCount = static_cast<uint32_t>(found->vertices.size());
  handed->rIndexData = found->indices.data();
  handed->unTriangleCount = static_cast<uint32_t>(found->indices.size() / 3);
  handed->diffuseTextureId = found->textureId;
  *model = handed.get();
  liveModels_.push_back(std::move(handed));
  return VRRenderModelError_None;
}

void RenderModelServer::FreeModel(RenderModel_t* model) {
  if (model == nullptr) {
    return;
  }
  const auto found = std::find_if(liveModels_.begin(), liveModels_.end(),
                                  [model](const auto& live) { return live.get() == model; });
  if (found == liveModels_.end()) {
    Log(LogLevel::Warning, "FreeRenderModel: the model was not handed out or is already freed");
    return;
  }
  liveModels_.erase(found);
}

EVRRenderModelError RenderModelServer::LoadTexture(TextureID_t id,
                                                   RenderModel_TextureMap_t** texture) {
  ++textureRequests_;
  if (texture == nullptr) {
    return VRRenderModelError_InvalidArg;
  }
  const auto found = std::find_if(textures_.begin(), textures_.end(),
                                  [id](const GeneratedTexture& t) { return t.id == id; });
  if (found == textures_.end() || textureFails_) {
    return VRRenderModelError_InvalidTexture;
  }
  if (StillLoading(&textureLoadingAnswers_[id])) {
    return VRRenderModelError_Loading;
  }
  textureLoadingAnswers_.erase(id);
  auto handed = std::make_unique<RenderModel_TextureMap_t>();
  handed->unWidth = found->width;
  handed->unHeight = found->height;
  handed->rubTextureMapData = found->rgba.data();
  *texture = handed.get();
  liveTextures_.push_back(std::move(handed));
  return VRRenderModelError_None;
}

void RenderModelServer::FreeTexture(RenderModel_TextureMap_t* texture) {
  if (texture == nullptr) {
    return;
  }
  const auto found = std::find_if(liveTextures_.begin(), liveTextures_.end(),
                                  [texture](const auto& live) { return live.get() == texture; });
  if (found == liveTextures_.end()) {
    Log(LogLevel::Warning, "FreeTexture: the texture was not handed out or is already freed");
    return;
  }
  liveTextures_.erase(found);
}

const char* RenderModelErrorName(EVRRenderModelError error) {
  switch (error) {
    case VRRenderModelError_None: return "VRRenderModelError_None";
    case VRRenderModelError_Loading: return "VRRenderModelError_Loading";
    case VRRenderModelError_NotSupported: return "VRRenderModelError_NotSupported";
    case VRRenderModelError_InvalidArg: return "VRRenderModelError_InvalidArg";
    case VRRenderModelError_InvalidModel: return "VRRenderModelError_InvalidModel";
    case VRRenderModelError_NoShapes: return "VRRenderModelError_NoShapes";
    case VRRenderModelError_MultipleShapes: return "VRRenderModelError_MultipleShapes";
    case VRRenderModelError_TooManyVertices: return "VRRenderModelError_TooManyVertices";
    case VRRenderModelError_MultipleTextures: return "VRRenderModelError_MultipleTextures";
    case VRRenderModelError_BufferTooSmall: return "VRRenderModelError_BufferTooSmall";
    case VRRenderModelError_NotEnoughNormals: return "VRRenderModelError_NotEnoughNormals";
    case VRRenderModelError_NotEnoughTexCoords: return "VRRenderModelError_NotEnoughTexCoords";
    case VRRenderModelError_InvalidTexture: return "VRRenderModelError_InvalidTexture";
  }
  return "Unknown render model error";
}

}  // namespace vr::sim
