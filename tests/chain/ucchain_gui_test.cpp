// The chain panel in the main window, against a chain file and the rate
// series served on 127.0.0.1: typed tickers, clicks on the list, the table,
// its header and the buttons, the contract's terms arriving in the
// calculator and the strategy, Stop and a second Load during a load.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "calculator/barrier_widget.h"
#include "calculator/ucbsop_widget.h"
#include "chain/qt_chain_model.h"
#include "chain/ucchain_widget.h"
#include "charts/qt_canvas.h"
#include "marketdata/zel_bloomberg_data.h"
#include "shell/calc_main_widget.h"
#include "shell/qt_web_browser.h"
#include "strategy/ucstrategy_widget.h"
#include "support/dark_palette.h"
#include "support/fake_services.h"
#include "support/gui_wait.h"
#include "support/loopback_server.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"
#include "util/qt_grid_model.h"

namespace stratlyn {
namespace {

constexpr int kPatienceMs = 40000;
constexpr const char* kChainPath = "api/global/delayed_quotes/options/AAPL.json";

std::string Fixture(const std::string& name) {
  const char* dir = std::getenv("STRATLYN_TEST_DATA");
  std::ifstream in(std::string(dir ? dir : "tests/data") + "/chain/" + name, std::ios::binary);
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

// The figure after the last ": " of a label ("Value : 3.456789").
double Figure(const QString& text) {
  const QString tail = text.mid(text.lastIndexOf(':') + 1).trimmed();
  return NumericValue(tail.toStdString()).value_or(-1);
}

class ChainGui : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testing::ScratchDir;
    dir_->Write(kChainPath, Fixture("panel_aapl.json"));
    dir_->Write("api/global/delayed_quotes/options/WIDE.json", Fixture("panel_wide.json"));
    dir_->Write("api/global/delayed_quotes/options/_SPX.json", Fixture("_SPX.json"));
    dir_->Write(
        "api/global/delayed_quotes/options/EMPTY.json",
        R"({"timestamp":"2026-12-07 16:15:02","data":{"symbol":"EMPTY","current_price":10,"options":[]}})");
    dir_->Write("api/global/delayed_quotes/options/BROKEN.json",
                "<html><body>Not here</body></html>");
    const char* values[kFrbSeriesCount] = {"3.50", "3.55", "3.60", "3.65", "3.70",
                                           "3.75", "3.80", "3.85", "3.90", "3.95"};
    for (int i = 0; i < kFrbSeriesCount; ++i) {
      dir_->Write(std::string("FRBData/") + kFrbSeries[i] + "_2010.txt",
                  "Series Description,H.15\r\nTime Period,RIFLGFC\r\n" + Today() + "," + values[i] +
                      "\r\n");
    }
    server_ = new testing::LoopbackHttpServer(dir_->Path());
    setenv("STRATLYN_FEED_URL", server_->BaseUrl().c_str(), 1);
    setenv("STRATLYN_FRB_URL", server_->BaseUrl().c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete server_;
    delete dir_;
  }

  void SetUp() override {
    ASSERT_TRUE(server_->Ok()) << server_->Error();
    setenv("STRATLYN_FEED_URL", server_->BaseUrl().c_str(), 1);
    SetEntryLocale(EntryLocale{});
    services.events.on_pending = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); };
    services.dialogs.Answer(MsgAnswer::Ok);  // the data-use terms
    w.resize(1400, 1000);
    w.show();
    QTest::mouseClick(w.cmdChain(), Qt::LeftButton);
    chain()->Curve().Source = RateSource::kSeriesFiles;
  }
  void TearDown() override { ResetEntryLocale(); }

  ucChain* chain() { return w.ucChain1(); }
  QTableView* table() { return chain()->tblChain(); }
  ChainTableModel* model() { return chain()->Model(); }

