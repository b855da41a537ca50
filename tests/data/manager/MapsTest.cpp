// The lazily built maps, the caches and the reset callbacks, also under
// concurrent use.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

#include "tests/data/manager/RichDataset.h"

namespace prt {
namespace {

using test::Ref;
using MapsTest = test::RichTest;

// The name as the CountedString FindObjectByName takes.
std::u16string Counted(std::u16string_view name) { return char16_t(name.size()) + std::u16string(name); }

bool FindName(CPRDataManager& dm, std::u16string_view name, uint32_t* out) {
  return dm.FindObjectByName(reinterpret_cast<const uint8_t*>(Counted(name).data()), out);
}

TEST_F(MapsTest, NameMapFollowsTextThenTargetLinksInTheLanguageItWasBuiltIn) {
  // A placeholder text ("4#2") names a target too; a link of another type ends the owner's list ("Valve").
  const struct { std::u16string name; uint32_t reference; } cases[] = {  // reference 0: not found
      {u"Motor", Ref(48, 0)}, {u"Pump", Ref(48, 1)}, {u"4#2", Ref(48, 2)}, {u"Valve", 0}, {u"Moteur", 0}, {u"", 0}};
  for (const auto& c : cases) {
    uint32_t out = 0xDEAD;
    EXPECT_EQ(FindName(dm, c.name, &out), c.reference != 0);
    EXPECT_EQ(out, c.reference ? c.reference : 0xDEADu);
  }
  EXPECT_FALSE(dm.FindObjectByName(nullptr, nullptr));
  ASSERT_TRUE(dm.SetLanguage(1, false));
  uint32_t out = 0;
  EXPECT_TRUE(FindName(dm, u"Motor", &out));
  EXPECT_FALSE(FindName(dm, u"Moteur", &out));
}

TEST_F(MapsTest, ReverseTextMapAnswersAllIdentifiersOfATextInOrder) {
  const struct { uint32_t type; std::u16string text; std::vector<uint32_t> expected; } cases[] = {
      {29, u"Motor", {Ref(29, 0), Ref(29, 2)}}, {29, u"Pump", {Ref(29, 1)}}, {4, u"Motor", {Ref(4, 0)}},
      {1, u"Valve", {Ref(1, 0)}}, {29, u"Valve", {}}, {29, u"Moto", {}}, {30, u"Motor", {}},
  };
  for (const auto& c : cases) {
    std::vector<uint32_t> refs = {0xFFFFFFFF};
    const bool found = dm.FindReferencesByText(c.type, c.text.data(), static_cast<uint32_t>(c.text.size()), &refs);
    EXPECT_EQ(found ? refs : std::vector<uint32_t>{}, c.expected) << c.type;
  }
  EXPECT_FALSE(dm.FindReferencesByText(29, u"Motor", 5, nullptr));
  ASSERT_TRUE(dm.SetLanguage(1, false));  // built already: stays in language 0
  std::vector<uint32_t> refs;
  EXPECT_TRUE(dm.FindReferencesByText(29, u"Pump", 4, &refs));
  EXPECT_FALSE(dm.FindReferencesByText(29, u"Pompe", 5, &refs));
}

TEST_F(MapsTest, UninitializeRunsTheCallbacksOnceAndForgetsTheMaps) {
  std::vector<int> calls;
  for (int i = 1; i <= 3; ++i) dm.AddResetCallback([&calls, i] { calls.push_back(i); });
  uint32_t out = 0;
  ASSERT_TRUE(FindName(dm, u"Motor", &out));
  ASSERT_TRUE(dm.FindCachedReference(Ref(29, 0), u"alpha"));
  dm.Uninitialize();
  dm.Uninitialize();
  EXPECT_EQ(calls, (std::vector<int>{1, 2, 3}));

  ASSERT_TRUE(dm.AdoptImage(test::ImageFromJson("{}")));
  EXPECT_FALSE(FindName(dm, u"Motor", &out));
  EXPECT_FALSE(dm.FindCachedReference(Ref(29, 0), u"alpha"));
  EXPECT_EQ(dm.FindType15Reference(nullptr, 100, 12), 0u);

  dm.AddResetCallback([&calls] { calls.push_back(4); });
  ASSERT_TRUE(dm.AdoptImage(test::ImageFromJson("{}")));  // loading forgets callbacks without calling them
  dm.Uninitialize();
  EXPECT_EQ(calls.size(), 3u);
}

// Every thread builds and reads the maps at once, on fresh caches each
// time; the answers must be those of one thread (this program also runs in
// the ThreadSanitizer build).
TEST_F(MapsTest, ConcurrentLookupsAgree) {
  constexpr int kThreads = 6, kLoads = 25, kRounds = 12;
  const std::vector<uint8_t> image = test::ImageFromJson(test::kRich);
  std::atomic<int> failures{0}, callbacks{0};
  for (int load = 0; load < kLoads; ++load) {
    ASSERT_TRUE(dm.AdoptImage(image));
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        start.arrive_and_wait();
        dm.AddResetCallback([&callbacks] { callbacks.fetch_add(1); });
        for (int round = 0; round < kRounds; ++round) {
          const int pick = (round + t) % 3;
          uint32_t out = 0;
          std::vector<uint32_t> refs;
          if (!FindName(dm, u"Motor", &out) || out != Ref(48, 0)) failures.fetch_add(1);
          if (!dm.FindReferencesByText(29, u"Motor", 5, &refs) || refs != std::vector{Ref(29, 0), Ref(29, 2)})
            failures.fetch_add(1);
          // Named entries of the buttons: 29#0 has alpha (word 1 = 1) and beta (6), the others none.
          const ImageRef entry = dm.FindCachedReference(Ref(29, pick == 2 ? round % 4 : 0), pick ? u"beta" : u"alpha");
          if (entry.U32(4) != (pick == 0 ? 1u : pick == 1 ? 6u : round % 4 ? 0u : 6u)) failures.fetch_add(1);
          if (dm.FindCachedReference(Ref(29, 0), u"gamma")) failures.fetch_add(1);
          const uint32_t type15 = pick == 0 ? Ref(15, 0) : pick == 1 ? Ref(15, 2) : 0;
          if (dm.FindType15Reference(nullptr, 100 * (pick + 1), 12) != type15) failures.fetch_add(1);
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
