// zelFTP against web and FTP servers that each test starts on 127.0.0.1.

#include "tools/zel_ftp.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/loopback_server.h"
#include "util/sites.h"

namespace stratlyn {
namespace {

using testing::LoopbackFtpServer;
using testing::LoopbackHttpServer;
using testing::ScopedEnv;
using testing::ScratchDir;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every byte value, and line ends that an ASCII transfer would rewrite.
std::string BinaryPayload() {
  std::string bytes;
  for (int round = 0; round < 40; ++round) {
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
    bytes += "\n\r\n\n\r";
  }
  return bytes;
}

// The libzelop32.so of this build (tests run in BUILD/tests).
std::string BuiltLibrary() { return sites::ExecutableDir() + "/../libzelop32.so"; }

TEST(zelFTP, GetUrlSourceReturnsTheBodyByteForByte) {
  ScratchDir dir;
  dir.Write("short.htm", "<p>tiny</p>");
  LoopbackHttpServer http(dir.Path());
  ASSERT_TRUE(http.Ok()) << http.Error();
  zelFTP ftp;

  // Shorter than one 256-byte chunk: exactly its bytes.
  EXPECT_EQ(ftp.GetUrlSource(http.BaseUrl() + "/short.htm"), "<p>tiny</p>");
  // Long and binary, zero bytes included.
  const std::string big = ftp.GetUrlSource(http.BaseUrl() + "/_bytes/300001");
  ASSERT_EQ(big.size(), 300001u);
  EXPECT_EQ(big[256], '\0');
  EXPECT_EQ(static_cast<unsigned char>(big[300000]), 300000 % 256);
  // Redirects are followed; the agent is the program's.
  EXPECT_EQ(ftp.GetUrlSource(http.BaseUrl() + "/_redirect/short.htm"), "<p>tiny</p>");
  EXPECT_NE(ftp.GetUrlSource(http.BaseUrl() + "/_echo").find("User-Agent: vb wininet"),
            std::string::npos);
}

TEST(zelFTP, GetUrlSourceGivesAnEmptyTextForEveryFailure) {
  ScratchDir dir;
  dir.Write("big.txt", "ab");
  LoopbackHttpServer http(dir.Path());
  ASSERT_TRUE(http.Ok()) << http.Error();
  zelFTP ftp;
  ftp.SetTimeouts(5, 1);
  EXPECT_EQ(ftp.GetUrlSource(http.BaseUrl() + "/missing.htm"), "");
  EXPECT_EQ(ftp.GetUrlSource(http.BaseUrl() + "/_status/500"), "");
  EXPECT_EQ(ftp.GetUrlSource(http.BaseUrl() + "/_stall/big.txt"), "");  // half, then silence
  EXPECT_EQ(ftp.GetUrlSource(http.BaseUrl() + "/_hang"), "");
  EXPECT_EQ(ftp.GetUrlSource("not an address"), "");
  EXPECT_EQ(ftp.GetUrlSource("file:///etc/hostname"), "");
  // Nothing listens on a stopped server's port.
  const std::string closed = http.BaseUrl() + "/big.txt";
  http.Stop();
  EXPECT_EQ(ftp.GetUrlSource(closed), "");
}

TEST(zelFTP, GetFileFetchesInBinaryModeAndReplacesTheLocalFile) {
  ScratchDir remote;
  ScratchDir local;
  const std::string payload = BinaryPayload();
  remote.Write("lib/data.bin", payload);
  // The server refuses ASCII-mode downloads, which would corrupt a library.
  LoopbackFtpServer server(remote.Path(), MakersFtpUser(), MakersFtpPassword(), true);
  ASSERT_TRUE(server.Ok()) << server.Error();
  ScopedEnv env("STRATLYN_FTP_URL", server.BaseUrl());

  const std::string store = local.Write("data.bin", "an older copy");
  zelFTP ftp;
  ASSERT_TRUE(ftp.getFile("lib/data.bin", store));
  EXPECT_EQ(ReadAll(store), payload);
  EXPECT_EQ(ftp.storedFile(), store);

  // A missing remote file or an unwritable place: false, and the file
  // stored before is neither touched nor forgotten.
  EXPECT_FALSE(ftp.getFile("lib/none.bin", store));
  EXPECT_FALSE(ftp.getFile("lib/data.bin", local.Path() + "/no/such/dir/data.bin"));
  EXPECT_FALSE(ftp.getFile("", store));
  EXPECT_EQ(ReadAll(store), payload);
  EXPECT_EQ(ftp.storedFile(), store);
  // No half-written leftovers beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(local.Path()),
                          std::filesystem::directory_iterator()),
            1);
}