  void TypeTicker(const char* ticker) {
    QLineEdit* t = chain()->txtTicker();
    t->selectAll();
    QTest::keyClick(t, Qt::Key_Delete);
    QTest::keyClicks(t, ticker);
  }
  bool Load(const char* ticker) {
    TypeTicker(ticker);
    QTest::mouseClick(chain()->cmdLoad(), Qt::LeftButton);
    return testing::WaitFor([this] { return !chain()->Loading(); }, kPatienceMs);
  }
  // True once the bottom browser shows an address containing `part` (the
  // table does not wait for it).
  bool BrowserShows(const std::string& part) {
    return testing::WaitFor(
        [this, part] { return w.Browser2()->LocationURL().find(part) != std::string::npos; },
        kPatienceMs);
  }
  // The row of a strike, -1 when not shown.
  int RowOf(double strike) {
    for (int r = 0; r < model()->rowCount(); ++r) {
      if (model()->StrikeAt(r) == strike) return r;
    }
    return -1;
  }
  // The column of a side's column (calls left of the strike, mirrored).
  int ColumnOf(ChainColumn column, bool put) {
    const auto& cols = model()->Columns();
    for (int i = 0; i < static_cast<int>(cols.size()); ++i) {
      if (cols[i] == column) {
        return put ? model()->StrikeColumn() + 1 + i : model()->StrikeColumn() - 1 - i;
      }
    }
    return -1;
  }
  QString Cell(double strike, ChainColumn column, bool put) {
    return model()->index(RowOf(strike), ColumnOf(column, put)).data().toString();
  }
  QPoint CellCentre(double strike, ChainColumn column, bool put) {
    const QModelIndex i = model()->index(RowOf(strike), ColumnOf(column, put));
    table()->scrollTo(i);
    return table()->visualRect(i).center();
  }
  // A person's double-click: press and release, then the second press,
  // which arrives as the double-click, and its release.
  void DoubleClick(const QPoint& at) {
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, at);
  }
  // Runs `action` once, from the event loop, as soon as the status line
  // starts with `prefix`.
  void AtStatus(const QString& prefix, std::function<void()> action) {
    auto* timer = new QTimer(&w);
    QObject::connect(timer, &QTimer::timeout, timer, [this, timer, prefix, action] {
      if (chain()->lblStatus()->text().startsWith(prefix)) {
        timer->stop();
        timer->deleteLater();
        action();
      }
    });
    timer->start(10);
  }
  const ChainContract& ContractOf(double strike, bool put) {
    const QModelIndex i = model()->index(RowOf(strike), ColumnOf(ChainColumn::kBid, put));
    return chain()->Chain()->contracts.at(*model()->ContractAt(i));
  }

  testing::FakeServices services;
  calcMain w;
  static testing::ScratchDir* dir_;
  static testing::LoopbackHttpServer* server_;
};

testing::ScratchDir* ChainGui::dir_ = nullptr;
testing::LoopbackHttpServer* ChainGui::server_ = nullptr;

