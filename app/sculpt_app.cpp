#include "app/sculpt_app.h"

#include <algorithm>
#include <cstdlib>

#include <SDL.h>

#include "app/autosave_recovery.h"
#include "app/controls.h"
#include "app/grid_placement.h"
#include "audio/audio_streamer.h"
#include "audio/listener_view.h"
#include "audio/mix_audio_callback.h"
#include "base/log.h"
#include "base/timing.h"
#include "sculpt/test_scenes.h"
#include "ui/script_globals.h"
#include "vr/vr_system.h"

namespace {

// Windows virtual-key codes, as the controls store them.
constexpr int kKeyF5 = 116;
constexpr int kKeyShift = 16;
constexpr int kKeyControl = 17;
constexpr int kKeyOpenBracket = 219;
constexpr int kKeyCloseBracket = 221;
// The panel's size slider's range, in metres.
constexpr double kMinDrawSize = 0.005;
constexpr double kMaxDrawSize = 0.15;
// The undo history keeps before-images of the blocks strokes wrote within this much memory, and
// grid checkpoints within as much again. LOOMWORK_HISTORY_BUDGET_MB sets another amount (0 to
// 65536; the soak run uses a small one so that memory levels off within a few cycles).
constexpr size_t kHistoryBudgetBytes = size_t(256) << 20;

size_t HistoryBudgetBytes() {
  const char* text = std::getenv("LOOMWORK_HISTORY_BUDGET_MB");
  if (text == nullptr || *text == 0) return kHistoryBudgetBytes;
  char* end = nullptr;
  const unsigned long megabytes = std::strtoul(text, &end, 10);
  if (*end != 0 || text[0] == '-' || megabytes > 65536) {
    Log(LogLevel::Warning, "LOOMWORK_HISTORY_BUDGET_MB='%s' is not 0 to 65536; using 256", text);
    return kHistoryBudgetBytes;
  }
  return size_t(megabytes) << 20;
}

constexpr float kCameraStep = 0.1f;  // metres per frame a movement key is held
// How long a notice about the autosave stays on the panel's status line.
constexpr double kNoticeSeconds = 10.0;
// 1/0.15 with 0.15 taken in single precision: the panel grows or shrinks over 0.15 s.
constexpr double kPanelAnimRate = 1.0 / double(0.15f);

// The window's event pump ends only on a quit event: the application asks for one as a close
// would.
void PostQuitEvent() {
  SDL_Event event = {};
  event.type = SDL_QUIT;
  SDL_PushEvent(&event);
}

bool IsZeroMatrix(const Matrix4x4& m) {
  for (float value : m.m) {
    if (value != 0.0f) return false;
  }
  return true;
}

}  // namespace

SculptApplication::SculptApplication(const DataRoots* roots, const DataRoots* sculptureRoots)
    : dataRoots(roots),
      volume(kGridSize, kGridChannels),
      tessellator(&volume, kBlockSize),
      document(&volume, sculptureRoots != nullptr ? sculptureRoots : roots),
      mixer(44100.0f, 2),
      renderer(&script, &panel, &tessellator),
      hands(HandInput::Parts{&script, &document, &volume, &panel, &orbit,
                             [this] { TogglePanel(); }}),
      script(ScriptTargets{&panel, &document, &mirrorMatrix, renderer.sceneConstants, roots}) {
  volume.listener = &tessellator;
  document.EnableHistory(HistoryBudgetBytes(), HistoryBudgetBytes());
}

SculptApplication::~SculptApplication() = default;

