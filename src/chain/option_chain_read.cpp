// Reading the feed's options file into an OptionChain: one pass over the
// text without building the whole document, each record's fields as the
// feed writes them (numbers or texts), grouped by root, expiry and strike.
// Solving the chain is option_chain.cpp's.

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>
#include <utility>

#include "chain/contract_solver.h"
#include "chain/option_chain.h"
#include "chain/option_chain_internal.h"
#include "marketdata/civil_date.h"
#include "marketdata/exchange_time.h"
#include "marketdata/implied_dividend.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/page_figure.h"
#include "marketdata/quote_parser.h"
#include "util/format.h"

namespace stratlyn {
namespace {

using namespace std::chrono;

constexpr int kStaleDays = 7;
constexpr const char* kNoSymbolNote = " records without a readable OCC symbol were passed over";
constexpr const char* kAdjustedNote1 = " contracts of the adjusted roots ";
constexpr const char* kAdjustedNote2 =
    " were passed over: their deliverable is not 100 shares of the underlying";
constexpr const char* kRepeatedNote = " repeated contracts were passed over (the first one counts)";
constexpr const char* kNoTimestampNote =
    "The file has no timestamp: times to expiry are counted from the moment it was read";
constexpr const char* kQuotesOfNote = "The file's quotes are of ";
constexpr const char* kQuotesOfNote2 = " New York, ";
constexpr const char* kQuotesOfNote3 =
    " days before it was read: times to expiry are counted from the quotes";
constexpr const char* kQuotesOfNoteAfter =
    " days after it was read: times to expiry are counted from the quotes";

// The cash-settled index roots, exercised only at expiry (OEX is American).
constexpr const char* kEuropeanRoots[] = {"SPX",  "SPXW", "SPXPM", "XSP",  "NDX",  "NDXP",
                                          "NDXW", "XND",  "RUT",   "RUTW", "MRUT", "VIX",
                                          "VIXW", "DJX",  "DJXW",  "XEO",  "VIX9D"};

// A value of the file as the reader met it: absent, null, a number, a text,
// or anything else (true, a list, an object).
struct Raw {
  enum Kind : unsigned char { kAbsent, kNull, kNumber, kText, kOther };
  Kind kind = kAbsent;
  double number = 0;
  std::string text;
};

// The fields of a record the chain reads.
enum RecordField {
  kOption,
  kBid,
  kAsk,
  kIv,
  kOpenInterest,
  kVolume,
  kDelta,
  kGamma,
  kVega,
  kTheta,
  kRho,
  kTheo,
  kLastPrice,
  kLastTime,
  kFieldCount,
  kIgnored = kFieldCount,
};

RecordField FieldOfKey(const std::string& key) {
  static const std::pair<const char*, RecordField> kKeys[] = {
      {"option", kOption},
      {"bid", kBid},
      {"ask", kAsk},
      {"iv", kIv},
      {"open_interest", kOpenInterest},
      {"volume", kVolume},
      {"delta", kDelta},
      {"gamma", kGamma},
      {"vega", kVega},
      {"theta", kTheta},
      {"rho", kRho},
      {"theo", kTheo},
      {"last_trade_price", kLastPrice},
      {"last_trade_time", kLastTime},
  };
  for (const auto& [name, field] : kKeys) {
    if (key == name) {
      return field;
    }
  }
  return kIgnored;
}

struct RawRecord {
  bool object = false;  // a record that is no object has no symbol either
  Raw fields[kFieldCount];
};

// What the reader keeps of the file: the few figures of the underlying and
// the records, read in one pass without building the whole document.
class ChainReader : public nlohmann::json_sax<nlohmann::json> {
 public:
  bool root_object = false;
  bool data_object = false;
  Raw timestamp, symbol, spot;
  std::vector<RawRecord> records;  // those with an "option" text
  // Records passed over as they were read (no object, or no "option" text):
  // a file of millions of them must not be held in memory.
  std::size_t without_symbol = 0;

