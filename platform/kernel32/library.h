// Stand-in for the kernel32 calls that load a library at run time and find its exports,
// and that name the running program's own file.
#pragma once
#include "base/win32_types.h"

HMODULE LoadLibraryA(LPCSTR fileName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);
// With a null module: the running executable's full path (links resolved). Copies at
// most size - 1 characters and a terminating zero; returns the characters copied, size
// when the path was cut short, 0 when it is unknown or the module is not null.
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
