#include <gtest/gtest.h>

#include <sstream>

#include "support/fake_services.h"
#include "util/fp_checks.h"
#include "util/terminal_services.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

TEST(Services, ScopedFakesAreInstalledAndRestored) {
  Dialogs* before = &AppDialogs();
  {
    testing::FakeServices fakes;
    fakes.dialogs.Answer(MsgAnswer::Yes);
    EXPECT_EQ(AppDialogs().Show("Go on?", MsgButtons::YesNo, MsgIcon::Question, kMessageTitle),
              MsgAnswer::Yes);
    AppDialogs().Critical("Invalid strike price (0.0000)");
    ASSERT_EQ(fakes.dialogs.Count(), 2u);
    EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Critical);
    EXPECT_EQ(fakes.dialogs.Last().title, "Quorvale");
    AppEvents().ProcessPending();
    EXPECT_EQ(fakes.events.pending_calls, 1);
  }
  EXPECT_EQ(&AppDialogs(), before);
}

TEST(Services, TerminalDialogsTakeTheCautiousAnswerWhenNotInteractive) {
  std::ostringstream out;
  TerminalDialogs dialogs(out, false);
  EXPECT_EQ(dialogs.Show("Correct the strike?", MsgButtons::YesNo, MsgIcon::Question, "Quorvale"),
            MsgAnswer::No);
  EXPECT_EQ(dialogs.Show("Start?", MsgButtons::OkCancel, MsgIcon::None, "Quorvale"),
            MsgAnswer::Cancel);
  EXPECT_NE(out.str().find("Correct the strike?"), std::string::npos);
  EXPECT_NE(out.str().find("answered No"), std::string::npos);
}

TEST(ZelError, NumbersCarryTheClassicTexts) {
  EXPECT_EQ(zelError(6).Description(), "Overflow");
  EXPECT_EQ(zelError(13).Description(), "Type mismatch");
  EXPECT_EQ(ErrorText(11), "Division by zero");
  EXPECT_EQ(zelError(53, "libzelop32.so not found").Number(), 53);
  EXPECT_THROW(CheckedLog(0.0), zelError);
  EXPECT_THROW(CheckedDiv(1.0, 0.0), zelError);
  EXPECT_THROW(ToSingle(1e300), zelError);
  EXPECT_FLOAT_EQ(ToSingle(0.1), 0.1f);
}

}  // namespace
}  // namespace stratlyn
