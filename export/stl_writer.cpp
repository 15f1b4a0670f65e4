// Binary STL for 3D printers: an 80-byte header, the triangle count, then per triangle its face
// normal and three corners; no colour.
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "export/mesh_writers.h"
#include "file/atomic_file_writer.h"

static_assert(std::endian::native == std::endian::little);

bool WriteStl(const ExportMesh& mesh, const std::string& path, float unitsPerMetre,
              std::string& error) {
  if (mesh.TriangleCount() > std::numeric_limits<uint32_t>::max()) {
    error = "too many triangles for an STL file";
    return false;
  }
  AtomicFileWriter file(path);
  if (!file.Open()) {
    error = file.Error();
    return false;
  }
  char header[80] = {};
  std::snprintf(header, sizeof header, "Loomwork sculpture, %s",
                unitsPerMetre == 1000.0f ? "millimetres" : "metres");
  const uint32_t count = uint32_t(mesh.TriangleCount());
  bool ok = file.Write(header, sizeof header) && file.Write(&count, 4);
  std::vector<uint8_t> record(50);
  for (size_t t = 0; ok && t < mesh.TriangleCount(); ++t) {
    float corner[3][3];
    for (int k = 0; k < 3; ++k)
      for (int a = 0; a < 3; ++a)
        corner[k][a] = mesh.positions[3 * size_t(mesh.indices[3 * t + size_t(k)]) + size_t(a)] *
                       unitsPerMetre;
    const float u[3] = {corner[1][0] - corner[0][0], corner[1][1] - corner[0][1],
                        corner[1][2] - corner[0][2]};
    const float v[3] = {corner[2][0] - corner[0][0], corner[2][1] - corner[0][1],
                        corner[2][2] - corner[0][2]};
    float n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (float& c : n) c = length > 0.0f ? c / length : 0.0f;
    std::memcpy(record.data(), n, 12);
    std::memcpy(record.data() + 12, corner, 36);
    record[48] = record[49] = 0;
    ok = file.Write(record.data(), record.size());
  }
  if (ok && file.Commit()) return true;
  error = file.Error();
  return false;
}
