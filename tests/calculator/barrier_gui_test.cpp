// Barrier options in the calculator panel, typed with real keys: a case of
// Haug's barrier table against QuantLib's closed form, the figures the same
// as the lattice record gives them for stratlyn-cli price --barrier, the
// implied volatility back from a market price, refusals, and the panel
// unchanged with "none".

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "calculator/barrier_widget.h"
#include "calculator/ucbsop_widget.h"
#include "pricing/zel_barr.h"
#include "support/fake_services.h"
#include "support/locale_text.h"
#include "support/quantlib_reference.h"
#include "util/format.h"
#include "util/locale_info.h"
#include "util/qt_grid_model.h"

namespace stratlyn {
namespace {

using testing::InEntryLocale;

std::string Text(const QLabel* label) { return label->text().toStdString(); }

// Replaces a field's text as a person does: select all, type.
void TypeInto(QLineEdit* field, const std::string& dotted) {
  field->setFocus();
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(field, QString::fromStdString(InEntryLocale(dotted)));
}

// The figure of a result label ("Barrier value: 9.012345" or "0.512345").
double Figure(const QLabel* label) {
  QString t = label->text();
  t = t.mid(t.indexOf(QRegularExpression("[-0-9]")));
  bool ok = false;
  const double v = t.replace(',', '.').toDouble(&ok);  // QString reads the C way
  EXPECT_TRUE(ok) << label->text().toStdString();
  return v;
}

std::string Shown(float v) {
  const std::string& dp = CurrentEntryLocale().decimal_point;
  return FormatNumber(v, kValueFormat, dp.size() == 1 ? dp[0] : '.');
}

class BarrierGui : public ::testing::Test {
 protected:
  void SetUp() override {
    panel = std::make_unique<ucBSOP>();
    panel->show();
    QApplication::setActiveWindow(panel.get());
  }
  // Haug's terms: S = 100, T = 0.5, r = 0.08, q = 0.04, volatility 0.25.
  void TypeHaugTerms(const std::string& strike) {
    TypeInto(panel->Text1(0), "100");
    TypeInto(panel->Text1(1), "0.25");
    TypeInto(panel->Text1(2), "0.08");
    TypeInto(panel->Text1(3), "0.5");
    TypeInto(panel->Text1(4), strike);
    TypeInto(panel->Text1(5), "0.04");
  }
  // Chooses a barrier kind with the keyboard: the list, then Down n times.
  void ChooseKind(int downs) {
    QComboBox* list = panel->Barrier().cmbBarrier();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < downs; ++i) {
      QTest::keyClick(list, Qt::Key_Down);
    }
  }

