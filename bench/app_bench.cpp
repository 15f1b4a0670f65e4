// The sculpting application's start-up and frame costs through the real OpenGL driver (needs a
// display; `make bench` provides a virtual one): Init, a desktop frame and a VR frame (both eyes,
// on the simulated headset) with the "materials" scene and with a 10,000-record sculpture, and
// a 50,000-record stroke sculpture loaded at once until it is meshed and drawn.
//
// Frame times are wall-clock on the application thread: the update, tessellation and draw
// submission, not the software rasteriser's work (which llvmpipe does on its own threads when the
// frame is flushed) unless the "finished" variant waits for it.
#include <benchmark/benchmark.h>
#include <glad/gl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/desktop_loop.h"
#include "bench/bench_window.h"
#include "bench/stroke_sculpture_file.h"
#include "app/sculpt_app.h"
#include "base/timing.h"
#include "gfx/opengl_context.h"
#include "sculpt/test_scenes.h"
#include "vr/openvr_app_host.h"
#include "vr/simulated/simulated_headset.h"

namespace {

// The window, and the data tree as the working directory: the shader library is listed from
// there, as the program runs.
bool Prepare(const BenchWindow& w, benchmark::State& state) {
  if (w.context == nullptr || chdir(LOOMWORK_DATA_DIR) != 0) {
    state.SkipWithError("no OpenGL context (no display?) or no data tree");
    return false;
  }
  return true;
}

DataRoots gRoots = {""};

FrameInfo DesktopFrame(Draw::OpenGLContext* context) {
  FrameInfo info;
  info.width = uint32_t(context->GetBackbufferWidth());
  info.height = uint32_t(context->GetBackbufferHeight());
  info.targetUserData = static_cast<Draw::DrawContext*>(context);
  info.bindTarget = &BindDesktopTarget;
  info.eyeProjection[0] = DesktopProjection(context->GetBackbufferAspect());
  return info;
}

// 10,000 brush records spread through the grid, as a long session would leave them: spheres,
// boxes and cylinders of brush sizes, adding, subtracting and painting.
void ApplyLongSession(SculptDocument& document) {
  std::mt19937 random(1234);
  std::uniform_real_distribution<float> position(40.0f, 152.0f);
  std::uniform_real_distribution<float> size(2.0f, 8.0f);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int i = 0; i < 10000; ++i) {
    SculptOp op;
    op.type = kOpSphere + int(random() % 3);
    const float s = size(random);
    op.matrix = Matrix4x4::Scale({s, s, s}) *
                Matrix4x4::Translation({position(random), position(random), position(random)});
    const int tool = int(random() % 10);
    op.mode = tool < 6 ? 2 : tool < 8 ? 3 : 1;
    op.channelMask = op.mode == 3 ? 1u : op.mode == 1 ? 62u : 63u;
    op.radius = s;
    op.red = unit(random);
    op.green = unit(random);
    op.blue = unit(random);
    op.roughness = unit(random);
    op.metalness = unit(random);
    document.ApplyOperation(op);
  }
}

// The application's own split of each frame, averaged over the iterations.
void AddFrameTimes(benchmark::State& state, const SculptApplication& app) {
  state.counters["update_ms"] += app.frameTimes.update;
  state.counters["tess_ms"] += app.frameTimes.tessellate;
  state.counters["draw_ms"] += app.frameTimes.draw;
}
void ReportFrameTimes(benchmark::State& state) {
  for (const char* name : {"update_ms", "tess_ms", "draw_ms"}) {
    state.counters[name] = benchmark::Counter(state.counters[name], benchmark::Counter::kAvgIterations);
  }
}

void BuildScene(SculptApplication& app, int64_t scene) {
  if (scene == 0) {
    BuildTestScene(app.document, "materials", &app.mirrorMatrix);
  } else {
    ApplyLongSession(app.document);
  }
}