void SculptApplication::Init(Draw::DrawContext* context, AudioStreamer* audio,
                             const FrameInfo* info) {
  audioOut = audio;
  if (audioOut != nullptr) {
    audioOut->SetCallback(MixAudioCallback, &mixer);
  }

  // Meshing runs on this thread from now on: its tessellation team is started here, not by the
  // first meshing after a load.
  tessellator.PrepareThreads();

  renderer.Create(context, dataRoots);

  cameraOffset = {0.0f, 0.0f, 0.0f};
  desktop_ = info == nullptr || !info->isVR;
  if (desktop_) {
    orbit = OrbitCamera{};
    cameraOffset = orbit.Eye();
  }

  script.SetupScript(context);
  renderer.ConnectPanel(context);
  // After the script's init, so the file given wins over anything the script set up; failures
  // are logged by the document and leave the grid as it was.
  if (!sculptureAtStart.empty()) {
    // As given (made absolute by the entry point), not among the slots.
    static const DataRoots kAsGiven = {""};
    document.LoadSculpture(sculptureAtStart, 0, &kAsGiven);
  }
  // After the file given: a restored sculpture replaces it, and that file is still on disk.
  if (!autosaveFolder.empty() && !autosave_.IsOpen()) {
    std::string error;
    if (autosave_.Open(autosaveFolder, &error)) {
      recovery_.Find(autosave_);
    } else {
      Log(LogLevel::Warning, "No autosave (%s): unsaved work is lost if the program ends",
          error.c_str());
      autosaveNotice_ = "No autosave: save your work";
    }
  }
  keptRevision_ = document.Revision();
  keptUnsaved_ = document.HasUnsavedChanges() && !document.OperationLog().empty();
  unsavedWork_.store(keptUnsaved_);
  question_.unattended = unattended;
  initialised_ = true;
}

void SculptApplication::Shutdown(Draw::DrawContext* /*context*/) {
  // Unsaved work stays in the autosave, to be offered at the next start; none, and it goes.
  KeepUnsavedWork();
  autosave_.Flush();
  // Whatever the next start finds, nobody will be asked to quit this run again.
  unsavedWork_.store(false);
  if (!capturePath.empty() && captureFrame == 0 && desktopTarget_.Width() > 0) {
    // The target still holds the last frame drawn.
    desktopTarget_.PresentToWindow();
    if (WriteWindowImagePng(capturePath.c_str(), desktopTarget_.Width(),
                            desktopTarget_.Height())) {
      Log(LogLevel::Info, "Wrote the last frame's image to %s", capturePath.c_str());
    }
  }
  desktopTarget_.Release();
  tessellator.ReleaseBuffers();

  renderer.Release();
  if (audioOut != nullptr) {
    // The mixer outlives this call, but the output is about to go away with the context.
    audioOut->SetCallback(nullptr, nullptr);
  }
  initialised_ = false;
}

void SculptApplication::ProcessSystemKeys(Controls* controls, bool* /*vrInput*/) {
  if (controls != nullptr && controls->keyPressed[kKeyF5] != 0) {
    reloadScript = true;
  }
}

void SculptApplication::ProcessControls(Controls* controls, bool* /*vrInput*/) {
  if (controls == nullptr) {
    return;
  }
  // Per frame, not per second; opposite keys cancel. On the desktop they carry the orbit's
  // target, and the camera with it.
  Vec3& moved = desktop_ ? orbit.target : cameraOffset;
  if (controls->keyDown['W'] != 0) moved.z -= kCameraStep;
  if (controls->keyDown['S'] != 0) moved.z += kCameraStep;
  if (controls->keyDown['Q'] != 0) moved.y -= kCameraStep;
  if (controls->keyDown['E'] != 0) moved.y += kCameraStep;
  if (controls->keyDown['A'] != 0) moved.x -= kCameraStep;
  if (controls->keyDown['D'] != 0) moved.x += kCameraStep;
  if (desktop_) {
    hands.ReadMouse(*controls);
  } else if ((controls->mousePressed & Controls::kMouseRight) != 0) {
    TogglePanel();
  }
  // The D-pad's tools and the rest of the panel's row on the number keys.
  static constexpr const char* kToolKeys[] = {"Add", "Subtract", "Paint", "Dropper", "Buff",
                                              "Sandpaper"};
  for (int k = 0; k < 6; ++k) {
    if (controls->keyPressed['1' + k] != 0) script.SetString(ScriptGlobals::kTool, kToolKeys[k]);
  }
  // Brush size: [ smaller, ] larger, a fifth at a time within the panel slider's range.
  const bool smaller = controls->keyPressed[kKeyOpenBracket] != 0;
  const bool larger = controls->keyPressed[kKeyCloseBracket] != 0;
  if (smaller != larger) {
    const double size = script.GetNumber(ScriptGlobals::kDrawSize);
    script.SetNumber(ScriptGlobals::kDrawSize,
                     std::clamp(larger ? size * 1.2 : size / 1.2, kMinDrawSize, kMaxDrawSize));
  }
  // Ctrl+Z undoes; Ctrl+Shift+Z and Ctrl+Y redo.
  if (controls->keyDown[kKeyControl] != 0) {
    if (controls->keyPressed['Z'] != 0) {
      if (controls->keyDown[kKeyShift] != 0) {
        document.Redo();
      } else {
        document.Undo();
      }
    }
    if (controls->keyPressed['Y'] != 0) document.Redo();
  }
}

