// The main window: time from creating it to the first computed value on
// screen, and the memory it holds once both start pages have loaded.
// Runs offscreen unless a display is chosen (QT_QPA_PLATFORM).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <string>

#include "calculator/ucbsop_widget.h"
#include "shell/calc_main_widget.h"
#include "shell/qt_web_browser.h"
#include "util/qt_services.h"
#include "util/services.h"

namespace {

// Resident memory of this process in MB (VmRSS).
double ResidentMb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      double kb = 0;
      status >> kb;
      return kb / 1024.0;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

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

// One window: created, started, shown with its first value painted.
// The first run in a process includes starting the web engine.
void StartWindow(benchmark::State& state, bool wait_for_pages) {
  stratlyn::QtDialogs dialogs;
  stratlyn::QtEvents events;
  stratlyn::QtClipboard clipboard;
  stratlyn::ScopedServices services(&dialogs, &events, &clipboard);
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    auto window = std::make_unique<stratlyn::calcMain>();
    window->resize(1280, 960);
    window->Form_Load();
    QLabel* value = window->ucBSOP1()->lblPrice();
    RunUntil([&] { return value->isVisible() && value->text().startsWith("Value"); }, 10000);
    value->repaint();
    state.SetIterationTime(timer.nsecsElapsed() / 1e9);
    if (wait_for_pages) {
      RunUntil(
          [&] {
            return window->Browser1()->Tag() == stratlyn::kPageDone &&
                   window->Browser2()->Tag() == stratlyn::kPageDone;
          },
          15000);
      state.counters["resident_MB"] = ResidentMb();
    }
    state.PauseTiming();
    window.reset();
    RunUntil([] { return false; }, 50);
    state.ResumeTiming();
  }
}

void BM_FirstWindowToFirstValue(benchmark::State& state) { StartWindow(state, true); }
void BM_WindowToFirstValue(benchmark::State& state) { StartWindow(state, false); }

BENCHMARK(BM_FirstWindowToFirstValue)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowToFirstValue)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (geteuid() == 0 && std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") == nullptr) {
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 1);
  }
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
