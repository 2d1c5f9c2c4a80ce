// IDirect3DTexture8: a 32-bit texture with its mip chain kept in memory (the managed
// pool). The reference device samples the memory itself; the hardware device uploads
// it again whenever a level was unlocked since its last upload.
#include <cstring>
#include "platform/d3d8/d3d8_internal.h"

UINT FullMipChainLength(UINT width, UINT height) {
  UINT levels = 1;
  while (width > 1 || height > 1) {
    width = width > 1 ? width / 2 : 1;
    height = height > 1 ? height / 2 : 1;
    ++levels;
  }
  return levels;
}

Texture8::Texture8(Device8 *device, UINT width, UINT height, UINT levels, DWORD usageFlags, D3DFORMAT textureFormat,
                   D3DPOOL texturePool)
    : owner(device), usage(usageFlags), format(textureFormat), pool(texturePool) {
  raster.width = (int)width;
  raster.height = (int)height;
  raster.levels = (int)levels;
  raster.opaque = textureFormat == D3DFMT_X8R8G8B8;
  size_t total = 0;
  UINT w = width, h = height;
  for (UINT i = 0; i < levels; ++i) {
    raster.levelWidth[i] = (int)w;
    raster.levelHeight[i] = (int)h;
    total += (size_t)w * h;
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  memory.assign(total, raster.opaque ? 0xFF000000u : 0u);
  size_t offset = 0;
  for (UINT i = 0; i < levels; ++i) {
    raster.level[i] = memory.data() + offset;
    offset += (size_t)raster.levelWidth[i] * raster.levelHeight[i];
  }
  DeviceAddTexture(owner, this);
}

Texture8::~Texture8() {
  if (owner != nullptr) DeviceRemoveTexture(owner, this);
}

HRESULT Texture8::QueryInterface(REFIID, void **object) {
  if (object != nullptr) *object = nullptr;
  D3DWarnOnce("IDirect3DTexture8::QueryInterface: no other interface", 0);
  return E_NOINTERFACE;
}

ULONG Texture8::AddRef() { return ++refs; }

ULONG Texture8::Release() {
  ULONG left = --refs;
  if (left == 0) delete this;
  return left;
}

HRESULT Texture8::GetDevice(IDirect3DDevice8 **device) {
  if (device == nullptr || owner == nullptr) return D3DERR_INVALIDCALL;
  *device = DeviceInterface(owner);
  (*device)->AddRef();
  return D3D_OK;
}

HRESULT Texture8::GetLevelDesc(UINT level, D3DSURFACE_DESC *desc) {
  if (desc == nullptr || level >= (UINT)raster.levels) return D3DERR_INVALIDCALL;
  desc->Format = format;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = usage;
  desc->Pool = pool;
  desc->Size = (UINT)(raster.levelWidth[level] * raster.levelHeight[level] * 4);
  desc->MultiSampleType = D3DMULTISAMPLE_NONE;
  desc->Width = (UINT)raster.levelWidth[level];
  desc->Height = (UINT)raster.levelHeight[level];
  return D3D_OK;
}

HRESULT Texture8::LockRect(UINT level, D3DLOCKED_RECT *lockedRect, const RECT *rect, DWORD flags) {
  if (lockedRect == nullptr || level >= (UINT)raster.levels) return D3DERR_INVALIDCALL;
  if (lockedLevels & (1u << level)) return D3DERR_INVALIDCALL;
  int w = raster.levelWidth[level], h = raster.levelHeight[level];
  int left = 0, top = 0;
  if (rect != nullptr) {
    if (rect->left < 0 || rect->top < 0 || rect->right > w || rect->bottom > h || rect->left >= rect->right ||
        rect->top >= rect->bottom)
      return D3DERR_INVALIDCALL;
    left = rect->left;
    top = rect->top;
  }
  if (flags & ~(DWORD)(D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK | D3DLOCK_NO_DIRTY_UPDATE | D3DLOCK_DISCARD))
    D3DWarnOnce("IDirect3DTexture8::LockRect: flags not supported", flags);
  // Whatever is queued still reads the old texels.
  if (owner != nullptr) DeviceFlush(owner);
  lockedRect->Pitch = w * 4;
  lockedRect->pBits = raster.level[level] + (size_t)top * w + left;
  lockedLevels |= 1u << level;
  if (!(flags & D3DLOCK_READONLY)) ++raster.version;
  return D3D_OK;
}

HRESULT Texture8::UnlockRect(UINT level) {
  if (level >= (UINT)raster.levels || !(lockedLevels & (1u << level))) return D3DERR_INVALIDCALL;
  lockedLevels &= ~(1u << level);
  return D3D_OK;
}

HRESULT Texture8::AddDirtyRect(const RECT *) {
  ++raster.version;
  return D3D_OK;
}
