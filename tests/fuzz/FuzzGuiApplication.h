#pragma once
// Targets whose code checks fonts through Qt's text engine need an
// application object; the offscreen platform needs no display.
#include <QGuiApplication>
#include <cstdlib>

inline void StartFuzzGuiApplication(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static QGuiApplication application(*argc, *argv);
}
