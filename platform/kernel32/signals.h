// Ending on SIGINT, SIGTERM and SIGHUP the orderly way. The handler only notes the
// signal; the game's message loop sees it as its window being closed (PeekMessageA posts
// WM_CLOSE), the tools check it between frames, and whoever notices it shuts down as
// usual and then ends by the same signal, so the shell sees 128 + N as for a program
// killed outright.
#pragma once

// Installs the handler for the three signals (restarting interrupted system calls); a
// signal that was ignored when the program started stays ignored.
void InstallQuitSignals();

// The quit signal caught so far (the first one), or 0.
int QuitSignal();

// When a quit signal was caught: puts back its default action and raises it again, so
// the process ends by it. Returns only when none was caught.
void EndByQuitSignal();
