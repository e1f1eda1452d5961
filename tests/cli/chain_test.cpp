// stratlyn-cli chain, run as a user runs it, against a copy of the feed's
// options files and a Treasury curve served on 127.0.0.1.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/loopback_server.h"

#ifdef STRATLYN_HAVE_QUANTLIB
#include <ql/pricingengines/blackformula.hpp>
#endif

namespace {

using stratlyn::testing::LoopbackHttpServer;
using stratlyn::testing::ScratchDir;

using stratlyn::testing::CliResult;

std::string Fixture(const std::string& name) {
  const char* dir = std::getenv("STRATLYN_TEST_DATA");
  return stratlyn::testing::SlurpFile(std::string(dir ? dir : "tests/data") + "/chain/" + name);
}

// A flat par yield of 4 %: the continuous rate 2 ln(1.02) at every maturity.
const double kFlatRate = 2 * std::log(1.02);

class CliChain : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    dir_->Write("api/global/delayed_quotes/options/_SPX.json", Fixture("_SPX.json"));
    dir_->Write("api/global/delayed_quotes/options/AAPL.json", Fixture("AAPL.json"));
    dir_->Write("api/global/delayed_quotes/options/NOPRICE.json",
                R"({"data":{"symbol":"NOPRICE","current_price":0,"options":[]}})");
    dir_->Write("api/global/delayed_quotes/options/EMPTY.json",
                R"({"data":{"symbol":"EMPTY","current_price":12.5,"options":{}}})");
    // A timestamp with a zone, which is no New York time.
    dir_->Write("api/global/delayed_quotes/options/ZONED.json",
                R"({"timestamp":"2026-12-07 14:30:00Z","data":{"symbol":"ZONED",)"
                R"("current_price":100,"options":[{"option":"ZONED270115C00100000",)"
                R"("bid":4,"ask":4.2},{"option":"ZONED270115P00100000","bid":3.5,"ask":3.7}]}})");
    // A last-trade time with a comma and quotes, and figures of 200 digits.
    dir_->Write("api/global/delayed_quotes/options/ODD.json",
                R"({"timestamp":"2026-12-07 14:30:00","data":{"symbol":"ODD","current_price":100,)"
                R"("options":[{"option":"ODD270115C00100000","bid":1e200,"ask":3e200,)"
                R"("last_trade_price":2.5e199,"last_trade_time":"2026-12-01,11:04 \"late\"",)"
                R"("volume":7e201,"open_interest":12},)"
                R"({"option":"ODD270115P00100000","bid":6,"ask":6.5,"volume":1},)"
                R"({"option":"ODD270115C00200000","bid":0.004,"ask":0.0125}]}})");
    // The Treasury's file of this year and the last (early January it may be empty).
    const auto today = std::chrono::year_month_day{
        std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
    const int year = static_cast<int>(today.year());
    char date[16];
    std::snprintf(date, sizeof date, "%02u/%02u/%04d", static_cast<unsigned>(today.month()),
                  static_cast<unsigned>(today.day()), year);
    for (int y : {year, year - 1}) {
      const std::string ys = std::to_string(y);
      dir_->Write(
          "resource-center/data-chart-center/interest-rates/daily-treasury-rates.csv/" + ys +
              "/all?type=daily_treasury_yield_curve&field_tdr_date_value=" + ys +
              "&page&_format=csv",
          "Date,\"1 Mo\",\"3 Mo\",\"6 Mo\",\"1 Yr\",\"2 Yr\",\"5 Yr\",\"10 Yr\",\"30 Yr\"\n" +
              std::string(date) + ",4.00,4.00,4.00,4.00,4.00,4.00,4.00,4.00\n");
    }
    server_ = new LoopbackHttpServer(dir_->Path());
  }
  static void TearDownTestSuite() {
    delete server_;
    delete dir_;
  }
  void SetUp() override { ASSERT_TRUE(server_->Ok()) << server_->Error(); }

  CliResult Run(const std::vector<std::string>& args, const std::string& env = "") const {
    const std::string base = server_->BaseUrl();
    std::vector<std::string> words = {"chain"};
    words.insert(words.end(), args.begin(), args.end());
    return stratlyn::testing::RunCliCommand("STRATLYN_FEED_URL=" + base +
                                                " STRATLYN_TREASURY_URL=" + base +
                                                " STRATLYN_FRB_URL=http://127.0.0.1:1 " + env + " ",
                                            words, "cli_chain");
  }

  static ScratchDir* dir_;
  static LoopbackHttpServer* server_;
};
ScratchDir* CliChain::dir_ = nullptr;
LoopbackHttpServer* CliChain::server_ = nullptr;

