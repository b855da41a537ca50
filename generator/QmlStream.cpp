#include "generator/QmlStream.h"

#include <charconv>
#include <new>
#include <stdexcept>

#include "generator/Utf8Converter.h"

namespace prt {

namespace {

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
  // 308 integer digits + sign + point + 17 decimals fit.
  char buf[400];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 17);
  if (res.ec != std::errc()) return u"0";
  return Widen(buf, res.ptr);
}

std::u16string ShortFloatText(double value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
  if (res.ec != std::errc()) return u"0";
  return Widen(buf, res.ptr);
}

void QmlStream::Clear() {
  text_.clear();
  good_ = true;
}

QmlStream& QmlStream::Write(std::u16string_view text) {
  if (!good_) return *this;
  try {
    text_.append(text);
  } catch (const std::bad_alloc&) {
    good_ = false;
  } catch (const std::length_error&) {
    good_ = false;
  }
  return *this;
}

QmlStream& QmlStream::WriteUtf8(std::string_view utf8) {
  if (!good_) return *this;
  return Write(Utf8Converter::Instance().FromUtf8(utf8));
}

QmlStream& QmlStream::WriteInt(int64_t value) { return Write(DecimalText(value)); }

QmlStream& QmlStream::WriteUnsigned(uint64_t value) { return Write(UnsignedText(value)); }

QmlStream& QmlStream::WriteFixed(double value) { return Write(FixedText(value)); }

}  // namespace prt
