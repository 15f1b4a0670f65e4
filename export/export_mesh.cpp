#include "export/export_mesh.h"

#include <meshoptimizer.h>

#include <cmath>
#include <limits>

#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_vertex.h"

namespace {

constexpr float kSamplesPerMetre = 96.0f;
constexpr float kOriginMetres[3] = {-1.0f, 0.0f, -1.0f};
// Edge vertices of neighbouring blocks are computed from the same samples in the same order, so
// they match exactly; the rounding only absorbs a last-bit difference should one ever appear.
constexpr float kWeldSteps = 1024.0f;

}  // namespace

float SrgbByteToLinear(uint8_t value) {
  const float c = float(value) / 255.0f;
  return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

bool BuildExportMesh(const BlockTessellator& blocks, const ExportOptions& options, ExportMesh& mesh,
                     std::string& error) {
  mesh = ExportMesh{};
  if (!(options.simplifyRatio > 0.0f && options.simplifyRatio <= 1.0f)) {
    error = "the simplification ratio must lie in (0, 1]";
    return false;
  }
  std::vector<const SculptVertex*> raw;
  for (int b = 0; b < blocks.blockCount; ++b)
    for (const SculptVertex& v : blocks.Block(b).vertices) raw.push_back(&v);
  mesh.rawVertices = raw.size();
  if (raw.size() > size_t(std::numeric_limits<uint32_t>::max())) {
    error = "the surface has too many vertices for 32-bit indices";
    return false;
  }

  // Weld by position only: the first vertex at a place gives the attributes.
  std::vector<float> keys(raw.size() * 3);
  for (size_t i = 0; i < raw.size(); ++i)
    for (int a = 0; a < 3; ++a)
      keys[3 * i + size_t(a)] = std::round(raw[i]->position[a] * kWeldSteps) / kWeldSteps;
  std::vector<unsigned int> remap(raw.size());
  const size_t unique = raw.empty() ? 0
                                    : meshopt_generateVertexRemap(remap.data(), nullptr, raw.size(),
                                                                  keys.data(), raw.size(),
                                                                  3 * sizeof(float));
  std::vector<const SculptVertex*> kept(unique, nullptr);
  for (size_t i = 0; i < raw.size(); ++i)
    if (kept[remap[i]] == nullptr) kept[remap[i]] = raw[i];

  std::vector<uint32_t> indices;
  indices.reserve(raw.size());
  for (size_t t = 0; t + 2 < raw.size(); t += 3) {
    const uint32_t a = remap[t], b = remap[t + 1], c = remap[t + 2];
    if (a == b || b == c || a == c) continue;  // collapsed: a line or a point
    indices.insert(indices.end(), {a, b, c});
  }

  std::vector<float> positions(unique * 3);
  for (size_t v = 0; v < unique; ++v)
    for (int a = 0; a < 3; ++a)
      positions[3 * v + size_t(a)] = kept[v]->position[a] / kSamplesPerMetre + kOriginMetres[a];

  if (options.simplifyRatio < 1.0f && !indices.empty()) {
    const size_t target = size_t(double(indices.size() / 3) * options.simplifyRatio) * 3;
    std::vector<uint32_t> simplified(indices.size());
    const size_t count = meshopt_simplify(simplified.data(), indices.data(), indices.size(),
                                          positions.data(), unique, 3 * sizeof(float), target,
                                          /*target_error=*/0.05f);
    simplified.resize(count);
    indices.swap(simplified);
  }

  // Only the vertices the triangles use, in the order they are first used.
  std::vector<uint32_t> order(unique);
  const size_t used = meshopt_optimizeVertexFetchRemap(order.data(), indices.data(), indices.size(),
                                                       unique);
  mesh.positions.resize(used * 3);
  mesh.normals.resize(used * 3);
  mesh.colours.resize(used * 3);
  mesh.metalness.resize(used);
  mesh.roughness.resize(used);
  for (size_t v = 0; v < unique; ++v) {
    const uint32_t to = order[v];
    if (to == ~0u) continue;
    const SculptVertex& source = *kept[v];
    for (int a = 0; a < 3; ++a) mesh.positions[3 * to + a] = positions[3 * v + size_t(a)];
    const double x = source.normal[0], y = source.normal[1], z = source.normal[2];
    const double length = std::sqrt(x * x + y * y + z * z);
    const double scale = length > 0.0 && std::isfinite(length) ? 1.0 / length : 0.0;
    mesh.normals[3 * to] = float(x * scale);
    mesh.normals[3 * to + 1] = float(y * scale);
    mesh.normals[3 * to + 2] = float(z * scale);
    for (int a = 0; a < 3; ++a) mesh.colours[3 * to + a] = source.colour[a];
    mesh.metalness[to] = float(source.material[0]) / 255.0f;
    mesh.roughness[to] = float(source.material[1]) / 255.0f;
  }
  mesh.indices.resize(indices.size());
  for (size_t i = 0; i < indices.size(); ++i) mesh.indices[i] = order[indices[i]];
  return true;
}
