// Opening a file the program reads (a texture, a sound, the sound library) only when it
// is a regular file. A named pipe, a device or a directory in place of a data file would
// block the open or the first read for ever, or feed the reader without end; such a file
// is refused instead, before anything reads from it. Plain POSIX, no other dependency,
// so the sound library and the fuzz targets can share it.
#pragma once
#include <cstdio>

// Opens path read-only without blocking, checks that it is a regular file and then
// makes reads block again as usual. Returns the descriptor (close-on-exec), or -1 with
// a short reason in *why ("not a regular file", "cannot open: no such file").
int OpenRegularFile(const char *path, const char **why);

// The same as a stdio stream for reading ("rb"); null with a reason in *why.
std::FILE *OpenRegularFileStream(const char *path, const char **why);
