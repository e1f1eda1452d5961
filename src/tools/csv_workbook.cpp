#include "tools/csv_workbook.h"

#include <csv.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "util/zel_error.h"

namespace stratlyn {
namespace {

constexpr size_t kReadChunk = 1 << 20;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Blanks around unquoted fields belong to the data: keep them.
int NoSpace(unsigned char) { return 0; }

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

int ErrorNumberFor(int system_error) {
  switch (system_error) {
    case ENOENT:
      return err::kFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return err::kPermissionDenied;
    case ENOTDIR:
      return err::kPathNotFound;
    default:
      return err::kDeviceIO;
  }
}

[[noreturn]] void ThrowSystem(int system_error, const std::string& what) {
  throw zelError(ErrorNumberFor(system_error), what + ": " + std::strerror(system_error));
}

}  // namespace

CsvReader::CsvReader(std::FILE* in, std::string name)
    : in_(in), name_(std::move(name)), parser_(std::make_unique<csv_parser>()) {
  if (csv_init(parser_.get(), CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL) != 0) {
    throw zelError(err::kOutOfMemory);
  }
  csv_set_space_func(parser_.get(), NoSpace);
  buffer_.resize(kReadChunk);
}

CsvReader::~CsvReader() { csv_free(parser_.get()); }

void CsvReader::OnField(void* text, size_t length, void* self) {
  auto* reader = static_cast<CsvReader*>(self);
  if (reader->awaiting_lf_ && !reader->line_end_known_) {
    reader->line_end_ = "\r";  // a CR not followed by LF
    reader->line_end_known_ = true;
  }
  reader->awaiting_lf_ = false;
  if (text) reader->pending_chars_.append(static_cast<const char*>(text), length);
  reader->pending_ends_.push_back(reader->pending_chars_.size());
}

void CsvReader::OnRecordEnd(int c, void* self) {
  auto* reader = static_cast<CsvReader*>(self);
  CsvRecords& out = *reader->out_;
  if (c == '\n' && reader->awaiting_lf_ && reader->pending_ends_.empty()) {
    // The LF of a CRLF pair: the record already ended at the CR.
    reader->awaiting_lf_ = false;
    if (!reader->line_end_known_) {
      reader->line_end_ = "\r\n";
      reader->line_end_known_ = true;
    }
    return;
  }
  if (reader->awaiting_lf_ && !reader->line_end_known_) {
    reader->line_end_ = "\r";  // a CR not followed by LF
    reader->line_end_known_ = true;
  }
  reader->awaiting_lf_ = c == '\r';
  if (c == '\n' && !reader->line_end_known_) {
    reader->line_end_ = "\n";
    reader->line_end_known_ = true;
  }
  if (c >= 0) ++reader->line_;
  size_t begin = 0;
  for (const size_t end : reader->pending_ends_) {
    out.AddField(std::string_view(reader->pending_chars_).substr(begin, end - begin));
    begin = end;
  }
  out.EndRecord();
  reader->pending_chars_.clear();
  reader->pending_ends_.clear();
}

void CsvReader::Malformed() const {
  throw zelError(err::kBadFile, "The file " + name_ + " is not a valid CSV file: " +
                                    csv_strerror(csv_error(parser_.get())) + " near line " +
                                    std::to_string(line_) + ".");
}

bool CsvReader::Read(CsvRecords& out, size_t min_records) {
  if (finished_) return false;
  out_ = &out;
  const size_t start = out.size();
  while (out.size() - start < min_records || out.size() == start) {
    size_t got = std::fread(buffer_.data(), 1, buffer_.size(), in_);
    if (got == 0 && std::ferror(in_)) ThrowSystem(errno ? errno : EIO, "Cannot read " + name_);
    const char* data = buffer_.data();
    if (!started_ && got > 0) {
      started_ = true;
      if (std::string_view(data, got).starts_with(kByteOrderMark)) {
        bom_ = true;
        data += kByteOrderMark.size();
        got -= kByteOrderMark.size();
      }
      separator_ = DetectSeparator(std::string_view(data, got));
      csv_set_delim(parser_.get(), static_cast<unsigned char>(separator_));
    }
    if (got == 0) {
      if (csv_fini(parser_.get(), OnField, OnRecordEnd, this) != 0) Malformed();
      finished_ = true;
      break;
    }
    if (csv_parse(parser_.get(), data, got, OnField, OnRecordEnd, this) != got) Malformed();
  }
  out_ = nullptr;
  return out.size() > start;
}

char DetectSeparator(std::string_view text) {
  size_t commas = 0, semicolons = 0, tabs = 0;
  bool inside = false;
  for (const char c : text) {
    if (c == '"') {
      inside = !inside;
    } else if (!inside) {
      if (c == '\r' || c == '\n') break;
      commas += c == ',';
      semicolons += c == ';';
      tabs += c == '\t';
    }
  }
  if (semicolons > commas && semicolons >= tabs) return ';';
  if (tabs > commas && tabs > semicolons) return '\t';
  return ',';
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
    if (c == '"') out.push_back('"');
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
      if (i) out.push_back(separator);
      AppendCsvField(out, fields[i], separator);
    }
  }
  out.append(line_end);
}

