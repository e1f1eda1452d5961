#include "tools/excel_link.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "tools/office_thread.h"
#include "util/error_handler.h"
#include "util/fp_checks.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

// Keeps the hourglass up for the lifetime of a run.
class BusyPointer {
 public:
  BusyPointer() { AppEvents().SetBusy(true); }
  ~BusyPointer() { AppEvents().SetBusy(false); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;
};

}  // namespace

std::string NotRunningMessage(int port) {
  return "LibreOffice Calc is not running, or it cannot be reached.  If it is running, it may "
         "have been started without accepting connections.  Please close all copies of "
         "LibreOffice and start it again with the command  soffice --calc "
         "--accept=\"socket,host=127.0.0.1,port=" +
         std::to_string(port) + ";urp;\"  Finally, load your data, and try again. ";
}

namespace {

// The words of a heading in lower case: runs of letters and digits.
std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (const char ch : text) {
    const unsigned char u = static_cast<unsigned char>(ch);
    if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u >= 0x80) {
      word.push_back(ch);
    } else if (u >= 'A' && u <= 'Z') {
      word.push_back(static_cast<char>(u - 'A' + 'a'));
    } else if (!word.empty()) {
      words.push_back(std::move(word));
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

bool HasWord(const std::vector<std::string>& words, std::initializer_list<std::string_view> any) {
  for (const std::string& w : words) {
    for (const std::string_view a : any) {
      if (w == a) return true;
    }
  }
  return false;
}

// The market price: "price" with at most "market" and "option" beside it.
bool IsMarketPriceHeading(const std::vector<std::string>& words) {
  bool price = false;
  for (const std::string& w : words) {
    if (w == "price") {
      price = true;
    } else if (w != "market" && w != "option") {
      return false;
    }
  }
  return price;
}

bool IsCalculatedPriceHeading(const std::vector<std::string>& words) {
  return words.size() == 2 && words[0] == "calculated" && words[1] == "price";
}

// A result heading this program writes (any case, blanks around it aside).
bool IsResultHeading(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  const auto same = [&](std::string_view name) {
    if (name.size() != text.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
      char a = text[i], b = name[i];
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
      if (a != b) return false;
    }
    return true;
  };
  for (const char* name : link_text::kResultHeadings) {
    if (same(name)) return true;
  }
  return false;
}

bool IsMessageHeading(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text == link_text::kMessageHeading;
}

// The inputs' names, as the missing-column messages name them.
struct InputName {
  int LinkColumns::*column;
  const char* name;
};
constexpr InputName kInputNames[] = {{&LinkColumns::underlying, "Underlying Asset"},
                                     {&LinkColumns::strike, "Strike Price"},
                                     {&LinkColumns::maturity, "Maturity"},
                                     {&LinkColumns::volatility, "Volatility"},
                                     {&LinkColumns::dividend, "Dividend Yield"},
                                     {&LinkColumns::riskfree, "Risk Free Rate"},
                                     {&LinkColumns::type, "Type"},
                                     {&LinkColumns::style, "Style"},
                                     {&LinkColumns::price, "Market Price"}};

std::string ColumnText(int col, const std::vector<std::string>& headings) {
  std::string text = "column " + std::to_string(col);
  if (col >= 1 && col <= static_cast<int>(headings.size()) && !headings[col - 1].empty()) {
    text += " (" + headings[col - 1] + ")";
  }
  return text;
}

}  // namespace

namespace {

// The first column outside [c.results, c.results + c.width) headed like a result.
int StrayResult(const LinkColumns& c, const std::vector<std::string>& headings) {
  for (int col = 1; col <= static_cast<int>(headings.size()); ++col) {
    if (col >= c.results && col < c.results + c.width) continue;
    if (IsResultHeading(headings[col - 1])) return col;
  }
  return 0;
}

LinkColumns ScanHeadingsInPlace(const std::vector<std::string>& headings);

}  // namespace

LinkColumns ScanHeadings(const std::vector<std::string>& headings) {
  LinkColumns c = ScanHeadingsInPlace(headings);
  c.stray_result = StrayResult(c, headings);
  return c;
}

namespace {

LinkColumns ScanHeadingsInPlace(const std::vector<std::string>& headings) {
  LinkColumns c;
  const int count = static_cast<int>(headings.size());
  int scan_end = count;
  for (int col = 1; col <= count; ++col) {
    if (IsCalculatedPriceHeading(Words(headings[col - 1]))) {
      // The results of an earlier run start here and are overwritten in place.
      scan_end = col - 1;
      c.results = col;
      c.earlier_results = true;
      break;
    }
  }
  for (int col = 1; col <= scan_end; ++col) {
    const std::vector<std::string> words = Words(headings[col - 1]);
    if (words.empty()) continue;
    bool recognised = false;
    const auto take = [&](int LinkColumns::*column) {
      recognised = true;
      int& current = c.*column;
      if (current != 0 && current != col && !c.ambiguous) {
        for (const InputName& input : kInputNames) {
          if (input.column == column) c.ambiguous = input.name;
        }
        c.ambiguous_first = current;
        c.ambiguous_second = col;
      }
      if (current == 0) current = col;
    };
    if (HasWord(words, {"underlying"})) take(&LinkColumns::underlying);
    if (HasWord(words, {"strike"})) take(&LinkColumns::strike);
    if (HasWord(words, {"maturity"})) take(&LinkColumns::maturity);
    if (HasWord(words, {"vol", "vols", "vola", "volatility"})) take(&LinkColumns::volatility);
    if (HasWord(words, {"yield"})) take(&LinkColumns::dividend);
    for (const std::string& w : words) {
      if (w.starts_with("risk")) {
        take(&LinkColumns::riskfree);
        break;
      }
    }
    if (HasWord(words, {"type"})) take(&LinkColumns::type);
    if (HasWord(words, {"style"})) take(&LinkColumns::style);
    if (IsMarketPriceHeading(words)) take(&LinkColumns::price);
    if (recognised) c.last = col;
  }
  const int writes = c.ResultCount() + 1;  // the results and the message
  c.width = writes;
  if (c.earlier_results) {
    // The earlier block: the columns from "Calculated Price" on that carry
    // a heading of this program. What the new run does not fill of it is
    // emptied; a column of the user's inside the new block stops the run.
    int old_width = 0;
    while (old_width < kMaxResultBlock && c.results + old_width <= count) {
      const std::string& text = headings[c.results + old_width - 1];
      if (IsResultHeading(text)) {
        ++old_width;
        continue;
      }
      // "Message" is ours only where a run puts it: right after five or ten
      // results, ending the block (a column of the user's may be named so).
      if (IsMessageHeading(text) && (old_width == 5 || old_width == 10)) ++old_width;
      break;
    }
    c.width = std::max(writes, old_width);
    for (int i = 0; i < c.width; ++i) {
      const int col = c.results + i;
      const bool ours = i < old_width;
      c.guarded[i] = !ours;
      if (!ours && i < writes && col <= count && !headings[col - 1].empty() && !c.blocked) {
        c.blocked = col;
      }
    }
    return c;
  }
  // Never write over the user's columns: start after the last heading.
  int last_heading = 0;
  for (int col = count; col >= 1; --col) {
    if (!headings[col - 1].empty()) {
      last_heading = col;
      break;
    }
  }
  c.results = std::max(c.last, last_heading) + 1;
  c.guarded.fill(true);
  return c;
}

}  // namespace

std::string ResultsConflictMessage(int row, int col, const char* written) {
  return link_text::kConflict1 + std::to_string(row) + link_text::kConflict2 + std::to_string(col) +
         link_text::kConflict3 + written;
}

std::string RunSummary(int priced, size_t refused) {
  std::string text = std::to_string(priced) + link_text::kRowsPriced + std::to_string(refused) +
                     link_text::kRowsRefused;
  if (refused) text += link_text::kSeeMessages;
  return text;
}

std::string HeadingProblem(const LinkColumns& c, const std::vector<std::string>& headings) {
  if (c.ambiguous) {
    return std::string(link_text::kAmbiguous1) + c.ambiguous + ": " +
           ColumnText(c.ambiguous_first, headings) + " and " +
           ColumnText(c.ambiguous_second, headings) + link_text::kAmbiguous2;
  }
  if (c.blocked) {
    return link_text::kBlocked1 + ColumnText(c.blocked, headings) + link_text::kBlocked2;
  }
  if (c.stray_result) {
    return link_text::kStray1 + ColumnText(c.stray_result, headings) + link_text::kStray2 +
           std::to_string(c.results) + link_text::kStray3;
  }
  return {};
}

std::string ColumnsTakenText(const LinkColumns& c, const std::vector<std::string>& headings) {
  std::string text;
  for (const InputName& input : kInputNames) {
    const int col = c.*input.column;
    if (col == 0) continue;
    if (!text.empty()) text += "; ";
    text += std::string(input.name) + ": " + ColumnText(col, headings);
  }
  if (!text.empty()) text += "; ";
  text += "results from column " + std::to_string(c.results);
  return text;
}

const char* MissingColumnMessage(const LinkColumns& c) {
  const std::pair<int, const char*> required[] = {{c.underlying, link_text::kMissingUnderlying},
                                                  {c.strike, link_text::kMissingStrike},
                                                  {c.maturity, link_text::kMissingMaturity},
                                                  {c.volatility, link_text::kMissingVolatility},
                                                  {c.dividend, link_text::kMissingDividend},
                                                  {c.riskfree, link_text::kMissingRiskFree},
                                                  {c.type, link_text::kMissingType},
                                                  {c.style, link_text::kMissingStyle}};
  for (const auto& [column, message] : required) {
    if (column == 0) return message;
  }
  return nullptr;
}

bool IsAmericanStyle(std::string_view style_text) {
  // Case-insensitive search for "americ", without a lower-case copy (once a row).
  constexpr std::string_view kWord = "americ";
  for (size_t i = 0; i + kWord.size() <= style_text.size(); ++i) {
    size_t k = 0;
    while (k < kWord.size()) {
      char ch = style_text[i + k];
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
      if (ch != kWord[k]) break;
      ++k;
    }
    if (k == kWord.size()) return true;
  }
  return false;
}

std::string DescribeProblem(const CellProblem& p) {
  std::string out = "Row " + std::to_string(p.row) + ", column " + std::to_string(p.col);
  if (!p.heading.empty()) out += " (" + p.heading + ")";
  out += ": \"" + p.text + "\"" + link_text::kNotANumber;
  return out;
}

std::string RowCellMessage(const CellProblem& p) {
  std::string out = p.heading.empty() ? "Column " + std::to_string(p.col) : p.heading;
  return out + ": \"" + p.text + "\"" + link_text::kNotANumber;
}

std::string SkippedRowsMessage(const std::vector<CellProblem>& problems, size_t limit) {
  std::string out = link_text::kSkippedRows;
  for (size_t i = 0; i < problems.size() && i < limit; ++i) {
    out += "\n" + DescribeProblem(problems[i]);
  }
  if (problems.size() > limit) {
    out += "\n... and " + std::to_string(problems.size() - limit) + " more";
  }
  return out;
}

namespace {

// True when every input is one the records can take (the common case,
// checked with a few comparisons before any message is made).
inline bool UsableInputs(const RowInputs& in) {
  constexpr float kMax = std::numeric_limits<float>::max();
  const auto positive = [](double v) {
    const float f = static_cast<float>(v);  // NaN and underflow give no f > 0
    return f > 0.0f && f <= kMax && v <= kMax;
  };
  const auto any = [](double v) {
    return std::fabs(v) <= kMax && (v == 0.0 || static_cast<float>(v) != 0.0f);
  };
  return positive(in.underlying) && positive(in.strike) && positive(in.maturity) &&
         positive(in.volatility) && any(in.dividend) && any(in.riskfree) &&
         (in.type == 1.0 || in.type == 2.0);
}

// The checks every row passes before a record sees it; "" when it may be
// priced. The records hold single-precision numbers: a value beyond their
// range, or one that is not 0 but would be held as 0, is refused.
std::string RowInputProblem(const RowInputs& in) {
  if (UsableInputs(in)) [[likely]] {
    return {};
  }
  constexpr double kMax = std::numeric_limits<float>::max();
  const struct {
    const char* name;
    double value;
    bool positive;
  } inputs[] = {{"Underlying Asset", in.underlying, true},
                {"Strike Price", in.strike, true},
                {"Maturity", in.maturity, true},
                {"Volatility", in.volatility, true},
                {"Dividend Yield", in.dividend, false},
                {"Risk Free Rate", in.riskfree, false},
                {"Type", in.type, false}};
  for (const auto& input : inputs) {
    const double v = input.value;
    if (!std::isfinite(v) || std::fabs(v) > kMax || (v != 0 && static_cast<float>(v) == 0.0f)) {
      return std::string(input.name) + " " + FormatCellNumber(v) + link_text::kOutOfRange;
    }
  }
  if (in.type != 1.0 && in.type != 2.0) return link_text::kBadType;
  for (const auto& input : inputs) {
    if (!input.positive || input.value > 0) continue;
    if (&input == &inputs[3] && in.volatility_blank) {
      return std::string(input.name) + link_text::kIsEmpty;
    }
    return std::string(input.name) + link_text::kNotPositive;
  }
  return link_text::kCannotPrice + std::string("an input is out of range");
}

// The market price's own check, "" when an implied volatility is looked for.
std::string PriceProblem(const RowInputs& in) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (!std::isfinite(in.price) || std::fabs(in.price) > kMax ||
      (in.price != 0 && static_cast<float>(in.price) == 0.0f)) {
    return "Market Price " + FormatCellNumber(in.price) + link_text::kOutOfRange;
  }
  if (in.price <= 0) return std::string("Market Price") + link_text::kNotPositive;
  return {};
}

bool AllFinite(const float* v, int n) {
  for (int i = 0; i < n; ++i) {
    if (!std::isfinite(v[i])) return false;
  }
  return true;
}

std::string FaultMessage(const zelError& e) {
  return link_text::kCannotPrice + e.Description() + " (error " + std::to_string(e.Number()) + ")";
}

// An implied volatility the records found: positive and finite (the
// records answer a price without a root with a negative sentinel).
bool FoundVolatility(float v) { return std::isfinite(v) && v > 0.0f; }

}  // namespace

