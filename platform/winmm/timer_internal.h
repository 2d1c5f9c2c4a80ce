// The timer periods in effect, for the headless backend's start-up and shutdown checks.
// Not part of the Win32 surface the game sees.
#pragma once

// How many timeBeginPeriod calls have not been ended yet.
int TimerPeriodCount();
// Forgets them all (headless tests start from scratch).
void ResetTimerPeriods();
