// Undo, redo and scrubbing: the time they take (including the re-mesh of the blocks they change)
// and the memory each unit of the history keeps, on the "materials" scene and on a long stroke
// sculpture of 50,000 records.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/sculpt_history.h"
#include "sculpt/stamp_mode.h"
#include "sculpt/test_scenes.h"
#include "sculpt/voxel_grid.h"

namespace {

struct Sculpture {
  VoxelGrid grid{kGridSize, kGridChannels};
  BlockTessellator blocks{&grid, kBlockSize};
  SculptDocument document{&grid, nullptr};
  Sculpture() {
    grid.listener = &blocks;
    document.EnableHistory(SculptHistory::kDefaultBudgetBytes);
  }
  void Remesh() { blocks.ExtractDirtyBlocks(INFINITY); }
};

// One stroke as a person makes it at 90 Hz: a smooth path of sphere records, one a frame.
void Stroke(SculptDocument& document, std::mt19937& rng, int records) {
  std::uniform_real_distribution<float> at(30.0f, 162.0f), radius(3.0f, 12.0f), turn(-0.2f, 0.2f);
  static constexpr int kModes[] = {kStampAdd, kStampSubtract, kStampSet, kStampBuff};
  const int mode = kModes[rng() % 4];
  Vec3 p = {at(rng), at(rng), at(rng)};
  float heading = float(rng() % 628) / 100.0f;
  const float r = radius(rng);
  for (int i = 0; i < records; ++i) {
    heading += turn(rng);
    p = p + Vec3{std::cos(heading) * 0.8f, std::sin(heading * 0.7f) * 0.5f, std::sin(heading) * 0.8f};
    for (float* c : {&p.x, &p.y, &p.z}) *c = std::fmin(std::fmax(*c, 16.0f), 176.0f);
    SculptOp op;
    op.type = kOpSphere;
    op.matrix = Matrix4x4::Translation(p);
    op.radius = r;
    op.mode = mode == kStampSet ? kStampAdd : mode;
    op.channelMask = mode == kStampSubtract ? 1u : mode == kStampSet ? 62u : 63u;
    op.red = 0.8f, op.green = 0.5f, op.blue = float(i % 100) / 100.0f;
    op.roughness = 0.5f, op.metalness = 0.0f;
    std::vector<SculptOp> frame = {op};
    document.ApplyFrame(frame);
  }
  std::vector<SculptOp> released;
  document.ApplyFrame(released);
}

// 50,000 records in strokes of 150 to 450, with a few clears.
std::unique_ptr<Sculpture> LongSculpture() {
  auto sculpture = std::make_unique<Sculpture>();
  std::mt19937 rng(50000);
  size_t records = 0;
  while (records < 50000) {
    const int length = 150 + int(rng() % 300);
    Stroke(sculpture->document, rng, length);
    records += size_t(length);
    if (rng() % 40 == 0) BuildTestScene(sculpture->document, "marble");
  }
  sculpture->Remesh();
  return sculpture;
}

void UndoRedoTypicalStroke(benchmark::State& state, Sculpture& sculpture) {
  std::mt19937 rng(7);
  Stroke(sculpture.document, rng, 300);
  sculpture.Remesh();
  SculptHistory& history = *sculpture.document.History();
  const size_t before = history.BeforeImageBytes();
  for (auto _ : state) {
    sculpture.document.Undo();
    sculpture.Remesh();
    sculpture.document.Redo();
    sculpture.Remesh();
  }
  state.counters["units"] = double(history.UnitCount());
  state.counters["before_image_MiB"] = double(before) / double(1 << 20);
  state.counters["MiB_per_unit"] = double(before) / double(1 << 20) / double(history.UnitCount());
  state.counters["checkpoint_MiB"] = double(history.CheckpointBytes()) / double(1 << 20);
}

// An undo and a redo of a 300-record stroke, each with the re-mesh of the blocks it changed.
void BM_UndoRedoStrokeOnMaterials(benchmark::State& state) {
  Sculpture sculpture;
  BuildTestScene(sculpture.document, "materials");
  sculpture.Remesh();
  UndoRedoTypicalStroke(state, sculpture);
}
BENCHMARK(BM_UndoRedoStrokeOnMaterials)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UndoRedoStrokeOnLongSculpture(benchmark::State& state) {
  std::unique_ptr<Sculpture> sculpture = LongSculpture();
  UndoRedoTypicalStroke(state, *sculpture);
}
BENCHMARK(BM_UndoRedoStrokeOnLongSculpture)->Unit(benchmark::kMillisecond)->UseRealTime();

// The scrubber moved back across 10,000 records and forward again, each with the re-mesh.
void BM_Scrub10000Records(benchmark::State& state) {
  std::unique_ptr<Sculpture> sculpture = LongSculpture();
  SculptDocument& document = sculpture->document;
  const size_t end = document.History()->StepCount();
  for (auto _ : state) {
    document.MoveToHistoryStep(end - 10000);
    sculpture->Remesh();
    document.MoveToHistoryStep(end);
    sculpture->Remesh();
  }
  state.counters["checkpoints"] = double(document.History()->CheckpointCount());
}
BENCHMARK(BM_Scrub10000Records)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
