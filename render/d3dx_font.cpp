// Fonts bound to a device (placeholder until the text renderer lands: creation fails).
#include "render/d3dx.h"

const GUID IID_ID3DXFont = {0x2d501df7, 0xd253, 0x4414, {0x86, 0x5f, 0xa6, 0xd5, 0x4a, 0x75, 0x3a, 0x1b}};

HRESULT WINAPI D3DXCreateFontIndirect(IDirect3DDevice8 *device, const LOGFONTA *logFont, ID3DXFont **font) {
  if (device == nullptr || logFont == nullptr || font == nullptr) return D3DERR_INVALIDCALL;
  return E_OUTOFMEMORY;
}
