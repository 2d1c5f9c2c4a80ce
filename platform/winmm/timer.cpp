// Stand-in for the winmm millisecond timer and the kernel32 sleep that pace the frames.
// timeGetTime counts milliseconds of the monotonic clock (since boot, wrapping after
// about 49.7 days like the real one); a driver with a clock of its own (headless, whose
// virtual clock only the waits move) swaps it in. Sleep wakes on the millisecond ticks
// of that same clock, as the real one does with a 1 ms timer period, so a wait can
// sleep right up to the tick it is waiting for.
#include <sched.h>
#ifndef __EMSCRIPTEN__
#include <sys/prctl.h>
#endif
#include <time.h>
#include <cerrno>
#include "platform/winmm/timer.h"
#include "platform/drivers/driver.h"
#include "platform/winmm/timer_internal.h"
#include "platform/kernel32/unsupported.h"

namespace {

// The periods asked for and not yet ended, as timeEndPeriod must name one of them.
constexpr int PeriodSlots = 16;
UINT periods[PeriodSlots];
int periodCount;

// The host lets a sleeping thread oversleep a little (the timer slack, 50 us by
// default) to batch wake-ups. While a fine period is asked for, the slack is cut to
// the least, so Sleep wakes within microseconds of its tick as the frame pace needs.
void UpdateTimerSlack() {
  if (CurrentDriver().OwnClock()) return;  // nobody sleeps on the host's clock
  bool fine = false;
  for (int i = 0; i < periodCount; i++) fine = fine || periods[i] <= 1;
#ifndef __EMSCRIPTEN__
  prctl(PR_SET_TIMERSLACK, fine ? 1UL : 0UL, 0, 0, 0);   // 0: back to the thread's default
#else
  (void)fine;   // the browser's timers have no slack to set
#endif
}

}  // namespace

DWORD timeGetTime() {
  Driver &driver = CurrentDriver();
  if (driver.OwnClock()) return driver.ClockMilliseconds();
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(milliseconds);
}

// The host's timers are already fine-grained: the period is book-kept, so that every
// timeBeginPeriod has its timeEndPeriod, and a 1 ms period tightens the timer slack.
MMRESULT timeBeginPeriod(UINT period) {
  if (period == 0) return TIMERR_NOCANDO;
  if (periodCount == PeriodSlots) {
    QR_UNSUPPORTED_ONCE("timeBeginPeriod: more than %d periods at once are not supported", PeriodSlots);
    return TIMERR_NOCANDO;
  }
  periods[periodCount++] = period;
  UpdateTimerSlack();
  return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT period) {
  for (int i = periodCount - 1; i >= 0; i--) {
    if (periods[i] != period) continue;
    for (int j = i + 1; j < periodCount; j++) periods[j - 1] = periods[j];
    periodCount -= 1;
    UpdateTimerSlack();
    return TIMERR_NOERROR;
  }
  return TIMERR_NOCANDO;
}

int TimerPeriodCount() { return periodCount; }

void ResetTimerPeriods() { periodCount = 0; }

// Sleep(0) gives up the rest of the time slice to whoever is ready to run.
// Sleep(n) wakes on the tick edge n milliseconds after the start of the current tick
// of timeGetTime's clock: called at 1000.7 ms, Sleep(21) returns as timeGetTime turns
// 1021, 20.3 ms later. So a caller that sleeps `deadline - timeGetTime()` wakes on the
// very tick of its deadline, and no part of the wait is spent awake.
void Sleep(DWORD milliseconds) {
  Driver &driver = CurrentDriver();
  if (driver.OwnClock()) {
    driver.ClockSleep(milliseconds);
    return;
  }
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  // The start of the current tick, then n whole milliseconds on.
  const uint64_t tick = static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  const uint64_t nanoseconds = tick * 1000000u + static_cast<uint64_t>(milliseconds) * 1000000u;
  timespec wake = {static_cast<time_t>(now.tv_sec + static_cast<time_t>(nanoseconds / 1000000000u)),
                   static_cast<long>(nanoseconds % 1000000000u)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) == EINTR) {
  }
}
