// The account the program runs under: its home folder, its name, the machine's name, and the
// private folders (0700, owned by this user) where it keeps locks and work files.
#pragma once

#include <string>

namespace qv {

// $HOME when it holds an absolute path, else the account's home from the user database, else "/".
std::string homeFolder();

// The name of the account the program acts as (the effective user), from the user database, else
// $USER; empty when neither knows it.
std::string accountName();

// The machine's host name; empty when the system does not give one.
std::string hostName();

// The numeric id of the account the program acts as.
unsigned accountId();

// Creates `folder` with mode 0700 when it is missing. An existing one must be a real folder (not
// a link someone else could have planted) owned by this account. False with a sentence in `error`.
bool ensurePrivateFolder(const std::string &folder, std::string &error);

// The per-user folder for locks and sockets: $XDG_RUNTIME_DIR/quorvellant, or
// $TMPDIR/quorvellant-<uid> (/tmp without TMPDIR) when there is no runtime folder. Created with
// mode 0700 when missing; refused when it is a symbolic link or not a folder, has another owner,
// or (in the shared temporary folder, where others may have made it first) has any mode but 0700.
// Empty, with a sentence in `error`, when refused.
std::string privateRuntimeFolder(std::string &error);

// Makes a new folder with mode 0700; false with errno in `error` (EEXIST when the name is taken).
bool makePrivateFolder(const std::string &folder, int &error);

// Gives `path` the permission bits `mode` (chmod); false with errno in `error`.
bool setPermissions(const std::string &path, unsigned mode, int &error);

} // namespace qv
