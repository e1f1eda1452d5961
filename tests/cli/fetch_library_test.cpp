// stratlyn-cli fetch-library, run as a user runs it, against FTP servers the
// test starts on 127.0.0.1: where the copy may land, the deadline, and what
// a download ended by a signal leaves behind.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_server.h"
#include "tools/zel_ftp.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using stratlyn::testing::LoopbackFtpServer;
using stratlyn::testing::ScratchDir;

const std::string kUser = stratlyn::MakersFtpUser();
const std::string kPassword = stratlyn::MakersFtpPassword();

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string BuiltLibrary() { return fs::path(STRATLYN_CLI_PATH).parent_path() / "libzelop32.so"; }

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) names.push_back(e.path().filename());
  return names;
}

struct Child {
  pid_t pid = -1;
  std::string out, err;
};

// Starts stratlyn-cli with this process's environment, `env` ("NAME=value")
// replacing what it names.
Child Start(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& stem) {
  std::vector<std::string> all_env = env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    if (std::none_of(env.begin(), env.end(),
                     [&](const std::string& mine) { return mine.rfind(name, 0) == 0; })) {
      all_env.push_back(entry);
    }
  }
  std::vector<char*> envp;
  for (auto& e : all_env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_s = {STRATLYN_CLI_PATH};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  Child child;
  child.out = stem + ".out";
  child.err = stem + ".err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, child.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, child.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  if (::posix_spawn(&child.pid, STRATLYN_CLI_PATH, &actions, nullptr, argv.data(), envp.data()) !=
      0) {
    child.pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

// Waits (up to `seconds`) for the child; its wait status, or -1 if it is
// still running (it is then killed).
int Wait(const Child& child, int seconds = 60) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (::waitpid(child.pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      ::kill(child.pid, SIGKILL);
      ::waitpid(child.pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return status;
}

bool HasPart(const std::string& dir) {
  for (const std::string& n : Names(dir)) {
    if (n.rfind("libzelop32.so.part", 0) == 0) return true;
  }
  return false;
}

class FetchLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(BuiltLibrary(), remote_.Path() + "/libzelop32.so");
    stem_ = ::testing::TempDir() + "cli_fetch_" + std::to_string(getpid());
  }
  std::string LibDir() const { return home_.Path() + "/data/stratlyn/lib"; }
  std::vector<std::string> Env(const LoopbackFtpServer& server, std::string data = "") const {
    if (data.empty()) data = home_.Path() + "/data";
    return {"STRATLYN_FTP_URL=" + server.BaseUrl(), "XDG_DATA_HOME=" + data,
            "TMPDIR=" + tmp_.Path()};
  }

  ScratchDir remote_, home_, tmp_;
  std::string stem_;
};

TEST_F(FetchLibrary, InstallsIntoThePerUserFolderOrSaysWhyNot) {
  LoopbackFtpServer server(remote_.Path(), kUser, kPassword);
  ASSERT_TRUE(server.Ok()) << server.Error();
  Child c = Start({"fetch-library"}, Env(server), stem_);
  ASSERT_EQ(Wait(c), 0) << ReadAll(c.err);
  EXPECT_EQ(ReadAll(c.out), LibDir() + "/libzelop32.so\n");
  EXPECT_EQ(ReadAll(LibDir() + "/libzelop32.so"), ReadAll(BuiltLibrary()));

  // The per-user folder cannot be written: exit 1, said, and no copy in a
  // temporary folder that nothing searches, however often it is tried.
  const std::string blocker = home_.Path() + "/blocker";
  std::ofstream(blocker) << "x";
  const std::vector<std::string> env = Env(server, blocker);
  for (int attempt = 0; attempt < 2; ++attempt) {
    c = Start({"fetch-library"}, env, stem_);
    const int status = Wait(c);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(ReadAll(c.out), "");
    EXPECT_NE(ReadAll(c.err).find("the per-user library folder " + blocker +
                                  "/stratlyn/lib cannot be written"),
              std::string::npos)
        << ReadAll(c.err);
    EXPECT_EQ(Names(tmp_.Path()), std::vector<std::string>());
  }
}

TEST_F(FetchLibrary, ATricklingServerEndsAtTheDeadline) {
  // Four bytes a second: a server that never pauses long, never finishes.
  LoopbackFtpServer server(remote_.Path(), kUser, kPassword, false, 4);
  ASSERT_TRUE(server.Ok()) << server.Error();
  Child c = Start({"fetch-library", "--timeout", "2"}, Env(server), stem_);
  const int status = Wait(c);
  ASSERT_TRUE(WIFEXITED(status)) << "still running: " << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(ReadAll(c.err).find("no complete answer from 127.0.0.1 in 2 s"), std::string::npos)
      << ReadAll(c.err);
  EXPECT_FALSE(fs::exists(LibDir() + "/libzelop32.so"));
  EXPECT_FALSE(HasPart(LibDir()));

  c = Start({"fetch-library", "--timeout", "0"}, Env(server), stem_);
  EXPECT_EQ(WEXITSTATUS(Wait(c)), 2);
}

TEST_F(FetchLibrary, ADownloadEndedBySignalLeavesNoTemporaryFile) {
  LoopbackFtpServer slow(remote_.Path(), kUser, kPassword, false, 4);
  ASSERT_TRUE(slow.Ok()) << slow.Error();
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    Child c = Start({"fetch-library"}, Env(slow), stem_);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!HasPart(LibDir()) && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(HasPart(LibDir())) << "the download never started";
    ::kill(c.pid, sig);
    const int status = Wait(c);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig << ": " << status;
    EXPECT_EQ(Names(LibDir()), std::vector<std::string>()) << "after signal " << sig;
  }

  // Killed outright, nothing can clean up: the next run does.
  Child c = Start({"fetch-library"}, Env(slow), stem_);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!HasPart(LibDir()) && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(c.pid, SIGKILL);
  Wait(c);
  ASSERT_TRUE(HasPart(LibDir()));
  LoopbackFtpServer fast(remote_.Path(), kUser, kPassword);
  ASSERT_TRUE(fast.Ok()) << fast.Error();
  c = Start({"fetch-library"}, Env(fast), stem_);
  ASSERT_EQ(Wait(c), 0) << ReadAll(c.err);
  EXPECT_EQ(Names(LibDir()), std::vector<std::string>{"libzelop32.so"});
}

