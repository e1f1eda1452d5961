#pragma once
// The one place where unexpected run-time errors are shown to the user, and
// the offer to recover a missing library (through the program's installed
// LibraryRecovery, util/library_recovery.h).
// Command handlers catch zelError (and std::exception) and pass it here, then
// leave the command. Every box goes through AppDialogs() with the title
// "Quorvale"; nothing here throws.

#include <exception>
#include <string>

#include "util/zel_error.h"

namespace stratlyn {

// The address that the error messages ask the user to write to.
inline constexpr const char* kSupportContact = "support@stratlyn.org";

// Errors 48 (library load) and 53 (file not found) whose description names a
// library of the installed recovery offer its download; any other error shows the generic
// message with the platform's text for its number. Restores the default
// mouse pointer.
void ErrorHandler(const zelError& error);
// A zelError goes to the overload above; std::bad_alloc is reported as error 7
// (out of memory), anything else as error 51 (internal error).
void ErrorHandler(const std::exception& error);

}  // namespace stratlyn
