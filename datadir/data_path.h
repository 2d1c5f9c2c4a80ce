// The game names its data files "./data/<file>", relative to the working directory. When
// the game's data lives elsewhere (an installed game started from a launcher), the files
// are opened from the folder chosen at start instead; the game's names stay as they are.
#pragma once
#include <string>

// The folder the "./data/" names are read from from now on; empty for ./data itself.
void SetDataDirectory(const std::string &directory);

// The file to open for one of the game's "./data/" names: the name itself while the
// data is in the working directory's ./data, else the same file in the chosen folder.
std::string DataFilePath(const char *name);
