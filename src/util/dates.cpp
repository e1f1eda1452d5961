#include "util/dates.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "util/locale_info.h"
#include "util/zel_error.h"

namespace stratlyn {

std::string DateFormat;
std::string EntryText;

namespace {

namespace chr = std::chrono;

enum class DateOrder { kMonthDayYear, kDayMonthYear, kYearMonthDay };

// The order of day, month and year in a strftime date format.
DateOrder OrderOf(const std::string& fmt) {
  size_t day = std::string::npos, month = std::string::npos, year = std::string::npos;
  for (size_t i = 0; i + 1 < fmt.size(); ++i) {
    if (fmt[i] != '%') {
      continue;
    }
    size_t j = i + 1;
    while (j < fmt.size() &&
           (fmt[j] == '-' || fmt[j] == '_' || fmt[j] == '0' || fmt[j] == 'E' || fmt[j] == 'O')) {
      ++j;
    }
    if (j >= fmt.size()) {
      break;
    }
    const char c = fmt[j];
    if (c == 'D') {
      return DateOrder::kMonthDayYear;
    }
    if (c == 'F') {
      return DateOrder::kYearMonthDay;
    }
    if ((c == 'd' || c == 'e') && day == std::string::npos) {
      day = i;
    }
    if ((c == 'm' || c == 'b' || c == 'B' || c == 'h') && month == std::string::npos) {
      month = i;
    }
    if ((c == 'y' || c == 'Y') && year == std::string::npos) {
      year = i;
    }
    i = j;
  }
  if (year < month && year < day) {
    return DateOrder::kYearMonthDay;
  }
  if (month < day) {
    return DateOrder::kMonthDayYear;
  }
  return DateOrder::kDayMonthYear;
}

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetterByte(char c) { return IsAsciiAlpha(c) || (static_cast<unsigned char>(c) & 0x80); }

std::string Lower(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return s;
}

struct Token {
  std::string text;
  bool digits;
};

// Runs of digits and runs of letters; everything else separates.
std::vector<Token> Tokenize(const std::string& s) {
  std::vector<Token> tokens;
  for (size_t i = 0; i < s.size();) {
    if (IsDigit(s[i])) {
      const size_t b = i;
      while (i < s.size() && IsDigit(s[i])) {
        ++i;
      }
      tokens.push_back({s.substr(b, i - b), true});
    } else if (IsLetterByte(s[i])) {
      const size_t b = i;
      while (i < s.size() && IsLetterByte(s[i])) {
        ++i;
      }
      tokens.push_back({s.substr(b, i - b), false});
    } else {
      ++i;
    }
  }
  return tokens;
}

constexpr const char* kEnglishMonths[12] = {"january",   "february", "march",    "april",
                                            "may",       "june",     "july",     "august",
                                            "september", "october",  "november", "december"};

// 1..12 for a month name or abbreviation (the locale's or English), else 0.
unsigned MonthByName(const std::string& word, const EntryLocale& loc) {
  const std::string w = Lower(word);
  if (w.empty()) {
    return 0;
  }
  for (unsigned m = 0; m < 12; ++m) {
    if (!loc.month_names[m].empty() && w == Lower(loc.month_names[m])) {
      return m + 1;
    }
    std::string abbrev = Lower(loc.month_abbrevs[m]);
    while (!abbrev.empty() && abbrev.back() == '.') {
      abbrev.pop_back();
    }
    if (!abbrev.empty() && w == abbrev) {
      return m + 1;
    }
    const std::string english = kEnglishMonths[m];
    if (w.size() >= 3 && english.compare(0, w.size(), w) == 0) {
      return m + 1;
    }
  }
  return 0;
}

// The year a written year stands for: two digits are 1930-2029.
int FullYear(const std::string& digits) {
  const int y = std::stoi(digits);
  if (digits.size() <= 2) {
    return y < 30 ? 2000 + y : 1900 + y;
  }
  return y;
}

std::optional<chr::year_month_day> Build(int y, unsigned m, unsigned d) {
  if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) {
    return std::nullopt;
  }
  const chr::year_month_day date{chr::year{y}, chr::month{m}, chr::day{d}};
  if (!date.ok()) {
    return std::nullopt;
  }
  return date;
}

std::string TwoDigits(unsigned n) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02u", n % 100);
  return buf;
}

}  // namespace

std::optional<chr::year_month_day> ParseDateText(const std::string& text) {
  const EntryLocale& loc = CurrentEntryLocale();
  const std::vector<Token> tokens = Tokenize(text);
  if (tokens.size() != 3) {
    return std::nullopt;
  }
  for (const Token& t : tokens) {
    if (t.digits && t.text.size() > 4) {
      return std::nullopt;
    }
  }

  // With a month name: the other two are day and year, in that order unless
  // the first is clearly a year.
  int named = -1;
  for (int k = 0; k < 3; ++k) {
    if (!tokens[k].digits) {
      if (named >= 0) {
        return std::nullopt;
      }
      named = k;
    }
  }
  if (named >= 0) {
    const unsigned m = MonthByName(tokens[named].text, loc);
    if (m == 0) {
      return std::nullopt;
    }
    std::vector<std::string> nums;
    for (int k = 0; k < 3; ++k) {
      if (k != named) {
        nums.push_back(tokens[k].text);
      }
    }
    if (nums[0].size() > 2) {
      std::swap(nums[0], nums[1]);
    }
    if (nums[0].size() > 2) {
      return std::nullopt;
    }
    return Build(FullYear(nums[1]), m, static_cast<unsigned>(std::stoi(nums[0])));
  }

  const std::string& a = tokens[0].text;
  const std::string& b = tokens[1].text;
  const std::string& c = tokens[2].text;
  if (a.size() > 2) {  // year first (ISO)
    return Build(FullYear(a), static_cast<unsigned>(std::stoi(b)),
                 static_cast<unsigned>(std::stoi(c)));
  }
  if (b.size() > 2) {
    return std::nullopt;
  }
  unsigned first = static_cast<unsigned>(std::stoi(a));
  unsigned second = static_cast<unsigned>(std::stoi(b));
  const int year = FullYear(c);
  const bool month_first = OrderOf(loc.date_format) == DateOrder::kMonthDayYear;
  unsigned month = month_first ? first : second;
  unsigned day = month_first ? second : first;
  // A "month" that cannot be one is read the other way round.
  if (month > 12 && day <= 12) {
    std::swap(month, day);
  }
  return Build(year, month, day);
}

