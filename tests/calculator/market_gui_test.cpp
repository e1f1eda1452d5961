// The panel's market-data buttons pressed for real, with the window's
// QWebEngineView as the second browser, against pages served on 127.0.0.1.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "calculator/ucbsop_widget.h"
#include "marketdata/zel_bloomberg_data.h"
#include "shell/qt_web_browser.h"
#include "support/fake_services.h"
#include "support/halfway_rate.h"
#include "support/locale_text.h"
#include "support/loopback_server.h"
#include "util/format.h"
#include "util/numeric_entry.h"
#include "util/qt_grid_model.h"

namespace stratlyn {
namespace {

const auto L = testing::InEntryLocale;

constexpr int kPatienceMs = 30000;  // a page that takes longer counts as a hang

std::string Fixture(const std::string& name) {
  const char* dir = std::getenv("STRATLYN_TEST_DATA");
  std::ifstream in(std::string(dir ? dir : "tests/data") + "/marketdata/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Today() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
  return buf;
}

class MarketGui : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testing::ScratchDir;
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=IBM", Fixture("quote_underlying.htm"));
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=IBMAZ", Fixture("quote_option.htm"));
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=XYZQ", Fixture("symbol_not_found.htm"));
    dir_->Write("TradTool/Symbols/SymbolDirectory.asp", Fixture("symbol_directory.htm"));
    dir_->Write("api/global/delayed_quotes/quotes/AAPL.json", Fixture("feed_quote.json"));
    const char* values[kFrbSeriesCount] = {"0.50", "1.00", "2.00", "2.50", "2.75",
                                           "3.00", "3.20", "3.40", "3.70", "3.90"};
    for (int i = 0; i < kFrbSeriesCount; ++i) {
      dir_->Write(std::string("FRBData/") + kFrbSeries[i] + "_2010.txt",
                  "Series Description,H.15\r\nTime Period,RIFLGFC\r\n2010-01-04,9.99\r\n" +
                      Today() + "," + values[i] + "\r\n");
    }
    server_ = new testing::LoopbackHttpServer(dir_->Path());
    for (const char* var : {"STRATLYN_EXCHANGE_URL", "STRATLYN_FEED_URL", "STRATLYN_FRB_URL",
                            "STRATLYN_TREASURY_URL"}) {
      setenv(var, server_->BaseUrl().c_str(), 1);
    }
  }
  static void TearDownTestSuite() {
    delete server_;
    delete dir_;
  }

  void SetUp() override {
    ASSERT_TRUE(server_->Ok()) << server_->Error();
    // The waits run the real event loop; a page that never completes is
    // stopped after kPatienceMs, as the user's "Stop" would.
    clock_.start();
    services.events.on_pending = [this] {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      if (clock_.elapsed() > kPatienceMs && !timed_out_) {
        timed_out_ = true;
        panel.StopMarketData();
        web.Stop();
      }
    };
    panel.setBrowsers(nullptr, &web);
    // The series files, unless a test reads the Treasury's file.
    panel.Market().YieldCurve().Source = RateSource::kSeriesFiles;
    // The exchange's HTML page, unless a test chooses the feed (the default).
    panel.cmbExchange()->setCurrentIndex(0);
    panel.show();
    web.resize(800, 400);
    web.show();
  }
  void TearDown() override { EXPECT_FALSE(timed_out_) << "a page did not complete in time"; }

  // Lets events run until `done` holds (or kPatienceMs pass).
  bool WaitUntil(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < kPatienceMs)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
  }
  std::string Url(const std::string& path) const { return server_->BaseUrl() + path; }
  std::string Field(int i) const { return panel.Text1(i)->text().toStdString(); }

  static testing::ScratchDir* dir_;
  static testing::LoopbackHttpServer* server_;
  testing::FakeServices services;
  ucBSOP panel;
  WebBrowser web;
  QElapsedTimer clock_;
  bool timed_out_ = false;
};

testing::ScratchDir* MarketGui::dir_ = nullptr;
testing::LoopbackHttpServer* MarketGui::server_ = nullptr;

