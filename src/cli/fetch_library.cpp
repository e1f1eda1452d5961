// stratlyn-cli fetch-library: the verified download of the pricing library
// that the window offers, for a terminal.

#include <iostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "pricing/zelop_loader.h"
#include "tools/library_download.h"

namespace stratlyn::cli {
namespace {

constexpr const char* kUsage =
    "Usage: stratlyn-cli fetch-library\n"
    "\n"
    "Downloads the pricing library libzelop32.so from the maker's file server\n"
    "(STRATLYN_FTP_URL) into the per-user library folder\n"
    "~/.local/share/stratlyn/lib/ (a private folder under $TMPDIR when that is\n"
    "not writable), keeps it only when its SHA-256 is that of the library this\n"
    "program was built with, and loads it once to check it.\n"
    "\n"
    "Exit status: 0 the library was installed; 1 it could not be downloaded or\n"
    "did not match (nothing is kept then); 2 invalid arguments.\n";

int Run(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return kExitOk;
    }
    std::cerr << "stratlyn-cli fetch-library: unknown argument '" << a << "'\n\n" << kUsage;
    return kExitBadInput;
  }
  const std::string path = FetchVerifiedLibrary(kZelopLibraryName);
  if (path.empty() || !LoadZelopLibrary(path)) {
    std::cerr << "stratlyn-cli fetch-library: " << kZelopLibraryName
              << " could not be downloaded, or it is not the library of this program; "
                 "nothing was kept\n";
    return kExitRuntimeError;
  }
  std::cout << path << '\n';
  std::cerr << "stratlyn-cli fetch-library: " << kZelopLibraryName << " verified and installed as "
            << path << '\n';
  return kExitOk;
}

const CliCommandRegistration reg{
    {"fetch-library", "download and verify the pricing library libzelop32.so", &Run}};

}  // namespace
}  // namespace stratlyn::cli
