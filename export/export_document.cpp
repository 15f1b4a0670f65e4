#include "export/export_document.h"

#include <cmath>

#include "base/log.h"
#include "export/export_mesh.h"
#include "export/mesh_writers.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/voxel_grid.h"

bool ExportDocumentAsGlb(SculptDocument& document, const DataRoots* roots,
                         const std::string& path) {
  static const DataRoots kWorkingDirectory = {""};
  const DataRoots& candidates = roots != nullptr && !roots->empty() ? *roots : kWorkingDirectory;
  std::string target;
  for (const std::string& root : candidates) {
    const std::string full = root + path;
    const size_t slash = full.find_last_of('/');
    if (slash == std::string::npos || IsDirectory(full.substr(0, slash))) {
      target = full;
      break;
    }
  }
  if (target.empty()) {
    Log(LogLevel::Error, "Export: no data root has a folder for '%s'", path.c_str());
    return false;
  }
  BlockTessellator blocks(&document.Grid(), kBlockSize);
  blocks.ExtractDirtyBlocks(INFINITY);
  ExportMesh mesh;
  std::string error;
  if (!BuildExportMesh(blocks, {}, mesh, error) ||
      !WriteExportMesh(mesh, target, ExportFormat::Glb, 1.0f, error)) {
    Log(LogLevel::Error, "Export: %s", error.c_str());
    return false;
  }
  Log(LogLevel::Info, "Export: wrote '%s' (%zu vertices, %zu triangles)", target.c_str(),
      mesh.VertexCount(), mesh.TriangleCount());
  return true;
}
