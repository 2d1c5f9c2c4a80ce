// Direct3DCreate8 for the 64-bit Windows build: only a 32-bit import library for
// d3d8.dll ships with the cross compiler, so the game finds the system's d3d8.dll at
// run time instead. Without the DLL (or its entry point) it gets no Direct3D object,
// which the game reports as it would any failure to create one.
#include <windows.h>
#include <d3d8.h>

#include <cstdio>

IDirect3D8 *WINAPI Direct3DCreate8(UINT sdkVersion) {
  using Create = IDirect3D8 *(WINAPI *)(UINT);
  static HMODULE library = LoadLibraryA("d3d8.dll");  // kept loaded for the whole run
  if (!library) {
    const DWORD error = GetLastError();
    if (error != 0) {
      std::fprintf(stderr, "quillrun: cannot load d3d8.dll (error %lu)\n", error);
    } else {
      std::fprintf(stderr, "quillrun: cannot load d3d8.dll\n");
    }
    return nullptr;
  }
  FARPROC entry = GetProcAddress(library, "Direct3DCreate8");
  if (!entry) {
    std::fprintf(stderr, "quillrun: d3d8.dll has no Direct3DCreate8\n");
    return nullptr;
  }
  // Through the generic function pointer type, which converts to any other.
  return reinterpret_cast<Create>(reinterpret_cast<void (*)()>(entry))(sdkVersion);
}
