#pragma once
// The text of a fetched page in UTF-8, whatever character set it declares,
// so that the parsers see the characters a browser shows ("·", the middle
// dot, is byte 0xB7 in windows-1252 and "\xC2\xB7" in UTF-8).

#include <string>

namespace stratlyn {

// The character set a page declares, in lower case: the charset of the
// Content-Type header, else of a <meta charset=...> or <meta http-equiv=
// "Content-Type" content="...; charset=..."> in its first 4 KB; "" when none.
std::string DeclaredCharset(const std::string& content_type, const std::string& body);

// The body in UTF-8: windows-1252, iso-8859-1 (read as windows-1252, as
// browsers do) and us-ascii are converted; UTF-8, an unknown or no declared
// set pass through unchanged.
std::string PageTextAsUtf8(const std::string& body, const std::string& content_type);

}  // namespace stratlyn
