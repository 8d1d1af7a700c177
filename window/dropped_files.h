#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

// The full paths of the files in a shell drop (WM_DROPFILES), in the order
// given; the drop is finished on return. shell32 is loaded on the first drop,
// so that start-up does not pay for it.
std::vector<std::wstring> TakeDroppedFiles(HDROP drop);
