#include "calculator/barrier_widget.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <exception>

#include "calculator/bsop_panel.h"
#include "pricing/term_check.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

char DecimalPoint() {
  const std::string& dp = CurrentEntryLocale().decimal_point;
  return dp.size() == 1 ? dp[0] : '.';
}

std::string Figure(float v) { return FormatNumber(v, kValueFormat, DecimalPoint()); }

// Reads one of the barrier fields as the panel reads its own (a blank field
// is 0); false with the entry's message when it cannot be read.
bool ReadEntry(const QLineEdit* field, const char* name, float& value) {
  std::string text = field->text().toStdString();
  float read = 0.0f;
  if (ParseNumericEntry(text, read, name, EntryKind::kPrice)) {
    return false;
  }
  value = read;
  return true;
}

}  // namespace

BarrierControls::BarrierControls(QWidget* parent, Panel panel)
    : QObject(parent), panel_(std::move(panel)) {
  cmb_barrier_ = new QComboBox(parent);
  cmb_barrier_->setObjectName("cmbBarrier");
  for (const char* choice : kBarrierChoices) {
    cmb_barrier_->addItem(choice);
  }
  cmb_barrier_->setToolTip(barrier_text::kChoiceTip);
  txt_barrier_ = new QLineEdit(parent);
  txt_barrier_->setObjectName("txtBarrier");
  txt_barrier_->setPlaceholderText("Level");
  txt_barrier_->setToolTip(barrier_text::kLevelTip);
  txt_rebate_ = new QLineEdit(parent);
  txt_rebate_->setObjectName("txtRebate");
  txt_rebate_->setPlaceholderText("Rebate");
  txt_rebate_->setToolTip(barrier_text::kRebateTip);
  txt_rebate_->setText("0");
  txt_barrier_->hide();
  txt_rebate_->hide();

  connect(cmb_barrier_, &QComboBox::currentIndexChanged, this, [this] { KindChanged(); });
  // Figures of other terms are never left on show.
  for (QLineEdit* field : {txt_barrier_, txt_rebate_}) {
    connect(field, &QLineEdit::textChanged, this, [this] { ClearResults(); });
    connect(field, &QLineEdit::returnPressed, this, [this] { Calculate(); });
  }
  for (QLineEdit* field : panel_.inputs) {
    connect(field, &QLineEdit::textChanged, this, [this] { ClearResults(); });
  }
  for (QAbstractButton* choice : panel_.choices) {
    connect(choice, &QAbstractButton::toggled, this, [this] { ClearResults(); });
  }
}

BarrierControls::~BarrierControls() = default;

BarrierKind BarrierControls::Kind() const {
  return static_cast<BarrierKind>(std::max(0, cmb_barrier_->currentIndex()));
}

void BarrierControls::KindChanged() {
  const bool chosen = Chosen();
  txt_barrier_->setVisible(chosen);
  txt_rebate_->setVisible(chosen);
  ClearResults();
}

void BarrierControls::ClearResults() {
  // A change while the lattice lets events run: the run's figures belong
  // to the terms before it.
  changed_during_run_ = running_;
  if (!shown_) {
    return;
  }
  shown_.reset();
  panel_.price->setText(bsop_text::kPriceCaption);
  for (QLabel* label : panel_.greeks) {
    label->clear();
  }
}

void BarrierControls::Calculate() {
  // A second Calculate while the lattice lets events run is ignored: it
  // would change the record's inputs under the run in progress.
  if (!Chosen() || running_) {
    return;
  }
  Events& events = AppEvents();
  RunCommand(
      [&] {
        BarrierInputs in;
        if (!panel_.read_option(in)) {
          return;
        }
        in.kind = Kind();
        if (!ReadEntry(txt_barrier_, "Barrier Level", in.level) ||
            !ReadEntry(txt_rebate_, "Rebate", in.rebate)) {
          return;
        }
        const char* not_positive = nullptr;
        if (!(in.terms.spot > 0)) {
          not_positive = term_names::kUnderlying;
        } else if (!(in.terms.strike > 0)) {
          not_positive = term_names::kStrike;
        } else if (!(in.terms.maturity > 0)) {
          not_positive = term_names::kMaturity;
        } else if (!(in.terms.vol > 0)) {
          if (in.implied) {
            in.terms.vol = 0.25f;  // about to be solved for
          } else {
            not_positive = term_names::kVolatility;
          }
        }
        if (not_positive != nullptr) {
          AppDialogs().Critical(NotPositiveMessage(not_positive));
          return;
        }
        // The figures on show belong to the last terms until these are priced.
        shown_ = BarrierFigures{};
        ClearResults();
        events.SetBusy(true);
        std::optional<BarrierFigures> f;
        {
          struct Running {
            bool& flag;
            explicit Running(bool& r) : flag(r) { flag = true; }
            ~Running() { flag = false; }
          } running(running_);
          changed_during_run_ = false;
          f = PriceBarrier(record_, in);
        }
        events.SetBusy(false);
        if (!f || changed_during_run_) {
          return;
        }
        if (f->implied_vol) {
          // Before the figures are kept: writing the field is a change of terms.
          panel_.volatility->setText(Q(Figure(*f->implied_vol)));
        }
        shown_ = f;
        ShowFigures();
        events.ProcessPending();
      },
      [&] { events.SetBusy(false); });
}

void BarrierControls::ShowFigures() {
  if (!shown_) {
    return;
  }
  const BarrierFigures& f = *shown_;
  panel_.price->setText(Q(barrier_text::kValueCaption + Figure(f.value)));
  panel_.greeks[0]->setText(Q(Figure(f.delta)));
  panel_.greeks[1]->setText(Q(Figure(f.gamma)));
  panel_.greeks[2]->setText(Q(Figure(static_cast<float>(VegaIn(f.vega, units_)))));
  panel_.greeks[3]->setText(Q(Figure(static_cast<float>(ThetaIn(f.theta, units_)))));
}

void BarrierControls::SetGreekUnits(GreekUnits units) {
  units_ = units;
  ShowFigures();
}

std::string BarrierControls::CopyText(const std::array<std::string, 7>& fields) const {
  // One figure or field a line, each line ended by a line feed, as the
  // panel's own Copy All writes them.
  const char dp = DecimalPoint();
  const auto copy = [dp](float v) { return FormatNumber(v, kCopyFormat, dp); };
  std::string text;
  const auto line = [&text](const std::string& s) {
    text += s;
    text += '\n';
  };
  line(shown_ ? copy(shown_->value) : std::string());
  const float greeks[4] = {shown_ ? shown_->delta : 0, shown_ ? shown_->gamma : 0,
                           shown_ ? shown_->vega : 0, shown_ ? shown_->theta : 0};
  for (const float g : greeks) {
    line(shown_ ? copy(g) : std::string());
  }
  for (const std::string& field : fields) {
    line(field);
  }
  line(txt_barrier_->text().toStdString());
  line(txt_rebate_->text().toStdString());
  return text;
}

}  // namespace stratlyn