TEST_F(MarketGui, UnderlyingPriceAndDividendYield) {
  services.dialogs.Answer(MsgAnswer::Ok);  // the data-use terms, once
  panel.txtStockTicker()->setText("IBM");
  panel.cmdGetStkQuote()->click();
  EXPECT_EQ(Field(0), L("12.50000"));
  EXPECT_EQ(web.LocationURL(), Url("/DelayedQuote/SimpleQuote.aspx?ticker=IBM"));
  EXPECT_EQ(services.dialogs.Count(), 1u);

  // "Parse" reads the page shown again.
  panel.Text1(0)->setText("1");
  panel.cmdReparseStock()->click();
  EXPECT_EQ(Field(0), L("12.50000"));

  panel.Text1(5)->setText("0");
  panel.cmdDivYield()->click();
  EXPECT_EQ(Field(5), L("0.02350"));
  EXPECT_EQ(services.dialogs.Count(), 1u);
}

TEST_F(MarketGui, OptionPriceWithStrikeCorrection) {
  services.dialogs.Answer(MsgAnswer::Ok);
  services.dialogs.Answer(MsgAnswer::Yes);  // correct the strike
  panel.Text1(0)->setText("120");
  panel.Text1(4)->setText("125");
  panel.txtOptionTicker()->setText("ibmaz");
  panel.cmbMaturity()->setCurrentIndex(0);
  panel.cmdGetOption()->click();
  EXPECT_EQ(
      services.dialogs.LastText(),
      "You entered the strike price 125 while the retrieved quote is for strike 130.00. Do you "
      "want me to correct the strike price?");
  // The corrected strike is written in the user's locale, so that Calculate
  // reads back 130.
  EXPECT_EQ(Field(4), L("130.00"));
  EXPECT_EQ(NumericValue(Field(4)).value_or(-1), 130.0);
  EXPECT_EQ(Field(6), L("3.25000"));
  const double t = NumericValue(Field(3)).value_or(-1);
  EXPECT_GT(t, 0.0);
  EXPECT_LE(t, 1.0);
}

TEST_F(MarketGui, SymbolNotFoundBothAnswers) {
  services.dialogs.Answer(MsgAnswer::Ok);
  services.dialogs.Answer(MsgAnswer::No);
  panel.Text1(0)->setText("120");
  panel.Text1(4)->setText("125");
  panel.Text1(6)->setText("7");
  panel.txtOptionTicker()->setText("XYZQ");
  panel.cmdGetOption()->click();
  EXPECT_EQ(services.dialogs.LastText().rfind("Incorrect option root or underlying ticker.", 0),
            0u);
  EXPECT_EQ(Field(6), "7");
  EXPECT_EQ(web.LocationURL(), Url("/DelayedQuote/SimpleQuote.aspx?ticker=XYZQ"));

  services.dialogs.Answer(MsgAnswer::Yes);
  panel.cmdGetOption()->click();
  EXPECT_TRUE(WaitUntil([&] {
    return web.LocationURL() == Url("/TradTool/Symbols/SymbolDirectory.asp");
  })) << web.LocationURL();
  EXPECT_EQ(Field(6), "7");
  EXPECT_EQ(Field(4), "125");
}

