#pragma once

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

namespace ledger {

// ODBC's functions: Windows' own odbc32.dll, or on Linux unixODBC's
// libodbc.so.2, loaded only when a server ledger is opened, so that every
// other command starts without it and runs where it is not installed.
struct OdbcLibrary {
  decltype(&::SQLAllocHandle) AllocHandle;
  decltype(&::SQLFreeHandle) FreeHandle;
  decltype(&::SQLSetEnvAttr) SetEnvAttr;
  decltype(&::SQLSetConnectAttrW) SetConnectAttrW;
  decltype(&::SQLDriverConnectW) DriverConnectW;
  decltype(&::SQLDisconnect) Disconnect;
  decltype(&::SQLGetDiagRecW) GetDiagRecW;
  decltype(&::SQLBindParameter) BindParameter;
  decltype(&::SQLExecDirectW) ExecDirectW;
  decltype(&::SQLNumResultCols) NumResultCols;
  decltype(&::SQLFetch) Fetch;
  decltype(&::SQLGetData) GetData;
  decltype(&::SQLEndTran) EndTran;
  decltype(&::SQLCancel) Cancel;
};

// The system's driver manager, loaded at the first call and kept for the
// rest of the process; nullptr when it is not installed.
const OdbcLibrary* LoadOdbc();

}  // namespace ledger
