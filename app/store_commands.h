// What the command line does with the kept games: --scores, --export, and finding what
// --watch plays (a kept game or a record file).
#pragma once
#include <cstdio>
#include <string>

#include "app/store.h"

// The best ten of each mode, tab-separated under a header line. The exit status.
int PrintKeptScores(const std::string &storePath, FILE *out);
// Kept game `id`'s run up to its end, in the record format, with a comment giving the
// frame its game began. The exit status.
int ExportKeptGame(const std::string &storePath, const std::string &id, const std::string &path);
// The same record as text, with the kept game itself. False with the reason.
bool KeptGameRecord(const std::string &storePath, const std::string &id, std::string &text, KeptGame &game,
                    std::string &error);
// The same from a store already open.
bool KeptGameRecord(GameStore &store, const std::string &id, std::string &text, KeptGame &game, std::string &error);

// What --watch plays: a run from start-up, the frame the game to watch began on (its
// frames before are stepped without drawing) and the last frame to play.
struct WatchedRun {
  KeptRun run;
  uint32_t began = 0;
  uint32_t ended = 0;
};
// A kept game's id (all digits) or a record file. False with the reason, among them a
// game played under other rules than this program's.
bool LoadWatched(const std::string &storePath, const std::string &target, WatchedRun &watched, std::string &error);
// A record file, read by the one record reader (record/record_lines.h): the header's
// seed and rules (1 without a version), each frame's input, and "# game begins at frame
// N" when there is one. False with the line that is wrong.
bool ReadRecordFile(const std::string &path, WatchedRun &watched, std::string &error);
