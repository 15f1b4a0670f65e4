#pragma once
// Compiling and linking GLSL: what the context's shader modules and pipelines and the plain
// program helper share. Failures are logged with the compiler's log and the numbered source.
#include <glad/gl.h>

#include <cstddef>
#include <string>

namespace Draw {

// Sources may come with or without their terminating zero; with a length, nothing past it is
// read.
std::string SourceText(const char* source, size_t length);
// Compiles one stage; on failure logs the compiler log, the numbered source and the log again
// (the source can be long, and the log is what one reads first and last) and returns 0.
GLuint CompileShader(GLenum type, const std::string& text);
// Links program; on failure writes the link log as raw text. Returns whether it linked.
bool LinkProgram(GLuint program);

}  // namespace Draw
