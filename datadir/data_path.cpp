// Opens the game's "./data/" names from the folder chosen at start (see data_path.h).
#include "datadir/data_path.h"

#include <cstring>
#include <filesystem>

namespace {

constexpr char dataPrefix[] = "./data/";

// Empty while the working directory's ./data is used.
std::string chosenDataDirectory;

}  // namespace

void SetDataDirectory(const std::string &directory) { chosenDataDirectory = directory; }

std::string DataFilePath(const char *name) {
  if (chosenDataDirectory.empty() || std::strncmp(name, dataPrefix, std::strlen(dataPrefix)) != 0) return name;
  return (std::filesystem::path(chosenDataDirectory) / (name + std::strlen(dataPrefix))).string();
}
