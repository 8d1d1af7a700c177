#include "window/runtime_functions.h"

// The annotation service's GUIDs are defined here, not taken from a library.
#include <initguid.h>
#include <oleacc.h>

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

template <class Function>
Function Ole32Function(const char* name) {
  static const UniqueLibrary ole32 = LoadSystemLibrary(L"ole32.dll");
  return Lookup<Function>(ole32.get(), name);
}

struct ComReleaser {
  void operator()(IUnknown* object) const { object->Release(); }
};

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

void AnnotateAsButton(HWND label, const wchar_t* action, const wchar_t* shortcut) {
  using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);
  using CoCreateInstanceFn = HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
  static const auto coInitializeEx = Ole32Function<CoInitializeExFn>("CoInitializeEx");
  static const auto coCreateInstance = Ole32Function<CoCreateInstanceFn>("CoCreateInstance");
  // The window's thread, once, for as long as the program runs.
  static const bool initialized =
      coInitializeEx && SUCCEEDED(coInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  if (!initialized || !coCreateInstance) return;

  IAccPropServices* found = nullptr;
  if (FAILED(coCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                              reinterpret_cast<void**>(&found)))) {
    return;
  }
  const std::unique_ptr<IAccPropServices, ComReleaser> services(found);
  // The annotations stay with the window after the service is released.
  VARIANT role{};
  role.vt = VT_I4;
  role.lVal = ROLE_SYSTEM_PUSHBUTTON;
  services->SetHwndProp(label, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_ROLE, role);
  services->SetHwndPropStr(label, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_DESCRIPTION,
                           action);
  services->SetHwndPropStr(label, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_KEYBOARDSHORTCUT,
                           shortcut);
}
