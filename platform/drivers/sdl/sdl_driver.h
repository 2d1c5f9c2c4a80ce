// The parts of the SDL driver (platform/drivers/driver.h) that live in files of
// their own: the event pump, the message box and the window surface. Its native
// windows are SDL windows.
#pragma once
#include <SDL.h>
#include "platform/drivers/driver.h"

inline SDL_Window *SdlOf(NativeWindow *window) { return reinterpret_cast<SDL_Window *>(window); }
inline NativeWindow *NativeOf(SDL_Window *window) { return reinterpret_cast<NativeWindow *>(window); }

// Takes every pending SDL event and hands it to user32's entry points (window_events.cpp).
void SdlPumpEvents();

// The window whose pointer positions are the hand's (the absolute mouse, while the game
// holds the mouse), or null (window.cpp).
SDL_Window *SdlConfinedWindow();

// Shows the box with SDL and waits for its answer (message_box.cpp).
int SdlShowMessageBox(const MessageBoxRequest &box);

// The window's surface for the reference device's pictures (sdl_surface.cpp).
WindowSurface *CreateSdlWindowSurface(HWND window);

// An OpenGL 3.3 core context on the window, for the hardware device (sdl_gl.cpp).
GlSurface *CreateSdlGlSurface(HWND window);

// Says once on stderr when a window's picture is drawn at more pixels than the window
// has points (a dense screen), given the pixels it is drawn at.
void SayDenseWindow(SDL_Window *window, int pixelWidth, int pixelHeight);
