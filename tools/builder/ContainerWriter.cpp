#include "tools/builder/ContainerWriter.h"

#include <algorithm>
#include <utility>

#include "data/image/Layout.h"
#include "platform/Endian.h"

namespace prt::builder {
namespace {

using namespace layout;

constexpr std::pair<const char*, Corruption> kCorruptions[] = {
    {"none", Corruption::None},
    {"badMagic", Corruption::BadMagic},
    {"badByteOrderMark", Corruption::BadByteOrderMark},
    {"truncatedPayload", Corruption::TruncatedPayload},
    {"pointerPositionOutOfRange", Corruption::PointerPositionOutOfRange},
    {"pointerValueOutOfRange", Corruption::PointerValueOutOfRange},
    {"wrongImageMagic", Corruption::WrongImageMagic},
    {"positionListOutOfRange", Corruption::PositionListOutOfRange},
    {"truncatedHeader", Corruption::TruncatedHeader},
    {"truncatedSection", Corruption::TruncatedSection},
    {"duplicatePointerPosition", Corruption::DuplicatePointerPosition},
    {"unorderedPointerPositions", Corruption::UnorderedPointerPositions},
};

// Appends numbers in the container's byte order.
class Out {
 public:
  explicit Out(Endian order) : order_(order) {}
  void U8(uint8_t v) { bytes.push_back(v); }
  void U16(uint16_t v) { Put(v, 2); }
  void U32(uint32_t v) { Put(v, 4); }
  void Raw(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + n);
  }
  void PatchU32(size_t at, uint32_t v) { platform::StoreUnsigned(bytes.data() + at, 4, v, order_ == Endian::Big); }
  std::vector<uint8_t> bytes;

 private:
  void Put(uint64_t v, unsigned width) {
    bytes.resize(bytes.size() + width);
    platform::StoreUnsigned(bytes.data() + bytes.size() - width, width, v, order_ == Endian::Big);
  }
  Endian order_;
};

struct Section {
  uint32_t type;
  std::vector<uint8_t> bytes;  // complete, head included
};

// Section with a 12-byte head whose length covers the entries.
Section MakeSection(Endian order, uint32_t type, const std::array<uint8_t, 4>& headBytes,
                    const std::vector<uint8_t>& body, std::optional<uint32_t> length) {
  Out out(order);
  out.U32(type);
  out.Raw(headBytes.data(), 4);
  out.U32(length.value_or(static_cast<uint32_t>(kSectionHeadSize + body.size())));
  out.Raw(body.data(), body.size());
  return {type, std::move(out.bytes)};
}

std::vector<uint8_t> Words(Endian order, std::initializer_list<uint32_t> lead,
                           const std::vector<uint32_t>& entries) {
  Out out(order);
  for (uint32_t w : lead) out.U32(w);
  for (uint32_t w : entries) out.U32(w);
  return std::move(out.bytes);
}

// The payload as the container holds it: typed fields in `order`, doubles
// with swapped halves for little-endian mode 1 or 2. Pointer fields are not
// rebased here.
std::vector<uint8_t> EncodePayload(std::vector<uint8_t> out, const std::vector<LayoutEntry>& layout, Endian order,
                                   uint8_t mode) {
  const bool swapHalves = order == Endian::Little && (mode == 1 || mode == 2);
  size_t pos = 0;
  for (const LayoutEntry& e : layout) {
    if (e.kind >= kKindWidth.size()) continue;
    const uint32_t w = kKindWidth[e.kind];
    for (uint32_t n = 0; n < e.count && pos + w <= out.size(); ++n, pos += w) {
      if (e.kind == static_cast<uint8_t>(FieldKind::Opaque)) continue;
      uint8_t* p = out.data() + pos;
      if (order == Endian::Big) {
        std::reverse(p, p + w);
      } else if (e.kind == static_cast<uint8_t>(FieldKind::Double) && swapHalves) {
        std::swap_ranges(p, p + 4, p + 4);
      }
    }
  }
  return out;
}

}  // namespace

