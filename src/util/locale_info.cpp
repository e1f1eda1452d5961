#include "util/locale_info.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <optional>

namespace stratlyn {
namespace {

// Owns a locale_t from newlocale.
class LocaleHandle {
 public:
  explicit LocaleHandle(locale_t loc) : loc_(loc) {}
  ~LocaleHandle() {
    if (loc_ != static_cast<locale_t>(0)) {
      freelocale(loc_);
    }
  }
  LocaleHandle(const LocaleHandle&) = delete;
  LocaleHandle& operator=(const LocaleHandle&) = delete;
  locale_t get() const { return loc_; }
  // Replaces the categories in `mask` by those of `name` ("" = the
  // environment's); keeps the old ones when that locale is not available.
  void Merge(int mask, const char* name) {
    locale_t merged = newlocale(mask, name, loc_);
    if (merged != static_cast<locale_t>(0)) {
      loc_ = merged;
    }
  }

 private:
  locale_t loc_;
};

EntryLocale Read(locale_t loc) {
  EntryLocale info;
  info.decimal_point = nl_langinfo_l(RADIXCHAR, loc);
  if (info.decimal_point.empty()) {
    info.decimal_point = ".";
  }
  info.thousands_sep = nl_langinfo_l(THOUSEP, loc);
  const std::string currency = nl_langinfo_l(CRNCYSTR, loc);
  // CRNCYSTR: "-" before, "+" after, "." in place of the decimal point.
  if (!currency.empty()) {
    info.currency_before = currency[0] != '+';
    info.currency_symbol = currency.substr(1);
  }
  const std::string date_format = nl_langinfo_l(D_FMT, loc);
  if (!date_format.empty()) {
    info.date_format = date_format;
  }
  for (int m = 0; m < 12; ++m) {
    info.month_names[m] = nl_langinfo_l(static_cast<nl_item>(MON_1 + m), loc);
    info.month_abbrevs[m] = nl_langinfo_l(static_cast<nl_item>(ABMON_1 + m), loc);
  }
  return info;
}

std::optional<EntryLocale>& Installed() {
  static std::optional<EntryLocale> installed;
  return installed;
}

}  // namespace

EntryLocale EntryLocale::FromName(const std::string& name) {
  LocaleHandle loc(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0)));
  if (loc.get() == static_cast<locale_t>(0)) {
    return EntryLocale{};
  }
  loc.Merge(LC_NUMERIC_MASK | LC_MONETARY_MASK | LC_TIME_MASK, name.c_str());
  return Read(loc.get());
}

EntryLocale EntryLocale::FromEnvironment() {
  LocaleHandle loc(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0)));
  if (loc.get() == static_cast<locale_t>(0)) {
    return EntryLocale{};
  }
  // One category at a time, so that one unavailable locale does not take
  // the others with it.
  loc.Merge(LC_NUMERIC_MASK, "");
  loc.Merge(LC_MONETARY_MASK, "");
  loc.Merge(LC_TIME_MASK, "");
  return Read(loc.get());
}

const EntryLocale& CurrentEntryLocale() {
  auto& installed = Installed();
  if (!installed) {
    installed = EntryLocale::FromEnvironment();
  }
  return *installed;
}

void SetEntryLocale(const EntryLocale& locale) { Installed() = locale; }

void ResetEntryLocale() { Installed().reset(); }

const EntryLocale& PageLocale() {
  static const EntryLocale page = [] {
    EntryLocale l;
    l.decimal_point = ".";
    l.thousands_sep = ",";
    l.currency_symbol = "$";
    l.currency_before = true;
    l.date_format = "%m/%d/%Y";
    std::copy(kEnglishMonthNames.begin(), kEnglishMonthNames.end(), l.month_names.begin());
    l.month_abbrevs = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return l;
  }();
  return page;
}

}  // namespace stratlyn
