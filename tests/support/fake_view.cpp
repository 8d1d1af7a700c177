#include "tests/support/fake_view.h"

#include <stdexcept>

#include "vendor/handlers/display_lines.h"

BoxAnswer FakeView::ShowMessage(const std::wstring& text, BoxStyle style, const wchar_t* title) {
  boxes.push_back({text, style, title ? std::optional<std::wstring>(title) : std::nullopt});
  if (style != BoxStyle::yesNoQuestion) return BoxAnswer::ok;
  if (answers.empty()) throw std::logic_error("unexpected question box");
  BoxAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::wstring FakeView::AskText(const std::wstring& prompt, const std::wstring& title,
                               const std::wstring& defaultText) {
  asked.push_back({prompt, title, defaultText});
  if (typed.empty()) throw std::logic_error("unexpected input box");
  std::wstring text = typed.front();
  typed.pop_front();
  return text;
}

std::optional<wchar_t> FakePlatform::ByteToChar(std::uint8_t byte) {
  if (leadBytes.count(byte)) return std::nullopt;
  return static_cast<wchar_t>(byte);  // Latin-1 stands in for the ANSI code page
}

std::wstring PendingMac(const EditState& state) {
  if (!state.NewMAC) return {};
  const std::uint8_t check = state.NewMAC->check();
  return AsciiWide(VendorLayout::HexText(state.NewMAC->mac()) + VendorLayout::HexText(std::span(&check, 1)));
}

std::wstring PendingSn(const EditState& state) { return state.NewSN ? AsciiWide(state.NewSN->sn()) : L""; }

std::wstring PendingSnCheck(const EditState& state) {
  return state.NewSN ? AsciiWide(state.NewSN->sum()) : L"";
}

std::optional<MacEdit> MacOf(const std::wstring& typed) { return EnterMac(typed).edit; }
std::optional<SnEdit> SnOf(const std::wstring& typed) { return EnterSn(typed).edit; }
