// The maker's page addresses, the address box's first entries and the
// forum administration table.

#include "shell/site_addresses.h"

#include <gtest/gtest.h>

namespace stratlyn {
namespace {

TEST(SiteAddresses, PagesOfAWebSiteAndOfTheBundledFolder) {
  const SiteAddresses web = SiteAddresses::ForSite("http://127.0.0.1:8080");
  EXPECT_EQ(web.HomePageUrl, "http://127.0.0.1:8080/");
  EXPECT_EQ(web.HowToUseUrl, "http://127.0.0.1:8080/public/zelmodhtm/howtouse.htm");
  EXPECT_EQ(web.ModulePageUrl, "http://127.0.0.1:8080/public/zelmodhtm/Velcaro/page1.htm");
  EXPECT_EQ(web.ForumUrl, "http://127.0.0.1:8080/public/forum/enterforum.cfm");
  EXPECT_EQ(web.LinksPageUrl, "http://127.0.0.1:8080/links.htm");
  EXPECT_EQ(web.DownloadUrl, "http://127.0.0.1:8080/public/modules/install/libzelop32.so");

  // A folder's root is its index page, not a file listing.
  const SiteAddresses folder = SiteAddresses::ForSite("file:///usr/share/stratlyn/site");
  EXPECT_EQ(folder.HomePageUrl, "file:///usr/share/stratlyn/site/index.htm");
  EXPECT_EQ(folder.LinksPageUrl, "file:///usr/share/stratlyn/site/links.htm");
  // The folder's forum entry is a plain page (no server to run the .cfm).
  EXPECT_EQ(folder.ForumUrl, "file:///usr/share/stratlyn/site/public/forum/enterforum.htm");

  const SiteAddresses none = SiteAddresses::ForSite("");
  EXPECT_TRUE(none.ForumUrl.empty());
  EXPECT_TRUE(none.HomePageUrl.empty());
}

TEST(SiteAddresses, NineEntriesOfTheAddressBox) {
  const auto entries = InitialNavigateEntries("https://rates.example");
  ASSERT_EQ(entries.size(), 9u);
  EXPECT_EQ(entries[0], "https://rates.example/markets/treasury.html");
  EXPECT_EQ(entries[6], "https://rates.example/markets/italy.html");
  EXPECT_EQ(entries[7], "https://rates.example/au/markets/au_bond.html");
  EXPECT_EQ(entries[8].substr(entries[8].size() - 3), "/?u");
}

TEST(SiteAddresses, ForumSetupPageOnlyForKnownSites) {
  const ForumSetupTable table = MakeForumSetupTable({"http://course.example", "", "file:///s"});
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(ForumSetupPage("http://course.example/public/forum/enterforum.cfm", table),
            "http://course.example/public/forum/forumsetup.htm");
  EXPECT_EQ(ForumSetupPage("file:///s/public/forum/enterforum.cfm", table),
            "file:///s/public/forum/forumsetup.htm");
  // A host that merely starts like a known one is not that site.
  EXPECT_EQ(ForumSetupPage("http://course.example.evil.net/forum", table), "");
  EXPECT_EQ(ForumSetupPage("", table), "");
}

}  // namespace
}  // namespace stratlyn
