#pragma once
// A page or series file that could not be loaded or holds nothing to read.
// It is a zelError (number 57, device I/O) so that every handler that passes
// run-time errors on still catches it; a handler that catches FetchError
// first shows its Description(), which names the page and the cause, in a
// plain message box instead of the unexpected-error report.

#include <string>

#include "util/zel_error.h"

namespace stratlyn {

class FetchError : public zelError {
 public:
  explicit FetchError(const std::string& message) : zelError(err::kDeviceIO, message) {}
};

// "The series file NAME holds no observation": no "date,value" line with a
// number (only "ND" days, or an error page in its place).
std::string SeriesNoObservationMessage(const std::string& file);
// "The series file NAME could not be loaded: CAUSE".
std::string SeriesLoadFailedMessage(const std::string& file, const std::string& cause);
// "The page URL could not be loaded: CAUSE".
std::string PageLoadFailedMessage(const std::string& url, const std::string& cause);

}  // namespace stratlyn
