#pragma once
// Files other tools read, written from an export mesh: glTF 2.0 (binary .glb, or .gltf with its
// .bin beside it), OBJ with vertex colours, binary STL, binary PLY with shared vertices. Every file
// goes through the atomic writer: an existing file is replaced only by a complete one.
#include <string>

#include "export/export_mesh.h"

enum class ExportFormat { Glb, Gltf, Obj, Stl, Ply, Unknown };

// From the path's extension, in any letter case.
ExportFormat ExportFormatOf(const std::string& path);
const char* ExportFormatExtensions();  // "glb, gltf, obj, stl, ply"

// unitsPerMetre scales positions in OBJ, STL and PLY (1000 for millimetres); glTF is always in
// metres. False with the reason in `error`; an empty mesh is refused (no format can hold it
// usefully and glTF forbids empty accessors).
bool WriteExportMesh(const ExportMesh& mesh, const std::string& path, ExportFormat format,
                     float unitsPerMetre, std::string& error);

bool WriteGltf(const ExportMesh& mesh, const std::string& path, bool binary, std::string& error);
// The buffer a .gltf at `path` is written with: beside it, its name with ".bin" for the extension.
std::string GltfBufferPath(const std::string& path);
bool WriteObj(const ExportMesh& mesh, const std::string& path, float unitsPerMetre,
              std::string& error);
bool WriteStl(const ExportMesh& mesh, const std::string& path, float unitsPerMetre,
              std::string& error);
bool WritePly(const ExportMesh& mesh, const std::string& path, float unitsPerMetre,
              std::string& error);