// A copy of the program with a changed library beside it (one byte more):
// no figure, error 48 naming the file and why, exit 1.
TEST(LibraryCheck, AChangedLibraryBesideTheProgramGivesNoFigure) {
  ScratchDir dir;
  fs::create_directories(dir.Path() + "/bin");
  fs::create_directories(dir.Path() + "/data");
  fs::copy_file(STRATLYN_CLI_PATH, dir.Path() + "/bin/stratlyn-cli");
  const std::string library = dir.Path() + "/bin/libzelop32.so";
  fs::copy_file(BuiltLibrary(), library);
  std::ofstream(library, std::ios::app | std::ios::binary) << '\0';
  const std::string stem = ::testing::TempDir() + "cli_check_" + std::to_string(getpid());
  const std::string command = "XDG_DATA_HOME='" + dir.Path() + "/data' '" + dir.Path() +
                              "/bin/stratlyn-cli' price --engine library --call --european "
                              "--spot 50 --strike 50 --maturity 1 --rate 0.1 --vol 0.25 "
                              "</dev/null >'" +
                              stem + ".out' 2>'" + stem + ".err'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(ReadAll(stem + ".out"), "");
  const std::string err = ReadAll(stem + ".err");
  EXPECT_NE(err.find("run-time error 48"), std::string::npos) << err;
  EXPECT_NE(err.find("Error in loading DLL: " + library +
                     " (its SHA-256 is not that of the library of this program)"),
            std::string::npos)
      << err;
}

}  // namespace
