// Watching a run again in the window (`quillrun --watch`): the world starts from the
// run's seed, the frames before the watched game are stepped at once without picture or
// sound, then the game plays at the pace of the frame driver. Space pauses, 1 to 4 give
// speed x1, x2, x4 and x8, the right arrow steps one frame while paused, Escape ends.
#pragma once
#include <cstdint>
#include <string>

#include "app/store_commands.h"

// Hands the run over; from then on the frame driver plays it instead of the person.
void StartWatching(WatchedRun run);
bool Watching();
// One frame of the driver while watching.
void RunWatchFrame();

// Where the watching stands, for a page to show: the frames of the run stepped so far,
// the last frame to play, the speed (1, 2, 4 or 8), and whether it is paused or has
// played its last frame.
struct WatchProgress {
  uint32_t stepped = 0;
  uint32_t ended = 0;
  int speed = 1;
  bool paused = false;
  bool finished = false;
};
WatchProgress WatchState();
// Once the last frame has played, the line saying where the game stood ("watched to
// frame N: game over, score S, shield H"); empty before.
const std::string &WatchedEndLine();
