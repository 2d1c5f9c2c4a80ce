// Stand-in for the kernel32 calls that load a library at run time and find its exports.
#pragma once
#include "platform/win32_types.h"

HMODULE LoadLibraryA(LPCSTR fileName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);
