#pragma once
// Names of the Lua globals the panel script and the application share. They live only in the
// Lua state; the application reads them through ScriptHost whenever it needs them.

namespace ScriptGlobals {

// string: "Add", "Subtract", "Paint", "Dropper", "Buff", "Sandpaper" (anything else is "Add")
inline constexpr const char* kTool = "tool";
// string: "Sphere", "Box", "Cylinder" (anything else is "Sphere")
inline constexpr const char* kToolShape = "toolShape";
inline constexpr const char* kDrawSize = "drawSize";  // number: brush size in metres
// numbers 0..1: paint colour, also as hue, saturation, value for the colour picker
inline constexpr const char* kMaterialR = "material_r";
inline constexpr const char* kMaterialG = "material_g";
inline constexpr const char* kMaterialB = "material_b";
inline constexpr const char* kMaterialH = "material_h";
inline constexpr const char* kMaterialS = "material_s";
inline constexpr const char* kMaterialV = "material_v";
inline constexpr const char* kMaterialMetalness = "material_metalness";
inline constexpr const char* kMaterialRoughness = "material_roughness";
inline constexpr const char* kFloorSize = "floorsize";  // number: floor size
inline constexpr const char* kLightEnv = "light_env";   // integer: 0 night, 1 day
// integer: 1 mirrors every stroke through the mirror matrix, 0 does not
inline constexpr const char* kMirror = "mirror";
// Set by the application every frame for the panel's status line.
inline constexpr const char* kFrameRate = "frame_rate";  // number: frames a second, smoothed
inline constexpr const char* kTriangles = "triangles";   // integer: the sculpture's triangles
// A question the panel shows in place of its tools while it is not empty (set by the
// application), its choices separated by "|", and the choice clicked (set by the script).
inline constexpr const char* kQuestion = "question";
inline constexpr const char* kQuestionChoices = "question_choices";
inline constexpr const char* kQuestionAnswer = "question_answer";
// integer: the panel's slot, 1 to 4
inline constexpr const char* kSlot = "slot";
// Set by the application every frame: whether the sculpture holds work no file holds (integer
// 1 or 0), the file it was loaded from or saved to ("" for none) and its name for people
// ("slot 2", "marble.sculpt"), and a notice for the status line ("" for none).
inline constexpr const char* kUnsaved = "unsaved";
inline constexpr const char* kDocumentPath = "document_path";
inline constexpr const char* kDocumentName = "document_name";
inline constexpr const char* kNotice = "notice";
// Requests the panel answers, asking first about unsaved work: quitting (integer 1, answered
// with quit_confirmed = 1) and opening a file dropped on the window (its path).
inline constexpr const char* kQuitRequested = "quit_requested";
inline constexpr const char* kQuitConfirmed = "quit_confirmed";
inline constexpr const char* kDroppedFile = "dropped_file";

}  // namespace ScriptGlobals
