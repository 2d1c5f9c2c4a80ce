// Watching a recording in the page ("index.html?watch=URL"); see web_watch.cpp.
#pragma once
#include <string>

#include "app/store_commands.h"

// Reads the recording the page fetched from `url` and wrote to `path` with the
// desktop's reader of record files, and refuses one played under other rules. False
// with the reason, which names the address, not the page's file.
bool LoadPageRecording(const std::string &path, const std::string &url, WatchedRun &watched, std::string &error);

// The page's status line while watching: the frame, the speed and the keys; at the end
// where the game stood; `stopped` once Escape has ended the watching.
std::string WatchStatusLine(bool stopped);
