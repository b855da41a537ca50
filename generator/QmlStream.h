#pragma once
// The text stream the controls write a screen document into. All text and
// number formatting of the documents lives here: integers in plain decimal,
// doubles in fixed notation with 17 digits after the point.
#include <cstdint>
#include <string>
#include <string_view>

namespace prt {

class QmlStream {
 public:
  // Like an iostream: once a write fails the stream stays failed until
  // Clear(), and later writes add nothing.
  bool Good() const { return good_; }
  void SetFailed() { good_ = false; }
  // Empties the text and clears the failed state.
  void Clear();

  const std::u16string& Text() const { return text_; }

  QmlStream& Write(std::u16string_view text);
  // UTF-8 text, widened through the Utf8Converter.
  QmlStream& WriteUtf8(std::string_view utf8);
  QmlStream& WriteInt(int64_t value);
  QmlStream& WriteUnsigned(uint64_t value);
  QmlStream& WriteFixed(double value);

  QmlStream& operator<<(std::u16string_view text) { return Write(text); }
  QmlStream& operator<<(const char16_t* text) { return Write(text); }
  QmlStream& operator<<(const std::u16string& text) { return Write(text); }

 private:
  std::u16string text_;
  bool good_ = true;
};

// Number texts shared by the stream and the value formatters.
std::u16string DecimalText(int64_t value);
std::u16string UnsignedText(uint64_t value);
// Fixed notation, 17 digits after the point (0.5 -> 0.50000000000000000).
std::u16string FixedText(double value);
// The printf %g form with 6 significant digits (0.00001 -> 1e-05).
std::u16string ShortFloatText(double value);

}  // namespace prt
