// A named printer on Linux: a queue of the CUPS server the user's settings
// name (CUPS_SERVER, client.conf), reached through CUPS's own library.
#include <sys/socket.h>

#include <cstring>

#include "files/utf8.h"
#include "printer/cups_library.h"
#include "printer/named_printer.h"

namespace {

// A server that does not answer costs this, not a hung line.
constexpr int kConnectMilliseconds = 5000;
constexpr double kRequestSeconds = 10;

Failure ServerSaid(const cups::Library& cups) { return SystemFailure(Wide(cups->LastErrorString())); }

// The job, cancelled and purged unless its document was accepted whole: a
// label half sent prints nothing.
class PendingJob {
 public:
  PendingJob(const cups::Library& cups, cups::Http* http, const std::string& printer, int id)
      : cups_(cups), http_(http), printer_(printer), id_(id) {}
  PendingJob(const PendingJob&) = delete;
  PendingJob& operator=(const PendingJob&) = delete;
  ~PendingJob() {
    if (!accepted_) (void)cups_->CancelJob(http_, printer_.c_str(), id_, 1);
  }
  void Accepted() { accepted_ = true; }

 private:
  const cups::Library& cups_;
  cups::Http* http_;
  const std::string& printer_;
  int id_;
  bool accepted_ = false;
};

}  // namespace

Result<std::string> PrintOnNamedPrinter(const std::string& name, const LabelBytes& label) {
  const Result<cups::Library> cups = cups::Library::Load();
  if (!cups) return cups.error();
  // Made unconnected, then connected: a failed connect keeps its error.
  const char* server = (*cups)->Server();
  cups::Http* made =
      (*cups)->Connect(server, (*cups)->IppPort(), nullptr, AF_UNSPEC, (*cups)->Encryption(), 1, 0, nullptr);
  const std::wstring where = L"the print server " + Wide(server) + L": ";
  if (!made) return SystemFailure(where + Wide((*cups)->LastErrorString()));
  const auto close = [&cups](cups::Http* http) { (*cups)->Close(http); };
  const std::unique_ptr<cups::Http, decltype(close)> http(made, close);
  if ((*cups)->Reconnect(http.get(), kConnectMilliseconds, nullptr) != 0)
    return SystemFailure(where + Wide(std::strerror((*cups)->Error(http.get()))));
  (*cups)->SetTimeout(http.get(), kRequestSeconds, nullptr, nullptr);

  const int id = (*cups)->CreateJob(http.get(), name.c_str(), "Quorvix label", 0, nullptr);
  if (id == 0) return ServerSaid(*cups);
  PendingJob job(*cups, http.get(), name, id);
  const char* format = label.format == LabelFormat::png ? "image/png" : "application/vnd.cups-raw";
  if ((*cups)->StartDocument(http.get(), name.c_str(), id, "label", format, 1) != cups::kHttpContinue ||
      (*cups)->WriteRequestData(http.get(), label.bytes.data(), label.bytes.size()) != cups::kHttpContinue)
    return ServerSaid(*cups);
  if ((*cups)->FinishDocument(http.get(), name.c_str()) > cups::kIppLastSuccess) return ServerSaid(*cups);
  job.Accepted();
  return "job " + name + "-" + std::to_string(id);
}
