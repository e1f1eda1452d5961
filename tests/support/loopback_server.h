#pragma once
// Servers on 127.0.0.1 for network tests, each a child process of the test
// (Debian's /usr/bin/python3 running a script of tests/support/servers/).
// The kernel picks a free port; the constructor waits (up to 15 s) until the
// child prints it. The destructor stops the child by its process id.
//
//   #include "support/loopback_server.h"
//   ScratchDir dir;                              // a fresh folder, removed at the end
//   dir.Write("quote.aspx?ticker=IBM", "<html>...</html>");
//   LoopbackHttpServer http(dir.Path());
//   ASSERT_TRUE(http.Ok()) << http.Error();
//   fetch(http.BaseUrl() + "/quote.aspx?ticker=IBM");   // "http://127.0.0.1:PORT/..."
//   ScopedEnv env("STRATLYN_EXCHANGE_URL", http.BaseUrl());  // point sites:: at it
//
// The HTTP server serves files of its folder; a request with a query first
// looks for the file named "PATH?QUERY", then PATH. Fault paths:
//   /_status/CODE        that status code      /_redirect/PATH   302 to /PATH
//   /_slow/MS/PATH       PATH in 64-byte pieces MS ms apart
//   /_stall/PATH         half of PATH, then silence      /_hang   never answers
//   /_bytes/N            N binary bytes 0..255 repeating  /_echo  request headers
//   /_download/PATH      PATH as application/octet-stream (a browser downloads it)
//   /_trickle/N          a page trickled at N bytes a second   /_headers  headers, then silence
//   /_endless            a page that never ends   /_named/NAME/PATH  PATH saved as NAME
//   /_browserlate/MS/PATH  PATH, MS ms late to a web browser, at once to others
//
//   LoopbackFtpServer ftp(dir.Path(), "user", "password");  // read-only, passive mode
//   (a fourth argument `true` refuses ASCII-mode downloads; a fifth, N > 0,
//   trickles every download at N bytes a second)
//   ftp.BaseUrl() == "ftp://127.0.0.1:PORT"
//
// Set STRATLYN_SERVER_LOG=1 to see the servers' request logs on stderr.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace stratlyn::testing {

// The folder of the server scripts.
inline std::filesystem::path LoopbackScriptDir() {
#ifdef STRATLYN_TEST_SERVERS_DIR
  return STRATLYN_TEST_SERVERS_DIR;
#else
  return std::filesystem::path(__FILE__).parent_path() / "servers";
#endif
}

// A child process running one server script; not copyable or movable.
class LoopbackServer {
 public:
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;
  ~LoopbackServer() { Stop(); }

  bool Ok() const { return port_ > 0; }
  // Why the server did not start ("" when it did).
  const std::string& Error() const { return error_; }
  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }
  static std::string Host() { return "127.0.0.1"; }
  // scheme://127.0.0.1:PORT, without a trailing slash.
  std::string BaseUrl() const { return scheme_ + "://127.0.0.1:" + std::to_string(port_); }

  // Ends the child (SIGTERM, then SIGKILL after 3 s) and reaps it.
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      ::usleep(10000);
    }
    pid_ = -1;
    port_ = 0;
  }

 protected:
  LoopbackServer(std::string scheme, const std::string& script, std::vector<std::string> args)
      : scheme_(std::move(scheme)) {
    Start(script, std::move(args));
  }

 private:
  void Start(const std::string& script, std::vector<std::string> args) {
    const std::string python = "/usr/bin/python3";
    const std::string path = (LoopbackScriptDir() / script).string();
    args.insert(args.begin(), {python, path});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      error_ = "pipe failed";
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    const int rc = ::posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
      pid_ = -1;
      ::close(fds[0]);
      error_ = "cannot start " + python;
      return;
    }
    // The first line on the child's stdout is its port.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (line.find('\n') == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fds[0], POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buf[64];
      const ssize_t n = ::read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    port_ = std::atoi(line.c_str());
    if (port_ <= 0) {
      error_ = "server " + script + " did not report a port (is python3-pyftpdlib installed?)";
      Stop();
    }
  }

  std::string scheme_;
  std::string error_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// HTTP server over the folder `root` (see the fault paths above).
class LoopbackHttpServer : public LoopbackServer {
 public:
  explicit LoopbackHttpServer(const std::string& root)
      : LoopbackServer("http", "http_server.py", {root}) {}
};

// FTP server over the folder `root` for one user with a password. With
// `binary_only` it refuses downloads asked for in ASCII mode (550).
class LoopbackFtpServer : public LoopbackServer {
 public:
  LoopbackFtpServer(const std::string& root, const std::string& user, const std::string& password,
                    bool binary_only = false, int bytes_per_second = 0)
      : LoopbackServer("ftp", "ftp_server.py",
                       {root, user, password, binary_only ? "binary-only" : "any-type",
                        std::to_string(bytes_per_second > 0 ? bytes_per_second : 0)}) {}
};

// A fresh temporary folder, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/stratlyn-test-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  // Writes `content` to the file `name` (folders created); returns its full path.
  std::string Write(const std::string& name, const std::string& content) const {
    const std::filesystem::path file = std::filesystem::path(path_) / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
    return file.string();
  }

 private:
  std::string path_;
};

// Sets (or, with nullptr, unsets) an environment variable for one scope and
// restores the old value after: STRATLYN_*_URL, XDG_DATA_HOME, TMPDIR...
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
  ~ScopedEnv() { had_ ? ::setenv(name_.c_str(), old_.c_str(), 1) : ::unsetenv(name_.c_str()); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

}  // namespace stratlyn::testing
