// stratlyn-cli chain, run as a user runs it, against a copy of the feed's
// options files and a Treasury curve served on 127.0.0.1.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/loopback_server.h"

#ifdef STRATLYN_HAVE_QUANTLIB
#include <ql/pricingengines/blackformula.hpp>
#endif

namespace {

using stratlyn::testing::LoopbackHttpServer;
using stratlyn::testing::ScratchDir;

struct CliResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Fixture(const std::string& name) {
  const char* dir = std::getenv("STRATLYN_TEST_DATA");
  return Slurp(std::string(dir ? dir : "tests/data") + "/chain/" + name);
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
    const std::string stem = ::testing::TempDir() + "cli_chain_" + std::to_string(getpid());
    const std::string out_file = stem + ".out", err_file = stem + ".err";
    const std::string base = server_->BaseUrl();
    std::string command = "STRATLYN_FEED_URL=" + base + " STRATLYN_TREASURY_URL=" + base +
                          " STRATLYN_FRB_URL=http://127.0.0.1:1 " + env + " '" + STRATLYN_CLI_PATH +
                          "' chain";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " >'" + out_file + "' 2>'" + err_file + "'";
    const int status = std::system(command.c_str());
    CliResult r;
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(out_file);
    r.err = Slurp(err_file);
    return r;
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
