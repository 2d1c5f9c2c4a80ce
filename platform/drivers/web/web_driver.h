// The parts of the browser driver (platform/drivers/driver.h) that live in files of
// their own: the message box and the canvas surface.
#pragma once
#include "platform/drivers/driver.h"

// Shows the box on the page and returns at once, unanswered (web_message_box.cpp).
int WebShowMessageBox(const MessageBoxRequest &box);

// The canvas as the reference device's window surface (web_surface.cpp).
WindowSurface *CreateCanvasSurface(HWND window);

// A WebGL 2 context on the canvas, for the hardware device (web_gl.cpp).
GlSurface *CreateWebGlSurface(HWND window);
