// Controls in their C++ form: which record fields each option writes.
#include "tools/builder/ScreenForms.h"

#include <gtest/gtest.h>

#include "data/image/RuntimeImage.h"

namespace prt {
namespace {

using builder::ControlForm;

// The record of the first object of `type`, as the controls see it, and the
// image that holds it.
struct Record {
  builder::FinishedImage image;
  std::unique_ptr<RuntimeImage> runtime;
  ImageRef rec;

  bool IsPointer(uint32_t at) const {
    return std::binary_search(image.pointers.begin(), image.pointers.end(), rec.Offset() + at);
  }
};

Record Build(const ControlForm& form) {
  builder::ProjectBuilder b;
  builder::AddControl(b, form);
  Record r{b.Build()};
  r.runtime = std::make_unique<RuntimeImage>(r.image.bytes);
  r.rec = r.runtime->Root().Ref(88 + 8 * form.type).At(8);
  return r;
}

TEST(ScreenFormsTest, HiddenOutsideAndWord8) {
  const struct {
    const char* name;
    bool hidden, outside;
    std::optional<uint32_t> flags, word8;
    uint32_t expectFlags, expectWord8;
  } cases[] = {
      {"plain", false, false, {}, {}, 0, 0},
      {"hidden", true, false, {}, {}, 0x8000, 1},
      {"hidden keeps a given word 8", true, false, {}, 0u, 0x8000, 0},
      {"hidden adds to given flags", true, false, 0x2001u, 5u, 0xA001, 5},
      {"outside", false, true, {}, {}, 0x10, 0},
      {"both", true, true, {}, {}, 0x8010, 1},
  };
  for (const auto& c : cases) {
    const Record r = Build({.type = 29, .flags = c.flags, .word8 = c.word8, .hidden = c.hidden, .outside = c.outside});
    EXPECT_EQ(r.rec.U32(32), c.expectFlags) << c.name;
    EXPECT_EQ(r.rec.U32(8), c.expectWord8) << c.name;
  }
}

TEST(ScreenFormsTest, StandardFormsWriteTheirPointerFields) {
  const Record page = Build({.type = 1}), popup = Build({.type = 71}), button = Build({.type = 29});
  // Sub-record (none) and background arrays; only popups have a title field.
  EXPECT_TRUE(page.IsPointer(20) && page.IsPointer(40) && page.IsPointer(44) && !page.IsPointer(60));
  EXPECT_TRUE(popup.IsPointer(60));
  EXPECT_FALSE(popup.rec.Ref(60));
  EXPECT_TRUE(button.IsPointer(20) && !button.IsPointer(40));
}

TEST(ScreenFormsTest, NonStandardWritesOnlyWhatIsGiven) {
  const Record r = Build({.type = 15, .standard = false, .x = 3});
  EXPECT_EQ(r.rec.I32(12), 3);
  EXPECT_FALSE(r.IsPointer(20));
  // Only the two record words and x are typed fields; the rest of the
  // 72-byte record stays opaque. Kind of the value starting at each byte:
  std::vector<int> kindAt;
  for (const auto& e : r.image.layout) {
    const uint32_t w = builder::KindWidth(static_cast<builder::FieldKind>(e.kind));
    for (uint32_t n = 0; n < e.count; ++n) {
      kindAt.push_back(e.kind);
      kindAt.insert(kindAt.end(), w - 1, -1);
    }
  }
  const uint32_t start = r.rec.Offset() - 4;
  ASSERT_GE(kindAt.size(), start + 72);
  for (uint32_t i = 0; i < 72; ++i) {
    const int expect = i == 0 || i == 4 || i == 16 ? 2 : (i < 8 || (i > 16 && i < 20)) ? -1 : 0;
    EXPECT_EQ(kindAt[start + i], expect) << "record byte " << i;
  }
}

TEST(ScreenFormsTest, RawLinkChildrenAndLinkOptions) {
  ControlForm page{.type = 1};
  page.children = {{.type = 29, .linked = false, .linkKind = 6, .linkSlot = 2},
                   {.rawLink = builder::Link{3, 1, 4, 0, {}, 0x12345678}}};
  page.links.push_back(builder::Link{0, 1, 0, 0, {}, 0x1D000000});
  const Record r = Build(page);
  const ImageRef links = r.runtime->Root().Ref(88 + 8).At(4).Ref(0);
  ASSERT_EQ(links.U32(0), 3u);
  EXPECT_EQ(links.U32(4), 0x00020006u);  // kind 6, absent, slot 2
  EXPECT_EQ(links.U32(8), 29u << 24);
  EXPECT_EQ(links.U32(12), 0x00040103u);
  EXPECT_EQ(links.U32(16), 0x12345678u);
  EXPECT_EQ(links.U32(24), 0x1D000000u);
}

}  // namespace
}  // namespace prt
