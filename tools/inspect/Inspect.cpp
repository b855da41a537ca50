#include "tools/inspect/Inspect.h"

#include <algorithm>
#include <iterator>
#include <cstdint>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "controls/PopupScreen.h"
#include "controls/VectorGraphics.h"
#include "data/set/ImageLayout.h"
#include "platform/Text.h"
#include "tools/inspect/JsonOutput.h"

namespace prt::inspect {
namespace {

using json = nlohmann::ordered_json;
using platform::GroupedDigits;
using platform::Narrow;
using namespace layout;

// The fill of pages and popups and a popup's frame and title as
// PopupScreen reads them.
using P = PopupScreen;
constexpr uint8_t kTemplateType = 38, kPopupType = 71, kPageType = 1;
// Each level takes two levels of JSON, of which prt-build reads 256; deeper
// objects stay raw links.
constexpr size_t kMaxDescribedNesting = 120;
// Shared arrays let a small image name many (row, language) pairs; reading
// stops after as many as it could hold without sharing, plus some room.
uint64_t PairLimit(uint32_t imageBytes) { return imageBytes / 4 + 65536; }
// What prt-build's forms need of a record of the type.
uint32_t RecordBytesNeeded(uint8_t type) {
  return type == kPopupType ? 68 : type == kVectorType ? 60 : type == kPageType ? 52 : 40;
}

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

std::vector<builder::Language> ReadLanguages(IPRDataManager& dm) {
  std::vector<builder::Language> out;
  const uint32_t count = dm.GetLanguageCount();
  const uint32_t fontNumbers = dm.GetLanguageFontNumberCount();
  const uint32_t styles = dm.GetLanguageStyleCount();
  const uint64_t perLanguage = uint64_t{fontNumbers} + styles + 1;
  for (uint32_t i = 0; i < count && (i + 1) * perLanguage <= PairLimit(dm.GetImageSize()); ++i) {
    builder::Language& language = out.emplace_back();
    language.id = dm.GetLanguageId(i);
    const ImageRef fonts = dm.GetLanguageFontArray(i);
    const uint32_t fontCount = fonts ? fontNumbers : 0;
    for (uint32_t f = 0; f < fontCount; ++f) {
      const ImageRef v = fonts.Ref(4 * f);
      language.fonts.push_back(v.Has(0, kFontVariantsSize)
                                   ? std::optional(builder::FontVariants{v.U16(0), v.U16(2), v.U16(4), v.U16(6)})
                                   : std::nullopt);
    }
    if (const ImageRef selectors = dm.GetLanguageStyleArray(i))
      for (uint32_t s = 0; s < styles; ++s) language.selectors.push_back(selectors.U16(2 * s));
  }
  return out;
}

// The fonts the table holds as far as the image holds them.
std::vector<builder::FontRecord> ReadFonts(IPRDataManager& dm) {
  const ImageRef table = dm.GetFontTable();
  std::vector<builder::FontRecord> out;
  const uint32_t count = FittingCount(table, 4);
  for (uint32_t i = 0; i < count; ++i) {
    const ImageRef font = table.Ref(4 + 4 * i);
    const uint8_t style = font.U8(kFontStyleByte);
    builder::FontRecord& record = out.emplace_back();
    record.size = font.U16(kFontSizeByte);
    record.bold = style & 1u;
    record.italic = style & 2u;
    record.flags = style & ~3u;
    record.byte0 = font.U8(kFontByte0);
    if (const ImageRef face = font.Ref(kFontFaceByte)) {
      std::string name = face.ReadCString(kFaceNameByte);
      if (name.size() > kFaceNameBytes) name.resize(kFaceNameBytes);
      record.face = std::move(name);
    }
  }
  return out;
}

// ---- The builder description ------------------------------------------------

// One value for every language, a value per language (none: no text there),
// or nothing when no language has one.
std::optional<builder::TextRow> PerLanguage(std::vector<std::optional<std::u16string>> texts) {
  if (std::none_of(texts.begin(), texts.end(), [](const auto& t) { return t.has_value(); })) return std::nullopt;
  if (std::all_of(texts.begin(), texts.end(), [&](const auto& t) { return t == texts.front(); }))
    return builder::TextRow{texts.front(), {}};
  return builder::TextRow{std::nullopt, std::move(texts)};
}

builder::Colour ColourAt(ImageRef colour) { return {colour.U8(0), colour.U8(1), colour.U8(2), colour.U8(3)}; }

builder::Gradient Fill(ImageRef info) {
  builder::Gradient fill;
  const uint8_t count = info.U8(0);
  fill.orientation = info.U8(1);
  if (const ImageRef p = info.Ref(4)) {
    fill.positions.emplace();
    for (uint32_t i = 0, n = FittingCount(p, 4); i < n; ++i) fill.positions->push_back(p.F32(4 + 4 * i));
  }
  if (const ImageRef c = info.Ref(8)) {
    fill.colours.emplace();
    for (uint32_t i = 0, n = FittingCount(c, 4); i < n; ++i) fill.colours->push_back(ColourAt(c.At(4 + 4 * i)));
  }
  if (count != (fill.colours ? fill.colours->size() : 0)) fill.count = count;
  return fill;
}

builder::PopupTitle Title(ImageRef title) {
  const uint8_t flags = title.U8(P::kTitleFlags);
  return {.icon = title.I32(P::kTitleIconId),
          .textId = title.U32(P::kTitleTextId),
          .textColour = ColourAt(title.At(P::kTitleTextColor)),
          .background = Fill(title.At(P::kTitleBackground)),
          .font = {title.U16(P::kTitleFont), title.U16(P::kTitleFont + 2)},
          .height = title.U16(P::kTitleHeight),
          .closeButton = (flags & 1u) != 0,
          .flags = static_cast<uint8_t>(flags & ~1u)};
}

// The object's own reference, as its record stores it.
uint32_t OwnReference(IPRDataManager& dm, uint32_t reference) {
  uint32_t own = 0;
  return *dm.GetObjectReferenceAt(&own, reference >> 24, reference & kIndexMask);
}

class Describer {
 public:
  explicit Describer(CPRDataManager& dm) : dm_(dm) {}

