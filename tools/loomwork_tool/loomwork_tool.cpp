// loomwork-tool: inspects, converts and checks sculpture files without a headset. Files are
// loaded through the same path the application uses, so what the tool reports is what the
// application would show.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "base/log.h"
#include "base/timing.h"
#include "export/export_mesh.h"
#include "export/mesh_writers.h"
#include "file/atomic_file_writer.h"
#include "file/file_util.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/sculpture_file.h"
#include "sculpt/stamp_mode.h"
#include "sculpt/stroke_sculpture.h"
#include "sculpt/test_scenes.h"
#include "sculpt/voxel_grid.h"
#include "tools/loomwork_tool/ply_writer.h"

// The grid is written exactly as it lies in memory and documented as little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kToolName = "loomwork-tool";

std::string SceneNameList() {
  std::string names;
  for (std::string_view name : kTestSceneNames) {
    if (!names.empty()) names += ", ";
    names += name;
  }
  return names;
}

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "Usage: %s COMMAND [ARGUMENTS]\n"
               "Inspects, converts and checks Loomwork sculpture files.\n"
               "\n"
               "Commands:\n"
               "  scene NAME -o FILE            write a built-in test scene as a sculpture file\n"
               "                                (scenes: %s; strokes: a 50,000-record\n"
               "                                sculpture of sphere strokes, for timing)\n"
               "  info FILE                     print the header and the records by type and mode\n"
               "  grid FILE -o OUT              replay the sculpture and write its six sample\n"
               "                                channels: 192^3 little-endian int16 each,\n"
               "                                x fastest, then y, then z\n"
               "  mesh FILE -o OUT.ply [--stats]\n"
               "                                replay the sculpture, extract its surface and\n"
               "                                write it as a binary PLY in world metres\n"
               "  grid FILE --at N -o OUT       the same after the first N records only\n"
               "  history FILE                  the units of undo the program makes of the file\n"
               "                                when it loads it, and the parts that start by\n"
               "                                clearing every channel (a scene or a New)\n"
               "  export FILE -o OUT.{glb,gltf,obj,stl,ply} [--simplify RATIO] [--units mm|m]\n"
               "       [--stats]                the welded surface for other tools: glTF 2.0\n"
               "                                (metres, Y up), OBJ with vertex colours, binary\n"
               "                                STL (millimetres unless --units m), binary PLY\n"
               "  help                          print this help\n"
               "\n"
               "Options:\n"
               "  -o, --output FILE   file to write; it is replaced only once completely written\n"
               "                      (a link is written through to its target; a FIFO, a\n"
               "                      device or - for standard output is written as a stream)\n"
               "  --stats             (mesh, export) print records, triangles and times as one\n"
               "                      JSON line\n"
               "  --simplify RATIO    (export) keep this fraction of the triangles, in (0, 1]\n"
               "  --units mm|m        (export) units of OBJ, STL and PLY files\n"
               "  -h, --help          print this help\n"
               "\n"
               "Exit status: 0 on success, 1 when a file cannot be read, is damaged or cannot\n"
               "be written, 2 for a usage error.\n",
               kToolName, SceneNameList().c_str());
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n\n", kToolName, message.c_str());
  PrintUsage(stderr);
  return kExitUsage;
}

int Failure(const std::string& message) {
  std::fprintf(stderr, "%s: error: %s\n", kToolName, message.c_str());
  return kExitFailure;
}

// mesh and export refuse alike a sculpture with nothing to write, and write no file.
int NoSurface(const std::string& input) {
  return Failure("'" + input + "' has no surface to write");
}

// The core reports load and write failures through the log; errors and warnings reach the user.
void StderrLogSink(void*, int level, const char* text, int length) {
  const char* kind = nullptr;
  if (level == int(LogLevel::Error) || level == int(LogLevel::Fatal)) kind = "error";
  if (level == int(LogLevel::Warning)) kind = "warning";
  if (kind) std::fprintf(stderr, "%s: %s: %.*s\n", kToolName, kind, length, text);
}

struct Arguments {
  std::string command;
  std::vector<std::string> positional;
  std::string output;
  bool hasOutput = false;
  bool stats = false;
  bool help = false;
  float simplify = 1.0f;  // export --simplify RATIO
  std::string units;      // export --units mm|m
  bool hasAt = false;
  uint64_t at = 0;  // grid --at N: the grid after the first N records
};

struct CommandInfo {
  std::string_view name;
  std::string_view operand;  // what the single positional argument names
  bool writesOutput;
  bool takesStats;
};

