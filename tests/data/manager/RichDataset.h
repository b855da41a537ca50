#pragma once
// One data set holding the structures the manager tests read, with known
// contents: languages, texts, fonts, settings, pages, named and type-15
// objects and the link lists between them.
#include <gtest/gtest.h>

#include <string>

#include "data/manager/CPRDataManager.h"
#include "tests/support/Dataset.h"

namespace prt::test {

constexpr uint32_t Ref(uint32_t type, uint32_t index) { return (type << 24) | index; }

// Texts (1031 / 1033): 0 Motor/Moteur 1 Pump/Pompe 2 "" 3 none 4 Valve/Vanne 5 Motor/Moteur.
// Fonts: Arial 12 bold, Serif 14 italic, Mono 9 bold italic, no face 20.
// Object texts: 29#0->0 29#1->1 29#2->5 4#0->0 4#1->1 4#3->4 1#0->4; second map 29#0->4 29#1->2.
// Page 1#0 (number 100) links {kind 2, slot 0, 29#0} {11, 1, 29#1} {0, 2, absent}; 1#1 (200) kinds 6, 5.
// Name owners: 49#0 links 4#0 48#0 4#1 48#1 4#3 7#0 4#2 48#2; 49#1 links 48#3 4#2 48#2.
inline constexpr const char* kRich = R"({
  "languages": [{"id": 1031, "fonts": [[0, 1, 2, 3], 3], "selectors": [0, 6, 3]},
                {"id": 1033, "fonts": [2, 9], "selectors": [1, 4, 0]}],
  "fonts": [{"face": "Arial", "size": 12, "bold": true, "faceData": [1, 2, 3, 4]},
            {"face": "Serif", "size": 14, "italic": true, "faceData": [1, 2, 3, 4]},
            {"face": "Mono", "size": 9, "bold": true, "italic": true, "faceData": [1, 2, 3, 4]},
            {"face": null, "size": 20, "bold": true, "italic": true}],
  "texts": [["Motor", "Moteur"], ["Pump", "Pompe"], "", null, ["Valve", "Vanne"], ["Motor", "Moteur"]],
  "keyTexts": [[3, 0], [5, 1], [9, 4]],
  "runtimeSettings": {"flags": 1041, "word1": 111, "word2": 222, "byte": 90, "table16": [[7, "ab"], [8, "abcd"]],
                      "table20": {"first": 2, "values": [70, 71], "trailer": [99]}},
  "projectSettings": {"word15": "0x01020304", "word19": "0x0A0B0C0D", "flag": true},
  "records": [
    {"type": 29, "label": "b0", "textId": 0, "textEx": 4},
    {"type": 29, "label": "b1", "textId": 1, "textEx": 2}, {"type": 29, "textId": 5},
    {"type": 1, "textId": 4, "pageNumber": 100, "links": [{"kind": 2, "target": "b0"},
      {"kind": 11, "slot": 1, "target": "b1"}, {"present": 0, "slot": 2, "target": 0}]},
    {"type": 1, "pageNumber": 200, "links": [{"kind": 6, "target": 1}, {"kind": 5, "target": 2}]},
    {"type": 4, "label": "n0", "textId": 0}, {"type": 4, "label": "n1", "textId": 1}, {"type": 4, "label": "n2"},
    {"type": 4, "label": "n3", "textId": 4}, {"type": 48, "label": "m0"}, {"type": 48, "label": "m1"},
    {"type": 48, "label": "m2"}, {"type": 48, "label": "m3"}, {"type": 7, "label": "stop"},
    {"type": 49, "links": [{"target": "n0"}, {"target": "m0"}, {"target": "n1"}, {"target": "m1"},
      {"target": "n3"}, {"target": "stop"}, {"target": "n2"}, {"target": "m2"}]},
    {"type": 49, "links": [{"target": "m3"}, {"target": "n2"}, {"target": "m2"}]},
    {"type": 15, "recordWords": {"5": 100, "6": 1}, "recordBytes": {"11": 12}},
    {"type": 15, "recordWords": {"5": 100, "6": 0}, "recordBytes": {"11": 3}},
    {"type": 15, "recordWords": {"5": 200, "6": 3}, "recordBytes": {"11": 12}}]
})";

// A data manager holding kRich.
class RichTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dm.AdoptImage(ImageFromJson(kRich))); }
  CPRDataManager dm;
};

// The text, or "<none>" when there is none.
inline std::u16string TextOf(const ImageRef& text) {
  std::u16string s;
  return text.ReadCountedString(s) ? s : u"<none>";
}

}  // namespace prt::test
