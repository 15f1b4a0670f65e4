#include <gtest/gtest.h>

#include <cmath>

#include "base/math_types.h"

namespace {

void ExpectMatrixNear(const Matrix4x4& a, const Matrix4x4& b, float tolerance) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], tolerance) << "element " << i;
}

TEST(MathTypes, TransformsUseTheFourthRowAsTranslation) {
  Matrix4x4 m = Matrix4x4::Translation({10, 20, 30});
  Vec3 p = TransformPoint(m, {1, 2, 3});
  EXPECT_EQ(p.x, 11);
  EXPECT_EQ(p.y, 22);
  EXPECT_EQ(p.z, 33);
  Vec3 v = TransformVector(m, {1, 2, 3});
  EXPECT_EQ(v.x, 1);
  EXPECT_EQ(v.z, 3);
  m.m[3] = 2;  // w' = 2x + 1
  EXPECT_EQ(TransformVec4(m, {1, 2, 3}).w, 3);
}

TEST(MathTypes, ProductAppliesTheLeftMatrixFirst) {
  Matrix4x4 scaleThenMove = Matrix4x4::Scale({2, 2, 2}) * Matrix4x4::Translation({1, 0, 0});
  EXPECT_EQ(TransformPoint(scaleThenMove, {1, 1, 1}).x, 3);
  Matrix4x4 viaAppend = Matrix4x4::Identity();
  AppendScaleTranslate(viaAppend, {1, 0, 0}, {2, 2, 2});
  ExpectMatrixNear(viaAppend, scaleThenMove, 0);
}

TEST(MathTypes, InvertMatrix) {
  Matrix4x4 out = Matrix4x4::Translation({5, 5, 5});
  const Matrix4x4 before = out;
  EXPECT_FALSE(InvertMatrix(Matrix4x4{}, out));
  ExpectMatrixNear(out, before, 0);
  ASSERT_TRUE(InvertMatrix(Matrix4x4::Identity(), out));
  ExpectMatrixNear(out, Matrix4x4::Identity(), 0);

  Matrix4x4 rotation;
  RotationFromAngles(rotation, 0.3f, 1.1f, -0.7f);
  Matrix4x4 m = rotation * Matrix4x4::Scale({3, 4, 5}) * Matrix4x4::Translation({7, 8, 9});
  ASSERT_TRUE(InvertMatrix(m, out));
  ExpectMatrixNear(m * out, Matrix4x4::Identity(), 1e-5f);
}

TEST(MathTypes, RotationFromAnglesIsRyRxRz) {
  Matrix4x4 r;
  RotationFromAngles(r, 0, 0, float(M_PI / 2));  // z quarter turn: x -> y
  Vec3 p = TransformPoint(r, {1, 0, 0});
  EXPECT_NEAR(p.y, 1, 1e-6f);
  RotationFromAngles(r, 0, float(M_PI / 2), 0);  // y quarter turn: x -> -z
  EXPECT_NEAR(TransformPoint(r, {1, 0, 0}).z, -1, 1e-6f);
  RotationFromAngles(r, float(M_PI / 2), 0, 0);  // x quarter turn: y -> z
  EXPECT_NEAR(TransformPoint(r, {0, 1, 0}).z, 1, 1e-6f);

  // All three at once: a row vector turns about y first, then x, then z. Any other order of the
  // product moves this point elsewhere.
  Matrix4x4 ry, rx, rz;
  RotationFromAngles(ry, 0, 0.7f, 0);
  RotationFromAngles(rx, 0.4f, 0, 0);
  RotationFromAngles(rz, 0, 0, 1.2f);
  RotationFromAngles(r, 0.4f, 0.7f, 1.2f);
  const Vec3 v = {0.3f, -0.8f, 0.5f};
  const Vec3 expected = TransformPoint(rz, TransformPoint(rx, TransformPoint(ry, v)));
  const Vec3 got = TransformPoint(r, v);
  EXPECT_NEAR(got.x, expected.x, 1e-6f);
  EXPECT_NEAR(got.y, expected.y, 1e-6f);
  EXPECT_NEAR(got.z, expected.z, 1e-6f);
}

