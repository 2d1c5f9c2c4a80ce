// IDirect3DDevice8: the device front end shared by both devices. It keeps the render,
// texture stage and transform states with Direct3D's documented defaults, records and
// applies state blocks, turns DrawPrimitiveUP calls into screen-space triangles and
// lines, and merges consecutive draws with the same state into one batch for the
// rasterizer: the game draws hundreds of tiny primitives per frame.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include "platform/d3d8/d3d8_internal.h"
#include "platform/d3d8/d3d8_readback.h"
#include "platform/raster/gl/raster_gl.h"
#include "platform/raster/raster_ref.h"
#include "platform/drivers/sdl/sdl_window.h"
#include "platform/user32/window_internal.h"

namespace {

constexpr int RenderStateCount = 256;
constexpr int StageCount = 8;
constexpr int StageStateCount = 32;
// View, projection, texture 0..7, world 0..3.
constexpr int TransformCount = 14;
constexpr int BatchCapacity = 1 << 16;

int TransformIndex(D3DTRANSFORMSTATETYPE state) {
  DWORD s = (DWORD)state;
  if (s == D3DTS_VIEW) return 0;
  if (s == D3DTS_PROJECTION) return 1;
  if (s >= D3DTS_TEXTURE0 && s < D3DTS_TEXTURE0 + 8) return 2 + (int)(s - D3DTS_TEXTURE0);
  if (s >= 256 && s < 260) return 10 + (int)(s - 256);
  return -1;
}

// Everything a state block can hold; the `set` masks say which entries it holds.
struct StateSet {
  DWORD render[RenderStateCount];
  DWORD stage[StageCount][StageStateCount];
  Texture8 *texture[StageCount];
  DWORD vertexShader;
  D3DMATRIX transform[TransformCount];
  D3DVIEWPORT8 viewport;
};

struct StateBlock {
  bool used = false;
  StateSet values;
  bool render[RenderStateCount];
  bool stage[StageCount][StageStateCount];
  bool texture[StageCount];
  bool vertexShader;
  bool transform[TransformCount];
  bool viewport;
  void Mark(bool on) {
    std::fill(std::begin(render), std::end(render), on);
    for (auto &s : stage) std::fill(std::begin(s), std::end(s), on);
    std::fill(std::begin(texture), std::end(texture), on);
    vertexShader = on;
    std::fill(std::begin(transform), std::end(transform), on);
    viewport = on;
  }
};

const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

// Checks and completes present parameters: a zero back-buffer size in a window takes
// the window's size; a 16-bit back buffer is kept at 32 bits.
HRESULT CheckPresentParameters(D3DPRESENT_PARAMETERS *p, HWND window) {
  if (p->BackBufferWidth == 0 || p->BackBufferHeight == 0) {
    if (!p->Windowed) return D3DERR_INVALIDCALL;
    // The client area as the game sees it: a scaled window's picture is scaled up at Present.
    RECT client = {0, 0, 800, 600};
#ifndef __EMSCRIPTEN__
    if (SdlWindowOf(window)) GetClientRect(window, &client);
#else
    (void)window;  // the page's canvas is always 800 x 600
#endif
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

}  // namespace

class Device8 final : public IDirect3DDevice8 {
public:
  Device8(IDirect3D8 *parent, D3DDEVTYPE deviceType, HWND deviceWindow, const D3DPRESENT_PARAMETERS &params,
          RasterDevice *rasterizer)
      : direct3D(parent), type(deviceType), window(deviceWindow), present(params), raster(rasterizer) {
    direct3D->AddRef();
    batch.reset(new RasterVertex[BatchCapacity]);
    raster->SetPresentInterval(PresentInterval(present));
    SetDefaults();
    if (!present.Windowed) seenFocusLosses = WindowFocusLossCount(window);
  }
  ~Device8() {
    for (auto &t : state.texture)
      if (t != nullptr) t->Release();
    for (Texture8 *t : liveTextures) {
      raster->ForgetTexture(&t->raster);
      t->owner = nullptr;
    }
    delete raster;
    direct3D->Release();
  }

  HRESULT QueryInterface(REFIID, void **object) override {
    if (object != nullptr) *object = nullptr;
    D3DWarnOnce("IDirect3DDevice8::QueryInterface: no other interface", 0);
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override {
    ULONG left = --refs;
    if (left == 0) delete this;
    return left;
  }

  HRESULT TestCooperativeLevel() override {
    if (!lost) CheckFocus();
    return lost ? D3DERR_DEVICENOTRESET : D3D_OK;
  }
  UINT GetAvailableTextureMem() override { return 256u << 20; }
  HRESULT GetDirect3D(IDirect3D8 **object) override {
    if (object == nullptr) return D3DERR_INVALIDCALL;
    *object = direct3D;
    direct3D->AddRef();
    return D3D_OK;
  }
  HRESULT GetDeviceCaps(D3DCAPS8 *caps) override {
    if (caps == nullptr) return D3DERR_INVALIDCALL;
    FillDeviceCaps(type, caps);
    return D3D_OK;
  }
  HRESULT GetDisplayMode(D3DDISPLAYMODE *mode) override {
    if (mode == nullptr) return D3DERR_INVALIDCALL;
    DesktopDisplayMode(mode);
    if (!present.Windowed) {
      mode->Width = present.BackBufferWidth;
      mode->Height = present.BackBufferHeight;
      mode->Format = present.BackBufferFormat;
    }
    return D3D_OK;
  }

  HRESULT Reset(D3DPRESENT_PARAMETERS *params) override {
    if (params == nullptr) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS checked = *params;
    HRESULT result = CheckPresentParameters(&checked, window);
    if (FAILED(result)) return result;
    Flush();
    if (checked.BackBufferWidth != present.BackBufferWidth || checked.BackBufferHeight != present.BackBufferHeight) {
      if (!raster->Resize((int)checked.BackBufferWidth, (int)checked.BackBufferHeight)) return D3DERR_OUTOFVIDEOMEMORY;
    }
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

  HRESULT Present(const RECT *sourceRect, const RECT *destRect, HWND destWindowOverride, const void *dirtyRegion) override {
    CheckFocus();
    if (lost) {
      batchSize = 0;
      return D3DERR_DEVICELOST;
    }
    if (sourceRect != nullptr && !CoversBackBuffer(*sourceRect))
      D3DWarnOnce("IDirect3DDevice8::Present: source rectangle ignored", 0);
    if (destRect != nullptr && !CoversBackBuffer(*destRect))
      D3DWarnOnce("IDirect3DDevice8::Present: destination rectangle ignored", 0);
    if (dirtyRegion != nullptr) D3DWarnOnce("IDirect3DDevice8::Present: dirty region ignored", 0);
    Flush();
    raster->Present(destWindowOverride != nullptr ? destWindowOverride : window);
    presentedOnce = true;
    return D3D_OK;
  }

  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture8 **texture) override {
    if (texture == nullptr || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    D3DCAPS8 caps;
    FillDeviceCaps(type, &caps);
    if (width > caps.MaxTextureWidth || height > caps.MaxTextureHeight) {
      D3DWarnOnce("IDirect3DDevice8::CreateTexture: larger than the largest texture", std::max(width, height));
      return D3DERR_INVALIDCALL;
    }
    if ((width & (width - 1)) != 0 || (height & (height - 1)) != 0) {
      D3DWarnOnce("IDirect3DDevice8::CreateTexture: sizes must be powers of two", (width & (width - 1)) ? width : height);
      return D3DERR_INVALIDCALL;
    }
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8) {
      D3DWarnOnce("IDirect3DDevice8::CreateTexture: format not supported", format);
      return D3DERR_INVALIDCALL;
    }
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) {
      D3DWarnOnce("IDirect3DDevice8::CreateTexture: usage not supported", usage);
      return D3DERR_INVALIDCALL;
    }
    if (pool != D3DPOOL_MANAGED && pool != D3DPOOL_SYSTEMMEM && pool != D3DPOOL_DEFAULT) {
      D3DWarnOnce("IDirect3DDevice8::CreateTexture: pool not supported", pool);
      return D3DERR_INVALIDCALL;
    }
    UINT full = FullMipChainLength(width, height);
    if (levels == 0) levels = full;
    if (levels > full) return D3DERR_INVALIDCALL;
    *texture = new Texture8(this, width, height, levels, usage, format, pool);
    return D3D_OK;
  }

  HRESULT BeginScene() override {
    if (inScene) return D3DERR_INVALIDCALL;
    inScene = true;
    return D3D_OK;
  }
  HRESULT EndScene() override {
    if (!inScene) return D3DERR_INVALIDCALL;
    inScene = false;
    Flush();
    return D3D_OK;
  }

  HRESULT Clear(DWORD count, const D3DRECT *rects, DWORD flags, D3DCOLOR color, float z, DWORD) override {
    if ((count != 0 && rects == nullptr) || (flags & ~(DWORD)(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
      return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_ZBUFFER) && !present.EnableAutoDepthStencil) return D3DERR_INVALIDCALL;
    if (flags & D3DCLEAR_STENCIL) D3DWarnOnce("IDirect3DDevice8::Clear: no stencil buffer to clear", flags);
    if (!(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;   // NaN too
    if (lost) return D3D_OK;
    Flush();
    RasterState clip;
    ResolveViewport(&clip);
    raster->Clear(clip, (int)count, rects, flags, color, z);
    return D3D_OK;
  }

  HRESULT SetTransform(D3DTRANSFORMSTATETYPE which, const D3DMATRIX *matrix) override {
    int i = TransformIndex(which);
    if (matrix == nullptr || i < 0) {
      if (i < 0) D3DWarnOnce("IDirect3DDevice8::SetTransform: transform not supported", which);
      return D3DERR_INVALIDCALL;
    }
    if (recording != nullptr) {
      recording->values.transform[i] = *matrix;
      recording->transform[i] = true;
      return D3D_OK;
    }
    state.transform[i] = *matrix;
    return D3D_OK;
  }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE which, D3DMATRIX *matrix) override {
    int i = TransformIndex(which);
    if (matrix == nullptr || i < 0) return D3DERR_INVALIDCALL;
    *matrix = state.transform[i];
    return D3D_OK;
  }
  HRESULT SetViewport(const D3DVIEWPORT8 *viewport) override {
    if (viewport == nullptr || viewport->X + viewport->Width > present.BackBufferWidth ||
        viewport->Y + viewport->Height > present.BackBufferHeight)
      return D3DERR_INVALIDCALL;
    if (recording != nullptr) {
      recording->values.viewport = *viewport;
      recording->viewport = true;
      return D3D_OK;
    }
    if (std::memcmp(viewport, &state.viewport, sizeof *viewport) != 0) stateChanged = true;
    state.viewport = *viewport;
    return D3D_OK;
  }
  HRESULT GetViewport(D3DVIEWPORT8 *viewport) override {
    if (viewport == nullptr) return D3DERR_INVALIDCALL;
    *viewport = state.viewport;
    return D3D_OK;
  }

  HRESULT SetRenderState(D3DRENDERSTATETYPE which, DWORD value) override {
    if ((DWORD)which >= RenderStateCount) {
      D3DWarnOnce("IDirect3DDevice8::SetRenderState: unknown state", which);
      return D3DERR_INVALIDCALL;
    }
    if (recording != nullptr) {
      recording->values.render[which] = value;
      recording->render[which] = true;
      return D3D_OK;
    }
    if (state.render[which] != value) stateChanged = true;
    state.render[which] = value;
    return D3D_OK;
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE which, DWORD *value) override {
    if ((DWORD)which >= RenderStateCount || value == nullptr) return D3DERR_INVALIDCALL;
    *value = state.render[which];
    return D3D_OK;
  }

  HRESULT BeginStateBlock() override {
    if (recording != nullptr) return D3DERR_INVALIDCALL;
    recordingBlock.Mark(false);
    recordingBlock.values = state;
    recording = &recordingBlock;
    return D3D_OK;
  }
  HRESULT EndStateBlock(DWORD *token) override {
    if (recording == nullptr || token == nullptr) return D3DERR_INVALIDCALL;
    recording = nullptr;
    // Textures named in the block are held only weakly; they leave it when released.
    return StoreBlock(recordingBlock, token);
  }
  HRESULT ApplyStateBlock(DWORD token) override {
    StateBlock *block = FindBlock(token);
    if (block == nullptr || recording != nullptr) return D3DERR_INVALIDCALL;
    for (int i = 0; i < RenderStateCount; ++i)
      if (block->render[i]) SetRenderState((D3DRENDERSTATETYPE)i, block->values.render[i]);
    for (int s = 0; s < StageCount; ++s) {
      for (int i = 0; i < StageStateCount; ++i)
        if (block->stage[s][i]) SetTextureStageState(s, (D3DTEXTURESTAGESTATETYPE)i, block->values.stage[s][i]);
      if (block->texture[s]) SetTexture(s, block->values.texture[s]);
    }
    if (block->vertexShader) SetVertexShader(block->values.vertexShader);
    for (int i = 0; i < TransformCount; ++i)
      if (block->transform[i]) state.transform[i] = block->values.transform[i];
    if (block->viewport) SetViewport(&block->values.viewport);
    return D3D_OK;
  }
  HRESULT CaptureStateBlock(DWORD token) override {
    StateBlock *block = FindBlock(token);
    if (block == nullptr || recording != nullptr) return D3DERR_INVALIDCALL;
    block->values = state;
    return D3D_OK;
  }
  HRESULT DeleteStateBlock(DWORD token) override {
    StateBlock *block = FindBlock(token);
    if (block == nullptr || recording != nullptr) return D3DERR_INVALIDCALL;
    block->used = false;
    return D3D_OK;
  }
  HRESULT CreateStateBlock(D3DSTATEBLOCKTYPE kind, DWORD *token) override {
    if (token == nullptr || recording != nullptr) return D3DERR_INVALIDCALL;
    StateBlock block;
    block.values = state;
    switch (kind) {
    case D3DSBT_ALL: block.Mark(true); break;
    case D3DSBT_PIXELSTATE:
      // Blending, depth, alpha test and the texture stages.
      block.Mark(false);
      std::fill(std::begin(block.render), std::end(block.render), true);
      for (int r : {D3DRS_LIGHTING, D3DRS_AMBIENT, D3DRS_CLIPPING, D3DRS_CULLMODE, D3DRS_VERTEXBLEND,
                    D3DRS_COLORVERTEX, D3DRS_NORMALIZENORMALS, D3DRS_FOGVERTEXMODE})
        block.render[r] = false;
      for (auto &s : block.stage) std::fill(std::begin(s), std::end(s), true);
      break;
    case D3DSBT_VERTEXSTATE:
      // Culling, lighting, the vertex format and the transforms.
      block.Mark(false);
      for (int r : {D3DRS_LIGHTING, D3DRS_AMBIENT, D3DRS_CLIPPING, D3DRS_CULLMODE, D3DRS_VERTEXBLEND,
                    D3DRS_COLORVERTEX, D3DRS_NORMALIZENORMALS, D3DRS_FOGVERTEXMODE, D3DRS_SHADEMODE})
        block.render[r] = true;
      block.vertexShader = true;
      std::fill(std::begin(block.transform), std::end(block.transform), true);
      break;
    default: return D3DERR_INVALIDCALL;
    }
    return StoreBlock(block, token);
  }

  HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8 **texture) override {
    if (stage >= StageCount || texture == nullptr) return D3DERR_INVALIDCALL;
    *texture = state.texture[stage];
    if (*texture != nullptr) (*texture)->AddRef();
    return D3D_OK;
  }
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8 *texture) override {
    if (stage >= StageCount) return D3DERR_INVALIDCALL;
    // Our textures are the only kind; anything else would be another runtime's.
    Texture8 *t = static_cast<Texture8 *>(static_cast<IDirect3DTexture8 *>(texture));
    if (t != nullptr && t->owner != this) return D3DERR_INVALIDCALL;
    if (recording != nullptr) {
      recording->values.texture[stage] = t;
      recording->texture[stage] = true;
      return D3D_OK;
    }
    if (state.texture[stage] == t) return D3D_OK;
    // What is queued is not drawn here: the next draw draws it if its state differs, so
    // a texture set, another set, and the first set again with nothing drawn in between
    // (text drawn line by line, the game's own state put back after each) stays one
    // batch. A texture released here for good draws what is queued before it goes.
    stateChanged = true;
    if (t != nullptr) t->AddRef();
    if (state.texture[stage] != nullptr) state.texture[stage]->Release();
    state.texture[stage] = t;
    return D3D_OK;
  }
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE which, DWORD *value) override {
    if (stage >= StageCount || (DWORD)which >= StageStateCount || value == nullptr) return D3DERR_INVALIDCALL;
    *value = state.stage[stage][which];
    return D3D_OK;
  }
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE which, DWORD value) override {
    if (stage >= StageCount || (DWORD)which >= StageStateCount) return D3DERR_INVALIDCALL;
    if (recording != nullptr) {
      recording->values.stage[stage][which] = value;
      recording->stage[stage][which] = true;
      return D3D_OK;
    }
    if (state.stage[stage][which] != value) stateChanged = true;
    state.stage[stage][which] = value;
    return D3D_OK;
  }

