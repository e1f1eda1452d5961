// main() of the GUI tests: one QApplication (offscreen unless told otherwise)
// around GoogleTest.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") == nullptr) {
    setenv("QTWEBENGINE_CHROMIUM_FLAGS",
           geteuid() == 0 ? "--no-sandbox --disable-gpu" : "--disable-gpu", 1);
  }
  if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
    const std::string dir = "/tmp/stratlyn-test-runtime-" + std::to_string(geteuid());
    mkdir(dir.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
