#include "marketdata/realized_vol.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "marketdata/civil_date.h"
#include "marketdata/page_figure.h"
#include "marketdata/quote_parser.h"
#include "util/text.h"

namespace stratlyn {
namespace {

constexpr double kTradingDays = 252.0;
constexpr size_t kRowTextShown = 80;

// The value under `key` in any case ("close", "Close", "CLOSE"); the exact
// key first. Nothing when the row has none.
const nlohmann::json* KeyOf(const nlohmann::json& row, const std::string& key) {
  if (!row.is_object()) {
    return nullptr;
  }
  if (const auto exact = row.find(key); exact != row.end()) {
    return &*exact;
  }
  for (auto it = row.begin(); it != row.end(); ++it) {
    if (UpperAscii(it.key()) == UpperAscii(key)) {
      return &*it;
    }
  }
  return nullptr;
}

// The day of a row's date: "YYYY-MM-DD" or "M/D/YYYY", a time of day after
// a "T" or a blank ignored. A month without its day ("2026-12") is no day.
std::optional<std::chrono::year_month_day> DayOf(const nlohmann::json& date) {
  if (!date.is_string()) {
    return std::nullopt;
  }
  std::string text = Trim(date.get<std::string>());
  text = text.substr(0, text.find_first_of("T "));
  if (std::count(text.begin(), text.end(), '-') != 2 &&
      std::count(text.begin(), text.end(), '/') != 2) {
    return std::nullopt;
  }
  return ReadCivilDate(text);
}

// True when the row has `key` in two cases with different values
// ("close": 99 and "Close": 90): which one is the close is not known.
bool KeyTwiceDiffering(const nlohmann::json& row, const std::string& key) {
  const nlohmann::json* first = nullptr;
  for (auto it = row.begin(); it != row.end(); ++it) {
    if (UpperAscii(it.key()) != UpperAscii(key)) {
      continue;
    }
    if (first != nullptr && *first != *it) {
      return true;
    }
    first = &*it;
  }
  return false;
}

// A row that holds a day: one with a close, or with a date that reads as one.
bool IsDayRow(const nlohmann::json& row) {
  if (KeyOf(row, "close") != nullptr) {
    return true;
  }
  const nlohmann::json* d = KeyOf(row, "date");
  return d != nullptr && DayOf(*d).has_value();
}

// The row as the page writes it, cut short for a message.
std::string RowText(const nlohmann::json& row) {
  std::string text = row.dump();
  if (text.size() > kRowTextShown) {
    text = text.substr(0, kRowTextShown) + "...";
  }
  return text;
}

}  // namespace

std::optional<std::vector<DailyClose>> ReadDailyCloses(const std::string& page,
                                                       const std::string& page_name,
                                                       std::string& message,
                                                       std::chrono::year_month_day today,
                                                       SkippedHistoryRows* skipped) {
  // A key given twice in one object ("close" twice in a row, "data" twice)
  // leaves its value unknown: the parser keeps one of them without a word.
  std::vector<std::set<std::string>> keys_seen;
  std::string repeated_key;
  const nlohmann::json::parser_callback_t note_keys = [&](int, nlohmann::json::parse_event_t event,
                                                          nlohmann::json& parsed) {
    if (event == nlohmann::json::parse_event_t::object_start) {
      keys_seen.emplace_back();
    } else if (event == nlohmann::json::parse_event_t::object_end && !keys_seen.empty()) {
      keys_seen.pop_back();
    } else if (event == nlohmann::json::parse_event_t::key && !keys_seen.empty() &&
               parsed.is_string() && !keys_seen.back().insert(parsed.get<std::string>()).second &&
               repeated_key.empty()) {
      repeated_key = parsed.get<std::string>();
    }
    return true;
  };
  const nlohmann::json doc = nlohmann::json::parse(JsonFromPage(page), note_keys, false);
  if (!doc.is_discarded() && !repeated_key.empty()) {
    message = RepeatedKeyMessage(page_name, repeated_key);
    return std::nullopt;
  }
  const nlohmann::json* rows = nullptr;
  if (!doc.is_discarded() && doc.is_array()) {
    rows = &doc;
  }
  if (!doc.is_discarded() && doc.is_object() && doc.contains("data") && doc["data"].is_array()) {
    rows = &doc["data"];
  }
  if (rows == nullptr) {
    message = NotAHistoryMessage(page_name);
    return std::nullopt;
  }
  SkippedHistoryRows passed;
  // The days lie between the first and the last row with a date or a close;
  // a row with neither is a heading or a summary only outside them.
  size_t first_day = rows->size();
  size_t last_day = 0;
  for (size_t i = 0; i < rows->size(); ++i) {
    if (IsDayRow((*rows)[i])) {
      first_day = std::min(first_day, i);
      last_day = i;
    }
  }
  // Rows of which none holds a day (closes under keys of another layout)
  // are no history, not a history of no days.
  if (!rows->empty() && first_day == rows->size()) {
    message = NotAHistoryMessage(page_name);
    return std::nullopt;
  }
  std::map<std::chrono::year_month_day, double> by_date;
  for (size_t i = 0; i < rows->size(); ++i) {
    const nlohmann::json& row = (*rows)[i];
    const auto refuse = [&](const char* why) {
      message = BadHistoryRowMessage(page_name, i + 1, RowText(row), why);
      return std::nullopt;
    };
    if (!IsDayRow(row)) {
      if (i < first_day || i > last_day) {
        ++passed.not_days;
        continue;
      }
      if (!row.is_object()) {
        return refuse(history_row::kNotAnObject);
      }
      return refuse(KeyOf(row, "date") != nullptr ? history_row::kUnreadableDate
                                                  : history_row::kNoDay);
    }
    if (KeyTwiceDiffering(row, "date") || KeyTwiceDiffering(row, "close")) {
      return refuse(history_row::kTwoKeys);
    }
    const nlohmann::json* d = KeyOf(row, "date");
    const nlohmann::json* c = KeyOf(row, "close");
    if (d == nullptr) {
      return refuse(history_row::kNoDate);
    }
    const auto day = DayOf(*d);
    if (!day) {
      return refuse(history_row::kUnreadableDate);
    }
    if (c == nullptr) {
      return refuse(history_row::kNoClose);
    }
    // A day after today is a fault of the page (a mistyped year, a clock
    // far ahead), never the latest close.
    if (*day > today) {
      message = FutureCloseMessage(page_name, FormatCivilDate(*day), FormatCivilDate(today));
      return std::nullopt;
    }
    std::optional<double> close;
    if (c->is_number()) {
      close = c->get<double>();
    } else if (c->is_string()) {
      close = ReadFetchedFigure(c->get<std::string>());
      if (!close && !Trim(c->get<std::string>()).empty()) {
        message = NotAFigureMessage(page_name, c->get<std::string>());
        return std::nullopt;
      }
    } else if (!c->is_null()) {
      message = NotAFigureMessage(page_name, c->dump());
      return std::nullopt;
    }
    if (!close || *close == 0) {
      ++passed.no_trade;
      continue;  // no trade that day
    }
    if (!std::isfinite(*close) || *close < kLeastShownPrice ||
        *close >= kMostShownPrice - kLeastShownPrice) {
      // A negative or vanishing close is a fault of the page, not a price: its
      // log return would be taken as the stock's movement. So is one no price
      // field could show (1e300 among closes of 100 read as a volatility of
      // 15405).
      message = NoCloseMessage(page_name, FormatCivilDate(*day), *close);
      return std::nullopt;
    }
    // Two different closes of one day (rows with times of day, or a page
    // that repeats a date) leave the day's close unknown: the row that came
    // last in the page was taken, 90 at 10:00 for 99 at 16:00 on a page
    // newest first.
    if (const auto [it, added] = by_date.emplace(*day, *close); !added && it->second != *close) {
      message = TwoClosesMessage(page_name, FormatCivilDate(*day), it->second, *close);
      return std::nullopt;
    }
  }
  std::vector<DailyClose> closes;
  closes.reserve(by_date.size());
  for (const auto& [day, close] : by_date) {
    closes.push_back({day, close});
  }
  if (skipped != nullptr) {
    *skipped = passed;
  }
  return closes;
}

std::string SkippedRowsNote(const SkippedHistoryRows& skipped) {
  std::string note;
  if (skipped.no_trade > 0) {
    note = std::to_string(skipped.no_trade) +
           (skipped.no_trade == 1 ? " day without a trade" : " days without a trade");
  }
  if (skipped.not_days > 0) {
    note += std::string(note.empty() ? "" : " and ") + std::to_string(skipped.not_days) +
            (skipped.not_days == 1 ? " row that is" : " rows that are") +
            " no day (a heading or a summary)";
  }
  if (note.empty()) {
    return note;
  }
  return note + (skipped.no_trade + skipped.not_days == 1 ? " was" : " were") + " passed over";
}

std::string BadHistoryRowMessage(const std::string& page_name, size_t row, const std::string& text,
                                 const std::string& why) {
  return "Row " + std::to_string(row) + " of " + page_name + " (" + text + ") " + why +
         ": no volatility was taken from it";
}

std::string NotAHistoryMessage(const std::string& page_name) {
  return "The page " + page_name + " is not a daily price history";
}

std::string RepeatedKeyMessage(const std::string& page_name, const std::string& key) {
  return "The page " + page_name + " gives the key \"" + key +
         "\" twice in one object: no volatility was taken from it";
}

std::string FutureCloseMessage(const std::string& page_name, const std::string& date,
                               const std::string& today) {
  return "The page " + page_name + " has a close dated " + date + ", after today (" + today +
         "): no volatility was taken from it";
}

std::optional<double> RealizedVolatility(const std::vector<DailyClose>& closes, int days) {
  if (days < 2 || closes.size() < static_cast<size_t>(days) + 1) {
    return std::nullopt;
  }
  const size_t first = closes.size() - static_cast<size_t>(days) - 1;
  std::vector<double> returns;
  for (size_t i = first + 1; i < closes.size(); ++i) {
    returns.push_back(std::log(closes[i].close / closes[i - 1].close));
  }
  double mean = 0;
  for (double r : returns) {
    mean += r;
  }
  mean /= static_cast<double>(returns.size());
  double squares = 0;
  for (double r : returns) {
    squares += (r - mean) * (r - mean);
  }
  const double variance = squares / static_cast<double>(returns.size() - 1);
  return std::sqrt(variance * kTradingDays);
}

std::optional<HistoryGap> GapInWindow(const std::vector<DailyClose>& closes, int days) {
  if (days < 1 || closes.size() < static_cast<size_t>(days) + 1) {
    return std::nullopt;
  }
  std::optional<HistoryGap> widest;
  for (size_t i = closes.size() - static_cast<size_t>(days); i < closes.size(); ++i) {
    const int apart = static_cast<int>(
        (std::chrono::sys_days{closes[i].date} - std::chrono::sys_days{closes[i - 1].date})
            .count());
    if (apart > kLongestTradingGapDays && (!widest || apart > widest->days)) {
      widest = HistoryGap{closes[i - 1].date, closes[i].date, apart};
    }
  }
  return widest;
}

std::string GapNote(int window_days, const HistoryGap& gap) {
  return "the " + std::to_string(window_days) + "-day figure has one return over " +
         std::to_string(gap.days) + " days (" + FormatCivilDate(gap.from) + " to " +
         FormatCivilDate(gap.to) + ": closes missing from the history)";
}

namespace {
// The feed gives iv30 in per cent: a figure below 1 reads as a volatility
// under 1 % (a fraction 0.214 would show as 0.00214), one above 500 as more
// than any field takes.
constexpr double kLeastIv30Percent = 1.0;
constexpr double kLargestIv30Percent = 500.0;
}  // namespace

std::string NoCloseMessage(const std::string& page_name, const std::string& date, double close) {
  std::ostringstream text;
  text << std::setprecision(6) << close;
  return "The close of " + date + " on " + page_name + " is " + text.str() + ", which is no price";
}

std::string TwoClosesMessage(const std::string& page_name, const std::string& date, double first,
                             double second) {
  std::ostringstream text;
  text << std::setprecision(6) << first << " and " << second;
  return "The page " + page_name + " gives two closes for " + date + " (" + text.str() +
         "): no volatility was taken from it";
}

Iv30Reading ReadQuoteIv30(const std::string& page, const std::string& page_name) {
  Iv30Reading reading;
  const nlohmann::json doc = nlohmann::json::parse(JsonFromPage(page), nullptr, false);
  if (doc.is_discarded() || !doc.is_object() || !doc.contains("data") || !doc["data"].is_object() ||
      !doc["data"].contains("iv30") || doc["data"]["iv30"].is_null()) {
    return reading;
  }
  const nlohmann::json& v = doc["data"]["iv30"];
  std::optional<double> percent;
  std::string shown;
  if (v.is_number()) {
    percent = v.get<double>();
    std::ostringstream text;
    text << std::setprecision(6) << *percent;
    shown = text.str();
  } else if (v.is_string()) {
    shown = v.get<std::string>();
    if (Trim(shown, kSpaceAndTab).empty()) {
      return reading;  // an empty cell: the feed has none today
    }
    percent = ReadFetchedFigure(shown);
  } else {
    shown = v.dump();
  }
  const std::string prefix = "the page " + page_name + " gives " + shown;
  if (!percent || !std::isfinite(*percent) || *percent <= 0) {
    reading.note = prefix + ", which is no volatility: left out";
  } else if (*percent < kLeastIv30Percent) {
    reading.note = prefix + ", in per cent a volatility below 1 % (the page may give a " +
                   "fraction): left out";
  } else if (*percent > kLargestIv30Percent) {
    reading.note = prefix + ", a volatility above 500 %: left out";
  } else {
    reading.fraction = *percent / 100.0;
  }
  return reading;
}

std::string TooShortHistoryMessage(const std::string& name, size_t closes, int days) {
  return "The history of " + name + " has " + std::to_string(closes) + " closes: too few for " +
         std::to_string(days) + " trading days";
}

}  // namespace stratlyn
