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

// From here on a quit signal ends the process at once, by its default action: for the
// last steps of a program that has nothing left to write, such as a question asked in a
// box whose own loop never looks at the caught signal. A signal ignored from the start
// stays ignored.
void EndAtOnceOnQuitSignals();
