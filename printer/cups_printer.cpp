// A named printer on Linux: a queue of the CUPS server the user's settings
// name (CUPS_SERVER, client.conf), reached through CUPS's own library.
#include <sys/socket.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/utf8.h"
#include "printer/cups_library.h"
#include "printer/named_printer.h"

namespace {

// A server that does not answer costs this, not a hung line.
constexpr int kConnectMilliseconds = 5000;
constexpr double kRequestSeconds = 10;

// CUPS's text of its last error, which it leaves unset on some failures.
std::wstring Reason(const cups::Library& cups) {
  const char* reason = cups->LastErrorString();
  return reason ? Wide(reason) : L"CUPS gave no reason";
}

// Where the server never answered, the connection's error (a timeout, a
// reset) in the system's words, which CUPS's own text then lacks; else the
// server's refusal in its words.
Failure ServerSaid(const cups::Library& cups, cups::Http* http) {
  if (const int error = cups->Error(http)) return SystemFailure(Wide(std::strerror(error)));
  if (cups->LastError() > cups::kIppLastSuccess) return SystemFailure(Reason(cups));
  return SystemFailure(L"the print server gave no answer");
}

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

// "/printers/NAME", every byte of the name but letters, digits and -._~ as %XX.
std::string PrinterResource(const std::string& name) {
  std::string resource = "/printers/";
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
      resource += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      resource += escaped;
    }
  }
  return resource;
}

// Create-Job on this connection: cupsCreateJob would first look the printer
// up on a connection of its own, whose waits are not bounded by ours.
Result<int> CreateJob(const cups::Library& cups, cups::Http* http, const std::string& name) {
  const std::string resource = PrinterResource(name);
  cups::Ipp* request = cups->NewRequest(cups::kCreateJob);
  if (!request) return SystemFailure(Wide(std::strerror(ENOMEM)));
  const std::string uri = "ipp://localhost" + resource;
  cups->AddString(request, cups::kOperationAttributes, cups::kUri, "printer-uri", nullptr, uri.c_str());
  cups->AddString(request, cups::kOperationAttributes, cups::kName, "requesting-user-name", nullptr,
                  cups->User());
  cups->AddString(request, cups::kOperationAttributes, cups::kName, "job-name", nullptr, "Quorvix label");
  const auto remove = [&cups](cups::Ipp* response) { cups->Delete(response); };
  // cupsDoRequest frees the request.
  const std::unique_ptr<cups::Ipp, decltype(remove)> response(
      cups->DoRequest(http, request, resource.c_str()), remove);
  if (!response || cups->LastError() > cups::kIppLastSuccess) return ServerSaid(cups, http);
  cups::Attribute* id = cups->FindAttribute(response.get(), "job-id", cups::kInteger);
  if (!id) return SystemFailure(L"the print server gave the job no id");
  return cups->GetInteger(id, 0);
}

}  // namespace

Result<std::string> PrintOnNamedPrinter(const std::string& name, const LabelBytes& label) {
  const Result<cups::Library> cups = cups::Library::Load();
  if (!cups) return cups.error();
  // Made unconnected, then connected: a failed connect keeps its error.
  const char* server = (*cups)->Server();
  cups::Http* made =
      (*cups)->Connect(server, (*cups)->IppPort(), nullptr, AF_UNSPEC, (*cups)->Encryption(), 1, 0, nullptr);
  const std::wstring where = L"the print server " + Wide(server) + L": ";
  if (!made) return SystemFailure(where + Reason(*cups));
  const auto close = [&cups](cups::Http* http) { (*cups)->Close(http); };
  const std::unique_ptr<cups::Http, decltype(close)> http(made, close);
  if ((*cups)->Reconnect(http.get(), kConnectMilliseconds, nullptr) != 0)
    return SystemFailure(where + ServerSaid(*cups, http.get()).text);
  (*cups)->SetTimeout(http.get(), kRequestSeconds, nullptr, nullptr);

  const Result<int> id = CreateJob(*cups, http.get(), name);
  if (!id) return id.error();
  PendingJob job(*cups, http.get(), name, *id);
  const char* format = label.format == LabelFormat::png ? "image/png" : "application/vnd.cups-raw";
  if ((*cups)->StartDocument(http.get(), name.c_str(), *id, "label", format, 1) != cups::kHttpContinue ||
      (*cups)->WriteRequestData(http.get(), label.bytes.data(), label.bytes.size()) != cups::kHttpContinue)
    return ServerSaid(*cups, http.get());
  if ((*cups)->FinishDocument(http.get(), name.c_str()) > cups::kIppLastSuccess)
    return ServerSaid(*cups, http.get());
  job.Accepted();
  return "job " + name + "-" + std::to_string(*id);
}
