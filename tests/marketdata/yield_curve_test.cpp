#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "marketdata/civil_date.h"
#include "marketdata/fetch_error.h"
#include "marketdata/zel_bloomberg_data.h"
#include "support/fake_services.h"
#include "support/fetch_browser_view.h"
#include "util/format.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

using namespace std::chrono;

// Nothing listens here: a page missing from the view's map fails at once.
constexpr const char* kNoServer = "http://127.0.0.1:1";

std::string Fixture(const std::string& name) {
  const char* dir = std::getenv("STRATLYN_TEST_DATA");
  std::ifstream in(std::string(dir ? dir : "tests/data") + "/marketdata/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A series file in the H.15 layout: header lines, then "date,value" lines
// separated by CR LF, ending with CR LF.
std::string SeriesFile(const std::string& last_date, const std::string& last_value,
                       bool trailing_nd = false) {
  std::string s =
      "Series Description,Market yield on U.S. Treasury securities\r\n"
      "Unit:,Percent:_Per_Year\r\nTime Period,RIFLGFC\r\n"
      "2010-12-29,9.99\r\n" +
      last_date + "," + last_value + "\r\n";
  if (trailing_nd) s += "2011-01-03,ND\r\n";
  return s;
}

struct EnvGuard {
  EnvGuard(const char* name, const char* value) : name_(name) { setenv(name, value, 1); }
  ~EnvGuard() { unsetenv(name_); }
  const char* name_;
};

TEST(zelBloombergData, CurveTable) {
  EnvGuard env("STRATLYN_RATES_URL", kNoServer);
  zelBloombergData d;
  EXPECT_EQ(d.GetnCurves(), 5);
  EXPECT_EQ(d.GetCurveName(0), "Bloomberg US Benchmarks");
  EXPECT_EQ(d.GetCurveName(4), "Bloomberg Australian Benchmarks");
  EXPECT_EQ(d.GetCurveName(5), "");
  EXPECT_EQ(d.GetCurveURL(1), std::string(kNoServer) + "/markets/rates/uk.html");
  EXPECT_EQ(d.GetCurveURL(5), "");
  EXPECT_THROW(d.GetCurveName(6), zelError);
  EXPECT_THROW(d.GetCurveName(-1), zelError);
  EXPECT_EQ(d.GetInterpolatedRate(1.0F, 0), 0.05F);  // no rates set
  d.SetnRates(2);
  d.SetRate(2, 4.5F, 100.0F);
  EXPECT_DOUBLE_EQ(d.GetRate(2), 4.5);
  EXPECT_DOUBLE_EQ(d.GetDate(2), 100.0);
  EXPECT_DOUBLE_EQ(d.GetRate(1), 0.0);
  try {
    d.GetRate(3);
    FAIL() << "index 3 of a table sized 0..2";
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), err::kSubscript);
  }
}

TEST(InterpolateRate, EdgesAndStraightLines) {
  testing::FakeServices services;
  const std::vector<float> mat = {0.25F, 0.25F, 0.5F, 1, 2, 3, 5, 7, 10, 20, 30};
  const std::vector<float> rate = {0.1F, 0.1F, 0.2F, 0.4F, 0.8F, 1.1F,
                                   1.9F, 2.5F, 3.0F, 3.8F, 4.1F};
  const int m = 10;
  EXPECT_FLOAT_EQ(InterpolateRate(rate, mat, m, 1.0F), 0.4F);   // a curve point exactly
  EXPECT_FLOAT_EQ(InterpolateRate(rate, mat, m, 0.1F), 0.1F);   // before the 3-month point
  EXPECT_FLOAT_EQ(InterpolateRate(rate, mat, m, 40.0F), 4.1F);  // beyond 30 years
  EXPECT_FLOAT_EQ(InterpolateRate(rate, mat, m, 0.75F), 0.3F);  // halfway 6 months - 1 year
  EXPECT_FLOAT_EQ(InterpolateRate(rate, mat, m, 15.0F), 3.4F);
  EXPECT_THROW(InterpolateRate(rate, mat, 11, 1.0F), zelError);  // fewer values than m + 1
}

