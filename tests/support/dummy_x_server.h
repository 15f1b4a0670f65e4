#pragma once
// A real X server (Xorg with the "dummy" video driver) whose screen has several modes, for tests
// that switch the display mode: Xvfb has only its one screen size, so there a switch and its
// restore cannot be told apart from doing nothing.
#include <string>

#include "temp_directory.h"

class DummyXServer {
 public:
  // Starts the server on a free display number and waits until it takes connections. Its modes
  // are 1920x1080 (the starting one) and 1280x720.
  DummyXServer();
  ~DummyXServer();  // stops the server
  DummyXServer(const DummyXServer&) = delete;
  DummyXServer& operator=(const DummyXServer&) = delete;

  // ":N", or empty when the server could not be started (then Error() says why).
  const std::string& Display() const { return display_; }
  const std::string& Error() const { return error_; }

 private:
  TempDirectory dir_;
  std::string display_;
  std::string error_;
  int pid_ = -1;
};
