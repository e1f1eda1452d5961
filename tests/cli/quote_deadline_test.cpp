// stratlyn-cli quote, rate and dividend against servers that never finish:
// --timeout is the deadline of the whole page, and a page has a size cap.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/loopback_server.h"

namespace {

using stratlyn::testing::LoopbackHttpServer;
using stratlyn::testing::ScratchDir;

using stratlyn::testing::CliResult;

// Runs stratlyn-cli with the exchange's pages and the series files at
// `base`; `timeout` bounds the run from outside so a hanging tool fails the
// test instead of stalling it.
CliResult RunCli(const std::vector<std::string>& args, const std::string& base) {
  return stratlyn::testing::RunCliCommand(
      "STRATLYN_EXCHANGE_URL='" + base + "' STRATLYN_FRB_URL='" + base + "' STRATLYN_FEED_URL='" +
          base + "' STRATLYN_TREASURY_URL='" + base + "' timeout -s KILL 120 ",
      args, "cli_deadline");
}

class CliDeadline : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(http_.Ok()) << http_.Error(); }
  ScratchDir dir_;
  LoopbackHttpServer http_{dir_.Path()};
};

TEST_F(CliDeadline, TimeoutIsTheDeadlineOfTheWholePage) {
  const std::string incomplete = "could not be loaded: no complete answer from 127.0.0.1 in 2 s";
  // Two bytes a second, and headers followed by silence: neither is ever
  // silent long enough for a time-without-data limit, nor ever complete.
  for (const std::string fault : {"/_trickle/2", "/_headers"}) {
    const std::string base = http_.BaseUrl() + fault;
    CliResult r = RunCli({"quote", "IBM", "--exchange", "CBOE", "--timeout", "2"}, base);
    EXPECT_EQ(r.exit_code, 1) << fault << ": " << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(incomplete), std::string::npos) << r.err;

    r = RunCli({"dividend", "IBM", "--exchange", "CBOE", "--timeout", "2"}, base);
    EXPECT_EQ(r.exit_code, 1) << fault << ": " << r.err;
    EXPECT_NE(r.err.find(incomplete), std::string::npos) << r.err;

    r = RunCli({"rate", "1", "--source", "series", "--timeout", "2"}, base);
    EXPECT_EQ(r.exit_code, 1) << fault << ": " << r.err;
    EXPECT_NE(r.err.find("The series file H15_TCMNOM_M3_2010.txt " + incomplete), std::string::npos)
        << r.err;
  }
}

TEST_F(CliDeadline, APageThatNeverEndsIsCutOffAt64MB) {
  const CliResult r = RunCli({"quote", "IBM", "--exchange", "CBOE"}, http_.BaseUrl() + "/_endless");
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_NE(r.err.find("could not be loaded: the answer from 127.0.0.1 is larger than 64 MB"),
            std::string::npos)
      << r.err;
}

}  // namespace
