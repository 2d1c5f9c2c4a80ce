// A small PNG encoder for screenshots and the data generator's contact sheet:
// 8-bit RGBA, deflated with zlib, one adaptive filter per row.
#pragma once
#include <cstdint>

// Writes width x height pixels, row by row from the top, each 0xAARRGGBB, to path.
// Returns false when the size is not positive or the file cannot be written.
bool WritePng(const char *path, int width, int height, const uint32_t *argbPixels);
