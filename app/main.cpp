#include <windows.h>

#include "window/main_window.h"

// The manifest asks for common controls 6; the system loads them when the
// first button is made, so no InitCommonControlsEx is needed for buttons and
// labels.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  Main main(instance);
  main.Show(showCommand);
  return main.Run();
}
