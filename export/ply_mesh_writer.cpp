// Binary PLY with shared vertices: positions, unit normals, colour as painted and the material
// bytes, then one face per triangle.
#include <bit>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "export/mesh_writers.h"
#include "file/atomic_file_writer.h"

static_assert(std::endian::native == std::endian::little);

bool WritePly(const ExportMesh& mesh, const std::string& path, float unitsPerMetre,
              std::string& error) {
  if (mesh.VertexCount() > size_t(std::numeric_limits<int32_t>::max())) {
    error = "too many vertices for a PLY file with int indices";
    return false;
  }
  AtomicFileWriter file(path);
  if (!file.Open()) {
    error = file.Error();
    return false;
  }
  char header[640];
  const int length = std::snprintf(
      header, sizeof header,
      "ply\nformat binary_little_endian 1.0\ncomment Loomwork sculpture in %s\n"
      "element vertex %zu\nproperty float x\nproperty float y\nproperty float z\n"
      "property float nx\nproperty float ny\nproperty float nz\nproperty uchar red\n"
      "property uchar green\nproperty uchar blue\nproperty uchar metalness\n"
      "property uchar roughness\nelement face %zu\nproperty list uchar int vertex_indices\n"
      "end_header\n",
      unitsPerMetre == 1000.0f ? "millimetres" : "metres", mesh.VertexCount(),
      mesh.TriangleCount());
  bool ok = file.Write(header, size_t(length));
  uint8_t vertex[29];
  for (size_t v = 0; ok && v < mesh.VertexCount(); ++v) {
    float values[6];
    for (int a = 0; a < 3; ++a) values[a] = mesh.positions[3 * v + size_t(a)] * unitsPerMetre;
    for (int a = 0; a < 3; ++a) values[3 + a] = mesh.normals[3 * v + size_t(a)];
    std::memcpy(vertex, values, 24);
    std::memcpy(vertex + 24, &mesh.colours[3 * v], 3);
    vertex[27] = uint8_t(mesh.metalness[v] * 255.0f + 0.5f);
    vertex[28] = uint8_t(mesh.roughness[v] * 255.0f + 0.5f);
    ok = file.Write(vertex, sizeof vertex);
  }
  uint8_t face[13];
  face[0] = 3;
  for (size_t t = 0; ok && t < mesh.TriangleCount(); ++t) {
    std::memcpy(face + 1, &mesh.indices[3 * t], 12);
    ok = file.Write(face, sizeof face);
  }
  if (ok && file.Commit()) return true;
  error = file.Error();
  return false;
}
