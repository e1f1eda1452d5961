#include "marketdata/fetch_error.h"

namespace stratlyn {

std::string SeriesNoObservationMessage(const std::string& file) {
  return "The series file " + file + " holds no observation";
}

std::string SeriesLoadFailedMessage(const std::string& file, const std::string& cause) {
  return "The series file " + file + " could not be loaded: " + cause;
}

std::string PageLoadFailedMessage(const std::string& url, const std::string& cause) {
  return "The page " + url + " could not be loaded: " + cause;
}

}  // namespace stratlyn
