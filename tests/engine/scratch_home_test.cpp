#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/platform.h"
#include "test_support.h"

namespace orvanta {
namespace {

TEST(ScratchHome, HoldsHomeAndEveryXdgFolder) {
  const std::string& scratch = test::ScratchHome();
  ASSERT_FALSE(scratch.empty()) << "main did not call UseScratchHome";
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
    const char* value = std::getenv(name);
    ASSERT_NE(value, nullptr) << name;
    EXPECT_EQ(std::string(value).rfind(platform::JoinedPath(scratch, "home"), 0), 0u) << name << "=" << value;
    EXPECT_TRUE(std::filesystem::is_directory(value)) << name << "=" << value;
  }
}

}  // namespace
}  // namespace orvanta