  testing::FakeServices fakes;
  std::unique_ptr<ucBSOP> panel;
};

TEST_F(BarrierGui, NoneLeavesThePanelAsItWas) {
  BarrierControls& b = panel->Barrier();
  EXPECT_EQ(b.cmbBarrier()->currentText(), "Barrier: none");
  EXPECT_EQ(b.cmbBarrier()->count(), 5);
  EXPECT_FALSE(b.txtBarrier()->isVisible());
  EXPECT_FALSE(b.txtRebate()->isVisible());
  panel->cmdCalculate()->click();
  // The start value of the panel, priced in closed form as ever.
  EXPECT_EQ(Text(panel->lblPrice()).rfind("Value: ", 0), 0u) << Text(panel->lblPrice());
  EXPECT_NEAR(Figure(panel->lblPrice()), 7.4879, 1e-4);
  ChooseKind(3);
  EXPECT_EQ(b.cmbBarrier()->currentText(), "Up-and-out");
  EXPECT_TRUE(b.txtBarrier()->isVisible());
  EXPECT_TRUE(b.txtRebate()->isVisible());
  ChooseKind(0);
  EXPECT_FALSE(b.txtBarrier()->isVisible());
  panel->cmdCalculate()->click();
  EXPECT_NEAR(Figure(panel->lblPrice()), 7.4879, 1e-4);
  EXPECT_EQ(fakes.dialogs.Count(), 0u) << fakes.dialogs.LastText();
}

#ifdef STRATLYN_HAVE_QUANTLIB

TEST_F(BarrierGui, AHaugCaseTypedWithKeysMatchesTheClosedFormAndTheTerminalTool) {
  TypeHaugTerms("90");
  ChooseKind(1);  // Down-and-out
  ASSERT_EQ(panel->Barrier().Kind(), BarrierKind::kDownOut);
  TypeInto(panel->Barrier().txtBarrier(), "95");
  TypeInto(panel->Barrier().txtRebate(), "3");
  QTest::keyClick(panel->Barrier().txtRebate(), Qt::Key_Return);
  ASSERT_EQ(fakes.dialogs.Count(), 0u) << fakes.dialogs.LastText();
  ASSERT_EQ(Text(panel->lblPrice()).rfind("Barrier value: ", 0), 0u) << Text(panel->lblPrice());

  // Haug's table gives 9.0246; QuantLib's closed form is the reference.
  const testing::RefOption ref{
      .call = true, .s = 100, .k = 90, .r = 0.08, .q = 0.04, .sigma = 0.25, .days = 180};
  const double closed = testing::EuropeanBarrierValue(ref, testing::RefBarrier::kDownOut, 95, 3);
  EXPECT_NEAR(closed, 9.0246, 1e-3);
  // The 50-step lattice is within 1 % of it.
  const double value = Figure(panel->lblPrice());
  EXPECT_NEAR(value, closed, 0.01 * closed);
  // Delta against the closed form's central difference.
  testing::RefOption up = ref, down = ref;
  up.s += 0.5;
  down.s -= 0.5;
  const double delta_ref =
      (testing::EuropeanBarrierValue(up, testing::RefBarrier::kDownOut, 95, 3) -
       testing::EuropeanBarrierValue(down, testing::RefBarrier::kDownOut, 95, 3)) /
      1.0;
  EXPECT_NEAR(Figure(panel->lblDelta()), delta_ref, 0.03);
  const double vega_ref = testing::EuropeanBarrierVega(ref, testing::RefBarrier::kDownOut, 95, 3);
  EXPECT_NEAR(Figure(panel->lblVega()), vega_ref, 0.05 * std::fabs(vega_ref) + 0.5);

  // Exactly the record's figures, as stratlyn-cli price --barrier 95
  // --barrier-kind down-out --rebate 3 prices them.
  zelBarr cli;
  cli.SetOptionData(cli.boolError, cli.strType);
  cli.SetOptionData(0.08f, cli.strRiskFree);
  cli.SetOptionData(0.5f, cli.strMaturity);
  cli.SetOptionData(90.0f, cli.strStrike);
  cli.SetOptionData(100.0f, cli.strUnderlying);
  cli.SetOptionData(0.25f, cli.strVolatility);
  cli.SetOptionData(0.04f, cli.strDvl);
  cli.SetOptionData(95.0f, cli.strBarrier);
  cli.SetOptionData(3.0f, cli.strRebate);
  cli.CalcBarr(cli.EURODOWNOUT);
  EXPECT_EQ(Text(panel->lblPrice()), "Barrier value: " + Shown(cli.GetOptionData("opr")));
  EXPECT_EQ(Text(panel->lblDelta()), Shown(cli.GetOptionData("delta")));
  EXPECT_EQ(Text(panel->lblGamma()), Shown(cli.GetOptionData("gamma")));
  EXPECT_EQ(Text(panel->lblVega()), Shown(cli.GetOptionData("vega")));
  EXPECT_EQ(Text(panel->lblTheta()), Shown(cli.GetOptionData("theta")));

  // American exercise: the record's American down-and-out, as the terminal
  // tool gives it with --american; worth at least the European one.
  panel->chkAmer()->click();
  panel->cmdCalculate()->click();
  ASSERT_EQ(fakes.dialogs.Count(), 0u) << fakes.dialogs.LastText();
  zelBarr american = cli;
  american.CalcBarr(american.AMERDOWNOUT);
  EXPECT_EQ(Text(panel->lblPrice()), "Barrier value: " + Shown(american.GetOptionData("opr")));
  EXPECT_GE(american.GetOptionData("opr"), cli.GetOptionData("opr") - 1e-4f);
  panel->chkEuro()->click();
  panel->cmdCalculate()->click();

  // Copy All: the barrier figures, the seven fields, the level and the rebate.
  panel->cmdCopyData()->click();
  const std::string copied = fakes.clipboard.Text();
  EXPECT_EQ(copied.rfind(FormatNumber(cli.GetOptionData("opr"), kCopyFormat,
                                      CurrentEntryLocale().decimal_point[0]) +
                             "\n",
                         0),
            0u)
      << copied;
  EXPECT_EQ(std::count(copied.begin(), copied.end(), '\n'), 14) << copied;
  EXPECT_EQ(copied.find('\r'), std::string::npos) << copied;
  EXPECT_NE(copied.find("\n95\n3\n"), std::string::npos) << copied;

  // The implied volatility from the closed form's price at 0.25: the lattice
  // finds a volatility near 0.25 and reprices the market price.
  TypeInto(panel->Text1(6), FormatNumber(closed, "0.0000"));
  panel->chkImpVol()->click();
  panel->cmdCalculate()->click();
  ASSERT_EQ(fakes.dialogs.Count(), 0u) << fakes.dialogs.LastText();
  const double vol = panel->Text1(1)->text().replace(',', '.').toDouble();
  EXPECT_NEAR(vol, 0.25, 0.01);
  EXPECT_NEAR(Figure(panel->lblPrice()), closed, 2e-3);

  // An up-and-in put of the table (H 105, K 100, vol 0.25: 3 rebate).
  panel->chkImpVol()->click();
  TypeInto(panel->Text1(1), "0.25");
  TypeInto(panel->Text1(4), "100");
  ChooseKind(4);
  TypeInto(panel->Barrier().txtBarrier(), "105");
  panel->chkPut()->click();
  panel->cmdCalculate()->click();
  testing::RefOption put = ref;
  put.call = false;
  put.k = 100;
  const double put_ref = testing::EuropeanBarrierValue(put, testing::RefBarrier::kUpIn, 105, 3);
  EXPECT_NEAR(Figure(panel->lblPrice()), put_ref, 0.01 * put_ref) << put_ref;
  EXPECT_EQ(fakes.dialogs.Count(), 0u) << fakes.dialogs.LastText();
}

#endif  // STRATLYN_HAVE_QUANTLIB

// No figure of other terms stays on show or reaches the clipboard: a barrier
// kind chosen after a plain calculation, an input changed while the lattice
// lets events run, a second Calculate during the run, a knocked-out option
// asked for its implied volatility.
TEST_F(BarrierGui, FiguresOfOtherTermsNeverStay) {
  TypeHaugTerms("90");
  panel->cmdCalculate()->click();
  ASSERT_EQ(Text(panel->lblPrice()).rfind("Value: ", 0), 0u) << Text(panel->lblPrice());
  ChooseKind(1);
  EXPECT_EQ(Text(panel->lblPrice()), "Calculated Value");
  EXPECT_EQ(Text(panel->lblDelta()), "");
  ChooseKind(0);
  panel->cmdCopyData()->click();
  EXPECT_EQ(fakes.clipboard.Text().rfind("\n\n\n\n\n100\n", 0), 0u) << fakes.clipboard.Text();

  ChooseKind(1);
  TypeInto(panel->Barrier().txtBarrier(), "95");
  TypeInto(panel->Barrier().txtRebate(), "3");
  fakes.events.pending_calls = 0;
  panel->cmdCalculate()->click();
  ASSERT_TRUE(panel->Barrier().Shown()) << fakes.dialogs.LastText();
  const int undisturbed = fakes.events.pending_calls;
  // Each input changed during the run: the figures of the run are not shown.
  const std::vector<std::function<void()>> changes = {
      [&] { panel->Text1(0)->setText("120"); },
      [&] { panel->Barrier().txtBarrier()->setText("90"); },
      [&] { panel->chkPut()->click(); },
      [&] { panel->Barrier().cmbBarrier()->setCurrentIndex(3); },
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    int calls = 0;
    fakes.events.pending_calls = 0;
    fakes.events.on_pending = [&] {
      if (++calls == 3) changes[i]();
    };
    panel->cmdCalculate()->click();
    fakes.events.on_pending = nullptr;
    EXPECT_FALSE(panel->Barrier().Shown()) << i;
    EXPECT_EQ(Text(panel->lblPrice()), "Calculated Value") << i;
    panel->cmdCopyData()->click();
    EXPECT_EQ(fakes.clipboard.Text().rfind("\n\n\n\n\n", 0), 0u) << i << fakes.clipboard.Text();
    TypeHaugTerms("90");
    panel->chkCall()->click();
    ChooseKind(1);
    TypeInto(panel->Barrier().txtBarrier(), "95");
  }
  // A second Calculate during the run starts no second run.
  int calls = 0;
  fakes.events.pending_calls = 0;
  fakes.events.on_pending = [&] {
    if (++calls == 3) panel->cmdCalculate()->click();
  };
  panel->cmdCalculate()->click();
  fakes.events.on_pending = nullptr;
  EXPECT_TRUE(panel->Barrier().Shown());
  EXPECT_EQ(fakes.events.pending_calls, undisturbed);
  // The market price changed during an implied-volatility run: the
  // volatility field keeps the user's text.
  panel->chkImpVol()->click();
  TypeInto(panel->Text1(6), "9");
  TypeInto(panel->Text1(1), "0.3");
  calls = 0;
  fakes.events.on_pending = [&] {
    if (++calls == 3) panel->Text1(6)->setText(QString::fromStdString(InEntryLocale("8.5")));
  };
  panel->cmdCalculate()->click();
  fakes.events.on_pending = nullptr;
  EXPECT_EQ(panel->Text1(1)->text().toStdString(), InEntryLocale("0.3"));
  EXPECT_FALSE(panel->Barrier().Shown());
  EXPECT_EQ(fakes.dialogs.Count(), 0u) << fakes.dialogs.LastText();
  // Knocked out already (an up-and-out with the spot above its barrier):
  // worth the rebate at any volatility, so none is implied.
  ChooseKind(3);
  TypeInto(panel->Text1(6), "3");
  panel->cmdCalculate()->click();
  EXPECT_EQ(fakes.dialogs.LastText(), barrier_text::kKnockedOutNoImpliedVol);
  EXPECT_EQ(panel->Text1(1)->text().toStdString(), InEntryLocale("0.3"));
  EXPECT_FALSE(panel->Barrier().Shown());
}

// (Not a barrier matter, but the same panel.) The yield-curve grid shows
// nothing unlabelled: hidden while empty, also once a command has given it
// columns without filling them, shown once it holds a figure.
TEST_F(BarrierGui, TheEmptyRateGridStaysHidden) {
  GridView* grid = panel->Grid1();
  EXPECT_FALSE(grid->isVisible());
  grid->grid().SetCols(6);
  grid->grid().SetRows(3);
  panel->EnlargeFont();
  EXPECT_FALSE(grid->isVisible());
  grid->grid().SetTextMatrix(1, 2, "0.5");
  panel->ReduceFont();
  EXPECT_TRUE(grid->isVisible());
  grid->grid().SetTextMatrix(1, 2, "");
  panel->EnlargeFont();
  EXPECT_FALSE(grid->isVisible());
}

TEST_F(BarrierGui, BadLevelsAndRebatesAreRefusedAndNoFigureStays) {
  TypeHaugTerms("90");
  ChooseKind(1);
  TypeInto(panel->Barrier().txtBarrier(), "95");
  TypeInto(panel->Barrier().txtRebate(), "3");
  panel->cmdCalculate()->click();
  ASSERT_TRUE(panel->Barrier().Shown());
  // Changing the level clears the figures of the old one.
  TypeInto(panel->Barrier().txtBarrier(), "abc");
  EXPECT_FALSE(panel->Barrier().Shown());
  EXPECT_EQ(Text(panel->lblPrice()), "Calculated Value");
  EXPECT_EQ(Text(panel->lblDelta()), "");
  // Read as the panel reads its fields: no digits is refused, naming the field.
  panel->cmdCalculate()->click();
  EXPECT_EQ(fakes.dialogs.LastText().rfind("Invalid Numeric Entry", 0), 0u)
      << fakes.dialogs.LastText();
  EXPECT_NE(fakes.dialogs.LastText().find("Barrier Level"), std::string::npos)
      << fakes.dialogs.LastText();
  EXPECT_EQ(Text(panel->lblPrice()), "Calculated Value");
  TypeInto(panel->Barrier().txtBarrier(), "0");
  panel->cmdCalculate()->click();
  EXPECT_EQ(fakes.dialogs.LastText(), "The barrier level must be positive");
  TypeInto(panel->Barrier().txtBarrier(), "95");
  TypeInto(panel->Barrier().txtRebate(), "-1");
  panel->cmdCalculate()->click();
  EXPECT_EQ(fakes.dialogs.LastText(), "The rebate must not be negative");
  EXPECT_FALSE(panel->Barrier().Shown());
  EXPECT_EQ(Text(panel->lblPrice()), "Calculated Value");
  // A change of the option's terms clears the barrier figures too.
  TypeInto(panel->Barrier().txtRebate(), "3");
  panel->cmdCalculate()->click();
  ASSERT_TRUE(panel->Barrier().Shown()) << fakes.dialogs.LastText();
  TypeInto(panel->Text1(0), "101");
  EXPECT_FALSE(panel->Barrier().Shown());
  EXPECT_EQ(Text(panel->lblPrice()), "Calculated Value");
  panel->cmdCalculate()->click();
  ASSERT_TRUE(panel->Barrier().Shown());
  panel->chkPut()->click();
  EXPECT_FALSE(panel->Barrier().Shown());
  EXPECT_EQ(Text(panel->lblDelta()), "");
  panel->chkCall()->click();
  TypeInto(panel->Text1(0), "100");
  // A barrier next to the spot that no lattice fits: the record's message,
  // no figure.
  TypeInto(panel->Barrier().txtRebate(), "0");
  TypeInto(panel->Barrier().txtBarrier(), "99.999");
  const size_t before = fakes.dialogs.Count();
  panel->cmdCalculate()->click();
  EXPECT_EQ(fakes.dialogs.Count(), before + 1);
  EXPECT_EQ(Text(panel->lblPrice()), "Calculated Value");
  EXPECT_FALSE(panel->Barrier().Shown());
  // A strike that is not positive: the panel's own message.
  TypeInto(panel->Barrier().txtBarrier(), "95");
  TypeInto(panel->Text1(4), "0");
  panel->cmdCalculate()->click();
  EXPECT_EQ(fakes.dialogs.LastText(), "The strike price must be positive");
}

}  // namespace
}  // namespace stratlyn
