#include "shell/site_addresses.h"

namespace stratlyn {
namespace {

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

SiteAddresses SiteAddresses::ForSite(const std::string& site) {
  SiteAddresses a;
  if (site.empty()) {
    return a;
  }
  const bool folder = StartsWith(site, "file:");
  a.HomePageUrl = site + (folder ? "/index.htm" : "/");
  a.HowToUseUrl = site + kHowToUsePath;
  a.ModulePageUrl = site + kHelpBasePath;
  a.ModulePageUrl += kModuleName;
  a.ModulePageUrl += kModulePage;
  a.ForumUrl = site + (folder ? kFolderForumPath : kForumPath);
  a.LinksPageUrl = site + kLinksPath;
  a.DownloadUrl = site + kDownloadPath;
  return a;
}

std::vector<std::string> InitialNavigateEntries(const std::string& rates_site) {
  static const char* const kRatePaths[] = {
      "/markets/treasury.html", "/markets/uk.html",         "/markets/canada.html",
      "/markets/france.html",   "/markets/germany.html",    "/markets/japan.html",
      "/markets/italy.html",    "/au/markets/au_bond.html",
  };
  std::vector<std::string> entries;
  for (const char* path : kRatePaths) {
    entries.push_back(rates_site + path);
  }
  entries.emplace_back("https://finance.yahoo.com/?u");
  return entries;
}

ForumSetupTable MakeForumSetupTable(const std::vector<std::string>& sites) {
  ForumSetupTable table;
  for (const auto& site : sites) {
    if (!site.empty()) {
      table.emplace_back(site, site + kForumSetupPath);
    }
  }
  return table;
}

std::string ForumSetupPage(const std::string& forum_url, const ForumSetupTable& table) {
  if (forum_url.empty()) {
    return {};
  }
  for (const auto& [site, page] : table) {
    // The site must be followed by a path, so that http://a.org does not
    // claim http://a.org.example.net.
    if (StartsWith(forum_url, site + "/")) {
      return page;
    }
  }
  return {};
}

}  // namespace stratlyn
