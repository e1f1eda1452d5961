#pragma once
// The calculators window "ZEL Calculators": the keypad and the financial
// tools side by side. The logic lives in Keypad and FinancialCalcs; the
// window turns clicks and keys into their handlers and shows their state.

#include <QFont>
#include <QWidget>
#include <array>
#include <memory>

#include "tools/fin_calcs.h"
#include "tools/keypad.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace stratlyn {

class GridView;

class calcs : public QWidget {
  Q_OBJECT

 public:
  explicit calcs(QWidget* parent = nullptr);
  ~calcs() override;

  const Keypad& keypad() const { return keypad_; }
  const FinancialCalcs& financial() const { return *fin_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QGroupBox* BuildKeypad();
  QGroupBox* BuildPresentValue();
  QGroupBox* BuildRateQuote();
  QGroupBox* BuildDateToMaturity();
  QGroupBox* BuildDateFinder();
  QGroupBox* BuildLogs();
  QPushButton* KeyButton(QWidget* frame, const QString& name, const QString& caption, int left,
                         int top, int width = 325, int height = 300);

  // Runs one keypad key and shows the display.
  template <typename Key>
  void PressKey(Key key);
  void ShowDisplay();
  // Copies the inputs into FinancialCalcs, runs `handler`, shows the results.
  template <typename Handler>
  void RunTool(Handler handler);
  void ReadInputs();
  void ShowResults();
  // Calls Grid1_EnterCell when the grid's current cell moved.
  void CheckCellChange();
  void Form_Load();

  Keypad keypad_;
  QGroupBox* keypad_frame_ = nullptr;
  QLabel* Readout = nullptr;
  QFont readout_font_;
  QPushButton* bDecimal = nullptr;

  GridView* Grid1 = nullptr;
  std::unique_ptr<FinancialCalcs> fin_;
  bool in_handler_ = false;
  QLabel* pvlab = nullptr;

  std::array<QRadioButton*, 4> irtyp{};
  std::array<QLineEdit*, 4> Text2{};
  QLineEdit* tdisc = nullptr;
  QLabel* Label1_2 = nullptr;
  QLabel* Label1_3 = nullptr;
  QLabel* Label1_4 = nullptr;
  QLabel* tblab = nullptr;
  QLabel* matlab = nullptr;

  std::array<QComboBox*, 4> Combo1{};
  QLineEdit* tDate = nullptr;
  QLabel* cxDate = nullptr;

  std::array<QRadioButton*, 2> lgtyp{};
  QLineEdit* lgexpTxt = nullptr;
  QLabel* lgCap = nullptr;
  QLabel* Label1_6 = nullptr;
};

// The calculators window (created on first use and kept for the program's
// lifetime, so its state survives while it is hidden). Shows it without
// blocking the caller, centred on the screen the first time it opens, raises
// it, and returns it. It is a tool window of `mainWindow` (kept in front of
// it, closed with it); `mainWindow` also picks the screen.
QWidget* ShowCalculatorsWindow(QWidget* mainWindow);

// Closes and destroys the calculators window if it exists (called when the
// main window closes). Safe to call when it was never opened.
void CloseCalculatorsWindow();

}  // namespace stratlyn
