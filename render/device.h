// The Direct3D 8 objects of the game and the frame that renders them.
#pragma once
#include "platform/platform.h"

extern IDirect3D8 *direct3D;
extern IDirect3DDevice8 *device;
extern D3DPRESENT_PARAMETERS presentParams;
extern IDirect3DTexture8 *textures[2];
extern const char *const textureFiles[2];  // the texture of each slot, under ./data/

int InitDirect3D();
void ReleaseDirect3D();
void RenderFrame();
// The fixed states every frame starts with: depth test on, no culling, bilinear and
// mip filtering, texel times vertex colour and alpha, alpha blending, no lighting.
void SetFrameStates(IDirect3DDevice8 *target);
void SetViewTransform();