TEST_F(MarketGui, InterestRateFromTheTenSeries) {
  // The status label and the progress bar count the same series while they
  // load; idle, the label is empty.
  std::set<std::string> shown;
  std::set<int> bar_values;
  const auto run_events = services.events.on_pending;
  services.events.on_pending = [&] {
    run_events();
    const std::string label = panel.lblInet()->text().toStdString();
    shown.insert(label);
    if (panel.seriesProgress()->isVisibleTo(&panel)) {
      EXPECT_EQ(panel.seriesProgress()->maximum(), 10);
      const int value = panel.seriesProgress()->value();
      bar_values.insert(value);
      const std::string counted = std::to_string(value) + " of 10";
      EXPECT_EQ(label, "Loading rate series " + counted);
      EXPECT_EQ(panel.seriesProgress()->text().toStdString(), counted);
    }
  };
  EXPECT_EQ(panel.lblInet()->text(), "");
  panel.Text1(3)->setText(QString::fromStdString(L("0.75")));
  panel.cmdGetInterestRate()->click();
  EXPECT_TRUE(shown.count("Loading rate series 1 of 10"));
  EXPECT_TRUE(shown.count("Loading rate series 10 of 10"));
  // Done, the label names the source, its date and the conversion.
  EXPECT_TRUE(
      panel.lblInet()->text().startsWith("H.15 series files of " + QString::fromStdString(Today())))
      << panel.lblInet()->text().toStdString();
  EXPECT_TRUE(panel.lblInet()->text().contains("continuous rate 2 ln(1 + y/2) = "));
  EXPECT_TRUE(bar_values.count(1) && bar_values.count(10));
  EXPECT_FALSE(panel.seriesProgress()->isVisibleTo(&panel));
  ASSERT_EQ(services.dialogs.Count(), 0u) << services.dialogs.LastText();
  const Grid& grid = panel.Grid1()->grid();
  ASSERT_EQ(grid.Rows(), 12);
  EXPECT_EQ(grid.TextMatrix(2, 1), "3TD");
  EXPECT_EQ(grid.TextMatrix(3, 4), "1.0000");
  EXPECT_EQ(grid.TextMatrix(11, 1), "30");
  // Halfway between the 6-month (1.00 %) and 1-year (2.00 %) rates.
  EXPECT_TRUE(testing::IsHalfwayRate(Field(2), CurrentEntryLocale().decimal_point[0]));

  // The grid shows each term beside its yield, at the normal display (what a
  // 1024x768 screen gets) and the large one.
  GridView& view = *panel.Grid1();
  const auto in_view = [&view](int col) {
    const int x = view.columnViewportPosition(col);
    return x >= 0 && x + view.columnWidth(col) <= view.viewport()->width();
  };
  for (const bool large : {false, true}) {
    if (large) panel.EnlargeFont();
    EXPECT_TRUE(in_view(zelBloombergData::colTerm)) << large;
    EXPECT_TRUE(in_view(zelBloombergData::colCoupon)) << large;
    const QFontMetrics metrics(view.font());
    // Wide enough for the text inside a cell's margins (no "3.95...").
    EXPECT_GE(view.columnWidth(zelBloombergData::colCoupon),
              metrics.horizontalAdvance(QString::fromStdString(grid.TextMatrix(11, 2))) + 6);
  }
  panel.ReduceFont();
  EXPECT_TRUE(in_view(zelBloombergData::colCoupon));
}

TEST_F(MarketGui, StopEndsASeriesLoadThatNeverCompletes) {
  // Every series address now hangs; the user presses "Stop" after a second.
  setenv("STRATLYN_FRB_URL", (server_->BaseUrl() + "/_hang").c_str(), 1);
  QElapsedTimer pressed;
  pressed.start();
  bool stopped = false;
  const auto run_events = services.events.on_pending;
  services.events.on_pending = [&] {
    run_events();
    if (!stopped && pressed.elapsed() > 1000) {
      stopped = true;
      panel.StopMarketData();  // what the window's "Stop" does
      web.Stop();
    }
  };
  panel.Text1(2)->setText(QString::fromStdString(L("0.10")));
  panel.Text1(3)->setText(QString::fromStdString(L("0.75")));
  panel.cmdGetInterestRate()->click();
  setenv("STRATLYN_FRB_URL", server_->BaseUrl().c_str(), 1);
  EXPECT_TRUE(stopped);
  EXPECT_LT(pressed.elapsed(), kPatienceMs);
  EXPECT_EQ(Field(2), L("0.10"));
  EXPECT_EQ(services.dialogs.Count(), 0u) << services.dialogs.LastText();
  EXPECT_EQ(services.events.busy_on, services.events.busy_off);
}