RowFigures RowPricer::PriceEuropeanRow(const RowInputs& in, bool hasPrice, RowResults& out) {
  RowFigures figures;
  if (!UsableInputs(in)) [[unlikely]] {
    figures.message = RowInputProblem(in);
    return figures;
  }
  if (!bsop_) bsop_ = std::make_unique<zelBSOP>();
  zelBSOP& o = *bsop_;
  try {
    // UsableInputs has found every input finite and within single precision.
    const auto single = [](double v) { return static_cast<float>(v); };
    o.SetTerms(single(in.type), single(in.riskfree), single(in.maturity), single(in.strike),
               single(in.underlying), single(in.volatility), single(in.dividend));
    o.GetValueAndGreeks(out.data(), true);
  } catch (const zelError& e) {
    figures.message = FaultMessage(e);
    return figures;
  }
  if (!AllFinite(out.data(), 5) || out[0] < 0) {
    figures.message = link_text::kCannotPrice + std::string("the value is out of range");
    return figures;
  }
  figures.valid = 5;
  if (!hasPrice || in.price_blank) return figures;
  if (std::string problem = PriceProblem(in); !problem.empty()) {
    figures.message = std::move(problem);
    return figures;
  }
  try {
    o.SetOptionData(ToSingle(in.price), o.strOptionPrice);
    // The search leaves the record's volatility at the implied one, so the
    // Greeks below are those at the implied volatility.
    out[5] = o.GetOptionData(o.strImpliedVolatility, true);
    if (!FoundVolatility(out[5])) {
      figures.message = link_text::kNoVolatility;
      return figures;
    }
    o.GetGreeks(out.data() + 6);
  } catch (const zelError& e) {
    figures.message = FaultMessage(e);
    return figures;
  }
  if (!AllFinite(out.data() + 5, 5)) {
    figures.message = link_text::kNoVolatility;
    return figures;
  }
  figures.valid = 10;
  return figures;
}

