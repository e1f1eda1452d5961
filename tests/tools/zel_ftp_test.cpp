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
}

}  // namespace
}  // namespace stratlyn
