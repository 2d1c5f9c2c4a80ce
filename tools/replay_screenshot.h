// The replay runner's screenshot: the reference device's last presented picture as a PNG.
#pragma once

bool WriteScreenshot(const char *path);
