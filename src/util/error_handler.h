#pragma once
// The one place where unexpected run-time errors are shown to the user, and
// the offer to recover a missing library (through the program's installed
// LibraryRecovery, util/library_recovery.h).
// Command handlers catch zelError (and std::exception) and pass it here, then
// leave the command. Every box goes through AppDialogs() with the title
// "Quorvale"; nothing here throws.

#include <exception>
#include <string>
#include <utility>

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

// How a command handler runs its work: an exception the work throws (a
// zelError or any other std::exception) ends the command and goes to
// ErrorHandler, after `before_report` (which must not throw: clearing the
// busy pointer, say) has run. True when the work ran through.
// A handler that reports some errors its own way (a refusal of the user's
// input, a page that did not load) passes `own`: asked first about each
// error, after `before_report`, it returns true when it has told the user
// (and must not throw); every other error goes to ErrorHandler.
template <typename Work, typename BeforeReport, typename Own>
bool RunCommand(Work&& work, BeforeReport&& before_report, Own&& own) {
  try {
    work();
    return true;
  } catch (const std::exception& e) {
    before_report();
    if (!own(e)) {
      ErrorHandler(e);
    }
    return false;
  }
}
template <typename Work, typename BeforeReport>
bool RunCommand(Work&& work, BeforeReport&& before_report) {
  return RunCommand(std::forward<Work>(work), std::forward<BeforeReport>(before_report),
                    [](const std::exception&) { return false; });
}
template <typename Work>
bool RunCommand(Work&& work) {
  return RunCommand(std::forward<Work>(work), [] {});
}

}  // namespace stratlyn
