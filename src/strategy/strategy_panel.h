#pragma once
// The strategy panel's logic without a window: the legs table (a Grid the
// view shows), its editing keys and clipboard, the templates, and the
// figures of the position at the first expiry and at the chosen date. The
// Qt panel ucStrategy turns its controls' events into these calls.

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pricing/option_terms.h"
#include "strategy/position.h"
#include "strategy/templates.h"
#include "util/greek_units.h"

namespace stratlyn {

class Grid;

// What one calculation shows: the two curves' summaries, the Greeks today,
// the points of both curves over the plot's price range.
struct StrategyFigures {
  double net_premium = 0;
  double horizon = 0;  // years to the first expiry
  CurveSummary at_expiry;
  CurveSummary at_date;
  PositionGreeks greeks;
  std::vector<CurvePoint> curve;
};

// One row of the results table: a caption and the texts at expiry and at
// the chosen date (the second may be empty).
struct ResultRow {
  std::string caption, at_expiry, at_date;
};

// Points of the plotted curves.
inline constexpr int kCurvePoints = 201;

// How the strategy's commands tell a refusal of the position's input (a
// StrategyInputError): a critical box with its own text. RunCommand's `own`
// for them; false for any other error.
bool TellInputError(const std::exception& e);

class StrategyPanel {
 public:
  // Takes the legs table (not owned; it must outlive the panel), gives it
  // one fixed row of captions and a fixed column of row numbers.
  explicit StrategyPanel(Grid& legs);
  ~StrategyPanel();

  // The copy of the calculator panel's option (as at each switch).
  void SetParameters(const OptionTerms& option);
  const OptionTerms& Parameters() const { return option_; }
  Market MarketOf() const;

  // Appends a leg: +1 of the option's type at its strike and maturity.
  void AddLeg();
  // Appends `leg`; with `replace` it becomes the table's only leg.
  void AddLeg(const Leg& leg, bool replace);
  // Removes the rows of the selection (at least one leg stays as a blank row).
  void RemoveLeg();
  // Fills the table with a template at the option's strike and maturity.
  // StrategyInputError for a bad width (the table is left alone).
  void ApplyTemplate(StrategyTemplate t, double width, bool american);
  // Editing of the current cell, as in a spreadsheet: the first character
  // typed into a cell replaces its text and starts editing it, later ones
  // are appended; Backspace (8) removes the last character (and starts
  // editing). Ctrl+C (3) copies the selection and Ctrl+V (22) pastes
  // tab-separated rows from the current cell on (rows are added as needed),
  // through the grid clipboard routines.
  void KeyPress(int key_ascii);
  // F2: edits the current cell in place (typing appends to its text).
  void BeginEdit();
  // The current cell has been left (or the table changed): the next
  // character typed replaces the cell's text. True when a cell was being
  // edited.
  bool EndEdit();
  bool Editing() const { return edit_row_ >= 0; }
  // Delete: empties the selected cells.
  void ClearCells();

  // Reads the table and computes with the chosen date `years` after the
  // position's date (`start`, a date text). A cell that cannot be read, a
  // leg the checks refuse or a date past the first expiry shows its message
  // (critical, "Quorvale") and gives nothing; so does a pricing fault.
  std::optional<StrategyFigures> Compute(const std::string& start, double years);
  // The years to the first expiry of the table's position, or nothing when
  // the table cannot be read (no message).
  std::optional<double> Horizon(const std::string& start) const;
  // Profits at `spot` of the last position computed: {at expiry, at date}.
  std::optional<std::pair<double, double>> ProfitsAt(double spot);

  // The results table's rows: net premium, break-evens, largest profit and
  // loss, probability of profit, then the Greeks with their units.
  static std::vector<ResultRow> ResultRows(const StrategyFigures& f, GreekUnits units);

 private:
  void NumberRows();  // writes the row numbers into the fixed column

  Grid& legs_;
  OptionTerms option_;
  std::unique_ptr<PositionPricer> last_;
  int edit_row_ = -1, edit_col_ = -1;  // the cell being edited, if any
  double last_years_ = 0;
};

}  // namespace stratlyn
