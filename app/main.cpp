#include <windows.h>

#include "vendor/handlers/texts.h"
#include "window/main_window.h"

// The manifest asks for common controls 6; the system loads them when the
// first button is made, so no InitCommonControlsEx is needed for buttons and
// labels.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  Main main;
  if (Result<> created = main.Create(instance); !created) {
    ::MessageBoxW(nullptr, Texts::Describe(created.error()).c_str(), Texts::kFailureTitle,
                  MB_OK | MB_ICONERROR);
    return 1;
  }
  main.Show(showCommand);
  return main.Run();
}
