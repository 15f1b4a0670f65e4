#pragma once
// The built-in test scenes, as the operation records that build them.
#include <string_view>
#include <vector>

#include "base/math_types.h"
#include "sculpt/sculpt_op.h"

class SculptDocument;

// Names of the scenes, for listings: "materials", "default", "marble".
extern const std::string_view kTestSceneNames[3];
bool IsTestScene(std::string_view name);

// Mirror mode's reflection across the grid's middle plane: x -> 192 - x in grid samples.
Matrix4x4 GridMiddleMirror();

// The clearing record (all channels) followed by the named scene's records; an unknown name gives
// only the clearing record. "default" also sets *mirrorMatrix, to the grid's middle mirror, when
// it is given.
std::vector<SculptOp> TestSceneRecords(std::string_view name, Matrix4x4* mirrorMatrix = nullptr);

// Replaces the sculpture by the scene: the log is emptied and every record applied (and logged).
// A running replay is left alone.
void BuildTestScene(SculptDocument& document, std::string_view name,
                    Matrix4x4* mirrorMatrix = nullptr);
