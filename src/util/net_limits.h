#pragma once
// The limits of every wait for the network: each request ends by a deadline
// for the whole answer (not only a time without data), and each answer is
// cut off at a size cap. The texts say which limit ended a request.

#include <cstddef>
#include <string>

namespace stratlyn {

// A page (quote, series file, links page) is never larger.
inline constexpr std::size_t kPageMaxBytes = std::size_t{64} << 20;
// The whole-answer deadline of a page the window waits for.
inline constexpr long kPageDeadlineSeconds = 60;

// "no complete answer from HOST in N s".
std::string NoCompleteAnswerText(const std::string& host, long seconds);
// "the answer from HOST is larger than 64 MB" ("... than N bytes" for a cap
// that is no whole number of megabytes).
std::string AnswerTooLargeText(const std::string& host, std::size_t max_bytes);

// The host of an address, without user, port or path:
// "http://u@Example.com:8080/x" -> "Example.com"; "[::1]" stays bracketed.
std::string HostOfUrl(const std::string& url);

}  // namespace stratlyn