constexpr CommandInfo kCommands[] = {
    {"scene", "a scene name", true, false},
    {"info", "a sculpture file", false, false},
    {"grid", "a sculpture file", true, false},
    {"mesh", "a sculpture file", true, true},
    {"history", "a sculpture file", false, false},
    {"export", "a sculpture file", true, true},
};

const CommandInfo* FindCommand(std::string_view name) {
  for (const CommandInfo& command : kCommands)
    if (command.name == name) return &command;
  return nullptr;
}

// Returns an empty string when the arguments parse, otherwise the usage error.
std::string ParseArguments(int argc, char** argv, Arguments& args) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (!isOption) {
      if (args.command.empty())
        args.command = arg;
      else
        args.positional.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      args.help = true;
    } else if (arg == "--stats") {
      args.stats = true;
    } else if (arg == "--simplify" || arg == "--units") {
      if (i + 1 >= argc) return std::string(arg) + " needs a value";
      const std::string value = argv[++i];
      if (arg == "--units") {
        if (value != "mm" && value != "m") return "--units takes mm or m, not '" + value + "'";
        args.units = value;
      } else {
        char* end = nullptr;
        const float ratio = std::strtof(value.c_str(), &end);
        if (value.empty() || *end != 0 || !(ratio > 0.0f && ratio <= 1.0f))
          return "--simplify takes a ratio in (0, 1], not '" + value + "'";
        args.simplify = ratio;
      }
    } else if (arg == "--at" || arg.starts_with("--at=")) {
      if (args.hasAt) return "--at is given more than once";
      std::string value;
      if (arg.starts_with("--at=")) {
        value = arg.substr(std::strlen("--at="));
      } else {
        if (i + 1 >= argc) return "--at needs a record count";
        value = argv[++i];
      }
      char* end = nullptr;
      errno = 0;
      const unsigned long long n = std::strtoull(value.c_str(), &end, 10);
      if (value.empty() || value[0] == '-' || *end != 0 || errno != 0)
        return "--at needs a record count, not '" + value + "'";
      args.at = n;
      args.hasAt = true;
    } else if (arg == "-o" || arg == "--output" || arg.starts_with("--output=")) {
      if (args.hasOutput) return "the output file is given more than once";
      if (arg.starts_with("--output=")) {
        args.output = arg.substr(std::strlen("--output="));
      } else {
        if (i + 1 >= argc) return std::string(arg) + " needs a file name";
        args.output = argv[++i];
      }
      if (args.output.empty()) return "the output file name is empty";
      args.hasOutput = true;
    } else {
      return "unknown option '" + std::string(arg) + "'";
    }
  }
  return "";
}

// Magic bytes in file order, printable ASCII as is and anything else escaped.
std::string MagicText(const uint8_t* bytes) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const uint8_t c = bytes[i];
    if (c >= 0x20 && c < 0x7f && c != '\\' && c != '"') {
      text += char(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02x", c);
      text += escaped;
    }
  }
  return text;
}

// Why an input file cannot be read, naming it and giving the system's reason; empty when it can.
std::string InputProblem(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return "'" + path + "' does not exist";
    return "cannot read '" + path + "' (" + std::strerror(errno) + ")";
  }
  if (S_ISDIR(info.st_mode)) return "'" + path + "' is a directory";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return "cannot read '" + path + "' (" + std::strerror(errno) + ")";
  close(fd);
  return "";
}

