// The main of every GoogleTest binary: the tests run in a scratch home.
#include <gtest/gtest.h>

#include "test_support.h"

int main(int argc, char** argv) {
  orvanta::test::UseScratchHome();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