#ifdef STRATLYN_HAVE_QUANTLIB
TEST_F(CliChain, JsonFiguresOfAnIndexExpiryAgreeWithQuantLib) {
  const CliResult r = Run({"SPX", "--expiry", "2026-12-18", "--json"}, "LC_ALL=de_DE.UTF-8");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  EXPECT_DOUBLE_EQ(doc["spot"].get<double>(), 6012.35);
  ASSERT_EQ(doc["expiries"].size(), 2u);  // SPX (09:30) and SPXW (16:00)
  size_t checked = 0;
  for (const auto& e : doc["expiries"]) {
    EXPECT_EQ(e["date"], "2026-12-18");
    EXPECT_EQ(e["style"], "european");
    EXPECT_NEAR(e["rate"].get<double>(), kFlatRate, 1e-6);
    const double t = e["years"].get<double>(), r_ = e["rate"].get<double>();
    const double q = e["dividend_yield"].get<double>();
    for (const auto& c : e["contracts"]) {
      if (c["iv"].is_null()) {
        EXPECT_TRUE(c["reason"].is_string());
        EXPECT_TRUE(c["own"].is_null());
        continue;
      }
      const double forward = 6012.35 * std::exp((r_ - q) * t);
      const double sd = QuantLib::blackFormulaImpliedStdDev(
          c["type"] == "put" ? QuantLib::Option::Put : QuantLib::Option::Call,
          c["strike"].get<double>(), forward, c["mid"].get<double>(), std::exp(-r_ * t), 0.0,
          QuantLib::Null<QuantLib::Real>(), 1e-12, 200);
      EXPECT_NEAR(c["iv"].get<double>(), sd / std::sqrt(t), 1e-6) << c["symbol"];
      EXPECT_TRUE(c["reason"].is_null());
      ++checked;
    }
  }
  EXPECT_GT(checked, 20u);
  EXPECT_NE(r.err.find("note: rates of the U.S. Treasury par yield curve"), std::string::npos)
      << r.err;
}
#endif

