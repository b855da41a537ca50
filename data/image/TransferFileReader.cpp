#include "data/image/TransferFileReader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>

#include "data/image/ByteCursor.h"
#include "data/image/Layout.h"
#include "platform/Endian.h"

namespace prt {

namespace {

using namespace layout;

constexpr auto kKindOpaque = static_cast<uint8_t>(FieldKind::Opaque);
constexpr auto kKindDouble = static_cast<uint8_t>(FieldKind::Double);

// The sections that list payload positions, in the order they are checked.
constexpr uint32_t kPositionLists[] = {kListA, kListB, kListC, kListD};

using Place = ContainerError::Part;

// Takes the entries of `width` bytes read while the cursor is inside the
// section, in one go: those that fit in the file, then one more alone when
// the file ends first, so that it fails as a read there does.
TransferFileReader::Run TakeEntries(ByteCursor& in, uint64_t sectionEnd, unsigned width) {
  const uint64_t start = in.Position();
  const uint64_t count = sectionEnd > start ? (sectionEnd - start + width - 1) / width : 0;
  const uint64_t whole = std::min(count, in.Remaining() / width);
  const std::span<const uint8_t> bytes = in.Take(width * whole);
  if (whole < count && width == 4) in.U32();
  if (whole < count && width == 2) in.U8(), in.U8();  // kind, then count
  return {bytes, start};
}

// Calls `visit(value, file offset)` for every u32 entry of `runs` in order,
// until it answers false; false then.
template <typename Visit>
bool EachWord(const TransferFileReader::Runs& runs, ByteOrder order, Visit visit) {
  for (const TransferFileReader::Run& run : runs)
    for (size_t k = 0; k + 4 <= run.bytes.size(); k += 4)
      if (!visit(platform::Load32(run.bytes.data() + k, order == ByteOrder::Big), run.offset + k)) return false;
  return true;
}

// A double's bits at `p`. Modes 1 and 2 of a little-endian file keep the
// half with sign and exponent first.
uint64_t LoadDouble(const uint8_t* p, ByteOrder order, uint8_t mode) {
  const bool big = order == ByteOrder::Big;
  if (big || (mode != 1 && mode != 2)) return platform::LoadUnsigned(p, 8, big);
  return (platform::LoadUnsigned(p, 4, big) << 32) | platform::LoadUnsigned(p + 4, 4, big);
}

void StoreDouble(uint8_t* p, ByteOrder order, uint8_t mode, uint64_t bits) {
  const bool big = order == ByteOrder::Big;
  if (big || (mode != 1 && mode != 2)) return platform::StoreUnsigned(p, 8, bits, big);
  platform::StoreUnsigned(p, 4, bits >> 32, big);
  platform::StoreUnsigned(p + 4, 4, bits & 0xFFFFFFFFu, big);
}

// A layout entry adds to the payload unless its kind is past the table or
// its count is 0.
bool Describes(uint8_t kind, uint8_t count) { return kind < kKindWidth.size() && count != 0; }

// Every position of lists A to D lies inside the payload of `size` bytes.
bool PositionsInside(ByteCursor& in, const TransferFileReader::Runs (&positions)[4], ByteOrder order, uint32_t size) {
  for (size_t list = 0; list < std::size(kPositionLists); ++list) {
    in.SetPlace(Place::Section, kPositionLists[list]);
    const bool inside = EachWord(positions[list], order, [&](uint32_t position, uint64_t at) {
      if (position < size) return true;
      in.Fail(at, "position " + Hex(position) + " lies outside the payload");
      return false;
    });
    if (!inside) return false;
  }
  return true;
}

}  // namespace

Expected<TransferFileReader, ContainerError> TransferFileReader::LoadBytes(std::span<const uint8_t> bytes) {
  platform::ByteBlock file(bytes.size());
  if (!file.Valid()) return Fail(ContainerFault(Place::Payload, 0, 0, "no memory for the file"));
  std::copy(bytes.begin(), bytes.end(), file.Data());
  return Load(std::move(file));
}

Expected<TransferFileReader, ContainerError> TransferFileReader::Load(platform::ByteBlock file) {
  TransferFileReader r;
  const std::span<const uint8_t> bytes = file.Bytes();
  ByteCursor in(bytes);
  const Expected<uint32_t, ContainerError> headerLength = r.ReadHead(in, bytes.empty());
  if (!headerLength) return Fail(headerLength.Error());
  Runs positions[std::size(kPositionLists)];
  uint64_t payloadSize = 0;
  while (*headerLength > in.Position() && r.ReadSection(in, payloadSize, positions)) {
  }
  if (in.Failed() || !r.PlacePayload(in, payloadSize, bytes.size())) return Fail(*in.Fault());
  r.file_ = std::move(file);
  if (!r.PointersFit(in) || !PositionsInside(in, positions, r.fileOrder_, r.payloadSize_)) return Fail(*in.Fault());
  return r;
}

Expected<uint32_t, ContainerError> TransferFileReader::ReadHead(ByteCursor& in, bool empty) {
  uint8_t magic[kContainerMagicSize];
  in.SetPlace(Place::Signature);
  in.Bytes(magic);
  if (in.Failed() || std::memcmp(magic, kContainerMagic, kContainerMagicSize) != 0)
    return Fail(ContainerFault(Place::Signature, 0, 0, empty ? "the file is empty" : "unknown signature at offset 0"));

  in.SetPlace(Place::Head);
  const uint64_t markAt = in.Position();
  const uint8_t mark0 = in.U8();
  const uint8_t mark1 = in.U8();
  if (in.Failed()) return Fail(*in.Fault());
  if (mark0 == 0xFF && mark1 == 0xFE) {
    order_ = ByteOrder::Little;
  } else if (mark0 == 0xFE && mark1 == 0xFF) {
    order_ = ByteOrder::Big;
  } else {
    char text[64];
    std::snprintf(text, sizeof text, "byte-order mark %02x %02x is neither ff fe nor fe ff", mark0, mark1);
    in.Fail(markAt, text);
    return Fail(*in.Fault());
  }
  in.Skip(kModeByte - kReservedByte);
  mode_ = in.U8();
  in.SetOrder(order_);
  fileOrder_ = order_;
  in.Skip(kHeaderLengthByte - kHeadBytesByte);
  const uint32_t headerLength = in.U32();
  if (in.Failed()) return Fail(*in.Fault());
  return headerLength;
}

bool TransferFileReader::ReadSection(ByteCursor& in, uint64_t& payloadSize, Runs (&positions)[4]) {
  const uint64_t sectionStart = in.Position();
  in.SetPlace(Place::Head);
  const uint32_t type = in.U32();
  in.Skip(kSectionHeadSize - 8);  // the head's four bytes, not read
  const uint32_t length = in.U32();
  if (in.Failed()) return false;
  const uint64_t sectionEnd = sectionStart + length;
  in.SetPlace(Place::Section, type);

  switch (type) {
    case kLayoutSection: {
      const Run run = TakeEntries(in, sectionEnd, 2);
      for (size_t i = 0; i + 1 < run.bytes.size(); i += 2) {
        if (!Describes(run.bytes[i], run.bytes[i + 1])) continue;
        payloadSize += uint64_t{run.bytes[i + 1]} * kKindWidth[run.bytes[i]];
      }
      layout_.push_back(run);
      break;
    }
    case kPointerSection:
      base_ = in.U32();
      null_ = in.U32();
      pointers_.push_back(TakeEntries(in, sectionEnd, 4));
      break;
    case kListA:
    case kListB:
      in.Skip(4);  // a word of their own, unused
      [[fallthrough]];
    case kListC:
    case kListD:
      positions[std::ranges::find(kPositionLists, type) - std::begin(kPositionLists)].push_back(
          TakeEntries(in, sectionEnd, 4));
      break;
    case kNameSection:
      ReadName(in);
      break;
    default:
      // A length shorter than the head would never move the reader on.
      if (length < kSectionHeadSize) {
        in.Fail(sectionStart, "length " + std::to_string(length) + " is shorter than the " +
                                  std::to_string(kSectionHeadSize) + "-byte section head");
      }
      in.Seek(sectionEnd);
      break;
  }
  return !in.Failed();
}

// The next section follows the last unit directly, whatever L says.
void TransferFileReader::ReadName(ByteCursor& in) {
  const uint16_t count = in.U16();
  std::string name;
  for (uint16_t i = 0; i < count && !in.Failed(); ++i) name.push_back(static_cast<char>(in.U16() & 0xFF));
  // Kept as a zero-terminated name: it ends at the first zero.
  name_ = name.substr(0, name.find('\0'));
}

bool TransferFileReader::PlacePayload(ByteCursor& in, uint64_t payloadSize, uint64_t fileSize) {
  in.SetPlace(Place::Payload);
  payloadOffset_ = in.Position();
  if (payloadSize > UINT32_MAX) {
    in.Fail(in.Position(), "the layout describes " + Hex(payloadSize) + " bytes of payload, more than 32-bit offsets reach");
  } else if (in.Remaining() < payloadSize) {
    in.Fail(in.Position(), "the layout describes " + Hex(payloadSize) + " bytes of payload, the file holds " +
                               Hex(in.Remaining()));
  } else if (in.Position() > fileSize) {
    // Even an empty payload must start inside the file: its end bounds
    // what the loader may give back to the system.
    in.Fail(in.Position(), "the sections end at " + Hex(in.Position()) + ", past the end of the file at " +
                               Hex(fileSize));
  }
  payloadSize_ = static_cast<uint32_t>(payloadSize);
  return !in.Failed();
}

// Every pointer field lies inside the payload and holds Z or B + [0, P).
// The fields come in increasing order and do not overlap: a field listed
// twice would be rebased twice and end up pointing anywhere.
bool TransferFileReader::PointersFit(ByteCursor& in) const {
  const uint8_t* payload = file_.Data() + payloadOffset_;
  const uint32_t size = payloadSize_;
  const bool big = order_ == ByteOrder::Big;
  in.SetPlace(Place::Section, kPointerSection);
  uint64_t firstFree = 0;
  return EachWord(pointers_, fileOrder_, [&](uint32_t p, uint64_t at) {
    if (p < firstFree) {
      in.Fail(at, "pointer position " + Hex(p) + " is not past the field before it, which ends at " + Hex(firstFree));
      return false;
    }
    firstFree = uint64_t{p} + 4;
    if (size < 4 || p > size - 4) {
      in.Fail(at, "pointer position " + Hex(p) + " lies outside the payload");
      return false;
    }
    const uint32_t v = platform::Load32(payload + p, big);
    if (v != null_ && !(v >= base_ && v - base_ < size)) {
      in.Fail(at, "the pointer at " + Hex(p) + " holds " + Hex(v) + ", neither the null value nor inside the payload");
      return false;
    }
    return true;
  });
}

platform::ByteBlock TransferFileReader::TakeFile() && {
  layout_.clear();
  pointers_.clear();
  return std::move(file_);
}

void TransferFileReader::AdjustByteOrder(ByteOrder order, uint8_t mode) {
  if (order == order_ && mode == mode_) return;
  const std::span<uint8_t> payload = Payload();
  size_t at = 0;
  for (const Run& run : layout_) {
    for (size_t i = 0; i + 1 < run.bytes.size(); i += 2) {
      const uint8_t kind = run.bytes[i];
      if (!Describes(kind, run.bytes[i + 1])) continue;
      const unsigned width = kKindWidth[kind];
      const size_t end = at + size_t{run.bytes[i + 1]} * width;
      if (end > payload.size()) return;  // the layout describes the payload exactly
      if (kind == kKindDouble) {
        for (; at < end; at += width) {
          StoreDouble(payload.data() + at, order, mode, LoadDouble(payload.data() + at, order_, mode_));
        }
      } else if (kind != kKindOpaque && order != order_) {
        // An integer only changes with the byte order: its bytes turn round.
        for (; at < end; at += width) std::reverse(payload.begin() + at, payload.begin() + at + width);
      }
      at = end;
    }
  }
  order_ = order;
  mode_ = mode;
}

void TransferFileReader::Relocate(uint32_t newBase, uint32_t newNull) {
  const std::span<uint8_t> payload = Payload();
  const bool big = order_ == ByteOrder::Big;
  EachWord(pointers_, fileOrder_, [&](uint32_t p, uint64_t) {
    if (p > payload.size() || payload.size() - p < 4) return true;  // refused by the load already
    uint8_t* field = payload.data() + p;
    const uint32_t old = platform::Load32(field, big);
    platform::Store32(field, old == null_ ? newNull : old - base_ + newBase, big);
    return true;
  });
  base_ = newBase;
  null_ = newNull;
}

}  // namespace prt
