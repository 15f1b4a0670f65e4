// The audio thread's work per output block: Mix over 256 frames (5.8 ms of sound at 44100 Hz).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include "audio/mixer3d.h"

namespace {

constexpr int32_t kBlockFrames = 256;
constexpr float kRate = 44100.0f;
constexpr double kBlockSeconds = kBlockFrames / 44100.0;

// Emitters spread on a ring around the listener at 1 to 5 m, so both ears hear every one of
// them at a different gain, delay and shadow, and all clips keep playing throughout.
struct Scene {
  std::unique_ptr<Audio::Clip> clip = std::make_unique<Audio::Clip>();
  std::unique_ptr<Audio::Mixer3D> mixer;
  std::vector<Audio::Emitter*> emitters;

  Scene(int count, size_t clipSamples) {
    clip->samples.resize(clipSamples);
    uint32_t seed = 7;
    for (int16_t& s : clip->samples) {
      seed = seed * 1664525u + 1013904223u;
      s = static_cast<int16_t>(seed >> 18);  // quiet noise
    }
    Reset(count);
  }

  void Reset(int count) {
    emitters.clear();
    mixer = std::make_unique<Audio::Mixer3D>(kRate, 2);
    mixer->SetListener(Matrix4x4::Identity());
    for (int i = 0; i < count; ++i) {
      Audio::Emitter* e = mixer->CreateEmitter(Audio::EmitterType::Positional, clip.get(), 0);
      const float angle = 6.2831853f * i / count;
      const float distance = 1.0f + 4.0f * (i % 8) / 8.0f;
      mixer->SetEmitter(e, {distance * std::cos(angle), 0.3f, distance * std::sin(angle)}, 1.0f,
                        1.0f);
      emitters.push_back(e);
    }
  }

  ~Scene() { mixer.reset(); }  // before the clip it plays
};

void BM_Mix256Frames(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  constexpr size_t kClipSamples = 1 << 21;  // 47 s, far beyond any delay
  Scene scene(count, kClipSamples);
  std::vector<float> out(2 * kBlockFrames);
  double mixSeconds = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    scene.mixer->Mix(out.data(), kBlockFrames);
    benchmark::DoNotOptimize(out.data());
    mixSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (scene.mixer->Clock() > static_cast<int64_t>(kClipSamples) - 4096) {
      state.PauseTiming();  // start the clips over rather than time finished emitters
      scene.Reset(count);
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations() * kBlockFrames);
  // How much of the 5.8 ms that one block lasts when played the audio thread spends mixing it.
  state.counters["percent_of_block"] =
      100.0 * mixSeconds / static_cast<double>(state.iterations()) / kBlockSeconds;
}
BENCHMARK(BM_Mix256Frames)->Arg(0)->Arg(64)->Unit(benchmark::kMicrosecond);

}  // namespace
