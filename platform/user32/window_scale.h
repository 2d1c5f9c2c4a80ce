// How many screen pixels make one pixel of the game's window (the --scale option, for
// dense screens). A scaled window is that many times the client size the game asked for
// and the device scales its picture up into it; the game still sees its own client size,
// and mouse motion arrives in its own pixels. A full-screen window is not affected.
#pragma once

// 1 to 4; anything else is held to that range. Applies to windows created afterwards.
void SetWindowScale(int scale);
int WindowScale();
