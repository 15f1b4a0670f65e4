// loomwork-tool's surfaces: mesh as the in-process extraction, export in each format, and the
// statistics line.
#include "tests/tools/loomwork_tool_fixture.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sculpt/sculpture_file.h"
#include "sculpt/test_scenes.h"

namespace {

using namespace tooltest;

// Accepts exactly one flat JSON object whose values are numbers; fills `values`.
bool ParseFlatJsonNumbers(const std::string& text, std::map<std::string, double>& values) {
  size_t i = 0;
  auto skipSpace = [&] {
    while (i < text.size() &&
           (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
      ++i;
  };
  auto expect = [&](char c) {
    skipSpace();
    if (i < text.size() && text[i] == c) return ++i, true;
    return false;
  };
  auto number = [&](double& value) {
    skipSpace();
    const size_t start = i;
    if (i < text.size() && text[i] == '-') ++i;
    if (i >= text.size() || !std::isdigit(uint8_t(text[i]))) return false;
    if (text[i] == '0')
      ++i;
    else
      while (i < text.size() && std::isdigit(uint8_t(text[i]))) ++i;
    if (i < text.size() && text[i] == '.') {
      ++i;
      if (i >= text.size() || !std::isdigit(uint8_t(text[i]))) return false;
      while (i < text.size() && std::isdigit(uint8_t(text[i]))) ++i;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
      ++i;
      if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
      if (i >= text.size() || !std::isdigit(uint8_t(text[i]))) return false;
      while (i < text.size() && std::isdigit(uint8_t(text[i]))) ++i;
    }
    value = std::strtod(text.substr(start, i - start).c_str(), nullptr);
    return true;
  };
  if (!expect('{')) return false;
  do {
    if (!expect('"')) return false;
    const size_t end = text.find('"', i);
    if (end == std::string::npos) return false;
    const std::string key = text.substr(i, end - i);
    i = end + 1;
    double value;
    if (!expect(':') || !number(value) || values.count(key)) return false;
    values[key] = value;
  } while (expect(','));
  if (!expect('}')) return false;
  skipSpace();
  return i == text.size();
}

// export: the welded surface in each format, its figures with --stats, and its argument errors.
TEST_F(LoomworkToolTest, ExportWritesEachFormatAndRefusesBadArguments) {
  const std::string input = MakeScene("default");
  for (const char* output : {"s.glb", "s.gltf", "s.obj", "s.stl", "s.ply"}) {
    SCOPED_TRACE(output);
    const ToolResult result = Run({"export", input, "-o", output, "--stats"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::map<std::string, double> stats;
    ASSERT_TRUE(ParseFlatJsonNumbers(result.out, stats)) << result.out;
    EXPECT_GT(stats["triangles"], 1000);
    EXPECT_LT(stats["vertices"] * 5, stats["raw_vertices"]);
    EXPECT_FALSE(dir_.ReadFile(output).empty());
  }
  const ToolResult simplified = Run({"export", input, "-o", "half.obj", "--simplify", "0.5"});
  EXPECT_EQ(simplified.exitCode, 0) << simplified.err;
  EXPECT_LT(dir_.ReadFile("half.obj").size(), dir_.ReadFile("s.obj").size());

  dir_.WriteFile("keep.glb", "previous");
  const std::vector<uint8_t> empty = SerializeSculpture({});
  dir_.WriteFile("empty.sculpt", std::string(empty.begin(), empty.end()));
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  } cases[] = {
      {{"export", input, "-o", "s.fbx"}, 2, "no known extension"},
      {{"export", input, "-o", "s.obj", "--simplify", "0"}, 2, "--simplify takes a ratio"},
      {{"export", input, "-o", "s.obj", "--simplify", "1.5"}, 2, "--simplify takes a ratio"},
      {{"export", input, "-o", "s.stl", "--units", "inch"}, 2, "--units takes mm or m"},
      {{"export", input, "-o", "s.glb", "--units", "mm"}, 2, "glTF is always in metres"},
      {{"mesh", input, "-o", "s.ply", "--units", "m"}, 2, "accepted by export only"},
      {{"export", "empty.sculpt", "-o", "keep.glb"}, 1, "has no surface to write"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[3]);
    const ToolResult result = Run(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  EXPECT_EQ(dir_.ReadFile("keep.glb"), "previous");
  // A write that fails part-way (a full disk, here a file-size limit) leaves the old file whole.
  for (const char* output : {"keep.glb", "keep.stl"}) {
    dir_.WriteFile(output, "previous");
    const ToolResult full = Run({"export", input, "-o", output}, 4096);
    EXPECT_EQ(full.exitCode, 1) << full.err;
    EXPECT_EQ(dir_.ReadFile(output), "previous");
  }
}

// A sculpture with no surface has nothing to write: mesh and export say so in the same words, fail
// alike, and leave an existing output as it was.
TEST_F(LoomworkToolTest, NoSurfaceIsRefusedAlikeByMeshAndExport) {
  const std::vector<uint8_t> empty = SerializeSculpture({});
  std::vector<SculptOp> records = TestSceneRecords("default");
  SculptOp clear;
  clear.type = kOpClear;
  clear.channelMask = kAllChannels;
  records.push_back(clear);
  const std::vector<uint8_t> cleared = SerializeSculpture(records);
  dir_.WriteFile("empty.sculpt", std::string(empty.begin(), empty.end()));
  dir_.WriteFile("cleared.sculpt", std::string(cleared.begin(), cleared.end()));
  for (const char* input : {"empty.sculpt", "cleared.sculpt"}) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"mesh", input, "-o", "out.ply", "--stats"},
          {"export", input, "-o", "out.ply", "--stats"},
          {"export", input, "-o", "out.gltf"}}) {
      SCOPED_TRACE(args[0] + " " + input + " -o " + args[3]);
      dir_.WriteFile(args[3], "previous");
      const std::set<std::string> before = Listing();
      const ToolResult result = Run(args);
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_EQ(result.err,
                "loomwork-tool: error: '" + std::string(input) + "' has no surface to write\n");
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(dir_.ReadFile(args[3]), "previous");
      EXPECT_EQ(Listing(), before);
    }
  }
}

struct PlyFile {
  size_t vertexCount = 0, faceCount = 0;
  std::string body;  // everything after end_header
};

// Checks the header line by line against the layout the tool promises.
bool ParsePly(const std::string& data, PlyFile& ply) {
  const size_t end = data.find("end_header\n");
  if (end == std::string::npos) return false;
  const std::string header = data.substr(0, end + 11);
  ply.body = data.substr(end + 11);
  char expected[1024];
  unsigned long long v = 0, f = 0;
  const size_t vertexAt = header.find("element vertex ");
  const size_t faceAt = header.find("element face ");
  if (vertexAt == std::string::npos || faceAt == std::string::npos ||
      std::sscanf(header.c_str() + vertexAt, "element vertex %llu", &v) != 1 ||
      std::sscanf(header.c_str() + faceAt, "element face %llu", &f) != 1)
    return false;
  std::snprintf(expected, sizeof(expected),
                "ply\nformat binary_little_endian 1.0\nelement vertex %llu\n"
                "property float x\nproperty float y\nproperty float z\n"
                "property float nx\nproperty float ny\nproperty float nz\n"
                "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                "property uchar metalness\nproperty uchar roughness\n"
                "element face %llu\nproperty list uchar int vertex_indices\nend_header\n",
                v, f);
  ply.vertexCount = v;
  ply.faceCount = f;
  return header == expected;
}

TEST_F(LoomworkToolTest, MeshIsTheInProcessExtraction) {
  const std::string path = MakeScene("materials");
  const ToolResult result = Run({"mesh", path, "-o", "materials.ply"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "") << "stats only when asked";
  PlyFile ply;
  ASSERT_TRUE(ParsePly(Slurp(dir_.File("materials.ply")), ply));

  auto loaded = std::make_unique<InProcessSculpture>();
  ASSERT_TRUE(loaded->document.LoadSculpture(path, 0));
  loaded->blocks.ExtractDirtyBlocks(INFINITY);
  std::vector<const SculptVertex*> vertices;  // in the order the tool must write them
  for (int b = 0; b < loaded->blocks.blockCount; ++b)
    for (const SculptVertex& v : loaded->blocks.Block(b).vertices) vertices.push_back(&v);

  ASSERT_GT(vertices.size(), 0u);
  ASSERT_EQ(ply.vertexCount, vertices.size());
  ASSERT_EQ(ply.faceCount, vertices.size() / 3);
  ASSERT_EQ(ply.body.size(), ply.vertexCount * kPlyVertexBytes + ply.faceCount * kPlyFaceBytes);

  for (size_t i = 0; i < ply.vertexCount; ++i) {
    const char* record = ply.body.data() + i * kPlyVertexBytes;
    float values[6];
    std::memcpy(values, record, sizeof(values));
    const double length = std::sqrt(double(values[3]) * values[3] + double(values[4]) * values[4] +
                                    double(values[5]) * values[5]);
    if (length != 0.0) {
      ASSERT_NEAR(length, 1.0, 1e-5) << "vertex " << i;
    }
    // Inside the grid's world box: x and z in -1..1 m, y in 0..2 m.
    ASSERT_TRUE(values[0] >= -1 && values[0] <= 1 && values[1] >= 0 && values[1] <= 2 &&
                values[2] >= -1 && values[2] <= 1)
        << "vertex " << i;
  }
  for (size_t i : {size_t(0), vertices.size() / 2, vertices.size() - 1}) {
    SCOPED_TRACE(i);
    const SculptVertex& v = *vertices[i];
    const char* record = ply.body.data() + i * kPlyVertexBytes;
    float values[6];
    std::memcpy(values, record, sizeof(values));
    EXPECT_EQ(values[0], v.position[0] / 96.0f - 1.0f);
    EXPECT_EQ(values[1], v.position[1] / 96.0f);
    EXPECT_EQ(values[2], v.position[2] / 96.0f - 1.0f);
    const float gradient = std::sqrt(v.normal[0] * v.normal[0] + v.normal[1] * v.normal[1] +
                                     v.normal[2] * v.normal[2]);
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(values[3 + a], v.normal[a] / gradient, 1e-5);
    const uint8_t expectedBytes[5] = {v.colour[0], v.colour[1], v.colour[2], v.material[0],
                                      v.material[1]};
    EXPECT_EQ(std::memcmp(record + 24, expectedBytes, 5), 0);
  }
  const char* faces = ply.body.data() + ply.vertexCount * kPlyVertexBytes;
  for (size_t f = 0; f < ply.faceCount; ++f) {
    const char* face = faces + f * kPlyFaceBytes;
    int32_t indices[3];
    std::memcpy(indices, face + 1, sizeof(indices));
    ASSERT_TRUE(face[0] == 3 && indices[0] == int32_t(3 * f) && indices[1] == int32_t(3 * f + 1) &&
                indices[2] == int32_t(3 * f + 2))
        << "face " << f;
  }
}

TEST_F(LoomworkToolTest, MeshStatsIsOneJsonLine) {
  const std::string path = MakeScene("materials");
  const ToolResult result = Run({"mesh", path, "-o", "materials.ply", "--stats"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  ASSERT_FALSE(result.out.empty());
  EXPECT_EQ(result.out.find('\n'), result.out.size() - 1) << result.out;
  std::map<std::string, double> stats;
  ASSERT_TRUE(ParseFlatJsonNumbers(result.out, stats)) << result.out;
  ASSERT_EQ(stats.size(), 5u) << result.out;
  EXPECT_EQ(stats["records"], 513);
  PlyFile ply;
  ASSERT_TRUE(ParsePly(Slurp(dir_.File("materials.ply")), ply));
  EXPECT_EQ(stats["triangles"], double(ply.faceCount));
  EXPECT_GE(stats["apply_ms"], 0);
  EXPECT_GE(stats["extract_ms"], 0);
  EXPECT_GE(stats["warm_extract_ms"], 0);
}

}  // namespace
