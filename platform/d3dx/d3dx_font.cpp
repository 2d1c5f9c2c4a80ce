// Fonts that draw into the frame. Each font holds a GDI font; all fonts of a device share
// one text renderer: a 256 x 256 DIB section in a memory DC where glyphs are rasterised
// white on black, and up to eight 256 x 256 glyph pages (A8R8G8B8 textures) where each
// glyph's coverage is kept as alpha once it has been drawn the first time. A string is
// laid out like GDI's DrawTextA (the same advances, centring and clipping) and drawn as
// one screen-space quad per glyph, modulated by the colour, with the depth test off; the
// device's previous state is put back afterwards through a state block.
#ifndef _WIN32
#include <iconv.h>
#endif

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/d3dx/d3dx.h"
#include "platform/gdi32/text_box.h"

const GUID IID_ID3DXFont = {0x2d501df7, 0xd253, 0x4414, {0x86, 0x5f, 0xa6, 0xd5, 0x4a, 0x75, 0x3a, 0x1b}};

namespace {

const GUID IID_IUnknownValue = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr int CanvasSize = 256;  // the DIB section and each glyph page
constexpr int PageCount = 8;
constexpr int BatchGlyphs = 64;  // quads sent per draw call

// A transformed, lit vertex with one texture coordinate: the glyph quads are in screen
// pixels.
struct GlyphVertex {
  float x, y, z, rhw;
  D3DCOLOR diffuse;
  float u, v;
};
constexpr DWORD GlyphVertexFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// One glyph: its metrics, kept for good once measured, and where its ink sits in the
// pages, valid while `generation` matches the renderer's (a full set of pages is
// cleared by starting a new generation).
struct Glyph {
  bool ink = false;  // false: a space, or a glyph too big to keep; only the advance counts
  int width = 0, height = 0;
  int offsetX = 0, offsetY = 0;  // of the inked box from the pen's x and the line's top
  int advance = 0;
  int page = -1, u = 0, v = 0;
  uint32_t generation = 0;
};

struct TextRenderer {
  IDirect3DDevice8 *device = nullptr;
  int references = 0;
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  uint32_t *canvas = nullptr;
  IDirect3DTexture8 *pages[PageCount] = {};
  int pagesUsed = 0;
  int shelfX = 0, shelfY = 0, shelfHeight = 0;  // packing position in the newest page
  uint32_t generation = 1;
  DWORD savedBlock = 0, drawingBlock = 0;
  bool haveBlocks = false;
  int insideBegin = 0;
  std::unordered_map<uint64_t, Glyph> glyphs;  // by font id and character code
  GlyphVertex batch[BatchGlyphs * 6];
  int batchCount = 0;
  int batchPage = -1;
};

std::vector<TextRenderer *> renderers;  // one per device
uint32_t nextFontId = 1;

void SayOnce(bool &said, const char *what) {
  if (said) return;
  said = true;
  std::fprintf(stderr, "ID3DXFont: %s\n", what);
}

// The states text needs; the same list is recorded into both state blocks.
void SetTextStates(IDirect3DDevice8 *device) {
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_FOGENABLE, FALSE);
  device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
  device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
  device->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_NONE);
  device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
  device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
  device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  device->SetTexture(0, nullptr);
  device->SetVertexShader(GlyphVertexFormat);
}

