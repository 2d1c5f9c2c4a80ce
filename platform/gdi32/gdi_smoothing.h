// How smoothed text is weighted, shared by the desktop's and the browser's GDI text.
// Smoothed text on Windows comes in 17 levels of coverage (0 to 16 sixteenths), each
// drawn with a gamma-corrected weight, so a glyph's soft edges are brighter than their
// plain coverage and the faintest level does not show at all. The weights are those the
// system's smoothing gives white text on black.
#pragma once
#include <cstdint>

inline constexpr uint8_t SmoothingWeights[17] = {0, 0, 104, 124, 140, 154, 167, 178, 189,
                                                 199, 208, 217, 225, 233, 240, 248, 255};

// A glyph's plain coverage (0 to 255) as the weight its pixel is drawn with.
inline uint32_t SmoothedCoverage(uint32_t coverage) { return SmoothingWeights[coverage * 17 / 256]; }
