// Present and the lost device: the present parameters a device is made and reset with,
// how often Present waits for the display, Present itself (which draws the queue
// first), and the rule of a full-screen device: lost once its window has lost the
// focus (the window counts its focus losses), until Reset. Also the read-back of what
// was last presented.
#include <cstdint>
#include <cstdio>
#include "platform/d3d8/d3d8_device.h"
#include "platform/d3d8/d3d8_readback.h"
#include "platform/drivers/headless/headless.h"
#include "platform/user32/window_internal.h"

// Checks and completes present parameters: a zero back-buffer size in a window takes
// the window's size; a 16-bit back buffer is kept at 32 bits.
HRESULT CheckPresentParameters(D3DPRESENT_PARAMETERS *p, HWND window) {
  if (p->BackBufferWidth == 0 || p->BackBufferHeight == 0) {
    if (!p->Windowed) return D3DERR_INVALIDCALL;
    // The client area as the game sees it: a scaled window's picture is scaled up at Present.
    // A headless window stands for the game's 800 x 600 whatever size it was made.
    RECT client = {0, 0, 800, 600};
    if (!IsHeadlessWindow(window)) GetClientRect(window, &client);
    if (p->BackBufferWidth == 0) p->BackBufferWidth = (UINT)client.right;
    if (p->BackBufferHeight == 0) p->BackBufferHeight = (UINT)client.bottom;
  }
  if (p->BackBufferWidth > 8192 || p->BackBufferHeight > 8192) return D3DERR_INVALIDCALL;
  switch (p->BackBufferFormat) {
  case D3DFMT_X8R8G8B8: case D3DFMT_A8R8G8B8: case D3DFMT_R5G6B5: case D3DFMT_X1R5G5B5: break;
  default:
    D3DWarnOnce("CreateDevice: back buffer format not supported", p->BackBufferFormat);
    return D3DERR_INVALIDCALL;
  }
  if (p->BackBufferCount > 1) D3DWarnOnce("CreateDevice: one back buffer is used", p->BackBufferCount);
  if (p->BackBufferCount == 0) p->BackBufferCount = 1;
  if (p->MultiSampleType != D3DMULTISAMPLE_NONE) {
    D3DWarnOnce("CreateDevice: multisampling not supported", p->MultiSampleType);
    return D3DERR_INVALIDCALL;
  }
  if (p->SwapEffect < D3DSWAPEFFECT_DISCARD || p->SwapEffect > D3DSWAPEFFECT_COPY_VSYNC) return D3DERR_INVALIDCALL;
  if (p->EnableAutoDepthStencil && p->AutoDepthStencilFormat != D3DFMT_D16 &&
      p->AutoDepthStencilFormat != D3DFMT_D16_LOCKABLE)
    D3DWarnOnce("CreateDevice: depth buffer kept at 16 bits", p->AutoDepthStencilFormat);
  if (p->Flags & ~(DWORD)D3DPRESENTFLAG_LOCKABLE_BACKBUFFER)
    D3DWarnOnce("CreateDevice: presentation flags not supported", p->Flags);
  return D3D_OK;
}

// How many vertical retraces a Present waits for. In a window Direct3D 8 presents at
// once, unless the copy is asked to wait for the retrace; in full screen the default
// interval is one retrace a Present (so the picture never tears), as is
// D3DPRESENT_INTERVAL_ONE, and IMMEDIATE does not wait.
int PresentInterval(const D3DPRESENT_PARAMETERS &p) {
  if (p.Windowed) return p.SwapEffect == D3DSWAPEFFECT_COPY_VSYNC ? 1 : 0;
  switch (p.FullScreen_PresentationInterval) {
  case D3DPRESENT_INTERVAL_IMMEDIATE: return 0;
  case D3DPRESENT_INTERVAL_DEFAULT: case D3DPRESENT_INTERVAL_ONE: return 1;
  default:   // the devices offer only these (see the caps)
    D3DWarnOnce("CreateDevice: presentation interval not supported, one retrace used",
                p.FullScreen_PresentationInterval);
    return 1;
  }
}

