#pragma once
#include <array>
#include <atomic>
#include <mutex>
#include <cstdint>
#include <string>
#include <vector>

#include "app/animated_value.h"
#include "app/autosave.h"
#include "app/autosave_recovery.h"
#include "app/desktop_view_target.h"
#include "app/hand_input.h"
#include "app/orbit_camera.h"
#include "app/panel_question.h"
#include "app/scene_renderer.h"
#include "application/application.h"
#include "audio/mixer3d.h"
#include "base/math_types.h"
#include "file/file_util.h"
#include "gfx/draw_context.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/voxel_grid.h"
#include "ui/panel_ui.h"
#include "ui/script_host.h"

// The sculpting application: grid, tessellator, document, panel script and mixer, with the hands
// that change them (HandInput) and the renderer that draws them (SceneRenderer). It orchestrates a
// frame: input, records applied, meshing, the views.
class SculptApplication : public Application {
 public:
  // Data files are looked up through dataRoots; the panel's slots through sculptureRoots (the
  // data roots when null). Both lists must outlive the application.
  explicit SculptApplication(const DataRoots* dataRoots,
                             const DataRoots* sculptureRoots = nullptr);
  ~SculptApplication() override;
  SculptApplication(const SculptApplication&) = delete;
  SculptApplication& operator=(const SculptApplication&) = delete;

  RunMode GetRunMode() override { return RunMode::ClientOnly; }
  void Init(Draw::DrawContext* context, AudioStreamer* audio, const FrameInfo* info) override;
  void Shutdown(Draw::DrawContext* context) override;
  void ProcessSystemKeys(Controls* controls, bool* vrInput) override;
  void ProcessControls(Controls* controls, bool* vrInput) override;
  void UpdateAndRender(Draw::DrawContext* context, const FrameInfo* info) override;
  bool WantsQuit() override;
  bool ConfirmQuit() override;
  void ShowQuitHint(bool shown) override;
  void OpenDroppedFile(const std::string& path) override;

  void TogglePanel();
  // (red, green, blue, roughness, metalness) from the script globals.
  std::array<float, 5> CurrentMaterial();

  // Test and capture switches, set before the run: quit after this many frames (0: never);
  // write the presented image of frame captureFrame (1-based; 0: the last frame, at Shutdown)
  // to capturePath when not empty.
  int32_t quitAfterFrames = 0;
  int32_t captureFrame = 0;
  std::string capturePath;
  // A sculpture file loaded at the end of Init as the panel's Load button does, at once (rate
  // 0), through the data roots; empty: none.
  std::string sculptureAtStart;
  // Where the document's unsaved records are kept (see Autosave), and left ones offered back at
  // the end of Init; empty: nowhere.
  std::string autosaveFolder;
  // Nobody is there to answer the panel's questions (LOOMWORK_UNATTENDED=1): each is logged and
  // declined.
  bool unattended = false;

  // Where the last frame's time went on this thread, in milliseconds: the update (script reload,
  // constants, controllers, records applied), the tessellation, and the views' draw submission.
  struct FrameTimes {
    double update = 0, tessellate = 0, draw = 0;
  } frameTimes;

  const DataRoots* dataRoots;
  VoxelGrid volume;
  BlockTessellator tessellator;
  SculptDocument document;
  PanelUI panel;
  Audio::Mixer3D mixer;
  AudioStreamer* audioOut = nullptr;
  // Declared before the script, which writes into its scene constants.
  SceneRenderer renderer;
  HandInput hands;

  Vec3 cameraOffset;
  // The desktop window's camera; the keyboard moves its target.
  OrbitCamera orbit;
  bool panelVisible = true;
  AnimatedValue panelAnim;
  bool mirrorEnabled = false;
  Matrix4x4 mirrorMatrix;
  bool reloadScript = false;
  // How long a frame may spend meshing dirty blocks (blocks left over stay dirty).
  float meshingBudgetSeconds = 1.0f / 90.0f;

  // Declared last: it holds pointers to the panel, document and the renderer's constants above.
  ScriptHost script;

 private:
  // The desktop camera's eye and the listener follow the head; the renderer gets the view.
  void BeginFrame(Draw::DrawContext* context, const FrameInfo* info, int32_t lightEnv);
  SceneFrame FrameToDraw(int32_t lightEnv) const;
  // After a finished unit of the history: the autosave gets the records, or loses its file when
  // no unsaved work is left.
  void KeepUnsavedWork();
  // The document's name and state, the hints and the requests of the main thread, for the panel
  // script, before the frame's views; then what the panel answered.
  void PublishDocument();
  void FollowPanelAnswers();
  std::string DocumentName() const;
  // What programs before this one left in their autosaves, offered on the panel one at a time.
  void OfferLeftWork();

  DesktopViewTarget desktopTarget_;
  Autosave autosave_;
  uint64_t keptRevision_ = 0;
  bool keptUnsaved_ = false;
  bool workDiscarded_ = false;  // the person chose to quit without saving
  PanelQuestion question_;
  AutosaveRecovery recovery_;
  // Between the main thread, where quits are asked for, and this one.
  std::atomic<bool> unsavedWork_{false};
  std::atomic<bool> quitAsked_{false};
  std::atomic<bool> quitHintShown_{false};
  std::mutex droppedMutex_;
  std::string droppedFile_;
  std::string autosaveNotice_;  // said on the panel once the autosave cannot keep the work
  double autosaveNoticeSince_ = 0.0;
  Matrix4x4 trackingToWorld_;
  Matrix4x4 gridToWorld_;
  Matrix4x4 worldToGrid_;
  bool desktop_ = false;
  int32_t frameCount_ = 0;
  double lastFrameStart_ = 0.0;
  double frameRate_ = 0.0;
  int64_t triangles_ = 0;
  bool initialised_ = false;
  bool quitPosted_ = false;
};
