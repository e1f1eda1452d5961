#include "strategy/strategy_panel.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "strategy/leg_text.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/grid.h"
#include "util/grid_clipboard.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

namespace {

// Figures are written as the user's locale writes numbers, as the calculator
// panel writes its own.
std::string Money(double v) { return FormatEntryNumber(v, kValueFormat); }

std::string Bound(const std::optional<double>& v) { return v ? Money(*v) : "unlimited"; }
std::string ProfitText(const std::optional<double>& v) {
  return NoGain(v) ? kNoneCaption : Bound(v);
}
std::string LossText(const std::optional<double>& v) { return NoLoss(v) ? kNoneCaption : Bound(v); }

std::string Evens(const CurveSummary& s) {
  std::string text;
  for (const double b : s.break_evens) {
    text += (text.empty() ? "" : "  ") + FormatEntryNumber(b, BreakEvenPattern(b));
  }
  return text.empty() ? std::string("none") : text;
}

std::string Percent(double p) { return FormatEntryNumber(100 * p, "0.00") + " %"; }

}  // namespace

bool TellInputError(const std::exception& e) {
  if (dynamic_cast<const StrategyInputError*>(&e) == nullptr) {
    return false;
  }
  AppDialogs().Critical(e.what());
  return true;
}

StrategyPanel::StrategyPanel(Grid& legs) : legs_(legs) {
  legs_.SetRedraw(false);
  legs_.SetCols(kLegColumns + 1);
  legs_.SetRows(2);
  legs_.SetFixedRows(1);
  legs_.SetFixedCols(1);
  for (int c = 0; c < kLegColumns; ++c) {
    legs_.SetTextMatrix(0, c + 1, kLegColumnCaptions[c]);
  }
  NumberRows();
  legs_.SetRedraw(true);
}

StrategyPanel::~StrategyPanel() = default;

void StrategyPanel::SetParameters(const OptionTerms& option) { option_ = option; }

Market StrategyPanel::MarketOf() const {
  return Market{option_.spot, option_.rate, option_.yield, option_.vol};
}

void StrategyPanel::NumberRows() {
  for (int r = legs_.FixedRows(); r < legs_.Rows(); ++r) {
    legs_.SetTextMatrix(r, 0, std::to_string(r - legs_.FixedRows() + 1));
  }
}

void StrategyPanel::AddLeg() {
  AddLeg(Leg{1, option_.put ? LegKind::kPut : LegKind::kCall, option_.strike, option_.maturity,
             false, std::nullopt},
         false);
}

void StrategyPanel::AddLeg(const Leg& leg, bool replace) {
  EndEdit();
  if (replace) {
    legs_.SetRedraw(false);
    LegsToGrid({leg}, legs_);
    NumberRows();
    legs_.SetRedraw(true);
    legs_.SetRow(legs_.FixedRows());
    legs_.SetCol(1);
    return;
  }
  Grid row(2, kLegColumns + 1);
  LegsToGrid({leg}, row);
  std::string text;
  for (int c = 0; c <= kLegColumns; ++c) {
    text += (c ? "\t" : "") + row.TextMatrix(1, c);
  }
  // A blank last row is taken rather than a new one added.
  int target = legs_.Rows() - 1;
  bool blank = target >= legs_.FixedRows();
  for (int c = 1; blank && c <= kLegColumns; ++c) {
    blank = legs_.TextMatrix(target, c).empty();
  }
  legs_.SetRedraw(false);
  if (!blank) {
    legs_.AddItem(text);
    target = legs_.Rows() - 1;
  }
  for (int c = 1; c <= kLegColumns; ++c) {
    legs_.SetTextMatrix(target, c, row.TextMatrix(1, c));
  }
  NumberRows();
  legs_.SetRedraw(true);
  legs_.SetRow(target);
  legs_.SetCol(1);
}

void StrategyPanel::RemoveLeg() {
  EndEdit();
  const int first = std::max(legs_.FixedRows(), std::min(legs_.Row(), legs_.RowSel()));
  const int last = std::max(legs_.Row(), legs_.RowSel());
  legs_.SetRedraw(false);
  for (int r = last; r >= first; --r) {
    if (legs_.Rows() - legs_.FixedRows() > 1) {
      legs_.RemoveItem(r);
    } else {
      for (int c = 1; c <= kLegColumns; ++c) {
        legs_.SetTextMatrix(r, c, "");
      }
    }
  }
  NumberRows();
  legs_.SetRedraw(true);
  legs_.SetRow(std::min(first, legs_.Rows() - 1));
}

void StrategyPanel::ApplyTemplate(StrategyTemplate t, double width, bool american) {
  EndEdit();
  const Position legs = TemplateLegs(t, option_.strike, option_.maturity, width, american);
  legs_.SetRedraw(false);
  LegsToGrid(legs, legs_);
  NumberRows();
  legs_.SetRedraw(true);
  legs_.SetRow(legs_.FixedRows());
  legs_.SetCol(1);
}