inline bool Device8::CoversBackBuffer(const RECT &r) const {
  return r.left == 0 && r.top == 0 && r.right == (LONG)present.BackBufferWidth &&
         r.bottom == (LONG)present.BackBufferHeight;
}

inline bool Device8::HasBackBufferShape(const RECT &r) const {
  const int64_t w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  // Within a pixel of the shape, as a rectangle worked out in whole pixels is.
  const int64_t cross = w * present.BackBufferHeight - h * present.BackBufferWidth;
  return cross < (int64_t)present.BackBufferWidth + present.BackBufferHeight &&
         -cross < (int64_t)present.BackBufferWidth + present.BackBufferHeight;
}

inline void Device8::CheckFocus() {
  // A full-screen device is lost once its window has lost the focus; the first
  // Present after the window is back says so, and only Reset recovers it.
  if (present.Windowed) return;
  if (!lost && WindowFocusLossCount(window) != seenFocusLosses) {
    lost = true;
    std::fprintf(stderr, "d3d8: the full-screen device is lost (its window lost the focus)\n");
  }
}

HRESULT Device8::TestCooperativeLevel() {
  if (!lost) CheckFocus();
  return lost ? D3DERR_DEVICENOTRESET : D3D_OK;
}

HRESULT Device8::Reset(D3DPRESENT_PARAMETERS *params) {
  if (params == nullptr) return D3DERR_INVALIDCALL;
  D3DPRESENT_PARAMETERS checked = *params;
  HRESULT result = CheckPresentParameters(&checked, window);
  if (FAILED(result)) return result;
  Flush();
  if (checked.BackBufferWidth != present.BackBufferWidth || checked.BackBufferHeight != present.BackBufferHeight) {
    if (!raster->Resize((int)checked.BackBufferWidth, (int)checked.BackBufferHeight)) return D3DERR_OUTOFVIDEOMEMORY;
  }
  // Between a window and full screen the focus window goes along, as the system takes
  // it over on Windows: it covers its display (at the desktop's own mode here, the
  // picture scaled to fit), and comes back to the framed window it was.
  if (checked.Windowed != present.Windowed) SetWindowFullScreen(window, !checked.Windowed);
  present = checked;
  *params = checked;
  raster->SetPresentInterval(PresentInterval(present));
  // A reset puts every state back to its default, as a new device has it.
  for (auto &t : state.texture)
    if (t != nullptr) t->Release();
  SetDefaults();
  inScene = false;
  if (lost) std::fprintf(stderr, "d3d8: the device is reset\n");
  lost = false;
  seenFocusLosses = WindowFocusLossCount(window);
  return D3D_OK;
}

HRESULT Device8::Present(const RECT *sourceRect, const RECT *destRect, HWND destWindowOverride,
                         const void *dirtyRegion) {
  CheckFocus();
  if (lost) {
    batchSize = 0;
    return D3DERR_DEVICELOST;
  }
  if (sourceRect != nullptr && !CoversBackBuffer(*sourceRect))
    D3DWarnOnce("IDirect3DDevice8::Present: source rectangle ignored", 0);
  // The picture is always scaled to fit the window, as a destination rectangle of the
  // back buffer's shape placed in the client area asks (a program letter-boxing itself);
  // any other is not followed.
  if (destRect != nullptr && !CoversBackBuffer(*destRect) && !HasBackBufferShape(*destRect))
    D3DWarnOnce("IDirect3DDevice8::Present: destination rectangle ignored", 0);
  if (dirtyRegion != nullptr) D3DWarnOnce("IDirect3DDevice8::Present: dirty region ignored", 0);
  Flush();
  raster->Present(destWindowOverride != nullptr ? destWindowOverride : window);
  presentedOnce = true;
  return D3D_OK;
}

bool ReadBackPresented(IDirect3DDevice8 *device, DWORD *pixels, UINT width, UINT height) {
  if (device == nullptr || pixels == nullptr) return false;
  Device8 *d = static_cast<Device8 *>(device);
  if (!d->PresentedOnce()) return false;
  return d->Raster()->ReadBack(pixels, (int)width, (int)height);
}
