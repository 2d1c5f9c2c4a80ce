// Watching a run again in the window (`quillrun --watch`): the world starts from the
// run's seed, the frames before the watched game are stepped at once without picture or
// sound, then the game plays at the pace of the frame driver. Space pauses, 1 to 4 give
// speed x1, x2, x4 and x8, the right arrow steps one frame while paused, Escape ends.
#pragma once
#include "app/store_commands.h"

// Hands the run over; from then on the frame driver plays it instead of the person.
void StartWatching(WatchedRun run);
bool Watching();
// One frame of the driver while watching.
void RunWatchFrame();