TEST_F(CliChain, TableCsvAndSmileOfTheNearestStrikes) {
  CliResult r = Run({"AAPL", "--expiry", "2027-01-15", "--strikes", "2"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // The expiry's line, a heading and the call and put of the strikes 180 and 190.
  std::istringstream lines(r.out);
  std::string line;
  std::vector<std::string> all;
  while (std::getline(lines, line)) all.push_back(line);
  ASSERT_EQ(all.size(), 6u) << r.out;
  EXPECT_EQ(all[0].rfind("AAPL 2027-01-15  39 days", 0), 0u) << all[0];
  EXPECT_NE(all[0].find("American"), std::string::npos);
  EXPECT_NE(all[0].find("implied by put-call parity on strikes 180, 190"), std::string::npos);
  EXPECT_EQ(all[2].rfind("AAPL270115C00180000", 0), 0u);
  EXPECT_EQ(all[5].rfind("AAPL270115P00190000", 0), 0u);

  r = Run({"AAPL", "--expiry", "2026-12-18", "--csv"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("root,expiry,days,years,rate,dividend_yield,symbol,type,strike,", 0), 0u);
  EXPECT_NE(r.out.find(",AAPL261218P00260000,put,260.000,72.10,72.30,72.2000,,,"),
            std::string::npos);
  EXPECT_NE(r.out.find(",below intrinsic\n"), std::string::npos);
  EXPECT_NE(r.out.find(",above bound\n"), std::string::npos);
  EXPECT_EQ(r.out.find("-999"), std::string::npos);
  EXPECT_EQ(r.out.find("nan"), std::string::npos);

  r = Run({"SPX", "--expiry", "2026-12-18", "--smile"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("SPX 2026-12-18"), std::string::npos);
  EXPECT_NE(r.out.find("SPXW 2026-12-18"), std::string::npos);
  EXPECT_NE(r.out.find("\n6000.000 0.1"), std::string::npos) << r.out;
}

// Splits one CSV line as a spreadsheet does: quoted fields may hold commas
// and doubled quotes.
std::vector<std::string> CsvCells(const std::string& line) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char ch = line[i];
    if (quoted && ch == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      cells.back() += '"';
      ++i;
    } else if (ch == '"') {
      quoted = !quoted;
    } else if (ch == ',' && !quoted) {
      cells.emplace_back();
    } else {
      cells.back() += ch;
    }
  }
  return cells;
}

TEST_F(CliChain, OddTextsAndHugeFiguresKeepTheirColumnsAndDigits) {
  CliResult r = Run({"ODD", "--expiry", "2027-01-15", "--csv"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::istringstream lines(r.out);
  std::string line;
  std::vector<std::vector<std::string>> rows;
  while (std::getline(lines, line)) rows.push_back(CsvCells(line));
  ASSERT_EQ(rows.size(), 4u) << r.out;
  const auto column = [&](const std::string& name) {
    const auto at = std::find(rows[0].begin(), rows[0].end(), name);
    EXPECT_NE(at, rows[0].end()) << name;
    return static_cast<std::size_t>(at - rows[0].begin());
  };
  for (const auto& row : rows) ASSERT_EQ(row.size(), rows[0].size()) << r.out;
  const auto& call = rows[1];
  EXPECT_EQ(call[column("symbol")], "ODD270115C00100000");
  EXPECT_EQ(call[column("last_trade_time")], "2026-12-01,11:04 \"late\"");
  EXPECT_NEAR(std::stod(call[column("bid")]) / 1e200, 1.0, 1e-12);
  EXPECT_NEAR(std::stod(call[column("mid")]) / 2e200, 1.0, 1e-12);
  EXPECT_NEAR(std::stod(call[column("last")]) / 2.5e199, 1.0, 1e-12);
  EXPECT_NEAR(std::stod(call[column("volume")]) / 7e201, 1.0, 1e-12);
  EXPECT_EQ(call[column("iv")], "");
  EXPECT_NE(call[column("reason")], "");
  EXPECT_EQ(rows[2][column("symbol")], "ODD270115P00100000");
  // A sub-penny quote keeps its digits.
  EXPECT_EQ(rows[3][column("bid")], "0.004");
  EXPECT_EQ(rows[3][column("ask")], "0.0125");
  EXPECT_EQ(rows[3][column("mid")], "0.00825");

  // The table: every contract on a line of its own, with all its figures.
  r = Run({"ODD", "--expiry", "2027-01-15"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::istringstream table(r.out);
  std::vector<std::string> all;
  while (std::getline(table, line)) all.push_back(line);
  ASSERT_EQ(all.size(), 5u) << r.out;
  EXPECT_EQ(all[2].rfind("ODD270115C00100000", 0), 0u);
  std::istringstream words(all[2]);
  std::vector<std::string> cells;
  for (std::string w; words >> w;) cells.push_back(w);
  ASSERT_GE(cells.size(), 17u) << all[2];  // 16 columns and the reason, nothing cut off
  EXPECT_NEAR(std::stod(cells[3]) / 1e200, 1.0, 1e-12) << all[2];
  EXPECT_NEAR(std::stod(cells[4]) / 3e200, 1.0, 1e-12) << all[2];
  EXPECT_NEAR(std::stod(cells[6]) / 2.5e199, 1.0, 1e-12) << all[2];
  EXPECT_NEAR(std::stod(cells[7]) / 7e201, 1.0, 1e-12) << all[2];
  EXPECT_EQ(cells[10], "-") << all[2];  // no volatility of its own
  EXPECT_EQ(all[3].rfind("ODD270115P00100000", 0), 0u) << all[3];
  EXPECT_NE(all[4].find(" 0.004 "), std::string::npos) << all[4];
  EXPECT_NE(all[4].find(" 0.00825 "), std::string::npos) << all[4];
}

TEST_F(CliChain, TheMomentTheFiguresCountFromIsNamedAsNewYorkTime) {
  CliResult r = Run({"AAPL", "--expiry", "2027-01-15", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["as_of"], "2026-12-07 14:30:00");
  EXPECT_NE(r.err.find("; quotes of 2026-12-07 14:30:00 New York\n"), std::string::npos) << r.err;
  // A timestamp the chain could not take: the moment of reading is named,
  // never the text it passed over nor a blank.
  r = Run({"ZONED", "--expiry", "2027-01-15", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err.find("14:30:00Z New York"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("The file has no timestamp"), std::string::npos) << r.err;
  const std::string as_of = nlohmann::json::parse(r.out)["as_of"];
  ASSERT_EQ(as_of.size(), 19u) << as_of;
  EXPECT_NE(r.err.find("; quotes of " + as_of + " New York\n"), std::string::npos) << r.err;
  // Read within the hour of the run (New York date of now or a day either side).
  const auto today = std::chrono::year_month_day{
      std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
  char year[8];
  std::snprintf(year, sizeof year, "%04d", static_cast<int>(today.year()));
  EXPECT_TRUE(as_of.rfind(year, 0) == 0 ||
              as_of.rfind(std::to_string(int(today.year()) - 1), 0) == 0)
      << as_of;
}

TEST_F(CliChain, DefaultExpiryIsTheNearestStillOpen) {
  // The files are of 14:30 New York on 2026-12-07: the 2026-12-04 weeklies
  // have closed, the 2026-12-07 ones close at 16:00.
  const CliResult r = Run({"SPX", "--strikes", "1"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("SPXW 2026-12-07  0 days  0.00017 years", 0), 0u) << r.out;
  const CliResult past = Run({"SPX", "--expiry", "2026-12-04", "--strikes", "1"});
  ASSERT_EQ(past.exit_code, 0) << past.err;
  EXPECT_NE(past.out.find("expired"), std::string::npos);
}

TEST_F(CliChain, BadArgumentsAndFilesStopWithAReason) {
  CliResult r = Run({});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("one ticker is needed"), std::string::npos);
  r = Run({"AAPL", "--strikes", "0"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("--strikes needs a whole number"), std::string::npos);
  r = Run({"AAPL", "--strikes", "2.5"});
  EXPECT_EQ(r.exit_code, 2);
  r = Run({"AAPL", "--expiry", "18/12/2026x"});
  EXPECT_EQ(r.exit_code, 2);
  r = Run({"AAPL", "--json", "--csv"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("give only one of --json, --csv and --smile"), std::string::npos);
  r = Run({"AAPL", "--expiry", "2030-01-18"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("The option chain has no expiry on 2030-01-18"), std::string::npos);
  r = Run({"NOPRICE"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("shows no price for this security"), std::string::npos);
  EXPECT_EQ(r.err.find("bottom window"), std::string::npos) << r.err;  // a terminal has none
  // Another underlying's file (a redirect, a cache): refused, naming both.
  dir_->Write("api/global/delayed_quotes/options/REDIR.json",
              R"({"data":{"symbol":"EMPTY","current_price":12.5,"options":[]}})");
  r = Run({"REDIR"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(" is for EMPTY, not for REDIR, the ticker asked for"), std::string::npos)
      << r.err;
  r = Run({"EMPTY"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("The delayed quote feed lists no option contracts for EMPTY"),
            std::string::npos)
      << r.err;
  r = Run({"MISSING"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("404"), std::string::npos) << r.err;
  r = Run({"--help"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("Usage: stratlyn-cli chain TICKER"), std::string::npos);
}

}  // namespace
