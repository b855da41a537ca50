#include "tools/inspect/Inspect.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "controls/PopupScreen.h"
#include "controls/VectorGraphics.h"
#include "data/set/ImageLayout.h"
#include "platform/Endian.h"
#include "platform/Text.h"
#include "tools/builder/JsonBuilder.h"

namespace prt::inspect {
namespace {

using json = nlohmann::ordered_json;
using platform::GroupedDigits;
using platform::Narrow;

// Record offsets the converter reads beside the base's (rec::); the fill of
// pages and popups and a popup's frame and title as PopupScreen reads them.
constexpr uint32_t kTypeByte = 3;
constexpr uint32_t kFlagOutside = 0x10;
using P = PopupScreen;
// Link entry.
constexpr uint32_t kLinkKind = 0, kLinkPresent = 1, kLinkSlot = 2, kLinkSpare = 3, kLinkTarget = 4;
constexpr uint32_t kFaceName = 4, kFaceNameBytes = 32;
constexpr uint8_t kTemplateType = 38, kPopupType = 71, kPageType = 1;
// Each level takes two levels of JSON, of which prt-build reads 256; deeper
// objects stay raw links.
constexpr size_t kMaxDescribedNesting = 120;
// Shared arrays let a small image name many (row, language) pairs; reading
// stops after as many as it could hold without sharing, plus some room.
uint64_t PairLimit(uint32_t imageBytes) { return imageBytes / 4 + 65536; }
// What prt-build gives a record table without a size of its own, and what
// its forms need of a record of the type.
constexpr uint32_t kDefaultRecordSize = 72;

uint32_t RecordBytesNeeded(uint8_t type) {
  return type == kPopupType ? 68 : type == kVectorType ? 60 : type == kPageType ? 52 : 40;
}

// The builder's name of a type (with the vector shape); empty when it has none.
std::string TypeName(uint8_t type, std::optional<uint8_t> shape) {
  const TypeRow* row = FindType(type, shape ? int{*shape} : -1);
  return row ? row->name : "";
}

std::string ColourText(ImageRef colour) { return Narrow(IControl::ColorToText(colour)); }

// The text at `text`; nullopt when there is none (for an object's text, the
// converter writes a placeholder then).
std::optional<std::u16string> TextAt(ImageRef text) {
  std::u16string out;
  if (!text || !text.ReadCountedString(out)) return std::nullopt;
  return out;
}

// A u32 count, then `count` items of `width` bytes: as many as the image holds.
uint32_t FittingCount(ImageRef array, uint32_t width) {
  if (!array.Has(0, 4)) return 0;
  const uint32_t stored = array.U32(0);
  const uint32_t room = (array.Image()->Size() - array.Offset() - 4) / width;
  return std::min(stored, room);
}

struct LanguageView {
  uint32_t id = 0;
  std::vector<std::optional<std::array<uint16_t, 4>>> fonts;
  std::vector<uint16_t> selectors;
};

std::vector<LanguageView> ReadLanguages(ImageRef root) {
  const ImageRef header = root.Ref(4 * layout::kLanguageHeader);
  std::vector<LanguageView> out;
  if (!header.Has(0, layout::kLanguagesByte)) return out;
  const uint32_t count = header.U32(layout::kLanguageCountByte);
  if (!layout::FitsArray(header, layout::kLanguagesByte, count, layout::kLanguageEntrySize)) return out;
  const uint32_t fontNumbers = header.U32(layout::kFontNumberCountByte);
  const uint32_t styles = header.U32(layout::kStyleCountByte);
  const uint64_t perLanguage = uint64_t{fontNumbers} + styles + 1;
  for (uint32_t i = 0; i < count && (i + 1) * perLanguage <= PairLimit(root.Image()->Size()); ++i) {
    const ImageRef entry = header.At(layout::kLanguagesByte + i * layout::kLanguageEntrySize);
    LanguageView language;
    language.id = entry.U32(0);
    const ImageRef fonts = entry.Ref(layout::kFontArrayByte);
    const uint32_t fontCount = layout::FitsArray(fonts, 0, fontNumbers, 4) ? fontNumbers : 0;
    for (uint32_t f = 0; f < fontCount; ++f) {
      const ImageRef v = fonts.Ref(4 * f);
      language.fonts.push_back(v.Has(0, 8) ? std::optional(std::array{v.U16(0), v.U16(2), v.U16(4), v.U16(6)})
                                           : std::nullopt);
    }
    const ImageRef selectors = entry.Ref(layout::kStyleArrayByte);
    if (layout::FitsArray(selectors, 0, styles, 2))
      for (uint32_t s = 0; s < styles; ++s) language.selectors.push_back(selectors.U16(2 * s));
    out.push_back(std::move(language));
  }
  return out;
}

struct FontView {
  std::optional<std::string> face;
  uint16_t size = 0;
  uint8_t byte0 = 0, byte1 = 0;
};

std::vector<FontView> ReadFonts(ImageRef root) {
  const ImageRef table = root.Ref(4 * layout::kFontTable);
  std::vector<FontView> out;
  const uint32_t count = FittingCount(table, 4);
  for (uint32_t i = 0; i < count; ++i) {
    const ImageRef font = table.Ref(4 + 4 * i);
    FontView view{.size = font.U16(2), .byte0 = font.U8(0), .byte1 = font.U8(1)};
    if (const ImageRef face = font.Ref(4)) {
      std::string name = face.ReadCString(kFaceName);
      if (name.size() > kFaceNameBytes) name.resize(kFaceNameBytes);
      view.face = std::move(name);
    }
    out.push_back(std::move(view));
  }
  return out;
}

// ---- The builder description ------------------------------------------------

// One value for every language, a value per language (null: none), or
// nothing when no language has one.
json PerLanguage(const std::vector<std::optional<std::u16string>>& texts) {
  if (std::none_of(texts.begin(), texts.end(), [](const auto& t) { return t.has_value(); })) return nullptr;
  if (std::all_of(texts.begin(), texts.end(), [&](const auto& t) { return t == texts.front(); }))
    return Narrow(*texts.front());
  json array = json::array();
  for (const auto& t : texts) array.push_back(t ? json(Narrow(*t)) : json(nullptr));
  return array;
}

json FillJson(ImageRef info) {
  const uint8_t count = info.U8(0);
  const uint8_t orientation = info.U8(1);
  json positions = nullptr, colors = nullptr;
  if (const ImageRef p = info.Ref(4)) {
    positions = json::array();
    for (uint32_t i = 0, n = FittingCount(p, 4); i < n; ++i) positions.push_back(static_cast<double>(p.F32(4 + 4 * i)));
  }
  if (const ImageRef c = info.Ref(8)) {
    colors = json::array();
    for (uint32_t i = 0, n = FittingCount(c, 4); i < n; ++i) colors.push_back(ColourText(c.At(4 + 4 * i)));
  }
  // One colour at 0 is what a colour string gives.
  if (count == 1 && orientation == 0 && positions.size() == 1 && positions[0] == 0.0 &&
      !std::signbit(positions[0].get<double>()) && colors.size() == 1)
    return colors[0];
  json fill = {{"orientation", orientation}, {"positions", positions}, {"colors", colors}};
  if (count != colors.size()) fill["count"] = count;
  return fill;
}

json TitleJson(ImageRef title) {
  json t = json::object();
  t["icon"] = title.I32(P::kTitleIconId);
  t["textId"] = title.U32(P::kTitleTextId);
  t["textColor"] = ColourText(title.At(P::kTitleTextColor));
  t["background"] = FillJson(title.At(P::kTitleBackground));
  t["font"] = {{"number", title.U16(P::kTitleFont)}, {"style", title.U16(P::kTitleFont + 2)}};
  t["height"] = title.U16(P::kTitleHeight);
  const uint8_t flags = title.U8(P::kTitleFlags);
  if (flags & 1u) t["closeButton"] = true;
  if (flags & ~1u) t["flags"] = flags;
  return t;
}

class Describer {
 public:
  explicit Describer(const DataSet& data) : data_(data) {}

