// Loading the separate pricing library: every file found is checked against
// the digest of the library this build made before anything of it is
// mapped, and only the program's own folders and the absolute per-user
// folder are searched.

#include "pricing/zelop_loader.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pricing/zelop_digest.h"
#include "support/loopback_server.h"
#include "util/zel_error.h"
#include "zelop/zelop_api.h"

namespace stratlyn {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::ScratchDir;

using BsopFn = ZelopBsopFn;

// The closed-form call value at S = K = 50, r = 0.10, T = 1, sigma = 0.25.
double TextbookCall() {
  const double d1 = (0.10 + 0.25 * 0.25 / 2) / 0.25, d2 = d1 - 0.25;
  const auto n = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
  return 50 * n(d1) - 50 * std::exp(-0.10) * n(d2);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The error the search ends in, with the override `folders`.
zelError SearchError(const std::string& folders) {
  UnloadZelopLibrary();
  SetZelopSearchPathForTesting(folders);
  try {
    ZelopSymbol("bsop");
  } catch (const zelError& e) {
    SetZelopSearchPathForTesting("");
    return e;
  }
  SetZelopSearchPathForTesting("");
  return zelError(0, "loaded");
}

class ZelopLoaderCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(BuiltZelopDigest().empty());
    genuine_ = ReadAll(STRATLYN_ZELOP_PATH);
    ASSERT_GT(genuine_.size(), 30000u);
  }
  void TearDown() override {
    UnloadZelopLibrary();
    SetZelopSearchPathForTesting("");
  }
  ScratchDir dir_;
  std::string genuine_;
};

TEST_F(ZelopLoaderCheck, AChangedCopyIsRefusedNamingTheFileAndWhy) {
  // One byte more at the end: it would load and run, but it is not ours.
  const std::string folder = dir_.Path() + "/user";
  const std::string path = folder + "/libzelop32.so";
  WriteAll(path, genuine_ + '\0');
  zelError e = SearchError(folder);
  EXPECT_EQ(e.Number(), err::kLibraryLoad);
  EXPECT_EQ(e.Description(),
            std::string("Error in loading DLL: ") + path + " (" + kZelopWrongDigest + ")");
  EXPECT_FALSE(ZelopLibraryLoaded());

  // A few bytes patched inside, same length.
  std::string patched = genuine_;
  patched[patched.size() / 2] ^= 0x5a;
  WriteAll(path, patched);
  e = SearchError(folder);
  EXPECT_EQ(e.Number(), err::kLibraryLoad);
  EXPECT_NE(e.Description().find(kZelopWrongDigest), std::string::npos) << e.Description();

  // A link in the per-user folder to a changed copy elsewhere: the same.
  fs::remove(path);
  WriteAll(dir_.Path() + "/elsewhere/libzelop32.so", genuine_ + "x");
  fs::create_symlink(dir_.Path() + "/elsewhere/libzelop32.so", path);
  e = SearchError(folder);
  EXPECT_EQ(e.Number(), err::kLibraryLoad);
  EXPECT_NE(e.Description().find(path), std::string::npos) << e.Description();

  // Loading a path directly is checked too.
  std::string why;
  EXPECT_FALSE(LoadZelopLibrary(path, &why));
  EXPECT_EQ(why, kZelopWrongDigest);
  EXPECT_EQ(OpenVerifiedZelop(path), nullptr);
  EXPECT_FALSE(ZelopLibraryLoaded());
}

TEST_F(ZelopLoaderCheck, TruncatedCopiesAreRefusedWithoutABusError) {
  // Cut anywhere from 1,000 to 30,000 bytes: each is refused with error 48
  // (mapping such a copy would end the process with SIGBUS).
  const std::string folder = dir_.Path() + "/user";
  const std::string path = folder + "/libzelop32.so";
  for (size_t cut = 1000; cut <= 30000; cut += 1450) {
    WriteAll(path, genuine_.substr(0, cut));
    const zelError e = SearchError(folder);
    ASSERT_EQ(e.Number(), err::kLibraryLoad) << "cut at " << cut << ": " << e.Description();
    EXPECT_NE(e.Description().find(kZelopWrongDigest), std::string::npos) << e.Description();
  }
}