void BM_SculptAppInit(benchmark::State& state) {
  BenchWindow w(1280, 720);
  if (!Prepare(w, state)) return;
  const FrameInfo info = DesktopFrame(w.context);
  for (auto _ : state) {
    auto app = std::make_unique<SculptApplication>(&gRoots);
    const double t0 = TimeNow();
    app->Init(w.context, nullptr, &info);
    state.SetIterationTime(TimeNow() - t0);
    state.PauseTiming();
    app->Shutdown(w.context);
    app.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SculptAppInit)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// arg 0: scene (0 "materials", 1 10,000 records); arg 1: wait for the rasteriser.
void BM_DesktopFrame(benchmark::State& state) {
  BenchWindow w(1280, 720);
  if (!Prepare(w, state)) return;
  SculptApplication app(&gRoots);
  FrameInfo info = DesktopFrame(w.context);
  app.Init(w.context, nullptr, &info);
  BuildScene(app, state.range(0));
  // Mesh the whole sculpture first: the frames measured redraw it.
  app.tessellator.TessellateDirtyBlocks(w.context, INFINITY);
  for (auto _ : state) {
    w.context->BeginFrame();
    app.UpdateAndRender(w.context, &info);
    if (state.range(1) != 0) glFinish();
    state.PauseTiming();
    w.context->Present();
    AddFrameTimes(state, app);
    state.ResumeTiming();
  }
  ReportFrameTimes(state);
  app.Shutdown(w.context);
}
BENCHMARK(BM_DesktopFrame)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"scene", "finished"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One VR frame as the run loop drives it: input, both eyes drawn, resolved, submitted and
// mirrored, the poses read. arg 0: scene; arg 1: wait for the rasteriser; arg 2: the eye width
// (864: the headset's own size, 640: what `make run` draws), heights in proportion.
void BM_VrFrame(benchmark::State& state) {
  BenchWindow w(1280, 720);
  if (!Prepare(w, state)) return;
  setenv("LOOMWORK_VR_RUNTIME", "simulated", 1);
  vr::sim::SimulatedHeadsetOptions options;
  options.paced = false;  // the runtime's 90 Hz wait is not the application's cost
  options.eyeWidth = uint32_t(state.range(2));
  options.eyeHeight = options.eyeWidth == 640 ? 720 : 960;
  vr::sim::SetOptionsOverride(&options);
  SculptApplication app(&gRoots);
  OpenVRAppHost host(w.context, nullptr, &app);
  if (!host.Init(false)) {
    state.SkipWithError("the simulated headset did not start");
    return;
  }
  BuildScene(app, state.range(0));
  app.tessellator.TessellateDirtyBlocks(w.context, INFINITY);
  for (int frame = 0; frame < 3; ++frame) {  // poses arrive at the end of a frame
    bool vrInput = false;
    host.PollInput(nullptr, &vrInput);
    host.RenderFrame();
    host.EndFrame();
  }
  for (auto _ : state) {
    bool vrInput = false;
    w.context->BeginFrame();
    host.PollInput(nullptr, &vrInput);
    host.RenderFrame();
    if (state.range(1) != 0) glFinish();
    state.PauseTiming();
    w.context->Present();
    AddFrameTimes(state, app);
    state.ResumeTiming();
    host.EndFrame();
  }
  ReportFrameTimes(state);
  host.Shutdown();
  vr::sim::SetOptionsOverride(nullptr);
}
BENCHMARK(BM_VrFrame)
    ->ArgsProduct({{0, 1}, {0, 1}, {864, 640}})
    ->ArgNames({"scene", "finished", "eye"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

namespace {

// Loading a 50,000-record stroke sculpture at rate 0, as the script's load does on a click, then
// desktop frames until every block is meshed and drawn: what the program logs as "Load shown".
void BM_LoadShownStrokes(benchmark::State& state) {
  BenchWindow w(1280, 720);
  if (!Prepare(w, state)) return;
  const std::string& path = StrokeSculptureFile();
  if (path.empty()) {
    state.SkipWithError("cannot write the sculpture");
    return;
  }
  SculptApplication app(&gRoots);
  FrameInfo info = DesktopFrame(w.context);
  app.Init(w.context, nullptr, &info);
  // A frame before the click, as the program has drawn many: start-up work is not the load's.
  w.context->BeginFrame();
  app.UpdateAndRender(w.context, &info);
  w.context->Present();
  double frames = 0, loadSeconds = 0;
  for (auto _ : state) {
    const double start = TimeNow();
    if (!app.document.LoadSculpture(path, 0)) state.SkipWithError("load failed");
    loadSeconds += TimeNow() - start;
    while (app.document.LoadStartSeconds() >= 0.0) {
      w.context->BeginFrame();
      app.UpdateAndRender(w.context, &info);
      w.context->Present();
      ++frames;
    }
  }
  state.counters["frames"] = benchmark::Counter(frames, benchmark::Counter::kAvgIterations);
  state.counters["load_ms"] =
      benchmark::Counter(loadSeconds * 1000.0, benchmark::Counter::kAvgIterations);
  app.Shutdown(w.context);
}
// One load per process, as a person's first: a second one would find the memory the first left
// behind, so a figure per process.
BENCHMARK(BM_LoadShownStrokes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
