#pragma once

#include "config/LiveSettings.h"

#include <string>

namespace vistrel {

// The connection test of the headless publisher: logs on with the settings (directly or through
// the proxy), changes to the upload directory, lists it and quits. Writes the conversation to
// out without passwords (every PASS command shows "PASS ********"), then the listing, then the
// outcome. Returns true when every step worked.
bool CheckFtp(const LiveSettings& settings, std::string& out);

// The conversation with the argument of each PASS command hidden.
std::string HidePasswords(const std::string& conversation);

} // namespace vistrel
