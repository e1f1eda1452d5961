#pragma once

class QWidget;

namespace stratlyn {

// The calculators window "ZEL Calculators" (keypad and financial tools).
// Created on first use and kept for the program's lifetime, so its state
// survives while it is hidden. Shows it without blocking the caller, centred
// on the screen the first time it opens, raises it, and returns it.
// `mainWindow` is only used to pick the screen; the window stays top-level.
QWidget* ShowCalculatorsWindow(QWidget* mainWindow);

// Closes and destroys the calculators window if it exists (called when the
// main window closes). Safe to call when it was never opened.
void CloseCalculatorsWindow();

}  // namespace stratlyn
