// The objects behind the Direct3D 8 interfaces, shared by the front-end files: the
// Direct3D object, the device (its class in d3d8_device.h) and the texture. Not part of
// what the game sees.
#pragma once
#include <vector>
#include "platform/raster/raster.h"

class Device8;

class Texture8 final : public IDirect3DTexture8 {
public:
  Texture8(Device8 *owner, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
  HRESULT QueryInterface(REFIID riid, void **object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetDevice(IDirect3DDevice8 **device) override;
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD GetLevelCount() override { return (DWORD)raster.levels; }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC *desc) override;
  HRESULT LockRect(UINT level, D3DLOCKED_RECT *lockedRect, const RECT *rect, DWORD flags) override;
  HRESULT UnlockRect(UINT level) override;
  HRESULT AddDirtyRect(const RECT *dirtyRect) override;

  RasterTexture raster;
  Device8 *owner;   // cleared when the device goes first
  ~Texture8();

private:
  ULONG refs = 1;
  DWORD usage;
  D3DFORMAT format;
  D3DPOOL pool;
  uint32_t lockedLevels = 0;   // one bit per level
  std::vector<uint32_t> memory;
};

// The number of levels of a full chain down to 1 x 1.
UINT FullMipChainLength(UINT width, UINT height);

// The capabilities both devices share; the hardware device adds hardware transform.
void FillDeviceCaps(D3DDEVTYPE type, D3DCAPS8 *caps);

// The desktop's display mode (a fixed 32-bit mode when there is no display).
void DesktopDisplayMode(D3DDISPLAYMODE *mode);

// Creates the device front end over a rasterizer; null with a failing result otherwise.
HRESULT CreateDevice8(IDirect3D8 *direct3D, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                      D3DPRESENT_PARAMETERS *params, IDirect3DDevice8 **returned);

// The device front end over a rasterizer the caller made (the tests' recording device)
// instead of one of the two devices. The parameters are checked and completed as
// CreateDevice does; the device owns the rasterizer from then on, and a failure deletes it.
HRESULT CreateDevice8Over(IDirect3D8 *direct3D, D3DDEVTYPE type, HWND window, D3DPRESENT_PARAMETERS *params,
                          RasterDevice *raster, IDirect3DDevice8 **returned);

// Device hooks used by the textures.
void DeviceFlush(Device8 *device);
void DeviceAddTexture(Device8 *device, Texture8 *texture);
void DeviceRemoveTexture(Device8 *device, Texture8 *texture);
IDirect3DDevice8 *DeviceInterface(Device8 *device);
// The rasterizer of a device, for the read-back.
RasterDevice *DeviceRaster(IDirect3DDevice8 *device);
// How many batches the device has handed to its rasterizer so far.
unsigned long DeviceBatchCount(IDirect3DDevice8 *device);
