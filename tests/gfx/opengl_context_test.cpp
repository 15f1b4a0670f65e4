// The context's own machinery against the real driver: start-up state, frames and frame memory,
// shader and pipeline failures, programming-error checks and the debug-output callback.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/log.h"
#include "tests/gfx/opengl_test_util.h"
#include "tests/support/log_capture.h"

namespace {

using gltest::ColorVertex;
using gltest::Owned;
using gltest::Rgba;

constexpr uint32_t kBlack = Rgba(0, 0, 0);

void ClearWindow(float r, float g, float b) {
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glClearColor(r, g, b, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
}

// Four vertices of a strip covering the rectangle (x0, y0)-(x1, y1) in clip space, y down.
void FillQuad(ColorVertex* vertices, float x0, float y0, float x1, float y1, uint32_t rgba) {
  vertices[0] = {x0, y0, rgba};
  vertices[1] = {x1, y0, rgba};
  vertices[2] = {x0, y1, rgba};
  vertices[3] = {x1, y1, rgba};
}

bool HasMessageAtLevel(const LogCapture& capture, LogLevel level, const std::string& text) {
  for (const auto& [messageLevel, message] : capture.Messages()) {
    if (messageLevel == static_cast<int>(level) && message.find(text) != std::string::npos) {
      return true;
    }
  }
  return false;
}

TEST(OpenGLContextTest, InitDescribesTheWindowAndSetsUpTheDefaultState) {
  LogCapture log;
  GLTestContext gl(96, 48);
  REQUIRE_GL(gl);
  Draw::OpenGLContext* context = gl.Context();

  EXPECT_EQ(context->GetBackbufferWidth(), 96);
  EXPECT_EQ(context->GetBackbufferHeight(), 48);
  EXPECT_FLOAT_EQ(context->GetBackbufferAspect(), 2.0f);
  EXPECT_EQ(context->GetShaderLanguage(), 4096);
  EXPECT_EQ(context->GetShaderLanguages(), 4096);
  const Draw::DeviceCaps* caps = context->GetDeviceCaps();
  EXPECT_EQ(caps->word, 0x01232223u);
  EXPECT_TRUE(caps->flag);
  EXPECT_EQ(caps->count, 4);
  EXPECT_EQ(context->FrameIndex(), 0);

  const std::string version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  const std::string renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  EXPECT_TRUE(HasMessageAtLevel(log, LogLevel::Info, version + " : " + renderer));

  GLint flags = 0;
  glGetIntegerv(GL_CONTEXT_FLAGS, &flags);
  EXPECT_TRUE(flags & GL_CONTEXT_FLAG_DEBUG_BIT);
  GLint depthBits = 0, stencilBits = 0;
  glGetNamedFramebufferAttachmentParameteriv(0, GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE,
                                             &depthBits);
  glGetNamedFramebufferAttachmentParameteriv(0, GL_STENCIL,
                                             GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE, &stencilBits);
  EXPECT_EQ(depthBits, 24);
  EXPECT_EQ(stencilBits, 8);

  // The checkerboard on unit 0 starts with opaque white in the top-left texel.
  GLint bound = 0;
  glActiveTexture(GL_TEXTURE0);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  ASSERT_NE(bound, 0);
  uint32_t texels[16] = {};
  glGetTextureImage(GLuint(bound), 0, GL_RGBA, GL_UNSIGNED_BYTE, sizeof(texels), texels);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(texels[y * 4 + x], (x + y) % 2 == 0 ? 0xFFFFFFFFu : 0u) << x << ", " << y;
    }
  }
}

class OpenGLDrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL(gl_);
    context_ = gl_.Context();
    immediate_ = gltest::MakePipeline(context_, gltest::kColorVertexShader,
                                      gltest::kColorFragmentShader, gltest::ColorVertexLayout());
    ASSERT_NE(immediate_.get(), nullptr);
  }

  void DrawQuad(float x0, float y0, float x1, float y1, uint32_t rgba) {
    auto* vertices = static_cast<ColorVertex*>(
        context_->AllocateImmediateVertices(4, sizeof(ColorVertex)));
    ASSERT_NE(vertices, nullptr);
    FillQuad(vertices, x0, y0, x1, y1, rgba);
    context_->DrawImmediate(Draw::Primitive::TRIANGLE_STRIP);
  }

  GLTestContext gl_{64, 64};
  Draw::OpenGLContext* context_ = nullptr;
  gltest::TestPipeline immediate_;
};

TEST_F(OpenGLDrawingTest, DrawImmediateStripLandsWithTheOriginInTheUpperLeft) {
  context_->BeginFrame();
  ClearWindow(0, 0, 0);
  context_->SetViewports(0, 1, std::vector<Draw::Viewport>{{0, 0, 64, 64, 0, 1}}.data());
  context_->BindPipeline(immediate_.get());
  // The upper-left quarter in red, then the lower-right quarter in green.
  DrawQuad(-1, -1, 0, 0, Rgba(255, 0, 0));
  DrawQuad(0, 0, 1, 1, Rgba(0, 255, 0));

  EXPECT_EQ(gl_.Pixel(8, 8), Rgba(255, 0, 0));
  EXPECT_EQ(gl_.Pixel(31, 31), Rgba(255, 0, 0));
  EXPECT_EQ(gl_.Pixel(40, 40), Rgba(0, 255, 0));
  EXPECT_EQ(gl_.Pixel(40, 8), kBlack);
  EXPECT_EQ(gl_.Pixel(8, 40), kBlack);
  EXPECT_TRUE(context_->Present());
}

TEST_F(OpenGLDrawingTest, PresentAlternatesFrameSlotsAndWaitsForTheReusedOne) {
  for (int frame = 0; frame < 5; ++frame) {
    EXPECT_EQ(context_->FrameIndex(), frame % 2);
    context_->BeginFrame();
    ClearWindow(0, 0, 0);
    context_->BindPipeline(immediate_.get());
    DrawQuad(-1, -1, 1, 1, Rgba(0, 0, 255));
    EXPECT_TRUE(context_->Present());
  }
  EXPECT_EQ(context_->FrameIndex(), 1);
  EXPECT_EQ(context_->GetBackbufferWidth(), 64);
}

// A fragment shader that writes the colour of uniform block 2; the block is padded so that the
// pushed data is bigger than the colour.
constexpr const char* kUniformColorFragment = R"(#version 450
layout(std140, binding = 2) uniform Block { vec4 color; vec4 padding[3]; };
layout(location = 0) in vec4 vColor;
layout(location = 0) out vec4 fragColor;
void main() { fragColor = color; })";

struct UniformBlock {
  float color[4];
  float padding[12];
};

TEST_F(OpenGLDrawingTest, UniformsPushedEachFrameReachTheirOwnDraws) {
  gltest::TestPipeline uniformPipeline = gltest::MakePipeline(
      context_, gltest::kColorVertexShader, kUniformColorFragment, gltest::ColorVertexLayout());
  ASSERT_NE(uniformPipeline.get(), nullptr);
  gltest::OffscreenTarget target(context_, 64, 64);
  constexpr float kClear[4] = {0, 0, 0, 1};
  target.Begin(context_, kClear);
  gltest::SetFullViewport(context_, 64, 64);

  // Four frames, each drawing two quarter-wide columns with its own two uniform pushes; the
  // columns accumulate in the off-screen target and are read at the end.
  std::vector<uint32_t> expected;
  for (int frame = 0; frame < 4; ++frame) {
    context_->BeginFrame();
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER,
                      static_cast<Draw::OpenGLFramebuffer*>(target.framebuffer.get())->name);
    context_->BindPipeline(uniformPipeline.get());
    for (int half = 0; half < 2; ++half) {
      const int column = frame * 2 + half;
      UniformBlock block = {};
      block.color[0] = float(column * 30) / 255.0f;
      block.color[1] = float(255 - column * 30) / 255.0f;
      block.color[2] = float(half * 255) / 255.0f;
      block.color[3] = 1.0f;
      context_->PushUniforms(2, &block, sizeof(block));
      const float x0 = -1.0f + column * 0.25f;
      DrawQuad(x0, -1, x0 + 0.25f, 1, Rgba(0, 0, 0));
      expected.push_back(Rgba(column * 30, 255 - column * 30, half * 255));
    }
    EXPECT_TRUE(context_->Present());
  }
  for (int column = 0; column < 8; ++column) {
    EXPECT_EQ(gl_.Pixel(column * 8 + 4, 32), expected[column]) << "column " << column;
  }
}

