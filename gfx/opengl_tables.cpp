#include "gfx/opengl_tables.h"

#include <iterator>

#include "base/check.h"

namespace Draw {

GLenum GetTextureInternalFormat(DataFormat format) {
  switch (format) {
    case R8_UNORM: return GL_R8;
    case R8G8_UNORM: return GL_RG8;
    case R8G8B8_UNORM: return GL_RGB8;
    case R8G8B8A8_UNORM_SRGB: return GL_SRGB8_ALPHA8;
    // Signed, integer and float formats are stored as what they say, so that data uploaded in
    // their own texel size lands where it should.
    case R8G8B8A8_SNORM: return GL_RGBA8_SNORM;
    case R8G8B8A8_UINT: return GL_RGBA8UI;
    case R8G8B8A8_SINT: return GL_RGBA8I;
    case R16_FLOAT: return GL_R16F;
    case R16G16_FLOAT: return GL_RG16F;
    case R16G16B16_FLOAT: return GL_RGB16F;
    case R16G16B16A16_FLOAT: return GL_RGBA16F;
    case R32_FLOAT: return GL_R32F;
    case R32G32_FLOAT: return GL_RG32F;
    case R32G32B32_FLOAT: return GL_RGB32F;
    case BC1_RGB_UNORM: return GL_COMPRESSED_RGB_S3TC_DXT1_EXT;
    case BC2_UNORM: return GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
    case BC3_UNORM: return GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
    case BC4_UNORM: return GL_COMPRESSED_RED_RGTC1;
    case BC4_SNORM: return GL_COMPRESSED_SIGNED_RED_RGTC1;
    case BC5_UNORM: return GL_COMPRESSED_RG_RGTC2;
    case BC5_SNORM: return GL_COMPRESSED_SIGNED_RG_RGTC2;
    case BC6H_UFLOAT: return GL_COMPRESSED_RGB_BPTC_UNSIGNED_FLOAT;
    case BC6H_SFLOAT: return GL_COMPRESSED_RGB_BPTC_SIGNED_FLOAT;
    case BC7_UNORM: return GL_COMPRESSED_RGBA_BPTC_UNORM;
    case BC7_UNORM_SRGB: return GL_COMPRESSED_SRGB_ALPHA_BPTC_UNORM;
    case S8: return GL_STENCIL_INDEX8;
    case D16: return GL_DEPTH_COMPONENT16;
    case D24_S8: return GL_DEPTH24_STENCIL8;
    case D32F: return GL_DEPTH_COMPONENT32F;
    case D32F_S8: return GL_DEPTH32F_STENCIL8;
    // Four-component 32-bit float colour is kept at 8 bits per channel: it is only ever used
    // for colour images, and the upload converts.
    default: return GL_RGBA8;
  }
}

GLenum GetUploadLayout(DataFormat format) {
  switch (format) {
    case R8_UNORM:
    case R16_FLOAT:
    case R32_FLOAT:
    case BC4_UNORM:
    case BC4_SNORM:
      return GL_RED;
    case R8G8_UNORM:
    case R16G16_FLOAT:
    case R32G32_FLOAT:
    case BC5_UNORM:
    case BC5_SNORM:
      return GL_RG;
    case R8G8B8_UNORM:
    case R16G16B16_FLOAT:
    case R32G32B32_FLOAT:
      return GL_RGB;
    case R8G8B8A8_UINT:
    case R8G8B8A8_SINT:
      return GL_RGBA_INTEGER;
    default:
      return GL_RGBA;
  }
}

GLenum GetDataFormatType(DataFormat format) {
  switch (format) {
    case R8_UNORM:
    case R8G8_UNORM:
    case R8G8B8_UNORM:
    case R8G8B8A8_UNORM:
    case R8G8B8A8_UNORM_SRGB:
    case R8G8B8A8_UINT:
      return GL_UNSIGNED_BYTE;
    case R8G8B8A8_SNORM:
    case R8G8B8A8_SINT:
      return GL_BYTE;
    case R16_FLOAT:
    case R16G16_FLOAT:
    case R16G16B16_FLOAT:
    case R16G16B16A16_FLOAT:
      return GL_HALF_FLOAT;
    case R32_FLOAT:
    case R32G32_FLOAT:
    case R32G32B32_FLOAT:
    case R32G32B32A32_FLOAT:
      return GL_FLOAT;
    default:
      CHECK(false);
      return GL_UNSIGNED_BYTE;
  }
}

int GetCompressedBlockBytes(DataFormat format) {
  switch (format) {
    case BC1_RGB_UNORM:
    case BC4_UNORM:
    case BC4_SNORM:
      return 8;
    case BC2_UNORM:
    case BC3_UNORM:
    case BC5_UNORM:
    case BC5_SNORM:
    case BC6H_UFLOAT:
    case BC6H_SFLOAT:
    case BC7_UNORM:
    case BC7_UNORM_SRGB:
      return 16;
    default:
      return 0;
  }
}

GLenum ToGLComparison(Comparison comparison) {
  static constexpr GLenum kTable[] = {GL_NEVER,   GL_LESS,     GL_EQUAL,  GL_LEQUAL,
                                      GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  const unsigned index = static_cast<unsigned>(comparison);
  CHECK(index < std::size(kTable));
  return index < std::size(kTable) ? kTable[index] : GL_ALWAYS;
}

GLenum ToGLStencilOp(StencilOp op) {
  static constexpr GLenum kTable[] = {GL_KEEP, GL_ZERO,   GL_REPLACE,   GL_INCR,
                                      GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
  const unsigned index = static_cast<unsigned>(op);
  CHECK(index < std::size(kTable));
  return index < std::size(kTable) ? kTable[index] : GL_KEEP;
}

GLenum ToGLBlendFactor(BlendFactor factor) {
  static constexpr GLenum kTable[] = {
      GL_ZERO,           GL_ONE,
      GL_SRC_COLOR,      GL_ONE_MINUS_SRC_COLOR,
      GL_DST_COLOR,      GL_ONE_MINUS_DST_COLOR,
      GL_SRC_ALPHA,      GL_ONE_MINUS_SRC_ALPHA,
      GL_DST_ALPHA,      GL_ONE_MINUS_DST_ALPHA,
      GL_CONSTANT_COLOR, GL_ONE_MINUS_CONSTANT_COLOR,
      GL_CONSTANT_ALPHA, GL_ONE_MINUS_CONSTANT_ALPHA,
      GL_SRC1_COLOR,     GL_ONE_MINUS_SRC1_COLOR,
      GL_SRC1_ALPHA,     GL_ONE_MINUS_SRC1_ALPHA,
  };
  const unsigned index = static_cast<unsigned>(factor);
  CHECK(index < std::size(kTable));
  return index < std::size(kTable) ? kTable[index] : GL_ONE;
}

GLenum ToGLBlendOp(BlendOp op) {
  static constexpr GLenum kTable[] = {GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT,
                                      GL_MIN, GL_MAX};
  const unsigned index = static_cast<unsigned>(op);
  CHECK(index < std::size(kTable));
  return index < std::size(kTable) ? kTable[index] : GL_FUNC_ADD;
}

GLenum ToGLAddressMode(TextureAddressMode mode) {
  switch (mode) {
    case TextureAddressMode::REPEAT: return GL_REPEAT;
    case TextureAddressMode::REPEAT_MIRROR: return GL_MIRRORED_REPEAT;
    case TextureAddressMode::CLAMP_TO_BORDER: return GL_CLAMP_TO_BORDER;
    default: return GL_CLAMP_TO_EDGE;
  }
}

GLenum ToGLPrimitive(Primitive primitive) {
  switch (primitive) {
    case Primitive::LINE_LIST: return GL_LINES;
    case Primitive::LINE_STRIP: return GL_LINE_STRIP;
    case Primitive::TRIANGLE_LIST: return GL_TRIANGLES;
    case Primitive::TRIANGLE_STRIP: return GL_TRIANGLE_STRIP;
    case Primitive::PATCH_LIST: return GL_PATCHES;
    // Nothing draws with adjacency; both line and both triangle variants take the strip form.
    case Primitive::LINE_LIST_ADJACENCY:
    case Primitive::LINE_STRIP_ADJACENCY:
      return GL_LINE_STRIP_ADJACENCY;
    case Primitive::TRIANGLE_LIST_ADJACENCY:
    case Primitive::TRIANGLE_STRIP_ADJACENCY:
      return GL_TRIANGLE_STRIP_ADJACENCY;
    default: return GL_POINTS;
  }
}

GLenum ToGLShaderType(ShaderStage stage) {
  switch (stage) {
    case VERTEX: return GL_VERTEX_SHADER;
    case FRAGMENT: return GL_FRAGMENT_SHADER;
    case GEOMETRY: return GL_GEOMETRY_SHADER;
    default: return 0;
  }
}

const char* DebugSourceName(GLenum source) {
  switch (source) {
    case GL_DEBUG_SOURCE_API: return "API";
    case GL_DEBUG_SOURCE_WINDOW_SYSTEM: return "WINSYS";
    case GL_DEBUG_SOURCE_SHADER_COMPILER: return "SHCOMP";
    case GL_DEBUG_SOURCE_THIRD_PARTY: return "THP";
    case GL_DEBUG_SOURCE_APPLICATION: return "APP";
    case GL_DEBUG_SOURCE_OTHER: return "OTHER";
    default: return "N/A";
  }
}

const char* DebugTypeName(GLenum type) {
  switch (type) {
    case GL_DEBUG_TYPE_ERROR: return "error";
    case GL_DEBUG_TYPE_DEPRECATED_BEHAVIOR: return "deprecated";
    case GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR: return "undefined";
    case GL_DEBUG_TYPE_PORTABILITY: return "portability";
    case GL_DEBUG_TYPE_PERFORMANCE: return "performance";
    case GL_DEBUG_TYPE_OTHER: return "other";
    case GL_DEBUG_TYPE_MARKER: return "marker";
    case GL_DEBUG_TYPE_PUSH_GROUP: return "push";
    case GL_DEBUG_TYPE_POP_GROUP: return "pop";
    default: return "N/A";
  }
}

bool DebugSeverityLevel(GLenum severity, LogLevel* level) {
  switch (severity) {
    case GL_DEBUG_SEVERITY_HIGH: *level = LogLevel::Error; return true;
    case GL_DEBUG_SEVERITY_MEDIUM: *level = LogLevel::Warning; return true;
    case GL_DEBUG_SEVERITY_LOW: *level = LogLevel::Info; return true;
    case GL_DEBUG_SEVERITY_NOTIFICATION: *level = LogLevel::Debug; return true;
    default: return false;
  }
}

}  // namespace Draw
