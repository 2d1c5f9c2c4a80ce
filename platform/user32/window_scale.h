// How many screen pixels make one pixel of the game's window (the --scale option, for
// dense screens). A scaled window opens at that many times the client size the game
// asked for. Whatever size a window is (scaled, resized, maximised, full screen), the
// device scales its picture to fit it (base/picture_fit.h); the game sees its client
// area in its own pixels, and mouse motion and points arrive in those pixels too.
#pragma once

// 1 to 4; anything else is held to that range. Applies to windows created afterwards.
void SetWindowScale(int scale);
int WindowScale();

// The size (screen pixels) a resizable window opens at, instead of its client area
// times the scale; 0 x 0 forgets it. Held to the part of the desktop a window may cover.
void SetWindowOpenSize(int width, int height);
// A window's framed size in screen pixels: now, or the one it comes back to from full
// screen; false for no live window.
bool WindowedSize(HWND window, int *width, int *height);
