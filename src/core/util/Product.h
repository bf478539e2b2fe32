// The product's own names and addresses, in one place: the about box, the help menu and the archive
// comments use them.
#pragma once

namespace qv {

inline constexpr const char *kProductName = "Quorvellant";
// The project's web address (Home Page, the about box, every archive's comment).
inline constexpr const char *kProjectUrl = "https://quorvellant.example/";
// Where users write to (the about box's e-mail link). A reserved name: there is no real mailbox.
inline constexpr const char *kSupportEmail = "support@quorvellant.example";

} // namespace qv