namespace {

// True for the links that name an open descriptor of this process
// (/dev/stdout is one to /proc/self/fd/1): what they point at may be a pipe
// or a terminal, and a file behind one is the caller's to keep.
bool NamesOpenDescriptor(const std::string& path) {
  if (path.starts_with("/dev/fd/")) return true;
  if (!path.starts_with("/proc/")) return false;
  const size_t fd = path.find("/fd/", 6);
  return fd != std::string::npos && path.find('/', 6) == fd;
}

bool ReadOnlyFor(const struct stat& st, const std::string& path) {
  if (::access(path.c_str(), W_OK) != 0) return errno == EACCES || errno == EROFS;
  // access() lets root write anything: a file without any write bit is the
  // user's way to say "keep this", and is kept for root as well.
  return (st.st_mode & 0222) == 0;
}

}  // namespace

OutputTarget ResolveOutputTarget(const std::string& path) {
  namespace fs = std::filesystem;
  OutputTarget target;
  std::string current = path;
  for (int hops = 0;; ++hops) {
    if (hops > 40) {
      throw zelError(err::kPathAccess, "Cannot write " + path + ": " + std::strerror(ELOOP));
    }
    if (NamesOpenDescriptor(current)) {
      target.stream = true;
      target.path = path;
      return target;
    }
    struct stat lst {};
    if (::lstat(current.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) break;
    std::string link(static_cast<size_t>(lst.st_size > 0 ? lst.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
    if (n < 0) break;
    link.resize(static_cast<size_t>(n));
    if (link.empty() || link[0] != '/') {
      link = (fs::path(current).parent_path() / link).string();
    }
    current = link;
  }
  target.path = current;
  struct stat st {};
  if (::stat(current.c_str(), &st) != 0) return target;  // a new file
  if (S_ISDIR(st.st_mode)) {
    throw zelError(err::kPathAccess, "Cannot write " + path + ": it is a folder");
  }
  if (!S_ISREG(st.st_mode)) {
    target.stream = true;  // a device, FIFO or socket
    return target;
  }
  if (ReadOnlyFor(st, current)) {
    throw zelError(err::kPathAccess, "Cannot write " + path + ": the file is read-only");
  }
  target.exists = true;
  target.mode = st.st_mode & 07777;
  target.uid = st.st_uid;
  target.gid = st.st_gid;
  return target;
}

AtomicFile::AtomicFile(std::string path)
    : path_(std::move(path)), target_(ResolveOutputTarget(path_)) {
  namespace fs = std::filesystem;
  if (target_.stream) {
    file_ = std::fopen(target_.path.c_str(), "wb");
    if (!file_) ThrowSystem(errno, "Cannot write " + path_);
    return;
  }
  const fs::path target(target_.path);
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  temp_ = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(temp_.data());
  if (fd < 0) ThrowSystem(errno, "Cannot write " + path_);
  if (target_.exists) {
    // The replacement is the same file to its owner: same mode, same owner
    // where we may give it (root), the mode again after a change of owner.
    if (::geteuid() == 0) (void)!fchown(fd, target_.uid, target_.gid);
    fchmod(fd, target_.mode);
  } else {
    // mkstemp makes the file private; give it the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  file_ = fdopen(fd, "wb");
  if (!file_) {
    const int e = errno;
    ::close(fd);
    ::unlink(temp_.c_str());
    ThrowSystem(e, "Cannot write " + path_);
  }
}

AtomicFile::~AtomicFile() {
  if (file_) {
    std::fclose(file_);
    if (!target_.stream) ::unlink(temp_.c_str());
  }
}

void AtomicFile::Write(std::string_view text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
    ThrowSystem(errno ? errno : EIO, "Cannot write " + path_);
  }
}

void AtomicFile::Commit() {
  std::FILE* f = file_;
  file_ = nullptr;
  const bool flushed = std::fflush(f) == 0;
  const int e = errno;
  if (std::fclose(f) != 0 || !flushed) {
    if (!target_.stream) ::unlink(temp_.c_str());
    ThrowSystem(flushed ? errno : e, "Cannot write " + path_);
  }
  if (target_.stream) return;
  if (std::rename(temp_.c_str(), target_.path.c_str()) != 0) {
    const int re = errno;
    ::unlink(temp_.c_str());
    ThrowSystem(re, "Cannot write " + path_);
  }
}

void WriteFileAtomically(const std::string& path, std::string_view text) {
  AtomicFile file(path);
  file.Write(text);
  file.Commit();
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
      for (size_t f = 0; f < row.size(); ++f) row[f] = records.Field(r, f);
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
  if (!file) ThrowSystem(errno, "Cannot open " + path);
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
  if (!file) ThrowSystem(errno, "Cannot read " + name);
  if (text.empty()) {
    std::unique_ptr<CsvWorkbook> book(new CsvWorkbook());
    book->name_ = name;
    return book;
  }
  return Read(file.get(), name);
}

std::string CsvWorkbook::ToCsv() const {
  std::string out;
  if (bom_) out.append(kByteOrderMark);
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
  if (workbook != 1) throw zelError(err::kSubscript);
  return name_;
}

int CsvWorkbook::WorksheetCount(int workbook) {
  if (workbook != 1) throw zelError(err::kSubscript);
  return 1;
}

std::string CsvWorkbook::WorksheetName(int workbook, int sheet) {
  if (workbook != 1 || sheet != 1) throw zelError(err::kSubscript);
  return std::filesystem::path(name_).stem().string();
}

Worksheet& CsvWorkbook::GetWorksheet(int workbook, int sheet) {
  if (workbook != 1 || sheet != 1) throw zelError(err::kSubscript);
  return *this;
}

const std::string* CsvWorkbook::Cell(int row, int col) const {
  if (row < 1 || col < 1 || row > static_cast<int>(rows_.size())) return nullptr;
  const auto& r = rows_[row - 1];
  if (col > static_cast<int>(r.size())) return nullptr;
  return &r[col - 1];
}

CellValue CsvWorkbook::Value(int row, int col) {
  const std::string* text = Cell(row, col);
  if (!text || text->empty()) return CellValue::Empty();
  double number = 0.0;
  if (ReadNumber(*text, number)) return CellValue::Number(number);
  return CellValue::Text(*text);
}

std::string CsvWorkbook::Text(int row, int col) {
  const std::string* text = Cell(row, col);
  return text ? *text : std::string();
}

void CsvWorkbook::SetValue(int row, int col, const CellValue& value) {
  if (row < 1 || col < 1) throw zelError(err::kInvalidCall);
  if (value.IsEmpty() && !Cell(row, col)) return;  // nothing there to clear
  if (row > static_cast<int>(rows_.size())) rows_.resize(row);
  auto& r = rows_[row - 1];
  if (col > static_cast<int>(r.size())) r.resize(col);
  switch (value.kind) {
    case CellValue::Kind::kEmpty:
      r[col - 1].clear();
      break;
    case CellValue::Kind::kNumber:
      r[col - 1] = FormatCellNumber(value.number);
      break;
    case CellValue::Kind::kText:
      r[col - 1] = value.text;
      break;
  }
}

int CsvWorkbook::UsedColumns() {
  size_t cols = 0;
  for (const auto& r : rows_) cols = std::max(cols, r.size());
  return static_cast<int>(cols);
}

}  // namespace stratlyn
