#include "tools/qml-preview/Png.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace prt::preview {

namespace {

constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 258;
constexpr size_t kWindow = 32768;
constexpr int kHashBits = 15;
constexpr int kLiteralCodes = 286;  // literals, end of block, lengths
constexpr int kDistanceCodes = 30;
constexpr int kEndOfBlock = 256;

// Deflate's length and distance codes: where each starts and its extra bits.
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which the code lengths' own code lengths are sent.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Leaves the bytes a resize adds unset: every buffer here is written
// before it is read, and zeroing a picture's megabyte costs as much as
// packing it.
template <typename T>
struct Unset : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = Unset<U>;
  };
  template <typename U>
  void construct(U* at) noexcept {
    ::new (static_cast<void*>(at)) U;
  }
  template <typename U, typename... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};
using Bytes = std::vector<uint8_t, Unset<uint8_t>>;

// The code of each length (3..258) and distance (1..32768), looked up:
// distances past 256 by their value over 128, as deflate's codes are
// that coarse there.
struct CodeTables {
  uint8_t length[kMaxMatch + 1] = {};
  uint8_t nearDistance[257] = {};
  uint8_t farDistance[257] = {};
  constexpr CodeTables() {
    for (int code = 0; code < 29; ++code)
      for (size_t l = kLengthBase[code]; l <= kMaxMatch && (code == 28 || l < kLengthBase[code + 1]); ++l)
        length[l] = static_cast<uint8_t>(code);
    length[kMaxMatch] = 28;
    for (int code = 0; code < 30; ++code) {
      const size_t end = code == 29 ? kWindow + 1 : kDistanceBase[code + 1];
      for (size_t d = kDistanceBase[code]; d < end; ++d) {
        if (d <= 256) nearDistance[d] = static_cast<uint8_t>(code);
        else farDistance[(d - 1) >> 7] = static_cast<uint8_t>(code);
      }
    }
  }
};
constexpr CodeTables kCodes;

int LengthCode(size_t length) { return kCodes.length[length]; }
int DistanceCode(size_t distance) {
  return distance <= 256 ? kCodes.nearDistance[distance] : kCodes.farDistance[(distance - 1) >> 7];
}

// How many bytes from `a` on equal those from `b` on, up to `max`.
[[gnu::always_inline]] inline size_t Common(const uint8_t* a, const uint8_t* b, size_t max) {
  size_t n = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; n + 8 <= max; n += 8) {
      uint64_t x = 0, y = 0;
      std::memcpy(&x, a + n, 8);
      std::memcpy(&y, b + n, 8);
      if (x != y) return n + static_cast<size_t>(std::countr_zero(x ^ y) >> 3);
    }
  }
  while (n < max && a[n] == b[n]) ++n;
  return n;
}

// A token is a literal byte (below 256) or a match, length << 16 | distance.
void Tokenize(const uint8_t* data, size_t size, size_t rowBytes, std::vector<uint32_t>& tokens) {
  static thread_local std::vector<uint32_t> table;  // position + 1 of a four-byte prefix
  table.assign(size_t{1} << kHashBits, 0);
  tokens.clear();
  const bool above = rowBytes <= kWindow;
  size_t i = 0;
  while (i < size) {
    const size_t max = std::min(kMaxMatch, size - i);
    size_t best = 0, distance = 0;
    if (above && i >= rowBytes) {
      best = Common(data + i, data + i - rowBytes, max);
      distance = rowBytes;
    }
    if (best < max && i >= 3) {  // the pixel before
      if (const size_t length = Common(data + i, data + i - 3, max); length > best) {
        best = length;
        distance = 3;
      }
    }
    if (best < 4 && i + 4 <= size) {
      uint32_t prefix = 0;
      std::memcpy(&prefix, data + i, 4);
      uint32_t& slot = table[(prefix * 2654435761u) >> (32 - kHashBits)];
      const size_t earlier = slot;
      slot = static_cast<uint32_t>(i + 1);
      if (earlier != 0 && i + 1 - earlier <= kWindow) {
        const size_t back = i + 1 - earlier;
        if (const size_t length = Common(data + i, data + i - back, max); length > best) {
          best = length;
          distance = back;
        }
      }
    }
    if (best >= kMinMatch) {
      tokens.push_back(static_cast<uint32_t>(best << 16 | distance));
      i += best;
    } else {
      tokens.push_back(data[i++]);
    }
  }
}