  json Run() {
    const ImageRef root = data_.Image().Root();
    json out = json::object();
    if (!data_.Name().empty()) out["name"] = data_.Name();

    languages_ = data_.LanguageCount();
    out["languages"] = json::array();
    for (const LanguageView& l : ReadLanguages(root)) {
      json language = {{"id", l.id}};
      json fonts = json::array();
      for (const auto& f : l.fonts) fonts.push_back(f ? json(*f) : json(nullptr));
      if (!fonts.empty()) language["fonts"] = fonts;
      if (!l.selectors.empty()) language["selectors"] = l.selectors;
      out["languages"].push_back(language);
    }
    json fonts = json::array();
    for (const FontView& f : ReadFonts(root)) {
      json font = {{"face", f.face ? json(*f.face) : json(nullptr)}, {"size", f.size}};
      if (f.byte1 & 1u) font["bold"] = true;
      if (f.byte1 & 2u) font["italic"] = true;
      if (f.byte1 & ~3u) font["flags"] = f.byte1 & ~3u;
      if (f.byte0) font["byte0"] = f.byte0;
      fonts.push_back(font);
    }
    if (!fonts.empty()) out["fonts"] = fonts;
    json screens = json::array();
    for (uint8_t t : ScreenTypes) {
      for (uint32_t i = 0, n = data_.ObjectCount(t); i < n; ++i) {
        const uint32_t reference = (uint32_t{t} << 24) | (i & 0xFFFFFFu);
        const ImageRef record = data_.ObjectRecord(reference);
        if (!CreateScreen(record)) continue;
        json screen = Control(reference, record);
        Children(record.U32(0), screen, 1);
        screens.push_back(std::move(screen));
      }
    }
    // The rows no described object shows; those objects carry their own.
    if (json texts = Texts(); !texts.empty()) out["texts"] = texts;
    out["screens"] = screens;

    json sizes = json::object();
    for (uint8_t t : types_) {
      const uint32_t size = root.U32(layout::RecordSizeByte(t));
      if (size != kDefaultRecordSize && size >= RecordBytesNeeded(t)) sizes[std::to_string(t)] = size;
    }
    if (!sizes.empty()) out["recordSizes"] = sizes;
    if (const uint32_t current = data_.StoredLanguage()) out["languageFile"] = current;
    return out;
  }

