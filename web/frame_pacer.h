// When the browser build runs a game frame. The browser calls the game once per display
// frame; a game frame runs in such a call once its deadline has come. Deadlines follow
// each other 22 ms apart, so over a second the game runs its 45 frames whatever the
// display's rate (three in every four display frames at 60 Hz), and never two frames
// in one display frame. A frame that ends more than one deadline late loses the time,
// as the desktop game does: the next deadline counts from its end, with no catch-up.
#pragma once
#include <cstdint>

struct FramePacer {
  static constexpr uint32_t FrameMilliseconds = 22;
  bool haveDeadline = false;
  uint32_t nextDeadline = 0;

  // Whether a frame is due at `now` (milliseconds of the frame timer).
  bool Due(uint32_t now) const {
    return !haveDeadline || static_cast<int32_t>(now - nextDeadline) >= 0;
  }

  // A frame that started at `started` has ended at `ended`.
  void Ran(uint32_t started, uint32_t ended) {
    nextDeadline = (haveDeadline ? nextDeadline : started) + FrameMilliseconds;
    if (static_cast<int32_t>(ended - nextDeadline) > static_cast<int32_t>(FrameMilliseconds)) nextDeadline = ended;
    haveDeadline = true;
  }

  // The game stopped running frames (the page is hidden): the next frame comes at once.
  void Pause() { haveDeadline = false; }
};
