#pragma once
// Procedural meshes for the sky box and the brush previews: a subdivided cube, a sphere pushed out
// of that cube, and a capped cylinder, built from two grid routines and two cap routines. Every
// generator sizes its lists first (new entries all zero) and then writes them.
#include <cstdint>
#include <optional>
#include <vector>

#include "base/math_types.h"
#include "gfx/simple_vertex.h"

// rows x columns quads, two triangles each, over a grid of (columns + 1) vertices per row.
void GenerateGridIndices(uint32_t* out, uint32_t base, int columns, int rows);
// (rows + 1) x (columns + 1) vertices: a flat square of half-edge `size` at y = `height`, or with
// `wrap` a tube of radius `size` around y.
void GenerateGridVertices(SimpleVertex* out, int columns, int rows, float size, float height,
                          const Matrix4x4* transform, bool wrap);
// A centre and a ring of `segments` vertices on the unit circle at height y.
void GenerateCapVertices(SimpleVertex* out, int segments, float y, bool reversed);
void GenerateCapIndices(uint32_t* out, uint32_t centre, int segments);

void GenerateCube(std::vector<SimpleVertex>& vertices, std::vector<uint32_t>& indices, int n);
void GenerateSphere(std::vector<SimpleVertex>& vertices, std::vector<uint32_t>& indices, int n);
void GenerateCylinder(std::vector<SimpleVertex>& vertices, std::vector<uint32_t>& indices,
                      int around, int along, bool caps);
