// Sending kept games to a score board (quillrun-board). The board takes no score on
// trust: it is sent the game's whole run, the record --export writes, gzip-compressed in
// one POST to BOARD/api/games?name=NAME&game=BEGAN, plays it again and answers with the
// place the game took on its board, or with why it refused it. `quillrun --submit` sends
// one from the command line; after a run with `board` set the game offers its best game
// of the run in its own question box. Only the build that keeps games (Linux) sends
// anything; elsewhere the calls say so and send nothing.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/store.h"

// The game sent when none is named: of those that ended in GAME OVER or ALL CLEAR (either
// mode) the highest score, the earlier of a tie; only run `run`'s games unless run is 0.
// False when no game qualifies.
bool BestEndedGame(const std::vector<KeptGame> &games, int64_t run, KeptGame &best);

// The player's name for a board: the one given (--name, else the `name` setting) when
// there is one, else the login name when a board would take it, else "player".
std::string BoardPlayerName(const std::string &given);

// What became of a game sent.
struct SubmitResult {
  bool placed = false;  // the board took the game
  std::string line;     // what to tell the player, without the program's name in front
};

// Sends kept game `id` (all digits; the best kept game when empty) of the store at
// storePath to the board at `board` (an http:// or https:// address, with or without a
// slash at its end) under `name`. Waits at most 10 s for the connection and 120 s for the
// whole exchange; a quit signal ends the wait.
SubmitResult SubmitKeptGame(const std::string &storePath, const std::string &board, const std::string &id,
                            const std::string &name);

// `quillrun --submit`: the result's line on stdout when the board placed the game, on
// stderr otherwise; the exit status (0 placed, 1 not).
int SubmitCommand(const std::string &storePath, const std::string &board, const std::string &id,
                  const std::string &name);

// What decides the offer at the end of a run.
struct OfferFacts {
  std::string board;      // the board setting or --board; empty: no offer
  int64_t keptRun = 0;    // this run's id in the store (0: nothing was kept)
  bool demo = false;      // --demo: the built-in player's games, which boards refuse
  bool watching = false;  // --watch: a kept game played again, not a new one
  int quitSignal = 0;     // the program is ending by a signal: no questions
};

// Whether to offer a game at the end of a run, and which: this run's best game that
// ended in GAME OVER or ALL CLEAR, among the kept games given.
bool ShouldOffer(const OfferFacts &facts, const std::vector<KeptGame> &kept, KeptGame &best);

// The offer, once the window is closed and the store stopped: when ShouldOffer says so,
// asks "Send your best game of this run (score N) to BOARD?" in the game's message box
// and on Yes sends it, showing the place or the refusal in a second box and as
// SubmitCommand prints it.
void OfferBestGame(const std::string &storePath, const OfferFacts &facts, const std::string &name);