TEST(CivilDate, ReadingAndMonthArithmetic) {
  EXPECT_EQ(ReadCivilDate("2010-12-31"), year{2010} / December / 31);
  EXPECT_EQ(ReadCivilDate(" 2010-07 "), year{2010} / July / 1);
  EXPECT_EQ(ReadCivilDate("3/15/2030"), year{2030} / March / 15);
  EXPECT_EQ(ReadCivilDate("11/30/28", 2026), year{2028} / November / 30);
  EXPECT_EQ(ReadCivilDate("11/30/70", 2026), year{2070} / November / 30);  // within 50 years back
  EXPECT_EQ(ReadCivilDate("11/30/80", 2026), year{1980} / November / 30);
  EXPECT_FALSE(ReadCivilDate("2010-02-30"));
  EXPECT_FALSE(ReadCivilDate("ND"));
  EXPECT_FALSE(ReadCivilDate(""));
  EXPECT_EQ(AddMonths(year{2010} / August / 31, 6), year{2011} / February / 28);
  EXPECT_EQ(AddMonths(year{2012} / February / 29, 12), year{2013} / February / 28);
  EXPECT_EQ(AddMonths(year{2010} / December / 31, 3), year{2011} / March / 31);
  EXPECT_EQ(FormatCivilDate(year{2011} / March / 1), "2011-03-01");
  EXPECT_DOUBLE_EQ(DateSerial(year{1900} / January / 1), 2.0);
}

TEST(LastObservation, SkipsBlankLinesAndDaysWithoutData) {
  std::string date;
  double value = 0;
  ASSERT_TRUE(LastObservation(SeriesFile("2010-12-31", "0.17", true), date, value));
  EXPECT_EQ(date, "2010-12-31");
  EXPECT_DOUBLE_EQ(value, 0.17);
  // LF-only lines, as a browser hands a text file back.
  ASSERT_TRUE(LastObservation("x,y\n2011-01-04,1.25\n\n", date, value));
  EXPECT_EQ(date, "2011-01-04");
  EXPECT_FALSE(LastObservation("<h1>Not Found</h1>", date, value));
  EXPECT_FALSE(LastObservation("", date, value));
}

class FrbCurve : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < kFrbSeriesCount; ++i) {
      view.pages[FrbSeriesUrl(i)] =
          SeriesFile(i == 0 ? "2010-12-31" : "2011-01-03",
                     FormatNumber(i == 0 ? 0.17 : 0.5 + i, "0.00"));  // dot in any locale
    }
    curve.Browser = &view;
    curve.Source = RateSource::kSeriesFiles;
  }
  EnvGuard env{"STRATLYN_FRB_URL", kNoServer};
  testing::FakeServices services;
  testing::FetchBrowserView view;
  zelBloombergData curve;
  Grid grid;
};

TEST_F(FrbCurve, TenSeriesIntoRowsTwoToEleven) {
  std::vector<std::pair<int, int>> progress;
  curve.Progress = [&](int i, int n) { progress.emplace_back(i, n); };
  ASSERT_TRUE(curve.GrabFRBYieldCurve(zelBloombergData::cUS, grid));
  EXPECT_EQ(grid.Rows(), 12);
  EXPECT_EQ(grid.Cols(), 5);
  ASSERT_EQ(view.History().size(), 10u);
  EXPECT_EQ(view.History()[0], std::string(kNoServer) + "/FRBData/H15_TCMNOM_M3_2010.txt");
  EXPECT_EQ(view.History()[9], std::string(kNoServer) + "/FRBData/H15_TCMNOM_Y30_2010.txt");
  // Row 2: the 3-month bill, yield 0.1700, three months after its own date.
  EXPECT_EQ(grid.TextMatrix(2, 1), "3TD");
  EXPECT_EQ(grid.TextMatrix(2, 2), "0");
  EXPECT_EQ(grid.TextMatrix(2, 3), "2011-03-31");
  EXPECT_EQ(grid.TextMatrix(2, 4), "0.1700");
  EXPECT_EQ(grid.TextMatrix(3, 1), "6TD");
  EXPECT_EQ(grid.TextMatrix(3, 3), "2011-06-30");  // every maturity counts from the 3-month date
  EXPECT_EQ(grid.TextMatrix(3, 4), "1.5000");
  // Row 11: the 30-year bond.
  EXPECT_EQ(grid.TextMatrix(11, 1), "30");
  EXPECT_EQ(grid.TextMatrix(11, 2), "9.5000");
  EXPECT_EQ(grid.TextMatrix(11, 3), "2040-12-31");
  EXPECT_EQ(grid.TextMatrix(11, 4), "100");
  EXPECT_EQ(grid.TextMatrix(4, 1), "1");
  EXPECT_EQ(curve.ObservationDate(), "2010-12-31");
  ASSERT_EQ(progress.size(), 11u);
  EXPECT_EQ(progress[3], std::make_pair(3, 10));
  EXPECT_EQ(progress.back(), std::make_pair(0, 0));
}

