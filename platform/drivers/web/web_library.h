// The browser's libraries: there are no shared libraries in a page, so a library the
// program links in is registered under its file name with its exports, and
// LoadLibraryA and GetProcAddress find it there. The platform knows no library by
// itself; the program registers what it carries.
#pragma once
#include <cstddef>
#include "base/win32_types.h"

struct BuiltInExport {
  const char *name;  // the decorated name GetProcAddress is asked for
  FARPROC proc;
};

// Registers a built-in library under a file name such as "ezds.dll"; it is then found
// by that name or without ".dll", in any case. Returns false when the table is full or
// the name is already taken. The exports must outlive the program.
bool RegisterBuiltInLibrary(const char *fileName, const BuiltInExport *exports, std::size_t count);
