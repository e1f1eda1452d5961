#include "pricing/zelop_digest.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>

namespace stratlyn {

namespace detail {
// Generated at build time from the linked libzelop32.so.
const char* BuiltZelopDigestValue();
}  // namespace detail

namespace {

struct CtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, CtxFree>;

DigestContext NewSha256() {
  DigestContext ctx(EVP_MD_CTX_new());
  if (ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
    ctx.reset();
  }
  return ctx;
}

std::string FinishHex(EVP_MD_CTX* ctx) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_DigestFinal_ex(ctx, md, &len) != 1) {
    return {};
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < len; ++i) {
    hex.push_back(kHex[md[i] >> 4]);
    hex.push_back(kHex[md[i] & 0xF]);
  }
  return hex;
}

}  // namespace

std::string BuiltZelopDigest() { return detail::BuiltZelopDigestValue(); }

std::string Sha256Hex(const void* data, std::size_t size) {
  const DigestContext ctx = NewSha256();
  if (!ctx || EVP_DigestUpdate(ctx.get(), data, size) != 1) {
    return {};
  }
  return FinishHex(ctx.get());
}

std::string FileSha256(const std::string& path) {
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  const DigestContext ctx = NewSha256();
  if (!file || !ctx) {
    return {};
  }
  unsigned char buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, file.get())) > 0) {
    if (EVP_DigestUpdate(ctx.get(), buf, n) != 1) {
      return {};
    }
  }
  if (std::ferror(file.get())) {
    return {};
  }
  return FinishHex(ctx.get());
}

bool MatchesBuiltZelop(const std::string& path) {
  const std::string expected = BuiltZelopDigest();
  if (expected.empty()) {
    return false;
  }
  return FileSha256(path) == expected;
}

}  // namespace stratlyn
