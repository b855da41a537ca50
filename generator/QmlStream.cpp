#include "generator/QmlStream.h"

#include <algorithm>
#include <charconv>
#include <new>

#include "generator/Utf8Converter.h"

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

}  // namespace

std::u16string DecimalText(int64_t value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return Widen(buf, res.ptr);
}

std::u16string UnsignedText(uint64_t value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return Widen(buf, res.ptr);
}

std::u16string FixedText(double value) {
  char buf[kFixedTextRoom];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, kFixedDigits);
  if (res.ec != std::errc()) return u"0";
  return Widen(buf, res.ptr);
}

std::u16string ShortFloatText(double value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
  if (res.ec != std::errc()) return u"0";
  return Widen(buf, res.ptr);
}

bool QmlStream::Grow(size_t n) {
  const size_t limit = std::u16string().max_size();
  if (n > limit - size_) {
    good_ = false;
    return false;
  }
  // Doubling keeps a document's growth linear; the room is kept between
  // documents, so after the largest one no screen allocates.
  const size_t wanted = std::max({size_ + n, capacity_ <= limit / 2 ? 2 * capacity_ : limit, kFirstRoom});
  std::unique_ptr<char16_t[]> bigger(new (std::nothrow) char16_t[wanted]);
  if (!bigger) {
    good_ = false;
    return false;
  }
  if (size_ != 0) std::char_traits<char16_t>::copy(bigger.get(), data_.get(), size_);
  data_ = std::move(bigger);
  capacity_ = wanted;
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
  const size_t written = Utf8Converter::Instance().DecodeUtf8(utf8, out);
  size_ -= utf8.size() - written;
  return *this;
}

QmlStream& QmlStream::WriteInt(int64_t value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return WriteAscii(buf, res.ptr);
}

QmlStream& QmlStream::WriteUnsigned(uint64_t value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return WriteAscii(buf, res.ptr);
}

QmlStream& QmlStream::WriteFixed(double value) {
  char buf[kFixedTextRoom];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, kFixedDigits);
  if (res.ec != std::errc()) return Write(u"0");
  return WriteAscii(buf, res.ptr);
}

}  // namespace prt
