#include "tools/csv_parse.h"

#include <cstring>

namespace stratlyn {

// Parses [p, end) as whole CSV records with the rules of the strict reader
// (CsvReader): a quote inside an unquoted field, text after a closing quote
// or, at the end of the input, an open quote are errors; a CR LF pair ends
// one record, a lone CR or LF ends one, a blank line is a record without
// fields. `awaiting_lf` says that the byte before p was a CR ending a
// record. At the end of the input a last record without its line end counts.
ParseResult ParsePart(char* p, char* const end, const char sep, bool awaiting_lf, const bool at_eof,
                      PartRecords& out) {
  ParseResult result;
  // The bytes that end an unquoted field (or make it an error).
  bool stops[256] = {};
  for (const char c : {sep, '\r', '\n', '"'}) {
    stops[static_cast<unsigned char>(c)] = true;
  }
  size_t record_start = out.FieldsSoFar();
  bool field_pending = false;  // a separator was read: another field follows
  bool plain = true;           // no field of the record so far was quoted
  const auto end_record = [&](char c) {
    if (c == '\n' && awaiting_lf && out.FieldsSoFar() == record_start) {
      awaiting_lf = false;  // the LF of a CR LF pair
      return;
    }
    awaiting_lf = c == '\r';
    out.EndRecord(plain);
    plain = true;
    record_start = out.FieldsSoFar();
  };
  while (p < end) {
    const char c = *p;
    if (c == sep) {
      out.AddField(p, p);
      awaiting_lf = false;
      field_pending = true;
      ++p;
      continue;
    }
    if (c == '\r' || c == '\n') {
      if (field_pending) {
        out.AddField(p, p);
        awaiting_lf = false;
      }
      field_pending = false;
      end_record(c);
      ++p;
      continue;
    }
    if (c != '"') {
      // An unquoted field runs to the separator or the line end.
      const char* begin = p;
      while (p < end && !stops[static_cast<unsigned char>(*p)]) {
        ++p;
      }
      if (p < end && *p == '"') {
        return {false, awaiting_lf};
      }
      out.AddField(begin, p);
      awaiting_lf = false;
      field_pending = false;
      if (p == end) {
        if (!at_eof) {
          return {false, awaiting_lf};
        }
        end_record(0);
        return {true, false};
      }
      if (*p == sep) {
        field_pending = true;
      } else {
        end_record(*p);
      }
      ++p;
      continue;
    }
    // A quoted field: doubled quotes become one, unescaped in place.
    plain = false;
    ++p;
    char* const begin = p;
    char* w = p;
    for (;;) {
      if (p == end) {
        return {false, awaiting_lf};  // an open quote at the end
      }
      const char d = *p;
      if (d != '"') {
        *w++ = d;
        ++p;
        continue;
      }
      char* const next = p + 1;
      if (next == end) {
        if (!at_eof) {
          return {false, awaiting_lf};
        }
        out.AddField(begin, w);
        end_record(0);
        return {true, false};
      }
      const char n = *next;
      if (n == '"') {
        *w++ = '"';
        p += 2;
        continue;
      }
      if (n != sep && n != '\r' && n != '\n') {
        return {false, awaiting_lf};
      }
      out.AddField(begin, w);
      awaiting_lf = false;
      field_pending = n == sep;
      if (!field_pending) {
        end_record(n);
      }
      p = next + 1;
      break;
    }
  }
  if (field_pending) {
    if (!at_eof) {
      return {false, awaiting_lf};
    }
    out.AddField(end, end);
    end_record(0);
    return {true, false};
  }
  result.awaiting_lf = awaiting_lf;
  return result;
}

// Whether [begin, p) leaves a quoted field open (an odd number of quotes).
bool InsideQuotes(const char* begin, const char* p) {
  bool inside = false;
  while ((begin = static_cast<const char*>(std::memchr(begin, '"', p - begin))) != nullptr) {
    inside = !inside;
    ++begin;
  }
  return inside;
}

// The first record boundary at or after `from` (just past a CR, LF or CR LF
// outside quotes), or nullptr when [from, end) holds none.
const char* NextBoundary(const char* begin, const char* from, const char* end) {
  bool inside = InsideQuotes(begin, from);
  for (const char* p = from; p < end; ++p) {
    const char c = *p;
    if (c == '"') {
      inside = !inside;
    } else if (!inside && (c == '\n' || c == '\r')) {
      if (c == '\r' && p + 1 < end && p[1] == '\n') {
        ++p;
      }
      return p + 1;
    }
  }
  return nullptr;
}

// Just past the last record boundary of [begin, end), or nullptr. Looks
// back from the end for a line end outside quotes (counting the quotes
// before it), and scans from the start only when that fails.
const char* LastBoundary(const char* begin, const char* end) {
  const char* p = end;
  while (p > begin) {
    const char c = p[-1];
    if (c == '\n' || c == '\r') {
      if (!InsideQuotes(begin, p - 1)) {
        return p;
      }
      break;
    }
    --p;
  }
  const char* last = nullptr;
  bool inside = false;
  for (const char* q = begin; q < end; ++q) {
    const char c = *q;
    if (c == '"') {
      inside = !inside;
    } else if (!inside && (c == '\n' || c == '\r')) {
      last = q + 1;
    }
  }
  return last;
}

}  // namespace stratlyn