TEST_F(ChainGui, LoadShowsExpiriesTableReasonsSmileAndSurface) {
  EXPECT_EQ(w.currentPanel(), chain());
  EXPECT_TRUE(chain()->isVisible());
  // Another panel hides it; View > Chain brings it back.
  QTest::mouseClick(w.cmdStrategy(), Qt::LeftButton);
  EXPECT_FALSE(chain()->isVisible());
  QAction* menu = w.findChild<QAction*>("mnuChain");
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->text(), "&Chain");
  menu->trigger();
  EXPECT_EQ(w.currentPanel(), chain());
  EXPECT_TRUE(chain()->isVisible());
  EXPECT_FALSE(w.ucStrategy1()->isVisible());
  ASSERT_TRUE(Load("aapl"));
  ASSERT_TRUE(chain()->Chain());
  // The page stays in the bottom browser.
  EXPECT_TRUE(BrowserShows(kChainPath)) << w.Browser2()->LocationURL();
  // Three expiries with their days from the file's date (2026-12-07).
  QListWidget* list = chain()->lstExpiry();
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(0)->text(), "2026-12-18  11 d");
  EXPECT_EQ(list->item(2)->text(), "2027-03-19  102 d");
  EXPECT_EQ(list->currentRow(), 0);
  // Every strike of the first expiry, the one nearest 187.44 marked.
  ASSERT_EQ(model()->rowCount(), 9);
  ASSERT_TRUE(model()->NearestRow());
  EXPECT_EQ(model()->StrikeAt(*model()->NearestRow()), 185.0);
  EXPECT_TRUE(model()->index(*model()->NearestRow(), 0).data(Qt::FontRole).value<QFont>().bold());
  EXPECT_FALSE(model()->index(RowOf(170), 0).data(Qt::FontRole).value<QFont>().bold());
  // The quirks get their reason, never a number.
  EXPECT_EQ(Cell(205, ChainColumn::kIv, false), "one-sided");
  EXPECT_EQ(Cell(195, ChainColumn::kIv, true), "crossed");
  EXPECT_EQ(Cell(150, ChainColumn::kIv, false), "below intrinsic");
  EXPECT_EQ(Cell(150, ChainColumn::kDelta, false), "below intrinsic");
  EXPECT_EQ(Cell(205, ChainColumn::kBid, false), "");  // no bid: blank, not 0
  // A solved contract: its own volatility (per cent) reprices its mid.
  const ChainContract& c185 = ContractOf(185, false);
  ASSERT_TRUE(c185.iv);
  ASSERT_TRUE(c185.at_iv);
  EXPECT_NEAR(c185.at_iv->value, *c185.mid, 1e-3);
  EXPECT_NEAR(NumericValue(Cell(185, ChainColumn::kIv, false).toStdString()).value_or(-1),
              *c185.iv * 100, 0.006);
  // The smile: own and feed volatilities of the shown strikes; the refused
  // contracts have no point.
  bool saw_185 = false;
  for (const ucChain::SmileRow& r : chain()->SmileShown()) {
    if (r.x == 205) {
      EXPECT_FALSE(r.call.has_value());
    }
    if (r.x == 195) {
      EXPECT_FALSE(r.put.has_value());
    }
    if (r.x == 185) {
      saw_185 = true;
      ASSERT_TRUE(r.call);
      EXPECT_DOUBLE_EQ(*r.call, *c185.iv);
      ASSERT_TRUE(r.feed_call);
      EXPECT_DOUBLE_EQ(*r.feed_call, *c185.source.iv);
    }
  }
  EXPECT_TRUE(saw_185);
  EXPECT_GT(chain()->pboxSmile()->ItemCount(), 0);
  // The heat map covers the three expiries.
  std::set<std::size_t> expiries;
  for (const auto& cell : chain()->SurfaceShown()) expiries.insert(cell.expiry);
  EXPECT_EQ(expiries.size(), 3u);
  // Under a dark theme the heat map's colours stay as they are (a colour of
  // the map means a volatility), while the smile's page turns dark.
  QPalette dark;
  dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
  dark.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xe8));
  chain()->pboxSurface()->setPalette(dark);
  chain()->pboxSmile()->setPalette(dark);
  const QColor low_blue(0x2C, 0x4B, 0xC8);
  EXPECT_EQ(chain()->pboxSurface()->ShownColor(low_blue), low_blue);
  EXPECT_LT(chain()->pboxSmile()->PageColor().lightness(), 128);
  // Moneyness instead of strike.
  chain()->cmbSmileAxis()->setCurrentIndex(1);
  ASSERT_FALSE(chain()->SmileShown().empty());
  EXPECT_NEAR(chain()->SmileShown().front().x, 150 / 187.44, 1e-9);
  EXPECT_EQ(services.dialogs.Count(), 1u);  // the data-use terms only
}

