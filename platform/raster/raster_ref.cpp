// The reference device: a software rasterizer that follows Direct3D's rules. Pixel
// centres sit at integer coordinates; a pixel belongs to a triangle when its centre is
// inside, or on a top or left edge (so two triangles sharing an edge never both draw a
// pixel); lines draw one pixel per step along their major axis, the last one included
// when D3DRS_LASTPIXEL says so. Spans of the common cases (a sprite: bilinear or
// trilinear wrapped texels times the vertex colour, alpha-blended, depth less-or-equal)
// run through specialised loops; everything else takes the general per-pixel path.
#include "platform/raster/raster_ref.h"
#ifdef __EMSCRIPTEN__
#include "platform/drivers/web/web_page.h"
#else
#include <SDL.h>
#include "platform/drivers/sdl/sdl_window.h"
#endif
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>
#include "platform/raster/raster_depth.h"
#include "platform/user32/window_internal.h"
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// x / 255 rounded, exact for x up to 255 * 255 * 2.
inline uint32_t Div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

// Blends two texels channel by channel; f is the weight of b in 256ths (0..256).
__attribute__((always_inline)) inline uint32_t Lerp(uint32_t a, uint32_t b, uint32_t f) {
  uint32_t g = 256 - f;
  uint32_t rb = (((a & 0x00FF00FFu) * g + (b & 0x00FF00FFu) * f) >> 8) & 0x00FF00FFu;
  uint32_t ag = (((a >> 8) & 0x00FF00FFu) * g + ((b >> 8) & 0x00FF00FFu) * f) & 0xFF00FF00u;
  return rb | ag;
}

// Rounds half away from zero, as llround does, without a library call; values out of
// range (texture coordinates of a hostile vertex, a NaN) are held at a bound.
inline int64_t Round(double x) {
  if (!(x > -1.0e15)) return (int64_t)-1.0e15;
  if (!(x < 1.0e15)) return (int64_t)1.0e15;
  return (int64_t)(x + (x >= 0 ? 0.5 : -0.5));
}

// Clamps, with a NaN taken as the low bound.
inline double Clamp(double x, double lo, double hi) { return x >= lo ? (x <= hi ? x : hi) : lo; }

inline int64_t FloorDiv(int64_t a, int64_t b) {   // b > 0
  int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}
inline int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

inline int Address(int i, int size, uint8_t mode) {
  switch (mode) {
  case D3DTADDRESS_WRAP: return i & (size - 1);
  case D3DTADDRESS_MIRROR: {
    int m = i & (2 * size - 1);
    return m < size ? m : 2 * size - 1 - m;
  }
  default: return i < 0 ? 0 : (i >= size ? size - 1 : i);
  }
}

// One mip level as the sampler sees it; coordinates arrive in 16.16 texels of level 0
// and are shifted down to this level.
struct Level {
  const uint32_t *texels = nullptr;
  int width = 1, height = 1;
  int shiftU = 0, shiftV = 0;
};

// How a triangle samples its texture, decided once per triangle from its texel
// footprint (the derivatives are constant across an affine triangle).
struct Sampling {
  Level level[2];
  int levels = 0;        // 0: no texture, 1: one level, 2: two levels blended
  uint32_t mipWeight = 0;   // weight of level[1], 0..256
  bool linear = true;
  bool opaque = false;
  uint8_t addressU = D3DTADDRESS_WRAP, addressV = D3DTADDRESS_WRAP;
};

[[maybe_unused]] inline uint32_t FetchWrap(const Level &l, int x, int y) {
  return l.texels[(y & (l.height - 1)) * l.width + (x & (l.width - 1))];
}

#ifdef __SSE2__
// The same arithmetic as Lerp, four channels at a time: the two texels' channels are
// interleaved so that one multiply-add gives a (256 - f) + b f for each channel.
__attribute__((always_inline)) inline __m128i LerpWide(__m128i pairs, __m128i weights) {
  return _mm_srli_epi32(_mm_madd_epi16(pairs, weights), 8);
}
__attribute__((always_inline)) inline __m128i Weights(uint32_t f) {
  return _mm_set1_epi32((int)((f << 16) | (256 - f)));
}
__attribute__((always_inline)) inline __m128i TexelPair(uint32_t a, uint32_t b) {
  return _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128((int)a), _mm_cvtsi32_si128((int)b)), _mm_setzero_si128());
}
// Interleaves the 32-bit channels of two lerped results as 16-bit pairs.
__attribute__((always_inline)) inline __m128i ResultPair(__m128i a, __m128i b) {
  return _mm_unpacklo_epi16(_mm_packs_epi32(a, a), _mm_packs_epi32(b, b));
}
__attribute__((always_inline)) inline uint32_t Pack(__m128i c) {
  __m128i w = _mm_packs_epi32(c, c);
  return (uint32_t)_mm_cvtsi128_si32(_mm_packus_epi16(w, w));
}

// Bilinear sample of a wrapped level, left as four 32-bit channels.
__attribute__((always_inline)) inline __m128i BilinearWrapWide(const Level &l, int64_t u, int64_t v) {
  int64_t s = (u >> l.shiftU) - 32768, t = (v >> l.shiftV) - 32768;
  int x = (int)(s >> 16), y = (int)(t >> 16);
  uint32_t fx = (uint32_t)(s >> 8) & 255, fy = (uint32_t)(t >> 8) & 255;
  int x0 = x & (l.width - 1), x1 = (x + 1) & (l.width - 1);
  const uint32_t *row0 = l.texels + (y & (l.height - 1)) * l.width;
  const uint32_t *row1 = l.texels + ((y + 1) & (l.height - 1)) * l.width;
  __m128i wx = Weights(fx);
  __m128i top = LerpWide(TexelPair(row0[x0], row0[x1]), wx);
  __m128i bottom = LerpWide(TexelPair(row1[x0], row1[x1]), wx);
  return LerpWide(ResultPair(top, bottom), Weights(fy));
}

__attribute__((always_inline)) inline uint32_t BilinearWrap(const Level &l, int64_t u, int64_t v) {
  return Pack(BilinearWrapWide(l, u, v));
}

