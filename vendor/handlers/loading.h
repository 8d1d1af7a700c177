#pragma once

#include <string>
#include <vector>

#include "vendor/edit_state.h"
#include "vendor/handlers/main_view.h"

// Bringing a vendor file into the window: at start-up, and by a drop.

// Runs once, when the main window first becomes active: loads vendor.bin
// from the program's folder when it is there and has the vendor file size.
void Form_Activate(MainView& view, Platform& platform, EditState& state);

// Reads the file at state.BinPath and shows its fields; pending edits are
// dropped. When the file cannot be read, shows the system's description and
// leaves the lines and the pending edits as they were. True when loaded.
bool RedBin(MainView& view, Platform& platform, EditState& state);

// A drop of the given files onto the window.
void Form_OLEDragDrop(MainView& view, Platform& platform, EditState& state,
                      const std::vector<std::wstring>& files);
