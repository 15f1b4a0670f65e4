// Writes the seed corpora of the fuzz targets, one folder each under the given folder, from the
// project's own writers: small valid inputs that reach deep into each reader.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file/file_util.h"
#include "gfx/ktx.h"
#include "gfx/shader_file.h"
#include "sculpt/sculpture_file.h"
#include "sculpt/test_scenes.h"
#include "tests/ui/fanout_font.h"

namespace {

std::string g_root;

void Write(const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes) {
  mkdir((g_root + target).c_str(), 0755);
  std::ofstream out(g_root + target + "/" + name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> Wave(int bits, int frames) {
  std::vector<uint8_t> out;
  const uint32_t dataBytes = uint32_t(frames * bits / 8);
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  Put(out, 36 + dataBytes, 4);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put(out, 16, 4);
  Put(out, 1, 2);
  Put(out, 1, 2);
  Put(out, 22050, 4);
  Put(out, 22050 * bits / 8, 4);
  Put(out, uint32_t(bits / 8), 2);
  Put(out, uint32_t(bits), 2);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  Put(out, dataBytes, 4);
  for (int i = 0; i < frames; ++i) Put(out, uint32_t(i * 997), bits / 8);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER PANEL_SCRIPT\n", argv[0]);
    return 2;
  }
  g_root = std::string(argv[1]) + "/";
  mkdir(argv[1], 0755);

  for (const char* scene : {"default", "marble"})
    Write("sculpture", scene, SerializeSculpture(TestSceneRecords(scene)));
  std::vector<SculptOp> few = TestSceneRecords("materials");
  few.resize(6);
  Write("sculpture", "few", SerializeSculpture(few));

  Write("wave", "mono16.wav", Wave(16, 200));
  Write("wave", "mono8.wav", Wave(8, 300));

  UnishaderData shader;
  shader.name = "seed";
  shader.stage = Draw::FRAGMENT;
  shader.languages[UnishaderLanguageIndex(1)].code = "void main() {}";
  shader.languages[UnishaderLanguageIndex(16)].code = "#version 450\nvoid main() {}";
  const DataRoots roots = {g_root};
  if (!WriteShaderFile(&roots, "seed.shader", shader)) return 1;
  const std::vector<uint8_t> shaderBytes = ReadAll(g_root + "seed.shader");
  std::remove((g_root + "seed.shader").c_str());
  Write("shader_file", "seed.shader", shaderBytes);
  // The chunk walk: a step count, the steps (descend 'UNIS', read, descend, read a block), the file.
  std::vector<uint8_t> walk = {5, 3 << 2, 2, 4 << 2, 2, 3 | (2 << 2)};
  walk.insert(walk.end(), shaderBytes.begin(), shaderBytes.end());
  Write("chunk_file", "shader", walk);
  std::vector<uint8_t> waveWalk = {3, 0 << 2, 2, 1 << 2};
  const std::vector<uint8_t> wave = Wave(16, 20);
  waveWalk.insert(waveWalk.end(), wave.begin(), wave.end());
  Write("chunk_file", "wave", waveWalk);

  Ktx::Image flat;
  flat.glInternalFormat = Ktx::kSRGB8Alpha8;
  flat.width = flat.height = 4;
  flat.levels = {std::vector<uint8_t>(4 * 4 * 4, 200), std::vector<uint8_t>(2 * 2 * 4, 100),
                 std::vector<uint8_t>(4, 50)};
  Write("ktx", "flat.ktx", Ktx::Write(flat));
  Ktx::Image cube;
  cube.glInternalFormat = Ktx::kRGBA16F;
  cube.width = cube.height = 2;
  cube.faces = 6;
  cube.levels = {std::vector<uint8_t>(6 * 2 * 2 * 8, 60), std::vector<uint8_t>(6 * 8, 30)};
  Write("ktx", "cube.ktx", Ktx::Write(cube));

  Write("font", "comfortaa.ttf",
        ReadAll("/usr/share/fonts/truetype/comfortaa/Comfortaa-Bold.ttf"));
  Write("font", "fanout.ttf", fonttest::FanOutFont(3, 4));

  Write("script", "panel.lua", ReadAll(argv[2]));
  Write("script", "small.lua",
        Text("function init() tool = 'Add' end\nfunction processUI() local t = {} for i = 1, 10 "
             "do t[i] = i * drawSize end end\nfunction renderEye(eye) end\n"));

  Write("timeline", "session.timeline",
        Text("# a session\nat 0\npose left -0.55 1.35 1.5 0 90 0\nat 3\naim right 0 1 2 0 1 0\n"
             "trigger right 0.8\nat 5\npress right dpad_left\nrelease right dpad_left\n"
             "valid right\ninvalid left\ncapture left out.png\nat 9\nquit\n"));
  return 0;
}
