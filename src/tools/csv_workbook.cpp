// CSV workbooks: reading CSV text in chunks (any separator, quoted fields,
// a byte-order mark), writing it back, and the workbook a CSV file forms
// for the spreadsheet link.

#include "tools/csv_workbook.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "tools/csv_parse.h"
#include "tools/file_errors.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

constexpr size_t kReadChunk = 1 << 20;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

CsvReader::CsvReader(std::FILE* in, std::string name) : in_(in), name_(std::move(name)) {}

CsvReader::~CsvReader() = default;

std::string CsvMalformedMessage(const std::string& name, size_t line) {
  return "The file " + name + " is not a valid CSV file: " + kCsvMalformed + " near line " +
         std::to_string(line) + ".";
}

bool CsvReader::Fill() {
  if (eof_) {
    return false;
  }
  const size_t keep = buffer_.size();
  buffer_.resize(keep + kReadChunk);
  size_t got = 0;
  while (got < kReadChunk) {
    const size_t n = std::fread(buffer_.data() + keep + got, 1, kReadChunk - got, in_);
    if (n == 0) {
      if (std::ferror(in_)) {
        ThrowSystem(errno ? errno : EIO, "Cannot read " + name_);
      }
      eof_ = true;
      break;
    }
    got += n;
  }
  buffer_.resize(keep + got);
  return got > 0;
}

void CsvReader::Start() {
  // The first record whole (a CR at the end of what was read may be the
  // first half of a CR LF), or all of a shorter input.
  const char* first_end = nullptr;
  size_t skip = 0;
  for (;;) {
    const char* b = buffer_.data();
    const char* e = b + buffer_.size();
    bom_ = std::string_view(b, buffer_.size()).starts_with(kByteOrderMark);
    skip = bom_ ? kByteOrderMark.size() : 0;
    first_end = NextBoundary(b + skip, b + skip, e);
    const bool whole = first_end && !(first_end == e && first_end[-1] == '\r');
    if ((whole && buffer_.size() >= kByteOrderMark.size()) || !Fill()) {
      break;
    }
  }
  const char* data = buffer_.data();
  const char* data_end = data + buffer_.size();
  first_end = NextBoundary(data + skip, data + skip, data_end);
  const char* heading_end = first_end ? first_end : data_end;
  separator_ = DetectSeparator(std::string_view(data + skip, heading_end - (data + skip)));
  if (first_end) {
    const char* p = first_end - 1;
    if (*p == '\n') {
      line_end_ = p > data + skip && p[-1] == '\r' ? "\r\n" : "\n";
    } else if (p + 1 < data_end) {
      line_end_ = "\r";  // a CR not followed by LF
    }
  }
  if (skip) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(skip));
  }
  started_ = true;
}

bool CsvReader::Read(CsvRecords& out, size_t min_records) {
  if (finished_) {
    return false;
  }
  if (!started_) {
    Fill();
    Start();
  }
  const size_t start = out.size();
  PartRecords part;
  while (!finished_ && (out.size() - start < min_records || out.size() == start)) {
    char* const base = buffer_.data();
    char* const limit = base + buffer_.size();
    char* end = limit;
    if (!eof_) {
      const char* last = LastBoundary(base, limit);
      if (!last) {
        Fill();  // no whole record yet
        continue;
      }
      end = const_cast<char*>(last);
    }
    part.clear();
    const ParseResult parsed = ParsePart(base, end, separator_, awaiting_lf_, eof_, part);
    if (!parsed.ok) {
      throw zelError(err::kBadFile, CsvMalformedMessage(name_, line_ + part.size()));
    }
    awaiting_lf_ = parsed.awaiting_lf;
    for (size_t r = 0; r < part.size(); ++r) {
      for (size_t f = 0; f < part.FieldCount(r); ++f) {
        out.AddField(part.Field(r, f));
      }
      out.EndRecord();
    }
    line_ += part.size();
    if (eof_) {
      finished_ = true;
      buffer_.clear();
      break;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + (end - base));
    Fill();
  }
  return out.size() > start;
}

char DetectSeparator(std::string_view text) {
  size_t commas = 0, semicolons = 0, tabs = 0;
  bool inside = false;
  for (const char c : text) {
    if (c == '"') {
      inside = !inside;
    } else if (!inside) {
      if (c == '\r' || c == '\n') {
        break;
      }
      commas += c == ',';
      semicolons += c == ';';
      tabs += c == '\t';
    }
  }
  if (semicolons > commas && semicolons >= tabs) {
    return ';';
  }
  if (tabs > commas && tabs > semicolons) {
    return '\t';
  }
  return ',';
}

