#include "file/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <set>
#include <stdexcept>

#include "base/log.h"
#include "file/atomic_file_writer.h"

namespace {

char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const char ca = ToLowerAscii(a[i]);
    const char cb = ToLowerAscii(b[i]);
    if (ca != cb) {
      return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb);
    }
  }
  return a.size() < b.size();
}

// Translates an fopen mode ("rb", "w", "a+", ...) into open() flags; false for unknown modes.
bool OpenFlagsForMode(const char* mode, int& flags) {
  bool update = std::strchr(mode, '+') != nullptr;
  switch (mode[0]) {
    case 'r': flags = update ? O_RDWR : O_RDONLY; break;
    case 'w': flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC; break;
    case 'a': flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND; break;
    default: return false;
  }
  if (std::strchr(mode, 'x') != nullptr) {
    flags |= O_EXCL;
  }
  flags |= O_CLOEXEC;
  return true;
}

enum class ReadStatus { Ok, CannotSize, TooLarge, ReadFailed };

// Reads from the current position to the size measured up front. A file that shrinks
// meanwhile leaves the tail zero-filled. out is only touched on success.
ReadStatus ReadWholeFile(FILE* file, std::vector<uint8_t>& out) {
  const int64_t size = GetFileSize(file);
  if (size < 0) {
    return ReadStatus::CannotSize;
  }
  std::vector<uint8_t> data;
  try {
    data.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return ReadStatus::TooLarge;
  } catch (const std::length_error&) {
    return ReadStatus::TooLarge;
  }
  if (!data.empty()) {
    std::fread(data.data(), 1, data.size(), file);
  }
  if (std::ferror(file)) {
    return ReadStatus::ReadFailed;
  }
  out.swap(data);
  return ReadStatus::Ok;
}

std::string LowerCaseAscii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) { return ToLowerAscii(c); });
  return text;
}

std::string FinalComponent(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

}  // namespace

void AddDataRoot(DataRoots& roots, const std::string& path) {
  if (!path.empty() && path.back() != '/' && path.back() != '\\') {
    roots.push_back(path + "/");
  } else {
    roots.push_back(path);
  }
}

FILE* OpenFile(const std::string& path, const char* mode) {
  int flags = 0;
  if (mode == nullptr || !OpenFlagsForMode(mode, flags)) {
    return nullptr;
  }
  // Non-blocking so that a FIFO without a writer cannot hang the open; cleared afterwards.
  const int fd = open(path.c_str(), flags | O_NONBLOCK, 0666);
  if (fd < 0) {
    return nullptr;
  }
  struct stat status;
  if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    close(fd);
    return nullptr;
  }
  const int fdFlags = fcntl(fd, F_GETFL);
  if (fdFlags != -1) {
    fcntl(fd, F_SETFL, fdFlags & ~O_NONBLOCK);
  }
  FILE* file = fdopen(fd, mode);
  if (file == nullptr) {
    close(fd);
  }
  return file;
}

FILE* OpenDataFile(const DataRoots* roots, const std::string& path, const char* mode) {
  if (roots == nullptr) {
    return OpenFile(path, mode);
  }
  for (const std::string& root : *roots) {
    if (FILE* file = OpenFile(root + path, mode)) {
      return file;
    }
  }
  return nullptr;
}

int64_t GetFileSize(FILE* file) {
  if (file == nullptr) {
    return -1;
  }
  const off_t position = ftello(file);
  if (position < 0 || fseeko(file, 0, SEEK_END) != 0) {
    return -1;
  }
  const off_t size = ftello(file);
  if (fseeko(file, position, SEEK_SET) != 0) {
    return 0;
  }
  return size < 0 ? -1 : static_cast<int64_t>(size);
}

bool ReadDataFromFile(const DataRoots* roots, const std::string& path, std::vector<uint8_t>& out) {
  FILE* file = OpenDataFile(roots, path, "rb");
  if (file == nullptr) {
    Log(LogLevel::Error, "ReadDataFromFile: Failed to open %s", path.c_str());
    return false;
  }
  const ReadStatus status = ReadWholeFile(file, out);
  std::fclose(file);
  switch (status) {
    case ReadStatus::Ok:
      return true;
    case ReadStatus::CannotSize:
      Log(LogLevel::Error, "ReadDataFromFile: Cannot determine the size of %s", path.c_str());
      return false;
    case ReadStatus::TooLarge:
      Log(LogLevel::Error, "ReadDataFromFile: %s is too large to read", path.c_str());
      return false;
    case ReadStatus::ReadFailed:
      Log(LogLevel::Error, "ReadDataFromFile: Failed to read %s", path.c_str());
      return false;
  }
  return false;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
  FILE* file = OpenFile(path, "rb");
  if (file == nullptr) {
    return false;
  }
  const ReadStatus status = ReadWholeFile(file, out);
  std::fclose(file);
  return status == ReadStatus::Ok;
}

