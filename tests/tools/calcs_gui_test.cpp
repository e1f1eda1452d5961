#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QWindow>

#include "support/fake_services.h"
#include "tools/calcs_widget.h"
#include "util/locale_info.h"
#include "util/qt_grid_model.h"

namespace stratlyn {
namespace {

// A dot, month-first entry locale for every test, whatever the machine's.
class CalcsWindowTest : public ::testing::Test {
 protected:
  CalcsWindowTest() {
    EntryLocale locale;
    locale.decimal_point = ".";
    locale.thousands_sep = ",";
    locale.date_format = "%m/%d/%Y";
    SetEntryLocale(locale);
  }
  ~CalcsWindowTest() override {
    CloseCalculatorsWindow();
    ResetEntryLocale();
  }

  template <typename T>
  static T* Find(QWidget* window, const char* name) {
    T* child = window->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  static void Click(QWidget* window, const char* name) {
    QPushButton* button = Find<QPushButton>(window, name);
    if (button) button->click();
  }
  static QString Text(QWidget* window, const char* name) {
    QLabel* label = Find<QLabel>(window, name);
    return label ? label->text() : QString();
  }

  testing::FakeServices services;
};

TEST_F(CalcsWindowTest, OpensOnceAndKeepsItsStateWhileHidden) {
  QWidget* window = ShowCalculatorsWindow(nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "ZEL Calculators");
  EXPECT_EQ(window->objectName(), "calcs");
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(Text(window, "Readout"), "0.");
  EXPECT_EQ(Find<QPushButton>(window, "bDecimal")->text(), ".");

  for (const char* key : {"Number7", "Operator1", "Number8", "Operator4"}) Click(window, key);
  EXPECT_EQ(Text(window, "Readout"), "15");
  Find<QLineEdit>(window, "lgexpTxt")->setText("2");
  Click(window, "logcalc");
  EXPECT_EQ(Text(window, "lgCap"), "0.69314718");

  window->hide();
  EXPECT_EQ(ShowCalculatorsWindow(nullptr), window);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(Text(window, "Readout"), "15");
  EXPECT_EQ(Text(window, "lgCap"), "0.69314718");
  EXPECT_EQ(Find<QLineEdit>(window, "lgexpTxt")->text(), "2");

  // The date finder ran at opening: a Saturday after the third Friday.
  EXPECT_FALSE(Text(window, "cxDate").isEmpty());
  EXPECT_EQ(Find<QComboBox>(window, "Combo1_0")->currentText(), "Saturday");
  EXPECT_EQ(Find<QComboBox>(window, "Combo1_2")->currentText(), "Friday");

  CloseCalculatorsWindow();
  QWidget* fresh = ShowCalculatorsWindow(nullptr);
  EXPECT_EQ(Text(fresh, "Readout"), "0.");
}

TEST_F(CalcsWindowTest, AToolWindowOfTheMainWindowThatStaysInFront) {
  QWidget main_window;
  main_window.resize(600, 400);
  main_window.show();
  QWidget* window = ShowCalculatorsWindow(&main_window);
  // A tool window of the main window: the window system keeps it above its
  // owner, whichever of the two is active, and closes it with it.
  EXPECT_EQ(window->parentWidget(), &main_window);
  EXPECT_TRUE(window->isWindow());
  EXPECT_EQ(window->windowType(), Qt::Tool);
  EXPECT_EQ(window->windowHandle()->transientParent(), main_window.windowHandle());
  // One of its own messages, then the main window active again: still shown.
  for (const char* key : {"Number9", "Operator0", "Number0", "Operator4"}) Click(window, key);
  EXPECT_EQ(services.dialogs.LastText(), "Can't divide by zero");
  QApplication::setActiveWindow(&main_window);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(ShowCalculatorsWindow(&main_window), window);
  CloseCalculatorsWindow();
}

TEST_F(CalcsWindowTest, KeypadKeysAndKeyboard) {
  QWidget* window = ShowCalculatorsWindow(nullptr);
  for (const char* key : {"Number9", "Operator0", "Number0", "Operator4"}) Click(window, key);
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.Last().text, "Can't divide by zero");
  EXPECT_EQ(services.dialogs.Last().title, "Calculator");
  EXPECT_EQ(Text(window, "Readout"), "9.");