TEST_F(OpenGLDrawingTest, FrameMemoryRefusesWhatDoesNotFitAndSkipsTheDraw) {
  gltest::TestPipeline uniformPipeline = gltest::MakePipeline(
      context_, gltest::kColorVertexShader, kUniformColorFragment, gltest::ColorVertexLayout());
  ASSERT_NE(uniformPipeline.get(), nullptr);
  constexpr size_t kSize = Draw::OpenGLContext::kFrameMemorySize;
  LogCapture log;
  context_->BeginFrame();
  ClearWindow(0, 0, 0);
  context_->BindPipeline(uniformPipeline.get());

  UniformBlock green = {{0, 1, 0, 1}, {}};
  context_->PushUniforms(2, &green, sizeof(green));
  GLint64 boundStart = -1;
  glGetInteger64i_v(GL_UNIFORM_BUFFER_START, 2, &boundStart);

  // Take all but 32 bytes (less than a uniform block) of what is left and touch the last byte
  // taken: the mapping holds it. The uniform block took the first 64 bytes.
  const int32_t stride = 32;
  const int32_t count = int32_t((kSize - 64 - 32) / stride);
  auto* block = static_cast<uint8_t*>(context_->AllocateImmediateVertices(count, stride));
  ASSERT_NE(block, nullptr);
  block[size_t(count) * stride - 1] = 0x5A;
  EXPECT_FALSE(log.Contains("Frame memory"));

  // Neither uniforms nor vertices that would cross the end are placed; the bound block stays.
  UniformBlock red = {{1, 0, 0, 1}, {}};
  std::vector<uint8_t> huge(kSize + 4096, 0xEE);
  context_->PushUniforms(2, huge.data(), huge.size());
  for (int i = 0; i < 20; ++i) {
    context_->PushUniforms(2, &red, sizeof(red));
  }
  GLint64 startAfter = -1;
  glGetInteger64i_v(GL_UNIFORM_BUFFER_START, 2, &startAfter);
  EXPECT_EQ(startAfter, boundStart);
  EXPECT_EQ(context_->AllocateImmediateVertices(100, 16), nullptr);
  context_->DrawImmediate(Draw::Primitive::TRIANGLE_STRIP);
  EXPECT_EQ(gl_.Pixel(32, 32), kBlack) << "the draw after a refused allocation was not skipped";

  int reports = 0;
  for (const auto& [level, message] : log.Messages()) {
    if (message.find("Frame memory used up") != std::string::npos) {
      EXPECT_EQ(level, static_cast<int>(LogLevel::Error));
      ++reports;
    }
  }
  EXPECT_EQ(reports, 1) << "reported once per frame";

  // Once the slot comes round again it has room, and a new overflow is reported again.
  EXPECT_TRUE(context_->Present());
  context_->BeginFrame();
  EXPECT_TRUE(context_->Present());
  context_->BeginFrame();
  ASSERT_EQ(context_->FrameIndex(), 0);
  ClearWindow(0, 0, 0);
  context_->BindPipeline(uniformPipeline.get());
  context_->PushUniforms(2, &green, sizeof(green));
  DrawQuad(-1, -1, 1, 1, Rgba(0, 0, 0));
  EXPECT_EQ(gl_.Pixel(32, 32), Rgba(0, 255, 0));
  log.Clear();
  EXPECT_EQ(context_->AllocateImmediateVertices(int32_t(kSize / 16) + 1, 16), nullptr);
  EXPECT_TRUE(log.Contains("Frame memory used up"));
}

