// Images whose counts, lengths and references leave the image: every
// operation must answer "not found" and never read outside (this program
// also runs in the AddressSanitizer build, where such a read aborts).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "tests/data/manager/RichDataset.h"
#include "tests/support/Dataset.h"

namespace prt {
namespace {

using test::Ref;
using Bytes = std::vector<uint8_t>;

uint32_t Get32(const Bytes& b, uint32_t at) {
  return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) | (static_cast<uint32_t>(b.at(at + 3)) << 24);
}
void Put32(Bytes& b, uint32_t at, uint32_t v) {
  for (uint32_t i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Header(const Bytes& b, uint32_t word) { return Get32(b, 4 * word); }
uint32_t Table(const Bytes& b, uint32_t type) { return Header(b, 22 + 2 * type); }
uint32_t Size(const Bytes& b) { return static_cast<uint32_t>(b.size()); }

bool FindName(CPRDataManager& dm, const std::u16string& counted) {
  return dm.FindObjectByName(reinterpret_cast<const uint8_t*>(counted.data()), nullptr);
}

// Loads exactly these bytes, with no spare capacity behind them, so that a
// read past the end lands in the sanitizer's red zone.
void Adopt(CPRDataManager& dm, const Bytes& bytes) {
  Bytes exact(bytes.begin(), bytes.end());
  exact.shrink_to_fit();
  ASSERT_TRUE(dm.AdoptImage(std::move(exact)));
}

void ExpectInside(const ImageRef& text) {
  std::u16string s;
  EXPECT_TRUE(!text || text.ReadCountedString(s)) << "text at " << text.Offset() << " leaves the image";
}

// Calls the operations that walk tables with typical arguments; texts handed
// out must lie wholly inside the image.
void Sweep(CPRDataManager& dm) {
  DataValue value, in;
  uint32_t out = 0;
  uint8_t status = 0;
  for (uint32_t t : {0u, 1u, 4u, 15u, 29u, 48u, 49u, 200u}) {
    for (uint32_t ref : {Ref(t, 0), Ref(t, 1), Ref(t, 2), Ref(t, 0xFFFFFF)}) {
      for (uint32_t k = 0; k < 4; ++k) dm.GetObjectLink(ref, k).U32(4);
      dm.FindObjectLink(ref, 2, 0);
      dm.GetObjectText(ref, &value);
      ASSERT_TRUE(value.TextCopy().has_value());
      ASSERT_TRUE(!dm.GetObjectTextEx(ref, &value) || value.TextCopy().has_value());
      dm.GetPageNumber(ref);
      dm.FindCachedReference(ref, u"alpha");
    }
  }
  for (uint32_t n : {0u, 1u, 2u, 5u, 0xFFFFFFFFu}) {
    ExpectInside(dm.GetText(n));
    ExpectInside(dm.GetTextForLanguage(n, 1031));
    ExpectInside(dm.GetTextByKey(n, -1));
    ExpectInside(dm.GetTextListDefault(n));
    for (int32_t v : {-1, 0, 1, 5, 11}) {
      in.SetValue(DataValue::kInt32, static_cast<uint32_t>(v));
      ExpectInside(dm.GetTextForValue(n, &in, v & 63));
      ExpectInside(dm.GetTextForPosition(n, v));
      dm.GetResourceForValue(n, &in, 3).U32(0);
      dm.GetResourceForPosition(n, v).U32(0);
      dm.FindResourceListEntry(n, &in, v & 63);
      dm.MapResourceListInteger(n, &in, 0);
      dm.GetTextListEntryValue(n, v, &status);
    }
  }
  for (uint32_t l = 0; l < std::min(dm.GetLanguageCount(), 3u) + 1; ++l) {
    dm.SetLanguage(-1, false);
    for (uint16_t f = 0; f < 4; ++f) {
      dm.GetLanguageResource(f).U32(0);
      dm.GetFontRecord(f, nullptr).ReadCString(4);
      for (uint16_t style = 0; style < 4; ++style) {
        FontInfo info;
        dm.GetCurrentLanguageFontInfo(f, style, &info);
        info.faceData.U32(0);
      }
    }
  }
  dm.FindSettingsEntryByName("ab");
  dm.FindSettingsEntry(7).ReadCString(0);
  dm.GetSettingsTable20Trailer(&out);
  for (uint32_t n = 0; n < 14; ++n) {
    dm.GetHeaderBlock11Item(n, 1).U32(0);
    dm.GetSettingsTable20Entry(n, &out);
  }
  ExpectInside(dm.GetType15Text(100));
  FindName(dm, u"\5Motor");
  std::vector<uint32_t> refs;
  dm.FindReferencesByText(29, u"Motor", 5, &refs);
}

// One structure made to leave the image, and what must then be absent.
using Manager = CPRDataManager;
const struct Damage {
  const char* name;
  void (*damage)(Bytes&);
  bool (*absent)(Manager&);
} kDamages[] = {
    {"record count", [](Bytes& b) { Put32(b, Table(b, 29), 0x7FFFFFFF); },
     [](Manager& dm) { return !dm.GetObjectRecord(Ref(29, 0)) && !dm.FindCachedReference(Ref(29, 0), u"alpha"); }},
    {"record count one past",
     [](Bytes& b) { Put32(b, Table(b, 15), (Size(b) - Table(b, 15) - 4) / Header(b, 21 + 2 * 15) + 1); },
     [](Manager& dm) { return !dm.GetObjectCount(15) && !dm.FindType15Reference(nullptr, 100, 12); }},
    {"record size huge", [](Bytes& b) { Put32(b, 4 * (21 + 2 * 1), 0x80000000); },
     [](Manager& dm) { return !dm.GetObjectCount(1) && !dm.GetObjectLink(Ref(1, 0), 0); }},
    {"link count", [](Bytes& b) { Put32(b, Get32(b, Table(b, 1) + 4), 0x10000000); },
     [](Manager& dm) { return !dm.GetObjectLinkCount(Ref(1, 0)) && !dm.FindObjectLink(Ref(1, 0), 2, 0); }},
    {"link list reference", [](Bytes& b) { Put32(b, Table(b, 49) + 4, Size(b) - 2); },
     [](Manager& dm) { return !dm.GetObjectLinkCount(Ref(49, 0)) && !FindName(dm, u"\5Motor"); }},
    {"string length",
     [](Bytes& b) { Put32(b, Get32(b, Get32(b, Header(b, 6) + 24)), 0xFFFF); },  // language 0, text 0
     [](Manager& dm) {
       DataValue v;
       std::vector<uint32_t> refs;  // text 5 is a string of its own
       return !dm.GetText(0) && dm.GetObjectText(Ref(29, 0), &v) && v.TextCopy() == u"29#0" &&
              dm.FindReferencesByText(29, u"Motor", 5, &refs) && refs == std::vector{Ref(29, 2)};
     }},
    {"text count", [](Bytes& b) { Put32(b, Header(b, 6), 0x40000000); },
     [](Manager& dm) { return !dm.GetText(0) && !dm.GetTextByKey(3, -1); }},
    {"language count", [](Bytes& b) { Put32(b, Header(b, 6) + 16, 0xFFFFFFFF); },
     [](Manager& dm) { return !dm.SetLanguage(0, false) && !dm.GetText(0) && dm.FindLanguageIndex(1031) == -1; }},
    {"font count", [](Bytes& b) { Put32(b, Header(b, 10), 0x0FFFFFFF); },
     [](Manager& dm) {
       FontInfo info;
       return !dm.GetFontCount() && !dm.GetCurrentLanguageFontInfo(0, 0, &info) && !dm.GetFontRecord(0, nullptr);
     }},
    {"font number count", [](Bytes& b) { Put32(b, Header(b, 6) + 8, 0x7FFFFFFF); },
     [](Manager& dm) { return dm.GetFontIndex(1, 0) == 0; }},
    {"list entry count", [](Bytes& b) { Put32(b, Get32(b, Header(b, 7) + 4), 0xFFFF0002); },
     [](Manager& dm) { return !dm.GetTextListSize(0) && dm.MapTextListPosition(0, 0) == -1; }},
    {"default map group count", [](Bytes& b) { Put32(b, Header(b, 17), 0x20000000); },
     [](Manager& dm) { return dm.GetResourceListDefaultIndex(1) == -1; }},
    {"object text map entry count", [](Bytes& b) { Put32(b, Get32(b, Header(b, 14) + 8), 0x10000000); },
     [](Manager& dm) {
       DataValue v;
       return dm.GetObjectText(Ref(1, 0), &v);  // the first group, pages: placeholder
     }},
    {"every header reference past the end",
     [](Bytes& b) { for (uint32_t w = 6; w < 20; ++w) Put32(b, 4 * w, Size(b) + 4 * w); },
     [](Manager& dm) { return !dm.GetLanguageCount() && !dm.GetRuntimeSettings() && !dm.GetHeaderBlock11(); }},
    {"header references at the last byte",
     [](Bytes& b) { for (uint32_t w = 6; w < 20; ++w) Put32(b, 4 * w, Size(b) - 1); },
     [](Manager& dm) {
       uint32_t out = 0;
       return !dm.GetRuntimeSettingsWord1(&out) && !dm.GetProjectSettingsWord19(&out) && !dm.GetFontCount();
     }},
    {"settings table counts",
     [](Bytes& b) {
       for (uint32_t at : {Get32(b, Header(b, 19) + 16), Get32(b, Header(b, 19) + 20)}) Put32(b, at, 0x3FFFFFFF);
       Put32(b, Get32(b, Header(b, 19) + 20) + 4, 0x3FFFFFFF);
     },
     [](Manager& dm) {
       uint32_t out = 0;
       return !dm.FindSettingsEntryByName("ab") && !dm.GetSettingsTable20Entry(0, &out) &&
              !dm.GetSettingsTable20Trailer(&out);
     }},
    {"block 11 list count", [](Bytes& b) { Put32(b, Get32(b, Header(b, 11) + 60), 0x7FFFFFFF); },
     [](Manager& dm) { return !dm.GetHeaderBlock11Item(2, 0); }},
    {"named table count", [](Bytes& b) { Put32(b, Get32(b, Table(b, 29) + 4 + 16), 0x01000000); },
     [](Manager& dm) { return !dm.FindCachedReference(Ref(29, 0), u"alpha"); }},
};

// This program never sets the project path: a loadable data set under the
// name an unset path would give (".prt" in the current folder) must not load.
TEST(HardeningTest, WithoutAProjectPathNothingLoads) {
  const std::filesystem::path stray = std::filesystem::current_path() / ".prt";
  ASSERT_FALSE(std::filesystem::exists(stray));
  test::WriteDataset(stray, R"({"name": "Stray"})");
  CPRDataManager dm;
  const bool loaded = dm.Initialize();
  std::filesystem::remove(stray);
  std::filesystem::remove(stray.parent_path() / ".rt_file.LANG");  // what a load would create
  EXPECT_FALSE(loaded);
  EXPECT_FALSE(dm.IsInitialized());
}

TEST(HardeningTest, DamagedStructuresAnswerNotFound) {
  const Bytes good = test::ImageFromJson(test::kRich);
  for (const Damage& d : kDamages) {
    SCOPED_TRACE(d.name);
    Bytes bytes = good;
    d.damage(bytes);
    CPRDataManager dm;
    Adopt(dm, bytes);
    EXPECT_TRUE(d.absent(dm));
    Sweep(dm);
  }
}

TEST(HardeningTest, TypeNumberWithoutHeaderPair) {
  Bytes header(88 + 8 * 4, 0);  // pairs for types 0 to 3 only, nothing behind them
  std::memcpy(header.data(), "Tr@NQ-RTData", 12);
  CPRDataManager dm;
  Adopt(dm, header);
  for (uint32_t t : {4u, 100u, 255u}) {
    EXPECT_EQ(dm.GetObjectCount(t), 0u);
    EXPECT_FALSE(dm.GetObjectRecord(Ref(t, 0)));
    EXPECT_FALSE(dm.GetObjectLink(Ref(t, 0), 0));
  }
  Sweep(dm);
}

// Every prefix of a complete image: whatever is cut off, answers stay inside.
TEST(HardeningTest, EveryTruncationOfACompleteImage) {
  const Bytes good = test::ImageFromJson(test::kRich);
  CPRDataManager dm;
  for (size_t cut = 12; cut <= good.size(); ++cut) {
    Adopt(dm, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
    Sweep(dm);
    if (HasFatalFailure()) FAIL() << "cut at " << cut;
  }
  EXPECT_EQ(dm.GetObjectCount(29), 3u);  // the last round is the whole image
}

}  // namespace
}  // namespace prt
