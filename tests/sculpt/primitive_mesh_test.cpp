#include <gtest/gtest.h>

#include <cmath>

#include "sculpt/primitive_mesh.h"

namespace {

Vec3 Position(const SimpleVertex& v) { return {v.position[0], v.position[1], v.position[2]}; }

void ExpectNear(Vec3 a, Vec3 b, const char* what) {
  EXPECT_NEAR(a.x, b.x, 1e-5f) << what;
  EXPECT_NEAR(a.y, b.y, 1e-5f) << what;
  EXPECT_NEAR(a.z, b.z, 1e-5f) << what;
}

TEST(PrimitiveMesh, CubeFacesSitOnTheUnitCube) {
  std::vector<SimpleVertex> v;
  std::vector<uint32_t> i;
  GenerateCube(v, i, 1);
  ASSERT_EQ(v.size(), 24u);
  ASSERT_EQ(i.size(), 36u);
  const Vec3 top[4] = {{-1, 1, 1}, {1, 1, 1}, {-1, 1, -1}, {1, 1, -1}};
  const float uv[4][2] = {{1, 0}, {0, 0}, {1, 1}, {0, 1}};
  for (int k = 0; k < 4; ++k) {
    ExpectNear(Position(v[16 + k]), top[k], "top face");
    EXPECT_EQ(v[16 + k].uv[0], uv[k][0]);
    EXPECT_EQ(v[16 + k].uv[1], uv[k][1]);
  }
  EXPECT_EQ(std::vector<uint32_t>(i.begin() + 24, i.begin() + 30),
            (std::vector<uint32_t>{16, 17, 19, 16, 19, 18}));
  // Every face: four corners at (+-1, +-1, +-1), a unit normal pointing out of the cube, and
  // triangles wound so that (b - a) x (c - a) points along that normal.
  for (int f = 0; f < 6; ++f) {
    Vec3 n{v[4 * f].normal[0], v[4 * f].normal[1], v[4 * f].normal[2]};
    Vec3 centre{0, 0, 0};
    for (int k = 0; k < 4; ++k) {
      Vec3 p = Position(v[4 * f + k]);
      for (float c : {p.x, p.y, p.z}) EXPECT_NEAR(std::fabs(c), 1.0f, 1e-5f);
      centre = centre + p * 0.25f;
      EXPECT_EQ(v[4 * f + k].color, 0xFFFFFFFFu);
    }
    ExpectNear(n, centre, "face normal");
    Vec3 a = Position(v[i[6 * f]]), b = Position(v[i[6 * f + 1]]), c = Position(v[i[6 * f + 2]]);
    EXPECT_GT(Dot(Cross(b - a, c - a), n), 0.0f) << "face " << f;
  }
}

TEST(PrimitiveMesh, SphereIsTheCubePushedOntoTheUnitSphere) {
  std::vector<SimpleVertex> v;
  std::vector<uint32_t> i;
  GenerateSphere(v, i, 8);
  ASSERT_EQ(v.size(), 486u);
  ASSERT_EQ(i.size(), 2304u);
  for (const SimpleVertex& s : v) {
    Vec3 p = Position(s);
    EXPECT_NEAR(Length(p), 1.0f, 1e-6f);
    ExpectNear({s.normal[0], s.normal[1], s.normal[2]}, p, "normal");
  }
}

TEST(PrimitiveMesh, CylinderSideSeamAndCaps) {
  std::vector<SimpleVertex> v;
  std::vector<uint32_t> i;
  GenerateCylinder(v, i, 32, 1, true);
  ASSERT_EQ(v.size(), 132u);
  ASSERT_EQ(i.size(), 384u);
  ExpectNear(Position(v[0]), {1, -1, 0}, "first side vertex");
  ExpectNear(Position(v[32]), {std::cos(6.2831855f), -1, std::sin(6.2831855f)}, "seam");
  ExpectNear(Position(v[33]), {1, 1, 0}, "second row");
  EXPECT_EQ(v[1].uv[0], (1.0f - 1.0f / 32.0f) * 3.0f);  // u repeats three times around
  ExpectNear(Position(v[66]), {0, 1, 0}, "top centre");
  ExpectNear({v[66].normal[0], v[66].normal[1], v[66].normal[2]}, {0, -1, 0}, "top normal");
  ExpectNear(Position(v[99]), {0, -1, 0}, "bottom centre");
  ExpectNear({v[99].normal[0], v[99].normal[1], v[99].normal[2]}, {0, 1, 0}, "bottom normal");
  const float a31 = (31.0f / 32.0f) * 2.0f * 3.1415927f;
  ExpectNear(Position(v[100]), {std::cos(a31), -1, std::sin(a31)}, "reversed ring");
  for (size_t k = 0; k < 66; ++k) EXPECT_EQ(v[k].color, 0xFFFFFFFFu);
  for (size_t k = 66; k < 132; ++k) EXPECT_EQ(v[k].color, 0u);
  // The top fan: (66 + i, 66 + i % 32 + 1, 66).
  EXPECT_EQ(i[192], 67u);
  EXPECT_EQ(i[193], 68u);
  EXPECT_EQ(i[194], 66u);
  EXPECT_EQ(i[192 + 31 * 3 + 1], 67u);  // the last triangle closes the ring
  for (uint32_t index : i) EXPECT_LT(index, 132u);
}

}  // namespace