TEST_F(OpenGLDrawingTest, ImmediateAllocationsOfImpossibleSizesAreRefused) {
  struct Case {
    int32_t count;
    int32_t stride;
  };
  const Case cases[] = {{-1, 16}, {16, -4}, {INT32_MAX, INT32_MAX}, {INT32_MAX, 16}};
  context_->BeginFrame();
  LogCapture log;
  for (const Case& c : cases) {
    EXPECT_EQ(context_->AllocateImmediateVertices(c.count, c.stride), nullptr)
        << c.count << " x " << c.stride;
    context_->DrawImmediate(Draw::Primitive::POINT_LIST);  // skipped, nothing to draw
  }
  EXPECT_TRUE(log.Contains("Cannot allocate -1 immediate vertices"));
  EXPECT_TRUE(log.Contains("Frame memory used up"));
  EXPECT_NE(context_->AllocateImmediateVertices(4, 16), nullptr);
}

TEST_F(OpenGLDrawingTest, ResetStateReturnsToNeutral) {
  Draw::DepthStencilStateDesc depth;
  depth.depthTestEnabled = true;
  depth.depthWriteEnabled = false;
  Draw::RasterStateDesc rasterDesc;
  rasterDesc.cull = Draw::CullMode::BACK;
  gltest::TestPipeline pipeline = gltest::MakePipeline(
      context_, gltest::kColorVertexShader, gltest::kColorFragmentShader,
      gltest::ColorVertexLayout(), depth);
  ASSERT_NE(pipeline.get(), nullptr);
  pipeline.raster.reset(context_->CreateRasterState(rasterDesc));
  static_cast<Draw::OpenGLPipeline*>(pipeline.get())->raster =
      static_cast<Draw::OpenGLRasterState*>(pipeline.raster.get());
  Owned<Draw::Sampler> sampler(context_->CreateSamplerState({}));

  context_->BindPipeline(pipeline.get());
  context_->BindSampler(0, sampler.get());
  context_->SetScissorRect({1, 2, 3, 4});
  context_->SetViewports(0, 1, std::vector<Draw::Viewport>{{5, 6, 7, 8, 0, 1}}.data());
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));

  context_->ResetState();
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
  GLboolean depthMask = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
  EXPECT_EQ(depthMask, GL_TRUE);
  GLint program = -1, vertexArray = -1, boundSampler = -1;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray);
  glActiveTexture(GL_TEXTURE0);
  glGetIntegerv(GL_SAMPLER_BINDING, &boundSampler);
  EXPECT_EQ(program, 0);
  EXPECT_EQ(vertexArray, 0);
  EXPECT_EQ(boundSampler, 0);
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, 64, 64}));
}