TEST_F(ChainGui, ExpirySwitchFilterSortAndColumns) {
  ASSERT_TRUE(Load("AAPL"));
  // A click on the third expiry shows its contracts.
  QListWidget* list = chain()->lstExpiry();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(2)).center());
  EXPECT_EQ(list->currentRow(), 2);
  EXPECT_EQ(ContractOf(185, false).symbol, "AAPL270319C00185000");
  EXPECT_EQ(model()->rowCount(), 9);

  // Three strikes around the money, typed.
  QSpinBox* spin = chain()->spnStrikes();
  spin->setFocus();
  QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(spin, "3");
  ASSERT_EQ(model()->rowCount(), 3);
  EXPECT_EQ(model()->StrikeAt(0), 180.0);
  EXPECT_EQ(model()->StrikeAt(1), 185.0);
  EXPECT_EQ(model()->StrikeAt(2), 190.0);
  // The smile follows the table: the three strikes shown, no others.
  std::vector<double> smile_strikes;
  for (const ucChain::SmileRow& r : chain()->SmileShown()) smile_strikes.push_back(r.x);
  EXPECT_EQ(smile_strikes, (std::vector<double>{180, 185, 190}));
  QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(spin, "0");  // All
  ASSERT_EQ(model()->rowCount(), 9);

  // Back to the first expiry; a click on the puts' IV heading sorts by it,
  // contracts without one last; a second click turns the order round.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(0)).center());
  QHeaderView* header = table()->horizontalHeader();
  const int iv_col = ColumnOf(ChainColumn::kIv, true);
  const QPoint at(header->sectionViewportPosition(iv_col) + header->sectionSize(iv_col) / 2,
                  header->height() / 2);
  for (const bool descending : {false, true}) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    std::vector<double> ivs;
    bool reason_seen = false;
    for (int r = 0; r < model()->rowCount(); ++r) {
      const ChainContract& c = ContractOf(model()->StrikeAt(r), true);
      if (c.iv) {
        EXPECT_FALSE(reason_seen) << "a figure after a reason at row " << r;
        ivs.push_back(*c.iv);
      } else {
        reason_seen = true;
      }
    }
    EXPECT_TRUE(reason_seen);  // the crossed 195 put
    ASSERT_GE(ivs.size(), 5u);
    for (std::size_t i = 1; i < ivs.size(); ++i) {
      EXPECT_TRUE(descending ? ivs[i - 1] >= ivs[i] : ivs[i - 1] <= ivs[i]) << i;
    }
  }

  // A column chosen in the menu appears on both sides.
  const int before = model()->columnCount();
  QAction* mid = nullptr;
  for (QAction* a : chain()->mnuColumns()->actions()) {
    if (a->text() == "Mid") mid = a;
  }
  ASSERT_NE(mid, nullptr);
  EXPECT_FALSE(mid->isChecked());
  mid->trigger();
  EXPECT_EQ(model()->columnCount(), before + 2);
  const ChainContract& c = ContractOf(185, true);
  ASSERT_TRUE(c.mid);
  EXPECT_NEAR(NumericValue(Cell(185, ChainColumn::kMid, true).toStdString()).value_or(-1), *c.mid,
              1e-9);
  EXPECT_EQ(
      model()->headerData(ColumnOf(ChainColumn::kMid, false), Qt::Horizontal, Qt::DisplayRole),
      "Mid");
  mid->trigger();
  EXPECT_EQ(model()->columnCount(), before);
}

TEST_F(ChainGui, DoubleClickPricesTheContractInTheCalculator) {
  ASSERT_TRUE(Load("AAPL"));
  const ChainContract c = ContractOf(190, true);  // a copy: the chain is replaced later
  const ChainExpiry& e = chain()->Chain()->expiries[c.expiry];
  ASSERT_TRUE(c.mid && e.rate && e.dividend);
  w.ucBSOP1()->Barrier().cmbBarrier()->setCurrentIndex(1);  // a barrier left chosen
  const QPoint pc = CellCentre(190, ChainColumn::kBid, true);
  QSignalSpy spy(table(), &QAbstractItemView::doubleClicked);
  DoubleClick(pc);
  EXPECT_EQ(spy.count(), 1);
  ucBSOP* calc = w.ucBSOP1();
  ASSERT_EQ(w.currentPanel(), calc)
      << services.dialogs.LastText() << " / " << chain()->lblStatus()->text().toStdString();
  EXPECT_TRUE(calc->isVisible());
  EXPECT_FALSE(chain()->isVisible());
  const auto field = [calc](int i) {
    return NumericValue(calc->Text1(i)->text().toStdString()).value_or(-1);
  };
  EXPECT_NEAR(field(0), 187.44, 1e-9);
  EXPECT_NEAR(field(4), 190, 1e-9);
  EXPECT_NEAR(field(3), e.years, 1e-6);
  EXPECT_NEAR(field(2), *e.rate, 1e-6);
  EXPECT_NEAR(field(5), *e.dividend, 1e-6);
  EXPECT_NEAR(field(6), *c.mid, 1e-9);
  EXPECT_TRUE(calc->chkPut()->isChecked());
  EXPECT_TRUE(calc->chkAmer()->isChecked());
  EXPECT_TRUE(calc->chkImpVol()->isChecked());
  EXPECT_EQ(calc->Barrier().cmbBarrier()->currentIndex(), 0);  // the plain option
  // Priced: the calculator's own solve gives back the mid (its records
  // compute in single precision).
  ASSERT_TRUE(
      testing::WaitFor([calc] { return calc->lblPrice()->text().contains(':'); }, kPatienceMs));
  EXPECT_NEAR(Figure(calc->lblPrice()->text()), *c.mid, 2e-3)
      << calc->lblPrice()->text().toStdString();
  EXPECT_NEAR(field(1), *c.iv, 5e-3);
  // The chain page is still in the bottom browser.
  EXPECT_TRUE(BrowserShows(kChainPath)) << w.Browser2()->LocationURL();

  // A contract without a two-sided quote is refused with the reason; the
  // calculator keeps what it had.
  QTest::mouseClick(w.cmdChain(), Qt::LeftButton);
  EXPECT_EQ(w.currentPanel(), chain());
  EXPECT_TRUE(chain()->Chain());  // kept between visits
  const QString strike_before = calc->Text1(4)->text();
  DoubleClick(CellCentre(205, ChainColumn::kBid, false));
  EXPECT_EQ(w.currentPanel(), chain());
  ASSERT_GE(services.dialogs.Count(), 2u);
  EXPECT_NE(services.dialogs.LastText().find("AAPL261218C00205000"), std::string::npos);
  EXPECT_NE(services.dialogs.LastText().find("one-sided"), std::string::npos);
  EXPECT_EQ(calc->Text1(4)->text(), strike_before);

  // Enter on a contract does the same as a double-click.
  QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                    CellCentre(175, ChainColumn::kIv, false));
  QTest::keyClick(table(), Qt::Key_Return);
  ASSERT_EQ(w.currentPanel(), calc);
  EXPECT_NEAR(field(4), 175, 1e-9);
  EXPECT_FALSE(calc->chkPut()->isChecked());
}

