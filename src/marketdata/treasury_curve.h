#pragma once
// The Treasury yield curve as today's public sources serve it: the U.S.
// Treasury's daily par yield curve (one CSV a year, newest row first) and the
// Federal Reserve's H.15 data download (CSV, oldest row first, "ND" on days
// without data). Both give bond-equivalent yields in per cent by tenor.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace stratlyn {

// One tenor of a curve: its heading as the source writes it ("3 Mo",
// "10-year"), its length in months (1.5 for "1.5 Mo") and its yield in per cent.
struct ParYieldPoint {
  std::string label;
  double months = 0;
  double percent = 0;
};

// The curve of one observation date, tenors in ascending order.
struct ParCurve {
  std::chrono::year_month_day date{};
  std::vector<ParYieldPoint> points;
};

// The tenor in months of a heading: "1 Mo", "1.5 Month", "10 Yr", "30 Year",
// "at 3-month", "at 10-year" (the H.15 descriptions); nothing for others.
std::optional<double> TenorMonths(const std::string& heading);

// The fields of one CSV line (commas; double quotes around a field allowed,
// "" inside them one quote); a trailing CR is dropped.
std::vector<std::string> CsvFields(const std::string& line);

// Reads the latest dated row of a Treasury par yield CSV (a "Date" column of
// M/D/YYYY or YYYY-MM-DD, one column per tenor read by its heading; rows in
// any order; rows dated after tomorrow passed over). Empty, "N/A" and "ND"
// cells are skipped; a yield beyond -20 % to 100 % is refused, and so is a
// maturity under two headings whose cells differ on that row. Nothing, with
// `problem` set, when the text holds no such row or a cell of that row is not
// a figure (NotAFigureMessage naming `page`).
std::optional<ParCurve> ReadTreasuryParCsv(const std::string& text, const std::string& page,
                                           std::string& problem);

// The same for the Federal Reserve's H.15 data-download CSV: header lines in
// quotes (the tenor read from each column's "Series Description" or its
// series identifier), then "YYYY-MM-DD,value,..." lines.
std::optional<ParCurve> ReadH15DownloadCsv(const std::string& text, const std::string& page,
                                           std::string& problem);

// "The page PAGE has two columns of one maturity, "10 Yr" and "10 Yr", that
// differ on DATE (4.15 and 4.20): no rate was taken from it" (an empty cell
// shown as "empty").
std::string RepeatedTenorMessage(const std::string& page, const std::string& first_heading,
                                 const std::string& second_heading, const std::string& date,
                                 const std::string& first_cell, const std::string& second_cell);

// The continuously compounded rate (a fraction) of a bond-equivalent (semi-
// annual) par yield in per cent: 2 ln(1 + y/200).
double ContinuousFromParYield(double percent);

// "The curve gives the par yield Y % at this maturity, which has no
// continuous rate" (a yield of -200 % or below, from a faulty file).
std::string NoRateMessage(double par_percent);

// The Treasury's CSV address for a year on sites::TreasuryUrl().
std::string TreasuryCsvUrl(int year);
// The H.15 data-download address (Treasury constant maturities, the last
// observations) on sites::FrbUrl().
std::string H15DownloadUrl();

// Days from the observation `date` to `today`; a note naming `what` when it
// is older than 10 days, "" otherwise: "The U.S. Treasury par yield curve's
// latest observation is of 2026-11-20, 18 days ago".
std::string StaleNote(const std::string& what, std::chrono::year_month_day date,
                      std::chrono::year_month_day today);
inline constexpr int kStaleDays = 10;

}  // namespace stratlyn
