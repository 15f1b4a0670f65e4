#pragma once
// Shader files: one shader stage in one or more shader languages, each with the texture samplers
// its code expects, in a chunked file:
//
//   UNIS
//     INFO  string name ("Untitled"), int stage
//     DATA
//       <language code as the tag>  one per language present
//         META  int n, then n x {string sampler name, int texture unit}
//         CODE  string source
//
// The build packs them; the program only reads them. Readers look their language up by tag, so
// the order of the language chunks carries no meaning.
#include <cstdint>
#include <string>
#include <vector>

#include "file/file_util.h"
#include "gfx/draw_context.h"

// One language's variant of a stage.
struct ShaderCode {
  std::string code;
  std::vector<Draw::SamplerBinding> samplers;
};

// The record WriteShaderFile takes.
struct UnishaderData {
  std::string name;
  Draw::ShaderStage stage = Draw::VERTEX;
  // By language, in the order 1, (an entry no language selects), 16, 128, 2048, 4096, 8; see
  // UnishaderLanguageIndex.
  ShaderCode languages[7];
};

// Index into UnishaderData::languages for a language code; -1 for any other value.
int UnishaderLanguageIndex(int32_t language);

// Parses one file. Messages: "Could not open %s" when it cannot be read, "Not a shader file %s"
// without the UNIS chunk; both give an empty result. A file without code for the language gives
// empty code without a message. stage (when given) receives the file's stage, or is left as it
// was when the file has no INFO chunk. Hostile files cannot make it read outside the file.
ShaderCode ReadShaderFile(const DataRoots* roots, const std::string& path, int32_t language,
                          Draw::ShaderStage* stage);

// Writes the language chunks in the order 128, 4096, 2048, 16, 8, 1, leaving out every language
// whose code is empty. False (logged by the chunk file) when the file cannot be created.
bool WriteShaderFile(const DataRoots* roots, const std::string& path, const UnishaderData& record);
