// Images whose counts, lengths and references leave the image: every call
// the converter makes must answer "not found" and never read outside (this
// program also runs in the AddressSanitizer build, where such a read aborts).
#include <gtest/gtest.h>

#include "tests/data/manager/RichDataset.h"
#include "platform/Endian.h"
#include "tests/support/Dataset.h"
#include "tests/support/ManagerSweep.h"

namespace prt {
namespace {

using test::Ref;
using Bytes = std::vector<uint8_t>;

// Little-endian words, bounds-checked by at().
uint32_t Get32(const Bytes& b, uint32_t at) { return platform::LoadLE32(&b.at(at + 3) - 3); }
void Put32(Bytes& b, uint32_t at, uint32_t v) { platform::StoreLE32(&b.at(at + 3) - 3, v); }
uint32_t Header(const Bytes& b, uint32_t word) { return Get32(b, 4 * word); }
uint32_t Table(const Bytes& b, uint32_t type) { return Header(b, 22 + 2 * type); }
uint32_t Size(const Bytes& b) { return static_cast<uint32_t>(b.size()); }

// Loads exactly these bytes, with no spare capacity behind them, so that a
// read past the end lands in the sanitizer's red zone.
void Adopt(CPRDataManager& dm, const Bytes& bytes) {
  Bytes exact(bytes.begin(), bytes.end());
  exact.shrink_to_fit();
  ASSERT_TRUE(dm.AdoptImage(std::move(exact)));
}

// One structure made to leave the image, and what must then be absent.
using Manager = CPRDataManager;
const struct Damage { const char* name; void (*damage)(Bytes&); bool (*absent)(Manager&); } kDamages[] = {
    {"record count", [](Bytes& b) { Put32(b, Table(b, 29), 0x7FFFFFFF); },
     [](Manager& dm) { return !dm.GetObjectRecord(Ref(29, 0)); }},
    {"record count one past",
     [](Bytes& b) { Put32(b, Table(b, 15), (Size(b) - Table(b, 15) - 4) / Header(b, 21 + 2 * 15) + 1); },
     [](Manager& dm) { return !dm.GetObjectCount(15); }},
    {"record size huge", [](Bytes& b) { Put32(b, 4 * (21 + 2 * 1), 0x80000000); },
     [](Manager& dm) { return !dm.GetObjectCount(1) && !dm.GetObjectLink(Ref(1, 0), 0); }},
    {"link count", [](Bytes& b) { Put32(b, Get32(b, Table(b, 1) + 4), 0x10000000); },
     [](Manager& dm) { return !dm.GetObjectLink(Ref(1, 0), 0); }},
    {"link list reference", [](Bytes& b) { Put32(b, Table(b, 49) + 4, Size(b) - 2); },
     [](Manager& dm) { return !dm.GetObjectLink(Ref(49, 0), 0); }},
    {"string length",  // language 0, text 0
     [](Bytes& b) { Put32(b, Get32(b, Get32(b, Header(b, 6) + 24)), 0xFFFF); },
     [](Manager& dm) {
       DataValue v;
       return dm.GetObjectText(Ref(29, 0), &v) && v.TextCopy() == u"29#0";
     }},
    {"language count", [](Bytes& b) { Put32(b, Header(b, 6) + 16, 0xFFFFFFFF); },
     [](Manager& dm) { return !dm.SetLanguage(0, false) && !dm.GetLanguageCount(); }},
    {"font count", [](Bytes& b) { Put32(b, Header(b, 10), 0x0FFFFFFF); },
     [](Manager& dm) {
       FontInfo info;
       return !dm.GetCurrentLanguageFontInfo(0, 0, &info);
     }},
    {"object text map entry count", [](Bytes& b) { Put32(b, Get32(b, Header(b, 14) + 8), 0x10000000); },
     [](Manager& dm) {
       DataValue v;
       return dm.GetObjectText(Ref(1, 0), &v);  // the first group, pages: placeholder
     }},
    {"every header reference past the end",
     [](Bytes& b) { for (uint32_t w = 6; w < 20; ++w) Put32(b, 4 * w, Size(b) + 4 * w); },
     [](Manager& dm) { return !dm.GetLanguageCount(); }},
    {"header references at the last byte",
     [](Bytes& b) { for (uint32_t w = 6; w < 20; ++w) Put32(b, 4 * w, Size(b) - 1); },
     [](Manager& dm) { return !dm.GetLanguageCount(); }},
};

// Each damage, then every prefix of the complete image: whatever is cut
// off, answers stay inside.
TEST(HardeningTest, DamagedAndTruncatedImagesAnswerNotFound) {
  const Bytes good = test::ImageFromJson(test::kRich);
  for (const Damage& d : kDamages) {
    SCOPED_TRACE(d.name);
    Bytes bytes = good;
    d.damage(bytes);
    CPRDataManager dm;
    Adopt(dm, bytes);
    EXPECT_TRUE(d.absent(dm));
    EXPECT_TRUE(test::SweepManager(dm));
  }
  CPRDataManager dm;
  for (size_t cut = 12; cut <= good.size(); ++cut) {
    Adopt(dm, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
    ASSERT_TRUE(test::SweepManager(dm)) << "cut at " << cut;
  }
  EXPECT_EQ(dm.GetObjectCount(29), 3u);  // the last round is the whole image
}

}  // namespace
}  // namespace prt
