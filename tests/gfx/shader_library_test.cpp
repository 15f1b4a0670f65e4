// The shader library against the real OpenGL driver: directories of shader files become sets of
// modules, and every shader the build packs into the data tree compiles and links.
#include "gfx/shader_library.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/log.h"
#include "gfx/shader_file.h"
#include "tests/gfx/gl_test_context.h"
#include "tests/gfx/shader_test_util.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_directory.h"

namespace {

const char* kVertexSource =
    "#version 450 core\nlayout(location = 0) in vec3 p;\n"
    "void main() { gl_Position = vec4(p, 1.0); }\n";
const char* kFragmentSource =
    "#version 450 core\nlayout(location = 0) out vec4 c;\nvoid main() { c = vec4(1.0); }\n";

void WriteShader(const TempDirectory& temp, const std::string& name, Draw::ShaderStage stage,
                 const std::string& code, int32_t language = Draw::GLSL_450) {
  UnishaderData record;
  record.stage = stage;
  record.languages[UnishaderLanguageIndex(language)].code = code;
  ASSERT_TRUE(WriteShaderFile(nullptr, temp.File(name), record));
}

std::vector<Draw::ShaderStage> Stages(const std::vector<Draw::ShaderModule*>& modules) {
  std::vector<Draw::ShaderStage> stages;
  for (Draw::ShaderModule* module : modules) stages.push_back(module->GetStage());
  return stages;
}

bool HasError(const LogCapture& log, const std::string& text) {
  for (const auto& [level, message] : log.Messages()) {
    if (level == static_cast<int>(LogLevel::Error) && message.find(text) != std::string::npos) {
      return true;
    }
  }
  return false;
}

TEST(ShaderLibraryTest, SetNamesDropTheBinSuffixAndTheLastExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"solid.vs.bin", "solid"}, {"solid.fs.bin", "solid"},   {"cubesky.bin", "cubesky"},
      {"a.b.fs.bin", "a.b"},     {"plain", "plain"},          {"shader.glsl", "shader"},
      {"x.bin.bin", "x"},        {"solid.vs.BIN", "solid.vs"}, {".bin", ""},
      {"trailing.", "trailing"},
  };
  for (const auto& [file, set] : cases) {
    EXPECT_EQ(ShaderSetName(file), set) << file;
  }
}

TEST(ShaderLibraryTest, DirectoryBecomesSetsOfModulesInListingOrder) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  TempDirectory temp;
  WriteShader(temp, "a.vs.bin", Draw::VERTEX, kVertexSource);
  WriteShader(temp, "a.fs.bin", Draw::FRAGMENT, kFragmentSource);
  WriteShader(temp, "b.bin", Draw::FRAGMENT, kFragmentSource);
  // Each adds nothing to the library, for its own reason.
  temp.WriteFile("notes.txt", "not a shader file");
  WriteShader(temp, "other.fs.bin", Draw::FRAGMENT, kFragmentSource, 128);
  WriteShader(temp, "broken.fs.bin", Draw::FRAGMENT, "#version 450 core\nvoid main() { oops }\n");
  WriteShader(temp, "strange.fs.bin", static_cast<Draw::ShaderStage>(77), kFragmentSource);
  temp.MakeDirectory("directory.bin");

  LogCapture log;
  ShaderLibrary library;
  ASSERT_TRUE(LoadShaderLibrary(library, gl.Context(), nullptr, temp.Path()));
  EXPECT_TRUE(HasError(log, "Not a shader file " + temp.File("notes.txt")));
  EXPECT_TRUE(HasError(log, "Invalid shader stage 77 in " + temp.File("strange.fs.bin")));

  ASSERT_EQ(library.size(), 2u);
  // The listing is sorted by name, so a.fs.bin comes before a.vs.bin.
  EXPECT_EQ(Stages(GetShaderSet(library, "a")),
            (std::vector<Draw::ShaderStage>{Draw::FRAGMENT, Draw::VERTEX}));
  EXPECT_EQ(Stages(GetShaderSet(library, "b")), std::vector<Draw::ShaderStage>{Draw::FRAGMENT});

  EXPECT_TRUE(GetShaderSet(library, "missing").empty());
  EXPECT_EQ(GetShader(library, "missing", Draw::VERTEX), nullptr);
  EXPECT_EQ(GetShader(library, "b", Draw::VERTEX), nullptr);
  EXPECT_EQ(GetShader(library, "a", Draw::VERTEX), library["a"][1]);

  const std::vector<Draw::ShaderModule*> pair = MakeShaderPair(library, "a", "b");
  ASSERT_EQ(pair.size(), 2u);
  EXPECT_EQ(pair[0], library["a"][1]);
  EXPECT_EQ(pair[1], library["b"][0]);
  const std::vector<Draw::ShaderModule*> half = MakeShaderPair(library, "b", "missing");
  EXPECT_EQ(half, (std::vector<Draw::ShaderModule*>{nullptr, nullptr}));

  ClearShaderLibrary(library);
  EXPECT_TRUE(library.empty());
}

