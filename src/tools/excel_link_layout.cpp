// The spreadsheet link's layout rules: which column holds which input (by
// its heading), where the results go, and the messages about headings,
// columns and cells that cannot be read. No office and no file here: the
// rules work on the headings' texts.

#include <algorithm>
#include <string>
#include <vector>

#include "tools/excel_link.h"

namespace stratlyn {
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
  if (!word.empty()) {
    words.push_back(std::move(word));
  }
  return words;
}

bool HasWord(const std::vector<std::string>& words, std::initializer_list<std::string_view> any) {
  for (const std::string& w : words) {
    for (const std::string_view a : any) {
      if (w == a) {
        return true;
      }
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
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  const auto same = [&](std::string_view name) {
    if (name.size() != text.size()) {
      return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
      char a = text[i], b = name[i];
      if (a >= 'A' && a <= 'Z') {
        a = static_cast<char>(a - 'A' + 'a');
      }
      if (b >= 'A' && b <= 'Z') {
        b = static_cast<char>(b - 'A' + 'a');
      }
      if (a != b) {
        return false;
      }
    }
    return true;
  };
  for (const char* name : link_text::kResultHeadings) {
    if (same(name)) {
      return true;
    }
  }
  return false;
}

bool IsMessageHeading(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
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
    if (col >= c.results && col < c.results + c.width) {
      continue;
    }
    if (IsResultHeading(headings[col - 1])) {
      return col;
    }
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
    if (words.empty()) {
      continue;
    }
    bool recognised = false;
    const auto take = [&](int LinkColumns::*column) {
      recognised = true;
      int& current = c.*column;
      if (current != 0 && current != col && !c.ambiguous) {
        for (const InputName& input : kInputNames) {
          if (input.column == column) {
            c.ambiguous = input.name;
          }
        }
        c.ambiguous_first = current;
        c.ambiguous_second = col;
      }
      if (current == 0) {
        current = col;
      }
    };
    if (HasWord(words, {"underlying"})) {
      take(&LinkColumns::underlying);
    }
    if (HasWord(words, {"strike"})) {
      take(&LinkColumns::strike);
    }
    if (HasWord(words, {"maturity"})) {
      take(&LinkColumns::maturity);
    }
    if (HasWord(words, {"vol", "vols", "vola", "volatility"})) {
      take(&LinkColumns::volatility);
    }
    if (HasWord(words, {"yield"})) {
      take(&LinkColumns::dividend);
    }
    for (const std::string& w : words) {
      if (w.starts_with("risk")) {
        take(&LinkColumns::riskfree);
        break;
      }
    }
    if (HasWord(words, {"type"})) {
      take(&LinkColumns::type);
    }
    if (HasWord(words, {"style"})) {
      take(&LinkColumns::style);
    }
    if (IsMarketPriceHeading(words)) {
      take(&LinkColumns::price);
    }
    if (recognised) {
      c.last = col;
    }
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
      if (IsMessageHeading(text) && (old_width == 5 || old_width == 10)) {
        ++old_width;
      }
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
  if (refused) {
    text += link_text::kSeeMessages;
  }
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
    if (col == 0) {
      continue;
    }
    if (!text.empty()) {
      text += "; ";
    }
    text += std::string(input.name) + ": " + ColumnText(col, headings);
  }
  if (!text.empty()) {
    text += "; ";
  }
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
    if (column == 0) {
      return message;
    }
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
      if (ch >= 'A' && ch <= 'Z') {
        ch = static_cast<char>(ch - 'A' + 'a');
      }
      if (ch != kWord[k]) {
        break;
      }
      ++k;
    }
    if (k == kWord.size()) {
      return true;
    }
  }
  return false;
}

namespace {
// Why a cell's text is no number: one that reads two ways says so.
const char* NotANumberReason(const std::string& text) {
  return IsAmbiguousGrouping(text) ? link_text::kAmbiguousNumber : link_text::kNotANumber;
}
}  // namespace

std::string DescribeProblem(const CellProblem& p) {
  std::string out = "Row " + std::to_string(p.row) + ", column " + std::to_string(p.col);
  if (!p.heading.empty()) {
    out += " (" + p.heading + ")";
  }
  out += ": \"" + p.text + "\"" + NotANumberReason(p.text);
  return out;
}

std::string RowCellMessage(const CellProblem& p) {
  std::string out = p.heading.empty() ? "Column " + std::to_string(p.col) : p.heading;
  return out + ": \"" + p.text + "\"" + NotANumberReason(p.text);
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

}  // namespace stratlyn
