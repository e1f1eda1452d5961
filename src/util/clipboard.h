#pragma once
// The plain-text clipboard.

#include <string>

namespace stratlyn {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual void Clear() = 0;
  virtual void SetText(const std::string& text) = 0;
  // The clipboard's text, or "" when it holds none.
  virtual std::string Text() const = 0;
};

}  // namespace stratlyn
