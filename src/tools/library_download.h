#pragma once
// The recovery of a missing pricing library: the program family's library
// table, the verified download of libzelop32.so from the maker's file server
// into the folder the loader searches, and the same check for a copy that
// arrived another way (the browser's download).

#include <string>

#include "util/library_recovery.h"

namespace stratlyn {

// The library file that the table gives for an error description ("" when
// no row's key occurs in it, case-insensitively).
std::string RequiredFileFor(const std::string& description);

// Fetches `file` from the maker's file server into the per-user library
// folder (or, when that is not writable, a private folder in the temporary
// directory), checks its SHA-256 against the library this build produced and
// loads it. False when any step fails; a file that fails the check is deleted.
bool DownloadRequiredFile(const std::string& file);
// The same download without loading the library: the path it was installed
// at, or "" (nothing kept) when any step failed.
std::string FetchVerifiedLibrary(const std::string& file);

// Moves a downloaded copy of the pricing library from `staged` to `target`
// when its SHA-256 is that of the library this build produced; otherwise
// deletes it and leaves `target` as it was. True when it was installed.
bool InstallVerifiedLibrary(const std::string& staged, const std::string& target);

// The per-user library folder $XDG_DATA_HOME/stratlyn/lib/ (default
// ~/.local/share/stratlyn/lib/), created when missing; with a trailing "/".
std::string GetSystemDir();
// $TMPDIR or /tmp/, with a trailing "/".
std::string GetTempDir();

// The recovery the programs install: the table and the verified download.
// `by_hand` ends the messages that say how to fetch the file oneself.
class ZelopLibraryRecovery : public LibraryRecovery {
 public:
  explicit ZelopLibraryRecovery(std::string by_hand = "from the Help menu of this module")
      : by_hand_(std::move(by_hand)) {}
  std::string RequiredFileFor(const std::string& description) override;
  bool DownloadRequiredFile(const std::string& file) override;
  std::string ByHand() const override { return by_hand_; }

 private:
  std::string by_hand_;
};

}  // namespace stratlyn
