// The player's settings: settings.ini in the game's configuration folder (user_dirs.h),
// one "key = value" a line, '#' or ';' starting a comment. The first run writes it with
// every key at its default and a comment for each. A line the game cannot take is named
// on stderr (file, line, why) and its key keeps the default; the file is never rewritten
// once it is there, so the player's own words stay as they are. The command line
// overrides the file for one run.
#pragma once
#include <string>
#include <vector>

struct StartOptions;

struct Settings {
  enum Display { Ask, Window, FullScreen };
  Display display = Ask;          // the start-up question's answer, or ask it
  int scale = 1;                  // the window's size in 800 x 600 steps, 1 to 4
  std::string mouse = "auto";     // auto, relative, warp or absolute
  double sensitivity = 1.0;       // the mouse motion's scale, 0.25 to 4
  std::string pacing = "smooth";  // smooth or original
  int volume = 100;               // 0 (silent) to 100 (as the game plays its sounds)
  std::string board;              // the score board a run's best game is offered to (http or https); empty: none
  std::string name;               // the player's name on boards; empty: the login name
};

// The file as the first run writes it.
std::string DefaultSettingsText();

// Reads the file's text over the defaults. Each line it cannot take adds one message
// "FILE:LINE: why" to *problems and leaves that key at its default.
Settings ParseSettings(const std::string &text, const std::string &fileName, std::vector<std::string> *problems);

// The settings of this run: the file at `path` when it is there (its problems on
// stderr), or the defaults, written there first when nothing is (folders made as
// needed; one line on stderr when that cannot be done). An empty path: the defaults.
Settings LoadSettings(const std::string &path);

// Where the settings are kept: UserFolderPath's configuration folder and "settings.ini",
// or empty after one line on stderr saying why there is none (the browser says nothing:
// it never has one).
std::string SettingsPath();

// The settings as the start-up options, before the command line is read over them.
void ApplySettings(const Settings &settings, StartOptions &options);
