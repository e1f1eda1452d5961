#pragma once
// The runtime folder the window's web engine needs (XDG_RUNTIME_DIR), chosen
// so that no other user on the machine can plant or redirect it.

#include <string>

namespace stratlyn {

// True when `path` is a folder itself (not a symbolic link to one), owned by
// this user and closed to everyone else (no group or other permission bits).
bool IsPrivateFolder(const std::string& path);

// Keeps XDG_RUNTIME_DIR when it names a private folder; otherwise makes a new
// one with mkdtemp under $TMPDIR (when absolute) or /tmp, named
// "stratlyn-runtime-XXXXXX" with random letters, and points XDG_RUNTIME_DIR
// at it. Never changes the mode of a path it did not just create. Returns
// the folder it made, for removal at exit ("" when the given one was kept,
// or when none could be made: then XDG_RUNTIME_DIR is unset).
std::string PrepareRuntimeDir();

}  // namespace stratlyn
