#include "tools/csv_workbook.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>
#include <utility>

#include "tools/csv_parse.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

constexpr size_t kReadChunk = 1 << 20;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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

CsvReader::CsvReader(std::FILE* in, std::string name) : in_(in), name_(std::move(name)) {}

CsvReader::~CsvReader() = default;

std::string CsvMalformedMessage(const std::string& name, size_t line) {
  return "The file " + name + " is not a valid CSV file: " + kCsvMalformed + " near line " +
         std::to_string(line) + ".";
}

bool CsvReader::Fill() {
  if (eof_) return false;
  const size_t keep = buffer_.size();
  buffer_.resize(keep + kReadChunk);
  size_t got = 0;
  while (got < kReadChunk) {
    const size_t n = std::fread(buffer_.data() + keep + got, 1, kReadChunk - got, in_);
    if (n == 0) {
      if (std::ferror(in_)) ThrowSystem(errno ? errno : EIO, "Cannot read " + name_);
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
    if ((whole && buffer_.size() >= kByteOrderMark.size()) || !Fill()) break;
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
  if (skip) buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(skip));
  started_ = true;
}

bool CsvReader::Read(CsvRecords& out, size_t min_records) {
  if (finished_) return false;
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
    if (!parsed.ok) throw zelError(err::kBadFile, CsvMalformedMessage(name_, line_ + part.size()));
    awaiting_lf_ = parsed.awaiting_lf;
    for (size_t r = 0; r < part.size(); ++r) {
      for (size_t f = 0; f < part.FieldCount(r); ++f) out.AddField(part.Field(r, f));
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

// The temporary files open now, for the signal handler: fixed slots that it
// can read without taking a lock or allocating.
constexpr int kTempSlots = 16;
constexpr size_t kTempPathMax = 4096;
char g_temp_paths[kTempSlots][kTempPathMax];
std::atomic<bool> g_temp_used[kTempSlots];

std::atomic<bool> g_temp_taken[kTempSlots];  // the slot belongs to a file

int RegisterTemp(const std::string& path) {
  if (path.size() >= kTempPathMax) return -1;
  for (int i = 0; i < kTempSlots; ++i) {
    bool expected = false;
    if (!g_temp_taken[i].compare_exchange_strong(expected, true)) continue;
    // Marked used only once the path is whole: the handler reads it then.
    std::memcpy(g_temp_paths[i], path.c_str(), path.size() + 1);
    g_temp_used[i].store(true);
    return i;
  }
  return -1;
}

void UnregisterTemp(int slot) {
  if (slot < 0) return;
  g_temp_used[slot].store(false);
  g_temp_taken[slot].store(false);
}

extern "C" void RemoveTempsAndDie(int sig) {
  for (int i = 0; i < kTempSlots; ++i) {
    if (g_temp_used[i].load()) ::unlink(g_temp_paths[i]);
  }
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

constexpr std::string_view kTempMark = ".stratlyn-";

// ".NAME.stratlyn-PID." : the start of this process's temporary names for NAME.
std::string TempPrefix(const std::string& name, long pid) {
  return "." + name + std::string(kTempMark) + std::to_string(pid) + ".";
}

// Removes the temporary files for `name` in `dir` that processes which no
// longer run left behind (killed before they could remove them).
void RemoveStaleTemps(const std::filesystem::path& dir, const std::string& name) {
  namespace fs = std::filesystem;
  const std::string start = "." + name + std::string(kTempMark);
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string file = it->path().filename().string();
    if (!file.starts_with(start)) continue;
    const std::string rest = file.substr(start.size());
    const size_t dot = rest.find('.');
    if (dot == std::string::npos || dot == 0 || rest.size() - dot != 7) continue;
    char* stop = nullptr;
    const long pid = std::strtol(rest.c_str(), &stop, 10);
    if (stop != rest.c_str() + dot || pid <= 0) continue;
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
      continue;
    }
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // still running
    ::unlink(it->path().c_str());
  }
}

bool SharedFolder(const struct stat& dir) {
  return (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
}

}  // namespace

void InstallTempFileCleanup() {
  struct sigaction action {};
  action.sa_handler = RemoveTempsAndDie;
  sigemptyset(&action.sa_mask);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal ignored by whoever started us stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}

std::string SharedFolderProblem(const std::string& path) {
  namespace fs = std::filesystem;
  struct stat lst {};
  if (::lstat(path.c_str(), &lst) != 0) return {};
  const fs::path p(path);
  const std::string dir = p.has_parent_path() ? p.parent_path().string() : ".";
  struct stat dst {};
  if (::stat(dir.c_str(), &dst) != 0 || !SharedFolder(dst)) return {};
  const uid_t me = ::geteuid();
  if (lst.st_uid == me || lst.st_uid == dst.st_uid) return {};
  return "Cannot write " + path + ": it is a " +
         (S_ISLNK(lst.st_mode) ? std::string("symbolic link") : std::string("file")) +
         " of another user in the shared folder " + dir +
         ", which is never followed or replaced; please choose another name";
}

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
    if (std::string problem = SharedFolderProblem(current); !problem.empty()) {
      throw zelError(err::kPathAccess, problem);
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
  const std::string name = target.filename().string();
  RemoveStaleTemps(dir, name);
  const std::string prefix = (dir / TempPrefix(name, static_cast<long>(::getpid()))).string();
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp_ = prefix;
    for (int i = 0; i < 6; ++i) temp_.push_back(kLetters[random() % (sizeof kLetters - 1)]);
    // Registered before it exists, so that no signal can leave it behind.
    slot_ = RegisterTemp(temp_);
    fd = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      const int e = errno;
      UnregisterTemp(slot_);
      slot_ = -1;
      if (e != EEXIST || attempt > 100) ThrowSystem(e, "Cannot write " + path_);
    }
  }
  if (target_.exists) {
    // The replacement is the same file to its owner: same mode, same owner
    // where we may give it (root), the mode again after a change of owner.
    if (::geteuid() == 0) (void)!fchown(fd, target_.uid, target_.gid);
    fchmod(fd, target_.mode);
  } else {
    // The file was made private; give it the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  file_ = fdopen(fd, "wb");
  if (!file_) {
    const int e = errno;
    ::close(fd);
    ::unlink(temp_.c_str());
    UnregisterTemp(slot_);
    ThrowSystem(e, "Cannot write " + path_);
  }
}

AtomicFile::~AtomicFile() {
  if (file_) {
    std::fclose(file_);
    if (!target_.stream) ::unlink(temp_.c_str());
  }
  UnregisterTemp(slot_);
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
  const int closed = std::fclose(f);
  const int ce = errno;
  if (closed != 0 || !flushed) {
    if (!target_.stream) ::unlink(temp_.c_str());
    UnregisterTemp(std::exchange(slot_, -1));
    ThrowSystem(flushed ? ce : e, "Cannot write " + path_);
  }
  if (target_.stream) return;
  if (std::rename(temp_.c_str(), target_.path.c_str()) != 0) {
    const int re = errno;
    ::unlink(temp_.c_str());
    UnregisterTemp(std::exchange(slot_, -1));
    ThrowSystem(re, "Cannot write " + path_);
  }
  UnregisterTemp(std::exchange(slot_, -1));
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
  // An emptied cell of an existing row widens it, as the batch writes every
  // row of the block whole; no row is added for it.
  if (value.IsEmpty() && row > static_cast<int>(rows_.size())) return;
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
