// The welded export mesh: shared vertices, closed surfaces, and every file format read back by a
// real importer (assimp).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string_view>
#include <sstream>
#include <utility>

#include "export/export_mesh.h"
#include "export/json_string.h"
#include "export/mesh_writers.h"
#include "export/relative_uri.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/test_scenes.h"
#include "sculpt/voxel_grid.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_directory.h"

namespace {

struct Extracted {
  VoxelGrid grid{kGridSize, kGridChannels};
  BlockTessellator blocks{&grid, kBlockSize};
  SculptDocument document{&grid, nullptr};
  explicit Extracted(const char* scene) {
    grid.listener = &blocks;
    BuildTestScene(document, scene);
    blocks.ExtractDirtyBlocks(1e9f);
  }
};

ExportMesh Build(const Extracted& sculpture, float ratio = 1.0f) {
  ExportMesh mesh;
  std::string error;
  ExportOptions options;
  options.simplifyRatio = ratio;
  EXPECT_TRUE(BuildExportMesh(sculpture.blocks, options, mesh, error)) << error;
  return mesh;
}

TEST(ExportMesh, WeldingSharesVerticesAcrossTrianglesAndBlocks) {
  const Extracted materials("materials");
  const ExportMesh mesh = Build(materials);
  EXPECT_EQ(mesh.rawVertices, 1265664u);
  EXPECT_LT(mesh.VertexCount() * 5, mesh.rawVertices);  // roughly a sixth
  EXPECT_GT(mesh.TriangleCount() * 3, mesh.rawVertices * 9 / 10);  // few collapsed triangles
  ASSERT_EQ(mesh.normals.size(), mesh.positions.size());
  for (size_t i = 0; i < mesh.VertexCount(); ++i) {
    const float* n = &mesh.normals[3 * i];
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    ASSERT_NEAR(length, 1.0f, 1e-4f) << "vertex " << i;
  }
  for (uint32_t index : mesh.indices) ASSERT_LT(index, mesh.VertexCount());
}

// A sculpture that keeps off the grid's faces exports a closed surface: every edge belongs to
// exactly two triangles, once in each direction, so it is printable and consistently oriented.
TEST(ExportMesh, ASculptureAwayFromTheGridFacesIsClosedAndOriented) {
  const Extracted closed("default");
  for (float ratio : {1.0f, 0.3f}) {
    SCOPED_TRACE(ratio);
    const ExportMesh mesh = Build(closed, ratio);
    ASSERT_GT(mesh.TriangleCount(), 1000u);
    std::map<std::pair<uint32_t, uint32_t>, int> directed;
    for (size_t t = 0; t < mesh.TriangleCount(); ++t)
      for (int k = 0; k < 3; ++k)
        ++directed[{mesh.indices[3 * t + size_t(k)], mesh.indices[3 * t + size_t(k + 1) % 3]}];
    size_t open = 0;
    for (const auto& [edge, count] : directed) {
      const auto reverse = directed.find({edge.second, edge.first});
      if (count != 1 || reverse == directed.end() || reverse->second != 1) ++open;
    }
    EXPECT_EQ(open, 0u);
  }
  const ExportMesh full = Build(closed), simplified = Build(closed, 0.3f);
  EXPECT_LE(simplified.TriangleCount(), full.TriangleCount() * 35 / 100);
}

// assimp, reading each file back, finds the vertices, triangles and bounds that were written.
TEST(ExportMesh, EveryFormatReadsBackThroughAssimp) {
  const Extracted closed("default");
  const ExportMesh mesh = Build(closed);
  float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
  for (size_t i = 0; i < mesh.positions.size(); ++i) {
    lo[i % 3] = std::min(lo[i % 3], mesh.positions[i]);
    hi[i % 3] = std::max(hi[i % 3], mesh.positions[i]);
  }
  TempDirectory dir;
  const struct {
    const char* name;
    ExportFormat format;
    float unitsPerMetre;
    bool sharedVertices;  // STL has none: every triangle its own corners
  } cases[] = {{"s.glb", ExportFormat::Glb, 1, true},   {"s.gltf", ExportFormat::Gltf, 1, true},
               {"s.obj", ExportFormat::Obj, 1, true},   {"s.ply", ExportFormat::Ply, 1000, true},
               {"s.stl", ExportFormat::Stl, 1000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    ASSERT_TRUE(WriteExportMesh(mesh, dir.File(c.name), c.format, c.unitsPerMetre, error)) << error;
    const ProcessResult info = RunProcess("/usr/bin/assimp", {"info", dir.File(c.name)});
    ASSERT_EQ(info.exitCode, 0) << info.Describe();
    auto value = [&](const std::string& key) {
      const size_t at = info.out.find(key);
      EXPECT_NE(at, std::string::npos) << key << " in " << info.out;
      return at == std::string::npos ? std::string() : info.out.substr(at + key.size(), 40);
    };
    EXPECT_EQ(std::stoul(value("Faces:")), mesh.TriangleCount());
    if (c.sharedVertices) {
      EXPECT_EQ(std::stoul(value("Vertices:")), mesh.VertexCount());
    }
    float minimum[3], maximum[3];
    std::istringstream(value("Minimum point").substr(value("Minimum point").find('(') + 1)) >>
        minimum[0] >> minimum[1] >> minimum[2];
    std::istringstream(value("Maximum point").substr(value("Maximum point").find('(') + 1)) >>
        maximum[0] >> maximum[1] >> maximum[2];
    for (int a = 0; a < 3; ++a) {
      EXPECT_NEAR(minimum[a], lo[a] * c.unitsPerMetre, 1e-3f * c.unitsPerMetre);
      EXPECT_NEAR(maximum[a], hi[a] * c.unitsPerMetre, 1e-3f * c.unitsPerMetre);
    }
  }
  // glTF text keeps its buffer beside it.
  EXPECT_FALSE(dir.ReadFile("s.bin").empty());
}

// The Khronos glTF validator finds no error and no warning in what is written, for the built-in
// scenes and for a sculpture of random strokes.
TEST(ExportMesh, TheGltfValidatorAcceptsTheFiles) {
  TempDirectory dir;
  const char* scenes[] = {"materials", "default", "strokes"};
  for (const char* scene : scenes) {
    SCOPED_TRACE(scene);
    Extracted sculpture(std::string_view(scene) == "strokes" ? "nothing" : scene);
    if (std::string_view(scene) == "strokes") {
      std::mt19937 rng(11);
      std::uniform_real_distribution<float> at(20, 172), radius(3, 14), value(0, 1);
      for (int i = 0; i < 400; ++i) {
        SculptOp op;
        op.type = 1 + int(rng() % 3);
        op.matrix = Matrix4x4::Scale({radius(rng), radius(rng), radius(rng)}) *
                    Matrix4x4::Translation({at(rng), at(rng), at(rng)});
        op.radius = radius(rng);
        op.mode = i % 5 == 4 ? 3 : 2;
        op.channelMask = op.mode == 3 ? 1u : 63u;
        op.red = value(rng), op.green = value(rng), op.blue = value(rng);
        op.roughness = value(rng), op.metalness = value(rng);
        sculpture.document.ApplyOperation(op);
      }
      sculpture.blocks.ExtractDirtyBlocks(1e9f);
    }
    const ExportMesh mesh = Build(sculpture);
    for (const char* name : {"s.glb", "s.gltf"}) {
      std::string error;
      ASSERT_TRUE(WriteExportMesh(mesh, dir.File(name), ExportFormatOf(name), 1, error)) << error;
      const ProcessResult run =
          RunProcess("/usr/bin/node", {VALIDATE_GLTF_SCRIPT, GLTF_VALIDATOR_DIR, dir.File(name)});
      ASSERT_EQ(run.exitCode, 0) << run.Describe();
      EXPECT_NE(run.out.find("\"errors\":0,\"warnings\":0,"), std::string::npos) << name << ": "
                                                                              << run.out;
    }
  }
}

// Triangles side by side in the z = 0 plane: a mesh whose buffer is shorter than its glTF text.
ExportMesh Triangles(size_t count) {
  ExportMesh mesh;
  const size_t vertices = 3 * count;
  mesh.positions.assign(3 * vertices, 0.0f);
  mesh.normals.assign(3 * vertices, 0.0f);
  mesh.colours.assign(3 * vertices, 128);
  mesh.metalness.assign(vertices, 0.25f);
  mesh.roughness.assign(vertices, 0.75f);
  for (size_t v = 0; v < vertices; ++v) {
    const size_t corner = v % 3;
    mesh.positions[3 * v] = 0.1f * float(v / 3) + (corner == 1 ? 0.1f : 0.0f);
    mesh.positions[3 * v + 1] = corner == 2 ? 0.1f : 0.0f;
    mesh.normals[3 * v + 2] = 1.0f;
    mesh.indices.push_back(uint32_t(v));
  }
  return mesh;
}

// The validator's figures for one file, as one JSON line.
std::string Validate(const std::string& path) {
  const ProcessResult run =
      RunProcess("/usr/bin/node", {VALIDATE_GLTF_SCRIPT, GLTF_VALIDATOR_DIR, path});
  EXPECT_EQ(run.exitCode, 0) << run.Describe();
  return run.out;
}

std::string PercentDecoded(const std::string& text) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(uint8_t(text[i + 1])) &&
        std::isxdigit(uint8_t(text[i + 2]))) {
      decoded += char(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// The text after `key` up to the next of `ends`; empty when the key is missing.
std::string ValueAfter(const std::string& json, const std::string& key, const char* ends) {
  const size_t at = json.find(key);
  if (at == std::string::npos) return "";
  const size_t from = at + key.size();
  return json.substr(from, json.find_first_of(ends, from) - from);
}

// An output's name reaches the glTF text as its buffer's uri. Quotes and backslashes must not break
// the JSON; '%', '#', '?', ':', spaces, control and non-ASCII bytes must not make the uri name
// another file. The validator reads each file with the buffer its decoded uri names, and that
// buffer is the .bin written beside it, of the length the text declares.
TEST(ExportMesh, OutputNamesOfAnyCharactersGiveValidGltf) {
  TempDirectory dir;
  const ExportMesh mesh = Triangles(3);
  const struct {
    const char* name;
    const char* buffer;
  } cases[] = {
      {"say \"hi\" \\ back.gltf", "say \"hi\" \\ back.bin"},
      {"100% #1?.gltf", "100% #1?.bin"},
      {"c:d.gltf", "c:d.bin"},
      {"a%20b.gltf", "a%20b.bin"},
      {"tab\tand\nline.gltf", "tab\tand\nline.bin"},
      {"\xc3\xa9t\xc3\xa9 \xe2\x9c\x93.GLTF", "\xc3\xa9t\xc3\xa9 \xe2\x9c\x93.bin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    ASSERT_TRUE(WriteExportMesh(mesh, dir.File(c.name), ExportFormat::Gltf, 1, error)) << error;
    const std::string report = Validate(dir.File(c.name));
    EXPECT_NE(report.find("\"errors\":0,"), std::string::npos) << report;
    const std::string json = dir.ReadFile(c.name);
    const std::string uri = ValueAfter(json, "\"uri\":\"", "\"");
    for (char ch : uri)
      EXPECT_TRUE(std::isalnum(uint8_t(ch)) || std::strchr("-._~%", ch) != nullptr) << uri;
    EXPECT_EQ(PercentDecoded(uri), c.buffer) << uri;
    const std::string byteLength = ValueAfter(json, "\"buffers\":[{\"byteLength\":", ",}");
    ASSERT_FALSE(byteLength.empty()) << json;
    std::error_code missing;
    EXPECT_EQ(std::filesystem::file_size(dir.File(PercentDecoded(uri)), missing),
              std::stoull(byteLength));
    EXPECT_FALSE(missing) << missing.message();
  }
}

// A .gltf and its .bin are one export: when the .gltf cannot be written, the .bin of the previous
// export stays, so the previous pair still loads. The file-size limit lets the small buffer through
// and stops the longer text, which comes second.
TEST(ExportMesh, AGltfThatCannotBeWrittenKeepsThePreviousPair) {
  TempDirectory dir;
  std::string error;
  ASSERT_TRUE(WriteExportMesh(Triangles(3), dir.File("s.gltf"), ExportFormat::Gltf, 1, error))
      << error;
  const std::string gltf = dir.ReadFile("s.gltf"), bin = dir.ReadFile("s.bin");
  constexpr size_t kLimit = 1024;
  ASSERT_GT(gltf.size(), kLimit);
  ASSERT_LT(bin.size(), kLimit);

  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limited = saved;
  limited.rlim_cur = kLimit;
  sighandler_t previousHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool written = WriteExportMesh(Triangles(1), dir.File("s.gltf"), ExportFormat::Gltf, 1,
                                       error);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(written);
  EXPECT_NE(error.find("s.gltf"), std::string::npos) << error;
  EXPECT_EQ(dir.ReadFile("s.gltf"), gltf);
  EXPECT_EQ(dir.ReadFile("s.bin"), bin);
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    ++entries;
  EXPECT_EQ(entries, 2u) << "a temporary file was left";
  const std::string report = Validate(dir.File("s.gltf"));
  EXPECT_NE(report.find("\"errors\":0,"), std::string::npos) << report;
}

// Text from outside (names) goes into JSON strings escaped and into uris percent-encoded byte by
// byte, keeping only the unreserved characters.
TEST(ExportMesh, JsonStringsAndRelativeUrisEncodeEveryByteTheyMust) {
  const std::pair<std::string, std::string> json[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c/d", "\"a\\\"b\\\\c/d\""},
      {std::string("\n\t\x01\x1f", 4), "\"\\n\\t\\u0001\\u001f\""},
      {std::string("nul\0", 4), "\"nul\\u0000\""},
      {"\xc3\xa9", "\"\xc3\xa9\""},
  };
  for (const auto& [text, expected] : json) EXPECT_EQ(JsonString(text), expected) << text;
  const std::pair<std::string, std::string> uris[] = {
      {"Az09-._~.bin", "Az09-._~.bin"},
      {"c:d.bin", "c%3Ad.bin"},
      {"a b%#?/\\.bin", "a%20b%25%23%3F%2F%5C.bin"},
      {"\xc3\xa9\xff", "%C3%A9%FF"},
  };
  for (const auto& [name, expected] : uris) EXPECT_EQ(RelativeUriOfFileName(name), expected);
}

TEST(ExportMesh, NothingToExportAndBadOptionsAreRefused) {
  VoxelGrid grid(kGridSize, kGridChannels);
  BlockTessellator blocks(&grid, kBlockSize);
  blocks.ExtractDirtyBlocks(1e9f);
  ExportMesh mesh;
  std::string error;
  ASSERT_TRUE(BuildExportMesh(blocks, {}, mesh, error)) << error;
  EXPECT_EQ(mesh.TriangleCount(), 0u);
  TempDirectory dir;
  EXPECT_FALSE(WriteExportMesh(mesh, dir.File("empty.glb"), ExportFormat::Glb, 1, error));
  EXPECT_NE(error.find("no surface"), std::string::npos) << error;
  for (float ratio : {0.0f, -1.0f, 1.5f, std::nanf("")}) {
    ExportOptions options;
    options.simplifyRatio = ratio;
    EXPECT_FALSE(BuildExportMesh(blocks, options, mesh, error)) << ratio;
  }
  EXPECT_EQ(ExportFormatOf("a/b.GLB"), ExportFormat::Glb);
  EXPECT_EQ(ExportFormatOf("a.d/noextension"), ExportFormat::Unknown);
  EXPECT_EQ(ExportFormatOf("s.fbx"), ExportFormat::Unknown);
}

}  // namespace
