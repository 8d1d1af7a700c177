#pragma once

#include <string>

#include "vendor/result.h"

// What a command found, from which the exit code follows in one place.
struct Outcome {
  bool findings = false;     // check: a stored check is stale; set, assign: the write failed; ...
  bool retry = false;        // nothing changed, and a later try may succeed: the ledger out of reach or busy
  bool trouble = false;      // a usage error, a refused value, file or ledger, standard output lost
  bool labelFailed = false;  // assign: the unit is written, its label could not be made or printed

  Outcome& operator|=(const Outcome& other) {
    findings |= other.findings;
    retry |= other.retry;
    trouble |= other.trouble;
    labelFailed |= other.labelFailed;
    return *this;
  }
};

// The outcome of a failure that ended a command's work.
Outcome OutcomeOf(const Failure& failure);

struct ExitCode {
  int code;
  const char* meaning;
};

// The exit codes as scripts rely on them; the help's footer is made from
// this table, and the README shows it as the help does. Trouble wins over
// retry, retry over findings, findings over a label that failed.
inline constexpr ExitCode kExitCodes[] = {
    {0,
     "show: every file read; check: every file consistent; set: written and\n"
     "     verified, or a clean dry run; assign: written, verified and recorded;\n"
     "     ledger: done (find: every value found); label: every label written\n"
     "     or printed"},
    {1,
     "check: a file's stored checks do not match its fields; set, assign: the\n"
     "     write failed (the message says whether the file was restored), or\n"
     "     its log line could not be written; assign: the write's end could not\n"
     "     be recorded (the unit stays reserved: the same assign again records\n"
     "     it); ledger reconcile: a unit stays reserved, or a file holds no\n"
     "     unit's values; ledger find: a value is no unit's; label --print: a\n"
     "     printer refused a label, was not ready or could not be reached (the\n"
     "     labels before it were printed)"},
    {2,
     "stop and look: a usage error, a refused value, a file that could not be\n"
     "     read or is not a vendor file, or (assign) backed up (set and assign\n"
     "     wrote not one byte then, and assign reserved nothing), a ledger\n"
     "     refused (missing or damaged, a range used up or overlapping, values a\n"
     "     unit has), or standard output could not be written; wins over 3 and 1"},
    {3,
     "try the same command again: the ledger could not be reached, or stayed\n"
     "     busy past its timeout, before anything was reserved or recorded;\n"
     "     nothing changed and the file is untouched; wins over 1"},
    {4,
     "assign --label: the unit is written; its label failed: reprint it with\n"
     "     label FILE, do not program the device again; 1, 2 and 3 win over it"},
};

int ExitCodeOf(const Outcome& outcome);

// The table as the help's footer shows it.
std::string ExitCodesText();
