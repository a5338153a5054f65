#include <gtest/gtest.h>

#include <ltide/common/fpmode.hpp>

int main(int argc, char** argv) {
  ltide::enable_flush_to_zero();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
