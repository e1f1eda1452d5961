#include "chain/option_chain.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>
#include <utility>

#include "chain/contract_solver.h"
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

// Strikes of an expiry that put-call parity reads for its dividend yield.
constexpr std::size_t kParityStrikes = 3;
// Least time to its close of an expiry whose yield another expiry may take.
constexpr double kLeastLendingYears = 2.0 / 365.0;
// Contracts a thread takes at a time; progress is told after each such block.
constexpr std::size_t kBlock = 32;
constexpr unsigned kMostThreads = 16;

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
constexpr int kStaleDays = 7;
constexpr const char* kParityNote = "implied by put-call parity on strike";
constexpr const char* kBorrowedNote1 = "of the ";
constexpr const char* kBorrowedNote2 = " expiry (no two-sided pair of its own)";

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
    if (key == name) return field;
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
  std::vector<RawRecord> records;

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
      records.emplace_back();
      records.back().object = object;
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
    if (depth == 1) in_data_ = false;
    if (depth == 2) in_options_ = false;
    if (depth == 3) in_record_ = false;
    return true;
  }
  void Set(Raw v) {
    if (field_ != kIgnored) records.back().fields[field_] = std::move(v);
  }
  bool Scalar(Raw v) {
    const std::size_t depth = stack_.size();
    if (depth == 1 && root_object) {
      if (keys_[1] == "timestamp") timestamp = std::move(v);
      if (keys_[1] == "data") data_object = false;
    } else if (depth == 2 && in_data_) {
      if (keys_[2] == "symbol") symbol = std::move(v);
      if (keys_[2] == "current_price") spot = std::move(v);
    } else if (depth == 3 && in_options_) {
      records.emplace_back();  // a scalar where a record belongs
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
      if (std::isfinite(v.number)) return v.number;
      break;
    case Raw::kText: {
      if (const auto f = ReadFetchedFigure(v.text)) return f;
      if (v.text.find_first_not_of(" \t") == std::string::npos) return std::nullopt;
      break;
    }
    case Raw::kOther:
      break;
  }
  if (bad) *bad = true;
  return std::nullopt;
}

// A figure that cannot be negative (sizes, open interest): absent when it is.
std::optional<double> Count(const Raw& v) {
  const auto f = Figure(v);
  if (f && *f >= 0) return f;
  return std::nullopt;
}

std::string Text(const Raw& v) { return v.kind == Raw::kText ? v.text : std::string(); }

// "2026-12-07 16:15:02" (New York) as an instant.
// Only that form: a zone after it ("...Z", "+00:00") would make it another
// clock, so the text is then no timestamp of the file's.
std::optional<sys_seconds> ReadTimestamp(const std::string& text) {
  if (text.size() != 16 && text.size() != 19) return std::nullopt;
  const auto date = ReadCivilDate(text.substr(0, 10));
  if (!date || (text[10] != ' ' && text[10] != 'T')) return std::nullopt;
  const auto two = [&](size_t at) -> int {
    if (at + 2 > text.size() || !std::isdigit(static_cast<unsigned char>(text[at])) ||
        !std::isdigit(static_cast<unsigned char>(text[at + 1]))) {
      return -1;
    }
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
  };
  const int h = two(11), m = text[13] == ':' ? two(14) : -1;
  const int s = text.size() >= 19 && text[16] == ':' ? two(17) : 0;
  if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return std::nullopt;
  return NewYorkTime(*date, h * 60 + m) + seconds{s};
}

// The reason the quote alone gives, or kNone for a two-sided one.
ChainRefusal QuoteRefusal(std::optional<double> bid, std::optional<double> ask, bool bad) {
  if (bad || (bid && *bid < 0) || (ask && *ask < 0)) return ChainRefusal::kUnreadable;
  const bool has_bid = bid && *bid > 0, has_ask = ask && *ask > 0;
  if (!has_bid && !has_ask) return ChainRefusal::kNoQuote;
  if (!has_bid || !has_ask) return ChainRefusal::kOneSided;
  if (*bid > *ask) return ChainRefusal::kCrossed;
  return ChainRefusal::kNone;
}

