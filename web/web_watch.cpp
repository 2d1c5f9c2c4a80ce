// Watching a recording in the page: the page fetches the recording at the address
// "?watch=" gives and writes it into the program's in-memory files; it is read here by
// the same reader as the desktop's --watch FILE, and then played by the desktop's own
// watching (app/watch.cpp), one call of it per game frame of the page.
#include "web/web_watch.h"

#include <cstdio>

#include "app/watch.h"
#include "record/record_header.h"

bool LoadPageRecording(const std::string &path, const std::string &url, WatchedRun &watched, std::string &error) {
  if (!ReadRecordFile(path, watched, error)) {
    // The reader names its file; the person knows the address.
    if (error.compare(0, path.size(), path) == 0) error = url + error.substr(path.size());
    return false;
  }
  const std::string refusal = RulesRefusal(watched.run.rules);
  if (!refusal.empty()) {
    error = url + ": " + refusal;
    return false;
  }
  return true;
}

std::string WatchStatusLine(bool stopped) {
  const WatchProgress progress = WatchState();
  if (progress.finished) {
    std::string line = WatchedEndLine();
    if (!line.empty()) line[0] = 'W';
    return stopped ? line + ". Reload the page to watch it again." : line;
  }
  // The frame last shown, counted from the run's start-up as the end line counts it.
  const unsigned shown = progress.stepped > 0 ? progress.stepped - 1 : 0;
  char line[200];
  if (stopped)
    std::snprintf(line, sizeof line, "Stopped watching at frame %u of %u. Reload the page to watch it again.", shown,
                  progress.ended);
  else
    std::snprintf(line, sizeof line,
                  "Watching frame %u of %u at x%d%s. Space: pause, 1-4: speed, \xE2\x86\x92: step, Esc: end",
                  shown, progress.ended, progress.speed, progress.paused ? ", paused" : "");
  return line;
}