TEST(ShaderLibraryTest, EmptyOrMissingDirectoryLoadsNothing) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  TempDirectory temp;
  temp.MakeDirectory("empty");
  ShaderLibrary library;
  EXPECT_FALSE(LoadShaderLibrary(library, gl.Context(), nullptr, temp.File("empty")));
  EXPECT_FALSE(LoadShaderLibrary(library, gl.Context(), nullptr, temp.File("absent")));
  EXPECT_TRUE(library.empty());
}

TEST(ShaderLibraryTest, ModulesAreFoundThroughTheDataRoots) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  TempDirectory temp;
  temp.MakeDirectory("root/shaders");
  WriteShader(temp, "root/shaders/x.fs.bin", Draw::FRAGMENT, kFragmentSource);
  DataRoots roots;
  AddDataRoot(roots, temp.File("elsewhere"));
  AddDataRoot(roots, temp.File("root"));
  Draw::ShaderStage stage = Draw::VERTEX;
  std::unique_ptr<Draw::ShaderModule> module(
      LoadShaderModule(gl.Context(), &roots, "shaders/x.fs.bin", &stage));
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module->GetStage(), Draw::FRAGMENT);
  EXPECT_EQ(stage, Draw::FRAGMENT);
}

// The pipelines the application builds, with the vertex layouts they are fed.
struct PipelineSets {
  const char* vertexSet;
  const char* fragmentSet;
  bool sculptLayout;
};
const PipelineSets kPipelines[] = {
    {"solid", "solid", false},     {"solidiso", "solidiso", true},
    {"simpletex", "simpletex", false}, {"simpletex", "colorpicker", false},
    {"cubesky", "cubesky", false},
};

TEST(ShaderLibraryTest, EveryPackedShaderCompilesAndEveryPipelineLinks) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  Draw::DrawContext* context = gl.Context();
  LogCapture log;
  ShaderLibrary library;
  ASSERT_TRUE(LoadShaderLibrary(library, context, nullptr, LOOMWORK_DATA_DIR "/shaders"));
  for (const auto& [level, message] : log.Messages()) {
    EXPECT_NE(level, static_cast<int>(LogLevel::Error)) << message;
  }
  EXPECT_EQ(Stages(GetShaderSet(library, "solid")),
            (std::vector<Draw::ShaderStage>{Draw::FRAGMENT, Draw::VERTEX}));
  EXPECT_EQ(Stages(GetShaderSet(library, "solidiso")),
            (std::vector<Draw::ShaderStage>{Draw::FRAGMENT, Draw::VERTEX}));
  EXPECT_EQ(Stages(GetShaderSet(library, "simpletex")),
            (std::vector<Draw::ShaderStage>{Draw::FRAGMENT, Draw::VERTEX}));
  EXPECT_EQ(Stages(GetShaderSet(library, "cubesky")),
            (std::vector<Draw::ShaderStage>{Draw::FRAGMENT, Draw::VERTEX}));
  EXPECT_EQ(Stages(GetShaderSet(library, "colorpicker")),
            std::vector<Draw::ShaderStage>{Draw::FRAGMENT});

  for (const PipelineSets& sets : kPipelines) {
    SCOPED_TRACE(std::string(sets.vertexSet) + " + " + sets.fragmentSet);
    const std::vector<Draw::ShaderModule*> shaders =
        MakeShaderPair(library, sets.vertexSet, sets.fragmentSet);
    ASSERT_NE(shaders[0], nullptr);
    ASSERT_NE(shaders[1], nullptr);
    std::unique_ptr<Draw::VertexLayout> layout(
        context->CreateVertexLayout(shadertest::LayoutDesc(sets.sculptLayout)));
    Draw::PipelineDesc desc;
    desc.shaders = shaders;
    desc.vertexLayout = layout.get();
    std::unique_ptr<Draw::Pipeline> pipeline(context->CreatePipeline(desc));
    EXPECT_NE(pipeline, nullptr);
  }
  ClearShaderLibrary(library);
}

}  // namespace