 private:
  // The text rows in every language but those of described objects, which
  // carry them inline. Rows change their numbers, which no document shows.
  json Texts() {
    json rows = json::array();
    const uint32_t count = data_.TextCount();
    for (uint32_t n = 0; n < count && Take(); ++n) {
      if (objectTexts_.count(n)) continue;
      std::vector<std::optional<std::u16string>> perLanguage;
      for (uint32_t l = 0; l < languages_; ++l) perLanguage.push_back(TextAt(data_.Text(n, l)));
      rows.push_back(PerLanguage(perLanguage));
    }
    return rows;
  }

  // Counts a text row or object's look-ups in every language; false once
  // the pairs pass the limit.
  bool Take() { return (pairs_ += std::max<uint32_t>(languages_, 1)) <= PairLimit(data_.ImageSize()); }

  json ObjectTexts(uint32_t reference) {
    if (!Take()) return nullptr;
    if (const auto number = data_.ObjectTextNumber(reference)) objectTexts_.insert(*number);
    std::vector<std::optional<std::u16string>> perLanguage;
    for (uint32_t l = 0; l < languages_; ++l) perLanguage.push_back(TextAt(data_.ObjectText(reference, l)));
    return PerLanguage(perLanguage);
  }

  // The object at `reference` (where its record lies) in the form the
  // converter reads.
  json Control(uint32_t reference, ImageRef record) {
    const uint8_t type = static_cast<uint8_t>(reference >> 24);
    types_.insert(type);
    json j = json::object();
    // A vector graphic's shape is part of its name; one without a name is
    // a "vector" with its shape byte.
    const std::optional<uint8_t> shape = type == kVectorType ? std::optional(record.U8(kShapeOffset)) : std::nullopt;
    std::string name = TypeName(type, shape);
    if (shape && name.empty()) name = "vector";
    j["type"] = name.empty() ? json(type) : json(name);
    if (shape && name == "vector") j["shape"] = *shape;
    j["index"] = reference & 0xFFFFFFu;
    const uint32_t own = record.U32(0);
    if (own != reference) j["ownReference"] = own;
    if (json text = ObjectTexts(own); !text.is_null()) j["text"] = text;
    j["x"] = record.I32(rec::kX);
    j["y"] = record.I32(rec::kY);
    j["w"] = record.I32(rec::kWidth);
    j["h"] = record.I32(rec::kHeight);
    uint32_t flags = record.U32(rec::kFlags);
    uint32_t word8 = record.U32(rec::kHiddenWord);
    if ((flags & rec::kFlagVisibility) && word8 == 1) {
      j["hidden"] = true;
      flags &= ~rec::kFlagVisibility;
      word8 = 0;
    }
    if (flags & kFlagOutside) {
      j["outside"] = true;
      flags &= ~kFlagOutside;
    }
    if (flags) j["flags"] = flags;
    if (word8) j["word8"] = word8;
    if (const ImageRef sub = record.Ref(rec::kSubRecord)) j["subRecord"] = sub.U32(rec::kSubRecordWord);
    if (type == kPageType || type == kPopupType) j["background"] = FillJson(record.At(P::kBackground));
    if (type == kPopupType) {
      j["borderColor"] = ColourText(record.At(P::kBorderColor));
      j["borderWidth"] = record.U16(P::kBorderWidth);
      j["borderRadius"] = record.U16(P::kBorderRadius);
      if (const ImageRef title = record.Ref(P::kTitle)) j["title"] = TitleJson(title);
    }
    return j;
  }

