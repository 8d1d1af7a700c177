#include "window/input_box.h"

#include <algorithm>

#include "window/control_ids.h"
#include "window/geometry.h"
#include "window/window_text.h"

namespace {

struct Request {
  const std::wstring& prompt;
  const std::wstring& title;
  const std::wstring& defaultText;
  std::wstring typed;
};

void CentreOver(HWND dialog, HWND owner) {
  RECT box{}, over{};
  ::GetWindowRect(dialog, &box);
  ::GetWindowRect(owner, &over);
  const RECT work = WorkAreaOf(owner);
  const LONG width = box.right - box.left, height = box.bottom - box.top;
  const LONG left =
      std::clamp((over.left + over.right - width) / 2, work.left, std::max(work.left, work.right - width));
  const LONG top =
      std::clamp((over.top + over.bottom - height) / 2, work.top, std::max(work.top, work.bottom - height));
  ::SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* request = reinterpret_cast<Request*>(lParam);
      ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      ::SetWindowTextW(dialog, request->title.c_str());
      ::SetDlgItemTextW(dialog, IDC_INPUT_PROMPT, request->prompt.c_str());
      HWND edit = ::GetDlgItem(dialog, IDC_INPUT_TEXT);
      ::SetWindowTextW(edit, request->defaultText.c_str());
      ::SendMessageW(edit, EM_SETSEL, 0, -1);
      CentreOver(dialog, ::GetWindow(dialog, GW_OWNER));
      ::SetFocus(edit);
      return FALSE;  // focus was set here
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: {
          auto* request = reinterpret_cast<Request*>(::GetWindowLongPtrW(dialog, DWLP_USER));
          request->typed = WindowText(::GetDlgItem(dialog, IDC_INPUT_TEXT));
          ::EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL:  // also Escape and the close box
          ::EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

std::wstring AskInInputBox(HWND owner, const std::wstring& prompt, const std::wstring& title,
                           const std::wstring& defaultText) {
  Request request{prompt, title, defaultText, {}};
  const INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_INPUT_BOX),
                                           owner, InputBoxProc, reinterpret_cast<LPARAM>(&request));
  return result == IDOK ? request.typed : std::wstring();
}
