#include "sculpt/test_scenes.h"

#include "sculpt/sculpt_document.h"
#include "sculpt/stamp_mode.h"
#include "sculpt/voxel_grid.h"

const std::string_view kTestSceneNames[3] = {"materials", "default", "marble"};

namespace {

SculptOp Record(int type, int mode, float radius, Matrix4x4 matrix, float red, float green,
                float blue, float roughness, float metalness) {
  SculptOp op;
  op.type = type;
  op.mode = mode;
  op.radius = radius;
  op.matrix = matrix;
  op.red = red, op.green = green, op.blue = blue;
  op.roughness = roughness, op.metalness = metalness;
  op.channelMask = kAllChannels;
  return op;
}

float ClampUnitTop(float v) { return v >= 1.0f ? 1.0f : (v > 0.0f ? v : 0.0f); }

// 512 spheres on an 8x8x8 lattice: roughness grows along x, hue runs blue-green-red along y, the
// far half in z is metallic.
void AppendMaterials(std::vector<SculptOp>& ops) {
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j)
      for (int k = 0; k < 8; ++k) {
        float h = (float(j) / 7.0f) * 2.1f;
        float red = ClampUnitTop(1.0f - (h - 1.8f) * (h - 1.8f));
        float green = ClampUnitTop(1.0f - (h - 1.14f) * (h - 1.14f));
        float blue = ClampUnitTop(1.0f - (h - 0.3f) * (h - 0.3f));
        Vec3 centre{48.0f + 12.0f * float(i), 48.0f + 12.0f * float(j), 48.0f + 12.0f * float(k)};
        ops.push_back(Record(kOpSphere, kStampAdd, 96.0f / 13.0f, Matrix4x4::Translation(centre),
                             red, green, blue, float(i) / 7.0f, k >= 4 ? 1.0f : 0.0f));
      }
}

void AppendDefault(std::vector<SculptOp>& ops, Matrix4x4* mirrorMatrix) {
  ops.push_back(Record(kOpSphere, kStampAdd, 32.0f, Matrix4x4::Translation({48, 96, 96}), 0.02f,
                       0.02f, 1.0f, 0.2f, 0.0f));
  ops.push_back(Record(kOpSphere, kStampSubtract, 32.0f, Matrix4x4::Translation({96, 96, 96}), 0.4f,
                       0.02f, 0.02f, 1.0f, 0.0f));
  // The scene's mirror was once x -> -x, which sent every mirrored stamp outside the grid: mirror
  // mode then silently did nothing. It mirrors about the middle plane as before any scene.
  if (mirrorMatrix) *mirrorMatrix = GridMiddleMirror();
  Matrix4x4 rotation;
  RotationFromAngles(rotation, 0.1f, 43.0f, 0.23f);
  Matrix4x4 box = rotation * Matrix4x4::Scale({19.2f, 19.2f, 19.2f}) *
                  Matrix4x4::Translation({96, 96, 96});
  ops.push_back(Record(kOpBox, kStampAdd, 32.0f, box, 1.022f, 0.782f, 0.344f, 0.1f, 1.0f));
}

void AppendMarble(std::vector<SculptOp>& ops) {
  Matrix4x4 cube = Matrix4x4::Scale({48, 48, 48}) * Matrix4x4::Translation({96, 48, 96});
  ops.push_back(Record(kOpBox, kStampAdd, 32.0f, cube, 0.95f, 0.98f, 1.0f, 0.1f, 0.0f));
}

}  // namespace

Matrix4x4 GridMiddleMirror() {
  return Matrix4x4::Scale({-1.0f, 1.0f, 1.0f}) *
         Matrix4x4::Translation({float(kGridSize), 0.0f, 0.0f});
}

bool IsTestScene(std::string_view name) {
  for (std::string_view scene : kTestSceneNames)
    if (name == scene) return true;
  return false;
}

std::vector<SculptOp> TestSceneRecords(std::string_view name, Matrix4x4* mirrorMatrix) {
  std::vector<SculptOp> ops;
  SculptOp clear;
  clear.type = kOpClear;
  clear.channelMask = kAllChannels;
  ops.push_back(clear);
  if (name == "materials") AppendMaterials(ops);
  else if (name == "default") AppendDefault(ops, mirrorMatrix);
  else if (name == "marble") AppendMarble(ops);
  return ops;
}

void BuildTestScene(SculptDocument& document, std::string_view name, Matrix4x4* mirrorMatrix) {
  std::vector<SculptOp> ops = TestSceneRecords(name, mirrorMatrix);
  document.BeginReplacingUnit();
  document.ClearOperationLog();
  document.ApplyOperations(ops);
  document.EndUnit();
}