  // The link list of the object whose own reference is `own`: an object is
  // described where it is first reached (also one the converter skips, so
  // that the reason survives); links to screens, to no object and to an
  // object described before stay raw links.
  void Children(uint32_t own, json& parent, size_t depth) {
    json children = json::array();
    for (uint32_t k = 0; const ImageRef link = data_.ObjectLink(own, k); ++k) {
      const uint8_t kind = link.U8(kLinkKind), present = link.U8(kLinkPresent), slot = link.U8(kLinkSlot);
      const uint32_t target = link.U32(kLinkTarget);
      const ImageRef record = data_.ObjectRecord(target);
      if (record && !IsScreenType(target >> 24) && depth < kMaxDescribedNesting && described_.insert(target).second) {
        json child = Control(target, record);
        if (present == 0) child["linked"] = false;
        if (kind) child["linkKind"] = kind;
        if (slot) child["linkSlot"] = slot;
        if (IsGroupType(target >> 24)) Children(record.U32(0), child, depth + 1);
        children.push_back(std::move(child));
        continue;
      }
      json raw = {{"target", target}};
      if (kind) raw["kind"] = kind;
      if (present != 1) raw["present"] = present;
      if (slot) raw["slot"] = slot;
      if (const uint8_t spare = link.U8(kLinkSpare)) raw["spare"] = spare;
      children.push_back({{"link", raw}});
    }
    if (!children.empty()) parent["children"] = std::move(children);
  }

  const DataSet& data_;
  uint32_t languages_ = 0;
  std::set<uint32_t> described_;
  std::set<uint32_t> objectTexts_;
  uint64_t pairs_ = 0;
  std::set<uint8_t> types_;
};

// ---- The report ---------------------------------------------------------------

class Reporter final : public TreeWatcher {
 public:
  Reporter(const DataSet& data, std::string languageSource)
      : data_(data), budget_(data.ImageSize()), languageSource_(std::move(languageSource)) {}