  HRESULT SetVertexShader(DWORD handle) override {
    if (recording != nullptr) {
      recording->values.vertexShader = handle;
      recording->vertexShader = true;
      return D3D_OK;
    }
    state.vertexShader = handle;
    return D3D_OK;
  }
  HRESULT GetVertexShader(DWORD *handle) override {
    if (handle == nullptr) return D3DERR_INVALIDCALL;
    *handle = state.vertexShader;
    return D3D_OK;
  }

  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE kind, UINT count, const void *data, UINT stride) override;

  void Flush() {
    if (batchSize == 0) return;
    ++batches;
    if (batchLines)
      raster->DrawLines(batchState, batch.get(), batchSize);
    else
      raster->DrawTriangles(batchState, batch.get(), batchSize);
    batchSize = 0;
  }
  void AddTexture(Texture8 *t) { liveTextures.push_back(t); }
  void RemoveTexture(Texture8 *t) {
    Flush();
    for (auto &block : blocks)
      for (auto &bt : block.values.texture)
        if (bt == t) bt = nullptr;
    for (auto &bt : recordingBlock.values.texture)
      if (bt == t) bt = nullptr;
    raster->ForgetTexture(&t->raster);
    liveTextures.erase(std::remove(liveTextures.begin(), liveTextures.end(), t), liveTextures.end());
  }
  RasterDevice *Raster() { return raster; }
  unsigned long Batches() const { return batches; }
  bool PresentedOnce() const { return presentedOnce; }

