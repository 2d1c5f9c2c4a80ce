// Stand-in for the winmm millisecond timer and the kernel32 sleep that paces frames.
#pragma once
#include "base/win32_types.h"

typedef UINT MMRESULT;
#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97

DWORD timeGetTime();
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);
void Sleep(DWORD milliseconds);
