#include "export/mesh_writers.h"

#include <algorithm>
#include <cctype>

ExportFormat ExportFormatOf(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return ExportFormat::Unknown;
  }
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  if (extension == "glb") return ExportFormat::Glb;
  if (extension == "gltf") return ExportFormat::Gltf;
  if (extension == "obj") return ExportFormat::Obj;
  if (extension == "stl") return ExportFormat::Stl;
  if (extension == "ply") return ExportFormat::Ply;
  return ExportFormat::Unknown;
}

const char* ExportFormatExtensions() { return "glb, gltf, obj, stl, ply"; }

std::string GltfBufferPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? path.substr(0, dot) : path) + ".bin";
}

bool WriteExportMesh(const ExportMesh& mesh, const std::string& path, ExportFormat format,
                     float unitsPerMetre, std::string& error) {
  if (mesh.indices.empty()) {
    error = "the sculpture has no surface to export";
    return false;
  }
  switch (format) {
    case ExportFormat::Glb: return WriteGltf(mesh, path, true, error);
    case ExportFormat::Gltf: return WriteGltf(mesh, path, false, error);
    case ExportFormat::Obj: return WriteObj(mesh, path, unitsPerMetre, error);
    case ExportFormat::Stl: return WriteStl(mesh, path, unitsPerMetre, error);
    case ExportFormat::Ply: return WritePly(mesh, path, unitsPerMetre, error);
    case ExportFormat::Unknown: break;
  }
  error = "'" + path + "' has no known extension (" + ExportFormatExtensions() + ")";
  return false;
}
