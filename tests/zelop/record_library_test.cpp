// The records' library operations: GetBSOPDLL, GetBAWDLL and CalcBarrDLL.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "pricing/zel_barr.h"
#include "pricing/zel_bsop.h"
#include "pricing/zelop_loader.h"
#include "support/fake_services.h"
#include "util/zel_error.h"
#include "zelop/zelop_api.h"

namespace stratlyn {
namespace {

using testing::FakeServices;

class RecordLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadZelopLibrary(STRATLYN_ZELOP_PATH)); }
  void TearDown() override {
    SetZelopSearchPathForTesting("");
    LoadZelopLibrary(STRATLYN_ZELOP_PATH);
  }
  // Makes the library impossible to find.
  static void HideLibrary() {
    UnloadZelopLibrary();
    SetZelopSearchPathForTesting("/nonexistent-stratlyn-folder");
  }

  FakeServices fakes;
};

zelBSOP Call() {
  zelBSOP o;
  o.SetOptionData(1, o.strType);
  o.SetOptionData(52, o.strUnderlying);
  o.SetOptionData(0.02f, o.strDvl);
  return o;
}

TEST_F(RecordLibraryTest, EuropeanFiguresComeFromTheLibrary) {
  zelBSOP o = Call();
  const auto bsop = reinterpret_cast<ZelopBsopFn>(ZelopSymbol("bsop"));
  const double expected = bsop(1, 0.1f, 0.25f, 50, 52, 0.25, 0.02f);
  EXPECT_EQ(o.GetBSOPDLL(o.strOptionPrice), static_cast<float>(expected));
  // Close to the record's own formula, which uses its polynomial normal.
  EXPECT_NEAR(o.GetBSOPDLL("opr"), o.GetOptionData("opr"), 1e-3);
  EXPECT_NEAR(o.GetBSOPDLL("delta"), o.GetOptionData("delta"), 1e-4);
  EXPECT_NEAR(o.GetBSOPDLL("gamma"), o.GetOptionData("gamma"), 1e-4);
  EXPECT_NEAR(o.GetBSOPDLL("vega"), o.GetOptionData("vega"), 1e-3);
  EXPECT_NEAR(o.GetBSOPDLL("theta"), o.GetOptionData("theta"), 1e-3);
  // Rho is the record's own.
  EXPECT_EQ(o.GetBSOPDLL("rho"), o.GetOptionData("rho"));
  EXPECT_EQ(o.GetBSOPDLL("price"), 0.0f);
  EXPECT_FALSE(o.myError);
  // One pending-events call after every dispatch.
  EXPECT_EQ(fakes.events.pending_calls, 8);

  o.SetOptionData(o.GetBSOPDLL("opr"), o.strOptionPrice);
  o.SetOptionData(0.6f, o.strVolatility);
  EXPECT_NEAR(o.GetBSOPDLL("impvol"), 0.25f, 1e-6);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

TEST_F(RecordLibraryTest, MissingPriceAsksWhetherToStop) {
  zelBSOP o = Call();
  fakes.dialogs.Answer(MsgAnswer::Yes);
  EXPECT_EQ(o.GetBSOPDLL(o.strImpliedVolatility), -9999.0f);
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  const auto& box = fakes.dialogs.Last();
  EXPECT_EQ(box.text,
            "Invalid option price (0.0000).  Do you want to stop calculating volatilities?");
  EXPECT_EQ(box.buttons, MsgButtons::YesNo);
  EXPECT_EQ(box.icon, MsgIcon::None);
  EXPECT_EQ(box.title, "Quorvale");
  fakes.dialogs.Answer(MsgAnswer::No);
  EXPECT_EQ(o.GetBSOPDLL(o.strImpliedVolatility), 0.0f);
  EXPECT_EQ(fakes.events.pending_calls, 0);
  EXPECT_FALSE(o.myError);

  // The American path says so with a critical box instead.
  EXPECT_EQ(o.GetBAWDLL(o.strImpliedVolatility), 0.0f);
  EXPECT_EQ(fakes.dialogs.Last().text, "Invalid option price (0.0000)");
  EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Critical);
}

TEST_F(RecordLibraryTest, InvalidInputsGiveZeroAfterTheMessage) {
  zelBSOP o = Call();
  o.SetOptionData(0, o.strMaturity);
  EXPECT_EQ(o.GetBSOPDLL("opr"), 0.0f);
  EXPECT_EQ(fakes.dialogs.LastText(), "Invalid maturity (0.0000)");
  EXPECT_EQ(o.GetBAWDLL("opr"), 0.0f);
  EXPECT_EQ(fakes.dialogs.Count(), 2u);
  o.SetOptionData(0.25f, o.strMaturity);
  o.SetOptionData(0, o.strStrike);
  EXPECT_EQ(o.GetBAWDLL("delta"), 0.0f);
  EXPECT_EQ(fakes.dialogs.LastText(), "Invalid strike price (0.0000)");
}