TEST(MathTypes, LookAtFallsBackWhenUpIsParallel) {
  Matrix4x4 m;
  SetLookAt(m, {0, 0, 0}, {0, 0, 5}, {0, 1, 0});
  EXPECT_NEAR(m.m[5], 1, 1e-6f);  // u = (0, 1, 0)
  EXPECT_NEAR(m.m[10], 1, 1e-6f);  // f = (0, 0, 1)
  SetLookAt(m, {0, 0, 0}, {0, 0, 5}, {0, 0, 1});  // up parallel: falls back to (0, 1, 0)
  EXPECT_NEAR(m.m[5], 1, 1e-6f);
  SetLookAt(m, {0, 0, 0}, {0, 3, 0}, {0, 1, 0});  // both parallel: (0, 0, 1)
  EXPECT_NEAR(m.m[9], 1, 1e-6f);
  Matrix4x4 unchanged = Matrix4x4::Translation({1, 2, 3});
  SetLookAt(unchanged, {0, 0, 0}, {0, 0, 0}, {0, 0, 0});
  EXPECT_EQ(unchanged.m[12], 1);
  SetLookAt(m, {1, 2, 3}, {1, 2, 10}, {0, 1, 0});
  Vec3 eye = TransformPoint(m, {1, 2, 3});
  EXPECT_NEAR(Length(eye), 0, 1e-6f);

  // Off the axes: columns r = u x f, u, f, and the fourth row moves the eye to the origin.
  const Vec3 from = {2, 1, -3}, to = {-1, 4, 2};
  SetLookAt(m, from, to, {0.2f, 1, 0.1f});
  const Vec3 f = (to - from) * (1.0f / Length(to - from));
  const Vec3 u = {m.m[1], m.m[5], m.m[9]};
  const Vec3 r = {m.m[0], m.m[4], m.m[8]};
  const Vec3 cross = Cross(u, f);
  EXPECT_NEAR(r.x, cross.x, 1e-6f);
  EXPECT_NEAR(r.y, cross.y, 1e-6f);
  EXPECT_NEAR(r.z, cross.z, 1e-6f);
  EXPECT_NEAR(m.m[2], f.x, 1e-6f);
  EXPECT_NEAR(Dot(u, f), 0, 1e-6f);
  EXPECT_NEAR(Length(TransformPoint(m, from)), 0, 1e-5f);
  EXPECT_NEAR(TransformPoint(m, from + r).x, 1, 1e-5f);  // one step right is +1 in x
}

TEST(MathTypes, ProjectionsAndPlanes) {
  Matrix4x4 p;
  SetPerspective(p, 0.1f, 100, 90, 2);  // the ratio divides the y scale only
  EXPECT_NEAR(p.m[0], 1, 1e-6f);
  EXPECT_NEAR(p.m[5], 0.5f, 1e-6f);
  EXPECT_NEAR(p.m[10], -100.1f / 99.9f, 1e-6f);
  EXPECT_NEAR(p.m[14], -20.0f / 99.9f, 1e-6f);
  EXPECT_EQ(p.m[11], -1);
  EXPECT_EQ(p.m[15], 0);
  SetOrtho(p, -2, 2, -1, 1, 0, 10);
  EXPECT_EQ(p.m[0], 0.5f);
  EXPECT_EQ(p.m[10], 0.2f);
  EXPECT_EQ(p.m[14], -1);
  SetOrtho(p, 1, 5, 2, 4, 2, 6);  // off-centre: the fourth row translates
  EXPECT_EQ(p.m[12], -1.5f);
  EXPECT_EQ(p.m[13], -3.0f);
  EXPECT_EQ(p.m[14], -2.0f);
  EXPECT_EQ(p.m[15], 1.0f);
  Vec4 planes[6];
  ExtractFrustumPlanes(Matrix4x4::Identity(), planes);
  EXPECT_EQ(planes[0].x, 1);  // column 3 + column 0 = (1, 0, 0, 1)
  EXPECT_EQ(planes[0].w, 1);
  EXPECT_EQ(planes[1].x, -1);
}

TEST(MathTypes, ColorToRGBA8AndMatrixToString) {
  EXPECT_EQ(ColorToRGBA8({1.5f, 0.5f, -1, 1}), 0xFF007FFFu);
  char small[16];
  MatrixToString(Matrix4x4::Identity(), small, sizeof(small));
  EXPECT_EQ(std::string(small), "1.000000 0.0000");
  char full[256];
  MatrixToString(Matrix4x4::Identity(), full, sizeof(full));
  EXPECT_EQ(std::string(full).substr(0, 36), "1.000000 0.000000 0.000000 0.000000\n");
}

TEST(MathTypes, BoundsResetThenExtend) {
  Bounds3 b;
  b.Reset();
  EXPECT_TRUE(std::isinf(b.min.x) && b.min.x > 0);
  b.Extend({1, -2, 3});
  b.Extend({-1, 2, 0});
  EXPECT_EQ(b.min.x, -1);
  EXPECT_EQ(b.max.y, 2);
  EXPECT_EQ(b.min.z, 0);
}

}  // namespace
