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
     "     verified, or a clean dry run"},
    {1,
     "check: a file's stored checks do not match its fields; set: the write\n"
     "     failed (the message says whether the file was restored), or its log\n"
     "     line could not be written"},
    {2,
     "a usage error, a refused value, a file that could not be read or is not\n"
     "     a vendor file (set wrote not one byte then), or standard output could\n"
     "     not be written; wins over 1"},
};

int ExitCodeOf(const Outcome& outcome);

// The table as the help's footer shows it.
std::string ExitCodesText();
