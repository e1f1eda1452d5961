#include "util/zel_error.h"

#include <array>
#include <utility>

namespace stratlyn {
namespace {

struct ErrorRow {
  int number;
  const char* text;
};

// The classic run-time error texts.
constexpr std::array kErrorTable{
    ErrorRow{3, "Return without GoSub"},
    ErrorRow{5, "Invalid procedure call or argument"},
    ErrorRow{6, "Overflow"},
    ErrorRow{7, "Out of memory"},
    ErrorRow{9, "Subscript out of range"},
    ErrorRow{10, "This array is fixed or temporarily locked"},
    ErrorRow{11, "Division by zero"},
    ErrorRow{13, "Type mismatch"},
    ErrorRow{14, "Out of string space"},
    ErrorRow{28, "Out of stack space"},
    ErrorRow{35, "Sub or Function not defined"},
    ErrorRow{48, "Error in loading DLL"},
    ErrorRow{49, "Bad DLL calling convention"},
    ErrorRow{51, "Internal error"},
    ErrorRow{52, "Bad file name or number"},
    ErrorRow{53, "File not found"},
    ErrorRow{54, "Bad file mode"},
    ErrorRow{55, "File already open"},
    ErrorRow{57, "Device I/O error"},
    ErrorRow{58, "File already exists"},
    ErrorRow{61, "Disk full"},
    ErrorRow{62, "Input past end of file"},
    ErrorRow{67, "Too many files"},
    ErrorRow{68, "Device unavailable"},
    ErrorRow{70, "Permission denied"},
    ErrorRow{71, "Disk not ready"},
    ErrorRow{75, "Path/File access error"},
    ErrorRow{76, "Path not found"},
    ErrorRow{91, "Object variable or With block variable not set"},
    ErrorRow{92, "For loop not initialized"},
    ErrorRow{94, "Invalid use of Null"},
    ErrorRow{380, "Invalid property value"},
    ErrorRow{381, "Invalid property array index"},
    ErrorRow{429, "ActiveX component can't create object"},
    ErrorRow{438, "Object doesn't support this property or method"},
    ErrorRow{440, "Automation error"},
    ErrorRow{462, "The remote server machine does not exist or is unavailable"},
    ErrorRow{521, "Can't open Clipboard"},
};

}  // namespace

std::string ErrorText(int number) {
  for (const auto& row : kErrorTable) {
    if (row.number == number) {
      return row.text;
    }
  }
  return "Application-defined or object-defined error";
}

zelError::zelError(int number) : zelError(number, ErrorText(number)) {}

zelError::zelError(int number, const std::string& description)
    : std::runtime_error(description), number_(number), description_(description) {}

}  // namespace stratlyn