TextRenderer *AcquireRenderer(IDirect3DDevice8 *device) {
  for (TextRenderer *renderer : renderers) {
    if (renderer->device == device) {
      ++renderer->references;
      return renderer;
    }
  }
  TextRenderer *renderer = new (std::nothrow) TextRenderer;
  if (renderer == nullptr) return nullptr;
  renderer->device = device;
  renderer->references = 1;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = CanvasSize;
  info.bmiHeader.biHeight = -CanvasSize;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  renderer->dc = CreateCompatibleDC(nullptr);
  void *bits = nullptr;
  renderer->bitmap = CreateDIBSection(renderer->dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (renderer->dc == nullptr || renderer->bitmap == nullptr || bits == nullptr) {
    if (renderer->bitmap) DeleteObject(renderer->bitmap);
    if (renderer->dc) DeleteDC(renderer->dc);
    delete renderer;
    return nullptr;
  }
  renderer->canvas = static_cast<uint32_t *>(bits);
  SelectObject(renderer->dc, renderer->bitmap);
  SetBkMode(renderer->dc, OPAQUE);
  SetBkColor(renderer->dc, RGB(0, 0, 0));
  SetTextColor(renderer->dc, RGB(255, 255, 255));
  // One block remembers what text is about to change, the other switches to text's states.
  if (SUCCEEDED(device->BeginStateBlock())) {
    SetTextStates(device);
    bool saved = SUCCEEDED(device->EndStateBlock(&renderer->savedBlock));
    if (saved && SUCCEEDED(device->BeginStateBlock())) {
      SetTextStates(device);
      renderer->haveBlocks = SUCCEEDED(device->EndStateBlock(&renderer->drawingBlock));
      if (!renderer->haveBlocks) device->DeleteStateBlock(renderer->savedBlock);
    }
  }
  renderers.push_back(renderer);
  return renderer;
}

void ReleaseRenderer(TextRenderer *renderer) {
  if (--renderer->references > 0) return;
  for (IDirect3DTexture8 *&page : renderer->pages) {
    if (page) page->Release();
    page = nullptr;
  }
  if (renderer->haveBlocks) {
    renderer->device->DeleteStateBlock(renderer->savedBlock);
    renderer->device->DeleteStateBlock(renderer->drawingBlock);
  }
  DeleteDC(renderer->dc);
  DeleteObject(renderer->bitmap);
  for (size_t i = 0; i < renderers.size(); ++i) {
    if (renderers[i] == renderer) {
      renderers.erase(renderers.begin() + long(i));
      break;
    }
  }
  delete renderer;
}

// Finds room for a w x h tile, starting a new shelf or page when needed. False when
// all pages are full.
bool PlaceTile(TextRenderer *r, int w, int h, int &page, int &u, int &v) {
  if (w + 1 > CanvasSize || h + 1 > CanvasSize) return false;
  if (r->pagesUsed > 0 && r->shelfX + w + 1 > CanvasSize) {
    r->shelfX = 0;
    r->shelfY += r->shelfHeight;
    r->shelfHeight = 0;
  }
  if (r->pagesUsed == 0 || r->shelfY + h + 1 > CanvasSize) {
    if (r->pagesUsed == PageCount) return false;
    if (r->pages[r->pagesUsed] == nullptr &&
        FAILED(r->device->CreateTexture(CanvasSize, CanvasSize, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                        &r->pages[r->pagesUsed]))) {
      r->pages[r->pagesUsed] = nullptr;
      return false;
    }
    ++r->pagesUsed;
    r->shelfX = r->shelfY = r->shelfHeight = 0;
  }
  page = r->pagesUsed - 1;
  u = r->shelfX;
  v = r->shelfY;
  r->shelfX += w + 1;  // a clear texel between tiles
  if (h + 1 > r->shelfHeight) r->shelfHeight = h + 1;
  return true;
}

// Starts the pages again from empty; every glyph's tile is made anew when next drawn.
void ClearPages(TextRenderer *r) {
  ++r->generation;
  r->pagesUsed = 0;
  r->shelfX = r->shelfY = r->shelfHeight = 0;
}

}  // namespace

