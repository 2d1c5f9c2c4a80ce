// Where a player's own files go: the settings in the configuration folder, screenshots
// (and what else is kept) in the data folder, what the game notes for itself (the
// window's size) in the state folder. On Linux the XDG base directories:
// $XDG_CONFIG_HOME, $XDG_DATA_HOME and $XDG_STATE_HOME, or ~/.config, ~/.local/share and
// ~/.local/state when they are unset, empty or not absolute; on Windows %APPDATA%. In the browser there is no place
// that outlives the page.
#pragma once
#include <string>

enum class UserFolder { Config, Data, State };

// Reads one environment variable; null when it is unset.
using EnvironmentLookup = const char *(*)(const char *name);

// The game's own folder inside the player's configuration or data folder (ending in
// "quillrun", without a trailing separator), or empty with the reason in *why when the
// environment gives no usable place.
std::string UserFolderPath(UserFolder folder, EnvironmentLookup environment, std::string *why);

// Makes the folder and every missing one above it; false with the reason in *why.
bool MakeFolders(const std::string &path, std::string *why);
