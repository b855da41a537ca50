#include "qml/QmlStream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <new>

#include "platform/Endian.h"
#include "platform/Text.h"

namespace prt {

namespace {

// 308 integer digits + sign + point + 17 decimals fit.
constexpr size_t kFixedTextRoom = 400;
constexpr int kFixedDigits = 17;
constexpr size_t kFirstRoom = 4096;

// Every character to_chars writes is ASCII, so widening is a plain copy.
std::u16string Widen(const char* first, const char* last) {
  return std::u16string(first, last);
}

// Room for the 20 digits of UINT64_MAX and a sign.
constexpr size_t kDecimalRoom = 21;

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the decimal form backwards, ending at `end`, two digits a step;
// answers where it starts. Integers are most of a document's numbers, and
// nearly all fit 32 bits, where the division by 100 is cheaper.
template <typename Unsigned>
char16_t* DigitsBackwards(Unsigned magnitude, char16_t* p) {
  while (magnitude >= 100) {
    const auto pair = static_cast<size_t>(magnitude % 100) * 2;
    magnitude /= 100;
    *--p = static_cast<char16_t>(kDigitPairs[pair + 1]);
    *--p = static_cast<char16_t>(kDigitPairs[pair]);
  }
  if (magnitude >= 10) {
    const auto pair = static_cast<size_t>(magnitude) * 2;
    *--p = static_cast<char16_t>(kDigitPairs[pair + 1]);
    *--p = static_cast<char16_t>(kDigitPairs[pair]);
  } else {
    *--p = static_cast<char16_t>(u'0' + magnitude);
  }
  return p;
}

char16_t* DecimalBackwards(uint64_t magnitude, bool negative, char16_t* end) {
  char16_t* p = magnitude <= UINT32_MAX ? DigitsBackwards(static_cast<uint32_t>(magnitude), end)
                                        : DigitsBackwards(magnitude, end);
  if (negative) *--p = u'-';
  return p;
}

constexpr std::array<uint64_t, 20> kPowersOf10 = [] {
  std::array<uint64_t, 20> powers{};
  uint64_t p = 1;
  for (auto& power : powers) {
    power = p;
    p *= 10;
  }
  return powers;
}();

// Units in the decimal form of `magnitude`, without a sign. 1233 / 4096 is
// just above log10(2), so the estimate is the digit count or one more.
size_t DigitCount(uint64_t magnitude) {
  const uint64_t m = magnitude | 1;  // 0 has one digit, as 1 has
  const auto estimate = static_cast<size_t>((std::bit_width(m) * 1233) >> 12);
  return estimate + 1 - (m < kPowersOf10[estimate] ? 1 : 0);
}

// The magnitude of a signed value; INT64_MIN has no positive twin.
uint64_t Magnitude(int64_t value) {
  return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

}  // namespace

std::u16string UnsignedText(uint64_t value) {
  char16_t buf[kDecimalRoom];
  char16_t* start = DecimalBackwards(value, false, buf + kDecimalRoom);
  return std::u16string(start, buf + kDecimalRoom);
}

std::u16string ShortFloatText(double value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
  if (res.ec != std::errc()) return u"0";
  return Widen(buf, res.ptr);
}

void QmlStream::SetLimit(size_t units) {
  limit_ = units;
  room_ = std::max(std::min(capacity_, limit_), size_);
}

bool QmlStream::Grow(size_t n) {
  const size_t limit = std::min(limit_, std::u16string().max_size());
  if (n > limit - std::min(size_, limit)) {
    good_ = false;
    fault_ = Fault::OverLimit;
    return false;
  }
  // Doubling keeps a document's growth linear; the room is kept between
  // documents, so after the largest one no screen allocates.
  if (n > capacity_ - size_) {
    const size_t wanted =
        std::min(std::max({size_ + n, capacity_ <= limit / 2 ? 2 * capacity_ : limit, kFirstRoom}), limit);
    // One unit more than the room, for Terminated().
    std::unique_ptr<char16_t[]> bigger(new (std::nothrow) char16_t[wanted + 1]);
    if (!bigger) {
      good_ = false;
      fault_ = Fault::OutOfMemory;
      return false;
    }
    if (size_ != 0) std::char_traits<char16_t>::copy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = wanted;
  }
  room_ = std::min(capacity_, limit_);
  return true;
}

QmlStream& QmlStream::WriteAscii(const char* first, const char* last) {
  if (char16_t* out = Extend(static_cast<size_t>(last - first))) {
    while (first != last) *out++ = static_cast<unsigned char>(*first++);
  }
  return *this;
}

QmlStream& QmlStream::WriteUtf8(std::string_view utf8) {
  // A UTF-8 sequence never yields more units than it has bytes.
  char16_t* out = Extend(utf8.size());
  if (!out) return *this;
  // Type names and codes are short and ASCII: widened here, unless a byte
  // says otherwise.
  size_t i = 0;
  for (; i < utf8.size() && static_cast<unsigned char>(utf8[i]) < 0x80; ++i) out[i] = static_cast<char16_t>(utf8[i]);
  if (i == utf8.size()) return *this;
  const size_t written = platform::WidenUnits(utf8.substr(i), out + i);
  size_ -= utf8.size() - i - written;
  return *this;
}

QmlStream& QmlStream::WriteEscapedUnits(const void* units, size_t count,
                                        std::u16string_view characters) {
  // At most two units per unit; what is not used is given back.
  if (count > SIZE_MAX / 2) {
    good_ = false;
    return *this;
  }
  char16_t* out = Extend(2 * count);
  if (!out) return *this;
  char16_t* const begin = out;
  const auto* in = static_cast<const unsigned char*>(units);
  // ASCII specials are looked up in a bit set; others (rare) in the list.
  uint64_t ascii[2] = {0, 0};
  bool otherSpecials = false;
  for (char16_t special : characters) {
    if (special < 128) {
      ascii[special >> 6] |= uint64_t{1} << (special & 63);
    } else {
      otherSpecials = true;
    }
  }
  for (size_t i = 0; i < count; ++i) {
    const char16_t c = platform::LoadLE16(in + 2 * i);
    const bool special = c < 128 ? ((ascii[c >> 6] >> (c & 63)) & 1) != 0
                                 : otherSpecials && characters.find(c) != std::u16string_view::npos;
    if (special) *out++ = u'\\';
    *out++ = c;
  }
  size_ -= 2 * count - static_cast<size_t>(out - begin);
  return *this;
}

QmlStream& QmlStream::WriteDecimal(uint64_t magnitude, bool negative) {
  // Formatted in place: the length is known before a digit is written.
  const size_t n = DigitCount(magnitude) + (negative ? 1 : 0);
  if (char16_t* out = Extend(n)) DecimalBackwards(magnitude, negative, out + n);
  return *this;
}

QmlStream& QmlStream::WriteDecimalLine(std::u16string_view name, uint64_t magnitude, bool negative) {
  const size_t digits = DigitCount(magnitude) + (negative ? 1 : 0);
  const size_t n = name.size() + 2 + digits + 1;
  if (char16_t* out = Extend(n)) {
    CopyUnits(out, name.data(), name.size());
    out += name.size();
    *out++ = u':';
    *out++ = u' ';
    out += digits;
    DecimalBackwards(magnitude, negative, out);
    *out = u'\n';
  }
  return *this;
}

QmlStream& QmlStream::WriteIntLine(std::u16string_view name, int64_t value) {
  return WriteDecimalLine(name, Magnitude(value), value < 0);
}

QmlStream& QmlStream::WriteInt(int64_t value) { return WriteDecimal(Magnitude(value), value < 0); }

QmlStream& QmlStream::WriteUnsigned(uint64_t value) { return WriteDecimal(value, false); }

QmlStream& QmlStream::WriteFixed(double value) {
  char buf[kFixedTextRoom];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, kFixedDigits);
  if (res.ec != std::errc()) return Write(u"0");
  return WriteAscii(buf, res.ptr);
}

}  // namespace prt
