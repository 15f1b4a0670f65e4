// A long history: the 50,000-record stroke sculpture replayed into the grid, loaded from its file
// as the program loads it (read, apply) and meshed for the first time after that load.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/timing.h"
#include "bench/stroke_sculpture_file.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/slab_replay.h"
#include "sculpt/stroke_sculpture.h"
#include "sculpt/voxel_grid.h"

namespace {

struct Sculpture {
  VoxelGrid grid{kGridSize, kGridChannels};
  BlockTessellator blocks{&grid, kBlockSize};
  SculptDocument doc{&grid, nullptr};
  Sculpture() { grid.listener = &blocks; }
};

const std::vector<SculptOp>& Records() {
  static const std::vector<SculptOp> records = StrokeSculptureRecords(kStrokeSculptureRecords);
  return records;
}

// The records applied one after another on the calling thread.
void BM_ReplayStrokesOneThread(benchmark::State& state) {
  Sculpture s;
  for (auto _ : state)
    for (const SculptOp& op : Records()) ApplyOperationToGrid(s.grid, op);
  state.counters["records"] = double(Records().size());
}
BENCHMARK(BM_ReplayStrokesOneThread)->Unit(benchmark::kMillisecond);

// The same records on threads that each take slabs of z planes.
void BM_ReplayStrokesSlabs(benchmark::State& state) {
  Sculpture s;
  for (auto _ : state)
    ReplayRecords(s.grid, Records().data(), Records().size(), int(state.range(0)));
  state.counters["records"] = double(Records().size());
}
BENCHMARK(BM_ReplayStrokesSlabs)
    ->Arg(2)
    ->ArgName("threads")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Loading the file at once: read, check, clear and apply every record.
void BM_LoadStrokes(benchmark::State& state) {
  Sculpture s;
  const std::string& path = StrokeSculptureFile();
  for (auto _ : state) {
    if (!s.doc.LoadSculpture(path, 0)) state.SkipWithError("load failed");
  }
  state.counters["records"] = double(s.doc.OperationLog().size());
}
BENCHMARK(BM_LoadStrokes)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole load into a sculpture that has never been meshed: read, apply, then every block
// extracted. The counters split the time between applying and the first meshing.
void BM_LoadAndFirstMeshStrokes(benchmark::State& state) {
  const std::string& path = StrokeSculptureFile();
  double applySeconds = 0, meshSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto s = std::make_unique<Sculpture>();
    state.ResumeTiming();
    const double start = TimeNow();
    if (!s->doc.LoadSculpture(path, 0)) state.SkipWithError("load failed");
    const double loaded = TimeNow();
    s->blocks.ExtractDirtyBlocks(INFINITY);
    meshSeconds += TimeNow() - loaded;
    applySeconds += loaded - start;
    state.PauseTiming();
    s.reset();
    state.ResumeTiming();
  }
  state.counters["load_ms"] =
      benchmark::Counter(applySeconds * 1000.0, benchmark::Counter::kAvgIterations);
  state.counters["first_mesh_ms"] =
      benchmark::Counter(meshSeconds * 1000.0, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LoadAndFirstMeshStrokes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// A history of 2,000 New actions (each clears every channel, 85 MB), then a stroke: replay starts
// at the last clear, so this costs one clear and the stroke, not 2,000 clears.
void BM_ReplayWholeGridClears(benchmark::State& state) {
  Sculpture s;
  SculptOp clear;
  clear.type = kOpClear;
  clear.channelMask = kAllChannels;
  std::vector<SculptOp> records(2000, clear);
  const std::vector<SculptOp>& strokes = Records();
  records.insert(records.end(), strokes.begin(), strokes.begin() + 200);
  for (auto _ : state) ReplayRecords(s.grid, records.data(), records.size(), ReplayThreadCount());
  state.counters["records"] = double(records.size());
}
BENCHMARK(BM_ReplayWholeGridClears)->Unit(benchmark::kMillisecond)->UseRealTime();

// Re-meshing every block of the loaded sculpture once its vertex lists have their size.
void BM_WarmMeshStrokes(benchmark::State& state) {
  Sculpture s;
  s.doc.LoadSculpture(StrokeSculptureFile(), 0);
  s.blocks.ExtractDirtyBlocks(INFINITY);
  for (auto _ : state) {
    s.blocks.MarkAllDirty();
    s.blocks.ExtractDirtyBlocks(INFINITY);
  }
}
BENCHMARK(BM_WarmMeshStrokes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
