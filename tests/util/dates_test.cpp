// The locale's date order, reading dates, and years between two dates.

#include "util/dates.h"

#include <gtest/gtest.h>

#include "util/entry_locales.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

namespace chr = std::chrono;
using testing::CommaLocale;
using testing::DotLocale;
using testing::ScopedEntryLocale;

constexpr chr::year_month_day Ymd(int y, unsigned m, unsigned d) {
  return chr::year_month_day{chr::year{y}, chr::month{m}, chr::day{d}};
}

TEST(DetectDateFormat, FollowsTheShortDateOrderOfTheLocale) {
  {
    ScopedEntryLocale scope(DotLocale());
    DetectDateFormat();
    EXPECT_EQ(DateFormat, "mm/dd/yyyy");
    EXPECT_EQ(EntryText, "12/13/1999");
  }
  {
    ScopedEntryLocale scope(CommaLocale());
    DetectDateFormat();
    EXPECT_EQ(DateFormat, "dd/mm/yyyy");
    EXPECT_EQ(EntryText, "13.12.1999");
  }
  EntryLocale iso = DotLocale();
  iso.date_format = "%Y-%m-%d";
  ScopedEntryLocale scope(iso);
  DetectDateFormat();
  EXPECT_EQ(DateFormat, "dd/mm/yyyy");
  EXPECT_EQ(EntryText, "1999-12-13");
}

TEST(ParseDateText, ReadsTheLocaleOrderIsoAndMonthNames) {
  ScopedEntryLocale scope(DotLocale());
  EXPECT_EQ(ParseDateText("03/01/2025"), Ymd(2025, 3, 1));
  EXPECT_EQ(ParseDateText("13/12/1999"), Ymd(1999, 12, 13));  // cannot be month 13
  EXPECT_EQ(ParseDateText("2025-03-01"), Ymd(2025, 3, 1));
  EXPECT_EQ(ParseDateText("Mar 1, 2025"), Ymd(2025, 3, 1));
  EXPECT_EQ(ParseDateText("1 march 2025"), Ymd(2025, 3, 1));
  EXPECT_EQ(ParseDateText("1/2/29"), Ymd(2029, 1, 2));
  EXPECT_EQ(ParseDateText("1/2/30"), Ymd(1930, 1, 2));
  EXPECT_EQ(ParseDateText("2/29/2024"), Ymd(2024, 2, 29));
  for (const char* bad : {"", "abc", "1/2", "1/2/3/4", "2/29/2025", "13/13/2025", "0/1/2025",
                          "1/1/99999", "Foo 1, 2025", "Mar Apr 2025"}) {
    EXPECT_FALSE(ParseDateText(bad)) << '"' << bad << '"';
  }

  ScopedEntryLocale comma(CommaLocale());
  EXPECT_EQ(ParseDateText("03.01.2025"), Ymd(2025, 1, 3));
  EXPECT_EQ(ParseDateText("03/01/2025"), Ymd(2025, 1, 3));
  EXPECT_EQ(ParseDateText("12/13/1999"), Ymd(1999, 12, 13));
  EXPECT_EQ(ParseDateText("1. M\xC3\xA4rz 2025"), Ymd(2025, 3, 1));
  EXPECT_EQ(FormatShortDate(Ymd(2025, 3, 1)), "01.03.2025");
}

TEST(YearsBetweenDates, CountsDaysOver365AndRetriesWithDayAndMonthSwapped) {
  ScopedEntryLocale scope(CommaLocale());
  std::string end = "02.01.2025";
  EXPECT_FLOAT_EQ(YearsBetweenDates("01.01.2025", end), 1.0f / 365.0f);
  EXPECT_EQ(end, "02.01.2025");
  end = "01.01.2026";
  EXPECT_EQ(YearsBetweenDates("01.01.2024", end), static_cast<float>(731.0 / 365.0));

  // 03/01/2025 read day first is 3 January, before a February start: the
  // swap makes it 1 March.
  end = "03/01/2025";
  EXPECT_FLOAT_EQ(YearsBetweenDates("15.02.2025", end), 14.0f / 365.0f);
  EXPECT_EQ(end, "01.03.2025");

  // Only a date that reads both ways is swapped: a day above 12 is no month
  // (20 January once became 1 August of the next year, a past date priced as
  // 1.17 years), and a date with the year first or a month name is what it
  // says. Such a past date stays before the start, unchanged.
  for (const std::string past :
       {"20.01.2025", "2025-01-03", "2025-03-01", "3. Januar 2025", "13/01/2025", "01.13.2025"}) {
    end = past;
    EXPECT_LT(YearsBetweenDates("01.06.2025", end), 0.0f) << past;
    EXPECT_EQ(end, past);
  }
  // Both ways readable, the swap holds within the same year.
  end = "11.02.2026";
  EXPECT_FLOAT_EQ(YearsBetweenDates("30.06.2026", end), 125.0f / 365.0f);
  EXPECT_EQ(end, "02.11.2026");

  // Still before the start after the swap: no further correction.
  end = "05.01.2025";
  EXPECT_LT(YearsBetweenDates("01.12.2025", end), 0.0f);
  EXPECT_EQ(end, "01.05.2025");

  try {
    YearsBetweenDates("not a date", end);
    ADD_FAILURE() << "no error";
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), err::kTypeMismatch);
  }
}

}  // namespace
}  // namespace stratlyn
