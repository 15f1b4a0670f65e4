#pragma once
// The stroke sculpture of kStrokeSculptureRecords records, written once per benchmark process to
// the temporary folder and removed at exit.
#include <string>

// The file's path; empty when it could not be written.
const std::string& StrokeSculptureFile();
