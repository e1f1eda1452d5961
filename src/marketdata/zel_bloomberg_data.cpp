#include "marketdata/zel_bloomberg_data.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "marketdata/civil_date.h"
#include "marketdata/fetch_error.h"
#include "marketdata/html_extract.h"
#include "marketdata/page_wait.h"
#include "util/dialogs.h"
#include "util/format.h"
#include "util/numeric_entry.h"
#include "util/services.h"
#include "util/sites.h"
#include "util/zel_error.h"

namespace stratlyn {

const char* const kFrbSeries[kFrbSeriesCount] = {
    "H15_TCMNOM_M3", "H15_TCMNOM_M6", "H15_TCMNOM_Y1",  "H15_TCMNOM_Y2",  "H15_TCMNOM_Y3",
    "H15_TCMNOM_Y5", "H15_TCMNOM_Y7", "H15_TCMNOM_Y10", "H15_TCMNOM_Y20", "H15_TCMNOM_Y30"};

namespace {

constexpr int kCurveSlots = 6;
constexpr std::array<const char*, kCurveSlots> kCurveNames = {
    "Bloomberg US Benchmarks",    "Bloomberg UK Benchmarks",         "Bloomberg German Benchmarks",
    "Bloomberg Japan Benchmarks", "Bloomberg Australian Benchmarks", ""};
constexpr std::array<const char*, kCurveSlots> kCurvePaths = {
    "/markets/rates/index.html", "/markets/rates/uk.html",        "/markets/rates/germany.html",
    "/markets/rates/japan.html", "/markets/rates/australia.html", ""};
// The section heading each benchmark page lists its government curve under.
constexpr std::array<const char*, 5> kCurveHeadings = {
    "U.S. TREASURIES", "U.K. GOVERNMENT BONDS", "GERMAN GOVERNMENT BONDS",
    "JAPANESE GOVERNMENT BONDS", "AUSTRALIAN GOVERNMENT BONDS"};
// Note and bond terms of series 2 to 9, in years.
constexpr std::array<int, kFrbSeriesCount> kTermYears = {0, 0, 1, 2, 3, 5, 7, 10, 20, 30};
constexpr std::string_view kRateFormat = "0.0000";

void CheckIndex(int i, int size) {
  if (i < 0 || i >= size) throw zelError(err::kSubscript);
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

}  // namespace

bool ReadPlainNumber(const std::string& raw, double& value) {
  const std::string s = Trim(raw);
  if (s.empty()) return false;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '+')
      return false;
  }
  // from_chars reads a dot in every locale (strtod would follow the one the
  // window sets up, and stop at the dot under a comma locale).
  const char* first = s.data() + (s[0] == '+' ? 1 : 0);
  double v = 0;
  const auto [ptr, ec] = std::from_chars(first, s.data() + s.size(), v, std::chars_format::fixed);
  if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

namespace {

bool ContainsNoCase(const std::string& text, const std::string& word) {
  return FindText(1, text, word) > 0;
}

// Hides the progress bar however the series loop ends.
struct ProgressDone {
  const std::function<void(int, int)>& progress;
  ~ProgressDone() {
    if (progress) progress(0, 0);
  }
};

}  // namespace

std::string FrbSeriesUrl(int index) {
  CheckIndex(index, kFrbSeriesCount);
  return sites::FrbUrl() + "/FRBData/" + kFrbSeries[index] + "_2010.txt";
}

std::string zelBloombergData::GetCurveName(int iCurve) const {
  CheckIndex(iCurve, kCurveSlots);
  return kCurveNames[static_cast<size_t>(iCurve)];
}

std::string zelBloombergData::GetCurveURL(int iCurve) const {
  CheckIndex(iCurve, kCurveSlots);
  const std::string path = kCurvePaths[static_cast<size_t>(iCurve)];
  return path.empty() ? std::string() : sites::RatesUrl() + path;
}

void zelBloombergData::SetnRates(int NN) {
  if (NN < 0) throw zelError(err::kSubscript);
  rates_.assign(static_cast<size_t>(NN) + 1, 0.0);
  dates_.assign(static_cast<size_t>(NN) + 1, 0.0);
  rates_set_ = false;
}

void zelBloombergData::SetRate(int ii, float rr, float tt) {
  CheckIndex(ii, static_cast<int>(rates_.size()));
  rates_[static_cast<size_t>(ii)] = rr;
  dates_[static_cast<size_t>(ii)] = tt;
  rates_set_ = true;
}

double zelBloombergData::GetRate(int iRate) const {
  CheckIndex(iRate, static_cast<int>(rates_.size()));
  return rates_[static_cast<size_t>(iRate)];
}

double zelBloombergData::GetDate(int iDate) const {
  CheckIndex(iDate, static_cast<int>(dates_.size()));
  return dates_[static_cast<size_t>(iDate)];
}

BrowserView& zelBloombergData::View() const {
  if (Browser == nullptr) throw zelError(err::kObjectNotSet);
  return *Browser;
}

std::string FormatRateCell(const std::string& cell) {
  std::string text = Trim(cell);
  // A dash alone is how rate pages show "no quote".
  if (text.empty() || text.find_first_not_of('-') == std::string::npos) return "0.00";
  // Rate pages write their figures with a dot whatever the user's locale.
  const auto value = ReadPageFigure(text);
  if (!value) {
    AppDialogs().Critical(kInvalidNumericEntry);
    return {};
  }
  return FormatNumber(*value, "0.00");
}

void zelBloombergData::ParseBloombergData(const Grid& grd) {
  std::vector<int> rows;
  for (int r = 1; r < grd.Rows(); ++r) {
    if (grd.Cols() > colPrice && !Trim(grd.TextMatrix(r, colTerm)).empty()) rows.push_back(r);
  }
  SetnRates(static_cast<int>(rows.size()));
  const int today_year = static_cast<int>(LocalDate(std::chrono::system_clock::now()).year());
  for (size_t i = 0; i < rows.size(); ++i) {
    const int r = rows[i];
    const std::string term = grd.TextMatrix(r, colTerm);
    const std::string price = grd.TextMatrix(r, colPrice);
    std::string rate_text;
    if (const size_t slash = price.rfind('/'); slash != std::string::npos) {
      rate_text = FormatRateCell(price.substr(slash + 1));
    } else if (ContainsNoCase(term, "TD") || ContainsNoCase(term, "month")) {
      rate_text = FormatRateCell(price);
    } else {
      rate_text = FormatRateCell(grd.TextMatrix(r, colCoupon));
    }
    double rate = 0;
    ReadPlainNumber(rate_text, rate);

    double when = 0;
    const std::string maturity = Trim(grd.TextMatrix(r, colMaturity));
    double year_only = 0;
    if (maturity.size() == 4 && ReadPlainNumber(maturity, year_only) && year_only >= 1900) {
      when = DateSerial(std::chrono::year{static_cast<int>(year_only)} / std::chrono::June / 30);
    } else if (const auto d = ReadCivilDate(maturity, today_year)) {
      when = DateSerial(*d);
    }
    SetRate(static_cast<int>(i) + 1, static_cast<float>(rate), static_cast<float>(when));
  }
  if (!rows.empty()) SetRate(0, static_cast<float>(rates_[1]), static_cast<float>(dates_[1]));
}

bool zelBloombergData::GrabBloombergData(int cCurve, Grid& grd, std::string* inetLabel) {
  CheckIndex(cCurve, static_cast<int>(kCurveHeadings.size()));
  BrowserView& view = View();
  const bool never = false;
  const bool& stop = StopFlag ? *StopFlag : never;
  grd.Clear();
  AppEvents().SetBusy(true);
  if (inetLabel) *inetLabel = "Loading " + GetCurveName(cCurve);
  if (!LoadPage(view, GetCurveURL(cCurve), stop)) {
    AppEvents().SetBusy(false);
    if (inetLabel) inetLabel->clear();
    return false;
  }
  if (const std::string failure = view.LoadFailure(); !failure.empty()) {
    AppEvents().SetBusy(false);
    if (inetLabel) inetLabel->clear();
    throw FetchError(PageLoadFailedMessage(GetCurveURL(cCurve), failure));
  }
  const std::string page = view.BodyHtml();
  const std::string heading = kCurveHeadings[static_cast<size_t>(cCurve)];
  if (page.find(heading) == std::string::npos) {
    AppEvents().SetBusy(false);
    if (inetLabel) inetLabel->clear();
    AppDialogs().Show(kBloombergFailHead + std::string(kSupportContact) + kBloombergFailTail,
                      MsgButtons::Ok, MsgIcon::Critical, kMessageTitle);
    return false;
  }
  ExtractHtmlTable(page, grd, iTable, heading);
  // A copied table labels its corner cell; without one the user has been told.
  if (grd.Rows() < 1 || grd.Cols() < 1 || grd.TextMatrix(0, 0) != "Col0") {
    AppEvents().SetBusy(false);
    if (inetLabel) inetLabel->clear();
    return false;
  }
  const auto remove_rows = [&grd](auto matches) {
    for (int r = grd.Rows() - 1; r >= 1; --r) {
      if (grd.Cols() > colTerm && matches(grd.TextMatrix(r, colTerm))) grd.RemoveItem(r);
    }
  };
  remove_rows([](const std::string& t) { return Trim(t) == "Bills"; });
  remove_rows([](const std::string& t) { return t.find("Bonds") != std::string::npos; });
  remove_rows([](const std::string& t) { return t.find("COUPON") != std::string::npos; });
  ParseBloombergData(grd);
  if (inetLabel) *inetLabel = GetCurveName(cCurve);
  AppEvents().SetBusy(false);
  return true;
}

bool LastObservation(const std::string& text, std::string& date, double& value) {
  size_t end = text.size();
  while (end > 0) {
    const size_t nl = text.rfind('\n', end - 1);
    const size_t begin = nl == std::string::npos ? 0 : nl + 1;
    const std::string line = text.substr(begin, end - begin);
    end = nl == std::string::npos ? 0 : nl;
    const size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    const std::string d = Trim(line.substr(0, comma));
    const std::string rest = line.substr(comma + 1);
    const std::string v = Trim(rest.substr(0, rest.find(',')));
    double number = 0;
    if (ReadCivilDate(d) && ReadPlainNumber(v, number)) {
      date = d;
      value = number;
      return true;
    }
  }
  return false;
}

bool zelBloombergData::GrabFRBYieldCurve(int /*cCurve*/, Grid& grd) {
  BrowserView& view = View();
  const bool never = false;
  const bool& stop = StopFlag ? *StopFlag : never;
  const ProgressDone done{Progress};
  grd.Clear();
  grd.SetRows(12);
  grd.SetCols(5);
  observation_date_.clear();
  std::chrono::year_month_day start{};
  for (int i = 0; i < kFrbSeriesCount; ++i) {
    if (Progress) Progress(i, kFrbSeriesCount);
    if (!LoadPage(view, FrbSeriesUrl(i), stop)) return false;
    const std::string file = std::string(kFrbSeries[i]) + "_2010.txt";
    if (const std::string failure = view.LoadFailure(); !failure.empty()) {
      throw FetchError(SeriesLoadFailedMessage(file, failure));
    }
    const std::string text = BodyText(view.BodyHtml());
    std::string date;
    double value = 0;
    if (!LastObservation(text, date, value)) throw FetchError(SeriesNoObservationMessage(file));
    if (observation_date_.empty()) {
      start = *ReadCivilDate(date);
      observation_date_ = FormatCivilDate(start);
    }
    const std::string rate = FormatNumber(static_cast<float>(value), kRateFormat);
    const int row = i + 2;
    if (i < 2) {
      const int months = i == 0 ? 3 : 6;
      grd.SetTextMatrix(row, colTerm, i == 0 ? "3TD" : "6TD");
      grd.SetTextMatrix(row, colCoupon, "0");
      grd.SetTextMatrix(row, colMaturity, FormatCivilDate(AddMonths(start, months)));
      grd.SetTextMatrix(row, colPrice, rate);
    } else {
      const int years = kTermYears[static_cast<size_t>(i)];
      grd.SetTextMatrix(row, colTerm, std::to_string(years));
      grd.SetTextMatrix(row, colCoupon, rate);
      grd.SetTextMatrix(row, colPrice, "100");
      grd.SetTextMatrix(row, colMaturity, FormatCivilDate(AddMonths(start, 12 * years)));
    }
  }
  return true;
}

float zelBloombergData::GetInterpolatedRate(float years, double today) const {
  if (!rates_set_) return 0.05F;
  const int m = GetnRates();
  std::vector<float> rates(rates_.begin(), rates_.end());
  std::vector<float> maturities;
  for (double d : dates_) maturities.push_back(static_cast<float>((d - today) / 365.0));
  return InterpolateRate(rates, maturities, m, years);
}

namespace {

double GridNumber(const Grid& grid, int row, int col) {
  double v = 0;
  if (!ReadPlainNumber(grid.TextMatrix(row, col), v)) {
    throw zelError(err::kTypeMismatch, "The yield curve holds no number in row " +
                                           std::to_string(row) + ", column " + std::to_string(col));
  }
  return v;
}

double GridYears(const Grid& grid, int row, std::chrono::system_clock::time_point now) {
  const auto d = ReadCivilDate(grid.TextMatrix(row, zelBloombergData::colMaturity));
  if (!d) {
    throw zelError(err::kTypeMismatch,
                   "The yield curve holds no maturity date in row " + std::to_string(row));
  }
  return YearsFromNow(*d, now);
}

}  // namespace

float CurveRateFromGrid(const Grid& grid, float t, std::chrono::system_clock::time_point now) {
  const int m = grid.Rows() - 2;
  if (m < 1 || grid.Cols() <= zelBloombergData::colPrice) throw zelError(err::kSubscript);
  std::vector<float> rates(static_cast<size_t>(m) + 1, 0.0F);
  std::vector<float> maturities(static_cast<size_t>(m) + 1, 0.0F);
  for (int i = 1; i <= m; ++i) {
    const int r = i + 1;
    const auto ui = static_cast<size_t>(i);
    if (grid.TextMatrix(r, zelBloombergData::colTerm).find("TD") != std::string::npos) {
      double v = 0;
      if (ReadPlainNumber(grid.TextMatrix(r, zelBloombergData::colPrice), v)) {
        rates[ui] = static_cast<float>(v);
        maturities[ui] = static_cast<float>(GridYears(grid, r, now));
      }
    } else {
      rates[ui] = static_cast<float>(GridNumber(grid, r, zelBloombergData::colCoupon));
      maturities[ui] = static_cast<float>(GridYears(grid, r, now));
    }
  }
  rates[0] = rates[1];
  maturities[0] = maturities[1];
  return InterpolateRate(rates, maturities, m, t);
}

float InterpolateRate(const std::vector<float>& rates, const std::vector<float>& maturities, int m,
                      float t) {
  if (m < 0 || rates.size() <= static_cast<size_t>(m) ||
      maturities.size() <= static_cast<size_t>(m)) {
    throw zelError(err::kSubscript);
  }
  if (std::isnan(t)) throw zelError(err::kInvalidCall);
  if (t <= maturities[0]) return rates[0];
  const auto um = static_cast<size_t>(m);
  if (t >= maturities[um]) return rates[um];
  size_t k = 0;
  for (; k <= um; ++k) {
    if (t == maturities[k]) return rates[k];
    if (maturities[k] >= t) break;
  }
  AppEvents().ProcessPending();
  const float span = maturities[k] - maturities[k - 1];
  if (span == 0.0F) throw zelError(err::kDivisionByZero);
  const float r = rates[k - 1] + (t - maturities[k - 1]) * (rates[k] - rates[k - 1]) / span;
  if (!std::isfinite(r)) throw zelError(err::kOverflow);
  return r;
}

}  // namespace stratlyn
