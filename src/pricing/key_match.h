#pragma once
// Exact, case-sensitive comparison of a key with a record's key member, with
// the cheap tests (length, first character) first.

#include <cstring>
#include <string>

namespace stratlyn {

inline bool KeyIs(const std::string& key, const std::string& member) {
  const size_t n = key.size();
  if (n != member.size()) return false;
  if (n == 0) return true;
  return key[0] == member[0] && std::memcmp(key.data(), member.data(), n) == 0;
}

}  // namespace stratlyn
