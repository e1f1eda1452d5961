#pragma once
// The one run-time error type of the program: an error number from the classic
// run-time error table (5, 6, 11, 13, 48, 53, 380, ...) and a description.
// Command handlers catch it and hand it to ErrorHandler.

#include <stdexcept>
#include <string>

namespace stratlyn {

// Classic run-time error numbers used across the program.
namespace err {
inline constexpr int kInvalidCall = 5;  // invalid procedure call or argument
inline constexpr int kOverflow = 6;     // overflow
inline constexpr int kOutOfMemory = 7;
inline constexpr int kSubscript = 9;  // subscript out of range
inline constexpr int kDivisionByZero = 11;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kLibraryLoad = 48;  // error in loading a library
inline constexpr int kBadFile = 52;
inline constexpr int kFileNotFound = 53;
inline constexpr int kDeviceIO = 57;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathAccess = 75;
inline constexpr int kPathNotFound = 76;
inline constexpr int kObjectNotSet = 91;
inline constexpr int kInvalidPropertyValue = 380;
inline constexpr int kInvalidPropertyIndex = 381;
inline constexpr int kCannotCreateObject = 429;
inline constexpr int kCannotOpenClipboard = 521;
}  // namespace err

// The platform's message text for a run-time error number ("Overflow" for 6),
// or "Application-defined or object-defined error" for numbers not in the table.
std::string ErrorText(int number);

class zelError : public std::runtime_error {
 public:
  // description defaults to ErrorText(number).
  explicit zelError(int number);
  zelError(int number, const std::string& description);

  int Number() const { return number_; }
  const std::string& Description() const { return description_; }

 private:
  int number_;
  std::string description_;
};

}  // namespace stratlyn
