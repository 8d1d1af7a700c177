#pragma once

#include "vendor/edit_state.h"
#include "vendor/handlers/main_view.h"

// A click on the MAC or SN line: asks for a new value and, when the entry
// takes it, makes it the pending edit of its kind and shows it on its line.
void MAC_Click(MainView& view, EditState& state);
void SN_Click(MainView& view, EditState& state);
