#pragma once
// The IVRRenderModels side of the simulated headset: hands out the generated models and
// textures the way a runtime streams them from disk, optionally answering "still loading" a
// few times first, and keeps what it handed out alive until it is freed.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vr/simulated/sim_render_models.h"
#include "vr_api/openvr_api.h"

namespace vr::sim {

class RenderModelServer {
 public:
  // loadingPolls: calls per request answered VRRenderModelError_Loading before delivery.
  RenderModelServer(int32_t loadingPolls, bool textureFails);
  ~RenderModelServer();
  RenderModelServer(const RenderModelServer&) = delete;
  RenderModelServer& operator=(const RenderModelServer&) = delete;

  EVRRenderModelError LoadModel(const char* name, RenderModel_t** model);
  void FreeModel(RenderModel_t* model);
  EVRRenderModelError LoadTexture(TextureID_t id, RenderModel_TextureMap_t** texture);
  void FreeTexture(RenderModel_TextureMap_t* texture);

  uint32_t ModelRequests() const { return modelRequests_; }
  uint32_t TextureRequests() const { return textureRequests_; }
  size_t LiveModels() const { return liveModels_.size(); }
  size_t LiveTextures() const { return liveTextures_.size(); }

 private:
  // True when this call of the request must still answer Loading.
  bool StillLoading(int32_t* answered);

  int32_t loadingPolls_;
  bool textureFails_;
  std::vector<GeneratedModel> models_;
  std::vector<GeneratedTexture> textures_;
  std::map<std::string, int32_t> modelLoadingAnswers_;
  std::map<TextureID_t, int32_t> textureLoadingAnswers_;
  std::vector<std::unique_ptr<RenderModel_t>> liveModels_;
  std::vector<std::unique_ptr<RenderModel_TextureMap_t>> liveTextures_;
  uint32_t modelRequests_ = 0;
  uint32_t textureRequests_ = 0;
};

// The enum's name ("VRRenderModelError_Loading"), or "Unknown render model error".
const char* RenderModelErrorName(EVRRenderModelError error);

}  // namespace vr::sim
