// ErrorHandler's messages and the recovery of a missing pricing library:
// a real download of this build's libzelop32.so from a loopback FTP server.

#include "util/error_handler.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "pricing/zel_bsop.h"
#include "pricing/zelop_digest.h"
#include "pricing/zelop_loader.h"
#include "support/fake_services.h"
#include "support/loopback_server.h"
#include "tools/library_download.h"
#include "tools/zel_ftp.h"
#include "util/library_recovery.h"
#include "util/sites.h"

namespace stratlyn {
namespace {

namespace fs = std::filesystem;
using testing::FakeServices;
using testing::LoopbackFtpServer;
using testing::ScopedEnv;
using testing::ScratchDir;

const std::string kGeneric =
    "An error has occurred. If the program does not continue normally, please report this "
    "error, and the circumstances surrounding it, to support@stratlyn.org.  The system error "
    "is: ";
const std::string kOffer =
    "A required file, libzelop32.so, could not be located.  Do you want to download it from the "
    "internet?";
const std::string kStart =
    "Click to start the download.  Please wait until you are notified that the download is "
    "complete.";
const std::string kFailed =
    "The file libzelop32.so could not be downloaded.  Please try to download it from the Help "
    "menu of this module";
const std::string kDone =
    "File successfully loaded.  You can now continue with your analysis (you may have to click "
    "the button again)";

std::string BuiltLibrary() { return sites::ExecutableDir() + "/../libzelop32.so"; }

TEST(ErrorHandler, OtherErrorsGetTheGenericMessageWithThePlatformText) {
  FakeServices fakes;
  fakes.events.busy = true;
  ErrorHandler(zelError(err::kTypeMismatch, "whatever the description says"));
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_EQ(fakes.dialogs.Last().text, kGeneric + "Type mismatch");
  EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_EQ(fakes.dialogs.Last().buttons, MsgButtons::Ok);
  EXPECT_EQ(fakes.dialogs.Last().title, "Quorvale");
  EXPECT_GE(fakes.events.pending_calls, 1);
  EXPECT_FALSE(fakes.events.busy);

  // Other exceptions: a zelError keeps its number, the rest are internal.
  const std::exception& overflow = zelError(err::kOverflow);
  ErrorHandler(overflow);
  EXPECT_EQ(fakes.dialogs.Last().text, kGeneric + "Overflow");
  ErrorHandler(std::runtime_error("boom"));
  EXPECT_EQ(fakes.dialogs.Last().text, kGeneric + "Internal error");
  ErrorHandler(std::bad_alloc());
  EXPECT_EQ(fakes.dialogs.Last().text, kGeneric + "Out of memory");
}

TEST(ErrorHandler, AMissingFileOutsideTheTableIsReportedWithItsDescription) {
  FakeServices fakes;
  ErrorHandler(zelError(err::kLibraryLoad, "libquux.so: cannot open shared object file"));
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_EQ(fakes.dialogs.Last().text,
            "An error has occurred, a necessary file could not be found.  Please contact ZEL for "
            "support.  The system error is: libquux.so: cannot open shared object file");
  EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Critical);

  EXPECT_EQ(RequiredFileFor("File not found: LIBZELOP32.SO"), "libzelop32.so");
  EXPECT_EQ(RequiredFileFor("nothing of ours"), "");
}

TEST(ErrorHandler, WithoutAnInstalledRecoveryNothingIsOffered) {
  // util knows no library: until a program installs its recovery, a missing
  // library is a file that could not be found.
  FakeServices fakes;
  ASSERT_EQ(AppLibraryRecovery(), nullptr);
  ErrorHandler(zelError(err::kFileNotFound, "File not found: libzelop32.so"));
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_EQ(fakes.dialogs.Last().text,
            "An error has occurred, a necessary file could not be found.  Please contact ZEL for "
            "support.  The system error is: File not found: libzelop32.so");

  // The terminal's recovery says how to fetch the file from a terminal.
  ZelopLibraryRecovery terminal("with the command  stratlyn-cli fetch-library");
  ScopedLibraryRecovery installed(&terminal);
  fakes.dialogs.Answer(MsgAnswer::No);
  ErrorHandler(zelError(err::kFileNotFound, "File not found: libzelop32.so"));
  EXPECT_EQ(fakes.dialogs.Last().text,
            "The file libzelop32.so is necessary.  Please download it with the command  "
            "stratlyn-cli fetch-library");
}

// The per-user library folder and the temporary folder of one test, the
// maker's file server pointed at a loopback server, and a loader that finds
// no library until one is installed.
class LibraryRecovery : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(BuiltZelopDigest().empty()) << "the build embeds no library digest";
    UnloadZelopLibrary();
    SetZelopSearchPathForTesting(home_.Path() + "/empty");
    fs::create_directories(home_.Path() + "/empty");
  }
  void TearDown() override {
    UnloadZelopLibrary();
    SetZelopSearchPathForTesting("");
  }
  // Starts the file server over `remote` (refusing ASCII transfers).
  void ServeFrom(const ScratchDir& remote) {
    server_ = std::make_unique<LoopbackFtpServer>(remote.Path(), MakersFtpUser(),
                                                  MakersFtpPassword(), true);
    ASSERT_TRUE(server_->Ok()) << server_->Error();
    ftp_url_ = std::make_unique<ScopedEnv>("STRATLYN_FTP_URL", server_->BaseUrl());
  }
  std::string LibDir() const { return home_.Path() + "/data/stratlyn/lib/"; }

  ScratchDir home_;
  ScratchDir tmp_;
  ScopedEnv xdg_{"XDG_DATA_HOME", home_.Path() + "/data"};
  ScopedEnv tmpdir_{"TMPDIR", tmp_.Path()};
  ScopedEnv ftp_closed_{"STRATLYN_FTP_URL", "ftp://127.0.0.1:9"};
  std::unique_ptr<LoopbackFtpServer> server_;
  std::unique_ptr<ScopedEnv> ftp_url_;
  FakeServices fakes_;
  // The recovery the programs install at start-up.
  ZelopLibraryRecovery recovery_;
  ScopedLibraryRecovery installed_{&recovery_};
};