  builder::Description Run() {
    builder::Description d;
    if (!dm_.GetDataSetName().empty()) d.name = dm_.GetDataSetName();
    languages_ = dm_.GetLanguageCount();
    d.languages = ReadLanguages(dm_);
    d.fonts = ReadFonts(dm_);
    for (uint8_t t : ScreenTypes) {
      for (uint32_t i = 0, n = dm_.GetObjectCount(t); i < n; ++i) {
        const uint32_t reference = (uint32_t{t} << 24) | (i & kIndexMask);
        const ImageRef record = dm_.GetObjectRecord(reference);
        if (!CreateScreen(record)) continue;
        builder::ControlForm& screen = d.screens.emplace_back(Control(reference, record));
        Children(OwnReference(dm_, reference), screen, 1);
      }
    }
    // The rows no described object shows; those objects carry their own.
    d.texts = Texts();
    for (uint8_t t : types_) {
      const uint32_t size = dm_.GetObjectRecordSize(t);
      if (size != builder::ProjectBuilder::kDefaultRecordSize && size >= RecordBytesNeeded(t)) d.recordSizes[t] = size;
    }
    if (const uint32_t current = dm_.GetCurrentLanguageIndex()) d.languageFile = builder::LanguageFile{current, {}};
    return d;
  }

 private:
  // The text rows in every language but those of described objects, which
  // carry them inline. Rows change their numbers, which no document shows.
  std::vector<builder::TextRow> Texts() {
    std::vector<builder::TextRow> rows;
    const uint32_t count = dm_.GetTextCount();
    for (uint32_t n = 0; n < count && Take(); ++n) {
      if (objectTexts_.count(n)) continue;
      std::vector<std::optional<std::u16string>> perLanguage;
      for (uint32_t l = 0; l < languages_; ++l) perLanguage.push_back(TextAt(dm_.GetTextInLanguage(n, l)));
      rows.push_back(PerLanguage(std::move(perLanguage)).value_or(builder::TextRow{}));
    }
    return rows;
  }

  // Counts a text row or object's look-ups in every language; false once
  // the pairs pass the limit.
  bool Take() { return (pairs_ += std::max<uint32_t>(languages_, 1)) <= PairLimit(dm_.GetImageSize()); }

  std::optional<builder::TextRow> ObjectTexts(uint32_t reference) {
    if (!Take()) return std::nullopt;
    const std::optional<uint32_t> number = dm_.GetObjectTextNumber(reference);
    if (number) objectTexts_.insert(*number);
    std::vector<std::optional<std::u16string>> perLanguage;
    for (uint32_t l = 0; l < languages_; ++l)
      perLanguage.push_back(number ? TextAt(dm_.GetTextInLanguage(*number, l)) : std::nullopt);
    return PerLanguage(std::move(perLanguage));
  }

