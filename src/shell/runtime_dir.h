#pragma once
// The runtime folder the window's web engine needs (XDG_RUNTIME_DIR), chosen
// so that no other user on the machine can plant or redirect it.

#include <string>

namespace stratlyn {

// True when `path` is a folder itself (not a symbolic link to one), owned by
// this user and closed to everyone else (no group or other permission bits).
bool IsPrivateFolder(const std::string& path);

// A runtime folder this run made: the folder and the lock that marks it in
// use (held until the program ends; a folder whose lock is free was left by
// a run that was killed).
struct MadeRuntimeDir {
  std::string path;  // "" when none was made
  int lock_fd = -1;
};

// Keeps XDG_RUNTIME_DIR when it names a private folder; otherwise makes a new
// one with mkdtemp under $TMPDIR (when absolute) or /tmp, named
// "stratlyn-runtime-XXXXXX" with random letters, and points XDG_RUNTIME_DIR
// at it. Never changes the mode of a path it did not just create. Before
// that, folders of this kind that killed runs of this user left there are
// removed. Returns the folder it made, for removal at exit (path "" when the
// given one was kept, or when none could be made: then XDG_RUNTIME_DIR is
// unset).
MadeRuntimeDir PrepareRuntimeDir();

// Removes the folder made by PrepareRuntimeDir with its contents and lets
// its lock go.
void RemoveRuntimeDir(MadeRuntimeDir& made);

}  // namespace stratlyn
