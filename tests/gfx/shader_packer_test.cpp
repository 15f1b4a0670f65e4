// Runs the real loomwork-shader-packer and reads what it wrote with the program's own reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "gfx/shader_file.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_directory.h"

namespace {

struct PackerResult {
  int exitCode = -1;  // minus the signal number when the packer was killed
  std::string err;
};

PackerResult RunPacker(const std::vector<std::string>& args) {
  const ProcessResult run = RunProcess(LOOMWORK_SHADER_PACKER, args);
  return {run.exitCode, run.err};
}

class ShaderPackerTest : public ::testing::Test {
 protected:
  ShaderCode ReadPacked(const std::string& name, Draw::ShaderStage* stage) {
    return ReadShaderFile(nullptr, temp.File(name), Draw::GLSL_450, stage);
  }
  // Nothing but the requested outputs (and the packer's captured messages) in the directory.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(temp.Path())) {
      const std::string name = entry.path().filename().string();
      names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  TempDirectory temp;
};

TEST_F(ShaderPackerTest, UsageErrorsExitWithTwo) {
  temp.WriteFile("a.frag", "#version 450 core\nvoid main() {}\n");
  const std::string in = temp.File("a.frag");
  const std::string out = temp.File("a.bin");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {in, "-o", out},                              // no stage
      {"--stage", "fragment", "-o", out},           // no input
      {"--stage", "fragment", in},                  // no output
      {"--stage", "geometry", in, "-o", out},       // not a stage shader files are packed for
      {"--stage", "fragment", in, in, "-o", out},   // two inputs
      {"--stage", "fragment", in, "-o"},            // -o without a value
      {"--stage", "fragment", in, "-o", out, "--verbose"},
  };
  for (const auto& args : cases) {
    std::string joined;
    for (const std::string& arg : args) joined += arg + " ";
    SCOPED_TRACE(joined);
    const PackerResult result = RunPacker(args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Usage: loomwork-shader-packer"), std::string::npos) << result.err;
  }
  EXPECT_EQ(Files(), std::vector<std::string>{"a.frag"});
  EXPECT_EQ(RunPacker({"--help"}).exitCode, 0);
}

TEST_F(ShaderPackerTest, SamplersComeFromTheLayoutBindingsInDeclarationOrder) {
  const std::string source =
      "#version 450 core\n"
      "// uniform sampler2D commentedOut;\n"
      "/* layout(binding = 7) uniform sampler2D alsoCommentedOut; */\n"
      "layout(std140, binding = 0) uniform Block { vec4 tint; } block;\n"
      "layout(binding = 2) uniform sampler2D floorTexture;\n"
      "layout(binding=1)\n  uniform samplerCube environmentMap;\n"
      "layout(location = 0) in vec2 uv;\n"
      "layout(location = 0) out vec4 color;\n"
      "void main() {\n"
      "  color = texture(floorTexture, uv) + texture(environmentMap, vec3(uv, 1.0)) * block.tint;\n"
      "}\n";
  temp.WriteFile("two.frag", source);
  const PackerResult result = RunPacker(
      {"--stage", "fragment", temp.File("two.frag"), "-o", temp.File("two.fs.bin")});
  ASSERT_EQ(result.exitCode, 0) << result.err;

  Draw::ShaderStage stage = Draw::VERTEX;
  const ShaderCode packed = ReadPacked("two.fs.bin", &stage);
  EXPECT_EQ(stage, Draw::FRAGMENT);
  EXPECT_EQ(packed.code, source);
  ASSERT_EQ(packed.samplers.size(), 2u);
  EXPECT_EQ(packed.samplers[0].name, "floorTexture");
  EXPECT_EQ(packed.samplers[0].unit, 2);
  EXPECT_EQ(packed.samplers[1].name, "environmentMap");
  EXPECT_EQ(packed.samplers[1].unit, 1);
  // Only GLSL is packed.
  for (int32_t language : {1, 8, 16, 128, 2048}) {
    EXPECT_TRUE(ReadShaderFile(nullptr, temp.File("two.fs.bin"), language, nullptr).code.empty());
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"two.frag", "two.fs.bin"}));
}