TEST_F(OpenGLDrawingTest, MisuseIsCheckedAndGoesNoFurther) {
  Owned<Draw::Buffer> buffer(context_->CreateBuffer(nullptr, 64, 0));
  Draw::Viewport viewports[17] = {};
  Draw::VertexLayoutDesc fiveBindings;
  fiveBindings.bindings.resize(5, {16, 0});
  fiveBindings.attributes = {{4, 0, Draw::R32_FLOAT, 0}};
  Draw::VertexLayoutDesc unknownBinding;
  unknownBinding.bindings = {{16, 0}};
  unknownBinding.attributes = {{2, 0, Draw::R32_FLOAT, 0}, {0, 40, Draw::R32_FLOAT, 0}};
  Draw::BlendStateDesc fiveTargets;
  fiveTargets.renderTargets.resize(5);
  Draw::RenderPassBeginInfo noFramebuffer;
  Owned<Draw::RenderPass> pass(context_->CreateRenderPass({}));

  struct Case {
    const char* name;
    int expectedChecks;
    std::function<void()> call;
  };
  const Case cases[] = {
      {"null pipeline", 1, [&] { context_->BindPipeline(nullptr); }},
      {"vertex binding 4", 1, [&] { context_->BindVertexBuffer(4, buffer.get(), 0); }},
      {"vertex binding -1", 1, [&] { context_->BindVertexBuffer(-1, buffer.get(), 0); }},
      {"null storage buffer", 1, [&] { context_->BindStorageBuffer(0, nullptr); }},
      {"pass without framebuffer", 1, [&] { context_->BeginRenderPass(pass.get(), noFramebuffer); }},
      {"17 viewports", 1, [&] { context_->SetViewports(0, 17, viewports); }},
      {"viewports past the last", 1, [&] { context_->SetViewports(15, 2, viewports); }},
      {"no viewport array", 1, [&] { context_->SetViewports(0, 1, nullptr); }},
      {"uniforms without data", 1, [&] { context_->PushUniforms(0, nullptr, 16); }},
      {"five vertex bindings", 2,
       [&] { Owned<Draw::VertexLayout>(context_->CreateVertexLayout(fiveBindings)); }},
      {"attribute of an undeclared binding and location", 2,
       [&] { Owned<Draw::VertexLayout>(context_->CreateVertexLayout(unknownBinding)); }},
      {"five blend targets", 1,
       [&] { Owned<Draw::BlendState>(context_->CreateBlendState(fiveTargets)); }},
  };
  for (const Case& c : cases) {
    CheckCapture checks;
    c.call();
    EXPECT_EQ(checks.Count(), c.expectedChecks) << c.name;
  }
  // The context still draws afterwards.
  context_->BeginFrame();
  ClearWindow(0, 0, 0);
  gltest::SetFullViewport(context_, 64, 64);
  context_->BindPipeline(immediate_.get());
  DrawQuad(-1, -1, 1, 1, Rgba(0, 128, 255));
  EXPECT_EQ(gl_.Pixel(32, 32), Rgba(0, 128, 255));
}

// ---------------------------------------------------------------- shaders and pipelines

TEST(OpenGLShaderTest, FailedCompileLogsTheNumberedSourceAndTheCompilerLog) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  const std::string source =
      "#version 450\n"
      "layout(location = 0) out vec4 fragColor;\n"
      "void main() { fragColor = undefinedValue; }\n";
  LogCapture log;
  Owned<Draw::ShaderModule> module(gltest::Compile(gl.Context(), Draw::FRAGMENT, source));
  EXPECT_EQ(module, nullptr);

  // Compiler log (error), numbered source (raw), compiler log again (raw).
  std::vector<std::string> raw;
  for (const auto& [level, message] : log.Messages()) {
    if (level == static_cast<int>(LogLevel::Raw)) {
      raw.push_back(message);
    }
  }
  ASSERT_EQ(raw.size(), 2u);
  EXPECT_EQ(raw[0],
            "   1:  #version 450\n"
            "   2:  layout(location = 0) out vec4 fragColor;\n"
            "   3:  void main() { fragColor = undefinedValue; }\n");
  const std::string& compilerLog = raw[1];
  EXPECT_NE(compilerLog.find("undefinedValue"), std::string::npos);
  std::string compilerLogLine = compilerLog;
  while (!compilerLogLine.empty() && compilerLogLine.back() == '\n') compilerLogLine.pop_back();
  EXPECT_TRUE(HasMessageAtLevel(log, LogLevel::Error, compilerLogLine));
}

