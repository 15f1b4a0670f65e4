#pragma once
// How the drawing interface's enumerations become OpenGL enums, and the names the debug-output
// callback prints. Values outside a table that has no fallback are programming errors (CHECK);
// the functions still return a harmless value so that execution can go on after a check.
#include <glad/gl.h>

#include "base/log.h"
#include "gfx/draw_context.h"

namespace Draw {

// Storage format of a texture: the sized internal format, GL_RGBA8 for anything unlisted.
GLenum GetTextureInternalFormat(DataFormat format);
// Pixel layout of uploaded rows (GL_RED, GL_RG, GL_RGB, GL_RGBA or the integer variants).
GLenum GetUploadLayout(DataFormat format);
// Component type of uploads and vertex attributes; formats 1..16 only.
GLenum GetDataFormatType(DataFormat format);
// Bytes per 4x4 block of a block-compressed format, 0 for every other format.
int GetCompressedBlockBytes(DataFormat format);

GLenum ToGLComparison(Comparison comparison);
GLenum ToGLStencilOp(StencilOp op);
GLenum ToGLBlendFactor(BlendFactor factor);
GLenum ToGLBlendOp(BlendOp op);
GLenum ToGLAddressMode(TextureAddressMode mode);  // unlisted modes clamp to the edge
GLenum ToGLPrimitive(Primitive primitive);        // unlisted primitives draw points
GLenum ToGLShaderType(ShaderStage stage);         // 0 for stages OpenGL does not compile here

const char* DebugSourceName(GLenum source);
const char* DebugTypeName(GLenum type);
// The log level for a debug message of this severity; false for severities that are dropped.
bool DebugSeverityLevel(GLenum severity, LogLevel* level);

}  // namespace Draw
