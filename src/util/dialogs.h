#pragma once
// Message boxes: a text, buttons, an icon and a title in, the pressed button out.

#include <string>

namespace stratlyn {

enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgAnswer { Ok, Cancel, Yes, No };

// The title of the program's own message boxes.
inline constexpr const char* kMessageTitle = "Quorvale";

// The answer of a box closed without a choice, or asked where nobody can
// answer: OK for OK-only boxes, otherwise Cancel or No.
inline MsgAnswer CautiousAnswer(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::Ok:
      return MsgAnswer::Ok;
    case MsgButtons::OkCancel:
      return MsgAnswer::Cancel;
    case MsgButtons::YesNo:
      return MsgAnswer::No;
  }
  return MsgAnswer::Cancel;
}

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Shows one message and returns the button pressed. Never throws.
  virtual MsgAnswer Show(const std::string& text, MsgButtons buttons, MsgIcon icon,
                         const std::string& title) = 0;

  // The common input-error box: critical icon, OK only, title "Quorvale".
  void Critical(const std::string& text) {
    Show(text, MsgButtons::Ok, MsgIcon::Critical, kMessageTitle);
  }
};

}  // namespace stratlyn
