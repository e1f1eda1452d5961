// The window's runtime folder: XDG_RUNTIME_DIR only when it is a private
// folder of the user's, otherwise a new one from mkdtemp; no mode of a path
// someone else planted is ever changed.

#include "shell/runtime_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/loopback_server.h"

namespace stratlyn {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::ScratchDir;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "(unset)";
}

TEST(RuntimeDir, APlantedLinkIsNeitherUsedNorFollowed) {
  ScratchDir tmp;
  ScopedEnv tmpdir("TMPDIR", tmp.Path());
  ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
  // Another user's folder (mode 755) and a link to it under the name the
  // program would once have used, planted in the temporary folder.
  const std::string victim = tmp.Path() + "/victim";
  fs::create_directory(victim);
  ::chmod(victim.c_str(), 0755);
  const std::string old_name = tmp.Path() + "/stratlyn-runtime-" + std::to_string(::geteuid());
  fs::create_directory_symlink(victim, old_name);

  MadeRuntimeDir first = PrepareRuntimeDir();
  const std::string made = first.path;
  ASSERT_NE(made, "");
  EXPECT_EQ(Env("XDG_RUNTIME_DIR"), made);
  EXPECT_NE(made, old_name);
  EXPECT_NE(made, "/tmp/stratlyn-runtime-" + std::to_string(::geteuid()));
  EXPECT_EQ(fs::path(made).parent_path(), fs::path(tmp.Path()));
  EXPECT_EQ(fs::path(made).filename().string().rfind("stratlyn-runtime-", 0), 0u) << made;
  EXPECT_TRUE(IsPrivateFolder(made));
  EXPECT_EQ(ModeOf(made) & 0777, 0700u);
  EXPECT_EQ(ModeOf(victim) & 0777, 0755u) << "the link's target kept its mode";

  // Two runs never share a folder, and one running keeps its own.
  ::unsetenv("XDG_RUNTIME_DIR");
  MadeRuntimeDir second = PrepareRuntimeDir();
  ASSERT_NE(second.path, "");
  EXPECT_NE(second.path, made);
  EXPECT_TRUE(fs::is_directory(made));
  RemoveRuntimeDir(first);
  RemoveRuntimeDir(second);
  EXPECT_FALSE(fs::exists(made));
  EXPECT_TRUE(fs::is_directory(victim));

  // XDG_RUNTIME_DIR itself a link to a private folder: not used either.
  const std::string private_dir = tmp.Path() + "/private";
  fs::create_directory(private_dir);
  ::chmod(private_dir.c_str(), 0700);
  const std::string link = tmp.Path() + "/runtime-link";
  fs::create_directory_symlink(private_dir, link);
  ::setenv("XDG_RUNTIME_DIR", link.c_str(), 1);
  MadeRuntimeDir instead = PrepareRuntimeDir();
  EXPECT_NE(instead.path, "");
  EXPECT_EQ(Env("XDG_RUNTIME_DIR"), instead.path);
  RemoveRuntimeDir(instead);
  EXPECT_TRUE(fs::is_directory(private_dir));
}

TEST(RuntimeDir, XdgRuntimeDirIsKeptOnlyWhenPrivateAndNeverChanged) {
  ScratchDir tmp;
  ScopedEnv tmpdir("TMPDIR", tmp.Path());
  const std::string own = tmp.Path() + "/own";
  fs::create_directory(own);
  ::chmod(own.c_str(), 0700);
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", own);
    EXPECT_EQ(PrepareRuntimeDir().path, "");
    EXPECT_EQ(Env("XDG_RUNTIME_DIR"), own);
  }
  // Open to others: another folder is made, and this one keeps its mode.
  const std::string open = tmp.Path() + "/open";
  fs::create_directory(open);
  ::chmod(open.c_str(), 0755);
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", open);
    MadeRuntimeDir made = PrepareRuntimeDir();
    EXPECT_NE(made.path, "");
    EXPECT_EQ(Env("XDG_RUNTIME_DIR"), made.path);
    EXPECT_EQ(ModeOf(open) & 0777, 0755u);
    RemoveRuntimeDir(made);
  }
  // Owned by someone else (only root can give a folder away).
  if (::geteuid() == 0) {
    const std::string foreign = tmp.Path() + "/foreign";
    fs::create_directory(foreign);
    ::chmod(foreign.c_str(), 0700);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(IsPrivateFolder(foreign));
    ScopedEnv runtime("XDG_RUNTIME_DIR", foreign);
    MadeRuntimeDir made = PrepareRuntimeDir();
    EXPECT_NE(made.path, "");
    RemoveRuntimeDir(made);
  }
  // A relative name is never used.
  EXPECT_FALSE(IsPrivateFolder("."));
  // No folder can be made: XDG_RUNTIME_DIR is left unset, not pointed at
  // something shared.
  ScopedEnv bad_tmp("TMPDIR", tmp.Path() + "/no/such/folder");
  ScopedEnv runtime("XDG_RUNTIME_DIR", open);
  EXPECT_EQ(PrepareRuntimeDir().path, "");
  EXPECT_EQ(Env("XDG_RUNTIME_DIR"), "(unset)");
}

TEST(RuntimeDir, AFolderLeftByAKilledRunIsRemovedByTheNext) {
  ScratchDir tmp;
  ScopedEnv tmpdir("TMPDIR", tmp.Path());
  ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
  // A killed run: its folder stays, its lock is let go with the process.
  MadeRuntimeDir killed = PrepareRuntimeDir();
  ASSERT_NE(killed.path, "");
  std::ofstream(killed.path + "/socket-ish") << "left behind";
  ::close(killed.lock_fd);
  // A folder of the same form whose lock is held (a run still going) and
  // one that is not private stay.
  ::unsetenv("XDG_RUNTIME_DIR");
  MadeRuntimeDir running = PrepareRuntimeDir();
  ASSERT_NE(running.path, "");
  EXPECT_FALSE(fs::exists(killed.path));
  const std::string open = tmp.Path() + "/stratlyn-runtime-open00";
  fs::create_directory(open);
  ::chmod(open.c_str(), 0755);
  ::unsetenv("XDG_RUNTIME_DIR");
  MadeRuntimeDir next = PrepareRuntimeDir();
  ASSERT_NE(next.path, "");
  EXPECT_TRUE(fs::is_directory(running.path));
  EXPECT_TRUE(fs::is_directory(open));
  EXPECT_TRUE(fs::is_directory(next.path));
  RemoveRuntimeDir(running);
  RemoveRuntimeDir(next);
}

}  // namespace
}  // namespace stratlyn
