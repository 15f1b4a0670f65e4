#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

TempDirectory::TempDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                        "/loomwork-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) != nullptr) {
    path_ = buffer.data();
  } else {
    ADD_FAILURE() << "mkdtemp failed for " << pattern;
  }
}

TempDirectory::~TempDirectory() {
  if (!path_.empty()) {
    std::error_code error;
    // Tests may leave read-only entries behind; make sure removal can get through.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, error);
    }
    std::filesystem::remove_all(path_, error);
  }
}

std::string TempDirectory::File(const std::string& relative) const { return path_ + "/" + relative; }

void TempDirectory::WriteFile(const std::string& relative, const std::string& contents) const {
  std::ofstream stream(File(relative), std::ios::binary | std::ios::trunc);
  stream.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  EXPECT_TRUE(stream.good()) << "could not write " << File(relative);
}

std::string TempDirectory::ReadFile(const std::string& relative) const {
  std::ifstream stream(File(relative), std::ios::binary);
  EXPECT_TRUE(stream.good()) << "could not read " << File(relative);
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void TempDirectory::MakeDirectory(const std::string& relative) const {
  std::error_code error;
  std::filesystem::create_directories(File(relative), error);
  EXPECT_FALSE(error) << "could not create " << File(relative) << ": " << error.message();
}
