// user32's own message box, for a driver that could not show its own but allows one of
// ours (driver.h): SDL's box needs a helper program that a Wayland desktop may lack, and
// the start-up question must still be asked. A small window with the box's caption as
// its title, its text and its buttons drawn with the GDI stand-in and shown through the
// driver's window surface, answered in a message loop of its own.
#pragma once
#include "platform/drivers/driver.h"

// Shows the box (its texts in Shift-JIS, as MessageBoxA got them) and waits: Enter gives
// the button marked `enter`, Escape the one marked `escape` (each once let go), a click
// the button clicked,
// and the window's close button or a quit signal `closeAnswer`. Afterwards no window,
// class or message of the box is left, and no key or button pressed in it reaches the
// game. 0, said on stderr, when no window could be shown.
int ShowQuestionBox(const char *textCp932, const char *captionCp932, const MessageBoxButton *buttons, int count,
                    int closeAnswer);