// An adjusted root (after a split or a merger) ends in a digit: AAPL1.
bool AdjustedRoot(const std::string& root) {
  return !root.empty() && std::isdigit(static_cast<unsigned char>(root.back())) && root != "VIX9D";
}

std::string StrikeText(double k) {
  std::string s = FormatNumber(k, "0.###");
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

// The refusal a contract has before any solving: its strike, its expiry or
// its quote.
ChainRefusal StandingRefusal(const ChainContract& c, const ChainExpiry& e) {
  if (!(c.strike > 0)) return ChainRefusal::kNoStrike;
  if (!(e.years > 0)) return ChainRefusal::kExpired;
  return c.quote;
}

void SetDividends(OptionChain& chain, const RateAt& rate_at) {
  for (ChainExpiry& e : chain.expiries) {
    e.rate.reset();
    e.dividend.reset();
    e.dividend_note.clear();
    if (!(e.years > 0)) continue;
    double r = std::numeric_limits<double>::quiet_NaN();
    try {
      if (rate_at) r = rate_at(e.years);
    } catch (...) {
    }
    if (!std::isfinite(r)) continue;
    e.rate = r;
    std::vector<std::pair<double, ParityPair>> near;  // |K - S|, pair
    for (const ChainStrike& s : e.strikes) {
      if (!s.call || !s.put) continue;
      const auto& call = chain.contracts[*s.call].mid;
      const auto& put = chain.contracts[*s.put].mid;
      if (!call || !put || !(s.strike > 0)) continue;
      near.push_back({std::fabs(s.strike - chain.spot), ParityPair{s.strike, *call, *put}});
    }
    std::sort(near.begin(), near.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    if (near.size() > kParityStrikes) near.resize(kParityStrikes);
    std::vector<ParityPair> pairs;
    for (const auto& [gap, p] : near) pairs.push_back(p);
    std::sort(pairs.begin(), pairs.end(),
              [](const ParityPair& a, const ParityPair& b) { return a.strike < b.strike; });
    if (const auto q = ParityDividendYield(chain.spot, r, e.years, pairs)) {
      e.dividend = q;
      std::string ks;
      for (const ParityPair& p : pairs) ks += (ks.empty() ? "" : ", ") + StrikeText(p.strike);
      e.dividend_note = std::string(kParityNote) + (pairs.size() > 1 ? "s " : " ") + ks;
    }
  }
  // An expiry without a pair of its own takes the yield of the expiry
  // nearest it in time that has one (at least two days out), and says so.
  for (ChainExpiry& e : chain.expiries) {
    if (e.dividend || !e.rate) continue;
    const ChainExpiry* nearest = nullptr;
    for (const ChainExpiry& other : chain.expiries) {
      // Within two days of its close a yield is ln(F / S) over almost no
      // time: its own contracts need that forward, no other expiry does.
      if (!other.dividend || !other.dividend_note.starts_with(kParityNote) ||
          other.years < kLeastLendingYears) {
        continue;
      }
      if (!nearest || std::fabs(other.years - e.years) < std::fabs(nearest->years - e.years)) {
        nearest = &other;
      }
    }
    if (!nearest) continue;
    e.dividend = nearest->dividend;
    e.dividend_note = kBorrowedNote1 + nearest->date_text + " " + nearest->root + kBorrowedNote2;
  }
}

void SolveOne(OptionChain& chain, ChainContract& c) {
  const ChainExpiry& e = chain.expiries[c.expiry];
  ContractTerms terms;
  terms.put = c.put;
  terms.style = e.style;
  terms.spot = chain.spot;
  terms.strike = c.strike;
  terms.years = e.years;
  terms.rate = *e.rate;
  terms.yield = *e.dividend;
  try {
    const ContractSolution s = SolveContract(terms, *c.mid);
    c.iv = s.iv;
    c.at_iv = s.figures;
    c.refusal = s.iv && s.figures
                    ? ChainRefusal::kNone
                    : (s.refusal == ChainRefusal::kNone ? ChainRefusal::kNoSolution : s.refusal);
    if (c.refusal != ChainRefusal::kNone) {
      c.iv.reset();
      c.at_iv.reset();
    }
  } catch (...) {
    c.iv.reset();
    c.at_iv.reset();
    c.refusal = ChainRefusal::kNoSolution;
  }
}

}  // namespace

const char* ChainRefusalText(ChainRefusal refusal) {
  switch (refusal) {
    case ChainRefusal::kNone:
      return "";
    case ChainRefusal::kNotSolved:
      return "not solved";
    case ChainRefusal::kNoQuote:
      return "no quote";
    case ChainRefusal::kOneSided:
      return "one-sided";
    case ChainRefusal::kCrossed:
      return "crossed";
    case ChainRefusal::kUnreadable:
      return "unreadable quote";
    case ChainRefusal::kNoStrike:
      return "no strike";
    case ChainRefusal::kExpired:
      return "expired";
    case ChainRefusal::kNoRate:
      return "no rate";
    case ChainRefusal::kNoDividend:
      return "no dividend yield";
    case ChainRefusal::kBelowIntrinsic:
      return "below intrinsic";
    case ChainRefusal::kAtIntrinsic:
      return "at intrinsic";
    case ChainRefusal::kAboveBound:
      return "above bound";
    case ChainRefusal::kNoSolution:
      return "no solution";
  }
  return "no solution";
}

ExerciseStyle StyleOfRoot(const std::string& root) {
  for (const char* r : kEuropeanRoots) {
    if (root == r) return ExerciseStyle::kEuropean;
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
    chain.notes.push_back(kQuotesOfNote + chain.timestamp + kQuotesOfNote2 +
                          std::to_string(duration_cast<days>(age).count()) + kQuotesOfNote3);
  }
  chain.date = NewYorkDate(chain.as_of);
  const system_clock::time_point as_of{chain.as_of};

  std::map<std::pair<std::string, int>, std::size_t> expiry_of;  // (root, day) -> index
  std::map<std::string, bool> seen;
  std::size_t no_symbol = 0, adjusted = 0, repeated = 0;
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
        if (ch != ' ' && ch != '\t')
          symbol += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
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
        if (traded.size() >= 10 && ReadCivilDate(traded.substr(0, 10))) c.last_trade_time = traded;
      }
      c.volume = Count(f[kVolume]);
      c.open_interest = Count(f[kOpenInterest]);
      if (const auto iv = Figure(f[kIv]); iv && *iv > 0) c.source.iv = iv;
      c.source.delta = Figure(f[kDelta]);
      c.source.gamma = Figure(f[kGamma]);
      c.source.vega = Figure(f[kVega]);
      c.source.theta = Figure(f[kTheta]);
      c.source.rho = Figure(f[kRho]);
      c.source.theo = Figure(f[kTheo]);
      c.refusal = StandingRefusal(c, chain.expiries[c.expiry]);
      if (c.refusal == ChainRefusal::kNone) c.refusal = ChainRefusal::kNotSolved;
      chain.contracts.push_back(std::move(c));
    }
  }
  if (no_symbol) chain.notes.push_back(std::to_string(no_symbol) + kNoSymbolNote);
  if (adjusted) {
    chain.notes.push_back(std::to_string(adjusted) + kAdjustedNote1 + adjusted_roots +
                          kAdjustedNote2);
  }
  if (repeated) chain.notes.push_back(std::to_string(repeated) + kRepeatedNote);

  // Expiries by their close, then root; strikes ascending.
  std::vector<std::size_t> order(chain.expiries.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
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
      if (strikes.empty() || strikes.back().strike != c.strike)
        strikes.push_back({c.strike, {}, {}});
      (c.put ? strikes.back().put : strikes.back().call) = i;
    }
  }
  return chain;
}