std::string FormatShortDate(const chr::year_month_day& date) {
  const EntryLocale& loc = CurrentEntryLocale();
  const unsigned d = static_cast<unsigned>(date.day());
  const unsigned m = static_cast<unsigned>(date.month());
  const std::string year = std::to_string(static_cast<int>(date.year()));
  const std::string& fmt = loc.date_format;
  std::string out;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%' || i + 1 >= fmt.size()) {
      out.push_back(fmt[i]);
      continue;
    }
    size_t j = i + 1;
    bool unpadded = false;
    while (j + 1 < fmt.size() &&
           (fmt[j] == '-' || fmt[j] == '_' || fmt[j] == '0' || fmt[j] == 'E' || fmt[j] == 'O')) {
      unpadded = unpadded || fmt[j] == '-';
      ++j;
    }
    switch (fmt[j]) {
      case 'd':
        out += unpadded ? std::to_string(d) : TwoDigits(d);
        break;
      case 'e':
        out += d < 10 ? " " + std::to_string(d) : std::to_string(d);
        break;
      case 'm':
        out += unpadded ? std::to_string(m) : TwoDigits(m);
        break;
      case 'y':
      case 'Y':
        out += year;
        break;
      case 'b':
      case 'h':
        out += loc.month_abbrevs[m - 1];
        break;
      case 'B':
        out += loc.month_names[m - 1];
        break;
      case 'D':
        out += TwoDigits(m) + "/" + TwoDigits(d) + "/" + year;
        break;
      case 'F':
        out += year + "-" + TwoDigits(m) + "-" + TwoDigits(d);
        break;
      case '%':
        out += '%';
        break;
      default:
        out += fmt.substr(i, j - i + 1);
        break;
    }
    i = j;
  }
  return out;
}

void DetectDateFormat() {
  // 13 December 1999: in the short date form a month-first locale starts
  // with "12".
  EntryText = FormatShortDate(chr::year{1999} / chr::December / chr::day{13});
  DateFormat = EntryText.compare(0, 2, "12") == 0 ? kMonthFirst : kDayFirst;
}

namespace {

// A date of three numbers, the year last, whose first two could each be the
// day or the month (both 12 or less): only such a text can have been read
// with day and month the wrong way round. A day above 12 is no month (taken
// as one it would roll the date on into later years), and a date with the
// year first or a month name is not ambiguous.
bool CouldBeSwapped(const std::string& text) {
  const std::vector<Token> tokens = Tokenize(text);
  if (tokens.size() != 3) {
    return false;
  }
  for (const Token& t : tokens) {
    if (!t.digits) {
      return false;
    }
  }
  for (int k = 0; k < 2; ++k) {
    const std::string& t = tokens[static_cast<size_t>(k)].text;
    if (t.size() > 2 || std::stoi(t) > 12) {
      return false;
    }
  }
  return true;
}

}  // namespace

float YearsBetweenDates(const std::string& start, std::string& end) {
  const auto from = ParseDateText(start);
  const auto to = ParseDateText(end);
  if (!from || !to) {
    throw zelError(err::kTypeMismatch);
  }
  const auto years = [&](const chr::year_month_day& e) {
    return static_cast<float>(
        static_cast<double>((chr::sys_days{e} - chr::sys_days{*from}).count()) / 365.0);
  };
  float t = years(*to);
  if (t < 0.0f && CouldBeSwapped(end)) {
    // Day and month swapped: read the other way round.
    const chr::year_month_day swapped{to->year(), chr::month{static_cast<unsigned>(to->day())},
                                      chr::day{static_cast<unsigned>(to->month())}};
    end = FormatShortDate(swapped);
    t = years(swapped);
  }
  return t;
}

std::string FormatEntryDate(const chr::year_month_day& date) {
  if (DateFormat.empty()) {
    DetectDateFormat();
  }
  const unsigned d = static_cast<unsigned>(date.day());
  const unsigned m = static_cast<unsigned>(date.month());
  const std::string year = std::to_string(static_cast<int>(date.year()));
  const std::string text = DateFormat == kMonthFirst
                               ? TwoDigits(m) + "/" + TwoDigits(d) + "/" + year
                               : TwoDigits(d) + "/" + TwoDigits(m) + "/" + year;
  return IsDateText(text) ? text : FormatShortDate(date);
}

}  // namespace stratlyn