TEST(OpenGLShaderTest, ModulesThatCannotBeCompiledHereAreRefusedWithAReason) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  const char* kValid = "#version 450\nvoid main() {}\n";
  struct Case {
    const char* name;
    Draw::ShaderStage stage;
    int32_t language;
    const char* source;
  };
  const Case cases[] = {
      {"compute stage", Draw::COMPUTE, Draw::GLSL_450, kValid},
      {"tessellation control stage", Draw::CONTROL, Draw::GLSL_450, kValid},
      {"another shader language", Draw::VERTEX, Draw::SHADER_LANGUAGE_2048, kValid},
      {"no source", Draw::VERTEX, Draw::GLSL_450, nullptr},
  };
  for (const Case& c : cases) {
    LogCapture log;
    Owned<Draw::ShaderModule> module(
        gl.Context()->CreateShaderModule(c.stage, c.language, c.source, 0, {}));
    EXPECT_EQ(module, nullptr) << c.name;
    EXPECT_FALSE(log.Messages().empty()) << c.name;
  }
}

TEST(OpenGLShaderTest, SourceLengthBoundsWhatIsCompiled) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  // Only the part before the length is source; what follows would not compile.
  const std::string valid = "#version 450\nvoid main() { gl_Position = vec4(0.0); }\n";
  const std::string text = valid + "this is not GLSL";
  Owned<Draw::ShaderModule> cut(gl.Context()->CreateShaderModule(
      Draw::VERTEX, Draw::GLSL_450, text.c_str(), valid.size(), {}));
  EXPECT_NE(cut, nullptr);
  EXPECT_EQ(cut->GetStage(), Draw::VERTEX);
  // A length that counts the terminating zero is fine too.
  Owned<Draw::ShaderModule> withZero(gl.Context()->CreateShaderModule(
      Draw::VERTEX, Draw::GLSL_450, valid.c_str(), valid.size() + 1, {}));
  EXPECT_NE(withZero, nullptr);
  LogCapture log;
  Owned<Draw::ShaderModule> whole(gl.Context()->CreateShaderModule(
      Draw::VERTEX, Draw::GLSL_450, text.c_str(), text.size(), {}));
  EXPECT_EQ(whole, nullptr);
}

constexpr const char* kVertexWithoutOutput = R"(#version 450
void main() { gl_Position = vec4(0.0, 0.0, 0.0, 1.0); })";
constexpr const char* kFragmentNeedingInput = R"(#version 450
layout(location = 0) in vec4 neverWritten;
layout(location = 0) out vec4 fragColor;
void main() { fragColor = neverWritten; })";

TEST(OpenGLShaderTest, PipelineThatDoesNotLinkIsNullAndLogsTheLinker) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  Draw::DrawContext* context = gl.Context();
  Owned<Draw::ShaderModule> vertex(gltest::Compile(context, Draw::VERTEX, kVertexWithoutOutput));
  Owned<Draw::ShaderModule> fragment(
      gltest::Compile(context, Draw::FRAGMENT, kFragmentNeedingInput));
  ASSERT_NE(vertex, nullptr);
  ASSERT_NE(fragment, nullptr);
  Draw::PipelineDesc desc;
  desc.shaders = {vertex.get(), fragment.get()};
  LogCapture log;
  Owned<Draw::Pipeline> pipeline(context->CreatePipeline(desc));
  EXPECT_EQ(pipeline, nullptr);
  bool rawLinkLog = false;
  for (const auto& [level, message] : log.Messages()) {
    rawLinkLog |= level == static_cast<int>(LogLevel::Raw) &&
                  message.find("neverWritten") != std::string::npos;
  }
  EXPECT_TRUE(rawLinkLog);

  // The modules are detached again and serve a pipeline that does link.
  Owned<Draw::ShaderModule> fragmentOk(gltest::Compile(context, Draw::FRAGMENT, R"(#version 450
layout(location = 0) out vec4 fragColor;
void main() { fragColor = vec4(1.0); })"));
  desc.shaders = {vertex.get(), fragmentOk.get()};
  Owned<Draw::Pipeline> linked(context->CreatePipeline(desc));
  EXPECT_NE(linked, nullptr);
}

