#pragma once
// The web hosts the program talks to. Each is a base address (scheme, host,
// optional port, no trailing slash) that an environment variable can replace,
// so that tests point them at loopback servers.

#include <string>

namespace stratlyn::sites {

// The exchange's web pages (quotes, symbol directory, historical volatilities).
// STRATLYN_EXCHANGE_URL, default https://www.cboe.com
std::string ExchangeUrl();
// The exchange's JSON delayed-quote feed. STRATLYN_FEED_URL, default https://cdn.cboe.com
std::string FeedUrl();
// The Federal Reserve's host: the H.15 data download and the series files. STRATLYN_FRB_URL,
// default https://www.federalreserve.gov
std::string FrbUrl();
// The U.S. Treasury's daily par yield curve files. STRATLYN_TREASURY_URL,
// default https://home.treasury.gov
std::string TreasuryUrl();
// The benchmark-rate pages. STRATLYN_RATES_URL, default https://www.bloomberg.com
std::string RatesUrl();
// The maker's site (help, home, links, forum, download). STRATLYN_SITE_URL,
// default the bundled site folder as a file:// address.
std::string SiteUrl();
// The maker's file server. STRATLYN_FTP_URL, default ftp://ftp.stratlyn.org
std::string FtpUrl();

// The folder of the running executable (no trailing slash).
std::string ExecutableDir();
// The bundled site folder: share/stratlyn/site beside the installed program,
// or site/ of the build folder the program (or test) runs from; "" when none
// exists. Found from the executable's own place, so no path is compiled in.
std::string BundledSiteDir();

}  // namespace stratlyn::sites
