// The size the person left the game's window at, kept for the next run in the state
// folder ($XDG_STATE_HOME/quillrun/window, ~/.local/state/quillrun/window when unset):
// what the game notes for itself, not a setting. Two lines, "width = 1200" and
// "height = 900", in screen pixels of the framed window.
#pragma once
#include <string>

struct KeptWindowSize {
  int width = 0, height = 0;  // 0 x 0: none kept
};

// The file's path; empty (said on stderr) where the environment names no state folder.
std::string WindowStatePath();
// Reads the text of the file: false with the reason for anything but the two lines with
// sizes from 100 to 16384.
bool ParseWindowState(const std::string &text, KeptWindowSize &size, std::string &why);
// Reads the file; a missing, unreadable or spoiled one keeps no size, said in one line.
KeptWindowSize LoadWindowState(const std::string &path);
// Writes it (through a file of its own renamed over the old one, so a run that dies
// half-way leaves the old size); false, said in one line, when it cannot.
bool SaveWindowState(const std::string &path, const KeptWindowSize &size);
