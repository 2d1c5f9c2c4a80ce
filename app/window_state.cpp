// The window's size kept between runs (window_state.h).
#include "app/window_state.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include "app/user_dirs.h"
#include "base/file_check.h"

namespace {

constexpr int SmallestSide = 100, LargestSide = 16384;
constexpr long LargestFile = 256;  // the two lines and room for blanks

// "name = digits", blanks around each part allowed.
bool SizeLine(const std::string &line, const char *name, int &value) {
  std::istringstream in(line);
  std::string key, equals, number, rest;
  if (!(in >> key >> equals >> number) || (in >> rest) || key != name || equals != "=") return false;
  if (number.empty() || number.size() > 5 || number.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::atoi(number.c_str());
  return value >= SmallestSide && value <= LargestSide;
}

}  // namespace

std::string WindowStatePath() {
#if defined(__EMSCRIPTEN__) || defined(_WIN32)
  return {};
#else
  std::string why;
  const std::string folder = UserFolderPath(UserFolder::State, [](const char *name) -> const char * {
    return std::getenv(name);
  }, &why);
  if (folder.empty()) {
    std::fprintf(stderr, "quillrun: the window's size is not kept: %s\n", why.c_str());
    return {};
  }
  return folder + "/window";
#endif
}

bool ParseWindowState(const std::string &text, KeptWindowSize &size, std::string &why) {
  std::istringstream in(text);
  std::string widthLine, heightLine, extra;
  KeptWindowSize read;
  const bool complete = std::getline(in, widthLine) && std::getline(in, heightLine);
  if (!complete || !SizeLine(widthLine, "width", read.width) || !SizeLine(heightLine, "height", read.height)) {
    why = "not a width and a height from 100 to 16384";
    return false;
  }
  while (std::getline(in, extra))
    if (extra.find_first_not_of(" \t\r") != std::string::npos) {
      why = "more than a width and a height";
      return false;
    }
  size = read;
  return true;
}

KeptWindowSize LoadWindowState(const std::string &path) {
  KeptWindowSize size;
  if (path.empty()) return size;
  // None kept yet (the first run, or a player who never resized): nothing to say.
  std::error_code error;
  if (std::filesystem::symlink_status(path, error).type() == std::filesystem::file_type::not_found) return size;
  const char *cannot = nullptr;
  std::FILE *file = OpenRegularFileStream(path.c_str(), &cannot);
  if (!file) {
    std::fprintf(stderr, "quillrun: no window size kept in %s (%s); the window opens at its own size\n", path.c_str(),
                 cannot ? cannot : "cannot open it");
    return size;
  }
  char buffer[LargestFile + 1];
  const size_t length = std::fread(buffer, 1, sizeof buffer, file);
  std::fclose(file);
  std::string why;
  if (length > static_cast<size_t>(LargestFile))
    why = "longer than a window's size";
  else
    ParseWindowState(std::string(buffer, length), size, why);
  if (!why.empty())
    std::fprintf(stderr, "quillrun: the window size kept in %s is %s; the window opens at its own size\n",
                 path.c_str(), why.c_str());
  return size;
}

bool SaveWindowState(const std::string &path, const KeptWindowSize &size) {
  if (path.empty()) return false;
  std::string why;
  const std::string folder = std::filesystem::path(path).parent_path().string();
  if (!MakeFolders(folder, &why)) {
    std::fprintf(stderr, "quillrun: cannot keep the window's size in %s: %s\n", folder.c_str(), why.c_str());
    return false;
  }
  const std::string written = path + ".new";
  std::FILE *file = std::fopen(written.c_str(), "wb");
  bool ok = file != nullptr && std::fprintf(file, "width = %d\nheight = %d\n", size.width, size.height) > 0;
  if (file != nullptr && std::fclose(file) != 0) ok = false;
  std::error_code error;
  if (ok) std::filesystem::rename(written, path, error);
  if (!ok || error) {
    std::filesystem::remove(written, error);
    std::fprintf(stderr, "quillrun: cannot keep the window's size in %s\n", path.c_str());
    return false;
  }
  return true;
}
