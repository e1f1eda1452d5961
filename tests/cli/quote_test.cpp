// stratlyn-cli quote, rate and dividend, run as a user runs them, against
// pages served on 127.0.0.1.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/loopback_server.h"

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
  return Slurp(std::string(dir ? dir : "tests/data") + "/marketdata/" + name);
}

std::string Today() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
  return buf;
}

class CliQuote : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=IBM", Fixture("quote_underlying.htm"));
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=IBMAZ", Fixture("quote_option.htm"));
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=XYZQ", Fixture("symbol_not_found.htm"));
    dir_->Write("api/global/delayed_quotes/quotes/AAPL.json", Fixture("feed_quote.json"));
    dir_->Write("api/global/delayed_quotes/options/AAPL.json", Fixture("feed_options.json"));
    const char* series[] = {"M3", "M6", "Y1", "Y2", "Y3", "Y5", "Y7", "Y10", "Y20", "Y30"};
    const char* values[] = {"0.50", "1.00", "2.00", "2.50", "2.75",
                            "3.00", "3.20", "3.40", "3.70", "3.90"};
    for (int i = 0; i < 10; ++i) {
      dir_->Write(std::string("FRBData/H15_TCMNOM_") + series[i] + "_2010.txt",
                  "Series Description,H.15\r\n" + Today() + "," + values[i] + "\r\n");
    }
    server_ = new LoopbackHttpServer(dir_->Path());
  }
  static void TearDownTestSuite() {
    delete server_;
    delete dir_;
  }
  void SetUp() override { ASSERT_TRUE(server_->Ok()) << server_->Error(); }

  // Runs stratlyn-cli with every host pointed at the loopback server.
  CliResult Run(const std::vector<std::string>& args) const {
    const std::string tmp = ::testing::TempDir();
    // ctest runs each test in its own process, several at a time: one file pair per process.
    const std::string stem = tmp + "cli_quote_" + std::to_string(getpid());
    const std::string out_file = stem + ".out", err_file = stem + ".err";
    const std::string base = server_->BaseUrl();
    std::string command = "STRATLYN_EXCHANGE_URL=" + base + " STRATLYN_FEED_URL=" + base +
                          " STRATLYN_FRB_URL=" + base + " '" + STRATLYN_CLI_PATH + "'";
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

ScratchDir* CliQuote::dir_ = nullptr;
LoopbackHttpServer* CliQuote::server_ = nullptr;

TEST_F(CliQuote, PricesFromThePageAndTheFeed) {
  CliResult r = Run({"quote", "IBM"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "12.50000\n");

  r = Run({"quote", "AAPL", "--exchange", "CBOE Delayed Feed"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "187.44000\n");

  r = Run({"quote", "AAPL", "--exchange", "CBOE Delayed Feed", "--option", "AAPL270115C00190000",
           "--strike", "190"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "14.50000\n");  // the bid/ask midpoint of an option not traded
}

TEST_F(CliQuote, OptionStrikeQuestionBecomesANote) {
  const CliResult r =
      Run({"quote", "IBM", "--option", "ibmaz", "--strike", "125", "--month", "jan"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "3.25000\n");
  EXPECT_NE(
      r.err.find(
          "note: You entered the strike price 125 while the retrieved quote is for strike 130.00."),
      std::string::npos)
      << r.err;
}

TEST_F(CliQuote, NoFigureMeansExitTwo) {
  CliResult r = Run({"quote", "XYZQ"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Incorrect option root or underlying ticker."), std::string::npos) << r.err;

  r = Run({"quote", "AAPL", "--exchange", "CBOE Delayed Feed", "--option", "AAPL270115P00999000",
           "--strike", "999"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("The option is not in the delayed quote feed."), std::string::npos) << r.err;

  r = Run({"quote", "IBM", "--option", "IBMAZ"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("Invalid strike price"), std::string::npos);

  r = Run({"quote", "IBM", "--exchange", "NYSE"});
  EXPECT_EQ(r.exit_code, 2);
  r = Run({"quote"});
  EXPECT_EQ(r.exit_code, 2);
  r = Run({"quote", "NOPAGE"});  // the server answers 404
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("could not load"), std::string::npos);
}

TEST_F(CliQuote, RateAndDividend) {
  CliResult r = Run({"rate", "0.75"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "0.0150\n");
  r = Run({"rate", "40"});
  EXPECT_EQ(r.out, "0.0390\n");
  r = Run({"rate", "someday"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("Invalid Maturity"), std::string::npos);

  r = Run({"dividend", "IBM"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "0.02350\n");
  r = Run({"dividend", "XYZQ"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("Unable to locate the dividend yield"), std::string::npos);
}

}  // namespace
