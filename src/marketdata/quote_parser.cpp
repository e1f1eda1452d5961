#include "marketdata/quote_parser.h"

#include <array>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>

#include "marketdata/html_extract.h"
#include "marketdata/occ_symbol.h"
#include "util/dialogs.h"
#include "util/format.h"
#include "util/numeric_entry.h"
#include "util/services.h"

namespace stratlyn {
namespace {

constexpr std::string_view kPriceFormat = "#####0.00000";
constexpr std::string_view kStrikeFormat = "#####0.00###";
constexpr const char* kDescriptionAnchor = "end ready to trade bar";
constexpr const char* kDescriptionStart = "delayedQuotes";
// The page writes months in English whatever the user's locale.
constexpr std::array<const char*, 12> kMonthAbbrev = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// 1-based exact position of `pattern` in `text` from `start`; 0 when absent.
size_t InStr(size_t start, const std::string& text, const std::string& pattern) {
  if (start < 1 || pattern.empty() || start > text.size()) return 0;
  const size_t p = text.find(pattern, start - 1);
  return p == std::string::npos ? 0 : p + 1;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  const size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// Offers to correct the strike field when `found` (a strike read from the
// page, dot decimal) differs in value from it (the user's locale).
void CheckStrike(QuoteContext& ctx, const std::string& found) {
  ctx.strike_found = found;
  ctx.strike_corrected = 0;
  const double page_strike = LeadingValue(found);
  if (page_strike == 0) return;
  const double field = NumericValue(ctx.strike).value_or(LeadingValue(ctx.strike));
  if (page_strike == field) return;
  const MsgAnswer a = AppDialogs().Show(StrikeQuestion(Trim(ctx.strike), found), MsgButtons::YesNo,
                                        MsgIcon::Question, kMessageTitle);
  if (a == MsgAnswer::Yes) {
    ctx.strike = FormatEntryNumber(page_strike, kStrikeFormat);
    ctx.strike_corrected = page_strike;
  }
}

// A plain decimal number with a dot, whatever the locale; nothing for
// anything else (hexadecimal, "inf", "nan", a comma decimal).
std::optional<double> DotNumber(const std::string& text) {
  const std::string s = Trim(text);
  if (s.empty()) return std::nullopt;
  const char* first = s.data();
  if (*first == '+') ++first;
  double d = 0;
  const auto [ptr, ec] = std::from_chars(first, s.data() + s.size(), d, std::chars_format::fixed);
  if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(d)) return std::nullopt;
  return d;
}

// A price as a field can hold it: above 0 and within single precision.
bool UsablePrice(double price) {
  return std::isfinite(price) && price > 0 && price <= static_cast<double>(FLT_MAX);
}

// The figure of the cell that holds a label at the 1-based `label` in
// `html`: `after` is the page text from the label on (the label's own cell
// first). A label heading a column (<th>) reads the cell below it; a label
// followed by a cell that is no figure (another label, an empty cell) reads
// the cell below too. Nothing when neither holds a figure, or the first
// cell says "N/A".
std::optional<double> FigureOfLabel(const std::string& html, size_t label,
                                    const std::string& after) {
  if (LabelInHeaderCell(html, label)) return ReadPageFigure(CellTextBelow(html, label));
  const std::string first = FirstCellText(after);
  if (const auto v = ReadPageFigure(first)) return v;
  if (Trim(first).compare(0, 3, "N/A") == 0) return std::nullopt;
  return ReadPageFigure(CellTextBelow(html, label));
}

// The option description's strike ("130.00" in "... Jan 130.00 Call (...").
void CheckPageStrike(const std::string& html, QuoteContext& ctx) {
  ctx.strike_found.clear();
  const size_t c = InStr(1, html, kDescriptionAnchor);
  const size_t d = InStr(c + 1, html, kDescriptionStart);
  const size_t e = d > 0 ? InStr(d + 1, html, ")") : 0;
  if (d == 0 || e <= d) return;
  const std::string description = html.substr(d - 1, e - d);
  const int month = ctx.maturity_month;
  if (month < 0 || month > 11) return;
  const size_t f = InStr(1, description, kMonthAbbrev[static_cast<size_t>(month)]);
  if (f == 0) return;
  const size_t from = f + 4;
  const size_t blank = InStr(from, description, " ");
  if (blank == 0) return;
  CheckStrike(ctx, description.substr(from - 1, blank - from));
}

// A JSON number, or a text holding one; nullopt for anything else.
std::optional<double> Number(const nlohmann::json& v) {
  if (v.is_number()) {
    const double d = v.get<double>();
    if (std::isfinite(d)) return d;
    return std::nullopt;
  }
  if (v.is_string()) return DotNumber(v.get<std::string>());
  return std::nullopt;
}

std::optional<double> Field(const nlohmann::json& obj, const char* key) {
  if (!obj.is_object()) return std::nullopt;
  const auto it = obj.find(key);
  if (it == obj.end()) return std::nullopt;
  return Number(*it);
}

std::string NoBlanksUpper(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c != ' ' && c != '\t')
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

QuoteResult Info(const char* message) {
  AppDialogs().Show(message, MsgButtons::Ok, MsgIcon::Information, kMessageTitle);
  return {};
}

QuoteResult Price(double price) { return {QuoteOutcome::kPrice, price}; }

}  // namespace

std::string StrikeQuestion(const std::string& entered, const std::string& found) {
  return "You entered the strike price " + entered + " while the retrieved quote is for strike " +
         found + ". Do you want me to correct the strike price?";
}

bool ReadDividendYield(const std::string& html, double& percent) {
  const auto not_found = [] {
    AppDialogs().Show(kNoDividendMessage, MsgButtons::Ok, MsgIcon::None, kMessageTitle);
    return false;
  };
  if (html.find("Yield") == std::string::npos) return not_found();
  const size_t eps = html.find("EPS");
  const size_t y = html.find("Yield", eps == std::string::npos ? 0 : eps + 1);
  if (y == std::string::npos) return not_found();
  // Nothing after the label (an empty cell, "N/A", the next label) is no
  // yield, not a yield of zero or a figure of another cell.
  const auto value = FigureOfLabel(html, y + 1, html.substr(y + 1, 100));
  if (!value || *value < 0) return not_found();
  percent = *value;
  return true;
}

void BlankLineBreaks(std::string& text) {
  for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) {
    text[p] = ' ';
    text[p + 1] = ' ';
  }
}

