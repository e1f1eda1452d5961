#pragma once
// Calls to a running spreadsheet application made on a thread of their own,
// so that an office that stops answering cannot hold the window: the caller
// waits with pending events running (AppEvents), up to a time limit, and
// may give up on a call that takes long when the user cancels. TimedApp
// hands the link such an application: every operation of the application
// and of its worksheets goes through one OfficeThread.

#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "tools/spreadsheet_app.h"
#include "util/zel_error.h"

namespace stratlyn {

// How long one call to the office may take, unless the caller says.
inline constexpr std::chrono::seconds kOfficeTimeLimit{30};
// A call that has taken this long is given up when the user cancels.
inline constexpr std::chrono::milliseconds kOfficeCancelGrace{500};
// The descriptions of the zelError 462 of a call given up.
inline constexpr const char* kOfficeTimedOut = "LibreOffice Calc did not answer in time";
inline constexpr const char* kOfficeCallCancelled = "LibreOffice Calc: the call was given up";

class OfficeThread {
 public:
  explicit OfficeThread(std::chrono::milliseconds limit = kOfficeTimeLimit);
  // Joins the thread, or leaves it to end by itself after a call that never
  // came back (whatever the call holds is freed when it does).
  ~OfficeThread();
  OfficeThread(const OfficeThread&) = delete;
  OfficeThread& operator=(const OfficeThread&) = delete;

  // Asked while waiting; true gives up on a call older than kOfficeCancelGrace.
  void SetCancel(std::function<bool()> cancel) { cancel_ = std::move(cancel); }

  enum class State { kAnswering, kTimedOut, kCancelled };
  // kTimedOut or kCancelled after a call was given up: every later call
  // throws at once.
  State state() const { return state_; }
  std::chrono::milliseconds Limit() const { return limit_; }
  void SetLimit(std::chrono::milliseconds limit) { limit_ = limit; }

  // Runs f on the thread and returns what it returns (or throws what it
  // throws). f must own everything it uses (capture by value): a call given
  // up on may run on after the caller has gone. zelError 462
  // (kOfficeConnectionLost) when the call is given up.
  template <typename F>
  auto Call(F f) -> decltype(f()) {
    using R = decltype(f());
    auto task = std::make_shared<std::packaged_task<R()>>(std::move(f));
    std::future<R> done = task->get_future();
    Post([task] { (*task)(); });
    Wait([&done](std::chrono::milliseconds step) {
      return done.wait_for(step) == std::future_status::ready;
    });
    return done.get();
  }

 private:
  struct Shared;
  void Post(std::function<void()> task);
  // Waits until ready(step) is true, letting events run between steps.
  void Wait(const std::function<bool(std::chrono::milliseconds)>& ready);

  std::shared_ptr<Shared> shared_;
  std::chrono::milliseconds limit_;
  std::function<bool()> cancel_;
  State state_ = State::kAnswering;
};

// A spreadsheet application whose every call goes through an OfficeThread.
class TimedApp : public SpreadsheetApp {
 public:
  // Runs `connect` on the office thread (an attach can hang as well);
  // `cancel` is asked while any call is waited for (OfficeThread::SetCancel).
  TimedApp(std::function<std::unique_ptr<SpreadsheetApp>()> connect,
           std::chrono::milliseconds limit = kOfficeTimeLimit, std::function<bool()> cancel = {});
  ~TimedApp() override;

  OfficeThread& Thread() { return *thread_; }

  int WorkbookCount() override;
  std::string WorkbookName(int workbook) override;
  int WorksheetCount(int workbook) override;
  std::string WorksheetName(int workbook, int sheet) override;
  Worksheet& GetWorksheet(int workbook, int sheet) override;

 private:
  class Sheet;
  std::unique_ptr<OfficeThread> thread_;
  std::shared_ptr<SpreadsheetApp> app_;  // shared with calls still running
  std::map<std::pair<int, int>, std::unique_ptr<Sheet>> sheets_;
};

}  // namespace stratlyn