void SculptApplication::TogglePanel() {
  const bool old = panelVisible;
  panelVisible = !old;
  const double t = TimeNow();
  // From wherever the panel is now, so a second click reverses it without a jump.
  panelAnim.from = panelAnim.ValueAt(t);
  panelAnim.to = old ? 0.0f : 1.0f;
  panelAnim.startTime = t;
  panelAnim.rate = kPanelAnimRate;
  panelAnim.easing = 1;
}

std::array<float, 5> SculptApplication::CurrentMaterial() { return MaterialFromScript(script); }

bool SculptApplication::WantsQuit() {
  if (quitAfterFrames <= 0 || frameCount_ < quitAfterFrames) {
    return false;
  }
  if (!quitPosted_) {
    PostQuitEvent();
    quitPosted_ = true;
  }
  return true;
}

bool SculptApplication::ConfirmQuit() {
  if (!unsavedWork_.load()) return true;
  quitAsked_.store(true);
  return false;
}

void SculptApplication::OfferLeftWork() {
  std::string text;
  if (question_.IsOpen() || !script.GetString(ScriptGlobals::kQuestion).empty() ||
      !recovery_.Next(&text))
    return;
  if (!panelVisible) TogglePanel();
  question_.Ask(script, text, {"Restore", "Keep aside"}, [this](const std::string& choice) {
    if (choice == "Restore") {
      recovery_.Restore(document, autosave_);
    } else {
      recovery_.Decline();
    }
  });
}

void SculptApplication::ShowQuitHint(bool shown) { quitHintShown_.store(shown); }

void SculptApplication::OpenDroppedFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(droppedMutex_);
  droppedFile_ = path;
}

