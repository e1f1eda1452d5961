#include "tools/office_thread.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "tools/excel_link.h"
#include "util/services.h"

namespace stratlyn {

struct OfficeThread::Shared {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::function<void()>> tasks;
  bool stop = false;
  std::thread worker;
};

OfficeThread::OfficeThread(std::chrono::milliseconds limit)
    : shared_(std::make_shared<Shared>()), limit_(limit) {
  shared_->worker = std::thread([shared = shared_] {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock lock(shared->mutex);
        shared->wake.wait(lock, [&] { return shared->stop || !shared->tasks.empty(); });
        if (shared->stop) {
          return;
        }
        task = std::move(shared->tasks.front());
        shared->tasks.pop_front();
      }
      task();
    }
  });
}

OfficeThread::~OfficeThread() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stop = true;
    shared_->tasks.clear();
  }
  shared_->wake.notify_all();
  if (state_ == State::kAnswering) {
    shared_->worker.join();
  } else {
    // The thread is inside a call that may never return: it ends by itself
    // when it does, and frees what the call holds.
    shared_->worker.detach();
  }
}

void OfficeThread::Post(std::function<void()> task) {
  if (state_ != State::kAnswering) {
    throw zelError(kOfficeConnectionLost, "LibreOffice Calc did not answer an earlier call");
  }
  {
    std::lock_guard lock(shared_->mutex);
    shared_->tasks.push_back(std::move(task));
  }
  shared_->wake.notify_one();
}

void OfficeThread::Wait(const std::function<bool(std::chrono::milliseconds)>& ready) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  // Most calls answer at once: only a slow one lets events run.
  if (ready(std::chrono::milliseconds(20))) {
    return;
  }
  for (;;) {
    AppEvents().ProcessPending();
    if (ready(std::chrono::milliseconds(20))) {
      return;
    }
    const auto waited = Clock::now() - start;
    if (waited >= limit_) {
      state_ = State::kTimedOut;
      throw zelError(kOfficeConnectionLost, kOfficeTimedOut);
    }
    if (cancel_ && waited >= kOfficeCancelGrace && cancel_()) {
      state_ = State::kCancelled;
      throw zelError(kOfficeConnectionLost, kOfficeCallCancelled);
    }
  }
}

class TimedApp::Sheet : public Worksheet {
 public:
  Sheet(OfficeThread& thread, std::shared_ptr<SpreadsheetApp> app, Worksheet* sheet)
      : thread_(thread), app_(std::move(app)), sheet_(sheet) {}

  CellValue Value(int row, int col) override {
    return thread_.Call([app = app_, s = sheet_, row, col] { return s->Value(row, col); });
  }
  void SetValue(int row, int col, const CellValue& value) override {
    thread_.Call([app = app_, s = sheet_, row, col, value] { s->SetValue(row, col, value); });
  }
  std::string Text(int row, int col) override {
    return thread_.Call([app = app_, s = sheet_, row, col] { return s->Text(row, col); });
  }
  void SetWrapText(int row, int col, bool wrap) override {
    thread_.Call([app = app_, s = sheet_, row, col, wrap] { s->SetWrapText(row, col, wrap); });
  }
  int UsedRows() override {
    return thread_.Call([app = app_, s = sheet_] { return s->UsedRows(); });
  }
  int UsedColumns() override {
    return thread_.Call([app = app_, s = sheet_] { return s->UsedColumns(); });
  }
  Worksheet* Inner() const { return sheet_; }

 private:
  OfficeThread& thread_;
  std::shared_ptr<SpreadsheetApp> app_;  // keeps the sheet alive
  Worksheet* sheet_;
};

TimedApp::TimedApp(std::function<std::unique_ptr<SpreadsheetApp>()> connect,
                   std::chrono::milliseconds limit, std::function<bool()> cancel)
    : thread_(std::make_unique<OfficeThread>(limit)) {
  thread_->SetCancel(std::move(cancel));
  app_ = thread_->Call([connect = std::move(connect)]() -> std::shared_ptr<SpreadsheetApp> {
    return connect ? connect() : nullptr;
  });
  if (!app_) {
    throw zelError(err::kCannotCreateObject, NotRunningMessage(2002));
  }
}

TimedApp::~TimedApp() {
  sheets_.clear();
  // A call still running keeps its own reference to the application.
  app_.reset();
  thread_.reset();
}

int TimedApp::WorkbookCount() {
  return thread_->Call([app = app_] { return app->WorkbookCount(); });
}

std::string TimedApp::WorkbookName(int workbook) {
  return thread_->Call([app = app_, workbook] { return app->WorkbookName(workbook); });
}

int TimedApp::WorksheetCount(int workbook) {
  return thread_->Call([app = app_, workbook] { return app->WorksheetCount(workbook); });
}

std::string TimedApp::WorksheetName(int workbook, int sheet) {
  return thread_->Call(
      [app = app_, workbook, sheet] { return app->WorksheetName(workbook, sheet); });
}

Worksheet& TimedApp::GetWorksheet(int workbook, int sheet) {
  Worksheet* inner =
      thread_->Call([app = app_, workbook, sheet] { return &app->GetWorksheet(workbook, sheet); });
  auto& kept = sheets_[{workbook, sheet}];
  if (!kept || kept->Inner() != inner) {
    kept = std::make_unique<Sheet>(*thread_, app_, inner);
  }
  return *kept;
}

}  // namespace stratlyn
