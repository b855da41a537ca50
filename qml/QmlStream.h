#pragma once
// The text stream the controls write a screen document into. All text and
// number formatting of the documents lives here: integers in plain decimal,
// doubles in fixed notation with 17 digits after the point.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace prt {

class QmlStream {
 public:
  // Like an iostream: once a write fails the stream stays failed until
  // Clear(), and later writes add nothing.
  bool Good() const { return good_; }
  // Why the stream failed, when a write did not fit.
  enum class Fault : uint8_t { None, OverLimit, OutOfMemory };
  Fault GetFault() const { return fault_; }
  // Empties the text and clears the failed state; the room and the limit
  // stay.
  void Clear() {
    size_ = 0;
    good_ = true;
    fault_ = Fault::None;
  }
  // The text may hold at most `units` units from now on; a write past them
  // fails the stream (OverLimit). The room never grows past the limit, so
  // the memory a document takes stays within it.
  void SetLimit(size_t units);

  // The text written since the last Clear; valid until the next write.
  std::u16string_view View() const { return {data_.get(), size_}; }
  // The same, with a zero unit after it for readers that look one past the end.
  std::u16string_view Terminated() { return data_ ? (data_[size_] = u'\0', View()) : u""; }
  std::u16string Text() const { return std::u16string(View()); }
  size_t Size() const { return size_; }

  // Inline: a document is some hundred thousand short writes.
  QmlStream& Write(std::u16string_view text) {
    if (char16_t* out = Extend(text.size())) CopyUnits(out, text.data(), text.size());
    return *this;
  }
  // UTF-8 text, widened as documents are (platform::WidenUnits).
  QmlStream& WriteUtf8(std::string_view utf8);
  QmlStream& WriteInt(int64_t value);
  QmlStream& WriteUnsigned(uint64_t value);
  // Fixed notation, 17 digits after the point (0.5 -> 0.50000000000000000).
  QmlStream& WriteFixed(double value);
  // "name: value" and a line end: most lines of a document are one of these.
  QmlStream& WriteIntLine(std::u16string_view name, int64_t value);
  // `count` native UTF-16 units at `units`, with a backslash before every
  // unit found in `characters`. The units need not be aligned: data-set
  // texts are read where they lie in the image.
  QmlStream& WriteEscapedUnits(const void* units, size_t count, std::u16string_view characters);

  // Appends a copy of `count` units written earlier, from offset `from`;
  // nothing when they are not all there.
  QmlStream& WriteRepeat(size_t from, size_t count) {
    if (from > size_ || count > size_ - from) return *this;
    if (char16_t* out = Extend(count)) CopyUnits(out, data_.get() + from, count);
    return *this;
  }

  // Strings and zero-terminated text; literals take the overload below.
  QmlStream& operator<<(std::u16string_view text) { return Write(text); }
  // A string literal, whole: its length is known where it is written.
  template <size_t N>
  QmlStream& operator<<(const char16_t (&literal)[N]) {
    return Write(std::u16string_view(literal, N - 1));
  }

 private:
  // Most pieces are a few units long: copied with fixed-size moves (two
  // that may overlap) rather than a call to memcpy.
  static void CopyUnits(char16_t* out, const char16_t* in, size_t n) {
    if (n >= 8 && n <= 16) {
      Move16(out, in);
      Move16(out + n - 8, in + n - 8);
    } else if (n >= 4 && n < 8) {
      Move8(out, in);
      Move8(out + n - 4, in + n - 4);
    } else if (n < 4) {
      for (size_t i = 0; i < n; ++i) out[i] = in[i];
    } else {
      std::memcpy(out, in, n * sizeof(char16_t));
    }
  }
  // GCC cannot see that a text shorter than a move never reaches it, and
  // warns where a short literal is written through a runtime length.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
  static void Move8(char16_t* out, const char16_t* in) {
    uint64_t bits;
    std::memcpy(&bits, in, sizeof bits);
    std::memcpy(out, &bits, sizeof bits);
  }
  static void Move16(char16_t* out, const char16_t* in) {
    uint64_t bits[2];
    std::memcpy(bits, in, sizeof bits);
    std::memcpy(out, bits, sizeof bits);
  }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

  // Makes the text `n` units longer and answers where they go; null when
  // the stream has failed or the room cannot be had (it fails then).
  char16_t* Extend(size_t n) {
    if (!good_) return nullptr;
    if (n > room_ - size_ && !Grow(n)) return nullptr;
    char16_t* out = data_.get() + size_;
    size_ += n;
    return out;
  }
  bool Grow(size_t n);
  QmlStream& WriteDecimal(uint64_t magnitude, bool negative);
  QmlStream& WriteDecimalLine(std::u16string_view name, uint64_t magnitude, bool negative);
  // ASCII text from the number formatters, widened as it is appended.
  QmlStream& WriteAscii(const char* first, const char* last);

  std::unique_ptr<char16_t[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
  size_t limit_ = SIZE_MAX;
  size_t room_ = 0;  // what can be written without Grow: the capacity, at most the limit
  bool good_ = true;
  Fault fault_ = Fault::None;
};

// Number texts for the value formatters.
std::u16string UnsignedText(uint64_t value);
// The printf %g form with 6 significant digits (0.00001 -> 1e-05).
std::u16string ShortFloatText(double value);

}  // namespace prt
