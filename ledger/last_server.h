#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ledger/server_url.h"

namespace ledger {

// Which server of a URL's list answered this station last, so the next
// process (every assign is one) tries it first: a dead primary costs its
// timeout once, not on every unit. Kept in a small file per host list in the
// user's state folder ($XDG_STATE_HOME/quorvix, else ~/.local/state/quorvix;
// %LOCALAPPDATA%\Quorvix on Windows), which holds the host list and the
// server, never a user or a password. A missing or unwritable folder only
// means the list is tried in its order.

// The URL's servers in the order to try them: the one remembered first,
// then the others in the URL's order.
std::vector<ServerHost> TryOrder(const ServerUrl& url);

// Remembers server as the one of url's list that answered; written whole
// or not at all, and only when it changes.
void RememberServer(const ServerUrl& url, const ServerHost& server);

}  // namespace ledger