TEST_F(MarketGui, PressingGetUnderlyingPriceAgainWhileThePageLoads) {
  // A slow server: the feed's quote comes in pieces over about two seconds.
  const std::string slow = server_->BaseUrl() + "/_slow/300";
  setenv("STRATLYN_FEED_URL", slow.c_str(), 1);
  services.dialogs.Answer(MsgAnswer::Ok);
  panel.cmbExchange()->setCurrentIndex(1);  // the delayed feed
  panel.txtStockTicker()->setText("AAPL");
  panel.Text1(0)->setText("1");
  bool pressed_again = false;
  const auto run_events = services.events.on_pending;
  services.events.on_pending = [&] {
    run_events();
    if (!pressed_again &&
        web.LocationURL() == slow + "/api/global/delayed_quotes/quotes/AAPL.json") {
      pressed_again = true;
      panel.cmdGetStkQuote()->click();  // the user's second press, inside the first wait
    }
  };
  panel.cmdGetStkQuote()->click();
  setenv("STRATLYN_FEED_URL", server_->BaseUrl().c_str(), 1);
  EXPECT_TRUE(pressed_again);
  EXPECT_FALSE(timed_out_) << "the second wait never ended";
  EXPECT_EQ(Field(0), L("187.44000"));
  EXPECT_EQ(services.dialogs.Count(), 1u) << services.dialogs.LastText();
  EXPECT_EQ(services.events.busy_on, services.events.busy_off);
}

TEST_F(MarketGui, GetInterestRateWhileAQuoteLoads) {
  // The interest rate replaces the quote page in the view: the rate is
  // written, the quote command reads no page of another's.
  setenv("STRATLYN_EXCHANGE_URL", (server_->BaseUrl() + "/_slow/200").c_str(), 1);
  services.dialogs.Answer(MsgAnswer::Ok);
  panel.txtStockTicker()->setText("IBM");
  panel.Text1(0)->setText("1");
  panel.Text1(3)->setText(QString::fromStdString(L("0.75")));
  bool pressed = false;
  const auto run_events = services.events.on_pending;
  services.events.on_pending = [&] {
    run_events();
    if (!pressed && web.LocationURL().find("ticker=IBM") != std::string::npos) {
      pressed = true;
      panel.cmdGetInterestRate()->click();
    }
  };
  panel.cmdGetStkQuote()->click();
  setenv("STRATLYN_EXCHANGE_URL", server_->BaseUrl().c_str(), 1);
  EXPECT_TRUE(pressed);
  EXPECT_FALSE(timed_out_);
  EXPECT_TRUE(testing::IsHalfwayRate(Field(2), CurrentEntryLocale().decimal_point[0]));
  EXPECT_EQ(Field(0), "1");
  EXPECT_EQ(services.dialogs.Count(), 1u) << services.dialogs.LastText();
}

TEST_F(MarketGui, ADownloadIsAFailedFetchNotThePreviousPage) {
  services.dialogs.Answer(MsgAnswer::Ok);
  panel.cmbExchange()->setCurrentIndex(1);  // the delayed feed
  panel.txtStockTicker()->setText("AAPL");
  panel.cmdGetStkQuote()->click();  // the AAPL quote (187.44) is shown now
  ASSERT_EQ(Field(0), L("187.44000"));
  panel.Text1(0)->setText("1");

  // The server answers the next quote with a file to download.
  const std::string download = server_->BaseUrl() + "/_download";
  setenv("STRATLYN_FEED_URL", download.c_str(), 1);
  panel.cmdGetStkQuote()->click();
  setenv("STRATLYN_FEED_URL", server_->BaseUrl().c_str(), 1);
  EXPECT_EQ(Field(0), "1");  // not the previous page's price
  EXPECT_EQ(services.dialogs.LastText(), "The page " + download +
                                             "/api/global/delayed_quotes/quotes/AAPL.json" +
                                             " could not be loaded: " + kDownloadFailure);
  EXPECT_EQ(services.dialogs.Last().icon, MsgIcon::Critical);
}

TEST_F(MarketGui, AServerThatNeverAnswersIsAMessageNotAWaitForEver) {
  web.SetNoAnswerTimeout(std::chrono::milliseconds(1000));
  const std::string silent = server_->BaseUrl() + "/_hang";
  setenv("STRATLYN_EXCHANGE_URL", silent.c_str(), 1);
  services.dialogs.Answer(MsgAnswer::Ok);
  panel.txtStockTicker()->setText("IBM");
  panel.Text1(0)->setText("1");
  panel.cmdGetStkQuote()->click();
  setenv("STRATLYN_EXCHANGE_URL", server_->BaseUrl().c_str(), 1);
  EXPECT_EQ(services.dialogs.LastText(), "The page " + silent +
                                             "/DelayedQuote/SimpleQuote.aspx?ticker=IBM could not "
                                             "be loaded: no answer in 1 s");
  EXPECT_EQ(Field(0), "1");
  EXPECT_EQ(services.events.busy_on, services.events.busy_off);
}

