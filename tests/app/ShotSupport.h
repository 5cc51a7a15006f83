#pragma once
// What the tests of the real program under an X server share: the main
// window's control list and comparing screenshots.

#include <QImage>

#include <string>

#include <gtest/gtest.h>

#include "AppTestSupport.h"

namespace px::test {

// `pxtool app tree OPTIONS`: the main window's controls with their positions.
inline std::string Tree(const std::string& options) {
  std::string tree;
  EXPECT_EQ(RunCommand(std::string(PX_PXTOOL_PATH) + " app tree " + options + " 2>/dev/null", &tree), 0);
  return tree;
}

// Pixels of the rectangle that differ between two shots (every second one).
inline int Changed(const QImage& a, const QImage& b, int x0, int y0, int w, int h) {
  int n = 0;
  for (int y = y0; y < y0 + h; y += 2)
    for (int x = x0; x < x0 + w; x += 2) n += a.pixel(x, y) != b.pixel(x, y);
  return n;
}

}  // namespace px::test
