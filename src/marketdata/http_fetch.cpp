#include "marketdata/http_fetch.h"

#include <curl/curl.h>

#include <memory>
#include <utility>

namespace stratlyn {
namespace {

size_t AppendBody(char* data, size_t size, size_t n, void* out) {
  static_cast<std::string*>(out)->append(data, size * n);
  return size * n;
}

struct CurlCleanup {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

}  // namespace

std::string HttpStatusText(long status) {
  static constexpr std::pair<long, const char*> kReasons[] = {{400, "Bad Request"},
                                                              {401, "Unauthorized"},
                                                              {403, "Forbidden"},
                                                              {404, "Not Found"},
                                                              {405, "Method Not Allowed"},
                                                              {408, "Request Timeout"},
                                                              {410, "Gone"},
                                                              {429, "Too Many Requests"},
                                                              {500, "Internal Server Error"},
                                                              {501, "Not Implemented"},
                                                              {502, "Bad Gateway"},
                                                              {503, "Service Unavailable"},
                                                              {504, "Gateway Timeout"},
                                                              {300, "Multiple Choices"},
                                                              {304, "Not Modified"},
                                                              {204, "No Content"}};
  std::string text = "HTTP " + std::to_string(status);
  for (const auto& [code, reason] : kReasons) {
    if (code == status) return text + " (" + reason + ")";
  }
  return text;
}

std::string NoAnswerText(long seconds) { return "no answer in " + std::to_string(seconds) + " s"; }

HttpPage FetchHttpPage(const std::string& url, long seconds) {
  HttpPage page;
  if (seconds < 1) seconds = 1;
  std::unique_ptr<CURL, CurlCleanup> c(curl_easy_init());
  if (!c) {
    page.failure = "the network library could not start";
    return page;
  }
  char error[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(c.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(c.get(), CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c.get(), CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(c.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c.get(), CURLOPT_CONNECTTIMEOUT, seconds);
  // A server that sends nothing for `seconds` has not answered.
  curl_easy_setopt(c.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c.get(), CURLOPT_LOW_SPEED_TIME, seconds);
  curl_easy_setopt(c.get(), CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(c.get(), CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c.get(), CURLOPT_WRITEFUNCTION, &AppendBody);
  curl_easy_setopt(c.get(), CURLOPT_WRITEDATA, &page.body);
  const CURLcode rc = curl_easy_perform(c.get());
  curl_easy_getinfo(c.get(), CURLINFO_RESPONSE_CODE, &page.status);
  char* type = nullptr;
  if (curl_easy_getinfo(c.get(), CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type != nullptr) {
    page.content_type = type;
  }
  if (rc == CURLE_OPERATION_TIMEDOUT) {
    page.failure = NoAnswerText(seconds);
  } else if (rc != CURLE_OK) {
    page.failure = error[0] != '\0' ? error : curl_easy_strerror(rc);
  } else if (page.status < 200 || page.status > 299) {
    page.failure = HttpStatusText(page.status);
  }
  if (!page.failure.empty()) page.body.clear();
  return page;
}

}  // namespace stratlyn