TEST_F(LibraryRecovery, DecliningTheDownloadFetchesNothing) {
  fakes_.dialogs.Answer(MsgAnswer::No);
  ErrorHandler(zelError(err::kFileNotFound, "File not found: libzelop32.so"));
  ASSERT_EQ(fakes_.dialogs.Count(), 2u);
  EXPECT_EQ(fakes_.dialogs.Shown()[0].text, kOffer);
  EXPECT_EQ(fakes_.dialogs.Shown()[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(fakes_.dialogs.Last().text,
            "The file libzelop32.so is necessary.  Please download it from the Help menu of this "
            "module");
  EXPECT_EQ(fakes_.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_FALSE(fs::exists(LibDir() + "libzelop32.so"));
  EXPECT_FALSE(fakes_.events.busy);
}

TEST_F(LibraryRecovery, AFoundCopyThatFailsTheCheckIsNamedAndNotUsed) {
  // A changed copy where the loader looks: the record's call is refused,
  // and the user reads which file and why before the download is offered.
  const std::string found = home_.Path() + "/empty/libzelop32.so";
  fs::copy_file(BuiltLibrary(), found);
  std::ofstream(found, std::ios::app | std::ios::binary) << "patched";
  zelBSOP option;
  option.SetOptionData(100.0f, option.strUnderlying);
  option.SetOptionData(95.0f, option.strStrike);
  option.SetOptionData(0.5f, option.strMaturity);
  option.SetOptionData(0.3f, option.strVolatility);
  fakes_.dialogs.Answer(MsgAnswer::Ok);
  fakes_.dialogs.Answer(MsgAnswer::No);
  EXPECT_EQ(option.GetBSOPDLL(option.strOptionPrice), -9999.0f);
  EXPECT_TRUE(option.myError);
  EXPECT_FALSE(ZelopLibraryLoaded());
  ASSERT_EQ(fakes_.dialogs.Count(), 3u);
  EXPECT_EQ(fakes_.dialogs.Shown()[0].text,
            "Error in loading DLL: " + found +
                " (its SHA-256 is not that of the library of this program)");
  EXPECT_EQ(fakes_.dialogs.Shown()[0].icon, MsgIcon::Critical);
  EXPECT_EQ(fakes_.dialogs.Shown()[1].text, kOffer);
}

TEST_F(LibraryRecovery, ADownloadedLibraryIsVerifiedLoadedAndUsedByTheRecord) {
  ScratchDir remote;
  fs::copy_file(BuiltLibrary(), remote.Path() + "/libzelop32.so");
  ServeFrom(remote);

  zelBSOP option;
  option.SetOptionData(100.0f, option.strUnderlying);
  option.SetOptionData(95.0f, option.strStrike);
  option.SetOptionData(0.5f, option.strMaturity);
  option.SetOptionData(0.05f, option.strRiskFree);
  option.SetOptionData(0.3f, option.strVolatility);
  option.SetOptionData(5.0f, option.strType);

  // The first call finds no library: the record hands the error over, the
  // user says Yes, and the library is fetched and loaded.
  fakes_.dialogs.Answer(MsgAnswer::Yes);
  fakes_.dialogs.Answer(MsgAnswer::Ok);
  EXPECT_EQ(option.GetBSOPDLL(option.strOptionPrice), -9999.0f);
  ASSERT_EQ(fakes_.dialogs.Count(), 3u);
  EXPECT_EQ(fakes_.dialogs.Shown()[0].text, kOffer);
  EXPECT_EQ(fakes_.dialogs.Shown()[1].text, kStart);
  EXPECT_EQ(fakes_.dialogs.Shown()[1].buttons, MsgButtons::OkCancel);
  EXPECT_EQ(fakes_.dialogs.Last().text, kDone);
  EXPECT_EQ(fakes_.dialogs.Last().icon, MsgIcon::None);
  EXPECT_EQ(fakes_.events.busy_on, 1);
  EXPECT_FALSE(fakes_.events.busy);

  EXPECT_EQ(FileSha256(LibDir() + "libzelop32.so"), BuiltZelopDigest());
  EXPECT_FALSE(fs::exists(LibDir() + "libzelop32.so.download"));
  EXPECT_TRUE(ZelopLibraryLoaded());

  // Clicking again prices through the library.
  const float value = option.GetBSOPDLL(option.strOptionPrice);
  EXPECT_FALSE(option.myError);
  EXPECT_NEAR(value, option.GetOptionData(option.strOptionPrice), 1e-3);
  EXPECT_GT(value, 5.0f);
  EXPECT_EQ(fakes_.dialogs.Count(), 3u);
}

TEST_F(LibraryRecovery, ATamperedLibraryIsDeletedAndNeverLoaded) {
  ScratchDir remote;
  const std::string copy = remote.Path() + "/libzelop32.so";
  fs::copy_file(BuiltLibrary(), copy);
  std::ofstream(copy, std::ios::app | std::ios::binary) << '\0';
  ServeFrom(remote);

  fakes_.dialogs.Answer(MsgAnswer::Yes);
  ErrorHandler(zelError(err::kLibraryLoad, "Error in loading DLL: libzelop32.so"));
  ASSERT_EQ(fakes_.dialogs.Count(), 3u);
  EXPECT_EQ(fakes_.dialogs.Last().text, kFailed);
  EXPECT_EQ(fakes_.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_FALSE(ZelopLibraryLoaded());
  EXPECT_TRUE(fs::is_empty(LibDir()));
}

TEST_F(LibraryRecovery, AnUnwritableLibraryFolderIsSaidAndLeavesNoFolderBehind) {
  ScratchDir remote;
  fs::copy_file(BuiltLibrary(), remote.Path() + "/libzelop32.so");
  ServeFrom(remote);
  // A plain file where the data folder should be: nothing can be created.
  const std::string blocker = home_.Write("blocker", "x");
  ScopedEnv xdg("XDG_DATA_HOME", blocker);
  auto entries = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(tmp_.Path())) {
      if (entry.path() != fs::path(remote.Path())) names.push_back(entry.path().string());
    }
    return names;
  };

  // The download for the per-user folder says it cannot land there; no
  // copy is kept in a folder the loader never searches.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const LibraryFetch fetched = FetchVerifiedLibrary("libzelop32.so");
    EXPECT_EQ(fetched.path, "");
    EXPECT_TRUE(fetched.folder_not_writable);
    EXPECT_EQ(fetched.failure, FolderNotWritableText(blocker + "/stratlyn/lib"));
    EXPECT_EQ(entries(), std::vector<std::string>());
  }
  EXPECT_FALSE(ZelopLibraryLoaded());

  // The window's recovery loads the library for this run from a private
  // folder and removes that folder at once.
  ASSERT_TRUE(DownloadRequiredFile("libzelop32.so"));
  EXPECT_TRUE(ZelopLibraryLoaded());
  EXPECT_EQ(entries(), std::vector<std::string>());
}

TEST_F(LibraryRecovery, NoWritableFolderMeansTheDownloadFails) {
  const std::string blocker = home_.Write("blocker", "x");
  ScopedEnv xdg("XDG_DATA_HOME", blocker);
  ScopedEnv tmp("TMPDIR", blocker + "/tmp");
  fakes_.dialogs.Answer(MsgAnswer::Yes);
  ErrorHandler(zelError(err::kFileNotFound, "libzelop32.so"));
  EXPECT_EQ(fakes_.dialogs.LastText(), kFailed);
  // A file the table names but whose digest this build does not know is
  // never installed.
  EXPECT_FALSE(DownloadRequiredFile("libzelbond32.so"));
}

TEST_F(LibraryRecovery, ACopyFromTheBrowserIsKeptOnlyWithTheRightDigest) {
  // What the window does with a finished browser download of the library.
  const std::string target = LibDir() + "libzelop32.so";
  fs::create_directories(LibDir());
  std::ofstream(target, std::ios::binary) << "the user's earlier copy";
  const std::string staged = target + ".download";
  std::ofstream(staged, std::ios::binary) << "not the library at all";
  EXPECT_FALSE(InstallVerifiedLibrary(staged, target));
  EXPECT_FALSE(fs::exists(staged)) << "a copy that fails the check is deleted";
  std::ifstream kept(target, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "the user's earlier copy");

  fs::copy_file(BuiltLibrary(), staged);
  EXPECT_TRUE(InstallVerifiedLibrary(staged, target));
  EXPECT_FALSE(fs::exists(staged));
  EXPECT_EQ(FileSha256(target), BuiltZelopDigest());
}

TEST_F(LibraryRecovery, ABrowserDownloadIsCheckedByWhereItLandsNotByItsName) {
  fs::create_directories(LibDir());
  EXPECT_TRUE(IsLibraryDestination(home_.Path() + "/saved/libzelop32.so"));
  // Any name inside a folder the loader searches.
  SetZelopSearchPathForTesting(LibDir());
  EXPECT_TRUE(IsLibraryDestination(LibDir() + "zelop-update.so"));
  EXPECT_TRUE(IsLibraryDestination(LibDir() + "../lib/zelop-update.so"));
  EXPECT_FALSE(IsLibraryDestination(home_.Path() + "/Downloads/zelop-update.so"));
}

TEST_F(LibraryRecovery, AFileOverTheCapOrWithAnotherDigestIsRefusedAndNotKept) {
  ScratchDir remote;
  const std::string served = remote.Path() + "/libzelop32.so";
  std::ofstream(served, std::ios::binary) << std::string(kZelopMaxBytes + 1, '\0');
  ServeFrom(remote);
  LibraryFetch fetched = FetchVerifiedLibrary("libzelop32.so");
  EXPECT_EQ(fetched.path, "");
  EXPECT_EQ(fetched.failure, "the answer from 127.0.0.1 is larger than 16 MB");
  EXPECT_TRUE(fs::is_empty(LibDir()));

  fs::remove(served);
  fs::copy_file(BuiltLibrary(), served);
  std::ofstream(served, std::ios::app | std::ios::binary) << "x";
  fetched = FetchVerifiedLibrary("libzelop32.so");
  EXPECT_EQ(fetched.path, "");
  EXPECT_EQ(fetched.failure,
            "the file on the server is refused: its SHA-256 is not that of the library of this "
            "program");
  EXPECT_TRUE(fs::is_empty(LibDir()));
}

TEST_F(LibraryRecovery, StaleTemporaryCopiesAreRemovedButNotOneInUse) {
  ScratchDir remote;
  ServeFrom(remote);  // holds no library: the fetch itself fails
  fs::create_directories(LibDir());
  const std::string stale = LibDir() + "libzelop32.so.partAbC123";
  std::ofstream(stale) << "left by a killed download";
  const std::string busy = LibDir() + "libzelop32.so.partXyZ789";
  std::ofstream(busy) << "a download running now";
  const int fd = ::open(busy.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  const std::string other = LibDir() + "notes.partAbC123";
  std::ofstream(other) << "not ours";

  const LibraryFetch fetched = FetchVerifiedLibrary("libzelop32.so");
  ::close(fd);
  EXPECT_EQ(fetched.path, "");
  EXPECT_NE(fetched.failure, "");
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(busy));
  EXPECT_TRUE(fs::exists(other));
  EXPECT_FALSE(fs::exists(LibDir() + "libzelop32.so"));
}

TEST(ErrorHandlerFolders, SystemAndTemporaryFoldersEndInASlash) {
  ScratchDir home;
  {
    ScopedEnv xdg("XDG_DATA_HOME", nullptr);
    ScopedEnv h("HOME", home.Path());
    EXPECT_EQ(GetSystemDir(), home.Path() + "/.local/share/stratlyn/lib/");
    EXPECT_TRUE(fs::is_directory(home.Path() + "/.local/share/stratlyn/lib"));
  }
  {
    ScopedEnv xdg("XDG_DATA_HOME", home.Path() + "/xdg/");
    EXPECT_EQ(GetSystemDir(), home.Path() + "/xdg/stratlyn/lib/");
  }
  {
    ScopedEnv tmp("TMPDIR", "/var/tmp");
    EXPECT_EQ(GetTempDir(), "/var/tmp/");
  }
  ScopedEnv tmp("TMPDIR", nullptr);
  EXPECT_EQ(GetTempDir(), "/tmp/");
}

}  // namespace
}  // namespace stratlyn
