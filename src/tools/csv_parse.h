#pragma once
// The one CSV reader of the program, for the spreadsheet link's CSV
// workbooks (CsvReader) and for `stratlyn-cli batch` alike: strict rules in
// one place, parsing a buffer in place without copying its fields.
//
// Rules: fields are separated by one separator byte; a field that starts
// with a quote runs to the matching quote, a doubled quote inside being one
// quote; a quote inside an unquoted field, text after a closing quote or an
// open quote at the end of the input is an error, never a guess. A CR LF
// pair, a lone CR or a lone LF ends a record; a blank line is a record
// without fields; blanks around fields belong to them.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace stratlyn {

// The records of one part of the input, parsed in place: each field is a
// view into the read buffer (a quoted field unescaped where it lies).
class PartRecords {
 public:
  size_t size() const { return ends_.size(); }
  size_t FieldCount(size_t record) const {
    return ends_[record] - (record ? ends_[record - 1] : 0);
  }
  std::string_view Field(size_t record, size_t field) const {
    return fields_[(record ? ends_[record - 1] : 0) + field];
  }
  // True when no field of the record was quoted: its fields then lie in
  // the buffer as they were read, one separator apart.
  bool Plain(size_t record) const { return plain_[record] != 0; }
  void clear() {
    fields_.clear();
    ends_.clear();
    plain_.clear();
  }
  void AddField(const char* begin, const char* end) {
    fields_.emplace_back(begin, static_cast<size_t>(end - begin));
  }
  size_t FieldsSoFar() const { return fields_.size(); }
  void EndRecord(bool plain) {
    ends_.push_back(static_cast<uint32_t>(fields_.size()));
    plain_.push_back(plain);
  }

 private:
  std::vector<std::string_view> fields_;
  std::vector<uint32_t> ends_;
  std::vector<char> plain_;
};

// The parse of one part: whether it failed, and how its last record ended.
struct ParseResult {
  bool ok = true;
  bool awaiting_lf = false;  // the part's last record ended with a CR
};

// Parses [p, end) as whole CSV records into out, unescaping quoted fields
// where they lie. `awaiting_lf` says that the byte before p was a CR ending
// a record. At the end of the input (at_eof) a last record without its line
// end counts; otherwise [p, end) must end at a record boundary.
ParseResult ParsePart(char* p, char* end, char sep, bool awaiting_lf, bool at_eof,
                      PartRecords& out);

// Whether [begin, p) leaves a quoted field open (an odd number of quotes).
bool InsideQuotes(const char* begin, const char* p);
// The first record boundary at or after `from` (just past a CR, LF or CR LF
// outside quotes), or nullptr when [from, end) holds none.
const char* NextBoundary(const char* begin, const char* from, const char* end);
// Just past the last record boundary of [begin, end), or nullptr.
const char* LastBoundary(const char* begin, const char* end);

// Why a CSV text could not be read, for the messages that name the file.
inline constexpr const char* kCsvMalformed =
    "a quote is out of place (a quote inside an unquoted field, text after a closing quote, "
    "or a quoted field that never ends)";

}  // namespace stratlyn
