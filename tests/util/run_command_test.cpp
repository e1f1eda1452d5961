#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

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

TEST(RunCommand, AHandlerTellsItsOwnErrorsAndPassesOnTheRest) {
  testing::FakeServices services;
  std::vector<std::string> told;
  int cleanups = 0;
  const auto own = [&](const std::exception& e) {
    if (dynamic_cast<const std::invalid_argument*>(&e) == nullptr) {
      return false;
    }
    EXPECT_EQ(cleanups, 1) << "asked after the clean-up";
    told.push_back(e.what());
    return true;
  };
  EXPECT_FALSE(
      RunCommand([] { throw std::invalid_argument("the strike is 0"); }, [&] { ++cleanups; }, own));
  EXPECT_EQ(told, std::vector<std::string>{"the strike is 0"});
  EXPECT_EQ(services.dialogs.Count(), 0u) << "told once, by the handler only";
  // An error it does not claim reaches ErrorHandler as before.
  cleanups = 0;
  EXPECT_FALSE(RunCommand([] { throw zelError(err::kOverflow); }, [&] { ++cleanups; }, own));
  EXPECT_EQ(cleanups, 1);
  EXPECT_EQ(told.size(), 1u);
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_NE(services.dialogs.LastText().find(ErrorText(err::kOverflow)), std::string::npos);
  EXPECT_TRUE(RunCommand([] {}, [&] { ++cleanups; }, own));
  EXPECT_EQ(cleanups, 1);
}

}  // namespace
}  // namespace stratlyn
