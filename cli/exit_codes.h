#pragma once

#include <string>

// What a command found, from which the exit code follows in one place.
struct Outcome {
  bool findings = false;  // check: a stored check is stale; set: the write failed
  bool trouble = false;   // a usage error, a refused value or file, standard output lost

  Outcome& operator|=(const Outcome& other) {
    findings |= other.findings;
    trouble |= other.trouble;
    return *this;
  }
};

struct ExitCode {
  int code;
  const char* meaning;
};

// The exit codes as scripts rely on them; the help's footer is made from
// this table, and the README shows it as the help does. Trouble wins over
// findings.
inline constexpr ExitCode kExitCodes[] = {
    {0,
     "show: every file read; check: every file consistent; set: written and\n"
     "     verified, or a clean dry run; assign: written, verified and recorded;\n"
     "     ledger: done"},
    {1,
     "check: a file's stored checks do not match its fields; set, assign: the\n"
     "     write failed (the message says whether the file was restored), or\n"
     "     its log line could not be written; assign: the write's end could not\n"
     "     be recorded (the unit stays reserved); ledger reconcile: a unit stays\n"
     "     reserved"},
    {2,
     "a usage error, a refused value, a file that could not be read or is not\n"
     "     a vendor file (set and assign wrote not one byte then, and assign\n"
     "     reserved nothing), a ledger refused (missing, no ledger, locked past\n"
     "     its timeout, a range used up or overlapping, values assigned\n"
     "     already), or standard output could not be written; wins over 1"},
};

int ExitCodeOf(const Outcome& outcome);

// The table as the help's footer shows it.
std::string ExitCodesText();