// "Get Underlying Price" from a server that trickles two bytes a second, or
// sends headers and then nothing: the wait ends by itself at the page
// deadline (shortened here) with a message, not at the user's Stop.
TEST_F(MarketGui, APageNeverCompleteEndsByItselfAtTheDeadline) {
  web.SetPageDeadline(std::chrono::milliseconds(2000));
  services.dialogs.Answer(MsgAnswer::Ok);
  for (const std::string fault : {"/_trickle/2", "/_headers"}) {
    const std::string base = server_->BaseUrl() + fault;
    setenv("STRATLYN_EXCHANGE_URL", base.c_str(), 1);
    panel.txtStockTicker()->setText("IBM");
    panel.Text1(0)->setText("1");
    panel.cmdGetStkQuote()->click();
    setenv("STRATLYN_EXCHANGE_URL", server_->BaseUrl().c_str(), 1);
    EXPECT_EQ(services.dialogs.LastText(),
              "The page " + base +
                  "/DelayedQuote/SimpleQuote.aspx?ticker=IBM could not be loaded: no complete "
                  "answer from 127.0.0.1 in 2 s");
    EXPECT_EQ(services.dialogs.Last().icon, MsgIcon::Critical);
    EXPECT_EQ(Field(0), "1");
  }
  web.SetPageDeadline(WebBrowser::kPageDeadline);
}

TEST_F(MarketGui, AnErrorStatusNamesThePageAndTheStatus) {
  services.dialogs.Answer(MsgAnswer::Ok);
  panel.txtStockTicker()->setText("NOSUCH");
  panel.Text1(0)->setText("1");
  panel.cmdGetStkQuote()->click();
  EXPECT_EQ(services.dialogs.LastText(), "The page " +
                                             Url("/DelayedQuote/SimpleQuote.aspx?ticker=NOSUCH") +
                                             " could not be loaded: HTTP 404 (Not Found)");
  EXPECT_EQ(Field(0), "1");
}

TEST_F(MarketGui, AClickOnAVolatilityRowFillsTheVolatilityField) {
  // 21 daily closes alternating by +-1 % (log), and a quote with its iv30.
  std::string rows;
  double close = 100;
  for (int i = 1; i <= 21; ++i) {
    rows += std::string(rows.empty() ? "" : ",") + "{\"date\": \"2026-11-" + (i < 10 ? "0" : "") +
            std::to_string(i) + "\", \"close\": \"" + FormatNumber(close, "0.000000") + "\"}";
    close *= std::exp(i % 2 ? 0.01 : -0.01);
  }
  dir_->Write("api/global/delayed_quotes/charts/historical/GUIV.json",
              "{\"data\": [" + rows + "]}");
  dir_->Write("api/global/delayed_quotes/quotes/GUIV.json", R"({"data": {"iv30": 22.5}})");
  panel.cmbExchange()->setCurrentIndex(1);  // the delayed feed
  panel.txtStockTicker()->setText("GUIV");
  panel.Text1(1)->setText(QString::fromStdString(L("0.3")));
  panel.cmdHistoVol()->click();
  ASSERT_EQ(services.dialogs.Count(), 0u) << services.dialogs.LastText();
  const Grid& grid = panel.Grid1()->grid();
  ASSERT_EQ(grid.TextMatrix(2, 1), "20 days");
  EXPECT_EQ(grid.TextMatrix(2, 2), "0.1629");
  EXPECT_EQ(grid.TextMatrix(5, 2), "0.2250");
  EXPECT_TRUE(panel.lblInet()->text().startsWith("realized volatility, close to close"));
  EXPECT_EQ(Field(1), L("0.3"));  // nothing written before a click

  // A click where a person clicks: on the row's cell in the grid.
  GridView& view = *panel.Grid1();
  view.scrollTo(view.model()->index(5, 2));
  const QRect cell = view.visualRect(view.model()->index(5, 2));
  ASSERT_TRUE(cell.isValid());
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(Field(1), L("0.2250"));
  EXPECT_TRUE(panel.lblInet()->text().contains("from the iv30 row"));
}

}  // namespace
}  // namespace stratlyn
