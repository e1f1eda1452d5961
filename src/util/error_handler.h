#pragma once
// The one place where unexpected run-time errors are shown to the user, and
// the recovery from a missing pricing library (download, check, load).
// Command handlers catch zelError (and std::exception) and pass it here, then
// leave the command. Every box goes through AppDialogs() with the title
// "Quorvale"; nothing here throws.

#include <exception>
#include <string>

#include "util/zel_error.h"

namespace stratlyn {

// Errors 48 (library load) and 53 (file not found) whose description names a
// library of the table offer its download; any other error shows the generic
// message with the platform's text for its number. Restores the default
// mouse pointer.
void ErrorHandler(const zelError& error);
// A zelError goes to the overload above; std::bad_alloc is reported as error 7
// (out of memory), anything else as error 51 (internal error).
void ErrorHandler(const std::exception& error);

// Fetches `file` from the maker's file server into the per-user library
// folder (or, when that is not writable, a private folder in the temporary
// directory), checks its SHA-256 against the library this build produced and
// loads it. False when any step fails; a file that fails the check is deleted.
bool DownloadRequiredFile(const std::string& file);

// The per-user library folder $XDG_DATA_HOME/stratlyn/lib/ (default
// ~/.local/share/stratlyn/lib/), created when missing; with a trailing "/".
std::string GetSystemDir();
// $TMPDIR or /tmp/, with a trailing "/".
std::string GetTempDir();

// The library file that the table gives for an error description ("" when no
// row's key occurs in it, case-insensitively).
std::string RequiredFileFor(const std::string& description);

}  // namespace stratlyn
