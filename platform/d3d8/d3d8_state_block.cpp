// State blocks: recording the states set between BeginStateBlock and EndStateBlock,
// creating a block that captures the device's current states (all, or those of pixels
// or of vertices), capturing again, applying and deleting. A block holds a value and a
// mark for every state; only the marked ones are captured and applied.
#include "platform/d3d8/d3d8_device.h"

inline HRESULT Device8::StoreBlock(const StateBlock &block, DWORD *token) {
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

inline StateBlock *Device8::FindBlock(DWORD token) {
  if (token == 0 || token > blocks.size() || !blocks[token - 1].used) return nullptr;
  return &blocks[token - 1];
}

HRESULT Device8::BeginStateBlock() {
  if (recording != nullptr) return D3DERR_INVALIDCALL;
  recordingBlock.Mark(false);
  recordingBlock.values = state;
  recording = &recordingBlock;
  return D3D_OK;
}

HRESULT Device8::EndStateBlock(DWORD *token) {
  if (recording == nullptr || token == nullptr) return D3DERR_INVALIDCALL;
  recording = nullptr;
  // Textures named in the block are held only weakly; they leave it when released.
  return StoreBlock(recordingBlock, token);
}

HRESULT Device8::ApplyStateBlock(DWORD token) {
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

HRESULT Device8::CaptureStateBlock(DWORD token) {
  StateBlock *block = FindBlock(token);
  if (block == nullptr || recording != nullptr) return D3DERR_INVALIDCALL;
  block->values = state;
  return D3D_OK;
}

HRESULT Device8::DeleteStateBlock(DWORD token) {
  StateBlock *block = FindBlock(token);
  if (block == nullptr || recording != nullptr) return D3DERR_INVALIDCALL;
  block->used = false;
  return D3D_OK;
}

HRESULT Device8::CreateStateBlock(D3DSTATEBLOCKTYPE kind, DWORD *token) {
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
