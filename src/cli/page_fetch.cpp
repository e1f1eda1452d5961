#include "cli/page_fetch.h"

#include <iostream>

#include "cli/command.h"
#include "marketdata/fetch_error.h"
#include "marketdata/http_fetch.h"
#include "marketdata/page_charset.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"

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

// Reads "--timeout S" out of args (removing it). False after a usage message.
bool TakeTimeout(std::vector<std::string>& args, long& seconds, const char* usage, int& code) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--timeout") {
      continue;
    }
    const auto v = i + 1 < args.size() ? NumericValue(args[i + 1]) : std::nullopt;
    if (!v || *v < 1 || *v > 3600 || *v != static_cast<double>(static_cast<long>(*v))) {
      std::cerr << "stratlyn-cli: --timeout needs whole seconds from 1 to 3600\n\n" << usage;
      code = kExitBadInput;
      return false;
    }
    seconds = static_cast<long>(*v);
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    return true;
  }
  return true;
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

}  // namespace stratlyn::cli
