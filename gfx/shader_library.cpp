#include "gfx/shader_library.h"

#include "base/log.h"
#include "gfx/shader_file.h"

std::string ShaderSetName(const std::string& fileName) {
  std::string name = fileName;
  static const std::string kSuffix = ".bin";
  if (name.size() >= kSuffix.size() &&
      name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0) {
    name.resize(name.size() - kSuffix.size());
  }
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

bool LoadShaderLibrary(ShaderLibrary& library, Draw::DrawContext* context, const DataRoots* roots,
                       const std::string& directory) {
  std::vector<FileInfo> entries;
  if (ListDirectory(directory, &entries, nullptr, 0) == 0) return false;
  for (const FileInfo& entry : entries) {
    if (entry.isDirectory) continue;
    if (Draw::ShaderModule* module = LoadShaderModule(context, roots, entry.fullName, nullptr)) {
      library[ShaderSetName(entry.name)].push_back(module);
    }
  }
  return true;
}

Draw::ShaderModule* LoadShaderModule(Draw::DrawContext* context, const DataRoots* roots,
                                     const std::string& path, Draw::ShaderStage* stage) {
  const int32_t language = context->GetShaderLanguage();
  // A file without INFO reads as a vertex stage, as its stage field would if it were zero.
  Draw::ShaderStage fileStage = Draw::VERTEX;
  const ShaderCode shader = ReadShaderFile(roots, path, language, &fileStage);
  if (shader.code.empty()) return nullptr;  // ReadShaderFile has said why, if anything.
  if (fileStage < Draw::VERTEX || fileStage > Draw::COMPUTE) {
    Log(LogLevel::Error, "Invalid shader stage %d in %s", static_cast<int>(fileStage),
        path.c_str());
    return nullptr;
  }
  if (stage != nullptr) *stage = fileStage;
  return context->CreateShaderModule(fileStage, language, shader.code.data(), shader.code.size(),
                                     shader.samplers);
}

std::vector<Draw::ShaderModule*> GetShaderSet(const ShaderLibrary& library,
                                              const std::string& name) {
  const auto found = library.find(name);
  if (found == library.end()) return {};
  return found->second;
}

Draw::ShaderModule* GetShader(const ShaderLibrary& library, const std::string& name,
                              Draw::ShaderStage stage) {
  const auto found = library.find(name);
  if (found == library.end()) return nullptr;
  for (Draw::ShaderModule* module : found->second) {
    if (module->GetStage() == stage) return module;
  }
  return nullptr;
}

std::vector<Draw::ShaderModule*> MakeShaderPair(const ShaderLibrary& library,
                                                const std::string& vertexSetName,
                                                const std::string& fragmentSetName) {
  return {GetShader(library, vertexSetName, Draw::VERTEX),
          GetShader(library, fragmentSetName, Draw::FRAGMENT)};
}

void ClearShaderLibrary(ShaderLibrary& library) {
  for (auto& [name, modules] : library) {
    for (Draw::ShaderModule* module : modules) delete module;
  }
  library.clear();
}
