#include "marketdata/quote_parser.h"

#include <array>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>

#include "marketdata/civil_date.h"
#include "marketdata/exchange_time.h"
#include "marketdata/html_extract.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/page_figure.h"
#include "marketdata/quote_page_figure.h"
#include "util/dialogs.h"
#include "util/format.h"
#include "util/numeric_entry.h"
#include "util/services.h"
#include "util/text.h"

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
  if (start < 1 || pattern.empty() || start > text.size()) {
    return 0;
  }
  const size_t p = text.find(pattern, start - 1);
  return p == std::string::npos ? 0 : p + 1;
}

// Offers to correct the strike field when `found` (a strike read from the
// page, dot decimal) differs in value from it (the user's locale).
void CheckStrike(QuoteContext& ctx, const std::string& found) {
  ctx.strike_found = found;
  ctx.strike_corrected = 0;
  const double page_strike = LeadingValue(found);
  if (page_strike == 0) {
    return;
  }
  const double field = NumericValue(ctx.strike).value_or(LeadingValue(ctx.strike));
  if (page_strike == field) {
    return;
  }
  const MsgAnswer a = AppDialogs().Show(StrikeQuestion(Trim(ctx.strike, kSpaceAndTab), found),
                                        MsgButtons::YesNo, MsgIcon::Question, kMessageTitle);
  if (a == MsgAnswer::Yes) {
    ctx.strike = FormatEntryNumber(page_strike, kStrikeFormat);
    ctx.strike_corrected = page_strike;
  }
}

// A plain decimal number with a dot, whatever the locale; nothing for
// anything else (hexadecimal, "inf", "nan", a comma decimal).
std::optional<double> DotNumber(const std::string& text) {
  return ReadDotDecimal(TrimView(text, kSpaceAndTab));
}

// A price as a field can hold it: not shown as 0.00000 (kLeastShownPrice)
// and within single precision.

bool UsablePrice(double price) {
  return std::isfinite(price) && price >= kLeastShownPrice && price <= static_cast<double>(FLT_MAX);
}

// The option description's strike ("130.00" in "... Jan 130.00 Call (...").
void CheckPageStrike(const std::string& html, QuoteContext& ctx) {
  ctx.strike_found.clear();
  const size_t c = InStr(1, html, kDescriptionAnchor);
  const size_t d = InStr(c + 1, html, kDescriptionStart);
  const size_t e = d > 0 ? InStr(d + 1, html, ")") : 0;
  if (d == 0 || e <= d) {
    return;
  }
  const std::string description = html.substr(d - 1, e - d);
  const int month = ctx.maturity_month;
  if (month < 0 || month > 11) {
    return;
  }
  const size_t f = InStr(1, description, kMonthAbbrev[static_cast<size_t>(month)]);
  if (f == 0) {
    return;
  }
  const size_t from = f + 4;
  const size_t blank = InStr(from, description, " ");
  if (blank == 0) {
    return;
  }
  CheckStrike(ctx, description.substr(from - 1, blank - from));
}

// A JSON number, or a text holding one; nullopt for anything else.
std::optional<double> Number(const nlohmann::json& v) {
  if (v.is_number()) {
    const double d = v.get<double>();
    if (std::isfinite(d)) {
      return d;
    }
    return std::nullopt;
  }
  if (v.is_string()) {
    return ReadFetchedFigure(v.get<std::string>());
  }
  return std::nullopt;
}

std::optional<double> Field(const nlohmann::json& obj, const char* key) {
  if (!obj.is_object()) {
    return std::nullopt;
  }
  const auto it = obj.find(key);
  if (it == obj.end()) {
    return std::nullopt;
  }
  return Number(*it);
}

