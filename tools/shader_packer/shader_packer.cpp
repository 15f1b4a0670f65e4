// loomwork-shader-packer: packs one GLSL 4.50 source file into a shader file for one stage.
//
// Sources may share code through #include "file" (relative to the including file), written the
// way glslangValidator understands it, behind "#extension GL_GOOGLE_include_directive". Drivers
// know neither, so the packer expands the includes and drops that extension line; #line
// directives keep the driver's error messages pointing at the right file and line.
//
// The sampler list of the file comes from the source itself: every sampler is declared as
// "layout(binding = N) uniform samplerXXX name;", so the binding in the code and the binding the
// program sets after linking cannot disagree. A sampler without a binding is an error, since it
// would silently read unit 0.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "base/log.h"
#include "file/file_util.h"
#include "gfx/shader_file.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kToolName = "loomwork-shader-packer";

// Deeper nesting than this is an include cycle or a mistake.
constexpr int kMaxIncludeDepth = 16;

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "Usage: %s --stage vertex|fragment INPUT.glsl -o OUTPUT.bin\n"
               "Packs one GLSL 4.50 source file (with its #include files expanded) into a shader\n"
               "file for one stage. The sampler list comes from the source's\n"
               "\"layout(binding = N) uniform samplerXXX name;\" declarations.\n",
               kToolName);
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kToolName, message.c_str());
  PrintUsage(stderr);
  return kExitUsage;
}

