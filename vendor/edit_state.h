#pragma once

#include <string>

// The file in use and the edits waiting for Update. One lives in the main
// window for as long as the window does.
struct EditState {
  std::wstring BinPath;   // never cleared once set
  std::wstring NewMAC;    // 12 hex digits + 2 check digits when a MAC is pending
  std::wstring NewSN;     // 13 characters when an SN is pending
  std::wstring NewSNChk;  // set and cleared together with NewSN

  bool MacPending() const { return NewMAC.size() == 14; }
  bool SnPending() const { return NewSN.size() == 13; }
  void ClearPending() {
    NewMAC.clear();
    NewSN.clear();
    NewSNChk.clear();
  }
};
