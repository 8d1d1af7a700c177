#pragma once

#include "vendor/edit_state.h"
#include "vendor/handlers/main_view.h"

// The Update button: writes the pending MAC and SN, with their check values,
// into the file in place after the user confirms. Success is reported only
// once the bytes are on the device and read back equal; a failure restores
// the fields and keeps the pending edits for another try.
void Command1_Click(MainView& view, Platform& platform, EditState& state);
