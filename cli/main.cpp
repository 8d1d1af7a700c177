// quorvix-cli: the vendor-file rules of the window, for scripts.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/tool.h"
#include "files/system_files.h"
#include "files/utf8.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

// The console shows UTF-8 while the tool runs, and what it showed before after.
class Utf8Console {
 public:
  Utf8Console() : previous_(::GetConsoleOutputCP()) { ::SetConsoleOutputCP(CP_UTF8); }
  ~Utf8Console() { ::SetConsoleOutputCP(previous_); }
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  UINT previous_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const Utf8Console console;
  // Bytes go out as they are: UTF-8 with "\n", as on every other system.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(Utf8(argv[i]));
#else
int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
#endif
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  SystemFiles files;
  return RunTool(args, {files, stdout, stderr});
}
