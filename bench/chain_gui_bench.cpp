// The chain panel in the main window: the time from "Load" to the table
// shown (the options file fetched, read, every implied volatility solved and
// the table painted) for a generated index chain of about 30,000 contracts
// and an American equity chain of about 4,000, both served on 127.0.0.1.
// The bottom browser is sent to the same file; `browser_ms` says when it had
// the page in view (not part of the measured time; each run waits for it
// before the next starts). Runs offscreen unless a display is chosen
// (QT_QPA_PLATFORM).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "../tests/support/loopback_server.h"
#include "chain/option_chain.h"
#include "chain/ucchain_widget.h"
#include "chain_files.h"
#include "marketdata/zel_bloomberg_data.h"
#include "shell/calc_main_widget.h"
#include "shell/qt_web_browser.h"
#include "util/qt_services.h"
#include "util/services.h"

namespace {

using namespace stratlyn;

void RunUntil(const std::function<bool()>& done, int ms) {
  QEventLoop loop;
  QTimer poll, deadline;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  poll.start(1);
  deadline.setSingleShot(true);
  deadline.start(ms);
  if (!done()) loop.exec();
}

// Accepts the data-use terms; keeps the text of any other message.
class AcceptingDialogs : public Dialogs {
 public:
  MsgAnswer Show(const std::string& text, MsgButtons buttons, MsgIcon,
                 const std::string&) override {
    if (buttons == MsgButtons::OkCancel) return MsgAnswer::Ok;
    last = text;
    return MsgAnswer::Ok;
  }
  std::string last;
};

std::string Today() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
  return buf;
}

// The files, the server and the window, once for all runs.
struct Setup {
  Setup() {
    dir.Write("api/global/delayed_quotes/options/_SPX.json", bench_chain::IndexFile());
    dir.Write("api/global/delayed_quotes/options/AAPL.json", bench_chain::EquityFile());
    for (int i = 0; i < kFrbSeriesCount; ++i) {
      dir.Write(std::string("FRBData/") + kFrbSeries[i] + "_2010.txt",
                "Series Description,H.15\r\nTime Period,RIFLGFC\r\n" + Today() + ",3.75\r\n");
    }
    server = std::make_unique<testing::LoopbackHttpServer>(dir.Path());
    setenv("STRATLYN_FEED_URL", server->BaseUrl().c_str(), 1);
    setenv("STRATLYN_FRB_URL", server->BaseUrl().c_str(), 1);
    window = std::make_unique<calcMain>();
    window->resize(1400, 1000);
    window->show();
    window->cmdChain_Click();
    window->ucChain1()->Curve().Source = RateSource::kSeriesFiles;
  }
  testing::ScratchDir dir;
  std::unique_ptr<testing::LoopbackHttpServer> server;
  std::unique_ptr<calcMain> window;
};

AcceptingDialogs* g_dialogs = nullptr;
std::unique_ptr<Setup> g_setup;  // ends before the application does

Setup& Shared() {
  if (!g_setup) g_setup = std::make_unique<Setup>();
  return *g_setup;
}

// One load: false (with the reason set) when no table came.
bool LoadOnce(ucChain* chain, const char* ticker, std::string& why) {
  const auto before = chain->Chain();
  g_dialogs->last.clear();
  chain->txtTicker()->setText(ticker);
  chain->cmdLoad_Click();
  RunUntil([&] { return !chain->Loading(); }, 120000);
  if (chain->Loading() || chain->Chain() == before || !chain->Chain()) {
    why = g_dialogs->last.empty() ? "no chain arrived" : g_dialogs->last;
    return false;
  }
  chain->tblChain()->viewport()->repaint();
  return true;
}

void LoadToTable(benchmark::State& state, const char* ticker) {
  Setup& setup = Shared();
  ucChain* chain = setup.window->ucChain1();
  WebBrowser* browser = setup.window->Browser2();
  std::string why;
  // The rate curve is read on the first load of a run (then once an hour).
  if (!chain->Chain() && !LoadOnce(chain, "AAPL", why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  RunUntil([&] { return browser->ReadyState() == BrowserView::kComplete; }, 120000);
  double browser_ms = 0;
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    if (!LoadOnce(chain, ticker, why)) {
      state.SkipWithError(why.c_str());
      return;
    }
    state.SetIterationTime(timer.nsecsElapsed() / 1e9);
    state.PauseTiming();
    RunUntil([&] { return browser->ReadyState() == BrowserView::kComplete; }, 120000);
    browser_ms += timer.nsecsElapsed() / 1e6;
    state.ResumeTiming();
  }
  std::size_t solved = 0;
  for (const ChainContract& c : chain->Chain()->contracts) solved += c.iv.has_value();
  state.counters["contracts"] = static_cast<double>(chain->Chain()->contracts.size());
  state.counters["solved"] = static_cast<double>(solved);
  state.counters["browser_ms"] = browser_ms / static_cast<double>(state.iterations());
}

// The index chain (European, closed form).
void BM_IndexChainLoadToTable(benchmark::State& state) { LoadToTable(state, "SPX"); }
// The equity chain (American, lattice).
void BM_EquityChainLoadToTable(benchmark::State& state) { LoadToTable(state, "AAPL"); }

BENCHMARK(BM_IndexChainLoadToTable)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EquityChainLoadToTable)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (geteuid() == 0 && std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") == nullptr) {
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 1);
  }
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  AcceptingDialogs dialogs;
  g_dialogs = &dialogs;
  QtEvents events;
  QtClipboard clipboard;
  ScopedServices services(&dialogs, &events, &clipboard);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  g_setup.reset();
  benchmark::Shutdown();
  return 0;
}
