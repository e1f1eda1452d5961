// The program's window title as the X server sees it: the program itself
// under Xvfb, its top-level window read back with xprop.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace stratlyn {
namespace {

// Runs `command` through the shell and returns what it printed.
std::string Output(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
  if (!pipe) return {};
  std::string out;
  char buf[256];
  while (fgets(buf, sizeof buf, pipe.get()) != nullptr) out += buf;
  return out;
}

TEST(WindowTitle, TheWindowTitleStandsAloneWithoutTheProgramsName) {
  // The tests run in build/tests; the program is built beside them.
  const std::filesystem::path program = std::filesystem::absolute("../stratlyn");
  if (!std::filesystem::exists(program)) GTEST_SKIP() << "no " << program;
  if (Output("for t in xvfb-run xprop xwininfo; do command -v $t; done | wc -l").find('3') ==
      std::string::npos) {
    GTEST_SKIP() << "xvfb-run, xprop or xwininfo missing";
  }
  // Starts the program, waits for its window (up to 90 s, for a loaded machine), prints the
  // title the window manager would show, and ends the program it started.
  const std::string script =
      "\"$0\" >/dev/null 2>&1 & app=$!; id=; "
      "for i in $(seq 1 900); do "
      "id=$(xwininfo -root -tree 2>/dev/null | awk '/\"ZEL Stratlyn/ {print $1; exit}'); "
      "[ -n \"$id\" ] && break; sleep 0.1; done; "
      "[ -n \"$id\" ] && xprop -id \"$id\" _NET_WM_NAME; kill $app; wait $app 2>/dev/null";
  const std::string out =
      Output("env -u QT_QPA_PLATFORM xvfb-run -a -s '-screen 0 1024x768x24' sh -c '" +
             [&] {
               std::string quoted;
               for (char c : script) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
               return quoted;
             }() +
             "' '" + program.string() + "' 2>/dev/null");
  EXPECT_NE(out.find("_NET_WM_NAME(UTF8_STRING) = \"ZEL Stratlyn \"\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace stratlyn