// The text of a field that holds a string which is no figure, other than
// the feed's ways of writing "nothing" ("", "n/a", "-"); "" otherwise.
std::string UnreadableField(const nlohmann::json& obj, const char* key) {
  if (!obj.is_object()) {
    return {};
  }
  const auto it = obj.find(key);
  if (it == obj.end() || it->is_null() || it->is_number()) {
    return {};
  }
  // true, an object, a list: no figure either.
  if (!it->is_string()) {
    return it->dump();
  }
  const std::string text = it->get<std::string>();
  if (ReadFetchedFigure(text) || NoFigureShown(text)) {
    return {};
  }
  std::string lower;
  for (char c : Trim(text, kSpaceAndTab)) {
    lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return lower == "n/a" || lower == "na" || lower == "null" ? std::string() : text;
}

std::string NoBlanksUpper(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c != ' ' && c != '\t') {
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

QuoteResult Info(const std::string& message) {
  AppDialogs().Show(message, MsgButtons::Ok, MsgIcon::Information, kMessageTitle);
  return {};
}

// A message about the page: the window shows the page itself, a terminal
// gets its address after the text.
}  // namespace

std::string TerminalWording(const std::string& message, const std::string& page) {
  const std::pair<const char*, const char*> words[] = {
      {kNoLastPriceMessage, kNoLastPriceTerminalMessage},
      {kFeedUnreadableMessage, kFeedUnreadableTerminalMessage},
      {kFeedNoPriceMessage, kFeedNoPriceTerminalMessage}};
  for (const auto& [window, terminal] : words) {
    if (message == window) {
      return std::string(terminal) + " " + page;
    }
  }
  return message;
}

namespace {

QuoteResult Told(const QuoteContext& ctx, const char* window, const char* terminal) {
  return Info(ctx.view == QuoteView::kWindow ? std::string(window)
                                             : std::string(terminal) + " " + ctx.page);
}

// The figure of `key` as the page writes it: a string's text, a whole
// number's digits ("12345678901234567890"); a number with a fraction or an
// exponent in the 15 significant digits its double holds.
std::string FieldText(const nlohmann::json& obj, const char* key) {
  const auto it = obj.find(key);
  if (it == obj.end()) {
    return {};
  }
  if (it->is_string()) {
    return Trim(it->get<std::string>(), kSpaceAndTab);
  }
  if (it->is_number_float()) {
    std::array<char, 32> buf{};
    const auto end = std::to_chars(buf.data(), buf.data() + buf.size(), it->get<double>(),
                                   std::chars_format::general, DBL_DIG)
                         .ptr;
    return std::string(buf.data(), end);
  }
  return it->dump();
}

// The first of `keys` whose figure is kMostShownPrice or more: the refusal
// naming it; nothing when every figure can be shown.
std::optional<QuoteResult> TooLarge(const nlohmann::json& obj,
                                    std::initializer_list<const char*> keys,
                                    const std::string& page) {
  for (const char* key : keys) {
    // Rounded to five decimals: 9999999999.999999 would show as 10000000000.00000.
    if (const auto v = Field(obj, key); v && *v >= kMostShownPrice - kLeastShownPrice) {
      return Info(TooLargePriceMessage(page, FieldText(obj, key)));
    }
  }
  return std::nullopt;
}

// "Today" of a feed page: the date of its timestamp ("2026-12-07 16:15:02",
// New York time), or the New York date of `now` when it has none.
std::chrono::year_month_day PageDate(const nlohmann::json& doc,
                                     std::chrono::system_clock::time_point now) {
  const auto it = doc.find("timestamp");
  if (it != doc.end() && it->is_string() && it->get<std::string>().size() >= 10) {
    if (const auto d = ReadCivilDate(it->get<std::string>().substr(0, 10))) {
      return *d;
    }
  }
  return NewYorkDate(std::chrono::floor<std::chrono::seconds>(now));
}

// An option's price from its record in the feed (see ReadCBOEFeedQuote).
QuoteResult ChooseOptionPrice(const nlohmann::json& option, const std::string& symbol,
                              std::chrono::year_month_day today, const std::string& page) {
  for (const char* key : {"bid", "ask", "last_trade_price"}) {
    if (const std::string bad = UnreadableField(option, key); !bad.empty()) {
      return Info(NotAFigureMessage(page, bad));
    }
  }
  QuoteResult r;
  const auto bid = Field(option, "bid");
  const auto ask = Field(option, "ask");
  const auto last = Field(option, "last_trade_price");
  if ((bid && *bid < 0) || (ask && *ask < 0) || (last && *last < 0)) {
    return Info(NegativeQuoteMessage(symbol, page));
  }
  if (auto refused = TooLarge(option, {"bid", "ask", "last_trade_price"}, page)) {
    return *refused;
  }
  r.bid = bid.value_or(0);
  r.ask = ask.value_or(0);
  r.last = last.value_or(0);
  std::optional<std::chrono::year_month_day> traded_on;
  std::string traded_at;  // "HH:MM"
  if (const auto t = option.find("last_trade_time"); t != option.end() && t->is_string()) {
    const std::string text = t->get<std::string>();
    if (text.size() >= 10) {
      traded_on = ReadCivilDate(text.substr(0, 10));
    }
    if (traded_on) {
      r.last_trade_time = text;
      if (text.size() >= 16 && (text[10] == 'T' || text[10] == ' ')) {
        traded_at = text.substr(11, 5);
      }
    }
  }
  const bool traded = r.last > 0 && traded_on.has_value();
  const bool traded_today = traded && *traded_on == today;
  // A two-sided quote: its midpoint.
  if (bid && ask && *bid > 0 && *ask >= *bid && UsablePrice(*ask)) {
    r.outcome = QuoteOutcome::kPrice;
    r.source = PriceSource::kMid;
    r.price = (*bid + *ask) / 2;
    r.status = "mid of " + FormatNumber(*bid, "0.00") + " / " + FormatNumber(*ask, "0.00");
    return r;
  }
  const bool crossed = bid && ask && *bid > 0 && *ask > 0 && *bid > *ask;
  // A one-sided quote: a trade of today inside it still is a price.
  if (!crossed && traded_today && ask && *ask > 0 && r.last >= r.bid && r.last <= *ask &&
      UsablePrice(r.last)) {
    r.outcome = QuoteOutcome::kPrice;
    r.source = PriceSource::kLast;
    r.price = r.last;
    r.status = "last trade " + FormatNumber(r.last, "0.00") +
               (traded_at.empty() ? std::string() : " at " + traded_at);
    return r;
  }
  std::string last_part;
  if (!traded) {
    last_part = r.last > 0 ? "last trade " + FormatNumber(r.last, "0.00") + " at an unknown time"
                           : "never traded";
  } else if (traded_today) {
    last_part = "last trade " + FormatNumber(r.last, "0.00") +
                (traded_at.empty() ? std::string() : " at " + traded_at) + ", outside " +
                FormatNumber(r.bid, "0.00") + " / " + FormatNumber(r.ask, "0.00");
  } else {
    last_part = "last trade " + FormatNumber(r.last, "0.00") + " on " + FormatCivilDate(*traded_on);
  }
  Info(crossed ? CrossedQuoteMessage(symbol, *bid, *ask, last_part)
               : NoTwoSidedQuoteMessage(symbol, last_part));
  QuoteResult none;
  none.bid = r.bid;
  none.ask = r.ask;
  none.last = r.last;
  none.last_trade_time = r.last_trade_time;
  return none;
}

QuoteResult Price(double price) {
  QuoteResult r;
  r.outcome = QuoteOutcome::kPrice;
  r.price = price;
  return r;
}

}  // namespace

std::string StrikeQuestion(const std::string& entered, const std::string& found) {
  return "You entered the strike price " + entered + " while the retrieved quote is for strike " +
         found + ". Do you want me to correct the strike price?";
}

std::string TooLargePriceMessage(const std::string& page, const std::string& text) {
  return "The price " + text + " on " + page +
         " has more digits than a price field shows (below 10000000000 with five decimals): no "
         "price was taken";
}

std::string NegativeQuoteMessage(const std::string& symbol, const std::string& page) {
  return "The quote for " + symbol + " on " + page + " has a negative bid, ask or last trade";
}

std::string NoTwoSidedQuoteMessage(const std::string& symbol, const std::string& last_part) {
  return "no two-sided quote for " + symbol + " today; " + last_part;
}

std::string CrossedQuoteMessage(const std::string& symbol, double bid, double ask,
                                const std::string& last_part) {
  return "crossed quote for " + symbol + " today (bid " + FormatNumber(bid, "0.00") +
         " above ask " + FormatNumber(ask, "0.00") + "); " + last_part;
}

void BlankLineBreaks(std::string& text) {
  for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) {
    text[p] = ' ';
    text[p + 1] = ' ';
  }
}

