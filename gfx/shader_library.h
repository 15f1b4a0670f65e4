#pragma once
// The shader library: every shader file of a directory made into shader modules for the drawing
// context, grouped into sets by file name. solid.vs.bin and solid.fs.bin both belong to the set
// "solid"; pipelines take their stages from one set, or the vertex stage of one set and the
// fragment stage of another.
#include <map>
#include <string>
#include <vector>

#include "file/file_util.h"
#include "gfx/draw_context.h"

// Set name -> modules in the order they were loaded. The library owns the modules: release them
// with ClearShaderLibrary while the context is still alive.
using ShaderLibrary = std::map<std::string, std::vector<Draw::ShaderModule*>>;

// The set a file belongs to: the name without a final ".bin", cut at its last ".".
std::string ShaderSetName(const std::string& fileName);

// Loads every regular file of directory (the directory itself is listed, not the data roots; the
// files are then opened through the roots). Files that are not shader files, or that have no
// code for the context's language or do not compile, add nothing. False when the listing found
// nothing.
bool LoadShaderLibrary(ShaderLibrary& library, Draw::DrawContext* context, const DataRoots* roots,
                       const std::string& directory);

// One shader file made into a module for the context's language; null when the file is missing,
// not a shader file, has no code for the language, names an unknown stage or does not compile.
// stage (when given) receives the file's stage.
Draw::ShaderModule* LoadShaderModule(Draw::DrawContext* context, const DataRoots* roots,
                                     const std::string& path, Draw::ShaderStage* stage);

// A copy of the set's modules; empty when there is no such set.
std::vector<Draw::ShaderModule*> GetShaderSet(const ShaderLibrary& library,
                                              const std::string& name);

// The set's first module of the stage; null when the set or the stage is missing.
Draw::ShaderModule* GetShader(const ShaderLibrary& library, const std::string& name,
                              Draw::ShaderStage stage);

// {vertex module of vertexSetName, fragment module of fragmentSetName}; either may be null.
std::vector<Draw::ShaderModule*> MakeShaderPair(const ShaderLibrary& library,
                                                const std::string& vertexSetName,
                                                const std::string& fragmentSetName);

// Deletes every module and empties the library.
void ClearShaderLibrary(ShaderLibrary& library);
