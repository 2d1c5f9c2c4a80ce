// Textures from DDS files (placeholder until the loader lands: loading fails).
#include "render/d3dx.h"

HRESULT WINAPI D3DXCreateTextureFromFileExA(IDirect3DDevice8 *, LPCSTR, UINT, UINT, UINT, DWORD, D3DFORMAT,
                                            D3DPOOL, DWORD, DWORD, D3DCOLOR, D3DXIMAGE_INFO *,
                                            PALETTEENTRY *, IDirect3DTexture8 **) {
  return E_FAIL;
}
