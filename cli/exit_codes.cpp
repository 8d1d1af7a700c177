#include "cli/exit_codes.h"

int ExitCodeOf(const Outcome& outcome) {
  if (outcome.trouble) return 2;
  if (outcome.findings) return 1;
  return 0;
}

std::string ExitCodesText() {
  std::string text = "Exit codes:";
  for (const ExitCode& exit : kExitCodes) text += "\n  " + std::to_string(exit.code) + "  " + exit.meaning;
  return text;
}