std::string SculptApplication::DocumentName() const {
  const std::string& path = document.FilePath();
  // The panel's slots by their number, as its buttons show them.
  static const std::string kSlotPrefix = "sculptures/slot", kSuffix = ".sculpt";
  if (path.size() > kSlotPrefix.size() + kSuffix.size() && path.rfind(kSlotPrefix, 0) == 0 &&
      path.compare(path.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0) {
    const std::string number =
        path.substr(kSlotPrefix.size(), path.size() - kSlotPrefix.size() - kSuffix.size());
    if (number.find_first_not_of("0123456789") == std::string::npos) return "slot " + number;
  }
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void SculptApplication::PublishDocument() {
  script.SetNumber(ScriptGlobals::kUnsaved, unsavedWork_.load() ? 1.0 : 0.0);
  script.SetString(ScriptGlobals::kDocumentPath, document.FilePath());
  script.SetString(ScriptGlobals::kDocumentName, DocumentName());
  if (autosave_.Failed() && autosaveNoticeSince_ == 0.0) {
    autosaveNotice_ = "Autosave failed: save your work";
  }
  // Said for a while, not for the rest of the run: the log keeps the reason.
  if (!autosaveNotice_.empty()) {
    const double now = TimeNow();
    if (autosaveNoticeSince_ == 0.0) autosaveNoticeSince_ = now;
    if (now - autosaveNoticeSince_ > kNoticeSeconds) autosaveNotice_.clear();
  }
  const bool quitHint = quitHintShown_.load();
  if (quitHint && !panelVisible) TogglePanel();
  script.SetString(ScriptGlobals::kNotice,
                   quitHint ? std::string("Press Escape again to quit") : autosaveNotice_);
  // Nobody there to answer the panel's own questions: declined, as every question is then.
  if (unattended && !question_.IsOpen() && !script.GetString(ScriptGlobals::kQuestion).empty() &&
      script.GetString(ScriptGlobals::kQuestionAnswer).empty()) {
    Log(LogLevel::Info, "Nobody to answer the panel's question; taken as Cancel");
    script.SetString(ScriptGlobals::kQuestionAnswer, "Cancel");
  }
  // Quits and dropped files are asked about by the panel, which knows where Save writes; the
  // panel shows itself for them.
  if (quitAsked_.exchange(false)) {
    if (!panelVisible) TogglePanel();
    script.SetNumber(ScriptGlobals::kQuitRequested, 1.0);
  }
  std::string dropped;
  {
    std::lock_guard<std::mutex> lock(droppedMutex_);
    dropped.swap(droppedFile_);
  }
  if (!dropped.empty()) {
    if (!panelVisible) TogglePanel();
    script.SetString(ScriptGlobals::kDroppedFile, dropped);
  }
}

void SculptApplication::FollowPanelAnswers() {
  if (script.GetInteger(ScriptGlobals::kQuitConfirmed) != 1) return;
  script.SetNumber(ScriptGlobals::kQuitConfirmed, 0.0);
  // Quitting with changes unsaved is the person's Discard: the autosave goes with them.
  if (document.HasUnsavedChanges()) {
    workDiscarded_ = true;
    autosave_.Discard();
  }
  PostQuitEvent();
}

void SculptApplication::BeginFrame(Draw::DrawContext* context, const FrameInfo* info,
                                   int32_t lightEnv) {
  Matrix4x4 headView = info != nullptr ? info->headView : Matrix4x4::Identity();
  if (desktop_) {
    // The orbit camera is the desktop's head.
    cameraOffset = orbit.Eye();
    headView = orbit.Rotation();
  }
  const Matrix4x4 view = Audio::SetListenerFromView(mixer, cameraOffset, headView);
  renderer.BeginFrame(context, view, lightEnv);
  trackingToWorld_ = Matrix4x4::Translation(cameraOffset);
  gridToWorld_ = GridToWorld();
  if (!InvertMatrix(gridToWorld_, worldToGrid_)) worldToGrid_ = Matrix4x4::Identity();
}

void SculptApplication::KeepUnsavedWork() {
  if (workDiscarded_) return;
  const bool unsaved = document.HasUnsavedChanges() && !document.OperationLog().empty();
  unsavedWork_.store(unsaved || document.UnitOpen());
  if (document.UnitOpen()) return;
  if (document.Revision() == keptRevision_ && unsaved == keptUnsaved_) return;
  keptRevision_ = document.Revision();
  keptUnsaved_ = unsaved;
  if (unsaved) {
    autosave_.Keep(document.OperationLog());
  } else {
    autosave_.Discard();
  }
}

SceneFrame SculptApplication::FrameToDraw(int32_t lightEnv) const {
  SceneFrame frame;
  frame.lightEnv = lightEnv;
  frame.gridToWorld = gridToWorld_;
  frame.worldToGrid = worldToGrid_;
  frame.cameraOffset = cameraOffset;
  frame.desktopCameraToWorld = orbit.CameraToWorld();
  frame.mirrorEnabled = mirrorEnabled;
  frame.mirrorMatrix = mirrorMatrix;
  frame.panelScale = panelAnim.ValueAt(TimeNow());
  frame.hands = hands.Poses();
  return frame;
}

void SculptApplication::UpdateAndRender(Draw::DrawContext* context, const FrameInfo* info) {
  if (context == nullptr || info == nullptr || !initialised_) {
    return;
  }
  ++frameCount_;
  const double frameStart = TimeNow();
  // Frame rate for the panel, smoothed over about a second.
  if (lastFrameStart_ > 0.0 && frameStart > lastFrameStart_) {
    const double rate = 1.0 / (frameStart - lastFrameStart_);
    frameRate_ = frameRate_ > 0.0 ? frameRate_ + (rate - frameRate_) * 0.05 : rate;
  }
  lastFrameStart_ = frameStart;
  script.SetNumber(ScriptGlobals::kFrameRate, frameRate_);
  if (reloadScript) {
    script.SetupScript(context);
    reloadScript = false;
  }

  BeginFrame(context, info, int32_t(script.GetInteger(ScriptGlobals::kLightEnv)));
  PublishDocument();
  OfferLeftWork();

  // The panel's Mirror button switches mirrored strokes. Until a scene sets a mirror, strokes
  // are mirrored across the grid's middle (x -> 192 - x): a zero matrix would squash every
  // mirrored stamp into the grid's corner.
  mirrorEnabled = script.GetInteger(ScriptGlobals::kMirror) != 0;
  if (mirrorEnabled && IsZeroMatrix(mirrorMatrix)) {
    mirrorMatrix = GridMiddleMirror();
  }
  std::vector<SculptOp> frameOps;
  const HandSpace space{gridToWorld_, worldToGrid_, trackingToWorld_, mirrorEnabled, mirrorMatrix};
  hands.ReadFrame(info, desktop_, space, frameOps);
  document.ApplyFrame(frameOps);

  // A frame with a load fully applied and not yet shown (at once, or the end of a replay) is late
  // anyway: it meshes every block, so that the sculpture appears whole instead of after more
  // late frames.
  const bool loadApplied =
      document.LoadStartSeconds() >= 0.0 && document.ReplayQueue().empty();
  const double t0 = TimeNow();
  const int tessellated =
      tessellator.TessellateDirtyBlocks(context, loadApplied ? INFINITY : meshingBudgetSeconds);
  const double t1 = TimeNow();
  if (tessellated > 0) {
    Log(LogLevel::Info, "Tess time (%d blocks): %0.3f ms", tessellated, (t1 - t0) * 1000.0);
    int64_t vertices = 0;
    for (const TessBlock& block : tessellator.records) vertices += block.vertexCount;
    triangles_ = vertices / 3;
  }
  script.SetNumber(ScriptGlobals::kTriangles, double(triangles_));

  const int32_t lightEnv = int32_t(script.GetInteger(ScriptGlobals::kLightEnv));
  FrameInfo viewInfo = *info;
  const bool offscreen = !info->isVR && info->bindTarget != nullptr &&
                         desktopTarget_.Prepare(context, int32_t(info->width),
                                                int32_t(info->height));
  if (offscreen) {
    viewInfo.bindTarget = &DesktopViewTarget::Bind;
    viewInfo.targetUserData = &desktopTarget_;
  }
  for (int view = 0; view < viewInfo.viewCount && view < 2; ++view) {
    renderer.DrawView(context, &viewInfo, view, FrameToDraw(lightEnv));
  }
  const double t2 = TimeNow();
  // What a person waits for after Load: every record applied, every block meshed and drawn.
  if (loadApplied && tessellator.DirtyCount() == 0) {
    Log(LogLevel::Info, "Load shown: %zu records applied, meshed and drawn %0.1f ms after the load",
        document.LoadedRecordCount(), (t2 - document.LoadStartSeconds()) * 1000.0);
    document.ForgetLoadStart();
  }
  question_.Poll(script);
  FollowPanelAnswers();
  // Strokes end in the frame's records, panel actions while its views are drawn.
  KeepUnsavedWork();
  frameTimes = {(t0 - frameStart) * 1000.0, (t1 - t0) * 1000.0, (t2 - t1) * 1000.0};
  if (info->vrSystem != nullptr) {
    info->vrSystem->SubmitFrame();
  }
  if (offscreen) {
    desktopTarget_.PresentToWindow();
    if (!capturePath.empty() && frameCount_ == captureFrame) {
      if (WriteWindowImagePng(capturePath.c_str(), desktopTarget_.Width(),
                              desktopTarget_.Height())) {
        Log(LogLevel::Info, "Wrote the frame %d image to %s", frameCount_, capturePath.c_str());
      }
    }
  }
}
