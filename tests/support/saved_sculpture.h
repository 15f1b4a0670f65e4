#pragma once
// Reads back a sculpture file a program saved.
#include <string>
#include <vector>

#include "sculpt/sculpt_op.h"

// The file's bytes; empty when it cannot be read.
std::string FileBytes(const std::string& path);
// The file's records, as the loader parses them; false with *error when it is no sculpture.
bool ReadSculptureRecords(const std::string& path, std::vector<SculptOp>* records,
                          std::string* error);
