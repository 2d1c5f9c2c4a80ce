// Stand-in for the winmm millisecond timer and the kernel32 sleep that pace the frames.
// timeGetTime counts milliseconds of the monotonic clock (since boot, wrapping after
// about 49.7 days like the real one); the headless backend swaps in its virtual clock,
// which only the waits move.
#include <sched.h>
#include <time.h>
#include <cerrno>
#include "platform/headless.h"
#include "platform/timer.h"
#include "platform/unsupported.h"

namespace {

// The periods asked for and not yet ended, as timeEndPeriod must name one of them.
constexpr int PeriodSlots = 16;
UINT periods[PeriodSlots];
int periodCount;

}  // namespace

DWORD timeGetTime() {
  if (HeadlessIsEnabled()) return HeadlessTime();
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(milliseconds);
}

// The host's timers are already fine-grained: the period is only book-kept, so that
// every timeBeginPeriod has its timeEndPeriod.
MMRESULT timeBeginPeriod(UINT period) {
  if (period == 0) return TIMERR_NOCANDO;
  if (periodCount == PeriodSlots) {
    QR_UNSUPPORTED_ONCE("timeBeginPeriod: more than %d periods at once are not supported", PeriodSlots);
    return TIMERR_NOCANDO;
  }
  periods[periodCount++] = period;
  return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT period) {
  for (int i = periodCount - 1; i >= 0; i--) {
    if (periods[i] != period) continue;
    for (int j = i + 1; j < periodCount; j++) periods[j - 1] = periods[j];
    periodCount -= 1;
    return TIMERR_NOERROR;
  }
  return TIMERR_NOCANDO;
}

int HeadlessTimerPeriodCount() { return periodCount; }

void ResetTimerPeriods() { periodCount = 0; }

// Sleep(0) gives up the rest of the time slice to whoever is ready to run; with the
// virtual clock it moves on to the next millisecond, which is all a caller that yields
// while waiting for the clock can be waiting for.
void Sleep(DWORD milliseconds) {
  if (HeadlessIsEnabled()) {
    HeadlessAdvanceTime(milliseconds == 0 ? 1 : milliseconds);
    return;
  }
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec left = {static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
