#include "application/application.h"

ServerConnection::~ServerConnection() = default;
ClientConnection::~ClientConnection() = default;
ConnectionPeer::~ConnectionPeer() = default;

void LocalConnection::SendToServer(uint64_t a, uint64_t b, uint64_t c) {
  if (serverPeer != nullptr) {
    serverPeer->HandleMessage(a, b, c);
  }
}

void LocalConnection::SendToClient(uint64_t a, uint64_t b, uint64_t c) {
  if (clientPeer != nullptr) {
    clientPeer->HandleMessage(a, b, c);
  }
}

void Server::ReservedHook() {}
Server::~Server() = default;

Application::~Application() = default;

Server* Application::GetServer() { return nullptr; }

void Application::GetClipPlanes(float out[2]) {
  out[0] = 0.1f;
  out[1] = 1000.0f;
}

void Application::SetConnection(LocalConnection* /*connection*/) {}
void Application::ReservedHook1() {}
void Application::ReservedHook2() {}
bool Application::WantsQuit() { return false; }

bool Application::ConfirmQuit() { return true; }

void Application::ShowQuitHint(bool /*shown*/) {}

void Application::OpenDroppedFile(const std::string& /*path*/) {}
