#include "tools/qml-preview/Shrink.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace prt::preview {

namespace {

// The weights of one output pixel's source pixels sum to this: a channel
// (at most 255) times it still fits 16 bits, so the rows add up in 16-bit
// lanes, eight at a time, and the columns in four 16-bit lanes of one
// 64-bit word, without carries.
constexpr uint32_t kWhole = 256;

using Lanes = uint16_t __attribute__((vector_size(16)));

// Along one direction: the first source pixel of each output pixel, and
// where its weights start in `weights` (the next one's start ends them).
struct Cover {
  std::vector<int> first;
  std::vector<size_t> start;
  std::vector<uint16_t> weights;
};

// Output pixel o of `to` covers the source from o * from / to to
// (o + 1) * from / to; counted in 1/to of a source pixel, the bounds are
// whole numbers. Each weight is the step of the rounded running share, so
// the weights of a pixel sum to kWhole exactly.
Cover CoverOf(int from, int to) {
  Cover cover;
  for (int o = 0; o < to; ++o) {
    const int64_t begin = int64_t{o} * from, end = begin + from;
    const int first = static_cast<int>(begin / to), last = static_cast<int>((end - 1) / to);
    cover.first.push_back(first);
    cover.start.push_back(cover.weights.size());
    uint32_t given = 0;
    for (int s = first; s <= last; ++s) {
      const int64_t covered = std::min(end, int64_t{s + 1} * to) - begin;
      const auto share = static_cast<uint32_t>((covered * kWhole + from / 2) / from);
      cover.weights.push_back(static_cast<uint16_t>(share - given));
      given = share;
    }
  }
  cover.start.push_back(cover.weights.size());
  return cover;
}

// even[j] (+)= weight * the row's byte 2j, odd[j] likewise for byte 2j + 1,
// for the n bytes of a row: a pixel's bytes 0 and 2 land in `even`, 1 and
// 3 in `odd`.
template <bool kFirst>
void AddRow(const uint8_t* row, uint16_t weight, size_t n, uint16_t* __restrict even, uint16_t* __restrict odd) {
  constexpr bool kLittle = std::endian::native == std::endian::little;
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    Lanes pairs;
    std::memcpy(&pairs, row + i, sizeof pairs);
    Lanes low = (kLittle ? pairs & 0xff : pairs >> 8) * weight;
    Lanes high = (kLittle ? pairs >> 8 : pairs & 0xff) * weight;
    if constexpr (!kFirst) {
      Lanes was;
      std::memcpy(&was, even + i / 2, sizeof was);
      low += was;
      std::memcpy(&was, odd + i / 2, sizeof was);
      high += was;
    }
    std::memcpy(even + i / 2, &low, sizeof low);
    std::memcpy(odd + i / 2, &high, sizeof high);
  }
  for (; i < n; i += 2) {
    even[i / 2] = static_cast<uint16_t>((kFirst ? 0 : even[i / 2]) + row[i] * weight);
    odd[i / 2] = static_cast<uint16_t>((kFirst ? 0 : odd[i / 2]) + row[i + 1] * weight);
  }
}

// The sums back to channel values (0..255), rounded.
void Round(uint16_t* sums, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    Lanes lanes;
    std::memcpy(&lanes, sums + i, sizeof lanes);
    lanes = (lanes + kWhole / 2) / kWhole;
    std::memcpy(sums + i, &lanes, sizeof lanes);
  }
  for (; i < n; ++i) sums[i] = static_cast<uint16_t>((sums[i] + kWhole / 2) / kWhole);
}

}  // namespace

QImage Shrink(const QImage& picture, QSize size) {
  const bool kept = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32_Premultiplied;
  const QImage source = kept ? picture : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const int width = size.width(), height = size.height();
  if (source.isNull() || width < 1 || height < 1 || width > source.width() || height > source.height()) return {};
  const Cover across = CoverOf(source.width(), width), down = CoverOf(source.height(), height);
  QImage out(size, source.format());
  // Room for whole lanes past the row's end.
  const size_t bytes = static_cast<size_t>(source.width()) * 4, half = bytes / 2 + 8;
  std::vector<uint16_t> sums(2 * half);
  uint16_t* const even = sums.data();
  uint16_t* const odd = sums.data() + half;
  for (int y = 0; y < height; ++y) {
    // The source rows down to one, then each output pixel from its columns:
    // a source pixel's four values in the lanes of one word (its bytes 0,
    // 2, 1, 3 where the machine is little-endian), times its weight.
    for (size_t k = down.start[y]; k < down.start[y + 1]; ++k) {
      const uint8_t* row = source.constScanLine(down.first[y] + static_cast<int>(k - down.start[y]));
      if (k == down.start[y]) AddRow<true>(row, down.weights[k], bytes, even, odd);
      else AddRow<false>(row, down.weights[k], bytes, even, odd);
    }
    Round(even, bytes / 2);
    Round(odd, bytes / 2);
    uint8_t* line = out.scanLine(y);
    for (int x = 0; x < width; ++x) {
      uint64_t total = 0;
      size_t column = static_cast<size_t>(across.first[x]) * 2;
      for (size_t k = across.start[x]; k < across.start[x + 1]; ++k, column += 2) {
        uint32_t evens = 0, odds = 0;
        std::memcpy(&evens, even + column, 4);
        std::memcpy(&odds, odd + column, 4);
        total += (evens | uint64_t{odds} << 32) * across.weights[k];
      }
      // Each lane rounded (no carry: a lane is at most 255 * kWhole); its
      // high byte is the value.
      total += 0x0080008000800080;
      auto lane = [total](int n) { return static_cast<uint8_t>(total >> (16 * n + 8)); };
      uint8_t pixel[4];
      if constexpr (std::endian::native == std::endian::little)
        pixel[0] = lane(0), pixel[2] = lane(1), pixel[1] = lane(2), pixel[3] = lane(3);
      else
        pixel[2] = lane(0), pixel[0] = lane(1), pixel[3] = lane(2), pixel[1] = lane(3);
      std::memcpy(line + x * 4, pixel, 4);
    }
  }
  return out;
}

}  // namespace prt::preview
