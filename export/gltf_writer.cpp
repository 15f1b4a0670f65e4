// glTF 2.0 written by hand: one mesh, one primitive, one material, and a buffer of tightly packed
// attributes. The layout is small and fixed, so a general glTF library would add more than it saves.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "export/json_string.h"
#include "export/mesh_writers.h"
#include "export/relative_uri.h"
#include "file/atomic_file_writer.h"

static_assert(std::endian::native == std::endian::little);

namespace {

constexpr uint32_t kGlbMagic = 0x46546C67;  // "glTF"
constexpr uint32_t kChunkJson = 0x4E4F534A;
constexpr uint32_t kChunkBin = 0x004E4942;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;
constexpr int kFloat = 5126, kUnsignedInt = 5125;

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", v);
  return text;
}

void Append(std::vector<uint8_t>& bin, const void* data, size_t bytes) {
  const auto* p = static_cast<const uint8_t*>(data);
  bin.insert(bin.end(), p, p + bytes);
  while (bin.size() % 4 != 0) bin.push_back(0);
}

// Writes the whole file beside its target, leaving the target as it is until committed.
bool WriteComplete(AtomicFileWriter& file, const void* data, size_t size, std::string& error) {
  if (file.Open() && file.Write(data, size) && file.Finish()) return true;
  error = file.Error();
  return false;
}

bool Commit(AtomicFileWriter& file, std::string& error) {
  if (file.Commit()) return true;
  error = file.Error();
  return false;
}

}  // namespace

bool WriteGltf(const ExportMesh& mesh, const std::string& path, bool binary, std::string& error) {
  const size_t n = mesh.VertexCount();
  std::vector<float> linear(n * 3);
  for (size_t i = 0; i < linear.size(); ++i) linear[i] = SrgbByteToLinear(mesh.colours[i]);
  double metalSum = 0, roughSum = 0;
  for (size_t i = 0; i < n; ++i) metalSum += mesh.metalness[i], roughSum += mesh.roughness[i];
  float lo[3] = {mesh.positions[0], mesh.positions[1], mesh.positions[2]};
  float hi[3] = {lo[0], lo[1], lo[2]};
  for (size_t i = 0; i < n; ++i)
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], mesh.positions[3 * i + size_t(a)]);
      hi[a] = std::max(hi[a], mesh.positions[3 * i + size_t(a)]);
    }

  // Buffer views in order: POSITION, NORMAL, COLOR_0, _METALNESS, _ROUGHNESS, indices.
  std::vector<uint8_t> bin;
  std::vector<size_t> offsets, lengths;
  auto view = [&](const void* data, size_t bytes) {
    offsets.push_back(bin.size());
    lengths.push_back(bytes);
    Append(bin, data, bytes);
  };
  view(mesh.positions.data(), n * 12);
  view(mesh.normals.data(), n * 12);
  view(linear.data(), n * 12);
  view(mesh.metalness.data(), n * 4);
  view(mesh.roughness.data(), n * 4);
  view(mesh.indices.data(), mesh.indices.size() * 4);

  // The buffer's uri is relative to the text, so its file name alone.
  std::string binName;
  if (!binary) {
    const std::string binPath = GltfBufferPath(path);
    binName = binPath.substr(binPath.find_last_of('/') + 1);
  }
  std::string json = "{\"asset\":{\"version\":\"2.0\",\"generator\":\"Loomwork\"},";
  json += "\"scene\":0,\"scenes\":[{\"nodes\":[0]}],\"nodes\":[{\"mesh\":0,\"name\":\"sculpture\"}],";
  json += "\"meshes\":[{\"name\":\"sculpture\",\"primitives\":[{\"attributes\":{\"POSITION\":0,"
          "\"NORMAL\":1,\"COLOR_0\":2,\"_METALNESS\":3,\"_ROUGHNESS\":4},\"indices\":5,"
          "\"material\":0,\"mode\":4}]}],";
  // Plain viewers ignore the per-vertex material values: the averages come close.
  json += "\"materials\":[{\"name\":\"sculpture\",\"pbrMetallicRoughness\":{\"baseColorFactor\":"
          "[1,1,1,1],\"metallicFactor\":" + Number(metalSum / double(n)) +
          ",\"roughnessFactor\":" + Number(roughSum / double(n)) + "}}],";
  json += "\"buffers\":[{\"byteLength\":" + std::to_string(bin.size());
  if (!binary) json += ",\"uri\":" + JsonString(RelativeUriOfFileName(binName));
  json += "}],\"bufferViews\":[";
  for (size_t v = 0; v < offsets.size(); ++v) {
    if (v) json += ",";
    json += "{\"buffer\":0,\"byteOffset\":" + std::to_string(offsets[v]);
    json += ",\"byteLength\":" + std::to_string(lengths[v]);
    json += ",\"target\":" + std::to_string(v == 5 ? kElementArrayBuffer : kArrayBuffer) + "}";
  }
  json += "],\"accessors\":[";
  const char* types[] = {"VEC3", "VEC3", "VEC3", "SCALAR", "SCALAR", "SCALAR"};
  for (size_t a = 0; a < 6; ++a) {
    const size_t count = a == 5 ? mesh.indices.size() : n;
    if (a) json += ",";
    json += "{\"bufferView\":" + std::to_string(a);
    json += ",\"componentType\":" + std::to_string(a == 5 ? kUnsignedInt : kFloat);
    json += ",\"count\":" + std::to_string(count) + ",\"type\":\"" + types[a] + "\"";
    if (a == 0) {
      json += ",\"min\":[" + Number(lo[0]) + "," + Number(lo[1]) + "," + Number(lo[2]) +
              "],\"max\":[" + Number(hi[0]) + "," + Number(hi[1]) + "," + Number(hi[2]) + "]";
    }
    json += "}";
  }
  json += "]}";

  if (!binary) {
    // The text and its buffer are one export: both are written completely before either replaces
    // the previous pair, so a failure in either leaves that pair as it was.
    AtomicFileWriter binFile(GltfBufferPath(path)), jsonFile(path);
    if (!WriteComplete(binFile, bin.data(), bin.size(), error) ||
        !WriteComplete(jsonFile, json.data(), json.size(), error))
      return false;
    return Commit(binFile, error) && Commit(jsonFile, error);
  }
  while (json.size() % 4 != 0) json += ' ';
  std::vector<uint8_t> glb;
  auto word = [&](uint32_t v) { Append(glb, &v, 4); };
  word(kGlbMagic);
  word(2);
  word(uint32_t(12 + 8 + json.size() + 8 + bin.size()));
  word(uint32_t(json.size()));
  word(kChunkJson);
  glb.insert(glb.end(), json.begin(), json.end());
  word(uint32_t(bin.size()));
  word(kChunkBin);
  glb.insert(glb.end(), bin.begin(), bin.end());
  AtomicFileWriter glbFile(path);
  return WriteComplete(glbFile, glb.data(), glb.size(), error) && Commit(glbFile, error);
}
