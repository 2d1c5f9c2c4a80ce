// Reading back what a device last presented: the back buffer as it was at the last
// Present (before it was scaled into the window), on either device. Used by the tests,
// the replay runner and the README pictures.
#pragma once
#include "platform/d3d8/d3d8.h"

// Copies the last presented picture into `pixels`: width x height opaque 0xFFRRGGBB
// values, top row first. The size must be the back buffer's. False when the device
// has presented nothing yet or the size does not match. The devices keep a copy of
// every presented picture from the first read-back on; before that a picture can be
// read until the next frame starts drawing (on the hardware device: the first one).
bool ReadBackPresented(IDirect3DDevice8 *device, DWORD *pixels, UINT width, UINT height);
