// The Direct3D 8 objects of the game and the frame that renders them.
#pragma once
#include "platform/platform.h"

struct World;
struct SceneMoment;

extern IDirect3D8 *direct3D;
extern IDirect3DDevice8 *device;
extern D3DPRESENT_PARAMETERS presentParams;
extern IDirect3DTexture8 *textures[2];
extern const char *const textureFiles[2];  // the texture of each slot, under ./data/

// Set before InitDirect3D: a window's device waits for the retrace when it presents
// (smooth pacing); otherwise it presents at once, as it always has.
extern bool waitForRetrace;
// The display mode's refresh rate, 60 when it reports none, at most 240.
int DisplayRefreshRate();

// The device for the focus window: windowed in the desktop's format, or full screen at
// 16 bits when fullScreen is not 0. Returns 0 (after saying why in a message box) when
// no device could be made.
int InitDirect3D(HWND window, int fullScreen);
void ReleaseDirect3D();
// Takes the device (and its window) to full screen or back to a window, as after a lost
// device: Reset with the present parameters of that mode. The textures are managed and
// survive it, and every frame sets its states again. Returns 1 when the device is in
// the new mode; 0 when it stayed in the old one (or could not be reset at all, said in
// the reset's message box).
int ResetDisplayMode(int fullScreen);
// Draws the world as it stands after a frame and presents it to the device's window;
// fps is the frame rate the caption line shows while Enter is held.
void RenderFrame(const World &world, uint32_t fps);
// The same for a picture between two updates (render/between.h), as smooth pacing
// draws at the display's rate.
void RenderMoment(const SceneMoment &moment, uint32_t fps);
// How long the last Present took: about a refresh where it waits for the retrace.
extern uint32_t lastPresentMilliseconds;
// Told of every picture as it is drawn, for the tests and benchmarks of the pacing.
extern void (*pictureObserver)(const SceneMoment &moment);
// Presents the world as it stands again, outside any frame (the window needs its
// picture while no frames run). A lost device presents nothing: only a frame, in the
// foreground, resets it.
void PaintFrame(const World &world, uint32_t fps);
// The fixed states every frame starts with: depth test on, no culling, bilinear and
// mip filtering, texel times vertex colour and alpha, alpha blending, no lighting.
void SetFrameStates(IDirect3DDevice8 *target);
void SetViewTransform();
