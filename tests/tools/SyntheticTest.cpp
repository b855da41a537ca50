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

struct Built {
  builder::SyntheticStats stats;
  builder::FinishedImage image;
};

Built Make(const SyntheticOptions& o) {
  builder::ProjectBuilder b;
  Built out;
  out.stats = builder::AddSyntheticProject(b, o);
  out.image = b.Build();
  return out;
}

SyntheticOptions Small(uint32_t seed) {
  SyntheticOptions o;
  o.pages = 20;
  o.popups = 5;
  o.reportPages = 2;
  o.templates = 2;
  o.controls = 1500;
  o.seed = seed;
  return o;
}

TEST(SyntheticTest, SameSeedSameProject) {
  EXPECT_EQ(Make(Small(7)).image.bytes, Make(Small(7)).image.bytes);
  EXPECT_NE(Make(Small(7)).image.bytes, Make(Small(8)).image.bytes);
}

TEST(SyntheticTest, EveryControlHangsOffExactlyOneParent) {
  const Built built = Make(Small(3));
  const RuntimeImage img(built.image.bytes);
  const ImageRef root = img.Root();
  std::map<uint32_t, int> parents;  // object reference -> links naming it
  uint32_t objects = 0, screens = 0;
  for (uint32_t t = 0; t < 256; ++t) {
    const ImageRef table = root.Ref(88 + 8 * t);
    if (!table) continue;
    const uint32_t count = table.U32(0), size = root.U32(84 + 8 * t);
    EXPECT_EQ(count, built.stats.byType.at(static_cast<uint8_t>(t))) << t;
    objects += count;
    if (t == 1 || t == 38 || t == 53 || t == 71) screens += count;
    for (uint32_t i = 0; i < count; ++i) {
      const ImageRef list = table.At(4 + i * size).Ref(0);
      for (uint32_t k = 0; list && k < list.U32(0); ++k) {
        const uint32_t target = list.U32(8 + 8 * k);
        if (target >> 24 == 38) continue;  // template use, not a child
        EXPECT_EQ(list.U8(5 + 8 * k), 1u);
        const ImageRef targetTable = root.Ref(88 + 8 * (target >> 24));
        ASSERT_TRUE(targetTable);
        EXPECT_LT(target & 0xFFFFFF, targetTable.U32(0));
        ++parents[target];
      }
    }
  }
  EXPECT_EQ(screens, built.stats.screens);
  EXPECT_EQ(objects - screens, built.stats.controls);
  EXPECT_EQ(built.stats.controls, 1500u);
  EXPECT_EQ(parents.size(), built.stats.controls);
  for (const auto& [ref, n] : parents) EXPECT_EQ(n, 1) << ref;
  EXPECT_GT(built.stats.containers, 0u);
  EXPECT_LE(built.stats.deepest, Small(3).maxDepth);
}

TEST(SyntheticTest, LanguagesAndLoad) {
  SyntheticOptions o = Small(5);
  o.languages = 3;
  const Built built = Make(o);
  const RuntimeImage img(built.image.bytes);
  EXPECT_EQ(img.Root().Ref(24).U32(16), 3u);
  builder::ContainerOptions c;
  c.order = builder::Endian::Big;
  auto reader = TransferFileReader::LoadBytes(builder::ContainerWriter::Write(built.image, c));
  ASSERT_TRUE(reader);
  reader->AdjustByteOrder(ByteOrder::Little, 0);
  reader->Relocate(0, 0);
  ASSERT_EQ(reader->PayloadSize(), built.image.bytes.size());
  EXPECT_TRUE(std::equal(built.image.bytes.begin(), built.image.bytes.end(), reader->Payload().begin()));
}

}  // namespace
}  // namespace prt
