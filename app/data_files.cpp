// Finds the folder that holds the game's textures and sounds (see data_files.h).
#include "app/data_files.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "datadir/data_path.h"
#include "render/device.h"
#include "sound/sound.h"

// Where an install puts the data, relative to the installed executable's folder.
#ifndef QR_DATA_FROM_EXECUTABLE
#define QR_DATA_FROM_EXECUTABLE "../../share/quillrun/data"
#endif

namespace {

namespace fs = std::filesystem;

constexpr char workingDataDirectory[] = "./data";
constexpr char dataPrefix[] = "./data/";

}  // namespace

std::vector<std::string> DataDirectoryCandidates(const std::string &executablePath) {
  std::vector<std::string> candidates{workingDataDirectory};
  const fs::path executable(executablePath);
  if (executablePath.empty() || !executable.has_parent_path()) return candidates;
  const fs::path folder = executable.parent_path();
  candidates.push_back((folder / "data").string());
  candidates.push_back((folder / QR_DATA_FROM_EXECUTABLE).lexically_normal().string());
  return candidates;
}

bool HoldsGameData(const std::string &directory) {
  std::vector<const char *> names(std::begin(textureFiles), std::end(textureFiles));
  names.insert(names.end(), std::begin(SoundId), std::end(SoundId));
  for (const char *name : names) {
    std::error_code error;
    // Every name is "./data/<file>"; only the file part is looked for here.
    if (fs::is_regular_file(fs::path(directory) / (name + std::strlen(dataPrefix)), error)) return true;
  }
  return false;
}

std::string FindGameData(const std::vector<std::string> &candidates) {
  SetDataDirectory("");
  for (size_t i = 0; i < candidates.size(); i++) {
    if (!HoldsGameData(candidates[i])) continue;
    if (i > 0) SetDataDirectory(candidates[i]);
    return candidates[i];
  }
  std::string tried;
  for (const std::string &candidate : candidates) tried += (tried.empty() ? "" : ", ") + candidate;
  std::fprintf(stderr, "quillrun: no game data found in %s; playing without textures and sounds\n", tried.c_str());
  return workingDataDirectory;
}