bool SolveOptionChain(OptionChain& chain, const RateAt& rate_at, const ChainProgress& progress,
                      unsigned threads) {
  SetDividends(chain, rate_at);
  std::vector<std::size_t> work;
  for (std::size_t i = 0; i < chain.contracts.size(); ++i) {
    ChainContract& c = chain.contracts[i];
    c.iv.reset();
    c.at_iv.reset();
    const ChainExpiry& e = chain.expiries[c.expiry];
    c.refusal = StandingRefusal(c, e);
    if (c.refusal != ChainRefusal::kNone) continue;
    if (!e.rate) {
      c.refusal = ChainRefusal::kNoRate;
    } else if (!e.dividend) {
      c.refusal = ChainRefusal::kNoDividend;
    } else {
      c.refusal = ChainRefusal::kNotSolved;
      work.push_back(i);
    }
  }
  const std::size_t total = chain.contracts.size();
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{total - work.size()};
  std::atomic<bool> stop{false};
  const auto run_block = [&]() -> bool {
    if (stop.load(std::memory_order_relaxed)) return false;
    const std::size_t from = next.fetch_add(kBlock);
    if (from >= work.size()) return false;
    const std::size_t to = std::min(from + kBlock, work.size());
    for (std::size_t w = from; w < to; ++w) SolveOne(chain, chain.contracts[work[w]]);
    done.fetch_add(to - from);
    return true;
  };
  unsigned n = threads ? threads : std::max(1u, std::thread::hardware_concurrency());
  n = std::min<unsigned>(n, kMostThreads);
  n = static_cast<unsigned>(std::min<std::size_t>(n, work.size() / kBlock + 1));
  std::vector<std::thread> workers;
  for (unsigned t = 1; t < n; ++t) {
    workers.emplace_back([&] {
      while (run_block()) {
      }
    });
  }
  while (run_block()) {
    if (progress && !progress(done.load(), total)) stop = true;
  }
  for (std::thread& t : workers) t.join();
  if (progress) progress(done.load(), total);
  return !stop.load();
}

