// Failed fetches tell their cause: the status a server answered or the
// time-out, and a series file that does not load names itself.

#include <gtest/gtest.h>

#include <string>

#include "marketdata/fetch_error.h"
#include "marketdata/http_fetch.h"
#include "marketdata/page_charset.h"
#include "marketdata/page_wait.h"
#include "marketdata/zel_bloomberg_data.h"
#include "support/fake_services.h"
#include "support/loopback_server.h"
#include "util/grid.h"

namespace stratlyn {
namespace {

using testing::LoopbackHttpServer;
using testing::ScopedEnv;
using testing::ScratchDir;

// A view over FetchHttpPage that reports why a load failed, as the window's
// view and the command line's do.
class HttpView : public BrowserView {
 public:
  void Navigate(const std::string& url, int = 0) override {
    url_ = url;
    page_ = FetchHttpPage(url, 2);
    SetTag(kPageDone);
  }
  bool GoBack() override { return false; }
  bool GoForward() override { return false; }
  void Stop() override {}
  int ReadyState() const override { return kComplete; }
  std::string LocationURL() const override { return url_; }
  std::string BodyHtml() override { return PageTextAsUtf8(page_.body, page_.content_type); }
  void SetSilent(bool) override {}
  std::string LoadFailure() const override { return page_.failure; }

 private:
  std::string url_;
  HttpPage page_;
};

std::string Series(const std::string& last_line) {
  return "Series Description,H.15\r\n2025-06-02,4.10\r\n" + last_line + "\r\n";
}

TEST(FetchHttpPage, StatusTimeOutAndBody) {
  ScratchDir dir;
  dir.Write("page.htm", "<p>12.5</p>");
  LoopbackHttpServer http(dir.Path());
  ASSERT_TRUE(http.Ok()) << http.Error();

  HttpPage page = FetchHttpPage(http.BaseUrl() + "/page.htm");
  EXPECT_EQ(page.failure, "");
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.body, "<p>12.5</p>");
  EXPECT_EQ(page.content_type, "text/html");

  page = FetchHttpPage(http.BaseUrl() + "/_status/404");
  EXPECT_EQ(page.status, 404);
  EXPECT_EQ(page.failure, "HTTP 404 (Not Found)");
  EXPECT_EQ(page.body, "");  // the error page is no page to read
  EXPECT_EQ(FetchHttpPage(http.BaseUrl() + "/_status/500").failure,
            "HTTP 500 (Internal Server Error)");
  EXPECT_EQ(FetchHttpPage(http.BaseUrl() + "/_status/418").failure, "HTTP 418");
  EXPECT_EQ(FetchHttpPage(http.BaseUrl() + "/_redirect/page.htm").body, "<p>12.5</p>");
  // A server that accepts and never answers.
  EXPECT_EQ(FetchHttpPage(http.BaseUrl() + "/_hang", 1).failure, "no answer in 1 s");
  // A command's page in a view: CheckPageLoaded turns the cause into a FetchError.
  HttpView view;
  view.Navigate(http.BaseUrl() + "/page.htm");
  EXPECT_NO_THROW(CheckPageLoaded(view, view.LocationURL()));
  view.Navigate(http.BaseUrl() + "/_status/404");
  try {
    CheckPageLoaded(view, "QUOTE");
    ADD_FAILURE() << "a 404 page counted as loaded";
  } catch (const FetchError& e) {
    EXPECT_EQ(e.Description(), "The page QUOTE could not be loaded: HTTP 404 (Not Found)");
  }
  // Nothing listening: libcurl's words, never an empty cause.
  const std::string base = http.BaseUrl();
  http.Stop();
  EXPECT_NE(FetchHttpPage(base + "/page.htm", 1).failure, "");
}

// The head of the error when the series files were the only source tried.
constexpr const char* kSeriesOnly =
    "The Treasury yield curve could not be read. H.15 series files: ";

TEST(FrbFetchFailures, EachNamesTheSeriesFileAndItsCause) {
  testing::FakeServices services;
  ScratchDir dir;
  LoopbackHttpServer http(dir.Path());
  ASSERT_TRUE(http.Ok()) << http.Error();
  HttpView view;
  zelBloombergData curve;
  curve.Browser = &view;
  curve.Source = RateSource::kSeriesFiles;  // this test is about the series files
  Grid grid;
  const auto failure_of = [&](const std::string& base) -> std::string {
    ScopedEnv env("STRATLYN_FRB_URL", base);
    ScopedEnv treasury("STRATLYN_TREASURY_URL", base);
    try {
      curve.GrabFRBYieldCurve(zelBloombergData::cUS, grid);
    } catch (const FetchError& e) {
      EXPECT_EQ(e.Number(), err::kDeviceIO);
      return e.Description();
    }
    return "no FetchError";
  };
  // The series files are missing: the first one answers 404.
  EXPECT_EQ(failure_of(http.BaseUrl()),
            std::string(kSeriesOnly) +
                "The series file H15_TCMNOM_M3_2010.txt could not be loaded: HTTP 404 (Not Found)");
  // Every path under /_status/500/ answers 500.
  EXPECT_EQ(failure_of(http.BaseUrl() + "/_status/500"),
            std::string(kSeriesOnly) +
                "The series file H15_TCMNOM_M3_2010.txt could not be loaded: HTTP 500 (Internal "
                "Server Error)");
  // The 6-month series holds only days without data ("ND").
  dir.Write("FRBData/H15_TCMNOM_M3_2010.txt", Series("2025-06-03,4.20"));
  dir.Write("FRBData/H15_TCMNOM_M6_2010.txt",
            "Series Description,H.15\r\n2025-06-02,ND\r\n2025-06-03,ND\r\n");
  EXPECT_EQ(
      failure_of(http.BaseUrl()),
      std::string(kSeriesOnly) + "The series file H15_TCMNOM_M6_2010.txt holds no observation");
  EXPECT_EQ(grid.TextMatrix(2, 4), "4.2000");  // the series read before stay
  // A silent server: the time-out, in seconds.
  EXPECT_EQ(failure_of(http.BaseUrl() + "/_hang"),
            std::string(kSeriesOnly) +
                "The series file H15_TCMNOM_M3_2010.txt could not be loaded: no answer in 2 s");
  // None of these reached the user as a box of the reader's own.
  EXPECT_EQ(services.dialogs.Count(), 0u);

  // A benchmark rate page that does not load names itself the same way.
  ScopedEnv rates("STRATLYN_RATES_URL", http.BaseUrl());
  try {
    curve.GrabBloombergData(zelBloombergData::cUS, grid);
    ADD_FAILURE() << "a missing rate page counted as loaded";
  } catch (const FetchError& e) {
    EXPECT_EQ(e.Description(), "The page " + http.BaseUrl() +
                                   "/markets/rates/index.html could not be loaded: HTTP 404 "
                                   "(Not Found)");
  }
  EXPECT_EQ(services.dialogs.Count(), 0u);  // not "Unable to parse Bloomberg data"
}

}  // namespace
}  // namespace stratlyn