  // The object at `reference` (where its record lies) in the form the
  // converter reads.
  builder::ControlForm Control(uint32_t reference, ImageRef record) {
    builder::ControlForm c;
    c.type = static_cast<uint8_t>(reference >> 24);
    types_.insert(c.type);
    if (c.type == kVectorType) c.shape = record.U8(kShapeOffset);  // part of a drawn shape's name
    c.index = reference & kIndexMask;
    const uint32_t own = OwnReference(dm_, reference);
    if (own != reference) c.ownReference = own;
    c.text = ObjectTexts(own);
    c.x = record.I32(rec::kX);
    c.y = record.I32(rec::kY);
    c.w = record.I32(rec::kWidth);
    c.h = record.I32(rec::kHeight);
    uint32_t flags = record.U32(rec::kFlags);
    uint32_t word8 = record.U32(rec::kHiddenWord);
    c.hidden = (flags & rec::kFlagVisibility) && word8 == 1;
    if (c.hidden) flags &= ~rec::kFlagVisibility, word8 = 0;
    c.outside = flags & builder::kFlagOutside;
    flags &= ~builder::kFlagOutside;
    if (flags) c.flags = flags;
    if (word8) c.word8 = word8;
    if (const ImageRef sub = record.Ref(rec::kSubRecord)) c.subRecordWord = sub.U32(rec::kSubRecordWord);
    if (c.type == kPageType || c.type == kPopupType) c.background = Fill(record.At(P::kBackground));
    if (c.type == kPopupType) {
      c.borderColour = ColourAt(record.At(P::kBorderColor));
      c.borderWidth = record.U16(P::kBorderWidth);
      c.borderRadius = record.U16(P::kBorderRadius);
      if (const ImageRef title = record.Ref(P::kTitle)) c.title = Title(title);
    }
    return c;
  }

  // The link list of the object whose own reference is `own`: an object is
  // described where it is first reached (also one the converter skips, so
  // that the reason survives); links to screens, to no object and to an
  // object described before stay raw links.
  void Children(uint32_t own, builder::ControlForm& parent, size_t depth) {
    for (uint32_t k = 0; const ImageRef link = dm_.GetObjectLink(own, k); ++k) {
      const uint8_t kind = link.U8(kLinkKindByte), present = link.U8(kLinkPresentByte), slot = link.U8(kLinkSlotByte);
      const uint32_t target = link.U32(kLinkTargetByte);
      const ImageRef record = dm_.GetObjectRecord(target);
      if (record && !IsScreenType(target >> 24) && depth < kMaxDescribedNesting && described_.insert(target).second) {
        builder::ControlForm& child = parent.children.emplace_back(Control(target, record));
        child.linked = present != 0;
        child.linkKind = kind;
        child.linkSlot = slot;
        if (IsGroupType(target >> 24)) Children(OwnReference(dm_, target), child, depth + 1);
        continue;
      }
      parent.children.emplace_back().rawLink = builder::Link{kind, present, slot, link.U8(kLinkSpareByte), {}, target};
    }
  }

  CPRDataManager& dm_;
  uint32_t languages_ = 0;
  std::set<uint32_t> described_;
  std::set<uint32_t> objectTexts_;
  uint64_t pairs_ = 0;
  std::set<uint8_t> types_;
};

// ---- The report ---------------------------------------------------------------

class Reporter final : public TreeWatcher {
 public:
  Reporter(CPRDataManager& dm, std::string languageSource)
      : dm_(dm), data_(*dm.Set()), budget_(dm.GetImageSize()), languageSource_(std::move(languageSource)) {}