RowFigures RowPricer::PriceAmericanRow(const RowInputs& in, bool hasPrice, RowResults& out) {
  RowFigures figures;
  if (!UsableInputs(in)) [[unlikely]] {
    figures.message = RowInputProblem(in);
    return figures;
  }
  if (!barr_) barr_ = std::make_unique<zelBarr>();
  zelBarr& b = *barr_;
  try {
    b.SetOptionData(in.riskfree, b.strRiskFree);
    b.SetOptionData(in.maturity, b.strMaturity);
    b.SetOptionData(in.strike, b.strStrike);
    b.SetOptionData(in.underlying, b.strUnderlying);
    b.SetOptionData(in.volatility, b.strVolatility);
    b.SetOptionData(in.dividend, b.strDvl);
    b.SetOptionData(in.type == 2.0 ? b.FLAG : b.boolError, b.strType);
    b.CalcBarr(b.AMERVANILLA);
  } catch (const zelError& e) {
    figures.message = FaultMessage(e);
    return figures;
  }
  out[0] = b.GetOptionData(b.strOptionPrice);
  out[1] = b.GetOptionData(b.strDelta);
  out[2] = b.GetOptionData(b.strGamma);
  out[3] = b.GetOptionData(b.strVega);
  out[4] = b.GetOptionData(b.strTheta);
  if (!AllFinite(out.data(), 5) || out[0] < 0) {
    // The lattice's answer when no step count can carry these inputs.
    figures.message = link_text::kCannotPrice + std::string("no lattice fits these inputs");
    return figures;
  }
  figures.valid = 5;
  if (!hasPrice || in.price_blank) return figures;
  if (std::string problem = PriceProblem(in); !problem.empty()) {
    figures.message = std::move(problem);
    return figures;
  }
  try {
    b.SetOptionData(in.price, b.strOptionPrice);
    b.CalcBarr(b.AMERVANVOL);
  } catch (const zelError& e) {
    figures.message = FaultMessage(e);
    return figures;
  }
  out[5] = b.GetOptionData(b.strImpliedVolatility);
  out[6] = b.GetOptionData(b.strDelta);
  out[7] = b.GetOptionData(b.strGamma);
  out[8] = b.GetOptionData(b.strVega);
  out[9] = b.GetOptionData(b.strTheta);
  if (!FoundVolatility(out[5]) || !AllFinite(out.data() + 5, 5)) {
    figures.message = link_text::kNoVolatility;
    return figures;
  }
  figures.valid = 10;
  return figures;
}

