#include "vr/openvr_render_model_manager.h"

#include <vector>

#include "base/log.h"
#include "base/timing.h"

namespace {

// Asks until the runtime stops answering "still loading". The runtime loads in the background,
// so a short sleep between questions keeps this thread from spinning.
template <class Ask>
vr::EVRRenderModelError PollUntilLoaded(Ask ask) {
  vr::EVRRenderModelError error = ask();
  while (error == vr::VRRenderModelError_Loading) {
    SleepMs(1);
    error = ask();
  }
  return error;
}

bool ModelDataIsUsable(const vr::RenderModel_t& model, const vr::RenderModel_TextureMap_t& texture) {
  if (model.unVertexCount == 0 || model.rVertexData == nullptr || model.unTriangleCount == 0 ||
      model.rIndexData == nullptr || texture.rubTextureMapData == nullptr ||
      texture.unWidth == 0 || texture.unHeight == 0) {
    return false;
  }
  const size_t indexCount = size_t(model.unTriangleCount) * 3;
  for (size_t i = 0; i < indexCount; ++i) {
    if (model.rIndexData[i] >= model.unVertexCount) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string ReadStringProperty(vr::IVRSystem* system, vr::TrackedDeviceIndex_t index,
                               vr::ETrackedDeviceProperty property) {
  if (system == nullptr) {
    return {};
  }
  vr::ETrackedPropertyError error = vr::TrackedProp_Success;
  const uint32_t length = system->GetStringTrackedDeviceProperty(index, property, nullptr, 0, &error);
  if (length == 0) {
    return {};
  }
  std::vector<char> buffer(length, '\0');
  system->GetStringTrackedDeviceProperty(index, property, buffer.data(), length, &error);
  buffer.back() = '\0';  // never trust the runtime to terminate it
  return std::string(buffer.data());
}

void OpenVRRenderModelManager::LoadConnectedDeviceModels(Draw::DrawContext* context,
                                                         vr::IVRSystem* system) {
  deviceModels_.fill(nullptr);
  if (system == nullptr) {
    return;
  }
  for (uint32_t index = 1; index < kDeviceSlots; ++index) {
    if (system->IsTrackedDeviceConnected(index)) {
      LoadDeviceModel(context, system, index);
    }
  }
}

void OpenVRRenderModelManager::LoadDeviceModel(Draw::DrawContext* context, vr::IVRSystem* system,
                                               uint32_t index) {
  if (index >= kDeviceSlots || system == nullptr) {
    return;
  }
  const std::string name = ReadStringProperty(system, index, vr::Prop_RenderModelName_String);
  if (RenderModel* model = FindOrLoadModel(context, name)) {
    deviceModels_[index] = model;
    return;
  }
  const std::string trackingSystem =
      ReadStringProperty(system, index, vr::Prop_TrackingSystemName_String);
  Log(LogLevel::Warning, "Unable to load render model for tracked device %d (%s.%s)", int(index),
      trackingSystem.c_str(), name.c_str());
}

RenderModel* OpenVRRenderModelManager::FindOrLoadModel(Draw::DrawContext* context,
                                                       const std::string& name) {
  if (auto found = cache_.find(name); found != cache_.end()) {
    return found->second.get();
  }
  if (renderModels == nullptr || context == nullptr) {
    return nullptr;
  }

  vr::RenderModel_t* runtimeModel = nullptr;
  const vr::EVRRenderModelError modelError = PollUntilLoaded(
      [&] { return renderModels->LoadRenderModel_Async(name.c_str(), &runtimeModel); });
  if (modelError != vr::VRRenderModelError_None || runtimeModel == nullptr) {
    Log(LogLevel::Warning, "Unable to load render model %s - %s", name.c_str(),
        renderModels->GetRenderModelErrorNameFromEnum(modelError));
    return nullptr;
  }

  vr::RenderModel_TextureMap_t* runtimeTexture = nullptr;
  const vr::EVRRenderModelError textureError = PollUntilLoaded([&] {
    return renderModels->LoadTexture_Async(runtimeModel->diffuseTextureId, &runtimeTexture);
  });
  if (textureError != vr::VRRenderModelError_None || runtimeTexture == nullptr) {
    Log(LogLevel::Warning, "Unable to load render texture id:%d for render model %s",
        int(runtimeModel->diffuseTextureId), name.c_str());
    renderModels->FreeRenderModel(runtimeModel);
    return nullptr;
  }

  // The runtime's data goes straight into GPU buffers: indices past the vertices, or a texture
  // without pixels, would make the draws read out of bounds.
  if (!ModelDataIsUsable(*runtimeModel, *runtimeTexture)) {
    Log(LogLevel::Warning, "Unable to load render model %s - %s", name.c_str(),
        renderModels->GetRenderModelErrorNameFromEnum(vr::VRRenderModelError_InvalidModel));
    renderModels->FreeRenderModel(runtimeModel);
    renderModels->FreeTexture(runtimeTexture);
    return nullptr;
  }

  std::vector<SimpleVertex> vertices(runtimeModel->unVertexCount);
  for (uint32_t i = 0; i < runtimeModel->unVertexCount; ++i) {
    const vr::RenderModel_Vertex_t& source = runtimeModel->rVertexData[i];
    SimpleVertex& vertex = vertices[i];
    for (int k = 0; k < 3; ++k) {
      vertex.position[k] = source.vPosition.v[k];
      vertex.normal[k] = source.vNormal.v[k];
    }
    vertex.uv[0] = source.rfTextureCoord[0];
    vertex.uv[1] = source.rfTextureCoord[1];
    vertex.color = 0xFFFFFFFFu;
  }
  const size_t indexCount = size_t(runtimeModel->unTriangleCount) * 3;
  std::vector<uint32_t> indices(indexCount);
  for (size_t i = 0; i < indexCount; ++i) {
    indices[i] = runtimeModel->rIndexData[i];
  }

  auto model = std::make_unique<RenderModel>();
  model->mesh.Create(context, vertices, indices);
  Draw::TextureDesc desc;
  desc.format = Draw::R8G8B8A8_UNORM_SRGB;
  desc.width = runtimeTexture->unWidth;
  desc.height = runtimeTexture->unHeight;
  desc.depth = 1;
  desc.mipLevels = 1;
  desc.flags = 0;
  model->texture = context->CreateTexture(desc);
  if (model->texture != nullptr) {
    context->UpdateTextureLevel(model->texture, 0, 0, 0, 0, desc.width, desc.height, 1,
                                desc.width * 4, desc.width * desc.height * 4,
                                runtimeTexture->rubTextureMapData);
    context->GenerateMipmaps(model->texture);
  }

  RenderModel* result = model.get();
  cache_.emplace(name, std::move(model));
  renderModels->FreeRenderModel(runtimeModel);
  renderModels->FreeTexture(runtimeTexture);
  return result;
}

void OpenVRRenderModelManager::ReleaseModels(Draw::DrawContext* /*context*/) {
  for (auto& [name, model] : cache_) {
    model->mesh.Release();
    delete model->texture;
    model->texture = nullptr;
  }
  cache_.clear();
}