double LeadingValue(const std::string& text) {
  size_t i = text.find_first_not_of(" \t");
  if (i == std::string::npos) {
    return 0;
  }
  // Only a plain decimal number with a dot counts here.
  size_t j = i;
  if (text[j] == '+' || text[j] == '-') {
    ++j;
  }
  const size_t digits_from = j;
  while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) {
    ++j;
  }
  if (j < text.size() && text[j] == '.') {
    ++j;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) {
      ++j;
    }
  }
  if (j == digits_from || (j == digits_from + 1 && text[digits_from] == '.')) {
    return 0;
  }
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
  if (exchange != "CBOE" && exchange != "Any") {
    return {};
  }
  const size_t a = InStr(1, html, kLastSaleMarker);
  if (a == 0) {
    if (html.find(kSymbolNotFoundMarker) == std::string::npos) {
      return Told(ctx, kNoLastPriceMessage, kNoLastPriceTerminalMessage);
    }
    // A terminal cannot bring up the symbol table: it is only named.
    if (ctx.view == QuoteView::kTerminal) {
      return Info(kSymbolNotFoundTerminalMessage);
    }
    const MsgAnswer answer = AppDialogs().Show(kSymbolNotFoundQuestion, MsgButtons::YesNo,
                                               MsgIcon::Question, kMessageTitle);
    QuoteResult r;
    r.outcome = answer == MsgAnswer::Yes ? QuoteOutcome::kSeeTable : QuoteOutcome::kBlank;
    return r;
  }
  const size_t b = InStr(a + 1, html, kTickMarker);
  if (b == 0) {
    return {};
  }

  std::string segment = html.substr(a - 1, b - a);
  BlankLineBreaks(segment);
  const LabelFigure price = FigureOfLabel(html, a, segment, FigureKind::kPlain);
  QuoteResult result;
  if (price.value && *price.value >= kMostShownPrice - kLeastShownPrice) {
    Info(TooLargePriceMessage(ctx.page, price.text));
  } else if (price.value && UsablePrice(*price.value)) {
    result = Price(*price.value);
  } else if (!price.value && !price.bad_text.empty()) {
    Info(NotAFigureMessage(ctx.page, price.bad_text));
  } else {
    Told(ctx, kNoLastPriceMessage, kNoLastPriceTerminalMessage);
  }
  CheckPageStrike(html, ctx);
  return result;
}