ExcelLink::ExcelLink(Connector connect) : connect_(std::move(connect)) {}

namespace {

void ListSheets(SpreadsheetApp& app, std::vector<ExcelLink::SheetEntry>& list) {
  std::vector<ExcelLink::SheetEntry> entries;
  const int workbooks = app.WorkbookCount();
  for (int w = 1; w <= workbooks; ++w) {
    const std::string book = app.WorkbookName(w);
    // The item data keeps the sheet number below 1000.
    const int sheets = std::min(app.WorksheetCount(w), 999);
    for (int s = 1; s <= sheets; ++s) {
      entries.push_back({"[" + book + "]" + app.WorksheetName(w, s), w * 1000 + s});
    }
  }
  list = std::move(entries);
}

}  // namespace

bool ExcelLink::FindExcelSheets(std::vector<SheetEntry>& list) {
  try {
    std::unique_ptr<SpreadsheetApp> app = Connect();
    if (app->WorkbookCount() == 0) {
      AppDialogs().Critical(link_text::kNoWorkbooks);
      return true;
    }
    ListSheets(*app, list);
    app_ = std::move(app);
    sheet_ = nullptr;
    entries_ = list;
    live_entries_ = list;
    new_list_ = false;
    lost_ = false;
    AppEvents().ProcessPending();
    return false;
  } catch (const zelError& e) {
    if (e.Number() == err::kCannotCreateObject) {
      AppDialogs().Critical(e.Description());
    } else if (e.Number() == kOfficeConnectionLost && e.Description() == kOfficeTimedOut) {
      AppDialogs().Critical(NoAnswerMessage(office_limit_, 0));
    } else if (e.Number() == kOfficeConnectionLost && e.Description() == kOfficeCallCancelled) {
      // The user gave up waiting: nothing to say.
    } else {
      ErrorHandler(e);
    }
  } catch (const std::exception& e) {
    ErrorHandler(e);
  }
  return true;
}

