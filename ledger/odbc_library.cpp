#include "ledger/odbc_library.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <optional>
#include <type_traits>

namespace ledger {

#ifdef _WIN32
const OdbcLibrary* LoadOdbc() {
  static const OdbcLibrary functions{
      &::SQLAllocHandle, &::SQLFreeHandle,  &::SQLSetEnvAttr,    &::SQLSetConnectAttrW, &::SQLDriverConnectW,
      &::SQLDisconnect,  &::SQLGetDiagRecW, &::SQLBindParameter, &::SQLExecDirectW,     &::SQLNumResultCols,
      &::SQLFetch,       &::SQLGetData,     &::SQLEndTran,       &::SQLCancel};
  return &functions;
}
#else
const OdbcLibrary* LoadOdbc() {
  static const std::optional<OdbcLibrary> functions = []() -> std::optional<OdbcLibrary> {
    // Never closed: loaded for the rest of the process, as a linked library would be.
    void* library = dlopen("libodbc.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!library) return std::nullopt;
    bool found = true;
    const auto find = [&](auto& function, const char* name) {
      function = reinterpret_cast<std::remove_reference_t<decltype(function)> >(dlsym(library, name));
      found = found && function;
    };
    OdbcLibrary loaded{};
    find(loaded.AllocHandle, "SQLAllocHandle");
    find(loaded.FreeHandle, "SQLFreeHandle");
    find(loaded.SetEnvAttr, "SQLSetEnvAttr");
    find(loaded.SetConnectAttrW, "SQLSetConnectAttrW");
    find(loaded.DriverConnectW, "SQLDriverConnectW");
    find(loaded.Disconnect, "SQLDisconnect");
    find(loaded.GetDiagRecW, "SQLGetDiagRecW");
    find(loaded.BindParameter, "SQLBindParameter");
    find(loaded.ExecDirectW, "SQLExecDirectW");
    find(loaded.NumResultCols, "SQLNumResultCols");
    find(loaded.Fetch, "SQLFetch");
    find(loaded.GetData, "SQLGetData");
    find(loaded.EndTran, "SQLEndTran");
    find(loaded.Cancel, "SQLCancel");
    if (!found) return std::nullopt;
    return loaded;
  }();
  return functions ? &*functions : nullptr;
}
#endif

}  // namespace ledger
