#include "marketdata/zel_bloomberg_data.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "marketdata/civil_date.h"
#include "marketdata/fetch_error.h"
#include "marketdata/html_extract.h"
#include "marketdata/page_figure.h"
#include "marketdata/page_wait.h"
#include "marketdata/treasury_curve.h"
#include "util/dialogs.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/numeric_entry.h"
#include "util/services.h"
#include "util/sites.h"
#include "util/text.h"
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
  if (i < 0 || i >= size) {
    throw zelError(err::kSubscript);
  }
}

}  // namespace

bool ReadPlainNumber(const std::string& raw, double& value) {
  const auto v = ReadDotDecimal(TrimView(raw));
  if (v) {
    value = *v;
  }
  return v.has_value();
}

namespace {

bool ContainsNoCase(const std::string& text, const std::string& word) {
  return FindText(1, text, word) > 0;
}

// Hides the progress bar however the series loop ends.
struct ProgressDone {
  const std::function<void(int, int)>& progress;
  ~ProgressDone() {
    if (progress) {
      progress(0, 0);
    }
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
  if (NN < 0) {
    throw zelError(err::kSubscript);
  }
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
  if (Browser == nullptr) {
    throw zelError(err::kObjectNotSet);
  }
  return *Browser;
}

std::string FormatRateCell(const std::string& cell) {
  std::string text = Trim(cell);
  // A dash alone is how rate pages show "no quote".
  if (text.empty() || text.find_first_not_of('-') == std::string::npos) {
    return "0.00";
  }
  // Rate pages write their figures with a dot whatever the user's locale.
  const auto value = ReadFetchedFigure(text, FigureKind::kYield);
  if (!value) {
    AppDialogs().Critical(kInvalidNumericEntry);
    return {};
  }
  return FormatNumber(*value, "0.00");
}

void zelBloombergData::ParseBloombergData(const Grid& grd) {
  std::vector<int> rows;
  for (int r = 1; r < grd.Rows(); ++r) {
    if (grd.Cols() > colPrice && !Trim(grd.TextMatrix(r, colTerm)).empty()) {
      rows.push_back(r);
    }
  }
  SetnRates(static_cast<int>(rows.size()));
  const int today_year = static_cast<int>(LocalDate(std::chrono::system_clock::now()).year());
  for (size_t i = 0; i < rows.size(); ++i) {
    const int r = rows[i];
    const std::string& term = grd.TextMatrix(r, colTerm);
    const std::string& price = grd.TextMatrix(r, colPrice);
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
  if (!rows.empty()) {
    SetRate(0, static_cast<float>(rates_[1]), static_cast<float>(dates_[1]));
  }
}

bool zelBloombergData::GrabBloombergData(int cCurve, Grid& grd, std::string* inetLabel) {
  CheckIndex(cCurve, static_cast<int>(kCurveHeadings.size()));
  BrowserView& view = View();
  const bool never = false;
  const bool& stop = StopFlag ? *StopFlag : never;
  grd.Clear();
  AppEvents().SetBusy(true);
  if (inetLabel) {
    *inetLabel = "Loading " + GetCurveName(cCurve);
  }
  if (!LoadPage(view, GetCurveURL(cCurve), stop)) {
    AppEvents().SetBusy(false);
    if (inetLabel) {
      inetLabel->clear();
    }
    return false;
  }
  if (const std::string failure = view.LoadFailure(); !failure.empty()) {
    AppEvents().SetBusy(false);
    if (inetLabel) {
      inetLabel->clear();
    }
    throw FetchError(PageLoadFailedMessage(GetCurveURL(cCurve), failure));
  }
  const std::string page = view.BodyHtml();
  const std::string heading = kCurveHeadings[static_cast<size_t>(cCurve)];
  if (page.find(heading) == std::string::npos) {
    AppEvents().SetBusy(false);
    if (inetLabel) {
      inetLabel->clear();
    }
    AppDialogs().Show(kBloombergFailHead + std::string(kSupportContact) + kBloombergFailTail,
                      MsgButtons::Ok, MsgIcon::Critical, kMessageTitle);
    return false;
  }
  ExtractHtmlTable(page, grd, iTable, heading);
  // A copied table labels its corner cell; without one the user has been told.
  if (grd.Rows() < 1 || grd.Cols() < 1 || grd.TextMatrix(0, 0) != "Col0") {
    AppEvents().SetBusy(false);
    if (inetLabel) {
      inetLabel->clear();
    }
    return false;
  }
  const auto remove_rows = [&grd](auto matches) {
    for (int r = grd.Rows() - 1; r >= 1; --r) {
      if (grd.Cols() > colTerm && matches(grd.TextMatrix(r, colTerm))) {
        grd.RemoveItem(r);
      }
    }
  };
  remove_rows([](const std::string& t) { return Trim(t) == "Bills"; });
  remove_rows([](const std::string& t) { return t.find("Bonds") != std::string::npos; });
  remove_rows([](const std::string& t) { return t.find("COUPON") != std::string::npos; });
  ParseBloombergData(grd);
  if (inetLabel) {
    *inetLabel = GetCurveName(cCurve);
  }
  AppEvents().SetBusy(false);
  return true;
}

bool LastObservation(const std::string& text, std::string& date, double& value) {
  std::optional<std::chrono::year_month_day> best;
  const auto tomorrow =
      std::chrono::sys_days{LocalDate(std::chrono::system_clock::now())} + std::chrono::days{1};
  size_t from = 0;
  while (from < text.size()) {
    const size_t nl = text.find('\n', from);
    const size_t end = nl == std::string::npos ? text.size() : nl;
    const std::string line = text.substr(from, end - from);
    from = end + 1;
    const size_t comma = line.find(',');
    if (comma == std::string::npos) {
      continue;
    }
    const std::string d = Trim(line.substr(0, comma));
    const std::string rest = line.substr(comma + 1);
    const std::string v = Trim(rest.substr(0, rest.find(',')));
    double number = 0;
    const auto day = ReadCivilDate(d);
    // A date after tomorrow is a mistyped year, not the latest observation.
    if (day && std::chrono::sys_days{*day} > tomorrow) {
      continue;
    }
    if (day && ReadPlainNumber(v, number) && (!best || *day > *best)) {
      best = day;
      date = d;
      value = number;
    }
  }
  return best.has_value();
}

std::string RateSourceName(RateSource source) {
  switch (source) {
    case RateSource::kTreasury:
      return "U.S. Treasury par yield curve";
    case RateSource::kH15Download:
      return "Federal Reserve H.15";
    case RateSource::kSeriesFiles:
      break;
  }
  return "H.15 series files";
}

namespace {

constexpr std::array<const char*, 5> kCurveHeadings5 = {"", "Term", "Par yield %", "Maturity",
                                                        "Price"};

std::chrono::year_month_day Today() { return LocalDate(std::chrono::system_clock::now()); }

// The maturity date of a tenor of `months` from `date`: whole months by the
// calendar, fractions by days.
std::chrono::year_month_day TenorDate(std::chrono::year_month_day date, double months) {
  const int whole = static_cast<int>(months);
  const auto d = AddMonths(date, whole);
  const double rest = months - whole;
  if (rest <= 0) {
    return d;
  }
  return std::chrono::year_month_day{std::chrono::sys_days{d} +
                                     std::chrono::days{std::lround(rest * 365.25 / 12.0)}};
}

}  // namespace

bool zelBloombergData::GrabFRBYieldCurve(int /*cCurve*/, Grid& grd) {
  const bool never = false;
  const bool& stop = StopFlag ? *StopFlag : never;
  const ProgressDone done{Progress};
  View();
  notes_.clear();
  std::vector<std::string> failures;
  const RateSource order[] = {RateSource::kTreasury, RateSource::kH15Download,
                              RateSource::kSeriesFiles};
  for (const RateSource source : order) {
    if (static_cast<int>(source) < static_cast<int>(Source)) {
      continue;
    }
    try {
      const bool read = source == RateSource::kSeriesFiles ? GrabSeriesFiles(grd, stop)
                                                           : GrabCsvCurve(source, grd, stop);
      if (!read) {
        return false;
      }
      source_used_ = source;
      for (const std::string& f : failures) {
        notes_.insert(notes_.begin(), f);
      }
      return true;
    } catch (const FetchError& e) {
      if (Stopped()) {
        return false;
      }
      failures.push_back(RateSourceName(source) + ": " + e.Description());
    }
  }
  std::string all = "The Treasury yield curve could not be read. ";
  for (size_t i = 0; i < failures.size(); ++i) {
    all += (i ? "; " : "") + failures[i];
  }
  throw FetchError(all);
}

bool zelBloombergData::GrabCsvCurve(RateSource source, Grid& grd, const bool& stop) {
  BrowserView& view = View();
  if (Progress) {
    Progress(0, 1);
  }
  const int this_year = static_cast<int>(Today().year());
  const bool january = Today().month() == std::chrono::January;
  std::optional<ParCurve> curve;
  std::string url;
  // The Treasury's file of a new year has few rows or none early in January:
  // the previous year's file then.
  for (int attempt = 0; attempt < (source == RateSource::kTreasury && january ? 2 : 1); ++attempt) {
    url = source == RateSource::kTreasury ? TreasuryCsvUrl(this_year - attempt) : H15DownloadUrl();
    if (!LoadPage(view, url, stop)) {
      return false;
    }
    if (const std::string failure = view.LoadFailure(); !failure.empty()) {
      if (attempt + 1 < 2 && january && source == RateSource::kTreasury) {
        continue;
      }
      throw FetchError(PageLoadFailedMessage(url, failure));
    }
    const std::string text = BodyText(view.BodyHtml());
    std::string problem;
    curve = source == RateSource::kTreasury ? ReadTreasuryParCsv(text, url, problem)
                                            : ReadH15DownloadCsv(text, url, problem);
    if (curve && !curve->points.empty()) {
      break;
    }
    if (!(january && source == RateSource::kTreasury && attempt == 0)) {
      throw FetchError(problem.empty() ? url + " holds no yield" : problem);
    }
  }
  if (!curve || curve->points.empty()) {
    throw FetchError(url + " holds no yield");
  }
  grd.Clear();
  grd.SetRows(static_cast<int>(curve->points.size()) + 2);
  grd.SetCols(5);
  for (int c = 0; c < 5; ++c) {
    grd.SetTextMatrix(0, c, kCurveHeadings5[static_cast<size_t>(c)]);
  }
  observation_date_ = FormatCivilDate(curve->date);
  grd.SetTextMatrix(1, colTerm, "Observed");
  grd.SetTextMatrix(1, colMaturity, observation_date_);
  int row = 2;
  for (const ParYieldPoint& p : curve->points) {
    grd.SetTextMatrix(row, colTerm, p.label);
    grd.SetTextMatrix(row, colCoupon, FormatNumber(p.percent, kRateFormat));
    grd.SetTextMatrix(row, colMaturity, FormatCivilDate(TenorDate(curve->date, p.months)));
    grd.SetTextMatrix(row, colPrice, "100");
    ++row;
  }
  if (const std::string note = StaleNote("The " + RateSourceName(source), curve->date, Today());
      !note.empty()) {
    notes_.push_back(note);
  }
  return true;
}

bool zelBloombergData::GrabSeriesFiles(Grid& grd, const bool& stop) {
  BrowserView& view = View();
  grd.Clear();
  grd.SetRows(12);
  grd.SetCols(5);
  observation_date_.clear();
  std::chrono::year_month_day start{};
  for (int i = 0; i < kFrbSeriesCount; ++i) {
    if (Progress) {
      Progress(i, kFrbSeriesCount);
    }
    if (!LoadPage(view, FrbSeriesUrl(i), stop)) {
      return false;
    }
    const std::string file = std::string(kFrbSeries[i]) + "_2010.txt";
    if (const std::string failure = view.LoadFailure(); !failure.empty()) {
      throw FetchError(SeriesLoadFailedMessage(file, failure));
    }
    const std::string text = BodyText(view.BodyHtml());
    std::string date;
    double value = 0;
    if (!LastObservation(text, date, value)) {
      throw FetchError(SeriesNoObservationMessage(file));
    }
    const auto observed = *ReadCivilDate(date);
    if (const std::string note = StaleNote("The series " + file, observed, Today());
        !note.empty()) {
      notes_.push_back(note);
    }
    if (observation_date_.empty()) {
      start = observed;
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
  if (!rates_set_) {
    return 0.05F;
  }
  const int m = GetnRates();
  std::vector<float> rates(rates_.begin(), rates_.end());
  std::vector<float> maturities;
  for (double d : dates_) {
    maturities.push_back(static_cast<float>((d - today) / 365.0));
  }
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

// The curve of a grid as InterpolateRate takes it: point 0 repeats point 1.
struct GridCurve {
  std::vector<float> rates;
  std::vector<float> maturities;
  int m = 0;
};

GridCurve ReadGridCurve(const Grid& grid, std::chrono::system_clock::time_point now) {
  const int m = grid.Rows() - 2;
  if (m < 1 || grid.Cols() <= zelBloombergData::colPrice) {
    throw zelError(err::kSubscript);
  }
  GridCurve c{std::vector<float>(static_cast<size_t>(m) + 1, 0.0F),
              std::vector<float>(static_cast<size_t>(m) + 1, 0.0F), m};
  for (int i = 1; i <= m; ++i) {
    const int r = i + 1;
    const auto ui = static_cast<size_t>(i);
    if (grid.TextMatrix(r, zelBloombergData::colTerm).find("TD") != std::string::npos) {
      double v = 0;
      if (ReadPlainNumber(grid.TextMatrix(r, zelBloombergData::colPrice), v)) {
        c.rates[ui] = static_cast<float>(v);
        c.maturities[ui] = static_cast<float>(GridYears(grid, r, now));
      }
    } else {
      c.rates[ui] = static_cast<float>(GridNumber(grid, r, zelBloombergData::colCoupon));
      c.maturities[ui] = static_cast<float>(GridYears(grid, r, now));
    }
  }
  c.rates[0] = c.rates[1];
  c.maturities[0] = c.maturities[1];
  return c;
}

}  // namespace

float CurveRateFromGrid(const Grid& grid, float t, std::chrono::system_clock::time_point now) {
  const GridCurve c = ReadGridCurve(grid, now);
  return InterpolateRate(c.rates, c.maturities, c.m, t);
}

std::string CurveEndNote(const Grid& grid, float t, std::chrono::system_clock::time_point now) {
  const GridCurve c = ReadGridCurve(grid, now);
  const auto last = static_cast<size_t>(c.m);
  if (t > c.maturities[last]) {
    return "beyond the curve's longest maturity, " + FormatNumber(c.maturities[last], "0.00") +
           " years, whose yield is used";
  }
  // Before the shortest maturity its yield is held as well: on a day with
  // no yield below 10 years, 5 years (or 0.01) took the 10-year yield with
  // no word.
  if (t < c.maturities[0]) {
    return "before the curve's shortest maturity, " + FormatNumber(c.maturities[0], "0.00") +
           " years, whose yield is used";
  }
  return {};
}

double ContinuousRateFromGrid(const Grid& grid, float t,
                              std::chrono::system_clock::time_point now) {
  return ContinuousFromParYield(CurveRateFromGrid(grid, t, now));
}

float InterpolateRate(const std::vector<float>& rates, const std::vector<float>& maturities, int m,
                      float t) {
  if (m < 0 || rates.size() <= static_cast<size_t>(m) ||
      maturities.size() <= static_cast<size_t>(m)) {
    throw zelError(err::kSubscript);
  }
  if (std::isnan(t)) {
    throw zelError(err::kInvalidCall);
  }
  if (t <= maturities[0]) {
    return rates[0];
  }
  const auto um = static_cast<size_t>(m);
  if (t >= maturities[um]) {
    return rates[um];
  }
  size_t k = 0;
  for (; k <= um; ++k) {
    if (t == maturities[k]) {
      return rates[k];
    }
    if (maturities[k] >= t) {
      break;
    }
  }
  AppEvents().ProcessPending();
  const float span = maturities[k] - maturities[k - 1];
  if (span == 0.0F) {
    throw zelError(err::kDivisionByZero);
  }
  const float r = rates[k - 1] + (t - maturities[k - 1]) * (rates[k] - rates[k - 1]) / span;
  if (!std::isfinite(r)) {
    throw zelError(err::kOverflow);
  }
  return r;
}

}  // namespace stratlyn
