#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
  // The user's locale, as the program has it once its toolkit starts: numbers
  // in files must come out the same under every LC_NUMERIC.
  std::setlocale(LC_ALL, "");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
