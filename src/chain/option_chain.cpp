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

// Strikes of an expiry that put-call parity reads for its dividend yield.
constexpr std::size_t kParityStrikes = 3;
// How far from the underlying's price an American expiry's parity strikes
// may lie: deep in the money a put's early exercise is worth up to its
// strike's interest, which parity would read as a dividend (strikes 1 and
// 500 about a price of 100 made a yield of 6.3 % out of one of 0.8 %).
constexpr double kAmericanParityBand = 0.2;
// Least time to its close of an expiry whose yield another expiry may take.
constexpr double kLeastLendingYears = 2.0 / 365.0;
// Contracts a thread takes at a time; progress is told after each such block.
constexpr std::size_t kBlock = 32;
constexpr unsigned kMostThreads = 16;

constexpr const char* kParityNote = "implied by put-call parity on strike";
constexpr const char* kBorrowedNote1 = "of the ";
constexpr const char* kBorrowedNote2 = " expiry (no two-sided pair of its own)";

std::string StrikeText(double k) {
  std::string s = FormatNumber(k, "0.###");
  if (!s.empty() && s.back() == '.') {
    s.pop_back();
  }
  return s;
}

void SetDividends(OptionChain& chain, const RateAt& rate_at) {
  for (ChainExpiry& e : chain.expiries) {
    e.rate.reset();
    e.dividend.reset();
    e.dividend_note.clear();
    if (!(e.years > 0)) {
      continue;
    }
    double r = std::numeric_limits<double>::quiet_NaN();
    try {
      if (rate_at) {
        r = rate_at(e.years);
      }
    } catch (...) {
    }
    if (!std::isfinite(r)) {
      continue;
    }
    e.rate = r;
    std::vector<std::pair<double, ParityPair>> near;  // |K - S|, pair
    for (const ChainStrike& s : e.strikes) {
      if (!s.call || !s.put) {
        continue;
      }
      const auto& call = chain.contracts[*s.call].mid;
      const auto& put = chain.contracts[*s.put].mid;
      if (!call || !put || !(s.strike > 0)) {
        continue;
      }
      // No call is worth the underlying itself, no put more than its strike
      // (at a negative rate its strike grown to the expiry): such a quote
      // says nothing of the forward, and one of them would carry the
      // expiry's yield anywhere.
      if (e.style == ExerciseStyle::kAmerican &&
          std::fabs(s.strike / chain.spot - 1) > kAmericanParityBand) {
        continue;
      }
      const double most_put = s.strike * std::max(1.0, std::exp(-r * e.years));
      if (!(*call < chain.spot) || !(*put < most_put)) {
        continue;
      }
      near.push_back({std::fabs(s.strike - chain.spot), ParityPair{s.strike, *call, *put}});
    }
    std::sort(near.begin(), near.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    if (near.size() > kParityStrikes) {
      near.resize(kParityStrikes);
    }
    std::vector<ParityPair> pairs;
    pairs.reserve(near.size());
    for (const auto& [gap, p] : near) {
      pairs.push_back(p);
    }
    std::sort(pairs.begin(), pairs.end(),
              [](const ParityPair& a, const ParityPair& b) { return a.strike < b.strike; });
    if (const auto q = ParityDividendYield(chain.spot, r, e.years, pairs)) {
      e.dividend = q;
      std::string ks;
      for (const ParityPair& p : pairs) {
        ks += (ks.empty() ? "" : ", ") + StrikeText(p.strike);
      }
      e.dividend_note = std::string(kParityNote) + (pairs.size() > 1 ? "s " : " ") + ks;
    }
  }
  // An expiry without a pair of its own takes the yield of the expiry
  // nearest it in time that has one (at least two days out), and says so.
  for (ChainExpiry& e : chain.expiries) {
    if (e.dividend || !e.rate) {
      continue;
    }
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
    if (!nearest) {
      continue;
    }
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

bool SolveOptionChain(OptionChain& chain, const RateAt& rate_at, const ChainProgress& progress,
                      unsigned threads) {
  SetDividends(chain, rate_at);
  std::vector<std::size_t> work;
  for (std::size_t i = 0; i < chain.contracts.size(); ++i) {
    ChainContract& c = chain.contracts[i];
    c.iv.reset();
    c.at_iv.reset();
    const ChainExpiry& e = chain.expiries[c.expiry];
    c.refusal = chain_internal::StandingRefusal(c, e);
    if (c.refusal != ChainRefusal::kNone) {
      continue;
    }
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
    if (stop.load(std::memory_order_relaxed)) {
      return false;
    }
    const std::size_t from = next.fetch_add(kBlock);
    if (from >= work.size()) {
      return false;
    }
    const std::size_t to = std::min(from + kBlock, work.size());
    for (std::size_t w = from; w < to; ++w) {
      SolveOne(chain, chain.contracts[work[w]]);
    }
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
    if (progress && !progress(done.load(), total)) {
      stop = true;
    }
  }
  for (std::thread& t : workers) {
    t.join();
  }
  if (progress) {
    progress(done.load(), total);
  }
  return !stop.load();
}

std::vector<std::size_t> StrikesAroundMoney(const ChainExpiry& expiry, double spot, std::size_t n) {
  std::vector<std::size_t> all(expiry.strikes.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    all[i] = i;
  }
  if (n == 0 || n >= all.size()) {
    return all;
  }
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
  if (expiry >= chain.expiries.size()) {
    return out;
  }
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
