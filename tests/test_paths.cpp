// Tells every test program where the source tree and the build directory are, through
// the environment (QR_SOURCE_DIR, QR_BUILD_DIR), unless the caller set them already.
#include <cstdlib>

namespace {
struct TestPaths {
  TestPaths() {
    setenv("QR_SOURCE_DIR", QR_SOURCE_DIR_PATH, 0);
    setenv("QR_BUILD_DIR", QR_BUILD_DIR_PATH, 0);
  }
} testPaths;
}  // namespace
