// Values of the system that the path variables insert: computer and user name.
#pragma once

#include <string>

namespace qv {

// The host name of this computer, trimmed.
std::string computerNameText();

// The name of the signed-in user (the password database, else $USER), trimmed.
std::string userNameText();

} // namespace qv
