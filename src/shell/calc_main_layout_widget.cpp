// calcMain's layout: the pane that shows the panel, the two browsers and
// their buttons around it, the splitter handles the user drags, the display
// size and the bottom window's width.

#include <QComboBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <functional>

#include "shell/calc_main_widget.h"
#include "shell/qt_calc_main_geometry.h"
#include "shell/qt_web_browser.h"
#include "util/error_handler.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

using namespace calc_main;

namespace {

constexpr const char* kResizeError =
    "Error resizing the display.  This usually occurs if you make the window too small.   The "
    "system error message is ";
// Splitter handles, in pixels: thick enough to take with the mouse.
constexpr int kSplitterThickness = 6;

// Applies the properties a placement gives; the others stay.
void Apply(QWidget* w, const Placement& p) {
  Rect r = BoxTwips(w);
  if (p.left) {
    r.left = *p.left;
  }
  if (p.top) {
    r.top = *p.top;
  }
  if (p.width) {
    r.width = *p.width;
  }
  if (p.height) {
    r.height = *p.height;
  }
  SetBoxTwips(w, r);
}

// A bar the user drags to share the window between the pane and a browser.
class SplitterHandle : public QWidget {
 public:
  SplitterHandle(Qt::Orientation orientation, std::function<void(int)> dragged, QWidget* parent)
      : QWidget(parent), orientation_(orientation), dragged_(std::move(dragged)) {
    setCursor(orientation == Qt::Vertical ? Qt::SplitHCursor : Qt::SplitVCursor);
    setToolTip("Drag to share the room between the panel and the browser");
  }

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) {
      last_ = e->globalPosition().toPoint();
      dragging_ = true;
    }
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (!dragging_) {
      return;
    }
    const QPoint now = e->globalPosition().toPoint();
    const int delta = orientation_ == Qt::Vertical ? now.x() - last_.x() : now.y() - last_.y();
    last_ = now;
    if (delta != 0) {
      dragged_(delta);
    }
  }
  void mouseReleaseEvent(QMouseEvent*) override { dragging_ = false; }

 private:
  Qt::Orientation orientation_;  // Vertical: a bar between two columns
  std::function<void(int)> dragged_;
  QPoint last_;
  bool dragging_ = false;
};

// Runs one statement of a step whose errors are ignored one by one.
template <typename F>
void IgnoringErrors(F&& statement) {
  try {
    statement();
  } catch (...) {
  }
}

}  // namespace

void calcMain::CreateSplitters() {
  split_columns_ = new SplitterHandle(
      Qt::Vertical, [this](int dx) { DragColumnSplitter(dx); }, client_);
  split_columns_->setObjectName("columnSplitter");
  split_rows_ = new SplitterHandle(
      Qt::Horizontal, [this](int dy) { DragRowSplitter(dy); }, client_);
  split_rows_->setObjectName("rowSplitter");
  split_columns_->hide();
  split_rows_->hide();
}

void calcMain::SetPanelSize(QWidget* panel) {
  // The panel's own size, or more where a control reaches past it (the
  // large display stretches positions more than the panel's height), so
  // that the pane scrolls to every control.
  const QRect controls = panel->childrenRect();
  panel_box_.width = std::max(panel_box_.width, PixelsToTwips(controls.right() + 1));
  panel_box_.height = std::max(panel_box_.height, PixelsToTwips(controls.bottom() + 1));
  const QSize size(TwipsToPixels(panel_box_.width), TwipsToPixels(panel_box_.height));
  panel->setGeometry(QRect(QPoint(0, 0), size));
  pane_host_->resize(size);
}

void calcMain::PlacePanel(const Panel& panel) {
  panel_box_.left = kPanelLeft;
  AppEvents().ProcessPending();
  panel_box_.top = kLine1.y1 + kLine1BorderWidth + 10;
  panel_box_.width = panel.uc_width();
  panel_box_.height = panel.uc_height();
  SetPanelSize(panel.widget);
  current_ = panel.widget;
  ShowMenuChecks();
  // A new panel starts at its own size: the splitters' last positions were
  // for the one before.
  user_pane_width_.reset();
  user_pane_height_.reset();
  pane_area_->horizontalScrollBar()->setValue(0);
  pane_area_->verticalScrollBar()->setValue(0);
}

