#pragma once
// Quiet platform services for the fuzz targets: every box is answered (the
// answer alternates so that both branches of a question are explored) and
// nothing is printed.

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/dialogs.h"
#include "util/events.h"
#include "util/services.h"

namespace stratlyn::fuzz {

class QuietDialogs : public Dialogs {
 public:
  MsgAnswer Show(const std::string&, MsgButtons buttons, MsgIcon, const std::string&) override {
    yes_ = !yes_;
    switch (buttons) {
      case MsgButtons::Ok:
        return MsgAnswer::Ok;
      case MsgButtons::OkCancel:
        return yes_ ? MsgAnswer::Ok : MsgAnswer::Cancel;
      case MsgButtons::YesNo:
        return yes_ ? MsgAnswer::Yes : MsgAnswer::No;
    }
    return MsgAnswer::Ok;
  }

 private:
  bool yes_ = false;
};

class QuietEvents : public Events {
 public:
  void ProcessPending() override {}
  void SetBusy(bool) override {}
};

// Installs the quiet services for the whole run.
inline void InstallQuietServices() {
  static QuietDialogs dialogs;
  static QuietEvents events;
  SetAppDialogs(&dialogs);
  SetAppEvents(&events);
}

inline std::string AsText(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace stratlyn::fuzz
