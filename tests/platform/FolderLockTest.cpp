#include "platform/FolderLock.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt::platform {
namespace {

using std::chrono::milliseconds;

TEST(FolderLock, AReleasedFolderIsTakenAtOnceAndHeldUntilTheLockGoes) {
  test::TempDir dir;
  const LockWait noWait{std::chrono::seconds(0), milliseconds(20), nullptr};
  { test::ChildFolderLock released(dir.Path(), milliseconds(0)); }
  {
    SysResult<FolderHandle> folder = FolderHandle::Open(dir.Wide());
    ASSERT_TRUE(folder);
    const Expected<FolderLock, LockError> first = LockFolder(*folder, noWait);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->Held());
    EXPECT_FALSE(test::ChildFolderLock(dir.Path(), milliseconds(0)).Holding());
    // The same process locking it again (an output folder that is the
    // working folder) must not wait for itself.
    EXPECT_TRUE(LockFolder(*folder, noWait));
  }
  EXPECT_TRUE(test::ChildFolderLock(dir.Path(), milliseconds(0)).Holding());
}

TEST(FolderLock, WaitBoundFromTheEnvironmentText) {
  const struct { const char* text; std::optional<long> seconds; } cases[] = {
      {"0", 0}, {"15", 15}, {"", std::nullopt}, {nullptr, std::nullopt}, {"1.5", std::nullopt},
      {"-1", std::nullopt}, {"99999999999999999999999", 366L * 24 * 3600}, {"99999999999", 366L * 24 * 3600},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseLockWait(c.text);
    EXPECT_EQ(parsed ? std::optional<long>(parsed->count()) : std::nullopt, c.seconds) << (c.text ? c.text : "unset");
  }
}

}  // namespace
}  // namespace prt::platform