int Failure(const std::string& message) {
  std::fprintf(stderr, "%s: error: %s\n", kToolName, message.c_str());
  return kExitFailure;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

class SourceExpander {
 public:
  // False with error set when a file cannot be read or includes nest too deep.
  bool Expand(const std::string& path, int depth, std::string& out) {
    if (depth > kMaxIncludeDepth) {
      error = "includes nest deeper than " + std::to_string(kMaxIncludeDepth) +
              " levels (an include cycle?) at " + path;
      return false;
    }
    std::vector<uint8_t> bytes;
    if (!ReadFile(path, bytes)) {
      error = "cannot read " + path;
      return false;
    }
    const int sourceNumber = nextSourceNumber_++;
    const std::string text(bytes.begin(), bytes.end());
    static const std::regex kInclude(R"re(^\s*#\s*include\s+"([^"]+)"\s*(//.*)?$)re");
    static const std::regex kIncludeExtension(
        R"(^\s*#\s*extension\s+GL_GOOGLE_include_directive\b.*$)");
    int lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      start = end + 1;
      ++lineNumber;
      std::smatch match;
      if (std::regex_match(line, kIncludeExtension)) {
        out += '\n';  // Keeps the line numbers of the rest of the file.
      } else if (std::regex_match(line, match, kInclude)) {
        // The file's name beside its number, for reading the driver's "number:line" messages.
        out += "#line 1 " + std::to_string(nextSourceNumber_) + "  // " + match[1].str() + "\n";
        if (!Expand(DirectoryOf(path) + match[1].str(), depth + 1, out)) return false;
        out += "#line " + std::to_string(lineNumber + 1) + " " + std::to_string(sourceNumber) +
               "\n";
      } else {
        out += line;
        out += '\n';
      }
    }
    return true;
  }

  std::string error;

 private:
  int nextSourceNumber_ = 0;
};

// The source with comments replaced by spaces (line breaks kept), so declarations inside
// comments are not taken for real ones.
std::string WithoutComments(const std::string& source) {
  std::string out = source;
  size_t i = 0;
  while (i < out.size()) {
    if (out.compare(i, 2, "//") == 0) {
      while (i < out.size() && out[i] != '\n') out[i++] = ' ';
    } else if (out.compare(i, 2, "/*") == 0) {
      const size_t close = out.find("*/", i + 2);
      const size_t stop = close == std::string::npos ? out.size() : close + 2;
      for (; i < stop; ++i) {
        if (out[i] != '\n') out[i] = ' ';
      }
    } else {
      ++i;
    }
  }
  return out;
}

// Every sampler uniform with its layout binding, in the order of declaration.
bool ParseSamplerBindings(const std::string& source, std::vector<Draw::SamplerBinding>& bindings,
                          std::string& error) {
  const std::string code = WithoutComments(source);
  static const std::regex kSampler(R"(\buniform\s+([iu]?sampler\w*)\s+(\w+)\s*(\[)?)");
  static const std::regex kBinding(R"(\blayout\s*\([^)]*\bbinding\s*=\s*(\d+)[^)]*\)\s*$)");
  for (auto it = std::sregex_iterator(code.begin(), code.end(), kSampler);
       it != std::sregex_iterator(); ++it) {
    const std::smatch& match = *it;
    const std::string name = match[2].str();
    if (match[3].matched) {
      error = "sampler array " + name + " is not supported; declare one sampler per unit";
      return false;
    }
    // The qualifiers of this declaration: back to the end of the previous statement.
    const size_t declaration = static_cast<size_t>(match.position(0));
    const size_t previous = code.find_last_of(";{}", declaration == 0 ? 0 : declaration - 1);
    const size_t qualifiers = previous == std::string::npos || declaration == 0 ? 0 : previous + 1;
    const std::string prefix = code.substr(qualifiers, declaration - qualifiers);
    std::smatch binding;
    if (!std::regex_search(prefix, binding, kBinding)) {
      error = "sampler " + name + " has no layout(binding = N)";
      return false;
    }
    const long unit = std::strtol(binding[1].str().c_str(), nullptr, 10);
    if (unit > 31) {
      error = "sampler " + name + " is bound to unit " + binding[1].str() + ", beyond 31";
      return false;
    }
    bool seen = false;
    for (const Draw::SamplerBinding& known : bindings) {
      if (known.name != name) continue;
      if (known.unit != unit) {
        error = "sampler " + name + " is declared with two different bindings";
        return false;
      }
      seen = true;
    }
    if (!seen) bindings.push_back({name, static_cast<int32_t>(unit)});
  }
  return true;
}

bool SameShader(const ShaderCode& a, const ShaderCode& b) {
  if (a.code != b.code || a.samplers.size() != b.samplers.size()) return false;
  for (size_t i = 0; i < a.samplers.size(); ++i) {
    if (a.samplers[i].name != b.samplers[i].name || a.samplers[i].unit != b.samplers[i].unit) {
      return false;
    }
  }
  return true;
}

int Run(int argc, char** argv) {
  std::string stageName, input, output;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      PrintUsage(stdout);
      return kExitOk;
    }
    if (arg == "--stage" || arg == "-o") {
      if (i + 1 >= argc) return UsageError(std::string(arg) + " needs a value");
      (arg == "--stage" ? stageName : output) = argv[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + std::string(arg));
    } else if (input.empty()) {
      input = arg;
    } else {
      return UsageError("more than one input file");
    }
  }
  if (stageName.empty()) return UsageError("--stage is required");
  if (input.empty()) return UsageError("no input file");
  if (output.empty()) return UsageError("-o OUTPUT is required");
  Draw::ShaderStage stage;
  if (stageName == "vertex") {
    stage = Draw::VERTEX;
  } else if (stageName == "fragment") {
    stage = Draw::FRAGMENT;
  } else {
    return UsageError("unknown stage " + stageName + " (vertex or fragment)");
  }

  SourceExpander expander;
  std::string source;
  if (!expander.Expand(input, 0, source)) return Failure(expander.error);
  UnishaderData record;
  record.name = BaseName(input);
  record.stage = stage;
  ShaderCode& glsl = record.languages[UnishaderLanguageIndex(Draw::GLSL_450)];
  glsl.code = source;
  std::string error;
  if (!ParseSamplerBindings(source, glsl.samplers, error)) return Failure(input + ": " + error);

  // Written beside the target and read back before it replaces the target, so a failed write
  // never leaves a half-written shader file that the build would take as up to date.
  const std::string temporary = output + ".tmp" + std::to_string(getpid());
  if (!WriteShaderFile(nullptr, temporary, record)) {
    std::remove(temporary.c_str());
    return Failure("cannot write " + output);
  }
  Draw::ShaderStage readStage = Draw::VERTEX;
  const ShaderCode written = ReadShaderFile(nullptr, temporary, Draw::GLSL_450, &readStage);
  if (readStage != stage || !SameShader(written, glsl)) {
    std::remove(temporary.c_str());
    return Failure("writing " + output + " failed (the file read back differs)");
  }
  if (std::rename(temporary.c_str(), output.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    std::remove(temporary.c_str());
    return Failure("cannot replace " + output + ": " + reason);
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  AddLogSink(DebugOutputSink, nullptr);
  return Run(argc, argv);
}
