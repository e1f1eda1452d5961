#pragma once
// Pages fetched directly over HTTP (the command line has no browser view),
// with the cause of a failure in words: the status the server answered, the
// deadline or the size cap. Redirects are followed; nothing is cached.

#include <atomic>
#include <cstddef>
#include <string>

#include "util/net_limits.h"

namespace stratlyn {

// The deadline for a whole page: connecting, every redirect and the last byte.
inline constexpr long kDefaultFetchSeconds = 30;

struct HttpPage {
  long status = 0;           // the final HTTP status (0 when nothing answered)
  std::string content_type;  // the Content-Type header ("" when none)
  std::string body;          // the body as sent, byte for byte
  std::string failure;       // why the page is not there; "" when it is (2xx)
};

// GET `url` (http or https). The whole answer must have arrived within
// `seconds`: a server that sent nothing by then ends in the failure
// NoAnswerText(seconds), one that sent part of it (however slowly, or only
// its headers) in NoCompleteAnswerText(host, seconds). A body over
// `max_bytes` (after decompression) ends in AnswerTooLargeText; a status
// outside 2xx in HttpStatusText(status); other faults in libcurl's words.
// When `cancel` becomes true the transfer ends within about a second, in the
// failure kFetchStoppedText.
HttpPage FetchHttpPage(const std::string& url, long seconds = kDefaultFetchSeconds,
                       std::size_t max_bytes = kPageMaxBytes,
                       const std::atomic<bool>* cancel = nullptr);

// The failure of a fetch ended by its cancel flag.
inline constexpr const char* kFetchStoppedText = "stopped";

// "HTTP 404 (Not Found)"; "HTTP 599" for a code without a known reason.
std::string HttpStatusText(long status);
// "no answer in 30 s".
std::string NoAnswerText(long seconds);

}  // namespace stratlyn