// Code lengths of at most `limit` bits for the counts, forming a complete
// code (at least two symbols get one); counts are halved until it fits.
void CodeLengths(std::vector<uint32_t> counts, int limit, std::vector<uint8_t>& lengths) {
  auto used = std::count_if(counts.begin(), counts.end(), [](uint32_t c) { return c > 0; });
  for (size_t s = 0; used < 2 && s < counts.size(); ++s)
    if (counts[s] == 0) {
      counts[s] = 1;
      ++used;
    }
  lengths.assign(counts.size(), 0);
  struct Node {
    uint64_t weight;
    int parent;
  };
  for (;;) {
    std::vector<int> leaves;
    for (size_t s = 0; s < counts.size(); ++s)
      if (counts[s] > 0) leaves.push_back(static_cast<int>(s));
    std::stable_sort(leaves.begin(), leaves.end(), [&](int a, int b) { return counts[a] < counts[b]; });
    // Leaves first, then the inner nodes in the order they are made, which
    // is by weight: two queues give the two lightest every time.
    std::vector<Node> nodes;
    for (int s : leaves) nodes.push_back({counts[s], -1});
    size_t leaf = 0, inner = leaves.size();
    auto lightest = [&]() {
      if (leaf < leaves.size() && (inner >= nodes.size() || nodes[leaf].weight <= nodes[inner].weight)) return leaf++;
      return inner++;
    };
    while (nodes.size() < 2 * leaves.size() - 1) {
      const size_t a = lightest(), b = lightest();
      nodes[a].parent = nodes[b].parent = static_cast<int>(nodes.size());
      nodes.push_back({nodes[a].weight + nodes[b].weight, -1});
    }
    std::vector<int> depth(nodes.size(), 0);
    for (size_t n = nodes.size() - 1; n-- > 0;) depth[n] = depth[static_cast<size_t>(nodes[n].parent)] + 1;
    if (*std::max_element(depth.begin(), depth.begin() + static_cast<long>(leaves.size())) <= limit) {
      for (size_t l = 0; l < leaves.size(); ++l) lengths[static_cast<size_t>(leaves[l])] = static_cast<uint8_t>(depth[l]);
      return;
    }
    for (uint32_t& c : counts)
      if (c > 0) c = (c + 1) / 2;
  }
}

// The canonical codes of the lengths, bit-reversed, as deflate sends them
// (least significant bit first).
std::vector<uint16_t> Codes(const std::vector<uint8_t>& lengths) {
  std::array<uint16_t, 16> count{}, next{};
  for (uint8_t l : lengths) ++count[l];
  count[0] = 0;
  for (int bits = 1; bits < 16; ++bits) next[bits] = static_cast<uint16_t>((next[bits - 1] + count[bits - 1]) << 1);
  std::vector<uint16_t> codes(lengths.size(), 0);
  for (size_t s = 0; s < lengths.size(); ++s) {
    const int l = lengths[s];
    if (l == 0) continue;
    const uint16_t code = next[l]++;
    uint16_t reversed = 0;
    for (int b = 0; b < l; ++b) reversed = static_cast<uint16_t>(reversed | (((code >> b) & 1) << (l - 1 - b)));
    codes[s] = reversed;
  }
  return codes;
}

