#pragma once
// Running the built stratlyn-cli in a shell, as a user at a terminal runs
// it, for the tests of the terminal tool (their target defines
// STRATLYN_CLI_PATH, the program built).

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace stratlyn::testing {

struct CliResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// A file's whole text ("" when there is none).
inline std::string SlurpFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Runs `prefix`'stratlyn-cli' 'ARG' ... and keeps its exit code and output.
// `prefix` is the environment ("LC_ALL=de_DE.UTF-8 ") or a wrapper, empty or
// ending in a space. `name` starts the names of the two output files, made
// this process's and this call's own (ctest runs several tests at once).
inline CliResult RunCliCommand(const std::string& prefix, const std::vector<std::string>& args,
                               const std::string& name) {
  static int calls = 0;
  const std::string stem =
      ::testing::TempDir() + name + "_" + std::to_string(getpid()) + "_" + std::to_string(++calls);
  const std::string out_file = stem + ".out", err_file = stem + ".err";
  std::string command = prefix + "'" + STRATLYN_CLI_PATH + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  command += " >'" + out_file + "' 2>'" + err_file + "'";
  const int status = std::system(command.c_str());
  CliResult r;
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = SlurpFile(out_file);
  r.err = SlurpFile(err_file);
  std::remove(out_file.c_str());
  std::remove(err_file.c_str());
  return r;
}

}  // namespace stratlyn::testing
