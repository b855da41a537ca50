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
};

Record Build(const ControlForm& form) {
  builder::ProjectBuilder b;
  builder::AddControl(b, form);
  Record r;
  r.image = b.Build();
  r.runtime = std::make_unique<RuntimeImage>(r.image.bytes);
  r.rec = r.runtime->Root().Ref(88 + 8 * form.type).At(8);
  return r;
}

bool IsPointer(const Record& r, uint32_t at) {
  const uint32_t abs = r.rec.Offset() + at;
  return std::binary_search(r.image.pointers.begin(), r.image.pointers.end(), abs);
}

TEST(ScreenFormsTest, HiddenOutsideAndWord8) {
  struct Case {
    const char* name;
    bool hidden, outside;
    std::optional<uint32_t> flags, word8;
    uint32_t expectFlags, expectWord8;
  };
  const Case cases[] = {
      {"plain", false, false, {}, {}, 0, 0},
      {"hidden", true, false, {}, {}, 0x8000, 1},
      {"hidden keeps a given word 8", true, false, {}, 0u, 0x8000, 0},
      {"hidden adds to given flags", true, false, 0x2001u, 5u, 0xA001, 5},
      {"outside", false, true, {}, {}, 0x10, 0},
      {"both", true, true, {}, {}, 0x8010, 1},
  };
  for (const Case& c : cases) {
    ControlForm s;
    s.type = 29;
    s.hidden = c.hidden;
    s.outside = c.outside;
    s.flags = c.flags;
    s.word8 = c.word8;
    const Record r = Build(s);
    EXPECT_EQ(r.rec.U32(32), c.expectFlags) << c.name;
    EXPECT_EQ(r.rec.U32(8), c.expectWord8) << c.name;
  }
}

TEST(ScreenFormsTest, StandardFormsWriteTypedFieldsAndFrames) {
  ControlForm page;
  page.type = 1;
  const Record p = Build(page);
  EXPECT_TRUE(IsPointer(p, 20));  // sub-record, none
  EXPECT_TRUE(IsPointer(p, 40));  // background arrays
  EXPECT_TRUE(IsPointer(p, 44));
  EXPECT_FALSE(IsPointer(p, 60));  // pages have no title field

  ControlForm popup;
  popup.type = 71;
  const Record q = Build(popup);
  EXPECT_TRUE(IsPointer(q, 60));
  EXPECT_FALSE(q.rec.Ref(60));

  ControlForm button;
  button.type = 29;
  const Record b = Build(button);
  EXPECT_TRUE(IsPointer(b, 20));
  EXPECT_FALSE(IsPointer(b, 40));
}

TEST(ScreenFormsTest, NonStandardWritesOnlyWhatIsGiven) {
  ControlForm raw;
  raw.type = 15;
  raw.standard = false;
  raw.x = 3;
  const Record r = Build(raw);
  EXPECT_EQ(r.rec.I32(12), 3);
  EXPECT_FALSE(IsPointer(r, 20));
  // Only the two record words and x are typed fields; the rest of the
  // 72-byte record stays opaque. Kind of the value starting at each byte:
  std::vector<int> kindAt;
  for (const auto& e : r.image.layout) {
    const uint32_t w = builder::KindWidth(static_cast<builder::FieldKind>(e.kind));
    for (uint32_t n = 0; n < e.count; ++n) {
      kindAt.push_back(e.kind);
      for (uint32_t i = 1; i < w; ++i) kindAt.push_back(-1);
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
  ControlForm page;
  page.type = 1;
  ControlForm a;
  a.type = 29;
  a.linked = false;
  a.linkKind = 6;
  a.linkSlot = 2;
  ControlForm raw;
  raw.rawLink = builder::Link{3, 1, 4, 0, {}, 0x12345678};
  page.children = {a, raw};
  page.links.push_back(builder::Link{0, 1, 0, 0, {}, 0x1D000000});
  const Record r = Build(page);
  const ImageRef links = r.runtime->Root().Ref(88 + 8).At(4).Ref(0);
  ASSERT_EQ(links.U32(0), 3u);
  EXPECT_EQ(links.U8(4), 6u);
  EXPECT_EQ(links.U8(5), 0u);
  EXPECT_EQ(links.U8(6), 2u);
  EXPECT_EQ(links.U32(8), 29u << 24);
  EXPECT_EQ(links.U8(12), 3u);
  EXPECT_EQ(links.U8(14), 4u);
  EXPECT_EQ(links.U32(16), 0x12345678u);
  EXPECT_EQ(links.U32(24), 0x1D000000u);
}

}  // namespace
}  // namespace prt
