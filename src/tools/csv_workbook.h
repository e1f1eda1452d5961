#pragma once
// CSV files as workbooks for the spreadsheet link: reading records (quoted
// fields, embedded commas, quotes and line breaks, CRLF or LF, a UTF-8
// byte-order mark), writing them back so that every field reads the
// same again, and CsvWorkbook, a one-sheet workbook held in memory.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tools/spreadsheet_app.h"

namespace stratlyn {

// Records of a CSV file, stored flat: the fields' characters one after the
// other, the end of each field and the end (field count so far) of each record.
// A blank line is a record without fields.
class CsvRecords {
 public:
  size_t size() const { return record_ends_.size(); }
  bool empty() const { return record_ends_.empty(); }
  size_t FieldCount(size_t record) const {
    return record_ends_[record] - (record ? record_ends_[record - 1] : 0);
  }
  std::string_view Field(size_t record, size_t field) const {
    const size_t index = (record ? record_ends_[record - 1] : 0) + field;
    const size_t begin = index ? field_ends_[index - 1] : 0;
    return std::string_view(chars_).substr(begin, field_ends_[index] - begin);
  }
  void clear() {
    chars_.clear();
    field_ends_.clear();
    record_ends_.clear();
  }

  void AddField(std::string_view text) {
    chars_.append(text);
    field_ends_.push_back(chars_.size());
  }
  void EndRecord() { record_ends_.push_back(field_ends_.size()); }

 private:
  std::string chars_;
  std::vector<size_t> field_ends_;
  std::vector<size_t> record_ends_;
};

// Reads the records of a CSV stream block by block, with the program's one
// CSV parser (tools/csv_parse.h). Strict: an unescaped quote inside a field,
// text after a closing quote, or an unterminated quoted field at the end is
// an error, never a silent guess.
class CsvReader {
 public:
  // in is not owned and must outlive the reader; name appears in messages.
  CsvReader(std::FILE* in, std::string name);
  ~CsvReader();
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // Appends the records of the next part of the input to out, at least
  // min_records unless the input ends first. False when nothing was left.
  // zelError 52 (bad file name or number) with a message naming the file and
  // line for malformed input; 57 (device I/O) for a read error.
  bool Read(CsvRecords& out, size_t min_records);

  // Known once the first record has been read.
  bool HasByteOrderMark() const { return bom_; }
  // "\r\n", "\n" or "\r", as the file ends its first record ("\n" when it
  // has none).
  const std::string& LineEnd() const { return line_end_; }
  // The separator found in the first record (DetectSeparator).
  char Separator() const { return separator_; }

 private:
  // Reads more input after what is kept; false at the end of the input.
  bool Fill();
  // Looks at the start of the input once its first record is whole.
  void Start();

  std::FILE* in_;
  std::string name_;
  std::vector<char> buffer_;  // input not yet parsed (a record cut by a block)
  bool eof_ = false;
  bool started_ = false;
  bool finished_ = false;
  bool bom_ = false;
  bool awaiting_lf_ = false;  // the last record ended with a CR
  size_t line_ = 1;           // the record the buffer starts with, for messages
  std::string line_end_ = "\n";
  char separator_ = ',';
};

// "The file NAME is not a valid CSV file: ... near line N."
std::string CsvMalformedMessage(const std::string& name, size_t line);

// The field separator of a CSV file, from the text of its first record (or
// more): whichever of comma, semicolon and tab occurs most often outside
// quotes before the first line end; a comma when none does or on a tie.
char DetectSeparator(std::string_view heading_text);
// "comma", "semicolon" or "tab".
const char* SeparatorName(char separator);

// How a number field of a CSV file reads. With a comma separator, as
// ReadNumber reads it. With a semicolon or a tab (as a spreadsheet writes
// under a locale whose decimal separator is the comma), a comma is the
// decimal separator ("0,25", "1.234,5" with dot groups, "1.234.567" with
// two groups or more: kDecimalComma, read as a comma locale writes it) and a
// dot one as well ("0.25": kNumber); a text whose one dot or comma could be
// either the decimal separator or a group separator ("1,000", "1.500": a
// whole part of one to three digits not starting with 0, then three digits)
// is ambiguous and refused.
enum class CsvNumber { kNumber, kDecimalComma, kNotANumber, kAmbiguous };
CsvNumber ReadCsvNumber(std::string_view text, char separator, double& number);

// Appends one field, quoted (with doubled quotes) only when it holds the
// separator, a quote or a line break.
void AppendCsvField(std::string& out, std::string_view field, char separator = ',');
// Appends fields joined by the separator and the line end. A record of one
// empty field is written as "" so that it does not read back as a blank line.
void AppendCsvRecord(std::string& out, const std::vector<std::string_view>& fields,
                     std::string_view line_end, char separator = ',');

// Where a written workbook goes, symbolic links followed to their final
// target: a regular file (or a new one) is replaced through a temporary file
// in the target's folder; a device, FIFO, socket or open descriptor
// (/dev/stdout, /dev/null) is written in place, as a stream.
struct OutputTarget {
  bool stream = false;
  bool exists = false;  // an existing regular file is replaced
  std::string path;     // the final target of the links
  unsigned mode = 0;    // its permission bits, when it exists
  unsigned uid = 0, gid = 0;
};
// Follows the links of `path` and looks at what they end in. zelError 75
// (path/file access) naming `path` for a folder, a read-only file, a cycle
// of links, or a link or file of another user in a shared folder
// (SharedFolderProblem); nothing is created or changed.
OutputTarget ResolveOutputTarget(const std::string& path);

// A file written under a temporary name in its target's folder and renamed
// over the target by Commit, so that a failure never leaves half a file;
// without Commit the temporary file is removed. The target keeps its mode
// (and, where allowed, its owner); a symbolic link stays a link to it. A
// device or FIFO is written straight through instead. Everything is checked
// when the file is created: zelError 75 for a folder or a read-only target,
// 53/70/76/57 with the system's reason when the file cannot be created,
// written or renamed.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  std::FILE* get() const { return file_; }
  void Write(std::string_view text);
  void Commit();
  bool IsStream() const { return target_.stream; }

