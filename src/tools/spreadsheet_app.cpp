#include "tools/spreadsheet_app.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace stratlyn {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool ReadNumber(std::string_view text, double& number) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  bool percent = false;
  if (!text.empty() && text.back() == '%') {
    percent = true;
    text.remove_suffix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  }
  // from_chars takes a leading minus but no plus.
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
  if (text.empty()) return false;
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return false;
  }
  number = percent ? value / 100.0 : value;
  return true;
}

bool CellNumber(const CellValue& cell, double& number) {
  switch (cell.kind) {
    case CellValue::Kind::kEmpty:
      number = 0.0;
      return true;
    case CellValue::Kind::kNumber:
      number = cell.number;
      return std::isfinite(cell.number);
    case CellValue::Kind::kText:
      return ReadNumber(cell.text, number);
  }
  return false;
}

void AppendCellNumber(std::string& out, double value) {
  char buf[64];
  std::to_chars_result r;
  const float single = static_cast<float>(value);
  if (std::isfinite(value) && static_cast<double>(single) == value) {
    r = std::to_chars(buf, buf + sizeof buf, single);
  } else {
    r = std::to_chars(buf, buf + sizeof buf, value);
  }
  out.append(buf, r.ptr);
}

std::string FormatCellNumber(double value) {
  std::string out;
  AppendCellNumber(out, value);
  return out;
}

}  // namespace stratlyn
