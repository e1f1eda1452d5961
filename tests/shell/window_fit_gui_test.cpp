// The main window on common screens: at 1024x768, 1366x768 and 1920x1080
// (and, run with QT_SCALE_FACTOR=2, 1920x1080 at 200 %), with every panel
// at both display sizes, every visible control lies inside the window or
// inside the scrolled pane, no two visible controls overlap, and the
// browsers keep their least sizes with their buttons in view. The splitters
// move the room between the pane and the browsers.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QWebEngineView>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "analytics/ucrisk_widget.h"
#include "calculator/barrier_widget.h"
#include "calculator/ucbsop_widget.h"
#include "charts/qt_canvas.h"
#include "shell/calc_main_widget.h"
#include "shell/qt_web_browser.h"
#include "support/fake_services.h"
#include "support/gui_wait.h"

namespace stratlyn {
namespace {

struct Screen {
  const char* name;
  int width, height;  // physical pixels
};

// Test names and messages name the screen.
void PrintTo(const Screen& s, std::ostream* os) { *os << s.name; }

// A desktop's panel takes this much of the screen's height.
constexpr int kTaskbar = 40;

bool IsControl(const QWidget* w) {
  return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
         qobject_cast<const QComboBox*>(w) || qobject_cast<const QLabel*>(w) ||
         qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QSlider*>(w) ||
         qobject_cast<const QProgressBar*>(w) || qobject_cast<const QWebEngineView*>(w) ||
         qobject_cast<const QtCanvas*>(w);
}

// The controls a person sees: visible, and not a part of another control
// (a combo box's line edit, a table's headers).
std::vector<QWidget*> VisibleControls(QWidget* root, QWidget* window) {
  std::vector<QWidget*> out;
  for (QWidget* w : root->findChildren<QWidget*>()) {
    if (!IsControl(w) || !w->isVisibleTo(window)) {
      continue;
    }
    bool part = false;
    for (QWidget* p = w->parentWidget(); p != nullptr && p != root; p = p->parentWidget()) {
      part = part || IsControl(p) || qobject_cast<QScrollArea*>(p) != nullptr;
    }
    if (!part) {
      out.push_back(w);
    }
  }
  return out;
}

std::string Describe(const QWidget* w, const QRect& r) {
  QString text;
  if (auto* b = qobject_cast<const QAbstractButton*>(w)) text = b->text();
  if (auto* l = qobject_cast<const QLabel*>(w)) text = l->text();
  return (w->metaObject()->className() + QString(" '") + w->objectName() + "' \"" + text.left(20) +
          "\" " + QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()))
      .toStdString();
}

// Checks one layer: every control inside `bounds` (in `frame`'s coordinates)
// and no two overlapping.
void CheckLayer(const std::vector<QWidget*>& controls, QWidget* frame, const QRect& bounds,
                const std::string& where) {
  std::vector<QRect> rects;
  for (QWidget* c : controls) {
    const QRect r(c->mapTo(frame, QPoint(0, 0)), c->size());
    rects.push_back(r);
    EXPECT_TRUE(bounds.contains(r)) << where << ": outside " << bounds.width() << "x"
                                    << bounds.height() << ": " << Describe(c, r);
  }
  for (size_t i = 0; i < rects.size(); ++i) {
    for (size_t j = i + 1; j < rects.size(); ++j) {
      EXPECT_FALSE(rects[i].intersects(rects[j]))
          << where << ": overlap " << Describe(controls[i], rects[i]) << " and "
          << Describe(controls[j], rects[j]);
    }
  }
}

// Lets the window's posted layout and resize events run.
void Settle() {
  testing::WaitFor([] { return false; }, 30);
}

void CheckWindow(calcMain& window, const std::string& where) {
  Settle();
  // Pictures to look at, when asked for.
  if (const char* dir = std::getenv("STRATLYN_SHOT_DIR")) {
    QString name = QString::fromStdString(where);
    name.replace(QRegularExpression("[^A-Za-z0-9.]+"), "_");
    window.grab().save(QString(dir) + "/" + name + ".png");
  }
  QWidget* client = window.ClientArea();
  QScrollArea* pane = window.PaneArea();
  QWidget* host = pane->widget();
  // The window's own controls, the pane counting as one of them.
  std::vector<QWidget*> outer;
  for (QWidget* c : VisibleControls(client, &window)) {
    if (!host->isAncestorOf(c)) {
      outer.push_back(c);
    }
  }
  outer.push_back(pane);
  CheckLayer(outer, client, client->rect(), where + " window");
  // The panel's controls: reachable by scrolling the pane.
  CheckLayer(VisibleControls(host, &window), host, host->rect(), where + " panel");
  // The pane shows the whole panel, or scrolls to the rest of it.
  const QWidget* panel = window.currentPanel();
  const bool scrolls_h = pane->horizontalScrollBar()->maximum() > 0;
  const bool scrolls_v = pane->verticalScrollBar()->maximum() > 0;
  EXPECT_TRUE(scrolls_h || pane->viewport()->width() >= panel->width()) << where;
  EXPECT_TRUE(scrolls_v || pane->viewport()->height() >= panel->height()) << where;
  // Both browsers keep a useful size.
  EXPECT_GE(window.Browser1()->width(), 150) << where;
  EXPECT_GE(window.Browser1()->height(), 80) << where;
  EXPECT_GE(window.Browser2()->height(), 70) << where;
  EXPECT_GE(window.cmbNavigate()->width(), 150) << where;
}

class WindowFit : public ::testing::TestWithParam<Screen> {};

TEST_P(WindowFit, EveryPanelAtBothDisplaysFitsWithoutOverlaps) {
  const Screen s = GetParam();
  const qreal dpr = QGuiApplication::primaryScreen()->devicePixelRatio();
  const QRect avail(0, 0, static_cast<int>(s.width / dpr),
                    static_cast<int>((s.height - kTaskbar) / dpr));
  testing::FakeServices fakes;
  calcMain window;
  window.SetScreenArea(avail);
  window.Form_Load();
  // A barrier kind chosen: the level and rebate fields are shown too.
  window.ucBSOP1()->Barrier().cmbBarrier()->setCurrentIndex(1);
  const std::string at = std::string(s.name) + " at " + std::to_string(dpr) + "x";
  ASSERT_LE(window.width(), avail.width()) << at;
  ASSERT_LE(window.height(), avail.height()) << at;

  // The start-up display is the largest at which the calculator needs no
  // scrolling: the large one only on the full-HD screen at 100 %.
  Settle();
  const bool large = window.ucBSOP1()->ucWidth() > ucBSOP::kDesignWidth;
  EXPECT_EQ(large, s.width == 1920 && dpr == 1) << at;
  QScrollArea* pane = window.PaneArea();
  if (large) {
    EXPECT_EQ(pane->size(), window.ucBSOP1()->size()) << at;
  } else {
    window.mnuOptionsLargeDisplay_Click();
    Settle();
    EXPECT_TRUE(pane->width() < window.ucBSOP1()->width() ||
                pane->height() < window.ucBSOP1()->height())
        << at << ": the large display would have fitted";
    window.mnuOptionsNormalDisplay_Click();
  }
  CheckWindow(window, at + " start");

  struct Switch {
    const char* name;
    void (calcMain::*press)();
  };
  const Switch switches[] = {{"calculator", &calcMain::cmdCalc_Click},
                             {"analytics", &calcMain::cmdRisk_Click},
                             {"sensitivity", &calcMain::cmdSensitivity_Click},
                             {"strategy", &calcMain::cmdStrategy_Click}};
  for (const Switch& sw : switches) {
    (window.*sw.press)();
    window.mnuOptionsLargeDisplay_Click();
    CheckWindow(window, at + " " + sw.name + " large");
    window.mnuLayout0_Click();
    CheckWindow(window, at + " " + sw.name + " large, bottom reduced");
    window.mnuLayout1_Click();
    window.mnuOptionsNormalDisplay_Click();
    CheckWindow(window, at + " " + sw.name + " normal");
  }
  EXPECT_EQ(fakes.dialogs.Count(), 0u) << fakes.dialogs.LastText();
  window.close();
}

INSTANTIATE_TEST_SUITE_P(Screens, WindowFit,
                         ::testing::Values(Screen{"1024x768", 1024, 768},
                                           Screen{"1366x768", 1366, 768},
                                           Screen{"1920x1080", 1920, 1080}),
                         [](const auto& info) {
                           return std::string("W") + std::to_string(info.param.width);
                         });

TEST(WindowSplitters, DraggingSharesTheRoomAndKeepsTheLeastSizes) {
  testing::FakeServices fakes;
  calcMain window;
  window.resize(1200, 800);
  window.Form_Load();
  window.mnuOptionsLargeDisplay_Click();
  QScrollArea* pane = window.PaneArea();
  const QSize panel = window.currentPanel()->size();
  const int b1_width = window.Browser1()->width();

  // Dragging the column splitter left narrows the pane (which then scrolls)
  // and widens the top browser by as much.
  window.DragColumnSplitter(-200);
  Settle();
  EXPECT_NEAR(window.Browser1()->width(), b1_width + 200, 2);
  EXPECT_LT(pane->width(), panel.width());
  EXPECT_GT(pane->horizontalScrollBar()->maximum(), 0);
  const int b2_top = window.Browser2()->y();
  // The row splitter up: the bottom browser grows and the pane scrolls.
  window.DragRowSplitter(-150);
  Settle();
  EXPECT_NEAR(window.Browser2()->y(), b2_top - 150, 2);
  EXPECT_GT(pane->verticalScrollBar()->maximum(), 0);
  CheckWindow(window, "dragged");

  // Dragged far past the ends, the least sizes hold.
  window.DragColumnSplitter(5000);
  EXPECT_GE(window.Browser1()->width(), 150);
  window.DragColumnSplitter(-5000);
  EXPECT_GE(pane->width(), 300);
  window.DragRowSplitter(5000);
  EXPECT_GE(window.Browser2()->height(), 70);
  window.DragRowSplitter(-5000);
  EXPECT_GE(pane->height(), 80);
  CheckWindow(window, "dragged to the ends");

  // A display change gives the pane the panel's size again.
  window.mnuOptionsLargeDisplay_Click();
  EXPECT_EQ(pane->size(), panel);
  window.close();
}

}  // namespace
}  // namespace stratlyn