  std::string Run() {
    const ImageRef root = data_.Image().Root();
    const std::string& name = data_.Name();
    out_ += "data set: " + (name.empty() ? std::string("(no name)") : name) + "\n";
    out_ += "image: " + GroupedDigits(data_.ImageSize()) + " bytes\n";
    const std::vector<FontView> fonts = ReadFonts(root);
    const std::vector<LanguageView> languages = ReadLanguages(root);
    out_ += "languages: " + std::to_string(languages.size()) + ", current " +
            std::to_string(data_.StoredLanguage()) +
            (languageSource_.empty() ? "" : " (" + languageSource_ + ")") + "\n";
    for (size_t i = 0; i < languages.size(); ++i) {
      const LanguageView& l = languages[i];
      out_ += "  " + std::to_string(i) + ": id " + std::to_string(l.id);
      for (size_t f = 0; f < l.fonts.size(); ++f) {
        out_ += "; font " + std::to_string(f) + ":";
        if (!l.fonts[f]) out_ += " none";
        else
          for (uint16_t v : *l.fonts[f]) out_ += " " + FontName(fonts, v);
      }
      if (!l.selectors.empty()) {
        out_ += "; selectors";
        for (uint16_t s : l.selectors) out_ += " " + std::to_string(s);
      }
      out_ += "\n";
    }
    out_ += "fonts: " + std::to_string(fonts.size()) + "\n";
    for (size_t i = 0; i < fonts.size(); ++i) out_ += "  " + std::to_string(i) + ": " + FontName(fonts, i) + "\n";
    out_ += "texts: " + std::to_string(data_.TextCount()) + "\n";
    out_ += "objects:\n";
    for (uint32_t t = 1; t < 256; ++t) {
      if (const uint32_t n = data_.ObjectCount(t)) {
        const std::string name = TypeName(static_cast<uint8_t>(t), std::nullopt);
        out_ += "  type " + std::to_string(t) + (name.empty() ? "" : " (" + name + ")") + ": " + std::to_string(n) + "\n";
      }
    }
    for (uint8_t t : ScreenTypes) {
      for (uint32_t i = 0, n = data_.ObjectCount(t); i < n && !stopped_; ++i) Screen(t, i);
    }
    out_ += Verdict();
    return out_;
  }

 private:
  static std::string FontName(const std::vector<FontView>& fonts, size_t index) {
    if (index >= fonts.size()) return "#" + std::to_string(index) + "(missing)";
    const FontView& f = fonts[index];
    std::string text = f.face ? "\"" + *f.face + "\"" : "(no face)";
    text += " " + std::to_string(f.size);
    if (f.byte1 & 1u) text += " bold";
    if (f.byte1 & 2u) text += " italic";
    return text;
  }

  void Line(size_t depth, const std::string& text) { out_ += std::string(2 * depth, ' ') + text + "\n"; }

  std::string Describe(const IControl& control) {
    const ImageRef record = control.GetRecord();
    std::string text = std::string(control.GetTypeCode()) + std::to_string(static_cast<int32_t>(control.GetObjID()));
    // As the document names it; without a text, type number and index.
    const uint32_t id = control.GetObjID();
    const auto name = TextAt(data_.ObjectText(id, data_.StoredLanguage()));
    text += " \"" + (name ? Narrow(*name) : std::to_string(id >> 24) + "#" + std::to_string(id & 0xFFFFFFu)) + "\"";
    text += " " + std::to_string(record.I32(rec::kX)) + "," + std::to_string(record.I32(rec::kY)) + " " +
            std::to_string(record.I32(rec::kWidth)) + "x" + std::to_string(record.I32(rec::kHeight));
    const uint32_t flags = record.U32(rec::kFlags);
    if (control.GetTypeNumber() != kPageType && (flags & rec::kFlagVisibility) && record.U32(rec::kHiddenWord) != 0) text += " hidden";
    bool moved = (flags & rec::kFlagHideMask) != 0;
    if (!moved && (flags & rec::kFlagHideBySubRecord)) {
      const ImageRef sub = record.Ref(rec::kSubRecord);
      moved = sub && sub.U32(rec::kSubRecordWord) != 0;
    }
    if (moved) text += " moved-out";
    return text;
  }

