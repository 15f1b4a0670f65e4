#include "tools/loomwork_tool/ply_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "file/atomic_file_writer.h"
#include "sculpt/block_tessellator.h"

// Values are copied straight from memory into the little-endian file.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr size_t kPlyVertexSize = 6 * sizeof(float) + 5;
constexpr size_t kPlyFaceSize = 1 + 3 * sizeof(int32_t);
// Vertices (or faces) converted per Write call: keeps the staging buffer small and the calls few.
constexpr size_t kBatch = 16384;

std::string PlyHeader(size_t vertexCount, size_t faceCount) {
  char counts[128];
  std::snprintf(counts, sizeof(counts), "element vertex %zu\n", vertexCount);
  std::string header = "ply\nformat binary_little_endian 1.0\n";
  header += counts;
  header +=
      "property float x\nproperty float y\nproperty float z\n"
      "property float nx\nproperty float ny\nproperty float nz\n"
      "property uchar red\nproperty uchar green\nproperty uchar blue\n"
      "property uchar metalness\nproperty uchar roughness\n";
  std::snprintf(counts, sizeof(counts), "element face %zu\n", faceCount);
  header += counts;
  header += "property list uchar int vertex_indices\nend_header\n";
  return header;
}

// Normalised in double so that very short gradients still come out unit length; a zero gradient
// has no direction and stays zero.
void UnitNormal(const float in[3], float out[3]) {
  const double x = in[0], y = in[1], z = in[2];
  const double length = std::sqrt(x * x + y * y + z * z);
  if (!(length > 0.0) || !std::isfinite(length)) {
    out[0] = out[1] = out[2] = 0.0f;
    return;
  }
  out[0] = float(x / length);
  out[1] = float(y / length);
  out[2] = float(z / length);
}

uint8_t* PackVertex(const SculptVertex& v, uint8_t* out) {
  float values[6];
  values[0] = v.position[0] / kSamplesPerMetre + kGridOriginMetres.x;
  values[1] = v.position[1] / kSamplesPerMetre + kGridOriginMetres.y;
  values[2] = v.position[2] / kSamplesPerMetre + kGridOriginMetres.z;
  UnitNormal(v.normal, values + 3);
  std::memcpy(out, values, sizeof(values));
  out += sizeof(values);
  *out++ = v.colour[0];
  *out++ = v.colour[1];
  *out++ = v.colour[2];
  *out++ = v.material[0];
  *out++ = v.material[1];
  return out;
}

}  // namespace

bool WriteBlocksAsPly(const BlockTessellator& blocks, const std::string& path, PlyCounts& counts,
                      std::string& error) {
  size_t vertexCount = 0;
  for (int b = 0; b < blocks.blockCount; ++b) vertexCount += blocks.Block(b).vertices.size();
  // Faces index vertices with the PLY "int" type.
  if (vertexCount > size_t(std::numeric_limits<int32_t>::max())) {
    error = "the surface has too many vertices for a PLY file with int indices";
    return false;
  }
  counts.vertices = vertexCount;
  counts.faces = vertexCount / 3;

  AtomicFileWriter file(path);
  if (!file.Open()) {
    error = file.Error();
    return false;
  }
  const std::string header = PlyHeader(counts.vertices, counts.faces);
  file.Write(header.data(), header.size());

  std::vector<uint8_t> staging(kBatch * kPlyVertexSize);
  for (int b = 0; b < blocks.blockCount; ++b) {
    const SculptVertexList& vertices = blocks.Block(b).vertices;
    for (size_t first = 0; first < vertices.size(); first += kBatch) {
      const size_t end = std::min(vertices.size(), first + kBatch);
      uint8_t* out = staging.data();
      for (size_t i = first; i < end; ++i) out = PackVertex(vertices[i], out);
      if (!file.Write(staging.data(), size_t(out - staging.data()))) break;
    }
  }

  for (size_t first = 0; first < counts.faces; first += kBatch) {
    const size_t end = std::min(counts.faces, first + kBatch);
    uint8_t* out = staging.data();
    for (size_t f = first; f < end; ++f) {
      const int32_t indices[3] = {int32_t(3 * f), int32_t(3 * f + 1), int32_t(3 * f + 2)};
      *out++ = 3;
      std::memcpy(out, indices, sizeof(indices));
      out += sizeof(indices);
    }
    if (!file.Write(staging.data(), size_t(out - staging.data()))) break;
  }

  if (!file.Commit()) {
    error = file.Error();
    return false;
  }
  return true;
}
