// One heavy frame of the game (45 enemy sprites, 70 particles, 60 two-segment sparks,
// 8 sword-trail triangles and the power gauge's lines) drawn through the game's
// primitives on the reference device and on the hardware device, and the same frame
// drawn through SDL2's own renderer (SDL_RenderGeometry) as the peer, in the same run.
// Figures are printed as ratios against the peer. The hardware device and the SDL
// renderer on OpenGL need $DISPLAY (an X server with GLX); without it only the
// reference device and the SDL software renderer run.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <time.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>
#include "platform/d3d8/d3d8_readback.h"
#include "platform/platform.h"
#include "render/device.h"
#include "render/primitives.h"

namespace {

constexpr int Width = 800, Height = 600;
constexpr int WarmUpFrames = 30;

struct SpriteDraw {
  float x, y, angle, size;
  int cell, alpha;
};
struct LineDraw {
  float x1, y1, x2, y2;
  D3DCOLOR c1, c2;
};
struct TriangleDraw {
  float x[3], y[3];
  D3DCOLOR c[3];
};

// The frame, laid out once from a fixed seed.
struct HeavyFrame {
  std::vector<SpriteDraw> enemies, particles;
  std::vector<LineDraw> sparks, gauge;
  std::vector<TriangleDraw> trail;
  HeavyFrame() {
    unsigned seed = 12345;
    auto rnd = [&](float lo, float hi) {
      seed = seed * 214013u + 2531011u;
      return lo + (hi - lo) * (float)((seed >> 16) & 0x7FFF) / 32767.0f;
    };
    for (int i = 0; i < 45; ++i)
      enemies.push_back({rnd(20, 780), rnd(20, 580), rnd(0, 6.28f), rnd(16, 48), (int)rnd(0, 15.9f), 255});
    for (int i = 0; i < 70; ++i)
      particles.push_back({rnd(0, 800), rnd(0, 600), rnd(0, 6.28f), rnd(6, 24), (int)rnd(0, 15.9f), (int)rnd(60, 255)});
    for (int i = 0; i < 60; ++i) {
      float x = rnd(0, 800), y = rnd(0, 600), a = rnd(0, 6.28f), l = rnd(6, 20);
      float mx = x + std::cos(a) * l, my = y + std::sin(a) * l;
      sparks.push_back({x, y, mx, my, 0xFFFF80C0, 0xC0FF80C0});
      sparks.push_back({mx, my, mx + std::cos(a) * l, my + std::sin(a) * l, 0xC0FF80C0, 0x00FF80C0});
    }
    for (int i = 0; i < 8; ++i) {
      float hx = 300 + i * 12.0f, hy = 350 - i * 9.0f;
      D3DCOLOR c = ((D3DCOLOR)(200 - i * 24) << 24) | 0x80C0FF;
      trail.push_back({{hx, hx + 260 - i * 8.0f, hx + 220 - i * 8.0f}, {hy, hy - 180 + i * 5.0f, hy - 120}, {c, c, c & 0x00FFFFFF}});
    }
    for (int i = 0; i < 100; ++i)
      gauge.push_back({10.0f + i * 2, 585, 10.0f + i * 2, 595, 0xFF40FF40, 0xFF008000});
  }
};
const HeavyFrame heavy;

// A 256 x 256 sheet with a full mip chain: a soft disc in each of the 16 cells.
DWORD SheetTexel(int level, int x, int y) {
  int size = 256 >> level, cell = size / 4;
  if (cell < 1) return 0x80808080;
  float fx = (x % cell + 0.5f) / cell - 0.5f, fy = (y % cell + 0.5f) / cell - 0.5f;
  float r = std::sqrt(fx * fx + fy * fy) * 2.0f;
  int alpha = r >= 1.0f ? 0 : (int)(255 * (1.0f - r * r));
  int tint = (x / cell + 4 * (y / cell)) * 15;
  return (DWORD)alpha << 24 | (DWORD)(255 - tint) << 16 | (DWORD)(128 + tint / 2) << 8 | (DWORD)tint;
}

IDirect3DTexture8 *MakeSheet(IDirect3DDevice8 *d) {
  IDirect3DTexture8 *t = nullptr;
  if (FAILED(d->CreateTexture(256, 256, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t))) return nullptr;
  for (UINT level = 0; level < t->GetLevelCount(); ++level) {
    D3DSURFACE_DESC desc;
    t->GetLevelDesc(level, &desc);
    D3DLOCKED_RECT locked;
    t->LockRect(level, &locked, nullptr, 0);
    for (UINT y = 0; y < desc.Height; ++y)
      for (UINT x = 0; x < desc.Width; ++x)
        reinterpret_cast<DWORD *>(static_cast<BYTE *>(locked.pBits) + y * locked.Pitch)[x] = SheetTexel((int)level, (int)x, (int)y);
    t->UnlockRect(level);
  }
  return t;
}

// The frame as RenderFrame and DrawScene draw it.
void DrawHeavyFrame(IDirect3DDevice8 *d, IDirect3DTexture8 *sheet) {
  d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
  d->BeginScene();
  SetFrameStates(d);
  d->SetVertexShader(D3DFVF_SCREENVERTEX);
  for (const TriangleDraw &t : heavy.trail) DrawTriangle(t.x[0], t.y[0], t.x[1], t.y[1], t.x[2], t.y[2], t.c[0], t.c[1], t.c[2]);
  d->SetTexture(0, sheet);
  for (const SpriteDraw &s : heavy.enemies) DrawSprite(s.x, s.y, s.angle, s.size, s.cell, s.alpha);
  d->SetTexture(0, sheet);
  for (const SpriteDraw &s : heavy.particles) DrawSprite(s.x, s.y, s.angle, s.size, s.cell, s.alpha);
  for (const LineDraw &l : heavy.sparks) DrawLine(l.x1, l.y1, l.x2, l.y2, l.c1, l.c2);
  for (const LineDraw &l : heavy.gauge) DrawLine(l.x1, l.y1, l.x2, l.y2, l.c1, l.c2);
  d->EndScene();
  d->Present(nullptr, nullptr, nullptr, nullptr);
}

D3DPRESENT_PARAMETERS Params() {
  D3DPRESENT_PARAMETERS p = {};
  p.BackBufferWidth = Width;
  p.BackBufferHeight = Height;
  p.BackBufferFormat = D3DFMT_X8R8G8B8;
  p.BackBufferCount = 1;
  p.SwapEffect = D3DSWAPEFFECT_COPY;
  p.Windowed = TRUE;
  p.EnableAutoDepthStencil = TRUE;
  p.AutoDepthStencilFormat = D3DFMT_D16;
  return p;
}

// Borderless, so the client area is the 800 x 600 picture, as large as the peer's window.
// Each device has a window of its own, so that runs interleaved in any order never
// find a window in the state the other device left it in.
HWND GameWindow(D3DDEVTYPE type = D3DDEVTYPE_HAL) {
  static bool registered = [] {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "benchrender";
    return RegisterClassExA(&wc) != 0;
  }();
  (void)registered;
  auto make = [] {
    return CreateWindowExA(0, "benchrender", "bench", WS_POPUP | WS_VISIBLE, 0, 0, Width, Height, nullptr, nullptr,
                           nullptr, nullptr);
  };
  static HWND hardware = make(), reference = make();
  return type == D3DDEVTYPE_REF ? reference : hardware;
}

// One of our devices on a window (or off screen), with the sheet the heavy frame draws from.
struct DeviceSide {
  IDirect3D8 *d3d = nullptr;
  IDirect3DDevice8 *d = nullptr;
  IDirect3DTexture8 *sheet = nullptr;
  bool Open(D3DDEVTYPE type, HWND window) {
    d3d = Direct3DCreate8(120);
    D3DPRESENT_PARAMETERS p = Params();
    DWORD flags = type == D3DDEVTYPE_HAL ? D3DCREATE_HARDWARE_VERTEXPROCESSING : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    if (FAILED(d3d->CreateDevice(0, type, window, flags, &p, &d))) return false;
    device = d;
    sheet = MakeSheet(d);
    device = nullptr;
    return true;
  }
  ~DeviceSide() {
    if (sheet) sheet->Release();
    if (d) d->Release();
    if (d3d) d3d->Release();
  }
};

void RunDevice(benchmark::State &state, D3DDEVTYPE type, HWND window) {
  DeviceSide ours;
  if (!ours.Open(type, window)) return state.SkipWithError("device not available");
  device = ours.d;
  std::vector<DWORD> pixels((size_t)Width * Height);
  // The first frames compile the driver's shader variants and fill its caches; the
  // game pays that once, so neither side's timing includes it.
  for (int i = 0; i < WarmUpFrames; ++i) DrawHeavyFrame(ours.d, ours.sheet);
  for (auto _ : state) DrawHeavyFrame(ours.d, ours.sheet);
  // The picture is read once, outside the timing, so the work cannot be skipped.
  ReadBackPresented(ours.d, pixels.data(), Width, Height);
  benchmark::DoNotOptimize(pixels.data());
  device = nullptr;
}

void BM_ReferenceDevice(benchmark::State &state) { RunDevice(state, D3DDEVTYPE_REF, nullptr); }
void BM_ReferenceDeviceInWindow(benchmark::State &state) {
  if (std::getenv("DISPLAY") == nullptr) return state.SkipWithError("no display");
  RunDevice(state, D3DDEVTYPE_REF, GameWindow(D3DDEVTYPE_REF));
}
void BM_HardwareDevice(benchmark::State &state) {
  if (std::getenv("DISPLAY") == nullptr) return state.SkipWithError("no display");
  RunDevice(state, D3DDEVTYPE_HAL, GameWindow());
}

// The peer: the same frame through SDL_RenderGeometry, one call per primitive as the
// game issues them; lines through SDL's own line call (one colour each).
void DrawPeerFrame(SDL_Renderer *r, SDL_Texture *sheet) {
  SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
  SDL_RenderClear(r);
  auto colour = [](D3DCOLOR c) { return SDL_Color{(Uint8)(c >> 16), (Uint8)(c >> 8), (Uint8)c, (Uint8)(c >> 24)}; };
  for (const TriangleDraw &t : heavy.trail) {
    SDL_Vertex v[3];
    for (int i = 0; i < 3; ++i) v[i] = {{t.x[i], t.y[i]}, colour(t.c[i]), {0, 0}};
    SDL_RenderGeometry(r, nullptr, v, 3, nullptr, 0);
  }
  static const int quad[6] = {0, 1, 2, 0, 2, 3};
  static const float offsets[4] = {-0.785398f, 0.785398f, -3.926990f, -2.356194f};
  for (const auto *group : {&heavy.enemies, &heavy.particles})
    for (const SpriteDraw &s : *group) {
      float u0 = (s.cell % 4) * 0.25f, v0 = (s.cell / 4) * 0.25f;
      const float us[4] = {u0 + 0.25f, u0 + 0.25f, u0, u0}, vs[4] = {v0, v0 + 0.25f, v0 + 0.25f, v0};
      SDL_Vertex v[4];
      for (int i = 0; i < 4; ++i) {
        double theta = -s.angle + offsets[i];
        v[i] = {{(float)(s.x + std::cos(theta) * s.size), (float)(s.y + std::sin(theta) * s.size)},
                {255, 255, 255, (Uint8)s.alpha},
                {us[i], vs[i]}};
      }
      SDL_RenderGeometry(r, sheet, v, 4, quad, 6);
    }
  for (const auto *group : {&heavy.sparks, &heavy.gauge})
    for (const LineDraw &l : *group) {
      SDL_Color c = colour(l.c1);
      SDL_SetRenderDrawColor(r, c.r, c.g, c.b, c.a);
      SDL_RenderDrawLineF(r, l.x1, l.y1, l.x2, l.y2);
    }
  SDL_RenderPresent(r);
}

SDL_Texture *PeerSheet(SDL_Renderer *r) {
  SDL_Texture *t = SDL_CreateTexture(r, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, 256, 256);
  std::vector<Uint32> texels(256 * 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) texels[y * 256 + x] = SheetTexel(0, x, y);
  SDL_UpdateTexture(t, nullptr, texels.data(), 256 * 4);
  SDL_SetTextureBlendMode(t, SDL_BLENDMODE_BLEND);
  SDL_SetTextureScaleMode(t, SDL_ScaleModeLinear);
  return t;
}

int RenderDriverIndex(const char *name) {
  for (int i = 0; i < SDL_GetNumRenderDrivers(); ++i) {
    SDL_RendererInfo info;
    if (SDL_GetRenderDriverInfo(i, &info) == 0 && std::string(info.name) == name) return i;
  }
  return -1;
}

// The peer: an SDL renderer in a window of its own (presenting with SDL_RenderPresent as
// our devices present) or off screen, with its copy of the sheet.
struct PeerSide {
  SDL_Window *window = nullptr;
  SDL_Surface *target = nullptr;
  SDL_Renderer *r = nullptr;
  SDL_Texture *sheet = nullptr;
  bool OpenWindow(Uint32 windowFlags, const char *driver, Uint32 rendererFlags) {
    window = SDL_CreateWindow("peer", 0, 0, Width, Height, windowFlags);
    r = window ? SDL_CreateRenderer(window, RenderDriverIndex(driver), rendererFlags) : nullptr;
    return Finish();
  }
  bool OpenOffScreen() {
    target = SDL_CreateRGBSurfaceWithFormat(0, Width, Height, 32, SDL_PIXELFORMAT_ARGB8888);
    r = target ? SDL_CreateSoftwareRenderer(target) : nullptr;
    return Finish();
  }
  bool Finish() {
    if (r == nullptr) return false;
    SDL_SetRenderDrawBlendMode(r, SDL_BLENDMODE_BLEND);
    sheet = PeerSheet(r);
    return true;
  }
  ~PeerSide() {
    if (sheet) SDL_DestroyTexture(sheet);
    if (r) SDL_DestroyRenderer(r);
    if (window) SDL_DestroyWindow(window);
    if (target) SDL_FreeSurface(target);
  }
};

void RunPeer(benchmark::State &state, const PeerSide &peer) {
  for (int i = 0; i < WarmUpFrames; ++i) DrawPeerFrame(peer.r, peer.sheet);
  for (auto _ : state) DrawPeerFrame(peer.r, peer.sheet);
}

// A peer in a window of its own, through the named SDL render driver.
void RunPeerInWindow(benchmark::State &state, Uint32 windowFlags, const char *driver, Uint32 rendererFlags,
                     const char *missing) {
  if (std::getenv("DISPLAY") == nullptr) return state.SkipWithError("no display");
  GameWindow();   // brings SDL's video up
  PeerSide peer;
  if (!peer.OpenWindow(windowFlags, driver, rendererFlags)) return state.SkipWithError(missing);
  RunPeer(state, peer);
}

void BM_SdlRenderGeometryOpenGL(benchmark::State &state) {
  RunPeerInWindow(state, SDL_WINDOW_OPENGL, "opengl", SDL_RENDERER_ACCELERATED, "no OpenGL renderer");
}

void BM_SdlRenderGeometrySoftware(benchmark::State &state) {
  PeerSide peer;
  if (!peer.OpenOffScreen()) return state.SkipWithError("no software renderer");
  RunPeer(state, peer);
}

// The software peer as the reference device runs in a window: drawing into the
// window's surface and presenting it with SDL_RenderPresent, as ours presents.
void BM_SdlRenderGeometrySoftwareInWindow(benchmark::State &state) {
  RunPeerInWindow(state, SDL_WINDOW_BORDERLESS, "software", SDL_RENDERER_SOFTWARE,
                  "no software renderer for a window");
}

BENCHMARK(BM_SdlRenderGeometrySoftware)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SdlRenderGeometrySoftwareInWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceDevice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceDeviceInWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SdlRenderGeometryOpenGL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HardwareDevice)->Unit(benchmark::kMillisecond);

