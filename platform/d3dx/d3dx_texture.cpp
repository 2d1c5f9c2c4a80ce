// A texture from a DDS file: the image is read with our reader, fitted to what the
// device takes (powers of two, maximum size), and every level of the mip chain is
// filled, from the file where it has the level and by halving the level above where
// it does not.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/d3dx/d3dx.h"
#include "platform/d3dx/dds.h"

namespace {

void SayOnce(bool &said, const char *what) {
  if (said) return;
  said = true;
  std::fprintf(stderr, "D3DXCreateTextureFromFileExA: %s\n", what);
}

uint32_t PowerOfTwoAtLeast(uint32_t v) {
  uint32_t p = 1;
  while (p < v && p < 0x80000000u) p <<= 1;
  return p;
}

uint32_t PowerOfTwoAtMost(uint32_t v) {
  uint32_t p = 1;
  while (p * 2 <= v && p < 0x80000000u) p <<= 1;
  return p;
}

// Fits a requested size to the device: powers of two where it demands them, square
// where it demands that, and never beyond its maximum.
void FitToDevice(IDirect3DDevice8 *device, uint32_t &width, uint32_t &height) {
  D3DCAPS8 caps = {};
  if (FAILED(device->GetDeviceCaps(&caps))) return;
  if (caps.TextureCaps & D3DPTEXTURECAPS_POW2) {
    width = PowerOfTwoAtLeast(width);
    height = PowerOfTwoAtLeast(height);
  }
  if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) width = height = (width > height ? width : height);
  if (caps.MaxTextureWidth && width > caps.MaxTextureWidth) width = PowerOfTwoAtMost(caps.MaxTextureWidth);
  if (caps.MaxTextureHeight && height > caps.MaxTextureHeight) height = PowerOfTwoAtMost(caps.MaxTextureHeight);
}

// Copies one A8R8G8B8 image of w x h into a locked level, dropping colour-keyed texels.
void CopyIntoLevel(const D3DLOCKED_RECT &locked, const uint32_t *pixels, uint32_t w, uint32_t h,
                   D3DCOLOR colourKey) {
  for (uint32_t y = 0; y < h; ++y) {
    uint32_t *row = reinterpret_cast<uint32_t *>(static_cast<uint8_t *>(locked.pBits) + size_t(locked.Pitch) * y);
    const uint32_t *source = pixels + size_t(y) * w;
    if (colourKey == 0) {
      for (uint32_t x = 0; x < w; ++x) row[x] = source[x];
    } else {
      for (uint32_t x = 0; x < w; ++x) row[x] = source[x] == colourKey ? 0 : source[x];
    }
  }
}

}  // namespace

HRESULT WINAPI D3DXCreateTextureFromFileExA(IDirect3DDevice8 *device, LPCSTR fileName, UINT width,
                                            UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO *sourceInfo, PALETTEENTRY *palette,
                                            IDirect3DTexture8 **texture) {
  static bool saidFormat, saidFilter, saidPalette;
  if (device == nullptr || fileName == nullptr || texture == nullptr) return D3DERR_INVALIDCALL;
  if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_UNKNOWN) {
    SayOnce(saidFormat, "only A8R8G8B8 textures are made; the requested format is ignored");
  }
  DWORD imageFilter = filter & 0xFF, chainFilter = mipFilter & 0xFF;
  if ((filter != D3DX_DEFAULT && imageFilter != 3 && imageFilter != 4 && imageFilter != 5) ||
      (mipFilter != D3DX_DEFAULT && chainFilter != 3 && chainFilter != 4 && chainFilter != 5)) {
    SayOnce(saidFilter, "only the linear filter is used; other filters are treated as linear");
  }
  if (palette != nullptr) SayOnce(saidPalette, "no palette is returned: the texture has none");

  DdsImage image;
  std::string error;
  if (!DdsLoadFile(fileName, image, error)) {
    std::fprintf(stderr, "%s: %s\n", fileName, error.c_str());
    return E_FAIL;
  }

  uint32_t texWidth = (width == 0 || width == D3DX_DEFAULT) ? image.width : width;
  uint32_t texHeight = (height == 0 || height == D3DX_DEFAULT) ? image.height : height;
  FitToDevice(device, texWidth, texHeight);
  uint32_t fullChain = 1;
  while ((texWidth >> fullChain) || (texHeight >> fullChain)) ++fullChain;
  uint32_t levels = (mipLevels == 0 || mipLevels == D3DX_DEFAULT || mipLevels > fullChain) ? fullChain : mipLevels;

  IDirect3DTexture8 *made = nullptr;
  HRESULT result = device->CreateTexture(texWidth, texHeight, levels, usage, D3DFMT_A8R8G8B8, pool, &made);
  if (FAILED(result) || made == nullptr) {
    std::fprintf(stderr, "%s: the device cannot make a %u x %u texture\n", fileName, texWidth, texHeight);
    return FAILED(result) ? result : E_FAIL;
  }

  // Level by level: the file's own level when it has one (fitted to the level's size),
  // otherwise the level above halved.
  std::vector<uint32_t> previous, current;
  uint32_t previousW = 0, previousH = 0;
  DWORD madeLevels = made->GetLevelCount();
  for (DWORD level = 0; level < madeLevels; ++level) {
    D3DSURFACE_DESC desc = {};
    if (FAILED(made->GetLevelDesc(level, &desc)) || desc.Width == 0 || desc.Height == 0) break;
    uint32_t w = desc.Width, h = desc.Height;
    current.resize(size_t(w) * h);
    if (level < image.levels.size()) {
      uint32_t fw = MipExtent(image.width, level), fh = MipExtent(image.height, level);
      if (fw == w && fh == h) {
        current = image.levels[level];
      } else {
        ImageResizeLinear(image.levels[level].data(), fw, fh, current.data(), w, h);
      }
    } else if (MipExtent(previousW, 1) == w && MipExtent(previousH, 1) == h) {
      ImageHalve(previous.data(), previousW, previousH, current.data());
    } else {
      ImageResizeLinear(previous.data(), previousW, previousH, current.data(), w, h);
    }
    D3DLOCKED_RECT locked = {};
    if (SUCCEEDED(made->LockRect(level, &locked, nullptr, 0)) && locked.pBits != nullptr) {
      CopyIntoLevel(locked, current.data(), w, h, colorKey);
      made->UnlockRect(level);
    }
    previous.swap(current);
    previousW = w;
    previousH = h;
  }

  if (sourceInfo != nullptr) {
    sourceInfo->Width = image.width;
    sourceInfo->Height = image.height;
    sourceInfo->Depth = 1;
    sourceInfo->MipLevels = UINT(image.levels.size());
    sourceInfo->Format = D3DFORMAT(image.format);
    sourceInfo->ResourceType = D3DRTYPE_TEXTURE;
    sourceInfo->ImageFileFormat = D3DXIFF_DDS;
  }
  *texture = made;
  return D3D_OK;
}
