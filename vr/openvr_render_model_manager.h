#pragma once
// The look of the tracked devices: render models fetched from the VR runtime, turned into GPU
// meshes and textures, cached by model name (identical devices share one copy) and listed per
// device slot for the host's GetRenderModel / GetRenderModelTexture.
#include <array>
#include <map>
#include <memory>
#include <string>

#include "gfx/draw_context.h"
#include "gfx/mesh.h"
#include "vr/vr_runtime.h"

struct RenderModel {
  Mesh mesh;
  Draw::Texture* texture = nullptr;  // owned
};

class VRRenderModelManager {
 public:
  virtual ~VRRenderModelManager() = default;
};

class OpenVRRenderModelManager : public VRRenderModelManager {
 public:
  static constexpr uint32_t kDeviceSlots = 16;

  // The render-model interface the models are asked from; null until the host has one.
  vr::IVRRenderModels* renderModels = nullptr;

  // Clears the device table, then loads the model of every connected device 1..15 (the headset,
  // device 0, never gets one).
  void LoadConnectedDeviceModels(Draw::DrawContext* context, vr::IVRSystem* system);
  // Indices past 15 are ignored. A device whose model cannot be loaded keeps its previous entry.
  void LoadDeviceModel(Draw::DrawContext* context, vr::IVRSystem* system, uint32_t index);
  // The cached model of that name, or one loaded from the runtime now; null on failure (not
  // cached, so a later request asks the runtime again).
  RenderModel* FindOrLoadModel(Draw::DrawContext* context, const std::string& name);
  // Releases every cached model's GPU objects and empties the cache. The device table is left
  // as it is: the host is shutting down.
  void ReleaseModels(Draw::DrawContext* context);

  RenderModel* DeviceModel(uint32_t index) const {
    return index < kDeviceSlots ? deviceModels_[index] : nullptr;
  }
  size_t CachedModelCount() const { return cache_.size(); }

 private:
  std::map<std::string, std::unique_ptr<RenderModel>> cache_;
  std::array<RenderModel*, kDeviceSlots> deviceModels_ = {};
};

// Reads a string property with the runtime's two-step protocol: the length with an empty buffer,
// then the text into a buffer of that length. Length 0 (or an error) gives the empty string.
std::string ReadStringProperty(vr::IVRSystem* system, vr::TrackedDeviceIndex_t index,
                               vr::ETrackedDeviceProperty property);
