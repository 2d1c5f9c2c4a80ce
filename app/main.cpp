// The process entry point: reads the command line, finds the game's data, runs WinMain
// and turns its result into the exit status the shell expects (0 after a normal run, 1
// when start-up failed, 2 for a command line it cannot take; WinMain itself returns 1
// after a normal run). On Windows the C runtime calls this main, not WinMain, once it
// is defined. `--record FILE` keeps the game played in FILE for the replay runner;
// `--demo` lets the built-in player play a normal game until Escape. SIGINT, SIGTERM and SIGHUP close
// the game's window; after the usual shutdown the program ends by that signal. With a
// score board set (`board`, `--board`) a run that kept a finished game offers its best
// to the board once the window is closed; `--submit` sends one from the command line.
#include <cstdio>
#include <string>

#include "app/data_files.h"
#include "app/game.h"
#include "app/mouse_motion.h"
#include "app/options.h"
#include "app/record.h"
#include "app/settings.h"
#include "render/device.h"
#include "app/store.h"
#include "app/store_commands.h"
#include "app/submit.h"
#include "app/watch.h"
#include "app/window_state.h"
#include "sound/sound.h"
#include "world/rules.h"
#ifndef _WIN32
#include "platform/kernel32/signals.h"
#include "platform/user32/mouse_mode.h"
#include "platform/user32/window_scale.h"
#endif

int main(int argc, char **argv) {
  StartOptions options;
  std::string error;
  if (!ParseCommandLine(argc - 1, argv + 1, options, error)) {
    std::fprintf(stderr, "quillrun: %s\n", error.c_str());
    PrintUsage(stderr);
    return 2;
  }
  if (options.help) {
    PrintUsage(stdout);
    return 0;
  }
  if (options.version) {
    std::printf("quillrun %s\n", gameVersion);
    return 0;
  }
  // The player's settings, then the command line again over them: an option given wins
  // for this run.
  ApplySettings(LoadSettings(SettingsPath()), options);
  ParseCommandLine(argc - 1, argv + 1, options, error);
  if (options.scores) return PrintKeptScores(GameStore::DefaultPath(), stdout);
  if (!options.exportId.empty()) return ExportKeptGame(GameStore::DefaultPath(), options.exportId, options.exportPath);
  if (!options.submitBoard.empty())
    return SubmitCommand(GameStore::DefaultPath(), options.submitBoard, options.submitId, BoardPlayerName(options.name));
  if (!options.watch.empty()) {
    if (!options.recordPath.empty() || options.demo) {
      std::fprintf(stderr, "quillrun: --watch plays a kept run; it takes neither --record nor --demo\n");
      return 2;
    }
    WatchedRun watched;
    if (!LoadWatched(GameStore::DefaultPath(), options.watch, watched, error)) {
      std::fprintf(stderr, "quillrun: %s\n", error.c_str());
      return 1;
    }
    StartWatching(std::move(watched));
  }
  // A run watched again is not played: it is not kept a second time.
  keepGames = !Watching();
  if (!options.recordPath.empty() && !OpenRecording(options.recordPath.c_str())) return 1;
  displayModeChoice = options.displayMode;
  demoMode = options.demo ? 1 : 0;
  mouseMotion.sensitivity = options.sensitivity;
  soundVolume = options.volume;
  smoothPacing = options.smoothPacing ? 1 : 0;
  waitForRetrace = options.smoothPacing;
#ifndef _WIN32
  SetWindowScale(options.windowScale);
  // The window opens at the size it was left at, unless a scale is asked for this run.
  const std::string windowStatePath = WindowStatePath();
  if (!options.scaleGiven) {
    const KeptWindowSize kept = LoadWindowState(windowStatePath);
    SetWindowOpenSize(kept.width, kept.height);
  }
  MouseMode mouseMode = MouseMode::Auto;
  if (MouseModeNamed(options.mouseMode.c_str(), &mouseMode)) SetMouseMode(mouseMode);
#endif

  char executable[4096];
  const DWORD length = GetModuleFileNameA(nullptr, executable, sizeof executable);
  FindGameData(DataDirectoryCandidates(length > 0 && length < sizeof executable ? executable : ""));

#ifdef _WIN32
  return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT) == 1 ? 0 : 1;
#else
  InstallQuitSignals();
  const int status = WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT) == 1 ? 0 : 1;
  // The run is over and its games are written: the window's size is noted for the next
  // run, and the window goes before the offer's box.
  if (IsWindow(mainWindow)) DestroyWindow(mainWindow);
  if (windowLeftWidth > 0) SaveWindowState(windowStatePath, KeptWindowSize{windowLeftWidth, windowLeftHeight});
  OfferFacts offer;
  offer.board = options.board;
  offer.keptRun = KeptRunId();
  offer.demo = options.demo;
  offer.watching = !options.watch.empty();
  offer.quitSignal = QuitSignal();
  OfferBestGame(GameStore::DefaultPath(), offer, offer.board.empty() ? std::string() : BoardPlayerName(options.name));
  EndByQuitSignal();
  return status;
#endif
}
