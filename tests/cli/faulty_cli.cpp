// quorvix-cli with a fault in the vendor file's writes, for the tests only:
//
//     QUORVIX_FAULT=write:N   the N-th write (from 1) puts out half its bytes
//                             and fails
//     QUORVIX_FAULT=gone:N    from the N-th write on, the device is gone:
//                             every write, flush and read fails
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/tool.h"
#include "files/system_files.h"
#include "tests/support/faulty_files.h"

int main(int argc, char** argv) {
  const std::string fault = std::getenv("QUORVIX_FAULT") ? std::getenv("QUORVIX_FAULT") : "";
  const std::size_t colon = fault.find(':');
  const bool gone = fault.substr(0, colon) == "gone";
  const int at = colon == std::string::npos ? 0 : std::atoi(fault.c_str() + colon + 1) - 1;
  SystemFiles system;
  FaultyFiles files(system);
  files.rule = [gone, at](const FaultyFiles::Call& call) {
    using Operation = FaultyFiles::Operation;
    if (call.created || at < 0) return FaultyFiles::Fault{};
    const bool write = call.operation == Operation::write;
    if (gone && call.operation != Operation::size && call.writesBefore + (write ? 1 : 0) > at)
      return FaultyFiles::Fault{FaultyFiles::Effect::fail};
    if (!gone && write && call.ofItsKind == at) return FaultyFiles::Fault{FaultyFiles::Effect::halfWritten};
    return FaultyFiles::Fault{};
  };
  return RunTool(std::vector<std::string>(argv, argv + argc), {files, stdout, stderr});
}
