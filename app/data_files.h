// Where the game's data files are found. The game names them "./data/..." relative to
// the working directory; when that folder holds none of them (a game started from a
// launcher, or from another folder), the data/ beside the executable is used, then the
// installed data directory, found from the executable's own place so that an install
// moved elsewhere or a package unpacked into any folder still finds its data.
#pragma once
#include <string>
#include <vector>

// The places to look, in order: ./data, data/ beside the executable, then the installed
// data directory relative to it. Only ./data when the executable's path is unknown.
std::vector<std::string> DataDirectoryCandidates(const std::string &executablePath);

// True when the directory holds at least one of the game's texture or sound files.
bool HoldsGameData(const std::string &directory);

// Picks the first candidate that holds game data for every later DataFilePath
// (platform/data_path.h). When
// none does, says on stderr which places were tried and keeps ./data, so every file
// then reports itself missing as it always has. Returns the chosen directory.
std::string FindGameData(const std::vector<std::string> &candidates);
