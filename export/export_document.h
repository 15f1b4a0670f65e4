#pragma once
// The panel's Export: the current sculpture as a glTF binary file under the data roots.
#include <string>

#include "file/file_util.h"

class SculptDocument;

// Extracts the whole surface of the document's grid afresh (the re-mesher's blocks may be behind
// by a frame), welds it and writes `path` (".glb") in the first data root whose folder for it
// exists. The outcome is logged with the file's path; returns whether the file was written.
bool ExportDocumentAsGlb(SculptDocument& document, const DataRoots* roots, const std::string& path);
