#include "window/runtime_functions.h"

#include "window/handles.h"

namespace {

template <class Function>
Function Lookup(HMODULE module, const char* name) {
  FARPROC found = module ? ::GetProcAddress(module, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

template <class Function>
Function User32Function(const char* name) {
  return Lookup<Function>(::GetModuleHandleW(L"user32.dll"), name);
}

// From the system folder only, never from beside the program.
UniqueLibrary LoadSystemLibrary(const wchar_t* name) {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetSystemDirectoryW(path.data(), MAX_PATH));
  return UniqueLibrary(::LoadLibraryW((path + L"\\" + name).c_str()));
}

template <class Function>
Function Shell32Function(const char* name) {
  static const UniqueLibrary shell32 = LoadSystemLibrary(L"shell32.dll");
  return Lookup<Function>(shell32.get(), name);
}

}  // namespace

UINT DpiOf(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow) return getDpiForWindow(window);
  WindowDC screen(nullptr);
  return static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSY));
}

SIZE FrameSizeFor(int width, int height, DWORD style, UINT dpi) {
  using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi = User32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  RECT frame{0, 0, width, height};
  if (adjustForDpi) {
    adjustForDpi(&frame, style, FALSE, 0, dpi);
  } else {
    ::AdjustWindowRectEx(&frame, style, FALSE, 0);
  }
  return {frame.right - frame.left, frame.bottom - frame.top};
}

std::vector<std::wstring> TakeDroppedFiles(HDROP drop) {
  using DragQueryFileFn = UINT(WINAPI*)(HDROP, UINT, LPWSTR, UINT);
  using DragFinishFn = void(WINAPI*)(HDROP);
  static const auto dragQueryFile = Shell32Function<DragQueryFileFn>("DragQueryFileW");
  static const auto dragFinish = Shell32Function<DragFinishFn>("DragFinish");
  std::vector<std::wstring> files;
  if (!dragQueryFile || !dragFinish) return files;

  struct Finish {
    HDROP drop;
    DragFinishFn finish;
    ~Finish() { finish(drop); }
  } finish{drop, dragFinish};

  files.resize(dragQueryFile(drop, 0xFFFFFFFF, nullptr, 0));
  for (UINT i = 0; i < files.size(); ++i) {
    std::wstring& path = files[i];
    path.resize(dragQueryFile(drop, i, nullptr, 0) + 1);
    path.resize(dragQueryFile(drop, i, path.data(), static_cast<UINT>(path.size())));
  }
  return files;
}