std::optional<Corruption> CorruptionFromName(const std::string& name) {
  for (const auto& [named, value] : kCorruptions)
    if (name == named) return value;
  return std::nullopt;
}

namespace {

// The payload with its pointer fields holding B + offset, or Z for none. A
// position whose field does not lie inside the image is a deliberate
// damage: listed, not touched.
Built<std::vector<uint8_t>> Rebased(const FinishedImage& image, uint32_t base, uint32_t null) {
  std::vector<uint8_t> payload = image.bytes;
  const auto size = static_cast<uint32_t>(payload.size());
  for (uint32_t p : image.pointers) {
    if (p > size || size - p < 4) continue;
    const uint32_t v = platform::LoadLE32(payload.data() + p);
    const uint32_t stored = v == 0 ? null : base + v;
    if (v != 0 && stored == null)
      return Refuse("pointer base " + std::to_string(base) + " makes the reference at " + std::to_string(p) +
                    " equal the null value");
    platform::StoreLE32(payload.data() + p, stored);
  }
  return payload;
}

// What the container lists beside the payload, before it is encoded.
struct Lists {
  std::vector<uint8_t> payload;
  std::vector<uint32_t> pointers;
  std::optional<PositionList> listC;
};

// The damages done to the payload and the lists.
Built<Lists> Damaged(Lists l, uint32_t base, Corruption corrupt) {
  const auto size = static_cast<uint32_t>(l.payload.size());
  std::vector<uint32_t>& pointers = l.pointers;
  switch (corrupt) {
    case Corruption::WrongImageMagic:
      if (size < kImageMagicLength) return Refuse("wrongImageMagic needs an image of 12 bytes or more");
      l.payload[kImageMagicLength - 1] ^= 0x01;
      break;
    case Corruption::PointerValueOutOfRange:
      if (pointers.empty() || pointers.front() > size || size - pointers.front() < 4)
        return Refuse("pointerValueOutOfRange needs a pointer field inside the image");
      platform::StoreLE32(l.payload.data() + pointers.front(), base + size);
      break;
    case Corruption::PointerPositionOutOfRange:
      if (size < 2) return Refuse("pointerPositionOutOfRange needs an image of 2 bytes or more");
      pointers.push_back(size - 2);
      break;
    case Corruption::PositionListOutOfRange:
      if (!l.listC) l.listC.emplace();
      l.listC->positions.push_back(size);
      break;
    case Corruption::DuplicatePointerPosition:
      if (pointers.empty()) return Refuse("duplicatePointerPosition needs a pointer field");
      pointers.insert(pointers.begin(), pointers.front());
      break;
    case Corruption::UnorderedPointerPositions:
      if (pointers.size() < 2) return Refuse("unorderedPointerPositions needs two pointer fields");
      std::swap(pointers[0], pointers[1]);
      break;
    default:
      break;
  }
  return l;
}

// The sections in their usual order, foreign ones inserted where asked.
Built<std::vector<Section>> Sections(const ContainerOptions& options, const std::vector<LayoutEntry>& layout,
                                     const Lists& l) {
  const Endian order = options.order;
  std::vector<Section> sections;
  const auto add = [&](uint32_t type, const std::vector<uint8_t>& body) {
    sections.push_back(MakeSection(order, type, {}, body, std::nullopt));
  };
  std::vector<uint8_t> layoutBody;
  for (const LayoutEntry& e : layout) layoutBody.insert(layoutBody.end(), {e.kind, e.count});
  add(kLayoutSection, layoutBody);
  add(kPointerSection, Words(order, {options.pointerBase, options.nullValue}, l.pointers));
  if (options.listA) add(kListA, Words(order, {options.listA->word}, options.listA->positions));
  if (options.listB) add(kListB, Words(order, {options.listB->word}, options.listB->positions));
  if (options.name) {
    if (options.name->size() > 0xFFFF) return Refuse("data set name longer than 65535 units");
    Out body(order);
    body.U16(static_cast<uint16_t>(options.name->size()));
    for (char16_t c : *options.name) body.U16(static_cast<uint16_t>(c));
    add(kNameSection, body.bytes);
  }
  if (l.listC) add(kListC, Words(order, {}, l.listC->positions));
  if (options.listD) add(kListD, Words(order, {}, options.listD->positions));
  for (const RawSection& raw : options.extraSections) {
    Section s = MakeSection(order, raw.type, raw.headBytes, raw.body, raw.length);
    const size_t at = std::min<size_t>(raw.insertAt.value_or(UINT32_MAX), sections.size());
    sections.insert(sections.begin() + static_cast<std::ptrdiff_t>(at), std::move(s));
  }
  return sections;
}

// The damages done to the finished file.
Built<std::vector<uint8_t>> Cut(std::vector<uint8_t> file, const ContainerLayout& where, Corruption corrupt,
                                uint32_t firstSectionSize) {
  switch (corrupt) {
    case Corruption::BadMagic:
      file[3] ^= 0x20;  // one letter of the magic in the other case
      break;
    case Corruption::BadByteOrderMark:
      file[kByteOrderMarkByte] = 0xFF;
      file[kByteOrderMarkByte + 1] = 0xFF;
      break;
    case Corruption::TruncatedPayload:
      if (where.payloadSize == 0) return Refuse("truncatedPayload needs a payload");
      file.resize(where.payloadStart + where.payloadSize - 1);
      break;
    case Corruption::TruncatedHeader:
      file.resize(kHeaderLengthByte + 2);
      break;
    case Corruption::TruncatedSection:
      file.resize(where.sections.front().second + (firstSectionSize > 13 ? 13 : 6));
      break;
    default:
      break;
  }
  return file;
}

}  // namespace

