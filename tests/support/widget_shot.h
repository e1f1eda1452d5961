#pragma once
// Pictures of widgets for a person to look at: Shot(w, "name") saves
// name.png of `w` into the folder STRATLYN_SHOT_DIR names, and does nothing
// when it names none. Nothing is checked against the pictures.

#include <QString>
#include <QWidget>
#include <cstdlib>

namespace stratlyn::testing {

inline void Shot(QWidget& w, const char* name) {
  if (const char* dir = std::getenv("STRATLYN_SHOT_DIR")) {
    w.grab().save(QString(dir) + "/" + name + ".png");
  }
}

}  // namespace stratlyn::testing
