// The tagged value: borrowed and copied texts, integer conversion, and
// ownership (the sanitizer build reports a payload that is not released).
#include "data/manager/DataValue.h"

#include <gtest/gtest.h>

namespace prt {
namespace {

// A CountedString laid out as in the image.
std::u16string Counted(std::u16string_view text) { return char16_t(text.size()) + std::u16string(text); }
const uint8_t* UnitBytes(const std::u16string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

struct Tracked final : ReleasableValue {
  explicit Tracked(int* releases) : releases(releases) {}
  void Release() override {
    ++*releases;
    delete this;
  }
  int* releases;
};

TEST(DataValueTest, EveryOwnedPayloadIsReleasedOnce) {
  for (uint8_t type : {DataValue::kBlock12, DataValue::kOptionalBlock, DataValue::kBlock16, DataValue::kDouble}) {
    DataValue v;
    v.AdoptOwned(type, std::malloc(16));
    EXPECT_TRUE(v.Owned());
    v.Clear(3, DataValue::kUInt16 | DataValue::kOwnedFlag);
    EXPECT_EQ(v.payload, 0u);
    EXPECT_EQ(v.type, DataValue::kUInt16);  // the owned flag never survives a reset
  }
  int releases = 0;
  {
    DataValue v;
    v.AdoptOwned(DataValue::kReleasable, new Tracked(&releases));
    v.SetValue(DataValue::kInt32, 1);  // replacing the value releases the old one
    EXPECT_EQ(releases, 1);
    v.AdoptOwned(DataValue::kReleasable, new Tracked(&releases));
  }
  EXPECT_EQ(releases, 2);  // the destructor releases too
  DataValue text;
  text.SetText(UnitBytes(Counted(u"abc")), true, 0);
  text.SetText(UnitBytes(Counted(u"def")), true, 0);
  EXPECT_EQ(text.TextCopy(), u"def");
  text.SetOwnedText(OwnedString::Create(u"AB"), 0);
  EXPECT_EQ(text.TextCopy(), u"AB");
  EXPECT_EQ(OwnedString::Create(std::u16string(70000, u'x')), nullptr);
}

}  // namespace
}  // namespace prt
