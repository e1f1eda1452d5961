#pragma once
// Direct internet retrieval without the browser views: the text behind a web
// address, a file from the maker's file server (or another FTP server), and
// loading a fetched library. Nothing here throws or shows a message: every
// failure is an empty text or false. Connections give up after 15 s, and a
// transfer after 30 s without a byte, so nothing hangs for ever.

#include <memory>
#include <string>

namespace stratlyn {

class zelFTP {
 public:
  zelFTP();
  // Closes the connection; a library loaded by loadFile stays loaded.
  ~zelFTP();
  zelFTP(const zelFTP&) = delete;
  zelFTP& operator=(const zelFTP&) = delete;

  // The whole body behind an http:// or https:// address, byte for byte
  // (redirects followed, nothing cached); "" when it cannot be fetched or
  // the server answers with an error status.
  std::string GetUrlSource(const std::string& sURL);

  // Fetches strFileName from the maker's file server (sites::FtpUrl(), with
  // the maker's login) in binary mode and stores it at strStoreName,
  // replacing a file there only once the whole file has arrived. True when
  // stored; storedFile() is then strStoreName.
  bool getFile(const std::string& strFileName, const std::string& strStoreName);

  // The same from the FTP server strSiteName (a host, or an ftp:// address).
  bool getCases(const std::string& strFileName, const std::string& strStoreName,
                const std::string& strSiteName);

  // Loads the library at storedFile() (dlopen). True when it loaded.
  bool loadFile();
  // Releases the library loaded by loadFile.
  void freefile();

  // Local path of the last file fetched successfully ("" before one).
  const std::string& storedFile() const { return storedFile_; }
  // The dlopen handle of the loaded library, or nullptr.
  void* libraryHandle() const { return library_; }

  // Time limits in seconds: connecting, and a transfer that moves nothing.
  void SetTimeouts(long connect_seconds, long stall_seconds);

 private:
  struct Session;
  bool Fetch(const std::string& url, const std::string& password, const std::string& strStoreName);

  std::unique_ptr<Session> session_;
  std::string storedFile_;
  void* library_ = nullptr;
  long connect_timeout_ = 15;
  long stall_timeout_ = 30;
};

// The maker's file-server login; the password is joined from its pieces at
// run time, its two words swapped for servers other than the maker's.
std::string MakersFtpUser();
std::string MakersFtpPassword(bool words_swapped = false);

}  // namespace stratlyn
