// Recording the game being played, so the replay runner can play it again exactly: the
// rules version and the world's seed in a header line, then each frame's input as one
// line ("dx dy left right escape enter"), and at the end a line with the number of
// frames and the score, all in the record format (record/record_lines.h).
#pragma once
#include "world/step.h"

// Opens the file for the next game; false (with a line on stderr) when it cannot.
bool OpenRecording(const char *path);
// The header, once the world's generator has its seed. Nothing without an open file.
void BeginRecording(uint32_t seed);
// One frame's input, as the world is about to step with it.
void RecordFrame(const FrameInput &input);
// The closing line and the file's end; says on stderr when the file could not be written.
void EndRecording(const World &world);