  QWidget* frame = Find<QGroupBox>(window, "keypadFrame");
  QTest::keyClick(frame, Qt::Key_Escape);
  EXPECT_EQ(Text(window, "Readout"), "0.");
  QTest::keyClicks(frame, "12*3");
  QTest::keyClick(frame, Qt::Key_Return);
  EXPECT_EQ(Text(window, "Readout"), "36");
  Click(window, "cpy");
  EXPECT_EQ(services.clipboard.Text(), "36");
}

// Keys as the keyboard delivers them: to whatever widget has the focus.
void TypeToFocus(const QString& keys) {
  QWidget* target = QApplication::focusWidget();
  ASSERT_NE(target, nullptr);
  for (const QChar c : keys) {
    QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
  }
}

TEST_F(CalcsWindowTest, KeyboardPercentAfterPlusAndMinus) {
  QWidget* window = ShowCalculatorsWindow(nullptr);
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  // A click on a keypad key moves the focus into the keypad.
  QPushButton* one = Find<QPushButton>(window, "Number1");
  QTest::mouseClick(one, Qt::LeftButton);
  Click(window, "Cancel");
  one->setFocus(Qt::MouseFocusReason);
  ASSERT_TRUE(Find<QGroupBox>(window, "keypadFrame")->isAncestorOf(QApplication::focusWidget()));
  TypeToFocus("100+10%");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_EQ(Text(window, "Readout"), "110");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  TypeToFocus("100-10%=");
  EXPECT_EQ(Text(window, "Readout"), "90");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  TypeToFocus("200*5%=");
  EXPECT_EQ(Text(window, "Readout"), "10");
  EXPECT_EQ(services.dialogs.Count(), 0u);

  // A grouped number from the clipboard (Ctrl+V to the focused keypad).
  services.clipboard.SetText("1,234.5");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Text(window, "Readout"), "1234.5");
}

TEST_F(CalcsWindowTest, EscAfterEnterRestoresTheCommittedCell) {
  QWidget* window = ShowCalculatorsWindow(nullptr);
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  GridView* view = Find<GridView>(window, "Grid1");
  ASSERT_NE(view, nullptr);
  // A real click on the cell: the grid takes the focus and the cell is entered.
  const QPoint cell = view->visualRect(view->gridModel()->index(2, 2)).center();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell);
  ASSERT_EQ(QApplication::focusWidget(), view);
  EXPECT_EQ(view->grid().Row(), 2);
  TypeToFocus("500");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_EQ(view->grid().TextMatrix(2, 2), "500");
  TypeToFocus("99");
  EXPECT_EQ(view->grid().TextMatrix(2, 2), "99");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_EQ(view->grid().TextMatrix(2, 2), "500");
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST_F(CalcsWindowTest, LogsInDoublePrecisionAndHugeExponentials) {
  QWidget* window = ShowCalculatorsWindow(nullptr);
  Find<QLineEdit>(window, "lgexpTxt")->setText("2.718281828");
  Click(window, "logcalc");
  EXPECT_EQ(Text(window, "lgCap"), "1.00");  // 0.99999999983 to eight decimals
  Find<QRadioButton>(window, "lgtyp1")->click();
  Find<QLineEdit>(window, "lgexpTxt")->setText("709");
  Click(window, "logcalc");
  EXPECT_EQ(Text(window, "lgCap"), "8.2184E+307");
}

TEST_F(CalcsWindowTest, GridEditingKeys) {
  QWidget* window = ShowCalculatorsWindow(nullptr);
  GridView* view = Find<GridView>(window, "Grid1");
  ASSERT_NE(view, nullptr);
  Grid& grid = view->grid();
  EXPECT_EQ(grid.Rows(), 25);
  EXPECT_EQ(grid.TextMatrix(0, 1), "Yield");
  EXPECT_GT(grid.ColWidth(0), 0);

  grid.SetRow(1);
  grid.SetCol(0);
  QTest::keyClicks(view, "12");
  EXPECT_EQ(grid.TextMatrix(1, 0), "12");
  QTest::keyClick(view, Qt::Key_Backspace);
  QTest::keyClick(view, Qt::Key_Return);
  EXPECT_EQ(grid.TextMatrix(1, 0), "1");

  // Right arrow moves on; typing there and Esc restores the entered text.
  QTest::keyClick(view, Qt::Key_Right);
  EXPECT_EQ(grid.Col(), 1);
  QTest::keyClicks(view, "9");
  QTest::keyClick(view, Qt::Key_Escape);
  EXPECT_EQ(grid.TextMatrix(1, 1), "");
  QTest::keyClicks(view, "5");
  QTest::keyClick(view, Qt::Key_Right);  // commits and moves
  EXPECT_EQ(grid.TextMatrix(1, 1), "5");
  EXPECT_EQ(grid.Col(), 2);
  QTest::keyClicks(view, "abc");
  QTest::keyClick(view, Qt::Key_Down);
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.Last().text, "Non-Numeric Data Entry");
  EXPECT_EQ(services.dialogs.Last().title, "Error");