// Whether writing `output` would write into the file `input`: the same file by any name
// (./s.sculpt, a hard link, a link to it), or a descriptor the output names (-, /dev/stdout,
// /dev/fd/N) that the shell opened on it (-o - 1<>s.sculpt).
bool WritesOver(const std::string& input, const std::string& output) {
  struct stat in, out;
  if (stat(input.c_str(), &in) != 0) return false;
  const int descriptor = DescriptorOfTarget(output);
  const bool found =
      descriptor >= 0 ? fstat(descriptor, &out) == 0 : stat(output.c_str(), &out) == 0;
  return found && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

// Every file the command writes: the output, and beside a .gltf its buffer.
std::vector<std::string> FilesWritten(const Arguments& args) {
  if (args.command == "export" && ExportFormatOf(args.output) == ExportFormat::Gltf)
    return {args.output, GltfBufferPath(args.output)};
  return {args.output};
}

int RunScene(const Arguments& args) {
  const std::string& name = args.positional[0];
  const bool strokes = name == "strokes";
  if (!strokes && !IsTestScene(name))
    return UsageError("unknown scene '" + name + "' (known scenes: " + SceneNameList() + ")");
  const std::vector<uint8_t> bytes = SerializeSculpture(
      strokes ? StrokeSculptureRecords(kStrokeSculptureRecords) : TestSceneRecords(name));
  // WriteDataFileAtomic logs the reason of a failure.
  if (WriteDataFileAtomic(nullptr, args.output, bytes.data(), bytes.size()) != WriteResult::Ok)
    return kExitFailure;
  return kExitOk;
}

// Reads a sculpture file as the application does; false after saying why.
bool ReadSculptureArgument(const std::string& path, SculptureHeader& header,
                           std::vector<SculptOp>& records, uint64_t& fileSize) {
  FILE* file = OpenFile(path, "rb");
  if (!file) {
    Failure("cannot read '" + path + "'");
    return false;
  }
  std::string error, warning;
  header = SculptureHeader{};
  fileSize = 0;
  const bool read = ReadSculpture(file, path, header, records, error, warning, &fileSize);
  std::fclose(file);
  if (!read) {
    Failure(error);
    return false;
  }
  if (!warning.empty()) std::fprintf(stderr, "%s: warning: %s\n", kToolName, warning.c_str());
  return true;
}

int RunInfo(const Arguments& args) {
  const std::string& path = args.positional[0];
  SculptureHeader header;
  std::vector<SculptOp> records;
  uint64_t fileSize = 0;
  if (!ReadSculptureArgument(path, header, records, fileSize)) {
    if (fileSize >= kSculptureHeaderSize) {
      std::fprintf(stderr,
                   "%s: header: magic \"%s\" (expected \"RDLM\"), version %u (expected %u), "
                   "count %u; the file holds %llu whole records\n",
                   kToolName, MagicText(reinterpret_cast<const uint8_t*>(&header.magic)).c_str(),
                   header.version, kSculptureVersion, header.count,
                   static_cast<unsigned long long>((fileSize - kSculptureHeaderSize) /
                                                   sizeof(SculptOp)));
    }
    return kExitFailure;
  }

  size_t byType[5] = {};  // clear, sphere, box, cylinder, other
  size_t byMode[6] = {};  // set, add, subtract, sandpaper, buff, other
  for (const SculptOp& op : records) {
    const bool known = op.type >= kOpClear && op.type <= kOpCylinder;
    ++byType[known ? op.type : 4];
    if (op.type == kOpSphere || op.type == kOpBox || op.type == kOpCylinder) {
      const bool knownMode = op.mode >= kStampSet && op.mode <= kStampBuff;
      ++byMode[knownMode ? op.mode - kStampSet : 5];
    }
  }
  std::printf("file: %s\n", path.c_str());
  std::printf("size: %llu bytes\n", static_cast<unsigned long long>(fileSize));
  std::printf("magic: %s\n", MagicText(reinterpret_cast<const uint8_t*>(&header.magic)).c_str());
  std::printf("version: %u\n", header.version);
  std::printf("count: %u\n", header.count);
  std::printf("records: %zu\n", records.size());
  std::printf("types: clear %zu, sphere %zu, box %zu, cylinder %zu, other %zu\n", byType[0],
              byType[1], byType[2], byType[3], byType[4]);
  std::printf("modes: set %zu, add %zu, subtract %zu, sandpaper %zu, buff %zu, other %zu\n",
              byMode[0], byMode[1], byMode[2], byMode[3], byMode[4], byMode[5]);
  return kExitOk;
}

// The application's sculpture state, wired the way the application wires it.
struct LoadedSculpture {
  LoadedSculpture()
      : grid(kGridSize, kGridChannels), blocks(&grid, kBlockSize), document(&grid, nullptr) {
    grid.listener = &blocks;
  }
  VoxelGrid grid;
  BlockTessellator blocks;
  SculptDocument document;
};

// Applies every record at once. Failures are reported by the document through the log.
std::unique_ptr<LoadedSculpture> LoadFile(const std::string& path, double* loadSeconds) {
  auto loaded = std::make_unique<LoadedSculpture>();
  const double start = TimeNow();
  if (!loaded->document.LoadSculpture(path, 0)) return nullptr;
  if (loadSeconds) *loadSeconds = TimeNow() - start;
  return loaded;
}

// The grid after the first `count` records: the file is queued as a replay and one frame applies
// that many, as the history scrubber would show it.
std::unique_ptr<LoadedSculpture> LoadFirstRecords(const std::string& path, uint64_t count,
                                                  int* exitCode) {
  auto loaded = std::make_unique<LoadedSculpture>();
  *exitCode = kExitFailure;
  const int rate = int(std::min<uint64_t>(std::max<uint64_t>(count, 1), uint64_t(INT32_MAX)));
  if (!loaded->document.LoadSculpture(path, rate)) return nullptr;
  const size_t records = loaded->document.ReplayQueue().size();
  if (count > records) {
    std::fprintf(stderr, "%s: error: --at %llu is past the end: '%s' holds %zu records\n",
                 kToolName, static_cast<unsigned long long>(count), path.c_str(), records);
    *exitCode = kExitUsage;
    return nullptr;
  }
  if (count > 0) {
    std::vector<SculptOp> none;
    loaded->document.ApplyFrame(none);
  }
  return loaded;
}

int RunGrid(const Arguments& args) {
  int failure = kExitFailure;
  std::unique_ptr<LoadedSculpture> loaded =
      args.hasAt ? LoadFirstRecords(args.positional[0], args.at, &failure)
                 : LoadFile(args.positional[0], nullptr);
  if (!loaded) return failure;
  const VoxelGrid& grid = loaded->grid;
  // Only the channels: the allocation's tail exists for vector loads and is not part of the grid.
  const size_t bytes = size_t(grid.channelCount) * size_t(grid.channelSize) * sizeof(int16_t);
  if (WriteDataFileAtomic(nullptr, args.output, grid.samples.data(), bytes) != WriteResult::Ok)
    return kExitFailure;
  return kExitOk;
}

// Loads at once and extracts every block, timing both.
std::unique_ptr<LoadedSculpture> LoadAndExtract(const std::string& path, double* applySeconds,
                                                double* extractSeconds) {
  std::unique_ptr<LoadedSculpture> loaded = LoadFile(path, applySeconds);
  if (!loaded) return nullptr;
  const double start = TimeNow();
  loaded->blocks.ExtractDirtyBlocks(INFINITY);
  *extractSeconds = TimeNow() - start;
  return loaded;
}

int RunMesh(const Arguments& args) {
  double applySeconds = 0, extractSeconds = 0;
  std::unique_ptr<LoadedSculpture> loaded =
      LoadAndExtract(args.positional[0], &applySeconds, &extractSeconds);
  if (!loaded) return kExitFailure;
  const BlockTessellator& blocks = loaded->blocks;
  bool hasSurface = false;
  for (int b = 0; b < blocks.blockCount && !hasSurface; ++b)
    hasSurface = !blocks.Block(b).vertices.empty();
  if (!hasSurface) return NoSurface(args.positional[0]);

  PlyCounts counts;
  std::string error;
  if (!WriteBlocksAsPly(loaded->blocks, args.output, counts, error)) return Failure(error);
  if (args.stats) {
    // The same extraction again, as re-meshing every block costs once the vertex memory is in
    // use: the first one also pays for that memory.
    loaded->blocks.MarkAllDirty();
    const double start = TimeNow();
    loaded->blocks.ExtractDirtyBlocks(INFINITY);
    const double warmSeconds = TimeNow() - start;
    std::printf(
        "{\"records\": %zu, \"triangles\": %zu, \"apply_ms\": %.3f, \"extract_ms\": %.3f, "
        "\"warm_extract_ms\": %.3f}\n",
        loaded->document.OperationLog().size(), counts.faces, applySeconds * 1000.0,
        extractSeconds * 1000.0, warmSeconds * 1000.0);
  }
  return kExitOk;
}

// The units of undo the program makes of the file when it loads it: the whole file is one unit
// (undo returns to what was there before the load). Inside it, every record that clears all
// channels starts a part, as a test scene or a New did when the history was recorded.
int RunHistory(const Arguments& args) {
  const std::string& path = args.positional[0];
  SculptureHeader header;
  std::vector<SculptOp> records;
  uint64_t fileSize = 0;
  if (!ReadSculptureArgument(path, header, records, fileSize)) return kExitFailure;
  std::printf("units: 1\nunit 1: load of %zu records (steps 1 to %zu of the scrubber)\n",
              records.size(), records.size());
  size_t start = 0;
  for (size_t i = 0; i <= records.size(); ++i) {
    const bool clearsAll = i < records.size() && ClearsEveryChannel(records[i]);
    if (i == records.size() || (clearsAll && i > start)) {
      if (i > start)
        std::printf("  records %zu to %zu%s\n", start + 1, i,
                    records[start].type == kOpClear ? ": starts by clearing every channel" : "");
      start = i;
    }
  }
  return kExitOk;
}

int RunExport(const Arguments& args) {
  double applySeconds = 0, extractSeconds = 0;
  std::unique_ptr<LoadedSculpture> loaded =
      LoadAndExtract(args.positional[0], &applySeconds, &extractSeconds);
  if (!loaded) return kExitFailure;
  const double extracted = TimeNow();
  ExportOptions options;
  options.simplifyRatio = args.simplify;
  ExportMesh mesh;
  std::string error;
  if (!BuildExportMesh(loaded->blocks, options, mesh, error)) return Failure(error);
  if (mesh.TriangleCount() == 0) return NoSurface(args.positional[0]);
  const double welded = TimeNow();
  const ExportFormat format = ExportFormatOf(args.output);
  // STL is for printers, which think in millimetres; the others default to metres.
  const bool millimetres = args.units.empty() ? format == ExportFormat::Stl : args.units == "mm";
  if (!WriteExportMesh(mesh, args.output, format, millimetres ? 1000.0f : 1.0f, error))
    return Failure(error);
  const double written = TimeNow();
  if (args.stats) {
    std::printf(
        "{\"records\": %zu, \"raw_vertices\": %zu, \"vertices\": %zu, \"triangles\": %zu, "
        "\"apply_ms\": %.3f, \"extract_ms\": %.3f, \"weld_ms\": %.3f, \"write_ms\": %.3f}\n",
        loaded->document.OperationLog().size(), mesh.rawVertices, mesh.VertexCount(),
        mesh.TriangleCount(), applySeconds * 1000.0, extractSeconds * 1000.0,
        (welded - extracted) * 1000.0, (written - welded) * 1000.0);
  }
  return kExitOk;
}

int Run(int argc, char** argv) {
  Arguments args;
  const std::string parseError = ParseArguments(argc, argv, args);
  if (!parseError.empty()) return UsageError(parseError);
  if (args.help || args.command == "help") {
    PrintUsage(stdout);
    return kExitOk;
  }
  if (args.command.empty()) return UsageError("no command given");
  const CommandInfo* command = FindCommand(args.command);
  if (!command) return UsageError("unknown command '" + args.command + "'");
  if (args.positional.empty())
    return UsageError(std::string(command->name) + " needs " + std::string(command->operand));
  if (args.positional.size() > 1)
    return UsageError(std::string(command->name) + " takes one argument; unexpected '" +
                      args.positional[1] + "'");
  if (command->writesOutput && !args.hasOutput)
    return UsageError(std::string(command->name) + " needs an output file (-o FILE)");
  if (!command->writesOutput && args.hasOutput)
    return UsageError(std::string(command->name) + " writes no file; -o is not accepted");
  if (!command->takesStats && args.stats)
    return UsageError("--stats is accepted by mesh and export only");
  if ((args.simplify != 1.0f || !args.units.empty()) && command->name != "export")
    return UsageError("--simplify and --units are accepted by export only");
  if (command->name == "export" && ExportFormatOf(args.output) == ExportFormat::Unknown)
    return UsageError("'" + args.output + "' has no known extension (" +
                      ExportFormatExtensions() + ")");
  if (command->name == "export" && args.units == "mm" &&
      (ExportFormatOf(args.output) == ExportFormat::Glb ||
       ExportFormatOf(args.output) == ExportFormat::Gltf))
    return UsageError("glTF is always in metres; --units mm is for OBJ, STL and PLY");
  if (args.hasAt && command->name != "grid") return UsageError("--at is accepted by grid only");
  // Writing any of the outputs would destroy the input they are made from.
  if (command->writesOutput && command->name != "scene") {
    const std::string& input = args.positional[0];
    for (const std::string& output : FilesWritten(args)) {
      if (!WritesOver(input, output)) continue;
      const std::string named = output == args.output
                                    ? "'" + output + "'"
                                    : "'" + output + "' (the buffer of '" + args.output + "')";
      return UsageError(named + " would overwrite its input '" + input + "'");
    }
  }

  // Said here, with the reason, rather than as a bare failure of the load further in.
  if (command->name != "scene") {
    const std::string problem = InputProblem(args.positional[0]);
    if (!problem.empty()) return Failure(problem);
  }

  if (command->name == "scene") return RunScene(args);
  if (command->name == "info") return RunInfo(args);
  if (command->name == "grid") return RunGrid(args);
  if (command->name == "history") return RunHistory(args);
  if (command->name == "export") return RunExport(args);
  return RunMesh(args);
}

}  // namespace

int main(int argc, char** argv) {
  // Past a file-size limit, writes then fail with EFBIG and the partial file is removed, instead
  // of the process being killed with the temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  // Ctrl+C or a kill during a long write leaves no temporary file behind.
  RemoveTemporaryFilesOnSignals();
  AddLogSink(StderrLogSink, nullptr);
  // Readers bound what they allocate by what a file holds; this is the last word for anything
  // else that runs out of memory, said in words instead of an abort.
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    return Failure("out of memory");
  }
}