  void Screen(uint8_t type, uint32_t index) {
    const uint32_t reference = (uint32_t{type} << 24) | index;
    const ImageRef record = data_.ObjectRecord(reference);
    const ControlPtr screen = CreateScreen(record);
    if (!screen) {
      Line(0, "screen slot " + std::to_string(reference) + ": no element (" +
                  (record ? "type byte " + std::to_string(record.U8(kTypeByte)) : std::string("no record")) + ")");
      return;
    }
    if (!budget_.Take()) return Stopped(0, budget_.Exceeded());
    Line(0, "screen " + Describe(*screen));
    if (type == kPopupType) {
      if (const ImageRef title = record.Ref(P::kTitle))
        Line(1, "title text " + std::to_string(title.U32(P::kTitleTextId)) + ", font " +
                    std::to_string(title.U16(P::kTitleFont)) + " style " +
                    std::to_string(title.U16(P::kTitleFont + 2)) + ", height " +
                    std::to_string(title.U16(P::kTitleHeight)));
    }
    // The converter's own loading, every link it reads shown as it goes.
    // A failure is shown where it stops the build (Stopped).
    if (auto* group = dynamic_cast<IControlGroup*>(screen.get()))
      static_cast<void>(group->LoadChildren(data_, budget_, this).HasValue());
  }

  void Stopped(size_t depth, const TreeError& error) override {
    Line(depth, "stop: " + error.rule);
    stopped_ = true;
  }

  void Linked(size_t depth, uint32_t k, ImageRef link, const ControlPtr& control) override {
    const uint32_t target = link.U32(kLinkTarget);
    const std::string at = "link " + std::to_string(k) + " -> " + std::to_string(target);
    if (link.U8(kLinkPresent) == 0) return Line(depth, "skip " + at + ": absent link");
    if (control) return Line(depth, Describe(*control));
    const ImageRef record = data_.ObjectRecord(target);
    const uint8_t type = record.U8(kTypeByte);
    if (!record) Line(depth, "skip " + at + ": no such object");
    else if (type == kTemplateType) Line(depth, "template tmpl" + std::to_string(target));
    else if (type == kVectorType) Line(depth, "skip " + at + ": vector shape byte " + std::to_string(record.U8(kShapeOffset)));
    else Line(depth, "skip " + at + ": unknown type " + std::to_string(type));
  }

  // What the converter itself makes of the trees: its own loading, with
  // its budget over all screens.
  std::string Verdict() {
    ControlBudget budget(data_.ImageSize());
    uint32_t screens = 0;
    for (uint8_t t : ScreenTypes) {
      for (uint32_t i = 0, n = data_.ObjectCount(t); i < n; ++i) {
        const ControlPtr control = CreateScreen(data_.ObjectRecord((uint32_t{t} << 24) | i));
        if (!control) continue;
        ++screens;
        if (const TreeStatus grown = GrowTree(data_, control, budget); !grown)
          return "converter: fails at screen " + std::string(control->GetTypeCode()) +
                 std::to_string(static_cast<int32_t>(control->GetObjID())) + ": " + grown.Error().rule + "\n";
      }
    }
    return "converter: " + std::to_string(screens) + " screens, " + GroupedDigits(budget.Used()) + " of " +
           GroupedDigits(ControlBudget::LimitFor(data_.ImageSize())) + " controls\n";
  }

  const DataSet& data_;
  ControlBudget budget_;
  std::string languageSource_;
  bool stopped_ = false;
  std::string out_;
};

}  // namespace

std::string DescribeText(const DataSet& data, std::string languageSource) {
  return Reporter(data, std::move(languageSource)).Run();
}

nlohmann::ordered_json DescribeJson(const DataSet& data) { return Describer(data).Run(); }

namespace {
void Print(const json& value, size_t indent, std::string& out) {
  const auto dump = [](const json& v) { return v.dump(-1, ' ', false, json::error_handler_t::replace); };
  // Values and short rows of values stay on one line.
  if (!value.is_structured() || value.empty() || dump(value).size() <= 110) {
    out += dump(value);
    return;
  }
  const bool object = value.is_object();
  out += object ? "{\n" : "[\n";
  size_t i = 0;
  for (auto it = value.begin(); it != value.end(); ++it, ++i) {
    out.append(indent + 2, ' ');
    if (object) out += json(it.key()).dump() + ": ";
    Print(*it, indent + 2, out);
    out += i + 1 < value.size() ? ",\n" : "\n";
  }
  out.append(indent, ' ');
  out += object ? "}" : "]";
}
}  // namespace

std::string JsonText(const nlohmann::ordered_json& description) {
  std::string out;
  Print(description, 0, out);
  return out + "\n";
}

}  // namespace prt::inspect