double LeadingValue(const std::string& text) {
  size_t i = text.find_first_not_of(" \t");
  if (i == std::string::npos) return 0;
  // Only a plain decimal number with a dot counts here.
  size_t j = i;
  if (text[j] == '+' || text[j] == '-') ++j;
  const size_t digits_from = j;
  while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
  if (j < text.size() && text[j] == '.') {
    ++j;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
  }
  if (j == digits_from || (j == digits_from + 1 && text[digits_from] == '.')) return 0;
  return DotNumber(text.substr(i, j - i)).value_or(0);
}

std::string QuoteAnswerText(const QuoteResult& result) {
  switch (result.outcome) {
    case QuoteOutcome::kPrice:
      return FormatEntryNumber(result.price, kPriceFormat);
    case QuoteOutcome::kSeeTable:
      return kSeeTable;
    case QuoteOutcome::kBlank:
      return kBlank;
    case QuoteOutcome::kNone:
      break;
  }
  return {};
}

std::string ParseCBOESimpleQuote(const std::string& html, const std::string& exchange,
                                 QuoteContext& ctx) {
  return QuoteAnswerText(ReadCBOESimpleQuote(html, exchange, ctx));
}

std::string ParseCBOEFeedQuote(const std::string& page, const std::string& option_symbol,
                               QuoteContext& ctx) {
  return QuoteAnswerText(ReadCBOEFeedQuote(page, option_symbol, ctx));
}

QuoteResult ReadCBOESimpleQuote(const std::string& html, const std::string& exchange,
                                QuoteContext& ctx) {
  if (exchange != "CBOE" && exchange != "Any") return {};
  const size_t a = InStr(1, html, kLastSaleMarker);
  if (a == 0) {
    if (html.find(kSymbolNotFoundMarker) == std::string::npos) return Info(kNoLastPriceMessage);
    const MsgAnswer answer = AppDialogs().Show(kSymbolNotFoundQuestion, MsgButtons::YesNo,
                                               MsgIcon::Question, kMessageTitle);
    return {answer == MsgAnswer::Yes ? QuoteOutcome::kSeeTable : QuoteOutcome::kBlank, 0};
  }
  const size_t b = InStr(a + 1, html, kTickMarker);
  if (b == 0) return {};

  std::string segment = html.substr(a - 1, b - a);
  BlankLineBreaks(segment);
  const auto price = FigureOfLabel(html, a, segment);
  QuoteResult result;
  if (price && UsablePrice(*price)) {
    result = Price(*price);
  } else {
    Info(kNoLastPriceMessage);
  }
  CheckPageStrike(html, ctx);
  return result;
}

std::string JsonFromPage(const std::string& page) {
  const size_t first = page.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && (page[first] == '{' || page[first] == '['))
    return page.substr(first);
  // A browser shows JSON as text inside markup (<pre>...</pre>).
  const std::string text = BodyText(page);
  const size_t b = text.find('{');
  const size_t e = text.rfind('}');
  if (b == std::string::npos || e == std::string::npos || e < b) return {};
  return text.substr(b, e - b + 1);
}

QuoteResult ReadCBOEFeedQuote(const std::string& page, const std::string& option_symbol,
                              QuoteContext& ctx) {
  ctx.strike_found.clear();
  ctx.strike_corrected = 0;
  const nlohmann::json doc = nlohmann::json::parse(JsonFromPage(page), nullptr, false);
  if (doc.is_discarded() || !doc.is_object() || !doc.contains("data") || !doc["data"].is_object()) {
    return Info(kFeedUnreadableMessage);
  }
  const nlohmann::json& data = doc["data"];
  const std::string wanted = NoBlanksUpper(option_symbol);
  if (wanted.empty()) {
    const auto price = Field(data, "current_price");
    if (!price || !UsablePrice(*price)) return Info(kFeedNoPriceMessage);
    return Price(*price);
  }

  const auto options = data.find("options");
  if (options == data.end() || !options->is_array()) return Info(kFeedNoOptionMessage);
  for (const auto& option : *options) {
    if (!option.is_object()) continue;
    const auto name = option.find("option");
    if (name == option.end() || !name->is_string() ||
        NoBlanksUpper(name->get<std::string>()) != wanted) {
      continue;
    }
    double price = 0;
    if (const auto last = Field(option, "last_trade_price"); last && *last > 0) {
      price = *last;
    } else {
      const auto bid = Field(option, "bid");
      const auto ask = Field(option, "ask");
      if (bid && ask && *bid >= 0 && *ask > 0 && *ask >= *bid) price = (*bid + *ask) / 2;
    }
    if (!UsablePrice(price)) return Info(kFeedNoPriceMessage);
    OccSymbol occ;
    if (ParseOccSymbol(wanted, occ)) CheckStrike(ctx, FormatNumber(occ.strike, kStrikeFormat));
    return Price(price);
  }
  return Info(kFeedNoOptionMessage);
}

}  // namespace stratlyn
