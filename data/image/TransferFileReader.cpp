#include "data/image/TransferFileReader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>

#include "data/image/ByteCursor.h"
#include "platform/Endian.h"

namespace prt {

namespace {

constexpr char kMagic[] = "Tr@NQ-Transfer";
constexpr size_t kMagicSize = sizeof kMagic - 1;
constexpr uint32_t kSectionHeadSize = 12;

// Width of one value of each layout kind; kinds past the end are dropped.
constexpr std::array<uint8_t, 6> kKindWidth{1, 2, 4, 8, 4, 8};
constexpr uint8_t kKindOpaque = 0;
constexpr uint8_t kKindDouble = 5;

enum SectionType : uint32_t {
  kLayout = 1000,
  kPointers = 2000,
  kListA = 3000,
  kListB = 4000,
  kName = 5000,
  kListC = 6000,
  kListD = 7000,
};

using Place = Error::Part;

// Reads u32 entries while the cursor is inside the section, noting where
// they start. Those wholly inside the section and the file are read in one
// go; one that crosses either end is read alone, as it runs past the
// section or fails.
void ReadEntries(ByteCursor& in, ByteOrder order, uint64_t sectionEnd, std::vector<uint32_t>& out,
                 std::vector<TransferFileReader::EntryRun>& runs) {
  runs.push_back({out.size(), in.Position()});
  const uint64_t inside = sectionEnd > in.Position() ? (sectionEnd - in.Position()) / 4 : 0;
  const std::span<const uint8_t> words = in.Take(4 * std::min(inside, in.Remaining() / 4));
  const size_t first = out.size();
  out.resize(first + words.size() / 4);
  for (size_t i = first; i < out.size(); ++i)
    out[i] = platform::Load32(words.data() + 4 * (i - first), order == ByteOrder::Big);
  while (!in.Failed() && in.Position() < sectionEnd) out.push_back(in.U32());
  if (in.Failed()) out.pop_back();
}

// A layout entry: kinds past the table and empty runs add nothing.
void AddLayout(std::vector<TransferFileReader::LayoutEntry>& layout, uint8_t kind, uint8_t count, uint64_t& payloadSize) {
  if (kind >= kKindWidth.size() || count == 0) return;
  layout.push_back({kind, count});
  payloadSize += uint64_t{count} * kKindWidth[kind];
}

// The file offset of entry `index` of a list read in `runs`.
uint64_t EntryOffset(const std::vector<TransferFileReader::EntryRun>& runs, size_t index) {
  auto run = std::upper_bound(runs.begin(), runs.end(), index,
                              [](size_t i, const TransferFileReader::EntryRun& r) { return i < r.first; });
  --run;  // the first run starts at index 0
  return run->offset + 4 * uint64_t{index - run->first};
}

}  // namespace

Result<TransferFileReader> TransferFileReader::LoadBytes(std::span<const uint8_t> bytes) {
  platform::ByteBlock file(bytes.size());
  if (!file.Valid()) return Fail(ContainerFault(Place::Payload, 0, 0, "no memory for the file"));
  std::copy(bytes.begin(), bytes.end(), file.Data());
  return Load(std::move(file));
}

Result<TransferFileReader> TransferFileReader::Load(platform::ByteBlock file) {
  TransferFileReader r;
  const std::span<const uint8_t> bytes = file.Bytes();
  ByteCursor in(bytes);
  const auto refused = [&in] { return Fail(*in.Fault()); };

  static_assert(sizeof r.magic_ == kMagicSize);
  in.SetPlace(Place::Signature);
  in.Bytes(std::span(reinterpret_cast<uint8_t*>(r.magic_), kMagicSize));
  if (in.Failed() || std::memcmp(r.magic_, kMagic, kMagicSize) != 0)
    return Fail(ContainerFault(Place::Signature, 0, 0, bytes.empty() ? "the file is empty" : "unknown signature at offset 0"));

  in.SetPlace(Place::Head);
  const uint64_t markAt = in.Position();
  const uint8_t mark0 = in.U8();
  const uint8_t mark1 = in.U8();
  if (in.Failed()) return refused();
  if (mark0 == 0xFF && mark1 == 0xFE) {
    r.order_ = ByteOrder::Little;
  } else if (mark0 == 0xFE && mark1 == 0xFF) {
    r.order_ = ByteOrder::Big;
  } else {
    char text[64];
    std::snprintf(text, sizeof text, "byte-order mark %02x %02x is neither ff fe nor fe ff", mark0, mark1);
    in.Fail(markAt, text);
    return refused();
  }
  in.Skip(3);
  r.mode_ = in.U8();
  in.SetOrder(r.order_);
  in.Bytes(r.headerBytes_);
  r.headerLength_ = in.U32();
  if (in.Failed()) return refused();

  uint64_t payloadSize = 0;
  while (r.headerLength_ > in.Position()) {
    const uint64_t sectionStart = in.Position();
    in.SetPlace(Place::Head);
    const uint32_t type = in.U32();
    in.Skip(4);
    const uint32_t length = in.U32();
    if (in.Failed()) return refused();
    const uint64_t sectionEnd = sectionStart + length;
    in.SetPlace(Place::Section, type);

    switch (type) {
      case kLayout: {
        // Whole entries in one go, as for the lists; the last one may cross an end.
        const uint64_t inside = sectionEnd > in.Position() ? (sectionEnd - in.Position()) / 2 : 0;
        const std::span<const uint8_t> pairs = in.Take(2 * std::min(inside, in.Remaining() / 2));
        r.layout_.reserve(r.layout_.size() + pairs.size() / 2);
        for (size_t i = 0; i < pairs.size(); i += 2) AddLayout(r.layout_, pairs[i], pairs[i + 1], payloadSize);
        while (!in.Failed() && in.Position() < sectionEnd) {
          const uint8_t kind = in.U8();
          const uint8_t count = in.U8();
          if (!in.Failed()) AddLayout(r.layout_, kind, count, payloadSize);
        }
        break;
      }
      case kPointers:
        r.base_ = in.U32();
        r.null_ = in.U32();
        if (!in.Failed()) ReadEntries(in, r.order_, sectionEnd, r.pointers_, r.pointerRuns_);
        break;
      case kListA:
      case kListB:
        (type == kListA ? r.word3000_ : r.word4000_) = in.U32();
        if (in.Failed()) break;
        if (type == kListA) {
          ReadEntries(in, r.order_, sectionEnd, r.positionsA_, r.runsA_);
        } else {
          ReadEntries(in, r.order_, sectionEnd, r.positionsB_, r.runsB_);
        }
        break;
      case kName: {
        // The next section follows the last unit directly, whatever L says.
        const uint16_t count = in.U16();
        std::string name;
        for (uint16_t i = 0; i < count && !in.Failed(); ++i) name.push_back(static_cast<char>(in.U16() & 0xFF));
        // Kept as a zero-terminated name: it ends at the first zero.
        r.name_ = name.substr(0, name.find('\0'));
        break;
      }
      case kListC:
        ReadEntries(in, r.order_, sectionEnd, r.positionsC_, r.runsC_);
        break;
      case kListD:
        ReadEntries(in, r.order_, sectionEnd, r.positionsD_, r.runsD_);
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
    if (in.Failed()) return refused();
  }

  in.SetPlace(Place::Payload);
  r.payloadOffset_ = in.Position();
  if (payloadSize > UINT32_MAX) {
    in.Fail(in.Position(), "the layout describes " + Hex(payloadSize) + " bytes of payload, more than 32-bit offsets reach");
  } else if (in.Remaining() < payloadSize) {
    in.Fail(in.Position(), "the layout describes " + Hex(payloadSize) + " bytes of payload, the file holds " +
                               Hex(in.Remaining()));
  }
  if (in.Failed()) return refused();
  r.payloadSize_ = static_cast<uint32_t>(payloadSize);
  r.payloadRead_ = r.payloadSize_;
  r.file_ = std::move(file);
  const uint8_t* payload = r.file_.Data() + r.payloadOffset_;
  const bool big = r.order_ == ByteOrder::Big;

  // Every pointer field lies inside the payload and holds Z or B + [0, P).
  // The fields come in increasing order and do not overlap: a field listed
  // twice would be rebased twice and end up pointing anywhere.
  const uint32_t size = r.payloadSize_;
  in.SetPlace(Place::Section, kPointers);
  uint64_t firstFree = 0;
  for (size_t i = 0; i < r.pointers_.size(); ++i) {
    const uint32_t p = r.pointers_[i];
    if (p < firstFree) {
      in.Fail(EntryOffset(r.pointerRuns_, i),
              "pointer position " + Hex(p) + " is not past the field before it, which ends at " + Hex(firstFree));
      return refused();
    }
    firstFree = uint64_t{p} + 4;
    if (size < 4 || p > size - 4) {
      in.Fail(EntryOffset(r.pointerRuns_, i), "pointer position " + Hex(p) + " lies outside the payload");
      return refused();
    }
    const uint32_t v = platform::Load32(payload + p, big);
    if (v != r.null_ && !(v >= r.base_ && v - r.base_ < size)) {
      in.Fail(EntryOffset(r.pointerRuns_, i),
              "the pointer at " + Hex(p) + " holds " + Hex(v) + ", neither the null value nor inside the payload");
      return refused();
    }
  }
  const struct {
    uint32_t section;
    const std::vector<uint32_t>& positions;
    const std::vector<EntryRun>& runs;
  } lists[] = {{kListA, r.positionsA_, r.runsA_},
               {kListB, r.positionsB_, r.runsB_},
               {kListC, r.positionsC_, r.runsC_},
               {kListD, r.positionsD_, r.runsD_}};
  for (const auto& list : lists) {
    for (size_t i = 0; i < list.positions.size(); ++i) {
      if (list.positions[i] < size) continue;
      in.SetPlace(Place::Section, list.section);
      in.Fail(EntryOffset(list.runs, i), "position " + Hex(list.positions[i]) + " lies outside the payload");
      return refused();
    }
  }
  return r;
}

void TransferFileReader::AdjustByteOrder(ByteOrder order, uint8_t mode) {
  if (order == order_ && mode == mode_) return;
  const std::span<uint8_t> payload = Payload();
  size_t at = 0;
  for (const LayoutEntry& entry : layout_) {
    const unsigned width = kKindWidth[entry.kind];
    const size_t end = at + size_t{entry.count} * width;
    if (end > payload.size()) break;  // the layout describes the payload exactly
    if (entry.kind == kKindDouble) {
      for (; at < end; at += width) {
        const auto bits = LoadDouble(payload, at, order_, mode_);
        if (bits) StoreDouble(payload, at, order, mode, *bits);
      }
    } else if (entry.kind != kKindOpaque && order != order_) {
      // An integer only changes with the byte order: its bytes turn round.
      for (; at < end; at += width) std::reverse(payload.begin() + at, payload.begin() + at + width);
    }
    at = end;
  }
  order_ = order;
  mode_ = mode;
}

void TransferFileReader::Relocate(uint32_t newBase, uint32_t newNull) {
  const std::span<uint8_t> payload = Payload();
  const bool big = order_ == ByteOrder::Big;
  for (uint32_t p : pointers_) {
    if (p > payload.size() || payload.size() - p < 4) continue;  // refused by the load already
    uint8_t* field = payload.data() + p;
    const uint32_t old = platform::Load32(field, big);
    platform::Store32(field, old == null_ ? newNull : old - base_ + newBase, big);
  }
  base_ = newBase;
  null_ = newNull;
}

}  // namespace prt
