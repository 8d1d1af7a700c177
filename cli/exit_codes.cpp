#include "cli/exit_codes.h"

Outcome OutcomeOf(const Failure& failure) {
  if (failure.cause == Failure::Cause::retry || failure.cause == Failure::Cause::inDoubt)
    return Outcome{.retry = true};
  return Outcome{.trouble = true};
}

int ExitCodeOf(const Outcome& outcome) {
  if (outcome.trouble) return 2;
  if (outcome.retry) return 3;
  if (outcome.findings) return 1;
  if (outcome.labelFailed) return 4;
  return 0;
}

std::string ExitCodesText() {
  std::string text = "Exit codes:";
  for (const ExitCode& exit : kExitCodes) text += "\n  " + std::to_string(exit.code) + "  " + exit.meaning;
  return text;
}
