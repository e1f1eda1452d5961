#pragma once
// The subcommands of stratlyn-cli. Each lives in its own file and registers
// itself with a static CliCommandRegistration.

#include <string>
#include <vector>

namespace stratlyn::cli {

// Exit codes of every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRuntimeError = 1;
inline constexpr int kExitBadInput = 2;

// How a user of the terminal fetches the pricing library (it has no Help
// menu), ending the messages "Please download it ...".
inline constexpr const char* kFetchLibraryHint = "with the command  stratlyn-cli fetch-library";

// args: the words after the subcommand's name. Returns the exit code.
using CommandFn = int (*)(const std::vector<std::string>& args);

struct CliCommand {
  const char* name;
  const char* summary;  // one line for the overview
  CommandFn run;
};

// All registered commands, in the order their names sort.
const std::vector<CliCommand>& Commands();

struct CliCommandRegistration {
  explicit CliCommandRegistration(CliCommand command);
};

}  // namespace stratlyn::cli
