#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vendor/result.h"

namespace ledger {

class Database;

// What a station knows of its own reservations that a ledger may not have
// answered: each is noted, durably, before its commit is sent, and marked
// before its file is written, so that a later run can tell a unit that
// never reached a device from one that may have.
class Journal {
 public:
  struct Entry {
    std::string request, ledger, station, path;
    bool writing = false;  // its file may hold the unit's values
  };

  // The journal at path, made with its folder when missing.
  static Result<Journal> Open(const std::string& path);
  Journal(Journal&&) noexcept;
  ~Journal();

  // The entries of one station on one ledger, oldest first.
  Result<std::vector<Entry>> Pending(const std::string& ledger, const std::string& station);
  Result<> Note(const Entry& entry);
  Result<> Writing(const std::string& request);
  Result<> Done(const std::string& request);

 private:
  explicit Journal(std::unique_ptr<Database> database);
  std::unique_ptr<Database> db_;
};

// The station's journal: QUORVIX_JOURNAL, else journal.db in this user's
// state folder (state_folder.h); nothing where there is none to be had.
std::optional<std::string> JournalPath();

// A new request's id: 128 random bits as hexadecimal digits.
std::string NewRequestId();

}  // namespace ledger
