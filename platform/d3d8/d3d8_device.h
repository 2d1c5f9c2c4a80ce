// The device front end's class, shared by the files that make it up: the device and its
// states (d3d8_device.cpp), state blocks (d3d8_state_block.cpp), vertex formats and the
// vertex path (d3d8_vertices.cpp), the batch queue (d3d8_batch.cpp), and present and
// the lost device (d3d8_present.cpp). What every draw runs, and the setters a state
// block is applied through, are defined here so they stay inline wherever they are used.
#pragma once
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>
#include "platform/d3d8/d3d8_internal.h"

constexpr int RenderStateCount = 256;
constexpr int StageCount = 8;
constexpr int StageStateCount = 32;
// View, projection, texture 0..7, world 0..3.
constexpr int TransformCount = 14;
constexpr int BatchCapacity = 1 << 16;

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

// Checks and completes present parameters: a zero back-buffer size in a window takes
// the window's size; a 16-bit back buffer is kept at 32 bits.
HRESULT CheckPresentParameters(D3DPRESENT_PARAMETERS *p, HWND window);
// How many vertical retraces a Present waits for.
int PresentInterval(const D3DPRESENT_PARAMETERS &p);

class Device8 final : public IDirect3DDevice8 {
public:
  Device8(IDirect3D8 *parent, D3DDEVTYPE deviceType, HWND deviceWindow, const D3DPRESENT_PARAMETERS &params,
          RasterDevice *rasterizer);
  ~Device8();

  HRESULT QueryInterface(REFIID, void **object) override;
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override;

  // d3d8_present.cpp: the lost device, Reset and Present.
  HRESULT TestCooperativeLevel() override;
  HRESULT Reset(D3DPRESENT_PARAMETERS *params) override;
  HRESULT Present(const RECT *sourceRect, const RECT *destRect, HWND destWindowOverride,
                  const void *dirtyRegion) override;

  // d3d8_device.cpp: the device, its textures, scenes, clears and states.
  UINT GetAvailableTextureMem() override { return 256u << 20; }
  HRESULT GetDirect3D(IDirect3D8 **object) override;
  HRESULT GetDeviceCaps(D3DCAPS8 *caps) override;
  HRESULT GetDisplayMode(D3DDISPLAYMODE *mode) override;
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture8 **texture) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD count, const D3DRECT *rects, DWORD flags, D3DCOLOR color, float z, DWORD) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE which, const D3DMATRIX *matrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE which, D3DMATRIX *matrix) override;
  HRESULT GetViewport(D3DVIEWPORT8 *viewport) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE which, DWORD *value) override;
  HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8 **texture) override;
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE which, DWORD *value) override;
  HRESULT GetVertexShader(DWORD *handle) override;

  // The setters. While a state block is recorded they go into the block instead of the
  // device. A change that can alter how a batch is drawn marks the state changed, so
  // the next draw resolves it and flushes the queue if it differs.
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

  // d3d8_state_block.cpp.
  HRESULT BeginStateBlock() override;
  HRESULT EndStateBlock(DWORD *token) override;
  HRESULT ApplyStateBlock(DWORD token) override;
  HRESULT CaptureStateBlock(DWORD token) override;
  HRESULT DeleteStateBlock(DWORD token) override;
  HRESULT CreateStateBlock(D3DSTATEBLOCKTYPE kind, DWORD *token) override;

  // d3d8_vertices.cpp.
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE kind, UINT count, const void *data, UINT stride) override;

  // The batch queue (the rest of it in d3d8_batch.cpp). Flush draws what is queued as
  // one batch.
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
  void RemoveTexture(Texture8 *t);
  RasterDevice *Raster() { return raster; }
  unsigned long Batches() const { return batches; }
  bool PresentedOnce() const { return presentedOnce; }

private:
  // Makes the queue ready for a draw of lines or triangles with the current states:
  // what is queued is drawn first when the states resolve differently from its batch's
  // or it holds the other kind of primitive.
  void QueueFor(bool lines) {
    if (stateChanged) {
      RasterState resolved;
      ResolveState(&resolved);
      if (!(resolved == batchState)) Flush();
      batchState = resolved;
      stateChanged = false;
    }
    if (lines != batchLines) Flush();
    batchLines = lines;
  }
  // The Direct3D states resolved into the state the rasterizer draws a batch with.
  void ResolveState(RasterState *out);
  void ResolveViewport(RasterState *out) const {
    out->clipLeft = (int)state.viewport.X;
    out->clipTop = (int)state.viewport.Y;
    out->clipRight = (int)(state.viewport.X + state.viewport.Width);
    out->clipBottom = (int)(state.viewport.Y + state.viewport.Height);
  }

  bool CoversBackBuffer(const RECT &r) const;
  bool HasBackBufferShape(const RECT &r) const;
  void CheckFocus();
  void SetDefaults();
  HRESULT StoreBlock(const StateBlock &block, DWORD *token);
  StateBlock *FindBlock(DWORD token);

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