TEST_F(ChainGui, AddToStrategyAppendsLegsAtTheMid) {
  ASSERT_TRUE(Load("AAPL"));
  const ChainContract put = ContractOf(180, true);
  const ChainContract call = ContractOf(195, false);
  QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                    CellCentre(180, ChainColumn::kAsk, true));
  QTest::mouseClick(chain()->cmdAddStrategy(), Qt::LeftButton);
  ucStrategy* s = w.ucStrategy1();
  ASSERT_EQ(w.currentPanel(), s);
  const Grid& legs = s->Grid1()->grid();
  ASSERT_EQ(legs.Rows(), 2);  // the heading and the one leg: a new position
  EXPECT_EQ(legs.TextMatrix(1, 1), "+1");
  EXPECT_EQ(legs.TextMatrix(1, 2), "put");
  EXPECT_EQ(legs.TextMatrix(1, 3), "180");
  EXPECT_EQ(legs.TextMatrix(1, 5), "American");
  EXPECT_NEAR(NumericValue(legs.TextMatrix(1, 6)).value_or(-1), *put.mid, 1e-9);
  EXPECT_FLOAT_EQ(s->Core().Parameters().spot, 187.44f);
  ASSERT_TRUE(s->Figures());
  // Bought at the mid: the net premium is the mid paid.
  EXPECT_NEAR(s->Figures()->net_premium, *put.mid, 1e-6);

  QTest::mouseClick(w.cmdChain(), Qt::LeftButton);
  QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                    CellCentre(195, ChainColumn::kBid, false));
  QTest::mouseClick(chain()->cmdAddStrategy(), Qt::LeftButton);
  ASSERT_EQ(legs.Rows(), 3);
  EXPECT_EQ(legs.TextMatrix(2, 2), "call");
  EXPECT_EQ(legs.TextMatrix(2, 3), "195");
  ASSERT_TRUE(s->Figures());
  EXPECT_NEAR(s->Figures()->net_premium, *put.mid + *call.mid, 1e-6);
  EXPECT_EQ(services.dialogs.Count(), 1u);
}

