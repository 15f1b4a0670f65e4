#pragma once
// The render models the simulated devices show, generated in memory: metres in device space
// (forward is -z, up is +y), counter-clockwise front faces, RGBA8 textures with row 0 at v = 0.
#include <cstdint>
#include <string>
#include <vector>

#include "vr_api/openvr_api.h"

namespace vr::sim {

constexpr TextureID_t kControllerTextureId = 1;
constexpr TextureID_t kBaseStationTextureId = 2;
constexpr TextureID_t kHeadsetTextureId = 3;

struct GeneratedModel {
  std::string name;
  std::vector<RenderModel_Vertex_t> vertices;
  std::vector<uint16_t> indices;  // three per triangle
  TextureID_t textureId = 0;
};

struct GeneratedTexture {
  TextureID_t id = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4
};

// A hand controller about 17 cm long: handle, rounded head with the trackpad on top, trigger
// underneath and an accent ring in front.
GeneratedModel BuildControllerModel();
// An 8 x 8 x 6 cm box whose front (-z) shows a lens.
GeneratedModel BuildBaseStationModel();
// A visor-shaped headset.
GeneratedModel BuildHeadsetModel();

GeneratedTexture BuildControllerTexture();
GeneratedTexture BuildBaseStationTexture();
GeneratedTexture BuildHeadsetTexture();

}  // namespace vr::sim
