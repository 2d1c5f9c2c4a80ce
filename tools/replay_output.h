// The replay runner's outputs, every write checked: a full disk, a closed standard
// output or a file that cannot be written is an error with a message (status 1), never
// a run that looks complete. Paths are checked before the first frame, so a bad one is
// reported at once, not after the whole run.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

struct CheckedOutput {
  std::FILE *file = nullptr;
  std::string name;  // what the message calls it: a path, or "standard output"
  bool failed = false;

  // False once any write failed; the message is said once.
  bool Write(const char *data, size_t size);
  bool Printf(const char *format, ...) __attribute__((format(printf, 2, 3)));
  // Flushes, closes a file (not standard output) and says whether everything arrived.
  bool Finish();

 private:
  bool Failed();
};

// Puts /dev/null on whichever of descriptors 0, 1 and 2 the runner was started without,
// so no file it opens later takes their place. Returns whether standard output was open.
bool HoldStandardDescriptors();
// Standard output, checked; false with a message when it was closed at start.
bool OpenStandardOutput(bool wasOpen, CheckedOutput *out);
// A file created (or emptied) for writing; false with a message when it cannot be.
bool OpenOutputFile(const char *path, CheckedOutput *out);
// Empty when a file could be written at path (nothing is left behind), else why not.
std::string WhyNotWritable(const char *path);