// Number of entries in a folder.
long Entries(const std::string& dir) {
  return std::distance(std::filesystem::directory_iterator(dir),
                       std::filesystem::directory_iterator());
}

TEST(zelFTP, EveryRequestHasADeadlineForTheWholeAnswerAndASizeCap) {
  ScratchDir remote;
  ScratchDir local;
  remote.Write("slow.bin", std::string(4000, 'x'));
  // Four bytes a second: never a pause long enough for the stall limit.
  LoopbackFtpServer trickle(remote.Path(), MakersFtpUser(), MakersFtpPassword(), false, 4);
  ASSERT_TRUE(trickle.Ok()) << trickle.Error();
  ScopedEnv env("STRATLYN_FTP_URL", trickle.BaseUrl());
  zelFTP ftp;
  ftp.SetDeadline(2);
  EXPECT_FALSE(ftp.getFile("slow.bin", local.Path() + "/slow.bin"));
  EXPECT_EQ(ftp.lastFailure(), "no complete answer from 127.0.0.1 in 2 s");
  EXPECT_EQ(Entries(local.Path()), 0) << "no temporary file is left";

  // A file over the cap is refused; nothing is kept.
  remote.Write("big.bin", std::string(5000, 'y'));
  LoopbackFtpServer fast(remote.Path(), MakersFtpUser(), MakersFtpPassword());
  ASSERT_TRUE(fast.Ok()) << fast.Error();
  ScopedEnv fast_env("STRATLYN_FTP_URL", fast.BaseUrl());
  zelFTP capped;
  capped.SetMaxFileBytes(4999);
  EXPECT_FALSE(capped.getFile("big.bin", local.Path() + "/big.bin"));
  EXPECT_EQ(capped.lastFailure(), "the answer from 127.0.0.1 is larger than 4999 bytes");
  EXPECT_EQ(Entries(local.Path()), 0);
  capped.SetMaxFileBytes(5000);
  EXPECT_TRUE(capped.getFile("big.bin", local.Path() + "/big.bin"));
  EXPECT_EQ(capped.lastFailure(), "");

  // A check that refuses the complete file keeps it from the destination.
  capped.SetCommitCheck([](const std::string& temporary, std::string& why) {
    why = "refused " + std::to_string(ReadAll(temporary).size()) + " bytes";
    return false;
  });
  std::filesystem::remove(local.Path() + "/big.bin");
  EXPECT_FALSE(capped.getFile("big.bin", local.Path() + "/big.bin"));
  EXPECT_EQ(capped.lastFailure(), "refused 5000 bytes");
  EXPECT_EQ(Entries(local.Path()), 0);
}