CsvNumber ReadCsvNumber(std::string_view text, char separator, double& number) {
  if (separator == ',') {
    return ReadNumber(text, number) ? CsvNumber::kNumber : CsvNumber::kNotANumber;
  }
  if (IsAmbiguousGrouping(text)) {
    return CsvNumber::kAmbiguous;
  }
  const size_t comma = text.find(',');
  const auto dots = std::count(text.begin(), text.end(), '.');
  if (comma == std::string_view::npos && dots < 2) {
    return ReadNumber(text, number) ? CsvNumber::kNumber : CsvNumber::kNotANumber;
  }
  if (comma != std::string_view::npos && text.find(',', comma + 1) != std::string_view::npos) {
    return CsvNumber::kNotANumber;
  }
  // The whole part: digits, or groups of three behind dots ("1.234.567"),
  // then the decimal comma and its digits, or (without one) blanks and a
  // percent sign.
  std::string dotted;
  size_t start = 0;
  while (start < text.size() && start != comma && !(text[start] >= '0' && text[start] <= '9')) {
    dotted += text[start++];  // blanks and a sign
  }
  size_t end = comma;
  if (comma == std::string_view::npos) {
    end = text.size();
    while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '%')) {
      --end;
    }
  }
  if (end < start) {
    return CsvNumber::kNotANumber;
  }
  const std::string_view whole = text.substr(start, end - start);
  if (size_t group = whole.find('.'); group != std::string_view::npos) {
    if (group == 0 || group > 3) {
      return CsvNumber::kNotANumber;
    }
    while (group != std::string_view::npos) {
      const size_t next = whole.find('.', group + 1);
      if ((next == std::string_view::npos ? whole.size() : next) - group != 4) {
        return CsvNumber::kNotANumber;
      }
      group = next;
    }
  }
  for (const char c : whole) {
    if (c != '.') {
      dotted += c;
    }
  }
  if (comma == std::string_view::npos) {
    dotted.append(text.substr(end));
  } else {
    const std::string_view fraction = text.substr(comma + 1);
    if (fraction.find('.') != std::string_view::npos) {
      return CsvNumber::kNotANumber;
    }
    dotted += '.';
    dotted.append(fraction);
  }
  return ReadNumber(dotted, number) ? CsvNumber::kDecimalComma : CsvNumber::kNotANumber;
}

const char* SeparatorName(char separator) {
  switch (separator) {
    case ';':
      return "semicolon";
    case '\t':
      return "tab";
    default:
      return "comma";
  }
}

void AppendCsvField(std::string& out, std::string_view field, char separator) {
  // One pass over the field (find_first_of searches the set per character).
  bool plain = true;
  for (const char c : field) {
    if (c == separator || c == '"' || c == '\r' || c == '\n') {
      plain = false;
      break;
    }
  }
  if (plain) {
    out.append(field);
    return;
  }
  out.push_back('"');
  for (char c : field) {
    if (c == '"') {
      out.push_back('"');
    }
    out.push_back(c);
  }
  out.push_back('"');
}

void AppendCsvRecord(std::string& out, const std::vector<std::string_view>& fields,
                     std::string_view line_end, char separator) {
  if (fields.size() == 1 && fields[0].empty()) {
    out.append("\"\"");
  } else {
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i) {
        out.push_back(separator);
      }
      AppendCsvField(out, fields[i], separator);
    }
  }
  out.append(line_end);
}

std::string PricedPath(const std::string& input_path) {
  std::filesystem::path p(input_path);
  p.replace_filename(p.stem().string() + ".priced.csv");
  return p.string();
}

std::unique_ptr<CsvWorkbook> CsvWorkbook::Read(std::FILE* in, const std::string& name) {
  std::unique_ptr<CsvWorkbook> book(new CsvWorkbook());
  book->name_ = name;
  CsvReader reader(in, name);
  CsvRecords records;
  while (reader.Read(records, 4096)) {
    for (size_t r = 0; r < records.size(); ++r) {
      std::vector<std::string>& row = book->rows_.emplace_back(records.FieldCount(r));
      for (size_t f = 0; f < row.size(); ++f) {
        row[f] = records.Field(r, f);
      }
    }
    records.clear();
  }
  book->bom_ = reader.HasByteOrderMark();
  book->line_end_ = reader.LineEnd();
  book->separator_ = reader.Separator();
  return book;
}