  std::string Run() {
    const std::string& name = dm_.GetDataSetName();
    out_ += "data set: " + (name.empty() ? std::string("(no name)") : name) + "\n";
    out_ += "image: " + GroupedDigits(dm_.GetImageSize()) + " bytes\n";
    const std::vector<builder::FontRecord> fonts = ReadFonts(dm_);
    const std::vector<builder::Language> languages = ReadLanguages(dm_);
    // The language a run starts in, by index and by id, as a chosen
    // language is named.
    const uint32_t current = dm_.GetCurrentLanguageIndex();
    std::string source = current < languages.size() ? "id " + std::to_string(languages[current].id.value_or(0)) : "";
    if (!languageSource_.empty()) source += (source.empty() ? "" : ", ") + languageSource_;
    out_ += "languages: " + std::to_string(languages.size()) + ", current " + std::to_string(current) +
            (source.empty() ? "" : " (" + source + ")") + "\n";
    for (size_t i = 0; i < languages.size(); ++i) {
      const builder::Language& l = languages[i];
      out_ += "  " + std::to_string(i) + ": id " + std::to_string(l.id.value_or(0));
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
    out_ += "texts: " + std::to_string(dm_.GetTextCount()) + "\n";
    out_ += "objects:\n";
    for (uint32_t t = 1; t < 256; ++t) {
      if (const uint32_t n = dm_.GetObjectCount(t)) {
        const TypeRow* row = FindType(t);
        const std::string name = row ? row->name : "";
        out_ += "  type " + std::to_string(t) + (name.empty() ? "" : " (" + name + ")") + ": " + std::to_string(n) + "\n";
      }
    }
    for (uint8_t t : ScreenTypes) {
      for (uint32_t i = 0, n = dm_.GetObjectCount(t); i < n && !stopped_; ++i) Screen(t, i);
    }
    out_ += Verdict();
    return out_;
  }

 private:
  static std::string FontName(const std::vector<builder::FontRecord>& fonts, size_t index) {
    if (index >= fonts.size()) return "#" + std::to_string(index) + "(missing)";
    const builder::FontRecord& f = fonts[index];
    std::string text = f.face ? "\"" + *f.face + "\"" : "(no face)";
    text += " " + std::to_string(f.size);
    if (f.bold) text += " bold";
    if (f.italic) text += " italic";
    return text;
  }

  void Line(size_t depth, const std::string& text) { out_ += std::string(2 * depth, ' ') + text + "\n"; }

  std::string Describe(const IControl& control) {
    const ImageRef record = control.GetRecord();
    std::string text = std::string(control.GetTypeCode()) + std::to_string(static_cast<int32_t>(control.GetObjID()));
    // As the document names it; without a text, type number and index.
    DataValue name;
    dm_.GetObjectText(control.GetObjID(), &name);
    text += " \"" + Narrow(name.TextCopy().value_or(u"")) + "\"";
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
    const ImageRef record = dm_.GetObjectRecord(reference);
    const ControlPtr screen = CreateScreen(record);
    if (!screen) {
      Line(0, "screen slot " + std::to_string(reference) + ": no element (" +
                  (record ? "type byte " + std::to_string(record.U8(rec::kTypeByte)) : std::string("no record")) + ")");
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
    const uint32_t target = link.U32(kLinkTargetByte);
    const std::string at = "link " + std::to_string(k) + " -> " + std::to_string(target);
    if (link.U8(kLinkPresentByte) == 0) return Line(depth, "skip " + at + ": absent link");
    if (control) return Line(depth, Describe(*control));
    const ImageRef record = dm_.GetObjectRecord(target);
    const uint8_t type = record.U8(rec::kTypeByte);
    if (!record) Line(depth, "skip " + at + ": no such object");
    else if (type == kTemplateType) Line(depth, "template tmpl" + std::to_string(target));
    else if (type == kVectorType) Line(depth, "skip " + at + ": vector shape byte " + std::to_string(record.U8(kShapeOffset)));
    else Line(depth, "skip " + at + ": unknown type " + std::to_string(type));
  }

  // What the converter itself makes of the trees: its own loading, with
  // its budget over all screens.
  std::string Verdict() {
    ControlBudget budget(dm_.GetImageSize());
    uint32_t screens = 0;
    for (uint8_t t : ScreenTypes) {
      for (uint32_t i = 0, n = dm_.GetObjectCount(t); i < n; ++i) {
        const ControlPtr control = CreateScreen(dm_.GetObjectRecord((uint32_t{t} << 24) | i));
        if (!control) continue;
        ++screens;
        if (const TreeStatus grown = GrowTree(data_, control, budget); !grown)
          return "converter: fails at screen " + std::string(control->GetTypeCode()) +
                 std::to_string(static_cast<int32_t>(control->GetObjID())) + ": " + grown.Error().rule + "\n";
      }
    }
    return "converter: " + std::to_string(screens) + " screens, " + GroupedDigits(budget.Used()) + " of " +
           GroupedDigits(ControlBudget::LimitFor(dm_.GetImageSize())) + " controls\n";
  }

  CPRDataManager& dm_;
  // The converter's own loading reads the set itself.
  const DataSet& data_;
  ControlBudget budget_;
  std::string languageSource_;
  bool stopped_ = false;
  std::string out_;
};

// ---- Lists, settings and connection records ----------------------------------

// At most this many lists of each table and connection records are shown,
// and this many entry values per list: a damaged count shows as a count.
constexpr uint32_t kShownRows = 100;
constexpr uint32_t kShownValues = 8;

std::string Hex(uint32_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
  return text;
}

std::string More(uint32_t shown, uint32_t count) {
  return count > shown ? "  ... " + std::to_string(count - shown) + " more\n" : "";
}

// Per list: kind, entry count, the first entries' values and the default.
std::string Lists(CPRDataManager& dm, uint32_t which) {
  static constexpr const char* kKinds[] = {"", " (bit)", " (value)", " (range)"};
  const bool text = which == 1;
  const uint32_t count = dm.GetListCount(which);
  std::string out = std::string(text ? "text" : "resource") + " lists: " + std::to_string(count) + "\n";
  for (uint32_t n = 0; n < count && n < kShownRows; ++n) {
    uint16_t kind = 0;
    out += "  " + std::to_string(n) + ":";
    if (!dm.GetListKind(n, which, &kind)) {
      out += " no list\n";
      continue;
    }
    out += " kind " + std::to_string(kind) + (kind < std::size(kKinds) ? kKinds[kind] : "");
    const uint32_t size = text ? dm.GetTextListSize(n) : dm.GetResourceListSize(n);
    out += ", entries " + std::to_string(size);
    for (uint32_t e = 0; e < size && e < kShownValues; ++e) {
      uint8_t status = 0;
      const int32_t value = text ? dm.GetTextListEntryValue(n, static_cast<int32_t>(e), &status)
                                 : dm.GetResourceListEntryValue(n, static_cast<int32_t>(e), &status);
      out += (e == 0 ? ": " : " ") + (status == 0 ? std::to_string(value) : std::string("-"));
    }
    if (size > kShownValues) out += " ...";
    if (text) {
      const std::optional<std::u16string> fallback = TextAt(dm.GetTextListDefault(n));
      out += fallback ? ", default \"" + Narrow(*fallback) + "\"" : ", no default";
    } else {
      const int32_t fallback = dm.GetResourceListDefaultIndex(n);
      out += fallback >= 0 ? ", default " + std::to_string(fallback) : ", no default";
    }
    out += "\n";
  }
  return out + More(kShownRows, count);
}

std::string Settings(CPRDataManager& dm) {
  std::string out = "settings:\n";
  uint32_t flags = 0, word1 = 0, word19 = 0;
  if (dm.GetRuntimeSettingsWord0(1, &flags)) {
    out += "  runtime: flags " + Hex(flags) + ", word 1 ";
    out += dm.GetRuntimeSettingsWord1(&word1) ? std::to_string(word1) : std::string("-");
    out += ", word 2 " + std::to_string(dm.GetRuntimeSettingsWord2()) + ", byte " +
           std::to_string(dm.GetRuntimeSettingsByte()) + "\n";
  } else {
    out += "  runtime: none\n";
  }
  if (dm.GetProjectSettings()) {
    out += "  project: flag " + std::to_string(dm.GetProjectSettingsFlag()) + ", word 15 " +
           std::to_string(dm.GetProjectSettingsWord15()) + ", word 19 " +
           (dm.GetProjectSettingsWord19(&word19) ? std::to_string(word19) : std::string("-")) + "\n";
  } else {
    out += "  project: none\n";
  }
  return out;
}

// The records a run stored in SimWork, read without creating the file.
std::string Connections(CPRDataManager& dm) {
  const platform::SysResult<CPRDataManager::ConnectionRecords> read = dm.ListConnectionRecords();
  if (!read) {
    if (read.Error().code == std::errc::no_such_file_or_directory) return "connection records: no file\n";
    return "connection records: not read: " + read.Error().Reason() + "\n";
  }
  const auto& records = read->records;
  std::string out = "connection records: " + std::to_string(records.size()) + " in " + GroupedDigits(read->bytes) +
                    " bytes" + (read->longer ? " (the rest of the file is never read)" : "") +
                    (read->cut ? " (the last passes the end)" : "") + "\n";
  for (size_t i = 0; i < records.size() && i < kShownRows; ++i)
    out += "  key " + std::to_string(records[i].key) + ": " + std::to_string(records[i].length) + " bytes\n";
  return out + More(kShownRows, static_cast<uint32_t>(records.size()));
}

}  // namespace

std::string DescribeText(CPRDataManager& dm, std::string languageSource) {
  std::string out = Reporter(dm, std::move(languageSource)).Run();
  return out + Lists(dm, 0) + Lists(dm, 1) + Settings(dm) + Connections(dm);
}

nlohmann::ordered_json DescribeJson(CPRDataManager& dm) {
  builder::Description description = Describer(dm).Run();
  return JsonOutput::Object(description);
}

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
