#pragma once

#include <optional>
#include <string>

#include "vendor/entry.h"

// The file in use and the edits waiting to be written. The main window keeps
// one for as long as it lives; quorvix-cli makes one per call.
struct EditState {
  std::wstring BinPath;           // never cleared once set
  std::optional<MacEdit> NewMAC;  // a MAC with its check, when one is pending
  std::optional<SnEdit> NewSN;    // an SN with its check, when one is pending

  bool Pending() const { return NewMAC || NewSN; }
  void ClearPending() {
    NewMAC.reset();
    NewSN.reset();
  }
};