std::string NoAnswerMessage(std::chrono::milliseconds limit, int row) {
  const auto seconds = std::chrono::duration_cast<std::chrono::duration<double>>(limit).count();
  std::string text = link_text::kNoAnswer1 + FormatCellNumber(seconds) + link_text::kNoAnswer2;
  if (row > 1) {
    text += " at row " + std::to_string(row) + ".  The results of the rows above it were written";
  }
  return text + link_text::kNoAnswer3;
}

std::string ConnectionLostMessage(int row) {
  std::string text = link_text::kConnectionLost1;
  if (row > 1) {
    text += " at row " + std::to_string(row) + ".  The results of the rows above it were written";
  }
  return text + link_text::kConnectionLost2;
}

void ExcelLink::SetOfficeTimeLimit(std::chrono::milliseconds limit) {
  office_limit_ = limit;
  if (auto* timed = dynamic_cast<TimedApp*>(app_.get())) timed->Thread().SetLimit(limit);
}

std::unique_ptr<SpreadsheetApp> ExcelLink::Connect() {
  if (!connect_) throw zelError(err::kCannotCreateObject, NotRunningMessage(2002));
  return std::make_unique<TimedApp>(connect_, office_limit_, cancel_check_);
}

int ExcelLink::Reconnect(int item_data) {
  std::unique_ptr<SpreadsheetApp> app = Connect();
  std::vector<SheetEntry> list;
  ListSheets(*app, list);
  app_ = std::move(app);
  live_entries_ = std::move(list);
  new_list_ = true;
  lost_ = false;
  return item_data;
}

