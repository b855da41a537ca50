#include <gtest/gtest.h>

#include "controls/LeafControls.h"
#include "controls/Screens.h"
#include "data/manager/CPRDataManager.h"
#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

constexpr uint32_t kPage0 = Reference(1, 0);
constexpr uint32_t kButton5 = Reference(29, 5);

// The button of button.qml, with extra record fields.
bool LoadButton(std::vector<Field> extra, const std::u16string& text = u"Start \"A\"") {
  Scene scene;
  scene.Add(29, 5, text, {10, 20, 120, 40}, std::move(extra));
  return scene.Load();
}

TEST(ControlBaseTest, ButtonElement) {
  ASSERT_TRUE(LoadButton({}));
  const Written w = GenerateControl(kButton5, kPage0);
  EXPECT_TRUE(w.ok);
  ExpectGolden("button.qml", w.text);
}

TEST(ControlBaseTest, HiddenButtonMovesOutOfItsParent) {
  ASSERT_TRUE(LoadButton({Field::U32(rec::kFlags, 0x10)}));
  ExpectGolden("button-hidden.qml", GenerateControl(kButton5, kPage0).text);
}

TEST(ControlBaseTest, InvisibleButtonGetsVisibleFalse) {
  ASSERT_TRUE(LoadButton({Field::U32(rec::kFlags, 0x8000), Field::U32(rec::kHiddenWord, 1)}));
  ExpectGolden("button-invisible.qml", GenerateControl(kButton5, kPage0).text);
}

// Sub-record words: none = no sub-record at all.
enum class Sub { None, Zero, Set };

TEST(ControlBaseTest, HideRule) {
  struct Case {
    const char* name;
    uint32_t flags;
    Sub sub;
    bool hidden;
  };
  const Case cases[] = {
      {"no flags", 0, Sub::None, false},
      {"bit 4", 0x10, Sub::None, true},
      {"bit 5", 0x20, Sub::None, true},
      {"bits 4 and 5", 0x30, Sub::None, true},
      {"bit 13 without sub-record", 0x2000, Sub::None, false},
      {"bit 13, sub-record word 0", 0x2000, Sub::Zero, false},
      {"bit 13, sub-record word set", 0x2000, Sub::Set, true},
      {"sub-record word set, bit 13 clear", 0, Sub::Set, false},
      {"neighbouring bits", 0x4FC8, Sub::Set, false},
  };
  for (const Case& c : cases) {
    Scene scene;
    std::vector<Field> extra = {Field::U32(rec::kFlags, c.flags)};
    if (c.sub != Sub::None) {
      builder::Block block;
      block.label = "sub";
      block.size = 20;
      block.fields = {Field::U32(rec::kSubRecordWord, c.sub == Sub::Set ? 7 : 0)};
      scene.Project().AddBlock(block);
      extra.push_back(Field::Pointer(rec::kSubRecord, builder::Ref::To("sub")));
    }
    scene.Add(29, 5, u"B", {10, 20, 120, 40}, extra);
    ASSERT_TRUE(scene.Load()) << c.name;
    const std::string text = GenerateControl(kButton5, kPage0).text;
    const char* expected = c.hidden ? "x: -120\ny: -40\nz: 500\nwidth: 120\nheight: 40\n"
                                    : "x: 10\ny: 20\nz: 500\nwidth: 120\nheight: 40\n";
    EXPECT_NE(text.find(expected), std::string::npos) << c.name << "\n" << text;
  }
}

TEST(ControlBaseTest, VisibleLineNeedsFlagAndWord) {
  struct Case {
    uint32_t flags;
    uint32_t word;
    bool line;
  };
  const Case cases[] = {
      {0x8000, 1, true},
      {0x8000, 0xFFFFFFFF, true},
      {0x8000, 0, false},
      {0, 1, false},
      {0x7FFF, 1, false},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(LoadButton({Field::U32(rec::kFlags, c.flags), Field::U32(rec::kHiddenWord, c.word)}));
    const std::string text = GenerateControl(kButton5, kPage0).text;
    EXPECT_EQ(text.find("visible: false\n") != std::string::npos, c.line)
        << std::hex << c.flags << " " << c.word;
  }
}