// The paired comparison: both sides set up at once and timed in alternating blocks of
// frames, each of our blocks against the peer's block next to it, so that a machine
// whose speed drifts (a shared host) moves both sides of every ratio alike. Prints the
// median and the spread (10th to 90th percentile) of the per-pair ratios of wall time
// and of CPU time on this thread.
double Now(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

struct Side {
  std::function<void()> frame;
  void Block(int frames, double *wall, double *cpu) const {
    const double w0 = Now(CLOCK_MONOTONIC), c0 = Now(CLOCK_THREAD_CPUTIME_ID);
    for (int i = 0; i < frames; ++i) frame();
    *wall = Now(CLOCK_MONOTONIC) - w0;
    *cpu = Now(CLOCK_THREAD_CPUTIME_ID) - c0;
  }
};

// A pair's median CPU time per frame on this thread, each side's.
struct Paired {
  double oursCpuMs, peerCpuMs;
};

Paired PrintPaired(const char *name, const Side &ours, const Side &peer, int rounds, int frames) {
  for (int i = 0; i < WarmUpFrames; ++i) {
    ours.frame();
    peer.frame();
  }
  std::vector<double> wall, cpu, oursCpu, peerCpu;
  for (int r = 0; r < rounds; ++r) {
    double ow, oc, pw, pc;
    // The order alternates too, so neither side always follows the other.
    if (r % 2 == 0) {
      ours.Block(frames, &ow, &oc);
      peer.Block(frames, &pw, &pc);
    } else {
      peer.Block(frames, &pw, &pc);
      ours.Block(frames, &ow, &oc);
    }
    wall.push_back(ow / pw);
    cpu.push_back(oc / pc);
    oursCpu.push_back(oc * 1e3 / frames);
    peerCpu.push_back(pc * 1e3 / frames);
  }
  auto at = [](std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v[(size_t)(q * (double)(v.size() - 1) + 0.5)];
  };
  const Paired result = {at(oursCpu, 0.5), at(peerCpu, 0.5)};
  std::printf("%-44s wall %.2f (%.2f-%.2f)  CPU %.2f (%.2f-%.2f)  CPU ms/frame %.3f : %.3f\n", name, at(wall, 0.5),
              at(wall, 0.1), at(wall, 0.9), at(cpu, 0.5), at(cpu, 0.1), at(cpu, 0.9), result.oursCpuMs,
              result.peerCpuMs);
  return result;
}

Side AsSide(DeviceSide &ours) {
  return Side{[&ours] {
    device = ours.d;
    DrawHeavyFrame(ours.d, ours.sheet);
    device = nullptr;
  }};
}

Side AsSide(PeerSide &peer) {
  return Side{[&peer] { DrawPeerFrame(peer.r, peer.sheet); }};
}

// A frame that is only cleared and presented: what every frame costs either side before
// anything is drawn (on a software OpenGL, mostly the driver's hand-over to its
// rasterizer threads and the round trips of the swap to the X server).
Side EmptySide(DeviceSide &ours) {
  return Side{[&ours] {
    ours.d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    ours.d->BeginScene();
    ours.d->EndScene();
    ours.d->Present(nullptr, nullptr, nullptr, nullptr);
  }};
}

Side EmptySide(PeerSide &peer) {
  return Side{[&peer] {
    SDL_SetRenderDrawColor(peer.r, 0, 0, 0, 255);
    SDL_RenderClear(peer.r);
    SDL_RenderPresent(peer.r);
  }};
}

// The three pairs, each with its own windows, one pair at a time.
void PairedComparison(int rounds, int frames) {
  std::printf("\nPaired, %d alternating blocks of %d frames each (ratio median, 10th-90th percentile):\n", rounds,
              frames);
  {
    DeviceSide ours;
    PeerSide peer;
    if (ours.Open(D3DDEVTYPE_REF, nullptr) && peer.OpenOffScreen())
      PrintPaired("reference device / SDL software", AsSide(ours), AsSide(peer), rounds, frames);
  }
  if (std::getenv("DISPLAY") == nullptr) return;
  {
    DeviceSide ours;
    PeerSide peer;
    if (ours.Open(D3DDEVTYPE_REF, GameWindow(D3DDEVTYPE_REF)) &&
        peer.OpenWindow(SDL_WINDOW_BORDERLESS, "software", SDL_RENDERER_SOFTWARE))
      PrintPaired("reference device in a window / SDL software", AsSide(ours), AsSide(peer), rounds, frames);
  }
  {
    DeviceSide ours;
    PeerSide peer;
    if (ours.Open(D3DDEVTYPE_HAL, GameWindow(D3DDEVTYPE_HAL)) &&
        peer.OpenWindow(SDL_WINDOW_OPENGL, "opengl", SDL_RENDERER_ACCELERATED)) {
      const Paired heavyFrame = PrintPaired("hardware device / SDL OpenGL", AsSide(ours), AsSide(peer), rounds, frames);
      const Paired emptyFrame =
          PrintPaired("  the same, cleared and presented only", EmptySide(ours), EmptySide(peer), rounds, frames);
      // What drawing the frame's contents costs each side beyond the empty frame.
      const double oursDrawing = heavyFrame.oursCpuMs - emptyFrame.oursCpuMs;
      const double peerDrawing = heavyFrame.peerCpuMs - emptyFrame.peerCpuMs;
      if (peerDrawing > 0)
        std::printf("%-44s CPU ms/frame %.3f : %.3f, ratio %.2f\n", "  the drawing alone (the difference)",
                    oursDrawing, peerDrawing, oursDrawing / peerDrawing);
    }
  }
}

// Keeps every run's CPU time so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run> &runs) override {
    // With repetitions the median stands for the benchmark, otherwise its one run.
    for (const Run &run : runs) {
      if (run.error_occurred || run.iterations == 0) continue;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      const std::string &name = run.run_name.function_name;
      if (run.run_type == Run::RT_Iteration && medians.count(name)) continue;
      if (run.run_type == Run::RT_Aggregate) medians[name] = true;
      cpu[name] = run.GetAdjustedCPUTime();
      wall[name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> cpu, wall;
  std::map<std::string, bool> medians;
};

}  // namespace

int main(int argc, char **argv) {
  // --paired ROUNDS (default 40; 0 leaves the paired comparison out) of --block FRAMES (default 20).
  int rounds = 40, frames = 20;
  for (int i = 1; i < argc; ++i) {
    const bool paired = std::strcmp(argv[i], "--paired") == 0, block = std::strcmp(argv[i], "--block") == 0;
    if ((paired || block) && i + 1 < argc) {
      (paired ? rounds : frames) = std::max(paired ? 0 : 1, std::atoi(argv[i + 1]));
      for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
      argc -= 2;
      --i;
    }
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto ratio = [&](const char *a, const char *b) {
    if (!reporter.cpu.count(a) || !reporter.cpu.count(b)) return;
    std::printf("%-30s / %-30s  CPU %.2f  wall %.2f\n", a, b, reporter.cpu[a] / reporter.cpu[b],
                reporter.wall[a] / reporter.wall[b]);
  };
  std::printf("\nRatios in this run (below 1: faster than the peer):\n");
  ratio("BM_HardwareDevice", "BM_SdlRenderGeometryOpenGL");
  ratio("BM_ReferenceDevice", "BM_SdlRenderGeometrySoftware");
  ratio("BM_ReferenceDeviceInWindow", "BM_SdlRenderGeometrySoftwareInWindow");
  if (reporter.wall.count("BM_ReferenceDevice"))
    std::printf("reference device: %.2f ms CPU, %.2f ms wall per frame (goal: under 4 ms)\n",
                reporter.cpu["BM_ReferenceDevice"], reporter.wall["BM_ReferenceDevice"]);
  if (rounds > 0) PairedComparison(rounds, frames);
  benchmark::Shutdown();
  return 0;
}
