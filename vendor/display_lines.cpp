#include "vendor/display_lines.h"

std::wstring MacLine(std::wstring_view twelveDigits, std::wstring_view check) {
  std::wstring line = L"MAC:";
  line += twelveDigits;
  line += L"  效验:";
  line += check;
  return line;
}

std::wstring SnLine(std::wstring_view sn, std::wstring_view check) {
  std::wstring line = L"SN:";
  line += sn;
  line += L" CHK:";
  line += check;
  return line;
}