TEST_F(ShaderPackerTest, IncludesAreExpandedForTheDriver) {
  temp.MakeDirectory("common");
  temp.WriteFile("common/inner.glsl", "const float kInner = 2.0;\n");
  temp.WriteFile("common/outer.glsl",
                 "#include \"inner.glsl\"\n"
                 "layout(binding = 1) uniform samplerCube environmentMap;\n");
  temp.WriteFile("sky.vert",
                 "#version 450 core\r\n"
                 "#extension GL_GOOGLE_include_directive : require\r\n"
                 "#include \"common/outer.glsl\"\r\n"
                 "void main() { gl_Position = vec4(kInner); }");
  const PackerResult result =
      RunPacker({"--stage", "vertex", temp.File("sky.vert"), "-o", temp.File("sky.vs.bin")});
  ASSERT_EQ(result.exitCode, 0) << result.err;

  Draw::ShaderStage stage = Draw::FRAGMENT;
  const ShaderCode packed = ReadPacked("sky.vs.bin", &stage);
  EXPECT_EQ(stage, Draw::VERTEX);
  // The extension line becomes an empty line, so the lines after it keep their numbers; each
  // included file is announced to the compiler as its own source string.
  EXPECT_EQ(packed.code,
            "#version 450 core\n"
            "\n"
            "#line 1 1  // common/outer.glsl\n"
            "#line 1 2  // inner.glsl\n"
            "const float kInner = 2.0;\n"
            "#line 2 1\n"
            "layout(binding = 1) uniform samplerCube environmentMap;\n"
            "#line 4 0\n"
            "void main() { gl_Position = vec4(kInner); }\n");
  ASSERT_EQ(packed.samplers.size(), 1u);
  EXPECT_EQ(packed.samplers[0].name, "environmentMap");
  EXPECT_EQ(packed.samplers[0].unit, 1);
}

TEST_F(ShaderPackerTest, FailuresExitWithOneAndLeaveNoFile) {
  struct Case {
    const char* what;
    std::string source;
    const char* message;
  };
  temp.WriteFile("loop.glsl", "#include \"loop.glsl\"\n");
  const Case cases[] = {
      {"sampler without a binding",
       "#version 450 core\nuniform sampler2D baseTexture;\nvoid main() {}\n",
       "sampler baseTexture has no layout(binding = N)"},
      {"binding on another declaration",
       "#version 450 core\nlayout(binding = 0) uniform B { vec4 v; } b;\nuniform sampler2D t;\n",
       "sampler t has no layout(binding = N)"},
      {"sampler array", "#version 450 core\nlayout(binding = 0) uniform sampler2D t[2];\n",
       "sampler array t"},
      {"one name, two units",
       "#version 450 core\nlayout(binding = 0) uniform sampler2D t;\n"
       "layout(binding = 1) uniform sampler2D t;\n",
       "sampler t is declared with two different bindings"},
      {"missing include", "#version 450 core\n#include \"nowhere.glsl\"\n", "cannot read"},
      {"include cycle", "#version 450 core\n#include \"loop.glsl\"\n", "includes nest deeper"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    temp.WriteFile("bad.frag", c.source);
    const PackerResult result =
        RunPacker({"--stage", "fragment", temp.File("bad.frag"), "-o", temp.File("bad.fs.bin")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(Files(), (std::vector<std::string>{"bad.frag", "loop.glsl"}));
  }

  const PackerResult missing = RunPacker(
      {"--stage", "fragment", temp.File("absent.frag"), "-o", temp.File("absent.fs.bin")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos) << missing.err;

  temp.WriteFile("good.frag", "#version 450 core\nvoid main() {}\n");
  const PackerResult unwritable = RunPacker(
      {"--stage", "fragment", temp.File("good.frag"), "-o", temp.File("no/dir/x.fs.bin")});
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_EQ(Files(), (std::vector<std::string>{"bad.frag", "good.frag", "loop.glsl"}));
}

}  // namespace
