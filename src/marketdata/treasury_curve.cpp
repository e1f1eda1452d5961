#include "marketdata/treasury_curve.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "marketdata/civil_date.h"
#include "marketdata/page_figure.h"
#include "util/format.h"
#include "util/sites.h"
#include "util/text.h"

namespace stratlyn {
namespace {

// The H.15 package of nominal Treasury constant maturities (1 month to 30
// years), daily, as the Board's data download names it.
constexpr const char* kH15SeriesPackage = "bf17364827e38702b42a58cf8eaa3f78";
constexpr int kH15LastObservations = 20;
constexpr double kLowestYield = -20;
constexpr double kHighestYield = 100;

std::string Lower(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return s;
}

bool EmptyCell(const std::string& cell) {
  const std::string t = Lower(Trim(cell));
  return t.empty() || t == "nd" || t == "n/a" || t == "na";
}

// The H.15 identifier form: RIFLGFCM03_N.B (3 months), RIFLGFCY10_N.B (10 years).
std::optional<double> TenorOfIdentifier(const std::string& id) {
  const std::string u = Trim(id);
  const size_t p = u.find("RIFLGFC");
  if (p == std::string::npos || p + 10 > u.size()) {
    return std::nullopt;
  }
  const char unit = u[p + 7];
  if (!std::isdigit(static_cast<unsigned char>(u[p + 8])) ||
      !std::isdigit(static_cast<unsigned char>(u[p + 9]))) {
    return std::nullopt;
  }
  const int n = (u[p + 8] - '0') * 10 + (u[p + 9] - '0');
  if (unit == 'M') {
    return n;
  }
  if (unit == 'Y') {
    return 12.0 * n;
  }
  return std::nullopt;
}

// A curve from the tenor columns of the row with the latest date.
std::optional<ParCurve> CurveOfLatestRow(
    const std::vector<std::pair<std::chrono::year_month_day, std::vector<std::string>>>& rows,
    const std::map<size_t, std::pair<std::string, double>>& tenors, const std::string& page,
    std::string& problem) {
  const std::pair<std::chrono::year_month_day, std::vector<std::string>>* latest = nullptr;
  // A row dated after tomorrow is a fault of the file (a mistyped year), not
  // the latest observation.
  const auto tomorrow =
      std::chrono::sys_days{LocalDate(std::chrono::system_clock::now())} + std::chrono::days{1};
  for (const auto& row : rows) {
    if (std::chrono::sys_days{row.first} > tomorrow) {
      continue;
    }
    bool any = false;
    for (const auto& [col, tenor] : tenors) {
      if (col < row.second.size() && !EmptyCell(row.second[col])) {
        any = true;
      }
    }
    if (any && (latest == nullptr || row.first > latest->first)) {
      latest = &row;
    }
  }
  if (latest == nullptr) {
    problem = page + " holds no dated observation";
    return std::nullopt;
  }
  ParCurve curve;
  curve.date = latest->first;
  // A maturity under two headings ("10 Yr" twice, or "10 Yr" and "120 Mo")
  // is one figure only when both cells give it: the first column was taken.
  std::map<double, std::pair<std::string, std::string>> by_months;  // heading, cell
  for (const auto& [col, tenor] : tenors) {
    const std::string cell = col < latest->second.size() && !EmptyCell(latest->second[col])
                                 ? Trim(latest->second[col])
                                 : std::string();
    const auto [it, added] = by_months.emplace(tenor.second, std::make_pair(tenor.first, cell));
    if (added) {
      continue;
    }
    const std::string& earlier = it->second.second;
    const auto later_value =
        cell.empty() ? std::nullopt : ReadFetchedFigure(cell, FigureKind::kYield);
    const auto earlier_value =
        earlier.empty() ? std::nullopt : ReadFetchedFigure(earlier, FigureKind::kYield);
    if (cell != earlier && (!later_value || !earlier_value || *later_value != *earlier_value)) {
      problem = RepeatedTenorMessage(page, it->second.first, tenor.first,
                                     FormatCivilDate(latest->first), earlier, cell);
      return std::nullopt;
    }
  }
  std::map<double, bool> taken;
  for (const auto& [col, tenor] : tenors) {
    if (col >= latest->second.size() || EmptyCell(latest->second[col])) {
      continue;
    }
    if (!taken.emplace(tenor.second, true).second) {
      continue;  // the same figure again
    }
    const auto v = ReadFetchedFigure(latest->second[col], FigureKind::kYield);
    if (!v) {
      problem = NotAFigureMessage(page, Trim(latest->second[col]));
      return std::nullopt;
    }
    // A yield in per cent outside -20 to 100 is a fault of the file (a value
    // in basis points, a shifted column), not a rate to price with.
    if (*v < kLowestYield || *v > kHighestYield) {
      problem = "The yield " + Trim(latest->second[col]) + " % of " + tenor.first + " on " + page +
                " is beyond -20 % to 100 %";
      return std::nullopt;
    }
    curve.points.push_back({tenor.first, tenor.second, *v});
  }
  std::sort(curve.points.begin(), curve.points.end(),
            [](const ParYieldPoint& a, const ParYieldPoint& b) { return a.months < b.months; });
  return curve;
}

}  // namespace

std::optional<double> TenorMonths(const std::string& heading) {
  std::string h = Lower(Trim(heading));
  if (const size_t at = h.rfind("at "); at != std::string::npos) {
    h = h.substr(at + 3);
  }
  size_t i = 0;
  std::string number;
  while (i < h.size() && (std::isdigit(static_cast<unsigned char>(h[i])) || h[i] == '.')) {
    number += h[i++];
  }
  const auto n = ReadFetchedFigure(number);
  if (!n || *n <= 0) {
    return std::nullopt;
  }
  while (i < h.size() && (h[i] == ' ' || h[i] == '-')) {
    ++i;
  }
  const std::string unit = h.substr(i);
  const auto starts = [&unit](const char* w) { return unit.rfind(w, 0) == 0; };
  if (starts("mo")) {
    return *n;
  }
  if (starts("yr") || starts("year")) {
    return 12.0 * *n;
  }
  if (starts("wk") || starts("week")) {
    return *n * 12.0 / 52.0;
  }
  return std::nullopt;
}

std::vector<std::string> CsvFields(const std::string& raw) {
  std::string line = raw;
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(field);
  return fields;
}

std::optional<ParCurve> ReadTreasuryParCsv(const std::string& text, const std::string& page,
                                           std::string& problem) {
  std::map<size_t, std::pair<std::string, double>> tenors;
  size_t date_col = std::string::npos;
  std::vector<std::pair<std::chrono::year_month_day, std::vector<std::string>>> rows;
  for (const std::string& line : Split(text, '\n')) {
    const std::vector<std::string> fields = CsvFields(line);
    if (date_col == std::string::npos) {
      for (size_t c = 0; c < fields.size(); ++c) {
        if (Lower(Trim(fields[c])) == "date") {
          date_col = c;
        }
      }
      if (date_col == std::string::npos) {
        continue;
      }
      for (size_t c = 0; c < fields.size(); ++c) {
        if (const auto m = TenorMonths(fields[c]); m && c != date_col) {
          tenors[c] = {Trim(fields[c]), *m};
        }
      }
      continue;
    }
    if (date_col >= fields.size()) {
      continue;
    }
    if (const auto d = ReadCivilDate(fields[date_col])) {
      rows.emplace_back(*d, fields);
    }
  }
  if (date_col == std::string::npos || tenors.empty()) {
    problem = page + " is not a par yield curve file (no \"Date\" and tenor headings)";
    return std::nullopt;
  }
  return CurveOfLatestRow(rows, tenors, page, problem);
}

std::optional<ParCurve> ReadH15DownloadCsv(const std::string& text, const std::string& page,
                                           std::string& problem) {
  std::map<size_t, std::pair<std::string, double>> tenors;
  std::vector<std::pair<std::chrono::year_month_day, std::vector<std::string>>> rows;
  for (const std::string& line : Split(text, '\n')) {
    const std::vector<std::string> fields = CsvFields(line);
    if (fields.empty()) {
      continue;
    }
    const std::string head = Lower(Trim(fields[0]));
    if (head == "series description") {
      for (size_t c = 1; c < fields.size(); ++c) {
        if (const auto m = TenorMonths(fields[c])) {
          tenors[c] = {Trim(fields[c]), *m};
        }
      }
    } else if (head == "time period" || head.rfind("unique identifier", 0) == 0) {
      for (size_t c = 1; c < fields.size(); ++c) {
        if (tenors.count(c) != 0) {
          continue;
        }
        if (const auto m = TenorOfIdentifier(fields[c])) {
          tenors[c] = {Trim(fields[c]), *m};
        }
      }
    } else if (const auto d = ReadCivilDate(fields[0])) {
      rows.emplace_back(*d, fields);
    }
  }
  if (tenors.empty()) {
    problem = page + " is not an H.15 data-download file (no tenor in its headings)";
    return std::nullopt;
  }
  // Descriptions are long: show the tenor briefly.
  for (auto& [col, tenor] : tenors) {
    const double m = tenor.second;
    tenor.first = m < 12 ? std::to_string(static_cast<int>(m)) + " Mo"
                         : std::to_string(static_cast<int>(m / 12)) + " Yr";
  }
  return CurveOfLatestRow(rows, tenors, page, problem);
}

std::string RepeatedTenorMessage(const std::string& page, const std::string& first_heading,
                                 const std::string& second_heading, const std::string& date,
                                 const std::string& first_cell, const std::string& second_cell) {
  const auto shown = [](const std::string& cell) { return cell.empty() ? "empty" : cell; };
  return "The page " + page + " has two columns of one maturity, \"" + first_heading + "\" and \"" +
         second_heading + "\", that differ on " + date + " (" + shown(first_cell) + " and " +
         shown(second_cell) + "): no rate was taken from it";
}

double ContinuousFromParYield(double percent) { return 2.0 * std::log1p(percent / 200.0); }

std::string NoRateMessage(double par_percent) {
  return "The curve gives the par yield " + FormatNumber(par_percent, "0.000") +
         " % at this maturity, which has no continuous rate";
}

std::string TreasuryCsvUrl(int year) {
  const std::string y = std::to_string(year);
  return sites::TreasuryUrl() +
         "/resource-center/data-chart-center/interest-rates/daily-treasury-rates.csv/" + y +
         "/all?type=daily_treasury_yield_curve&field_tdr_date_value=" + y + "&page&_format=csv";
}

std::string H15DownloadUrl() {
  return sites::FrbUrl() + "/datadownload/Output.aspx?rel=H15&series=" + kH15SeriesPackage +
         "&lastobs=" + std::to_string(kH15LastObservations) +
         "&from=&to=&filetype=csv&label=include&layout=seriescolumn";
}

std::string StaleNote(const std::string& what, std::chrono::year_month_day date,
                      std::chrono::year_month_day today) {
  const auto age = (std::chrono::sys_days{today} - std::chrono::sys_days{date}).count();
  if (age <= kStaleDays) {
    return {};
  }
  return what + "'s latest observation is of " + FormatCivilDate(date) + ", " +
         std::to_string(age) + " days ago";
}

}  // namespace stratlyn
