// The chain panel's texts without a window: cells with their figures or
// their reasons, sort keys, expiry captions, and the terms a contract hands
// on (or why it cannot).

#include "chain/chain_columns.h"

#include <gtest/gtest.h>

#include <limits>

namespace stratlyn {
namespace {

// Two expiries of one root; the first with a solved call and a one-sided
// put at strike 100, the second closed.
OptionChain SmallChain() {
  OptionChain chain;
  chain.ticker = "XYZ";
  chain.symbol = "XYZ";
  chain.spot = 101.25;
  ChainExpiry open;
  open.root = "XYZ";
  open.date_text = "2026-12-18";
  open.days = 11;
  open.years = 0.0301;
  open.style = ExerciseStyle::kAmerican;
  open.rate = 0.0412;
  open.dividend = 0.0055;
  open.close_text = "16:00 New York on 2026-12-18";
  open.strikes = {ChainStrike{100, 0, 1}};
  ChainExpiry closed = open;
  closed.date_text = "2026-12-07";
  closed.days = 0;
  closed.years = -0.001;
  closed.strikes = {ChainStrike{100, 2, std::nullopt}};
  chain.expiries = {open, closed};

  ChainContract call;
  call.symbol = "XYZ261218C00100000";
  call.strike = 100;
  call.bid = 2.5;
  call.ask = 2.7;
  call.mid = 2.6;
  call.last = 2.55;
  call.last_trade_time = "2026-12-07T15:59:12";
  call.volume = 120;
  call.iv = 0.23456;
  call.at_iv = OwnFigures{2.6, 0.5512, 0.0712, 11.25, -21.5, 1.4};
  call.refusal = ChainRefusal::kNone;
  call.source.iv = 0.2301;
  ChainContract put;
  put.symbol = "XYZ261218P00100000";
  put.put = true;
  put.strike = 100;
  put.ask = 0.95;
  put.refusal = ChainRefusal::kOneSided;
  ChainContract gone = call;
  gone.symbol = "XYZ261207C00100000";
  gone.expiry = 1;
  gone.refusal = ChainRefusal::kExpired;
  gone.iv.reset();
  gone.at_iv.reset();
  chain.contracts = {call, put, gone};
  return chain;
}

TEST(ChainColumns, FiguresReasonsAndBlanks) {
  const OptionChain chain = SmallChain();
  const ChainContract& call = chain.contracts[0];
  const ChainContract& put = chain.contracts[1];
  EXPECT_EQ(ChainCellText(call, ChainColumn::kBid, '.'), "2.50");
  EXPECT_EQ(ChainCellText(call, ChainColumn::kIv, '.'), "23.46");  // per cent
  EXPECT_EQ(ChainCellText(call, ChainColumn::kIv, ','), "23,46");
  EXPECT_EQ(ChainCellText(call, ChainColumn::kSourceIv, '.'), "23.01");
  EXPECT_EQ(ChainCellText(call, ChainColumn::kDelta, '.'), "0.5512");
  EXPECT_EQ(ChainCellText(call, ChainColumn::kLastTime, '.'), "2026-12-07 15:59");
  EXPECT_EQ(ChainCellText(call, ChainColumn::kVolume, '.'), "120");
  EXPECT_FALSE(ChainCellIsReason(call, ChainColumn::kIv));
  // The one-sided put: no bid is a blank, its volatility and the figures at
  // it give the reason, never a number.
  EXPECT_EQ(ChainCellText(put, ChainColumn::kBid, '.'), "");
  EXPECT_EQ(ChainCellText(put, ChainColumn::kAsk, '.'), "0.95");
  EXPECT_EQ(ChainCellText(put, ChainColumn::kMid, '.'), "");
  EXPECT_EQ(ChainCellText(put, ChainColumn::kVolume, '.'), "");
  for (ChainColumn c : {ChainColumn::kIv, ChainColumn::kValue, ChainColumn::kDelta,
                        ChainColumn::kGamma, ChainColumn::kVega, ChainColumn::kTheta}) {
    EXPECT_EQ(ChainCellText(put, c, '.'), ChainRefusalText(ChainRefusal::kOneSided));
    EXPECT_TRUE(ChainCellIsReason(put, c));
    EXPECT_FALSE(ChainSortKey(put, c).has_value());
  }
  EXPECT_FALSE(ChainSortKey(put, ChainColumn::kBid).has_value());
  EXPECT_DOUBLE_EQ(*ChainSortKey(call, ChainColumn::kIv), 0.23456);
  EXPECT_DOUBLE_EQ(*ChainSortKey(call, ChainColumn::kTheta), -21.5);
  // A figure that is no number never reaches the table as "NaN" or "inf".
  ChainContract odd = call;
  odd.at_iv->gamma = std::numeric_limits<double>::quiet_NaN();
  odd.bid = std::numeric_limits<double>::infinity();
  EXPECT_EQ(ChainCellText(odd, ChainColumn::kGamma, '.'), "");
  EXPECT_EQ(ChainCellText(odd, ChainColumn::kBid, '.'), "");
  EXPECT_FALSE(ChainSortKey(odd, ChainColumn::kGamma).has_value());
  EXPECT_FALSE(ChainSortKey(odd, ChainColumn::kBid).has_value());
  // Every column has a caption, once.
  for (std::size_t i = 0; i < kChainColumns.size(); ++i) {
    EXPECT_EQ(static_cast<std::size_t>(kChainColumns[i].column), i);
    for (std::size_t j = i + 1; j < kChainColumns.size(); ++j) {
      EXPECT_STRNE(kChainColumns[i].caption, kChainColumns[j].caption);
    }
  }
}

TEST(ChainColumns, StrikesAndExpiryCaptions) {
  EXPECT_EQ(StrikeText(170, '.'), "170");
  EXPECT_EQ(StrikeText(187.5, '.'), "187.5");
  EXPECT_EQ(StrikeText(187.5, ','), "187,5");
  EXPECT_EQ(StrikeText(0.125, '.'), "0.125");
  OptionChain chain = SmallChain();
  EXPECT_EQ(ExpiryCaption(chain, chain.expiries[0]), "2026-12-18  11 d");
  EXPECT_EQ(ExpiryCaption(chain, chain.expiries[1]), "2026-12-07  0 d closed");
  chain.expiries[1].root = "XYZW";  // two roots: each caption names its own
  EXPECT_EQ(ExpiryCaption(chain, chain.expiries[0]), "2026-12-18  XYZ  11 d");
}

TEST(ChainColumns, TermsOfAContractOrWhyNot) {
  OptionChain chain = SmallChain();
  std::string message;
  const auto terms = TermsOfContract(chain, 0, message);
  ASSERT_TRUE(terms) << message;
  EXPECT_EQ(terms->symbol, "XYZ261218C00100000");
  EXPECT_FALSE(terms->put);
  EXPECT_TRUE(terms->american);
  EXPECT_DOUBLE_EQ(terms->spot, 101.25);
  EXPECT_DOUBLE_EQ(terms->strike, 100);
  EXPECT_DOUBLE_EQ(terms->years, 0.0301);
  EXPECT_DOUBLE_EQ(terms->rate, 0.0412);
  EXPECT_DOUBLE_EQ(terms->yield, 0.0055);
  EXPECT_DOUBLE_EQ(terms->mid, 2.6);
  ASSERT_TRUE(terms->iv);
  EXPECT_DOUBLE_EQ(*terms->iv, 0.23456);

  // No mid: refused, naming the contract and its reason.
  EXPECT_FALSE(TermsOfContract(chain, 1, message));
  EXPECT_NE(message.find("XYZ261218P00100000"), std::string::npos);
  EXPECT_NE(message.find(ChainRefusalText(ChainRefusal::kOneSided)), std::string::npos);
  // A closed expiry, and one without a rate or a dividend yield.
  EXPECT_FALSE(TermsOfContract(chain, 2, message));
  EXPECT_NE(message.find(kChainExpiredMessage), std::string::npos);
  chain.expiries[0].dividend.reset();
  EXPECT_FALSE(TermsOfContract(chain, 0, message));
  EXPECT_NE(message.find(kChainNoYieldMessage), std::string::npos);
  chain.expiries[0].rate.reset();
  EXPECT_FALSE(TermsOfContract(chain, 0, message));
  EXPECT_NE(message.find(kChainNoRateMessage), std::string::npos);
  EXPECT_FALSE(TermsOfContract(chain, 99, message));
}

}  // namespace
}  // namespace stratlyn