bool ExcelLink::TakeNewSheetList(std::vector<SheetEntry>& list) {
  if (!new_list_) return false;
  new_list_ = false;
  entries_ = live_entries_;
  list = live_entries_;
  return true;
}

int ExcelLink::LiveItemData(int item_data) {
  // The list shown was made when the sheets were found; sheets may have
  // been moved, added or closed since: the chosen one is looked up by its
  // name among those open now.
  if (app_) {
    std::vector<SheetEntry> now;
    ListSheets(*app_, now);
    if (!live_entries_.empty() && now.size() == live_entries_.size()) {
      for (size_t i = 0; i < now.size(); ++i) {
        if (now[i].caption != live_entries_[i].caption) {
          new_list_ = true;
          break;
        }
      }
    } else {
      new_list_ = true;
    }
    live_entries_ = std::move(now);
  }
  if (live_entries_.empty() && entries_.empty()) return item_data;
  for (const SheetEntry& e : entries_) {
    if (e.item_data != item_data) continue;
    for (const SheetEntry& live : live_entries_) {
      if (live.caption == e.caption) return live.item_data;
    }
    throw zelError(err::kSubscript, link_text::kSheetGone1 + e.caption + link_text::kSheetGone2);
  }
  return item_data;
}

bool ExcelLink::UseWorkbook(std::unique_ptr<SpreadsheetApp> workbook,
                            std::vector<SheetEntry>& list) {
  if (!workbook) return true;
  try {
    ListSheets(*workbook, list);
    app_ = std::move(workbook);
    sheet_ = nullptr;
    entries_ = list;
    live_entries_ = list;
    new_list_ = false;
    lost_ = false;
    return false;
  } catch (const std::exception& e) {
    ErrorHandler(e);
  }
  return true;
}

void ExcelLink::WriteHeadings() {
  const int count = columns_.ResultCount();
  for (int i = 0; i < columns_.width; ++i) {
    const char* heading = i < count    ? link_text::kResultHeadings[i]
                          : i == count ? link_text::kMessageHeading
                                       : nullptr;
    sheet_->SetValue(1, columns_.results + i,
                     heading ? CellValue::Text(heading) : CellValue::Empty());
  }
  // Only the result headings wrap: the user's own headings keep their format.
  for (int i = 0; i <= count; ++i) sheet_->SetWrapText(1, columns_.results + i, true);
}

void ExcelLink::WriteRow(int row, const RowResults& results, const RowFigures& figures) {
  const int message = columns_.MessageOffset();
  for (int i = 0; i < columns_.width; ++i) {
    CellValue value;
    if (i < figures.valid) {
      value = CellValue::Number(results[i]);
    } else if (i == message && !figures.message.empty()) {
      value = CellValue::Text(figures.message);
    }
    sheet_->SetValue(row, columns_.results + i, value);
  }
}

void ExcelLink::ClearResults(int row, const std::string& message) {
  RowFigures figures;
  figures.message = message;
  WriteRow(row, RowResults{}, figures);
}

void ExcelLink::ClearBelowTheEnd(int row) {
  const int last = sheet_->UsedRows();
  for (; row <= last; ++row) {
    for (int i = 0; i < columns_.width; ++i) {
      // A cell without a result heading above it is the user's.
      if (columns_.guarded[i]) continue;
      const int col = columns_.results + i;
      if (!sheet_->Value(row, col).IsEmpty()) sheet_->SetValue(row, col, CellValue());
    }
  }
}

