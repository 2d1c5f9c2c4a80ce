// What the dynamic loader will trust in a shared object, checked before it gets the
// file. The loader maps segments straight from the file, follows the dynamic section's
// addresses, walks the symbol hash chains and writes every relocation where it points:
// a library damaged in any of those places kills the process inside the loader, or
// worse, writes into someone else's memory. This check reads the file with bounds on
// every offset and says what is wrong; the exports it finds are what a trial load in a
// child process then looks up (library.cpp).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct LibraryFileReport {
  std::string problem;  // empty when nothing is wrong
  // The defined global functions and objects of its dynamic symbol table, with their
  // addresses relative to the library's load address.
  std::vector<std::pair<std::string, uint64_t>> exports;
};

// Checks the shared object open on file (a regular file, read with pread).
LibraryFileReport CheckLibraryFile(int file);
