// How the hand follows the mouse (the --mouse option; MouseMode in driver.h): the mode
// the game's windows hand to their driver when they are made.
#pragma once
#include "platform/drivers/driver.h"

// Applies to windows created afterwards.
void SetMouseMode(MouseMode mode);
MouseMode CurrentMouseMode();
// The mode called "auto", "relative", "warp" or "absolute"; false (and the mode left
// alone) for any other name.
bool MouseModeNamed(const char *name, MouseMode *mode);