 private:
  std::string path_;  // as given, for messages
  OutputTarget target_;
  std::string temp_;
  int slot_ = -1;  // in the list of files removed on a signal
  std::FILE* file_ = nullptr;
};

void WriteFileAtomically(const std::string& path, std::string_view text);

// Removes the temporary files of the AtomicFiles still open when the
// process gets SIGINT, SIGTERM or SIGHUP, then ends it by that signal.
// (After a SIGKILL the file stays beside its target, named
// ".NAME.stratlyn-PID.XXXXXX"; the next AtomicFile for that target removes
// those of processes that no longer run.)
void InstallTempFileCleanup();

// The reason to refuse a file in a shared folder (sticky and writable by
// all, like /tmp): a symbolic link or a file there that belongs to another
// user is never followed or replaced. "" when it may be written.
std::string SharedFolderProblem(const std::string& path);

// "dir/NAME.priced.csv" for "dir/NAME.csv" (or for any other extension).
std::string PricedPath(const std::string& input_path);

// A CSV file as a workbook of one worksheet: the workbook is named by the
// file name ("prices.csv"), the worksheet by the name without extension.
// Cells hold text; a text that reads as a number is a number (ReadCsvNumber
// with the file's separator). Numbers written are stored as their shortest
// text (FormatCellNumber), with a decimal comma in a row whose numbers were
// read with one.
class CsvWorkbook : public SpreadsheetApp, public Worksheet {
 public:
  // zelError 53 (file not found) or 75 (path/file access) with the reason,
  // 52 for a malformed file.
  static std::unique_ptr<CsvWorkbook> Load(const std::string& path);
  static std::unique_ptr<CsvWorkbook> FromText(std::string_view text, const std::string& name);

  const std::string& Path() const { return path_; }
  // The file's separator (comma, semicolon or tab), kept when it is saved.
  char Separator() const { return separator_; }
  std::string ToCsv() const;
  // Writes the workbook to path (atomically); refuses (zelError 75) to
  // write over the file it was loaded from.
  void Save(const std::string& path) const;

  // SpreadsheetApp
  int WorkbookCount() override { return 1; }
  std::string WorkbookName(int workbook) override;
  int WorksheetCount(int workbook) override;
  std::string WorksheetName(int workbook, int sheet) override;
  Worksheet& GetWorksheet(int workbook, int sheet) override;

  // Worksheet
  CellValue Value(int row, int col) override;
  void SetValue(int row, int col, const CellValue& value) override;
  std::string Text(int row, int col) override;
  void SetWrapText(int, int, bool) override {}
  int UsedRows() override { return static_cast<int>(rows_.size()); }
  int UsedColumns() override;

 private:
  CsvWorkbook() = default;
  static std::unique_ptr<CsvWorkbook> Read(std::FILE* in, const std::string& name);
  const std::string* Cell(int row, int col) const;

  std::string path_;
  std::string name_;
  std::vector<std::vector<std::string>> rows_;
  bool bom_ = false;
  std::string line_end_ = "\n";
  char separator_ = ',';
  std::set<int> decimal_comma_rows_;  // rows with a number read with a decimal comma
};

}  // namespace stratlyn
