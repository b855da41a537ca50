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
  block.fields.push_back(Field::U16(24, t.fontNumber));
  block.fields.push_back(Field::U16(26, t.fontStyle));
  block.fields.push_back(Field::U16(28, t.height));
  block.fields.push_back(Field::U8(30, t.flags));
  const std::string label = block.label;
  b.AddBlock(std::move(block));
  return label;
}

}  // namespace

Gradient DefaultFill() {
  Gradient g;
  g.positions = std::vector<float>{0.0f};
  g.colours = std::vector<Colour>{Colour{0xFF, 0xFF, 0xFF, 0xFF}};
  return g;
}

ObjectId AddControl(ProjectBuilder& b, const ControlForm& s) {
  namespace off = offsets;
  Object o;
  o.type = s.type;
  o.label = s.label;
  o.index = s.index;
  o.ownReference = s.ownReference;
  o.emptyLinkList = s.emptyLinkList;
  o.text = s.textId;
  if (s.recordSize) b.given.recordSizes[s.type] = *s.recordSize;

  const bool standard = s.standard;
  auto i32 = [&](uint32_t at, const std::optional<int32_t>& v) {
    if (standard || v) o.fields.push_back(Field::I32(at, v.value_or(0)));
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
  if (standard || s.flags || s.hidden || s.outside) o.fields.push_back(Field::U32(off::kFlags, flags));
  if (standard || s.word8 || s.hidden) o.fields.push_back(Field::U32(off::kWord8, word8));
  if (s.subRecordWord) {
    Block sub{b.NewLabel("sub"), 20, 4, {Field::U32(off::kSubRecordWord, *s.subRecordWord)}};
    o.fields.push_back(Field::Pointer(off::kSubRecord, Ref::To(sub.label)));
    b.AddBlock(std::move(sub));
  } else if (s.subRecord) {
    o.fields.push_back(Field::Pointer(off::kSubRecord, *s.subRecord));
  } else if (standard) {
    o.fields.push_back(Field::Pointer(off::kSubRecord, Ref::None()));
  }
  if (s.shape) o.fields.push_back(Field::U8(off::kShape, *s.shape));

  const bool popup = standard && s.type == 71;
  if (s.background || (standard && (s.type == 1 || popup)))
    Append(o.fields, b.GradientFields(off::kBackground, s.background.value_or(DefaultFill())));
  if (s.borderColour || popup) {
    const Colour c = s.borderColour.value_or(Colour{0, 0, 0, 0xFF});
    o.fields.push_back(Field::Bytes(off::kBorderColour, {c.begin(), c.end()}));
  }
  if (s.borderWidth || popup) o.fields.push_back(Field::U16(off::kBorderWidth, s.borderWidth.value_or(0)));
  if (s.borderRadius || popup) o.fields.push_back(Field::U16(off::kBorderRadius, s.borderRadius.value_or(0)));
  if (s.title)
    o.fields.push_back(Field::Pointer(off::kTitle, Ref::To(TitleBlock(b, *s.title))));
  else if (popup || s.nullTitle)
    o.fields.push_back(Field::Pointer(off::kTitle, Ref::None()));
  Append(o.fields, s.fields);

  const ObjectId id = b.AddObject(std::move(o));
  if (s.text)
    b.GetObject(id).text = b.AddText(*s.text);
  else if (s.texts)
    b.GetObject(id).text = b.AddTexts(*s.texts);
  if (s.textEx)
    b.SetObjectTextEx(id, b.AddText(*s.textEx));
  else if (s.textsEx)
    b.SetObjectTextEx(id, b.AddTexts(*s.textsEx));
  else if (s.textExId)
    b.SetObjectTextEx(id, *s.textExId);

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

}  // namespace prt::builder
