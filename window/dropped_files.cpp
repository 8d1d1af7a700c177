#include "window/dropped_files.h"

#include <memory>
#include <type_traits>

namespace {

using DragQueryFileFn = UINT(WINAPI*)(HDROP, UINT, LPWSTR, UINT);
using DragFinishFn = void(WINAPI*)(HDROP);

struct LibraryFreer {
  void operator()(HMODULE module) const { ::FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

// From the system folder only, never from beside the program.
UniqueLibrary LoadShell32() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetSystemDirectoryW(path.data(), MAX_PATH));
  return UniqueLibrary(::LoadLibraryW((path + L"\\shell32.dll").c_str()));
}

template <class Function>
Function Shell32Function(const char* name) {
  static const UniqueLibrary shell32 = LoadShell32();
  FARPROC found = shell32 ? ::GetProcAddress(shell32.get(), name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

std::vector<std::wstring> TakeDroppedFiles(HDROP drop) {
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