TEST_F(ZelopLoaderCheck, OddFilesAreRefusedAndAGoodCopyFurtherOnIsUsed) {
  const std::string fifo_folder = dir_.Path() + "/fifo";
  fs::create_directories(fifo_folder);
  ASSERT_EQ(::mkfifo((fifo_folder + "/libzelop32.so").c_str(), 0600), 0);
  const std::string big_folder = dir_.Path() + "/big";
  WriteAll(big_folder + "/libzelop32.so", "");
  fs::resize_file(big_folder + "/libzelop32.so", kZelopMaxBytes + 1);  // sparse
  const std::string empty_folder = dir_.Path() + "/empty";
  fs::create_directories(empty_folder);

  // A FIFO must not hang the search; a huge file is not read.
  zelError e = SearchError(fifo_folder + ":" + big_folder + ":" + empty_folder);
  EXPECT_EQ(e.Number(), err::kLibraryLoad);
  EXPECT_NE(e.Description().find(fifo_folder + "/libzelop32.so (" + kZelopNotAFile + ")"),
            std::string::npos)
      << e.Description();
  EXPECT_NE(e.Description().find(big_folder + "/libzelop32.so (" + kZelopTooLarge + ")"),
            std::string::npos)
      << e.Description();
  // No file at all is still "file not found".
  EXPECT_EQ(SearchError(empty_folder).Number(), err::kFileNotFound);

  // The genuine library after a refused one is loaded, and prices.
  const std::string good = dir_.Path() + "/good";
  WriteAll(good + "/libzelop32.so", genuine_);
  UnloadZelopLibrary();
  SetZelopSearchPathForTesting(fifo_folder + ":" + good);
  const auto bsop = reinterpret_cast<BsopFn>(ZelopSymbol("bsop"));
  ASSERT_NE(bsop, nullptr);
  EXPECT_NEAR(bsop(1, 0.1, 1.0, 50.0, 50.0, 0.25, 0.0), TextbookCall(), 1e-3);

  // What was checked is what runs: changing the file afterwards changes
  // nothing in the loaded copy.
  WriteAll(good + "/libzelop32.so", genuine_.substr(0, 2000));
  EXPECT_NEAR(bsop(1, 0.1, 1.0, 50.0, 50.0, 0.25, 0.0), TextbookCall(), 1e-3);
}

TEST(ZelopLoaderSearch, OnlyAbsoluteFoldersAndNeverTheLoadersPath) {
  SetZelopSearchPathForTesting("");
  ScratchDir dir;
  const std::string planted = dir.Path() + "/ld";
  fs::create_directories(planted);
  ScopedEnv ld("LD_LIBRARY_PATH", planted + ":");
  ScopedEnv xdg("XDG_DATA_HOME", "relative/data");
  {
    // A relative home is not the user's folder; the account's home is.
    ScopedEnv home("HOME", ".");
    const passwd* pw = ::getpwuid(::geteuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(ZelopUserLibraryDir(),
              (fs::path(pw->pw_dir) / ".local/share/stratlyn/lib").lexically_normal().string());
  }
  ScopedEnv home("HOME", dir.Path() + "/home");
  EXPECT_EQ(ZelopUserLibraryDir(), dir.Path() + "/home/.local/share/stratlyn/lib");
  const std::vector<std::string> folders = ZelopSearchFolders();
  ASSERT_EQ(folders.size(), 3u);
  for (const std::string& folder : folders) {
    EXPECT_EQ(folder[0], '/') << folder;
    EXPECT_NE(folder, planted);
  }
  // The program's folder, where it is installed beside it, the user's.
  const fs::path exe = fs::read_symlink("/proc/self/exe").parent_path();
  EXPECT_EQ(folders[0], exe.string());
  EXPECT_EQ(folders[1], (exe / "../lib/stratlyn").lexically_normal().string());
  EXPECT_EQ(folders[2], dir.Path() + "/home/.local/share/stratlyn/lib");
}

}  // namespace
}  // namespace stratlyn
