// stratlyn-cli fetch-library: the verified download of the pricing library
// that the window offers, for a terminal.

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "pricing/zelop_loader.h"
#include "tools/library_download.h"
#include "util/numeric_entry.h"

namespace stratlyn::cli {
namespace {

constexpr const char* kUsage =
    "Usage: stratlyn-cli fetch-library [--timeout S]\n"
    "\n"
    "Downloads the pricing library libzelop32.so from the maker's file server\n"
    "(STRATLYN_FTP_URL) into the per-user library folder\n"
    "~/.local/share/stratlyn/lib/ ($XDG_DATA_HOME/stratlyn/lib/ when that is set),\n"
    "the folder the programs search besides their own. The file arrives as\n"
    "libzelop32.so.partXXXXXX beside it and takes its name only when its SHA-256\n"
    "is that of the library this program was built with; it is then loaded once\n"
    "to check it.\n"
    "\n"
    "  --timeout S    give up when the whole download has not arrived within\n"
    "                 S seconds (1 to 3600, default 300); a file over 16 MB is\n"
    "                 refused at once\n"
    "\n"
    "Exit status: 0 the library was installed; 1 it could not be downloaded, did\n"
    "not match, or the per-user library folder cannot be written (nothing is kept\n"
    "then, the reason on stderr); 2 invalid arguments.\n";

int Run(const std::vector<std::string>& args) {
  long seconds = zelFTP::kFileDeadlineSeconds;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return kExitOk;
    }
    if (a == "--timeout") {
      const auto v = i + 1 < args.size() ? NumericValue(args[i + 1]) : std::nullopt;
      if (!v || *v < 1 || *v > 3600 || *v != static_cast<double>(static_cast<long>(*v))) {
        std::cerr << "stratlyn-cli: --timeout needs whole seconds from 1 to 3600\n\n" << kUsage;
        return kExitBadInput;
      }
      seconds = static_cast<long>(*v);
      ++i;
      continue;
    }
    std::cerr << "stratlyn-cli fetch-library: unknown argument '" << a << "'\n\n" << kUsage;
    return kExitBadInput;
  }
  const LibraryFetch fetched = FetchVerifiedLibrary(kZelopLibraryName, seconds);
  std::string why = fetched.failure;
  if (fetched.path.empty() || !LoadZelopLibrary(fetched.path, &why)) {
    std::cerr << "stratlyn-cli fetch-library: " << kZelopLibraryName
              << " could not be downloaded: " << why << "; nothing was kept\n";
    return kExitRuntimeError;
  }
  std::cout << fetched.path << '\n';
  std::cerr << "stratlyn-cli fetch-library: " << kZelopLibraryName << " verified and installed as "
            << fetched.path << '\n';
  return kExitOk;
}

const CliCommandRegistration reg{
    {"fetch-library", "download and verify the pricing library libzelop32.so", &Run}};

}  // namespace
}  // namespace stratlyn::cli
