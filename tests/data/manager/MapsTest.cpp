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
