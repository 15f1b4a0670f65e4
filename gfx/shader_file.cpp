#include "gfx/shader_file.h"

#include "base/log.h"
#include "file/chunk_file.h"

namespace {

constexpr uint32_t kTagUnis = 'UNIS';
constexpr uint32_t kTagInfo = 'INFO';
constexpr uint32_t kTagData = 'DATA';
constexpr uint32_t kTagMeta = 'META';
constexpr uint32_t kTagCode = 'CODE';

// Order in which WriteShaderFile lays out the languages.
constexpr int32_t kWriteOrder[] = {Draw::SHADER_LANGUAGE_128, Draw::GLSL_450,
                                   Draw::SHADER_LANGUAGE_2048, Draw::SHADER_LANGUAGE_16,
                                   Draw::SHADER_LANGUAGE_8, Draw::SHADER_LANGUAGE_1};

// The smallest sampler binding on disk: an empty name (its length) and the unit.
constexpr int32_t kMinBindingBytes = 8;

std::vector<Draw::SamplerBinding> ReadSamplerBindings(ChunkFile& file) {
  // The count comes from the file: never trust it beyond what the chunk can hold, or a few
  // hostile bytes would make us reserve gigabytes.
  const int32_t roomForBindings = (file.GetCurrentChunkLength() - 4) / kMinBindingBytes;
  int32_t count = file.ReadInt();
  if (count < 0) count = 0;
  if (count > roomForBindings) count = roomForBindings > 0 ? roomForBindings : 0;
  std::vector<Draw::SamplerBinding> bindings(static_cast<size_t>(count));
  for (Draw::SamplerBinding& binding : bindings) {
    binding.name = file.ReadString();
    binding.unit = file.ReadInt();
  }
  return bindings;
}

}  // namespace

int UnishaderLanguageIndex(int32_t language) {
  switch (language) {
    case Draw::SHADER_LANGUAGE_1: return 0;
    case Draw::SHADER_LANGUAGE_16: return 2;
    case Draw::SHADER_LANGUAGE_128: return 3;
    case Draw::SHADER_LANGUAGE_2048: return 4;
    case Draw::GLSL_450: return 5;
    case Draw::SHADER_LANGUAGE_8: return 6;
    default: return -1;
  }
}

ShaderCode ReadShaderFile(const DataRoots* roots, const std::string& path, int32_t language,
                          Draw::ShaderStage* stage) {
  ShaderCode result;
  ChunkFile file(roots, path, true);
  if (file.Failed()) {
    Log(LogLevel::Error, "Could not open %s", path.c_str());
    return result;
  }
  if (!file.Descend(kTagUnis)) {
    Log(LogLevel::Error, "Not a shader file %s", path.c_str());
    return result;
  }
  // Without INFO the name and stage would be read from whatever chunk comes first.
  if (file.Descend(kTagInfo)) {
    file.ReadString();  // The name is not used.
    const int32_t fileStage = file.ReadInt();
    if (stage != nullptr) *stage = static_cast<Draw::ShaderStage>(fileStage);
    file.Ascend();
  }
  if (file.Descend(kTagData)) {
    if (file.Descend(static_cast<uint32_t>(language))) {
      if (file.Descend(kTagMeta)) {
        result.samplers = ReadSamplerBindings(file);
        file.Ascend();
      }
      if (file.Descend(kTagCode)) {
        result.code = file.ReadString();
        file.Ascend();
      }
      file.Ascend();
    }
    file.Ascend();
  }
  file.Ascend();
  return result;
}

bool WriteShaderFile(const DataRoots* roots, const std::string& path, const UnishaderData& record) {
  ChunkFile file(roots, path, false);
  if (file.Failed()) return false;  // The chunk file has logged it.
  file.Descend(kTagUnis);
  file.Descend(kTagInfo);
  file.WriteString("Untitled");
  file.WriteInt(record.stage);
  file.Ascend();
  file.Descend(kTagData);
  for (int32_t language : kWriteOrder) {
    const ShaderCode& entry = record.languages[UnishaderLanguageIndex(language)];
    if (entry.code.empty()) continue;
    file.Descend(static_cast<uint32_t>(language));
    file.Descend(kTagMeta);
    file.WriteInt(static_cast<int32_t>(entry.samplers.size()));
    for (const Draw::SamplerBinding& binding : entry.samplers) {
      file.WriteString(binding.name);
      file.WriteInt(binding.unit);
    }
    file.Ascend();
    file.Descend(kTagCode);
    file.WriteString(entry.code);
    file.Ascend();
    file.Ascend();
  }
  file.Ascend();
  file.Ascend();
  return true;
}
