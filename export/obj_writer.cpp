// Wavefront OBJ with the common vertex-colour extension ("v x y z r g b", colours as painted) and
// normals; faces refer to both by the same 1-based index.
#include <cstdio>
#include <string>

#include "export/mesh_writers.h"
#include "file/atomic_file_writer.h"

bool WriteObj(const ExportMesh& mesh, const std::string& path, float unitsPerMetre,
              std::string& error) {
  AtomicFileWriter file(path);
  if (!file.Open()) {
    error = file.Error();
    return false;
  }
  char line[160];
  auto put = [&](int length) { return file.Write(line, size_t(length)); };
  bool ok = put(std::snprintf(line, sizeof line, "# Loomwork sculpture, %zu vertices, %zu triangles\n",
                              mesh.VertexCount(), mesh.TriangleCount()));
  for (size_t v = 0; ok && v < mesh.VertexCount(); ++v) {
    const float* p = &mesh.positions[3 * v];
    const uint8_t* c = &mesh.colours[3 * v];
    ok = put(std::snprintf(line, sizeof line, "v %.7g %.7g %.7g %.4g %.4g %.4g\n",
                           p[0] * unitsPerMetre, p[1] * unitsPerMetre, p[2] * unitsPerMetre,
                           c[0] / 255.0, c[1] / 255.0, c[2] / 255.0));
  }
  for (size_t v = 0; ok && v < mesh.VertexCount(); ++v) {
    const float* n = &mesh.normals[3 * v];
    ok = put(std::snprintf(line, sizeof line, "vn %.6g %.6g %.6g\n", n[0], n[1], n[2]));
  }
  for (size_t t = 0; ok && t < mesh.TriangleCount(); ++t) {
    const uint32_t a = mesh.indices[3 * t] + 1, b = mesh.indices[3 * t + 1] + 1,
                   c = mesh.indices[3 * t + 2] + 1;
    ok = put(std::snprintf(line, sizeof line, "f %u//%u %u//%u %u//%u\n", a, a, b, b, c, c));
  }
  if (ok && file.Commit()) return true;
  error = file.Error();
  return false;
}
