#include "util/net_limits.h"

namespace stratlyn {

std::string NoCompleteAnswerText(const std::string& host, long seconds) {
  return "no complete answer from " + host + " in " + std::to_string(seconds) + " s";
}

std::string AnswerTooLargeText(const std::string& host, std::size_t max_bytes) {
  const bool whole_mb =
      max_bytes >= (std::size_t{1} << 20) && max_bytes % (std::size_t{1} << 20) == 0;
  return "the answer from " + host + " is larger than " +
         (whole_mb ? std::to_string(max_bytes >> 20) + " MB"
                   : std::to_string(max_bytes) + " bytes");
}

std::string HostOfUrl(const std::string& url) {
  size_t begin = url.find("://");
  begin = begin == std::string::npos ? 0 : begin + 3;
  const size_t end = url.find_first_of("/?#", begin);
  std::string authority =
      url.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) {
    authority.erase(0, at + 1);
  }
  if (!authority.empty() && authority[0] == '[') {
    const size_t close = authority.find(']');
    return close == std::string::npos ? authority : authority.substr(0, close + 1);
  }
  const size_t colon = authority.find(':');
  return colon == std::string::npos ? authority : authority.substr(0, colon);
}

}  // namespace stratlyn
