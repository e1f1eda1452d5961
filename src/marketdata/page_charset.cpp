#include "marketdata/page_charset.h"

#include <cctype>

namespace stratlyn {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return s;
}

// The value after "charset=" in `text` (quotes and blanks around it
// dropped); "" when there is none.
std::string CharsetParameter(const std::string& text, size_t from = 0) {
  const size_t p = text.find("charset", from);
  if (p == std::string::npos) {
    return {};
  }
  size_t i = p + 7;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
    ++i;
  }
  if (i >= text.size() || text[i] != '=') {
    return {};
  }
  ++i;
  while (i < text.size() && (text[i] == ' ' || text[i] == '"' || text[i] == '\'')) {
    ++i;
  }
  std::string value;
  while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '-' ||
                             text[i] == '_' || text[i] == '.' || text[i] == ':')) {
    value += text[i++];
  }
  return value;
}

// Windows-1252 bytes 0x80 to 0x9F as Unicode code points (0 where the code
// page has no character: those bytes become U+FFFD).
constexpr unsigned kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsWindows1252(const std::string& charset) {
  static constexpr const char* kLabels[] = {
      "windows-1252", "cp1252", "x-cp1252", "iso-8859-1", "iso8859-1", "iso_8859-1", "latin1",
      "l1",           "ascii",  "us-ascii", "iso-ir-100", "cp819",     "ibm819"};
  for (const char* label : kLabels) {
    if (charset == label) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::string DeclaredCharset(const std::string& content_type, const std::string& body) {
  if (std::string c = CharsetParameter(Lower(content_type)); !c.empty()) {
    return c;
  }
  // A <meta> in the head: <meta charset="..."> or the http-equiv form.
  const std::string head = Lower(body.substr(0, 4096));
  for (size_t m = head.find("<meta"); m != std::string::npos; m = head.find("<meta", m + 1)) {
    const size_t end = head.find('>', m);
    const std::string tag = head.substr(m, end == std::string::npos ? std::string::npos : end - m);
    if (std::string c = CharsetParameter(tag); !c.empty()) {
      return c;
    }
  }
  return {};
}

std::string PageTextAsUtf8(const std::string& body, const std::string& content_type) {
  if (!IsWindows1252(DeclaredCharset(content_type, body))) {
    return body;
  }
  std::string out;
  out.reserve(body.size() + body.size() / 8);
  for (const char ch : body) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      out += ch;
    } else if (b < 0xA0) {
      const unsigned cp = kCp1252High[b - 0x80];
      AppendUtf8(out, cp != 0 ? cp : 0xFFFD);
    } else {
      AppendUtf8(out, b);
    }
  }
  return out;
}

}  // namespace stratlyn