TEST(OpenGLShaderTest, NullModuleInAPipelineIsAProgrammingError) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  Owned<Draw::ShaderModule> vertex(gltest::Compile(gl.Context(), Draw::VERTEX, kVertexWithoutOutput));
  Draw::PipelineDesc desc;
  desc.shaders = {vertex.get(), nullptr};
  CheckCapture checks;
  Owned<Draw::Pipeline> pipeline(gl.Context()->CreatePipeline(desc));
  EXPECT_EQ(pipeline, nullptr);
  ASSERT_EQ(checks.Count(), 1);
  EXPECT_NE(checks.Messages()[0].find("Draw::OpenGLContext::CreatePipeline"), std::string::npos);
}

TEST(OpenGLShaderTest, CompileProgramLinksOrFailsLikeACheck) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  const GLuint program = Draw::CompileProgram(kVertexWithoutOutput, R"(#version 450
layout(location = 0) out vec4 fragColor;
void main() { fragColor = vec4(1.0); })");
  ASSERT_NE(program, 0u);
  GLint attached = 0;
  glGetProgramiv(program, GL_ATTACHED_SHADERS, &attached);
  EXPECT_EQ(attached, 2);
  glDeleteProgram(program);

  CheckCapture checks;
  LogCapture log;
  EXPECT_EQ(Draw::CompileProgram(kVertexWithoutOutput, kFragmentNeedingInput), 0u);
  ASSERT_EQ(checks.Count(), 1);
  EXPECT_NE(checks.Messages()[0].find("Draw::CompileProgram"), std::string::npos);
  EXPECT_TRUE(log.Contains("neverWritten"));

  EXPECT_EQ(Draw::CompileProgram("#version 450\nnot glsl", kFragmentNeedingInput), 0u);
  EXPECT_EQ(checks.Count(), 1) << "a compile failure is reported, not checked";
}

// ---------------------------------------------------------------- buffers and textures

TEST(OpenGLBufferTest, StaticBuffersAreNeverWritten) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  const uint32_t data[4] = {1, 2, 3, 4};
  struct Case {
    const char* name;
    bool withData;
    bool write;
    const char* checkedFunction;
  };
  const Case cases[] = {
      {"write after creation", true, true, "Draw::OpenGLBuffer::WriteData"},
      {"creation without data", false, false, "Draw::OpenGLBuffer::OpenGLBuffer"},
  };
  for (const Case& c : cases) {
    CheckCapture checks;
    Owned<Draw::Buffer> buffer(
        gl.Context()->CreateBuffer(c.withData ? data : nullptr, sizeof(data), Draw::STATIC));
    ASSERT_NE(buffer, nullptr) << c.name;
    if (c.write) {
      buffer->WriteData(data, sizeof(data), 0);
    }
    ASSERT_EQ(checks.Count(), 1) << c.name;
    EXPECT_NE(checks.Messages()[0].find(c.checkedFunction), std::string::npos) << c.name;
  }
}

TEST(OpenGLBufferTest, WritesOutsideTheBufferAreRefused) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  Owned<Draw::Buffer> buffer(gl.Context()->CreateBuffer(nullptr, 16, 0));
  ASSERT_NE(buffer, nullptr);
  const uint32_t inside[4] = {10, 20, 30, 40};
  buffer->WriteData(inside, sizeof(inside), 0);
  const uint8_t bytes[32] = {};
  struct Case {
    size_t size;
    size_t offset;
  };
  const Case cases[] = {{17, 0}, {4, 13}, {1, 16}, {8, SIZE_MAX - 4}};
  for (const Case& c : cases) {
    LogCapture log;
    buffer->WriteData(bytes, c.size, c.offset);
    EXPECT_TRUE(log.Contains("does not fit")) << c.size << " at " << c.offset;
  }
  uint32_t readBack[4] = {};
  glGetNamedBufferSubData(static_cast<Draw::OpenGLBuffer*>(buffer.get())->name, 0,
                          sizeof(readBack), readBack);
  EXPECT_EQ(std::memcmp(readBack, inside, sizeof(inside)), 0);

  LogCapture log;
  EXPECT_EQ(gl.Context()->CreateBuffer(nullptr, 0, 0), nullptr);
  EXPECT_FALSE(log.Messages().empty());
}

