#include <windows.h>
#include <commctrl.h>

#include "window/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES;
  ::InitCommonControlsEx(&controls);

  Main main(instance);
  main.Show(showCommand);
  return main.Run();
}