TEST(zelFTP, PagesHaveADeadlineAndACapToo) {
  ScratchDir dir;
  LoopbackHttpServer http(dir.Path());
  ASSERT_TRUE(http.Ok()) << http.Error();
  zelFTP ftp;
  ftp.SetDeadline(2);
  EXPECT_EQ(ftp.GetUrlSource(http.BaseUrl() + "/_trickle/2"), "");
  EXPECT_EQ(ftp.lastFailure(), "no complete answer from 127.0.0.1 in 2 s");
  EXPECT_EQ(ftp.GetUrlSource(http.BaseUrl() + "/_headers"), "");
  EXPECT_EQ(ftp.lastFailure(), "no complete answer from 127.0.0.1 in 2 s");
  zelFTP endless;
  EXPECT_EQ(endless.GetUrlSource(http.BaseUrl() + "/_endless"), "");
  EXPECT_EQ(endless.lastFailure(), "the answer from 127.0.0.1 is larger than 64 MB");
}

TEST(zelFTP, LoginWordsSwapForOtherServers) {
  ScratchDir remote;
  ScratchDir local;
  remote.Write("cases.txt", "case 1\n");
  EXPECT_EQ(MakersFtpUser().size(), 6u);
  EXPECT_EQ(MakersFtpPassword().size(), 12u);
  EXPECT_NE(MakersFtpPassword(true), MakersFtpPassword(false));

  LoopbackFtpServer other(remote.Path(), MakersFtpUser(), MakersFtpPassword(true));
  ASSERT_TRUE(other.Ok()) << other.Error();
  const std::string site = "127.0.0.1:" + std::to_string(other.Port());
  zelFTP ftp;
  {
    ScopedEnv env("STRATLYN_FTP_URL", "ftp://files.invalid");
    EXPECT_TRUE(ftp.getCases("cases.txt", local.Path() + "/cases.txt", site));
    EXPECT_EQ(ReadAll(local.Path() + "/cases.txt"), "case 1\n");
  }
  {
    // The same server named as the maker's gets the maker's order: refused.
    ScopedEnv env("STRATLYN_FTP_URL", other.BaseUrl());
    EXPECT_FALSE(ftp.getCases("cases.txt", local.Path() + "/again.txt", site));
    EXPECT_FALSE(ftp.getFile("cases.txt", local.Path() + "/again.txt"));
  }
}

TEST(zelFTP, LoadFileLoadsTheLastFetchedLibrary) {
  zelFTP ftp;
  EXPECT_FALSE(ftp.loadFile());  // nothing fetched yet

  ScratchDir remote;
  ScratchDir local;
  std::filesystem::copy_file(BuiltLibrary(), remote.Path() + "/libzelop32.so");
  remote.Write("notes.txt", "not a library");
  LoopbackFtpServer server(remote.Path(), MakersFtpUser(), MakersFtpPassword());
  ASSERT_TRUE(server.Ok()) << server.Error();
  ScopedEnv env("STRATLYN_FTP_URL", server.BaseUrl());

  ASSERT_TRUE(ftp.getFile("libzelop32.so", local.Path() + "/libzelop32.so"));
  EXPECT_FALSE(ftp.getFile("missing.so", local.Path() + "/missing.so"));
  ASSERT_TRUE(ftp.loadFile());  // the last successful fetch
  ASSERT_NE(ftp.libraryHandle(), nullptr);
  EXPECT_NE(::dlsym(ftp.libraryHandle(), "bsop"), nullptr);
  ftp.freefile();
  EXPECT_EQ(ftp.libraryHandle(), nullptr);

  ASSERT_TRUE(ftp.getFile("notes.txt", local.Path() + "/notes.txt"));
  EXPECT_FALSE(ftp.loadFile());
  EXPECT_EQ(ftp.lastFailure(), "its SHA-256 is not that of the library of this program");

  // A changed copy of the library is refused as well: loaded only when it
  // is this build's library.
  std::ofstream(remote.Path() + "/libzelop32.so", std::ios::app | std::ios::binary) << '\0';
  ASSERT_TRUE(ftp.getFile("libzelop32.so", local.Path() + "/libzelop32.so"));
  EXPECT_FALSE(ftp.loadFile());
  EXPECT_EQ(ftp.libraryHandle(), nullptr);
}

}  // namespace
}  // namespace stratlyn