bool ReadDataFileToString(bool textMode, const DataRoots* roots, const std::string& path,
                          std::string& out) {
  FILE* file = OpenDataFile(roots, path, textMode ? "r" : "rb");
  if (file == nullptr) {
    return false;
  }
  std::vector<uint8_t> bytes;
  const ReadStatus status = ReadWholeFile(file, bytes);
  std::fclose(file);
  if (status != ReadStatus::Ok) {
    return false;
  }
  size_t length = bytes.size();
  if (textMode) {
    length = std::find(bytes.begin(), bytes.end(), uint8_t{0}) - bytes.begin();
  }
  out.assign(reinterpret_cast<const char*>(bytes.data()), length);
  return true;
}

bool FileExists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

std::string FindDataFile(const DataRoots* roots, const std::string& path) {
  if (roots != nullptr) {
    for (const std::string& root : *roots) {
      if (FileExists(root + path)) return root + path;
    }
  }
  return path;
}

bool GetFileInfo(const std::string& path, FileInfo& info) {
  info.fullName = path;
  info.name = FinalComponent(path);
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    info.exists = false;
    info.isDirectory = false;
    info.size = 0;
    return false;
  }
  info.exists = true;
  info.isDirectory = S_ISDIR(status.st_mode);
  info.isWritable = (status.st_mode & S_IWUSR) != 0;
  info.size = info.isDirectory ? 0 : static_cast<uint64_t>(status.st_size);
  return true;
}

bool IsDirectory(const std::string& path) {
  FileInfo info;
  GetFileInfo(path, info);
  return info.isDirectory;
}

std::string GetFileExtension(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) {
    return std::string();
  }
  return LowerCaseAscii(path.substr(dot + 1));
}

int ListDirectory(const std::string& directory, std::vector<FileInfo>* out, const char* filter,
                  int flags) {
  std::set<std::string> extensions;
  if (filter != nullptr) {
    const std::string filterText(filter);
    size_t start = 0;
    size_t colon;
    while ((colon = filterText.find(':', start)) != std::string::npos) {
      extensions.insert(LowerCaseAscii(filterText.substr(start, colon - start)));
      start = colon + 1;
    }
    if (start < filterText.size()) {
      extensions.insert(LowerCaseAscii(filterText.substr(start)));
    }
  }

  DIR* search = opendir(directory.c_str());
  if (search == nullptr) {
    return 0;
  }
  std::vector<FileInfo> found;
  while (const dirent* entry = readdir(search)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") {
      continue;
    }
    if (name[0] == '.' && (flags & kListHidden) == 0) {
      continue;
    }
    FileInfo info;
    info.name = name;
    info.fullName = directory;
    if (info.fullName.empty() || info.fullName.back() != '/') {
      info.fullName += '/';
    }
    info.fullName += name;
    info.isDirectory = IsDirectory(info.fullName);
    if (!info.isDirectory && filter != nullptr && extensions.count(GetFileExtension(name)) == 0) {
      continue;
    }
    info.exists = true;
    found.push_back(std::move(info));
  }
  closedir(search);

  const int count = static_cast<int>(found.size());
  if (out != nullptr) {
    out->insert(out->end(), std::make_move_iterator(found.begin()),
                std::make_move_iterator(found.end()));
    std::sort(out->begin(), out->end(), [](const FileInfo& a, const FileInfo& b) {
      if (a.isDirectory != b.isDirectory) {
        return a.isDirectory;
      }
      if (LessIgnoringCase(a.name, b.name)) return true;
      if (LessIgnoringCase(b.name, a.name)) return false;
      return a.name < b.name;  // Same name but for case: still a stable, repeatable order.
    });
  }
  return count;
}

WriteResult WriteDataFileAtomic(const DataRoots* roots, const std::string& path, const void* data,
                                size_t size) {
  if (data == nullptr && size > 0) {
    Log(LogLevel::Error, "WriteDataFileAtomic: No data given for %s", path.c_str());
    return WriteResult::WriteFailed;
  }
  std::vector<std::string> targets;
  if (roots == nullptr) {
    targets.push_back(path);
  } else {
    for (const std::string& root : *roots) {
      targets.push_back(root + path);
    }
  }
  std::string lastError = "no folder to write '" + path + "' in";
  for (const std::string& target : targets) {
    AtomicFileWriter writer(target);
    if (!writer.Open()) {
      lastError = writer.Error();
      continue;
    }
    if (writer.Write(data, size) && writer.Commit()) {
      return WriteResult::Ok;
    }
    Log(LogLevel::Error, "%s", writer.Error().c_str());
    return WriteResult::WriteFailed;
  }
  // The writer's message names the path and the reason, once.
  Log(LogLevel::Error, "%s", lastError.c_str());
  return WriteResult::OpenFailed;
}
