// The Direct3D 8 objects of the game and the frame that renders them.
#pragma once
#include "platform/platform.h"

extern IDirect3D8 *direct3D;
extern IDirect3DDevice8 *device;
extern D3DPRESENT_PARAMETERS presentParams;
extern IDirect3DTexture8 *textures[2];

int InitDirect3D();
void ReleaseDirect3D();
void RenderFrame();
void SetViewTransform();