TEST(OpenGLTextureQueryTest, GetTextureDimensionsWritesOnlyWhatItIsGiven) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  Draw::TextureDesc desc;
  desc.format = Draw::R8G8B8A8_UNORM;
  desc.width = 8;
  desc.height = 4;
  desc.depth = 3;
  desc.flags = Draw::ARRAY;
  Owned<Draw::Texture> texture(gl.Context()->CreateTexture(desc));
  ASSERT_NE(texture, nullptr);

  int32_t width = -1, height = -1, depth = -1;
  gl.Context()->GetTextureDimensions(nullptr, &width, &height, &depth);
  EXPECT_EQ(width, -1);
  EXPECT_EQ(height, -1);
  EXPECT_EQ(depth, -1);
  gl.Context()->GetTextureDimensions(texture.get(), nullptr, &height, nullptr);
  EXPECT_EQ(height, 4);
  EXPECT_EQ(width, -1);
  gl.Context()->GetTextureDimensions(texture.get(), &width, nullptr, &depth);
  EXPECT_EQ(width, 8);
  EXPECT_EQ(depth, 3);
  gl.Context()->GetTextureDimensions(texture.get(), nullptr, nullptr, nullptr);
}

// ---------------------------------------------------------------- debug output

TEST(OpenGLDebugOutputTest, DriverMessagesAreLoggedBySeverity) {
  GLTestContext gl;
  REQUIRE_GL(gl);
  struct Case {
    GLenum type;
    GLenum severity;
    const char* text;
    int expectedLevel;  // -1: dropped
    const char* expectedMessage;
  };
  const Case cases[] = {
      {GL_DEBUG_TYPE_MARKER, GL_DEBUG_SEVERITY_HIGH, "high one", 0, "APP:marker: high one"},
      {GL_DEBUG_TYPE_PERFORMANCE, GL_DEBUG_SEVERITY_MEDIUM, "medium one", 1,
       "APP:performance: medium one"},
      {GL_DEBUG_TYPE_PORTABILITY, GL_DEBUG_SEVERITY_LOW, "low one", 2,
       "APP:portability: low one"},
      {GL_DEBUG_TYPE_OTHER, GL_DEBUG_SEVERITY_NOTIFICATION, "a note", 3, "APP:other: a note"},
      {GL_DEBUG_TYPE_OTHER, GL_DEBUG_SEVERITY_HIGH, "Buffer detailed info: 1 MB", -1, nullptr},
      {GL_DEBUG_TYPE_ERROR, GL_DEBUG_SEVERITY_HIGH, "Buffer detailed info: kept", 0,
       "APP:error: Buffer detailed info: kept"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    glDebugMessageInsert(GL_DEBUG_SOURCE_APPLICATION, c.type, 1, c.severity, -1, c.text);
    if (c.expectedLevel < 0) {
      EXPECT_TRUE(log.Messages().empty()) << c.text;
      continue;
    }
    ASSERT_EQ(log.Messages().size(), 1u) << c.text;
    EXPECT_EQ(log.Messages()[0].first, c.expectedLevel) << c.text;
    EXPECT_EQ(log.Messages()[0].second, c.expectedMessage);
  }

  // A real API error arrives as one, synchronously.
  LogCapture log;
  glEnable(GLenum(0x7FFF));
  EXPECT_TRUE(HasMessageAtLevel(log, LogLevel::Error, "API:error: "));
}

}  // namespace