Built<std::vector<uint8_t>> ContainerWriter::Write(const FinishedImage& image, const ContainerOptions& options,
                                                   ContainerLayout* layoutOut) {
  auto rebased = Rebased(image, options.pointerBase, options.nullValue);
  if (!rebased) return Unexpected(rebased.Error());
  auto lists = Damaged({std::move(*rebased), image.pointers, options.listC}, options.pointerBase, options.corrupt);
  if (!lists) return Unexpected(lists.Error());
  std::vector<LayoutEntry> layout = image.layout;
  for (const LayoutInsert& ins : options.layoutInserts)
    layout.insert(layout.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(ins.at, layout.size())), ins.entry);
  const auto sections = Sections(options, layout, *lists);
  if (!sections) return Unexpected(sections.Error());
  const std::vector<uint8_t> payload = EncodePayload(std::move(lists->payload), layout, options.order, options.mode);

  const auto size = static_cast<uint32_t>(payload.size());
  uint64_t total = kFirstSectionByte + size + options.trailing.size();
  for (const Section& s : *sections) total += s.bytes.size();
  if (total > kMaxSize)
    return Refuse("the container would take " + std::to_string(total) + " bytes (limit " + std::to_string(kMaxSize) +
                  ")");
  Out out(options.order);
  out.bytes.reserve(total);
  out.Raw(kContainerMagic, kContainerMagicSize);
  out.U16(0xFEFF);  // the byte-order mark, FF FE or FE FF as written
  out.Raw(options.reserved.data(), options.reserved.size());
  out.U8(options.mode);
  out.Raw(options.headerBytes.data(), options.headerBytes.size());
  out.U32(0);  // H, patched below
  ContainerLayout where;
  for (const Section& s : *sections) {
    where.sections.emplace_back(s.type, static_cast<uint32_t>(out.bytes.size()));
    out.Raw(s.bytes.data(), s.bytes.size());
  }
  where.headerLength = where.payloadStart = static_cast<uint32_t>(out.bytes.size());
  where.payloadSize = size;
  out.PatchU32(kHeaderLengthByte, where.headerLength);
  out.Raw(payload.data(), payload.size());
  out.Raw(options.trailing.data(), options.trailing.size());
  auto file = Cut(std::move(out.bytes), where, options.corrupt, static_cast<uint32_t>(sections->front().bytes.size()));
  if (file && layoutOut) *layoutOut = where;
  return file;
}

}  // namespace prt::builder
