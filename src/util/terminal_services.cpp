#include "util/terminal_services.h"

#include <unistd.h>

#include <cctype>
#include <iostream>
#include <string>

namespace stratlyn {

TerminalDialogs::TerminalDialogs(bool interactive) : TerminalDialogs(std::cerr, interactive) {}

TerminalDialogs::TerminalDialogs(std::ostream& out, bool interactive)
    : out_(out), interactive_(interactive) {}

MsgAnswer TerminalDialogs::Show(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                const std::string& title) {
  const char* kind = icon == MsgIcon::Critical ? "error" : "note";
  out_ << title << ": " << kind << ": " << text << '\n';
  if (buttons == MsgButtons::Ok) {
    return MsgAnswer::Ok;
  }

  const bool yes_no = buttons == MsgButtons::YesNo;
  const MsgAnswer cautious = CautiousAnswer(buttons);
  if (!interactive_ || !isatty(STDIN_FILENO)) {
    out_ << title << ": note: answered " << (yes_no ? "No" : "Cancel") << '\n';
    return cautious;
  }
  out_ << (yes_no ? "[y/N] " : "[o/C] ") << std::flush;
  std::string line;
  if (!std::getline(std::cin, line) || line.empty()) {
    return cautious;
  }
  const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
  if (yes_no) {
    return c == 'y' ? MsgAnswer::Yes : MsgAnswer::No;
  }
  return c == 'o' ? MsgAnswer::Ok : MsgAnswer::Cancel;
}

}  // namespace stratlyn
