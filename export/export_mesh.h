#pragma once
// The sculpture's surface as other tools want it: one indexed triangle mesh in world metres (Y up)
// with vertices shared between triangles and across block seams, unit normals, painted colours,
// metalness and roughness per vertex, optionally simplified.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class BlockTessellator;

struct ExportOptions {
  // Fraction of the triangles to keep, in (0, 1]; 1 keeps the welded surface as it is.
  float simplifyRatio = 1.0f;
};

struct ExportMesh {
  std::vector<float> positions;  // x, y, z in metres
  std::vector<float> normals;    // unit x, y, z (zero where the surface has no direction)
  std::vector<uint8_t> colours;  // r, g, b as painted (sRGB-encoded bytes)
  std::vector<float> metalness;
  std::vector<float> roughness;
  std::vector<uint32_t> indices;  // three a triangle, counter-clockwise seen from outside
  size_t rawVertices = 0;         // vertices of the block lists before welding

  size_t VertexCount() const { return positions.size() / 3; }
  size_t TriangleCount() const { return indices.size() / 3; }
};

// Welds the extracted blocks (every block's vertex list as the block index holds it) into one
// mesh. Vertices closer than a 1/1024 of a sample are one vertex; triangles that collapse to a line
// or a point are dropped. False with the reason in `error` for an unusable option or a surface too
// large for 32-bit indices.
bool BuildExportMesh(const BlockTessellator& blocks, const ExportOptions& options, ExportMesh& mesh,
                     std::string& error);

// Painted colours are picked on screen, so sRGB-encoded; glTF's COLOR_0 is linear.
float SrgbByteToLinear(uint8_t value);