TEST_F(ChainGui, StopEndsALoadAndASecondLoadReplacesTheFirst) {
  // The chain trickles in 64-byte pieces, 300 ms apart: a load of a minute.
  // The load waits for its page inside the click, letting events run; the
  // test's presses come from a timer, as a person's would.
  const std::string fast = server_->BaseUrl();
  setenv("STRATLYN_FEED_URL", (fast + "/_slow/300").c_str(), 1);
  TypeTicker("AAPL");
  bool stopped_while_loading = false;
  AtStatus("Loading the option chain", [&] {
    stopped_while_loading = chain()->Loading();
    QTest::mouseClick(w.cmdStop(), Qt::LeftButton);
  });
  QTest::mouseClick(chain()->cmdLoad(), Qt::LeftButton);
  EXPECT_TRUE(stopped_while_loading);
  EXPECT_FALSE(chain()->Loading());
  EXPECT_EQ(chain()->lblStatus()->text(), "Stopped");
  EXPECT_FALSE(chain()->Chain());

  // Load again on the slow feed; while it waits, a second Load (now from
  // the quick one) stops it and loads instead.
  AtStatus("Loading the option chain", [&] {
    setenv("STRATLYN_FEED_URL", fast.c_str(), 1);
    QTest::mouseClick(chain()->cmdLoad(), Qt::LeftButton);
  });
  QTest::mouseClick(chain()->cmdLoad(), Qt::LeftButton);
  ASSERT_TRUE(testing::WaitFor(
      [this] { return chain()->Chain() != nullptr && !chain()->Loading(); }, kPatienceMs));
  EXPECT_TRUE(testing::WaitFor(
      [&] { return w.Browser2()->LocationURL() == fast + "/" + kChainPath; }, kPatienceMs))
      << w.Browser2()->LocationURL();
  EXPECT_EQ(chain()->lstExpiry()->count(), 3);
  EXPECT_EQ(services.dialogs.Count(), 1u);
}

TEST_F(ChainGui, TheTableDoesNotWaitForTheBottomBrowser) {
  // The server answers a web browser 8 s late and any other client at once:
  // the chain is shown, and the bottom browser is sent to the same address
  // and shows it once its answer has come; the load never waits for it.
  setenv("STRATLYN_FEED_URL", (server_->BaseUrl() + "/_browserlate/8000").c_str(), 1);
  ASSERT_TRUE(Load("AAPL"));
  ASSERT_TRUE(chain()->Chain()) << services.dialogs.LastText();
  EXPECT_EQ(chain()->lstExpiry()->count(), 3);
  EXPECT_GT(model()->rowCount(), 0);
  EXPECT_EQ(w.Browser2()->ReadyState(), BrowserView::kLoading);
  EXPECT_EQ(w.Browser2()->LocationURL().find("_browserlate"), std::string::npos);
  EXPECT_TRUE(BrowserShows("_browserlate/8000/" + std::string(kChainPath)))
      << w.Browser2()->LocationURL();
  EXPECT_EQ(services.dialogs.Count(), 1u);
}

TEST_F(ChainGui, OddFilesGetAMessageAndKeepTheChainShown) {
  ASSERT_TRUE(Load("AAPL"));
  const auto shown = chain()->Chain();
  ASSERT_TRUE(shown);
  // A page that is no chain.
  ASSERT_TRUE(Load("BROKEN"));
  EXPECT_EQ(chain()->Chain(), shown);
  EXPECT_GE(services.dialogs.Count(), 2u);
  // A chain without contracts: an empty table, no smile, no figure.
  ASSERT_TRUE(Load("EMPTY"));
  ASSERT_TRUE(chain()->Chain());
  EXPECT_EQ(chain()->lstExpiry()->count(), 0);
  EXPECT_EQ(model()->rowCount(), 0);
  EXPECT_TRUE(chain()->SmileShown().empty());
  EXPECT_TRUE(chain()->SurfaceShown().empty());
  // Another underlying's file (a redirect, a cache): refused, the chain
  // shown stays.
  ASSERT_TRUE(Load("AAPL"));
  const auto aapl = chain()->Chain();
  dir_->Write("api/global/delayed_quotes/options/REDIR.json", Fixture("panel_aapl.json"));
  const std::size_t asked = services.dialogs.Count();
  ASSERT_TRUE(Load("REDIR"));
  EXPECT_EQ(chain()->Chain(), aapl);
  EXPECT_EQ(services.dialogs.Count(), asked + 1);
  EXPECT_NE(services.dialogs.LastText().find(" is for AAPL, not for REDIR"), std::string::npos)
      << services.dialogs.LastText();
  // A file that does not exist.
  const std::size_t before = services.dialogs.Count();
  ASSERT_TRUE(Load("NOSUCH"));
  EXPECT_EQ(services.dialogs.Count(), before + 1);
  EXPECT_NE(services.dialogs.LastText().find("404"), std::string::npos)
      << services.dialogs.LastText();
  // The page that failed is shown in the bottom browser, where it says why.
  EXPECT_TRUE(BrowserShows("options/NOSUCH.json")) << w.Browser2()->LocationURL();
  // No ticker at all.
  TypeTicker("  ");
  QTest::mouseClick(chain()->cmdLoad(), Qt::LeftButton);
  EXPECT_EQ(services.dialogs.Count(), before + 2);
}