std::vector<std::size_t> StrikesAroundMoney(const ChainExpiry& expiry, double spot, std::size_t n) {
  std::vector<std::size_t> all(expiry.strikes.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
  if (n == 0 || n >= all.size()) return all;
  std::stable_sort(all.begin(), all.end(), [&](std::size_t a, std::size_t b) {
    return std::fabs(expiry.strikes[a].strike - spot) < std::fabs(expiry.strikes[b].strike - spot);
  });
  all.resize(n);
  std::sort(all.begin(), all.end());
  return all;
}

std::optional<std::size_t> NearestStrike(const ChainExpiry& expiry, double spot) {
  std::optional<std::size_t> best;
  for (std::size_t i = 0; i < expiry.strikes.size(); ++i) {
    if (!best || std::fabs(expiry.strikes[i].strike - spot) <
                     std::fabs(expiry.strikes[*best].strike - spot)) {
      best = i;
    }
  }
  return best;
}

std::vector<SmilePoint> ExpirySmile(const OptionChain& chain, std::size_t expiry) {
  std::vector<SmilePoint> out;
  if (expiry >= chain.expiries.size()) return out;
  for (const ChainStrike& s : chain.expiries[expiry].strikes) {
    SmilePoint p;
    p.strike = s.strike;
    p.moneyness = s.strike / chain.spot;
    if (s.call) {
      p.call_iv = chain.contracts[*s.call].iv;
      p.call_source_iv = chain.contracts[*s.call].source.iv;
    }
    if (s.put) {
      p.put_iv = chain.contracts[*s.put].iv;
      p.put_source_iv = chain.contracts[*s.put].source.iv;
    }
    out.push_back(p);
  }
  return out;
}

}  // namespace stratlyn