TEST_F(RecordLibraryTest, AmericanFiguresFromTheLibrary) {
  zelBSOP o;
  o.SetOptionData(2, o.strType);
  o.SetOptionData(50, o.strUnderlying);
  const float american = o.GetBAWDLL("opr");
  // Near the lattice's 2.0140 for the same put, above its European value.
  EXPECT_NEAR(american, 2.0140f, 0.02);
  EXPECT_GT(american, o.GetOptionData("opr"));
  EXPECT_LT(o.GetBAWDLL("delta"), 0.0f);
  EXPECT_GT(o.GetBAWDLL("gamma"), 0.0f);
  EXPECT_GT(o.GetBAWDLL("vega"), 0.0f);
  EXPECT_EQ(o.GetBAWDLL("rho"), o.GetOptionData("rho"));
  EXPECT_EQ(fakes.events.pending_calls, 0);
}

TEST_F(RecordLibraryTest, MissingLibraryIsTrappedOnlyByGetBSOPDLL) {
  HideLibrary();
  zelBSOP o = Call();
  EXPECT_EQ(o.GetBSOPDLL("opr"), -9999.0f);
  EXPECT_TRUE(o.myError);
  // The error handler spoke about the missing file.
  ASSERT_GE(fakes.dialogs.Count(), 1u);
  EXPECT_NE(fakes.dialogs.Shown().front().text.find("libzelop32.so"), std::string::npos);
  // A later successful call clears the flag.
  SetZelopSearchPathForTesting("");
  ASSERT_TRUE(LoadZelopLibrary(STRATLYN_ZELOP_PATH));
  EXPECT_GT(o.GetBSOPDLL("opr"), 0.0f);
  EXPECT_FALSE(o.myError);

  HideLibrary();
  try {
    o.GetBAWDLL("opr");
    ADD_FAILURE() << "no error";
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), err::kFileNotFound);
  }
  zelBarr b;
  EXPECT_THROW(b.CalcBarrDLL(b.AMERVANILLA), zelError);
}

TEST_F(RecordLibraryTest, CalcBarrDLLRoundsThroughItsFormats) {
  zelBarr b;
  b.SetOptionData(50.0, b.strUnderlying);
  b.SetOptionData(b.FLAG, b.strType);
  b.CalcBarrDLL(b.AMERVANILLA);
  EXPECT_NEAR(b.GetOptionData("opr"), 2.0140f, 0.01);
  const float delta = b.GetOptionData("delta");
  EXPECT_LT(delta, 0.0f);
  EXPECT_NEAR(delta * 1e5, std::nearbyint(delta * 1e5), 1e-2);  // at most five decimals
  EXPECT_NEAR(b.GetOptionData("gamma") * 1e5, std::nearbyint(b.GetOptionData("gamma") * 1e5), 1e-2);
  EXPECT_FLOAT_EQ(b.GetOptionData("impvol"), 0.25f);  // four decimals of the input

  // The lattice's implied volatility of its own price.
  const float price = b.GetOptionData("opr");
  b.SetOptionData(price, b.strOptionPrice);
  b.SetOptionData(0.4, b.strVolatility);
  b.CalcBarrDLL(b.AMERVANVOL);
  EXPECT_NEAR(b.GetOptionData("impvol"), 0.25f, 1e-4);
}

TEST_F(RecordLibraryTest, CalcBarrDLLPricesBarrierCodesAtTheRecordsBarrier) {
  zelBarr b;
  b.SetOptionData(50.0, b.strUnderlying);
  b.SetOptionData(45.0, b.strBarrier);
  b.CalcBarrDLL(b.EURODOWNOUT);
  const float at_45 = b.GetOptionData("opr");
  b.CalcBarrDLL(b.EURODOWNIN);
  const float in_45 = b.GetOptionData("opr");
  b.SetOptionData(48.0, b.strBarrier);
  b.CalcBarrDLL(b.EURODOWNOUT);
  EXPECT_LT(b.GetOptionData("opr"), at_45);  // a nearer barrier knocks out more
  // Down-in plus down-out is near the record's own European call.
  zelBarr v;
  v.SetOptionData(50.0, v.strUnderlying);
  v.CalcBarr(v.EUROVANILLA);
  EXPECT_NEAR(at_45 + in_45, v.GetOptionData("opr"), 0.02);
  // A barrier code without a barrier level cannot be priced: a run-time error.
  b.SetOptionData(0.0, b.strBarrier);
  EXPECT_THROW(b.CalcBarrDLL(b.EURODOWNOUT), zelError);
}

// A price the library's lattice reaches at no volatility: -999 and no value
// figures, as on the record's lattice (a run-time error before).
TEST_F(RecordLibraryTest, CalcBarrDLLWithoutAnImpliedVolatilityReadsMinus999) {
  zelBarr b;
  b.SetOptionData(60.0, b.strUnderlying);
  b.SetOptionData(40.0, b.strBarrier);
  b.SetOptionData(5.0, b.strOptionPrice);  // below the exercise value of 10
  EXPECT_NO_THROW(b.CalcBarrDLL(b.AMERDOVOL));
  EXPECT_EQ(b.GetOptionData("impvol"), -999.0f);
  EXPECT_EQ(b.GetOptionData("opr"), 0.0f);
}

}  // namespace
}  // namespace stratlyn