__attribute__((always_inline)) inline uint32_t TrilinearWrap(const Level &a, const Level &b, uint32_t weight, int64_t u,
                                                             int64_t v) {
  return Pack(LerpWide(ResultPair(BilinearWrapWide(a, u, v), BilinearWrapWide(b, u, v)), Weights(weight)));
}
#else
__attribute__((always_inline)) inline uint32_t BilinearWrap(const Level &l, int64_t u, int64_t v) {
  int64_t s = (u >> l.shiftU) - 32768, t = (v >> l.shiftV) - 32768;
  int x = (int)(s >> 16), y = (int)(t >> 16);
  uint32_t fx = (uint32_t)(s >> 8) & 255, fy = (uint32_t)(t >> 8) & 255;
  int x0 = x & (l.width - 1), x1 = (x + 1) & (l.width - 1);
  const uint32_t *row0 = l.texels + (y & (l.height - 1)) * l.width;
  const uint32_t *row1 = l.texels + ((y + 1) & (l.height - 1)) * l.width;
  return Lerp(Lerp(row0[x0], row0[x1], fx), Lerp(row1[x0], row1[x1], fx), fy);
}

inline uint32_t TrilinearWrap(const Level &a, const Level &b, uint32_t weight, int64_t u, int64_t v) {
  return Lerp(BilinearWrap(a, u, v), BilinearWrap(b, u, v), weight);
}
#endif

uint32_t SampleLevel(const Sampling &sm, const Level &l, int64_t u, int64_t v) {
  int64_t s = u >> l.shiftU, t = v >> l.shiftV;
  if (!sm.linear) {
    int x = Address((int)((s + 0) >> 16), l.width, sm.addressU);
    int y = Address((int)((t + 0) >> 16), l.height, sm.addressV);
    return l.texels[y * l.width + x];
  }
  s -= 32768;
  t -= 32768;
  int x = (int)(s >> 16), y = (int)(t >> 16);
  uint32_t fx = (uint32_t)(s >> 8) & 255, fy = (uint32_t)(t >> 8) & 255;
  int x0 = Address(x, l.width, sm.addressU), x1 = Address(x + 1, l.width, sm.addressU);
  int y0 = Address(y, l.height, sm.addressV), y1 = Address(y + 1, l.height, sm.addressV);
  const uint32_t *row0 = l.texels + y0 * l.width, *row1 = l.texels + y1 * l.width;
  return Lerp(Lerp(row0[x0], row0[x1], fx), Lerp(row1[x0], row1[x1], fx), fy);
}

uint32_t SampleGeneric(const Sampling &sm, int64_t u, int64_t v) {
  if (sm.levels == 0) return 0xFFFFFFFFu;
  uint32_t c = SampleLevel(sm, sm.level[0], u, v);
  if (sm.levels == 2) c = Lerp(c, SampleLevel(sm, sm.level[1], u, v), sm.mipWeight);
  return sm.opaque ? c | 0xFF000000u : c;
}

__attribute__((always_inline)) inline uint32_t Modulate(uint32_t a, uint32_t b) {
  // A white vertex colour (every sprite) leaves the texel's colour alone.
  if ((b & 0x00FFFFFFu) == 0x00FFFFFFu) return (a & 0x00FFFFFFu) | Div255((a >> 24) * (b >> 24)) << 24;
  return Div255((a >> 24) * (b >> 24)) << 24 | Div255(((a >> 16) & 255) * ((b >> 16) & 255)) << 16 |
         Div255(((a >> 8) & 255) * ((b >> 8) & 255)) << 8 | Div255((a & 255) * (b & 255));
}

inline bool Compare(uint8_t func, uint32_t value, uint32_t reference) {
  switch (func) {
  case D3DCMP_NEVER: return false;
  case D3DCMP_LESS: return value < reference;
  case D3DCMP_EQUAL: return value == reference;
  case D3DCMP_LESSEQUAL: return value <= reference;
  case D3DCMP_GREATER: return value > reference;
  case D3DCMP_NOTEQUAL: return value != reference;
  case D3DCMP_GREATEREQUAL: return value >= reference;
  default: return true;
  }
}

inline uint32_t BlendFactor(uint8_t factor, uint32_t channel, uint32_t src, uint32_t dst, int shift) {
  uint32_t sa = src >> 24, da = dst >> 24;
  uint32_t sc = (src >> shift) & 255, dc = (dst >> shift) & 255;
  (void)channel;
  switch (factor) {
  case D3DBLEND_ZERO: return 0;
  case D3DBLEND_ONE: return 255;
  case D3DBLEND_SRCCOLOR: return sc;
  case D3DBLEND_INVSRCCOLOR: return 255 - sc;
  case D3DBLEND_SRCALPHA: return sa;
  case D3DBLEND_INVSRCALPHA: return 255 - sa;
  case D3DBLEND_DESTALPHA: return da;
  case D3DBLEND_INVDESTALPHA: return 255 - da;
  case D3DBLEND_DESTCOLOR: return dc;
  case D3DBLEND_INVDESTCOLOR: return 255 - dc;
  default: return 255;
  }
}