RowKind ExcelLink::HandleRow(int row, bool hasPrice, std::optional<bool> american,
                             bool stop_at_zero, bool* refused) {
  LinkColumns columns = columns_;
  if (!hasPrice) columns.price = 0;
  RowInputs in;
  int bad_col = 0;
  CellValue bad_cell;
  const auto number_at = [&](int col, double& value, bool& blank) {
    CellValue cell = sheet_->Value(row, col);
    blank = cell.IsEmpty();
    if (CellNumber(cell, value)) return true;
    bad_cell = std::move(cell);
    return false;
  };
  const auto style_at = [&](int col) { return american ? std::string() : sheet_->Text(row, col); };
  const RowKind kind = ReadRowInputs(columns, number_at, style_at, in, bad_col, stop_at_zero);
  if (kind == RowKind::kEnd) return kind;
  if (kind == RowKind::kSkip) {
    const bool named = bad_col >= 1 && bad_col <= static_cast<int>(headings_.size());
    CellProblem problem{row, bad_col, named ? headings_[bad_col - 1] : std::string(),
                        bad_cell.kind == CellValue::Kind::kText
                            ? bad_cell.text
                            : FormatCellNumber(bad_cell.number)};
    ClearResults(row, RowCellMessage(problem));
    problems_.push_back(std::move(problem));
    if (refused) *refused = true;
    return kind;
  }
  if (american) in.american = *american;
  RowResults results{};
  const RowFigures figures = pricer_.PriceRow(in, hasPrice, results);
  WriteRow(row, results, figures);
  if (refused) *refused = figures.Refused();
  return kind;
}

bool ExcelLink::PriceEuropeanRow(int row, bool hasPrice) {
  bool refused = false;
  return HandleRow(row, hasPrice, false, false, &refused) == RowKind::kPrice && !refused;
}

bool ExcelLink::PriceAmericanRow(int row, bool hasPrice) {
  bool refused = false;
  return HandleRow(row, hasPrice, true, false, &refused) == RowKind::kPrice && !refused;
}

int ExcelLink::FindConflict(int used_columns) {
  std::vector<int> check;
  for (int i = 0; i < columns_.width; ++i) {
    const int col = columns_.results + i;
    if (columns_.guarded[i] && col <= used_columns) check.push_back(col);
  }
  if (check.empty()) return 0;
  // The rows the run will reach: up to the first whose underlying is 0.
  for (int row = 2;; ++row) {
    double underlying = 0;
    const CellValue cell = sheet_->Value(row, columns_.underlying);
    if (CellNumber(cell, underlying) && underlying == 0.0) return 0;
    for (const int col : check) {
      if (!sheet_->Value(row, col).IsEmpty()) {
        conflict_col_ = col;
        return row;
      }
    }
  }
}

