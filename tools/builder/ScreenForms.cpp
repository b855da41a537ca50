#include "tools/builder/ScreenForms.h"

namespace prt::builder {
namespace {

void Append(std::vector<Field>& out, std::vector<Field> more) {
  for (Field& f : more) out.push_back(std::move(f));
}

std::string TitleBlock(ProjectBuilder& b, const PopupTitle& t) {
  Block block{b.NewLabel("title"), 32, 4, {}};
  block.fields.push_back(Field::I32(0, t.icon));
  block.fields.push_back(Field::U32(4, t.textId));
  block.fields.push_back(Field::Bytes(8, {t.textColour.begin(), t.textColour.end()}));
  Append(block.fields, b.GradientFields(12, t.background.value_or(DefaultFill())));
  block.fields.push_back(Field::U16(24, t.font.number));
  block.fields.push_back(Field::U16(26, t.font.style));
  block.fields.push_back(Field::U16(28, t.height));
  block.fields.push_back(Field::U8(30, static_cast<uint8_t>(t.flags | (t.closeButton ? 1 : 0))));
  const std::string label = block.label;
  b.AddBlock(std::move(block));
  return label;
}

// Geometry, flags, word 8, the sub-record and the shape.
void AddPlacement(ProjectBuilder& b, const ControlForm& s, std::vector<Field>& fields) {
  namespace off = offsets;
  const bool standard = s.standard;
  auto i32 = [&](uint32_t at, const std::optional<int32_t>& v) {
    if (standard || v) fields.push_back(Field::I32(at, v.value_or(0)));
  };
  i32(off::kX, s.x);
  i32(off::kY, s.y);
  i32(off::kW, s.w);
  i32(off::kH, s.h);
  uint32_t flags = s.flags.value_or(0);
  uint32_t word8 = s.word8.value_or(0);
  if (s.hidden) {
    flags |= kFlagHidden;
    if (!s.word8) word8 = 1;
  }
  if (s.outside) flags |= kFlagOutside;
  if (standard || s.flags || s.hidden || s.outside) fields.push_back(Field::U32(off::kFlags, flags));
  if (standard || s.word8 || s.hidden) fields.push_back(Field::U32(off::kWord8, word8));
  if (s.subRecordWord) {
    Block sub{b.NewLabel("sub"), 20, 4, {Field::U32(off::kSubRecordWord, *s.subRecordWord)}};
    fields.push_back(Field::Pointer(off::kSubRecord, Ref::To(sub.label)));
    b.AddBlock(std::move(sub));
  } else if (s.subRecord) {
    fields.push_back(Field::Pointer(off::kSubRecord, *s.subRecord));
  } else if (standard) {
    fields.push_back(Field::Pointer(off::kSubRecord, Ref::None()));
  }
  if (s.shape) fields.push_back(Field::U8(off::kShape, *s.shape));
}

// A page's fill, and a popup's fill, border and title.
void AddFrame(ProjectBuilder& b, const ControlForm& s, std::vector<Field>& fields) {
  namespace off = offsets;
  const bool popup = s.standard && s.type == 71;
  if (s.background || (s.standard && (s.type == 1 || popup)))
    Append(fields, b.GradientFields(off::kBackground, s.background.value_or(DefaultFill())));
  if (s.borderColour || popup) {
    const Colour c = s.borderColour.value_or(Colour{0, 0, 0, 0xFF});
    fields.push_back(Field::Bytes(off::kBorderColour, {c.begin(), c.end()}));
  }
  if (s.borderWidth || popup) fields.push_back(Field::U16(off::kBorderWidth, s.borderWidth.value_or(0)));
  if (s.borderRadius || popup) fields.push_back(Field::U16(off::kBorderRadius, s.borderRadius.value_or(0)));
  if (s.title)
    fields.push_back(Field::Pointer(off::kTitle, Ref::To(TitleBlock(b, *s.title))));
  else if (popup || s.nullTitle)
    fields.push_back(Field::Pointer(off::kTitle, Ref::None()));
}

}  // namespace

Gradient DefaultFill() {
  Gradient g;
  g.positions = std::vector<float>{0.0f};
  g.colours = std::vector<Colour>{Colour{0xFF, 0xFF, 0xFF, 0xFF}};
  return g;
}

ObjectId AddControl(ProjectBuilder& b, const ControlForm& s) {
  Object o{.type = s.type, .index = s.index, .label = s.label, .text = s.textId, .emptyLinkList = s.emptyLinkList,
           .ownReference = s.ownReference};
  if (s.recordSize) b.given.recordSizes[s.type] = *s.recordSize;
  AddPlacement(b, s, o.fields);
  AddFrame(b, s, o.fields);
  for (const auto* raw : {&s.recordWords, &s.recordBytes}) Append(o.fields, *raw);
  if (s.pageNumber) o.fields.push_back(Field::U32(offsets::kPageNumber, *s.pageNumber));
  Append(o.fields, s.fields);

  const ObjectId id = b.AddObject(std::move(o));
  if (s.text) b.GetObject(id).text = b.AddTexts(*s.text);
  if (s.textEx) b.SetObjectTextEx(id, s.textEx->text ? b.AddTexts(*s.textEx->text) : s.textEx->number);

  // Collected first: adding a child may move the objects.
  std::vector<Link> links;
  if (!s.templateLabel.empty()) links.push_back(Link{.object = s.templateLabel});
  for (const ControlForm& child : s.children) {
    if (child.rawLink)
      links.push_back(*child.rawLink);
    else
      links.push_back(Link{.kind = child.linkKind, .present = child.linked, .slot = child.linkSlot,
                           .target = b.ReferenceOf(AddControl(b, child))});
  }
  links.insert(links.end(), s.links.begin(), s.links.end());
  Object& obj = b.GetObject(id);
  obj.links.insert(obj.links.end(), links.begin(), links.end());
  return id;
}

void AddNamedEntries(ProjectBuilder& b, ControlForm& form) {
  if (form.namedEntries) {
    const auto count = static_cast<uint32_t>(form.namedEntries->size());
    Block table{b.NewLabel("named"), 4 + offsets::kNamedEntrySize * count, 4, {Field::U32(0, count)}};
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t at = 4 + offsets::kNamedEntrySize * i;
      const NamedEntry& entry = (*form.namedEntries)[i];
      for (Field f : entry.fields) {
        f.at += at;
        table.fields.push_back(std::move(f));
      }
      table.fields.push_back(Field::Pointer(at, Ref::To(b.AddStringBlock(entry.name))));
    }
    form.fields.insert(form.fields.begin(), Field::Pointer(offsets::kNamedTable, Ref::To(table.label)));
    b.AddBlock(std::move(table));
  }
  for (ControlForm& child : form.children) AddNamedEntries(b, child);
}

}  // namespace prt::builder
