#include "tools/builder/ContainerWriter.h"

#include <algorithm>
#include <utility>

#include "platform/Endian.h"

namespace prt::builder {
namespace {

constexpr char kMagic[] = "Tr@NQ-Transfer";

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
  out.U32(length.value_or(static_cast<uint32_t>(12 + body.size())));
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
    if (e.kind > 5) continue;
    const uint32_t w = KindWidth(static_cast<FieldKind>(e.kind));
    for (uint32_t n = 0; n < e.count && pos + w <= out.size(); ++n, pos += w) {
      if (e.kind == 0) continue;
      uint8_t* p = out.data() + pos;
      if (order == Endian::Big) {
        std::reverse(p, p + w);
      } else if (e.kind == 5 && swapHalves) {
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

std::vector<uint8_t> ContainerWriter::Write(const FinishedImage& image,
                                            const ContainerOptions& options,
                                            ContainerLayout* layoutOut) {
  const Endian order = options.order;
  const uint32_t base = options.pointerBase;
  const uint32_t null = options.nullValue;
  const uint32_t size = static_cast<uint32_t>(image.bytes.size());

  // Pointer fields hold B + offset, or Z for none. A position whose field
  // does not lie inside the image is a deliberate damage: listed, not touched.
  std::vector<uint8_t> payload = image.bytes;
  for (uint32_t p : image.pointers) {
    if (p > size || size - p < 4) continue;
    const uint32_t v = platform::LoadLE32(payload.data() + p);
    const uint32_t stored = v == 0 ? null : base + v;
    if (v != 0 && stored == null)
      throw BuildError("pointer base " + std::to_string(base) + " makes the reference at " +
                       std::to_string(p) + " equal the null value");
    platform::StoreLE32(payload.data() + p, stored);
  }

  std::vector<uint32_t> pointers = image.pointers;
  std::optional<PositionList> listC = options.listC;
  switch (options.corrupt) {
    case Corruption::WrongImageMagic:
      if (size < 12) throw BuildError("wrongImageMagic needs an image of 12 bytes or more");
      payload[11] ^= 0x01;
      break;
    case Corruption::PointerValueOutOfRange:
      if (pointers.empty() || pointers.front() > size || size - pointers.front() < 4)
        throw BuildError("pointerValueOutOfRange needs a pointer field inside the image");
      platform::StoreLE32(payload.data() + pointers.front(), base + size);
      break;
    case Corruption::PointerPositionOutOfRange:
      if (size < 2) throw BuildError("pointerPositionOutOfRange needs an image of 2 bytes or more");
      pointers.push_back(size - 2);
      break;
    case Corruption::PositionListOutOfRange:
      if (!listC) listC.emplace();
      listC->positions.push_back(size);
      break;
    case Corruption::DuplicatePointerPosition:
      if (pointers.empty()) throw BuildError("duplicatePointerPosition needs a pointer field");
      pointers.insert(pointers.begin(), pointers.front());
      break;
    case Corruption::UnorderedPointerPositions:
      if (pointers.size() < 2) throw BuildError("unorderedPointerPositions needs two pointer fields");
      std::swap(pointers[0], pointers[1]);
      break;
    default:
      break;
  }

  std::vector<LayoutEntry> layout = image.layout;
  for (const LayoutInsert& ins : options.layoutInserts)
    layout.insert(layout.begin() + static_cast<std::ptrdiff_t>(std::min(ins.at, layout.size())),
                  ins.entry);

  payload = EncodePayload(std::move(payload), layout, order, options.mode);

  // Sections in their usual order, foreign ones inserted where asked.
  std::vector<Section> sections;
  const auto add = [&](uint32_t type, const std::vector<uint8_t>& body) {
    sections.push_back(MakeSection(order, type, {}, body, std::nullopt));
  };
  std::vector<uint8_t> layoutBody;
  for (const LayoutEntry& e : layout) layoutBody.insert(layoutBody.end(), {e.kind, e.count});
  add(1000, layoutBody);
  add(2000, Words(order, {base, null}, pointers));
  if (options.listA) add(3000, Words(order, {options.listA->word}, options.listA->positions));
  if (options.listB) add(4000, Words(order, {options.listB->word}, options.listB->positions));
  if (options.name) {
    if (options.name->size() > 0xFFFF) throw BuildError("data set name longer than 65535 units");
    Out body(order);
    body.U16(static_cast<uint16_t>(options.name->size()));
    for (char16_t c : *options.name) body.U16(static_cast<uint16_t>(c));
    add(5000, body.bytes);
  }
  if (listC) add(6000, Words(order, {}, listC->positions));
  if (options.listD) add(7000, Words(order, {}, options.listD->positions));
  for (const RawSection& raw : options.extraSections) {
    Section s = MakeSection(order, raw.type, raw.headBytes, raw.body, raw.length);
    const size_t at = std::min(raw.insertAt, sections.size());
    sections.insert(sections.begin() + static_cast<std::ptrdiff_t>(at), std::move(s));
  }

  uint64_t total = 28 + size + options.trailing.size();
  for (const Section& s : sections) total += s.bytes.size();
  if (total > kMaxSize)
    throw BuildError("the container would take " + std::to_string(total) + " bytes (limit " +
                     std::to_string(kMaxSize) + ")");

  Out out(order);
  out.bytes.reserve(total);
  out.Raw(kMagic, 14);
  out.U16(0xFEFF);  // the byte order mark
  out.Raw(options.reserved.data(), 3);
  out.U8(options.mode);
  out.Raw(options.headerBytes.data(), 4);
  out.U32(0);  // H, patched below
  ContainerLayout where;
  for (const Section& s : sections) {
    where.sections.emplace_back(s.type, static_cast<uint32_t>(out.bytes.size()));
    out.Raw(s.bytes.data(), s.bytes.size());
  }
  where.headerLength = static_cast<uint32_t>(out.bytes.size());
  where.payloadStart = where.headerLength;
  where.payloadSize = size;
  out.PatchU32(24, where.headerLength);
  out.Raw(payload.data(), payload.size());
  out.Raw(options.trailing.data(), options.trailing.size());

  std::vector<uint8_t> file = std::move(out.bytes);
  switch (options.corrupt) {
    case Corruption::BadMagic:
      file[3] = 'n';
      break;
    case Corruption::BadByteOrderMark:
      file[14] = 0xFF;
      file[15] = 0xFF;
      break;
    case Corruption::TruncatedPayload:
      if (size == 0) throw BuildError("truncatedPayload needs a payload");
      file.resize(where.payloadStart + size - 1);
      break;
    case Corruption::TruncatedHeader:
      file.resize(26);
      break;
    case Corruption::TruncatedSection: {
      const uint32_t start = where.sections.front().second;
      const uint32_t len = static_cast<uint32_t>(sections.front().bytes.size());
      file.resize(start + (len > 13 ? 13 : 6));
      break;
    }
    default:
      break;
  }
  if (layoutOut) *layoutOut = where;
  return file;
}

}  // namespace prt::builder
