#pragma once
// The frame around an application: the interface every host drives, the per-frame record of
// the views the hosts hand it, and the run modes with their connection classes.
//
// One Application object exists per process. A host thread (the "client" thread) calls every
// operation except the destructor: Init once, then per frame ProcessSystemKeys, ProcessControls
// and UpdateAndRender, and Shutdown once after the last frame.
#include <cstdint>
#include <string>

#include "base/math_types.h"

namespace Draw {
class DrawContext;
}
class AudioStreamer;
class Controls;
class VRSystem;
class LocalConnection;

// Which threads the host starts.
enum class RunMode : int32_t {
  ServerOnly = 0,       // server thread (started with true); the window stays empty
  ClientOnly = 1,       // application thread only, no connection object
  ClientAndServer = 2,  // both, sharing a local connection; the server is started with true
  ClientAndServerStartFalse = 3,  // as 2, but the server is started with false
};

// How the host presents.
enum class DisplayMode : int32_t {
  Desktop = 0,   // a plain window, keyboard camera
  Stereo = 1,    // headset, the window shows both eyes
  MonoView = 2,  // headset, the window (square) shows the left eye only
};

struct FrameInfo;

// Binds what view number `view` draws into and clears it with clearColour (RGBA).
using BindTargetFunction = void (*)(int view, const FrameInfo* info, const float clearColour[4]);

// What the host tells the application about the views of one frame. Matrices are row-vector
// (v' = v x M) with translation in the fourth row.
struct FrameInfo {
  bool isVR = false;
  int32_t viewCount = 1;
  uint32_t eyeFramebuffer[2] = {};  // GL framebuffer names (0 on the desktop)
  Matrix4x4 eyeProjection[2];       // head space to each view's clip space
  float eyeViewport[2][4] = {};     // x, y, width, height
  Matrix4x4 headPose = Matrix4x4::Identity();  // head to tracking space
  Matrix4x4 headView = Matrix4x4::Identity();  // tracking space to head
  uint32_t width = 0;   // window client size on the desktop, per-eye render size in VR
  uint32_t height = 0;
  VRSystem* vrSystem = nullptr;
  void* targetUserData = nullptr;  // for the host's bindTarget: the drawing context, or the VR host
  BindTargetFunction bindTarget = nullptr;
};

// ---------------------------------------------------------------- connections

// The server's side of a connection: what a client sends to it.
class ServerConnection {
 public:
  virtual ~ServerConnection();
  virtual void SendToServer(uint64_t a, uint64_t b, uint64_t c) = 0;
};

// The client's side of a connection: what the server sends to it.
class ClientConnection {
 public:
  virtual ~ClientConnection();
  virtual void SendToClient(uint64_t a, uint64_t b, uint64_t c) = 0;
};

// Whoever receives the messages of a local connection.
class ConnectionPeer {
 public:
  virtual ~ConnectionPeer();
  virtual void HandleMessage(uint64_t a, uint64_t b, uint64_t c) = 0;
};

// Server and client threads of one process talking without a transport: each send is a direct
// call of the receiving peer's handler on the sender's thread. Peers start null; a message to a
// missing peer is dropped.
class LocalConnection : public ServerConnection, public ClientConnection {
 public:
  ConnectionPeer* serverPeer = nullptr;
  ConnectionPeer* clientPeer = nullptr;

  void SendToServer(uint64_t a, uint64_t b, uint64_t c) override;
  void SendToClient(uint64_t a, uint64_t b, uint64_t c) override;
};

// ---------------------------------------------------------------- server

// The server object an application hands out in the run modes that have a server thread. The
// server thread owns it: it calls SetConnection (when a connection exists), Start, then Tick until
// told to quit, then Stop, and deletes it.
class Server {
 public:
  virtual void SetConnection(LocalConnection* connection) = 0;
  virtual void Start(bool flag) = 0;
  virtual void Stop() = 0;
  virtual void ReservedHook();  // no host calls it
  virtual void Tick() = 0;
  virtual ~Server();
};

// ---------------------------------------------------------------- application

class Application {
 public:
  virtual ~Application();

  // Asked once, before any thread starts.
  virtual RunMode GetRunMode() = 0;
  // A new server object for the server thread, which takes ownership; null when there is none.
  virtual Server* GetServer();
  // Writes the near and far plane distances.
  virtual void GetClipPlanes(float out[2]);
  virtual void SetConnection(LocalConnection* connection);
  virtual void ReservedHook1();
  virtual void ReservedHook2();

  // On the application thread with the GL context current. info describes the views the frames
  // will have (isVR tells the desktop from the headset).
  virtual void Init(Draw::DrawContext* context, AudioStreamer* audio, const FrameInfo* info) = 0;
  // After the last UpdateAndRender: releases every GPU object Init and the frames created.
  virtual void Shutdown(Draw::DrawContext* context) = 0;
  // Every frame, before ProcessControls. vrInput tells whether the input comes from a headset.
  virtual void ProcessSystemKeys(Controls* controls, bool* vrInput) = 0;
  virtual void ProcessControls(Controls* controls, bool* vrInput) = 0;
  virtual void UpdateAndRender(Draw::DrawContext* context, const FrameInfo* info) = 0;
  // Asked after every frame; true ends the frame loop (the window stays open).
  virtual bool WantsQuit();
  // On the main thread when the person asks to quit (a quit key, the window's close button):
  // true ends the run now; false when the application first asks about unsaved work, and ends
  // the run itself (with a quit event) once that is answered.
  virtual bool ConfirmQuit();
  // On the main thread: whether a first Escape waits for a second to quit (shown in the picture
  // as well as the title), and a file dropped on the window to open.
  virtual void ShowQuitHint(bool shown);
  virtual void OpenDroppedFile(const std::string& path);
};