void StrategyPanel::KeyPress(int key_ascii) {
  if (key_ascii == 3) {
    CopyGridToClipboard(legs_);
    return;
  }
  if (key_ascii == 22) {
    EndEdit();
    // Room for every pasted row below the current cell, then the grid's
    // own paste fills the selection.
    std::string text = AppClipboard().Text();
    NormalizeRowEnds(text);
    int rows = 1, cols = 1, in_row = 1;
    for (const char ch : text) {
      if (ch == '\r') {
        ++rows;
        in_row = 1;
      } else if (ch == '\t') {
        cols = std::max(cols, ++in_row);
      }
    }
    // A last row end adds no row.
    for (auto it = text.rbegin(); it != text.rend() && (*it == ' ' || *it == '\r'); ++it) {
      if (*it == '\r') {
        --rows;
      }
    }
    rows = std::max(rows, 1);
    const int top = std::max(legs_.Row(), legs_.FixedRows());
    const int left = std::max(legs_.Col(), legs_.FixedCols());
    legs_.SetRedraw(false);
    if (top + rows > legs_.Rows()) {
      legs_.SetRows(top + rows);
    }
    NumberRows();
    legs_.SetRedraw(true);
    legs_.SetRow(top);
    legs_.SetCol(left);
    legs_.SetRowSel(top + rows - 1);
    legs_.SetColSel(std::min(legs_.Cols() - 1, left + cols - 1));
    PasteClipboardToGrid(legs_);
    return;
  }
  if (legs_.Row() < legs_.FixedRows() || legs_.Col() < legs_.FixedCols()) {
    return;
  }
  const bool editing = edit_row_ == legs_.Row() && edit_col_ == legs_.Col();
  std::string text = legs_.Text();
  if (key_ascii == 8) {
    if (!text.empty()) {
      text.pop_back();
    }
  } else if (key_ascii >= 32 && key_ascii != 127) {
    if (!editing) {
      text.clear();  // typing over a cell replaces what it held
    }
    text += static_cast<char>(key_ascii);
  } else {
    return;
  }
  edit_row_ = legs_.Row();
  edit_col_ = legs_.Col();
  legs_.SetText(text);
}

void StrategyPanel::BeginEdit() {
  if (legs_.Row() < legs_.FixedRows() || legs_.Col() < legs_.FixedCols()) {
    return;
  }
  edit_row_ = legs_.Row();
  edit_col_ = legs_.Col();
}

bool StrategyPanel::EndEdit() {
  const bool was = edit_row_ >= 0;
  edit_row_ = edit_col_ = -1;
  return was;
}

void StrategyPanel::ClearCells() {
  EndEdit();
  const int r0 = std::max(legs_.FixedRows(), std::min(legs_.Row(), legs_.RowSel()));
  const int c0 = std::max(legs_.FixedCols(), std::min(legs_.Col(), legs_.ColSel()));
  const int r1 = std::max(legs_.Row(), legs_.RowSel());
  const int c1 = std::max(legs_.Col(), legs_.ColSel());
  legs_.SetRedraw(false);
  for (int r = r0; r <= r1; ++r) {
    for (int c = c0; c <= c1; ++c) {
      legs_.SetTextMatrix(r, c, "");
    }
  }
  legs_.SetRedraw(true);
}

std::optional<double> StrategyPanel::Horizon(const std::string& start) const {
  try {
    const Position legs = LegsFromGrid(legs_, start);
    if (!CheckPosition(legs, MarketOf()).empty()) {
      return std::nullopt;
    }
    double h = 0;
    bool any = false;
    for (const Leg& leg : legs) {
      if (leg.kind != LegKind::kUnderlying) {
        h = any ? std::min(h, leg.maturity) : leg.maturity;
        any = true;
      }
    }
    return any ? std::optional<double>(h) : std::nullopt;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<StrategyFigures> StrategyPanel::Compute(const std::string& start, double years) {
  last_.reset();
  std::optional<StrategyFigures> figures;
  RunCommand(
      [&] {
        auto pricer = std::make_unique<PositionPricer>(LegsFromGrid(legs_, start), MarketOf());
        pricer->CheckDate(years);
        StrategyFigures f;
        f.net_premium = pricer->NetPremium();
        f.horizon = pricer->Horizon();
        f.at_expiry = pricer->Summarise(f.horizon);
        f.at_date = pricer->Summarise(years);
        f.greeks = pricer->Greeks();
        const auto [low, high] = pricer->PlotRange(f.at_expiry, f.at_date);
        f.curve = pricer->Curve(kCurvePoints, low, high, years);
        last_ = std::move(pricer);
        last_years_ = years;
        figures = std::move(f);
      },
      [] {}, TellInputError);
  return figures;
}

std::optional<std::pair<double, double>> StrategyPanel::ProfitsAt(double spot) {
  if (!last_ || !(spot >= 0)) {
    return std::nullopt;
  }
  try {
    return std::pair{last_->Profit(spot, last_->Horizon()), last_->Profit(spot, last_years_)};
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::vector<ResultRow> StrategyPanel::ResultRows(const StrategyFigures& f, GreekUnits units) {
  std::vector<ResultRow> rows;
  rows.push_back({"", "At expiry", "At date"});
  rows.push_back({f.net_premium >= 0 ? "Net premium paid" : "Net premium received",
                  Money(std::abs(f.net_premium)), ""});
  rows.push_back({"Break-even prices", Evens(f.at_expiry), Evens(f.at_date)});
  rows.push_back(
      {"Largest profit", ProfitText(f.at_expiry.max_profit), ProfitText(f.at_date.max_profit)});
  rows.push_back({"Largest loss", LossText(f.at_expiry.max_loss), LossText(f.at_date.max_loss)});
  rows.push_back({"Probability of profit", Percent(f.at_expiry.probability_of_profit),
                  Percent(f.at_date.probability_of_profit)});
  rows.push_back({DeltaCaption(), Money(f.greeks.delta), ""});
  rows.push_back({GammaCaption(), Money(f.greeks.gamma), ""});
  rows.push_back({VegaCaption(units), Money(VegaIn(f.greeks.vega, units)), ""});
  rows.push_back({ThetaCaption(units), Money(ThetaIn(f.greeks.theta, units)), ""});
  rows.push_back({RhoCaption(units), Money(RhoIn(f.greeks.rho, units)), ""});
  return rows;
}

}  // namespace stratlyn
