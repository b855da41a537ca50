// The lazily built maps, the caches and the reset callbacks, also under
// concurrent use.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <latch>
#include <thread>

#include "data/manager/CPRDataManager.h"
#include "tests/data/manager/RichImage.h"

namespace prt {
namespace {

using test::Ref;

std::vector<uint8_t> Counted(std::u16string_view text) {
  std::vector<uint8_t> b(2 + 2 * text.size());
  const uint16_t n = static_cast<uint16_t>(text.size());
  std::memcpy(b.data(), &n, 2);
  std::memcpy(b.data() + 2, text.data(), 2 * text.size());
  return b;
}

bool FindName(CPRDataManager& dm, std::u16string_view name, uint32_t* out) {
  const auto counted = Counted(name);
  return dm.FindObjectByName(counted.data(), out);
}

class MapsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rich = test::BuildRichImage();
    ASSERT_TRUE(dm.AdoptImage(rich.bytes));
  }
  test::RichImage rich;
  CPRDataManager dm;
};

TEST_F(MapsTest, NameMapFollowsTextThenTargetLinks) {
  struct Case {
    std::u16string name;
    bool found;
    uint32_t reference;
  };
  const Case cases[] = {
      {u"Motor", true, Ref(48, 0)},
      {u"Pump", true, Ref(48, 1)},
      {u"4#2", true, Ref(48, 2)},  // a placeholder text names a target too
      {u"Valve", false, 0},        // the working text does not carry over to the next owner
      {u"Moteur", false, 0},
      {u"", false, 0},
  };
  for (const Case& c : cases) {
    uint32_t out = 0xDEAD;
    EXPECT_EQ(FindName(dm, c.name, &out), c.found);
    EXPECT_EQ(out, c.found ? c.reference : 0xDEADu);
  }
  EXPECT_FALSE(dm.FindObjectByName(nullptr, nullptr));
}

TEST_F(MapsTest, MapsKeepTheLanguageTheyWereBuiltIn) {
  ASSERT_TRUE(dm.SetLanguage(1, false));
  uint32_t out = 0;
  EXPECT_TRUE(FindName(dm, u"Moteur", &out));
  std::vector<uint32_t> refs;
  EXPECT_TRUE(dm.FindReferencesByText(test::kButton, u"Pompe", 5, &refs));
  ASSERT_TRUE(dm.SetLanguage(0, false));
  EXPECT_FALSE(FindName(dm, u"Motor", &out));
  EXPECT_TRUE(dm.FindReferencesByText(test::kButton, u"Pompe", 5, &refs));
  EXPECT_FALSE(dm.FindReferencesByText(test::kButton, u"Pump", 4, &refs));
}

TEST_F(MapsTest, ReverseTextMapAnswersAllIdentifiersOfATextInOrder) {
  struct Case {
    uint32_t type;
    std::u16string text;
    std::vector<uint32_t> expected;
  };
  const Case cases[] = {
      {test::kButton, u"Motor", {Ref(29, 0), Ref(29, 2)}},
      {test::kButton, u"Pump", {Ref(29, 1)}},
      {test::kTextObject, u"Motor", {Ref(4, 0)}},
      {test::kPage, u"Valve", {Ref(1, 0)}},
      {test::kButton, u"Valve", {}},
      {test::kButton, u"Moto", {}},
      {30, u"Motor", {}},
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> refs = {0xFFFFFFFF};
    const bool found =
        dm.FindReferencesByText(c.type, c.text.data(), static_cast<uint32_t>(c.text.size()), &refs);
    EXPECT_EQ(found, !c.expected.empty()) << c.type;
    if (found) {
      EXPECT_EQ(refs, c.expected);
    }
  }
  EXPECT_FALSE(dm.FindReferencesByText(test::kButton, u"Motor", 5, nullptr));
}

