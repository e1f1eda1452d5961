#pragma once
// Runs the Qt event loop until a condition holds or a time limit passes, for
// GUI tests. (QTest::qWaitFor sleeps between rounds, which slows the web
// engine's messages down badly.)

#include <QEventLoop>
#include <QObject>
#include <QTimer>

namespace stratlyn::testing {

// True when `done()` held before `ms` milliseconds passed.
template <typename Pred>
bool WaitFor(Pred done, int ms = 15000) {
  if (done()) return true;
  QEventLoop loop;
  QTimer poll, deadline;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  poll.start(5);
  deadline.setSingleShot(true);
  deadline.start(ms);
  loop.exec();
  return done();
}

}  // namespace stratlyn::testing