std::string JsonFromPage(const std::string& page) {
  const size_t first = page.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && (page[first] == '{' || page[first] == '[')) {
    return page.substr(first);
  }
  // A browser shows JSON as text inside markup (<pre>...</pre>).
  const std::string text = BodyText(page);
  const size_t b = text.find('{');
  const size_t e = text.rfind('}');
  if (b == std::string::npos || e == std::string::npos || e < b) {
    return {};
  }
  return text.substr(b, e - b + 1);
}

QuoteResult ReadCBOEFeedQuote(const std::string& page, const std::string& option_symbol,
                              QuoteContext& ctx) {
  ctx.strike_found.clear();
  ctx.strike_corrected = 0;
  const nlohmann::json doc = nlohmann::json::parse(JsonFromPage(page), nullptr, false);
  if (doc.is_discarded() || !doc.is_object() || !doc.contains("data") || !doc["data"].is_object()) {
    return Told(ctx, kFeedUnreadableMessage, kFeedUnreadableTerminalMessage);
  }
  // A redirect, a cache or a proxy may answer with another security's page.
  if (const std::string other = OtherFeedSymbolOf(doc, ctx.ticker); !other.empty()) {
    return Info(OtherSymbolMessage(ctx.page, other, Trim(ctx.ticker, kSpaceAndTab)));
  }
  const nlohmann::json& data = doc["data"];
  const std::string wanted = NoBlanksUpper(option_symbol);
  if (wanted.empty()) {
    const auto price = Field(data, "current_price");
    if (const std::string bad = UnreadableField(data, "current_price"); !bad.empty()) {
      return Info(NotAFigureMessage(ctx.page, bad));
    }
    if (auto refused = TooLarge(data, {"current_price"}, ctx.page)) {
      return *refused;
    }
    if (!price || !UsablePrice(*price)) {
      return Told(ctx, kFeedNoPriceMessage, kFeedNoPriceTerminalMessage);
    }
    return Price(*price);
  }

  const auto options = data.find("options");
  if (options == data.end() || !options->is_array()) {
    return Info(kFeedNoOptionMessage);
  }
  for (const auto& option : *options) {
    if (!option.is_object()) {
      continue;
    }
    const auto name = option.find("option");
    if (name == option.end() || !name->is_string() ||
        NoBlanksUpper(name->get<std::string>()) != wanted) {
      continue;
    }
    OccSymbol occ;
    const bool is_occ = ParseOccSymbol(wanted, occ);
    const auto page_date = PageDate(doc, ctx.now);
    QuoteResult result = ChooseOptionPrice(option, wanted, page_date, ctx.page);
    if (result.outcome != QuoteOutcome::kPrice) {
      return result;
    }
    // Quotes of another day than the fetch's (a weekend, a stale copy) say so.
    if (page_date != NewYorkDate(std::chrono::floor<std::chrono::seconds>(ctx.now))) {
      result.status += " of " + FormatCivilDate(page_date);
    }
    if (is_occ) {
      CheckStrike(ctx, FormatNumber(occ.strike, kStrikeFormat));
    }
    return result;
  }
  return Info(kFeedNoOptionMessage);
}

}  // namespace stratlyn
