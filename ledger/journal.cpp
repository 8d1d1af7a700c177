#include "ledger/journal.h"

#include <filesystem>
#include <random>

#include "files/host.h"
#include "files/utf8.h"
#include "ledger/database.h"
#include "ledger/state_folder.h"

namespace ledger {

Journal::Journal(std::unique_ptr<Database> database) : db_(std::move(database)) {}
Journal::Journal(Journal&&) noexcept = default;
Journal::~Journal() = default;

Result<Journal> Journal::Open(const std::string& path) {
  std::error_code ignored;
  const std::filesystem::path file(Wide(path));
  std::filesystem::create_directories(file.parent_path(), ignored);  // a QUORVIX_JOURNAL's too
  const bool made = !std::filesystem::exists(file, ignored);
  Result<std::unique_ptr<Database>> database = OpenSqlite(path, made);
  if (!database) return database.error();
  if (Result<std::vector<Row>> table =
          (*database)->Query("CREATE TABLE IF NOT EXISTS pending (request TEXT PRIMARY KEY, ledger TEXT NOT "
                             "NULL, station TEXT NOT "
                             "NULL, path TEXT NOT NULL, writing INTEGER NOT NULL)");
      !table) {
    return table.error();
  }
  return Journal(std::move(*database));
}

Result<std::vector<Journal::Entry>> Journal::Pending(const std::string& ledger, const std::string& station) {
  Result<std::vector<Row>> rows =
      db_->Query("SELECT request, path, writing FROM pending WHERE ledger = ? AND station = ? ORDER BY rowid",
                 {ledger, station});
  if (!rows) return rows.error();
  std::vector<Entry> entries;
  for (const Row& row : *rows)
    entries.push_back({row.Text(0), ledger, station, row.Text(1), row.Integer(2) != 0});
  return entries;
}

Result<> Journal::Note(const Entry& entry) {
  Result<std::vector<Row>> noted =
      db_->Query("INSERT INTO pending (request, ledger, station, path, writing) VALUES (?, ?, ?, ?, ?)",
                 {entry.request, entry.ledger, entry.station, entry.path, std::int64_t{entry.writing}});
  if (!noted) return noted.error();
  return {};
}

Result<> Journal::Writing(const std::string& request) {
  Result<std::vector<Row>> marked = db_->Query("UPDATE pending SET writing = 1 WHERE request = ?", {request});
  if (!marked) return marked.error();
  return {};
}

Result<> Journal::Done(const std::string& request) {
  Result<std::vector<Row>> removed = db_->Query("DELETE FROM pending WHERE request = ?", {request});
  if (!removed) return removed.error();
  return {};
}

std::optional<std::string> JournalPath() {
  if (std::optional<std::string> named = EnvironmentVariable("QUORVIX_JOURNAL"); named && !named->empty())
    return *named;
  const std::optional<std::string> folder = StateFolder();
  if (!folder) return std::nullopt;
  return *folder + kSeparator + "journal.db";
}

std::string NewRequestId() {
  std::random_device random;
  std::string id;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
    id += part;
  }
  return id;
}

}  // namespace ledger
