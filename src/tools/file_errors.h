#pragma once
// A failed system call on a file as a zelError: the run-time error number
// for errno (53 file not found, 70 permission denied, 76 path not found, 57
// device I/O for the rest) and the system's own words after `what`.

#include <cerrno>
#include <cstring>
#include <string>

#include "util/zel_error.h"

namespace stratlyn {

inline int ErrorNumberFor(int system_error) {
  switch (system_error) {
    case ENOENT:
      return err::kFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return err::kPermissionDenied;
    case ENOTDIR:
      return err::kPathNotFound;
    default:
      return err::kDeviceIO;
  }
}

[[noreturn]] inline void ThrowSystem(int system_error, const std::string& what) {
  throw zelError(ErrorNumberFor(system_error), what + ": " + std::strerror(system_error));
}

}  // namespace stratlyn
