#include "printer/cups_library.h"

#include <dlfcn.h>

#include <type_traits>

#include "files/utf8.h"

namespace cups {

void Library::Closer::operator()(void* handle) const { ::dlclose(handle); }

Result<Library> Library::Load() {
  Library library;
  library.handle_.reset(::dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL));
  if (!library.handle_)
    return SystemFailure(L"CUPS's library is not installed (Debian: libcups2): " + Wide(::dlerror()));
  const char* missing = nullptr;
  const auto find = [&](auto& function, const char* name) {
    function =
        reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(library.handle_.get(), name));
    if (!function && !missing) missing = name;
  };
  Functions& f = library.functions_;
  find(f.Server, "cupsServer");
  find(f.IppPort, "ippPort");
  find(f.Encryption, "cupsEncryption");
  find(f.User, "cupsUser");
  find(f.Connect, "httpConnect2");
  find(f.Reconnect, "httpReconnect2");
  find(f.Error, "httpError");
  find(f.Close, "httpClose");
  find(f.SetTimeout, "httpSetTimeout");
  find(f.NewRequest, "ippNewRequest");
  find(f.AddString, "ippAddString");
  find(f.DoRequest, "cupsDoRequest");
  find(f.FindAttribute, "ippFindAttribute");
  find(f.GetInteger, "ippGetInteger");
  find(f.Delete, "ippDelete");
  find(f.StartDocument, "cupsStartDocument");
  find(f.WriteRequestData, "cupsWriteRequestData");
  find(f.FinishDocument, "cupsFinishDocument");
  find(f.CancelJob, "cupsCancelJob2");
  find(f.LastError, "cupsLastError");
  find(f.LastErrorString, "cupsLastErrorString");
  find(f.SetPasswordCB2, "cupsSetPasswordCB2");
  if (missing)
    return SystemFailure(L"CUPS's library lacks " + Wide(missing) + L": it is older than CUPS 1.7");
  // A server that asks for a password is refused, in its words: CUPS's own
  // way asks at the terminal, where a line's script would wait for ever.
  f.SetPasswordCB2([](const char*, Http*, const char*, const char*, void*) -> const char* { return nullptr; },
                   nullptr);
  return library;
}

}  // namespace cups