TEST_F(ChainGui, IndexFileWithItsWeeklyRootPricesEuropean) {
  ASSERT_TRUE(Load("SPX"));
  EXPECT_TRUE(BrowserShows("options/_SPX.json")) << w.Browser2()->LocationURL();
  // Both roots of the index file, each expiry naming its root; the one
  // closed before the file's time says so, and the first open one is shown.
  QListWidget* list = chain()->lstExpiry();
  int spx = -1, closed = -1;
  for (int i = 0; i < list->count(); ++i) {
    const QString text = list->item(i)->text();
    if (text.startsWith("2026-12-18  SPX ")) spx = i;
    if (text.endsWith("closed")) closed = i;
    EXPECT_TRUE(text.contains("SPX")) << text.toStdString();
  }
  ASSERT_GE(spx, 0);
  ASSERT_GE(closed, 0);
  EXPECT_TRUE(list->item(closed)->text().startsWith("2026-12-04  SPXW"));
  EXPECT_NE(list->currentRow(), closed);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(spx)).center());
  ASSERT_TRUE(model()->NearestRow());
  EXPECT_EQ(model()->StrikeAt(*model()->NearestRow()), 6000.0);  // spot 6012.35
  const ChainContract c = ContractOf(6050, false);
  EXPECT_EQ(c.symbol, "SPX261218C06050000");
  ASSERT_TRUE(c.mid && c.iv);
  DoubleClick(CellCentre(6050, ChainColumn::kBid, false));
  ucBSOP* calc = w.ucBSOP1();
  ASSERT_EQ(w.currentPanel(), calc) << services.dialogs.LastText();
  EXPECT_TRUE(calc->chkEuro()->isChecked());  // a cash-settled index option
  EXPECT_TRUE(calc->chkCall()->isChecked());
  ASSERT_TRUE(
      testing::WaitFor([calc] { return calc->lblPrice()->text().contains(':'); }, kPatienceMs));
  // The calculator's closed form (single precision, its own normal
  // distribution) reprices the mid to about a cent on an index of 6000.
  EXPECT_NEAR(Figure(calc->lblPrice()->text()), *c.mid, 0.02)
      << calc->lblPrice()->text().toStdString();
  EXPECT_EQ(services.dialogs.Count(), 1u);
}

TEST_F(ChainGui, CommaLocaleTableAndCalculatorAgree) {
  EntryLocale comma;
  comma.decimal_point = ",";
  comma.thousands_sep = ".";
  comma.date_format = "%d.%m.%Y";
  SetEntryLocale(comma);
  ASSERT_TRUE(Load("AAPL"));
  const ChainContract c = ContractOf(185, false);
  ASSERT_TRUE(c.mid && c.iv);
  // Figures as the locale writes them, read back to the same value.
  const QString bid = Cell(185, ChainColumn::kBid, false);
  EXPECT_TRUE(bid.contains(',')) << bid.toStdString();
  EXPECT_NEAR(NumericValue(bid.toStdString()).value_or(-1), *c.bid, 1e-9);
  EXPECT_NEAR(NumericValue(Cell(185, ChainColumn::kIv, false).toStdString()).value_or(-1),
              *c.iv * 100, 0.006);
  DoubleClick(CellCentre(185, ChainColumn::kAsk, false));
  ucBSOP* calc = w.ucBSOP1();
  ASSERT_EQ(w.currentPanel(), calc) << services.dialogs.LastText();
  EXPECT_EQ(calc->Text1(4)->text(), "185,00");
  EXPECT_TRUE(calc->Text1(0)->text().startsWith("187,44"));
  ASSERT_TRUE(
      testing::WaitFor([calc] { return calc->lblPrice()->text().contains(':'); }, kPatienceMs));
  EXPECT_NEAR(Figure(calc->lblPrice()->text()), *c.mid, 2e-3)
      << calc->lblPrice()->text().toStdString();
  EXPECT_EQ(services.dialogs.Count(), 1u);
}