// Appends to `out` at most `room` bytes, stored a word at a time.
class BitWriter {
 public:
  BitWriter(Bytes& out, size_t room) : out(out), at(out.size()) { out.resize(at + room); }
  void Put(uint32_t value, int bits) {
    buffer |= static_cast<uint64_t>(value) << count;
    count += bits;
    if (count >= 32) {
      const uint32_t word = static_cast<uint32_t>(buffer);
      const uint8_t bytes[4] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                                static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24)};
      std::memcpy(out.data() + at, bytes, 4);
      at += 4;
      buffer >>= 32;
      count -= 32;
    }
  }
  void Flush() {
    for (; count > 0; count -= 8, buffer >>= 8) out[at++] = static_cast<uint8_t>(buffer);
    count = 0;
    out.resize(at);
  }

 private:
  Bytes& out;
  size_t at;
  uint64_t buffer = 0;
  int count = 0;
};

// One block with dynamic codes for the tokens; one that is not the last
// ends with an empty stored block, so the next starts on a byte.
void Deflate(const std::vector<uint32_t>& tokens, Bytes& out, bool last = true) {
  std::vector<uint32_t> literalCounts(kLiteralCodes, 0), distanceCounts(kDistanceCodes, 0);
  for (uint32_t token : tokens) {
    if (token < 256) {
      ++literalCounts[token];
    } else {
      ++literalCounts[static_cast<size_t>(257 + LengthCode(token >> 16))];
      ++distanceCounts[static_cast<size_t>(DistanceCode(token & 0xffff))];
    }
  }
  literalCounts[kEndOfBlock] = 1;
  std::vector<uint8_t> literalLengths, distanceLengths;
  CodeLengths(literalCounts, 15, literalLengths);
  CodeLengths(distanceCounts, 15, distanceLengths);
  size_t literals = kLiteralCodes, distances = kDistanceCodes;
  while (literals > 257 && literalLengths[literals - 1] == 0) --literals;
  while (distances > 1 && distanceLengths[distances - 1] == 0) --distances;

  // Both code lengths lists as one, run-length coded: 16 repeats the last
  // 3-6 times, 17 and 18 are 3-10 and 11-138 zeros.
  std::vector<uint8_t> all(literalLengths.begin(), literalLengths.begin() + static_cast<long>(literals));
  all.insert(all.end(), distanceLengths.begin(), distanceLengths.begin() + static_cast<long>(distances));
  std::vector<std::pair<uint8_t, uint8_t>> runs;  // symbol, extra value
  for (size_t i = 0; i < all.size();) {
    const uint8_t value = all[i];
    size_t run = 1;
    while (i + run < all.size() && all[i + run] == value) ++run;
    if (value == 0 && run >= 3) {
      const size_t n = std::min<size_t>(run, 138);
      runs.emplace_back(n >= 11 ? 18 : 17, static_cast<uint8_t>(n >= 11 ? n - 11 : n - 3));
      i += n;
    } else if (value != 0 && run >= 4) {
      runs.emplace_back(value, 0);
      const size_t n = std::min<size_t>(run - 1, 6);
      runs.emplace_back(16, static_cast<uint8_t>(n - 3));
      i += 1 + n;
    } else {
      runs.emplace_back(value, 0);
      ++i;
    }
  }
  std::vector<uint32_t> lengthCounts(19, 0);
  for (const auto& [symbol, extra] : runs) ++lengthCounts[symbol];
  std::vector<uint8_t> lengthLengths;
  CodeLengths(lengthCounts, 7, lengthLengths);
  size_t sent = 19;
  while (sent > 4 && lengthLengths[kCodeLengthOrder[sent - 1]] == 0) --sent;

  // At most 15 + 5 + 15 + 13 bits a token; the header and code lengths
  // take at most 17 + 19 * 3 + 316 * 14 bits.
  BitWriter bits(out, tokens.size() * 6 + 1024);
  bits.Put(last ? 1 : 0, 1);
  bits.Put(2, 2);  // with codes of its own
  bits.Put(static_cast<uint32_t>(literals - 257), 5);
  bits.Put(static_cast<uint32_t>(distances - 1), 5);
  bits.Put(static_cast<uint32_t>(sent - 4), 4);
  for (size_t i = 0; i < sent; ++i) bits.Put(lengthLengths[kCodeLengthOrder[i]], 3);
  const std::vector<uint16_t> lengthCodes = Codes(lengthLengths);
  for (const auto& [symbol, extra] : runs) {
    bits.Put(lengthCodes[symbol], lengthLengths[symbol]);
    if (symbol >= 16) bits.Put(extra, symbol == 16 ? 2 : symbol == 17 ? 3 : 7);
  }
  const std::vector<uint16_t> literalCodes = Codes(literalLengths), distanceCodes = Codes(distanceLengths);
  for (uint32_t token : tokens) {
    if (token < 256) {
      bits.Put(literalCodes[token], literalLengths[token]);
      continue;
    }
    const size_t length = token >> 16, distance = token & 0xffff;
    const int l = LengthCode(length), d = DistanceCode(distance);
    bits.Put(literalCodes[static_cast<size_t>(257 + l)], literalLengths[static_cast<size_t>(257 + l)]);
    bits.Put(static_cast<uint32_t>(length - kLengthBase[l]), kLengthExtra[l]);
    bits.Put(distanceCodes[static_cast<size_t>(d)], distanceLengths[static_cast<size_t>(d)]);
    bits.Put(static_cast<uint32_t>(distance - kDistanceBase[d]), kDistanceExtra[d]);
  }
  bits.Put(literalCodes[kEndOfBlock], literalLengths[kEndOfBlock]);
  if (!last) bits.Put(0, 3);  // not the last, stored
  bits.Flush();
  if (!last) out.insert(out.end(), {0x00, 0x00, 0xff, 0xff});  // of no bytes
}