  bool null() override { return Scalar(Raw{Raw::kNull, 0, {}}); }
  bool boolean(bool) override { return Scalar(Raw{Raw::kOther, 0, {}}); }
  bool number_integer(number_integer_t v) override {
    return Scalar(Raw{Raw::kNumber, static_cast<double>(v), {}});
  }
  bool number_unsigned(number_unsigned_t v) override {
    return Scalar(Raw{Raw::kNumber, static_cast<double>(v), {}});
  }
  bool number_float(number_float_t v, const string_t&) override {
    return Scalar(Raw{Raw::kNumber, v, {}});
  }
  bool string(string_t& v) override { return Scalar(Raw{Raw::kText, 0, std::move(v)}); }
  bool binary(binary_t&) override { return Scalar(Raw{Raw::kOther, 0, {}}); }
  bool key(string_t& k) override {
    if (stack_.size() == 4 && in_record_) {
      field_ = FieldOfKey(k);
    } else if (stack_.size() <= 2) {
      keys_[stack_.size()] = std::move(k);
    }
    return true;
  }
  bool start_object(std::size_t) override { return Open(true); }
  bool start_array(std::size_t) override { return Open(false); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  // A container opens at depth stack_.size() + 1.
  bool Open(bool object) {
    const std::size_t depth = stack_.size();
    if (depth == 0) {
      root_object = object;
    } else if (depth == 1 && root_object && keys_[1] == "data") {
      data_object = object;
      in_data_ = object;
    } else if (depth == 2 && in_data_ && keys_[2] == "options") {
      in_options_ = !object;
    } else if (depth == 3 && in_options_) {
      if (object) {
        records.emplace_back();
        records.back().object = true;
      } else {
        ++without_symbol;
      }
      in_record_ = object;
      field_ = kIgnored;
    } else if (depth == 4 && in_record_) {
      Set(Raw{Raw::kOther, 0, {}});
    }
    stack_.push_back(object);
    return true;
  }
  bool Close() {
    stack_.pop_back();
    const std::size_t depth = stack_.size();
    if (depth == 1) {
      in_data_ = false;
    }
    if (depth == 2) {
      in_options_ = false;
    }
    if (depth == 3 && in_record_) {
      if (records.back().fields[kOption].kind != Raw::kText) {
        records.pop_back();
        ++without_symbol;
      }
      in_record_ = false;
    }
    return true;
  }
  void Set(Raw v) {
    if (field_ != kIgnored) {
      records.back().fields[field_] = std::move(v);
    }
  }
  bool Scalar(Raw v) {
    const std::size_t depth = stack_.size();
    if (depth == 1 && root_object) {
      if (keys_[1] == "timestamp") {
        timestamp = std::move(v);
      } else if (keys_[1] == "data") {
        data_object = false;
      }
    } else if (depth == 2 && in_data_) {
      if (keys_[2] == "symbol") {
        symbol = std::move(v);
      } else if (keys_[2] == "current_price") {
        spot = std::move(v);
      }
    } else if (depth == 3 && in_options_) {
      ++without_symbol;  // a scalar where a record belongs
    } else if (depth == 4 && in_record_) {
      Set(std::move(v));
    }
    return true;
  }

  std::vector<bool> stack_;  // true for an object
  std::string keys_[3];      // the current key at depths 1 and 2
  bool in_data_ = false, in_options_ = false, in_record_ = false;
  RecordField field_ = kIgnored;
};

// A value as a figure; `bad` set when it is there but no figure ("abc", a
// list, true); null, missing and "" are simply absent.
std::optional<double> Figure(const Raw& v, bool* bad = nullptr) {
  switch (v.kind) {
    case Raw::kAbsent:
    case Raw::kNull:
      return std::nullopt;
    case Raw::kNumber:
      if (std::isfinite(v.number)) {
        return v.number;
      }
      break;
    case Raw::kText: {
      if (const auto f = ReadFetchedFigure(v.text)) {
        return f;
      }
      if (v.text.find_first_not_of(" \t") == std::string::npos) {
        return std::nullopt;
      }
      break;
    }
    case Raw::kOther:
      break;
  }
  if (bad) {
    *bad = true;
  }
  return std::nullopt;
}

// A figure that cannot be negative (sizes, open interest): absent when it is.
std::optional<double> Count(const Raw& v) {
  const auto f = Figure(v);
  if (f && *f >= 0) {
    return f;
  }
  return std::nullopt;
}

std::string Text(const Raw& v) { return v.kind == Raw::kText ? v.text : std::string(); }

// "2026-12-07 16:15:02" (New York) as an instant.
// Only that form: a zone after it ("...Z", "+00:00") would make it another
// clock, so the text is then no timestamp of the file's.
std::optional<sys_seconds> ReadTimestamp(const std::string& text) {
  if (text.size() != 16 && text.size() != 19) {
    return std::nullopt;
  }
  const auto date = ReadCivilDate(text.substr(0, 10));
  if (!date || (text[10] != ' ' && text[10] != 'T')) {
    return std::nullopt;
  }
  const auto two = [&](size_t at) -> int {
    if (at + 2 > text.size() || !std::isdigit(static_cast<unsigned char>(text[at])) ||
        !std::isdigit(static_cast<unsigned char>(text[at + 1]))) {
      return -1;
    }
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
  };
  const int h = two(11), m = text[13] == ':' ? two(14) : -1;
  const int s = text.size() >= 19 && text[16] == ':' ? two(17) : 0;
  if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) {
    return std::nullopt;
  }
  return NewYorkTime(*date, h * 60 + m) + seconds{s};
}

// The reason the quote alone gives, or kNone for a two-sided one.
ChainRefusal QuoteRefusal(std::optional<double> bid, std::optional<double> ask, bool bad) {
  if (bad || (bid && *bid < 0) || (ask && *ask < 0)) {
    return ChainRefusal::kUnreadable;
  }
  const bool has_bid = bid && *bid > 0, has_ask = ask && *ask > 0;
  if (!has_bid && !has_ask) {
    return ChainRefusal::kNoQuote;
  }
  if (!has_bid || !has_ask) {
    return ChainRefusal::kOneSided;
  }
  if (*bid > *ask) {
    return ChainRefusal::kCrossed;
  }
  return ChainRefusal::kNone;
}

// An adjusted root (after a split or a merger) ends in a digit: AAPL1.
bool AdjustedRoot(const std::string& root) {
  return !root.empty() && std::isdigit(static_cast<unsigned char>(root.back())) && root != "VIX9D";
}
}  // namespace

ExerciseStyle StyleOfRoot(const std::string& root) {
  for (const char* r : kEuropeanRoots) {
    if (root == r) {
      return ExerciseStyle::kEuropean;
    }
  }
  return ExerciseStyle::kAmerican;
}

std::optional<OptionChain> ParseOptionChain(const std::string& page,
                                            std::chrono::system_clock::time_point now,
                                            std::string& message) {
  ChainReader reader;
  const bool parsed = nlohmann::json::sax_parse(JsonFromPage(page), &reader);
  if (!parsed || !reader.root_object || !reader.data_object) {
    message = kFeedUnreadableMessage;
    return std::nullopt;
  }
  OptionChain chain;
  chain.symbol = Text(reader.symbol);
  chain.ticker = FeedTicker(chain.symbol);
  const auto spot = Figure(reader.spot);
  if (!spot || !(*spot > 0)) {
    message = kFeedNoPriceMessage;
    return std::nullopt;
  }
  chain.spot = *spot;
  chain.timestamp = Text(reader.timestamp);
  if (const auto t = ReadTimestamp(chain.timestamp)) {
    chain.as_of = *t;
  } else {
    chain.as_of = floor<seconds>(now);
    chain.notes.push_back(kNoTimestampNote);
  }
  // Quotes of another week than the reading's: their times to expiry are
  // theirs, and the user should know how old they are.
  const auto age = floor<seconds>(now) - chain.as_of;
  if (age > days{kStaleDays} || age < -days{1}) {
    const bool after = age < seconds{0};
    chain.notes.push_back(kQuotesOfNote + chain.timestamp + kQuotesOfNote2 +
                          std::to_string(duration_cast<days>(after ? -age : age).count()) +
                          (after ? kQuotesOfNoteAfter : kQuotesOfNote3));
  }
  chain.date = NewYorkDate(chain.as_of);
  const system_clock::time_point as_of{chain.as_of};

  std::map<std::pair<std::string, int>, std::size_t> expiry_of;  // (root, day) -> index
  std::map<std::string, bool> seen;
  std::size_t no_symbol = reader.without_symbol, adjusted = 0, repeated = 0;
  std::string adjusted_roots;
  {
    chain.contracts.reserve(reader.records.size());
    for (const RawRecord& o : reader.records) {
      const Raw* f = o.fields;
      OccSymbol occ;
      const std::string name = o.object ? Text(f[kOption]) : std::string();
      if (name.empty() || !ParseOccSymbol(name, occ)) {
        ++no_symbol;
        continue;
      }
      if (AdjustedRoot(occ.root)) {
        ++adjusted;
        if (adjusted_roots.find(occ.root) == std::string::npos) {
          adjusted_roots += (adjusted_roots.empty() ? "" : ", ") + occ.root;
        }
        continue;
      }
      std::string symbol;
      for (char ch : name) {
        if (ch != ' ' && ch != '\t') {
          symbol += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        }
      }
      if (!seen.emplace(symbol, true).second) {
        ++repeated;
        continue;
      }
      const MaturityToClose m = MaturityOfOption(occ, as_of);
      const int day_number = static_cast<int>(sys_days{m.date}.time_since_epoch().count());
      const auto key = std::make_pair(occ.root, day_number);
      auto found = expiry_of.find(key);
      if (found == expiry_of.end()) {
        ChainExpiry e;
        e.root = occ.root;
        e.date = m.date;
        e.date_text = FormatCivilDate(m.date);
        e.style = StyleOfRoot(occ.root);
        e.days = static_cast<int>((sys_days{m.date} - sys_days{chain.date}).count());
        e.years = m.years;
        e.close = m.close;
        e.close_text = m.CloseText();
        chain.expiries.push_back(std::move(e));
        found = expiry_of.emplace(key, chain.expiries.size() - 1).first;
      }
      ChainContract c;
      c.symbol = std::move(symbol);
      c.root = occ.root;
      c.put = occ.put;
      c.strike = occ.strike;
      c.expiry = found->second;
      bool bad = false;
      c.bid = Figure(f[kBid], &bad);
      c.ask = Figure(f[kAsk], &bad);
      c.quote = QuoteRefusal(c.bid, c.ask, bad);
      if (c.quote == ChainRefusal::kNone) {
        const double mid = *c.bid / 2 + *c.ask / 2;
        if (std::isfinite(mid)) {
          c.mid = mid;
        } else {
          c.quote = ChainRefusal::kUnreadable;
        }
      }
      const auto last = Figure(f[kLastPrice]);
      const std::string traded = Text(f[kLastTime]);
      if (last && *last > 0) {
        c.last = last;
        if (traded.size() >= 10 && ReadCivilDate(traded.substr(0, 10))) {
          c.last_trade_time = traded;
        }
      }
      c.volume = Count(f[kVolume]);
      c.open_interest = Count(f[kOpenInterest]);
      if (const auto iv = Figure(f[kIv]); iv && *iv > 0) {
        c.source.iv = iv;
      }
      c.source.delta = Figure(f[kDelta]);
      c.source.gamma = Figure(f[kGamma]);
      c.source.vega = Figure(f[kVega]);
      c.source.theta = Figure(f[kTheta]);
      c.source.rho = Figure(f[kRho]);
      c.source.theo = Figure(f[kTheo]);
      c.refusal = chain_internal::StandingRefusal(c, chain.expiries[c.expiry]);
      if (c.refusal == ChainRefusal::kNone) {
        c.refusal = ChainRefusal::kNotSolved;
      }
      chain.contracts.push_back(std::move(c));
    }
  }
  if (no_symbol) {
    chain.notes.push_back(std::to_string(no_symbol) + kNoSymbolNote);
  }
  if (adjusted) {
    chain.notes.push_back(std::to_string(adjusted) + kAdjustedNote1 + adjusted_roots +
                          kAdjustedNote2);
  }
  if (repeated) {
    chain.notes.push_back(std::to_string(repeated) + kRepeatedNote);
  }

  // Expiries by their close, then root; strikes ascending.
  std::vector<std::size_t> order(chain.expiries.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    order[i] = i;
  }
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const ChainExpiry& x = chain.expiries[a];
    const ChainExpiry& y = chain.expiries[b];
    return x.close != y.close ? x.close < y.close : x.root < y.root;
  });
  std::vector<std::size_t> new_index(order.size());
  std::vector<ChainExpiry> sorted;
  sorted.reserve(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    new_index[order[i]] = i;
    sorted.push_back(std::move(chain.expiries[order[i]]));
  }
  chain.expiries = std::move(sorted);
  std::vector<std::vector<std::size_t>> members(chain.expiries.size());
  for (std::size_t i = 0; i < chain.contracts.size(); ++i) {
    ChainContract& c = chain.contracts[i];
    c.expiry = new_index[c.expiry];
    members[c.expiry].push_back(i);
  }
  for (std::size_t e = 0; e < chain.expiries.size(); ++e) {
    auto& list = members[e];
    std::sort(list.begin(), list.end(), [&](std::size_t a, std::size_t b) {
      return chain.contracts[a].strike < chain.contracts[b].strike;
    });
    auto& strikes = chain.expiries[e].strikes;
    for (std::size_t i : list) {
      const ChainContract& c = chain.contracts[i];
      if (strikes.empty() || strikes.back().strike != c.strike) {
        strikes.push_back({c.strike, {}, {}});
      }
      (c.put ? strikes.back().put : strikes.back().call) = i;
    }
  }
  return chain;
}

}  // namespace stratlyn
