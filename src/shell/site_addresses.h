#pragma once
// The web addresses of the main window: the maker's pages (home, help,
// module help, forum, links, library download) and the first entries of the
// bottom browser's address box.

#include <string>
#include <utility>
#include <vector>

namespace stratlyn {

struct SiteAddresses {
  std::string HomePageUrl;
  std::string HowToUseUrl;
  std::string ModulePageUrl;
  std::string ForumUrl;
  std::string LinksPageUrl;
  std::string DownloadUrl;

  // The addresses on the site `site` (scheme, host, optional port or a
  // file:// folder, no trailing slash). A folder's root page is its index.htm,
  // since a file:// address of a folder shows a file listing. An empty site
  // gives empty addresses.
  static SiteAddresses ForSite(const std::string& site);
};

// Module help lives under the help base, in the module's own folder.
inline constexpr const char* kHelpBasePath = "/public/zelmodhtm/";
inline constexpr const char* kModuleName = "Velcaro";
inline constexpr const char* kModulePage = "/page1.htm";
inline constexpr const char* kHowToUsePath = "/public/zelmodhtm/howtouse.htm";
inline constexpr const char* kForumPath = "/public/forum/enterforum.cfm";
// A folder of pages (file:) has no server to run the forum's entry page: the
// folder's copy is a plain page, which the browser shows as a page rather
// than as its source text.
inline constexpr const char* kFolderForumPath = "/public/forum/enterforum.htm";
inline constexpr const char* kForumSetupPath = "/public/forum/forumsetup.htm";
inline constexpr const char* kLinksPath = "/links.htm";
inline constexpr const char* kDownloadPath = "/public/modules/install/libzelop32.so";

// The nine first entries of the address box: eight rate pages of the news
// service (host `rates_site`) and the finance portal.
std::vector<std::string> InitialNavigateEntries(const std::string& rates_site);

// Sites whose forum has an administration page: (site, administration page).
using ForumSetupTable = std::vector<std::pair<std::string, std::string>>;
// The table for the maker sites in `sites` (each gets kForumSetupPath).
ForumSetupTable MakeForumSetupTable(const std::vector<std::string>& sites);
// The administration page of the site that `forum_url` belongs to, or "" when
// it belongs to none of the table's sites.
std::string ForumSetupPage(const std::string& forum_url, const ForumSetupTable& table);

}  // namespace stratlyn
