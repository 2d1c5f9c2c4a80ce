// Stand-in for the Direct3D 8 interfaces the game uses (to be completed with the devices).
#pragma once
#include "platform/win32_types.h"

typedef DWORD D3DCOLOR;
#define D3DCOLOR_ARGB(a, r, g, b) \
  ((D3DCOLOR)((((a) & 0xff) << 24) | (((r) & 0xff) << 16) | (((g) & 0xff) << 8) | ((b) & 0xff)))

struct IDirect3D8;
struct IDirect3DDevice8;
struct IDirect3DTexture8;
struct D3DPRESENT_PARAMETERS;