  // Delete empties the cell; Ctrl+V pastes from the current cell.
  grid.SetRow(1);
  grid.SetCol(2);
  QTest::keyClick(view, Qt::Key_Delete);
  EXPECT_EQ(grid.TextMatrix(1, 2), "");
  services.clipboard.SetText("100\r\n");
  QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(grid.TextMatrix(1, 2), "100");
  grid.SetRow(2);
  grid.SetCol(0);
  services.clipboard.SetText("2\t5\t100");
  QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(grid.TextMatrix(2, 2), "100");

  Click(window, "pvcalc");
  EXPECT_EQ(Text(window, "pvlab"), "185.6067");

  grid.SetRow(1);
  grid.SetCol(0);
  grid.SetRowSel(2);
  grid.SetColSel(2);
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(services.clipboard.Text(), "1\t5\t100\r\n2\t5\t100");

  Click(window, "clrPV");
  EXPECT_EQ(Text(window, "pvlab"), "");
  EXPECT_EQ(grid.TextMatrix(2, 2), "");
}

TEST_F(CalcsWindowTest, RatePanelFollowsTheQuoteType) {
  QWidget* window = ShowCalculatorsWindow(nullptr);
  Find<QRadioButton>(window, "irtyp3")->click();
  EXPECT_EQ(Text(window, "Label1_2"), "Frequency");
  EXPECT_EQ(Text(window, "Label1_4"), "Rate");
  EXPECT_FALSE(Find<QLineEdit>(window, "Text2_2")->isEnabled());
  EXPECT_FALSE(Find<QRadioButton>(window, "irtyp3")->toolTip().isEmpty());

  Find<QLineEdit>(window, "Text2_3")->setText("2");
  QLineEdit* quote = Find<QLineEdit>(window, "tdisc");
  quote->setText("0.05");
  QTest::keyClick(quote, Qt::Key_Return);
  EXPECT_EQ(Text(window, "tblab"), "Interest Rate: 0.0493852");

  Find<QRadioButton>(window, "irtyp0")->click();
  EXPECT_EQ(Text(window, "Label1_4"), "T-Bill");
  EXPECT_TRUE(Find<QLineEdit>(window, "Text2_2")->isEnabled());

  // The date panel: a day count becomes a date, the maturity is shown.
  Find<QLineEdit>(window, "Text2_0")->setText("01/01/2026");
  Find<QLineEdit>(window, "Text2_1")->setText("365");
  Click(window, "dateok0");
  EXPECT_EQ(Find<QLineEdit>(window, "Text2_1")->text(), "01/01/2027");
  EXPECT_EQ(Text(window, "matlab"), "Maturity: 1.00");
  Click(window, "tfrDate");
  EXPECT_EQ(Find<QLineEdit>(window, "Text2_1")->text(), Text(window, "cxDate"));
}

}  // namespace
}  // namespace stratlyn
