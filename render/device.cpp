// Placeholder until the device lands.
#include "render/device.h"
IDirect3D8 *direct3D;
IDirect3DDevice8 *device;
IDirect3DTexture8 *textures[2];
int InitDirect3D() { return 0; }
void ReleaseDirect3D() {}
void RenderFrame() {}
void SetViewTransform() {}
