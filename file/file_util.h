#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Relative paths are tried against each root in order; the first root that opens a file wins,
// for writing as for reading. A root is empty (the working directory) or ends in a separator.
using DataRoots = std::vector<std::string>;

struct FileInfo {
  std::string name;      // Without directory.
  std::string fullName;  // Directory, separator and name.
  bool exists = false;
  bool isDirectory = false;
  bool isWritable = false;  // The file's owner write permission is set.
  uint64_t size = 0;
};

// Appends path, adding "/" unless it is empty or already ends in "/" or "\".
void AddDataRoot(DataRoots& roots, const std::string& path);

// Paths are UTF-8 and go straight to the C runtime. Directories are never opened as files.
FILE* OpenFile(const std::string& path, const char* mode);
// Tries root + path for each root in order; null roots means OpenFile(path).
FILE* OpenDataFile(const DataRoots* roots, const std::string& path, const char* mode);

// Size in bytes, keeping the current position; -1 when the stream cannot be sized
// (not seekable), 0 when the position cannot be restored.
int64_t GetFileSize(FILE* file);

// Reads a whole file. On failure logs an error ("ReadDataFromFile: Failed to open <path>" when
// no root has the file), returns false and leaves out as it was.
bool ReadDataFromFile(const DataRoots* roots, const std::string& path, std::vector<uint8_t>& out);
// Same without roots and without messages.
bool ReadFile(const std::string& path, std::vector<uint8_t>& out);
// Text mode keeps the text up to the first zero byte; binary mode keeps every byte read.
// Returns false silently and leaves out as it was on failure.
bool ReadDataFileToString(bool textMode, const DataRoots* roots, const std::string& path,
                          std::string& out);

bool FileExists(const std::string& path);
// root + path for the first root where that file exists; path itself when none has it (or with
// null roots), for readers that take a plain path.
std::string FindDataFile(const DataRoots* roots, const std::string& path);
// Always sets fullName (to path) and name; false with exists, isDirectory and size cleared
// when path cannot be queried.
bool GetFileInfo(const std::string& path, FileInfo& info);
bool IsDirectory(const std::string& path);

// Lower-case characters after the last "." of the path's final component; empty without one.
std::string GetFileExtension(const std::string& path);

// Bit 0 of flags: include names that start with ".".
constexpr int kListHidden = 1;

// Appends the entries of directory to out (if given) and returns how many were appended.
// filter is a ":"-separated list of extensions (case-insensitive) that files must have;
// directories always pass; null lets everything through, "" no file. Afterwards all of out,
// including earlier entries, is sorted: directories first, then by name ignoring case.
// A directory that cannot be opened gives 0 and leaves out unchanged.
int ListDirectory(const std::string& directory, std::vector<FileInfo>* out, const char* filter,
                  int flags);

enum class WriteResult { Ok, OpenFailed, WriteFailed };

// Writes the whole buffer to a temporary file beside the target under the first data root in
// which it can be created, flushes and fsyncs it, checks every write and the close, and only
// then renames it over the target; on any failure the temporary file is removed and the old
// file is untouched. Null roots means path as given. Failures are logged.
WriteResult WriteDataFileAtomic(const DataRoots* roots, const std::string& path, const void* data,
                                size_t size);
