#pragma once
// Pages fetched directly over HTTP (the command line has no browser view),
// with the cause of a failure in words: the status the server answered, or
// the time-out. Redirects are followed; nothing is cached.

#include <string>

namespace stratlyn {

// The time a server may take to connect, or between two pieces of a page.
inline constexpr long kDefaultFetchSeconds = 30;

struct HttpPage {
  long status = 0;           // the final HTTP status (0 when nothing answered)
  std::string content_type;  // the Content-Type header ("" when none)
  std::string body;          // the body as sent, byte for byte
  std::string failure;       // why the page is not there; "" when it is (2xx)
};

// GET `url` (http or https). A server that does not connect, or sends
// nothing for `seconds`, ends in the failure NoAnswerText(seconds); a status
// outside 2xx in HttpStatusText(status); other faults in libcurl's words.
HttpPage FetchHttpPage(const std::string& url, long seconds = kDefaultFetchSeconds);

// "HTTP 404 (Not Found)"; "HTTP 599" for a code without a known reason.
std::string HttpStatusText(long status);
// "no answer in 30 s".
std::string NoAnswerText(long seconds);

}  // namespace stratlyn
