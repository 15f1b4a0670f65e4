// The autosave at the long-history end: what a finished stroke costs the frame (handing a copy
// of 50,000 records to the writer) and what the writer then spends off the frame's thread.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/autosave.h"
#include "sculpt/stroke_sculpture.h"

namespace {

// A folder of its own, removed with everything in it when the benchmark ends.
struct ScratchFolder {
  ScratchFolder() {
    char name[] = "/tmp/loomwork-autosave-bench-XXXXXX";
    if (mkdtemp(name) != nullptr) path = name;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

const std::vector<SculptOp>& Records() {
  static const std::vector<SculptOp> records = StrokeSculptureRecords(kStrokeSculptureRecords);
  return records;
}

// Keeps the records `state` times; with `timeWrite` the clock also runs while the autosave's
// thread writes them, else only while the frame hands them over.
void KeepRecords(benchmark::State& state, bool timeWrite) {
  ScratchFolder dir;
  Autosave autosave;
  std::string error;
  if (!autosave.Open(dir.path, &error)) state.SkipWithError(error.c_str());
  for (auto _ : state) {
    autosave.Keep(Records());
    if (!timeWrite) state.PauseTiming();
    autosave.Flush();
    if (!timeWrite) state.ResumeTiming();
  }
  state.counters["records"] = double(Records().size());
}

// On the frame's thread, once per finished stroke.
void BM_AutosaveHandOver(benchmark::State& state) { KeepRecords(state, false); }
BENCHMARK(BM_AutosaveHandOver)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole write, on the autosave's thread: serialised, written, synced and renamed.
void BM_AutosaveWrite(benchmark::State& state) { KeepRecords(state, true); }
BENCHMARK(BM_AutosaveWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
