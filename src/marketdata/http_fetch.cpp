#include "marketdata/http_fetch.h"

#include <curl/curl.h>

#include <memory>
#include <utility>

namespace stratlyn {
namespace {

struct Body {
  std::string* text;
  std::size_t max_bytes;
  bool too_large = false;
};

size_t AppendBody(char* data, size_t size, size_t n, void* out) {
  auto* body = static_cast<Body*>(out);
  if (size * n > body->max_bytes - body->text->size()) {
    body->too_large = true;
    return 0;  // ends the transfer
  }
  body->text->append(data, size * n);
  return size * n;
}

// Asked by libcurl often during a transfer, and about once a second while
// nothing arrives: non-zero ends the transfer.
int CheckCancel(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(cancel)->load() ? 1 : 0;
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
    if (code == status) {
      return text + " (" + reason + ")";
    }
  }
  return text;
}

std::string NoAnswerText(long seconds) { return "no answer in " + std::to_string(seconds) + " s"; }

HttpPage FetchHttpPage(const std::string& url, long seconds, std::size_t max_bytes,
                       const std::atomic<bool>* cancel) {
  HttpPage page;
  if (seconds < 1) {
    seconds = 1;
  }
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
  // The whole request, not only a time without data: a server trickling a
  // byte now and then is given up on too.
  curl_easy_setopt(c.get(), CURLOPT_CONNECTTIMEOUT, seconds);
  curl_easy_setopt(c.get(), CURLOPT_TIMEOUT, seconds);
  curl_easy_setopt(c.get(), CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(c.get(), CURLOPT_ERRORBUFFER, error);
  // The announced size is refused before the transfer; the size received
  // (decompressed) is counted as it arrives.
  curl_easy_setopt(c.get(), CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(max_bytes));
  Body body{&page.body, max_bytes};
  curl_easy_setopt(c.get(), CURLOPT_WRITEFUNCTION, &AppendBody);
  curl_easy_setopt(c.get(), CURLOPT_WRITEDATA, &body);
  if (cancel != nullptr) {
    curl_easy_setopt(c.get(), CURLOPT_XFERINFOFUNCTION, &CheckCancel);
    curl_easy_setopt(c.get(), CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(cancel));
    curl_easy_setopt(c.get(), CURLOPT_NOPROGRESS, 0L);
    if (cancel->load()) {
      page.failure = kFetchStoppedText;
      return page;
    }
  }
  const CURLcode rc = curl_easy_perform(c.get());
  curl_easy_getinfo(c.get(), CURLINFO_RESPONSE_CODE, &page.status);
  char* type = nullptr;
  if (curl_easy_getinfo(c.get(), CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type != nullptr) {
    page.content_type = type;
  }
  // The host that answered last (after redirects) is the one named.
  char* effective = nullptr;
  curl_easy_getinfo(c.get(), CURLINFO_EFFECTIVE_URL, &effective);
  const std::string host = HostOfUrl(effective != nullptr ? effective : url);
  if (rc == CURLE_ABORTED_BY_CALLBACK) {
    page.failure = kFetchStoppedText;
  } else if (body.too_large || rc == CURLE_FILESIZE_EXCEEDED) {
    page.failure = AnswerTooLargeText(host, max_bytes);
  } else if (rc == CURLE_OPERATION_TIMEDOUT) {
    // Headers or part of the body came: an answer, but not a complete one.
    page.failure = page.status != 0 || !page.body.empty() ? NoCompleteAnswerText(host, seconds)
                                                          : NoAnswerText(seconds);
  } else if (rc != CURLE_OK) {
    page.failure = error[0] != '\0' ? error : curl_easy_strerror(rc);
  } else if (page.status < 200 || page.status > 299) {
    page.failure = HttpStatusText(page.status);
  }
  if (!page.failure.empty()) {
    page.body.clear();
  }
  return page;
}

}  // namespace stratlyn
