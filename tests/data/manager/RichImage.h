#pragma once
// One image that holds every structure the data manager reads, with known
// contents; the tests of lists, settings, maps and hardening share it.
#include <cstdint>
#include <vector>

#include "tests/data/manager/ImageBytes.h"

namespace prt::test {

// Type numbers used.
inline constexpr uint32_t kPage = 1, kTextObject = 4, kType15 = 15, kButton = 29, kNameTarget = 48,
                          kNameOwner = 49, kStop = 7;

inline constexpr uint32_t Ref(uint32_t type, uint32_t index) { return (type << 24) | index; }

struct RichImage {
  std::vector<uint8_t> bytes;
  uint32_t resourceA = 0;  // language 0, resource 0 (first word 1, then 0xA0)
  uint32_t block13 = 0;
  uint32_t block11Entry1 = 0;
  uint32_t block11Item2[2] = {};
  uint32_t block11Item3 = 0;
  uint32_t namedAlpha = 0, namedBeta = 0;  // 24-byte entries of button 0
  uint32_t pageLinks = 0;
};

// Texts of language 0 (id 1031) and 1 (id 1033); text 3 has reference 0.
//   0 Motor/Moteur 1 Pump/Pompe 2 "" 3 none 4 Valve/Vanne 5 Motor/Moteur
// Fonts: table of 4 (Arial 12 bold, Serif 14 italic, Mono 9, no face).
// Text lists: 0 value {5->1, 3->4}; 1 bit {0->0, 1->1}; 2 range {[0,10]->4}.
// Resource lists: 0 value {5->0, 6->1}; 1 range {[0,9]->0}; 2 kind 7.
// List defaults: text list 0 -> 4; resource list 0 -> 0, 1 -> 2.
// Object texts: 29#0->0, 29#1->1, 29#2->5, 4#0->0, 4#1->1, 4#3->4, 1#0->4.
// Second object texts: 29#0->4, 29#1->2 (empty).
// Key table: 3->0, 5->1, 9->4.
// Runtime settings: flags bits 0, 4, 10; words 111, 222; byte 0x5A;
//   table 16 {7 "ab", 8 "abcd"}; table 20 {first 2, count 2: 70, 71; trailer 99}.
// Project settings: u32 at 15 = 0x01020304, at 19 = 0x0A0B0C0D, byte 23 = 1.
// Block 11: last entry 3; entry 4 stored but beyond it.
// Pages: 1#0 number 100 (links to the buttons), 1#1 number 200.
// Type 15: #0 {100, 12, text 1}, #1 {100, 3, text 0}, #2 {200, 12, text 3}.
// Name owners: 49#0 links 4#0 48#0 4#1 48#1 4#3 7#0 4#2 48#2;
//              49#1 links 48#3 4#2 48#2.
inline RichImage BuildRichImage() {
  RichImage r;
  ImageBytes img;

  // Resources.
  const uint32_t resA = img.Words({1, 0xA0});
  const uint32_t resZero = img.Words({0, 0xA1});
  const uint32_t resB = img.Words({1, 0xB0});
  r.resourceA = resA;

  const std::vector<std::u16string> texts0 = {u"Motor", u"Pump", u"", kNoText, u"Valve", u"Motor"};
  const std::vector<std::u16string> texts1 = {u"Moteur", u"Pompe", u"", kNoText, u"Vanne", u"Moteur"};
  WriteLanguages(img, 6, 3, 2, 2,
                 {{.id = 1031, .texts = texts0, .resources = {resA, resZero, 0}, .fonts = {{0, 1, 2, 3}, {1, 1, 1, 1}},
                   .selectors = {0, 6}},
                  {.id = 1033, .texts = texts1, .resources = {resB, 0, 0}, .fonts = {{1, 1, 1, 1}, {0, 0, 0, 0}},
                   .selectors = {4, 0}}});

  const uint32_t arial = WriteFont(img, 0x1, 12, "Arial");
  const uint32_t serif = WriteFont(img, 0x2, 14, "Serif");
  const uint32_t mono = WriteFont(img, 0x0, 9, "Mono");
  const uint32_t faceless = WriteFont(img, 0x3, 20, "");
  WriteFontTable(img, {arial, serif, mono, faceless});

  const uint32_t textList0 = img.List(2, 2, {5, 1, 3, 4});
  const uint32_t textList1 = img.List(1, 2, {0, 0, 1, 1});
  const uint32_t textList2 = img.List(3, 1, {10, 0, 4});
  img.SetHeader(7, img.RefTable({textList0, textList1, textList2}));
  const uint32_t resList0 = img.List(2, 2, {5, 0, 6, 1});
  const uint32_t resList1 = img.List(3, 1, {9, 0, 0});
  const uint32_t resList2 = img.List(7, 1, {1, 1});
  img.SetHeader(8, img.RefTable({resList0, resList1, resList2}));
  img.SetHeader(17, img.DefaultMap({{0, {{0, 4}}}, {1, {{0, 0}, {1, 2}}}}));

  img.SetHeader(14, img.DefaultMap({{kButton, {{Ref(kButton, 0), 0}, {Ref(kButton, 1), 1}, {Ref(kButton, 2), 5}}},
                                    {kTextObject, {{Ref(4, 0), 0}, {Ref(4, 1), 1}, {Ref(4, 3), 4}}},
                                    {kPage, {{Ref(kPage, 0), 4}}}}));
  img.SetHeader(16, img.DefaultMap({{kButton, {{0, 4}, {1, 2}}}}));
  img.Align4();
  img.SetHeader(15, img.Words({3, 3, 0, 5, 1, 9, 4}));

  // Runtime settings.
  const uint32_t settingByte = img.U8(0x5A);
  img.Align4();
  const uint32_t table16 = img.Words({2, 7, 0});
  img.Patch32(table16 + 8, 'a' | ('b' << 8));
  img.Words({8, 'a' | ('b' << 8) | ('c' << 16) | (static_cast<uint32_t>('d') << 24)});
  const uint32_t table20 = img.Words({2, 2, 70, 71, 99});
  img.SetHeader(19, img.Words({(1u << 0) | (1u << 4) | (1u << 10), 111, 222, settingByte, table16, table20}));

  // Project settings, packed.
  img.Align4();
  const uint32_t project = img.Size();
  img.Raw().resize(project + 24, 0);
  img.Patch32(project + 15, 0x01020304);
  img.Patch32(project + 19, 0x0A0B0C0D);
  img.Raw()[project + 23] = 0x81;
  img.SetHeader(18, project);

  // Block 11 and block 13.
  r.block13 = img.Words({13, 13});
  img.SetHeader(13, r.block13);
  r.block11Entry1 = img.Words({0x11});
  r.block11Item2[0] = img.Words({0x21});
  r.block11Item2[1] = img.Words({0x22});
  r.block11Item3 = img.Words({0x31});
  const uint32_t list2 = img.RefTable({r.block11Item2[0], r.block11Item2[1]});
  const uint32_t list3 = img.RefTable({r.block11Item3});
  const uint32_t block11 = img.Size();
  img.Raw().resize(block11 + 68, 0);
  img.Patch32(block11 + 16, 3);
  img.Patch32(block11 + 64, r.block11Entry1);
  img.Patch32(block11 + 60, list2);
  img.Patch32(block11 + 56, list3);
  img.Patch32(block11 + 52, r.block11Entry1);  // entry 4, beyond the last
  img.SetHeader(11, block11);

  // Objects.
  r.pageLinks = img.Links({{2, 1, 0, Ref(kButton, 0)}, {11, 1, 1, Ref(kButton, 1)}, {0, 0, 2, 0}});
  std::vector<uint32_t> page0(14, 0), page1(14, 0);
  page0[13] = 100;
  page1[13] = 200;
  img.Records(kPage, 64, {{r.pageLinks, page0}, {0, page1}});

  const uint32_t alpha = img.Counted(u"alpha");
  const uint32_t beta = img.Counted(u"beta");
  img.Align4();
  const uint32_t named = img.U32(2);
  r.namedAlpha = img.Words({alpha, 1, 2, 3, 4, 5});
  r.namedBeta = img.Words({beta, 6, 7, 8, 9, 10});
  img.Records(kButton, 20, {{0, {0, 0, named}}, {0, {}}, {0, {}}});
  img.Records(kTextObject, 8, {{}, {}, {}, {}});
  img.Records(kNameTarget, 8, {{}, {}, {}, {}});
  img.Records(kStop, 8, {{}});
  const uint32_t owner0 = img.Links({{0, 1, 0, Ref(4, 0)},
                                     {0, 1, 0, Ref(48, 0)},
                                     {0, 1, 0, Ref(4, 1)},
                                     {0, 1, 0, Ref(48, 1)},
                                     {0, 1, 0, Ref(4, 3)},
                                     {0, 1, 0, Ref(kStop, 0)},
                                     {0, 1, 0, Ref(4, 2)},
                                     {0, 1, 0, Ref(48, 2)}});
  const uint32_t owner1 = img.Links({{0, 1, 0, Ref(48, 3)}, {0, 1, 0, Ref(4, 2)}, {0, 1, 0, Ref(48, 2)}});
  img.Records(kNameOwner, 8, {{owner0, {}}, {owner1, {}}});
  img.Records(kType15, 28,
              {{0, {12u << 24, 0, 0, 100, 1}}, {0, {3u << 24, 0, 0, 100, 0}}, {0, {12u << 24, 0, 0, 200, 3}}});

  r.bytes = img.Take();
  return r;
}

}  // namespace prt::test
