// --math-log for the replay runner: collects every distinct argument the world passes
// to its sine, cosine and arctangent during a run, for qr-mathcheck to compare with the
// host's C library.
#pragma once

void StartMathLog();
bool WriteMathLog(const char *path);   // false (and a line on stderr) when it cannot be written