TEST(ControlBaseTest, PageNeverGetsVisibleLineButTemplateDoes) {
  Scene scene;
  const std::vector<Field> hidden = {Field::U32(rec::kFlags, 0x8000), Field::U32(rec::kHiddenWord, 1)};
  scene.Add(1, 0, u"P", {0, 0, 800, 480}, hidden);
  scene.Add(38, 0, u"T", {0, 0, 800, 480}, hidden);
  ASSERT_TRUE(scene.Load());
  EXPECT_EQ(GenerateScreen(kPage0).text.find("visible:"), std::string::npos);
  EXPECT_NE(GenerateScreen(Reference(38, 0)).text.find("height: 480\nvisible: false\n"),
            std::string::npos);
}

TEST(ControlBaseTest, TemplateHasNoControlName) {
  Scene scene;
  scene.Add(38, 0, u"T", {0, 0, 800, 480});
  ASSERT_TRUE(scene.Load());
  const Written w = GenerateScreen(Reference(38, 0));
  EXPECT_TRUE(w.ok);
  const std::string expected =
      "import QtQuick\nimport QtQuick.Controls\nimport Qt.labs.qmlmodels\nimport VantorelV5\n"
      "import \"qrc:/\"\n\nOrvixTemplate {\nid: tmpl637534208\nobjectName: \"tmpl637534208\"\n"
      "objID: 637534208\nrootObjID: 637534208\nx: 0\ny: 0\nz: 500\nwidth: 800\nheight: 480\n"
      "\n\n}\n\n";
  EXPECT_EQ(w.text, expected);
}

TEST(ControlBaseTest, ControlNameTexts) {
  struct Case {
    const char* name;
    std::u16string text;
    std::u16string line;
  };
  const Case cases[] = {
      {"placeholder without a text", u"", u"controlName: \"29#5\"\n"},
      {"quote and backslash", u"a\"b\\c", u"controlName: \"a\\\"b\\\\c\"\n"},
      {"outside the basic plane kept as a pair", u"Pump \U0001F600",
       u"controlName: \"Pump \U0001F600\"\n"},
      {"non-ASCII", u"K\u00FChler", u"controlName: \"K\u00FChler\"\n"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(LoadButton({}, c.text)) << c.name;
    const Written w = GenerateControl(kButton5, kPage0);
    EXPECT_NE(w.wide.find(c.line), std::u16string::npos) << c.name << "\n" << w.text;
  }
}

TEST(ControlBaseTest, EscapeText) {
  struct Case {
    std::u16string text;
    std::u16string characters;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"a\"b\\c", u"\\\"", u"a\\\"b\\\\c"},
      {u"plain", u"\\\"", u"plain"},
      {u"", u"\\\"", u""},
      {u"\\\\", u"\\\"", u"\\\\\\\\"},
      {u"abc", u"ab", u"\\a\\bc"},
      {u"a\"b", u"", u"a\"b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IControl::EscapeText(c.text, c.characters), c.expected);
  }
}

TEST(ControlBaseTest, GenerateNeedsOutputRecordAndGoodStream) {
  ASSERT_TRUE(LoadButton({}));
  const ImageRef record = RecordOf(kButton5);
  ASSERT_TRUE(record);

  Button noOutput(record);
  EXPECT_FALSE(noOutput.Generate());
  EXPECT_FALSE(noOutput.WriteBegin());
  EXPECT_FALSE(noOutput.WriteEnd());

  QmlGenerator generator;
  generator.rootObjId = kPage0;
  Button noRecord{ImageRef()};
  noRecord.SetStream(&generator);
  EXPECT_FALSE(noRecord.Generate());
  EXPECT_EQ(generator.stream.Text(), u"");
  EXPECT_EQ(noRecord.GetObjID(), 0u);
  EXPECT_EQ(noRecord.GetSize(), std::make_pair(0, 0));
  EXPECT_EQ(noRecord.GetPosition(), std::make_pair(0, 0));

  Button button(record);
  button.SetStream(&generator);
  generator.WriteText("before");
  generator.stream.SetFailed();
  EXPECT_FALSE(button.Generate());
  EXPECT_EQ(generator.stream.Text(), u"before");

  generator.ResetStream();
  EXPECT_TRUE(button.Generate());
  EXPECT_EQ(StreamText(generator), Golden("button.qml"));
}

}  // namespace
}  // namespace prt::test