std::unique_ptr<CsvWorkbook> CsvWorkbook::Load(const std::string& path) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    ThrowSystem(errno, "Cannot open " + path);
  }
  struct stat st {};
  if (fstat(fileno(file.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
    throw zelError(err::kPathAccess, "Cannot open " + path + ": it is a folder");
  }
  auto book = Read(file.get(), std::filesystem::path(path).filename().string());
  book->path_ = path;
  return book;
}

std::unique_ptr<CsvWorkbook> CsvWorkbook::FromText(std::string_view text, const std::string& name) {
  // fmemopen wants a mutable buffer of at least one byte.
  std::string copy(text);
  copy.push_back('\0');
  FilePtr file(fmemopen(copy.data(), text.size() ? text.size() : 1, "rb"));
  if (!file) {
    ThrowSystem(errno, "Cannot read " + name);
  }
  if (text.empty()) {
    std::unique_ptr<CsvWorkbook> book(new CsvWorkbook());
    book->name_ = name;
    return book;
  }
  return Read(file.get(), name);
}

std::string CsvWorkbook::ToCsv() const {
  std::string out;
  if (bom_) {
    out.append(kByteOrderMark);
  }
  std::vector<std::string_view> fields;
  for (const auto& row : rows_) {
    fields.assign(row.begin(), row.end());
    AppendCsvRecord(out, fields, line_end_, separator_);
  }
  return out;
}

void CsvWorkbook::Save(const std::string& path) const {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!path_.empty() && fs::exists(path, ec) && fs::equivalent(path, path_, ec)) {
    throw zelError(err::kPathAccess,
                   "The priced workbook would replace its input " + path_ + "; nothing was saved.");
  }
  WriteFileAtomically(path, ToCsv());
}

std::string CsvWorkbook::WorkbookName(int workbook) {
  if (workbook != 1) {
    throw zelError(err::kSubscript);
  }
  return name_;
}

int CsvWorkbook::WorksheetCount(int workbook) {
  if (workbook != 1) {
    throw zelError(err::kSubscript);
  }
  return 1;
}

std::string CsvWorkbook::WorksheetName(int workbook, int sheet) {
  if (workbook != 1 || sheet != 1) {
    throw zelError(err::kSubscript);
  }
  return std::filesystem::path(name_).stem().string();
}

Worksheet& CsvWorkbook::GetWorksheet(int workbook, int sheet) {
  if (workbook != 1 || sheet != 1) {
    throw zelError(err::kSubscript);
  }
  return *this;
}

const std::string* CsvWorkbook::Cell(int row, int col) const {
  if (row < 1 || col < 1 || row > static_cast<int>(rows_.size())) {
    return nullptr;
  }
  const auto& r = rows_[row - 1];
  if (col > static_cast<int>(r.size())) {
    return nullptr;
  }
  return &r[col - 1];
}

CellValue CsvWorkbook::Value(int row, int col) {
  const std::string* text = Cell(row, col);
  if (!text || text->empty()) {
    return CellValue::Empty();
  }
  double number = 0.0;
  switch (ReadCsvNumber(*text, separator_, number)) {
    case CsvNumber::kDecimalComma:
      decimal_comma_rows_.insert(row);
      return CellValue::Number(number);
    case CsvNumber::kNumber:
      return CellValue::Number(number);
    case CsvNumber::kNotANumber:
    case CsvNumber::kAmbiguous:
      break;
  }
  return CellValue::Text(*text);
}

std::string CsvWorkbook::Text(int row, int col) {
  const std::string* text = Cell(row, col);
  return text ? *text : std::string();
}

void CsvWorkbook::SetValue(int row, int col, const CellValue& value) {
  if (row < 1 || col < 1) {
    throw zelError(err::kInvalidCall);
  }
  // An emptied cell of an existing row widens it, as the batch writes every
  // row of the block whole; no row is added for it.
  if (value.IsEmpty() && row > static_cast<int>(rows_.size())) {
    return;
  }
  if (row > static_cast<int>(rows_.size())) {
    rows_.resize(row);
  }
  auto& r = rows_[row - 1];
  if (col > static_cast<int>(r.size())) {
    r.resize(col);
  }
  switch (value.kind) {
    case CellValue::Kind::kEmpty:
      r[col - 1].clear();
      break;
    case CellValue::Kind::kNumber:
      r[col - 1] = FormatCellNumber(value.number);
      // A row read with decimal commas gets its figures written so.
      if (decimal_comma_rows_.count(row) != 0) {
        std::replace(r[col - 1].begin(), r[col - 1].end(), '.', ',');
      }
      break;
    case CellValue::Kind::kText:
      r[col - 1] = value.text;
      break;
  }
}

int CsvWorkbook::UsedColumns() {
  size_t cols = 0;
  for (const auto& r : rows_) {
    cols = std::max(cols, r.size());
  }
  return static_cast<int>(cols);
}

}  // namespace stratlyn