void PutBig32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void Chunk(Bytes& out, const char* type, const uint8_t* data, size_t size) {
  PutBig32(out, static_cast<uint32_t>(size));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data, data + size);
  PutBig32(out, libdeflate_crc32(0, out.data() + start, size + 4));
}

// The row's pixels as red, green and blue bytes, four pixels at a time
// (one byte shuffle where the processor has it); writes up to 4 bytes past
// the row. Returns the pixels' AND, whose alpha tells whether all are
// opaque.
using Sixteen = uint8_t __attribute__((vector_size(16)));
[[gnu::target_clones("ssse3", "default")]] QRgb PackRow(const QRgb* line, size_t width, uint8_t* out) {
  constexpr bool kLittle = std::endian::native == std::endian::little;
  Sixteen all;
  std::memset(&all, 0xff, sizeof all);
  size_t x = 0;
  for (; x + 4 <= width; x += 4, out += 12) {
    Sixteen pixels;
    std::memcpy(&pixels, line + x, sizeof pixels);
    all &= pixels;
    // A pixel's bytes are blue, green, red, alpha on a little-endian
    // machine, the other way round on a big-endian one.
    const Sixteen rgb = kLittle ? __builtin_shufflevector(pixels, pixels, 2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, 0,
                                                          0, 0, 0)
                                : __builtin_shufflevector(pixels, pixels, 1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14, 15, 0,
                                                          0, 0, 0);
    std::memcpy(out, &rgb, sizeof rgb);
  }
  QRgb opaque = 0xffffffff;
  for (int i = 0; i < 4; ++i) {
    QRgb word;
    std::memcpy(&word, reinterpret_cast<const uint8_t*>(&all) + 4 * i, 4);
    opaque &= word;
  }
  for (; x < width; ++x, out += 3) {
    opaque &= line[x];
    out[0] = static_cast<uint8_t>(qRed(line[x]));
    out[1] = static_cast<uint8_t>(qGreen(line[x]));
    out[2] = static_cast<uint8_t>(qBlue(line[x]));
  }
  return opaque;
}