private:
  bool CoversBackBuffer(const RECT &r) const {
    return r.left == 0 && r.top == 0 && r.right == (LONG)present.BackBufferWidth &&
           r.bottom == (LONG)present.BackBufferHeight;
  }
  void CheckFocus() {
    // A full-screen device is lost once its window has lost the focus; the first
    // Present after the window is back says so, and only Reset recovers it.
    if (present.Windowed) return;
    if (!lost && WindowFocusLossCount(window) != seenFocusLosses) {
      lost = true;
      std::fprintf(stderr, "d3d8: the full-screen device is lost (its window lost the focus)\n");
    }
  }
  void SetDefaults() {
    std::memset(&state, 0, sizeof state);
    DWORD *r = state.render;
    r[D3DRS_ZENABLE] = present.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    r[D3DRS_FILLMODE] = D3DFILL_SOLID;
    r[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    r[D3DRS_ZWRITEENABLE] = TRUE;
    r[D3DRS_LASTPIXEL] = TRUE;
    r[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    r[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    r[D3DRS_CULLMODE] = D3DCULL_CCW;
    r[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    r[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_FOGEND] = 0x3F800000;       // 1.0f
    r[D3DRS_FOGDENSITY] = 0x3F800000;
    r[D3DRS_STENCILFAIL] = r[D3DRS_STENCILZFAIL] = r[D3DRS_STENCILPASS] = 1;   // D3DSTENCILOP_KEEP
    r[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_STENCILMASK] = r[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    r[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    r[D3DRS_CLIPPING] = TRUE;
    r[D3DRS_LIGHTING] = TRUE;
    r[D3DRS_COLORVERTEX] = TRUE;
    r[D3DRS_LOCALVIEWER] = TRUE;
    r[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    r[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    r[D3DRS_POINTSIZE] = 0x3F800000;
    r[D3DRS_POINTSIZE_MIN] = 0x3F800000;
    r[D3DRS_POINTSIZE_MAX] = 0x42800000;  // 64.0f
    r[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    r[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    r[D3DRS_COLORWRITEENABLE] = 0xF;
    r[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    for (int s = 0; s < StageCount; ++s) {
      DWORD *t = state.stage[s];
      t[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
      t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
      t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
      t[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
      t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
      t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
      t[D3DTSS_TEXCOORDINDEX] = (DWORD)s;
      t[D3DTSS_ADDRESSU] = t[D3DTSS_ADDRESSV] = t[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
      t[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
      t[D3DTSS_MINFILTER] = D3DTEXF_POINT;
      t[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
      t[D3DTSS_MAXANISOTROPY] = 1;
      t[D3DTSS_COLORARG0] = t[D3DTSS_ALPHAARG0] = t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    for (auto &m : state.transform) m = identity;
    state.viewport = {0, 0, present.BackBufferWidth, present.BackBufferHeight, 0.0f, 1.0f};
    state.vertexShader = 0;
    stateChanged = true;
  }
  HRESULT StoreBlock(const StateBlock &block, DWORD *token) {
    for (size_t i = 0; i < blocks.size(); ++i)
      if (!blocks[i].used) {
        blocks[i] = block;
        blocks[i].used = true;
        *token = (DWORD)i + 1;
        return D3D_OK;
      }
    blocks.push_back(block);
    blocks.back().used = true;
    *token = (DWORD)blocks.size();
    return D3D_OK;
  }
  StateBlock *FindBlock(DWORD token) {
    if (token == 0 || token > blocks.size() || !blocks[token - 1].used) return nullptr;
    return &blocks[token - 1];
  }
  void ResolveViewport(RasterState *out) const {
    out->clipLeft = (int)state.viewport.X;
    out->clipTop = (int)state.viewport.Y;
    out->clipRight = (int)(state.viewport.X + state.viewport.Width);
    out->clipBottom = (int)(state.viewport.Y + state.viewport.Height);
  }
  RasterArg ResolveArg(DWORD arg, const char *what) const {
    if (arg & ~(DWORD)D3DTA_SELECTMASK) D3DWarnOnce(what, arg);
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_TEXTURE: return ArgTexture;
    case D3DTA_TFACTOR: return ArgFactor;
    case D3DTA_DIFFUSE: case D3DTA_CURRENT: return ArgDiffuse;
    default: D3DWarnOnce(what, arg); return ArgDiffuse;
    }
  }
  RasterOp ResolveOp(DWORD op, const char *what) const {
    switch (op) {
    case D3DTOP_SELECTARG1: return OpSelect1;
    case D3DTOP_SELECTARG2: return OpSelect2;
    case D3DTOP_MODULATE: return OpModulate;
    default: D3DWarnOnce(what, op); return OpModulate;
    }
  }
  uint8_t ResolveFilter(DWORD filter, const char *what) const {
    if (filter == D3DTEXF_POINT || filter == D3DTEXF_LINEAR) return (uint8_t)filter;
    if (filter != D3DTEXF_NONE) D3DWarnOnce(what, filter);
    return filter == D3DTEXF_NONE ? D3DTEXF_POINT : D3DTEXF_LINEAR;
  }
  uint8_t ResolveAddress(DWORD mode, const char *what) const {
    if (mode == D3DTADDRESS_WRAP || mode == D3DTADDRESS_MIRROR || mode == D3DTADDRESS_CLAMP) return (uint8_t)mode;
    D3DWarnOnce(what, mode);
    return D3DTADDRESS_CLAMP;
  }
  uint8_t ResolveBlend(DWORD blend, const char *what) const {
    if (blend >= D3DBLEND_ZERO && blend <= D3DBLEND_INVDESTCOLOR) return (uint8_t)blend;
    if (blend == D3DBLEND_SRCALPHASAT) {
      D3DWarnOnce(what, blend);
      return D3DBLEND_SRCALPHA;
    }
    D3DWarnOnce(what, blend);
    return D3DBLEND_ONE;
  }
  void ResolveState(RasterState *out) {
    const DWORD *r = state.render;
    const DWORD *t = state.stage[0];
    *out = RasterState();
    out->texture = state.texture[0] != nullptr ? &state.texture[0]->raster : nullptr;
    if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE) {
      // A disabled first stage passes the diffuse colour and alpha on.
      out->colorOp = out->alphaOp = OpSelect1;
      out->colorArg1 = out->alphaArg1 = ArgDiffuse;
    } else {
      out->colorOp = ResolveOp(t[D3DTSS_COLOROP], "SetTextureStageState: colour operation not supported");
      out->colorArg1 = ResolveArg(t[D3DTSS_COLORARG1], "SetTextureStageState: colour argument not supported");
      out->colorArg2 = ResolveArg(t[D3DTSS_COLORARG2], "SetTextureStageState: colour argument not supported");
      if (t[D3DTSS_ALPHAOP] == D3DTOP_DISABLE) {
        out->alphaOp = OpSelect1;
        out->alphaArg1 = ArgDiffuse;
      } else {
        out->alphaOp = ResolveOp(t[D3DTSS_ALPHAOP], "SetTextureStageState: alpha operation not supported");
        out->alphaArg1 = ResolveArg(t[D3DTSS_ALPHAARG1], "SetTextureStageState: alpha argument not supported");
        out->alphaArg2 = ResolveArg(t[D3DTSS_ALPHAARG2], "SetTextureStageState: alpha argument not supported");
      }
    }
    if (state.stage[1][D3DTSS_COLOROP] != D3DTOP_DISABLE)
      D3DWarnOnce("SetTextureStageState: only the first texture stage is drawn", state.stage[1][D3DTSS_COLOROP]);
    if (t[D3DTSS_TEXCOORDINDEX] != 0)
      D3DWarnOnce("SetTextureStageState: texture coordinate index not supported", t[D3DTSS_TEXCOORDINDEX]);
    if (t[D3DTSS_TEXTURETRANSFORMFLAGS] != D3DTTFF_DISABLE)
      D3DWarnOnce("SetTextureStageState: texture transforms not supported", t[D3DTSS_TEXTURETRANSFORMFLAGS]);
    out->textureFactor = r[D3DRS_TEXTUREFACTOR];
    out->magFilter = ResolveFilter(t[D3DTSS_MAGFILTER], "SetTextureStageState: magnification filter not supported");
    out->minFilter = ResolveFilter(t[D3DTSS_MINFILTER], "SetTextureStageState: minification filter not supported");
    DWORD mip = t[D3DTSS_MIPFILTER];
    if (mip > D3DTEXF_LINEAR) {
      D3DWarnOnce("SetTextureStageState: mip filter not supported", mip);
      mip = D3DTEXF_LINEAR;
    }
    out->mipFilter = (uint8_t)mip;
    out->addressU = ResolveAddress(t[D3DTSS_ADDRESSU], "SetTextureStageState: address mode not supported");
    out->addressV = ResolveAddress(t[D3DTSS_ADDRESSV], "SetTextureStageState: address mode not supported");
    std::memcpy(&out->lodBias, &t[D3DTSS_MIPMAPLODBIAS], sizeof(float));
    out->maxMipLevel = (int)std::min<DWORD>(t[D3DTSS_MAXMIPLEVEL], 31);
    out->alphaTest = r[D3DRS_ALPHATESTENABLE] != 0;
    out->alphaFunc = (uint8_t)std::clamp<DWORD>(r[D3DRS_ALPHAFUNC], D3DCMP_NEVER, D3DCMP_ALWAYS);
    out->alphaRef = (uint8_t)r[D3DRS_ALPHAREF];
    DWORD z = present.EnableAutoDepthStencil ? r[D3DRS_ZENABLE] : (DWORD)D3DZB_FALSE;
    if (z == D3DZB_USEW) D3DWarnOnce("SetRenderState: w-buffering not supported, z used", z);
    out->depthTest = z != D3DZB_FALSE;
    out->depthWrite = out->depthTest && r[D3DRS_ZWRITEENABLE] != 0;
    out->depthFunc = (uint8_t)std::clamp<DWORD>(r[D3DRS_ZFUNC], D3DCMP_NEVER, D3DCMP_ALWAYS);
    out->blend = r[D3DRS_ALPHABLENDENABLE] != 0;
    DWORD src = r[D3DRS_SRCBLEND], dest = r[D3DRS_DESTBLEND];
    if (src == D3DBLEND_BOTHSRCALPHA) {
      src = D3DBLEND_SRCALPHA;
      dest = D3DBLEND_INVSRCALPHA;
    } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
      src = D3DBLEND_INVSRCALPHA;
      dest = D3DBLEND_SRCALPHA;
    }
    out->srcBlend = ResolveBlend(src, "SetRenderState: source blend not supported");
    out->destBlend = ResolveBlend(dest, "SetRenderState: destination blend not supported");
    if (out->blend && r[D3DRS_BLENDOP] != D3DBLENDOP_ADD)
      D3DWarnOnce("SetRenderState: blend operation not supported", r[D3DRS_BLENDOP]);
    out->colorWriteMask = (uint8_t)(r[D3DRS_COLORWRITEENABLE] & 0xF);
    out->lastPixel = r[D3DRS_LASTPIXEL] != 0;
    if (r[D3DRS_FOGENABLE]) D3DWarnOnce("SetRenderState: fog not supported", r[D3DRS_FOGENABLE]);
    // States that are kept (and read back) but draw nothing different.
    static const struct {
      D3DRENDERSTATETYPE state;
      DWORD drawnAs;
      const char *what;
    } ignored[] = {
        {D3DRS_ZBIAS, 0, "SetRenderState: depth bias not supported"},
        {D3DRS_LINEPATTERN, 0, "SetRenderState: line patterns not supported"},
        {D3DRS_EDGEANTIALIAS, FALSE, "SetRenderState: edge antialiasing not supported"},
        {D3DRS_CLIPPLANEENABLE, 0, "SetRenderState: user clip planes not supported"},
        {D3DRS_VERTEXBLEND, 0, "SetRenderState: vertex blending not supported"},
        {D3DRS_POINTSPRITEENABLE, FALSE, "SetRenderState: point sprites not supported"},
        {D3DRS_WRAP0, 0, "SetRenderState: texture coordinate wrapping not supported"},
    };
    for (const auto &i : ignored)
      if (r[i.state] != i.drawnAs) D3DWarnOnce(i.what, r[i.state]);
    if (r[D3DRS_STENCILENABLE]) D3DWarnOnce("SetRenderState: no stencil buffer", r[D3DRS_STENCILENABLE]);
    if (r[D3DRS_SPECULARENABLE]) D3DWarnOnce("SetRenderState: specular not supported", r[D3DRS_SPECULARENABLE]);
    if (r[D3DRS_FILLMODE] != D3DFILL_SOLID) D3DWarnOnce("SetRenderState: fill mode not supported", r[D3DRS_FILLMODE]);
    if (r[D3DRS_SHADEMODE] == D3DSHADE_PHONG) D3DWarnOnce("SetRenderState: Phong shading drawn as Gouraud", D3DSHADE_PHONG);
    ResolveViewport(out);
  }
  // Where a vertex's parts lie within its bytes, worked out once per draw.
  struct VertexLayout {
    bool transformed;
    int diffuse;    // byte offset, or -1 (white)
    int texture;    // byte offset of the first coordinate pair, or -1 (0, 0)
  };
  static VertexLayout LayoutOf(DWORD fvf);
  inline bool ConvertVertex(const BYTE *src, const VertexLayout &layout, RasterVertex *out) const;
  bool TransformVertex(const BYTE *src, RasterVertex *out) const;

  ULONG refs = 1;
  IDirect3D8 *direct3D;
  D3DDEVTYPE type;
  HWND window;
  D3DPRESENT_PARAMETERS present;
  RasterDevice *raster;
  StateSet state;
  std::vector<StateBlock> blocks;
  StateBlock recordingBlock;
  StateBlock *recording = nullptr;
  std::vector<Texture8 *> liveTextures;
  std::unique_ptr<RasterVertex[]> batch;   // BatchCapacity vertices, batchSize of them queued
  int batchSize = 0;
  RasterState batchState;
  bool batchLines = false;
  bool stateChanged = true;
  bool inScene = false;
  bool lost = false;
  bool presentedOnce = false;
  unsigned int seenFocusLosses = 0;
  unsigned long batches = 0;   // draws handed to the rasterizer
  // Untransformed vertices go through world x view x projection, computed per batch.
  D3DMATRIX combined;
  bool combinedValid = false;
};

inline Device8::VertexLayout Device8::LayoutOf(DWORD fvf) {
  VertexLayout layout;
  DWORD position = fvf & D3DFVF_POSITION_MASK;
  layout.transformed = position == D3DFVF_XYZRHW;
  int offset = layout.transformed ? 16 : 12 + (position > D3DFVF_XYZRHW ? 4 * (int)((position - D3DFVF_XYZRHW) / 2) : 0);
  if (fvf & D3DFVF_NORMAL) offset += 12;
  if (fvf & D3DFVF_PSIZE) offset += 4;
  layout.diffuse = -1;
  if (fvf & D3DFVF_DIFFUSE) {
    layout.diffuse = offset;
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) offset += 4;
  layout.texture = (fvf & D3DFVF_TEXCOUNT_MASK) != 0 ? offset : -1;
  return layout;
}

bool Device8::ConvertVertex(const BYTE *src, const VertexLayout &layout, RasterVertex *out) const {
  if (layout.transformed) {
    float p[4];
    std::memcpy(p, src, sizeof p);
    out->x = p[0];
    out->y = p[1];
    out->z = p[2];
    out->rhw = p[3];
  } else if (!TransformVertex(src, out)) {
    return false;
  }
  out->diffuse = 0xFFFFFFFF;
  if (layout.diffuse >= 0) std::memcpy(&out->diffuse, src + layout.diffuse, 4);
  float uv[2] = {0.0f, 0.0f};
  if (layout.texture >= 0) std::memcpy(uv, src + layout.texture, sizeof uv);
  out->u = uv[0];
  out->v = uv[1];
  return true;
}

// Untransformed: world, view and projection, then the viewport. There is no clipping
// against the near plane; a vertex behind the eye drops its primitive.
bool Device8::TransformVertex(const BYTE *src, RasterVertex *out) const {
  float f[3];
  std::memcpy(f, src, sizeof f);
  const D3DMATRIX &m = combined;
  float x = f[0], y = f[1], z = f[2];
  float cx = x * m._11 + y * m._21 + z * m._31 + m._41;
  float cy = x * m._12 + y * m._22 + z * m._32 + m._42;
  float cz = x * m._13 + y * m._23 + z * m._33 + m._43;
  float cw = x * m._14 + y * m._24 + z * m._34 + m._44;
  if (!(cw > 1e-6f)) return false;
  float iw = 1.0f / cw;
  const D3DVIEWPORT8 &vp = state.viewport;
  out->x = (float)vp.X + (1.0f + cx * iw) * 0.5f * (float)vp.Width - 0.5f;
  out->y = (float)vp.Y + (1.0f - cy * iw) * 0.5f * (float)vp.Height - 0.5f;
  out->z = vp.MinZ + cz * iw * (vp.MaxZ - vp.MinZ);
  out->rhw = iw;
  return true;
}

HRESULT Device8::DrawPrimitiveUP(D3DPRIMITIVETYPE kind, UINT count, const void *data, UINT stride) {
  if (data == nullptr || stride == 0 || count == 0) return D3DERR_INVALIDCALL;
  if (!inScene) {
    D3DWarnOnce("IDirect3DDevice8::DrawPrimitiveUP: called outside BeginScene and EndScene", kind);
    return D3DERR_INVALIDCALL;
  }
  DWORD fvf = state.vertexShader;
  if (fvf & ~(DWORD)(D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                     D3DFVF_TEXCOUNT_MASK)) {
    D3DWarnOnce("IDirect3DDevice8::DrawPrimitiveUP: vertex shader or format not supported", fvf);
    return D3DERR_INVALIDCALL;
  }
  if ((fvf & D3DFVF_POSITION_MASK) == 0) {
    D3DWarnOnce("IDirect3DDevice8::DrawPrimitiveUP: vertex format has no position", fvf);
    return D3DERR_INVALIDCALL;
  }
  bool lines = false;
  switch (kind) {
  case D3DPT_LINELIST: case D3DPT_LINESTRIP: lines = true; break;
  case D3DPT_TRIANGLELIST: case D3DPT_TRIANGLESTRIP: case D3DPT_TRIANGLEFAN: break;
  default:
    D3DWarnOnce("IDirect3DDevice8::DrawPrimitiveUP: primitive type not supported", kind);
    return D3DERR_INVALIDCALL;
  }
  if (count > 0xFFFFF) return D3DERR_INVALIDCALL;
  if (lost) return D3D_OK;

  const VertexLayout layout = LayoutOf(fvf);
  if (!layout.transformed) {
    if (state.render[D3DRS_LIGHTING])
      D3DWarnOnce("IDirect3DDevice8::DrawPrimitiveUP: lighting not supported, vertex colours used", fvf);
    // world x view x projection
    D3DMATRIX a = state.transform[10], b = state.transform[0], c = state.transform[1], wv;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        wv.m[i][j] = 0;
        for (int k = 0; k < 4; ++k) wv.m[i][j] += a.m[i][k] * b.m[k][j];
      }
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        combined.m[i][j] = 0;
        for (int k = 0; k < 4; ++k) combined.m[i][j] += wv.m[i][k] * c.m[k][j];
      }
  }

  if (stateChanged) {
    RasterState resolved;
    ResolveState(&resolved);
    if (!(resolved == batchState)) Flush();
    batchState = resolved;
    stateChanged = false;
  }
  if (lines != batchLines) Flush();
  batchLines = lines;

  const BYTE *bytes = static_cast<const BYTE *>(data);
  bool flat = state.render[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
  DWORD cull = state.render[D3DRS_CULLMODE];
  auto vertex = [&](UINT i, RasterVertex *out) { return ConvertVertex(bytes + (size_t)i * stride, layout, out); };

  // Each primitive is read straight into the queue's next free places and kept by
  // counting it in; one that is dropped is simply not counted.
  if (lines) {
    for (UINT p = 0; p < count; ++p) {
      UINT i0 = kind == D3DPT_LINELIST ? p * 2 : p;
      if (batchSize + 2 > BatchCapacity) Flush();
      RasterVertex *v = &batch[batchSize];
      if (!vertex(i0, &v[0]) || !vertex(i0 + 1, &v[1])) continue;
      if (flat) v[1].diffuse = v[0].diffuse;
      batchSize += 2;
    }
    return D3D_OK;
  }
  RasterVertex fanCentre;
  bool fanOk = kind != D3DPT_TRIANGLEFAN || vertex(0, &fanCentre);
  for (UINT p = 0; p < count; ++p) {
    if (batchSize + 3 > BatchCapacity) Flush();
    RasterVertex *v = &batch[batchSize];
    bool ok;
    if (kind == D3DPT_TRIANGLELIST) {
      ok = vertex(p * 3, &v[0]) && vertex(p * 3 + 1, &v[1]) && vertex(p * 3 + 2, &v[2]);
    } else if (kind == D3DPT_TRIANGLEFAN) {
      v[0] = fanCentre;
      ok = fanOk && vertex(p + 1, &v[1]) && vertex(p + 2, &v[2]);
    } else if (p % 2 == 0) {
      ok = vertex(p, &v[0]) && vertex(p + 1, &v[1]) && vertex(p + 2, &v[2]);
    } else {
      // Odd triangles of a strip are wound the other way round; keep the first vertex
      // for flat shading.
      ok = vertex(p, &v[0]) && vertex(p + 2, &v[1]) && vertex(p + 1, &v[2]);
    }
    if (!ok) continue;
    if (cull != D3DCULL_NONE) {
      // With y downwards, a positive cross product is clockwise on screen.
      float area = (v[1].x - v[0].x) * (v[2].y - v[0].y) - (v[2].x - v[0].x) * (v[1].y - v[0].y);
      if (cull == D3DCULL_CCW && area < 0) continue;
      if (cull == D3DCULL_CW && area > 0) continue;
    }
    if (flat) v[1].diffuse = v[2].diffuse = v[0].diffuse;
    batchSize += 3;
  }
  return D3D_OK;
}

HRESULT CreateDevice8(IDirect3D8 *direct3D, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                      D3DPRESENT_PARAMETERS *params, IDirect3DDevice8 **returned) {
  if (params == nullptr || returned == nullptr) return D3DERR_INVALIDCALL;
  if (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF) {
    D3DWarnOnce("CreateDevice: device type not supported", type);
    return D3DERR_INVALIDCALL;
  }
  DWORD processing = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                      D3DCREATE_MIXED_VERTEXPROCESSING);
  if (processing == 0 || (processing & (processing - 1)) != 0) return D3DERR_INVALIDCALL;
  if (type == D3DDEVTYPE_REF && processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING) return D3DERR_INVALIDCALL;
  HWND window = params->hDeviceWindow != nullptr ? params->hDeviceWindow : focusWindow;
  if (!params->Windowed && focusWindow == nullptr) return D3DERR_INVALIDCALL;
  D3DPRESENT_PARAMETERS checked = *params;
  HRESULT result = CheckPresentParameters(&checked, window);
  if (FAILED(result)) return result;
  RasterDevice *raster = type == D3DDEVTYPE_HAL
                             ? CreateOpenGLRaster(window, (int)checked.BackBufferWidth, (int)checked.BackBufferHeight)
                             : CreateReferenceRaster(window, (int)checked.BackBufferWidth, (int)checked.BackBufferHeight);
  if (raster == nullptr) return D3DERR_NOTAVAILABLE;
  std::fprintf(stderr, "d3d8: %s device, %ux%u, %s\n", type == D3DDEVTYPE_HAL ? "hardware" : "reference",
               checked.BackBufferWidth, checked.BackBufferHeight, raster->Describe());
  *params = checked;
  *returned = new Device8(direct3D, type, window, checked, raster);
  return D3D_OK;
}

void DeviceFlush(Device8 *device) { device->Flush(); }
void DeviceAddTexture(Device8 *device, Texture8 *texture) { device->AddTexture(texture); }
void DeviceRemoveTexture(Device8 *device, Texture8 *texture) { device->RemoveTexture(texture); }
IDirect3DDevice8 *DeviceInterface(Device8 *device) { return device; }
RasterDevice *DeviceRaster(IDirect3DDevice8 *device) { return static_cast<Device8 *>(device)->Raster(); }
unsigned long DeviceBatchCount(IDirect3DDevice8 *device) { return static_cast<Device8 *>(device)->Batches(); }

bool ReadBackPresented(IDirect3DDevice8 *device, DWORD *pixels, UINT width, UINT height) {
  if (device == nullptr || pixels == nullptr) return false;
  Device8 *d = static_cast<Device8 *>(device);
  if (!d->PresentedOnce()) return false;
  return d->Raster()->ReadBack(pixels, (int)width, (int)height);
}
