// Images whose counts, lengths and references leave the image: every
// operation must answer "not found" and never read outside (this program
// also runs in the AddressSanitizer build, where such a read aborts).
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "data/manager/CPRDataManager.h"
#include "tests/data/manager/RichImage.h"

namespace prt {
namespace {

using test::ImageBytes;
using test::Ref;

uint32_t Le32At(const std::vector<uint8_t>& b, uint32_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
void Put32(std::vector<uint8_t>& b, uint32_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t HeaderWord(const std::vector<uint8_t>& b, uint32_t word) { return Le32At(b, 4 * word); }

// Loads exactly these bytes, with no spare capacity behind them, so that a
// read past the end lands in the sanitizer's red zone.
void Adopt(CPRDataManager& dm, const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> exact(bytes.begin(), bytes.end());
  exact.shrink_to_fit();
  ASSERT_TRUE(dm.AdoptImage(std::move(exact)));
}

void ExpectText(const ImageRef& text) {
  if (!text) return;
  std::u16string s;
  EXPECT_TRUE(text.ReadCountedString(s)) << "text at " << text.Offset() << " leaves the image";
}

// Calls every operation with typical arguments; texts handed out must lie
// wholly inside the image.
void Sweep(CPRDataManager& dm) {
  DataValue value;
  uint32_t out = 0;
  uint16_t kind = 0;
  uint8_t status = 0;
  for (uint32_t t : {0u, 1u, 4u, 15u, 29u, 48u, 49u, 200u, 255u}) {
    dm.GetObjectCount(t);
    for (uint32_t i : {0u, 1u, 2u, 0xFFFFFFu}) {
      const uint32_t ref = Ref(t, i);
      dm.GetObjectRecord(ref).U32(0);
      dm.GetObjectLinkCount(ref);
      for (uint32_t k = 0; k < 4; ++k) dm.GetObjectLink(ref, k).U32(4);
      dm.FindObjectLink(ref, 2, 0);
      dm.GetObjectText(ref, &value);
      ASSERT_TRUE(value.TextCopy().has_value());
      if (dm.GetObjectTextEx(ref, &value)) {
        ASSERT_TRUE(value.TextCopy().has_value());
      }
      dm.GetPageNumber(ref);
      dm.FindCachedReference(ref, u"alpha");
      dm.GetObjectReferenceAt(&out, t, i);
    }
  }
  for (uint32_t n : {0u, 1u, 2u, 5u, 0xFFFFFFFFu}) {
    ExpectText(dm.GetText(n));
    ExpectText(dm.GetTextForLanguage(n, 1031));
    ExpectText(dm.GetTextByKey(n, -1));
    ExpectText(dm.GetTextByKey(n, 1033));
  }
  for (uint32_t list : {0u, 1u, 2u, 3u, 0xFFFFFFFFu}) {
    dm.GetListKind(list, 0, &kind);
    dm.GetListKind(list, 1, &kind);
    dm.GetTextListSize(list);
    dm.GetResourceListSize(list);
    ExpectText(dm.GetTextListDefault(list));
    dm.GetResourceListDefault(list);
    dm.GetResourceListDefaultIndex(list);
    for (int32_t v : {-1, 0, 1, 5, 11}) {
      DataValue in;
      in.SetValue(DataValue::kInt32, static_cast<uint32_t>(v));
      for (uint32_t bit : {0u, 3u, 40u}) {
        dm.MapTextListValue(list, &in, bit);
        dm.MapResourceListValue(list, &in, bit);
        dm.FindTextListEntry(list, &in, bit);
        dm.FindResourceListEntry(list, &in, bit);
        ExpectText(dm.GetTextForValue(list, &in, bit));
        dm.GetResourceForValue(list, &in, bit);
        dm.MapResourceListInteger(list, &in, bit);
      }
      dm.MapTextListPosition(list, v);
      dm.MapResourceListPosition(list, v);
      dm.GetTextListEntryValue(list, v, &status);
      dm.GetResourceListEntryValue(list, v, &status);
      ExpectText(dm.GetTextForPosition(list, v));
      dm.GetResourceForPosition(list, v);
    }
  }
  const uint32_t languages = dm.GetLanguageCount();
  for (uint32_t l = 0; l < std::min(languages, 3u) + 1; ++l) {
    dm.SetLanguage(-1, false);
    dm.GetLanguageId(l);
    dm.GetCurrentLanguageId();
    dm.GetLanguageResourceCount();
    dm.GetLanguageResourceTable();
    for (uint32_t r = 0; r < 4; ++r) dm.GetLanguageResource(r).U32(0);
    for (uint16_t f = 0; f < 4; ++f) {
      for (uint16_t s = 0; s < 4; ++s) {
        FontInfo info;
        dm.GetCurrentLanguageFontInfo(f, s, &info);
        info.faceData.U32(0);
        dm.GetFontRecordForStyle(f, s);
      }
      ImageRef record;
      dm.GetFontRecord(f, &record).ReadCString(4);
    }
  }
  dm.FindLanguageIndex(1031);
  dm.GetFontCount();
  dm.GetTextCount();
  for (uint32_t mask = 1; mask != 0; mask <<= 1) dm.TestSettingsFlags(mask);
  dm.GetSettingsFlagBit0();
  dm.GetSettingsFlagBit10();
  dm.GetProjectSettingsFlag();
  dm.GetProjectSettingsWord15();
  dm.GetProjectSettingsWord19(&out);
  dm.GetRuntimeSettingsWord0(1, &out);
  dm.GetRuntimeSettingsWord1(&out);
  dm.GetRuntimeSettingsWord2();
  dm.GetRuntimeSettingsByte();
  dm.FindSettingsEntryByName("ab");
  dm.FindSettingsEntry(7).ReadCString(0);
  for (uint32_t i = 0; i < 3; ++i) dm.GetSettingsTable20Entry(i, &out);
  dm.GetSettingsTable20Trailer(&out);
  for (uint32_t n = 0; n < 14; ++n) dm.GetHeaderBlock11Entry(n).U32(0);
  for (uint32_t i = 0; i < 3; ++i) {
    dm.GetHeaderBlock11Item(2, i).U32(0);
    dm.GetHeaderBlock11Item(3, i).U32(0);
  }
  dm.GetHeaderBlock13().U32(0);
  dm.FindPageByNumber(&out, 100);
  dm.SelectPage(200, 0, -1, false);
  dm.FindType15Reference(&out, 100, 12);
  ExpectText(dm.GetType15Text(100));
  ExpectText(dm.GetType15Text(200));
  std::vector<uint8_t> motor = {5, 0, 'M', 0, 'o', 0, 't', 0, 'o', 0, 'r', 0};
  dm.FindObjectByName(motor.data(), &out);
  std::vector<uint32_t> refs;
  dm.FindReferencesByText(test::kButton, u"Motor", 5, &refs);
}

// One structure made to leave the image, and what must then be absent.
struct Corruption {
  const char* name;
  std::function<void(std::vector<uint8_t>&)> damage;
  std::function<void(CPRDataManager&)> expect;
};

std::u16string TextOf(const ImageRef& text) {
  std::u16string s;
  return text.ReadCountedString(s) ? s : u"<none>";
}

const Corruption kCorruptions[] = {
    {"record count",
     [](auto& b) { Put32(b, HeaderWord(b, 22 + 2 * 29), 0x7FFFFFFF); },
     [](CPRDataManager& dm) {
       EXPECT_EQ(dm.GetObjectCount(29), 0u);
       EXPECT_FALSE(dm.GetObjectRecord(Ref(29, 0)));
       EXPECT_FALSE(dm.FindCachedReference(Ref(29, 0), u"alpha"));
     }},
    {"record count one past",
     [](auto& b) {
       const uint32_t table = HeaderWord(b, 22 + 2 * 15);
       Put32(b, table, (static_cast<uint32_t>(b.size()) - table - 4) / 28 + 1);
     },
     [](CPRDataManager& dm) {
       EXPECT_EQ(dm.GetObjectCount(15), 0u);
       EXPECT_EQ(dm.FindType15Reference(nullptr, 100, 12), 0u);
     }},
    {"record size 0",
     [](auto& b) { Put32(b, 4 * (21 + 2 * 29), 0); },
     [](CPRDataManager& dm) { EXPECT_FALSE(dm.GetObjectRecord(Ref(29, 0))); }},
    {"record size huge",
     [](auto& b) { Put32(b, 4 * (21 + 2 * 1), 0x80000000); },
     [](CPRDataManager& dm) {
       EXPECT_EQ(dm.GetObjectCount(1), 0u);
       EXPECT_FALSE(dm.GetObjectLink(Ref(1, 0), 0));
     }},
    {"link count",
     [](auto& b) {
       const uint32_t page = HeaderWord(b, 22 + 2 * 1) + 4;
       Put32(b, Le32At(b, page), 0x10000000);
     },
     [](CPRDataManager& dm) {
       EXPECT_FALSE(dm.GetObjectLink(Ref(1, 0), 0));
       EXPECT_EQ(dm.GetObjectLinkCount(Ref(1, 0)), 0u);
       EXPECT_FALSE(dm.FindObjectLink(Ref(1, 0), 2, 0));
     }},
    {"link list reference",
     [](auto& b) { Put32(b, HeaderWord(b, 22 + 2 * 49) + 4, static_cast<uint32_t>(b.size()) - 2); },
     [](CPRDataManager& dm) {
       EXPECT_EQ(dm.GetObjectLinkCount(Ref(49, 0)), 0u);
       uint32_t out = 0;
       std::vector<uint8_t> motor = {5, 0, 'M', 0, 'o', 0, 't', 0, 'o', 0, 'r', 0};
       EXPECT_FALSE(dm.FindObjectByName(motor.data(), &out));
     }},
    {"string length",
     [](auto& b) {
       const uint32_t texts = Le32At(b, HeaderWord(b, 6) + 24);  // language 0's text array
       b[Le32At(b, texts)] = 0xFF;
       b[Le32At(b, texts) + 1] = 0xFF;
     },
     [](CPRDataManager& dm) {
       EXPECT_FALSE(dm.GetText(0));
       DataValue v;
       EXPECT_TRUE(dm.GetObjectText(Ref(29, 0), &v));
       EXPECT_EQ(v.TextCopy(), u"29#0");
       std::vector<uint32_t> refs;
       ASSERT_TRUE(dm.FindReferencesByText(29, u"Motor", 5, &refs));
       EXPECT_EQ(refs, std::vector<uint32_t>{Ref(29, 2)});  // text 5 is a string of its own
     }},
    {"text count",
     [](auto& b) { Put32(b, HeaderWord(b, 6), 0x40000000); },
     [](CPRDataManager& dm) {
       EXPECT_FALSE(dm.GetText(0));
       EXPECT_EQ(TextOf(dm.GetTextByKey(3, -1)), u"<none>");
     }},
    {"language count",
     [](auto& b) { Put32(b, HeaderWord(b, 6) + 16, 0xFFFFFFFF); },
     [](CPRDataManager& dm) {
       EXPECT_EQ(dm.GetLanguageCount(), 0u);
       EXPECT_FALSE(dm.SetLanguage(0, false));
       EXPECT_FALSE(dm.GetText(0));
       EXPECT_EQ(dm.FindLanguageIndex(1031), -1);
     }},
    {"font count",
     [](auto& b) { Put32(b, HeaderWord(b, 10), 0x0FFFFFFF); },
     [](CPRDataManager& dm) {
       EXPECT_EQ(dm.GetFontCount(), 0u);
       FontInfo info;
       EXPECT_FALSE(dm.GetCurrentLanguageFontInfo(0, 0, &info));
       EXPECT_FALSE(dm.GetFontRecord(0, nullptr));
     }},
    {"font number count",
     [](auto& b) { Put32(b, HeaderWord(b, 6) + 8, 0x7FFFFFFF); },
     [](CPRDataManager& dm) { EXPECT_EQ(dm.GetFontIndex(1, 0), 0); }},
    {"list entry count",
     [](auto& b) {
       const uint32_t list = Le32At(b, HeaderWord(b, 7) + 4);
       b[list + 2] = 0xFF;
       b[list + 3] = 0xFF;
     },
     [](CPRDataManager& dm) {
       EXPECT_EQ(dm.GetTextListSize(0), 0u);
       EXPECT_EQ(dm.MapTextListPosition(0, 0), -1);
     }},
    {"list table count",
     [](auto& b) { Put32(b, HeaderWord(b, 8), 0xFFFFFFF0); },
     [](CPRDataManager& dm) { EXPECT_EQ(dm.GetResourceListSize(0), 0u); }},
    {"default map group count",
     [](auto& b) { Put32(b, HeaderWord(b, 17), 0x20000000); },
     [](CPRDataManager& dm) { EXPECT_EQ(dm.GetResourceListDefaultIndex(1), -1); }},
    {"object text map entry count",
     [](auto& b) {
       const uint32_t group = HeaderWord(b, 14) + 4;
       Put32(b, Le32At(b, group + 4), 0x10000000);
     },
     [](CPRDataManager& dm) {
       DataValue v;
       EXPECT_TRUE(dm.GetObjectText(Ref(29, 0), &v));
     }},
    {"key table count",
     [](auto& b) { Put32(b, HeaderWord(b, 15), 0x20000000); },
     [](CPRDataManager& dm) { EXPECT_FALSE(dm.GetTextByKey(3, -1)); }},
    {"every header reference past the end",
     [](auto& b) {
       for (uint32_t w : {6u, 7u, 8u, 10u, 11u, 13u, 14u, 15u, 16u, 17u, 18u, 19u})
         Put32(b, 4 * w, static_cast<uint32_t>(b.size()) + 4 * w);
     },
     [](CPRDataManager& dm) {
       EXPECT_EQ(dm.GetLanguageCount(), 0u);
       EXPECT_FALSE(dm.GetRuntimeSettings());
       EXPECT_FALSE(dm.GetHeaderBlock11());
       EXPECT_FALSE(dm.GetProjectSettingsFlag());
     }},
    {"header references at the last byte",
     [](auto& b) {
       for (uint32_t w : {6u, 7u, 8u, 10u, 11u, 13u, 14u, 15u, 16u, 17u, 18u, 19u})
         Put32(b, 4 * w, static_cast<uint32_t>(b.size()) - 1);
     },
     [](CPRDataManager& dm) {
       uint32_t out = 0;
       EXPECT_FALSE(dm.GetRuntimeSettingsWord1(&out));
       EXPECT_FALSE(dm.GetProjectSettingsWord19(&out));
       EXPECT_EQ(dm.GetFontCount(), 0u);
     }},
    {"settings table counts",
     [](auto& b) {
       const uint32_t settings = HeaderWord(b, 19);
       Put32(b, Le32At(b, settings + 16), 0x10000000);
       Put32(b, Le32At(b, settings + 20), 0x3FFFFFFF);
       Put32(b, Le32At(b, settings + 20) + 4, 0x3FFFFFFF);
     },
     [](CPRDataManager& dm) {
       uint32_t out = 0;
       EXPECT_EQ(dm.FindSettingsEntryByName("ab"), 0u);
       EXPECT_FALSE(dm.GetSettingsTable20Entry(0, &out));
       EXPECT_FALSE(dm.GetSettingsTable20Trailer(&out));
     }},
    {"block 11 list count",
     [](auto& b) {
       const uint32_t block = HeaderWord(b, 11);
       Put32(b, Le32At(b, block + 60), 0x7FFFFFFF);
     },
     [](CPRDataManager& dm) { EXPECT_FALSE(dm.GetHeaderBlock11Item(2, 0)); }},
    {"named table count",
     [](auto& b) {
       const uint32_t button = HeaderWord(b, 22 + 2 * 29) + 4;
       Put32(b, Le32At(b, button + 16), 0x01000000);
     },
     [](CPRDataManager& dm) { EXPECT_FALSE(dm.FindCachedReference(Ref(29, 0), u"alpha")); }},
};

TEST(HardeningTest, DamagedStructuresAnswerNotFound) {
  const std::vector<uint8_t> good = test::BuildRichImage().bytes;
  for (const Corruption& c : kCorruptions) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = good;
    c.damage(bytes);
    CPRDataManager dm;
    Adopt(dm, bytes);
    c.expect(dm);
    Sweep(dm);
  }
}

TEST(HardeningTest, TypeNumberWithoutHeaderPair) {
  ImageBytes img(3);  // pairs for types 0 to 3 only; nothing follows the header
  CPRDataManager dm;
  Adopt(dm, img.Take());
  for (uint32_t t : {4u, 100u, 255u}) {
    EXPECT_EQ(dm.GetObjectCount(t), 0u);
    EXPECT_FALSE(dm.GetObjectRecord(Ref(t, 0)));
    EXPECT_FALSE(dm.GetObjectLink(Ref(t, 0), 0));
  }
  Sweep(dm);
}

TEST(HardeningTest, FaceNameRunningToTheEnd) {
  ImageBytes img;
  const uint32_t font = img.Words({0x000C0100, 0});
  img.SetHeader(10, img.RefTable({font}));
  test::WriteLanguages(img, 0, 0, 1, 0, {{.id = 1, .fonts = {{0, 0, 0, 0}}}});
  const uint32_t face = img.U32(0);
  img.Bytes("Unterminated");
  img.Patch32(font + 4, face);
  CPRDataManager dm;
  Adopt(dm, img.Take());
  FontInfo info;
  EXPECT_TRUE(dm.GetCurrentLanguageFontInfo(0, 0, &info));
  EXPECT_EQ(info.faceName, "Unterminated");
  EXPECT_FALSE(info.faceData);  // byte 36 lies outside
  EXPECT_EQ(info.pointSize, 12u);
}

// Every prefix of a complete image: whatever is cut off, answers stay inside.
TEST(HardeningTest, EveryTruncationOfACompleteImage) {
  const std::vector<uint8_t> good = test::BuildRichImage().bytes;
  CPRDataManager dm;
  for (size_t cut = 12; cut <= good.size(); cut += 1) {
    Adopt(dm, std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
    Sweep(dm);
    if (HasFatalFailure()) FAIL() << "cut at " << cut;
  }
  EXPECT_EQ(dm.GetObjectCount(29), 3u);  // the last round is the whole image
}

// Images of random words that are mostly small offsets, so that references
// land inside and counts are sometimes plausible.
TEST(HardeningTest, RandomImages) {
  std::mt19937 rng(20240601);
  CPRDataManager dm;
  for (int round = 0; round < 150; ++round) {
    const uint32_t words = 200 + rng() % 600;
    std::vector<uint8_t> bytes = ImageBytes(0).Take();
    bytes.resize(words * 4);
    for (uint32_t w = 3; w < words; ++w) {
      const uint32_t pick = rng() % 8;
      const uint32_t v = pick < 5 ? rng() % (words * 4) : pick < 7 ? rng() % 8 : rng();
      Put32(bytes, 4 * w, v);
    }
    Adopt(dm, bytes);
    Sweep(dm);
    if (HasFatalFailure()) FAIL() << "round " << round;
  }
}

}  // namespace
}  // namespace prt