namespace {

class FontObject final : public ID3DXFont {
public:
  FontObject(IDirect3DDevice8 *device, TextRenderer *renderer, HFONT gdiFont, const LOGFONTA &logFont)
      : device_(device), renderer_(renderer), gdiFont_(gdiFont), logFont_(logFont), id_(nextFontId++) {
    device_->AddRef();
    HGDIOBJ previous = SelectObject(renderer_->dc, gdiFont_);
    RECT cell = {0, 0, 0, 0};
    cellHeight_ = ::DrawTextA(renderer_->dc, " ", 1, &cell, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
    SelectObject(renderer_->dc, previous);
  }

  HRESULT QueryInterface(REFIID riid, void **object) override {
    if (object == nullptr) return E_INVALIDARG;
    if (std::memcmp(&riid, &IID_ID3DXFont, sizeof(GUID)) == 0 ||
        std::memcmp(&riid, &IID_IUnknownValue, sizeof(GUID)) == 0) {
      *object = static_cast<ID3DXFont *>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    ULONG left = --references_;
    if (left == 0) {
      // This font's glyphs leave the cache; their tiles are reused after the next clear.
      for (auto it = renderer_->glyphs.begin(); it != renderer_->glyphs.end();) {
        it = (it->first >> 32) == id_ ? renderer_->glyphs.erase(it) : std::next(it);
      }
      IDirect3DDevice8 *device = device_;
      ReleaseRenderer(renderer_);
      DeleteObject(gdiFont_);
      delete this;
      device->Release();
    }
    return left;
  }

  HRESULT GetDevice(IDirect3DDevice8 **device) override {
    if (device == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
  }
  HRESULT GetLogFont(LOGFONTA *logFont) override {
    if (logFont == nullptr) return D3DERR_INVALIDCALL;
    *logFont = logFont_;
    return D3D_OK;
  }
  HRESULT Begin() override {
    if (renderer_->insideBegin++ == 0) EnterTextStates();
    return D3D_OK;
  }
  HRESULT End() override {
    if (renderer_->insideBegin == 0) return D3DERR_INVALIDCALL;
    if (--renderer_->insideBegin == 0) LeaveTextStates();
    return D3D_OK;
  }

  INT DrawTextA(LPCSTR text, INT count, LPRECT rect, DWORD format, D3DCOLOR colour) override;
  INT DrawTextW(LPCWSTR text, INT count, LPRECT rect, DWORD format, D3DCOLOR colour) override;

private:
  ~FontObject() = default;
  Glyph &FindGlyph(uint32_t code);
  void RasteriseGlyph(uint32_t code, Glyph &glyph, int &pad);
  bool PlaceGlyph(uint32_t code, Glyph &glyph);
  void EnterTextStates();
  void LeaveTextStates();
  void AddQuad(const Glyph &glyph, int penX, int lineTop, const RECT &clip, D3DCOLOR colour);
  void FlushBatch();

  IDirect3DDevice8 *device_;
  TextRenderer *renderer_;
  HFONT gdiFont_;
  LOGFONTA logFont_;
  uint64_t id_;
  int cellHeight_ = 0;
  ULONG references_ = 1;
};

void FontObject::EnterTextStates() {
  if (renderer_->haveBlocks) {
    device_->CaptureStateBlock(renderer_->savedBlock);
    device_->ApplyStateBlock(renderer_->drawingBlock);
  } else {
    SetTextStates(device_);
  }
}

void FontObject::LeaveTextStates() {
  if (renderer_->haveBlocks) device_->ApplyStateBlock(renderer_->savedBlock);
}

// Draws one character alone into the DIB section and measures its inked box; the box
// is left in the DIB, `pad` pixels in from the pen position.
void FontObject::RasteriseGlyph(uint32_t code, Glyph &glyph, int &pad) {
  char bytes[2];
  int length = 0;
  if (code > 0xFF) bytes[length++] = char(code >> 8);
  bytes[length++] = char(code & 0xFF);
  HGDIOBJ previous = SelectObject(renderer_->dc, gdiFont_);
  RECT measure = {0, 0, 0, 0};
  UINT flags = DT_NOPREFIX | DT_SINGLELINE;
  ::DrawTextA(renderer_->dc, bytes, length, &measure, flags | DT_CALCRECT);
  glyph.advance = measure.right;
  // Room around the cell for ink that reaches past the advance (italics, 'j').
  pad = cellHeight_ / 2 + 2;
  int areaW = glyph.advance + 2 * pad, areaH = cellHeight_ + 2 * pad;
  if (areaW > CanvasSize) areaW = CanvasSize;
  if (areaH > CanvasSize) areaH = CanvasSize;
  for (int y = 0; y < areaH; ++y) std::memset(renderer_->canvas + size_t(y) * CanvasSize, 0, size_t(areaW) * 4);
  RECT at = {pad, pad, CanvasSize, CanvasSize};
  ::DrawTextA(renderer_->dc, bytes, length, &at, flags | DT_NOCLIP);
  GdiFlush();
  SelectObject(renderer_->dc, previous);

  int left = areaW, top = areaH, right = -1, bottom = -1;
  for (int y = 0; y < areaH; ++y) {
    const uint32_t *row = renderer_->canvas + size_t(y) * CanvasSize;
    for (int x = 0; x < areaW; ++x) {
      if ((row[x] & 0xFF00) == 0) continue;
      if (x < left) left = x;
      if (x > right) right = x;
      if (y < top) top = y;
      if (y > bottom) bottom = y;
    }
  }
  glyph.ink = right >= 0;
  if (!glyph.ink) return;
  glyph.width = right - left + 1;
  glyph.height = bottom - top + 1;
  glyph.offsetX = left - pad;
  glyph.offsetY = top - pad;
}

// Gives the glyph a tile in the current pages, drawing it again into the DIB and
// copying its coverage over as alpha (white colour, so the vertex colour shows).
// Clears the pages when they are full; false only for a glyph too big for a page.
bool FontObject::PlaceGlyph(uint32_t code, Glyph &glyph) {
  static bool saidTooBig, saidFull;
  if (glyph.width + 1 > CanvasSize || glyph.height + 1 > CanvasSize) {
    SayOnce(saidTooBig, "glyphs larger than 255 pixels are not drawn");
    return false;
  }
  int page = 0, u = 0, v = 0;
  if (!PlaceTile(renderer_, glyph.width, glyph.height, page, u, v)) {
    SayOnce(saidFull, "the glyph pages are full: they are cleared and filled again");
    FlushBatch();  // queued quads still read the tiles about to be overwritten
    ClearPages(renderer_);
    if (!PlaceTile(renderer_, glyph.width, glyph.height, page, u, v)) return false;
  }
  int pad = 0;
  Glyph fresh;
  RasteriseGlyph(code, fresh, pad);
  IDirect3DTexture8 *texture = renderer_->pages[page];
  RECT tile = {u, v, u + glyph.width, v + glyph.height};
  D3DLOCKED_RECT locked = {};
  if (FAILED(texture->LockRect(0, &locked, &tile, 0)) || locked.pBits == nullptr) return false;
  for (int y = 0; y < glyph.height; ++y) {
    uint32_t *out = reinterpret_cast<uint32_t *>(static_cast<uint8_t *>(locked.pBits) + size_t(locked.Pitch) * y);
    const uint32_t *in = renderer_->canvas + size_t(pad + glyph.offsetY + y) * CanvasSize + pad + glyph.offsetX;
    for (int x = 0; x < glyph.width; ++x) out[x] = ((in[x] >> 8) & 0xFF) << 24 | 0xFFFFFF;
  }
  texture->UnlockRect(0);
  glyph.page = page;
  glyph.u = u;
  glyph.v = v;
  glyph.generation = renderer_->generation;
  return true;
}

Glyph &FontObject::FindGlyph(uint32_t code) {
  uint64_t key = id_ << 32 | code;
  auto found = renderer_->glyphs.find(key);
  if (found != renderer_->glyphs.end()) return found->second;
  Glyph glyph;
  int pad = 0;
  RasteriseGlyph(code, glyph, pad);
  return renderer_->glyphs.emplace(key, glyph).first->second;
}

void FontObject::FlushBatch() {
  if (renderer_->batchCount == 0) return;
  device_->SetTexture(0, renderer_->pages[renderer_->batchPage]);
  device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(renderer_->batchCount / 3), renderer_->batch,
                           sizeof(GlyphVertex));
  renderer_->batchCount = 0;
}

// One quad for a glyph's inked box, cut to the clip rectangle. Pixel centres sit on
// whole coordinates, so edges go half a pixel before them and texels map one to one.
void FontObject::AddQuad(const Glyph &glyph, int penX, int lineTop, const RECT &clip, D3DCOLOR colour) {
  int x0 = penX + glyph.offsetX, y0 = lineTop + glyph.offsetY;
  int x1 = x0 + glyph.width, y1 = y0 + glyph.height;
  int u0 = glyph.u, v0 = glyph.v;
  if (x0 < clip.left) u0 += clip.left - x0, x0 = clip.left;
  if (y0 < clip.top) v0 += clip.top - y0, y0 = clip.top;
  if (x1 > clip.right) x1 = clip.right;
  if (y1 > clip.bottom) y1 = clip.bottom;
  if (x0 >= x1 || y0 >= y1) return;
  if (glyph.page != renderer_->batchPage || renderer_->batchCount + 6 > BatchGlyphs * 6) {
    FlushBatch();
    renderer_->batchPage = glyph.page;
  }
  const float scale = 1.0f / CanvasSize;
  float left = float(x0) - 0.5f, top = float(y0) - 0.5f, right = float(x1) - 0.5f, bottom = float(y1) - 0.5f;
  float uLeft = float(u0) * scale, vTop = float(v0) * scale;
  float uRight = float(u0 + (x1 - x0)) * scale, vBottom = float(v0 + (y1 - y0)) * scale;
  GlyphVertex *q = renderer_->batch + renderer_->batchCount;
  q[0] = {left, top, 0.0f, 1.0f, colour, uLeft, vTop};
  q[1] = {right, top, 0.0f, 1.0f, colour, uRight, vTop};
  q[2] = {left, bottom, 0.0f, 1.0f, colour, uLeft, vBottom};
  q[3] = q[1];
  q[4] = {right, bottom, 0.0f, 1.0f, colour, uRight, vBottom};
  q[5] = q[2];
  renderer_->batchCount += 6;
}

INT FontObject::DrawTextA(LPCSTR text, INT count, LPRECT rect, DWORD format, D3DCOLOR colour) {
  static bool saidFormat, saidLength;
  constexpr DWORD Supported = DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM | DT_SINGLELINE | DT_NOCLIP |
                              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS;
  if (text == nullptr || rect == nullptr || count < -1) return 0;
  if (format & ~Supported) SayOnce(saidFormat, "DrawTextA ignores word breaks, tab stops and external leading");
  size_t length = count == -1 ? std::strlen(text) : size_t(count);
  bool japanese = logFont_.lfCharSet == SHIFTJIS_CHARSET;

  // Character codes line by line, as GDI splits them: a Shift-JIS lead byte takes the
  // next byte with it, CR, LF and CR LF end a line, "&&" is one ampersand and a single
  // '&' only marks the next letter.
  constexpr uint32_t LineEnd = 0xFFFFFFFF;
  uint32_t codes[512];
  size_t codeCount = 0, at = 0;
  for (; at < length && codeCount < std::size(codes); ++at) {
    uint8_t byte = uint8_t(text[at]);
    if (byte == 0) {
      at = length;
      break;
    }
    if (!(format & DT_SINGLELINE) && (byte == '\r' || byte == '\n')) {
      if (byte == '\r' && at + 1 < length && text[at + 1] == '\n') ++at;
      codes[codeCount++] = LineEnd;
      continue;
    }
    if (byte == '&' && !(format & DT_NOPREFIX)) {
      if (at + 1 < length && text[at + 1] == '&') ++at;
      else continue;
    }
    bool lead = japanese && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
    if (lead && at + 1 < length && text[at + 1] != 0) {
      codes[codeCount++] = uint32_t(byte) << 8 | uint8_t(text[at + 1]);
      ++at;
    } else {
      codes[codeCount++] = byte;
    }
  }
  if (at < length && text[at] != 0) {
    SayOnce(saidLength, "strings longer than 512 characters are cut short");
  }

  // Every glyph's metrics (measured once per font and character), then the line widths.
  Glyph *laid[std::size(codes)];
  for (size_t k = 0; k < codeCount; ++k) {
    laid[k] = codes[k] == LineEnd ? nullptr : &FindGlyph(codes[k] == '\t' ? ' ' : codes[k]);
  }
  auto advanceOf = [&](size_t i) {
    if (codes[i] == '\t' && (format & DT_EXPANDTABS)) return 8 * laid[i]->advance;
    return laid[i]->advance;
  };
  int lines = 1, widest = 0, width = 0;
  for (size_t i = 0; i <= codeCount; ++i) {
    if (i == codeCount || codes[i] == LineEnd) {
      if (width > widest) widest = width;
      width = 0;
      if (i < codeCount) ++lines;
      continue;
    }
    width += advanceOf(i);
  }
  int textHeight = lines * cellHeight_;
  int top = 0;
  if (!PlaceTextBox(*rect, format, widest, textHeight, top)) return textHeight;
  RECT clip = {-(1 << 20), -(1 << 20), 1 << 20, 1 << 20};
  if (!(format & DT_NOCLIP)) clip = *rect;
  if (clip.left >= clip.right || clip.top >= clip.bottom) return textHeight;

  if (renderer_->insideBegin == 0) EnterTextStates();
  renderer_->batchCount = 0;
  renderer_->batchPage = -1;
  size_t start = 0;
  for (int line = 0; line < lines; ++line) {
    size_t end = start;
    int lineWidth = 0;
    while (end < codeCount && codes[end] != LineEnd) lineWidth += advanceOf(end++);
    int x = LineStart(*rect, format, lineWidth);
    int lineTop = top + line * cellHeight_;
    for (size_t i = start; i < end; ++i) {
      Glyph &glyph = *laid[i];
      bool placed = glyph.ink && codes[i] != '\t' &&
                    (glyph.generation == renderer_->generation || PlaceGlyph(codes[i], glyph));
      if (placed) AddQuad(glyph, x, lineTop, clip, colour);
      x += advanceOf(i);
    }
    start = end + 1;
  }
  FlushBatch();
  if (renderer_->insideBegin == 0) LeaveTextStates();
  return textHeight;
}

INT FontObject::DrawTextW(LPCWSTR text, INT count, LPRECT rect, DWORD format, D3DCOLOR colour) {
  if (text == nullptr || rect == nullptr || count < -1) return 0;
  size_t length = count == -1 ? std::wcslen(text) : size_t(count);
  std::string narrow;
  const bool shiftJis = logFont_.lfCharSet == SHIFTJIS_CHARSET;
#ifdef _WIN32
  // The system converts to the font's code page; what it cannot show becomes '?'.
  if (length > 0) {
    const UINT codePage = shiftJis ? 932 : 1252;
    const int bytes = WideCharToMultiByte(codePage, 0, text, int(length), nullptr, 0, "?", nullptr);
    narrow.resize(bytes > 0 ? size_t(bytes) : 0);
    if (bytes > 0) WideCharToMultiByte(codePage, 0, text, int(length), narrow.data(), bytes, "?", nullptr);
  }
#else
  static iconv_t converters[2] = {iconv_t(-1), iconv_t(-1)};
  static bool opened[2];
  int which = shiftJis ? 0 : 1;
  if (!opened[which]) {
    opened[which] = true;
    converters[which] = iconv_open(which == 0 ? "CP932" : "CP1252", "WCHAR_T");
  }
  iconv_t converter = converters[which];
  for (size_t i = 0; i < length; ++i) {
    wchar_t c = text[i];
    if (c >= 0 && c < 0x80) {
      narrow.push_back(char(c));
      continue;
    }
    char out[8];
    char *in = reinterpret_cast<char *>(&c), *outPointer = out;
    size_t inLeft = sizeof c, outLeft = sizeof out;
    if (converter != iconv_t(-1) && iconv(converter, &in, &inLeft, &outPointer, &outLeft) != size_t(-1)) {
      narrow.append(out, outPointer);
    } else {
      narrow.push_back('?');
    }
  }
#endif
  return DrawTextA(narrow.c_str(), INT(narrow.size()), rect, format, colour);
}

}  // namespace

HRESULT WINAPI D3DXCreateFontIndirect(IDirect3DDevice8 *device, const LOGFONTA *logFont, ID3DXFont **font) {
  if (device == nullptr || logFont == nullptr || font == nullptr) return D3DERR_INVALIDCALL;
  TextRenderer *renderer = AcquireRenderer(device);
  if (renderer == nullptr) return E_OUTOFMEMORY;
  HFONT gdiFont = CreateFontIndirectA(logFont);
  if (gdiFont == nullptr) {
    ReleaseRenderer(renderer);
    return E_OUTOFMEMORY;
  }
  FontObject *made = new (std::nothrow) FontObject(device, renderer, gdiFont, *logFont);
  if (made == nullptr) {
    DeleteObject(gdiFont);
    ReleaseRenderer(renderer);
    return E_OUTOFMEMORY;
  }
  *font = made;
  return D3D_OK;
}
