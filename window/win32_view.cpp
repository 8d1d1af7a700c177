#include "window/win32_view.h"

#include <vector>

#include "window/control_ids.h"
#include "window/input_box.h"
#include "window/layout.h"
#include "window/win32_files.h"

namespace {

// Message boxes without a title of their own carry the application's.
constexpr wchar_t kApplicationTitle[] = L"Quorvix";

int ControlId(Label label) {
  if (label == Label::MAC) return IDC_MAC;
  if (label == Label::SN) return IDC_SN;
  return IDC_HINT;
}

}  // namespace

void Win32View::SetLine(Label label, const std::wstring& text) {
  HWND control = ::GetDlgItem(main_, ControlId(label));
  ::SetWindowTextW(control, text.c_str());
  FitLabelToText(control);
  ::SendMessageW(main_, kLineChanged, 0, 0);
}

void Win32View::SetUpdateEnabled(bool enabled) {
  HWND update = ::GetDlgItem(main_, IDC_UPDATE);
  // A disabled button with the focus would leave the keyboard stranded.
  if (!enabled && ::GetFocus() == update) ::SetFocus(::GetDlgItem(main_, IDC_EXIT));
  ::EnableWindow(update, enabled);
}

BoxAnswer Win32View::ShowMessage(const std::wstring& text, BoxStyle style, const std::wstring* title) {
  const int pressed = ::MessageBoxW(main_, text.c_str(), title ? title->c_str() : kApplicationTitle,
                                    static_cast<UINT>(style));
  switch (pressed) {
    case IDYES:
      return BoxAnswer::yes;
    case IDNO:
      return BoxAnswer::no;
    default:
      return BoxAnswer::ok;
  }
}

std::wstring Win32View::AskText(const std::wstring& prompt, const std::wstring& title,
                                const std::wstring& defaultText) {
  return AskInInputBox(main_, prompt, title, defaultText);
}

std::wstring Win32View::ProgramFolder() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // a long path: try again with room for it
  }
  std::wstring folder(path.begin(), path.end());
  folder.erase(folder.find_last_of(L'\\') + 1);
  if (folder.size() > 1 && folder[folder.size() - 2] != L':') folder.pop_back();
  return folder;
}

bool Win32View::FileExists(const std::wstring& path) { return NormalFileExists(path); }

Length Win32View::FileLength(const std::wstring& path) { return FileLengthOf(path); }

Opened Win32View::Open(const std::wstring& path, Access access) { return OpenFileFor(path, access); }

std::optional<wchar_t> Win32View::ByteToChar(std::uint8_t byte) {
  const char narrow = static_cast<char>(byte);
  wchar_t wide = 0;
  if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &narrow, 1, &wide, 1) != 1) {
    return std::nullopt;
  }
  return wide;
}
