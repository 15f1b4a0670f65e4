#pragma once
#include <cstdint>

// Corners 0..7 sit at (0,0,0) (1,0,0) (1,1,0) (0,1,0) (0,0,1) (1,0,1) (1,1,1) (0,1,1).
// Edges 0..11 join the corner pairs below.
inline constexpr uint8_t kEdgeCorners[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                                {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

extern const uint16_t kEdgeTable[256];
extern const int8_t kTriTable[256][16];

// Entry c: number of triangle-table entries of case c before its terminating -1.
const uint8_t* VertexCountTable();