TEST_F(FrbCurve, StopEndsTheLoadAndAnEmptySeriesIsAnError) {
  bool stop = false;
  curve.StopFlag = &stop;
  int calls = 0;
  curve.Progress = [&](int, int n) {
    if (n > 0) ++calls;
  };
  // The fourth series never completes; "Stop" is pressed while waiting.
  view.on_navigate = [&](const std::string& url) { view.hold_loading = url == FrbSeriesUrl(3); };
  services.events.on_pending = [&] {
    if (view.ReadyState() == BrowserView::kLoading) stop = true;
  };
  EXPECT_FALSE(curve.GrabFRBYieldCurve(0, grid));
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(view.History().size(), 4u);
  EXPECT_EQ(grid.TextMatrix(4, 2), "2.5000");  // rows read before the stop stay
  EXPECT_EQ(grid.TextMatrix(5, 2), "");

  stop = false;
  view.on_navigate = nullptr;
  view.hold_loading = false;
  view.pages[FrbSeriesUrl(5)] = "<html><body><h1>404 Not Found</h1></body></html>";
  try {
    curve.GrabFRBYieldCurve(0, grid);
    FAIL() << "a series without observations";
  } catch (const FetchError& e) {
    // A distinct error that names the file, not a type mismatch.
    EXPECT_EQ(e.Description(),
              "The Treasury yield curve could not be read. H.15 series files: The series file "
              "H15_TCMNOM_Y5_2010.txt holds no observation");
  }
  curve.Browser = nullptr;
  EXPECT_THROW(curve.GrabFRBYieldCurve(0, grid), zelError);
}

TEST(zelBloombergData, BenchmarkPageIntoGridAndRateTable) {
  EnvGuard env("STRATLYN_RATES_URL", kNoServer);
  testing::FakeServices services;
  testing::FetchBrowserView view;
  zelBloombergData curve;
  curve.Browser = &view;
  view.pages[curve.GetCurveURL(zelBloombergData::cUS)] = Fixture("bloomberg_us.htm");
  Grid grid;
  std::string label;
  ASSERT_TRUE(curve.GrabBloombergData(zelBloombergData::cUS, grid, &label));
  EXPECT_EQ(label, "Bloomberg US Benchmarks");
  EXPECT_EQ(services.dialogs.Count(), 0u);
  // The caption rows (COUPON heading, Bills, Notes & Bonds) are gone.
  ASSERT_EQ(grid.Rows(), 6);
  EXPECT_EQ(grid.TextMatrix(1, 1), "3 Month");
  EXPECT_EQ(grid.TextMatrix(3, 1), "2 Year");
  EXPECT_EQ(grid.TextMatrix(3, 4), "99-28 / 4.19");
  ASSERT_EQ(curve.GetnRates(), 5);
  EXPECT_NEAR(curve.GetRate(1), 4.21, 1e-5);  // a bill: its yield
  EXPECT_NEAR(curve.GetRate(0), 4.21, 1e-5);  // index 0 repeats index 1
  EXPECT_NEAR(curve.GetRate(3), 4.19, 1e-5);  // price / yield: the yield
  EXPECT_NEAR(curve.GetRate(5), 4.5, 1e-5);   // no quote ("-"): the coupon
  EXPECT_DOUBLE_EQ(curve.GetDate(1), DateSerial(year{2027} / March / 5));
  EXPECT_DOUBLE_EQ(curve.GetDate(3), DateSerial(year{2028} / November / 30));  // two-digit year
  EXPECT_DOUBLE_EQ(curve.GetDate(5), DateSerial(year{2056} / June / 30));      // a bare year
  const double today = DateSerial(year{2026} / December / 5);
  EXPECT_NEAR(curve.GetInterpolatedRate(0.1F, today), 4.21, 1e-4);
  EXPECT_NEAR(curve.GetInterpolatedRate(50.0F, today), 4.5, 1e-4);

  // A page without the curve's heading.
  view.pages[curve.GetCurveURL(zelBloombergData::cUK)] = Fixture("bloomberg_us.htm");
  EXPECT_FALSE(curve.GrabBloombergData(zelBloombergData::cUK, grid));
  EXPECT_EQ(services.dialogs.LastText(),
            "Unable to parse Bloomberg data; please contact ZEL at support@stratlyn.org for help");
  // The heading without a table after it: the table message, and no rates.
  view.pages[curve.GetCurveURL(zelBloombergData::cJapan)] = "<p>JAPANESE GOVERNMENT BONDS</p>";
  EXPECT_FALSE(curve.GrabBloombergData(zelBloombergData::cJapan, grid));
  EXPECT_EQ(services.dialogs.LastText(), "Unable to find start of table");
  EXPECT_EQ(services.events.busy_on, services.events.busy_off);
}

TEST(FormatRateCell, CellRules) {
  testing::FakeServices services;
  EXPECT_EQ(FormatRateCell(""), "0.00");
  EXPECT_EQ(FormatRateCell(" - "), "0.00");
  EXPECT_EQ(FormatRateCell("4.125"), "4.13");
  EXPECT_EQ(FormatRateCell("-0.12"), "-0.12");
  EXPECT_EQ(FormatRateCell("3.5%"), "3.50");
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

}  // namespace
}  // namespace stratlyn