// Div255 on the two 16-bit lanes of x (each at most 255 x 255).
__attribute__((always_inline)) inline uint32_t Div255Lanes(uint32_t x) {
  x += 0x00800080u;
  return ((x + ((x >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
}

// The common alpha blend: source alpha over the destination, every channel, two
// channels at a time.
__attribute__((always_inline)) inline uint32_t BlendSrcAlpha(uint32_t s, uint32_t d) {
  uint32_t a = s >> 24;
  if (a == 255) return s;
  if (a == 0) return d;
  uint32_t ia = 255 - a;
  uint32_t rb = Div255Lanes((s & 0x00FF00FFu) * a + (d & 0x00FF00FFu) * ia);
  uint32_t ag = Div255Lanes(((s >> 8) & 0x00FF00FFu) * a + ((d >> 8) & 0x00FF00FFu) * ia);
  return rb | ag << 8;
}

enum SampleKind { SampleNone, SampleBilinear, SampleTrilinear, SampleAny };
// The fast outputs: alpha blended or opaque, with the less-or-equal depth test and
// write, or (NoDepth) for a batch whose depth test cannot fail, drawn without it.
enum OutputKind { OutputBlend, OutputOpaque, OutputBlendNoDepth, OutputOpaqueNoDepth, OutputAny };

class ReferenceRaster final : public RasterDevice {
public:
  ReferenceRaster(HWND presentWindow) : window(presentWindow) {
#ifndef __EMSCRIPTEN__
    const char *driver = SDL_GetCurrentVideoDriver();
    onX11 = driver != nullptr && std::strcmp(driver, "x11") == 0;
#endif
  }
  ~ReferenceRaster() override {
#ifndef __EMSCRIPTEN__
    if (wrapper != nullptr) SDL_FreeSurface(wrapper);
#endif
  }

  bool Resize(int w, int h) override {
    width = w;
    height = h;
    color.assign((size_t)w * h, 0xFF000000u);
    backBuffer = color.data();
    depth.assign((size_t)w * h, 0xFFFF);
    depthRecord.Forget();
    presented.assign((size_t)w * h, 0xFF000000u);
    touched = true;
    frames = keptFrame = 0;
#ifndef __EMSCRIPTEN__
    if (wrapper != nullptr) SDL_FreeSurface(wrapper);
    wrapper = nullptr;
    drawn = nullptr;
    bound = false;
#endif
    return true;
  }

  void Clear(const RasterState &st, int count, const D3DRECT *rects, DWORD flags, uint32_t value, float z) override {
    uint16_t zv = (uint16_t)std::lround(std::clamp(z, 0.0f, 1.0f) * 65535.0f);
    Bind();
    if (flags & D3DCLEAR_TARGET) touched = true;
    D3DRECT whole = {st.clipLeft, st.clipTop, st.clipRight, st.clipBottom};
    if (flags & D3DCLEAR_ZBUFFER) {
      // A clear of the whole depth buffer starts the record of what it holds afresh, and
      // is itself only done once a draw needs the depths; any other puts in the depths
      // that draws have left out first.
      if (ClearsWholeTarget(st, count, rects, width, height)) {
        depthRecord.Start(zv);
        flags &= ~(DWORD)D3DCLEAR_ZBUFFER;
      } else {
        WriteLeftOutDepth();
      }
    }
    if (count == 0) {
      // The whole target: its depths, if asked for, are left to the record above.
      if (ClearsWholeTarget(st, 0, nullptr, width, height)) {
        if (flags & D3DCLEAR_TARGET) std::fill_n(backBuffer, color.size(), value);
        return;
      }
      count = 1;
      rects = &whole;
    }
    for (int i = 0; i < count; ++i) {
      int x0 = std::max<int>(rects[i].x1, st.clipLeft), x1 = std::min<int>(rects[i].x2, st.clipRight);
      int y0 = std::max<int>(rects[i].y1, st.clipTop), y1 = std::min<int>(rects[i].y2, st.clipBottom);
      x0 = std::max(x0, 0);
      y0 = std::max(y0, 0);
      x1 = std::min(x1, width);
      y1 = std::min(y1, height);
      if (x0 >= x1 || y0 >= y1) continue;
      for (int y = y0; y < y1; ++y) {
        if (flags & D3DCLEAR_TARGET) std::fill_n(&backBuffer[(size_t)y * width + x0], x1 - x0, value);
        if (flags & D3DCLEAR_ZBUFFER) std::fill_n(&depth[(size_t)y * width + x0], x1 - x0, zv);
      }
    }
  }

  void DrawTriangles(const RasterState &st, const RasterVertex *v, int count) override {
    Bind();
    touched = true;
    Rasterize(DepthState(st, v, count, false), v, count, false);
  }

  void DrawLines(const RasterState &st, const RasterVertex *v, int count) override {
    Bind();
    touched = true;
    Rasterize(DepthState(st, v, count, true), v, count, true);
  }

  void Present(HWND target) override {
    // The back buffer survives Present (the copy swap effect), so the picture is read
    // from it until something is drawn; only once the read-back has been used does
    // every Present keep a copy of its own.
    touched = false;
    frames += 1;
    if (keepPresented) {
      std::memcpy(presented.data(), backBuffer, color.size() * 4);
      keptFrame = frames;
    }
#ifdef __EMSCRIPTEN__
    // In the browser the picture goes to the page's canvas through its 2D context.
    WebPresentPixels(target, backBuffer, width, height);
  }
#else
    bound = false;
    SDL_Window *sdl = SdlWindowOf(target);
    if (sdl == nullptr) return;
    // Drawn in the window's own pixels: they only have to be shown. (Should the window
    // have changed size since, SDL refuses, and the next frame moves the picture out.)
    if (drawn != nullptr && sdl == SdlWindowOf(window)) {
      SDL_UpdateWindowSurface(sdl);
      return;
    }
    SDL_Surface *surface = SDL_GetWindowSurface(sdl);
    if (surface == nullptr) {
      if (!surfaceComplaint) std::fprintf(stderr, "d3d8: reference device cannot reach the window: %s\n", SDL_GetError());
      surfaceComplaint = true;
      return;
    }
    if (wrapper != nullptr && wrapper->pixels != backBuffer) {
      SDL_FreeSurface(wrapper);
      wrapper = nullptr;
    }
    if (wrapper == nullptr)
      wrapper = SDL_CreateRGBSurfaceWithFormatFrom(backBuffer, width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (wrapper == nullptr) return;
    SDL_SetSurfaceBlendMode(wrapper, SDL_BLENDMODE_NONE);
    // Scale into the window keeping the aspect ratio; the bands around stay black.
    SDL_Rect dest;
    if ((int64_t)surface->w * height > (int64_t)surface->h * width) {
      dest.h = surface->h;
      dest.w = (int)((int64_t)surface->h * width / height);
    } else {
      dest.w = surface->w;
      dest.h = (int)((int64_t)surface->w * height / width);
    }
    dest.x = (surface->w - dest.w) / 2;
    dest.y = (surface->h - dest.h) / 2;
    if (dest.w != surface->w || dest.h != surface->h) SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    Uint32 format = surface->format->format;
    if (dest.w == width && dest.h == height && (format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888) &&
        SDL_LockSurface(surface) == 0) {
      // The window keeps 32-bit xRGB pixels, as the picture does: rows are copied as they are.
      for (int y = 0; y < height; ++y)
        std::memcpy(static_cast<uint8_t *>(surface->pixels) + (size_t)(dest.y + y) * surface->pitch + (size_t)dest.x * 4,
                    &backBuffer[(size_t)y * width], (size_t)width * 4);
      SDL_UnlockSurface(surface);
    } else if (dest.w == width && dest.h == height)
      SDL_BlitSurface(wrapper, nullptr, surface, &dest);
    else
      SDL_BlitScaled(wrapper, nullptr, surface, &dest);
    SDL_UpdateWindowSurface(sdl);
  }
#endif

  bool ReadBack(uint32_t *pixels, int w, int h) override {
    if (w != width || h != height) return false;
    keepPresented = true;
    const uint32_t *picture;
    if (keptFrame == frames && frames > 0) picture = presented.data();
    else if (!touched && frames > 0) picture = backBuffer;
    else return false;
    for (size_t i = 0; i < presented.size(); ++i) pixels[i] = picture[i] | 0xFF000000u;
    return true;
  }

  void ForgetTexture(RasterTexture *) override {}
  const char *Describe() override { return "our software rasterizer"; }

private:
  // Chooses where the frame is drawn, at its first clear or draw. On X11 a window as
  // large as the picture, whose pixels are 32-bit xRGB rows without padding, is drawn
  // into directly: Present then has nothing to copy. Anything else (a scaled or full
  // screen window, another display system) draws into the device's own pixels, which
  // Present copies or scales into the window. The back buffer keeps its picture when it
  // moves between the two.
  void Bind() {
#ifndef __EMSCRIPTEN__
    if (bound) return;
    bound = true;
    SDL_Window *sdl = SdlWindowOf(window);
    SDL_Surface *surface = nullptr;
    if (sdl != nullptr && onX11) {
      int w = 0, h = 0;
      SDL_GetWindowSize(sdl, &w, &h);
      // A window that changed size gets new pixels at the next SDL_GetWindowSurface and
      // loses the old ones: the picture moves out while they are still there.
      if (drawn != nullptr && (w != drawn->w || h != drawn->h)) Leave();
      if (w == width && h == height) surface = SDL_GetWindowSurface(sdl);
    }
    const bool fits = surface != nullptr && surface->pixels != nullptr && surface->w == width &&
                      surface->h == height && surface->pitch == width * 4 &&
                      (surface->format->format == SDL_PIXELFORMAT_RGB888 ||
                       surface->format->format == SDL_PIXELFORMAT_ARGB8888);
    if (!fits) {
      if (drawn != nullptr) Leave();
      return;
    }
    if (drawn == surface && backBuffer == surface->pixels) return;
    // Into the window's pixels: from our own, the picture comes along. (Pixels that SDL
    // replaced without a change of size are gone; the new ones are drawn on as they are.)
    if (drawn == nullptr) std::memcpy(surface->pixels, color.data(), color.size() * 4);
    drawn = surface;
    backBuffer = static_cast<uint32_t *>(surface->pixels);
#endif
  }

#ifndef __EMSCRIPTEN__
  // Back to the device's own pixels, bringing the picture from the window's.
  void Leave() {
    std::memcpy(color.data(), backBuffer, color.size() * 4);
    backBuffer = color.data();
    drawn = nullptr;
  }
#endif

  void Rasterize(const RasterState &st, const RasterVertex *v, int count, bool lines) {
    Begin(st);
    if (lines)
      for (int i = 0; i + 1 < count; i += 2) Line(v[i], v[i + 1]);
    else
      for (int i = 0; i + 2 < count; i += 3) Triangle(v[i], v[i + 1], v[i + 2]);
  }

  // The state a batch is drawn with: without its depth test where it cannot fail (see
  // platform/raster_depth.h), which spares reading and writing the depth buffer. Depths
  // are compared as stored, 0 to 65535, give or take one for the rounding of a depth
  // stepped across a triangle.
  const RasterState &DepthState(const RasterState &st, const RasterVertex *v, int count, bool lines) {
    bool writeFirst = false;
    const RasterState &use = depthRecord.Consider(
        st, v, count, lines, [](float z) { return (double)Round(Clamp(z, 0.0, 1.0) * 65535.0); }, 1.0, &writeFirst);
    if (writeFirst) WriteLeftOutDepth();
    return use;
  }

  // Does the whole clear that waited and writes the depths of the batches drawn without
  // their test, in order; then draws test as asked until the next clear of the whole buffer.
  void WriteLeftOutDepth() {
    if (!depthRecord.Known()) return;
    if (depthRecord.ClearPending()) std::fill(depth.begin(), depth.end(), (uint16_t)depthRecord.Cleared());
    depthRecord.Replay([this](const RasterState &depthOnly, const RasterVertex *v, int count, bool lines) {
      Rasterize(depthOnly, v, count, lines);
    });
    depthRecord.Forget();
  }

  // Per-batch decisions that do not depend on the triangle.
  void Begin(const RasterState &st) {
    s = &st;
    texture = RasterUsesTexture(st) ? st.texture : nullptr;
    combine = ClassifyCombine(st);
    bool lequal = st.depthTest && st.depthFunc == D3DCMP_LESSEQUAL && st.depthWrite;
    bool plain = !st.alphaTest && st.colorWriteMask == 0xF;
    bool blend = st.blend && st.srcBlend == D3DBLEND_SRCALPHA && st.destBlend == D3DBLEND_INVSRCALPHA;
    bool opaque = !st.blend || (st.srcBlend == D3DBLEND_ONE && st.destBlend == D3DBLEND_ZERO);
    if (plain && lequal && blend) output = OutputBlend;
    else if (plain && lequal && opaque) output = OutputOpaque;
    else if (plain && !st.depthTest && blend) output = OutputBlendNoDepth;
    else if (plain && !st.depthTest && opaque) output = OutputOpaqueNoDepth;
    else output = OutputAny;
    clipLeft = std::max(0, st.clipLeft);
    clipTop = std::max(0, st.clipTop);
    clipRight = std::min(width, st.clipRight);
    clipBottom = std::min(height, st.clipBottom);
  }

  // Picks the levels and their weights from the texel footprint of one pixel step.
  void ChooseLevels(double dudx, double dvdx, double dudy, double dvdy, Sampling *sm) const {
    sm->levels = 0;
    if (texture == nullptr) return;
    const RasterTexture &t = *texture;
    auto level = [&](int i, Level *l) {
      l->texels = t.level[i];
      l->width = t.levelWidth[i];
      l->height = t.levelHeight[i];
      l->shiftU = 0;
      while ((t.width >> l->shiftU) > l->width) ++l->shiftU;
      l->shiftV = 0;
      while ((t.height >> l->shiftV) > l->height) ++l->shiftV;
    };
    const RasterLevels chosen = ChooseRasterLevels(*s, t, dudx, dvdx, dudy, dvdy);
    sm->opaque = t.opaque;
    sm->addressU = s->addressU;
    sm->addressV = s->addressV;
    sm->linear = chosen.linear;
    sm->levels = chosen.weight > 0 ? 2 : 1;
    sm->mipWeight = chosen.weight;
    level(chosen.first, &sm->level[0]);
    if (chosen.weight > 0) level(chosen.second, &sm->level[1]);
  }

  uint32_t CombineGeneric(uint32_t t, uint32_t d) const {
    auto arg = [&](RasterArg a) { return a == ArgTexture ? t : (a == ArgFactor ? s->textureFactor : d); };
    auto op = [&](RasterOp o, RasterArg a1, RasterArg a2) {
      if (o == OpSelect1) return arg(a1);
      if (o == OpSelect2) return arg(a2);
      return Modulate(arg(a1), arg(a2));
    };
    uint32_t c = op(s->colorOp, s->colorArg1, s->colorArg2);
    uint32_t a = op(s->alphaOp, s->alphaArg1, s->alphaArg2);
    return (c & 0x00FFFFFFu) | (a & 0xFF000000u);
  }

  // Depth, alpha test, blending and the write mask for one pixel of any state.
  void OutputGeneric(size_t index, uint32_t src, uint32_t z) {
    if (s->alphaTest && !Compare(s->alphaFunc, src >> 24, s->alphaRef)) return;
    if (s->depthTest) {
      if (!Compare(s->depthFunc, z, depth[index])) return;
      if (s->depthWrite) depth[index] = (uint16_t)z;
    }
    uint32_t dst = backBuffer[index];
    uint32_t out = src;
    if (s->blend) {
      out = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sf = BlendFactor(s->srcBlend, 0, src, dst, shift == 24 ? 24 : shift);
        uint32_t df = BlendFactor(s->destBlend, 0, src, dst, shift == 24 ? 24 : shift);
        uint32_t v = Div255(((src >> shift) & 255) * sf + ((dst >> shift) & 255) * df);
        out |= std::min<uint32_t>(v, 255) << shift;
      }
    }
    uint32_t mask = (s->colorWriteMask & 1 ? 0x00FF0000u : 0) | (s->colorWriteMask & 2 ? 0x0000FF00u : 0) |
                    (s->colorWriteMask & 4 ? 0x000000FFu : 0) | (s->colorWriteMask & 8 ? 0xFF000000u : 0);
    backBuffer[index] = (out & mask) | (dst & ~mask);
  }

  // One pixel with its attributes given directly (lines and perspective triangles).
  void ShadePixel(int x, int y, const Sampling &sm, double r, double g, double b, double a, double z, double u,
                  double v) {
    auto channel = [](double c) { return (uint32_t)Round(Clamp(c, 0.0, 255.0)); };
    uint32_t d = channel(a) << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
    uint32_t t = 0xFFFFFFFFu;
    if (sm.levels > 0 && texture != nullptr)
      t = SampleGeneric(sm, Round(u * texture->width * 65536.0), Round(v * texture->height * 65536.0));
    uint32_t src = CombineGeneric(t, d);
    uint32_t zi = (uint32_t)Round(Clamp(z, 0.0, 1.0) * 65535.0);
    OutputGeneric((size_t)y * width + x, src, zi);
  }

  // A span of an affine triangle: every attribute steps by a constant per pixel.
  struct Span {
    int32_t r, g, b, a, dr, dg, db, da;   // 8.16 colour channels
    int64_t z, dz;                        // 16.16 depth in 1/65535 units
    int64_t u, v, du, dv;                 // 16.16 texels of level 0
  };

  template <SampleKind SK, RasterCombine CK, OutputKind OK>
  void RunSpan(size_t index, int n, Span sp, const Sampling &sampling) {
    uint32_t *c = backBuffer + index;
    uint16_t *zb = depth.data() + index;
    // A local copy: the stores into the colour buffer could otherwise alias the level
    // sizes and force them to be read again for every pixel.
    const Sampling sm = sampling;
    for (int i = 0; i < n; ++i) {
      uint32_t d = (uint32_t)(sp.a >> 16) << 24 | (uint32_t)(sp.r >> 16) << 16 | (uint32_t)(sp.g >> 16) << 8 |
                   (uint32_t)(sp.b >> 16);
      uint32_t z = (uint32_t)(sp.z >> 16);
      uint32_t src;
      if constexpr (CK == CombineDiffuse) {
        src = d;
      } else {
        uint32_t t;
        if constexpr (SK == SampleNone) t = 0xFFFFFFFFu;
        else if constexpr (SK == SampleBilinear) t = BilinearWrap(sm.level[0], sp.u, sp.v);
        else if constexpr (SK == SampleTrilinear)
          t = TrilinearWrap(sm.level[0], sm.level[1], sm.mipWeight, sp.u, sp.v);
        else t = SampleGeneric(sm, sp.u, sp.v);
        if constexpr (SK == SampleBilinear || SK == SampleTrilinear)
          if (sm.opaque) t |= 0xFF000000u;
        if constexpr (CK == CombineModulate) src = Modulate(t, d);
        else src = CombineGeneric(t, d);
      }
      if constexpr (OK == OutputAny) {
        OutputGeneric(index + i, src, z);
      } else if constexpr (OK == OutputBlendNoDepth) {
        c[i] = BlendSrcAlpha(src, c[i]);
      } else if constexpr (OK == OutputOpaqueNoDepth) {
        c[i] = src;
      } else if (z <= zb[i]) {
        zb[i] = (uint16_t)z;
        if constexpr (OK == OutputBlend) c[i] = BlendSrcAlpha(src, c[i]);
        else c[i] = src;
      }
      sp.r += sp.dr;
      sp.g += sp.dg;
      sp.b += sp.db;
      sp.a += sp.da;
      sp.z += sp.dz;
      sp.u += sp.du;
      sp.v += sp.dv;
    }
  }

  template <SampleKind SK, RasterCombine CK>
  void RunSpanOutput(size_t index, int n, const Span &sp, const Sampling &sm) {
    switch (output) {
    case OutputBlend: RunSpan<SK, CK, OutputBlend>(index, n, sp, sm); break;
    case OutputOpaque: RunSpan<SK, CK, OutputOpaque>(index, n, sp, sm); break;
    case OutputBlendNoDepth: RunSpan<SK, CK, OutputBlendNoDepth>(index, n, sp, sm); break;
    case OutputOpaqueNoDepth: RunSpan<SK, CK, OutputOpaqueNoDepth>(index, n, sp, sm); break;
    default: RunSpan<SK, CK, OutputAny>(index, n, sp, sm); break;
    }
  }

  template <SampleKind SK>
  void RunSpanCombine(size_t index, int n, const Span &sp, const Sampling &sm) {
    switch (combine) {
    case CombineDiffuse: RunSpanOutput<SampleNone, CombineDiffuse>(index, n, sp, sm); break;
    case CombineModulate: RunSpanOutput<SK, CombineModulate>(index, n, sp, sm); break;
    default: RunSpanOutput<SK, CombineAny>(index, n, sp, sm); break;
    }
  }

  void Triangle(const RasterVertex &p0, const RasterVertex &p1, const RasterVertex &p2) {
    const RasterVertex *v[3] = {&p0, &p1, &p2};
    for (auto *q : v)
      if (!(std::fabs(q->x) < 1.0e6f && std::fabs(q->y) < 1.0e6f)) return;   // also drops NaN
    // Positions snapped to 1/256 pixel.
    int64_t X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
      X[i] = Round((double)v[i]->x * 256.0);
      Y[i] = Round((double)v[i]->y * 256.0);
    }
    int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
    if (area == 0) return;
    if (area < 0) {
      std::swap(v[1], v[2]);
      std::swap(X[1], X[2]);
      std::swap(Y[1], Y[2]);
    }
    struct Edge {
      int64_t dx, dy, ax, ay;
      int64_t bias;
    } edge[3];
    for (int i = 0; i < 3; ++i) {
      int j = (i + 1) % 3;
      Edge &e = edge[i];
      e.dx = X[j] - X[i];
      e.dy = Y[j] - Y[i];
      e.ax = X[i];
      e.ay = Y[i];
      bool topLeft = e.dy < 0 || (e.dy == 0 && e.dx > 0);
      e.bias = topLeft ? 0 : 1;
    }
    int64_t minY = std::min({Y[0], Y[1], Y[2]}), maxY = std::max({Y[0], Y[1], Y[2]});
    int64_t minX = std::min({X[0], X[1], X[2]}), maxX = std::max({X[0], X[1], X[2]});
    int y0 = (int)std::max<int64_t>(CeilDiv(minY, 256), clipTop);
    int y1 = (int)std::min<int64_t>(FloorDiv(maxY, 256), clipBottom - 1);
    int xLo = (int)std::max<int64_t>(CeilDiv(minX, 256), clipLeft);
    int xHi = (int)std::min<int64_t>(FloorDiv(maxX, 256), clipRight - 1);
    if (y0 > y1 || xLo > xHi) return;

    // Attribute planes from the unsnapped positions: value = a0 + ddx (x - x0) + ddy (y - y0).
    double x0 = v[0]->x, yv0 = v[0]->y;
    double ex1 = v[1]->x - x0, ey1 = v[1]->y - yv0, ex2 = v[2]->x - x0, ey2 = v[2]->y - yv0;
    double det = ex1 * ey2 - ex2 * ey1;
    if (det == 0) return;
    struct Plane {
      double a0, ddx, ddy;
      double At(double x, double y, double px, double py) const { return a0 + ddx * (x - px) + ddy * (y - py); }
    };
    auto plane = [&](double a0, double a1, double a2) {
      double d1 = a1 - a0, d2 = a2 - a0;
      return Plane{a0, (d1 * ey2 - d2 * ey1) / det, (d2 * ex1 - d1 * ex2) / det};
    };
    auto ch = [](const RasterVertex *q, int shift) { return (double)((q->diffuse >> shift) & 255); };
    bool perspective = v[0]->rhw != v[1]->rhw || v[0]->rhw != v[2]->rhw;
    double w0 = perspective ? v[0]->rhw : 1.0, w1 = perspective ? v[1]->rhw : 1.0, w2 = perspective ? v[2]->rhw : 1.0;
    Plane pr = plane(ch(v[0], 16) * w0, ch(v[1], 16) * w1, ch(v[2], 16) * w2);
    Plane pg = plane(ch(v[0], 8) * w0, ch(v[1], 8) * w1, ch(v[2], 8) * w2);
    Plane pb = plane(ch(v[0], 0) * w0, ch(v[1], 0) * w1, ch(v[2], 0) * w2);
    Plane pa = plane(ch(v[0], 24) * w0, ch(v[1], 24) * w1, ch(v[2], 24) * w2);
    Plane pz = plane(v[0]->z, v[1]->z, v[2]->z);
    Plane pu = plane(v[0]->u * w0, v[1]->u * w1, v[2]->u * w2);
    Plane pv = plane(v[0]->v * w0, v[1]->v * w1, v[2]->v * w2);
    Plane pw = plane(w0, w1, w2);

    Sampling sm;
    if (perspective) {
      // The footprint at the centre of the triangle stands for the whole of it.
      double cx = (v[0]->x + v[1]->x + v[2]->x) / 3.0, cy = (v[0]->y + v[1]->y + v[2]->y) / 3.0;
      double q = pw.At(cx, cy, x0, yv0), u = pu.At(cx, cy, x0, yv0) / q, vv = pv.At(cx, cy, x0, yv0) / q;
      ChooseLevels((pu.ddx - u * pw.ddx) / q, (pv.ddx - vv * pw.ddx) / q, (pu.ddy - u * pw.ddy) / q,
                   (pv.ddy - vv * pw.ddy) / q, &sm);
    } else {
      ChooseLevels(pu.ddx, pv.ddx, pu.ddy, pv.ddy, &sm);
    }
    SampleKind kind = SampleAny;
    if (sm.levels == 0) kind = SampleNone;
    else if (sm.linear && sm.addressU == D3DTADDRESS_WRAP && sm.addressV == D3DTADDRESS_WRAP)
      kind = sm.levels == 1 ? SampleBilinear : SampleTrilinear;
    double tw = texture != nullptr ? texture->width * 65536.0 : 0.0;
    double th = texture != nullptr ? texture->height * 65536.0 : 0.0;

    for (int y = y0; y <= y1; ++y) {
      int64_t py = (int64_t)y * 256;
      int64_t lo = xLo, hi = xHi;
      for (const Edge &e : edge) {
        // Inside when dx (py - ay) - dy (px - ax) >= bias, px = 256 x.
        int64_t c = e.dx * (py - e.ay) + e.dy * e.ax;
        int64_t a = -e.dy * 256;
        // The bound from a floating-point division, settled by the exact test.
        auto inside = [&](int64_t x) { return a * x + c >= e.bias; };
        if (a > 0) {
          int64_t x = (int64_t)std::ceil((double)(e.bias - c) / (double)a);
          while (!inside(x)) ++x;
          while (inside(x - 1)) --x;
          lo = std::max(lo, x);
        } else if (a < 0) {
          int64_t x = (int64_t)std::floor((double)(c - e.bias) / (double)-a);
          while (!inside(x)) --x;
          while (inside(x + 1)) ++x;
          hi = std::min(hi, x);
        } else if (c < e.bias) {
          hi = lo - 1;
        }
      }
      if (lo > hi) continue;
      int n = (int)(hi - lo + 1);
      size_t index = (size_t)y * width + (size_t)lo;
      if (perspective) {
        for (int x = (int)lo; x <= (int)hi; ++x) {
          double q = pw.At(x, y, x0, yv0);
          ShadePixel(x, y, sm, pr.At(x, y, x0, yv0) / q, pg.At(x, y, x0, yv0) / q, pb.At(x, y, x0, yv0) / q,
                     pa.At(x, y, x0, yv0) / q, pz.At(x, y, x0, yv0), pu.At(x, y, x0, yv0) / q,
                     pv.At(x, y, x0, yv0) / q);
        }
        continue;
      }
      // Start and end values clamped to their ranges; linear in between, so the whole
      // span stays in range without a test per pixel.
      double xs = (double)lo, xe = (double)hi;
      auto fixColour = [&](const Plane &p, int32_t *start, int32_t *step) {
        double s0 = Clamp(p.At(xs, y, x0, yv0), 0.0, 255.0), s1 = Clamp(p.At(xe, y, x0, yv0), 0.0, 255.0);
        *start = (int32_t)Round(s0 * 65536.0 + 32768.0);
        *step = n > 1 ? (int32_t)Round((s1 - s0) * 65536.0 / (n - 1)) : 0;
      };
      Span sp;
      fixColour(pr, &sp.r, &sp.dr);
      fixColour(pg, &sp.g, &sp.dg);
      fixColour(pb, &sp.b, &sp.db);
      fixColour(pa, &sp.a, &sp.da);
      double z0 = Clamp(pz.At(xs, y, x0, yv0), 0.0, 1.0) * 65535.0;
      double z1 = Clamp(pz.At(xe, y, x0, yv0), 0.0, 1.0) * 65535.0;
      sp.z = Round(z0 * 65536.0 + 32768.0);
      sp.dz = n > 1 ? Round((z1 - z0) * 65536.0 / (n - 1)) : 0;
      sp.u = Round(pu.At(xs, y, x0, yv0) * tw);
      sp.v = Round(pv.At(xs, y, x0, yv0) * th);
      sp.du = Round(pu.ddx * tw);
      sp.dv = Round(pv.ddx * th);
      switch (kind) {
      case SampleNone: RunSpanCombine<SampleNone>(index, n, sp, sm); break;
      case SampleBilinear: RunSpanCombine<SampleBilinear>(index, n, sp, sm); break;
      case SampleTrilinear: RunSpanCombine<SampleTrilinear>(index, n, sp, sm); break;
      default: RunSpanCombine<SampleAny>(index, n, sp, sm); break;
      }
    }
  }

  // Lines follow the diamond-exit rule as the hardware device applies it. A line is a
  // band one pixel wide along its major axis, between two caps across it; a pixel is lit
  // when its centre is inside the band, with the top-left rule for centres exactly on
  // an edge. The caps start at the ends and move back along the line, to the border of
  // their pixel behind them, where that is needed to light the first pixel when the line
  // leaves its diamond (|x - cx| + |y - cy| < 1/2) and to leave the last dark when the
  // line does not get out of its diamond before it ends. With D3DRS_LASTPIXEL the line
  // is first carried on by one step along its major axis, which lights its last pixel.
  // Positions are snapped to 1/256 pixel, as the triangles' corners are.
  void Line(const RasterVertex &a, const RasterVertex &b) {
    if (!(std::fabs(a.x) < 1.0e6f && std::fabs(a.y) < 1.0e6f && std::fabs(b.x) < 1.0e6f && std::fabs(b.y) < 1.0e6f))
      return;
    // The far end, carried on by one step in single precision as the hardware device
    // does; a point becomes a one-pixel line to its right.
    float endX = b.x, endY = b.y;
    if (s->lastPixel) {
      float fdx = b.x - a.x, fdy = b.y - a.y, major = std::max(std::fabs(fdx), std::fabs(fdy));
      if (major == 0) {
        endX += 1.0f;
      } else {
        float k = 1.0f / major;
        endX += fdx * k;
        endY += fdy * k;
      }
    }
    // Pixel centres on halves from here on; each end in (major, minor) coordinates.
    float x1 = a.x + 0.5f, y1 = a.y + 0.5f, x2 = endX + 0.5f, y2 = endY + 0.5f;
    if (x1 == x2 && y1 == y2) return;
    bool xMajor = std::fabs(x2 - x1) >= std::fabs(y2 - y1);
    float start0 = xMajor ? x1 : y1, start1 = xMajor ? y1 : x1, end0 = xMajor ? x2 : y2, end1 = xMajor ? y2 : x2;
    float travel0 = end0 - start0, travel1 = end1 - start1, slope = travel1 / travel0;
    auto frac = [](float v) { return v - std::floor(v); };
    // Where each end lies in its pixel, -1/2 to 1/2 from the centre.
    float startOff0 = frac(start0) - 0.5f, startOff1 = frac(start1) - 0.5f;
    float endOff0 = frac(end0) - 0.5f, endOff1 = frac(end1) - 0.5f;
    // An end exactly on the border after its pixel, across the line, going that way,
    // counts as at the far border of the pixel before.
    if (endOff1 == -0.5f && travel1 > 0) endOff1 = 0.5f;
    // Past the centre along the major axis; exactly on it counts as past for a flat line
    // going right and a steep line going up.
    auto past = [&](float off) { return off == 0 ? (xMajor ? travel0 > 0 : travel0 < 0) : (off > 0) == (travel0 > 0); };
    // Heading for the centre's row (flat) or column (steep) from this side of it; on the
    // centre line, or flat, the same preference.
    auto towards = [&](float off, float t) {
      return xMajor ? (off <= 0) != (t <= 0) : (off >= 0) != (t >= 0);
    };
    auto inDiamond = [](float off0, float off1) { return std::fabs(off0) + std::fabs(off1) < 0.5f; };
    // The diamond-exit rule's verdict on the end pixels. The first is lit when the line
    // starts inside its diamond, or before the centre and crosses the centre's column
    // (row) within the pixel. The last is lit when the line ends outside its diamond,
    // past the centre, having crossed it within the pixel.
    bool drawStart, drawEnd;
    if (inDiamond(startOff0, startOff1)) drawStart = true;
    else if (past(startOff0)) drawStart = false;
    else if (towards(startOff1, travel1)) drawStart = true;
    else {
      float cross = frac(start1) + startOff0 * slope;
      drawStart = cross > 0.0f && cross < 1.0f;
    }
    if (inDiamond(endOff0, endOff1) || !past(endOff0)) drawEnd = false;
    else if (!towards(endOff1, travel1)) drawEnd = true;
    else {
      float cross = frac(end1) + endOff0 * slope;
      drawEnd = cross < 1.0f && (xMajor ? cross > 0.0f : cross >= 0.0f);
    }
    // Whether the band with its caps right at the ends lights the end pixels already (a
    // centre exactly on a cap: lit at the left cap of a flat line, at the start of a
    // steep line going down and at the end of one going up); where that and the rule
    // disagree, the cap moves back to its pixel's border behind it.
    bool haveStart, haveEnd;
    if (xMajor) {
      haveStart = travel0 > 0 ? startOff0 <= 0 : startOff0 > 0;
      haveEnd = travel0 > 0 ? endOff0 > 0 : endOff0 <= 0;
    } else {
      haveStart = travel0 > 0 ? startOff0 < 0 : startOff0 >= 0;
      haveEnd = travel0 > 0 ? endOff0 >= 0 : endOff0 <= 0;
    }
    float back = travel0 > 0 ? -0.5f : 0.5f;
    float move1 = haveStart != drawStart ? back - startOff0 : 0.0f, move2 = haveEnd != drawEnd ? back - endOff0 : 0.0f;
    float offX1 = xMajor ? move1 : move1 * slope, offY1 = xMajor ? move1 * slope : move1;
    float offX2 = xMajor ? move2 : move2 * slope, offY2 = xMajor ? move2 * slope : move2;
    // The caps in 1/256 pixel, pixel centres on whole multiples of 256.
    auto snap = [](float v) { return (int64_t)std::nearbyint((v - 0.5f) * 256.0f); };
    int64_t sx = snap(x1 + offX1), sy = snap(y1 + offY1), ex = snap(x2 + offX2), ey = snap(y2 + offY2);
    // The band's four corners, wound the same way whichever way the line runs: along
    // the top from the right end, or down the left side from the top end.
    int64_t px[4], py[4];
    bool startFirst = xMajor ? sx >= ex : sy <= ey;   // the right end, or the top end, first
    int64_t ux = startFirst ? sx : ex, uy = startFirst ? sy : ey, vx = startFirst ? ex : sx, vy = startFirst ? ey : sy;
    if (xMajor) {
      px[0] = ux; py[0] = uy - 128; px[1] = vx; py[1] = vy - 128; px[2] = vx; py[2] = vy + 128; px[3] = ux; py[3] = uy + 128;
    } else {
      px[0] = ux - 128; py[0] = uy; px[1] = vx - 128; py[1] = vy; px[2] = vx + 128; py[2] = vy; px[3] = ux + 128; py[3] = uy;
    }
    auto inside = [&](int64_t qx, int64_t qy) {
      for (int i = 0; i < 4; ++i) {
        int j = (i + 1) & 3;
        int64_t dcdx = py[i] - py[j], dcdy = px[i] - px[j];
        int64_t e = dcdy * (qy - py[i]) - dcdx * (qx - px[i]);
        // The top-left rule: left edges and top edges hold the centres on them.
        bool edgeIn = dcdx < 0 || (dcdx == 0 && dcdy > 0);
        if (e < 0 || (e == 0 && !edgeIn)) return false;
      }
      return true;
    };
    Sampling sm;
    // Lines sample the top level: they have no footprint across.
    ChooseLevels(0, 0, 0, 0, &sm);
    auto ch = [](uint32_t c, int shift) { return (double)((c >> shift) & 255); };
    double length = xMajor ? (double)b.x - a.x : (double)b.y - a.y;
    // Column by column (row by row, steep) along the band; the band is a pixel wide, so
    // only the rows next to the line's own can hold a centre inside it.
    int64_t s0 = xMajor ? sx : sy, s1 = xMajor ? sy : sx, e0 = xMajor ? ex : ey, e1 = xMajor ? ey : ex;
    if (s0 == e0) return;
    int64_t firstC = std::max<int64_t>(CeilDiv(std::min(s0, e0), 256), xMajor ? clipLeft : clipTop);
    int64_t lastC = std::min<int64_t>(FloorDiv(std::max(s0, e0), 256), (xMajor ? clipRight : clipBottom) - 1);
    for (int64_t c = firstC; c <= lastC; ++c) {
      double minor = (double)s1 + (double)(c * 256 - s0) * (double)(e1 - s1) / (double)(e0 - s0);
      int64_t m = (int64_t)std::floor(minor / 256.0);
      for (int64_t r = m - 1; r <= m + 2; ++r) {
        int64_t gx = xMajor ? c : r, gy = xMajor ? r : c;
        if (!inside(gx * 256, gy * 256)) continue;
        int x = (int)gx, y = (int)gy;
        if (x < clipLeft || x >= clipRight || y < clipTop || y >= clipBottom) continue;
        double t = length != 0 ? std::clamp(((xMajor ? x : y) - (double)(xMajor ? a.x : a.y)) / length, 0.0, 1.0) : 0.0;
        auto lerp = [t](double p, double q) { return p + (q - p) * t; };
        ShadePixel(x, y, sm, lerp(ch(a.diffuse, 16), ch(b.diffuse, 16)), lerp(ch(a.diffuse, 8), ch(b.diffuse, 8)),
                   lerp(ch(a.diffuse, 0), ch(b.diffuse, 0)), lerp(ch(a.diffuse, 24), ch(b.diffuse, 24)),
                   lerp(a.z, b.z), lerp(a.u, b.u), lerp(a.v, b.v));
      }
    }
  }

  HWND window;
  int width = 0, height = 0;
  std::vector<uint32_t> color;        // the back buffer's own pixels
  uint32_t *backBuffer = nullptr;     // the pixels drawn into: `color`, or the window's own
  std::vector<uint16_t> depth;
  DepthRecord depthRecord;   // what the depth buffer holds, while known
  std::vector<uint32_t> presented;   // a copy of the last picture, once the read-back is used
  bool keepPresented = false;
  bool touched = true;                // drawn into since the last Present
  unsigned long frames = 0, keptFrame = 0;
#ifndef __EMSCRIPTEN__
  SDL_Surface *wrapper = nullptr;
  bool surfaceComplaint = false;
  bool onX11 = false;                 // SDL's video runs on X11 (the window's pixels can be drawn into)
  SDL_Surface *drawn = nullptr;       // the window surface that holds the back buffer, if one does
  bool bound = false;                 // this frame's back buffer has been chosen
#endif
  const RasterState *s = nullptr;
  const RasterTexture *texture = nullptr;
  RasterCombine combine = CombineAny;
  OutputKind output = OutputAny;
  int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;
};

}  // namespace

RasterDevice *CreateReferenceRaster(HWND window, int width, int height) {
  auto *raster = new ReferenceRaster(window);
  raster->Resize(width, height);
  return raster;
}
