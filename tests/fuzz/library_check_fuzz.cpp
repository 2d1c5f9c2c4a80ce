// Fuzzes the sound library's file check: any bytes are judged without a read out of
// bounds, a loop or an allocation beyond the check's own limits, and a file judged
// sound has only exports with names.
#include <sys/mman.h>
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include "platform/kernel32/posix/library_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const int file = memfd_create("library", MFD_CLOEXEC);
  if (file < 0) return 0;
  if (write(file, data, size) == static_cast<ssize_t>(size)) {
    const LibraryFileReport report = CheckLibraryFile(file);
    for (const auto &exported : report.exports)
      if (exported.first.empty()) std::abort();
    if (!report.problem.empty() && !report.exports.empty()) std::abort();
  }
  close(file);
  return 0;
}