PaneInput calcMain::MakePaneInput() const {
  PaneInput in;
  in.panel = panel_box_;
  in.client_width = PixelsToTwips(client_->width());
  in.client_height = PixelsToTwips(client_->height());
  in.user_width = user_pane_width_;
  in.user_height = user_pane_height_;
  in.scroll_bar = PixelsToTwips(pane_area_->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  in.navigate_height = kNavigateHeight;
  // The buttons above the pane, and the top browser's three buttons, stay in view.
  in.min_pane_width = std::max(in.min_pane_width, kCmdChain.left + kCmdChain.width);
  in.min_browser1_width =
      std::max(in.min_browser1_width, BoxTwips(cmd_back_).width + BoxTwips(cmd_forward_).width +
                                          BoxTwips(cmd_stop_).width + 50);
  return in;
}

void calcMain::DragColumnSplitter(int dx) {
  if (current_ == nullptr) {
    return;
  }
  user_pane_width_ = pane_box_.width + PixelsToTwips(dx);
  LayOut(false);
}

void calcMain::DragRowSplitter(int dy) {
  if (current_ == nullptr) {
    return;
  }
  user_pane_height_ = pane_box_.height + PixelsToTwips(dy);
  LayOut(false);
}

void calcMain::ApplyLayout(const BrowserLayout& l) {
  Apply(browser1_, l.browser1);
  Apply(cmd_back_, l.cmd_back);
  Apply(cmd_forward_, l.cmd_forward);
  Apply(cmd_stop_, l.cmd_stop);
  Apply(cmb_navigate_, l.navigate);
  Apply(cmd_bot_back_, l.bot_back);
  Apply(cmd_bot_forward_, l.bot_forward);
  Apply(browser2_, l.browser2);
}

void calcMain::LayOut(bool let_events_run) {
  if (current_ == nullptr || isMinimized()) {
    return;
  }
  try {
    const PaneInput pane_in = MakePaneInput();
    client_->setMinimumSize(TwipsToPixels(MinClientWidth(pane_in)),
                            TwipsToPixels(MinClientHeight(pane_in)));
    pane_box_ = FitPane(pane_in);
    SetBoxTwips(pane_area_, pane_box_);
    LayoutInput in;
    in.panel = pane_box_;
    in.client_width = PixelsToTwips(client_->width());
    in.client_height = PixelsToTwips(client_->height());
    in.bottom_expanded = bottomExpanded != 0;
    in.browser1_top = kBrowser1Top;
    in.back_width = BoxTwips(cmd_back_).width;
    in.forward_width = BoxTwips(cmd_forward_).width;
    in.bot_back_width = BoxTwips(cmd_bot_back_).width;
    in.bot_forward_width = BoxTwips(cmd_bot_forward_).width;
    in.navigate_height = kNavigateHeight;
    in.navigate_width = BoxTwips(cmb_navigate_).width;
    last_layout_ = stratlyn::PositionBrowsers(in);
    ApplyLayout(last_layout_);
    const SplitterHandles handles =
        PlaceSplitterHandles(pane_box_, last_layout_, in.client_width, in.client_height,
                             in.bottom_expanded, PixelsToTwips(kSplitterThickness));
    SetBoxTwips(split_columns_, handles.columns);
    SetBoxTwips(split_rows_, handles.rows);
    split_columns_->show();
    split_rows_->show();
    split_columns_->raise();
    split_rows_->raise();
    if (let_events_run) {
      AppEvents().ProcessPending();
    }
  } catch (const zelError& e) {
    // Not RunCommand: a layout fault is told as a resize error with the
    // number's text only, never with ErrorHandler's library offers.
    AppDialogs().Critical(kResizeError + ErrorText(e.Number()));
  } catch (const std::exception&) {
    AppDialogs().Critical(kResizeError + ErrorText(51));
  }
}

void calcMain::PositionBrowsers() { LayOut(true); }

bool calcMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == client_ && event->type() == QEvent::Resize) {
    // Resizing lays the window out again; events need not run from inside
    // the resize itself.
    LayOut(false);
  }
  return QMainWindow::eventFilter(watched, event);
}

void calcMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::PaletteChange && label1_ != nullptr) {
    ShowTitleColour();
  }
  if (event->type() == QEvent::WindowStateChange && !isMinimized()) {
    LayOut(false);
  }
}

void calcMain::DisplayStep(bool enlarge) {
  const Panel* panel = CurrentPanelOps();
  if (panel == nullptr) {
    return;
  }
  IgnoringErrors([&] { enlarge ? panel->enlarge() : panel->reduce(); });
  IgnoringErrors([&] {
    panel_box_.width = panel->uc_width();
    panel_box_.height = panel->uc_height();
    SetPanelSize(panel->widget);
    user_pane_width_.reset();
    user_pane_height_.reset();
  });
  ShowMenuChecks();
  IgnoringErrors([&] { PositionBrowsers(); });
}

void calcMain::mnuOptionsLargeDisplay_Click() { DisplayStep(true); }
void calcMain::mnuOptionsNormalDisplay_Click() { DisplayStep(false); }

void calcMain::mnuLayout1_Click() {
  bottomExpanded = 1;
  ShowMenuChecks();
  PositionBrowsers();
}

void calcMain::mnuLayout0_Click() {
  bottomExpanded = 0;
  ShowMenuChecks();
  PositionBrowsers();
}

}  // namespace stratlyn
