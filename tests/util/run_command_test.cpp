#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "support/fake_services.h"
#include "util/error_handler.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

TEST(RunCommand, AThrownErrorEndsTheCommandAndIsShownOnceAfterTheCleanUp) {
  testing::FakeServices services;
  services.events.SetBusy(true);
  bool after_throw = false;
  bool busy_when_shown = true;
  size_t boxes_before_cleanup = 99;
  const bool ran = RunCommand(
      [&] {
        throw zelError(err::kOverflow);
        after_throw = true;  // never reached
      },
      [&] {
        boxes_before_cleanup = services.dialogs.Count();
        services.events.SetBusy(false);
        busy_when_shown = services.events.busy;
      });
  EXPECT_FALSE(ran);
  EXPECT_FALSE(after_throw);
  EXPECT_EQ(boxes_before_cleanup, 0u);  // the clean-up runs before the box
  EXPECT_FALSE(busy_when_shown);
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_NE(services.dialogs.LastText().find(ErrorText(err::kOverflow)), std::string::npos);
  EXPECT_EQ(services.dialogs.Last().icon, MsgIcon::Critical);

  // Any other exception is reported too, as an internal error.
  EXPECT_FALSE(RunCommand([] { throw std::logic_error("broken"); }));
  ASSERT_EQ(services.dialogs.Count(), 2u);
  EXPECT_NE(services.dialogs.LastText().find(ErrorText(51)), std::string::npos);

  // Work that runs through shows nothing and skips the clean-up.
  int cleanups = 0;
  int runs = 0;
  EXPECT_TRUE(RunCommand([&] { ++runs; }, [&] { ++cleanups; }));
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(cleanups, 0);
  EXPECT_EQ(services.dialogs.Count(), 2u);
}

}  // namespace
}  // namespace stratlyn