// Contracts expiring today, a second and ten minutes before their close:
// the calculator gets their time to the close as the chain counts it (never
// rounded off, to none a second before the close).
TEST_F(ChainGui, ExpiryTodayReachesTheCalculatorWithItsTimeLeft) {
  const auto file = [](const std::string& ticker, const char* time) {
    std::string f = std::string(R"({"timestamp":"2026-12-18 )") + time +
                    R"(","data":{"symbol":"LAST","current_price":187.5,"options":[)"
                    R"({"option":"LAST261218C00187500","bid":0.01,"ask":0.02},)"
                    R"({"option":"LAST261218P00187500","bid":0.01,"ask":0.02}]}})";
    for (std::size_t at; (at = f.find("LAST")) != std::string::npos;) f.replace(at, 4, ticker);
    return f;
  };
  dir_->Write("api/global/delayed_quotes/options/ONESEC.json", file("ONESEC", "15:59:59"));
  dir_->Write("api/global/delayed_quotes/options/TENMIN.json", file("TENMIN", "15:50:00"));
  ucBSOP* calc = w.ucBSOP1();
  for (const char* ticker : {"ONESEC", "TENMIN"}) {
    SCOPED_TRACE(ticker);
    QTest::mouseClick(w.cmdChain(), Qt::LeftButton);
    ASSERT_TRUE(Load(ticker));
    ASSERT_TRUE(chain()->Chain());
    ASSERT_GE(RowOf(187.5), 0);
    const ChainContract c = ContractOf(187.5, false);
    const ChainExpiry e = chain()->Chain()->expiries[c.expiry];
    ASSERT_GT(e.years, 0);
    ASSERT_LT(e.years, 1e-4);
    DoubleClick(CellCentre(187.5, ChainColumn::kBid, false));
    ASSERT_EQ(w.currentPanel(), calc) << services.dialogs.LastText();
    const double years = NumericValue(calc->Text1(3)->text().toStdString()).value_or(-1);
    EXPECT_NEAR(years, e.years, e.years * 1e-7) << calc->Text1(3)->text().toStdString();
  }
}

// With STRATLYN_SHOT_DIR set (and a real display): the wide chain with its
// smile, held on screen for STRATLYN_SHOT_SECONDS (default 10) so that the
// screen can be taken (`import -window root`), and the window saved as
// chain-view.png in that folder.
TEST_F(ChainGui, ShotForTheReadme) {
  const char* dir = std::getenv("STRATLYN_SHOT_DIR");
  if (dir == nullptr) GTEST_SKIP() << "STRATLYN_SHOT_DIR not set";
  // STRATLYN_SHOT_SIZE=WxH for another window size (1024x768: the normal display).
  int width = 1280, height = 1000;
  if (const char* size = std::getenv("STRATLYN_SHOT_SIZE"))
    std::sscanf(size, "%dx%d", &width, &height);
  // STRATLYN_SHOT_DARK=1: under a dark palette.
  if (std::getenv("STRATLYN_SHOT_DARK")) {
    QApplication::setPalette(testing::DarkPalette());
  }
  w.resize(width, height);
  w.move(0, 0);
  QTest::mouseClick(w.cmdChain(), Qt::LeftButton);
  ASSERT_TRUE(Load("WIDE"));
  QListWidget* list = chain()->lstExpiry();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(3)).center());
  QSpinBox* spin = chain()->spnStrikes();
  spin->setFocus();
  QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(spin, "21");
  QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                    CellCentre(187.5, ChainColumn::kBid, false));
  const char* seconds = std::getenv("STRATLYN_SHOT_SECONDS");
  QTest::qWait(1000 * (seconds ? std::atoi(seconds) : 10));
  EXPECT_TRUE(w.grab().save(QString(dir) + "/chain-view.png"));
}

}  // namespace
}  // namespace stratlyn
