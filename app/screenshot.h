// F12: the picture on screen kept as a PNG file in the screenshots folder of the game's
// data folder (user_dirs.h), named by the time it was taken. One line on stderr says
// where it went, or why it could not be kept; the game plays on either way.
#pragma once
#include <ctime>
#include <string>

// F12: saves the device's last presented picture. A device that keeps no copy of its
// pictures until asked for one (the hardware device) starts keeping them now, and the
// picture of the next frame is saved instead, by TakeOwedScreenshot.
void RequestScreenshot();
// After each frame: saves the picture F12 asked for and could not have at once. A frame
// that presented nothing (late, or with the device lost) leaves it owed to the next, for
// up to 100 frames.
void TakeOwedScreenshot();

// The file name for a picture taken at `when` (local time): quillrun-YYYYMMDD-HHMMSS.png,
// and -2, -3, ... before ".png" for the second and later of the same second.
std::string ScreenshotName(std::time_t when, int sequence);
