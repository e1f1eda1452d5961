// The Treasury curve from today's sources: the Treasury's par yield file,
// the Federal Reserve's H.15 download and the series files, in that order.

#include "marketdata/treasury_curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "marketdata/civil_date.h"
#include "marketdata/fetch_error.h"
#include "marketdata/page_figure.h"
#include "marketdata/zel_bloomberg_data.h"
#include "support/fake_services.h"
#include "support/fetch_browser_view.h"

namespace stratlyn {
namespace {

using namespace std::chrono;

constexpr const char* kNoServer = "http://127.0.0.1:1";

// The Treasury's layout: headings in quotes, newest row first; the 1.5-month
// column is new, so older rows leave it empty.
const char* const kTreasuryFile =
    "Date,\"1 Mo\",\"1.5 Month\",\"2 Mo\",\"3 Mo\",\"4 Mo\",\"6 Mo\",\"1 Yr\",\"2 Yr\",\"3 Yr\","
    "\"5 Yr\",\"7 Yr\",\"10 Yr\",\"20 Yr\",\"30 Yr\"\r\n"
    "12/05/2026,4.10,4.08,4.05,4.00,3.95,3.90,3.80,3.60,3.55,3.60,3.75,3.98,4.50,4.60\r\n"
    "12/04/2026,5.10,,5.05,5.00,4.95,4.90,4.80,4.60,4.55,4.60,4.75,5.98,5.50,5.60\r\n";

// The Board's data download: six quoted header lines, then oldest first,
// "ND" on a holiday, CR LF.
const char* const kH15File =
    "\"Series Description\",\"Market yield on U.S. Treasury securities at 1-month   constant "
    "maturity, quoted on investment basis\",\"Market yield on U.S. Treasury securities at 3-month "
    "  constant maturity, quoted on investment basis\",\"Market yield on U.S. Treasury securities "
    "at 10-year   constant maturity, quoted on investment basis\"\r\n"
    "\"Unit:\",\"Percent:_Per_Year\",\"Percent:_Per_Year\",\"Percent:_Per_Year\"\r\n"
    "\"Multiplier:\",\"1\",\"1\",\"1\"\r\n"
    "\"Currency:\",\"NA\",\"NA\",\"NA\"\r\n"
    "\"Unique Identifier: \",\"H15/H15/RIFLGFCM01_N.B\",\"H15/H15/RIFLGFCM03_N.B\","
    "\"H15/H15/RIFLGFCY10_N.B\"\r\n"
    "\"Time Period\",\"RIFLGFCM01_N.B\",\"RIFLGFCM03_N.B\",\"RIFLGFCY10_N.B\"\r\n"
    "2026-12-03,4.01,3.99,3.97\r\n"
    "2026-12-04,4.02,ND,3.96\r\n"
    "2026-12-07,ND,ND,ND\r\n";

TEST(TreasuryCurve, TheLatestRowWhateverTheOrder) {
  std::string problem;
  auto curve = ReadTreasuryParCsv(kTreasuryFile, "T", problem);
  ASSERT_TRUE(curve) << problem;
  EXPECT_EQ(curve->date, 2026y / December / 5);
  ASSERT_EQ(curve->points.size(), 14u);
  EXPECT_EQ(curve->points.front().label, "1 Mo");
  EXPECT_DOUBLE_EQ(curve->points[1].months, 1.5);
  EXPECT_DOUBLE_EQ(curve->points.back().months, 360);
  EXPECT_DOUBLE_EQ(curve->points.back().percent, 4.60);
  EXPECT_DOUBLE_EQ(curve->points[11].percent, 3.98);  // 10 Yr, not 5.98 of the older row

  // Oldest first, as the H.15 download writes it: still the latest day with
  // data, its ND cells passed over, and a day of ND only skipped.
  curve = ReadH15DownloadCsv(kH15File, "H", problem);
  ASSERT_TRUE(curve) << problem;
  EXPECT_EQ(curve->date, 2026y / December / 4);
  ASSERT_EQ(curve->points.size(), 2u);
  EXPECT_EQ(curve->points[0].label, "1 Mo");
  EXPECT_DOUBLE_EQ(curve->points[0].percent, 4.02);
  EXPECT_EQ(curve->points[1].label, "10 Yr");
  EXPECT_DOUBLE_EQ(curve->points[1].percent, 3.96);

  // An error page, a file without tenors, a cell that is no figure.
  EXPECT_FALSE(ReadTreasuryParCsv("<html><body>Not Found</body></html>", "T", problem));
  EXPECT_EQ(problem, "T is not a par yield curve file (no \"Date\" and tenor headings)");
  EXPECT_FALSE(ReadH15DownloadCsv("2026-12-04,4.0\r\n", "H", problem));
  EXPECT_FALSE(ReadTreasuryParCsv("Date,\"1 Mo\"\n12/05/2026,\"4,10\"\n", "T", problem));
  EXPECT_EQ(problem, NotAFigureMessage("T", "4,10"));
  EXPECT_FALSE(ReadTreasuryParCsv("Date,\"1 Mo\"\n12/05/2026,\n", "T", problem));
  EXPECT_EQ(problem, "T holds no dated observation");

  // A row with a mistyped year in the future is not the latest observation.
  curve = ReadTreasuryParCsv("Date,\"1 Mo\"\n12/05/2062,9.99\n12/04/2026,4.10\n", "T", problem);
  ASSERT_TRUE(curve) << problem;
  EXPECT_EQ(curve->date, 2026y / December / 4);
  // A yield in basis points (a shifted or faulty file) is refused.
  EXPECT_FALSE(ReadTreasuryParCsv("Date,\"1 Mo\",\"3 Mo\"\n12/05/2026,4.10,410\n", "T", problem));
  EXPECT_EQ(problem, "The yield 410 % of 3 Mo on T is beyond -20 % to 100 %");
  EXPECT_TRUE(std::isnan(ContinuousFromParYield(-250)));
  EXPECT_EQ(TenorMonths("at 10-year   constant"), 120);
  EXPECT_EQ(TenorMonths("6 Mo"), 6);
  EXPECT_EQ(TenorMonths("Date"), std::nullopt);
  EXPECT_EQ(CsvFields("a,\"b,c\",\"d\"\"e\"\r"), (std::vector<std::string>{"a", "b,c", "d\"e"}));
}

// A maturity under two headings: the first column was taken whatever the
// second said. Refused, naming both, when they differ on the row used.
TEST(TreasuryCurve, AMaturityUnderTwoHeadingsIsOneFigureOrRefused) {
  std::string problem;
  const std::string head = "Date,\"5 Yr\",\"10 Yr\",\"30 Yr\",\"10 Yr\"\r\n";
  // An older row where they differ does not matter; the row used agrees
  // (4.1 and 4.10 are the same yield).
  auto curve = ReadTreasuryParCsv(
      head + "12/05/2026,4.00,4.1,4.50,4.10\r\n12/04/2026,4.01,4.2,4.51,9.99\r\n", "T", problem);
  ASSERT_TRUE(curve) << problem;
  ASSERT_EQ(curve->points.size(), 3u);
  EXPECT_DOUBLE_EQ(curve->points[1].months, 120);
  EXPECT_DOUBLE_EQ(curve->points[1].percent, 4.1);
  EXPECT_DOUBLE_EQ(curve->points[2].percent, 4.5);
  // Both empty on the row: no 10-year point, the rest kept.
  curve = ReadTreasuryParCsv(head + "12/05/2026,4.00,,4.50,N/A\r\n", "T", problem);
  ASSERT_TRUE(curve) << problem;
  EXPECT_EQ(curve->points.size(), 2u);

  EXPECT_FALSE(ReadTreasuryParCsv(head + "12/05/2026,4.00,4.15,4.50,4.20\r\n", "T", problem));
  EXPECT_EQ(problem, RepeatedTenorMessage("T", "10 Yr", "10 Yr", "2026-12-05", "4.15", "4.20"));
  EXPECT_EQ(problem,
            "The page T has two columns of one maturity, \"10 Yr\" and \"10 Yr\", that differ on "
            "2026-12-05 (4.15 and 4.20): no rate was taken from it");
  // One of them empty: which one the file means is not known either.
  EXPECT_FALSE(ReadTreasuryParCsv(head + "12/05/2026,4.00,,4.50,4.20\r\n", "T", problem));
  EXPECT_EQ(problem, RepeatedTenorMessage("T", "10 Yr", "10 Yr", "2026-12-05", "", "4.20"));
  // The same maturity under another heading.
  EXPECT_FALSE(ReadTreasuryParCsv("Date,\"12 Mo\",\"1 Yr\"\n12/05/2026,3.9,3.8\n", "T", problem));
  EXPECT_EQ(problem, RepeatedTenorMessage("T", "12 Mo", "1 Yr", "2026-12-05", "3.9", "3.8"));
  // The H.15 download: a series given twice.
  EXPECT_FALSE(ReadH15DownloadCsv(
      "\"Time Period\",\"RIFLGFCY10_N.B\",\"RIFLGFCM03_N.B\",\"RIFLGFCY10_N.B\"\r\n"
      "2026-12-04,3.96,3.99,3.86\r\n",
      "H", problem));
  EXPECT_EQ(problem, RepeatedTenorMessage("H", "10 Yr", "10 Yr", "2026-12-04", "3.96", "3.86"));
}

TEST(TreasuryCurve, ParYieldsBecomeTheContinuousRateOfTheSameGrowth) {
  // Semi-annual compounding at y grows 1 to (1 + y/2)^2 in a year; the
  // continuous rate r grows it to e^r.
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> y(0.0, 20.0);
  for (int i = 0; i < 1000; ++i) {
    const double percent = y(gen);
    const double r = ContinuousFromParYield(percent);
    EXPECT_NEAR(std::exp(r), std::pow(1 + percent / 200, 2), 1e-13);
    EXPECT_LE(r, percent / 100);
  }
  EXPECT_NEAR(ContinuousFromParYield(4.0), 0.039605, 1e-6);
}

TEST(TreasuryCurve, StaleNotesAfterTenDays) {
  EXPECT_EQ(StaleNote("X", 2026y / November / 28, 2026y / December / 8), "");
  EXPECT_EQ(StaleNote("X", 2026y / November / 20, 2026y / December / 8),
            "X's latest observation is of 2026-11-20, 18 days ago");
}

TEST(LastObservation, NewestFirstFilesGiveTheirNewestLine) {
  // The fault: the last line of a newest-first file is its oldest.
  std::string date;
  double value = 0;
  ASSERT_TRUE(LastObservation(
      "Series Description,x\r\n2026-12-04,3.98\r\n2026-12-03,ND\r\n2026-12-02,5.98\r\n\r\n", date,
      value));
  EXPECT_EQ(date, "2026-12-04");
  EXPECT_DOUBLE_EQ(value, 3.98);
  // A mistyped year in the future is passed over.
  ASSERT_TRUE(LastObservation("2062-12-04,9.99\r\n2026-12-03,3.97\r\n", date, value));
  EXPECT_EQ(date, "2026-12-03");
}

struct EnvGuard {
  EnvGuard(const char* name, const char* value) : name_(name) { setenv(name, value, 1); }
  ~EnvGuard() { unsetenv(name_); }
  const char* name_;
};

TEST(TreasuryCurve, SourcesAreTriedInOrderAndTheGridShowsEveryTenor) {
  EnvGuard t("STRATLYN_TREASURY_URL", kNoServer);
  EnvGuard f("STRATLYN_FRB_URL", kNoServer);
  testing::FakeServices services;
  testing::FetchBrowserView view;
  zelBloombergData curve;
  curve.Browser = &view;
  Grid grid;
  const int year = static_cast<int>(LocalDate(system_clock::now()).year());
  // The Treasury's file answers: one request.
  view.pages[TreasuryCsvUrl(year)] = kTreasuryFile;
  ASSERT_TRUE(curve.GrabFRBYieldCurve(0, grid));
  EXPECT_EQ(view.History().size(), 1u);
  EXPECT_EQ(curve.SourceUsed(), RateSource::kTreasury);
  EXPECT_EQ(curve.ObservationDate(), "2026-12-05");
  ASSERT_EQ(grid.Rows(), 16);
  EXPECT_EQ(grid.TextMatrix(0, zelBloombergData::colCoupon), "Par yield %");
  EXPECT_EQ(grid.TextMatrix(1, zelBloombergData::colMaturity), "2026-12-05");
  EXPECT_EQ(grid.TextMatrix(2, zelBloombergData::colTerm), "1 Mo");
  EXPECT_EQ(grid.TextMatrix(2, zelBloombergData::colMaturity), "2027-01-05");
  EXPECT_EQ(grid.TextMatrix(3, zelBloombergData::colMaturity), "2027-01-20");  // 1.5 months
  EXPECT_EQ(grid.TextMatrix(15, zelBloombergData::colTerm), "30 Yr");
  EXPECT_EQ(grid.TextMatrix(15, zelBloombergData::colCoupon), "4.6000");
  EXPECT_EQ(grid.TextMatrix(15, zelBloombergData::colMaturity), "2056-12-05");
  // A curve observed 5 December is noted once it is more than ten days old.
  const bool stale =
      sys_days{LocalDate(system_clock::now())} - sys_days{2026y / December / 5} > days{kStaleDays};
  EXPECT_EQ(curve.Notes().size(), stale ? 1u : 0u);

  // Without it, the H.15 download, with the Treasury's failure noted.
  view.pages.clear();
  view.pages[H15DownloadUrl()] = kH15File;
  ASSERT_TRUE(curve.GrabFRBYieldCurve(0, grid));
  EXPECT_EQ(curve.SourceUsed(), RateSource::kH15Download);
  ASSERT_EQ(grid.Rows(), 4);
  EXPECT_EQ(grid.TextMatrix(3, zelBloombergData::colTerm), "10 Yr");
  ASSERT_FALSE(curve.Notes().empty());
  EXPECT_EQ(curve.Notes()[0].rfind("U.S. Treasury par yield curve: The page ", 0), 0u);

  // Nothing anywhere: one error naming each source.
  view.pages.clear();
  try {
    curve.GrabFRBYieldCurve(0, grid);
    FAIL() << "no source answers";
  } catch (const FetchError& e) {
    const std::string d = e.Description();
    EXPECT_NE(d.find("U.S. Treasury par yield curve: "), std::string::npos) << d;
    EXPECT_NE(d.find("; Federal Reserve H.15: "), std::string::npos) << d;
    EXPECT_NE(d.find("; H.15 series files: "), std::string::npos) << d;
  }
  // The user's choice is where the order starts.
  curve.Source = RateSource::kH15Download;
  view.pages[TreasuryCsvUrl(year)] = kTreasuryFile;
  view.pages[H15DownloadUrl()] = kH15File;
  const size_t before = view.History().size();
  ASSERT_TRUE(curve.GrabFRBYieldCurve(0, grid));
  EXPECT_EQ(curve.SourceUsed(), RateSource::kH15Download);
  EXPECT_EQ(view.History().size(), before + 1);
}

}  // namespace
}  // namespace stratlyn
