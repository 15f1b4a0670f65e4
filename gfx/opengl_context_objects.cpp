// The objects the OpenGL context makes: vertex layouts, blend, depth and raster states,
// samplers, shader modules and pipelines, buffers and textures, framebuffers and render passes.
#include "gfx/opengl_context.h"

#include <algorithm>
#include <cstring>

#include "base/check.h"
#include "base/log.h"
#include "gfx/opengl_shader_compile.h"
#include "gfx/opengl_tables.h"

namespace Draw {

namespace {

// The minimums OpenGL 4.5 guarantees; the system never needs more.
constexpr int kMaxVertexAttributes = 16;
constexpr int kMaxViewports = 16;

int MaxMipLevels(int32_t width, int32_t height, int32_t depth) {
  int32_t size = std::max({width, height, depth});
  int levels = 1;
  while (size > 1) {
    size >>= 1;
    ++levels;
  }
  return levels;
}

}  // namespace

// ---------------------------------------------------------------- state objects

VertexLayout* OpenGLContext::CreateVertexLayout(const VertexLayoutDesc& desc) {
  auto* layout = new OpenGLVertexLayout;
  glCreateVertexArrays(1, &layout->vertexArray);
  CHECK(desc.bindings.size() <= OpenGLVertexLayout::kMaxBindings);
  layout->bindingCount = static_cast<int32_t>(
      std::min<size_t>(desc.bindings.size(), OpenGLVertexLayout::kMaxBindings));
  for (int32_t i = 0; i < layout->bindingCount; ++i) {
    layout->strides[i] = desc.bindings[i].stride;
  }
  for (const AttributeDesc& attribute : desc.attributes) {
    const bool bindingValid = attribute.binding >= 0 && attribute.binding < layout->bindingCount;
    const bool locationValid = attribute.location >= 0 &&
                               attribute.location < kMaxVertexAttributes;
    CHECK(bindingValid);
    CHECK(locationValid);
    const int components = DataFormatCount(attribute.format);
    if (!bindingValid || !locationValid || components == 0) {
      continue;
    }
    const GLuint location = static_cast<GLuint>(attribute.location);
    glVertexArrayAttribFormat(layout->vertexArray, location, components,
                              GetDataFormatType(attribute.format),
                              DataFormatNormalized(attribute.format) ? GL_TRUE : GL_FALSE,
                              static_cast<GLuint>(attribute.offset));
    glVertexArrayAttribBinding(layout->vertexArray, location,
                               static_cast<GLuint>(attribute.binding));
    glEnableVertexArrayAttrib(layout->vertexArray, location);
  }
  return layout;
}

BlendState* OpenGLContext::CreateBlendState(const BlendStateDesc& desc) {
  auto* blend = new OpenGLBlendState;
  CHECK(desc.renderTargets.size() <= OpenGLBlendState::kMaxTargets);
  const size_t count = std::min<size_t>(desc.renderTargets.size(), OpenGLBlendState::kMaxTargets);
  for (size_t i = 0; i < count; ++i) {
    const BlendTarget& source = desc.renderTargets[i];
    OpenGLBlendState::Target& target = blend->targets[i];
    target.enabled = source.enabled;
    target.colorWriteMask = source.colorWriteMask;
    target.srcColor = ToGLBlendFactor(source.srcColor);
    target.dstColor = ToGLBlendFactor(source.dstColor);
    target.srcAlpha = ToGLBlendFactor(source.srcAlpha);
    target.dstAlpha = ToGLBlendFactor(source.dstAlpha);
    target.colorOp = ToGLBlendOp(source.colorOp);
    target.alphaOp = ToGLBlendOp(source.alphaOp);
  }
  return blend;
}

DepthStencilState* OpenGLContext::CreateDepthStencilState(const DepthStencilStateDesc& desc) {
  auto* state = new OpenGLDepthStencilState;
  state->depthTest = desc.depthTestEnabled;
  state->depthWrite = desc.depthWriteEnabled;
  state->depthFunc = ToGLComparison(desc.depthCompare);
  state->stencilEnabled = desc.stencilEnabled;
  state->stencilFail = ToGLStencilOp(desc.stencilFailOp);
  state->stencilDepthFail = ToGLStencilOp(desc.stencilDepthFailOp);
  state->stencilPass = ToGLStencilOp(desc.stencilPassOp);
  state->stencilFunc = ToGLComparison(desc.stencilCompareOp);
  state->reference = desc.stencilReference;
  state->compareMask = desc.stencilCompareMask;
  state->writeMask = desc.stencilWriteMask;
  return state;
}

RasterState* OpenGLContext::CreateRasterState(const RasterStateDesc& desc) {
  auto* state = new OpenGLRasterState;
  switch (desc.cull) {
    case CullMode::FRONT: state->cullFace = GL_FRONT; break;
    case CullMode::BACK: state->cullFace = GL_BACK; break;
    default: state->cullFace = 0; break;
  }
  state->frontFace = desc.frontFace == Facing::CCW ? GL_CCW : GL_CW;
  return state;
}

Sampler* OpenGLContext::CreateSamplerState(const SamplerStateDesc& desc) {
  auto* sampler = new OpenGLSampler;
  glCreateSamplers(1, &sampler->name);
  const GLuint name = sampler->name;
  glSamplerParameteri(name, GL_TEXTURE_MAG_FILTER,
                      desc.magFilter == TextureFilter::LINEAR ? GL_LINEAR : GL_NEAREST);
  const bool minLinear = desc.minFilter == TextureFilter::LINEAR;
  const bool mipLinear = desc.mipFilter == TextureFilter::LINEAR;
  GLint minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  if (mipLinear) {
    minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  }
  glSamplerParameteri(name, GL_TEXTURE_MIN_FILTER, minFilter);
  // Drivers without anisotropic filtering would only report the parameter as an error.
  if (GLAD_GL_ARB_texture_filter_anisotropic || GLAD_GL_EXT_texture_filter_anisotropic) {
    glSamplerParameterf(name, GL_TEXTURE_MAX_ANISOTROPY,
                        desc.maxAnisotropy > 1.0f ? desc.maxAnisotropy : 1.0f);
  }
  glSamplerParameteri(name, GL_TEXTURE_WRAP_S, static_cast<GLint>(ToGLAddressMode(desc.wrapU)));
  glSamplerParameteri(name, GL_TEXTURE_WRAP_T, static_cast<GLint>(ToGLAddressMode(desc.wrapV)));
  glSamplerParameteri(name, GL_TEXTURE_WRAP_R, static_cast<GLint>(ToGLAddressMode(desc.wrapW)));
  if (desc.shadowCompareEnabled) {
    glSamplerParameteri(name, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
    glSamplerParameteri(name, GL_TEXTURE_COMPARE_FUNC,
                        static_cast<GLint>(ToGLComparison(desc.shadowCompareOp)));
  }
  static constexpr float kBorderColors[4][4] = {
      {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1, 1}};
  const int border = static_cast<int>(desc.borderColor);
  if (border >= 1 && border <= 3) {
    glSamplerParameterfv(name, GL_TEXTURE_BORDER_COLOR, kBorderColors[border]);
  }
  return sampler;
}

// ---------------------------------------------------------------- shaders and pipelines

ShaderModule* OpenGLContext::CreateShaderModule(ShaderStage stage, int32_t language,
                                                const char* source, size_t length,
                                                const std::vector<SamplerBinding>& samplers) {
  const GLenum type = ToGLShaderType(stage);
  if (type == 0) {
    Log(LogLevel::Error, "Shader stage %d has no OpenGL shader type here", static_cast<int>(stage));
    return nullptr;
  }
  if (language != GLSL_450) {
    Log(LogLevel::Error, "Shader language %d is not the OpenGL shading language (%d)", language,
        static_cast<int>(GLSL_450));
    return nullptr;
  }
  if (source == nullptr) {
    Log(LogLevel::Error, "Shader module without source");
    return nullptr;
  }
  const GLuint shader = CompileShader(type, SourceText(source, length));
  if (shader == 0) {
    return nullptr;
  }
  auto* module = new OpenGLShaderModule;
  module->name = shader;
  module->stage = stage;
  module->samplers = samplers;
  return module;
}

Pipeline* OpenGLContext::CreatePipeline(const PipelineDesc& desc) {
  bool modulesPresent = true;
  for (ShaderModule* module : desc.shaders) {
    CHECK(module != nullptr);
    modulesPresent = modulesPresent && module != nullptr;
  }
  if (!modulesPresent) {
    return nullptr;
  }
  const GLuint program = glCreateProgram();
  std::vector<SamplerBinding> samplers;
  for (ShaderModule* module : desc.shaders) {
    const auto* glModule = static_cast<const OpenGLShaderModule*>(module);
    glAttachShader(program, glModule->name);
    samplers.insert(samplers.end(), glModule->samplers.begin(), glModule->samplers.end());
  }
  const bool linked = LinkProgram(program);
  for (ShaderModule* module : desc.shaders) {
    glDetachShader(program, static_cast<const OpenGLShaderModule*>(module)->name);
  }
  if (!linked) {
    glDeleteProgram(program);
    return nullptr;
  }
  for (const SamplerBinding& binding : samplers) {
    const GLint location = glGetUniformLocation(program, binding.name.c_str());
    if (location >= 0) {
      glProgramUniform1i(program, location, binding.unit);
    }
  }
  auto* pipeline = new OpenGLPipeline;
  pipeline->program = program;
  pipeline->depthStencil = static_cast<OpenGLDepthStencilState*>(desc.depthStencil);
  pipeline->blend = static_cast<OpenGLBlendState*>(desc.blend);
  pipeline->vertexLayout = static_cast<OpenGLVertexLayout*>(desc.vertexLayout);
  pipeline->raster = static_cast<OpenGLRasterState*>(desc.raster);
  return pipeline;
}

// ---------------------------------------------------------------- buffers and textures

Buffer* OpenGLContext::CreateBuffer(const void* data, size_t size, int32_t usageFlags) {
  if (size == 0 || size > static_cast<size_t>(PTRDIFF_MAX)) {
    Log(LogLevel::Error, "Cannot create a buffer of %zu bytes", size);
    return nullptr;
  }
  return new OpenGLBuffer(data, size, usageFlags);
}

Texture* OpenGLContext::CreateTexture(const TextureDesc& desc) {
  const bool isArray = (desc.flags & ARRAY) != 0;
  const bool isCube = (desc.flags & CUBE) != 0;
  if (desc.width < 1 || desc.height < 1 || desc.depth < 1) {
    Log(LogLevel::Error, "Cannot create a texture of %d x %d x %d", desc.width, desc.height,
        desc.depth);
    return nullptr;
  }
  if (isCube && (desc.width != desc.height || desc.depth % 6 != 0 || (!isArray && desc.depth != 6))) {
    Log(LogLevel::Error, "A cube texture needs square faces and 6 faces per cube, not %d x %d x %d",
        desc.width, desc.height, desc.depth);
    return nullptr;
  }
  GLenum target = GL_TEXTURE_2D;
  int32_t depth = desc.depth;
  if (desc.depth >= 2) {
    if (isArray && isCube) {
      target = GL_TEXTURE_CUBE_MAP_ARRAY;
    } else if (isArray) {
      target = GL_TEXTURE_2D_ARRAY;
    } else if (isCube) {
      target = GL_TEXTURE_CUBE_MAP;
      depth = desc.depth / 6;
    } else {
      target = GL_TEXTURE_3D;
    }
  }
  const int maxLevels =
      MaxMipLevels(desc.width, desc.height, target == GL_TEXTURE_3D ? desc.depth : 1);
  if (desc.mipLevels < 1 || desc.mipLevels > maxLevels) {
    Log(LogLevel::Error, "A %d x %d x %d texture cannot have %d mip levels", desc.width,
        desc.height, desc.depth, desc.mipLevels);
    return nullptr;
  }
  auto* texture = new OpenGLTexture;
  texture->flags = desc.flags;
  texture->width = desc.width;
  texture->height = desc.height;
  texture->format = desc.format;
  texture->mipLevels = desc.mipLevels;
  texture->target = target;
  glCreateTextures(target, 1, &texture->name);
  if (desc.flags & ALPHA_MASK) {
    static constexpr GLint kSwizzle[4] = {GL_ONE, GL_ONE, GL_ONE, GL_RED};
    glTextureParameteriv(texture->name, GL_TEXTURE_SWIZZLE_RGBA, kSwizzle);
  }
  const GLenum internalFormat = GetTextureInternalFormat(desc.format);
  if (target == GL_TEXTURE_CUBE_MAP_ARRAY) {
    // Storage counts the faces; the texture records whole cubes.
    glTextureStorage3D(texture->name, desc.mipLevels, internalFormat, desc.width, desc.height,
                       desc.depth);
    texture->uses3DStorage = true;
    depth = desc.depth / 6;
  } else if (depth < 2) {
    glTextureStorage2D(texture->name, desc.mipLevels, internalFormat, desc.width, desc.height);
  } else {
    glTextureStorage3D(texture->name, desc.mipLevels, internalFormat, desc.width, desc.height,
                       depth);
    texture->uses3DStorage = true;
  }
  texture->depth = depth;
  return texture;
}

void OpenGLContext::UpdateTextureLevel(Texture* texture, int32_t level, int32_t x, int32_t y,
                                       int32_t z, int32_t width, int32_t height, int32_t depth,
                                       int32_t /*rowPitch*/, int32_t /*slicePitch*/,
                                       const void* data) {
  if (texture == nullptr || data == nullptr) {
    Log(LogLevel::Error, "Texture upload without %s", texture == nullptr ? "texture" : "data");
    return;
  }
  auto* glTexture = static_cast<OpenGLTexture*>(texture);
  const bool threeD = glTexture->uses3DStorage || (glTexture->flags & CUBE) != 0;
  if (!threeD) {
    CHECK(depth == 1);  // a 2D texture has one slice; z is not looked at
    if (depth != 1) {
      return;
    }
    z = 0;
  }
  // What z can address at this level: cube faces, array layers (faces of all cubes for cube
  // arrays) or 3D slices, which shrink with the level.
  int64_t levelWidth = 0, levelHeight = 0, levelDepth = 1;
  if (level >= 0 && level < glTexture->mipLevels) {
    levelWidth = std::max(1, glTexture->width >> level);
    levelHeight = std::max(1, glTexture->height >> level);
    if (glTexture->target == GL_TEXTURE_3D) {
      levelDepth = std::max(1, glTexture->depth >> level);
    } else if (glTexture->target == GL_TEXTURE_CUBE_MAP) {
      levelDepth = 6;
    } else if (glTexture->target == GL_TEXTURE_CUBE_MAP_ARRAY) {
      levelDepth = int64_t(glTexture->depth) * 6;
    } else if (glTexture->target == GL_TEXTURE_2D_ARRAY) {
      levelDepth = glTexture->depth;
    }
  }
  const bool boxInside = x >= 0 && y >= 0 && z >= 0 && width >= 0 && height >= 0 && depth >= 0 &&
                         int64_t(x) + width <= levelWidth && int64_t(y) + height <= levelHeight &&
                         int64_t(z) + depth <= levelDepth;
  if (!boxInside) {
    Log(LogLevel::Error,
        "Texture upload of %d x %d x %d at (%d, %d, %d) does not fit level %d of a %d x %d x %d "
        "texture with %d levels",
        width, height, depth, x, y, z, level, glTexture->width, glTexture->height,
        glTexture->depth, glTexture->mipLevels);
    return;
  }
  if (width == 0 || height == 0 || depth == 0) {
    return;
  }
  const GLenum internalFormat = GetTextureInternalFormat(glTexture->format);
  const int blockBytes = GetCompressedBlockBytes(glTexture->format);
  if (blockBytes > 0) {
    const int64_t imageSize =
        int64_t((width + 3) / 4) * ((height + 3) / 4) * blockBytes * depth;
    if (threeD) {
      glCompressedTextureSubImage3D(glTexture->name, level, x, y, z, width, height, depth,
                                    internalFormat, static_cast<GLsizei>(imageSize), data);
    } else {
      glCompressedTextureSubImage2D(glTexture->name, level, x, y, width, height, internalFormat,
                                    static_cast<GLsizei>(imageSize), data);
    }
    return;
  }
  const GLenum type = GetDataFormatType(glTexture->format);  // checks the format can be uploaded
  if (DataFormatSizeInBytes(glTexture->format) == 0) {
    return;
  }
  const GLenum layout = GetUploadLayout(glTexture->format);
  if (threeD) {
    // Cube faces are addressed as layers 0..5, which direct state access allows for cube maps.
    glTextureSubImage3D(glTexture->name, level, x, y, z, width, height, depth, layout, type, data);
  } else {
    glTextureSubImage2D(glTexture->name, level, x, y, width, height, layout, type, data);
  }
}

void OpenGLContext::GenerateMipmaps(Texture* texture) {
  if (texture == nullptr) {
    return;
  }
  glGenerateTextureMipmap(static_cast<OpenGLTexture*>(texture)->name);
}

// ---------------------------------------------------------------- framebuffers and passes

Framebuffer* OpenGLContext::CreateFramebuffer(const FramebufferDesc& desc) {
  const auto* pass = static_cast<const OpenGLRenderPass*>(desc.renderPass);
  CHECK(pass != nullptr);
  if (pass == nullptr) {
    return nullptr;
  }
  CHECK(desc.attachments.size() == pass->attachments.size());
  if (desc.attachments.size() != pass->attachments.size()) {
    return nullptr;
  }
  auto* framebuffer = new OpenGLFramebuffer;
  framebuffer->attachments = desc.attachments;
  glCreateFramebuffers(1, &framebuffer->name);
  GLenum nextColor = GL_COLOR_ATTACHMENT0;
  for (const FramebufferAttachment& attachment : desc.attachments) {
    const auto* texture = static_cast<const OpenGLTexture*>(attachment.texture);
    CHECK(texture != nullptr);
    if (texture == nullptr) {
      continue;
    }
    GLenum point = 0;
    if (IsColorAttachable(texture->format)) {
      point = nextColor++;
    } else if (IsDepthAttachable(texture->format)) {
      point = HasStencil(texture->format) ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
    } else {
      CHECK(false);  // neither colour nor depth: S8 and the sampled-only formats
      continue;
    }
    if (texture->flags & ARRAY) {
      glNamedFramebufferTextureLayer(framebuffer->name, point, texture->name, attachment.mipLevel,
                                     attachment.layer);
    } else {
      glNamedFramebufferTexture(framebuffer->name, point, texture->name, attachment.mipLevel);
    }
  }
  const GLenum status = glCheckNamedFramebufferStatus(framebuffer->name, GL_DRAW_FRAMEBUFFER);
  if (status == GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT) {
    Log(LogLevel::Error, "Framebuffer has incomplete attachment");
  } else if (status != GL_FRAMEBUFFER_COMPLETE) {
    Log(LogLevel::Error, "Framebuffer incomplete/other: %d", static_cast<int>(status));
  }
  return framebuffer;
}

RenderPass* OpenGLContext::CreateRenderPass(const RenderPassDesc& desc) {
  auto* pass = new OpenGLRenderPass;
  pass->attachments = desc.attachments;
  return pass;
}

void OpenGLContext::BlitFramebuffer(Framebuffer* destination, Framebuffer* source, int32_t width,
                                    int32_t height) {
  const GLuint from = source != nullptr ? static_cast<OpenGLFramebuffer*>(source)->name : 0;
  const GLuint to = destination != nullptr ? static_cast<OpenGLFramebuffer*>(destination)->name : 0;
  glBlitNamedFramebuffer(from, to, 0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT,
                         GL_NEAREST);
}

void OpenGLContext::BeginRenderPass(RenderPass* pass, const RenderPassBeginInfo& info) {
  CHECK(pass != nullptr);
  CHECK(info.framebuffer != nullptr);
  if (pass == nullptr || info.framebuffer == nullptr) {
    return;
  }
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<OpenGLFramebuffer*>(info.framebuffer)->name);
  GLbitfield clearBits = 0;
  for (const AttachmentDesc& attachment : static_cast<OpenGLRenderPass*>(pass)->attachments) {
    if (attachment.loadAction != CLEAR) {
      continue;
    }
    if (IsColorAttachable(attachment.format)) {
      glClearColor(info.clearColor[0], info.clearColor[1], info.clearColor[2], info.clearColor[3]);
      clearBits |= GL_COLOR_BUFFER_BIT;
    } else if (IsDepthAttachable(attachment.format)) {
      clearBits |= GL_DEPTH_BUFFER_BIT;
      if (HasStencil(attachment.format)) {
        clearBits |= GL_STENCIL_BUFFER_BIT;
      }
    }
  }
  if (clearBits & GL_DEPTH_BUFFER_BIT) {
    // A pipeline without depth writes would otherwise leave the clear undone.
    glDepthMask(GL_TRUE);
    glClearDepth(info.clearDepth);
  }
  if (clearBits & GL_STENCIL_BUFFER_BIT) {
    glClearStencil(info.clearStencil);
  }
  if (clearBits != 0) {
    glClear(clearBits);
  }
}

void OpenGLContext::EndRenderPass() {}

void OpenGLContext::SetViewports(int32_t first, int32_t count, const Viewport* viewports) {
  const bool valid = first >= 0 && count >= 0 && int64_t(first) + count <= kMaxViewports &&
                     (count == 0 || viewports != nullptr);
  CHECK(valid);
  if (!valid || count == 0) {
    return;
  }
  float rectangles[kMaxViewports * 4];
  double depthRanges[kMaxViewports * 2];
  for (int32_t i = 0; i < count; ++i) {
    rectangles[i * 4 + 0] = viewports[i].x;
    rectangles[i * 4 + 1] = viewports[i].y;
    rectangles[i * 4 + 2] = viewports[i].width;
    rectangles[i * 4 + 3] = viewports[i].height;
    depthRanges[i * 2 + 0] = viewports[i].minDepth;
    depthRanges[i * 2 + 1] = viewports[i].maxDepth;
  }
  glViewportArrayv(static_cast<GLuint>(first), count, rectangles);
  glDepthRangeArrayv(static_cast<GLuint>(first), count, depthRanges);
}

void OpenGLContext::SetScissorRect(const ScissorRect& rect) {
  glEnable(GL_SCISSOR_TEST);
  glScissor(rect.x, rect.y, rect.width, rect.height);
}

}  // namespace Draw
