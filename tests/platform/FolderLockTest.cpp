#include "platform/FolderLock.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/Text.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt::platform {
namespace {

using std::chrono::milliseconds;

// Another process holds the folder: the attempt waits (saying once who
// holds it) and gives up after the bound, or takes it once released.
TEST(FolderLock, WaitsForAnotherProcessUpToTheBound) {
  const struct { milliseconds hold, bound; LockStatus status; int announced; } cases[] = {
      {milliseconds(60'000), milliseconds(300), LockStatus::TimedOut, 1},
      {milliseconds(60'000), milliseconds(0), LockStatus::TimedOut, 0},
      {milliseconds(200), milliseconds(20'000), LockStatus::Locked, 1},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    test::ChildFolderLock child(dir.Path(), c.hold);
    ASSERT_TRUE(child.Holding());
    int announced = 0;
    LockHolder seen;
    LockWait wait{c.bound, milliseconds(200), [&](const std::u16string& folder, const LockHolder& holder) {
                    ++announced;
                    seen = holder;
                    EXPECT_EQ(folder, dir.Wide());
                  }};
    const auto start = std::chrono::steady_clock::now();
    const LockResult result = LockFolder(dir.Wide(), wait);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.status, c.status) << c.bound.count();
    EXPECT_EQ(result.lock.Held(), c.status == LockStatus::Locked);
    EXPECT_EQ(announced, c.announced) << c.bound.count();
    if (c.announced) {
      EXPECT_EQ(seen.pid, child.Pid());
      EXPECT_EQ(seen.command + "\n", test::ReadFile("/proc/" + std::to_string(child.Pid()) + "/comm"));
    }
    if (c.status == LockStatus::TimedOut) {
      EXPECT_GE(waited, c.bound);
      EXPECT_EQ(result.holder.pid, child.Pid());
    }
  }
}

TEST(FolderLock, AReleasedFolderIsTakenAtOnceAndHeldUntilTheLockGoes) {
  test::TempDir dir;
  const LockWait noWait{milliseconds(0), milliseconds(20), nullptr};
  { test::ChildFolderLock released(dir.Path(), milliseconds(0)); }
  {
    const LockResult first = LockFolder(dir.Wide(), noWait);
    ASSERT_EQ(first.status, LockStatus::Locked);
    EXPECT_FALSE(test::ChildFolderLock(dir.Path(), milliseconds(0)).Holding());
    // The same process locking it again (an output folder that is the
    // working folder) must not wait for itself.
    EXPECT_EQ(LockFolder(dir.Wide(), noWait).status, LockStatus::Locked);
  }
  EXPECT_TRUE(test::ChildFolderLock(dir.Path(), milliseconds(0)).Holding());
  EXPECT_EQ(LockFolder(dir.Wide("missing"), noWait).status, LockStatus::NoFolder);
}

TEST(FolderLock, WaitBoundFromTheEnvironmentText) {
  const struct { const char* text; std::optional<long> seconds; } cases[] = {
      {"0", 0}, {"15", 15}, {"", std::nullopt}, {nullptr, std::nullopt}, {"1.5", std::nullopt},
      {"-1", std::nullopt}, {"99999999999999999999999", 366L * 24 * 3600},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseLockWait(c.text);
    EXPECT_EQ(parsed ? std::optional<long>(parsed->count()) : std::nullopt, c.seconds) << (c.text ? c.text : "unset");
  }
}

}  // namespace
}  // namespace prt::platform
