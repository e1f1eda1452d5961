#include "util/sites.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace stratlyn::sites {
namespace {

std::string FromEnv(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    return fallback;
  }
  std::string url = value;
  while (!url.empty() && url.back() == '/') {
    url.pop_back();
  }
  return url;
}

}  // namespace

std::string ExchangeUrl() { return FromEnv("STRATLYN_EXCHANGE_URL", "https://www.cboe.com"); }
std::string FeedUrl() { return FromEnv("STRATLYN_FEED_URL", "https://cdn.cboe.com"); }
std::string FrbUrl() { return FromEnv("STRATLYN_FRB_URL", "https://www.federalreserve.gov"); }
std::string TreasuryUrl() { return FromEnv("STRATLYN_TREASURY_URL", "https://home.treasury.gov"); }
std::string RatesUrl() { return FromEnv("STRATLYN_RATES_URL", "https://www.bloomberg.com"); }
std::string FtpUrl() { return FromEnv("STRATLYN_FTP_URL", "ftp://ftp.stratlyn.org"); }

std::string SiteUrl() {
  const std::string dir = BundledSiteDir();
  return FromEnv("STRATLYN_SITE_URL", dir.empty() ? std::string() : "file://" + dir);
}

std::string ExecutableDir() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) {
    return ".";
  }
  return exe.parent_path().string();
}

std::string BundledSiteDir() {
  namespace fs = std::filesystem;
  const fs::path exe_dir = ExecutableDir();
  const fs::path candidates[] = {
      exe_dir / "../share/stratlyn/site",
      exe_dir / "site",
      exe_dir / "../site",
  };
  std::error_code ec;
  for (const auto& dir : candidates) {
    if (fs::is_regular_file(dir / "index.htm", ec) || fs::is_regular_file(dir / "index.html", ec)) {
      return fs::weakly_canonical(dir, ec).string();
    }
  }
  return {};
}

}  // namespace stratlyn::sites