ExcelLink::Report ExcelLink::Process(int item_data, Observer& observer) {
  Report report;
  problems_.clear();
  BusyPointer busy;
  // A call to the office that takes long may be given up by Cancel.
  struct CancelWhileWaiting {
    CancelWhileWaiting(SpreadsheetApp* app, Observer& observer)
        : timed(dynamic_cast<TimedApp*>(app)) {
      if (timed) timed->Thread().SetCancel([&observer] { return observer.CancelRequested(); });
    }
    ~CancelWhileWaiting() {
      if (timed) timed->Thread().SetCancel(restore);
    }
    TimedApp* timed;
    std::function<bool()> restore;
  };
  std::optional<CancelWhileWaiting> cancel_while_waiting;
  try {
    if (lost_) item_data = Reconnect(item_data);
    if (!app_) throw zelError(err::kObjectNotSet);
    cancel_while_waiting.emplace(app_.get(), observer);
    cancel_while_waiting->restore = cancel_check_;
    item_data = LiveItemData(item_data);
    const int workbook = item_data / 1000;
    sheet_ = &app_->GetWorksheet(workbook, item_data - 1000 * workbook);
    columns_ = LinkColumns{};
    observer.Status(link_text::kAnalyzing);
    AppEvents().ProcessPending();

    const int used_columns = sheet_->UsedColumns();
    headings_.assign(used_columns, std::string());
    for (int col = 1; col <= used_columns; ++col) headings_[col - 1] = sheet_->Text(1, col);
    columns_ = ScanHeadings(headings_);
    if (const char* missing = MissingColumnMessage(columns_)) {
      AppDialogs().Show(missing, MsgButtons::Ok, MsgIcon::Information, kMessageTitle);
      report.outcome = Outcome::kMissingColumn;
      return report;
    }
    // New results go after the last used column of any row, never over a
    // user's column whose heading is blank.
    if (!columns_.earlier_results) columns_.results = std::max(columns_.results, used_columns + 1);
    if (const std::string problem = HeadingProblem(columns_, headings_); !problem.empty()) {
      AppDialogs().Show(problem, MsgButtons::Ok, MsgIcon::Information, kMessageTitle);
      report.outcome = Outcome::kMissingColumn;
      return report;
    }
    // A cell of the user's under a column without a result heading: refuse
    // before anything is written.
    if (const int row = FindConflict(used_columns)) {
      const std::string message = ResultsConflictMessage(row, conflict_col_);
      observer.Status(message);
      AppDialogs().Show(message, MsgButtons::Ok, MsgIcon::Information, kMessageTitle);
      report.outcome = Outcome::kConflict;
      report.last_row = row;
      return report;
    }
    report.columns_taken = ColumnsTakenText(columns_, headings_);
    observer.Status(report.columns_taken);
    const bool hasPrice = columns_.HasPrice();
    WriteHeadings();

    const int rows_total = std::max(0, sheet_->UsedRows() - 1);
    report.outcome = Outcome::kDone;
    for (int row = 2;; ++row) {
      report.last_row = row;
      observer.Status(link_text::kProcessingRow + std::to_string(row));
      AppEvents().ProcessPending();
      if (observer.CancelRequested()) {
        observer.Status(link_text::kCancelled + std::to_string(row) + ".  " +
                        RunSummary(report.rows_priced, report.rows_refused));
        report.outcome = Outcome::kCancelled;
        break;
      }
      bool refused = false;
      const RowKind kind = HandleRow(row, hasPrice, std::nullopt, true, &refused);
      if (kind == RowKind::kEnd) {
        ClearBelowTheEnd(row);
        break;
      }
      ++(refused ? report.rows_refused : report.rows_priced);
      observer.Progress(row - 1, std::max(rows_total, row - 1));
    }
    if (report.outcome == Outcome::kDone) {
      observer.Status(std::string(link_text::kDone) + ".  " +
                      RunSummary(report.rows_priced, report.rows_refused));
    }
  } catch (const zelError& e) {
    report.outcome = Outcome::kFailed;
    if (e.Number() == kOfficeConnectionLost) {
      // The office is gone, or does not answer: say so plainly, and find
      // the sheets afresh on the next "Process".
      auto* timed = dynamic_cast<TimedApp*>(app_.get());
      const OfficeThread::State state =
          timed ? timed->Thread().state() : OfficeThread::State::kAnswering;
      const auto limit = timed ? timed->Thread().Limit() : office_limit_;
      cancel_while_waiting.reset();
      lost_ = true;
      sheet_ = nullptr;
      app_.reset();
      if (state == OfficeThread::State::kCancelled) {
        report.outcome = Outcome::kCancelled;
        observer.Status(link_text::kCancelled + std::to_string(report.last_row) + ".  " +
                        RunSummary(report.rows_priced, report.rows_refused));
      } else {
        const std::string message = state == OfficeThread::State::kTimedOut
                                        ? NoAnswerMessage(limit, report.last_row)
                                        : ConnectionLostMessage(report.last_row);
        observer.Status(message);
        AppDialogs().Critical(message);
      }
    } else {
      if (report.last_row) observer.Status(link_text::kStopped + std::to_string(report.last_row));
      ErrorHandler(e);
    }
  } catch (const std::exception& e) {
    report.outcome = Outcome::kFailed;
    if (report.last_row) observer.Status(link_text::kStopped + std::to_string(report.last_row));
    ErrorHandler(e);
  }
  report.skipped = problems_;
  if (!problems_.empty()) {
    AppDialogs().Show(SkippedRowsMessage(problems_), MsgButtons::Ok, MsgIcon::Exclamation,
                      kMessageTitle);
  }
  return report;
}

}  // namespace stratlyn