// The image's rows as PNG wants them: a filter byte (none), then red,
// green and blue. Answers the pixels' AND.
QRgb PackRows(const QImage& image, Bytes& rows) {
  const size_t width = static_cast<size_t>(image.width()), height = static_cast<size_t>(image.height());
  const size_t rowBytes = 1 + 3 * width;
  // Room for PackRow's last store to spill over.
  rows.resize(rowBytes * height + 4);
  QRgb opaque = 0xff000000;
  for (size_t y = 0; y < height; ++y) {
    uint8_t* row = rows.data() + y * rowBytes;
    *row = 0;  // no filter
    opaque &= PackRow(reinterpret_cast<const QRgb*>(image.constScanLine(static_cast<int>(y))), width, row + 1);
  }
  rows.resize(rowBytes * height);
  return opaque;
}

void Signature(Bytes& file, size_t width, size_t height) {
  const uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  file.insert(file.end(), std::begin(signature), std::end(signature));
  Bytes header;
  PutBig32(header, static_cast<uint32_t>(width));
  PutBig32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter choice, no interlace
  Chunk(file, "IHDR", header.data(), header.size());
}

// deflate, 32 KiB window, the fastest kind, header check
constexpr uint8_t kZlibHeader[] = {0x78, 0x01};
// A last block of fixed codes that holds nothing.
constexpr uint8_t kEmptyLastBlock[] = {0x03, 0x00};
constexpr char kBandsChunk[] = "qmBD";
constexpr size_t kKeyBytes = 32;
// A band as the private chunk lists it: its checksum, then its key.
constexpr size_t kBandEntry = 4 + kKeyBytes;

uint32_t Big32(const uint8_t* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}

// The Adler-32 of two byte strings one after the other, from theirs and
// the second's length.
uint32_t JoinAdler(uint32_t first, uint32_t second, uint64_t secondLength) {
  constexpr uint64_t kBase = 65521;
  const uint64_t rem = secondLength % kBase;
  const uint64_t a1 = first & 0xffff, b1 = first >> 16, a2 = second & 0xffff, b2 = second >> 16;
  const uint64_t a = (a1 + a2 + kBase - 1) % kBase;
  const uint64_t b = (rem * a1 + b1 + b2 + kBase - rem) % kBase;
  return static_cast<uint32_t>(b << 16 | a);
}

}  // namespace

