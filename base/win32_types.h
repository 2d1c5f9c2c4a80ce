// The basic Win32 types, handles and result codes that the game and the rest of the
// stand-in use, with the same names, sizes and values as the Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int BOOL;
typedef char CHAR;
typedef float FLOAT;
typedef int32_t HRESULT;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef const wchar_t *LPCWSTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef DWORD COLORREF;

#define TRUE 1
#define FALSE 0
#define WINAPI
#define CALLBACK
#define APIENTRY

// Handles are distinct opaque pointer types, as with STRICT on Windows.
#define QR_DECLARE_HANDLE(name) struct name##__; typedef struct name##__ *name
QR_DECLARE_HANDLE(HWND);
QR_DECLARE_HANDLE(HINSTANCE);
QR_DECLARE_HANDLE(HICON);
QR_DECLARE_HANDLE(HBRUSH);
QR_DECLARE_HANDLE(HMENU);
QR_DECLARE_HANDLE(HDC);
QR_DECLARE_HANDLE(HFONT);
QR_DECLARE_HANDLE(HBITMAP);
QR_DECLARE_HANDLE(HMONITOR);
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;
typedef void *HGDIOBJ;
typedef void *HANDLE;
typedef intptr_t (*FARPROC)();

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_FAIL ((HRESULT)0x80004005)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

struct RECT {
  LONG left, top, right, bottom;
};
typedef RECT *LPRECT;
typedef const RECT *LPCRECT;

struct POINT {
  LONG x, y;
};
typedef POINT *LPPOINT;

struct GUID {
  uint32_t Data1;
  uint16_t Data2, Data3;
  uint8_t Data4[8];
};
typedef const GUID &REFIID;
typedef const GUID &REFGUID;

// The root of the reference-counted interfaces (Direct3D 8 and the font object).
struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void **object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
protected:
  ~IUnknown() = default;
};
