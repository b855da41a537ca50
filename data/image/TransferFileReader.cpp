#include "data/image/TransferFileReader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "data/image/ByteCursor.h"
#include "platform/FileSystem.h"

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

// Reads u32 entries while the cursor is inside the section.
bool ReadEntries(ByteCursor& in, uint64_t sectionEnd, std::vector<uint32_t>& out) {
  while (in.Position() < sectionEnd) {
    const auto v = in.U32();
    if (!v) return false;
    out.push_back(*v);
  }
  return true;
}

bool AllBelow(const std::vector<uint32_t>& positions, uint32_t limit) {
  for (uint32_t p : positions) {
    if (p >= limit) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<TransferFileReader> TransferFileReader::Load(const std::u16string& path, std::error_code* error) {
  std::error_code ignored;
  std::error_code& failure = error ? *error : ignored;
  failure.clear();
  std::FILE* stream = platform::OpenStream(path, "rb", &failure);
  if (stream == nullptr) return nullptr;
  std::vector<uint8_t> bytes;
  std::array<uint8_t, 64 * 1024> chunk;
  size_t got = 0;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), stream)) > 0) bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
  const bool failed = std::ferror(stream) != 0;
  if (failed) failure = platform::ErrnoError(errno);
  std::fclose(stream);
  if (failed) return nullptr;
  return LoadBytes(bytes);
}

std::unique_ptr<TransferFileReader> TransferFileReader::LoadBytes(const std::vector<uint8_t>& bytes) {
  std::unique_ptr<TransferFileReader> r(new TransferFileReader());
  ByteCursor in(bytes);

  static_assert(sizeof r->magic_ == kMagicSize);
  if (!in.Bytes(std::span(reinterpret_cast<uint8_t*>(r->magic_), kMagicSize)) ||
      std::memcmp(r->magic_, kMagic, kMagicSize) != 0)
    return nullptr;

  const auto mark0 = in.U8();
  const auto mark1 = in.U8();
  if (!mark0 || !mark1) return nullptr;
  if (*mark0 == 0xFF && *mark1 == 0xFE) {
    r->order_ = ByteOrder::Little;
  } else if (*mark0 == 0xFE && *mark1 == 0xFF) {
    r->order_ = ByteOrder::Big;
  } else {
    return nullptr;
  }
  if (!in.Skip(3)) return nullptr;
  const auto mode = in.U8();
  if (!mode) return nullptr;
  r->mode_ = *mode;
  in.SetOrder(r->order_);

  const auto headerLength = in.Bytes(r->headerBytes_) ? in.U32() : std::nullopt;
  if (!headerLength) return nullptr;
  r->headerLength_ = *headerLength;

  uint64_t payloadSize = 0;
  while (r->headerLength_ > in.Position()) {
    const uint64_t sectionStart = in.Position();
    const auto type = in.U32();
    const bool skipped = in.Skip(4);
    const auto length = in.U32();
    if (!type || !skipped || !length) return nullptr;
    const uint64_t sectionEnd = sectionStart + *length;

    switch (*type) {
      case kLayout:
        while (in.Position() < sectionEnd) {
          const auto kind = in.U8();
          const auto count = in.U8();
          if (!kind || !count) return nullptr;
          if (*kind >= kKindWidth.size() || *count == 0) continue;
          r->layout_.push_back({*kind, *count});
          payloadSize += uint64_t{*count} * kKindWidth[*kind];
        }
        break;
      case kPointers: {
        const auto base = in.U32();
        const auto null = in.U32();
        if (!base || !null) return nullptr;
        r->base_ = *base;
        r->null_ = *null;
        if (!ReadEntries(in, sectionEnd, r->pointers_)) return nullptr;
        break;
      }
      case kListA:
      case kListB: {
        const auto word = in.U32();
        if (!word) return nullptr;
        (*type == kListA ? r->word3000_ : r->word4000_) = *word;
        if (!ReadEntries(in, sectionEnd, *type == kListA ? r->positionsA_ : r->positionsB_)) return nullptr;
        break;
      }
      case kName: {
        // The next section follows the last unit directly, whatever L says.
        const auto count = in.U16();
        if (!count) return nullptr;
        std::string name;
        for (uint16_t i = 0; i < *count; ++i) {
          const auto unit = in.U16();
          if (!unit) return nullptr;
          name.push_back(static_cast<char>(*unit & 0xFF));
        }
        // Kept as a zero-terminated name: it ends at the first zero.
        r->name_ = name.substr(0, name.find('\0'));
        break;
      }
      case kListC:
        if (!ReadEntries(in, sectionEnd, r->positionsC_)) return nullptr;
        break;
      case kListD:
        if (!ReadEntries(in, sectionEnd, r->positionsD_)) return nullptr;
        break;
      default:
        // A length shorter than the head would never move the reader on.
        if (*length < kSectionHeadSize) return nullptr;
        in.Seek(sectionEnd);
        break;
    }
  }

  if (payloadSize > UINT32_MAX || in.Remaining() < payloadSize) return nullptr;
  r->payloadSize_ = static_cast<uint32_t>(payloadSize);
  r->payload_.resize(r->payloadSize_);
  if (!in.Bytes(r->payload_)) return nullptr;
  r->payloadRead_ = r->payloadSize_;

  // Every pointer field lies inside the payload and holds Z or B + [0, P).
  // The fields come in increasing order and do not overlap: a field listed
  // twice would be rebased twice and end up pointing anywhere.
  const uint32_t size = r->payloadSize_;
  uint64_t firstFree = 0;
  for (uint32_t p : r->pointers_) {
    if (p < firstFree) return nullptr;
    firstFree = uint64_t{p} + 4;
    if (size < 4 || p > size - 4) return nullptr;
    const auto v = LoadUInt(r->payload_, p, 4, r->order_);
    if (!v) return nullptr;
    if (*v != r->null_ && !(*v >= r->base_ && *v - r->base_ < size)) return nullptr;
  }
  for (const auto* list : {&r->positionsA_, &r->positionsB_, &r->positionsC_, &r->positionsD_}) {
    if (!AllBelow(*list, size)) return nullptr;
  }
  return r;
}

void TransferFileReader::AdjustByteOrder(ByteOrder order, uint8_t mode) {
  if (uc4_) {
    std::cout << "WARNING: AdjustByteOrder() is not available after a call to ConvertToUC4(). Leaving byte order as is!"
              << std::endl;
    return;
  }
  if (order == order_ && mode == mode_) return;
  size_t at = 0;
  for (const LayoutEntry& entry : layout_) {
    const unsigned width = kKindWidth[entry.kind];
    if (entry.kind == kKindOpaque) {
      at += entry.count;
      continue;
    }
    for (unsigned i = 0; i < entry.count; ++i, at += width) {
      if (entry.kind == kKindDouble) {
        const auto bits = LoadDouble(payload_, at, order_, mode_);
        if (bits) StoreDouble(payload_, at, order, mode, *bits);
      } else {
        const auto v = LoadUInt(payload_, at, width, order_);
        if (v) StoreUInt(payload_, at, width, order, *v);
      }
    }
  }
  order_ = order;
  mode_ = mode;
}

void TransferFileReader::Relocate(uint32_t newBase, uint32_t newNull) {
  for (uint32_t p : pointers_) {
    const auto v = LoadUInt(payload_, p, 4, order_);
    if (!v) continue;
    const uint32_t old = static_cast<uint32_t>(*v);
    StoreUInt(payload_, p, 4, order_, old == null_ ? newNull : old - base_ + newBase);
  }
  base_ = newBase;
  null_ = newNull;
}

}  // namespace prt
