#include "gfx/opengl_shader_compile.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "base/check.h"
#include "base/log.h"
#include "gfx/opengl_context.h"

namespace Draw {

namespace {

constexpr int kInfoLogSize = 2048;

// Each line as its 1-based number right-aligned in four characters, then ":  " and the line, so
// that the compiler's line numbers can be found.
std::string NumberedSource(std::string_view text) {
  std::string numbered;
  int lineNumber = 1;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    char prefix[32];
    std::snprintf(prefix, sizeof(prefix), "%4d:  ", lineNumber++);
    numbered += prefix;
    numbered.append(text.substr(start, end - start));
    numbered += '\n';
    start = end + 1;
  }
  return numbered;
}

// Up to kInfoLogSize - 1 bytes of a shader's or program's log, always terminated.
template <class Getter>
void ReadInfoLog(Getter getter, GLuint object, char (&infoLog)[kInfoLogSize]) {
  GLsizei infoLength = 0;
  getter(object, kInfoLogSize, &infoLength, infoLog);
  infoLog[std::clamp<GLsizei>(infoLength, 0, kInfoLogSize - 1)] = '\0';
}

}  // namespace

std::string SourceText(const char* source, size_t length) {
  if (length == 0) {
    return std::string(source);
  }
  const void* zero = std::memchr(source, 0, length);
  if (zero != nullptr) {
    length = static_cast<size_t>(static_cast<const char*>(zero) - source);
  }
  return std::string(source, length);
}

GLuint CompileShader(GLenum type, const std::string& text) {
  const GLuint shader = glCreateShader(type);
  const char* source = text.c_str();
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint compiled = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (compiled == GL_TRUE) {
    return shader;
  }
  char infoLog[kInfoLogSize];
  ReadInfoLog(glGetShaderInfoLog, shader, infoLog);
  // The sink ends the line itself.
  std::string_view firstReport(infoLog);
  while (!firstReport.empty() && firstReport.back() == '\n') {
    firstReport.remove_suffix(1);
  }
  Log(LogLevel::Error, "%.*s", static_cast<int>(firstReport.size()), infoLog);
  LogRaw(NumberedSource(text));
  LogRaw(infoLog);
  glDeleteShader(shader);
  return 0;
}

bool LinkProgram(GLuint program) {
  glLinkProgram(program);
  GLint linked = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  if (linked == GL_TRUE) {
    return true;
  }
  char infoLog[kInfoLogSize];
  ReadInfoLog(glGetProgramInfoLog, program, infoLog);
  Log(LogLevel::Error, "Program failed to link");
  LogRaw(infoLog);
  return false;
}

GLuint CompileProgram(const char* vertexSource, const char* fragmentSource) {
  if (vertexSource == nullptr || fragmentSource == nullptr) {
    Log(LogLevel::Error, "CompileProgram needs both a vertex and a fragment source");
    return 0;
  }
  const GLuint vertexShader = CompileShader(GL_VERTEX_SHADER, vertexSource);
  const GLuint fragmentShader = CompileShader(GL_FRAGMENT_SHADER, fragmentSource);
  if (vertexShader == 0 || fragmentShader == 0) {
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    return 0;
  }
  GLuint program = glCreateProgram();
  glAttachShader(program, vertexShader);
  glAttachShader(program, fragmentShader);
  const bool linked = LinkProgram(program);
  // The shaders stay attached; deleting them now only lets them go with the program.
  glDeleteShader(vertexShader);
  glDeleteShader(fragmentShader);
  CHECK(linked);
  if (!linked) {
    glDeleteProgram(program);
    program = 0;
  }
  return program;
}

}  // namespace Draw
