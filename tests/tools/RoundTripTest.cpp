// Containers written by the builder, read back through the tool's own
// container reader.
#include <gtest/gtest.h>

#include "data/image/TransferFileReader.h"
#include "tests/support/Dataset.h"

namespace prt {
namespace {

// A page with a button, texts, a font and a double: every layout kind and
// plenty of pointer fields.
constexpr const char* kProject = R"({
  "languages": [{"id": 1033, "fonts": [0]}, {"id": 1031, "fonts": [[0, 0, 1, 1]]}],
  "fonts": [{"face": "Sans", "size": 12}, {"face": "Sans", "size": 14, "bold": true}],
  "texts": ["zero", ["one", "eins"]],
  "screens": [{"type": "page", "text": "Start", "w": 800, "h": 480,
               "background": {"orientation": 2, "stops": [[0, "#ffffffff"], [1, "#ff000000"]]},
               "children": [{"type": "button", "text": "OK", "x": 10, "y": 20, "w": 120, "h": 40}]}],
  "blocks": [{"label": "numbers", "fields": [{"at": 0, "f64": 3.25}, {"at": 8, "u64": 81985529216486895},
                                             {"at": 16, "u16": 513}, {"at": 20, "f32": -1.5}]}],
  "header": {"13": "numbers"}
})";

std::string WithContainer(const std::string& container) {
  std::string j = kProject;
  j.insert(j.rfind('}'), ", \"container\": " + container);
  return j;
}

std::vector<uint8_t> LoadImage(const std::vector<uint8_t>& file) {
  auto reader = TransferFileReader::LoadBytes(file);
  if (!reader) return {};
  reader->AdjustByteOrder(ByteOrder::Little, 0);
  reader->Relocate(0, 0);
  std::vector<uint8_t> out = reader->Payload();
  out.resize(reader->PayloadSize());
  return out;
}

TEST(RoundTripTest, EveryContainerFormLoadsToTheImage) {
  const char* forms[] = {
      R"({})",
      R"({"byteOrder": "big"})",
      R"({"mode": 1})",
      R"({"mode": 2})",
      R"({"byteOrder": "big", "mode": 1})",
      R"({"pointerBase": 0, "nullValue": 4294967295})",
      R"({"pointerBase": 2147483648, "nullValue": 12345})",
      R"({"name": "plant", "headerBytes": [1, 2, 3, 4], "reserved": [9, 9, 9]})",
      R"({"sections": [{"type": 9999, "bytes": [1, 2, 3, 4, 5], "at": 0}]})",
      R"({"sections": [{"type": 8000, "bytes": [0, 0, 0, 0], "at": 1}], "name": "x"})",
      R"({"listA": {"word": 7, "positions": [0, 4]}, "listB": {"positions": [8]},
          "listC": ["numbers"], "listD": [12]})",
      R"({"layoutInserts": [{"at": 0, "kind": 7, "count": 9}, {"at": 2, "kind": 2, "count": 0}]})",
      R"({"trailing": [1, 2, 3]})",
  };
  const auto expect = test::BuildDataset(kProject).image;
  ASSERT_GT(expect.size(), 0u);
  for (const char* form : forms) {
    const auto built = test::BuildDataset(WithContainer(form));
    EXPECT_EQ(built.image, expect) << form;
    EXPECT_EQ(LoadImage(built.container), expect) << form;
  }
}

TEST(RoundTripTest, NameComesBack) {
  const auto file = test::ContainerFromJson(WithContainer(R"({"name": "plant"})"));
  auto reader = TransferFileReader::LoadBytes(file);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Name(), "plant");
}

TEST(RoundTripTest, CorruptionsAreRefused) {
  const char* refused[] = {"badMagic", "badByteOrderMark", "truncatedPayload",
                           "pointerPositionOutOfRange", "pointerValueOutOfRange",
                           "positionListOutOfRange", "truncatedHeader", "truncatedSection"};
  for (const char* name : refused) {
    const auto file = test::ContainerFromJson(WithContainer(std::string(R"({"corrupt": ")") + name + "\"}"));
    EXPECT_FALSE(TransferFileReader::LoadBytes(file)) << name;
  }
  // The image magic is not the container's business: it loads, with byte 11 changed.
  const auto good = test::BuildDataset(kProject).image;
  const auto bad = LoadImage(test::ContainerFromJson(WithContainer(R"({"corrupt": "wrongImageMagic"})")));
  ASSERT_EQ(bad.size(), good.size());
  EXPECT_NE(bad[11], good[11]);
  EXPECT_TRUE(std::equal(bad.begin() + 12, bad.end(), good.begin() + 12));
}

}  // namespace
}  // namespace prt
