#pragma once

#include <string>
#include <string_view>

#include "vendor/edit_state.h"
#include "window/main_view.h"

// Typing a new MAC or SN after a click on its line.

enum class Verdict {
  empty,     // nothing left after the separators went: ignore silently
  refused,   // wrong characters or wrong length
  accepted,  // value holds the cleaned, uppercase text
};

struct Cleaned {
  Verdict verdict;
  std::wstring value;
};

// Removes ":", "：" and " ", uppercases a-z, and checks the characters and
// the length: 12 hexadecimal digits for a MAC, 13 letters or digits for an SN.
Cleaned CleanMac(std::wstring_view typed);
Cleaned CleanSn(std::wstring_view typed);

// Makes a cleaned MAC or SN the pending edit of its kind, with its check
// value, which they give back.
std::wstring PendMac(EditState& state, std::wstring_view twelveDigits);
std::wstring PendSn(EditState& state, std::wstring_view sn);

void MAC_Click(MainView& view, EditState& state);
void SN_Click(MainView& view, EditState& state);
