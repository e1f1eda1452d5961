#pragma once
// What the terminal's market-data commands (quote, rate, dividend, vol)
// share: pages fetched directly (no browser) and turned into UTF-8 by the
// character set they declare, a browser view over such fetches for the
// records that expect one, message collection whose questions take the
// cautious answer, script-style numbers, and their usage errors.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "marketdata/zel_bloomberg_data.h"
#include "util/browser_view.h"
#include "util/dialogs.h"
#include "util/grid.h"

namespace stratlyn::cli {

// The user's locale with the numbers of scripts: a dot decimal and comma
// groups (dates and month names stay the user's). Installed for one command.
class ScriptNumbers {
 public:
  ScriptNumbers();
  ~ScriptNumbers();
  ScriptNumbers(const ScriptNumbers&) = delete;
  ScriptNumbers& operator=(const ScriptNumbers&) = delete;
};

// A fetched page in UTF-8, or the reason it is not there.
struct FetchedPage {
  std::string text;
  std::string failure;
};

// `url` within `seconds`.
FetchedPage Fetch(const std::string& url, long seconds);

// Prints why `url` did not load; the exit code of a run-time error.
int LoadFailed(const std::string& url, const std::string& failure);

// The problem of a --timeout that is not whole seconds in range.
inline constexpr const char* kTimeoutProblem = "--timeout needs whole seconds from 1 to 3600";

// The start the market-data commands share, alive for the command's whole
// run: "-h" or "--help" prints `usage` and ends the command; otherwise
// script numbers are installed until the command returns, and "--timeout S"
// is read out of the words (a bad one ends the command with the usage).
class MarketCommandStart {
 public:
  MarketCommandStart(const std::vector<std::string>& given, const char* usage);
  MarketCommandStart(const MarketCommandStart&) = delete;
  MarketCommandStart& operator=(const MarketCommandStart&) = delete;

  // The exit code when the command is over already (help, a bad --timeout).
  std::optional<int> done;
  // The command's words without "--timeout S".
  std::vector<std::string> args;
  // How long each page may take.
  long seconds;

 private:
  std::optional<ScriptNumbers> numbers_;
};

// Prints "stratlyn-cli: PROBLEM" and the usage; the exit code of bad input.
int Usage(const char* usage, const std::string& problem);

// Collects messages; questions take the cautious answer.
class NoteDialogs : public Dialogs {
 public:
  MsgAnswer Show(const std::string& text, MsgButtons buttons, MsgIcon, const std::string&) override;
  void PrintNotes(std::ostream& out) const;
  void PrintMessages(std::ostream& out) const;
  std::vector<std::string> messages;
  std::vector<std::string> notes;
};

// A browser view that fetches each page at once, and tells why one failed.
class DirectView : public BrowserView {
 public:
  explicit DirectView(long seconds) : seconds_(seconds) {}
  void Navigate(const std::string& url, int = 0) override;
  std::string LoadFailure() const override { return failure_; }
  bool GoBack() override { return false; }
  bool GoForward() override { return false; }
  void Stop() override {}
  int ReadyState() const override { return kComplete; }
  std::string LocationURL() const override { return url_; }
  std::string BodyHtml() override { return body_; }
  void SetSilent(bool) override {}

 private:
  long seconds_;
  std::string url_;
  std::string body_;
  std::string failure_;
};

// The Treasury curve as the panel's "Get Interest Rate" reads it, each file
// fetched within `seconds`.
struct TreasuryCurve {
  explicit TreasuryCurve(long seconds) : view(seconds) { curve.Browser = &view; }
  TreasuryCurve(const TreasuryCurve&) = delete;
  TreasuryCurve& operator=(const TreasuryCurve&) = delete;

  // Reads the curve into `grid`; false after printing why on stderr (the
  // command then exits 1).
  bool Read();

  DirectView view;
  zelBloombergData curve;
  Grid grid;
};

}  // namespace stratlyn::cli
