#pragma once
// What the error handler asks of the program when a required library file is
// missing: which file an error names, and its download. util knows nothing
// of the libraries or of the internet; the programs install a recovery at
// start-up (the window's, the terminal's, a test's).

#include <string>

namespace stratlyn {

// How a user of the window gets a library by hand (the default of ByHand).
inline constexpr const char* kByHandFromHelpMenu = "from the Help menu of this module";

class LibraryRecovery {
 public:
  virtual ~LibraryRecovery() = default;

  // The library file that an error description names ("" when none of the
  // program's libraries is named).
  virtual std::string RequiredFileFor(const std::string& description) = 0;
  // Fetches, verifies and loads `file`; true when it is loaded. Never throws.
  virtual bool DownloadRequiredFile(const std::string& file) = 0;
  // How the user gets the file by hand, ending the "is necessary" and "could
  // not be downloaded" messages after "download it ".
  virtual std::string ByHand() const { return kByHandFromHelpMenu; }
};

// The installed recovery, or nullptr (then a missing library is reported as a
// file that could not be found). Not owned; it must outlive its use.
LibraryRecovery* AppLibraryRecovery();
void SetLibraryRecovery(LibraryRecovery* recovery);

// Installs a recovery for its lifetime and restores the one before.
class ScopedLibraryRecovery {
 public:
  explicit ScopedLibraryRecovery(LibraryRecovery* recovery) : previous_(AppLibraryRecovery()) {
    SetLibraryRecovery(recovery);
  }
  ~ScopedLibraryRecovery() { SetLibraryRecovery(previous_); }
  ScopedLibraryRecovery(const ScopedLibraryRecovery&) = delete;
  ScopedLibraryRecovery& operator=(const ScopedLibraryRecovery&) = delete;

 private:
  LibraryRecovery* previous_;
};

}  // namespace stratlyn
