#include "cli/page_fetch.h"

#include <iostream>

#include "cli/command.h"
#include "cli/flags.h"
#include "marketdata/fetch_error.h"
#include "marketdata/http_fetch.h"
#include "marketdata/page_charset.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"
#include "util/zel_error.h"

namespace stratlyn::cli {

ScriptNumbers::ScriptNumbers() {
  EntryLocale l = CurrentEntryLocale();
  const EntryLocale& page = PageLocale();
  l.decimal_point = page.decimal_point;
  l.thousands_sep = page.thousands_sep;
  l.currency_symbol = page.currency_symbol;
  l.currency_before = page.currency_before;
  SetEntryLocale(l);
}

ScriptNumbers::~ScriptNumbers() { ResetEntryLocale(); }

FetchedPage Fetch(const std::string& url, long seconds) {
  const HttpPage page = FetchHttpPage(url, seconds);
  if (!page.failure.empty()) {
    return {{}, page.failure};
  }
  return {PageTextAsUtf8(page.body, page.content_type), {}};
}

int LoadFailed(const std::string& url, const std::string& failure) {
  std::cerr << "stratlyn-cli: " << PageLoadFailedMessage(url, failure) << '\n';
  return kExitRuntimeError;
}

MarketCommandStart::MarketCommandStart(const std::vector<std::string>& given, const char* usage)
    : args(given), seconds(kDefaultFetchSeconds) {
  if (WantsHelp(args)) {
    std::cout << usage;
    done = kExitOk;
    return;
  }
  // Installed before the time-out is read: it is written with a dot too.
  numbers_.emplace();
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--timeout") {
      continue;
    }
    const auto v = i + 1 < args.size() ? NumericValue(args[i + 1]) : std::nullopt;
    if (!v || *v < 1 || *v > 3600 || *v != static_cast<double>(static_cast<long>(*v))) {
      done = Usage(usage, kTimeoutProblem);
      return;
    }
    seconds = static_cast<long>(*v);
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    return;
  }
}

int Usage(const char* usage, const std::string& problem) {
  std::cerr << "stratlyn-cli: " << problem << "\n\n" << usage;
  return kExitBadInput;
}

MsgAnswer NoteDialogs::Show(const std::string& text, MsgButtons buttons, MsgIcon,
                            const std::string&) {
  if (buttons == MsgButtons::Ok) {
    messages.push_back(text);
    return MsgAnswer::Ok;
  }
  notes.push_back(text);
  return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
}

void NoteDialogs::PrintNotes(std::ostream& out) const {
  for (const auto& n : notes) {
    out << "note: " << n << " (answered No)\n";
  }
}

void NoteDialogs::PrintMessages(std::ostream& out) const {
  for (const auto& m : messages) {
    out << m << '\n';
  }
}

void DirectView::Navigate(const std::string& url, int) {
  url_ = url;
  const FetchedPage page = Fetch(url, seconds_);
  body_ = page.text;
  failure_ = page.failure;
  SetTag(kPageDone);
}

bool TreasuryCurve::Read() {
  // Not RunCommand: the terminal tells the error on stderr and exits 1,
  // where ErrorHandler would show a box.
  try {
    curve.GrabFRBYieldCurve(zelBloombergData::cUS, grid);
    return true;
  } catch (const zelError& e) {
    std::cerr << "stratlyn-cli: " << e.Description() << '\n';
    return false;
  }
}

}  // namespace stratlyn::cli