TEST_F(MapsTest, CachedReferenceFindsNamedEntries) {
  struct Case {
    uint32_t reference;
    std::u16string name;
    uint32_t entry;  // 0: none
  };
  const Case cases[] = {
      {Ref(29, 0), u"alpha", rich.namedAlpha}, {Ref(29, 0), u"beta", rich.namedBeta},
      {Ref(29, 0), u"gamma", 0},               {Ref(29, 0), u"alpha", rich.namedAlpha},
      {Ref(29, 1), u"alpha", 0},               {Ref(29, 9), u"alpha", 0},
  };
  for (const Case& c : cases) {
    const ImageRef entry = dm.FindCachedReference(c.reference, c.name);
    EXPECT_EQ(entry ? entry.Offset() : 0u, c.entry) << std::hex << c.reference;
  }
}

TEST_F(MapsTest, UninitializeRunsCallbacksInOrderAndEmptiesTheMaps) {
  std::vector<int> calls;
  for (int i = 1; i <= 3; ++i) dm.AddResetCallback([&calls, i] { calls.push_back(i); });
  uint32_t out = 0;
  ASSERT_TRUE(FindName(dm, u"Motor", &out));
  dm.Uninitialize();
  EXPECT_EQ(calls, (std::vector<int>{1, 2, 3}));
  dm.Uninitialize();  // the list was emptied
  EXPECT_EQ(calls.size(), 3u);

  // A new image without name owners: the old map must not answer.
  test::ImageBytes other;
  ASSERT_TRUE(dm.AdoptImage(other.Take()));
  EXPECT_FALSE(FindName(dm, u"Motor", &out));
  EXPECT_FALSE(dm.FindCachedReference(Ref(29, 0), u"alpha"));
  EXPECT_EQ(dm.FindType15Reference(nullptr, 100, 12), 0u);
}

TEST_F(MapsTest, LoadingForgetsCallbacksWithoutCallingThem) {
  int calls = 0;
  dm.AddResetCallback([&calls] { ++calls; });
  ASSERT_TRUE(dm.AdoptImage(rich.bytes));
  dm.Uninitialize();
  EXPECT_EQ(calls, 0);
}

// Every thread builds and reads the maps at once, on fresh caches each
// time; the answers must be the same as on one thread (this program also
// runs in the ThreadSanitizer build).
TEST_F(MapsTest, ConcurrentLookupsAgree) {
  constexpr int kThreads = 6;
  constexpr int kLoads = 25;
  constexpr int kRounds = 12;
  std::atomic<int> failures{0};
  std::atomic<int> callbacks{0};
  const auto motor = Counted(u"Motor");
  for (int load = 0; load < kLoads; ++load) {
    ASSERT_TRUE(dm.AdoptImage(rich.bytes));
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        start.arrive_and_wait();
        dm.AddResetCallback([&callbacks] { callbacks.fetch_add(1); });
        for (int round = 0; round < kRounds; ++round) {
          const int pick = (round + t) % 3;
          uint32_t out = 0;
          if (!dm.FindObjectByName(motor.data(), &out) || out != Ref(48, 0)) failures.fetch_add(1);
          std::vector<uint32_t> refs;
          if (!dm.FindReferencesByText(test::kButton, u"Motor", 5, &refs) ||
              refs != std::vector<uint32_t>{Ref(29, 0), Ref(29, 2)})
            failures.fetch_add(1);
          const std::u16string name = pick == 0 ? u"alpha" : pick == 1 ? u"beta" : u"gamma";
          const uint32_t expected = pick == 0 ? rich.namedAlpha : pick == 1 ? rich.namedBeta : 0;
          const ImageRef entry = dm.FindCachedReference(Ref(29, pick == 2 ? round % 3 : 0), name);
          if ((entry ? entry.Offset() : 0) != expected) failures.fetch_add(1);
          const uint32_t number = 100 * (pick + 1);
          const uint32_t type15 = pick == 0 ? Ref(15, 0) : pick == 1 ? Ref(15, 2) : 0;
          if (dm.FindType15Reference(nullptr, number, 12) != type15) failures.fetch_add(1);
        }
      });
    }
    for (auto& thread : threads) thread.join();
    dm.Uninitialize();
  }
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(callbacks.load(), kThreads * kLoads);
}

}  // namespace
}  // namespace prt
