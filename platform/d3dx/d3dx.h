// The graphics utility operations the renderer needs on top of the Direct3D 8 device:
// a texture from a DDS file, the projection and view matrices, and fonts that draw text
// into the frame. Windows has no such library for 64-bit programs, so both builds use
// ours, over the system's Direct3D 8 and GDI on Windows.
#pragma once
#include "platform/platform.h"


// ---- Matrices and vectors ------------------------------------------------------------
// Row-major, used with row vectors: a point p becomes p x M.
struct D3DXMATRIX : D3DMATRIX {
  D3DXMATRIX() = default;
  float &operator()(UINT row, UINT column) { return m[row][column]; }
  float operator()(UINT row, UINT column) const { return m[row][column]; }
};

struct D3DXVECTOR3 {
  float x;
  float y;
  float z;
  D3DXVECTOR3() = default;
  D3DXVECTOR3(float vx, float vy, float vz) : x(vx), y(vy), z(vz) {}
};

D3DXMATRIX *WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX *out, FLOAT fovY, FLOAT aspect, FLOAT zn, FLOAT zf);
D3DXMATRIX *WINAPI D3DXMatrixLookAtLH(D3DXMATRIX *out, const D3DXVECTOR3 *eye, const D3DXVECTOR3 *at,
                                      const D3DXVECTOR3 *up);

// ---- Textures from files ---------------------------------------------------------------
#define D3DX_DEFAULT ((UINT)-1)

#define D3DX_FILTER_NONE (1 << 0)
#define D3DX_FILTER_POINT (2 << 0)
#define D3DX_FILTER_LINEAR (3 << 0)
#define D3DX_FILTER_TRIANGLE (4 << 0)
#define D3DX_FILTER_BOX (5 << 0)
#define D3DX_FILTER_MIRROR_U (1 << 16)
#define D3DX_FILTER_MIRROR_V (2 << 16)
#define D3DX_FILTER_MIRROR_W (4 << 16)
#define D3DX_FILTER_MIRROR (7 << 16)
#define D3DX_FILTER_DITHER (8 << 16)

enum D3DXIMAGE_FILEFORMAT {
  D3DXIFF_BMP = 0,
  D3DXIFF_JPG = 1,
  D3DXIFF_TGA = 2,
  D3DXIFF_PNG = 3,
  D3DXIFF_DDS = 4,
  D3DXIFF_PPM = 5,
  D3DXIFF_DIB = 6,
  D3DXIFF_FORCE_DWORD = 0x7fffffff
};

struct D3DXIMAGE_INFO {
  UINT Width;
  UINT Height;
  UINT Depth;
  UINT MipLevels;
  D3DFORMAT Format;
  D3DRESOURCETYPE ResourceType;
  D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

// Loads a DDS file into a new texture. Only the parameters the game passes are
// supported (size and levels taken from the file or given, 32-bit A8R8G8B8 in any pool,
// no colour key); anything else is said once on stderr. On failure *texture is left
// untouched and one line on stderr names the file and the reason.
HRESULT WINAPI D3DXCreateTextureFromFileExA(IDirect3DDevice8 *device, LPCSTR fileName, UINT width,
                                            UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO *sourceInfo, PALETTEENTRY *palette,
                                            IDirect3DTexture8 **texture);

// ---- Fonts ------------------------------------------------------------------------------
extern const GUID IID_ID3DXFont;

// A font bound to one device: draws strings into the frame as textured quads.
struct ID3DXFont : IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice8 **device) = 0;
  virtual HRESULT GetLogFont(LOGFONTA *logFont) = 0;
  virtual HRESULT Begin() = 0;
  // Returns the height of the text drawn, 0 when nothing was drawn.
  virtual INT DrawTextA(LPCSTR text, INT count, LPRECT rect, DWORD format, D3DCOLOR colour) = 0;
  virtual INT DrawTextW(LPCWSTR text, INT count, LPRECT rect, DWORD format, D3DCOLOR colour) = 0;
  virtual HRESULT End() = 0;
protected:
  ~ID3DXFont() = default;
};
typedef ID3DXFont *LPD3DXFONT;

HRESULT WINAPI D3DXCreateFontIndirect(IDirect3DDevice8 *device, const LOGFONTA *logFont, ID3DXFont **font);
