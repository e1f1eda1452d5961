#include "marketdata/realized_vol.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "marketdata/civil_date.h"
#include "marketdata/page_figure.h"
#include "marketdata/quote_parser.h"

namespace stratlyn {
namespace {

constexpr double kTradingDays = 252.0;

}  // namespace

std::optional<std::vector<DailyClose>> ReadDailyCloses(const std::string& page,
                                                       const std::string& page_name,
                                                       std::string& message) {
  const nlohmann::json doc = nlohmann::json::parse(JsonFromPage(page), nullptr, false);
  const nlohmann::json* rows = nullptr;
  if (!doc.is_discarded() && doc.is_array()) {
    rows = &doc;
  }
  if (!doc.is_discarded() && doc.is_object() && doc.contains("data") && doc["data"].is_array()) {
    rows = &doc["data"];
  }
  if (rows == nullptr) {
    message = "The page " + page_name + " is not a daily price history";
    return std::nullopt;
  }
  std::map<std::chrono::year_month_day, double> by_date;
  for (const auto& row : *rows) {
    if (!row.is_object()) {
      continue;
    }
    const auto d = row.find("date");
    const auto c = row.find("close");
    if (d == row.end() || !d->is_string() || c == row.end()) {
      continue;
    }
    const std::string date_text = d->get<std::string>();
    const auto day = ReadCivilDate(date_text.substr(0, 10));
    if (!day) {
      continue;
    }
    std::optional<double> close;
    if (c->is_number()) {
      close = c->get<double>();
    } else if (c->is_string()) {
      close = ReadFetchedFigure(c->get<std::string>());
      if (!close && !c->get<std::string>().empty()) {
        message = NotAFigureMessage(page_name, c->get<std::string>());
        return std::nullopt;
      }
    }
    if (!close || *close == 0) {
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
  return closes;
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

std::string TooShortHistoryMessage(const std::string& name, size_t closes, int days) {
  return "The history of " + name + " has " + std::to_string(closes) + " closes: too few for " +
         std::to_string(days) + " trading days";
}

}  // namespace stratlyn
