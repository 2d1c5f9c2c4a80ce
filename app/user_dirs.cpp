// The player's configuration and data folders (see user_dirs.h).
#include "app/user_dirs.h"

#include <filesystem>
#include <system_error>

#ifndef __EMSCRIPTEN__
namespace {

bool Absolute(const char *path) {
#ifdef _WIN32
  // "C:\..." or a network path "\\server\...".
  return path[0] != '\0' && ((path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
                             (path[0] == '\\' && path[1] == '\\'));
#else
  return path[0] == '/';
#endif
}

}  // namespace
#endif

std::string UserFolderPath(UserFolder folder, EnvironmentLookup environment, std::string *why) {
#if defined(__EMSCRIPTEN__)
  (void)folder;
  (void)environment;
  *why = "the browser keeps no files between visits";
  return {};
#elif defined(_WIN32)
  // Settings and kept files alike roam with the player's profile.
  (void)folder;
  const char *appData = environment("APPDATA");
  if (appData == nullptr || !Absolute(appData)) {
    *why = "%APPDATA% does not name a folder";
    return {};
  }
  return std::string(appData) + "\\quillrun";
#else
  // The XDG folders must be absolute: a relative path in these variables is ignored, as
  // if the variable were unset.
  const char *variable = folder == UserFolder::Config ? "XDG_CONFIG_HOME"
                         : folder == UserFolder::Data ? "XDG_DATA_HOME"
                                                      : "XDG_STATE_HOME";
  const char *base = environment(variable);
  if (base != nullptr && Absolute(base)) return std::string(base) + "/quillrun";
  const char *home = environment("HOME");
  if (home == nullptr || !Absolute(home)) {
    *why = std::string("neither $") + variable + " nor $HOME names a folder";
    return {};
  }
  std::string path = home;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path == "/") path.clear();
  return path + (folder == UserFolder::Config ? "/.config/quillrun"
                 : folder == UserFolder::Data ? "/.local/share/quillrun"
                                              : "/.local/state/quillrun");
#endif
}

bool MakeFolders(const std::string &path, std::string *why) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) {
    *why = error.message();
    return false;
  }
  if (!std::filesystem::is_directory(path, error)) {
    *why = "it is not a folder";
    return false;
  }
  return true;
}
