// stratlyn-cli: option pricing in scripts and terminals.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "tools/library_download.h"
#include "util/zel_error.h"

namespace stratlyn::cli {
namespace {

constexpr const char* kCannotWriteOutput = "cannot write the output: ";

std::vector<CliCommand>& Registry() {
  static std::vector<CliCommand> commands;
  return commands;
}

void PrintOverview(std::ostream& out) {
  out << "Usage: stratlyn-cli COMMAND [OPTIONS]\n\n"
         "Option values, hedge parameters and implied volatilities from the terminal.\n\n"
         "Commands:\n";
  for (const auto& c : Commands()) {
    out << "  " << c.name << std::string(16 - std::min<size_t>(15, std::strlen(c.name)), ' ')
        << c.summary << '\n';
  }
  out << "\nRun 'stratlyn-cli COMMAND --help' for the options of a command.\n"
         "Exit status: 0 on success, 2 for invalid input, 1 for a run-time error.\n";
}

}  // namespace

const std::vector<CliCommand>& Commands() {
  auto& commands = Registry();
  std::sort(commands.begin(), commands.end(), [](const CliCommand& a, const CliCommand& b) {
    return std::strcmp(a.name, b.name) < 0;
  });
  return commands;
}

CliCommandRegistration::CliCommandRegistration(CliCommand command) {
  Registry().push_back(command);
}

}  // namespace stratlyn::cli

int main(int argc, char** argv) {
  using namespace stratlyn::cli;
  // A missing library is fetched the way a terminal can: the same verified
  // download as the window's, by its own command.
  stratlyn::ZelopLibraryRecovery recovery(kFetchLibraryHint);
  stratlyn::ScopedLibraryRecovery library_recovery(&recovery);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintOverview(args.empty() ? std::cerr : std::cout);
    return args.empty() ? kExitBadInput : kExitOk;
  }
  if (args[0] == "--version") {
    std::cout << "stratlyn-cli " << STRATLYN_VERSION << '\n';
    return kExitOk;
  }
  for (const auto& c : Commands()) {
    if (args[0] == c.name) {
      try {
        const int code = c.run(std::vector<std::string>(args.begin() + 1, args.end()));
        // What a command printed is its result: output that could not be
        // written (a full disk, /dev/full, a closed pipe) is a failure.
        errno = 0;
        std::cout.flush();
        const bool streamed = !std::cout.fail();
        const int stream_error = errno;
        if (std::fflush(stdout) != 0 || !streamed || std::fclose(stdout) != 0) {
          const int e = stream_error ? stream_error : (errno ? errno : EIO);
          std::cerr << "stratlyn-cli: " << kCannotWriteOutput << std::strerror(e) << '\n';
          return kExitRuntimeError;
        }
        return code;
      } catch (const stratlyn::zelError& e) {
        std::cerr << "stratlyn-cli: run-time error " << e.Number() << ": " << e.Description()
                  << '\n';
        return kExitRuntimeError;
      } catch (const std::exception& e) {
        std::cerr << "stratlyn-cli: " << e.what() << '\n';
        return kExitRuntimeError;
      }
    }
  }
  std::cerr << "stratlyn-cli: unknown command '" << args[0] << "'\n\n";
  PrintOverview(std::cerr);
  return kExitBadInput;
}