QByteArray EncodePng(const QImage& image) {
  if (image.isNull()) return {};
  // A drawn window comes premultiplied and opaque, where premultiplied
  // colours are the colours: taken as they are unless a pixel shows through.
  const bool premultiplied = image.format() == QImage::Format_ARGB32_Premultiplied;
  const QImage rgb = image.format() == QImage::Format_RGB32 || premultiplied
                         ? image
                         : image.convertToFormat(QImage::Format_RGB32);
  const size_t width = static_cast<size_t>(rgb.width()), height = static_cast<size_t>(rgb.height());
  // Kept from picture to picture: fresh pages are dear.
  static thread_local Bytes rows, deflated, file;
  static thread_local std::vector<uint32_t> tokens;
  const QRgb opaque = PackRows(rgb, rows);
  if (premultiplied && qAlpha(opaque) != 255) return EncodePng(image.convertToFormat(QImage::Format_RGB32));
  Tokenize(rows.data(), rows.size(), 1 + 3 * width, tokens);
  deflated.assign(std::begin(kZlibHeader), std::end(kZlibHeader));
  Deflate(tokens, deflated);
  PutBig32(deflated, libdeflate_adler32(1, rows.data(), rows.size()));

  file.clear();
  Signature(file, width, height);
  Chunk(file, "IDAT", deflated.data(), deflated.size());
  Chunk(file, "IEND", nullptr, 0);
  return QByteArray(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
}

// The file: signature, header, an IDAT of the zlib header, one per band,
// one of the empty last block and the checksum, the bands chunk, the end.
BandedPng::BandedPng(int width, int rows, std::vector<QByteArray> keys, const QByteArray& earlier)
    : width(width), rows(rows) {
  for (QByteArray& key : keys) bands.push_back({std::move(key).leftJustified(kKeyBytes, '\0', true), {}, 0});
  // Walks the earlier file's chunks, each checked against its CRC; any
  // surprise and nothing is kept.
  const auto* data = reinterpret_cast<const uint8_t*>(earlier.constData());
  const size_t size = static_cast<size_t>(earlier.size());
  struct Piece {
    size_t at, length;  // of the chunk's data
    char type[5];
  };
  std::vector<Piece> pieces;
  for (size_t at = 8; at + 12 <= size && pieces.size() < bands.size() + 6;) {
    const size_t length = Big32(data + at);
    if (length > size - at - 12 || libdeflate_crc32(0, data + at + 4, length + 4) != Big32(data + at + 8 + length))
      return;
    Piece& piece = pieces.emplace_back(Piece{at + 8, length, {}});
    std::memcpy(piece.type, data + at + 4, 4);
    at += 12 + length;
  }
  Bytes head;
  Signature(head, static_cast<size_t>(width), static_cast<size_t>(rows) * bands.size());
  const size_t n = bands.size();
  if (size < head.size() || std::memcmp(data, head.data(), head.size()) != 0 || pieces.size() != n + 5) return;
  const Piece& list = pieces[n + 3];
  if (std::strcmp(list.type, kBandsChunk) != 0 || list.length != n * kBandEntry) return;
  for (size_t band = 0; band < n; ++band) {
    const Piece& piece = pieces[band + 2];
    const uint8_t* entry = data + list.at + band * kBandEntry;
    if (std::strcmp(piece.type, "IDAT") != 0 ||
        std::memcmp(entry + 4, bands[band].key.constData(), kKeyBytes) != 0)
      continue;
    bands[band].code = earlier.mid(static_cast<qsizetype>(piece.at - 8), static_cast<qsizetype>(piece.length + 12));
    bands[band].adler = Big32(entry);
  }
}

void BandedPng::Code(size_t band, const QImage& image) {
  static thread_local Bytes packed, deflated, chunk;
  static thread_local std::vector<uint32_t> tokens;
  PackRows(image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32), packed);
  Tokenize(packed.data(), packed.size(), 1 + 3 * static_cast<size_t>(width), tokens);
  deflated.clear();
  Deflate(tokens, deflated, false);
  chunk.clear();
  Chunk(chunk, "IDAT", deflated.data(), deflated.size());
  bands[band].code = QByteArray(reinterpret_cast<const char*>(chunk.data()), static_cast<qsizetype>(chunk.size()));
  bands[band].adler = libdeflate_adler32(1, packed.data(), packed.size());
}

QByteArray BandedPng::File() const {
  Bytes file, tail, list;
  Signature(file, static_cast<size_t>(width), static_cast<size_t>(rows) * bands.size());
  Chunk(file, "IDAT", kZlibHeader, sizeof kZlibHeader);
  uint32_t adler = 1;
  const uint64_t bandBytes = uint64_t(rows) * (1 + 3 * uint64_t(width));
  for (const Band& band : bands) {
    if (band.code.isEmpty()) return {};
    file.insert(file.end(), band.code.begin(), band.code.end());
    adler = JoinAdler(adler, band.adler, bandBytes);
    PutBig32(list, band.adler);
    list.insert(list.end(), band.key.begin(), band.key.end());
  }
  tail.assign(std::begin(kEmptyLastBlock), std::end(kEmptyLastBlock));
  PutBig32(tail, adler);
  Chunk(file, "IDAT", tail.data(), tail.size());
  Chunk(file, kBandsChunk, list.data(), list.size());
  Chunk(file, "IEND", nullptr, 0);
  return QByteArray(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
}

}  // namespace prt::preview
