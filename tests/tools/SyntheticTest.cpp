// Synthetic projects: deterministic, the size asked for, and every control
// reachable exactly once from a screen.
#include "tools/builder/Synthetic.h"

#include <gtest/gtest.h>

#include <map>

#include "data/image/RuntimeImage.h"
#include "data/image/TransferFileReader.h"
#include "tools/builder/ContainerWriter.h"

namespace prt {
namespace {

using builder::SyntheticOptions;

builder::FinishedImage Make(const SyntheticOptions& o, builder::SyntheticStats* stats = nullptr) {
  builder::ProjectBuilder b;
  const auto s = builder::AddSyntheticProject(b, o);
  if (stats) *stats = s;
  return b.Build();
}

SyntheticOptions Small(uint32_t seed) {
  return {.pages = 20, .templates = 2, .reportPages = 2, .popups = 5, .controls = 1500, .languages = 3, .seed = seed};
}

TEST(SyntheticTest, SameSeedSameProjectAndItLoads) {
  const builder::FinishedImage image = Make(Small(7));
  EXPECT_EQ(Make(Small(7)).bytes, image.bytes);
  EXPECT_NE(Make(Small(8)).bytes, image.bytes);
  EXPECT_EQ(RuntimeImage(image.bytes).Root().Ref(24).U32(16), 3u);  // languages
  auto reader = TransferFileReader::LoadBytes(builder::ContainerWriter::Write(image, {.order = builder::Endian::Big}));
  ASSERT_TRUE(reader);
  reader->AdjustByteOrder(ByteOrder::Little, 0);
  reader->Relocate(0, 0);
  ASSERT_EQ(reader->PayloadSize(), image.bytes.size());
  EXPECT_TRUE(std::equal(image.bytes.begin(), image.bytes.end(), reader->Payload().begin()));
}

TEST(SyntheticTest, EveryControlHangsOffExactlyOneParent) {
  builder::SyntheticStats stats;
  const builder::FinishedImage image = Make(Small(3), &stats);
  const RuntimeImage img(image.bytes);
  const ImageRef root = img.Root();
  std::map<uint32_t, int> parents;  // object reference -> links naming it
  uint32_t objects = 0, screens = 0;
  for (uint32_t t = 0; t < 256; ++t) {
    const ImageRef table = root.Ref(88 + 8 * t);
    if (!table) continue;
    const uint32_t count = table.U32(0), size = root.U32(84 + 8 * t);
    EXPECT_EQ(count, stats.byType.at(static_cast<uint8_t>(t))) << t;
    objects += count;
    if (t == 1 || t == 38 || t == 53 || t == 71) screens += count;
    for (uint32_t i = 0; i < count; ++i) {
      const ImageRef list = table.At(4 + i * size).Ref(0);
      for (uint32_t k = 0; list && k < list.U32(0); ++k) {
        const uint32_t target = list.U32(8 + 8 * k);
        if (target >> 24 == 38) continue;  // template use, not a child
        EXPECT_EQ(list.U8(5 + 8 * k), 1u);
        EXPECT_LT(target & 0xFFFFFF, root.Ref(88 + 8 * (target >> 24)).U32(0));
        ++parents[target];
      }
    }
  }
  EXPECT_EQ(screens, stats.screens);
  EXPECT_EQ(objects - screens, stats.controls);
  EXPECT_EQ(stats.controls, 1500u);
  EXPECT_EQ(parents.size(), stats.controls);
  for (const auto& [ref, n] : parents) EXPECT_EQ(n, 1) << ref;
  EXPECT_GT(stats.containers, 0u);
  EXPECT_LE(stats.deepest, Small(3).maxDepth);
}

}  // namespace
}  // namespace prt
