#pragma once
// The recovery of a missing pricing library: the program family's library
// table, the verified download of libzelop32.so from the maker's file server
// into the folder the loader searches, and the same check for a copy that
// arrived another way (the browser's download).

#include <string>

#include "tools/zel_ftp.h"
#include "util/library_recovery.h"

namespace stratlyn {

// The library file that the table gives for an error description ("" when
// no row's key occurs in it, case-insensitively).
std::string RequiredFileFor(const std::string& description);

// Fetches `file` from the maker's file server into the per-user library
// folder, checks its SHA-256 against the library this build produced and
// loads it. When that folder cannot be written, the copy is fetched into a
// private folder of the temporary directory, loaded for this run only and
// removed with its folder at once. False when any step fails; a file that
// fails the check is deleted.
bool DownloadRequiredFile(const std::string& file);

// The outcome of a download: where the library was installed, or why not.
struct LibraryFetch {
  std::string path;     // the installed copy; "" when nothing was kept
  std::string failure;  // why not, in words; "" on success
  // The per-user folder cannot, or may not, be written.
  bool folder_not_writable = false;
};
// The download into the per-user library folder, the one the loader
// searches, without loading the library; nothing is kept elsewhere, and
// nothing is written into a folder that UnsafeFolderReason (util/safe_folder.h)
// refuses. Ends at
// `deadline_seconds` for the whole transfer; a file over 16 MB is refused.
LibraryFetch FetchVerifiedLibrary(const std::string& file,
                                  long deadline_seconds = zelFTP::kFileDeadlineSeconds);

// "the per-user library folder DIR cannot be written, and no other folder is
// searched for the library".
std::string FolderNotWritableText(const std::string& dir);

// "the per-user library folder DIR is not safe to write into: WHY".
std::string FolderNotSafeText(const std::string& dir, const std::string& why);

// Moves a downloaded copy of the pricing library from `staged` to `target`
// when its SHA-256 is that of the library this build produced; otherwise
// deletes it and leaves `target` as it was. True when it was installed.
bool InstallVerifiedLibrary(const std::string& staged, const std::string& target);

// True when a file saved at `path` could be loaded as the pricing library:
// it bears the library's name, or it lands in a folder the loader searches.
// Such a file is saved under a temporary name and kept only when its
// SHA-256 is right. Decided by the destination alone, never by the name a
// server suggests.
bool IsLibraryDestination(const std::string& path);

// The per-user library folder (ZelopUserLibraryDir), created when missing;
// with a trailing "/"; "" when no absolute folder is known.
std::string GetSystemDir();
// $TMPDIR (when absolute and no other user owns or may change a folder on its
// way: UnsafeFolderReason) or /tmp/, with a trailing "/".
std::string GetTempDir();

// The recovery the programs install: the table and the verified download.
// `by_hand` ends the messages that say how to fetch the file oneself.
class ZelopLibraryRecovery : public LibraryRecovery {
 public:
  explicit ZelopLibraryRecovery(std::string by_hand = kByHandFromHelpMenu)
      : by_hand_(std::move(by_hand)) {}
  std::string RequiredFileFor(const std::string& description) override;
  bool DownloadRequiredFile(const std::string& file) override;
  std::string ByHand() const override { return by_hand_; }

 private:
  std::string by_hand_;
};

}  // namespace stratlyn
