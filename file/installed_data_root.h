#pragma once
// The data tree of an installed program: PREFIX/bin/loomwork reads PREFIX/share/loomwork, so the
// installed program runs from any working directory.
#include <string>
#include <vector>

// True when root (empty: the working directory; else ending in a separator) holds a data tree,
// recognised by its panel script.
bool HoldsDataTree(const std::string& root);

// The data tree at relativePath from the folder of the running program (/proc/self/exe), ending
// in "/"; empty when that folder has none, as for a program run from its build folder.
std::string DataRootBesideProgram(const std::string& relativePath);

// What stands for the dataroot flag: the flag when given; else, when the working directory holds
// no data tree, the first of the trees at relativePaths beside the program; else empty. The
// data-root order stays the flag's.
std::string EffectiveDataRoot(const std::string& dataroot,
                              const std::vector<std::string>& relativePaths);
