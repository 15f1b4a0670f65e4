// The shader sources against the layout the application writes: every member of the two
// constant blocks at its byte offset, both blocks 384 bytes at their bindings, every sampler at
// its texture unit. The offsets are taken from Debian's glslangValidator, which lays out std140
// blocks as any driver must.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <string>

namespace {

struct Reflection {
  std::map<std::string, int> memberOffsets;  // "Block.member" -> byte offset
  std::map<std::string, std::pair<int, int>> blocks;  // name -> (size, binding)
  std::map<std::string, int> samplerBindings;
  bool linked = false;
  std::string output;
};

Reflection Reflect(const std::string& vertexSource, const std::string& fragmentSource) {
  Reflection reflection;
  const std::string command = std::string(GLSLANG_VALIDATOR) +
                              " -l -q --reflect-all-block-variables '" + vertexSource + "' '" +
                              fragmentSource + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return reflection;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) reflection.output.append(buffer, n);
  reflection.linked = pclose(pipe) == 0;

  // Lines such as "SceneConstants.tint: offset 304, type 8b52, size 1, index 0, binding -1".
  static const std::regex kMember(
      R"(^(\w+\.[\w.\[\]]+): offset (-?\d+), type \w+, size \d+, index \d+, binding -1)");
  static const std::regex kBlock(
      R"(^(\w+): offset -1, type ffffffff, size (\d+), index \d+, binding (-?\d+))");
  // sampler2D (8b5e) and samplerCube (8b60).
  static const std::regex kSampler(
      R"(^(\w+): offset -1, type 8b(5e|60), size 1, index -1, binding (-?\d+))");
  size_t start = 0;
  while (start < reflection.output.size()) {
    size_t end = reflection.output.find('\n', start);
    if (end == std::string::npos) end = reflection.output.size();
    const std::string line = reflection.output.substr(start, end - start);
    start = end + 1;
    std::smatch match;
    if (std::regex_search(line, match, kMember)) {
      reflection.memberOffsets[match[1]] = std::stoi(match[2]);
    } else if (std::regex_search(line, match, kBlock)) {
      reflection.blocks[match[1]] = {std::stoi(match[2]), std::stoi(match[3])};
    } else if (std::regex_search(line, match, kSampler)) {
      reflection.samplerBindings[match[1]] = std::stoi(match[3]);
    }
  }
  return reflection;
}

// What the application writes where (scene constants) and what each point light holds.
const std::map<std::string, int> kExpectedOffsets = {
    {"SceneConstants.projection", 0},
    {"SceneConstants.view", 64},
    {"SceneConstants.model", 128},
    {"SceneConstants.eyePosition", 192},
    {"SceneConstants.environmentIntensity", 204},
    {"SceneConstants.clearColor", 208},
    {"SceneConstants.sunDirection", 240},
    {"SceneConstants.ambientColor", 272},
    {"SceneConstants.pointLightSlots", 288},
    {"SceneConstants.tint", 304},
    {"SceneConstants.specularF0", 336},
    {"SceneConstants.roughness", 352},
    {"SceneConstants.dielectricF0", 356},
    {"SceneConstants.pickerHsv", 368},
    {"LightConstants.pointLights[0].positionRange", 0},
    {"LightConstants.pointLights[0].color", 16},
    {"LightConstants.pointLights[1].positionRange", 32},
    {"LightConstants.pointLights[3].color", 112},
};

const std::map<std::string, int> kExpectedSamplers = {
    {"baseTexture", 0}, {"environmentMap", 1}, {"floorTexture", 2}};

TEST(ShaderContractTest, BlocksAndSamplersSitWhereTheApplicationPutsThem) {
  const std::string dir = LOOMWORK_SHADER_SOURCE_DIR "/";
  const std::pair<const char*, const char*> pipelines[] = {
      {"solid.vert", "solid.frag"},         {"solidiso.vert", "solidiso.frag"},
      {"simpletex.vert", "simpletex.frag"}, {"simpletex.vert", "colorpicker.frag"},
      {"cubesky.vert", "cubesky.frag"},
  };
  for (const auto& [vertex, fragment] : pipelines) {
    SCOPED_TRACE(std::string(vertex) + " + " + fragment);
    const Reflection reflection = Reflect(dir + vertex, dir + fragment);
    ASSERT_TRUE(reflection.linked) << reflection.output;

    ASSERT_EQ(reflection.blocks.count("SceneConstants"), 1u) << reflection.output;
    EXPECT_EQ(reflection.blocks.at("SceneConstants"), std::make_pair(384, 0));
    if (reflection.blocks.count("LightConstants") != 0) {
      EXPECT_EQ(reflection.blocks.at("LightConstants"), std::make_pair(384, 1));
    }
    for (const auto& [name, offset] : reflection.memberOffsets) {
      const auto expected = kExpectedOffsets.find(name);
      if (expected != kExpectedOffsets.end()) {
        EXPECT_EQ(offset, expected->second) << name;
      } else {
        // Anything else is padding the application leaves at zero, or the rest of an array.
        EXPECT_TRUE(name.find(".reserved") != std::string::npos ||
                    name.find("pointLights") != std::string::npos)
            << name << " is not part of the contract";
      }
    }
    for (const auto& [name, offset] : kExpectedOffsets) {
      if (name.rfind("SceneConstants.", 0) == 0) {
        EXPECT_EQ(reflection.memberOffsets.count(name), 1u) << name;
      }
    }
    for (const auto& [name, binding] : reflection.samplerBindings) {
      ASSERT_EQ(kExpectedSamplers.count(name), 1u) << "unexpected sampler " << name;
      EXPECT_EQ(binding, kExpectedSamplers.at(name)) << name;
    }
  }
}

}  // namespace
