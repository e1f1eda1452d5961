#pragma once
// The SHA-256 digest of the libzelop32.so this build produced (taken when it
// was linked), and the check that a file is that library.

#include <cstddef>
#include <string>

namespace stratlyn {

// Lowercase hex SHA-256 of the library this build produced; "" when the
// build made none.
std::string BuiltZelopDigest();

// Lowercase hex SHA-256 of `size` bytes at `data`.
std::string Sha256Hex(const void* data, std::size_t size);

// Lowercase hex SHA-256 of a file's bytes; "" when it cannot be read.
std::string FileSha256(const std::string& path);

// True when the file at `path` is byte for byte the library this build
// produced (false when either digest is unknown).
bool MatchesBuiltZelop(const std::string& path);

}  // namespace stratlyn
