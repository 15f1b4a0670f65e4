#pragma once

#include <string>

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  // Empty if the directory could not be created.
  const std::string& Path() const { return path_; }
  // Path() + "/" + relative.
  std::string File(const std::string& relative) const;

  // Test helpers; they report failures through gtest.
  void WriteFile(const std::string& relative, const std::string& contents) const;
  std::string ReadFile(const std::string& relative) const;
  void MakeDirectory(const std::string& relative) const;

 private:
  std::string path_;
};
