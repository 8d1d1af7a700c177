#include "tests/unit/fake_view.h"

#include <gtest/gtest.h>

BoxAnswer FakeView::ShowMessage(const std::wstring& text, BoxStyle style, const wchar_t* title) {
  boxes.push_back({text, style, title ? std::optional<std::wstring>(title) : std::nullopt});
  if (style != BoxStyle::yesNoQuestion) return BoxAnswer::ok;
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question box";
    return BoxAnswer::no;
  }
  BoxAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::wstring FakeView::AskText(const std::wstring& prompt, const std::wstring& title,
                               const std::wstring& defaultText) {
  asked.push_back({prompt, title, defaultText});
  if (typed.empty()) {
    ADD_FAILURE() << "unexpected input box";
    return {};
  }
  std::wstring text = typed.front();
  typed.pop_front();
  return text;
}

std::optional<wchar_t> FakeView::ByteToChar(std::uint8_t byte) {
  if (leadBytes.count(byte)) return std::nullopt;
  return static_cast<wchar_t>(byte);  // Latin-1 stands in for the ANSI code page
}
